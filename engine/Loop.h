// What the rest of the engine may ask of loop (Loop.cpp).
#pragma once

namespace tc {

// Waits until no loop runs (every thread it started has been joined), or until `graceMicros`
// have passed; true when none runs.
bool waitForLoops(long long graceMicros);

}  // namespace tc
