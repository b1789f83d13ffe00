#include "marketdata/CBaseMd.h"

#include <algorithm>

#include "engine/Adapters.h"
#include "engine/Text.h"

namespace {

// Registry key: exchange text, ".", market-data type.
std::string registryKey(const std::string &exchange, char marketDataType) {
    std::string key;
    key.reserve(exchange.size() + 2);
    key += exchange;
    key += '.';
    key += marketDataType;
    return key;
}

// The exchange under which an ID named without a usable exchange is recorded: the security
// directory's entry for "<id>.", or "U" while the directory does not know the security.
std::string resolveExchange(const std::string &securityID) {
    if (const tc::SecurityEntry *entry = tc::findSecurityByCode(securityID.c_str())) {
        if (const char *exchange = tc::securityExchangeID(entry)) return exchange;
    }
    return ENUM_ExchangeID_Unknown;
}

}  // namespace

CBaseMd::CBaseMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
                 PyObject * /*unused*/)
    : login_(loginCopy ? loginCopy : new CQNLoginField()) {
    sink_.marketDataProcessor = marketDataProcessor;
    sink_.eventProcessor = eventProcessor;
    sink_.fallbackEventHandler = tc::printEvent;
    sink_.userID = login_->UserID;
    tc::retainProcessors(sink_);
}

CBaseMd::~CBaseMd() {
    // The snapshot records stay: Python may still hold their addresses. The index table goes
    // with the member; the registry likewise.
    delete login_;
}

void CBaseMd::lockSubscriptions() const {
    while (subscriptionLock_.fetch_or(1u, std::memory_order_acquire) & 1u) {
    }
}

void CBaseMd::unlockSubscriptions() const { subscriptionLock_.store(0, std::memory_order_release); }

void CBaseMd::createRegistryKeys() {
    lockSubscriptions();
    for (const char *exchange : {ENUM_ExchangeID_SSE, ENUM_ExchangeID_SZSE, ENUM_ExchangeID_HK, ENUM_ExchangeID_Unknown}) {
        subscriptionRegistry_.emplace(registryKey(exchange, ENUM_MarketDataType_Snap), SecuritySet());
    }
    unlockSubscriptions();
}

void CBaseMd::applyLocked(SubscriptionMode mode, const char *exchangeID, const SecuritySet &ids,
                          char marketDataType, SubscriptionChange &change) {
    const bool resolve = exchangeID == nullptr || exchangeID[0] == 'U';
    const std::string given = exchangeID ? exchangeID : "";
    for (const std::string &id : ids) {
        std::string exchange = resolve ? resolveExchange(id) : given;
        auto found = subscriptionRegistry_.find(registryKey(exchange, marketDataType));
        if (found == subscriptionRegistry_.end()) continue;
        SecuritySet &recorded = found->second;
        if (mode == SubscriptionMode::Subscribe) {
            if (!recorded.insert(id).second) continue;
        } else {
            if (recorded.erase(id) == 0) continue;
        }
        change[exchange].push_back(id);
    }
}

CBaseMd::SubscriptionChange CBaseMd::applySubscriptionChange(SubscriptionMode mode, const char *exchangeID,
                                                             const SecuritySet &ids, char marketDataType) {
    SubscriptionChange change;
    lockSubscriptions();
    try {
        applyLocked(mode, exchangeID, ids, marketDataType, change);
    } catch (...) {
        unlockSubscriptions();
        throw;
    }
    unlockSubscriptions();
    return change;
}

int CBaseMd::sendChange(SubscriptionMode mode, const SubscriptionChange &change, char marketDataType) {
    // The requests go out after the lock is released, from our own copy of the IDs: a slow
    // SDK call never holds up another thread's subscribe.
    int total = 0;
    std::vector<char *> pointers;
    for (const auto &entry : change) {
        const std::vector<std::string> &ids = entry.second;
        if (ids.empty()) continue;
        pointers.clear();
        for (const std::string &id : ids) pointers.push_back(const_cast<char *>(id.c_str()));
        const int count = static_cast<int>(pointers.size());
        total += mode == SubscriptionMode::Subscribe
                     ? requestSubscribe(entry.first.c_str(), pointers.data(), count, marketDataType)
                     : requestUnsubscribe(entry.first.c_str(), pointers.data(), count, marketDataType);
    }
    return total;
}

int CBaseMd::resubscribeAll(char marketDataType) {
    SubscriptionChange everything;
    const std::string unknownKey = registryKey(ENUM_ExchangeID_Unknown, marketDataType);
    lockSubscriptions();
    try {
        // IDs recorded without a known exchange are looked up again: those the security
        // directory knows by now move to their exchange's set; the rest are dropped.
        auto unknown = subscriptionRegistry_.find(unknownKey);
        if (unknown != subscriptionRegistry_.end() && !unknown->second.empty()) {
            const SecuritySet pending = unknown->second;
            SubscriptionChange moved;
            applyLocked(SubscriptionMode::Subscribe, nullptr, pending, marketDataType, moved);
            unknown->second.clear();
        }
        // Every non-empty set goes out under its registry key (the SDK reads the exchange from
        // the key's first character).
        for (const auto &entry : subscriptionRegistry_) {
            if (entry.second.empty()) continue;
            everything.emplace(entry.first, std::vector<std::string>(entry.second.begin(), entry.second.end()));
        }
    } catch (...) {
        unlockSubscriptions();
        throw;
    }
    unlockSubscriptions();
    return sendChange(SubscriptionMode::Subscribe, everything, marketDataType);
}

int CBaseMd::subscribeSecurities(const char *exchangeID, const SecuritySet *ids, char marketDataType) {
    if (!ids) return exchangeID ? 0 : resubscribeAll(marketDataType);
    return sendChange(SubscriptionMode::Subscribe,
                      applySubscriptionChange(SubscriptionMode::Subscribe, exchangeID, *ids, marketDataType),
                      marketDataType);
}

int CBaseMd::unsubscribeSecurities(const char *exchangeID, const SecuritySet *ids, char marketDataType) {
    if (!ids) return 0;
    return sendChange(SubscriptionMode::Unsubscribe,
                      applySubscriptionChange(SubscriptionMode::Unsubscribe, exchangeID, *ids, marketDataType),
                      marketDataType);
}

std::vector<std::string> CBaseMd::registryKeys() const {
    std::vector<std::string> keys;
    lockSubscriptions();
    for (const auto &entry : subscriptionRegistry_) keys.push_back(entry.first);
    unlockSubscriptions();
    std::sort(keys.begin(), keys.end());
    return keys;
}

SecuritySet CBaseMd::registeredIDs(const std::string &key) const {
    SecuritySet ids;
    lockSubscriptions();
    auto found = subscriptionRegistry_.find(key);
    if (found != subscriptionRegistry_.end()) ids = found->second;
    unlockSubscriptions();
    return ids;
}
