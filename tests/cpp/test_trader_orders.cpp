// Order entry and order tracking of the stock trader against the scripted broker: identifiers,
// the insert request, exchange resolution, pricing, cash set aside and given back, every branch
// of the order notification, trades, the error responses and the active orders.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "support/EngineDoubles.h"
#include "support/SdkProfile.h"
#include "support/TraderFixture.h"
#include "trader/SecurityDirectory.h"

namespace {

using tc::testing::TraderFixture;
using tc::testing::zeroRecord;
using torasim::Broker;

class TraderOrders : public TraderFixture {
protected:
    void SetUp() override {
        TraderFixture::SetUp();
        createTrader(1000);
        connectAndPrepare();
        tc::recording::clear();
    }
    CQNOrderField *buy(const char *id = "600000", int volume = 1000, char type = '0', double price = 10.0,
                       const char *exchange = "1") {
        return ::buyOpen(trader_.get(), id, volume, type, price, exchange, ENUM_Direction_Buy);
    }
    CQNOrderField *sell(const char *id = "600000", int volume = 1000, char type = '0', double price = 10.0,
                        const char *exchange = "1") {
        return ::sellClose(trader_.get(), id, volume, type, price, exchange, ENUM_Direction_Sell,
                           ENUM_OffsetFlag_Close, "ignored");
    }
    tc::OrderSlot *slotOf(const CQNOrderField *o) { return trader_->findOrderSlot(o->OrderID); }
};

TEST_F(TraderOrders, IdentifiersFollowTheRunIDAndTransfersShareTheSequence) {
    CQNOrderField *a = buy();
    CQNOrderField *b = buy();
    CQNTransferAssetField *t = ::transferCash(trader_.get(), 'Z', 100.0, "pw", "1", "bpw", "", "");
    CQNOrderField *c = sell();
    CQNOrderField *d = ::insertOrder(trader_.get(), "1", "600000", '0', '0', 100, "231", 10.0, '0', nullptr);
    ASSERT_TRUE(a && b && t && c && d);
    EXPECT_EQ(a->OrderID, 1001);
    EXPECT_EQ(b->OrderID, 1002);
    EXPECT_EQ(t->TransferID, 1003);
    EXPECT_EQ(c->OrderID, 1004);
    EXPECT_EQ(d->OrderID, 1005);
    EXPECT_EQ(a->OrderMark, 0);
    EXPECT_EQ(trader_->findOrderRecord(1002), b);
    EXPECT_EQ(trader_->findOrderRecord(1003), nullptr);
}

TEST_F(TraderOrders, BuyOpenSendsTheInsertRequestFieldsAndSetsAsideCash) {
    CQNOrderField *o = buy("600000", 1000, ENUM_OrderType_LimitAndWait, 10.5, "1");
    ASSERT_NE(o, nullptr);
    std::optional<torasim::Request> r = broker_->waitForRequest("ReqOrderInsert");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->requestID, 1001);
    const auto req = r->as<CTORATstpInputOrderField>();
    EXPECT_STREQ(req.SecurityID, "600000");
    EXPECT_STREQ(req.OrderRef, "1001");
    EXPECT_EQ(req.OrderPriceType, '2');
    EXPECT_EQ(req.Direction, '0');
    TC_EXPECT_LEGACY_VALUE(req.CombOffsetFlag[0], '0');
    TC_EXPECT_LEGACY_VALUE(req.CombHedgeFlag[0], '1');
    EXPECT_DOUBLE_EQ(req.LimitPrice, 10.5);
    EXPECT_EQ(req.VolumeTotalOriginal, 1000);
    EXPECT_EQ(req.TimeCondition, '3');
    EXPECT_EQ(req.VolumeCondition, '1');
    EXPECT_EQ(req.ForceCloseReason, '0');
    EXPECT_EQ(req.ExchangeID, '1');
    EXPECT_STREQ(req.ShareholderID, "A000000001");
    TC_EXPECT_LEGACY_TEXT(req.IPAddress, "203.0.113.9");
    TC_EXPECT_LEGACY_TEXT(req.MacAddress, "00-11-22-33-44-55");
    TC_EXPECT_LEGACY_TEXT(req.TerminalInfo, "PC;IIP=10.0.0.2");
    TC_EXPECT_LEGACY_TEXT(req.BInfo, "Quillon 002.100.001");
    EXPECT_EQ(req.Operway, '1');
    TC_EXPECT_LEGACY_TEXT(req.HDSerial, "HD-0001");

    EXPECT_STREQ(o->ExchangeID, "1");
    EXPECT_STREQ(o->StandardID, "600000");
    EXPECT_EQ(o->OrderType, '0');
    EXPECT_EQ(o->Direction, '0');
    EXPECT_EQ(o->OffsetFlag, '0');
    EXPECT_TRUE(o->IsBuyFromMarket);
    EXPECT_TRUE(o->IsLimitOrder);
    EXPECT_STREQ(o->CombineOrderType, "231");
    EXPECT_DOUBLE_EQ(o->OriginalPrice, 10.5);
    EXPECT_EQ(o->OriginalVolume, 1000);
    EXPECT_GT(o->OrderLocalTime, 0);
    EXPECT_STREQ(o->TradingDay, kTradingDay);
    EXPECT_STREQ(o->UserID, "u1");
    EXPECT_EQ(o->FrontID, kFrontID);
    EXPECT_EQ(o->SessionID, kSessionID);
    EXPECT_EQ(o->OrderStatus, '\0');
    EXPECT_STREQ(o->ShareholderID, "");
    EXPECT_STREQ(slotOf(o)->key, "600000.1");
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 10500.0);
    EXPECT_TRUE(orderEvents().empty());
}

