"""Properties of the module surface under arbitrary input: every function and every record
setter, given any arguments, answers with a result or one of the exceptions the module documents
(TypeError, OverflowError, ValueError, AttributeError), never a crash; a live engine keeps
trading after such a barrage; and processors that raise, block for a while or call the engine
back (orders, cancels, tasks, the lock of the record they are handed) leave it working.

Cases that start engines run in a fresh interpreter (engines, run mode and the text processor
are process-wide); a crash there fails the case with the child's output."""
import json
import math

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from helpers import run_python
from tables import RECORDS

DOCUMENTED = (TypeError, OverflowError, ValueError, AttributeError)

SETTINGS = settings(max_examples=150, deadline=None, derandomize=True,
                    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])

texts = st.one_of(
    st.text(max_size=40),
    st.text(alphabet=st.characters(min_codepoint=0xD800, max_codepoint=0xDFFF), max_size=3),  # lone surrogates
    st.text(alphabet="\x00abc\u4e2d", max_size=300),  # NULs, CJK, longer than any field
)
numbers = st.one_of(
    st.integers(),
    st.integers(min_value=-2**31, max_value=2**31 - 1),
    st.sampled_from([0, -1, 1, 2**31 - 1, -2**31, 2**31, 2**63 - 1, -2**63, 2**63, 2**64]),
    st.floats(allow_nan=True, allow_infinity=True),
    st.sampled_from([0.0, -0.0, 1e308, -1e308, 5e-324]),
)


def scalars():
    return st.one_of(st.none(), st.booleans(), numbers, texts, st.binary(max_size=40),
                     st.sampled_from(["", "0", "1", "a", "\u00e9", "00", "\x00"]))


def values():
    return st.one_of(scalars(), st.lists(scalars(), max_size=5), st.tuples(scalars(), scalars()),
                     st.builds(object), st.builds(dict))


def call(function, args):
    """Calls with the arguments; only the documented exceptions may come out."""
    try:
        return function(*args)
    except DOCUMENTED:
        return None


# Functions that take the engine handle first, with their argument counts after it.
ACCOUNT_FUNCTIONS = {
    "subscribeOne": (1, 2), "subscribe": (1, 2), "unsubscribeOne": (1, 2), "unsubscribe": (1, 2),
    "buyOpen": (4, 6), "sellClose": (4, 8), "sellOpen": (4, 7), "buyClose": (4, 8),
    "insertOrder": (7, 9), "cancelOrder": (4, 6), "cancelOrderByOrderID": (1, 1),
    "cancelOrderByStandardID": (0, 2), "transferCash": (5, 7), "transferPosition": (3, 6),
    "queryBankAccountCash": (3, 3), "updatePassword": (3, 3), "addTask": (1, 7),
}


# The declared argument kinds after the handle: s text, i int, L 64-bit int, d double, c char,
# b bool, q query record, l list of texts.
SIGNATURES = {
    "subscribeOne": "ss", "subscribe": "ls", "unsubscribeOne": "ss", "unsubscribe": "ls",
    "buyOpen": "sicdsc", "sellClose": "sicdsccs", "sellOpen": "sicdscc", "buyClose": "sicdsccs",
    "insertOrder": "ssccisdcs", "cancelOrder": "sssiii", "cancelOrderByOrderID": "i",
    "cancelOrderByStandardID": "ss", "transferCash": "cdsssss", "transferPosition": "cissss",
    "queryBankAccountCash": "sss", "updatePassword": "css", "addTask": "iqiLLbL",
}
CODES = ["600000", "000001", "510050", "1", "2", "U", ""]
KINDS = {
    "s": st.one_of(st.sampled_from(CODES), texts, st.none()),
    "i": st.one_of(st.integers(min_value=-2**31, max_value=2**31 - 1), st.sampled_from([0, 1, 100, -100, 2**31 - 1])),
    "L": st.one_of(st.integers(min_value=-2**63, max_value=2**63 - 1), st.sampled_from([-1, 0, 1000])),
    "d": st.one_of(st.floats(allow_nan=True, allow_infinity=True), st.sampled_from([10.0, 10.01, -1.0, 0.0])),
    "c": st.one_of(st.sampled_from(list("0123456789abcdefqz") + ["", None]), st.integers(-128, 127)),
    "b": st.booleans(),
    "q": st.none(),
    "l": st.lists(st.one_of(st.sampled_from(CODES), texts, st.binary(max_size=12)), max_size=6),
}


