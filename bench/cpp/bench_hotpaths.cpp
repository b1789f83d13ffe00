// The engine's hot paths without Python (Google Benchmark), each beside a baseline measured in
// the same run:
//   snapshot update   one depth-market-data callback through the snapshot store (find the
//                     security's record, take its lock, copy the snapshot, deliver, release);
//                     baseline: a bare memcpy of the SDK record;
//   order entry       buyOpen down to the simulated front (no Python), with the simulator's
//                     request log off and, for comparison, on;
//   order notification  one order notification that reports new traded volume (order lookup,
//                     record update under its lock, Traded event delivery);
//   record rendering  toText of an order, a snapshot and a broker record; baseline: snprintf of
//                     three numbers;
//   record lock       getOrderLock/releaseOrderLock on a free record; baseline: one atomic
//                     compare-and-swap and store.
// The engine library here is the one the C++ tests link: calls "into Python" go to the recording
// stand-in with recording off, which only counts them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TORATstpTraderApi.h"
#include "book/AccountBook.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "events/RecordingBridge.h"
#include "marketdata/CBaseMd.h"
#include "marketdata/SnapshotStore.h"
#include "torasim/SimControl.h"
#include "trader/CTORAStockTrader.h"
#include "trader/PermanentArena.h"

namespace {

template <class T>
T zeroed() {
    T t;
    std::memset(static_cast<void *>(&t), 0, sizeof t);
    return t;
}

CTORATstpMarketDataField depthSnapshot(const char *securityID, char exchange) {
    auto f = zeroed<CTORATstpMarketDataField>();
    tc::copyText(f.TradingDay, "20240102");
    tc::copyText(f.SecurityID, securityID);
    f.ExchangeID = exchange;
    tc::copyText(f.SecurityName, securityID);
    tc::copyText(f.UpdateTime, "10:00:00");
    f.PreClosePrice = f.OpenPrice = 10.0;
    f.UpperLimitPrice = 11.0;
    f.LowerLimitPrice = 9.0;
    double bid = 10.0, ask = 10.01;
    f.BidPrice1 = bid, f.BidPrice2 = bid - 0.01, f.BidPrice3 = bid - 0.02, f.BidPrice4 = bid - 0.03, f.BidPrice5 = bid - 0.04;
    f.AskPrice1 = ask, f.AskPrice2 = ask + 0.01, f.AskPrice3 = ask + 0.02, f.AskPrice4 = ask + 0.03, f.AskPrice5 = ask + 0.04;
    f.BidVolume1 = f.BidVolume2 = f.BidVolume3 = f.BidVolume4 = f.BidVolume5 = 1000;
    f.AskVolume1 = f.AskVolume2 = f.AskVolume3 = f.AskVolume4 = f.AskVolume5 = 1000;
    return f;
}

struct Quiet {
    Quiet() {
        tc::recording::setRecordingEnabled(false);
        tc::setRunModeValue(ENUM_RunMode_Release);  // the snapshot printer then returns at once
    }
} quiet;

// --- snapshot update --------------------------------------------------------------------------

// A store with the security already in it (its first snapshot allocates; every later one does not).
void runSnapshotUpdate(benchmark::State &state, PyObject *processor) {
    tc::SnapshotIndex index;
    tc::EventSink sink;
    sink.marketDataProcessor = processor;
    // Some neighbours, so the lookup is not in an index of one.
    static const char *codes[] = {"600000", "600519", "000001", "300750", "688981", "510050", "159915", "601318"};
    for (const char *code : codes) {
        auto s = depthSnapshot(code, code[0] == '6' || code[0] == '5' ? '1' : '2');
        tc::onMarketData(index, sink, &s);
    }
    auto snapshot = depthSnapshot("600000", '1');
    long long volume = 0;
    for (auto _ : state) {
        snapshot.Volume = ++volume;  // every update differs, as a live feed's would
        benchmark::DoNotOptimize(tc::onMarketData(index, sink, &snapshot));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SnapshotUpdate_NoProcessor(benchmark::State &state) { runSnapshotUpdate(state, nullptr); }
BENCHMARK(BM_SnapshotUpdate_NoProcessor);

void BM_SnapshotUpdate_StandInProcessor(benchmark::State &state) {
    runSnapshotUpdate(state, tc::recording::fakeCallable(3));
}
BENCHMARK(BM_SnapshotUpdate_StandInProcessor);

void BM_Baseline_CopySdkSnapshot(benchmark::State &state) {
    auto snapshot = depthSnapshot("600000", '1');
    CTORATstpMarketDataField copy;
    for (auto _ : state) {
        snapshot.Volume += 1;
        benchmark::DoNotOptimize(&snapshot);
        std::memcpy(static_cast<void *>(&copy), &snapshot, sizeof copy);
        benchmark::DoNotOptimize(&copy);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Baseline_CopySdkSnapshot);

// --- order notification -----------------------------------------------------------------------

// A trader engine connected to a scripted broker that answers nothing, holding one large order.
struct TraderRig {
    std::string address = "sim://bench-hotpaths";
    std::shared_ptr<torasim::Broker> broker;
    std::unique_ptr<CTORAStockTrader> trader;
    CQNOrderField *order = nullptr;

    TraderRig() {
        broker = torasim::Broker::create(address, torasim::Mode::Scripted);
        broker->setAutoAccept(true);
        auto *login = new CQNLoginField();
        tc::copyText(login->UserID, "bench");
        tc::copyText(login->TraderFrontAddress, address.c_str());
        tc::copyText(login->BasePath, "/tmp/tradecore-bench");
        login->IDRange = 100000000;
        trader = std::make_unique<CTORAStockTrader>(1, login, tc::recording::fakeCallable(1),
                                                    tc::recording::fakeCallable(2), nullptr);
        broker->waitForConnections(1, torasim::Side::Trader);
        broker->drain();
        tc::RecordBlock<CQNOrderField> *block =
            trader->buyOpen(nullptr, "1", "600000", 1000000000, ENUM_OrderType_LimitAndWait, 10.0, 0, ENUM_Direction_Buy);
        order = &block->record;
    }
    ~TraderRig() {
        trader.reset();
        torasim::Broker::remove(address);
    }
};

void BM_OrderNotification_Traded(benchmark::State &state) {
    TraderRig rig;
    auto n = zeroed<CTORATstpOrderField>();
    std::snprintf(n.OrderRef, sizeof n.OrderRef, "%d", rig.order->OrderID);
    n.OrderSubmitStatus = TORA_TSTP_OSS_Accepted;
    n.OrderStatus = TORA_TSTP_OST_PartTradedQueueing;
    n.Direction = TORA_TSTP_D_Buy;
    n.ExchangeID = TORA_TSTP_EXD_SSE;
    tc::copyText(n.SecurityID, "600000");
    tc::copyText(n.OrderSysID, "SYS1");
    tc::copyText(n.InsertTime, "09:30:00");
    n.VolumeTotalOriginal = rig.order->OriginalVolume;
    n.RtnFloatInfo = 999999999999.99;
    n.RtnIntInfo = 999999999;
    int traded = 0;
    for (auto _ : state) {
        n.VolumeTraded = ++traded;  // new volume every time: one Traded event per notification
        n.VolumeTotal = n.VolumeTotalOriginal - traded;
        rig.trader->OnRtnOrder(&n);
    }
    state.SetItemsProcessed(state.iterations());
    if (rig.order->TradedVolume != traded) state.SkipWithError("the notifications did not reach the order");
}
BENCHMARK(BM_OrderNotification_Traded);

// Order entry without Python: the engine's buyOpen down to the simulated front's ReqOrderInsert,
// which with its request log off accepts the request and does nothing else. Measured twice: by
// the CPU time of the calling thread, and by that of the whole process, which adds the memory
// helper's work (mapping and faulting in the memory of later orders; trader/PermanentArena.h).
// Back to back as here, orders use memory faster than the helper can fault it in on a virtual
// machine, so the calling thread maps some chunks itself.
void BM_OrderEntry_BuyOpen(benchmark::State &state) {
    TraderRig rig;
    rig.broker->setRequestLog(false);
    const std::uint64_t before = rig.broker->requestsReceived();
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.trader->buyOpen(nullptr, "1", "600000", 100, ENUM_OrderType_LimitAndWait, 10.0,
                                                     0, ENUM_Direction_Buy));
    }
    state.SetItemsProcessed(state.iterations());
    if (rig.broker->requestsReceived() - before != static_cast<std::uint64_t>(state.iterations()))
        state.SkipWithError("not every order reached the simulated front");
}
BENCHMARK(BM_OrderEntry_BuyOpen);
BENCHMARK(BM_OrderEntry_BuyOpen)->Name("BM_OrderEntry_BuyOpen_ProcessCPU")->MeasureProcessCPUTime();

// Orders of the runs compared with and without the order gate: fewer in one second of engine
// time than its rate limit lets through.
constexpr long long kGatedOrders = 400000;

// Waits (for at most a second) until the memory helper has a chunk of order slots and one of
// index entries ready.
void waitForOrderMemory() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while ((tc::PermanentArena::records().counters().readyChunks == 0 ||
            tc::PermanentArena::nodes().counters().readyChunks == 0) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

// Buys of 100 at 10.00 back to back; every 1024 orders the clock stops until the memory helper
// has a chunk ready for the next ones, so that no order waits for fresh memory.
void buyOpenMemoryReady(benchmark::State &state, CTORAStockTrader &trader) {
    waitForOrderMemory();
    long long n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            trader.buyOpen(nullptr, "1", "600000", 100, ENUM_OrderType_LimitAndWait, 10.0, 0, ENUM_Direction_Buy));
        if ((++n & 1023) == 0) {
            state.PauseTiming();
            waitForOrderMemory();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The engine's own share: as above, with no order waiting for fresh memory.
void BM_OrderEntry_BuyOpen_MemoryReady(benchmark::State &state) {
    TraderRig rig;
    rig.broker->setRequestLog(false);
    buyOpenMemoryReady(state, *rig.trader);
}
BENCHMARK(BM_OrderEntry_BuyOpen_MemoryReady)->Iterations(kGatedOrders);

// --- the order gate -------------------------------------------------------------------------------

// A market-data side that only keeps snapshots: the gate reads the order's limit prices and last
// price from its store.
class SnapshotsOnly : public CBaseMd {
public:
    SnapshotsOnly() : CBaseMd(new CQNLoginField(), nullptr, nullptr, nullptr) {
        auto f = depthSnapshot("600000", TORA_TSTP_EXD_SSE);
        f.LastPrice = 10.0;
        tc::EventSink sink;
        tc::onMarketData(snapshotIndex(), sink, &f);
    }
    int requestSubscribe(const char *, char **, int, char) override { return 0; }
    int requestUnsubscribe(const char *, char **, int, char) override { return 0; }
    int requestLogin() override { return 0; }
};

// Every limit on and none reached by the orders of one run (they stay open: nothing answers).
tc::book::Limits everyLimit() {
    tc::book::Limits l;
    l.maxOrderVolume = 10000;
    l.lotSize = 100;
    l.maxOrderNotional = 1e6;
    l.priceBand = 0.05;
    l.maxOpenOrdersPerSecurity = 100000000;
    l.maxOpenOrders = 100000000;
    l.maxOrdersPerSecond = 1000000;
    l.maxCancelsPerSecond = 1000;
    l.maxDailyLoss = 1e6;
    return l;
}

// CPU time of the calling thread, in nanoseconds.
long long threadCpuNanos() {
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

// What the order gate with every check on adds to an order: order entry as above, in chunks of
// 1024 orders on one engine, the gate installed for every other chunk, each chunk timed by the
// calling thread's CPU time (the memory pauses between chunks untimed). Gated and plain orders
// thus share the engine, its index, its memory and the machine's load of the moment. The
// counters are medians over the pairs of chunks (a gated chunk and the plain one beside it): the
// cost per order of each kind and the difference within a pair. Medians, because a few chunks
// carry costs that have nothing to do with the gate and land in either kind, each worth tens of
// nanoseconds per order over the whole run: the growth of the order index (a rehash of up to a
// million entries in one chunk) and the odd preemption on a shared machine. Each iteration is
// one order of each kind.
// Argument 1: the book is given the snapshots (as tradecore.book's processors give them) and
// takes the prices from its own table; 0: it reads them from the engine's snapshot store.
void BM_OrderEntry_GateCost(benchmark::State &state) {
    constexpr int kChunk = 1024;
    TraderRig rig;
    rig.broker->setRequestLog(false);
    SnapshotsOnly md;
    rig.trader->attachMd(&md);
    rig.trader->lockCash();
    rig.trader->setUseableCash(1e15);
    rig.trader->unlockCash();
    tc::book::AccountBook book;
    book.setLimits(everyLimit());
    if (state.range(0) != 0) book.mark("600000.1", 10.0, 10.0, 11.0, 9.0);
    const std::uint64_t before = rig.broker->requestsReceived();
    std::vector<double> gatedNanos, plainNanos, addedNanos;  // per order, one of each per pair of chunks
    gatedNanos.reserve(kGatedOrders / kChunk + 1);
    plainNanos.reserve(kGatedOrders / kChunk + 1);
    addedNanos.reserve(kGatedOrders / kChunk + 1);
    long long orders = 0;
    auto chunk = [&](tc::OrderGate *gate) {
        rig.trader->setOrderGate(gate);
        waitForOrderMemory();
        const long long t0 = threadCpuNanos();
        for (int i = 0; i < kChunk; ++i)
            benchmark::DoNotOptimize(rig.trader->buyOpen(nullptr, "1", "600000", 100, ENUM_OrderType_LimitAndWait,
                                                         10.0, 0, ENUM_Direction_Buy));
        return threadCpuNanos() - t0;
    };
    for (auto _ : state) {
        // Each kind goes first every other time: neither always finds the caches the other left.
        const bool gatedFirst = (orders / kChunk) % 2 == 0;
        if (orders % kChunk == 0) {
            state.PauseTiming();
            long long gated = 0, plain = 0;
            if (gatedFirst) {
                gated = chunk(&book);
                plain = chunk(nullptr);
            } else {
                plain = chunk(nullptr);
                gated = chunk(&book);
            }
            gatedNanos.push_back(static_cast<double>(gated) / kChunk);
            plainNanos.push_back(static_cast<double>(plain) / kChunk);
            addedNanos.push_back(static_cast<double>(gated - plain) / kChunk);
            state.ResumeTiming();
        }
        ++orders;
    }
    rig.trader->setOrderGate(nullptr);
    rig.trader->attachMd(nullptr);
    const long long placed = (orders + kChunk - 1) / kChunk * kChunk;
    auto median = [](std::vector<double> &v) {
        if (v.empty()) return 0.0;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    state.counters["gated_ns"] = median(gatedNanos);
    state.counters["plain_ns"] = median(plainNanos);
    state.counters["added_ns"] = median(addedNanos);
    if (rig.broker->requestsReceived() - before != static_cast<std::uint64_t>(2 * placed) || book.refusals() != 0)
        state.SkipWithError("the gate refused orders: the checks measured were not the ones that let orders through");
}
BENCHMARK(BM_OrderEntry_GateCost)->Arg(1)->Arg(0)->Iterations(kGatedOrders);

// The checks alone, as the engine calls them for one buy of 100 at 10.00 (the clock read is the
// order's local time either way, so it is not counted); the argument as above.
void BM_OrderGate_CheckBuy(benchmark::State &state) {
    SnapshotsOnly md;
    tc::book::AccountBook book;
    book.setLimits(everyLimit());
    if (state.range(0) != 0) book.mark("600000.1", 10.0, 10.0, 11.0, 9.0);
    CQNOrderField o{};
    o.Direction = ENUM_Direction_Buy;
    o.OffsetFlag = ENUM_OffsetFlag_Open;
    o.OriginalVolume = 100;
    o.OriginalPrice = 10.0;
    tc::copyText(o.StandardID, "600000");
    tc::copyText(o.ExchangeID, "1");
    char message[sizeof(TQNMessageType)];
    long long now = 1;
    for (auto _ : state) {
        ++o.OrderID;
        now += 2;  // 500,000 orders per second of engine time: below the rate limit
        benchmark::DoNotOptimize(book.checkOrder(tc::OrderCheck{&o, "600000.1", 1e15, now, &md}, message));
    }
    state.SetItemsProcessed(state.iterations());
    if (book.refusals() != 0) state.SkipWithError("the gate refused orders");
}
BENCHMARK(BM_OrderGate_CheckBuy)->Arg(1)->Arg(0)->Iterations(kGatedOrders);

// The book's update for one fill of an order it let through (a trade: position, cost, turnover,
// the order's holdings and the day's profit and loss), without Python.
void BM_Book_Fill(benchmark::State &state) {
    tc::book::AccountBook book;
    CQNOrderField o{};
    o.OrderID = 1;
    o.Direction = ENUM_Direction_Buy;
    o.OffsetFlag = ENUM_OffsetFlag_Open;
    o.OriginalVolume = 1 << 30;
    o.OriginalPrice = 10.0;
    tc::copyText(o.StandardID, "600000");
    tc::copyText(o.ExchangeID, "1");
    char message[sizeof(TQNMessageType)];
    if (book.checkOrder(tc::OrderCheck{&o, "600000.1", 1e15, 1, nullptr}, message) != 0) {
        state.SkipWithError("the order was refused");
        return;
    }
    o.TradedVolumeChangeOfTurnover = 1;
    o.LastTradedPrice = 10.0;
    o.TurnoverChange = 10.0;
    for (auto _ : state) book.orderEvent(ENUM_OrderEventID_UpdateCost, o);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Book_Fill);

// The same with the simulator's request log on: it keeps a copy of every request (cleared,
// untimed, every 2048 orders). The difference to the above is the simulator's own cost.
void BM_OrderEntry_BuyOpen_SimLogging(benchmark::State &state) {
    TraderRig rig;
    long long n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.trader->buyOpen(nullptr, "1", "600000", 100, ENUM_OrderType_LimitAndWait, 10.0,
                                                     0, ENUM_Direction_Buy));
        if ((++n & 2047) == 0) {
            state.PauseTiming();
            rig.broker->clearRequests();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OrderEntry_BuyOpen_SimLogging);

// --- rendering ----------------------------------------------------------------------------------

void BM_Render_Order(benchmark::State &state) {
    std::unique_ptr<CQNOrderField> o(new CQNOrderField());
    tc::copyText(o->TradingDay, "20240102");
    tc::copyText(o->UserID, "bench");
    tc::copyText(o->ExchangeID, "1");
    tc::copyText(o->StandardID, "600000");
    o->OrderID = 1001;
    o->Direction = '0';
    o->OriginalVolume = 100;
    o->OriginalPrice = 10.01;
    o->Turnover = 1001.0;
    for (auto _ : state) benchmark::DoNotOptimize(toText(ENUM_OrderEventID_Traded, o.get(), true, " || ", 2));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Render_Order);

void BM_Render_Snapshot(benchmark::State &state) {
    tc::SnapshotIndex index;
    tc::EventSink sink;
    auto s = depthSnapshot("600000", '1');
    CQNMarketDataField *r = tc::onMarketData(index, sink, &s);
    for (auto _ : state) benchmark::DoNotOptimize(toText(ENUM_SnapDataEventID_MarketData, r, false, ",", 2));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Render_Snapshot);

void BM_Render_BrokerTradingAccount(benchmark::State &state) {
    auto a = zeroed<CTORATstpTradingAccountField>();
    tc::copyText(a.AccountID, "11000001");
    a.Available = 10000000.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(toText(ENUM_TORAStockTaskID_QryTradingAccount, &a, true, " || ", 2));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Render_BrokerTradingAccount);

void BM_Baseline_Snprintf3(benchmark::State &state) {
    char buf[128];
    int id = 1001;
    double price = 10.01, turnover = 1001.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%d,%.2f,%.2f", id, price, turnover));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Baseline_Snprintf3);

// --- record lock ----------------------------------------------------------------------------------

void BM_RecordLock_Uncontended(benchmark::State &state) {
    std::unique_ptr<CQNOrderField> o(new CQNOrderField());  // with its lock words in front
    for (auto _ : state) {
        getOrderLock(o.get());
        benchmark::ClobberMemory();
        releaseOrderLock(o.get());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordLock_Uncontended);

void BM_Baseline_AtomicCasStore(benchmark::State &state) {
    std::atomic<int> word{0};
    for (auto _ : state) {
        int expected = 0;
        word.compare_exchange_strong(expected, -1, std::memory_order_acquire);
        benchmark::ClobberMemory();
        word.store(0, std::memory_order_release);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Baseline_AtomicCasStore);

}  // namespace

BENCHMARK_MAIN();
