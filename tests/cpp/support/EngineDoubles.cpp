#include "EngineDoubles.h"

#include "engine/Init.h"
#include "engine/Text.h"

namespace tc {
namespace testing {

namespace {

std::string text(const char *s) { return s ? s : ""; }

}  // namespace

CQNLoginField *makeLoginCopy(const char *userID, long long loopGap) {
    auto *login = new CQNLoginField();
    login->UserType = ENUM_UserType_TORAStock;
    copyText(login->UserID, userID);
    login->LoopGap = loopGap;
    // Only the defaults: no directories are made for doubles.
    applyLoginDefaults(*login);
    return login;
}

// --- FakeEngine ---------------------------------------------------------------------------------

FakeEngine::FakeEngine(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor,
                       PyObject *eventProcessor, PyObject *loopProcessor)
    : CBaseTrader(runID16, loginCopy, orderEventProcessor, eventProcessor, loopProcessor) {}

FakeEngine::FakeEngine(const char *userID, long long loopGap) : FakeEngine(0, makeLoginCopy(userID, loopGap)) {}

FakeEngine::~FakeEngine() {
    if (destroyed) destroyed->store(true);
}

void FakeEngine::record(OperationCall call) {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back(std::move(call));
}

std::vector<OperationCall> FakeEngine::calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

tc::RecordBlock<CQNOrderField> *FakeEngine::insertOrder(const char *exchangeID, const char *standardID,
                                                        char direction, char offsetFlag, int volume,
                                                        const char *combineOrderType, double price,
                                                        short orderMark, char creditQuotaType,
                                                        const char *creditDebtID) {
    OperationCall c;
    c.op = "insertOrder";
    c.exchangeIsNull = exchangeID == nullptr;
    c.exchangeID = text(exchangeID);
    c.standardID = text(standardID);
    c.direction = direction;
    c.offsetFlag = offsetFlag;
    c.volume = volume;
    c.price = price;
    c.id = orderMark;
    c.orderType = creditQuotaType;
    c.texts = {text(combineOrderType), text(creditDebtID)};
    record(std::move(c));
    return orderResult;
}

int FakeEngine::sendOrder(tc::RecordBlock<CQNOrderField> *) { return intResult; }

int FakeEngine::cancelOrder(const char *exchangeID, const char *standardID, const char *orderSysID, int orderID,
                            int frontID, int sessionID) {
    OperationCall c;
    c.op = "cancelOrder";
    c.exchangeID = text(exchangeID);
    c.standardID = text(standardID);
    c.id = orderID;
    c.texts = {text(orderSysID), std::to_string(frontID), std::to_string(sessionID)};
    record(std::move(c));
    return intResult;
}

namespace {

OperationCall orderCall(const char *op, const tc::SecurityEntry *security, const char *exchangeID,
                        const char *standardID, int volume, char orderType, double price, int orderMark,
                        char direction, char offsetFlag) {
    OperationCall c;
    c.op = op;
    c.security = security;
    c.exchangeIsNull = exchangeID == nullptr;
    c.exchangeID = exchangeID ? exchangeID : "";
    c.standardID = standardID ? standardID : "";
    c.volume = volume;
    c.orderType = orderType;
    c.price = price;
    c.id = orderMark;
    c.direction = direction;
    c.offsetFlag = offsetFlag;
    return c;
}

}  // namespace

tc::RecordBlock<CQNOrderField> *FakeEngine::buyOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                                    const char *standardID, int volume, char orderType,
                                                    double price, int orderMark, char direction) {
    record(orderCall("buyOpen", security, exchangeID, standardID, volume, orderType, price, orderMark, direction, 0));
    return orderResult;
}

tc::RecordBlock<CQNOrderField> *FakeEngine::sellClose(const tc::SecurityEntry *security, const char *exchangeID,
                                                      const char *standardID, int volume, char orderType,
                                                      double price, int orderMark, char direction, char offsetFlag,
                                                      const char *extraText) {
    OperationCall c = orderCall("sellClose", security, exchangeID, standardID, volume, orderType, price, orderMark,
                                direction, offsetFlag);
    c.texts = {text(extraText)};
    record(std::move(c));
    return orderResult;
}

tc::RecordBlock<CQNOrderField> *FakeEngine::sellOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                                     const char *standardID, int volume, char orderType,
                                                     double price, int orderMark, char direction, char offsetFlag) {
    record(orderCall("sellOpen", security, exchangeID, standardID, volume, orderType, price, orderMark, direction,
                     offsetFlag));
    return orderResult;
}

