// Query tasks against the scripted broker: every row of the task handler table sends its request
// with the documented fields, answers come back one event per record and the last completes the
// task, the bank balance query, the maximum-volume query's pricing, refused sends.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "support/SdkProfile.h"
#include "support/TraderFixture.h"

namespace {

using tc::recording::Call;
using tc::testing::TraderFixture;
using tc::testing::zeroRecord;
using torasim::Broker;
using torasim::Request;

class TraderQueries : public TraderFixture {
protected:
    void SetUp() override {
        TraderFixture::SetUp();
        createTrader(1000);
        connectAndPrepare();
        tc::recording::clear();
    }
    static CQNQueryCommandField query() {
        CQNQueryCommandField q;
        tc::copyText(q.ExchangeID, "1");
        tc::copyText(q.StandardID, "600000");
        tc::copyText(q.BusinessID, "4567");
        tc::copyText(q.CombineBusinessFlag, "Z1");
        q.FloatValue = 9.5;
        q.IntValue = 3;
        tc::copyText(q.StartTime, "09:30:00");
        tc::copyText(q.EndTime, "15:00:00");
        tc::copyText(q.StartDate, "20240101");
        tc::copyText(q.EndDate, "20240131");
        tc::copyText(q.BankID, "8");
        tc::copyText(q.BankPassword, "bpw");
        tc::copyText(q.AccountPassword, "apw");
        tc::copyText(q.NodeID, "42");
        // Not kept by the task.
        tc::copyText(q.UserID, "someone");
        q.RequestID = 99;
        return q;
    }
    Request run(int taskID, const std::string &type, const CQNQueryCommandField &q) {
        EXPECT_EQ(::addTask(trader_.get(), taskID, const_cast<CQNQueryCommandField *>(&q), 1, 0, 0, false, -1), 0);
        return step(type);
    }
};

struct Row {
    int taskID;
    const char *type;
    std::function<void(const Request &)> check;
};

template <class T>
T as(const Request &r) {
    EXPECT_EQ(r.bytes.size(), sizeof(T));
    return r.as<T>();
}

TEST_F(TraderQueries, EveryHandlerRowSendsItsDocumentedFields) {
    // Field values: exchange '1', code "600000", BusinessID "4567", flags "Z1", times, bank "8",
    // node "42"; from the login: InvestorID inv1, AccountID acc1, DepartmentID dep1, UserID u1.
    const std::vector<Row> rows = {
        {12401, "ReqQrySecurity", [](const Request &r) {
             auto q = as<CTORATstpQrySecurityField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12402, "ReqQryIPOInfo", [](const Request &r) {
             auto q = as<CTORATstpQryIPOInfoField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12403, "ReqQryRationalInfo", [](const Request &r) {
             auto q = as<CTORATstpQryRationalInfoField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12404, "ReqQryPledgeInfo", [](const Request &r) {
             auto q = as<CTORATstpQryPledgeInfoField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12405, "ReqQryConversionBondInfo", [](const Request &r) {
             auto q = as<CTORATstpQryConversionBondInfoField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12406, "ReqQryBondPutbackInfo", [](const Request &r) {
             auto q = as<CTORATstpQryBondPutbackInfoField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12407, "ReqQryETFFile", [](const Request &r) {
             auto q = as<CTORATstpQryETFFileField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.ETFSecurityID, "600000");
         }},
        {12408, "ReqQryETFBasket", [](const Request &r) {
             auto q = as<CTORATstpQryETFBasketField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.ETFSecurityID, "600000");
         }},
        {12409, "ReqQryLofFundInfo", [](const Request &r) {
             auto q = as<CTORATstpQryLofFundInfoField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.FundID, "600000");
         }},
        {12306, "ReqQryIPONumberResult", [](const Request &r) {
             auto q = as<CTORATstpQryIPONumberResultField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.ShareholderID, "");
         }},
        {12212, "ReqQryPosition", [](const Request &r) {
             auto q = as<CTORATstpQryPositionField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12213, "ReqQryPledgePosition", [](const Request &r) {
             auto q = as<CTORATstpQryPledgePositionField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12214, "ReqQryStandardBondPosition", [](const Request &r) {
             auto q = as<CTORATstpQryStandardBondPositionField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12309, "ReqQryInvestorPositionLimit", [](const Request &r) {
             auto q = as<CTORATstpQryInvestorPositionLimitField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
         }},
        {12201, "ReqQryOrder", [](const Request &r) {
             auto q = as<CTORATstpQryOrderField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.OrderSysID, "4567");
         }},
        {12209, "ReqQryTrade", [](const Request &r) {
             auto q = as<CTORATstpQryTradeField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.TradeID, "4567");
         }},
        {12202, "ReqQryOrderAction", [](const Request &r) {
             auto q = as<CTORATstpQryOrderActionField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
         }},
        {12205, "ReqQryCondOrderAction", [](const Request &r) {
             auto q = as<CTORATstpQryCondOrderActionField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
         }},
        {12303, "ReqQryShareholderAccount", [](const Request &r) {
             auto q = as<CTORATstpQryShareholderAccountField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
         }},
        {12305, "ReqQryIPOQuota", [](const Request &r) {
             auto q = as<CTORATstpQryIPOQuotaField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
         }},
        {12302, "ReqQryInvestor", [](const Request &r) {
             EXPECT_STREQ(as<CTORATstpQryInvestorField>(r).InvestorID, "inv1");
         }},
        {12310, "ReqQryInvestorCondOrderLimitParam", [](const Request &r) {
             EXPECT_STREQ(as<CTORATstpQryInvestorCondOrderLimitParamField>(r).InvestorID, "inv1");
         }},
        {12313, "ReqQryTradingNotice", [](const Request &r) {
             auto q = as<CTORATstpQryTradingNoticeField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_STREQ(q.InsertDateStart, "");
         }},
        {12312, "ReqQryTradingFee", [](const Request &r) { EXPECT_EQ(as<CTORATstpQryTradingFeeField>(r).ExchangeID, '1'); }},
        {12413, "ReqQryMarket", [](const Request &r) {
             auto q = as<CTORATstpQryMarketField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_EQ(q.MarketID, '\0');
         }},
        {12414, "ReqQryExchange", [](const Request &r) { EXPECT_EQ(as<CTORATstpQryExchangeField>(r).ExchangeID, '1'); }},
        {12410, "ReqQrySZSEImcParams", [](const Request &r) {
             EXPECT_EQ(as<CTORATstpQrySZSEImcParamsField>(r).MarketID, '\0');
         }},
        {12411, "ReqQrySZSEImcExchangeRate", [](const Request &r) {
             auto q = as<CTORATstpQrySZSEImcExchangeRateField>(r);
             EXPECT_STREQ(q.FromCurrency, "");
             EXPECT_STREQ(q.ToCurrency, "");
         }},
        {12203, "ReqQryOrderFundDetail", [](const Request &r) {
             auto q = as<CTORATstpQryOrderFundDetailField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.OrderSysID, "4567");
             TC_EXPECT_LEGACY_TEXT(q.InsertTimeStart, "09:30:00");
             TC_EXPECT_LEGACY_TEXT(q.InsertTimeEnd, "15:00:00");
         }},
        {12204, "ReqQryCondOrder", [](const Request &r) {
             auto q = as<CTORATstpQryCondOrderField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_EQ(q.CondOrderID, 4567);
         }},
        {12208, "ReqQryPrematurityRepoOrder", [](const Request &r) {
             auto q = as<CTORATstpQryPrematurityRepoOrderField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_EQ(q.Direction, 'Z');
             EXPECT_STREQ(q.TradeID, "4567");
         }},
        {12211, "ReqInquiryTradeConcentration", [](const Request &r) {
             auto q = as<CTORATstpInquiryTradeConcentrationField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_STREQ(q.AccountID, "acc1");
         }},
        {12215, "ReqQryTradingAccount", [](const Request &r) {
             auto q = as<CTORATstpQryTradingAccountField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_STREQ(q.CurrencyID, "CNY");
             EXPECT_STREQ(q.AccountID, "acc1");
             EXPECT_STREQ(q.DepartmentID, "dep1");
         }},
        {12216, "ReqInquiryJZFund", [](const Request &r) {
             auto q = as<CTORATstpReqInquiryJZFundField>(r);
             EXPECT_STREQ(q.AccountID, "acc1");
             EXPECT_STREQ(q.CurrencyID, "CNY");
             EXPECT_STREQ(q.DepartmentID, "dep1");
         }},
        {12217, "ReqInquiryBankAccountFund", [](const Request &r) {
             auto q = as<CTORATstpReqInquiryBankAccountFundField>(r);
             EXPECT_STREQ(q.DepartmentID, "dep1");
             EXPECT_STREQ(q.AccountID, "acc1");
             EXPECT_STREQ(q.CurrencyID, "CNY");
             EXPECT_EQ(q.BankID, '8');
             EXPECT_STREQ(q.BankPassword, "bpw");
         }},
        {12218, "ReqQryFundTransferDetail", [](const Request &r) {
             auto q = as<CTORATstpQryFundTransferDetailField>(r);
             EXPECT_STREQ(q.AccountID, "acc1");
             EXPECT_STREQ(q.CurrencyID, "CNY");
             EXPECT_EQ(q.TransferDirection, 'Z');
             EXPECT_STREQ(q.DepartmentID, "dep1");
         }},
        {12219, "ReqQryPositionTransferDetail", [](const Request &r) {
             auto q = as<CTORATstpQryPositionTransferDetailField>(r);
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_EQ(q.TransferDirection, 'Z');
             EXPECT_STREQ(q.ShareholderID, "");
         }},
        {12220, "ReqQryPeripheryFundTransferDetail", [](const Request &r) {
             auto q = as<CTORATstpQryPeripheryFundTransferDetailField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_STREQ(q.DepartmentID, "dep1");
             EXPECT_STREQ(q.AccountID, "acc1");
             EXPECT_STREQ(q.CurrencyID, "CNY");
             EXPECT_EQ(q.TransferDirection, '7');  // Z through the outgoing table
         }},
        {12221, "ReqQryPeripheryPositionTransferDetail", [](const Request &r) {
             auto q = as<CTORATstpQryPeripheryPositionTransferDetailField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_EQ(q.TransferDirection, 'Z');
         }},
        {12301, "ReqQryUser", [](const Request &r) { EXPECT_STREQ(as<CTORATstpQryUserField>(r).UserID, "u1"); }},
        {12304, "ReqQryShareholderSpecPrivilege", [](const Request &r) {
             auto q = as<CTORATstpQryShareholderSpecPrivilegeField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.ShareholderID, "A000000001");
         }},
        {12307, "ReqQryIPOMatchNumberResult", [](const Request &r) {
             auto q = as<CTORATstpQryIPOMatchNumberResultField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.MatchNumberID, "4567");
         }},
        {12308, "ReqInquiryMaxOrderVolume", [](const Request &r) {
             auto q = as<CTORATstpReqInquiryMaxOrderVolumeField>(r);
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.SecurityID, "600000");
             EXPECT_STREQ(q.InvestorID, "inv1");
             TC_EXPECT_LEGACY_TEXT(q.AccountID, "acc1");
             EXPECT_EQ(q.Direction, 'Z');
             // Order type '1' needs the market's best price; none known: 0 is sent.
             EXPECT_EQ(q.OrderPriceType, '2');
             EXPECT_EQ(q.TimeCondition, '3');
             EXPECT_EQ(q.VolumeCondition, '1');
             EXPECT_EQ(q.LimitPrice, 0.0);
         }},
        {12311, "ReqQryInvestorTradingFee", [](const Request &r) {
             auto q = as<CTORATstpQryInvestorTradingFeeField>(r);
             EXPECT_STREQ(q.InvestorID, "inv1");
             EXPECT_EQ(q.ExchangeID, '1');
             EXPECT_STREQ(q.DepartmentID, "dep1");
         }},
        {12314, "ReqInquiryNodeFundAssignment", [](const Request &r) {
             auto q = as<CTORATstpReqInquiryNodeFundAssignmentField>(r);
             EXPECT_STREQ(q.DepartmentID, "dep1");
             EXPECT_STREQ(q.AccountID, "acc1");
             EXPECT_STREQ(q.CurrencyID, "CNY");
             EXPECT_EQ(q.NodeID, 42);
         }},
        {12315, "ReqGetConnectionInfo", [](const Request &r) { EXPECT_TRUE(r.bytes.empty()); }},
        {12412, "ReqQrySZSEHKPriceTickInfo", [](const Request &r) {
             // 600000 kept to its low 8 bits.
             EXPECT_EQ(static_cast<unsigned char>(as<CTORATstpQrySZSEHKPriceTickInfoField>(r).PriceTickID), 600000 % 256);
         }},
        {12415, "ReqQrySystemNodeInfo", [](const Request &r) { EXPECT_EQ(as<CTORATstpQrySystemNodeInfoField>(r).NodeID, 42); }},
    };
    const CQNQueryCommandField q = query();
    std::size_t handled = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE("task " + std::to_string(row.taskID));
        // Queries this SDK cannot send have no handler (TraderSession tests what they answer).
        if ((row.taskID == ENUM_TORAStockTaskID_QryConnectionInfo && !tc::sdk::kHasGetConnectionInfo) ||
            (row.taskID == ENUM_TORAStockTaskID_QryLofFundInfo && !tc::sdk::kHasQryLofFundInfo)) {
            EXPECT_FALSE(trader_->hasTaskHandler(row.taskID));
            continue;
        }
        ASSERT_TRUE(trader_->hasTaskHandler(row.taskID));
        ++handled;
        const Request r = run(row.taskID, row.type, q);
        EXPECT_EQ(r.requestID, 0);
        if (!r.type.empty()) row.check(r);
        // Completed by its (empty) answer so the next row is at the head.
        EXPECT_EQ(trader_->scheduler().queuedTaskIDs().front(), row.taskID);
        trader_->scheduler().answered(row.taskID, false);
    }
    // With 12101 (the login) and 36 (the bank balance query), every row of the table is covered.
    EXPECT_EQ(handled + 2, trader_->taskHandlerCount());
    EXPECT_EQ(handled + tc::testing::kQueriesMissing, rows.size());
    EXPECT_TRUE(generalEvents().empty());
}

