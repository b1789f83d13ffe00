// Entry points for the package's own native modules (pymodule/), beside the engine's C interface
// but not part of it: the extension modules are built with the engine and call these by their
// C++ names. The Python package uses them to give up a front wait on Ctrl-C, to restart a stopped
// strategy's engine, and to print an event the way the engine's default printers would.
#pragma once

#include "records/QNRecords.h"

class CBaseTrader;

namespace tc {
namespace hooks {

// Asked now and then (every few tens of milliseconds) while init waits for a front, on the
// thread that runs init. True gives the wait up: the side this init made is destroyed, nothing is
// registered for it, and the phase ends as a connect timeout would (its code in getInitError).
using FrontWaitCheck = bool (*)();
// Sets the check for the init calls of the calling thread; null removes it.
TRADECORE_API void setFrontWaitCheck(FrontWaitCheck check);

// The engine's API status (an ENUM_ApiStatus_ code); Null for a null handle.
TRADECORE_API char engineStatus(const CBaseTrader *engine);
// An engine told to exit takes its session's status again (Working when it was logged in), so a
// loop drives it once more; any other engine is left as it is. Returns the status now (Null for
// a null handle).
TRADECORE_API char resumeEngine(CBaseTrader *engine);

// As the interpreter exits, before it finalizes (the package calls this from an exit handler, with
// the interpreter lock released): every engine is told to exit, the running loop is waited for
// (its engine threads have then ended, their thread states handed back), and the gate of the
// calls into Python is closed, the calls inside waited for. From then on no thread of the engine
// or of the SDK touches Python again: their events are dropped. Waits `graceMicros` at most in
// all (a processor that does not return); true when everything ended in that time.
TRADECORE_API bool closeForExit(long long graceMicros);

// Prints one event with the default printer of its kind, exactly as the engine does for an
// engine side without a processor: order events (10011-10017) in every run mode, snapshots
// (10021) and every other event in run mode Debug only. `message` and `userID` may be null.
TRADECORE_API void printDefault(int eventID, const void *record, bool isLast, int errorID, const char *message,
                                const char *userID);

}  // namespace hooks
}  // namespace tc
