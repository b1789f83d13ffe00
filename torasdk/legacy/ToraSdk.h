// The adapters' view of a legacy-generation TORA SDK (the 3.9.x builds, and our stand-in):
// everything in the global namespace, constants as macros, one market-data API sharing the
// trader's records. The adapters are written against these names once; what differs between
// builds of this generation is settled here, from what the build's headers declare
// (ToraSdkConfig.h, learnt when the build was configured).
#pragma once

#include <cstddef>

#include "TORATstpMdApi.h"
#include "TORATstpTraderApi.h"
#include "ToraSdkCommon.h"
#include "ToraSdkConfig.h"
#include "ToraSdkFwd.h"

namespace tc {
namespace sdk {

using TraderApi = CTORATstpTraderApi;
using MdApi = CTORATstpMdApi;

// The market-data callbacks: the SDK's own. Its records (the trader's) are members here as in
// the current generation's layer, where they are the market-data side's own.
class MdSpi : public CTORATstpMdSpi {
public:
#include "ToraMdNames.inc"
};

// The error info of the trader's responses.
using RspInfoRecord = CTORATstpRspInfoField;

// The record of a cancel's error notice (the current generation echoes the request instead).
using OrderActionErrorRecord = CTORATstpOrderActionField;

// The trader callbacks the adapter overrides. Builds without a request have no answer callback
// for it either; the answer is declared here so that the adapter keeps one source (the SDK
// never calls it, and the engine never sends the request: see the constants below).
class TraderSpi : public CTORATstpTraderSpi {
public:
    // The SDK's records and type names as members, as in the current generation's layer (its
    // constants are macros, visible anyway).
#include "ToraTraderNames.inc"

#if !TC_SDK_HAS_GET_CONNECTION_INFO
    virtual void OnRspGetConnectionInfo(CTORATstpConnectionInfoField *, CTORATstpRspInfoField *, int, bool) {}
#endif
#if !TC_SDK_HAS_QRY_LOF_FUND_INFO
    virtual void OnRspQryLofFundInfo(CTORATstpLofFundInfoField *, CTORATstpRspInfoField *, int, bool) {}
#endif
};

// Requests some builds lack: their tasks then have no handler, and answer as any task
// without one does.
constexpr bool kHasGetConnectionInfo = TC_SDK_HAS_GET_CONNECTION_INFO != 0;
constexpr bool kHasQryLofFundInfo = TC_SDK_HAS_QRY_LOF_FUND_INFO != 0;

// What a request the SDK lacks returns if it is sent anyway: not sent.
constexpr int kNotInThisSdk = -1;

inline int reqGetConnectionInfo(TraderApi *api, int requestID) {
#if TC_SDK_HAS_GET_CONNECTION_INFO
    return api->ReqGetConnectionInfo(requestID);
#else
    (void)api;
    (void)requestID;
    return kNotInThisSdk;
#endif
}

inline int reqQryLofFundInfo(TraderApi *api, CTORATstpQryLofFundInfoField &request, int requestID) {
#if TC_SDK_HAS_QRY_LOF_FUND_INFO
    return api->ReqQryLofFundInfo(&request, requestID);
#else
    (void)api;
    (void)request;
    (void)requestID;
    return kNotInThisSdk;
#endif
}

// Queries the current generation renamed, under the engine's task names.
inline int reqQryConditionOrder(TraderApi *api, CTORATstpQryCondOrderField &request, int requestID) {
    return api->ReqQryCondOrder(&request, requestID);
}
inline int reqQryBondConversionInfo(TraderApi *api, CTORATstpQryConversionBondInfoField &request, int requestID) {
    return api->ReqQryConversionBondInfo(&request, requestID);
}
inline int reqQrySZSEImcParams(TraderApi *api, CTORATstpQrySZSEImcParamsField &request, int requestID) {
    return api->ReqQrySZSEImcParams(&request, requestID);
}
inline int reqQrySZSEImcExchangeRate(TraderApi *api, CTORATstpQrySZSEImcExchangeRateField &request, int requestID) {
    return api->ReqQrySZSEImcExchangeRate(&request, requestID);
}
inline int reqQrySZSEHKPriceTickInfo(TraderApi *api, CTORATstpQrySZSEHKPriceTickInfoField &request, int requestID) {
    return api->ReqQrySZSEHKPriceTickInfo(&request, requestID);
}

// The market-data API object. Later 3.9 builds take the market-data and derived-data modes;
// '0' for both is the plain TCP connection that 3.9.3's parameterless call makes.
inline MdApi *createMdApi() {
#if TC_SDK_MD_CREATE_MODES
    return CTORATstpMdApi::CreateTstpMdApi('0', '0');
#else
    return CTORATstpMdApi::CreateTstpMdApi();
#endif
}

// The order state of an order notification: a refused insert is a submit status here, and
// only the queueing states count (an order not queueing has left the book another way, which
// a later notification tells).
inline OrderState orderState(const CTORATstpOrderField &n) {
    if (n.OrderSubmitStatus == TORA_TSTP_OSS_InsertRejected) return OrderState::InsertRejected;
    switch (n.OrderStatus) {
    case TORA_TSTP_OST_AllTraded: return OrderState::AllTraded;
    case TORA_TSTP_OST_PartTradedQueueing: return OrderState::PartTraded;
    case TORA_TSTP_OST_NoTradeQueueing: return OrderState::Accepted;
    case TORA_TSTP_OST_Canceled: return OrderState::Canceled;
    case TORA_TSTP_OST_Cached: return OrderState::Cached;
    default: return OrderState::Other;
    }
}

// The volume still waiting at the exchange.
inline long long remainingVolume(const CTORATstpOrderField &n) { return n.VolumeTotal; }

// The cash the account can use, from a trading-account answer.
inline double availableCash(const CTORATstpTradingAccountField &account) { return account.Available; }

// The yuan, in a request's currency field (the text "CNY" here).
template <std::size_t N>
inline void putCurrencyCNY(char (&currency)[N]) {
    static_assert(N >= 4, "room for the code and its NUL");
    currency[0] = 'C';
    currency[1] = 'N';
    currency[2] = 'Y';
    currency[3] = '\0';
}

// An order price type given in the engine's codes: these builds' own.
inline char orderPriceType(char engineCode) { return engineCode; }

// The hedge flag of a stock order.
constexpr char kHedgeSpeculation = TORA_TSTP_HF_Speculation;

}  // namespace sdk
}  // namespace tc
