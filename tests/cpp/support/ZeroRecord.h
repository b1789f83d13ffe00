// A record of the SDK or the engine with every byte zero, as the SDK's callers memset them.
#pragma once

#include <cstring>

namespace tc {
namespace testing {

template <class T>
T zeroRecord() {
    T t;
    std::memset(static_cast<void *>(&t), 0, sizeof t);
    return t;
}

}  // namespace testing
}  // namespace tc
