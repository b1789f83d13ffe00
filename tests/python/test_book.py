"""tradecore.book and tradecore.risk against the paper broker, each session in a fresh interpreter
(engines are process-wide): pre-trade checks on the raw order calls and the strategy's helpers,
the kill switch with faults on, restart recovery by a second process (whose kill switch cancels
the first one's orders too), and reconciliation of a difference made at the broker. Every limit at its
boundary is in the C++ table (tests/cpp/test_book_gate.cpp)."""
import json
import os
import re

import pytest

from helpers import run_python
from tradecore import book, risk

RIG = r"""
import json, sys, tempfile, threading, time
import tradecore
from tradecore import sim
from tradecore.book import Book
from tradecore.risk import Limits, refusal
from tradecore.strategy import make_login
tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
out = {}

def session(address, book, steps, run_id=1, seconds=90):
    # Each engine-thread pass runs the first step not done yet; a step is done when it returns
    # true. The session ends with the last step (or after `seconds`).
    state = {"step": 0}
    def on_loop():
        if state["step"] < len(steps) and steps[state["step"]](handle):
            state["step"] += 1
        if state["step"] == len(steps):
            tradecore.exitX(handle)
    login = make_login("bk", trader_front=address, base_path=tempfile.mkdtemp(), TaskExecuteGap=20000,
                       TaskFailedGap=50000, LoopGap=20000)
    handle = tradecore.init(run_id, login, *book.processors(None, None, on_loop, None))
    book.attach(handle)
    watchdog = threading.Timer(seconds, lambda: tradecore.exitX(None))
    watchdog.daemon = True
    watchdog.start()
    tradecore.loop()
    out["steps_done"] = state["step"] == len(steps)

def until(condition, seconds=30):
    # A step that waits: done once `condition()` holds (a failure after `seconds`).
    deadline = []
    def step(handle):
        if not deadline:
            deadline.append(time.monotonic() + seconds)
        if condition():
            return True
        if time.monotonic() > deadline[0]:
            raise SystemExit("timed out waiting")
        return False
    return step

def report():
    print(json.dumps(out))

def resting_buy(handle, price):
    return tradecore.buyOpen(handle, "600000", 100, tradecore.ENUM_OrderType_LimitAndWait, price)

OPEN = ("1", "2", "3")   # the broker's open states: part traded queueing, part traded not, queueing
"""


def child(code, timeout=150):
    proc = run_python(RIG + code, timeout=timeout)
    return json.loads(proc.stdout.strip().splitlines()[-1])


RAW_CALLS = r"""
broker = sim.Broker("sim://paper-book-raw", sim.PAPER, config={"snapshotsPerSecond": 0,
    "positions": [{"securityID": "600000", "exchangeID": "1", "volume": 1000}]})
b = Book(limits=Limits(max_order_volume=1200), reconcile_every=None)
seen = []
def subscribe(handle):
    tradecore.subscribe(handle, ["600000"])
    return True
def snapshot_known(handle):
    broker.tick()   # pushed to subscribers once the market-data side has subscribed
    return b.position("600000").mark > 0
def orders(handle):
    o = {}
    o["zero"] = tradecore.buyOpen(handle, "600000", 0, "0", 9.5)
    o["at_max"] = tradecore.buyOpen(handle, "600000", 1200, "0", 9.5)
    o["over_max"] = tradecore.buyOpen(handle, "600000", 1201, "0", 9.5)
    o["above_upper"] = tradecore.buyOpen(handle, "600000", 100, "0", 11.01)
    o["nan"] = tradecore.insertOrder(handle, "1", "600000", "0", "0", 100, "231", float("nan"))
    o["oversell"] = tradecore.sellClose(handle, "600000", 1001, "0", 10.5)
    o["sell_all"] = tradecore.sellClose(handle, "600000", 1000, "0", 10.5)
    b.set_limits(max_open_orders=2)   # changed while trading: the next order meets it
    o["third_open"] = tradecore.buyOpen(handle, "600000", 100, "0", 9.5)
    b.set_limits(max_open_orders=0)
    o["after"] = tradecore.buyOpen(handle, "600000", 100, "0", 9.5)
    out["orders"] = {k: [v.OrderStatus, v.ErrorID, list(refusal(v) or ())] for k, v in o.items()}
    out["messages"] = {k: o[k].Message for k in ("over_max", "oversell")}
    return True
session("sim://paper-book-raw", b, [subscribe, snapshot_known, orders, until(lambda: len(b.open_orders()) == 3)])
out["inserts"] = len([o for o in broker.orders() if o["orderSysID"]])
out["open"] = len(b.open_orders())
out["position"] = b.position("600000")._asdict()
out["last"] = list(b.last_refusal)
report()
"""


