"""A small strategy layer over the engine's flat functions.

Subclass ``Strategy``, override the handlers you need, and run it::

    import tradecore
    from tradecore.strategy import Strategy, make_login

    class Printer(Strategy):
        def on_loop(self):
            if not self.subscribed:
                tradecore.subscribe(self.handle, ["600000"])
                self.subscribed = True

        def on_snapshot(self, event, snapshot):
            print(snapshot.StandardID, snapshot.LastPrice)

    s = Printer()
    s.subscribed = False
    s.run(make_login("sim", trader_front="sim://paper"), duration=5)

Handlers and the records they receive
-------------------------------------
- ``on_order(event, order)``: order events 10011-10017; ``order`` is the order's
  ``CQNOrderField``, the same record ``buyOpen`` returned, read in place.
- ``on_snapshot(event, snapshot)``: snapshot event 10021; ``snapshot`` is the security's
  ``CQNMarketDataField``.
- ``on_event(event, record, is_last, error_id, message, user_id)``: every other event (session
  events, login and query answers, transfers, disconnections, errors). ``record`` is a
  ``CQNTransferAssetField`` for transfer events, None when the event carries no record, and
  otherwise a wrapped pointer to the broker's record, valid only during the call: read it with
  ``tradecore.as_dict``/``toText``/``getFields`` before returning.
- ``on_loop()``: once per pass of the engine thread while the trader is Working (every
  ``LoopGap`` microseconds of the login record).

A handler you do not override is not handed to the engine at all, so the engine's own default
printer shows those events (order events always; snapshots and general events in run mode
Debug, ``setRunMode(ENUM_RunMode_Debug)``, the default).

Threading rule
--------------
Handlers run on the engine's threads and on the broker SDK's callback threads, never on the thread
that called ``run``/``loop`` (which stays blocked in ``loop``). They run one at a time, each under
the Python interpreter lock (the GIL), so handlers never race each other on Python objects; but
while a handler runs, every other event waits behind it. Handlers must therefore not block: no
sleeping, no waiting for another event, no blocking I/O, no ``loop()``. Do the work, return, and
let ``on_loop`` or a later event carry on. Engine calls (``buyOpen``, ``cancelOrder...``,
``addTask``, ``exitX`` ...) are fine inside a handler; they return without waiting for the broker.
The module releases the GIL around every engine call, so while a handler is inside one, other
handlers may run: the Accepted event of an order can reach ``on_order`` before the ``buyOpen`` that
placed it has returned to its caller. Keep what handlers share consistent before calling the engine,
and do not rely on the returned record being stored by the time its first event arrives.

A handler may read the record it is handed without taking its lock: the engine holds that lock for
the whole call and updates the record only between calls. Any other engine record (an order kept
from earlier, a snapshot) changes under the engine's writers at any time; read it between
``getOrderLock``/``releaseOrderLock`` (``getMarketDataLock``/``releaseMarketDataLock``), and never
take the lock of the record being handed to you (the engine holds it already).

An order joins the engine's active orders only after its Accepted event has been handled, so
``cancelOrderByOrderID`` called inside ``on_order`` for that very Accepted event returns -1;
cancel it from ``on_loop`` or a later event instead (``cancelOrder`` with the order's fields works
at once). A broker that reports a refused order on two routes gives two InsertRejected events for
it; the order's cash is refunded once.

An exception raised in a handler is printed with its traceback and the engine carries on with the
next event.
"""

import threading

import tradecore as _package

from . import _tradecore

__all__ = ["Strategy", "StrategyError", "make_login"]


class StrategyError(RuntimeError):
    """``init`` refused the login record or could not reach the fronts."""

    def __init__(self, error_id):
        self.error_id = error_id
        message = _tradecore.getMessageByErrorID(error_id) or "init failed"
        super().__init__("%s (%d)" % (message, error_id))


