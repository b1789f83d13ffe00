// Order entry: an order's record and identifier, its price for market-type order types, the
// insert request and the cash set aside for an opening order.
#include <cstdint>
#include <cstring>
#include <new>

#include "engine/OrderGate.h"
#include "engine/Time.h"
#include "events/Delivery.h"
#include "marketdata/SnapshotStore.h"
#include "trader/CTORAStockTrader.h"
#include "trader/OrderText.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

namespace tc {

OrderPricing priceOrderType(const CBaseMd *md, const char *securityKey, char orderType, bool isBuyFromMarket,
                            double givenPrice) {
    enum class Source { Given, HomeBest, Limit, Best };
    const char *combine = "231";
    Source source = Source::Best;
    bool isLimit = true;
    switch (orderType) {
    case '0': case 'a': case 'k':
        source = Source::Given;
        break;
    case '2':
        source = Source::HomeBest;
        break;
    case '3': case '5':
        source = Source::Limit;
        break;
    case 'b':
        combine = "G31", source = Source::Limit, isLimit = false;
        break;
    case 'c': case 'p':
        combine = "G11", source = Source::Limit, isLimit = false;
        break;
    case 'd': case 'l':
        combine = "331", source = Source::Best, isLimit = false;
        break;
    case 'e': case 'm':
        combine = "a31", source = Source::HomeBest, isLimit = false;
        break;
    case 'f':
        combine = "831", source = Source::Given;
        break;
    case 'n':
        combine = "111", source = Source::Limit, isLimit = false;
        break;
    case 'o':
        combine = "113", source = Source::Limit, isLimit = false;
        break;
    case 'q':
        combine = "261", source = Source::Given;
        break;
    default:  // "1" and "4" among them: the opposite side's best price, kept as a limit order
        break;
    }
    OrderPricing p{};
    std::memcpy(p.combineOrderType, combine, 4);
    p.isLimitOrder = isLimit;
    switch (source) {
    case Source::Given: p.price = givenPrice; break;
    case Source::HomeBest: p.price = getHomeBestPrice(md, securityKey, isBuyFromMarket, 0.0); break;
    case Source::Limit: p.price = getLimitPrice(md, securityKey, isBuyFromMarket, 0.0); break;
    case Source::Best: p.price = getBestPrice(md, securityKey, isBuyFromMarket, 0.0); break;
    }
    return p;
}

}  // namespace tc

tc::OrderSlot *CTORAStockTrader::allocateOrder(const tc::SecurityEntry *security, const char *exchangeID,
                                               const char *standardID, int orderMark) {
    // Slots are never freed, so they come from the permanent arena (no heap call, no page fault).
    // Constructed as declared, without zeroing the whole slot first: the record zeroes itself,
    // the key starts empty.
    auto *slot = new (tc::PermanentArena::records().allocate(sizeof(tc::OrderSlot), alignof(tc::OrderSlot)))
        tc::OrderSlot;
    CQNOrderField &o = slot->record;
    // The fresh record and key are all zero: the texts go in without padding.
    if (security) {
        putField(o.ExchangeID, security->ExchangeID);
        putField(o.StandardID, security->StandardID);
        putField(slot->key, security->key);
    } else {
        // What the caller gave, also without an exchange: a code the directory does not know is
        // sent as given, and the broker answers it.
        putText(o.ExchangeID, exchangeID);
        putText(o.StandardID, standardID);
        if (standardID) putSecurityKey(slot->key, o.StandardID, o.ExchangeID);
    }
    o.OrderID = nextID() + orderMark;
    o.OrderMark = orderMark;
    orderIndexLock_.lock();
    try {
        orderIndex_[o.OrderID] = slot;
    } catch (...) {
        orderIndexLock_.unlock();
        throw;
    }
    orderIndexLock_.unlock();
    return slot;
}

void CTORAStockTrader::priceOrder(tc::OrderSlot *slot, double givenPrice) {
    CQNOrderField &o = slot->record;
    const tc::OrderPricing p = tc::priceOrderType(md_, slot->key, o.OrderType, o.IsBuyFromMarket, givenPrice);
    tc::copyText(o.CombineOrderType, p.combineOrderType);
    o.OriginalPrice = p.price;
    o.IsLimitOrder = p.isLimitOrder;
}

