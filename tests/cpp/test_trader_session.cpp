// The stock trader's session against the scripted broker: the flow path, the start-up tasks,
// the login request and answer, the trading day and its roll, the security directory, the
// shareholder accounts and cash, TraderReady once per connection, disconnection, and the
// dispatch of tasks without a handler or whose request cannot be sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Text.h"
#include "support/SdkProfile.h"
#include "support/TraderFixture.h"
#include "trader/SecurityDirectory.h"

namespace {

using tc::recording::Call;
using tc::testing::TraderFixture;
using tc::testing::zeroRecord;
using torasim::Broker;

std::string flowPathFor(const char *basePath, tc::platform::PathStyle style = tc::platform::kHostPathStyle) {
    CQNLoginField login;
    tc::copyText(login.BasePath, basePath);
    tc::copyText(login.UserID, "u1");
    return tc::traderFlowPath(login, style);
}

TEST(TraderFlowPath, UsesForwardSlashesDropsEmptyPiecesAndEndsWithASlash) {
    EXPECT_EQ(flowPathFor("C:\\data\\\\flows\\"), "C:/data/flows/u1/TDFlow/");
    EXPECT_EQ(flowPathFor("rel/a//b"), "rel/a/b/u1/TDFlow/");
    EXPECT_EQ(flowPathFor("./x\\y"), "./x/y/u1/TDFlow/");
    // An absolute base stays absolute.
    EXPECT_EQ(flowPathFor("/var//tc/"), "/var/tc/u1/TDFlow/");
    // Two leading separators name a network share on Windows and the root elsewhere.
    EXPECT_EQ(flowPathFor("\\\\server\\share", tc::platform::PathStyle::Windows), "//server/share/u1/TDFlow/");
    EXPECT_EQ(flowPathFor("//tmp/x", tc::platform::PathStyle::Posix), "/tmp/x/u1/TDFlow/");
    // No base: the current directory.
    EXPECT_EQ(flowPathFor(""), "./u1/TDFlow/");
}

class TraderSession : public TraderFixture {};

TEST_F(TraderSession, CreatesTheSdkObjectUnderTheFlowPathAndWaitsForTheFront) {
    createTrader();
    EXPECT_EQ(trader_->flowPath(), "/tmp/tradecore-trader-tests/u1/TDFlow/");
    EXPECT_EQ(trader_->apiStatus(), ENUM_ApiStatus_Null);
    EXPECT_EQ(trader_->scheduler().size(), 0u);
    EXPECT_EQ(trader_->taskHandlerCount(), 50u - tc::testing::kQueriesMissing);
}

TEST_F(TraderSession, FrontConnectedQueuesLoginAndPreparationQueriesInOrder) {
    createTrader();
    accept();
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(),
              (std::vector<int>{ENUM_TORAStockTaskID_LoginTrader, ENUM_TORAStockTaskID_QrySecurity,
                                ENUM_TORAStockTaskID_QryShareholderAccount, ENUM_TORAStockTaskID_QryTradingAccount}));
}

TEST_F(TraderSession, SecurityQueryIsSkippedOnceTheListIsLoaded) {
    tc::setSecuritiesLoaded(true);
    createTrader();
    accept();
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(),
              (std::vector<int>{ENUM_TORAStockTaskID_LoginTrader, ENUM_TORAStockTaskID_QryShareholderAccount,
                                ENUM_TORAStockTaskID_QryTradingAccount}));
}

TEST_F(TraderSession, LoginRequestCarriesTheLoginRecordFields) {
    createTrader();
    accept();
    const torasim::Request r = step("ReqUserLogin");
    const auto req = r.as<CTORATstpReqUserLoginField>();
    EXPECT_STREQ(req.LogInAccount, "u1");
    EXPECT_EQ(req.LogInAccountType, '0');
    EXPECT_STREQ(req.Password, "secret");
    EXPECT_STREQ(req.UserProductInfo, "tcprod");
    EXPECT_STREQ(req.MacAddress, "00-11-22-33-44-55");
    EXPECT_STREQ(req.InnerIPAddress, "10.0.0.2");
    EXPECT_STREQ(req.TerminalInfo, "PC;IIP=10.0.0.2");
    EXPECT_STREQ(req.OuterIPAddress, "203.0.113.9");
    TC_EXPECT_LEGACY_VALUE(req.OuterPort, 4321);
    EXPECT_EQ(r.requestID, 0);
}

