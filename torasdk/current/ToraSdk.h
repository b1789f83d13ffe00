// The adapters' view of a current-generation TORA SDK (the 2023/2025 builds): the trader API in
// namespace TORASTOCKAPI, market data through the separate CTORATstpXMdApi in TORALEV1API with
// records of its own, constants as `const` values, responses that are always single without a
// last flag, error notices with the request's id, a few requests renamed, OrderRef an int and
// the order status renumbered.
//
// The adapters are written once, against the legacy names and callback shapes. Here those
// names are made members of the callback classes the adapters derive from (so nothing of the
// SDK's namespaces reaches the global one), the callbacks are turned into the legacy shapes,
// and the requests and codes that differ are given one spelling.
#pragma once

#include "TORATstpTraderApi.h"
#include "TORATstpXMdApi.h"
#include "ToraSdkCommon.h"
#include "ToraSdkConfig.h"
#include "ToraSdkFwd.h"

namespace tc {
namespace sdk {

using TraderApi = TORASTOCKAPI::CTORATstpTraderApi;
using MdApi = TORALEV1API::CTORATstpXMdApi;

// A response that this generation always sends alone, without a last flag: the adapter's
// callback in the legacy shape, which the SDK's reaches with last = true.
#define TC_SDK_SINGLE_RESPONSE(NAME, RECORD)                                                        \
public:                                                                                              \
    virtual void NAME(RECORD *, CTORATstpRspInfoField *, int, bool) {}                              \
                                                                                                     \
private:                                                                                             \
    void NAME(RECORD *record, CTORATstpRspInfoField *info, int requestID) final {                    \
        NAME(record, info, requestID, true);                                                         \
    }

// An error notice that this generation sends with the request's id, which the engine does not
// need (the echoed request names the order or transfer).
#define TC_SDK_ERROR_NOTICE(NAME, RECORD, LEGACY_RECORD)                                            \
public:                                                                                              \
    virtual void NAME(LEGACY_RECORD *, CTORATstpRspInfoField *) {}                                  \
                                                                                                     \
private:                                                                                             \
    void NAME(RECORD *record, CTORATstpRspInfoField *info, int) final { NAME(record, info); }

// A query answer under its legacy name; this generation renamed the call.
#define TC_SDK_RENAMED_ANSWER(LEGACY, NAME, RECORD)                                                 \
public:                                                                                              \
    virtual void LEGACY(RECORD *, CTORATstpRspInfoField *, int, bool) {}                            \
                                                                                                     \
private:                                                                                             \
    void NAME(RECORD *record, CTORATstpRspInfoField *info, int requestID, bool isLast) final {       \
        LEGACY(record, info, requestID, isLast);                                                     \
    }

// The error info of the trader's responses.
using RspInfoRecord = TORASTOCKAPI::CTORATstpRspInfoField;

// The record of a cancel's error notice: the echoed request here, the order action in legacy
// builds. The adapter reads its OrderRef only.
using OrderActionErrorRecord = TORASTOCKAPI::CTORATstpInputOrderActionField;

class TraderSpi : public TORASTOCKAPI::CTORATstpTraderSpi {
public:
#include "ToraTraderNames.inc"
    using CTORATstpTraderApi = TORASTOCKAPI::CTORATstpTraderApi;
    // Records that legacy builds name otherwise.
    using CTORATstpCondOrderField = TORASTOCKAPI::CTORATstpConditionOrderField;
    using CTORATstpQryCondOrderField = TORASTOCKAPI::CTORATstpQryConditionOrderField;
    using CTORATstpConversionBondInfoField = TORASTOCKAPI::CTORATstpBondConversionInfoField;
    using CTORATstpQryConversionBondInfoField = TORASTOCKAPI::CTORATstpQryBondConversionInfoField;
    using CTORATstpSZSEImcParamsField = TORASTOCKAPI::CTORATstpImcParamsField;
    using CTORATstpQrySZSEImcParamsField = TORASTOCKAPI::CTORATstpQryImcParamsField;
    using CTORATstpSZSEImcExchangeRateField = TORASTOCKAPI::CTORATstpImcExchangeRateField;
    using CTORATstpQrySZSEImcExchangeRateField = TORASTOCKAPI::CTORATstpQryImcExchangeRateField;
    using CTORATstpSZSEHKPriceTickInfoField = TORASTOCKAPI::CTORATstpHKPriceTickInfoField;
    using CTORATstpQrySZSEHKPriceTickInfoField = TORASTOCKAPI::CTORATstpQryHKPriceTickInfoField;
    using CTORATstpRtnPeripheryTransferFundField = TORASTOCKAPI::CTORATstpPeripheryTransferFundField;
    using CTORATstpRtnPeripheryTransferPositionField = TORASTOCKAPI::CTORATstpPeripheryTransferPositionField;

