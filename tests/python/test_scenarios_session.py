"""Whole sessions against the scripted simulated broker, driven from Python: start-up and the
preparation queries one at a time, TraderReady then MdReady, snapshots reaching a Python
MarketDataProcessor as CQNMarketDataField records, subscriptions made before MdReady, a
disconnection with reconnection and resubscription, exitX and loop, a processor taking the lock of
the record it is handed, processors that raise, and GB2312 broker messages.

Each test runs one scenario in a child interpreter (see scripted.py): engines live for the whole
process and loop runs all of them."""
import pytest

from scripted import SECURITIES, run_scenario

TRADER_READY, MD_READY, DAY_ROLLING = 10003, 10002, 10001
LOGIN_TRADER, LOGIN_MD = 12101, 12102
QRY_SECURITY, QRY_SHAREHOLDER, QRY_ACCOUNT = 12401, 12303, 12215
TRADER_DISCONNECTED, MD_DISCONNECTED = 12002, 12003
REASON_HEARTBEAT_TIMEOUT = 0x2001


def general(result):
    """The general events of the scenario's log, in order."""
    return [e for e in result["log"] if e["kind"] == "event"]


def test_start_up_prepares_one_request_at_a_time_then_trader_ready_and_md_ready():
    out = run_scenario(r'''
eng = Engine("u1", MacAddress="00-11-22-33-44-55", InnerIPAddress="10.0.0.2", OuterIPAddress="203.0.113.9",
             OuterPort=4321, TerminalInfo="PC;IIP=10.0.0.2", UserProductInfo="tcprod")

def on_event(entry, record):
    if entry["id"] == tc.ENUM_EventID_TraderReady:
        # The market-data login waits for the trader side: none was sent before this event.
        entry["md_logins_before"] = sum(1 for r in eng.broker.requests("ReqUserLogin") if r["side"] == "md")
eng.hooks["event"] = on_event

def script():
    login = eng.request("ReqUserLogin")
    result["at_login"] = eng.request_types()
    # While the login is on the wire nothing else goes out.
    result["quiet_during_login"] = eng.no_request("ReqQrySecurity", within=0.4)
    eng.answer_login(login, front_id=5, session_id=77)
    sec = eng.request("ReqQrySecurity")
    result["at_security"] = eng.request_types()
    for i, s in enumerate(SECURITIES):
        eng.broker.push("OnRspQrySecurity", s, is_last=i == len(SECURITIES) - 1)
    sh = eng.request("ReqQryShareholderAccount")
    result["at_shareholder"] = eng.request_types()
    for i, s in enumerate(SHAREHOLDERS):
        eng.broker.push("OnRspQryShareholderAccount", s, is_last=i == len(SHAREHOLDERS) - 1)
    acct = eng.request("ReqQryTradingAccount")
    result["at_account"] = eng.request_types()
    eng.broker.push("OnRspQryTradingAccount", {"AccountID": "acc1", "DepartmentID": "dep1", "Available": 250000.0})
    eng.wait_event(tc.ENUM_EventID_TraderReady)
    md = eng.md_login()
    eng.wait_event(tc.ENUM_EventID_MdReady)
    eng.drain()
    result["requests"] = {"login": login, "security": sec, "shareholder": sh, "account": acct, "md": md}
    result["trader_requests"] = eng.request_types()

run(script, eng)
result["log"] = eng.log
result["main"] = threading.get_ident()
''')
    r = out.result
    assert r["loop_returned"]
    # One request on the wire at a time: each appeared only after the previous one was answered.
    assert r["at_login"] == ["ReqUserLogin"]
    assert r["quiet_during_login"]
    assert r["at_security"] == ["ReqUserLogin", "ReqQrySecurity"]
    assert r["at_shareholder"] == ["ReqUserLogin", "ReqQrySecurity", "ReqQryShareholderAccount"]
    assert r["at_account"] == ["ReqUserLogin", "ReqQrySecurity", "ReqQryShareholderAccount",
                               "ReqQryTradingAccount"]
    assert r["trader_requests"] == r["at_account"]   # nothing more once ready

    req = r["requests"]
    login = req["login"]["fields"]
    assert (login["LogInAccount"], login["LogInAccountType"], login["Password"]) == ("u1", "0", "pw")
    assert (login["MacAddress"], login["InnerIPAddress"], login["OuterIPAddress"], login["OuterPort"]) == \
        ("00-11-22-33-44-55", "10.0.0.2", "203.0.113.9", 4321)
    assert (login["TerminalInfo"], login["UserProductInfo"]) == ("PC;IIP=10.0.0.2", "tcprod")
    assert req["security"]["fields"]["SecurityID"] == "" and req["security"]["fields"]["ExchangeID"] == ""
    assert req["shareholder"]["fields"]["InvestorID"] == "u1"          # InvestorID defaults to UserID
    account = req["account"]["fields"]
    assert (account["InvestorID"], account["CurrencyID"]) == ("u1", "CNY")
    md = req["md"]["fields"]
    assert (req["md"]["side"], md["LogInAccount"], md["LogInAccountType"], md["Password"]) == ("md", "u1", "0", "pw")

    events = general(r)
    ids = [e["id"] for e in events]
    assert ids == [LOGIN_TRADER] + [QRY_SECURITY] * len(SECURITIES) + [QRY_SHAREHOLDER] * 2 + \
        [QRY_ACCOUNT, TRADER_READY, LOGIN_MD, MD_READY]     # first login of the process: no DayRolling
    by_id = {}
    for e in events:
        by_id.setdefault(e["id"], []).append(e)
    login_event = by_id[LOGIN_TRADER][0]
    assert login_event["types"] == ["int", "int", "bool", "int", "str", "str"]
    assert login_event["address"] != 0 and login_event["last"] and login_event["error"] == 0
    assert login_event["user"] == "u1"
    assert (login_event["record"]["FrontID"], login_event["record"]["SessionID"],
            login_event["record"]["TradingDay"]) == (5, 77, "20240102")
    assert [e["last"] for e in by_id[QRY_SECURITY]] == [False] * (len(SECURITIES) - 1) + [True]
    assert [e["record"]["SecurityID"] for e in by_id[QRY_SECURITY]] == [s["SecurityID"] for s in SECURITIES]
    assert by_id[QRY_ACCOUNT][0]["record"]["Available"] == 250000.0
    for ready in (by_id[TRADER_READY][0], by_id[MD_READY][0]):
        assert (ready["address"], ready["last"], ready["error"], ready["message"], ready["user"]) == \
            (0, True, 0, "", "u1")
    assert by_id[TRADER_READY][0]["md_logins_before"] == 0
    # Events come on the engine's and the SDK's threads, never on the thread blocked in loop.
    assert all(e["thread"] != r["main"] for e in events)


