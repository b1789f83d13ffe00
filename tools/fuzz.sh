#!/usr/bin/env bash
# Fuzzes the trader and market-data adapters with arbitrary SDK notifications and answers
# (libFuzzer under AddressSanitizer and UBSan).
#   tools/fuzz.sh [seconds]    default 60 (the CI run); e.g. tools/fuzz.sh 3600 for a long run
# Long runs go in rounds of at most 5 minutes, each a fresh process that starts from the corpus
# so far (the engine never frees its records, so one process only grows). New inputs go to
# build/fuzz/corpus; the committed seeds in tests/fuzz/corpus stay as they are. A crash leaves
# its input in build/fuzz/ as crash-* and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
dir=${FUZZ_BUILD_DIR:-$root/build/fuzz}
jobs=${JOBS:-2}
round_max=300

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=OFF -DTRADECORE_WERROR=ON -DTRADECORE_FUZZ=ON \
  "-DTRADECORE_SANITIZE=address;undefined" >/dev/null
cmake --build "$dir" -j "$jobs" --target fuzz_adapters

mkdir -p "$dir/corpus"
# Records are never freed while the engine lives (Python holds their addresses): no leak checks.
export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
log="$dir/fuzz.log"
left=$seconds total=0 orders=0 others=0 round=0
while [ "$left" -gt 0 ]; do
  t=$(( left < round_max ? left : round_max ))
  round=$((round + 1))
  set +e
  (cd "$dir" && ./tests/fuzz/fuzz_adapters -max_total_time="$t" -max_len=8192 -timeout=10 \
     -rss_limit_mb=2048 -print_final_stats=1 corpus "$root/tests/fuzz/corpus") >"$log" 2>&1
  rc=$?
  set -e
  grep -E '^#[0-9]+.*DONE|ERROR:|SUMMARY:' "$log" | sed "s/^/round $round: /" || true
  if [ $rc -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzzing failed (rc=$rc); inputs: $(ls "$dir"/crash-* "$dir"/timeout-* "$dir"/oom-* 2>/dev/null | tr '\n' ' ')" >&2
    exit $rc
  fi
  total=$(( total + $(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$') ))
  o=0 e=0
  read -r o e < <(sed -nE 's/^fuzz_adapters: ([0-9]+) order events and ([0-9]+) other events.*/\1 \2/p' "$log" | tail -n 1) || true
  orders=$(( orders + ${o:-0} )) others=$(( others + ${e:-0} ))
  left=$(( left - t ))
done
echo "fuzz_adapters: $total executions in ${seconds}s ($round rounds), $orders order events and $others other events delivered, no crash, no sanitizer report"
