// The live book of one account and its pre-trade risk checks.
//
// The book keeps what a strategy trades with: cash (usable, frozen by open buys), per security the
// position (total, sellable today under T+1, frozen by open sells, cost, today's bought and sold
// volume and turnover, the day's profit and loss against the marks it is given), and every order
// of the trading day, this run's and earlier runs' alike. It is fed from outside: the order events
// of the engine (orderEvent), the broker's query answers (queryOrder, queryTrade, queryPosition,
// queryAccount) and snapshot marks (mark). Reconciliation compares the broker's answers with the
// book and reports what differs (takeDifferences) before taking the broker's figures.
//
// As the engine's order gate (engine/OrderGate.h) it checks every order before it is sent and
// every cancel before that is sent: kill switch, volume (positive, lot size, maximum), price
// (finite, positive, inside the day's limit prices and a band around the last price when a
// snapshot is known), notional, cash, sellable position, open orders per security and in all,
// orders and cancels per second, and the daily loss. An order it lets through counts at once as
// open and freezes what it may use, so the next check sees it.
//
// Threads: checks run on whatever thread places the order (the GIL released), updates on the
// SDK's callback threads (inside the engine's order-event delivery, under the order's record
// lock) and reads on any thread. One spin lock guards everything; it is held for a few hundred
// nanoseconds at most and nothing else is waited for while it is held (snapshot prices are read
// before it is taken), so it stands last in the engine's lock order: record lock, cash lock,
// book lock.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/OrderGate.h"
#include "records/QNRecords.h"


