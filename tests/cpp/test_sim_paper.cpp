// The simulated broker in paper mode: login and queries from its own state, matching against its
// book, notification sequences per order type, rejects, cash and position accounting,
// transfers, the password change, market data, replay and faults.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "engine/Text.h"
#include "support/SimClients.h"

using tc::testing::SimEvent;
using tc::testing::SimMdClient;
using tc::testing::SimTraderClient;
using torasim::BookLevels;
using torasim::Broker;
using torasim::Mode;
using torasim::PaperConfig;
using torasim::Side;

using tc::testing::zeroRecord;

namespace {

const char* const kNoCashMsg = "\xbf\xc9\xd3\xc3\xd7\xca\xbd\xf0\xb2\xbb\xd7\xe3";  // GB2312

BookLevels book(std::vector<std::pair<double, long long>> bids, std::vector<std::pair<double, long long>> asks)
{
    BookLevels b;
    for (std::size_t i = 0; i < bids.size() && i < 5; ++i) {
        b.bidPrice[i] = bids[i].first;
        b.bidVolume[i] = bids[i].second;
    }
    for (std::size_t i = 0; i < asks.size() && i < 5; ++i) {
        b.askPrice[i] = asks[i].first;
        b.askVolume[i] = asks[i].second;
    }
    return b;
}

class SimPaper : public ::testing::Test {
protected:
    void SetUp() override
    {
        address_ = std::string("sim://paper-test/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        broker_ = Broker::create(address_, Mode::Paper);
        cfg_.snapshotsPerSecond = 0;   // the test moves the market
        cfg_.cash = 1000000;
        cfg_.tradingDay = "20240105";
        cfg_.frontID = 7;
        torasim::SecurityConfig sh;
        sh.securityID = "600000";
        sh.exchangeID = TORA_TSTP_EXD_SSE;
        sh.preClosePrice = 10.00;
        torasim::SecurityConfig sz;
        sz.securityID = "000001";
        sz.exchangeID = TORA_TSTP_EXD_SZSE;
        sz.preClosePrice = 12.00;
        cfg_.securities = {sh, sz};
        torasim::PositionConfig held;
        held.securityID = "000001";
        held.exchangeID = TORA_TSTP_EXD_SZSE;
        held.volume = 5000;
        held.openCost = 55000;
        cfg_.positions = {held};
    }
    void TearDown() override
    {
        trader_.reset();
        md_.reset();
        Broker::remove(address_);
    }

    void configure() { broker_->setPaperConfig(cfg_); }

    // A trader connected and logged in; returns the login answer.
    CTORATstpRspUserLoginField login(const char* password = "pw")
    {
        if (!trader_) trader_ = std::make_unique<SimTraderClient>(address_);
        EXPECT_TRUE(trader_->spi.waitFor("OnFrontConnected"));
        std::size_t before = trader_->spi.count("OnRspUserLogin");
        CTORATstpReqUserLoginField req = zeroRecord<CTORATstpReqUserLoginField>();
        tc::copyText(req.LogInAccount, "user1");
        req.LogInAccountType = TORA_TSTP_LACT_UserID;
        tc::copyText(req.Password, password);
        EXPECT_EQ(trader_->api->ReqUserLogin(&req, 1), 0);
        EXPECT_TRUE(trader_->spi.waitFor("OnRspUserLogin", before + 1));
        return trader_->spi.events("OnRspUserLogin").back().as<CTORATstpRspUserLoginField>();
    }

    void mdLogin()
    {
        md_ = std::make_unique<SimMdClient>(address_);
        ASSERT_TRUE(md_->spi.waitFor("OnFrontConnected"));
        CTORATstpReqUserLoginField req = zeroRecord<CTORATstpReqUserLoginField>();
        tc::copyText(req.LogInAccount, "user1");
        tc::copyText(req.Password, "pw");
        ASSERT_EQ(md_->api->ReqUserLogin(&req, 0), 0);
        ASSERT_TRUE(md_->spi.waitFor("OnRspUserLogin"));
    }

    int order(const char* id, char exchange, char direction, double price, int volume, char priceType = TORA_TSTP_OPT_LimitPrice,
              char timeCondition = TORA_TSTP_TC_GFD, char volumeCondition = TORA_TSTP_VC_AV)
    {
        CTORATstpInputOrderField f = zeroRecord<CTORATstpInputOrderField>();
        tc::copyText(f.SecurityID, id);
        char ref[16];
        std::snprintf(ref, sizeof ref, "%d", nextRef_);
        tc::copyText(f.OrderRef, ref);
        f.OrderPriceType = priceType;
        f.Direction = direction;
        f.CombOffsetFlag[0] = '0';
        f.CombHedgeFlag[0] = '1';
        f.LimitPrice = price;
        f.VolumeTotalOriginal = volume;
        f.TimeCondition = timeCondition;
        f.VolumeCondition = volumeCondition;
        f.ExchangeID = exchange;
        int id2 = nextRef_++;
        EXPECT_EQ(trader_->api->ReqOrderInsert(&f, id2), 0);
        return id2;
    }

    int cancel(const std::string& orderSysID, char exchange)
    {
        CTORATstpInputOrderActionField a = zeroRecord<CTORATstpInputOrderActionField>();
        a.ExchangeID = exchange;
        tc::copyText(a.OrderSysID, orderSysID.c_str());
        a.ActionFlag = TORA_TSTP_AF_Delete;
        int id = nextRef_++;
        EXPECT_EQ(trader_->api->ReqOrderAction(&a, id), 0);
        return id;
    }

    // The order notifications' statuses, in arrival order.
    std::string statuses() const
    {
        std::string s;
        for (const auto& e : trader_->spi.events("OnRtnOrder")) s += e.as<CTORATstpOrderField>().OrderStatus;
        return s;
    }

    std::vector<std::string> flow() const
    {
        std::vector<std::string> v;
        for (const auto& n : trader_->spi.names())
            if (n != "OnFrontConnected" && n != "OnRspUserLogin") v.push_back(n);
        return v;
    }

    std::string lastSysID() const
    {
        return trader_->spi.events("OnRtnOrder").back().as<CTORATstpOrderField>().OrderSysID;
    }

    std::string address_;
    std::shared_ptr<Broker> broker_;
    PaperConfig cfg_;
    std::unique_ptr<SimTraderClient> trader_;
    std::unique_ptr<SimMdClient> md_;
    int nextRef_ = 1001;
};

TEST_F(SimPaper, LoginAndQueriesAnswerFromTheBrokersState)
{
    cfg_.password = "pw";
    configure();
    CTORATstpRspUserLoginField a = login("wrong");
    auto bad = trader_->spi.events("OnRspUserLogin").back();
    EXPECT_EQ(bad.errorID, 3);
    EXPECT_TRUE(bad.record.empty());
    a = login("pw");
    EXPECT_EQ(a.FrontID, 7);
    EXPECT_GT(a.SessionID, 0);
    EXPECT_STREQ(a.TradingDay, "20240105");

    CTORATstpQrySecurityField qs = zeroRecord<CTORATstpQrySecurityField>();
    ASSERT_EQ(trader_->api->ReqQrySecurity(&qs, 2), 0);
    CTORATstpQryShareholderAccountField qh = zeroRecord<CTORATstpQryShareholderAccountField>();
    ASSERT_EQ(trader_->api->ReqQryShareholderAccount(&qh, 3), 0);
    CTORATstpQryTradingAccountField qa = zeroRecord<CTORATstpQryTradingAccountField>();
    ASSERT_EQ(trader_->api->ReqQryTradingAccount(&qa, 4), 0);
    CTORATstpQryPositionField qp = zeroRecord<CTORATstpQryPositionField>();
    ASSERT_EQ(trader_->api->ReqQryPosition(&qp, 5), 0);
    CTORATstpQryOrderField qo = zeroRecord<CTORATstpQryOrderField>();
    ASSERT_EQ(trader_->api->ReqQryOrder(&qo, 6), 0);
    CTORATstpQryETFFileField qe = zeroRecord<CTORATstpQryETFFileField>();
    ASSERT_EQ(trader_->api->ReqQryETFFile(&qe, 7), 0);
    ASSERT_EQ(trader_->api->ReqQryBUProxy(nullptr, 8), 0);
#if TORASIM_HAS_GET_CONNECTION_INFO
    ASSERT_EQ(trader_->api->ReqGetConnectionInfo(9), 0);
#endif
    ASSERT_TRUE(broker_->drain());

    auto secs = trader_->spi.events("OnRspQrySecurity");
    ASSERT_EQ(secs.size(), 2u);
    EXPECT_FALSE(secs[0].isLast);
    EXPECT_TRUE(secs[1].isLast);
    auto s0 = secs[0].as<CTORATstpSecurityField>();
    EXPECT_STREQ(s0.SecurityID, "600000");
    EXPECT_EQ(s0.ExchangeID, TORA_TSTP_EXD_SSE);
    EXPECT_EQ(s0.SecurityType, TORA_TSTP_STP_SHAShares);
    EXPECT_EQ(s0.VolumeMultiple, 1);
    EXPECT_DOUBLE_EQ(s0.UpperLimitPrice, 11.00);
    EXPECT_DOUBLE_EQ(s0.LowerLimitPrice, 9.00);
    EXPECT_EQ(secs[1].as<CTORATstpSecurityField>().SecurityType, TORA_TSTP_STP_SZMainAShares);

    auto holders = trader_->spi.events("OnRspQryShareholderAccount");
    ASSERT_EQ(holders.size(), 2u);
    EXPECT_EQ(holders[0].as<CTORATstpShareholderAccountField>().ExchangeID, TORA_TSTP_EXD_SSE);
    EXPECT_STREQ(holders[0].as<CTORATstpShareholderAccountField>().ShareholderID, "A000000001");
    EXPECT_EQ(holders[1].as<CTORATstpShareholderAccountField>().ExchangeID, TORA_TSTP_EXD_SZSE);

    auto acct = trader_->spi.events("OnRspQryTradingAccount");
    ASSERT_EQ(acct.size(), 1u);
    EXPECT_DOUBLE_EQ(acct[0].as<CTORATstpTradingAccountField>().Available, 1000000);
    EXPECT_STREQ(acct[0].as<CTORATstpTradingAccountField>().AccountID, "11000001");
    EXPECT_STREQ(acct[0].as<CTORATstpTradingAccountField>().DepartmentID, "0001");

    auto pos = trader_->spi.events("OnRspQryPosition");
    ASSERT_EQ(pos.size(), 1u);
    EXPECT_EQ(pos[0].as<CTORATstpPositionField>().CurrentPosition, 5000);
    EXPECT_EQ(pos[0].as<CTORATstpPositionField>().AvailablePosition, 5000);

    // No orders yet: one empty final answer. The same for queries of things a paper broker
    // does not keep.
    auto orders = trader_->spi.events("OnRspQryOrder");
    ASSERT_EQ(orders.size(), 1u);
    EXPECT_TRUE(orders[0].record.empty());
    EXPECT_TRUE(orders[0].isLast);
    EXPECT_EQ(orders[0].errorID, 0);
    ASSERT_EQ(trader_->spi.count("OnRspQryETFFile"), 1u);
    EXPECT_TRUE(trader_->spi.events("OnRspQryETFFile")[0].isLast);
    EXPECT_EQ(trader_->spi.count("OnRspQryBUProxy"), 1u);
#if TORASIM_HAS_GET_CONNECTION_INFO
    ASSERT_EQ(trader_->spi.count("OnRspGetConnectionInfo"), 1u);
    EXPECT_EQ(trader_->spi.events("OnRspGetConnectionInfo")[0].requestID, 9);
#endif
}

TEST_F(SimPaper, RequestsBeforeLoginAreRefused)
{
    configure();
    trader_ = std::make_unique<SimTraderClient>(address_);
    ASSERT_TRUE(trader_->spi.waitFor("OnFrontConnected"));
    CTORATstpQryOrderField qo = zeroRecord<CTORATstpQryOrderField>();
    ASSERT_EQ(trader_->api->ReqQryOrder(&qo, 3), 0);
    ASSERT_TRUE(broker_->drain());
    auto ev = trader_->spi.events("OnRspQryOrder");
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].errorID, 10001);
}

