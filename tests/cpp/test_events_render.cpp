// Text form and field lists of the records that events carry.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <iomanip>
#include <limits>
#include <locale>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TORATstpUserApiStruct.h"
#include "support/SdkProfile.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/EventTable.h"
#include "events/FieldTable.h"
#include "events/ToraRecords.h"

namespace {

const std::string kInvalid = "Error:Invalid EventID.";

const char *kOrderFieldList =
    "TradingDay,UserID,ShareholderID,SessionID,FrontID,OrderID,OrderMark,ExchangeID,StandardID,Direction,"
    "OffsetFlag,OrderType,IsBuyFromMarket,IsLimitOrder,CombineOrderType,CreditQuotaType,CreditDebtID,"
    "OriginalVolume,OriginalPrice,OrderLocalTime,OrderSysID,InsertTime,UpdateTime,OrderStatus,"
    "TradedVolumeChange,TradedVolume,CanceledVolume,LastTradedPrice,TradedVolumeChangeOfTurnover,"
    "TradedVolumeOfTurnover,TurnoverChange,Turnover,AverageCost,UsableVolume,UseableCash,ErrorID,Message";
const char *kMarketDataFieldList =
    "TradingDay,ExchangeID,StandardID,MarketDataStatus,UpdateTime,UpdateMillisec,LastPrice,PreClosePrice,"
    "PreSettlementPrice,OpenPrice,HighestPrice,LowestPrice,BidPrice1,BidVolume1,AskPrice1,AskVolume1,"
    "UpperLimitPrice,LowerLimitPrice,OpenInterest,PreOpenInterest,Volume,Turnover,AveragePrice,BidPrice2,"
    "BidVolume2,AskPrice2,AskVolume2,BidPrice3,BidVolume3,AskPrice3,AskVolume3,BidPrice4,BidVolume4,"
    "AskPrice4,AskVolume4,BidPrice5,BidVolume5,AskPrice5,AskVolume5";
const char *kTransferFieldList =
    "TradingDay,UserID,TransferID,TransferStatus,TransferFlag,Amount,Volume,ExchangeID,StandardID,"
    "TransferPositionType,CreditDebtID,BankID,ExternalNodeID,FrontID,SessionID,BusinessID,ErrorID,Message";

CQNOrderField sampleOrder() {
    CQNOrderField o;
    tc::copyText(o.TradingDay, "20240105");
    tc::copyText(o.UserID, "u1");
    tc::copyText(o.ShareholderID, "A123");
    o.SessionID = 7;
    o.FrontID = 2;
    o.OrderID = 100001;
    tc::copyText(o.ExchangeID, "1");
    tc::copyText(o.StandardID, "600000");
    o.Direction = '0';
    o.OffsetFlag = '0';
    o.OrderType = '0';
    o.IsBuyFromMarket = true;
    o.OriginalVolume = 100;
    o.OriginalPrice = 10.5;
    o.OrderLocalTime = 1234567890123LL;
    tc::copyText(o.OrderSysID, "S1");
    tc::copyText(o.InsertTime, "09:30:00");
    tc::copyText(o.UpdateTime, "09:30:01");
    o.OrderStatus = '2';
    o.AverageCost = -1.0;
    o.UseableCash = 1e6;
    o.ErrorID = -3;
    tc::copyText(o.Message, "ok");
    return o;
}

const char *kSampleOrderText =
    "TradingDay:\"20240105\" || UserID:\"u1\" || ShareholderID:\"A123\" || SessionID:7 || FrontID:2 || "
    "OrderID:100001 || OrderMark:0 || ExchangeID:\"1\" || StandardID:\"600000\" || Direction:\"0\" || "
    "OffsetFlag:\"0\" || OrderType:\"0\" || IsBuyFromMarket:1 || IsLimitOrder:0 || CombineOrderType:\"\" || "
    "CreditQuotaType:\"\" || CreditDebtID:\"\" || OriginalVolume:100 || OriginalPrice:10.50 || "
    "OrderLocalTime:1234567890123 || OrderSysID:\"S1\" || InsertTime:\"09:30:00\" || UpdateTime:\"09:30:01\" || "
    "OrderStatus:\"2\" || TradedVolumeChange:0 || TradedVolume:0 || CanceledVolume:0 || LastTradedPrice:0.00 || "
    "TradedVolumeChangeOfTurnover:0 || TradedVolumeOfTurnover:0 || TurnoverChange:0.00 || Turnover:0.00 || "
    "AverageCost:-1.00 || UsableVolume:0 || UseableCash:1000000.00 || ErrorID:-3 || Message:\"ok\"";

CQNMarketDataField sampleSnapshot() {
    CQNMarketDataField m;
    tc::copyText(m.TradingDay, "20240105");
    tc::copyText(m.ExchangeID, "1");
    tc::copyText(m.StandardID, "600000");
    tc::copyText(m.UpdateTime, "09:30:03");
    m.UpdateMillisec = 500;
    m.LastPrice = 10.25;
    m.BidPrice1 = 10.24;
    m.BidVolume1 = 300;
    m.UpperLimitPrice = DBL_MAX;
    m.Volume = 5000000000LL;
    m.AveragePrice = std::nan("");
    m.AskVolume5 = -7;
    return m;
}

const char *kSampleSnapshotValues =
    "\"20240105\",\"1\",\"600000\",\"\",\"09:30:03\",500,10.25,0.00,0.00,0.00,0.00,0.00,10.24,300,0.00,0,"
    "1.79e+308,0.00,0.00,0.00,5000000000,0.00,1.79e+308,0.00,0,0.00,0,0.00,0,0.00,0,0.00,0,0.00,0,0.00,0,"
    "0.00,-7";

CQNTransferAssetField sampleTransfer() {
    CQNTransferAssetField t;
    tc::copyText(t.TradingDay, "20240105");
    tc::copyText(t.UserID, "u1");
    t.TransferID = 42;
    t.TransferStatus = '1';
    t.TransferFlag = '0';
    t.Amount = 2500.125;
    tc::copyText(t.BankID, "01");
    tc::copyText(t.Message, "done");
    return t;
}

const char *kSampleTransferText =
    "TradingDay:\"20240105\"|UserID:\"u1\"|TransferID:42|TransferStatus:\"1\"|TransferFlag:\"0\"|"
    "Amount:2500.125|Volume:0|ExchangeID:\"\"|StandardID:\"\"|TransferPositionType:\"\"|CreditDebtID:\"\"|"
    "BankID:\"01\"|ExternalNodeID:\"\"|FrontID:0|SessionID:0|BusinessID:\"\"|ErrorID:0|Message:\"done\"";

bool endsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::size_t fieldCount(const char *list) {
    std::size_t n = 1;
    for (const char *p = list; *p; ++p) n += *p == ',';
    return n;
}

std::string streamFixed(double value, int digits) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << std::fixed << std::setprecision(digits) << value;
    return os.str();
}

}  // namespace

