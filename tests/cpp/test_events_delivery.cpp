// Event delivery to the processors and the default printers, observed through the recording
// stand-in for Python.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TORATstpUserApiStruct.h"
#include "engine/RecordBlock.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/Delivery.h"
#include "events/EventTable.h"
#include "events/RecordingBridge.h"

namespace {

namespace rec = tc::recording;
using rec::Call;
using rec::CallKind;

// Calls made on this thread only: other tests' engines may still deliver in the background.
std::vector<Call> myCalls() {
    std::vector<Call> mine;
    const std::thread::id self = std::this_thread::get_id();
    for (Call &call : rec::snapshot()) {
        if (call.thread == self) mine.push_back(std::move(call));
    }
    return mine;
}

std::vector<std::string> myTexts() {
    std::vector<std::string> texts;
    for (const Call &call : myCalls()) {
        if (call.kind == CallKind::EmitText) texts.push_back(call.text);
    }
    return texts;
}

class EventsDelivery : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        rec::setCallHook(nullptr);
        rec::clear();
        tc::setRunModeValue(ENUM_RunMode_Debug);
        tc::tlsDeliveredRecord = nullptr;
    }
};

CQNOrderField sampleOrder() {
    CQNOrderField o;
    tc::copyText(o.TradingDay, "20240105");
    tc::copyText(o.UserID, "u1");
    o.OrderID = 7;
    tc::copyText(o.StandardID, "600000");
    o.OriginalPrice = 10.5;
    o.OrderStatus = '1';
    return o;
}

CQNMarketDataField sampleSnapshot() {
    CQNMarketDataField m;
    tc::copyText(m.TradingDay, "20240105");
    tc::copyText(m.ExchangeID, "1");
    tc::copyText(m.StandardID, "600000");
    m.LastPrice = 10.25;
    m.AveragePrice = DBL_MAX;
    return m;
}

struct FallbackCall {
    int count = 0;
    int eventID = 0;
    const void *record = nullptr;
    bool isLast = false;
    int errorID = 0;
    std::string message;
    std::string userID;
};
thread_local FallbackCall tFallback;

void recordFallback(int eventID, const void *record, bool isLast, int errorID, const char *message,
                    const char *userID) {
    tFallback.count++;
    tFallback.eventID = eventID;
    tFallback.record = record;
    tFallback.isLast = isLast;
    tFallback.errorID = errorID;
    tFallback.message = message;
    tFallback.userID = userID;
}

tc::EventSink sinkWithAll() {
    tc::EventSink sink;
    sink.orderEventProcessor = rec::fakeCallable(1);
    sink.eventProcessor = rec::fakeCallable(2);
    sink.loopProcessor = rec::fakeCallable(3);
    sink.marketDataProcessor = rec::fakeCallable(4);
    sink.fallbackEventHandler = &tc::printEvent;
    sink.userID = "u1";
    return sink;
}

tc::EventSink sinkWithNone() {
    tc::EventSink sink;
    sink.fallbackEventHandler = &tc::printEvent;
    sink.userID = "u1";
    return sink;
}

}  // namespace

TEST_F(EventsDelivery, OrderEventGoesToItsProcessorWithTheRecordMarked) {
    tc::EventSink sink = sinkWithAll();
    CQNOrderField order = sampleOrder();
    int outer = 0;
    tc::tlsDeliveredRecord = &outer;  // an enclosing delivery's mark survives
    tc::deliverOrderEvent(sink, ENUM_OrderEventID_Accepted, &order);
    EXPECT_EQ(tc::tlsDeliveredRecord, &outer);

    const std::vector<Call> calls = myCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, CallKind::OrderProcessor);
    EXPECT_EQ(calls[0].processor, sink.orderEventProcessor);
    EXPECT_EQ(calls[0].eventID, ENUM_OrderEventID_Accepted);
    EXPECT_EQ(calls[0].record, &order);
    EXPECT_EQ(calls[0].deliveredRecord, &order);
}

