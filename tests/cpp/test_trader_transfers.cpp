// Cash and position transfers and the password change against the scripted broker: the records
// and requests, the flag checks, the notifications with their cash changes and events, the
// error responses.
#include <gtest/gtest.h>

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

class TraderTransfers : public TraderFixture {
protected:
    void SetUp() override {
        TraderFixture::SetUp();
        createTrader(1000);
        connectAndPrepare();
        tc::recording::clear();
    }
    CTORATstpTransferFundField fundNotice(int transferID, char status, char direction, double amount) {
        auto n = zeroRecord<CTORATstpTransferFundField>();
        std::snprintf(n.ApplySerial, sizeof n.ApplySerial, "%d", transferID);
        tc::copyText(n.FundSerial, "F-778");
        n.TransferStatus = status;
        n.TransferDirection = direction;
        n.Amount = amount;
        return n;
    }
    void pushFund(const CTORATstpTransferFundField &n) {
        ASSERT_EQ(broker_->pushRtnTransferFund(n), 1);
        ASSERT_TRUE(broker_->drain());
    }
};

TEST(TransferDirections, OutgoingTableMapsFlagsAndPassesSdkCodesThrough) {
    const std::pair<char, char> rows[] = {{'Z', '7'}, {'Y', '5'}, {'X', '2'}, {'W', 'c'}, {'V', 'c'},
                                          {'S', '6'}, {'R', '4'}, {'Q', '3'}, {'P', 'd'}, {'O', 'd'},
                                          {'7', '7'}, {'5', '5'}, {'2', '2'}, {'c', 'c'}, {'6', '6'},
                                          {'4', '4'}, {'3', '3'}, {'d', 'd'}, {'K', 0},   {'1', 0}};
    for (const auto &row : rows) EXPECT_EQ(tc::outgoingTransferDirection(row.first), row.second) << row.first;
}

TEST_F(TraderTransfers, CashTransferKeepsItsRecordAndSendsTheRequest) {
    CQNTransferAssetField *t = ::transferCash(trader_.get(), 'Z', 1000.0, "acpw", "9", "bkpw", "12", "ignored");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->TransferID, 1001);
    EXPECT_EQ(t->TransferFlag, 'Z');
    EXPECT_DOUBLE_EQ(t->Amount, 1000.0);
    EXPECT_STREQ(t->BankID, "9");
    EXPECT_STREQ(t->ExternalNodeID, "12");
    EXPECT_EQ(t->FrontID, kFrontID);
    EXPECT_EQ(t->SessionID, kSessionID);
    EXPECT_EQ(t->ErrorID, 0);
    EXPECT_EQ(trader_->findTransferRecord(1001), t);

    std::optional<torasim::Request> r = broker_->waitForRequest("ReqTransferFund");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->requestID, 1001);
    const auto req = r->as<CTORATstpInputTransferFundField>();
    EXPECT_STREQ(req.AccountID, "acc1");
    EXPECT_STREQ(req.CurrencyID, "CNY");
    EXPECT_STREQ(req.ApplySerial, "1001");
    EXPECT_EQ(req.TransferDirection, '7');
    EXPECT_DOUBLE_EQ(req.Amount, 1000.0);
    EXPECT_STREQ(req.DepartmentID, "dep1");
    EXPECT_EQ(req.BankID, '9');
    EXPECT_STREQ(req.BankPassword, "bkpw");
    EXPECT_STREQ(req.AccountPassword, "acpw");
    EXPECT_EQ(req.ExternalNodeID, 12);
    // No event comes from the call itself.
    EXPECT_TRUE(generalEvents().empty());
}

