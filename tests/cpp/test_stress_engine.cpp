// Whole accounts under concurrent load, as a strategy's process drives them: init() against a
// paper broker, loop() on its own thread, and several "Python" threads at once that place and
// cancel orders, read order and snapshot records under their locks, change subscriptions and
// call exitX, while the broker streams notifications and market data on the SDK threads.
// Meant for the thread sanitizer (tools/test.sh runs every C++ test under it); a watchdog turns
// a deadlock into an abort naming the phase that hung.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/RecordBlock.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "marketdata/CBaseMd.h"
#include "support/Reliability.h"

namespace {

using namespace std::chrono_literals;
using tc::recording::Call;
using tc::recording::CallKind;
using tc::testing::kPaperSecurities;
using tc::testing::LoopThread;
using tc::testing::Watchdog;
using tc::testing::waitUntil;

PyObject *orderProcessorOf(int engine) { return tc::recording::fakeCallable(1 + 4 * engine); }
PyObject *eventProcessorOf(int engine) { return tc::recording::fakeCallable(2 + 4 * engine); }
PyObject *loopProcessorOf(int engine) { return tc::recording::fakeCallable(3 + 4 * engine); }
PyObject *mdProcessorOf(int engine) { return tc::recording::fakeCallable(4 + 4 * engine); }

CBaseTrader *startEngine(int index, int runID, const std::string &user, const std::string &front, int idRange) {
    CQNLoginField login = tc::testing::paperLogin(user, front, idRange);
    return init(runID, &login, orderProcessorOf(index), eventProcessorOf(index), loopProcessorOf(index),
                mdProcessorOf(index));
}

bool isWorking(CBaseTrader *engine) {
    return engine->apiStatus() == ENUM_ApiStatus_Working && engine->md() &&
           engine->md()->apiStatus() == ENUM_ApiStatus_Working;
}

// Order records and snapshot records seen so far, shared between the test's threads.
class Records {
public:
    void addOrder(CQNOrderField *o) {
        if (!o) return;
        std::lock_guard<std::mutex> lock(mutex_);
        orders_.push_back(o);
    }
    void addSnapshot(CQNMarketDataField *s) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (snapshotSet_.insert(s).second) snapshots_.push_back(s);
    }
    CQNOrderField *anyOrder(std::mt19937 &rng) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (orders_.empty()) return nullptr;
        return orders_[rng() % orders_.size()];
    }
    CQNMarketDataField *anySnapshot(std::mt19937 &rng) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (snapshots_.empty()) return nullptr;
        return snapshots_[rng() % snapshots_.size()];
    }
    std::vector<CQNOrderField *> orders() {
        std::lock_guard<std::mutex> lock(mutex_);
        return orders_;
    }
    std::vector<CQNMarketDataField *> snapshots() {
        std::lock_guard<std::mutex> lock(mutex_);
        return snapshots_;
    }

private:
    std::mutex mutex_;
    std::vector<CQNOrderField *> orders_;
    std::set<CQNMarketDataField *> snapshotSet_;
    std::vector<CQNMarketDataField *> snapshots_;
};

// What a reader may never see in an order record, whatever the timing.
std::string orderInvariantBrokenBare(const CQNOrderField &o) {
    if (o.TradedVolume < 0 || o.TradedVolume > o.OriginalVolume) return "TradedVolume out of [0, OriginalVolume]";
    if (o.OrderStatus == ENUM_OrderStatus_Canceled && o.CanceledVolume + o.TradedVolume != o.OriginalVolume)
        return "CanceledVolume + TradedVolume != OriginalVolume on a cancelled order";
    if (o.OrderStatus == ENUM_OrderStatus_AllTraded && o.TradedVolume != o.OriginalVolume)
        return "AllTraded with TradedVolume != OriginalVolume";
    if (o.OrderStatus != '\0' && std::strchr("123456", o.OrderStatus) == nullptr) return "unknown OrderStatus";
    if (o.Turnover < -1e-6) return "negative Turnover";
    return "";
}

// The broken rule with the record's volumes and status, so that a failure seen once says how.
std::string orderInvariantBroken(const CQNOrderField &o) {
    std::string broken = orderInvariantBrokenBare(o);
    if (broken.empty()) return broken;
    char facts[160];
    std::snprintf(facts, sizeof facts, " (status '%c', original %d, traded %d, cancelled %d, change %d, session %d/%d)",
                  o.OrderStatus ? o.OrderStatus : '0', o.OriginalVolume, o.TradedVolume, o.CanceledVolume,
                  o.TradedVolumeChange, o.FrontID, o.SessionID);
    return broken + facts;
}

