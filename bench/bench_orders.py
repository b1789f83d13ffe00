"""Order entry from Python: the per-call cost of ``buyOpen`` against a simulated front that accepts
the connection and every request and does nothing else, beside a no-op call through the same
module with the same argument types, measured in the same run.

  buyOpen   buyOpen(handle, "600000", 100, "0", 10.0, "1"): argument conversion, the engine's
            order (identifier, record, index entry, pricing, insert request, cash set aside),
            the simulated SDK's ReqOrderInsert, and the returned record's CQNOrderField object
            (dropped at once, as a strategy that follows its orders through events does: the
            module hands the same object out again for the next order);
  kept      buyOpen as above, every returned object kept: a new object per call;
  no-op     buyOpen(None, "600000", 100, "0", 10.0, "1"): the same wrapper, the same conversions,
            the same release and retake of the interpreter lock around the engine call, which
            answers the null handle at once with no record;
  logged    buyOpen as above with the simulator's request log on: the simulator keeps a copy of
            every request (cleared every 2048 calls, untimed) - its own cost, for comparison;
  record    tradecore.record(eventID, address): making a record object from Python, for scale;
  loop      the bare Python loop, for scale;
  gated     buyOpen as the first, on an engine whose live book (tradecore.book) is its order
            gate with every limit on (volume, lot, maximum, price, limit prices and a band around
            the last price of a snapshot the engine holds, notional, cash, open orders per
            security and in all, orders per second, daily loss), beside plain buyOpen on the same
            engine with the gate taken off: what the pre-trade checks add;
  fill      the book's update for one fill, as its order processor gets it (a trade of an order
            the book let through), from Python.

Gated and plain chunks of orders alternate on one engine (the book attached for one chunk, taken
off for the next, untimed), so both kinds share the engine, its order index, its memory and the
machine's load of the moment; the figures are medians over the pairs of chunks, of each kind and
of the difference within a pair (a few chunks carry costs unrelated to the gate: the order index
growing, a preemption). The orders stay below the limits: the rate limit (1,000,000 orders a
second) is kept by a pause of 3 ms after every chunk, untimed.

The front is a scripted simulated broker (tradecore.sim) with auto-accept and, for the measured
calls, its request log off: the engine connects but never logs in (no answers come), nothing
calls back into Python while the calls run, and the simulator only counts each request. After
every round the count is checked: every call reached the front.

Two CPU figures per call: the calling thread's (everything the call itself does) and the whole
process's (every thread). They differ by the engine's memory helper, which maps and faults in
the memory of later orders on its own thread (trader/PermanentArena.h). Nothing here asserts a
time.

    python bench/bench_orders.py [--count N] [--rounds R]
"""
import argparse
import gc
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import tradecore  # noqa: E402
from tradecore import sim  # noqa: E402
from tradecore.book import Book  # noqa: E402
from tradecore.risk import MAX_RATE, Limits  # noqa: E402
from benchlib import load_average, login  # noqa: E402

FRONT = "sim://bench-orders"
GATED_FRONT = "sim://bench-orders-gated"
GOAL = 3.0
GATE_GOAL = 1.10
FILL_GOAL_NS = 1000.0
CHUNK = 2048
EVERY_LIMIT = Limits(max_order_volume=10000, lot_size=100, max_order_notional=1e6, price_band=0.05,
                     max_open_orders_per_security=100000000, max_open_orders=100000000,
                     max_orders_per_second=MAX_RATE, max_cancels_per_second=1000, max_daily_loss=1e6)


def paired_engine(front, user, book=None):
    """An engine on a front of its own, with usable cash and a snapshot of 600000 in its store
    (so that the price checks read it), and `book` attached when given."""
    broker = sim.Broker(front, sim.SCRIPTED)
    broker.set_auto_accept(True)
    handle = tradecore.init(1, login(front, user), *(book.processors() if book else ()))
    if handle is None or not broker.wait_connections(2) or not broker.drain():
        sys.exit("the engine did not connect to its simulated front")
    if book is not None:
        book.attach(handle)
    # Usable cash rides on every order notification; a snapshot gives the limit and last prices.
    broker.push("OnRtnOrder", {"OrderRef": "0", "RtnFloatInfo": 1e11, "RtnIntInfo": 999999999})
    broker.push_md("OnRtnDepthMarketData", {"SecurityID": "600000", "ExchangeID": "1", "LastPrice": 10.0,
                                            "PreClosePrice": 10.0, "UpperLimitPrice": 11.0, "LowerLimitPrice": 9.0,
                                            "BidPrice1": 9.99, "AskPrice1": 10.01})
    broker.drain()
    broker.clear_requests()
    return broker, book, handle


