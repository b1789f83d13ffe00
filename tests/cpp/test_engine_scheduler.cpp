// The task scheduler driven step by step on a clock the test moves, so nothing sleeps.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "engine/TaskScheduler.h"
#include "engine/Text.h"
#include "events/RecordingBridge.h"
#include "support/EngineDoubles.h"

using tc::testing::FakeEngine;

namespace {

constexpr long long kGap = 1000;
constexpr long long kFailedGap = 5000;
constexpr long long kTimeout = 20000;

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tc::recording::clear();
        engine_ = std::make_unique<FakeEngine>(0, tc::testing::makeLoginCopy("sched"), nullptr, processor_);
        scheduler().setClock([this] { return now_.load(); });
    }

    tc::TaskScheduler &scheduler() { return engine_->scheduler(); }
    void advance(long long micros) { now_ += micros; }
    void add(int taskID, int count, bool retry = false, long long timeout = kTimeout) {
        scheduler().add(taskID, 0, nullptr, count, kGap, kFailedGap, retry, timeout);
    }
    // Steps until something is sent or `limit` steps went by, moving the clock `tick` per step.
    int stepUntilSent(long long tick = kGap, int limit = 100) {
        const int before = engine_->runTaskCalls.load();
        for (int i = 0; i < limit; ++i) {
            scheduler().step();
            if (engine_->runTaskCalls.load() != before) return engine_->sentTaskIDs().back();
            advance(tick);
        }
        return -1;
    }
    // Events delivered to this engine's EventProcessor.
    std::vector<tc::recording::Call> events() const {
        std::vector<tc::recording::Call> out;
        for (const auto &call : tc::recording::snapshot()) {
            if (call.kind == tc::recording::CallKind::EventProcessor && call.processor == processor_) {
                out.push_back(call);
            }
        }
        return out;
    }

    PyObject *processor_ = tc::recording::fakeCallable(3);
    std::atomic<long long> now_{1000000};
    std::unique_ptr<FakeEngine> engine_;
};

TEST_F(SchedulerTest, CountOneTaskGoesAtFirstStepAndTheNextWaitsItsGap) {
    add(100, 1);
    add(200, 1);
    EXPECT_EQ(scheduler().lastCompletion(), -1);
    scheduler().step();
    ASSERT_EQ(engine_->sentTaskIDs(), std::vector<int>({100}));
    EXPECT_EQ(scheduler().lastCompletion(), 0);

    // Nothing more goes out while the request is on the wire.
    advance(kTimeout - 1);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 1);

    scheduler().answered(100, false);
    const long long answeredAt = now_.load();
    EXPECT_EQ(scheduler().lastCompletion(), answeredAt);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({200}));

    advance(kGap - 1);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 1) << "the gap counts from the answer";
    advance(1);
    scheduler().step();
    EXPECT_EQ(engine_->sentTaskIDs(), std::vector<int>({100, 200}));
}

TEST_F(SchedulerTest, RepeatingTasksTakeTurns) {
    add(1, 3);  // A
    add(2, 1);  // B
    std::vector<int> order;
    for (int i = 0; i < 4; ++i) {
        const int id = stepUntilSent();
        ASSERT_NE(id, -1);
        order.push_back(id);
        scheduler().answered(id, false);
    }
    EXPECT_EQ(order, std::vector<int>({1, 2, 1, 1}));
    EXPECT_EQ(scheduler().size(), 0u);
    EXPECT_EQ(stepUntilSent(kGap, 5), -1);
}

TEST_F(SchedulerTest, CountZeroOrBelowMakesOneAttempt) {
    add(1, 0);
    add(2, -4);
    add(3, 0, true);
    for (int id : {1, 2, 3}) {
        ASSERT_EQ(stepUntilSent(), id);
        scheduler().answered(id, false);
    }
    EXPECT_EQ(scheduler().size(), 0u);
}