def test_raw_order_calls_pass_the_checks(tc):
    r = child(RAW_CALLS)
    assert r["steps_done"]
    rejected = tc.ENUM_OrderStatus_Rejected
    o = r["orders"]
    assert o["zero"] == [rejected, tc.ENUM_ErrorID_InvalidVolume, ["Volume", "0 is not positive", -1002500]]
    assert o["at_max"][0] != rejected and o["at_max"][2] == []
    assert o["over_max"][:2] == [rejected, tc.ENUM_ErrorID_InvalidVolume]
    assert o["over_max"][2][:2] == ["MaxVolume", "1201 above 1200 by 1"]
    assert o["above_upper"][2][:2] == ["LimitPrice", "11.01 above the upper limit 11.00 by 0.01"]
    assert o["above_upper"][1] == tc.ENUM_ErrorID_InvalidPrice
    assert o["nan"][2][0] == "Price" and o["nan"][1] == tc.ENUM_ErrorID_InvalidPrice
    assert o["oversell"][2][:2] == ["Position", "sell 1001 of 600000.1, 1000 sellable, short by 1"]
    assert o["sell_all"][0] != rejected
    assert o["third_open"][2][:2] == ["OpenOrders", "2 open and this one, limit 2 (by 1)"]
    assert o["third_open"][1] == tc.ENUM_ErrorID_BrokerReject
    assert o["after"][0] != rejected
    # The engine's insert-failure text, with the limit and the amount in it.
    assert r["messages"]["over_max"].startswith("TORATrader InsertOrder Failed. UserID:bk,")
    assert "ErrorID:-1002500,ErrorMsg:Risk:MaxVolume: 1201 above 1200 by 1." in r["messages"]["over_max"]
    # Only what passed reached the broker; the sell of everything holds the shares.
    assert r["inserts"] == 3 and r["open"] == 3
    assert r["position"]["frozen"] == 1000 and r["position"]["sellable"] == 0
    assert r["last"][0] == "OpenOrders"


KILL = r"""
broker = sim.Broker("sim://paper-book-kill", sim.PAPER, config={"snapshotsPerSecond": 0,
    "positions": [{"securityID": "600000", "exchangeID": "1", "volume": 1000}]})
confirmed = []
b = Book(reconcile_every=None, retry_every=0.2, on_killed=confirmed.append)
def place(handle):
    for i in range(6):
        resting_buy(handle, 9.5 - i * 0.01)
    tradecore.sellClose(handle, "600000", 500, "0", 10.8)
    return True
def kill(handle):
    broker.set_faults(seed=11, refuseSend=0.25, errorAnswer=0.15, duplicateNotice=0.3, reorderNotice=0.3,
                      lateAnswer=0.3, lateMillis=80, disconnect=0.04, reconnectMillis=80)
    out["kill"] = b.kill()
    late = tradecore.buyOpen(handle, "600000", 100, "0", 9.5)
    out["late"] = [late.OrderStatus, list(refusal(late) or ())]
    return True
session("sim://paper-book-kill", b, [place, until(lambda: len(b.open_orders()) == 7 and
                                                  all(o.order_sys_id for o in b.open_orders())),
                                     kill, until(lambda: out["kill"].done.is_set(), seconds=80)], seconds=120)
k = out.pop("kill")
out["done"] = k.done.is_set()
out["cancels"] = k.cancels_sent
out["confirmed"] = [c is k and c.finished is not None and c.finished >= c.started and not c.remaining
                    for c in confirmed]
broker.set_faults(refuseSend=0, errorAnswer=0, duplicateNotice=0, reorderNotice=0, lateAnswer=0, disconnect=0)
out["counters"] = broker.fault_counters()
out["broker_open"] = [o["orderRef"] for o in broker.orders() if o["orderStatus"] in OPEN]
out["broker_states"] = sorted({o["orderStatus"] for o in broker.orders()})
out["book_open"] = len(b.open_orders())
out["halted"] = b.halted
report()
"""


