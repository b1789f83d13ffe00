// The exported account operations and the small helpers that need no engine. A null engine
// handle is never dereferenced: each function answers it with its fixed value.
#include <cstring>
#include <set>
#include <string>

#include "engine/Adapters.h"
#include "engine/CBaseTrader.h"
#include "engine/RecordBlock.h"
#include "engine/Registry.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "marketdata/CBaseMd.h"

namespace {

constexpr const char kVersion[] = "Quillon 002.100.001";
// The engine's own task identifier of the bank balance query.
constexpr int kBankBalanceTaskID = 36;

template <class Record>
Record *recordOf(tc::RecordBlock<Record> *block) {
    return block ? &block->record : nullptr;
}

// An empty or missing exchange is looked up in the security directory by the code; the entry
// found supplies the exchange and goes to the engine as the security record.
struct ResolvedExchange {
    const char *exchangeID;
    const tc::SecurityEntry *security;
};
ResolvedExchange resolveExchange(const char *standardID, const char *exchangeID) {
    if (exchangeID && exchangeID[0] != '\0') return {exchangeID, nullptr};
    const tc::SecurityEntry *entry = standardID ? tc::findSecurityByCode(standardID) : nullptr;
    if (entry) return {tc::securityExchangeID(entry), entry};
    return {exchangeID, nullptr};
}

SecuritySet collect(char **standardIDs, int count) {
    SecuritySet ids;
    if (!standardIDs) return ids;
    for (int i = 0; i < count; ++i) {
        if (standardIDs[i]) ids.insert(standardIDs[i]);
    }
    return ids;
}

SecuritySet single(const char *standardID) {
    SecuritySet ids;
    if (standardID) ids.insert(standardID);
    return ids;
}

// The record currently being handed to a processor on this thread is already held for it.
int takeRecordLock(const void *record) {
    if (!record || record == tc::tlsDeliveredRecord) return 0;
    tc::lockExclusive(record);
    return 0;
}

int releaseRecordLock(const void *record) {
    if (!record || record == tc::tlsDeliveredRecord) return 0;
    tc::unlockExclusive(record);
    return 0;
}

}  // namespace

extern "C" {

TRADECORE_API const char *getVersion() { return kVersion; }

TRADECORE_API int getInitError() { return tc::lastInitError(); }

TRADECORE_API int subscribeOne(CBaseTrader *Trader, const char *StandardID, const char *ExchangeID) {
    if (!Trader || !Trader->md()) return ENUM_ErrorID_InvalidMdInstance;
    const SecuritySet ids = single(StandardID);
    return Trader->md()->subscribeSecurities(ExchangeID, &ids, ENUM_MarketDataType_Snap);
}

TRADECORE_API int subscribe(CBaseTrader *Trader, char **StandardIDs, int Count, const char *ExchangeID) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    if (!Trader->md()) return ENUM_ErrorID_InvalidMdInstance;
    const SecuritySet ids = collect(StandardIDs, Count);
    return Trader->md()->subscribeSecurities(ExchangeID, &ids, ENUM_MarketDataType_Snap);
}

TRADECORE_API int unsubscribeOne(CBaseTrader *Trader, const char *StandardID, const char *ExchangeID) {
    if (!Trader || !Trader->md()) return ENUM_ErrorID_InvalidMdInstance;
    const SecuritySet ids = single(StandardID);
    return Trader->md()->unsubscribeSecurities(ExchangeID, &ids, ENUM_MarketDataType_Snap);
}

TRADECORE_API int unsubscribe(CBaseTrader *Trader, char **StandardIDs, int Count, const char *ExchangeID) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    if (!Trader->md()) return ENUM_ErrorID_InvalidMdInstance;
    const SecuritySet ids = collect(StandardIDs, Count);
    return Trader->md()->unsubscribeSecurities(ExchangeID, &ids, ENUM_MarketDataType_Snap);
}

TRADECORE_API CQNOrderField *buyOpen(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                     double Price, const char *ExchangeID, char Direction) {
    if (!Trader) return nullptr;
    const ResolvedExchange ex = resolveExchange(StandardID, ExchangeID);
    return recordOf(Trader->buyOpen(ex.security, ex.exchangeID, StandardID, Volume, OrderType, Price, 0, Direction));
}

TRADECORE_API CQNOrderField *sellClose(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                       double Price, const char *ExchangeID, char Direction, char OffsetFlag,
                                       const char *ExtraText) {
    if (!Trader) return nullptr;
    const ResolvedExchange ex = resolveExchange(StandardID, ExchangeID);
    return recordOf(Trader->sellClose(ex.security, ex.exchangeID, StandardID, Volume, OrderType, Price, 0,
                                      Direction, OffsetFlag, ExtraText));
}

