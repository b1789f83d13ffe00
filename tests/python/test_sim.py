"""The simulated broker's Python control (tradecore.sim): brokers, paper configuration, books and
snapshots, the ledger, faults, record field tables, pushes, and the errors it reports."""
import itertools
import os
import re
import warnings

import pytest

from tradecore import sim

_names = itertools.count()


@pytest.fixture
def address():
    a = "sim://pytest/%d" % next(_names)
    yield a
    if sim.Broker.exists(a):
        sim.Broker.attach(a).remove()


def test_brokers_are_created_found_replaced_and_removed(address):
    assert not sim.Broker.exists(address)
    with pytest.raises(sim.SimError):
        sim.Broker.attach(address)
    b = sim.Broker(address, sim.SCRIPTED)
    assert b.mode == sim.SCRIPTED
    assert sim.Broker.exists(address)
    assert sim.Broker.attach(address).mode == sim.SCRIPTED
    again = sim.Broker(address, sim.PAPER)   # replaces the scripted one
    assert again.mode == sim.PAPER
    assert again.remove()
    assert not again.remove()
    assert not sim.Broker.exists(address)
    with pytest.raises(ValueError):
        sim.Broker(address, "live")
    assert sim.version().startswith("torasim")


def test_scripted_broker_without_connections(address):
    with sim.Broker(address, sim.SCRIPTED) as b:
        assert b.connections() == []
        assert b.requests() == []
        assert b.request_count() == 0
        assert b.wait_request("ReqUserLogin", timeout=0.01) is None
        assert not b.wait_connections(1, timeout=0.01)
        assert b.accept() == 0
        assert b.drop(sim.REASON_HEARTBEAT_TIMEOUT) == 0
        # Pushes reach only connected connections: none here.
        assert b.push("OnRtnOrder", {"OrderRef": "1001", "OrderStatus": "3"}) == 0
        assert b.push("OnRspError", error_id=1, error_msg="x") == 0
        assert b.push_md("OnRtnDepthMarketData", {"SecurityID": "600000", "LastPrice": 10.0}) == 0
        assert b.drain(timeout=1)
        b.set_next_return("ReqOrderInsert", -2, times=3)
        b.set_request_log_limit(10)
        with pytest.raises(sim.SimError):
            b.set_request_log_limit(-1)
        b.clear_requests()
    assert not sim.Broker.exists(address)


def test_push_checks_callback_names_fields_and_arguments(address):
    b = sim.Broker(address, sim.SCRIPTED)
    with pytest.raises(sim.SimError, match="no callback named"):
        b.push("OnRtnOrdr", {})
    with pytest.raises(sim.SimError, match="has no field"):
        b.push("OnRtnOrder", {"OrderRefx": "1"})
    with pytest.raises(sim.SimError, match="takes a number"):
        b.push("OnRtnTrade", {"Price": "ten"})
    with pytest.raises(sim.SimError, match="takes no record"):
        b.push("OnFrontConnected", {"OrderRef": "1"})
    # The md callbacks are another table: the trader one is not found there.
    with pytest.raises(sim.SimError, match="no callback named"):
        b.push_md("OnRtnOrder", {})


def test_paper_configuration_round_trips_and_rejects_unknown_keys(address):
    b = sim.Broker(address, sim.PAPER, config={"snapshotsPerSecond": 0})
    cfg = b.paper_config()
    ids = [s["securityID"] for s in cfg["securities"]]
    assert "600000" in ids and "000001" in ids
    first = cfg["securities"][0]
    assert first["name"] == "浦发银行"          # GB2312 on the wire, str here
    assert first["upperLimitPrice"] == pytest.approx(11.0)
    b.set_paper_config(cash=250000.0, tradingDay="20240110", commissionRate=0.0003,
                       securities=[{"securityID": "600036", "exchangeID": "1", "name": "招商银行",
                                    "preClosePrice": 35.0}],
                       positions=[{"securityID": "600036", "exchangeID": "1", "volume": 1000}])
    cfg = b.paper_config()
    assert cfg["cash"] == 250000.0
    assert cfg["tradingDay"] == "20240110"
    assert [s["securityID"] for s in cfg["securities"]] == ["600036"]
    assert cfg["securities"][0]["name"] == "招商银行"
    assert b.account() == {"cash": 250000.0, "available": 250000.0, "frozen": 0, "fees": 0}
    pos = b.positions()
    assert len(pos) == 1 and pos[0]["securityID"] == "600036" and pos[0]["available"] == 1000
    with pytest.raises(sim.SimError, match="no key cahs"):
        b.set_paper_config(cahs=1)
    with pytest.raises(sim.SimError, match="security has no key"):
        b.set_paper_config(securities=[{"id": "600000"}])
    assert b.paper_config()["cash"] == 250000.0   # a refused update changes nothing
    b.remove()


