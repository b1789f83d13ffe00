// The simulated TORA broker's control surface.
//
// A Broker lives under a front address ("sim://paper", "sim://t1", ...). Any CTORATstpTraderApi /
// CTORATstpMdApi created by this library whose RegisterFront names that address connects to it;
// an address no broker serves never connects (OnFrontConnected is never called), like an
// unreachable front. An API object that registered an address before its broker existed connects
// as soon as the broker is created. An address starting with "sim://paper" that has no broker yet
// gets a paper broker with the default PaperConfig when an API object is initialised against it,
// so demos need no setup.
//
// Two modes:
//   Paper    — the broker behaves like a real front: it accepts connections, answers logins and
//              every query from its own state, keeps a five-level book per security, matches
//              orders, and pushes market data and order/trade notifications.
//   Scripted — nothing happens unless the test says so: connections wait for acceptConnection()
//              (unless setAutoAccept(true)), requests are only logged, and the test pushes every
//              answer and notification itself through post()/postMd() and the push helpers.
//
// Every request an API object receives is logged in both modes (requests(), waitForRequest()),
// unless the log is switched off (setRequestLog(false), for benchmarks).
// Callbacks reach the engine on one simulated SDK thread per API object, never on the caller's
// thread, in the order they were queued (faults may reorder them on purpose). drain() waits until
// everything queued so far has been delivered, so tests stay deterministic without sleeps.
//
// Release() of an API object leaves its broker and stops its SDK thread: called from any other
// thread it joins that thread, so no callback runs once it returns; called from inside one of the
// object's own callbacks it cannot join itself, so the thread finishes that callback and ends by
// itself, and nothing queued behind it is delivered.
//
// All Broker methods are thread-safe. Callbacks posted through post()/postMd() run on the SDK
// thread of each target connection; they must not call drain() (it would wait for itself).
#ifndef TORASIM_SIMCONTROL_H
#define TORASIM_SIMCONTROL_H

// The stand-in's API headers, by their place (SimSdk.h, written by the build): the tests of the
// current SDK generation see its headers, of the same names, beside these.
#include "SimSdk.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#  if defined(TORASIM_BUILDING)
#    define TORASIM_API __declspec(dllexport)
#  else
#    define TORASIM_API __declspec(dllimport)
#  endif
#else
#  define TORASIM_API __attribute__((visibility("default")))
#endif

namespace torasim {

enum class Mode { Paper, Scripted };

// Which kind of API object a connection or a request belongs to.
enum class Side { Trader, Md, Both };

using Millis = std::chrono::milliseconds;
constexpr Millis kDefaultWait{10000};

// Disconnect reasons as the SDK reports them (OnFrontDisconnected(nReason)).
constexpr int kReasonReadFailed = 0x1001;
constexpr int kReasonWriteFailed = 0x1002;
constexpr int kReasonHeartbeatTimeout = 0x2001;
constexpr int kReasonHeartbeatSendFailed = 0x2002;
constexpr int kReasonBadPacket = 0x2003;

// One request an API object received, in arrival order.
struct Request {
    std::uint64_t seq = 0;         // 1, 2, 3 ... per broker
    std::string type;              // the API method name: "ReqUserLogin", "ReqOrderInsert",
                                   // "SubscribeMarketData", "ReqGetConnectionInfo", ...
    Side side = Side::Trader;      // Trader or Md
    int connection = 0;            // id of the API object's connection (see ConnectionInfo)
    int requestID = 0;             // nRequestID (0 for md subscriptions)
    int returned = 0;              // what the Req... call returned to the engine
    std::vector<unsigned char> bytes;  // copy of the request record (empty where the record type is
                                       // only declared by the SDK headers, or for subscriptions)
    std::vector<std::string> securities;  // md (un)subscriptions: the security IDs
    char exchangeID = 0;                  // md (un)subscriptions: the exchange

