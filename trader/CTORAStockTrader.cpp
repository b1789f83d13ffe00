// Construction, the SDK object, task dispatch and the event helpers of the stock trader.
#include "trader/CTORAStockTrader.h"

#include <vector>

#include "engine/TaskScheduler.h"
#include "events/Delivery.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

namespace tc {

std::string traderFlowPath(const CQNLoginField &login, platform::PathStyle style) {
    char basePath[sizeof login.BasePath];
    copyField(basePath, login.BasePath);
    char userID[sizeof login.UserID];
    copyField(userID, login.UserID);
    std::string raw = basePath[0] ? basePath : ".";
    raw += "/";
    raw += userID;
    raw += "/TDFlow/";
    // An absolute BasePath stays absolute (dropping its leading separator would quietly move a
    // user's flow files under the current directory); a Windows network path keeps both
    // separators.
    const platform::PathPieces split = platform::splitPath(raw, style);
    std::string path = split.root;
    for (const std::string &piece : split.pieces) path += piece + "/";
    return path;
}

}  // namespace tc

CTORAStockTrader::CTORAStockTrader(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor,
                                   PyObject *eventProcessor, PyObject *loopProcessor)
    : CBaseTrader(runID16, loginCopy, orderEventProcessor, eventProcessor, loopProcessor) {
    sink_.fallbackEventHandler = &tc::printEvent;
    fillTaskHandlers();
    // Order entry's memory, made ready before the first order: index buckets for the first few
    // thousand orders, and chunks for slots and index entries waiting in the permanent arenas.
    orderIndex_.reserve(4096);
    tc::PermanentArena::records().prepare();
    tc::PermanentArena::nodes().prepare();
    createApi();
}

CTORAStockTrader::~CTORAStockTrader() {
    if (api_) {
        // Release stops the SDK's threads; no callback reaches this object afterwards.
        api_->Release();
        api_ = nullptr;
    }
    taskHandlers_.clear();
    // Order and transfer records stay allocated: Python may still hold their addresses.
}

void CTORAStockTrader::createApi() {
    flowPath_ = tc::traderFlowPath(*login_);
    try {
        api_ = CTORATstpTraderApi::CreateTstpTraderApi(flowPath_.c_str(), false);
        if (api_) {
            api_->RegisterSpi(this);
            char front[sizeof login_->TraderFrontAddress + 1];
            tc::copyText(front, login_->TraderFrontAddress);
            api_->RegisterFront(front);
            api_->SubscribePrivateTopic(static_cast<TORA_TE_RESUME_TYPE>(2));
            api_->SubscribePublicTopic(static_cast<TORA_TE_RESUME_TYPE>(2));
            api_->Init();
            return;
        }
    } catch (...) {
        if (api_) api_->Release();
        api_ = nullptr;
    }
    deliver(ENUM_TORAStockEventID_CreateApiInstance, nullptr, true, ENUM_ErrorID_FailToCreateTrader,
            kMsgFailToCreateTrader);
}

void CTORAStockTrader::deliver(int eventID, const void *record, bool isLast, int errorID, const char *message) const {
    tc::deliverEvent(sink_, eventID, record, isLast, errorID, message ? message : "");
}

void CTORAStockTrader::answer(int taskID, const void *record, const CTORATstpRspInfoField *info, bool isLast) {
    const int errorID = errorIDOf(info);
    const ErrorText message(info);
    deliver(taskID, record, isLast, errorID, message.c_str());
    if (isLast) scheduler_->answered(taskID, errorID != 0);
}

int CTORAStockTrader::sendResult(int taskID, int result) {
    if (result != 0) tc::deliverTaskEvent(sink_, taskID, nullptr, true, result, kMsgFailToSend);
    return result;
}

int CTORAStockTrader::runTask(tc::Task *task) {
    if (!task) return ENUM_ErrorID_InvalidEventID;
    auto it = taskHandlers_.find(task->TaskID);
    if (it == taskHandlers_.end()) {
        tc::deliverTaskEvent(sink_, task->TaskID, nullptr, true, ENUM_ErrorID_InvalidEventID, kMsgInvalidEventID);
        return ENUM_ErrorID_InvalidEventID;
    }
    return (this->*(it->second))(task);
}

