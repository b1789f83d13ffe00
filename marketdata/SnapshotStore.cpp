#include "marketdata/SnapshotStore.h"

#include <cstring>
#include <new>

#include "ToraSdk.h"
#include "engine/Text.h"
#include "marketdata/CBaseMd.h"

using namespace tc::sdk::md_names;

namespace tc {

// ---------------------------------------------------------------------------------------------
// Index
// ---------------------------------------------------------------------------------------------

struct SnapshotIndex::Entry {
    std::uint64_t hash = 0;
    SnapshotSlot *slot = nullptr;  // null: free
    std::uint8_t length = 0;
    char key[kMaxKeyLength + 1] = {};
};

namespace {

constexpr std::size_t kInitialCapacity = 64;  // a power of two

// FNV-1a over the key bytes: keys are short, so this costs a handful of nanoseconds.
inline std::uint64_t hashKey(const char *key, std::size_t length) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < length; ++i) {
        h ^= static_cast<unsigned char>(key[i]);
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

SnapshotIndex::SnapshotIndex() : entries_(new Entry[kInitialCapacity]), capacity_(kInitialCapacity) {}

SnapshotIndex::~SnapshotIndex() = default;

// Same discipline as the record lock: an inserter that waits keeps new searchers out, and
// nobody sleeps while spinning (the lock is held only for a probe or an insertion).
void SnapshotIndex::lockShared() const {
    for (;;) {
        std::int32_t n = lockWord_.load(std::memory_order_relaxed);
        if (n < 0 || lockWaiters_.load(std::memory_order_relaxed) > 0) continue;
        if (lockWord_.compare_exchange_weak(n, n + 1, std::memory_order_acquire, std::memory_order_relaxed)) return;
    }
}
void SnapshotIndex::unlockShared() const { lockWord_.fetch_sub(1, std::memory_order_release); }
void SnapshotIndex::lockExclusive() const {
    lockWaiters_.fetch_add(1, std::memory_order_acq_rel);
    std::int32_t expected = 0;
    while (!lockWord_.compare_exchange_weak(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) {
        expected = 0;
    }
    lockWaiters_.fetch_sub(1, std::memory_order_acq_rel);
}
void SnapshotIndex::unlockExclusive() const { lockWord_.store(0, std::memory_order_release); }

const SnapshotIndex::Entry *SnapshotIndex::findEntry(const char *key, std::size_t length, std::uint64_t hash) const {
    const std::size_t mask = capacity_ - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        const Entry &e = entries_[i];
        if (!e.slot) return nullptr;
        if (e.hash == hash && e.length == length && std::memcmp(e.key, key, length) == 0) return &e;
    }
}

SnapshotSlot *SnapshotIndex::find(const char *key, std::size_t length) const {
    if (!key || length == 0 || length > kMaxKeyLength) return nullptr;
    const std::uint64_t hash = hashKey(key, length);
    lockShared();
    const Entry *e = findEntry(key, length, hash);
    SnapshotSlot *slot = e ? e->slot : nullptr;
    unlockShared();
    return slot;
}

SnapshotSlot *SnapshotIndex::find(const char *key) const {
    if (!key) return nullptr;
    // Bounded scan: a key longer than any held key is simply not found.
    std::size_t length = 0;
    while (length <= kMaxKeyLength && key[length] != '\0') ++length;
    return find(key, length);
}

void SnapshotIndex::grow() {
    const std::size_t newCapacity = capacity_ * 2;
    std::unique_ptr<Entry[]> fresh(new Entry[newCapacity]);
    const std::size_t mask = newCapacity - 1;
    for (std::size_t j = 0; j < capacity_; ++j) {
        const Entry &e = entries_[j];
        if (!e.slot) continue;
        std::size_t i = static_cast<std::size_t>(e.hash) & mask;
        while (fresh[i].slot) i = (i + 1) & mask;
        fresh[i] = e;
    }
    entries_ = std::move(fresh);
    capacity_ = newCapacity;
}

SnapshotSlot *SnapshotIndex::insert(const char *key, std::size_t length, SnapshotSlot *slot) {
    if (!key || !slot || length == 0 || length > kMaxKeyLength) return nullptr;
    const std::uint64_t hash = hashKey(key, length);
    lockExclusive();
    SnapshotSlot *held = nullptr;
    if (const Entry *existing = findEntry(key, length, hash)) {
        held = existing->slot;
    } else {
        // Keep the table at most half full so probes stay short.
        if ((count_ + 1) * 2 > capacity_) grow();
        const std::size_t mask = capacity_ - 1;
        std::size_t i = static_cast<std::size_t>(hash) & mask;
        while (entries_[i].slot) i = (i + 1) & mask;
        Entry &e = entries_[i];
        e.hash = hash;
        e.length = static_cast<std::uint8_t>(length);
        std::memcpy(e.key, key, length);
        e.key[length] = '\0';
        e.slot = slot;
        ++count_;
        held = slot;
    }
    unlockExclusive();
    return held;
}

std::size_t SnapshotIndex::size() const {
    lockShared();
    std::size_t n = count_;
    unlockShared();
    return n;
}

std::size_t makeSecurityKey(char *out, const char *securityID, std::size_t securityIDCapacity, char exchange) {
    std::size_t length = 0;
    if (securityID) length = fieldLength(securityID, securityIDCapacity);
    if (length + 2 > SnapshotIndex::kMaxKeyLength) return 0;
    if (length) std::memcpy(out, securityID, length);
    out[length] = '.';
    out[length + 1] = exchange;
    out[length + 2] = '\0';
    return length + 2;
}

// ---------------------------------------------------------------------------------------------
// Snapshot update
// ---------------------------------------------------------------------------------------------

namespace {

static_assert(sizeof(TTORATstpSecurityIDType) + 1 <= SnapshotIndex::kMaxKeyLength,
              "every snapshot key must fit the index");

// Fields that only the first snapshot of a security sets; later snapshots leave them as they
// were, whatever the SDK sends.
inline void applyFirstSnapshot(CQNMarketDataField &r, const CTORATstpMarketDataField &s) {
    copyField(r.TradingDay, s.TradingDay);
    r.ExchangeID[0] = s.ExchangeID;
    r.ExchangeID[1] = '\0';
    copyField(r.StandardID, s.SecurityID);
    r.PreClosePrice = s.PreClosePrice;
    r.OpenPrice = s.OpenPrice;
}

inline void applyEverySnapshot(CQNMarketDataField &r, const CTORATstpMarketDataField &s) {
    r.MarketDataStatus = '\0';
    copyField(r.UpdateTime, s.UpdateTime);
    r.UpdateMillisec = s.UpdateMillisec;
    r.Volume = s.Volume;
    r.Turnover = s.Turnover;
    // A zero volume gives 0/0 here on purpose: the renderer shows that as "no value".
    r.AveragePrice = s.Turnover / static_cast<double>(s.Volume);
    r.LastPrice = s.LastPrice;
    r.HighestPrice = s.HighestPrice;
    r.LowestPrice = s.LowestPrice;
    r.BidPrice1 = s.BidPrice1;
    r.BidPrice2 = s.BidPrice2;
    r.BidPrice3 = s.BidPrice3;
    r.BidPrice4 = s.BidPrice4;
    r.BidPrice5 = s.BidPrice5;
    r.AskPrice1 = s.AskPrice1;
    r.AskPrice2 = s.AskPrice2;
    r.AskPrice3 = s.AskPrice3;
    r.AskPrice4 = s.AskPrice4;
    r.AskPrice5 = s.AskPrice5;
    r.BidVolume1 = static_cast<TQNVolumeType>(s.BidVolume1);
    r.BidVolume2 = static_cast<TQNVolumeType>(s.BidVolume2);
    r.BidVolume3 = static_cast<TQNVolumeType>(s.BidVolume3);
    r.BidVolume4 = static_cast<TQNVolumeType>(s.BidVolume4);
    r.BidVolume5 = static_cast<TQNVolumeType>(s.BidVolume5);
    r.AskVolume1 = static_cast<TQNVolumeType>(s.AskVolume1);
    r.AskVolume2 = static_cast<TQNVolumeType>(s.AskVolume2);
    r.AskVolume3 = static_cast<TQNVolumeType>(s.AskVolume3);
    r.AskVolume4 = static_cast<TQNVolumeType>(s.AskVolume4);
    r.AskVolume5 = static_cast<TQNVolumeType>(s.AskVolume5);
    r.UpperLimitPrice = s.UpperLimitPrice;
    r.LowerLimitPrice = s.LowerLimitPrice;
}

// Writes and delivers while the caller holds the slot's writer lock; releases it afterwards.
inline CQNMarketDataField *deliverAndRelease(const EventSink &sink, SnapshotSlot *slot) {
    CQNMarketDataField *record = &slot->record;
    try {
        deliverSnapshotEvent(sink, ENUM_SnapDataEventID_MarketData, record);
    } catch (...) {
        unlockExclusive(record);  // never leave a record locked for good
        throw;
    }
    unlockExclusive(record);
    return record;
}

}  // namespace

CQNMarketDataField *onMarketData(SnapshotIndex &index, const EventSink &sink, const sdk::MarketDataRecord *snapshot) {
    if (!snapshot) return nullptr;
    char key[SnapshotIndex::kMaxKeyLength + 1];
    const std::size_t length = makeSecurityKey(key, snapshot->SecurityID, sizeof(snapshot->SecurityID), snapshot->ExchangeID);

    if (SnapshotSlot *slot = index.find(key, length)) {
        lockExclusive(&slot->record);
        applyEverySnapshot(slot->record, *snapshot);
        return deliverAndRelease(sink, slot);
    }

    // First snapshot of this security: the slot is filled and locked before it becomes
    // reachable, so a lookup that finds it waits for the complete record.
    SnapshotSlot *fresh = newRecordBlock<CQNMarketDataField>();
    lockExclusive(&fresh->record);
    applyFirstSnapshot(fresh->record, *snapshot);
    applyEverySnapshot(fresh->record, *snapshot);
    SnapshotSlot *held = index.insert(key, length, fresh);
    if (held == fresh) return deliverAndRelease(sink, fresh);

    // Another thread published this security's slot first (the SDK delivers snapshots on one
    // thread, so only a caller of its own can get here): ours was never visible, drop it and
    // update the published one as a later snapshot.
    unlockExclusive(&fresh->record);
    delete fresh;
    if (!held) return nullptr;
    lockExclusive(&held->record);
    applyEverySnapshot(held->record, *snapshot);
    return deliverAndRelease(sink, held);
}

// ---------------------------------------------------------------------------------------------
// Price lookups
// ---------------------------------------------------------------------------------------------

namespace {

// A reader's hold on a snapshot. The thread that is handing this very snapshot to a processor
// holds it already, and a processor may well place an order priced from it: then it is read as
// it is, instead of waiting for a lock its own thread holds.
class SnapshotRead {
public:
    explicit SnapshotRead(const CQNMarketDataField &r) : r_(r), held_(&r == tlsDeliveredRecord) {
        if (!held_) lockShared(&r_);
    }
    ~SnapshotRead() {
        if (!held_) unlockShared(&r_);
    }
    SnapshotRead(const SnapshotRead &) = delete;
    SnapshotRead &operator=(const SnapshotRead &) = delete;

private:
    const CQNMarketDataField &r_;
    const bool held_;
};

}  // namespace

double lookupPrice(const SnapshotIndex &index, const char *securityKey, bool isBuyFromMarket, double offset,
                   PriceKind kind) {
    const SnapshotSlot *slot = index.find(securityKey);
    if (!slot) return -1.0;
    const CQNMarketDataField &r = slot->record;
    SnapshotRead hold(r);
    double price;
    switch (kind) {
        case PriceKind::Limit:
            price = isBuyFromMarket ? r.UpperLimitPrice + offset : r.LowerLimitPrice - offset;
            break;
        case PriceKind::HomeBest:
            price = isBuyFromMarket ? r.BidPrice1 + offset : r.AskPrice1 - offset;
            break;
        case PriceKind::Best:
        default:
            price = isBuyFromMarket ? r.AskPrice1 + offset : r.BidPrice1 - offset;
            break;
    }
    if (price > r.UpperLimitPrice) price = r.UpperLimitPrice;
    if (r.LowerLimitPrice > price) price = r.LowerLimitPrice;
    return price;
}

bool readSnapshotPrices(const CBaseMd *md, const char *securityKey, const CQNMarketDataField **cache,
                        SnapshotPrices &out) {
    const CQNMarketDataField *r = *cache;
    if (!r) {
        // Slots are never freed or moved, so the one found serves every later read.
        const SnapshotSlot *slot = md && securityKey ? md->snapshotIndex().find(securityKey) : nullptr;
        if (!slot) return false;
        *cache = r = &slot->record;
    }
    SnapshotRead hold(*r);
    out.lastPrice = r->LastPrice;
    out.preClosePrice = r->PreClosePrice;
    out.upperLimitPrice = r->UpperLimitPrice;
    out.lowerLimitPrice = r->LowerLimitPrice;
    return true;
}

double getLimitPrice(const CBaseMd *md, const char *securityKey, bool isBuyFromMarket, double offset) {
    if (!md) return -1.0;
    return lookupPrice(md->snapshotIndex(), securityKey, isBuyFromMarket, offset, PriceKind::Limit);
}

double getHomeBestPrice(const CBaseMd *md, const char *securityKey, bool isBuyFromMarket, double offset) {
    if (!md) return -1.0;
    return lookupPrice(md->snapshotIndex(), securityKey, isBuyFromMarket, offset, PriceKind::HomeBest);
}

double getBestPrice(const CBaseMd *md, const char *securityKey, bool isBuyFromMarket, double offset) {
    if (!md) return -1.0;
    return lookupPrice(md->snapshotIndex(), securityKey, isBuyFromMarket, offset, PriceKind::Best);
}

}  // namespace tc
