// Native side of the Python benchmarks, loaded with ctypes after `import tradecore` so that it
// shares the simulated broker library (and so its broker registry) with the engine.
//
//   tcb_create_broker   a paper broker that never ticks by itself, or a scripted broker that
//                       accepts connections and does nothing else;
//   tcb_push_snapshots  on the simulated SDK's md callback thread: N depth snapshots straight into
//                       the engine's OnRtnDepthMarketData, each stamped on entry;
//   tcb_native_calls    the floor: a native thread handing (eventID, address) to a Python callable
//                       N times through the engine's own calling code (events/PythonBridge.cpp,
//                       compiled into this library), stamped the same way.
//
// Stamps are std::chrono::steady_clock nanoseconds, the clock behind Python's
// time.perf_counter_ns() on Linux, so a stamp taken here and one taken in Python subtract.
// Every function is called through ctypes.CDLL, which releases the interpreter lock around it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "engine/Text.h"
#include "events/PythonBridge.h"
#include "torasim/SimControl.h"

#if defined(_WIN32)
#  define TCB_EXPORT extern "C" __declspec(dllexport)
#else
#  define TCB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void pauseNs(std::int64_t gapNs) {
    if (gapNs <= 0) return;
    // A short busy wait: sleeping would hand the core to the other side and measure the wake-up.
    const std::int64_t until = nowNs() + gapNs;
    while (nowNs() < until) {
    }
}

}  // namespace

// Creates (or replaces) a broker under `address`. paper != 0: a paper broker whose market does
// not tick on its own (snapshots come only from tcb_push_snapshots); 0: a scripted broker that
// accepts every connection, logs each request and answers nothing. Returns 0.
TCB_EXPORT int tcb_create_broker(const char *address, int paper) {
    auto broker = torasim::Broker::create(address, paper ? torasim::Mode::Paper : torasim::Mode::Scripted);
    if (paper) {
        torasim::PaperConfig cfg = broker->paperConfig();
        cfg.snapshotsPerSecond = 0;
        broker->setPaperConfig(cfg);
    }
    broker->setAutoAccept(true);
    return 0;
}

TCB_EXPORT int tcb_remove_broker(const char *address) { return torasim::Broker::remove(address) ? 0 : -1; }

// Forgets the requests a broker has logged (the scripted broker keeps a copy of every order).
TCB_EXPORT int tcb_clear_requests(const char *address) {
    auto broker = torasim::Broker::find(address);
    if (!broker) return -1;
    broker->clearRequests();
    return 0;
}

TCB_EXPORT long long tcb_request_count(const char *address, const char *type) {
    auto broker = torasim::Broker::find(address);
    return broker ? static_cast<long long>(broker->requestCount(type ? type : "")) : -1;
}

// Runs, on the md callback thread of the broker's one market-data connection, `count` calls of
// OnRtnDepthMarketData for `securityID` on `exchange`, `gapNs` apart (0: back to back).
// stamps[i] is taken right before the i-th call enters the engine. Returns the nanoseconds from
// the first stamp to the return of the last call, or -1 when the broker has not exactly one
// connected market-data connection, -2 when the pushes did not finish in time.
TCB_EXPORT long long tcb_push_snapshots(const char *address, const char *securityID, char exchange, int count,
                                        long long gapNs, long long *stamps) {
    auto broker = torasim::Broker::find(address);
    if (!broker || count < 0) return -1;
    auto f = std::make_shared<CTORATstpMarketDataField>();
    std::memset(static_cast<void *>(f.get()), 0, sizeof *f);
    tc::copyText(f->TradingDay, "20240102");
    tc::copyText(f->SecurityID, securityID);
    f->ExchangeID = exchange;
    tc::copyText(f->SecurityName, securityID);
    tc::copyText(f->UpdateTime, "10:00:00");
    f->PreClosePrice = 10.0;
    f->OpenPrice = 10.0;
    f->UpperLimitPrice = 11.0;
    f->LowerLimitPrice = 9.0;
    const double bid[5] = {10.00, 9.99, 9.98, 9.97, 9.96};
    const double ask[5] = {10.01, 10.02, 10.03, 10.04, 10.05};
    f->BidPrice1 = bid[0];
    f->AskPrice1 = ask[0];
    f->BidVolume1 = f->AskVolume1 = 1000;
    f->BidPrice2 = bid[1], f->BidPrice3 = bid[2], f->BidPrice4 = bid[3], f->BidPrice5 = bid[4];
    f->AskPrice2 = ask[1], f->AskPrice3 = ask[2], f->AskPrice4 = ask[3], f->AskPrice5 = ask[4];
    f->BidVolume2 = f->BidVolume3 = f->BidVolume4 = f->BidVolume5 = 2000;
    f->AskVolume2 = f->AskVolume3 = f->AskVolume4 = f->AskVolume5 = 2000;

    auto elapsed = std::make_shared<std::atomic<long long>>(-2);
    const int queued = broker->postMd(
        [f, count, gapNs, stamps, elapsed](CTORATstpMdSpi *spi) {
            CTORATstpMarketDataField &s = *f;
            const std::int64_t start = nowNs();
            for (int i = 0; i < count; ++i) {
                // Every snapshot differs a little, as a live feed would.
                s.Volume = 100LL * (i + 1);
                s.Turnover = 1000.0 * (i + 1);
                s.LastPrice = (i & 1) ? 10.01 : 10.00;
                s.UpdateMillisec = i % 1000;
                pauseNs(gapNs);
                stamps[i] = nowNs();
                spi->OnRtnDepthMarketData(&s);
            }
            elapsed->store(count > 0 ? nowNs() - stamps[0] : nowNs() - start);
        });
    if (queued != 1) return -1;
    if (!broker->drain(std::chrono::milliseconds(600000))) return -2;
    return elapsed->load();
}

// The floor: a new native thread calls `callable(eventID, address)` `warmup` times unstamped
// (the first call attaches the thread to the interpreter, as the engine's first delivery on a
// callback thread does), then `count` times, `gapNs` apart, with stamps[i] taken right before
// the i-th call. Returns the nanoseconds from the first stamp to the return of the last call.
TCB_EXPORT long long tcb_native_calls(PyObject *callable, int eventID, long long address, int warmup, int count,
                                      long long gapNs, long long *stamps) {
    long long elapsed = -1;
    std::thread worker([&] {
        const void *record = reinterpret_cast<const void *>(static_cast<std::intptr_t>(address));
        for (int i = 0; i < warmup; ++i) tc::py::callOrderProcessor(callable, eventID, record);
        for (int i = 0; i < count; ++i) {
            pauseNs(gapNs);
            stamps[i] = nowNs();
            tc::py::callOrderProcessor(callable, eventID, record);
        }
        elapsed = count > 0 ? nowNs() - stamps[0] : 0;
    });
    worker.join();
    return elapsed;
}

TCB_EXPORT long long tcb_now_ns() { return nowNs(); }
