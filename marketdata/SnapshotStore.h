// The market-data side's snapshot store: one CQNMarketDataField per security key, updated in
// place on every depth-market-data callback, and the three price lookups that order entry uses
// to price market-type orders.
//
// A security key is the security code, ".", and the exchange character ("600000.1",
// "000001.2"); orders and the security directory name securities the same way.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "ToraSdkFwd.h"
#include "engine/RecordBlock.h"
#include "events/Delivery.h"
#include "records/QNRecords.h"

class CBaseMd;

namespace tc {

// One security's snapshot: its two lock words, then the record whose address Python receives.
// Allocated on the security's first snapshot and never freed: Python keeps the address.
using SnapshotSlot = RecordBlock<CQNMarketDataField>;

// Security key -> slot. Entries are added on a security's first snapshot (on the SDK's
// callback thread) and never removed, while price lookups search from order-entry threads.
// Every search holds the index lock shared and every insertion holds it exclusively, so a
// search never sees an insertion (or a growth of the table) half done. The table is open
// addressing with the keys stored inline: a search allocates nothing.
class SnapshotIndex {
public:
    // Longest key the index holds. Snapshot keys are the SDK's security code (at most 30
    // characters), "." and one exchange character; longer keys are simply never found.
    static constexpr std::size_t kMaxKeyLength = 47;

    SnapshotIndex();
    ~SnapshotIndex();  // frees the table only, never the slots
    SnapshotIndex(const SnapshotIndex &) = delete;
    SnapshotIndex &operator=(const SnapshotIndex &) = delete;

    // Null when the key has no slot (a null or empty key has none).
    SnapshotSlot *find(const char *key, std::size_t length) const;
    SnapshotSlot *find(const char *key) const;
    // Adds key -> slot unless the key is present already. Returns the slot held under the key
    // afterwards (the given one, or the one that was there first); null for an unusable key.
    SnapshotSlot *insert(const char *key, std::size_t length, SnapshotSlot *slot);
    std::size_t size() const;

private:
    struct Entry;
    void lockShared() const;
    void unlockShared() const;
    void lockExclusive() const;
    void unlockExclusive() const;
    const Entry *findEntry(const char *key, std::size_t length, std::uint64_t hash) const;
    void grow();

    mutable std::atomic<std::int32_t> lockWord_{0};  // 0 free, -1 inserting, n > 0 searching
    mutable std::atomic<std::int32_t> lockWaiters_{0};  // inserters waiting: keeps searchers out
    std::unique_ptr<Entry[]> entries_;
    std::size_t capacity_ = 0;  // a power of two
    std::size_t count_ = 0;
};

// Builds "<securityID>.<exchange>" into `out` (at least SnapshotIndex::kMaxKeyLength + 1
// bytes); returns the key's length, or 0 when it would not fit.
std::size_t makeSecurityKey(char *out, const char *securityID, std::size_t securityIDCapacity, char exchange);

// One depth-market-data callback: finds or creates the security's slot, writes the snapshot
// into it under its writer lock and delivers event 10021 (ENUM_SnapDataEventID_MarketData)
// with the record while still holding that lock. A null snapshot is ignored. Returns the
// record (null when ignored).
CQNMarketDataField *onMarketData(SnapshotIndex &index, const EventSink &sink,
                                 const sdk::MarketDataRecord *snapshot);

// Price lookups for market-type orders (called by order entry with offset 0).
//   securityKey      the order's security key (StandardID "." ExchangeID)
//   isBuyFromMarket  the order's IsBuyFromMarket flag
// Each reads the security's snapshot under its reader lock, takes the side from the flag,
// clamps the result to [LowerLimitPrice, UpperLimitPrice] and returns -1.0 when the store has
// no snapshot for the key (also for a null md, a null key or an empty key).
//   getLimitPrice:    buy UpperLimitPrice + offset, sell LowerLimitPrice - offset
//   getHomeBestPrice: buy BidPrice1 + offset,       sell AskPrice1 - offset
//   getBestPrice:     buy AskPrice1 + offset,       sell BidPrice1 - offset
double getLimitPrice(const CBaseMd *md, const char *securityKey, bool isBuyFromMarket, double offset);
double getHomeBestPrice(const CBaseMd *md, const char *securityKey, bool isBuyFromMarket, double offset);
double getBestPrice(const CBaseMd *md, const char *securityKey, bool isBuyFromMarket, double offset);

// The same lookups on an index directly.
enum class PriceKind { Limit, HomeBest, Best };
double lookupPrice(const SnapshotIndex &index, const char *securityKey, bool isBuyFromMarket, double offset,
                   PriceKind kind);

// The prices a pre-trade check reads from a security's latest snapshot.
struct SnapshotPrices {
    double lastPrice;
    double preClosePrice;
    double upperLimitPrice;
    double lowerLimitPrice;
};
// Reads them for `securityKey` from `md`'s store under the snapshot's reader lock (or as it is,
// on the thread that is handing that snapshot to a processor). `*cache` keeps the security's
// record between calls: null the first time, filled once the store has the security. False,
// with `out` untouched, while the store holds no snapshot for the key. Exported for the
// package's native modules; not one of the engine's C functions.
TRADECORE_API bool readSnapshotPrices(const CBaseMd *md, const char *securityKey, const CQNMarketDataField **cache,
                                      SnapshotPrices &out);

}  // namespace tc
