// A small JSON value with a parser and a writer, for the simulator's C control surface.
//
// Strings carry bytes: the writer escapes every byte from 0x80 up as \u0080..\u00FF, and the
// parser turns \u0000..\u00FF back into single bytes, so GB2312 text travels unchanged through
// JSON (a reader sees code points 0-255 standing for bytes). Escapes above \u00FF become UTF-8.
#ifndef TORASIM_SIMJSON_H
#define TORASIM_SIMJSON_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace torasim {
namespace detail {

class Json {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Json() = default;
    static Json boolean(bool b);
    static Json number(double d);
    static Json string(std::string s);
    static Json array();
    static Json object();

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool isObject() const { return type_ == Type::Object; }
    bool isArray() const { return type_ == Type::Array; }
    bool isString() const { return type_ == Type::String; }
    bool isNumber() const { return type_ == Type::Number; }
    bool isBool() const { return type_ == Type::Bool; }

    bool asBool() const { return type_ == Type::Bool ? b_ : (type_ == Type::Number ? n_ != 0 : false); }
    double asNumber() const { return type_ == Type::Number ? n_ : (type_ == Type::Bool ? (b_ ? 1 : 0) : 0); }
    const std::string& asString() const { return s_; }
    // The number rounded to an integer and kept within [lo, hi] (NaN gives 0), so that no
    // value from outside turns into an out-of-range conversion.
    long long asInt(long long lo, long long hi) const;
    const std::vector<Json>& items() const { return a_; }
    const std::vector<std::pair<std::string, Json>>& members() const { return o_; }

    // Object access; a missing key gives a Null value.
    const Json& operator[](const std::string& key) const;
    bool has(const std::string& key) const;
    Json& set(const std::string& key, Json v);
    Json& push(Json v);

    std::string dump() const;
    // Parses text; on failure returns false and says why in `error`.
    static bool parse(const std::string& text, Json& out, std::string& error);

private:
    void write(std::string& out) const;

    Type type_ = Type::Null;
    bool b_ = false;
    double n_ = 0;
    std::string s_;
    std::vector<Json> a_;
    std::vector<std::pair<std::string, Json>> o_;
};

}  // namespace detail
}  // namespace torasim

#endif  // TORASIM_SIMJSON_H