TEST_F(TraderQueries, PositionQueryWithAnExchangeAndNoCodeSendsAnEmptyCode) {
    CQNQueryCommandField q;
    tc::copyText(q.ExchangeID, "1");
    const auto req = run(ENUM_TORAStockTaskID_QryPosition, "ReqQryPosition", q).as<CTORATstpQryPositionField>();
    EXPECT_STREQ(req.InvestorID, "inv1");
    EXPECT_EQ(req.ExchangeID, '1');
    EXPECT_STREQ(req.SecurityID, "");
    // Without a query record every task field is empty.
    EXPECT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryOrder, nullptr, 1, 0, 0, false, -1), 0);
    trader_->scheduler().answered(ENUM_TORAStockTaskID_QryPosition, false);
    const auto order = step("ReqQryOrder").as<CTORATstpQryOrderField>();
    EXPECT_EQ(order.ExchangeID, '\0');
    EXPECT_STREQ(order.SecurityID, "");
}

TEST_F(TraderQueries, AnAnswerInThreeCallbacksGivesThreeEventsAndCompletesTheTaskOnce) {
    const CQNQueryCommandField q = query();
    ASSERT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryPosition, const_cast<CQNQueryCommandField *>(&q), 2,
                        0, 0, false, -1),
              0);
    ASSERT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryTrade, const_cast<CQNQueryCommandField *>(&q), 1, 0,
                        0, false, -1),
              0);
    step("ReqQryPosition");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        auto p = zeroRecord<CTORATstpPositionField>();
        spi->OnRspQryPosition(&p, &info, 0, false);
        // Still on the wire: nothing else goes out meanwhile.
        spi->OnRspQryPosition(&p, &info, 0, false);
        spi->OnRspQryPosition(&p, nullptr, 0, true);
    });
    const std::vector<Call> ev = generalEvents(ENUM_TORAStockTaskID_QryPosition);
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_FALSE(ev[0].isLast);
    EXPECT_FALSE(ev[1].isLast);
    EXPECT_TRUE(ev[2].isLast);
    for (const Call &c : ev) {
        EXPECT_NE(c.record, nullptr);
        EXPECT_EQ(c.errorID, 0);
        EXPECT_EQ(c.userID, "u1");
    }
    // Completed once: it took its turn behind the trade query (Count 2).
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(),
              (std::vector<int>{ENUM_TORAStockTaskID_QryTrade, ENUM_TORAStockTaskID_QryPosition}));
    step("ReqQryTrade");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(17, "no rights");
        spi->OnRspQryTrade(nullptr, &info, 0, true);
    });
    const std::vector<Call> trade = generalEvents(ENUM_TORAStockTaskID_QryTrade);
    ASSERT_EQ(trade.size(), 1u);
    EXPECT_EQ(trade[0].record, nullptr);
    EXPECT_EQ(trade[0].errorID, 17);
    EXPECT_EQ(trade[0].message, "no rights");
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(), (std::vector<int>{ENUM_TORAStockTaskID_QryPosition}));
}

