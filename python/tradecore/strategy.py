"""A small strategy layer over the engine's flat functions.

Subclass ``Strategy``, override the handlers you need, and run it::

    import tradecore
    from tradecore.strategy import Strategy, make_login

    class Printer(Strategy):
        def on_start(self):
            self.subscribe(["600000"])

        def on_snapshot(self, event, snapshot):
            print(snapshot.StandardID, snapshot.LastPrice)

    Printer().run(make_login("sim", trader_front="sim://paper"), duration=5)

``run`` blocks until the strategy stops: ``stop()`` from a handler or another thread, the end of
``duration``, Ctrl-C, a handler raising ``SystemExit`` or ``KeyboardInterrupt``, or a refused
login. ``start`` does the same without blocking; ``wait`` then blocks until it has stopped.

Handlers and the records they receive
-------------------------------------
- ``on_start()``: once per run, on the thread that called ``start``/``run``, after ``init``
  returned; ``self.status`` tells whether the engine is already Working (a strategy started again
  in the same process finds its engine logged in: there is no second TraderReady).
- ``on_order(event, order)``: order events 10011-10017; ``order`` is the order's
  ``CQNOrderField``, the same record ``buyOpen`` returned, read in place. Each transition of an
  order arrives once: a broker that reports a refusal on two routes gives the engine two
  InsertRejected events (or two CancelRejected for one cancel), and the strategy one. A cancel
  sent again through ``cancel``/``cancel_all`` may be refused again, and that refusal arrives too.
- ``on_snapshot(event, snapshot)``: snapshot event 10021; ``snapshot`` is the security's
  ``CQNMarketDataField``.
- ``on_event(event, record, is_last, error_id, message, user_id)``: every other event (session
  events, login and query answers, transfers, disconnections, errors). ``record`` is a
  ``CQNTransferAssetField`` for transfer events, None when the event carries no record, and
  otherwise a wrapped pointer to the broker's record, valid only during the call: read it with
  ``tradecore.as_dict``/``toText``/``getFields`` before returning.
- ``on_loop()``: once per pass of the engine thread while the trader is Working (every
  ``LoopGap`` microseconds of the login record).
- ``on_stop(reason)``: once per run, as the strategy stops, on the thread that stopped it; the
  order helpers still work here. ``reason`` is one of ``"stop"`` (``stop()`` was called),
  ``"duration"``, ``"interrupt"`` (Ctrl-C, or a handler raised KeyboardInterrupt), ``"exit"``
  (a handler raised SystemExit, or the interpreter exits while the strategy runs), ``"login"`` (the broker refused the login), ``"error"``
  (``on_start`` raised; ``start`` raises it again) or ``"exited"`` (the engine was told to exit by
  someone else, ``exitX``). Open orders are left as they are unless
  the strategy cancels them here (``self.cancel_all()``) or sets ``cancel_on_stop = True``.

A handler you do not override leaves its events to the engine's default printer (order events
always; snapshots and general events in run mode Debug, ``setRunMode(ENUM_RunMode_Debug)``, the
default), exactly as an engine without that processor prints them.

Order helpers
-------------
``buy``, ``sell``, ``cancel``, ``cancel_all``, ``subscribe`` and ``unsubscribe`` call the engine
with the strategy's handle. They work from ``on_start`` until ``on_stop`` has returned; after
``stop`` they raise ``StrategyStopped``. ``before_order`` is the hook a subclass or mixin
overrides to refuse an order before it is sent (a risk limit): it raises, and nothing is sent.
The engine functions themselves (``tradecore.buyOpen(self.handle, ...)``) stay available.

The live book and risk limits
-----------------------------
A strategy that sets ``limits`` (a ``tradecore.risk.Limits``) or ``use_book = True`` gets
``self.book``, a ``tradecore.book.Book`` attached to its engine: cash, positions (T+1), every order
of the trading day (earlier runs' too) and the pre-trade checks on every order of the engine,
whatever call placed it. The book asks the broker for the day so far when the trader side is
ready, and ``on_loop`` is first called once it is in (``self.book.ready``): a strategy restarted
during the day sees its earlier orders, trades, positions and cash there, and can cancel those
orders (``self.cancel(order)`` takes the book's ``Order`` too). Place orders from ``on_loop`` or
later events, not from ``on_start``: until the day is in, the book knows no position to sell.
``buy`` and ``sell`` raise ``tradecore.risk.RiskRefused`` for an order the checks refused (nothing
was sent). ``on_difference(difference)`` receives what reconciliation (every ``reconcile_every``
seconds) finds the broker says otherwise; ``kill()`` is the kill switch (``on_killed(kill)`` once
the broker confirmed every cancel), and ``kill_on_interrupt = True`` pulls it on Ctrl-C, waiting
up to ``kill_timeout`` seconds for the confirmation before the strategy stops. With the book on,
events without a handler are still printed as the engine would.

Threading rule
--------------
Handlers run on the engine's threads and on the broker SDK's callback threads, never on the thread
that called ``run`` (which waits). They run one at a time, each under the Python interpreter lock
(the GIL), so handlers never race each other on Python objects; but while a handler runs, every
other event waits behind it. Handlers must therefore not block: no sleeping, no waiting for
another event, no blocking I/O, no ``loop()``. Do the work, return, and let ``on_loop`` or a later
event carry on. Engine calls (``buyOpen``, ``cancelOrder...``, ``addTask``, ``exitX`` ...) are fine
inside a handler; they return without waiting for the broker. The module releases the GIL around
every engine call, so while a handler is inside one, other handlers may run: the Accepted event of
an order can reach ``on_order`` before the ``buyOpen`` that placed it has returned to its caller.
Keep what handlers share consistent before calling the engine, and do not rely on the returned
record being stored by the time its first event arrives.

A handler may read the record it is handed without taking its lock: the engine holds that lock for
the whole call and updates the record only between calls. Any other engine record (an order kept
from earlier, a snapshot) changes under the engine's writers at any time; read it between
``getOrderLock``/``releaseOrderLock`` (``getMarketDataLock``/``releaseMarketDataLock``), and never
take the lock of the record being handed to you (the engine holds it already).

An order joins the engine's active orders only after its Accepted event has been handled, so
``cancelOrderByOrderID`` called inside ``on_order`` for that very Accepted event returns -1;
``cancel(order)`` names the order by its fields and works at once.

An exception raised in a handler is printed with its traceback and the engine carries on with the
next event. ``SystemExit`` and ``KeyboardInterrupt`` are not printed: they stop the strategy as
Ctrl-C would, and ``run`` raises them again in its caller's thread.

Ctrl-C, several strategies, restarting
--------------------------------------
Ctrl-C while ``run`` waits (or while ``init`` waits for a front) stops every strategy of the
process and raises ``KeyboardInterrupt`` in the caller, so an uncaught Ctrl-C ends the process
with the usual status for an interrupt. Several strategies on different accounts may run at once,
started from several threads or one after another; each ``run`` returns when its own strategy
stops. A strategy started again in the same process gets the same engine back (same account and
RunID), resumed as it was.

RunID and identifiers
---------------------
``run_id`` (0 to 32767, 1 by default) names the engine together with the account. The engine
numbers the orders and transfers of a run from ``run_id + 1`` upwards, and takes the broker's
reports about identifiers from ``run_id`` to ``run_id + IDRange`` (``IDRange`` of the login record,
100000 by default) as its own. The engine keeps only the low 16 bits of a RunID, so larger values
are refused here rather than cut short: 65537 would give the engine of RunID 1, and 40000 negative
identifiers.
"""

