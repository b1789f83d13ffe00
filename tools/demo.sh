#!/usr/bin/env bash
# The README's first command: installs what the build needs, builds and installs the package,
# then runs the demo session against the simulated paper broker. Extra arguments go to the demo
# (for example --seconds 5 or --quiet).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The demo needs no cross compiler: skip it unless asked for.
TRADECORE_WITH_MINGW=${TRADECORE_WITH_MINGW:-0} bash tools/setup.sh
echo "== building and installing the tradecore package"
python3 -m pip install -q --disable-pip-version-check --no-build-isolation "$root" 2>&1 | tail -n 5
echo "== demo"
exec python3 "$root/examples/demo.py" "$@"