def test_kill_switch_against_faults(tc):
    r = child(KILL, timeout=200)
    assert r["steps_done"] and r["done"]
    assert r["confirmed"] == [True]   # reported once, when the broker had confirmed every cancel
    # Faults of every kind were on meanwhile, and the broker says nothing is open.
    counters = r["counters"]
    assert counters["refusedSends"] > 0 and counters["duplicatedNotices"] + counters["reorderedNotices"] > 0
    assert r["broker_open"] == [] and r["book_open"] == 0
    assert r["broker_states"] == [tc.ENUM_OrderStatus_Canceled]  # the broker's own "5"
    assert r["cancels"] >= 7
    # No new order goes while the switch holds.
    assert r["late"][0] == tc.ENUM_OrderStatus_Rejected and r["late"][1][0] == "Halted"
    assert r["halted"]


FIRST = r"""
journal = sys.argv[1]
broker = sim.Broker("sim://paper-book-day", sim.PAPER, config={"snapshotsPerSecond": 0, "journalPath": journal})
b = Book(reconcile_every=None)
def place(handle):
    out["refs"] = [resting_buy(handle, 9.6 - i * 0.01).OrderID for i in range(4)]
    ask = broker.snapshot("600000")["AskPrice1"]
    tradecore.buyOpen(handle, "600000", 200, "0", ask)   # trades at once
    return True
session("sim://paper-book-day", b, [place, until(lambda: len(b.open_orders()) == 4 and
                                                 b.position("600000").volume == 200)])
out["session"] = b.orders()[0].session_id
report()
"""

SECOND = r"""
journal = sys.argv[1]
broker = sim.Broker("sim://paper-book-day", sim.PAPER, config={"snapshotsPerSecond": 0, "journalPath": journal})
b = Book(reconcile_every=None)
def look(handle):
    # Before the first loop pass: the book holds the first process's day.
    out["earlier"] = [[o.order_ref, o.session_id, o.this_run, o.status, o.volume] for o in b.open_orders()]
    out["position"] = b.position("600000")._asdict()
    out["cash"] = b.cash._asdict()
    out["broker_cash"] = broker.account()["available"]
    out["cancels"] = [b.cancel(o) for o in b.open_orders()[:2]]
    out["own"] = resting_buy(handle, 9.4).OrderID
    return True
def broker_open():
    return [o for o in broker.orders() if o["orderStatus"] in OPEN]
def confirm(handle):
    # The book hears of an earlier run's order from the order query only.
    b.reconcile()
    return True
def kill(handle):
    # The kill switch: the first run's two orders left and this run's own.
    out["kill"] = b.kill()
    return True
session("sim://paper-book-day", b, [look, until(lambda: len(broker_open()) == 3), confirm,
                                    until(lambda: len(b.open_orders()) == 3 and
                                          all(o.order_sys_id for o in b.open_orders())),
                                    kill, until(lambda: out["kill"].done.is_set())], run_id=2)
out["killed"] = out.pop("kill").cancels_sent
out["broker_states"] = [o["orderStatus"] for o in broker.orders()]
out["book_open"] = len(b.open_orders())
report()
"""


