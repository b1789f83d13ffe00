// The simulated broker's C control surface (what the Python control uses): records to and from
// JSON through real callbacks and requests, GB2312 bytes in JSON, ledgers, and its errors.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "engine/Text.h"
#include "support/SimClients.h"
#include "torasim/sim_c_api.h"

using tc::testing::SimMdClient;
using tc::testing::SimTraderClient;

using tc::testing::zeroRecord;

namespace {

// Takes a returned JSON text and frees it.
std::string take(char* p)
{
    if (!p) return std::string();
    std::string s(p);
    tsim_free(p);
    return s;
}

// 模拟 in GB2312, and the same bytes as JSON escapes.
const char* const kGbText = "\xc4\xa3\xc4\xe2";
const char* const kGbJson = "\\u00c4\\u00a3\\u00c4\\u00e2";

class SimCApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        address_ = std::string("sim://capi/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override { tsim_remove(address_.c_str()); }
    const char* a() const { return address_.c_str(); }
    std::string address_;
};

TEST_F(SimCApi, PushedJsonBecomesTheRecordTheCallbackSees)
{
    ASSERT_EQ(tsim_create(a(), TSIM_MODE_SCRIPTED), 0);
    ASSERT_EQ(tsim_set_auto_accept(a(), 1), 0);
    SimTraderClient c(address_);
    SimMdClient m(address_);
    ASSERT_EQ(tsim_wait_connections(a(), 2, TSIM_SIDE_BOTH, 10000), 1);
    ASSERT_EQ(tsim_drain(a(), 10000), 1);

    std::string order = std::string("{\"record\": {\"OrderRef\": \"1001\", \"OrderStatus\": \"3\", \"VolumeTraded\": 300,"
                                    " \"LimitPrice\": 10.01, \"StatusMsg\": \"") + kGbJson + "\", \"FrontID\": 7}}";
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRtnOrder", order.c_str(), 0), 1);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRspQryPosition",
                             "{\"record\": {\"SecurityID\": \"600000\", \"CurrentPosition\": 500}, \"ErrorID\": 0,"
                             " \"requestID\": 12, \"isLast\": false}",
                             0),
              1);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRspQryPosition", "{\"requestID\": 12}", 0), 1);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnErrRtnOrderInsert",
                             "{\"record\": {\"OrderRef\": \"1002\"}, \"ErrorID\": 10105, \"ErrorMsg\": \"no cash\"}", 0),
              1);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnFrontDisconnected", "{\"reason\": 8193}", 0), 1);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_MD, "OnRtnDepthMarketData",
                             "{\"record\": {\"SecurityID\": \"600000\", \"ExchangeID\": \"1\", \"Volume\": 12345678901,"
                             " \"AskPrice5\": 10.05}}",
                             0),
              1);
    ASSERT_EQ(tsim_drain(a(), 10000), 1);

    auto o = c.spi.events("OnRtnOrder");
    ASSERT_EQ(o.size(), 1u);
    auto rec = o[0].as<CTORATstpOrderField>();
    EXPECT_STREQ(rec.OrderRef, "1001");
    EXPECT_EQ(rec.OrderStatus, '3');
    EXPECT_EQ(rec.VolumeTraded, 300);
    EXPECT_DOUBLE_EQ(rec.LimitPrice, 10.01);
    EXPECT_STREQ(rec.StatusMsg, kGbText);
    EXPECT_EQ(rec.FrontID, 7);
    EXPECT_STREQ(rec.SecurityID, "");   // fields not given stay zero

    auto p = c.spi.events("OnRspQryPosition");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].as<CTORATstpPositionField>().CurrentPosition, 500);
    EXPECT_TRUE(p[0].hasInfo);
    EXPECT_FALSE(p[0].isLast);
    EXPECT_EQ(p[0].requestID, 12);
    EXPECT_TRUE(p[1].record.empty());   // no record given: a null record
    EXPECT_FALSE(p[1].hasInfo);         // no error given: no error info
    EXPECT_TRUE(p[1].isLast);

    auto e = c.spi.events("OnErrRtnOrderInsert");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].errorID, 10105);
    EXPECT_EQ(e[0].errorMsg, "no cash");
    EXPECT_STREQ(e[0].as<CTORATstpInputOrderField>().OrderRef, "1002");
    ASSERT_EQ(c.spi.count("OnFrontDisconnected"), 1u);
    EXPECT_EQ(c.spi.events("OnFrontDisconnected")[0].reason, 8193);

    auto md = m.spi.events("OnRtnDepthMarketData");
    ASSERT_EQ(md.size(), 1u);
    EXPECT_EQ(md[0].as<CTORATstpMarketDataField>().Volume, 12345678901LL);
    EXPECT_DOUBLE_EQ(md[0].as<CTORATstpMarketDataField>().AskPrice5, 10.05);
    EXPECT_EQ(m.spi.count("OnRtnOrder"), 0u);
}

