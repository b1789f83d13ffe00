// Order tracking: order and trade notifications and the two error responses move an order's
// record, the usable cash and the active-order index, and deliver the order events.
//
// The order notification drives TradedVolume, TradedVolumeChange, CanceledVolume and
// OrderStatus; the trade notification drives LastTradedPrice, the turnover fields and
// AverageCost. Each zeroes the other's change fields, so a handler tells a Traded event
// (volume change set) from an UpdateCost event (turnover change set).
#include <algorithm>
#include <cstring>

#include "events/Delivery.h"
#include "trader/CTORAStockTrader.h"
#include "trader/OrderText.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

namespace {

// Values at or above these mean the broker did not fill the field.
constexpr double kNoFloatInfo = 999999999999.99;
constexpr int kNoIntInfo = 999999999;

template <std::size_t N, std::size_t M>
void fillIfEmpty(char (&field)[N], const char (&from)[M]) {
    if (field[0] == '\0') tc::copyField(field, from);
}

void fillIdentity(CQNOrderField &o, const CTORATstpOrderField &n) {
    fillIfEmpty(o.OrderSysID, n.OrderSysID);
    fillIfEmpty(o.InsertTime, n.InsertTime);
    fillIfEmpty(o.UpdateTime, n.InsertTime);
}

// `volume` x `price` out of what an order still holds aside: never below zero, never more than
// is left.
double shareOfReserve(double volume, double price, double reserved) {
    const double wanted = volume * price;
    if (!(wanted > 0)) return 0;
    return wanted < reserved ? wanted : reserved;
}

// RAII for the engine's hold on one order record.
class RecordHold {
public:
    explicit RecordHold(CQNOrderField &o) : o_(o) { tc::lockExclusive(&o_); }
    ~RecordHold() { tc::unlockExclusive(&o_); }
    RecordHold(const RecordHold &) = delete;
    RecordHold &operator=(const RecordHold &) = delete;

private:
    CQNOrderField &o_;
};

}  // namespace

void CTORAStockTrader::refund(tc::OrderSlot &slot, int volume) {
    // A rejection followed by a cancel notice, or by the insert error response, asks again for
    // what was already given back: an order returns at most what it still holds aside.
    const double amount = shareOfReserve(volume, slot.record.OriginalPrice, slot.reservedCash);
    if (amount == 0) return;
    slot.reservedCash -= amount;
    lockCash();
    addUseableCash(amount);
    unlockCash();
}

void CTORAStockTrader::takeSnapshotFields(CQNOrderField &order, int rtnIntInfo) {
    if (rtnIntInfo < kNoIntInfo) order.UsableVolume = rtnIntInfo;
    lockCash();
    order.UseableCash = useableCash();
    unlockCash();
}

bool CTORAStockTrader::sameSession(tc::OrderSlot &slot, const CTORATstpOrderField &n) {
    if (n.FrontID == 0 && n.SessionID == 0) return true;
    if (n.FrontID == slot.frontID && n.SessionID == slot.sessionID) {
        slot.sessionPending = false;
        return true;
    }
    // The order went out while the engine was logging in again, on a session it learnt only
    // afterwards: the broker's first word on the order says which. The record takes it, so that
    // a cancel names the session the broker knows the order by.
    if (slot.sessionPending) {
        slot.sessionPending = false;
        slot.record.FrontID = slot.frontID = n.FrontID;
        slot.record.SessionID = slot.sessionID = n.SessionID;
        return true;
    }
    // The same order reference on another session: an earlier login's order or another client's.
    return false;
}

void CTORAStockTrader::activate(tc::OrderSlot *slot) {
    tc::WriteGuard<tc::RWSpinLock> guard(activeOrderLock_);
    activeOrders_[slot->record.OrderID] = slot;
}

void CTORAStockTrader::deactivate(int orderID) {
    tc::WriteGuard<tc::RWSpinLock> guard(activeOrderLock_);
    activeOrders_.erase(orderID);
}

