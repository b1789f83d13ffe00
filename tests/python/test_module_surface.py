"""What `import tradecore` gives: the method table in its exact order and calling forms, the
runtime an unsuitable SWIG would change, the module dictionary, constants and cvar."""
import ctypes
import json

import pytest

from helpers import run_python
from tables import CONSTANTS, ERRORS, RECORDS

NONE, ONE, TUPLE = "none", "one", "tuple"

# The 33 engine functions in method-table order with their calling forms.
ENGINE_FUNCTIONS = [
    ("getVersion", NONE), ("init", TUPLE), ("getInitError", NONE), ("getMessageByErrorID", ONE),
    ("loop", NONE), ("setRunMode", ONE), ("setEventTextProcessor", ONE), ("subscribeOne", TUPLE),
    ("subscribe", TUPLE), ("unsubscribeOne", TUPLE), ("unsubscribe", TUPLE), ("buyOpen", TUPLE),
    ("sellClose", TUPLE), ("sellOpen", TUPLE), ("buyClose", TUPLE), ("insertOrder", TUPLE),
    ("cancelOrder", TUPLE), ("cancelOrderByOrderID", TUPLE), ("cancelOrderByStandardID", TUPLE),
    ("transferCash", TUPLE), ("transferPosition", TUPLE), ("queryBankAccountCash", TUPLE),
    ("updatePassword", TUPLE), ("addTask", TUPLE), ("exitX", TUPLE), ("getOrderLock", ONE),
    ("releaseOrderLock", ONE), ("getMarketDataLock", ONE), ("releaseMarketDataLock", ONE),
    ("getFields", TUPLE), ("toText", TUPLE), ("setTimeAnchor", NONE), ("getTimeElapse", TUPLE),
]


def expected_method_table():
    table = [("SWIG_PyInstanceMethod_New", ONE)]
    for record, fields in RECORDS.items():
        table.append(("new_" + record, TUPLE if record == "CQNLoginField" else NONE))
        for field, _, _ in fields:
            table += [("%s_%s_set" % (record, field), TUPLE), ("%s_%s_get" % (record, field), ONE)]
        table += [("delete_" + record, ONE), (record + "_swigregister", ONE),
                  (record + "_swiginit", TUPLE)]
    return table + ENGINE_FUNCTIONS


# PyMethodDef flags.
METH_VARARGS, METH_KEYWORDS, METH_NOARGS, METH_O = 0x1, 0x2, 0x4, 0x8
FORM_FLAGS = {NONE: METH_NOARGS, ONE: METH_O, TUPLE: METH_VARARGS}


def method_flags(function):
    """ml_flags of a built-in function's PyMethodDef (PyCFunctionObject: head, then m_ml)."""
    method_def = ctypes.c_void_p.from_address(id(function) + object.__basicsize__).value
    return ctypes.c_int.from_address(method_def + 2 * ctypes.sizeof(ctypes.c_void_p)).value


def module_functions(ext):
    return [name for name, value in vars(ext).items() if type(value).__name__ == "builtin_function_or_method"]


class TestImport:
    def test_imports_cleanly_under_warnings_as_errors(self):
        # An unsuitable SWIG shows here first: heap types warn on import (4.3 unpatched), 4.4
        # renames the capsule and the types, and a missing SWIG_PyInstanceMethod_New moves the
        # method table.
        out = run_python("""
            import json, sys
            import tradecore
            ext = tradecore._tradecore
            capsule = sys.modules["swig_runtime_data4"].type_pointer_capsule
            import ctypes
            get_name = ctypes.pythonapi.PyCapsule_GetName
            get_name.restype = ctypes.c_char_p
            get_name.argtypes = [ctypes.py_object]
            print(json.dumps({
                "functions": [n for n, v in vars(ext).items() if callable(v) and not isinstance(v, type)],
                "capsule": get_name(capsule).decode(),
                "cvar": type(ext.cvar).__name__,
                "pointer": type(tradecore.CQNOrderField().this).__name__,
            }))
        """, "-W", "error")
        seen = json.loads(out.stdout)
        assert seen["functions"] == [name for name, _ in expected_method_table()]
        assert seen["capsule"] == "swig_runtime_data4.type_pointer_capsule"
        assert seen["cvar"] == "swigvarlink"
        assert seen["pointer"] == "SwigPyObject"

    def test_method_table_order_and_calling_forms(self, ext):
        expected = expected_method_table()
        assert module_functions(ext) == [name for name, _ in expected]
        for name, form in expected:
            flags = method_flags(getattr(ext, name))
            assert flags & METH_KEYWORDS == 0, name
            assert flags & (METH_VARARGS | METH_NOARGS | METH_O) == FORM_FLAGS[form], name

    def test_module_definition(self, ext):
        # Single-phase init, no documentation, per-module state size -1: the module keeps all its
        # state process-wide (SWIG 4.4's multi-phase init would show slots here).
        assert ext.__name__ == "tradecore._tradecore"
        assert ext.__doc__ is None
        get_def = ctypes.pythonapi.PyModule_GetDef
        get_def.restype = ctypes.c_void_p
        get_def.argtypes = [ctypes.py_object]
        module_def = get_def(ext)
        word = ctypes.sizeof(ctypes.c_void_p)
        head = object.__basicsize__ + 3 * word  # PyModuleDef_Base
        assert ctypes.c_ssize_t.from_address(module_def + head + 2 * word).value == -1  # m_size
        assert ctypes.c_void_p.from_address(module_def + head + 4 * word).value is None  # m_slots

    def test_package_reexports_the_engine_functions_and_records(self, tc, ext):
        for name, _ in ENGINE_FUNCTIONS:
            assert getattr(tc, name) is getattr(ext, name), name
        for record in RECORDS:
            cls = getattr(tc, record)
            assert cls.__swig_destroy__ is getattr(ext, "delete_" + record)
        assert tc.cvar is ext.cvar


