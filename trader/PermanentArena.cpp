#include "trader/PermanentArena.h"

#include <atomic>
#include <condition_variable>
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
    State(int cursorIndex, std::size_t chunksAhead) : index(cursorIndex), readyChunks(chunksAhead) {}

    const int index;  // of this arena's cursor in each thread's cursors

    // Chunks mapped and faulted in ahead of demand by the helper, at most `readyChunks`;
    // guarded by the helper's mutex. An arena gets chunks ahead only once it is in use.
    const std::size_t readyChunks;
    std::vector<char *> ready;
    bool inUse = false;

    std::atomic<std::uint64_t> chunks{0};
    std::atomic<std::uint64_t> preparedChunks{0};

    // The chunk that runs are cut from: [cur, end), under `lock`.
    SpinLock lock;
    std::uintptr_t cur = 0;
    std::uintptr_t end = 0;

    bool wantsChunk() const { return inUse && ready.size() < readyChunks; }

    // `bytes` from the shared chunk, aligned to `align`, taking a fresh chunk when it is used up.
    std::uintptr_t carve(std::size_t bytes, std::size_t align);
    // A fresh chunk: one the helper made ready, or else one mapped here.
    char *nextChunk();
};

namespace {

// Each thread allocates from a run of its own, cut from the arena's shared chunk, so that most
// allocations take no lock; a thread that ends leaves the rest of its run unused, which bounds
// the waste per thread. Blocks larger than half a run come from the shared chunk directly.
constexpr std::size_t kRunBytes = 16 * 1024;
static_assert(PermanentArena::kChunkBytes % kRunBytes == 0, "runs tile a chunk");

struct Cursor {
    std::uintptr_t cur = 0;
    std::uintptr_t end = 0;
};
constexpr int kArenas = 2;
thread_local Cursor tlsCursors[kArenas];

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

std::uintptr_t PermanentArena::State::carve(std::size_t bytes, std::size_t align) {
    lock.lock();
    std::uintptr_t p = (cur + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    if (cur == 0 || p + bytes > end) {
        try {
            p = reinterpret_cast<std::uintptr_t>(nextChunk());  // page-aligned
        } catch (...) {
            lock.unlock();
            throw;
        }
        end = p + kChunkBytes;
    }
    cur = p + bytes;
    lock.unlock();
    return p;
}

char *PermanentArena::State::nextChunk() {
    char *chunk = Helper::instance().take(this);
    if (chunk) {
        preparedChunks.fetch_add(1, std::memory_order_relaxed);
    } else {
        chunk = mapChunk();  // the helper is behind (or absent): map one here
        if (!chunk) throw std::bad_alloc();
    }
    chunks.fetch_add(1, std::memory_order_relaxed);
    return chunk;
}

PermanentArena::PermanentArena(int index, std::size_t readyChunks) : s_(new State(index, readyChunks)) {
    static_assert(kArenas == 2, "records() and nodes()");
    Helper &helper = Helper::instance();
    std::lock_guard<std::mutex> guard(helper.mutex);
    helper.arenas.push_back(s_);
}

// Never destroyed: what they handed out must outlive static destruction.
PermanentArena &PermanentArena::records() {
    static PermanentArena *arena = new PermanentArena(0, 2);
    return *arena;
}

PermanentArena &PermanentArena::nodes() {
    static PermanentArena *arena = new PermanentArena(1, 1);
    return *arena;
}

void *PermanentArena::allocate(std::size_t bytes, std::size_t align) {
    if (bytes > kChunkBytes || align == 0 || align > 64 || (align & (align - 1)) != 0) throw std::bad_alloc();
    Cursor &c = tlsCursors[s_->index];
    std::uintptr_t p = (c.cur + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    if (c.cur == 0 || p + bytes > c.end) {
        if (bytes > kRunBytes / 2) return reinterpret_cast<void *>(s_->carve(bytes, align));
        p = s_->carve(kRunBytes, 64);  // a fresh run, cache-line aligned
        c.end = p + kRunBytes;
    }
    c.cur = p + bytes;
    // Memory fresh from the system is in no cache. A large block is most likely followed by one
    // of the same size right behind it (the next order's slot): start fetching its lines for
    // writing now, so that filling it later does not wait for memory.
    if (bytes >= 256) {
        const std::uintptr_t stop = c.cur + bytes < c.end ? c.cur + bytes : c.end;
        for (std::uintptr_t line = c.cur & ~std::uintptr_t(63); line < stop; line += 64)
            tc::platform::prefetchForWrite(reinterpret_cast<const void *>(line));
    }
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
    Counters c;
    c.chunks = s_->chunks.load(std::memory_order_relaxed);
    c.preparedChunks = s_->preparedChunks.load(std::memory_order_relaxed);
    Helper &helper = Helper::instance();
    std::lock_guard<std::mutex> guard(helper.mutex);
    c.readyChunks = s_->ready.size();
    return c;
}

}  // namespace tc
