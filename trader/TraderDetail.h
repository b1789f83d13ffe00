// Small helpers shared by the trader adapter's source files (not part of its interface).
#pragma once

#include <cstdio>
#include <cstring>

#include "ToraSdk.h"
#include "engine/Text.h"

namespace tc {
namespace trader {

constexpr const char kVersionText[] = "Quillon 002.100.001";
constexpr const char kCurrencyCNY[] = "CNY";

constexpr const char kMsgInvalidEventID[] = "Error:Invalid EventID.";
constexpr const char kMsgFailToSend[] = "Error:Fail To Send.";
constexpr const char kMsgFailToCreateTrader[] = "Error:Fail To Create Trader.";
constexpr const char kMsgTraderDisconnected[] = "Error:Trader Disconnected.";
constexpr const char kMsgInvalidTransferFlag[] = "Error:Invalid TransferFlag.";
constexpr const char kMsgFailToTransfer[] = "Error:Fail To Transfer.";

// The engine's own task identifier of the bank balance query (not one of the ENUM_ codes).
constexpr int kBankBalanceTaskID = 36;

// `value` held to the int range. Volumes come from the broker and add up in 64 bits first: a
// corrupt notice must not wrap a count around (nor make the arithmetic undefined).
inline int clampToInt(long long value) {
    if (value > 2147483647LL) return 2147483647;
    if (value < -2147483647LL - 1) return static_cast<int>(-2147483647LL - 1);
    return static_cast<int>(value);
}

// Reads a text as a decimal int the way the C library's atoi does (leading white space, an
// optional sign, then the leading digits; 0 when there are none), so that a reference the broker
// pads with blanks still finds its order. Values beyond the int range are clamped, where atoi's
// result is undefined.
inline int parseDecimal(const char *text) {
    if (!text) return 0;
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 10000000000LL) value = value * 10 + (*p - '0');
        ++p;
    }
    return clampToInt(negative ? -value : value);
}
// The same for a fixed-size field that may lack its NUL.
template <std::size_t N>
inline int parseDecimalField(const char (&field)[N]) {
    char text[N + 1];
    std::memcpy(text, field, N);
    text[N] = '\0';
    return parseDecimal(text);
}

// `value` as decimal text ("%d"), cut to N - 1 characters and NUL-terminated like snprintf;
// the bytes after the NUL are left as they are. The digits go straight to their places, right
// to left.
template <std::size_t N>
inline void writeDecimal(char (&field)[N], int value) {
    static_assert(N > 0, "room for the NUL");
    const bool negative = value < 0;
    unsigned magnitude = negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    std::size_t len = negative ? 2 : 1;
    for (unsigned rest = magnitude; rest >= 10; rest /= 10) ++len;
    const std::size_t kept = len < N - 1 ? len : N - 1;
    std::size_t pos = len;
    do {
        --pos;
        if (pos < kept) field[pos] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative && kept > 0) field[0] = '-';
    field[kept] = '\0';
}

// Order and transfer references: the decimal text of the engine's id in legacy SDK builds, the
// id itself where the SDK's reference is an int (the current generation's OrderRef and serials).
template <std::size_t N>
inline void putRef(char (&field)[N], int id) {
    writeDecimal(field, id);
}
inline void putRef(int &field, int id) { field = id; }
template <std::size_t N>
inline int refOf(const char (&field)[N]) {
    return parseDecimalField(field);
}
inline int refOf(int field) { return field; }

// A broker's serial as text, whichever form the SDK gives it in.
struct RefText {
    char text[72];
    template <std::size_t N>
    explicit RefText(const char (&field)[N]) {
        static_assert(N < sizeof text, "room for the serial and its NUL");
        copyField(text, field);
    }
    explicit RefText(int serial) { writeDecimal(text, serial); }
    const char *c_str() const { return text; }
};

// What copyText and copyField write, for a destination known to be all zero (a fresh order
// slot, a request just cleared): only the text itself, whose NUL is already there.
template <std::size_t N>
inline void putText(char (&dst)[N], const char *src) {
    if (!src) return;
    for (std::size_t i = 0; i + 1 < N && src[i] != '\0'; ++i) dst[i] = src[i];
}
template <std::size_t N, std::size_t M>
inline void putField(char (&dst)[N], const char (&src)[M]) {
    for (std::size_t i = 0; i < M && i + 1 < N && src[i] != '\0'; ++i) dst[i] = src[i];
}

// What buildSecurityKey writes ("<standardID>.<exchangeID>", bounded), into a zeroed key.
template <std::size_t N, std::size_t A, std::size_t B>
inline void putSecurityKey(char (&key)[N], const char (&standardID)[A], const char (&exchangeID)[B]) {
    std::size_t len = 0;
    for (std::size_t i = 0; i < A && standardID[i] != '\0' && len + 1 < N; ++i) key[len++] = standardID[i];
    if (len + 1 < N) key[len++] = '.';
    for (std::size_t i = 0; i < B && exchangeID[i] != '\0' && len + 1 < N; ++i) key[len++] = exchangeID[i];
}

inline int errorIDOf(const sdk::RspInfoRecord *info) { return info ? info->ErrorID : 0; }

// The broker's message as a NUL-terminated text (its field may use every byte).
struct ErrorText {
    char text[sizeof(sdk::RspInfoRecord::ErrorMsg) + 1];
    explicit ErrorText(const sdk::RspInfoRecord *info) {
        if (info) {
            std::memcpy(text, info->ErrorMsg, sizeof info->ErrorMsg);
            text[sizeof info->ErrorMsg] = '\0';
        } else {
            text[0] = '\0';
        }
    }
    const char *c_str() const { return text; }
};

}  // namespace trader
}  // namespace tc
