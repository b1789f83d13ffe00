// A processor handed a record whose lock the engine holds for the delivery may call the lock
// functions on it without hanging; on every other record they work as usual.
#include <gtest/gtest.h>

#include <vector>

#include "engine/RecordBlock.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "events/RecordingBridge.h"

namespace {

namespace rec = tc::recording;
using rec::Call;
using rec::CallKind;

class EventsDeliveredLock : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        rec::setCallHook(nullptr);
        rec::clear();
        tc::tlsDeliveredRecord = nullptr;
    }
};

tc::EventSink sinkWithProcessors() {
    tc::EventSink sink;
    sink.orderEventProcessor = rec::fakeCallable(1);
    sink.marketDataProcessor = rec::fakeCallable(4);
    sink.userID = "u1";
    return sink;
}

}  // namespace

TEST_F(EventsDeliveredLock, ProcessorTakingTheDeliveredRecordsLockReturnsAtOnce) {
    auto *block = tc::newRecordBlock<CQNOrderField>();
    auto *otherBlock = tc::newRecordBlock<CQNOrderField>();
    CQNOrderField *order = &block->record;
    CQNOrderField *other = &otherBlock->record;
    std::vector<int> seen;
    rec::setCallHook([&](const Call &call) {
        if (call.kind != CallKind::OrderProcessor) return;
        // The engine holds this record's lock for the delivery: both calls leave it alone.
        seen.push_back(getOrderLock(order));
        seen.push_back(block->lock.word.load());
        seen.push_back(releaseOrderLock(order));
        seen.push_back(block->lock.word.load());
        // Any other record locks as usual.
        getOrderLock(other);
        seen.push_back(otherBlock->lock.word.load());
        releaseOrderLock(other);
        seen.push_back(otherBlock->lock.word.load());
    });
    tc::lockExclusive(order);  // as the engine does around a delivery
    tc::deliverOrderEvent(sinkWithProcessors(), ENUM_OrderEventID_Traded, order);
    EXPECT_EQ(block->lock.word.load(), -1);
    tc::unlockExclusive(order);
    rec::setCallHook(nullptr);
    EXPECT_EQ(seen, (std::vector<int>{0, -1, 0, -1, -1, 0}));
    // After the delivery the mark is gone: the lock works normally again on this thread.
    EXPECT_EQ(getOrderLock(order), 0);
    EXPECT_EQ(block->lock.word.load(), -1);
    EXPECT_EQ(releaseOrderLock(order), 0);
    EXPECT_EQ(block->lock.word.load(), 0);
}

TEST_F(EventsDeliveredLock, SnapshotProcessorTakingTheDeliveredRecordsLockReturnsAtOnce) {
    auto *block = tc::newRecordBlock<CQNMarketDataField>();
    CQNMarketDataField *snap = &block->record;
    std::vector<int> seen;
    rec::setCallHook([&](const Call &call) {
        if (call.kind != CallKind::OrderProcessor) return;
        seen.push_back(getMarketDataLock(snap));
        seen.push_back(releaseMarketDataLock(snap));
        seen.push_back(block->lock.word.load());
    });
    tc::lockExclusive(snap);
    tc::deliverSnapshotEvent(sinkWithProcessors(), ENUM_SnapDataEventID_MarketData, snap);
    EXPECT_EQ(block->lock.word.load(), -1);
    tc::unlockExclusive(snap);
    rec::setCallHook(nullptr);
    EXPECT_EQ(seen, (std::vector<int>{0, 0, -1}));
}