TEST_F(TraderTransfers, InvalidFlagsAndRefusedSendsAreKeptOnTheRecord) {
    CQNTransferAssetField *bad = ::transferCash(trader_.get(), 'K', 1000.0, "", "", "", "", "");
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->TransferID, 1001);
    EXPECT_EQ(bad->ErrorID, ENUM_ErrorID_InvalidTransferFlag);
    EXPECT_STREQ(bad->Message, "Error:Invalid TransferFlag.");
    CQNTransferAssetField *badPosition = ::transferPosition(trader_.get(), 'Z', 100, "600000", "", "", "1");
    EXPECT_EQ(badPosition->ErrorID, ENUM_ErrorID_InvalidTransferFlag);
    EXPECT_EQ(broker_->requestCount("ReqTransferFund") + broker_->requestCount("ReqTransferPosition"), 0u);

    broker_->setNextReturn("ReqTransferFund", -4);
    CQNTransferAssetField *refused = ::transferCash(trader_.get(), 'S', 5.0, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(refused->ErrorID, -4);
    EXPECT_STREQ(refused->Message, "Error:Fail To Send.");
    EXPECT_STREQ(refused->BankID, "");
    EXPECT_TRUE(generalEvents().empty());
}

TEST_F(TraderTransfers, PositionTransferTakesTheExchangeFromTheDirectoryWhenNoneIsGiven) {
    CQNTransferAssetField *t = ::transferPosition(trader_.get(), 'V', 300, "000001", "7", "ignored", nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->StandardID, "000001");
    EXPECT_STREQ(t->ExchangeID, "2");
    EXPECT_EQ(t->Volume, 300);
    std::optional<torasim::Request> r = broker_->waitForRequest("ReqTransferPosition");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->requestID, t->TransferID);
    const auto req = r->as<CTORATstpInputTransferPositionField>();
    EXPECT_STREQ(req.InvestorID, "inv1");
    EXPECT_EQ(req.ExchangeID, '2');
    EXPECT_STREQ(req.ShareholderID, "0000000002");
    EXPECT_STREQ(req.SecurityID, "000001");
    EXPECT_STREQ(req.ApplySerial, "1001");
    EXPECT_EQ(req.TransferDirection, 'c');
    EXPECT_EQ(req.Volume, 300);
    EXPECT_EQ(req.TransferPositionType, '0');
    EXPECT_EQ(req.ExternalNodeID, 7);

    CQNTransferAssetField *sh = ::transferPosition(trader_.get(), 'O', 100, "600000", "", "", "1");
    EXPECT_STREQ(sh->ExchangeID, "1");
    const auto shReq = broker_->waitForRequest("ReqTransferPosition")->as<CTORATstpInputTransferPositionField>();
    EXPECT_STREQ(shReq.ShareholderID, "A000000001");
    EXPECT_EQ(shReq.TransferDirection, 'd');

    CQNTransferAssetField *none = ::transferPosition(trader_.get(), 'O', 100, nullptr, "", "", "1");
    EXPECT_STREQ(none->StandardID, "");
    EXPECT_STREQ(none->ExchangeID, "");
}

