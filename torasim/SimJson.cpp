#include "SimJson.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace torasim {
namespace detail {

Json Json::boolean(bool b)
{
    Json j;
    j.type_ = Type::Bool;
    j.b_ = b;
    return j;
}

Json Json::number(double d)
{
    Json j;
    j.type_ = Type::Number;
    j.n_ = d;
    return j;
}

Json Json::string(std::string s)
{
    Json j;
    j.type_ = Type::String;
    j.s_ = std::move(s);
    return j;
}

Json Json::array()
{
    Json j;
    j.type_ = Type::Array;
    return j;
}

Json Json::object()
{
    Json j;
    j.type_ = Type::Object;
    return j;
}

long long Json::asInt(long long lo, long long hi) const
{
    double d = asNumber();
    if (d != d) return 0;
    if (d <= static_cast<double>(lo)) return lo;
    if (d >= static_cast<double>(hi)) return hi;
    long long v = std::llround(d);
    return v < lo ? lo : (v > hi ? hi : v);
}

const Json& Json::operator[](const std::string& key) const
{
    static const Json null;
    for (const auto& m : o_)
        if (m.first == key) return m.second;
    return null;
}

bool Json::has(const std::string& key) const
{
    for (const auto& m : o_)
        if (m.first == key) return true;
    return false;
}

Json& Json::set(const std::string& key, Json v)
{
    type_ = Type::Object;
    for (auto& m : o_)
        if (m.first == key) {
            m.second = std::move(v);
            return *this;
        }
    o_.emplace_back(key, std::move(v));
    return *this;
}

Json& Json::push(Json v)
{
    type_ = Type::Array;
    a_.push_back(std::move(v));
    return *this;
}

namespace {

void writeString(std::string& out, const std::string& s)
{
    static const char* hex = "0123456789abcdef";
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x80) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

class Parser {
public:
    explicit Parser(const std::string& t) : t_(t) {}

