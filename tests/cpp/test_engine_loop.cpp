// loop: one thread per registered engine driven by its status, the market-data supervisor, exitX,
// and the close at interpreter exit. Engines registered here live for the rest of the process, as registered engines do;
// every case ends with every registered engine told to exit.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/PackageHooks.h"
#include "engine/Registry.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "support/EngineDoubles.h"

using tc::testing::FakeEngine;
using tc::testing::FakeMd;

namespace {

// A registered engine whose queue holds one task that fails to send at every attempt and is
// retried at once, so every scheduler step shows up as one runTask call.
FakeEngine *registeredEngine(const std::string &name, char status, long long loopGap = 0,
                             PyObject *loopProcessor = nullptr) {
    auto *engine = new FakeEngine(0, tc::testing::makeLoginCopy(name.c_str(), loopGap), nullptr, nullptr,
                                  loopProcessor);
    engine->onRunTask = [](tc::Task &) { return -1; };
    engine->scheduler().add(1, 0, nullptr, 1, 0, 0, true, 1000000000LL);
    engine->setApiStatus(status);
    EXPECT_EQ(tc::registerEngine("loop." + name, engine), engine);
    return engine;
}

template <class Pred>
void waitUntil(Pred pred) {
    while (!pred()) std::this_thread::yield();
}

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        tc::recording::clear();
        // Engines that earlier cases left registered must not keep this case's loop running.
        exitX(nullptr);
    }
    void TearDown() override {
        exitX(nullptr);
        if (loop_.joinable()) loop_.join();
    }
    void startLoop() {
        loop_ = std::thread([this] {
            loop();
            returned_ = true;
        });
    }
    std::thread loop_;
    std::atomic<bool> returned_{false};
};

TEST_F(LoopTest, ExitOfOneEngineEndsOnlyItsThread) {
    FakeEngine *a = registeredEngine("exit-one-a", ENUM_ApiStatus_Working);
    FakeEngine *b = registeredEngine("exit-one-b", ENUM_ApiStatus_Working);
    startLoop();
    waitUntil([&] { return a->runTaskCalls.load() > 0 && b->runTaskCalls.load() > 0; });

    exitX(a);
    const int aAtExit = a->runTaskCalls.load();
    const int bAtExit = b->runTaskCalls.load();
    waitUntil([&] { return b->runTaskCalls.load() > bAtExit + 200; });
    // At most the pass that was under way when the status changed.
    EXPECT_LE(a->runTaskCalls.load(), aAtExit + 1);
    EXPECT_FALSE(returned_.load()) << "b is still running";

    exitX(b);
    loop_.join();
    EXPECT_TRUE(returned_.load());
}

TEST_F(LoopTest, ExitWithNullEndsEveryEngineAndLoopReturns) {
    FakeEngine *a = registeredEngine("exit-all-a", ENUM_ApiStatus_Working);
    FakeEngine *b = registeredEngine("exit-all-b", ENUM_ApiStatus_Disconnected, -1);
    startLoop();
    waitUntil([&] { return a->runTaskCalls.load() > 0; });
    exitX(nullptr);
    loop_.join();
    EXPECT_TRUE(returned_.load());
    EXPECT_EQ(b->runTaskCalls.load(), 0) << "a disconnected engine only waits";
}