TEST_F(TraderTransfers, CashNotificationByTextReferenceMovesCashAndDeliversItsEvent) {
    CQNTransferAssetField *t = ::transferCash(trader_.get(), 'Z', 1000.0, "", "1", "", "", "");
    pushFund(fundNotice(t->TransferID, TORA_TSTP_TRANST_TransferSuccess, TORA_TSTP_TRNSD_BankToStock, 1000.0));
    EXPECT_DOUBLE_EQ(cash(), kStartCash + 1000.0);
    EXPECT_EQ(t->TransferStatus, ENUM_TransferStatus_Succeed);
    // The current generation's serials are ints: the text one reaches the engine as 0.
    EXPECT_STREQ(t->BusinessID, tc::testing::kLegacyShapes ? "F-778" : "0");
    const std::vector<Call> ev = generalEvents(ENUM_TORAStockEventID_PeripheryTransferCash);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].record, t);
    EXPECT_TRUE(ev[0].isLast);
    EXPECT_EQ(ev[0].errorID, 0);
    EXPECT_EQ(ev[0].userID, "u1");

    // Outbound: held outside (6) takes the amount, a repeal (4) gives it back.
    CQNTransferAssetField *out = ::transferCash(trader_.get(), 'S', 200.0, "", "1", "", "", "");
    pushFund(fundNotice(out->TransferID, TORA_TSTP_TRANST_ExternalAccepted, TORA_TSTP_TRNSD_StockToBank, 200.0));
    EXPECT_DOUBLE_EQ(cash(), kStartCash + 800.0);
    EXPECT_EQ(out->TransferStatus, ENUM_TransferStatus_OutSideFrozen);
    pushFund(fundNotice(out->TransferID, TORA_TSTP_TRANST_RepealSuccess, TORA_TSTP_TRNSD_StockToBank, 200.0));
    EXPECT_DOUBLE_EQ(cash(), kStartCash + 1000.0);
    EXPECT_EQ(out->TransferStatus, ENUM_TransferStatus_Repealed);
    EXPECT_EQ(out->ErrorID, ENUM_ErrorID_FailToTransfer);
    EXPECT_STREQ(out->Message, "Error:Fail To Transfer.");

    // A failure keeps the cash; an unknown direction is ignored altogether.
    pushFund(fundNotice(out->TransferID, TORA_TSTP_TRANST_TransferFail, 'z', 200.0));
    EXPECT_EQ(out->TransferStatus, ENUM_TransferStatus_Failed);
    const std::size_t events = generalEvents().size();
    pushFund(fundNotice(out->TransferID, TORA_TSTP_TRANST_TransferSuccess, 'z', 200.0));
    EXPECT_EQ(generalEvents().size(), events);
    EXPECT_DOUBLE_EQ(cash(), kStartCash + 1000.0);
    EXPECT_EQ(out->TransferStatus, ENUM_TransferStatus_Failed);

    // Someone else's transfer only moves the cash.
    pushFund(fundNotice(99999, TORA_TSTP_TRANST_TransferSuccess, TORA_TSTP_TRNSD_In, 50.0));
    EXPECT_DOUBLE_EQ(cash(), kStartCash + 1050.0);
    EXPECT_EQ(generalEvents().size(), events);
}

TEST_F(TraderTransfers, PeripheryAndPositionNotificationsFollowTheirOwnRules) {
    CQNTransferAssetField *in = ::transferCash(trader_.get(), 'W', 300.0, "", "", "", "5", "");
    CQNTransferAssetField *pos = ::transferPosition(trader_.get(), 'V', 100, "600000", "5", "", "1");
    push([in, pos](CTORATstpTraderSpi *spi) {
        auto f = zeroRecord<CTORATstpRtnPeripheryTransferFundField>();
        f.ApplySerial = in->TransferID;
        f.TransferDirection = TORA_TSTP_TRNSD_NodeMoveIn;
        f.Amount = 300.0;
        f.TransferStatus = TORA_TSTP_TRANST_TransferSuccess;  // inbound success: no change here
        spi->OnRtnPeripheryTransferFund(&f);
        f.TransferStatus = TORA_TSTP_TRANST_RepealSuccess;  // inbound repeal: + amount
        spi->OnRtnPeripheryTransferFund(&f);
        f.TransferDirection = TORA_TSTP_TRNSD_NodeMoveOut;
        f.TransferStatus = TORA_TSTP_TRANST_TransferSuccess;  // outbound success: + amount
        spi->OnRtnPeripheryTransferFund(&f);

        auto p = zeroRecord<CTORATstpRtnPeripheryTransferPositionField>();
        p.ApplySerial = pos->TransferID;
        p.TransferDirection = TORA_TSTP_TRNSD_NodeMoveIn;
        p.TransferStatus = TORA_TSTP_TRANST_TransferSuccess;
        spi->OnRtnPeripheryTransferPosition(&p);

        auto t = zeroRecord<CTORATstpTransferPositionField>();
        std::snprintf(t.ApplySerial, sizeof t.ApplySerial, "%d", pos->TransferID);
        tc::copyText(t.PositionSerial, "P-1");
        t.TransferDirection = TORA_TSTP_TRNSD_NodeMoveIn;
        t.TransferStatus = TORA_TSTP_TRANST_ExternalAccepted;
        spi->OnRtnTransferPosition(&t);
    });
    EXPECT_DOUBLE_EQ(cash(), kStartCash + 600.0);
    EXPECT_EQ(generalEvents(ENUM_TORAStockEventID_PeripheryTransferCash).size(), 3u);
    EXPECT_EQ(in->TransferStatus, ENUM_TransferStatus_Succeed);
    EXPECT_STREQ(in->BusinessID, "");
    const std::vector<Call> cashEvents = generalEvents(ENUM_TORAStockEventID_TransferCash);
    ASSERT_EQ(cashEvents.size(), 1u);
    EXPECT_EQ(cashEvents[0].record, pos);
    const std::vector<Call> positionEvents = generalEvents(ENUM_TORAStockEventID_TransferPosition);
    ASSERT_EQ(positionEvents.size(), 1u);
    EXPECT_EQ(positionEvents[0].record, pos);
    EXPECT_EQ(pos->TransferStatus, ENUM_TransferStatus_OutSideFrozen);
    EXPECT_STREQ(pos->BusinessID, tc::testing::kLegacyShapes ? "P-1" : "0");
    EXPECT_TRUE(generalEvents(ENUM_TORAStockEventID_PeripheryTransferPosition).empty());
}

