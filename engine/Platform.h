// The few operating-system services the engine needs, in one place so the rest stays portable.
#pragma once

#include <cstddef>
#include <string>

namespace tc {
namespace platform {

// True when `path` names an existing directory.
bool directoryExists(const std::string &path);
// Creates one directory (its parent must exist). True when it exists afterwards.
bool createDirectory(const std::string &path);
// Sleeps the calling thread for about `micros` microseconds; 0 or less returns at once.
void sleepMicros(long long micros);
// Maps `bytes` of zeroed read-write memory whose pages are all present before it returns, so
// that writing it later takes no page fault. For storage kept until the process exits: there is
// no way to give it back. Null when the system has no memory to give.
void *mapPrefaultedMemory(std::size_t bytes);

}  // namespace platform
}  // namespace tc
