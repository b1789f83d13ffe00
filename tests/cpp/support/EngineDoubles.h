// Stand-ins for an account's engine and market-data side, for tests of the engine core (the
// scheduler, loop, exports and start-up) that need no broker.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CBaseTrader.h"
#include "engine/TaskScheduler.h"
#include "marketdata/CBaseMd.h"

namespace tc {
namespace testing {

// A heap login copy as init would make it: the caller's defaults, then the engine's.
CQNLoginField *makeLoginCopy(const char *userID, long long loopGap = -1);

// One call of an order or transfer operation, as the engine received it.
struct OperationCall {
    std::string op;
    const SecurityEntry *security = nullptr;
    bool exchangeIsNull = false;
    std::string exchangeID;
    std::string standardID;
    int id = 0;  // OrderMark, TransferID or OrderID as the operation has it
    int volume = 0;
    char orderType = 0;
    double price = 0;
    char direction = 0;
    char offsetFlag = 0;
    std::vector<std::string> texts;
    int reserved = -1;
};

class FakeEngine : public CBaseTrader {
public:
    FakeEngine(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor = nullptr,
               PyObject *eventProcessor = nullptr, PyObject *loopProcessor = nullptr);
    explicit FakeEngine(const char *userID = "fake", long long loopGap = -1);
    ~FakeEngine() override;

    tc::RecordBlock<CQNOrderField> *insertOrder(const char *exchangeID, const char *standardID, char direction,
                                                char offsetFlag, int volume, const char *combineOrderType,
                                                double price, short orderMark, char creditQuotaType,
                                                const char *creditDebtID) override;
    int sendOrder(tc::RecordBlock<CQNOrderField> *order) override;
    int cancelOrder(const char *exchangeID, const char *standardID, const char *orderSysID, int orderID,
                    int frontID, int sessionID) override;
    tc::RecordBlock<CQNOrderField> *buyOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                            const char *standardID, int volume, char orderType, double price,
                                            int orderMark, char direction) override;
    tc::RecordBlock<CQNOrderField> *sellClose(const tc::SecurityEntry *security, const char *exchangeID,
                                              const char *standardID, int volume, char orderType, double price,
                                              int orderMark, char direction, char offsetFlag,
                                              const char *extraText) override;
    tc::RecordBlock<CQNOrderField> *sellOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                             const char *standardID, int volume, char orderType, double price,
                                             int orderMark, char direction, char offsetFlag) override;
    tc::RecordBlock<CQNOrderField> *buyClose(const tc::SecurityEntry *security, const char *exchangeID,
                                             const char *standardID, int volume, char orderType, double price,
                                             int orderMark, char direction, char offsetFlag,
                                             const char *extraText) override;
    tc::RecordBlock<CQNTransferAssetField> *transferCash(int transferID, char transferFlag, double amount,
                                                         const char *text1, const char *text2, const char *text3,
                                                         const char *text4, const char *text5) override;
    tc::RecordBlock<CQNTransferAssetField> *transferPosition(int transferID, char transferFlag, int volume,
                                                             const char *text1, const char *text2,
                                                             const char *text3, const char *text4) override;
    int updatePassword(char passwordFlag, const char *text1, const char *text2, int reserved) override;
    int runTask(tc::Task *task) override;
    int cancelOrderByOrderID(int orderID) override;
    int cancelOrderByStandardID(const char *exchangeID, const char *standardID) override;

    // What runTask answers (default 0: the request went out). Set before the engine runs.
    std::function<int(tc::Task &)> onRunTask;
    // Copies of every task runTask was given, in order.
    std::vector<tc::Task> sentTasks() const;
    std::vector<int> sentTaskIDs() const;
    std::atomic<int> runTaskCalls{0};

    std::vector<OperationCall> calls() const;
    // What the order and transfer operations return, and what the int operations return.
    tc::RecordBlock<CQNOrderField> *orderResult = nullptr;
    tc::RecordBlock<CQNTransferAssetField> *transferResult = nullptr;
    int intResult = 0;

    // Set to true by the destructor when given.
    std::atomic<bool> *destroyed = nullptr;
    tc::EventSink &mutableSink() { return sink_; }

private:
    void record(OperationCall call);
    mutable std::mutex mutex_;
    std::vector<tc::Task> sent_;
    std::vector<OperationCall> calls_;
};

class FakeMd : public CBaseMd {
public:
    FakeMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor = nullptr, PyObject *eventProcessor = nullptr,
           PyObject *unused = nullptr);
    explicit FakeMd(const char *userID = "fake");
    ~FakeMd() override;

    int requestSubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) override;
    int requestUnsubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) override;
    int requestLogin() override;

    struct Request {
        bool subscribe;
        std::string exchangeID;
        std::vector<std::string> ids;
        char marketDataType;
    };
    std::vector<Request> requests() const;
    std::atomic<int> loginRequests{0};
    int requestResult = 0;
    std::atomic<bool> *destroyed = nullptr;

private:
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};

}  // namespace testing
}  // namespace tc
