// The fault soak, short form: two sessions of one paper account trade under every kind of fault
// the broker can inject, then every order record is compared with the broker's ledger.
// TRADECORE_SOAK_SECONDS sets how long the strategies trade (tools/soak.sh runs it for minutes).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/FaultSoak.h"
#include "support/Reliability.h"

namespace {

using tc::testing::SoakOptions;
using tc::testing::SoakReport;

double soakSeconds(double fallback) {
    const char *text = std::getenv("TRADECORE_SOAK_SECONDS");
    if (!text || !*text) return fallback;
    const double value = std::atof(text);
    return value > 0 ? value : fallback;
}

void print(const char *name, const SoakOptions &options, const SoakReport &report) {
    std::printf("[ soak ] %s, %.0f s: %s\n", name, options.seconds, report.summary().c_str());
    const bool verbose = std::getenv("TRADECORE_SOAK_VERBOSE") != nullptr;
    std::size_t shown = 0;
    for (const std::string &line : report.details) {
        if (!verbose && ++shown > 20) {
            std::printf("[ soak ]   ... %zu more (TRADECORE_SOAK_VERBOSE=1 shows all)\n", report.details.size() - 20);
            break;
        }
        std::printf("[ soak ]   %s\n", line.c_str());
    }
    std::fflush(stdout);
}

void expectHealthy(const SoakReport &report) {
    EXPECT_TRUE(report.loopReturned);
    EXPECT_TRUE(report.settled) << "resting orders left at the broker, or an engine did not log in again";
    EXPECT_GT(report.ordersAtBroker, 0);
    EXPECT_EQ(report.mismatches, 0) << "order records disagree with the broker's ledger";
    EXPECT_EQ(report.foreignEvents, 0) << "order events for another engine's or session's orders";
    EXPECT_EQ(report.invariantBreaks, 0);
    // A bound that only a lock left held (or a processor stuck under one) can exceed.
    EXPECT_LT(report.maxLockWaitMs, 2000.0);
}

TEST(FaultSoak, OrderRecordsAgreeWithTheBrokersLedgerUnderEveryFault) {
    SoakOptions options;
    options.seconds = soakSeconds(6);
    options.faults = tc::testing::defaultSoakFaults(options.seed);
    tc::testing::Watchdog dog(std::chrono::milliseconds(static_cast<long long>(options.seconds * 1000) + 300000),
                              "fault soak");
    const SoakReport report = tc::testing::runFaultSoak("soak-all", options);
    print("every fault", options, report);
    expectHealthy(report);
    EXPECT_GT(report.faultsInjected(), 0);
}

// The other faults alone, at a different seed: more of them reach orders that no disconnection
// interrupts.
TEST(FaultSoak, EveryOtherFaultWithoutDisconnections) {
    SoakOptions options;
    options.seconds = soakSeconds(4);
    options.seed = 11;
    options.faults = tc::testing::defaultSoakFaults(options.seed);
    options.faults.disconnect = 0;
    tc::testing::Watchdog dog(std::chrono::milliseconds(static_cast<long long>(options.seconds * 1000) + 300000),
                              "fault soak without disconnections");
    const SoakReport report = tc::testing::runFaultSoak("soak-nodrop", options);
    print("no disconnections", options, report);
    expectHealthy(report);
    EXPECT_EQ(report.faults.disconnects, 0u);
}

}  // namespace
