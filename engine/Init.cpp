// init: turns one login record into a running account. The trader phase and the market-data
// phase each make their own copy of the caller's record, apply the defaults, check it, make the
// flow directories, then create (or find) their side and wait until it has reached its front.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Adapters.h"
#include "engine/CBaseTrader.h"
#include "engine/Init.h"
#include "engine/Platform.h"
#include "engine/Registry.h"
#include "engine/Text.h"
#include "engine/Time.h"
#include "engine/tradecore_api.h"
#include "events/DeliveryGate.h"
#include "events/PythonBridge.h"
#include "marketdata/CBaseMd.h"

namespace tc {

namespace {

constexpr long long kDefaultExecuteGap = 1000000;
constexpr long long kDefaultFailedGap = 10000000;
constexpr long long kMinExecuteTimeout = 10000000;
constexpr long long kConnectPollMicros = 100;
// How often a front wait asks the calling thread's check whether to give up.
constexpr long long kWaitCheckMicros = 20000;

thread_local bool (*tFrontWaitCheck)() = nullptr;

bool isEmpty(const char *field) { return field[0] == '\0'; }

template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(field, fieldLength(field, N));
}

bool validUserType(int userType) {
    return (userType >= ENUM_UserType_CTP && userType <= ENUM_UserType_TORAOption) ||
           (userType >= ENUM_UserType_NSIGHTFuture && userType <= ENUM_UserType_SIMNOWFuture);
}

bool acceptableProcessor(PyObject *processor) { return py::isNone(processor) || py::isCallable(processor); }

}  // namespace

void setThreadFrontWaitCheck(bool (*check)()) { tFrontWaitCheck = check; }

void applyLoginDefaults(CQNLoginField &login) {
    if (login.TaskExecuteGap == -1) login.TaskExecuteGap = kDefaultExecuteGap;
    if (login.TaskFailedGap == -1) login.TaskFailedGap = kDefaultFailedGap;
    if (isEmpty(login.BasePath)) copyText(login.BasePath, ".");
    if (isEmpty(login.InvestorID)) copyField(login.InvestorID, login.UserID);
    if (login.TaskExecuteTimeout < kMinExecuteTimeout) login.TaskExecuteTimeout = kMinExecuteTimeout;
    if (login.UserType == ENUM_UserType_TORAStock || login.UserType == ENUM_UserType_NSIGHTStock) {
        if (login.TraderFrontType == 0) login.TraderFrontType = kStockTraderFrontType;
        if (login.MdFrontType == 0) login.MdFrontType = kStockMdFrontType;
    }
}

bool makeDirectoryChain(const std::string &path, platform::PathStyle style) {
    // A path that starts with a separator stays absolute; on Windows two separators start a
    // network share, whose server and share names together form the root.
    const platform::PathPieces split = platform::splitPath(path, style);
    std::string prefix = split.root;
    std::size_t first = 0;
    if (split.root == "//") {
        // \\server\share\ cannot be made, only used.
        for (; first < split.pieces.size() && first < 2; ++first) prefix += split.pieces[first] + "/";
        if (first > 0 && !platform::directoryExists(prefix)) return false;
    }
    for (std::size_t i = first; i < split.pieces.size(); ++i) {
        prefix += split.pieces[i];
        prefix += '/';
        if (platform::directoryExists(prefix)) continue;
        if (!platform::createDirectory(prefix)) return false;
    }
    return true;
}

int checkLoginCopy(const CQNLoginField &login) {
    if (isEmpty(login.UserID)) return ENUM_ErrorID_InvalidUserID;
    if (!validUserType(login.UserType)) return ENUM_ErrorID_InvalidUserType;
    if (isEmpty(login.TraderFrontAddress)) return ENUM_ErrorID_InvalidTraderFront;
    if (isEmpty(login.MdFrontAddress)) return ENUM_ErrorID_InvalidMdFront;
    if (login.UserType == ENUM_UserType_CTP) {
        if (isEmpty(login.BrokerID)) return ENUM_ErrorID_InvalidBrokerID;
        if (isEmpty(login.AppID)) return ENUM_ErrorID_InvalidAppID;
        if (isEmpty(login.AuthCode)) return ENUM_ErrorID_InvalidAuthCode;
    }
    const std::string account = fieldText(login.BasePath) + "/" + fieldText(login.UserID);
    if (!makeDirectoryChain(account) || !makeDirectoryChain(account + "/TDFlow") ||
        !makeDirectoryChain(account + "/MDFlow")) {
        return ENUM_ErrorID_InvalidFilePath;
    }
    return ENUM_ErrorID_None;
}

