// The password of an engine side's login copy. The login requests read it (the engine thread for
// the trader, the supervisor for market data) while a confirmed password change rewrites it on
// an SDK thread, so both go through this spin lock. It is taken alone, never with another lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/Text.h"
#include "records/QNRecords.h"

namespace tc {

class LoginPassword {
public:
    template <std::size_t N>
    void copyTo(const CQNLoginField &login, char (&out)[N]) const {
        lock();
        copyField(out, login.Password);
        unlock();
    }
    void store(CQNLoginField &login, const char *password) {
        lock();
        copyText(login.Password, password);
        unlock();
    }

private:
    void lock() const {
        while (word_.exchange(1, std::memory_order_acquire) != 0) {
        }
    }
    void unlock() const { word_.store(0, std::memory_order_release); }

    mutable std::atomic<std::uint32_t> word_{0};
};

}  // namespace tc
