"""The five record classes: defaults and copies, field conversions with their exact errors,
ownership of records made from Python, and the lock words in front of them."""
import ctypes
import gc

import pytest

from helpers import LAYOUTS, address_of, lock_words, raw, raw_bytes, run_python
from tables import RECORDS

TEXT, INT, LONG, DOUBLE, BOOL, CHAR = "text", "int", "long long", "double", "bool", "char"


def kind(ctype):
    return TEXT if ctype.startswith("char[") else ctype


def fields_of(kind_wanted):
    """(record, field, C type, type name) of every field of one kind, over all five records."""
    return [(record, field, ctype, tname) for record, fields in RECORDS.items()
            for field, ctype, tname in fields if kind(ctype) == kind_wanted]


def size_of(ctype):
    return int(ctype[5:-1])


class TestLayout:
    def test_field_order_and_natural_alignment(self, tc):
        # Every field written through its setter lands where the record layout says: a field
        # out of order or mis-sized shows as a byte at the wrong offset.
        for record, fields in RECORDS.items():
            obj = getattr(tc, record)()
            view = raw(obj)
            for index, (field, ctype, _) in enumerate(fields):
                value = {TEXT: "x" * (size_of(ctype) - 1) if kind(ctype) == TEXT else None,
                         INT: index + 1, LONG: (index + 1) << 33, DOUBLE: index + 0.5,
                         BOOL: True, CHAR: "Z"}[kind(ctype)]
                setattr(obj, field, value)
                stored = getattr(view, field)
                if kind(ctype) == TEXT:
                    assert stored == value.encode(), (record, field)
                elif kind(ctype) == CHAR:
                    assert stored == b"Z", (record, field)
                else:
                    assert stored == value, (record, field)


class TestDefaults:
    def test_login_record_defaults(self, tc):
        login = tc.CQNLoginField()
        assert (login.TaskExecuteGap, login.TaskFailedGap, login.LoopGap) == (-1, -1, -1)
        assert login.IDRange == 100000
        assert (login.ConnectTimeout, login.TaskExecuteTimeout, login.UserType) == (0, 0, 0)
        for field, ctype, _ in RECORDS["CQNLoginField"]:
            if kind(ctype) == TEXT:
                assert getattr(login, field) == ""
                assert raw_bytes(login, field) == bytes(size_of(ctype))

    @pytest.mark.parametrize("record", ["CQNMarketDataField", "CQNOrderField", "CQNTransferAssetField",
                                        "CQNQueryCommandField"])
    def test_other_records_are_all_zero(self, tc, record):
        obj = getattr(tc, record)()
        assert ctypes.string_at(address_of(obj), ctypes.sizeof(LAYOUTS[record])) == \
            bytes(ctypes.sizeof(LAYOUTS[record]))
        for field, ctype, _ in RECORDS[record]:
            value = getattr(obj, field)
            expected = {TEXT: "", CHAR: "\0", BOOL: False, DOUBLE: 0.0}.get(kind(ctype), 0)
            assert value == expected and type(value) is type(expected), (record, field)

    def test_new_order_direction_is_nul_not_empty(self, tc):
        assert tc.CQNOrderField().Direction == "\x00"


