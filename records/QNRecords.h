// The records, type names and constants shared by the engine library and the Python module.
// Everything that crosses between the engine and Python is declared here. The order of the
// declarations is the order in which the module publishes them, so keep it.
#ifndef TRADECORE_QNRECORDS_H
#define TRADECORE_QNRECORDS_H

#ifndef SWIG
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#endif

#if defined(_WIN32) && !defined(SWIG)
#  if defined(TRADECORE_BUILDING)
#    define TRADECORE_API __declspec(dllexport)
#  elif defined(TRADECORE_STATIC)
     // Linked from the static engine library (tradecore_test): nothing to import.
#    define TRADECORE_API
#  else
#    define TRADECORE_API __declspec(dllimport)
#  endif
#elif !defined(SWIG)
#  define TRADECORE_API __attribute__((visibility("default")))
#else
#  define TRADECORE_API
#endif

// ---------------------------------------------------------------------------------------------
// Scalar type names
// ---------------------------------------------------------------------------------------------

typedef int TQNRunIDType;
typedef int TQNFrontIDType;
typedef int TQNSessionIDType;
typedef int TQNOrderIDType;
typedef int TQNTimeStampType;
typedef int TQNCountType;
typedef int TQNIntType;
typedef int TQNPortType;
typedef int TQNEventIDType;
typedef int TQNErrorIDType;
typedef int TQNRequestIDType;
typedef int TQNDiscountCouponIDType;
typedef int TQNTransferIDType;
typedef int TQNUserTypeType;
typedef int TQNFrontTypeType;
typedef int TQNSequenceNoType;
typedef int TQNMillisecType;
typedef int TQNVolumeType;
typedef int TQNVolumeMultipleType;
typedef long long TQNTimeAnchorType;
typedef long long TQNLongVolumeType;
typedef long long TQNLongSequenceType;
typedef short TQNOrderMarkType;
typedef double TQNLeverageFactorType;
typedef double TQNOpenInterestType;
typedef double TQNInterestType;
typedef double TQNRatioType;
typedef double TQNPriceType;
typedef double TQNMoneyType;
typedef bool TQNBoolType;
typedef char TQNDirectionType;
typedef char TQNTimeConditionType;
typedef char TQNVolumeConditionType;
typedef char TQNContingentConditionType;
typedef char TQNOffsetFlagType;
typedef char TQNRunModeType;
typedef char TQNCloseModeType;
typedef char TQNTransferStatusType;
typedef char TQNCreditDebtStatusType;
typedef char TQNStandardClassType;
typedef char TQNApiStatusType;
typedef char TQNOrderStatusType;
typedef char TQNMarketDataStatusType;
typedef char TQNDetailDataFlagType;
typedef char TQNPasswordFlagType;
typedef char TQNTransferFlagType;
typedef char TQNMarketDataTypeType;
typedef char TQNOrderPriceTypeType;
typedef char TQNOrderTypeType;
typedef char TQNDetailDataBusinessTypeType;
typedef char TQNCreditDebtTypeType;
typedef char TQNCreditQuotaTypeType;
typedef char TQNTransferPositionTypeType;
typedef char TQNCombineBusinessFlagType[3];
typedef char TQNBankIDType[4];
typedef char TQNCombineOrderTypeType[5];
typedef char TQNExchangeIDType[9];
typedef char TQNDateType[9];
typedef char TQNTimeType[9];
typedef char TQNShareholderIDType[11];
typedef char TQNDepartmentIDType[11];
typedef char TQNBrokerIDType[11];
typedef char TQNProductInfoType[11];
typedef char TQNUserIDType[16];
typedef char TQNInvestorIDType[16];
typedef char TQNIPAddressType[16];
typedef char TQNAuthCodeType[17];
typedef char TQNDateTimeType[18];
typedef char TQNAccountIDType[21];
typedef char TQNCreditDebtIDType[21];
typedef char TQNOrderSysIDType[21];
typedef char TQNMacAddressType[21];
typedef char TQNNodeIDType[32];
typedef char TQNBusinessIDType[32];
typedef char TQNFrontAddressType[32];
typedef char TQNHDSerialType[33];
typedef char TQNAppIDType[33];
typedef char TQNPasswordType[41];
typedef char TQNStandardIDType[81];
typedef char TQNStandardNameType[81];
typedef char TQNFilePathType[128];
typedef char TQNTerminalInfoType[256];
typedef char TQNMessageType[256];

#ifndef SWIG
namespace tc {
// Records of the three kinds the engine hands out carry two 32-bit lock words in front of
// them. Python may make records of these kinds too and pass them to the lock calls, so every
// such record, whoever allocates it, sits behind a zeroed header of that size.
constexpr std::size_t kRecordHeaderSize = 8;
inline void *allocateWithLockHeader(std::size_t size) {
    void *raw = std::calloc(1, size + kRecordHeaderSize);
    if (!raw) throw std::bad_alloc();
    return static_cast<char *>(raw) + kRecordHeaderSize;
}
inline void freeWithLockHeader(void *record) {
    if (record) std::free(static_cast<char *>(record) - kRecordHeaderSize);
}
}  // namespace tc
#define TC_RECORD_WITH_LOCK_HEADER                                                   \
    static void *operator new(std::size_t size) { return tc::allocateWithLockHeader(size); } \
    static void operator delete(void *record) { tc::freeWithLockHeader(record); }