TEST_F(SchedulerTest, RetryUntilSuccessHoldsTheHeadThroughErrorAnswers) {
    add(1, 1, true);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        scheduler().answered(1, true);
        // Sent again after FailedGap, not before; B waits behind it.
        advance(kFailedGap - 1);
        scheduler().step();
        EXPECT_EQ(engine_->sentTaskIDs().back(), 1);
        EXPECT_EQ(engine_->runTaskCalls.load(), attempt + 1);
        advance(1);
        scheduler().step();
        ASSERT_EQ(engine_->runTaskCalls.load(), attempt + 2);
        EXPECT_EQ(engine_->sentTaskIDs().back(), 1);
        EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({1, 2}));
    }
    scheduler().answered(1, false);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2}));
    EXPECT_EQ(stepUntilSent(), 2);
}

TEST_F(SchedulerTest, RetryUntilSuccessGoesToTheTailAfterSuccessWhileCountRemains) {
    add(1, 5, true);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 1);
    scheduler().answered(1, true);  // done 1, stays at the head
    ASSERT_EQ(stepUntilSent(), 1);
    scheduler().answered(1, false);  // done 2 < 5: to the tail
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2, 1}));
    // The next task's own last attempt did not fail: it waits ExecuteGap only.
    EXPECT_EQ(stepUntilSent(), 2);
}

TEST_F(SchedulerTest, RetryUntilSuccessIsDroppedOnceCountIsReachedBySuccess) {
    add(1, 2, true);
    ASSERT_EQ(stepUntilSent(), 1);
    scheduler().answered(1, true);
    ASSERT_EQ(stepUntilSent(), 1);
    scheduler().answered(1, true);
    ASSERT_EQ(stepUntilSent(), 1);
    scheduler().answered(1, false);  // done 3 >= 2
    EXPECT_EQ(scheduler().size(), 0u);
}

TEST_F(SchedulerTest, TimeoutDeliversOneEventCountsAnAttemptAndRequeues) {
    add(7, 2);
    ASSERT_EQ(stepUntilSent(), 7);
    const long long sentAt = now_.load();
    advance(kTimeout - 1);
    scheduler().step();
    EXPECT_TRUE(events().empty());
    advance(1);
    scheduler().step();

    const auto ev = events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].eventID, 7);
    EXPECT_EQ(ev[0].record, nullptr);
    EXPECT_TRUE(ev[0].isLast);
    EXPECT_EQ(ev[0].errorID, ENUM_ErrorID_ResponseTimeout);
    EXPECT_EQ(ev[0].message, "Error:Response Timeout.");
    EXPECT_EQ(ev[0].userID, "sched");
    EXPECT_EQ(scheduler().lastCompletion(), sentAt + kTimeout);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({7}));

    // Sent once more after its gap, then answered and dropped; no second timeout event.
    ASSERT_EQ(stepUntilSent(), 7);
    EXPECT_EQ(engine_->sentTasks().back().Done, 1);
    scheduler().answered(7, false);
    EXPECT_EQ(scheduler().size(), 0u);
    advance(10 * kTimeout);
    scheduler().step();
    EXPECT_EQ(events().size(), 1u);
}

TEST_F(SchedulerTest, TimeoutWithRetryUntilSuccessKeepsTheHead) {
    add(7, 1, true);
    add(8, 1);
    ASSERT_EQ(stepUntilSent(), 7);
    advance(kTimeout);
    scheduler().step();
    EXPECT_EQ(events().size(), 1u);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({7, 8}));
    // The failed flag is left as it was (not failed): the next try waits ExecuteGap.
    advance(kGap);
    scheduler().step();
    EXPECT_EQ(engine_->sentTaskIDs(), std::vector<int>({7, 7}));
}

TEST_F(SchedulerTest, LateAnswerAfterTimeoutIsIgnoredUnlessTheTaskIsBackAtTheHead) {
    add(1, 1);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 1);
    advance(kTimeout);
    scheduler().step();  // 1 times out and is dropped (done 1 of 1)
    ASSERT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2}));
    const long long last = scheduler().lastCompletion();
    scheduler().answered(1, false);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2}));
    EXPECT_EQ(scheduler().lastCompletion(), last);
}

TEST_F(SchedulerTest, AnswerForATaskNotAtTheHeadChangesNothing) {
    add(1, 1);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 1);
    advance(10);
    scheduler().answered(2, false);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({1, 2}));
    EXPECT_EQ(scheduler().lastCompletion(), 0) << "still on the wire";
    scheduler().answered(1, false);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2}));
}

