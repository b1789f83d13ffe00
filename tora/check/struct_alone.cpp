// TORATstpUserApiStruct.h builds with nothing included before it.
#include "TORATstpUserApiStruct.h"

#include <type_traits>

static_assert(std::is_trivially_copyable<CTORATstpOrderField>::value, "records are plain data");
static_assert(std::is_standard_layout<CTORATstpMarketDataField>::value, "records are plain data");

int toraStructCheck()
{
    CTORATstpRspInfoField info = {};
    return info.ErrorID;
}
