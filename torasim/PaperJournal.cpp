// The paper broker's day on disk (PaperConfig::journalPath): the ledger - account, positions,
// every order with what matching needs of it, trades, cancels, transfers, the numbering of
// orders, trades and sessions, and where each security's price stands - written whole after
// every change, and taken up again by a paper broker configured with the same file on the same
// trading day. A strategy that runs in a second process then finds the first one's orders open
// at the broker, as it would at a real front, and can cancel them.
//
// And the broker's own bookings (adjust): cash and shares the broker books outside any order,
// as a corporate action or a correction does, which a client learns of only by asking.
#include "SimPaper.h"
#include "SimFields.h"
#include "SimJson.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace torasim {
namespace detail {

namespace {

constexpr int kJournalVersion = 1;

Json num(double v) { return Json::number(v); }
Json chr(char c) { return Json::number(static_cast<unsigned char>(c)); }
char chrOf(const Json& j) { return static_cast<char>(j.asInt(0, 255)); }
long long intOf(const Json& j) { return j.asInt(-(1LL << 53), 1LL << 53); }

template <class T>
Json recordJson(const T& rec, const char* name)
{
    return toJson(rec, name);
}

template <class T>
bool recordOf(const Json& j, const char* name, T& out)
{
    std::memset(static_cast<void*>(&out), 0, sizeof out);
    const RecordDesc* d = findRecord(name);
    std::string error;
    return d && recordFromJson(*d, j, &out, error);
}

template <class T>
Json recordList(const std::vector<T>& recs, const char* name)
{
    Json a = Json::array();
    for (const T& r : recs) a.push(recordJson(r, name));
    return a;
}

template <class T>
bool readRecordList(const Json& a, const char* name, std::vector<T>& out)
{
    out.clear();
    for (const Json& j : a.items()) {
        T r;
        if (!recordOf(j, name, r)) return false;
        out.push_back(r);
    }
    return true;
}

}  // namespace

void Paper::saveJournal()
{
    if (!dirty_ || cfg_.journalPath.empty()) return;
    dirty_ = false;
    Json j = Json::object();
    j.set("version", num(kJournalVersion));
    j.set("tradingDay", Json::string(cfg_.tradingDay));
    Json account = Json::object();
    account.set("cash", num(account_.cash));
    account.set("available", num(account_.available));
    account.set("frozen", num(account_.frozen));
    account.set("fees", num(account_.fees));
    account.set("deposit", num(deposit_));
    account.set("withdraw", num(withdraw_));
    account.set("bankBalance", num(bankBalance_));
    account.set("password", Json::string(password_));
    j.set("account", account);
    Json next = Json::object();
    next.set("sysID", num(static_cast<double>(nextSysID_)));
    next.set("tradeID", num(static_cast<double>(nextTradeID_)));
    next.set("localID", num(static_cast<double>(nextLocalID_)));
    next.set("timeSeq", num(static_cast<double>(nextTimeSeq_)));
    next.set("serial", num(static_cast<double>(nextSerial_)));
    next.set("sessionID", num(b_.nextSessionID));
    j.set("next", next);

    Json positions = Json::array();
    for (const auto& kv : positions_) {
        const PositionState& p = kv.second.st;
        Json o = Json::object();
        o.set("securityID", Json::string(p.securityID));
        o.set("exchangeID", chr(p.exchangeID));
        o.set("historyVolume", num(static_cast<double>(p.historyVolume)));
        o.set("todayBuy", num(static_cast<double>(p.todayBuy)));
        o.set("todaySell", num(static_cast<double>(p.todaySell)));
        o.set("volume", num(static_cast<double>(p.volume)));
        o.set("available", num(static_cast<double>(p.available)));
        o.set("frozen", num(static_cast<double>(p.frozen)));
        o.set("openCost", num(p.openCost));
        o.set("prePosition", num(static_cast<double>(kv.second.prePosition)));
        positions.push(o);
    }
    j.set("positions", positions);

    Json orders = Json::array();
    for (const Ord& o : orders_) {
        const LedgerOrder& l = o.led;
        Json r = Json::object();
        r.set("orderSysID", Json::string(l.orderSysID));
        r.set("frontID", num(l.frontID));
        r.set("sessionID", num(l.sessionID));
        r.set("orderRef", num(l.orderRef));
        r.set("requestID", num(l.requestID));
        r.set("investorID", Json::string(l.investorID));
        r.set("securityID", Json::string(l.securityID));
        r.set("exchangeID", chr(l.exchangeID));
        r.set("direction", chr(l.direction));
        r.set("orderPriceType", chr(l.orderPriceType));
        r.set("timeCondition", chr(l.timeCondition));
        r.set("volumeCondition", chr(l.volumeCondition));
        r.set("limitPrice", num(l.limitPrice));
        r.set("volume", num(l.volume));
        r.set("tradedVolume", num(l.tradedVolume));
        r.set("cancelledVolume", num(l.cancelledVolume));
        r.set("turnover", num(l.turnover));
        r.set("orderStatus", chr(l.orderStatus));
        r.set("submitStatus", chr(l.submitStatus));
        r.set("errorID", num(l.errorID));
        r.set("statusMsg", Json::string(l.statusMsg));
        r.set("insertTime", Json::string(l.insertTime));
        r.set("cancelTime", Json::string(l.cancelTime));
        r.set("input", recordJson(o.input, "CTORATstpInputOrderField"));
        r.set("sec", num(static_cast<double>(o.sec)));
        r.set("marketID", chr(o.marketID));
        r.set("shareholderID", Json::string(o.shareholderID));
        r.set("orderLocalID", Json::string(o.orderLocalID));
        r.set("matchLimit", num(o.matchLimit));
        r.set("market", Json::boolean(o.market));
        r.set("frozenCash", num(o.frozenCash));
        r.set("cashPerShare", num(o.cashPerShare));
        r.set("fees", num(o.fees));
        r.set("timeSeq", num(static_cast<double>(o.timeSeq)));
        r.set("resting", Json::boolean(o.resting));
        r.set("noticeMsg", Json::string(o.statusMsg));
        orders.push(r);
    }
    j.set("orders", orders);
    j.set("trades", recordList(trades_, "CTORATstpTradeField"));
    j.set("actions", recordList(actions_, "CTORATstpOrderActionField"));
    Json funds = Json::array();
    for (const FundTransfer& t : fundTransfers_) funds.push(recordJson(t.rec, "CTORATstpTransferFundField"));
    j.set("fundTransfers", funds);
    Json shares = Json::array();
    for (const PosTransfer& t : posTransfers_) shares.push(recordJson(t.rec, "CTORATstpTransferPositionField"));
    j.set("positionTransfers", shares);

    Json market = Json::array();
    for (const Sec& s : secs_) {
        Json m = Json::object();
        m.set("mid", num(s.mid));
        m.set("last", num(s.last));
        m.set("open", num(s.open));
        m.set("high", num(s.high));
        m.set("low", num(s.low));
        m.set("close", num(s.close));
        m.set("volume", num(static_cast<double>(s.volume)));
        m.set("turnover", num(s.turnover));
        m.set("tradingCount", num(static_cast<double>(s.tradingCount)));
        m.set("started", Json::boolean(s.started));
        market.push(m);
    }
    j.set("market", market);

    // Written beside the journal and renamed over it: a reader never finds half a day.
    const std::string tmp = cfg_.journalPath + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return;
        out << j.dump();
        if (!out.flush()) return;
    }
#if defined(_WIN32)
    std::remove(cfg_.journalPath.c_str());
#endif
    std::rename(tmp.c_str(), cfg_.journalPath.c_str());
}

