// The exported functions: null-handle answers, hand-over to the engine, record locks, time,
// version and the error table.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/RecordBlock.h"
#include "engine/Registry.h"
#include "engine/Text.h"
#include "engine/Time.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "support/EngineDoubles.h"
#include "trader/SecurityDirectory.h"

using tc::testing::FakeEngine;
using tc::testing::FakeMd;

namespace {

// --- null engine handle ----------------------------------------------------------------------

TEST(ExportsNullHandle, EveryAccountOperationAnswersWithItsFixedValue) {
    tc::recording::clear();
    CQNQueryCommandField query;
    char a[] = "600000";
    char b[] = "000001";
    char *ids[] = {a, b};
    EXPECT_EQ(addTask(nullptr, 12101, &query, 1, -1, -1, false, -1), -1002000);
    EXPECT_EQ(addTask(nullptr, 12101, nullptr, 1, -1, -1, false, -1), -1002000);
    EXPECT_EQ(queryBankAccountCash(nullptr, "a", "b", "c"), -1002000);
    EXPECT_EQ(insertOrder(nullptr, "1", "600000", '0', '0', 100, "231", 10.0, '0', ""), nullptr);
    EXPECT_EQ(buyOpen(nullptr, "600000", 100, '0', 10.0, "1", '0'), nullptr);
    EXPECT_EQ(buyOpen(nullptr, "600000", 100, '0', 10.0, "", '0'), nullptr);
    EXPECT_EQ(sellClose(nullptr, "600000", 100, '0', 10.0, "1", '1', '1', ""), nullptr);
    EXPECT_EQ(sellOpen(nullptr, "600000", 100, '0', 10.0, "1", '1', '0'), nullptr);
    EXPECT_EQ(buyClose(nullptr, "600000", 100, '0', 10.0, "1", '0', '1', ""), nullptr);
    EXPECT_EQ(cancelOrder(nullptr, "1", "600000", "S1", 5, 0, 0), -1002000);
    EXPECT_EQ(cancelOrderByOrderID(nullptr, 5), -1002000);
    EXPECT_EQ(cancelOrderByStandardID(nullptr, nullptr, nullptr), -1002000);
    EXPECT_EQ(transferCash(nullptr, 'Z', 1.0, "", "", "", "", ""), nullptr);
    EXPECT_EQ(transferPosition(nullptr, 'V', 100, "", "", "", ""), nullptr);
    EXPECT_EQ(updatePassword(nullptr, '0', "old", "new"), -1002000);
    EXPECT_EQ(subscribe(nullptr, ids, 2, "1"), -1002000);
    EXPECT_EQ(unsubscribe(nullptr, ids, 2, "1"), -1002000);
    EXPECT_EQ(subscribeOne(nullptr, "600000", "1"), -1002100);
    EXPECT_EQ(unsubscribeOne(nullptr, "600000", "1"), -1002100);
    // Nothing reached Python.
    EXPECT_EQ(tc::recording::callCount(), 0u);
}

// --- hand-over to the engine -----------------------------------------------------------------

class ExportsEngine : public ::testing::Test {
protected:
    void SetUp() override { tc::recording::clear(); }
    void TearDown() override { tc::securityDirectory.forgetAllForTests(); }