#endif

// ---------------------------------------------------------------------------------------------
// Records. Constructors come first, then the fields in order.
// ---------------------------------------------------------------------------------------------

struct CQNLoginField {
    CQNLoginField();
    CQNLoginField(CQNLoginField *other);
    TQNUserTypeType UserType;
    TQNUserIDType UserID;
    TQNPasswordType Password;
    TQNInvestorIDType InvestorID;
    TQNAccountIDType AccountID;
    TQNDepartmentIDType DepartmentID;
    TQNFrontTypeType TraderFrontType;
    TQNFrontAddressType TraderFrontAddress;
    TQNFrontTypeType MdFrontType;
    TQNFrontAddressType MdFrontAddress;
    TQNTimeAnchorType ConnectTimeout;
    TQNTimeAnchorType TaskExecuteGap;
    TQNTimeAnchorType TaskFailedGap;
    TQNTimeAnchorType TaskExecuteTimeout;
    TQNTimeAnchorType LoopGap;
    TQNIntType IDRange;
    TQNFilePathType BasePath;
    TQNBrokerIDType BrokerID;
    TQNAppIDType AppID;
    TQNAuthCodeType AuthCode;
    TQNHDSerialType HDSerial;
    TQNMacAddressType MacAddress;
    TQNIPAddressType OuterIPAddress;
    TQNPortType OuterPort;
    TQNIPAddressType InnerIPAddress;
    TQNProductInfoType UserProductInfo;
    TQNTerminalInfoType TerminalInfo;
};

struct CQNMarketDataField {
    CQNMarketDataField();
#ifndef SWIG
    TC_RECORD_WITH_LOCK_HEADER
#endif
    TQNDateType TradingDay;
    TQNExchangeIDType ExchangeID;
    TQNStandardIDType StandardID;
    TQNMarketDataStatusType MarketDataStatus;
    TQNTimeType UpdateTime;
    TQNMillisecType UpdateMillisec;
    TQNPriceType LastPrice;
    TQNPriceType PreClosePrice;
    TQNPriceType PreSettlementPrice;
    TQNPriceType OpenPrice;
    TQNPriceType HighestPrice;
    TQNPriceType LowestPrice;
    TQNPriceType BidPrice1;
    TQNVolumeType BidVolume1;
    TQNPriceType AskPrice1;
    TQNVolumeType AskVolume1;
    TQNPriceType UpperLimitPrice;
    TQNPriceType LowerLimitPrice;
    TQNOpenInterestType OpenInterest;
    TQNOpenInterestType PreOpenInterest;
    TQNLongVolumeType Volume;
    TQNMoneyType Turnover;
    TQNPriceType AveragePrice;
    TQNPriceType BidPrice2;
    TQNVolumeType BidVolume2;
    TQNPriceType AskPrice2;
    TQNVolumeType AskVolume2;
    TQNPriceType BidPrice3;
    TQNVolumeType BidVolume3;
    TQNPriceType AskPrice3;
    TQNVolumeType AskVolume3;
    TQNPriceType BidPrice4;
    TQNVolumeType BidVolume4;
    TQNPriceType AskPrice4;
    TQNVolumeType AskVolume4;
    TQNPriceType BidPrice5;
    TQNVolumeType BidVolume5;
    TQNPriceType AskPrice5;
    TQNVolumeType AskVolume5;
};

struct CQNOrderField {
    CQNOrderField();
#ifndef SWIG
    TC_RECORD_WITH_LOCK_HEADER
#endif
    TQNDateType TradingDay;
    TQNUserIDType UserID;
    TQNShareholderIDType ShareholderID;
    TQNSessionIDType SessionID;
    TQNFrontIDType FrontID;
    TQNOrderIDType OrderID;
    TQNOrderIDType OrderMark;
    TQNExchangeIDType ExchangeID;
    TQNStandardIDType StandardID;
    TQNDirectionType Direction;
    TQNOffsetFlagType OffsetFlag;
    TQNOrderTypeType OrderType;
    TQNBoolType IsBuyFromMarket;
    TQNBoolType IsLimitOrder;
    TQNCombineOrderTypeType CombineOrderType;
    TQNCreditQuotaTypeType CreditQuotaType;
    TQNCreditDebtIDType CreditDebtID;
    TQNVolumeType OriginalVolume;
    TQNPriceType OriginalPrice;
    TQNTimeAnchorType OrderLocalTime;
    TQNOrderSysIDType OrderSysID;
    TQNTimeType InsertTime;
    TQNTimeType UpdateTime;
    TQNOrderStatusType OrderStatus;
    TQNVolumeType TradedVolumeChange;
    TQNVolumeType TradedVolume;
    TQNVolumeType CanceledVolume;
    TQNPriceType LastTradedPrice;
    TQNVolumeType TradedVolumeChangeOfTurnover;
    TQNVolumeType TradedVolumeOfTurnover;
    TQNMoneyType TurnoverChange;
    TQNMoneyType Turnover;
    TQNPriceType AverageCost;
    TQNVolumeType UsableVolume;
    TQNMoneyType UseableCash;
    TQNErrorIDType ErrorID;
    TQNMessageType Message;
};

