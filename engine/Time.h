// Engine time: microseconds since the engine library was loaded, read from the system clock in
// 100-nanosecond ticks. Every duration in the login record and in tasks is on this scale.
#pragma once

namespace tc {

// 100-nanosecond ticks of the system clock (the origin is taken from the same clock).
long long systemTicks();
// The clock's value when the library was loaded.
long long timeOrigin();
// (now - origin) / 10, truncated toward zero.
long long nowMicros();

}  // namespace tc
