// Binds start-up and the order functions to the TORA stock adapters and the process-wide
// security directory.
#include "engine/Adapters.h"

#include <atomic>
#include <string>

#include "engine/Text.h"
#include "marketdata/CTORAStockMd.h"
#include "trader/CTORAStockTrader.h"
#include "trader/SecurityDirectory.h"

namespace tc {

namespace {

CBaseTrader *createStockTrader(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor,
                               PyObject *eventProcessor, PyObject *loopProcessor) {
    return new CTORAStockTrader(runID16, loginCopy, orderEventProcessor, eventProcessor, loopProcessor);
}

CBaseMd *createStockMd(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
                       PyObject *unused) {
    return new CTORAStockMd(loginCopy, marketDataProcessor, eventProcessor, unused);
}

std::atomic<TraderFactory> gTraderFactory{&createStockTrader};
std::atomic<MdFactory> gMdFactory{&createStockMd};

}  // namespace

AdapterFactories stockAdapterFactories() { return {&createStockTrader, &createStockMd}; }

AdapterFactories adapterFactories() {
    return {gTraderFactory.load(std::memory_order_acquire), gMdFactory.load(std::memory_order_acquire)};
}

AdapterFactories setAdapterFactories(AdapterFactories factories) {
    AdapterFactories previous = adapterFactories();
    gTraderFactory.store(factories.trader, std::memory_order_release);
    gMdFactory.store(factories.md, std::memory_order_release);
    return previous;
}

const SecurityEntry *findSecurityByCode(const char *standardID) {
    if (!standardID) return nullptr;
    char key[kSecurityKeySize];
    buildSecurityKey(key, standardID, "");
    return findSecurity(key);
}

const char *securityExchangeID(const SecurityEntry *entry) { return entry ? entry->ExchangeID : nullptr; }

}  // namespace tc
