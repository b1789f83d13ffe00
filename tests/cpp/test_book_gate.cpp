// The live book as the engine's order gate: every limit refused one step beyond its boundary and
// allowed at it, refused raw orders and cancels on the engine's order path, and the book's
// account of orders, fills, earlier runs' orders and reconciliation.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "TORATstpUserApiStruct.h"
#include "book/AccountBook.h"
#include "book/BrokerAnswers.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "marketdata/SnapshotStore.h"
#include "support/EngineDoubles.h"
#include "support/TraderFixture.h"
#include "support/ZeroRecord.h"

namespace {

using tc::book::AccountBook;
using tc::book::Check;
using tc::book::Limits;
using tc::testing::zeroRecord;

constexpr long long kNow = 50000000;  // engine time of the checked order
constexpr double kCash = 1000000.0;

CQNOrderField order(int id, char direction, long long volume, double price, const char *code = "600000") {
    CQNOrderField o{};
    o.OrderID = id;
    o.Direction = direction;
    o.OffsetFlag = direction == ENUM_Direction_Buy ? ENUM_OffsetFlag_Open : ENUM_OffsetFlag_Close;
    o.OriginalVolume = static_cast<int>(volume);
    o.OriginalPrice = price;
    tc::copyText(o.StandardID, code);
    tc::copyText(o.ExchangeID, "1");
    return o;
}

int check(AccountBook &book, const CQNOrderField &o, const CBaseMd *md = nullptr, long long now = kNow,
          std::string *why = nullptr) {
    const std::string key = std::string(o.StandardID) + "." + o.ExchangeID;
    char message[sizeof(TQNMessageType)] = {};
    const int rc = book.checkOrder(tc::OrderCheck{&o, key.c_str(), kCash, now, md}, message);
    if (why) *why = message;
    return rc;
}

CTORATstpPositionField positionRecord(const char *code, int volume, int available, int start, double cost,
                                      int frozen = 0) {
    auto p = zeroRecord<CTORATstpPositionField>();
    p.HistoryPosFrozen = frozen;
    tc::copyText(p.SecurityID, code);
    p.ExchangeID = '1';
    p.CurrentPosition = volume;
    p.AvailablePosition = available;
    p.PrePosition = start;
    p.TotalPosCost = cost;
    return p;
}

// The broker's answers, as the book gets them: the SDK's records through the SDK layer.
template <class Record>
void answer(AccountBook &book, int taskID, const Record &record) {
    ASSERT_TRUE(tc::book::brokerAnswer(book, taskID, &record));
}
void answer(AccountBook &book, const CTORATstpPositionField &p) {
    answer(book, ENUM_TORAStockTaskID_QryPosition, p);
}

// What stands in the book before the order of a row is checked.
enum class Setup {
    None,
    Snapshot,          // 600000: last 10.00, limits 9.00-11.00
    Sellable300,       // 300 of 600000 sellable
    OpenHere1,         // open orders of 600000 already let through
    OpenHere2,
    OpenElsewhere1,    // open orders of 000001
    OpenElsewhere2,
    RecentOrders2,     // orders let through half a second ago
    RecentOrders3,
    SecondOldOrders3,  // three orders let through exactly a second ago
    RecentCancels1,
    RecentCancels2,
    Loss999,           // the day's loss so far
    Loss1000,
    Halted,
};

struct Row {
    const char *name;
    Limits limits;
    Setup setup;
    char direction;  // buy, sell, or 'x' for a cancel
    long long volume;
    double price;
    Check refusedBy;  // Check::None: allowed
};

Limits with(void (*set)(Limits &)) {
    Limits l;
    set(l);
    return l;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const char kBuy = ENUM_Direction_Buy;
const char kSell = ENUM_Direction_Sell;

const Row kRows[] = {
    {"VolumeOneAllowed", Limits(), Setup::None, kBuy, 1, 10.0, Check::None},
    {"VolumeZero", Limits(), Setup::None, kBuy, 0, 10.0, Check::Volume},
    {"VolumeNegative", Limits(), Setup::None, kSell, -100, 10.0, Check::Volume},
    {"MaxVolumeAt", with([](Limits &l) { l.maxOrderVolume = 1000; }), Setup::None, kBuy, 1000, 10.0, Check::None},
    {"MaxVolumeBeyond", with([](Limits &l) { l.maxOrderVolume = 1000; }), Setup::None, kBuy, 1001, 10.0,
     Check::MaxVolume},
    {"IntMaxVolume", with([](Limits &l) { l.maxOrderVolume = 1000000; }), Setup::None, kBuy, 2147483647, 10.0,
     Check::MaxVolume},
    {"LotMultiple", with([](Limits &l) { l.lotSize = 100; }), Setup::None, kBuy, 200, 10.0, Check::None},
    {"LotOdd", with([](Limits &l) { l.lotSize = 100; }), Setup::None, kBuy, 250, 10.0, Check::LotSize},
    {"LotOddSellAllowed", with([](Limits &l) { l.lotSize = 100; }), Setup::Sellable300, kSell, 50, 10.0, Check::None},
    {"PriceNaN", Limits(), Setup::None, kBuy, 100, kNaN, Check::Price},
    {"PriceInfinite", Limits(), Setup::None, kBuy, 100, std::numeric_limits<double>::infinity(), Check::Price},
    {"PriceZero", Limits(), Setup::None, kBuy, 100, 0.0, Check::Price},
    {"PriceTick", Limits(), Setup::None, kBuy, 100, 0.01, Check::None},
    {"UpperLimitAt", Limits(), Setup::Snapshot, kBuy, 100, 11.0, Check::None},
    {"UpperLimitBeyond", Limits(), Setup::Snapshot, kBuy, 100, 11.01, Check::LimitPrice},
    {"LowerLimitAt", Limits(), Setup::Snapshot, kBuy, 100, 9.0, Check::None},
    {"LowerLimitBeyond", Limits(), Setup::Snapshot, kBuy, 100, 8.99, Check::LimitPrice},
    {"LimitsOff", with([](Limits &l) { l.withinLimitPrices = false; }), Setup::Snapshot, kBuy, 100, 11.01,
     Check::None},
    {"BandAt", with([](Limits &l) { l.priceBand = 0.05; }), Setup::Snapshot, kBuy, 100, 10.5, Check::None},
    {"BandBeyond", with([](Limits &l) { l.priceBand = 0.05; }), Setup::Snapshot, kSell, 100, 9.49, Check::PriceBand},
    {"NotionalAt", with([](Limits &l) { l.maxOrderNotional = 10000; }), Setup::None, kBuy, 100, 100.0, Check::None},
    {"NotionalBeyond", with([](Limits &l) { l.maxOrderNotional = 10000; }), Setup::None, kBuy, 100, 100.01,
     Check::Notional},
    {"CashAt", Limits(), Setup::None, kBuy, 100000, 10.0, Check::None},
    {"CashBeyond", Limits(), Setup::None, kBuy, 100001, 10.0, Check::Cash},
    {"CashOff", with([](Limits &l) { l.checkCash = false; }), Setup::None, kBuy, 100001, 10.0, Check::None},
    {"PositionAt", Limits(), Setup::Sellable300, kSell, 300, 10.0, Check::None},
    {"PositionBeyond", Limits(), Setup::Sellable300, kSell, 301, 10.0, Check::Position},
    {"PositionNone", Limits(), Setup::None, kSell, 100, 10.0, Check::Position},
    {"SecurityOpenBelow", with([](Limits &l) { l.maxOpenOrdersPerSecurity = 2; }), Setup::OpenHere1, kBuy, 100, 10.0,
     Check::None},
    {"SecurityOpenAt", with([](Limits &l) { l.maxOpenOrdersPerSecurity = 2; }), Setup::OpenHere2, kBuy, 100, 10.0,
     Check::SecurityOpenOrders},
    {"SecurityOpenElsewhere", with([](Limits &l) { l.maxOpenOrdersPerSecurity = 2; }), Setup::OpenElsewhere2, kBuy,
     100, 10.0, Check::None},
    {"OpenBelow", with([](Limits &l) { l.maxOpenOrders = 2; }), Setup::OpenElsewhere1, kBuy, 100, 10.0, Check::None},
    {"OpenAt", with([](Limits &l) { l.maxOpenOrders = 2; }), Setup::OpenElsewhere2, kBuy, 100, 10.0,
     Check::OpenOrders},
    {"RateBelow", with([](Limits &l) { l.maxOrdersPerSecond = 3; }), Setup::RecentOrders2, kBuy, 100, 10.0,
     Check::None},
    {"RateAt", with([](Limits &l) { l.maxOrdersPerSecond = 3; }), Setup::RecentOrders3, kBuy, 100, 10.0,
     Check::OrderRate},
    {"RateSecondLater", with([](Limits &l) { l.maxOrdersPerSecond = 3; }), Setup::SecondOldOrders3, kBuy, 100, 10.0,
     Check::None},
    {"CancelRateBelow", with([](Limits &l) { l.maxCancelsPerSecond = 2; }), Setup::RecentCancels1, 'x', 0, 0,
     Check::None},
    {"CancelRateAt", with([](Limits &l) { l.maxCancelsPerSecond = 2; }), Setup::RecentCancels2, 'x', 0, 0,
     Check::CancelRate},
    {"LossBelow", with([](Limits &l) { l.maxDailyLoss = 1000; }), Setup::Loss999, kBuy, 100, 10.0, Check::None},
    {"LossAt", with([](Limits &l) { l.maxDailyLoss = 1000; }), Setup::Loss1000, kBuy, 100, 10.0, Check::DailyLoss},
    {"LossSellAllowed", with([](Limits &l) { l.maxDailyLoss = 1000; }), Setup::Loss1000, kSell, 100, 10.0,
     Check::None},
    {"Halted", Limits(), Setup::Halted, kSell, 100, 10.0, Check::Halted},
};

class GateLimits : public ::testing::TestWithParam<Row> {};

TEST_P(GateLimits, RefusedBeyondTheBoundaryAndAllowedAtIt) {
    const Row &row = GetParam();
    AccountBook book;
    tc::testing::FakeMd md("u1");
    const CBaseMd *market = nullptr;
    int nextID = 1;
    auto place = [&](const char *code, long long at) {
        ASSERT_EQ(check(book, order(nextID++, kBuy, 100, 10.0, code), nullptr, at), 0);
    };
    switch (row.setup) {
    case Setup::Snapshot: {
        auto s = zeroRecord<CTORATstpMarketDataField>();
        tc::copyText(s.SecurityID, "600000");
        s.ExchangeID = '1';
        s.LastPrice = 10.0;
        s.UpperLimitPrice = 11.0;
        s.LowerLimitPrice = 9.0;
        ASSERT_NE(tc::onMarketData(md.snapshotIndex(), tc::EventSink(), &s), nullptr);
        market = &md;
        answer(book, positionRecord("600000", 1000, 1000, 1000, 10000));  // the band's sell may sell
        break;
    }
    case Setup::Sellable300:
        answer(book, positionRecord("600000", 300, 300, 300, 3000));
        break;
    case Setup::OpenHere2: place("600000", kNow); [[fallthrough]];
    case Setup::OpenHere1: place("600000", kNow); break;
    case Setup::OpenElsewhere2: place("000001", kNow); [[fallthrough]];
    case Setup::OpenElsewhere1: place("000001", kNow); break;
    case Setup::RecentOrders3:
    case Setup::SecondOldOrders3:
    case Setup::RecentOrders2: {
        const int n = row.setup == Setup::RecentOrders2 ? 2 : 3;
        const long long at = row.setup == Setup::SecondOldOrders3 ? kNow - 1000000 : kNow - 500000;
        book.setLimits(row.limits);
        for (int i = 0; i < n; ++i) place("000001", at);
        break;
    }
    case Setup::RecentCancels2:
    case Setup::RecentCancels1:
        book.setLimits(row.limits);
        for (int i = row.setup == Setup::RecentCancels2 ? 2 : 1; i > 0; --i)
            ASSERT_EQ(book.checkCancel(7, kNow - 500000), 0);
        break;
    case Setup::Loss999:
    case Setup::Loss1000:
        // 1000 held since yesterday's close at 10.00, marked now at 9.001 or 9.00.
        answer(book, positionRecord("600000", 1000, 1000, 1000, 10000));
        book.mark("600000.1", row.setup == Setup::Loss999 ? 9.001 : 9.0, 10.0);
        break;
    case Setup::Halted:
        answer(book, positionRecord("600000", 1000, 1000, 1000, 10000));
        book.setHalted(true);
        break;
    case Setup::None:
        break;
    }
    book.setLimits(row.limits);

    int rc;
    std::string why;
    if (row.direction == 'x') {
        rc = book.checkCancel(8, kNow);
        why = book.lastRefusal();
    } else {
        rc = check(book, order(100, row.direction, row.volume, row.price), market, kNow, &why);
    }
    EXPECT_EQ(rc, AccountBook::errorCode(row.refusedBy)) << why;
    if (row.refusedBy == Check::None) {
        EXPECT_EQ(why, "");
        if (row.direction != 'x') {
            EXPECT_EQ(book.openOrders(), 1 + (nextID - 1));
        }
    } else {
        EXPECT_EQ(why.rfind(std::string("Risk:") + tc::book::checkName(row.refusedBy) + ": ", 0), 0u) << why;
        EXPECT_EQ(book.lastRefusal(), why);
        EXPECT_EQ(book.openOrders(), nextID - 1);  // a refused order holds nothing
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLimit, GateLimits, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

TEST(GateLimitTexts, SayWhichLimitAndByHowMuch) {
    AccountBook book;
    Limits l;
    l.maxOrderVolume = 1000;
    l.maxOrderNotional = 10000;
    book.setLimits(l);
    std::string why;
    check(book, order(1, kBuy, 1500, 5.0), nullptr, kNow, &why);
    EXPECT_EQ(why, "Risk:MaxVolume: 1500 above 1000 by 500");
    check(book, order(2, kBuy, 1000, 12.5), nullptr, kNow, &why);
    EXPECT_EQ(why, "Risk:Notional: 12500.00 above 10000.00 by 2500.00");
    check(book, order(3, kBuy, 1000, 1.5e3), nullptr, kNow, &why);
    EXPECT_EQ(why, "Risk:Notional: 1500000.00 above 10000.00 by 1490000.00");
    EXPECT_EQ(book.refusals(), 3u);
    // A count limit lowered below what is open already: the refusal says by how many.
    for (int id = 4; id < 8; ++id) ASSERT_EQ(check(book, order(id, kBuy, 100, 10.0)), 0);
    l.maxOpenOrders = 2;
    l.maxOpenOrdersPerSecurity = 3;
    book.setLimits(l);
    check(book, order(8, kBuy, 100, 10.0), nullptr, kNow, &why);
    EXPECT_EQ(why, "Risk:SecurityOpenOrders: 600000.1 has 4 open and this one, limit 3 (by 2)");
    l.maxOpenOrdersPerSecurity = 0;
    book.setLimits(l);
    check(book, order(9, kBuy, 100, 10.0), nullptr, kNow, &why);
    EXPECT_EQ(why, "Risk:OpenOrders: 4 open and this one, limit 2 (by 3)");
}

// --- the book, fed as the Python layer feeds it ----------------------------------------------

class BookOnTheEngine : public tc::testing::TraderFixture {
protected:
    void SetUp() override {
        TraderFixture::SetUp();
        createTrader(1000);
        connectAndPrepare();
        trader_->setOrderGate(&book_);
        // The book's order processor: every order event, with the record the engine holds.
        tc::recording::setCallHook([this](const tc::recording::Call &c) {
            if (c.kind == tc::recording::CallKind::OrderProcessor && c.processor == orderProcessor() && c.record)
                book_.orderEvent(c.eventID, *static_cast<const CQNOrderField *>(c.record));
        });
        answer(book_, positionRecord("600000", 1000, 1000, 1000, 10000));
        book_.setLoaded();
        tc::recording::clear();
    }
    void TearDown() override {
        tc::recording::setCallHook(nullptr);
        TraderFixture::TearDown();
    }
    std::size_t inserts() { return broker_->requestCount("ReqOrderInsert"); }
    tc::book::PositionView position() {
        tc::book::PositionView v{};
        EXPECT_TRUE(book_.position("600000.1", v));
        return v;
    }

    AccountBook book_;
};

TEST_F(BookOnTheEngine, RefusedRawOrdersAreNeverSentAndComeBackRejected) {
    Limits l;
    l.maxOrderVolume = 5000;
    l.maxCancelsPerSecond = 1;
    book_.setLimits(l);
    const double cashBefore = cash();
    CQNOrderField *a = ::buyOpen(trader_.get(), "600000", 0, '0', 10.0, "1", ENUM_Direction_Buy);
    CQNOrderField *b = ::sellClose(trader_.get(), "600000", 1200, '0', 10.0, "1", ENUM_Direction_Sell,
                                   ENUM_OffsetFlag_Close, "");
    CQNOrderField *c = ::insertOrder(trader_.get(), "1", "600000", '0', '0', 100, "231", kNaN, '0', nullptr);
    CQNOrderField *d = ::buyOpen(trader_.get(), "600000", 6000, '0', 10.0, "1", ENUM_Direction_Buy);
    ASSERT_TRUE(a && b && c && d);
    EXPECT_EQ(inserts(), 0u);
    EXPECT_EQ(cash(), cashBefore);  // nothing set aside for what never went
    const struct {
        CQNOrderField *o;
        int code;
        const char *text;
    } refused[] = {{a, ENUM_ErrorID_InvalidVolume, "ErrorMsg:Risk:Volume: 0 is not positive."},
                   {b, ENUM_ErrorID_BrokerReject, "ErrorMsg:Risk:Position: sell 1200 of 600000.1, 1000 sellable, "},
                   {c, ENUM_ErrorID_InvalidPrice, "ErrorMsg:Risk:Price: nan is not a finite price."},
                   {d, ENUM_ErrorID_InvalidVolume, "ErrorMsg:Risk:MaxVolume: 6000 above 5000 by 1000."}};
    for (const auto &r : refused) {
        EXPECT_EQ(r.o->OrderStatus, ENUM_OrderStatus_Rejected);
        EXPECT_EQ(r.o->ErrorID, r.code);
        EXPECT_NE(std::string(r.o->Message).find(r.text), std::string::npos) << r.o->Message;
        EXPECT_EQ(std::string(r.o->Message).rfind("TORATrader InsertOrder Failed. UserID:", 0), 0u);
        EXPECT_GT(r.o->OrderLocalTime, 0);
    }
    EXPECT_EQ(orderEventIDs(), std::vector<int>(4, ENUM_OrderEventID_InsertRejected));
    EXPECT_EQ(book_.orders(true).size(), 0u);
    EXPECT_EQ(book_.orders(false).size(), 4u);  // listed as the engine left them

    CQNOrderField *ok = ::sellClose(trader_.get(), "600000", 1000, '0', 10.0, "1", ENUM_Direction_Sell,
                                    ENUM_OffsetFlag_Close, "");
    ASSERT_NE(ok->OrderStatus, ENUM_OrderStatus_Rejected);
    EXPECT_EQ(inserts(), 1u);
    // The cancel throttle: one a second; the second is refused and not sent.
    EXPECT_EQ(::cancelOrder(trader_.get(), "1", "600000", "", ok->OrderID, 0, 0), 0);
    EXPECT_EQ(::cancelOrder(trader_.get(), "1", "600000", "", ok->OrderID, 0, 0), ENUM_ErrorID_BrokerReject);
    EXPECT_EQ(broker_->requestCount("ReqOrderAction"), 1u);
    EXPECT_EQ(book_.lastRefusal().rfind("Risk:CancelRate: ", 0), 0u);
    // Halted, cancels are never held back, and no order goes.
    book_.setHalted(true);
    EXPECT_EQ(::cancelOrder(trader_.get(), "1", "600000", "", ok->OrderID, 0, 0), 0);
    CQNOrderField *late = ::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", ENUM_Direction_Buy);
    EXPECT_EQ(late->OrderStatus, ENUM_OrderStatus_Rejected);
    EXPECT_EQ(inserts(), 1u);
}

TEST_F(BookOnTheEngine, FollowsOrdersAndFillsUnderTPlusOne) {
    CQNOrderField *buy = ::buyOpen(trader_.get(), "600000", 500, '0', 10.0, "1", ENUM_Direction_Buy);
    CQNOrderField *sell = ::sellClose(trader_.get(), "600000", 400, '0', 12.0, "1", ENUM_Direction_Sell,
                                      ENUM_OffsetFlag_Close, "");
    // Let through: open and holding what they may use before the broker says a word.
    EXPECT_EQ(book_.openOrders(), 2);
    EXPECT_DOUBLE_EQ(book_.cash().frozen, 5000.0);
    EXPECT_EQ(position().frozen, 400);
    EXPECT_EQ(position().sellable - position().frozen, 600);

    pushOrder(orderNotice(*buy, TORA_TSTP_OST_NoTradeQueueing));
    pushTrade(*buy, 9.5, 200);
    pushOrder(orderNotice(*buy, TORA_TSTP_OST_PartTradedQueueing, 200, 300));
    pushOrder(orderNotice(*sell, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*sell, TORA_TSTP_OST_AllTraded, 400, 0));  // the trade comes after
    EXPECT_EQ(position().frozen, 400);                                // still held for it
    pushTrade(*sell, 12.0, 400);

    const tc::book::PositionView p = position();
    EXPECT_EQ(p.volume, 1000 + 200 - 400);
    EXPECT_EQ(p.boughtVolume, 200);
    EXPECT_DOUBLE_EQ(p.boughtTurnover, 1900.0);
    EXPECT_EQ(p.soldVolume, 400);
    EXPECT_DOUBLE_EQ(p.soldTurnover, 4800.0);
    EXPECT_EQ(p.frozen, 0);
    EXPECT_EQ(p.sellable, 600);  // what was bought today is sold tomorrow
    EXPECT_NEAR(p.cost, 10000.0 + 1900.0 - 400 * (11900.0 / 1200), 1e-6);
    EXPECT_NEAR(p.realized, (12.0 - 11900.0 / 1200) * 400, 1e-6);
    EXPECT_EQ(book_.openOrders(), 1);
    EXPECT_DOUBLE_EQ(book_.cash().frozen, 300 * 10.0);

    pushOrder(orderNotice(*buy, TORA_TSTP_OST_Canceled, 200, 0));
    pushOrder(orderNotice(*buy, TORA_TSTP_OST_Canceled, 200, 0));  // repeated: nothing more
    EXPECT_EQ(book_.openOrders(), 0);
    EXPECT_DOUBLE_EQ(book_.cash().frozen, 0.0);
    const std::vector<tc::book::OrderView> all = book_.orders(false);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].status, ENUM_OrderStatus_Canceled);
    EXPECT_EQ(all[0].traded, 200);
    EXPECT_EQ(all[0].canceled, 300);
    EXPECT_STREQ(all[1].orderSysID, orderNotice(*sell, '0').OrderSysID);
    EXPECT_TRUE(all[1].thisRun);
}

TEST(AccountBookQueries, EarlierRunsOrdersTradesAndReconciliation) {
    AccountBook book;
    auto login = zeroRecord<CTORATstpRspUserLoginField>();
    login.FrontID = 3;
    login.SessionID = 78;
    answer(book, ENUM_TORAStockTaskID_LoginTrader, login);
    auto earlier = zeroRecord<CTORATstpOrderField>();
    tc::copyText(earlier.SecurityID, "600000");
    earlier.ExchangeID = '1';
    tc::copyText(earlier.OrderRef, "1001");
    earlier.FrontID = 3;
    earlier.SessionID = 77;  // an earlier login's
    tc::copyText(earlier.OrderSysID, "1000000000007");
    earlier.Direction = TORA_TSTP_D_Sell;
    earlier.VolumeTotalOriginal = 300;
    earlier.LimitPrice = 12.0;
    earlier.OrderStatus = TORA_TSTP_OST_NoTradeQueueing;
    answer(book, positionRecord("600000", 1000, 700, 1000, 10000, 300));  // 300 frozen by that sell
    answer(book, ENUM_TORAStockTaskID_QryOrder, earlier);
    auto trade = zeroRecord<CTORATstpTradeField>();
    tc::copyText(trade.SecurityID, "600000");
    trade.ExchangeID = '1';
    tc::copyText(trade.TradeID, "T1");
    tc::copyText(trade.OrderSysID, "1000000000005");
    trade.Direction = TORA_TSTP_D_Buy;
    trade.Price = 9.0;
    trade.Volume = 100;
    answer(book, ENUM_TORAStockTaskID_QryTrade, trade);  // in the position answer already: only the day's turnover
    book.setLoaded();

    tc::book::PositionView p{};
    ASSERT_TRUE(book.position("600000.1", p));
    EXPECT_EQ(p.volume, 1000);
    EXPECT_EQ(p.frozen, 300);
    EXPECT_EQ(p.sellable - p.frozen, 700);
    EXPECT_EQ(p.boughtVolume, 100);
    std::vector<tc::book::OrderView> open = book.orders(true);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_FALSE(open[0].thisRun);
    EXPECT_EQ(open[0].status, ENUM_OrderStatus_Accepted);
    EXPECT_EQ((std::vector<int>{open[0].orderRef, open[0].frontID, open[0].sessionID}), (std::vector<int>{1001, 3, 77}));
    char message[sizeof(TQNMessageType)];
    CQNOrderField sell = order(5, kSell, 701, 12.0);
    EXPECT_EQ(book.checkOrder(tc::OrderCheck{&sell, "600000.1", kCash, kNow, nullptr}, message),
              ENUM_ErrorID_BrokerReject);

    // The earlier order traded 100 and was cancelled meanwhile; its trade arrives with the
    // next answers, once, however often it is listed.
    earlier.OrderStatus = TORA_TSTP_OST_Canceled;
    earlier.VolumeTraded = 100;
    trade.Direction = TORA_TSTP_D_Sell;
    trade.Price = 12.0;
    tc::copyText(trade.TradeID, "T2");
    tc::copyText(trade.OrderSysID, earlier.OrderSysID);
    book.beginReconcile();
    answer(book, ENUM_TORAStockTaskID_QryOrder, earlier);
    answer(book, ENUM_TORAStockTaskID_QryTrade, trade);
    answer(book, ENUM_TORAStockTaskID_QryTrade, trade);
    answer(book, positionRecord("600000", 900, 900, 1000, 9000));
    book.positionsComplete();
    EXPECT_TRUE(book.endReconcile());
    EXPECT_TRUE(book.takeDifferences().empty());
    ASSERT_TRUE(book.position("600000.1", p));
    EXPECT_EQ((std::vector<long long>{p.volume, p.frozen, p.sellable, p.soldVolume}),
              (std::vector<long long>{900, 0, 900, 100}));
    EXPECT_EQ(book.openOrders(), 0);

    // A difference on the broker's side: reported, then the broker's figures are the book's.
    book.beginReconcile();
    answer(book, positionRecord("600000", 1000, 1000, 1000, 9000));
    book.positionsComplete();
    auto account = zeroRecord<CTORATstpTradingAccountField>();
    account.Available = 5000.0;
    answer(book, ENUM_TORAStockTaskID_QryTradingAccount, account);
    EXPECT_TRUE(book.endReconcile());
    const std::vector<tc::book::Difference> d = book.takeDifferences();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ((std::vector<std::string>{d[0].field, d[1].field, d[2].field}),
              (std::vector<std::string>{"volume", "sellable", "available"}));
    EXPECT_STREQ(d[0].key, "600000.1");
    EXPECT_EQ(d[0].book, 900);
    EXPECT_EQ(d[0].broker, 1000);
    ASSERT_TRUE(book.position("600000.1", p));
    EXPECT_EQ(p.volume, 1000);
    EXPECT_DOUBLE_EQ(book.cash().available, 5000.0);

    // A round during which an order went out compares nothing.
    book.beginReconcile();
    CQNOrderField buy = order(6, kBuy, 100, 10.0);
    ASSERT_EQ(book.checkOrder(tc::OrderCheck{&buy, "600000.1", kCash, kNow, nullptr}, message), 0);
    answer(book, positionRecord("600000", 5, 5, 1000, 9000));
    EXPECT_FALSE(book.endReconcile());
    EXPECT_TRUE(book.takeDifferences().empty());
}

// Two buys checked at once (the second placed while the first is inside its checks, as another
// thread may): each fits the cash alone, the two together do not, and only one goes.
TEST_F(BookOnTheEngine, BuysCheckedAtOnceSpendNoMoreThanTheCash) {
    struct Nesting final : tc::OrderGate {
        AccountBook *book = nullptr;
        CBaseTrader *trader = nullptr;
        CQNOrderField *inner = nullptr;
        bool placed = false;
        int checkOrder(const tc::OrderCheck &c, char (&message)[sizeof(TQNMessageType)]) noexcept override {
            if (!placed) {
                placed = true;
                inner = ::buyOpen(trader, "600000", 6000, '0', 100.0, "1", ENUM_Direction_Buy);
            }
            return book->checkOrder(c, message);
        }
        int checkCancel(int orderID, long long nowMicros) noexcept override {
            return book->checkCancel(orderID, nowMicros);
        }
    } nesting;
    nesting.book = &book_;
    nesting.trader = trader_.get();
    trader_->setOrderGate(&nesting);
    ASSERT_DOUBLE_EQ(cash(), kStartCash);
    CQNOrderField *outer = ::buyOpen(trader_.get(), "600000", 6000, '0', 100.0, "1", ENUM_Direction_Buy);
    trader_->setOrderGate(&book_);
    ASSERT_TRUE(outer && nesting.inner);
    EXPECT_EQ((outer->OrderStatus == ENUM_OrderStatus_Rejected) +
                  (nesting.inner->OrderStatus == ENUM_OrderStatus_Rejected),
              1);
    EXPECT_EQ(inserts(), 1u);
    EXPECT_EQ(book_.lastRefusal().rfind("Risk:Cash: ", 0), 0u) << book_.lastRefusal();
    EXPECT_DOUBLE_EQ(cash(), kStartCash - 600000.0);
    EXPECT_EQ(book_.openOrders(), 1);
}

// A processor handed a snapshot places an order priced from that very snapshot: its own thread
// holds the snapshot, and neither the pricing nor the gate waits for it.
TEST_F(BookOnTheEngine, AnOrderPlacedFromInsideASnapshotProcessorDoesNotWaitForItself) {
    Limits l;
    l.priceBand = 0.5;
    book_.setLimits(l);
    putSnapshot("600000", '1', 10.0, 10.02, 11.0, 9.0);
    CQNOrderField *placed = nullptr;
    tc::recording::setCallHook([&](const tc::recording::Call &c) {
        if (c.kind == tc::recording::CallKind::OrderProcessor && c.eventID == ENUM_SnapDataEventID_MarketData &&
            !placed)
            placed = ::buyOpen(trader_.get(), "600000", 100, ENUM_OrderType_BestLimitAndWait, 0, "1",
                               ENUM_Direction_Buy);
    });
    putSnapshot("600000", '1', 10.0, 10.04, 11.0, 9.0);
    tc::recording::setCallHook(nullptr);
    ASSERT_NE(placed, nullptr);
    EXPECT_DOUBLE_EQ(placed->OriginalPrice, 10.04);
    EXPECT_EQ(inserts(), 1u);
}

}  // namespace

namespace {

// Orders checked on two threads while the SDK's thread feeds the book their notifications and a
// third thread reads it: every order is counted open once and released once.
TEST_F(BookOnTheEngine, ChecksUpdatesAndReadsOnSeveralThreads) {
    constexpr int kPerThread = 200;
    Limits l;
    l.maxOpenOrders = 2 * kPerThread;
    book_.setLimits(l);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            (void)book_.orders(true);
            (void)book_.cash();
            tc::book::PositionView v;
            (void)book_.position("600000.1", v);
        }
    });
    std::vector<CQNOrderField *> placed[2];
    std::thread placers[2];
    for (int t = 0; t < 2; ++t) {
        placers[t] = std::thread([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                placed[t].push_back(::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", ENUM_Direction_Buy));
        });
    }
    for (std::thread &p : placers) p.join();
    EXPECT_EQ(book_.openOrders(), 2 * kPerThread);
    for (auto &orders : placed) {
        for (CQNOrderField *o : orders) {
            broker_->pushRtnOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
            broker_->pushRtnOrder(orderNotice(*o, TORA_TSTP_OST_Canceled, 0, 0));
        }
    }
    ASSERT_TRUE(broker_->drain());
    stop = true;
    reader.join();
    EXPECT_EQ(book_.openOrders(), 0);
    EXPECT_DOUBLE_EQ(book_.cash().frozen, 0.0);
    EXPECT_EQ(book_.refusals(), 0u);
    EXPECT_EQ(inserts(), static_cast<std::size_t>(2 * kPerThread));
}

}  // namespace

namespace {

// The security table grows while it is searched without the lock, and tells apart keys that share
// their first 16 bytes.
TEST(AccountBookSecurities, ManyKeysLongAndShortEachFoundAsItself) {
    AccountBook book;
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) {
        keys.push_back(std::to_string(600000 + i) + ".1");
        keys.push_back("LONGSECURITYCODE" + std::to_string(i) + ".2");  // 16 bytes in common
    }
    for (std::size_t i = 0; i < keys.size(); ++i) book.mark(keys[i].c_str(), 1.0 + static_cast<double>(i), 1.0);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        tc::book::PositionView v{};
        ASSERT_TRUE(book.position(keys[i].c_str(), v)) << keys[i];
        EXPECT_EQ(std::string(v.key), keys[i]);
        EXPECT_EQ(v.mark, 1.0 + static_cast<double>(i));
    }
    tc::book::PositionView v{};
    EXPECT_FALSE(book.position("LONGSECURITYCODE.2", v));
    EXPECT_FALSE(book.position("600000.2", v));
}

}  // namespace