def make_login(user_id, password="", trader_front="sim://paper", md_front=None, base_path=None,
               user_type=None, **fields):
    """A ``CQNLoginField`` for one account. ``md_front`` defaults to ``trader_front``;
    ``base_path`` (where the SDK keeps its flow files) to the engine's default, the current
    directory. Any other field of the login record can be given by name, for example
    ``LoopGap=10000`` or ``TaskExecuteGap=100000`` (microseconds)."""
    login = _package.CQNLoginField()
    login.UserType = _tradecore.ENUM_UserType_TORAStock if user_type is None else user_type
    login.UserID = user_id
    login.Password = password
    login.TraderFrontAddress = trader_front
    login.MdFrontAddress = trader_front if md_front is None else md_front
    if base_path is not None:
        login.BasePath = str(base_path)
    for name, value in fields.items():
        if not hasattr(type(login), name):
            raise AttributeError("CQNLoginField has no field %r" % name)
        setattr(login, name, value)
    return login


def _order_processor(handler, record):
    def processor(event, address):
        handler(event, record(event, address))
    return processor


def _event_processor(handler, record):
    def processor(event, address, is_last, error_id, message, user_id):
        handler(event, record(event, address), is_last, error_id, message, user_id)
    return processor


class Strategy:
    """Base class of a strategy: override any of ``on_order``, ``on_snapshot``, ``on_event``
    and ``on_loop`` (see the module documentation for what each receives and the threading
    rule), then call ``run``.

    Attributes: ``handle`` is the engine handle once ``start`` has run (pass it to
    ``buyOpen``, ``subscribe`` ...); ``run_id`` the RunID given to ``init`` (order identifiers
    start right after it)."""

    run_id = 1

    def __init__(self):
        self.handle = None

    # --- handlers -------------------------------------------------------------------------

    def on_order(self, event, order):
        """An order event (``ENUM_OrderEventID_...``) with the order's record."""

    def on_snapshot(self, event, snapshot):
        """A snapshot event (``ENUM_SnapDataEventID_MarketData``) with the security's record."""

    def on_event(self, event, record, is_last, error_id, message, user_id):
        """Any other event: ``record`` is a transfer record, a broker record (a wrapped pointer,
        valid during the call) or None; ``message`` is the broker's or the engine's text."""

    def on_loop(self):
        """Called once per engine-thread pass while the trader is Working."""

    # --- wiring ---------------------------------------------------------------------------

    def _overrides(self, name):
        return getattr(type(self), name) is not getattr(Strategy, name)

    def processors(self):
        """The four processors for ``init`` (order, event, loop, market data): a callable for
        each handler this class overrides, None for the others (the engine prints those
        events with its default printers)."""
        record = _package.record
        order = _order_processor(self.on_order, record) if self._overrides("on_order") else None
        event = _event_processor(self.on_event, record) if self._overrides("on_event") else None
        loop = self.on_loop if self._overrides("on_loop") else None
        snapshot = _order_processor(self.on_snapshot, record) if self._overrides("on_snapshot") else None
        return order, event, loop, snapshot

    # --- running --------------------------------------------------------------------------

    def start(self, login, run_id=None):
        """Starts the account (``init``) with this strategy's processors and returns the
        engine handle. Events may reach the handlers before this returns. Raises
        ``StrategyError`` when ``init`` refuses the login or cannot reach the fronts."""
        if run_id is not None:
            self.run_id = run_id
        handle = _tradecore.init(self.run_id, login, *self.processors())
        if handle is None:
            raise StrategyError(_tradecore.getInitError())
        self.handle = handle
        return handle

    def stop(self):
        """Tells the engine to stop (``exitX``); ``run``/``loop`` returns once it has. Safe to
        call from a handler or from any thread."""
        if self.handle is not None:
            _tradecore.exitX(self.handle)

    def run(self, login, run_id=None, duration=None):
        """``start``, then ``loop`` until ``stop`` is called, or for at most ``duration``
        seconds when given. Blocks the calling thread; the handlers run meanwhile on the
        engine's threads."""
        self.start(login, run_id)
        timer = None
        if duration is not None:
            timer = threading.Timer(duration, self.stop)
            timer.daemon = True
            timer.start()
        try:
            _tradecore.loop()
        finally:
            if timer is not None:
                timer.cancel()