    TC_SDK_SINGLE_RESPONSE(OnRspUserLogin, CTORATstpRspUserLoginField)
    TC_SDK_SINGLE_RESPONSE(OnRspUserPasswordUpdate, CTORATstpUserPasswordUpdateField)
    TC_SDK_SINGLE_RESPONSE(OnRspOrderInsert, CTORATstpInputOrderField)
    TC_SDK_SINGLE_RESPONSE(OnRspOrderAction, CTORATstpInputOrderActionField)
    TC_SDK_SINGLE_RESPONSE(OnRspTransferFund, CTORATstpInputTransferFundField)
    TC_SDK_SINGLE_RESPONSE(OnRspTransferPosition, CTORATstpInputTransferPositionField)
    TC_SDK_SINGLE_RESPONSE(OnRspInquiryJZFund, CTORATstpRspInquiryJZFundField)
    TC_SDK_SINGLE_RESPONSE(OnRspInquiryBankAccountFund, CTORATstpRspInquiryBankAccountFundField)
    TC_SDK_SINGLE_RESPONSE(OnRspInquiryMaxOrderVolume, CTORATstpRspInquiryMaxOrderVolumeField)
    TC_SDK_SINGLE_RESPONSE(OnRspInquiryTradeConcentration, CTORATstpInquiryTradeConcentrationField)
    TC_SDK_SINGLE_RESPONSE(OnRspInquiryNodeFundAssignment, CTORATstpRspInquiryNodeFundAssignmentField)
    TC_SDK_SINGLE_RESPONSE(OnRspGetConnectionInfo, CTORATstpConnectionInfoField)

    TC_SDK_ERROR_NOTICE(OnErrRtnOrderInsert, CTORATstpInputOrderField, CTORATstpInputOrderField)
    TC_SDK_ERROR_NOTICE(OnErrRtnOrderAction, CTORATstpInputOrderActionField, OrderActionErrorRecord)
    TC_SDK_ERROR_NOTICE(OnErrRtnTransferFund, CTORATstpInputTransferFundField, CTORATstpInputTransferFundField)
    TC_SDK_ERROR_NOTICE(OnErrRtnTransferPosition, CTORATstpInputTransferPositionField,
                        CTORATstpInputTransferPositionField)

    TC_SDK_RENAMED_ANSWER(OnRspQryCondOrder, OnRspQryConditionOrder, CTORATstpConditionOrderField)
    TC_SDK_RENAMED_ANSWER(OnRspQryConversionBondInfo, OnRspQryBondConversionInfo, CTORATstpBondConversionInfoField)
    TC_SDK_RENAMED_ANSWER(OnRspQrySZSEImcParams, OnRspQryImcParams, CTORATstpImcParamsField)
    TC_SDK_RENAMED_ANSWER(OnRspQrySZSEImcExchangeRate, OnRspQryImcExchangeRate, CTORATstpImcExchangeRateField)
    TC_SDK_RENAMED_ANSWER(OnRspQrySZSEHKPriceTickInfo, OnRspQryHKPriceTickInfo, CTORATstpHKPriceTickInfoField)

public:
};

// The market-data callbacks in the legacy shape: subscription answers carry no request id or
// last flag here, the login answer no last flag, and the snapshot push is OnRtnMarketData.
class MdSpi : public TORALEV1API::CTORATstpXMdSpi {
public:
#include "ToraMdNames.inc"
    using CTORATstpMdApi = TORALEV1API::CTORATstpXMdApi;

