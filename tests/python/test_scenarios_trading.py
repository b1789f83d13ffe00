"""Trading against the scripted simulated broker, driven from Python: order entry (record fields
read through CQNOrderField, the insert request, identifiers shared with transfers, refused sends,
rejected submissions), order notifications and trades moving the record and the usable cash,
cancels, cash transfers, and query tasks; then a strategy trading on the paper broker end to end,
its records checked against the broker's ledger.

Each test runs one scenario in a child interpreter (see scripted.py): engines live for the whole
process and loop runs all of them."""
import json

import pytest

from helpers import run_python
from scripted import run_scenario

CASH = 1000000.0
FRONT, SESSION = 5, 77


def names(entries):
    return [e["name"] for e in entries]


def test_order_entry_records_requests_and_identifiers():
    out = run_scenario(r'''
eng = Engine("u1", run_id=1000, MacAddress="00-11-22-33-44-55", OuterIPAddress="203.0.113.9",
             TerminalInfo="PC;IIP=10.0.0.2", HDSerial="HD-1")
returned = set()

def on_order(entry, order):
    entry["returned_before"] = order.OrderID in returned
eng.hooks["order"] = on_order

def script():
    eng.ready(front_id=5, session_id=77)
    eng.snapshot("600000", "1", BidPrice1=10.09, AskPrice1=10.11, UpperLimitPrice=11.0, LowerLimitPrice=9.0)
    eng.wait_until(lambda: eng.entries(kind="md"), "the snapshot")
    h = eng.handle

    buy = tc.buyOpen(h, "600000", 1000, tc.ENUM_OrderType_LimitAndWait, 10.0)     # exchange from the directory
    returned.add(buy.OrderID)
    result["buy_class"] = [type(buy).__name__, bool(buy.thisown)]
    result["buy"] = read_order(buy)
    result["buy_request"] = eng.request("ReqOrderInsert")

    transfer = tc.transferCash(h, tc.ENUM_TransferFlag_CashFromBank, 500.0, "apw", "B", "bpw")
    result["transfer_id"] = transfer.TransferID

    sell = tc.sellClose(h, "000001", 200, tc.ENUM_OrderType_LimitAndWait, 12.5, "2", "1", tc.ENUM_OffsetFlag_Close)
    returned.add(sell.OrderID)
    result["sell"] = read_order(sell)
    result["sell_request"] = eng.request("ReqOrderInsert")

    best = tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_BestLimitAndWait, 0.0, "1")   # priced at the ask
    returned.add(best.OrderID)
    result["best"] = read_order(best)
    result["best_request"] = eng.request("ReqOrderInsert")

    result["no_record"] = [tc.buyClose(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1"),
                           tc.sellOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")]

    eng.broker.set_next_return("ReqOrderInsert", -2)
    refused = tc.buyOpen(h, "600000", 300, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")
    returned.add(refused.OrderID)
    result["refused"] = read_order(refused)
    eng.request("ReqOrderInsert")       # logged, though refused
    result["inserts"] = eng.broker.request_count("ReqOrderInsert")

    # The usable cash after the two opening orders, as the next notification reports it.
    eng.order_notice(sell.OrderID, "3", front_id=5, session_id=77, OrderSysID="S2", Direction="1")
    eng.wait_event(tc.ENUM_OrderEventID_Accepted)

    # The exchange rejects the first buy: its 10000 come back. The broker's text is GB2312.
    eng.order_notice(buy.OrderID, "3", front_id=5, session_id=77, OrderSubmitStatus="4", OrderSysID="S1",
                     InsertTime="09:30:01", StatusMsg="资金不足".encode("gb2312"))
    eng.wait_until(lambda: len(eng.entries(tc.ENUM_OrderEventID_InsertRejected)) >= 2, "the exchange's rejection")
    result["buy_rejected"] = read_order(buy)
    result["buy_rejected_text"] = broker_text(buy.Message)

    # A market-priced order for a security without a snapshot is priced at -1 and sent as it is.
    blind = tc.buyOpen(h, "600036", 100, tc.ENUM_OrderType_BestLimitAndWait, 0.0, "1")
    result["blind"] = read_order(blind)
    result["blind_request"] = eng.request("ReqOrderInsert")

run(script, eng)
result["orders"] = eng.entries(kind="order")
''')
    r = out.result
    assert r["buy_class"] == ["CQNOrderField", False]
    buy = r["buy"]
    # RunID 1000: the first order is 1001; the transfer takes 1002 from the same sequence.
    assert (buy["OrderID"], r["transfer_id"], r["sell"]["OrderID"], r["best"]["OrderID"],
            r["refused"]["OrderID"], r["blind"]["OrderID"]) == (1001, 1002, 1003, 1004, 1005, 1006)
    assert (buy["ExchangeID"], buy["StandardID"], buy["OrderMark"]) == ("1", "600000", 0)
    assert (buy["OrderType"], buy["Direction"], buy["OffsetFlag"], buy["IsBuyFromMarket"]) == ("0", "0", "0", True)
    assert (buy["CombineOrderType"], buy["OriginalPrice"], buy["IsLimitOrder"], buy["OriginalVolume"]) == \
        ("231", 10.0, True, 1000)
    assert (buy["TradingDay"], buy["UserID"], buy["FrontID"], buy["SessionID"]) == ("20240102", "u1", 5, 77)
    assert buy["OrderStatus"] == "\x00" and buy["ErrorID"] == 0 and buy["Message"] == ""
    assert buy["OrderLocalTime"] > 0

    req = r["buy_request"]
    f = req["fields"]
    assert req["requestID"] == 1001 and req["returned"] == 0
    assert (f["SecurityID"], f["OrderRef"], f["OrderPriceType"], f["Direction"], f["CombOffsetFlag"]) == \
        ("600000", "1001", "2", "0", "0")
    assert (f["LimitPrice"], f["VolumeTotalOriginal"], f["TimeCondition"], f["VolumeCondition"]) == \
        (10.0, 1000, "3", "1")
    assert (f["ExchangeID"], f["ShareholderID"]) == ("1", "A000000001")
    assert (f["IPAddress"], f["MacAddress"], f["TerminalInfo"], f["HDSerial"]) == \
        ("203.0.113.9", "00-11-22-33-44-55", "PC;IIP=10.0.0.2", "HD-1")

    sell, sf = r["sell"], r["sell_request"]["fields"]
    assert (sell["Direction"], sell["OffsetFlag"], sell["IsBuyFromMarket"], sell["ExchangeID"]) == ("1", "1", False, "2")
    assert (sf["Direction"], sf["CombOffsetFlag"], sf["ExchangeID"], sf["ShareholderID"], sf["LimitPrice"]) == \
        ("1", "1", "2", "0000000002", 12.5)

    best, bf = r["best"], r["best_request"]["fields"]
    assert (best["CombineOrderType"], best["OriginalPrice"], best["IsLimitOrder"]) == ("231", 10.11, True)
    assert (bf["OrderPriceType"], bf["LimitPrice"]) == ("2", 10.11)

    assert r["no_record"] == [None, None]
    refused = r["refused"]
    assert (refused["OrderStatus"], refused["ErrorID"]) == ("6", -1002200)
    assert refused["Message"] == ("TORATrader InsertOrder Failed. UserID:u1,ExchangeID:1,StandardID:600000,"
                                  "OrderID:1005,Direction:0,Volume:300,OrderType:0,Price:10.000000,"
                                  "ErrorID:-1002200,ErrorMsg:Error:Fail To Send..")
    assert r["inserts"] == 4

    orders = r["orders"]
    first_reject = orders[0]
    # The refused send's InsertRejected came before buyOpen returned, with the record as returned.
    assert (first_reject["name"], first_reject["record"]["OrderID"], first_reject["returned_before"]) == \
        ("InsertRejected", 1005, False)
    accepted = orders[1]
    assert (accepted["name"], accepted["record"]["OrderID"], accepted["record"]["OrderStatus"]) == \
        ("Accepted", 1003, "2")
    # Opening orders set cash aside (10000 and 1011); the closing one and the refused one do not.
    assert accepted["record"]["UseableCash"] == pytest.approx(CASH - 10000.0 - 1011.0)

    rejected = r["buy_rejected"]
    assert (rejected["OrderStatus"], rejected["ErrorID"], rejected["OrderSysID"], rejected["InsertTime"]) == \
        ("6", -1002700, "S1", "09:30:01")
    assert rejected["UseableCash"] == pytest.approx(CASH - 1011.0)     # the 10000 came back
    assert r["buy_rejected_text"] == ("TORAStockTrader InsertOrder Failed. UserID:u1,ExchangeID:1,StandardID:600000,"
                                      "OrderID:1001,Direction:0,Volume:1000,OrderType:0,Price:10.000000,"
                                      "ErrorID:-1002700,ErrorMsg:资金不足.")
    assert (orders[2]["name"], orders[2]["record"]["OrderID"]) == ("InsertRejected", 1001)

    blind, bl = r["blind"], r["blind_request"]["fields"]
    assert (blind["OriginalPrice"], bl["LimitPrice"], blind["ExchangeID"]) == (-1.0, -1.0, "1")