class TestLoginCopy:
    def test_copy_equals_the_original_field_by_field(self, tc):
        original = tc.CQNLoginField()
        for index, (field, ctype, _) in enumerate(RECORDS["CQNLoginField"]):
            if kind(ctype) == TEXT:
                setattr(original, field, chr(ord("a") + index % 26) * (size_of(ctype) - 1))
            else:
                setattr(original, field, 1000 + index)
        copy = tc.CQNLoginField(original)
        assert address_of(copy) != address_of(original)
        assert copy.this.own()
        for field, _, _ in RECORDS["CQNLoginField"]:
            assert getattr(copy, field) == getattr(original, field), field
        size = ctypes.sizeof(LAYOUTS["CQNLoginField"])
        assert ctypes.string_at(address_of(copy), size) == ctypes.string_at(address_of(original), size)
        original.UserID = "changed"
        assert copy.UserID != "changed"

    def test_copy_keeps_full_width_text(self, tc):
        original = tc.CQNLoginField()
        raw(original).UserID = b"0123456789abcdef"  # all 16 bytes, no NUL
        assert original.UserID == "0123456789abcdef"
        assert tc.CQNLoginField(original).UserID == "0123456789abcdef"

    def test_constructor_dispatch_errors(self, tc, ext):
        prototypes = ("Wrong number or type of arguments for overloaded function 'new_CQNLoginField'.\n"
                      "  Possible C/C++ prototypes are:\n"
                      "    CQNLoginField::CQNLoginField()\n"
                      "    CQNLoginField::CQNLoginField(CQNLoginField *)\n")
        for bad in (1, "x", tc.CQNOrderField()):
            with pytest.raises(TypeError) as err:
                ext.new_CQNLoginField(bad)
            assert str(err.value) == prototypes
        with pytest.raises(TypeError) as err:
            ext.new_CQNLoginField(tc.CQNLoginField(), 2)
        assert str(err.value) == ("new_CQNLoginField expected at most 1 arguments, got 2\n"
                                  "Additional information:\n" + prototypes)

    def test_copying_none_is_refused(self, tc, ext):
        with pytest.raises(TypeError) as err:
            ext.new_CQNLoginField(None)
        assert str(err.value) == "in method 'new_CQNLoginField', argument 1 of type 'CQNLoginField *'"
        with pytest.raises(TypeError):
            tc.CQNLoginField(None)

    def test_constructors_of_other_records_take_nothing(self, ext):
        with pytest.raises(TypeError):
            ext.new_CQNOrderField(1)


class TestIntFields:
    def test_range_and_types(self, tc, ext):
        for record, field, _, tname in fields_of(INT):
            obj = getattr(tc, record)()
            setattr(obj, field, 2 ** 31 - 1)
            assert getattr(obj, field) == 2 ** 31 - 1
            setattr(obj, field, -2 ** 31)
            assert getattr(obj, field) == -2 ** 31
            setattr(obj, field, True)
            assert getattr(obj, field) == 1
            setter = getattr(ext, "%s_%s_set" % (record, field))
            message = "in method '%s_%s_set', argument 2 of type '%s'" % (record, field, tname)
            for bad, error in ((2 ** 31, OverflowError), (-2 ** 31 - 1, OverflowError),
                               (10.0, TypeError), ("1", TypeError), (None, TypeError)):
                with pytest.raises(error) as err:
                    setter(obj, bad)
                assert str(err.value) == message

    def test_long_long_fields(self, tc, ext):
        for record, field, _, tname in fields_of(LONG):
            obj = getattr(tc, record)()
            for value in (2 ** 63 - 1, -2 ** 63, 2 ** 40):
                setattr(obj, field, value)
                assert getattr(obj, field) == value
            setter = getattr(ext, "%s_%s_set" % (record, field))
            message = "in method '%s_%s_set', argument 2 of type '%s'" % (record, field, tname)
            for bad, error in ((2 ** 63, OverflowError), (1.0, TypeError)):
                with pytest.raises(error) as err:
                    setter(obj, bad)
                assert str(err.value) == message


class TestDoubleFields:
    def test_floats_and_ints(self, tc, ext):
        for record, field, _, tname in fields_of(DOUBLE):
            obj = getattr(tc, record)()
            setattr(obj, field, 12.345)
            assert getattr(obj, field) == 12.345
            setattr(obj, field, 7)
            value = getattr(obj, field)
            assert value == 7.0 and type(value) is float
            setter = getattr(ext, "%s_%s_set" % (record, field))
            for bad in (10 ** 400, "1.5", None):
                with pytest.raises(TypeError) as err:
                    setter(obj, bad)
                assert str(err.value) == "in method '%s_%s_set', argument 2 of type '%s'" % (record, field, tname)


