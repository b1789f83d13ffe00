// The TORA market-data side against the scripted simulated broker: connection, login, the
// events of the session, subscriptions before and after the session is ready, resubscription
// after a reconnection, and snapshots arriving on the SDK's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/Text.h"
#include "events/RecordingBridge.h"
#include "marketdata/CTORAStockMd.h"
#include "marketdata/SnapshotStore.h"
#include "support/SdkProfile.h"
#include "torasim/SimControl.h"
#include "trader/SecurityDirectory.h"

namespace {

using tc::recording::Call;
using tc::recording::CallKind;
using torasim::Broker;
using torasim::Side;

std::vector<Call> generalEvents(int eventID = 0) {
    std::vector<Call> out;
    for (const Call &c : tc::recording::snapshot()) {
        if (c.kind == CallKind::EventProcessor && (eventID == 0 || c.eventID == eventID)) out.push_back(c);
    }
    return out;
}

std::vector<std::string> ids(const torasim::Request &r) { return r.securities; }

class MdSession : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        tc::recording::clear();
        tc::recording::setCallHook(nullptr);
        tc::resetProcessTraderStateForTests();
        address_ = "sim://md" + std::to_string(serial.fetch_add(1));
        broker_ = Broker::create(address_, torasim::Mode::Scripted);

        auto *login = new CQNLoginField();
        tc::copyText(login->UserID, "u1");
        tc::copyText(login->Password, "secret");
        tc::copyText(login->MdFrontAddress, address_.c_str());
        tc::copyText(login->MacAddress, "00-11-22-33-44-55");
        tc::copyText(login->InnerIPAddress, "10.0.0.2");
        tc::copyText(login->OuterIPAddress, "203.0.113.9");
        tc::copyText(login->TerminalInfo, "PC;IIP=10.0.0.2");
        md_ = std::make_unique<CTORAStockMd>(login, mdProcessor(), eventProcessor(), nullptr);
        ASSERT_NE(md_->api(), nullptr);
        EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Null);
        ASSERT_TRUE(broker_->waitForConnections(1, Side::Md));
        connect();
    }
    void TearDown() override {
        tc::recording::setCallHook(nullptr);
        md_.reset();
        Broker::remove(address_);
        tc::resetProcessTraderStateForTests();
        tc::recording::clear();
    }

    static PyObject *mdProcessor() { return tc::recording::fakeCallable(1); }
    static PyObject *eventProcessor() { return tc::recording::fakeCallable(2); }

    void connect() {
        ASSERT_EQ(broker_->acceptConnection(Side::Md), 1);
        ASSERT_TRUE(broker_->drain());
        ASSERT_EQ(md_->apiStatus(), ENUM_ApiStatus_Initializing);
    }

    // Sends the login and answers it with `errorID`; returns the login request.
    torasim::Request login(int errorID = 0, const std::string &message = std::string(), bool isLast = true) {
        EXPECT_EQ(md_->requestLogin(), 0);
        std::optional<torasim::Request> request = broker_->waitForRequest("ReqUserLogin");
        EXPECT_TRUE(request.has_value());
        if (!request) return {};
        answerLogin(request->requestID, errorID, message, isLast);
        return *request;
    }
    void answerLogin(int requestID, int errorID, const std::string &message, bool isLast) {
        if (isLast) {
            CTORATstpRspUserLoginField answer;
            std::memset(&answer, 0, sizeof(answer));
            tc::copyText(answer.LogInAccount, "u1");
            broker_->pushMdRspUserLogin(answer, requestID, errorID, message);
        } else {
            broker_->postMd([requestID](CTORATstpMdSpi *spi) {
                CTORATstpRspUserLoginField answer;
                std::memset(&answer, 0, sizeof(answer));
                CTORATstpRspInfoField info = Broker::rspInfo(0, "");
                spi->OnRspUserLogin(&answer, &info, requestID, false);
            });
        }
        EXPECT_TRUE(broker_->drain());
    }

    std::vector<torasim::Request> subscriptions() const { return broker_->requests("SubscribeMarketData"); }
    std::vector<torasim::Request> unsubscriptions() const { return broker_->requests("UnSubscribeMarketData"); }

    int subscribe(const char *exchange, const SecuritySet &set) {
        return md_->subscribeSecurities(exchange, &set, ENUM_MarketDataType_Snap);
    }
    int unsubscribe(const char *exchange, const SecuritySet &set) {
        return md_->unsubscribeSecurities(exchange, &set, ENUM_MarketDataType_Snap);
    }

    std::string address_;
    std::shared_ptr<Broker> broker_;
    std::unique_ptr<CTORAStockMd> md_;
};

