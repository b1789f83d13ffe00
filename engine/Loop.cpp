// loop: one thread per registered engine, which drives the engine's task scheduler, plus one
// supervisor that logs each market-data side in once its trader side is working.
#include <mutex>
#include <thread>
#include <vector>

#include "engine/CBaseTrader.h"
#include "engine/Platform.h"
#include "engine/Registry.h"
#include "engine/TaskScheduler.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "marketdata/CBaseMd.h"

namespace {

constexpr long long kInitializingPause = 100000;
constexpr long long kDefaultLoopPause = 100000;
constexpr long long kSupervisorPause = 1000000;
// The supervisor's one-second pause is taken in slices so that loop returns soon after the
// last engine has been told to exit.
constexpr long long kSupervisorSlice = 10000;

// The threads of the running loop, in start order, and the guard that lets one loop run at a
// time. Never destroyed: the process may end while a loop still runs on another thread.
struct LoopState {
    std::mutex running;
    std::vector<std::thread> threads;
};
LoopState &loopState() {
    static LoopState *state = new LoopState();
    return *state;
}

void runEngine(CBaseTrader *engine) {
    for (;;) {
        const char status = engine->apiStatus();
        if (status == ENUM_ApiStatus_Exit) return;
        if (status == ENUM_ApiStatus_Initializing) {
            // Logging in and the start-up queries: a fixed pace whatever LoopGap says.
            engine->scheduler().step();
            tc::platform::sleepMicros(kInitializingPause);
            continue;
        }
        if (status == ENUM_ApiStatus_Working) {
            engine->scheduler().step();
            tc::callLoopProcessor(engine->sink());
        }
        const long long gap = engine->login().LoopGap;
        if (gap < 0) {
            tc::platform::sleepMicros(kDefaultLoopPause);
        } else if (gap > 0) {
            tc::platform::sleepMicros(gap);
        }
    }
}

bool anyEngineRunning() {
    for (CBaseTrader *engine : tc::registeredEngines()) {
        if (engine->apiStatus() != ENUM_ApiStatus_Exit) return true;
    }
    return false;
}

void superviseMarketData() {
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
        for (long long slept = 0; slept < kSupervisorPause && anyEngineRunning(); slept += kSupervisorSlice) {
            tc::platform::sleepMicros(kSupervisorSlice);
        }
    }
}

}  // namespace

// A call while another loop is running returns at once; once a loop has returned, loop may be
// called again and starts fresh threads for every registered engine.
extern "C" TRADECORE_API void loop() {
    LoopState &state = loopState();
    std::unique_lock<std::mutex> running(state.running, std::try_to_lock);
    if (!running.owns_lock()) return;
    state.threads.emplace_back(superviseMarketData);
    for (CBaseTrader *engine : tc::registeredEngines()) state.threads.emplace_back(runEngine, engine);
    for (std::thread &t : state.threads) t.join();
    state.threads.clear();
}