TEST_F(TraderOrders, ClosingOrdersAndInsertOrderFollowTheirOwnFieldRules) {
    CQNOrderField *s = sell("000001", 300, ENUM_OrderType_LimitAndWait, 12.0, "2");
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->IsBuyFromMarket);
    EXPECT_EQ(s->OffsetFlag, '1');
    const auto sreq = broker_->waitForRequest("ReqOrderInsert")->as<CTORATstpInputOrderField>();
    TC_EXPECT_LEGACY_VALUE(sreq.CombOffsetFlag[0], '1');
    EXPECT_EQ(sreq.Direction, '1');
    EXPECT_STREQ(sreq.ShareholderID, "0000000002");
    // A closing order leaves the cash alone.
    EXPECT_DOUBLE_EQ(cash(), kStartCash);

    CQNOrderField *i = ::insertOrder(trader_.get(), "1", "600000", '0', '0', 200, "G11xyz", 9.9, '1', "debt-7");
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->OrderType, '\0');
    EXPECT_STREQ(i->CombineOrderType, "G11x");
    EXPECT_FALSE(i->IsLimitOrder);
    EXPECT_FALSE(i->IsBuyFromMarket);
    EXPECT_EQ(i->CreditQuotaType, '1');
    EXPECT_STREQ(i->CreditDebtID, "debt-7");
    const auto ireq = broker_->waitForRequest("ReqOrderInsert")->as<CTORATstpInputOrderField>();
    EXPECT_EQ(ireq.OrderPriceType, 'G');
    EXPECT_EQ(ireq.TimeCondition, '1');
    EXPECT_EQ(ireq.VolumeCondition, '1');
    EXPECT_DOUBLE_EQ(ireq.LimitPrice, 9.9);
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 200 * 9.9);

    CQNOrderField *n = ::insertOrder(trader_.get(), "1", "600000", '0', '1', 200, nullptr, 9.9, '0', nullptr);
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(n->CombineOrderType, "");
    EXPECT_STREQ(n->CreditDebtID, "");
}

TEST_F(TraderOrders, BuyCloseAndSellOpenReturnNothingAndSendNothing) {
    const std::size_t before = broker_->requestCount("ReqOrderInsert");
    EXPECT_EQ(::buyClose(trader_.get(), "600000", 100, '0', 10.0, "1", '0', '1', ""), nullptr);
    EXPECT_EQ(::sellOpen(trader_.get(), "600000", 100, '0', 10.0, "1", '1', '0'), nullptr);
    EXPECT_EQ(broker_->requestCount("ReqOrderInsert"), before);
    EXPECT_EQ(buy()->OrderID, 1001);
}

TEST_F(TraderOrders, ExchangeIsResolvedFromTheDirectoryWhenNotGiven) {
    CQNOrderField *known = buy("600000", 100, '0', 10.0, "");
    EXPECT_STREQ(known->ExchangeID, "1");
    EXPECT_STREQ(known->StandardID, "600000");
    EXPECT_STREQ(slotOf(known)->key, "600000.1");
    EXPECT_EQ(broker_->waitForRequest("ReqOrderInsert")->as<CTORATstpInputOrderField>().ExchangeID, '1');

    CQNOrderField *unknown = buy("999999", 100, '0', 10.0, "");
    EXPECT_STREQ(unknown->ExchangeID, "");
    EXPECT_STREQ(unknown->StandardID, "999999");
    EXPECT_STREQ(slotOf(unknown)->key, "999999.");
    const auto req = broker_->waitForRequest("ReqOrderInsert")->as<CTORATstpInputOrderField>();
    EXPECT_EQ(req.ExchangeID, '\0');
    EXPECT_STREQ(req.SecurityID, "999999");

    // A null exchange for an unknown security keeps the code, in the record and the request.
    CQNOrderField *none = buy("999999", 100, '0', 10.0, nullptr);
    CQNOrderField *noneSold = sell("999998", 100, '0', 10.0, nullptr);
    EXPECT_STREQ(none->ExchangeID, "");
    EXPECT_STREQ(none->StandardID, "999999");
    EXPECT_STREQ(noneSold->StandardID, "999998");
    EXPECT_STREQ(slotOf(none)->key, "999999.");
    const std::vector<torasim::Request> sent = broker_->requests("ReqOrderInsert");
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_STREQ(sent[2].as<CTORATstpInputOrderField>().SecurityID, "999999");
    EXPECT_EQ(sent[2].as<CTORATstpInputOrderField>().ExchangeID, '\0');
    EXPECT_STREQ(sent[3].as<CTORATstpInputOrderField>().SecurityID, "999998");
}

