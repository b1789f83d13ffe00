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
constexpr bool kWhiteListFlag = HasWhiteListFlag<sdk::TraderSpi::CTORATstpShareholderAccountField>::value;

// Legacy builds: responses with a last flag, order and transfer references as text, and room in
// the order, cancel, login and a few query requests for fields the current generation dropped
// (the terminal's identity, the offset and hedge flags, insert-time ranges). In a build against
// the current generation the simulated broker sees those requests through its front, where the
// dropped fields arrive empty.
#if TC_SDK_GENERATION_current
constexpr bool kLegacyShapes = false;
#else
constexpr bool kLegacyShapes = true;
#endif
// Skips a scenario that only the legacy shapes can express.
#define TC_LEGACY_SHAPES_ONLY(WHY) \
    if (!::tc::testing::kLegacyShapes) GTEST_SKIP() << "legacy SDK builds only: " << WHY

// A request field only legacy builds have: what the engine wrote there, or empty (zero) when the
// request came from the current generation.
#define TC_EXPECT_LEGACY_TEXT(FIELD, TEXT) EXPECT_STREQ(FIELD, ::tc::testing::kLegacyShapes ? TEXT : "")
#define TC_EXPECT_LEGACY_VALUE(FIELD, VALUE) \
    EXPECT_EQ(FIELD, ::tc::testing::kLegacyShapes ? VALUE : decltype(VALUE){})

// The queries whose requests this SDK lacks (they have no task handler).
constexpr int kQueriesMissing = (sdk::kHasGetConnectionInfo ? 0 : 1) + (sdk::kHasQryLofFundInfo ? 0 : 1);

}  // namespace testing
}  // namespace tc
