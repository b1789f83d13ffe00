// The plain C control surface over torasim::Broker.
#include "sim_c_api.h"

#include "SimControl.h"
#include "SimFields.h"
#include "SimJson.h"
#include "SimText.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>

using torasim::Broker;
using torasim::detail::Json;

namespace {

// This thread's last error text. A fixed array, not a std::string: mingw-w64 frees thread-local
// storage before the destructors of thread_local objects run, so nothing here may have one.
struct LastError {
    char text[512] = {};
    LastError& operator=(const std::string& why)
    {
        torasim::detail::copyText(text, why);
        return *this;
    }
};
thread_local LastError gLastError;

int fail(int code, const std::string& why)
{
    gLastError = why;
    return code;
}

char* give(const std::string& s)
{
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (!p) return nullptr;
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

char* give(const Json& j) { return give(j.dump()); }

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

std::shared_ptr<Broker> broker(const char* address)
{
    if (!address) {
        gLastError = "no address";
        return nullptr;
    }
    auto b = Broker::find(address);
    if (!b) gLastError = std::string("no broker at ") + address;
    return b;
}

torasim::Side side(int s)
{
    return s == TSIM_SIDE_TRADER ? torasim::Side::Trader : (s == TSIM_SIDE_MD ? torasim::Side::Md : torasim::Side::Both);
}

const char* sideName(torasim::Side s) { return s == torasim::Side::Md ? "md" : "trader"; }

bool parse(const char* text, Json& out)
{
    std::string err;
    if (!Json::parse(str(text).empty() ? std::string("{}") : str(text), out, err)) {
        gLastError = "bad JSON: " + err;
        return false;
    }
    if (!out.isObject()) {
        gLastError = "expected a JSON object";
        return false;
    }
    return true;
}

Json charJson(char c) { return Json::string(c ? std::string(1, c) : std::string()); }
char jsonChar(const Json& j)
{
    if (j.isNumber()) return static_cast<char>(j.asInt(CHAR_MIN, CHAR_MAX));
    return j.asString().empty() ? '\0' : j.asString()[0];
}

// Reads known keys of an object into members; unknown keys are an error (they are typos).
class Reader {
public:
    explicit Reader(const Json& o) : o_(o) {}
    void num(const char* k, double& v) { if (take(k)) v = o_[k].asNumber(); }
    void num(const char* k, int& v) { if (take(k)) v = static_cast<int>(o_[k].asInt(INT_MIN, INT_MAX)); }
    void num(const char* k, long long& v) { if (take(k)) v = o_[k].asInt(LLONG_MIN, LLONG_MAX); }
    void num(const char* k, std::uint64_t& v) { if (take(k)) v = static_cast<std::uint64_t>(o_[k].asInt(0, LLONG_MAX)); }
    void flag(const char* k, bool& v) { if (take(k)) v = o_[k].asBool(); }
    void text(const char* k, std::string& v) { if (take(k)) v = o_[k].asString(); }
    void chr(const char* k, char& v) { if (take(k)) v = jsonChar(o_[k]); }
    bool take(const char* k)
    {
        seen_.push_back(k);
        return o_.has(k);
    }
    bool finish(const char* what)
    {
        for (const auto& m : o_.members()) {
            bool known = false;
            for (const auto& s : seen_)
                if (m.first == s) known = true;
            if (!known) {
                gLastError = std::string(what) + " has no key " + m.first;
                return false;
            }
        }
        return true;
    }

private:
    const Json& o_;
    std::vector<std::string> seen_;
};

// Writes members under their keys: the counterpart of Reader, so that one field list per
// configuration serves both directions.
class Writer {
public:
    template <class T>
    void num(const char* k, const T& v) { j_.set(k, Json::number(static_cast<double>(v))); }
    void flag(const char* k, bool v) { j_.set(k, Json::boolean(v)); }
    void text(const char* k, const std::string& v) { j_.set(k, Json::string(v)); }
    void chr(const char* k, char v) { j_.set(k, charJson(v)); }
    Json& json() { return j_; }

private:
    Json j_ = Json::object();
};

// The field lists, each visited by a Reader (S non-const) or a Writer (S const).
template <class V, class S>
void securityFields(V& v, S& s)
{
    v.text("securityID", s.securityID);
    v.chr("exchangeID", s.exchangeID);
    v.text("name", s.name);
    v.chr("securityType", s.securityType);
    v.chr("productID", s.productID);
    v.num("preClosePrice", s.preClosePrice);
    v.num("upperLimitPrice", s.upperLimitPrice);
    v.num("lowerLimitPrice", s.lowerLimitPrice);
    v.num("priceTick", s.priceTick);
    v.num("buyVolumeUnit", s.buyVolumeUnit);
    v.num("sellVolumeUnit", s.sellVolumeUnit);
    v.num("maxVolume", s.maxVolume);
    v.num("volatility", s.volatility);
    v.num("levelVolume", s.levelVolume);
}

template <class V, class P>
void positionFields(V& v, P& p)
{
    v.text("securityID", p.securityID);
    v.chr("exchangeID", p.exchangeID);
    v.num("volume", p.volume);
    v.num("openCost", p.openCost);
}

// Everything of the paper configuration but its securities and positions.
template <class V, class C>
void paperFields(V& v, C& c)
{
    v.text("tradingDay", c.tradingDay);
    v.num("frontID", c.frontID);
    v.text("userID", c.userID);
    v.text("password", c.password);
    v.text("investorID", c.investorID);
    v.text("departmentID", c.departmentID);
    v.text("accountID", c.accountID);
    v.text("shareholderSSE", c.shareholderSSE);
    v.text("shareholderSZSE", c.shareholderSZSE);
    v.text("pbuSSE", c.pbuSSE);
    v.text("pbuSZSE", c.pbuSZSE);
    v.num("cash", c.cash);
    v.num("commissionRate", c.commissionRate);
    v.num("minCommission", c.minCommission);
    v.num("stampTaxRate", c.stampTaxRate);
    v.num("seed", c.seed);
    v.num("snapshotsPerSecond", c.snapshotsPerSecond);
    v.text("csvReplayPath", c.csvReplayPath);
    v.flag("matchRestingOnTick", c.matchRestingOnTick);
    v.text("journalPath", c.journalPath);
}

template <class V, class F>
void faultFields(V& v, F& f)
{
    v.num("seed", f.seed);
    v.num("refuseSend", f.refuseSend);
    v.num("refuseCode", f.refuseCode);
    v.num("dropAnswer", f.dropAnswer);
    v.num("lateAnswer", f.lateAnswer);
    v.num("lateMillis", f.lateMillis);
    v.num("errorAnswer", f.errorAnswer);
    v.num("errorAnswerID", f.errorAnswerID);
    v.num("duplicateNotice", f.duplicateNotice);
    v.num("reorderNotice", f.reorderNotice);
    v.num("disconnect", f.disconnect);
    v.num("reconnectMillis", f.reconnectMillis);
}

Json securityJson(const torasim::SecurityConfig& s)
{
    Writer w;
    securityFields(w, s);
    return w.json();
}

bool readSecurity(const Json& j, torasim::SecurityConfig& s)
{
    if (!j.isObject()) return fail(0, "a security must be an object"), false;
    Reader r(j);
    securityFields(r, s);
    return r.finish("security");
}

Json paperJson(const torasim::PaperConfig& c)
{
    Writer w;
    paperFields(w, c);
    Json secs = Json::array();
    for (const auto& s : c.securities) secs.push(securityJson(s));
    w.json().set("securities", secs);
    Json pos = Json::array();
    for (const auto& p : c.positions) {
        Writer pw;
        positionFields(pw, p);
        pos.push(pw.json());
    }
    w.json().set("positions", pos);
    return w.json();
}

bool readPaper(const Json& j, torasim::PaperConfig& c)
{
    Reader r(j);
    paperFields(r, c);
    if (r.take("securities")) {
        c.securities.clear();
        for (const Json& s : j["securities"].items()) {
            torasim::SecurityConfig sc;
            if (!readSecurity(s, sc)) return false;
            c.securities.push_back(sc);
        }
    }
    if (r.take("positions")) {
        c.positions.clear();
        for (const Json& p : j["positions"].items()) {
            if (!p.isObject()) return fail(0, "a position must be an object"), false;
            torasim::PositionConfig pc;
            Reader pr(p);
            positionFields(pr, pc);
            if (!pr.finish("position")) return false;
            c.positions.push_back(pc);
        }
    }
    return r.finish("paper configuration");
}

Json faultsJson(const torasim::FaultConfig& f)
{
    Writer w;
    faultFields(w, f);
    return w.json();
}

bool readFaults(const Json& j, torasim::FaultConfig& f)
{
    Reader r(j);
    faultFields(r, f);
    return r.finish("fault configuration");
}

Json requestJson(const torasim::Request& r)
{
    Json j = Json::object();
    j.set("seq", Json::number(static_cast<double>(r.seq)));
    j.set("type", Json::string(r.type));
    j.set("side", Json::string(sideName(r.side)));
    j.set("connection", Json::number(r.connection));
    j.set("requestID", Json::number(r.requestID));
    j.set("returned", Json::number(r.returned));
    std::string rec = torasim::detail::requestRecordName(r.type);
    const torasim::detail::RecordDesc* d = rec.empty() ? nullptr : torasim::detail::findRecord(rec);
    if (d && r.bytes.size() == d->size) {
        j.set("record", Json::string(rec));
        j.set("fields", torasim::detail::recordToJson(*d, r.bytes.data()));
    } else {
        j.set("record", Json());
        j.set("fields", Json());
    }
    Json secs = Json::array();
    for (const auto& s : r.securities) secs.push(Json::string(s));
    j.set("securities", secs);
    j.set("exchangeID", charJson(r.exchangeID));
    return j;
}

template <class F>
auto guarded(F&& f, decltype(f()) onError) -> decltype(f())
{
    try {
        return f();
    } catch (const std::exception& e) {
        gLastError = std::string("internal error: ") + e.what();
    } catch (...) {
        gLastError = "internal error";
    }
    return onError;
}

}  // namespace

extern "C" {

const char* tsim_version(void) { return torasim::version(); }
const char* tsim_last_error(void) { return gLastError.text; }
void tsim_free(char* text) { std::free(text); }

int tsim_create(const char* address, int mode)
{
    return guarded(
        [&] {
            if (!address || !*address) return fail(TSIM_ERR_BAD_ARGUMENT, "no address");
            Broker::create(address, mode == TSIM_MODE_SCRIPTED ? torasim::Mode::Scripted : torasim::Mode::Paper);
            return 0;
        },
        TSIM_ERR_INTERNAL);
}

int tsim_remove(const char* address)
{
    return guarded([&] { return address && Broker::remove(address) ? 1 : 0; }, TSIM_ERR_INTERNAL);
}

void tsim_remove_all(void)
{
    guarded(
        [] {
            Broker::removeAll();
            return 0;
        },
        0);
}

int tsim_exists(const char* address) { return address && Broker::find(address) ? 1 : 0; }

int tsim_mode(const char* address)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return b->mode() == torasim::Mode::Scripted ? TSIM_MODE_SCRIPTED : TSIM_MODE_PAPER;
}

int tsim_set_auto_accept(const char* address, int on)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    b->setAutoAccept(on != 0);
    return 0;
}

