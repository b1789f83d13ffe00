#!/usr/bin/env bash
# The long fault soak: two sessions of one paper account trade for [minutes] (default 10) while
# the simulated broker refuses sends, drops, delays and falsifies answers, duplicates and
# reorders notifications and drops the connection; then every order record is compared with the
# broker's ledger. Prints orders, events, faults injected and mismatches (which must be 0).
#   tools/soak.sh [minutes]        TRADECORE_SOAK_VERBOSE=1 lists every mismatched order
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
minutes=${1:-10}
dir=${SOAK_BUILD_DIR:-$root/build/release}
jobs=${JOBS:-2}

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=ON >/dev/null
cmake --build "$dir" -j "$jobs" --target tradecore_tests
seconds=$(python3 -c "print(max(1, round(float('$minutes') * 60)))")
# The all-faults scenario runs for the whole time; the one without disconnections for a fifth.
TRADECORE_SOAK_SECONDS=$seconds "$dir/tests/cpp/tradecore_tests" \
  --gtest_filter='FaultSoak.OrderRecordsAgreeWithTheBrokersLedgerUnderEveryFault'
TRADECORE_SOAK_SECONDS=$(( seconds / 5 + 1 )) "$dir/tests/cpp/tradecore_tests" \
  --gtest_filter='FaultSoak.EveryOtherFaultWithoutDisconnections'
