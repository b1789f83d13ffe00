#include "engine/PackageHooks.h"

#include <chrono>

#include "engine/CBaseTrader.h"
#include "engine/Init.h"
#include "engine/Loop.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "events/DeliveryGate.h"

namespace tc {
namespace hooks {

void setFrontWaitCheck(FrontWaitCheck check) { setThreadFrontWaitCheck(check); }

char engineStatus(const CBaseTrader *engine) { return engine ? engine->apiStatus() : ENUM_ApiStatus_Null; }

char resumeEngine(CBaseTrader *engine) { return engine ? engine->resume() : ENUM_ApiStatus_Null; }

bool closeForExit(long long graceMicros) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::microseconds(graceMicros);
    exitX(nullptr);
    // The loop first, with the gate still open: a processor under way may wait for an event
    // that another thread delivers, and an engine thread hands its thread state back as it ends.
    const bool loopsEnded = waitForLoops(graceMicros);
    const long long left = std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now()).count();
    const bool callsEnded = delivery::close(left);
    return loopsEnded && callsEnded;
}

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