TEST_F(SchedulerTest, SendFailureRetriesAtTheHeadAfterFailedGap) {
    int failures = 2;
    engine_->onRunTask = [&](tc::Task &) { return failures-- > 0 ? -1 : 0; };
    add(1, 3);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 1);
    const long long failedAt = now_.load();
    EXPECT_EQ(scheduler().lastCompletion(), failedAt);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({1, 2}));
    advance(kFailedGap - 1);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 1);
    advance(1);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 2);
    EXPECT_TRUE(engine_->sentTasks().back().Failed);
    EXPECT_EQ(engine_->sentTasks().back().Done, 1);
    ASSERT_EQ(stepUntilSent(), 1);  // third attempt goes out
    EXPECT_EQ(scheduler().lastCompletion(), 0);
}

TEST_F(SchedulerTest, SendFailureDropsTheTaskOnceCountIsReached) {
    engine_->onRunTask = [](tc::Task &t) { return t.TaskID == 1 ? -3 : 0; };
    add(1, 2);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 1);
    ASSERT_EQ(stepUntilSent(), 1);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2}));
    // The next task has not failed: it waits ExecuteGap from the failure.
    EXPECT_EQ(stepUntilSent(), 2);
}

TEST_F(SchedulerTest, SendFailureWithRetryUntilSuccessNeverDrops) {
    std::atomic<bool> fail{true};
    engine_->onRunTask = [&](tc::Task &) { return fail.load() ? -1 : 0; };
    add(1, 1, true);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(stepUntilSent(kFailedGap), 1);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({1}));
    fail = false;
    ASSERT_EQ(stepUntilSent(kFailedGap), 1);
    scheduler().answered(1, false);
    EXPECT_EQ(scheduler().size(), 0u);
}

TEST_F(SchedulerTest, UnknownTaskIsDroppedAndTheNextGoesWithoutPause) {
    engine_->onRunTask = [](tc::Task &t) { return t.TaskID == 99 ? ENUM_ErrorID_InvalidEventID : 0; };
    add(99, 5, true);
    add(2, 1);
    ASSERT_EQ(stepUntilSent(), 99);
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({2}));
    EXPECT_EQ(scheduler().lastCompletion(), -1);
    scheduler().step();  // same instant
    EXPECT_EQ(engine_->sentTaskIDs(), std::vector<int>({99, 2}));
}

TEST_F(SchedulerTest, ResetDropsEverythingAndTheNextTaskWaitsFromTheReset) {
    add(1, 3);
    add(2, 3, true);
    ASSERT_EQ(stepUntilSent(), 1);
    advance(10);
    scheduler().reset();
    EXPECT_EQ(scheduler().size(), 0u);
    EXPECT_EQ(scheduler().lastCompletion(), now_.load());
    scheduler().answered(1, false);  // the old answer finds nothing
    EXPECT_EQ(scheduler().size(), 0u);

    add(3, 1);
    advance(kGap - 1);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 1);
    advance(1);
    scheduler().step();
    EXPECT_EQ(engine_->sentTaskIDs(), std::vector<int>({1, 3}));
}

TEST_F(SchedulerTest, SessionTasksGoAheadOfTheRestAndAnAttemptOnTheWireIsGivenUp) {
    add(7, 2);
    add(8, 1);
    ASSERT_EQ(stepUntilSent(), 7);  // on the wire when the connection comes back
    scheduler().addSessionTask(101, 1, kGap, kFailedGap, true, kTimeout);
    scheduler().addSessionTask(102, 1, kGap, kFailedGap, true, kTimeout);
    EXPECT_EQ(scheduler().queuedTaskIDs(), (std::vector<int>{101, 102, 7, 8}));
    // The given-up attempt neither holds the queue nor counts: 7 goes again, twice.
    for (int expected : {101, 102, 7, 8, 7}) {
        ASSERT_EQ(stepUntilSent(), expected);
        scheduler().answered(expected, false);
    }
    EXPECT_EQ(scheduler().size(), 0u);
    EXPECT_TRUE(events().empty());
}

