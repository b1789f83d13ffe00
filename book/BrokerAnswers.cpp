// The SDK's records of the book's query answers, read through the SDK layer (torasdk/): the
// order state and the usable cash as each SDK generation codes them, and the fields only some
// builds declare.
#include "book/BrokerAnswers.h"

#include <cstdio>
#include <type_traits>

#include "ToraSdk.h"
#include "book/AccountBook.h"
#include "book/BookDetail.h"
#include "engine/Text.h"

using namespace tc::sdk::trader_names;

namespace tc {
namespace book {

namespace {

// An order reference: decimal text in some builds, an int in others.
template <std::size_t N>
int referenceOf(const char (&field)[N]) {
    return parseDecimal(field, N);
}
// (Only one of the two is used by a given SDK build.)
[[maybe_unused]] inline int referenceOf(int field) { return field; }

char engineStatus(const CTORATstpOrderField &q) {
    switch (tc::sdk::orderState(q)) {
    case tc::sdk::OrderState::InsertRejected: return ENUM_OrderStatus_Rejected;
    case tc::sdk::OrderState::Cached: return ENUM_OrderStatus_Cached;
    case tc::sdk::OrderState::Accepted: return ENUM_OrderStatus_Accepted;
    case tc::sdk::OrderState::PartTraded: return ENUM_OrderStatus_PartTraded;
    case tc::sdk::OrderState::AllTraded: return ENUM_OrderStatus_AllTraded;
    case tc::sdk::OrderState::Canceled: return ENUM_OrderStatus_Canceled;
    case tc::sdk::OrderState::Other: break;
    }
    // Not queueing any more, or not known: finished when nothing is left to trade.
    return tc::sdk::remainingVolume(q) > 0 ? ENUM_OrderStatus_Accepted : ENUM_OrderStatus_Canceled;
}

void readOrder(AccountBook &book, const CTORATstpOrderField &q) {
    OrderAnswer a{};
    securityKey(a.key, q.SecurityID, q.ExchangeID);
    a.orderRef = referenceOf(q.OrderRef);
    a.frontID = q.FrontID;
    a.sessionID = q.SessionID;
    copyField(a.orderSysID, q.OrderSysID);
    copyField(a.insertTime, q.InsertTime);
    a.direction = q.Direction;
    a.offsetFlag = a.direction == ENUM_Direction_Buy ? ENUM_OffsetFlag_Open : ENUM_OffsetFlag_Close;
    TC_SDK_IF_FIELD(q, CombOffsetFlag, a.offsetFlag = field[0]);
    a.status = engineStatus(q);
    a.volume = q.VolumeTotalOriginal;
    a.traded = q.VolumeTraded;
    a.price = q.LimitPrice;
    a.turnover = q.Turnover;
    book.queryOrder(a);
}

void readTrade(AccountBook &book, const CTORATstpTradeField &t) {
    TradeAnswer a{};
    securityKey(a.key, t.SecurityID, t.ExchangeID);
    char tradeID[sizeof t.TradeID + 1];
    copyField(tradeID, t.TradeID);
    std::snprintf(a.tradeKey, sizeof a.tradeKey, "%c.%s", t.ExchangeID ? t.ExchangeID : '?', tradeID);
    copyField(a.orderSysID, t.OrderSysID);
    a.direction = t.Direction;
    a.volume = t.Volume;
    a.price = t.Price;
    book.queryTrade(a);
}

void readPosition(AccountBook &book, const CTORATstpPositionField &p) {
    PositionAnswer a{};
    securityKey(a.key, p.SecurityID, p.ExchangeID);
    a.volume = p.CurrentPosition;
    a.available = p.AvailablePosition;
    a.frozen = p.HistoryPosFrozen;
    // Today's frozen volumes, under the legacy builds' names or the current generation's.
    TC_SDK_IF_FIELD(p, TodayBSFrozen, a.frozen += field);
    TC_SDK_IF_FIELD(p, TodayPRFrozen, a.frozen += field);
    TC_SDK_IF_FIELD(p, TodayBSPosFrozen, a.frozen += field);
    TC_SDK_IF_FIELD(p, TodayPRPosFrozen, a.frozen += field);
    TC_SDK_IF_FIELD(p, TodaySMPosFrozen, a.frozen += field);
    a.startVolume = p.PrePosition;
    a.cost = p.TotalPosCost;
    book.queryPosition(a);
}

}  // namespace

bool brokerAnswer(AccountBook &book, int taskID, const void *record) {
    switch (taskID) {
    case ENUM_TORAStockTaskID_QryOrder:
        readOrder(book, *static_cast<const CTORATstpOrderField *>(record));
        return true;
    case ENUM_TORAStockTaskID_QryTrade:
        readTrade(book, *static_cast<const CTORATstpTradeField *>(record));
        return true;
    case ENUM_TORAStockTaskID_QryPosition:
        readPosition(book, *static_cast<const CTORATstpPositionField *>(record));
        return true;
    case ENUM_TORAStockTaskID_QryTradingAccount: {
        const auto &a = *static_cast<const CTORATstpTradingAccountField *>(record);
        book.queryAccount(tc::sdk::availableCash(a), a.FrozenCash);
        return true;
    }
    case ENUM_TORAStockTaskID_LoginTrader: {
        const auto &r = *static_cast<const CTORATstpRspUserLoginField *>(record);
        book.setSession(r.FrontID, r.SessionID);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace book
}  // namespace tc
