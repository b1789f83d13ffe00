#!/usr/bin/env bash
# Checks the engine against your broker's TORA SDK (see README, "Building against your broker's
# SDK"):
#   tools/vendor_check.sh SDK_DIR [build-dir]      (default build dir: build/vendor-check)
# SDK_DIR holds the vendor's headers in include/ and its Linux libraries in lib/ (traderapi and
# mdapi, or traderapi and xmdapi for the current generation). The check
#   1. builds the engine (and the Python module when SWIG and Python's headers are there) against
#      the SDK, with warnings as errors and no change to any source;
#   2. starts an engine through the vendor's libraries against a local address nobody serves:
#      init must give up after ConnectTimeout with "Error:Trader Connect Timeout.";
#   3. starts one against a local TCP listener standing in for the fronts: the SDK must connect,
#      init must return a handle, and the SDK must send its frames.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 SDK_DIR [build-dir]" >&2; exit 2; }
cd "$(dirname "$0")/.."
root=$(pwd)
sdk=$(cd "$1" && pwd)
dir=${2:-$root/build/vendor-check}
jobs=${JOBS:-2}

python=OFF
if command -v swig >/dev/null 2>&1 && python3 -c 'import sysconfig, os, sys; \
    sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' 2>/dev/null; then
  python=ON
fi
echo "== building against $sdk (Python module: $python)"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORA_SDK_DIR="$sdk" \
  -DTRADECORE_WERROR=ON -DTRADECORE_TESTS=OFF -DTRADECORE_VENDOR_CHECK=ON -DTRADECORE_PYTHON="$python" \
  -DPython_EXECUTABLE="$(command -v python3)" | grep 'TORA:' || true
cmake --build "$dir" -j "$jobs"

echo "== an engine on the vendor's libraries"
flow=$(mktemp -d)
trap 'rm -rf "$flow"' EXIT
"$dir/tests/vendor/tradecore_vendor_check" "$flow"
