"""Control of the simulated TORA broker from Python.

The simulated broker (libtorasim, shipped next to this module) stands in for a TORA front: an
engine whose front address is served by a simulated broker talks to it exactly as it would talk
to a real front. This module creates and scripts such brokers:

    from tradecore import sim

    broker = sim.Broker("sim://paper", sim.PAPER, config={"cash": 1_000_000})
    ...                                  # start an engine with TraderFrontAddress "sim://paper"
    broker.drain()                       # every queued callback delivered
    print(broker.orders(), broker.account())

    t = sim.Broker("sim://t1", sim.SCRIPTED)
    t.wait_connections(1)
    t.accept()                           # OnFrontConnected
    login = t.wait_request("ReqUserLogin")
    t.push("OnRspUserLogin", {"FrontID": 1, "SessionID": 7, "TradingDay": "20240102"},
           request_id=login["requestID"])

An address no broker serves never connects (like an unreachable front); an unserved address that
starts with ``sim://paper`` gets a paper broker with the default configuration on first use.

Records are dicts keyed by the TORA field names; one-character fields are one-character
strings; text fields are str (GB2312 on the wire, converted both ways here). The paper
configuration, the fault settings and the broker's ledger are dicts keyed in lowerCamel.

Paper configuration
-------------------
``Broker(address, PAPER, config={...})``, ``set_paper_config({...})`` (the keys given, over the
current ones; the day starts afresh) and ``paper_config()`` (every key) use these keys:

==================== =========== ==================================================================
key                  default     meaning
==================== =========== ==================================================================
tradingDay           "20240102"  the trading day of the login answer and every record
frontID              1           the FrontID of the login answer (sessions are numbered from 1)
userID               "sim"       the login account the answer names
password             ""          the password every login must give; empty: any password
investorID           "11000001"  the investor of every answer
departmentID         "0001"      the department of the trading account
accountID            "11000001"  the trading account (cash)
shareholderSSE       "A000000001" the Shanghai shareholder account
shareholderSZSE      "0000000001" the Shenzhen shareholder account
pbuSSE, pbuSZSE      "13001", "010000" the trading units of the shareholder accounts
cash                 10000000.0  the account's cash at the start of the day
commissionRate       0.0         fee: commission as a fraction of turnover, on both sides
minCommission        0.0         fee: the least commission per fill (when either fee is set)
stampTaxRate         0.0         fee: stamp tax as a fraction of sell turnover
securities           []          the securities traded (below); empty: 600000, 600519, 688981
                                 (SSE), 000001 and 300750 (SZSE) at their usual prices
positions            []          the holdings at the start of the day (below)
seed                 1           the seed of the synthetic prices: a run is reproducible
snapshotsPerSecond   2.0         market ticks per second (each pushes the books to subscribers);
                                 0: the market moves only on tick()
csvReplayPath        ""          a CSV file whose rows are the books, one row per security per tick
matchRestingOnTick   true        resting orders trade when a later book crosses their price
journalPath          ""          a file that keeps the day's ledger across processes (below)
==================== =========== ==================================================================

Each of ``securities`` is a dict: ``securityID`` (required), ``exchangeID`` ("1" SSE, the default,
or "2" SZSE), ``name`` (text; default the code), ``securityType`` and ``productID`` (TORA codes;
default from the exchange and the code), ``preClosePrice`` (10.0), ``upperLimitPrice`` and
``lowerLimitPrice`` (0: preClose plus or minus 10%, 20% for STAR and ChiNext codes, on the tick),
``priceTick`` (0.01), ``buyVolumeUnit`` (100: buys must be whole lots), ``sellVolumeUnit`` (1:
sells may be odd lots), ``maxVolume`` (1000000 per order), ``volatility`` (0.0005: the relative
step of the synthetic price per tick) and ``levelVolume`` (10000: the typical volume of a level of
the synthetic book).

Each of ``positions`` is a dict: ``securityID``, ``exchangeID`` ("1"), ``volume`` (held since
yesterday, all of it sellable today) and ``openCost`` (its total cost; 0: volume x preClose).

CSV replay: with ``csvReplayPath`` set, the books come from the file instead of the synthetic
process. Its first line names the columns; ``SecurityID`` is required, and any of ``ExchangeID``,
``LastPrice``, ``PreClosePrice``, ``Volume``, ``Turnover``, ``UpdateTime``, ``BidPrice1`` to
``BidPrice5``, ``BidVolume1`` to ``BidVolume5``, ``AskPrice1`` to ``AskPrice5`` and ``AskVolume1``
to ``AskVolume5`` are read (empty cells: 0). Each tick takes the next rows, at most one per
security; a security that only the file names is added, priced from its first row. When the
rows run out the books stay as they are.

Faults (both modes): ``set_faults({...})``, ``faults()``; probabilities per eligible event, drawn
from ``seed`` (7): ``refuseSend`` (a request returns ``refuseCode``, -1, and does nothing),
``dropAnswer`` (an answer never comes), ``lateAnswer`` (it comes ``lateMillis``, 200, late),
``errorAnswer`` (it is replaced by an error answer with ``errorAnswerID``, 40),
``duplicateNotice`` (an order or trade notification comes twice), ``reorderNotice`` (it swaps
places with the next), ``disconnect`` (per request: the connection drops and comes back after
``reconnectMillis``, 50). ``fault_counters()`` counts what happened.

The ledger
----------
What the broker itself holds, for reconciliation, as lists of dicts keyed in lowerCamel:

- ``orders()``: ``orderSysID``, ``frontID``, ``sessionID``, ``orderRef`` (the engine's OrderID),
  ``requestID``, ``investorID``, ``securityID``, ``exchangeID``, ``direction``,
  ``orderPriceType``, ``timeCondition``, ``volumeCondition``, ``limitPrice``, ``volume``,
  ``tradedVolume``, ``cancelledVolume``, ``turnover``, ``orderStatus`` (TORA's: "0" all traded,
  "1" part traded, "3" resting, "5" cancelled), ``submitStatus`` ("4": refused by the front),
  ``errorID``, ``statusMsg``, ``insertTime``, ``cancelTime``;
- ``trades()``: one per fill, the trade notification's fields: ``investorID``, ``securityID``,
  ``userID``, ``exchangeID``, ``tradeID``, ``direction``, ``orderSysID``, ``marketID``,
  ``shareholderID``, ``exchangeInstID``, ``offsetFlag``, ``hedgeFlag``, ``price``, ``volume``,
  ``tradeDate``, ``tradeTime``, ``traderID``, ``orderLocalID``, ``tradingDay``,
  ``businessUnitID``, ``accountID``, ``orderRef``, ``departmentID``;
- ``account()``: ``cash``, ``available``, ``frozen`` (held by open buys), ``fees``;
- ``positions()``: ``securityID``, ``exchangeID``, ``historyVolume``, ``todayBuy``,
  ``todaySell``, ``volume``, ``available``, ``frozen``, ``openCost``.

Until the next release, the capitalised keys ``trades()`` gave before (``SecurityID``,
``Volume``, ``OrderRef``, ...) still read the same values, with a DeprecationWarning.

A paper broker's day can outlive the process: with the configuration key ``journalPath`` (a
file name) the broker writes its whole ledger (account, positions, every order with what
matching needs of it, trades, cancels, transfers, the numbering of orders and sessions, where
prices stand) to that file after every change, and a paper broker configured with the same file
in another process, on the same ``tradingDay``, takes the day up from it: the first process's
open orders are open there, its trades and cash are there, and new logins get new sessions.
A journal of another trading day is replaced by a fresh day::

    sim.Broker("sim://paper", sim.PAPER, config={"journalPath": "/tmp/day.json"})

The library is loaded from this package's directory; a development build can point the
TRADECORE_TORASIM_LIB environment variable at its libtorasim instead.
"""