TEST_F(EventsDelivery, SnapshotGoesToTheMarketDataProcessorWithTheRecordMarked) {
    tc::EventSink sink = sinkWithAll();
    CQNMarketDataField snap = sampleSnapshot();
    tc::deliverSnapshotEvent(sink, ENUM_SnapDataEventID_MarketData, &snap);
    EXPECT_EQ(tc::tlsDeliveredRecord, nullptr);

    const std::vector<Call> calls = myCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, CallKind::OrderProcessor);  // the two-value shape
    EXPECT_EQ(calls[0].processor, sink.marketDataProcessor);
    EXPECT_EQ(calls[0].eventID, ENUM_SnapDataEventID_MarketData);
    EXPECT_EQ(calls[0].record, &snap);
    EXPECT_EQ(calls[0].deliveredRecord, &snap);
}

TEST_F(EventsDelivery, GeneralEventCarriesSixValuesAndNoMark) {
    tc::EventSink sink = sinkWithAll();
    CTORATstpRspUserLoginField login{};
    tc::deliverEvent(sink, ENUM_TORAStockTaskID_LoginTrader, &login, true, -5, "bad password");
    tc::deliverEvent(sink, ENUM_EventID_TraderReady, nullptr, false, 0, nullptr);

    const std::vector<Call> calls = myCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, CallKind::EventProcessor);
    EXPECT_EQ(calls[0].processor, sink.eventProcessor);
    EXPECT_EQ(calls[0].eventID, ENUM_TORAStockTaskID_LoginTrader);
    EXPECT_EQ(calls[0].record, &login);
    EXPECT_TRUE(calls[0].isLast);
    EXPECT_EQ(calls[0].errorID, -5);
    EXPECT_EQ(calls[0].message, "bad password");
    EXPECT_EQ(calls[0].userID, "u1");
    EXPECT_EQ(calls[0].deliveredRecord, nullptr);

    EXPECT_EQ(calls[1].record, nullptr);  // reaches Python as address 0
    EXPECT_FALSE(calls[1].isLast);
    EXPECT_EQ(calls[1].message, "");
}

TEST_F(EventsDelivery, GeneralEventWithoutProcessorGoesToTheFallback) {
    tc::EventSink sink = sinkWithNone();
    sink.fallbackEventHandler = &recordFallback;
    tFallback = FallbackCall{};
    int record = 0;
    tc::deliverEvent(sink, 12215, &record, true, 3, "msg");
    EXPECT_EQ(tFallback.count, 1);
    EXPECT_EQ(tFallback.eventID, 12215);
    EXPECT_EQ(tFallback.record, &record);
    EXPECT_TRUE(tFallback.isLast);
    EXPECT_EQ(tFallback.errorID, 3);
    EXPECT_EQ(tFallback.message, "msg");
    EXPECT_EQ(tFallback.userID, "u1");
    EXPECT_TRUE(myCalls().empty());

    // A sink without a fallback still prints.
    sink.fallbackEventHandler = nullptr;
    tc::deliverEvent(sink, ENUM_EventID_MdReady, nullptr, false, 0, "");
    EXPECT_EQ(myTexts(), std::vector<std::string>{"-------\nEventName:MdReady,EventID:10002,UserID:u1,ErrorID:0,"
                                                  "Message:.\nCTPField>>>\n\n-------"});
}

TEST_F(EventsDelivery, LoopProcessorOnlyWhenGiven) {
    tc::callLoopProcessor(sinkWithNone());
    EXPECT_TRUE(myCalls().empty());
    tc::EventSink sink = sinkWithAll();
    tc::callLoopProcessor(sink);
    const std::vector<Call> calls = myCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, CallKind::NoArgs);
    EXPECT_EQ(calls[0].processor, sink.loopProcessor);
}

