// Starts engines through the broker's own TORA libraries (the build's TORA_SDK_DIR), with no
// broker behind them:
//   1. fronts at a local address nobody serves: init gives up after ConnectTimeout with
//      "Error:Trader Connect Timeout.";
//   2. fronts at a local TCP listener standing in for the broker: the SDK connects, init
//      returns a handle, and the SDK sends its frames to the listener.
// Run by tools/vendor_check.sh; prints what it saw and exits 0 when both hold. Linux only (the
// vendor's Linux libraries are what it checks).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ToraSdk.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"

namespace {

constexpr long long kConnectTimeoutMicros = 3000000;

// A TCP port on 127.0.0.1 that nothing listens on (bound once by us, then let go).
int unservedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        std::perror("socket");
        std::exit(2);
    }
    ::close(s);
    return ntohs(a.sin_port);
}

// Accepts every connection and counts what arrives; answers nothing (it is no broker).
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
            std::perror("listener");
            std::exit(2);
        }
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
        acceptor_.detach();
    }
    int port() const { return port_; }
    int connections() const { return connections_.load(); }
    long long bytes() const { return bytes_.load(); }

private:
    void acceptLoop() {
        for (;;) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            ++connections_;
            std::thread([this, c] {
                char buf[4096];
                for (;;) {
                    const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                    if (n <= 0) break;
                    bytes_ += n;
                }
                ::close(c);
            }).detach();
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::atomic<int> connections_{0};
    std::atomic<long long> bytes_{0};
};

CQNLoginField login(const char *user, int port, const std::string &basePath) {
    CQNLoginField l;
    l.UserType = ENUM_UserType_TORAStock;
    tc::copyText(l.UserID, user);
    tc::copyText(l.Password, "none");
    const std::string front = "tcp://127.0.0.1:" + std::to_string(port);
    tc::copyText(l.TraderFrontAddress, front.c_str());
    tc::copyText(l.MdFrontAddress, front.c_str());
    l.ConnectTimeout = kConnectTimeoutMicros;
    tc::copyText(l.BasePath, basePath.c_str());
    return l;
}

bool check(bool ok, const char *what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string basePath = argc > 1 ? argv[1] : "vendor-check-flow";
    std::printf("engine %s, TORA trader API %s\n", getVersion(), tc::sdk::TraderApi::GetApiVersion());
    bool ok = true;

    // 1. Nobody serves the fronts.
    CQNLoginField unserved = login("vcheck1", unservedPort(), basePath);
    const auto start = std::chrono::steady_clock::now();
    CBaseTrader *none = init(1, &unserved, nullptr, nullptr, nullptr, nullptr);
    const long long waited =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    const int error = getInitError();
    std::printf("unserved front: init %s after %.1f s, error %d \"%s\"\n", none ? "returned a handle" : "failed",
                waited / 1e6, error, getMessageByErrorID(error));
    ok &= check(none == nullptr, "init fails without a front");
    ok &= check(error == ENUM_ErrorID_TraderConnectTimeout &&
                    std::strcmp(getMessageByErrorID(error), "Error:Trader Connect Timeout.") == 0,
                "the error is \"Error:Trader Connect Timeout.\"");
    ok &= check(waited >= kConnectTimeoutMicros, "only after ConnectTimeout");

    // 2. A local listener stands in for the fronts.
    Listener front;
    CQNLoginField served = login("vcheck2", front.port(), basePath);
    CBaseTrader *handle = init(2, &served, nullptr, nullptr, nullptr, nullptr);
    const int servedError = getInitError();
    // The SDK sends its first frames once connected; give them a moment to arrive.
    for (int i = 0; i < 50 && front.bytes() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("listener on port %d: init %s (error %d), %d connection(s), %lld bytes received\n", front.port(),
                handle ? "returned a handle" : "failed", servedError, front.connections(), front.bytes());
    ok &= check(handle != nullptr, "init returns a handle once the SDK has reached the front");
    ok &= check(front.connections() >= 1, "the SDK connected to the front");
    ok &= check(front.bytes() > 0, "the SDK sent its frames");

    std::printf(ok ? "vendor check passed\n" : "vendor check FAILED\n");
    std::fflush(stdout);
    // The SDK's threads keep trying the fronts; the process ends here without waiting for them.
    std::_Exit(ok ? 0 : 1);
}