TEST_F(SimCApi, RequestsComeOutAsJsonWithTheirFields)
{
    ASSERT_EQ(tsim_create(a(), TSIM_MODE_SCRIPTED), 0);
    SimTraderClient c(address_);
    ASSERT_EQ(tsim_wait_connections(a(), 1, TSIM_SIDE_TRADER, 10000), 1);
    ASSERT_EQ(tsim_accept(a(), TSIM_SIDE_TRADER), 1);
    ASSERT_EQ(tsim_drain(a(), 10000), 1);
    CTORATstpInputOrderField f = zeroRecord<CTORATstpInputOrderField>();
    tc::copyText(f.SecurityID, "600000");
    tc::copyText(f.OrderRef, "1001");
    tc::copyText(f.TerminalInfo, kGbText);
    f.Direction = '0';
    f.LimitPrice = 10.01;
    f.VolumeTotalOriginal = 300;
    f.ExchangeID = '1';
    ASSERT_EQ(tsim_set_next_return(a(), "ReqOrderInsert", -3, 1), 0);
    EXPECT_EQ(c.api->ReqOrderInsert(&f, 1001), -3);
#if TORASIM_HAS_GET_CONNECTION_INFO
    EXPECT_EQ(c.api->ReqGetConnectionInfo(5), 0);   // a request without a record
#else
    EXPECT_EQ(c.api->ReqQryBUProxy(nullptr, 5), 0);  // one whose record the headers only declare
#endif

    std::string r = take(tsim_wait_request_json(a(), "ReqOrderInsert", 10000));
    EXPECT_NE(r.find("\"type\":\"ReqOrderInsert\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"side\":\"trader\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"requestID\":1001"), std::string::npos) << r;
    EXPECT_NE(r.find("\"returned\":-3"), std::string::npos) << r;
    EXPECT_NE(r.find("\"record\":\"CTORATstpInputOrderField\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"OrderRef\":\"1001\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"LimitPrice\":10.01,"), std::string::npos) << r;
    EXPECT_NE(r.find("\"Direction\":\"0\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"OrderPriceType\":\"\""), std::string::npos) << r;   // NUL char
    EXPECT_NE(r.find(std::string("\"TerminalInfo\":\"") + kGbJson + "\""), std::string::npos) << r;

    std::string all = take(tsim_requests_json(a(), nullptr));
    EXPECT_NE(all.find(TORASIM_HAS_GET_CONNECTION_INFO ? "\"type\":\"ReqGetConnectionInfo\""
                                                       : "\"type\":\"ReqQryBUProxy\""),
              std::string::npos);
    EXPECT_NE(all.find("\"record\":null,\"fields\":null"), std::string::npos);
    EXPECT_EQ(tsim_request_count(a(), "ReqOrderInsert"), 1);
    EXPECT_EQ(tsim_request_count(a(), nullptr), 2);

    // Each request is handed out once; then the wait times out.
    EXPECT_EQ(tsim_wait_request_json(a(), "ReqOrderInsert", 1), nullptr);
    EXPECT_STREQ(tsim_last_error(), "timeout");
    std::string conns = take(tsim_connections_json(a()));
    EXPECT_NE(conns.find("\"connected\":true"), std::string::npos) << conns;
}