TEST_F(LoopTest, OnlyInitializingAndWorkingEnginesStepAndOnlyWorkingOnesCallTheLoopProcessor) {
    PyObject *workingLoop = tc::recording::fakeCallable(10);
    PyObject *initializingLoop = tc::recording::fakeCallable(11);
    PyObject *idleLoop = tc::recording::fakeCallable(12);
    FakeEngine *working = registeredEngine("status-3", ENUM_ApiStatus_Working, 0, workingLoop);
    FakeEngine *initializing = registeredEngine("status-2", ENUM_ApiStatus_Initializing, 0, initializingLoop);
    FakeEngine *idle = registeredEngine("status-0", ENUM_ApiStatus_Null, 0, idleLoop);
    FakeEngine *failed = registeredEngine("status-1", ENUM_ApiStatus_Failed, 0);
    startLoop();

    auto noArgCalls = [](PyObject *processor) {
        int n = 0;
        for (const auto &call : tc::recording::snapshot()) {
            n += call.kind == tc::recording::CallKind::NoArgs && call.processor == processor;
        }
        return n;
    };
    // The initializing engine steps every 100 ms whatever its LoopGap.
    waitUntil([&] { return initializing->runTaskCalls.load() >= 3; });
    waitUntil([&] { return noArgCalls(workingLoop) >= 3; });
    EXPECT_GT(working->runTaskCalls.load(), 0);
    EXPECT_EQ(noArgCalls(initializingLoop), 0);
    EXPECT_EQ(noArgCalls(idleLoop), 0);
    EXPECT_EQ(idle->runTaskCalls.load(), 0);
    EXPECT_EQ(failed->runTaskCalls.load(), 0);

    // An idle engine starts stepping once it works.
    idle->setApiStatus(ENUM_ApiStatus_Working);
    waitUntil([&] { return idle->runTaskCalls.load() > 0 && noArgCalls(idleLoop) > 0; });
}

TEST_F(LoopTest, SupervisorLogsMarketDataInOnceTheTraderWorks) {
    FakeEngine *working = registeredEngine("md-3", ENUM_ApiStatus_Working, -1);
    FakeEngine *initializing = registeredEngine("md-2", ENUM_ApiStatus_Initializing, -1);
    FakeEngine *ready = registeredEngine("md-ready", ENUM_ApiStatus_Working, -1);
    auto *mdWaiting = new FakeMd("md-3");
    auto *mdOfInitializing = new FakeMd("md-2");
    auto *mdReady = new FakeMd("md-ready");
    mdWaiting->setApiStatus(ENUM_ApiStatus_Initializing);
    mdOfInitializing->setApiStatus(ENUM_ApiStatus_Initializing);
    mdReady->setApiStatus(ENUM_ApiStatus_Working);
    working->attachMd(mdWaiting);
    initializing->attachMd(mdOfInitializing);
    ready->attachMd(mdReady);
    startLoop();

    // Repeated about once a second while the market-data side stays initializing.
    waitUntil([&] { return mdWaiting->loginRequests.load() >= 2; });
    EXPECT_EQ(mdOfInitializing->loginRequests.load(), 0);
    EXPECT_EQ(mdReady->loginRequests.load(), 0);

    // Once the trader side works, its market data is logged in too.
    initializing->setApiStatus(ENUM_ApiStatus_Working);
    waitUntil([&] { return mdOfInitializing->loginRequests.load() >= 1; });
}

TEST_F(LoopTest, LoopMayRunAgainAfterItReturned) {
    FakeEngine *engine = registeredEngine("again", ENUM_ApiStatus_Working);
    startLoop();
    waitUntil([&] { return engine->runTaskCalls.load() > 0; });
    exitX(nullptr);
    loop_.join();

    // Every engine has exited: the second loop ends at once.
    returned_ = false;
    startLoop();
    loop_.join();
    EXPECT_TRUE(returned_.load());

    // An engine registered since runs under a third loop; exit is final for the first.
    engine->setApiStatus(ENUM_ApiStatus_Working);
    EXPECT_EQ(engine->apiStatus(), ENUM_ApiStatus_Exit);
    FakeEngine *later = registeredEngine("again-later", ENUM_ApiStatus_Working);
    returned_ = false;
    startLoop();
    waitUntil([&] { return later->runTaskCalls.load() > 0; });
    exitX(nullptr);
    loop_.join();
    EXPECT_TRUE(returned_.load());
}

TEST_F(LoopTest, ASecondLoopWhileOneRunsReturnsAtOnce) {
    FakeEngine *engine = registeredEngine("nested", ENUM_ApiStatus_Working);
    startLoop();
    waitUntil([&] { return engine->runTaskCalls.load() > 0; });
    loop();  // returns without starting anything
    EXPECT_FALSE(returned_.load());
    exitX(nullptr);
    loop_.join();
}

}  // namespace

