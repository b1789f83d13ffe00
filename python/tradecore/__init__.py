"""tradecore: an automated-trading engine for TORA stock accounts.

``import tradecore`` gives the five record classes (``CQNLoginField``, ``CQNOrderField``,
``CQNMarketDataField``, ``CQNTransferAssetField``, ``CQNQueryCommandField``), every engine
function (``init``, ``loop``, ``buyOpen``, ``toText``, ...), every ``ENUM_...`` constant and
``cvar`` with the read-only error messages. ``tradecore._tradecore`` is the extension module
itself.

Events hand records over as integer addresses; ``record`` and ``pointer`` turn them into objects
the record classes and ``toText``/``getFields`` work with::

    def on_order(event_id, address):
        order = tradecore.record(event_id, address)   # a CQNOrderField, not owned
        print(order.StandardID, order.OrderStatus)

The Python layer on top: ``tradecore.events`` (``event_name``, ``as_dict``, ``broker_text``),
``tradecore.strategy`` (``Strategy``, ``make_login``), ``tradecore.book`` (the live book: cash,
positions, orders, reconciliation, kill switch, restart recovery), ``tradecore.risk`` (the
pre-trade limits the book checks on every order) and ``tradecore.sim`` (the simulated broker's
control).
"""

import os as _os
import sys as _sys

if _sys.platform == "win32" and hasattr(_os, "add_dll_directory"):
    # The engine's DLL, the simulated broker's and the vendor SDK's sit beside the extension
    # modules; Python 3.8+ looks for an extension's DLLs only where it is told to.
    _os.add_dll_directory(_os.path.dirname(_os.path.abspath(__file__)))

from . import _tradecore  # noqa: E402
from . import _records  # noqa: E402
from ._proxy import *  # noqa: F401,F403  records, functions, constants, cvar
from ._proxy import cvar  # noqa: F401

# The engine functions straight from the extension module: the same calls, texts and defaults
# as the generated pass-through wrappers, one Python frame fewer on every order and lock call.
_ENGINE_FUNCTIONS = (
    "getVersion", "init", "getInitError", "getMessageByErrorID", "loop", "setRunMode",
    "setEventTextProcessor", "subscribeOne", "subscribe", "unsubscribeOne", "unsubscribe",
    "buyOpen", "sellClose", "sellOpen", "buyClose", "insertOrder", "cancelOrder",
    "cancelOrderByOrderID", "cancelOrderByStandardID", "transferCash", "transferPosition",
    "queryBankAccountCash", "updatePassword", "addTask", "exitX", "getOrderLock",
    "releaseOrderLock", "getMarketDataLock", "releaseMarketDataLock", "getFields", "toText",
    "setTimeAnchor", "getTimeElapse",
)
for _name in _ENGINE_FUNCTIONS:
    globals()[_name] = getattr(_tradecore, _name)
del _name

# Which record class an event's address points at, by event id.
_ORDER_EVENTS = frozenset(range(ENUM_OrderEventID_Traded, ENUM_OrderEventID_Cached + 1))  # noqa: F405
_SNAPSHOT_EVENTS = frozenset((ENUM_SnapDataEventID_MarketData, ENUM_SnapDataEventID_IndexData))  # noqa: F405
_TRANSFER_EVENTS = frozenset((
    ENUM_CTPEventID_TransferCash,  # noqa: F405
    ENUM_TORAStockEventID_TransferCash,  # noqa: F405
    ENUM_TORAStockEventID_TransferPosition,  # noqa: F405
    ENUM_TORAStockEventID_PeripheryTransferCash,  # noqa: F405
    ENUM_TORAStockEventID_PeripheryTransferPosition,  # noqa: F405
))


def pointer(address):
    """A bare wrapped pointer to the record at ``address`` (an int from an event), for
    ``toText``/``getFields``; None for address 0. It does not own the record."""
    return _records.pointerAt(address)


def record(eventID, address):
    """The record that event ``eventID`` carries at ``address``, as an object that reads it in
    place and never frees it:

    - order events (10011-10017): ``CQNOrderField``;
    - snapshot events (10021, 10022): ``CQNMarketDataField``;
    - transfer events (11011, 12009-12012): ``CQNTransferAssetField``;
    - any other event: a bare wrapped pointer, as ``pointer`` gives, for ``toText``/``getFields``.

    Address 0 gives None. Records that the engine may still update are read under their lock
    (``getOrderLock``/``getMarketDataLock``)."""
    if eventID in _ORDER_EVENTS:
        return _records.orderAt(address)
    if eventID in _SNAPSHOT_EVENTS:
        return _records.marketDataAt(address)
    if eventID in _TRANSFER_EVENTS:
        return _records.transferAssetAt(address)
    return _records.pointerAt(address)


# The names the type stubs use, at runtime too (EngineHandle, SwigPyObject, the code families).
from ._types import *  # noqa: E402,F401,F403

# The Python layer; these modules use the names above, so they come last.
from . import book, events, risk, sim, strategy  # noqa: E402
from .events import as_dict, broker_text, event_name  # noqa: E402,F401
from .strategy import Strategy, make_login  # noqa: E402,F401
