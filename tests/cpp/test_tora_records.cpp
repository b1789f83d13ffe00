// The TORA records that events 12004-12415 carry: every row's name, record and field list, and
// the stand-in records' layout against the vendor's sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <set>
#include <string>

#include "TORATstpUserApiStruct.h"
#include "events/ToraRecords.h"
#include "support/SdkProfile.h"

// The vendor's sizes of every text field of every record (generated with the headers).
#include "tora_record_sizes.inc"

namespace {

// 3.9.3 lacks the later builds' white-list flag of the shareholder answer; the row lists the
// fields of the record this build has.
using tc::testing::kWhiteListFlag;

struct ExpectedRow {
    int eventID;
    const char *name;
    std::size_t fieldCount;
    const char *recordName;
    std::size_t recordSize;
};

#define ROW(ID, NAME, COUNT, REC) ExpectedRow{ID, NAME, COUNT, #REC, sizeof(REC)}

// Every event that carries a TORA record: its name, how many fields its list has, and the
// record the SDK hands us with it.
const ExpectedRow kExpected[] = {
    ROW(12004, "MarketStatus", 2, CTORATstpMarketStatusField),
    ROW(12005, "TradingNotice", 7, CTORATstpTradingNoticeField),
    ROW(12006, "Subscribe", 2, CTORATstpSpecificSecurityField),
    ROW(12007, "Unsubscribe", 2, CTORATstpSpecificSecurityField),
    ROW(12008, "UpdateUserPassword", 3, CTORATstpUserPasswordUpdateField),
    ROW(12101, "LoginTrader", 26, CTORATstpRspUserLoginField),
    ROW(12102, "LoginMd", 26, CTORATstpRspUserLoginField),
    ROW(12201, "QryOrder", 59, CTORATstpOrderField),
    ROW(12202, "QryOrderAction", 34, CTORATstpOrderActionField),
    ROW(12203, "QryOrderFundDetail", 17, CTORATstpOrderFundDetailField),
    ROW(12204, "QryConditionOrder", 61, CTORATstpCondOrderField),
    ROW(12205, "QryConditionOrderAction", 23, CTORATstpCondOrderActionField),
    ROW(12208, "QryPrematurityRepoOrder", 19, CTORATstpPrematurityRepoOrderField),
    ROW(12209, "QryTrade", 23, CTORATstpTradeField),
    ROW(12211, "QryTradeConcentration", 9, CTORATstpInquiryTradeConcentrationField),
    ROW(12212, "QryPosition", 24, CTORATstpPositionField),
    ROW(12213, "QryPledgePosition", 13, CTORATstpPledgePositionField),
    ROW(12214, "QryStandardBondPosition", 10, CTORATstpStandardBondPositionField),
    ROW(12215, "QryTradingAccount", 19, CTORATstpTradingAccountField),
    ROW(12216, "QryJZCash", 5, CTORATstpRspInquiryJZFundField),
    ROW(12217, "QryBankAccountCash", 6, CTORATstpRspInquiryBankAccountFundField),
    ROW(12218, "QryTransferCashDetail", 23, CTORATstpFundTransferDetailField),
    ROW(12219, "QryTransferPositionDetail", 26, CTORATstpPositionTransferDetailField),
    ROW(12220, "QryPeripheryTransferCashDetail", 18, CTORATstpPeripheryFundTransferDetailField),
    ROW(12221, "QryPeripheryTransferPositionDetail", 23, CTORATstpPeripheryPositionTransferDetailField),
    ROW(12301, "QryUser", 5, CTORATstpUserField),
    ROW(12302, "QryInvestor", 16, CTORATstpInvestorField),
    ROW(12303, "QryShareholderAccount", kWhiteListFlag ? 6 : 5, CTORATstpShareholderAccountField),
    ROW(12304, "QryShareholderSpecPrivilege", 7, CTORATstpShareholderSpecPrivilegeField),
    ROW(12305, "QryIPOQuota", 6, CTORATstpIPOQuotaField),
    ROW(12306, "QryIPONumberResult", 8, CTORATstpIPONumberResultField),
    ROW(12307, "QryIPOMatchNumberResult", 10, CTORATstpIPOMatchNumberResultField),
    ROW(12308, "QryMaxOrderVolume", 16, CTORATstpRspInquiryMaxOrderVolumeField),
    ROW(12309, "QryInvestorPositionLimit", 27, CTORATstpInvestorPositionLimitField),
    ROW(12310, "QryInvestorCondOrderLimitParam", 3, CTORATstpInvestorCondOrderLimitParamField),
    ROW(12311, "QryInvestorTradingFee", 15, CTORATstpInvestorTradingFeeField),
    ROW(12312, "QryTradingFee", 35, CTORATstpTradingFeeField),
    ROW(12313, "QryTradingNotice", 7, CTORATstpTradingNoticeField),
    ROW(12314, "QryNodeCashAssignment", 14, CTORATstpRspInquiryNodeFundAssignmentField),
    ROW(12315, "QryConnectionInfo", 5, CTORATstpConnectionInfoField),
    ROW(12316, "SetNodeCashAssignment", 14, CTORATstpInputNodeFundAssignmentField),
    ROW(12401, "QrySecurity", 40, CTORATstpSecurityField),
    ROW(12402, "QryIPOInfo", 15, CTORATstpIPOInfoField),
    ROW(12403, "QryRationalInfo", 13, CTORATstpRationalInfoField),
    ROW(12404, "QryPledgeInfo", 17, CTORATstpPledgeInfoField),
    ROW(12405, "QryBondConversionInfo", 13, CTORATstpConversionBondInfoField),
    ROW(12406, "QryBondPutbackInfo", 16, CTORATstpBondPutbackInfoField),
    ROW(12407, "QryETFFile", 15, CTORATstpETFFileField),
    ROW(12408, "QryETFBasket", 12, CTORATstpETFBasketField),
    ROW(12409, "QryLofFundInfo", 9, CTORATstpLofFundInfoField),
    ROW(12410, "QrySZSEImcParams", 5, CTORATstpSZSEImcParamsField),
    ROW(12411, "QrySZSEImcExchangeRate", 5, CTORATstpSZSEImcExchangeRateField),
    ROW(12412, "QrySZSEHKPriceTickInfo", 6, CTORATstpSZSEHKPriceTickInfoField),
    ROW(12413, "QryMarket", 4, CTORATstpMarketField),
    ROW(12414, "QryExchange", 3, CTORATstpExchangeField),
    ROW(12415, "QrySystemNodeInfo", 3, CTORATstpSystemNodeInfoField),
};

#undef ROW

std::string joinNames(const tc::RecordDesc &desc)
{
    std::string out;
    for (std::size_t i = 0; i < desc.count; ++i) {
        if (i) out += ',';
        out += desc.fields[i].name;
    }
    return out;
}

std::string fieldsOf(int eventID)
{
    const tc::RecordDesc *desc = tc::toraRecordForEvent(eventID);
    return desc ? desc->fieldList : "<no row>";
}

TEST(ToraRecords, EveryRowHasItsNameRecordAndFieldCount)
{
    std::size_t count = 0;
    const tc::ToraEventRow *rows = tc::toraEventRows(&count);
    ASSERT_EQ(count, std::size(kExpected));
    for (std::size_t i = 0; i < count; ++i) {
        const ExpectedRow &want = kExpected[i];
        SCOPED_TRACE(want.eventID);
        EXPECT_EQ(rows[i].eventID, want.eventID);
        ASSERT_NE(tc::toraEventName(want.eventID), nullptr);
        EXPECT_STREQ(tc::toraEventName(want.eventID), want.name);
        const tc::RecordDesc *desc = tc::toraRecordForEvent(want.eventID);
        ASSERT_NE(desc, nullptr);
        EXPECT_EQ(desc, rows[i].record);
        EXPECT_STREQ(desc->recordName, want.recordName);
        EXPECT_EQ(desc->count, want.fieldCount);
        EXPECT_EQ(std::count(desc->fieldList, desc->fieldList + std::strlen(desc->fieldList), ',') + 1,
                  static_cast<std::ptrdiff_t>(want.fieldCount));
    }
}

TEST(ToraRecords, FieldListIsTheFieldNamesInDeclarationOrder)
{
    for (const ExpectedRow &want : kExpected) {
        SCOPED_TRACE(want.eventID);
        const tc::RecordDesc &desc = *tc::toraRecordForEvent(want.eventID);
        EXPECT_EQ(joinNames(desc), desc.fieldList);
        std::set<std::string> names;
        for (std::size_t i = 0; i < desc.count; ++i) {
            EXPECT_TRUE(names.insert(desc.fields[i].name).second) << desc.fields[i].name;
        }
    }
}

// Each field sits after the one before it and inside the record, with a size that fits its kind,
// so the renderer reads exactly the vendor's bytes.
TEST(ToraRecords, FieldTablesMatchTheRecordLayout)
{
    for (const ExpectedRow &want : kExpected) {
        SCOPED_TRACE(want.eventID);
        const tc::RecordDesc &desc = *tc::toraRecordForEvent(want.eventID);
        std::size_t end = 0;
        for (std::size_t i = 0; i < desc.count; ++i) {
            const tc::FieldDesc &f = desc.fields[i];
            SCOPED_TRACE(f.name);
            EXPECT_GE(f.offset, end);
            end = f.offset + f.size;
            EXPECT_LE(end, want.recordSize);
            switch (f.kind) {
            case tc::FieldKind::Text: EXPECT_GT(f.size, 1u); break;
            case tc::FieldKind::Char: EXPECT_EQ(f.size, 1u); break;
            case tc::FieldKind::Int32: EXPECT_EQ(f.size, 4u); break;
            case tc::FieldKind::Int64: EXPECT_EQ(f.size, 8u); break;
            case tc::FieldKind::Double: EXPECT_EQ(f.size, 8u); break;
            default: ADD_FAILURE() << "TORA records have no such field kind"; break;
            }
        }
    }
}

TEST(ToraRecords, FieldKindsFollowTheVendorTypes)
{
    const tc::RecordDesc &login = *tc::toraRecordForEvent(12101);
    EXPECT_EQ(login.fields[0].kind, tc::FieldKind::Text);   // LoginTime
    EXPECT_EQ(login.fields[0].size, 9u);
    EXPECT_EQ(login.fields[2].kind, tc::FieldKind::Char);   // LogInAccountType
    EXPECT_EQ(login.fields[4].kind, tc::FieldKind::Int32);  // FrontID
    EXPECT_EQ(login.fields[4].offset, offsetof(CTORATstpRspUserLoginField, FrontID));
    EXPECT_EQ(login.fields[20].kind, tc::FieldKind::Int32); // NeedUpdatePassword: the SDK's bool is an int

    const tc::RecordDesc &account = *tc::toraRecordForEvent(12215);
    EXPECT_STREQ(account.fields[1].name, "Available");
    EXPECT_EQ(account.fields[1].kind, tc::FieldKind::Double);
    EXPECT_EQ(account.fields[1].offset, offsetof(CTORATstpTradingAccountField, Available));

    const tc::RecordDesc &quota = *tc::toraRecordForEvent(12305);
    bool sawInt64 = false;
    for (std::size_t i = 0; i < quota.count; ++i) {
        if (std::strcmp(quota.fields[i].name, "MaxVolume") == 0) {
            EXPECT_EQ(quota.fields[i].kind, tc::FieldKind::Int64);
            EXPECT_EQ(quota.fields[i].offset, offsetof(CTORATstpIPOQuotaField, MaxVolume));
            sawInt64 = true;
        }
    }
    EXPECT_TRUE(sawInt64);

    const tc::RecordDesc &shareholder = *tc::toraRecordForEvent(12303);
    ASSERT_EQ(shareholder.count, kWhiteListFlag ? 6u : 5u);
    EXPECT_EQ(shareholder.fields[4].offset, offsetof(CTORATstpShareholderAccountField, MarketID));
    if (kWhiteListFlag) {
        EXPECT_EQ(shareholder.fields[5].kind, tc::FieldKind::Char);  // BSWhiteListCtl
    }
    EXPECT_EQ(shareholder.fields[shareholder.count - 1].offset + 1, sizeof(CTORATstpShareholderAccountField));
}

TEST(ToraRecords, TellingRowsHaveTheirExactFieldLists)
{
    EXPECT_EQ(fieldsOf(12004), "MarketID,MarketStatus");
    for (int id : {12005, 12313}) {
        EXPECT_EQ(fieldsOf(id),
                  "NoticeSerial,InsertDate,InsertTime,InvestorID,BusinessUnitID,Content,OperatorID");
    }
    for (int id : {12006, 12007}) EXPECT_EQ(fieldsOf(id), "ExchangeID,SecurityID");
    EXPECT_EQ(fieldsOf(12008), "UserID,OldPassword,NewPassword");
    for (int id : {12101, 12102}) {
        EXPECT_EQ(fieldsOf(id),
                  "LoginTime,LogInAccount,LogInAccountType,SystemName,FrontID,SessionID,MaxOrderRef,"
                  "PrivateFlowCount,PublicFlowCount,TradingDay,UserID,UserName,UserType,DepartmentID,"
                  "InnerIPAddress,MacAddress,HDSerial,OrderInsertCommFlux,PasswordUpdatePeriod,"
                  "PasswordRemainDays,NeedUpdatePassword,OrderActionCommFlux,Mobile,OuterIPAddress,"
                  "CertSerial,OuterPort");
    }
    EXPECT_EQ(fieldsOf(12215),
              "AccountID,Available,WithdrawQuota,CurrencyID,Deposit,Withdraw,UnDeliveredMoney,"
              "FrozenCash,FrozenCommission,PreUnDeliveredMoney,Commission,AccountType,AccountOwner,"
              "DepartmentID,BankID,BankAccountID,UnDeliveredFrozenCash,UnDeliveredFrozenCommission,"
              "UnDeliveredCommission");
    EXPECT_EQ(fieldsOf(12216), "AccountID,CurrencyID,UsefulMoney,FetchLimit,DepartmentID");
    EXPECT_EQ(fieldsOf(12217), "DepartmentID,AccountID,CurrencyID,BankID,BankAccountID,Balance");
    EXPECT_EQ(fieldsOf(12301), "UserID,UserName,UserType,IsActive,LoginLimit");
    EXPECT_EQ(fieldsOf(12307),
              "ExchangeID,SecurityID,Day,SecurityName,ShareholderID,SecurityType,MatchNumberID,Volume,"
              "Price,Amout");
    EXPECT_EQ(fieldsOf(12310), "InvestorID,MaxCondOrderLimitCnt,CurrCondOrderCnt");
    EXPECT_EQ(fieldsOf(12315), "InnerIPAddress,InnerPort,OuterIPAddress,OuterPort,MacAddress");
    EXPECT_EQ(fieldsOf(12411), "FromCurrency,ToCurrency,BidRate,OfferRate,MidPointRate");
    EXPECT_EQ(fieldsOf(12413), "MarketID,MarketName,ExchangeID,MarketStatus");
    EXPECT_EQ(fieldsOf(12414), "ExchangeID,ExchangeName,TradingDay");
    EXPECT_EQ(fieldsOf(12415), "NodeID,NodeInfo,bCurrent");
}

TEST(ToraRecords, RowsThatShareARecord)
{
    EXPECT_EQ(tc::toraRecordForEvent(12006), tc::toraRecordForEvent(12007));
    EXPECT_EQ(tc::toraRecordForEvent(12101), tc::toraRecordForEvent(12102));
    EXPECT_EQ(tc::toraRecordForEvent(12005), tc::toraRecordForEvent(12313));
    // The node-cash inquiry answer and the assignment echo are different records with one list.
    EXPECT_NE(tc::toraRecordForEvent(12314), tc::toraRecordForEvent(12316));
    EXPECT_EQ(fieldsOf(12314), fieldsOf(12316));
    // The answer to a condition-order query has the push record's fields.
    EXPECT_EQ(fieldsOf(12204).rfind("ExchangeID,InvestorID,BusinessUnitID,", 0), 0u);
    EXPECT_EQ(fieldsOf(12204).substr(fieldsOf(12204).size() - 7), ",GTDate");
    // The shareholder answer of the later builds carries a white-list flag after MarketID.
    EXPECT_EQ(fieldsOf(12303), std::string("InvestorID,ExchangeID,ShareholderID,ClientIDType,MarketID") +
                                   (kWhiteListFlag ? ",BSWhiteListCtl" : ""));
}

TEST(ToraRecords, IdentifiersWithoutARowHaveNothing)
{
    for (int id : {12001, 12002, 12003, 12206, 12207, 12210, 12317, 12318, 12416, 12000, 12999, 13000,
                   12009, 12010, 12011, 12012, 10011, 10021, 10001, 11011, 0, -1, 9999}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(tc::toraRecordForEvent(id), nullptr);
        EXPECT_EQ(tc::toraEventName(id), nullptr);
    }
}

}  // namespace