tc::OrderSlot *CTORAStockTrader::createPricedOrder(const tc::SecurityEntry *security, const char *exchangeID,
                                                   const char *standardID, int volume, char orderType, double price,
                                                   int orderMark, char direction, char offsetFlag) {
    tc::OrderSlot *slot = allocateOrder(security, exchangeID, standardID, orderMark);
    CQNOrderField &o = slot->record;
    o.OrderType = orderType;
    o.Direction = direction;
    o.OffsetFlag = offsetFlag;
    o.IsBuyFromMarket = (direction == ENUM_Direction_Buy);
    o.OriginalVolume = volume;
    priceOrder(slot, price);
    sendOrder(slot);
    return slot;
}

tc::RecordBlock<CQNOrderField> *CTORAStockTrader::buyOpen(const tc::SecurityEntry *security, const char *exchangeID,
                                                          const char *standardID, int volume, char orderType,
                                                          double price, int orderMark, char direction) {
    return createPricedOrder(security, exchangeID, standardID, volume, orderType, price, orderMark, direction,
                             ENUM_OffsetFlag_Open);
}

tc::RecordBlock<CQNOrderField> *CTORAStockTrader::sellClose(const tc::SecurityEntry *security,
                                                            const char *exchangeID, const char *standardID,
                                                            int volume, char orderType, double price, int orderMark,
                                                            char direction, char offsetFlag,
                                                            const char * /*extraText*/) {
    return createPricedOrder(security, exchangeID, standardID, volume, orderType, price, orderMark, direction,
                             offsetFlag);
}

// A stock account cannot open short or buy to close.
tc::RecordBlock<CQNOrderField> *CTORAStockTrader::sellOpen(const tc::SecurityEntry *, const char *, const char *, int,
                                                           char, double, int, char, char) {
    return nullptr;
}

tc::RecordBlock<CQNOrderField> *CTORAStockTrader::buyClose(const tc::SecurityEntry *, const char *, const char *, int,
                                                           char, double, int, char, char, const char *) {
    return nullptr;
}

tc::RecordBlock<CQNOrderField> *CTORAStockTrader::insertOrder(const char *exchangeID, const char *standardID,
                                                              char direction, char offsetFlag, int volume,
                                                              const char *combineOrderType, double price,
                                                              short orderMark, char creditQuotaType,
                                                              const char *creditDebtID) {
    tc::OrderSlot *slot = allocateOrder(nullptr, exchangeID, standardID, orderMark);
    CQNOrderField &o = slot->record;
    o.Direction = direction;
    o.OffsetFlag = offsetFlag;
    tc::copyText(o.CombineOrderType, combineOrderType);
    o.OriginalPrice = price;
    o.CreditQuotaType = creditQuotaType;
    tc::copyText(o.CreditDebtID, creditDebtID);
    o.OriginalVolume = volume;
    sendOrder(slot);
    return slot;
}

