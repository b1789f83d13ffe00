// The paper broker's market: securities, the five-level book of each, the synthetic price
// process, CSV replay, and the snapshots the md front pushes.
#include "SimPaper.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace torasim {
namespace detail {

namespace {

double snap(double price, double tick)
{
    if (tick <= 0) return price;
    double v = std::round(price / tick) * tick;
    return std::round(v * 1e6) / 1e6;   // 10.01, not 10.009999999
}

std::vector<SecurityConfig> defaultSecurities()
{
    std::vector<SecurityConfig> v(5);
    v[0].securityID = "600000";
    v[0].exchangeID = TORA_TSTP_EXD_SSE;
    v[0].name = "\xc6\xd6\xb7\xa2\xd2\xf8\xd0\xd0";  // 浦发银行
    v[0].preClosePrice = 10.00;
    v[1].securityID = "600519";
    v[1].exchangeID = TORA_TSTP_EXD_SSE;
    v[1].name = "\xb9\xf3\xd6\xdd\xc3\xa9\xcc\xa8";  // 贵州茅台
    v[1].preClosePrice = 1700.00;
    v[1].levelVolume = 2000;
    v[2].securityID = "000001";
    v[2].exchangeID = TORA_TSTP_EXD_SZSE;
    v[2].name = "\xc6\xbd\xb0\xb2\xd2\xf8\xd0\xd0";  // 平安银行
    v[2].preClosePrice = 12.00;
    v[3].securityID = "300750";
    v[3].exchangeID = TORA_TSTP_EXD_SZSE;
    v[3].name = "\xc4\xfe\xb5\xc2\xca\xb1\xb4\xfa";  // 宁德时代
    v[3].preClosePrice = 200.00;
    v[3].levelVolume = 3000;
    v[4].securityID = "688981";
    v[4].exchangeID = TORA_TSTP_EXD_SSE;
    v[4].name = "\xd6\xd0\xd0\xbe\xb9\xfa\xbc\xca";  // 中芯国际
    v[4].preClosePrice = 50.00;
    v[4].buyVolumeUnit = 1;   // STAR market: 200 minimum, then any number; kept simple
    return v;
}

// Security type, product and market from the exchange and the code, as the exchanges number them.
void classify(SecurityConfig& c, char& marketID)
{
    const std::string& id = c.securityID;
    bool sse = c.exchangeID == TORA_TSTP_EXD_SSE;
    marketID = sse ? TORA_TSTP_MKD_SHA : (c.exchangeID == TORA_TSTP_EXD_SZSE ? TORA_TSTP_MKD_SZA : TORA_TSTP_MKD_COMMON);
    bool star = sse && id.compare(0, 3, "688") == 0;
    bool gem = !sse && id.compare(0, 1, "3") == 0;
    if (!c.securityType) {
        if (sse)
            c.securityType = star ? TORA_TSTP_STP_SHKC : TORA_TSTP_STP_SHAShares;
        else
            c.securityType = gem ? TORA_TSTP_STP_SZGEM : TORA_TSTP_STP_SZMainAShares;
    }
    if (!c.productID) {
        if (sse)
            c.productID = star ? TORA_TSTP_PID_SHKC : TORA_TSTP_PID_SHStock;
        else
            c.productID = TORA_TSTP_PID_SZStock;
    }
    double band = (star || gem) ? 0.2 : 0.1;
    if (c.priceTick <= 0) c.priceTick = 0.01;
    if (c.upperLimitPrice <= 0) c.upperLimitPrice = snap(c.preClosePrice * (1 + band), c.priceTick);
    if (c.lowerLimitPrice <= 0) c.lowerLimitPrice = snap(c.preClosePrice * (1 - band), c.priceTick);
    if (c.name.empty()) c.name = c.securityID;
    if (c.buyVolumeUnit <= 0) c.buyVolumeUnit = 1;
    if (c.sellVolumeUnit <= 0) c.sellVolumeUnit = 1;
    if (c.levelVolume <= 0) c.levelVolume = 100;
}

std::vector<std::string> splitCsv(const std::string& line)
{
    std::vector<std::string> out;
    std::string cur;
    for (char ch : line) {
        if (ch == ',') {
            out.push_back(cur);
            cur.clear();
        } else if (ch != '\r' && ch != '"') {
            cur += ch;
        }
    }
    out.push_back(cur);
    for (auto& s : out) {
        std::size_t a = s.find_first_not_of(' ');
        std::size_t b = s.find_last_not_of(' ');
        s = a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    }
    return out;
}

}  // namespace

void Paper::buildSecurities()
{
    secs_.clear();
    secIndex_.clear();
    resting_.clear();
    std::vector<SecurityConfig> list = cfg_.securities;
    if (list.empty() && csv_.empty()) list = defaultSecurities();
    // Securities that only the CSV file names join with their first row's prices.
    for (const CsvRow& row : csv_) {
        bool known = false;
        for (const auto& c : list)
            if (c.securityID == row.securityID && (!row.exchangeID || c.exchangeID == row.exchangeID)) known = true;
        if (known) continue;
        SecurityConfig c;
        c.securityID = row.securityID;
        c.exchangeID = row.exchangeID ? row.exchangeID
                                      : (row.securityID.size() && row.securityID[0] == '6' ? TORA_TSTP_EXD_SSE
                                                                                          : TORA_TSTP_EXD_SZSE);
        double first = row.book.lastPrice > 0 ? row.book.lastPrice : row.book.bidPrice[0];
        c.preClosePrice = row.preClose > 0 ? row.preClose : (first > 0 ? first : 10.0);
        list.push_back(c);
    }
    for (auto& c : list) {
        Sec s;
        s.cfg = c;
        classify(s.cfg, s.marketID);
        s.rng.seed(cfg_.seed ^ stableHash(s.cfg.securityID + "." + s.cfg.exchangeID));
        s.mid = s.cfg.preClosePrice;
        s.last = s.cfg.preClosePrice;
        s.open = s.high = s.low = s.cfg.preClosePrice;
        std::size_t idx = secs_.size();
        secIndex_[s.cfg.securityID + "." + s.cfg.exchangeID] = idx;
        secIndex_.emplace(s.cfg.securityID + ".", idx);
        secs_.push_back(std::move(s));
        Sec& ref = secs_.back();
        rebuildBook(ref);
        markUpdated(ref);
    }
    resting_.resize(secs_.size());
}

Paper::Sec* Paper::findSec(const std::string& id, char exchangeID)
{
    std::string key = id + ".";
    if (exchangeID && exchangeID != 'U') key += exchangeID;
    auto it = secIndex_.find(key);
    return it == secIndex_.end() ? nullptr : &secs_[it->second];
}

const Paper::Sec* Paper::findSec(const std::string& id, char exchangeID) const
{
    return const_cast<Paper*>(this)->findSec(id, exchangeID);
}

void Paper::rebuildBook(Sec& s)
{
    const SecurityConfig& c = s.cfg;
    double tick = c.priceTick;
    double mid = std::min(std::max(s.mid, c.lowerLimitPrice), c.upperLimitPrice);
    long long spreadTicks = 1 + (s.rng.chance(0.3) ? 1 : 0);
    double bid1 = snap(std::floor(mid / tick + 1e-9) * tick, tick);
    double ask1 = snap(bid1 + static_cast<double>(spreadTicks) * tick, tick);
    if (ask1 - c.upperLimitPrice > tick / 2) ask1 = 0;
    BookLevels b;
    for (int i = 0; i < 5; ++i) {
        double bp = snap(bid1 - i * tick, tick);
        double ap = ask1 > 0 ? snap(ask1 + i * tick, tick) : 0;
        if (bp < c.lowerLimitPrice - tick / 2 || bp <= 0) bp = 0;
        if (ap > c.upperLimitPrice + tick / 2) ap = 0;
        long long lv = c.levelVolume;
        auto volume = [&]() {
            long long v = static_cast<long long>(static_cast<double>(lv) * (0.5 + s.rng.uniform()));
            v = (v / 100) * 100;
            return v < 100 ? 100 : v;
        };
        b.bidPrice[i] = bp;
        b.bidVolume[i] = bp > 0 ? volume() : 0;
        b.askPrice[i] = ap;
        b.askVolume[i] = ap > 0 ? volume() : 0;
    }
    s.book = b;
}

void Paper::stepSynthetic(Sec& s)
{
    const SecurityConfig& c = s.cfg;
    double z = s.rng.normal();
    double mid = s.mid * std::exp(c.volatility * z);
    mid = std::min(std::max(mid, c.lowerLimitPrice), c.upperLimitPrice);
    s.mid = mid;
    rebuildBook(s);
    // The tick's market trade: at the bid or the ask, a few lots.
    bool atAsk = s.rng.chance(0.5);
    double px = atAsk ? s.book.askPrice[0] : s.book.bidPrice[0];
    if (px <= 0) px = atAsk ? s.book.bidPrice[0] : s.book.askPrice[0];
    if (px > 0) {
        long long lots = s.rng.range(1, std::max<long long>(1, c.levelVolume / 500));
        long long v = lots * 100;
        s.last = px;
        s.volume += v;
        s.turnover += static_cast<double>(v) * px;
        s.tradingCount += 1;
        s.high = std::max(s.high, px);
        s.low = std::min(s.low, px);
    }
    markUpdated(s);
}

void Paper::markUpdated(Sec& s)
{
    BrokerTime t = brokerNow();
    s.updateTime = t.time;
    s.updateMillis = t.millis;
}

bool Paper::loadCsv()
{
    csv_.clear();
    csvPos_ = 0;
    if (cfg_.csvReplayPath.empty()) return true;
    std::ifstream in(cfg_.csvReplayPath, std::ios::binary);
    if (!in) return false;
    std::string line;
    if (!std::getline(in, line)) return false;
    std::vector<std::string> header = splitCsv(line);
    auto col = [&](const std::string& name) -> int {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name) return static_cast<int>(i);
        return -1;
    };
    int cId = col("SecurityID"), cEx = col("ExchangeID"), cLast = col("LastPrice"), cPre = col("PreClosePrice"),
        cVol = col("Volume"), cTurn = col("Turnover"), cTime = col("UpdateTime");
    if (cId < 0) return false;
    int cBid[5], cBidV[5], cAsk[5], cAskV[5];
    for (int i = 0; i < 5; ++i) {
        std::string n = std::to_string(i + 1);
        cBid[i] = col("BidPrice" + n);
        cBidV[i] = col("BidVolume" + n);
        cAsk[i] = col("AskPrice" + n);
        cAskV[i] = col("AskVolume" + n);
    }
    auto num = [](const std::vector<std::string>& f, int c) -> double {
        if (c < 0 || c >= static_cast<int>(f.size()) || f[c].empty()) return 0;
        return std::strtod(f[c].c_str(), nullptr);
    };
    while (std::getline(in, line)) {
        if (line.empty() || line == "\r") continue;
        std::vector<std::string> f = splitCsv(line);
        if (cId >= static_cast<int>(f.size()) || f[cId].empty()) continue;
        CsvRow row;
        row.securityID = f[cId];
        if (cEx >= 0 && cEx < static_cast<int>(f.size()) && !f[cEx].empty()) row.exchangeID = f[cEx][0];
        for (int i = 0; i < 5; ++i) {
            row.book.bidPrice[i] = num(f, cBid[i]);
            row.book.bidVolume[i] = static_cast<long long>(num(f, cBidV[i]));
            row.book.askPrice[i] = num(f, cAsk[i]);
            row.book.askVolume[i] = static_cast<long long>(num(f, cAskV[i]));
        }
        row.book.lastPrice = num(f, cLast);
        row.preClose = num(f, cPre);
        if (cVol >= 0) row.volume = static_cast<long long>(num(f, cVol));
        if (cTurn >= 0) row.turnover = num(f, cTurn);
        if (cTime >= 0 && cTime < static_cast<int>(f.size())) row.updateTime = f[cTime];
        csv_.push_back(std::move(row));
    }
    return true;
}