namespace tc {
namespace book {

// Longest security key the book holds ("<code>.<exchange>").
constexpr std::size_t kKeySize = 48;

// The limits of one account. 0 switches a limit off; the volume, finite-price and positive-price
// checks are always on.
struct Limits {
    int maxOrderVolume = 0;           // per order
    int lotSize = 0;                  // buy volumes must be multiples of it (sells may be odd lots)
    double maxOrderNotional = 0;      // volume x price per order
    double priceBand = 0;             // largest distance from the last price, as a fraction (0.05: 5%)
    bool withinLimitPrices = true;    // inside the day's limit prices when a snapshot is known
    bool checkCash = true;            // a buy's volume x price within the usable cash
    bool checkPosition = true;        // a sell's volume within the sellable position
    int maxOpenOrdersPerSecurity = 0;
    int maxOpenOrders = 0;
    int maxOrdersPerSecond = 0;       // in any window of one second
    int maxCancelsPerSecond = 0;      // in any window of one second
    double maxDailyLoss = 0;          // buys stop once the day's loss reaches it
};

// Which check refused an order; its name starts the refusal text ("Risk:<name>: ...").
enum class Check {
    None,
    Halted,
    Volume,
    LotSize,
    MaxVolume,
    Price,
    LimitPrice,
    PriceBand,
    Notional,
    Cash,
    Position,
    SecurityOpenOrders,
    OpenOrders,
    OrderRate,
    CancelRate,
    DailyLoss,
};
const char *checkName(Check check);

struct PositionView {
    char key[kKeySize];
    long long volume;          // held now
    long long sellable;        // sellable today and not yet sold (frozen included): T+1
    long long frozen;          // held by open sell orders
    long long startVolume;     // held at the start of the day
    double cost;               // cost of what is held
    long long boughtVolume;    // today
    long long soldVolume;      // today
    double boughtTurnover;
    double soldTurnover;
    double realized;           // sells against the average cost
    double mark;               // last price known (0: none)
    double preClose;           // previous close known (0: none)
    double pnl;                // the day's profit and loss of the security
    int openOrders;
};

struct CashView {
    double available;          // the engine's usable cash as last reported
    double frozen;             // held by open buy orders
    double pnl;                // the day's profit and loss over every position
};

// One order of the trading day, with its state in the engine's codes (ENUM_OrderStatus_...).
struct OrderView {
    char key[kKeySize];
    char orderSysID[21];
    char insertTime[9];
    int orderRef;              // this run's OrderID, or the earlier run's order reference
    int frontID;
    int sessionID;
    char direction;
    char offsetFlag;
    char status;               // NUL until the broker's first word
    bool thisRun;              // placed by this engine (false: found by the order query)
    bool open;
    int volume;
    int traded;
    int canceled;
    double price;
    double turnover;
    int errorID;
};

// The broker's answers as the book reads them, whatever SDK build they came from
// (book/BrokerAnswers.h turns the SDK's records into these).
struct OrderAnswer {
    char key[kKeySize];        // the security
    int orderRef;              // the order reference (this engine's OrderID for its own orders)
    int frontID;
    int sessionID;
    char orderSysID[21];
    char insertTime[9];
    char direction;
    char offsetFlag;
    char status;               // in the engine's codes (ENUM_OrderStatus_...)
    int volume;
    int traded;
    double price;
    double turnover;
};

struct TradeAnswer {
    char key[kKeySize];        // the security
    char tradeKey[kKeySize];   // exchange "." TradeID: the trade's name at the broker
    char orderSysID[21];
    char direction;
    int volume;
    double price;
};

struct PositionAnswer {
    char key[kKeySize];
    long long volume;          // held now
    long long available;       // sellable now (what open sells hold not included)
    long long frozen;          // held by open sells
    long long startVolume;     // held at the start of the day
    double cost;
};

enum class DifferenceKind { Position, Cash, Order };

// What reconciliation found: the book said `book`, the broker says `broker`.
struct Difference {
    DifferenceKind kind;
    char key[kKeySize];        // the security, or the order ("front.session.ref"), or "cash"
    char field[24];            // "volume", "sellable", "frozen", "available", "status", "traded"
    double book;
    double broker;
};

// What the book keeps of one security.
struct SecurityState {
    char key[kKeySize] = {};  // written before the security is published, then never again
    std::uint32_t index = 0;  // its place among the book's securities
    std::uint64_t keyWords[2] = {0, 0};  // the key's first 16 bytes, as the security table compares them
    std::size_t keyLength = 0;
    // Read by the order gate without the book's lock: the engine's snapshot record once found,
    // and whether the day's limit prices (which do not change during the day) are known.
    std::atomic<const CQNMarketDataField *> snapshot{nullptr};
    std::atomic<bool> limitPricesKnown{false};
    // Whether the book is given the security's snapshots (mark): then the gate takes the last and
    // limit prices from the book and never reads the snapshot itself.
    std::atomic<bool> marked{false};
    double upperLimitPrice = 0;
    double lowerLimitPrice = 0;
    long long volume = 0;
    long long sellable = 0;
    long long frozen = 0;
    long long startVolume = 0;
    double cost = 0;
    long long boughtVolume = 0;
    long long soldVolume = 0;
    double boughtTurnover = 0;
    double soldTurnover = 0;
    double realized = 0;
    double mark = 0;
    double preClose = 0;
    double lastTradePrice = 0;
    double pnl = 0;
    int openOrders = 0;
    bool seen = false;  // listed by the position query under way
};

// What the book keeps of one order.
struct OrderState {
    std::uint32_t security = 0;  // index of its security
    char orderSysID[21] = {};
    char insertTime[9] = {};
    int orderRef = 0;
    int frontID = 0;
    int sessionID = 0;
    char direction = 0;
    char offsetFlag = 0;
    char status = 0;
    bool thisRun = false;
    bool open = false;
    bool counted = false;        // counted among the open orders
    int volume = 0;
    int traded = 0;              // as the order notifications (or the order query) say
    int canceled = 0;
    double price = 0;
    double turnover = 0;
    int errorID = 0;
    long long tradedByTrades = 0;  // volume of the trades counted into the position
    long long held = 0;            // volume whose cash (buy) or shares (sell) it holds back
};

class AccountBook final : public OrderGate {
public:
    AccountBook();
    ~AccountBook();
    AccountBook(const AccountBook &) = delete;
    AccountBook &operator=(const AccountBook &) = delete;

    // --- the gate --------------------------------------------------------------------------
    int checkOrder(const OrderCheck &check, char (&message)[sizeof(TQNMessageType)]) noexcept override;
    int checkCancel(int orderID, long long nowMicros) noexcept override;

    void setLimits(const Limits &limits);
    Limits limits() const;
    // Kill switch: while halted every new order is refused; cancels are never throttled then.
    void setHalted(bool halted);
    bool halted() const;
    // The text of the latest refusal (orders and cancels), and how many there were.
    std::string lastRefusal() const;
    // The engine error code a refusal by `check` carries.
    static int errorCode(Check check);
    std::uint64_t refusals() const;