def test_order_notifications_trades_and_usable_cash():
    out = run_scenario(r'''
eng = Engine("u1", run_id=1000)

def script():
    eng.ready(front_id=5, session_id=77)
    h = eng.handle
    order = tc.buyOpen(h, "600000", 1000, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")
    oid = order.OrderID
    note = lambda status, **kw: eng.order_notice(oid, status, front_id=5, session_id=77, OrderSysID="S1",
                                                 InsertTime="09:30:00", **kw)
    note("3", VolumeTraded=0, VolumeTotal=1000)
    note("1", VolumeTraded=300, VolumeTotal=700)
    note("1", VolumeTraded=300, VolumeTotal=700)              # a repeat: nothing new
    note("5", VolumeTraded=300, VolumeTotal=0, CancelTime="09:35:00")
    eng.drain()
    result["after_cancel"] = read_order(order)
    result["cancel_inactive"] = tc.cancelOrderByOrderID(h, oid)
    # A second "5" delivers nothing; its snapshot fields show the refund of 700 x 10.00.
    note("5", VolumeTraded=300, VolumeTotal=0, CancelTime="09:36:00", RtnIntInfo=4200)
    eng.drain()
    result["after_second_cancel"] = read_order(order)
    # The broker's own figure, when it sends one, replaces the engine's.
    note("5", VolumeTraded=300, VolumeTotal=0, RtnFloatInfo=500000.0)
    eng.drain()
    result["broker_cash"] = read_order(order)["UseableCash"]
    result["first_events"] = eng.entries(kind="order")

    # Two trades of 100 at 10.00 and 10.20 on an order of 200 at 10.20.
    two = tc.buyOpen(h, "600000", 200, tc.ENUM_OrderType_LimitAndWait, 10.2, "1")
    tid = two.OrderID
    eng.order_notice(tid, "3", front_id=5, session_id=77, OrderSysID="S2", RtnFloatInfo=100000.0)
    eng.broker.push("OnRtnTrade", {"OrderRef": str(tid), "OrderSysID": "S2", "TradeID": "T1", "Price": 10.0,
                                   "Volume": 100, "ExchangeID": "1", "SecurityID": "600000"})
    eng.broker.push("OnRtnTrade", {"OrderRef": str(tid), "OrderSysID": "OTHER", "TradeID": "T9", "Price": 99.0,
                                   "Volume": 100})            # another order's trade: ignored
    eng.broker.push("OnRtnTrade", {"OrderRef": str(tid), "OrderSysID": "S2", "TradeID": "T2", "Price": 10.2,
                                   "Volume": 100, "ExchangeID": "1", "SecurityID": "600000"})
    eng.order_notice(tid, "0", front_id=5, session_id=77, OrderSysID="S2", VolumeTraded=200, VolumeTotal=0)
    eng.drain()
    result["two"] = read_order(two)
    result["two_cancel"] = tc.cancelOrderByOrderID(h, tid)     # all traded: no longer active

    # After a reconnection the order still answers to the session it went out on; the same
    # reference under any other session (the new login's included) is not this order.
    third = tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")
    eng.order_notice(third.OrderID, "3", front_id=5, session_id=77, OrderSysID="S3")
    eng.wait_until(lambda: [e for e in eng.entries(kind="order") if e["record"]["OrderID"] == third.OrderID],
                   "the third order's acceptance")
    eng.broker.drop(sim.REASON_READ_FAILED, side=sim.TRADER)
    eng.prepare(front_id=6, session_id=88, securities=False, cash=300000.0)
    eng.wait_event(tc.ENUM_EventID_TraderReady, count=2)
    eng.order_notice(third.OrderID, "1", front_id=5, session_id=77, OrderSysID="S3", VolumeTraded=50)
    eng.order_notice(third.OrderID, "0", front_id=6, session_id=88, OrderSysID="S3", VolumeTraded=100)
    eng.broker.push("OnRtnTrade", {"OrderRef": str(third.OrderID), "OrderSysID": "S3", "TradeID": "T3",
                                   "Price": 9.9, "Volume": 50})
    eng.order_notice(third.OrderID, "1", front_id=0, session_id=0, OrderSysID="S3", VolumeTraded=60)
    eng.drain()
    result["third"] = read_order(third)
    result["third_events"] = [e["name"] for e in eng.entries(kind="order") if e["record"]["OrderID"] == third.OrderID]

run(script, eng)
result["two_events"] = [e for e in eng.entries(kind="order") if e["record"]["OrderID"] == result["two"]["OrderID"]]
''')
    r = out.result
    first = r["first_events"]
    assert names(first) == ["Accepted", "Traded", "Canceled"]
    accepted, traded, canceled = (e["record"] for e in first)
    assert (accepted["OrderStatus"], accepted["OrderSysID"], accepted["InsertTime"], accepted["UpdateTime"]) == \
        ("2", "S1", "09:30:00", "09:30:00")
    assert accepted["UseableCash"] == pytest.approx(CASH - 10000.0)
    assert (traded["OrderStatus"], traded["TradedVolume"], traded["TradedVolumeChange"], traded["TurnoverChange"]) == \
        ("3", 300, 300, 0.0)
    assert (canceled["OrderStatus"], canceled["CanceledVolume"], canceled["TradedVolume"], canceled["UpdateTime"]) == \
        ("5", 700, 300, "09:35:00")
    assert r["after_cancel"]["TradedVolumeChange"] == 0            # the repeat stored its change of 0
    assert r["cancel_inactive"] == -1
    second = r["after_second_cancel"]
    assert second["UseableCash"] == pytest.approx(CASH - 10000.0 + 7000.0)
    assert (second["UsableVolume"], second["UpdateTime"], second["CanceledVolume"]) == (4200, "09:35:00", 700)
    assert r["broker_cash"] == 500000.0

    two_events = r["two_events"]
    assert names(two_events) == ["Accepted", "UpdateCost", "UpdateCost", "Traded"]
    cost1, cost2 = two_events[1]["record"], two_events[2]["record"]
    assert (cost1["Turnover"], cost1["TradedVolumeOfTurnover"], cost1["AverageCost"], cost1["LastTradedPrice"]) == \
        (pytest.approx(1000.0), 100, pytest.approx(10.0), 10.0)
    assert (cost1["TurnoverChange"], cost1["TradedVolumeChangeOfTurnover"], cost1["TradedVolumeChange"]) == \
        (pytest.approx(1000.0), 100, 0)
    assert (cost2["Turnover"], cost2["TradedVolumeOfTurnover"], cost2["AverageCost"], cost2["LastTradedPrice"]) == \
        (pytest.approx(2020.0), 200, pytest.approx(10.10), 10.2)
    assert (cost2["TurnoverChange"], cost2["TradedVolumeChange"]) == (pytest.approx(1020.0), 0)
    done = two_events[3]["record"]
    assert (done["OrderStatus"], done["TradedVolume"], done["TurnoverChange"]) == ("4", 200, 0.0)
    # 100000 from the acceptance, plus what the first trade did not use: 100 x (10.20 - 10.00).
    assert done["UseableCash"] == pytest.approx(100000.0 + 20.0)
    assert r["two_cancel"] == -1

    third = r["third"]
    assert r["third_events"] == ["Accepted", "Traded", "UpdateCost", "Traded"]
    assert (third["TradedVolume"], third["TradedVolumeOfTurnover"], third["Turnover"]) == (60, 50, pytest.approx(495.0))
    assert (third["FrontID"], third["SessionID"]) == (5, 77)       # the order keeps the session it was sent in