bool Paper::stepCsv()
{
    if (csvPos_ >= csv_.size()) return false;
    std::set<std::size_t> touched;
    while (csvPos_ < csv_.size()) {
        const CsvRow& row = csv_[csvPos_];
        Sec* s = findSec(row.securityID, row.exchangeID);
        if (!s) {
            ++csvPos_;
            continue;
        }
        std::size_t idx = static_cast<std::size_t>(s - secs_.data());
        if (touched.count(idx)) break;   // one row per security per tick
        touched.insert(idx);
        ++csvPos_;
        s->book = row.book;
        double last = row.book.lastPrice;
        if (last <= 0 && row.book.bidPrice[0] > 0 && row.book.askPrice[0] > 0)
            last = (row.book.bidPrice[0] + row.book.askPrice[0]) / 2;
        if (last > 0) {
            s->last = last;
            s->mid = last;
            s->high = std::max(s->high, last);
            s->low = std::min(s->low, last);
        }
        if (row.volume >= 0) s->volume = row.volume;
        if (row.turnover >= 0) s->turnover = row.turnover;
        s->tradingCount += 1;
        markUpdated(*s);
        if (!row.updateTime.empty()) s->updateTime = row.updateTime;
    }
    for (std::size_t idx : touched) {
        if (cfg_.matchRestingOnTick) matchResting(idx);
        publish(secs_[idx]);
    }
    return true;
}