// Each row: an opening order, then what the broker says about it, with the usable cash (less the
// starting cash) after each word. An order gives back at most what it set aside and has not yet
// spent or given back, and a price below zero sets nothing aside.
TEST_F(TraderOrders, CashIsGivenBackAtMostOnceAndNeverBeyondWhatWasSetAside) {
    enum class Word { Reject, Cancel, InsertError, Accept, PartTraded, Trade };
    struct Step {
        Word word;
        int volume;    // Cancel, PartTraded: the traded volume they report; Trade: the trade's volume
        double price;  // Trade: the trade's price
        double cash;
    };
    struct Row {
        const char *name;
        int volume;
        char orderType;
        double price;
        double cashAfterSend;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"rejected, then cancelled, then refused", 100, '0', 10.0, -1000,
         {{Word::Reject, 0, 0, 0}, {Word::Cancel, 0, 0, 0}, {Word::InsertError, 0, 0, 0}}},
        {"refused on both routes, then rejected and cancelled", 100, '0', 10.0, -1000,
         {{Word::InsertError, 0, 0, 0}, {Word::InsertError, 0, 0, 0}, {Word::Reject, 0, 0, 0},
          {Word::Cancel, 0, 0, 0}}},
        {"part traded, cancelled twice, then refused", 1000, '0', 10.0, -10000,
         {{Word::Accept, 0, 0, -10000}, {Word::PartTraded, 300, 0, -10000}, {Word::Trade, 300, 9.9, -9970},
          {Word::Cancel, 300, 0, -2970},
          {Word::Cancel, 300, 0, -2970}, {Word::InsertError, 0, 0, -2970}}},
        {"market type without a snapshot", 200, ENUM_OrderType_BestLimitAndWait, 0.0, 0,
         {{Word::Accept, 0, 0, 0}, {Word::Trade, 100, 10.0, -1000}, {Word::Cancel, 100, 0, -1000},
          {Word::Reject, 0, 0, -1000}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const double start = cash();
        CQNOrderField *o = buy("600000", row.volume, row.orderType, row.price);
        EXPECT_DOUBLE_EQ(cash() - start, row.cashAfterSend);
        for (const Step &step : row.steps) {
            switch (step.word) {
            case Word::Reject: {
                auto n = orderNotice(*o, TORA_TSTP_OST_NoTradeNotQueueing);
                n.OrderSubmitStatus = TORA_TSTP_OSS_InsertRejected;
                pushOrder(n);
                break;
            }
            case Word::Cancel:
                pushOrder(orderNotice(*o, TORA_TSTP_OST_Canceled, step.volume, 0));
                break;
            case Word::InsertError: {
                auto echoed = zeroRecord<CTORATstpInputOrderField>();
                std::snprintf(echoed.OrderRef, sizeof echoed.OrderRef, "%d", o->OrderID);
                ASSERT_EQ(broker_->pushErrRtnOrderInsert(echoed, 31, "no money"), 1);
                ASSERT_TRUE(broker_->drain());
                break;
            }
            case Word::Accept:
                pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
                break;
            case Word::PartTraded:
                pushOrder(orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, step.volume, 0));
                break;
            case Word::Trade:
                pushTrade(*o, step.price, step.volume);
                break;
            }
            EXPECT_NEAR(cash() - start, step.cash, 1e-6);
        }
    }
}

TEST(OrderPricing, EveryOrderTypeRowGivesItsCombinedTypePriceAndLimitFlag) {
    tc::testing::FakeMd md("u1");
    auto s = zeroRecord<tc::sdk::MdSpi::CTORATstpMarketDataField>();
    tc::copyText(s.SecurityID, "600000");
    s.ExchangeID = '1';
    s.BidPrice1 = 10.00;
    s.AskPrice1 = 10.02;
    s.UpperLimitPrice = 11.00;
    s.LowerLimitPrice = 9.00;
    tc::EventSink sink;
    sink.marketDataProcessor = tc::recording::fakeCallable(9);
    ASSERT_NE(tc::onMarketData(md.snapshotIndex(), sink, &s), nullptr);

    struct Row {
        char type;
        const char *combine;
        double buyPrice;
        double sellPrice;
        bool isLimit;
    };
    const double given = 10.5;
    const Row rows[] = {
        {'0', "231", given, given, true},   {'a', "231", given, given, true},  {'k', "231", given, given, true},
        {'2', "231", 10.00, 10.02, true},   {'3', "231", 11.00, 9.00, true},   {'5', "231", 11.00, 9.00, true},
        {'b', "G31", 11.00, 9.00, false},   {'c', "G11", 11.00, 9.00, false},  {'p', "G11", 11.00, 9.00, false},
        {'d', "331", 10.02, 10.00, false},  {'l', "331", 10.02, 10.00, false}, {'e', "a31", 10.00, 10.02, false},
        {'m', "a31", 10.00, 10.02, false},  {'f', "831", given, given, true},  {'n', "111", 11.00, 9.00, false},
        {'o', "113", 11.00, 9.00, false},   {'q', "261", given, given, true},  {'1', "231", 10.02, 10.00, true},
        {'4', "231", 10.02, 10.00, true},   {'Z', "231", 10.02, 10.00, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("order type ") + row.type);
        const tc::OrderPricing buy = tc::priceOrderType(&md, "600000.1", row.type, true, given);
        EXPECT_STREQ(buy.combineOrderType, row.combine);
        EXPECT_DOUBLE_EQ(buy.price, row.buyPrice);
        EXPECT_EQ(buy.isLimitOrder, row.isLimit);
        const tc::OrderPricing sell = tc::priceOrderType(&md, "600000.1", row.type, false, given);
        EXPECT_DOUBLE_EQ(sell.price, row.sellPrice);
    }
    // Market-derived prices of an unknown security, or without a market-data side, are -1;
    // the given price does not depend on either.
    EXPECT_EQ(tc::priceOrderType(&md, "600001.1", '1', true, given).price, -1.0);
    EXPECT_EQ(tc::priceOrderType(nullptr, "600000.1", '2', true, given).price, -1.0);
    EXPECT_EQ(tc::priceOrderType(nullptr, "600000.1", '0', true, given).price, given);
}

