// The gate every call into Python passes, closed once as the interpreter exits.
//
// Python ends a thread that asks for the interpreter lock after finalization has begun, in the
// middle of our frames; and the thread states our native threads keep for their life
// (PythonBridge.cpp) are freed by finalization, so handing one back afterwards kills the process
// ("Fatal Python error: PyGILState_Release"). So the package closes this gate before
// finalization (hooks::closeForExit): calls already inside finish, and every later one, on any
// thread, is dropped without touching Python.
#pragma once

namespace tc {
namespace delivery {

// True: the caller may call into Python now and calls leave() once done. False once the gate is
// closed: nothing of Python may be touched, and leave() is not called.
bool enter();
void leave();

// Closes the gate, then waits until the calls inside have left (those of the calling thread
// excepted: they are its callers) or `graceMicros` have passed. True when none is left inside.
bool close(long long graceMicros);
bool isClosed();

// Opens the gate again: for the C++ tests, whose process lives on after a case closed it.
void reopenForTests();

}  // namespace delivery
}  // namespace tc
