// The market-data side of one engine: its session status, its subscription registry and its
// snapshot store. CTORAStockMd (the TORA adapter) derives from it.
#pragma once

#include <atomic>
#include <set>
#include <string>

#include "events/Delivery.h"
#include "records/QNRecords.h"

using SecuritySet = std::set<std::string>;

class CBaseMd {
public:
    CBaseMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
            PyObject *unused);
    CBaseMd(const CBaseMd &) = delete;
    CBaseMd &operator=(const CBaseMd &) = delete;

    virtual ~CBaseMd();
    virtual int requestSubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) = 0;
    virtual int requestUnsubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) = 0;
    virtual int requestLogin() = 0;

    // Null exchange and null set: re-send every recorded subscription.
    int subscribeSecurities(const char *exchangeID, const SecuritySet *ids, char marketDataType);
    int unsubscribeSecurities(const char *exchangeID, const SecuritySet *ids, char marketDataType);

    char apiStatus() const { return apiStatus_.load(std::memory_order_acquire); }
    void setApiStatus(char status) { apiStatus_.exchange(status, std::memory_order_acq_rel); }
    const CQNLoginField &login() const { return *login_; }
    const tc::EventSink &sink() const { return sink_; }

protected:
    std::atomic<char> apiStatus_{ENUM_ApiStatus_Null};
    CQNLoginField *login_;
    tc::EventSink sink_;
};
