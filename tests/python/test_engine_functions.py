"""The engine functions as Python calls them: argument counts and defaults, conversions with
their exact errors, the null-handle answers, the list typemap of subscribe/unsubscribe,
toText/getFields on any wrapped pointer, and tradecore.record/pointer."""
import sys

import pytest

from helpers import address_of, run_python

INVALID_TRADER = -1002000
INVALID_MD = -1002100


def error_text(excinfo):
    return str(excinfo.value)


class TestArgumentCounts:
    @pytest.mark.parametrize("name, low, high", [
        ("init", 2, 6), ("subscribeOne", 2, 3), ("subscribe", 2, 3), ("unsubscribeOne", 2, 3),
        ("unsubscribe", 2, 3), ("buyOpen", 5, 7), ("sellClose", 5, 9), ("sellOpen", 5, 8),
        ("buyClose", 5, 9), ("insertOrder", 8, 10), ("cancelOrder", 5, 7),
        ("cancelOrderByOrderID", 2, 2), ("cancelOrderByStandardID", 1, 3), ("transferCash", 6, 8),
        ("transferPosition", 4, 7), ("queryBankAccountCash", 4, 4), ("updatePassword", 4, 4),
        ("addTask", 2, 8), ("exitX", 0, 1), ("getFields", 2, 2), ("toText", 2, 5),
        ("getTimeElapse", 0, 1),
    ])
    def test_bounds(self, ext, name, low, high):
        function = getattr(ext, name)
        if low > 0:
            with pytest.raises(TypeError) as err:
                function(*[None] * (low - 1))
            bound = "" if low == high else "at least "
            assert error_text(err) == "%s expected %s%d arguments, got %d" % (name, bound, low, low - 1)
        with pytest.raises(TypeError) as err:
            function(*[None] * (high + 1))
        bound = "" if low == high else "at most "
        assert error_text(err) == "%s expected %s%d arguments, got %d" % (name, bound, high, high + 1)

    def test_examples(self, ext):
        with pytest.raises(TypeError) as err:
            ext.buyOpen(None, "600000", 100, "0")
        assert error_text(err) == "buyOpen expected at least 5 arguments, got 4"
        with pytest.raises(TypeError) as err:
            ext.buyOpen(None, "600000", 100, "0", 10.0, None, "0", 1)
        assert error_text(err) == "buyOpen expected at most 7 arguments, got 8"

    def test_no_keywords(self, ext):
        with pytest.raises(TypeError):
            ext.buyOpen(None, "600000", 100, "0", Price=10.0)

    def test_one_and_none_forms(self, ext):
        with pytest.raises(TypeError):
            ext.getVersion(1)
        with pytest.raises(TypeError):
            ext.getOrderLock()
        with pytest.raises(TypeError):
            ext.getMessageByErrorID(1, 2)


class TestNullHandle:
    def test_int_operations(self, ext):
        assert ext.addTask(None, 12215) == INVALID_TRADER
        assert ext.queryBankAccountCash(None, "pw", "1", "bankpw") == INVALID_TRADER
        assert ext.cancelOrder(None, "1", "600000", "123", 5) == INVALID_TRADER
        assert ext.cancelOrderByOrderID(None, 5) == INVALID_TRADER
        assert ext.cancelOrderByStandardID(None) == INVALID_TRADER
        assert ext.cancelOrderByStandardID(None, "1", "600000") == INVALID_TRADER
        assert ext.updatePassword(None, "0", "old", "new") == INVALID_TRADER
        assert ext.subscribe(None, ["600000"]) == INVALID_TRADER
        assert ext.unsubscribe(None, ["600000"], "1") == INVALID_TRADER
        assert ext.subscribeOne(None, "600000") == INVALID_MD
        assert ext.unsubscribeOne(None, "600000", "1") == INVALID_MD

    def test_record_operations(self, ext):
        assert ext.buyOpen(None, "600000", 100, "0", 10.0) is None
        assert ext.sellClose(None, "600000", 100, "0", 10.0) is None
        assert ext.sellOpen(None, "600000", 100, "0", 10.0) is None
        assert ext.buyClose(None, "600000", 100, "0", 10.0) is None
        assert ext.insertOrder(None, "1", "600000", "0", "0", 100, "231", 10.0) is None
        assert ext.transferCash(None, "Z", 100.0, "pw", "1", "bankpw") is None
        assert ext.transferPosition(None, "V", 100, "600000") is None

    def test_init_with_a_null_login_record(self, ext):
        # Two arguments: the four processors default to None; None as the record passes null,
        # which the engine refuses before anything starts.
        assert ext.init(0, None) is None
        assert ext.getInitError() == ext.ENUM_ErrorID_InvalidLoginField

    def test_exit_without_engines(self, ext):
        assert ext.exitX() is None
        assert ext.exitX(None) is None