TEST_F(MdSession, LoginRequestCarriesTheAccountAndAnOkAnswerRaisesMdReady) {
    EXPECT_EQ(md_->registryKeys(), (std::vector<std::string>{"1.0", "2.0", "3.0", "U.0"}));
    torasim::Request request = login();
    EXPECT_EQ(request.side, Side::Md);
    EXPECT_EQ(request.requestID, 0);
    auto fields = request.as<CTORATstpReqUserLoginField>();
    EXPECT_STREQ(fields.LogInAccount, "u1");
    EXPECT_EQ(fields.LogInAccountType, '0');
    EXPECT_STREQ(fields.Password, "secret");
    EXPECT_STREQ(fields.MacAddress, "00-11-22-33-44-55");
    EXPECT_STREQ(fields.InnerIPAddress, "10.0.0.2");
    EXPECT_STREQ(fields.OuterIPAddress, "203.0.113.9");
    EXPECT_STREQ(fields.TerminalInfo, "PC;IIP=10.0.0.2");
    EXPECT_STREQ(fields.UserProductInfo, "") << "nothing else is filled";
    EXPECT_STREQ(fields.DepartmentID, "");

    EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Working);
    std::vector<Call> events = generalEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].eventID, ENUM_TORAStockTaskID_LoginMd);
    EXPECT_EQ(events[0].processor, eventProcessor());
    EXPECT_NE(events[0].record, nullptr);
    EXPECT_TRUE(events[0].isLast);
    EXPECT_EQ(events[0].errorID, 0);
    EXPECT_EQ(events[0].message, "");
    EXPECT_EQ(events[0].userID, "u1");
    EXPECT_EQ(events[1].eventID, ENUM_EventID_MdReady);
    EXPECT_EQ(events[1].record, nullptr);
    EXPECT_TRUE(events[1].isLast);
    EXPECT_EQ(events[1].errorID, 0);
    EXPECT_EQ(events[1].message, "");
    EXPECT_NE(events[1].thread, std::this_thread::get_id()) << "callbacks arrive on the SDK's thread";
    EXPECT_TRUE(subscriptions().empty()) << "nothing was recorded, so nothing is re-sent";
}