import collections
import threading
import time
import traceback

import tradecore as _package

from . import _control, _engines, _tradecore
from .book import Book, Order
from .risk import Limits, RiskRefused, refusal

__all__ = ["Strategy", "StrategyError", "StrategyStopped", "OrderRequest", "make_login", "SIM_GAPS",
           "DEFAULT_CONNECT_TIMEOUT"]

#: Seconds ``make_login`` gives ``init`` to reach each front unless told otherwise.
DEFAULT_CONNECT_TIMEOUT = 10.0

#: The task gaps ``make_login`` chooses for the simulated broker (``sim://`` fronts), whose fronts
#: answer at once: the first ``on_loop`` comes a fraction of a second after start instead of
#: three seconds.
SIM_GAPS = {"TaskExecuteGap": 10000, "TaskFailedGap": 1000000}

# What a connect-timeout code means to someone who typed the front.
_FRONT_HINTS = {
    _tradecore.ENUM_ErrorID_TraderConnectTimeout: "trader front %(trader)s did not answer within %(timeout)s",
    _tradecore.ENUM_ErrorID_MdConnectTimeout: "market-data front %(md)s did not answer within %(timeout)s",
}
_LOGIN_ANSWERS = frozenset((_tradecore.ENUM_TORAStockTaskID_LoginTrader, _tradecore.ENUM_TORAStockTaskID_LoginMd))
_ORDER_FIELDS = ("OrderStatus", "TradedVolume", "CanceledVolume", "TradedVolumeOfTurnover", "ErrorID")

