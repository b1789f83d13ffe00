#include "marketdata/CTORAStockMd.h"

#include <cstring>
#include <exception>

#include "engine/Text.h"

using namespace tc::sdk::md_names;

namespace {

// The broker's error code and message of an answer; 0 and "" when the answer carries none.
// The message is copied so that it is NUL-terminated whatever the SDK left in the field.
struct ResponseError {
    explicit ResponseError(const CTORATstpRspInfoField *info) {
        if (info) {
            errorID = info->ErrorID;
            tc::copyField(message, info->ErrorMsg);
        } else {
            message[0] = '\0';
        }
    }
    int errorID = 0;
    char message[sizeof(CTORATstpRspInfoField::ErrorMsg) + 1];
};

// The broker refuses this login for good (wrong credentials): no further attempt is made.
constexpr int kLoginRefusedForGood = 3;

}  // namespace

CTORAStockMd::CTORAStockMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
                           PyObject *none)
    : CBaseMd(loginCopy, marketDataProcessor, eventProcessor, none) {
    createRegistryKeys();

    CTORATstpMdApi *api = nullptr;
    try {
        api = tc::sdk::createMdApi();
        if (api) {
            // The SDK may call back as soon as it is started, so api_ is set before Init.
            api_ = api;
            api->RegisterSpi(this);
            api->RegisterFront(login_->MdFrontAddress);
            api->Init();
        }
    } catch (...) {
        if (api) api->Release();
        api_ = nullptr;
        api = nullptr;
    }
    if (!api) {
        tc::deliverEvent(sink_, ENUM_TORAStockEventID_CreateApiInstance, nullptr, true, ENUM_ErrorID_FailToCreateMd,
                         ENUM_ErrorMsg_FailToCreateMd);
    }
}

CTORAStockMd::~CTORAStockMd() {
    // No callback arrives once the SDK object is released; the registry, the index table and
    // the login copy go with the base. Snapshot records are never freed.
    if (api_) {
        api_->Release();
        api_ = nullptr;
    }
}

int CTORAStockMd::requestSubscribe(const char *exchangeID, char **securityIDs, int count, char /*marketDataType*/) {
    // Recorded already; what is not sent now goes out with the re-send after the next login.
    if (apiStatus() != ENUM_ApiStatus_Working || !api_) return 0;
    return api_->SubscribeMarketData(securityIDs, count, exchangeID ? exchangeID[0] : '\0');
}

int CTORAStockMd::requestUnsubscribe(const char *exchangeID, char **securityIDs, int count, char /*marketDataType*/) {
    if (apiStatus() != ENUM_ApiStatus_Working || !api_) return 0;
    return api_->UnSubscribeMarketData(securityIDs, count, exchangeID ? exchangeID[0] : '\0');
}

int CTORAStockMd::requestLogin() {
    if (!api_) return ENUM_ErrorID_InvalidMdInstance;
    CTORATstpReqUserLoginField request;
    std::memset(&request, 0, sizeof(request));
    const CQNLoginField &l = *login_;
    tc::copyField(request.LogInAccount, l.UserID);
    request.LogInAccountType = TORA_TSTP_LACT_UserID;
    password_.copyTo(l, request.Password);
    tc::copyField(request.MacAddress, l.MacAddress);
    tc::copyField(request.InnerIPAddress, l.InnerIPAddress);
    tc::copyField(request.TerminalInfo, l.TerminalInfo);
    tc::copyField(request.OuterIPAddress, l.OuterIPAddress);
    const int result = api_->ReqUserLogin(&request, 0);
    if (result != 0) {
        // The supervisor asks again a second later while the status stays Initializing.
        tc::deliverEvent(sink_, ENUM_TORAStockTaskID_LoginMd, nullptr, true, result, ENUM_ErrorMsg_FailToSend);
    }
    return result;
}

void CTORAStockMd::OnFrontConnected() {
    // The supervisor sends the login once the trader side is working.
    setApiStatus(ENUM_ApiStatus_Initializing);
}

void CTORAStockMd::OnFrontDisconnected(int nReason) {
    setApiStatus(ENUM_ApiStatus_Disconnected);
    tc::deliverEvent(sink_, ENUM_TORAStockEventID_MdDisconnected, nullptr, true, nReason, ENUM_ErrorMsg_MdDisconnected);
}

void CTORAStockMd::OnRspUserLogin(CTORATstpRspUserLoginField *pRspUserLoginField,
                                  CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/, bool bIsLast) {
    const ResponseError error(pRspInfoField);
    tc::deliverEvent(sink_, ENUM_TORAStockTaskID_LoginMd, pRspUserLoginField, bIsLast, error.errorID, error.message);
    if (error.errorID == kLoginRefusedForGood) {
        setApiStatus(ENUM_ApiStatus_Failed);
        return;
    }
    if (error.errorID != 0 || !bIsLast) return;

    setApiStatus(ENUM_ApiStatus_Working);
    // The recorded subscriptions go out before MdReady reaches Python: what its processor
    // subscribes then goes out once, by its own call, and stays recorded (a re-send after it
    // would send it again, and drop it if its exchange is still unknown).
    try {
        subscribeSecurities(nullptr, nullptr, ENUM_MarketDataType_Snap);
    } catch (const std::exception &) {
        // Out of memory while copying the registry: nothing sensible to report from an SDK
        // thread; the next login re-sends everything again.
    }
    tc::deliverEvent(sink_, ENUM_EventID_MdReady, nullptr, true, 0, "");
}

void CTORAStockMd::OnRspSubMarketData(CTORATstpSpecificSecurityField *pSpecificSecurityField,
                                      CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/, bool bIsLast) {
    const ResponseError error(pRspInfoField);
    tc::deliverEvent(sink_, ENUM_TORAStockEventID_Subscribe, pSpecificSecurityField, bIsLast, error.errorID,
                     error.message);
}

void CTORAStockMd::OnRspUnSubMarketData(CTORATstpSpecificSecurityField *pSpecificSecurityField,
                                        CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/, bool bIsLast) {
    const ResponseError error(pRspInfoField);
    tc::deliverEvent(sink_, ENUM_TORAStockEventID_Unsubscribe, pSpecificSecurityField, bIsLast, error.errorID,
                     error.message);
}

void CTORAStockMd::OnRtnDepthMarketData(CTORATstpMarketDataField *pMarketDataField) {
    try {
        tc::onMarketData(snapshotIndex_, sink_, pMarketDataField);
    } catch (const std::exception &) {
        // Only the first snapshot of a security allocates; without memory it is skipped. (Not
        // catch-all: a thread that is being ended, which unwinds through here, must stay ended.)
    }
}
