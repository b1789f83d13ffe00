// Writes the seed corpus of fuzz_adapters (tests/fuzz/corpus/): short, well-formed stories that
// reach the adapters' deeper paths (a prepared session, an order's life, refusals, market data,
// transfers), from which the fuzzer mutates. Run again after the byte language changes:
//   make_seeds <dir>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzOps.h"
#include "TORATstpUserApiStruct.h"
#include "engine/Text.h"

using namespace tc::fuzz;

namespace {

template <class T>
T zero() {
    T t;
    std::memset(static_cast<void *>(&t), 0, sizeof t);
    return t;
}

template <std::size_t N>
void put(char (&field)[N], const char *text) {
    tc::copyText(field, text);
}

CTORATstpRspInfoField okInfo() { return zero<CTORATstpRspInfoField>(); }

CTORATstpRspInfoField errorInfo(int id, const char *msg) {
    auto i = zero<CTORATstpRspInfoField>();
    i.ErrorID = id;
    put(i.ErrorMsg, msg);
    return i;
}

// The steering bytes behind a record, in the order the target reads them.
void ownRef(Writer &w, int nth) {
    w.byte(static_cast<std::uint8_t>(nth * 8));  // k % 8 == 0: the nth own record
    w.byte(0);                                   // no garbage after the digits
}

void prepare(Writer &w) {
    w.op(kFrontConnected, 0);
    auto login = zero<CTORATstpRspUserLoginField>();
    put(login.TradingDay, "20240102");
    w.op(kRspUserLogin, kIsLast | kOwnSession);
    w.value(login);
    w.value(okInfo());
    w.value(0);
    auto sec = zero<CTORATstpSecurityField>();
    sec.VolumeMultiple = 1;
    sec.SecurityType = '2';
    w.op(kRspQrySecurity, kKnownSecurity);
    w.value(sec);
    w.byte(0x00);  // 600000, exchange "1"
    w.value(okInfo());
    w.value(0);
    w.op(kRspQrySecurity, kIsLast | kKnownSecurity);
    w.value(sec);
    w.byte(0x11);  // 000001, exchange "2"
    w.value(okInfo());
    w.value(0);
    auto sh = zero<CTORATstpShareholderAccountField>();
    sh.ExchangeID = '1';
    put(sh.ShareholderID, "A000000001");
    w.op(kRspQryShareholderAccount, kIsLast);
    w.value(sh);
    w.value(okInfo());
    w.value(0);
    auto acc = zero<CTORATstpTradingAccountField>();
    acc.Available = 1e6;
    w.op(kRspQryTradingAccount, kIsLast);
    w.value(acc);
    w.value(okInfo());
    w.value(0);
}

void buy(Writer &w, std::uint8_t security, int volume, double price, char orderType) {
    w.op(kBuyOpen, kValidCodes);
    w.byte(security);
    w.value(volume);
    w.value(price);
    const char types[] = "012345abcdefklmnopq9Z";
    w.byte(static_cast<std::uint8_t>(std::strchr(types, orderType) - types));
    w.byte('0');
}

CTORATstpOrderField notice(char status, int traded, int total) {
    auto n = zero<CTORATstpOrderField>();
    n.OrderStatus = status;
    n.OrderSubmitStatus = '3';
    n.Direction = '0';
    n.VolumeTraded = traded;
    n.VolumeTotal = total;
    n.VolumeTotalOriginal = 1000;
    put(n.OrderSysID, "SYS1");
    put(n.InsertTime, "09:30:00");
    put(n.CancelTime, "09:31:00");
    n.RtnFloatInfo = 999999999999.99;
    n.RtnIntInfo = 999999999;
    return n;
}

// statusIndex into the target's status table, submitIndex into its submit table.
void rtnOrder(Writer &w, const CTORATstpOrderField &n, int statusIndex, int submitIndex) {
    w.op(kRtnOrder, kOwnRef | kOwnSession | kValidCodes);
    w.value(n);
    ownRef(w, 0);
    w.byte(static_cast<std::uint8_t>(statusIndex | (submitIndex << 4)));
}

bool save(const std::string &dir, const char *name, const Writer &w) {
    const std::string path = dir + "/" + name;
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(w.data().data(), 1, w.data().size(), f) == w.data().size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus-dir>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    {  // An order accepted, part traded, traded again (turnover), cancelled.
        Writer w;
        prepare(w);
        buy(w, 0x00, 1000, 10.0, '0');
        rtnOrder(w, notice('3', 0, 1000), 3, 3);
        rtnOrder(w, notice('1', 300, 700), 1, 3);
        auto trade = zero<CTORATstpTradeField>();
        trade.Price = 10.0;
        trade.Volume = 300;
        put(trade.OrderSysID, "SYS1");
        w.op(kRtnTrade, kOwnRef);
        w.value(trade);
        ownRef(w, 0);
        w.op(kCancelByOrderID, 0);
        w.byte(0);
        rtnOrder(w, notice('5', 300, 0), 5, 3);
        rtnOrder(w, notice('5', 300, 0), 5, 3);
        ok &= save(dir, "order_life", w);
    }
    {  // Refusals: exchange rejection, insert error, cancel error.
        Writer w;
        prepare(w);
        buy(w, 0x11, 500, 8.5, '0');
        rtnOrder(w, notice('3', 0, 500), 3, 4);
        buy(w, 0x00, 100, 9.0, 'a');
        w.op(kErrRtnOrderInsert, kOwnRef);
        w.value(zero<CTORATstpInputOrderField>());
        w.byte(8);  // the second own order
        w.byte(0);
        w.value(errorInfo(11, "refused"));
        w.op(kRspOrderAction, kOwnRef | kOwnSession | kIsLast);
        w.value(zero<CTORATstpInputOrderActionField>());
        ownRef(w, 0);
        w.value(errorInfo(12, "too late"));
        w.value(3);
        ok &= save(dir, "refusals", w);
    }
    {  // Market data: login, subscribe, a snapshot, then a market-priced order.
        Writer w;
        prepare(w);
        w.op(kMdFrontConnected, 0);
        w.op(kMdRspUserLogin, kIsLast);
        w.value(zero<CTORATstpRspUserLoginField>());
        w.value(okInfo());
        w.value(0);
        w.op(kMdSubscribe, 0);
        w.byte(2);
        w.byte(6);
        w.bytes("600000", 6);
        w.byte(6);
        w.bytes("600004", 6);
        w.byte(1);
        w.bytes("1", 1);
        auto md = zero<CTORATstpMarketDataField>();
        put(md.TradingDay, "20240102");
        md.LastPrice = 10.0;
        md.BidPrice1 = 9.99;
        md.AskPrice1 = 10.01;
        md.UpperLimitPrice = 11.0;
        md.LowerLimitPrice = 9.0;
        w.op(kMdRtnDepthMarketData, kKnownSecurity);
        w.value(md);
        w.byte(0x00);
        buy(w, 0x00, 200, 0.0, 'd');
        buy(w, 0x00, 200, 0.0, '2');
        ok &= save(dir, "market_data", w);
    }
    {  // Transfers and their answers.
        Writer w;
        prepare(w);
        w.op(kTransferCash, 0);
        w.byte('0');
        w.value(1000.0);
        w.value(0);
        auto fund = zero<CTORATstpTransferFundField>();
        fund.TransferStatus = '1';
        fund.Amount = 1000.0;
        w.op(kRtnTransferFund, kOwnRef | kOwnSession);
        w.value(fund);
        ownRef(w, 0);
        w.op(kTransferPosition, 0);
        w.byte('0');
        w.value(0.0);
        w.value(100);
        w.op(kErrRtnTransferPosition, kOwnRef);
        w.value(zero<CTORATstpInputTransferPositionField>());
        w.byte(8);
        w.byte(0);
        w.value(errorInfo(5, "no position"));
        ok &= save(dir, "transfers", w);
    }
    {  // Disconnection in the middle of an order, reconnection, a login as another session.
        Writer w;
        prepare(w);
        buy(w, 0x00, 100, 10.0, '0');
        w.op(kFrontDisconnected, 0);
        w.value(0x1001);
        w.op(kFrontConnected, 0);
        w.op(kSchedulerStep, 0);
        rtnOrder(w, notice('0', 100, 0), 0, 3);
        ok &= save(dir, "reconnect", w);
    }
    {  // Volumes and prices at the edges: an order for no sane volume, notices whose traded and
       // remaining volumes pass the int range, trades adding up past it, prices NaN and infinite.
        const int kMax = 2147483647;
        const int kMin = -kMax - 1;
        Writer w;
        prepare(w);
        buy(w, 0x00, kMin, std::nan(""), '0');
        rtnOrder(w, notice('3', 0, 0), 3, 3);
        rtnOrder(w, notice('1', kMin, kMax), 1, 3);
        rtnOrder(w, notice('1', 5, 0), 1, 3);
        rtnOrder(w, notice('5', kMax, kMax), 5, 3);
        auto trade = zero<CTORATstpTradeField>();
        trade.Price = HUGE_VAL;
        trade.Volume = kMax;
        put(trade.OrderSysID, "SYS1");
        for (int i = 0; i < 2; ++i) {
            w.op(kRtnTrade, kOwnRef);
            w.value(trade);
            ownRef(w, 0);
        }
        ok &= save(dir, "edge_volumes", w);
    }
    if (!ok) {
        std::fprintf(stderr, "could not write the corpus into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