# A strategy's life: new or stopped -> starting (init) -> running -> stopping (on_stop) -> stopped.
_STOPPED, _STARTING, _RUNNING, _STOPPING = "stopped", "starting", "running", "stopping"


class StrategyError(RuntimeError):
    """``init`` refused the login record or could not reach a front, or the broker refused the
    login. ``error_id`` is the engine's or the broker's code; ``message`` its text."""

    def __init__(self, error_id, message=None, detail=None):
        self.error_id = error_id
        self.message = message if message is not None else (_tradecore.getMessageByErrorID(error_id) or "")
        text = "%s (%d)" % (self.message or "init failed", error_id)
        if detail:
            text += ": " + detail
        super().__init__(text)


class StrategyStopped(RuntimeError):
    """An order helper was called on a strategy that is not running."""


#: What ``before_order`` is shown: ``side`` is ``"buy"`` or ``"sell"``; the rest as the helper got it.
OrderRequest = collections.namedtuple("OrderRequest", "side standard_id volume price order_type exchange_id")


def make_login(user_id, password="", trader_front="sim://paper", md_front=None, base_path=None,
               user_type=None, connect_timeout=DEFAULT_CONNECT_TIMEOUT, **fields):
    """A ``CQNLoginField`` for one account.

    - ``user_id``, ``password``: the account's login.
    - ``trader_front``, ``md_front``: front addresses; ``md_front`` defaults to ``trader_front``.
      ``sim://...`` addresses are served by the simulated broker (``tradecore.sim``).
    - ``base_path``: where the SDK keeps its flow files (the engine's default: the current
      directory).
    - ``user_type``: ``ENUM_UserType_TORAStock`` unless given.
    - ``connect_timeout``: seconds ``init`` waits for each front before it gives up with
      ``ENUM_ErrorID_TraderConnectTimeout``/``MdConnectTimeout`` (10 by default). None or 0 waits
      for as long as it takes (the raw record's ``ConnectTimeout`` 0).
    - any other field of the login record by name, in the record's units (microseconds for every
      time), for example ``LoopGap=10000``.

    The gaps of the record, all in microseconds (-1: the engine's default):

    - ``TaskExecuteGap``: the pause before the engine sends the next queued request (login, the
      start-up queries, every ``addTask`` query) after the previous one was answered; 1 s by
      default. The start-up makes four requests, so it sets how soon the trader is Working.
    - ``TaskFailedGap``: the pause before a failed request is sent again; 10 s by default.
    - ``TaskExecuteTimeout``: how long a request may go unanswered before the engine reports
      ``Error:Response Timeout.``; never less than 10 s.
    - ``LoopGap``: the pause between two passes of the engine thread, which is how often
      ``on_loop`` runs while Working; -1 gives 0.1 s, 0 no pause at all.

    For the simulated broker (both fronts ``sim://``), whose fronts answer at once, the task gaps
    are those of ``SIM_GAPS`` (10 ms between requests, 1 s before a retry) unless given: the first
    ``on_loop`` then comes a fraction of a second after start. A real broker keeps the engine's
    defaults, which respect its query rate limits."""
    login = _package.CQNLoginField()
    login.UserType = _tradecore.ENUM_UserType_TORAStock if user_type is None else user_type
    login.UserID = user_id
    login.Password = password
    login.TraderFrontAddress = trader_front
    login.MdFrontAddress = trader_front if md_front is None else md_front
    login.ConnectTimeout = int(round((connect_timeout or 0) * 1000000))
    if base_path is not None:
        login.BasePath = str(base_path)
    if login.TraderFrontAddress.startswith("sim://") and login.MdFrontAddress.startswith("sim://"):
        fields = dict(SIM_GAPS, **fields)
    for name, value in fields.items():
        if not hasattr(type(login), name):
            raise AttributeError("CQNLoginField has no field %r" % name)
        setattr(login, name, value)
    return login