TEST_F(SimPaper, LimitBuyWalksTheBookThenRestsAndCancelsItsRemainder)
{
    configure();
    login();
    ASSERT_TRUE(broker_->setBook("600000", book({{10.00, 1000}}, {{10.01, 300}, {10.02, 500}, {10.03, 1000}})));
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.02, 1000);
    ASSERT_TRUE(broker_->drain());
    std::vector<std::string> expected = {"OnRspOrderInsert", "OnRtnOrder", "OnRtnTrade", "OnRtnOrder",
                                         "OnRtnTrade", "OnRtnOrder"};
    EXPECT_EQ(flow(), expected);
    EXPECT_EQ(statuses(), "311");
    auto trades = trader_->spi.events("OnRtnTrade");
    EXPECT_DOUBLE_EQ(trades[0].as<CTORATstpTradeField>().Price, 10.01);
    EXPECT_EQ(trades[0].as<CTORATstpTradeField>().Volume, 300);
    EXPECT_DOUBLE_EQ(trades[1].as<CTORATstpTradeField>().Price, 10.02);
    EXPECT_EQ(trades[1].as<CTORATstpTradeField>().Volume, 500);
    EXPECT_STREQ(trades[0].as<CTORATstpTradeField>().OrderRef, "1001");
    auto accepted = trader_->spi.events("OnRtnOrder")[0].as<CTORATstpOrderField>();
    EXPECT_STREQ(accepted.OrderRef, "1001");
    EXPECT_EQ(accepted.OrderSubmitStatus, TORA_TSTP_OSS_Accepted);
    EXPECT_EQ(accepted.FrontID, 7);
    EXPECT_EQ(accepted.VolumeTotal, 1000);
    EXPECT_STREQ(accepted.OrderSysID, trades[0].as<CTORATstpTradeField>().OrderSysID);
    auto part = trader_->spi.events("OnRtnOrder").back().as<CTORATstpOrderField>();
    EXPECT_EQ(part.VolumeTraded, 800);
    EXPECT_EQ(part.VolumeTotal, 200);
    // The front reports what is left to trade with.
    double spent = 300 * 10.01 + 500 * 10.02;
    double held = 200 * 10.02;
    EXPECT_NEAR(part.RtnFloatInfo, 1000000 - spent - held, 1e-6);

    std::string sys = accepted.OrderSysID;
    cancel(sys, TORA_TSTP_EXD_SSE);
    ASSERT_TRUE(broker_->drain());
    auto names = flow();
    EXPECT_EQ(names[names.size() - 2], "OnRspOrderAction");
    EXPECT_EQ(names.back(), "OnRtnOrder");
    auto cancelled = trader_->spi.events("OnRtnOrder").back().as<CTORATstpOrderField>();
    EXPECT_EQ(cancelled.OrderStatus, TORA_TSTP_OST_Canceled);
    EXPECT_EQ(cancelled.VolumeTraded, 800);
    EXPECT_EQ(cancelled.VolumeTotal, 0);
    EXPECT_STRNE(cancelled.CancelTime, "");
    EXPECT_NEAR(cancelled.RtnFloatInfo, 1000000 - spent, 1e-6);

    auto led = broker_->order(sys);
    ASSERT_TRUE(led);
    EXPECT_EQ(led->tradedVolume, 800);
    EXPECT_EQ(led->cancelledVolume, 200);
    EXPECT_NEAR(led->turnover, spent, 1e-6);
    EXPECT_EQ(led->orderStatus, TORA_TSTP_OST_Canceled);
    auto acct = broker_->account();
    EXPECT_NEAR(acct.cash, 1000000 - spent, 1e-6);
    EXPECT_NEAR(acct.frozen, 0, 1e-9);
    EXPECT_NEAR(acct.available, acct.cash, 1e-9);
    auto pos = broker_->position("600000");
    ASSERT_TRUE(pos);
    EXPECT_EQ(pos->volume, 800);
    EXPECT_EQ(pos->todayBuy, 800);
    EXPECT_EQ(pos->available, 0);   // bought today, sellable tomorrow

    // A second cancel of a finished order is refused, echoing the request.
    cancel(sys, TORA_TSTP_EXD_SSE);
    ASSERT_TRUE(broker_->drain());
    auto err = trader_->spi.events("OnErrRtnOrderAction");
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].errorID, 10202);
    EXPECT_STREQ(err[0].as<CTORATstpOrderActionField>().OrderSysID, sys.c_str());
}