    // --- feeding -----------------------------------------------------------------------------
    // One order event of this engine (ENUM_OrderEventID_...) with the order's record, read as
    // it is (the engine holds its lock during delivery).
    void orderEvent(int eventID, const CQNOrderField &order);
    // The engine's current session (the login answer): orders of other sessions in the order
    // query are earlier runs'.
    void setSession(int frontID, int sessionID);
    // Broker query answers, one record at a time (book/BrokerAnswers.h reads them from the SDK's
    // records). While reconciling, differences with the book are reported and the broker's
    // figures taken; otherwise they are taken as they are.
    void queryOrder(const OrderAnswer &order);
    void queryTrade(const TradeAnswer &trade);
    void queryPosition(const PositionAnswer &position);
    void queryAccount(double available, double frozen);
    // The end of a position query: positions the broker no longer lists are compared too.
    void positionsComplete();
    // The first answers of the day are in (orders, trades, positions, cash): from now on trades
    // the order query finds of earlier runs' orders move the positions they belong to.
    void setLoaded();
    bool loaded() const;
    // Starts a reconciliation round: the answers from now on are compared with the book. A round
    // during which the book changed (an order placed or an order event) compares nothing, since
    // the broker's answers and the book may each have seen part of the change; the next round does.
    void beginReconcile();
    // Ends it; false when the book changed meanwhile (nothing was compared).
    bool endReconcile();
    // A security's snapshot prices, as each snapshot of it arrives: the mark of the day's profit
    // and loss, and the last and limit prices of the gate's price checks.
    void mark(const char *key, double lastPrice, double preClosePrice, double upperLimitPrice = 0,
              double lowerLimitPrice = 0);

    // --- reading -----------------------------------------------------------------------------
    bool position(const char *key, PositionView &out) const;
    std::vector<PositionView> positions() const;
    CashView cash() const;
    std::vector<OrderView> orders(bool openOnly) const;
    std::vector<Difference> takeDifferences();
    int openOrders() const;

    // Tolerance of cash comparisons (fees the book does not know of).
    void setCashTolerance(double tolerance);

private:
    using Security = SecurityState;
    using Order = OrderState;
    class KeyTable;
    class IdBits;

    std::uint32_t securityIndex(const char *key);
    Security &security(const char *key);
    // The security of `key` without the book's lock (the order gate), or null when the book has
    // not seen it yet.
    Security *findPublished(const char *key) const;
    Security *findSecurity(const char *key) const;
    Order *findOwn(int orderID);
    void hold(Order &o, long long volume);
    void repriceMark(Security &s);
    void applyTrade(Security &s, char direction, long long volume, double price);
    Order &ownOrder(int orderID, const char *key, char direction, char offsetFlag, int volume, double price);
    void setOpen(Order &o, bool open);
    void report(DifferenceKind kind, const char *key, const char *field, double book, double broker);
    bool settled() const { return mode_ == Mode::Reconciling && activity_ == roundStart_; }
    // Writes "Risk:<check>: <detail>" into `message`, keeps it as the latest refusal and marks
    // order `orderID` refused (kNoOrder for a cancel); returns the error code of the check.
    // Called under the lock.
    static constexpr int kNoOrder = INT_MIN;
    int refuse(int orderID, Check check, char (&message)[sizeof(TQNMessageType)], const char *format, ...) noexcept
#if defined(__GNUC__)
        __attribute__((format(printf, 5, 6)))
#endif
        ;

    mutable std::atomic<std::uint32_t> lock_{0};
    struct Guard;

    Limits limits_;
    // What the gate needs of the limits before it takes the lock: whether to read the snapshot.
    std::atomic<bool> wantsLimitPrices_{true};
    std::atomic<bool> wantsLastPrice_{false};
    bool halted_ = false;
    std::vector<long long> orderTimes_;
    std::size_t orderHead_ = 0;
    std::size_t orderCount_ = 0;
    std::vector<long long> cancelTimes_;
    std::size_t cancelHead_ = 0;
    std::size_t cancelCount_ = 0;

    std::unique_ptr<KeyTable> keys_;
    std::deque<Security> securities_;
    // Orders the gate let through and orders it refused, by OrderID: one bit each, so that the
    // order path allocates (almost) nothing.
    std::unique_ptr<IdBits> admitted_;
    std::unique_ptr<IdBits> refused_;
    std::unordered_map<int, Order> own_;                 // this run's orders, by OrderID
    std::unordered_map<std::string, Order> earlier_;     // earlier runs': "front.session.ref"
    std::unordered_set<std::string> ownSysIDs_;          // OrderSysIDs of this run's orders
    std::unordered_set<std::string> trades_;             // "exchange.TradeID" counted
    int frontID_ = 0;
    int sessionID_ = 0;

    double available_ = 0;
    double frozenCash_ = 0;
    double pnl_ = 0;
    int openOrders_ = 0;
    double cashTolerance_ = 0.01;

    // Loading: the day's first answers are taken as they are. Idle: between rounds. Reconciling:
    // answers are compared with the book first.
    enum class Mode { Loading, Idle, Reconciling };
    Mode mode_ = Mode::Loading;
    std::uint64_t activity_ = 0;      // changes made by this run's orders
    std::uint64_t roundStart_ = 0;
    std::vector<Difference> differences_;
    char lastRefusal_[sizeof(TQNMessageType)] = {};
    std::uint64_t refusals_ = 0;
};

}  // namespace book
}  // namespace tc