TEST_F(TraderQueries, BankBalanceQueryIsTask36AndItsAnswerCompletesIt) {
    ASSERT_EQ(::queryBankAccountCash(trader_.get(), "apw", "8", "bpw"), 0);
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(), (std::vector<int>{36}));
    const auto req = step("ReqInquiryBankAccountFund").as<CTORATstpReqInquiryBankAccountFundField>();
    EXPECT_EQ(req.BankID, '8');
    EXPECT_STREQ(req.BankPassword, "bpw");
    EXPECT_STREQ(req.AccountID, "acc1");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        auto answer = zeroRecord<CTORATstpRspInquiryBankAccountFundField>();
        spi->OnRspInquiryBankAccountFund(&answer, &info, 0, true);
    });
    EXPECT_EQ(generalEvents(ENUM_TORAStockTaskID_QryBankAccountCash).size(), 1u);
    EXPECT_EQ(trader_->scheduler().size(), 0u);
}

// The two tasks share one answer, and each answer completes one of them: the one at the head.
TEST_F(TraderQueries, BankBalanceQueryBehindA12217TaskIsStillSent) {
    const auto answerBank = [this] {
        push([](CTORATstpTraderSpi *spi) {
            auto info = Broker::rspInfo(0, "");
            auto answer = zeroRecord<CTORATstpRspInquiryBankAccountFundField>();
            spi->OnRspInquiryBankAccountFund(&answer, &info, 0, true);
        });
    };
    ASSERT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryBankAccountCash, nullptr, 1, 0, 0, false, -1), 0);
    ASSERT_EQ(::queryBankAccountCash(trader_.get(), "apw", "8", "bpw"), 0);
    // A stray answer while nothing is on the wire leaves task 36 waiting for its own send.
    ASSERT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryBankAccountCash, nullptr, 1, 0, 0, false, -1), 0);
    step("ReqInquiryBankAccountFund");
    answerBank();
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(), (std::vector<int>{36, ENUM_TORAStockTaskID_QryBankAccountCash}));
    answerBank();
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(), (std::vector<int>{36, ENUM_TORAStockTaskID_QryBankAccountCash}));
    EXPECT_EQ(step("ReqInquiryBankAccountFund").as<CTORATstpReqInquiryBankAccountFundField>().BankID, '8');
    answerBank();
    EXPECT_EQ(trader_->scheduler().queuedTaskIDs(), (std::vector<int>{ENUM_TORAStockTaskID_QryBankAccountCash}));
    EXPECT_EQ(broker_->requestCount("ReqInquiryBankAccountFund"), 2u);
}