TEST_F(TraderTransfers, ErrorResponsesSetTheErrorAndKeepTheStatus) {
    CQNTransferAssetField *t = ::transferCash(trader_.get(), 'Z', 10.0, "", "1", "", "", "");
    CQNTransferAssetField *p = ::transferPosition(trader_.get(), 'V', 100, "600000", "5", "", "1");
    push([t, p](CTORATstpTraderSpi *spi) {
        auto fund = zeroRecord<CTORATstpInputTransferFundField>();
        std::snprintf(fund.ApplySerial, sizeof fund.ApplySerial, "%d", t->TransferID);
        auto ok = Broker::rspInfo(0, "");
        spi->OnErrRtnTransferFund(&fund, &ok);  // no error: ignored
        auto info = Broker::rspInfo(61, "bank closed");
        spi->OnErrRtnTransferFund(&fund, &info);
        auto position = zeroRecord<CTORATstpInputTransferPositionField>();
        std::snprintf(position.ApplySerial, sizeof position.ApplySerial, "%d", p->TransferID);
        auto perr = Broker::rspInfo(62, "no position");
        spi->OnErrRtnTransferPosition(&position, &perr);
        spi->OnRspTransferPosition(&position, &perr, 0, false);
    });
    EXPECT_EQ(t->ErrorID, 61);
    EXPECT_STREQ(t->Message, "bank closed");
    EXPECT_EQ(t->TransferStatus, '\0');
    const std::vector<Call> cashEvents = generalEvents(ENUM_TORAStockEventID_TransferCash);
    ASSERT_EQ(cashEvents.size(), 2u);
    EXPECT_EQ(cashEvents[0].record, t);
    EXPECT_EQ(cashEvents[0].errorID, 61);
    EXPECT_EQ(cashEvents[0].message, "bank closed");
    EXPECT_EQ(cashEvents[1].record, p);
    EXPECT_EQ(cashEvents[1].isLast, !tc::testing::kLegacyShapes);   // no last flag in the current generation
    const std::vector<Call> positionEvents = generalEvents(ENUM_TORAStockEventID_TransferPosition);
    ASSERT_EQ(positionEvents.size(), 1u);
    EXPECT_EQ(positionEvents[0].errorID, 62);
    EXPECT_EQ(p->ErrorID, 62);

    // The same refusals reported again on the other route (or repeated) deliver nothing more.
    push([t, p](CTORATstpTraderSpi *spi) {
        auto fund = zeroRecord<CTORATstpInputTransferFundField>();
        std::snprintf(fund.ApplySerial, sizeof fund.ApplySerial, "%d", t->TransferID);
        auto info = Broker::rspInfo(63, "again");
        spi->OnRspTransferFund(&fund, &info, 0, true);
        auto position = zeroRecord<CTORATstpInputTransferPositionField>();
        std::snprintf(position.ApplySerial, sizeof position.ApplySerial, "%d", p->TransferID);
        spi->OnErrRtnTransferPosition(&position, &info);
        spi->OnRspTransferPosition(&position, &info, 0, true);
    });
    EXPECT_EQ(generalEvents(ENUM_TORAStockEventID_TransferCash).size(), 2u);
    EXPECT_EQ(generalEvents(ENUM_TORAStockEventID_TransferPosition).size(), 1u);
    EXPECT_EQ(t->ErrorID, 61);
    EXPECT_STREQ(t->Message, "bank closed");
    EXPECT_EQ(p->ErrorID, 62);
}

