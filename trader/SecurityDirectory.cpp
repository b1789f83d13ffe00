#include "trader/SecurityDirectory.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "ToraSdk.h"
#include "engine/Text.h"

namespace tc {

void buildSecurityKey(char *key, std::size_t size, const char *standardID, const char *exchangeID) {
    if (size == 0) return;
    std::size_t len = 0;
    auto append = [&](const char *text) {
        if (!text) return;
        while (*text && len + 1 < size) key[len++] = *text++;
    };
    append(standardID);
    append(".");
    append(exchangeID);
    std::memset(key + len, 0, size - len);
}

bool isExchangeFreeSecurityType(char securityType) {
    switch (securityType) {
    case '*': case '+': case '-': case 'B': case 'C': case 'I': case 'Q': case 'a': case 'k': case 'l': case 'm':
        return true;
    default:
        return false;
    }
}

struct SecurityDirectory::Impl {
    mutable std::shared_mutex lock;
    std::unordered_map<std::string, SecurityEntry *> byKey;
    // Owns every entry ever made; a deque never moves its elements when it grows.
    std::deque<SecurityEntry> entries;

    // Caller holds the lock exclusively.
    SecurityEntry *findOrCreate(const char *standardID, const char *exchangeID) {
        char key[kSecurityKeySize];
        buildSecurityKey(key, standardID, exchangeID);
        auto it = byKey.find(key);
        if (it != byKey.end()) return it->second;
        entries.emplace_back();
        SecurityEntry *e = &entries.back();
        copyText(e->StandardID, standardID);
        copyText(e->ExchangeID, exchangeID);
        copyText(e->key, key);
        byKey.emplace(key, e);
        return e;
    }
    void enterExchangeFree(SecurityEntry *e) {
        char key[kSecurityKeySize];
        buildSecurityKey(key, e->StandardID, "");
        byKey[key] = e;
    }
};

SecurityDirectory::SecurityDirectory() : impl_(new Impl) {}
// The process-wide directory lives until exit; entries handed out must never dangle during
// static destruction, so the storage is deliberately not freed.
SecurityDirectory::~SecurityDirectory() = default;

const SecurityEntry *SecurityDirectory::find(const char *key) const {
    if (!key) return nullptr;
    std::shared_lock<std::shared_mutex> guard(impl_->lock);
    auto it = impl_->byKey.find(key);
    return it == impl_->byKey.end() ? nullptr : it->second;
}

const SecurityEntry *SecurityDirectory::enter(const sdk::SecurityRecord &security) {
    char securityID[sizeof(security.SecurityID)];
    copyField(securityID, security.SecurityID);
    const char exchange[2] = {security.ExchangeID, '\0'};
    std::unique_lock<std::shared_mutex> guard(impl_->lock);
    SecurityEntry *e = impl_->findOrCreate(securityID, exchange);
    if (e->SecurityName[0] == '\0') copyField(e->SecurityName, security.SecurityName);
    e->SecurityType.store(security.SecurityType, std::memory_order_relaxed);
    e->VolumeMultiple.store(security.VolumeMultiple, std::memory_order_relaxed);
    e->PriceTick.store(security.PriceTick, std::memory_order_relaxed);
    e->PreClosePrice.store(security.PreClosePrice, std::memory_order_relaxed);
    e->UpperLimitPrice.store(security.UpperLimitPrice, std::memory_order_relaxed);
    e->LowerLimitPrice.store(security.LowerLimitPrice, std::memory_order_relaxed);
    if (isExchangeFreeSecurityType(security.SecurityType)) impl_->enterExchangeFree(e);
    return e;
}

const SecurityEntry *SecurityDirectory::enter(const char *standardID, const char *exchangeID, char securityType,
                                              int volumeMultiple) {
    std::unique_lock<std::shared_mutex> guard(impl_->lock);
    SecurityEntry *e = impl_->findOrCreate(standardID, exchangeID);
    e->SecurityType.store(securityType, std::memory_order_relaxed);
    e->VolumeMultiple.store(volumeMultiple, std::memory_order_relaxed);
    if (isExchangeFreeSecurityType(securityType)) impl_->enterExchangeFree(e);
    return e;
}

std::size_t SecurityDirectory::size() const {
    std::shared_lock<std::shared_mutex> guard(impl_->lock);
    return impl_->byKey.size();
}

void SecurityDirectory::forgetAllForTests() {
    std::unique_lock<std::shared_mutex> guard(impl_->lock);
    impl_->byKey.clear();
}

SecurityDirectory securityDirectory;

const SecurityEntry *findSecurity(const char *key) { return securityDirectory.find(key); }

// --- securities-loaded flag and trading day ------------------------------------------------------

namespace {
std::atomic<bool> gSecuritiesLoaded{false};
std::mutex gTradingDayLock;
char gTradingDay[sizeof(TQNDateType)] = {};
// The day's eight characters (its ninth byte is always the NUL) for readers: every order reads
// the day, and takes no lock for it. Written under gTradingDayLock together with gTradingDay.
static_assert(sizeof(TQNDateType) == sizeof(std::uint64_t) + 1, "an eight-character day and its NUL");
std::atomic<std::uint64_t> gTradingDayWord{0};

void publishTradingDay() {
    std::uint64_t word = 0;
    std::memcpy(&word, gTradingDay, sizeof word);
    gTradingDayWord.store(word, std::memory_order_release);
}
}  // namespace

bool securitiesLoaded() { return gSecuritiesLoaded.load(std::memory_order_acquire); }
void setSecuritiesLoaded(bool loaded) { gSecuritiesLoaded.store(loaded, std::memory_order_release); }

void copyTradingDay(char (&day)[sizeof(TQNDateType)]) {
    const std::uint64_t word = gTradingDayWord.load(std::memory_order_acquire);
    std::memcpy(day, &word, sizeof word);
    day[sizeof word] = '\0';
}

TradingDayChange updateTradingDay(const char *day) {
    char next[sizeof(TQNDateType)];
    copyText(next, day);
    std::lock_guard<std::mutex> guard(gTradingDayLock);
    if (gTradingDay[0] == '\0') {
        std::memcpy(gTradingDay, next, sizeof next);
        publishTradingDay();
        return TradingDayChange::First;
    }
    // Byte-wise, as unsigned bytes, like strcmp.
    if (std::strcmp(next, gTradingDay) > 0) {
        std::memcpy(gTradingDay, next, sizeof next);
        publishTradingDay();
        return TradingDayChange::Rolled;
    }
    return TradingDayChange::Unchanged;
}

void resetProcessTraderStateForTests() {
    securityDirectory.forgetAllForTests();
    setSecuritiesLoaded(false);
    std::lock_guard<std::mutex> guard(gTradingDayLock);
    std::memset(gTradingDay, 0, sizeof gTradingDay);
    publishTradingDay();
}

}  // namespace tc