def test_a_second_process_sees_and_cancels_the_first_ones_orders(tc, tmp_path):
    journal = str(tmp_path / "day.json")
    first = child("sys.argv[1:] = [%r]\n" % journal + FIRST)
    assert first["steps_done"] and len(first["refs"]) == 4
    second = child("sys.argv[1:] = [%r]\n" % journal + SECOND)
    assert second["steps_done"]
    earlier = second["earlier"]
    assert sorted(o[0] for o in earlier) == sorted(first["refs"])
    assert all(o[1] == first["session"] and o[2] is False and o[3] == tc.ENUM_OrderStatus_Accepted and o[4] == 100
               for o in earlier)
    # The trade and the cash of the first run are the book's from the start.
    assert second["position"]["volume"] == 200 and second["position"]["bought_volume"] == 200
    assert second["position"]["sellable"] == 0  # bought today
    assert second["cash"]["available"] == pytest.approx(second["broker_cash"])
    assert second["cash"]["frozen"] == pytest.approx(sum(100 * (9.6 - i * 0.01) for i in range(4)))
    # Two cancelled one by one, the other two and this run's own order by the kill switch.
    assert second["cancels"] == [0, 0] and second["killed"] >= 3 and second["book_open"] == 0
    assert sorted(second["broker_states"]) == ["0", "5", "5", "5", "5", "5"]


RECONCILE = r"""
broker = sim.Broker("sim://paper-book-rec", sim.PAPER, config={"snapshotsPerSecond": 0, "cash": 100000,
    "positions": [{"securityID": "600000", "exchangeID": "1", "volume": 1000}]})
found = []
b = Book(reconcile_every=None, on_difference=found.append)
def quiet(handle):
    b.reconcile()          # nothing differs yet
    return True
def inject(handle):
    out["before"] = list(found)
    broker.adjust(cash=250.0, positions={"600000": 100})
    b.reconcile()
    return True
session("sim://paper-book-rec", b, [quiet, until(lambda: b._round is None), inject,
                                    until(lambda: len(found) >= 3)])
out["found"] = [list(d) for d in found]
out["position"] = b.position("600000")._asdict()
out["cash"] = b.cash.available
report()
"""


def test_reconciliation_reports_a_difference_made_at_the_broker():
    r = child(RECONCILE)
    assert r["steps_done"] and r["before"] == []
    assert sorted(map(tuple, r["found"])) == [
        ("cash", "cash", "available", 100000.0, 100250.0),
        ("position", "600000.1", "sellable", 1000.0, 1100.0),
        ("position", "600000.1", "volume", 1000.0, 1100.0),
    ]
    # Reported, then the broker's figures are the book's.
    assert r["position"]["volume"] == 1100 and r["position"]["sellable"] == 1100
    assert r["cash"] == 100250.0


def test_limits_are_checked_before_they_reach_the_engine():
    with pytest.raises(ValueError, match="max_order_volume"):
        risk.Limits(max_order_volume=-1).checked()
    with pytest.raises(ValueError, match="price_band"):
        risk.Limits(price_band=float("nan")).checked()
    with pytest.raises(ValueError, match="max_orders_per_second"):
        risk.Limits(max_orders_per_second=risk.MAX_RATE + 1).checked()
    with pytest.raises(TypeError, match="lot_size"):
        risk.Limits(lot_size=1.5).checked()
    b = book.Book(limits=risk.Limits(max_order_volume=10))
    with pytest.raises(TypeError, match="unknown limits: max_volume"):
        b.set_limits(max_volume=5)
    with pytest.raises(book.BookError):
        b.attach(12345)  # not an engine init returned
    assert b.limits.max_order_volume == 10 and b.position("600000").volume == 0
    # Every limit reaches the checks as itself (the checks give back what they hold).
    distinct = risk.Limits(1, 2, 3.5, 0.04, False, True, False, 5, 6, 7, 8, 9.5)
    b.limits = distinct
    assert b.limits == distinct and [type(v) for v in b.limits] == [type(v) for v in distinct]
    b.set_limits(check_cash=False)
    assert b.limits == distinct._replace(check_cash=False)


README = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "README.md")
PAPER_DAY = r"""
import tradecore
from tradecore import sim
tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
broker = sim.Broker("sim://paper", sim.PAPER, config={"snapshotsPerSecond": 10, "positions": [
    {"securityID": "600000", "exchangeID": "1", "volume": 1000},
    {"securityID": "000001", "exchangeID": "2", "volume": 500}]})
"""


