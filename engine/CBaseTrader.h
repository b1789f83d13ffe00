// The engine of one account. The exported account operations reach it through the virtual
// operations below, in this slot order; the stock adapter (trader/CTORAStockTrader) overrides them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/LoginPassword.h"
#include "engine/RecordBlock.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "records/QNRecords.h"

class CBaseMd;
namespace tc {
struct Task;
class TaskScheduler;
struct SecurityEntry;
class OrderGate;
}  // namespace tc

class CBaseTrader {
public:
    // RunID16 is the low 16 bits of the caller's RunID read as signed. The login copy is owned
    // from here on and freed with the engine.
    CBaseTrader(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor,
                PyObject *eventProcessor, PyObject *loopProcessor);
    CBaseTrader(const CBaseTrader &) = delete;
    CBaseTrader &operator=(const CBaseTrader &) = delete;

    // slot 0
    virtual ~CBaseTrader();
    // slot 1
    virtual tc::RecordBlock<CQNOrderField> *insertOrder(const char *exchangeID, const char *standardID,
                                                        char direction, char offsetFlag, int volume,
                                                        const char *combineOrderType, double price,
                                                        short orderMark, char creditQuotaType,
                                                        const char *creditDebtID) = 0;
    // slot 2
    virtual int sendOrder(tc::RecordBlock<CQNOrderField> *order) = 0;
    // slot 3
    virtual int cancelOrder(const char *exchangeID, const char *standardID, const char *orderSysID,
                            int orderID, int frontID, int sessionID) = 0;
    // slot 4
    virtual tc::RecordBlock<CQNOrderField> *buyOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                                    const char *standardID, int volume, char orderType,
                                                    double price, int orderMark, char direction) = 0;
    // slot 5
    virtual tc::RecordBlock<CQNOrderField> *sellClose(const tc::SecurityEntry *security, const char *exchangeID,
                                                      const char *standardID, int volume, char orderType,
                                                      double price, int orderMark, char direction,
                                                      char offsetFlag, const char *extraText) = 0;
    // slot 6
    virtual tc::RecordBlock<CQNOrderField> *sellOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                                     const char *standardID, int volume, char orderType,
                                                     double price, int orderMark, char direction,
                                                     char offsetFlag) = 0;
    // slot 7
    virtual tc::RecordBlock<CQNOrderField> *buyClose(const tc::SecurityEntry *security, const char *exchangeID,
                                                     const char *standardID, int volume, char orderType,
                                                     double price, int orderMark, char direction,
                                                     char offsetFlag, const char *extraText) = 0;
    // slot 8
    virtual tc::RecordBlock<CQNTransferAssetField> *transferCash(int transferID, char transferFlag, double amount,
                                                                 const char *text1, const char *text2,
                                                                 const char *text3, const char *text4,
                                                                 const char *text5) = 0;
    // slot 9
    virtual tc::RecordBlock<CQNTransferAssetField> *transferPosition(int transferID, char transferFlag, int volume,
                                                                     const char *text1, const char *text2,
                                                                     const char *text3, const char *text4);
    // slot 10
    virtual int updatePassword(char passwordFlag, const char *text1, const char *text2, int reserved) = 0;
    // slot 11: sends one scheduled task's request
    virtual int runTask(tc::Task *task) = 0;
    // After the slots: the cancels that pick orders from the adapter's active-order index and
    // end in cancelOrder. An engine without orders has nothing active: -1 and 0.
    virtual int cancelOrderByOrderID(int orderID);
    virtual int cancelOrderByStandardID(const char *exchangeID, const char *standardID);

    // --- shared engine state -------------------------------------------------------------
    char apiStatus() const { return apiStatus_.load(std::memory_order_acquire); }
    // Exit holds until the engine is resumed: once exitX has told the engine to stop, session
    // callbacks (a reconnection, a late login answer) no longer move its status, so a loop waiting
    // for every engine ends. They still move the session's own status, which resume() restores.
    void setApiStatus(char status);
    // The status the session has reached, whether or not the engine has been told to exit.
    char sessionStatus() const;
    // An exited engine takes its session's status again, so that a strategy restarted in the same
    // process finds it as it was (Working, or still logging in); returns the status now.
    char resume();

    const CQNLoginField &login() const { return *login_; }
    // The broker confirmed a change of the user password: this engine's login copy, and its
    // market-data side's, take the new one, so that the next login (after a reconnection) uses it.
    void takeNewPassword(const char *password);
    int runID() const { return runID_; }
    int idRangeEnd() const { return idRangeEnd_; }
    // True when an order or transfer id belongs to this engine's range.
    bool ownsID(int id) const { return id >= runID_ && id <= idRangeEnd_; }
    // Takes the next identifier of the engine's sequence (shared by orders and transfers).
    int nextID() { return nextID_.fetch_add(1, std::memory_order_acq_rel) + 1; }

    int frontID() const { return frontID_.load(std::memory_order_acquire); }
    int sessionID() const { return sessionID_.load(std::memory_order_acquire); }
    void setSession(int frontID, int sessionID) {
        frontID_.store(frontID, std::memory_order_release);
        sessionID_.store(sessionID, std::memory_order_release);
    }

    // Read by the supervisor and the subscribe calls while a later init may attach it.
    CBaseMd *md() const { return md_.load(std::memory_order_acquire); }
    void attachMd(CBaseMd *md) { md_.store(md, std::memory_order_release); }

    tc::TaskScheduler &scheduler() { return *scheduler_; }
    const tc::EventSink &sink() const { return sink_; }
    tc::EventSink &sink() { return sink_; }

    // Usable cash and its spin lock. Taken only inside a record lock, never the other way round.
    // Inline: the order path reads the figure for the order gate on every order.
    double useableCash() const { return useableCash_; }                // under the cash lock
    void addUseableCash(double delta) { useableCash_ += delta; }       // under the cash lock
    void setUseableCash(double value) { useableCash_ = value; }        // under the cash lock
    void lockCash() {
        while (cashLock_.fetch_or(1u, std::memory_order_acquire) & 1u) {
        }
    }
    void unlockCash() { cashLock_.store(0, std::memory_order_release); }

    // The gate every order and cancel passes before its request goes (engine/OrderGate.h);
    // null when none is installed.
    tc::OrderGate *orderGate() const { return orderGate_.load(std::memory_order_acquire); }
    void setOrderGate(tc::OrderGate *gate) { orderGate_.store(gate, std::memory_order_release); }
    // Takes `gate` off unless another gate has replaced it meanwhile.
    void clearOrderGate(tc::OrderGate *gate) {
        orderGate_.compare_exchange_strong(gate, nullptr, std::memory_order_acq_rel);
    }

    // addTask after normalising its timing against the login copy (the exported addTask).
    int addTask(int taskID, const CQNQueryCommandField *query, int count, long long executeGap,
                long long failedGap, bool retryUntilSuccess, long long executeTimeout);

protected:
    std::atomic<char> apiStatus_{ENUM_ApiStatus_Null};
    // Guards the pair (apiStatus_, sessionStatus_) against a status change racing an exit or a
    // resume; readers of apiStatus_ never take it.
    mutable std::mutex statusLock_;
    char sessionStatus_ = ENUM_ApiStatus_Null;
    CQNLoginField *login_;
    tc::LoginPassword password_;  // guards login_->Password
    int runID_;
    int idRangeEnd_;
    std::atomic<int> nextID_;
    std::atomic<int> frontID_{0};
    std::atomic<int> sessionID_{0};
    std::atomic<CBaseMd *> md_{nullptr};
    std::unique_ptr<tc::TaskScheduler> scheduler_;
    tc::EventSink sink_;
    double useableCash_ = 0.0;
    std::atomic<std::uint32_t> cashLock_{0};
    std::atomic<tc::OrderGate *> orderGate_{nullptr};
};