class TestConversions:
    def test_int_arguments(self, ext):
        with pytest.raises(TypeError) as err:
            ext.buyOpen(None, "600000", 100.0, "0", 10.0)
        assert error_text(err) == "in method 'buyOpen', argument 3 of type 'int'"
        with pytest.raises(OverflowError) as err:
            ext.buyOpen(None, "600000", 2 ** 40, "0", 10.0)
        assert error_text(err) == "in method 'buyOpen', argument 3 of type 'int'"
        assert ext.buyOpen(None, "600000", True, "0", 10.0) is None
        with pytest.raises(TypeError) as err:
            ext.getMessageByErrorID("1")
        assert error_text(err) == "in method 'getMessageByErrorID', argument 1 of type 'TQNErrorIDType'"

    def test_double_arguments(self, ext):
        assert ext.buyOpen(None, "600000", 100, "0", 10) is None
        with pytest.raises(TypeError) as err:
            ext.buyOpen(None, "600000", 100, "0", "10.0")
        assert error_text(err) == "in method 'buyOpen', argument 5 of type 'double'"
        with pytest.raises(TypeError):
            ext.buyOpen(None, "600000", 100, "0", 10 ** 400)

    def test_char_arguments(self, ext):
        for fine in ("", None, 0, "1", -1, 127):
            assert ext.buyOpen(None, "600000", 100, fine, 10.0) is None
        for bad, error in (("ab", TypeError), ("é", TypeError), (200, OverflowError), (1.5, TypeError)):
            with pytest.raises(error) as err:
                ext.buyOpen(None, "600000", 100, bad, 10.0)
            assert error_text(err) == "in method 'buyOpen', argument 4 of type 'char'"
        with pytest.raises(TypeError) as err:
            ext.setRunMode("10")
        assert error_text(err) == "in method 'setRunMode', argument 1 of type 'TQNRunModeType'"

    def test_text_arguments(self, ext):
        assert ext.subscribeOne(None, "600000", None) == INVALID_MD
        with pytest.raises(TypeError) as err:
            ext.subscribeOne(None, b"600000")
        assert error_text(err) == "in method 'subscribeOne', argument 2 of type 'char const *'"
        with pytest.raises(TypeError) as err:
            ext.subscribeOne(None, "600000", "\udcff")  # cannot be encoded as UTF-8
        assert error_text(err) == "in method 'subscribeOne', argument 3 of type 'char const *'"
        with pytest.raises(TypeError):
            ext.subscribeOne(None, 600000)

    def test_bool_arguments(self, tc, ext):
        order = tc.CQNOrderField()
        with pytest.raises(TypeError) as err:
            ext.toText(tc.ENUM_OrderEventID_Accepted, order, 1)
        assert error_text(err) == "in method 'toText', argument 3 of type 'bool'"
        with pytest.raises(TypeError) as err:
            ext.addTask(None, 12215, None, 1, -1, -1, 0)
        assert error_text(err) == "in method 'addTask', argument 7 of type 'bool'"

    def test_64_bit_arguments(self, ext):
        assert ext.addTask(None, 12215, None, 1, 2 ** 62, -2 ** 62, True, 2 ** 40) == INVALID_TRADER
        with pytest.raises(OverflowError) as err:
            ext.addTask(None, 12215, None, 1, 2 ** 63)
        assert error_text(err) == "in method 'addTask', argument 5 of type 'TQNTimeAnchorType'"
        with pytest.raises(TypeError) as err:
            ext.getTimeElapse(1.0)
        assert error_text(err) == "in method 'getTimeElapse', argument 1 of type 'TQNTimeAnchorType'"
        with pytest.raises(TypeError) as err:
            ext.addTask(None, "12215")
        assert error_text(err) == "in method 'addTask', argument 2 of type 'TQNEventIDType'"

    def test_pointer_arguments(self, tc, ext):
        with pytest.raises(TypeError) as err:
            ext.buyOpen(tc.CQNOrderField(), "600000", 100, "0", 10.0)
        assert error_text(err) == "in method 'buyOpen', argument 1 of type 'CBaseTrader *'"
        with pytest.raises(TypeError) as err:
            ext.addTask(None, 12215, tc.CQNLoginField())
        assert error_text(err) == "in method 'addTask', argument 3 of type 'CQNQueryCommandField *'"
        assert ext.addTask(None, 12215, tc.CQNQueryCommandField()) == INVALID_TRADER
        with pytest.raises(TypeError) as err:
            ext.init(0, tc.CQNOrderField())
        assert error_text(err) == "in method 'init', argument 2 of type 'CQNLoginField *'"

    def test_first_failing_argument_is_reported(self, ext):
        with pytest.raises(TypeError) as err:
            ext.sellClose(None, b"600000", 1.5, "xx", "p")
        assert error_text(err) == "in method 'sellClose', argument 2 of type 'char const *'"
        with pytest.raises(TypeError) as err:
            ext.sellClose(None, "600000", 100, "0", 10.0, None, "1", "0", b"x")
        assert error_text(err) == "in method 'sellClose', argument 9 of type 'char const *'"

    def test_processors_pass_through_unchecked(self):
        # Any object reaches the engine as it is; what the engine keeps is its business, so
        # this runs in a child (the text processor is process-wide).
        run_python("""
            import tradecore
            ext = tradecore._tradecore
            assert ext.setEventTextProcessor(print) == 0
            for anything in (None, 42, "text", object()):
                assert isinstance(ext.setEventTextProcessor(anything), int)
            print("ok")
        """)