QUOTES = r"""
import json
print(json.dumps({"sides": sorted({o["direction"] for o in broker.orders()}),
                  "largest": max(o["volume"] for o in broker.orders())}))
"""


def readme_example(name):
    with open(README, encoding="utf-8") as f:
        blocks = re.findall(r"```python\n(.*?)```", f.read(), re.S)
    return next(b for b in blocks if "class %s(Strategy)" % name in b)


@pytest.mark.skipif(not os.path.exists(README), reason="source tree not available")
def test_the_readme_market_maker_and_end_of_day_routine_run(tmp_path):
    maker, closing = readme_example("MarketMaker"), readme_example("EndOfDay")
    assert len(maker.splitlines()) < 40 and len(closing.splitlines()) < 40
    # Run where their flow directories may land.
    out = run_python(PAPER_DAY + maker.replace("duration=60", "duration=4") + QUOTES, timeout=120,
                     cwd=str(tmp_path)).stdout
    assert "stopped (duration): Position(security='600000'" in out and "Cash(available=" in out
    quotes = json.loads(out.strip().splitlines()[-1])
    assert {"0", "1"} <= set(quotes["sides"]) and quotes["largest"] <= 200   # bid and ask, within its limits
    out = run_python(PAPER_DAY + closing, timeout=120, cwd=str(tmp_path)).stdout
    # Everything sellable sold, and the day's report.
    assert "600000.1: 0 held (0 bought, 1000 sold today)" in out
    assert "000001.2: 0 held (0 bought, 500 sold today)" in out and "day P&L" in out


CTRL_C = r"""
import os, signal, threading, time
# What a terminal gives Python: Ctrl-C raises KeyboardInterrupt (a parent that ignores SIGINT,
# such as a shell running the suite in the background, would have the child ignore it too).
signal.signal(signal.SIGINT, signal.default_int_handler)
from tradecore.risk import Limits, RiskRefused
from tradecore.strategy import Strategy
broker = sim.Broker("sim://paper-book-int", sim.PAPER, config={"snapshotsPerSecond": 0})
class Quoting(Strategy):
    limits = Limits(max_open_orders=10)
    kill_on_interrupt = True
    def on_loop(self):
        if not getattr(self, "placed", False):
            # The helpers raise for what the checks refuse, and send nothing.
            out["refused"] = []
            for place in (lambda: self.buy("600000", 100, float("nan")), lambda: self.sell("600000", 100, 10.0),
                          lambda: self.buy("600000", 0, 9.5)):
                try:
                    place()
                except RiskRefused as e:
                    out["refused"].append([e.refusal.check, e.order.OrderStatus, e.order.ErrorID])
            self.placed = [self.buy("600000", 100, 9.5 - i * 0.01) for i in range(3)]
        elif len(self.book.open_orders()) == 3 and all(o.order_sys_id for o in self.book.open_orders()):
            if not getattr(self, "signalled", False):
                self.signalled = True
                os.kill(os.getpid(), signal.SIGINT)   # Ctrl-C
    def on_stop(self, reason):
        out["reason"] = reason
        out["broker_open"] = [o["orderRef"] for o in broker.orders() if o["orderStatus"] in OPEN]
        out["inserts"] = len(broker.orders())
        out["killed"] = self.book.halted and not self.book.open_orders()
s = Quoting()
try:
    s.run(make_login("int", trader_front="sim://paper-book-int", base_path=tempfile.mkdtemp()), duration=60)
except KeyboardInterrupt:
    out["interrupted"] = True
report()
"""


def test_ctrl_c_pulls_the_kill_switch_before_the_strategy_stops(tc):
    r = child(CTRL_C)
    assert r["interrupted"] and r["reason"] == "interrupt"
    assert r["killed"] and r["broker_open"] == []
    rejected = tc.ENUM_OrderStatus_Rejected
    assert r["refused"] == [["Price", rejected, tc.ENUM_ErrorID_InvalidPrice],
                            ["Position", rejected, tc.ENUM_ErrorID_BrokerReject],
                            ["Volume", rejected, tc.ENUM_ErrorID_InvalidVolume]]
    assert r["inserts"] == 3   # only the three quotes reached the broker
