#!/usr/bin/env bash
# Cross-compiles for 64-bit Windows with mingw-w64 everything that does not include Python.h:
# the engine objects (tc_engine, tc_events without the Python bridge, tc_trader, tc_md) with the
# recording stand-in as the static library tradecore_test, the simulated broker (torasim.dll),
# and a small executable that links all of them, so a POSIX-only call or a missing symbol fails
# here rather than on a user's Windows machine.
#   tools/cross_windows.sh [build-dir]     (default: build/mingw)
# Needs x86_64-w64-mingw32-g++-posix (Debian: g++-mingw-w64-x86-64-posix; tools/setup.sh
# installs it unless TRADECORE_WITH_MINGW=0).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=${1:-$root/build/mingw}
jobs=${JOBS:-2}

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
  echo "x86_64-w64-mingw32-g++-posix not found: installing g++-mingw-w64-x86-64-posix" >&2
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq g++-mingw-w64-x86-64-posix >/dev/null
fi

cmake -S "$root" -B "$dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=OFF -DTRADECORE_WERROR=ON -DTRADECORE_LINK_SMOKE=ON >/dev/null
cmake --build "$dir" -j "$jobs"

# The result is what a Windows user gets: PE files for x86-64.
for f in "$dir/torasim/libtorasim.dll" "$dir/tests/portability/tradecore_link_smoke.exe"; do
  x86_64-w64-mingw32-objdump -f "$f" | grep -q 'pei-x86-64' || { echo "not a 64-bit Windows binary: $f" >&2; exit 1; }
done
# Run the smoke program where a Windows loader is available.
if command -v wine >/dev/null 2>&1; then
  (cd "$dir" && WINEPATH="$dir/torasim" WINEDEBUG=-all wine tests/portability/tradecore_link_smoke.exe)
fi
echo "mingw-w64 cross build OK: $dir"
