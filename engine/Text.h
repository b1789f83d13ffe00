// The one bounded text copy for fixed-size text fields.
#pragma once

#include <cstddef>
#include <cstring>

namespace tc {

// Copies at most N-1 bytes of `src` (up to its NUL) into `dst`, zero-filling the rest.
// A null `src` empties the field.
inline void copyText(char *dst, std::size_t n, const char *src) {
    if (n == 0) return;
    std::size_t len = 0;
    if (src) {
        while (len + 1 < n && src[len] != '\0') ++len;
        std::memcpy(dst, src, len);
    }
    std::memset(dst + len, 0, n - len);
}
template <std::size_t N>
inline void copyText(char (&dst)[N], const char *src) {
    copyText(dst, N, src);
}
// Copies from another fixed-size field, never reading past its N bytes.
template <std::size_t N, std::size_t M>
inline void copyField(char (&dst)[N], const char (&src)[M]) {
    std::size_t len = 0;
    while (len < M && len + 1 < N && src[len] != '\0') ++len;
    std::memcpy(dst, src, len);
    std::memset(dst + len, 0, N - len);
}
// Length of a fixed-size field's text, never reading past its N bytes.
inline std::size_t fieldLength(const char *field, std::size_t n) {
    std::size_t len = 0;
    while (len < n && field[len] != '\0') ++len;
    return len;
}

}  // namespace tc
