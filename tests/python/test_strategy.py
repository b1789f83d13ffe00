"""tradecore.strategy: which handlers reach init as processors, the record objects the handlers
receive, init failures, and whole sessions against the simulated paper broker (in a fresh
interpreter each: engines are process-wide and loop runs every one of them)."""
import json

import pytest

from helpers import address_of, run_python
from tradecore import strategy
from tradecore.strategy import Strategy, StrategyError, make_login


class Recorder(Strategy):
    def __init__(self):
        super().__init__()
        self.calls = []

    def on_order(self, event, order):
        self.calls.append(("order", event, order))

    def on_snapshot(self, event, snapshot):
        self.calls.append(("snapshot", event, snapshot))

    def on_event(self, event, record, is_last, error_id, message, user_id):
        self.calls.append(("event", event, record, is_last, error_id, message, user_id))

    def on_loop(self):
        self.calls.append(("loop",))


class TestProcessors:
    def test_handlers_not_overridden_leave_their_events_to_the_default_printer(self, tc):
        import builtins
        texts = []
        order = tc.CQNOrderField()
        order.OrderID = 7
        order_processor, event_processor, loop_processor, _ = Strategy().processors()
        tc.setEventTextProcessor(texts.append)
        try:
            order_processor(tc.ENUM_OrderEventID_Accepted, address_of(order))
            event_processor(tc.ENUM_EventID_TraderReady, 0, True, 0, "", "u1")
            loop_processor()
        finally:
            tc.setEventTextProcessor(builtins.print)
        # The very texts the engine prints for an engine side without processors.
        assert texts[0].startswith("-------\nEventName:Accepted.\nQNOrderField>>>\n") and "OrderID:7" in texts[0]
        assert texts[1].startswith("-------\nEventName:TraderReady,EventID:10003,UserID:u1,")
        assert len(texts) == 2

    def test_order_and_snapshot_processors_hand_over_record_objects(self, tc):
        s = Recorder()
        order_processor, _, _, snapshot_processor = s.processors()
        order = tc.CQNOrderField()
        order.OrderID = 42
        snapshot = tc.CQNMarketDataField()
        snapshot.StandardID = "600000"
        order_processor(tc.ENUM_OrderEventID_Traded, address_of(order))
        snapshot_processor(tc.ENUM_SnapDataEventID_MarketData, address_of(snapshot))
        (_, e1, got_order), (_, e2, got_snapshot) = s.calls
        assert (e1, e2) == (10011, 10021)
        assert isinstance(got_order, tc.CQNOrderField) and address_of(got_order) == address_of(order)
        assert got_order.OrderID == 42
        assert isinstance(got_snapshot, tc.CQNMarketDataField) and got_snapshot.StandardID == "600000"
        # The handler's object reads the engine's record in place and never frees it.
        assert not got_order.thisown
        order.OrderID = 43
        assert got_order.OrderID == 43

    def test_event_processor_arguments(self, tc):
        s = Recorder()
        _, event_processor, loop_processor, _ = s.processors()
        transfer = tc.CQNTransferAssetField()
        transfer.Amount = 5.5
        broker_record = tc.CQNQueryCommandField()  # any memory stands in for a broker record here
        event_processor(tc.ENUM_TORAStockEventID_PeripheryTransferCash, address_of(transfer), True, 0, "", "u1")
        event_processor(tc.ENUM_TORAStockTaskID_QryTradingAccount, address_of(broker_record), False, 0, "ok", "u1")
        event_processor(tc.ENUM_EventID_TraderReady, 0, True, 0, "", "u1")
        event_processor(tc.ENUM_TORAStockEventID_MdDisconnected, 0, True, 4097, "Error:Md Disconnected.", "u1")
        loop_processor()
        transfer_call, answer_call, ready_call, disconnect_call, loop_call = s.calls
        assert isinstance(transfer_call[2], tc.CQNTransferAssetField) and transfer_call[2].Amount == 5.5
        assert transfer_call[3:] == (True, 0, "", "u1")
        # A broker record arrives as a bare wrapped pointer that toText/getFields/as_dict accept.
        assert int(answer_call[2]) == address_of(broker_record)
        assert answer_call[3:] == (False, 0, "ok", "u1")
        assert ready_call[1:] == (10003, None, True, 0, "", "u1")
        assert disconnect_call[2] is None and disconnect_call[4:6] == (4097, "Error:Md Disconnected.")
        assert loop_call == ("loop",)


