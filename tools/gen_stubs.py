#!/usr/bin/env python3
"""Writes the type stubs of the package's generated surface from records/QNRecords.h:

  python/tradecore/_tradecore.pyi  the extension module: record accessors, engine functions,
                                   constants, cvar;
  python/tradecore/__init__.pyi    the package: record classes with typed fields, the engine
                                   functions, constants, cvar, record/pointer, and the names of
                                   the Python layer (book, events, risk, sim, strategy).

The engine functions' Python signatures are written out below (they are the module's, with its
defaults); the records, their fields and every constant come from the header, so the stubs follow
it. Run after changing the header:  python3 tools/gen_stubs.py  (--check: exit 1 if the stubs in
the tree differ from what would be written).
"""
import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADER = os.path.join(ROOT, "records", "QNRecords.h")
PACKAGE = os.path.join(ROOT, "python", "tradecore")
RECORDS = ("CQNLoginField", "CQNMarketDataField", "CQNOrderField", "CQNTransferAssetField", "CQNQueryCommandField")

# The 33 engine functions as Python calls them (positional only, defaults as the module's).
ENGINE_FUNCTIONS = '''\
def getVersion() -> str: ...
def init(RunID: int, LoginField: Optional[CQNLoginField], OrderEventProcessor: Optional[OrderProcessor] = None,
         EventProcessor: Optional[GeneralProcessor] = None, LoopProcessor: Optional[LoopFunction] = None,
         MarketDataProcessor: Optional[OrderProcessor] = None, /) -> Optional[EngineHandle]: ...
def getInitError() -> int: ...
def getMessageByErrorID(ErrorID: int, /) -> str: ...
def loop() -> None: ...
def setRunMode(RunMode: Char, /) -> int: ...
def setEventTextProcessor(Processor: Callable[[str], Any], /) -> int: ...
def subscribeOne(Trader: Optional[EngineHandle], StandardID: Optional[str], ExchangeID: Optional[str] = None, /) -> int: ...
def subscribe(Trader: Optional[EngineHandle], StandardIDs: List[Union[str, bytes]], ExchangeID: Optional[str] = None, /) -> int: ...
def unsubscribeOne(Trader: Optional[EngineHandle], StandardID: Optional[str], ExchangeID: Optional[str] = None, /) -> int: ...
def unsubscribe(Trader: Optional[EngineHandle], StandardIDs: List[Union[str, bytes]], ExchangeID: Optional[str] = None, /) -> int: ...
def buyOpen(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: Char, Price: float,
            ExchangeID: Optional[str] = None, Direction: Char = "0", /) -> Optional[CQNOrderField]: ...
def sellClose(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: Char, Price: float,
              ExchangeID: Optional[str] = None, Direction: Char = "1", OffsetFlag: Char = "\\0",
              ExtraText: Optional[str] = None, /) -> Optional[CQNOrderField]: ...
def sellOpen(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: Char, Price: float,
             ExchangeID: Optional[str] = None, Direction: Char = "\\0", OffsetFlag: Char = "\\0", /) -> Optional[CQNOrderField]: ...
def buyClose(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: Char, Price: float,
             ExchangeID: Optional[str] = None, Direction: Char = "\\0", OffsetFlag: Char = "\\0",
             ExtraText: Optional[str] = None, /) -> Optional[CQNOrderField]: ...
def insertOrder(Trader: Optional[EngineHandle], ExchangeID: Optional[str], StandardID: Optional[str], Direction: Char,
                OffsetFlag: Char, Volume: int, CombineOrderType: Optional[str], Price: float,
                CreditQuotaType: Char = "\\0", CreditDebtID: Optional[str] = None, /) -> Optional[CQNOrderField]: ...
def cancelOrder(Trader: Optional[EngineHandle], ExchangeID: Optional[str], StandardID: Optional[str],
                OrderSysID: Optional[str], OrderID: int, FrontID: int = 0, SessionID: int = 0, /) -> int: ...
def cancelOrderByOrderID(Trader: Optional[EngineHandle], OrderID: int, /) -> int: ...
def cancelOrderByStandardID(Trader: Optional[EngineHandle], ExchangeID: Optional[str] = None,
                            StandardID: Optional[str] = None, /) -> int: ...
def transferCash(Trader: Optional[EngineHandle], TransferFlag: Char, Amount: float, AccountPassword: Optional[str],
                 BankID: Optional[str], BankPassword: Optional[str], ExternalNodeID: Optional[str] = None,
                 Reserved: Optional[str] = None, /) -> Optional[CQNTransferAssetField]: ...
def transferPosition(Trader: Optional[EngineHandle], TransferFlag: Char, Volume: int, StandardID: Optional[str],
                     ExternalNodeID: Optional[str] = None, Reserved: Optional[str] = None,
                     ExchangeID: Optional[str] = None, /) -> Optional[CQNTransferAssetField]: ...
def queryBankAccountCash(Trader: Optional[EngineHandle], AccountPassword: Optional[str], BankID: Optional[str],
                         BankPassword: Optional[str], /) -> int: ...
def updatePassword(Trader: Optional[EngineHandle], PasswordFlag: Char, OldPassword: Optional[str],
                   NewPassword: Optional[str], /) -> int: ...
def addTask(Trader: Optional[EngineHandle], TaskID: int, QueryCommand: Optional[CQNQueryCommandField] = None,
            Count: int = 1, ExecuteGap: int = -1, FailedGap: int = -1, RetryUntilSuccess: bool = False,
            ExecuteTimeout: int = -1, /) -> int: ...
def exitX(Trader: Optional[EngineHandle] = None, /) -> None: ...
def getOrderLock(Order: Optional[CQNOrderField], /) -> int: ...
def releaseOrderLock(Order: Optional[CQNOrderField], /) -> int: ...
def getMarketDataLock(MarketData: Optional[CQNMarketDataField], /) -> int: ...
def releaseMarketDataLock(MarketData: Optional[CQNMarketDataField], /) -> int: ...
def getFields(EventID: int, Record: Optional[Pointer], /) -> str: ...
def toText(EventID: int, Record: Optional[Pointer], WithNames: bool = False, Separator: Optional[str] = ",",
           Precision: int = 2, /) -> str: ...
def setTimeAnchor() -> int: ...
def getTimeElapse(Anchor: int = 0, /) -> int: ...
'''