TEST_F(TraderTransfers, PasswordChangeForTheUserPasswordOnly) {
    EXPECT_EQ(::updatePassword(trader_.get(), '1', "old", "new"), ENUM_ErrorID_InvalidPasswordFlag);
    EXPECT_EQ(broker_->requestCount("ReqUserPasswordUpdate"), 0u);
    EXPECT_EQ(::updatePassword(trader_.get(), '0', "old", "new"), 0);
    std::optional<torasim::Request> r = broker_->waitForRequest("ReqUserPasswordUpdate");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->requestID, 0);
    const auto req = r->as<CTORATstpUserPasswordUpdateField>();
    EXPECT_STREQ(req.UserID, "u1");
    EXPECT_STREQ(req.OldPassword, "old");
    EXPECT_STREQ(req.NewPassword, "new");
    broker_->setNextReturn("ReqUserPasswordUpdate", -2);
    EXPECT_EQ(::updatePassword(trader_.get(), '0', "old", "new"), -2);

    push([](CTORATstpTraderSpi *spi) {
        auto answer = zeroRecord<CTORATstpUserPasswordUpdateField>();
        auto info = Broker::rspInfo(0, "");
        spi->OnRspUserPasswordUpdate(&answer, &info, 0, true);
    });
    const std::vector<Call> ev = generalEvents(ENUM_TORAStockEventID_UpdateUserPassword);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_NE(ev[0].record, nullptr);
    EXPECT_STREQ(trader_->login().Password, "secret");
}

// A confirmed change reaches both login copies, so the next login after a reconnection uses it;
// a refused one reaches neither.
TEST_F(TraderTransfers, ConfirmedPasswordChangeIsUsedByTheNextLoginOfBothSides) {
    attachSnapshots();
    const auto answer = [this](const char *newPassword, int errorID) {
        push([newPassword, errorID](CTORATstpTraderSpi *spi) {
            auto echoed = zeroRecord<CTORATstpUserPasswordUpdateField>();
            tc::copyText(echoed.OldPassword, "secret");
            tc::copyText(echoed.NewPassword, newPassword);
            auto info = Broker::rspInfo(errorID, errorID ? "weak password" : "");
            spi->OnRspUserPasswordUpdate(&echoed, &info, 0, true);
        });
    };
    answer("abc", 12);
    EXPECT_STREQ(trader_->login().Password, "secret");
    answer("n3w-pass", 0);
    EXPECT_STREQ(trader_->login().Password, "n3w-pass");
    EXPECT_STREQ(md_->login().Password, "n3w-pass");
    disconnect();
    accept();
    EXPECT_STREQ(step("ReqUserLogin").as<CTORATstpReqUserLoginField>().Password, "n3w-pass");
}

}  // namespace
