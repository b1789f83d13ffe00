#include "engine/PackageHooks.h"

#include "engine/CBaseTrader.h"
#include "engine/Init.h"
#include "events/Delivery.h"

namespace tc {
namespace hooks {

void setFrontWaitCheck(FrontWaitCheck check) { setThreadFrontWaitCheck(check); }

char engineStatus(const CBaseTrader *engine) { return engine ? engine->apiStatus() : ENUM_ApiStatus_Null; }

char resumeEngine(CBaseTrader *engine) { return engine ? engine->resume() : ENUM_ApiStatus_Null; }

void printDefault(int eventID, const void *record, bool isLast, int errorID, const char *message,
                  const char *userID) {
    const bool recordEvent = eventID == ENUM_SnapDataEventID_MarketData ||
                             (eventID >= ENUM_OrderEventID_Traded && eventID <= ENUM_OrderEventID_Cached);
    // The engine never hands those printers a null record; neither does this.
    if (recordEvent && !record) return;
    if (eventID >= ENUM_OrderEventID_Traded && eventID <= ENUM_OrderEventID_Cached) {
        printOrderEvent(eventID, static_cast<const CQNOrderField *>(record));
    } else if (eventID == ENUM_SnapDataEventID_MarketData) {
        printSnapshotEvent(static_cast<const CQNMarketDataField *>(record));
    } else {
        printEvent(eventID, record, isLast, errorID, message ? message : "", userID ? userID : "");
    }
}

}  // namespace hooks
}  // namespace tc