TEST_F(MdSession, SubscriptionsMadeBeforeMdReadyGoOutBeforeItOncePerExchangeAndTheProcessorsOnce) {
    EXPECT_EQ(subscribe("1", {"600000", "600036"}), 0);
    EXPECT_EQ(subscribe("2", {"000001"}), 0);
    EXPECT_EQ(subscribe("1", {"600000"}), 0);
    EXPECT_TRUE(subscriptions().empty()) << "nothing reaches the SDK before the session is ready";

    // The MdReady processor subscribes too: a known exchange, and a code nobody knows yet.
    std::atomic<long> sentAtMdReady{-1};
    tc::recording::setCallHook([&](const Call &c) {
        if (c.kind == CallKind::EventProcessor && c.eventID == ENUM_EventID_MdReady) {
            sentAtMdReady = static_cast<long>(broker_->requestCount("SubscribeMarketData"));
            subscribe("1", {"601318"});
            subscribe(nullptr, {"999999"});
        }
    });
    login();
    tc::recording::setCallHook(nullptr);

    EXPECT_EQ(sentAtMdReady.load(), 2) << "the re-send goes out before MdReady";
    std::vector<torasim::Request> sent = subscriptions();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].exchangeID, '1');
    EXPECT_EQ(ids(sent[0]), (std::vector<std::string>{"600000", "600036"}));
    EXPECT_EQ(sent[1].exchangeID, '2');
    EXPECT_EQ(ids(sent[1]), (std::vector<std::string>{"000001"}));
    EXPECT_EQ(ids(sent[2]), (std::vector<std::string>{"601318"}));
    EXPECT_EQ(sent[3].exchangeID, 'U');
    EXPECT_EQ(ids(sent[3]), (std::vector<std::string>{"999999"}));
    // Still recorded, so its unsubscribe goes out.
    EXPECT_EQ(md_->registeredIDs("U.0"), (SecuritySet{"999999"}));
    unsubscribe(nullptr, {"999999"});
    ASSERT_EQ(unsubscriptions().size(), 1u);
    EXPECT_EQ(unsubscriptions()[0].exchangeID, 'U');
}

TEST_F(MdSession, WhileWorkingSubscriptionsGoStraightOutAndEachIdOnlyOnce) {
    login();
    broker_->setNextReturn("SubscribeMarketData", 7);
    EXPECT_EQ(subscribe("1", {"600000", "600036"}), 7) << "the SDK's result is passed back";
    EXPECT_EQ(subscribe("1", {"600000"}), 0);
    EXPECT_EQ(subscribe("SHFE", {"rb2405"}), 0);
    std::vector<torasim::Request> sent = subscriptions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].exchangeID, '1');
    EXPECT_EQ(ids(sent[0]), (std::vector<std::string>{"600000", "600036"}));

    EXPECT_EQ(unsubscribe("1", {"601318"}), 0);
    EXPECT_TRUE(unsubscriptions().empty());
    EXPECT_EQ(unsubscribe("1", {"600036"}), 0);
    std::vector<torasim::Request> gone = unsubscriptions();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].exchangeID, '1');
    EXPECT_EQ(ids(gone[0]), (std::vector<std::string>{"600036"}));
    EXPECT_EQ(md_->registeredIDs("1.0"), (SecuritySet{"600000"}));
}

TEST_F(MdSession, IdsWithoutExchangeUseTheDirectoryOrGoOutUnderU) {
    tc::securityDirectory.enter("000001", "2", 'a', 100);
    login();
    EXPECT_EQ(subscribe(nullptr, {"000001", "123456"}), 0);
    std::vector<torasim::Request> sent = subscriptions();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].exchangeID, '2');
    EXPECT_EQ(ids(sent[0]), (std::vector<std::string>{"000001"}));
    EXPECT_EQ(sent[1].exchangeID, 'U');
    EXPECT_EQ(ids(sent[1]), (std::vector<std::string>{"123456"}));
}

TEST_F(MdSession, DisconnectionIsReportedAndEverySubscriptionIsSentAgainAfterTheNextLogin) {
    login();
    subscribe("1", {"600000"});
    subscribe("2", {"000001", "000002"});
    tc::recording::clear();

    ASSERT_EQ(broker_->dropConnection(torasim::kReasonHeartbeatTimeout, Side::Md), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Disconnected);
    std::vector<Call> events = generalEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventID, ENUM_TORAStockEventID_MdDisconnected);
    EXPECT_EQ(events[0].record, nullptr);
    EXPECT_TRUE(events[0].isLast);
    EXPECT_EQ(events[0].errorID, torasim::kReasonHeartbeatTimeout);
    EXPECT_EQ(events[0].message, "Error:Md Disconnected.");
    EXPECT_EQ(events[0].userID, "u1");

    // Made while disconnected: recorded, not sent.
    broker_->clearRequests();
    EXPECT_EQ(subscribe("1", {"600519"}), 0);
    EXPECT_TRUE(subscriptions().empty());

    connect();
    EXPECT_TRUE(subscriptions().empty()) << "nothing is sent before the new login";
    login();
    EXPECT_EQ(generalEvents(ENUM_EventID_MdReady).size(), 1u);
    std::vector<torasim::Request> sent = subscriptions();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].exchangeID, '1');
    EXPECT_EQ(ids(sent[0]), (std::vector<std::string>{"600000", "600519"}));
    EXPECT_EQ(sent[1].exchangeID, '2');
    EXPECT_EQ(ids(sent[1]), (std::vector<std::string>{"000001", "000002"}));
}