TEST_F(TraderOrders, MarketTypeOrdersArePricedFromTheSnapshotStore) {
    putSnapshot("600000", '1', 10.00, 10.02, 11.00, 9.00);
    putSnapshot("000001", '2', 0.0, 12.00, 13.20, 10.80);

    CQNOrderField *homeBest = buy("600000", 100, ENUM_OrderType_HomeBestLimitAndWait, 0.0);
    EXPECT_DOUBLE_EQ(homeBest->OriginalPrice, 10.00);
    CQNOrderField *best = buy("600000", 100, ENUM_OrderType_BestLimitAndWait, 0.0);
    EXPECT_DOUBLE_EQ(best->OriginalPrice, 10.02);
    CQNOrderField *fiveKill = sell("600000", 100, ENUM_OrderType_SSE_FiveAndKill, 0.0);
    EXPECT_DOUBLE_EQ(fiveKill->OriginalPrice, 9.00);
    EXPECT_STREQ(fiveKill->CombineOrderType, "G11");
    EXPECT_FALSE(fiveKill->IsLimitOrder);
    // No bid: the buyer's own best falls back to the lower limit.
    CQNOrderField *noBid = buy("000001", 100, ENUM_OrderType_SZSE_HomeBestAndWait, 0.0, "2");
    EXPECT_DOUBLE_EQ(noBid->OriginalPrice, 10.80);
    // No snapshot: -1 goes out as the price.
    CQNOrderField *missing = buy("510050", 100, ENUM_OrderType_BestLimitAndWait, 0.0);
    EXPECT_DOUBLE_EQ(missing->OriginalPrice, -1.0);
    std::vector<torasim::Request> sent = broker_->requests("ReqOrderInsert");
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_DOUBLE_EQ(sent[0].as<CTORATstpInputOrderField>().LimitPrice, 10.00);
    EXPECT_DOUBLE_EQ(sent[4].as<CTORATstpInputOrderField>().LimitPrice, -1.0);
    EXPECT_EQ(sent[2].as<CTORATstpInputOrderField>().OrderPriceType, 'G');
}

TEST_F(TraderOrders, RefusedSendRejectsTheRecordBeforeTheCallReturnsAndKeepsTheCash) {
    broker_->setNextReturn("ReqOrderInsert", -5);
    CQNOrderField *o = buy("600000", 100, '0', 10.0);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Rejected);
    EXPECT_EQ(o->ErrorID, ENUM_ErrorID_FailToSend);
    EXPECT_STREQ(o->Message,
                 "TORATrader InsertOrder Failed. UserID:u1,ExchangeID:1,StandardID:600000,OrderID:1001,Direction:0,"
                 "Volume:100,OrderType:0,Price:10.000000,ErrorID:-1002200,ErrorMsg:Error:Fail To Send..");
    const auto events = orderEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventID, ENUM_OrderEventID_InsertRejected);
    EXPECT_EQ(events[0].record, o);
    EXPECT_EQ(events[0].thread, std::this_thread::get_id());
    EXPECT_DOUBLE_EQ(cash(), kStartCash);
    // The lock is free again once the call has returned.
    EXPECT_EQ(tc::lockOf(o)->word.load(), 0);
}

TEST_F(TraderOrders, AcceptedPartTradedRepeatAndCanceledRefundTheRemainder) {
    captureOrderEvents();
    CQNOrderField *o = buy("600000", 1000, '0', 10.0);
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 10000.0);

    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_STREQ(o->OrderSysID, "SYS1001");
    EXPECT_STREQ(o->InsertTime, "09:30:00");
    EXPECT_STREQ(o->UpdateTime, "09:30:00");
    EXPECT_TRUE(trader_->isActiveOrder(1001));

    pushOrder(orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, 300, 700));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, 300, 700));
    EXPECT_EQ(o->TradedVolumeChange, 0);  // the repeat stores its zero change
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_PartTraded);

    auto cancelled = orderNotice(*o, TORA_TSTP_OST_Canceled, 300, 0);
    tc::copyText(cancelled.CancelTime, "10:01:02");
    pushOrder(cancelled);

    const auto delivered = capturedOrders();
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[0].eventID, ENUM_OrderEventID_Accepted);
    EXPECT_EQ(delivered[1].eventID, ENUM_OrderEventID_Traded);
    EXPECT_EQ(delivered[1].record.TradedVolumeChange, 300);
    EXPECT_EQ(delivered[1].record.TradedVolume, 300);
    EXPECT_EQ(delivered[1].record.TurnoverChange, 0.0);
    EXPECT_EQ(delivered[1].record.OrderStatus, ENUM_OrderStatus_PartTraded);
    EXPECT_EQ(delivered[2].eventID, ENUM_OrderEventID_Canceled);
    EXPECT_EQ(delivered[2].record.CanceledVolume, 700);
    EXPECT_EQ(delivered[2].record.OrderStatus, ENUM_OrderStatus_Canceled);
    for (const auto &d : delivered) EXPECT_TRUE(d.lockHeld) << d.eventID;

    EXPECT_STREQ(o->UpdateTime, "10:01:02");
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 10000.0 + 7000.0);
    EXPECT_FALSE(trader_->isActiveOrder(1001));

    // A second cancellation changes nothing but the snapshot fields.
    auto again = orderNotice(*o, TORA_TSTP_OST_Canceled, 300, 0);
    again.RtnIntInfo = 55;
    pushOrder(again);
    EXPECT_EQ(capturedOrders().size(), 3u);
    EXPECT_EQ(o->UsableVolume, 55);
    EXPECT_EQ(o->CanceledVolume, 700);
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 3000.0);
}

TEST_F(TraderOrders, CancelReportingNewVolumeDeliversTradedThenCanceledWithoutRefund) {
    captureOrderEvents();
    CQNOrderField *o = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_Canceled, 400, 0));
    const auto delivered = capturedOrders();
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[1].eventID, ENUM_OrderEventID_Traded);
    EXPECT_EQ(delivered[1].record.TradedVolumeChange, 400);
    EXPECT_EQ(delivered[1].record.CanceledVolume, 600);
    EXPECT_EQ(delivered[2].eventID, ENUM_OrderEventID_Canceled);
    EXPECT_EQ(o->TradedVolume, 400);
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 10000.0);
}

