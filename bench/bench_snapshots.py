"""Snapshots into Python: how many depth snapshots per second the engine hands to a trivial
Python MarketDataProcessor, and the latency from the SDK callback's entry to the processor's
entry, beside two baselines measured in the same run.

  engine   the simulated SDK's market-data callback thread calls OnRtnDepthMarketData N times
           back to back (a paper broker, logged in, with the caller's thread blocked in loop);
           each call is stamped as it enters the engine, the processor stamps its own entry;
  floor    a native thread calls the same processor N times through the engine's own calling
           code (interpreter lock per call, persistent thread state): what any C++ engine
           must pay to run a Python function per event;
  vn.py    vnpy.event.EventEngine (queue + dispatcher thread) delivers N events to a handler with
           the same body, put by a Python thread (skipped with a note when vnpy is missing:
           ``pip install vnpy --no-deps``).

Throughput runs push as fast as they can; the latency figures come from separate runs with a
pause between events (Python otherwise idle), and for the engine also from the throughput run
(the engine has no queue, so the two agree). Nothing here asserts a time: the figures and their
ratios are printed beside the goals.

    python bench/bench_snapshots.py [--count N] [--rounds R] [--idle M] [--no-vnpy]
"""
import argparse
import gc
import os
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import tradecore  # noqa: E402  (before the helper: it binds to the engine's simulator library)
import benchlib  # noqa: E402

