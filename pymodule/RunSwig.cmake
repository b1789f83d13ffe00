# Runs SWIG on one interface file (cmake -P): exactly `swig -python -c++ -threads`, then, for
# SWIG 4.3, drops the SWIG_HEAPTYPES define from the wrapper so the runtime types stay static.
# Inputs: SWIG_EXECUTABLE, INPUT, OUTPUT, OUTDIR, INCLUDES ('|'-separated), STRIP_HEAPTYPES.
string(REPLACE "|" ";" _includes "${INCLUDES}")
set(_include_flags "")
foreach(_dir ${_includes})
  list(APPEND _include_flags "-I${_dir}")
endforeach()

execute_process(
  COMMAND "${SWIG_EXECUTABLE}" -python -c++ -threads ${_include_flags} -outdir "${OUTDIR}" -o "${OUTPUT}" "${INPUT}"
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "SWIG failed on ${INPUT}")
endif()

if(STRIP_HEAPTYPES)
  file(READ "${OUTPUT}" _text)
  string(REGEX REPLACE "\n#define SWIG_HEAPTYPES[^\n]*" "\n/* SWIG_HEAPTYPES left undefined: static runtime types */" _stripped "${_text}")
  if(_stripped STREQUAL _text)
    message(FATAL_ERROR "SWIG 4.3 wrapper ${OUTPUT} has no SWIG_HEAPTYPES define to remove; check the SWIG release")
  endif()
  file(WRITE "${OUTPUT}" "${_stripped}")
endif()
