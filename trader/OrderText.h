// The texts that an order's record carries in Message when the broker (or the send) refuses it.
// Strategies parse them, so the wording, labels and order of the values never change.
#pragma once

#include <cstddef>

#include "records/QNRecords.h"

namespace tc {

enum class OrderMessage {
    SendFailed,      // the insert request could not be sent
    InsertRejected,  // the broker answered the insert request with an error
    ExchangeRejected,// the order notification reported a rejected submission
    CancelRejected,  // the broker answered the cancel request with an error
};

// Writes the text of `kind` for `order` into `message` (always NUL-terminated).
void formatOrderMessage(char (&message)[sizeof(TQNMessageType)], OrderMessage kind, const CQNOrderField &order,
                        const char *userID, int errorID, const char *errorMsg);

}  // namespace tc