    FakeEngine engine_{"exports"};
};

TEST_F(ExportsEngine, OrderFunctionsReturnTheRecordInsideTheBlock) {
    tc::RecordBlock<CQNOrderField> block;
    tc::RecordBlock<CQNTransferAssetField> transfer;
    engine_.orderResult = &block;
    engine_.transferResult = &transfer;
    CQNOrderField *expected = &block.record;
    EXPECT_EQ(reinterpret_cast<char *>(expected), reinterpret_cast<char *>(&block) + 8);
    EXPECT_EQ(buyOpen(&engine_, "600000", 100, '0', 10.0, "1", '0'), expected);
    EXPECT_EQ(sellClose(&engine_, "600000", 100, '0', 10.0, "1", '1', '1', "x"), expected);
    EXPECT_EQ(sellOpen(&engine_, "600000", 100, '0', 10.0, "1", '1', '0'), expected);
    EXPECT_EQ(buyClose(&engine_, "600000", 100, '0', 10.0, "1", '0', '1', "x"), expected);
    EXPECT_EQ(insertOrder(&engine_, "1", "600000", '0', '0', 100, "231", 10.0, '0', ""), expected);
    EXPECT_EQ(transferCash(&engine_, 'Z', 1.0, "", "", "", "", ""), &transfer.record);
    EXPECT_EQ(transferPosition(&engine_, 'V', 1, "", "", "", ""), &transfer.record);

    engine_.orderResult = nullptr;
    engine_.transferResult = nullptr;
    EXPECT_EQ(buyOpen(&engine_, "600000", 100, '0', 10.0, "1", '0'), nullptr);
    EXPECT_EQ(sellClose(&engine_, "600000", 100, '0', 10.0, "1", '1', '1', "x"), nullptr);
    EXPECT_EQ(sellOpen(&engine_, "600000", 100, '0', 10.0, "1", '1', '0'), nullptr);
    EXPECT_EQ(buyClose(&engine_, "600000", 100, '0', 10.0, "1", '0', '1', "x"), nullptr);
    EXPECT_EQ(insertOrder(&engine_, "1", "600000", '0', '0', 100, "231", 10.0, '0', ""), nullptr);
    EXPECT_EQ(transferCash(&engine_, 'Z', 1.0, "", "", "", "", ""), nullptr);
    EXPECT_EQ(transferPosition(&engine_, 'V', 1, "", "", "", ""), nullptr);
}

TEST_F(ExportsEngine, ArgumentsReachTheEngineInOrderWithOrderMarkAndTransferIDZero) {
    buyOpen(&engine_, "600000", 100, 'a', 10.5, "1", '0');
    sellClose(&engine_, "600001", 200, 'b', 11.5, "2", '1', '1', "extra");
    sellOpen(&engine_, "600002", 300, 'c', 12.5, "1", '1', '0');
    buyClose(&engine_, "600003", 400, 'd', 13.5, "2", '0', '3', "more");
    insertOrder(&engine_, "1", "600004", '0', '1', 500, "231", 14.5, '1', "D1");
    transferCash(&engine_, 'Z', 99.5, "t1", "t2", "t3", "t4", "t5");
    transferPosition(&engine_, 'V', 700, "p1", "p2", "p3", "p4");
    updatePassword(&engine_, '1', "old", "new");
    cancelOrder(&engine_, "1", "600000", "S9", 17, 3, 4);
    cancelOrderByOrderID(&engine_, 18);
    cancelOrderByStandardID(&engine_, nullptr, "600000");

    const auto calls = engine_.calls();
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[0].op, "buyOpen");
    EXPECT_EQ(calls[0].standardID, "600000");
    EXPECT_EQ(calls[0].exchangeID, "1");
    EXPECT_EQ(calls[0].volume, 100);
    EXPECT_EQ(calls[0].orderType, 'a');
    EXPECT_EQ(calls[0].price, 10.5);
    EXPECT_EQ(calls[0].direction, '0');
    EXPECT_EQ(calls[0].id, 0);
    EXPECT_EQ(calls[0].security, nullptr);

    EXPECT_EQ(calls[1].op, "sellClose");
    EXPECT_EQ(calls[1].offsetFlag, '1');
    EXPECT_EQ(calls[1].texts, std::vector<std::string>({"extra"}));
    EXPECT_EQ(calls[1].id, 0);
    EXPECT_EQ(calls[2].op, "sellOpen");
    EXPECT_EQ(calls[2].volume, 300);
    EXPECT_EQ(calls[3].op, "buyClose");
    EXPECT_EQ(calls[3].offsetFlag, '3');
    EXPECT_EQ(calls[3].texts, std::vector<std::string>({"more"}));

    EXPECT_EQ(calls[4].op, "insertOrder");
    EXPECT_EQ(calls[4].exchangeID, "1");
    EXPECT_EQ(calls[4].standardID, "600004");
    EXPECT_EQ(calls[4].offsetFlag, '1');
    EXPECT_EQ(calls[4].volume, 500);
    EXPECT_EQ(calls[4].orderType, '1');  // credit quota type
    EXPECT_EQ(calls[4].id, 0);           // order mark
    EXPECT_EQ(calls[4].texts, std::vector<std::string>({"231", "D1"}));

