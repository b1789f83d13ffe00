// Pieces the book's two translation units share: its lock guard, the security-key table, the
// one-bit-per-order sets of the gate, and the small conversions of broker records.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <unordered_set>
#include <vector>

#include "book/AccountBook.h"

namespace tc {
namespace book {

// Spinning is what the book's lock is for, but a holder descheduled on a busy machine must not
// cost a whole time slice of spinning.
inline void spinPause(unsigned &spins) {
    if (++spins >= 64) {
        spins = 0;
        std::this_thread::yield();
    }
}

struct AccountBook::Guard {
    explicit Guard(const AccountBook &b) : b_(b) {
        unsigned spins = 0;
        while (b_.lock_.exchange(1, std::memory_order_acquire) != 0) {
            while (b_.lock_.load(std::memory_order_relaxed) != 0) spinPause(spins);
        }
    }
    ~Guard() { b_.lock_.store(0, std::memory_order_release); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
    const AccountBook &b_;
};

// Security key -> security. Searched by the order gate without the book's lock, so it never
// changes under a reader: slots are filled once (the key's hash, then the security, published
// last), and growing makes a new table, published whole, while the old ones are kept (a reader
// may still be in one; they add up to less than the newest). Inserted into under the book's lock.
class AccountBook::KeyTable {
public:
    SecurityState *find(const char *key) const {
        const Table *t = current_.load(std::memory_order_acquire);
        if (!t) return nullptr;
        const KeyWords k = wordsOf(key);
        const std::uint64_t h = hash(k);
        for (std::size_t i = h & t->mask;; i = (i + 1) & t->mask) {
            const Slot &slot = t->slots[i];
            SecurityState *s = slot.security.load(std::memory_order_acquire);
            if (!s) return nullptr;
            // The first 16 bytes and the length compare as three words; only a longer key is
            // compared beyond them.
            if (slot.hash.load(std::memory_order_relaxed) == h && s->keyWords[0] == k.w0 && s->keyWords[1] == k.w1 &&
                s->keyLength == k.length && (k.length <= 16 || std::strncmp(s->key, key, kKeySize) == 0))
                return s;
        }
    }

    // What the table compares of a key: its first 16 bytes as two words, and its length.
    struct KeyWords {
        std::uint64_t w0 = 0;
        std::uint64_t w1 = 0;
        std::size_t length = 0;
        std::uint64_t tail = 0;  // a hash of what lies beyond
    };
    static KeyWords wordsOf(const char *key) {
        KeyWords k;
        std::size_t n = 0;
        for (; n < 8 && key[n] != '\0'; ++n) k.w0 |= std::uint64_t(static_cast<unsigned char>(key[n])) << (n * 8);
        if (n == 8) {
            for (; n < 16 && key[n] != '\0'; ++n)
                k.w1 |= std::uint64_t(static_cast<unsigned char>(key[n])) << ((n - 8) * 8);
            for (; n < kKeySize && key[n] != '\0'; ++n)
                k.tail = (k.tail ^ static_cast<unsigned char>(key[n])) * 1099511628211ull;
        }
        k.length = n;
        return k;
    }

    void insert(SecurityState *s) {
        Table *t = current_.load(std::memory_order_relaxed);
        if (!t || (count_ + 1) * 2 > t->mask + 1) t = grow(t);
        const KeyWords k = wordsOf(s->key);
        s->keyWords[0] = k.w0;
        s->keyWords[1] = k.w1;
        s->keyLength = k.length;
        place(*t, s, hash(k));
        ++count_;
    }

private:
    struct Slot {
        std::atomic<std::uint64_t> hash{0};
        std::atomic<SecurityState *> security{nullptr};
    };
    struct Table {
        std::size_t mask;
        std::unique_ptr<Slot[]> slots;
    };

    // The key's first 16 bytes as two words and its length, mixed by two multiplications: the
    // bytes are gathered without a chain of dependent steps, which a byte-wise hash would be.
    // Two multiplications mix the words: the bytes are gathered without a chain of dependent
    // steps, which a byte-wise hash would be.
    static std::uint64_t hash(const KeyWords &k) {
        const std::uint64_t h = (k.w0 * 0x9E3779B97F4A7C15ull) ^ (k.w1 + k.length) * 0xC2B2AE3D27D4EB4Full ^ k.tail;
        return h ^ (h >> 29);
    }

