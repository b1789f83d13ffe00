#include "FaultSoak.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "Reliability.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "marketdata/CBaseMd.h"
#include "trader/CTORAStockTrader.h"

namespace tc {
namespace testing {
namespace {

using Clock = std::chrono::steady_clock;
using tc::recording::Call;
using tc::recording::CallKind;

constexpr int kEngines = 2;
constexpr int kIDRange = 15000;
// Disjoint id ranges: each engine drops the other's notifications by its range.
constexpr int kRunIDs[kEngines] = {1000, 17000};

PyObject *processor(int engine, int which) { return tc::recording::fakeCallable(1 + 4 * engine + which); }

// One engine and what happened to it.
struct EngineCtx {
    int index = 0;
    CBaseTrader *engine = nullptr;
    CTORAStockTrader *trader = nullptr;
    std::mutex mutex;
    std::vector<CQNOrderField *> orders;
    std::atomic<long> orderEvents{0};
    std::atomic<long> otherEvents{0};
    std::atomic<long> snapshotEvents{0};
    std::atomic<long> loopCalls{0};
    std::atomic<long> traderReady{0};
    std::atomic<long> foreign{0};
    std::atomic<long> cancels{0};
    std::atomic<long> queries{0};

    void add(CQNOrderField *o) {
        if (!o) return;
        std::lock_guard<std::mutex> lock(mutex);
        orders.push_back(o);
    }
    std::size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return orders.size();
    }
    CQNOrderField *any(std::mt19937 &rng) {
        std::lock_guard<std::mutex> lock(mutex);
        return orders.empty() ? nullptr : orders[rng() % orders.size()];
    }
    std::vector<CQNOrderField *> all() {
        std::lock_guard<std::mutex> lock(mutex);
        return orders;
    }
};

struct Shared {
    std::atomic<bool> trading{true};   // processors may place and cancel
    std::atomic<bool> stop{false};     // the strategy and reader threads end
    std::atomic<long> invariantBreaks{0};
    std::atomic<long> lockWaits{0};
    std::atomic<long long> maxLockWaitNs{0};
    std::mutex detailMutex;
    std::vector<std::string> details;
    std::shared_ptr<torasim::Broker> broker;
    EngineCtx engines[kEngines];