// Stops the test's threads and collects what they found.
struct StressRun {
    std::atomic<bool> stop{false};
    std::atomic<long> lockReads{0};
    std::atomic<long> ordersPlaced{0};
    std::atomic<long> cancelsSent{0};
    std::mutex failureMutex;
    std::vector<std::string> failures;
    void fail(const std::string &what) {
        std::lock_guard<std::mutex> lock(failureMutex);
        if (failures.size() < 20) failures.push_back(what);
    }
};

// A processor that does what strategies do inside their handlers: read the record it is handed
// (taking its lock, which the engine already holds for this thread), and sometimes call the
// engine back.
void installProcessors(Records &records, StressRun &run, const std::vector<CBaseTrader *> &engines) {
    tc::recording::setCallHook([&records, &run, engines](const Call &call) {
        if (call.kind != CallKind::OrderProcessor || !call.record) return;
        for (std::size_t i = 0; i < engines.size(); ++i) {
            if (call.processor == orderProcessorOf(static_cast<int>(i))) {
                auto *o = static_cast<CQNOrderField *>(const_cast<void *>(call.record));
                getOrderLock(o);  // returns at once: the engine holds it for this thread
                const CQNOrderField copy = *o;
                releaseOrderLock(o);
                const std::string broken = orderInvariantBroken(copy);
                if (!broken.empty()) run.fail("order event " + std::to_string(call.eventID) + ": " + broken);
                // Re-entering the engine from an order event: cancel what was just accepted.
                if (call.eventID == ENUM_OrderEventID_Accepted && copy.OrderID % 3 == 0) {
                    cancelOrderByOrderID(engines[i], copy.OrderID);
                }
                return;
            }
            if (call.processor == mdProcessorOf(static_cast<int>(i))) {
                auto *s = static_cast<CQNMarketDataField *>(const_cast<void *>(call.record));
                getMarketDataLock(s);
                volatile double last = s->LastPrice;
                (void)last;
                releaseMarketDataLock(s);
                records.addSnapshot(s);
                return;
            }
        }
    });
}

// Places limit orders around the market on every security, buys and sells, from one thread.
void strategyThread(CBaseTrader *engine, Records &records, StressRun &run, unsigned seed) {
    std::mt19937 rng(seed);
    while (!run.stop.load()) {
        const tc::testing::PaperSecurity &s = kPaperSecurities[rng() % 4];
        const double price = 9.9 + 0.01 * static_cast<double>(rng() % 21);
        const int volume = 100 * static_cast<int>(1 + rng() % 5);
        CQNOrderField *o = (rng() % 2)
                               ? buyOpen(engine, s.code, volume, ENUM_OrderType_LimitAndWait, price, s.exchange,
                                         ENUM_Direction_Buy)
                               : sellClose(engine, s.code, volume, ENUM_OrderType_LimitAndWait, price, s.exchange,
                                           ENUM_Direction_Sell, ENUM_OffsetFlag_Close, "");
        records.addOrder(o);
        run.ordersPlaced.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(500 + rng() % 1500));
    }
}

// Takes order and snapshot locks the way the Python record classes do, and checks what it reads.
void readerThread(Records &records, StressRun &run, unsigned seed) {
    std::mt19937 rng(seed);
    while (!run.stop.load()) {
        if (CQNOrderField *o = records.anyOrder(rng)) {
            getOrderLock(o);
            const CQNOrderField copy = *o;
            releaseOrderLock(o);
            const std::string broken = orderInvariantBroken(copy);
            if (!broken.empty()) run.fail("reader: order " + std::to_string(copy.OrderID) + ": " + broken);
            run.lockReads.fetch_add(1);
        }
        if (CQNMarketDataField *s = records.anySnapshot(rng)) {
            getMarketDataLock(s);
            const CQNMarketDataField copy = *s;
            releaseMarketDataLock(s);
            if (copy.StandardID[0] == '\0') run.fail("reader: snapshot without SecurityID");
            run.lockReads.fetch_add(1);
        }
        std::this_thread::yield();
    }
}

