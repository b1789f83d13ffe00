"""Event names, and the fields of any record an event carries as a plain dict.

``event_name(10014) == "Accepted"``: every identifier of the engine's event and task families
(engine, order, snapshot, detail-data, CTP events and tasks, TORA events and tasks) has the name
of its ``ENUM_`` constant without the family prefix, the same name the default printers show.

``as_dict(event_id, record)`` reads a record into a dict keyed by the field names that
``getFields(event_id, ...)`` lists, in that order:

- engine records (order events 10011-10017, snapshots 10021/10022, transfers 11011 and
  12009-12012) through the record class's properties, so every value keeps its full precision;
- TORA records (logins, query answers, notices: 12004-12415) by parsing the engine's text form of
  the record (``toText``), which shows texts and codes quoted, integers in decimal and doubles
  with two decimals. Broker texts come back decoded from GB2312.

A record the engine may still change is read under its lock (``getOrderLock`` /
``getMarketDataLock``); inside a processor the engine already holds the lock of the record it hands
over, so a processor reads it as it is.
"""

import re
from typing import Union

import tradecore as _package

from . import _tradecore

__all__ = ["EVENT_NAMES", "event_name", "as_dict", "broker_text", "parse_text", "is_order_event", "is_snapshot_event",
           "is_transfer_event", "ENGINE_RECORD_EVENTS"]

# The constant families that name events and tasks, in the order their names win should two
# families ever share an identifier.
_FAMILIES = (
    "ENUM_EventID_",
    "ENUM_OrderEventID_",
    "ENUM_SnapDataEventID_",
    "ENUM_DetailDataEventID_",
    "ENUM_CTPEventID_",
    "ENUM_CTPTaskID_",
    "ENUM_TORAStockEventID_",
    "ENUM_TORAStockTaskID_",
)


def _collect_names():
    names = {}
    constants = sorted(vars(_tradecore).items())
    for family in _FAMILIES:
        for constant, value in constants:
            if constant.startswith(family) and isinstance(value, int):
                names.setdefault(value, constant[len(family):])
    return dict(sorted(names.items()))


#: For annotations: what as_dict takes as a record.
RecordLike = Union[_package.CQNOrderField, _package.CQNMarketDataField, _package.CQNTransferAssetField,
                   _package.SwigPyObject, int, None]

#: Event or task identifier -> name, for every identifier the module defines.
EVENT_NAMES = _collect_names()

_ORDER_EVENTS = frozenset(range(_tradecore.ENUM_OrderEventID_Traded, _tradecore.ENUM_OrderEventID_Cached + 1))
_SNAPSHOT_EVENTS = frozenset((_tradecore.ENUM_SnapDataEventID_MarketData, _tradecore.ENUM_SnapDataEventID_IndexData))
_TRANSFER_EVENTS = frozenset((
    _tradecore.ENUM_CTPEventID_TransferCash,
    _tradecore.ENUM_TORAStockEventID_TransferCash,
    _tradecore.ENUM_TORAStockEventID_TransferPosition,
    _tradecore.ENUM_TORAStockEventID_PeripheryTransferCash,
    _tradecore.ENUM_TORAStockEventID_PeripheryTransferPosition,
))
#: Events whose record is one of the engine's own (order, snapshot, transfer).
ENGINE_RECORD_EVENTS = _ORDER_EVENTS | _SNAPSHOT_EVENTS | _TRANSFER_EVENTS


def event_name(event_id):
    """The name of an event or task identifier (``10014`` -> ``"Accepted"``, ``12215`` ->
    ``"QryTradingAccount"``), or None for an identifier no family defines."""
    return EVENT_NAMES.get(event_id)


def is_order_event(event_id):
    """True for the order events 10011-10017 (their record is a ``CQNOrderField``)."""
    return event_id in _ORDER_EVENTS


def is_snapshot_event(event_id):
    """True for the snapshot events 10021 and 10022 (``CQNMarketDataField``)."""
    return event_id in _SNAPSHOT_EVENTS