TEST_F(EventsDelivery, RetainTakesOneReferencePerGivenProcessor) {
    tc::EventSink sink = sinkWithNone();
    sink.eventProcessor = rec::fakeCallable(5);
    sink.loopProcessor = rec::fakeCallable(6);
    tc::retainProcessors(sink);
    const std::vector<Call> calls = myCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, CallKind::Retain);
    EXPECT_EQ(calls[0].processor, rec::fakeCallable(5));
    EXPECT_EQ(calls[1].processor, rec::fakeCallable(6));
}

TEST_F(EventsDelivery, OrderPrinterTextInEveryRunMode) {
    tc::EventSink sink = sinkWithNone();
    CQNOrderField order = sampleOrder();
    const std::string record = tc::renderOrderText(&order, true, " || ", 2);
    const std::string expected = "-------\nEventName:Traded.\nQNOrderField>>>\n" + record + "\n";
    tc::deliverOrderEvent(sink, ENUM_OrderEventID_Traded, &order);
    EXPECT_EQ(setRunMode(ENUM_RunMode_Release), 0);
    tc::deliverOrderEvent(sink, ENUM_OrderEventID_Traded, &order);
    EXPECT_EQ(myTexts(), (std::vector<std::string>{expected, expected}));
    // The printer runs inside the delivery: the record stays marked while it emits.
    EXPECT_EQ(myCalls()[0].deliveredRecord, &order);
}

TEST_F(EventsDelivery, OrderPrinterNamesEachOrderEvent) {
    CQNOrderField order = sampleOrder();
    const char *names[] = {"Traded", "Canceled", "UpdateCost", "Accepted", "InsertRejected", "CancelRejected",
                           "Cached"};
    for (int i = 0; i < 7; ++i) tc::printOrderEvent(ENUM_OrderEventID_Traded + i, &order);
    tc::printOrderEvent(10018, &order);
    const std::vector<std::string> texts = myTexts();
    ASSERT_EQ(texts.size(), 8u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(texts[i].rfind(std::string("-------\nEventName:") + names[i] + ".\nQNOrderField>>>\nTradingDay:", 0),
                  0u)
            << texts[i];
    }
    EXPECT_EQ(texts[7].rfind("-------\nEventName:QNOrderField>>>\nTradingDay:\"20240105\" || ", 0), 0u) << texts[7];
}

TEST_F(EventsDelivery, SnapshotPrinterTextOnlyInDebugMode) {
    tc::EventSink sink = sinkWithNone();
    CQNMarketDataField snap = sampleSnapshot();
    tc::deliverSnapshotEvent(sink, ENUM_SnapDataEventID_MarketData, &snap);
    const std::string expected = "-------\nEventName:MarketDataSnap.\nCQNMarketDataField>>>\n" +
                                 std::string(tc::renderMarketDataText(&snap, true, " || ", 2)) + "\n-------";
    EXPECT_NE(expected.find("AveragePrice:1.79e+308"), std::string::npos);
    EXPECT_EQ(myTexts(), std::vector<std::string>{expected});

    rec::clear();
    setRunMode(ENUM_RunMode_Release);
    tc::deliverSnapshotEvent(sink, ENUM_SnapDataEventID_MarketData, &snap);
    tc::printSnapshotEvent(&snap);
    EXPECT_TRUE(myCalls().empty());
}

TEST_F(EventsDelivery, EventPrinterSessionEventHasNameAndEmptyBody) {
    tc::printEvent(ENUM_EventID_MdReady, nullptr, false, 0, "", "u1");
    tc::printEvent(ENUM_EventID_DayRolling, nullptr, true, 0, "20240108", "u2");
    tc::printEvent(ENUM_EventID_TraderReady, nullptr, false, 0, nullptr, nullptr);
    EXPECT_EQ(myTexts(),
              (std::vector<std::string>{
                  "-------\nEventName:MdReady,EventID:10002,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\n\n-------",
                  "-------\nEventName:DayRolling,EventID:10001,UserID:u2,ErrorID:0,Message:20240108.\nCTPField>>>\n\n"
                  "-------",
                  "-------\nEventName:TraderReady,EventID:10003,UserID:,ErrorID:0,Message:.\nCTPField>>>\n\n-------"}));
}

