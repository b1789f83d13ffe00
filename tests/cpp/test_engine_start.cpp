// Start-up with the real TORA stock adapters against the simulated broker.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SimControl.h"
#include "engine/CBaseTrader.h"
#include "engine/Registry.h"
#include "marketdata/CBaseMd.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"

namespace fs = std::filesystem;

namespace {

class StartTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        base_ = fs::temp_directory_path() / (std::string("tc_engine_start_") + info->name());
        fs::remove_all(base_);
        fs::create_directories(base_);
        // A front of its own: engines of earlier cases stay connected to theirs.
        // Front addresses hold 31 characters.
        static int cases = 0;
        front_ = "sim://engine-start-" + std::to_string(++cases);
        broker_ = torasim::Broker::create(front_, torasim::Mode::Scripted);
        broker_->setAutoAccept(true);
    }
    void TearDown() override {
        for (CBaseTrader *engine : started_) exitX(engine);
        // The disconnections are delivered on the SDK threads; let them finish before the
        // next case (or the end of the process).
        broker_->setAutoAccept(false);
        broker_->dropConnection();
        broker_->drain();
        torasim::Broker::remove(front_);
        std::error_code ec;
        fs::remove_all(base_, ec);
    }
    CQNLoginField login(const char *user, const char *front = nullptr) {
        if (!front) front = front_.c_str();
        CQNLoginField l;
        l.UserType = ENUM_UserType_TORAStock;
        tc::copyText(l.UserID, user);
        tc::copyText(l.TraderFrontAddress, front);
        tc::copyText(l.MdFrontAddress, front);
        tc::copyText(l.BasePath, base_.string().c_str());
        l.ConnectTimeout = 10000000;
        return l;
    }
    CBaseTrader *start(int runID, CQNLoginField &l) {
        CBaseTrader *engine = init(runID, &l, nullptr, nullptr, nullptr, nullptr);
        if (engine) started_.push_back(engine);
        return engine;
    }

    std::string front_;
    fs::path base_;
    std::shared_ptr<torasim::Broker> broker_;
    std::vector<CBaseTrader *> started_;
};

TEST_F(StartTest, BothSidesConnectAndFoldedRunIDsShareOneEngine) {
    CQNLoginField l = login("00012345");
    CBaseTrader *engine = start(7, l);
    ASSERT_NE(engine, nullptr) << getInitError();
    EXPECT_EQ(getInitError(), 0);
    EXPECT_NE(engine->apiStatus(), ENUM_ApiStatus_Null);
    ASSERT_NE(engine->md(), nullptr);
    EXPECT_NE(engine->md()->apiStatus(), ENUM_ApiStatus_Null);
    EXPECT_EQ(engine->runID(), 7);
    EXPECT_EQ(tc::findEngine("10002.00012345.7"), engine);
    EXPECT_EQ(tc::findMd("10002.00012345.7"), engine->md());

    EXPECT_EQ(start(65543, l), engine);
    EXPECT_EQ(getInitError(), 0);
    EXPECT_EQ(start(7, l), engine);
    EXPECT_EQ(broker_->connections().size(), 2u) << "one trader and one md connection, made once";
    EXPECT_TRUE(fs::is_directory(base_ / "00012345" / "TDFlow"));
    EXPECT_TRUE(fs::is_directory(base_ / "00012345" / "MDFlow"));
}

TEST_F(StartTest, TraderFrontThatNeverAnswersTimesOut) {
    CQNLoginField l = login("never", "sim://engine-start-none");
    l.ConnectTimeout = 200000;
    EXPECT_EQ(start(1, l), nullptr);
    EXPECT_EQ(getInitError(), -1001500);
    EXPECT_EQ(tc::findEngine("10002.never.1"), nullptr);
}

TEST_F(StartTest, MarketDataFrontThatNeverAnswersLeavesTheEngineWithoutMarketData) {
    CQNLoginField l = login("nomd");
    tc::copyText(l.MdFrontAddress, "sim://engine-start-none");
    l.ConnectTimeout = 200000;
    CBaseTrader *engine = start(1, l);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(getInitError(), -1001800);
    EXPECT_EQ(engine->md(), nullptr);
    EXPECT_EQ(subscribeOne(engine, "600000", "1"), -1002100);
}

}  // namespace
