#!/usr/bin/env bash
# The package on several Pythons: builds and installs it (`pip install .`, no build isolation) for
# each, then runs the whole Python suite (tests/python, with mypy --strict over the typed user
# script against the stubs) on all of them at once, each in a directory of its own.
#   tools/pythons.sh [this] [X.Y ...]      default: 3.8 3.13 (the oldest and newest supported)
# "this" is python3 as it is (tools/test.sh installs its requirements): the package goes into
# its environment, and mypy and basedpyright must both run. X.Y is the newest X.Y.N of pyenv
# (${PYENV_ROOT:-~/.pyenv}/versions/X.Y.N), else pythonX.Y on PATH; it gets a venv build/pyX.Y
# (made once, its requirements tools/requirements-pythons.txt reinstalled when that file
# changes) and a kept CMake build directory build/pyX.Y/cmake; mypy must run there (pyright
# checks the 3.8 target already, from "this").
# The builds run one after another (JOBS cores each, ccache when present); the suites, which
# mostly wait on the simulated broker, run side by side. Each suite's output is in its
# build/pyX.Y/pytest.log (build/python/pytest.log for "this"), printed when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}
[ $# -gt 0 ] || set -- 3.8 3.13
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs
requirements="$root/tools/requirements-pythons.txt"

find_python() {  # X.Y -> the interpreter's path, or a message and exit 1
  local want=$1 pyenv=${PYENV_ROOT:-$HOME/.pyenv} best=""
  for dir in "$pyenv"/versions/"$want".*; do
    [[ "$(basename "$dir")" =~ ^$want\.[0-9]+$ ]] && [ -x "$dir/bin/python" ] || continue
    best=$(printf '%s\n%s\n' "$best" "$dir" | sed '/^$/d' | sort -V | tail -n 1)
  done
  if [ -n "$best" ]; then echo "$best/bin/python"; return; fi
  if command -v "python$want" >/dev/null 2>&1; then command -v "python$want"; return; fi
  echo "tools/pythons.sh: no Python $want: neither $pyenv/versions/$want.N nor python$want on PATH" \
       "(pyenv install $want, or name other versions: tools/pythons.sh 3.9 3.12)" >&2
  return 1
}

quiet() {  # runs a command, showing its output only if it fails
  local log; log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then grep -v '^WARNING: Location' "$log" | tail -n 40 >&2; rm -f "$log"; return 1; fi
  rm -f "$log"
}

names=() pythons=() dirs=() checkers=()
for want in "$@"; do
  if [ "$want" = this ]; then
    dir="$root/build/python"; mkdir -p "$dir"
    python=$(command -v python3)
    echo "-- $want: $("$python" -V 2>&1) ($python): pip install ."
    quiet "$python" -m pip install --disable-pip-version-check --no-build-isolation \
      --config-settings=build-dir="$dir/cmake" "$root"
    names+=("$("$python" -V 2>&1) (this)") pythons+=("$python") dirs+=("$dir") checkers+=(mypy,basedpyright)
    continue
  fi
  interpreter=$(find_python "$want")
  dir="$root/build/py$want" python="$root/build/py$want/bin/python"
  stamp="$interpreter $(sha256sum "$requirements" | cut -d' ' -f1)"
  if [ ! -x "$python" ] || [ "$(cat "$dir/.requirements" 2>/dev/null)" != "$stamp" ]; then
    echo "-- $want: venv $dir from $interpreter"
    rm -rf "$dir"
    "$interpreter" -m venv "$dir"
    quiet "$python" -m pip install --disable-pip-version-check -r "$requirements"
    echo "$stamp" >"$dir/.requirements"
  fi
  echo "-- $want: $("$python" -V 2>&1): pip install ."
  # Its own bin first on PATH: the swig of its requirements builds the module.
  PATH="$dir/bin:$PATH" quiet "$python" -m pip install --disable-pip-version-check --no-build-isolation \
    --config-settings=build-dir="$dir/cmake" "$root"
  names+=("$("$python" -V 2>&1)") pythons+=("$python") dirs+=("$dir") checkers+=(mypy)
done

pids=()
for i in "${!pythons[@]}"; do
  mkdir -p "${dirs[$i]}/run"
  (cd "${dirs[$i]}/run" && TRADECORE_REQUIRE_TYPE_CHECKERS=${checkers[$i]} \
     "${pythons[$i]}" -m pytest -q -p no:cacheprovider -rs "$root/tests/python" >"${dirs[$i]}/pytest.log" 2>&1) &
  pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
  echo "-- Python suite on ${names[$i]} (${dirs[$i]}/pytest.log)"
  if wait "${pids[$i]}"; then
    grep -v '^\.*  *\[ *[0-9]*%\]$' "${dirs[$i]}/pytest.log" | tail -n 5
  else
    cat "${dirs[$i]}/pytest.log"; failed=1
  fi
done
exit $failed