TEST_F(TraderQueries, MaxOrderVolumeIsPricedWithTheTaskSecurityAndDirection) {
    putSnapshot("600000", '1', 10.00, 10.02, 11.00, 9.00);
    CQNQueryCommandField q = query();
    tc::copyText(q.CombineBusinessFlag, "01");  // buy, opposite side's best
    auto req = run(ENUM_TORAStockTaskID_QryMaxOrderVolume, "ReqInquiryMaxOrderVolume", q)
                   .as<CTORATstpReqInquiryMaxOrderVolumeField>();
    EXPECT_EQ(req.Direction, '0');
    EXPECT_DOUBLE_EQ(req.LimitPrice, 10.02);
    trader_->scheduler().answered(ENUM_TORAStockTaskID_QryMaxOrderVolume, false);

    tc::copyText(q.CombineBusinessFlag, "1c");  // sell, five-and-kill: the lower limit
    req = run(ENUM_TORAStockTaskID_QryMaxOrderVolume, "ReqInquiryMaxOrderVolume", q)
              .as<CTORATstpReqInquiryMaxOrderVolumeField>();
    EXPECT_EQ(req.OrderPriceType, 'G');
    EXPECT_EQ(req.TimeCondition, '1');
    EXPECT_EQ(req.VolumeCondition, '1');
    EXPECT_DOUBLE_EQ(req.LimitPrice, 9.00);
    trader_->scheduler().answered(ENUM_TORAStockTaskID_QryMaxOrderVolume, false);

    tc::copyText(q.CombineBusinessFlag, "00");  // a limit order: FloatValue is the price
    req = run(ENUM_TORAStockTaskID_QryMaxOrderVolume, "ReqInquiryMaxOrderVolume", q)
              .as<CTORATstpReqInquiryMaxOrderVolumeField>();
    EXPECT_DOUBLE_EQ(req.LimitPrice, 9.5);
}

