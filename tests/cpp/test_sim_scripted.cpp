// The simulated broker in scripted mode: addressing, connection control, the request log,
// refusals, pushes, drain, reconnection, and where callbacks run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "engine/Text.h"
#include "support/SimClients.h"

using tc::testing::SimEvent;
using tc::testing::SimMdClient;
using tc::testing::SimTraderClient;
using torasim::Broker;
using torasim::Mode;
using torasim::Side;

using tc::testing::zeroRecord;

namespace {

class SimScripted : public ::testing::Test {
protected:
    void SetUp() override
    {
        address_ = std::string("sim://scripted/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        broker_ = Broker::create(address_, Mode::Scripted);
    }
    void TearDown() override { Broker::remove(address_); }

    // A trader connected through the scripted accept.
    std::unique_ptr<SimTraderClient> connectedTrader()
    {
        auto c = std::make_unique<SimTraderClient>(address_);
        EXPECT_TRUE(broker_->waitForConnections(1, Side::Trader));
        EXPECT_EQ(broker_->acceptConnection(Side::Trader), 1);
        EXPECT_TRUE(broker_->drain());
        EXPECT_EQ(c->spi.count("OnFrontConnected"), 1u);
        return c;
    }

    std::string address_;
    std::shared_ptr<Broker> broker_;
};

TEST_F(SimScripted, UnknownFrontNeverConnectsAndRefusesRequests)
{
    SimTraderClient lost("tcp://192.0.2.1:6500");
    SimMdClient lostMd("tcp://192.0.2.1:6502");
    // A client of a served front goes through a whole exchange meanwhile.
    auto served = connectedTrader();
    CTORATstpReqUserLoginField login = zeroRecord<CTORATstpReqUserLoginField>();
    EXPECT_NE(lost.api->ReqUserLogin(&login, 1), 0);
    EXPECT_NE(lostMd.api->ReqUserLogin(&login, 1), 0);
    EXPECT_EQ(served->api->ReqUserLogin(&login, 1), 0);
    EXPECT_TRUE(broker_->drain());
    EXPECT_TRUE(lost.spi.events().empty());
    EXPECT_TRUE(lostMd.spi.events().empty());
    EXPECT_EQ(broker_->connections().size(), 1u);
    EXPECT_EQ(broker_->requestCount(), 1u);
    EXPECT_EQ(Broker::find("tcp://192.0.2.1:6500"), nullptr);
}

TEST_F(SimScripted, ConnectionWaitsForAcceptAndCallbacksRunOnTheSdkThread)
{
    SimTraderClient c(address_);
    ASSERT_TRUE(broker_->waitForConnections(1, Side::Trader));
    ASSERT_TRUE(broker_->drain());
    EXPECT_TRUE(c.spi.events().empty());   // scripted: nothing until the test accepts
    auto conns = broker_->connections();
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_FALSE(conns[0].connected);
    // Without a connection the SDK refuses to send.
    CTORATstpReqUserLoginField login = zeroRecord<CTORATstpReqUserLoginField>();
    EXPECT_EQ(c.api->ReqUserLogin(&login, 5), -1);

    EXPECT_EQ(broker_->acceptConnection(Side::Md), 0);
    EXPECT_EQ(broker_->acceptConnection(Side::Trader), 1);
    ASSERT_TRUE(broker_->drain());
    auto events = c.spi.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "OnFrontConnected");
    EXPECT_NE(events[0].thread, std::this_thread::get_id());