class TestBoolFields:
    def test_only_true_and_false(self, tc, ext):
        for record, field, _, tname in fields_of(BOOL):
            obj = getattr(tc, record)()
            setattr(obj, field, True)
            assert getattr(obj, field) is True
            setattr(obj, field, False)
            assert getattr(obj, field) is False
            setter = getattr(ext, "%s_%s_set" % (record, field))
            for bad in (1, 0, None, "True"):
                with pytest.raises(TypeError) as err:
                    setter(obj, bad)
                assert str(err.value) == "in method '%s_%s_set', argument 2 of type '%s'" % (record, field, tname)


class TestCharFields:
    def test_accepted_values(self, tc):
        order = tc.CQNOrderField()
        for value, stored in (("1", b"1"), ("", b"\0"), (None, b"\0"), (0, b"\0"), (65, b"A"),
                              (-1, b"\xff"), (-128, b"\x80"), (127, b"\x7f")):
            order.Direction = "x"
            order.Direction = value
            assert raw(order).Direction == stored, value

    def test_reading_back(self, tc):
        order = tc.CQNOrderField()
        order.OrderStatus = tc.ENUM_OrderStatus_AllTraded
        assert order.OrderStatus == "4"
        order.OrderStatus = -1  # the byte 255 reads back as a lone surrogate
        assert order.OrderStatus == "\udcff"

    def test_refused_values(self, tc, ext):
        for record, field, _, tname in fields_of(CHAR):
            obj = getattr(tc, record)()
            setter = getattr(ext, "%s_%s_set" % (record, field))
            message = "in method '%s_%s_set', argument 2 of type '%s'" % (record, field, tname)
            for bad, error in (("ab", TypeError), ("é", TypeError), (200, OverflowError),
                               (-129, OverflowError), (1.0, TypeError), (b"a", TypeError)):
                with pytest.raises(error) as err:
                    setter(obj, bad)
                assert str(err.value) == message, (record, field, bad)


class TestTextFields:
    def test_limits_for_every_text_field(self, tc, ext):
        for record, field, ctype, _ in fields_of(TEXT):
            size = size_of(ctype)
            obj = getattr(tc, record)()
            setattr(obj, field, "a" * (size - 1))
            assert getattr(obj, field) == "a" * (size - 1)
            assert raw_bytes(obj, field)[-1:] == b"\0"
            with pytest.raises(TypeError) as err:
                getattr(ext, "%s_%s_set" % (record, field))(obj, "a" * size)
            assert str(err.value) == "in method '%s_%s_set', argument 2 of type 'char [%d]'" % (record, field, size)
            assert getattr(obj, field) == "a" * (size - 1)  # a refused value leaves the field alone

    def test_setting_zero_fills_the_rest(self, tc):
        order = tc.CQNOrderField()
        order.StandardID = "600000.SSE.long"
        order.StandardID = "60"
        assert raw_bytes(order, "StandardID") == b"60" + bytes(79)
        order.Message = "some text"
        order.Message = None
        assert raw_bytes(order, "Message") == bytes(256)
        assert order.Message == ""

    def test_utf8_byte_counts(self, tc, ext):
        order = tc.CQNOrderField()
        order.TradingDay = "12345678"
        with pytest.raises(TypeError) as err:
            order.TradingDay = "123456789"
        assert str(err.value) == "in method 'CQNOrderField_TradingDay_set', argument 2 of type 'char [9]'"
        order.TradingDay = "交易"  # 6 bytes in UTF-8
        assert raw_bytes(order, "TradingDay") == "交易".encode() + bytes(3)
        assert order.TradingDay == "交易"
        with pytest.raises(TypeError):
            order.TradingDay = "交易日"  # 9 bytes

    def test_reading_stops_at_nul_or_width(self, tc):
        order = tc.CQNOrderField()
        raw(order).ExchangeID = b"SSE\0junk"
        assert order.ExchangeID == "SSE"
        raw(order).TradingDay = b"123456789"  # all nine bytes, no NUL
        assert order.TradingDay == "123456789"

    def test_broker_text_reads_with_surrogates_and_cannot_be_written_back(self, tc):
        order = tc.CQNOrderField()
        gb2312 = "委托".encode("gb2312")
        raw(order).Message = gb2312
        text = order.Message
        assert text == gb2312.decode("utf-8", "surrogateescape")
        with pytest.raises(TypeError) as err:
            order.Message = text
        assert str(err.value) == "in method 'CQNOrderField_Message_set', argument 2 of type 'char [256]'"

    def test_bytes_are_refused(self, tc):
        with pytest.raises(TypeError):
            tc.CQNOrderField().StandardID = b"600000"