TEST_F(EventsDelivery, EventPrinterDisconnectionHasNoName) {
    tc::EventSink sink = sinkWithNone();
    int ignored = 0;
    tc::deliverEvent(sink, ENUM_TORAStockEventID_MdDisconnected, nullptr, false, 4097, "Error:Md Disconnected.");
    tc::deliverEvent(sink, ENUM_TORAStockEventID_TraderDisconnected, &ignored, false, -1, "x");
    EXPECT_EQ(myTexts(), (std::vector<std::string>{
                             "-------\nEventName:EventID:12003,UserID:u1,ErrorID:4097,Message:Error:Md Disconnected.."
                             "\nCTPField>>>\n\n-------",
                             "-------\nEventName:EventID:12002,UserID:u1,ErrorID:-1,Message:x.\nCTPField>>>\n\n-------"}));
}

TEST_F(EventsDelivery, EventPrinterRendersSdkRecordOfNamedRows) {
    CTORATstpRspUserLoginField login{};
    tc::copyText(login.LoginTime, "09:15:00");
    tc::copyText(login.UserID, "u1");
    login.FrontID = 1;
    tc::printEvent(ENUM_TORAStockTaskID_LoginMd, &login, true, 0, "login ok", "u1");
    tc::printEvent(ENUM_TORAStockTaskID_LoginMd, nullptr, true, 0, "", "u1");
    const std::string record = tc::renderSdkRecordText(ENUM_TORAStockTaskID_LoginMd, &login);
    EXPECT_EQ(myTexts(),
              (std::vector<std::string>{
                  "-------\nEventName:LoginMd,EventID:12102,UserID:u1,ErrorID:0,Message:login ok.\nCTPField>>>\n" +
                      record + "\n-------",
                  "-------\nEventName:LoginMd,EventID:12102,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\n\n-------"}));
    EXPECT_EQ(record.rfind("LoginTime:\"09:15:00\" || ", 0), 0u);
}

TEST_F(EventsDelivery, EventPrinterTransferRowsAndTheUnnamedCtpTransfer) {
    CQNTransferAssetField transfer;
    transfer.TransferID = 9;
    transfer.Amount = 100.456;
    tc::printEvent(ENUM_TORAStockEventID_TransferCash, &transfer, true, 0, "", "u1");
    tc::printEvent(ENUM_CTPEventID_TransferCash, &transfer, true, 0, "", "u1");
    const std::string record = tc::renderTransferText(&transfer, true, " || ", 2);
    EXPECT_NE(record.find("Amount:100.46"), std::string::npos);
    EXPECT_EQ(myTexts(),
              (std::vector<std::string>{
                  "-------\nEventName:TransferCash,EventID:12009,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\n" +
                      record + "\n-------",
                  "-------\nEventName:EventID:11011,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\n\n-------"}));
}