def timed(function, count, between=None):
    """(wall, thread CPU, process CPU) ns per call of function(k) over count calls, timed in
    chunks with between() run untimed after each chunk."""
    gc.collect()
    gc.disable()
    try:
        wall = cpu = proc = 0
        done = 0
        while done < count:
            k = min(CHUNK, count - done)
            start, start_cpu, start_proc = time.perf_counter_ns(), time.thread_time_ns(), time.process_time_ns()
            function(k)
            cpu += time.thread_time_ns() - start_cpu
            proc += time.process_time_ns() - start_proc
            wall += time.perf_counter_ns() - start
            done += k
            if between is not None:
                between()
        return wall / count, cpu / count, proc / count
    finally:
        gc.enable()


def paired(function, count, first, second, between):
    """Chunks of function(k) alternating between first() and second() set up untimed before each;
    lists of (wall, thread CPU, process CPU) ns per call, one per chunk of each kind."""
    gc.collect()
    gc.disable()
    try:
        figures = ([], [])
        done = 0
        while done < count:
            k = min(CHUNK, count - done)
            order = (0, 1) if (done // CHUNK) % 2 == 0 else (1, 0)   # each kind goes first every other time
            for kind in order:
                (first if kind == 0 else second)()
                start, start_cpu, start_proc = time.perf_counter_ns(), time.thread_time_ns(), time.process_time_ns()
                function(k)
                cpu = time.thread_time_ns() - start_cpu
                proc = time.process_time_ns() - start_proc
                wall = time.perf_counter_ns() - start
                figures[kind].append((wall / k, cpu / k, proc / k))
                between()
            done += k
        return figures
    finally:
        gc.enable()


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=200000, help="calls per round")
    parser.add_argument("--rounds", type=int, default=5, help="rounds per contender (best is kept)")
    args = parser.parse_args()

    broker = sim.Broker(FRONT, sim.SCRIPTED)
    broker.set_auto_accept(True)
    tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
    handle = tradecore.init(1, login(FRONT))
    if handle is None:
        sys.exit("init failed: %s" % tradecore.getMessageByErrorID(tradecore.getInitError()))
    if not broker.wait_connections(1, sim.TRADER) or not broker.drain():
        sys.exit("the engine did not connect to the simulated front")

    buy_open = tradecore.buyOpen
    order_type = tradecore.ENUM_OrderType_LimitAndWait

    def orders(count, h=handle):
        for _ in range(count):
            buy_open(h, "600000", 100, order_type, 10.0, "1")

    def no_ops(count, h=None):
        for _ in range(count):
            buy_open(h, "600000", 100, order_type, 10.0, "1")

    record = tradecore.record
    order_event = tradecore.ENUM_OrderEventID_Accepted

    def proxies(count, address=None):
        for _ in range(count):
            record(order_event, address)

    def bare_loop(count):
        for _ in range(count):
            pass

    # An order really reaches the front, as the request the engine means; the no-op gives none.
    order = buy_open(handle, "600000", 100, order_type, 10.0, "1")
    sent = broker.requests("ReqOrderInsert")
    if not isinstance(order, tradecore.CQNOrderField) or order.thisown or len(sent) != 1:
        sys.exit("the order did not reach the simulated front")
    if sent[0]["fields"]["OrderRef"] != str(order.OrderID) or sent[0]["fields"]["SecurityID"] != "600000":
        sys.exit("the simulated front got another request than the order's: %r" % sent[0])
    if buy_open(None, "600000", 100, order_type, 10.0, "1") is not None:
        sys.exit("a null handle gave an order")
    proxies.__defaults__ = (int(order.this),)
    broker.clear_requests()

    def unlogged_orders(count):
        before = broker.requests_received()
        orders(count)
        if broker.requests_received() - before != count:
            sys.exit("not every order reached the simulated front")

    held = []

    def kept_orders(count, h=handle, append=held.append):
        # Every returned object kept (cleared untimed between chunks): a new object per call.
        for _ in range(count):
            append(buy_open(h, "600000", 100, order_type, 10.0, "1"))

    def release_held():
        held.clear()

    book = Book(limits=EVERY_LIMIT, reconcile_every=None)
    gated_broker, _, gated = paired_engine(GATED_FRONT, "bench-gated", book)

    def gated_orders(count, h=gated):
        before = gated_broker.requests_received()
        for _ in range(count):
            buy_open(h, "600000", 100, order_type, 10.0, "1")
        if gated_broker.requests_received() - before != count:
            sys.exit("the gate refused orders: %s" % (book.last_refusal,))

    def below_rate_limit():
        time.sleep(0.003)

    fill = tradecore.CQNOrderField()
    fill.OrderID = buy_open(gated, "600000", 100, order_type, 10.0, "1").OrderID
    fill.StandardID, fill.ExchangeID, fill.Direction = "600000", "1", tradecore.ENUM_Direction_Buy
    fill.OriginalVolume, fill.OriginalPrice = 1 << 30, 10.0
    fill.TradedVolumeChangeOfTurnover, fill.LastTradedPrice, fill.TurnoverChange = 1, 10.0, 10.0
    feed = book.processors()[0]

    def fills(count, event=tradecore.ENUM_OrderEventID_UpdateCost, address=int(fill.this)):
        for _ in range(count):
            feed(event, address)

    print("order entry from Python: %d calls per round, best of %d; load average %.1f"
          % (args.count, args.rounds, load_average()))
    inf = (float("inf"),) * 3
    best = {"buyOpen": inf, "kept": inf, "no-op": inf, "logged": inf, "loop": inf, "proxy": inf, "fill": inf}
    pairs = ([], [])   # per chunk: gated, plain

    def keep(name, figures):
        best[name] = min(best[name], figures, key=lambda f: f[1])

    for _ in range(args.rounds):
        # Interleaved, so a burst of load elsewhere on the machine hits all alike.
        keep("no-op", timed(no_ops, args.count))
        broker.set_request_log(False)
        keep("buyOpen", timed(unlogged_orders, args.count))
        keep("kept", timed(kept_orders, args.count, release_held))
        broker.set_request_log(True)
        keep("logged", timed(orders, args.count, broker.clear_requests))
        broker.clear_requests()
        keep("loop", timed(bare_loop, args.count))
        keep("proxy", timed(proxies, args.count))
        gated_broker.set_request_log(False)
        gated_chunks, plain_chunks = paired(gated_orders, args.count, lambda: book.attach(gated), book.detach,
                                            below_rate_limit)
        pairs[0].extend(gated_chunks)
        pairs[1].extend(plain_chunks)
        keep("fill", timed(fills, args.count))
    print("  %-40s %9s %11s %12s" % ("", "ns wall", "ns thread", "ns process"))
    for name, label in (("buyOpen", "buyOpen to a simulated front"),
                        ("kept", "buyOpen, every returned object kept"), ("no-op", "no-op buyOpen (null handle)"),
                        ("logged", "buyOpen, simulator logging requests"),
                        ("proxy", "record object for an address"), ("loop", "empty Python loop"),
                        ("fill", "the book's update for one fill")):
        print("  %-40s %9.0f %11.0f %12.0f" % ((label,) + best[name]))
    # Medians over the pairs of chunks (all rounds): each kind, and the difference within a pair.
    gated_ns = [median(c[i] for c in pairs[0]) for i in range(3)]
    plain_ns = [median(c[i] for c in pairs[1]) for i in range(3)]
    added_ns = [median(g[i] - p[i] for g, p in zip(*pairs)) for i in range(3)]
    print("  %-40s %9.0f %11.0f %12.0f" % (("buyOpen, gate off (median of chunks)",) + tuple(plain_ns)))
    print("  %-40s %9.0f %11.0f %12.0f" % (("buyOpen through the order gate (median)",) + tuple(gated_ns)))
    print("  %-40s %+9.0f %+11.0f %+12.0f" % (("... added in a pair (median)",) + tuple(added_ns)))
    ratios = [best["buyOpen"][i] / best["no-op"][i] for i in range(3)]
    print("ratios buyOpen / no-op call (goal <= %.0fx):" % GOAL)
    print("  wall %.2fx; CPU of the calling thread %.2fx (%s); CPU of the process %.2fx (%s)"
          % (ratios[0], ratios[1], "met" if ratios[1] <= GOAL else "not met",
             ratios[2], "met" if ratios[2] <= GOAL else "not met"))
    kept = [best["kept"][i] / best["no-op"][i] for i in range(3)]
    print("  keeping every returned object (no object handed out twice): wall %.2fx, calling thread %.2fx, "
          "process %.2fx" % tuple(kept))
    gate = [(plain_ns[i] + added_ns[i]) / plain_ns[i] for i in range(3)]
    print("the pre-trade checks (every limit on), buyOpen through the gate / without it (goal <= %.2fx):" % GATE_GOAL)
    print("  wall %.3fx; calling thread %.3fx (%s, %+.0f ns); process %.3fx"
          % (gate[0], gate[1], "met" if gate[1] <= GATE_GOAL else "not met", added_ns[1], gate[2]))
    print("the book's update per fill from Python: %.0f ns by the calling thread (goal < %.0f ns): %s"
          % (best["fill"][1], FILL_GOAL_NS, "met" if best["fill"][1] < FILL_GOAL_NS else "not met"))
    tradecore.exitX(handle)
    tradecore.exitX(gated)
    broker.remove()
    gated_broker.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main())
