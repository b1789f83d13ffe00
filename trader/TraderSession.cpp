// The trader session: connection, login, the preparation queries that lead to TraderReady, the
// trading-day roll and disconnection.
#include <cstring>

#include "engine/TaskScheduler.h"
#include "trader/CTORAStockTrader.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

void CTORAStockTrader::scheduleStartupTask(int taskID) {
    // Start-up tasks repeat until the broker answers them without error.
    addTask(taskID, nullptr, 1, login_->TaskExecuteGap, login_->TaskFailedGap, true, login_->TaskExecuteTimeout);
}

void CTORAStockTrader::OnFrontConnected() {
    sessionConfirmed_.store(false, std::memory_order_release);
    setApiStatus(ENUM_ApiStatus_Initializing);
    // Ahead of any task the strategy queued while the connection was lost: such a task cannot be
    // answered before the login ("not logged in"), and one that repeats until it succeeds would
    // keep the login from ever going out. Timed like scheduleStartupTask's.
    const auto schedule = [this](int taskID) {
        scheduler_->addSessionTask(taskID, 1, login_->TaskExecuteGap, login_->TaskFailedGap, true,
                                   login_->TaskExecuteTimeout);
    };
    schedule(ENUM_TORAStockTaskID_LoginTrader);
    // The security list is process-wide: once one engine has loaded it, others skip it.
    if (!tc::securitiesLoaded()) schedule(ENUM_TORAStockTaskID_QrySecurity);
    schedule(ENUM_TORAStockTaskID_QryShareholderAccount);
    schedule(ENUM_TORAStockTaskID_QryTradingAccount);
}

void CTORAStockTrader::OnFrontDisconnected(int nReason) {
    sessionConfirmed_.store(false, std::memory_order_release);
    setApiStatus(ENUM_ApiStatus_Disconnected);
    // Whatever was queued belongs to the lost connection; the next connection queues it again.
    scheduler_->reset();
    deliver(ENUM_TORAStockEventID_TraderDisconnected, nullptr, true, nReason, kMsgTraderDisconnected);
}

int CTORAStockTrader::reqLogin(tc::Task *task) {
    CTORATstpReqUserLoginField req;
    std::memset(&req, 0, sizeof req);
    tc::copyField(req.LogInAccount, login_->UserID);
    req.LogInAccountType = TORA_TSTP_LACT_UserID;
    password_.copyTo(*login_, req.Password);
    tc::copyField(req.UserProductInfo, login_->UserProductInfo);
    tc::copyField(req.MacAddress, login_->MacAddress);
    tc::copyField(req.InnerIPAddress, login_->InnerIPAddress);
    tc::copyField(req.TerminalInfo, login_->TerminalInfo);
    tc::copyField(req.OuterIPAddress, login_->OuterIPAddress);
    TC_SDK_IF_FIELD(req, OuterPort, field = login_->OuterPort);   // legacy builds only
    const int rc = api_ ? api_->ReqUserLogin(&req, task->SubID) : ENUM_ErrorID_FailToCreateTrader;
    return sendResult(task->TaskID, rc);
}

void CTORAStockTrader::OnRspUserLogin(CTORATstpRspUserLoginField *pRspUserLoginField,
                                      CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/, bool bIsLast) {
    const int errorID = errorIDOf(pRspInfoField);
    // The broker's "log in again" answer: everything queued for this connection is stale.
    if (errorID == 12400) scheduler_->reset();
    if (errorID == 0 && pRspUserLoginField && apiStatus() == ENUM_ApiStatus_Initializing) {
        setSession(pRspUserLoginField->FrontID, pRspUserLoginField->SessionID);
        sessionConfirmed_.store(true, std::memory_order_release);
        char day[sizeof(TQNDateType)];
        tc::copyField(day, pRspUserLoginField->TradingDay);
        if (tc::updateTradingDay(day) == tc::TradingDayChange::Rolled) {
            // A new day: the security list may have changed overnight.
            scheduleStartupTask(ENUM_TORAStockTaskID_QrySecurity);
            deliver(ENUM_EventID_DayRolling, nullptr, true, 0, day);
        }
    }
    const ErrorText message(pRspInfoField);
    deliver(ENUM_TORAStockTaskID_LoginTrader, pRspUserLoginField, bIsLast, errorID, message.c_str());
    if (bIsLast) scheduler_->answered(ENUM_TORAStockTaskID_LoginTrader, errorID != 0);
}

