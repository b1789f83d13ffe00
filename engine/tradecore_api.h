// The engine library's exported surface: 33 functions with plain C linkage. The Python module
// wraps each one under the same name; nothing else calls them.
#ifndef TRADECORE_API_H
#define TRADECORE_API_H

#include "records/QNRecords.h"

#ifndef SWIG
typedef struct _object PyObject;
#endif
class CBaseTrader;

extern "C" {
TRADECORE_API const char *getVersion();
TRADECORE_API CBaseTrader *init(int RunID, CQNLoginField *LoginField, PyObject *OrderEventProcessor,
                                PyObject *EventProcessor, PyObject *LoopProcessor,
                                PyObject *MarketDataProcessor);
TRADECORE_API int getInitError();
TRADECORE_API const char *getMessageByErrorID(TQNErrorIDType ErrorID);
TRADECORE_API void loop();
TRADECORE_API int setRunMode(TQNRunModeType RunMode);
TRADECORE_API int setEventTextProcessor(PyObject *Processor);
TRADECORE_API int subscribeOne(CBaseTrader *Trader, const char *StandardID, const char *ExchangeID);
TRADECORE_API int subscribe(CBaseTrader *Trader, char **StandardIDs, int Count, const char *ExchangeID);
TRADECORE_API int unsubscribeOne(CBaseTrader *Trader, const char *StandardID, const char *ExchangeID);
TRADECORE_API int unsubscribe(CBaseTrader *Trader, char **StandardIDs, int Count, const char *ExchangeID);
TRADECORE_API CQNOrderField *buyOpen(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                     double Price, const char *ExchangeID, char Direction);
TRADECORE_API CQNOrderField *sellClose(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                       double Price, const char *ExchangeID, char Direction, char OffsetFlag,
                                       const char *ExtraText);
TRADECORE_API CQNOrderField *sellOpen(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                      double Price, const char *ExchangeID, char Direction, char OffsetFlag);
TRADECORE_API CQNOrderField *buyClose(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                      double Price, const char *ExchangeID, char Direction, char OffsetFlag,
                                      const char *ExtraText);
TRADECORE_API CQNOrderField *insertOrder(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID,
                                         char Direction, char OffsetFlag, int Volume,
                                         const char *CombineOrderType, double Price, char CreditQuotaType,
                                         const char *CreditDebtID);
TRADECORE_API int cancelOrder(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID,
                              const char *OrderSysID, int OrderID, int FrontID, int SessionID);
TRADECORE_API int cancelOrderByOrderID(CBaseTrader *Trader, int OrderID);
TRADECORE_API int cancelOrderByStandardID(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID);
TRADECORE_API CQNTransferAssetField *transferCash(CBaseTrader *Trader, char TransferFlag, double Amount,
                                                  const char *Text1, const char *Text2, const char *Text3,
                                                  const char *Text4, const char *Text5);
TRADECORE_API CQNTransferAssetField *transferPosition(CBaseTrader *Trader, char TransferFlag, int Volume,
                                                      const char *Text1, const char *Text2, const char *Text3,
                                                      const char *Text4);
TRADECORE_API int queryBankAccountCash(CBaseTrader *Trader, const char *AccountPassword, const char *BankID,
                                       const char *BankPassword);
TRADECORE_API int updatePassword(CBaseTrader *Trader, char PasswordFlag, const char *Text1, const char *Text2);
TRADECORE_API int addTask(CBaseTrader *Trader, TQNEventIDType TaskID, CQNQueryCommandField *QueryCommand,
                          int Count, TQNTimeAnchorType ExecuteGap, TQNTimeAnchorType FailedGap,
                          bool RetryUntilSuccess, TQNTimeAnchorType ExecuteTimeout);
TRADECORE_API void exitX(CBaseTrader *Trader);
TRADECORE_API int getOrderLock(CQNOrderField *Order);
TRADECORE_API int releaseOrderLock(CQNOrderField *Order);
TRADECORE_API int getMarketDataLock(CQNMarketDataField *MarketData);
TRADECORE_API int releaseMarketDataLock(CQNMarketDataField *MarketData);
TRADECORE_API const char *getFields(TQNEventIDType EventID, void *Record);
TRADECORE_API const char *toText(TQNEventIDType EventID, void *Record, bool WithNames, const char *Separator,
                                 int Precision);
TRADECORE_API TQNTimeAnchorType setTimeAnchor();
TRADECORE_API TQNTimeAnchorType getTimeElapse(TQNTimeAnchorType Anchor);
}

#endif  // TRADECORE_API_H
