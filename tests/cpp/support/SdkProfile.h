// What the SDK profile under test declares where the SDK builds differ, for tests whose
// expectations follow it (the layer's own answers are in ToraSdk.h).
#pragma once

#include <type_traits>

#include "ToraSdk.h"

namespace tc {
namespace testing {

// The later builds' white-list flag after MarketID in the shareholder answer (3.9.3 has none).
template <class R, class = void>
struct HasWhiteListFlag : std::false_type {};
template <class R>
struct HasWhiteListFlag<R, std::void_t<decltype(R::BSWhiteListCtl)>> : std::true_type {};
constexpr bool kWhiteListFlag = HasWhiteListFlag<CTORATstpShareholderAccountField>::value;

// The queries whose requests this SDK lacks (they have no task handler).
constexpr int kQueriesMissing = (sdk::kHasGetConnectionInfo ? 0 : 1) + (sdk::kHasQryLofFundInfo ? 0 : 1);

}  // namespace testing
}  // namespace tc