TEST_F(TraderOrders, AllTradedEndsTheOrderAndANoVolumeAllTradedOnlyLeavesTheActiveOrders) {
    CQNOrderField *a = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*a, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*a, TORA_TSTP_OST_AllTraded, 1000, 0));
    EXPECT_EQ(a->OrderStatus, ENUM_OrderStatus_AllTraded);
    EXPECT_EQ(a->TradedVolumeChange, 1000);
    EXPECT_FALSE(trader_->isActiveOrder(a->OrderID));

    CQNOrderField *b = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*b, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*b, TORA_TSTP_OST_PartTradedQueueing, 300, 700));
    tc::recording::clear();
    pushOrder(orderNotice(*b, TORA_TSTP_OST_AllTraded, 300, 0));
    EXPECT_TRUE(orderEvents().empty());
    EXPECT_EQ(b->OrderStatus, ENUM_OrderStatus_PartTraded);
    EXPECT_FALSE(trader_->isActiveOrder(b->OrderID));
}

TEST_F(TraderOrders, TwoTradesGiveTurnoverAverageCostAndReturnTheUnusedCash) {
    captureOrderEvents();
    CQNOrderField *o = buy("600000", 200, '0', 10.5);
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    pushTrade(*o, 10.00, 100);
    pushTrade(*o, 10.20, 100);
    EXPECT_DOUBLE_EQ(o->Turnover, 2020.0);
    EXPECT_EQ(o->TradedVolumeOfTurnover, 200);
    EXPECT_NEAR(o->AverageCost, 10.10, 1e-9);
    EXPECT_DOUBLE_EQ(o->LastTradedPrice, 10.20);
    // The trades drive only the turnover side: the order notification's fields are untouched.
    EXPECT_EQ(o->TradedVolume, 0);
    const auto delivered = capturedOrders();
    ASSERT_EQ(delivered.size(), 3u);
    for (int i : {1, 2}) {
        EXPECT_EQ(delivered[i].eventID, ENUM_OrderEventID_UpdateCost);
        EXPECT_EQ(delivered[i].record.TradedVolumeChange, 0);
        EXPECT_EQ(delivered[i].record.TradedVolumeChangeOfTurnover, 100);
        EXPECT_TRUE(delivered[i].lockHeld);
    }
    EXPECT_DOUBLE_EQ(delivered[1].record.TurnoverChange, 1000.0);
    EXPECT_DOUBLE_EQ(delivered[2].record.TurnoverChange, 1020.0);
    // 2100 set aside, 1000 + 1020 used: 80 comes back.
    EXPECT_NEAR(cash(), kStartCash - 2020.0, 1e-6);
}

TEST_F(TraderOrders, TradeCashUsesVolumeMultipleAndSkipsUnknownSecurities) {
    tc::securityDirectory.enter("131810", "2", 'U', 10);
    CQNOrderField *closing = ::sellClose(trader_.get(), "131810", 10, '0', 1.5, "2", '1', '1', "");
    pushOrder(orderNotice(*closing, TORA_TSTP_OST_NoTradeQueueing));
    pushTrade(*closing, 1.6, 10);
    // A closing trade brings in its proceeds: 10 x 1.6 x 10.
    EXPECT_NEAR(cash(), kStartCash + 160.0, 1e-9);

    CQNOrderField *unknown = buy("999999", 100, '0', 5.0, "2");
    const double before = cash();
    pushTrade(*unknown, 4.0, 100);
    EXPECT_DOUBLE_EQ(cash(), before);
    EXPECT_DOUBLE_EQ(unknown->Turnover, 400.0);
}

TEST_F(TraderOrders, TradeForAnotherOrderSysIDIsIgnored) {
    CQNOrderField *o = buy();
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    tc::recording::clear();
    pushTrade(*o, 10.0, 100, "OTHER");
    EXPECT_TRUE(orderEvents().empty());
    EXPECT_EQ(o->Turnover, 0.0);
}

TEST_F(TraderOrders, VolumesAtTheEdgesOfTheIntRangeAreHeldThereAndNeverWrap) {
    TC_LEGACY_SHAPES_ONLY("the notices' remaining volume (the current generation reports the cancelled one)");
    constexpr int kMax = 2147483647;
    constexpr int kMin = -kMax - 1;
    // A corrupt notice: a traded volume far below what the order has traded is no trade.
    CQNOrderField *o = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, 300, 700));
    tc::recording::clear();
    pushOrder(orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, kMin, 0));
    EXPECT_TRUE(orderEvents().empty());
    EXPECT_EQ(o->TradedVolume, 300);
    // Traded and remaining volumes whose sum passes the int range.
    pushOrder(orderNotice(*o, TORA_TSTP_OST_Canceled, kMax, kMax));
    EXPECT_EQ(o->TradedVolume, kMax);
    EXPECT_EQ(o->TradedVolumeChange, kMax - 300);
    EXPECT_EQ(o->CanceledVolume, 1000 - kMax);
    // Trades adding up past the range.
    pushTrade(*o, 10.0, kMax);
    pushTrade(*o, 10.0, kMax);
    EXPECT_EQ(o->TradedVolumeOfTurnover, kMax);

    // An order for a volume no broker takes, cancelled after a trade.
    CQNOrderField *huge = buy("600000", kMin, '0', 10.0);
    pushOrder(orderNotice(*huge, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*huge, TORA_TSTP_OST_PartTradedQueueing, 5, 0));
    pushOrder(orderNotice(*huge, TORA_TSTP_OST_Canceled, 5, 0));
    EXPECT_EQ(huge->OrderStatus, ENUM_OrderStatus_Canceled);
    EXPECT_EQ(huge->CanceledVolume, kMin);
}