struct CQNTransferAssetField {
    CQNTransferAssetField();
#ifndef SWIG
    TC_RECORD_WITH_LOCK_HEADER
#endif
    TQNDateType TradingDay;
    TQNUserIDType UserID;
    TQNTransferIDType TransferID;
    TQNTransferStatusType TransferStatus;
    TQNTransferFlagType TransferFlag;
    TQNMoneyType Amount;
    TQNVolumeType Volume;
    TQNExchangeIDType ExchangeID;
    TQNStandardIDType StandardID;
    TQNTransferPositionTypeType TransferPositionType;
    TQNCreditDebtIDType CreditDebtID;
    TQNBankIDType BankID;
    TQNNodeIDType ExternalNodeID;
    TQNFrontIDType FrontID;
    TQNSessionIDType SessionID;
    TQNBusinessIDType BusinessID;
    TQNErrorIDType ErrorID;
    TQNMessageType Message;
};

struct CQNQueryCommandField {
    CQNQueryCommandField();
    TQNDateType TradingDay;
    TQNUserIDType UserID;
    TQNRequestIDType RequestID;
    TQNExchangeIDType ExchangeID;
    TQNStandardIDType StandardID;
    TQNBusinessIDType BusinessID;
    TQNCombineBusinessFlagType CombineBusinessFlag;
    TQNPriceType FloatValue;
    TQNVolumeType IntValue;
    TQNTimeType StartTime;
    TQNTimeType EndTime;
    TQNDateType StartDate;
    TQNDateType EndDate;
    TQNBankIDType BankID;
    TQNPasswordType BankPassword;
    TQNPasswordType AccountPassword;
    TQNNodeIDType NodeID;
};

#ifndef SWIG
inline CQNMarketDataField::CQNMarketDataField() { std::memset(static_cast<void *>(this), 0, sizeof(*this)); }
inline CQNOrderField::CQNOrderField() { std::memset(static_cast<void *>(this), 0, sizeof(*this)); }
inline CQNTransferAssetField::CQNTransferAssetField() { std::memset(static_cast<void *>(this), 0, sizeof(*this)); }
inline CQNQueryCommandField::CQNQueryCommandField() { std::memset(static_cast<void *>(this), 0, sizeof(*this)); }
inline CQNLoginField::CQNLoginField() {
    std::memset(static_cast<void *>(this), 0, sizeof(*this));
    TaskExecuteGap = -1;
    TaskFailedGap = -1;
    LoopGap = -1;
    IDRange = 100000;
}
inline CQNLoginField::CQNLoginField(CQNLoginField *other) {
    if (other) {
        std::memcpy(static_cast<void *>(this), static_cast<const void *>(other), sizeof(*this));
    } else {
        std::memset(static_cast<void *>(this), 0, sizeof(*this));
        TaskExecuteGap = -1;
        TaskFailedGap = -1;
        LoopGap = -1;
        IDRange = 100000;
    }
}
#endif

// ---------------------------------------------------------------------------------------------
// Integer constants
// ---------------------------------------------------------------------------------------------

// User types
#define ENUM_UserType_CTP 10001
#define ENUM_UserType_TORAStock 10002
#define ENUM_UserType_TORACredit 10003
#define ENUM_UserType_TORAOption 10004
#define ENUM_UserType_NSIGHTFuture 20001
#define ENUM_UserType_NSIGHTStock 20002
#define ENUM_UserType_NSIGHTCredit 20003
#define ENUM_UserType_NSIGHTOption 20004
#define ENUM_UserType_SIMNOWFuture 20005

