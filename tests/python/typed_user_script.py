"""A small strategy written the way a user with a strict type checker writes one. It is never
run: test_stubs.py has mypy --strict and pyright's strict mode check it against the stubs."""
from typing import List, Optional

import tradecore
from tradecore import sim
from tradecore.events import as_dict, event_name
from tradecore.strategy import OrderRequest, Strategy, StrategyError, make_login


class Limited(Strategy):
    run_id = 7

    def __init__(self) -> None:
        super().__init__()
        self.orders: List[tradecore.CQNOrderField] = []
        self.codes: List[str] = ["600000", "000001"]

    def on_start(self) -> None:
        assert isinstance(self.handle, tradecore.EngineHandle)
        tradecore.subscribe(self.handle, self.codes)                 # a plain List[str]
        self.subscribe(self.codes, tradecore.ENUM_ExchangeID_SSE)

    def on_snapshot(self, event: int, snapshot: tradecore.CQNMarketDataField) -> None:
        order: Optional[tradecore.CQNOrderField] = tradecore.buyOpen(
            self.handle, snapshot.StandardID, 100, tradecore.ENUM_OrderType_LimitAndWait, snapshot.AskPrice1,
            tradecore.ENUM_ExchangeID_SSE, tradecore.ENUM_Direction_Buy)
        if order is not None:
            self.orders.append(order)
        self.sell(snapshot.StandardID, 100, snapshot.BidPrice1, tradecore.ENUM_OrderType_BestLimitAndWait)

    def on_order(self, event: int, order: tradecore.CQNOrderField) -> None:
        text: str = tradecore.toText(event, order, True, " || ", 2)
        fields = as_dict(event, order)
        if order.OrderStatus == tradecore.ENUM_OrderStatus_Accepted and event_name(event) == "Accepted":
            tradecore.cancelOrder(self.handle, order.ExchangeID, order.StandardID, order.OrderSysID, order.OrderID)
        print(text, fields)

    def on_event(self, event: int, record: object, is_last: bool, error_id: int, message: str, user_id: str) -> None:
        if event == tradecore.ENUM_TORAStockTaskID_QryTradingAccount and record is not None:
            query = tradecore.CQNQueryCommandField()
            query.ExchangeID = tradecore.ENUM_ExchangeID_SZSE
            tradecore.addTask(self.handle, tradecore.ENUM_TORAStockTaskID_QryPosition, query, 1, -1, -1, False, -1)

    def before_order(self, request: OrderRequest) -> None:
        if request.volume > 10000:
            raise ValueError("too large")

    def on_stop(self, reason: str) -> None:
        transfer = tradecore.transferCash(self.handle, tradecore.ENUM_TransferFlag_CashToBank, 1.0, "", "1", "")
        if transfer is not None and transfer.TransferStatus == tradecore.ENUM_TransferStatus_Succeed:
            print(transfer.Amount)


def main() -> int:
    tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
    broker = sim.Broker("sim://typed", sim.PAPER, config={"cash": 1e6})
    broker.set_snapshots_per_second(5.0)
    broker.set_request_log_limit(1000)
    try:
        reason: Optional[str] = Limited().run(make_login("typed", connect_timeout=5), duration=2.0)
    except StrategyError as e:
        print(e.error_id, e.message)
        return 1
    handle = tradecore.init(1, make_login("raw"), None, None, lambda: None, None)
    tradecore.exitX(handle)
    print(reason, tradecore.getMessageByErrorID(tradecore.ENUM_ErrorID_InvalidTraderInstance), broker.orders())
    return 0