import ctypes
import json
import os
import re
import sys
import threading
import warnings
from typing import Any, Dict, Sequence, Tuple, Union

__all__ = [
    "PAPER", "SCRIPTED", "TRADER", "MD", "BOTH", "Record", "Level", "LedgerEntry",
    "REASON_READ_FAILED", "REASON_WRITE_FAILED", "REASON_HEARTBEAT_TIMEOUT",
    "REASON_HEARTBEAT_SEND_FAILED", "REASON_BAD_PACKET",
    "SimError", "Broker", "remove_all", "version", "library_path",
]

PAPER = "paper"
SCRIPTED = "scripted"

# For annotations: a TORA record, a request, a configuration or a ledger entry is a dict keyed by
# field names; a book level is (price, volume).
Record = Dict[str, Any]
Level = Union[Tuple[float, int], Sequence[float]]

TRADER = 0
MD = 1
BOTH = 2

REASON_READ_FAILED = 0x1001
REASON_WRITE_FAILED = 0x1002
REASON_HEARTBEAT_TIMEOUT = 0x2001
REASON_HEARTBEAT_SEND_FAILED = 0x2002
REASON_BAD_PACKET = 0x2003

# The broker's texts are GB2312; GB18030 reads every GB2312 byte sequence and more.
_TEXT_ENCODING = "gb18030"