void CTORAStockTrader::OnRtnOrder(CTORATstpOrderField *n) {
    if (!n) return;
    // The broker's current available cash rides on every order notification.
    if (n->RtnFloatInfo + 0.000001 < kNoFloatInfo) {
        lockCash();
        setUseableCash(n->RtnFloatInfo);
        unlockCash();
    }
    const int orderID = refOf(n->OrderRef);
    // Orders whose id lies outside our range belong to another engine.
    if (!ownsID(orderID)) return;
    tc::OrderSlot *slot = findOrderSlot(orderID);
    if (!slot) return;
    ActiveChange change = ActiveChange::None;
    {
        RecordHold hold(slot->record);
        if (!sameSession(*slot, *n)) return;
        change = applyOrderNotice(*slot, *n);
    }
    // The active-order index is only taken with the record released.
    if (change == ActiveChange::Enter) activate(slot);
    if (change == ActiveChange::Leave) deactivate(orderID);
}

CTORAStockTrader::ActiveChange CTORAStockTrader::applyOrderNotice(tc::OrderSlot &slot, const CTORATstpOrderField &n) {
    CQNOrderField &o = slot.record;
    const tc::sdk::OrderState state = tc::sdk::orderState(n);
    if (state == tc::sdk::OrderState::InsertRejected) {
        if (o.OrderStatus == ENUM_OrderStatus_Rejected) return ActiveChange::None;
        fillIdentity(o, n);
        refund(slot, o.OriginalVolume);
        takeSnapshotFields(o, n.RtnIntInfo);
        slot.setStatus(ENUM_OrderStatus_Rejected);
        o.ErrorID = ENUM_ErrorID_ExchangeReject;
        char statusMsg[sizeof n.StatusMsg + 1];
        std::memcpy(statusMsg, n.StatusMsg, sizeof n.StatusMsg);
        statusMsg[sizeof n.StatusMsg] = '\0';
        tc::formatOrderMessage(o.Message, tc::OrderMessage::ExchangeRejected, o, login_->UserID,
                               ENUM_ErrorID_ExchangeReject, statusMsg);
        tc::deliverOrderEvent(sink_, ENUM_OrderEventID_InsertRejected, &o);
        return ActiveChange::None;
    }

    switch (state) {
    case tc::sdk::OrderState::AllTraded:
    case tc::sdk::OrderState::PartTraded:
        takeSnapshotFields(o, n.RtnIntInfo);
        fillIdentity(o, n);
        o.TradedVolumeChange = clampToInt(static_cast<long long>(n.VolumeTraded) - o.TradedVolume);
        if (o.TradedVolumeChange > 0) {
            o.TradedVolume = n.VolumeTraded;
            o.TurnoverChange = 0;
            o.TradedVolumeChangeOfTurnover = 0;
            slot.setStatus(state == tc::sdk::OrderState::AllTraded ? ENUM_OrderStatus_AllTraded
                                                                    : ENUM_OrderStatus_PartTraded);
            tc::deliverOrderEvent(sink_, ENUM_OrderEventID_Traded, &o);
        }
        return state == tc::sdk::OrderState::AllTraded ? ActiveChange::Leave : ActiveChange::None;
    case tc::sdk::OrderState::Accepted:
        // Only a new or cached order becomes Accepted: a "queued" word that arrives late
        // (reordered, repeated, or resumed after a reconnection) must not take a traded,
        // cancelled or rejected order back, nor make a finished one active again.
        if (o.OrderStatus != '\0' && o.OrderStatus != ENUM_OrderStatus_Cached) return ActiveChange::None;
        fillIdentity(o, n);
        // Active orders are cancelled by their session without the record lock: from here on it
        // no longer changes.
        slot.sessionPending = false;
        slot.setStatus(ENUM_OrderStatus_Accepted);
        takeSnapshotFields(o, n.RtnIntInfo);
        tc::deliverOrderEvent(sink_, ENUM_OrderEventID_Accepted, &o);
        // IPO subscriptions cannot be cancelled: they never enter the active orders.
        return n.Direction != TORA_TSTP_D_IPO ? ActiveChange::Enter : ActiveChange::None;
    case tc::sdk::OrderState::Canceled:
        takeSnapshotFields(o, n.RtnIntInfo);
        if (o.OrderStatus != ENUM_OrderStatus_Canceled) {
            char cancelTime[sizeof n.CancelTime + 1];
            std::memcpy(cancelTime, n.CancelTime, sizeof n.CancelTime);
            cancelTime[sizeof n.CancelTime] = '\0';
            char updateTime[sizeof o.UpdateTime + 1];
            std::memcpy(updateTime, o.UpdateTime, sizeof o.UpdateTime);
            updateTime[sizeof o.UpdateTime] = '\0';
            if (std::strcmp(cancelTime, updateTime) > 0) tc::copyText(o.UpdateTime, cancelTime);
            slot.setStatus(ENUM_OrderStatus_Canceled);
            const int total = clampToInt(n.VolumeTraded + tc::sdk::remainingVolume(n));
            o.TradedVolumeChange = clampToInt(static_cast<long long>(total) - o.TradedVolume);
            if (o.TradedVolumeChange > 0) {
                // Volume traded since the last notification: report it before the cancel.
                o.TradedVolume = total;
                o.CanceledVolume = clampToInt(static_cast<long long>(o.OriginalVolume) - o.TradedVolume);
                o.TurnoverChange = 0;
                o.TradedVolumeChangeOfTurnover = 0;
                tc::deliverOrderEvent(sink_, ENUM_OrderEventID_Traded, &o);
                tc::deliverOrderEvent(sink_, ENUM_OrderEventID_Canceled, &o);
            } else {
                o.CanceledVolume = clampToInt(static_cast<long long>(o.OriginalVolume) - o.TradedVolume);
                if (o.CanceledVolume > 0) {
                    refund(slot, o.CanceledVolume);
                    tc::deliverOrderEvent(sink_, ENUM_OrderEventID_Canceled, &o);
                }
            }
        }
        // Also when it was already cancelled.
        return ActiveChange::Leave;
    case tc::sdk::OrderState::Cached:
        // The broker's cache comes before everything else in an order's life.
        if (o.OrderStatus != '\0') return ActiveChange::None;
        slot.setStatus(ENUM_OrderStatus_Cached);
        takeSnapshotFields(o, n.RtnIntInfo);
        tc::deliverOrderEvent(sink_, ENUM_OrderEventID_Cached, &o);
        return ActiveChange::None;
    default:
        return ActiveChange::None;
    }
}

