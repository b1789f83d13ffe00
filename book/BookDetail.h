// Pieces the book's two translation units share: its lock guard, the security-key table, the
// one-bit-per-order sets of the gate, and the small conversions of broker records.
#pragma once

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
    explicit Guard(const AccountBook &b) : b_(b) { b_.lock(); }
    ~Guard() { b_.unlock(); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
    const AccountBook &b_;
};

// Security key -> index of the security, open addressing over the securities' own keys: a
// lookup allocates nothing and costs a short hash and a compare or two.
class AccountBook::KeyTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    std::uint32_t find(const char *key, const std::deque<SecurityState> &securities) const {
        if (slots_.empty()) return kNone;
        const std::uint64_t h = hash(key);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot &s = slots_[i];
            if (s.index == kNone) return kNone;
            if (s.hash == h && std::strncmp(securities[s.index].key, key, kKeySize) == 0) return s.index;
        }
    }

    void insert(std::uint32_t index, const std::deque<SecurityState> &securities) {
        if ((count_ + 1) * 2 > slots_.size()) grow();
        place(index, hash(securities[index].key));
        ++count_;
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t index = kNone;
    };

    static std::uint64_t hash(const char *key) {
        std::uint64_t h = 1469598103934665603ull;  // FNV-1a
        for (std::size_t i = 0; i < kKeySize && key[i] != '\0'; ++i) {
            h ^= static_cast<unsigned char>(key[i]);
            h *= 1099511628211ull;
        }
        return h;
    }
    void place(std::uint32_t index, std::uint64_t h) {
        std::size_t i = h & mask_;
        while (slots_[i].index != kNone) i = (i + 1) & mask_;
        slots_[i].hash = h;
        slots_[i].index = index;
    }
    void grow() {
        const std::size_t capacity = slots_.empty() ? 64 : slots_.size() * 2;
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(capacity, Slot());
        mask_ = capacity - 1;
        for (const Slot &s : old) {
            if (s.index != kNone) place(s.index, s.hash);
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
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

// The engine's code for the state the broker's order record reports.
char engineStatus(char brokerStatus, char submitStatus);

}  // namespace book
}  // namespace tc
