// The few operating-system services the engine needs, in one place so the rest stays portable.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tc {
namespace platform {

// How paths are read. Both styles split at "/" and "\"; only Windows has network-share roots
// (\\server\share\). On POSIX a path that begins with two separators is the plain root:
// "//tmp" is "/tmp".
enum class PathStyle { Posix, Windows };
constexpr PathStyle kHostPathStyle =
#if defined(_WIN32)
    PathStyle::Windows;
#else
    PathStyle::Posix;
#endif

// A path split at every separator, empty pieces dropped, and the root it starts from: "" for a
// relative path, "/" for an absolute one, "//" for a Windows network share, whose first two
// pieces are then its server and share.
struct PathPieces {
    std::string root;
    std::vector<std::string> pieces;
};
PathPieces splitPath(const std::string &path, PathStyle style);

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