    // The request record as T (a copy). T must be the record type of this request; a size
    // mismatch yields a zero-filled T.
    template <class T>
    T as() const
    {
        static_assert(std::is_trivially_copyable<T>::value, "TORA records are plain structs");
        T t;
        std::memset(static_cast<void*>(&t), 0, sizeof t);
        if (bytes.size() == sizeof(T)) std::memcpy(static_cast<void*>(&t), bytes.data(), sizeof t);
        return t;
    }
};

struct ConnectionInfo {
    int id = 0;
    Side side = Side::Trader;
    bool connected = false;  // OnFrontConnected queued and not dropped since
    bool loggedIn = false;   // paper mode: a login was answered successfully
    int frontID = 0;
    int sessionID = 0;
};

// ---------------------------------------------------------------------------------------------
// Paper-mode configuration

struct SecurityConfig {
    std::string securityID;          // "600000"
    char exchangeID = TORA_TSTP_EXD_SSE;
    std::string name;                // GB2312 bytes or ASCII; default: the security ID
    char securityType = 0;           // 0: derived from exchange (SH A shares / SZ main board)
    char productID = 0;              // 0: derived from exchange
    double preClosePrice = 10.0;
    double upperLimitPrice = 0;      // 0: preClose * 1.1 rounded to the tick
    double lowerLimitPrice = 0;      // 0: preClose * 0.9 rounded to the tick
    double priceTick = 0.01;
    int buyVolumeUnit = 100;         // buy volumes must be multiples of this
    int sellVolumeUnit = 1;          // sells may be odd lots
    int maxVolume = 1000000;         // per order
    double volatility = 0.0005;      // per tick, relative, of the synthetic price process
    long long levelVolume = 10000;   // typical volume per book level (synthetic book)
};

struct PositionConfig {
    std::string securityID;
    char exchangeID = TORA_TSTP_EXD_SSE;
    long long volume = 0;            // yesterday's holding, all of it sellable today
    double openCost = 0;             // total cost of the holding; 0: volume * preClose
};

struct PaperConfig {
    std::string tradingDay = "20240102";
    int frontID = 1;
    std::string userID = "sim";          // login account answered in UserID
    std::string password;                // empty: any password logs in
    std::string investorID = "11000001";
    std::string departmentID = "0001";
    std::string accountID = "11000001";  // the trading account (cash)
    std::string shareholderSSE = "A000000001";
    std::string shareholderSZSE = "0000000001";
    std::string pbuSSE = "13001";
    std::string pbuSZSE = "010000";
    double cash = 1e7;
    double commissionRate = 0;           // of turnover, both sides
    double minCommission = 0;            // per fill
    double stampTaxRate = 0;             // of sell turnover
    std::vector<SecurityConfig> securities;  // empty: a small default set (600000, 000001, ...)
    std::vector<PositionConfig> positions;
    std::uint64_t seed = 1;              // synthetic prices are reproducible per seed
    double snapshotsPerSecond = 2;       // market ticks (and pushes to subscribers); 0: only tick()
    std::string csvReplayPath;           // non-empty: books come from this file, row by row
    bool matchRestingOnTick = true;      // resting orders trade when a tick's book crosses them
    // Non-empty: the day's ledger (account, positions, orders, trades, cancels, transfers, the
    // numbering of orders and sessions, where prices stand) is written to this file after every
    // change, and a paper broker configured with a file holding the same tradingDay takes the day
    // up from it: a second process finds the first one's orders, trades and cash.
    std::string journalPath;
};

// One snapshot row for setBook()/CSV replay: five levels each side; price 0 = empty level.
struct BookLevels {
    double bidPrice[5] = {0, 0, 0, 0, 0};
    long long bidVolume[5] = {0, 0, 0, 0, 0};
    double askPrice[5] = {0, 0, 0, 0, 0};
    long long askVolume[5] = {0, 0, 0, 0, 0};
    double lastPrice = 0;                // 0: mid of best bid/ask
};

// ---------------------------------------------------------------------------------------------
// Faults (both modes). Probabilities are per eligible event, drawn from a generator seeded with
// `seed`, so a run is reproducible as long as the engine's request order is.

struct FaultConfig {
    std::uint64_t seed = 7;
    double refuseSend = 0;         // a Req.../Subscribe returns non-zero and does nothing
    int refuseCode = -1;           // the value returned by a refused send
    double dropAnswer = 0;         // an OnRsp... answer is never delivered
    double lateAnswer = 0;         // an OnRsp... answer arrives after lateMillis
    int lateMillis = 200;
    double errorAnswer = 0;        // an answer is replaced by an error answer (bIsLast = true)
    int errorAnswerID = 40;        // ErrorID used for error answers
    double duplicateNotice = 0;    // an OnRtnOrder/OnRtnTrade is delivered twice
    double reorderNotice = 0;      // an OnRtnOrder/OnRtnTrade swaps places with the next one
    double disconnect = 0;         // per request: the connection drops (then reconnects)
    int reconnectMillis = 50;      // delay before a dropped connection connects again
};

struct FaultCounters {
    std::uint64_t refusedSends = 0;
    std::uint64_t droppedAnswers = 0;
    std::uint64_t lateAnswers = 0;
    std::uint64_t errorAnswers = 0;
    std::uint64_t duplicatedNotices = 0;
    std::uint64_t reorderedNotices = 0;
    std::uint64_t disconnects = 0;
};

// ---------------------------------------------------------------------------------------------
// The broker's own books, for reconciliation.

struct LedgerOrder {
    std::string orderSysID;
    int frontID = 0;
    int sessionID = 0;
    int orderRef = 0;
    int requestID = 0;
    std::string investorID;
    std::string securityID;
    char exchangeID = 0;
    char direction = 0;
    char orderPriceType = 0;
    char timeCondition = 0;
    char volumeCondition = 0;
    double limitPrice = 0;
    int volume = 0;
    int tradedVolume = 0;
    int cancelledVolume = 0;
    double turnover = 0;
    char orderStatus = 0;          // TORA_TSTP_OST_...
    char submitStatus = 0;         // TORA_TSTP_OSS_...; InsertRejected for orders refused by the front
    int errorID = 0;               // why the front refused it (0 otherwise)
    std::string statusMsg;         // GB2312
    std::string insertTime;
    std::string cancelTime;
};

struct AccountState {
    double cash = 0;               // balance: initial + transfers - bought + sold - fees
    double available = 0;          // cash minus what open buy orders hold
    double frozen = 0;             // held by open buy orders
    double fees = 0;               // commission and tax paid today
};

struct PositionState {
    std::string securityID;
    char exchangeID = 0;
    long long historyVolume = 0;   // held at the start of the day (after transfers)
    long long todayBuy = 0;
    long long todaySell = 0;
    long long volume = 0;          // current holding
    long long available = 0;       // sellable now (not frozen by open sells, not bought today)
    long long frozen = 0;          // held by open sell orders
    double openCost = 0;
};

// ---------------------------------------------------------------------------------------------

class TORASIM_API Broker {
public:
    // Creates a broker under `address`, replacing (and disconnecting the connections of) any
    // broker already there. API objects waiting on that address connect to the new broker.
    static std::shared_ptr<Broker> create(const std::string& address, Mode mode = Mode::Scripted);
    static std::shared_ptr<Broker> find(const std::string& address);
    // Removes the broker: its connections get OnFrontDisconnected and never reconnect (until a
    // broker is created under the address again). Returns false if there was none.
    static bool remove(const std::string& address);
    // Removes every broker (test teardown).
    static void removeAll();

