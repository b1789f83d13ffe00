#include "trader/PermanentArena.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <exception>
#include <thread>
#include <vector>

#include "engine/Platform.h"
#include "trader/SpinLocks.h"

namespace tc {

struct PermanentArena::State {
    // Chunks mapped and faulted in ahead of demand, at most this many.
    static constexpr std::size_t kReadyChunks = 2;

    // The chunk being handed out: [cur, end).
    SpinLock lock;
    std::uintptr_t cur = 0;
    std::uintptr_t end = 0;
    Counters counters;  // under `lock`

    // The helper thread keeps `ready` filled; it sleeps while it is full.
    std::mutex helperMutex;
    std::condition_variable helperWake;
    std::vector<char *> ready;
    bool helperStarted = false;
    bool helperMissing = false;  // it could not be started: every chunk is mapped where it is needed

    static char *mapChunk() { return static_cast<char *>(platform::mapPrefaultedMemory(kChunkBytes)); }

    void helperLoop() {
        std::unique_lock<std::mutex> guard(helperMutex);
        for (;;) {
            helperWake.wait(guard, [this] { return ready.size() < kReadyChunks; });
            guard.unlock();
            char *chunk = mapChunk();
            guard.lock();
            if (!chunk) {
                // Out of memory for now: try again when the next chunk is taken.
                helperWake.wait(guard);
                continue;
            }
            ready.push_back(chunk);
        }
    }

    // Starts the helper thread the first time; with helperMutex held.
    void startHelper() {
        if (helperStarted) return;
        helperStarted = true;
        try {
            ready.reserve(kReadyChunks);
            // The state is never destroyed, so the thread may outlive everything else.
            std::thread([this] { helperLoop(); }).detach();
        } catch (const std::exception &) {
            helperMissing = true;
        }
    }

    // A chunk made ready by the helper, or null; asks it for the next one either way.
    char *takeReadyChunk() {
        char *chunk = nullptr;
        {
            std::lock_guard<std::mutex> guard(helperMutex);
            startHelper();
            if (!ready.empty()) {
                chunk = ready.back();
                ready.pop_back();
            }
        }
        helperWake.notify_one();
        return chunk;
    }

    // With `lock` held: replaces the used-up chunk.
    void nextChunk() {
        char *chunk = takeReadyChunk();
        if (chunk) {
            ++counters.preparedChunks;
        } else {
            chunk = mapChunk();  // the helper is behind (or absent): map one here
            if (!chunk) throw std::bad_alloc();
        }
        ++counters.chunks;
        cur = reinterpret_cast<std::uintptr_t>(chunk);
        end = cur + kChunkBytes;
    }
};

PermanentArena::PermanentArena() : s_(new State) {}

PermanentArena &PermanentArena::instance() {
    // Never destroyed: records handed out must outlive static destruction, and so must the
    // helper thread's state.
    static PermanentArena *arena = new PermanentArena();
    return *arena;
}

void *PermanentArena::allocate(std::size_t bytes, std::size_t align) {
    if (bytes > kChunkBytes || align == 0 || align > 64 || (align & (align - 1)) != 0) throw std::bad_alloc();
    State &s = *s_;
    s.lock.lock();
    std::uintptr_t p = (s.cur + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    if (s.cur == 0 || p + bytes > s.end) {
        try {
            s.nextChunk();
        } catch (...) {
            s.lock.unlock();
            throw;
        }
        p = s.cur;  // a chunk starts page-aligned
    }
    s.counters.bytes += p + bytes - s.cur;
    s.cur = p + bytes;
    const std::uintptr_t end = s.end;
    s.lock.unlock();
#if defined(__GNUC__) || defined(__clang__)
    // Memory fresh from the system is not in any cache. A large block is most likely followed
    // by one of the same size right behind it (the next order's slot): start fetching its lines
    // for writing now, so that filling it does not wait for memory.
    if (bytes >= 256) {
        const std::uintptr_t stop = p + 2 * bytes < end ? p + 2 * bytes : end;
        for (std::uintptr_t line = (p + bytes) & ~std::uintptr_t(63); line < stop; line += 64)
            __builtin_prefetch(reinterpret_cast<const void *>(line), 1, 3);
    }
#endif
    return reinterpret_cast<void *>(p);
}

void PermanentArena::prepare() {
    {
        std::lock_guard<std::mutex> guard(s_->helperMutex);
        s_->startHelper();
    }
    s_->helperWake.notify_one();
}

PermanentArena::Counters PermanentArena::counters() const {
    s_->lock.lock();
    const Counters c = s_->counters;
    s_->lock.unlock();
    return c;
}

}  // namespace tc
