// The fault soak: two engines (two sessions of one paper account, disjoint order-id ranges) run
// by loop() while the paper broker injects faults (refused sends, dropped, late and error
// answers, duplicated and reordered notifications, disconnections with reconnection) and each
// engine's strategy places, cancels and queries continuously from its own thread, from its
// order-event processor and from its loop processor. At the end the market is settled (every
// resting order cancelled at the broker) and every order record is compared with the broker's
// ledger for that order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "torasim/SimControl.h"

namespace tc {
namespace testing {

struct SoakOptions {
    double seconds = 6;            // how long the strategies trade under faults
    std::uint64_t seed = 7;        // fault and market seed
    double ordersPerSecond = 40;   // per engine, from its strategy thread (the processors add more)
    torasim::FaultConfig faults;   // applied once both engines are working
    bool verbose = false;          // prints every mismatch
};

// Fault rates that exercise every kind of fault several times in a few seconds.
torasim::FaultConfig defaultSoakFaults(std::uint64_t seed);

struct SoakReport {
    long ordersPlaced = 0;          // order records created (all engines, all threads)
    long ordersAtBroker = 0;        // of them, the ones in the broker's ledger
    long refusedAtSend = 0;         // Rejected with "Error:Fail To Send." (no ledger entry)
    long orderEvents = 0;           // order events delivered
    long otherEvents = 0;           // every other event (answers, disconnections, readiness)
    long snapshotEvents = 0;        // market-data events
    long loopCalls = 0;             // loop processor calls
    long cancelsSent = 0;
    long queriesAdded = 0;
    long reconnections = 0;         // TraderReady events after the first, per engine
    long foreignEvents = 0;         // order events with a record of another engine or session
    long mismatches = 0;            // records that disagree with the ledger (must be 0)
    long invariantBreaks = 0;       // impossible record states seen by readers
    double maxLockWaitMs = 0;       // longest wait for an order record lock (strategy and readers)
    long lockWaits = 0;             // lock acquisitions measured
    torasim::FaultCounters faults;
    std::vector<std::string> details;  // one line per mismatch and invariant break
    bool settled = false;           // the market settled (no resting order) before reconciling
    bool loopReturned = false;

    long faultsInjected() const;
    std::string summary() const;
};

// Runs the whole soak; fronts and users are derived from `name`.
SoakReport runFaultSoak(const std::string &name, const SoakOptions &options);

}  // namespace testing
}  // namespace tc