    void detail(const std::string &line) {
        std::lock_guard<std::mutex> lock(detailMutex);
        if (details.size() < 200) details.push_back(line);
    }
    void noteWait(Clock::duration d) {
        const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
        lockWaits.fetch_add(1);
        long long seen = maxLockWaitNs.load();
        while (ns > seen && !maxLockWaitNs.compare_exchange_weak(seen, ns)) {
        }
    }
};

std::string invariantBroken(const CQNOrderField &o) {
    if (o.TradedVolume < 0 || o.TradedVolume > o.OriginalVolume) return "TradedVolume outside [0, OriginalVolume]";
    if (o.OrderStatus == ENUM_OrderStatus_Canceled && o.CanceledVolume + o.TradedVolume != o.OriginalVolume)
        return "cancelled with CanceledVolume + TradedVolume != OriginalVolume";
    if (o.OrderStatus == ENUM_OrderStatus_AllTraded && o.TradedVolume != o.OriginalVolume)
        return "AllTraded short of OriginalVolume";
    if (o.TradedVolumeOfTurnover < 0 || o.Turnover < -1e-6) return "negative turnover";
    return "";
}

// Reads a record as the Python record class does: under its lock, timing the wait.
CQNOrderField lockedCopy(Shared &shared, CQNOrderField *o) {
    const Clock::time_point start = Clock::now();
    getOrderLock(o);
    shared.noteWait(Clock::now() - start);
    const CQNOrderField copy = *o;
    releaseOrderLock(o);
    return copy;
}

void checkInvariants(Shared &shared, const CQNOrderField &copy, const char *where) {
    const std::string broken = invariantBroken(copy);
    if (broken.empty()) return;
    shared.invariantBreaks.fetch_add(1);
    shared.detail(std::string(where) + ": order " + std::to_string(copy.OrderID) + ": " + broken);
}

double currentPrice(Shared &shared, const char *code) {
    std::optional<CTORATstpMarketDataField> s = shared.broker->snapshot(code);
    if (!s || !(s->LastPrice > 0)) return 10.0;
    return s->LastPrice;
}

CQNOrderField *placeOrder(Shared &shared, EngineCtx &e, std::mt19937 &rng) {
    const PaperSecurity &s = kPaperSecurities[rng() % 4];
    // Within a few ticks of the market on either side: some trade at once, some rest.
    const double last = currentPrice(shared, s.code);
    const double price = std::round(last * 100 + static_cast<double>(static_cast<int>(rng() % 11) - 5)) / 100;
    const int volume = 100 * static_cast<int>(1 + rng() % 5);
    CQNOrderField *o = (rng() % 2) ? buyOpen(e.engine, s.code, volume, ENUM_OrderType_LimitAndWait, price, s.exchange,
                                             ENUM_Direction_Buy)
                                   : sellClose(e.engine, s.code, volume, ENUM_OrderType_LimitAndWait, price,
                                               s.exchange, ENUM_Direction_Sell, ENUM_OffsetFlag_Close, "");
    e.add(o);
    return o;
}

void installHook(const std::shared_ptr<Shared> &sharedPtr) {
    tc::recording::setCallHook([sharedPtr](const Call &call) {
        Shared &shared = *sharedPtr;
        for (EngineCtx &e : shared.engines) {
            if (call.processor == processor(e.index, 0) && call.kind == CallKind::OrderProcessor) {
                e.orderEvents.fetch_add(1);
                auto *o = static_cast<CQNOrderField *>(const_cast<void *>(call.record));
                if (!o) return;
                // The record must be this engine's own: in its id range and in its order index.
                if (!e.engine->ownsID(o->OrderID) || e.trader->findOrderRecord(o->OrderID) != o) {
                    e.foreign.fetch_add(1);
                    shared.detail("engine " + std::to_string(e.index) + " got an order event for order " +
                                  std::to_string(o->OrderID) + " that is not its own");
                    return;
                }
                const CQNOrderField copy = lockedCopy(shared, o);  // held for us already
                checkInvariants(shared, copy, "order event");
                if (shared.trading.load() && call.eventID == ENUM_OrderEventID_Accepted && copy.OrderID % 4 == 0) {
                    // Re-entering the engine from its own order event.
                    cancelOrderByOrderID(e.engine, copy.OrderID);
                    e.cancels.fetch_add(1);
                }
                return;
            }
            if (call.processor == processor(e.index, 3)) {
                e.snapshotEvents.fetch_add(1);
                auto *s = static_cast<CQNMarketDataField *>(const_cast<void *>(call.record));
                getMarketDataLock(s);
                releaseMarketDataLock(s);
                return;
            }
            if (call.processor == processor(e.index, 1)) {
                e.otherEvents.fetch_add(1);
                if (call.eventID == ENUM_EventID_TraderReady) e.traderReady.fetch_add(1);
                return;
            }
            if (call.processor == processor(e.index, 2) && call.kind == CallKind::NoArgs) {
                const long n = e.loopCalls.fetch_add(1);
                // Now and then the loop processor trades too (on the engine thread).
                if (shared.trading.load() && n % 64 == 63 && e.count() < static_cast<std::size_t>(kIDRange * 8 / 10)) {
                    std::mt19937 rng(static_cast<unsigned>(n));
                    placeOrder(shared, e, rng);
                }
                return;
            }
        }
    });
}

void strategy(Shared &shared, EngineCtx &e, double ordersPerSecond, Clock::time_point end, unsigned seed) {
    std::mt19937 rng(seed);
    const auto pause = std::chrono::microseconds(static_cast<long long>(1e6 / std::max(1.0, ordersPerSecond)));
    static const int kQueries[] = {ENUM_TORAStockTaskID_QryOrder, ENUM_TORAStockTaskID_QryPosition,
                                   ENUM_TORAStockTaskID_QryTradingAccount, ENUM_TORAStockTaskID_QryTrade};
    Clock::time_point nextQuery = Clock::now();
    while (!shared.stop.load() && Clock::now() < end) {
        // Like a strategy that waits for TraderReady: no new orders while logging in again.
        const bool ready = e.engine->apiStatus() == ENUM_ApiStatus_Working;
        if (ready && e.count() < static_cast<std::size_t>(kIDRange * 8 / 10)) placeOrder(shared, e, rng);
        if (rng() % 2) {
            if (CQNOrderField *o = e.any(rng)) {
                const CQNOrderField copy = lockedCopy(shared, o);
                checkInvariants(shared, copy, "strategy");
                cancelOrderByOrderID(e.engine, copy.OrderID);
                e.cancels.fetch_add(1);
            }
        }
        if (rng() % 20 == 0) {
            const PaperSecurity &s = kPaperSecurities[rng() % 4];
            cancelOrderByStandardID(e.engine, (rng() % 2) ? s.exchange : nullptr, s.code);
            e.cancels.fetch_add(1);
        }
        if (Clock::now() >= nextQuery) {
            addTask(e.engine, kQueries[rng() % 4], nullptr, 1, -1, -1, false, -1);
            e.queries.fetch_add(1);
            nextQuery = Clock::now() + std::chrono::milliseconds(250);
        }
        std::this_thread::sleep_for(pause);
    }
}

void reader(Shared &shared, unsigned seed) {
    std::mt19937 rng(seed);
    while (!shared.stop.load()) {
        EngineCtx &e = shared.engines[rng() % kEngines];
        if (CQNOrderField *o = e.any(rng)) checkInvariants(shared, lockedCopy(shared, o), "reader");
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

bool resting(const torasim::LedgerOrder &l) {
    if (l.submitStatus == TORA_TSTP_OSS_InsertRejected) return false;
    return l.orderStatus == TORA_TSTP_OST_NoTradeQueueing || l.orderStatus == TORA_TSTP_OST_PartTradedQueueing ||
           l.orderStatus == TORA_TSTP_OST_Cached;
}

EngineCtx *ownerOf(Shared &shared, int orderRef) {
    for (EngineCtx &e : shared.engines) {
        if (e.engine->ownsID(orderRef)) return &e;
    }
    return nullptr;
}

// Cancels every resting order at the broker (with the ledger's own identifiers, so also the
// orders the engines no longer track) until none rests.
bool settle(Shared &shared) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        bool any = false;
        for (const torasim::LedgerOrder &l : shared.broker->orders()) {
            if (!resting(l)) continue;
            any = true;
            EngineCtx *e = ownerOf(shared, l.orderRef);
            if (!e) continue;
            const char exchange[2] = {l.exchangeID, '\0'};
            cancelOrder(e->engine, exchange, l.securityID.c_str(), l.orderSysID.c_str(), l.orderRef, l.frontID,
                        l.sessionID);
        }
        if (!any) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

char expectedStatus(const torasim::LedgerOrder &l) {
    if (l.submitStatus == TORA_TSTP_OSS_InsertRejected) return ENUM_OrderStatus_Rejected;
    switch (l.orderStatus) {
    case TORA_TSTP_OST_AllTraded: return ENUM_OrderStatus_AllTraded;
    case TORA_TSTP_OST_PartTradedQueueing: return ENUM_OrderStatus_PartTraded;
    case TORA_TSTP_OST_NoTradeQueueing: return ENUM_OrderStatus_Accepted;
    case TORA_TSTP_OST_Canceled: return ENUM_OrderStatus_Canceled;
    case TORA_TSTP_OST_Cached: return ENUM_OrderStatus_Cached;
    default: return '?';
    }
}

std::string describe(const CQNOrderField &o, const torasim::LedgerOrder &l) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "order %d: engine status '%c' traded %d cancelled %d turnover %.2f | broker status '%c' "
                  "submit '%c' traded %d cancelled %d turnover %.2f session %d/%d",
                  o.OrderID, o.OrderStatus ? o.OrderStatus : '-', o.TradedVolume, o.CanceledVolume, o.Turnover,
                  l.orderStatus ? l.orderStatus : '-', l.submitStatus ? l.submitStatus : '-', l.tradedVolume,
                  l.cancelledVolume, l.turnover, l.frontID, l.sessionID);
    return line;
}

void reconcile(Shared &shared, SoakReport &report) {
    std::map<int, std::vector<torasim::LedgerOrder>> ledger;
    for (const torasim::LedgerOrder &l : shared.broker->orders()) ledger[l.orderRef].push_back(l);
    for (EngineCtx &e : shared.engines) {
        for (CQNOrderField *o : e.all()) {
            const CQNOrderField r = lockedCopy(shared, o);
            ++report.ordersPlaced;
            auto it = ledger.find(r.OrderID);
            if (it == ledger.end()) {
                if (r.OrderStatus == ENUM_OrderStatus_Rejected && r.ErrorID == ENUM_ErrorID_FailToSend) {
                    ++report.refusedAtSend;
                } else {
                    ++report.mismatches;
                    report.details.push_back("order " + std::to_string(r.OrderID) + ": not at the broker, engine status '" +
                                             std::string(1, r.OrderStatus ? r.OrderStatus : '-') + "'");
                }
                continue;
            }
            ++report.ordersAtBroker;
            if (it->second.size() != 1) {
                ++report.mismatches;
                report.details.push_back("order " + std::to_string(r.OrderID) + ": " +
                                         std::to_string(it->second.size()) + " ledger entries");
                continue;
            }
            const torasim::LedgerOrder &l = it->second.front();
            const char want = expectedStatus(l);
            bool same = r.OrderStatus == want;
            if (want != ENUM_OrderStatus_Rejected) {
                same = same && r.TradedVolume == l.tradedVolume;
                if (want == ENUM_OrderStatus_Canceled) same = same && r.CanceledVolume == l.cancelledVolume;
                // The session the broker knows the order by: the one a cancel must name.
                same = same && r.FrontID == l.frontID && r.SessionID == l.sessionID;
            }
            same = same && std::fabs(r.Turnover - l.turnover) <= 1e-6 * std::max(1.0, std::fabs(l.turnover));
            if (same) continue;
            ++report.mismatches;
            report.details.push_back("MISMATCH: " + describe(r, l));
        }
    }
}

}  // namespace

torasim::FaultConfig defaultSoakFaults(std::uint64_t seed) {
    torasim::FaultConfig f;
    f.seed = seed;
    f.refuseSend = 0.02;
    f.dropAnswer = 0.02;
    f.lateAnswer = 0.05;
    f.lateMillis = 80;
    f.errorAnswer = 0.02;
    f.duplicateNotice = 0.02;
    f.reorderNotice = 0.02;
    f.disconnect = 0.002;
    f.reconnectMillis = 50;
    return f;
}

long SoakReport::faultsInjected() const {
    return static_cast<long>(faults.refusedSends + faults.droppedAnswers + faults.lateAnswers + faults.errorAnswers +
                             faults.duplicatedNotices + faults.reorderedNotices + faults.disconnects);
}

std::string SoakReport::summary() const {
    char text[1536];
    std::snprintf(
        text, sizeof text,
        "orders %ld (at the broker %ld, refused at send %ld); events: order %ld, other %ld, snapshot %ld, loop calls "
        "%ld; cancels %ld, queries %ld; faults injected %ld (refused sends %llu, dropped answers %llu, late answers "
        "%llu, error answers %llu, duplicated notices %llu, reordered notices %llu, disconnections %llu); "
        "reconnections %ld; mismatches %ld; foreign events %ld; invariant breaks %ld; "
        "max lock wait %.3f ms over %ld waits; settled %s; loop returned %s",
        ordersPlaced, ordersAtBroker, refusedAtSend, orderEvents, otherEvents, snapshotEvents, loopCalls, cancelsSent,
        queriesAdded, faultsInjected(), static_cast<unsigned long long>(faults.refusedSends),
        static_cast<unsigned long long>(faults.droppedAnswers), static_cast<unsigned long long>(faults.lateAnswers),
        static_cast<unsigned long long>(faults.errorAnswers), static_cast<unsigned long long>(faults.duplicatedNotices),
        static_cast<unsigned long long>(faults.reorderedNotices), static_cast<unsigned long long>(faults.disconnects),
        reconnections, mismatches, foreignEvents, invariantBreaks, maxLockWaitMs, lockWaits,
        settled ? "yes" : "no", loopReturned ? "yes" : "no");
    return text;
}

SoakReport runFaultSoak(const std::string &name, const SoakOptions &options) {
    SoakReport report;
    auto sharedPtr = std::make_shared<Shared>();
    Shared &shared = *sharedPtr;
    const std::string front = "sim://" + name;
    shared.broker = createPaperBroker(front, 20, options.seed);

    for (int i = 0; i < kEngines; ++i) {
        EngineCtx &e = shared.engines[i];
        e.index = i;
        CQNLoginField login = paperLogin(name + "-" + std::to_string(i), front, kIDRange);
        e.engine = init(kRunIDs[i], &login, processor(i, 0), processor(i, 1), processor(i, 2), processor(i, 3));
        if (!e.engine) {
            report.details.push_back("init failed: " + std::to_string(getInitError()));
            torasim::Broker::remove(front);
            return report;
        }
        e.trader = dynamic_cast<CTORAStockTrader *>(e.engine);
    }
    installHook(sharedPtr);
    auto working = [&] {
        for (EngineCtx &e : shared.engines) {
            if (e.engine->apiStatus() != ENUM_ApiStatus_Working || !e.engine->md() ||
                e.engine->md()->apiStatus() != ENUM_ApiStatus_Working)
                return false;
        }
        return true;
    };
    {
        LoopThread loopThread;
        if (waitUntil(working, std::chrono::seconds(60))) {
            for (EngineCtx &e : shared.engines) {
                for (const PaperSecurity &s : kPaperSecurities) subscribeOne(e.engine, s.code, s.exchange);
            }
            shared.broker->setFaults(options.faults);

            // Keep within the id ranges however long the run.
            const double rate = std::min(options.ordersPerSecond, kIDRange * 0.6 / std::max(1.0, options.seconds));
            const Clock::time_point end =
                Clock::now() + std::chrono::milliseconds(static_cast<long long>(options.seconds * 1000));
            std::vector<std::thread> threads;
            for (EngineCtx &e : shared.engines) {
                threads.emplace_back(strategy, std::ref(shared), std::ref(e), rate, end,
                                     static_cast<unsigned>(options.seed * 31 + e.index));
            }
            threads.emplace_back(reader, std::ref(shared), static_cast<unsigned>(options.seed * 7));
            // Keeps the recording's log short on long runs (the hook counts everything itself).
            while (Clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                tc::recording::clear();
            }
            shared.stop = true;
            for (std::thread &t : threads) t.join();

            // Faults off; the processors stop trading; every resting order is cancelled at the
            // broker; every engine is logged in again and every notification delivered.
            shared.trading = false;
            torasim::FaultConfig none;
            none.seed = options.seed;
            shared.broker->setFaults(none);
            report.faults = shared.broker->faultCounters();
            waitUntil(working, std::chrono::seconds(60));
            report.settled = settle(shared);
            shared.broker->drain();
            report.settled = report.settled && waitUntil(working, std::chrono::seconds(60));
            shared.broker->drain();
            reconcile(shared, report);
        } else {
            report.details.push_back("the engines did not start working");
        }
        exitX(nullptr);
        loopThread.join();
        report.loopReturned = loopThread.returned();
    }
    torasim::Broker::remove(front);
    shared.broker->drain();
    tc::recording::setCallHook(nullptr);
    tc::recording::clear();

    for (EngineCtx &e : shared.engines) {
        report.orderEvents += e.orderEvents.load();
        report.otherEvents += e.otherEvents.load();
        report.snapshotEvents += e.snapshotEvents.load();
        report.loopCalls += e.loopCalls.load();
        report.cancelsSent += e.cancels.load();
        report.queriesAdded += e.queries.load();
        report.reconnections += std::max(0L, e.traderReady.load() - 1);
        report.foreignEvents += e.foreign.load();
    }
    report.invariantBreaks = shared.invariantBreaks.load();
    report.lockWaits = shared.lockWaits.load();
    report.maxLockWaitMs = static_cast<double>(shared.maxLockWaitNs.load()) / 1e6;
    for (const std::string &d : shared.details) report.details.push_back(d);
    return report;
}

}  // namespace testing
}  // namespace tc
