"""Scenario harness: whole engines (init + loop) against scripted simulated brokers, driven from
Python through ``tradecore.sim``.

Engines are process-wide and ``loop`` runs every registered one, so each scenario runs in a
child interpreter. The test hands ``run_scenario`` the body of the child; the body builds one or
more ``Engine`` objects, writes a ``script()`` that plays the broker's part (waits for the
requests the engine sends, pushes answers and notifications, calls the engine), and calls
``run(script, engine, ...)``. ``run`` starts the engines, runs the script on a driver thread while
the main thread sits in ``loop``, and stops every engine when the script ends, fails or overruns
its deadline. Whatever the body puts in ``result`` comes back to the test as a dict, with the
child's stdout and stderr.

Every wait is bounded: waits on requests and events raise after their timeout, the driver has an
overall deadline after which ``exitX`` ends ``loop``, and the parent kills a child that still
hangs.
"""
import json
import os
import sys
import tempfile
import textwrap
import threading
import time
import traceback

import tradecore as tc
from tradecore import sim
from tradecore.events import as_dict, broker_text, event_name
from tradecore.strategy import make_login

from helpers import run_python

HERE = os.path.dirname(os.path.abspath(__file__))

# --- parent side -----------------------------------------------------------------------------


class Outcome:
    """What a scenario child reported: ``result`` (its dict), ``stdout`` (what it printed before
    the result line) and ``stderr``."""

    def __init__(self, result, stdout, stderr):
        self.result = result
        self.stdout = stdout
        self.stderr = stderr


def run_scenario(body, timeout=90):
    """Runs ``body`` in a child interpreter with this module's names imported, and returns its
    Outcome. Fails the calling test when the child crashed or its script raised."""
    code = "import sys\nsys.path.insert(0, %r)\nfrom scripted import *\n" % HERE
    code += textwrap.dedent(body) + "\nfinish()\n"
    proc = run_python(code, check=False, timeout=timeout)
    printed, _, last = proc.stdout.rstrip("\n").rpartition("\n")
    try:
        result = json.loads(last)
    except ValueError:
        raise AssertionError("child exited with %d without a result\nstdout:\n%s\nstderr:\n%s"
                             % (proc.returncode, proc.stdout, proc.stderr))
    if proc.returncode != 0 or result.get("error"):
        raise AssertionError("scenario failed (exit %d)\n%s\nstderr:\n%s"
                             % (proc.returncode, result.get("error", ""), proc.stderr))
    return Outcome(result, printed, proc.stderr)


# --- child side ------------------------------------------------------------------------------

#: What the scenario reports back to the test (JSON).
result = {}

TRADING_DAY = "20240102"

#: Security answers of the preparation: two Shanghai A shares, two Shenzhen main-board shares
#: (all of them also entered without exchange) and a Shanghai ETF (entered with exchange only).
SECURITIES = [
    {"SecurityID": "600000", "ExchangeID": "1", "SecurityType": "a", "VolumeMultiple": 1,
     "PreClosePrice": 10.0, "UpperLimitPrice": 11.0, "LowerLimitPrice": 9.0},
    {"SecurityID": "600036", "ExchangeID": "1", "SecurityType": "a", "VolumeMultiple": 1,
     "PreClosePrice": 35.0, "UpperLimitPrice": 38.5, "LowerLimitPrice": 31.5},
    {"SecurityID": "000001", "ExchangeID": "2", "SecurityType": "B", "VolumeMultiple": 1,
     "PreClosePrice": 12.0, "UpperLimitPrice": 13.2, "LowerLimitPrice": 10.8},
    {"SecurityID": "000002", "ExchangeID": "2", "SecurityType": "B", "VolumeMultiple": 1,
     "PreClosePrice": 8.0, "UpperLimitPrice": 8.8, "LowerLimitPrice": 7.2},
    {"SecurityID": "510050", "ExchangeID": "1", "SecurityType": "b", "VolumeMultiple": 1,
     "PreClosePrice": 2.5, "UpperLimitPrice": 2.75, "LowerLimitPrice": 2.25},
]