bool Paper::loadJournal()
{
    if (cfg_.journalPath.empty()) return false;
    std::ifstream in(cfg_.journalPath, std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    Json j;
    std::string error;
    if (!Json::parse(text.str(), j, error) || !j.isObject()) return false;
    // Another day's journal starts nothing: the day begins afresh (and overwrites it).
    if (j["version"].asInt(0, 1000) != kJournalVersion || j["tradingDay"].asString() != cfg_.tradingDay) return false;
    if (j["market"].items().size() != secs_.size()) return false;

    std::vector<CTORATstpTradeField> trades;
    std::vector<CTORATstpOrderActionField> actions;
    if (!readRecordList(j["trades"], "CTORATstpTradeField", trades) ||
        !readRecordList(j["actions"], "CTORATstpOrderActionField", actions))
        return false;
    std::deque<Ord> orders;
    for (const Json& r : j["orders"].items()) {
        Ord o;
        LedgerOrder& l = o.led;
        l.orderSysID = r["orderSysID"].asString();
        l.frontID = static_cast<int>(intOf(r["frontID"]));
        l.sessionID = static_cast<int>(intOf(r["sessionID"]));
        l.orderRef = static_cast<int>(intOf(r["orderRef"]));
        l.requestID = static_cast<int>(intOf(r["requestID"]));
        l.investorID = r["investorID"].asString();
        l.securityID = r["securityID"].asString();
        l.exchangeID = chrOf(r["exchangeID"]);
        l.direction = chrOf(r["direction"]);
        l.orderPriceType = chrOf(r["orderPriceType"]);
        l.timeCondition = chrOf(r["timeCondition"]);
        l.volumeCondition = chrOf(r["volumeCondition"]);
        l.limitPrice = r["limitPrice"].asNumber();
        l.volume = static_cast<int>(intOf(r["volume"]));
        l.tradedVolume = static_cast<int>(intOf(r["tradedVolume"]));
        l.cancelledVolume = static_cast<int>(intOf(r["cancelledVolume"]));
        l.turnover = r["turnover"].asNumber();
        l.orderStatus = chrOf(r["orderStatus"]);
        l.submitStatus = chrOf(r["submitStatus"]);
        l.errorID = static_cast<int>(intOf(r["errorID"]));
        l.statusMsg = r["statusMsg"].asString();
        l.insertTime = r["insertTime"].asString();
        l.cancelTime = r["cancelTime"].asString();
        if (!recordOf(r["input"], "CTORATstpInputOrderField", o.input)) return false;
        o.sec = static_cast<std::size_t>(r["sec"].asInt(0, static_cast<long long>(secs_.size()) - 1));
        o.marketID = chrOf(r["marketID"]);
        o.shareholderID = r["shareholderID"].asString();
        o.orderLocalID = r["orderLocalID"].asString();
        o.matchLimit = r["matchLimit"].asNumber();
        o.market = r["market"].asBool();
        o.frozenCash = r["frozenCash"].asNumber();
        o.cashPerShare = r["cashPerShare"].asNumber();
        o.fees = r["fees"].asNumber();
        o.timeSeq = intOf(r["timeSeq"]);
        o.resting = r["resting"].asBool();
        o.statusMsg = r["noticeMsg"].asString();
        orders.push_back(o);
    }
    std::vector<FundTransfer> funds;
    for (const Json& t : j["fundTransfers"].items()) {
        FundTransfer f;
        if (!recordOf(t, "CTORATstpTransferFundField", f.rec)) return false;
        funds.push_back(f);
    }
    std::vector<PosTransfer> shares;
    for (const Json& t : j["positionTransfers"].items()) {
        PosTransfer p;
        if (!recordOf(t, "CTORATstpTransferPositionField", p.rec)) return false;
        shares.push_back(p);
    }

    // Everything read: the day is taken up.
    const Json& a = j["account"];
    account_.cash = a["cash"].asNumber();
    account_.available = a["available"].asNumber();
    account_.frozen = a["frozen"].asNumber();
    account_.fees = a["fees"].asNumber();
    deposit_ = a["deposit"].asNumber();
    withdraw_ = a["withdraw"].asNumber();
    bankBalance_ = a["bankBalance"].asNumber();
    password_ = a["password"].asString();
    const Json& n = j["next"];
    nextSysID_ = intOf(n["sysID"]);
    nextTradeID_ = intOf(n["tradeID"]);
    nextLocalID_ = intOf(n["localID"]);
    nextTimeSeq_ = intOf(n["timeSeq"]);
    nextSerial_ = intOf(n["serial"]);
    // New logins get sessions of their own, never one of the earlier process's.
    b_.nextSessionID = std::max(b_.nextSessionID, static_cast<int>(n["sessionID"].asInt(1, 2147483647)));
    positions_.clear();
    for (const Json& p : j["positions"].items()) {
        Pos pos;
        pos.st.securityID = p["securityID"].asString();
        pos.st.exchangeID = chrOf(p["exchangeID"]);
        pos.st.historyVolume = intOf(p["historyVolume"]);
        pos.st.todayBuy = intOf(p["todayBuy"]);
        pos.st.todaySell = intOf(p["todaySell"]);
        pos.st.volume = intOf(p["volume"]);
        pos.st.available = intOf(p["available"]);
        pos.st.frozen = intOf(p["frozen"]);
        pos.st.openCost = p["openCost"].asNumber();
        pos.prePosition = intOf(p["prePosition"]);
        positions_[pos.st.securityID + "." + pos.st.exchangeID] = pos;
    }
    orders_.swap(orders);
    bySysID_.clear();
    for (auto& rest : resting_) rest.clear();
    for (std::size_t i = 0; i < orders_.size(); ++i) {
        if (!orders_[i].led.orderSysID.empty()) bySysID_[orders_[i].led.orderSysID] = i;
        if (orders_[i].resting) resting_[orders_[i].sec].push_back(i);
    }
    trades_.swap(trades);
    actions_.swap(actions);
    fundTransfers_.swap(funds);
    posTransfers_.swap(shares);
    const std::vector<Json>& market = j["market"].items();
    for (std::size_t i = 0; i < secs_.size(); ++i) {
        Sec& s = secs_[i];
        const Json& m = market[i];
        s.mid = m["mid"].asNumber();
        s.last = m["last"].asNumber();
        s.open = m["open"].asNumber();
        s.high = m["high"].asNumber();
        s.low = m["low"].asNumber();
        s.close = m["close"].asNumber();
        s.volume = intOf(m["volume"]);
        s.turnover = m["turnover"].asNumber();
        s.tradingCount = intOf(m["tradingCount"]);
        s.started = m["started"].asBool();
        rebuildBook(s);
        markUpdated(s);
    }
    return true;
}

void Paper::adjust(double cash, const std::vector<PositionConfig>& positions)
{
    account_.cash += cash;
    account_.available = account_.cash - account_.frozen;
    for (const PositionConfig& pc : positions) {
        Sec* s = findSec(pc.securityID, pc.exchangeID);
        if (!s || pc.volume == 0) continue;
        Pos& p = posFor(*s);
        // Booked as held since yesterday: sellable today.
        long long delta = pc.volume;
        if (p.st.available + delta < 0) delta = -p.st.available;
        p.st.historyVolume += delta;
        p.st.volume += delta;
        p.st.available += delta;
        p.st.openCost += pc.openCost;
    }
    touch();
    saveJournal();
}

}  // namespace detail
}  // namespace torasim
