// The market-data side of one engine: its session status, its subscription registry and its
// snapshot store. CTORAStockMd (the TORA adapter) derives from it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/LoginPassword.h"
#include "events/Delivery.h"
#include "marketdata/SnapshotStore.h"
#include "records/QNRecords.h"

using SecuritySet = std::set<std::string>;

class CBaseMd {
public:
    enum class SubscriptionMode { Subscribe, Unsubscribe };
    // Exchange text -> the IDs that one call added to (or removed from) that exchange's set.
    using SubscriptionChange = std::map<std::string, std::vector<std::string>>;

    // The login copy is owned from here on and freed with the side.
    CBaseMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
            PyObject *unused);
    CBaseMd(const CBaseMd &) = delete;
    CBaseMd &operator=(const CBaseMd &) = delete;

    virtual ~CBaseMd();
    virtual int requestSubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) = 0;
    virtual int requestUnsubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) = 0;
    virtual int requestLogin() = 0;

    // Records the IDs and sends one request per exchange that gained IDs; returns the sum of
    // the requests' results. Null exchange and null set: re-send every recorded subscription.
    int subscribeSecurities(const char *exchangeID, const SecuritySet *ids, char marketDataType);
    // Forgets the IDs and sends one request per exchange that lost IDs.
    int unsubscribeSecurities(const char *exchangeID, const SecuritySet *ids, char marketDataType);
    // The registry step of both, under the subscription lock: what changed, by exchange text.
    SubscriptionChange applySubscriptionChange(SubscriptionMode mode, const char *exchangeID,
                                               const SecuritySet &ids, char marketDataType);

    char apiStatus() const { return apiStatus_.load(std::memory_order_acquire); }
    void setApiStatus(char status) { apiStatus_.exchange(status, std::memory_order_acq_rel); }
    const CQNLoginField &login() const { return *login_; }
    // A confirmed change of the user password (made on the trader side): the next login sends it.
    void takeNewPassword(const char *password) { password_.store(*login_, password); }
    const tc::EventSink &sink() const { return sink_; }

    tc::SnapshotIndex &snapshotIndex() { return snapshotIndex_; }
    const tc::SnapshotIndex &snapshotIndex() const { return snapshotIndex_; }

    // A copy of the registry's keys, and of one key's set (empty for a missing key).
    std::vector<std::string> registryKeys() const;
    SecuritySet registeredIDs(const std::string &registryKey) const;

protected:
    // The registry's keys: exchange "1", "2", "3" and "U", each with the snapshot type '0'.
    void createRegistryKeys();
    // The re-send after a successful login: re-resolves the IDs recorded under U.0, then sends
    // every non-empty set under its key.
    int resubscribeAll(char marketDataType);
    int sendChange(SubscriptionMode mode, const SubscriptionChange &change, char marketDataType);

    void lockSubscriptions() const;
    void unlockSubscriptions() const;
    // applySubscriptionChange's body; the caller holds the subscription lock.
    void applyLocked(SubscriptionMode mode, const char *exchangeID, const SecuritySet &ids, char marketDataType,
                     SubscriptionChange &change);

    std::atomic<char> apiStatus_{ENUM_ApiStatus_Null};
    CQNLoginField *login_;
    tc::LoginPassword password_;  // guards login_->Password
    tc::EventSink sink_;

    mutable std::atomic<std::uint32_t> subscriptionLock_{0};  // bit 0 set while held
    std::unordered_map<std::string, SecuritySet> subscriptionRegistry_;
    tc::SnapshotIndex snapshotIndex_;
};
