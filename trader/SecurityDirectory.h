// Process-wide facts that every trader engine shares: the trading day reported by the latest
// login, whether the security list has been loaded, and the security directory built from the
// security query's answers. Order entry resolves a missing exchange from the directory and trade
// accounting reads each security's VolumeMultiple from it.
#pragma once

#include <atomic>
#include <cstddef>

#include "ToraSdkFwd.h"
#include "records/QNRecords.h"

namespace tc {

// Room for "<StandardID>.<ExchangeID>".
constexpr std::size_t kSecurityKeySize = sizeof(TQNStandardIDType) + 1 + sizeof(TQNExchangeIDType);

// Builds "<standardID>.<exchangeID>" into `key` (bounded); a null text counts as empty.
void buildSecurityKey(char *key, std::size_t size, const char *standardID, const char *exchangeID);
template <std::size_t N>
inline void buildSecurityKey(char (&key)[N], const char *standardID, const char *exchangeID) {
    buildSecurityKey(key, N, standardID, exchangeID);
}

// One security. Entries are never freed or moved once entered, so a pointer handed out stays
// valid for the life of the process. The identity (exchange, code, key, name) never changes
// after the first answer; the figures a later answer refreshes are atomics.
struct SecurityEntry {
    TQNExchangeIDType ExchangeID = {};
    TQNStandardIDType StandardID = {};
    char key[kSecurityKeySize] = {};
    char SecurityName[41] = {};
    std::atomic<char> SecurityType{0};
    std::atomic<int> VolumeMultiple{1};
    std::atomic<double> PriceTick{0.0};
    std::atomic<double> PreClosePrice{0.0};
    std::atomic<double> UpperLimitPrice{0.0};
    std::atomic<double> LowerLimitPrice{0.0};
};

// Security types whose code alone names the security well enough for an order that gives no
// exchange; their entries are also entered under "<code>.".
bool isExchangeFreeSecurityType(char securityType);

class SecurityDirectory {
public:
    SecurityDirectory();
    ~SecurityDirectory();
    SecurityDirectory(const SecurityDirectory &) = delete;
    SecurityDirectory &operator=(const SecurityDirectory &) = delete;

    // The entry under `key`, or null. Thread-safe.
    const SecurityEntry *find(const char *key) const;
    // Builds or refreshes the entry "<SecurityID>.<ExchangeID>" from a security answer, and for
    // the exchange-free types also enters it under "<SecurityID>.". Returns the entry.
    const SecurityEntry *enter(const sdk::SecurityRecord &security);
    // Enters an entry made by hand (tests, tools); same keys as enter().
    const SecurityEntry *enter(const char *standardID, const char *exchangeID, char securityType,
                               int volumeMultiple);
    std::size_t size() const;

    // Forgets every key (entries stay allocated: pointers handed out remain valid). Tests only.
    void forgetAllForTests();

    struct Impl;

private:
    Impl *impl_;
};

extern SecurityDirectory securityDirectory;

// securityDirectory.find(key); null for a null key.
const SecurityEntry *findSecurity(const char *key);

// --- securities-loaded flag ---------------------------------------------------------------------
bool securitiesLoaded();
void setSecuritiesLoaded(bool loaded);

// --- trading day ---------------------------------------------------------------------------------
// Copies the process-wide trading day (empty until the first login) into `day`.
void copyTradingDay(char (&day)[sizeof(TQNDateType)]);

enum class TradingDayChange {
    First,    // nothing was stored: the day is stored, nothing else happens
    Rolled,   // the new day is greater: it replaced the stored one
    Unchanged // equal or earlier: nothing changed
};
// Compares `day` with the stored day and stores it when it is the first or a later one.
TradingDayChange updateTradingDay(const char *day);

// Back to the state at load: no trading day, securities not loaded, no keys. Tests only.
void resetProcessTraderStateForTests();

}  // namespace tc
