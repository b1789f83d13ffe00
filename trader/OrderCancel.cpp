// Cancels: one order named by its fields, one active order by its id, or every active order of
// an exchange and security. The outcome arrives later as an order notification or a cancel
// error (order tracking).
#include <cstring>

#include "engine/OrderGate.h"
#include "engine/Time.h"
#include "trader/CTORAStockTrader.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

namespace {

bool cancellable(char status) {
    return status == ENUM_OrderStatus_Cached || status == ENUM_OrderStatus_Accepted ||
           status == ENUM_OrderStatus_PartTraded;
}

}  // namespace

int CTORAStockTrader::cancelOrder(const char *exchangeID, const char *standardID, const char *orderSysID, int orderID,
                                  int frontID, int sessionID) {
    // A cancel the gate refuses (the cancel throttle) is not sent.
    if (tc::OrderGate *gate = orderGate()) {
        const int refusal = gate->checkCancel(orderID, tc::nowMicros());
        if (refusal != 0) return refusal;
    }
    CTORATstpInputOrderActionField req;
    std::memset(&req, 0, sizeof req);
    putRef(req.OrderRef, orderID);
    req.FrontID = frontID != 0 ? frontID : this->frontID();
    req.SessionID = sessionID != 0 ? sessionID : this->sessionID();
    req.ExchangeID = exchangeID ? exchangeID[0] : '\0';
    tc::copyText(req.OrderSysID, orderSysID);
    req.ActionFlag = TORA_TSTP_AF_Delete;
    // Legacy builds also take the security and the terminal's identity.
    TC_SDK_IF_FIELD(req, SecurityID, tc::copyText(field, standardID));
    TC_SDK_IF_FIELD(req, IPAddress, tc::copyField(field, login_->OuterIPAddress));
    TC_SDK_IF_FIELD(req, MacAddress, tc::copyField(field, login_->MacAddress));
    TC_SDK_IF_FIELD(req, TerminalInfo, tc::copyField(field, login_->TerminalInfo));
    TC_SDK_IF_FIELD(req, BInfo, tc::copyText(field, kVersionText));
    TC_SDK_IF_FIELD(req, HDSerial, tc::copyField(field, login_->HDSerial));
    return api_ ? api_->ReqOrderAction(&req, orderID) : ENUM_ErrorID_FailToCreateTrader;
}

// The caller holds the active-order index as reader, which keeps the order's identifying
// fields from changing meanwhile (notifications write them before the order becomes active).
int CTORAStockTrader::cancelActive(const CQNOrderField &o) {
    return cancelOrder(o.ExchangeID, o.StandardID, o.OrderSysID, o.OrderID, o.FrontID, o.SessionID);
}

int CTORAStockTrader::cancelOrderByOrderID(int orderID) {
    tc::ReadGuard<tc::RWSpinLock> guard(activeOrderLock_);
    auto it = activeOrders_.find(orderID);
    if (it == activeOrders_.end()) return -1;
    if (!cancellable(it->second->status.load(std::memory_order_acquire))) return -1;
    return cancelActive(it->second->record);
}

int CTORAStockTrader::cancelOrderByStandardID(const char *exchangeID, const char *standardID) {
    tc::ReadGuard<tc::RWSpinLock> guard(activeOrderLock_);
    int sum = 0;
    for (const auto &entry : activeOrders_) {
        if (!cancellable(entry.second->status.load(std::memory_order_acquire))) continue;
        const CQNOrderField &o = entry.second->record;
        if (exchangeID && std::strncmp(exchangeID, o.ExchangeID, sizeof o.ExchangeID) != 0) continue;
        if (standardID && std::strncmp(standardID, o.StandardID, sizeof o.StandardID) != 0) continue;
        sum += cancelActive(o);
    }
    return sum;
}