def is_transfer_event(event_id):
    """True for the transfer events 11011 and 12009-12012 (``CQNTransferAssetField``)."""
    return event_id in _TRANSFER_EVENTS


_ENGINE_CLASSES = None


def _engine_classes():
    global _ENGINE_CLASSES
    if _ENGINE_CLASSES is None:
        _ENGINE_CLASSES = (_package.CQNOrderField, _package.CQNMarketDataField, _package.CQNTransferAssetField)
    return _ENGINE_CLASSES


def _address_of(record):
    """The address behind an int, a record object or a bare wrapped pointer; anything else is
    refused rather than read as an address."""
    if isinstance(record, int) and not isinstance(record, bool):
        return record
    pointer = getattr(record, "this", record)
    if type(pointer).__name__ == "SwigPyObject":
        return int(pointer)
    raise TypeError("as_dict: expected a record object, a wrapped pointer or an address, got %r"
                    % type(record).__name__)


def as_dict(event_id, record):
    """The fields of the record that event ``event_id`` carries, as a dict in field order.

    ``record`` is what a processor receives or holds: a record object (``CQNOrderField`` ...),
    a wrapped pointer (``tradecore.pointer``), or the integer address an event carries. None or
    address 0 gives an empty dict. An identifier whose events carry no record with fields raises
    ValueError."""
    if record is None or (isinstance(record, int) and record == 0):
        return {}
    fields = _tradecore.getFields(event_id, None)
    if fields.startswith("Error:"):
        raise ValueError("event %d carries no record with fields (%s)" % (event_id, fields))
    names = fields.split(",")
    if event_id in ENGINE_RECORD_EVENTS:
        if not isinstance(record, _engine_classes()):
            record = _package.record(event_id, _address_of(record))
        return {name: getattr(record, name) for name in names}
    if isinstance(record, int):
        record = _package.pointer(record)
    return parse_text(names, _tradecore.toText(event_id, record, True, " || ", 2))


_INTEGER = re.compile(r"-?\d+\Z")
_SEPARATOR = " || "


def broker_text(text):
    """A record's text field as readable text. Broker texts (an order's ``Message``, a security
    name) are GB2312, and the record classes hand C text over as UTF-8 with the bytes that are not
    UTF-8 kept as lone surrogates. Such a str is turned back into its bytes and decoded as GB2312
    (through GB18030, its superset), dropping what does not decode; text that is valid UTF-8
    (ASCII included) comes back unchanged."""
    try:
        text.encode("utf-8")
        return text
    except UnicodeEncodeError:
        return text.encode("utf-8", "surrogateescape").decode("gb18030", "ignore")


def _number(text):
    if _INTEGER.match(text):
        return int(text)
    return float(text)


def parse_text(names, text):
    """Parses a record's text form with names (``Name:value || Name:value``, as ``toText`` renders
    every TORA record) into a dict. Quoted values (texts and codes) become str, the others int
    or float. ``names`` is the record's field list, which makes the split unambiguous even when a
    text holds the separator."""
    result = {}
    pos = 0
    last = len(names) - 1
    for i, name in enumerate(names):
        prefix = name + ":"
        if not text.startswith(prefix, pos):
            raise ValueError("record text does not match its field list at %r" % name)
        pos += len(prefix)
        follow = _SEPARATOR + names[i + 1] + ":" if i < last else None
        if text.startswith('"', pos):
            if follow is None:
                if not text.endswith('"') or len(text) < pos + 2:
                    raise ValueError("unterminated text in field %r" % name)
                end = len(text) - 1
            else:
                end = text.find('"' + follow, pos + 1)
                if end < 0:
                    raise ValueError("unterminated text in field %r" % name)
            result[name] = broker_text(text[pos + 1:end])
            pos = end + 1
        else:
            end = len(text) if follow is None else text.find(follow, pos)
            if end < 0:
                raise ValueError("record text does not match its field list after %r" % name)
            result[name] = _number(text[pos:end])
            pos = end
        if follow is not None:
            pos += len(_SEPARATOR)
    return result