TEST_F(SimPaper, RestingOrdersTradeByPriceThenTime)
{
    configure();
    login();
    ASSERT_TRUE(broker_->setBook("600000", book({{9.97, 1000}}, {{10.01, 1000}})));
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 9.98, 500);   // 1001
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 9.99, 500);   // 1002
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 9.98, 500);   // 1003, behind 1001 in time
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.count("OnRtnTrade"), 0u);

    // The ask comes down to 9.98 for 800 shares: the best bid (1002) first, then 1001.
    ASSERT_TRUE(broker_->setBook("600000", book({{9.97, 1000}}, {{9.98, 800}})));
    ASSERT_TRUE(broker_->drain());
    auto trades = trader_->spi.events("OnRtnTrade");
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_STREQ(trades[0].as<CTORATstpTradeField>().OrderRef, "1002");
    EXPECT_EQ(trades[0].as<CTORATstpTradeField>().Volume, 500);
    EXPECT_DOUBLE_EQ(trades[0].as<CTORATstpTradeField>().Price, 9.98);
    EXPECT_STREQ(trades[1].as<CTORATstpTradeField>().OrderRef, "1001");
    EXPECT_EQ(trades[1].as<CTORATstpTradeField>().Volume, 300);

    // Sells wait above the market the same way, and a crossing bid lifts the lower one first.
    order("000001", TORA_TSTP_EXD_SZSE, TORA_TSTP_D_Sell, 12.10, 1000);   // 1004
    order("000001", TORA_TSTP_EXD_SZSE, TORA_TSTP_D_Sell, 12.05, 1000);   // 1005
    ASSERT_TRUE(broker_->setBook("000001", book({{12.20, 1500}}, {{12.30, 100}})));
    ASSERT_TRUE(broker_->drain());
    trades = trader_->spi.events("OnRtnTrade");
    ASSERT_EQ(trades.size(), 4u);
    EXPECT_STREQ(trades[2].as<CTORATstpTradeField>().OrderRef, "1005");
    EXPECT_EQ(trades[2].as<CTORATstpTradeField>().Volume, 1000);
    EXPECT_DOUBLE_EQ(trades[2].as<CTORATstpTradeField>().Price, 12.20);
    EXPECT_STREQ(trades[3].as<CTORATstpTradeField>().OrderRef, "1004");
    EXPECT_EQ(trades[3].as<CTORATstpTradeField>().Volume, 500);
    auto pos = broker_->position("000001");
    ASSERT_TRUE(pos);
    EXPECT_EQ(pos->volume, 3500);
    EXPECT_EQ(pos->frozen, 500);
    EXPECT_EQ(pos->available, 3000);
}