void CTORAStockTrader::OnRspQrySecurity(CTORATstpSecurityField *pSecurityField, CTORATstpRspInfoField *pRspInfoField,
                                        int /*nRequestID*/, bool bIsLast) {
    const int errorID = errorIDOf(pRspInfoField);
    // The directory is only built while preparing a connection; orders placed while Working
    // read it, and a later list (a day roll's) must not change it under them.
    if (errorID == 0 && pSecurityField && apiStatus() == ENUM_ApiStatus_Initializing) {
        tc::securityDirectory.enter(*pSecurityField);
    }
    const ErrorText message(pRspInfoField);
    deliver(ENUM_TORAStockTaskID_QrySecurity, pSecurityField, bIsLast, errorID, message.c_str());
    if (bIsLast) {
        if (errorID == 0) tc::setSecuritiesLoaded(true);
        scheduler_->answered(ENUM_TORAStockTaskID_QrySecurity, errorID != 0);
    }
}

void CTORAStockTrader::OnRspQryShareholderAccount(CTORATstpShareholderAccountField *pShareholderAccountField,
                                                  CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/,
                                                  bool bIsLast) {
    const int errorID = errorIDOf(pRspInfoField);
    if (errorID == 0 && pShareholderAccountField) {
        shareholderLock_.lock();
        if (pShareholderAccountField->ExchangeID == TORA_TSTP_EXD_SSE) {
            tc::copyField(shareholderSSE_, pShareholderAccountField->ShareholderID);
        } else if (pShareholderAccountField->ExchangeID == TORA_TSTP_EXD_SZSE) {
            tc::copyField(shareholderSZSE_, pShareholderAccountField->ShareholderID);
        }
        shareholderLock_.unlock();
    }
    const ErrorText message(pRspInfoField);
    deliver(ENUM_TORAStockTaskID_QryShareholderAccount, pShareholderAccountField, bIsLast, errorID, message.c_str());
    if (bIsLast) scheduler_->answered(ENUM_TORAStockTaskID_QryShareholderAccount, errorID != 0);
}

void CTORAStockTrader::OnRspQryTradingAccount(CTORATstpTradingAccountField *pTradingAccountField,
                                              CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/,
                                              bool bIsLast) {
    const int errorID = errorIDOf(pRspInfoField);
    if (errorID == 0 && pTradingAccountField && apiStatus() == ENUM_ApiStatus_Initializing) {
        lockCash();
        setUseableCash(tc::sdk::availableCash(*pTradingAccountField));
        unlockCash();
        tc::copyField(login_->DepartmentID, pTradingAccountField->DepartmentID);
        tc::copyField(login_->AccountID, pTradingAccountField->AccountID);
    }
    const ErrorText message(pRspInfoField);
    deliver(ENUM_TORAStockTaskID_QryTradingAccount, pTradingAccountField, bIsLast, errorID, message.c_str());
    if (bIsLast) {
        // The last preparation answer: the engine is ready, once per connection.
        if (errorID == 0 && apiStatus() != ENUM_ApiStatus_Working) {
            setApiStatus(ENUM_ApiStatus_Working);
            deliver(ENUM_EventID_TraderReady, nullptr, true, 0, "");
        }
        scheduler_->answered(ENUM_TORAStockTaskID_QryTradingAccount, errorID != 0);
    }
}

void CTORAStockTrader::OnRtnMarketStatus(CTORATstpMarketStatusField *pMarketStatusField) {
    if (pMarketStatusField) deliver(ENUM_TORAStockEventID_MarketStatus, pMarketStatusField, true, 0, "");
}

void CTORAStockTrader::OnRtnTradingNotice(CTORATstpTradingNoticeField *pTradingNoticeField) {
    if (pTradingNoticeField) deliver(ENUM_TORAStockEventID_TradingNotice, pTradingNoticeField, true, 0, "");
}
