// Field tables of the engine records, the event table, and the exported toText/getFields.
#include "events/EventTable.h"

#include <array>
#include <initializer_list>
#include <iterator>
#include <type_traits>

#include "engine/tradecore_api.h"
#include "events/ToraRecords.h"

namespace tc {
namespace {

// Each record is listed once, as (field, kind) in declaration order. The same list yields the
// field table, the comma-joined field list and a compile-time check of every field's kind.
#define TC_ORDER_FIELDS(FIRST, NEXT)                                                          \
    FIRST(TradingDay, Text) NEXT(UserID, Text) NEXT(ShareholderID, Text) NEXT(SessionID, Int32) \
    NEXT(FrontID, Int32) NEXT(OrderID, Int32) NEXT(OrderMark, Int32) NEXT(ExchangeID, Text)     \
    NEXT(StandardID, Text) NEXT(Direction, Char) NEXT(OffsetFlag, Char) NEXT(OrderType, Char)    \
    NEXT(IsBuyFromMarket, Bool) NEXT(IsLimitOrder, Bool) NEXT(CombineOrderType, Text)            \
    NEXT(CreditQuotaType, Char) NEXT(CreditDebtID, Text) NEXT(OriginalVolume, Int32)             \
    NEXT(OriginalPrice, Double) NEXT(OrderLocalTime, Int64) NEXT(OrderSysID, Text)               \
    NEXT(InsertTime, Text) NEXT(UpdateTime, Text) NEXT(OrderStatus, Char)                        \
    NEXT(TradedVolumeChange, Int32) NEXT(TradedVolume, Int32) NEXT(CanceledVolume, Int32)        \
    NEXT(LastTradedPrice, Double) NEXT(TradedVolumeChangeOfTurnover, Int32)                      \
    NEXT(TradedVolumeOfTurnover, Int32) NEXT(TurnoverChange, Double) NEXT(Turnover, Double)      \
    NEXT(AverageCost, Double) NEXT(UsableVolume, Int32) NEXT(UseableCash, Double)                \
    NEXT(ErrorID, Int32) NEXT(Message, Text)

#define TC_MARKETDATA_FIELDS(FIRST, NEXT)                                                      \
    FIRST(TradingDay, Text) NEXT(ExchangeID, Text) NEXT(StandardID, Text)                       \
    NEXT(MarketDataStatus, Char) NEXT(UpdateTime, Text) NEXT(UpdateMillisec, Int32)              \
    NEXT(LastPrice, Double) NEXT(PreClosePrice, Double) NEXT(PreSettlementPrice, Double)         \
    NEXT(OpenPrice, Double) NEXT(HighestPrice, Double) NEXT(LowestPrice, Double)                 \
    NEXT(BidPrice1, Double) NEXT(BidVolume1, Int32) NEXT(AskPrice1, Double) NEXT(AskVolume1, Int32) \
    NEXT(UpperLimitPrice, Double) NEXT(LowerLimitPrice, Double) NEXT(OpenInterest, Double)       \
    NEXT(PreOpenInterest, Double) NEXT(Volume, Int64) NEXT(Turnover, Double)                     \
    NEXT(AveragePrice, Double) NEXT(BidPrice2, Double) NEXT(BidVolume2, Int32)                   \
    NEXT(AskPrice2, Double) NEXT(AskVolume2, Int32) NEXT(BidPrice3, Double)                      \
    NEXT(BidVolume3, Int32) NEXT(AskPrice3, Double) NEXT(AskVolume3, Int32)                      \
    NEXT(BidPrice4, Double) NEXT(BidVolume4, Int32) NEXT(AskPrice4, Double)                      \
    NEXT(AskVolume4, Int32) NEXT(BidPrice5, Double) NEXT(BidVolume5, Int32)                      \
    NEXT(AskPrice5, Double) NEXT(AskVolume5, Int32)

#define TC_TRANSFER_FIELDS(FIRST, NEXT)                                                        \
    FIRST(TradingDay, Text) NEXT(UserID, Text) NEXT(TransferID, Int32)                          \
    NEXT(TransferStatus, Char) NEXT(TransferFlag, Char) NEXT(Amount, Double) NEXT(Volume, Int32) \
    NEXT(ExchangeID, Text) NEXT(StandardID, Text) NEXT(TransferPositionType, Char)               \
    NEXT(CreditDebtID, Text) NEXT(BankID, Text) NEXT(ExternalNodeID, Text) NEXT(FrontID, Int32)  \
    NEXT(SessionID, Int32) NEXT(BusinessID, Text) NEXT(ErrorID, Int32) NEXT(Message, Text)

template <class T>
constexpr bool kindFits(FieldKind kind) {
    switch (kind) {
    case FieldKind::Text:
        return std::is_array_v<T> && std::is_same_v<std::remove_extent_t<T>, char>;
    case FieldKind::Char: return std::is_same_v<T, char>;
    case FieldKind::Bool: return std::is_same_v<T, bool>;
    case FieldKind::Int16: return std::is_same_v<T, short>;
    case FieldKind::Int32: return std::is_same_v<T, int>;
    case FieldKind::Int64: return std::is_same_v<T, long long>;
    case FieldKind::Double: return std::is_same_v<T, double>;
    }
    return false;
}

#define TC_NAME_FIRST(NAME, KIND) #NAME
#define TC_NAME_NEXT(NAME, KIND) "," #NAME

#define TC_ORDER_DESC(NAME, KIND) TC_FIELD(CQNOrderField, NAME, KIND),
#define TC_ORDER_CHECK(NAME, KIND) \
    static_assert(kindFits<decltype(CQNOrderField::NAME)>(FieldKind::KIND), "CQNOrderField::" #NAME);
#define TC_MARKETDATA_DESC(NAME, KIND) TC_FIELD(CQNMarketDataField, NAME, KIND),
#define TC_MARKETDATA_CHECK(NAME, KIND) \
    static_assert(kindFits<decltype(CQNMarketDataField::NAME)>(FieldKind::KIND), "CQNMarketDataField::" #NAME);
#define TC_TRANSFER_DESC(NAME, KIND) TC_FIELD(CQNTransferAssetField, NAME, KIND),
#define TC_TRANSFER_CHECK(NAME, KIND)                                                      \
    static_assert(kindFits<decltype(CQNTransferAssetField::NAME)>(FieldKind::KIND),       \
                  "CQNTransferAssetField::" #NAME);

TC_ORDER_FIELDS(TC_ORDER_CHECK, TC_ORDER_CHECK)
TC_MARKETDATA_FIELDS(TC_MARKETDATA_CHECK, TC_MARKETDATA_CHECK)
TC_TRANSFER_FIELDS(TC_TRANSFER_CHECK, TC_TRANSFER_CHECK)

constexpr bool sameName(const char *a, const char *b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

// The table with the sources of its text fields: those named in `python` hold what Python gave
// (the caller's codes, the login copy's user id) and `orderMessage` the engine's order texts;
// every other text is the broker's.
template <std::size_t N>
constexpr std::array<FieldDesc, N> withSources(const FieldDesc (&fields)[N], std::initializer_list<const char *> python,
                                               const char *orderMessage) {
    std::array<FieldDesc, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        out[i] = fields[i];
        for (const char *name : python) {
            if (sameName(name, fields[i].name)) out[i].source = TextSource::Python;
        }
        if (orderMessage && sameName(orderMessage, fields[i].name)) out[i].source = TextSource::OrderMessage;
    }
    return out;
}

constexpr FieldDesc kOrderTable[] = {TC_ORDER_FIELDS(TC_ORDER_DESC, TC_ORDER_DESC)};
constexpr FieldDesc kMarketDataFields[] = {TC_MARKETDATA_FIELDS(TC_MARKETDATA_DESC, TC_MARKETDATA_DESC)};
constexpr FieldDesc kTransferTable[] = {TC_TRANSFER_FIELDS(TC_TRANSFER_DESC, TC_TRANSFER_DESC)};
constexpr auto kOrderFields =
    withSources(kOrderTable, {"UserID", "ExchangeID", "StandardID", "CombineOrderType", "CreditDebtID"}, "Message");
constexpr auto kTransferFields = withSources(
    kTransferTable, {"UserID", "ExchangeID", "StandardID", "CreditDebtID", "BankID", "ExternalNodeID"}, nullptr);

const RecordDesc kOrderDesc = {"CQNOrderField", TC_ORDER_FIELDS(TC_NAME_FIRST, TC_NAME_NEXT), kOrderFields.data(),
                               kOrderFields.size()};
const RecordDesc kMarketDataDesc = {"CQNMarketDataField", TC_MARKETDATA_FIELDS(TC_NAME_FIRST, TC_NAME_NEXT),
                                    kMarketDataFields, std::size(kMarketDataFields)};
const RecordDesc kTransferDesc = {"CQNTransferAssetField", TC_TRANSFER_FIELDS(TC_NAME_FIRST, TC_NAME_NEXT),
                                  kTransferFields.data(), kTransferFields.size()};

// Rows of the engine records and the session events, by ascending identifier. The SDK rows
// (12004-12415) come from the SDK record tables.
const EventRow eventTable[] = {
    {ENUM_EventID_DayRolling, "DayRolling", nullptr},
    {ENUM_EventID_MdReady, "MdReady", nullptr},
    {ENUM_EventID_TraderReady, "TraderReady", nullptr},
    {ENUM_OrderEventID_Traded, "Traded", &kOrderDesc},
    {ENUM_OrderEventID_Canceled, "Canceled", &kOrderDesc},
    {ENUM_OrderEventID_UpdateCost, "UpdateCost", &kOrderDesc},
    {ENUM_OrderEventID_Accepted, "Accepted", &kOrderDesc},
    {ENUM_OrderEventID_InsertRejected, "InsertRejected", &kOrderDesc},
    {ENUM_OrderEventID_CancelRejected, "CancelRejected", &kOrderDesc},
    {ENUM_OrderEventID_Cached, "Cached", &kOrderDesc},
    {ENUM_SnapDataEventID_MarketData, "MarketData", &kMarketDataDesc},
    {ENUM_SnapDataEventID_IndexData, "IndexData", &kMarketDataDesc},
    {ENUM_CTPEventID_TransferCash, "TransferCash", &kTransferDesc},
    {ENUM_TORAStockEventID_TransferCash, "TransferCash", &kTransferDesc},
    {ENUM_TORAStockEventID_TransferPosition, "TransferPosition", &kTransferDesc},
    {ENUM_TORAStockEventID_PeripheryTransferCash, "PeripheryTransferCash", &kTransferDesc},
    {ENUM_TORAStockEventID_PeripheryTransferPosition, "PeripheryTransferPosition", &kTransferDesc},
};

bool isOrderEvent(int id) { return id >= ENUM_OrderEventID_Traded && id <= ENUM_OrderEventID_Cached; }
bool isSnapshotEvent(int id) {
    return id == ENUM_SnapDataEventID_MarketData || id == ENUM_SnapDataEventID_IndexData;
}
bool isTransferEvent(int id) {
    return id == ENUM_CTPEventID_TransferCash ||
           (id >= ENUM_TORAStockEventID_TransferCash && id <= ENUM_TORAStockEventID_PeripheryTransferPosition);
}
bool isSdkEvent(int id) { return id >= 12001 && id <= 12999; }

const EventRow *findEngineRow(int eventID) {
    for (const EventRow &row : eventTable) {
        if (row.eventID == eventID) return &row;
    }
    return nullptr;
}

}  // namespace

const RecordDesc &orderRecordDesc() { return kOrderDesc; }
const RecordDesc &marketDataRecordDesc() { return kMarketDataDesc; }
const RecordDesc &transferRecordDesc() { return kTransferDesc; }

bool findEventRow(int eventID, EventRow *row) {
    if (const EventRow *engine = findEngineRow(eventID)) {
        *row = *engine;
        return true;
    }
    if (!isSdkEvent(eventID)) return false;
    const char *name = toraEventName(eventID);
    if (name == nullptr) return false;
    *row = EventRow{eventID, name, toraRecordForEvent(eventID)};
    return true;
}

const char *eventName(int eventID) {
    EventRow row;
    return findEventRow(eventID, &row) ? row.name : nullptr;
}

bool findPrintedEventRow(int eventID, EventRow *row) {
    const bool session = eventID >= ENUM_EventID_DayRolling && eventID <= ENUM_EventID_TraderReady;
    const bool sdkRange = eventID >= 12004 && eventID <= 12415;
    return (session || sdkRange) && findEventRow(eventID, row);
}

const char *renderOrderText(const CQNOrderField *order, bool withNames, const char *separator, int precision) {
    return renderRecord(kOrderDesc, order, withNames, separator, precision);
}

const char *renderMarketDataText(const CQNMarketDataField *snapshot, bool withNames, const char *separator,
                                 int precision) {
    return renderRecord(kMarketDataDesc, snapshot, withNames, separator, precision);
}

const char *renderTransferText(const CQNTransferAssetField *transfer, bool withNames, const char *separator,
                               int precision) {
    return renderRecord(kTransferDesc, transfer, withNames, separator, precision);
}

const char *renderSdkRecordText(int eventID, const void *record) {
    const RecordDesc *desc = toraRecordForEvent(eventID);
    if (desc == nullptr) return kInvalidEventIDText;
    return renderRecord(*desc, record, true, kSdkSeparator, kSdkPrecision);
}

}  // namespace tc

extern "C" TRADECORE_API const char *toText(TQNEventIDType EventID, void *Record, bool WithNames,
                                            const char *Separator, int Precision) {
    using namespace tc;
    if (Record == nullptr) return "";
    if (isOrderEvent(EventID))
        return renderOrderText(static_cast<const CQNOrderField *>(Record), WithNames, Separator, Precision);
    if (isSnapshotEvent(EventID))
        return renderMarketDataText(static_cast<const CQNMarketDataField *>(Record), WithNames, Separator,
                                    Precision);
    if (isTransferEvent(EventID))
        return renderTransferText(static_cast<const CQNTransferAssetField *>(Record), WithNames, Separator,
                                  Precision);
    if (isSdkEvent(EventID)) return renderSdkRecordText(EventID, Record);
    return kInvalidEventIDText;
}

extern "C" TRADECORE_API const char *getFields(TQNEventIDType EventID, void * /*Record*/) {
    using namespace tc;
    if (isOrderEvent(EventID)) return kOrderDesc.fieldList;
    if (isSnapshotEvent(EventID)) return kMarketDataDesc.fieldList;
    if (isTransferEvent(EventID)) return kTransferDesc.fieldList;
    if (isSdkEvent(EventID)) {
        const RecordDesc *desc = toraRecordForEvent(EventID);
        return desc ? desc->fieldList : kInvalidEventIDText;
    }
    return kInvalidEventIDText;
}
