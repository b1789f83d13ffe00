"""Running strategies by hand: Ctrl-C and other signals while loop, init or Strategy.run block
(a child process gets the signal and must end within a generous bound), the life of a strategy
(stop, run again, two accounts at once), RunIDs the engine would cut, handlers that raise
SystemExit, refused logins and unreachable fronts. Every case runs in a fresh interpreter:
engines are process-wide."""
import json
import os
import queue
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from helpers import PACKAGE_PARENT, run_python

# What a terminal gives Python: Ctrl-C raises KeyboardInterrupt (a parent that ignores SIGINT
# would pass the ignoring on to the child).
PRELUDE = r"""
import json, os, signal, sys, tempfile, threading, time
signal.signal(signal.SIGINT, signal.default_int_handler)
import tradecore as tc
from tradecore import sim, _control
from tradecore.strategy import Strategy, StrategyError, StrategyStopped, make_login
tc.setRunMode(tc.ENUM_RunMode_Release)
PID = os.getpid()
def say(*what):
    print(*what, flush=True)
def login(user, front, **fields):
    return make_login(user, trader_front=front, base_path=tempfile.mkdtemp(), **fields)
"""

# Raw loop: a signal handler of the script runs while loop blocks; Ctrl-C ends loop with every
# engine told to exit, although LoopGap asks for an hour between passes.
RAW_LOOP = r"""
signal.signal(signal.SIGUSR1, lambda *_: say("handler ran"))
started = []
def on_loop():
    if not started:
        started.append(1)
        say("ready")
h = tc.init(1, login("raw-loop", "sim://paper"), None, None, on_loop, None)
try:
    tc.loop()
except KeyboardInterrupt:
    say("status", _control.engineStatus(h))
    raise
"""

# Raw init waiting for a front no broker serves: Ctrl-C gives the wait up and nothing of it stays
# registered, so the same account then starts on a front that answers.
RAW_INIT = r"""
say("ready")
try:
    tc.init(1, login("raw-init", "sim://nobody-here", connect_timeout=None))
except KeyboardInterrupt:
    say("init error", tc.getInitError())
    h = tc.init(1, login("raw-init", "sim://paper"))
    say("status", _control.engineStatus(h))
    raise
"""

# Strategy.run: on_stop sees the interrupt, the resting order is left as it was.
STRATEGY = r"""
broker = sim.Broker("sim://ctrl-c/%d" % PID, sim.PAPER)
class Resting(Strategy):
    order = None
    stops = []
    def on_start(self):
        self.subscribe(["600000"], "1")
    def on_snapshot(self, event, snapshot):
        if self.order is None:
            self.order = self.buy("600000", 100, snapshot.LowerLimitPrice, exchange_id="1")   # rests
    def on_order(self, event, order):
        if event == tc.ENUM_OrderEventID_Accepted:
            say("ready")
    def on_stop(self, reason):
        self.stops.append(reason)
s = Resting()
try:
    s.run(login("ctrl-c", broker.address))
finally:
    broker.drain()
    say("result", json.dumps({"stops": s.stops, "status": s.status,
                              "ledger": [o["orderStatus"] for o in broker.orders()]}))
"""


def lines_of(out, key):
    return [line[len(key) + 1:] for line in out.splitlines() if line.startswith(key + " ")]


@pytest.mark.parametrize("script, before_interrupt", [(RAW_LOOP, "usr1"), (RAW_INIT, "wait"), (STRATEGY, None)],
                         ids=["loop", "init", "strategy-run"])
