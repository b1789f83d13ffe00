// Order entry's memory and text helpers: the permanent arena (zeroed, aligned, disjoint blocks
// that stay where they are, from any number of threads, across chunks), the node allocator of
// the order index, the order slot as the arena hands it out, and the bounded decimal and text
// writers of the insert request.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "engine/Text.h"
#include "support/TraderFixture.h"
#include "trader/CTORAStockTrader.h"
#include "trader/PermanentArena.h"
#include "trader/SecurityDirectory.h"
#include "trader/TraderDetail.h"

namespace {

using tc::PermanentArena;

bool allZero(const void *p, std::size_t n) {
    const unsigned char *b = static_cast<const unsigned char *>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

TEST(PermanentArena, BlocksAreZeroedAlignedDisjointAndStayPut) {
    PermanentArena &arena = PermanentArena::records();
    const std::size_t sizes[] = {1, 24, 704, 3, 4096, 100};
    const std::size_t aligns[] = {1, 8, 64, 16, 8, 32};
    struct Block {
        unsigned char *p;
        std::size_t n;
    };
    std::vector<Block> blocks;
    // Enough to cross into new chunks more than once.
    for (int round = 0; blocks.size() < 6000; ++round) {
        for (int i = 0; i < 6; ++i) {
            auto *p = static_cast<unsigned char *>(arena.allocate(sizes[i], aligns[i]));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % aligns[i], 0u);
            ASSERT_TRUE(allZero(p, sizes[i]));
            std::memset(p, static_cast<int>((blocks.size() % 250) + 1), sizes[i]);
            blocks.push_back({p, sizes[i]});
        }
    }
    // Nothing written later overwrote an earlier block.
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const unsigned char expected = static_cast<unsigned char>((k % 250) + 1);
        for (std::size_t i = 0; i < blocks[k].n; ++i) ASSERT_EQ(blocks[k].p[i], expected) << k;
    }
}

TEST(PermanentArena, ChunkSizedBlocksAndRefusals) {
    PermanentArena &arena = PermanentArena::records();
    const auto before = arena.counters();
    void *whole = arena.allocate(PermanentArena::kChunkBytes, 64);
    ASSERT_NE(whole, nullptr);
    EXPECT_TRUE(allZero(whole, PermanentArena::kChunkBytes));
    // A block as large as a chunk needs a chunk of its own.
    EXPECT_GE(arena.counters().chunks, before.chunks + 1);
    EXPECT_THROW(arena.allocate(PermanentArena::kChunkBytes + 1, 8), std::bad_alloc);
    EXPECT_THROW(arena.allocate(8, 3), std::bad_alloc);
    EXPECT_THROW(arena.allocate(8, 128), std::bad_alloc);
    EXPECT_THROW(arena.allocate(8, 0), std::bad_alloc);
}

TEST(PermanentArena, TheHelperMakesChunksReadyAhead) {
    PermanentArena &arena = PermanentArena::records();
    arena.prepare();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (arena.counters().readyChunks == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GT(arena.counters().readyChunks, 0u);
    const auto before = arena.counters();
    arena.allocate(PermanentArena::kChunkBytes, 8);  // takes a fresh chunk: a ready one
    const auto after = arena.counters();
    EXPECT_EQ(after.chunks, before.chunks + 1);
    EXPECT_EQ(after.preparedChunks, before.preparedChunks + 1);
}

TEST(PermanentArena, ThreadsAllocateConcurrentlyWithoutOverlap) {
    constexpr int kThreads = 4;
    constexpr int kBlocks = 4000;
    std::vector<std::vector<unsigned char *>> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &got] {
            for (int i = 0; i < kBlocks; ++i) {
                auto *p = static_cast<unsigned char *>(
                    (i % 2 ? PermanentArena::nodes() : PermanentArena::records()).allocate(i % 2 ? 24 : 704, 8));
                std::memset(p, t + 1, i % 2 ? 24 : 704);
                got[t].push_back(p);
            }
        });
    }
    for (auto &th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kBlocks; ++i) {
            const std::size_t n = i % 2 ? 24 : 704;
            for (std::size_t b = 0; b < n; ++b) ASSERT_EQ(got[t][i][b], t + 1) << t << " " << i;
        }
    }
}

