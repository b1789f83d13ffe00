"""The live book of one account: cash, positions and every order of the trading day, kept from
the engine's events and the broker's answers, with the pre-trade risk checks of
``tradecore.risk``, reconciliation against the broker, a kill switch and restart recovery.

A strategy built on ``tradecore.strategy.Strategy`` gets one as ``self.book`` (set ``limits`` or
``use_book`` on the class). With the raw engine calls, make the book first, start the account
with its processors, and attach it::

    from tradecore.book import Book
    from tradecore.risk import Limits

    book = Book(limits=Limits(max_order_volume=10000, max_daily_loss=5000))
    handle = tradecore.init(1, login, *book.processors(on_order, on_event, on_loop, on_snapshot))
    book.attach(handle)          # every order of this engine passes the checks from now on
    tradecore.loop()

``processors`` wraps the four processors of ``init`` (each may be None; the raw signatures):
the book reads every order event, the answers to its own queries, the login answer and
snapshots (marks for the day's profit and loss), then hands the event on. The loop processor
is held back until the book is ready.

What the book knows, read at any time from any thread, each read consistent (never half a fill):

- ``cash``: ``Cash(available, frozen, pnl)``: the usable cash the engine last reported, what
  open buys hold back, and the day's profit and loss;
- ``position(code)``: a ``Position`` (zeros for a security never held): ``volume`` held,
  ``sellable`` now (T+1: what was bought today is sold tomorrow; open sells hold theirs in
  ``frozen``), ``average_cost``, today's ``bought_volume``/``sold_volume`` and turnovers,
  ``realized_pnl``, ``mark`` and the day's ``pnl``; ``positions()`` lists them;
- ``orders()``, ``open_orders()``: every order of the trading day as an ``Order`` with its state
  in the engine's codes (``ENUM_OrderStatus_...``), this run's and earlier runs' alike
  (``this_run`` tells them apart).

Restart recovery: when the trader side is ready, the book asks the broker for the day's orders,
trades, positions and cash; ``ready`` is set (and ``on_ready`` called) once every answer is in,
before the strategy's first ``on_loop``. Earlier runs' open orders count against the limits and
can be cancelled (``cancel(order)``; the kill switch cancels them too). The engine hears nothing of
an earlier run's order, so the book learns that one finished from the next order query: the next
reconciliation, or ``reconcile()`` (the kill switch asks until none is open).

Reconciliation: every ``reconcile_every`` seconds (and on ``reconcile()``, and after a
reconnection) the book asks again and compares: a position, cash or order state that differs is
reported as a ``Difference`` to ``on_difference`` (and kept in ``differences``), then the
broker's figure is taken. A round during which an order of this run moved compares nothing
(both sides may have seen part of the move); the next one does.

Kill switch: ``kill()`` stops new orders at once (every order is refused by the ``Halted``
check), cancels every open order of the trading day, earlier runs' included, sends the cancels
again while the broker has not confirmed them, and asks the broker for the orders until none is
open: then the returned ``KillSwitch`` is done (``wait()``) and ``on_killed`` is called.
``resume()`` lets orders through again.
"""

import threading
import time
from collections import namedtuple

from . import _book, _control, _tradecore
from .risk import Limits, parse_refusal

__all__ = ["Book", "Position", "Cash", "Order", "Difference", "KillSwitch", "BookError"]

Position = namedtuple("Position", (
    "security", "exchange", "volume", "sellable", "frozen", "start_volume", "average_cost",
    "bought_volume", "sold_volume", "bought_turnover", "sold_turnover", "realized_pnl", "mark", "pnl",
    "open_orders"))
Position.__doc__ = "One security's position (see tradecore.book)."
Cash = namedtuple("Cash", ("available", "frozen", "pnl"))
Cash.__doc__ = "Usable cash, cash held by open buys, and the day's profit and loss."
Order = namedtuple("Order", (
    "security", "exchange", "order_ref", "front_id", "session_id", "order_sys_id", "direction",
    "offset_flag", "status", "insert_time", "this_run", "open", "volume", "traded", "canceled", "price",
    "turnover", "error_id"))
Order.__doc__ = ("One order of the trading day. ``order_ref`` is this run's OrderID, or the earlier run's order "
                 "reference; ``status`` is an ENUM_OrderStatus_ code (empty before the broker's first word).")
Difference = namedtuple("Difference", ("kind", "key", "field", "book", "broker"))
Difference.__doc__ = ("What reconciliation found: ``kind`` 'position', 'cash' or 'order'; ``key`` the security "
                      "(\"600000.1\"), \"cash\" or the order (\"front.session.ref\"); the book's and the broker's value.")