TEST_F(TraderOrders, RejectedSubmissionRefundsTheOpeningOrderOnce) {
    CQNOrderField *o = buy("600000", 100, '0', 10.0);
    auto rejected = orderNotice(*o, TORA_TSTP_OST_NoTradeNotQueueing);
    rejected.OrderSubmitStatus = TORA_TSTP_OSS_InsertRejected;
    tc::copyText(rejected.StatusMsg, "price out of range");
    pushOrder(rejected);
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Rejected);
    EXPECT_EQ(o->ErrorID, ENUM_ErrorID_ExchangeReject);
    EXPECT_STREQ(o->OrderSysID, "SYS1001");
    EXPECT_STREQ(o->Message,
                 "TORAStockTrader InsertOrder Failed. UserID:u1,ExchangeID:1,StandardID:600000,OrderID:1001,"
                 "Direction:0,Volume:100,OrderType:0,Price:10.000000,ErrorID:-1002700,ErrorMsg:price out of range.");
    EXPECT_DOUBLE_EQ(cash(), kStartCash);
    EXPECT_EQ(orderEventIDs(), (std::vector<int>{ENUM_OrderEventID_InsertRejected}));
    pushOrder(rejected);
    EXPECT_EQ(orderEventIDs().size(), 1u);
    EXPECT_DOUBLE_EQ(cash(), kStartCash);
}

TEST_F(TraderOrders, InsertErrorResponseRejectsAndRefundsAndIsIgnoredWithoutAnError) {
    CQNOrderField *o = buy("600000", 100, '0', 10.0);
    auto echoed = zeroRecord<CTORATstpInputOrderField>();
    tc::copyText(echoed.OrderRef, "1001");
    push([echoed](CTORATstpTraderSpi *spi) {
        auto req = echoed;
        auto ok = Broker::rspInfo(0, "");
        spi->OnRspOrderInsert(&req, &ok, 1001, true);
        spi->OnRspOrderInsert(&req, nullptr, 1001, true);
    });
    EXPECT_TRUE(orderEvents().empty());
    EXPECT_EQ(o->OrderStatus, '\0');

    push([echoed](CTORATstpTraderSpi *spi) {
        auto req = echoed;
        auto info = Broker::rspInfo(31, "no money");
        spi->OnRspOrderInsert(&req, &info, 1001, true);
    });
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Rejected);
    EXPECT_EQ(o->ErrorID, 31);
    EXPECT_STREQ(o->Message,
                 "TORATrader InsertOrder Failed. UserID:u1,ExchangeID:1,StandardID:600000,OrderID:1001,Direction:0,"
                 "Volume:100,OrderType:0,Price:10.000000,ErrorID:31,ErrorMsg:no money.");
    EXPECT_DOUBLE_EQ(cash(), kStartCash);
    // The same refusal reported again (the exchange's error return) does not refund twice.
    ASSERT_EQ(broker_->pushErrRtnOrderInsert(echoed, 31, "no money"), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(orderEventIDs(),
              (std::vector<int>{ENUM_OrderEventID_InsertRejected, ENUM_OrderEventID_InsertRejected}));
    EXPECT_DOUBLE_EQ(cash(), kStartCash);
}

TEST_F(TraderOrders, CancelErrorRewritesOnlyTheMessageWithItsOwnLabel) {
    CQNOrderField *o = buy("600000", 100, '0', 10.0);
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    auto action = zeroRecord<CTORATstpOrderActionField>();
    tc::copyText(action.OrderRef, "1001");
    ASSERT_EQ(broker_->pushErrRtnOrderAction(action, 77, "too late"), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_EQ(o->ErrorID, 0);
    EXPECT_STREQ(o->Message,
                 "TORATrader CancelOrder Failed. UserID:u1,ExchagneID:1,StandardID:600000,OrderID:1001,Direction:0,"
                 "Volume:100,OrderType:0,Price:10.000000,ErrorID:77,ErrorMsg:too late.");
    EXPECT_EQ(orderEventIDs().back(), ENUM_OrderEventID_CancelRejected);
    push([](CTORATstpTraderSpi *spi) {
        auto req = zeroRecord<CTORATstpInputOrderActionField>();
        tc::copyText(req.OrderRef, "1001");
        auto info = Broker::rspInfo(78, "not found");
        spi->OnRspOrderAction(&req, &info, 1001, true);
    });
    EXPECT_EQ(orderEventIDs().back(), ENUM_OrderEventID_CancelRejected);
    EXPECT_NE(std::string(o->Message).find("ErrorID:78,ErrorMsg:not found."), std::string::npos);
    EXPECT_TRUE(trader_->isActiveOrder(1001));
}

// Order references are read as atoi reads them: blanks in front of the digits (and anything
// after them) still name the order, on every route that carries one.
TEST_F(TraderOrders, OrderReferencesPaddedWithBlanksStillFindTheirOrder) {
    TC_LEGACY_SHAPES_ONLY("references as text (the current generation's are ints)");
    CQNOrderField *o = buy("600000", 100, '0', 10.0);
    CQNOrderField *refused = buy("600000", 100, '0', 10.0);
    auto accepted = orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing);
    tc::copyText(accepted.OrderRef, " 1001");
    pushOrder(accepted);
    auto trade = zeroRecord<CTORATstpTradeField>();
    tc::copyText(trade.OrderRef, "\t+1001");
    tc::copyText(trade.OrderSysID, "SYS1001");
    trade.Price = 10.0;
    trade.Volume = 100;
    ASSERT_EQ(broker_->pushRtnTrade(trade), 1);
    ASSERT_TRUE(broker_->drain());
    auto echoed = zeroRecord<CTORATstpInputOrderField>();
    tc::copyText(echoed.OrderRef, "  1002 ");
    ASSERT_EQ(broker_->pushErrRtnOrderInsert(echoed, 31, "no money"), 1);
    ASSERT_TRUE(broker_->drain());
    auto action = zeroRecord<CTORATstpOrderActionField>();
    tc::copyText(action.OrderRef, "\n1001");
    ASSERT_EQ(broker_->pushErrRtnOrderAction(action, 77, "too late"), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_EQ(o->TradedVolumeOfTurnover, 100);
    EXPECT_EQ(refused->OrderStatus, ENUM_OrderStatus_Rejected);
    EXPECT_EQ(orderEventIDs(), (std::vector<int>{ENUM_OrderEventID_Accepted, ENUM_OrderEventID_UpdateCost,
                                                 ENUM_OrderEventID_InsertRejected, ENUM_OrderEventID_CancelRejected}));
}

TEST_F(TraderOrders, CachedOnceThenAcceptedAndIPOOrdersNeverBecomeActive) {
    CQNOrderField *o = buy();
    pushOrder(orderNotice(*o, TORA_TSTP_OST_Cached));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_Cached));
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Cached);
    EXPECT_FALSE(trader_->isActiveOrder(o->OrderID));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    EXPECT_EQ(orderEventIDs(), (std::vector<int>{ENUM_OrderEventID_Cached, ENUM_OrderEventID_Accepted}));
    EXPECT_EQ(trader_->activeOrderCount(), 1u);

    CQNOrderField *ipo = ::buyOpen(trader_.get(), "780001", 1000, '0', 9.0, "1", ENUM_Direction_IPO);
    pushOrder(orderNotice(*ipo, TORA_TSTP_OST_NoTradeQueueing));
    EXPECT_EQ(ipo->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_FALSE(trader_->isActiveOrder(ipo->OrderID));
}

