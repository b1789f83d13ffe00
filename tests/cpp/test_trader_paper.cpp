// The stock trader against the paper broker, which behaves like a real front: the engine
// prepares itself up to TraderReady, a marketable buy trades in full, a resting buy is
// cancelled, and a query answer comes back, all from the broker's own state.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "engine/TaskScheduler.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "torasim/SimControl.h"
#include "trader/CTORAStockTrader.h"
#include "trader/SecurityDirectory.h"

namespace {

using tc::recording::Call;
using tc::recording::CallKind;
using torasim::Broker;

class TraderPaper : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        tc::recording::clear();
        tc::resetProcessTraderStateForTests();
        address_ = "sim://trader-paper" + std::to_string(serial.fetch_add(1));
        broker_ = Broker::create(address_, torasim::Mode::Paper);
        torasim::PaperConfig cfg;
        cfg.snapshotsPerSecond = 0;  // the market moves only when the test says so
        cfg.matchRestingOnTick = false;
        torasim::SecurityConfig sec;
        sec.securityID = "600000";
        sec.exchangeID = TORA_TSTP_EXD_SSE;
        sec.preClosePrice = 10.0;
        cfg.securities.push_back(sec);
        broker_->setPaperConfig(cfg);
        torasim::BookLevels book;
        book.bidPrice[0] = 9.99;
        book.bidVolume[0] = 10000;
        book.askPrice[0] = 10.01;
        book.askVolume[0] = 10000;
        ASSERT_TRUE(broker_->setBook("600000", book));

        auto *login = new CQNLoginField();
        tc::copyText(login->UserID, "sim");
        tc::copyText(login->Password, "pw");
        tc::copyText(login->InvestorID, "11000001");
        tc::copyText(login->TraderFrontAddress, address_.c_str());
        tc::copyText(login->BasePath, "/tmp/tradecore-trader-tests");
        login->TaskExecuteGap = 0;
        login->TaskFailedGap = 0;
        login->TaskExecuteTimeout = 600LL * 1000000;
        trader_ = std::make_unique<CTORAStockTrader>(2000, login, tc::recording::fakeCallable(1),
                                                     tc::recording::fakeCallable(2), nullptr);
    }
    void TearDown() override {
        trader_.reset();
        Broker::removeAll();
        tc::resetProcessTraderStateForTests();
        tc::recording::clear();
    }

    // Runs the scheduler the way the engine thread would, until `done` holds (bounded).
    template <class Pred>
    bool runUntil(Pred done) {
        for (int pass = 0; pass < 500; ++pass) {
            if (done()) return true;
            trader_->scheduler().step();
            if (!broker_->drain()) return false;
        }
        return done();
    }
    // `log` is what waitFor hands its predicate (the log's lock is held meanwhile).
    static bool hasOrderEvent(const std::vector<Call> &log, const CQNOrderField *o, int eventID) {
        for (const Call &c : log) {
            if (c.kind == CallKind::OrderProcessor && c.record == o && c.eventID == eventID) return true;
        }
        return false;
    }
    double cash() {
        trader_->lockCash();
        const double c = trader_->useableCash();
        trader_->unlockCash();
        return c;
    }

    std::string address_;
    std::shared_ptr<Broker> broker_;
    std::unique_ptr<CTORAStockTrader> trader_;
};

TEST_F(TraderPaper, PreparesTradesCancelsAndQueries) {
    ASSERT_TRUE(runUntil([&] { return trader_->apiStatus() == ENUM_ApiStatus_Working; }));
    EXPECT_NE(tc::findSecurity("600000.1"), nullptr);
    EXPECT_EQ(trader_->shareholderID('1'), "A000000001");
    EXPECT_DOUBLE_EQ(cash(), 1e7);

    // A buy at the ask trades in full.
    CQNOrderField *filled = ::buyOpen(trader_.get(), "600000", 200, ENUM_OrderType_LimitAndWait, 10.01, "", '0');
    ASSERT_NE(filled, nullptr);
    EXPECT_STREQ(filled->ExchangeID, "1");
    ASSERT_TRUE(broker_->drain());
    ASSERT_TRUE(tc::recording::waitFor([&](const std::vector<Call> &log) {
        return hasOrderEvent(log, filled, ENUM_OrderEventID_UpdateCost) &&
               hasOrderEvent(log, filled, ENUM_OrderEventID_Traded);
    }));
    ::getOrderLock(filled);
    EXPECT_EQ(filled->OrderStatus, ENUM_OrderStatus_AllTraded);
    EXPECT_EQ(filled->TradedVolume, 200);
    EXPECT_EQ(filled->TradedVolumeOfTurnover, 200);
    EXPECT_NEAR(filled->Turnover, 2002.0, 1e-6);
    EXPECT_NEAR(filled->AverageCost, 10.01, 1e-9);
    ::releaseOrderLock(filled);
    EXPECT_FALSE(trader_->isActiveOrder(filled->OrderID));

    // A buy below the bid rests; cancelling it by its id returns the order Canceled.
    CQNOrderField *resting = ::buyOpen(trader_.get(), "600000", 300, ENUM_OrderType_LimitAndWait, 9.50, "1", '0');
    ASSERT_TRUE(tc::recording::waitFor([&](const std::vector<Call> &log) {
        return hasOrderEvent(log, resting, ENUM_OrderEventID_Accepted);
    }));
    ASSERT_TRUE(broker_->drain());
    EXPECT_TRUE(trader_->isActiveOrder(resting->OrderID));
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), resting->OrderID), 0);
    ASSERT_TRUE(tc::recording::waitFor([&](const std::vector<Call> &log) {
        return hasOrderEvent(log, resting, ENUM_OrderEventID_Canceled);
    }));
    ASSERT_TRUE(broker_->drain());
    ::getOrderLock(resting);
    EXPECT_EQ(resting->OrderStatus, ENUM_OrderStatus_Canceled);
    EXPECT_EQ(resting->CanceledVolume, 300);
    ::releaseOrderLock(resting);
    EXPECT_FALSE(trader_->isActiveOrder(resting->OrderID));

    // A position query: its answer arrives as events and completes the task.
    CQNQueryCommandField q;
    tc::copyText(q.ExchangeID, "1");
    ASSERT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryPosition, &q, 1, 0, 0, false, -1), 0);
    ASSERT_TRUE(runUntil([&] { return trader_->scheduler().size() == 0; }));
    bool lastSeen = false;
    for (const Call &c : tc::recording::snapshot()) {
        if (c.kind == CallKind::EventProcessor && c.eventID == ENUM_TORAStockTaskID_QryPosition && c.isLast) {
            lastSeen = true;
            EXPECT_EQ(c.errorID, 0);
        }
    }
    EXPECT_TRUE(lastSeen);
}

}  // namespace