    virtual ~Broker();

    const std::string& address() const;
    Mode mode() const;

    // --- connections -----------------------------------------------------------------------
    // Paper: auto-accept is on. Scripted: off; pending connections wait for acceptConnection().
    void setAutoAccept(bool on);
    // Accepts every pending connection of `side`: each gets OnFrontConnected. Returns how many.
    int acceptConnection(Side side = Side::Both);
    // Drops every connected connection of `side`: OnFrontDisconnected(reason). Afterwards the
    // connection is pending again, as the SDK retries: with auto-accept it reconnects after
    // `reconnectAfter`, otherwise it waits for acceptConnection(). Returns how many dropped.
    int dropConnection(int reason = kReasonReadFailed, Side side = Side::Both,
                       Millis reconnectAfter = Millis(0));
    std::vector<ConnectionInfo> connections() const;
    // Waits until at least `count` connections of `side` exist (connected or pending).
    bool waitForConnections(int count, Side side = Side::Both, Millis timeout = kDefaultWait);

    // --- request log -----------------------------------------------------------------------
    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& type) const;
    std::size_t requestCount(const std::string& type = std::string()) const;
    // The earliest request of `type` ("" = any type) not yet returned by waitForRequest, waiting
    // up to `timeout` for one to arrive. Each request is returned at most once.
    std::optional<Request> waitForRequest(const std::string& type, Millis timeout = kDefaultWait);
    void clearRequests();
    // Keeps at most the newest `maxEntries` requests (100000 by default), so that long runs and
    // benchmarks do not grow the log without bound.
    void setRequestLogLimit(std::size_t maxEntries);
    // The request log is on by default. Off, requests are still received, numbered, counted by
    // requestsReceived(), refused by setNextReturn() and the faults, and answered in paper mode,
    // but no copy is kept: requests(), requestCount() and waitForRequest() do not see them. A
    // scripted broker with auto-accept and the log off accepts every request and does nothing else.
    void setRequestLog(bool on);
    bool requestLog() const;
    // Every request received since the broker was created, logged or not.
    std::uint64_t requestsReceived() const;

