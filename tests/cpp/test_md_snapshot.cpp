// The snapshot store: one record per security key, the fields a snapshot writes, the event
// delivered under the record's writer lock, the price lookups, and lookups that run while other
// threads add securities and update their records.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "TORATstpMdApi.h"
#include "engine/RecordBlock.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "marketdata/SnapshotStore.h"

namespace {

using tc::recording::Call;
using tc::recording::CallKind;

CTORATstpMarketDataField makeSnapshot(const char *securityID, char exchange) {
    CTORATstpMarketDataField s;
    std::memset(&s, 0, sizeof(s));
    tc::copyText(s.SecurityID, securityID);
    s.ExchangeID = exchange;
    return s;
}

// A book whose every price is consistent: the limits sit half a unit around the ask.
CTORATstpMarketDataField bookAt(const char *securityID, char exchange, double base) {
    CTORATstpMarketDataField s = makeSnapshot(securityID, exchange);
    s.AskPrice1 = base + 0.25;
    s.BidPrice1 = base;
    s.UpperLimitPrice = base + 0.5;
    s.LowerLimitPrice = base - 0.5;
    return s;
}

std::vector<Call> snapshotEvents() {
    std::vector<Call> out;
    for (const Call &c : tc::recording::snapshot()) {
        if (c.kind == CallKind::OrderProcessor) out.push_back(c);
    }
    return out;
}

class SnapshotStore : public ::testing::Test {
protected:
    void SetUp() override {
        tc::recording::clear();
        tc::recording::setCallHook(nullptr);
        sink.marketDataProcessor = tc::recording::fakeCallable(3);
    }
    void TearDown() override {
        tc::recording::setCallHook(nullptr);
        tc::recording::setRecordingEnabled(true);
        tc::recording::clear();
    }
    tc::SnapshotIndex index;
    tc::EventSink sink;
};

TEST_F(SnapshotStore, FirstSnapshotCreatesTheRecordAndLaterOnesReuseIt) {
    CTORATstpMarketDataField s = makeSnapshot("600000", '1');
    s.LastPrice = 10.5;
    CQNMarketDataField *first = tc::onMarketData(index, sink, &s);
    ASSERT_NE(first, nullptr);
    s.LastPrice = 10.6;
    CQNMarketDataField *second = tc::onMarketData(index, sink, &s);
    EXPECT_EQ(first, second);
    EXPECT_EQ(index.size(), 1u);
    ASSERT_NE(index.find("600000.1"), nullptr);
    EXPECT_EQ(&index.find("600000.1")->record, first);

    std::vector<Call> events = snapshotEvents();
    ASSERT_EQ(events.size(), 2u);
    for (const Call &c : events) {
        EXPECT_EQ(c.processor, sink.marketDataProcessor);
        EXPECT_EQ(c.eventID, ENUM_SnapDataEventID_MarketData);
        EXPECT_EQ(c.record, first);
    }
    EXPECT_DOUBLE_EQ(first->LastPrice, 10.6);
    EXPECT_EQ(tc::lockOf(first)->word.load(), 0) << "the writer lock is released after the event";
}

TEST_F(SnapshotStore, SameCodeOnTwoExchangesGivesTwoRecords) {
    CTORATstpMarketDataField sh = makeSnapshot("000001", '1');
    CTORATstpMarketDataField sz = makeSnapshot("000001", '2');
    sh.LastPrice = 3000;
    sz.LastPrice = 12;
    CQNMarketDataField *a = tc::onMarketData(index, sink, &sh);
    CQNMarketDataField *b = tc::onMarketData(index, sink, &sz);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_STREQ(a->ExchangeID, "1");
    EXPECT_STREQ(b->ExchangeID, "2");
    EXPECT_DOUBLE_EQ(a->LastPrice, 3000);
    EXPECT_DOUBLE_EQ(b->LastPrice, 12);
    EXPECT_EQ(index.find("000001.1"), index.find("000001.1"));
    EXPECT_NE(index.find("000001.1"), index.find("000001.2"));
    EXPECT_EQ(index.find("000001."), nullptr);
}

TEST_F(SnapshotStore, NullSnapshotIsIgnored) {
    EXPECT_EQ(tc::onMarketData(index, sink, nullptr), nullptr);
    EXPECT_EQ(index.size(), 0u);
    EXPECT_TRUE(snapshotEvents().empty());
}

TEST_F(SnapshotStore, FirstSnapshotFieldsKeepTheirValuesAndTheRestFollowEverySnapshot) {
    CTORATstpMarketDataField s = makeSnapshot("600036", '1');
    tc::copyText(s.TradingDay, "20240102");
    s.PreClosePrice = 30.0;
    s.OpenPrice = 30.5;
    tc::copyText(s.UpdateTime, "09:30:00");
    s.UpdateMillisec = 120;
    s.Volume = 1000;
    s.Turnover = 30500.0;
    s.LastPrice = 30.5;
    s.HighestPrice = 30.6;
    s.LowestPrice = 30.4;
    s.UpperLimitPrice = 33.0;
    s.LowerLimitPrice = 27.0;
    s.OpenInterest = 77;
    double *bids[5] = {&s.BidPrice1, &s.BidPrice2, &s.BidPrice3, &s.BidPrice4, &s.BidPrice5};
    double *asks[5] = {&s.AskPrice1, &s.AskPrice2, &s.AskPrice3, &s.AskPrice4, &s.AskPrice5};
    long long *bidVolumes[5] = {&s.BidVolume1, &s.BidVolume2, &s.BidVolume3, &s.BidVolume4, &s.BidVolume5};
    long long *askVolumes[5] = {&s.AskVolume1, &s.AskVolume2, &s.AskVolume3, &s.AskVolume4, &s.AskVolume5};
    for (int i = 0; i < 5; ++i) {
        *bids[i] = 30.49 - i * 0.01;
        *asks[i] = 30.51 + i * 0.01;
        *bidVolumes[i] = 100 * (i + 1);
        *askVolumes[i] = 200 * (i + 1);
    }
    CQNMarketDataField *r = tc::onMarketData(index, sink, &s);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->TradingDay, "20240102");
    EXPECT_STREQ(r->ExchangeID, "1");
    EXPECT_STREQ(r->StandardID, "600036");
    EXPECT_DOUBLE_EQ(r->PreClosePrice, 30.0);
    EXPECT_DOUBLE_EQ(r->OpenPrice, 30.5);
    EXPECT_DOUBLE_EQ(r->AveragePrice, 30.5);

