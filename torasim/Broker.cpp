// Brokers, the address registry, connections, the request log, pushes and faults.
#include "SimPaper.h"
#include "SimRegistry.h"

#include <algorithm>

namespace torasim {

using detail::Link;

namespace detail {

// --- Link ---------------------------------------------------------------------------------------

namespace {
std::atomic<int> gNextLinkID{1};
}

Link::Link(Side s) : id(gNextLinkID.fetch_add(1)), side(s) {}

Link::~Link() { dispatcher.stop(); }

std::shared_ptr<Broker> Link::currentBroker() const
{
    std::lock_guard<std::mutex> lk(mu);
    return broker.lock();
}

std::uint64_t Link::postTrader(std::function<void(CTORATstpTraderSpi*)> fn, Millis delay)
{
    return dispatcher.post(
        [fn = std::move(fn)](void* spi) {
            if (spi) fn(static_cast<CTORATstpTraderSpi*>(spi));
        },
        delay);
}

std::uint64_t Link::postMd(std::function<void(CTORATstpMdSpi*)> fn, Millis delay)
{
    return dispatcher.post(
        [fn = std::move(fn)](void* spi) {
            if (spi) fn(static_cast<CTORATstpMdSpi*>(spi));
        },
        delay);
}

// --- Registry -----------------------------------------------------------------------------------

Registry& Registry::instance()
{
    // Never destroyed: brokers and SDK threads may outlive static destruction at process exit.
    static Registry* r = new Registry;
    return *r;
}

void Registry::attachOrWait(const std::shared_ptr<Link>& link, bool allowPaperDefault)
{
    std::vector<std::string> fronts;
    {
        std::lock_guard<std::mutex> lk(link->mu);
        if (link->released) return;
        fronts = link->fronts;
    }
    std::shared_ptr<Broker> target;
    std::vector<std::shared_ptr<Broker>> created;
    {
        std::lock_guard<std::mutex> lk(mu_);
        for (const std::string& a : fronts) {
            auto it = brokers_.find(a);
            if (it != brokers_.end()) {
                target = it->second;
                break;
            }
        }
        if (!target && allowPaperDefault) {
            for (const std::string& a : fronts) {
                if (a.compare(0, 11, "sim://paper") != 0) continue;
                target = std::make_shared<Broker>(a, Mode::Paper);
                target->impl()->weakSelf = target;
                brokers_[a] = target;
                created.push_back(target);
                break;
            }
        }
        if (!target) {
            waiting_.push_back(link);
        } else {
            std::lock_guard<std::mutex> lk2(link->mu);
            if (link->released) return;
            link->broker = target;
        }
    }
    for (auto& b : created) b->impl()->restartMarket();
    if (target) target->impl()->attach(link);
}

void Registry::forget(Link* link)
{
    std::lock_guard<std::mutex> lk(mu_);
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [&](const std::weak_ptr<Link>& w) {
                                      auto l = w.lock();
                                      return !l || l.get() == link;
                                  }),
                   waiting_.end());
}

std::shared_ptr<Broker> Registry::find(const std::string& address)
{
    std::lock_guard<std::mutex> lk(mu_);
    auto it = brokers_.find(address);
    return it == brokers_.end() ? nullptr : it->second;
}

std::shared_ptr<Broker> Registry::put(const std::string& address, std::shared_ptr<Broker> b)
{
    std::shared_ptr<Broker> old;
    {
        std::lock_guard<std::mutex> lk(mu_);
        auto it = brokers_.find(address);
        if (it != brokers_.end()) old = it->second;
        if (b)
            brokers_[address] = b;
        else if (it != brokers_.end())
            brokers_.erase(it);
    }
    return old;
}

std::vector<std::shared_ptr<Broker>> Registry::takeAll()
{
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::shared_ptr<Broker>> v;
    for (auto& kv : brokers_) v.push_back(kv.second);
    brokers_.clear();
    return v;
}