TEST_F(TraderSession, PreparationBuildsDirectoryShareholdersAndCashThenTraderReadyOnce) {
    createTrader();
    connectAndPrepare();

    EXPECT_EQ(trader_->frontID(), kFrontID);
    EXPECT_EQ(trader_->sessionID(), kSessionID);
    char day[9];
    tc::copyTradingDay(day);
    EXPECT_STREQ(day, kTradingDay);
    // The first login of the process only stores the day.
    EXPECT_TRUE(generalEvents(ENUM_EventID_DayRolling).empty());

    // Directory: every security under code.exchange; the A shares also under code. alone.
    const tc::SecurityEntry *sh = tc::findSecurity("600000.1");
    ASSERT_NE(sh, nullptr);
    EXPECT_STREQ(sh->ExchangeID, "1");
    EXPECT_STREQ(sh->StandardID, "600000");
    EXPECT_STREQ(sh->key, "600000.1");
    EXPECT_EQ(tc::findSecurity("600000."), sh);
    ASSERT_NE(tc::findSecurity("000001."), nullptr);
    EXPECT_STREQ(tc::findSecurity("000001.")->ExchangeID, "2");
    EXPECT_NE(tc::findSecurity("510050.1"), nullptr);
    EXPECT_EQ(tc::findSecurity("510050."), nullptr);
    EXPECT_TRUE(tc::securitiesLoaded());
    EXPECT_EQ(generalEvents(ENUM_TORAStockTaskID_QrySecurity).size(), 3u);

    EXPECT_EQ(trader_->shareholderID('1'), "A000000001");
    EXPECT_EQ(trader_->shareholderID('2'), "0000000002");
    EXPECT_DOUBLE_EQ(cash(), kStartCash);
    EXPECT_STREQ(trader_->login().AccountID, "acc1");
    EXPECT_STREQ(trader_->login().DepartmentID, "dep1");

    const std::vector<Call> ready = generalEvents(ENUM_EventID_TraderReady);
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].record, nullptr);
    EXPECT_TRUE(ready[0].isLast);
    EXPECT_EQ(ready[0].errorID, 0);
    EXPECT_EQ(ready[0].message, "");
    EXPECT_EQ(ready[0].userID, "u1");
    EXPECT_EQ(trader_->scheduler().size(), 0u);

    // The 12215 event comes before TraderReady.
    const std::vector<Call> all = generalEvents();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2].eventID, ENUM_TORAStockTaskID_QryTradingAccount);
    EXPECT_EQ(all.back().eventID, ENUM_EventID_TraderReady);
}

TEST_F(TraderSession, TraderReadyOncePerConnectionAndAgainAfterReconnection) {
    createTrader();
    connectAndPrepare();

    // A trading-account query run later while Working: no second TraderReady, cash unchanged.
    CQNQueryCommandField q;
    trader_->addTask(ENUM_TORAStockTaskID_QryTradingAccount, &q, 1, 0, 0, false, -1);
    step("ReqQryTradingAccount");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        auto account = zeroRecord<CTORATstpTradingAccountField>();
        account.Available = 5.0;
        spi->OnRspQryTradingAccount(&account, &info, 0, true);
    });
    EXPECT_EQ(generalEvents(ENUM_EventID_TraderReady).size(), 1u);
    EXPECT_DOUBLE_EQ(cash(), kStartCash);

    // Disconnection: status 4, queue emptied, one 12002 event with the reason.
    trader_->addTask(ENUM_TORAStockTaskID_QryPosition, &q, 5, 0, 0, false, -1);
    disconnect(torasim::kReasonHeartbeatTimeout);
    EXPECT_EQ(trader_->scheduler().size(), 0u);
    const std::vector<Call> lost = generalEvents(ENUM_TORAStockEventID_TraderDisconnected);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].errorID, torasim::kReasonHeartbeatTimeout);
    EXPECT_EQ(lost[0].message, "Error:Trader Disconnected.");
    EXPECT_EQ(lost[0].record, nullptr);

    // Tasks the strategy queues meanwhile (one repeating until it succeeds, which the broker
    // would refuse before the login for ever) wait behind the reconnection's login and
    // preparation (securities are loaded already), in the order queued.
    trader_->addTask(ENUM_TORAStockTaskID_QryPosition, &q, 1, 0, 0, true, -1);
    trader_->addTask(ENUM_TORAStockTaskID_QryOrder, &q, 1, 0, 0, false, -1);
    accept();
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(),
              (std::vector<int>{ENUM_TORAStockTaskID_LoginTrader, ENUM_TORAStockTaskID_QryShareholderAccount,
                                ENUM_TORAStockTaskID_QryTradingAccount, ENUM_TORAStockTaskID_QryPosition,
                                ENUM_TORAStockTaskID_QryOrder}));
    tc::recording::clear();
    // Prepared again with a new session.
    step("ReqUserLogin");
    answerLogin(kFrontID + 1, kSessionID + 1);
    step("ReqQryShareholderAccount");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        spi->OnRspQryShareholderAccount(nullptr, &info, 0, true);
    });
    step("ReqQryTradingAccount");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        auto account = zeroRecord<CTORATstpTradingAccountField>();
        account.Available = 42.0;
        spi->OnRspQryTradingAccount(&account, &info, 0, true);
    });
    EXPECT_EQ(trader_->apiStatus(), ENUM_ApiStatus_Working);
    EXPECT_EQ(generalEvents(ENUM_EventID_TraderReady).size(), 1u);
    EXPECT_EQ(trader_->frontID(), kFrontID + 1);
    EXPECT_EQ(trader_->sessionID(), kSessionID + 1);
    EXPECT_DOUBLE_EQ(cash(), 42.0);
    step("ReqQryPosition");
}