def test_subscriptions_before_md_ready_and_snapshots_as_records():
    out = run_scenario(r'''
eng = Engine("u1")
kept = {}

def on_md(entry, snap):
    # Read through the proxy the processor was handed (the engine holds the record's lock).
    entry["proxy"] = {"class": type(snap).__name__, "owned": bool(snap.thisown), "address": int(snap.this),
                      "StandardID": snap.StandardID, "ExchangeID": snap.ExchangeID, "OpenPrice": snap.OpenPrice,
                      "LastPrice": snap.LastPrice, "Volume": snap.Volume, "AveragePrice": snap.AveragePrice}
    kept.setdefault(snap.StandardID, snap)
eng.hooks["md"] = on_md

def script():
    # Before the security list is loaded an ID without exchange is recorded as unknown ("U").
    result["before"] = [tc.subscribe(eng.handle, ["000002", "999999"])]
    eng.prepare()
    eng.wait_event(tc.ENUM_EventID_TraderReady)
    # The market-data side is not working yet: everything is recorded, nothing is sent.
    result["before"] += [tc.subscribe(eng.handle, ["600000", "600036"], "1"),
                         tc.subscribe(eng.handle, ["000001"], "2"),
                         tc.subscribeOne(eng.handle, "600000", "1"),            # again: no change
                         tc.subscribe(eng.handle, ["600519"], "SHFE")]          # not an exchange of ours
    md = eng.request("ReqUserLogin", side="md")
    result["sent_before_md_ready"] = eng.broker.request_count("SubscribeMarketData")
    eng.broker.push_md("OnRspUserLogin", {"TradingDay": TRADING_DAY}, request_id=md["requestID"])
    eng.wait_event(tc.ENUM_EventID_MdReady)
    first = eng.request("SubscribeMarketData", side="md")
    second = eng.request("SubscribeMarketData", side="md")
    result["no_third"] = eng.no_request("SubscribeMarketData", side="md", within=0.4)
    result["subscriptions"] = sorted([[first["exchangeID"], sorted(first["securities"])],
                                      [second["exchangeID"], sorted(second["securities"])]])

    eng.snapshot("600000", "1", OpenPrice=10.0, PreClosePrice=9.9, LastPrice=10.1, Volume=1000, Turnover=10100.0,
                 UpperLimitPrice=10.89, LowerLimitPrice=8.91, BidPrice1=10.09, AskPrice1=10.11, AskVolume1=300,
                 UpdateTime="09:30:03", TradingDay="20240102")
    eng.snapshot("000001", "2", OpenPrice=12.0, LastPrice=12.1)
    eng.snapshot("600000", "1", OpenPrice=11.0, PreClosePrice=9.0, LastPrice=10.2, Volume=3000, Turnover=30500.0,
                 UpperLimitPrice=10.89, LowerLimitPrice=8.91, BidPrice1=10.19, AskPrice1=10.21, AskVolume1=500,
                 UpdateTime="09:30:06", TradingDay="20240103")
    eng.wait_until(lambda: len(eng.entries(kind="md")) >= 3, "three snapshots")
    eng.drain()
    # Outside the processor the record is read under its lock, and still holds the last snapshot.
    snap = kept["600000"]
    tc.getMarketDataLock(snap)
    result["later"] = {"LastPrice": snap.LastPrice, "OpenPrice": snap.OpenPrice, "AskVolume1": snap.AskVolume1}
    tc.releaseMarketDataLock(snap)

run(script, eng)
result["md"] = eng.entries(kind="md")
''')
    r = out.result
    assert r["before"] == [0, 0, 0, 0, 0]
    assert r["sent_before_md_ready"] == 0
    # Right after MdReady: one request per exchange; the ID recorded as unknown is looked up again
    # in the security list loaded since (000002 is a Shenzhen share), the one still unknown is
    # dropped, and "SHFE" was never recorded.
    assert r["subscriptions"] == [["1", ["600000", "600036"]], ["2", ["000001", "000002"]]]
    assert r["no_third"]

    md = r["md"]
    assert [e["id"] for e in md] == [10021, 10021, 10021]
    first, other, second = md
    assert first["address"] == second["address"] != other["address"]
    assert first["proxy"]["class"] == "CQNMarketDataField" and not first["proxy"]["owned"]
    assert first["proxy"]["address"] == first["address"]
    assert (first["proxy"]["StandardID"], first["proxy"]["ExchangeID"]) == ("600000", "1")
    assert (first["proxy"]["OpenPrice"], first["proxy"]["LastPrice"], first["proxy"]["Volume"]) == (10.0, 10.1, 1000)
    assert first["proxy"]["AveragePrice"] == pytest.approx(10.1)
    # The second snapshot keeps the first one's open price, previous close and trading day and
    # takes everything else.
    s = second["record"]
    assert (s["OpenPrice"], s["PreClosePrice"], s["TradingDay"]) == (10.0, 9.9, "20240102")
    assert (s["LastPrice"], s["Volume"], s["Turnover"]) == (10.2, 3000, 30500.0)
    assert s["AveragePrice"] == pytest.approx(30500.0 / 3000)
    assert (s["BidPrice1"], s["AskPrice1"], s["AskVolume1"], s["UpdateTime"]) == (10.19, 10.21, 500, "09:30:06")
    assert (s["UpperLimitPrice"], s["LowerLimitPrice"]) == (10.89, 8.91)
    assert (other["record"]["StandardID"], other["record"]["ExchangeID"]) == ("000001", "2")
    assert r["later"] == {"LastPrice": 10.2, "OpenPrice": 10.0, "AskVolume1": 500}