TEST(EventsFormatDouble, HugeValuesInfinityAndNaNPrintAsMaximum) {
    EXPECT_EQ(tc::formatDouble(DBL_MAX, 2), "1.79e+308");
    EXPECT_EQ(tc::formatDouble(1.7976931348623157e308, 4), "1.79e+308");
    EXPECT_EQ(tc::formatDouble(std::numeric_limits<double>::infinity(), 2), "1.79e+308");
    EXPECT_EQ(tc::formatDouble(std::nan(""), 2), "1.79e+308");
    EXPECT_EQ(tc::formatDouble(-std::nan(""), 0), "1.79e+308");
    double zero = 0.0;
    EXPECT_EQ(tc::formatDouble(zero / zero, 2), "1.79e+308");
    // Just below the maximum, adding a millionth cannot reach it: fixed notation.
    const double belowMax = std::nextafter(DBL_MAX, 0.0);
    EXPECT_EQ(tc::formatDouble(belowMax, 2), streamFixed(belowMax, 2));
    EXPECT_EQ(tc::formatDouble(-DBL_MAX, 1), streamFixed(-DBL_MAX, 1));
    EXPECT_EQ(tc::formatDouble(-std::numeric_limits<double>::infinity(), 2), "-inf");
}

TEST(EventsFormatDouble, FixedNotationLikeTheStreamManipulators) {
    EXPECT_EQ(tc::formatDouble(10.5, 2), "10.50");
    EXPECT_EQ(tc::formatDouble(-1.0, 2), "-1.00");
    EXPECT_EQ(tc::formatDouble(0.0, 0), "0");
    EXPECT_EQ(tc::formatDouble(2.5, 0), "2");
    EXPECT_EQ(tc::formatDouble(1e20, 2), "100000000000000000000.00");
    const double values[] = {0.0, -0.0, 0.125, 2.675, 1.005, 123456789.987654321, -98765.4321, 1e-9, 5e-324, 1e300};
    for (int digits : {0, 1, 2, 4, 6, 10, 17, 30, 400}) {
        for (double v : values) {
            EXPECT_EQ(tc::formatDouble(v, digits), streamFixed(v, digits)) << v << " digits " << digits;
        }
    }
}