def test_ctrl_c_ends_the_wait_and_the_process(script, before_interrupt):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in (PACKAGE_PARENT, os.environ.get("PYTHONPATH")) if p))
    proc = subprocess.Popen([sys.executable, "-c", textwrap.dedent(PRELUDE + script)], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    lines = queue.Queue()
    reader = threading.Thread(target=lambda: [lines.put(line) for line in iter(proc.stdout.readline, "")],
                              daemon=True)
    reader.start()
    try:
        assert lines.get(timeout=60).strip() == "ready"
        seen = ""
        if before_interrupt == "usr1":
            proc.send_signal(signal.SIGUSR1)
            seen = lines.get(timeout=30).strip()
        elif before_interrupt == "wait":
            # init is waiting for its front by now; the child checks it really was (its error).
            time.sleep(0.5)
        proc.send_signal(signal.SIGINT)
        # Generous for a loaded machine: the child itself raises within half a second.
        proc.wait(timeout=30)
        reader.join(timeout=30)
    finally:
        proc.kill()
        err = proc.stderr.read()
    out = "".join(lines.queue)
    assert proc.returncode == -signal.SIGINT, err       # the usual status for an interrupt
    assert "KeyboardInterrupt" in err
    if before_interrupt == "usr1":
        assert seen == "handler ran"
        assert lines_of(out, "status") == ["5"]         # every engine was told to exit
    elif before_interrupt == "wait":
        assert lines_of(out, "init error") == ["-1001500"]
        assert lines_of(out, "status") == ["2"]         # a fresh engine, connected
    else:
        result = json.loads(lines_of(out, "result")[0])
        assert result["stops"] == ["interrupt"] and result["status"] == "5"
        assert result["ledger"] == ["3"]                # still resting: open orders are left alone


LIFE = r"""
brokers = {n: sim.Broker("sim://life-%s/%d" % (n, PID), sim.PAPER, config={"seed": 3}) for n in "ab"}

class Life(Strategy):
    def __init__(self, name, stop_after_loops=None):
        super().__init__()
        self.name, self.stop_after_loops = name, stop_after_loops
        self.log = {"starts": [], "stops": [], "loops": 0, "orders": [], "ready": 0}
        self.resting = self.rejected = None
    def on_start(self):
        self.log["starts"].append(self.status)
        self.loops_at_start = self.log["loops"]
    def on_event(self, event, record, is_last, error_id, message, user_id):
        self.log["ready"] += event == tc.ENUM_EventID_TraderReady
    def on_snapshot(self, event, snapshot):
        if self.resting is None:
            low = snapshot.LowerLimitPrice
            self.resting = self.buy("600000", 100, low, exchange_id="1")    # far below the market
            self.rejected = self.buy("600000", 150, low, exchange_id="1")   # an odd lot: refused
    def on_loop(self):
        self.log["loops"] += 1
        if self.log["loops"] == 1:
            self.subscribe(["600000"], "1")
        if self.stop_after_loops and self.log["loops"] - self.loops_at_start >= self.stop_after_loops:
            self.stop()
    def on_order(self, event, order):
        self.log["orders"].append([tc.event_name(event), order.OrderID])
    def on_stop(self, reason):
        self.log["stops"].append(reason)

def until(condition):
    while not condition():
        time.sleep(0.01)

a, b = Life("a"), Life("b")
returned = {}
def run(s, **kw):
    returned[s.name] = s.run(login("life-" + s.name, brokers[s.name].address, LoopGap=20000), **kw)
# Two accounts, started from two threads: each run returns when its own strategy stops.
threads = [threading.Thread(target=run, args=(a,)), threading.Thread(target=run, args=(b,), kwargs={"duration": 4})]
for t in threads:
    t.start()
until(lambda: ["InsertRejected", a.rejected.OrderID] in a.log["orders"] if a.rejected else False)
brokers["a"].drain()                  # the refusal's second route has been delivered too
for attempt in range(2):              # two cancels of the refused order, each refused on two routes
    a.cancel(a.rejected)
    until(lambda: a.log["orders"].count(["CancelRejected", a.rejected.OrderID]) > attempt)
    brokers["a"].drain()
a.stop()
threads[0].join()
try:
    a.buy("600000", 100, 1.0)
    refused = None
except StrategyStopped as e:
    refused = str(e)
# An event of the engine a has left (its resting order cancelled) reaches nobody.
seen = len(a.log["orders"])
tc.cancelOrderByStandardID(a.handle)
until(lambda: brokers["a"].orders()[0]["orderStatus"] == "5")
brokers["a"].drain()
after_leaving = a.log["orders"][seen:]
# Run again in the same process: the same engine, resumed, already Working.
a.stop_after_loops = 3
a.run(login("life-a", brokers["a"].address, LoopGap=20000), duration=60)
threads[1].join()
say("result", json.dumps({"a": a.log, "b": b.log, "returned": returned, "refused": refused,
                          "after_leaving": after_leaving, "rejected": a.rejected.OrderID,
                          "alive": [t.is_alive() for t in threads]}))
"""


def test_a_strategy_stops_runs_again_and_runs_beside_another_account():
    proc = run_python(PRELUDE + LIFE, timeout=120)
    r = json.loads(lines_of(proc.stdout, "result")[0])
    a, b = r["a"], r["b"]
    assert r["returned"] == {"a": "stop", "b": "duration"} and r["alive"] == [False, False]
    assert b["loops"] > 0 and b["stops"] == ["duration"]
    # Stopped: the helpers refuse, and the engine's later events reach nobody.
    assert "stopped" in r["refused"]
    assert r["after_leaving"] == []
    # Each refusal came on two routes; the strategy saw it once.
    assert a["orders"].count(["InsertRejected", r["rejected"]]) == 1
    assert a["orders"].count(["CancelRejected", r["rejected"]]) == 2     # once per cancel
    # Started again: on_start finds the engine Working, with no second TraderReady, and on_loop runs.
    assert a["starts"][0] in ("0", "2") and a["starts"][1] == "3"
    assert a["ready"] == 1 and a["stops"] == ["stop", "stop"]
    assert a["loops"] >= 4


ERRORS = r"""
out = {}
# A handler's SystemExit stops the strategy as Ctrl-C would; run raises it in its caller.
class Exits(Strategy):
    def on_loop(self):
        raise SystemExit(3)
    def on_stop(self, reason):
        out["stopped"] = reason
paper = "sim://errors/%d" % PID
sim.Broker(paper, sim.PAPER, config={"password": "secret"})
try:
    Exits().run(login("errors", paper, password="secret"), duration=60)
except SystemExit as e:
    out["exit"] = e.code
# RunIDs the engine would cut or turn negative, and one whose low bits name Exits' engine.
for run_id in (65537, 40000, 1000000, -1):
    try:
        Strategy().start(login("errors", paper), run_id=run_id)
    except ValueError as e:
        out[str(run_id)] = str(e)
# A refused login ends run with the broker's code and message, long before its duration.
try:
    Strategy().run(login("errors-pw", paper, password="wrong"), duration=60)
except StrategyError as e:
    out["login"] = [e.error_id, str(e)]
# An unreachable front: init gives up after the connect timeout and says which front.
try:
    Strategy().run(login("errors-front", "sim://papr", connect_timeout=0.2))
except StrategyError as e:
    out["front"] = [e.error_id, str(e)]
say("result", json.dumps(out))
"""


def test_errors_a_trader_meets_are_clear():
    proc = run_python(PRELUDE + ERRORS, timeout=120)
    r = json.loads(lines_of(proc.stdout, "result")[0])
    assert (r["exit"], r["stopped"]) == (3, "exit")
    assert "(1)" in r["65537"] and "already runs" in r["65537"]
    assert "negative" in r["40000"] and "(16960)" in r["1000000"] and "from 16961" in r["1000000"] and "0 or more" in r["-1"]
    code, text = r["login"]
    assert code != 0 and str(code) in text and "login" in text
    code, text = r["front"]
    assert code == -1001500 and "Error:Trader Connect Timeout." in text and "sim://papr" in text


# The end of a process while engines deliver: every processor gives the GIL away in the middle
# (sleep, engine calls), so native threads are inside Python or asking for it as the interpreter
# goes. Strategies started without blocking, a strategy's run and a raw engine with its loop on a
# daemon thread, on one broker that pushes snapshots fast.
EXIT = r"""
import random
MODE, DELAY = sys.argv[1], random.random() * 0.05
broker = sim.Broker("sim://exit/%d" % PID, sim.PAPER, config={"snapshotsPerSecond": 200})
ready = threading.Event()

class Busy(Strategy):
    def on_start(self):
        self.subscribe(["600000", "000001"])
    def on_snapshot(self, event, snapshot):
        time.sleep(0.001)
        if snapshot.AskPrice1 > 0:
            self.buy(snapshot.StandardID, 100, snapshot.AskPrice1)
    def on_order(self, event, order):
        time.sleep(0.001)
    def on_loop(self):
        time.sleep(0.001)
        ready.set()
    def on_stop(self, reason):
        say("stopped", reason)

def raw(*args):
    time.sleep(0.001)
raw_handle = tc.init(1, login("exit-raw", broker.address, LoopGap=1000), raw, raw, raw, raw)
tc.subscribe(raw_handle, ["600000"])
threading.Thread(target=tc.loop, daemon=True).start()

# Two more accounts, so that several engine threads end as the process does.
for n in range(2):
    Busy().start(login("exit-other-%d" % n, broker.address, LoopGap=1000))

def after_ready(act):
    ready.wait(60)
    time.sleep(DELAY)
    act()
s = Busy()
strategy_login = login("exit-strategy", broker.address, LoopGap=1000)
if MODE == "return":                   # the script ends while its strategy runs, its raw engine exiting
    s.start(strategy_login)
    after_ready(lambda: tc.exitX(raw_handle))
elif MODE == "interrupt":              # Ctrl-C while run waits
    threading.Thread(target=after_ready, args=(lambda: os.kill(PID, signal.SIGINT),), daemon=True).start()
    s.run(strategy_login)
else:                                  # a handler ends the process
    class Exiting(Busy):
        def on_loop(self):
            Busy.on_loop(self)
            if self.started_at is None:
                self.started_at = time.monotonic()
            elif time.monotonic() - self.started_at > DELAY:
                raise SystemExit(3)
    s = Exiting()
    s.started_at = None
    s.run(strategy_login)
"""


def test_the_process_ends_soundly_while_engines_deliver_and_strategies_run():
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in (PACKAGE_PARENT, os.environ.get("PYTHONPATH")) if p))
    script = textwrap.dedent(PRELUDE + EXIT)
    modes = {"return": (0, "exit"), "interrupt": (-signal.SIGINT, "interrupt"), "handler-exit": (3, "exit")}
    runs = [mode for mode in modes for _ in range(5)]
    for batch in range(0, len(runs), 3):
        procs = [(mode, subprocess.Popen([sys.executable, "-c", script, mode], env=env, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, text=True)) for mode in runs[batch:batch + 3]]
        for mode, proc in procs:
            try:
                out, err = proc.communicate(timeout=120)  # only turns a hang into a failure
            finally:
                proc.kill()
            code, reason = modes[mode]
            assert "Fatal Python error" not in err and "FATAL" not in err, (mode, err)
            assert proc.returncode == code, (mode, proc.returncode, err)
            assert lines_of(out, "stopped") == [reason] * 3, (mode, out, err)