    EXPECT_EQ(calls[5].op, "transferCash");
    EXPECT_EQ(calls[5].id, 0);
    EXPECT_EQ(calls[5].direction, 'Z');
    EXPECT_EQ(calls[5].price, 99.5);
    EXPECT_EQ(calls[5].texts, std::vector<std::string>({"t1", "t2", "t3", "t4", "t5"}));
    EXPECT_EQ(calls[6].op, "transferPosition");
    EXPECT_EQ(calls[6].id, 0);
    EXPECT_EQ(calls[6].volume, 700);
    EXPECT_EQ(calls[6].texts, std::vector<std::string>({"p1", "p2", "p3", "p4"}));
    EXPECT_EQ(calls[7].op, "updatePassword");
    EXPECT_EQ(calls[7].direction, '1');
    EXPECT_EQ(calls[7].texts, std::vector<std::string>({"old", "new"}));
    EXPECT_EQ(calls[7].reserved, 0);
    EXPECT_EQ(calls[8].op, "cancelOrder");
    EXPECT_EQ(calls[8].id, 17);
    EXPECT_EQ(calls[8].texts, std::vector<std::string>({"S9", "3", "4"}));
    EXPECT_EQ(calls[9].op, "cancelOrderByOrderID");
    EXPECT_EQ(calls[9].id, 18);
    EXPECT_EQ(calls[10].op, "cancelOrderByStandardID");
    EXPECT_TRUE(calls[10].exchangeIsNull);
    EXPECT_EQ(calls[10].standardID, "600000");
}

TEST_F(ExportsEngine, IntResultsComeBackUnchanged) {
    engine_.intResult = -77;
    EXPECT_EQ(cancelOrder(&engine_, "1", "600000", "", 1, 0, 0), -77);
    EXPECT_EQ(cancelOrderByOrderID(&engine_, 1), -77);
    EXPECT_EQ(cancelOrderByStandardID(&engine_, "1", nullptr), -77);
    EXPECT_EQ(updatePassword(&engine_, '0', "a", "b"), -77);
}

TEST_F(ExportsEngine, MissingExchangeIsLookedUpInTheSecurityDirectory) {
    // Only exchange-free security types are entered under "<code>.".
    char freeType = 0;
    for (int c = 1; c < 128 && !freeType; ++c) {
        if (tc::isExchangeFreeSecurityType(static_cast<char>(c))) freeType = static_cast<char>(c);
    }
    ASSERT_NE(freeType, 0);
    const tc::SecurityEntry *entry = tc::securityDirectory.enter("600000", "1", freeType, 1);
    ASSERT_NE(entry, nullptr);

    buyOpen(&engine_, "600000", 100, '0', 10.0, "", '0');
    sellClose(&engine_, "600000", 100, '0', 10.0, nullptr, '1', '1', "");
    sellOpen(&engine_, "600000", 100, '0', 10.0, "", '1', '0');
    buyClose(&engine_, "600000", 100, '0', 10.0, nullptr, '0', '1', "");
    buyOpen(&engine_, "999999", 100, '0', 10.0, "", '0');      // not in the directory
    buyOpen(&engine_, "999999", 100, '0', 10.0, nullptr, '0');  // not in the directory
    buyOpen(&engine_, "600000", 100, '0', 10.0, "2", '0');     // given: passed unchanged
    buyOpen(&engine_, nullptr, 100, '0', 10.0, nullptr, '0');

    const auto calls = engine_.calls();
    ASSERT_EQ(calls.size(), 8u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i].exchangeID, "1") << calls[i].op;
        EXPECT_EQ(calls[i].security, entry) << calls[i].op;
    }
    EXPECT_FALSE(calls[4].exchangeIsNull);
    EXPECT_EQ(calls[4].exchangeID, "");
    EXPECT_EQ(calls[4].security, nullptr);
    EXPECT_TRUE(calls[5].exchangeIsNull);
    EXPECT_EQ(calls[5].security, nullptr);
    EXPECT_EQ(calls[6].exchangeID, "2");
    EXPECT_EQ(calls[6].security, nullptr);
    EXPECT_TRUE(calls[7].exchangeIsNull);
    EXPECT_EQ(calls[7].security, nullptr);
}