tc::RecordBlock<CQNOrderField> *FakeEngine::buyClose(const tc::SecurityEntry *security, const char *exchangeID,
                                                     const char *standardID, int volume, char orderType,
                                                     double price, int orderMark, char direction, char offsetFlag,
                                                     const char *extraText) {
    OperationCall c = orderCall("buyClose", security, exchangeID, standardID, volume, orderType, price, orderMark,
                                direction, offsetFlag);
    c.texts = {text(extraText)};
    record(std::move(c));
    return orderResult;
}

tc::RecordBlock<CQNTransferAssetField> *FakeEngine::transferCash(int transferID, char transferFlag, double amount,
                                                                 const char *text1, const char *text2,
                                                                 const char *text3, const char *text4,
                                                                 const char *text5) {
    OperationCall c;
    c.op = "transferCash";
    c.id = transferID;
    c.direction = transferFlag;
    c.price = amount;
    c.texts = {text(text1), text(text2), text(text3), text(text4), text(text5)};
    record(std::move(c));
    return transferResult;
}

tc::RecordBlock<CQNTransferAssetField> *FakeEngine::transferPosition(int transferID, char transferFlag, int volume,
                                                                     const char *text1, const char *text2,
                                                                     const char *text3, const char *text4) {
    OperationCall c;
    c.op = "transferPosition";
    c.id = transferID;
    c.direction = transferFlag;
    c.volume = volume;
    c.texts = {text(text1), text(text2), text(text3), text(text4)};
    record(std::move(c));
    return transferResult;
}

int FakeEngine::updatePassword(char passwordFlag, const char *text1, const char *text2, int reserved) {
    OperationCall c;
    c.op = "updatePassword";
    c.direction = passwordFlag;
    c.texts = {text(text1), text(text2)};
    c.reserved = reserved;
    record(std::move(c));
    return intResult;
}

int FakeEngine::runTask(tc::Task *task) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        sent_.push_back(*task);
    }
    runTaskCalls.fetch_add(1);
    return onRunTask ? onRunTask(*task) : 0;
}

int FakeEngine::cancelOrderByOrderID(int orderID) {
    OperationCall c;
    c.op = "cancelOrderByOrderID";
    c.id = orderID;
    record(std::move(c));
    return intResult;
}

int FakeEngine::cancelOrderByStandardID(const char *exchangeID, const char *standardID) {
    OperationCall c;
    c.op = "cancelOrderByStandardID";
    c.exchangeIsNull = exchangeID == nullptr;
    c.exchangeID = text(exchangeID);
    c.standardID = text(standardID);
    record(std::move(c));
    return intResult;
}

std::vector<tc::Task> FakeEngine::sentTasks() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return sent_;
}

std::vector<int> FakeEngine::sentTaskIDs() const {
    std::vector<int> ids;
    for (const tc::Task &t : sentTasks()) ids.push_back(t.TaskID);
    return ids;
}

// --- FakeMd -------------------------------------------------------------------------------------

FakeMd::FakeMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor, PyObject *unused)
    : CBaseMd(loginCopy, marketDataProcessor, eventProcessor, unused) {
    createRegistryKeys();
}

FakeMd::FakeMd(const char *userID) : FakeMd(makeLoginCopy(userID)) {}

FakeMd::~FakeMd() {
    if (destroyed) destroyed->store(true);
}

int FakeMd::requestSubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) {
    Request r{true, text(exchangeID), {}, marketDataType};
    for (int i = 0; i < count; ++i) r.ids.push_back(text(securityIDs[i]));
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.push_back(std::move(r));
    return requestResult;
}

int FakeMd::requestUnsubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) {
    Request r{false, text(exchangeID), {}, marketDataType};
    for (int i = 0; i < count; ++i) r.ids.push_back(text(securityIDs[i]));
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.push_back(std::move(r));
    return requestResult;
}

int FakeMd::requestLogin() {
    loginRequests.fetch_add(1);
    return 0;
}

std::vector<FakeMd::Request> FakeMd::requests() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_;
}

}  // namespace testing
}  // namespace tc
