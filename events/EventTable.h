// The event table: for each event identifier, its name and the record it carries, and the
// renderers of the engine's own records. toText/getFields (engine/tradecore_api.h) are built on it.
#pragma once

#include "events/FieldTable.h"
#include "records/QNRecords.h"

namespace tc {

// Every SDK record, and every record the general printer shows, is rendered with names,
// this separator and this many decimals.
constexpr const char *kSdkSeparator = " || ";
constexpr int kSdkPrecision = 2;

// The text every lookup gives for an identifier it does not know.
constexpr const char *kInvalidEventIDText = "Error:Invalid EventID.";

struct EventRow {
    int eventID;
    const char *name;          // the ENUM_ name without its family prefix, e.g. "Traded", "QryOrder"
    const RecordDesc *record;  // nullptr for the session events, which never carry a record
};

// Field tables of the engine records.
const RecordDesc &orderRecordDesc();
const RecordDesc &marketDataRecordDesc();
const RecordDesc &transferRecordDesc();

// The row of any event in the table (engine rows, session rows, SDK rows 12004-12415).
bool findEventRow(int eventID, EventRow *row);
// Its name, or nullptr.
const char *eventName(int eventID);
// The rows the general printer names: the session events and 12004-12415. Order and snapshot
// events have printers of their own, and 11011 is printed without a name.
bool findPrintedEventRow(int eventID, EventRow *row);

// The engine-record renderers. Each returns this thread's buffer for its record kind, valid until
// the same renderer runs again on this thread. A null separator counts as empty.
const char *renderOrderText(const CQNOrderField *order, bool withNames, const char *separator, int precision);
const char *renderMarketDataText(const CQNMarketDataField *snapshot, bool withNames, const char *separator,
                                 int precision);
const char *renderTransferText(const CQNTransferAssetField *transfer, bool withNames, const char *separator,
                               int precision);
// An SDK record of event 12001-12999, always with names, " || " and 2 decimals;
// "Error:Invalid EventID." for an identifier without a row.
const char *renderSdkRecordText(int eventID, const void *record);

}  // namespace tc