def test_cancels_send_order_actions_for_active_orders():
    out = run_scenario(r'''
eng = Engine("u1", run_id=1000, MacAddress="00-11-22-33-44-55", OuterIPAddress="203.0.113.9",
             TerminalInfo="PC", HDSerial="HD-1")

def script():
    eng.prepare(front_id=5, session_id=77)
    eng.wait_event(tc.ENUM_EventID_TraderReady)
    h = eng.handle
    a = tc.buyOpen(h, "600000", 500, tc.ENUM_OrderType_LimitAndWait, 9.8, "1")
    result["before_accepted"] = tc.cancelOrderByOrderID(h, a.OrderID)
    result["unknown"] = tc.cancelOrderByOrderID(h, 4242)
    result["quiet"] = eng.no_request("ReqOrderAction", within=0.2)
    eng.order_notice(a.OrderID, "3", front_id=5, session_id=77, OrderSysID="S1")
    eng.wait_event(tc.ENUM_OrderEventID_Accepted)
    eng.drain()     # the order enters the active orders after its Accepted event has returned

    result["by_id"] = tc.cancelOrderByOrderID(h, a.OrderID)
    result["by_id_request"] = eng.request("ReqOrderAction")

    b = tc.sellClose(h, "000001", 300, tc.ENUM_OrderType_LimitAndWait, 12.0, "2", "1", "1")
    eng.order_notice(b.OrderID, "3", front_id=5, session_id=77, OrderSysID="S2", Direction="1")
    eng.wait_event(tc.ENUM_OrderEventID_Accepted, count=2)
    eng.drain()
    result["by_exchange"] = tc.cancelOrderByStandardID(h, "2", None)
    result["by_exchange_request"] = eng.request("ReqOrderAction")
    result["by_exchange_only_one"] = eng.no_request("ReqOrderAction", within=0.2)
    result["by_security"] = tc.cancelOrderByStandardID(h, None, "600000")
    result["by_security_request"] = eng.request("ReqOrderAction")["fields"]["OrderRef"]
    result["all"] = tc.cancelOrderByStandardID(h)
    result["all_requests"] = sorted(eng.request("ReqOrderAction")["fields"]["OrderRef"] for _ in range(2))
    eng.broker.set_next_return("ReqOrderAction", -3, times=2)
    result["refused_sum"] = tc.cancelOrderByStandardID(h)
    eng.broker.set_next_return("ReqOrderAction", -3)
    result["refused_one"] = tc.cancelOrderByOrderID(h, a.OrderID)
    # By its fields: FrontID and SessionID 0 take the engine's.
    result["explicit"] = tc.cancelOrder(h, "1", "600000", "S9", 777, 0, 0)
    actions = eng.broker.requests("ReqOrderAction")
    result["explicit_request"] = actions[-1]
    result["actions"] = len(actions)

    # The broker refuses the cancel: only the message changes.
    eng.broker.push("OnErrRtnOrderAction", {"OrderRef": str(a.OrderID), "OrderSysID": "S1", "ExchangeID": "1"},
                    error_id=16, error_msg="order already final")
    eng.wait_event(tc.ENUM_OrderEventID_CancelRejected)
    result["cancel_rejected"] = read_order(a)
    # Then it cancels: the order leaves the active orders.
    eng.order_notice(a.OrderID, "5", front_id=5, session_id=77, OrderSysID="S1", VolumeTraded=0, VolumeTotal=0)
    eng.wait_event(tc.ENUM_OrderEventID_Canceled)
    result["after_cancel"] = tc.cancelOrderByOrderID(h, a.OrderID)
    result["remaining"] = tc.cancelOrderByStandardID(h)
    result["remaining_request"] = eng.broker.requests("ReqOrderAction")[-1]["fields"]["OrderRef"]
    result["canceled"] = read_order(a)

run(script, eng)
''')
    r = out.result
    assert (r["before_accepted"], r["unknown"], r["quiet"]) == (-1, -1, True)
    assert r["by_id"] == 0
    req = r["by_id_request"]
    f = req["fields"]
    assert req["requestID"] == 1001
    assert (f["OrderRef"], f["FrontID"], f["SessionID"], f["ExchangeID"], f["OrderSysID"], f["ActionFlag"],
            f["SecurityID"]) == ("1001", 5, 77, "1", "S1", "0", "600000")
    assert (f["IPAddress"], f["MacAddress"], f["TerminalInfo"], f["HDSerial"]) == \
        ("203.0.113.9", "00-11-22-33-44-55", "PC", "HD-1")
    assert r["by_exchange"] == 0 and r["by_exchange_only_one"]
    bf = r["by_exchange_request"]["fields"]
    assert (bf["OrderRef"], bf["ExchangeID"], bf["OrderSysID"], bf["SecurityID"]) == ("1002", "2", "S2", "000001")
    assert (r["by_security"], r["by_security_request"]) == (0, "1001")
    assert (r["all"], r["all_requests"]) == (0, ["1001", "1002"])
    assert r["refused_sum"] == -6 and r["refused_one"] == -3
    assert r["explicit"] == 0
    ef = r["explicit_request"]["fields"]
    assert (ef["OrderRef"], ef["FrontID"], ef["SessionID"], ef["OrderSysID"], ef["ExchangeID"]) == \
        ("777", 5, 77, "S9", "1")
    assert r["actions"] == 9
    rej = r["cancel_rejected"]
    assert (rej["OrderStatus"], rej["ErrorID"]) == ("2", 0)
    assert rej["Message"] == ("TORATrader CancelOrder Failed. UserID:u1,ExchagneID:1,StandardID:600000,OrderID:1001,"
                              "Direction:0,Volume:500,OrderType:0,Price:9.800000,ErrorID:16,"
                              "ErrorMsg:order already final.")
    assert r["after_cancel"] == -1
    assert (r["remaining"], r["remaining_request"]) == (0, "1002")
    canceled = r["canceled"]
    assert (canceled["OrderStatus"], canceled["CanceledVolume"]) == ("5", 500)
    assert canceled["UseableCash"] == pytest.approx(CASH - 4900.0)   # taken before the refund


