#include "TraderFixture.h"

#include <atomic>

#include "engine/Text.h"
#include "marketdata/SnapshotStore.h"
#include "EngineDoubles.h"
#include "trader/SecurityDirectory.h"

namespace tc {
namespace testing {

using tc::recording::Call;
using tc::recording::CallKind;
using torasim::Broker;
using torasim::Side;

void TraderFixture::SetUp() {
    static std::atomic<int> serial{0};
    tc::recording::clear();
    tc::recording::setCallHook(nullptr);
    tc::resetProcessTraderStateForTests();
    address_ = "sim://trader" + std::to_string(serial.fetch_add(1));
    broker_ = Broker::create(address_, torasim::Mode::Scripted);
}

void TraderFixture::TearDown() {
    tc::recording::setCallHook(nullptr);
    trader_.reset();
    md_.reset();
    Broker::removeAll();
    tc::resetProcessTraderStateForTests();
    tc::recording::clear();
}

void TraderFixture::createTrader(int runID, const std::function<void(CQNLoginField &)> &tweak) {
    auto *login = new CQNLoginField();
    tc::copyText(login->UserID, "u1");
    tc::copyText(login->Password, "secret");
    tc::copyText(login->InvestorID, "inv1");
    tc::copyText(login->TraderFrontAddress, address_.c_str());
    tc::copyText(login->BasePath, "/tmp/tradecore-trader-tests");
    tc::copyText(login->MacAddress, "00-11-22-33-44-55");
    tc::copyText(login->InnerIPAddress, "10.0.0.2");
    tc::copyText(login->OuterIPAddress, "203.0.113.9");
    login->OuterPort = 4321;
    tc::copyText(login->UserProductInfo, "tcprod");
    tc::copyText(login->TerminalInfo, "PC;IIP=10.0.0.2");
    tc::copyText(login->HDSerial, "HD-0001");
    // No pauses between tasks and no timeouts: the test steps the scheduler itself.
    login->TaskExecuteGap = 0;
    login->TaskFailedGap = 0;
    login->TaskExecuteTimeout = 600LL * 1000000;
    if (tweak) tweak(*login);
    trader_ = std::make_unique<CTORAStockTrader>(runID, login, orderProcessor(), eventProcessor(), nullptr);
    ASSERT_NE(trader_->api(), nullptr);
    ASSERT_TRUE(broker_->waitForConnections(1, Side::Trader));
}

void TraderFixture::accept() {
    ASSERT_EQ(broker_->acceptConnection(Side::Trader), 1);
    ASSERT_TRUE(broker_->drain());
    ASSERT_EQ(trader_->apiStatus(), ENUM_ApiStatus_Initializing);
}

torasim::Request TraderFixture::step(const std::string &type) {
    trader_->scheduler().step();
    std::optional<torasim::Request> r = broker_->waitForRequest(type, std::chrono::milliseconds(5000));
    EXPECT_TRUE(r.has_value()) << "no " << type << " after a step";
    if (!r) return {};
    return *r;
}

void TraderFixture::push(const std::function<void(CTORATstpTraderSpi *)> &fn) {
    ASSERT_EQ(broker_->post(fn), 1);
    ASSERT_TRUE(broker_->drain());
}

void TraderFixture::answerLogin(int frontID, int sessionID, const char *day, int errorID, const std::string &message) {
    auto answer = zeroRecord<CTORATstpRspUserLoginField>();
    answer.FrontID = frontID;
    answer.SessionID = sessionID;
    tc::copyText(answer.TradingDay, day);
    tc::copyText(answer.LogInAccount, "u1");
    broker_->pushRspUserLogin(answer, 0, errorID, message);
    ASSERT_TRUE(broker_->drain());
}

CTORATstpSecurityField TraderFixture::security(const char *id, char exchange, char type, int volumeMultiple) {
    auto s = zeroRecord<CTORATstpSecurityField>();
    tc::copyText(s.SecurityID, id);
    s.ExchangeID = exchange;
    s.SecurityType = type;
    s.VolumeMultiple = volumeMultiple;
    tc::copyText(s.SecurityName, id);
    return s;
}

void TraderFixture::answerSecurities(const std::vector<CTORATstpSecurityField> &list) {
    push([list](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        for (std::size_t i = 0; i < list.size(); ++i) {
            auto s = list[i];
            spi->OnRspQrySecurity(&s, &info, 0, i + 1 == list.size());
        }
    });
}

void TraderFixture::connectAndPrepare(int frontID, int sessionID, const char *day) {
    accept();
    step("ReqUserLogin");
    answerLogin(frontID, sessionID, day);
    if (!tc::securitiesLoaded()) {
        step("ReqQrySecurity");
        answerSecurities({security("600000", TORA_TSTP_EXD_SSE, TORA_TSTP_STP_SHAShares),
                          security("000001", TORA_TSTP_EXD_SZSE, TORA_TSTP_STP_SZMainAShares),
                          security("510050", TORA_TSTP_EXD_SSE, TORA_TSTP_STP_SHSingleMarketStockETF)});
    }
    step("ReqQryShareholderAccount");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        auto sh = zeroRecord<CTORATstpShareholderAccountField>();
        sh.ExchangeID = TORA_TSTP_EXD_SSE;
        tc::copyText(sh.ShareholderID, "A000000001");
        spi->OnRspQryShareholderAccount(&sh, &info, 0, false);
        sh.ExchangeID = TORA_TSTP_EXD_SZSE;
        tc::copyText(sh.ShareholderID, "0000000002");
        spi->OnRspQryShareholderAccount(&sh, &info, 0, true);
    });
    step("ReqQryTradingAccount");
    push([](CTORATstpTraderSpi *spi) {
        auto info = Broker::rspInfo(0, "");
        auto account = zeroRecord<CTORATstpTradingAccountField>();
        account.Available = kStartCash;
        tc::copyText(account.AccountID, "acc1");
        tc::copyText(account.DepartmentID, "dep1");
        spi->OnRspQryTradingAccount(&account, &info, 0, true);
    });
    ASSERT_EQ(trader_->apiStatus(), ENUM_ApiStatus_Working);
}

