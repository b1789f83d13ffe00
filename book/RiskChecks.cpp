// The book as the engine's order gate: the pre-trade checks of every order and cancel.
//
// An order is checked in two steps so that the book's lock is never held while waiting for
// anything else: without the lock, the security (the table is read without it) and, when the
// book is not given the security's snapshots, the snapshot's prices from the engine's store (a
// market-data thread may hold that snapshot while its processor calls into the book); under the
// lock, every check and the admission that counts the order as open at once.
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "book/AccountBook.h"
#include "book/BookDetail.h"
#include "engine/Text.h"
#include "marketdata/SnapshotStore.h"

namespace tc {
namespace book {

namespace {

constexpr long long kSecondMicros = 1000000;

// Orders that spend cash and orders that need shares.
bool spendsCash(const CQNOrderField &o) { return o.Direction == ENUM_Direction_Buy; }
bool needsShares(const CQNOrderField &o) { return o.Direction == ENUM_Direction_Sell; }

// Whether a ring of the times of the last `limit` admissions has room for one more now.
bool rateAllows(const std::vector<long long> &ring, std::size_t head, std::size_t count, int limit, long long now) {
    if (limit <= 0) return true;
    if (count < static_cast<std::size_t>(limit)) return true;
    return now - ring[head] >= kSecondMicros;  // the oldest of the last `limit` is a second old
}

void recordRate(std::vector<long long> &ring, std::size_t &head, std::size_t &count, int limit, long long now) {
    if (limit <= 0 || ring.size() != static_cast<std::size_t>(limit)) return;
    ring[head] = now;
    if (++head == ring.size()) head = 0;
    if (count < ring.size()) ++count;
}

}  // namespace

const char *checkName(Check check) {
    switch (check) {
    case Check::None: return "None";
    case Check::Halted: return "Halted";
    case Check::Volume: return "Volume";
    case Check::LotSize: return "LotSize";
    case Check::MaxVolume: return "MaxVolume";
    case Check::Price: return "Price";
    case Check::LimitPrice: return "LimitPrice";
    case Check::PriceBand: return "PriceBand";
    case Check::Notional: return "Notional";
    case Check::Cash: return "Cash";
    case Check::Position: return "Position";
    case Check::SecurityOpenOrders: return "SecurityOpenOrders";
    case Check::OpenOrders: return "OpenOrders";
    case Check::OrderRate: return "OrderRate";
    case Check::CancelRate: return "CancelRate";
    case Check::DailyLoss: return "DailyLoss";
    }
    return "None";
}

int AccountBook::errorCode(Check check) {
    switch (check) {
    case Check::Volume:
    case Check::LotSize:
    case Check::MaxVolume: return ENUM_ErrorID_InvalidVolume;
    case Check::Price:
    case Check::LimitPrice:
    case Check::PriceBand: return ENUM_ErrorID_InvalidPrice;
    case Check::None: return 0;
    default: return ENUM_ErrorID_BrokerReject;
    }
}

int AccountBook::refuse(int orderID, Check check, char (&message)[sizeof(TQNMessageType)], const char *format,
                        ...) noexcept {
    if (orderID != kNoOrder) refused_->set(orderID);
    int n = std::snprintf(message, sizeof message, "Risk:%s: ", checkName(check));
    if (n < 0) n = 0;
    if (static_cast<std::size_t>(n) < sizeof message) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(message + n, sizeof message - static_cast<std::size_t>(n), format, args);
        va_end(args);
    }
    copyText(lastRefusal_, message);
    ++refusals_;
    return errorCode(check);
}

int AccountBook::checkOrder(const OrderCheck &c, char (&message)[sizeof(TQNMessageType)]) noexcept {
    const CQNOrderField &o = *c.order;
    const long long volume = o.OriginalVolume;
    const double price = o.OriginalPrice;
    char built[kKeySize];
    const char *key = c.securityKey;
    if (!key || key[0] == '\0') {
        securityKey(built, o.StandardID, o.ExchangeID);
        key = built;
    }

    // 1. The market, without the book's lock. A security the book has not seen yet is made
    //    first (under the lock, once).
    Security *s = findPublished(key);
    if (!s) {
        Guard guard(*this);
        s = &securities_[securityIndex(key)];
    }
    // A book that is given the security's snapshots has its prices; otherwise they are read from
    // the engine's store.
    SnapshotPrices market{};
    bool known = false;
    if (!s->marked.load(std::memory_order_acquire) &&
        (wantsLastPrice_.load(std::memory_order_relaxed) ||
         (wantsLimitPrices_.load(std::memory_order_relaxed) && !s->limitPricesKnown.load(std::memory_order_acquire)))) {
        const CQNMarketDataField *snapshot = s->snapshot.load(std::memory_order_acquire);
        known = readSnapshotPrices(c.md, key, &snapshot, market);
        if (known) s->snapshot.store(snapshot, std::memory_order_release);
    }

    // 2. Under the lock: the order, the account, and the admission.
    Guard guard(*this);
    const Limits &limits = limits_;
    if (halted_) return refuse(o.OrderID, Check::Halted, message, "new orders are stopped on this account");
    if (volume <= 0) return refuse(o.OrderID, Check::Volume, message, "%lld is not positive", volume);
    if (limits.maxOrderVolume > 0 && volume > limits.maxOrderVolume)
        return refuse(o.OrderID, Check::MaxVolume, message, "%lld above %d by %lld", volume, limits.maxOrderVolume,
                      volume - limits.maxOrderVolume);
    if (limits.lotSize > 0 && spendsCash(o) && volume % limits.lotSize != 0)
        return refuse(o.OrderID, Check::LotSize, message, "%lld not a multiple of %d (by %lld)", volume,
                      limits.lotSize, volume % limits.lotSize);
    if (!std::isfinite(price)) return refuse(o.OrderID, Check::Price, message, "%f is not a finite price", price);
    if (!(price > 0)) return refuse(o.OrderID, Check::Price, message, "%.2f is not positive", price);
    const double notional = static_cast<double>(volume) * price;
    if (limits.maxOrderNotional > 0 && notional > limits.maxOrderNotional)
        return refuse(o.OrderID, Check::Notional, message, "%.2f above %.2f by %.2f", notional,
                      limits.maxOrderNotional, notional - limits.maxOrderNotional);
    if (known && !s->limitPricesKnown.load(std::memory_order_relaxed) && market.upperLimitPrice > 0 &&
        market.lowerLimitPrice > 0) {
        // The day's limit prices hold all day: read once.
        s->upperLimitPrice = market.upperLimitPrice;
        s->lowerLimitPrice = market.lowerLimitPrice;
        s->limitPricesKnown.store(true, std::memory_order_release);
    }
    if (limits.withinLimitPrices && s->limitPricesKnown.load(std::memory_order_relaxed)) {
        if (price > s->upperLimitPrice + 1e-9)
            return refuse(o.OrderID, Check::LimitPrice, message, "%.2f above the upper limit %.2f by %.2f", price,
                          s->upperLimitPrice, price - s->upperLimitPrice);
        if (price < s->lowerLimitPrice - 1e-9)
            return refuse(o.OrderID, Check::LimitPrice, message, "%.2f below the lower limit %.2f by %.2f", price,
                          s->lowerLimitPrice, s->lowerLimitPrice - price);
    }
    const double last = s->marked.load(std::memory_order_relaxed) ? s->mark : (known ? market.lastPrice : 0);
    if (limits.priceBand > 0 && last > 0) {
        const double off = std::fabs(price - last) / last;
        if (off > limits.priceBand + 1e-9)
            return refuse(o.OrderID, Check::PriceBand, message, "%.2f is %.2f%% from last %.2f, band %.2f%% (by %.2f%%)",
                          price, off * 100, last, limits.priceBand * 100, (off - limits.priceBand) * 100);
    }
    if (!rateAllows(orderTimes_, orderHead_, orderCount_, limits.maxOrdersPerSecond, c.nowMicros))
        return refuse(o.OrderID, Check::OrderRate, message, "%d orders in the last second, limit %d",
                      limits.maxOrdersPerSecond, limits.maxOrdersPerSecond);
    if (limits.maxOpenOrdersPerSecurity > 0 && s->openOrders >= limits.maxOpenOrdersPerSecurity)
        return refuse(o.OrderID, Check::SecurityOpenOrders, message, "%s has %d open, limit %d", s->key,
                      s->openOrders, limits.maxOpenOrdersPerSecurity);
    if (limits.maxOpenOrders > 0 && openOrders_ >= limits.maxOpenOrders)
        return refuse(o.OrderID, Check::OpenOrders, message, "%d open, limit %d", openOrders_, limits.maxOpenOrders);
    if (limits.checkCash && spendsCash(o) && notional > c.useableCash + 1e-6)
        return refuse(o.OrderID, Check::Cash, message, "%.2f needed, %.2f usable, short by %.2f", notional,
                      c.useableCash, notional - c.useableCash);
    if (limits.checkPosition && needsShares(o)) {
        const long long sellable = s->sellable - s->frozen;
        if (volume > sellable)
            return refuse(o.OrderID, Check::Position, message, "sell %lld of %s, %lld sellable, short by %lld",
                          volume, s->key, sellable, volume - sellable);
    }
    if (limits.maxDailyLoss > 0 && spendsCash(o) && -pnl_ >= limits.maxDailyLoss)
        return refuse(o.OrderID, Check::DailyLoss, message, "loss %.2f reaches the limit %.2f (by %.2f)", -pnl_,
                      limits.maxDailyLoss, -pnl_ - limits.maxDailyLoss);

    // Let through: open, and holding what it may use, from now on.
    recordRate(orderTimes_, orderHead_, orderCount_, limits.maxOrdersPerSecond, c.nowMicros);
    admitted_->set(o.OrderID);
    ++s->openOrders;
    ++openOrders_;
    if (spendsCash(o)) frozenCash_ += notional;
    if (needsShares(o)) s->frozen += volume;
    ++activity_;
    return 0;
}

int AccountBook::checkCancel(int orderID, long long nowMicros) noexcept {
    (void)orderID;
    Guard guard(*this);
    // A halted account cancels everything it has, as fast as it can.
    if (halted_ || limits_.maxCancelsPerSecond <= 0) return 0;
    if (!rateAllows(cancelTimes_, cancelHead_, cancelCount_, limits_.maxCancelsPerSecond, nowMicros)) {
        char message[sizeof(TQNMessageType)];
        return refuse(kNoOrder, Check::CancelRate, message, "%d cancels in the last second, limit %d",
                      limits_.maxCancelsPerSecond, limits_.maxCancelsPerSecond);
    }
    recordRate(cancelTimes_, cancelHead_, cancelCount_, limits_.maxCancelsPerSecond, nowMicros);
    return 0;
}

void AccountBook::setLimits(const Limits &limits) {
    // The rings are made before the lock is taken: the order path never waits for an allocation.
    std::vector<long long> orders(static_cast<std::size_t>(limits.maxOrdersPerSecond > 0 ? limits.maxOrdersPerSecond : 0));
    std::vector<long long> cancels(
        static_cast<std::size_t>(limits.maxCancelsPerSecond > 0 ? limits.maxCancelsPerSecond : 0));
    Guard guard(*this);
    if (limits.maxOrdersPerSecond != limits_.maxOrdersPerSecond) {
        orderTimes_.swap(orders);
        orderHead_ = orderCount_ = 0;
    }
    if (limits.maxCancelsPerSecond != limits_.maxCancelsPerSecond) {
        cancelTimes_.swap(cancels);
        cancelHead_ = cancelCount_ = 0;
    }
    limits_ = limits;
    wantsLimitPrices_.store(limits.withinLimitPrices, std::memory_order_relaxed);
    wantsLastPrice_.store(limits.priceBand > 0, std::memory_order_relaxed);
}

Limits AccountBook::limits() const {
    Guard guard(*this);
    return limits_;
}

void AccountBook::setHalted(bool halted) {
    Guard guard(*this);
    halted_ = halted;
}

bool AccountBook::halted() const {
    Guard guard(*this);
    return halted_;
}

std::string AccountBook::lastRefusal() const {
    Guard guard(*this);
    return std::string(lastRefusal_);
}

std::uint64_t AccountBook::refusals() const {
    Guard guard(*this);
    return refusals_;
}

}  // namespace book
}  // namespace tc
