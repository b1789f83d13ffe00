// The engine of one account on a TORA stock trader front: its session (connect, login, the
// preparation queries up to TraderReady), order entry and tracking, cancels, query tasks,
// transfers and the password change. SDK callbacks arrive on the SDK's own threads; orders,
// cancels and transfers are sent from the caller's thread; tasks from the engine thread.
//
// Locks, and the order in which they may be taken:
//   - an order's (or transfer's) record lock: every change to the record and every event
//     delivered with it happens under it; never two record locks at once;
//   - the cash lock: only inside a record lock (or alone), never the other way round;
//   - the active-order index lock: only after the record lock has been released;
//   - the order and transfer index locks: alone, for one lookup or insertion.
#pragma once

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

#include "ToraSdk.h"
#include "engine/CBaseTrader.h"
#include "engine/Platform.h"
#include "engine/RecordBlock.h"
#include "trader/PermanentArena.h"
#include "trader/SecurityDirectory.h"
#include "trader/SpinLocks.h"

namespace tc {

// An order's block: the lock words and record that Python sees, then the security key that
// names the order's security in the snapshot store and the security directory.
struct OrderSlot : RecordBlock<CQNOrderField> {
    char key[kSecurityKeySize] = {};
    // OrderStatus as the engine last wrote it, readable without the record lock: the cancels
    // pick orders by state while the record may be held by Python or a notification.
    std::atomic<char> status{0};
    // TradeIDs of the trades already counted (under the record lock): the broker may deliver a
    // trade twice, and it counts once.
    std::vector<std::string> tradeIDs;
    // The session the order went out on (written before it goes, then under the record lock).
    // When it went out while the engine was logging in again, the broker placed it on a session
    // the engine did not know yet: the first notification then tells which one.
    int frontID = 0;
    int sessionID = 0;
    bool sessionPending = false;
    // The cash an opening order set aside and has neither spent on trades nor given back yet
    // (under the record lock once the request has gone). Nothing gives back more than this.
    double reservedCash = 0;

    void setStatus(char s) {
        record.OrderStatus = s;
        status.store(s, std::memory_order_release);
    }
};

struct TransferSlot : RecordBlock<CQNTransferAssetField> {
    // The refusal events already delivered for this transfer (under the record lock): the broker
    // reports a refusal on its error response and again on its error notice, and each event
    // goes out once.
    bool refusedAsCash = false;      // 12009
    bool refusedAsPosition = false;  // 12010
};

// OrderID -> order slot. Its entries, like the slots, live in the permanent arena: the index
// never removes one.
using OrderIndex = std::unordered_map<int, OrderSlot *, std::hash<int>, std::equal_to<int>,
                                      PermanentNodeAllocator<std::pair<const int, OrderSlot *>>>;

// BasePath "/" UserID "/TDFlow/", split at every "/" and "\", empty pieces dropped, each piece
// followed by "/". A BasePath that starts with a separator stays absolute (a network share's
// two separators are kept in the Windows style).
std::string traderFlowPath(const CQNLoginField &login, platform::PathStyle style = platform::kHostPathStyle);

// The outgoing transfer direction of a transfer flag (the SDK's own direction codes map to
// themselves); 0 when the flag has none.
char outgoingTransferDirection(char transferFlag);

// The combined order type, price and limit flag that an order type asks for. Prices that come
// from the market are looked up in `md`'s snapshot store under `securityKey` (-1 when unknown).
struct OrderPricing {
    char combineOrderType[4];
    double price;
    bool isLimitOrder;
};
OrderPricing priceOrderType(const CBaseMd *md, const char *securityKey, char orderType, bool isBuyFromMarket,
                            double givenPrice);

}  // namespace tc

class CTORAStockTrader : public tc::sdk::TraderSpi, public CBaseTrader {
public:
    // Creates the SDK object, registers the front, subscribes the flows and starts it.
    CTORAStockTrader(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor, PyObject *eventProcessor,
                     PyObject *loopProcessor);
    ~CTORAStockTrader() override;