TRADECORE_API CQNOrderField *sellOpen(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                      double Price, const char *ExchangeID, char Direction, char OffsetFlag) {
    if (!Trader) return nullptr;
    const ResolvedExchange ex = resolveExchange(StandardID, ExchangeID);
    return recordOf(Trader->sellOpen(ex.security, ex.exchangeID, StandardID, Volume, OrderType, Price, 0,
                                     Direction, OffsetFlag));
}

TRADECORE_API CQNOrderField *buyClose(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                      double Price, const char *ExchangeID, char Direction, char OffsetFlag,
                                      const char *ExtraText) {
    if (!Trader) return nullptr;
    const ResolvedExchange ex = resolveExchange(StandardID, ExchangeID);
    return recordOf(Trader->buyClose(ex.security, ex.exchangeID, StandardID, Volume, OrderType, Price, 0,
                                     Direction, OffsetFlag, ExtraText));
}

TRADECORE_API CQNOrderField *insertOrder(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID,
                                         char Direction, char OffsetFlag, int Volume,
                                         const char *CombineOrderType, double Price, char CreditQuotaType,
                                         const char *CreditDebtID) {
    if (!Trader) return nullptr;
    return recordOf(Trader->insertOrder(ExchangeID, StandardID, Direction, OffsetFlag, Volume, CombineOrderType,
                                        Price, 0, CreditQuotaType, CreditDebtID));
}

TRADECORE_API int cancelOrder(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID,
                              const char *OrderSysID, int OrderID, int FrontID, int SessionID) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    return Trader->cancelOrder(ExchangeID, StandardID, OrderSysID, OrderID, FrontID, SessionID);
}

TRADECORE_API int cancelOrderByOrderID(CBaseTrader *Trader, int OrderID) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    return Trader->cancelOrderByOrderID(OrderID);
}

TRADECORE_API int cancelOrderByStandardID(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    return Trader->cancelOrderByStandardID(ExchangeID, StandardID);
}

TRADECORE_API CQNTransferAssetField *transferCash(CBaseTrader *Trader, char TransferFlag, double Amount,
                                                  const char *Text1, const char *Text2, const char *Text3,
                                                  const char *Text4, const char *Text5) {
    if (!Trader) return nullptr;
    return recordOf(Trader->transferCash(0, TransferFlag, Amount, Text1, Text2, Text3, Text4, Text5));
}

TRADECORE_API CQNTransferAssetField *transferPosition(CBaseTrader *Trader, char TransferFlag, int Volume,
                                                      const char *Text1, const char *Text2, const char *Text3,
                                                      const char *Text4) {
    if (!Trader) return nullptr;
    return recordOf(Trader->transferPosition(0, TransferFlag, Volume, Text1, Text2, Text3, Text4));
}

TRADECORE_API int queryBankAccountCash(CBaseTrader *Trader, const char *AccountPassword, const char *BankID,
                                       const char *BankPassword) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    CQNQueryCommandField query;
    std::memset(static_cast<void *>(&query), 0, sizeof query);
    // Texts longer than their fields are cut to fit.
    tc::copyText(query.AccountPassword, AccountPassword);
    tc::copyText(query.BankID, BankID);
    tc::copyText(query.BankPassword, BankPassword);
    return Trader->addTask(kBankBalanceTaskID, &query, 1, -1, -1, false, -1);
}

TRADECORE_API int updatePassword(CBaseTrader *Trader, char PasswordFlag, const char *Text1, const char *Text2) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    return Trader->updatePassword(PasswordFlag, Text1, Text2, 0);
}

TRADECORE_API int addTask(CBaseTrader *Trader, TQNEventIDType TaskID, CQNQueryCommandField *QueryCommand,
                          int Count, TQNTimeAnchorType ExecuteGap, TQNTimeAnchorType FailedGap,
                          bool RetryUntilSuccess, TQNTimeAnchorType ExecuteTimeout) {
    if (!Trader) return ENUM_ErrorID_InvalidTraderInstance;
    return Trader->addTask(TaskID, QueryCommand, Count, ExecuteGap, FailedGap, RetryUntilSuccess, ExecuteTimeout);
}

TRADECORE_API void exitX(CBaseTrader *Trader) {
    if (Trader) {
        Trader->setApiStatus(ENUM_ApiStatus_Exit);
        return;
    }
    for (CBaseTrader *engine : tc::registeredEngines()) engine->setApiStatus(ENUM_ApiStatus_Exit);
}

TRADECORE_API int getOrderLock(CQNOrderField *Order) { return takeRecordLock(Order); }
TRADECORE_API int releaseOrderLock(CQNOrderField *Order) { return releaseRecordLock(Order); }
TRADECORE_API int getMarketDataLock(CQNMarketDataField *MarketData) { return takeRecordLock(MarketData); }
TRADECORE_API int releaseMarketDataLock(CQNMarketDataField *MarketData) { return releaseRecordLock(MarketData); }

}  // extern "C"
