"""Pre-trade risk limits: what the order gate of ``tradecore.book.Book`` checks on every order.

Once a book is attached to an engine (``Book.attach``), every order of that engine passes its
checks before the insert request goes to the broker, whatever call placed it: ``buyOpen``,
``sellClose``, ``insertOrder`` or a strategy's helpers. A refused order is never sent: its record
comes back Rejected, with the engine error code of the check in ``ErrorID`` and a ``Message``
that names the check and says by how much the order missed it, and the order event
``ENUM_OrderEventID_InsertRejected`` is delivered as for any refused order::

    order = tradecore.buyOpen(handle, "600000", 1500, "0", 10.0)
    order.OrderStatus == tradecore.ENUM_OrderStatus_Rejected
    order.ErrorID == tradecore.ENUM_ErrorID_InvalidVolume
    refusal(order)  # Refusal(check='MaxVolume', detail='1500 above 1000 by 500', error_id=-1002500)

The checks, in the order they are made (a limit of 0 is off):

========================  ==============================================  ============================
check                     refuses                                         ``ErrorID``
========================  ==============================================  ============================
``Halted``                every order while the kill switch holds         ``ENUM_ErrorID_BrokerReject``
``Volume``                a volume of 0 or below (always on)              ``ENUM_ErrorID_InvalidVolume``
``MaxVolume``             a volume above ``max_order_volume``             ``ENUM_ErrorID_InvalidVolume``
``LotSize``               a buy volume not a multiple of ``lot_size``     ``ENUM_ErrorID_InvalidVolume``
``Price``                 a price that is NaN, infinite, 0 or below       ``ENUM_ErrorID_InvalidPrice``
``Notional``              volume x price above ``max_order_notional``     ``ENUM_ErrorID_BrokerReject``
``LimitPrice``            a price outside the day's limit prices, when    ``ENUM_ErrorID_InvalidPrice``
                          the engine has a snapshot of the security
``PriceBand``             a price further than ``price_band`` (a          ``ENUM_ErrorID_InvalidPrice``
                          fraction: 0.05 is 5%) from the last price
``OrderRate``             more than ``max_orders_per_second`` orders in   ``ENUM_ErrorID_BrokerReject``
                          any window of one second
``SecurityOpenOrders``    an order beyond ``max_open_orders_per_security``  ``ENUM_ErrorID_BrokerReject``
``OpenOrders``            an order beyond ``max_open_orders`` in all      ``ENUM_ErrorID_BrokerReject``
``Cash``                  a buy whose volume x price exceeds the usable   ``ENUM_ErrorID_BrokerReject``
                          cash (``check_cash``)
``Position``              a sell above the sellable position: under T+1,  ``ENUM_ErrorID_BrokerReject``
                          what was bought today is sellable tomorrow
                          (``check_position``)
``DailyLoss``             a buy once the day's loss reaches               ``ENUM_ErrorID_BrokerReject``
                          ``max_daily_loss`` (sells still go: they reduce)
========================  ==============================================  ============================

Open orders count every open order of the trading day, earlier runs' included; an order counts
as open, and holds its cash or shares, from the moment the gate lets it through. Cancels are
checked too: more than ``max_cancels_per_second`` in a second are refused (``cancelOrder``
returns ``ENUM_ErrorID_BrokerReject`` and nothing is sent), except while the kill switch holds.

Limits are changed while trading with ``Book.limits = Limits(...)`` or ``Book.set_limits(...)``;
the next order is checked against them.
"""

import math
import re
from typing import NamedTuple, Optional

from . import _tradecore

__all__ = ["Limits", "Refusal", "RiskRefused", "refusal", "parse_refusal", "CHECKS", "MAX_RATE"]

#: The names of the checks, as refusal texts and ``Refusal.check`` give them.
CHECKS = ("Halted", "Volume", "MaxVolume", "LotSize", "Price", "Notional", "LimitPrice", "PriceBand",
          "OrderRate", "SecurityOpenOrders", "OpenOrders", "Cash", "Position", "DailyLoss", "CancelRate")