class TestNoneRecord:
    def test_getters_and_text_setters_refuse_none(self, ext):
        for record, fields in RECORDS.items():
            for field, ctype, _ in fields:
                getter = "%s_%s_get" % (record, field)
                with pytest.raises(TypeError) as err:
                    getattr(ext, getter)(None)
                assert str(err.value) == "in method '%s', argument 1 of type '%s *'" % (getter, record)
                if kind(ctype) == TEXT:
                    setter = "%s_%s_set" % (record, field)
                    with pytest.raises(TypeError) as err:
                        getattr(ext, setter)(None, "x")
                    assert str(err.value) == "in method '%s', argument 1 of type '%s *'" % (setter, record)

    def test_scalar_setters_skip_the_write(self, ext):
        assert ext.CQNOrderField_OrderID_set(None, 5) is None
        assert ext.CQNMarketDataField_Volume_set(None, 5) is None
        assert ext.CQNOrderField_Direction_set(None, "0") is None

    def test_record_of_another_type_is_refused(self, tc, ext):
        with pytest.raises(TypeError) as err:
            ext.CQNOrderField_OrderID_get(tc.CQNMarketDataField())
        assert str(err.value) == "in method 'CQNOrderField_OrderID_get', argument 1 of type 'CQNOrderField *'"
        with pytest.raises(TypeError):
            ext.CQNOrderField_OrderID_set(0, 1)