SHAREHOLDERS = [
    {"InvestorID": "u1", "ExchangeID": "1", "ShareholderID": "A000000001"},
    {"InvestorID": "u1", "ExchangeID": "2", "ShareholderID": "0000000002"},
]

# Notification values at or above these tell the engine the broker did not fill the field.
NO_FLOAT_INFO = 1e12
NO_INT_INFO = 999999999

_engines = []
_names = iter(range(1, 1000))


class Engine:
    """One account: a scripted broker under its own front address (trader and market data on
    the same address), the login record, and four recording processors.

    Every delivery is appended to ``log`` as a dict: ``kind`` ("event", "order", "md"), ``id``,
    ``name``, ``address`` and, read inside the processor, ``record`` (the record's fields as
    ``tradecore.as_dict`` gives them); general events also carry ``last``, ``error``,
    ``message`` and ``user``. ``hooks`` may hold a callable per kind ("event", "order", "md",
    "loop") that runs inside the processor after the delivery was logged, with the log entry
    and the record object (None for "loop")."""

    def __init__(self, user="u1", run_id=1, processors=("order", "event", "loop", "md"), password="pw",
                 **login_fields):
        self.user = user
        self.run_id = run_id
        self.address = "sim://scripted/%s/%d/%d" % (user, os.getpid(), next(_names))
        self.broker = sim.Broker(self.address, sim.SCRIPTED)
        self.broker.set_auto_accept(True)
        fields = {"TaskExecuteGap": 10000, "TaskFailedGap": 10000, "LoopGap": 10000}
        fields.update(login_fields)
        self.login = make_login(user, password, trader_front=self.address, base_path=tempfile.mkdtemp(), **fields)
        self.log = []
        self.loops = 0
        self.hooks = {}
        self.cond = threading.Condition()
        self.handle = None
        self._pending = []
        self._processors = (
            self._on_order if "order" in processors else None,
            self._on_event if "event" in processors else None,
            self._on_loop if "loop" in processors else None,
            self._on_md if "md" in processors else None,
        )

    # --- processors ---------------------------------------------------------------------------

    def _append(self, entry):
        with self.cond:
            self.log.append(entry)
            self.cond.notify_all()

    def _read(self, entry, event, record):
        try:
            entry["record"] = as_dict(event, record)
        except Exception as exc:  # noqa: BLE001  a record the test did not expect to read
            entry["record_error"] = repr(exc)

    def _on_event(self, event, address, is_last, error_id, message, user_id):
        entry = {"kind": "event", "id": event, "name": event_name(event), "address": address, "last": is_last,
                 "error": error_id, "message": message, "user": user_id, "thread": threading.get_ident(),
                 "types": [type(v).__name__ for v in (event, address, is_last, error_id, message, user_id)]}
        record = tc.record(event, address) if address else None
        if record is not None:
            self._read(entry, event, record)
        self._append(entry)
        hook = self.hooks.get("event")
        if hook:
            hook(entry, record)

    def _on_order(self, event, address):
        entry = {"kind": "order", "id": event, "name": event_name(event), "address": address,
                 "thread": threading.get_ident()}
        record = tc.record(event, address)
        self._read(entry, event, record)
        self._append(entry)
        hook = self.hooks.get("order")
        if hook:
            hook(entry, record)

    def _on_md(self, event, address):
        entry = {"kind": "md", "id": event, "name": event_name(event), "address": address,
                 "thread": threading.get_ident()}
        record = tc.record(event, address)
        self._read(entry, event, record)
        self._append(entry)
        hook = self.hooks.get("md")
        if hook:
            hook(entry, record)

    def _on_loop(self):
        with self.cond:
            self.loops += 1
            self.cond.notify_all()
        hook = self.hooks.get("loop")
        if hook:
            hook(None, None)

    # --- starting ------------------------------------------------------------------------------

    def start(self):
        """``init``: the broker accepts at once, so both sides reach their fronts."""
        self.handle = tc.init(self.run_id, self.login, *self._processors)
        if self.handle is None:
            raise RuntimeError("init failed: %d" % tc.getInitError())
        _engines.append(self)
        return self.handle

    # --- deliveries ----------------------------------------------------------------------------

    def entries(self, event_id=None, kind=None):
        with self.cond:
            return [e for e in self.log
                    if (event_id is None or e["id"] == event_id) and (kind is None or e["kind"] == kind)]

    def names(self, kind=None):
        """The names of the deliveries so far, in order."""
        return [e["name"] for e in self.entries(kind=kind)]

    def wait_until(self, predicate, what, timeout=10.0):
        """Waits until ``predicate()`` is true (re-checked at every delivery); its value."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                value = predicate()
                if value:
                    return value
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise TimeoutError("%s: timed out waiting for %s; deliveries so far: %s"
                                       % (self.user, what, [e["name"] for e in self.log]))
                self.cond.wait(remaining)

    def wait_event(self, event_id, count=1, timeout=10.0):
        """The ``count``-th delivery of ``event_id`` (any kind), waiting for it."""
        found = self.wait_until(lambda: len(self.entries(event_id)) >= count and self.entries(event_id),
                                "%d x %s" % (count, event_name(event_id)), timeout)
        return found[count - 1]

    def wait_loops(self, count, timeout=10.0):
        return self.wait_until(lambda: self.loops >= count, "%d loop passes" % count, timeout)

    # --- requests ------------------------------------------------------------------------------

    def request(self, type, side="trader", timeout=10.0):
        """The oldest request of ``type`` from ``side`` not taken before, waiting for it."""
        deadline = time.monotonic() + timeout
        while True:
            for i, r in enumerate(self._pending):
                if r["type"] == type and r["side"] == side:
                    return self._pending.pop(i)
            remaining = deadline - time.monotonic()
            r = self.broker.wait_request(type, timeout=remaining) if remaining > 0 else None
            if r is None:
                raise TimeoutError("%s: no %s request from the %s side within %ss; requests so far: %s"
                                   % (self.user, type, side, timeout, self.request_types()))
            self._pending.append(r)

    def no_request(self, type, side="trader", within=0.3):
        """True when no request of ``type`` from ``side`` arrives within ``within`` seconds
        (requests of the other side are kept for ``request``)."""
        if any(r["type"] == type and r["side"] == side for r in self._pending):
            return False
        deadline = time.monotonic() + within
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return True
            r = self.broker.wait_request(type, timeout=remaining)
            if r is None:
                return True
            self._pending.append(r)
            if r["side"] == side:
                return False

    def request_types(self, side="trader"):
        return [r["type"] for r in self.broker.requests() if r["side"] == side]

    # --- the broker's part ---------------------------------------------------------------------

    def answer_login(self, request, front_id=1, session_id=1, day=TRADING_DAY, error_id=None, error_msg=None):
        self.broker.push("OnRspUserLogin", {"FrontID": front_id, "SessionID": session_id, "TradingDay": day,
                                            "LogInAccount": self.user, "UserID": self.user},
                         request_id=request["requestID"], error_id=error_id, error_msg=error_msg)

    def prepare(self, front_id=1, session_id=1, day=TRADING_DAY, cash=1000000.0, securities=True):
        """Plays the broker through the login and the preparation queries, answering each request
        as it comes. Returns {request type: (request, trader request types logged when it was
        taken)}. ``securities`` False: no security query is expected (the list is loaded)."""
        seen = {}

        def take(type):
            r = self.request(type)
            seen[type] = (r, self.request_types())
            return r

        self.answer_login(take("ReqUserLogin"), front_id, session_id, day)
        if securities:
            take("ReqQrySecurity")
            for i, s in enumerate(SECURITIES):
                self.broker.push("OnRspQrySecurity", s, is_last=i == len(SECURITIES) - 1)
        take("ReqQryShareholderAccount")
        for i, s in enumerate(SHAREHOLDERS):
            self.broker.push("OnRspQryShareholderAccount", dict(s, InvestorID=self.user),
                             is_last=i == len(SHAREHOLDERS) - 1)
        take("ReqQryTradingAccount")
        self.broker.push("OnRspQryTradingAccount", {"AccountID": "acc1", "DepartmentID": "dep1", "Available": cash,
                                                     "CurrencyID": "CNY"})
        return seen

    def md_login(self, day=TRADING_DAY):
        """Answers the market-data login that the supervisor sends once the trader is Working."""
        r = self.request("ReqUserLogin", side="md")
        self.broker.push_md("OnRspUserLogin", {"TradingDay": day, "LogInAccount": self.user},
                            request_id=r["requestID"])
        return r

    def ready(self, **kw):
        """Prepares the trader and logs market data in: TraderReady, then MdReady."""
        seen = self.prepare(**kw)
        self.wait_event(tc.ENUM_EventID_TraderReady)
        self.md_login(kw.get("day", TRADING_DAY))
        self.wait_event(tc.ENUM_EventID_MdReady)
        return seen

    def snapshot(self, security="600000", exchange="1", **fields):
        """Pushes one depth-market-data callback to the market-data side."""
        record = {"TradingDay": TRADING_DAY, "SecurityID": security, "ExchangeID": exchange,
                  "PreClosePrice": 10.0, "OpenPrice": 10.0, "LastPrice": 10.0, "Volume": 100,
                  "Turnover": 1000.0, "HighestPrice": 10.0, "LowestPrice": 10.0,
                  "UpperLimitPrice": 11.0, "LowerLimitPrice": 9.0, "BidPrice1": 9.99, "BidVolume1": 100,
                  "AskPrice1": 10.01, "AskVolume1": 200, "UpdateTime": "09:30:00", "UpdateMillisec": 0}
        record.update(fields)
        return self.broker.push_md("OnRtnDepthMarketData", record)

    def order_notice(self, order_id, status, front_id=1, session_id=1, **fields):
        """Pushes one order notification (OnRtnOrder) for ``order_id``; the cash and volume
        figures default to "not filled"."""
        record = {"OrderRef": str(order_id), "FrontID": front_id, "SessionID": session_id, "OrderStatus": status,
                  "OrderSubmitStatus": "3", "Direction": "0", "RtnFloatInfo": NO_FLOAT_INFO,
                  "RtnIntInfo": NO_INT_INFO}
        record.update(fields)
        return self.broker.push("OnRtnOrder", record)

    def drain(self):
        if not self.broker.drain(timeout=10):
            raise TimeoutError("%s: callbacks still queued after 10 s" % self.user)


def read_order(order):
    """An order record's fields, read outside any delivery under its lock."""
    tc.getOrderLock(order)
    try:
        return as_dict(tc.ENUM_OrderEventID_Accepted, order)
    finally:
        tc.releaseOrderLock(order)


