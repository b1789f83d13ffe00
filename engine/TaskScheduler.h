// One engine's queue of requests that expect an answer (login, start-up queries, query tasks).
// Exactly one request is on the wire at a time; after each answer the next one waits its gap,
// a failed attempt waits the longer failed gap, an attempt without an answer times out, and a
// task repeats until it has made Count attempts.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "events/Delivery.h"
#include "records/QNRecords.h"

class CBaseTrader;

namespace tc {

// One queued request. The query fields are copied from the caller's CQNQueryCommandField when
// the task is made (all zero without one); the task handlers read them from here.
struct Task {
    int TaskID = 0;
    int SubID = 0;                   // reserved, always 0
    bool RetryUntilSuccess = false;  // failed and timed-out attempts are repeated at the head
    bool Failed = false;             // the last attempt failed (send failure or error answer)
    bool Session = false;            // queued by the session (login, preparation queries)
    int Count = 1;                   // completed attempts after which the task is dropped
    int Done = 0;                    // completed attempts so far
    long long ExecuteGap = 0;        // pause before sending when the last attempt did not fail
    long long FailedGap = 0;         // pause before sending when the last attempt failed
    long long ExecuteTimeout = 0;    // time allowed for the answer
    long long SentAt = -1;           // -1 when no attempt is on the wire
    long long CompletedAt = -1;      // -1 while an attempt is on the wire or none has ended

    TQNExchangeIDType ExchangeID = {};
    TQNStandardIDType StandardID = {};
    TQNBusinessIDType BusinessID = {};
    TQNCombineBusinessFlagType CombineBusinessFlag = {};
    TQNPriceType FloatValue = 0.0;
    TQNVolumeType IntValue = 0;
    TQNTimeType StartTime = {};
    TQNTimeType EndTime = {};
    TQNDateType StartDate = {};
    TQNDateType EndDate = {};
    TQNBankIDType BankID = {};
    TQNPasswordType BankPassword = {};
    TQNPasswordType AccountPassword = {};
    TQNNodeIDType NodeID = {};

    // Copies the query fields of `query`; null leaves them all zero.
    void copyQuery(const CQNQueryCommandField *query);
};

class TaskScheduler {
public:
    // Engine time in microseconds; tests inject their own so nothing has to sleep.
    using Clock = std::function<long long()>;

    explicit TaskScheduler(CBaseTrader *owner, Clock clock = Clock());
    ~TaskScheduler();
    TaskScheduler(const TaskScheduler &) = delete;
    TaskScheduler &operator=(const TaskScheduler &) = delete;

    // Queues a task at the tail. Timings are taken as given (CBaseTrader::addTask normalises
    // them against the login record first). Always 0.
    int add(int taskID, int subID, const CQNQueryCommandField *query, int count, long long executeGap,
            long long failedGap, bool retryUntilSuccess, long long executeTimeout);
    // Queues a task of the session (login, preparation queries) ahead of every task but the
    // session tasks queued before it: when a connection comes back, its login goes out before
    // whatever the strategy queued while it was lost, which follows in the order it was queued.
    // An attempt on the wire ahead of it went out on the lost connection and is given up (it is
    // sent again later, without counting). Always 0.
    int addSessionTask(int taskID, int count, long long executeGap, long long failedGap, bool retryUntilSuccess,
                       long long executeTimeout);
    // One pass of the engine thread: at most one send or one timeout. Never waits for the lock.
    void step();
    // The final answer to the request of `taskID`; ignored unless that task is at the head. True
    // when it completed the head: an answer completes at most one task.
    bool answered(int taskID, bool failed);
    // The same for an answer that two task ids share: it is claimed only by a head whose request
    // is on the wire, never by one still waiting to be sent.
    bool answeredInFlight(int taskID, bool failed);
    // Drops every queued task (front disconnected, or the login refused with 12400).
    void reset();

    // For tests and diagnostics.
    std::size_t size() const;
    std::vector<int> queuedTaskIDs() const;
    long long lastCompletion() const { return lastCompletion_.load(std::memory_order_acquire); }
    void setClock(Clock clock);
    long long now() const;

private:
    void lock() const;
    bool tryLock() const;
    void unlock() const;
    // Takes the head off the queue and re-queues it at the tail or drops it by its count.
    void rotateOrDropHead();
    bool complete(int taskID, bool failed, bool inFlightOnly);

    CBaseTrader *owner_;
    Clock clock_;
    mutable std::atomic<std::uint32_t> lockWord_{0};
    std::deque<std::unique_ptr<Task>> queue_;
    std::atomic<long long> lastCompletion_{-1};
};

// Delivers an event from code that may run inside a scheduler step (runTask and whatever it
// calls). Inside a step the event is held back and delivered, in order, right after the step
// has released the scheduler lock, so a processor may call addTask on the same engine without
// waiting on a lock its own thread holds. Outside a step it is delivered at once. The message is
// copied; the record must outlive the step (engine records do).
void deliverTaskEvent(const EventSink &sink, int eventID, const void *record, bool isLast, int errorID,
                      const char *message);

}  // namespace tc