TEST_F(ExportsEngine, QueryBankAccountCashQueuesTask36WithTextsCutToTheirFields) {
    const std::string longPassword(60, 'p');
    EXPECT_EQ(queryBankAccountCash(&engine_, longPassword.c_str(), "12345", "bankpw"), 0);
    engine_.scheduler().step();
    const auto tasks = engine_.sentTasks();
    ASSERT_EQ(tasks.size(), 1u);
    const tc::Task &t = tasks[0];
    EXPECT_EQ(t.TaskID, 36);
    EXPECT_EQ(t.Count, 1);
    EXPECT_FALSE(t.RetryUntilSuccess);
    EXPECT_EQ(t.ExecuteGap, engine_.login().TaskExecuteGap);
    EXPECT_EQ(t.FailedGap, engine_.login().TaskFailedGap);
    EXPECT_EQ(t.ExecuteTimeout, engine_.login().TaskExecuteTimeout);
    EXPECT_EQ(std::string(t.AccountPassword), std::string(40, 'p'));
    EXPECT_STREQ(t.BankID, "123");
    EXPECT_STREQ(t.BankPassword, "bankpw");
    EXPECT_STREQ(t.StandardID, "");
    EXPECT_EQ(t.IntValue, 0);
}

TEST_F(ExportsEngine, AddTaskQueuesThroughTheEngineNormalisation) {
    CQNQueryCommandField query;
    tc::copyText(query.StandardID, "600000");
    EXPECT_EQ(addTask(&engine_, 12401, &query, 2, -1, 7, true, 1), 0);
    engine_.scheduler().step();
    const auto tasks = engine_.sentTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].TaskID, 12401);
    EXPECT_EQ(tasks[0].Count, 2);
    EXPECT_EQ(tasks[0].ExecuteGap, 1000000);
    EXPECT_EQ(tasks[0].FailedGap, 7);
    EXPECT_TRUE(tasks[0].RetryUntilSuccess);
    EXPECT_EQ(tasks[0].ExecuteTimeout, 10000000);
    EXPECT_STREQ(tasks[0].StandardID, "600000");
}

// --- subscriptions -----------------------------------------------------------------------------

TEST_F(ExportsEngine, SubscribeWithoutMarketDataSideAnswersInvalidMdInstance) {
    ASSERT_EQ(engine_.md(), nullptr);
    char a[] = "600000";
    char *ids[] = {a};
    EXPECT_EQ(subscribe(&engine_, ids, 1, "1"), -1002100);
    EXPECT_EQ(unsubscribe(&engine_, ids, 1, "1"), -1002100);
    EXPECT_EQ(subscribeOne(&engine_, "600000", "1"), -1002100);
    EXPECT_EQ(unsubscribeOne(&engine_, "600000", "1"), -1002100);
}

TEST_F(ExportsEngine, SubscribeCollapsesDuplicatesIntoOneSetAndReturnsTheResult) {
    auto *md = new FakeMd("exports");
    md->setApiStatus(ENUM_ApiStatus_Working);
    md->requestResult = 5;
    engine_.attachMd(md);

    char a[] = "600000";
    char b[] = "600001";
    char c[] = "600000";
    char *ids[] = {a, b, c, nullptr};
    EXPECT_EQ(subscribe(&engine_, ids, 3, "1"), 5);
    EXPECT_EQ(subscribeOne(&engine_, "600002", "1"), 5);
    EXPECT_EQ(subscribe(&engine_, nullptr, 3, "1"), 0);  // nothing to add
    EXPECT_EQ(unsubscribeOne(&engine_, "600002", "1"), 5);
    EXPECT_EQ(unsubscribe(&engine_, ids, 3, "1"), 5);

    const auto requests = md->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[0].subscribe);
    EXPECT_EQ(requests[0].exchangeID, "1");
    EXPECT_EQ(requests[0].ids, std::vector<std::string>({"600000", "600001"}));
    EXPECT_EQ(requests[0].marketDataType, ENUM_MarketDataType_Snap);
    EXPECT_EQ(requests[1].ids, std::vector<std::string>({"600002"}));
    EXPECT_FALSE(requests[2].subscribe);
    EXPECT_EQ(requests[2].ids, std::vector<std::string>({"600002"}));
    EXPECT_FALSE(requests[3].subscribe);
    EXPECT_EQ(requests[3].ids, std::vector<std::string>({"600000", "600001"}));
    engine_.attachMd(nullptr);
    delete md;
}

// --- record locks --------------------------------------------------------------------------------

TEST(ExportsRecordLock, NullRecordsDoNothing) {
    EXPECT_EQ(getOrderLock(nullptr), 0);
    EXPECT_EQ(releaseOrderLock(nullptr), 0);
    EXPECT_EQ(getMarketDataLock(nullptr), 0);
    EXPECT_EQ(releaseMarketDataLock(nullptr), 0);
}

