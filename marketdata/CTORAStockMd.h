// The TORA market-data adapter: one per engine. It connects to the account's market-data
// front, logs in when the supervisor asks, keeps the subscriptions of CBaseMd going across
// reconnections and turns every depth-market-data push into the security's snapshot record.
#pragma once

#include "ToraSdk.h"
#include "marketdata/CBaseMd.h"

class CTORAStockMd : public CBaseMd, public tc::sdk::MdSpi {
public:
    // The login copy is owned from here on. Python callables may be null (None).
    CTORAStockMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
                 PyObject *none);
    ~CTORAStockMd() override;

    int requestSubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) override;
    int requestUnsubscribe(const char *exchangeID, char **securityIDs, int count, char marketDataType) override;
    int requestLogin() override;

    // SDK callbacks.
    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnRspUserLogin(CTORATstpRspUserLoginField *pRspUserLoginField, CTORATstpRspInfoField *pRspInfoField,
                        int nRequestID, bool bIsLast) override;
    void OnRspSubMarketData(CTORATstpSpecificSecurityField *pSpecificSecurityField,
                            CTORATstpRspInfoField *pRspInfoField, int nRequestID, bool bIsLast) override;
    void OnRspUnSubMarketData(CTORATstpSpecificSecurityField *pSpecificSecurityField,
                              CTORATstpRspInfoField *pRspInfoField, int nRequestID, bool bIsLast) override;
    void OnRtnDepthMarketData(CTORATstpMarketDataField *pMarketDataField) override;

    // Null when the SDK object could not be created.
    CTORATstpMdApi *api() const { return api_; }

private:
    CTORATstpMdApi *api_ = nullptr;
};
