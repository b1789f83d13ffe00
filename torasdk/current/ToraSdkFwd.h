// The SDK names that engine headers mention without needing the SDK's declarations, for a
// current-generation SDK: trader records in TORASTOCKAPI, market-data records in TORALEV1API.
#pragma once

namespace TORASTOCKAPI {
struct CTORATstpSecurityField;
}
namespace TORALEV1API {
struct CTORATstpMarketDataField;
}

namespace tc {
namespace sdk {

using MarketDataRecord = TORALEV1API::CTORATstpMarketDataField;
using SecurityRecord = TORASTOCKAPI::CTORATstpSecurityField;

// The SDK's names, for a using-directive in the adapters' sources (each source sees one side's).
namespace trader_names {
using namespace ::TORASTOCKAPI;
}
namespace md_names {
using namespace ::TORALEV1API;
}

}  // namespace sdk
}  // namespace tc