TEST(PermanentArena, AThreadThatEndsWastesLittle) {
    // Each of many short-lived threads places one block; together they use up a small part of
    // one chunk, not a chunk each.
    PermanentArena &arena = PermanentArena::records();
    const auto before = arena.counters();
    for (int i = 0; i < 64; ++i) {
        std::thread([&arena] { std::memset(arena.allocate(704, 8), 1, 704); }).join();
    }
    EXPECT_LE(arena.counters().chunks - before.chunks, 2u);
}

TEST(PermanentArena, OrderIndexKeepsItsEntriesThroughRehashes) {
    tc::OrderIndex index;
    index.reserve(16);
    std::vector<tc::OrderSlot *> slots;
    for (int i = 0; i < 20000; ++i) {
        auto *slot = new (PermanentArena::records().allocate(sizeof(tc::OrderSlot), alignof(tc::OrderSlot)))
            tc::OrderSlot;
        slot->record.OrderID = 1001 + i;
        index[slot->record.OrderID] = slot;
        slots.push_back(slot);
    }
    ASSERT_EQ(index.size(), slots.size());
    for (tc::OrderSlot *slot : slots) {
        auto it = index.find(slot->record.OrderID);
        ASSERT_NE(it, index.end());
        EXPECT_EQ(it->second, slot);
    }
    EXPECT_EQ(index.count(1000), 0u);
}

TEST(PermanentArena, AnOrderSlotStartsFreeZeroedAndEmpty) {
    void *memory = PermanentArena::records().allocate(sizeof(tc::OrderSlot), alignof(tc::OrderSlot));
    std::memset(memory, 0x5A, sizeof(tc::OrderSlot));  // as if the memory had been used before
    auto *slot = new (memory) tc::OrderSlot;
    EXPECT_EQ(slot->lock.word.load(), 0);
    EXPECT_EQ(slot->lock.waiters.load(), 0);
    EXPECT_TRUE(allZero(&slot->record, sizeof slot->record));
    EXPECT_TRUE(allZero(slot->key, sizeof slot->key));
    EXPECT_EQ(slot->status.load(), 0);
    EXPECT_TRUE(slot->tradeIDs.empty());
}

TEST(OrderEntryText, DecimalsAreWrittenAsPrintfWouldWithinTheField) {
    const int values[] = {0, 7, -7, 10, 1001, 99999, 123456789, -123456789, INT_MAX, INT_MIN, 1000000000};
    for (int v : values) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%d", v);
        char wide[13];
        std::memset(wide, 'x', sizeof wide);
        tc::trader::writeDecimal(wide, v);
        EXPECT_STREQ(wide, expected) << v;
        char narrow[5];
        char narrowExpected[5];
        std::memset(narrow, 'x', sizeof narrow);
        std::memset(narrowExpected, 'x', sizeof narrowExpected);
        std::snprintf(narrowExpected, sizeof narrowExpected, "%d", v);
        tc::trader::writeDecimal(narrow, v);
        EXPECT_EQ(std::memcmp(narrow, narrowExpected, sizeof narrow), 0) << v;
    }
    char one[1] = {'x'};
    tc::trader::writeDecimal(one, 42);
    EXPECT_EQ(one[0], '\0');
}

TEST(OrderEntryText, DecimalsAreReadAsAtoiReadsThemAndHeldToTheIntRange) {
    const char *texts[] = {"1001", " 6002", "\t\n\v\f\r 42", "+7", "-7", "  -12x", "12 34", "", "  ", "x1",
                           "- 5", "+-5", "2147483647", "-2147483648"};
    for (const char *text : texts) EXPECT_EQ(tc::trader::parseDecimal(text), std::atoi(text)) << text;
    EXPECT_EQ(tc::trader::parseDecimal(" 99999999999999999999"), INT_MAX);
    EXPECT_EQ(tc::trader::parseDecimal("\t-2147483649"), INT_MIN);
    EXPECT_EQ(tc::trader::parseDecimal(nullptr), 0);
}

