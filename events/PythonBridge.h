// Every call from the engine into Python goes through these functions. The library implements
// them in PythonBridge.cpp (the one engine file that includes Python.h); the C++ tests link
// RecordingBridge.cpp instead, which records each call.
//
// A null PyObject pointer counts as Python None everywhere. Each call takes the interpreter lock
// for itself, so callers may be on any thread and must not hold it.
#pragma once

#include <cstddef>

#include "events/FieldTable.h"

#ifndef SWIG
typedef struct _object PyObject;
#endif

namespace tc {
namespace py {

bool isNone(PyObject *object);
bool isCallable(PyObject *object);  // false for None
// Takes a strong reference, kept for the life of the process (the engines own their processors).
void retain(PyObject *object);

// processor(eventID, record address); the address is 0 for a null record.
void callOrderProcessor(PyObject *processor, int eventID, const void *record);
// processor(eventID, record address, isLast, errorID, message, userID); message is broker text
// (GB2312), decoded with undecodable bytes dropped.
void callEventProcessor(PyObject *processor, int eventID, const void *record, bool isLast, int errorID,
                        const char *message, const char *userID);
// processor()
void callNoArgs(PyObject *processor);

// Hands one finished text to the event text processor, Python's print by default. The text is
// GB2312 but for the stretches in `utf8` (ascending, apart), which came from Python.
void emitText(const char *text, const Utf8Span *utf8 = nullptr, std::size_t utf8Count = 0);
// Replaces the event text processor. A callable is kept (0); anything else is refused (-1) and the
// previous processor stays.
int setEventTextProcessor(PyObject *processor);

}  // namespace py
}  // namespace tc