    // The second snapshot disagrees on everything.
    CTORATstpMarketDataField t = makeSnapshot("600036", '1');
    tc::copyText(t.TradingDay, "20240103");
    tc::copyText(t.SecurityName, "other");
    t.PreClosePrice = 31.0;
    t.OpenPrice = 31.5;
    tc::copyText(t.UpdateTime, "09:30:03");
    t.UpdateMillisec = 450;
    t.Volume = 3000;
    t.Turnover = 93000.0;
    t.LastPrice = 31.2;
    t.HighestPrice = 31.3;
    t.LowestPrice = 30.1;
    t.UpperLimitPrice = 34.1;
    t.LowerLimitPrice = 27.9;
    t.OpenInterest = 88;
    double *tBids[5] = {&t.BidPrice1, &t.BidPrice2, &t.BidPrice3, &t.BidPrice4, &t.BidPrice5};
    double *tAsks[5] = {&t.AskPrice1, &t.AskPrice2, &t.AskPrice3, &t.AskPrice4, &t.AskPrice5};
    long long *tBidVolumes[5] = {&t.BidVolume1, &t.BidVolume2, &t.BidVolume3, &t.BidVolume4, &t.BidVolume5};
    long long *tAskVolumes[5] = {&t.AskVolume1, &t.AskVolume2, &t.AskVolume3, &t.AskVolume4, &t.AskVolume5};
    for (int i = 0; i < 5; ++i) {
        *tBids[i] = 31.19 - i * 0.01;
        *tAsks[i] = 31.21 + i * 0.01;
        *tBidVolumes[i] = 300 + i;
        *tAskVolumes[i] = 400 + i;
    }
    EXPECT_EQ(tc::onMarketData(index, sink, &t), r);

