#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures beside baselines measured in the same
# run, and the ratios. Nothing here fails on a slow figure: the numbers are for reading.
#   BENCH_BUILD=dir    build directory (default build/bench)
#   BENCH_QUICK=1      smaller counts, for a quick look
#   BENCH_SKIP_SETUP=1 skip tools/setup.sh (Debian packages, build tools)
# The Python benchmarks run against the package staged in the build directory, so they and the
# native helper they load share one engine and one simulated broker library.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BENCH_BUILD:-$root/build/bench}
jobs=${JOBS:-2}

if [ "${BENCH_SKIP_SETUP:-0}" != 1 ]; then
  TRADECORE_WITH_MINGW=0 bash tools/setup.sh
fi
# vn.py's event engine is the peer baseline of the snapshot benchmark (no dependencies needed).
python3 -c "import vnpy.event" 2>/dev/null ||
  python3 -m pip install -q --disable-pip-version-check --no-deps vnpy ||
  echo "vnpy could not be installed: the snapshot benchmark will skip its vn.py baseline"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRADECORE_BENCH=ON -DTRADECORE_TESTS=OFF \
  -DTRADECORE_PYTHON=ON >/dev/null
cmake --build "$build" -j "$jobs" --target tradecore_bench_hotpaths tradecore_bench_memory tcbench_native \
  _tradecore _records _control _book tradecore_python_stage

if [ "${BENCH_QUICK:-0}" = 1 ]; then
  snap_args=(--count 100000 --rounds 2); order_args=(--count 50000 --rounds 2); mem_orders=200000; min_time=0.1
else
  snap_args=(); order_args=(); mem_orders=1000000; min_time=0.5
fi

export PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}"
export TRADECORE_BENCH_NATIVE="$build/bench/libtcbench_native.so"
cd "$(mktemp -d)"   # flow files and the like land in a scratch directory

echo "== machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== 1. snapshots into Python"
python3 "$root/bench/bench_snapshots.py" "${snap_args[@]}"
echo
echo "== 2. order entry from Python"
python3 "$root/bench/bench_orders.py" "${order_args[@]}"
echo
echo "== 3. C++ hot paths (Google Benchmark)"
"$build/bench/tradecore_bench_hotpaths" --benchmark_min_time="$min_time" \
  --benchmark_out=hotpaths.json --benchmark_out_format=json
python3 "$root/bench/hotpath_ratios.py" hotpaths.json
echo
echo "== 4. memory per order"
"$build/bench/tradecore_bench_memory" "$mem_orders"
echo
echo "== 5. first on_loop and Ctrl-C"
python3 "$root/bench/bench_startup.py" $([ "${BENCH_QUICK:-0}" = 1 ] && echo --rounds 1)
