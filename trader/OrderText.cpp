#include "trader/OrderText.h"

#include <cstdio>

namespace tc {

void formatOrderMessage(char (&message)[sizeof(TQNMessageType)], OrderMessage kind, const CQNOrderField &order,
                        const char *userID, int errorID, const char *errorMsg) {
    const char *head = "TORATrader InsertOrder Failed.";
    // The cancel text has always spelt its exchange label this way; callers match on it.
    const char *exchangeLabel = "ExchangeID";
    switch (kind) {
    case OrderMessage::SendFailed:
    case OrderMessage::InsertRejected:
        break;
    case OrderMessage::ExchangeRejected:
        head = "TORAStockTrader InsertOrder Failed.";
        break;
    case OrderMessage::CancelRejected:
        head = "TORATrader CancelOrder Failed.";
        exchangeLabel = "ExchagneID";
        break;
    }
    const char direction[2] = {order.Direction, '\0'};
    const char orderType[2] = {order.OrderType, '\0'};
    const int n = std::snprintf(message, sizeof message,
                                "%s UserID:%s,%s:%s,StandardID:%s,OrderID:%d,Direction:%s,Volume:%d,OrderType:%s,"
                                "Price:%f,ErrorID:%d,ErrorMsg:%s.",
                                head, userID ? userID : "", exchangeLabel, order.ExchangeID, order.StandardID,
                                order.OrderID, direction, order.OriginalVolume, orderType, order.OriginalPrice,
                                errorID, errorMsg ? errorMsg : "");
    if (n < 0) message[0] = '\0';
}

}  // namespace tc