    // Set by the first snapshot only.
    EXPECT_STREQ(r->TradingDay, "20240102");
    EXPECT_STREQ(r->ExchangeID, "1");
    EXPECT_STREQ(r->StandardID, "600036");
    EXPECT_DOUBLE_EQ(r->PreClosePrice, 30.0);
    EXPECT_DOUBLE_EQ(r->OpenPrice, 30.5);
    // Every snapshot.
    EXPECT_EQ(r->MarketDataStatus, '\0');
    EXPECT_STREQ(r->UpdateTime, "09:30:03");
    EXPECT_EQ(r->UpdateMillisec, 450);
    EXPECT_EQ(r->Volume, 3000);
    EXPECT_DOUBLE_EQ(r->Turnover, 93000.0);
    EXPECT_DOUBLE_EQ(r->AveragePrice, 31.0);
    EXPECT_DOUBLE_EQ(r->LastPrice, 31.2);
    EXPECT_DOUBLE_EQ(r->HighestPrice, 31.3);
    EXPECT_DOUBLE_EQ(r->LowestPrice, 30.1);
    EXPECT_DOUBLE_EQ(r->UpperLimitPrice, 34.1);
    EXPECT_DOUBLE_EQ(r->LowerLimitPrice, 27.9);
    const double rBids[5] = {r->BidPrice1, r->BidPrice2, r->BidPrice3, r->BidPrice4, r->BidPrice5};
    const double rAsks[5] = {r->AskPrice1, r->AskPrice2, r->AskPrice3, r->AskPrice4, r->AskPrice5};
    const int rBidVolumes[5] = {r->BidVolume1, r->BidVolume2, r->BidVolume3, r->BidVolume4, r->BidVolume5};
    const int rAskVolumes[5] = {r->AskVolume1, r->AskVolume2, r->AskVolume3, r->AskVolume4, r->AskVolume5};
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(rBids[i], *tBids[i]) << "level " << i + 1;
        EXPECT_DOUBLE_EQ(rAsks[i], *tAsks[i]) << "level " << i + 1;
        EXPECT_EQ(rBidVolumes[i], 300 + i) << "level " << i + 1;
        EXPECT_EQ(rAskVolumes[i], 400 + i) << "level " << i + 1;
    }
    // Never set.
    EXPECT_EQ(r->PreSettlementPrice, 0.0);
    EXPECT_EQ(r->OpenInterest, 0.0);
    EXPECT_EQ(r->PreOpenInterest, 0.0);
}

TEST_F(SnapshotStore, ZeroVolumeGivesNoAveragePrice) {
    CTORATstpMarketDataField s = makeSnapshot("000002", '2');
    CQNMarketDataField *r = tc::onMarketData(index, sink, &s);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(std::isnan(r->AveragePrice));
}