class TestInstanceMethodNew:
    def test_own_function_gets_a_fresh_function_object(self, ext):
        method = ext.SWIG_PyInstanceMethod_New(ext.getVersion)
        assert type(method).__name__ == "instancemethod"
        assert method.__func__ is not ext.getVersion
        assert method.__func__.__name__ == "getVersion"
        assert method.__func__() == ext.getVersion()
        assert method_flags(method.__func__) == method_flags(ext.getVersion)

    def test_other_objects_are_wrapped_as_they_are(self, ext):
        assert ext.SWIG_PyInstanceMethod_New(len).__func__ is len

        def plain(x):
            return x
        assert ext.SWIG_PyInstanceMethod_New(plain).__func__ is plain

    def test_bound_as_a_method_it_passes_the_instance(self, tc, ext):
        class Order(tc.CQNOrderField):
            trading_day = ext.SWIG_PyInstanceMethod_New(ext.CQNOrderField_TradingDay_get)
        order = Order()
        order.TradingDay = "20240105"
        assert order.trading_day() == "20240105"


class TestConstants:
    def test_every_constant_has_its_value_and_python_type(self, ext):
        for name, value in CONSTANTS:
            published = getattr(ext, name)
            assert published == value, name
            assert type(published) is type(value), name

    def test_character_constants_are_one_character_strings(self, ext):
        assert ext.ENUM_Direction_Buy == "0"
        assert ext.ENUM_UserType_TORAStock == 10002
        singles = [n for n, v in CONSTANTS if isinstance(v, str)
                   and not n.startswith(("ENUM_ExchangeID_", "ENUM_CombineOrderType_"))]
        assert singles and all(len(getattr(ext, n)) == 1 for n in singles)

    def test_module_dictionary_order(self, ext):
        # functions, then the user types and ENUM_ErrorID_None, cvar, the remaining integers,
        # then the character and text codes.
        keys = [k for k in vars(ext) if not k.startswith("__")]
        functions = [name for name, _ in expected_method_table()]
        assert keys[:len(functions)] == functions
        rest = keys[len(functions):]
        names = [n for n, _ in CONSTANTS]
        split = names.index("ENUM_ErrorID_None") + 1
        assert rest == names[:split] + ["cvar"] + names[split:]

    def test_proxy_module_adds_nothing_the_extension_lacks(self, tc, ext):
        for name, _ in CONSTANTS:
            assert getattr(tc, name) == getattr(ext, name)


class TestCvar:
    def test_messages_match_the_error_table(self, ext):
        for name, (code, message) in ERRORS.items():
            assert getattr(ext, "ENUM_ErrorID_" + name) == code
            assert getattr(ext.cvar, "ENUM_ErrorMsg_" + name) == message, name
            assert ext.getMessageByErrorID(code) == message, name
        assert ext.cvar.ENUM_ErrorMsg_None == ""
        assert ext.getMessageByErrorID(-1000600) == ext.cvar.ENUM_ErrorMsg_InvalidPassword

    def test_unknown_codes_have_the_empty_message(self, ext):
        for code in (1, -1000150, -1002800, -1003000, 2 ** 31 - 1, -2 ** 31):
            assert ext.getMessageByErrorID(code) == ""

    def test_read_only(self, ext):
        with pytest.raises(AttributeError) as err:
            ext.cvar.ENUM_ErrorMsg_InvalidPrice = "x"
        assert str(err.value) == "Variable ENUM_ErrorMsg_InvalidPrice is read-only."
        with pytest.raises(AttributeError) as err:
            ext.cvar.ENUM_ErrorMsg_None = ""
        assert str(err.value) == "Variable ENUM_ErrorMsg_None is read-only."
        assert ext.cvar.ENUM_ErrorMsg_InvalidPrice == "Error:Invalid Price."

    def test_unknown_names(self, ext):
        with pytest.raises(AttributeError) as err:
            ext.cvar.ENUM_ErrorMsg_Nothing
        assert str(err.value) == "Unknown C global variable 'ENUM_ErrorMsg_Nothing'"
        with pytest.raises(AttributeError) as err:
            ext.cvar.Nothing = 1
        assert str(err.value) == "Unknown C global variable 'Nothing'"

    def test_representation(self, ext):
        assert repr(ext.cvar) == "<Swig global variables>"
        listed = str(ext.cvar)
        for name in ERRORS:
            assert "ENUM_ErrorMsg_" + name in listed


def test_version(ext):
    assert ext.getVersion() == "Quillon 002.100.001"

