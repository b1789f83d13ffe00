// The adapters' view of a legacy-generation TORA SDK (the 3.9.x builds, and our stand-in):
// everything in the global namespace, constants as macros, one market-data API sharing the
// trader's records. The adapters are written against these names once; what differs between
// builds of this generation is settled here, from what the build's headers declare
// (ToraSdkConfig.h, learnt when the build was configured).
#pragma once

#include "TORATstpMdApi.h"
#include "TORATstpTraderApi.h"
#include "ToraSdkConfig.h"

namespace tc {
namespace sdk {

using TraderApi = CTORATstpTraderApi;
using MdApi = CTORATstpMdApi;
using MdSpi = CTORATstpMdSpi;

// The trader callbacks the adapter overrides. Builds without a request have no answer callback
// for it either; the answer is declared here so that the adapter keeps one source (the SDK
// never calls it, and the engine never sends the request: see the constants below).
class TraderSpi : public CTORATstpTraderSpi {
public:
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

// The market-data API object. Later 3.9 builds take the market-data and derived-data modes;
// '0' for both is the plain TCP connection that 3.9.3's parameterless call makes.
inline MdApi *createMdApi() {
#if TC_SDK_MD_CREATE_MODES
    return CTORATstpMdApi::CreateTstpMdApi('0', '0');
#else
    return CTORATstpMdApi::CreateTstpMdApi();
#endif
}

}  // namespace sdk
}  // namespace tc