// Errors
#define ENUM_ErrorID_None 0
extern TRADECORE_API const char ENUM_ErrorMsg_None[256];
#define ENUM_ErrorID_Unsupported -1000100
extern TRADECORE_API const char ENUM_ErrorMsg_Unsupported[256];
#define ENUM_ErrorID_InvalidRunID -1000200
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidRunID[256];
#define ENUM_ErrorID_InvalidLoginField -1000300
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidLoginField[256];
#define ENUM_ErrorID_InvalidUserID -1000500
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidUserID[256];
#define ENUM_ErrorID_InvalidPassword -1000600
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidPassword[256];
#define ENUM_ErrorID_InvalidUserType -1000700
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidUserType[256];
#define ENUM_ErrorID_InvalidTraderFront -1000800
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidTraderFront[256];
#define ENUM_ErrorID_InvalidMdFront -1000900
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidMdFront[256];
#define ENUM_ErrorID_InvalidFilePath -1001000
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidFilePath[256];
#define ENUM_ErrorID_InvalidBrokerID -1001100
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidBrokerID[256];
#define ENUM_ErrorID_InvalidAppID -1001200
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidAppID[256];
#define ENUM_ErrorID_InvalidAuthCode -1001300
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidAuthCode[256];
#define ENUM_ErrorID_FailToCreateTrader -1001400
extern TRADECORE_API const char ENUM_ErrorMsg_FailToCreateTrader[256];
#define ENUM_ErrorID_TraderConnectTimeout -1001500
extern TRADECORE_API const char ENUM_ErrorMsg_TraderConnectTimeout[256];
#define ENUM_ErrorID_TraderDisconnected -1001600
extern TRADECORE_API const char ENUM_ErrorMsg_TraderDisconnected[256];
#define ENUM_ErrorID_FailToCreateMd -1001700
extern TRADECORE_API const char ENUM_ErrorMsg_FailToCreateMd[256];
#define ENUM_ErrorID_MdConnectTimeout -1001800
extern TRADECORE_API const char ENUM_ErrorMsg_MdConnectTimeout[256];
#define ENUM_ErrorID_MdDisconnected -1001900
extern TRADECORE_API const char ENUM_ErrorMsg_MdDisconnected[256];
#define ENUM_ErrorID_InvalidTraderInstance -1002000
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidTraderInstance[256];
#define ENUM_ErrorID_InvalidMdInstance -1002100
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidMdInstance[256];
#define ENUM_ErrorID_FailToSend -1002200
extern TRADECORE_API const char ENUM_ErrorMsg_FailToSend[256];
#define ENUM_ErrorID_ResponseTimeout -1002300
extern TRADECORE_API const char ENUM_ErrorMsg_ResponseTimeout[256];
#define ENUM_ErrorID_InvalidPrice -1002400
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidPrice[256];
#define ENUM_ErrorID_InvalidVolume -1002500
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidVolume[256];
#define ENUM_ErrorID_BrokerReject -1002600
extern TRADECORE_API const char ENUM_ErrorMsg_BrokerReject[256];
#define ENUM_ErrorID_ExchangeReject -1002700
extern TRADECORE_API const char ENUM_ErrorMsg_ExchangeReject[256];
#define ENUM_ErrorID_InvalidOrderEventID -10002800
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidOrderEventID[256];
#define ENUM_ErrorID_InvalidMarketDataType -1002900
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidMarketDataType[256];
#define ENUM_ErrorID_InvalidSnapDataEventID -10003000
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidSnapDataEventID[256];
#define ENUM_ErrorID_InvalidDetailDataEventID -10003100
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidDetailDataEventID[256];
#define ENUM_ErrorID_InvalidEventID -1003200
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidEventID[256];
#define ENUM_ErrorID_InvalidPasswordFlag -1003300
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidPasswordFlag[256];
#define ENUM_ErrorID_InvalidTransferFlag -1003400
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidTransferFlag[256];
#define ENUM_ErrorID_InvalidStandardID -1003500
extern TRADECORE_API const char ENUM_ErrorMsg_InvalidStandardID[256];
#define ENUM_ErrorID_FailToTransfer -1003600
extern TRADECORE_API const char ENUM_ErrorMsg_FailToTransfer[256];

// General event identifiers
#define ENUM_EventID_DayRolling 10001
#define ENUM_EventID_MdReady 10002
#define ENUM_EventID_TraderReady 10003

// Order event identifiers
#define ENUM_OrderEventID_Traded 10011
#define ENUM_OrderEventID_Canceled 10012
#define ENUM_OrderEventID_UpdateCost 10013
#define ENUM_OrderEventID_Accepted 10014
#define ENUM_OrderEventID_InsertRejected 10015
#define ENUM_OrderEventID_CancelRejected 10016
#define ENUM_OrderEventID_Cached 10017

// Snapshot event identifiers
#define ENUM_SnapDataEventID_MarketData 10021
#define ENUM_SnapDataEventID_IndexData 10022

// Detail-data event identifiers
#define ENUM_DetailDataEventID_DetailTransaction 10023
#define ENUM_DetailDataEventID_DetailOrder 10024
#define ENUM_DetailDataEventID_ResendDetailTransaction 10025
#define ENUM_DetailDataEventID_ResendDetailOrder 10026

// CTP event identifiers
#define ENUM_CTPEventID_CreateApiInstance 11001
#define ENUM_CTPEventID_TraderDisconnected 11002
#define ENUM_CTPEventID_MdDisconnected 11003
#define ENUM_CTPEventID_InstrumentStatus 11004
#define ENUM_CTPEventID_TradingNotice 11005
#define ENUM_CTPEventID_Bulletin 11006
#define ENUM_CTPEventID_Subscribe 11007
#define ENUM_CTPEventID_Unsubscribe 11008
#define ENUM_CTPEventID_UpdateUserPassword 11009
#define ENUM_CTPEventID_UpdateTradingAccountPassword 11010
#define ENUM_CTPEventID_TransferCash 11011

