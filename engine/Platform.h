// The few operating-system services the engine needs, in one place so the rest stays portable.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

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

// Starts fetching the cache line at `address` ahead of a write to it (a hint: no effect where
// the compiler has no such instruction).
inline void prefetchForWrite(const void *address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address, 1, 3);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char *>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}

// Calls `cleanup(data)` once when the calling thread ends (the latest registration first). For
// per-thread state kept on the heap behind a plain thread_local pointer: mingw-w64's emulated
// thread-local storage is freed before the destructors of thread_local objects run, so a
// thread_local with a destructor would write into freed memory at every thread exit. The main
// thread's state lives until the process ends.
void atThreadExit(void (*cleanup)(void *), void *data);

// The calling thread's instance of T, made on first use and deleted when the thread ends. Each
// `Tag` names its own instance.
template <class T, class Tag>
T &threadOwned() {
    thread_local T *mine = nullptr;  // trivially destructible: nothing runs on freed storage
    if (mine == nullptr) {
        mine = new T();
        atThreadExit([](void *p) { delete static_cast<T *>(p); }, mine);
    }
    return *mine;
}

}  // namespace platform
}  // namespace tc