def test_disconnection_reconnection_and_resubscription():
    out = run_scenario(r'''
eng = Engine("u1")

def script():
    eng.prepare(front_id=5, session_id=77)
    eng.wait_event(tc.ENUM_EventID_TraderReady)
    # Subscribed before MdReady, so that the login answer's re-send is the only sender (a
    # subscription made right after MdReady may go out twice: by itself and by the re-send).
    result["subscribe"] = tc.subscribe(eng.handle, ["600000"], "1")
    eng.md_login()
    eng.wait_event(tc.ENUM_EventID_MdReady)
    first = eng.request("SubscribeMarketData", side="md")
    result["first"] = [first["exchangeID"], first["securities"]]

    eng.broker.set_auto_accept(False)
    result["dropped"] = eng.broker.drop(sim.REASON_HEARTBEAT_TIMEOUT, side=sim.BOTH)
    eng.wait_event(tc.ENUM_TORAStockEventID_TraderDisconnected)
    eng.wait_event(tc.ENUM_TORAStockEventID_MdDisconnected)
    # While disconnected a new subscription is recorded and nothing is sent.
    result["while_down"] = tc.subscribe(eng.handle, ["600036"], "1")
    result["quiet_while_down"] = eng.no_request("SubscribeMarketData", side="md", within=0.3)

    result["accepted"] = eng.broker.accept(sim.BOTH)
    # The list is loaded already: no security query, until the new login's greater trading day
    # rolls the day and asks for the list once more, behind the queued preparation.
    seen = eng.prepare(front_id=6, session_id=88, day="20240103", securities=False)
    eng.wait_event(tc.ENUM_EventID_TraderReady, count=2)
    rolled = eng.request("ReqQrySecurity")
    eng.broker.push("OnRspQrySecurity", SECURITIES[0], request_id=rolled["requestID"])
    eng.md_login()
    eng.wait_event(tc.ENUM_EventID_MdReady, count=2)
    again = eng.request("SubscribeMarketData", side="md")
    result["again"] = [again["exchangeID"], sorted(again["securities"])]
    result["no_more"] = eng.no_request("SubscribeMarketData", side="md", within=0.3)
    result["trader_requests"] = eng.request_types()
    result["relogin"] = seen["ReqUserLogin"][0]["fields"]["LogInAccount"]

    # Orders carry the new session.
    order = tc.buyOpen(eng.handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0)
    result["order_session"] = [order.FrontID, order.SessionID]

run(script, eng)
result["log"] = eng.log
''')
    r = out.result
    assert r["subscribe"] == 0 and r["first"] == ["1", ["600000"]]
    assert r["dropped"] == 2
    events = general(r)
    ids = [e["id"] for e in events]
    down = {e["id"]: e for e in events if e["id"] in (TRADER_DISCONNECTED, MD_DISCONNECTED)}
    assert (down[TRADER_DISCONNECTED]["error"], down[TRADER_DISCONNECTED]["message"]) == \
        (REASON_HEARTBEAT_TIMEOUT, "Error:Trader Disconnected.")
    assert (down[MD_DISCONNECTED]["error"], down[MD_DISCONNECTED]["message"]) == \
        (REASON_HEARTBEAT_TIMEOUT, "Error:Md Disconnected.")
    assert down[TRADER_DISCONNECTED]["address"] == 0 and down[MD_DISCONNECTED]["address"] == 0
    assert r["while_down"] == 0 and r["quiet_while_down"]
    assert r["accepted"] == 2
    # The reconnection logs in again and prepares again (without the loaded security list); each
    # side is ready once per connection.
    assert r["trader_requests"] == ["ReqUserLogin", "ReqQrySecurity", "ReqQryShareholderAccount",
                                    "ReqQryTradingAccount", "ReqUserLogin", "ReqQryShareholderAccount",
                                    "ReqQryTradingAccount", "ReqQrySecurity"]
    assert r["relogin"] == "u1"
    assert ids.count(TRADER_READY) == 2 and ids.count(MD_READY) == 2
    assert ids.index(TRADER_DISCONNECTED) < len(ids) - 1 - ids[::-1].index(TRADER_READY)
    assert ids.index(MD_DISCONNECTED) < len(ids) - 1 - ids[::-1].index(MD_READY)
    # The first login stored the day; the greater day of the second rolled it, once.
    (roll,) = [e for e in events if e["id"] == DAY_ROLLING]
    assert (roll["message"], roll["error"], roll["address"], roll["last"]) == ("20240103", 0, 0, True)
    assert ids.index(DAY_ROLLING) == ids.index(LOGIN_TRADER, ids.index(TRADER_DISCONNECTED)) - 1
    # Everything recorded goes out again after the new MdReady, in one request for the exchange.
    assert r["again"] == ["1", ["600000", "600036"]]
    assert r["no_more"]
    assert r["order_session"] == [6, 88]


