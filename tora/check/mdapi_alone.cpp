// TORATstpMdApi.h builds with nothing included before it.
#include "TORATstpMdApi.h"

#include <type_traits>

static_assert(std::is_abstract<CTORATstpMdApi>::value, "the API is an interface");
static_assert(!std::is_abstract<CTORATstpMdSpi>::value, "every callback has a default");
static_assert(!std::is_destructible<CTORATstpMdApi>::value, "released, never deleted");

namespace {
class Snapshots : public CTORATstpMdSpi {
public:
    void OnRtnDepthMarketData(CTORATstpMarketDataField *p) override { seen = p != nullptr; }
    bool seen = false;
};
}  // namespace

int toraMdApiCheck()
{
    Snapshots spi;
    CTORATstpMdSpi &base = spi;
    CTORATstpMarketDataField md = {};
    base.OnRtnDepthMarketData(&md);
    base.OnRspSubMarketData(nullptr, nullptr, 0, true);
    return spi.seen ? 0 : 1;
}