TEST_F(SimPaper, NotificationSequencePerOrderType)
{
    configure();
    login();
    auto reset = [&] {
        ASSERT_TRUE(broker_->drain());
        trader_->spi.clear();
    };
    auto market = book({{9.99, 200}, {9.98, 200}, {9.97, 200}, {9.96, 200}, {9.95, 200}},
                       {{10.01, 200}, {10.02, 200}, {10.03, 200}, {10.04, 200}, {10.05, 200}, });
    struct Case {
        const char* what;
        char priceType, timeCondition, volumeCondition;
        double price;
        int volume;
        std::string statuses;   // of the order notifications
        int trades;
    };
    const Case cases[] = {
        // Limit within the book: accepted, then one notification per fill.
        {"limit, all traded", TORA_TSTP_OPT_LimitPrice, TORA_TSTP_TC_GFD, TORA_TSTP_VC_AV, 10.02, 400, "310", 2},
        // Limit below the ask: accepted and waiting.
        {"limit, resting", TORA_TSTP_OPT_LimitPrice, TORA_TSTP_TC_GFD, TORA_TSTP_VC_AV, 9.90, 100, "3", 0},
        // Market, rest cancelled (SZSE/SSE immediate-or-cancel): fills then the cancel.
        {"any price, IOC", TORA_TSTP_OPT_AnyPrice, TORA_TSTP_TC_IOC, TORA_TSTP_VC_AV, 11.00, 1200, "3111115", 5},
        // Fill or kill that cannot fill: accepted then cancelled, no trade.
        {"any price, FOK", TORA_TSTP_OPT_AnyPrice, TORA_TSTP_TC_IOC, TORA_TSTP_VC_CV, 11.00, 1200, "35", 0},
        // Fill or kill that can.
        {"any price, FOK filled", TORA_TSTP_OPT_AnyPrice, TORA_TSTP_TC_IOC, TORA_TSTP_VC_CV, 11.00, 300, "310", 2},
        // Five levels then cancel.
        {"five levels, IOC", TORA_TSTP_OPT_FiveLevelPrice, TORA_TSTP_TC_IOC, TORA_TSTP_VC_AV, 11.00, 1100, "3111115", 5},
        // Five levels then the rest waits at the last fill's price.
        {"five levels, rest as limit", TORA_TSTP_OPT_FiveLevelPrice, TORA_TSTP_TC_GFD, TORA_TSTP_VC_AV, 11.00, 1100,
         "311111", 5},
        // Best opposite price: takes the ask level, waits there with the rest.
        {"best price", TORA_TSTP_OPT_BestPrice, TORA_TSTP_TC_GFD, TORA_TSTP_VC_AV, 10.01, 300, "31", 1},
        // Own-side best: joins the bid, no trade.
        {"home best", TORA_TSTP_OPT_HomeBestPrice, TORA_TSTP_TC_GFD, TORA_TSTP_VC_AV, 9.99, 300, "3", 0},
        // Limit IOC that cannot trade.
        {"limit IOC, no trade", TORA_TSTP_OPT_LimitPrice, TORA_TSTP_TC_IOC, TORA_TSTP_VC_AV, 9.95, 100, "35", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(broker_->setBook("600000", market));
        reset();
        order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, c.price, c.volume, c.priceType, c.timeCondition,
              c.volumeCondition);
        ASSERT_TRUE(broker_->drain());
        EXPECT_EQ(statuses(), c.statuses);
        EXPECT_EQ(static_cast<int>(trader_->spi.count("OnRtnTrade")), c.trades);
        EXPECT_EQ(flow().front(), "OnRspOrderInsert");
        // Each fill's trade comes before the order notification that reports it.
        auto names = flow();
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == "OnRtnTrade") {
                ASSERT_LT(i + 1, names.size());
                EXPECT_EQ(names[i + 1], "OnRtnOrder");
            }
        std::string sys = lastSysID();
        auto led = broker_->order(sys);
        ASSERT_TRUE(led);
        if (c.statuses.back() == '5') {
            EXPECT_EQ(led->cancelledVolume, c.volume - led->tradedVolume);
        }
        // Clear anything left waiting before the next case.
        if (led->orderStatus == TORA_TSTP_OST_NoTradeQueueing || led->orderStatus == TORA_TSTP_OST_PartTradedQueueing)
            cancel(sys, TORA_TSTP_EXD_SSE);
    }
}