int tsim_accept(const char* address, int s)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return b->acceptConnection(side(s));
}

int tsim_drop(const char* address, int reason, int s, int reconnect_ms)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return b->dropConnection(reason, side(s), torasim::Millis(reconnect_ms < 0 ? 0 : reconnect_ms));
}

int tsim_wait_connections(const char* address, int count, int s, int timeout_ms)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return b->waitForConnections(count, side(s), torasim::Millis(timeout_ms)) ? 1 : 0;
}

char* tsim_connections_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    Json a = Json::array();
    for (const auto& c : b->connections()) {
        Json o = Json::object();
        o.set("id", Json::number(c.id));
        o.set("side", Json::string(sideName(c.side)));
        o.set("connected", Json::boolean(c.connected));
        o.set("loggedIn", Json::boolean(c.loggedIn));
        o.set("frontID", Json::number(c.frontID));
        o.set("sessionID", Json::number(c.sessionID));
        a.push(o);
    }
    return give(a);
}

char* tsim_requests_json(const char* address, const char* type)
{
    auto b = broker(address);
    if (!b) return nullptr;
    return guarded(
        [&]() -> char* {
            Json a = Json::array();
            for (const auto& r : str(type).empty() ? b->requests() : b->requests(type)) a.push(requestJson(r));
            return give(a);
        },
        static_cast<char*>(nullptr));
}