TEST(EventsFormatDouble, IgnoresTheProcessLocale) {
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const std::string text = tc::formatDouble(10.5, 2);
    std::locale::global(previous);
    EXPECT_EQ(text, "10.50");
}

TEST(EventsRender, OrderWithNamesQuotesTextsAndCharsAndPrintsBoolAsDigit) {
    CQNOrderField o = sampleOrder();
    EXPECT_EQ(std::string(toText(ENUM_OrderEventID_Accepted, &o, true, " || ", 2)), kSampleOrderText);
    for (int id = ENUM_OrderEventID_Traded; id <= ENUM_OrderEventID_Cached; ++id) {
        EXPECT_EQ(std::string(toText(id, &o, true, " || ", 2)), kSampleOrderText) << id;
    }
    EXPECT_EQ(std::string(tc::renderOrderText(&o, true, " || ", 2)), kSampleOrderText);
}

TEST(EventsRender, WithoutNamesValuesStayQuoted) {
    CQNOrderField o = sampleOrder();
    const std::string text = toText(ENUM_OrderEventID_Traded, &o, false, ",", 1);
    EXPECT_EQ(text.rfind("\"20240105\",\"u1\",\"A123\",7,2,100001,0,\"1\",\"600000\",\"0\",\"0\",\"0\",1,0,\"\",\"\",\"\",100,"
                         "10.5,1234567890123,",
                         0),
              0u)
        << text;
    EXPECT_TRUE(endsWith(text, ",-1.0,0,1000000.0,-3,\"ok\"")) << text;
}

TEST(EventsRender, SnapshotWithoutNamesBeginsWithQuotedDayAndExchange) {
    CQNMarketDataField m = sampleSnapshot();
    const std::string text = toText(ENUM_SnapDataEventID_MarketData, &m, false, ",", 2);
    EXPECT_EQ(text, kSampleSnapshotValues);
    EXPECT_EQ(text.rfind("\"20240105\",\"1\",", 0), 0u);
    EXPECT_EQ(std::string(toText(ENUM_SnapDataEventID_IndexData, &m, false, ",", 2)), kSampleSnapshotValues);
}

TEST(EventsRender, SnapshotNamesAverageOverZeroVolume) {
    CQNMarketDataField m = sampleSnapshot();
    const std::string text = toText(ENUM_SnapDataEventID_MarketData, &m, true, " || ", 2);
    EXPECT_NE(text.find(" || AveragePrice:1.79e+308 || "), std::string::npos) << text;
    EXPECT_NE(text.find(" || MarketDataStatus:\"\" || "), std::string::npos) << text;
    EXPECT_NE(text.find(" || Volume:5000000000 || "), std::string::npos) << text;
    EXPECT_EQ(text.rfind("TradingDay:\"20240105\" || ExchangeID:\"1\" || ", 0), 0u) << text;
}

