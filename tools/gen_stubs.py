#!/usr/bin/env python3
"""Writes the type stubs of the package's generated surface from records/QNRecords.h:

  python/tradecore/_tradecore.pyi  the extension module: record accessors, engine functions,
                                   constants, cvar;
  python/tradecore/__init__.pyi    the package: record classes with typed fields, the engine
                                   functions, constants, cvar, record/pointer, and the names of
                                   the Python layer (book, events, risk, sim, strategy).

The engine functions' Python signatures are written out below (they are the module's, with its
defaults); the records, their fields, every constant and the Literal families of the codes come
from the header, and the documentation of every engine function and record class from
pymodule/docstrings.i (the very texts help() shows), so the stubs follow both. The stubs stay
valid for Python 3.8 (typing.List, typing.Literal). Run after changing either:
python3 tools/gen_stubs.py  (--check: exit 1 if the stubs in the tree differ from what would be
written).
"""
import argparse
import ast
import os
import re
import sys
import textwrap

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADER = os.path.join(ROOT, "records", "QNRecords.h")
DOCSTRINGS = os.path.join(ROOT, "pymodule", "docstrings.i")
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
def setRunMode(RunMode: RunModeCode, /) -> int: ...
def setEventTextProcessor(Processor: Callable[[str], Any], /) -> int: ...
def subscribeOne(Trader: Optional[EngineHandle], StandardID: Optional[str], ExchangeID: Optional[str] = None, /) -> int: ...
def subscribe(Trader: Optional[EngineHandle], StandardIDs: SecurityList, ExchangeID: Optional[str] = None, /) -> int: ...
def unsubscribeOne(Trader: Optional[EngineHandle], StandardID: Optional[str], ExchangeID: Optional[str] = None, /) -> int: ...
def unsubscribe(Trader: Optional[EngineHandle], StandardIDs: SecurityList, ExchangeID: Optional[str] = None, /) -> int: ...
def buyOpen(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: OrderTypeCode, Price: float,
            ExchangeID: Optional[str] = None, Direction: DirectionCode = "0", /) -> Optional[CQNOrderField]: ...
def sellClose(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: OrderTypeCode, Price: float,
              ExchangeID: Optional[str] = None, Direction: DirectionCode = "1", OffsetFlag: Union[OffsetFlagCode, NoCode] = "\\0",
              ExtraText: Optional[str] = None, /) -> Optional[CQNOrderField]: ...
def sellOpen(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: OrderTypeCode, Price: float,
             ExchangeID: Optional[str] = None, Direction: Union[DirectionCode, NoCode] = "\\0",
             OffsetFlag: Union[OffsetFlagCode, NoCode] = "\\0", /) -> None: ...
def buyClose(Trader: Optional[EngineHandle], StandardID: Optional[str], Volume: int, OrderType: OrderTypeCode, Price: float,
             ExchangeID: Optional[str] = None, Direction: Union[DirectionCode, NoCode] = "\\0",
             OffsetFlag: Union[OffsetFlagCode, NoCode] = "\\0", ExtraText: Optional[str] = None, /) -> None: ...
def insertOrder(Trader: Optional[EngineHandle], ExchangeID: Optional[str], StandardID: Optional[str], Direction: DirectionCode,
                OffsetFlag: Union[OffsetFlagCode, NoCode], Volume: int, CombineOrderType: Optional[CombineOrderTypeCode],
                Price: float, CreditQuotaType: Union[CreditQuotaTypeCode, NoCode] = "\\0", CreditDebtID: Optional[str] = None,
                /) -> Optional[CQNOrderField]: ...
def cancelOrder(Trader: Optional[EngineHandle], ExchangeID: Optional[str], StandardID: Optional[str],
                OrderSysID: Optional[str], OrderID: int, FrontID: int = 0, SessionID: int = 0, /) -> int: ...
def cancelOrderByOrderID(Trader: Optional[EngineHandle], OrderID: int, /) -> int: ...
def cancelOrderByStandardID(Trader: Optional[EngineHandle], ExchangeID: Optional[str] = None,
                            StandardID: Optional[str] = None, /) -> int: ...
def transferCash(Trader: Optional[EngineHandle], TransferFlag: TransferFlagCode, Amount: float, AccountPassword: Optional[str],
                 BankID: Optional[str], BankPassword: Optional[str], ExternalNodeID: Optional[str] = None,
                 Reserved: Optional[str] = None, /) -> Optional[CQNTransferAssetField]: ...
def transferPosition(Trader: Optional[EngineHandle], TransferFlag: TransferFlagCode, Volume: int, StandardID: Optional[str],
                     ExternalNodeID: Optional[str] = None, Reserved: Optional[str] = None,
                     ExchangeID: Optional[str] = None, /) -> Optional[CQNTransferAssetField]: ...
def queryBankAccountCash(Trader: Optional[EngineHandle], AccountPassword: Optional[str], BankID: Optional[str],
                         BankPassword: Optional[str], /) -> int: ...