TEST_F(SimPaper, FrontRejectsBadPriceVolumeCashAndPosition)
{
    cfg_.cash = 100000;
    configure();
    login();
    struct Case {
        const char* what;
        const char* id;
        char exchange;
        char direction;
        double price;
        int volume;
        int errorID;
    };
    const Case cases[] = {
        {"above the upper limit", "600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 11.01, 100, 10103},
        {"not on the tick", "600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.005, 100, 10104},
        {"odd-lot buy", "600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 150, 10102},
        {"no price", "600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, -1, 100, 10103},
        {"not enough cash", "600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 10100, 10105},
        {"not enough shares", "000001", TORA_TSTP_EXD_SZSE, TORA_TSTP_D_Sell, 12.00, 5100, 10106},
        {"unknown security", "600999", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 100, 10101},
        {"wrong exchange", "600000", TORA_TSTP_EXD_SZSE, TORA_TSTP_D_Buy, 10.00, 100, 10101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        trader_->spi.clear();
        order(c.id, c.exchange, c.direction, c.price, c.volume);
        ASSERT_TRUE(broker_->drain());
        EXPECT_EQ(flow(), (std::vector<std::string>{"OnRspOrderInsert", "OnErrRtnOrderInsert"}));
        auto err = trader_->spi.events("OnErrRtnOrderInsert");
        ASSERT_EQ(err.size(), 1u);
        EXPECT_EQ(err[0].errorID, c.errorID);
        EXPECT_FALSE(err[0].errorMsg.empty());
        // The echoed request names the order.
        auto echoed = err[0].as<CTORATstpInputOrderField>();
        EXPECT_EQ(std::atoi(echoed.OrderRef), nextRef_ - 1);
        EXPECT_EQ(trader_->spi.events("OnRspOrderInsert")[0].errorID, c.errorID);
    }
    // The message is GB2312 text.
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 10100);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.events("OnErrRtnOrderInsert").back().errorMsg, kNoCashMsg);
    // Nothing was frozen or traded, and the ledger shows the refusals.
    auto acct = broker_->account();
    EXPECT_DOUBLE_EQ(acct.available, 100000);
    EXPECT_DOUBLE_EQ(acct.frozen, 0);
    auto orders = broker_->orders();
    ASSERT_EQ(orders.size(), 9u);
    for (const auto& o : orders) {
        EXPECT_EQ(o.submitStatus, TORA_TSTP_OSS_InsertRejected);
        EXPECT_NE(o.errorID, 0);
        EXPECT_TRUE(o.orderSysID.empty());
    }
}

TEST_F(SimPaper, CashAndPositionsFollowFillsFeesAndTaxes)
{
    cfg_.commissionRate = 0.0003;
    cfg_.minCommission = 5;
    cfg_.stampTaxRate = 0.001;
    configure();
    login();
    ASSERT_TRUE(broker_->setBook("600000", book({{10.00, 5000}}, {{10.01, 5000}})));
    ASSERT_TRUE(broker_->setBook("000001", book({{12.00, 5000}}, {{12.01, 5000}})));
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.01, 1000);    // 10010 + 5 commission
    order("000001", TORA_TSTP_EXD_SZSE, TORA_TSTP_D_Sell, 12.00, 2000);  // 24000 - 7.2 - 24
    ASSERT_TRUE(broker_->drain());
    double cash = 1000000 - 10010 - 5 + 24000 - 7.2 - 24;
    auto acct = broker_->account();
    EXPECT_NEAR(acct.cash, cash, 1e-6);
    EXPECT_NEAR(acct.available, cash, 1e-6);
    EXPECT_NEAR(acct.fees, 5 + 7.2 + 24, 1e-6);
    // Each order notification carries the cash available after it.
    auto last = trader_->spi.events("OnRtnOrder").back().as<CTORATstpOrderField>();
    EXPECT_NEAR(last.RtnFloatInfo, cash, 1e-6);
    EXPECT_EQ(last.RtnIntInfo, 3000);

    auto bought = broker_->position("600000");
    ASSERT_TRUE(bought);
    EXPECT_EQ(bought->volume, 1000);
    EXPECT_EQ(bought->available, 0);
    EXPECT_NEAR(bought->openCost, 10015, 1e-6);
    auto sold = broker_->position("000001");
    ASSERT_TRUE(sold);
    EXPECT_EQ(sold->volume, 3000);
    EXPECT_EQ(sold->todaySell, 2000);
    EXPECT_NEAR(sold->openCost, 55000.0 * 3000 / 5000, 1e-6);

    // Today's purchase cannot be sold today.
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Sell, 10.00, 100);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.events("OnErrRtnOrderInsert").back().errorID, 10106);

    // The queries agree with the ledger.
    trader_->spi.clear();
    CTORATstpQryTradingAccountField qa = zeroRecord<CTORATstpQryTradingAccountField>();
    trader_->api->ReqQryTradingAccount(&qa, 50);
    CTORATstpQryPositionField qp = zeroRecord<CTORATstpQryPositionField>();
    qp.ExchangeID = TORA_TSTP_EXD_SZSE;
    trader_->api->ReqQryPosition(&qp, 51);
    CTORATstpQryTradeField qt = zeroRecord<CTORATstpQryTradeField>();
    trader_->api->ReqQryTrade(&qt, 52);
    CTORATstpQryOrderField qo = zeroRecord<CTORATstpQryOrderField>();
    qo.ExchangeID = TORA_TSTP_EXD_SSE;
    trader_->api->ReqQryOrder(&qo, 53);
    ASSERT_TRUE(broker_->drain());
    auto a = trader_->spi.events("OnRspQryTradingAccount")[0].as<CTORATstpTradingAccountField>();
    EXPECT_NEAR(a.Available, cash, 1e-6);
    EXPECT_NEAR(a.Commission, 36.2, 1e-6);
    auto p = trader_->spi.events("OnRspQryPosition");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].as<CTORATstpPositionField>().CurrentPosition, 3000);
    EXPECT_EQ(trader_->spi.count("OnRspQryTrade"), 2u);
    auto qord = trader_->spi.events("OnRspQryOrder");
    ASSERT_EQ(qord.size(), 2u);   // the buy and the refused sell, both SSE
    EXPECT_EQ(qord[0].as<CTORATstpOrderField>().OrderStatus, TORA_TSTP_OST_AllTraded);
    EXPECT_EQ(qord[1].as<CTORATstpOrderField>().OrderSubmitStatus, TORA_TSTP_OSS_InsertRejected);
}