class TestOwnership:
    def test_constructor_result_is_a_bare_owning_pointer(self, ext):
        pointer = ext.new_CQNOrderField()
        assert type(pointer).__name__ == "SwigPyObject"
        assert pointer.own() is True
        ext.delete_CQNOrderField(pointer)
        assert pointer.own() is False

    def test_disown_and_own(self, tc, ext):
        order = tc.CQNOrderField()
        assert order.thisown is True
        assert order.this.disown() is None
        assert order.this.own() is False
        assert order.this.own(True) is False  # answers the old value, sets the new one
        assert order.this.own() is True
        assert order.this.acquire() is None and order.thisown is True

    def test_pointer_object_operations(self, tc):
        order = tc.CQNOrderField()
        this = order.this
        assert int(this) == address_of(order)
        assert repr(this) == "<Swig Object of type 'CQNOrderField *' at 0x%x>" % id(this)
        assert this.next() is None
        with pytest.raises(TypeError) as err:
            this.append(1)
        assert str(err.value) == "Attempt to append a non SwigPyObject"
        same = tc._records.orderAt(address_of(order))
        assert same.this == this and not (same.this != this)
        kind = type(this)
        assert kind.__name__ == "SwigPyObject"
        assert kind.__doc__ == "Swig object carries a C/C++ instance pointer"
        assert [getattr(kind, name).__doc__ for name in ("disown", "acquire", "own", "append", "next")] == [
            "releases ownership of the pointer", "acquires ownership of the pointer",
            "returns/sets ownership of the pointer", "appends another 'this' object",
            "returns the next 'this' object"]

    def test_chained_pointers(self, tc):
        order = tc.CQNOrderField()
        other = tc.CQNOrderField()
        order.this.append(other.this)
        assert order.this.next() is other.this
        assert repr(order.this) == "<Swig Object of type 'CQNOrderField *' at 0x%x><Swig Object of type " \
            "'CQNOrderField *' at 0x%x>" % (id(order.this), id(other.this))
        order.this.disown()  # the chain now holds other's pointer too; let other free it alone
        other.this.disown()
        tc._tradecore.delete_CQNOrderField(tc._records.orderAt(address_of(order)))
        tc._tradecore.delete_CQNOrderField(tc._records.orderAt(address_of(other)))

    def test_dropping_without_a_class_reports_a_leak(self, ext):
        # The extension loaded on its own (no package, so no class registered): nothing knows
        # how to free the record.
        out = run_python("""
            import importlib.util, sys
            loader_spec = importlib.util.spec_from_file_location("_tradecore", %r)
            module = importlib.util.module_from_spec(loader_spec)
            loader_spec.loader.exec_module(module)
            assert "tradecore" not in sys.modules
            pointer = module.new_CQNOrderField()
            del pointer
        """ % ext.__file__)
        assert out.stdout == "swig/python detected a memory leak of type 'CQNOrderField *', no destructor found.\n"

    def test_a_registered_classes_own_destroy_gets_a_pointer_that_does_not_own(self):
        # Any callable as __swig_destroy__: a Python function, a one-argument built-in that keeps
        # what it is given. Each gets a live wrapped pointer to the record, not owning it, and
        # may keep it; the process must not crash either way.
        out = run_python("""
            import gc, tradecore
            ext = tradecore._tradecore
            kept, seen = [], []
            class WithFunction:
                def __swig_destroy__(pointer):
                    seen.append((type(pointer).__name__, pointer.own(), int(pointer)))
            class WithBuiltin:
                __swig_destroy__ = kept.append
            addresses = []
            for cls in (WithFunction, WithBuiltin):
                ext.CQNOrderField_swigregister(cls)
                pointer = ext.new_CQNOrderField()
                addresses.append(int(pointer))
                del pointer
                gc.collect()
            ext.CQNOrderField_swigregister(tradecore.CQNOrderField)
            assert seen == [("SwigPyObject", False, addresses[0])], seen
            assert [(k.own(), int(k)) for k in kept] == [(False, addresses[1])], kept
            for address in addresses:
                ext.delete_CQNOrderField(tradecore._records.orderAt(address))
            print("ok")
        """)
        assert out.stdout == "ok\n"

    def test_explicit_delete_then_drop_frees_once(self):
        # A second free would abort the child (glibc checks double frees), and so would freeing
        # a record that was never allocated with its lock words in front.
        run_python("""
            import gc, tradecore
            ext = tradecore._tradecore
            for record in ("CQNLoginField", "CQNMarketDataField", "CQNOrderField",
                           "CQNTransferAssetField", "CQNQueryCommandField"):
                for _ in range(200):
                    obj = getattr(tradecore, record)()
                    getattr(ext, "delete_" + record)(obj)
                    assert obj.thisown is False
                    del obj
                    obj = getattr(tradecore, record)()
                    del obj
                gc.collect()
            print("ok")
        """)

    def test_disowned_record_is_not_freed_by_python(self, tc, ext):
        order = tc.CQNOrderField()
        order.OrderID = 77
        order.this.disown()
        alias = tc._records.orderAt(address_of(order))
        del order
        gc.collect()
        assert alias.OrderID == 77  # still readable: nothing freed it
        ext.delete_CQNOrderField(tc._records.orderAt(address_of(alias)))


