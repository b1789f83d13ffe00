// One table per record: field name, kind, offset and size. A record's field list, its text
// form and its layout all come from this table, so they cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tc {

enum class FieldKind : std::uint8_t {
    Text,      // char[N], NUL-terminated, never read past N bytes
    Char,      // one character code
    Bool,      // one byte, 0 or 1, rendered "%d"
    Int16,     // short, rendered "%d"
    Int32,     // int, rendered "%d"
    Int64,     // long long, rendered as a decimal 64-bit value
    Double,    // rendered by formatDouble
};

// Where a text field's bytes come from, which says how the printers decode them for Python.
enum class TextSource : std::uint8_t {
    Broker,        // the broker's text: GB2312
    Python,        // what Python gave, or what the engine copied from it: UTF-8
    OrderMessage,  // the engine's order texts: UTF-8 (they quote the user id and the codes) up to
                   // and including ",ErrorMsg:", the broker's message after it
};

struct FieldDesc {
    const char *name;
    FieldKind kind;
    std::uint32_t offset;
    std::uint32_t size;
    TextSource source = TextSource::Broker;
};

// A stretch [begin, end) of a printer's text that holds UTF-8 where the rest is GB2312.
struct Utf8Span {
    std::size_t begin;
    std::size_t end;
};
// Notes [begin, end) of `text` as UTF-8 when it holds a byte beyond ASCII (ASCII reads the same
// either way, and a text without spans takes the plain path).
void noteUtf8(const std::string &text, std::size_t begin, std::size_t end, std::vector<Utf8Span> &spans);

struct RecordDesc {
    const char *recordName;   // e.g. "CQNOrderField", "CTORATstpOrderField"
    const char *fieldList;    // "A,B,C": the names joined by commas
    const FieldDesc *fields;
    std::size_t count;
};

// Renders one record into the calling thread's buffer for `desc` and returns it. The text
// stays valid until the same record kind is rendered again on the same thread.
// A null separator counts as empty.
const char *renderRecord(const RecordDesc &desc, const void *record, bool withNames,
                         const char *separator, int precision);

// Appends the rendering to `out` (used by the printers, which keep their own text).
// Implemented next to renderRecord. A null record appends nothing. With `utf8`, the stretches of
// text that came from Python are noted there.
void appendRecord(std::string &out, const RecordDesc &desc, const void *record, bool withNames,
                  const char *separator, int precision, std::vector<Utf8Span> *utf8 = nullptr);

// The text of one double: "1.79e+308" when value + 0.000001 is not below the largest finite
// double (so also for +inf and NaN), otherwise fixed notation with `digits` decimals.
std::string formatDouble(double value, int digits);
// Same text, appended to `out` without a temporary.
void appendDouble(std::string &out, double value, int digits);
}  // namespace tc

// Helpers for building tables: TC_FIELD(Record, Field, Kind) gives one FieldDesc.
#define TC_FIELD(REC, NAME, KIND) \
    ::tc::FieldDesc { #NAME, ::tc::FieldKind::KIND, static_cast<std::uint32_t>(offsetof(REC, NAME)), \
                      static_cast<std::uint32_t>(sizeof(static_cast<REC *>(nullptr)->NAME)) }
