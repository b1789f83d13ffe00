// Helpers of the stress and soak tests: a watchdog that turns a deadlock into a failed run, and
// whole accounts started through init() against a paper broker and run by loop() on a thread,
// the way a strategy's process runs them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/CBaseTrader.h"
#include "engine/tradecore_api.h"
#include "torasim/SimControl.h"

namespace tc {
namespace testing {

// Aborts the process with a message naming the current phase unless destroyed (or disarmed)
// within `limit`: a deadlocked stress test fails instead of hanging CI until its timeout.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, std::string what);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;
    // What the test is doing now (printed when the watchdog fires).
    void phase(const std::string &what);
    void disarm();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::string what_;
    std::string phase_;
    std::thread thread_;
};

// Polls `pred` (with short sleeps) until it holds or `timeout` passes; returns whether it holds.
bool waitUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout);

// A login record of a TORA stock account whose trader and market-data fronts are `front`, with a
// flow directory under the system's temporary directory and fast task pacing.
CQNLoginField paperLogin(const std::string &userID, const std::string &front, int idRange);

// A paper broker under `front` with two Shanghai and two Shenzhen securities, a holding of each
// (so sells can trade) and `snapshotsPerSecond` market ticks.
std::shared_ptr<torasim::Broker> createPaperBroker(const std::string &front, double snapshotsPerSecond,
                                                   std::uint64_t seed = 1);
// The codes createPaperBroker lists, with their exchanges.
struct PaperSecurity {
    const char *code;
    const char *exchange;
};
extern const PaperSecurity kPaperSecurities[4];

// loop() on a thread of its own. join() waits until loop has returned (every engine exited).
class LoopThread {
public:
    LoopThread();
    ~LoopThread();  // joins
    LoopThread(const LoopThread &) = delete;
    LoopThread &operator=(const LoopThread &) = delete;
    bool returned() const { return returned_.load(); }
    void join();

private:
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

}  // namespace testing
}  // namespace tc
