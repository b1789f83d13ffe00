# Cross-compiles for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix, the
# flavour with std::thread). Used by tools/cross_windows.sh:
#   cmake -S . -B build/mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRADECORE_MINGW_PREFIX "x86_64-w64-mingw32" CACHE STRING "mingw-w64 target triple")
set(TRADECORE_MINGW_FLAVOUR "posix" CACHE STRING "posix (std::thread via winpthreads) or win32")

find_program(TRADECORE_MINGW_CXX NAMES ${TRADECORE_MINGW_PREFIX}-g++-${TRADECORE_MINGW_FLAVOUR}
             ${TRADECORE_MINGW_PREFIX}-g++ REQUIRED)
find_program(TRADECORE_MINGW_CC NAMES ${TRADECORE_MINGW_PREFIX}-gcc-${TRADECORE_MINGW_FLAVOUR}
             ${TRADECORE_MINGW_PREFIX}-gcc REQUIRED)
find_program(TRADECORE_MINGW_RC NAMES ${TRADECORE_MINGW_PREFIX}-windres)

set(CMAKE_C_COMPILER ${TRADECORE_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TRADECORE_MINGW_CXX})
if(TRADECORE_MINGW_RC)
  set(CMAKE_RC_COMPILER ${TRADECORE_MINGW_RC})
endif()

# Look for libraries and headers only in the target's sysroot, programs only on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TRADECORE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLLs must not need the compiler's runtime DLLs next to them on a machine without mingw:
# winpthreads (std::thread of the posix flavour) included, which -static links in too.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