int CTORAStockTrader::sendOrder(tc::RecordBlock<CQNOrderField> *block) {
    if (!block) return ENUM_ErrorID_FailToSend;
    auto *slot = static_cast<tc::OrderSlot *>(block);
    CQNOrderField &o = slot->record;

    // An opening order holds back what it may spend before its request leaves, so that an answer
    // which gives it back (a rejection) finds it held. A price below zero (a market-type order
    // without a snapshot goes out at -1) or a volume below zero holds nothing back. It is held
    // back before the gate looks at the order too, in the same step as the gate's cash figure is
    // read: an order checked meanwhile on another thread sees this one's cash gone, so two buys
    // that each fit the cash but not together are never both let through.
    const double reserve = static_cast<double>(o.OriginalVolume) * o.OriginalPrice;
    const bool reserves = o.OffsetFlag == ENUM_OffsetFlag_Open && o.OriginalVolume > 0 && o.OriginalPrice > 0;
    tc::OrderGate *const gate = orderGate();
    double cashBefore = 0;
    if (reserves || gate) {
        lockCash();
        cashBefore = useableCash();
        if (reserves) addUseableCash(-reserve);
        unlockCash();
        if (reserves) slot->reservedCash = reserve;
    }

    // The gate (pre-trade risk checks) sees the filled order first, with the cash there was
    // before it; what it refuses is never sent (and what it held back comes back below). The
    // clock read it is given doubles as the order's local time.
    int refusal = 0;
    long long checkedAt = 0;
    char refusalText[sizeof(TQNMessageType)];
    if (gate) {
        checkedAt = tc::nowMicros();
        const tc::OrderCheck check{&o, slot->key, cashBefore, checkedAt, md_.load(std::memory_order_acquire)};
        refusal = gate->checkOrder(check, refusalText);
    }

    CTORATstpInputOrderField req;
    std::memset(&req, 0, sizeof req);
    putField(req.SecurityID, o.StandardID);
    putRef(req.OrderRef, o.OrderID);
    req.OrderPriceType = tc::sdk::orderPriceType(o.CombineOrderType[0]);
    req.Direction = o.Direction;
    // Legacy builds also take the offset and hedge flags, and the terminal's identity below.
    TC_SDK_IF_FIELD(req, CombOffsetFlag, field[0] = o.OffsetFlag);
    TC_SDK_IF_FIELD(req, CombHedgeFlag, field[0] = tc::sdk::kHedgeSpeculation);
    req.LimitPrice = o.OriginalPrice;
    req.VolumeTotalOriginal = o.OriginalVolume;
    req.TimeCondition = o.CombineOrderType[1];
    req.VolumeCondition = o.CombineOrderType[2];
    req.ForceCloseReason = TORA_TSTP_FCC_NotForceClose;
    req.ExchangeID = o.ExchangeID[0];
    copyShareholderID(req.ExchangeID, req.ShareholderID);
    TC_SDK_IF_FIELD(req, IPAddress, putField(field, login_->OuterIPAddress));
    TC_SDK_IF_FIELD(req, MacAddress, putField(field, login_->MacAddress));
    TC_SDK_IF_FIELD(req, TerminalInfo, putField(field, login_->TerminalInfo));
    TC_SDK_IF_FIELD(req, BInfo, {
        static_assert(sizeof field >= sizeof kVersionText, "the version text fits whole");
        std::memcpy(field, kVersionText, sizeof kVersionText);
    });
    req.Operway = '1';
    TC_SDK_IF_FIELD(req, HDSerial, putField(field, login_->HDSerial));

    // The session the request goes out on, written before it goes: once the broker has accepted
    // the order, the cancels read these from the active orders without the record lock.
    slot->sessionPending = !sessionConfirmed_.load(std::memory_order_acquire);
    o.SessionID = slot->sessionID = sessionID();
    o.FrontID = slot->frontID = frontID();
    int rc = refusal;
    if (rc == 0) rc = api_ ? api_->ReqOrderInsert(&req, o.OrderID) : ENUM_ErrorID_FailToCreateTrader;

    // Notifications may already be arriving for this order; every write from here on is made
    // under the record lock like theirs. Usually nobody holds it: one exchange takes it then.
    std::int32_t unheld = 0;
    if (!tc::lockOf(&o)->word.compare_exchange_strong(unheld, -1, std::memory_order_acquire,
                                                      std::memory_order_relaxed)) {
        tc::lockExclusive(&o);
    }
    o.OrderLocalTime = gate ? checkedAt : tc::nowMicros();
    tc::copyTradingDay(o.TradingDay);
    tc::copyField(o.UserID, login_->UserID);
    if (rc != 0) {
        // Nothing went out: what was held back comes back.
        if (slot->reservedCash > 0) {
            lockCash();
            addUseableCash(slot->reservedCash);
            unlockCash();
            slot->reservedCash = 0;
        }
        slot->setStatus(ENUM_OrderStatus_Rejected);
        o.ErrorID = refusal != 0 ? refusal : ENUM_ErrorID_FailToSend;
        tc::formatOrderMessage(o.Message, tc::OrderMessage::SendFailed, o, login_->UserID, o.ErrorID,
                               refusal != 0 ? refusalText : kMsgFailToSend);
        tc::deliverOrderEvent(sink_, ENUM_OrderEventID_InsertRejected, &o);
    } else if (slot->key[0] == '\0') {
        tc::buildSecurityKey(slot->key, o.StandardID, o.ExchangeID);
    }
    tc::unlockExclusive(&o);
    return rc;
}
