"""A complete trading session against the simulated broker's paper front, in about ten seconds.

Run it with ``python -m tradecore.demo`` (or ``python examples/demo.py``). It logs in, subscribes
a few securities, watches their snapshots, places limit and market-type orders, cancels one,
runs a position and an account query, moves cash in from the bank, stops the engine and prints a
summary: orders by final status, traded volume, turnover and cash.

The strategy handles order events and snapshots itself and drives the session from
``on_loop``. It leaves the general events (login answers, TraderReady/MdReady, subscription and
query answers, transfers) to the engine's default printer, so the output shows what the engine
emits for them.

Options: ``--front ADDRESS`` (default ``sim://paper``), ``--seconds N`` (the session's length,
default 8), ``--quiet`` (run mode Release: the default printer then shows order events only).
"""

import argparse
import sys
import tempfile
import time

import tradecore
from tradecore.events import broker_text, event_name
from tradecore.strategy import Strategy, StrategyError, make_login

WATCH = ["600000", "000001", "600519"]

STATUS_NAMES = {
    tradecore.ENUM_OrderStatus_Cached: "Cached",
    tradecore.ENUM_OrderStatus_Accepted: "Accepted",
    tradecore.ENUM_OrderStatus_PartTraded: "PartTraded",
    tradecore.ENUM_OrderStatus_AllTraded: "AllTraded",
    tradecore.ENUM_OrderStatus_Canceled: "Canceled",
    tradecore.ENUM_OrderStatus_Rejected: "Rejected",
    "\0": "Sent",
}
TRANSFER_STATUS_NAMES = {
    tradecore.ENUM_TransferStatus_OutSideFrozen: "frozen outside",
    tradecore.ENUM_TransferStatus_Succeed: "succeeded",
    tradecore.ENUM_TransferStatus_Failed: "failed",
    tradecore.ENUM_TransferStatus_Repealed: "repealed",
    tradecore.ENUM_TransferStatus_RepealFailed: "repeal failed",
    tradecore.ENUM_TransferStatus_Canceled: "cancelled",
}
FINAL = {tradecore.ENUM_OrderStatus_AllTraded, tradecore.ENUM_OrderStatus_Canceled,
         tradecore.ENUM_OrderStatus_Rejected}


def status_name(code):
    return STATUS_NAMES.get(code, repr(code))


