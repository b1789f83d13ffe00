// Query tasks: one request builder per row of the task handler table, and the answers, each
// delivered as one event per record with the last one completing the task.
#include <cstring>

#include "engine/TaskScheduler.h"
#include "trader/CTORAStockTrader.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

namespace {

template <class Req>
Req zeroed() {
    Req r;
    std::memset(static_cast<void *>(&r), 0, sizeof r);
    return r;
}

// Without an SDK object nothing can be sent.
template <class Req>
int callApi(tc::sdk::TraderApi *api, int (tc::sdk::TraderApi::*method)(Req *, int), Req &req, int requestID) {
    return api ? (api->*method)(&req, requestID) : ENUM_ErrorID_FailToCreateTrader;
}

// The task's exchange is the first character of its ExchangeID (an ENUM_ExchangeID_ code).
char exchangeOf(const tc::Task *t) { return t->ExchangeID[0]; }

}  // namespace

#define TC_SEND(method) sendResult(t->TaskID, callApi(api_, &CTORATstpTraderApi::method, req, t->SubID))
// The requests that SDK builds name (or lack) differently go through the SDK layer.
#define TC_SEND_VIA(request) \
    sendResult(t->TaskID, api_ ? tc::sdk::request(api_, req, t->SubID) : ENUM_ErrorID_FailToCreateTrader)

// --- exchange, StandardID -----------------------------------------------------------------------------

int CTORAStockTrader::reqQrySecurity(tc::Task *t) {
    auto req = zeroed<CTORATstpQrySecurityField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQrySecurity);
}

int CTORAStockTrader::reqQryIPOInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQryIPOInfoField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryIPOInfo);
}

int CTORAStockTrader::reqQryRationalInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQryRationalInfoField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryRationalInfo);
}

int CTORAStockTrader::reqQryPledgeInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPledgeInfoField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryPledgeInfo);
}

int CTORAStockTrader::reqQryBondConversionInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQryConversionBondInfoField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND_VIA(reqQryBondConversionInfo);
}

int CTORAStockTrader::reqQryBondPutbackInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQryBondPutbackInfoField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryBondPutbackInfo);
}

int CTORAStockTrader::reqQryETFFile(tc::Task *t) {
    auto req = zeroed<CTORATstpQryETFFileField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.ETFSecurityID, t->StandardID);
    return TC_SEND(ReqQryETFFile);
}

int CTORAStockTrader::reqQryETFBasket(tc::Task *t) {
    auto req = zeroed<CTORATstpQryETFBasketField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.ETFSecurityID, t->StandardID);
    return TC_SEND(ReqQryETFBasket);
}

int CTORAStockTrader::reqQryLofFundInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQryLofFundInfoField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.FundID, t->StandardID);
    return TC_SEND_VIA(reqQryLofFundInfo);
}

int CTORAStockTrader::reqQryIPONumberResult(tc::Task *t) {
    auto req = zeroed<CTORATstpQryIPONumberResultField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryIPONumberResult);
}

// --- InvestorID, exchange, StandardID -------------------------------------------------------------------

int CTORAStockTrader::reqQryPosition(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPositionField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryPosition);
}

int CTORAStockTrader::reqQryPledgePosition(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPledgePositionField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryPledgePosition);
}

int CTORAStockTrader::reqQryStandardBondPosition(tc::Task *t) {
    auto req = zeroed<CTORATstpQryStandardBondPositionField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryStandardBondPosition);
}

int CTORAStockTrader::reqQryInvestorPositionLimit(tc::Task *t) {
    auto req = zeroed<CTORATstpQryInvestorPositionLimitField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    return TC_SEND(ReqQryInvestorPositionLimit);
}

// --- InvestorID, exchange, StandardID, BusinessID ----------------------------------------------------------

int CTORAStockTrader::reqQryOrder(tc::Task *t) {
    auto req = zeroed<CTORATstpQryOrderField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    tc::copyField(req.OrderSysID, t->BusinessID);
    return TC_SEND(ReqQryOrder);
}