class TestLockWords:
    def test_python_made_records_carry_lock_words(self, tc, ext):
        order, snapshot = tc.CQNOrderField(), tc.CQNMarketDataField()
        assert lock_words(order) == (0, 0) and lock_words(snapshot) == (0, 0)
        assert ext.getOrderLock(order) == 0
        assert lock_words(order) == (-1, 0)
        assert ext.releaseOrderLock(order) == 0
        assert lock_words(order) == (0, 0)
        assert ext.getMarketDataLock(snapshot) == 0
        assert lock_words(snapshot) == (-1, 0)
        assert ext.releaseMarketDataLock(snapshot) == 0
        assert lock_words(snapshot) == (0, 0)
        assert ext.releaseOrderLock(order) == 0  # releasing a free record leaves it free
        assert lock_words(order) == (0, 0)

    def test_null_records(self, ext):
        for function in (ext.getOrderLock, ext.releaseOrderLock, ext.getMarketDataLock,
                         ext.releaseMarketDataLock):
            assert function(None) == 0

    def test_lock_arguments_are_typed(self, tc, ext):
        with pytest.raises(TypeError) as err:
            ext.getOrderLock(tc.CQNMarketDataField())
        assert str(err.value) == "in method 'getOrderLock', argument 1 of type 'CQNOrderField *'"
        with pytest.raises(TypeError) as err:
            ext.releaseMarketDataLock(tc.CQNOrderField())
        assert str(err.value) == "in method 'releaseMarketDataLock', argument 1 of type 'CQNMarketDataField *'"
        with pytest.raises(TypeError):
            ext.getOrderLock(address_of(tc.CQNOrderField()))

    def test_records_survive_lock_calls_and_header_writes(self):
        # The 8 bytes in front of every order, snapshot and transfer record made from Python
        # belong to it: locking, and writing them directly, must not damage the heap. A record
        # allocated without them would abort the child when freed.
        run_python("""
            import ctypes, gc, tradecore
            ext = tradecore._tradecore
            for _ in range(300):
                order, snapshot, transfer = (tradecore.CQNOrderField(), tradecore.CQNMarketDataField(),
                                             tradecore.CQNTransferAssetField())
                for record in (order, snapshot, transfer):
                    # Anything but zero here and getOrderLock would spin for ever.
                    assert ctypes.string_at(int(record.this) - 8, 8) == bytes(8), type(record)
                ext.getOrderLock(order); ext.releaseOrderLock(order)
                ext.getMarketDataLock(snapshot); ext.releaseMarketDataLock(snapshot)
                for record in (order, snapshot, transfer):
                    address = int(record.this)
                    ctypes.memset(address - 8, 0x5A, 8)
                    ctypes.memset(address - 8, 0, 8)
                copies = [tradecore.CQNLoginField() for _ in range(3)]
                del order, snapshot, transfer, copies
            gc.collect()
            print("ok")
        """)

    def test_waiting_caller_spins_without_the_interpreter_lock(self):
        # A caller blocked in getOrderLock counts as a waiter and lets other Python threads run;
        # it gets the lock once the holder lets go. (Were the interpreter lock held while
        # spinning, the child would hang and the timeout would fail the test.)
        run_python("""
            import ctypes, threading, time, tradecore
            ext = tradecore._tradecore
            order = tradecore.CQNOrderField()
            address = int(order.this)
            word = ctypes.c_int32.from_address(address - 8)
            waiters = ctypes.c_int32.from_address(address - 4)
            word.value = -1                      # someone else holds it
            done = threading.Event()
            def take():
                ext.getOrderLock(order)
                done.set()
            thread = threading.Thread(target=take)
            thread.start()
            while waiters.value != 1:
                time.sleep(0.001)
            assert not done.is_set()
            word.value = 0                       # the holder lets go
            thread.join()
            assert (word.value, waiters.value) == (-1, 0)
            ext.releaseOrderLock(order)
            assert (word.value, waiters.value) == (0, 0)
            print("ok")
        """, timeout=300)
