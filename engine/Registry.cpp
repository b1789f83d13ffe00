#include "engine/Registry.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

#include "engine/CBaseTrader.h"
#include "engine/OrderGate.h"
#include "engine/Text.h"

namespace tc {

namespace {

struct Registries {
    std::mutex mutex;
    std::map<std::string, CBaseTrader *> engines;
    std::map<std::string, CBaseMd *> mds;
};

// Never destroyed: engine threads and SDK threads may still look engines up while the process
// exits.
Registries &registries() {
    static Registries *r = new Registries();
    return *r;
}

std::atomic<int> gLastInitError{0};

}  // namespace

int runID16(int runID) {
    return static_cast<int>(static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned>(runID) & 0xFFFFu)));
}

std::string engineKey(const CQNLoginField &login, int runID) {
    std::string key = std::to_string(login.UserType);
    key += '.';
    key.append(login.UserID, fieldLength(login.UserID, sizeof login.UserID));
    key += '.';
    key += std::to_string(runID16(runID));
    return key;
}

CBaseTrader *findEngine(const std::string &key) {
    Registries &r = registries();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto it = r.engines.find(key);
    return it == r.engines.end() ? nullptr : it->second;
}

CBaseTrader *registerEngine(const std::string &key, CBaseTrader *engine) {
    Registries &r = registries();
    std::lock_guard<std::mutex> guard(r.mutex);
    return r.engines.emplace(key, engine).first->second;
}

std::vector<CBaseTrader *> registeredEngines() {
    Registries &r = registries();
    std::lock_guard<std::mutex> guard(r.mutex);
    std::vector<CBaseTrader *> out;
    out.reserve(r.engines.size());
    for (const auto &entry : r.engines) out.push_back(entry.second);
    return out;
}

CBaseMd *findMd(const std::string &key) {
    Registries &r = registries();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto it = r.mds.find(key);
    return it == r.mds.end() ? nullptr : it->second;
}

CBaseMd *registerMd(const std::string &key, CBaseMd *md) {
    Registries &r = registries();
    std::lock_guard<std::mutex> guard(r.mutex);
    return r.mds.emplace(key, md).first->second;
}

namespace {

// The handle comes from Python as a number: it is used only once it is known to be an engine.
template <class F>
bool withRegisteredEngine(const void *engine, F &&f) {
    Registries &r = registries();
    std::lock_guard<std::mutex> guard(r.mutex);
    for (const auto &entry : r.engines) {
        if (entry.second != engine) continue;
        f(*entry.second);
        return true;
    }
    return false;
}

}  // namespace

bool installOrderGate(const void *engine, OrderGate *gate) {
    return withRegisteredEngine(engine, [gate](CBaseTrader &e) { e.setOrderGate(gate); });
}

bool removeOrderGate(const void *engine, OrderGate *gate) {
    return withRegisteredEngine(engine, [gate](CBaseTrader &e) { e.clearOrderGate(gate); });
}

int lastInitError() { return gLastInitError.load(std::memory_order_acquire); }
void setLastInitError(int code) { gLastInitError.store(code, std::memory_order_release); }

}  // namespace tc