void CTORAStockTrader::fillTaskHandlers() {
    const std::pair<int, TaskHandler> rows[] = {
        {ENUM_TORAStockTaskID_LoginTrader, &CTORAStockTrader::reqLogin},
        // exchange, StandardID
        {ENUM_TORAStockTaskID_QrySecurity, &CTORAStockTrader::reqQrySecurity},
        {ENUM_TORAStockTaskID_QryIPOInfo, &CTORAStockTrader::reqQryIPOInfo},
        {ENUM_TORAStockTaskID_QryRationalInfo, &CTORAStockTrader::reqQryRationalInfo},
        {ENUM_TORAStockTaskID_QryPledgeInfo, &CTORAStockTrader::reqQryPledgeInfo},
        {ENUM_TORAStockTaskID_QryBondConversionInfo, &CTORAStockTrader::reqQryBondConversionInfo},
        {ENUM_TORAStockTaskID_QryBondPutbackInfo, &CTORAStockTrader::reqQryBondPutbackInfo},
        {ENUM_TORAStockTaskID_QryETFFile, &CTORAStockTrader::reqQryETFFile},
        {ENUM_TORAStockTaskID_QryETFBasket, &CTORAStockTrader::reqQryETFBasket},
        {ENUM_TORAStockTaskID_QryLofFundInfo, &CTORAStockTrader::reqQryLofFundInfo},
        {ENUM_TORAStockTaskID_QryIPONumberResult, &CTORAStockTrader::reqQryIPONumberResult},
        // InvestorID, exchange, StandardID
        {ENUM_TORAStockTaskID_QryPosition, &CTORAStockTrader::reqQryPosition},
        {ENUM_TORAStockTaskID_QryPledgePosition, &CTORAStockTrader::reqQryPledgePosition},
        {ENUM_TORAStockTaskID_QryStandardBondPosition, &CTORAStockTrader::reqQryStandardBondPosition},
        {ENUM_TORAStockTaskID_QryInvestorPositionLimit, &CTORAStockTrader::reqQryInvestorPositionLimit},
        // InvestorID, exchange, StandardID, BusinessID
        {ENUM_TORAStockTaskID_QryOrder, &CTORAStockTrader::reqQryOrder},
        {ENUM_TORAStockTaskID_QryTrade, &CTORAStockTrader::reqQryTrade},
        // InvestorID, exchange
        {ENUM_TORAStockTaskID_QryOrderAction, &CTORAStockTrader::reqQryOrderAction},
        {ENUM_TORAStockTaskID_QryConditionOrderAction, &CTORAStockTrader::reqQryConditionOrderAction},
        {ENUM_TORAStockTaskID_QryShareholderAccount, &CTORAStockTrader::reqQryShareholderAccount},
        {ENUM_TORAStockTaskID_QryIPOQuota, &CTORAStockTrader::reqQryIPOQuota},
        // InvestorID
        {ENUM_TORAStockTaskID_QryInvestor, &CTORAStockTrader::reqQryInvestor},
        {ENUM_TORAStockTaskID_QryInvestorCondOrderLimitParam, &CTORAStockTrader::reqQryInvestorCondOrderLimitParam},
        {ENUM_TORAStockTaskID_QryTradingNotice, &CTORAStockTrader::reqQryTradingNotice},
        // exchange
        {ENUM_TORAStockTaskID_QryTradingFee, &CTORAStockTrader::reqQryTradingFee},
        {ENUM_TORAStockTaskID_QryMarket, &CTORAStockTrader::reqQryMarket},
        {ENUM_TORAStockTaskID_QryExchange, &CTORAStockTrader::reqQryExchange},
        // an empty request
        {ENUM_TORAStockTaskID_QrySZSEImcParams, &CTORAStockTrader::reqQrySZSEImcParams},
        {ENUM_TORAStockTaskID_QrySZSEImcExchangeRate, &CTORAStockTrader::reqQrySZSEImcExchangeRate},
        // rows of their own
        {ENUM_TORAStockTaskID_QryOrderFundDetail, &CTORAStockTrader::reqQryOrderFundDetail},
        {ENUM_TORAStockTaskID_QryConditionOrder, &CTORAStockTrader::reqQryConditionOrder},
        {ENUM_TORAStockTaskID_QryPrematurityRepoOrder, &CTORAStockTrader::reqQryPrematurityRepoOrder},
        {ENUM_TORAStockTaskID_QryTradeConcentration, &CTORAStockTrader::reqQryTradeConcentration},
        {ENUM_TORAStockTaskID_QryTradingAccount, &CTORAStockTrader::reqQryTradingAccount},
        {ENUM_TORAStockTaskID_QryJZCash, &CTORAStockTrader::reqQryJZCash},
        {ENUM_TORAStockTaskID_QryBankAccountCash, &CTORAStockTrader::reqQryBankAccountCash},
        {kBankBalanceTaskID, &CTORAStockTrader::reqQryBankAccountCash},
        {ENUM_TORAStockTaskID_QryTransferCashDetail, &CTORAStockTrader::reqQryTransferCashDetail},
        {ENUM_TORAStockTaskID_QryTransferPositionDetail, &CTORAStockTrader::reqQryTransferPositionDetail},
        {ENUM_TORAStockTaskID_QryPeripheryTransferCashDetail, &CTORAStockTrader::reqQryPeripheryTransferCashDetail},
        {ENUM_TORAStockTaskID_QryPeripheryTransferPositionDetail,
         &CTORAStockTrader::reqQryPeripheryTransferPositionDetail},
        {ENUM_TORAStockTaskID_QryUser, &CTORAStockTrader::reqQryUser},
        {ENUM_TORAStockTaskID_QryShareholderSpecPrivilege, &CTORAStockTrader::reqQryShareholderSpecPrivilege},
        {ENUM_TORAStockTaskID_QryIPOMatchNumberResult, &CTORAStockTrader::reqQryIPOMatchNumberResult},
        {ENUM_TORAStockTaskID_QryMaxOrderVolume, &CTORAStockTrader::reqQryMaxOrderVolume},
        {ENUM_TORAStockTaskID_QryInvestorTradingFee, &CTORAStockTrader::reqQryInvestorTradingFee},
        {ENUM_TORAStockTaskID_QryNodeCashAssignment, &CTORAStockTrader::reqQryNodeCashAssignment},
        {ENUM_TORAStockTaskID_QryConnectionInfo, &CTORAStockTrader::reqQryConnectionInfo},
        {ENUM_TORAStockTaskID_QrySZSEHKPriceTickInfo, &CTORAStockTrader::reqQrySZSEHKPriceTickInfo},
        {ENUM_TORAStockTaskID_QrySystemNodeInfo, &CTORAStockTrader::reqQrySystemNodeInfo},
    };
    taskHandlers_.reserve(sizeof rows / sizeof rows[0]);
    for (const auto &row : rows) taskHandlers_.emplace(row.first, row.second);
    // Queries the SDK of this build cannot send have no handler.
    if (!tc::sdk::kHasGetConnectionInfo) taskHandlers_.erase(ENUM_TORAStockTaskID_QryConnectionInfo);
    if (!tc::sdk::kHasQryLofFundInfo) taskHandlers_.erase(ENUM_TORAStockTaskID_QryLofFundInfo);
}

