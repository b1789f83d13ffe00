#include "engine/Platform.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tc {
namespace platform {

PathPieces splitPath(const std::string &path, PathStyle style) {
    const auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    PathPieces out;
    if (!path.empty() && isSeparator(path[0])) {
        const bool share = style == PathStyle::Windows && path.size() > 1 && isSeparator(path[1]);
        out.root = share ? "//" : "/";
    }
    std::size_t pos = 0;
    while (pos < path.size()) {
        while (pos < path.size() && isSeparator(path[pos])) ++pos;
        std::size_t end = pos;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        if (end > pos) out.pieces.push_back(path.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

bool directoryExists(const std::string &path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::u8path(path), ec);
}

bool createDirectory(const std::string &path) {
    std::error_code ec;
    const auto p = std::filesystem::u8path(path);
    std::filesystem::create_directory(p, ec);
    // Another thread or process may have made it meanwhile; what counts is that it is there.
    return std::filesystem::is_directory(p, ec);
}

void sleepMicros(long long micros) {
    if (micros <= 0) return;
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void *mapPrefaultedMemory(std::size_t bytes) {
    if (bytes == 0) return nullptr;
#if defined(_WIN32)
    void *p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!p) return nullptr;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize ? info.dwPageSize : 4096;
#elif defined(MAP_POPULATE)
    // One call faults every page in: cheaper than taking the faults one by one later.
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#else
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const long pageSize = sysconf(_SC_PAGESIZE);
    const std::size_t page = pageSize > 0 ? static_cast<std::size_t>(pageSize) : 4096;
#endif
#if defined(_WIN32) || !defined(MAP_POPULATE)
    // Write every page once; nobody else has the memory yet.
    volatile char *out = static_cast<volatile char *>(p);
    for (std::size_t offset = 0; offset < bytes; offset += page) out[offset] = 0;
    return p;
#endif
}

namespace {
using ExitList = std::vector<std::pair<void (*)(void *), void *>>;

void runExitList(ExitList &list) {
    // A cleanup may itself register another; each runs once.
    while (!list.empty()) {
        const auto entry = list.back();
        list.pop_back();
        entry.first(entry.second);
    }
}
}  // namespace

#if defined(_WIN32)
namespace {
// Fiber-local storage calls its callback with the thread's value when the thread ends, for
// programs built by any Windows compiler, and reads nothing from thread-local storage.
// The index is never freed: the engine library is not unloaded while threads still run.
void NTAPI exitListCallback(void *value) {
    if (value == nullptr) return;
    auto *list = static_cast<ExitList *>(value);
    runExitList(*list);
    delete list;
}

DWORD exitListIndex() {
    static const DWORD index = FlsAlloc(&exitListCallback);
    return index;
}
}  // namespace

void atThreadExit(void (*cleanup)(void *), void *data) {
    const DWORD index = exitListIndex();
    if (index == FLS_OUT_OF_INDEXES) return;  // kept for the process's life instead
    auto *list = static_cast<ExitList *>(FlsGetValue(index));
    if (list == nullptr) {
        list = new ExitList();
        if (!FlsSetValue(index, list)) {
            delete list;
            return;
        }
    }
    list->emplace_back(cleanup, data);
}
#else
namespace {
// Elsewhere a thread_local's destructor runs before its storage goes.
struct ThreadExitList {
    ExitList list;
    ~ThreadExitList() { runExitList(list); }
};
}  // namespace

void atThreadExit(void (*cleanup)(void *), void *data) {
    thread_local ThreadExitList exits;
    exits.list.emplace_back(cleanup, data);
}
#endif

}  // namespace platform
}  // namespace tc