char* tsim_wait_request_json(const char* address, const char* type, int timeout_ms)
{
    auto b = broker(address);
    if (!b) return nullptr;
    auto r = b->waitForRequest(str(type), torasim::Millis(timeout_ms));
    if (!r) {
        gLastError = "timeout";
        return nullptr;
    }
    return give(requestJson(*r));
}

int tsim_request_count(const char* address, const char* type)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return static_cast<int>(b->requestCount(str(type)));
}

int tsim_clear_requests(const char* address)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    b->clearRequests();
    return 0;
}

int tsim_set_request_log(const char* address, int on)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    b->setRequestLog(on != 0);
    return 0;
}

int tsim_request_log(const char* address)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return b->requestLog() ? 1 : 0;
}

long long tsim_requests_received(const char* address)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return static_cast<long long>(b->requestsReceived());
}

int tsim_set_request_log_limit(const char* address, long long max_entries)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    if (max_entries < 0) return fail(TSIM_ERR_BAD_ARGUMENT, "a negative log limit");
    b->setRequestLogLimit(static_cast<std::size_t>(max_entries));
    return 0;
}

int tsim_set_next_return(const char* address, const char* type, int rc, int times)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    b->setNextReturn(str(type), rc, times);
    return 0;
}

int tsim_push_json(const char* address, int s, const char* callback, const char* args_json, int connection)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return guarded(
        [&] {
            Json args;
            if (!parse(args_json, args)) return TSIM_ERR_BAD_JSON;
            std::string err;
            std::string name = str(callback);
            if (s == TSIM_SIDE_MD) {
                auto fn = torasim::detail::mdCallback(name, args, err);
                if (!fn) return fail(TSIM_ERR_BAD_ARGUMENT, err);
                return b->postMd(std::move(fn), connection);
            }
            // Order and trade notifications take the typed path, where the notification faults live.
            if ((name == "OnRtnOrder" || name == "OnRtnTrade") && args["record"].isObject() && args.members().size() == 1) {
                bool order = name == "OnRtnOrder";
                const auto* d = torasim::detail::findRecord(order ? "CTORATstpOrderField" : "CTORATstpTradeField");
                if (order) {
                    CTORATstpOrderField f;
                    std::memset(&f, 0, sizeof f);
                    if (!torasim::detail::recordFromJson(*d, args["record"], &f, err)) return fail(TSIM_ERR_BAD_ARGUMENT, err);
                    return b->pushRtnOrder(f, connection);
                }
                CTORATstpTradeField f;
                std::memset(&f, 0, sizeof f);
                if (!torasim::detail::recordFromJson(*d, args["record"], &f, err)) return fail(TSIM_ERR_BAD_ARGUMENT, err);
                return b->pushRtnTrade(f, connection);
            }
            auto fn = torasim::detail::traderCallback(name, args, err);
            if (!fn) return fail(TSIM_ERR_BAD_ARGUMENT, err);
            return b->post(std::move(fn), connection);
        },
        TSIM_ERR_INTERNAL);
}

