// Links the engine (with the recording stand-in for Python) and the simulated broker into one
// Windows executable, so every symbol the exported surface and the broker control need resolves
// in a mingw-w64 build, and runs a few calls that need no front. tools/cross_windows.sh builds it;
// it runs only where a Windows loader (or wine) is at hand.
#include <cstdio>
#include <cstring>

#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "torasim/SimControl.h"

namespace {

// Taking every export's address makes the linker resolve all of them.
const void *const kExports[] = {
    reinterpret_cast<const void *>(&getVersion),       reinterpret_cast<const void *>(&init),
    reinterpret_cast<const void *>(&getInitError),     reinterpret_cast<const void *>(&getMessageByErrorID),
    reinterpret_cast<const void *>(&loop),             reinterpret_cast<const void *>(&setRunMode),
    reinterpret_cast<const void *>(&setEventTextProcessor), reinterpret_cast<const void *>(&subscribeOne),
    reinterpret_cast<const void *>(&subscribe),        reinterpret_cast<const void *>(&unsubscribeOne),
    reinterpret_cast<const void *>(&unsubscribe),      reinterpret_cast<const void *>(&buyOpen),
    reinterpret_cast<const void *>(&sellClose),        reinterpret_cast<const void *>(&sellOpen),
    reinterpret_cast<const void *>(&buyClose),         reinterpret_cast<const void *>(&insertOrder),
    reinterpret_cast<const void *>(&cancelOrder),      reinterpret_cast<const void *>(&cancelOrderByOrderID),
    reinterpret_cast<const void *>(&cancelOrderByStandardID), reinterpret_cast<const void *>(&transferCash),
    reinterpret_cast<const void *>(&transferPosition), reinterpret_cast<const void *>(&queryBankAccountCash),
    reinterpret_cast<const void *>(&updatePassword),   reinterpret_cast<const void *>(&addTask),
    reinterpret_cast<const void *>(&exitX),            reinterpret_cast<const void *>(&getOrderLock),
    reinterpret_cast<const void *>(&releaseOrderLock), reinterpret_cast<const void *>(&getMarketDataLock),
    reinterpret_cast<const void *>(&releaseMarketDataLock), reinterpret_cast<const void *>(&getFields),
    reinterpret_cast<const void *>(&toText),           reinterpret_cast<const void *>(&setTimeAnchor),
    reinterpret_cast<const void *>(&getTimeElapse),
};
static_assert(sizeof kExports / sizeof kExports[0] == 33, "the engine exports 33 functions");

}  // namespace

int main() {
    int failures = 0;
    for (const void *f : kExports) failures += (f == nullptr);
    if (std::strcmp(getVersion(), "Quillon 002.100.001") != 0) ++failures;
    if (getOrderLock(nullptr) != 0 || releaseOrderLock(nullptr) != 0) ++failures;
    if (buyOpen(nullptr, "600000", 100, '0', 10.0, "1", '0') != nullptr) ++failures;
    if (cancelOrderByOrderID(nullptr, 1) != ENUM_ErrorID_InvalidTraderInstance) ++failures;
    if (getTimeElapse(setTimeAnchor()) < 0) ++failures;
    exitX(nullptr);

    auto broker = torasim::Broker::create("sim://windows-smoke", torasim::Mode::Scripted);
    if (!broker || broker->requestCount() != 0) ++failures;
    torasim::Broker::removeAll();
    tc::recording::clear();

    std::printf("%s: %d failures\n", getVersion(), failures);
    return failures == 0 ? 0 : 1;
}