    // Everything posted for one connection arrives on that one thread, in order.
    for (int i = 0; i < 20; ++i)
        broker_->post([i](CTORATstpTraderSpi* s) {
            CTORATstpRspInfoField info = Broker::rspInfo(i, "x");
            s->OnRspError(&info, i, true);
        });
    ASSERT_TRUE(broker_->drain());
    auto errors = c.spi.events("OnRspError");
    ASSERT_EQ(errors.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(errors[i].requestID, i);
        EXPECT_EQ(errors[i].thread, events[0].thread);
    }
}

TEST_F(SimScripted, RequestLogKeepsTypeOrderAndRecords)
{
    auto c = connectedTrader();
    CTORATstpReqUserLoginField login = zeroRecord<CTORATstpReqUserLoginField>();
    tc::copyText(login.LogInAccount, "u1");
    login.LogInAccountType = TORA_TSTP_LACT_UserID;
    ASSERT_EQ(c->api->ReqUserLogin(&login, 11), 0);
    CTORATstpQrySecurityField qs = zeroRecord<CTORATstpQrySecurityField>();
    qs.ExchangeID = TORA_TSTP_EXD_SSE;
    ASSERT_EQ(c->api->ReqQrySecurity(&qs, 12), 0);
#if TORASIM_HAS_GET_CONNECTION_INFO
    ASSERT_EQ(c->api->ReqGetConnectionInfo(13), 0);   // a request without a record
    const char *third = "ReqGetConnectionInfo";
#else
    ASSERT_EQ(c->api->ReqQryBUProxy(nullptr, 13), 0);
    const char *third = "ReqQryBUProxy";
#endif
    ASSERT_EQ(c->api->ReqQryMarketData(nullptr, 14), 0);   // a record the headers only declare

    auto all = broker_->requests();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].type, "ReqUserLogin");
    EXPECT_EQ(all[1].type, "ReqQrySecurity");
    EXPECT_EQ(all[2].type, third);
    EXPECT_EQ(all[3].type, "ReqQryMarketData");
    EXPECT_LT(all[0].seq, all[1].seq);
    EXPECT_EQ(all[0].requestID, 11);
    EXPECT_EQ(all[0].side, Side::Trader);
    EXPECT_EQ(std::string(all[0].as<CTORATstpReqUserLoginField>().LogInAccount), "u1");
    EXPECT_EQ(all[1].as<CTORATstpQrySecurityField>().ExchangeID, TORA_TSTP_EXD_SSE);
    EXPECT_TRUE(all[2].bytes.empty());
    EXPECT_TRUE(all[3].bytes.empty());

    // waitForRequest hands each request out once, oldest first.
    auto first = broker_->waitForRequest("");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, "ReqUserLogin");
    auto sec = broker_->waitForRequest("ReqQrySecurity");
    ASSERT_TRUE(sec);
    EXPECT_EQ(sec->requestID, 12);
    EXPECT_FALSE(broker_->waitForRequest("ReqQrySecurity", std::chrono::milliseconds(1)));

    // A request sent later from another thread wakes the waiter.
    std::thread later([&] {
        CTORATstpQryOrderField qo = zeroRecord<CTORATstpQryOrderField>();
        c->api->ReqQryOrder(&qo, 99);
    });
    auto qo = broker_->waitForRequest("ReqQryOrder");
    later.join();
    ASSERT_TRUE(qo);
    EXPECT_EQ(qo->requestID, 99);
    EXPECT_EQ(broker_->requestCount("ReqQryOrder"), 1u);
    broker_->clearRequests();
    EXPECT_EQ(broker_->requestCount(), 0u);
}

TEST_F(SimScripted, NextReturnRefusesChosenRequests)
{
    auto c = connectedTrader();
    CTORATstpQryOrderField q = zeroRecord<CTORATstpQryOrderField>();
    broker_->setNextReturn("ReqQryOrder", -2, 2);
    broker_->setNextReturn("", 5);
    CTORATstpQryTradeField qt = zeroRecord<CTORATstpQryTradeField>();
    EXPECT_EQ(c->api->ReqQryTrade(&qt, 1), 5);      // the any-type override, once
    EXPECT_EQ(c->api->ReqQryOrder(&q, 2), -2);
    EXPECT_EQ(c->api->ReqQryOrder(&q, 3), -2);
    EXPECT_EQ(c->api->ReqQryOrder(&q, 4), 0);
    EXPECT_EQ(c->api->ReqQryTrade(&qt, 5), 0);
    auto log = broker_->requests();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].returned, 5);
    EXPECT_EQ(log[1].returned, -2);
    EXPECT_EQ(log[3].returned, 0);
}

TEST_F(SimScripted, RequestLogCanBeBoundedOrSwitchedOff)
{
    auto c = connectedTrader();
    CTORATstpQryOrderField q = zeroRecord<CTORATstpQryOrderField>();
    broker_->setRequestLogLimit(3);
    for (int i = 1; i <= 5; ++i) ASSERT_EQ(c->api->ReqQryOrder(&q, i), 0);
    auto kept = broker_->requests();
    ASSERT_EQ(kept.size(), 3u);   // the newest three
    EXPECT_EQ(kept[0].requestID, 3);
    EXPECT_EQ(kept[2].requestID, 5);
    auto first = broker_->waitForRequest("ReqQryOrder");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->requestID, 3);

    broker_->setRequestLog(false);
    broker_->setNextReturn("ReqQryOrder", -9);
    EXPECT_EQ(c->api->ReqQryOrder(&q, 6), -9);   // still refused as told, just not kept
    EXPECT_EQ(c->api->ReqQryOrder(&q, 7), 0);
    EXPECT_EQ(broker_->requestCount(), 3u);
    EXPECT_EQ(broker_->requestsReceived(), 7u);
    EXPECT_FALSE(broker_->requestLog());
}