TEST_F(TraderSession, AGreaterTradingDayRollsTheDayAndQueuesOneSecurityQuery) {
    createTrader();
    connectAndPrepare(kFrontID, kSessionID, "20240102");

    // Same day on a reconnection: nothing.
    disconnect();
    accept();
    step("ReqUserLogin");
    answerLogin(kFrontID, kSessionID, "20240102");
    EXPECT_TRUE(generalEvents(ENUM_EventID_DayRolling).empty());
    // An earlier day: nothing either.
    disconnect();
    accept();
    step("ReqUserLogin");
    answerLogin(kFrontID, kSessionID, "20231229");
    EXPECT_TRUE(generalEvents(ENUM_EventID_DayRolling).empty());
    char day[9];
    tc::copyTradingDay(day);
    EXPECT_STREQ(day, "20240102");

    // A later day: DayRolling with the day as its message, and one security query behind the
    // queued preparation.
    disconnect();
    accept();
    step("ReqUserLogin");
    answerLogin(kFrontID, kSessionID, "20240103");
    const std::vector<Call> rolled = generalEvents(ENUM_EventID_DayRolling);
    ASSERT_EQ(rolled.size(), 1u);
    EXPECT_EQ(rolled[0].message, "20240103");
    EXPECT_EQ(rolled[0].errorID, 0);
    EXPECT_TRUE(rolled[0].isLast);
    EXPECT_EQ(rolled[0].record, nullptr);
    tc::copyTradingDay(day);
    EXPECT_STREQ(day, "20240103");
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(),
              (std::vector<int>{ENUM_TORAStockTaskID_QryShareholderAccount, ENUM_TORAStockTaskID_QryTradingAccount,
                                ENUM_TORAStockTaskID_QrySecurity}));
    // DayRolling is delivered before the login's own event.
    const std::vector<Call> all = generalEvents();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2].eventID, ENUM_EventID_DayRolling);
    EXPECT_EQ(all.back().eventID, ENUM_TORAStockTaskID_LoginTrader);
}

TEST_F(TraderSession, SecurityAnswersWhileWorkingAreDeliveredButLeaveTheDirectoryAlone) {
    createTrader();
    connectAndPrepare();
    tc::setSecuritiesLoaded(false);
    CQNQueryCommandField q;
    trader_->addTask(ENUM_TORAStockTaskID_QrySecurity, &q, 1, 0, 0, false, -1);
    step("ReqQrySecurity");
    answerSecurities({security("688001", TORA_TSTP_EXD_SSE, TORA_TSTP_STP_SHKC)});
    EXPECT_EQ(tc::findSecurity("688001.1"), nullptr);
    EXPECT_EQ(tc::findSecurity("688001."), nullptr);
    EXPECT_TRUE(tc::securitiesLoaded());
    EXPECT_EQ(generalEvents(ENUM_TORAStockTaskID_QrySecurity).size(), 4u);
}

TEST_F(TraderSession, LoginAnswerOutsideInitializingIsDeliveredButStoresNoSession) {
    createTrader();
    // Status "0": never connected (the callback is driven directly: no connection to post on).
    auto answer = zeroRecord<tc::sdk::TraderSpi::CTORATstpRspUserLoginField>();
    answer.FrontID = 9;
    answer.SessionID = 99;
    tc::copyText(answer.TradingDay, "20240105");
    auto info = zeroRecord<tc::sdk::TraderSpi::CTORATstpRspInfoField>();
    trader_->OnRspUserLogin(&answer, &info, 0, true);
    EXPECT_EQ(trader_->frontID(), 0);
    EXPECT_EQ(trader_->sessionID(), 0);
    char day[9];
    tc::copyTradingDay(day);
    EXPECT_STREQ(day, "");
    const std::vector<Call> login = generalEvents(ENUM_TORAStockTaskID_LoginTrader);
    ASSERT_EQ(login.size(), 1u);
    EXPECT_NE(login[0].record, nullptr);
}

