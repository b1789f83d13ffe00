// The SDK's API classes, as the engine creates and drives them.
#include "SimRegistry.h"
#include "SimSdk.h"

#include <cstring>

namespace torasim {
namespace detail {
namespace {

void initLink(const std::shared_ptr<Link>& link)
{
    {
        std::lock_guard<std::mutex> lk(link->mu);
        if (link->initialised || link->released) return;
        link->initialised = true;
    }
    link->dispatcher.start();
    Registry::instance().attachOrWait(link, true);
}

// Leaves the broker and stops the SDK thread. From the SDK's own thread (inside a callback) the
// thread cannot be joined: it finishes the running callback and ends by itself; nothing is
// delivered after the callback that called Release returns.
void releaseLink(const std::shared_ptr<Link>& link)
{
    std::shared_ptr<Broker> b;
    {
        std::lock_guard<std::mutex> lk(link->mu);
        link->released = true;
        b = link->broker.lock();
        link->broker.reset();
    }
    Registry::instance().forget(link.get());
    if (b) b->impl()->detach(link.get());
    link->dispatcher.stop();
}

void registerFront(const std::shared_ptr<Link>& link, const char* address)
{
    if (!address || !*address) return;
    std::lock_guard<std::mutex> lk(link->mu);
    link->fronts.push_back(address);
}

int submit(const std::shared_ptr<Link>& link, Broker::Impl::Incoming in)
{
    std::shared_ptr<Broker> b = link->currentBroker();
    if (!b) return -1;   // no front reachable
    return b->impl()->onRequest(*link, std::move(in));
}

class SimTraderApi final : public CTORATstpTraderApi {
public:
    SimTraderApi() : link_(std::make_shared<Link>(Side::Trader)) {}

    void Release() override
    {
        releaseLink(link_);
        delete this;
    }
    void Init() override { initLink(link_); }
    int Join() override
    {
        link_->dispatcher.waitStopped();
        return 0;
    }
    void RegisterFront(char* pszFrontAddress) override { registerFront(link_, pszFrontAddress); }
    void RegisterNameServer(char*) override {}
    void RegisterDeriveServer(char*) override {}
    void RegisterSpi(CTORATstpTraderSpi* pSpi) override { link_->dispatcher.setSpi(pSpi); }
    void SubscribePrivateTopic(TORA_TE_RESUME_TYPE nResumeType) override { link_->privateResume.store(nResumeType); }
    void SubscribePublicTopic(TORA_TE_RESUME_TYPE) override {}

#define SIM_REQ_REC(M, RQ) \
    int M(RQ* p, int id) override { return send(#M, p, p ? sizeof(RQ) : 0, id); }
#define SIM_REQ_OPAQUE(M, RQ) \
    int M(RQ*, int id) override { return send(#M, nullptr, 0, id); }
#define SIM_REQ_NOREC(M, RQ) \
    int M(int id) override { return send(#M, nullptr, 0, id); }
#define SIM_TRADER_REQUEST(M, RQ, RQK, CB, RS, RSK, SHAPE) SIM_REQ_##RQK(M, RQ)
#include "SimTables.inc"
#undef SIM_REQ_REC
#undef SIM_REQ_OPAQUE
#undef SIM_REQ_NOREC

private:
    ~SimTraderApi() = default;

    int send(const char* type, const void* record, std::size_t size, int requestID)
    {
        Broker::Impl::Incoming in;
        in.type = type;
        in.side = Side::Trader;
        in.requestID = requestID;
        in.record = record;
        in.size = size;
        return submit(link_, std::move(in));
    }

    std::shared_ptr<Link> link_;
};

class SimMdApi final : public CTORATstpMdApi {
public:
    SimMdApi() : link_(std::make_shared<Link>(Side::Md)) {}

    void Release() override
    {
        releaseLink(link_);
        delete this;
    }
    void Init() override { initLink(link_); }
    int Join() override
    {
        link_->dispatcher.waitStopped();
        return 0;
    }
    void RegisterFront(char* pszFrontAddress) override { registerFront(link_, pszFrontAddress); }
    void RegisterNameServer(char*) override {}
    void RegisterDeriveServer(char*) override {}
    void RegisterSpi(CTORATstpMdSpi* pSpi) override { link_->dispatcher.setSpi(pSpi); }

    int ReqUserLogin(CTORATstpReqUserLoginField* p, int id) override
    {
        return send("ReqUserLogin", p, p ? sizeof *p : 0, id);
    }
    int ReqUserLogout(CTORATstpUserLogoutField* p, int id) override
    {
        return send("ReqUserLogout", p, p ? sizeof *p : 0, id);
    }
    int ReqInquiryMarketDataMirror(CTORATstpInquiryMarketDataField*, int id) override
    {
        return send("ReqInquiryMarketDataMirror", nullptr, 0, id);
    }
    int SubscribeMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("SubscribeMarketData", ids, n, ex);
    }
    int UnSubscribeMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("UnSubscribeMarketData", ids, n, ex);
    }
    int SubscribePHMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("SubscribePHMarketData", ids, n, ex);
    }
    int UnSubscribePHMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("UnSubscribePHMarketData", ids, n, ex);
    }
    int SubscribeSpecialMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("SubscribeSpecialMarketData", ids, n, ex);
    }
    int UnSubscribeSpecialMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("UnSubscribeSpecialMarketData", ids, n, ex);
    }
    int SubscribeRapidMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("SubscribeRapidMarketData", ids, n, ex);
    }
    int UnSubscribeRapidMarketData(char** ids, int n, TTORATstpExchangeIDType ex) override
    {
        return subscription("UnSubscribeRapidMarketData", ids, n, ex);
    }

private:
    ~SimMdApi() = default;

    int send(const char* type, const void* record, std::size_t size, int requestID)
    {
        Broker::Impl::Incoming in;
        in.type = type;
        in.side = Side::Md;
        in.requestID = requestID;
        in.record = record;
        in.size = size;
        return submit(link_, std::move(in));
    }

    int subscription(const char* type, char** ids, int n, char exchangeID)
    {
        Broker::Impl::Incoming in;
        in.type = type;
        in.side = Side::Md;
        in.requestID = 0;
        in.record = nullptr;
        in.size = 0;
        in.exchangeID = exchangeID;
        for (int i = 0; ids && i < n; ++i)
            if (ids[i]) in.securities.emplace_back(ids[i]);
        return submit(link_, std::move(in));
    }

    std::shared_ptr<Link> link_;
};

}  // namespace
}  // namespace detail
}  // namespace torasim

CTORATstpTraderApi* CTORATstpTraderApi::CreateTstpTraderApi(const char*, bool)
{
    try {
        return new torasim::detail::SimTraderApi();
    } catch (...) {
        return nullptr;
    }
}

const char* CTORATstpTraderApi::GetApiVersion() { return torasim::version(); }

#if TORASIM_MD_CREATE_MODES
CTORATstpMdApi* CTORATstpMdApi::CreateTstpMdApi(char, char)
#else
CTORATstpMdApi* CTORATstpMdApi::CreateTstpMdApi()
#endif
{
    try {
        return new torasim::detail::SimMdApi();
    } catch (...) {
        return nullptr;
    }
}

const char* CTORATstpMdApi::GetApiVersion() { return torasim::version(); }