TEST(OrderEntryText, TextsIntoZeroedFieldsMatchTheBoundedCopies) {
    const char *texts[] = {"", "1", "600000", "exactly9!", "longer than the field"};
    for (const char *text : texts) {
        char put[10] = {};
        char copied[10];
        std::memset(copied, 'x', sizeof copied);
        tc::trader::putText(put, text);
        tc::copyText(copied, text);
        EXPECT_EQ(std::memcmp(put, copied, sizeof put), 0) << text;

        char source[12] = {};
        tc::copyText(source, text);
        char fieldPut[10] = {};
        char fieldCopied[10];
        std::memset(fieldCopied, 'x', sizeof fieldCopied);
        tc::trader::putField(fieldPut, source);
        tc::copyField(fieldCopied, source);
        EXPECT_EQ(std::memcmp(fieldPut, fieldCopied, sizeof fieldPut), 0) << text;
    }
    // The security key, as buildSecurityKey makes it, into a zeroed key.
    const char *codes[] = {"", "600000", "a-code-that-fills-the-whole-field-and-more-than-the-key-can-hold-0123456789abcdef"};
    const char *exchanges[] = {"", "1", "SZSE"};
    for (const char *code : codes) {
        for (const char *exchange : exchanges) {
            TQNStandardIDType standardID = {};
            TQNExchangeIDType exchangeID = {};
            tc::copyText(standardID, code);
            tc::copyText(exchangeID, exchange);
            char put[tc::kSecurityKeySize] = {};
            char built[tc::kSecurityKeySize];
            std::memset(built, 'x', sizeof built);
            tc::trader::putSecurityKey(put, standardID, exchangeID);
            tc::buildSecurityKey(built, standardID, exchangeID);
            EXPECT_EQ(std::memcmp(put, built, sizeof put), 0) << code << "." << exchange;
        }
    }
    char untouched[4] = {};
    tc::trader::putText(untouched, nullptr);
    EXPECT_TRUE(allZero(untouched, sizeof untouched));
    // A source field that uses every byte (no NUL) is read no further than its size.
    const char full[3] = {'a', 'b', 'c'};
    char wide[8] = {};
    tc::trader::putField(wide, full);
    EXPECT_STREQ(wide, "abc");
}

class TraderOrderMemory : public tc::testing::TraderFixture {
protected:
    void SetUp() override {
        TraderFixture::SetUp();
        createTrader(1000);
        connectAndPrepare();
        tc::recording::clear();
    }
};

TEST_F(TraderOrderMemory, ManyOrdersKeepTheirRecordsAndIndexEntries) {
    // More orders than one chunk of slots holds.
    constexpr int kOrders = 2 * static_cast<int>(PermanentArena::kChunkBytes / sizeof(tc::OrderSlot)) + 10;
    broker_->setRequestLog(false);
    std::vector<CQNOrderField *> orders;
    for (int i = 0; i < kOrders; ++i) {
        CQNOrderField *o = ::buyOpen(trader_.get(), i % 2 ? "000001" : "600000", 100 + i, ENUM_OrderType_LimitAndWait,
                                     10.0, i % 2 ? "2" : "1", ENUM_Direction_Buy);
        ASSERT_NE(o, nullptr);
        orders.push_back(o);
    }
    EXPECT_EQ(broker_->requestsReceived() >= static_cast<std::uint64_t>(kOrders), true);
    for (int i = 0; i < kOrders; ++i) {
        CQNOrderField *o = orders[i];
        ASSERT_EQ(o->OrderID, 1001 + i);
        ASSERT_EQ(trader_->findOrderRecord(o->OrderID), o);
        EXPECT_EQ(o->OriginalVolume, 100 + i);
        EXPECT_STREQ(o->StandardID, i % 2 ? "000001" : "600000");
        EXPECT_STREQ(o->ExchangeID, i % 2 ? "2" : "1");
        EXPECT_STREQ(trader_->findOrderSlot(o->OrderID)->key, i % 2 ? "000001.2" : "600000.1");
        EXPECT_STREQ(o->UserID, "u1");
        EXPECT_EQ(o->OrderStatus, '\0');
        EXPECT_EQ(tc::lockOf(o)->word.load(), 0);
    }
}

}  // namespace
