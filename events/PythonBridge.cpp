// The engine's calls into Python. Deliveries come from threads Python did not create (the SDK's
// callback threads, the engine threads, the market-data supervisor), each call under the
// interpreter lock. A Python exception raised by a processor is printed and the engine carries on.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "events/PythonBridge.h"

#include <cstring>
#include <initializer_list>

#include "events/DeliveryGate.h"

namespace tc {
namespace py {
namespace {

// The event text processor; nullptr until set or until the built-in print has been looked up.
// Read and written only under the interpreter lock.
PyObject *gEventTextProcessor = nullptr;

bool interpreterUsable() {
    if (!Py_IsInitialized()) return false;
#if PY_VERSION_HEX >= 0x030D0000
    return !Py_IsFinalizing();
#else
    return !_Py_IsFinalizing();
#endif
}

// A thread that Python does not know would get a fresh thread state from every
// PyGILState_Ensure and lose it again at the matching Release: microseconds per event. So the
// first delivery on such a thread takes one outer Ensure that is kept while the thread lives
// (the lock itself is handed back at once); the per-call Ensure/Release pairs then only take and
// drop the lock. Python's own threads already have a state and are left alone.
class ThreadAttachment {
public:
    ThreadAttachment() = default;
    ThreadAttachment(const ThreadAttachment &) = delete;
    ThreadAttachment &operator=(const ThreadAttachment &) = delete;

    void ensure() {
        if (state_ != nullptr || PyGILState_GetThisThreadState() != nullptr) return;
        PyGILState_Ensure();
        state_ = PyEval_SaveThread();
    }