#: The largest orders-per-second and cancels-per-second limit (the gate keeps one time per order).
MAX_RATE = 1000000

_INT_FIELDS = ("max_order_volume", "lot_size", "max_open_orders_per_security", "max_open_orders",
               "max_orders_per_second", "max_cancels_per_second")
_FLOAT_FIELDS = ("max_order_notional", "price_band", "max_daily_loss")
_BOOL_FIELDS = ("within_limit_prices", "check_cash", "check_position")


class Limits(NamedTuple):
    """The limits of one account (see the module documentation). 0 switches a limit off; the
    volume and price sanity checks are always on."""

    max_order_volume: int = 0
    lot_size: int = 0
    max_order_notional: float = 0.0
    price_band: float = 0.0
    within_limit_prices: bool = True
    check_cash: bool = True
    check_position: bool = True
    max_open_orders_per_security: int = 0
    max_open_orders: int = 0
    max_orders_per_second: int = 0
    max_cancels_per_second: int = 0
    max_daily_loss: float = 0.0

    def checked(self):
        """The limits, each checked: ``ValueError`` (or ``TypeError``) says which is wrong."""
        for name in _INT_FIELDS:
            value = getattr(self, name)
            if isinstance(value, bool) or not isinstance(value, int):
                raise TypeError("%s must be an int, not %r" % (name, value))
            if not 0 <= value <= 2147483647:
                raise ValueError("%s must lie in [0, 2147483647], not %r" % (name, value))
        for name in ("max_orders_per_second", "max_cancels_per_second"):
            if getattr(self, name) > MAX_RATE:
                raise ValueError("%s must be at most %d, not %r" % (name, MAX_RATE, getattr(self, name)))
        for name in _FLOAT_FIELDS:
            value = getattr(self, name)
            if isinstance(value, bool) or not isinstance(value, (int, float)):
                raise TypeError("%s must be a number, not %r" % (name, value))
            if not math.isfinite(value) or value < 0:
                raise ValueError("%s must be finite and not negative, not %r" % (name, value))
        for name in _BOOL_FIELDS:
            if not isinstance(getattr(self, name), bool):
                raise TypeError("%s must be True or False, not %r" % (name, getattr(self, name)))
        return self

    def _native(self):
        return (self.max_order_volume, self.lot_size, float(self.max_order_notional), float(self.price_band),
                self.within_limit_prices, self.check_cash, self.check_position,
                self.max_open_orders_per_security, self.max_open_orders, self.max_orders_per_second,
                self.max_cancels_per_second, float(self.max_daily_loss))


class Refusal(NamedTuple):
    """Why the gate refused an order: the check's name, the text after it, the order's code."""

    check: str
    detail: str
    error_id: int


class RiskRefused(RuntimeError):
    """A strategy helper's order was refused by the pre-trade checks; ``refusal`` says why and
    ``order`` is the Rejected record."""

    refusal = None
    order = None

    def __init__(self, refusal, order=None):
        self.refusal = refusal
        self.order = order
        super().__init__("order refused by the %s check: %s" % (refusal.check, refusal.detail))


_REFUSAL = re.compile(r"Risk:(\w+): (.*?)\.?$")


def refusal(order):
    """The ``Refusal`` of a Rejected order record the gate refused, else None."""
    if order is None or order.OrderStatus != _tradecore.ENUM_OrderStatus_Rejected:
        return None
    message = order.Message
    at = message.find("Risk:")
    if at < 0:
        return None
    m = _REFUSAL.match(message[at:])
    if not m or m.group(1) not in CHECKS:
        return None
    return Refusal(m.group(1), m.group(2), order.ErrorID)


def parse_refusal(text, error_id=0) -> Optional[Refusal]:
    """The ``Refusal`` in a refusal text (``Book.last_refusal``), or None."""
    m = _REFUSAL.match(text or "")
    return Refusal(m.group(1), m.group(2), error_id) if m else None