TEST_F(MdSession, UnknownIdsAreReresolvedAtLoginAndDroppedWhenStillUnknown) {
    EXPECT_EQ(subscribe(nullptr, {"510300", "999999"}), 0);
    EXPECT_EQ(md_->registeredIDs("U.0"), (SecuritySet{"510300", "999999"}));
    tc::securityDirectory.enter("510300", "1", 'a', 100);
    login();
    std::vector<torasim::Request> sent = subscriptions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].exchangeID, '1');
    EXPECT_EQ(ids(sent[0]), (std::vector<std::string>{"510300"}));
    EXPECT_TRUE(md_->registeredIDs("U.0").empty());
}

TEST_F(MdSession, LoginErrorThreeEndsTheAttemptsOtherErrorsLeaveItToTheSupervisor) {
    login(5, "busy");
    EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Initializing) << "the supervisor asks again";
    std::vector<Call> events = generalEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventID, ENUM_TORAStockTaskID_LoginMd);
    EXPECT_EQ(events[0].errorID, 5);
    EXPECT_EQ(events[0].message, "busy");

    login(3, "wrong password");
    EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Failed);
    events = generalEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].eventID, ENUM_TORAStockTaskID_LoginMd);
    EXPECT_EQ(events[1].errorID, 3);
    EXPECT_EQ(events[1].message, "wrong password");
    EXPECT_TRUE(generalEvents(ENUM_EventID_MdReady).empty());
}

TEST_F(MdSession, LoginAnswersThatAreNotLastChangeNothing) {
    TC_LEGACY_SHAPES_ONLY("the current generation's login answers come alone, without a last flag");
    login(0, "", false);
    EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Initializing);
    std::vector<Call> events = generalEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].isLast);
}

TEST_F(MdSession, LoginThatCannotBeSentIsReported) {
    broker_->setNextReturn("ReqUserLogin", -3);
    EXPECT_EQ(md_->requestLogin(), -3);
    std::vector<Call> events = generalEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventID, ENUM_TORAStockTaskID_LoginMd);
    EXPECT_EQ(events[0].record, nullptr);
    EXPECT_TRUE(events[0].isLast);
    EXPECT_EQ(events[0].errorID, -3);
    EXPECT_EQ(events[0].message, "Error:Fail To Send.");
    EXPECT_EQ(md_->apiStatus(), ENUM_ApiStatus_Initializing);
}

TEST_F(MdSession, TwoAnsweredLoginsRaiseMdReadyAndResendTwice) {
    subscribe("1", {"600000"});
    EXPECT_EQ(md_->requestLogin(), 0);
    EXPECT_EQ(md_->requestLogin(), 0);
    ASSERT_EQ(broker_->requestCount("ReqUserLogin"), 2u);
    answerLogin(0, 0, "", true);
    answerLogin(0, 0, "", true);
    EXPECT_EQ(generalEvents(ENUM_TORAStockTaskID_LoginMd).size(), 2u);
    EXPECT_EQ(generalEvents(ENUM_EventID_MdReady).size(), 2u);
    EXPECT_EQ(subscriptions().size(), 2u);
}