// CTP task identifiers
#define ENUM_CTPTaskID_LoginTrader 11101
#define ENUM_CTPTaskID_LoginMd 11102
#define ENUM_CTPTaskID_Authenticate 11103
#define ENUM_CTPTaskID_ConfirmSettlementInfo 11104
#define ENUM_CTPTaskID_QryOrder 11201
#define ENUM_CTPTaskID_QryInstrumentOrderCommRate 11202
#define ENUM_CTPTaskID_QryParkedOrder 11203
#define ENUM_CTPTaskID_QryParkedOrderAction 11204
#define ENUM_CTPTaskID_QryCombAction 11205
#define ENUM_CTPTaskID_QryOptionSelfClose 11206
#define ENUM_CTPTaskID_QryExerciseOrder 11207
#define ENUM_CTPTaskID_QryTrade 11208
#define ENUM_CTPTaskID_QryInvestorPosition 11209
#define ENUM_CTPTaskID_QryInvestorPositionDetail 11210
#define ENUM_CTPTaskID_QryRiskSettleInvstPosition 11211
#define ENUM_CTPTaskID_QryInvestorPositionCombineDetail 11212
#define ENUM_CTPTaskID_QryTradingAccount 11213
#define ENUM_CTPTaskID_QrySettlementInfo 11214
#define ENUM_CTPTaskID_QryBankAccountCash 11215
#define ENUM_CTPTaskID_QryTransferCashDetail 11216
#define ENUM_CTPTaskID_QryForQuote 11217
#define ENUM_CTPTaskID_QryQuote 11218
#define ENUM_CTPTaskID_QryInvestor 11301
#define ENUM_CTPTaskID_QryTransferBank 11302
#define ENUM_CTPTaskID_QryAccountRegister 11303
#define ENUM_CTPTaskID_QryContractBank 11304
#define ENUM_CTPTaskID_QryConfirmSettlementInfo 11305
#define ENUM_CTPTaskID_QryUserAuthMethod 11306
#define ENUM_CTPTaskID_QryCFMMCTradingAccountKey 11307
#define ENUM_CTPTaskID_QryCFMMCTradingAccountToken 11308
#define ENUM_CTPTaskID_QryInvestUnit 11309
#define ENUM_CTPTaskID_QryTradingNotice 11310
#define ENUM_CTPTaskID_QryTradingCode 11311
#define ENUM_CTPTaskID_QryMaxOrderVolume 11312
#define ENUM_CTPTaskID_QryInstrumentMarginRate 11313
#define ENUM_CTPTaskID_QryInvestorProductGroupMargin 11314
#define ENUM_CTPTaskID_QryInstrumentCommissionRate 11315
#define ENUM_CTPTaskID_QryOptionInstrumentCommRate 11316
#define ENUM_CTPTaskID_QryOptionInstrumentTradeCost 11317
#define ENUM_CTPTaskID_QryMMInstrumentCommissionRate 11318
#define ENUM_CTPTaskID_QryMMOptionInstrumentCommRate 11319
#define ENUM_CTPTaskID_QrySecAgentTradeInfo 11320
#define ENUM_CTPTaskID_QrySecAgentTradingAccount 11321
#define ENUM_CTPTaskID_QrySecAgentCheckMode 11322
#define ENUM_CTPTaskID_QrySecAgentACIDMap 11323
#define ENUM_CTPTaskID_QryBrokerTradingParams 11324
#define ENUM_CTPTaskID_QryBrokerTradingAlgos 11325
#define ENUM_CTPTaskID_QryInstrument 11401
#define ENUM_CTPTaskID_QryClassifiedInstrument 11402
#define ENUM_CTPTaskID_QryCombInstrumentGuard 11403
#define ENUM_CTPTaskID_QryProduct 11404
#define ENUM_CTPTaskID_QryRiskSettleProductStatus 11405
#define ENUM_CTPTaskID_QryProductGroup 11406
#define ENUM_CTPTaskID_QryCombPromotionParam 11407
#define ENUM_CTPTaskID_QryExchange 11408
#define ENUM_CTPTaskID_QryExchangeMarginRate 11409
#define ENUM_CTPTaskID_QryExchangeMarginRateAdjust 11410
#define ENUM_CTPTaskID_QryNotice 11411
#define ENUM_CTPTaskID_QryEWarrantOffset 11412
#define ENUM_CTPTaskID_QryExchangeRate 11413
#define ENUM_CTPTaskID_QryProductExchRate 11414

// TORA stock event identifiers
#define ENUM_TORAStockEventID_CreateApiInstance 12001
#define ENUM_TORAStockEventID_TraderDisconnected 12002
#define ENUM_TORAStockEventID_MdDisconnected 12003
#define ENUM_TORAStockEventID_MarketStatus 12004
#define ENUM_TORAStockEventID_TradingNotice 12005
#define ENUM_TORAStockEventID_Subscribe 12006
#define ENUM_TORAStockEventID_Unsubscribe 12007
#define ENUM_TORAStockEventID_UpdateUserPassword 12008
#define ENUM_TORAStockEventID_TransferCash 12009
#define ENUM_TORAStockEventID_TransferPosition 12010
#define ENUM_TORAStockEventID_PeripheryTransferCash 12011
#define ENUM_TORAStockEventID_PeripheryTransferPosition 12012