    // The next `times` Req... calls of `type` ("" = any) return `rc` instead of their normal
    // result; a non-zero rc means refused: the request has no effect (it is still logged).
    void setNextReturn(const std::string& type, int rc, int times = 1);

    // --- pushing callbacks -----------------------------------------------------------------
    // Queues fn to run on the SDK thread of every connected trader (md) connection, or only of
    // connection `connection` when it is non-zero. Returns how many connections it was queued for.
    int post(std::function<void(CTORATstpTraderSpi*)> fn, int connection = 0);
    int postMd(std::function<void(CTORATstpMdSpi*)> fn, int connection = 0);

    // Typed helpers over post()/postMd(); records are copied at the call.
    int pushRtnOrder(const CTORATstpOrderField& f, int connection = 0);
    int pushRtnTrade(const CTORATstpTradeField& f, int connection = 0);
    int pushErrRtnOrderInsert(const CTORATstpInputOrderField& f, int errorID, const std::string& msg,
                              int connection = 0);
    int pushErrRtnOrderAction(const CTORATstpOrderActionField& f, int errorID, const std::string& msg,
                              int connection = 0);
    int pushRtnMarketStatus(const CTORATstpMarketStatusField& f, int connection = 0);
    int pushRtnTradingNotice(const CTORATstpTradingNoticeField& f, int connection = 0);
    int pushRtnTransferFund(const CTORATstpTransferFundField& f, int connection = 0);
    int pushRtnTransferPosition(const CTORATstpTransferPositionField& f, int connection = 0);
    int pushRspError(int requestID, int errorID, const std::string& msg, int connection = 0);
    int pushRspUserLogin(const CTORATstpRspUserLoginField& f, int requestID, int errorID = 0,
                         const std::string& msg = std::string(), int connection = 0);
    int pushDepthMarketData(const CTORATstpMarketDataField& f, int connection = 0);
    int pushMdRspUserLogin(const CTORATstpRspUserLoginField& f, int requestID, int errorID = 0,
                           const std::string& msg = std::string(), int connection = 0);

    // Waits until every callback queued (on any of this broker's connections, and on those it let
    // go of when it was removed or replaced) before the call has been delivered and has returned.
    // Includes late answers already scheduled. False on timeout.
    bool drain(Millis timeout = kDefaultWait);

    // --- paper mode ------------------------------------------------------------------------
    // Replaces the paper state (accounts, securities, books, the day's orders) with `cfg`.
    // False when the CSV replay file cannot be read (the rest of `cfg` is applied anyway).
    bool setPaperConfig(const PaperConfig& cfg);
    PaperConfig paperConfig() const;
    // Changes the rate of market ticks (0 stops the market thread) without starting the day
    // afresh.
    void setSnapshotsPerSecond(double rate);
    // Advances the market by one tick now (synthetic step or next CSV row), matches resting
    // orders and pushes snapshots to subscribers. Works whatever snapshotsPerSecond is.
    void tick(int count = 1);
    // Sets the book of a security (until the next tick changes it), then matches resting orders
    // against it. Returns false for an unknown security.
    bool setBook(const std::string& securityID, const BookLevels& book);
    // The current snapshot of a security as the md front would push it.
    std::optional<CTORATstpMarketDataField> snapshot(const std::string& securityID) const;

    std::vector<LedgerOrder> orders() const;
    std::optional<LedgerOrder> order(const std::string& orderSysID) const;
    std::vector<CTORATstpTradeField> trades() const;
    AccountState account() const;
    std::vector<PositionState> positions() const;
    std::optional<PositionState> position(const std::string& securityID) const;
    std::string password() const;
    // The broker books cash and shares of its own, outside any order (a corporate action, a
    // correction): `cash` is added to the account, each position's `volume` (negative: taken)
    // to the holding as held since yesterday, `openCost` to its cost. A client learns of it only
    // from its queries.
    void adjust(double cash, const std::vector<PositionConfig>& positions);

    // --- faults ----------------------------------------------------------------------------
    void setFaults(const FaultConfig& cfg);
    FaultConfig faults() const;
    FaultCounters faultCounters() const;

    // Makes a CTORATstpRspInfoField (message copied as given, GB2312 or ASCII bytes).
    static CTORATstpRspInfoField rspInfo(int errorID, const std::string& msg);

    struct Impl;
    Impl* impl() const { return impl_.get(); }

    Broker(const std::string& address, Mode mode);  // use create()
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

private:
    std::unique_ptr<Impl> impl_;
};

// The version string GetApiVersion() reports.
TORASIM_API const char* version();

}  // namespace torasim

#endif  // TORASIM_SIMCONTROL_H
