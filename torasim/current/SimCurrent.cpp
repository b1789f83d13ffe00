// The simulated broker behind a current-generation SDK's API classes: a front that turns every
// request of TORASTOCKAPI::CTORATstpTraderApi / TORALEV1API::CTORATstpXMdApi into the broker's
// legacy request, and every callback of the broker into the current one (SimFront.inc,
// generated from the two stand-ins). The tests of the current generation drive the broker as
// every other test does, in the legacy terms; the engine sees the current SDK.
//
// The current stand-in's headers come first: the legacy ones define their constants as macros,
// which would rewrite the current ones' names after them. Nothing below names a TORA constant.
#include "TORATstpTraderApi.h"
#include "TORATstpXMdApi.h"
#include "tora/TORATstpMdApi.h"
#include "tora/TORATstpTraderApi.h"

#include <cstddef>
#include <cstring>

#include "SimText.h"

namespace torasim {
namespace front {

// One field carried to the other generation's record of the same name.
template <std::size_t N, std::size_t M>
void carry(const char (&from)[M], char (&to)[N]) {
    detail::copyText(to, from);
}
// Text references (legacy) and their ints (current).
template <std::size_t M>
void carry(const char (&from)[M], int &to) {
    char text[M + 1];
    std::memcpy(text, from, M);
    text[M] = '\0';
    to = static_cast<int>(detail::parseInt(text));
}
template <std::size_t N>
void carry(int from, char (&to)[N]) {
    detail::formatInt(to, from);
}
// One-character codes that a generation keeps as text (the language).
template <std::size_t M>
void carry(const char (&from)[M], char &to) {
    to = from[0];
}
template <std::size_t N>
void carry(char from, char (&to)[N]) {
    to[0] = from;
}
template <class From, class To>
void carry(const From &from, To &to) {
    to = static_cast<To>(from);
}

// The currency: "CNY" (legacy) and its code (current).
template <std::size_t M>
void currencyCode(const char (&from)[M], char &to);
template <std::size_t N>
void currencyText(char from, char (&to)[N]);

// What needs judgement after a record is carried; nothing by default.
template <class From, class To>
void adjust(const From &, To &) {}
void adjust(const ::CTORATstpOrderField &from, TORASTOCKAPI::CTORATstpOrderField &to);
void adjust(const ::CTORATstpTradingAccountField &from, TORASTOCKAPI::CTORATstpTradingAccountField &to);

#include "SimFront.inc"

// A field left empty stays empty.
template <std::size_t M>
void currencyCode(const char (&from)[M], char &to) {
    const std::string text = detail::fieldText(from);
    to = text == "CNY" ? currentCode::CID_CNY : text == "HKD" ? currentCode::CID_HKD
       : text == "USD" ? currentCode::CID_USD : '\0';
}
template <std::size_t N>
void currencyText(char from, char (&to)[N]) {
    detail::copyText(to, from == currentCode::CID_CNY ? "CNY" : from == currentCode::CID_HKD ? "HKD"
                         : from == currentCode::CID_USD ? "USD" : "");
}

// The order status: the current generation reports a refused insert as a status of its own, does
// not tell queueing from not queueing, tells a cancel with trades from one without, and counts
// the cancelled volume where the legacy builds count what still waits.
void adjust(const ::CTORATstpOrderField &from, TORASTOCKAPI::CTORATstpOrderField &to) {
    if (from.OrderSubmitStatus == legacyCode::OSS_InsertRejected) {
        to.OrderStatus = currentCode::OST_Rejected;
    } else if (from.OrderStatus == legacyCode::OST_AllTraded) {
        to.OrderStatus = currentCode::OST_AllTraded;
    } else if (from.OrderStatus == legacyCode::OST_PartTradedQueueing ||
               from.OrderStatus == legacyCode::OST_PartTradedNotQueueing) {
        to.OrderStatus = currentCode::OST_PartTraded;
    } else if (from.OrderStatus == legacyCode::OST_NoTradeQueueing ||
               from.OrderStatus == legacyCode::OST_NoTradeNotQueueing) {
        to.OrderStatus = currentCode::OST_Accepted;
    } else if (from.OrderStatus == legacyCode::OST_Canceled) {
        to.OrderStatus = from.VolumeTraded > 0 ? currentCode::OST_PartTradeCanceled : currentCode::OST_AllCanceled;
    } else if (from.OrderStatus == legacyCode::OST_Cached) {
        to.OrderStatus = currentCode::OST_Cached;
    } else {
        to.OrderStatus = currentCode::OST_Unknown;
    }
    const long long canceled = static_cast<long long>(from.VolumeTotalOriginal) - from.VolumeTraded - from.VolumeTotal;
    to.VolumeCanceled = from.OrderStatus == legacyCode::OST_Canceled && canceled > 0 ? static_cast<int>(canceled) : 0;
}

// The cash the account can use: Available in legacy builds, UsefulMoney here.
void adjust(const ::CTORATstpTradingAccountField &from, TORASTOCKAPI::CTORATstpTradingAccountField &to) {
    to.UsefulMoney = from.Available;
}

namespace {

class SimCurrentTraderApi final : public TraderRequests {
public:
    explicit SimCurrentTraderApi(::CTORATstpTraderApi *legacy) : TraderRequests(legacy) {}

