#include "engine/CBaseTrader.h"

#include <climits>

#include "engine/TaskScheduler.h"
#include "marketdata/CBaseMd.h"

namespace {

int rangeEnd(int runID16, int idRange) {
    const long long end = static_cast<long long>(runID16) + idRange;
    if (end > INT_MAX) return INT_MAX;
    if (end < INT_MIN) return INT_MIN;
    return static_cast<int>(end);
}

}  // namespace

CBaseTrader::CBaseTrader(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor,
                         PyObject *eventProcessor, PyObject *loopProcessor)
    : login_(loginCopy),
      runID_(runID16),
      idRangeEnd_(rangeEnd(runID16, loginCopy->IDRange)),
      nextID_(runID16),
      scheduler_(std::make_unique<tc::TaskScheduler>(this)) {
    sink_.orderEventProcessor = orderEventProcessor;
    sink_.eventProcessor = eventProcessor;
    sink_.loopProcessor = loopProcessor;
    sink_.fallbackEventHandler = &tc::printEvent;
    sink_.userID = login_->UserID;
    tc::retainProcessors(sink_);
}

CBaseTrader::~CBaseTrader() {
    // The scheduler refers to this engine; it goes first.
    scheduler_.reset();
    delete login_;
}

tc::RecordBlock<CQNTransferAssetField> *CBaseTrader::transferPosition(int, char, int, const char *, const char *,
                                                                      const char *, const char *) {
    return nullptr;
}

void CBaseTrader::takeNewPassword(const char *password) {
    password_.store(*login_, password);
    if (CBaseMd *side = md()) side->takeNewPassword(password);
}

int CBaseTrader::cancelOrderByOrderID(int) { return -1; }

void CBaseTrader::setApiStatus(char status) {
    std::lock_guard<std::mutex> guard(statusLock_);
    if (status != ENUM_ApiStatus_Exit) sessionStatus_ = status;
    if (status == ENUM_ApiStatus_Exit || apiStatus_.load(std::memory_order_relaxed) != ENUM_ApiStatus_Exit) {
        apiStatus_.store(status, std::memory_order_release);
    }
}

char CBaseTrader::sessionStatus() const {
    std::lock_guard<std::mutex> guard(statusLock_);
    return sessionStatus_;
}

char CBaseTrader::resume() {
    std::lock_guard<std::mutex> guard(statusLock_);
    if (apiStatus_.load(std::memory_order_relaxed) == ENUM_ApiStatus_Exit) {
        apiStatus_.store(sessionStatus_, std::memory_order_release);
    }
    return apiStatus_.load(std::memory_order_relaxed);
}

int CBaseTrader::cancelOrderByStandardID(const char *, const char *) { return 0; }

int CBaseTrader::addTask(int taskID, const CQNQueryCommandField *query, int count, long long executeGap,
                         long long failedGap, bool retryUntilSuccess, long long executeTimeout) {
    if (executeGap < 0) executeGap = login_->TaskExecuteGap;
    if (failedGap < 0) failedGap = login_->TaskFailedGap;
    if (executeTimeout < login_->TaskExecuteTimeout) executeTimeout = login_->TaskExecuteTimeout;
    return scheduler_->add(taskID, 0, query, count, executeGap, failedGap, retryUntilSuccess, executeTimeout);
}
