// The SDK names that engine headers mention without needing the SDK's declarations, for a
// legacy-generation SDK (global namespace).
#pragma once

struct CTORATstpMarketDataField;
struct CTORATstpSecurityField;

namespace tc {
namespace sdk {

using MarketDataRecord = ::CTORATstpMarketDataField;
using SecurityRecord = ::CTORATstpSecurityField;

// The SDK's names, for a using-directive in the adapters' sources: already global here.
namespace trader_names {}
namespace md_names {}

}  // namespace sdk
}  // namespace tc
