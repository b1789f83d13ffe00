// The paper broker under load from several threads at once: orders, cancels and queries from
// two trader connections, a fast market thread feeding an md subscriber, connections dropping
// and coming back, and an API object released while callbacks are in flight. Afterwards the
// broker's books must still add up. Meant to be run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Text.h"
#include "support/SimClients.h"

using tc::testing::SimMdClient;
using tc::testing::SimTraderClient;
using torasim::Broker;

using tc::testing::zeroRecord;

namespace {

void login(SimTraderClient& c)
{
    ASSERT_TRUE(c.spi.waitFor("OnFrontConnected"));
    CTORATstpReqUserLoginField req = zeroRecord<CTORATstpReqUserLoginField>();
    tc::copyText(req.LogInAccount, "stress");
    ASSERT_EQ(c.api->ReqUserLogin(&req, 1), 0);
    ASSERT_TRUE(c.spi.waitFor("OnRspUserLogin"));
}

TEST(SimStress, ConcurrentTradingMarketDataAndReconnectionsKeepTheBooksConsistent)
{
    const std::string address = "sim://stress/paper";
    auto broker = Broker::create(address, torasim::Mode::Paper);
    torasim::PaperConfig cfg;
    cfg.snapshotsPerSecond = 500;
    cfg.cash = 1e8;
    cfg.seed = 11;
    torasim::PositionConfig held;
    held.securityID = "000001";
    held.exchangeID = TORA_TSTP_EXD_SZSE;
    held.volume = 1000000;
    cfg.positions = {held};
    ASSERT_TRUE(broker->setPaperConfig(cfg));

    auto a = std::make_unique<SimTraderClient>(address);
    auto b = std::make_unique<SimTraderClient>(address);
    SimMdClient md(address);
    login(*a);
    login(*b);
    ASSERT_TRUE(md.spi.waitFor("OnFrontConnected"));
    CTORATstpReqUserLoginField req = zeroRecord<CTORATstpReqUserLoginField>();
    ASSERT_EQ(md.api->ReqUserLogin(&req, 0), 0);
    ASSERT_TRUE(md.spi.waitFor("OnRspUserLogin"));
    char all[] = "00000000";
    char* ids[] = {all};
    ASSERT_EQ(md.api->SubscribeMarketData(ids, 1, TORA_TSTP_EXD_SSE), 0);
    ASSERT_EQ(md.api->SubscribeMarketData(ids, 1, TORA_TSTP_EXD_SZSE), 0);

    std::atomic<int> nextRef{1};
    auto trade = [&](CTORATstpTraderApi* api, unsigned seed, int n) {
        unsigned s = seed;
        auto rnd = [&] { return s = s * 1103515245u + 12345u, (s >> 16) & 0x7fff; };
        for (int i = 0; i < n; ++i) {
            int ref = nextRef.fetch_add(1);
            char text[16];
            std::snprintf(text, sizeof text, "%d", ref);
            unsigned pick = rnd() % 10;
            if (pick < 7) {
                CTORATstpInputOrderField f = zeroRecord<CTORATstpInputOrderField>();
                bool sell = pick >= 5;
                tc::copyText(f.SecurityID, sell ? "000001" : "600000");
                f.ExchangeID = sell ? TORA_TSTP_EXD_SZSE : TORA_TSTP_EXD_SSE;
                tc::copyText(f.OrderRef, text);
                f.Direction = sell ? TORA_TSTP_D_Sell : TORA_TSTP_D_Buy;
                f.OrderPriceType = (pick % 3 == 0) ? TORA_TSTP_OPT_AnyPrice : TORA_TSTP_OPT_LimitPrice;
                f.TimeCondition = f.OrderPriceType == TORA_TSTP_OPT_AnyPrice ? TORA_TSTP_TC_IOC : TORA_TSTP_TC_GFD;
                f.VolumeCondition = TORA_TSTP_VC_AV;
                double base = sell ? 12.0 : 10.0;
                f.LimitPrice = std::round((base + (static_cast<int>(rnd() % 21) - 10) * 0.01) * 100) / 100;
                f.VolumeTotalOriginal = 100 * static_cast<int>(1 + rnd() % 20);
                api->ReqOrderInsert(&f, ref);
            } else if (pick < 9) {
                CTORATstpInputOrderActionField c = zeroRecord<CTORATstpInputOrderActionField>();
                std::snprintf(text, sizeof text, "%d", ref - static_cast<int>(1 + rnd() % 10));
                tc::copyText(c.OrderRef, text);
                c.ActionFlag = TORA_TSTP_AF_Delete;
                api->ReqOrderAction(&c, ref);
            } else {
                CTORATstpQryOrderField q = zeroRecord<CTORATstpQryOrderField>();
                api->ReqQryOrder(&q, ref);
            }
        }
    };

    std::thread ta(trade, a->api, 1u, 400);
    std::thread tb(trade, b->api, 2u, 400);
    std::thread chaos([&] {
        for (int i = 0; i < 5; ++i) {
            broker->dropConnection(torasim::kReasonReadFailed, torasim::Side::Md, std::chrono::milliseconds(1));
            broker->tick(3);
            broker->drain();
        }
    });
    ta.join();
    chaos.join();
    // One API object goes away while its callbacks may still be queued.
    a->release();
    tb.join();
    ASSERT_TRUE(broker->drain());
    broker->setSnapshotsPerSecond(0);
    ASSERT_TRUE(broker->drain());
    for (const auto& o : broker->orders()) {
        EXPECT_LE(o.tradedVolume + o.cancelledVolume, o.volume) << o.orderSysID;
        EXPECT_GE(o.tradedVolume, 0);
    }
    EXPECT_GT(b->spi.count("OnRtnOrder"), 0u);
    EXPECT_GT(md.spi.count("OnRtnDepthMarketData"), 0u);
    Broker::remove(address);
}

TEST(SimStress, LedgerAddsUpAfterConcurrentTrading)
{
    const std::string address = "sim://stress/ledger";
    auto broker = Broker::create(address, torasim::Mode::Paper);
    torasim::PaperConfig cfg;
    cfg.snapshotsPerSecond = 1000;
    cfg.cash = 1e8;
    cfg.commissionRate = 0.0003;
    cfg.minCommission = 5;
    cfg.stampTaxRate = 0.001;
    torasim::PositionConfig held;
    held.securityID = "000001";
    held.exchangeID = TORA_TSTP_EXD_SZSE;
    held.volume = 1000000;
    held.openCost = 1.2e7;
    cfg.positions = {held};
    ASSERT_TRUE(broker->setPaperConfig(cfg));
    SimTraderClient a(address);
    SimTraderClient b(address);
    login(a);
    login(b);

    std::atomic<int> nextRef{1};
    auto run = [&](CTORATstpTraderApi* api, bool sell) {
        for (int i = 0; i < 300; ++i) {
            int ref = nextRef.fetch_add(1);
            char text[16];
            std::snprintf(text, sizeof text, "%d", ref);
            CTORATstpInputOrderField f = zeroRecord<CTORATstpInputOrderField>();
            tc::copyText(f.SecurityID, sell ? "000001" : "600000");
            f.ExchangeID = sell ? TORA_TSTP_EXD_SZSE : TORA_TSTP_EXD_SSE;
            tc::copyText(f.OrderRef, text);
            f.Direction = sell ? TORA_TSTP_D_Sell : TORA_TSTP_D_Buy;
            f.OrderPriceType = TORA_TSTP_OPT_LimitPrice;
            f.TimeCondition = TORA_TSTP_TC_GFD;
            f.VolumeCondition = TORA_TSTP_VC_AV;
            f.LimitPrice = sell ? 11.99 + (i % 5) * 0.01 : 9.99 + (i % 5) * 0.01;
            f.VolumeTotalOriginal = 100 * (1 + i % 7);
            api->ReqOrderInsert(&f, ref);
            if (i % 4 == 3) {
                CTORATstpInputOrderActionField c = zeroRecord<CTORATstpInputOrderActionField>();
                std::snprintf(text, sizeof text, "%d", ref);
                tc::copyText(c.OrderRef, text);
                c.ActionFlag = TORA_TSTP_AF_Delete;
                api->ReqOrderAction(&c, ref);
            }
        }
    };
    std::thread ta(run, a.api, false);
    std::thread tb(run, b.api, true);
    ta.join();
    tb.join();
    ASSERT_TRUE(broker->drain());
    broker->setSnapshotsPerSecond(0);   // the market stops; the day's books stay
    ASSERT_TRUE(broker->drain());

    auto orders = broker->orders();
    auto trades = broker->trades();
    std::map<std::string, std::pair<long long, double>> filled;   // OrderSysID -> volume, turnover
    double bought = 0, sold = 0;
    long long boughtVolume = 0, soldVolume = 0;
    for (const auto& t : trades) {
        auto& f = filled[t.OrderSysID];
        f.first += t.Volume;
        f.second += t.Price * t.Volume;
        if (t.Direction == TORA_TSTP_D_Buy) {
            bought += t.Price * t.Volume;
            boughtVolume += t.Volume;
        } else {
            sold += t.Price * t.Volume;
            soldVolume += t.Volume;
        }
    }
    EXPECT_GT(trades.size(), 0u);
    for (const auto& o : orders) {
        SCOPED_TRACE(o.orderSysID);
        if (o.orderSysID.empty()) continue;   // refused by the front
        EXPECT_EQ(o.tradedVolume, filled[o.orderSysID].first);
        EXPECT_NEAR(o.turnover, filled[o.orderSysID].second, 1e-6);
        if (o.orderStatus == TORA_TSTP_OST_AllTraded) {
            EXPECT_EQ(o.tradedVolume, o.volume);
        } else if (o.orderStatus == TORA_TSTP_OST_Canceled) {
            EXPECT_EQ(o.tradedVolume + o.cancelledVolume, o.volume);
        } else {
            EXPECT_EQ(o.cancelledVolume, 0);
            EXPECT_LT(o.tradedVolume, o.volume);
        }
    }
    auto acct = broker->account();
    EXPECT_NEAR(acct.cash, 1e8 - bought + sold - acct.fees, 1e-4);
    EXPECT_NEAR(acct.available, acct.cash - acct.frozen, 1e-6);
    EXPECT_GE(acct.frozen, 0);
    auto buys = broker->position("600000");
    if (boughtVolume > 0) {
        ASSERT_TRUE(buys);
        EXPECT_EQ(buys->volume, boughtVolume);
    }
    auto sells = broker->position("000001");
    ASSERT_TRUE(sells);
    EXPECT_EQ(sells->volume, 1000000 - soldVolume);
    EXPECT_EQ(sells->available + sells->frozen, sells->volume);
    // Both sessions of the account see every fill.
    EXPECT_EQ(a.spi.count("OnRtnTrade"), trades.size());
    EXPECT_EQ(b.spi.count("OnRtnTrade"), trades.size());
    Broker::remove(address);
}

}  // namespace
