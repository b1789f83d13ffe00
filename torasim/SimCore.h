// Inside the simulated broker: the callback dispatcher of each API object, the connection
// ("link") an API object has to a broker, the broker's shared state, and the paper engine.
//
// Locking, outermost first: the registry lock, a broker's lock, a dispatcher's lock. Nothing
// takes an outer lock while holding an inner one, and no lock is held while a callback runs,
// so callbacks may call Req... (which takes the broker's lock) freely.
#ifndef TORASIM_SIMCORE_H
#define TORASIM_SIMCORE_H

#include "SimControl.h"
#include "SimText.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace torasim {
namespace detail {

using Clock = std::chrono::steady_clock;

// One thread that delivers queued callbacks in order. Items may be due later (late answers,
// reconnections); among items due at the same time, queueing order wins.
class Dispatcher {
public:
    using Fn = std::function<void(void* spi)>;

    Dispatcher();
    ~Dispatcher();
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    void start();
    void setSpi(void* spi);
    // Queues fn; returns its sequence number (0 when the dispatcher has stopped).
    std::uint64_t post(Fn fn, Millis delay = Millis(0));
    // Makes a queued item due now, behind everything already due.
    void promote(std::uint64_t seq);
    // Discards the items that are not due yet.
    void dropDelayed();
    std::uint64_t lastSeq() const;
    // Waits until no item numbered `upto` or lower is queued or running.
    bool waitDelivered(std::uint64_t upto, Clock::time_point deadline) const;
    bool onThread() const;
    // Stops the thread and discards what is queued. Joins it, except when called on the
    // dispatcher's own thread: then the thread finishes the running callback and ends by itself.
    void stop();
    // Blocks until the dispatcher has stopped.
    void waitStopped() const;

private:
    struct State;
    static void run(std::shared_ptr<State> s);
    std::shared_ptr<State> s_;
};

// One API object's connection to whichever broker serves its front address.
struct Link : std::enable_shared_from_this<Link> {
    explicit Link(Side side);
    ~Link();

    const int id;
    const Side side;
    Dispatcher dispatcher;

    // Attachment (guarded by mu).
    mutable std::mutex mu;
    std::vector<std::string> fronts;
    std::weak_ptr<Broker> broker;
    bool initialised = false;
    bool released = false;
    std::shared_ptr<Broker> currentBroker() const;

    // Connection state, guarded by the lock of the broker the link is attached to.
    bool attached = false;
    bool connected = false;
    bool loggedIn = false;
    int frontID = 0;
    int sessionID = 0;
    std::string userID;
    std::set<std::string> subscriptions;   // "<exchange char><security id>"; "<exch>*" = all
    std::uint64_t heldNotice = 0;          // a notification held back to be reordered
    // The private flow: where this connection stands in the broker's flow (the next entry it
    // has not been sent), whether it has stood anywhere yet (a first login), and the flow entry
    // of the held notification.
    std::uint64_t flowNext = 0;
    bool flowJoined = false;
    std::uint64_t heldFlowSeq = 0;
    std::atomic<int> privateResume{TORA_TERT_QUICK};  // how the private flow starts after login

    // Queues a typed callback.
    std::uint64_t postTrader(std::function<void(CTORATstpTraderSpi*)> fn, Millis delay = Millis(0));
    std::uint64_t postMd(std::function<void(CTORATstpMdSpi*)> fn, Millis delay = Millis(0));
};

// Paper-mode state and behaviour. Every method is called with the broker's lock held.
class Paper;

struct RequestPlan {
    bool dropAnswers = false;
    bool lateAnswers = false;
};

}  // namespace detail

struct Broker::Impl {
    Impl(Broker* self, const std::string& address, Mode mode);
    ~Impl();

    Broker* const self;
    std::weak_ptr<Broker> weakSelf;
    const std::string address;
    const Mode mode;

    mutable std::mutex mu;
    std::condition_variable requestCv;
    std::condition_variable connCv;
    bool autoAccept;
    bool closed = false;
    std::vector<std::shared_ptr<detail::Link>> links;
    // The connections shutdown() let go of: what they had queued (the disconnection among it)
    // is still delivered, and drain() waits for it.
    std::vector<std::weak_ptr<detail::Link>> released;

    bool logRequests = true;
    std::deque<Request> log;
    std::deque<bool> consumed;
    std::size_t logLimit = 100000;
    std::uint64_t nextSeq = 1;
    struct ReturnOverride {
        std::string type;
        int rc;
        int times;
    };
    std::vector<ReturnOverride> overrides;

    FaultConfig faultCfg;
    FaultCounters counters;
    detail::Rng faultRng;
    detail::RequestPlan plan;   // faults chosen for the request being handled

    std::unique_ptr<detail::Paper> paper;
    int nextSessionID = 1;

    // The private flow: every order and trade notification in the order the broker sent them.
    // flow.front() is entry flowBase. A connection that comes back after a disconnection is
    // sent what it missed; entries every connection has had are discarded.
    using TraderNotice = std::function<void(CTORATstpTraderSpi*)>;
    std::deque<TraderNotice> flow;
    std::uint64_t flowBase = 1;   // entry numbers start at 1: 0 means "not part of the flow"
    static constexpr std::size_t kFlowLimit = 200000;   // the oldest go beyond this many
    std::uint64_t flowEnd() const { return flowBase + flow.size(); }
    void trimFlow();

    // Market thread (paper mode with a snapshot rate).
    std::thread market;
    std::condition_variable marketCv;
    bool marketStop = false;
    void restartMarket();      // with mu NOT held
    void stopMarket();         // with mu NOT held
    void marketLoop();

    // --- links (registry and API objects) ---
    void attach(const std::shared_ptr<detail::Link>& link);
    void detach(detail::Link* link);
    // Removal: disconnects every connection, stops the market; returns the links it served.
    std::vector<std::shared_ptr<detail::Link>> shutdown();
    void connectLocked(detail::Link& link);
    void dropLocked(detail::Link& link, int reason, bool reconnect, Millis after);
    void scheduleReconnect(detail::Link& link, Millis after);

    // --- requests ---
    struct Incoming {
        const char* type;
        Side side;
        int requestID;
        const void* record;
        std::size_t size;
        std::vector<std::string> securities;
        char exchangeID = 0;
    };
    int onRequest(detail::Link& link, Incoming in);

    // --- emission helpers used by the paper engine (mu held) ---
    void answer(detail::Link& link, std::function<void(CTORATstpTraderSpi*)> fn);
    void answerMd(detail::Link& link, std::function<void(CTORATstpMdSpi*)> fn);
    // Order and trade notifications go to every logged-in trader connection (the private flow).
    void notice(std::function<void(CTORATstpTraderSpi*)> fn, detail::Link* only = nullptr);
    // `flowSeq`: the flow entry being sent (0: not part of the flow).
    void noticeOn(detail::Link& link, std::function<void(CTORATstpTraderSpi*)> fn, std::uint64_t flowSeq = 0);
    // At login: a connection that had joined the flow before is sent what it missed since; a
    // first login joins at the end of the flow (quick start).
    void joinFlow(detail::Link& link);
    void pushMarketData(const CTORATstpMarketDataField& md);
};

}  // namespace torasim

#endif  // TORASIM_SIMCORE_H