void CTORAStockTrader::OnRtnTrade(CTORATstpTradeField *t) {
    if (!t) return;
    // Trades are matched by order alone: they count toward turnover whichever session sent the
    // order.
    tc::OrderSlot *slot = findOrderSlot(refOf(t->OrderRef));
    if (!slot) return;
    CQNOrderField &o = slot->record;
    RecordHold hold(o);
    char tradeSysID[sizeof t->OrderSysID + 1];
    std::memcpy(tradeSysID, t->OrderSysID, sizeof t->OrderSysID);
    tradeSysID[sizeof t->OrderSysID] = '\0';
    if (o.OrderSysID[0] != '\0' && std::strncmp(o.OrderSysID, tradeSysID, sizeof o.OrderSysID) != 0) return;
    // A trade the broker delivers again (a repeat on the wire, a resumed flow) counts once.
    char tradeID[sizeof t->TradeID + 1];
    tc::copyField(tradeID, t->TradeID);
    if (tradeID[0] != '\0') {
        if (std::find(slot->tradeIDs.begin(), slot->tradeIDs.end(), tradeID) != slot->tradeIDs.end()) return;
        slot->tradeIDs.emplace_back(tradeID);
    }

    char key[tc::kSecurityKeySize];
    tc::buildSecurityKey(key, o.StandardID, o.ExchangeID);
    if (const tc::SecurityEntry *security = tc::findSecurity(key)) {
        // An opening trade takes its share of what was set aside and frees what that share held
        // beyond the trade's price (an order that set nothing aside pays for the trade here); a
        // closing trade brings in its proceeds.
        const double volume = static_cast<double>(t->Volume);
        double amount = volume * t->Price;
        if (o.OffsetFlag == ENUM_OffsetFlag_Open) {
            const double share = shareOfReserve(volume, o.OriginalPrice, slot->reservedCash);
            slot->reservedCash -= share;
            amount = share - amount;
        }
        lockCash();
        addUseableCash(amount * security->VolumeMultiple.load(std::memory_order_relaxed));
        unlockCash();
    }
    o.LastTradedPrice = t->Price;
    o.TradedVolumeChangeOfTurnover = t->Volume;
    o.TradedVolumeOfTurnover = clampToInt(static_cast<long long>(o.TradedVolumeOfTurnover) + t->Volume);
    o.TradedVolumeChange = 0;
    o.TurnoverChange = static_cast<double>(t->Volume) * t->Price;
    o.Turnover += o.TurnoverChange;
    if (o.TradedVolumeOfTurnover != 0) o.AverageCost = o.Turnover / o.TradedVolumeOfTurnover;
    tc::deliverOrderEvent(sink_, ENUM_OrderEventID_UpdateCost, &o);
}

