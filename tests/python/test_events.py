"""tradecore.events: the name of every event and task identifier, records as dicts (engine
records through their properties, broker records through their text form), and broker text."""
import pytest

from helpers import address_of
from tradecore import events

FAMILIES = ("ENUM_EventID_", "ENUM_OrderEventID_", "ENUM_SnapDataEventID_", "ENUM_DetailDataEventID_",
            "ENUM_CTPEventID_", "ENUM_CTPTaskID_", "ENUM_TORAStockEventID_", "ENUM_TORAStockTaskID_")


class TestEventName:
    @pytest.mark.parametrize("event_id, name", [
        (10001, "DayRolling"), (10002, "MdReady"), (10003, "TraderReady"),
        (10011, "Traded"), (10012, "Canceled"), (10013, "UpdateCost"), (10014, "Accepted"),
        (10015, "InsertRejected"), (10016, "CancelRejected"), (10017, "Cached"),
        (10021, "MarketData"), (10022, "IndexData"), (10024, "DetailOrder"),
        (11003, "MdDisconnected"), (11011, "TransferCash"), (11213, "QryTradingAccount"),
        (12001, "CreateApiInstance"), (12003, "MdDisconnected"), (12009, "TransferCash"),
        (12102, "LoginMd"), (12212, "QryPosition"), (12215, "QryTradingAccount"),
        (12307, "QryIPOMatchNumberResult"), (12416, "QryNegotiationParam"),
    ])
    def test_names(self, tc, event_id, name):
        assert tc.events.event_name(event_id) == name

    def test_every_event_and_task_constant_is_named_by_its_suffix(self, ext):
        constants = [(n, v) for n, v in vars(ext).items() if n.startswith(FAMILIES)]
        assert {f for f in FAMILIES if any(n.startswith(f) for n, _ in constants)} == set(FAMILIES)
        for constant, value in constants:
            family = next(f for f in FAMILIES if constant.startswith(f))
            assert events.event_name(value) == constant[len(family):], constant

    def test_unknown_identifiers(self):
        for event_id in (0, -1, 9999, 10004, 12999, 13000, 36):
            assert events.event_name(event_id) is None

    def test_record_kind_predicates(self):
        assert all(events.is_order_event(e) for e in range(10011, 10018))
        assert not events.is_order_event(10010) and not events.is_order_event(10018)
        assert events.is_snapshot_event(10021) and events.is_snapshot_event(10022)
        assert not events.is_snapshot_event(10023)
        assert {e for e in range(11000, 13000) if events.is_transfer_event(e)} == {11011, 12009, 12010, 12011, 12012}


def filled_order(tc):
    order = tc.CQNOrderField()
    order.TradingDay = "20240102"
    order.StandardID = "600000"
    order.ExchangeID = tc.ENUM_ExchangeID_SSE
    order.Direction = tc.ENUM_Direction_Sell
    order.OrderID = 1234
    order.OrderLocalTime = 1 << 40
    order.OriginalPrice = 10.125
    order.IsLimitOrder = True
    order.Message = "a || b \"quoted\""
    return order