    TC_SDK_SINGLE_RESPONSE(OnRspUserLogin, CTORATstpRspUserLoginField)

public:
    virtual void OnRspSubMarketData(CTORATstpSpecificSecurityField *, CTORATstpRspInfoField *, int, bool) {}
    virtual void OnRspUnSubMarketData(CTORATstpSpecificSecurityField *, CTORATstpRspInfoField *, int, bool) {}
    virtual void OnRtnDepthMarketData(CTORATstpMarketDataField *) {}

private:
    void OnRspSubMarketData(CTORATstpSpecificSecurityField *security, CTORATstpRspInfoField *info) final {
        OnRspSubMarketData(security, info, 0, true);
    }
    void OnRspUnSubMarketData(CTORATstpSpecificSecurityField *security, CTORATstpRspInfoField *info) final {
        OnRspUnSubMarketData(security, info, 0, true);
    }
    void OnRtnMarketData(CTORATstpMarketDataField *snapshot) final { OnRtnDepthMarketData(snapshot); }
};

#undef TC_SDK_SINGLE_RESPONSE
#undef TC_SDK_ERROR_NOTICE
#undef TC_SDK_RENAMED_ANSWER

// Every query this engine sends exists in this generation.
constexpr bool kHasGetConnectionInfo = true;
constexpr bool kHasQryLofFundInfo = true;

inline int reqGetConnectionInfo(TraderApi *api, int requestID) { return api->ReqGetConnectionInfo(requestID); }
inline int reqQryLofFundInfo(TraderApi *api, TORASTOCKAPI::CTORATstpQryLofFundInfoField &request, int requestID) {
    return api->ReqQryLofFundInfo(&request, requestID);
}
// The renamed queries, under the engine's task names.
inline int reqQryConditionOrder(TraderApi *api, TORASTOCKAPI::CTORATstpQryConditionOrderField &request,
                                int requestID) {
    return api->ReqQryConditionOrder(&request, requestID);
}
inline int reqQryBondConversionInfo(TraderApi *api, TORASTOCKAPI::CTORATstpQryBondConversionInfoField &request,
                                    int requestID) {
    return api->ReqQryBondConversionInfo(&request, requestID);
}
inline int reqQrySZSEImcParams(TraderApi *api, TORASTOCKAPI::CTORATstpQryImcParamsField &request, int requestID) {
    return api->ReqQryImcParams(&request, requestID);
}
inline int reqQrySZSEImcExchangeRate(TraderApi *api, TORASTOCKAPI::CTORATstpQryImcExchangeRateField &request,
                                     int requestID) {
    return api->ReqQryImcExchangeRate(&request, requestID);
}
inline int reqQrySZSEHKPriceTickInfo(TraderApi *api, TORASTOCKAPI::CTORATstpQryHKPriceTickInfoField &request,
                                     int requestID) {
    return api->ReqQryHKPriceTickInfo(&request, requestID);
}

// The market-data API object, on plain TCP for snapshots and derived data alike.
inline MdApi *createMdApi() {
    return MdApi::CreateTstpXMdApi(TORALEV1API::TORA_TSTP_MST_TCP, TORALEV1API::TORA_TSTP_MST_TCP);
}

// The order state of an order notification.
inline OrderState orderState(const TORASTOCKAPI::CTORATstpOrderField &n) {
    using namespace TORASTOCKAPI;
    switch (n.OrderStatus) {
    case TORA_TSTP_OST_Rejected: return OrderState::InsertRejected;
    case TORA_TSTP_OST_Cached: return OrderState::Cached;
    case TORA_TSTP_OST_Accepted: return OrderState::Accepted;
    case TORA_TSTP_OST_PartTraded: return OrderState::PartTraded;
    case TORA_TSTP_OST_AllTraded: return OrderState::AllTraded;
    case TORA_TSTP_OST_PartTradeCanceled:
    case TORA_TSTP_OST_AllCanceled: return OrderState::Canceled;
    default: return OrderState::Other;
    }
}

// The volume still waiting at the exchange: this generation reports what was cancelled instead.
inline long long remainingVolume(const TORASTOCKAPI::CTORATstpOrderField &n) {
    return static_cast<long long>(n.VolumeTotalOriginal) - n.VolumeTraded - n.VolumeCanceled;
}

// The cash the account can use, from a trading-account answer.
inline double availableCash(const TORASTOCKAPI::CTORATstpTradingAccountField &account) { return account.UsefulMoney; }

// The yuan, in a request's currency field (one code here).
inline void putCurrencyCNY(char &currency) { currency = TORASTOCKAPI::TORA_TSTP_CID_CNY; }

// An order price type given in the engine's (legacy) codes, in this SDK's codes: three were
// renumbered.
inline char orderPriceType(char engineCode) {
    switch (engineCode) {
    case '8': return TORASTOCKAPI::TORA_TSTP_OPT_FixPrice;
    case 'G': return TORASTOCKAPI::TORA_TSTP_OPT_FiveLevelPrice;
    case 'a': return TORASTOCKAPI::TORA_TSTP_OPT_HomeBestPrice;
    default: return engineCode;
    }
}

// The hedge flag of a stock order where the request has one (not in this generation).
constexpr char kHedgeSpeculation = '1';

}  // namespace sdk
}  // namespace tc