TEST_F(SimPaper, CashAndPositionTransfers)
{
    configure();
    login();
    CTORATstpInputTransferFundField f = zeroRecord<CTORATstpInputTransferFundField>();
    tc::copyText(f.AccountID, "11000001");
    tc::copyText(f.CurrencyID, "CNY");
    tc::copyText(f.ApplySerial, "2001");
    f.TransferDirection = TORA_TSTP_TRNSD_BankToStock;
    f.Amount = 5000;
    ASSERT_EQ(trader_->api->ReqTransferFund(&f, 2001), 0);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(flow(), (std::vector<std::string>{"OnRspTransferFund", "OnRtnTransferFund"}));
    auto rtn = trader_->spi.events("OnRtnTransferFund")[0].as<CTORATstpTransferFundField>();
    EXPECT_STREQ(rtn.ApplySerial, "2001");
    EXPECT_EQ(rtn.TransferStatus, TORA_TSTP_TRANST_TransferSuccess);
    EXPECT_EQ(rtn.TransferDirection, TORA_TSTP_TRNSD_BankToStock);
    EXPECT_DOUBLE_EQ(rtn.Amount, 5000);
    EXPECT_DOUBLE_EQ(broker_->account().cash, 1005000);

    // Out more than is available: refused with the echoed request.
    trader_->spi.clear();
    tc::copyText(f.ApplySerial, "2002");
    f.TransferDirection = TORA_TSTP_TRNSD_StockToBank;
    f.Amount = 2000000;
    ASSERT_EQ(trader_->api->ReqTransferFund(&f, 2002), 0);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(flow(), (std::vector<std::string>{"OnRspTransferFund", "OnErrRtnTransferFund"}));
    auto err = trader_->spi.events("OnErrRtnTransferFund")[0];
    EXPECT_EQ(err.errorID, 10105);
    EXPECT_STREQ(err.as<CTORATstpInputTransferFundField>().ApplySerial, "2002");
    EXPECT_DOUBLE_EQ(broker_->account().cash, 1005000);

    // Positions move out to and in from another node.
    trader_->spi.clear();
    CTORATstpInputTransferPositionField p = zeroRecord<CTORATstpInputTransferPositionField>();
    p.ExchangeID = TORA_TSTP_EXD_SZSE;
    tc::copyText(p.SecurityID, "000001");
    tc::copyText(p.ApplySerial, "2003");
    p.TransferDirection = TORA_TSTP_TRNSD_NodeMoveOut;
    p.Volume = 1000;
    ASSERT_EQ(trader_->api->ReqTransferPosition(&p, 2003), 0);
    tc::copyText(p.SecurityID, "600000");
    p.ExchangeID = TORA_TSTP_EXD_SSE;
    tc::copyText(p.ApplySerial, "2004");
    p.TransferDirection = TORA_TSTP_TRNSD_NodeMoveIn;
    p.Volume = 300;
    ASSERT_EQ(trader_->api->ReqTransferPosition(&p, 2004), 0);
    tc::copyText(p.ApplySerial, "2005");
    p.TransferDirection = TORA_TSTP_TRNSD_NodeMoveOut;
    p.Volume = 301;
    ASSERT_EQ(trader_->api->ReqTransferPosition(&p, 2005), 0);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.count("OnRtnTransferPosition"), 2u);
    EXPECT_EQ(trader_->spi.count("OnErrRtnTransferPosition"), 1u);
    EXPECT_STREQ(trader_->spi.events("OnRtnTransferPosition")[0].as<CTORATstpTransferPositionField>().ApplySerial, "2003");
    EXPECT_EQ(broker_->position("000001")->volume, 4000);
    EXPECT_EQ(broker_->position("600000")->available, 300);   // moved-in shares are sellable
}

TEST_F(SimPaper, PasswordChange)
{
    cfg_.password = "pw";
    configure();
    login("pw");
    CTORATstpUserPasswordUpdateField u = zeroRecord<CTORATstpUserPasswordUpdateField>();
    tc::copyText(u.UserID, "user1");
    tc::copyText(u.OldPassword, "nope");
    tc::copyText(u.NewPassword, "pw2");
    ASSERT_EQ(trader_->api->ReqUserPasswordUpdate(&u, 0), 0);
    tc::copyText(u.OldPassword, "pw");
    ASSERT_EQ(trader_->api->ReqUserPasswordUpdate(&u, 0), 0);
    ASSERT_TRUE(broker_->drain());
    auto ev = trader_->spi.events("OnRspUserPasswordUpdate");
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].errorID, 10301);
    EXPECT_EQ(ev[1].errorID, 0);
    EXPECT_STREQ(ev[1].as<CTORATstpUserPasswordUpdateField>().NewPassword, "pw2");
    EXPECT_EQ(broker_->password(), "pw2");
    EXPECT_EQ(trader_->spi.events("OnRspUserLogin").size(), 1u);
    login("pw");
    EXPECT_EQ(trader_->spi.events("OnRspUserLogin").back().errorID, 3);
    login("pw2");
    EXPECT_EQ(trader_->spi.events("OnRspUserLogin").back().errorID, 0);
}

