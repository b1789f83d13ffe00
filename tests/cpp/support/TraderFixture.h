// A stock trader engine against its own scripted simulated broker, driven step by step: the test
// accepts the connection, runs the scheduler one step at a time (there is no engine thread), sees
// every request the engine sent and pushes every answer and notification itself. Events are read
// back from the recording bridge.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EngineDoubles.h"
#include "ZeroRecord.h"
#include "engine/TaskScheduler.h"
#include "events/RecordingBridge.h"
#include "torasim/SimControl.h"
#include "trader/CTORAStockTrader.h"

namespace tc {
namespace testing {

class TraderFixture : public ::testing::Test {
protected:
    static constexpr int kFrontID = 3;
    static constexpr int kSessionID = 77;
    static constexpr const char *kTradingDay = "20240102";
    static constexpr double kStartCash = 1000000.0;

    void SetUp() override;
    void TearDown() override;

    static PyObject *orderProcessor() { return tc::recording::fakeCallable(1); }
    static PyObject *eventProcessor() { return tc::recording::fakeCallable(2); }

    // Creates the engine (not yet connected). `tweak` may change the login copy first.
    void createTrader(int runID = 1000, const std::function<void(CQNLoginField &)> &tweak = {});
    // The broker accepts the pending connection: OnFrontConnected, status "2".
    void accept();
    // One scheduler step; returns the request it sent, which must be of `type`.
    torasim::Request step(const std::string &type);
    // Answers the login with the given session and day.
    void answerLogin(int frontID = kFrontID, int sessionID = kSessionID, const char *day = kTradingDay,
                     int errorID = 0, const std::string &message = std::string());
    // Everything from connection to TraderReady: login, security list (600000 SSE A share,
    // 000001 SZSE main board, 510050 SSE ETF), shareholder accounts, trading account.
    void connectAndPrepare(int frontID = kFrontID, int sessionID = kSessionID, const char *day = kTradingDay);
    // Drops the connection (OnFrontDisconnected) and waits for it.
    void disconnect(int reason = torasim::kReasonReadFailed);

    // Runs fn on the SDK's callback thread and waits until it has returned.
    void push(const std::function<void(CTORATstpTraderSpi *)> &fn);
    static CTORATstpSecurityField security(const char *id, char exchange, char type, int volumeMultiple = 1);
    void answerSecurities(const std::vector<CTORATstpSecurityField> &list);

    // Order notifications built from an order's record.
    CTORATstpOrderField orderNotice(const CQNOrderField &o, char status, int volumeTraded = 0,
                                    int volumeTotal = 0) const;
    void pushOrder(const CTORATstpOrderField &n);
    void pushTrade(const CQNOrderField &o, double price, int volume, const char *orderSysID = nullptr);

    // Installs a market-data side whose snapshot store the engine prices from.
    FakeMd &attachSnapshots();
    void putSnapshot(const char *id, char exchange, double bid1, double ask1, double upper, double lower);

    // From now on, keeps a copy of the record of every order event as it was when delivered,
    // and whether the engine held the record's lock meanwhile.
    struct DeliveredOrder {
        int eventID;
        CQNOrderField record;
        bool lockHeld;
    };
    void captureOrderEvents();
    std::vector<DeliveredOrder> capturedOrders();

    std::vector<tc::recording::Call> orderEvents() const;
    std::vector<int> orderEventIDs() const;
    std::vector<tc::recording::Call> generalEvents(int eventID = 0) const;
    double cash();

    std::string address_;
    std::shared_ptr<torasim::Broker> broker_;
    std::unique_ptr<CTORAStockTrader> trader_;
    std::unique_ptr<FakeMd> md_;
    std::mutex capturedMutex_;
    std::vector<DeliveredOrder> captured_;
};

}  // namespace testing
}  // namespace tc