TEST_F(SimScripted, PushHelpersDeliverRecordsAndErrors)
{
    auto c = connectedTrader();
    CTORATstpOrderField o = zeroRecord<CTORATstpOrderField>();
    tc::copyText(o.OrderRef, "1001");
    o.OrderStatus = TORA_TSTP_OST_NoTradeQueueing;
    CTORATstpTradeField t = zeroRecord<CTORATstpTradeField>();
    tc::copyText(t.OrderRef, "1001");
    t.Price = 10.5;
    t.Volume = 300;
    CTORATstpInputOrderField in = zeroRecord<CTORATstpInputOrderField>();
    tc::copyText(in.OrderRef, "1002");
    CTORATstpRspUserLoginField login = zeroRecord<CTORATstpRspUserLoginField>();
    login.FrontID = 3;
    login.SessionID = 44;
    tc::copyText(login.TradingDay, "20240103");
    EXPECT_EQ(broker_->pushRspUserLogin(login, 7), 1);
    EXPECT_EQ(broker_->pushRtnOrder(o), 1);
    EXPECT_EQ(broker_->pushRtnTrade(t), 1);
    EXPECT_EQ(broker_->pushErrRtnOrderInsert(in, 10105, "\xbf\xc9\xd3\xc3\xd7\xca\xbd\xf0\xb2\xbb\xd7\xe3"), 1);
    EXPECT_EQ(broker_->pushRspError(8, 40, "busy"), 1);
    CTORATstpMarketStatusField ms = zeroRecord<CTORATstpMarketStatusField>();
    ms.MarketID = TORA_TSTP_MKD_SHA;
    ms.MarketStatus = TORA_TSTP_MST_Closed;
    EXPECT_EQ(broker_->pushRtnMarketStatus(ms), 1);
    ASSERT_TRUE(broker_->drain());

    std::vector<std::string> expected = {"OnFrontConnected", "OnRspUserLogin", "OnRtnOrder", "OnRtnTrade",
                                         "OnErrRtnOrderInsert", "OnRspError", "OnRtnMarketStatus"};
    EXPECT_EQ(c->spi.names(), expected);
    auto ev = c->spi.events();
    EXPECT_EQ(ev[1].as<CTORATstpRspUserLoginField>().SessionID, 44);
    EXPECT_EQ(ev[1].requestID, 7);
    EXPECT_TRUE(ev[1].isLast);
    EXPECT_EQ(ev[1].errorID, 0);
    EXPECT_EQ(std::string(ev[2].as<CTORATstpOrderField>().OrderRef), "1001");
    EXPECT_DOUBLE_EQ(ev[3].as<CTORATstpTradeField>().Price, 10.5);
    EXPECT_EQ(ev[4].errorID, 10105);
    EXPECT_EQ(ev[4].errorMsg, "\xbf\xc9\xd3\xc3\xd7\xca\xbd\xf0\xb2\xbb\xd7\xe3");
    EXPECT_EQ(ev[5].errorID, 40);
    EXPECT_EQ(ev[6].as<CTORATstpMarketStatusField>().MarketStatus, TORA_TSTP_MST_Closed);
}

TEST_F(SimScripted, AnswerWithSeveralRecordsThroughPost)
{
    auto c = connectedTrader();
    CTORATstpQryPositionField q = zeroRecord<CTORATstpQryPositionField>();
    ASSERT_EQ(c->api->ReqQryPosition(&q, 21), 0);
    auto r = broker_->waitForRequest("ReqQryPosition");
    ASSERT_TRUE(r);
    int id = r->requestID;
    broker_->post([id](CTORATstpTraderSpi* s) {
        for (int i = 0; i < 3; ++i) {
            CTORATstpPositionField p = zeroRecord<CTORATstpPositionField>();
            p.CurrentPosition = 100 * (i + 1);
            s->OnRspQryPosition(&p, nullptr, id, i == 2);
        }
    });
    ASSERT_TRUE(broker_->drain());
    auto ev = c->spi.events("OnRspQryPosition");
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_FALSE(ev[0].isLast);
    EXPECT_TRUE(ev[2].isLast);
    EXPECT_EQ(ev[2].as<CTORATstpPositionField>().CurrentPosition, 300);
    EXPECT_FALSE(ev[2].hasInfo);
}