def test_exit_one_of_two_engines_then_the_other_and_loop_returns():
    out = run_scenario(r'''
a = Engine("a1")
b = Engine("b1")

def script():
    a.prepare()
    b.prepare()
    a.wait_event(tc.ENUM_EventID_TraderReady)
    b.wait_event(tc.ENUM_EventID_TraderReady)
    a.wait_loops(3)
    b.wait_loops(3)
    tc.exitX(a.handle)
    with a.cond:
        result["a_at_exit"] = a.loops
    with b.cond:
        b_at_exit = b.loops
    # b keeps running; a's thread ended at its next pass at the latest.
    b.wait_loops(b_at_exit + 10)
    with a.cond:
        result["a_later"] = a.loops
    result["b_ran"] = b.loops - b_at_exit
    # Orders still work on the running engine.
    result["order"] = tc.buyOpen(b.handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0) is not None
    tc.exitX(b.handle)

run(script, a, b)
# loop returned after both were told to exit; a second loop returns at once as well.
result["after_first_loop"] = True
tc.loop()
result["after_second_loop"] = True
''')
    r = out.result
    assert r["loop_returned"] and r["after_first_loop"] and r["after_second_loop"]
    assert r["a_later"] <= r["a_at_exit"] + 1
    assert r["b_ran"] >= 10
    assert r["order"]


