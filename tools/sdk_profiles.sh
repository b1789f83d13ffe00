#!/usr/bin/env bash
# Builds the engine, the simulated broker and the C++ tests against a stand-in of each extra TORA
# SDK profile (written from the facts in tora/facts/), and runs the tests against it:
#   3.9.3    the vendor's public 3.9.3 build exactly as its headers declare it
#   current  the current generation (2025 build), served by the simulated broker through a front
#            of that generation's classes
# (the default build's stand-in is the later 3.9 builds'; tools/test.sh tests that one fully).
#   tools/sdk_profiles.sh [profile...]     (default: every profile)
#   TRADECORE_PROFILE_TESTS=REGEX          runs only the matching tests (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}
profiles=("$@")
[ ${#profiles[@]} -gt 0 ] || profiles=(3.9.3 current)

for p in "${profiles[@]}"; do
  echo "== C++ tests against the stand-in of the $p SDK"
  dir="$root/build/sdk-$p"
  start=$(date +%s)
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORA_STANDIN="$p" \
    -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=ON -DTRADECORE_WERROR=ON >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600 ${TRADECORE_PROFILE_TESTS:+-R "$TRADECORE_PROFILE_TESTS"})
  echo "profile $p: $(( $(date +%s) - start )) s"
done
