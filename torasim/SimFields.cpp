#include "SimFields.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <type_traits>
#include <unordered_map>

namespace torasim {
namespace detail {

namespace {

template <class M>
constexpr FieldKind kindOf()
{
    using T = typename std::remove_cv<M>::type;
    if (std::is_array<T>::value) return FieldKind::Text;
    if (std::is_same<T, char>::value) return FieldKind::Char;
    if (std::is_same<T, short>::value) return FieldKind::Short;
    if (std::is_same<T, int>::value) return FieldKind::Int;
    if (std::is_same<T, long long>::value) return FieldKind::Int64;
    return FieldKind::Double;
}

template <class M>
struct KindCheck {
    using T = typename std::remove_cv<M>::type;
    static_assert(std::is_array<T>::value || std::is_same<T, char>::value || std::is_same<T, short>::value ||
                      std::is_same<T, int>::value || std::is_same<T, long long>::value ||
                      std::is_same<T, double>::value,
                  "a record field of a type the field table does not know");
    static constexpr bool ok = true;
};

using RecordMap = std::map<std::string, RecordDesc>;

const RecordMap& records()
{
    static const RecordMap table = [] {
        RecordMap m;
#define SIM_RECORD_BEGIN(R) \
    {                       \
        RecordDesc d{#R, sizeof(R), {}};
#define SIM_FIELD(R, F)                                                                                   \
    static_assert(KindCheck<decltype(R::F)>::ok, "");                                                     \
    d.fields.push_back(FieldDesc{#F, kindOf<decltype(R::F)>(), offsetof(R, F), sizeof(decltype(R::F))});
#define SIM_RECORD_END(R)         \
    m.emplace(#R, std::move(d));  \
    }
#include "SimTables.inc"
        return m;
    }();
    return table;
}

}  // namespace

const RecordDesc* findRecord(const std::string& name)
{
    const auto& m = records();
    auto it = m.find(name);
    return it == m.end() ? nullptr : &it->second;
}

std::vector<std::string> recordNames()
{
    std::vector<std::string> v;
    for (const auto& kv : records()) v.push_back(kv.first);
    return v;
}

Json recordToJson(const RecordDesc& d, const void* record)
{
    const char* base = static_cast<const char*>(record);
    Json o = Json::object();
    for (const FieldDesc& f : d.fields) {
        const char* p = base + f.offset;
        switch (f.kind) {
        case FieldKind::Text: {
            std::size_t n = 0;
            while (n < f.size && p[n]) ++n;
            o.set(f.name, Json::string(std::string(p, n)));
            break;
        }
        case FieldKind::Char:
            o.set(f.name, Json::string(*p ? std::string(1, *p) : std::string()));
            break;
        case FieldKind::Short: {
            short v;
            std::memcpy(&v, p, sizeof v);
            o.set(f.name, Json::number(v));
            break;
        }
        case FieldKind::Int: {
            int v;
            std::memcpy(&v, p, sizeof v);
            o.set(f.name, Json::number(v));
            break;
        }
        case FieldKind::Int64: {
            long long v;
            std::memcpy(&v, p, sizeof v);
            o.set(f.name, Json::number(static_cast<double>(v)));
            break;
        }
        case FieldKind::Double: {
            double v;
            std::memcpy(&v, p, sizeof v);
            o.set(f.name, Json::number(v));
            break;
        }
        }
    }
    return o;
}

bool recordFromJson(const RecordDesc& d, const Json& obj, void* record, std::string& error)
{
    if (!obj.isObject()) {
        error = std::string(d.name) + ": fields must be an object";
        return false;
    }
    char* base = static_cast<char*>(record);
    for (const auto& m : obj.members()) {
        const FieldDesc* f = nullptr;
        for (const FieldDesc& x : d.fields)
            if (m.first == x.name) f = &x;
        if (!f) {
            error = std::string(d.name) + " has no field " + m.first;
            return false;
        }
        const Json& v = m.second;
        char* p = base + f->offset;
        bool textual = f->kind == FieldKind::Text || f->kind == FieldKind::Char;
        if (textual ? !(v.isString() || v.isNull()) : !(v.isNumber() || v.isBool() || v.isNull())) {
            error = std::string(d.name) + "." + f->name + (textual ? " takes a string" : " takes a number");
            return false;
        }
        switch (f->kind) {
        case FieldKind::Text: {
            const std::string& s = v.asString();
            std::size_t n = std::min(s.size(), f->size - 1);
            std::memset(p, 0, f->size);
            std::memcpy(p, s.data(), n);
            break;
        }
        case FieldKind::Char:
            *p = v.asString().empty() ? '\0' : v.asString()[0];
            break;
        case FieldKind::Short: {
            short x = static_cast<short>(v.asInt(SHRT_MIN, SHRT_MAX));
            std::memcpy(p, &x, sizeof x);
            break;
        }
        case FieldKind::Int: {
            int x = static_cast<int>(v.asInt(INT_MIN, INT_MAX));
            std::memcpy(p, &x, sizeof x);
            break;
        }
        case FieldKind::Int64: {
            long long x = v.asInt(LLONG_MIN, LLONG_MAX);
            std::memcpy(p, &x, sizeof x);
            break;
        }
        case FieldKind::Double: {
            double x = v.asNumber();
            std::memcpy(p, &x, sizeof x);
            break;
        }
        }
    }
    return true;
}

std::string requestRecordName(const std::string& requestType)
{
    static const std::unordered_map<std::string, std::string> table = [] {
        std::unordered_map<std::string, std::string> t;
#define SIM_REQREC_REC(M, RQ) t.emplace(#M, #RQ);
#define SIM_REQREC_OPAQUE(M, RQ)
#define SIM_REQREC_NOREC(M, RQ)
#define SIM_TRADER_REQUEST(M, RQ, RQK, CB, RS, RSK, SHAPE) SIM_REQREC_##RQK(M, RQ)
#include "SimTables.inc"
#undef SIM_REQREC_REC
#undef SIM_REQREC_OPAQUE
#undef SIM_REQREC_NOREC
        return t;
    }();
    auto it = table.find(requestType);
    return it == table.end() ? std::string() : it->second;
}

// --- callbacks by name -------------------------------------------------------------------------

namespace {

struct CallArgs {
    std::vector<unsigned char> record;   // empty: no record
    bool hasInfo = false;
    CTORATstpRspInfoField info{};
    int requestID = 0;
    bool isLast = true;
    int reason = 0;
    CTORATstpRspInfoField* infoPtr() { return hasInfo ? &info : nullptr; }
};

template <class R>
R* recordPtr(CallArgs& a, R& buf)
{
    if (a.record.size() != sizeof(R)) return nullptr;
    std::memcpy(static_cast<void*>(&buf), a.record.data(), sizeof buf);
    return &buf;
}

struct CallbackInfo {
    const char* record;   // record type name, "" when none or opaque
};

template <class Spi>
using Invoker = void (*)(Spi*, CallArgs&);

#define SIM_CB_REC(R) R buf; std::memset(static_cast<void*>(&buf), 0, sizeof buf); R* p = recordPtr(a, buf);
#define SIM_CB_OPAQUE(R) R* p = nullptr;
#define SIM_CB_NOREC(R)
#define SIM_CB_CALL_NONE(Name) s->Name();
#define SIM_CB_CALL_REASON(Name) s->Name(a.reason);
#define SIM_CB_CALL_ERROR(Name) s->Name(a.infoPtr(), a.requestID, a.isLast);
#define SIM_CB_CALL_RTN(Name) s->Name(p);
#define SIM_CB_CALL_ERRRTN(Name) s->Name(p, a.infoPtr());
#define SIM_CB_CALL_RSP(Name) s->Name(p, a.infoPtr(), a.requestID, a.isLast);
#define SIM_CB_CALL_PAGED(Name) s->Name(p, a.infoPtr(), a.requestID, a.isLast, a.isLast);
#define SIM_CB_NAME_REC(R) #R
#define SIM_CB_NAME_OPAQUE(R) ""
#define SIM_CB_NAME_NOREC(R) ""
#define SIM_CB_ENTRY(SPI, Name, R, K, Shape)                                                          \
    {#Name, {{SIM_CB_NAME_##K(R)}, [](SPI* s, CallArgs& a) {                                   \
                 (void)a;                                                                             \
                 SIM_CB_##K(R) SIM_CB_CALL_##Shape(Name)                                              \
             }}},

template <class Spi>
using CallbackTable = std::unordered_map<std::string, std::pair<CallbackInfo, Invoker<Spi>>>;

const CallbackTable<CTORATstpTraderSpi>& traderTable()
{
    static const CallbackTable<CTORATstpTraderSpi> t = {
#define SIM_TRADER_CALLBACK(Name, R, K, Shape) SIM_CB_ENTRY(CTORATstpTraderSpi, Name, R, K, Shape)
#include "SimTables.inc"
    };
    return t;
}

const CallbackTable<CTORATstpMdSpi>& mdTable()
{
    static const CallbackTable<CTORATstpMdSpi> t = {
#define SIM_MD_CALLBACK(Name, R, K, Shape) SIM_CB_ENTRY(CTORATstpMdSpi, Name, R, K, Shape)
#include "SimTables.inc"
    };
    return t;
}

bool readArgs(const CallbackInfo& info, const Json& args, CallArgs& a, std::string& error)
{
    if (!args.isNull() && !args.isObject()) {
        error = "callback arguments must be an object";
        return false;
    }
    for (const auto& m : args.members()) {
        const std::string& k = m.first;
        if (k != "record" && k != "ErrorID" && k != "ErrorMsg" && k != "requestID" && k != "isLast" && k != "reason") {
            error = "unknown callback argument " + k;
            return false;
        }
    }
    const Json& rec = args["record"];
    if (!rec.isNull()) {
        const RecordDesc* d = info.record[0] ? findRecord(info.record) : nullptr;
        if (!d) {
            error = "this callback takes no record the simulator can fill";
            return false;
        }
        a.record.assign(d->size, 0);
        if (!recordFromJson(*d, rec, a.record.data(), error)) return false;
    }
    if (args.has("ErrorID") || args.has("ErrorMsg")) {
        a.hasInfo = true;
        a.info = Broker::rspInfo(static_cast<int>(args["ErrorID"].asInt(INT_MIN, INT_MAX)), args["ErrorMsg"].asString());
    }
    a.requestID = static_cast<int>(args["requestID"].asInt(INT_MIN, INT_MAX));
    a.isLast = args.has("isLast") ? args["isLast"].asBool() : true;
    a.reason = static_cast<int>(args["reason"].asInt(INT_MIN, INT_MAX));
    return true;
}

template <class Spi>
std::function<void(Spi*)> makeCallback(const CallbackTable<Spi>& table, const std::string& name, const Json& args,
                                       std::string& error)
{
    auto it = table.find(name);
    if (it == table.end()) {
        error = "no callback named " + name;
        return {};
    }
    CallArgs a;
    if (!readArgs(it->second.first, args, a, error)) return {};
    Invoker<Spi> inv = it->second.second;
    return [inv, a](Spi* s) mutable { inv(s, a); };
}

}  // namespace

std::function<void(CTORATstpTraderSpi*)> traderCallback(const std::string& name, const Json& args, std::string& error)
{
    return makeCallback(traderTable(), name, args, error);
}

std::function<void(CTORATstpMdSpi*)> mdCallback(const std::string& name, const Json& args, std::string& error)
{
    return makeCallback(mdTable(), name, args, error);
}

}  // namespace detail
}  // namespace torasim