TEST_F(SchedulerTest, AddCopiesTheQueryFields) {
    CQNQueryCommandField query;
    tc::copyText(query.TradingDay, "20240102");
    tc::copyText(query.ExchangeID, "1");
    tc::copyText(query.StandardID, "600000");
    tc::copyText(query.BusinessID, "B1");
    tc::copyText(query.CombineBusinessFlag, "ab");
    query.FloatValue = 1.5;
    query.IntValue = 42;
    tc::copyText(query.StartTime, "09:30:00");
    tc::copyText(query.EndTime, "15:00:00");
    tc::copyText(query.StartDate, "20240101");
    tc::copyText(query.EndDate, "20240131");
    tc::copyText(query.BankID, "001");
    tc::copyText(query.BankPassword, "bp");
    tc::copyText(query.AccountPassword, "ap");
    tc::copyText(query.NodeID, "node");
    scheduler().add(5, 0, &query, 1, kGap, kFailedGap, false, kTimeout);
    query.IntValue = 0;  // the task keeps its own copy
    scheduler().add(6, 0, nullptr, 1, kGap, kFailedGap, false, kTimeout);
    ASSERT_EQ(stepUntilSent(), 5);
    scheduler().answered(5, false);
    ASSERT_EQ(stepUntilSent(), 6);

    const auto tasks = engine_->sentTasks();
    const tc::Task &t = tasks[0];
    EXPECT_STREQ(t.ExchangeID, "1");
    EXPECT_STREQ(t.StandardID, "600000");
    EXPECT_STREQ(t.BusinessID, "B1");
    EXPECT_STREQ(t.CombineBusinessFlag, "ab");
    EXPECT_EQ(t.FloatValue, 1.5);
    EXPECT_EQ(t.IntValue, 42);
    EXPECT_STREQ(t.StartTime, "09:30:00");
    EXPECT_STREQ(t.EndTime, "15:00:00");
    EXPECT_STREQ(t.StartDate, "20240101");
    EXPECT_STREQ(t.EndDate, "20240131");
    EXPECT_STREQ(t.BankID, "001");
    EXPECT_STREQ(t.BankPassword, "bp");
    EXPECT_STREQ(t.AccountPassword, "ap");
    EXPECT_STREQ(t.NodeID, "node");
    EXPECT_EQ(t.SubID, 0);
    EXPECT_EQ(t.Count, 1);
    EXPECT_EQ(t.Done, 0);

    const tc::Task &empty = tasks[1];
    EXPECT_STREQ(empty.StandardID, "");
    EXPECT_STREQ(empty.AccountPassword, "");
    EXPECT_EQ(empty.IntValue, 0);
    EXPECT_EQ(empty.FloatValue, 0.0);
}

TEST_F(SchedulerTest, EngineAddTaskNormalisesTimingAgainstTheLoginCopy) {
    // Login defaults: TaskExecuteGap 1000000, TaskFailedGap 10000000, TaskExecuteTimeout floor 10000000.
    engine_->addTask(1, nullptr, 1, -1, -1, false, 1);
    engine_->addTask(2, nullptr, 1, 5, 6, true, 20000000);
    engine_->addTask(3, nullptr, 1, 0, 0, false, -1);
    for (int id : {1, 2, 3}) {
        ASSERT_EQ(stepUntilSent(100000, 1000), id);
        scheduler().answered(id, false);
    }
    const auto tasks = engine_->sentTasks();
    EXPECT_EQ(tasks[0].ExecuteGap, 1000000);
    EXPECT_EQ(tasks[0].FailedGap, 10000000);
    EXPECT_EQ(tasks[0].ExecuteTimeout, 10000000);
    EXPECT_EQ(tasks[0].SubID, 0);
    EXPECT_EQ(tasks[1].ExecuteGap, 5);
    EXPECT_EQ(tasks[1].FailedGap, 6);
    EXPECT_TRUE(tasks[1].RetryUntilSuccess);
    EXPECT_EQ(tasks[1].ExecuteTimeout, 20000000);
    EXPECT_EQ(tasks[2].ExecuteGap, 0);
    EXPECT_EQ(tasks[2].FailedGap, 0);
    EXPECT_EQ(tasks[2].ExecuteTimeout, 10000000);
}