int tsim_drain(const char* address, int timeout_ms)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return b->drain(torasim::Millis(timeout_ms)) ? 1 : 0;
}

int tsim_set_paper_config_json(const char* address, const char* json)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return guarded(
        [&] {
            Json j;
            if (!parse(json, j)) return TSIM_ERR_BAD_JSON;
            torasim::PaperConfig c = b->paperConfig();
            if (!readPaper(j, c)) return TSIM_ERR_BAD_ARGUMENT;
            if (!b->setPaperConfig(c)) return fail(TSIM_ERR_BAD_ARGUMENT, "cannot read the CSV file " + c.csvReplayPath);
            return 0;
        },
        TSIM_ERR_INTERNAL);
}

char* tsim_paper_config_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    return give(paperJson(b->paperConfig()));
}

int tsim_adjust_json(const char* address, const char* json)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return guarded(
        [&] {
            Json j;
            if (!parse(json, j)) return TSIM_ERR_BAD_JSON;
            if (!j.isObject()) return fail(TSIM_ERR_BAD_ARGUMENT, "a booking is an object");
            std::vector<torasim::PositionConfig> positions;
            for (const Json& p : j["positions"].items()) {
                if (!p.isObject()) return fail(TSIM_ERR_BAD_ARGUMENT, "a position must be an object");
                torasim::PositionConfig pc;
                Reader pr(p);
                positionFields(pr, pc);
                if (!pr.finish("position")) return TSIM_ERR_BAD_ARGUMENT;
                positions.push_back(pc);
            }
            b->adjust(j["cash"].asNumber(), positions);
            return 0;
        },
        TSIM_ERR_INTERNAL);
}

