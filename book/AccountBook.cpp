// The live book: positions, cash and orders from the engine's order events and the broker's
// query answers, and reconciliation of the two. The checks of the order gate are in RiskChecks.cpp.
#include "book/AccountBook.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "book/BookDetail.h"
#include "engine/Text.h"

namespace tc {
namespace book {

AccountBook::AccountBook()
    : keys_(std::make_unique<KeyTable>()), admitted_(std::make_unique<IdBits>()), refused_(std::make_unique<IdBits>()) {}

AccountBook::~AccountBook() = default;

// --- securities ------------------------------------------------------------------------------

AccountBook::Security *AccountBook::findSecurity(const char *key) const { return keys_->find(key); }

AccountBook::Security *AccountBook::findPublished(const char *key) const { return keys_->find(key); }

std::uint32_t AccountBook::securityIndex(const char *key) {
    if (const Security *s = keys_->find(key)) return s->index;
    securities_.emplace_back();
    Security &s = securities_.back();
    copyText(s.key, key);
    s.index = static_cast<std::uint32_t>(securities_.size() - 1);
    keys_->insert(&s);
    return s.index;
}

AccountBook::Security &AccountBook::security(const char *key) { return securities_[securityIndex(key)]; }

// The day's result of one security: what it holds at the mark, less what it held at the start
// at the previous close, plus what it sold, less what it bought. Without a mark the last trade
// price stands in, then the average cost; without a previous close the start is taken at the mark.
void AccountBook::repriceMark(Security &s) {
    double mark = s.mark;
    if (!(mark > 0)) mark = s.lastTradePrice;
    if (!(mark > 0)) mark = s.volume > 0 ? s.cost / static_cast<double>(s.volume) : 0;
    const double start = s.preClose > 0 ? s.preClose : mark;
    const double pnl = mark * static_cast<double>(s.volume) - start * static_cast<double>(s.startVolume) +
                       s.soldTurnover - s.boughtTurnover;
    pnl_ += pnl - s.pnl;
    s.pnl = pnl;
}

void AccountBook::applyTrade(Security &s, char direction, long long volume, double price) {
    const double turnover = static_cast<double>(volume) * price;
    if (direction == ENUM_Direction_Buy) {
        s.volume += volume;
        s.boughtVolume += volume;
        s.boughtTurnover += turnover;
        s.cost += turnover;
    } else if (direction == ENUM_Direction_Sell) {
        const double average = s.volume > 0 ? s.cost / static_cast<double>(s.volume) : price;
        s.realized += (price - average) * static_cast<double>(volume);
        s.volume -= volume;
        s.cost = s.volume > 0 ? s.cost - average * static_cast<double>(volume) : 0;
        s.sellable = std::max(0LL, s.sellable - volume);
        s.soldVolume += volume;
        s.soldTurnover += turnover;
    } else {
        return;
    }
    s.lastTradePrice = price;
    repriceMark(s);
}

void AccountBook::mark(const char *key, double lastPrice, double preClosePrice, double upperLimitPrice,
                       double lowerLimitPrice) {
    Guard guard(*this);
    Security &s = security(key);
    if (lastPrice > 0 && std::isfinite(lastPrice)) s.mark = lastPrice;
    if (preClosePrice > 0 && std::isfinite(preClosePrice)) s.preClose = preClosePrice;
    if (upperLimitPrice > 0 && lowerLimitPrice > 0 && std::isfinite(upperLimitPrice) && std::isfinite(lowerLimitPrice)) {
        s.upperLimitPrice = upperLimitPrice;
        s.lowerLimitPrice = lowerLimitPrice;
        s.limitPricesKnown.store(true, std::memory_order_release);
    }
    if (s.mark > 0) s.marked.store(true, std::memory_order_release);
    repriceMark(s);
}

// --- orders ----------------------------------------------------------------------------------

// What an order holds back: the volume that may still trade while it is open, and once it has
// finished the volume the broker reported traded whose trades have not arrived yet (a trade
// notification may come after the order's last notification).
long long heldVolume(const OrderState &o) {
    if (o.open) return std::max(0LL, static_cast<long long>(o.volume) - o.tradedByTrades);
    return std::max(0LL, static_cast<long long>(o.traded) - o.tradedByTrades);
}

void AccountBook::hold(Order &o, long long volume) {
    const long long delta = volume - o.held;
    if (delta == 0) return;
    o.held = volume;
    if (o.direction == ENUM_Direction_Buy) {
        frozenCash_ += static_cast<double>(delta) * o.price;
        if (std::fabs(frozenCash_) < 1e-6) frozenCash_ = 0;
    } else if (o.direction == ENUM_Direction_Sell) {
        securities_[o.security].frozen += delta;
    }
}

void AccountBook::setOpen(Order &o, bool open) {
    o.open = open;
    if (open == o.counted) return;
    o.counted = open;
    const int step = open ? 1 : -1;
    securities_[o.security].openOrders += step;
    openOrders_ += step;
}

AccountBook::Order *AccountBook::findOwn(int orderID) {
    auto it = own_.find(orderID);
    return it == own_.end() ? nullptr : &it->second;
}

// This run's order `orderID`, made on the book's first word of it. An order the gate let
// through was counted as open and holding its whole volume when it was checked.
AccountBook::Order &AccountBook::ownOrder(int orderID, const char *key, char direction, char offsetFlag, int volume,
                                          double price) {
    if (Order *found = findOwn(orderID)) return *found;
    Order &o = own_[orderID];
    o.security = securityIndex(key);
    o.orderRef = orderID;
    o.thisRun = true;
    o.direction = direction;
    o.offsetFlag = offsetFlag;
    o.volume = volume;
    o.price = price;
    if (admitted_->test(orderID)) {
        o.open = o.counted = true;
        o.held = volume;
    }
    return o;
}

void AccountBook::orderEvent(int eventID, const CQNOrderField &r) {
    char key[kKeySize];
    securityKey(key, r.StandardID, r.ExchangeID);
    Guard guard(*this);
    ++activity_;
    Order &o = ownOrder(r.OrderID, key, r.Direction, r.OffsetFlag, r.OriginalVolume, r.OriginalPrice);
    if (refused_->test(r.OrderID)) {
        // Refused by the gate: listed as the engine left it, never counted.
        o.status = r.OrderStatus;
        o.errorID = r.ErrorID;
        o.open = false;
        return;
    }
    o.frontID = r.FrontID;
    o.sessionID = r.SessionID;
    o.status = r.OrderStatus;
    o.traded = r.TradedVolume;
    o.canceled = r.CanceledVolume;
    o.errorID = r.ErrorID;
    if (o.insertTime[0] == '\0') copyField(o.insertTime, r.InsertTime);
    if (o.orderSysID[0] == '\0' && r.OrderSysID[0] != '\0') {
        copyField(o.orderSysID, r.OrderSysID);
        ownSysIDs_.insert(o.orderSysID);
    }
    if (eventID == ENUM_OrderEventID_UpdateCost && r.TradedVolumeChangeOfTurnover > 0) {
        const long long volume = r.TradedVolumeChangeOfTurnover;
        o.tradedByTrades += volume;
        o.turnover += r.TurnoverChange;
        applyTrade(securities_[o.security], o.direction, volume, r.LastTradedPrice);
    }
    switch (eventID) {
    case ENUM_OrderEventID_Accepted:
    case ENUM_OrderEventID_Traded:
    case ENUM_OrderEventID_Canceled:
    case ENUM_OrderEventID_Cached:
        // Written from the broker's figure on the notification just handled.
        available_ = r.UseableCash;
        break;
    default:
        break;
    }
    setOpen(o, !isFinal(o.status));
    hold(o, heldVolume(o));
}

void AccountBook::setSession(int frontID, int sessionID) {
    Guard guard(*this);
    frontID_ = frontID;
    sessionID_ = sessionID;
}

void AccountBook::queryOrder(const OrderAnswer &q) {
    const int ref = q.orderRef;
    const char status = q.status;
    const bool final = isFinal(status);
    char name[kKeySize];
    std::snprintf(name, sizeof name, "%d.%d.%d", q.frontID, q.sessionID, ref);
    Guard guard(*this);
    Order *own = findOwn(ref);
    const bool mine = own ? own->frontID == q.frontID && own->sessionID == q.sessionID
                          : q.frontID == frontID_ && q.sessionID == sessionID_ &&
                                (admitted_->test(ref) || refused_->test(ref));
    if (mine) {
        // This run's order: its events are the book's account of it; the broker's answer is
        // only compared with them, and taken where it says more.
        if (!own) own = &ownOrder(ref, q.key, q.direction, q.offsetFlag, q.volume, q.price);
        if (!settled()) return;
        if (isFinal(own->status) != final || (final && own->status != status)) {
            report(DifferenceKind::Order, name, "status", own->status, status);
            own->status = status;
        }
        if (own->traded != q.traded) {
            report(DifferenceKind::Order, name, "traded", own->traded, q.traded);
            own->traded = q.traded;
        }
        setOpen(*own, !isFinal(own->status));
        hold(*own, heldVolume(*own));
        return;
    }
    // An earlier run's order (or another client's on the same account): the order query is all
    // the book learns of it.
    auto found = earlier_.find(name);
    if (found == earlier_.end()) {
        found = earlier_.emplace(name, Order()).first;
        Order &o = found->second;
        o.security = securityIndex(q.key);
        o.orderRef = ref;
        o.frontID = q.frontID;
        o.sessionID = q.sessionID;
        o.direction = q.direction;
        o.offsetFlag = q.offsetFlag;
        o.volume = q.volume;
        o.price = q.price;
        copyField(o.insertTime, q.insertTime);
    }
    Order &o = found->second;
    if (o.orderSysID[0] == '\0') copyField(o.orderSysID, q.orderSysID);
    o.status = status;
    o.traded = q.traded;
    o.canceled = final ? std::max(0, o.volume - o.traded) : 0;
    o.turnover = q.turnover;
    // Its trades are not reported to this run: the order query's traded volume stands for them.
    o.tradedByTrades = o.traded;
    setOpen(o, !final);
    hold(o, heldVolume(o));
}

void AccountBook::queryTrade(const TradeAnswer &t) {
    Guard guard(*this);
    // This run's trades reach the book as order events.
    if (t.orderSysID[0] != '\0' && ownSysIDs_.count(t.orderSysID) != 0) return;
    if (!trades_.insert(t.tradeKey).second) return;
    Security &s = security(t.key);
    if (mode_ == Mode::Loading) {
        // The position answer holds it already; the day's turnover does not.
        const double turnover = static_cast<double>(t.volume) * t.price;
        if (t.direction == ENUM_Direction_Buy) {
            s.boughtVolume += t.volume;
            s.boughtTurnover += turnover;
        } else if (t.direction == ENUM_Direction_Sell) {
            s.soldVolume += t.volume;
            s.soldTurnover += turnover;
        }
        s.lastTradePrice = t.price;
        repriceMark(s);
        return;
    }
    applyTrade(s, t.direction, t.volume, t.price);
}

void AccountBook::queryPosition(const PositionAnswer &p) {
    Guard guard(*this);
    Security &s = security(p.key);
    s.seen = true;
    if (mode_ == Mode::Idle) return;  // nothing to compare it with safely
    if (mode_ == Mode::Reconciling) {
        if (!settled()) return;
        if (s.volume != p.volume) report(DifferenceKind::Position, p.key, "volume", s.volume, p.volume);
        if (s.sellable - s.frozen != p.available)
            report(DifferenceKind::Position, p.key, "sellable", s.sellable - s.frozen, p.available);
        if (s.frozen != p.frozen) report(DifferenceKind::Position, p.key, "frozen", s.frozen, p.frozen);
        if (s.volume == p.volume && s.sellable - s.frozen == p.available) return;
    } else {
        s.startVolume = p.startVolume;
    }
    s.volume = p.volume;
    // Sellable today counts what open sells hold: the book keeps that from the orders.
    s.sellable = p.available + p.frozen;
    s.cost = p.cost;
    repriceMark(s);
}

void AccountBook::positionsComplete() {
    Guard guard(*this);
    const bool compare = settled();
    for (Security &s : securities_) {
        if (compare && !s.seen && (s.volume != 0 || s.sellable != 0)) {
            report(DifferenceKind::Position, s.key, "volume", s.volume, 0);
            s.volume = s.sellable = 0;
            s.cost = 0;
            repriceMark(s);
        }
        s.seen = false;
    }
}

void AccountBook::queryAccount(double available, double frozen) {
    Guard guard(*this);
    if (settled()) {
        if (std::fabs(available_ - available) > cashTolerance_)
            report(DifferenceKind::Cash, "cash", "available", available_, available);
        if (std::fabs(frozenCash_ - frozen) > cashTolerance_)
            report(DifferenceKind::Cash, "cash", "frozen", frozenCash_, frozen);
    }
    available_ = available;
}

void AccountBook::setLoaded() {
    Guard guard(*this);
    if (mode_ == Mode::Loading) mode_ = Mode::Idle;
}

bool AccountBook::loaded() const {
    Guard guard(*this);
    return mode_ != Mode::Loading;
}

void AccountBook::beginReconcile() {
    Guard guard(*this);
    mode_ = Mode::Reconciling;
    roundStart_ = activity_;
}

bool AccountBook::endReconcile() {
    Guard guard(*this);
    const bool compared = settled();
    mode_ = Mode::Idle;
    return compared;
}

void AccountBook::report(DifferenceKind kind, const char *key, const char *field, double book, double broker) {
    Difference d{};
    d.kind = kind;
    copyText(d.key, key);
    copyText(d.field, field);
    d.book = book;
    d.broker = broker;
    differences_.push_back(d);
}

std::vector<Difference> AccountBook::takeDifferences() {
    Guard guard(*this);
    std::vector<Difference> out;
    out.swap(differences_);
    return out;
}

void AccountBook::setCashTolerance(double tolerance) {
    Guard guard(*this);
    cashTolerance_ = tolerance >= 0 ? tolerance : 0;
}

// --- reading ---------------------------------------------------------------------------------

namespace {

PositionView viewOf(const SecurityState &s) {
    PositionView v{};
    copyField(v.key, s.key);
    v.volume = s.volume;
    v.sellable = s.sellable;
    v.frozen = s.frozen;
    v.startVolume = s.startVolume;
    v.cost = s.cost;
    v.boughtVolume = s.boughtVolume;
    v.soldVolume = s.soldVolume;
    v.boughtTurnover = s.boughtTurnover;
    v.soldTurnover = s.soldTurnover;
    v.realized = s.realized;
    v.mark = s.mark;
    v.preClose = s.preClose;
    v.pnl = s.pnl;
    v.openOrders = s.openOrders;
    return v;
}

}  // namespace

bool AccountBook::position(const char *key, PositionView &out) const {
    Guard guard(*this);
    const Security *s = findSecurity(key);
    if (!s) return false;
    out = viewOf(*s);
    return true;
}

std::vector<PositionView> AccountBook::positions() const {
    Guard guard(*this);
    std::vector<PositionView> out;
    out.reserve(securities_.size());
    for (const Security &s : securities_) {
        if (s.volume != 0 || s.sellable != 0 || s.boughtVolume != 0 || s.soldVolume != 0 || s.openOrders != 0)
            out.push_back(viewOf(s));
    }
    return out;
}

CashView AccountBook::cash() const {
    Guard guard(*this);
    return CashView{available_, frozenCash_, pnl_};
}

int AccountBook::openOrders() const {
    Guard guard(*this);
    return openOrders_;
}

std::vector<OrderView> AccountBook::orders(bool openOnly) const {
    Guard guard(*this);
    std::vector<OrderView> out;
    auto add = [&](const Order &o) {
        if (openOnly && !o.open) return;
        OrderView v{};
        copyField(v.key, securities_[o.security].key);
        copyField(v.orderSysID, o.orderSysID);
        copyField(v.insertTime, o.insertTime);
        v.orderRef = o.orderRef;
        v.frontID = o.frontID;
        v.sessionID = o.sessionID;
        v.direction = o.direction;
        v.offsetFlag = o.offsetFlag;
        v.status = o.status;
        v.thisRun = o.thisRun;
        v.open = o.open;
        v.volume = o.volume;
        v.traded = o.traded;
        v.canceled = o.canceled;
        v.price = o.price;
        v.turnover = o.turnover;
        v.errorID = o.errorID;
        out.push_back(v);
    };
    for (const auto &entry : earlier_) add(entry.second);
    for (const auto &entry : own_) add(entry.second);
    // Earlier runs first, each run in the order it placed them.
    std::stable_sort(out.begin(), out.end(), [](const OrderView &a, const OrderView &b) {
        if (a.thisRun != b.thisRun) return !a.thisRun;
        if (a.sessionID != b.sessionID) return a.sessionID < b.sessionID;
        return a.orderRef < b.orderRef;
    });
    return out;
}

}  // namespace book
}  // namespace tc