std::vector<std::shared_ptr<Link>> Registry::takeWaiting(const std::string& address)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::shared_ptr<Link>> out;
    std::vector<std::weak_ptr<Link>> keep;
    for (auto& w : waiting_) {
        auto l = w.lock();
        if (!l) continue;
        bool match = false;
        {
            std::lock_guard<std::mutex> lk2(l->mu);
            match = std::find(l->fronts.begin(), l->fronts.end(), address) != l->fronts.end();
        }
        if (match)
            out.push_back(l);
        else
            keep.push_back(w);
    }
    waiting_.swap(keep);
    return out;
}

}  // namespace detail

// --- Broker::Impl ---------------------------------------------------------------------------------

Broker::Impl::Impl(Broker* s, const std::string& a, Mode m)
    : self(s), address(a), mode(m), autoAccept(m == Mode::Paper), faultRng(7),
      paper(new detail::Paper(*this))
{
}

Broker::Impl::~Impl() { stopMarket(); }

void Broker::Impl::restartMarket()
{
    stopMarket();
    std::lock_guard<std::mutex> lk(mu);
    if (closed || mode != Mode::Paper || !(paper->config().snapshotsPerSecond > 0)) return;
    marketStop = false;
    market = std::thread(&Impl::marketLoop, this);
}

void Broker::Impl::stopMarket()
{
    std::thread t;
    {
        std::lock_guard<std::mutex> lk(mu);
        marketStop = true;
        marketCv.notify_all();
        t = std::move(market);
    }
    if (t.joinable()) t.join();
}

void Broker::Impl::marketLoop()
{
    std::unique_lock<std::mutex> lk(mu);
    auto next = detail::Clock::now();
    while (!marketStop) {
        double rate = paper->config().snapshotsPerSecond;
        if (!(rate > 0)) break;
        next += std::chrono::microseconds(static_cast<long long>(1e6 / rate));
        auto now = detail::Clock::now();
        if (next < now) next = now;   // never try to catch up on missed ticks
        if (marketCv.wait_until(lk, next, [&] { return marketStop; })) break;
        paper->tick();
    }
}

void Broker::Impl::attach(const std::shared_ptr<Link>& link)
{
    std::lock_guard<std::mutex> lk(mu);
    if (closed) return;
    if (std::find(links.begin(), links.end(), link) == links.end()) links.push_back(link);
    link->attached = true;
    link->connected = false;
    link->loggedIn = false;
    link->subscriptions.clear();
    link->heldNotice = 0;
    link->heldFlowSeq = 0;
    link->flowJoined = false;   // this broker's flow is new to the connection
    link->flowNext = 0;
    if (autoAccept) connectLocked(*link);
    connCv.notify_all();
}

void Broker::Impl::detach(Link* link)
{
    std::lock_guard<std::mutex> lk(mu);
    link->attached = false;
    link->connected = false;
    link->loggedIn = false;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [&](const std::shared_ptr<Link>& l) { return l.get() == link; }),
                links.end());
    connCv.notify_all();
}

std::vector<std::shared_ptr<Link>> Broker::Impl::shutdown()
{
    std::vector<std::shared_ptr<Link>> out;
    {
        std::lock_guard<std::mutex> lk(mu);
        closed = true;
        for (auto& l : links) {
            dropLocked(*l, kReasonReadFailed, false, Millis(0));
            l->attached = false;
        }
        out.swap(links);
        released.assign(out.begin(), out.end());
        connCv.notify_all();
    }
    for (auto& l : out) {
        std::lock_guard<std::mutex> lk(l->mu);
        l->broker.reset();
    }
    stopMarket();
    return out;
}

void Broker::Impl::connectLocked(Link& link)
{
    link.connected = true;
    link.loggedIn = false;
    link.subscriptions.clear();
    if (link.side == Side::Md)
        link.postMd([](CTORATstpMdSpi* s) { s->OnFrontConnected(); });
    else
        link.postTrader([](CTORATstpTraderSpi* s) { s->OnFrontConnected(); });
    connCv.notify_all();
}

