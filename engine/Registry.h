// Process-wide registries of started engines and market-data sides, keyed by the engine key
// "UserType.UserID.RunID16", and the last init error. The registries only grow; a mutex guards
// them so that overlapping init calls (the interpreter lock is released during init) cannot
// corrupt them, and so that loop and exitX may walk them while init adds an engine.
#pragma once

#include <string>
#include <vector>

#include "records/QNRecords.h"

class CBaseTrader;
class CBaseMd;

namespace tc {

// "%d.%s.%d" of UserType, UserID and the low 16 bits of runID read as signed.
std::string engineKey(const CQNLoginField &login, int runID);
// The low 16 bits of runID read as a signed 16-bit number.
int runID16(int runID);

CBaseTrader *findEngine(const std::string &key);
// Registers `engine` under `key` unless the key already has one; returns the registered engine.
CBaseTrader *registerEngine(const std::string &key, CBaseTrader *engine);
// Every registered engine, in registry order.
std::vector<CBaseTrader *> registeredEngines();

CBaseMd *findMd(const std::string &key);
CBaseMd *registerMd(const std::string &key, CBaseMd *md);

int lastInitError();
void setLastInitError(int code);

}  // namespace tc