void cancelThread(CBaseTrader *engine, Records &records, StressRun &run, unsigned seed) {
    std::mt19937 rng(seed);
    while (!run.stop.load()) {
        if (rng() % 8 == 0) {
            const tc::testing::PaperSecurity &s = kPaperSecurities[rng() % 4];
            cancelOrderByStandardID(engine, (rng() % 2) ? s.exchange : nullptr, s.code);
        } else if (CQNOrderField *o = records.anyOrder(rng)) {
            getOrderLock(o);
            const int id = o->OrderID;
            releaseOrderLock(o);
            cancelOrderByOrderID(engine, id);
        }
        run.cancelsSent.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(300 + rng() % 700));
    }
}

// Every lock word back at 0 once nothing runs any more.
void expectLocksFree(Records &records) {
    for (CQNOrderField *o : records.orders()) {
        const tc::RecordLock *l = tc::lockOf(o);
        EXPECT_EQ(l->word.load(), 0) << "order " << o->OrderID;
        EXPECT_EQ(l->waiters.load(), 0) << "order " << o->OrderID;
    }
    for (CQNMarketDataField *s : records.snapshots()) {
        const tc::RecordLock *l = tc::lockOf(s);
        EXPECT_EQ(l->word.load(), 0) << s->StandardID;
        EXPECT_EQ(l->waiters.load(), 0) << s->StandardID;
    }
}

void subscribeAll(CBaseTrader *engine) {
    for (const tc::testing::PaperSecurity &s : kPaperSecurities) subscribeOne(engine, s.code, s.exchange);
}

class EngineStress : public ::testing::Test {
protected:
    void TearDown() override {
        tc::recording::setCallHook(nullptr);
        for (const std::string &front : fronts_) torasim::Broker::remove(front);
        for (auto &b : brokers_) b->drain(std::chrono::milliseconds(5000));
    }
    std::shared_ptr<torasim::Broker> broker(const std::string &front, double ticks) {
        fronts_.push_back(front);
        brokers_.push_back(tc::testing::createPaperBroker(front, ticks));
        return brokers_.back();
    }
    // Stops the market and disconnects everything: afterwards no callback runs any more.
    void quiesce() {
        for (const std::string &front : fronts_) torasim::Broker::remove(front);
        for (auto &b : brokers_) ASSERT_TRUE(b->drain(std::chrono::milliseconds(20000)));
        fronts_.clear();
    }
    std::vector<std::string> fronts_;
    std::vector<std::shared_ptr<torasim::Broker>> brokers_;
};

TEST_F(EngineStress, ReadersTakeRecordLocksWhileOrdersFillAndCancelsRaceThem) {
    Watchdog dog(120s, "readers, fills and cancels on one account");
    auto b = broker("sim://stress-one", 200);
    CBaseTrader *engine = startEngine(0, 1000, "stress-one", "sim://stress-one", 30000);
    ASSERT_NE(engine, nullptr) << getInitError();
    Records records;
    StressRun run;
    installProcessors(records, run, {engine});
    LoopThread loopThread;
    dog.phase("start-up");
    ASSERT_TRUE(waitUntil([&] { return isWorking(engine); }, 60s));
    subscribeAll(engine);

    dog.phase("trading");
    std::vector<std::thread> threads;
    threads.emplace_back(strategyThread, engine, std::ref(records), std::ref(run), 11u);
    threads.emplace_back(strategyThread, engine, std::ref(records), std::ref(run), 12u);
    threads.emplace_back(cancelThread, engine, std::ref(records), std::ref(run), 13u);
    for (unsigned i = 0; i < 3; ++i) threads.emplace_back(readerThread, std::ref(records), std::ref(run), 20u + i);
    std::this_thread::sleep_for(3s);  // the load runs for a fixed time; nothing is timed
    run.stop = true;
    for (std::thread &t : threads) t.join();

    dog.phase("exit");
    exitX(engine);
    loopThread.join();
    dog.phase("quiesce");
    quiesce();
    tc::recording::setCallHook(nullptr);

    for (const std::string &f : run.failures) ADD_FAILURE() << f;
    EXPECT_GT(run.ordersPlaced.load(), 0);
    EXPECT_GT(run.lockReads.load(), 0);
    EXPECT_FALSE(records.snapshots().empty());
    expectLocksFree(records);
    for (CQNOrderField *o : records.orders()) EXPECT_EQ(orderInvariantBroken(*o), "") << o->OrderID;
    std::printf("[ stress ] %ld orders, %ld cancel calls, %ld locked reads, %zu calls into processors\n",
                run.ordersPlaced.load(), run.cancelsSent.load(), run.lockReads.load(), tc::recording::callCount());
}