int CTORAStockTrader::reqQryTrade(tc::Task *t) {
    auto req = zeroed<CTORATstpQryTradeField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    tc::copyField(req.TradeID, t->BusinessID);
    return TC_SEND(ReqQryTrade);
}

// --- InvestorID, exchange -----------------------------------------------------------------------------------

int CTORAStockTrader::reqQryOrderAction(tc::Task *t) {
    auto req = zeroed<CTORATstpQryOrderActionField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryOrderAction);
}

int CTORAStockTrader::reqQryConditionOrderAction(tc::Task *t) {
    auto req = zeroed<CTORATstpQryCondOrderActionField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryCondOrderAction);
}

int CTORAStockTrader::reqQryShareholderAccount(tc::Task *t) {
    auto req = zeroed<CTORATstpQryShareholderAccountField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryShareholderAccount);
}

int CTORAStockTrader::reqQryIPOQuota(tc::Task *t) {
    auto req = zeroed<CTORATstpQryIPOQuotaField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryIPOQuota);
}

// --- InvestorID ------------------------------------------------------------------------------------------------

int CTORAStockTrader::reqQryInvestor(tc::Task *t) {
    auto req = zeroed<CTORATstpQryInvestorField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    return TC_SEND(ReqQryInvestor);
}

int CTORAStockTrader::reqQryInvestorCondOrderLimitParam(tc::Task *t) {
    auto req = zeroed<CTORATstpQryInvestorCondOrderLimitParamField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    return TC_SEND(ReqQryInvestorCondOrderLimitParam);
}

int CTORAStockTrader::reqQryTradingNotice(tc::Task *t) {
    auto req = zeroed<CTORATstpQryTradingNoticeField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    return TC_SEND(ReqQryTradingNotice);
}

// --- exchange ---------------------------------------------------------------------------------------------------

int CTORAStockTrader::reqQryTradingFee(tc::Task *t) {
    auto req = zeroed<CTORATstpQryTradingFeeField>();
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryTradingFee);
}

int CTORAStockTrader::reqQryMarket(tc::Task *t) {
    auto req = zeroed<CTORATstpQryMarketField>();
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryMarket);
}

int CTORAStockTrader::reqQryExchange(tc::Task *t) {
    auto req = zeroed<CTORATstpQryExchangeField>();
    req.ExchangeID = exchangeOf(t);
    return TC_SEND(ReqQryExchange);
}

// --- empty requests -------------------------------------------------------------------------------------------------

int CTORAStockTrader::reqQrySZSEImcParams(tc::Task *t) {
    auto req = zeroed<CTORATstpQrySZSEImcParamsField>();
    return TC_SEND_VIA(reqQrySZSEImcParams);
}

int CTORAStockTrader::reqQrySZSEImcExchangeRate(tc::Task *t) {
    auto req = zeroed<CTORATstpQrySZSEImcExchangeRateField>();
    return TC_SEND_VIA(reqQrySZSEImcExchangeRate);
}

// --- rows of their own ------------------------------------------------------------------------------------------------

int CTORAStockTrader::reqQryOrderFundDetail(tc::Task *t) {
    auto req = zeroed<CTORATstpQryOrderFundDetailField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    tc::copyField(req.OrderSysID, t->BusinessID);
    // Legacy builds only.
    TC_SDK_IF_FIELD(req, InsertTimeStart, tc::copyField(field, t->StartTime));
    TC_SDK_IF_FIELD(req, InsertTimeEnd, tc::copyField(field, t->EndTime));
    return TC_SEND(ReqQryOrderFundDetail);
}

int CTORAStockTrader::reqQryConditionOrder(tc::Task *t) {
    auto req = zeroed<CTORATstpQryCondOrderField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    req.CondOrderID = parseDecimalField(t->BusinessID);
    return TC_SEND_VIA(reqQryConditionOrder);
}

