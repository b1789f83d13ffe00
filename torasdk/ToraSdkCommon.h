// What both SDK generations' layers (legacy/ToraSdk.h, current/ToraSdk.h) offer the adapters in
// the same words.
#pragma once

#include <utility>

namespace tc {
namespace sdk {

// What an order notification says happened, in the engine's terms. The generations code the
// order status differently (the current one renumbered it and reports a rejected insert as a
// status of its own); each layer reads its SDK's codes into this.
enum class OrderState {
    Other,           // nothing the engine acts on (unknown, not yet at the exchange, ...)
    InsertRejected,  // the exchange or the broker refused the order
    Cached,          // held by the broker until the market opens
    Accepted,        // queueing at the exchange, nothing traded
    PartTraded,      // queueing, partly traded
    AllTraded,
    Canceled,        // finished by a cancel, traded or not
};

namespace detail {

template <class R, class F>
auto ifValid(R &record, F &&f, int) -> decltype(f(record), void()) {
    f(record);
}
template <class R, class F>
void ifValid(R &, F &&, long) {}

}  // namespace detail

}  // namespace sdk
}  // namespace tc

// TC_SDK_IF_FIELD(record, Field, statement): runs `statement` with `field` naming record.Field
// when the SDK's record declares Field, and does nothing when it does not. The builds differ
// in the terminal and hedging fields of a few requests; the adapter says what goes into them
// once, and the SDK in hand decides whether there is room.
#define TC_SDK_IF_FIELD(RECORD, FIELD, ...)                                                 \
    ::tc::sdk::detail::ifValid(                                                             \
        RECORD, [&](auto &record_) -> decltype((void)record_.FIELD) {                       \
            auto &field = record_.FIELD;                                                    \
            __VA_ARGS__;                                                                    \
        },                                                                                  \
        0)
