#include "trader/PermanentArena.h"

#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "engine/Platform.h"
#include "trader/SpinLocks.h"

namespace tc {

namespace {

char *mapChunk() { return static_cast<char *>(platform::mapPrefaultedMemory(PermanentArena::kChunkBytes)); }

}  // namespace

struct PermanentArena::State {
    explicit State(std::size_t readyChunks) : readyChunks(readyChunks) {}

    // The chunk being handed out: [cur, end).
    SpinLock lock;
    std::uintptr_t cur = 0;
    std::uintptr_t end = 0;
    Counters counters;  // under `lock`

    // Chunks mapped and faulted in ahead of demand by the helper, at most `readyChunks`;
    // guarded by the helper's mutex. An arena gets chunks ahead only once it is in use.
    const std::size_t readyChunks;
    std::vector<char *> ready;
    bool inUse = false;

    bool wantsChunk() const { return inUse && ready.size() < readyChunks; }

    // With `lock` held: replaces the used-up chunk.
    void nextChunk();
};

namespace {

// The one helper thread: it keeps the ready chunks of every arena in use filled, and sleeps
// while they are full. Its state is never destroyed, so the thread may outlive everything else.
struct Helper {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<PermanentArena::State *> arenas;  // every arena, in creation order
    bool started = false;

    static Helper &instance() {
        static Helper *helper = new Helper();
        return *helper;
    }

    PermanentArena::State *hungryArena() const {
        for (PermanentArena::State *s : arenas)
            if (s->wantsChunk()) return s;
        return nullptr;
    }

    void run() {
        std::unique_lock<std::mutex> guard(mutex);
        for (;;) {
            PermanentArena::State *s = nullptr;
            wake.wait(guard, [&] { return (s = hungryArena()) != nullptr; });
            guard.unlock();
            char *chunk = mapChunk();
            guard.lock();
            if (!chunk) {
                // Out of memory for now: try again when the next chunk is taken.
                wake.wait(guard);
                continue;
            }
            s->ready.push_back(chunk);
        }
    }

    // With `mutex` held: marks `s` as in use and starts the thread the first time.
    void use(PermanentArena::State *s) {
        s->inUse = true;
        if (started) return;
        started = true;
        try {
            std::thread([this] { run(); }).detach();
        } catch (const std::exception &) {
            // No thread: every chunk is then mapped by the thread that needs it.
        }
    }

    // A chunk made ready for `s`, or null; the helper is asked for the next one either way.
    char *take(PermanentArena::State *s) {
        char *chunk = nullptr;
        {
            std::lock_guard<std::mutex> guard(mutex);
            use(s);
            if (!s->ready.empty()) {
                chunk = s->ready.back();
                s->ready.pop_back();
            }
        }
        wake.notify_one();
        return chunk;
    }
};

}  // namespace

void PermanentArena::State::nextChunk() {
    char *chunk = Helper::instance().take(this);
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

PermanentArena::PermanentArena(std::size_t readyChunks) : s_(new State(readyChunks)) {
    Helper &helper = Helper::instance();
    std::lock_guard<std::mutex> guard(helper.mutex);
    helper.arenas.push_back(s_);
}

// Never destroyed: what they handed out must outlive static destruction.
PermanentArena &PermanentArena::records() {
    static PermanentArena *arena = new PermanentArena(2);
    return *arena;
}

PermanentArena &PermanentArena::nodes() {
    static PermanentArena *arena = new PermanentArena(1);
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
    // Memory fresh from the system is in no cache. A large block is most likely followed by one
    // of the same size right behind it (the next order's slot): start fetching its lines for
    // writing now, so that filling it later does not wait for memory.
    if (bytes >= 256) {
        const std::uintptr_t stop = p + 2 * bytes < end ? p + 2 * bytes : end;
        for (std::uintptr_t line = (p + bytes) & ~std::uintptr_t(63); line < stop; line += 64)
            __builtin_prefetch(reinterpret_cast<const void *>(line), 1, 3);
    }
#endif
    return reinterpret_cast<void *>(p);
}

void PermanentArena::prepare() {
    Helper &helper = Helper::instance();
    {
        std::lock_guard<std::mutex> guard(helper.mutex);
        helper.use(s_);
    }
    helper.wake.notify_one();
}

PermanentArena::Counters PermanentArena::counters() const {
    s_->lock.lock();
    const Counters c = s_->counters;
    s_->lock.unlock();
    return c;
}

void clearBytes(void *p, std::size_t bytes) { std::memset(p, 0, bytes); }

}  // namespace tc