TEST_F(TraderSession, LoginErrorsAreDeliveredRetriedAndError12400EmptiesTheQueue) {
    createTrader();
    accept();
    step("ReqUserLogin");
    answerLogin(kFrontID, kSessionID, kTradingDay, 40, "bad password");
    const std::vector<Call> failed = generalEvents(ENUM_TORAStockTaskID_LoginTrader);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].errorID, 40);
    EXPECT_EQ(failed[0].message, "bad password");
    EXPECT_EQ(trader_->frontID(), 0);
    // Repeat-until-success: the login stays at the head and goes out again.
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs().front(), ENUM_TORAStockTaskID_LoginTrader);
    step("ReqUserLogin");
    answerLogin(kFrontID, kSessionID, kTradingDay, 12400, "log in again");
    EXPECT_EQ(trader_->scheduler().size(), 0u);
    EXPECT_EQ(generalEvents(ENUM_TORAStockTaskID_LoginTrader).back().errorID, 12400);
}

// Also the queries the SDK of the build cannot send (3.9.3 has neither the connection-info nor
// the LOF fund query): nothing goes out.
TEST_F(TraderSession, TaskWithoutHandlerYieldsInvalidEventIDAndIsDropped) {
    createTrader();
    connectAndPrepare();
    std::vector<int> unhandled = {ENUM_TORAStockTaskID_QryNegoOrder};
    if (!tc::sdk::kHasGetConnectionInfo) unhandled.push_back(ENUM_TORAStockTaskID_QryConnectionInfo);
    if (!tc::sdk::kHasQryLofFundInfo) unhandled.push_back(ENUM_TORAStockTaskID_QryLofFundInfo);
    const std::size_t sent = broker_->requests().size();
    for (int id : unhandled) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(trader_->hasTaskHandler(id));
        CQNQueryCommandField q;
        trader_->addTask(id, &q, 3, 0, 0, true, -1);
        trader_->scheduler().step();
        const std::vector<Call> ev = generalEvents(id);
        ASSERT_EQ(ev.size(), 1u);
        EXPECT_EQ(ev[0].errorID, ENUM_ErrorID_InvalidEventID);
        EXPECT_EQ(ev[0].message, "Error:Invalid EventID.");
        EXPECT_TRUE(ev[0].isLast);
        EXPECT_EQ(ev[0].record, nullptr);
        EXPECT_EQ(trader_->scheduler().size(), 0u);
    }
    EXPECT_EQ(broker_->requests().size(), sent);
    for (int id : {12206, 12207, 12210, 12316, 12317, 12318, 12416, 12102}) EXPECT_FALSE(trader_->hasTaskHandler(id));
}

TEST_F(TraderSession, RefusedTaskRequestYieldsFailToSendWithTheSdkCode) {
    createTrader();
    accept();
    broker_->setNextReturn("ReqUserLogin", -3);
    step("ReqUserLogin");
    const std::vector<Call> ev = generalEvents(ENUM_TORAStockTaskID_LoginTrader);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].errorID, -3);
    EXPECT_EQ(ev[0].message, "Error:Fail To Send.");
    // Still at the head, sent again on the next step.
    step("ReqUserLogin");
    EXPECT_EQ(broker_->requestCount("ReqUserLogin"), 2u);
}

TEST_F(TraderSession, MarketStatusAndTradingNoticeArePassedOn) {
    createTrader();
    connectAndPrepare();
    auto status = zeroRecord<CTORATstpMarketStatusField>();
    status.MarketID = '1';
    status.MarketStatus = '2';
    ASSERT_EQ(broker_->pushRtnMarketStatus(status), 1);
    auto notice = zeroRecord<CTORATstpTradingNoticeField>();
    ASSERT_EQ(broker_->pushRtnTradingNotice(notice), 1);
    ASSERT_TRUE(broker_->drain());
    const std::vector<Call> ms = generalEvents(ENUM_TORAStockEventID_MarketStatus);
    ASSERT_EQ(ms.size(), 1u);
    EXPECT_NE(ms[0].record, nullptr);
    EXPECT_TRUE(ms[0].isLast);
    EXPECT_EQ(ms[0].errorID, 0);
    EXPECT_EQ(generalEvents(ENUM_TORAStockEventID_TradingNotice).size(), 1u);
    // A push without a record is ignored.
    push([](CTORATstpTraderSpi *spi) { spi->OnRtnMarketStatus(nullptr); });
    EXPECT_EQ(generalEvents(ENUM_TORAStockEventID_MarketStatus).size(), 1u);
}

}  // namespace