def run(script, *engines, deadline=40.0):
    """Starts the engines not started yet, runs ``script`` on a driver thread while this thread
    sits in ``loop``, and stops every engine when the script returns or raises, or when
    ``deadline`` seconds have passed. A failure is reported in result["error"]."""
    for engine in engines:
        if engine.handle is None:
            engine.start()

    def drive():
        try:
            script()
        except BaseException:  # noqa: BLE001  reported to the test
            result["error"] = traceback.format_exc()
        finally:
            for engine in _engines:
                tc.exitX(engine.handle)

    def overrun():
        result.setdefault("error", "scenario still running after %ss; deliveries: %s"
                          % (deadline, {e.user: e.names() for e in _engines}))
        tc.exitX(None)

    guard = threading.Timer(deadline, overrun)
    guard.daemon = True
    driver = threading.Thread(target=drive, name="scenario-driver", daemon=True)
    guard.start()
    driver.start()
    tc.loop()
    guard.cancel()
    driver.join(10)
    if driver.is_alive():
        result.setdefault("error", "the script was still running after loop returned")
    result["loop_returned"] = True


def finish():
    """Prints the result as the child's last stdout line."""
    sys.stdout.flush()
    sys.stderr.flush()
    print(json.dumps(result, default=repr))
    sys.stdout.flush()
