#!/usr/bin/env bash
# Runs every test: C++ (plain, then under ThreadSanitizer and AddressSanitizer+UBSan) and Python
# against the installed package, on python3 and on the oldest and newest supported Pythons.
# Installs what it needs first.
#   TRADECORE_QUICK=1  skips the sanitizer builds and the fuzzing (for a fast local loop)
#   TRADECORE_WITH_MINGW=0  skips the Windows leg (cross-build, C++ tests under Wine)
#   TRADECORE_WITH_PYTHONS=0  runs the Python suite on python3 only, not also on Python 3.8 and
#                      3.13 (pyenv's, in venvs under build/: tools/pythons.sh); the two add about
#                      half a minute once their venvs exist, so TRADECORE_QUICK keeps them
#   TRADECORE_FUZZ_SECONDS sets the fuzzing time
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}

bash tools/setup.sh

build_and_test() {  # name, extra cmake args...
  local dir="$root/build/$1"; shift
  cmake -S "$root" -B "$dir" -G Ninja -DTRADECORE_PYTHON=OFF -DTRADECORE_TESTS=ON -DTRADECORE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

echo "== C++ tests"
build_and_test release -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The same sources against stand-ins of the other TORA SDK profiles (tools/sdk_profiles.sh).
bash tools/sdk_profiles.sh

echo "== Windows: mingw-w64 cross-build of everything without Python.h, C++ tests under Wine"
if [ "${TRADECORE_WITH_MINGW:-1}" = 1 ]; then
  bash tools/cross_windows.sh "$root/build/mingw"
else
  echo "skipped (TRADECORE_WITH_MINGW=0)"
fi

# The package built and its suite run on python3 and on the oldest and newest supported Pythons
# (pyenv's 3.8 and 3.13, each in a venv under build/), the three suites side by side.
pythons=(this)
if [ "${TRADECORE_WITH_PYTHONS:-1}" = 1 ]; then pythons+=(3.8 3.13); fi
echo "== Python package and tests: ${pythons[*]} (tools/pythons.sh)"
bash tools/pythons.sh "${pythons[@]}"

if [ "${TRADECORE_QUICK:-0}" != 1 ]; then
  echo "== C++ tests under ThreadSanitizer"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build_and_test tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRADECORE_SANITIZE=thread -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
  echo "== C++ tests under AddressSanitizer and UBSan"
  ASAN_OPTIONS="detect_leaks=0" UBSAN_OPTIONS="print_stacktrace=1" \
    build_and_test asan -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DTRADECORE_SANITIZE=address;undefined" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
  echo "== Fuzzing the SDK adapters (libFuzzer, AddressSanitizer+UBSan, ${TRADECORE_FUZZ_SECONDS:-60} s)"
  FUZZ_BUILD_DIR="$root/build/fuzz" bash tools/fuzz.sh "${TRADECORE_FUZZ_SECONDS:-60}"
fi
echo "== all tests passed"