TEST_F(TraderQueries, RefusedQueryYieldsFailToSendWithTheSdkCode) {
    broker_->setNextReturn("ReqQryPosition", -7);
    const CQNQueryCommandField q = query();
    run(ENUM_TORAStockTaskID_QryPosition, "ReqQryPosition", q);
    const std::vector<Call> ev = generalEvents(ENUM_TORAStockTaskID_QryPosition);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].errorID, -7);
    EXPECT_EQ(ev[0].message, "Error:Fail To Send.");
    EXPECT_EQ(ev[0].record, nullptr);
    EXPECT_TRUE(ev[0].isLast);
    // Count 1 without repeat-until-success: dropped after its one attempt.
    EXPECT_EQ(trader_->scheduler().size(), 0u);
}

TEST_F(TraderQueries, NegotiatedOrderQueryHasNoHandler) {
    const CQNQueryCommandField q = query();
    const std::size_t sent = broker_->requestCount();
    ASSERT_EQ(::addTask(trader_.get(), ENUM_TORAStockTaskID_QryNegoOrder, const_cast<CQNQueryCommandField *>(&q), 1,
                        0, 0, false, -1),
              0);
    trader_->scheduler().step();
    const std::vector<Call> ev = generalEvents(ENUM_TORAStockTaskID_QryNegoOrder);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].errorID, -1003200);
    EXPECT_EQ(ev[0].message, "Error:Invalid EventID.");
    EXPECT_EQ(broker_->requestCount(), sent);
    EXPECT_EQ(trader_->scheduler().size(), 0u);
}

}  // namespace