TEST_F(SimPaper, MarketDataForSubscribersOnly)
{
    configure();
    mdLogin();
    char a[] = "600000";
    char bad[] = "999999";
    char* ids[] = {a, bad};
    ASSERT_EQ(md_->api->SubscribeMarketData(ids, 2, TORA_TSTP_EXD_SSE), 0);
    ASSERT_TRUE(broker_->drain());
    auto rsp = md_->spi.events("OnRspSubMarketData");
    ASSERT_EQ(rsp.size(), 2u);
    EXPECT_EQ(rsp[0].errorID, 0);
    EXPECT_STREQ(rsp[0].as<CTORATstpSpecificSecurityField>().SecurityID, "600000");
    EXPECT_FALSE(rsp[0].isLast);
    EXPECT_EQ(rsp[1].errorID, 10101);
    EXPECT_TRUE(rsp[1].isLast);
    // The current snapshot right away, then one per tick.
    ASSERT_EQ(md_->spi.count("OnRtnDepthMarketData"), 1u);
    broker_->tick(3);
    ASSERT_TRUE(broker_->drain());
    auto snaps = md_->spi.events("OnRtnDepthMarketData");
    ASSERT_EQ(snaps.size(), 4u);
    for (const auto& e : snaps) {
        auto m = e.as<CTORATstpMarketDataField>();
        EXPECT_STREQ(m.SecurityID, "600000");
        EXPECT_STREQ(m.TradingDay, "20240105");
        EXPECT_DOUBLE_EQ(m.PreClosePrice, 10.00);
        EXPECT_DOUBLE_EQ(m.UpperLimitPrice, 11.00);
        EXPECT_GT(m.BidPrice1, 0);
        EXPECT_GT(m.AskPrice1, m.BidPrice1);
        EXPECT_GT(m.BidPrice1, m.BidPrice5);
        EXPECT_LT(m.AskPrice1, m.AskPrice5);
        EXPECT_GT(m.AskVolume5, 0);
    }
    char* one[] = {a};
    ASSERT_EQ(md_->api->UnSubscribeMarketData(one, 1, TORA_TSTP_EXD_SSE), 0);
    ASSERT_TRUE(broker_->drain());
    broker_->tick(2);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(md_->spi.count("OnRspUnSubMarketData"), 1u);
    EXPECT_EQ(md_->spi.count("OnRtnDepthMarketData"), 4u);
}

TEST_F(SimPaper, SyntheticPricesAreReproduciblePerSeed)
{
    auto run = [&](std::uint64_t seed) {
        std::string addr = address_ + "/seed";
        auto b = Broker::create(addr, Mode::Paper);
        PaperConfig c = cfg_;
        c.seed = seed;
        b->setPaperConfig(c);
        std::vector<double> prices;
        for (int i = 0; i < 50; ++i) {
            b->tick();
            auto s = b->snapshot("600000");
            prices.push_back(s->BidPrice1);
            prices.push_back(static_cast<double>(s->AskVolume3));
            EXPECT_GE(s->BidPrice1, 9.00);
            EXPECT_LE(s->AskPrice1, 11.00);
        }
        Broker::remove(addr);
        return prices;
    };
    EXPECT_EQ(run(42), run(42));
    EXPECT_NE(run(42), run(43));
}

TEST_F(SimPaper, CsvReplayDrivesTheBookAndFillsRestingOrders)
{
    std::string path = ::testing::TempDir() + "torasim_replay.csv";
    {
        std::ofstream out(path);
        out << "SecurityID,ExchangeID,LastPrice,BidPrice1,BidVolume1,AskPrice1,AskVolume1,Volume,UpdateTime\n";
        out << "600000,1,10.00,9.99,1000,10.01,1000,100,09:30:00\n";
        out << "600000,1,9.96,9.95,1000,9.97,600,200,09:30:03\n";
        out << "510050,1,2.50,2.499,1000,2.501,1000,50,09:30:03\n";
    }
    cfg_.csvReplayPath = path;
    configure();
    login();
    auto s = broker_->snapshot("510050");   // CSV-only securities join the list
    ASSERT_TRUE(s);
    broker_->tick();
    s = broker_->snapshot("600000");
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(s->AskPrice1, 10.01);
    EXPECT_STREQ(s->UpdateTime, "09:30:00");
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 9.98, 1000);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(statuses(), "3");
    broker_->tick();   // the ask drops to 9.97 for 600
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(statuses(), "31");
    auto t = trader_->spi.events("OnRtnTrade");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_DOUBLE_EQ(t[0].as<CTORATstpTradeField>().Price, 9.97);
    EXPECT_EQ(t[0].as<CTORATstpTradeField>().Volume, 600);
    EXPECT_DOUBLE_EQ(broker_->snapshot("510050")->AskPrice1, 2.501);
    std::remove(path.c_str());
}

TEST_F(SimPaper, ReconnectionGivesANewSessionAndOldOrdersKeepTheirs)
{
    configure();
    auto first = login();
    ASSERT_TRUE(broker_->setBook("600000", book({{9.99, 1000}}, {{10.01, 1000}})));
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 500);
    ASSERT_TRUE(broker_->drain());
    ASSERT_EQ(broker_->dropConnection(torasim::kReasonReadFailed, Side::Trader, std::chrono::milliseconds(1)), 1);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.count("OnFrontConnected"), 2u);
    EXPECT_EQ(trader_->spi.events("OnFrontDisconnected")[0].reason, torasim::kReasonReadFailed);
    auto second = login();
    EXPECT_NE(second.SessionID, first.SessionID);
    trader_->spi.clear();
    ASSERT_TRUE(broker_->setBook("600000", book({{9.99, 1000}}, {{10.00, 1000}})));
    ASSERT_TRUE(broker_->drain());
    auto n = trader_->spi.events("OnRtnOrder");
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].as<CTORATstpOrderField>().SessionID, first.SessionID);
    EXPECT_EQ(n[0].as<CTORATstpOrderField>().OrderStatus, TORA_TSTP_OST_AllTraded);
}