TEST(ExportsRecordLock, LockThenReleaseLeavesBothWordsAtZero) {
    tc::RecordBlock<CQNOrderField> order;
    tc::RecordBlock<CQNMarketDataField> snapshot;
    EXPECT_EQ(getOrderLock(&order.record), 0);
    EXPECT_EQ(order.lock.word.load(), -1);
    EXPECT_EQ(order.lock.waiters.load(), 0);
    EXPECT_EQ(releaseOrderLock(&order.record), 0);
    EXPECT_EQ(order.lock.word.load(), 0);
    EXPECT_EQ(order.lock.waiters.load(), 0);
    EXPECT_EQ(releaseOrderLock(&order.record), 0);  // already free
    EXPECT_EQ(order.lock.word.load(), 0);

    EXPECT_EQ(getMarketDataLock(&snapshot.record), 0);
    EXPECT_EQ(snapshot.lock.word.load(), -1);
    EXPECT_EQ(releaseMarketDataLock(&snapshot.record), 0);
    EXPECT_EQ(snapshot.lock.word.load(), 0);
    EXPECT_EQ(snapshot.lock.waiters.load(), 0);
}

TEST(ExportsRecordLock, RecordsMadeOutsideTheEngineCarryLockWordsToo) {
    std::unique_ptr<CQNOrderField> order(new CQNOrderField());
    std::unique_ptr<CQNMarketDataField> snapshot(new CQNMarketDataField());
    EXPECT_EQ(getOrderLock(order.get()), 0);
    EXPECT_EQ(tc::lockOf(order.get())->word.load(), -1);
    EXPECT_EQ(releaseOrderLock(order.get()), 0);
    EXPECT_EQ(tc::lockOf(order.get())->word.load(), 0);
    EXPECT_EQ(getMarketDataLock(snapshot.get()), 0);
    EXPECT_EQ(releaseMarketDataLock(snapshot.get()), 0);
    EXPECT_EQ(tc::lockOf(snapshot.get())->word.load(), 0);
    EXPECT_EQ(tc::lockOf(snapshot.get())->waiters.load(), 0);
}

TEST(ExportsRecordLock, SecondTakerWaitsAsAWaiterUntilRelease) {
    tc::RecordBlock<CQNOrderField> order;
    ASSERT_EQ(getOrderLock(&order.record), 0);
    std::atomic<bool> taken{false};
    std::thread other([&] {
        getOrderLock(&order.record);
        taken = true;
        releaseOrderLock(&order.record);
    });
    while (order.lock.waiters.load() != 1) std::this_thread::yield();
    EXPECT_FALSE(taken.load());
    releaseOrderLock(&order.record);
    other.join();
    EXPECT_TRUE(taken.load());
    EXPECT_EQ(order.lock.word.load(), 0);
    EXPECT_EQ(order.lock.waiters.load(), 0);
}

TEST(ExportsRecordLock, TheRecordBeingDeliveredToThisThreadIsNotTakenAgain) {
    tc::RecordBlock<CQNOrderField> order;
    tc::RecordBlock<CQNOrderField> other;
    order.lock.word = -1;  // held by the engine for this delivery
    const void *previous = tc::tlsDeliveredRecord;
    tc::tlsDeliveredRecord = &order.record;
    EXPECT_EQ(getOrderLock(&order.record), 0);
    EXPECT_EQ(order.lock.word.load(), -1);
    EXPECT_EQ(order.lock.waiters.load(), 0);
    EXPECT_EQ(releaseOrderLock(&order.record), 0);
    EXPECT_EQ(order.lock.word.load(), -1) << "the engine releases it after the delivery";
    EXPECT_EQ(getMarketDataLock(reinterpret_cast<CQNMarketDataField *>(&order.record)), 0);
    EXPECT_EQ(order.lock.word.load(), -1);
    // Any other record behaves as usual.
    EXPECT_EQ(getOrderLock(&other.record), 0);
    EXPECT_EQ(other.lock.word.load(), -1);
    EXPECT_EQ(releaseOrderLock(&other.record), 0);
    EXPECT_EQ(other.lock.word.load(), 0);
    tc::tlsDeliveredRecord = previous;
}

// --- exitX ------------------------------------------------------------------------------------