    bool parse(Json& out, std::string& err)
    {
        if (!value(out, 0)) {
            err = error_.empty() ? "bad JSON" : error_;
            return false;
        }
        ws();
        if (p_ != t_.size()) {
            err = "trailing characters at " + std::to_string(p_);
            return false;
        }
        return true;
    }

private:
    bool fail(const char* what)
    {
        if (error_.empty()) error_ = std::string(what) + " at " + std::to_string(p_);
        return false;
    }
    void ws()
    {
        while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\n' || t_[p_] == '\r' || t_[p_] == '\t')) ++p_;
    }
    bool literal(const char* word)
    {
        std::size_t n = std::char_traits<char>::length(word);
        if (t_.compare(p_, n, word) != 0) return false;
        p_ += n;
        return true;
    }
    bool value(Json& out, int depth)
    {
        if (depth > 64) return fail("nesting too deep");
        ws();
        if (p_ >= t_.size()) return fail("unexpected end");
        char c = t_[p_];
        if (c == '{') return object(out, depth);
        if (c == '[') return array(out, depth);
        if (c == '"') {
            std::string s;
            if (!str(s)) return false;
            out = Json::string(std::move(s));
            return true;
        }
        if (literal("true")) {
            out = Json::boolean(true);
            return true;
        }
        if (literal("false")) {
            out = Json::boolean(false);
            return true;
        }
        if (literal("null")) {
            out = Json();
            return true;
        }
        return num(out);
    }
    bool num(Json& out)
    {
        const char* start = t_.c_str() + p_;
        char* end = nullptr;
        double d = std::strtod(start, &end);
        if (end == start) return fail("unexpected character");
        p_ += static_cast<std::size_t>(end - start);
        out = Json::number(d);
        return true;
    }
    static int hexval(char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    bool str(std::string& s)
    {
        ++p_;   // opening quote
        while (p_ < t_.size()) {
            char c = t_[p_++];
            if (c == '"') return true;
            if (c != '\\') {
                s += c;
                continue;
            }
            if (p_ >= t_.size()) break;
            char e = t_[p_++];
            switch (e) {
            case '"': s += '"'; break;
            case '\\': s += '\\'; break;
            case '/': s += '/'; break;
            case 'b': s += '\b'; break;
            case 'f': s += '\f'; break;
            case 'n': s += '\n'; break;
            case 'r': s += '\r'; break;
            case 't': s += '\t'; break;
            case 'u': {
                if (p_ + 4 > t_.size()) return fail("short \\u escape");
                unsigned v = 0;
                for (int i = 0; i < 4; ++i) {
                    int h = hexval(t_[p_ + i]);
                    if (h < 0) return fail("bad \\u escape");
                    v = v * 16 + static_cast<unsigned>(h);
                }
                p_ += 4;
                if (v <= 0xFF) {
                    s += static_cast<char>(v);   // a byte
                } else if (v < 0x800) {
                    s += static_cast<char>(0xC0 | (v >> 6));
                    s += static_cast<char>(0x80 | (v & 0x3F));
                } else {
                    s += static_cast<char>(0xE0 | (v >> 12));
                    s += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
                    s += static_cast<char>(0x80 | (v & 0x3F));
                }
                break;
            }
            default:
                return fail("bad escape");
            }
        }
        return fail("unterminated string");
    }
    bool array(Json& out, int depth)
    {
        ++p_;
        out = Json::array();
        ws();
        if (p_ < t_.size() && t_[p_] == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            Json v;
            if (!value(v, depth + 1)) return false;
            out.push(std::move(v));
            ws();
            if (p_ < t_.size() && t_[p_] == ',') {
                ++p_;
                continue;
            }
            if (p_ < t_.size() && t_[p_] == ']') {
                ++p_;
                return true;
            }
            return fail("expected , or ]");
        }
    }
    bool object(Json& out, int depth)
    {
        ++p_;
        out = Json::object();
        ws();
        if (p_ < t_.size() && t_[p_] == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            ws();
            if (p_ >= t_.size() || t_[p_] != '"') return fail("expected a key");
            std::string key;
            if (!str(key)) return false;
            ws();
            if (p_ >= t_.size() || t_[p_] != ':') return fail("expected :");
            ++p_;
            Json v;
            if (!value(v, depth + 1)) return false;
            out.set(key, std::move(v));
            ws();
            if (p_ < t_.size() && t_[p_] == ',') {
                ++p_;
                continue;
            }
            if (p_ < t_.size() && t_[p_] == '}') {
                ++p_;
                return true;
            }
            return fail("expected , or }");
        }
    }

    const std::string& t_;
    std::size_t p_ = 0;
    std::string error_;
};

}  // namespace

void Json::write(std::string& out) const
{
    switch (type_) {
    case Type::Null: out += "null"; break;
    case Type::Bool: out += b_ ? "true" : "false"; break;
    case Type::Number: {
        if (!std::isfinite(n_)) {
            out += "null";
            break;
        }
        char buf[40];
        if (n_ == std::floor(n_) && std::fabs(n_) < 9e15)
            std::snprintf(buf, sizeof buf, "%.0f", n_);
        else {
            // The shortest text that reads back as the same double (10.01, not 10.009999...).
            for (int prec = 15; prec <= 17; ++prec) {
                std::snprintf(buf, sizeof buf, "%.*g", prec, n_);
                if (std::strtod(buf, nullptr) == n_) break;
            }
        }
        out += buf;
        break;
    }
    case Type::String: writeString(out, s_); break;
    case Type::Array:
        out += '[';
        for (std::size_t i = 0; i < a_.size(); ++i) {
            if (i) out += ',';
            a_[i].write(out);
        }
        out += ']';
        break;
    case Type::Object:
        out += '{';
        for (std::size_t i = 0; i < o_.size(); ++i) {
            if (i) out += ',';
            writeString(out, o_[i].first);
            out += ':';
            o_[i].second.write(out);
        }
        out += '}';
        break;
    }
}

std::string Json::dump() const
{
    std::string out;
    write(out);
    return out;
}

bool Json::parse(const std::string& text, Json& out, std::string& error)
{
    Parser p(text);
    return p.parse(out, error);
}

}  // namespace detail
}  // namespace torasim