TEST_F(EngineStress, SubscriptionsChangeWhileMarketDataLogsInAgain) {
    Watchdog dog(120s, "subscriptions during market-data re-login");
    auto b = broker("sim://stress-md", 200);
    CBaseTrader *engine = startEngine(0, 1000, "stress-md", "sim://stress-md", 1000);
    ASSERT_NE(engine, nullptr) << getInitError();
    Records records;
    StressRun run;
    installProcessors(records, run, {engine});
    LoopThread loopThread;
    dog.phase("start-up");
    ASSERT_TRUE(waitUntil([&] { return isWorking(engine); }, 60s));

    dog.phase("churn");
    std::vector<std::thread> threads;
    // Subscribing and unsubscribing from two threads, one of them with the list calls.
    threads.emplace_back([&] {
        std::mt19937 rng(1);
        while (!run.stop.load()) {
            const tc::testing::PaperSecurity &s = kPaperSecurities[rng() % 4];
            if (rng() % 2) {
                subscribeOne(engine, s.code, s.exchange);
            } else {
                unsubscribeOne(engine, s.code, s.exchange);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 500));
        }
    });
    threads.emplace_back([&] {
        std::mt19937 rng(2);
        while (!run.stop.load()) {
            char a[] = "600000", c[] = "600036";
            char *ids[] = {a, c, a};
            if (rng() % 2) {
                subscribe(engine, ids, 3, "1");
            } else {
                unsubscribe(engine, ids, 2, "1");
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 500));
        }
    });
    threads.emplace_back(readerThread, std::ref(records), std::ref(run), 3u);
    // The market-data connection drops again and again; the supervisor logs it in each time and
    // the side re-sends its subscriptions.
    int drops = 0;
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < end) {
        waitUntil([&] { return engine->md()->apiStatus() == ENUM_ApiStatus_Working; }, 10s);
        drops += b->dropConnection(torasim::kReasonReadFailed, torasim::Side::Md, std::chrono::milliseconds(5));
        std::this_thread::sleep_for(50ms);
    }
    run.stop = true;
    for (std::thread &t : threads) t.join();

    dog.phase("settle");
    // Once the churn stops, the registry's final state is what the broker streams after the
    // next login.
    for (const tc::testing::PaperSecurity &s : kPaperSecurities) unsubscribeOne(engine, s.code, s.exchange);
    subscribeOne(engine, "600000", "1");
    subscribeOne(engine, "000002", "2");
    ASSERT_TRUE(waitUntil([&] { return engine->md()->apiStatus() == ENUM_ApiStatus_Working; }, 30s));
    const SecuritySet sh = engine->md()->registeredIDs("1.0");
    EXPECT_EQ(sh.count("600000"), 1u);
    EXPECT_EQ(sh.count("600036"), 0u);

    dog.phase("exit");
    exitX(engine);
    loopThread.join();
    quiesce();
    tc::recording::setCallHook(nullptr);
    for (const std::string &f : run.failures) ADD_FAILURE() << f;
    EXPECT_GT(drops, 0);
    expectLocksFree(records);
    std::printf("[ stress ] %d market-data drops, %ld locked reads\n", drops, run.lockReads.load());
}