TEST_F(SimScripted, DropWithReasonThenAcceptAgain)
{
    auto c = connectedTrader();
    EXPECT_EQ(broker_->dropConnection(torasim::kReasonHeartbeatTimeout), 1);
    ASSERT_TRUE(broker_->drain());
    auto d = c->spi.events("OnFrontDisconnected");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].reason, torasim::kReasonHeartbeatTimeout);
    EXPECT_EQ(broker_->dropConnection(), 0);   // nothing left to drop
    CTORATstpQryOrderField q = zeroRecord<CTORATstpQryOrderField>();
    EXPECT_EQ(c->api->ReqQryOrder(&q, 1), -1);
    EXPECT_EQ(broker_->acceptConnection(), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(c->spi.count("OnFrontConnected"), 2u);
    EXPECT_EQ(c->api->ReqQryOrder(&q, 2), 0);
}

TEST_F(SimScripted, AutoAcceptReconnectsAfterTheDelayAndDrainCoversIt)
{
    broker_->setAutoAccept(true);
    SimTraderClient c(address_);
    SimMdClient m(address_);
    ASSERT_TRUE(broker_->waitForConnections(2));
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(c.spi.count("OnFrontConnected"), 1u);
    EXPECT_EQ(m.spi.count("OnFrontConnected"), 1u);
    EXPECT_EQ(broker_->dropConnection(torasim::kReasonReadFailed, Side::Both, std::chrono::milliseconds(30)), 2);
    ASSERT_TRUE(broker_->drain());
    std::vector<std::string> expected = {"OnFrontConnected", "OnFrontDisconnected", "OnFrontConnected"};
    EXPECT_EQ(c.spi.names(), expected);
    EXPECT_EQ(m.spi.names(), expected);
    for (const auto& info : broker_->connections()) EXPECT_TRUE(info.connected);
}

TEST_F(SimScripted, BrokerCreatedAfterInitStillGetsTheConnection)
{
    std::string late = address_ + "/late";
    SimTraderClient c(late);
    EXPECT_EQ(Broker::find(late), nullptr);
    auto b = Broker::create(late, Mode::Scripted);
    b->setAutoAccept(true);
    ASSERT_TRUE(b->waitForConnections(1));
    ASSERT_EQ(b->acceptConnection(), 1);   // it arrived before auto-accept was on
    ASSERT_TRUE(b->drain());
    EXPECT_EQ(c.spi.count("OnFrontConnected"), 1u);
    Broker::remove(late);
}

TEST_F(SimScripted, RemovedBrokerDisconnectsAndARecreatedOneTakesOver)
{
    auto c = connectedTrader();
    ASSERT_TRUE(Broker::remove(address_));
    c->spi.waitFor("OnFrontDisconnected");
    CTORATstpQryOrderField q = zeroRecord<CTORATstpQryOrderField>();
    EXPECT_EQ(c->api->ReqQryOrder(&q, 1), -1);
    auto again = Broker::create(address_, Mode::Scripted);
    ASSERT_TRUE(again->waitForConnections(1));
    ASSERT_EQ(again->acceptConnection(), 1);
    ASSERT_TRUE(again->drain());
    EXPECT_EQ(c->spi.count("OnFrontConnected"), 2u);
    EXPECT_EQ(c->api->ReqQryOrder(&q, 2), 0);
    EXPECT_EQ(again->requestCount("ReqQryOrder"), 1u);
    broker_ = again;
}

TEST_F(SimScripted, ReleaseFromInsideACallbackIsSafe)
{
    SimTraderClient c(address_);
    std::atomic<int> after{0};
    std::promise<void> released;
    c.spi.setHook([&](const SimEvent& e) {
        if (e.name == "OnRspError" && c.api) {
            CTORATstpTraderApi* api = c.api;
            c.api = nullptr;
            api->Release();
            released.set_value();
        } else if (e.name == "OnRtnOrder") {
            ++after;
        }
    });
    ASSERT_TRUE(broker_->waitForConnections(1));
    ASSERT_EQ(broker_->acceptConnection(), 1);
    ASSERT_TRUE(broker_->drain());
    broker_->pushRspError(1, 1, "bye");
    CTORATstpOrderField o = zeroRecord<CTORATstpOrderField>();
    broker_->pushRtnOrder(o);
    ASSERT_EQ(released.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // The broker no longer knows the connection, and nothing queued behind the call arrives.
    EXPECT_TRUE(broker_->connections().empty());
    EXPECT_TRUE(broker_->drain());
    EXPECT_EQ(after.load(), 0);
    EXPECT_EQ(broker_->pushRtnOrder(o), 0);
}

TEST_F(SimScripted, MdSubscriptionRequestsAreLoggedWithTheirSecurities)
{
    SimMdClient m(address_);
    ASSERT_TRUE(broker_->waitForConnections(1, Side::Md));
    ASSERT_EQ(broker_->acceptConnection(Side::Md), 1);
    ASSERT_TRUE(broker_->drain());
    char a[] = "600000";
    char b[] = "600519";
    char* ids[] = {a, b};
    ASSERT_EQ(m.api->SubscribeMarketData(ids, 2, TORA_TSTP_EXD_SSE), 0);
    auto r = broker_->waitForRequest("SubscribeMarketData");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->side, Side::Md);
    EXPECT_EQ(r->exchangeID, TORA_TSTP_EXD_SSE);
    EXPECT_EQ(r->securities, (std::vector<std::string>{"600000", "600519"}));
    CTORATstpMarketDataField md = zeroRecord<CTORATstpMarketDataField>();
    tc::copyText(md.SecurityID, "600000");
    md.LastPrice = 10.01;
    EXPECT_EQ(broker_->pushDepthMarketData(md), 1);
    ASSERT_TRUE(broker_->drain());
    auto ev = m.spi.events("OnRtnDepthMarketData");
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_DOUBLE_EQ(ev[0].as<CTORATstpMarketDataField>().LastPrice, 10.01);
}