def test_cash_transfer_record_notification_and_query_tasks():
    out = run_scenario(r'''
eng = Engine("u1", run_id=1000)

def script():
    eng.prepare(front_id=5, session_id=77)
    eng.wait_event(tc.ENUM_EventID_TraderReady)
    h = eng.handle
    order = tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")    # 1000 set aside

    t = tc.transferCash(h, tc.ENUM_TransferFlag_CashFromBank, 1000.0, "apw", "B", "bpw", "12")
    result["transfer_class"] = type(t).__name__
    result["transfer"] = as_dict(tc.ENUM_TORAStockEventID_PeripheryTransferCash, t)
    result["transfer_address"] = int(t.this)
    result["transfer_request"] = eng.request("ReqTransferFund")
    bad = tc.transferCash(h, "K", 1.0, "apw", "B", "bpw")
    result["bad"] = as_dict(tc.ENUM_TORAStockEventID_PeripheryTransferCash, bad)
    result["bad_sent"] = not eng.no_request("ReqTransferFund", within=0.2)

    eng.broker.push("OnRtnTransferFund", {"FundSerial": "F100", "ApplySerial": str(t.TransferID),
                                          "TransferDirection": "7", "TransferStatus": "1", "Amount": 1000.0,
                                          "AccountID": "acc1", "CurrencyID": "CNY"})
    eng.wait_event(tc.ENUM_TORAStockEventID_PeripheryTransferCash)
    eng.order_notice(order.OrderID, "3", front_id=5, session_id=77, OrderSysID="S1")
    eng.wait_event(tc.ENUM_OrderEventID_Accepted)
    result["cash_after_transfer"] = read_order(order)["UseableCash"]

    # Query tasks: each sends its request with the task's fields, one at a time; every answer
    # record is one event and the last one completes the task.
    q = tc.CQNQueryCommandField()
    q.ExchangeID = "1"
    q.StandardID = "600000"
    q2 = tc.CQNQueryCommandField()
    q2.ExchangeID = "2"
    q2.StandardID = "000001"
    q2.BusinessID = "SYS7"
    result["added"] = [tc.addTask(h, tc.ENUM_TORAStockTaskID_QryPosition, q, 1, 0, 0, False, -1),
                       tc.addTask(h, tc.ENUM_TORAStockTaskID_QryOrder, q2, 1, 0, 0, False, -1)]
    pos = eng.request("ReqQryPosition")
    result["position_request"] = pos
    for i, sec in enumerate(("600000", "600036")):
        eng.broker.push("OnRspQryPosition", {"SecurityID": sec, "ExchangeID": "1", "InvestorID": "u1",
                                             "CurrentPosition": 100 * (i + 1), "AvailablePosition": 50 * (i + 1)},
                        request_id=pos["requestID"], is_last=False)
    eng.wait_until(lambda: len(eng.entries(tc.ENUM_TORAStockTaskID_QryPosition)) >= 2, "two answers")
    result["order_query_waits"] = eng.no_request("ReqQryOrder", within=0.3)
    eng.broker.push("OnRspQryPosition", {"SecurityID": "000001", "ExchangeID": "2", "InvestorID": "u1",
                                         "CurrentPosition": 300}, request_id=pos["requestID"], is_last=True)
    result["order_request"] = eng.request("ReqQryOrder")
    eng.broker.push("OnRspQryOrder", None, request_id=result["order_request"]["requestID"], is_last=True)
    eng.wait_event(tc.ENUM_TORAStockTaskID_QryOrder)

    # No handler for 12206; a refused send reports "Error:Fail To Send.".
    tc.addTask(h, tc.ENUM_TORAStockTaskID_QryNegoOrder, None, 1, 0, 0, False, -1)
    eng.wait_event(tc.ENUM_TORAStockTaskID_QryNegoOrder)
    eng.broker.set_next_return("ReqQryTrade", -5)
    tc.addTask(h, tc.ENUM_TORAStockTaskID_QryTrade, None, 1, 0, 0, False, -1)
    eng.wait_event(tc.ENUM_TORAStockTaskID_QryTrade)
    # The bank balance query answers as 12217 and completes its task: the next task follows.
    result["bank"] = tc.queryBankAccountCash(h, "apw", "B", "bpw")
    bank = eng.request("ReqInquiryBankAccountFund")
    result["bank_request"] = bank
    eng.broker.push("OnRspInquiryBankAccountFund", {"AccountID": "acc1", "BankID": "B", "Balance": 5000.0, "CurrencyID": "CNY"},
                    request_id=bank["requestID"])
    tc.addTask(h, tc.ENUM_TORAStockTaskID_QryTradingAccount, None, 1, 0, 0, False, -1)
    result["account_request"] = eng.request("ReqQryTradingAccount", timeout=5)
    eng.broker.push("OnRspQryTradingAccount", {"AccountID": "acc1", "Available": 1.0},
                    request_id=result["account_request"]["requestID"])
    eng.wait_event(tc.ENUM_TORAStockTaskID_QryTradingAccount, count=2)
    eng.drain()

run(script, eng)
result["events"] = [e for e in eng.entries(kind="event") if e["id"] not in
                    (tc.ENUM_TORAStockTaskID_LoginTrader, tc.ENUM_TORAStockTaskID_QrySecurity,
                     tc.ENUM_TORAStockTaskID_QryShareholderAccount)]
''')
    r = out.result
    t = r["transfer"]
    assert r["transfer_class"] == "CQNTransferAssetField"
    assert (t["TransferID"], t["TransferFlag"], t["Amount"], t["BankID"], t["ExternalNodeID"]) == \
        (1002, "Z", 1000.0, "B", "12")
    assert (t["FrontID"], t["SessionID"], t["ErrorID"], t["Message"]) == (5, 77, 0, "")
    req = r["transfer_request"]
    f = req["fields"]
    assert req["requestID"] == 1002
    assert (f["AccountID"], f["CurrencyID"], f["ApplySerial"], f["TransferDirection"], f["Amount"]) == \
        ("acc1", "CNY", "1002", "7", 1000.0)
    assert (f["DepartmentID"], f["BankID"], f["BankPassword"], f["AccountPassword"], f["ExternalNodeID"]) == \
        ("dep1", "B", "bpw", "apw", 12)
    bad = r["bad"]
    assert (bad["TransferID"], bad["ErrorID"], bad["Message"]) == (1003, -1003400, "Error:Invalid TransferFlag.")
    assert not r["bad_sent"]

    events = r["events"]
    by_id = {}
    for e in events:
        by_id.setdefault(e["id"], []).append(e)
    (notice,) = by_id[12011]
    assert notice["address"] == r["transfer_address"]
    assert (notice["last"], notice["error"], notice["message"], notice["user"]) == (True, 0, "", "u1")
    assert (notice["record"]["TransferStatus"], notice["record"]["BusinessID"], notice["record"]["TransferID"]) == \
        ("1", "F100", 1002)
    assert r["cash_after_transfer"] == pytest.approx(CASH - 1000.0 + 1000.0)

    assert r["added"] == [0, 0]
    pf = r["position_request"]["fields"]
    assert (pf["InvestorID"], pf["ExchangeID"], pf["SecurityID"]) == ("u1", "1", "600000")
    answers = by_id[12212]
    assert [(a["last"], a["record"]["SecurityID"]) for a in answers] == \
        [(False, "600000"), (False, "600036"), (True, "000001")]
    assert answers[1]["record"]["CurrentPosition"] == 200 and answers[1]["record"]["AvailablePosition"] == 100
    assert r["order_query_waits"]
    of = r["order_request"]["fields"]
    assert (of["InvestorID"], of["ExchangeID"], of["SecurityID"], of["OrderSysID"]) == ("u1", "2", "000001", "SYS7")
    (empty,) = by_id[12201]
    assert (empty["address"], empty["last"], empty["error"]) == (0, True, 0)
    (nego,) = by_id[12206]
    assert (nego["address"], nego["last"], nego["error"], nego["message"]) == \
        (0, True, -1003200, "Error:Invalid EventID.")
    (trade,) = by_id[12209]
    assert (trade["address"], trade["error"], trade["message"]) == (0, -5, "Error:Fail To Send.")
    assert r["bank"] == 0
    bf = r["bank_request"]["fields"]
    assert (bf["DepartmentID"], bf["AccountID"], bf["CurrencyID"], bf["BankID"], bf["BankPassword"]) == \
        ("dep1", "acc1", "CNY", "B", "bpw")
    (balance,) = by_id[12217]
    assert balance["record"]["Balance"] == 5000.0
    assert "Error:Response Timeout." not in [e["message"] for e in events]
    # A trading-account query while Working is delivered, and is no second TraderReady.
    assert len(by_id[12215]) == 2 and len(by_id[10003]) == 1