def test_processor_takes_the_lock_of_the_record_it_is_handed_without_hanging():
    out = run_scenario(r'''
from helpers import lock_words
eng = Engine("u1")
snaps = {}
placed = {}

def on_md(entry, snap):
    other = snaps.get("000001")
    snaps.setdefault(snap.StandardID, snap)
    if snap.StandardID != "600000":
        return
    entry["held_by_engine"] = lock_words(snap)
    entry["get"] = tc.getMarketDataLock(snap)            # this thread holds it already: at once
    entry["during"] = lock_words(snap)
    entry["read"] = snap.LastPrice
    entry["release"] = tc.releaseMarketDataLock(snap)
    entry["after_release"] = lock_words(snap)            # still the engine's until it returns
    # Another record's lock works as usual inside a processor.
    tc.getMarketDataLock(other)
    entry["other_taken"] = lock_words(other)
    tc.releaseMarketDataLock(other)
    entry["other_released"] = lock_words(other)

def on_order(entry, order):
    entry["held_by_engine"] = lock_words(order)
    entry["get"] = tc.getOrderLock(order)
    entry["during"] = lock_words(order)
    entry["status"] = order.OrderStatus
    entry["release"] = tc.releaseOrderLock(order)
    entry["after_release"] = lock_words(order)

eng.hooks["md"] = on_md
eng.hooks["order"] = on_order

def script():
    eng.ready()
    eng.snapshot("000001", "2")
    eng.snapshot("600000", "1", LastPrice=10.3)
    eng.snapshot("600000", "1", LastPrice=10.4)
    eng.wait_until(lambda: len(eng.entries(kind="md")) >= 3, "three snapshots")
    order = tc.buyOpen(eng.handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0)
    placed["order"] = order
    eng.order_notice(order.OrderID, "3", OrderSysID="S1")
    eng.wait_event(tc.ENUM_OrderEventID_Accepted)
    eng.drain()
    snap = snaps["600000"]
    # After the deliveries both records are free, and their locks work from this thread.
    result["snap_after"] = lock_words(snap)
    result["order_after"] = lock_words(order)
    tc.getMarketDataLock(snap)
    result["snap_taken"] = lock_words(snap)
    tc.releaseMarketDataLock(snap)
    tc.getOrderLock(order)
    result["order_taken"] = lock_words(order)
    tc.releaseOrderLock(order)
    result["final"] = [lock_words(snap), lock_words(order)]
    # The next snapshot still arrives (the processor's release did not leave the lock in a bad state).
    eng.snapshot("600000", "1", LastPrice=10.5)
    eng.wait_until(lambda: len(eng.entries(kind="md")) >= 4, "a fourth snapshot")

run(script, eng)
result["md"] = [e for e in eng.entries(kind="md") if e["record"]["StandardID"] == "600000"]
result["orders"] = eng.entries(kind="order")
''')
    r = out.result
    held = [-1, 0]
    snaps = r["md"]
    assert len(snaps) == 3
    for e, price in zip(snaps, (10.3, 10.4, 10.5)):
        assert e["held_by_engine"] == held and e["during"] == held and e["after_release"] == held
        assert e["get"] == 0 and e["release"] == 0 and e["read"] == price
        assert e["other_taken"] == [-1, 0] and e["other_released"] == [0, 0]
    (accepted,) = r["orders"]
    assert accepted["held_by_engine"] == held and accepted["during"] == held and accepted["after_release"] == held
    assert accepted["status"] == "2"
    assert r["snap_after"] == [0, 0] and r["order_after"] == [0, 0]
    assert r["snap_taken"] == [-1, 0] and r["order_taken"] == [-1, 0]
    assert r["final"] == [[0, 0], [0, 0]]


