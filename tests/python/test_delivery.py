"""Events reaching Python: the argument tuples of the four processors, the default printers and
the event text processor, run mode, exceptions raised by processors, and a processor that takes
the lock of the record it is handed. Each case runs one engine against the simulated paper broker
in a fresh interpreter (engines, run mode and the text processor are process-wide)."""
import json

from helpers import run_python

# A child that starts one engine on the paper front with the processors the case defines, runs
# `loop` until the case calls stop() (or a deadline passes, so a broken engine cannot hang the
# test), then prints the case's `result` as JSON on the last line of stdout.
PRELUDE = r'''
import json, sys, tempfile, threading, time
import tradecore as tc
from tradecore.strategy import make_login

result = {}
handle = None
deadline = time.monotonic() + 30

def stop():
    tc.exitX(handle)

def guard():
    if time.monotonic() > deadline:
        result["timed_out"] = True
        stop()

def start(order=None, event=None, loop=None, md=None, user="u1"):
    global handle
    login = make_login(user, base_path=tempfile.mkdtemp())
    handle = tc.init(1, login, order, event, loop, md)
    assert handle is not None, tc.getInitError()
    tc.loop()
'''

EPILOGUE = r'''
sys.stdout.flush()
print(json.dumps(result))
'''


class Outcome:
    """The case's result, what the child printed before it, and its stderr."""

    def __init__(self, proc):
        printed, _, last = proc.stdout.rstrip("\n").rpartition("\n")
        self.result = json.loads(last)
        self.stdout = printed
        self.stderr = proc.stderr


def run_case(body):
    out = Outcome(run_python(PRELUDE + body + EPILOGUE, timeout=120))
    return out.result, out


def test_event_processor_gets_six_values_of_exact_types():
    result, _ = run_case(r'''
seen = []
def on_event(*args):
    seen.append(args)
    if args[0] == tc.ENUM_EventID_MdReady:
        stop()
def on_loop():
    guard()
start(event=on_event, loop=on_loop)
result["events"] = [[a[0], a[1], a[2], a[3], a[4], a[5], [type(x).__name__ for x in a]] for a in seen]
result["main"] = threading.main_thread().ident
''')
    events = {e[0]: e for e in result["events"]}
    assert "timed_out" not in result
    login = events[12101]
    assert login[6] == ["int", "int", "bool", "int", "str", "str"]
    assert login[1] != 0 and login[5] == "u1" and login[3] == 0
    assert events[10003][1] == 0  # TraderReady carries no record: address 0
    assert events[10002][1] == 0
    for e in result["events"]:
        assert len(e[6]) == 6 and e[6][2] == "bool"


def test_order_and_snapshot_processors_get_event_and_address():
    result, _ = run_case(r'''
orders, snaps, placed = [], [], []
def on_order(*args):
    orders.append([args, [type(x).__name__ for x in args]])
def on_md(*args):
    snaps.append([args, [type(x).__name__ for x in args]])
def on_loop():
    guard()
    if not placed:
        tc.subscribe(handle, ["600000"])
        order = tc.buyOpen(handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 1.0, "1")
        placed.append(int(order.this) if order is not None else 0)
    elif orders and snaps:
        stop()
start(order=on_order, loop=on_loop, md=on_md)
result.update(orders=orders, snaps=snaps[:3], placed=placed)
''')
    assert "timed_out" not in result
    args, types = result["orders"][0]
    assert types == ["int", "int"] and 10011 <= args[0] <= 10017
    assert args[1] == result["placed"][0] != 0
    args, types = result["snaps"][0]
    assert types == ["int", "int"] and args[0] == 10021 and args[1] != 0


def test_default_printers_go_to_print_until_a_text_processor_is_set():
    result, out = run_case(r'''
texts = []
def on_loop():
    guard()
    if "set" not in result:
        result["refused"] = tc.setEventTextProcessor(5)      # not callable: refused
        result["set"] = tc.setEventTextProcessor(texts.append)
        result["refused_after"] = tc.setEventTextProcessor(None)
        tc.subscribe(handle, ["600000"])
    elif any("EventName:MarketDataSnap." in t for t in texts):
        stop()
start(loop=on_loop)
result["texts"] = texts
''')
    assert "timed_out" not in result
    assert (result["refused"], result["set"], result["refused_after"]) == (-1, 0, -1)
    # Before the processor was set (the login answer precedes the first loop pass), the
    # built-in print wrote to stdout.
    assert "-------\nEventName:LoginTrader,EventID:12101,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\nLoginTime:" \
        in out.stdout
    texts = result["texts"]
    snap = next(t for t in texts if "MarketDataSnap" in t)
    assert snap.startswith("-------\nEventName:MarketDataSnap.\nCQNMarketDataField>>>\nTradingDay:\"")
    assert snap.endswith("\n-------")
    # Each event's text goes to exactly one of the two: printed before, captured after.
    ready = "-------\nEventName:MdReady,EventID:10002,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\n\n-------"
    assert out.stdout.count(ready) + texts.count(ready) == 1
    assert "MarketDataSnap" not in out.stdout
    assert not any("QrySecurity" in t for t in texts) and "QrySecurity" not in out.stdout


def test_broker_text_is_decoded_from_gb2312_and_python_text_from_utf8():
    result, _ = run_case(r'''
texts = []
tc.setEventTextProcessor(texts.append)
def on_loop():
    guard()
    stop()
start(loop=on_loop, user="\u7528\u6237")
result["login"] = [t for t in texts if "EventID:12101" in t]
''')
    login = result["login"][0]
    # The paper broker names its user in Chinese (GB2312 in the record); the user id came from
    # Python (UTF-8), and the same text shows both.
    assert ",UserID:\u7528\u6237,ErrorID:" in login
    assert "UserName:\"" in login
    name = login.split("UserName:\"", 1)[1].split("\"", 1)[0]
    assert name and all(ord(c) > 0x4e00 for c in name), name