    ~ThreadAttachment() {
        // Once the gate is closed the state is left alone: finalization frees every thread state
        // itself, and ours may be gone already.
        if (state_ == nullptr || !delivery::enter()) return;
        if (interpreterUsable()) {
            PyEval_RestoreThread(state_);
            // The outer count drops to zero: the state is cleared and deleted and the lock released.
            PyGILState_Release(PyGILState_UNLOCKED);
        }
        delivery::leave();
    }

private:
    PyThreadState *state_ = nullptr;
};

thread_local ThreadAttachment tAttachment;

// The interpreter lock for the length of one call. Nothing is called once the package has closed
// the gate for the interpreter's exit, or once the interpreter is going away: a late SDK callback
// is dropped instead of touching a dead runtime.
class GilScope {
public:
    GilScope() : usable_(delivery::enter()) {
        if (!usable_) return;
        if (!interpreterUsable()) {
            delivery::leave();
            usable_ = false;
            return;
        }
        tAttachment.ensure();
        state_ = PyGILState_Ensure();
    }
    ~GilScope() {
        if (!usable_) return;
        // A processor that let the lock go (an engine call) while the interpreter began to shut
        // down never gets it back: Python ends the thread as it asks for it again, and the
        // unwinding of that end comes through here. There is nothing to release then. (The exit
        // closes the gate first and waits for the calls inside, so this is left to a processor
        // that outlasts the exit's grace.)
        if (PyGILState_Check()) PyGILState_Release(state_);
        delivery::leave();
    }
    GilScope(const GilScope &) = delete;
    GilScope &operator=(const GilScope &) = delete;
    explicit operator bool() const { return usable_; }

private:
    bool usable_;
    PyGILState_STATE state_ = PyGILState_LOCKED;
};

// Prints the pending exception with its traceback and clears it. PyErr_Print would end the
// process for SystemExit; a processor calling sys.exit() must not take the engine down, so that
// one is shown without the exit handling.
void printPendingError() {
    if (!PyErr_Occurred()) return;
    if (!PyErr_ExceptionMatches(PyExc_SystemExit)) {
        PyErr_Print();
        return;
    }
#if PY_VERSION_HEX >= 0x030C0000
    PyObject *exception = PyErr_GetRaisedException();
    PyErr_DisplayException(exception);
    Py_XDECREF(exception);
#else
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
    PyErr_Display(type, value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
#endif
    PyErr_Clear();
}

// A tuple of the given new references (stolen), or nullptr with an exception pending when one of
// them could not be made.
PyObject *tupleOf(std::initializer_list<PyObject *> items) {
    PyObject *tuple = nullptr;
    bool complete = true;
    for (PyObject *item : items) complete = complete && item != nullptr;
    if (complete) tuple = PyTuple_New(static_cast<Py_ssize_t>(items.size()));
    Py_ssize_t i = 0;
    for (PyObject *item : items) {
        if (tuple != nullptr) {
            PyTuple_SET_ITEM(tuple, i++, item);
        } else {
            Py_XDECREF(item);
        }
    }
    return tuple;
}

PyObject *newBool(bool value) {
    PyObject *b = value ? Py_True : Py_False;
    Py_INCREF(b);
    return b;
}

PyObject *newAddress(const void *record) {
    return PyLong_FromSsize_t(reinterpret_cast<Py_ssize_t>(record));
}

// What Py_BuildValue("s") gives: a str from UTF-8, None for a null pointer.
PyObject *newUtf8(const char *text) {
    if (text == nullptr) {
        Py_INCREF(Py_None);
        return Py_None;
    }
    return PyUnicode_FromString(text);
}

bool isAscii(const char *text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    }
    return true;
}

// Broker text is GB2312; bytes that do not decode are dropped. GB2312 leaves ASCII unchanged, so
// plain ASCII (most messages, every printer text without Chinese) skips the codec lookup.
PyObject *decodeGb2312(const char *text, std::size_t length) {
    if (isAscii(text, length)) return PyUnicode_DecodeASCII(text, static_cast<Py_ssize_t>(length), "strict");
    PyObject *bytes = PyBytes_FromStringAndSize(text, static_cast<Py_ssize_t>(length));
    if (bytes == nullptr) return nullptr;
    PyObject *decoded = PyCodec_Decode(bytes, "gb2312", "ignore");
    Py_DECREF(bytes);
    return decoded;
}

PyObject *decodeGb2312(const char *text) {
    if (text == nullptr) text = "";
    return decodeGb2312(text, std::strlen(text));
}

// A printer's text: GB2312, but UTF-8 in the stretches that came from Python (a user id set from
// Python is UTF-8, and read as GB2312 it would turn into other characters).
PyObject *decodePrinterText(const char *text, const Utf8Span *utf8, std::size_t utf8Count) {
    if (text == nullptr) text = "";
    const std::size_t length = std::strlen(text);
    if (utf8Count == 0) return decodeGb2312(text, length);
    PyObject *parts = PyList_New(0);
    std::size_t pos = 0;
    const auto add = [&parts](PyObject *part) {
        if (parts == nullptr) {
            Py_XDECREF(part);
            return;
        }
        if (part == nullptr || PyList_Append(parts, part) != 0) Py_CLEAR(parts);
        Py_XDECREF(part);
    };
    for (std::size_t i = 0; i < utf8Count; ++i) {
        // Held to the text and to order, whatever the spans say.
        std::size_t begin = utf8[i].begin > pos ? utf8[i].begin : pos;
        if (begin > length) begin = length;
        std::size_t end = utf8[i].end > begin ? utf8[i].end : begin;
        if (end > length) end = length;
        if (begin > pos) add(decodeGb2312(text + pos, begin - pos));
        add(PyUnicode_DecodeUTF8(text + begin, static_cast<Py_ssize_t>(end - begin), "ignore"));
        pos = end;
    }
    if (pos < length) add(decodeGb2312(text + pos, length - pos));
    if (parts == nullptr) return nullptr;
    PyObject *empty = PyUnicode_FromStringAndSize("", 0);
    PyObject *joined = empty ? PyUnicode_Join(empty, parts) : nullptr;
    Py_XDECREF(empty);
    Py_DECREF(parts);
    return joined;
}

// Calls `callable` with `args` (stolen; nullptr means building them failed) and no keywords.
void callWith(PyObject *callable, PyObject *args) {
    if (args == nullptr) {
        printPendingError();
        return;
    }
    PyObject *result = PyObject_Call(callable, args, nullptr);
    Py_DECREF(args);
    Py_XDECREF(result);
    if (result == nullptr || PyErr_Occurred()) printPendingError();
}

// __builtins__ of __main__ is the builtins module there, but a dict in any other module that a
// host may have installed as __main__; both are handled.
PyObject *lookupBuiltinPrint() {
    PyObject *mainModule = PyImport_AddModule("__main__");  // borrowed
    if (mainModule == nullptr) return nullptr;
    PyObject *builtins = PyObject_GetAttrString(mainModule, "__builtins__");
    if (builtins == nullptr) {
        PyErr_Clear();
        builtins = PyImport_ImportModule("builtins");
        if (builtins == nullptr) return nullptr;
    }
    PyObject *print = nullptr;
    if (PyDict_Check(builtins)) {
        print = PyDict_GetItemString(builtins, "print");  // borrowed
        Py_XINCREF(print);
        if (print == nullptr) PyErr_SetString(PyExc_AttributeError, "__builtins__ has no print");
    } else {
        print = PyObject_GetAttrString(builtins, "print");
    }
    Py_DECREF(builtins);
    return print;
}

// The current text processor as a new reference: it must outlive the call even if the callee
// replaces it through setEventTextProcessor.
PyObject *currentTextProcessor() {
    if (gEventTextProcessor == nullptr) gEventTextProcessor = lookupBuiltinPrint();
    Py_XINCREF(gEventTextProcessor);
    return gEventTextProcessor;
}

}  // namespace

bool isNone(PyObject *object) { return object == nullptr || object == Py_None; }

bool isCallable(PyObject *object) {
    if (isNone(object)) return false;
    GilScope gil;
    return gil && PyCallable_Check(object) != 0;
}

void retain(PyObject *object) {
    if (object == nullptr) return;
    GilScope gil;
    if (gil) Py_INCREF(object);
}

void callOrderProcessor(PyObject *processor, int eventID, const void *record) {
    if (isNone(processor)) return;
    GilScope gil;
    if (!gil) return;
    callWith(processor, tupleOf({PyLong_FromLong(eventID), newAddress(record)}));
}

void callEventProcessor(PyObject *processor, int eventID, const void *record, bool isLast, int errorID,
                        const char *message, const char *userID) {
    if (isNone(processor)) return;
    GilScope gil;
    if (!gil) return;
    callWith(processor, tupleOf({PyLong_FromLong(eventID), newAddress(record), newBool(isLast),
                                 PyLong_FromLong(errorID), decodeGb2312(message), newUtf8(userID)}));
}

void callNoArgs(PyObject *processor) {
    if (isNone(processor)) return;
    GilScope gil;
    if (!gil) return;
    PyObject *result = PyObject_CallObject(processor, nullptr);
    Py_XDECREF(result);
    if (result == nullptr || PyErr_Occurred()) printPendingError();
}

void emitText(const char *text, const Utf8Span *utf8, std::size_t utf8Count) {
    GilScope gil;
    if (!gil) return;
    PyObject *args = tupleOf({decodePrinterText(text, utf8, utf8Count)});
    if (args == nullptr) {
        printPendingError();
        return;
    }
    PyObject *processor = currentTextProcessor();
    if (processor == nullptr) {
        Py_DECREF(args);
        printPendingError();
        return;
    }
    callWith(processor, args);
    Py_DECREF(processor);
}

int setEventTextProcessor(PyObject *processor) {
    if (processor == nullptr) return -1;
    GilScope gil;
    if (!gil || !PyCallable_Check(processor)) return -1;
    Py_INCREF(processor);
    PyObject *previous = gEventTextProcessor;
    gEventTextProcessor = processor;
    Py_XDECREF(previous);  // may run Python code; the new processor is already in place
    return 0;
}

}  // namespace py
}  // namespace tc
