"""A small strategy written the way a user with a strict type checker writes one. It is never
run: test_stubs.py has mypy --strict and pyright's strict mode check it against the stubs."""
from typing import List, Optional

import tradecore
from tradecore import sim
from tradecore.book import Book, Cash, Difference, KillSwitch, Position
from tradecore.events import as_dict, event_name
from tradecore.risk import Limits, Refusal, RiskRefused
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


class Booked(Strategy):
    limits = Limits(max_order_volume=1000, price_band=0.02)
    kill_on_interrupt = True

    def on_loop(self) -> None:
        book = self.book
        assert book is not None
        held: Position = book.position("600000")
        cash: Cash = book.cash
        if held.sellable >= 100 and cash.pnl > -1000.0:
            try:
                self.sell(held.security, 100, held.mark, exchange_id=held.exchange)
            except RiskRefused as refused:
                print(refused.refusal.check, refused.refusal.detail, refused.refusal.error_id)
        for order in book.open_orders():
            if order.status == tradecore.ENUM_OrderStatus_Accepted and not order.this_run:
                self.cancel(order)
        book.set_limits(max_open_orders=5)
        book.limits = book.limits._replace(max_daily_loss=2000.0)
        why: Optional[Refusal] = book.last_refusal
        print(why, [p.volume for p in book.positions()])

    def on_difference(self, difference: Difference) -> None:
        print(difference.kind, difference.key, difference.book - difference.broker)
        kill: KillSwitch = self.kill()
        kill.wait(1.0)


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
    book = Book(limits=Limits(max_open_orders=10), reconcile_every=None)
    booked = tradecore.init(2, make_login("booked"), *book.processors(None, None, lambda: None, None))
    book.attach(booked)
    Booked().run(make_login("typed", connect_timeout=5), duration=2.0)
    print(reason, tradecore.getMessageByErrorID(tradecore.ENUM_ErrorID_InvalidTraderInstance), broker.orders())
    return 0