TEST_F(SimScripted, FaultsRefuseSendsAndDisconnectWithAutomaticReconnection)
{
    auto c = connectedTrader();
    torasim::FaultConfig f;
    f.seed = 3;
    f.refuseSend = 0.5;
    f.refuseCode = -7;
    broker_->setFaults(f);
    CTORATstpQryOrderField q = zeroRecord<CTORATstpQryOrderField>();
    int refused = 0;
    for (int i = 0; i < 200; ++i)
        if (c->api->ReqQryOrder(&q, i) == -7) ++refused;
    EXPECT_GT(refused, 50);
    EXPECT_LT(refused, 150);
    EXPECT_EQ(broker_->faultCounters().refusedSends, static_cast<std::uint64_t>(refused));

    f.refuseSend = 0;
    f.disconnect = 1.0;
    f.reconnectMillis = 5;
    broker_->setFaults(f);
    EXPECT_EQ(c->api->ReqQryOrder(&q, 1000), 0);   // sent, then the line drops
    ASSERT_TRUE(broker_->drain());
    std::vector<std::string> expected = {"OnFrontConnected", "OnFrontDisconnected", "OnFrontConnected"};
    EXPECT_EQ(c->spi.names(), expected);
    EXPECT_EQ(broker_->faultCounters().disconnects, 1u);
}

TEST_F(SimScripted, NotificationFaultsDuplicateAndReorder)
{
    auto c = connectedTrader();
    torasim::FaultConfig f;
    f.duplicateNotice = 1.0;
    broker_->setFaults(f);
    CTORATstpOrderField o = zeroRecord<CTORATstpOrderField>();
    tc::copyText(o.OrderRef, "1");
    broker_->pushRtnOrder(o);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(c->spi.count("OnRtnOrder"), 2u);
    EXPECT_EQ(broker_->faultCounters().duplicatedNotices, 1u);

    c->spi.clear();
    f.duplicateNotice = 0;
    f.reorderNotice = 1.0;
    f.lateMillis = 5000;   // the held notification waits for the next one, not for the clock
    broker_->setFaults(f);
    tc::copyText(o.OrderRef, "A");
    broker_->pushRtnOrder(o);
    CTORATstpTradeField t = zeroRecord<CTORATstpTradeField>();
    tc::copyText(t.OrderRef, "B");
    broker_->pushRtnTrade(t);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(c->spi.names(), (std::vector<std::string>{"OnRtnTrade", "OnRtnOrder"}));
    EXPECT_EQ(broker_->faultCounters().reorderedNotices, 1u);
}

}  // namespace

// A removed broker's drain still covers what its connections had queued (their disconnection
// among it): a test that drains after removing knows that no callback runs any more.
TEST_F(SimScripted, DrainAfterRemoveWaitsForTheReleasedConnections)
{
    auto c = connectedTrader();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> ran{false};
    ASSERT_EQ(broker_->post([released, &ran](CTORATstpTraderSpi*) {
        released.wait();
        ran = true;
    }), 1);
    ASSERT_TRUE(Broker::remove(address_));
    EXPECT_FALSE(broker_->drain(torasim::Millis(50))) << "the held callback has not returned";
    release.set_value();
    ASSERT_TRUE(broker_->drain());
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(c->spi.count("OnFrontDisconnected"), 1u);
}