COMMON_TYPES = '''\
# A one-character code: the ENUM_ character constants are such strings ("0", "a", ...).
Char = str


class SwigPyObject:
    """A wrapped C pointer (the handle init returns, the "this" of every record object)."""
    def own(self, value: bool = ..., /) -> bool: ...
    def disown(self) -> None: ...
    def acquire(self) -> None: ...
    def append(self, other: "SwigPyObject", /) -> None: ...
    def next(self) -> Optional["SwigPyObject"]: ...
    def __int__(self) -> int: ...


# The engine handle init returns: an opaque wrapped CBaseTrader pointer.
EngineHandle = SwigPyObject
# Anything toText/getFields accept as a record: a record object or any wrapped pointer.
Pointer = Union[SwigPyObject, "CQNLoginField", "CQNMarketDataField", "CQNOrderField", "CQNTransferAssetField",
                "CQNQueryCommandField"]
# The processors init takes. Order and snapshot events: (eventID, record address); every other
# event: (eventID, record address or 0, isLast, errorID, message, userID); the loop processor: ().
OrderProcessor = Callable[[int, int], Any]
GeneralProcessor = Callable[[int, int, bool, int, str, str], Any]
LoopFunction = Callable[[], Any]
'''


def parse_header(text):
    """(type names -> python type, records -> [(field, python type)], constants -> [(name, type, value)],
    error message names)."""
    types = {"int": "int", "short": "int", "long long": "int", "double": "float", "bool": "bool", "char": "Char"}
    for base, name, array in re.findall(r"^typedef\s+(long long|int|short|double|bool|char)\s+(\w+)(\[\d+\])?;",
                                        text, re.M):
        types[name] = "str" if array else types[base]
    records = {}
    for name, body in re.findall(r"^struct (CQN\w+) \{(.*?)^\};", text, re.M | re.S):
        fields = []
        for type_name, field in re.findall(r"^\s+(\w+)\s+(\w+);", body, re.M):
            if type_name not in types:
                raise SystemExit("unknown field type %s in %s" % (type_name, name))
            fields.append((field, types[type_name]))
        records[name] = fields
    constants = []
    for name, value in re.findall(r"^#define (ENUM_\w+|MICROSECONDS_IN_SECOND) (.+?)\s*$", text, re.M):
        if value.startswith("'") or value.startswith('"'):
            constants.append((name, "str", value[1:-1]))
        else:
            constants.append((name, "int", value))
    messages = re.findall(r"^extern TRADECORE_API const char (ENUM_ErrorMsg_\w+)\[256\];", text, re.M)
    missing = [r for r in RECORDS if r not in records]
    if missing:
        raise SystemExit("records not found in the header: %s" % ", ".join(missing))
    return records, constants, messages


def constant_lines(constants):
    lines = []
    for name, kind, value in constants:
        lines.append("%s: Final = %s" % (name, '"%s"' % value if kind == "str" else value))
    return lines