TEST_F(EngineStress, SeveralEnginesTradeAtOnceAndExitOneByOne) {
    Watchdog dog(180s, "several engines at once");
    // Two accounts on one broker (each sees the other's notifications and must drop them), one
    // on a broker of its own.
    auto shared = broker("sim://stress-shared", 100);
    auto own = broker("sim://stress-own", 100);
    std::vector<CBaseTrader *> engines = {
        startEngine(0, 1000, "multi-a", "sim://stress-shared", 8000),
        startEngine(1, 10000, "multi-b", "sim://stress-shared", 8000),
        startEngine(2, 20000, "multi-c", "sim://stress-own", 8000),
    };
    for (CBaseTrader *e : engines) ASSERT_NE(e, nullptr) << getInitError();
    std::vector<std::unique_ptr<Records>> records;
    for (std::size_t i = 0; i < engines.size(); ++i) records.push_back(std::make_unique<Records>());
    StressRun run;
    // One hook for all: every order event must carry a record of the engine it was delivered for.
    std::atomic<long> foreign{0};
    tc::recording::setCallHook([&](const Call &call) {
        if (call.kind != CallKind::OrderProcessor || !call.record) return;
        for (std::size_t i = 0; i < engines.size(); ++i) {
            if (call.processor != orderProcessorOf(static_cast<int>(i))) continue;
            auto *o = static_cast<const CQNOrderField *>(call.record);
            if (!engines[i]->ownsID(o->OrderID)) foreign.fetch_add(1);
        }
    });
    LoopThread loopThread;
    dog.phase("start-up");
    ASSERT_TRUE(waitUntil([&] { return std::all_of(engines.begin(), engines.end(), isWorking); }, 90s));
    for (CBaseTrader *e : engines) subscribeAll(e);

    dog.phase("trading");
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < engines.size(); ++i) {
        threads.emplace_back(strategyThread, engines[i], std::ref(*records[i]), std::ref(run), 100u + i);
        threads.emplace_back(cancelThread, engines[i], std::ref(*records[i]), std::ref(run), 200u + i);
        threads.emplace_back(readerThread, std::ref(*records[i]), std::ref(run), 300u + i);
    }
    // The engines leave one by one while the others keep trading.
    std::this_thread::sleep_for(1s);
    exitX(engines[1]);
    std::this_thread::sleep_for(1s);
    exitX(engines[0]);
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(loopThread.returned());
    exitX(engines[2]);
    dog.phase("loop return");
    loopThread.join();
    // Calls on exited engines still answer (the connections stay open).
    std::this_thread::sleep_for(200ms);
    run.stop = true;
    for (std::thread &t : threads) t.join();
    dog.phase("quiesce");
    quiesce();
    tc::recording::setCallHook(nullptr);

    for (const std::string &f : run.failures) ADD_FAILURE() << f;
    EXPECT_EQ(foreign.load(), 0) << "order events delivered with another engine's record";
    for (auto &r : records) expectLocksFree(*r);
    std::printf("[ stress ] 3 engines: %ld orders, %ld cancel calls, %ld locked reads\n", run.ordersPlaced.load(),
                run.cancelsSent.load(), run.lockReads.load());
}

TEST_F(EngineStress, ExitAtAnyMoment) {
    Watchdog dog(240s, "exitX at any moment");
    auto b = broker("sim://stress-exit", 100);
    // Each round starts a new account, lets it run for a while (none at all, during start-up,
    // while trading) and tells it to exit; loop must return every time. In the rounds marked
    // `drop` the connection drops and comes back right after exitX, as a network may.
    struct Round {
        std::chrono::milliseconds delay;
        bool drop;
    };
    const Round rounds[] = {{0ms, false},   {1ms, false},    {30ms, false},  {150ms, false},
                            {600ms, false}, {1500ms, false}, {1500ms, true}, {40ms, true}};
    int round = 0;
    long placed = 0;
    for (const Round &r : rounds) {
        ++round;
        const std::string name = "round " + std::to_string(round) + (r.drop ? " (drop after exit)" : "");
        dog.phase(name + ": start-up");
        // Every round uses the same processors; earlier rounds' accounts stay connected. They
        // share the broker's one account, so each round's identifiers must stay inside its own
        // range: an order numbered in the next round's range is that round's order to the
        // broker's notices.
        const int idRange = 3900;
        CBaseTrader *engine = startEngine(0, 4000 * round, "exit-" + std::to_string(round), "sim://stress-exit", idRange);
        ASSERT_NE(engine, nullptr) << getInitError();
        Records records;
        StressRun run;
        installProcessors(records, run, {engine});
        std::thread strategy(strategyThread, engine, std::ref(records), std::ref(run), 400u + round);
        std::thread reader(readerThread, std::ref(records), std::ref(run), 500u + round);
        {
            LoopThread loopThread;
            if (r.delay.count() > 0) std::this_thread::sleep_for(r.delay);
            dog.phase(name + ": exit");
            // The odd rounds tell every engine at once.
            exitX(round % 2 ? nullptr : engine);
            if (r.drop) b->dropConnection(torasim::kReasonReadFailed, torasim::Side::Both, 5ms);
            loopThread.join();
        }
        EXPECT_EQ(engine->apiStatus(), ENUM_ApiStatus_Exit) << name;
        run.stop = true;
        strategy.join();
        reader.join();
        tc::recording::setCallHook(nullptr);
        for (const std::string &f : run.failures) ADD_FAILURE() << name << ": " << f;
        EXPECT_LT(run.ordersPlaced.load(), idRange) << name << ": the identifiers ran past the range";
        placed += run.ordersPlaced.load();
    }
    dog.phase("quiesce");
    quiesce();
    std::printf("[ stress ] %d exit rounds, %ld orders placed around them\n", round, placed);
}

}  // namespace