_QRY_ORDER = _tradecore.ENUM_TORAStockTaskID_QryOrder
_QRY_TRADE = _tradecore.ENUM_TORAStockTaskID_QryTrade
_QRY_POSITION = _tradecore.ENUM_TORAStockTaskID_QryPosition
_QRY_ACCOUNT = _tradecore.ENUM_TORAStockTaskID_QryTradingAccount
_LOGIN = _tradecore.ENUM_TORAStockTaskID_LoginTrader
_TRADER_READY = _tradecore.ENUM_EventID_TraderReady
_TRADER_DISCONNECTED = _tradecore.ENUM_TORAStockEventID_TraderDisconnected
_BOOK_ANSWERS = frozenset((_QRY_ORDER, _QRY_TRADE, _QRY_POSITION, _QRY_ACCOUNT, _LOGIN))
_FULL_ROUND = (_QRY_ORDER, _QRY_TRADE, _QRY_POSITION, _QRY_ACCOUNT)
# Exchange characters tried, in order, for a code given without its exchange.
_EXCHANGES = ("1", "2", "3", "")


class BookError(RuntimeError):
    """The book cannot do what was asked (not attached, not an engine handle)."""


def _split(key):
    code, _, exchange = key.rpartition(".")
    return code, exchange


def _position(t):
    code, exchange = _split(t[0])
    volume, sellable, frozen = t[1], t[2], t[3]
    return Position(code, exchange, volume, sellable - frozen, frozen, t[4], t[5] / volume if volume > 0 else 0.0,
                    t[6], t[7], t[8], t[9], t[10], t[11], t[13], t[14])


def _order(t):
    code, exchange = _split(t[0])
    return Order(code, exchange, *t[1:])


class KillSwitch:
    """The progress of one ``Book.kill()``: ``done`` is set once the broker has confirmed that no
    order of the trading day is open; ``wait(timeout)`` waits for it."""

    done = None          # a threading.Event
    started = 0.0        # time.monotonic() of the kill
    finished = None      # ... and of the broker's confirmation
    cancels_sent = 0

    def __init__(self, book):
        self._book = book
        self.done = threading.Event()
        self.started = time.monotonic()
        self.finished = None
        self.cancels_sent = 0

    def wait(self, timeout=None):
        """True once every order is confirmed finished; False when `timeout` seconds passed first."""
        return self.done.wait(timeout)

    @property
    def remaining(self):
        """The orders still open as far as the book knows."""
        return self._book.open_orders()

    def __repr__(self):
        state = "done" if self.done.is_set() else "%d open" % len(self.remaining)
        return "<KillSwitch %s, %d cancels sent>" % (state, self.cancels_sent)