class SimError(RuntimeError):
    """A call into the simulated broker failed."""


_lib = None
_lib_path = None
_lib_lock = threading.Lock()


def _candidates():
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform.startswith("win"):
        names = ["torasim.dll", "libtorasim.dll"]
    elif sys.platform == "darwin":
        names = ["libtorasim.dylib", "libtorasim.so"]
    else:
        names = ["libtorasim.so"]
    found = [os.path.join(here, n) for n in names]
    env = os.environ.get("TRADECORE_TORASIM_LIB")
    if env:
        found.append(env)
    return found


def _load():
    global _lib, _lib_path
    with _lib_lock:
        if _lib is not None:
            return _lib
        tried = []
        for path in _candidates():
            if not os.path.exists(path):
                tried.append(path)
                continue
            lib = ctypes.CDLL(path)
            _declare(lib)
            _lib, _lib_path = lib, path
            return lib
        raise SimError("libtorasim not found (looked at: %s); set TRADECORE_TORASIM_LIB" % ", ".join(tried))


def _declare(lib):
    c_char_p, c_int, c_void_p = ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p
    sigs = {
        "tsim_version": (c_char_p, []),
        "tsim_last_error": (c_char_p, []),
        "tsim_free": (None, [c_void_p]),
        "tsim_create": (c_int, [c_char_p, c_int]),
        "tsim_remove": (c_int, [c_char_p]),
        "tsim_remove_all": (None, []),
        "tsim_exists": (c_int, [c_char_p]),
        "tsim_mode": (c_int, [c_char_p]),
        "tsim_set_auto_accept": (c_int, [c_char_p, c_int]),
        "tsim_accept": (c_int, [c_char_p, c_int]),
        "tsim_drop": (c_int, [c_char_p, c_int, c_int, c_int]),
        "tsim_wait_connections": (c_int, [c_char_p, c_int, c_int, c_int]),
        "tsim_connections_json": (c_void_p, [c_char_p]),
        "tsim_requests_json": (c_void_p, [c_char_p, c_char_p]),
        "tsim_wait_request_json": (c_void_p, [c_char_p, c_char_p, c_int]),
        "tsim_request_count": (c_int, [c_char_p, c_char_p]),
        "tsim_clear_requests": (c_int, [c_char_p]),
        "tsim_set_next_return": (c_int, [c_char_p, c_char_p, c_int, c_int]),
        "tsim_set_request_log": (c_int, [c_char_p, c_int]),
        "tsim_request_log": (c_int, [c_char_p]),
        "tsim_requests_received": (ctypes.c_longlong, [c_char_p]),
        "tsim_push_json": (c_int, [c_char_p, c_int, c_char_p, c_char_p, c_int]),
        "tsim_drain": (c_int, [c_char_p, c_int]),
        "tsim_set_paper_config_json": (c_int, [c_char_p, c_char_p]),
        "tsim_paper_config_json": (c_void_p, [c_char_p]),
        "tsim_tick": (c_int, [c_char_p, c_int]),
        "tsim_adjust_json": (c_int, [c_char_p, c_char_p]),
        "tsim_set_snapshots_per_second": (c_int, [c_char_p, ctypes.c_double]),
        "tsim_set_request_log_limit": (c_int, [c_char_p, ctypes.c_longlong]),
        "tsim_set_book_json": (c_int, [c_char_p, c_char_p, c_char_p]),
        "tsim_snapshot_json": (c_void_p, [c_char_p, c_char_p]),
        "tsim_orders_json": (c_void_p, [c_char_p]),
        "tsim_trades_json": (c_void_p, [c_char_p]),
        "tsim_account_json": (c_void_p, [c_char_p]),
        "tsim_positions_json": (c_void_p, [c_char_p]),
        "tsim_set_faults_json": (c_int, [c_char_p, c_char_p]),
        "tsim_faults_json": (c_void_p, [c_char_p]),
        "tsim_fault_counters_json": (c_void_p, [c_char_p]),
        "tsim_record_fields_json": (c_void_p, [c_char_p]),
    }
    for name, (restype, argtypes) in sigs.items():
        fn = getattr(lib, name)
        fn.restype = restype
        fn.argtypes = argtypes