TEST(ExportsExit, ExitWithAHandleStopsOnlyThatEngine) {
    FakeEngine a("exit-a");
    FakeEngine b("exit-b");
    a.setApiStatus(ENUM_ApiStatus_Working);
    b.setApiStatus(ENUM_ApiStatus_Working);
    exitX(&a);
    EXPECT_EQ(a.apiStatus(), ENUM_ApiStatus_Exit);
    EXPECT_EQ(b.apiStatus(), ENUM_ApiStatus_Working);
    // A reconnection after exitX does not bring the engine back.
    a.setApiStatus(ENUM_ApiStatus_Initializing);
    a.setApiStatus(ENUM_ApiStatus_Working);
    EXPECT_EQ(a.apiStatus(), ENUM_ApiStatus_Exit);
}

TEST(ExportsExit, ExitWithNullStopsEveryRegisteredEngine) {
    // Registered engines live as long as the process.
    auto *a = new FakeEngine("exit-null-a");
    auto *b = new FakeEngine("exit-null-b");
    a->setApiStatus(ENUM_ApiStatus_Working);
    b->setApiStatus(ENUM_ApiStatus_Disconnected);
    ASSERT_EQ(tc::registerEngine("10002.exit-null-a.0", a), a);
    ASSERT_EQ(tc::registerEngine("10002.exit-null-b.0", b), b);
    FakeEngine unregistered("exit-null-c");
    unregistered.setApiStatus(ENUM_ApiStatus_Working);
    exitX(nullptr);
    EXPECT_EQ(a->apiStatus(), ENUM_ApiStatus_Exit);
    EXPECT_EQ(b->apiStatus(), ENUM_ApiStatus_Exit);
    EXPECT_EQ(unregistered.apiStatus(), ENUM_ApiStatus_Working);
    for (CBaseTrader *engine : tc::registeredEngines()) EXPECT_EQ(engine->apiStatus(), ENUM_ApiStatus_Exit);
}

// --- process-wide helpers -----------------------------------------------------------------------

TEST(ExportsHelpers, Version) { EXPECT_STREQ(getVersion(), "Quillon 002.100.001"); }

