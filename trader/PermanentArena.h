// Storage for what the trader adapter keeps until the process exits: order slots and the entries
// of the order index. Placing an order must neither call the heap allocator nor take page faults,
// so memory comes in large chunks whose pages are all present before the first byte is handed
// out. One helper thread maps the next chunks of every arena in use while the current ones are
// used up; when it has not finished in time, the allocating thread maps one itself. Nothing is
// ever given back, so an address handed out stays valid for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tc {

class PermanentArena {
public:
    // Bytes per chunk; a single allocation may not be larger.
    static constexpr std::size_t kChunkBytes = std::size_t(2) << 20;

    // The process-wide arenas (never destroyed): one for records (order slots), one for the
    // small nodes of containers (the order index's entries), kept apart so that the nodes lie
    // close together when a rehash walks them all.
    static PermanentArena &records();
    static PermanentArena &nodes();

    // `bytes` (at most kChunkBytes) of zeroed memory aligned to `align` (a power of two, at most
    // 64). Thread-safe; small blocks come from a run of the calling thread's own, so that most
    // allocations take no lock. Throws std::bad_alloc when the system has no memory left.
    void *allocate(std::size_t bytes, std::size_t align);

    // Has the helper make chunks ready for this arena from now on (an engine calls this when it
    // is created, so that its first orders find their memory waiting). Returns at once.
    void prepare();

    struct Counters {
        std::uint64_t chunks = 0;          // chunks taken into use
        std::uint64_t preparedChunks = 0;  // ... of which the helper thread had made ready
        std::uint64_t readyChunks = 0;     // made ready and waiting now
    };
    Counters counters() const;

    struct State;

private:
    PermanentArena(int index, std::size_t readyChunks);
    State *s_;
};

// Allocator for node-based containers whose nodes live as long as the process: single nodes come
// from the permanent arena and are never given back; arrays (a hash table's buckets) come from
// the heap as usual.
template <class T>
struct PermanentNodeAllocator {
    using value_type = T;

    PermanentNodeAllocator() noexcept = default;
    template <class U>
    PermanentNodeAllocator(const PermanentNodeAllocator<U> &) noexcept {}

    T *allocate(std::size_t n) {
        if (isNode(n)) return static_cast<T *>(PermanentArena::nodes().allocate(sizeof(T), alignof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T *p, std::size_t n) noexcept {
        if (isNode(n)) return;  // arena memory stays where it is
        std::allocator<T>().deallocate(p, n);
    }

    template <class U>
    bool operator==(const PermanentNodeAllocator<U> &) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const PermanentNodeAllocator<U> &) const noexcept {
        return false;
    }

private:
    // A bucket array is made of pointers; a node is larger than one pointer.
    static constexpr bool isNode(std::size_t n) { return n == 1 && sizeof(T) > sizeof(void *) && alignof(T) <= 64; }
};

}  // namespace tc