def test_books_ticks_and_snapshots(address):
    b = sim.Broker(address, sim.PAPER, config={"snapshotsPerSecond": 0, "seed": 5})
    b.set_book("600000", bids=[(9.99, 300), (9.98, 400)], asks=[(10.01, 500)], last=10.0)
    s = b.snapshot("600000")
    assert (s["BidPrice1"], s["BidVolume1"], s["BidPrice2"], s["AskPrice1"], s["AskVolume1"]) == \
        (9.99, 300, 9.98, 10.01, 500)
    assert s["LastPrice"] == 10.0
    assert s["ExchangeID"] == "1"
    assert s["SecurityName"] == "浦发银行"
    b.set_snapshots_per_second(0)     # the market stays where the book put it
    assert b.snapshot("600000")["AskVolume1"] == 500
    b.tick(20)
    s = b.snapshot("600000")
    assert 9.0 <= s["BidPrice1"] < s["AskPrice1"] <= 11.0
    assert s["BidPrice1"] > s["BidPrice5"] > 0
    with pytest.raises(sim.SimError, match="unknown security"):
        b.snapshot("999999")
    with pytest.raises(sim.SimError, match="unknown security"):
        b.set_book("999999", bids=[(1.0, 100)])
    with pytest.raises(sim.SimError):
        b.set_book("600000", bids=[(1.0,)])
    # Same seed, same prices.
    other = sim.Broker(address + "/twin", sim.PAPER, config={"snapshotsPerSecond": 0, "seed": 5})
    mine = sim.Broker(address + "/mine", sim.PAPER, config={"snapshotsPerSecond": 0, "seed": 5})
    other.tick(30)
    mine.tick(30)
    assert other.snapshot("600519")["BidPrice1"] == mine.snapshot("600519")["BidPrice1"]
    other.remove()
    mine.remove()
    b.remove()


def test_faults_settings_and_counters(address):
    b = sim.Broker(address, sim.SCRIPTED)
    assert b.faults()["refuseSend"] == 0
    b.set_faults(refuseSend=0.25, seed=9)
    b.set_faults({"lateMillis": 50})
    f = b.faults()
    assert (f["refuseSend"], f["seed"], f["lateMillis"]) == (0.25, 9, 50)
    assert set(b.fault_counters()) == {"refusedSends", "droppedAnswers", "lateAnswers", "errorAnswers",
                                       "duplicatedNotices", "reorderedNotices", "disconnects"}
    with pytest.raises(sim.SimError, match="no key"):
        b.set_faults(refuse=1)
    b.remove()


def test_record_field_tables():
    fields = sim.record_fields("CTORATstpOrderField")
    names = [f["name"] for f in fields]
    assert names[:3] == ["InvestorID", "SecurityID", "OrderRef"]
    kinds = {f["name"]: (f["kind"], f["size"]) for f in fields}
    assert kinds["OrderRef"] == ("text", 13)
    assert kinds["OrderStatus"] == ("char", 1)
    assert kinds["VolumeTraded"] == ("int", 4)
    assert kinds["LimitPrice"] == ("double", 8)
    md = {f["name"]: f["kind"] for f in sim.record_fields("CTORATstpMarketDataField")}
    assert md["Volume"] == "int64"
    with pytest.raises(sim.SimError, match="no record named"):
        sim.record_fields("CTORATstpNoSuchField")


def test_every_paper_and_fault_key_is_documented_and_the_ledger_speaks_lower_camel(address):
    b = sim.Broker(address, sim.PAPER, config={"securities": [{"securityID": "600000"}],
                                              "positions": [{"securityID": "600000", "volume": 100}]})
    config = b.paper_config()
    keys = set(config) | set(config["securities"][0]) | set(config["positions"][0]) | set(b.faults())
    readme = open(os.path.join(os.path.dirname(__file__), "..", "..", "README.md"), encoding="utf-8").read()
    for key in keys:
        assert re.search(r"\b%s\b" % key, sim.__doc__), key
        assert re.search(r"\b%s\b" % key, readme), key
    assert all(k[0].islower() for k in list(b.account()) + list(b.orders() and b.orders()[0] or {}))
    # trades() gave the notification's capitalised names; they keep working for a release.
    (trade,) = sim._ledger([{"SecurityID": "600000", "Volume": 300, "OrderRef": 7}], rename=True)
    assert list(trade) == ["securityID", "volume", "orderRef"]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert (trade["Volume"], trade.get("SecurityID"), "OrderRef" in trade) == (300, "600000", True)
    assert len(caught) == 3 and all(w.category is DeprecationWarning for w in caught)
    assert "Nope" not in trade and trade.get("Nope", 1) == 1
    with pytest.raises(KeyError):
        trade["Nope"]
