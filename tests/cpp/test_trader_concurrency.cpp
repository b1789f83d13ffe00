// The trader's locks under contention: the active-order index lock lets a waiting writer in
// before new readers, and orders placed from several threads while their notifications arrive
// and cancel sweeps run end consistent (run under the thread sanitizer in CI).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/tradecore_api.h"
#include "support/TraderFixture.h"
#include "trader/SpinLocks.h"

namespace {

using tc::testing::TraderFixture;

template <class Pred>
void waitUntil(Pred pred) {
    while (!pred()) std::this_thread::yield();
}

TEST(ActiveOrderLock, AWaitingWriterGoesBeforeReadersThatArriveAfterIt) {
    tc::RWSpinLock lock;
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto note = [&](const char *what) {
        std::lock_guard<std::mutex> guard(orderMutex);
        order.push_back(what);
    };

    lock.lockRead();
    EXPECT_EQ(lock.state(), 1);
    std::thread writer([&] {
        lock.lockWrite();
        note("writer");
        lock.unlockWrite();
    });
    waitUntil([&] { return lock.waitingWriters() == 1; });
    std::atomic<bool> readerStarted{false};
    std::thread reader([&] {
        readerStarted = true;
        lock.lockRead();
        note("reader");
        lock.unlockRead();
    });
    waitUntil([&] { return readerStarted.load(); });
    // The writer waits for the first reader only; the later reader waits for the writer.
    lock.unlockRead();
    writer.join();
    reader.join();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], "writer");
    EXPECT_EQ(order[1], "reader");
    EXPECT_EQ(lock.state(), 0);
    EXPECT_EQ(lock.waitingWriters(), 0);
}

TEST(ActiveOrderLock, ReadersShareTheLock) {
    tc::RWSpinLock lock;
    lock.lockRead();
    lock.lockRead();
    EXPECT_EQ(lock.state(), 2);
    lock.unlockRead();
    lock.unlockRead();
    lock.lockWrite();
    EXPECT_EQ(lock.state(), -1);
    lock.unlockWrite();
    EXPECT_EQ(lock.state(), 0);
}

class TraderConcurrency : public TraderFixture {};

TEST_F(TraderConcurrency, OrdersFromSeveralThreadsWithNotificationsAndCancelSweepsEndConsistent) {
    createTrader(1000);
    connectAndPrepare();
    tc::recording::setRecordingEnabled(false);

    constexpr int kThreads = 2;
    constexpr int kOrdersPerThread = 150;
    std::atomic<bool> placing{true};
    std::atomic<int> sweeps{0};
    std::mutex recordsMutex;
    std::vector<CQNOrderField *> records;

    std::thread sweeper([&] {
        // At least one sweep, however late a busy machine schedules this thread.
        while (placing.load() || sweeps.load() == 0) {
            ::cancelOrderByStandardID(trader_.get(), "1", "600000");
            ::cancelOrderByOrderID(trader_.get(), 1001);
            sweeps.fetch_add(1);
        }
    });
    std::vector<std::thread> placers;
    for (int t = 0; t < kThreads; ++t) {
        placers.emplace_back([&] {
            for (int i = 0; i < kOrdersPerThread; ++i) {
                CQNOrderField *o = ::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", '0');
                ASSERT_NE(o, nullptr);
                broker_->pushRtnOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
                broker_->pushRtnOrder(orderNotice(*o, TORA_TSTP_OST_Canceled, 0, 0));
                std::lock_guard<std::mutex> guard(recordsMutex);
                records.push_back(o);
            }
        });
    }
    for (std::thread &t : placers) t.join();
    ASSERT_TRUE(broker_->drain());
    placing = false;
    sweeper.join();
    tc::recording::setRecordingEnabled(true);

    EXPECT_GT(sweeps.load(), 0);
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kThreads * kOrdersPerThread));
    for (CQNOrderField *o : records) {
        ::getOrderLock(o);
        EXPECT_EQ(o->OrderStatus, ENUM_OrderStatus_Canceled);
        EXPECT_EQ(o->CanceledVolume, 100);
        ::releaseOrderLock(o);
    }
    EXPECT_EQ(trader_->activeOrderCount(), 0u);
    // Every order set 1000 aside and got it back when cancelled.
    EXPECT_NEAR(cash(), kStartCash, 1e-6);
}

}  // namespace
