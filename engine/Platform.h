// The few operating-system services the engine needs, in one place so the rest stays portable.
#pragma once

#include <string>

namespace tc {
namespace platform {

// True when `path` names an existing directory.
bool directoryExists(const std::string &path);
// Creates one directory (its parent must exist). True when it exists afterwards.
bool createDirectory(const std::string &path);
// Sleeps the calling thread for about `micros` microseconds; 0 or less returns at once.
void sleepMicros(long long micros);

}  // namespace platform
}  // namespace tc