@st.composite
def account_calls(draw):
    """Arbitrary values half of the time, values of the declared kinds (any value of that kind)
    the other half, so that calls also get past the conversions into the engine."""
    name = draw(st.sampled_from(sorted(ACCOUNT_FUNCTIONS)))
    if draw(st.booleans()):
        signature = SIGNATURES[name]
        return name, [draw(KINDS[kind]) for kind in signature]
    low, high = ACCOUNT_FUNCTIONS[name]
    count = draw(st.integers(min_value=max(0, low - 1), max_value=high + 1))
    return name, [draw(values()) for _ in range(count)]


@SETTINGS
@given(account_calls(), st.one_of(st.none(), values()))
def test_account_functions_without_an_engine_answer_or_raise_documented_errors(ext, case, handle):
    name, args = case
    call(getattr(ext, name), [handle] + args)


@SETTINGS
@given(st.sampled_from(["getMessageByErrorID", "getVersion", "getInitError", "setTimeAnchor",
                        "getTimeElapse", "getFields", "toText", "exitX"]),
       st.lists(values(), max_size=6))
def test_helpers_answer_or_raise_documented_errors(ext, name, args):
    if name == "exitX" and args and args[0] is None:
        args = args[1:] or [object()]   # exitX(None) would stop every engine of this process
    call(getattr(ext, name), args)


@SETTINGS
@given(st.integers(), st.booleans(), st.one_of(st.none(), texts), numbers)
def test_to_text_of_any_event_and_format(ext, event_id, with_names, separator, precision):
    # A null record renders empty whatever the event; the record kinds are tried below.
    if call(ext.toText, [event_id, None, with_names, separator, precision]) is not None:
        assert ext.toText(event_id, None, with_names, separator, precision) == ""
    call(ext.getFields, [event_id, None])


@SETTINGS
@given(st.booleans(), st.one_of(st.none(), texts),
       st.one_of(st.integers(min_value=-2**31, max_value=2**31 - 1), st.sampled_from([-1, 0, 17, 340, 4096])))
def test_to_text_renders_records_of_their_own_kind_with_any_format(tc, with_names, separator, precision):
    order = tc.CQNOrderField()
    order.OriginalPrice = float("nan")
    order.Turnover = float("inf")
    for event_id, record in ((10011, order), (10021, tc.CQNMarketDataField())):
        text = call(tc.toText, [event_id, record, with_names, separator, precision])
        assert text is None or isinstance(text, str)


@SETTINGS
@given(st.sampled_from(["getOrderLock", "releaseOrderLock", "getMarketDataLock", "releaseMarketDataLock"]),
       values())
def test_lock_functions_take_only_their_record_kind(ext, name, argument):
    # Any object but a record of the right kind (or None) is refused before the engine sees it.
    call(getattr(ext, name), [argument])


FIELDS = [(record, field, ctype) for record, fields in RECORDS.items() for field, ctype, _ in fields]


@SETTINGS
@given(st.sampled_from(FIELDS), values())
def test_record_setters_keep_the_field_valid(tc, target, value):
    record_name, field, ctype = target
    record = getattr(tc, record_name)()
    try:
        setattr(record, field, value)
    except DOCUMENTED:
        return
    read = getattr(record, field)
    if ctype.startswith("char["):
        size = int(ctype[5:-1])
        assert isinstance(read, str)
        if value is None:
            assert read == ""
        elif isinstance(value, str) and "\x00" not in value:
            assert read == value and len(value.encode("utf-8", "surrogateescape")) < size
    elif ctype in ("int", "long long"):
        assert read == int(value)
    elif ctype == "double":
        assert (math.isnan(read) and math.isnan(value)) or read == float(value)
    elif ctype == "bool":
        assert read is value
    elif ctype == "char":
        assert isinstance(read, str) and len(read) == 1


# --- a live engine ------------------------------------------------------------------------------

LIVE = r'''
import json, sys, tempfile, threading, time
import tradecore as tc
from tradecore import sim
from tradecore.strategy import make_login

broker = sim.Broker("sim://props", sim.PAPER, config={"snapshotsPerSecond": 20})
events = {"order": 0, "accepted": 0, "traded": 0, "other": 0, "md": 0, "raised": 0, "reentered": 0}
handle = None
ready = threading.Event()
records = []

def started():
    return handle is not None and events["accepted"] > 0
'''

LIVE_START = r'''
login = make_login("props", base_path=tempfile.mkdtemp(), LoopGap=2000, TaskExecuteGap=0)
handle = tc.init(1, login, on_order, on_event, on_loop, on_md)
assert handle is not None, tc.getInitError()
loop_thread = threading.Thread(target=tc.loop)
loop_thread.start()

def wait(predicate, seconds=30):
    end = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > end:
            raise AssertionError("timed out; events %r" % events)
        time.sleep(0.01)

wait(lambda: ready.is_set())
tc.subscribe(handle, ["600000", "000001"])
'''