void Broker::Impl::dropLocked(Link& link, int reason, bool reconnect, Millis after)
{
    if (!link.connected) return;
    link.connected = false;
    link.loggedIn = false;
    link.subscriptions.clear();
    // A held notification is lost with the connection: it is sent again when the connection
    // comes back, with what followed it.
    if (link.heldNotice && link.heldFlowSeq) link.flowNext = std::min(link.flowNext, link.heldFlowSeq);
    link.heldNotice = 0;
    link.heldFlowSeq = 0;
    link.dispatcher.dropDelayed();   // answers still in flight are lost with the connection
    if (link.side == Side::Md)
        link.postMd([reason](CTORATstpMdSpi* s) { s->OnFrontDisconnected(reason); });
    else
        link.postTrader([reason](CTORATstpTraderSpi* s) { s->OnFrontDisconnected(reason); });
    if (reconnect) scheduleReconnect(link, after);
    connCv.notify_all();
}

void Broker::Impl::scheduleReconnect(Link& link, Millis after)
{
    std::weak_ptr<Broker> wb = weakSelf;
    std::weak_ptr<Link> wl = link.shared_from_this();
    Side side = link.side;
    // Runs on the link's own thread: marks the connection up and says so in the same step, so
    // that drain() covers the reconnection.
    link.dispatcher.post(
        [wb, wl, side](void* spi) {
            auto b = wb.lock();
            auto l = wl.lock();
            if (!b || !l) return;
            Impl* im = b->impl();
            {
                std::lock_guard<std::mutex> lk(im->mu);
                if (im->closed || !l->attached || l->connected) return;
                l->connected = true;
                l->loggedIn = false;
                l->subscriptions.clear();
                im->connCv.notify_all();
            }
            if (!spi) return;
            if (side == Side::Md)
                static_cast<CTORATstpMdSpi*>(spi)->OnFrontConnected();
            else
                static_cast<CTORATstpTraderSpi*>(spi)->OnFrontConnected();
        },
        after);
}

int Broker::Impl::onRequest(Link& link, Incoming in)
{
    std::unique_lock<std::mutex> lk(mu);
    if (closed || !link.attached) return -1;
    Request r;
    r.seq = nextSeq++;
    // The request as a record: for the log, and for the paper engine, which answers from it.
    if (logRequests || mode == Mode::Paper) {
        r.type = in.type;
        r.side = in.side;
        r.connection = link.id;
        r.requestID = in.requestID;
        if (in.record && in.size) {
            const unsigned char* p = static_cast<const unsigned char*>(in.record);
            r.bytes.assign(p, p + in.size);
        }
        r.securities = std::move(in.securities);
        r.exchangeID = in.exchangeID;
    }

    int rc = 0;
    bool overridden = false;
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
        if (!it->type.empty() && it->type != in.type) continue;
        rc = it->rc;
        if (--it->times <= 0) overrides.erase(it);
        overridden = true;
        break;
    }
    if (!overridden) {
        if (!link.connected) {
            rc = -1;   // the SDK refuses to send without a connection
        } else if (faultRng.chance(faultCfg.refuseSend)) {
            rc = faultCfg.refuseCode;
            ++counters.refusedSends;
        }
    }
    r.returned = rc;
    if (logRequests) {
        log.push_back(r);
        consumed.push_back(false);
        while (log.size() > logLimit) {
            log.pop_front();
            consumed.pop_front();
        }
        requestCv.notify_all();
    }
    if (rc != 0 || !link.connected) return rc;

    if (mode == Mode::Paper) {
        plan = detail::RequestPlan();
        if (faultRng.chance(faultCfg.dropAnswer)) {
            plan.dropAnswers = true;
            ++counters.droppedAnswers;
        } else if (faultRng.chance(faultCfg.lateAnswer)) {
            plan.lateAnswers = true;
            ++counters.lateAnswers;
        }
        if (faultRng.chance(faultCfg.errorAnswer)) {
            ++counters.errorAnswers;
            paper->reject(link, r, faultCfg.errorAnswerID, detail::kMsgSimulatedError);
        } else {
            paper->handle(link, r);
        }
        plan = detail::RequestPlan();
    }
    if (faultRng.chance(faultCfg.disconnect)) {
        ++counters.disconnects;
        dropLocked(link, kReasonHeartbeatTimeout, true, Millis(faultCfg.reconnectMillis));
    }
    return rc;
}

void Broker::Impl::answer(Link& link, std::function<void(CTORATstpTraderSpi*)> fn)
{
    if (plan.dropAnswers) return;
    link.postTrader(std::move(fn), plan.lateAnswers ? Millis(faultCfg.lateMillis) : Millis(0));
}