TEST_F(SnapshotStore, EventIsDeliveredWhileTheWriterLockIsHeldAndAProcessorMayTakeIt) {
    std::atomic<int> lockWordSeen{1};
    std::atomic<const void *> markedRecord{nullptr};
    std::atomic<int> lockCalls{0};
    tc::recording::setCallHook([&](const Call &c) {
        if (c.kind != CallKind::OrderProcessor) return;
        auto *record = static_cast<CQNMarketDataField *>(const_cast<void *>(c.record));
        lockWordSeen = tc::lockOf(record)->word.load();
        markedRecord = c.deliveredRecord;
        // What a Python processor may do with the record it is handed: it must not hang.
        EXPECT_EQ(getMarketDataLock(record), 0);
        EXPECT_EQ(releaseMarketDataLock(record), 0);
        ++lockCalls;
    });
    CTORATstpMarketDataField s = makeSnapshot("600519", '1');
    CQNMarketDataField *first = tc::onMarketData(index, sink, &s);
    CQNMarketDataField *again = tc::onMarketData(index, sink, &s);
    tc::recording::setCallHook(nullptr);

    ASSERT_EQ(first, again);
    EXPECT_EQ(lockCalls.load(), 2);
    EXPECT_EQ(lockWordSeen.load(), -1) << "the record must be write-locked during the event";
    EXPECT_EQ(markedRecord.load(), first);
    EXPECT_EQ(tc::lockOf(first)->word.load(), 0);
    EXPECT_EQ(tc::lockOf(first)->waiters.load(), 0);
    // The lock still works normally afterwards.
    EXPECT_EQ(getMarketDataLock(first), 0);
    EXPECT_EQ(tc::lockOf(first)->word.load(), -1);
    EXPECT_EQ(releaseMarketDataLock(first), 0);
    EXPECT_EQ(tc::lockOf(first)->word.load(), 0);
}

TEST_F(SnapshotStore, ALockHeldByPythonHoldsBackTheNextSnapshotAndLookups) {
    CTORATstpMarketDataField s = bookAt("601318", '1', 50);
    CQNMarketDataField *r = tc::onMarketData(index, sink, &s);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(getMarketDataLock(r), 0);

    std::atomic<bool> updated{false};
    std::thread writer([&] {
        CTORATstpMarketDataField t = bookAt("601318", '1', 60);
        tc::onMarketData(index, sink, &t);
        updated = true;
    });
    // The update announces itself as a waiting writer, then must not get in.
    while (tc::lockOf(r)->waiters.load() == 0) std::this_thread::yield();
    EXPECT_FALSE(updated.load());
    EXPECT_DOUBLE_EQ(r->AskPrice1, 50.25);

    std::atomic<double> looked{0};
    std::atomic<bool> lookupDone{false};
    std::thread reader([&] {
        looked = tc::lookupPrice(index, "601318.1", true, 0, tc::PriceKind::Best);
        lookupDone = true;
    });
    EXPECT_FALSE(lookupDone.load());

    EXPECT_EQ(releaseMarketDataLock(r), 0);
    writer.join();
    reader.join();
    EXPECT_TRUE(updated.load());
    EXPECT_DOUBLE_EQ(r->AskPrice1, 60.25);
    // The waiting writer goes first: a waiting writer keeps new readers out.
    EXPECT_TRUE(looked.load() == 60.25 || looked.load() == 50.25);
}

// --- price lookups ----------------------------------------------------------------------------

struct PriceCase {
    const char *name;
    tc::PriceKind kind;
    bool buy;
    double offset;
    double expected;
};

TEST_F(SnapshotStore, PriceLookupsTakeTheSideFromTheOrderAndClampToTheLimits) {
    CTORATstpMarketDataField s = makeSnapshot("600000", '1');
    s.UpperLimitPrice = 11.0;
    s.LowerLimitPrice = 9.0;
    s.BidPrice1 = 10.0;
    s.AskPrice1 = 10.02;
    tc::onMarketData(index, sink, &s);

    const PriceCase cases[] = {
        {"limit buy", tc::PriceKind::Limit, true, 0, 11.0},
        {"limit sell", tc::PriceKind::Limit, false, 0, 9.0},
        {"limit buy offset stays clamped", tc::PriceKind::Limit, true, 0.5, 11.0},
        {"limit sell offset stays clamped", tc::PriceKind::Limit, false, 0.5, 9.0},
        {"limit buy negative offset", tc::PriceKind::Limit, true, -0.5, 10.5},
        {"home best buy", tc::PriceKind::HomeBest, true, 0, 10.0},
        {"home best sell", tc::PriceKind::HomeBest, false, 0, 10.02},
        {"home best buy offset", tc::PriceKind::HomeBest, true, 0.03, 10.03},
        {"home best sell offset", tc::PriceKind::HomeBest, false, 0.05, 9.97},
        {"best buy", tc::PriceKind::Best, true, 0, 10.02},
        {"best sell", tc::PriceKind::Best, false, 0, 10.0},
        {"best buy clamped above", tc::PriceKind::Best, true, 5, 11.0},
        {"best sell clamped below", tc::PriceKind::Best, false, 5, 9.0},
    };
    for (const PriceCase &c : cases) {
        EXPECT_NEAR(tc::lookupPrice(index, "600000.1", c.buy, c.offset, c.kind), c.expected, 1e-9) << c.name;
    }
}

