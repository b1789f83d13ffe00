// Resident memory per order the engine holds: a trader engine against a scripted broker that
// accepts and answers nothing places N orders (1,000,000 by default) through buyOpen, and the
// growth of the process's resident set is divided by N. The engine keeps every order record for
// its whole life, so this is what a long day of orders costs.
//
// The broker's request log is off, so that the figure holds the engine's memory, not the
// simulator's copies of the requests. Baseline in the same run: the same number of bare order
// records (lock words + CQNOrderField) allocated with new.
//
//   tradecore_bench_memory [N]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/RecordBlock.h"
#include "engine/Text.h"
#include "events/Delivery.h"
#include "events/RecordingBridge.h"
#include "torasim/SimControl.h"
#include "trader/CTORAStockTrader.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace {

// Resident bytes of this process (Linux: /proc/self/statm; elsewhere 0, and the figure is skipped).
long long residentBytes() {
#if defined(__linux__)
    std::FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    long long pages = 0, resident = 0;
    const int got = std::fscanf(f, "%lld %lld", &pages, &resident);
    std::fclose(f);
    return got == 2 ? resident * sysconf(_SC_PAGESIZE) : 0;
#else
    return 0;
#endif
}

}  // namespace

int main(int argc, char **argv) {
    const long long count = argc > 1 ? std::atoll(argv[1]) : 1000000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: %s [orders]\n", argv[0]);
        return 2;
    }
    tc::recording::setRecordingEnabled(false);
    tc::setRunModeValue(ENUM_RunMode_Release);

    const std::string address = "sim://bench-memory";
    auto broker = torasim::Broker::create(address, torasim::Mode::Scripted);
    broker->setAutoAccept(true);
    auto *login = new CQNLoginField();
    tc::copyText(login->UserID, "bench");
    tc::copyText(login->TraderFrontAddress, address.c_str());
    tc::copyText(login->BasePath, "/tmp/tradecore-bench");
    login->IDRange = 2000000000;
    auto trader = std::make_unique<CTORAStockTrader>(1, login, tc::recording::fakeCallable(1),
                                                     tc::recording::fakeCallable(2), nullptr);
    broker->waitForConnections(1, torasim::Side::Trader);
    broker->drain();

    broker->setRequestLog(false);
    // Warm up: the first orders grow the allocator's and the index's working sets.
    for (int i = 0; i < 1000; ++i)
        trader->buyOpen(nullptr, "1", "600000", 100, ENUM_OrderType_LimitAndWait, 10.0, 0, ENUM_Direction_Buy);

    const std::uint64_t sentBefore = broker->requestsReceived();
    const long long before = residentBytes();
    for (long long i = 0; i < count; ++i) {
        trader->buyOpen(nullptr, i % 2 ? "2" : "1", i % 2 ? "000001" : "600000", 100, ENUM_OrderType_LimitAndWait,
                        10.0 + (i % 100) * 0.01, 0, ENUM_Direction_Buy);
    }
    const long long after = residentBytes();
    if (broker->requestsReceived() - sentBefore != static_cast<std::uint64_t>(count)) {
        std::fprintf(stderr, "not every order reached the simulated front\n");
        return 1;
    }

    // Baseline: the records alone, as bare heap blocks.
    std::vector<tc::RecordBlock<CQNOrderField> *> bare;
    bare.reserve(static_cast<std::size_t>(count));
    const long long bareBefore = residentBytes();
    for (long long i = 0; i < count; ++i) bare.push_back(new tc::RecordBlock<CQNOrderField>());
    const long long bareAfter = residentBytes();
    // The vector of pointers is part of the baseline's growth; take it back out.
    const long long bareVector = static_cast<long long>(bare.capacity() * sizeof(void *));

    const double perOrder = after > 0 ? double(after - before) / double(count) : 0.0;
    const double perBare = bareAfter > 0 ? double(bareAfter - bareBefore - bareVector) / double(count) : 0.0;
    std::printf("orders held: %lld (sizeof CQNOrderField %zu, with lock words %zu, order slot %zu)\n", count,
                sizeof(CQNOrderField), sizeof(tc::RecordBlock<CQNOrderField>), sizeof(tc::OrderSlot));
    std::printf("resident growth: %.1f MiB -> %.0f bytes per order\n", double(after - before) / 1048576.0, perOrder);
    std::printf("baseline, bare record blocks: %.0f bytes per record\n", perBare);
    if (perBare > 0) std::printf("ratio engine/bare: %.2f\n", perOrder / perBare);
    std::printf("goal: under 1024 bytes per order: %s\n", perOrder > 0 && perOrder < 1024 ? "met" : "NOT met");

    for (auto *b : bare) delete b;
    trader.reset();
    torasim::Broker::remove(address);
    return 0;
}