TEST(ExportsHelpers, TimeIsMicrosecondsSinceLoad) {
    const long long anchor = setTimeAnchor();
    EXPECT_GE(anchor, 0);
    const long long elapsed = getTimeElapse(anchor);
    EXPECT_GE(elapsed, 0);
    EXPECT_EQ(getTimeElapse(0) >= anchor, true);
    // The same clock as the origin, in microseconds.
    const long long ticks = tc::systemTicks();
    const long long micros = tc::nowMicros();
    EXPECT_GE(micros, (ticks - tc::timeOrigin()) / 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(getTimeElapse(anchor), 20000);
}

TEST(ExportsHelpers, TimeElapseSubtractsTheAnchor) {
    const long long now = setTimeAnchor();
    EXPECT_GE(getTimeElapse(-1000000), now + 1000000);
    EXPECT_LE(getTimeElapse(now + 1000000000LL), 0);
}

TEST(ExportsHelpers, InitErrorStartsOrStaysAsInitLeftIt) {
    tc::setLastInitError(-1000300);
    EXPECT_EQ(getInitError(), -1000300);
    tc::setLastInitError(0);
    EXPECT_EQ(getInitError(), 0);
}

// --- error table ----------------------------------------------------------------------------------

TEST(ErrorTable, EveryCodeHasItsMessage) {
    struct Row {
        int code;
        const char *constant;
        const char *message;
    };
    const Row rows[] = {
        {ENUM_ErrorID_None, ENUM_ErrorMsg_None, ""},
        {-1000100, ENUM_ErrorMsg_Unsupported, "Error:Unsupported."},
        {-1000200, ENUM_ErrorMsg_InvalidRunID, "Error:ID should belong to [0,INT_MAX]."},
        {-1000300, ENUM_ErrorMsg_InvalidLoginField, "Error:Invalid LoginField."},
        {-1000500, ENUM_ErrorMsg_InvalidUserID, "Error:Invalid UserID."},
        {-1000600, ENUM_ErrorMsg_InvalidPassword, "Error:Invalid Password."},
        {-1000700, ENUM_ErrorMsg_InvalidUserType, "Error:Invalid UserType."},
        {-1000800, ENUM_ErrorMsg_InvalidTraderFront, "Error:Invalid TraderFront."},
        {-1000900, ENUM_ErrorMsg_InvalidMdFront, "Error:Invalid MdFront."},
        {-1001000, ENUM_ErrorMsg_InvalidFilePath, "Error:Invalid FilePath."},
        {-1001100, ENUM_ErrorMsg_InvalidBrokerID, "Error:Invalid BrokerID."},
        {-1001200, ENUM_ErrorMsg_InvalidAppID, "Error:Invalid AppID."},
        {-1001300, ENUM_ErrorMsg_InvalidAuthCode, "Error:Invalid AuthCode."},
        {-1001400, ENUM_ErrorMsg_FailToCreateTrader, "Error:Fail To Create Trader."},
        {-1001500, ENUM_ErrorMsg_TraderConnectTimeout, "Error:Trader Connect Timeout."},
        {-1001600, ENUM_ErrorMsg_TraderDisconnected, "Error:Trader Disconnected."},
        {-1001700, ENUM_ErrorMsg_FailToCreateMd, "Error:Fail To Create Md."},
        {-1001800, ENUM_ErrorMsg_MdConnectTimeout, "Error:Md Connect Timeout."},
        {-1001900, ENUM_ErrorMsg_MdDisconnected, "Error:Md Disconnected."},
        {-1002000, ENUM_ErrorMsg_InvalidTraderInstance, "Error:Invalid Trader Instance."},
        {-1002100, ENUM_ErrorMsg_InvalidMdInstance, "Error:Invalid Md Instance."},
        {-1002200, ENUM_ErrorMsg_FailToSend, "Error:Fail To Send."},
        {-1002300, ENUM_ErrorMsg_ResponseTimeout, "Error:Response Timeout."},
        {-1002400, ENUM_ErrorMsg_InvalidPrice, "Error:Invalid Price."},
        {-1002500, ENUM_ErrorMsg_InvalidVolume, "Error:Invalid Volume."},
        {-1002600, ENUM_ErrorMsg_BrokerReject, "Error:Broker Reject."},
        {-1002700, ENUM_ErrorMsg_ExchangeReject, "Error:Exchange Reject."},
        {-10002800, ENUM_ErrorMsg_InvalidOrderEventID, "Error:Invalid OrderEventID."},
        {-1002900, ENUM_ErrorMsg_InvalidMarketDataType, "Error:Invalid MarketDataType."},
        {-10003000, ENUM_ErrorMsg_InvalidSnapDataEventID, "Error:Invalid SnapDataEventID."},
        {-10003100, ENUM_ErrorMsg_InvalidDetailDataEventID, "Error:Invalid DetailDataEventID."},
        {-1003200, ENUM_ErrorMsg_InvalidEventID, "Error:Invalid EventID."},
        {-1003300, ENUM_ErrorMsg_InvalidPasswordFlag, "Error:Invalid PasswordFlag."},
        {-1003400, ENUM_ErrorMsg_InvalidTransferFlag, "Error:Invalid TransferFlag."},
        {-1003500, ENUM_ErrorMsg_InvalidStandardID, "Error:Invalid StandardID."},
        {-1003600, ENUM_ErrorMsg_FailToTransfer, "Error:Fail To Transfer."},
    };
    EXPECT_EQ(sizeof rows / sizeof rows[0], 36u);
    for (const Row &row : rows) {
        EXPECT_STREQ(row.constant, row.message) << row.code;
        // The lookup hands out the constant itself.
        EXPECT_EQ(getMessageByErrorID(row.code), row.constant) << row.code;
    }
    EXPECT_EQ(sizeof(ENUM_ErrorMsg_InvalidRunID), 256u);
}

TEST(ErrorTable, UnknownCodesGiveTheEmptyText) {
    for (int code : {1, -1000150, -1002800, -1003000, -1003100, -1003700, 2147483647, -2147483647 - 1}) {
        const char *message = getMessageByErrorID(code);
        ASSERT_NE(message, nullptr) << code;
        EXPECT_STREQ(message, "") << code;
    }
    EXPECT_STREQ(getMessageByErrorID(0), "");
    EXPECT_STREQ(getMessageByErrorID(-1002000), "Error:Invalid Trader Instance.");
    EXPECT_STREQ(getMessageByErrorID(-10002800), "Error:Invalid OrderEventID.");
}

}  // namespace
