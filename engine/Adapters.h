// What start-up and the order functions need of the broker adapters, gathered here so that the
// rest of the engine does not depend on the adapters' headers. Adapters.cpp binds these to the
// TORA stock trader, the TORA stock market-data side and the process-wide security directory.
#pragma once

#include "engine/tradecore_api.h"
#include "records/QNRecords.h"

class CBaseTrader;
class CBaseMd;

namespace tc {

struct SecurityEntry;

constexpr int kStockTraderFrontType = 40004;
constexpr int kStockMdFrontType = 30004;

using TraderFactory = CBaseTrader *(*)(int runID16, CQNLoginField *loginCopy, PyObject *orderEventProcessor,
                                      PyObject *eventProcessor, PyObject *loopProcessor);
using MdFactory = CBaseMd *(*)(CQNLoginField *loginCopy, PyObject *marketDataProcessor, PyObject *eventProcessor,
                              PyObject *unused);

struct AdapterFactories {
    TraderFactory trader;  // front type 40004
    MdFactory md;          // front type 30004
};

// The TORA stock adapters.
AdapterFactories stockAdapterFactories();
// The factories init uses; tests put doubles in place and get the previous pair back.
AdapterFactories adapterFactories();
AdapterFactories setAdapterFactories(AdapterFactories factories);

// The security directory entry under the key standardID + ".", or null.
const SecurityEntry *findSecurityByCode(const char *standardID);
// The entry's exchange code.
const char *securityExchangeID(const SecurityEntry *entry);

}  // namespace tc