void Broker::Impl::answerMd(Link& link, std::function<void(CTORATstpMdSpi*)> fn)
{
    if (plan.dropAnswers) return;
    link.postMd(std::move(fn), plan.lateAnswers ? Millis(faultCfg.lateMillis) : Millis(0));
}

void Broker::Impl::notice(std::function<void(CTORATstpTraderSpi*)> fn, Link* only)
{
    std::uint64_t seq = 0;
    if (!only) {
        seq = flowEnd();
        flow.push_back(fn);
    }
    for (auto& l : links) {
        if (l->side != Side::Trader || !l->connected || !l->loggedIn) continue;
        if (only && l.get() != only) continue;
        noticeOn(*l, fn, seq);
        if (seq) l->flowNext = seq + 1;
    }
    if (seq) trimFlow();
}

void Broker::Impl::noticeOn(Link& link, std::function<void(CTORATstpTraderSpi*)> fn, std::uint64_t flowSeq)
{
    if (faultRng.chance(faultCfg.duplicateNotice)) {
        ++counters.duplicatedNotices;
        link.postTrader(fn);
    }
    std::uint64_t held = link.heldNotice;
    if (!held && faultRng.chance(faultCfg.reorderNotice)) {
        // Held back until the next notification has gone out (or lateMillis at the latest).
        ++counters.reorderedNotices;
        link.heldNotice = link.postTrader(std::move(fn), Millis(faultCfg.lateMillis));
        link.heldFlowSeq = flowSeq;
        return;
    }
    link.postTrader(std::move(fn));
    if (held) {
        link.dispatcher.promote(held);
        link.heldNotice = 0;
        link.heldFlowSeq = 0;
    }
}

void Broker::Impl::joinFlow(Link& link)
{
    if (!link.flowJoined) {
        link.flowJoined = true;
        link.flowNext = flowEnd();
        return;
    }
    const std::uint64_t end = flowEnd();
    for (std::uint64_t seq = std::max(link.flowNext, flowBase); seq < end; ++seq) {
        noticeOn(link, flow[static_cast<std::size_t>(seq - flowBase)], seq);
    }
    link.flowNext = end;
}

void Broker::Impl::trimFlow()
{
    if (flow.size() < 1024) return;
    // Keep what a connection that has joined, and may still come back, has not been sent.
    std::uint64_t keepFrom = flowEnd();
    for (auto& l : links) {
        if (l->side == Side::Trader && l->attached && l->flowJoined) keepFrom = std::min(keepFrom, l->flowNext);
    }
    if (flow.size() > kFlowLimit) keepFrom = std::max(keepFrom, flowEnd() - kFlowLimit);
    while (flowBase < keepFrom && !flow.empty()) {
        flow.pop_front();
        ++flowBase;
    }
}

void Broker::Impl::pushMarketData(const CTORATstpMarketDataField& md)
{
    std::string one = std::string(1, md.ExchangeID) + md.SecurityID;
    std::string all = std::string(1, md.ExchangeID) + "*";
    for (auto& l : links) {
        if (l->side != Side::Md || !l->connected || !l->loggedIn) continue;
        if (!l->subscriptions.count(one) && !l->subscriptions.count(all)) continue;
        CTORATstpMarketDataField copy = md;
        l->postMd([copy](CTORATstpMdSpi* s) mutable { s->OnRtnDepthMarketData(&copy); });
    }
}

// --- Broker ---------------------------------------------------------------------------------------

Broker::Broker(const std::string& address, Mode mode) : impl_(new Impl(this, address, mode)) {}

Broker::~Broker() = default;

namespace {

void settle(const std::string& address, const std::shared_ptr<Broker>& fresh,
            std::vector<std::shared_ptr<Link>> moved)
{
    auto& reg = detail::Registry::instance();
    if (fresh) {
        auto waiting = reg.takeWaiting(address);
        moved.insert(moved.end(), waiting.begin(), waiting.end());
    }
    for (auto& l : moved) reg.attachOrWait(l, false);
}

}  // namespace