void TraderFixture::disconnect(int reason) {
    ASSERT_EQ(broker_->dropConnection(reason, Side::Trader), 1);
    ASSERT_TRUE(broker_->drain());
    ASSERT_EQ(trader_->apiStatus(), ENUM_ApiStatus_Disconnected);
}

CTORATstpOrderField TraderFixture::orderNotice(const CQNOrderField &o, char status, int volumeTraded,
                                               int volumeTotal) const {
    auto n = zeroRecord<CTORATstpOrderField>();
    std::snprintf(n.OrderRef, sizeof n.OrderRef, "%d", o.OrderID);
    n.FrontID = trader_->frontID();
    n.SessionID = trader_->sessionID();
    n.OrderSubmitStatus = TORA_TSTP_OSS_Accepted;
    n.OrderStatus = status;
    n.Direction = o.Direction;
    n.ExchangeID = o.ExchangeID[0];
    tc::copyField(n.SecurityID, o.StandardID);
    std::snprintf(n.OrderSysID, sizeof n.OrderSysID, "SYS%d", o.OrderID);
    tc::copyText(n.InsertTime, "09:30:00");
    n.VolumeTotalOriginal = o.OriginalVolume;
    n.VolumeTraded = volumeTraded;
    n.VolumeTotal = volumeTotal;
    // "Not given": the engine keeps its own cash and usable volume.
    n.RtnFloatInfo = 999999999999.99;
    n.RtnIntInfo = 999999999;
    return n;
}

void TraderFixture::pushOrder(const CTORATstpOrderField &n) {
    ASSERT_EQ(broker_->pushRtnOrder(n), 1);
    ASSERT_TRUE(broker_->drain());
}

void TraderFixture::pushTrade(const CQNOrderField &o, double price, int volume, const char *orderSysID) {
    auto t = zeroRecord<CTORATstpTradeField>();
    std::snprintf(t.OrderRef, sizeof t.OrderRef, "%d", o.OrderID);
    if (orderSysID) {
        tc::copyText(t.OrderSysID, orderSysID);
    } else {
        std::snprintf(t.OrderSysID, sizeof t.OrderSysID, "SYS%d", o.OrderID);
    }
    t.Price = price;
    t.Volume = volume;
    t.ExchangeID = o.ExchangeID[0];
    tc::copyField(t.SecurityID, o.StandardID);
    ASSERT_EQ(broker_->pushRtnTrade(t), 1);
    ASSERT_TRUE(broker_->drain());
}

FakeMd &TraderFixture::attachSnapshots() {
    if (!md_) {
        md_ = std::make_unique<FakeMd>("u1");
        trader_->attachMd(md_.get());
    }
    return *md_;
}

void TraderFixture::putSnapshot(const char *id, char exchange, double bid1, double ask1, double upper,
                                double lower) {
    attachSnapshots();
    auto s = zeroRecord<tc::sdk::MdSpi::CTORATstpMarketDataField>();   // the snapshot as the SDK in hand gives it
    tc::copyText(s.SecurityID, id);
    s.ExchangeID = exchange;
    s.BidPrice1 = bid1;
    s.AskPrice1 = ask1;
    s.UpperLimitPrice = upper;
    s.LowerLimitPrice = lower;
    s.LastPrice = bid1;
    tc::EventSink sink;
    sink.marketDataProcessor = tc::recording::fakeCallable(9);
    ASSERT_NE(tc::onMarketData(md_->snapshotIndex(), sink, &s), nullptr);
}

void TraderFixture::captureOrderEvents() {
    tc::recording::setCallHook([this](const Call &c) {
        if (c.kind != CallKind::OrderProcessor || c.processor != orderProcessor() || !c.record) return;
        DeliveredOrder d;
        d.eventID = c.eventID;
        d.record = *static_cast<const CQNOrderField *>(c.record);
        d.lockHeld = tc::lockOf(c.record)->word.load() == -1 && c.deliveredRecord == c.record;
        std::lock_guard<std::mutex> guard(capturedMutex_);
        captured_.push_back(d);
    });
}

std::vector<TraderFixture::DeliveredOrder> TraderFixture::capturedOrders() {
    std::lock_guard<std::mutex> guard(capturedMutex_);
    return captured_;
}

std::vector<Call> TraderFixture::orderEvents() const {
    std::vector<Call> out;
    for (const Call &c : tc::recording::snapshot()) {
        if (c.kind == CallKind::OrderProcessor && c.processor == orderProcessor()) out.push_back(c);
    }
    return out;
}

std::vector<int> TraderFixture::orderEventIDs() const {
    std::vector<int> out;
    for (const Call &c : orderEvents()) out.push_back(c.eventID);
    return out;
}

std::vector<Call> TraderFixture::generalEvents(int eventID) const {
    std::vector<Call> out;
    for (const Call &c : tc::recording::snapshot()) {
        if (c.kind == CallKind::EventProcessor && c.processor == eventProcessor() &&
            (eventID == 0 || c.eventID == eventID)) {
            out.push_back(c);
        }
    }
    return out;
}

double TraderFixture::cash() {
    trader_->lockCash();
    const double value = trader_->useableCash();
    trader_->unlockCash();
    return value;
}

}  // namespace testing
}  // namespace tc