TEST_F(SnapshotStore, AnEmptyOrOutOfLimitsBookIsClampedIntoTheLimits) {
    CTORATstpMarketDataField s = makeSnapshot("000001", '2');
    s.UpperLimitPrice = 11.0;
    s.LowerLimitPrice = 9.0;
    s.BidPrice1 = 0.0;    // no bid
    s.AskPrice1 = 12.0;   // above the upper limit
    tc::onMarketData(index, sink, &s);
    EXPECT_DOUBLE_EQ(tc::lookupPrice(index, "000001.2", true, 0, tc::PriceKind::Best), 11.0);
    EXPECT_DOUBLE_EQ(tc::lookupPrice(index, "000001.2", false, 0, tc::PriceKind::Best), 9.0);
    EXPECT_DOUBLE_EQ(tc::lookupPrice(index, "000001.2", true, 0, tc::PriceKind::HomeBest), 9.0);
    EXPECT_DOUBLE_EQ(tc::lookupPrice(index, "000001.2", false, 0, tc::PriceKind::HomeBest), 11.0);

    CTORATstpMarketDataField t = makeSnapshot("000001", '2');
    t.UpperLimitPrice = 11.0;
    t.LowerLimitPrice = 9.0;
    t.AskPrice1 = 0.0;  // no ask: a buy at the opposite best gets the lower limit
    tc::onMarketData(index, sink, &t);
    EXPECT_DOUBLE_EQ(tc::lookupPrice(index, "000001.2", true, 0, tc::PriceKind::Best), 9.0);
}

TEST_F(SnapshotStore, LookupsForUnknownKeysReturnMinusOne) {
    CTORATstpMarketDataField s = bookAt("600000", '1', 10);
    tc::onMarketData(index, sink, &s);
    for (tc::PriceKind kind : {tc::PriceKind::Limit, tc::PriceKind::HomeBest, tc::PriceKind::Best}) {
        for (bool buy : {true, false}) {
            EXPECT_EQ(tc::lookupPrice(index, "600001.1", buy, 0, kind), -1.0);
            EXPECT_EQ(tc::lookupPrice(index, "600000.2", buy, 0, kind), -1.0);
            EXPECT_EQ(tc::lookupPrice(index, "600000.", buy, 0, kind), -1.0);
            EXPECT_EQ(tc::lookupPrice(index, "600000", buy, 0, kind), -1.0);
            EXPECT_EQ(tc::lookupPrice(index, "", buy, 0, kind), -1.0);
            EXPECT_EQ(tc::lookupPrice(index, nullptr, buy, 0, kind), -1.0);
        }
    }
    // The per-side entry points: no market-data side at all also gives -1.
    EXPECT_EQ(tc::getLimitPrice(nullptr, "600000.1", true, 0), -1.0);
    EXPECT_EQ(tc::getHomeBestPrice(nullptr, "600000.1", true, 0), -1.0);
    EXPECT_EQ(tc::getBestPrice(nullptr, "600000.1", true, 0), -1.0);
}

// --- the index ------------------------------------------------------------------------------