void CTORAStockTrader::onInsertError(int orderID, const CTORATstpRspInfoField *info) {
    const int errorID = errorIDOf(info);
    if (errorID == 0) return;
    if (!ownsID(orderID)) return;
    tc::OrderSlot *slot = findOrderSlot(orderID);
    if (!slot) return;
    CQNOrderField &o = slot->record;
    RecordHold hold(o);
    // A refusal may reach us by more than one route; the cash comes back once.
    refund(*slot, o.OriginalVolume);
    slot->setStatus(ENUM_OrderStatus_Rejected);
    o.ErrorID = errorID;
    const ErrorText message(info);
    tc::formatOrderMessage(o.Message, tc::OrderMessage::InsertRejected, o, login_->UserID, errorID, message.c_str());
    tc::deliverOrderEvent(sink_, ENUM_OrderEventID_InsertRejected, &o);
}

void CTORAStockTrader::onCancelError(int orderID, const CTORATstpRspInfoField *info) {
    const int errorID = errorIDOf(info);
    if (errorID == 0) return;
    if (!ownsID(orderID)) return;
    tc::OrderSlot *slot = findOrderSlot(orderID);
    if (!slot) return;
    CQNOrderField &o = slot->record;
    RecordHold hold(o);
    const ErrorText message(info);
    tc::formatOrderMessage(o.Message, tc::OrderMessage::CancelRejected, o, login_->UserID, errorID, message.c_str());
    tc::deliverOrderEvent(sink_, ENUM_OrderEventID_CancelRejected, &o);
}

void CTORAStockTrader::OnRspOrderInsert(CTORATstpInputOrderField *pInputOrderField,
                                        CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/, bool /*bIsLast*/) {
    if (!pInputOrderField || !pRspInfoField) return;
    onInsertError(refOf(pInputOrderField->OrderRef), pRspInfoField);
}

void CTORAStockTrader::OnErrRtnOrderInsert(CTORATstpInputOrderField *pInputOrderField,
                                           CTORATstpRspInfoField *pRspInfoField) {
    if (!pInputOrderField || !pRspInfoField) return;
    onInsertError(refOf(pInputOrderField->OrderRef), pRspInfoField);
}

void CTORAStockTrader::OnRspOrderAction(CTORATstpInputOrderActionField *pInputOrderActionField,
                                        CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/, bool /*bIsLast*/) {
    if (!pInputOrderActionField || !pRspInfoField) return;
    onCancelError(refOf(pInputOrderActionField->OrderRef), pRspInfoField);
}

void CTORAStockTrader::OnErrRtnOrderAction(tc::sdk::OrderActionErrorRecord *pOrderActionField,
                                           CTORATstpRspInfoField *pRspInfoField) {
    if (!pOrderActionField || !pRspInfoField) return;
    onCancelError(refOf(pOrderActionField->OrderRef), pRspInfoField);
}
