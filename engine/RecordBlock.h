// Every order, snapshot and transfer record the engine hands out lies right behind two signed
// 32-bit words: the lock word (0 free, -1 exclusive, n > 0 shared by n engine-side readers) and
// the number of threads waiting to take it exclusively. Callers hold the record's address, so
// the words sit 8 and 4 bytes in front of it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "records/QNRecords.h"

namespace tc {

struct RecordLock {
    std::atomic<std::int32_t> word{0};
    std::atomic<std::int32_t> waiters{0};
};
static_assert(sizeof(RecordLock) == kRecordHeaderSize, "lock words must be two 32-bit words");
static_assert(std::atomic<std::int32_t>::is_always_lock_free, "lock words must be lock-free");

template <class Record>
struct RecordBlock {
    RecordLock lock;
    Record record;
};
static_assert(offsetof(RecordBlock<CQNOrderField>, record) == kRecordHeaderSize, "order record offset");
static_assert(offsetof(RecordBlock<CQNMarketDataField>, record) == kRecordHeaderSize, "snapshot record offset");
static_assert(offsetof(RecordBlock<CQNTransferAssetField>, record) == kRecordHeaderSize, "transfer record offset");

inline RecordLock *lockOf(const void *record) {
    return reinterpret_cast<RecordLock *>(const_cast<char *>(static_cast<const char *>(record)) - kRecordHeaderSize);
}

// The record whose lock this thread holds while it hands that record to a processor. A
// processor that asks for the lock of the very record it is being handed gets it at once
// instead of spinning on a lock its own thread holds.
extern thread_local const void *tlsDeliveredRecord;

// Exclusive side: what getOrderLock/getMarketDataLock do, and what engine writers do.
inline void lockExclusive(const void *record) {
    RecordLock *l = lockOf(record);
    l->waiters.fetch_add(1, std::memory_order_acq_rel);
    std::int32_t expected = 0;
    while (!l->word.compare_exchange_weak(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) {
        expected = 0;
    }
    l->waiters.fetch_sub(1, std::memory_order_acq_rel);
}
inline void unlockExclusive(const void *record) { lockOf(record)->word.store(0, std::memory_order_release); }

// Shared side: engine-side readers wait while a writer holds it or waits for it.
inline void lockShared(const void *record) {
    RecordLock *l = lockOf(record);
    for (;;) {
        std::int32_t n = l->word.load(std::memory_order_relaxed);
        if (n < 0 || l->waiters.load(std::memory_order_relaxed) > 0) continue;
        if (l->word.compare_exchange_weak(n, n + 1, std::memory_order_acquire, std::memory_order_relaxed)) return;
    }
}
inline void unlockShared(const void *record) { lockOf(record)->word.fetch_sub(1, std::memory_order_release); }

// Allocates a zeroed block; the engine never frees it while the process lives.
template <class Record>
inline RecordBlock<Record> *newRecordBlock() {
    return new RecordBlock<Record>();
}

}  // namespace tc