TEST_F(SchedulerTest, LoginDefaultsGiveOneSecondGapAndTenSecondTimeout) {
    engine_->addTask(1, nullptr, 2, -1, -1, false, 1);
    scheduler().step();
    ASSERT_EQ(engine_->runTaskCalls.load(), 1);
    advance(9999999);
    scheduler().step();
    EXPECT_TRUE(events().empty());
    advance(1);
    scheduler().step();
    EXPECT_EQ(events().size(), 1u);
    advance(999999);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 1);
    advance(1);
    scheduler().step();
    EXPECT_EQ(engine_->runTaskCalls.load(), 2);
}

// A processor that queues a task on the same engine while handling an event raised inside a
// step must not wait on the scheduler lock its own thread would hold.
TEST_F(SchedulerTest, EventsOfAStepReachTheProcessorAfterTheLockIsReleased) {
    engine_->onRunTask = [this](tc::Task &t) {
        tc::deliverTaskEvent(engine_->sink(), t.TaskID, nullptr, true, -11, "first");
        tc::deliverTaskEvent(engine_->sink(), t.TaskID, nullptr, true, -12, "second");
        return ENUM_ErrorID_InvalidEventID;
    };
    std::vector<int> seen;
    tc::recording::setCallHook([&](const tc::recording::Call &call) {
        if (call.kind != tc::recording::CallKind::EventProcessor || call.processor != processor_) return;
        seen.push_back(call.errorID);
        // Both take the scheduler lock; they would spin for ever if the step still held it.
        engine_->addTask(500 + static_cast<int>(seen.size()), nullptr, 1, 0, 0, false, -1);
        (void)scheduler().size();
    });
    add(1, 1);
    scheduler().step();
    add(2, 1, false, 1);
    tc::recording::setCallHook(nullptr);
    EXPECT_EQ(seen, std::vector<int>({-11, -12}));
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({501, 502, 2}));

    // The timeout event likewise.
    engine_->onRunTask = nullptr;
    seen.clear();
    tc::recording::setCallHook([&](const tc::recording::Call &call) {
        if (call.kind != tc::recording::CallKind::EventProcessor || call.processor != processor_) return;
        seen.push_back(call.errorID);
        engine_->addTask(600, nullptr, 1, 0, 0, false, -1);
    });
    scheduler().step();  // 501 goes out
    advance(10000000);
    scheduler().step();  // and times out
    tc::recording::setCallHook(nullptr);
    EXPECT_EQ(seen, std::vector<int>({ENUM_ErrorID_ResponseTimeout}));
    EXPECT_EQ(scheduler().queuedTaskIDs(), std::vector<int>({502, 2, 600}));
}

TEST_F(SchedulerTest, TaskEventsOutsideAStepGoOutAtOnce) {
    tc::deliverTaskEvent(engine_->sink(), 42, nullptr, false, -5, nullptr);
    const auto ev = events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].eventID, 42);
    EXPECT_FALSE(ev[0].isLast);
    EXPECT_EQ(ev[0].message, "");
}

// The engine thread and the callback threads meet only through the lock; run them against each
// other on the real clock so the thread sanitizer sees every access.
TEST(SchedulerThreads, AnswersFromAnotherThreadInterleaveWithSteps) {
    FakeEngine engine("threads");
    std::atomic<int> inFlight{-1};
    engine.onRunTask = [&](tc::Task &t) {
        inFlight = t.TaskID;
        return 0;
    };
    constexpr int kTasks = 200;
    for (int i = 0; i < kTasks; ++i) engine.scheduler().add(i, 0, nullptr, 1, 0, 0, false, 1000000000LL);
    std::atomic<bool> stop{false};
    std::thread answerer([&] {
        while (!stop) {
            const int id = inFlight.exchange(-1);
            if (id >= 0) engine.scheduler().answered(id, false);
        }
    });
    while (engine.scheduler().size() > 0) engine.scheduler().step();
    stop = true;
    answerer.join();
    std::vector<int> expected;
    for (int i = 0; i < kTasks; ++i) expected.push_back(i);
    EXPECT_EQ(engine.sentTaskIDs(), expected);
}

}  // namespace