FRONT = b"sim://bench-snapshots"
GOALS = {"rate": 2e6, "vnpy_ratio": 5.0, "floor_ratio": 4.0, "p50_ns": 1000.0}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=500000, help="events per throughput run")
    parser.add_argument("--rounds", type=int, default=3, help="throughput runs per contender (best is kept)")
    parser.add_argument("--idle", type=int, default=2000, help="events per latency run")
    parser.add_argument("--gap-us", type=float, default=50.0, help="pause between events of a latency run")
    parser.add_argument("--no-vnpy", action="store_true")
    args = parser.parse_args()
    n, idle_n, gap_ns = args.count, args.idle, int(args.gap_us * 1000)

    lib = benchlib.load_native()
    ctypes = benchlib.ctypes
    stamps = (ctypes.c_longlong * max(n, idle_n))()

    # The processor every contender calls: as trivial as a processor can be while still
    # recording when it was entered.
    entries = []
    now = time.perf_counter_ns
    cpu_now = time.process_time_ns  # every thread of the process: the whole pipeline's cost
    append = entries.append

    def processor(event_id, address):
        append(now())

    print("snapshots into Python: %d events per run, best of %d; load average %.1f"
          % (n, args.rounds, benchlib.load_average()))
    results = {}

    # --- engine -------------------------------------------------------------------------------
    lib.tcb_create_broker(FRONT, 1)
    tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
    md_ready = threading.Event()

    def on_event(event_id, address, is_last, error_id, message, user_id):
        if event_id == tradecore.ENUM_EventID_MdReady:
            md_ready.set()

    handle = tradecore.init(1, benchlib.login(FRONT.decode()), None, on_event, None, processor)
    if handle is None:
        sys.exit("init failed: %s" % tradecore.getMessageByErrorID(tradecore.getInitError()))
    engine_runs = []
    failure = []

    def drive():
        try:
            if not md_ready.wait(60):
                failure.append("the market-data side never became ready")
                return
            lib.tcb_push_snapshots(FRONT, b"600000", b"1", 1000, 0, stamps)  # first one allocates
            for _ in range(args.rounds):
                del entries[:]
                cpu = cpu_now()
                elapsed = lib.tcb_push_snapshots(FRONT, b"600000", b"1", n, 0, stamps)
                cpu = cpu_now() - cpu
                if elapsed < 0 or len(entries) != n:
                    failure.append("push failed (%d, %d processor calls)" % (elapsed, len(entries)))
                    return
                engine_runs.append((elapsed, benchlib.latency_summary(stamps[:n], entries), cpu))
            del entries[:]
            lib.tcb_push_snapshots(FRONT, b"600000", b"1", idle_n, gap_ns, stamps)
            results["engine_idle"] = benchlib.latency_summary(stamps[:idle_n], entries)
        except BaseException as e:  # reported below; the engine must still be stopped
            failure.append(repr(e))
        finally:
            tradecore.exitX(handle)

    gc.disable()
    driver = threading.Thread(target=drive)
    driver.start()
    tradecore.loop()
    driver.join()
    if failure:
        sys.exit("engine run failed: %s" % failure[0])
    best = min(engine_runs, key=lambda r: r[0])
    results["engine"] = benchlib.row("engine (SDK thread -> processor)", n, best[0], best[1], best[2])

    # --- floor --------------------------------------------------------------------------------
    floor_runs = []
    for _ in range(args.rounds):
        del entries[:]
        cpu = cpu_now()
        elapsed = lib.tcb_native_calls(processor, tradecore.ENUM_SnapDataEventID_MarketData, 1 << 20, 1000, n, 0,
                                       stamps)
        cpu = cpu_now() - cpu
        calls = entries[1000:]
        floor_runs.append((elapsed, benchlib.latency_summary(stamps[:n], calls), cpu * n / (n + 1000)))
    best = min(floor_runs, key=lambda r: r[0])
    results["floor"] = benchlib.row("floor (native thread -> processor)", n, best[0], best[1], best[2])
    del entries[:]
    lib.tcb_native_calls(processor, tradecore.ENUM_SnapDataEventID_MarketData, 1 << 20, 1000, idle_n, gap_ns, stamps)
    results["floor_idle"] = benchlib.latency_summary(stamps[:idle_n], entries[1000:])

    # --- vn.py --------------------------------------------------------------------------------
    vnpy_note = None
    if args.no_vnpy:
        vnpy_note = "skipped (--no-vnpy)"
    else:
        try:
            from vnpy.event import Event, EventEngine
        except ImportError:
            vnpy_note = "skipped: vnpy is not installed (pip install vnpy --no-deps)"
    if vnpy_note is None:
        def handler(event):
            append(now())

        engine = EventEngine(interval=1)
        engine.register("eSnapshot", handler)
        engine.start()
        try:
            put = engine.put
            vnpy_runs = []
            for _ in range(args.rounds):
                del entries[:]
                puts = []
                stamp = puts.append
                cpu = cpu_now()
                for i in range(n):
                    stamp(now())
                    put(Event("eSnapshot", i))
                while len(entries) < n:
                    time.sleep(0.001)
                cpu = cpu_now() - cpu
                vnpy_runs.append((entries[n - 1] - puts[0], benchlib.latency_summary(puts, entries[:n]), cpu))
            best = min(vnpy_runs, key=lambda r: r[0])
            results["vnpy"] = benchlib.row("vn.py EventEngine (put -> handler)", n, best[0], best[1], best[2])
            del entries[:]
            puts = []
            for i in range(idle_n):
                puts.append(now())
                put(Event("eSnapshot", i))
                time.sleep(gap_ns / 1e9)
            while len(entries) < idle_n:
                time.sleep(0.001)
            results["vnpy_idle"] = benchlib.latency_summary(puts, entries[:idle_n])
        finally:
            engine.stop()
    gc.enable()

    # --- report -------------------------------------------------------------------------------
    print("  latency with a %.0f us pause between events (Python otherwise idle):" % args.gap_us)
    for key, name in (("engine_idle", "engine"), ("floor_idle", "floor"), ("vnpy_idle", "vn.py")):
        if key in results:
            lat = results[key]
            print("    %-8s p50 %8.2f us  p99 %8.2f us" % (name, lat["p50"] / 1000.0, lat["p99"] / 1000.0))
    if vnpy_note:
        print("  vn.py EventEngine: %s" % vnpy_note)

    e, f = results["engine"], results["floor"]
    print("ratios:")
    # Wall time includes whatever else the machine runs; CPU time per event does not, and
    # 1e9 / CPU ns is the rate one otherwise idle core would give.
    by_cpu = 1e9 / e["cpu"]
    print("  engine events/s: %.2fM wall, %.2fM by CPU time (goal >= %.0fM): %s"
          % (e["rate"] / 1e6, by_cpu / 1e6, GOALS["rate"] / 1e6,
             "met" if e["rate"] >= GOALS["rate"] else "met by CPU time" if by_cpu >= GOALS["rate"] else "not met"))
    floor_ratio = e["per"] / f["per"]
    print("  engine cost per event / floor's: %.2fx wall, %.2fx CPU (goal <= %.0fx): %s"
          % (floor_ratio, e["cpu"] / f["cpu"], GOALS["floor_ratio"],
             "met" if floor_ratio <= GOALS["floor_ratio"] else "not met"))
    if "vnpy" in results:
        v = results["vnpy"]
        vnpy_ratio = e["rate"] / v["rate"]
        print("  engine throughput / vn.py's: %.1fx wall, %.1fx CPU per event (goal >= %.0fx): %s"
              % (vnpy_ratio, v["cpu"] / e["cpu"], GOALS["vnpy_ratio"],
                 "met" if vnpy_ratio >= GOALS["vnpy_ratio"] else "not met"))
        idle_ratio = results["vnpy_idle"]["p50"] / results["engine_idle"]["p50"]
        print("  vn.py p50 latency / engine's (idle): %.1fx" % idle_ratio)
    p50 = results["engine_idle"]["p50"]
    print("  engine p50 latency, SDK callback entry -> processor entry: %.2f us idle, %.2f us flooded "
          "(goal < 1 us): %s" % (p50 / 1000.0, e["latency"]["p50"] / 1000.0,
                                 "met" if p50 < GOALS["p50_ns"] else "not met"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