TEST(EventsRender, TransferForAllItsEvents) {
    CQNTransferAssetField t = sampleTransfer();
    for (int id : {ENUM_CTPEventID_TransferCash, ENUM_TORAStockEventID_TransferCash,
                   ENUM_TORAStockEventID_TransferPosition, ENUM_TORAStockEventID_PeripheryTransferCash,
                   ENUM_TORAStockEventID_PeripheryTransferPosition}) {
        // The caller's names, separator and precision apply: these are engine records.
        EXPECT_EQ(std::string(toText(id, &t, true, "|", 3)), kSampleTransferText) << id;
    }
}

TEST(EventsRender, NullRecordGivesEmptyTextForAnyIdentifier) {
    for (int id : {ENUM_OrderEventID_Traded, ENUM_SnapDataEventID_MarketData, ENUM_CTPEventID_TransferCash, 12216,
                   12206, 9999, 13000, 0, -1}) {
        EXPECT_STREQ(toText(id, nullptr, true, " || ", 2), "") << id;
    }
}

TEST(EventsRender, UnknownIdentifiersAreInvalid) {
    CQNOrderField o = sampleOrder();
    for (int id : {9999, 13000, 0, 10001, 10002, 10003, 10010, 10018, 10023, 11010, 11012, 12001, 12002, 12003,
                   12206, 12207, 12210, 12317, 12318, 12416, 12999}) {
        EXPECT_EQ(std::string(toText(id, &o, true, " || ", 2)), kInvalid) << id;
    }
    EXPECT_EQ(kInvalid, ENUM_ErrorMsg_InvalidEventID);
}

TEST(EventsRender, NullSeparatorCountsAsEmpty) {
    CQNOrderField o = sampleOrder();
    const std::string withEmpty = toText(ENUM_OrderEventID_Traded, &o, false, "", 2);
    EXPECT_EQ(std::string(toText(ENUM_OrderEventID_Traded, &o, false, nullptr, 2)), withEmpty);
    EXPECT_EQ(withEmpty.rfind("\"20240105\"\"u1\"\"A123\"72100001", 0), 0u) << withEmpty;
}

TEST(EventsRender, TextFieldWithoutTerminatorIsReadToItsSizeOnly) {
    CQNOrderField o = sampleOrder();
    std::memset(o.TradingDay, 'X', sizeof o.TradingDay);
    const std::string text = toText(ENUM_OrderEventID_Traded, &o, false, ",", 2);
    EXPECT_EQ(text.rfind("\"XXXXXXXXX\",\"u1\",", 0), 0u) << text;

    std::memset(o.Message, 'M', sizeof o.Message);
    const std::string withMessage = toText(ENUM_OrderEventID_Traded, &o, false, ",", 2);
    EXPECT_EQ(withMessage.substr(withMessage.size() - 258), "\"" + std::string(sizeof o.Message, 'M') + "\"");
}

TEST(EventsRender, CharFieldKeepsAnyByte) {
    CQNOrderField o = sampleOrder();
    o.Direction = 'Z';
    o.OrderStatus = '\0';
    const std::string text = toText(ENUM_OrderEventID_Traded, &o, true, ";", 2);
    EXPECT_NE(text.find(";Direction:\"Z\";"), std::string::npos);
    EXPECT_NE(text.find(";OrderStatus:\"\";"), std::string::npos);
}

TEST(EventsRender, NegativeIntegersAndLargeInt64) {
    CQNOrderField o = sampleOrder();
    o.OrderLocalTime = -9223372036854775807LL - 1;
    o.SessionID = -2147483647 - 1;
    const std::string text = toText(ENUM_OrderEventID_Traded, &o, true, ";", 2);
    EXPECT_NE(text.find(";OrderLocalTime:-9223372036854775808;"), std::string::npos) << text;
    EXPECT_NE(text.find(";SessionID:-2147483648;"), std::string::npos) << text;
}