// The SDK asks for the private flow from where it stopped when its connection comes back: what
// the broker sent meanwhile (here a fill) arrives after the new login, once.
TEST_F(SimPaper, AReconnectedSessionIsSentWhatItMissedWhileDisconnected)
{
    configure();
    login();
    ASSERT_TRUE(broker_->setBook("600000", book({{9.99, 1000}}, {{10.01, 1000}})));
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 500);
    ASSERT_TRUE(broker_->drain());
    ASSERT_EQ(broker_->dropConnection(torasim::kReasonReadFailed, Side::Trader, std::chrono::milliseconds(1)), 1);
    ASSERT_TRUE(broker_->drain());
    ASSERT_EQ(trader_->spi.count("OnFrontConnected"), 2u);
    // Filled while the connection is up again but not logged in: nothing reaches it yet.
    ASSERT_TRUE(broker_->setBook("600000", book({{9.99, 1000}}, {{10.00, 1000}})));
    ASSERT_TRUE(broker_->drain());
    const auto since = [&](std::size_t from) {
        const std::vector<std::string> all = trader_->spi.names();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    };
    std::size_t mark = trader_->spi.names().size();
    EXPECT_EQ(trader_->spi.count("OnRtnOrder"), 1u);   // the acceptance, before the drop
    login();
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(since(mark), (std::vector<std::string>{"OnRspUserLogin", "OnRtnTrade", "OnRtnOrder"}));
    EXPECT_EQ(trader_->spi.events("OnRtnOrder").back().as<CTORATstpOrderField>().OrderStatus,
              TORA_TSTP_OST_AllTraded);
    // A second login on the same connection has nothing more to catch up on.
    mark = trader_->spi.names().size();
    login();
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(since(mark), (std::vector<std::string>{"OnRspUserLogin"}));
}

TEST_F(SimPaper, RestartReplaysTheDaysPrivateFlow)
{
    configure();
    login();
    ASSERT_TRUE(broker_->setBook("600000", book({{9.99, 1000}}, {{10.01, 1000}})));
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.01, 500);
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 9.90, 500);
    ASSERT_TRUE(broker_->drain());
    SimTraderClient again(address_, TORA_TERT_RESTART);
    ASSERT_TRUE(again.spi.waitFor("OnFrontConnected"));
    CTORATstpReqUserLoginField req = zeroRecord<CTORATstpReqUserLoginField>();
    ASSERT_EQ(again.api->ReqUserLogin(&req, 1), 0);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(again.spi.names(), (std::vector<std::string>{"OnFrontConnected", "OnRspUserLogin", "OnRtnTrade",
                                                           "OnRtnOrder", "OnRtnOrder"}));
    // A quick-start session sees nothing of the past.
    EXPECT_EQ(trader_->spi.count("OnRtnOrder"), 3u);
}

TEST_F(SimPaper, AnswerFaultsDropDelayOrFailAnswers)
{
    configure();
    login();
    torasim::FaultConfig f;
    f.errorAnswer = 1.0;
    f.errorAnswerID = 77;
    broker_->setFaults(f);
    order("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_D_Buy, 10.00, 100);
    CTORATstpQryTradingAccountField qa = zeroRecord<CTORATstpQryTradingAccountField>();
    trader_->api->ReqQryTradingAccount(&qa, 9);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.events("OnErrRtnOrderInsert").at(0).errorID, 77);
    auto qaEv = trader_->spi.events("OnRspQryTradingAccount");
    ASSERT_EQ(qaEv.size(), 1u);
    EXPECT_EQ(qaEv[0].errorID, 77);
    EXPECT_TRUE(qaEv[0].isLast);

    trader_->spi.clear();
    f = torasim::FaultConfig();
    f.dropAnswer = 1.0;
    broker_->setFaults(f);
    trader_->api->ReqQryTradingAccount(&qa, 10);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.count("OnRspQryTradingAccount"), 0u);

    f = torasim::FaultConfig();
    f.lateAnswer = 1.0;
    f.lateMillis = 20;
    broker_->setFaults(f);
    trader_->api->ReqQryTradingAccount(&qa, 11);
    ASSERT_TRUE(broker_->drain());
    EXPECT_EQ(trader_->spi.count("OnRspQryTradingAccount"), 1u);
    // The counters add up over the broker's life.
    auto counters = broker_->faultCounters();
    EXPECT_EQ(counters.errorAnswers, 2u);
    EXPECT_EQ(counters.droppedAnswers, 1u);
    EXPECT_EQ(counters.lateAnswers, 1u);
}

TEST_F(SimPaper, MarketThreadPushesAtItsRateAndPaperFrontsNeedNoSetup)
{
    // An unserved sim://paper address gets a default paper broker when an API object starts.
    std::string addr = "sim://paper/auto-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
    {
        SimMdClient m(addr);
        ASSERT_TRUE(m.spi.waitFor("OnFrontConnected"));
        auto b = Broker::find(addr);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->mode(), Mode::Paper);
        PaperConfig c = b->paperConfig();
        c.snapshotsPerSecond = 200;
        b->setPaperConfig(c);
        CTORATstpReqUserLoginField req = zeroRecord<CTORATstpReqUserLoginField>();
        ASSERT_EQ(m.api->ReqUserLogin(&req, 0), 0);
        ASSERT_TRUE(m.spi.waitFor("OnRspUserLogin"));
        char id[] = "600519";
        char* ids[] = {id};
        ASSERT_EQ(m.api->SubscribeMarketData(ids, 1, TORA_TSTP_EXD_SSE), 0);
        EXPECT_TRUE(m.spi.waitFor("OnRtnDepthMarketData", 10));
    }
    Broker::remove(addr);
}

}  // namespace