def test_exceptions_in_processors_are_printed_and_the_next_event_arrives():
    out = run_scenario(r'''
eng = Engine("u1")
raised = {"md": 0, "event": 0, "order": 0, "loop": 0}

def boom(kind, text):
    raised[kind] += 1
    raise ValueError("%s processor failed %d: %s" % (kind, raised[kind], text))

def on_event(entry, record):
    if entry["id"] in (tc.ENUM_EventID_TraderReady, tc.ENUM_EventID_MdReady):
        boom("event", entry["name"])
def on_md(entry, snap):
    if snap.LastPrice == 10.1:
        boom("md", snap.StandardID)
def on_order(entry, order):
    if entry["id"] == tc.ENUM_OrderEventID_Accepted:
        boom("order", entry["name"])
def on_loop(entry, record):
    if raised["loop"] == 0:
        boom("loop", "first pass")

eng.hooks.update(event=on_event, md=on_md, order=on_order, loop=on_loop)

def script():
    eng.ready()
    loops = eng.loops
    eng.wait_loops(loops + 3)          # the loop processor carries on after raising
    eng.snapshot("600000", "1", LastPrice=10.1)
    eng.snapshot("600000", "1", LastPrice=10.2)
    eng.wait_until(lambda: len(eng.entries(kind="md")) >= 2, "the snapshot after the failing one")
    order = tc.buyOpen(eng.handle, "600000", 1000, tc.ENUM_OrderType_LimitAndWait, 10.0)
    eng.order_notice(order.OrderID, "3", OrderSysID="S1")
    eng.order_notice(order.OrderID, "1", OrderSysID="S1", VolumeTraded=300, VolumeTotal=700)
    eng.wait_event(tc.ENUM_OrderEventID_Traded)

run(script, eng)
result["raised"] = raised
result["names"] = eng.names()
''')
    r = out.result
    assert r["raised"] == {"md": 1, "event": 2, "order": 1, "loop": 1}
    names = r["names"]
    assert names.index("TraderReady") < names.index("MdReady")
    assert names[-2:] == ["Accepted", "Traded"]
    err = out.stderr
    for text in ("ValueError: event processor failed 1: TraderReady",
                 "ValueError: event processor failed 2: MdReady",
                 "ValueError: md processor failed 1: 600000",
                 "ValueError: order processor failed 1: Accepted",
                 "ValueError: loop processor failed 1: first pass"):
        assert err.count(text) == 1, text
    assert err.count("Traceback (most recent call last)") == 5