class TestLogin:
    def test_make_login(self, tc):
        login = make_login("u1", "pw", trader_front="sim://x", base_path="/tmp/flows", LoopGap=5000, IDRange=10)
        assert (login.UserID, login.Password, login.UserType) == ("u1", "pw", tc.ENUM_UserType_TORAStock)
        assert login.TraderFrontAddress == login.MdFrontAddress == "sim://x"
        assert (login.BasePath, login.LoopGap, login.IDRange) == ("/tmp/flows", 5000, 10)
        # The simulated broker answers at once: short task gaps; a real front keeps the engine's.
        assert (login.TaskExecuteGap, login.TaskFailedGap) == (10000, 1000000)
        real = make_login("u1", trader_front="tcp://10.0.0.1:6500", TaskFailedGap=5)
        assert (real.TaskExecuteGap, real.TaskFailedGap, real.TaskExecuteTimeout) == (-1, 5, 0)
        # init gives up on a front after 10 s unless told otherwise; None waits for as long as it takes.
        assert (login.ConnectTimeout, make_login("u1", connect_timeout=2.5).ConnectTimeout) == (10000000, 2500000)
        assert make_login("u1", connect_timeout=None).ConnectTimeout == 0
        assert make_login("u1", md_front="sim://md").MdFrontAddress == "sim://md"
        with pytest.raises(AttributeError):
            make_login("u1", NoSuchField=1)

    def test_refused_login_raises_with_the_engine_code(self, tc):
        s = Strategy()
        with pytest.raises(StrategyError) as err:
            s.start(make_login(""))  # no UserID: refused before anything is created
        assert err.value.error_id == tc.ENUM_ErrorID_InvalidUserID
        assert tc.cvar.ENUM_ErrorMsg_InvalidUserID in str(err.value)
        assert s.handle is None


def test_threading_rule_is_documented():
    doc = strategy.__doc__
    for phrase in ("engine's threads", "SDK", "one at a time", "GIL", "must therefore not block"):
        assert phrase in doc


SESSION = r"""
import json, tempfile, threading
import tradecore
from tradecore.events import as_dict, event_name
from tradecore.strategy import Strategy, make_login

class Session(Strategy):
    def __init__(self):
        super().__init__()
        self.seen = {"events": [], "orders": [], "snapshots": 0, "loops": 0, "threads": set()}
        self.order = None
        self.account = None
        self.traded = False

    def on_event(self, event, record, is_last, error_id, message, user_id):
        self.seen["threads"].add(threading.get_ident())
        self.seen["events"].append(event_name(event))
        if event == tradecore.ENUM_TORAStockTaskID_QryTradingAccount and record is not None and self.account is None:
            self.account = as_dict(event, record)

    def on_loop(self):
        self.seen["loops"] += 1
        if self.seen["loops"] == 1:
            tradecore.subscribe(self.handle, ["600000"])
        # Not from on_order: the order may trade before the buyOpen in on_snapshot has returned it.
        if self.traded and self.order is not None:
            self.stop()

    def on_snapshot(self, event, snapshot):
        self.seen["snapshots"] += 1
        if self.order is None:
            self.order = tradecore.buyOpen(self.handle, snapshot.StandardID, 100,
                                           tradecore.ENUM_OrderType_LimitAndWait, snapshot.AskPrice1)

    def on_order(self, event, order):
        # self.order may not be set yet: buyOpen lets events through before it returns.
        self.seen["orders"].append((event_name(event), int(order.this), isinstance(order, tradecore.CQNOrderField)))
        if order.OrderStatus == tradecore.ENUM_OrderStatus_AllTraded:
            self.traded = True

s = Session()
main = threading.get_ident()
s.run(make_login("st", "pw", trader_front="sim://paper-strategy-test", base_path=tempfile.mkdtemp(),
                 TaskExecuteGap=50000, LoopGap=10000), duration=60)
print(json.dumps({"events": s.seen["events"], "orders": s.seen["orders"], "snapshots": s.seen["snapshots"],
                  "loops": s.seen["loops"], "on_main_thread": main in s.seen["threads"],
                  "order": int(s.order.this) if s.order is not None else None,
                  "account": s.account}))
"""


class TestSession:
    def test_a_strategy_trades_against_the_paper_broker(self, ext):
        proc = run_python(SESSION, timeout=120)
        result = json.loads(proc.stdout.strip().splitlines()[-1])
        assert "TraderReady" in result["events"] and "MdReady" in result["events"]
        assert "QryTradingAccount" in result["events"]
        assert result["loops"] >= 1 and result["snapshots"] >= 1
        # Every order event was about our order, as its record object.
        names = [name for name, _, _ in result["orders"]]
        assert all(address == result["order"] and is_record for _, address, is_record in result["orders"])
        assert names[0] == "Accepted" and "Traded" in names
        assert not result["on_main_thread"]
        # The broker's trading-account answer, read with as_dict inside the handler.
        account = result["account"]
        assert list(account) == ext.getFields(12215, None).split(",")
        assert isinstance(account["AccountID"], str) and account["AccountID"]
        assert isinstance(account["Available"], float) and account["Available"] > 0

    def test_the_demo_runs_a_whole_session(self):
        proc = run_python("import sys\nfrom tradecore.demo import main\nsys.exit(main(['--seconds', '4']))",
                          timeout=120)
        out = proc.stdout
        assert "EventName:TraderReady" in out      # the engine's own printer, left on
        assert "EventName:QryPosition" in out and "EventName:QryTradingAccount" in out
        assert "[snapshot]" in out and "[order] Accepted" in out and "[order] Canceled" in out
        assert "session summary" in out and "orders by final status:" in out
        assert "Canceled 1" in out and "AllTraded" in out
        assert "cash transfer" in out and "succeeded" in out