def test_release_mode_prints_order_events_only():
    result, out = run_case(r'''
texts = []
tc.setEventTextProcessor(texts.append)
tc.setRunMode(tc.ENUM_RunMode_Release)
placed = []
passes = [0]
def on_loop():
    guard()
    passes[0] += 1
    if not placed:
        tc.subscribe(handle, ["600000"])
        placed.append(tc.buyOpen(handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 1.0, "1"))
    elif texts and passes[0] >= 10:   # a second of snapshots and answers, none of them printed
        stop()
start(loop=on_loop)
result["texts"] = texts
''')
    assert "timed_out" not in result
    assert result["texts"] and out.stdout == ""
    for text in result["texts"]:
        assert text.startswith("-------\nEventName:") and "QNOrderField>>>\n" in text, text


def test_raising_processors_are_printed_and_the_engine_carries_on():
    result, out = run_case(r'''
count = {"event": 0, "loop": 0, "md_ready": 0}
def on_event(*args):
    count["event"] += 1
    if args[0] == tc.ENUM_EventID_MdReady:
        count["md_ready"] += 1
    raise ValueError("event processor failed %d" % count["event"])
def on_loop():
    guard()
    count["loop"] += 1
    if count["loop"] == 1:
        sys.exit(3)   # must not end the process either
    if count["loop"] == 2:
        raise KeyError("loop processor failed")
    if count["md_ready"] and count["loop"] >= 3:
        stop()
start(event=on_event, loop=on_loop)
result.update(count)
''')
    assert "timed_out" not in result
    assert result["event"] >= 4 and result["loop"] >= 2
    assert out.stderr.count("ValueError: event processor failed") == result["event"]
    assert "Traceback (most recent call last)" in out.stderr
    assert "SystemExit: 3" in out.stderr
    assert "KeyError: 'loop processor failed'" in out.stderr


def test_raising_text_processor_is_printed_and_printing_carries_on():
    result, out = run_case(r'''
texts = []
def on_text(text):
    texts.append(text)
    raise RuntimeError("text processor failed")
tc.setEventTextProcessor(on_text)
def on_loop():
    guard()
    stop()
start(loop=on_loop)
result["texts"] = len(texts)
''')
    assert result["texts"] >= 3
    assert out.stderr.count("RuntimeError: text processor failed") == result["texts"]


def test_processor_may_lock_the_record_it_is_handed():
    result, _ = run_case(r'''
locked = {"md": 0, "order": 0}
placed = []
def on_md(event, address):
    snap = tc.record(event, address)
    tc.getMarketDataLock(snap)      # the engine holds it for this thread: returns at once
    snap.LastPrice                  # read as it is
    tc.releaseMarketDataLock(snap)
    locked["md"] += 1
def on_order(event, address):
    order = tc.record(event, address)
    tc.getOrderLock(order)
    tc.releaseOrderLock(order)
    locked["order"] += 1
def on_loop():
    guard()
    if not placed:
        tc.subscribe(handle, ["600000"])
        placed.append(tc.buyOpen(handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 1.0, "1"))
    elif locked["md"] >= 3 and locked["order"] >= 1:
        # Outside a delivery the lock works as usual, and the engine released what it held.
        order = placed[0]
        tc.getOrderLock(order)
        tc.releaseOrderLock(order)
        stop()
start(order=on_order, loop=on_loop, md=on_md)
result.update(locked)
''')
    assert "timed_out" not in result
    assert result["md"] >= 3 and result["order"] >= 1


def test_each_sdk_thread_keeps_its_python_thread_state():
    # Thread-local data set by a processor is still there at the next event on the same SDK
    # thread: the thread keeps one Python thread state for its life.
    result, _ = run_case(r'''
local = threading.local()
runs = {}
subscribed = []
def on_md(event, address):
    local.count = getattr(local, "count", 0) + 1
    runs[threading.get_ident()] = local.count
def on_loop():
    guard()
    if not subscribed:
        subscribed.append(tc.subscribe(handle, ["600000", "600519"]))
    elif runs and max(runs.values()) >= 5:
        stop()
start(loop=on_loop, md=on_md)
result["max"] = max(runs.values()) if runs else 0
result["main"] = threading.get_ident() in runs
''')
    assert "timed_out" not in result
    assert result["max"] >= 5
    assert not result["main"]


EXIT_DURING_DELIVERY = r'''
import tempfile, threading
import tradecore
from tradecore import sim
from tradecore.strategy import make_login
tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
sim.Broker("sim://paper-exit", sim.PAPER, config={"snapshotsPerSecond": 0})
started = threading.Event()
def on_loop():
    started.set()
    for _ in range(20000):       # engine calls: the lock is let go and taken back each time
        tradecore.getTimeElapse(0)
tradecore.init(1, make_login("ex", trader_front="sim://paper-exit", base_path=tempfile.mkdtemp()), None, None,
               on_loop, None)
threading.Thread(target=tradecore.loop, daemon=True).start()
started.wait(10)
'''


def test_the_interpreter_exits_cleanly_while_a_processor_is_inside_an_engine_call():
    # The interpreter shuts down while the engine thread's loop processor is between two engine
    # calls: Python ends that thread when it asks for the lock again, and the engine must not
    # hand back a lock it no longer holds (that aborted the process).
    for _ in range(3):
        run_python(EXIT_DURING_DELIVERY, timeout=60)