// TORA stock task identifiers
#define ENUM_TORAStockTaskID_LoginTrader 12101
#define ENUM_TORAStockTaskID_LoginMd 12102
#define ENUM_TORAStockTaskID_QryOrder 12201
#define ENUM_TORAStockTaskID_QryOrderAction 12202
#define ENUM_TORAStockTaskID_QryOrderFundDetail 12203
#define ENUM_TORAStockTaskID_QryConditionOrder 12204
#define ENUM_TORAStockTaskID_QryConditionOrderAction 12205
#define ENUM_TORAStockTaskID_QryNegoOrder 12206
#define ENUM_TORAStockTaskID_QryNegoOrderAction 12207
#define ENUM_TORAStockTaskID_QryPrematurityRepoOrder 12208
#define ENUM_TORAStockTaskID_QryTrade 12209
#define ENUM_TORAStockTaskID_QryNegoTrade 12210
#define ENUM_TORAStockTaskID_QryTradeConcentration 12211
#define ENUM_TORAStockTaskID_QryPosition 12212
#define ENUM_TORAStockTaskID_QryPledgePosition 12213
#define ENUM_TORAStockTaskID_QryStandardBondPosition 12214
#define ENUM_TORAStockTaskID_QryTradingAccount 12215
#define ENUM_TORAStockTaskID_QryJZCash 12216
#define ENUM_TORAStockTaskID_QryBankAccountCash 12217
#define ENUM_TORAStockTaskID_QryTransferCashDetail 12218
#define ENUM_TORAStockTaskID_QryTransferPositionDetail 12219
#define ENUM_TORAStockTaskID_QryPeripheryTransferCashDetail 12220
#define ENUM_TORAStockTaskID_QryPeripheryTransferPositionDetail 12221
#define ENUM_TORAStockTaskID_QryUser 12301
#define ENUM_TORAStockTaskID_QryInvestor 12302
#define ENUM_TORAStockTaskID_QryShareholderAccount 12303
#define ENUM_TORAStockTaskID_QryShareholderSpecPrivilege 12304
#define ENUM_TORAStockTaskID_QryIPOQuota 12305
#define ENUM_TORAStockTaskID_QryIPONumberResult 12306
#define ENUM_TORAStockTaskID_QryIPOMatchNumberResult 12307
#define ENUM_TORAStockTaskID_QryMaxOrderVolume 12308
#define ENUM_TORAStockTaskID_QryInvestorPositionLimit 12309
#define ENUM_TORAStockTaskID_QryInvestorCondOrderLimitParam 12310
#define ENUM_TORAStockTaskID_QryInvestorTradingFee 12311
#define ENUM_TORAStockTaskID_QryTradingFee 12312
#define ENUM_TORAStockTaskID_QryTradingNotice 12313
#define ENUM_TORAStockTaskID_QryNodeCashAssignment 12314
#define ENUM_TORAStockTaskID_QryConnectionInfo 12315
#define ENUM_TORAStockTaskID_SetNodeCashAssignment 12316
#define ENUM_TORAStockTaskID_SetOpenPosCost 12317
#define ENUM_TORAStockTaskID_SetDeviceSerial 12318
#define ENUM_TORAStockTaskID_QrySecurity 12401
#define ENUM_TORAStockTaskID_QryIPOInfo 12402
#define ENUM_TORAStockTaskID_QryRationalInfo 12403
#define ENUM_TORAStockTaskID_QryPledgeInfo 12404
#define ENUM_TORAStockTaskID_QryBondConversionInfo 12405
#define ENUM_TORAStockTaskID_QryBondPutbackInfo 12406
#define ENUM_TORAStockTaskID_QryETFFile 12407
#define ENUM_TORAStockTaskID_QryETFBasket 12408
#define ENUM_TORAStockTaskID_QryLofFundInfo 12409
#define ENUM_TORAStockTaskID_QrySZSEImcParams 12410
#define ENUM_TORAStockTaskID_QrySZSEImcExchangeRate 12411
#define ENUM_TORAStockTaskID_QrySZSEHKPriceTickInfo 12412
#define ENUM_TORAStockTaskID_QryMarket 12413
#define ENUM_TORAStockTaskID_QryExchange 12414
#define ENUM_TORAStockTaskID_QrySystemNodeInfo 12415
#define ENUM_TORAStockTaskID_QryNegotiationParam 12416

#define MICROSECONDS_IN_SECOND 1000000

// ---------------------------------------------------------------------------------------------
// Character and text codes
// ---------------------------------------------------------------------------------------------

// Engine status
#define ENUM_ApiStatus_Null '0'
#define ENUM_ApiStatus_Failed '1'
#define ENUM_ApiStatus_Initializing '2'
#define ENUM_ApiStatus_Working '3'
#define ENUM_ApiStatus_Disconnected '4'
#define ENUM_ApiStatus_Exit '5'

// Run modes
#define ENUM_RunMode_Debug '0'
#define ENUM_RunMode_Release '1'

