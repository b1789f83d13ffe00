"""Prints the ratios of the C++ hot-path benchmarks to their baselines, from Google Benchmark's
JSON output (CPU time per iteration, which the machine's other load does not inflate).

    tradecore_bench_hotpaths --benchmark_out=hot.json --benchmark_out_format=json
    python bench/hotpath_ratios.py hot.json
"""
import json
import sys

PAIRS = [
    ("BM_SnapshotUpdate_NoProcessor", "BM_Baseline_CopySdkSnapshot", "snapshot update / copy of the SDK record"),
    ("BM_SnapshotUpdate_StandInProcessor", "BM_Baseline_CopySdkSnapshot",
     "snapshot update with a processor / copy of the SDK record"),
    ("BM_OrderNotification_Traded", "BM_Baseline_CopySdkSnapshot", "order notification / copy of the SDK record"),
    ("BM_Render_Order", "BM_Baseline_Snprintf3", "order rendering / snprintf of three numbers"),
    ("BM_Render_Snapshot", "BM_Baseline_Snprintf3", "snapshot rendering / snprintf of three numbers"),
    ("BM_Render_BrokerTradingAccount", "BM_Baseline_Snprintf3", "broker record rendering / snprintf of three numbers"),
    ("BM_RecordLock_Uncontended", "BM_Baseline_AtomicCasStore", "record lock / bare compare-and-swap and store"),
    ("BM_OrderEntry_BuyOpen_SimLogging", "BM_OrderEntry_BuyOpen",
     "order entry, simulator logging / not logging requests"),
    ("BM_OrderEntry_BuyOpen_ProcessCPU/process_time", "BM_OrderEntry_BuyOpen",
     "order entry, CPU of the process / of the calling thread"),
    ("BM_OrderEntry_BuyOpen", "BM_OrderEntry_BuyOpen_MemoryReady",
     "order entry back to back / with its memory ready"),
    ("BM_OrderEntry_BuyOpen_Gated_MemoryReady/1/iterations:400000", "BM_OrderEntry_BuyOpen_MemoryReady/iterations:400000",
     "order entry through the order gate / without it"),
    ("BM_OrderEntry_BuyOpen_Gated_MemoryReady/0/iterations:400000", "BM_OrderEntry_BuyOpen_MemoryReady/iterations:400000",
     "... the gate reading the snapshot store / without it"),
]
GOAL_GATE_NS = 30.0
GOAL_SNAPSHOT_NS = 150.0


def main(path):
    with open(path) as f:
        runs = {b["name"]: b for b in json.load(f)["benchmarks"] if b.get("run_type", "iteration") == "iteration"}

    def ns(name):
        b = runs[name]
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        return b["cpu_time"] * scale

    print("ratios (CPU time):")
    for name, baseline, label in PAIRS:
        if name in runs and baseline in runs:
            print("  %-58s %7.1f ns / %6.1f ns = %5.1fx" % (label, ns(name), ns(baseline), ns(name) / ns(baseline)))
    if "BM_SnapshotUpdate_NoProcessor" in runs:
        t = ns("BM_SnapshotUpdate_NoProcessor")
        print("  snapshot update without Python: %.1f ns (goal < %.0f ns): %s"
              % (t, GOAL_SNAPSHOT_NS, "met" if t < GOAL_SNAPSHOT_NS else "not met"))
    plain = "BM_OrderEntry_BuyOpen_MemoryReady/iterations:400000"
    for arg, how in (("1", "the book given the snapshots"), ("0", "the book reading the snapshot store")):
        gated = "BM_OrderEntry_BuyOpen_Gated_MemoryReady/%s/iterations:400000" % arg
        if gated in runs and plain in runs:
            added = ns(gated) - ns(plain)
            print("  pre-trade checks added to an order, %s: %.1f ns (goal at most %.0f ns): %s"
                  % (how, added, GOAL_GATE_NS, "met" if added <= GOAL_GATE_NS else "not met"))
        alone = "BM_OrderGate_CheckBuy/%s/iterations:400000" % arg
        if alone in runs:
            print("  the checks alone (one buy, every limit on), %s: %.1f ns" % (how, ns(alone)))
    if "BM_Book_Fill" in runs:
        print("  the book's update per fill, native: %.1f ns (goal < 1000 ns with Python: bench_orders.py)"
              % ns("BM_Book_Fill"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
