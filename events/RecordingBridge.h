// The C++ tests' stand-in for the calls into Python (events/PythonBridge.h): every call is
// recorded, in order, in one process-wide log that tests read back. No Python is involved, so
// the engine can run under the sanitizers.
//
// A null PyObject pointer counts as None; any other pointer counts as a callable. fakeCallable(n)
// gives distinct such pointers.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "events/PythonBridge.h"

namespace tc {
namespace recording {

enum class CallKind {
    Retain,               // retain(processor)
    OrderProcessor,       // callOrderProcessor: processor, eventID, record
    EventProcessor,       // callEventProcessor: all six values
    NoArgs,               // callNoArgs: processor
    EmitText,             // emitText: text; processor = the text processor in force (nullptr: print)
    SetTextProcessor,     // setEventTextProcessor: processor, result in errorID
};

struct Call {
    CallKind kind;
    PyObject *processor = nullptr;
    int eventID = 0;
    const void *record = nullptr;
    bool isLast = false;
    int errorID = 0;
    std::string message;
    std::string userID;
    std::string text;
    std::vector<std::string> utf8;  // EmitText: the stretches of text noted as UTF-8, in order
    const void *deliveredRecord = nullptr;  // tc::tlsDeliveredRecord on the calling thread
    std::thread::id thread;
};

// A distinct non-null "callable" per n (0 <= n < 16).
PyObject *fakeCallable(int n);

void clear();                    // empties the log, forgets the text processor, opens the delivery gate
std::vector<Call> snapshot();    // a copy of the log
std::size_t callCount();         // calls made since the last clear(), recorded or not (none past a closed gate)
std::vector<std::string> emittedTexts();  // the text of every EmitText call, in order

// Waits until pred(log) holds or the timeout passes; returns whether it holds.
bool waitFor(const std::function<bool(const std::vector<Call> &)> &pred,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Waits until the log holds at least n calls.
bool waitForCount(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs on the calling thread inside every processor call (OrderProcessor, EventProcessor,
// NoArgs, EmitText), after the call is logged and outside the log's lock: lets a test act as
// the processor would (take record locks, call the engine back). Pass nullptr to remove it.
void setCallHook(std::function<void(const Call &)> hook);

// With recording off, calls are only counted (for benchmarks and long runs). On by default.
void setRecordingEnabled(bool enabled);

// The text processor set through setEventTextProcessor (nullptr: the built-in print).
PyObject *eventTextProcessor();

}  // namespace recording
}  // namespace tc