class TestAsDictEngineRecords:
    def test_order_fields_in_order_with_full_values(self, tc, ext):
        order = filled_order(tc)
        d = events.as_dict(tc.ENUM_OrderEventID_Accepted, order)
        assert list(d) == ext.getFields(10014, None).split(",")
        for name, value in d.items():
            assert value == getattr(order, name), name
        # Values keep their type and precision (the text form would round 10.125 to 10.13).
        assert d["OriginalPrice"] == 10.125 and d["OrderLocalTime"] == 1 << 40
        assert d["IsLimitOrder"] is True and d["Direction"] == "1" and d["OffsetFlag"] == "\0"
        assert d["Message"] == "a || b \"quoted\""

    def test_record_given_as_address_or_bare_pointer(self, tc):
        order = filled_order(tc)
        expected = events.as_dict(10011, order)
        assert events.as_dict(10011, address_of(order)) == expected
        assert events.as_dict(10011, tc.pointer(address_of(order))) == expected

    def test_snapshot_and_transfer(self, tc, ext):
        snapshot = tc.CQNMarketDataField()
        snapshot.StandardID = "000001"
        snapshot.Volume = 3 << 33
        snapshot.AskPrice5 = 12.345
        d = events.as_dict(tc.ENUM_SnapDataEventID_MarketData, snapshot)
        assert list(d) == ext.getFields(10021, None).split(",")
        assert d["StandardID"] == "000001" and d["Volume"] == 3 << 33 and d["AskPrice5"] == 12.345

        transfer = tc.CQNTransferAssetField()
        transfer.TransferID = 7
        transfer.TransferFlag = tc.ENUM_TransferFlag_CashFromBank
        transfer.Amount = 1000.5
        for event_id in (11011, 12009, 12010, 12011, 12012):
            d = events.as_dict(event_id, address_of(transfer))
            assert list(d) == ext.getFields(event_id, None).split(",")
            assert (d["TransferID"], d["TransferFlag"], d["Amount"]) == (7, "Z", 1000.5)

    def test_no_record_and_no_fields(self, tc):
        assert events.as_dict(10014, None) == {}
        assert events.as_dict(12215, 0) == {}
        with pytest.raises(ValueError):
            events.as_dict(9999, filled_order(tc))
        with pytest.raises(ValueError):
            events.as_dict(12206, tc.pointer(address_of(filled_order(tc))))  # an id without a record row
        with pytest.raises(TypeError):
            events.as_dict(10014, "600000")


class TestParseText:
    NAMES = ["AccountID", "Available", "Count", "Flag", "Note", "Last"]

    def test_kinds(self):
        text = ('AccountID:"11000001" || Available:-1234.50 || Count:-7 || Flag:"" || Note:"x" || Last:1.79e+308')
        d = events.parse_text(self.NAMES, text)
        assert d == {"AccountID": "11000001", "Available": -1234.5, "Count": -7, "Flag": "", "Note": "x",
                     "Last": 1.79e308}
        assert isinstance(d["Count"], int) and isinstance(d["Available"], float)

    def test_texts_holding_the_separator_or_quotes(self):
        text = ('AccountID:"a || Available:1" || Available:2.00 || Count:3 || Flag:""" || '
                'Note:"say "hi" || ok" || Last:"end"')
        d = events.parse_text(self.NAMES, text)
        assert d["AccountID"] == "a || Available:1"
        assert d["Note"] == 'say "hi" || ok'
        assert d["Last"] == "end" and d["Available"] == 2.0 and d["Flag"] == '"'

    def test_text_that_does_not_match_the_fields(self):
        with pytest.raises(ValueError):
            events.parse_text(["A", "B"], 'A:1 || C:2')
        with pytest.raises(ValueError):
            events.parse_text(["A"], 'A:"open')

    def test_broker_text_is_decoded_from_gb2312(self):
        gb = "浦发银行".encode("gb2312")
        as_module_gives = gb.decode("utf-8", "surrogateescape")
        assert events.broker_text(as_module_gives) == "浦发银行"
        assert events.parse_text(["SecurityName"], 'SecurityName:"%s"' % as_module_gives) == {"SecurityName": "浦发银行"}
        assert events.broker_text("plain") == "plain"
        assert events.broker_text("已是UTF-8") == "已是UTF-8"
        # A stray byte that is not GB2312 is dropped, the rest stays.
        assert events.broker_text((b"ok\xff" + gb).decode("utf-8", "surrogateescape")) == "ok浦发银行"


def test_the_package_exports_the_python_layer(tc):
    # What a strategy writes: tradecore.event_name(10014), tradecore.as_dict(...), tradecore.Strategy.
    assert tc.event_name(10014) == "Accepted"
    assert tc.as_dict is events.as_dict and tc.broker_text is events.broker_text
    assert tc.Strategy.__module__ == "tradecore.strategy" and callable(tc.make_login)