namespace {

// Makes the phase's login copy and checks it; null (with the last init error set) on failure.
CQNLoginField *preparedLoginCopy(const CQNLoginField &caller) {
    auto *copy = new CQNLoginField(const_cast<CQNLoginField *>(&caller));
    applyLoginDefaults(*copy);
    const int error = checkLoginCopy(*copy);
    if (error != ENUM_ErrorID_None) {
        setLastInitError(error);
        delete copy;
        return nullptr;
    }
    return copy;
}

bool connectTimedOut(const CQNLoginField &login, long long createdAt) {
    return login.ConnectTimeout > 0 && nowMicros() - createdAt > login.ConnectTimeout;
}

// The check calls into Python, so it passes the delivery gate as every such call does; once the
// interpreter's exit has closed the gate the wait is given up.
bool frontWaitGivenUp() {
    if (!delivery::enter()) return true;
    const bool giveUp = tFrontWaitCheck();
    delivery::leave();
    return giveUp;
}

// Polls a side made by this call until it has reached its front, then registers it. When the
// login copy's ConnectTimeout runs out first, or the calling thread's check gives the wait up
// (Ctrl-C in Python), the side is destroyed and the error is set.
template <class Side>
Side *awaitFront(Side *side, long long createdAt, const std::string &key, Side *(*registerSide)(const std::string &, Side *),
                 int timeoutError) {
    long long lastCheck = createdAt;
    for (;;) {
        if (side->apiStatus() != ENUM_ApiStatus_Null) {
            // An overlapping init of the same account may have registered its side first; that
            // one is the account's and this duplicate goes.
            Side *registered = registerSide(key, side);
            if (registered != side) delete side;
            return registered;
        }
        bool giveUp = connectTimedOut(side->login(), createdAt);
        if (!giveUp && tFrontWaitCheck) {
            const long long now = nowMicros();
            if (now - lastCheck >= kWaitCheckMicros) {
                lastCheck = now;
                giveUp = frontWaitGivenUp();
            }
        }
        if (giveUp) {
            setLastInitError(timeoutError);
            delete side;
            return nullptr;
        }
        platform::sleepMicros(kConnectPollMicros);
    }
}

CBaseTrader *traderPhase(int runID, const CQNLoginField *loginField, PyObject *orderEventProcessor,
                         PyObject *eventProcessor, PyObject *loopProcessor) {
    setLastInitError(ENUM_ErrorID_None);
    if (!loginField) {
        setLastInitError(ENUM_ErrorID_InvalidLoginField);
        return nullptr;
    }
    if (runID < 0 || static_cast<long long>(runID) + loginField->IDRange >= 2147483647LL) {
        setLastInitError(ENUM_ErrorID_InvalidRunID);
        return nullptr;
    }
    CQNLoginField *copy = preparedLoginCopy(*loginField);
    if (!copy) return nullptr;

    // A registered engine is the account's engine whatever its status; it keeps its own copy.
    const std::string key = engineKey(*copy, runID);
    if (CBaseTrader *registered = findEngine(key)) {
        delete copy;
        return registered;
    }
    const long long createdAt = nowMicros();
    const TraderFactory create = adapterFactories().trader;
    if (copy->TraderFrontType != kStockTraderFrontType || !create) {
        setLastInitError(ENUM_ErrorID_InvalidUserType);
        delete copy;
        return nullptr;
    }
    // From here on the engine owns the copy.
    CBaseTrader *engine = create(runID16(runID), copy, orderEventProcessor, eventProcessor, loopProcessor);
    return awaitFront(engine, createdAt, key, &registerEngine, ENUM_ErrorID_TraderConnectTimeout);
}

CBaseMd *mdPhase(int runID, const CQNLoginField *loginField, PyObject *marketDataProcessor,
                 PyObject *eventProcessor) {
    setLastInitError(ENUM_ErrorID_None);
    CQNLoginField *copy = preparedLoginCopy(*loginField);
    if (!copy) return nullptr;

    const std::string key = engineKey(*copy, runID);
    if (CBaseMd *registered = findMd(key)) {
        delete copy;
        return registered;
    }
    const long long createdAt = nowMicros();
    const MdFactory create = adapterFactories().md;
    if (copy->MdFrontType != kStockMdFrontType || !create) {
        setLastInitError(ENUM_ErrorID_InvalidUserType);
        delete copy;
        return nullptr;
    }
    // Python None in the third processor place.
    CBaseMd *md = create(copy, marketDataProcessor, eventProcessor, nullptr);
    return awaitFront(md, createdAt, key, &registerMd, ENUM_ErrorID_MdConnectTimeout);
}

}  // namespace

}  // namespace tc

extern "C" TRADECORE_API CBaseTrader *init(int RunID, CQNLoginField *LoginField, PyObject *OrderEventProcessor,
                                           PyObject *EventProcessor, PyObject *LoopProcessor,
                                           PyObject *MarketDataProcessor) {
    // Every processor is None or callable; anything else is refused before anything is made.
    if (!tc::acceptableProcessor(OrderEventProcessor) || !tc::acceptableProcessor(EventProcessor) ||
        !tc::acceptableProcessor(LoopProcessor) || !tc::acceptableProcessor(MarketDataProcessor)) {
        tc::setLastInitError(ENUM_ErrorID_Unsupported);
        return nullptr;
    }
    // Nothing is thrown across the C boundary: an adapter that cannot be built is a failed side.
    CBaseTrader *engine = nullptr;
    try {
        engine = tc::traderPhase(RunID, LoginField, OrderEventProcessor, EventProcessor, LoopProcessor);
    } catch (...) {
        tc::setLastInitError(ENUM_ErrorID_FailToCreateTrader);
        return nullptr;
    }
    if (!engine) return nullptr;
    CBaseMd *md = nullptr;
    try {
        md = tc::mdPhase(RunID, LoginField, MarketDataProcessor, EventProcessor);
    } catch (...) {
        tc::setLastInitError(ENUM_ErrorID_FailToCreateMd);
    }
    if (md) engine->attachMd(md);
    return engine;
}