TEST(EventsRender, SdkRecordsIgnoreTheCallersFormat) {
    CTORATstpRspInquiryJZFundField jz{};
    tc::copyText(jz.AccountID, "acc1");
    tc::copyText(jz.CurrencyID, "CNY");
    jz.UsefulMoney = 1234.5678;
    jz.FetchLimit = -1.0;
    tc::copyText(jz.DepartmentID, "d01");
    const std::string expected =
        "AccountID:\"acc1\" || CurrencyID:\"CNY\" || UsefulMoney:1234.57 || FetchLimit:-1.00 || DepartmentID:\"d01\"";
    EXPECT_EQ(std::string(toText(ENUM_TORAStockTaskID_QryJZCash, &jz, false, ",", 4)), expected);
    EXPECT_EQ(std::string(toText(ENUM_TORAStockTaskID_QryJZCash, &jz, true, " || ", 2)), expected);
    EXPECT_EQ(std::string(tc::renderSdkRecordText(ENUM_TORAStockTaskID_QryJZCash, &jz)), expected);
    EXPECT_EQ(std::string(tc::renderSdkRecordText(12206, &jz)), kInvalid);
}

TEST(EventsRender, LoginAnswerRecordForBothLogins) {
    CTORATstpRspUserLoginField login{};
    tc::copyText(login.LoginTime, "09:15:00");
    login.FrontID = 3;
    login.SessionID = 12345;
    tc::copyText(login.TradingDay, "20240105");
    tc::copyText(login.UserID, "u1");
    login.NeedUpdatePassword = 1;
    login.OuterPort = 8080;
    const std::string trader = toText(ENUM_TORAStockTaskID_LoginTrader, &login, false, ",", 0);
    EXPECT_EQ(trader, std::string(toText(ENUM_TORAStockTaskID_LoginMd, &login, false, ",", 0)));
    EXPECT_EQ(trader.rfind("LoginTime:\"09:15:00\" || LogInAccount:\"\" || LogInAccountType:\"\" || SystemName:\"\" || "
                           "FrontID:3 || SessionID:12345 || ",
                           0),
              0u)
        << trader;
    EXPECT_NE(trader.find(" || NeedUpdatePassword:1 || "), std::string::npos);
    EXPECT_TRUE(endsWith(trader, " || OuterPort:8080")) << trader;
}

TEST(EventsFields, EngineRecordLists) {
    EXPECT_STREQ(getFields(ENUM_OrderEventID_Traded, nullptr), kOrderFieldList);
    EXPECT_STREQ(getFields(ENUM_OrderEventID_Cached, nullptr), kOrderFieldList);
    EXPECT_EQ(getFields(ENUM_OrderEventID_Traded, nullptr), getFields(ENUM_OrderEventID_Cached, nullptr));
    EXPECT_STREQ(getFields(ENUM_SnapDataEventID_MarketData, nullptr), kMarketDataFieldList);
    EXPECT_STREQ(getFields(ENUM_SnapDataEventID_IndexData, nullptr), kMarketDataFieldList);
    for (int id : {11011, 12009, 12010, 12011, 12012}) EXPECT_STREQ(getFields(id, nullptr), kTransferFieldList) << id;
    int anything = 0;
    EXPECT_STREQ(getFields(ENUM_OrderEventID_Traded, &anything), kOrderFieldList);
}

