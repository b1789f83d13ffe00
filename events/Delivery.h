// Handing events to Python: the processors an engine side holds, and the default printers used
// when a processor is None. Nothing here includes Python.h; the calls into Python go through
// events/PythonBridge.h, which the C++ tests replace with a recording stand-in.
#pragma once

#include "records/QNRecords.h"

#ifndef SWIG
typedef struct _object PyObject;
#endif

namespace tc {

// Same six values as an EventProcessor call.
using FallbackEventHandler = void (*)(int eventID, const void *record, bool isLast, int errorID,
                                      const char *message, const char *userID);

// The callables of one engine side. A side keeps a strong reference to each for its whole life.
// A null pointer counts as Python None (so C++ code and tests can leave slots empty).
struct EventSink {
    PyObject *orderEventProcessor = nullptr;   // (eventID, record address)
    PyObject *eventProcessor = nullptr;        // (eventID, address, isLast, errorID, message, userID)
    PyObject *loopProcessor = nullptr;         // ()
    PyObject *marketDataProcessor = nullptr;   // (eventID, record address)
    FallbackEventHandler fallbackEventHandler = nullptr;  // used when eventProcessor is None
    const char *userID = "";                   // the side's login copy's UserID
};

// Takes a strong reference to each non-None processor (done once at construction).
void retainProcessors(const EventSink &sink);

// Order events 10011..10017. The caller holds the order's record lock; the delivering thread
// is marked as holding it, so a processor's getOrderLock on this very record returns at once.
void deliverOrderEvent(const EventSink &sink, int eventID, CQNOrderField *order);
// Every other event; record may be null; message and userID never null (empty when absent).
void deliverEvent(const EventSink &sink, int eventID, const void *record, bool isLast, int errorID,
                  const char *message);
// Snapshot event 10021; the caller holds the snapshot's lock (same marking as orders).
void deliverSnapshotEvent(const EventSink &sink, int eventID, CQNMarketDataField *snapshot);
// Once per engine-thread pass while Working.
void callLoopProcessor(const EventSink &sink);

// Default printers.
void printOrderEvent(int eventID, const CQNOrderField *order);
void printSnapshotEvent(const CQNMarketDataField *snapshot);
void printEvent(int eventID, const void *record, bool isLast, int errorID, const char *message,
                const char *userID);

// Process-wide run mode ('0' debug prints everything, '1' release prints order events only).
char runMode();
void setRunModeValue(char mode);

}  // namespace tc
