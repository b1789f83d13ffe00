// A build against the current SDK generation (built only there): the events carry that SDK's
// records, the layer reads its codes, and the facts' record sizes are what the compiler makes of
// the stand-in's declarations.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "ToraSdk.h"
#include "engine/tradecore_api.h"
#include "events/ToraRecords.h"

// The record sizes of the facts table (64-bit Linux), written with the stand-in.
#include "record_sizes.inc"

namespace {

using Trader = tc::sdk::TraderSpi;
using Md = tc::sdk::MdSpi;

struct Row {
    int eventID;
    const char *recordName;
    std::size_t size;      // the SDK record's size
    const char *fields;    // its field list, or the start of it
};

// Rows whose record this generation renamed or keeps on its market-data side, and rows whose
// layout it changed.
TEST(SdkCurrent, EventsCarryTheRecordsOfTheSdkInHand) {
    const Row rows[] = {
        {12204, "CTORATstpConditionOrderField", sizeof(Trader::CTORATstpConditionOrderField), "ExchangeID,InvestorID,"},
        {12405, "CTORATstpBondConversionInfoField", sizeof(Trader::CTORATstpBondConversionInfoField), "ExchangeID,"},
        {12410, "CTORATstpImcParamsField", sizeof(Trader::CTORATstpImcParamsField), "MarketID,"},
        {12411, "CTORATstpImcExchangeRateField", sizeof(Trader::CTORATstpImcExchangeRateField), "FromCurrency,"},
        {12412, "CTORATstpHKPriceTickInfoField", sizeof(Trader::CTORATstpHKPriceTickInfoField), "PriceTickID,"},
        {12303, "CTORATstpShareholderAccountField", sizeof(Trader::CTORATstpShareholderAccountField),
         "InvestorID,ExchangeID,ShareholderID,ShareholderIDType,MarketID,BSWhiteListCtl,MainFlag"},
        {12216, "CTORATstpRspInquiryJZFundField", sizeof(Trader::CTORATstpRspInquiryJZFundField),
         "AccountID,CurrencyID,UsefulMoney,FetchLimit,UserRequestID,DepartmentID"},
        {12101, "CTORATstpRspUserLoginField", sizeof(Trader::CTORATstpRspUserLoginField), "UserRequestID,DepartmentID,"},
        {12102, "CTORATstpRspUserLoginField", sizeof(Md::CTORATstpRspUserLoginField), "DepartmentID,LogInAccount,"},
        {12006, "CTORATstpSpecificSecurityField", sizeof(Md::CTORATstpSpecificSecurityField), "ExchangeID,SecurityID"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.eventID);
        const tc::RecordDesc *desc = tc::toraRecordForEvent(row.eventID);
        ASSERT_NE(desc, nullptr);
        EXPECT_STREQ(desc->recordName, row.recordName);
        EXPECT_EQ(std::string(getFields(row.eventID, nullptr)).rfind(row.fields, 0), 0u);
        // Every field lies inside the record, the last one reaching its end (up to padding).
        const tc::FieldDesc &last = desc->fields[desc->count - 1];
        EXPECT_LE(last.offset + last.size, row.size);
        EXPECT_GT(last.offset + last.size + 8, row.size);
    }
    // The two logins carry different records of one name.
    EXPECT_NE(tc::toraRecordForEvent(12101), tc::toraRecordForEvent(12102));

    Trader::CTORATstpRspInquiryJZFundField jz{};
    jz.CurrencyID = Trader::TORA_TSTP_CID_CNY;
    jz.UsefulMoney = 12.5;
    EXPECT_EQ(std::string(toText(ENUM_TORAStockTaskID_QryJZCash, &jz, true, ";", 2)).rfind(
                  "AccountID:\"\" || CurrencyID:\"1\" || UsefulMoney:12.50 || ", 0),
              0u);
}

TEST(SdkCurrent, OrderStatesPriceTypesAndCashReadThisGenerationsCodes) {
    using tc::sdk::OrderState;
    const std::pair<char, OrderState> states[] = {
        {Trader::TORA_TSTP_OST_Rejected, OrderState::InsertRejected},
        {Trader::TORA_TSTP_OST_Cached, OrderState::Cached},
        {Trader::TORA_TSTP_OST_Accepted, OrderState::Accepted},
        {Trader::TORA_TSTP_OST_PartTraded, OrderState::PartTraded},
        {Trader::TORA_TSTP_OST_AllTraded, OrderState::AllTraded},
        {Trader::TORA_TSTP_OST_PartTradeCanceled, OrderState::Canceled},
        {Trader::TORA_TSTP_OST_AllCanceled, OrderState::Canceled},
        {Trader::TORA_TSTP_OST_Unknown, OrderState::Other},
        {Trader::TORA_TSTP_OST_SendTradeEngine, OrderState::Other},
    };
    Trader::CTORATstpOrderField n{};
    for (const auto &s : states) {
        n.OrderStatus = s.first;
        EXPECT_EQ(tc::sdk::orderState(n), s.second) << s.first;
    }
    n.VolumeTotalOriginal = 1000;
    n.VolumeTraded = 300;
    n.VolumeCanceled = 200;
    EXPECT_EQ(tc::sdk::remainingVolume(n), 500);

    // The engine's price types, in this SDK's renumbered codes; the others as they are.
    EXPECT_EQ(tc::sdk::orderPriceType('8'), Trader::TORA_TSTP_OPT_FixPrice);
    EXPECT_EQ(tc::sdk::orderPriceType('G'), Trader::TORA_TSTP_OPT_FiveLevelPrice);
    EXPECT_EQ(tc::sdk::orderPriceType('a'), Trader::TORA_TSTP_OPT_HomeBestPrice);
    EXPECT_EQ(tc::sdk::orderPriceType('2'), Trader::TORA_TSTP_OPT_LimitPrice);
    EXPECT_EQ(tc::sdk::orderPriceType('3'), Trader::TORA_TSTP_OPT_BestPrice);

    Trader::CTORATstpTradingAccountField account{};
    account.UsefulMoney = 250.5;
    EXPECT_EQ(tc::sdk::availableCash(account), 250.5);
    char currency = 0;
    tc::sdk::putCurrencyCNY(currency);
    EXPECT_EQ(currency, Trader::TORA_TSTP_CID_CNY);
}

}  // namespace