int tsim_tick(const char* address, int count)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    b->tick(count);
    return 0;
}

int tsim_set_snapshots_per_second(const char* address, double rate)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    if (!(rate >= 0)) return fail(TSIM_ERR_BAD_ARGUMENT, "a rate is 0 or more");
    b->setSnapshotsPerSecond(rate);
    return 0;
}

int tsim_set_book_json(const char* address, const char* security_id, const char* json)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    return guarded(
        [&] {
            Json j;
            if (!parse(json, j)) return TSIM_ERR_BAD_JSON;
            torasim::BookLevels book;
            Reader r(j);
            if (r.take("bids")) {
                const auto& lv = j["bids"].items();
                for (std::size_t i = 0; i < lv.size() && i < 5; ++i) {
                    if (lv[i].items().size() != 2) return fail(TSIM_ERR_BAD_ARGUMENT, "a level is [price, volume]");
                    book.bidPrice[i] = lv[i].items()[0].asNumber();
                    book.bidVolume[i] = lv[i].items()[1].asInt(0, LLONG_MAX);
                }
            }
            if (r.take("asks")) {
                const auto& lv = j["asks"].items();
                for (std::size_t i = 0; i < lv.size() && i < 5; ++i) {
                    if (lv[i].items().size() != 2) return fail(TSIM_ERR_BAD_ARGUMENT, "a level is [price, volume]");
                    book.askPrice[i] = lv[i].items()[0].asNumber();
                    book.askVolume[i] = lv[i].items()[1].asInt(0, LLONG_MAX);
                }
            }
            r.num("last", book.lastPrice);
            if (!r.finish("book")) return TSIM_ERR_BAD_ARGUMENT;
            if (!b->setBook(str(security_id), book))
                return fail(TSIM_ERR_BAD_ARGUMENT, "unknown security " + str(security_id));
            return 0;
        },
        TSIM_ERR_INTERNAL);
}

char* tsim_snapshot_json(const char* address, const char* security_id)
{
    auto b = broker(address);
    if (!b) return nullptr;
    auto s = b->snapshot(str(security_id));
    if (!s) {
        gLastError = "unknown security " + str(security_id);
        return nullptr;
    }
    return give(torasim::detail::toJson(*s, "CTORATstpMarketDataField"));
}