    // --- engine operations (CBaseTrader slots) --------------------------------------------
    tc::RecordBlock<CQNOrderField> *insertOrder(const char *exchangeID, const char *standardID, char direction,
                                                char offsetFlag, int volume, const char *combineOrderType,
                                                double price, short orderMark, char creditQuotaType,
                                                const char *creditDebtID) override;
    int sendOrder(tc::RecordBlock<CQNOrderField> *order) override;
    int cancelOrder(const char *exchangeID, const char *standardID, const char *orderSysID, int orderID, int frontID,
                    int sessionID) override;
    tc::RecordBlock<CQNOrderField> *buyOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                            const char *standardID, int volume, char orderType, double price,
                                            int orderMark, char direction) override;
    tc::RecordBlock<CQNOrderField> *sellClose(const tc::SecurityEntry *security, const char *exchangeID,
                                              const char *standardID, int volume, char orderType, double price,
                                              int orderMark, char direction, char offsetFlag,
                                              const char *extraText) override;
    tc::RecordBlock<CQNOrderField> *sellOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                             const char *standardID, int volume, char orderType, double price,
                                             int orderMark, char direction, char offsetFlag) override;
    tc::RecordBlock<CQNOrderField> *buyClose(const tc::SecurityEntry *security, const char *exchangeID,
                                             const char *standardID, int volume, char orderType, double price,
                                             int orderMark, char direction, char offsetFlag,
                                             const char *extraText) override;
    tc::RecordBlock<CQNTransferAssetField> *transferCash(int transferID, char transferFlag, double amount,
                                                         const char *accountPassword, const char *bankID,
                                                         const char *bankPassword, const char *externalNodeID,
                                                         const char *unused) override;
    tc::RecordBlock<CQNTransferAssetField> *transferPosition(int transferID, char transferFlag, int volume,
                                                             const char *standardID, const char *externalNodeID,
                                                             const char *unused, const char *exchangeID) override;
    int updatePassword(char passwordFlag, const char *oldPassword, const char *newPassword, int reserved) override;
    int runTask(tc::Task *task) override;
    int cancelOrderByOrderID(int orderID) override;
    int cancelOrderByStandardID(const char *exchangeID, const char *standardID) override;

    // --- SDK callbacks: session -------------------------------------------------------------
    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnRspUserLogin(CTORATstpRspUserLoginField *pRspUserLoginField, CTORATstpRspInfoField *pRspInfoField,
                        int nRequestID, bool bIsLast) override;
    void OnRspQrySecurity(CTORATstpSecurityField *pSecurityField, CTORATstpRspInfoField *pRspInfoField,
                          int nRequestID, bool bIsLast) override;
    void OnRspQryShareholderAccount(CTORATstpShareholderAccountField *pShareholderAccountField,
                                    CTORATstpRspInfoField *pRspInfoField, int nRequestID, bool bIsLast) override;
    void OnRspQryTradingAccount(CTORATstpTradingAccountField *pTradingAccountField,
                                CTORATstpRspInfoField *pRspInfoField, int nRequestID, bool bIsLast) override;
    void OnRtnMarketStatus(CTORATstpMarketStatusField *pMarketStatusField) override;
    void OnRtnTradingNotice(CTORATstpTradingNoticeField *pTradingNoticeField) override;

    // --- SDK callbacks: orders --------------------------------------------------------------
    void OnRtnOrder(CTORATstpOrderField *pOrderField) override;
    void OnRtnTrade(CTORATstpTradeField *pTradeField) override;
    void OnRspOrderInsert(CTORATstpInputOrderField *pInputOrderField, CTORATstpRspInfoField *pRspInfoField,
                          int nRequestID, bool bIsLast) override;
    void OnErrRtnOrderInsert(CTORATstpInputOrderField *pInputOrderField, CTORATstpRspInfoField *pRspInfoField) override;
    void OnRspOrderAction(CTORATstpInputOrderActionField *pInputOrderActionField, CTORATstpRspInfoField *pRspInfoField,
                          int nRequestID, bool bIsLast) override;
    void OnErrRtnOrderAction(tc::sdk::OrderActionErrorRecord *pOrderActionField,
                             CTORATstpRspInfoField *pRspInfoField) override;

    // --- SDK callbacks: transfers and password ------------------------------------------------
    void OnRtnTransferFund(CTORATstpTransferFundField *pTransferFundField) override;
    void OnRtnPeripheryTransferFund(CTORATstpRtnPeripheryTransferFundField *pRtnPeripheryTransferFundField) override;
    void OnRtnPeripheryTransferPosition(
        CTORATstpRtnPeripheryTransferPositionField *pRtnPeripheryTransferPositionField) override;
    void OnRtnTransferPosition(CTORATstpTransferPositionField *pTransferPositionField) override;
    void OnRspTransferFund(CTORATstpInputTransferFundField *pInputTransferFundField, CTORATstpRspInfoField *pRspInfoField,
                           int nRequestID, bool bIsLast) override;
    void OnErrRtnTransferFund(CTORATstpInputTransferFundField *pInputTransferFundField,
                              CTORATstpRspInfoField *pRspInfoField) override;
    void OnRspTransferPosition(CTORATstpInputTransferPositionField *pInputTransferPositionField,
                               CTORATstpRspInfoField *pRspInfoField, int nRequestID, bool bIsLast) override;
    void OnErrRtnTransferPosition(CTORATstpInputTransferPositionField *pInputTransferPositionField,
                                  CTORATstpRspInfoField *pRspInfoField) override;
    void OnRspUserPasswordUpdate(CTORATstpUserPasswordUpdateField *pUserPasswordUpdateField,
                                 CTORATstpRspInfoField *pRspInfoField, int nRequestID, bool bIsLast) override;

    // --- SDK callbacks: query answers (one event per record, the last completes the task) ----
    void OnRspQryOrder(CTORATstpOrderField *p, CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspQryOrderAction(CTORATstpOrderActionField *p, CTORATstpRspInfoField *info, int nRequestID,
                             bool bIsLast) override;
    void OnRspQryOrderFundDetail(CTORATstpOrderFundDetailField *p, CTORATstpRspInfoField *info, int nRequestID,
                                 bool bIsLast) override;
    void OnRspQryCondOrder(CTORATstpCondOrderField *p, CTORATstpRspInfoField *info, int nRequestID,
                           bool bIsLast) override;
    void OnRspQryCondOrderAction(CTORATstpCondOrderActionField *p, CTORATstpRspInfoField *info, int nRequestID,
                                 bool bIsLast) override;
    void OnRspQryPrematurityRepoOrder(CTORATstpPrematurityRepoOrderField *p, CTORATstpRspInfoField *info,
                                      int nRequestID, bool bIsLast) override;
    void OnRspQryTrade(CTORATstpTradeField *p, CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspInquiryTradeConcentration(CTORATstpInquiryTradeConcentrationField *p, CTORATstpRspInfoField *info,
                                        int nRequestID, bool bIsLast) override;
    void OnRspQryPosition(CTORATstpPositionField *p, CTORATstpRspInfoField *info, int nRequestID,
                          bool bIsLast) override;
    void OnRspQryPledgePosition(CTORATstpPledgePositionField *p, CTORATstpRspInfoField *info, int nRequestID,
                                bool bIsLast) override;
    void OnRspQryStandardBondPosition(CTORATstpStandardBondPositionField *p, CTORATstpRspInfoField *info,
                                      int nRequestID, bool bIsLast) override;
    void OnRspInquiryJZFund(CTORATstpRspInquiryJZFundField *p, CTORATstpRspInfoField *info, int nRequestID,
                            bool bIsLast) override;
    void OnRspInquiryBankAccountFund(CTORATstpRspInquiryBankAccountFundField *p, CTORATstpRspInfoField *info,
                                     int nRequestID, bool bIsLast) override;
    void OnRspQryFundTransferDetail(CTORATstpFundTransferDetailField *p, CTORATstpRspInfoField *info,
                                    int nRequestID, bool bIsLast) override;
    void OnRspQryPositionTransferDetail(CTORATstpPositionTransferDetailField *p, CTORATstpRspInfoField *info,
                                        int nRequestID, bool bIsLast) override;
    void OnRspQryPeripheryFundTransferDetail(CTORATstpPeripheryFundTransferDetailField *p,
                                             CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspQryPeripheryPositionTransferDetail(CTORATstpPeripheryPositionTransferDetailField *p,
                                                 CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspQryUser(CTORATstpUserField *p, CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspQryInvestor(CTORATstpInvestorField *p, CTORATstpRspInfoField *info, int nRequestID,
                          bool bIsLast) override;
    void OnRspQryShareholderSpecPrivilege(CTORATstpShareholderSpecPrivilegeField *p, CTORATstpRspInfoField *info,
                                          int nRequestID, bool bIsLast) override;
    void OnRspQryIPOQuota(CTORATstpIPOQuotaField *p, CTORATstpRspInfoField *info, int nRequestID,
                          bool bIsLast) override;
    void OnRspQryIPONumberResult(CTORATstpIPONumberResultField *p, CTORATstpRspInfoField *info, int nRequestID,
                                 bool bIsLast) override;
    void OnRspQryIPOMatchNumberResult(CTORATstpIPOMatchNumberResultField *p, CTORATstpRspInfoField *info,
                                      int nRequestID, bool bIsLast) override;
    void OnRspInquiryMaxOrderVolume(CTORATstpRspInquiryMaxOrderVolumeField *p, CTORATstpRspInfoField *info,
                                    int nRequestID, bool bIsLast) override;
    void OnRspQryInvestorPositionLimit(CTORATstpInvestorPositionLimitField *p, CTORATstpRspInfoField *info,
                                       int nRequestID, bool bIsLast) override;
    void OnRspQryInvestorCondOrderLimitParam(CTORATstpInvestorCondOrderLimitParamField *p,
                                             CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspQryInvestorTradingFee(CTORATstpInvestorTradingFeeField *p, CTORATstpRspInfoField *info,
                                    int nRequestID, bool bIsLast) override;
    void OnRspQryTradingFee(CTORATstpTradingFeeField *p, CTORATstpRspInfoField *info, int nRequestID,
                            bool bIsLast) override;
    void OnRspQryTradingNotice(CTORATstpTradingNoticeField *p, CTORATstpRspInfoField *info, int nRequestID,
                               bool bIsLast) override;
    void OnRspInquiryNodeFundAssignment(CTORATstpRspInquiryNodeFundAssignmentField *p, CTORATstpRspInfoField *info,
                                        int nRequestID, bool bIsLast) override;
    void OnRspGetConnectionInfo(CTORATstpConnectionInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                                bool bIsLast) override;
    void OnRspQryIPOInfo(CTORATstpIPOInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                         bool bIsLast) override;
    void OnRspQryRationalInfo(CTORATstpRationalInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                              bool bIsLast) override;
    void OnRspQryPledgeInfo(CTORATstpPledgeInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                            bool bIsLast) override;
    void OnRspQryConversionBondInfo(CTORATstpConversionBondInfoField *p, CTORATstpRspInfoField *info,
                                    int nRequestID, bool bIsLast) override;
    void OnRspQryBondPutbackInfo(CTORATstpBondPutbackInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                                 bool bIsLast) override;
    void OnRspQryETFFile(CTORATstpETFFileField *p, CTORATstpRspInfoField *info, int nRequestID,
                         bool bIsLast) override;
    void OnRspQryETFBasket(CTORATstpETFBasketField *p, CTORATstpRspInfoField *info, int nRequestID,
                           bool bIsLast) override;
    void OnRspQryLofFundInfo(CTORATstpLofFundInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                             bool bIsLast) override;
    void OnRspQrySZSEImcParams(CTORATstpSZSEImcParamsField *p, CTORATstpRspInfoField *info, int nRequestID,
                               bool bIsLast) override;
    void OnRspQrySZSEImcExchangeRate(CTORATstpSZSEImcExchangeRateField *p, CTORATstpRspInfoField *info,
                                     int nRequestID, bool bIsLast) override;
    void OnRspQrySZSEHKPriceTickInfo(CTORATstpSZSEHKPriceTickInfoField *p, CTORATstpRspInfoField *info,
                                     int nRequestID, bool bIsLast) override;
    void OnRspQryMarket(CTORATstpMarketField *p, CTORATstpRspInfoField *info, int nRequestID, bool bIsLast) override;
    void OnRspQryExchange(CTORATstpExchangeField *p, CTORATstpRspInfoField *info, int nRequestID,
                          bool bIsLast) override;
    void OnRspQrySystemNodeInfo(CTORATstpSystemNodeInfoField *p, CTORATstpRspInfoField *info, int nRequestID,
                                bool bIsLast) override;

    // --- inspection (tests, diagnostics) ------------------------------------------------------
    // Null when the SDK object could not be created.
    CTORATstpTraderApi *api() const { return api_; }
    const std::string &flowPath() const { return flowPath_; }
    // The order record of `orderID`, or null (index lookup only).
    CQNOrderField *findOrderRecord(int orderID) const;
    tc::OrderSlot *findOrderSlot(int orderID) const;
    CQNTransferAssetField *findTransferRecord(int transferID) const;
    bool isActiveOrder(int orderID) const;
    std::size_t activeOrderCount() const;
    // The shareholder identifier of exchange "1" (Shanghai) or "2" (Shenzhen); empty otherwise.
    std::string shareholderID(char exchange) const;
    std::size_t taskHandlerCount() const { return taskHandlers_.size(); }
    bool hasTaskHandler(int taskID) const { return taskHandlers_.count(taskID) != 0; }

private:
    using TaskHandler = int (CTORAStockTrader::*)(tc::Task *);

    void createApi();
    void fillTaskHandlers();
    void scheduleStartupTask(int taskID);

    // Every engine event that is not an order event: (id, record, last, error, message, UserID).
    void deliver(int eventID, const void *record, bool isLast, int errorID, const char *message) const;
    // One query answer: its event, and on the last record the task's completion.
    void answer(int taskID, const void *record, const CTORATstpRspInfoField *info, bool isLast);
    // The event of a task handler whose request the SDK refused; returns `result`.
    int sendResult(int taskID, int result);

    // Orders.
    tc::OrderSlot *allocateOrder(const tc::SecurityEntry *security, const char *exchangeID, const char *standardID,
                                 int orderMark);
    tc::OrderSlot *createPricedOrder(const tc::SecurityEntry *security, const char *exchangeID,
                                     const char *standardID, int volume, char orderType, double price,
                                     int orderMark, char direction, char offsetFlag);
    void priceOrder(tc::OrderSlot *slot, double givenPrice);
    // Gives back `volume` x OriginalPrice of what the order still holds aside, at most all of it.
    void refund(tc::OrderSlot &slot, int volume);
    void takeSnapshotFields(CQNOrderField &order, int rtnIntInfo);
    // Whether an order notification carrying this session belongs to the order of `slot`
    // (called under the record lock).
    bool sameSession(tc::OrderSlot &slot, const CTORATstpOrderField &n);
    // What an order notification does to the record (under its lock), and the change it asks
    // of the active-order index, which is made once the record is released.
    enum class ActiveChange { None, Enter, Leave };
    ActiveChange applyOrderNotice(tc::OrderSlot &slot, const CTORATstpOrderField &n);
    void activate(tc::OrderSlot *slot);
    void deactivate(int orderID);
    void onInsertError(int orderID, const CTORATstpRspInfoField *info);
    void onCancelError(int orderID, const CTORATstpRspInfoField *info);
    int cancelActive(const CQNOrderField &order);

    // Transfers.
    tc::TransferSlot *newTransfer(int transferID, char transferFlag);
    void enterTransfer(tc::TransferSlot *slot);
    tc::TransferSlot *findTransfer(int transferID) const;
    void onTransferNotice(int eventID, int transferID, char status, int errorID, const char *message,
                          const char *businessID);
    void onTransferError(int eventID, int transferID, const CTORATstpRspInfoField *info, bool isLast);

    void copyShareholderID(char exchange, char (&out)[11]) const;

    // Task handlers (one per row of the handler table).
    int reqLogin(tc::Task *task);
    int reqQrySecurity(tc::Task *task);
    int reqQryIPOInfo(tc::Task *task);
    int reqQryRationalInfo(tc::Task *task);
    int reqQryPledgeInfo(tc::Task *task);
    int reqQryBondConversionInfo(tc::Task *task);
    int reqQryBondPutbackInfo(tc::Task *task);
    int reqQryETFFile(tc::Task *task);
    int reqQryETFBasket(tc::Task *task);
    int reqQryLofFundInfo(tc::Task *task);
    int reqQryIPONumberResult(tc::Task *task);
    int reqQryPosition(tc::Task *task);
    int reqQryPledgePosition(tc::Task *task);
    int reqQryStandardBondPosition(tc::Task *task);
    int reqQryInvestorPositionLimit(tc::Task *task);
    int reqQryOrder(tc::Task *task);
    int reqQryTrade(tc::Task *task);
    int reqQryOrderAction(tc::Task *task);
    int reqQryConditionOrderAction(tc::Task *task);
    int reqQryShareholderAccount(tc::Task *task);
    int reqQryIPOQuota(tc::Task *task);
    int reqQryInvestor(tc::Task *task);
    int reqQryInvestorCondOrderLimitParam(tc::Task *task);
    int reqQryTradingNotice(tc::Task *task);
    int reqQryTradingFee(tc::Task *task);
    int reqQryMarket(tc::Task *task);
    int reqQryExchange(tc::Task *task);
    int reqQrySZSEImcParams(tc::Task *task);
    int reqQrySZSEImcExchangeRate(tc::Task *task);
    int reqQryOrderFundDetail(tc::Task *task);
    int reqQryConditionOrder(tc::Task *task);
    int reqQryPrematurityRepoOrder(tc::Task *task);
    int reqQryTradeConcentration(tc::Task *task);
    int reqQryTradingAccount(tc::Task *task);
    int reqQryJZCash(tc::Task *task);
    int reqQryBankAccountCash(tc::Task *task);
    int reqQryTransferCashDetail(tc::Task *task);
    int reqQryTransferPositionDetail(tc::Task *task);
    int reqQryPeripheryTransferCashDetail(tc::Task *task);
    int reqQryPeripheryTransferPositionDetail(tc::Task *task);
    int reqQryUser(tc::Task *task);
    int reqQryShareholderSpecPrivilege(tc::Task *task);
    int reqQryIPOMatchNumberResult(tc::Task *task);
    int reqQryMaxOrderVolume(tc::Task *task);
    int reqQryInvestorTradingFee(tc::Task *task);
    int reqQryNodeCashAssignment(tc::Task *task);
    int reqQryConnectionInfo(tc::Task *task);
    int reqQrySZSEHKPriceTickInfo(tc::Task *task);
    int reqQrySystemNodeInfo(tc::Task *task);

    CTORATstpTraderApi *api_ = nullptr;
    std::string flowPath_;
    // True from the login answer of a connection until that connection is lost: orders sent
    // meanwhile go out on the session the engine holds.
    std::atomic<bool> sessionConfirmed_{false};

    // Filled by the shareholder-account answer, read by order entry, transfers and queries.
    mutable tc::SpinLock shareholderLock_;
    char shareholderSSE_[11] = {};
    char shareholderSZSE_[11] = {};

    std::unordered_map<int, TaskHandler> taskHandlers_;

    // OrderID -> slot; entries are never removed.
    mutable tc::SpinLock orderIndexLock_;
    tc::OrderIndex orderIndex_;
    // Orders the exchange has accepted and that have not finished.
    mutable tc::RWSpinLock activeOrderLock_;
    std::unordered_map<int, tc::OrderSlot *> activeOrders_;
    // TransferID -> slot; entries are never removed.
    mutable tc::SpinLock transferIndexLock_;
    std::unordered_map<int, tc::TransferSlot *> transferIndex_;
};