TEST_F(SimCApi, PaperBrokerThroughJson)
{
    ASSERT_EQ(tsim_create(a(), TSIM_MODE_PAPER), 0);
    EXPECT_EQ(tsim_mode(a()), TSIM_MODE_PAPER);
    ASSERT_EQ(tsim_set_paper_config_json(
                  a(), "{\"snapshotsPerSecond\": 0, \"cash\": 50000, \"securities\": [{\"securityID\": \"600000\","
                       " \"exchangeID\": \"1\", \"preClosePrice\": 10}], \"positions\": []}"),
              0);
    ASSERT_EQ(tsim_set_book_json(a(), "600000", "{\"bids\": [[9.99, 100]], \"asks\": [[10.01, 200], [10.02, 300]]}"), 0);
    std::string snap = take(tsim_snapshot_json(a(), "600000"));
    EXPECT_NE(snap.find("\"AskPrice2\":10.02"), std::string::npos) << snap;
    EXPECT_NE(snap.find("\"AskVolume2\":300"), std::string::npos) << snap;

    SimTraderClient c(address_);
    ASSERT_TRUE(c.spi.waitFor("OnFrontConnected"));
    CTORATstpReqUserLoginField login = zeroRecord<CTORATstpReqUserLoginField>();
    ASSERT_EQ(c.api->ReqUserLogin(&login, 1), 0);
    CTORATstpInputOrderField f = zeroRecord<CTORATstpInputOrderField>();
    tc::copyText(f.SecurityID, "600000");
    tc::copyText(f.OrderRef, "1001");
    f.OrderPriceType = TORA_TSTP_OPT_LimitPrice;
    f.TimeCondition = TORA_TSTP_TC_GFD;
    f.VolumeCondition = TORA_TSTP_VC_AV;
    f.Direction = TORA_TSTP_D_Buy;
    f.LimitPrice = 10.01;
    f.VolumeTotalOriginal = 300;
    f.ExchangeID = TORA_TSTP_EXD_SSE;
    ASSERT_EQ(c.api->ReqOrderInsert(&f, 1001), 0);
    ASSERT_EQ(tsim_drain(a(), 10000), 1);

    std::string orders = take(tsim_orders_json(a()));
    EXPECT_NE(orders.find("\"tradedVolume\":200"), std::string::npos) << orders;
    EXPECT_NE(orders.find("\"orderStatus\":\"1\""), std::string::npos) << orders;
    std::string trades = take(tsim_trades_json(a()));
    EXPECT_NE(trades.find("\"Price\":10.01"), std::string::npos) << trades;
    EXPECT_NE(trades.find("\"Volume\":200"), std::string::npos) << trades;
    std::string acct = take(tsim_account_json(a()));
    EXPECT_NE(acct.find("\"cash\":47998"), std::string::npos) << acct;
    EXPECT_NE(acct.find("\"frozen\":1001"), std::string::npos) << acct;
    std::string pos = take(tsim_positions_json(a()));
    EXPECT_NE(pos.find("\"volume\":200"), std::string::npos) << pos;
    std::string cfg = take(tsim_paper_config_json(a()));
    EXPECT_NE(cfg.find("\"cash\":50000"), std::string::npos) << cfg;

    ASSERT_EQ(tsim_set_faults_json(a(), "{\"dropAnswer\": 0.5, \"seed\": 3}"), 0);
    std::string faults = take(tsim_faults_json(a()));
    EXPECT_NE(faults.find("\"dropAnswer\":0.5"), std::string::npos) << faults;
    EXPECT_NE(take(tsim_fault_counters_json(a())).find("\"disconnects\":0"), std::string::npos);
}

TEST_F(SimCApi, ErrorsAreCodesWithReasons)
{
    EXPECT_EQ(tsim_accept("sim://capi/nobody", TSIM_SIDE_BOTH), TSIM_ERR_NO_BROKER);
    EXPECT_NE(std::string(tsim_last_error()).find("no broker"), std::string::npos);
    EXPECT_EQ(tsim_orders_json("sim://capi/nobody"), nullptr);
    EXPECT_EQ(tsim_create(nullptr, TSIM_MODE_PAPER), TSIM_ERR_BAD_ARGUMENT);
    ASSERT_EQ(tsim_create(a(), TSIM_MODE_SCRIPTED), 0);
    EXPECT_EQ(tsim_exists(a()), 1);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRtnOrder", "{\"record\": {", 0), TSIM_ERR_BAD_JSON);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRtnOrder", "[1]", 0), TSIM_ERR_BAD_JSON);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnNothing", "{}", 0), TSIM_ERR_BAD_ARGUMENT);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRtnOrder", "{\"record\": {\"OrderRef\": 5}}", 0),
              TSIM_ERR_BAD_ARGUMENT);
    EXPECT_NE(std::string(tsim_last_error()).find("OrderRef takes a string"), std::string::npos);
    EXPECT_EQ(tsim_push_json(a(), TSIM_SIDE_TRADER, "OnRtnOrder", "{\"recrd\": {}}", 0), TSIM_ERR_BAD_ARGUMENT);
    EXPECT_EQ(tsim_set_paper_config_json(a(), "{\"csvReplayPath\": \"/nonexistent/replay.csv\"}"),
              TSIM_ERR_BAD_ARGUMENT);
    EXPECT_EQ(tsim_set_book_json(a(), "600000", "{\"bids\": [[1]]}"), TSIM_ERR_BAD_ARGUMENT);
    EXPECT_EQ(tsim_record_fields_json("CTORATstpNothingField"), nullptr);
    std::string fields = take(tsim_record_fields_json("CTORATstpSpecificSecurityField"));
    EXPECT_EQ(fields, "[{\"name\":\"ExchangeID\",\"kind\":\"char\",\"size\":1},"
                      "{\"name\":\"SecurityID\",\"kind\":\"text\",\"size\":31}]");
    EXPECT_EQ(tsim_remove(a()), 1);
    EXPECT_EQ(tsim_remove(a()), 0);
}

}  // namespace