char* tsim_orders_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    Json a = Json::array();
    for (const auto& o : b->orders()) {
        Json j = Json::object();
        j.set("orderSysID", Json::string(o.orderSysID));
        j.set("frontID", Json::number(o.frontID));
        j.set("sessionID", Json::number(o.sessionID));
        j.set("orderRef", Json::number(o.orderRef));
        j.set("requestID", Json::number(o.requestID));
        j.set("investorID", Json::string(o.investorID));
        j.set("securityID", Json::string(o.securityID));
        j.set("exchangeID", charJson(o.exchangeID));
        j.set("direction", charJson(o.direction));
        j.set("orderPriceType", charJson(o.orderPriceType));
        j.set("timeCondition", charJson(o.timeCondition));
        j.set("volumeCondition", charJson(o.volumeCondition));
        j.set("limitPrice", Json::number(o.limitPrice));
        j.set("volume", Json::number(o.volume));
        j.set("tradedVolume", Json::number(o.tradedVolume));
        j.set("cancelledVolume", Json::number(o.cancelledVolume));
        j.set("turnover", Json::number(o.turnover));
        j.set("orderStatus", charJson(o.orderStatus));
        j.set("submitStatus", charJson(o.submitStatus));
        j.set("errorID", Json::number(o.errorID));
        j.set("statusMsg", Json::string(o.statusMsg));
        j.set("insertTime", Json::string(o.insertTime));
        j.set("cancelTime", Json::string(o.cancelTime));
        a.push(j);
    }
    return give(a);
}

char* tsim_trades_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    Json a = Json::array();
    for (const auto& t : b->trades()) a.push(torasim::detail::toJson(t, "CTORATstpTradeField"));
    return give(a);
}

char* tsim_account_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    torasim::AccountState s = b->account();
    Json j = Json::object();
    j.set("cash", Json::number(s.cash));
    j.set("available", Json::number(s.available));
    j.set("frozen", Json::number(s.frozen));
    j.set("fees", Json::number(s.fees));
    return give(j);
}

char* tsim_positions_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    Json a = Json::array();
    for (const auto& p : b->positions()) {
        Json j = Json::object();
        j.set("securityID", Json::string(p.securityID));
        j.set("exchangeID", charJson(p.exchangeID));
        j.set("historyVolume", Json::number(static_cast<double>(p.historyVolume)));
        j.set("todayBuy", Json::number(static_cast<double>(p.todayBuy)));
        j.set("todaySell", Json::number(static_cast<double>(p.todaySell)));
        j.set("volume", Json::number(static_cast<double>(p.volume)));
        j.set("available", Json::number(static_cast<double>(p.available)));
        j.set("frozen", Json::number(static_cast<double>(p.frozen)));
        j.set("openCost", Json::number(p.openCost));
        a.push(j);
    }
    return give(a);
}

int tsim_set_faults_json(const char* address, const char* json)
{
    auto b = broker(address);
    if (!b) return TSIM_ERR_NO_BROKER;
    Json j;
    if (!parse(json, j)) return TSIM_ERR_BAD_JSON;
    torasim::FaultConfig f = b->faults();
    if (!readFaults(j, f)) return TSIM_ERR_BAD_ARGUMENT;
    b->setFaults(f);
    return 0;
}

char* tsim_faults_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    return give(faultsJson(b->faults()));
}

char* tsim_fault_counters_json(const char* address)
{
    auto b = broker(address);
    if (!b) return nullptr;
    torasim::FaultCounters c = b->faultCounters();
    Json j = Json::object();
    j.set("refusedSends", Json::number(static_cast<double>(c.refusedSends)));
    j.set("droppedAnswers", Json::number(static_cast<double>(c.droppedAnswers)));
    j.set("lateAnswers", Json::number(static_cast<double>(c.lateAnswers)));
    j.set("errorAnswers", Json::number(static_cast<double>(c.errorAnswers)));
    j.set("duplicatedNotices", Json::number(static_cast<double>(c.duplicatedNotices)));
    j.set("reorderedNotices", Json::number(static_cast<double>(c.reorderedNotices)));
    j.set("disconnects", Json::number(static_cast<double>(c.disconnects)));
    return give(j);
}

char* tsim_record_fields_json(const char* record)
{
    const auto* d = torasim::detail::findRecord(str(record));
    if (!d) {
        gLastError = "no record named " + str(record);
        return nullptr;
    }
    static const char* kinds[] = {"text", "char", "int", "int64", "double", "short"};
    Json a = Json::array();
    for (const auto& f : d->fields) {
        Json o = Json::object();
        o.set("name", Json::string(f.name));
        o.set("kind", Json::string(kinds[static_cast<int>(f.kind)]));
        o.set("size", Json::number(static_cast<double>(f.size)));
        a.push(o);
    }
    return give(a);
}

}  // extern "C"
