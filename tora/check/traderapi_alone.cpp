// TORATstpTraderApi.h builds with nothing included before it, and its callback class can be
// derived from by overriding just the callbacks one needs.
#include "TORATstpTraderApi.h"

#include <type_traits>

static_assert(std::is_abstract<CTORATstpTraderApi>::value, "the API is an interface");
static_assert(!std::is_abstract<CTORATstpTraderSpi>::value, "every callback has a default");
static_assert(!std::is_destructible<CTORATstpTraderApi>::value, "released, never deleted");

namespace {
class OneCallback : public CTORATstpTraderSpi {
public:
    void OnRspQryOrder(CTORATstpOrderField *, CTORATstpRspInfoField *, int, bool bIsLast) override
    {
        last = bIsLast;
    }
    bool last = false;
};
}  // namespace

int toraTraderApiCheck()
{
    OneCallback spi;
    CTORATstpTraderSpi &base = spi;
    base.OnFrontConnected();
    base.OnRspQryOrder(nullptr, nullptr, 0, true);
    return spi.last ? 0 : 1;
}