    void Release() override {
        // The broker's Release stops its thread (or, from one of its callbacks, lets it end after
        // that callback): no callback reaches the front afterwards.
        legacy_->Release();
        delete this;
    }
    void Init() override { legacy_->Init(); }
    int Join() override { return legacy_->Join(); }
    void RegisterFront(char *address) override { legacy_->RegisterFront(address); }
    void RegisterNameServer(char *address) override { legacy_->RegisterNameServer(address); }
    void RegisterFensUserInfo(TORASTOCKAPI::CTORATstpFensUserInfoField *) override {}
    void RegisterSpi(TORASTOCKAPI::CTORATstpTraderSpi *spi) override {
        callbacks_.spi = spi;
        legacy_->RegisterSpi(&callbacks_);
    }
    void SubscribePrivateTopic(TORASTOCKAPI::TORA_TE_RESUME_TYPE type) override {
        legacy_->SubscribePrivateTopic(static_cast<::TORA_TE_RESUME_TYPE>(type));
    }
    void SubscribePublicTopic(TORASTOCKAPI::TORA_TE_RESUME_TYPE type) override {
        legacy_->SubscribePublicTopic(static_cast<::TORA_TE_RESUME_TYPE>(type));
    }

private:
    ~SimCurrentTraderApi() = default;
    TraderCallbacks callbacks_;
};

class SimCurrentMdApi final : public MdRequests {
public:
    explicit SimCurrentMdApi(::CTORATstpMdApi *legacy) : MdRequests(legacy) {}

    void Release() override {
        legacy_->Release();
        delete this;
    }
    void Init(const char *) override { legacy_->Init(); }
    int Join() override { return legacy_->Join(); }
    void RegisterFront(char *address) override { legacy_->RegisterFront(address); }
    void RegisterNameServer(char *address) override { legacy_->RegisterNameServer(address); }
    void RegisterFensUserInfo(TORALEV1API::CTORATstpFensUserInfoField *) override {}
    void RegisterMulticast(char *, char *, char *) override {}
    void RegisterDeriveServer(char *address) override { legacy_->RegisterDeriveServer(address); }
    void RegisterDeriveMulticast(char *, char *, char *) override {}
    void RegisterSpi(TORALEV1API::CTORATstpXMdSpi *spi) override {
        callbacks_.spi = spi;
        legacy_->RegisterSpi(&callbacks_);
    }

private:
    ~SimCurrentMdApi() = default;
    MdCallbacks callbacks_;
};

}  // namespace
}  // namespace front
}  // namespace torasim

namespace TORASTOCKAPI {

CTORATstpTraderApi *CTORATstpTraderApi::CreateTstpTraderApi(const char *flowPath, bool encrypt,
                                                             TTORATstpTradeCommModeType, const char *, bool) {
    ::CTORATstpTraderApi *legacy = ::CTORATstpTraderApi::CreateTstpTraderApi(flowPath, encrypt);
    if (!legacy) return nullptr;
    try {
        return new torasim::front::SimCurrentTraderApi(legacy);
    } catch (...) {
        legacy->Release();
        return nullptr;
    }
}

const char *CTORATstpTraderApi::GetApiVersion() { return ::CTORATstpTraderApi::GetApiVersion(); }

}  // namespace TORASTOCKAPI

namespace TORALEV1API {

CTORATstpXMdApi *CTORATstpXMdApi::CreateTstpXMdApi(const TTORATstpMDSubModeType &, const TTORATstpMDSubModeType &) {
    ::CTORATstpMdApi *legacy = ::CTORATstpMdApi::CreateTstpMdApi();
    if (!legacy) return nullptr;
    try {
        return new torasim::front::SimCurrentMdApi(legacy);
    } catch (...) {
        legacy->Release();
        return nullptr;
    }
}

const char *CTORATstpXMdApi::GetApiVersion() { return ::CTORATstpMdApi::GetApiVersion(); }

}  // namespace TORALEV1API