def updatePassword(Trader: Optional[EngineHandle], PasswordFlag: PasswordFlagCode, OldPassword: Optional[str],
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
# Names for typing; each exists at runtime too (tradecore._types).
# A one-character code as the records hand it out ("0", "a", ...); NUL where none is set.
Char = str
# The NUL code: "no flag" where an argument or a field may hold none.
NoCode = Literal["\\0"]
# What subscribe/unsubscribe take: a list (not a tuple) of str or bytes codes.
SecurityList = Union[List[str], List[bytes], List[Union[str, bytes]]]


class SwigPyObject:
    """A wrapped C pointer (the handle init returns, the this of every record object)."""
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


def load_code_families():
    """CODE_FAMILIES of python/tradecore/_types.py: (alias, constant prefix) of every closed code
    family that arguments and fields are typed with, the runtime's aliases made from the same."""
    with open(os.path.join(PACKAGE, "_types.py"), encoding="utf-8") as f:
        tree = ast.parse(f.read())
    for node in tree.body:
        if isinstance(node, ast.Assign) and getattr(node.targets[0], "id", None) == "CODE_FAMILIES":
            return ast.literal_eval(node.value)
    raise SystemExit("CODE_FAMILIES not found in python/tradecore/_types.py")


def family_lines(constants):
    lines = ["# The closed code families, as Literal types (one alias per ENUM_ family)."]
    for alias, prefix in load_code_families():
        values = []
        for name, kind, value in constants:
            if name.startswith(prefix) and kind == "str" and value not in values:
                values.append(value)
        if not values:
            raise SystemExit("no constants for %s" % prefix)
        text = "%s = Literal[%s]" % (alias, ", ".join('"%s"' % v for v in values))
        lines += textwrap.wrap(text, 110, subsequent_indent=" " * (len(alias) + 11), break_on_hyphens=False)
    return lines


def parse_docstrings(text):
    """name -> the docstring of docstrings.i as a stub carries it (without the signature lines)."""
    docs = {}
    for name, body in re.findall(r'^%feature\("docstring"\) (\w+) "(.*?)";$', text, re.M | re.S):
        if body.startswith(name + "($module"):
            body = body.split("\n--\n\n", 1)[1]
        if "\\" in body or '"' in body:
            raise SystemExit("docstring of %s: no backslash or double quote outside its signature" % name)
        docs[name] = body
    return docs


def docstring(text, indent):
    lines = text.split("\n")
    out = [indent + '"""' + lines[0]]
    out += [(indent + line) if line else "" for line in lines[1:]]
    if len(lines) > 1:
        out.append(indent + '"""')
    else:
        out[0] += '"""'
    return out


def engine_function_lines(docs):
    """The 33 engine functions, each with its documentation."""
    lines = []
    for chunk in re.split(r"\n(?=def )", ENGINE_FUNCTIONS.rstrip("\n")):
        name = re.match(r"def (\w+)\(", chunk).group(1)
        if name not in docs:
            raise SystemExit("no docstring for %s in pymodule/docstrings.i" % name)
        assert chunk.endswith(" ...")
        lines += chunk[:-len(" ...")].split("\n") + docstring(docs[name], "    ")
    return lines


def constant_lines(constants):
    lines = []
    for name, kind, value in constants:
        lines.append("%s: Final = %s" % (name, '"%s"' % value if kind == "str" else value))
    return lines


def cvar_class(messages):
    lines = ["class _ErrorMessages:",
             '    """cvar: the engine\'s error messages, read-only (typing only: at runtime cvar is a SWIG',
             '    variable link)."""']
    lines += ["    @property\n    def %s(self) -> str: ..." % m for m in messages]
    lines += ["", "", "cvar: _ErrorMessages"]
    return lines


# Fields that hold a closed family's codes (NUL until the engine sets them).
FIELD_FAMILIES = {("CQNOrderField", "OrderStatus"): "OrderStatusCode",
                  ("CQNTransferAssetField", "TransferStatus"): "TransferStatusCode"}


def record_class(name, fields, docs):
    lines = ["class %s:" % name] + docstring(docs[name].strip("\n"), "    ")
    if name == "CQNLoginField":
        lines.append("    def __init__(self, other: Optional[\"CQNLoginField\"] = ..., /) -> None: ...")
    else:
        lines.append("    def __init__(self) -> None: ...")
    lines.append("    this: SwigPyObject")
    lines.append("    thisown: bool")
    for field, kind in fields:
        family = FIELD_FAMILIES.get((name, field))
        lines.append("    %s: %s" % (field, "Union[%s, NoCode]" % family if family else kind))
    return lines


def header_lines(what):
    return ['"""Type stubs of %s. Generated by tools/gen_stubs.py from records/QNRecords.h and' % what,
            'pymodule/docstrings.i; do not edit."""',
            "from typing import Any, Callable, Final, List, Literal, Optional, Union", ""]


def extension_stub(records, constants, messages, docs):
    aliases = ", ".join(alias for alias, _ in load_code_families())
    lines = header_lines("tradecore._tradecore, the extension module")
    lines += ["from . import (CQNLoginField, CQNMarketDataField, CQNOrderField, CQNQueryCommandField,",
              "               CQNTransferAssetField, Char, EngineHandle, GeneralProcessor, LoopFunction, NoCode,",
              "               OrderProcessor, Pointer, SecurityList, SwigPyObject)",
              "from . import " + aliases, "", ""]
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
    lines += engine_function_lines(docs) + [""]
    lines += constant_lines(constants) + ["", ""]
    lines += cvar_class(messages)
    return "\n".join(lines) + "\n"


def package_stub(records, constants, messages, docs):
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
    lines += COMMON_TYPES.splitlines() + family_lines(constants) + ["", ""]
    for name in RECORDS:
        lines += record_class(name, records[name], docs) + ["", ""]
    lines += engine_function_lines(docs) + [""]
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
    with open(DOCSTRINGS, encoding="utf-8") as f:
        docs = parse_docstrings(f.read())
    outputs = {
        os.path.join(PACKAGE, "_tradecore.pyi"): extension_stub(records, constants, messages, docs),
        os.path.join(PACKAGE, "__init__.pyi"): package_stub(records, constants, messages, docs),
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
