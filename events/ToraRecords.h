// The TORA records that events 12004-12415 carry: one field table per record, and the row of
// each event (its name and the record it carries). The tables come from the same facts as the
// stand-in headers in tora/, so a record's layout and its field list cannot drift apart.
#pragma once

#include <cstddef>

#include "events/FieldTable.h"

namespace tc {

struct ToraEventRow {
    int eventID;
    const char *name;          // the event's ENUM_ name without its family prefix, e.g. "QryOrder"
    const RecordDesc *record;  // the TORA record the event carries
};

// The record carried by a 12001-12999 event, or nullptr for an id without a row.
const RecordDesc *toraRecordForEvent(int eventID);

// The name of a 12004-12415 event ("QryOrder", "LoginMd", "MarketStatus"), or nullptr for an id
// without a row.
const char *toraEventName(int eventID);

// All rows, by ascending event id.
const ToraEventRow *toraEventRows(std::size_t *count);

}  // namespace tc
