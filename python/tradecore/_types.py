"""The names the type stubs use for typing, at runtime too, so that ``tradecore.EngineHandle``,
``tradecore.OrderTypeCode`` and the rest can be used in annotations, casts and isinstance checks
(the wrapped-pointer type) without an ``if TYPE_CHECKING`` guard. The stubs (``__init__.pyi``,
written by tools/gen_stubs.py) declare the same names from the same table."""

from typing import Any, Callable, List, Literal, Union

from . import _records, _tradecore

__all__ = ["Char", "NoCode", "SecurityList", "SwigPyObject", "EngineHandle", "Pointer",
           "OrderProcessor", "GeneralProcessor", "LoopFunction"]

# Every closed code family that arguments and fields are typed with: (alias, constant prefix).
CODE_FAMILIES = (
    ("ApiStatusCode", "ENUM_ApiStatus_"),
    ("RunModeCode", "ENUM_RunMode_"),
    ("ExchangeIDCode", "ENUM_ExchangeID_"),
    ("DirectionCode", "ENUM_Direction_"),
    ("OffsetFlagCode", "ENUM_OffsetFlag_"),
    ("OrderTypeCode", "ENUM_OrderType_"),
    ("CombineOrderTypeCode", "ENUM_CombineOrderType_"),
    ("OrderStatusCode", "ENUM_OrderStatus_"),
    ("PasswordFlagCode", "ENUM_PasswordFlag_"),
    ("CreditQuotaTypeCode", "ENUM_CreditQuotaType_"),
    ("TransferFlagCode", "ENUM_TransferFlag_"),
    ("TransferStatusCode", "ENUM_TransferStatus_"),
)

Char = str
NoCode = Literal["\0"]
SecurityList = Union[List[str], List[bytes], List[Union[str, bytes]]]
#: The type of every wrapped C pointer: the handle init returns, the ``this`` of record objects.
SwigPyObject = type(_records.pointerAt(1))
EngineHandle = SwigPyObject
Pointer = Union[SwigPyObject, Any]
OrderProcessor = Callable[[int, int], Any]
GeneralProcessor = Callable[[int, int, bool, int, str, str], Any]
LoopFunction = Callable[[], Any]


def _family(prefix):
    values = []
    for name in dir(_tradecore):
        value = getattr(_tradecore, name)
        if name.startswith(prefix) and isinstance(value, str) and value not in values:
            values.append(value)
    return Literal[tuple(values)]


for _alias, _prefix in CODE_FAMILIES:
    globals()[_alias] = _family(_prefix)
    __all__.append(_alias)
del _alias, _prefix