class Book:
    """One account's live book and pre-trade checks (see the module documentation).

    limits           the ``tradecore.risk.Limits`` checked on every order (default: the sanity
                     checks only)
    reconcile_every  seconds between reconciliation rounds (None: only on ``reconcile()``)
    cash_tolerance   cash differences up to this are not reported (fees the book does not see)
    on_difference    called with each ``Difference`` reconciliation finds
    on_ready         called once the day's orders, trades, positions and cash are in
    on_killed        called with the ``KillSwitch`` once the broker confirmed every cancel
    retry_every      seconds after which the kill switch sends a cancel again
    """

    handle = None
    reconcile_every = 30.0
    retry_every = 0.5
    on_difference = None
    on_ready = None
    on_killed = None
    differences = ()

    def __init__(self, limits=None, reconcile_every=30.0, cash_tolerance=0.01, on_difference=None,
                 on_ready=None, on_killed=None, retry_every=0.5):
        self._native = _book.Account()
        self._native.set_cash_tolerance(float(cash_tolerance))
        self.limits = Limits() if limits is None else limits
        self.handle = None
        self.reconcile_every = reconcile_every
        self.retry_every = retry_every
        self.on_difference = on_difference
        self.on_ready = on_ready
        self.on_killed = on_killed
        self.differences = []
        self._ready = threading.Event()
        self._lock = threading.RLock()
        self._round = None        # "load", "reconcile" or "kill" while one is under way
        self._pending = set()     # its queries still to answer
        self._round_wanted = False
        self._next_reconcile = None
        self._kill = None
        self._sent = {}           # order -> when the kill switch last sent its cancel
        self._trader_was_ready = False

    # --- wiring ---------------------------------------------------------------------------------

    def processors(self, on_order=None, on_event=None, on_loop=None, on_snapshot=None):
        """The four processors for ``init`` (order, event, loop, market data), each reading what
        the book needs and then calling the given processor (raw signatures; None for none).
        The loop processor calls ``on_loop`` only once the book is ready."""
        feed_order, feed_event, feed_loop, feed_snapshot = self._feed_order, self._feed_event, self._feed_loop, \
            self._feed_snapshot

        def order_processor(event, address):
            feed_order(event, address)
            if on_order is not None:
                on_order(event, address)

        def event_processor(event, address, is_last, error_id, message, user_id):
            feed_event(event, address, is_last, error_id)
            if on_event is not None:
                on_event(event, address, is_last, error_id, message, user_id)

        def loop_processor():
            if feed_loop() and on_loop is not None:
                on_loop()

        def snapshot_processor(event, address):
            feed_snapshot(address)
            if on_snapshot is not None:
                on_snapshot(event, address)

        return order_processor, event_processor, loop_processor, snapshot_processor

    # What the processors read (tradecore.strategy calls these from its own processors).

    def _feed_order(self, event, address):
        self._native.order_event(event, address)
        if self._kill is not None:
            self._kill_step()

    def _feed_event(self, event, address, is_last, error_id):
        if event in _BOOK_ANSWERS:
            self._answer(event, address, is_last, error_id)
        elif event == _TRADER_READY:
            self._trader_ready()
        elif event == _TRADER_DISCONNECTED:
            self._trader_lost()

    def _feed_loop(self):
        """The book's turn of an engine-thread pass; True once the book is ready."""
        self._tick()
        return self._ready.is_set()

    def _feed_snapshot(self, address):
        if address:
            self._native.mark(address)

    def attach(self, handle):
        """Installs the book's checks on the engine ``handle`` (what ``init`` returned): every
        order and cancel of that engine passes them from now on. Raises ``BookError`` for
        anything that is not an engine handle."""
        if handle is None:
            raise BookError("attach needs the engine handle that init returned, not None")
        try:
            self._native.attach(int(handle))
        except (TypeError, ValueError, RuntimeError) as e:
            raise BookError("cannot attach to %r: %s" % (handle, e)) from None
        self.handle = handle
        # An engine already Working (a strategy started again in the same process) sends no
        # second TraderReady: the day is asked for now.
        working = _control.engineStatus(handle) == _tradecore.ENUM_ApiStatus_Working
        if (working or self._trader_was_ready) and not self._ready.is_set():
            with self._lock:
                self._start_round("load", _FULL_ROUND)

    def detach(self):
        """Takes the checks off the engine (orders are no longer checked)."""
        self._native.detach()

    # --- limits ---------------------------------------------------------------------------------

    @property
    def limits(self):
        """The ``Limits`` in force (as the checks hold them); assigning new ones applies them to
        the next order."""
        return Limits(*self._native.limits())

    @limits.setter
    def limits(self, limits):
        if not isinstance(limits, Limits):
            raise TypeError("limits must be a tradecore.risk.Limits, not %r" % (limits,))
        limits.checked()
        self._native.set_limits(*limits._native())

    def set_limits(self, **changes):
        """Changes some limits by name (``set_limits(max_open_orders=5)``), keeping the others."""
        unknown = sorted(set(changes) - set(Limits._fields))
        if unknown:
            raise TypeError("unknown limits: %s" % ", ".join(unknown))
        self.limits = self.limits._replace(**changes)

    @property
    def last_refusal(self):
        """The ``Refusal`` of the latest order or cancel the checks refused, or None."""
        return parse_refusal(self._native.last_refusal())

    @property
    def refusals(self):
        """How many orders and cancels the checks refused."""
        return self._native.refusals()

    # --- reading --------------------------------------------------------------------------------

    @property
    def ready(self):
        """True once the day's orders, trades, positions and cash are in the book."""
        return self._ready.is_set()

    def wait_ready(self, timeout=None):
        """Waits until the book is ``ready``; False when ``timeout`` seconds passed first. Never
        from a handler: the answers it waits for arrive on the engine's threads."""
        return self._ready.wait(timeout)

    @property
    def cash(self):
        """``Cash(available, frozen, pnl)``, read at one instant."""
        return Cash(*self._native.cash())

    def position(self, security, exchange=None):
        """The ``Position`` of ``security`` ("600000", or "600000.1"; the exchange may also be
        given apart); a position of zeros for a security the book has never seen."""
        if exchange is not None:
            keys = ("%s.%s" % (security, exchange),)
        elif "." in security:
            keys = (security,)
        else:
            keys = tuple("%s.%s" % (security, e) for e in _EXCHANGES)
        for key in keys:
            t = self._native.position(key)
            if t is not None:
                return _position(t)
        code, exchange = _split(keys[0])
        return Position(code, exchange, 0, 0, 0, 0, 0.0, 0, 0, 0.0, 0.0, 0.0, 0.0, 0.0, 0)

    def positions(self):
        """Every position held, traded today or with open orders."""
        return [_position(t) for t in self._native.positions()]

    def orders(self, open_only=False):
        """Every order of the trading day (earlier runs' first), or only the open ones."""
        return [_order(t) for t in self._native.orders(bool(open_only))]

    def open_orders(self):
        """The orders of the trading day still open (this run's and earlier runs')."""
        return self.orders(open_only=True)

    # --- orders ---------------------------------------------------------------------------------

    def cancel(self, order):
        """Asks the broker to cancel ``order`` (an ``Order`` of this book, this run's or an earlier
        run's); returns ``cancelOrder``'s result (0: sent)."""
        if self.handle is None:
            raise BookError("the book is not attached to an engine")
        return _tradecore.cancelOrder(self.handle, order.exchange, order.security, order.order_sys_id,
                                      order.order_ref, order.front_id, order.session_id)

    # --- kill switch ----------------------------------------------------------------------------

    def kill(self):
        """Stops new orders on the account at once and cancels every open order of the trading
        day; returns the ``KillSwitch`` that is done once the broker confirmed them all."""
        if self.handle is None:
            raise BookError("the book is not attached to an engine")
        self._native.set_halted(True)
        with self._lock:
            if self._kill is None:
                self._kill = KillSwitch(self)
                self._sent.clear()
            kill = self._kill
        self._kill_step()
        return kill

    @property
    def halted(self):
        """True while the kill switch stops new orders."""
        return self._native.halted()

    def resume(self):
        """Lets orders through again after ``kill()``."""
        with self._lock:
            self._kill = None
        self._native.set_halted(False)

    def _kill_step(self):
        with self._lock:
            kill = self._kill
            if kill is None or kill.done.is_set():
                return
            now = time.monotonic()
            for order in self.open_orders():
                if not order.order_sys_id and not order.this_run:
                    continue
                key = (order.front_id, order.session_id, order.order_ref)
                if now - self._sent.get(key, -1e9) < self.retry_every:
                    continue
                self._sent[key] = now
                if self.cancel(order) == 0:
                    kill.cancels_sent += 1
            # Only the broker's order list says that nothing is left: this run's orders are
            # known from their events, earlier runs' only from it.
            self._start_round("kill", (_QRY_ORDER,))

    def _kill_confirmed(self):
        kill = self._kill
        if kill is None or kill.done.is_set() or self.open_orders():
            return
        kill.finished = time.monotonic()
        kill.done.set()
        if self.on_killed is not None:
            self.on_killed(kill)

    # --- queries --------------------------------------------------------------------------------

    def reconcile(self):
        """Starts a reconciliation round now (or right after the one under way)."""
        with self._lock:
            if not self._start_round("reconcile", _FULL_ROUND):
                self._round_wanted = True

    def _trader_ready(self):
        # The first time: the day so far. After a reconnection: what may have been missed.
        self._trader_was_ready = True
        if self._ready.is_set():
            self.reconcile()
        else:
            with self._lock:
                self._start_round("load", _FULL_ROUND)

    def _trader_lost(self):
        # The engine drops every queued task with the connection: the round under way is over,
        # compared or not, and starts again once the trader side is ready again.
        with self._lock:
            kind, self._round = self._round, None
            self._pending = set()
            if kind is not None and kind != "load":
                self._native.end_reconcile()
                self._round_wanted = kind == "reconcile"

    def _start_round(self, kind, tasks):
        if self._round is not None or self.handle is None:
            return False
        self._round = kind
        self._pending = set(tasks)
        if kind != "load":
            self._native.begin_reconcile()
        for task in tasks:
            # Repeated until answered without error: faults and timeouts do not end a round.
            _tradecore.addTask(self.handle, task, None, 1, -1, -1, True)
        return True

    def _answer(self, task, address, is_last, error_id):
        native = self._native
        if error_id == 0 and address:
            native.query_answer(task, address)
        if not is_last or error_id != 0:
            return
        if task == _QRY_POSITION:
            native.positions_complete()
        with self._lock:
            if task not in self._pending:
                return
            self._pending.discard(task)
            if self._pending:
                return
            kind, self._round = self._round, None
            if kind == "load":
                native.set_loaded()
            else:
                native.end_reconcile()
        self._report(native.take_differences())
        if kind == "load":
            self._ready.set()
            if self.on_ready is not None:
                self.on_ready()
        if kind == "kill":
            self._kill_confirmed()
        self._next_reconcile = None

    def _report(self, found):
        for t in found:
            difference = Difference(*t)
            self.differences.append(difference)
            if self.on_difference is not None:
                self.on_difference(difference)

    def _tick(self):
        """Once per engine-thread pass: the kill switch's resends and the reconciliation clock."""
        if self._kill is not None and not self._kill.done.is_set():
            self._kill_step()
            return
        if not self._ready.is_set():
            return
        now = time.monotonic()
        with self._lock:
            if self._round_wanted and self._start_round("reconcile", _FULL_ROUND):
                self._round_wanted = False
                return
            if self.reconcile_every is None:
                return
            if self._next_reconcile is None:
                self._next_reconcile = now + self.reconcile_every
            elif now >= self._next_reconcile and self._start_round("reconcile", _FULL_ROUND):
                self._next_reconcile = None