// Text from Python (the user id, the codes a strategy gave) is UTF-8 and the broker's is GB2312:
// the printers say which stretches are which, so each is decoded by its own code.
TEST_F(EventsDelivery, PrintersNoteTheTextThatCameFromPython) {
    const char *user = "\xE7\x94\xA8\xE6\x88\xB7";      // UTF-8, as Python stores it
    const char *brokerText = "\xD3\xC3\xBB\xA7";          // GB2312
    tc::printEvent(ENUM_TORAStockTaskID_LoginTrader, nullptr, true, 0, brokerText, user);
    CQNOrderField o = sampleOrder();
    tc::copyText(o.UserID, user);
    tc::copyText(o.StandardID, "\xE4\xB8\xAD");
    tc::copyText(o.OrderSysID, brokerText);
    const std::string message = std::string("TORATrader InsertOrder Failed. UserID:") + user + ",ErrorMsg:" + brokerText + ".";
    tc::copyText(o.Message, message.c_str());
    tc::printOrderEvent(ENUM_OrderEventID_InsertRejected, &o);
    tc::copyText(o.Message, brokerText);  // not one of our texts: the broker's
    tc::printOrderEvent(ENUM_OrderEventID_InsertRejected, &o);
    CQNTransferAssetField t{};
    tc::copyText(t.BankID, "\xE4\xB8\xAD");
    tc::copyText(t.BusinessID, brokerText);
    tc::printEvent(ENUM_TORAStockEventID_TransferCash, &t, true, 0, "", "u1");

    std::vector<std::vector<std::string>> noted;
    for (const Call &call : myCalls()) {
        if (call.kind == CallKind::EmitText) noted.push_back(call.utf8);
    }
    const std::string ourMessage = std::string("TORATrader InsertOrder Failed. UserID:") + user + ",ErrorMsg:";
    EXPECT_EQ(noted, (std::vector<std::vector<std::string>>{
                         {user}, {user, "\xE4\xB8\xAD", ourMessage}, {user, "\xE4\xB8\xAD"}, {"\xE4\xB8\xAD"}}));
}

TEST_F(EventsDelivery, SecurityAnswersAreNeverPrinted) {
    tc::EventSink sink = sinkWithNone();
    CTORATstpSecurityField security{};
    for (char mode : {ENUM_RunMode_Debug, ENUM_RunMode_Release}) {
        setRunMode(mode);
        tc::deliverEvent(sink, ENUM_TORAStockTaskID_QrySecurity, &security, false, 0, "");
        tc::printEvent(ENUM_TORAStockTaskID_QrySecurity, &security, true, 0, "", "u1");
    }
    EXPECT_TRUE(myCalls().empty());
    // Its fields are still listed.
    EXPECT_NE(std::string(getFields(ENUM_TORAStockTaskID_QrySecurity, nullptr)), "Error:Invalid EventID.");
}

TEST_F(EventsDelivery, ReleaseModeSilencesGeneralAndSnapshotEventsOnly) {
    tc::EventSink sink = sinkWithNone();
    CQNOrderField order = sampleOrder();
    CQNMarketDataField snap = sampleSnapshot();
    EXPECT_EQ(setRunMode(ENUM_RunMode_Release), 0);
    EXPECT_EQ(tc::runMode(), ENUM_RunMode_Release);
    tc::deliverEvent(sink, ENUM_EventID_MdReady, nullptr, false, 0, "");
    tc::deliverSnapshotEvent(sink, ENUM_SnapDataEventID_MarketData, &snap);
    tc::deliverOrderEvent(sink, ENUM_OrderEventID_Canceled, &order);
    std::vector<std::string> texts = myTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("-------\nEventName:Canceled.\n", 0), 0u);

    // Any other character is stored unchecked; only '0' prints everything.
    EXPECT_EQ(setRunMode('7'), 0);
    EXPECT_EQ(tc::runMode(), '7');
    tc::deliverEvent(sink, ENUM_EventID_MdReady, nullptr, false, 0, "");
    EXPECT_EQ(myTexts().size(), 1u);
    EXPECT_EQ(setRunMode(ENUM_RunMode_Debug), 0);
    tc::deliverEvent(sink, ENUM_EventID_MdReady, nullptr, false, 0, "");
    EXPECT_EQ(myTexts().size(), 2u);
}