TEST_F(MdSession, SubscribeAndUnsubscribeAnswersAreDelivered) {
    login();
    tc::recording::clear();
    broker_->postMd([](CTORATstpMdSpi *spi) {
        CTORATstpSpecificSecurityField f;
        std::memset(&f, 0, sizeof(f));
        f.ExchangeID = '1';
        tc::copyText(f.SecurityID, "600000");
        spi->OnRspSubMarketData(&f, nullptr, 0, true);
        CTORATstpRspInfoField info = Broker::rspInfo(11, "no such security");
        spi->OnRspSubMarketData(&f, &info, 0, false);
        spi->OnRspUnSubMarketData(&f, nullptr, 0, true);
    });
    ASSERT_TRUE(broker_->drain());
    std::vector<Call> events = generalEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].eventID, ENUM_TORAStockEventID_Subscribe);
    EXPECT_NE(events[0].record, nullptr);
    EXPECT_TRUE(events[0].isLast);
    EXPECT_EQ(events[0].errorID, 0);
    EXPECT_EQ(events[0].message, "");
    EXPECT_EQ(events[1].eventID, ENUM_TORAStockEventID_Subscribe);
    // The current generation's subscription answers carry no last flag: each is last.
    EXPECT_EQ(events[1].isLast, !tc::testing::kLegacyShapes);
    EXPECT_EQ(events[1].errorID, 11);
    EXPECT_EQ(events[1].message, "no such security");
    EXPECT_EQ(events[2].eventID, ENUM_TORAStockEventID_Unsubscribe);
    EXPECT_EQ(events[2].errorID, 0);
}

TEST_F(MdSession, SnapshotsFromTheSdkFillTheStoreThatOrderEntryPricesFrom) {
    login();
    subscribe("1", {"600000"});
    CTORATstpMarketDataField s;
    std::memset(&s, 0, sizeof(s));
    tc::copyText(s.SecurityID, "600000");
    s.ExchangeID = '1';
    s.OpenPrice = 10.1;
    s.BidPrice1 = 10.2;
    s.AskPrice1 = 10.21;
    s.UpperLimitPrice = 11.11;
    s.LowerLimitPrice = 9.09;
    tc::recording::clear();
    broker_->pushDepthMarketData(s);
    s.OpenPrice = 99;
    s.AskPrice1 = 10.22;
    broker_->pushDepthMarketData(s);
    ASSERT_TRUE(broker_->drain());

    std::vector<Call> delivered;
    for (const Call &c : tc::recording::snapshot()) {
        if (c.kind == CallKind::OrderProcessor) delivered.push_back(c);
    }
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].processor, mdProcessor());
    EXPECT_EQ(delivered[0].eventID, ENUM_SnapDataEventID_MarketData);
    EXPECT_EQ(delivered[0].record, delivered[1].record);
    EXPECT_EQ(delivered[0].deliveredRecord, delivered[0].record);
    auto *record = static_cast<const CQNMarketDataField *>(delivered[0].record);
    EXPECT_DOUBLE_EQ(record->OpenPrice, 10.1);
    EXPECT_DOUBLE_EQ(record->AskPrice1, 10.22);

    EXPECT_DOUBLE_EQ(tc::getBestPrice(md_.get(), "600000.1", true, 0), 10.22);
    EXPECT_DOUBLE_EQ(tc::getBestPrice(md_.get(), "600000.1", false, 0), 10.2);
    EXPECT_DOUBLE_EQ(tc::getHomeBestPrice(md_.get(), "600000.1", true, 0), 10.2);
    EXPECT_DOUBLE_EQ(tc::getLimitPrice(md_.get(), "600000.1", true, 0), 11.11);
    EXPECT_DOUBLE_EQ(tc::getLimitPrice(md_.get(), "600000.1", false, 0), 9.09);
    EXPECT_EQ(tc::getBestPrice(md_.get(), "600000.2", true, 0), -1.0);
    EXPECT_EQ(tc::getBestPrice(md_.get(), "", true, 0), -1.0);

    // Records outlive their side: Python may still hold the address.
    md_.reset();
    EXPECT_DOUBLE_EQ(record->OpenPrice, 10.1);
}

}  // namespace