TEST_F(SnapshotStore, IndexKeepsEveryKeyAcrossGrowthAndRejectsUnusableKeys) {
    std::vector<tc::SnapshotSlot *> slots;
    char key[32];
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(key, sizeof(key), "%06d.%c", i, i % 2 ? '1' : '2');
        slots.push_back(tc::newRecordBlock<CQNMarketDataField>());
        EXPECT_EQ(index.insert(key, std::strlen(key), slots.back()), slots.back());
    }
    EXPECT_EQ(index.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(key, sizeof(key), "%06d.%c", i, i % 2 ? '1' : '2');
        EXPECT_EQ(index.find(key), slots[i]) << key;
    }
    // A key already present keeps its first slot.
    tc::SnapshotSlot *extra = tc::newRecordBlock<CQNMarketDataField>();
    EXPECT_EQ(index.insert("000001.1", 8, extra), slots[1]);
    EXPECT_EQ(index.size(), 1000u);

    std::string longKey(tc::SnapshotIndex::kMaxKeyLength + 1, '7');
    EXPECT_EQ(index.insert(longKey.c_str(), longKey.size(), extra), nullptr);
    EXPECT_EQ(index.find(longKey.c_str()), nullptr);
    EXPECT_EQ(index.insert("", 0, extra), nullptr);
    EXPECT_EQ(index.insert("x.1", 3, nullptr), nullptr);
    EXPECT_EQ(index.find(nullptr), nullptr);
    delete extra;
    for (tc::SnapshotSlot *slot : slots) delete slot;  // this index is the test's own
}

TEST_F(SnapshotStore, LookupsRunSafelyWhileSecuritiesAreAddedAndUpdated) {
    tc::recording::setRecordingEnabled(false);
    constexpr int kSecurities = 1500;
    constexpr int kReaders = 3;
    std::atomic<bool> done{false};
    std::atomic<int> published{0};
    std::atomic<long> badPrices{0};
    std::atomic<long> found{0};

    auto codeOf = [](int i, char *out, std::size_t n) { std::snprintf(out, n, "%06d", 100000 + i); };

    std::thread writer([&] {
        char code[16];
        for (int i = 0; i < kSecurities; ++i) {
            codeOf(i, code, sizeof(code));
            CTORATstpMarketDataField s = bookAt(code, '1', 1000 + i);
            tc::onMarketData(index, sink, &s);
            published.store(i + 1, std::memory_order_release);
            // Keep earlier securities changing too, each update consistent in itself.
            int j = i / 2;
            codeOf(j, code, sizeof(code));
            CTORATstpMarketDataField u = bookAt(code, '1', 1000 + j + (i % 7) * 10000);
            tc::onMarketData(index, sink, &u);
        }
        done = true;
    });
    std::vector<std::thread> readers;
    for (int t = 0; t < kReaders; ++t) {
        readers.emplace_back([&, t] {
            char code[16];
            char key[24];
            unsigned n = 7u * (t + 1);
            while (!done.load()) {
                n = n * 1103515245u + 12345u;
                const int i = static_cast<int>((n >> 8) % kSecurities);
                const bool mustExist = i < published.load(std::memory_order_acquire);
                codeOf(i, code, sizeof(code));
                std::snprintf(key, sizeof(key), "%s.1", code);
                const double p = tc::lookupPrice(index, key, true, 0, tc::PriceKind::Best);
                if (p == -1.0) {
                    if (mustExist) ++badPrices;
                    continue;
                }
                ++found;
                // A consistent book gives the ask itself (base + 0.25), never a clamp to a limit
                // of another snapshot (base + 0.5).
                if (p - std::floor(p) != 0.25 || static_cast<long>(std::floor(p)) % 10000 != (1000 + i) % 10000) {
                    ++badPrices;
                }
            }
        });
    }
    writer.join();
    for (std::thread &t : readers) t.join();
    EXPECT_EQ(badPrices.load(), 0);
    EXPECT_EQ(index.size(), static_cast<std::size_t>(kSecurities));
    char code[16];
    char key[24];
    for (int i = 0; i < kSecurities; ++i) {
        codeOf(i, code, sizeof(code));
        std::snprintf(key, sizeof(key), "%s.1", code);
        ASSERT_NE(index.find(key), nullptr) << key;
    }
    (void)found;
}

}  // namespace