TEST_F(TraderOrders, NotificationCashAndUsableVolumeAreTakenOnlyWhenGiven) {
    CQNOrderField *o = buy("600000", 100, '0', 10.0);
    auto n = orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing);
    n.RtnFloatInfo = 12345.5;
    n.RtnIntInfo = 500;
    pushOrder(n);
    EXPECT_DOUBLE_EQ(cash(), 12345.5);
    EXPECT_DOUBLE_EQ(o->UseableCash, 12345.5);
    EXPECT_EQ(o->UsableVolume, 500);
    auto later = orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, 100, 0);
    later.RtnFloatInfo = 999999999999.99;
    later.RtnIntInfo = 999999999;
    pushOrder(later);
    EXPECT_DOUBLE_EQ(cash(), 12345.5);
    EXPECT_EQ(o->UsableVolume, 500);
    // Cash arrives with every notification, even one for an order that is not ours.
    auto foreign = n;
    tc::copyText(foreign.OrderRef, "5");
    foreign.RtnFloatInfo = 777.0;
    pushOrder(foreign);
    EXPECT_DOUBLE_EQ(cash(), 777.0);
}

// An order belongs to the session it went out on: the broker keeps naming that session in the
// order's notifications after the engine has logged in again, and they must still move it, or
// every order in flight at a disconnection would stay where it was.
TEST_F(TraderOrders, AnOrderFollowsTheSessionItWentOutOnAcrossAReconnection) {
    CQNOrderField *o = buy("600000", 1000, '0', 10.0);
    const CTORATstpOrderField accepted = orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing);
    pushOrder(accepted);
    disconnect();
    connectAndPrepare(kFrontID + 1, kSessionID + 1);
    tc::recording::clear();

    // Its earlier session's notification moves it.
    auto traded = accepted;
    traded.OrderStatus = TORA_TSTP_OST_PartTradedQueueing;
    traded.VolumeTraded = 300;
    pushOrder(traded);
    EXPECT_EQ(orderEventIDs(), (std::vector<int>{ENUM_OrderEventID_Traded}));
    EXPECT_EQ(o->TradedVolume, 300);
    EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_PartTraded);

    // The same reference under any other session (the new login included) is not this order.
    tc::recording::clear();
    for (const auto &session : {std::make_pair(kFrontID + 1, kSessionID + 1), std::make_pair(kFrontID, kSessionID + 5)}) {
        auto other = traded;
        other.FrontID = session.first;
        other.SessionID = session.second;
        other.VolumeTraded = 1000;
        other.OrderStatus = TORA_TSTP_OST_AllTraded;
        pushOrder(other);
    }
    EXPECT_TRUE(orderEvents().empty());
    EXPECT_EQ(o->TradedVolume, 300);

    // Trades are matched by order alone.
    pushTrade(*o, 10.0, 300);
    EXPECT_EQ(orderEventIDs(), (std::vector<int>{ENUM_OrderEventID_UpdateCost}));
    EXPECT_DOUBLE_EQ(o->Turnover, 3000.0);

    // A notification carrying no session at all is taken as ours.
    auto anonymous = traded;
    anonymous.FrontID = 0;
    anonymous.SessionID = 0;
    anonymous.VolumeTraded = 400;
    pushOrder(anonymous);
    EXPECT_EQ(o->TradedVolume, 400);
    // And the cancel still names the session the broker knows the order by.
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), o->OrderID), 0);
    const auto cancel = broker_->waitForRequest("ReqOrderAction")->as<CTORATstpInputOrderActionField>();
    EXPECT_EQ(cancel.FrontID, kFrontID);
    EXPECT_EQ(cancel.SessionID, kSessionID);
}

