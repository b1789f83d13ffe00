#include "engine/TaskScheduler.h"

#include <utility>

#include "engine/CBaseTrader.h"
#include "engine/Text.h"
#include "engine/Time.h"

namespace tc {

void Task::copyQuery(const CQNQueryCommandField *query) {
    if (!query) return;
    copyField(ExchangeID, query->ExchangeID);
    copyField(StandardID, query->StandardID);
    copyField(BusinessID, query->BusinessID);
    copyField(CombineBusinessFlag, query->CombineBusinessFlag);
    FloatValue = query->FloatValue;
    IntValue = query->IntValue;
    copyField(StartTime, query->StartTime);
    copyField(EndTime, query->EndTime);
    copyField(StartDate, query->StartDate);
    copyField(EndDate, query->EndDate);
    copyField(BankID, query->BankID);
    copyField(BankPassword, query->BankPassword);
    copyField(AccountPassword, query->AccountPassword);
    copyField(NodeID, query->NodeID);
}

// --- events held back while a step holds the scheduler lock --------------------------------------

namespace {

struct HeldEvent {
    const EventSink *sink;
    int eventID;
    const void *record;
    bool isLast;
    int errorID;
    std::string message;
};

// Non-null while this thread is inside a step; events raised meanwhile are queued here.
thread_local std::vector<HeldEvent> *tlsHeldEvents = nullptr;

void deliverHeld(std::vector<HeldEvent> &held) {
    for (const HeldEvent &e : held) {
        deliverEvent(*e.sink, e.eventID, e.record, e.isLast, e.errorID, e.message.c_str());
    }
    held.clear();
}

}  // namespace

void deliverTaskEvent(const EventSink &sink, int eventID, const void *record, bool isLast, int errorID,
                      const char *message) {
    if (!message) message = "";
    if (tlsHeldEvents) {
        tlsHeldEvents->push_back(HeldEvent{&sink, eventID, record, isLast, errorID, message});
        return;
    }
    deliverEvent(sink, eventID, record, isLast, errorID, message);
}

// --- scheduler -------------------------------------------------------------------------------

TaskScheduler::TaskScheduler(CBaseTrader *owner, Clock clock) : owner_(owner), clock_(std::move(clock)) {}

TaskScheduler::~TaskScheduler() = default;

void TaskScheduler::setClock(Clock clock) { clock_ = std::move(clock); }

long long TaskScheduler::now() const { return clock_ ? clock_() : nowMicros(); }

void TaskScheduler::lock() const {
    while (lockWord_.fetch_or(1u, std::memory_order_acquire) & 1u) {
    }
}

bool TaskScheduler::tryLock() const { return (lockWord_.fetch_or(1u, std::memory_order_acquire) & 1u) == 0; }

void TaskScheduler::unlock() const { lockWord_.store(0, std::memory_order_release); }

namespace {

std::unique_ptr<Task> makeTask(int taskID, int subID, const CQNQueryCommandField *query, int count,
                               long long executeGap, long long failedGap, bool retryUntilSuccess,
                               long long executeTimeout) {
    auto task = std::make_unique<Task>();
    task->TaskID = taskID;
    task->SubID = subID;
    task->RetryUntilSuccess = retryUntilSuccess;
    task->Count = count;
    task->ExecuteGap = executeGap;
    task->FailedGap = failedGap;
    task->ExecuteTimeout = executeTimeout;
    task->copyQuery(query);
    return task;
}

}  // namespace

int TaskScheduler::add(int taskID, int subID, const CQNQueryCommandField *query, int count, long long executeGap,
                       long long failedGap, bool retryUntilSuccess, long long executeTimeout) {
    std::unique_ptr<Task> task =
        makeTask(taskID, subID, query, count, executeGap, failedGap, retryUntilSuccess, executeTimeout);
    lock();
    queue_.push_back(std::move(task));
    unlock();
    return 0;
}

int TaskScheduler::addSessionTask(int taskID, int count, long long executeGap, long long failedGap,
                                  bool retryUntilSuccess, long long executeTimeout) {
    std::unique_ptr<Task> task =
        makeTask(taskID, 0, nullptr, count, executeGap, failedGap, retryUntilSuccess, executeTimeout);
    task->Session = true;
    lock();
    auto at = queue_.begin();
    while (at != queue_.end() && (*at)->Session) ++at;
    if (at == queue_.begin() && at != queue_.end() && (*at)->SentAt >= 0 && (*at)->CompletedAt < 0) {
        (*at)->SentAt = -1;
        long long onTheWire = 0;
        lastCompletion_.compare_exchange_strong(onTheWire, now(), std::memory_order_acq_rel);
    }
    queue_.insert(at, std::move(task));
    unlock();
    return 0;
}

void TaskScheduler::rotateOrDropHead() {
    std::unique_ptr<Task> head = std::move(queue_.front());
    queue_.pop_front();
    if (head->Done < head->Count) queue_.push_back(std::move(head));
}

void TaskScheduler::step() {
    if (!tryLock()) return;
    if (queue_.empty()) {
        unlock();
        return;
    }
    // Events raised below (the timeout, or whatever runTask reports) go out once the lock is
    // released, so a processor may queue tasks on this very engine.
    std::vector<HeldEvent> held;
    std::vector<HeldEvent> *outer = tlsHeldEvents;
    tlsHeldEvents = &held;

    Task &t = *queue_.front();
    const long long now = this->now();
    if (t.SentAt > 0 && t.CompletedAt < 0 && now - t.SentAt >= t.ExecuteTimeout) {
        deliverTaskEvent(owner_->sink(), t.TaskID, nullptr, true, ENUM_ErrorID_ResponseTimeout,
                         ENUM_ErrorMsg_ResponseTimeout);
        t.CompletedAt = now;
        lastCompletion_.store(now, std::memory_order_release);
        t.SentAt = -1;
        ++t.Done;
        if (!t.RetryUntilSuccess) rotateOrDropHead();
    } else {
        const long long last = lastCompletion_.load(std::memory_order_acquire);
        const long long pause = t.Failed ? t.FailedGap : t.ExecuteGap;
        const bool onTheWire = last == 0;
        const bool waiting = last > 0 && now - last < pause;
        if (!onTheWire && !waiting) {
            const int result = owner_->runTask(&t);
            if (result == ENUM_ErrorID_InvalidEventID) {
                queue_.pop_front();
                lastCompletion_.store(-1, std::memory_order_release);
            } else {
                t.SentAt = now;
                if (result == 0) {
                    lastCompletion_.store(0, std::memory_order_release);
                    t.CompletedAt = -1;
                } else {
                    t.Failed = true;
                    lastCompletion_.store(t.SentAt, std::memory_order_release);
                    t.CompletedAt = t.SentAt;
                    ++t.Done;
                    if (!t.RetryUntilSuccess && t.Done >= t.Count) queue_.pop_front();
                }
            }
        }
    }
    unlock();
    tlsHeldEvents = outer;
    deliverHeld(held);
}

bool TaskScheduler::answered(int taskID, bool failed) { return complete(taskID, failed, false); }

bool TaskScheduler::answeredInFlight(int taskID, bool failed) { return complete(taskID, failed, true); }

bool TaskScheduler::complete(int taskID, bool failed, bool inFlightOnly) {
    bool completed = false;
    lock();
    if (!queue_.empty() && queue_.front()->TaskID == taskID &&
        (!inFlightOnly || (queue_.front()->SentAt >= 0 && queue_.front()->CompletedAt < 0))) {
        completed = true;
        Task &t = *queue_.front();
        const long long now = this->now();
        t.Failed = failed;
        t.CompletedAt = now;
        lastCompletion_.store(now, std::memory_order_release);
        t.SentAt = -1;
        ++t.Done;
        if (!failed || !t.RetryUntilSuccess) rotateOrDropHead();
    }
    unlock();
    return completed;
}

void TaskScheduler::reset() {
    lastCompletion_.store(now(), std::memory_order_release);
    lock();
    std::deque<std::unique_ptr<Task>> dropped;
    dropped.swap(queue_);
    unlock();
}

std::size_t TaskScheduler::size() const {
    lock();
    const std::size_t n = queue_.size();
    unlock();
    return n;
}

std::vector<int> TaskScheduler::queuedTaskIDs() const {
    std::vector<int> ids;
    lock();
    for (const auto &t : queue_) ids.push_back(t->TaskID);
    unlock();
    return ids;
}

}  // namespace tc
