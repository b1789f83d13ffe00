// A trader or md API object of the simulated SDK with a recording callback receiver, for the
// simulator's own tests.
#pragma once

#include <string>

#include "SimRecorder.h"
#include "SimSdk.h"
#include "ZeroRecord.h"

namespace tc {
namespace testing {

class SimTraderClient {
public:
    explicit SimTraderClient(const std::string& front, TORA_TE_RESUME_TYPE resume = TORA_TERT_QUICK, bool init = true)
        : front_(front)
    {
        api = CTORATstpTraderApi::CreateTstpTraderApi("", false);
        api->RegisterSpi(&spi);
        api->RegisterFront(&front_[0]);
        api->SubscribePrivateTopic(resume);
        api->SubscribePublicTopic(TORA_TERT_QUICK);
        if (init) api->Init();
    }
    ~SimTraderClient() { release(); }
    void release()
    {
        if (api) api->Release();
        api = nullptr;
    }
    SimTraderClient(const SimTraderClient&) = delete;
    SimTraderClient& operator=(const SimTraderClient&) = delete;

    TraderRecorder spi;
    CTORATstpTraderApi* api = nullptr;

private:
    std::string front_;
};

class SimMdClient {
public:
    explicit SimMdClient(const std::string& front) : front_(front)
    {
        api = CTORATstpMdApi::CreateTstpMdApi();   // the defaults where the build takes modes
        api->RegisterSpi(&spi);
        api->RegisterFront(&front_[0]);
        api->Init();
    }
    ~SimMdClient() { release(); }
    void release()
    {
        if (api) api->Release();
        api = nullptr;
    }
    SimMdClient(const SimMdClient&) = delete;
    SimMdClient& operator=(const SimMdClient&) = delete;

    MdRecorder spi;
    CTORATstpMdApi* api = nullptr;

private:
    std::string front_;
};

}  // namespace testing
}  // namespace tc