TEST(EventsFields, ListsMatchTheRenderedNames) {
    // Rendering with names must name exactly the listed fields, in order.
    CQNOrderField o = sampleOrder();
    CQNMarketDataField m = sampleSnapshot();
    CQNTransferAssetField t = sampleTransfer();
    const std::pair<int, void *> cases[] = {{10011, &o}, {10021, &m}, {11011, &t}};
    for (const auto &c : cases) {
        std::string names;
        const std::string text = toText(c.first, c.second, true, "\x1f", 2);
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\x1f', start);
            if (end == std::string::npos) end = text.size();
            if (!names.empty()) names += ',';
            names += text.substr(start, text.find(':', start) - start);
            start = end + 1;
        }
        EXPECT_EQ(names, getFields(c.first, nullptr));
    }
}

TEST(EventsFields, SdkRowsAndTheirFieldCounts) {
    const std::pair<int, std::size_t> rows[] = {
        {12004, 2},  {12005, 7},  {12006, 2},  {12007, 2},  {12008, 3},  {12101, 26}, {12102, 26}, {12201, 59},
        {12202, 34}, {12203, 17}, {12204, 61}, {12205, 23}, {12208, 19}, {12209, 23}, {12211, 9},  {12212, 24},
        {12213, 13}, {12214, 10}, {12215, 19}, {12216, 5},  {12217, 6},  {12218, 23}, {12219, 26}, {12220, 18},
        {12221, 23}, {12301, 5},  {12302, 16}, {12303, tc::testing::kWhiteListFlag ? 6u : 5u},  {12304, 7},  {12305, 6},  {12306, 8},  {12307, 10},
        {12308, 16}, {12309, 27}, {12310, 3},  {12311, 15}, {12312, 35}, {12313, 7},  {12314, 14}, {12315, 5},
        {12316, 14}, {12401, 40}, {12402, 15}, {12403, 13}, {12404, 17}, {12405, 13}, {12406, 16}, {12407, 15},
        {12408, 12}, {12409, 9},  {12410, 5},  {12411, 5},  {12412, 6},  {12413, 4},  {12414, 3},  {12415, 3}};
    for (const auto &row : rows) {
        const char *list = getFields(row.first, nullptr);
        EXPECT_NE(std::string(list), kInvalid) << row.first;
        EXPECT_EQ(fieldCount(list), row.second) << row.first << ": " << list;
        EXPECT_NE(tc::eventName(row.first), nullptr) << row.first;
    }
    const std::string ipo = getFields(12307, nullptr);
    EXPECT_EQ(ipo, "ExchangeID,SecurityID,Day,SecurityName,ShareholderID,SecurityType,MatchNumberID,Volume,Price,Amout");
    EXPECT_STREQ(getFields(12216, nullptr), "AccountID,CurrencyID,UsefulMoney,FetchLimit,DepartmentID");
    EXPECT_STREQ(getFields(12004, nullptr), "MarketID,MarketStatus");
    EXPECT_STREQ(getFields(12415, nullptr), "NodeID,NodeInfo,bCurrent");
    EXPECT_STREQ(getFields(12005, nullptr), getFields(12313, nullptr));
    EXPECT_STREQ(getFields(12314, nullptr), getFields(12316, nullptr));
}

TEST(EventsFields, IdentifiersWithoutARowAreInvalid) {
    for (int id : {12206, 12207, 12210, 12317, 12318, 12416, 12001, 12002, 12003, 9999, 13000, 10001, 10002, 10003,
                   10018, 10020, 10023, 11001, 11010, 0}) {
        EXPECT_EQ(std::string(getFields(id, nullptr)), kInvalid) << id;
    }
}