// Exchange identifiers
#define ENUM_ExchangeID_Unknown "U"
#define ENUM_ExchangeID_SSE "1"
#define ENUM_ExchangeID_SZSE "2"
#define ENUM_ExchangeID_HK "3"
#define ENUM_ExchangeID_CFFEX "CFFEX"
#define ENUM_ExchangeID_SHFE "SHFE"
#define ENUM_ExchangeID_INE "INE"
#define ENUM_ExchangeID_DCE "DCE"
#define ENUM_ExchangeID_CZCE "CZCE"

// Directions
#define ENUM_Direction_Buy '0'
#define ENUM_Direction_Sell '1'
#define ENUM_Direction_ReverseRepur '6'
#define ENUM_Direction_IPO '4'
#define ENUM_Direction_Rationed 'f'
#define ENUM_Direction_CreditBuy 'i'
#define ENUM_Direction_CreditSell 'j'
#define ENUM_Direction_SellRepay 'k'
#define ENUM_Direction_BuyRepay 'l'
#define ENUM_Direction_CoveredOpen 'E'
#define ENUM_Direction_CoveredClose 'F'

// Close modes
#define ENUM_CloseMode_HistoryOnly '0'
#define ENUM_CloseMode_FIFO '1'
#define ENUM_CloseMode_Either '2'

// Offset flags
#define ENUM_OffsetFlag_Open '0'
#define ENUM_OffsetFlag_Close '1'
#define ENUM_OffsetFlag_CloseToday '3'
#define ENUM_OffsetFlag_CloseHistory '4'

// Order types
#define ENUM_OrderType_LimitAndWait '0'
#define ENUM_OrderType_BestLimitAndWait '1'
#define ENUM_OrderType_HomeBestLimitAndWait '2'
#define ENUM_OrderType_FrontierLimitAndWait '3'
#define ENUM_OrderType_LastLimitAndWait '4'
#define ENUM_OrderType_FiveBestLimitAndWait '5'
#define ENUM_OrderType_SSE_LimitAndWait 'a'
#define ENUM_OrderType_SSE_FiveAndWait 'b'
#define ENUM_OrderType_SSE_FiveAndKill 'c'
#define ENUM_OrderType_SSEKC_BestAndWait 'd'
#define ENUM_OrderType_SSEKC_HomeBestAndWait 'e'
#define ENUM_OrderType_SSEKC_Fix 'f'
#define ENUM_OrderType_SSEOPTION_LimitOrKill 'g'
#define ENUM_OrderType_SSEOPTION_AnyAndWait 'h'
#define ENUM_OrderType_SSEOPTION_AnyAndKill 'i'
#define ENUM_OrderType_SSEOPTION_AnyOrKill 'j'
#define ENUM_OrderType_SZSE_LimitAndWait 'k'
#define ENUM_OrderType_SZSE_BestAndWait 'l'
#define ENUM_OrderType_SZSE_HomeBestAndWait 'm'
#define ENUM_OrderType_SZSE_AnyAndKill 'n'
#define ENUM_OrderType_SZSE_AnyOrKill 'o'
#define ENUM_OrderType_SZSE_FiveAndKill 'p'
#define ENUM_OrderType_SZSESGT_AuctionLimit 'q'
#define ENUM_OrderType_SZSEOPTION_LimitOrKill 'r'
#define ENUM_OrderType_CZCE_LimitAndWait 'A'
#define ENUM_OrderType_CZCE_LimitAndKill 'B'
#define ENUM_OrderType_CZCE_AnyAndWait 'C'
#define ENUM_OrderType_CZCE_AnyAndKill 'D'
#define ENUM_OrderType_CZCEOPTION_LimitOrKill 'E'
#define ENUM_OrderType_CZCEOPTION_AnyOrKill 'F'
#define ENUM_OrderType_DCE_LimitAndWait 'G'
#define ENUM_OrderType_DCE_LimitAndKill 'H'
#define ENUM_OrderType_DCE_LimitOrKill 'I'
#define ENUM_OrderType_DCE_AnyAndWait 'J'
#define ENUM_OrderType_DCE_AnyAndKill 'K'
#define ENUM_OrderType_DCE_AnyOrKill 'L'
#define ENUM_OrderType_DCE_AnyTouchAndWait 'M'
#define ENUM_OrderType_DCE_AnyTouchProfitAndWait 'N'
#define ENUM_OrderType_SHFE_LimitAndWait 'O'
#define ENUM_OrderType_SHFE_LimitAndKill 'P'
#define ENUM_OrderType_SHFE_LimitAndKillAndLimit 'Q'
#define ENUM_OrderType_SHFE_LimitOrKill 'R'
#define ENUM_OrderType_CFFEX_LimitAndWait 'S'
#define ENUM_OrderType_CFFEX_LimitAndKill 'T'
#define ENUM_OrderType_CFFEX_LimitAndKillAndLimit 'U'
#define ENUM_OrderType_CFFEX_LimitOrKill 'V'
#define ENUM_OrderType_CFFEX_FiveAndKill 'W'
#define ENUM_OrderType_CFFEX_FiveAndWait 'X'
#define ENUM_OrderType_CFFEX_BestAndKill 'Y'
#define ENUM_OrderType_CFFEX_BestAndWait 'Z'

