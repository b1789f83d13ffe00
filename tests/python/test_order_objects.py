"""What the order calls hand back, and the simulated broker's request log switched off.

Each order call gives a CQNOrderField that reads the engine's record in place and never owns it;
the record stays valid after the object is gone, and later events carry the same address. With
its request log off, the simulated broker still receives, counts and refuses requests as told,
but keeps no copy (the order-entry benchmark runs that way).

Each test runs one scenario in a child interpreter (see scripted.py)."""
from scripted import run_scenario


def test_order_calls_return_record_objects_that_do_not_own_the_record():
    out = run_scenario(r'''
eng = Engine("u1", run_id=1000)

def script():
    eng.ready(front_id=5, session_id=77)
    h = eng.handle
    cls = tc.CQNOrderField
    class_names = sorted(vars(cls))
    made = {
        "buyOpen": tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1"),
        "sellClose": tc.sellClose(h, "000001", 200, tc.ENUM_OrderType_LimitAndWait, 12.5, "2", "1",
                                  tc.ENUM_OffsetFlag_Close),
        "insertOrder": tc.insertOrder(h, "1", "600000", "0", "0", 300, "231", 10.5),
    }
    result["kinds"] = {name: [type(o) is cls, o.thisown, o.this.own(), o.OrderID, o.StandardID]
                       for name, o in made.items()}
    result["class_unchanged"] = sorted(vars(cls)) == class_names
    result["no_record"] = [tc.buyClose(h, "600000", 100, "0", 10.0, "1"), tc.sellOpen(h, "600000", 100, "0", 10.0, "1")]

    buy = made["buyOpen"]
    address = int(buy.this)
    result["lock"] = [tc.getOrderLock(buy), tc.releaseOrderLock(buy)]
    result["text"] = tc.toText(tc.ENUM_OrderEventID_Accepted, buy, True, ",", 2)
    del made, buy
    # The record outlives every object made for it; the event carries the same address.
    eng.order_notice(1001, "3", front_id=5, session_id=77, OrderSysID="S1")
    eng.wait_event(tc.ENUM_OrderEventID_Accepted)
    accepted = eng.entries(tc.ENUM_OrderEventID_Accepted)[0]
    result["event_address"] = accepted["address"] == address
    again = tc.record(tc.ENUM_OrderEventID_Accepted, address)
    result["again"] = [type(again).__name__, again.OrderID, again.OrderStatus, again.thisown]

run(script, eng)
''')
    r = out.result
    assert r["kinds"] == {"buyOpen": [True, False, False, 1001, "600000"],
                          "sellClose": [True, False, False, 1002, "000001"],
                          "insertOrder": [True, False, False, 1003, "600000"]}
    assert r["class_unchanged"]
    assert r["no_record"] == [None, None]
    assert r["lock"] == [0, 0]
    assert "OrderID:1001" in r["text"]
    assert r["event_address"]
    assert r["again"] == ["CQNOrderField", 1001, "2", False]


def test_orders_reach_a_broker_whose_request_log_is_off():
    out = run_scenario(r'''
eng = Engine("u1", run_id=1000)

def script():
    eng.ready(front_id=5, session_id=77)
    h, b = eng.handle, eng.broker
    b.clear_requests()
    result["log_default"] = b.request_log()
    b.set_request_log(False)
    result["log_after"] = b.request_log()
    before = b.requests_received()
    for _ in range(5):
        tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")
    result["received"] = b.requests_received() - before
    result["kept"] = [b.request_count(), b.requests(), b.wait_request("ReqOrderInsert", timeout=0.05)]
    # Refusals still apply: the engine marks the order rejected.
    b.set_next_return("ReqOrderInsert", -2)
    refused = tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")
    result["refused"] = [refused.OrderStatus, refused.ErrorID]
    b.set_request_log(True)
    kept = tc.buyOpen(h, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")
    request = eng.request("ReqOrderInsert")
    result["logged_again"] = [b.request_count("ReqOrderInsert"), request["fields"]["OrderRef"] == str(kept.OrderID)]
    result["received_total"] = b.requests_received() - before

run(script, eng)
''')
    r = out.result
    assert r["log_default"] is True and r["log_after"] is False
    assert r["received"] == 5
    assert r["kept"] == [0, [], None]
    assert r["refused"] == ["6", -1002200]
    assert r["logged_again"] == [1, True]
    assert r["received_total"] == 7


def test_a_dropped_order_object_is_handed_out_again_only_when_nobody_can_tell():
    out = run_scenario(r'''
import gc, weakref
eng = Engine("u1", run_id=1000)

def buy():
    return tc.buyOpen(eng.handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "1")

def script():
    eng.ready(front_id=5, session_id=77)
    checks = {}
    # Dropped at once: the next call may give the same object, but it reads the new record.
    first = buy()
    first_id, first_address = id(first), int(first.this)
    del first
    second = buy()
    checks["reused_reads_new"] = [id(second) == first_id, second.OrderID, int(second.this) != first_address]
    # Kept: a later call never changes it.
    third = buy()
    checks["kept"] = [second.OrderID, third.OrderID, second is not third, int(second.this) != int(third.this)]
    del second, third

    # Anything that still reaches a dropped object keeps it from being handed out again.
    held = buy()
    tagged_id = held.OrderID
    held.tag = "mine"
    del held
    fresh = buy()
    checks["attribute"] = [hasattr(fresh, "tag"), fresh.OrderID == tagged_id + 1]
    ref = weakref.ref(fresh)
    weak_id = fresh.OrderID
    del fresh
    after_weak = buy()
    checks["weakref"] = [ref() is None or ref().OrderID == weak_id, after_weak is not ref()]
    this = after_weak.this
    this_address = int(this)
    del after_weak
    after_this = buy()
    checks["this"] = [int(this) == this_address, int(after_this.this) != this_address]
    d = after_this.__dict__
    dict_id = after_this.OrderID
    del after_this
    after_dict = buy()
    checks["dict"] = [d["this"] is not after_dict.this, int(d["this"]) != int(after_dict.this),
                      tc.record(tc.ENUM_OrderEventID_Accepted, int(d["this"])).OrderID == dict_id]
    # Reading through a stale `this` still gives its own order.
    checks["this_record"] = tc.record(tc.ENUM_OrderEventID_Accepted, int(this)).OrderID
    checks["weak_id"] = weak_id
    # Every object handed out reads its own record, kept or not.
    objs = [buy() for _ in range(3)]
    checks["batch"] = [o.OrderID for o in objs]
    del objs
    singles = []
    for _ in range(3):
        singles.append(buy().OrderID)
    checks["singles"] = singles
    gc.collect()
    result.update(checks)

run(script, eng)
''')
    r = out.result
    assert r["reused_reads_new"] == [True, 1002, True]
    assert r["kept"] == [1002, 1003, True, True]
    assert r["attribute"] == [False, True]
    assert r["weakref"] == [True, True]
    assert r["this"] == [True, True]
    assert r["dict"] == [True, True, True]
    assert r["this_record"] == r["weak_id"] + 1
    first = r["batch"][0]
    assert r["batch"] == [first, first + 1, first + 2]
    assert r["singles"] == [first + 3, first + 4, first + 5]