void Paper::tick()
{
    if (!csv_.empty()) {
        stepCsv();
    } else {
        for (std::size_t i = 0; i < secs_.size(); ++i) {
            stepSynthetic(secs_[i]);
            if (cfg_.matchRestingOnTick) matchResting(i);
            publish(secs_[i]);
        }
    }
    saveJournal();  // when a resting order traded
}

bool Paper::setBook(const std::string& securityID, const BookLevels& book)
{
    Sec* s = findSec(securityID, 0);
    if (!s) return false;
    s->book = book;
    double last = book.lastPrice;
    if (last <= 0 && book.bidPrice[0] > 0 && book.askPrice[0] > 0) last = (book.bidPrice[0] + book.askPrice[0]) / 2;
    if (last <= 0) last = book.bidPrice[0] > 0 ? book.bidPrice[0] : book.askPrice[0];
    if (last > 0) {
        s->last = last;
        s->mid = last;
        s->high = std::max(s->high, last);
        s->low = std::min(s->low, last);
    }
    markUpdated(*s);
    std::size_t idx = static_cast<std::size_t>(s - secs_.data());
    matchResting(idx);
    publish(*s);
    saveJournal();
    return true;
}

CTORATstpMarketDataField Paper::marketData(const Sec& s) const
{
    CTORATstpMarketDataField m;
    std::memset(&m, 0, sizeof m);
    copyText(m.TradingDay, cfg_.tradingDay);
    copyText(m.SecurityID, s.cfg.securityID);
    m.ExchangeID = s.cfg.exchangeID;
    copyText(m.SecurityName, s.cfg.name);
    m.PreClosePrice = s.cfg.preClosePrice;
    m.OpenPrice = s.open;
    m.Volume = s.volume;
    m.Turnover = s.turnover;
    m.TradingCount = s.tradingCount;
    m.LastPrice = s.last;
    m.HighestPrice = s.high;
    m.LowestPrice = s.low;
    m.UpperLimitPrice = s.cfg.upperLimitPrice;
    m.LowerLimitPrice = s.cfg.lowerLimitPrice;
    m.BidPrice1 = s.book.bidPrice[0];
    m.BidVolume1 = s.book.bidVolume[0];
    m.AskPrice1 = s.book.askPrice[0];
    m.AskVolume1 = s.book.askVolume[0];
    m.BidPrice2 = s.book.bidPrice[1];
    m.BidVolume2 = s.book.bidVolume[1];
    m.AskPrice2 = s.book.askPrice[1];
    m.AskVolume2 = s.book.askVolume[1];
    m.BidPrice3 = s.book.bidPrice[2];
    m.BidVolume3 = s.book.bidVolume[2];
    m.AskPrice3 = s.book.askPrice[2];
    m.AskVolume3 = s.book.askVolume[2];
    m.BidPrice4 = s.book.bidPrice[3];
    m.BidVolume4 = s.book.bidVolume[3];
    m.AskPrice4 = s.book.askPrice[3];
    m.AskVolume4 = s.book.askVolume[3];
    m.BidPrice5 = s.book.bidPrice[4];
    m.BidVolume5 = s.book.bidVolume[4];
    m.AskPrice5 = s.book.askPrice[4];
    m.AskVolume5 = s.book.askVolume[4];
    m.PriceUpDown1 = s.last - s.cfg.preClosePrice;
    m.PriceUpDown2 = s.cfg.preClosePrice > 0 ? (s.last - s.cfg.preClosePrice) / s.cfg.preClosePrice * 100 : 0;
    copyText(m.UpdateTime, s.updateTime);
    m.UpdateMillisec = s.updateMillis;
    m.MDSecurityStat = '0';
    return m;
}