class TestSubscribeList:
    def test_list_items(self, ext):
        assert ext.subscribe(None, []) == INVALID_TRADER
        assert ext.subscribe(None, ["600000", b"000001", "上证"], "1") == INVALID_TRADER
        assert ext.unsubscribe(None, ["600000", b"000001"]) == INVALID_TRADER

    def test_errors(self, ext):
        for function in (ext.subscribe, ext.unsubscribe):
            with pytest.raises(TypeError) as err:
                function(None, ("600000",))
            assert error_text(err) == "not a list"
            with pytest.raises(TypeError) as err:
                function(None, "600000")
            assert error_text(err) == "not a list"
            with pytest.raises(TypeError) as err:
                function(None, ["600000", 1])
            assert error_text(err) == "list must contain strings"
            with pytest.raises(TypeError) as err:
                function(None, ["\udcff"])
            assert error_text(err) == "list must contain strings"

    def test_exchange_is_argument_4(self, ext):
        with pytest.raises(TypeError) as err:
            ext.subscribe(None, ["600000"], b"1")
        assert error_text(err) == "in method 'subscribe', argument 4 of type 'char const *'"

    def test_items_are_released_exactly_once(self, ext):
        # The list's items are held during the call and let go afterwards, on success and on
        # every error path: a missing release keeps a reference, a second one drops one too many.
        item = b"600000-" + bytes(range(10))
        text = "".join(["600000", "-held"])
        before = sys.getrefcount(item), sys.getrefcount(text)
        for _ in range(100):
            for items in ([item, text], [text, item]):
                ext.subscribe(None, items)
                with pytest.raises(TypeError):
                    ext.subscribe(None, items + [3])
                with pytest.raises(TypeError):
                    ext.subscribe(None, items, b"bad exchange")
        del items
        assert (sys.getrefcount(item), sys.getrefcount(text)) == before


class TestRendering:
    # (record, events whose record it holds, events whose record would run past its end).
    # Sizes: login 776 bytes, order 576, transfer 504, snapshot 384, query 328; the broker's
    # market status 2, its order record 664.
    FITS = [
        ("CQNOrderField", (10014, 10021, 11011, 12004), (12201,)),
        ("CQNLoginField", (10014, 10021, 11011, 12004, 12201), ()),
        ("CQNTransferAssetField", (11011, 10021, 12004), (10014, 12201)),
        ("CQNMarketDataField", (10021, 12004), (10014, 11011, 12201)),
        ("CQNQueryCommandField", (12004,), (10014, 10021, 11011, 12201)),
    ]

    @pytest.mark.parametrize("record, fits, overruns", FITS)
    def test_renders_a_record_where_the_event_reads_within_it(self, tc, ext, record, fits, overruns):
        obj = getattr(tc, record)()
        for event in fits:
            text = ext.toText(event, obj)
            assert text != "" and text == ext.toText(event, obj.this)
        for event in overruns:
            for given in (obj, obj.this):
                with pytest.raises(TypeError) as err:
                    ext.toText(event, given)
                assert error_text(err) == "in method 'toText', argument 2 of type 'void *'"
            assert isinstance(ext.getFields(event, obj), str)   # never reads the record
        # An event without a record reads nothing of it.
        assert ext.toText(99999, obj) == "Error:Invalid EventID."

    def test_an_address_is_rendered_as_the_event_says(self, tc, ext):
        order = tc.CQNOrderField()
        order.OrderID = 42
        assert "42" in ext.toText(tc.ENUM_OrderEventID_Accepted, tc.pointer(address_of(order)))

    def test_null_record_renders_empty(self, ext):
        assert ext.toText(10011, None) == ""
        assert ext.toText(99999, None) == ""
        assert isinstance(ext.getFields(10011, None), str)

    def test_defaults(self, tc, ext):
        order = tc.CQNOrderField()
        order.StandardID = "600000"
        order.OriginalPrice = 12.3456
        assert ext.toText(10011, order) == ext.toText(10011, order, False, ",", 2)
        assert ext.toText(10011, order, True, None) == ext.toText(10011, order, True, "")

    def test_integer_addresses_are_refused(self, tc, ext):
        address = address_of(tc.CQNOrderField())
        with pytest.raises(TypeError) as err:
            ext.toText(10011, address)
        assert error_text(err) == "in method 'toText', argument 2 of type 'void *'"
        with pytest.raises(TypeError) as err:
            ext.getFields(10011, address)
        assert error_text(err) == "in method 'getFields', argument 2 of type 'void *'"
        with pytest.raises(TypeError):
            ext.toText(10011, "not a record")


