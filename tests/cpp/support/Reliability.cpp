#include "Reliability.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/Text.h"

namespace tc {
namespace testing {

Watchdog::Watchdog(std::chrono::milliseconds limit, std::string what) : what_(std::move(what)) {
    thread_ = std::thread([this, limit] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (cv_.wait_for(lock, limit, [this] { return done_; })) return;
        std::fprintf(stderr, "\nWATCHDOG: %s did not finish within %lld ms (phase: %s): deadlock or hang\n",
                     what_.c_str(), static_cast<long long>(limit.count()), phase_.c_str());
        std::fflush(stderr);
        std::abort();
    });
}

Watchdog::~Watchdog() { disarm(); }

void Watchdog::phase(const std::string &what) {
    std::lock_guard<std::mutex> lock(mutex_);
    phase_ = what;
}

void Watchdog::disarm() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool waitUntil(const std::function<bool()> &pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

CQNLoginField paperLogin(const std::string &userID, const std::string &front, int idRange) {
    CQNLoginField l;
    l.UserType = ENUM_UserType_TORAStock;
    tc::copyText(l.UserID, userID.c_str());
    tc::copyText(l.Password, "pw");
    tc::copyText(l.TraderFrontAddress, front.c_str());
    tc::copyText(l.MdFrontAddress, front.c_str());
    const std::string base = (std::filesystem::temp_directory_path() / "tradecore-reliability").string();
    tc::copyText(l.BasePath, base.c_str());
    l.ConnectTimeout = 20000000;
    // Tasks go out as soon as the previous one is answered; a refused one is retried soon.
    l.TaskExecuteGap = 0;
    l.TaskFailedGap = 50000;
    l.LoopGap = 2000;
    l.IDRange = idRange;
    return l;
}

const PaperSecurity kPaperSecurities[4] = {
    {"600000", "1"}, {"600036", "1"}, {"000001", "2"}, {"000002", "2"}};

std::shared_ptr<torasim::Broker> createPaperBroker(const std::string &front, double snapshotsPerSecond,
                                                   std::uint64_t seed) {
    auto broker = torasim::Broker::create(front, torasim::Mode::Paper);
    torasim::PaperConfig cfg;
    cfg.seed = seed;
    cfg.snapshotsPerSecond = snapshotsPerSecond;
    cfg.cash = 1e9;
    for (const PaperSecurity &s : kPaperSecurities) {
        torasim::SecurityConfig sec;
        sec.securityID = s.code;
        sec.exchangeID = s.exchange[0];
        sec.preClosePrice = 10.0;
        sec.volatility = 0.002;
        cfg.securities.push_back(sec);
        torasim::PositionConfig pos;
        pos.securityID = s.code;
        pos.exchangeID = s.exchange[0];
        pos.volume = 10000000;
        cfg.positions.push_back(pos);
    }
    broker->setPaperConfig(cfg);
    broker->setAutoAccept(true);
    return broker;
}

LoopThread::LoopThread() {
    thread_ = std::thread([this] {
        loop();
        returned_.store(true);
    });
}

LoopThread::~LoopThread() { join(); }

void LoopThread::join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace testing
}  // namespace tc
