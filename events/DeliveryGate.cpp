#include "events/DeliveryGate.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tc {
namespace delivery {
namespace {

// Never destroyed: SDK threads may still knock while the process runs its static destructors.
struct Gate {
    std::atomic<int> inside{0};
    std::atomic<bool> closed{false};
    std::mutex mutex;  // only for waking a closer
    std::condition_variable left;
};
Gate &gate() {
    static Gate *instance = new Gate();
    return *instance;
}

// Calls inside on this thread (a processor that calls the engine, which delivers again).
thread_local int tDepth = 0;

void depart(Gate &g) {
    g.inside.fetch_sub(1);
    if (g.closed.load()) {
        std::lock_guard<std::mutex> guard(g.mutex);
        g.left.notify_all();
    }
}

}  // namespace

bool enter() {
    Gate &g = gate();
    // Counted before the look at `closed`, and close() sets `closed` before it counts: a call
    // either sees the gate closed or is seen inside (both sequentially consistent).
    g.inside.fetch_add(1);
    if (g.closed.load()) {
        depart(g);
        return false;
    }
    ++tDepth;
    return true;
}

void leave() {
    --tDepth;
    depart(gate());
}

bool close(long long graceMicros) {
    Gate &g = gate();
    g.closed.store(true);
    const int own = tDepth;
    std::unique_lock<std::mutex> guard(g.mutex);
    return g.left.wait_for(guard, std::chrono::microseconds(graceMicros > 0 ? graceMicros : 0),
                           [&g, own] { return g.inside.load() <= own; });
}

bool isClosed() { return gate().closed.load(); }

void reopenForTests() { gate().closed.store(false); }

}  // namespace delivery
}  // namespace tc