std::shared_ptr<Broker> Broker::create(const std::string& address, Mode mode)
{
    auto b = std::make_shared<Broker>(address, mode);
    b->impl_->weakSelf = b;
    auto& reg = detail::Registry::instance();
    std::shared_ptr<Broker> old = reg.put(address, b);
    std::vector<std::shared_ptr<Link>> moved;
    if (old) moved = old->impl_->shutdown();
    b->impl_->restartMarket();
    settle(address, b, std::move(moved));
    return b;
}

std::shared_ptr<Broker> Broker::find(const std::string& address)
{
    return detail::Registry::instance().find(address);
}

bool Broker::remove(const std::string& address)
{
    auto& reg = detail::Registry::instance();
    std::shared_ptr<Broker> old = reg.put(address, nullptr);
    if (!old) return false;
    settle(address, nullptr, old->impl_->shutdown());
    return true;
}

void Broker::removeAll()
{
    auto& reg = detail::Registry::instance();
    for (auto& b : reg.takeAll()) settle(b->address(), nullptr, b->impl_->shutdown());
}

const std::string& Broker::address() const { return impl_->address; }
Mode Broker::mode() const { return impl_->mode; }

void Broker::setAutoAccept(bool on)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->autoAccept = on;
}

int Broker::acceptConnection(Side side)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    int n = 0;
    for (auto& l : impl_->links) {
        if (l->connected || (side != Side::Both && l->side != side)) continue;
        // A pending reconnection is superseded by this acceptance.
        l->dispatcher.dropDelayed();
        impl_->connectLocked(*l);
        ++n;
    }
    return n;
}

int Broker::dropConnection(int reason, Side side, Millis reconnectAfter)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    int n = 0;
    for (auto& l : impl_->links) {
        if (!l->connected || (side != Side::Both && l->side != side)) continue;
        impl_->dropLocked(*l, reason, impl_->autoAccept, reconnectAfter);
        ++n;
    }
    return n;
}

std::vector<ConnectionInfo> Broker::connections() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    std::vector<ConnectionInfo> v;
    for (auto& l : impl_->links) {
        ConnectionInfo c;
        c.id = l->id;
        c.side = l->side;
        c.connected = l->connected;
        c.loggedIn = l->loggedIn;
        c.frontID = l->frontID;
        c.sessionID = l->sessionID;
        v.push_back(c);
    }
    return v;
}

bool Broker::waitForConnections(int count, Side side, Millis timeout)
{
    std::unique_lock<std::mutex> lk(impl_->mu);
    return impl_->connCv.wait_for(lk, timeout, [&] {
        int n = 0;
        for (auto& l : impl_->links)
            if (side == Side::Both || l->side == side) ++n;
        return n >= count;
    });
}

std::vector<Request> Broker::requests() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return std::vector<Request>(impl_->log.begin(), impl_->log.end());
}

std::vector<Request> Broker::requests(const std::string& type) const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    std::vector<Request> v;
    for (const auto& r : impl_->log)
        if (r.type == type) v.push_back(r);
    return v;
}

std::size_t Broker::requestCount(const std::string& type) const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (type.empty()) return impl_->log.size();
    std::size_t n = 0;
    for (const auto& r : impl_->log)
        if (r.type == type) ++n;
    return n;
}

std::optional<Request> Broker::waitForRequest(const std::string& type, Millis timeout)
{
    std::unique_lock<std::mutex> lk(impl_->mu);
    std::size_t found = 0;
    bool ok = impl_->requestCv.wait_for(lk, timeout, [&] {
        for (std::size_t i = 0; i < impl_->log.size(); ++i) {
            if (impl_->consumed[i]) continue;
            if (!type.empty() && impl_->log[i].type != type) continue;
            found = i;
            return true;
        }
        return false;
    });
    if (!ok) return std::nullopt;
    impl_->consumed[found] = true;
    return impl_->log[found];
}

void Broker::clearRequests()
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->log.clear();
    impl_->consumed.clear();
}

void Broker::setRequestLogLimit(std::size_t maxEntries)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->logLimit = maxEntries;
    while (impl_->log.size() > maxEntries) {
        impl_->log.pop_front();
        impl_->consumed.pop_front();
    }
}

void Broker::setRequestLog(bool on)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->logRequests = on;
}

bool Broker::requestLog() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->logRequests;
}

