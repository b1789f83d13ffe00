// _control: what the package's Python layer (tradecore.strategy) needs of the engine beyond its
// 33 functions: an engine's status, the restart of a stopped strategy's engine, the default
// printers for the events a strategy leaves to the engine, and the close at interpreter exit. Built with the same SWIG runtime as
// _tradecore, so the engine handles that init returns are accepted here.
%module control

%{
#include <cstdint>
#include "engine/PackageHooks.h"
%}

class CBaseTrader;

// The broker's texts travel to the printers as the bytes they came in (GB2312).
%typemap(in) const char *gbText {
  if (!PyBytes_Check($input)) {
    PyErr_SetString(PyExc_TypeError, "in method '$symname', argument $argnum: expected bytes");
    SWIG_fail;
  }
  $1 = PyBytes_AS_STRING($input);
}

%inline %{
// The engine's API status, an ENUM_ApiStatus_ code ("0" for None).
char engineStatus(CBaseTrader *engine) { return tc::hooks::engineStatus(engine); }

// An exited engine takes its session's status again; returns the status now.
char resumeEngine(CBaseTrader *engine) { return tc::hooks::resumeEngine(engine); }

// Called once as the interpreter exits, before it finalizes (with the interpreter lock released,
// as every call here): every engine exits, the loop and the calls into Python under way are waited
// for, at most `graceSeconds`, and no thread of the engine or the SDK enters Python again. True
// when everything ended within the grace.
bool closeForExit(double graceSeconds) {
  const double seconds = graceSeconds > 0 ? (graceSeconds < 86400 ? graceSeconds : 86400) : 0;  // NaN: 0
  return tc::hooks::closeForExit(static_cast<long long>(seconds * 1e6));
}

// Prints an event as the engine's default printer of its kind would, run mode and event text
// processor included. `address` is the record address the event carried.
void printDefault(int eventID, unsigned long long address, bool isLast, int errorID, const char *gbText,
                  const char *userID) {
  tc::hooks::printDefault(eventID, reinterpret_cast<const void *>(static_cast<std::uintptr_t>(address)), isLast,
                          errorID, gbText, userID);
}
%}
