// TORATstpUserApiDataType.h builds with nothing included before it.
#include "TORATstpUserApiDataType.h"

static_assert(TORA_TERT_RESTART == 0 && TORA_TERT_RESUME == 1 && TORA_TERT_QUICK == 2,
              "resume modes are sent as their numbers");
static_assert(sizeof(TTORATstpSecurityIDType) == 31, "security code text");
static_assert(TORA_TSTP_EXD_SSE == '1' && TORA_TSTP_EXD_SZSE == '2', "exchange codes");

int toraDataTypeCheck()
{
    int i = 0;
    set_null(i);
    double d = 0;
    set_null(d);
    return is_null(i) && is_null(d) ? 0 : 1;
}