std::uint64_t Broker::requestsReceived() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->nextSeq - 1;
}

void Broker::setNextReturn(const std::string& type, int rc, int times)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (times <= 0) return;
    impl_->overrides.push_back({type, rc, times});
}

int Broker::post(std::function<void(CTORATstpTraderSpi*)> fn, int connection)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    int n = 0;
    for (auto& l : impl_->links) {
        if (l->side != Side::Trader) continue;
        if (connection ? l->id != connection : !l->connected) continue;
        l->postTrader(fn);
        ++n;
    }
    return n;
}

int Broker::postMd(std::function<void(CTORATstpMdSpi*)> fn, int connection)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    int n = 0;
    for (auto& l : impl_->links) {
        if (l->side != Side::Md) continue;
        if (connection ? l->id != connection : !l->connected) continue;
        l->postMd(fn);
        ++n;
    }
    return n;
}

namespace {

// Order and trade notifications pushed by a test go through the notification faults too.
int pushNotice(Broker::Impl& im, std::function<void(CTORATstpTraderSpi*)> fn, int connection)
{
    std::lock_guard<std::mutex> lk(im.mu);
    int n = 0;
    for (auto& l : im.links) {
        if (l->side != Side::Trader) continue;
        if (connection ? l->id != connection : !l->connected) continue;
        im.noticeOn(*l, fn);
        ++n;
    }
    return n;
}

}  // namespace

int Broker::pushRtnOrder(const CTORATstpOrderField& f, int connection)
{
    CTORATstpOrderField c = f;
    return pushNotice(*impl_, [c](CTORATstpTraderSpi* s) mutable { s->OnRtnOrder(&c); }, connection);
}

int Broker::pushRtnTrade(const CTORATstpTradeField& f, int connection)
{
    CTORATstpTradeField c = f;
    return pushNotice(*impl_, [c](CTORATstpTraderSpi* s) mutable { s->OnRtnTrade(&c); }, connection);
}

int Broker::pushErrRtnOrderInsert(const CTORATstpInputOrderField& f, int errorID, const std::string& msg,
                                  int connection)
{
    CTORATstpInputOrderField c = f;
    CTORATstpRspInfoField i = rspInfo(errorID, msg);
    return post([c, i](CTORATstpTraderSpi* s) mutable { s->OnErrRtnOrderInsert(&c, &i); }, connection);
}

int Broker::pushErrRtnOrderAction(const CTORATstpOrderActionField& f, int errorID, const std::string& msg,
                                  int connection)
{
    CTORATstpOrderActionField c = f;
    CTORATstpRspInfoField i = rspInfo(errorID, msg);
    return post([c, i](CTORATstpTraderSpi* s) mutable { s->OnErrRtnOrderAction(&c, &i); }, connection);
}

int Broker::pushRtnMarketStatus(const CTORATstpMarketStatusField& f, int connection)
{
    CTORATstpMarketStatusField c = f;
    return post([c](CTORATstpTraderSpi* s) mutable { s->OnRtnMarketStatus(&c); }, connection);
}

int Broker::pushRtnTradingNotice(const CTORATstpTradingNoticeField& f, int connection)
{
    CTORATstpTradingNoticeField c = f;
    return post([c](CTORATstpTraderSpi* s) mutable { s->OnRtnTradingNotice(&c); }, connection);
}

int Broker::pushRtnTransferFund(const CTORATstpTransferFundField& f, int connection)
{
    CTORATstpTransferFundField c = f;
    return post([c](CTORATstpTraderSpi* s) mutable { s->OnRtnTransferFund(&c); }, connection);
}

int Broker::pushRtnTransferPosition(const CTORATstpTransferPositionField& f, int connection)
{
    CTORATstpTransferPositionField c = f;
    return post([c](CTORATstpTraderSpi* s) mutable { s->OnRtnTransferPosition(&c); }, connection);
}

int Broker::pushRspError(int requestID, int errorID, const std::string& msg, int connection)
{
    CTORATstpRspInfoField i = rspInfo(errorID, msg);
    return post([i, requestID](CTORATstpTraderSpi* s) mutable { s->OnRspError(&i, requestID, true); }, connection);
}