namespace {

TEST_F(LoopTest, EnginesRegisteredOrResumedWhileTheLoopRunsGetAThread) {
    FakeEngine *first = registeredEngine("adopt-first", ENUM_ApiStatus_Working);
    startLoop();
    waitUntil([&] { return first->runTaskCalls.load() > 0; });

    // A second account started from another thread while the loop runs.
    FakeEngine *second = registeredEngine("adopt-second", ENUM_ApiStatus_Working);
    waitUntil([&] { return second->runTaskCalls.load() > 0; });

    // An engine told to exit keeps its session's status underneath; resumed, it runs again.
    exitX(second);
    second->setApiStatus(ENUM_ApiStatus_Disconnected);
    second->setApiStatus(ENUM_ApiStatus_Working);
    EXPECT_EQ(second->apiStatus(), ENUM_ApiStatus_Exit);
    EXPECT_EQ(second->sessionStatus(), ENUM_ApiStatus_Working);
    waitUntil([&] { return first->runTaskCalls.load() > second->runTaskCalls.load() + 100; });
    const int stopped = second->runTaskCalls.load();
    EXPECT_EQ(second->resume(), ENUM_ApiStatus_Working);
    waitUntil([&] { return second->runTaskCalls.load() > stopped + 1; });
    EXPECT_FALSE(returned_.load());

    exitX(nullptr);
    loop_.join();
    EXPECT_EQ(first->resume(), ENUM_ApiStatus_Working);
    exitX(first);
}

TEST_F(LoopTest, ExitEndsAnEngineInTheMiddleOfALongPause) {
    // An hour between passes: the engine thread must not sleep through its exit.
    FakeEngine *engine = registeredEngine("long-gap", ENUM_ApiStatus_Working, 3600LL * 1000000);
    startLoop();
    waitUntil([&] { return engine->runTaskCalls.load() > 0; });
    exitX(nullptr);
    loop_.join();
    EXPECT_TRUE(returned_.load());
}

// The close at interpreter exit waits for the loop processor under way (its thread still holds
// a thread state to hand back) and then lets no call through, from any thread; a processor that
// never returns costs the grace and no more.
TEST_F(LoopTest, CloseForExitWaitsForTheCallUnderWayThenLetsNoCallThrough) {
    for (const bool stuck : {false, true}) {
        SCOPED_TRACE(stuck ? "stuck processor" : "processor returns");
        tc::recording::clear();
        std::atomic<bool> inside{false}, release{false}, closed{false}, closedWhileInside{false};
        tc::recording::setCallHook([&](const tc::recording::Call &call) {
            if (call.kind != tc::recording::CallKind::NoArgs || inside.exchange(true)) return;
            waitUntil([&] { return release.load() || (stuck && closed.load()); });
            closedWhileInside = closed.load();
        });
        FakeEngine *engine = registeredEngine(stuck ? "close-stuck" : "close", ENUM_ApiStatus_Working, 0,
                                              tc::recording::fakeCallable(1));
        startLoop();
        waitUntil([&] { return inside.load(); });
        std::thread closer([&] {
            EXPECT_EQ(tc::hooks::closeForExit(stuck ? 50000 : 60000000), !stuck);
            closed = true;
        });
        waitUntil([&] { return engine->apiStatus() == ENUM_ApiStatus_Exit; });  // the close has begun
        if (!stuck) release = true;
        closer.join();
        loop_.join();
        tc::recording::setCallHook(nullptr);
        EXPECT_EQ(closedWhileInside.load(), stuck);

        const std::size_t calls = tc::recording::callCount();
        std::thread late([] {
            tc::py::callNoArgs(tc::recording::fakeCallable(2));
            tc::py::callOrderProcessor(tc::recording::fakeCallable(2), ENUM_OrderEventID_Accepted, nullptr);
            tc::py::callEventProcessor(tc::recording::fakeCallable(2), ENUM_EventID_MdReady, nullptr, true, 0, "", "");
            tc::py::emitText("late");
        });
        late.join();
        tc::py::callNoArgs(tc::recording::fakeCallable(2));
        EXPECT_EQ(tc::recording::callCount(), calls) << "a call passed the closed gate";
    }
}

}  // namespace
