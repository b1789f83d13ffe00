// loop: one thread per registered engine, which drives the engine's task scheduler, plus one
// supervisor that logs each market-data side in once its trader side is working.
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Loop.h"

#include "engine/CBaseTrader.h"
#include "engine/Platform.h"
#include "engine/Registry.h"
#include "engine/TaskScheduler.h"
#include "engine/Time.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "marketdata/CBaseMd.h"

namespace {

constexpr long long kInitializingPause = 100000;
constexpr long long kDefaultLoopPause = 100000;
constexpr long long kSupervisorPause = 1000000;
// Pauses are taken in slices of at most this, so that an engine told to exit ends within one
// slice however long its LoopGap, and loop returns soon after the last engine has exited.
constexpr long long kPauseSlice = 10000;

// The threads of the running loop, in start order, and the guard that lets one loop run at a
// time. Never destroyed: the process may end while a loop still runs on another thread.
struct LoopState {
    std::mutex running;
    // Guards what follows; taken by loop, the supervisor and each engine thread as it ends.
    std::mutex threadsLock;
    std::vector<std::pair<CBaseTrader *, std::thread>> threads;
    std::set<CBaseTrader *> driven;  // engines whose thread has not ended yet
    bool adopting = false;           // set once loop has started the threads of its registry
};
LoopState &loopState() {
    static LoopState *state = new LoopState();
    return *state;
}

// Sleeps `micros`, or less once the engine has been told to exit.
void pauseEngine(const CBaseTrader *engine, long long micros) {
    const long long until = tc::nowMicros() + micros;
    for (long long left = micros; left > 0 && engine->apiStatus() != ENUM_ApiStatus_Exit;
         left = until - tc::nowMicros()) {
        tc::platform::sleepMicros(left < kPauseSlice ? left : kPauseSlice);
    }
}

void driveEngine(CBaseTrader *engine) {
    for (;;) {
        const char status = engine->apiStatus();
        if (status == ENUM_ApiStatus_Exit) return;
        if (status == ENUM_ApiStatus_Initializing) {
            // Logging in and the start-up queries: a fixed pace whatever LoopGap says.
            engine->scheduler().step();
            pauseEngine(engine, kInitializingPause);
            continue;
        }
        if (status == ENUM_ApiStatus_Working) {
            engine->scheduler().step();
            tc::callLoopProcessor(engine->sink());
        }
        const long long gap = engine->login().LoopGap;
        if (gap < 0) {
            pauseEngine(engine, kDefaultLoopPause);
        } else if (gap > 0) {
            pauseEngine(engine, gap);
        }
    }
}

void runEngine(LoopState *state, CBaseTrader *engine) {
    driveEngine(engine);
    std::lock_guard<std::mutex> guard(state->threadsLock);
    state->driven.erase(engine);
}

// Starts a thread for `engine` unless one is driving it. An engine's earlier thread has ended
// by then (it left `driven` on its way out) and is joined first, so a resumed engine costs no
// lingering thread.
void startEngineThread(LoopState &state, CBaseTrader *engine) {
    std::lock_guard<std::mutex> guard(state.threadsLock);
    if (!state.driven.insert(engine).second) return;
    for (auto &entry : state.threads) {
        if (entry.first == engine && entry.second.joinable()) entry.second.join();
    }
    state.threads.emplace_back(engine, std::thread(runEngine, &state, engine));
}

// Engines registered while the loop runs (a second account started from another thread), and
// exited engines that were resumed, get a thread of their own.
void adoptEngines(LoopState &state) {
    {
        std::lock_guard<std::mutex> guard(state.threadsLock);
        if (!state.adopting) return;
    }
    for (CBaseTrader *engine : tc::registeredEngines()) {
        if (engine->apiStatus() != ENUM_ApiStatus_Exit) startEngineThread(state, engine);
    }
}

bool anyEngineRunning() {
    for (CBaseTrader *engine : tc::registeredEngines()) {
        if (engine->apiStatus() != ENUM_ApiStatus_Exit) return true;
    }
    return false;
}

void superviseMarketData(LoopState *state) {
    for (;;) {
        const std::vector<CBaseTrader *> engines = tc::registeredEngines();
        if (engines.empty()) return;
        bool running = false;
        for (CBaseTrader *engine : engines) {
            const char status = engine->apiStatus();
            if (status == ENUM_ApiStatus_Exit) continue;
            running = true;
            CBaseMd *md = engine->md();
            if (status == ENUM_ApiStatus_Working && md && md->apiStatus() == ENUM_ApiStatus_Initializing) {
                md->requestLogin();
            }
        }
        if (!running) return;
        for (long long slept = 0; slept < kSupervisorPause && anyEngineRunning(); slept += kPauseSlice) {
            tc::platform::sleepMicros(kPauseSlice);
            adoptEngines(*state);
        }
    }
}

}  // namespace

namespace tc {

bool waitForLoops(long long graceMicros) {
    // Asked once, as the process exits: a look every slice is soon enough.
    std::mutex &running = loopState().running;
    const long long until = nowMicros() + graceMicros;
    for (;;) {
        if (running.try_lock()) {
            running.unlock();
            return true;
        }
        const long long left = until - nowMicros();
        if (left <= 0) return false;
        platform::sleepMicros(left < kPauseSlice ? left : kPauseSlice);
    }
}

}  // namespace tc

// A call while another loop is running returns at once; once a loop has returned, loop may be
// called again and starts fresh threads for every registered engine.
extern "C" TRADECORE_API void loop() {
    LoopState &state = loopState();
    std::unique_lock<std::mutex> running(state.running, std::try_to_lock);
    if (!running.owns_lock()) return;
    std::thread supervisor(superviseMarketData, &state);
    for (CBaseTrader *engine : tc::registeredEngines()) startEngineThread(state, engine);
    {
        std::lock_guard<std::mutex> guard(state.threadsLock);
        state.adopting = true;
    }
    // Once the supervisor has ended nothing starts another thread.
    supervisor.join();
    std::vector<std::pair<CBaseTrader *, std::thread>> threads;
    {
        // Each engine thread takes the lock on its way out: join them without it.
        std::lock_guard<std::mutex> guard(state.threadsLock);
        state.adopting = false;
        threads.swap(state.threads);
    }
    for (auto &entry : threads) {
        if (entry.second.joinable()) entry.second.join();
    }
}