LIVE_END = r'''
# Still working: a fresh order is accepted and trades against the paper market.
before = events["traded"]
for _ in range(3):
    tc.buyOpen(handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 11.0, "1")
wait(lambda: events["traded"] > before)
tc.exitX(handle)
loop_thread.join(30)
assert not loop_thread.is_alive(), "loop did not return after exitX"
broker.drain()
print(json.dumps(events))
'''


def run_live(body, handlers):
    proc = run_python(LIVE + handlers + LIVE_START + body + LIVE_END, timeout=240)
    return json.loads(proc.stdout.strip().splitlines()[-1]), proc


PLAIN_HANDLERS = r'''
def on_order(event, address):
    events["order"] += 1
    if event == tc.ENUM_OrderEventID_Accepted:
        events["accepted"] += 1
    if event == tc.ENUM_OrderEventID_Traded:
        events["traded"] += 1
def on_event(event, address, is_last, error_id, message, user_id):
    events["other"] += 1
    if event == tc.ENUM_EventID_MdReady:
        ready.set()
def on_loop():
    pass
def on_md(event, address):
    events["md"] += 1
'''


def test_live_engine_survives_arbitrary_arguments():
    result, _ = run_live(r'''
from hypothesis import HealthCheck, given, settings, strategies as st
sys.path.insert(0, %r)
import test_properties as props

@settings(max_examples=300, deadline=None, derandomize=True,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
@given(props.account_calls())
def barrage(case):
    name, args = case
    props.call(getattr(tc, name), [handle] + args)

barrage()
''' % (__file__.rsplit("/", 1)[0],), PLAIN_HANDLERS)
    print("live engine after the barrage:", result)
    assert result["traded"] > 0


def test_processors_that_raise_block_or_reenter_keep_the_engine_working():
    result, proc = run_live(r'''
# Trading for a while with the difficult processors, from this thread too.
end = time.monotonic() + 4
while time.monotonic() < end:
    o = tc.buyOpen(handle, "600000", 100, tc.ENUM_OrderType_LimitAndWait, 10.0 + (int(end * 100) % 5) / 100, "1")
    if o is not None:
        tc.getOrderLock(o)
        _ = (o.OrderStatus, o.TradedVolume)
        tc.releaseOrderLock(o)
    time.sleep(0.02)
''', r'''
counter = [0]
def on_order(event, address):
    events["order"] += 1
    counter[0] += 1
    record = tc.record(event, address) if hasattr(tc, "record") else None
    if event == tc.ENUM_OrderEventID_Accepted:
        events["accepted"] += 1
    if event == tc.ENUM_OrderEventID_Traded:
        events["traded"] += 1
    if record is not None:
        # The lock of the record being handed over is already ours.
        tc.getOrderLock(record)
        _ = record.OrderID
        tc.releaseOrderLock(record)
    n = counter[0] % 6
    if n == 0:
        events["raised"] += 1
        raise RuntimeError("processor failure %d" % counter[0])
    if n == 1:
        time.sleep(0.05)
    if n == 2 and record is not None:
        events["reentered"] += 1
        tc.cancelOrderByOrderID(handle, record.OrderID)
    if n == 3:
        events["reentered"] += 1
        tc.buyOpen(handle, "000001", 100, tc.ENUM_OrderType_LimitAndWait, 10.0, "2")
    if n == 4:
        events["reentered"] += 1
        tc.addTask(handle, tc.ENUM_TORAStockTaskID_QryTradingAccount)
def on_event(event, address, is_last, error_id, message, user_id):
    events["other"] += 1
    if event == tc.ENUM_EventID_MdReady:
        ready.set()
    if events["other"] % 7 == 0:
        events["raised"] += 1
        raise ValueError("event processor failure")
def on_loop():
    if ready.is_set() and int(time.monotonic() * 1000) % 50 == 0:
        raise KeyError("loop processor failure")
def on_md(event, address):
    events["md"] += 1
    snap = tc.record(event, address) if hasattr(tc, "record") else None
    if snap is not None:
        tc.getMarketDataLock(snap)
        _ = snap.LastPrice
        tc.releaseMarketDataLock(snap)
    if events["md"] % 5 == 0:
        events["raised"] += 1
        raise RuntimeError("market-data processor failure")
    if events["md"] % 11 == 0:
        time.sleep(0.03)
''')
    print("difficult processors:", result)
    assert result["raised"] > 0 and result["reentered"] > 0
    assert result["traded"] > 0 and result["md"] > 0
    # Every exception was printed with its traceback, and the process went on.
    assert "processor failure" in proc.stderr