// An order sent after the connection came back but before the login answer reached the engine
// goes out on a session the engine does not know yet: the first notification names it.
TEST_F(TraderOrders, AnOrderSentWhileLoggingInAgainTakesTheSessionOfItsFirstNotification) {
    disconnect();
    accept();
    step("ReqUserLogin");
    CQNOrderField *o = buy("600000", 1000, '0', 10.0);
    CQNOrderField *same = buy("600000", 1000, '0', 10.0);
    EXPECT_EQ(o->SessionID, kSessionID);   // all the engine knew when it went out
    answerLogin(kFrontID + 1, kSessionID + 1);
    tc::recording::clear();

    auto accepted = orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing);
    accepted.FrontID = kFrontID + 1;
    accepted.SessionID = kSessionID + 1;
    pushOrder(accepted);
    EXPECT_EQ(orderEventIDs(), (std::vector<int>{ENUM_OrderEventID_Accepted}));
    EXPECT_EQ(o->FrontID, kFrontID + 1);
    EXPECT_EQ(o->SessionID, kSessionID + 1);

    // From then on the order is that session's alone.
    auto stray = accepted;
    stray.FrontID = kFrontID;
    stray.SessionID = kSessionID;
    stray.OrderStatus = TORA_TSTP_OST_AllTraded;
    stray.VolumeTraded = 1000;
    pushOrder(stray);
    EXPECT_EQ(o->TradedVolume, 0);
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), o->OrderID), 0);
    const auto cancel = broker_->waitForRequest("ReqOrderAction")->as<CTORATstpInputOrderActionField>();
    EXPECT_EQ(cancel.SessionID, kSessionID + 1);

    // A first notification that names the session the record holds settles it just as well.
    auto cached = orderNotice(*same, TORA_TSTP_OST_Cached);
    cached.FrontID = kFrontID;
    cached.SessionID = kSessionID;
    pushOrder(cached);
    ASSERT_EQ(same->OrderStatus, ENUM_OrderStatus_Cached);
    auto foreign = cached;
    foreign.SessionID = kSessionID + 9;
    foreign.OrderStatus = TORA_TSTP_OST_NoTradeQueueing;
    pushOrder(foreign);
    EXPECT_EQ(same->OrderStatus, ENUM_OrderStatus_Cached);
    EXPECT_EQ(same->SessionID, kSessionID);
}

// A notification that arrives after later ones (reordered, repeated, or sent again when the
// flow resumes after a reconnection) never takes an order back.
TEST_F(TraderOrders, ALateQueuedOrCachedNoticeNeverTakesAnOrderBack) {
    CQNOrderField *done = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*done, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*done, TORA_TSTP_OST_AllTraded, 1000, 0));
    ASSERT_EQ(done->OrderStatus, ENUM_OrderStatus_AllTraded);
    ASSERT_FALSE(trader_->isActiveOrder(done->OrderID));

    CQNOrderField *cancelled = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*cancelled, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*cancelled, TORA_TSTP_OST_Canceled, 0, 1000));
    ASSERT_EQ(cancelled->OrderStatus, ENUM_OrderStatus_Canceled);

    CQNOrderField *partly = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*partly, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*partly, TORA_TSTP_OST_PartTradedQueueing, 200, 800));
    tc::recording::clear();

    for (CQNOrderField *o : {done, cancelled, partly}) {
        pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
        pushOrder(orderNotice(*o, TORA_TSTP_OST_Cached));
    }
    EXPECT_TRUE(orderEvents().empty());
    EXPECT_EQ(done->OrderStatus, ENUM_OrderStatus_AllTraded);
    EXPECT_EQ(cancelled->OrderStatus, ENUM_OrderStatus_Canceled);
    EXPECT_EQ(partly->OrderStatus, ENUM_OrderStatus_PartTraded);
    EXPECT_FALSE(trader_->isActiveOrder(done->OrderID));
    EXPECT_FALSE(trader_->isActiveOrder(cancelled->OrderID));
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), done->OrderID), -1);

    // The usual way in still works: cached, then queued.
    CQNOrderField *fresh = buy("600000", 1000, '0', 10.0);
    pushOrder(orderNotice(*fresh, TORA_TSTP_OST_Cached));
    pushOrder(orderNotice(*fresh, TORA_TSTP_OST_NoTradeQueueing));
    EXPECT_EQ(fresh->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_TRUE(trader_->isActiveOrder(fresh->OrderID));
}

class TraderOrderRange : public TraderFixture {};

TEST_F(TraderOrderRange, NotificationsOutsideTheIdentifierRangeAreIgnored) {
    createTrader(1000, [](CQNLoginField &login) { login.IDRange = 2; });
    connectAndPrepare();
    CQNOrderField *inside = ::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", '0');
    CQNOrderField *last = ::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", '0');
    CQNOrderField *beyond = ::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", '0');
    ASSERT_EQ(beyond->OrderID, 1003);
    pushOrder(orderNotice(*inside, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*last, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*beyond, TORA_TSTP_OST_NoTradeQueueing));
    EXPECT_EQ(inside->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_EQ(last->OrderStatus, ENUM_OrderStatus_Accepted);
    EXPECT_EQ(beyond->OrderStatus, '\0');
    // The error responses are held to the same range.
    auto echoed = zeroRecord<CTORATstpInputOrderField>();
    tc::copyText(echoed.OrderRef, "1003");
    ASSERT_EQ(broker_->pushErrRtnOrderInsert(echoed, 5, "no"), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(beyond->OrderStatus, '\0');
}

}  // namespace