class TestRecordsFromAddresses:
    @pytest.mark.parametrize("event, cls", [(e, "CQNOrderField") for e in range(10011, 10018)]
                             + [(10021, "CQNMarketDataField"), (10022, "CQNMarketDataField")]
                             + [(e, "CQNTransferAssetField") for e in (11011, 12009, 12010, 12011, 12012)])
    def test_record_kind_by_event(self, tc, event, cls):
        original = getattr(tc, cls)()
        original.ErrorID = 42 if cls != "CQNMarketDataField" else 0
        view = tc.record(event, address_of(original))
        assert type(view) is getattr(tc, cls)
        assert address_of(view) == address_of(original)
        assert view.thisown is False
        if cls != "CQNMarketDataField":
            assert view.ErrorID == 42

    def test_views_read_and_write_in_place(self, tc, ext):
        order = tc.CQNOrderField()
        view = tc.record(tc.ENUM_OrderEventID_Traded, address_of(order))
        order.TradedVolume = 300
        assert view.TradedVolume == 300
        view.OrderStatus = tc.ENUM_OrderStatus_AllTraded
        assert order.OrderStatus == "4"
        assert ext.getOrderLock(view) == 0 and ext.releaseOrderLock(view) == 0
        del view  # not owning: dropping it frees nothing
        assert order.TradedVolume == 300

    def test_other_events_and_pointer_give_bare_pointers(self, tc, ext):
        order = tc.CQNOrderField()
        for event in (10001, 12004, 12215):
            bare = tc.record(event, address_of(order))
            assert type(bare).__name__ == "SwigPyObject"
            assert int(bare) == address_of(order) and bare.own() is False
        bare = tc.pointer(address_of(order))
        assert repr(bare).startswith("<Swig Object of type 'void *' at ")
        assert ext.toText(10011, bare) == ext.toText(10011, order)
        with pytest.raises(TypeError):
            ext.getOrderLock(bare)

    def test_address_zero_gives_none(self, tc):
        assert tc.pointer(0) is None
        for event in (10011, 10021, 11011, 12009, 10001):
            assert tc.record(event, 0) is None

    def test_bad_addresses(self, tc):
        with pytest.raises(OverflowError):
            tc.pointer(-1)
        with pytest.raises(TypeError):
            tc.record(10011, "0x10")

    def test_companion_shares_the_type_table(self, tc):
        # _records loaded first (on its own, before the package) creates the type table; the
        # package's _tradecore then joins it, so the class registered afterwards is the one
        # _records' pointers come back as.
        run_python("""
            import importlib.util, sys
            loader_spec = importlib.util.spec_from_file_location("_records", %r)
            records = importlib.util.module_from_spec(loader_spec)
            loader_spec.loader.exec_module(records)
            assert "swig_runtime_data4" in sys.modules and "tradecore" not in sys.modules
            import tradecore
            order = tradecore.CQNOrderField()
            view = records.orderAt(int(order.this))
            assert type(view) is tradecore.CQNOrderField, type(view)
            assert tradecore.getOrderLock(view) == 0 and tradecore.releaseOrderLock(view) == 0
            print("ok")
        """ % tc._records.__file__)


class TestTime:
    def test_anchor_and_elapse(self, ext):
        before = ext.setTimeAnchor()
        elapsed_since_zero = ext.getTimeElapse()
        after = ext.setTimeAnchor()
        assert 0 <= before <= elapsed_since_zero <= after
        assert ext.getTimeElapse(after) >= 0
        assert ext.getTimeElapse(2 ** 62) < 0
