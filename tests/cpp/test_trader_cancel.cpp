// Cancels against the scripted broker: the cancel request's fields, the engine's own session
// filled in, and the two cancels that pick orders from the active orders by id or by security.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "support/SdkProfile.h"
#include "support/TraderFixture.h"

namespace {

using tc::recording::Call;
using tc::recording::CallKind;
using tc::testing::TraderFixture;

class TraderCancel : public TraderFixture {
protected:
    void SetUp() override {
        TraderFixture::SetUp();
        createTrader(1000);
        connectAndPrepare();
        tc::recording::clear();
    }
    CQNOrderField *accepted(const char *id, const char *exchange) {
        CQNOrderField *o = ::buyOpen(trader_.get(), id, 1000, '0', 10.0, exchange, '0');
        pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
        return o;
    }
    std::vector<CTORATstpInputOrderActionField> cancels() const {
        std::vector<CTORATstpInputOrderActionField> out;
        for (const torasim::Request &r : broker_->requests("ReqOrderAction")) {
            out.push_back(r.as<CTORATstpInputOrderActionField>());
        }
        return out;
    }
};

TEST_F(TraderCancel, CancelOrderSendsItsFieldsAndTakesTheEngineSessionForZero) {
    EXPECT_EQ(::cancelOrder(trader_.get(), "1", "600000", "SYS9", 1234, 0, 0), 0);
    std::optional<torasim::Request> r = broker_->waitForRequest("ReqOrderAction");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->requestID, 1234);
    const auto req = r->as<CTORATstpInputOrderActionField>();
    EXPECT_STREQ(req.OrderRef, "1234");
    EXPECT_EQ(req.FrontID, kFrontID);
    EXPECT_EQ(req.SessionID, kSessionID);
    EXPECT_EQ(req.ExchangeID, '1');
    EXPECT_STREQ(req.OrderSysID, "SYS9");
    EXPECT_EQ(req.ActionFlag, '0');
    TC_EXPECT_LEGACY_TEXT(req.SecurityID, "600000");
    TC_EXPECT_LEGACY_TEXT(req.IPAddress, "203.0.113.9");
    TC_EXPECT_LEGACY_TEXT(req.MacAddress, "00-11-22-33-44-55");
    TC_EXPECT_LEGACY_TEXT(req.TerminalInfo, "PC;IIP=10.0.0.2");
    TC_EXPECT_LEGACY_TEXT(req.BInfo, "Quillon 002.100.001");
    TC_EXPECT_LEGACY_TEXT(req.HDSerial, "HD-0001");

    // Given sessions are kept; null texts count as empty; a refusal is returned as is.
    broker_->setNextReturn("ReqOrderAction", -8);
    EXPECT_EQ(::cancelOrder(trader_.get(), nullptr, nullptr, nullptr, 5, 11, 12), -8);
    const auto second = broker_->waitForRequest("ReqOrderAction")->as<CTORATstpInputOrderActionField>();
    EXPECT_EQ(second.FrontID, 11);
    EXPECT_EQ(second.SessionID, 12);
    EXPECT_EQ(second.ExchangeID, '\0');
    EXPECT_STREQ(second.SecurityID, "");
    EXPECT_TRUE(orderEvents().empty());
}

TEST_F(TraderCancel, ByOrderIDCancelsOnlyActiveOrdersInACancellableState) {
    CQNOrderField *a = accepted("600000", "1");
    pushOrder(orderNotice(*a, TORA_TSTP_OST_PartTradedQueueing, 100, 900));
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), a->OrderID), 0);
    const auto sent = cancels();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_STREQ(sent[0].OrderRef, "1001");
    EXPECT_STREQ(sent[0].OrderSysID, "SYS1001");
    EXPECT_EQ(sent[0].FrontID, kFrontID);
    EXPECT_EQ(sent[0].SessionID, kSessionID);
    EXPECT_EQ(sent[0].ExchangeID, '1');

    // Not yet accepted, finished, or unknown: -1 and nothing sent.
    CQNOrderField *fresh = ::buyOpen(trader_.get(), "600000", 100, '0', 10.0, "1", '0');
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), fresh->OrderID), -1);
    pushOrder(orderNotice(*a, TORA_TSTP_OST_AllTraded, 1000, 0));
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), a->OrderID), -1);
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), 4242), -1);
    CQNOrderField *c = accepted("600000", "1");
    pushOrder(orderNotice(*c, TORA_TSTP_OST_Canceled, 0, 0));
    EXPECT_EQ(::cancelOrderByOrderID(trader_.get(), c->OrderID), -1);
    EXPECT_EQ(cancels().size(), 1u);
}

TEST_F(TraderCancel, ByStandardIDFiltersByExchangeAndSecurityAndSumsResults) {
    CQNOrderField *sh1 = accepted("600000", "1");
    CQNOrderField *sh2 = accepted("600036", "1");
    CQNOrderField *sz = accepted("000001", "2");
    (void)sh1;
    (void)sh2;
    (void)sz;
    EXPECT_EQ(::cancelOrderByStandardID(trader_.get(), "1", nullptr), 0);
    EXPECT_EQ(cancels().size(), 2u);
    for (const auto &c : cancels()) EXPECT_EQ(c.ExchangeID, '1');

    EXPECT_EQ(::cancelOrderByStandardID(trader_.get(), nullptr, "000001"), 0);
    ASSERT_EQ(cancels().size(), 3u);
    EXPECT_STREQ(cancels()[2].OrderRef, "1003");

    EXPECT_EQ(::cancelOrderByStandardID(trader_.get(), "2", "600000"), 0);
    EXPECT_EQ(cancels().size(), 3u);

    EXPECT_EQ(::cancelOrderByStandardID(trader_.get(), nullptr, nullptr), 0);
    EXPECT_EQ(cancels().size(), 6u);

    // Two refused sends: their codes add up.
    broker_->setNextReturn("ReqOrderAction", -3, 2);
    EXPECT_EQ(::cancelOrderByStandardID(trader_.get(), "1", nullptr), -6);
}

TEST_F(TraderCancel, AProcessorMayCancelTheOrderItIsHandedWithoutWaiting) {
    CQNOrderField *o = ::buyOpen(trader_.get(), "600000", 1000, '0', 10.0, "1", '0');
    CBaseTrader *engine = trader_.get();
    int result = 99;
    tc::recording::setCallHook([&](const Call &c) {
        if (c.kind == CallKind::OrderProcessor && c.eventID == ENUM_OrderEventID_Traded) {
            result = ::cancelOrderByOrderID(engine, o->OrderID);
        }
    });
    pushOrder(orderNotice(*o, TORA_TSTP_OST_NoTradeQueueing));
    pushOrder(orderNotice(*o, TORA_TSTP_OST_PartTradedQueueing, 100, 900));
    tc::recording::setCallHook(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(cancels().size(), 1u);
}

}  // namespace