PAPER = r'''
import json, os, tempfile, threading
import tradecore as tc
from tradecore import sim
from tradecore.events import as_dict, event_name
from tradecore.strategy import Strategy, make_login

ADDRESS = "sim://paper-e2e/%d" % os.getpid()
broker = sim.Broker(ADDRESS, sim.PAPER, config={
    "cash": 1000000.0, "snapshotsPerSecond": 10, "seed": 11,
    "positions": [{"securityID": "600000", "exchangeID": "1", "volume": 1000}]})
FINAL = (tc.ENUM_OrderStatus_AllTraded, tc.ENUM_OrderStatus_Canceled, tc.ENUM_OrderStatus_Rejected)


class Trader(Strategy):
    """Places five orders on the first usable snapshot, cancels the two that rest, and stops
    once every order is final."""
    run_id = 500

    def __init__(self):
        super().__init__()
        self.orders = {}          # OrderID -> (role, record object buyOpen/sellClose returned)
        self.events = {}          # OrderID -> [event names], from the order handler
        self.cancels = {}         # OrderID -> cancelOrderByOrderID result
        self.subscribed = False
        self.placing = False      # the plan has begun (on one snapshot only)
        self.placed = False       # every order of the plan has been placed
        self.snapshots = 0
        self.ready = []

    def on_event(self, event, record, is_last, error_id, message, user_id):
        if event in (tc.ENUM_EventID_TraderReady, tc.ENUM_EventID_MdReady):
            self.ready.append(event_name(event))

    def on_snapshot(self, event, snapshot):
        self.snapshots += 1
        if self.placing or snapshot.StandardID != "600000" or not snapshot.AskPrice1 > 0:
            return
        self.placing = True
        h = self.handle
        upper, lower, bid = snapshot.UpperLimitPrice, snapshot.LowerLimitPrice, snapshot.BidPrice1
        plan = [
            ("marketable buy", lambda: tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, upper, "1")),
            ("resting buy", lambda: tc.buyOpen(h, "600000", 200, tc.ENUM_OrderType_LimitAndWait, lower, "1")),
            ("resting sell", lambda: tc.sellClose(h, "600000", 300, tc.ENUM_OrderType_LimitAndWait, upper, "1",
                                                  "1", tc.ENUM_OffsetFlag_Close)),
            ("marketable sell", lambda: tc.sellClose(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, lower, "1",
                                                     "1", tc.ENUM_OffsetFlag_Close)),
            ("odd lot", lambda: tc.buyOpen(h, "600000", 150, tc.ENUM_OrderType_LimitAndWait, bid, "1")),
        ]
        for role, place in plan:
            order = place()
            self.orders[order.OrderID] = (role, order)
        # on_loop runs while buyOpen has the GIL released: until now it would find only the orders
        # placed so far, all final perhaps, and stop the strategy before the rest are placed.
        self.placed = True

    def on_order(self, event, order):
        # The record may arrive before buyOpen has returned it: key by its id.
        self.events.setdefault(order.OrderID, []).append(event_name(event))

    def on_loop(self):
        if not self.subscribed:
            self.subscribed = True
            tc.subscribe(self.handle, ["600000"], "1")
        if not self.placed:
            return
        final = 0
        for oid, (role, order) in list(self.orders.items()):
            tc.getOrderLock(order)
            status = order.OrderStatus
            tc.releaseOrderLock(order)
            if status in FINAL:
                final += 1
            elif role.startswith("resting") and status == tc.ENUM_OrderStatus_Accepted and oid not in self.cancels:
                # -1 until the order is among the active ones (it enters them right after its
                # Accepted event): try again on the next pass.
                rc = tc.cancelOrderByOrderID(self.handle, oid)
                if rc != -1:
                    self.cancels[oid] = rc
        if final == len(self.orders):
            self.stop()


s = Trader()
s.run(make_login("sim", trader_front=ADDRESS, base_path=tempfile.mkdtemp(), TaskExecuteGap=10000, LoopGap=10000),
      duration=40)
broker.drain()
records = {}
for oid, (role, order) in s.orders.items():
    tc.getOrderLock(order)
    records[oid] = dict(as_dict(tc.ENUM_OrderEventID_Accepted, order), role=role)
    tc.releaseOrderLock(order)
print(json.dumps({"ready": s.ready, "snapshots": s.snapshots, "records": records, "events": s.events,
                  "cancels": s.cancels, "ledger": broker.orders(), "trades": broker.trades()}))
'''


