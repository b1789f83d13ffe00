// Small helpers of the simulated broker: bounded text copies, the broker's clock, a portable
// seeded random generator, and the error codes and GB2312 messages the broker answers with.
#ifndef TORASIM_SIMTEXT_H
#define TORASIM_SIMTEXT_H

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace torasim {
namespace detail {

// Copies at most N-1 bytes of src into the fixed field dst and zero-fills the rest.
template <std::size_t N, class P,
          class = typename std::enable_if<std::is_convertible<P, const char*>::value>::type>
inline void copyText(char (&dst)[N], P srcIn)
{
    const char* src = srcIn;
    std::size_t i = 0;
    if (src)
        for (; i + 1 < N && src[i]; ++i) dst[i] = src[i];
    std::memset(dst + i, 0, N - i);
}

// From another fixed field (or a literal): never reads past its M bytes.
template <std::size_t N, std::size_t M>
inline void copyText(char (&dst)[N], const char (&src)[M])
{
    std::size_t i = 0;
    for (; i < M && i + 1 < N && src[i]; ++i) dst[i] = src[i];
    std::memset(dst + i, 0, N - i);
}

template <std::size_t N>
inline void copyText(char (&dst)[N], const std::string& src)
{
    copyText(dst, src.c_str());
}

// A fixed field as a string (stops at the terminator or the field's end).
template <std::size_t N>
inline std::string fieldText(const char (&src)[N])
{
    std::size_t n = 0;
    while (n < N && src[n]) ++n;
    return std::string(src, n);
}

template <std::size_t N>
inline void formatInt(char (&dst)[N], long long v)
{
    std::snprintf(dst, N, "%lld", v);
}

// Leading decimal digits (optional sign) as an int; 0 when there are none.
inline long long parseInt(const char* s)
{
    if (!s) return 0;
    while (*s == ' ') ++s;
    bool neg = false;
    if (*s == '-' || *s == '+') neg = (*s++ == '-');
    long long v = 0;
    while (*s >= '0' && *s <= '9') v = v * 10 + (*s++ - '0');
    return neg ? -v : v;
}

// Broker time: the wall clock in China Standard Time (UTC+8), whatever the host's zone.
struct BrokerTime {
    char date[9];   // YYYYMMDD
    char time[9];   // HH:MM:SS
    int millis;
};

inline BrokerTime brokerNow()
{
    using namespace std::chrono;
    auto now = system_clock::now().time_since_epoch();
    long long ms = duration_cast<milliseconds>(now).count() + 8LL * 3600 * 1000;
    long long days = ms / 86400000LL;
    long long msOfDay = ms % 86400000LL;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    BrokerTime t;
    auto digits = [](char* out, long long v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
    };
    digits(t.date, y, 4);
    digits(t.date + 4, m, 2);
    digits(t.date + 6, d, 2);
    t.date[8] = '\0';
    long long secs = msOfDay / 1000;
    digits(t.time, secs / 3600, 2);
    t.time[2] = ':';
    digits(t.time + 3, (secs / 60) % 60, 2);
    t.time[5] = ':';
    digits(t.time + 6, secs % 60, 2);
    t.time[8] = '\0';
    t.millis = static_cast<int>(msOfDay % 1000);
    return t;
}

// splitmix64: small, fast and identical on every platform (std's distributions are not).
class Rng {
public:
    explicit Rng(std::uint64_t seed = 1) : state_(seed) {}
    void seed(std::uint64_t s) { state_ = s; }
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    bool chance(double p) { return p > 0 && uniform() < p; }
    // Uniform integer in [lo, hi].
    long long range(long long lo, long long hi)
    {
        if (hi <= lo) return lo;
        return lo + static_cast<long long>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // Standard normal (Box-Muller).
    double normal()
    {
        double u1 = uniform();
        double u2 = uniform();
        if (u1 < 1e-300) u1 = 1e-300;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::uint64_t state_;
};

// FNV-1a: a stable hash for seeding per-security generators.
inline std::uint64_t stableHash(const std::string& s)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

// Error codes the broker answers with, and their texts (GB2312, as the front sends them).
constexpr int kErrBadPassword = 3;
constexpr int kErrNotLoggedIn = 10001;
constexpr int kErrUnknownSecurity = 10101;
constexpr int kErrBadVolume = 10102;
constexpr int kErrBadPrice = 10103;
constexpr int kErrBadTick = 10104;
constexpr int kErrNoCash = 10105;
constexpr int kErrNoPosition = 10106;
constexpr int kErrBadShareholder = 10107;
constexpr int kErrBadDirection = 10108;
constexpr int kErrBadPriceType = 10109;
constexpr int kErrOrderNotFound = 10201;
constexpr int kErrOrderFinished = 10202;
constexpr int kErrBadAction = 10203;
constexpr int kErrOldPassword = 10301;
constexpr int kErrBadTransfer = 10401;
constexpr int kErrBadAmount = 10402;
constexpr int kErrNoBankCash = 10403;
constexpr int kErrNotSupported = 10901;

constexpr const char* kMsgNotLoggedIn = "\xd3\xc3\xbb\xa7\xce\xb4\xb5\xc7\xc2\xbc";  // 用户未登录
constexpr const char* kMsgBadPassword = "\xd3\xc3\xbb\xa7\xc3\xfb\xbb\xf2\xc3\xdc\xc2\xeb\xb4\xed\xce\xf3";  // 用户名或密码错误
constexpr const char* kMsgUnknownSecurity = "\xd6\xa4\xc8\xaf\xb4\xfa\xc2\xeb\xb2\xbb\xb4\xe6\xd4\xda";  // 证券代码不存在
constexpr const char* kMsgBadVolume = "\xce\xaf\xcd\xd0\xca\xfd\xc1\xbf\xb2\xbb\xb7\xfb\xba\xcf\xbd\xbb\xd2\xd7\xb9\xe6\xd4\xf2";  // 委托数量不符合交易规则
constexpr const char* kMsgBadPrice = "\xce\xaf\xcd\xd0\xbc\xdb\xb8\xf1\xb3\xac\xb3\xf6\xd5\xc7\xb5\xf8\xcd\xa3\xbc\xdb\xb8\xf1\xb7\xb6\xce\xa7";  // 委托价格超出涨跌停价格范围
constexpr const char* kMsgBadTick = "\xce\xaf\xcd\xd0\xbc\xdb\xb8\xf1\xb2\xbb\xca\xc7\xd7\xee\xd0\xa1\xb1\xe4\xb6\xaf\xbc\xdb\xce\xbb\xb5\xc4\xd5\xfb\xca\xfd\xb1\xb6";  // 委托价格不是最小变动价位的整数倍
constexpr const char* kMsgNoCash = "\xbf\xc9\xd3\xc3\xd7\xca\xbd\xf0\xb2\xbb\xd7\xe3";  // 可用资金不足
constexpr const char* kMsgNoPosition = "\xbf\xc9\xd3\xc3\xb3\xd6\xb2\xd6\xb2\xbb\xd7\xe3";  // 可用持仓不足
constexpr const char* kMsgBadShareholder = "\xb9\xc9\xb6\xab\xd5\xcb\xbb\xa7\xb2\xbb\xb4\xe6\xd4\xda";  // 股东账户不存在
constexpr const char* kMsgBadDirection = "\xb2\xbb\xd6\xa7\xb3\xd6\xb5\xc4\xc2\xf2\xc2\xf4\xb7\xbd\xcf\xf2";  // 不支持的买卖方向
constexpr const char* kMsgBadPriceType = "\xb2\xbb\xd6\xa7\xb3\xd6\xb5\xc4\xb1\xa8\xbc\xdb\xc0\xe0\xd0\xcd";  // 不支持的报价类型
constexpr const char* kMsgOrderNotFound = "\xce\xb4\xd5\xd2\xb5\xbd\xbf\xc9\xb3\xb7\xcf\xfa\xb5\xc4\xce\xaf\xcd\xd0";  // 未找到可撤销的委托
constexpr const char* kMsgOrderFinished = "\xce\xaf\xcd\xd0\xd2\xd1\xb3\xc9\xbd\xbb\xbb\xf2\xd2\xd1\xb3\xb7\xb5\xa5\xa3\xac\xb2\xbb\xc4\xdc\xb3\xb7\xb5\xa5";  // 委托已成交或已撤单，不能撤单
constexpr const char* kMsgBadAction = "\xb2\xbb\xd6\xa7\xb3\xd6\xb5\xc4\xb2\xd9\xd7\xf7\xb1\xea\xd6\xbe";  // 不支持的操作标志
constexpr const char* kMsgOldPassword = "\xd4\xad\xc3\xdc\xc2\xeb\xb4\xed\xce\xf3";  // 原密码错误
constexpr const char* kMsgBadTransfer = "\xb2\xbb\xd6\xa7\xb3\xd6\xb5\xc4\xd7\xaa\xd5\xcb\xb7\xbd\xcf\xf2";  // 不支持的转账方向
constexpr const char* kMsgBadAmount = "\xd7\xaa\xd5\xcb\xbd\xf0\xb6\xee\xce\xde\xd0\xa7";  // 转账金额无效
constexpr const char* kMsgNoBankCash = "\xd2\xf8\xd0\xd0\xd3\xe0\xb6\xee\xb2\xbb\xd7\xe3";  // 银行余额不足
constexpr const char* kMsgNotSupported = "\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xd2\xb5\xce\xf1";  // 不支持该业务
constexpr const char* kMsgSimulatedError = "\xcf\xb5\xcd\xb3\xb7\xb1\xc3\xa6\xa3\xac\xc7\xeb\xc9\xd4\xba\xf3\xd4\xd9\xca\xd4";  // 系统繁忙，请稍后再试
constexpr const char* kMsgNoMarket = "\xb6\xd4\xca\xd6\xb7\xbd\xce\xde\xd0\xd0\xc7\xe9\xa3\xac\xce\xaf\xcd\xd0\xd2\xd1\xb3\xb7\xcf\xfa";  // 对手方无行情，委托已撤销

// Order status texts.
constexpr const char* kMsgAllTraded = "\xc8\xab\xb2\xbf\xb3\xc9\xbd\xbb";  // 全部成交
constexpr const char* kMsgPartTraded = "\xb2\xbf\xb7\xd6\xb3\xc9\xbd\xbb";  // 部分成交
constexpr const char* kMsgQueued = "\xce\xb4\xb3\xc9\xbd\xbb";  // 未成交
constexpr const char* kMsgCanceled = "\xd2\xd1\xb3\xb7\xb5\xa5";  // 已撤单
constexpr const char* kMsgPartCanceled = "\xb2\xbf\xb3\xc9\xb2\xbf\xb3\xb7";  // 部成部撤

// Names.
constexpr const char* kNameSSE = "\xc9\xcf\xba\xa3\xd6\xa4\xc8\xaf\xbd\xbb\xd2\xd7\xcb\xf9";  // 上海证券交易所
constexpr const char* kNameSZSE = "\xc9\xee\xdb\xda\xd6\xa4\xc8\xaf\xbd\xbb\xd2\xd7\xcb\xf9";  // 深圳证券交易所
constexpr const char* kNameSHA = "\xc9\xcf\xba\xa3\x41\xb9\xc9";  // 上海A股
constexpr const char* kNameSZA = "\xc9\xee\xdb\xda\x41\xb9\xc9";  // 深圳A股
constexpr const char* kNameUser = "\xc4\xa3\xc4\xe2\xd3\xc3\xbb\xa7";  // 模拟用户
constexpr const char* kNameInvestor = "\xc4\xa3\xc4\xe2\xcd\xb6\xd7\xca\xd5\xdf";  // 模拟投资者

}  // namespace detail
}  // namespace torasim

#endif  // TORASIM_SIMTEXT_H