def check_run_id(run_id, login=None):
    """Refuses a RunID the engine would not keep as given: below 0, or beyond the 16 bits the
    engine keeps (which would cut it, or make its identifiers negative). With ``login``, the
    message also names the engine of this process that the cut RunID would hand back."""
    if isinstance(run_id, bool) or not isinstance(run_id, int):
        raise TypeError("run_id must be an int, not %s" % type(run_id).__name__)
    if run_id < 0:
        raise ValueError("run_id %d: a RunID is 0 or more (use 0 to 32767)" % run_id)
    low = _engines.run_id16(run_id)
    if low < 0:
        raise ValueError("run_id %d: the engine keeps only the low 16 bits of a RunID, read as a signed number "
                         "(%d), so its order identifiers would be negative. Use a run_id from 0 to 32767."
                         % (run_id, low))
    if low != run_id:
        clash = _engines.entry_of(login, run_id) if login is not None else None
        also = ("; %s already runs in this process, and init would hand that engine back with the processors "
                "it was started with" % _engines.describe(clash.key)) if clash else ""
        raise ValueError("run_id %d: the engine keeps only the low 16 bits of a RunID (%d), so its orders would be "
                         "numbered from %d, as those of run_id %d%s. Use a run_id from 0 to 32767."
                         % (run_id, low, low + 1, low, also))


def _timeout_text(login):
    return "%g s" % (login.ConnectTimeout / 1e6) if login.ConnectTimeout > 0 else "the wait"