def cvar_class(messages):
    lines = ["class _ErrorMessages:",
             '    """cvar: the engine\'s error messages, read-only."""']
    lines += ["    @property\n    def %s(self) -> str: ..." % m for m in messages]
    lines += ["", "", "cvar: _ErrorMessages"]
    return lines


def record_class(name, fields):
    lines = ["class %s:" % name]
    if name == "CQNLoginField":
        lines.append("    def __init__(self, other: Optional[\"CQNLoginField\"] = ..., /) -> None: ...")
    else:
        lines.append("    def __init__(self) -> None: ...")
    lines.append("    this: SwigPyObject")
    lines.append("    thisown: bool")
    for field, kind in fields:
        lines.append("    %s: %s" % (field, kind))
    return lines


def header_lines(what):
    return ['"""Type stubs of %s. Generated by tools/gen_stubs.py from records/QNRecords.h; do not edit."""' % what,
            "from typing import Any, Callable, Final, List, Optional, Union", ""]


def extension_stub(records, constants, messages):
    lines = header_lines("tradecore._tradecore, the extension module")
    lines += ["from . import (CQNLoginField, CQNMarketDataField, CQNOrderField, CQNQueryCommandField,",
              "               CQNTransferAssetField, Char, EngineHandle, GeneralProcessor, LoopFunction,",
              "               OrderProcessor, Pointer, SwigPyObject)",
              "", ""]
    lines += ["def SWIG_PyInstanceMethod_New(function: Any, /) -> Any: ...", ""]
    for name in RECORDS:
        ptr = "Union[%s, SwigPyObject]" % name
        if name == "CQNLoginField":
            lines.append("def new_%s(other: Optional[%s] = ..., /) -> SwigPyObject: ..." % (name, ptr))
        else:
            lines.append("def new_%s() -> SwigPyObject: ..." % name)
        for field, kind in records[name]:
            value = "Optional[str]" if kind in ("str", "Char") else kind
            lines.append("def %s_%s_set(record: %s, value: %s, /) -> None: ..." % (name, field, ptr, value))
            lines.append("def %s_%s_get(record: %s, /) -> %s: ..." % (name, field, ptr, kind))
        lines.append("def delete_%s(record: %s, /) -> None: ..." % (name, ptr))
        lines.append("def %s_swigregister(cls: type, /) -> None: ..." % name)
        lines.append("def %s_swiginit(instance: Any, pointer: SwigPyObject, /) -> None: ..." % name)
        lines.append("")
    lines += ENGINE_FUNCTIONS.splitlines() + [""]
    lines += constant_lines(constants) + ["", ""]
    lines += cvar_class(messages)
    return "\n".join(lines) + "\n"


def package_stub(records, constants, messages):
    lines = header_lines("the tradecore package")
    lines += ["from . import _tradecore as _tradecore",
              "from . import book as book",
              "from . import events as events",
              "from . import risk as risk",
              "from . import sim as sim",
              "from . import strategy as strategy",
              "from .events import as_dict as as_dict, broker_text as broker_text, event_name as event_name",
              "from .strategy import Strategy as Strategy, make_login as make_login",
              ""]
    lines += COMMON_TYPES.splitlines() + ["", ""]
    for name in RECORDS:
        lines += record_class(name, records[name]) + ["", ""]
    lines += ENGINE_FUNCTIONS.splitlines() + [""]
    lines += ["def record(eventID: int, address: int) -> Union[CQNOrderField, CQNMarketDataField, "
              "CQNTransferAssetField, SwigPyObject, None]: ...",
              "def pointer(address: int) -> Optional[SwigPyObject]: ...", ""]
    lines += constant_lines(constants) + [""]
    lines += ["# The proxy also copies each error message to a module variable (the text of cvar's at import)."]
    lines += ["%s: str" % m for m in messages] + ["", ""]
    lines += cvar_class(messages)
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true", help="exit 1 if the stubs in the tree are out of date")
    args = parser.parse_args()
    with open(HEADER, encoding="utf-8") as f:
        records, constants, messages = parse_header(f.read())
    outputs = {
        os.path.join(PACKAGE, "_tradecore.pyi"): extension_stub(records, constants, messages),
        os.path.join(PACKAGE, "__init__.pyi"): package_stub(records, constants, messages),
    }
    stale = []
    for path, text in outputs.items():
        current = open(path, encoding="utf-8").read() if os.path.exists(path) else None
        if current == text:
            continue
        if args.check:
            stale.append(path)
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            print("wrote %s" % os.path.relpath(path, ROOT))
    if stale:
        print("out of date (run python3 tools/gen_stubs.py): " + ", ".join(os.path.relpath(p, ROOT) for p in stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
