#include "engine/Time.h"

#include <chrono>

#include "engine/tradecore_api.h"

namespace tc {

long long systemTicks() {
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch()).count();
}

namespace {
// Taken once while the library loads; every engine time stamp counts from here.
const long long kTimeOrigin = systemTicks();
}  // namespace

long long timeOrigin() { return kTimeOrigin; }

long long nowMicros() { return (systemTicks() - kTimeOrigin) / 10; }

}  // namespace tc

extern "C" TRADECORE_API TQNTimeAnchorType setTimeAnchor() { return tc::nowMicros(); }

extern "C" TRADECORE_API TQNTimeAnchorType getTimeElapse(TQNTimeAnchorType Anchor) {
    return tc::nowMicros() - Anchor;
}
