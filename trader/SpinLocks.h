// The two small locks of the trader adapter: a plain spin lock for the order and transfer
// indexes, and the writer-preferring reader-writer spin lock of the active-order index.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace tc {

namespace detail {
// Spinning is what these locks are for (they are held for a map lookup or insertion), but a
// holder descheduled on a busy machine must not cost a whole time slice of pure spinning.
inline void spinPause(unsigned &spins) {
    if (++spins >= 64) {
        spins = 0;
        std::this_thread::yield();
    }
}
}  // namespace detail

class SpinLock {
public:
    void lock() {
        unsigned spins = 0;
        while (word_.exchange(1, std::memory_order_acquire) != 0) {
            while (word_.load(std::memory_order_relaxed) != 0) detail::spinPause(spins);
        }
    }
    void unlock() { word_.store(0, std::memory_order_release); }

private:
    std::atomic<std::uint32_t> word_{0};
};

// State word: 0 free, n > 0 held by n readers, -1 held by a writer. A writer announces itself in
// the waiting-writer count first, and readers keep off while any writer waits, so a steady
// stream of readers (cancel sweeps) cannot starve the notification threads that insert and
// remove orders.
class RWSpinLock {
public:
    void lockWrite() {
        waitingWriters_.fetch_add(1, std::memory_order_acq_rel);
        unsigned spins = 0;
        std::int32_t expected = 0;
        while (!state_.compare_exchange_weak(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) {
            expected = 0;
            detail::spinPause(spins);
        }
        waitingWriters_.fetch_sub(1, std::memory_order_acq_rel);
    }
    void unlockWrite() { state_.store(0, std::memory_order_release); }

    void lockRead() {
        unsigned spins = 0;
        for (;;) {
            std::int32_t n = state_.load(std::memory_order_relaxed);
            if (n < 0 || waitingWriters_.load(std::memory_order_relaxed) > 0) {
                detail::spinPause(spins);
                continue;
            }
            if (state_.compare_exchange_weak(n, n + 1, std::memory_order_acquire, std::memory_order_relaxed)) return;
        }
    }
    void unlockRead() { state_.fetch_sub(1, std::memory_order_release); }

    std::int32_t state() const { return state_.load(std::memory_order_acquire); }
    std::int32_t waitingWriters() const { return waitingWriters_.load(std::memory_order_acquire); }

private:
    std::atomic<std::int32_t> state_{0};
    std::atomic<std::int32_t> waitingWriters_{0};
};

template <class L>
class ReadGuard {
public:
    explicit ReadGuard(L &l) : l_(l) { l_.lockRead(); }
    ~ReadGuard() { l_.unlockRead(); }
    ReadGuard(const ReadGuard &) = delete;
    ReadGuard &operator=(const ReadGuard &) = delete;

private:
    L &l_;
};

template <class L>
class WriteGuard {
public:
    explicit WriteGuard(L &l) : l_(l) { l_.lockWrite(); }
    ~WriteGuard() { l_.unlockWrite(); }
    WriteGuard(const WriteGuard &) = delete;
    WriteGuard &operator=(const WriteGuard &) = delete;

private:
    L &l_;
};

}  // namespace tc
