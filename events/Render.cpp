// Renders any record described by a field table as one line of text. The default printers run
// this on every event, so it appends straight into the caller's buffer and never allocates once
// the buffer has grown to its working size.
#include "events/FieldTable.h"

#include <cfloat>
#include <charconv>
#include <cstring>
#include <iomanip>
#include <locale>
#include <sstream>
#include <system_error>
#include <unordered_map>

#include "engine/Platform.h"

namespace tc {
namespace {

constexpr char kHugeDoubleText[] = "1.79e+308";

// Prices of "no value" (DBL_MAX, inf) and averages over zero volume (NaN) all print the same.
bool isHugeDouble(double value) { return !(value + 0.000001 < DBL_MAX); }

// A finite double's exact decimal expansion ends within 1074 places: further places are zeros.
constexpr int kExactPlaces = 1074;
// More places than this are not written (a caller's absurd precision must not cost gigabytes).
constexpr int kMaxPlaces = 4096;

void appendFixed(std::string &out, double value, int digits) {
    // to_chars gives exactly what `fixed << setprecision(digits)` gives in the classic locale,
    // without a stream (whose formatting puts the whole text on the stack, so a large precision
    // overflows it) and whatever locale the host process has set.
    if (digits > kMaxPlaces) digits = kMaxPlaces;
    const int exact = digits < kExactPlaces ? digits : kExactPlaces;
    char buf[1400];  // sign, 309 integer digits, point, 1074 places
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, exact);
    if (r.ec != std::errc()) return;  // not reached for the values that get here (finite, below DBL_MAX)
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
    if (digits > exact) out.append(static_cast<std::size_t>(digits - exact), '0');
}

void appendInteger(std::string &out, long long value) {
    char buf[24];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

// Integer fields of any width the tables use; the width comes from the table, not the kind, so
// an SDK "bool" that is really an int still reads all four bytes.
long long readInteger(const char *p, std::uint32_t size) {
    switch (size) {
    case 1: { unsigned char v; std::memcpy(&v, p, 1); return v; }
    case 2: { std::int16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { std::int32_t v; std::memcpy(&v, p, 4); return v; }
    default: { std::int64_t v; std::memcpy(&v, p, 8); return v; }
    }
}

void appendQuotedText(std::string &out, const char *p, std::uint32_t size) {
    const void *nul = std::memchr(p, '\0', size);
    std::size_t len = nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - p) : size;
    out.push_back('"');
    out.append(p, len);
    out.push_back('"');
}

// The ",ErrorMsg:" label of the engine's order texts: the broker's message follows it.
constexpr char kBrokerMessageLabel[] = ",ErrorMsg:";

void noteTextSource(const std::string &out, std::size_t begin, TextSource source, std::vector<Utf8Span> &utf8) {
    std::size_t end = out.size() - 1;  // before the closing quote
    if (source == TextSource::OrderMessage) {
        const std::size_t label = out.find(kBrokerMessageLabel, begin);
        if (label == std::string::npos || label >= end) return;
        end = label + sizeof kBrokerMessageLabel - 1;
    }
    noteUtf8(out, begin, end, utf8);
}

void appendValue(std::string &out, const FieldDesc &f, const char *record, int precision,
                 std::vector<Utf8Span> *utf8) {
    const char *p = record + f.offset;
    switch (f.kind) {
    case FieldKind::Text: {
        const std::size_t begin = out.size() + 1;  // after the opening quote
        appendQuotedText(out, p, f.size);
        if (utf8 && f.source != TextSource::Broker) noteTextSource(out, begin, f.source, *utf8);
        break;
    }
    case FieldKind::Char:
        out.push_back('"');
        if (*p != '\0') out.push_back(*p);
        out.push_back('"');
        break;
    case FieldKind::Bool:
        appendInteger(out, f.size == 1 ? (*p != 0 ? 1 : 0) : readInteger(p, f.size));
        break;
    case FieldKind::Int16:
    case FieldKind::Int32:
    case FieldKind::Int64:
        appendInteger(out, readInteger(p, f.size));
        break;
    case FieldKind::Double: {
        double v;
        std::memcpy(&v, p, sizeof v);
        appendDouble(out, v, precision);
        break;
    }
    }
}

}  // namespace

void noteUtf8(const std::string &text, std::size_t begin, std::size_t end, std::vector<Utf8Span> &spans) {
    for (std::size_t i = begin; i < end && i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            spans.push_back(Utf8Span{begin, end});
            return;
        }
    }
}

void appendDouble(std::string &out, double value, int digits) {
    if (isHugeDouble(value)) {
        out.append(kHugeDoubleText, sizeof kHugeDoubleText - 1);
        return;
    }
    appendFixed(out, value, digits);
}

std::string formatDouble(double value, int digits) {
    std::string out;
    appendDouble(out, value, digits);
    return out;
}

void appendRecord(std::string &out, const RecordDesc &desc, const void *record, bool withNames,
                  const char *separator, int precision, std::vector<Utf8Span> *utf8) {
    if (record == nullptr) return;
    const char *base = static_cast<const char *>(record);
    const char *sep = separator ? separator : "";
    const std::size_t sepLen = std::strlen(sep);
    for (std::size_t i = 0; i < desc.count; ++i) {
        const FieldDesc &f = desc.fields[i];
        if (i != 0) out.append(sep, sepLen);
        if (withNames) {
            out.append(f.name);
            out.push_back(':');
        }
        appendValue(out, f, base, precision, utf8);
    }
}

const char *renderRecord(const RecordDesc &desc, const void *record, bool withNames,
                         const char *separator, int precision) {
    // One buffer per record kind and thread: a text handed out stays intact while this thread
    // renders other kinds, and other threads never touch it. Map nodes never move.
    struct Buffers;
    auto &buffers = platform::threadOwned<std::unordered_map<const RecordDesc *, std::string>, Buffers>();
    std::string &buf = buffers[&desc];
    buf.clear();
    appendRecord(buf, desc, record, withNames, separator, precision);
    return buf.c_str();
}

}  // namespace tc