class Demo(Strategy):
    """The demo session. Everything happens in handlers on the engine's threads; each step is
    taken by ``on_loop`` once its time has come, so no handler ever waits."""

    def __init__(self, seconds):
        super().__init__()
        self.seconds = seconds
        self.started = None          # time of the first on_loop (the trader is Working)
        self.step = 0
        self.snapshots = {}          # StandardID -> number of snapshots seen
        self.quotes = {}             # StandardID -> (bid1, ask1, upper limit)
        self.orders = []             # (label, order record) in the order they were placed
        self.transfer = None
        self.cash = None             # the engine's usable cash, from the latest order event

    # --- handlers --------------------------------------------------------------------------

    def on_snapshot(self, event, snapshot):
        code = snapshot.StandardID
        seen = self.snapshots.get(code, 0) + 1
        self.snapshots[code] = seen
        self.quotes[code] = (snapshot.BidPrice1, snapshot.AskPrice1, snapshot.UpperLimitPrice)
        if seen == 1 or seen % 10 == 0:
            print("[snapshot] %s.%s #%d %s last %.2f bid %.2f x %d ask %.2f x %d volume %d"
                  % (code, snapshot.ExchangeID, seen, snapshot.UpdateTime, snapshot.LastPrice,
                     snapshot.BidPrice1, snapshot.BidVolume1, snapshot.AskPrice1, snapshot.AskVolume1,
                     snapshot.Volume))

    def on_order(self, event, order):
        if order.UseableCash:
            self.cash = order.UseableCash
        text = ("[order] %-14s #%d %s.%s %s %d @ %.2f status %s traded %d"
                % (event_name(event), order.OrderID, order.StandardID, order.ExchangeID,
                   "buy" if order.Direction == tradecore.ENUM_Direction_Buy else "sell",
                   order.OriginalVolume, order.OriginalPrice, status_name(order.OrderStatus),
                   order.TradedVolume))
        if event == tradecore.ENUM_OrderEventID_UpdateCost:
            text += " turnover %.2f average cost %.4f" % (order.Turnover, order.AverageCost)
        if order.ErrorID:
            text += " error %d %s" % (order.ErrorID, broker_text(order.Message))
        print(text)

    def on_loop(self):
        now = time.monotonic()
        if self.started is None:
            self.started = now
        elapsed = now - self.started
        h = self.handle
        if self.step == 0:
            print("[demo] trader ready; subscribing %s" % ", ".join(WATCH))
            tradecore.subscribe(h, WATCH)
            self.step = 1
        elif self.step == 1 and (len(self.quotes) == len(WATCH) or elapsed > 3):
            self.place_orders()
            self.step = 2
        elif self.step == 2 and elapsed > 0.4 * self.seconds:
            resting = self.orders[0][1]
            print("[demo] cancelling order #%d" % resting.OrderID)
            tradecore.cancelOrderByOrderID(h, resting.OrderID)
            print("[demo] position and account queries, cash transfer from the bank")
            tradecore.addTask(h, tradecore.ENUM_TORAStockTaskID_QryPosition)
            tradecore.addTask(h, tradecore.ENUM_TORAStockTaskID_QryTradingAccount)
            self.transfer = tradecore.transferCash(h, tradecore.ENUM_TransferFlag_CashFromBank, 50000.0,
                                                   "", "1", "")
            self.step = 3
        elif self.step == 3 and (elapsed > self.seconds or (elapsed > 0.7 * self.seconds and self.all_final())):
            print("[demo] %.1f s: stopping" % elapsed)
            self.step = 4
            self.stop()

    # --- steps -----------------------------------------------------------------------------

    def place_orders(self):
        h = self.handle
        bid, ask, upper = self.quotes.get("600000", (10.0, 10.01, 11.0))
        placed = [
            ("limit buy below the market (cancelled later)",
             tradecore.buyOpen(h, "600000", 100, tradecore.ENUM_OrderType_LimitAndWait, round(bid - 0.05, 2))),
            ("limit buy at the ask",
             tradecore.buyOpen(h, "600000", 200, tradecore.ENUM_OrderType_LimitAndWait, ask)),
            ("best-price buy (priced from the snapshot)",
             tradecore.buyOpen(h, "000001", 300, tradecore.ENUM_OrderType_BestLimitAndWait, 0.0)),
            ("SZSE market order, fill and kill the rest",
             tradecore.buyOpen(h, "000001", 100, tradecore.ENUM_OrderType_SZSE_AnyAndKill, 0.0)),
            ("limit buy above the daily limit (the broker refuses it)",
             tradecore.buyOpen(h, "600000", 100, tradecore.ENUM_OrderType_LimitAndWait, round(upper + 1, 2))),
        ]
        for label, order in placed:
            if order is None:
                print("[demo] %s: no order record" % label)
                continue
            print("[demo] placed #%d: %s" % (order.OrderID, label))
            self.orders.append((label, order))

    def all_final(self):
        return all(self.read(order)["OrderStatus"] in FINAL for _, order in self.orders)

    @staticmethod
    def read(order):
        """The fields the summary needs, read under the order's lock: the engine's callback
        threads may be updating it."""
        tradecore.getOrderLock(order)
        try:
            return {"OrderID": order.OrderID, "StandardID": order.StandardID, "OrderStatus": order.OrderStatus,
                    "TradedVolume": order.TradedVolume, "Turnover": order.Turnover,
                    "OriginalVolume": order.OriginalVolume, "UseableCash": order.UseableCash}
        finally:
            tradecore.releaseOrderLock(order)

    # --- summary ---------------------------------------------------------------------------

    def summary(self):
        lines = ["", "======== session summary ========"]
        by_status = {}
        volume = 0
        turnover = 0.0
        for label, order in self.orders:
            o = self.read(order)
            name = status_name(o["OrderStatus"])
            by_status[name] = by_status.get(name, 0) + 1
            volume += o["TradedVolume"]
            turnover += o["Turnover"]
            lines.append("  #%-6d %-8s %-11s traded %5d/%-5d turnover %11.2f  %s"
                         % (o["OrderID"], o["StandardID"], name, o["TradedVolume"], o["OriginalVolume"],
                            o["Turnover"], label))
        lines.append("orders by final status: " + (", ".join("%s %d" % kv for kv in sorted(by_status.items()))
                                                   or "none"))
        lines.append("traded volume: %d" % volume)
        lines.append("turnover: %.2f" % turnover)
        lines.append("usable cash at the last order event: %s"
                     % ("%.2f" % self.cash if self.cash is not None else "unknown"))
        if self.transfer is not None:
            t = self.transfer
            lines.append("cash transfer #%d: %.2f from the bank, %s%s"
                         % (t.TransferID, t.Amount, TRANSFER_STATUS_NAMES.get(t.TransferStatus, "no answer yet"),
                            " (%d %s)" % (t.ErrorID, broker_text(t.Message)) if t.ErrorID else ""))
        lines.append("snapshots received: " + (", ".join("%s %d" % kv for kv in sorted(self.snapshots.items()))
                                               or "none"))
        return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m tradecore.demo", description=__doc__.split("\n")[0])
    parser.add_argument("--front", default="sim://paper", help="trader and market-data front (default sim://paper)")
    parser.add_argument("--seconds", type=float, default=8.0, help="length of the session (default 8)")
    parser.add_argument("--quiet", action="store_true", help="run mode Release: print order events only")
    args = parser.parse_args(argv)

    print("tradecore demo, engine %s, front %s" % (tradecore.getVersion(), args.front))
    if args.quiet:
        tradecore.setRunMode(tradecore.ENUM_RunMode_Release)
    flow_dir = tempfile.mkdtemp(prefix="tradecore-demo-")
    login = make_login("demo", "demo", trader_front=args.front, base_path=flow_dir,
                       TaskExecuteGap=100000,   # 0.1 s between queued queries
                       LoopGap=20000,           # on_loop every 20 ms
                       ConnectTimeout=5000000)  # give up on an unreachable front after 5 s
    demo = Demo(args.seconds)
    try:
        # The session stops itself from on_loop; `duration` is only the backstop should the
        # trader never become ready.
        demo.run(login, run_id=1, duration=args.seconds + 20)
    except StrategyError as e:
        print("init failed: %s" % e, file=sys.stderr)
        return 1
    print(demo.summary())
    if demo.step < 2:
        print("the trader never became ready", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