    static void place(Table &t, SecurityState *s, std::uint64_t h) {
        std::size_t i = h & t.mask;
        while (t.slots[i].security.load(std::memory_order_relaxed)) i = (i + 1) & t.mask;
        t.slots[i].hash.store(h, std::memory_order_relaxed);
        t.slots[i].security.store(s, std::memory_order_release);
    }
    Table *grow(Table *old) {
        const std::size_t capacity = old ? (old->mask + 1) * 2 : 64;
        auto fresh = std::make_unique<Table>();
        fresh->mask = capacity - 1;
        fresh->slots.reset(new Slot[capacity]);
        if (old) {
            for (std::size_t i = 0; i <= old->mask; ++i) {
                SecurityState *s = old->slots[i].security.load(std::memory_order_relaxed);
                if (s) place(*fresh, s, old->slots[i].hash.load(std::memory_order_relaxed));
            }
        }
        Table *t = fresh.get();
        tables_.push_back(std::move(fresh));
        current_.store(t, std::memory_order_release);
        return t;
    }

    std::atomic<Table *> current_{nullptr};
    std::vector<std::unique_ptr<Table>> tables_;
    std::size_t count_ = 0;
};

// A set of order identifiers, one bit each in chunks of 32768 from the first identifier set, so
// that marking an order costs a few instructions and a page of memory per 32768 orders.
class AccountBook::IdBits {
public:
    void set(int id) {
        long long offset = offsetOf(id);
        if (offset < 0) {
            below_.insert(id);
            return;
        }
        const std::size_t chunk = static_cast<std::size_t>(offset >> kChunkShift);
        if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
        if (!chunks_[chunk]) chunks_[chunk].reset(new std::uint64_t[kWords]());
        const std::size_t bit = static_cast<std::size_t>(offset) & (kBits - 1);
        chunks_[chunk][bit >> 6] |= 1ull << (bit & 63);
    }
    bool test(int id) const {
        if (!started_) return false;
        const long long offset = static_cast<long long>(id) - base_;
        if (offset < 0) return below_.count(id) != 0;
        const std::size_t chunk = static_cast<std::size_t>(offset >> kChunkShift);
        if (chunk >= chunks_.size() || !chunks_[chunk]) return false;
        const std::size_t bit = static_cast<std::size_t>(offset) & (kBits - 1);
        return (chunks_[chunk][bit >> 6] >> (bit & 63)) & 1u;
    }

private:
    static constexpr int kChunkShift = 15;
    static constexpr std::size_t kBits = std::size_t(1) << kChunkShift;
    static constexpr std::size_t kWords = kBits / 64;

    long long offsetOf(int id) {
        if (!started_) {
            // Identifiers grow from here; a chunk's margin below takes orders of another thread
            // that took an earlier identifier but is checked a little later.
            started_ = true;
            base_ = (static_cast<long long>(id) >> kChunkShift << kChunkShift) - static_cast<long long>(kBits);
        }
        return static_cast<long long>(id) - base_;
    }

    bool started_ = false;
    long long base_ = 0;
    std::vector<std::unique_ptr<std::uint64_t[]>> chunks_;
    std::unordered_set<int> below_;
};

// "<code>.<exchange>", the security key of the engine's orders and snapshots.
template <std::size_t N>
void securityKey(char (&out)[kKeySize], const char (&code)[N], char exchange) {
    std::size_t n = 0;
    while (n < N && n + 3 < kKeySize && code[n] != '\0') {
        out[n] = code[n];
        ++n;
    }
    out[n++] = '.';
    if (exchange != '\0') out[n++] = exchange;
    out[n] = '\0';
}
template <std::size_t N, std::size_t M>
void securityKey(char (&out)[kKeySize], const char (&code)[N], const char (&exchange)[M]) {
    securityKey(out, code, exchange[0]);
}

// Leading decimal digits (optional sign) of a fixed-size text; 0 when there are none.
inline int parseDecimal(const char *text, std::size_t n) {
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 2147483647LL) return 0;
    }
    return static_cast<int>(negative ? -v : v);
}

inline bool isFinal(char status) {
    return status == ENUM_OrderStatus_AllTraded || status == ENUM_OrderStatus_Canceled ||
           status == ENUM_OrderStatus_Rejected;
}


}  // namespace book
}  // namespace tc