TEST(EventsTable, NamesOfEngineSessionAndSdkRows) {
    EXPECT_STREQ(tc::eventName(10001), "DayRolling");
    EXPECT_STREQ(tc::eventName(10002), "MdReady");
    EXPECT_STREQ(tc::eventName(10003), "TraderReady");
    EXPECT_STREQ(tc::eventName(10011), "Traded");
    EXPECT_STREQ(tc::eventName(10016), "CancelRejected");
    EXPECT_STREQ(tc::eventName(10017), "Cached");
    EXPECT_STREQ(tc::eventName(12009), "TransferCash");
    EXPECT_STREQ(tc::eventName(12012), "PeripheryTransferPosition");
    EXPECT_STREQ(tc::eventName(12102), "LoginMd");
    EXPECT_STREQ(tc::eventName(12201), "QryOrder");
    EXPECT_EQ(tc::eventName(12001), nullptr);
    EXPECT_EQ(tc::eventName(12003), nullptr);
    EXPECT_EQ(tc::eventName(9999), nullptr);

    tc::EventRow row{};
    EXPECT_TRUE(tc::findPrintedEventRow(10002, &row));
    EXPECT_EQ(row.record, nullptr);
    EXPECT_TRUE(tc::findPrintedEventRow(12010, &row));
    EXPECT_EQ(row.record, &tc::transferRecordDesc());
    EXPECT_TRUE(tc::findPrintedEventRow(12216, &row));
    EXPECT_EQ(row.record, tc::toraRecordForEvent(12216));
    // Order and snapshot events have printers of their own; 11011 prints without a name.
    for (int id : {10011, 10017, 10021, 10022, 11011, 12001, 12002, 12003, 12206})
        EXPECT_FALSE(tc::findPrintedEventRow(id, &row)) << id;
}

TEST(EventsRender, BuffersArePerRecordKindAndThread) {
    CQNOrderField o = sampleOrder();
    CQNMarketDataField m = sampleSnapshot();
    const char *orderText = toText(ENUM_OrderEventID_Traded, &o, true, " || ", 2);
    const char *snapText = toText(ENUM_SnapDataEventID_MarketData, &m, false, ",", 2);
    // Another kind does not overwrite the order text; the same kind reuses its buffer.
    EXPECT_STREQ(orderText, kSampleOrderText);
    EXPECT_STREQ(snapText, kSampleSnapshotValues);
    CQNOrderField other = sampleOrder();
    other.OrderID = 5;
    const char *again = toText(ENUM_OrderEventID_Traded, &other, true, " || ", 2);
    EXPECT_EQ(again, orderText);

    // A text handed out on this thread stays intact while other threads render the same kind.
    const char *mine = toText(ENUM_OrderEventID_Traded, &o, true, " || ", 2);
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failed] {
            CQNOrderField local = sampleOrder();
            local.OrderID = 1000 + t;
            const std::string expected = "OrderID:" + std::to_string(1000 + t) + " || ";
            for (int i = 0; i < 2000; ++i) {
                local.TradedVolume = i;
                const std::string text = toText(ENUM_OrderEventID_Traded, &local, true, " || ", 2);
                if (text.find(expected) == std::string::npos ||
                    text.find(" || TradedVolume:" + std::to_string(i) + " || ") == std::string::npos) {
                    failed = true;
                }
            }
        });
    }
    for (std::thread &th : threads) th.join();
    EXPECT_FALSE(failed.load());
    EXPECT_STREQ(mine, kSampleOrderText);
}

// Threads that render and end, many times over: each thread's buffers are freed when it ends,
// once, and nothing of them is touched after. (mingw-w64 frees a thread_local's storage before
// its destructor runs; a buffer held that way corrupts the heap here.)
TEST(EventsRender, ThreadsThatRenderAndEndLeaveTheHeapSound) {
    for (int round = 0; round < 50; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([] {
                CQNOrderField o = sampleOrder();
                CQNMarketDataField m = sampleSnapshot();
                EXPECT_STREQ(toText(ENUM_OrderEventID_Traded, &o, true, " || ", 2), kSampleOrderText);
                EXPECT_STREQ(toText(ENUM_SnapDataEventID_MarketData, &m, false, ",", 2), kSampleSnapshotValues);
            });
        }
        for (std::thread &th : threads) th.join();
        // Fresh allocations of the sizes just freed land where a late write would hit.
        std::vector<std::string> probe(64, std::string(200, 'x'));
        for (const std::string &s : probe) ASSERT_EQ(s, std::string(200, 'x'));
    }
}