int CTORAStockTrader::reqQryPrematurityRepoOrder(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPrematurityRepoOrderField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    req.Direction = t->CombineBusinessFlag[0];
    tc::copyField(req.TradeID, t->BusinessID);
    return TC_SEND(ReqQryPrematurityRepoOrder);
}

int CTORAStockTrader::reqQryTradeConcentration(tc::Task *t) {
    auto req = zeroed<CTORATstpInquiryTradeConcentrationField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    tc::copyField(req.InvestorID, login_->InvestorID);
    tc::copyField(req.AccountID, login_->AccountID);
    return TC_SEND(ReqInquiryTradeConcentration);
}

int CTORAStockTrader::reqQryTradingAccount(tc::Task *t) {
    auto req = zeroed<CTORATstpQryTradingAccountField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    tc::copyField(req.AccountID, login_->AccountID);
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    return TC_SEND(ReqQryTradingAccount);
}

int CTORAStockTrader::reqQryJZCash(tc::Task *t) {
    auto req = zeroed<CTORATstpReqInquiryJZFundField>();
    tc::copyField(req.AccountID, login_->AccountID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    return TC_SEND(ReqInquiryJZFund);
}

// Also the bank balance query of queryBankAccountCash (task 36).
int CTORAStockTrader::reqQryBankAccountCash(tc::Task *t) {
    auto req = zeroed<CTORATstpReqInquiryBankAccountFundField>();
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    tc::copyField(req.AccountID, login_->AccountID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    req.BankID = t->BankID[0];
    tc::copyField(req.BankPassword, t->BankPassword);
    return TC_SEND(ReqInquiryBankAccountFund);
}

int CTORAStockTrader::reqQryTransferCashDetail(tc::Task *t) {
    auto req = zeroed<CTORATstpQryFundTransferDetailField>();
    tc::copyField(req.AccountID, login_->AccountID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    req.TransferDirection = t->CombineBusinessFlag[0];
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    return TC_SEND(ReqQryFundTransferDetail);
}

int CTORAStockTrader::reqQryTransferPositionDetail(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPositionTransferDetailField>();
    tc::copyField(req.SecurityID, t->StandardID);
    req.TransferDirection = t->CombineBusinessFlag[0];
    return TC_SEND(ReqQryPositionTransferDetail);
}

int CTORAStockTrader::reqQryPeripheryTransferCashDetail(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPeripheryFundTransferDetailField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    tc::copyField(req.AccountID, login_->AccountID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    req.TransferDirection = tc::outgoingTransferDirection(t->CombineBusinessFlag[0]);
    return TC_SEND(ReqQryPeripheryFundTransferDetail);
}

int CTORAStockTrader::reqQryPeripheryTransferPositionDetail(tc::Task *t) {
    auto req = zeroed<CTORATstpQryPeripheryPositionTransferDetailField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    tc::copyField(req.SecurityID, t->StandardID);
    req.TransferDirection = t->CombineBusinessFlag[0];
    return TC_SEND(ReqQryPeripheryPositionTransferDetail);
}

int CTORAStockTrader::reqQryUser(tc::Task *t) {
    auto req = zeroed<CTORATstpQryUserField>();
    tc::copyField(req.UserID, login_->UserID);
    return TC_SEND(ReqQryUser);
}

int CTORAStockTrader::reqQryShareholderSpecPrivilege(tc::Task *t) {
    auto req = zeroed<CTORATstpQryShareholderSpecPrivilegeField>();
    req.ExchangeID = exchangeOf(t);
    copyShareholderID(req.ExchangeID, req.ShareholderID);
    return TC_SEND(ReqQryShareholderSpecPrivilege);
}

int CTORAStockTrader::reqQryIPOMatchNumberResult(tc::Task *t) {
    auto req = zeroed<CTORATstpQryIPOMatchNumberResultField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    tc::copyField(req.MatchNumberID, t->BusinessID);
    return TC_SEND(ReqQryIPOMatchNumberResult);
}

// The largest volume the broker would accept for an order of the given type: CombineBusinessFlag
// carries the direction and the order type, FloatValue the price for the order types that take
// one; the other types are priced from the task security's snapshot like a real order.
int CTORAStockTrader::reqQryMaxOrderVolume(tc::Task *t) {
    auto req = zeroed<CTORATstpReqInquiryMaxOrderVolumeField>();
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.SecurityID, t->StandardID);
    tc::copyField(req.InvestorID, login_->InvestorID);
    TC_SDK_IF_FIELD(req, AccountID, tc::copyField(field, login_->AccountID));   // legacy builds only
    const char direction = t->CombineBusinessFlag[0];
    req.Direction = direction;
    char standardID[sizeof t->StandardID];
    tc::copyField(standardID, t->StandardID);
    char exchangeID[sizeof t->ExchangeID];
    tc::copyField(exchangeID, t->ExchangeID);
    char key[tc::kSecurityKeySize];
    tc::buildSecurityKey(key, standardID, exchangeID);
    const tc::OrderPricing p = tc::priceOrderType(md_, key, t->CombineBusinessFlag[1],
                                                  direction == ENUM_Direction_Buy, t->FloatValue);
    req.OrderPriceType = tc::sdk::orderPriceType(p.combineOrderType[0]);
    req.TimeCondition = p.combineOrderType[1];
    req.VolumeCondition = p.combineOrderType[2];
    req.LimitPrice = p.price < 0 ? 0.0 : p.price;
    return TC_SEND(ReqInquiryMaxOrderVolume);
}

int CTORAStockTrader::reqQryInvestorTradingFee(tc::Task *t) {
    auto req = zeroed<CTORATstpQryInvestorTradingFeeField>();
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = exchangeOf(t);
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    return TC_SEND(ReqQryInvestorTradingFee);
}

int CTORAStockTrader::reqQryNodeCashAssignment(tc::Task *t) {
    auto req = zeroed<CTORATstpReqInquiryNodeFundAssignmentField>();
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    tc::copyField(req.AccountID, login_->AccountID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    req.NodeID = parseDecimalField(t->NodeID);
    return TC_SEND(ReqInquiryNodeFundAssignment);
}

int CTORAStockTrader::reqQryConnectionInfo(tc::Task *t) {
    const int rc = api_ ? tc::sdk::reqGetConnectionInfo(api_, t->SubID) : ENUM_ErrorID_FailToCreateTrader;
    return sendResult(t->TaskID, rc);
}

int CTORAStockTrader::reqQrySZSEHKPriceTickInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQrySZSEHKPriceTickInfoField>();
    req.PriceTickID = static_cast<char>(parseDecimalField(t->StandardID) & 0xFF);
    return TC_SEND_VIA(reqQrySZSEHKPriceTickInfo);
}

int CTORAStockTrader::reqQrySystemNodeInfo(tc::Task *t) {
    auto req = zeroed<CTORATstpQrySystemNodeInfoField>();
    req.NodeID = parseDecimalField(t->NodeID);
    return TC_SEND(ReqQrySystemNodeInfo);
}

#undef TC_SEND
#undef TC_SEND_VIA

// --- answers --------------------------------------------------------------------------------------------------------

#define TC_ANSWER(Callback, Record, TaskID)                                                              \
    void CTORAStockTrader::Callback(Record *p, CTORATstpRspInfoField *info, int /*nRequestID*/, bool bIsLast) { \
        answer(TaskID, p, info, bIsLast);                                                                  \
    }

TC_ANSWER(OnRspQryOrder, CTORATstpOrderField, ENUM_TORAStockTaskID_QryOrder)
TC_ANSWER(OnRspQryOrderAction, CTORATstpOrderActionField, ENUM_TORAStockTaskID_QryOrderAction)
TC_ANSWER(OnRspQryOrderFundDetail, CTORATstpOrderFundDetailField, ENUM_TORAStockTaskID_QryOrderFundDetail)
TC_ANSWER(OnRspQryCondOrder, CTORATstpCondOrderField, ENUM_TORAStockTaskID_QryConditionOrder)
TC_ANSWER(OnRspQryCondOrderAction, CTORATstpCondOrderActionField, ENUM_TORAStockTaskID_QryConditionOrderAction)
TC_ANSWER(OnRspQryPrematurityRepoOrder, CTORATstpPrematurityRepoOrderField,
          ENUM_TORAStockTaskID_QryPrematurityRepoOrder)
TC_ANSWER(OnRspQryTrade, CTORATstpTradeField, ENUM_TORAStockTaskID_QryTrade)
TC_ANSWER(OnRspInquiryTradeConcentration, CTORATstpInquiryTradeConcentrationField,
          ENUM_TORAStockTaskID_QryTradeConcentration)
TC_ANSWER(OnRspQryPosition, CTORATstpPositionField, ENUM_TORAStockTaskID_QryPosition)
TC_ANSWER(OnRspQryPledgePosition, CTORATstpPledgePositionField, ENUM_TORAStockTaskID_QryPledgePosition)
TC_ANSWER(OnRspQryStandardBondPosition, CTORATstpStandardBondPositionField,
          ENUM_TORAStockTaskID_QryStandardBondPosition)
TC_ANSWER(OnRspInquiryJZFund, CTORATstpRspInquiryJZFundField, ENUM_TORAStockTaskID_QryJZCash)
TC_ANSWER(OnRspQryFundTransferDetail, CTORATstpFundTransferDetailField, ENUM_TORAStockTaskID_QryTransferCashDetail)
TC_ANSWER(OnRspQryPositionTransferDetail, CTORATstpPositionTransferDetailField,
          ENUM_TORAStockTaskID_QryTransferPositionDetail)
TC_ANSWER(OnRspQryPeripheryFundTransferDetail, CTORATstpPeripheryFundTransferDetailField,
          ENUM_TORAStockTaskID_QryPeripheryTransferCashDetail)
TC_ANSWER(OnRspQryPeripheryPositionTransferDetail, CTORATstpPeripheryPositionTransferDetailField,
          ENUM_TORAStockTaskID_QryPeripheryTransferPositionDetail)
TC_ANSWER(OnRspQryUser, CTORATstpUserField, ENUM_TORAStockTaskID_QryUser)
TC_ANSWER(OnRspQryInvestor, CTORATstpInvestorField, ENUM_TORAStockTaskID_QryInvestor)
TC_ANSWER(OnRspQryShareholderSpecPrivilege, CTORATstpShareholderSpecPrivilegeField,
          ENUM_TORAStockTaskID_QryShareholderSpecPrivilege)
TC_ANSWER(OnRspQryIPOQuota, CTORATstpIPOQuotaField, ENUM_TORAStockTaskID_QryIPOQuota)
TC_ANSWER(OnRspQryIPONumberResult, CTORATstpIPONumberResultField, ENUM_TORAStockTaskID_QryIPONumberResult)
TC_ANSWER(OnRspQryIPOMatchNumberResult, CTORATstpIPOMatchNumberResultField,
          ENUM_TORAStockTaskID_QryIPOMatchNumberResult)
TC_ANSWER(OnRspInquiryMaxOrderVolume, CTORATstpRspInquiryMaxOrderVolumeField, ENUM_TORAStockTaskID_QryMaxOrderVolume)
TC_ANSWER(OnRspQryInvestorPositionLimit, CTORATstpInvestorPositionLimitField,
          ENUM_TORAStockTaskID_QryInvestorPositionLimit)
TC_ANSWER(OnRspQryInvestorCondOrderLimitParam, CTORATstpInvestorCondOrderLimitParamField,
          ENUM_TORAStockTaskID_QryInvestorCondOrderLimitParam)
TC_ANSWER(OnRspQryInvestorTradingFee, CTORATstpInvestorTradingFeeField, ENUM_TORAStockTaskID_QryInvestorTradingFee)
TC_ANSWER(OnRspQryTradingFee, CTORATstpTradingFeeField, ENUM_TORAStockTaskID_QryTradingFee)
TC_ANSWER(OnRspQryTradingNotice, CTORATstpTradingNoticeField, ENUM_TORAStockTaskID_QryTradingNotice)
TC_ANSWER(OnRspInquiryNodeFundAssignment, CTORATstpRspInquiryNodeFundAssignmentField,
          ENUM_TORAStockTaskID_QryNodeCashAssignment)
TC_ANSWER(OnRspGetConnectionInfo, CTORATstpConnectionInfoField, ENUM_TORAStockTaskID_QryConnectionInfo)
TC_ANSWER(OnRspQryIPOInfo, CTORATstpIPOInfoField, ENUM_TORAStockTaskID_QryIPOInfo)
TC_ANSWER(OnRspQryRationalInfo, CTORATstpRationalInfoField, ENUM_TORAStockTaskID_QryRationalInfo)
TC_ANSWER(OnRspQryPledgeInfo, CTORATstpPledgeInfoField, ENUM_TORAStockTaskID_QryPledgeInfo)
TC_ANSWER(OnRspQryConversionBondInfo, CTORATstpConversionBondInfoField, ENUM_TORAStockTaskID_QryBondConversionInfo)
TC_ANSWER(OnRspQryBondPutbackInfo, CTORATstpBondPutbackInfoField, ENUM_TORAStockTaskID_QryBondPutbackInfo)
TC_ANSWER(OnRspQryETFFile, CTORATstpETFFileField, ENUM_TORAStockTaskID_QryETFFile)
TC_ANSWER(OnRspQryETFBasket, CTORATstpETFBasketField, ENUM_TORAStockTaskID_QryETFBasket)
TC_ANSWER(OnRspQryLofFundInfo, CTORATstpLofFundInfoField, ENUM_TORAStockTaskID_QryLofFundInfo)
TC_ANSWER(OnRspQrySZSEImcParams, CTORATstpSZSEImcParamsField, ENUM_TORAStockTaskID_QrySZSEImcParams)
TC_ANSWER(OnRspQrySZSEImcExchangeRate, CTORATstpSZSEImcExchangeRateField, ENUM_TORAStockTaskID_QrySZSEImcExchangeRate)
TC_ANSWER(OnRspQrySZSEHKPriceTickInfo, CTORATstpSZSEHKPriceTickInfoField, ENUM_TORAStockTaskID_QrySZSEHKPriceTickInfo)
TC_ANSWER(OnRspQryMarket, CTORATstpMarketField, ENUM_TORAStockTaskID_QryMarket)
TC_ANSWER(OnRspQryExchange, CTORATstpExchangeField, ENUM_TORAStockTaskID_QryExchange)
TC_ANSWER(OnRspQrySystemNodeInfo, CTORATstpSystemNodeInfoField, ENUM_TORAStockTaskID_QrySystemNodeInfo)

#undef TC_ANSWER

// The bank balance answer serves two tasks: the 12217 query task and the bank balance query of
// queryBankAccountCash (36), which sends the same request. It completes one of them, the one at
// the head: a bank balance query does not hold the queue until its response timeout, and one
// queued behind a 12217 task is still sent.
void CTORAStockTrader::OnRspInquiryBankAccountFund(CTORATstpRspInquiryBankAccountFundField *p,
                                                   CTORATstpRspInfoField *info, int /*nRequestID*/, bool bIsLast) {
    const int errorID = errorIDOf(info);
    const ErrorText message(info);
    deliver(ENUM_TORAStockTaskID_QryBankAccountCash, p, bIsLast, errorID, message.c_str());
    if (!bIsLast) return;
    if (!scheduler_->answered(ENUM_TORAStockTaskID_QryBankAccountCash, errorID != 0)) {
        scheduler_->answeredInFlight(kBankBalanceTaskID, errorID != 0);
    }
}