CTORATstpSecurityField Paper::securityRecord(const Sec& s) const
{
    const SecurityConfig& c = s.cfg;
    CTORATstpSecurityField f;
    std::memset(&f, 0, sizeof f);
    copyText(f.SecurityID, c.securityID);
    f.ExchangeID = c.exchangeID;
    copyText(f.SecurityName, c.name);
    copyText(f.ExchangeInstID, c.securityID);
    f.MarketID = s.marketID;
    f.ProductID = c.productID;
    f.SecurityType = c.securityType;
    f.OrderUnit = TORA_TSTP_OUT_Gu;
    f.LimitBuyTradingUnit = c.buyVolumeUnit;
    f.LimitSellTradingUnit = c.sellVolumeUnit;
    f.MarketBuyTradingUnit = c.buyVolumeUnit;
    f.MarketSellTradingUnit = c.sellVolumeUnit;
    f.FixPriceBuyTradingUnit = c.buyVolumeUnit;
    f.FixPriceSellTradingUnit = c.sellVolumeUnit;
    f.MaxMarketOrderBuyVolume = c.maxVolume;
    f.MinMarketOrderBuyVolume = c.buyVolumeUnit;
    f.MaxLimitOrderBuyVolume = c.maxVolume;
    f.MinLimitOrderBuyVolume = c.buyVolumeUnit;
    f.MaxMarketOrderSellVolume = c.maxVolume;
    f.MinMarketOrderSellVolume = c.sellVolumeUnit;
    f.MaxLimitOrderSellVolume = c.maxVolume;
    f.MinLimitOrderSellVolume = c.sellVolumeUnit;
    f.MaxFixPriceOrderBuyVolume = c.maxVolume;
    f.MinFixPriceOrderBuyVolume = c.buyVolumeUnit;
    f.MaxFixPriceOrderSellVolume = c.maxVolume;
    f.MinFixPriceOrderSellVolume = c.sellVolumeUnit;
    f.VolumeMultiple = 1;
    f.PriceTick = c.priceTick;
    copyText(f.OpenDate, "20000101");
    f.PositionType = TORA_TSTP_PT_Net;
    f.ParValue = 1.0;
    f.SecurityStatus = 0;
    f.PreClosePrice = c.preClosePrice;
    f.UpperLimitPrice = c.upperLimitPrice;
    f.LowerLimitPrice = c.lowerLimitPrice;
    copyText(f.TradingDay, cfg_.tradingDay);
    copyText(f.ShortSecurityName, c.name);
    return f;
}

std::optional<CTORATstpMarketDataField> Paper::snapshot(const std::string& securityID) const
{
    const Sec* s = findSec(securityID, 0);
    if (!s) return std::nullopt;
    return marketData(*s);
}

void Paper::publish(const Sec& s) { b_.pushMarketData(marketData(s)); }

}  // namespace detail
}  // namespace torasim
