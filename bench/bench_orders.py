"""Order entry from Python: the per-call cost of ``buyOpen`` against a simulated front that accepts
the connection and every request and does nothing else, beside a no-op call through the same
module with the same argument types, measured in the same run.

  buyOpen   buyOpen(handle, "600000", 100, "0", 10.0, "1"): argument conversion, the engine's
            order (identifier, record, index entry, pricing, insert request, cash set aside),
            the simulated SDK's ReqOrderInsert, and the returned record's proxy object;
  no-op     buyOpen(None, "600000", 100, "0", 10.0, "1"): the same wrapper, the same conversions,
            the same release and retake of the interpreter lock around the engine call, which
            answers the null handle at once with no record;
  record    tradecore.record(eventID, address): making the record object that buyOpen also
            returns, for scale;
  loop      the bare Python loop, for scale.

The front is a scripted simulated broker with auto-accept: the engine connects but never logs in
(no answers come), and nothing calls back into Python while the calls run. The broker's request
log is cleared every 2048 calls, outside the timing (the engine keeps every order record;
the simulator's copy of every request is not what is measured). Nothing here asserts a time.

    python bench/bench_orders.py [--count N] [--rounds R]
"""
import argparse
import gc
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import tradecore  # noqa: E402  (before the helper: it binds to the engine's simulator library)
import benchlib  # noqa: E402

FRONT = b"sim://bench-orders"
GOAL = 3.0


CHUNK = 2048


def timed(function, count, between=None):
    """(wall, CPU) ns per call of function(k) over count calls, timed in chunks with between()
    run untimed after each chunk. Everything a call does runs on this thread, so its CPU time
    is the whole cost, whatever else the machine is doing."""
    gc.collect()
    gc.disable()
    try:
        wall = cpu = 0
        done = 0
        while done < count:
            k = min(CHUNK, count - done)
            start, start_cpu = time.perf_counter_ns(), time.thread_time_ns()
            function(k)
            cpu += time.thread_time_ns() - start_cpu
            wall += time.perf_counter_ns() - start
            done += k
            if between is not None:
                between()
        return wall / count, cpu / count
    finally:
        gc.enable()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=200000, help="calls per round")
    parser.add_argument("--rounds", type=int, default=5, help="rounds per contender (best is kept)")
    args = parser.parse_args()

    lib = benchlib.load_native()
    lib.tcb_create_broker(FRONT, 0)
    tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
    handle = tradecore.init(1, benchlib.login(FRONT.decode()))
    if handle is None:
        sys.exit("init failed: %s" % tradecore.getMessageByErrorID(tradecore.getInitError()))

    buy_open = tradecore.buyOpen
    order_type = tradecore.ENUM_OrderType_LimitAndWait

    def orders(count, h=handle):
        for _ in range(count):
            buy_open(h, "600000", 100, order_type, 10.0, "1")

    def no_ops(count, h=None):
        for _ in range(count):
            buy_open(h, "600000", 100, order_type, 10.0, "1")

    def clear_log():
        lib.tcb_clear_requests(FRONT)

    record = tradecore.record
    order_event = tradecore.ENUM_OrderEventID_Accepted

    def proxies(count, address=None):
        for _ in range(count):
            record(order_event, address)

    def bare_loop(count):
        for _ in range(count):
            pass

    # Every order really reaches the front.
    before = lib.tcb_request_count(FRONT, b"ReqOrderInsert")
    order = buy_open(handle, "600000", 100, order_type, 10.0, "1")
    if order is None or lib.tcb_request_count(FRONT, b"ReqOrderInsert") != before + 1:
        sys.exit("the order did not reach the simulated front")
    if buy_open(None, "600000", 100, order_type, 10.0, "1") is not None:
        sys.exit("a null handle gave an order")
    proxies.__defaults__ = (int(order.this),)

    print("order entry from Python: %d calls per round, best of %d; load average %.1f"
          % (args.count, args.rounds, benchlib.load_average()))
    inf = (float("inf"), float("inf"))
    best = {"buyOpen": inf, "no-op": inf, "loop": inf, "proxy": inf}
    for _ in range(args.rounds):
        # Interleaved, so a burst of load elsewhere on the machine hits all alike.
        best["no-op"] = min(best["no-op"], timed(no_ops, args.count))
        best["buyOpen"] = min(best["buyOpen"], timed(orders, args.count, clear_log))
        best["loop"] = min(best["loop"], timed(bare_loop, args.count))
        best["proxy"] = min(best["proxy"], timed(proxies, args.count))
    for name, label in (("buyOpen", "buyOpen to a simulated front"), ("no-op", "no-op buyOpen (null handle)"),
                        ("proxy", "record object for an address"), ("loop", "empty Python loop")):
        print("  %-30s %8.0f ns/call wall %8.0f ns/call CPU" % (label, best[name][0], best[name][1]))
    wall = best["buyOpen"][0] / best["no-op"][0]
    cpu = best["buyOpen"][1] / best["no-op"][1]
    print("ratios:")
    print("  buyOpen / no-op call: %.2fx wall, %.2fx CPU (goal <= %.0fx): %s"
          % (wall, cpu, GOAL, "met" if cpu <= GOAL else "not met"))
    tradecore.exitX(handle)
    return 0


if __name__ == "__main__":
    sys.exit(main())
