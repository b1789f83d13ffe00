// libFuzzer target: whatever the broker's SDK hands the adapters, the engine neither crashes nor
// reads past a field. Each input builds a fresh trader engine and market-data side (fronts that
// no broker serves, so nothing but this target calls them), then plays the operations of
// FuzzOps.h straight into their SPI callbacks and engine operations. Every event the engine
// delivers is rendered with toText/getFields while it is being delivered, as a strategy that
// logs its events would, so a record field without its NUL reaches the renderers too.
//
// Build: cmake -DTRADECORE_FUZZ=ON with clang (tools/fuzz.sh does it all).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzOps.h"
#include "engine/TaskScheduler.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "marketdata/CTORAStockMd.h"
#include "trader/CTORAStockTrader.h"
#include "trader/SecurityDirectory.h"

using namespace tc::fuzz;

namespace {

constexpr int kRunID = 1000;
constexpr int kIDRange = 200;
constexpr int kFrontID = 3;
constexpr int kSessionID = 77;
// Each input may create only a few engine records: they are never freed.
constexpr int kMaxEngineRecords = 12;

const char *const kCodes[] = {"600000", "000001", "510050", "688001", ""};
const char *const kExchanges[] = {"1", "2", "", "3", "9"};
const char kOrderStatuses[] = {TORA_TSTP_OST_AllTraded,      TORA_TSTP_OST_PartTradedQueueing,
                               TORA_TSTP_OST_PartTradedNotQueueing, TORA_TSTP_OST_NoTradeQueueing,
                               TORA_TSTP_OST_NoTradeNotQueueing,    TORA_TSTP_OST_Canceled,
                               TORA_TSTP_OST_Cached,        'a', 'z', '\0'};
const char kSubmitStatuses[] = {'0', '1', '2', '3', '4', '5', '\0'};
const char kOrderTypes[] = "012345abcdefklmnopq9Z";

CQNLoginField *newLogin(const char *front, bool md) {
    auto *login = new CQNLoginField();
    tc::copyText(login->UserID, "fuzz");
    tc::copyText(login->Password, "pw");
    tc::copyText(login->InvestorID, "inv");
    tc::copyText(md ? login->MdFrontAddress : login->TraderFrontAddress, front);
    tc::copyText(login->BasePath, "/tmp/tradecore-fuzz");
    login->TaskExecuteGap = 0;
    login->TaskFailedGap = 0;
    login->TaskExecuteTimeout = 1000000;
    login->IDRange = kIDRange;
    return login;
}

// Events delivered over the whole run, reported at exit.
std::size_t gOrderEvents = 0;
std::size_t gOtherEvents = 0;

void reportAtExit() {
    std::fprintf(stderr, "fuzz_adapters: %zu order events and %zu other events delivered\n", gOrderEvents,
                 gOtherEvents);
}

// Renders a delivered record the way a logging strategy would, inside the delivery.
void renderDelivered(const tc::recording::Call &call) {
    using tc::recording::CallKind;
    if (call.kind != CallKind::OrderProcessor && call.kind != CallKind::EventProcessor) return;
    ++(call.kind == CallKind::OrderProcessor ? gOrderEvents : gOtherEvents);
    void *record = const_cast<void *>(call.record);
    const char *text = toText(call.eventID, record, true, ",", 3);
    const char *fields = getFields(call.eventID, record);
    // Touch every byte so a missing terminator inside the renderers shows here.
    volatile std::size_t n = (text ? std::strlen(text) : 0) + (fields ? std::strlen(fields) : 0);
    (void)n;
    if (call.kind == CallKind::OrderProcessor && record) {
        // A processor that takes the lock of the order it is handed gets it at once.
        getOrderLock(static_cast<CQNOrderField *>(record));
        releaseOrderLock(static_cast<CQNOrderField *>(record));
    }
}

struct Session {
    std::unique_ptr<CTORAStockTrader> trader;
    std::unique_ptr<CTORAStockMd> md;
    std::vector<int> orderIDs;     // engine orders created by this input
    std::vector<int> transferIDs;  // engine transfers created by this input
    int engineRecords = 0;
};

template <class T>
std::unique_ptr<T> readRecord(Reader &in) {
    // Heap records of exactly the SDK's size: a read past the record's end is a heap overflow.
    std::unique_ptr<T> r(new T);
    in.bytes(r.get(), sizeof(T));
    return r;
}

template <std::size_t N>
void writeText(char (&field)[N], const std::string &text) {
    // The field exactly as given: no NUL when the text fills it.
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

// An order or transfer reference the engine may know, or one just outside its range.
int chooseRef(Reader &in, const std::vector<int> &own) {
    const std::uint8_t k = in.byte();
    switch (k % 8) {
    case 0: case 1: case 2: case 3:
        if (!own.empty()) return own[k / 8 % own.size()];
        return kRunID + 1;
    case 4: return kRunID;
    case 5: return kRunID + kIDRange;
    case 6: return kRunID + kIDRange + 1 + (k >> 3);
    default: return -static_cast<int>(k);
    }
}

template <std::size_t N>
void steerRef(char (&field)[N], Reader &in, std::uint8_t flags, const std::vector<int> &own) {
    if (!(flags & kOwnRef)) return;
    const int ref = chooseRef(in, own);
    std::string text = std::to_string(ref);
    // Sometimes with garbage behind the digits ("1001x"), as atoi-style parsing must cope with.
    if (in.byte() & 1) text += "x\x7f";
    writeText(field, text);
}

template <class T>
void steerSession(T &r, std::uint8_t flags) {
    if (!(flags & kOwnSession)) return;
    r.FrontID = kFrontID;
    r.SessionID = kSessionID;
}

template <class T>
void steerSecurity(T &r, Reader &in, std::uint8_t flags) {
    if (!(flags & kKnownSecurity)) return;
    const std::uint8_t k = in.byte();
    writeText(r.SecurityID, kCodes[k % 5]);
    r.ExchangeID = kExchanges[(k >> 4) % 5][0];
}

CTORATstpRspInfoField *readInfo(Reader &in, std::uint8_t flags, std::unique_ptr<CTORATstpRspInfoField> &keep) {
    if (flags & kNullInfo) return nullptr;
    keep = readRecord<CTORATstpRspInfoField>(in);
    return keep.get();
}

template <class T>
T *recordOrNull(std::uint8_t flags, std::unique_ptr<T> &r) {
    return (flags & kNullRecord) ? nullptr : r.get();
}

std::string readText(Reader &in) {
    const std::size_t n = in.byte() % 48;
    std::string s(n, '\0');
    in.bytes(&s[0], n);
    return s;  // may hold NULs and any byte
}

void runOne(Session &s, Reader &in) {
    CTORAStockTrader &t = *s.trader;
    CTORAStockMd &md = *s.md;
    const std::uint8_t op = in.byte() % kOpCount;
    const std::uint8_t flags = in.byte();
    std::unique_ptr<CTORATstpRspInfoField> info;
    const bool last = flags & kIsLast;

    // Processors None: the engine's default printers render the event instead.
    tc::EventSink &sink = t.sink();
    const bool printers = flags & kPrintersOn;
    sink.orderEventProcessor = printers ? nullptr : tc::recording::fakeCallable(1);
    sink.eventProcessor = printers ? nullptr : tc::recording::fakeCallable(2);

    switch (op) {
    case kRtnOrder: {
        auto r = readRecord<CTORATstpOrderField>(in);
        steerRef(r->OrderRef, in, flags, s.orderIDs);
        steerSession(*r, flags);
        if (flags & kValidCodes) {
            const std::uint8_t k = in.byte();
            r->OrderStatus = kOrderStatuses[k % sizeof kOrderStatuses];
            r->OrderSubmitStatus = kSubmitStatuses[(k >> 4) % sizeof kSubmitStatuses];
        }
        t.OnRtnOrder(recordOrNull(flags, r));
        break;
    }
    case kRtnTrade: {
        auto r = readRecord<CTORATstpTradeField>(in);
        steerRef(r->OrderRef, in, flags, s.orderIDs);
        steerSecurity(*r, in, flags);
        t.OnRtnTrade(recordOrNull(flags, r));
        break;
    }
    case kRspOrderInsert:
    case kErrRtnOrderInsert: {
        auto r = readRecord<CTORATstpInputOrderField>(in);
        steerRef(r->OrderRef, in, flags, s.orderIDs);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        if (op == kRspOrderInsert) {
            t.OnRspOrderInsert(recordOrNull(flags, r), i, in.value<int>(), last);
        } else {
            t.OnErrRtnOrderInsert(recordOrNull(flags, r), i);
        }
        break;
    }
    case kRspOrderAction: {
        auto r = readRecord<CTORATstpInputOrderActionField>(in);
        steerRef(r->OrderRef, in, flags, s.orderIDs);
        steerSession(*r, flags);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspOrderAction(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kErrRtnOrderAction: {
        auto r = readRecord<CTORATstpOrderActionField>(in);
        steerRef(r->OrderRef, in, flags, s.orderIDs);
        steerSession(*r, flags);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnErrRtnOrderAction(recordOrNull(flags, r), i);
        break;
    }
    case kRspUserLogin: {
        auto r = readRecord<CTORATstpRspUserLoginField>(in);
        steerSession(*r, flags);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspUserLogin(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRspQrySecurity: {
        auto r = readRecord<CTORATstpSecurityField>(in);
        steerSecurity(*r, in, flags);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspQrySecurity(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRspQryShareholderAccount: {
        auto r = readRecord<CTORATstpShareholderAccountField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspQryShareholderAccount(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRspQryTradingAccount: {
        auto r = readRecord<CTORATstpTradingAccountField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspQryTradingAccount(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRtnMarketStatus: {
        auto r = readRecord<CTORATstpMarketStatusField>(in);
        t.OnRtnMarketStatus(recordOrNull(flags, r));
        break;
    }
    case kRtnTradingNotice: {
        auto r = readRecord<CTORATstpTradingNoticeField>(in);
        t.OnRtnTradingNotice(recordOrNull(flags, r));
        break;
    }
    case kRtnTransferFund: {
        auto r = readRecord<CTORATstpTransferFundField>(in);
        steerRef(r->ApplySerial, in, flags, s.transferIDs);
        steerSession(*r, flags);
        t.OnRtnTransferFund(recordOrNull(flags, r));
        break;
    }
    case kRtnTransferPosition: {
        auto r = readRecord<CTORATstpTransferPositionField>(in);
        steerRef(r->ApplySerial, in, flags, s.transferIDs);
        steerSession(*r, flags);
        t.OnRtnTransferPosition(recordOrNull(flags, r));
        break;
    }
    case kRspTransferFund:
    case kErrRtnTransferFund: {
        auto r = readRecord<CTORATstpInputTransferFundField>(in);
        steerRef(r->ApplySerial, in, flags, s.transferIDs);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        if (op == kRspTransferFund) {
            t.OnRspTransferFund(recordOrNull(flags, r), i, in.value<int>(), last);
        } else {
            t.OnErrRtnTransferFund(recordOrNull(flags, r), i);
        }
        break;
    }
    case kRspTransferPosition:
    case kErrRtnTransferPosition: {
        auto r = readRecord<CTORATstpInputTransferPositionField>(in);
        steerRef(r->ApplySerial, in, flags, s.transferIDs);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        if (op == kRspTransferPosition) {
            t.OnRspTransferPosition(recordOrNull(flags, r), i, in.value<int>(), last);
        } else {
            t.OnErrRtnTransferPosition(recordOrNull(flags, r), i);
        }
        break;
    }
    case kRtnPeripheryTransferFund: {
        auto r = readRecord<CTORATstpRtnPeripheryTransferFundField>(in);
        if (flags & kOwnRef) r->ApplySerial = chooseRef(in, s.transferIDs);
        steerSession(*r, flags);
        t.OnRtnPeripheryTransferFund(recordOrNull(flags, r));
        break;
    }
    case kRtnPeripheryTransferPosition: {
        auto r = readRecord<CTORATstpRtnPeripheryTransferPositionField>(in);
        if (flags & kOwnRef) r->ApplySerial = chooseRef(in, s.transferIDs);
        steerSession(*r, flags);
        t.OnRtnPeripheryTransferPosition(recordOrNull(flags, r));
        break;
    }
    case kRspUserPasswordUpdate: {
        auto r = readRecord<CTORATstpUserPasswordUpdateField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspUserPasswordUpdate(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRspQryOrder: {
        auto r = readRecord<CTORATstpOrderField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspQryOrder(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRspQryTrade: {
        auto r = readRecord<CTORATstpTradeField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspQryTrade(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kRspQryPosition: {
        auto r = readRecord<CTORATstpPositionField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        t.OnRspQryPosition(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kFrontConnected:
        t.OnFrontConnected();
        break;
    case kFrontDisconnected:
        t.OnFrontDisconnected(in.value<int>());
        break;
    case kBuyOpen:
    case kSellClose:
    case kInsertOrder: {
        const std::uint8_t k = in.byte();
        const int volume = in.value<int>();
        const double price = in.value<double>();
        const char orderType = (flags & kValidCodes) ? kOrderTypes[in.byte() % (sizeof kOrderTypes - 1)]
                                                     : static_cast<char>(in.byte());
        const char direction = static_cast<char>(in.byte());
        if (s.engineRecords >= kMaxEngineRecords) break;
        const char *code = kCodes[k % 5];
        const char *exchange = (flags & kNullRecord) ? nullptr : kExchanges[(k >> 4) % 5];
        CQNOrderField *o = nullptr;
        if (op == kBuyOpen) {
            o = ::buyOpen(&t, code, volume, orderType, price, exchange, direction);
        } else if (op == kSellClose) {
            o = ::sellClose(&t, code, volume, orderType, price, exchange, direction, '1', "x");
        } else {
            const std::string combine = readText(in);
            o = ::insertOrder(&t, exchange, code, direction, '0', volume, combine.c_str(), price, '0', nullptr);
        }
        ++s.engineRecords;
        if (o) s.orderIDs.push_back(o->OrderID);
        break;
    }
    case kCancelByOrderID:
        ::cancelOrderByOrderID(&t, chooseRef(in, s.orderIDs));
        break;
    case kCancelByStandardID: {
        const std::uint8_t k = in.byte();
        ::cancelOrderByStandardID(&t, (k & 1) ? nullptr : kExchanges[(k >> 1) % 5],
                                  (k & 8) ? nullptr : kCodes[(k >> 4) % 5]);
        break;
    }
    case kCancelOrder: {
        const std::string sysID = readText(in);
        ::cancelOrder(&t, "1", "600000", sysID.c_str(), chooseRef(in, s.orderIDs), in.value<int>(),
                      in.value<int>());
        break;
    }
    case kTransferCash:
    case kTransferPosition: {
        const char flag = static_cast<char>(in.byte());
        const double amount = in.value<double>();
        const int volume = in.value<int>();
        if (s.engineRecords >= kMaxEngineRecords) break;
        CQNTransferAssetField *r =
            op == kTransferCash ? ::transferCash(&t, flag, amount, "pw", "bank", "bpw", "7", "")
                                : ::transferPosition(&t, flag, volume, "600000", "7", "", "1");
        ++s.engineRecords;
        if (r) s.transferIDs.push_back(r->TransferID);
        break;
    }
    case kSchedulerStep:
        t.scheduler().step();
        break;
    case kMdRtnDepthMarketData: {
        auto r = readRecord<CTORATstpMarketDataField>(in);
        steerSecurity(*r, in, flags);
        md.OnRtnDepthMarketData(recordOrNull(flags, r));
        break;
    }
    case kMdRspUserLogin: {
        auto r = readRecord<CTORATstpRspUserLoginField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        md.OnRspUserLogin(recordOrNull(flags, r), i, in.value<int>(), last);
        break;
    }
    case kMdRspSubMarketData:
    case kMdRspUnSubMarketData: {
        auto r = readRecord<CTORATstpSpecificSecurityField>(in);
        CTORATstpRspInfoField *i = readInfo(in, flags, info);
        if (op == kMdRspSubMarketData) {
            md.OnRspSubMarketData(recordOrNull(flags, r), i, in.value<int>(), last);
        } else {
            md.OnRspUnSubMarketData(recordOrNull(flags, r), i, in.value<int>(), last);
        }
        break;
    }
    case kMdFrontConnected:
        md.OnFrontConnected();
        break;
    case kMdFrontDisconnected:
        md.OnFrontDisconnected(in.value<int>());
        break;
    case kMdSubscribe:
    case kMdUnsubscribe: {
        const int count = in.byte() % 4;
        std::vector<std::string> texts;
        for (int i = 0; i < count; ++i) texts.push_back(readText(in));
        std::vector<char *> ids;
        for (std::string &text : texts) ids.push_back(&text[0]);
        const std::string exchange = readText(in);
        char **list = (flags & kNullRecord) ? nullptr : ids.data();
        if (op == kMdSubscribe) {
            ::subscribe(&t, list, count, exchange.c_str());
        } else {
            ::unsubscribe(&t, list, count, exchange.c_str());
        }
        break;
    }
    default:
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Order events only in release mode would skip most printers; print everything.
    setRunMode(ENUM_RunMode_Debug);
    tc::recording::setCallHook(&renderDelivered);
    std::atexit(&reportAtExit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    tc::resetProcessTraderStateForTests();
    tc::recording::clear();
    // A text processor keeps the printers' output in the recording instead of on stdout.
    setEventTextProcessor(tc::recording::fakeCallable(5));

    Session s;
    // No broker serves these fronts: nothing but this input ever calls the adapters.
    s.trader = std::make_unique<CTORAStockTrader>(kRunID, newLogin("sim://fuzz-nowhere", false),
                                                  tc::recording::fakeCallable(1), tc::recording::fakeCallable(2),
                                                  nullptr);
    s.md = std::make_unique<CTORAStockMd>(newLogin("sim://fuzz-nowhere-md", true), tc::recording::fakeCallable(3),
                                          tc::recording::fakeCallable(2), nullptr);
    s.trader->attachMd(s.md.get());
    s.trader->setSession(kFrontID, kSessionID);

    Reader in(data, size);
    for (int ops = 0; ops < 64 && !in.done(); ++ops) runOne(s, in);

    s.trader->attachMd(nullptr);
    s.trader.reset();
    s.md.reset();
    tc::recording::clear();
    return 0;
}