class Strategy:
    """Base class of a strategy: override any of the handlers (``on_start``, ``on_order``,
    ``on_snapshot``, ``on_event``, ``on_loop``, ``on_stop``; see the module documentation for
    what each receives and the threading rule), then call ``run``.

    Attributes: ``handle`` is the engine handle once ``start`` has run (pass it to ``buyOpen``,
    ``subscribe`` ...); ``run_id`` the RunID given to ``init`` (order identifiers start right
    after it); ``cancel_on_stop`` (False) cancels every active order as the strategy stops;
    ``stop_on_login_error`` (True) stops the strategy when the broker refuses its login, and
    ``run`` then raises ``StrategyError`` with the broker's code and message; ``stop_reason`` why
    the last run stopped."""

    run_id = 1
    cancel_on_stop = False
    stop_on_login_error = True
    #: The pre-trade limits of the strategy's book (a ``tradecore.risk.Limits``); setting them
    #: turns the book on. Changed while trading with ``self.book.limits = ...``.
    limits = None
    #: The book without limits of its own (the volume, price, cash and position checks apply).
    use_book = False
    #: Seconds between the book's reconciliations with the broker (None: none).
    reconcile_every = 30.0
    #: Ctrl-C pulls the kill switch, and the strategy stops once the broker confirmed every
    #: cancel or after ``kill_timeout`` seconds.
    kill_on_interrupt = False
    kill_timeout = 10.0
    #: The live book (``tradecore.book.Book``) once started with ``limits`` or ``use_book``.
    book = None

    def __new__(cls, *args, **kwargs):
        # The lifecycle's own state, made here so that it exists even when a subclass's
        # __init__ does not call Strategy.__init__.
        self = super().__new__(cls)
        self.handle = None
        self.stop_reason = None
        self._state = _STOPPED
        self._state_lock = threading.RLock()
        self._stopped = threading.Event()
        self._stopped.set()
        self._entry = None
        self._failure = None          # the exception run raises once the strategy has stopped
        self._delivered = {}          # (OrderID, event) -> the order's fields when last handed over
        self._handlers = {}
        return self

    def __init__(self):
        pass

    # --- handlers -------------------------------------------------------------------------

    def on_start(self):
        """Called once per run on the thread that called ``start``/``run``, after ``init``."""

    def on_order(self, event, order):
        """An order event (``ENUM_OrderEventID_...``) with the order's record."""

    def on_snapshot(self, event, snapshot):
        """A snapshot event (``ENUM_SnapDataEventID_MarketData``) with the security's record."""

    def on_event(self, event, record, is_last, error_id, message, user_id):
        """Any other event: ``record`` is a transfer record, a broker record (a wrapped pointer,
        valid during the call) or None; ``message`` is the broker's or the engine's text."""

    def on_loop(self):
        """Called once per engine-thread pass while the trader is Working."""

    def on_stop(self, reason):
        """Called once per run as the strategy stops, with why (see the module documentation);
        the order helpers still work here."""

    def on_difference(self, difference):
        """The book's reconciliation found the broker saying otherwise (a ``tradecore.book.
        Difference``); the book has taken the broker's figure."""

    def on_killed(self, kill):
        """The kill switch's cancels are all confirmed by the broker (a ``tradecore.book.KillSwitch``)."""

    # --- hooks for subclasses and mixins ------------------------------------------------------

    def before_order(self, request):
        """Called by ``buy`` and ``sell`` with an ``OrderRequest`` before anything is sent; raise
        to refuse the order. The default accepts every order."""

    # --- state ----------------------------------------------------------------------------

    @property
    def running(self):
        """True from ``start`` until the strategy has stopped."""
        return self._state in (_STARTING, _RUNNING, _STOPPING)

    @property
    def status(self):
        """The engine's API status (``ENUM_ApiStatus_...``: "3" Working, "5" Exit ...), "0"
        before the first start."""
        return _control.engineStatus(self.handle)

    # --- order helpers --------------------------------------------------------------------

    def _sending(self, what):
        if self._state == _STOPPED:
            raise StrategyStopped("%s: the strategy is stopped; its order helpers send nothing" % what)
        return self.handle

    def buy(self, standard_id, volume, price, order_type=_tradecore.ENUM_OrderType_LimitAndWait, exchange_id=None):
        """``buyOpen``: buys ``volume`` of ``standard_id`` at ``price`` (order type
        ``ENUM_OrderType_LimitAndWait`` unless given; ``exchange_id`` found from the security list
        when None). Returns the order's ``CQNOrderField`` or None (nothing was sent)."""
        handle = self._sending("buy")
        self.before_order(OrderRequest("buy", standard_id, volume, price, order_type, exchange_id))
        return self._checked(_tradecore.buyOpen(handle, standard_id, volume, order_type, price, exchange_id))

    def sell(self, standard_id, volume, price, order_type=_tradecore.ENUM_OrderType_LimitAndWait, exchange_id=None):
        """``sellClose``: sells ``volume`` of ``standard_id`` at ``price``, as ``buy``."""
        handle = self._sending("sell")
        self.before_order(OrderRequest("sell", standard_id, volume, price, order_type, exchange_id))
        return self._checked(_tradecore.sellClose(handle, standard_id, volume, order_type, price, exchange_id))

    def _checked(self, order):
        # An order the book's checks refused was never sent: the caller hears it at once.
        if self.book is not None:
            why = refusal(order)
            if why is not None:
                raise RiskRefused(why, order)
        return order

    def cancel(self, order):
        """Cancels ``order`` (a ``CQNOrderField``, or an ``Order`` of the book, an earlier run's
        included) by its fields, which works at once, even inside its own Accepted event.
        Returns the engine's result (0: the request went out)."""
        handle = self._sending("cancel")
        if isinstance(order, Order):
            if order.this_run:
                self._forget_cancel_rejections(order.order_ref)
            return self.book.cancel(order)
        self._forget_cancel_rejections(order.OrderID)
        _tradecore.getOrderLock(order)
        try:
            fields = (order.ExchangeID, order.StandardID, order.OrderSysID, order.OrderID, order.FrontID,
                      order.SessionID)
        finally:
            _tradecore.releaseOrderLock(order)
        return _tradecore.cancelOrder(handle, *fields)

    def cancel_all(self, exchange_id=None, standard_id=None):
        """Cancels every active order (of ``exchange_id``/``standard_id`` when given); returns the
        sum of the engine's results (0 when every request went out)."""
        handle = self._sending("cancel_all")
        self._forget_cancel_rejections(None)
        return _tradecore.cancelOrderByStandardID(handle, exchange_id, standard_id)

    def _forget_cancel_rejections(self, order_id):
        # A new cancel may be refused again, with the order unchanged: that is a new transition.
        # (list() copies the keys at once, while handlers on other threads may add some.)
        rejected = _tradecore.ENUM_OrderEventID_CancelRejected
        for key in [k for k in list(self._delivered) if k[1] == rejected and order_id in (None, k[0])]:
            self._delivered.pop(key, None)

    def kill(self):
        """The kill switch of the strategy's book (``tradecore.book.Book.kill``): no new order
        goes, every open order of the day is cancelled; returns the ``KillSwitch``."""
        self._sending("kill")
        if self.book is None:
            raise StrategyError(_tradecore.ENUM_ErrorID_None, "", "the strategy has no book (set limits or use_book)")
        return self.book.kill()

    def subscribe(self, standard_ids, exchange_id=None):
        """Subscribes to the snapshots of ``standard_ids`` (a list of codes)."""
        return _tradecore.subscribe(self._sending("subscribe"), list(standard_ids), exchange_id)

    def unsubscribe(self, standard_ids, exchange_id=None):
        """Ends the subscriptions of ``standard_ids``."""
        return _tradecore.unsubscribe(self._sending("unsubscribe"), list(standard_ids), exchange_id)

    # --- delivery (called through the engine's processors) ---------------------------------

    def _overrides(self, name):
        return getattr(type(self), name) is not getattr(Strategy, name)

    def _handler(self, name):
        """The overridden handler ``name``, or None when the engine's printer stands in for it."""
        if name not in self._handlers:
            self._handlers[name] = getattr(self, name) if self._overrides(name) else None
        return self._handlers[name]

    def _call(self, handler, *args):
        try:
            handler(*args)
        except SystemExit as exc:
            self._halt(exc, "exit")
        except KeyboardInterrupt as exc:
            self._halt(exc, "interrupt")

    def _halt(self, exc, reason):
        """A handler asked to stop the process: stop as Ctrl-C would; run raises it again."""
        with self._state_lock:
            if self._failure is None:
                self._failure = exc
        self.stop(reason)

    def _first_transition(self, event, order):
        # A transition is an event that finds the order changed since that event was last handed
        # over; a refusal reported on two routes finds it unchanged the second time.
        key = (order.OrderID, event)
        fields = tuple(getattr(order, name) for name in _ORDER_FIELDS)
        if self._delivered.get(key) == fields:
            return False
        self._delivered[key] = fields
        return True

    def _deliver_order(self, event, address):
        book = self.book
        if book is not None:
            book._feed_order(event, address)
        order = _package.record(event, address)
        if not self._first_transition(event, order):
            return
        handler = self._handler("on_order")
        if handler is None:
            _control.printDefault(event, address, True, 0, b"", "")
        else:
            self._call(handler, event, order)

    def _deliver_snapshot(self, event, address):
        book = self.book
        if book is not None:
            book._feed_snapshot(address)
        handler = self._handler("on_snapshot")
        if handler is None:
            _control.printDefault(event, address, True, 0, b"", "")
        else:
            self._call(handler, event, _package.record(event, address))

    def _deliver_event(self, event, address, is_last, error_id, message, user_id):
        book = self.book
        if book is not None:
            book._feed_event(event, address, is_last, error_id)
        handler = self._handler("on_event")
        if handler is None:
            _control.printDefault(event, address, is_last, error_id, message.encode("gb2312", "ignore"), user_id)
        else:
            self._call(handler, event, _package.record(event, address) if address else None, is_last, error_id,
                       message, user_id)
        if event in _LOGIN_ANSWERS and error_id != 0 and self.stop_on_login_error:
            side = "trader" if event == _tradecore.ENUM_TORAStockTaskID_LoginTrader else "market-data"
            self._halt(StrategyError(error_id, message, "the broker refused the %s login of %s"
                                     % (side, user_id)), "login")

    def _deliver_loop(self):
        book = self.book
        if book is not None and not book._feed_loop():
            return  # the day is not in the book yet
        handler = self._handler("on_loop")
        if handler is not None:
            self._call(handler)

    def processors(self):
        """The four processors (order, event, loop, market data) that feed this strategy's
        handlers, as ``init`` takes them. ``start`` gives ``init`` those of the engine's entry,
        which forward to the strategy that runs the engine at the time."""
        return (self._deliver_order, self._deliver_event, self._deliver_loop, self._deliver_snapshot)

    # --- running --------------------------------------------------------------------------

    def start(self, login, run_id=None):
        """Starts the strategy without blocking: ``init`` with the account's processors, the
        engine resumed if it was stopped before, ``on_start``, and the engine loop running.
        Events may reach the handlers before this returns. Returns the engine handle.

        Raises ``StrategyError`` when ``init`` refuses the login or cannot reach a front (its
        code and message, and which front), ``ValueError`` for a RunID the engine would not keep
        as given or an engine another strategy runs, ``KeyboardInterrupt`` on Ctrl-C while
        ``init`` waits for a front (nothing is left registered for a front not reached)."""
        check_run_id(self.run_id if run_id is None else run_id, login)
        with self._state_lock:
            if self.running:
                raise StrategyError(_tradecore.ENUM_ErrorID_None, "", "the strategy is running already")
            if run_id is not None:
                self.run_id = run_id
            self._state = _STARTING
            self._stopped.clear()
            self._failure = None
            self.stop_reason = None
        try:
            self._entry = _engines.attach(self, login, self.run_id)
            if self.book is None and (self.limits is not None or self.use_book):
                self.book = Book(limits=self.limits if self.limits is not None else Limits(),
                                 reconcile_every=self.reconcile_every,
                                 on_difference=lambda d: self._call(self.on_difference, d),
                                 on_killed=lambda k: self._call(self.on_killed, k))
            handle = _tradecore.init(self.run_id, login, *self._entry.processors)
            if handle is None:
                raise self._init_error(login)
            if self.book is not None:
                self.book.attach(handle)
        except BaseException:
            self._abandon_start()
            raise
        self._entry.handle = handle
        with self._state_lock:
            # A handler may have stopped the strategy while init ran; then the engine stays exited.
            self.handle = handle
            if self._state != _STARTING:
                _tradecore.exitX(handle)
                return handle
            _control.resumeEngine(handle)
        try:
            self.on_start()
        except BaseException:
            self.stop("error")
            raise
        with _engines._lock:
            with self._state_lock:
                if self._state != _STARTING:
                    return handle  # stopped from a handler or another thread meanwhile
                self._state = _RUNNING
            _engines.ensure_loop()
        return handle

    def _init_error(self, login):
        code = _tradecore.getInitError()
        hint = _FRONT_HINTS.get(code)
        detail = hint % {"trader": login.TraderFrontAddress, "md": login.MdFrontAddress,
                         "timeout": _timeout_text(login)} if hint else None
        return StrategyError(code, detail=detail)

    def _abandon_start(self):
        if self._entry is not None:
            _engines.detach(self._entry, self)
        with self._state_lock:
            self._state = _STOPPED
            self._stopped.set()

    def stop(self, reason="stop"):
        """Stops the strategy: ``on_stop(reason)`` (the helpers still work there), then the
        strategy leaves the engine (no more events reach its handlers) and the engine is told to
        exit (``exitX``). Safe to call from a handler or from any thread, and more than once."""
        with self._state_lock:
            if self._state not in (_STARTING, _RUNNING):
                return
            self._state = _STOPPING
            self.stop_reason = reason
        try:
            if reason == "interrupt" and self.kill_on_interrupt and self.book is not None and self.handle is not None:
                self._kill_before_stopping()
            if self.cancel_on_stop and self.handle is not None:
                self.cancel_all()
            self.on_stop(reason)
        except Exception:  # noqa: BLE001  the stop goes on; the error is shown like a handler's
            traceback.print_exc()
        finally:
            _engines.detach(self._entry, self)
            if self.handle is not None:
                _tradecore.exitX(self.handle)
            with self._state_lock:
                self._state = _STOPPED
                self._stopped.set()

    def _kill_before_stopping(self):
        kill = self.book.kill()
        # The engine and the broker's threads confirm the cancels: wait for them only on a
        # thread of the strategy's caller, never on one of theirs (a handler's).
        if not isinstance(threading.current_thread(), threading._DummyThread):
            kill.wait(self.kill_timeout)

    def wait(self, timeout=None):
        """Blocks until the strategy has stopped, or for at most ``timeout`` seconds; True once
        it has stopped. Ctrl-C raises ``KeyboardInterrupt`` here at once (signal handlers the
        strategy installed run meanwhile)."""
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            left = 0.1 if deadline is None else min(0.1, deadline - time.monotonic())
            if left <= 0:
                return self._stopped.is_set()
            if self._stopped.wait(left):
                return True

    def run(self, login, run_id=None, duration=None):
        """``start``, then block until the strategy stops, or for at most ``duration`` seconds
        (then it is stopped with reason ``"duration"``). Ctrl-C stops every strategy of the
        process and raises ``KeyboardInterrupt``; a handler's ``SystemExit`` or
        ``KeyboardInterrupt`` and a refused login (``StrategyError``) are raised here once the
        strategy has stopped. Returns the reason it stopped."""
        try:
            self.start(login, run_id)
            if not self.wait(duration):
                self.stop("duration")
        except KeyboardInterrupt:
            _engines.stop_all("interrupt")
            raise
        failure = self._failure
        if failure is not None:
            self._failure = None
            raise failure
        return self.stop_reason

    def __repr__(self):
        return "<%s %s run_id=%d>" % (type(self).__name__, self._state, self.run_id)
