// The byte language of the adapter fuzz target, shared with the seed maker.
//
// An input is a sequence of operations:  opcode (1 byte), flags (1 byte), then the operation's
// payload. A record payload is the raw bytes of the SDK record (missing bytes read as zero), so
// text fields come without NUL, numbers take any bit pattern (NaN, inf, negative, huge) and
// codes any letter. Flags then steer a few fields toward values the engine knows (an order
// reference of one of its own orders, its own session, a valid status letter) so the fuzzer also
// reaches the paths behind those checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tc {
namespace fuzz {

enum Op : std::uint8_t {
    // Trader SPI.
    kRtnOrder = 0,
    kRtnTrade,
    kRspOrderInsert,
    kErrRtnOrderInsert,
    kRspOrderAction,
    kErrRtnOrderAction,
    kRspUserLogin,
    kRspQrySecurity,
    kRspQryShareholderAccount,
    kRspQryTradingAccount,
    kRtnMarketStatus,
    kRtnTradingNotice,
    kRtnTransferFund,
    kRtnTransferPosition,
    kRspTransferFund,
    kErrRtnTransferFund,
    kRspTransferPosition,
    kErrRtnTransferPosition,
    kRtnPeripheryTransferFund,
    kRtnPeripheryTransferPosition,
    kRspUserPasswordUpdate,
    kRspQryOrder,
    kRspQryTrade,
    kRspQryPosition,
    kFrontConnected,
    kFrontDisconnected,
    // Engine operations from the strategy's side (they create the records notifications find).
    kBuyOpen,
    kSellClose,
    kInsertOrder,
    kCancelByOrderID,
    kCancelByStandardID,
    kCancelOrder,
    kTransferCash,
    kTransferPosition,
    kSchedulerStep,
    // Market-data SPI and registry.
    kMdRtnDepthMarketData,
    kMdRspUserLogin,
    kMdRspSubMarketData,
    kMdRspUnSubMarketData,
    kMdFrontConnected,
    kMdFrontDisconnected,
    kMdSubscribe,
    kMdUnsubscribe,
    kOpCount
};

enum Flag : std::uint8_t {
    kNullRecord = 1u << 0,   // pass a null record
    kNullInfo = 1u << 1,     // pass null error info
    kIsLast = 1u << 2,       // bIsLast
    kOwnRef = 1u << 3,       // order/transfer reference: one of the engine's, or a range edge
    kOwnSession = 1u << 4,   // FrontID/SessionID: the engine's
    kValidCodes = 1u << 5,   // status/exchange letters from the valid sets
    kKnownSecurity = 1u << 6,  // security code from the small set the engine knows
    kPrintersOn = 1u << 7,   // processors None for this operation: the default printers render
};

// Reads an input front to back; past its end every byte is zero.
class Reader {
public:
    Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    void bytes(void *out, std::size_t n) {
        const std::size_t have = pos_ < size_ ? (size_ - pos_ < n ? size_ - pos_ : n) : 0;
        if (have) std::memcpy(out, data_ + pos_, have);
        if (have < n) std::memset(static_cast<char *>(out) + have, 0, n - have);
        pos_ += have;
    }
    template <class T>
    T value() {
        T v;
        bytes(&v, sizeof v);
        return v;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Builds inputs (seed maker).
class Writer {
public:
    void op(Op code, std::uint8_t flags) {
        out_.push_back(code);
        out_.push_back(flags);
    }
    void byte(std::uint8_t b) { out_.push_back(b); }
    void bytes(const void *p, std::size_t n) {
        const auto *b = static_cast<const std::uint8_t *>(p);
        out_.insert(out_.end(), b, b + n);
    }
    template <class T>
    void value(const T &v) {
        bytes(&v, sizeof v);
    }
    const std::vector<std::uint8_t> &data() const { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

}  // namespace fuzz
}  // namespace tc