// --- inspection -----------------------------------------------------------------------------------

tc::OrderSlot *CTORAStockTrader::findOrderSlot(int orderID) const {
    orderIndexLock_.lock();
    auto it = orderIndex_.find(orderID);
    tc::OrderSlot *slot = it == orderIndex_.end() ? nullptr : it->second;
    orderIndexLock_.unlock();
    return slot;
}

CQNOrderField *CTORAStockTrader::findOrderRecord(int orderID) const {
    tc::OrderSlot *slot = findOrderSlot(orderID);
    return slot ? &slot->record : nullptr;
}

CQNTransferAssetField *CTORAStockTrader::findTransferRecord(int transferID) const {
    tc::TransferSlot *slot = findTransfer(transferID);
    return slot ? &slot->record : nullptr;
}

bool CTORAStockTrader::isActiveOrder(int orderID) const {
    tc::ReadGuard<tc::RWSpinLock> guard(activeOrderLock_);
    return activeOrders_.count(orderID) != 0;
}

std::size_t CTORAStockTrader::activeOrderCount() const {
    tc::ReadGuard<tc::RWSpinLock> guard(activeOrderLock_);
    return activeOrders_.size();
}

void CTORAStockTrader::copyShareholderID(char exchange, char (&out)[11]) const {
    shareholderLock_.lock();
    if (exchange == '1') {
        tc::copyField(out, shareholderSSE_);
    } else if (exchange == '2') {
        tc::copyField(out, shareholderSZSE_);
    } else {
        out[0] = '\0';
    }
    shareholderLock_.unlock();
}

std::string CTORAStockTrader::shareholderID(char exchange) const {
    char id[11];
    copyShareholderID(exchange, id);
    return id;
}