# A valid GB2312 message, then one with invalid bytes: a stray 0xFF, a lone 0x80 and a lead byte
# followed by an ASCII letter.
VALID_GB2312 = "持仓查询成功".encode("gb2312")
INVALID_GB2312 = "部分".encode("gb2312") + b"\xff" + "数据".encode("gb2312") + b"\x80ok\xb0A"


def test_broker_messages_are_decoded_from_gb2312_dropping_invalid_bytes():
    assert INVALID_GB2312.decode("gb2312", "ignore") == "部分数据okA"
    out = run_scenario(r'''
eng = Engine("u1")
VALID = %r
INVALID = %r

def script():
    eng.ready()
    q = tc.CQNQueryCommandField()
    q.ExchangeID = "1"
    result["added"] = tc.addTask(eng.handle, tc.ENUM_TORAStockTaskID_QryPosition, q, 1, 0, 0, False, -1)
    req = eng.request("ReqQryPosition")
    eng.broker.push("OnRspQryPosition", {"SecurityID": "600000", "ExchangeID": "1"}, error_id=0,
                    error_msg=VALID, request_id=req["requestID"], is_last=False)
    eng.broker.push("OnRspQryPosition", None, error_id=40, error_msg=INVALID,
                    request_id=req["requestID"], is_last=True)
    eng.wait_until(lambda: len(eng.entries(tc.ENUM_TORAStockTaskID_QryPosition)) >= 2, "two answers")
    # The same bytes as the market-data side's login error.
    eng.broker.drop(sim.REASON_READ_FAILED, side=sim.MD)
    md = eng.request("ReqUserLogin", side="md")
    eng.broker.push_md("OnRspUserLogin", None, error_id=41, error_msg=INVALID, request_id=md["requestID"])
    eng.wait_until(lambda: [e for e in eng.entries(tc.ENUM_TORAStockTaskID_LoginMd) if e["error"] == 41],
                   "the refused market-data login")

run(script, eng)
result["answers"] = eng.entries(tc.ENUM_TORAStockTaskID_QryPosition)
result["md_login"] = [e for e in eng.entries(tc.ENUM_TORAStockTaskID_LoginMd) if e["error"] == 41]
''' % (VALID_GB2312, INVALID_GB2312))
    r = out.result
    assert r["added"] == 0
    first, last = r["answers"]
    assert (first["message"], first["error"], first["last"]) == ("持仓查询成功", 0, False)
    assert first["record"]["SecurityID"] == "600000"
    assert (last["message"], last["error"], last["last"], last["address"]) == ("部分数据okA", 40, True, 0)
    (md,) = r["md_login"]
    assert md["message"] == "部分数据okA" and md["types"][4] == "str"