// Combined order types
#define ENUM_CombineOrderType_LimitAndWait "231"
#define ENUM_CombineOrderType_SSE_LimitAndWait "231"
#define ENUM_CombineOrderType_SSE_FiveAndWait "G31"
#define ENUM_CombineOrderType_SSE_FiveAndKill "G11"
#define ENUM_CombineOrderType_SSEKC_BestAndWait "331"
#define ENUM_CombineOrderType_SSEKC_HomeBestAndWait "a31"
#define ENUM_CombineOrderType_SSEKC_Fix "831"
#define ENUM_CombineOrderType_SZSE_LimitAndWait "231"
#define ENUM_CombineOrderType_SZSE_BestAndWait "331"
#define ENUM_CombineOrderType_SZSE_HomeBestAndWait "a31"
#define ENUM_CombineOrderType_SZSE_AnyAndKill "111"
#define ENUM_CombineOrderType_SZSE_AnyOrKill "113"
#define ENUM_CombineOrderType_SZSE_FiveAndKill "G11"
#define ENUM_CombineOrderType_SZSESGT_AuctionLimit "261"

// Order statuses
#define ENUM_OrderStatus_Cached '1'
#define ENUM_OrderStatus_Accepted '2'
#define ENUM_OrderStatus_PartTraded '3'
#define ENUM_OrderStatus_AllTraded '4'
#define ENUM_OrderStatus_Canceled '5'
#define ENUM_OrderStatus_Rejected '6'

// Market-data types
#define ENUM_MarketDataType_Snap '0'
#define ENUM_MarketDataType_IndexSnap '1'
#define ENUM_MarketDataType_DetailTransaction '2'
#define ENUM_MarketDataType_DetailOrder '3'
#define ENUM_MarketDataType_ResendDetailTransaction '4'
#define ENUM_MarketDataType_ResendDetailOrder '5'
#define ENUM_MarketDataType_PHMarketData '6'
#define ENUM_MarketDataType_PHDetailTransaction '7'

// Detail order types
#define ENUM_DetailOrderType_MarketOrder '1'
#define ENUM_DetailOrderType_LimitOrder '2'
#define ENUM_DetailOrderType_HomeBestOrder '3'
#define ENUM_DetailOrderType_Buy '1'
#define ENUM_DetailOrderType_Sell '2'
#define ENUM_DetailOrderType_Borrow '3'
#define ENUM_DetailOrderType_Lend '4'
#define ENUM_DetailOrderType__Buy 'B'
#define ENUM_DetailOrderType__Sell 'S'
#define ENUM_DetailOrderType__Unknown 'N'

// Detail transaction types
#define ENUM_DetailTransactionType_Fill '1'
#define ENUM_DetailTransactionType_Cancel '2'
#define ENUM_DetailTransactionType_Unknown 'N'

// Password flags
#define ENUM_PasswordFlag_UserPassword '0'
#define ENUM_PasswordFlag_AccountPassword '1'

// Credit debt types and statuses
#define ENUM_CreditDebtType_CreditBuy '0'
#define ENUM_CreditDebtType_CreditSell '1'
#define ENUM_CreditDebtStatus_Valid '0'
#define ENUM_CreditDebtStatus_Fulfill '1'

// Credit quota
#define ENUM_CreditQuotaType_Normal '0'
#define ENUM_CreditQuotaType_Special '1'

// Transfer flags
#define ENUM_TransferFlag_CashFromBank 'Z'
#define ENUM_TransferFlag_CashUnfreeze 'Y'
#define ENUM_TransferFlag_CashFromJZ 'X'
#define ENUM_TransferFlag_CashFromExternNode 'W'
#define ENUM_TransferFlag_PositionFromExternNode 'V'
#define ENUM_TransferFlag_PositionFromStockToCredit 'U'
#define ENUM_TransferFlag_PositionFromStockToOption 'T'
#define ENUM_TransferFlag_CashToBank 'S'
#define ENUM_TransferFlag_CashFreeze 'R'
#define ENUM_TransferFlag_CashToJZ 'Q'
#define ENUM_TransferFlag_CashToExternNode 'P'
#define ENUM_TransferFlag_PositionToExternNode 'O'
#define ENUM_TransferFlag_PositionFromCreditToStock 'N'
#define ENUM_TransferFlag_RepayCash 'M'
#define ENUM_TransferFlag_RepayPosition 'L'
#define ENUM_TransferFlag_PositionFromOptionToStock 'K'

// Transfer statuses
#define ENUM_TransferStatus_OutSideFrozen '0'
#define ENUM_TransferStatus_Succeed '1'
#define ENUM_TransferStatus_Failed '2'
#define ENUM_TransferStatus_Repealed '3'
#define ENUM_TransferStatus_RepealFailed '4'
#define ENUM_TransferStatus_Canceled '5'

// Transfer position types
#define ENUM_TransferPositionType_All '0'
#define ENUM_TransferPositionType_History '1'
#define ENUM_TransferPositionType_TodayBS '2'
#define ENUM_TransferPositionType_TodayPR '3'
#define ENUM_TransferPositionType_TodaySM '4'

#endif  // TRADECORE_QNRECORDS_H