def test_a_strategy_places_tracks_and_cancels_orders_on_the_paper_broker():
    proc = run_python(PAPER, timeout=90)
    r = json.loads(proc.stdout.strip().splitlines()[-1])
    assert r["ready"][:2] == ["TraderReady", "MdReady"]
    assert r["snapshots"] >= 1
    records = {int(k): v for k, v in r["records"].items()}
    events = {int(k): v for k, v in r["events"].items()}
    roles = {v["role"]: k for k, v in records.items()}
    assert sorted(records) == [501, 502, 503, 504, 505]
    assert set(roles) == {"marketable buy", "resting buy", "resting sell", "marketable sell", "odd lot"}

    # What the strategy saw.
    for role in ("marketable buy", "marketable sell"):
        rec = records[roles[role]]
        assert rec["OrderStatus"] == "4", role
        assert "Traded" in events[roles[role]] and "UpdateCost" in events[roles[role]], role
        assert rec["TradedVolume"] == rec["OriginalVolume"] == rec["TradedVolumeOfTurnover"]
        assert rec["AverageCost"] == pytest.approx(rec["Turnover"] / rec["TradedVolumeOfTurnover"])
    for role in ("resting buy", "resting sell"):
        oid = roles[role]
        assert r["cancels"][str(oid)] == 0
        assert records[oid]["OrderStatus"] == "5" and records[oid]["CanceledVolume"] == records[oid]["OriginalVolume"]
        assert events[oid][0] == "Accepted" and events[oid][-1] == "Canceled"
    odd = records[roles["odd lot"]]
    assert odd["OrderStatus"] == "6" and odd["ErrorID"] != 0
    assert set(events[roles["odd lot"]]) == {"InsertRejected"}

    # Every record agrees with the broker's ledger.
    ledger = {o["orderRef"]: o for o in r["ledger"]}
    assert sorted(ledger) == sorted(records)
    status_of = {"4": "0", "5": "5"}
    for oid, rec in records.items():
        led = ledger[oid]
        assert (led["securityID"], led["exchangeID"], led["direction"]) == \
            (rec["StandardID"], rec["ExchangeID"], rec["Direction"]), oid
        assert (led["volume"], led["limitPrice"]) == (rec["OriginalVolume"], pytest.approx(rec["OriginalPrice"])), oid
        assert (led["frontID"], led["sessionID"], led["requestID"]) == (rec["FrontID"], rec["SessionID"], oid), oid
        assert led["orderSysID"] == rec["OrderSysID"], oid
        assert led["tradedVolume"] == rec["TradedVolume"], oid
        if rec["OrderStatus"] == "6":
            assert led["submitStatus"] == "4" and led["errorID"] == rec["ErrorID"], oid
        else:
            assert led["orderStatus"] == status_of[rec["OrderStatus"]], oid
            assert led["cancelledVolume"] == rec["CanceledVolume"], oid
            assert led["turnover"] == pytest.approx(rec["Turnover"]), oid
    traded = {}
    for t in r["trades"]:
        traded[int(t["orderRef"])] = traded.get(int(t["orderRef"]), 0) + t["volume"]
    assert traded == {oid: rec["TradedVolumeOfTurnover"] for oid, rec in records.items() if rec["TradedVolume"]}