int Broker::pushRspUserLogin(const CTORATstpRspUserLoginField& f, int requestID, int errorID,
                             const std::string& msg, int connection)
{
    CTORATstpRspUserLoginField c = f;
    CTORATstpRspInfoField i = rspInfo(errorID, msg);
    return post([c, i, requestID](CTORATstpTraderSpi* s) mutable { s->OnRspUserLogin(&c, &i, requestID, true); },
                connection);
}

int Broker::pushDepthMarketData(const CTORATstpMarketDataField& f, int connection)
{
    CTORATstpMarketDataField c = f;
    return postMd([c](CTORATstpMdSpi* s) mutable { s->OnRtnDepthMarketData(&c); }, connection);
}

int Broker::pushMdRspUserLogin(const CTORATstpRspUserLoginField& f, int requestID, int errorID,
                               const std::string& msg, int connection)
{
    CTORATstpRspUserLoginField c = f;
    CTORATstpRspInfoField i = rspInfo(errorID, msg);
    return postMd([c, i, requestID](CTORATstpMdSpi* s) mutable { s->OnRspUserLogin(&c, &i, requestID, true); },
                  connection);
}

bool Broker::drain(Millis timeout)
{
    auto deadline = detail::Clock::now() + timeout;
    std::vector<std::shared_ptr<Link>> ls;
    {
        std::lock_guard<std::mutex> lk(impl_->mu);
        ls = impl_->links;
        for (auto& w : impl_->released)
            if (auto l = w.lock()) ls.push_back(l);
    }
    for (auto& l : ls)
        if (l->dispatcher.onThread()) return false;   // would wait for itself
    for (auto& l : ls) {
        std::uint64_t upto = l->dispatcher.lastSeq();
        if (!l->dispatcher.waitDelivered(upto, deadline)) return false;
    }
    return true;
}

bool Broker::setPaperConfig(const PaperConfig& cfg)
{
    bool ok;
    {
        std::lock_guard<std::mutex> lk(impl_->mu);
        ok = impl_->paper->configure(cfg);
    }
    impl_->restartMarket();
    return ok;
}

void Broker::setSnapshotsPerSecond(double rate)
{
    {
        std::lock_guard<std::mutex> lk(impl_->mu);
        impl_->paper->setSnapshotsPerSecond(rate);
    }
    impl_->restartMarket();
}

PaperConfig Broker::paperConfig() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->config();
}

void Broker::tick(int count)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    for (int i = 0; i < count; ++i) impl_->paper->tick();
}

void Broker::adjust(double cash, const std::vector<PositionConfig>& positions)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->paper->adjust(cash, positions);
}

bool Broker::setBook(const std::string& securityID, const BookLevels& book)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->setBook(securityID, book);
}

std::optional<CTORATstpMarketDataField> Broker::snapshot(const std::string& securityID) const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->snapshot(securityID);
}

std::vector<LedgerOrder> Broker::orders() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->orders();
}

std::optional<LedgerOrder> Broker::order(const std::string& orderSysID) const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    for (const auto& o : impl_->paper->orders())
        if (o.orderSysID == orderSysID) return o;
    return std::nullopt;
}

std::vector<CTORATstpTradeField> Broker::trades() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->trades();
}

AccountState Broker::account() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->account();
}

std::vector<PositionState> Broker::positions() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->positions();
}

std::optional<PositionState> Broker::position(const std::string& securityID) const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    for (const auto& p : impl_->paper->positions())
        if (p.securityID == securityID) return p;
    return std::nullopt;
}

std::string Broker::password() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->paper->password();
}

void Broker::setFaults(const FaultConfig& cfg)
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->faultCfg = cfg;
    impl_->faultRng.seed(cfg.seed);
}

FaultConfig Broker::faults() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->faultCfg;
}

FaultCounters Broker::faultCounters() const
{
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->counters;
}

CTORATstpRspInfoField Broker::rspInfo(int errorID, const std::string& msg)
{
    CTORATstpRspInfoField i;
    std::memset(&i, 0, sizeof i);
    i.ErrorID = errorID;
    detail::copyText(i.ErrorMsg, msg);
    return i;
}

const char* version() { return "torasim 1.0 (TORA trader API 3.9.3 stand-in)"; }

}  // namespace torasim