def library_path():
    """The file the simulated broker was loaded from."""
    _load()
    return _lib_path


def version():
    return _load().tsim_version().decode("ascii")


# --- conversions ----------------------------------------------------------------------------

def _to_wire(value):
    """Python values to JSON-ready ones: text becomes GB2312 bytes carried as code points 0-255."""
    if isinstance(value, str):
        return value.encode(_TEXT_ENCODING).decode("latin-1")
    if isinstance(value, (bytes, bytearray)):
        return bytes(value).decode("latin-1")
    if isinstance(value, dict):
        return {str(k): _to_wire(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_to_wire(v) for v in value]
    return value


def _from_wire(value):
    if isinstance(value, str):
        raw = value.encode("latin-1")
        try:
            return raw.decode(_TEXT_ENCODING)
        except UnicodeDecodeError:
            return raw.decode(_TEXT_ENCODING, errors="replace")
    if isinstance(value, dict):
        return {k: _from_wire(v) for k, v in value.items()}
    if isinstance(value, list):
        return [_from_wire(v) for v in value]
    return value


def _dumps(obj):
    return json.dumps(_to_wire(obj), ensure_ascii=True).encode("ascii")


def _b(text):
    return None if text is None else text.encode("utf-8")


def _error(what):
    msg = _load().tsim_last_error()
    return SimError("%s: %s" % (what, msg.decode("utf-8", "replace") if msg else "failed"))


def _take(ptr, what, allow_none=False):
    """Reads and frees a JSON text returned by the library."""
    lib = _load()
    if not ptr:
        if allow_none:
            return None
        raise _error(what)
    try:
        text = ctypes.string_at(ptr).decode("ascii")
    finally:
        lib.tsim_free(ptr)
    return _from_wire(json.loads(text))


def _check(rc, what):
    if rc < 0:
        raise _error(what)
    return rc


def _ms(seconds):
    return max(0, int(round(seconds * 1000)))


_FIRST_WORD = re.compile(r"^[A-Z]+(?=[A-Z][a-z])|^[A-Z]+$|^[A-Z]")


def _lower_camel(key):
    """SecurityID -> securityID, IPAddress -> ipAddress, ID -> id."""
    return _FIRST_WORD.sub(lambda m: m.group(0).lower(), key)


class LedgerEntry(dict):
    """One entry of the broker's ledger: a dict keyed in lowerCamel. A capitalised key that
    trades() used to give (``SecurityID``, ``Volume``) still reads the lowerCamel value, with a
    DeprecationWarning, until the next release."""

    def _renamed(self, key):
        new = _lower_camel(key) if isinstance(key, str) else key
        if new != key and dict.__contains__(self, new):
            warnings.warn("ledger key %r is now %r" % (key, new), DeprecationWarning, stacklevel=3)
            return new
        return None

    def __missing__(self, key):
        new = self._renamed(key)
        if new is None:
            raise KeyError(key)
        return self[new]

    def __contains__(self, key):
        return dict.__contains__(self, key) or self._renamed(key) is not None

    def get(self, key, default=None):
        if dict.__contains__(self, key):
            return dict.__getitem__(self, key)
        new = self._renamed(key)
        return default if new is None else dict.__getitem__(self, new)


def _ledger(entries, rename=False):
    return [LedgerEntry((_lower_camel(k), v) for k, v in e.items()) if rename else LedgerEntry(e)
            for e in entries]


# --- brokers -------------------------------------------------------------------------------

class Broker:
    """A simulated broker under one front address.

    Broker(address, mode) creates one (replacing any broker already there); Broker.attach()
    wraps one that exists, for example the paper broker made on first use of "sim://paper...".
    Use as a context manager to remove it at the end.
    """

    def __init__(self, address, mode=PAPER, config=None, faults=None, _create=True):
        self.address = address
        self._a = address.encode("utf-8")
        lib = _load()
        if _create:
            if mode not in (PAPER, SCRIPTED):
                raise ValueError("mode is sim.PAPER or sim.SCRIPTED")
            _check(lib.tsim_create(self._a, 1 if mode == SCRIPTED else 0), "create " + address)
        elif not lib.tsim_exists(self._a):
            raise SimError("no broker at " + address)
        if config:
            self.set_paper_config(config)
        if faults:
            self.set_faults(faults)

    @classmethod
    def attach(cls, address):
        return cls(address, _create=False)

    @staticmethod
    def exists(address):
        return bool(_load().tsim_exists(address.encode("utf-8")))

    @property
    def mode(self):
        return SCRIPTED if _check(_load().tsim_mode(self._a), "mode") == 1 else PAPER

    def remove(self):
        """Removes the broker: its connections are dropped and never reconnect."""
        return bool(_load().tsim_remove(self._a))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.remove()
        return False

    def __repr__(self):
        return "<sim.Broker %s>" % self.address

    # connections

    def set_auto_accept(self, on=True):
        _check(_load().tsim_set_auto_accept(self._a, 1 if on else 0), "set_auto_accept")

    def accept(self, side=BOTH):
        """Accepts the pending connections (OnFrontConnected); returns how many."""
        return _check(_load().tsim_accept(self._a, side), "accept")

    def drop(self, reason=REASON_READ_FAILED, side=BOTH, reconnect_ms=0):
        """Drops the connections (OnFrontDisconnected(reason)); returns how many."""
        return _check(_load().tsim_drop(self._a, reason, side, reconnect_ms), "drop")

    def wait_connections(self, count=1, side=BOTH, timeout=10.0):
        return _check(_load().tsim_wait_connections(self._a, count, side, _ms(timeout)), "wait_connections") == 1

    def connections(self):
        return _take(_load().tsim_connections_json(self._a), "connections")

    # requests

    def requests(self, type=None):
        """Every request received, oldest first: dicts with type, requestID, fields, ..."""
        return _take(_load().tsim_requests_json(self._a, _b(type)), "requests")

    def wait_request(self, type=None, timeout=10.0):
        """The oldest request of `type` not handed out before, or None after `timeout` seconds."""
        ptr = _load().tsim_wait_request_json(self._a, _b(type), _ms(timeout))
        return _take(ptr, "wait_request", allow_none=True)

    def request_count(self, type=None):
        return _check(_load().tsim_request_count(self._a, _b(type)), "request_count")

    def clear_requests(self):
        _check(_load().tsim_clear_requests(self._a), "clear_requests")

    def set_request_log(self, on=True):
        """Keep a copy of every request (the default), or not: with the log off, requests are
        still received, counted by requests_received() and answered in paper mode, but
        requests(), wait_request() and request_count() do not see them. A scripted broker with
        auto-accept and the log off accepts every request and does nothing else (benchmarks)."""
        _check(_load().tsim_set_request_log(self._a, 1 if on else 0), "set_request_log")

    def request_log(self):
        """Whether requests are logged."""
        return _check(_load().tsim_request_log(self._a), "request_log") == 1

    def requests_received(self):
        """Every request received since the broker was created, logged or not."""
        return _check(_load().tsim_requests_received(self._a), "requests_received")

    def set_request_log_limit(self, max_entries):
        """Keep at most the newest `max_entries` requests (100000 by default)."""
        _check(_load().tsim_set_request_log_limit(self._a, int(max_entries)), "set_request_log_limit")

    def set_next_return(self, type, rc, times=1):
        """The next `times` requests of `type` (None: any) return `rc`; non-zero means refused."""
        _check(_load().tsim_set_next_return(self._a, _b(type), rc, times), "set_next_return")

    # callbacks

    def push(self, callback, record=None, error_id=None, error_msg=None, request_id=0, is_last=True,
             reason=None, side=TRADER, connection=0):
        """Calls callback `callback` (e.g. "OnRtnOrder", "OnRspQryPosition") with the given record
        and error info on the SDK thread of the connected connections of `side`.
        Returns how many connections it was queued for."""
        args = {}
        if record is not None:
            args["record"] = record
        if error_id is not None or error_msg is not None:
            args["ErrorID"] = int(error_id or 0)
            args["ErrorMsg"] = error_msg or ""
        if request_id:
            args["requestID"] = int(request_id)
        if not is_last:
            args["isLast"] = False
        if reason is not None:
            args["reason"] = int(reason)
        rc = _load().tsim_push_json(self._a, side, callback.encode("ascii"), _dumps(args), connection)
        return _check(rc, "push " + callback)

    def push_md(self, callback, record=None, **kw):
        kw["side"] = MD
        return self.push(callback, record, **kw)

    def drain(self, timeout=10.0):
        """Waits until every callback queued so far has been delivered; False on timeout."""
        return _check(_load().tsim_drain(self._a, _ms(timeout)), "drain") == 1

    # paper mode

    def set_paper_config(self, config=None, **kw):
        """Applies the given keys over the current paper configuration and starts the day afresh.
        The keys (``cash``, ``password``, ``securities``, ``positions``, ``seed``,
        ``snapshotsPerSecond``, ``csvReplayPath``, the fees ...) are listed in the module
        documentation; an unknown key raises SimError."""
        cfg = dict(config or {})
        cfg.update(kw)
        _check(_load().tsim_set_paper_config_json(self._a, _dumps(cfg)), "set_paper_config")

    def paper_config(self):
        """The whole paper configuration, every key (see the module documentation)."""
        return _take(_load().tsim_paper_config_json(self._a), "paper_config")

    def tick(self, count=1):
        """Moves the market `count` ticks now: new books, resting orders matched, snapshots pushed."""
        _check(_load().tsim_tick(self._a, count), "tick")

    def set_snapshots_per_second(self, rate):
        """Changes the market's tick rate (0 stops it) without starting the day afresh."""
        _check(_load().tsim_set_snapshots_per_second(self._a, float(rate)), "set_snapshots_per_second")

    def set_book(self, security_id, bids=(), asks=(), last=None):
        """Sets a security's book: bids and asks as [(price, volume), ...], best first."""
        book = {"bids": [list(l) for l in bids], "asks": [list(l) for l in asks]}
        if last is not None:
            book["last"] = last
        _check(_load().tsim_set_book_json(self._a, security_id.encode("utf-8"), _dumps(book)), "set_book")

    def snapshot(self, security_id):
        return _take(_load().tsim_snapshot_json(self._a, security_id.encode("utf-8")), "snapshot")

    def adjust(self, cash=0.0, positions=None):
        """Books cash and shares at the broker outside any order, as a corporate action or a
        correction does: ``cash`` is added to the account; ``positions`` maps a security
        ("600000", or (code, exchange)) to the shares added (negative: taken), held since
        yesterday and so sellable today. Clients learn of it only from their queries."""
        entries = []
        for security, volume in (positions or {}).items():
            code, exchange = security if isinstance(security, tuple) else (security, None)
            entry = {"securityID": code, "volume": int(volume)}
            if exchange is not None:
                entry["exchangeID"] = exchange
            elif code.startswith(("0", "3")):
                entry["exchangeID"] = "2"
            entries.append(entry)
        _check(_load().tsim_adjust_json(self._a, _dumps({"cash": float(cash), "positions": entries})), "adjust")

    def orders(self):
        """The broker's orders, oldest first (keys in the module documentation, The ledger)."""
        return _ledger(_take(_load().tsim_orders_json(self._a), "orders"))

    def trades(self):
        """The broker's fills, oldest first, keyed in lowerCamel (``securityID``, ``volume``,
        ``price``, ``orderRef`` ...; the capitalised keys still work until the next release)."""
        return _ledger(_take(_load().tsim_trades_json(self._a), "trades"), rename=True)

    def account(self):
        """The trading account: ``cash``, ``available``, ``frozen``, ``fees``."""
        return LedgerEntry(_take(_load().tsim_account_json(self._a), "account"))

    def positions(self):
        """The holdings: ``securityID``, ``exchangeID``, ``historyVolume``, ``todayBuy``,
        ``todaySell``, ``volume``, ``available``, ``frozen``, ``openCost``."""
        return _ledger(_take(_load().tsim_positions_json(self._a), "positions"))

    # faults

    def set_faults(self, faults=None, **kw):
        """Applies the given keys over the current fault settings (``refuseSend``, ``dropAnswer``,
        ... listed in the module documentation)."""
        f = dict(faults or {})
        f.update(kw)
        _check(_load().tsim_set_faults_json(self._a, _dumps(f)), "set_faults")

    def faults(self):
        return _take(_load().tsim_faults_json(self._a), "faults")

    def fault_counters(self):
        return _take(_load().tsim_fault_counters_json(self._a), "fault_counters")


def remove_all():
    """Removes every simulated broker of the process."""
    _load().tsim_remove_all()


def record_fields(record):
    """The fields of a TORA record type: [{"name", "kind", "size"}]."""
    return _take(_load().tsim_record_fields_json(record.encode("ascii")), "record_fields")
