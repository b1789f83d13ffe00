#!/usr/bin/env bash
# The Windows leg: cross-compiles for 64-bit Windows with mingw-w64 everything that does not
# include Python.h (the engine with the recording stand-in for Python as tradecore_test, the
# simulated broker torasim.dll, the C++ test suite, and a small executable that links every
# export), with warnings as errors, checks that the results are 64-bit Windows binaries, and runs
# the link check and the whole C++ suite under Wine (Debian's wine64), so the Windows clock,
# sleeps, threads, directory creation and flow paths are exercised, not just compiled.
#   tools/cross_windows.sh [build-dir]          (default: build/mingw) every case once, time-bounded
#   tools/cross_windows.sh --long [build-dir]   every case TRADECORE_WINE_ROUNDS times (default 5)
#                                               with the fault soak TRADECORE_SOAK_SECONDS long (120)
# Between the build and the runs, tools/clang_cl_check.py compiles every source of the build
# again with clang-cl for the MSVC target (syntax only, /W4 /WX; TRADECORE_CLANG_CL=0 skips it).
# TRADECORE_WINE=0 builds and checks without running anything; TRADECORE_WINE_MINUTES bounds the
# suite's run (default 15, --long 90). Needs x86_64-w64-mingw32-g++-posix, GoogleTest's sources
# and wine64 (Debian: g++-mingw-w64-x86-64-posix, googletest, wine64; tools/setup.sh installs
# them unless TRADECORE_WITH_MINGW=0).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
long=0
if [ "${1:-}" = --long ]; then long=1; shift; fi
dir=${1:-$root/build/mingw}
jobs=${JOBS:-2}
gtest_src=${TRADECORE_GTEST_SOURCE:-/usr/src/googletest}
wine=${TRADECORE_WINE_LOADER:-/usr/lib/wine/wine64}
run_wine=${TRADECORE_WINE:-1}

need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix)
[ -f "$gtest_src/CMakeLists.txt" ] || need+=(googletest)
[ "$run_wine" = 1 ] && [ ! -x "$wine" ] && need+=(wine64)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}" >&2
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi

# A prefix of the build's own: nothing from the user's ~/.wine, made on first use.
export WINEPREFIX="$dir/wineprefix"
run() { "$root/tools/wine_run.sh" "$WINEPREFIX" "$dir/torasim" "$@"; }

cmake -S "$root" -B "$dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=ON -DTRADECORE_GTEST_SOURCE="$gtest_src" \
  -DTRADECORE_WERROR=ON -DTRADECORE_LINK_SMOKE=ON \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/tools/wine_run.sh;$WINEPREFIX;$dir/torasim" >/dev/null
cmake --build "$dir" -j "$jobs"

# The result is what a Windows user gets: PE files for x86-64.
for f in "$dir/torasim/libtorasim.dll" "$dir/tests/portability/tradecore_link_smoke.exe" \
         "$dir/tests/cpp/tradecore_tests.exe"; do
  x86_64-w64-mingw32-objdump -f "$f" | grep -q 'pei-x86-64' || { echo "not a 64-bit Windows binary: $f" >&2; exit 1; }
done
# The same sources for the MSVC target: clang-cl, syntax only, MSVC's flags and /W4's extra
# warnings as errors (tools/clang_cl_check.py; TRADECORE_CLANG_CL=0 skips it).
if [ "${TRADECORE_CLANG_CL:-1}" = 1 ]; then
  timeout --kill-after=30 10m python3 "$root/tools/clang_cl_check.py" "$dir"
fi
if [ "$run_wine" != 1 ]; then
  echo "mingw-w64 cross build OK (not run: TRADECORE_WINE=0): $dir"
  exit 0
fi

# tools/wine_run.sh starts the prefix's server and keeps it between programs; it ends with us.
trap '"$(dirname "$wine")/wineserver" -k 2>/dev/null || true' EXIT
(cd "$dir" && run tests/portability/tradecore_link_smoke.exe)

rounds=1 minutes=${TRADECORE_WINE_MINUTES:-15} case_seconds=600
if [ "$long" = 1 ]; then
  rounds=${TRADECORE_WINE_ROUNDS:-5} minutes=${TRADECORE_WINE_MINUTES:-90}
  export TRADECORE_SOAK_SECONDS=${TRADECORE_SOAK_SECONDS:-120}
  case_seconds=$(( ${TRADECORE_SOAK_SECONDS%.*} * 2 + 600 ))
fi
# Cases that cannot run under Wine, each with its reason: none.
exclude=()
exclude_args=()
[ ${#exclude[@]} -gt 0 ] && exclude_args=(-E "$(IFS='|'; echo "${exclude[*]}")")
echo "C++ suite under $wine ($rounds round(s), at most $minutes min)"
(cd "$dir" && timeout --kill-after=30 "${minutes}m" \
  ctest --output-on-failure -j "$jobs" --timeout "$case_seconds" --repeat "until-fail:$rounds" "${exclude_args[@]}")
echo "mingw-w64 cross build OK, C++ suite passed under Wine: $dir"
