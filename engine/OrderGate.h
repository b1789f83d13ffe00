// The one place where something above the engine takes part in the order path: a gate that sees
// every order after it has been filled and priced and before its insert request goes to the
// broker, and every cancel before its request goes. The engine knows nothing else of the gate:
// the pre-trade risk checks of the package's live book (book/) implement it.
//
// A refused order is not sent: its record becomes Rejected with the gate's error code and a
// message saying which limit refused it, and the order event InsertRejected is delivered before
// the creating call returns, exactly as for an order the SDK refused to send. A refused cancel
// is not sent either; the cancel call returns the gate's code.
#pragma once

#include "records/QNRecords.h"

class CBaseMd;

namespace tc {

// What the gate is shown of one order. Valid for the duration of the call only.
struct OrderCheck {
    const CQNOrderField *order;  // filled and priced, not yet sent (OrderID, security, side, volume, price)
    const char *securityKey;     // StandardID "." ExchangeID; empty when the order names no exchange
    double useableCash;          // the engine's usable-cash figure when the order is checked
    long long nowMicros;         // engine time of the check; the order's OrderLocalTime
    const CBaseMd *md;           // the engine's market-data side (null without one)
};

class OrderGate {
public:
    // 0 lets the order go. Any other value is an engine error code that refuses it; `message`
    // then says which limit refused it and by how much (NUL-terminated).
    virtual int checkOrder(const OrderCheck &check, char (&message)[sizeof(TQNMessageType)]) noexcept = 0;
    // 0 lets the cancel of order `orderID` go; any other value refuses it (nothing is sent).
    virtual int checkCancel(int orderID, long long nowMicros) noexcept = 0;

protected:
    ~OrderGate() = default;
};

// Installs `gate` on the engine whose handle (the CBaseTrader* that init returned) is `engine`;
// a null gate removes the one installed. The gate must stay valid for as long as the engine may
// place orders: the engine never frees it. False, and nothing changes, when `engine` is not an
// engine that init registered. Internal to the package's native modules: not one of the
// engine's exported C functions.
TRADECORE_API bool installOrderGate(const void *engine, OrderGate *gate);
// Removes `gate` from the engine `engine` if it is the one installed (another gate installed
// since stays). False when `engine` is not an engine that init registered.
TRADECORE_API bool removeOrderGate(const void *engine, OrderGate *gate);

}  // namespace tc