TEST_F(EventsDelivery, TextProcessorReceivesEveryPrintedTextOnce) {
    EXPECT_EQ(setEventTextProcessor(nullptr), -1);  // None is not callable
    EXPECT_EQ(rec::eventTextProcessor(), nullptr);
    EXPECT_EQ(setEventTextProcessor(rec::fakeCallable(9)), 0);
    EXPECT_EQ(setEventTextProcessor(nullptr), -1);  // refused; the previous one stays
    EXPECT_EQ(rec::eventTextProcessor(), rec::fakeCallable(9));

    tc::EventSink sink = sinkWithNone();
    CQNOrderField order = sampleOrder();
    tc::deliverEvent(sink, ENUM_EventID_MdReady, nullptr, false, 0, "");
    tc::deliverOrderEvent(sink, ENUM_OrderEventID_Accepted, &order);
    std::vector<Call> emits;
    for (const Call &call : myCalls()) {
        if (call.kind == CallKind::EmitText) emits.push_back(call);
    }
    ASSERT_EQ(emits.size(), 2u);
    EXPECT_EQ(emits[0].processor, rec::fakeCallable(9));
    EXPECT_EQ(emits[1].processor, rec::fakeCallable(9));
}

TEST_F(EventsDelivery, PrinterReachedAgainWhileEmittingKeepsEachText) {
    // A text processor that makes the engine print again on the same thread, deeper than the
    // printers' buffer pool.
    std::atomic<int> depth{0};
    rec::setCallHook([&depth](const Call &call) {
        if (call.kind != CallKind::EmitText || depth >= 6) return;
        ++depth;
        tc::printEvent(ENUM_EventID_MdReady, nullptr, false, depth.load(), "", "u1");
    });
    tc::printEvent(ENUM_EventID_DayRolling, nullptr, false, 0, "", "u1");
    rec::setCallHook(nullptr);
    const std::vector<std::string> texts = myTexts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[0], "-------\nEventName:DayRolling,EventID:10001,UserID:u1,ErrorID:0,Message:.\nCTPField>>>\n\n-------");
    for (int i = 1; i < 7; ++i) {
        EXPECT_EQ(texts[i], "-------\nEventName:MdReady,EventID:10002,UserID:u1,ErrorID:" + std::to_string(i) +
                                ",Message:.\nCTPField>>>\n\n-------");
    }
}

TEST_F(EventsDelivery, ConcurrentDeliveriesKeepTheirOwnMarksAndTexts) {
    constexpr int kThreads = 4;
    constexpr int kEvents = 300;
    std::vector<std::thread::id> ids(kThreads);
    std::vector<CQNMarketDataField> snaps(kThreads);
    std::vector<CQNOrderField> orders(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &ids, &snaps, &orders] {
            ids[t] = std::this_thread::get_id();
            tc::EventSink withProcessor = sinkWithAll();
            tc::EventSink printing = sinkWithNone();
            orders[t] = sampleOrder();
            orders[t].OrderID = 100 + t;
            for (int i = 0; i < kEvents; ++i) {
                snaps[t].BidVolume1 = i;
                tc::deliverSnapshotEvent(withProcessor, ENUM_SnapDataEventID_MarketData, &snaps[t]);
                orders[t].TradedVolume = i;
                tc::deliverOrderEvent(printing, ENUM_OrderEventID_Traded, &orders[t]);
            }
        });
    }
    for (std::thread &th : threads) th.join();

    const std::vector<Call> calls = rec::snapshot();
    for (int t = 0; t < kThreads; ++t) {
        int snapsSeen = 0, textsSeen = 0;
        for (const Call &call : calls) {
            if (call.thread != ids[t]) continue;
            if (call.kind == CallKind::OrderProcessor) {
                EXPECT_EQ(call.record, &snaps[t]);
                EXPECT_EQ(call.deliveredRecord, &snaps[t]);
                ++snapsSeen;
            } else if (call.kind == CallKind::EmitText) {
                EXPECT_EQ(call.deliveredRecord, &orders[t]);
                const std::string want = " || OrderID:" + std::to_string(100 + t) + " || ";
                const std::string traded = " || TradedVolume:" + std::to_string(textsSeen) + " || ";
                EXPECT_NE(call.text.find(want), std::string::npos) << call.text;
                EXPECT_NE(call.text.find(traded), std::string::npos) << call.text;
                ++textsSeen;
            }
        }
        EXPECT_EQ(snapsSeen, kEvents);
        EXPECT_EQ(textsSeen, kEvents);
    }
}
