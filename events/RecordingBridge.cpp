// Recording stand-in for events/PythonBridge.cpp, linked into the C++ test library.
#include "events/RecordingBridge.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "engine/RecordBlock.h"
#include "events/DeliveryGate.h"

namespace tc {
namespace recording {
namespace {

struct Log {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;
    std::function<void(const Call &)> hook;
    PyObject *textProcessor = nullptr;
};

// Never destroyed: engines outlive the test that started them, and their SDK threads may still
// deliver (a last disconnection) while the process runs its static destructors.
Log &log() {
    static Log *instance = new Log();
    return *instance;
}

std::atomic<std::size_t> gCallCount{0};
std::atomic<bool> gRecording{true};

Call newCall(CallKind kind, PyObject *processor) {
    Call call;
    call.kind = kind;
    call.processor = processor;
    call.deliveredRecord = tlsDeliveredRecord;
    call.thread = std::this_thread::get_id();
    return call;
}

// Inside the delivery gate for as long as a call (its hook included) runs, as in the Python bridge.
struct GatePass {
    const bool open = delivery::enter();
    ~GatePass() {
        if (open) delivery::leave();
    }
};

// Logs the call, then runs the hook (if any) on this thread. Nothing passes a closed gate.
void record(Call call, bool runHook) {
    const GatePass pass;
    if (!pass.open) return;
    gCallCount.fetch_add(1, std::memory_order_relaxed);
    if (!gRecording.load(std::memory_order_relaxed)) return;
    Log &l = log();
    std::function<void(const Call &)> hook;
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        l.calls.push_back(call);
        if (runHook) hook = l.hook;
    }
    l.changed.notify_all();
    if (hook) hook(call);
}

}  // namespace

PyObject *fakeCallable(int n) {
    static char tokens[16];
    return reinterpret_cast<PyObject *>(&tokens[n & 15]);
}

void clear() {
    delivery::reopenForTests();
    Log &l = log();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.calls.clear();
    l.textProcessor = nullptr;
    gCallCount.store(0, std::memory_order_relaxed);
}

std::vector<Call> snapshot() {
    Log &l = log();
    std::lock_guard<std::mutex> lock(l.mutex);
    return l.calls;
}

std::size_t callCount() { return gCallCount.load(std::memory_order_relaxed); }

std::vector<std::string> emittedTexts() {
    std::vector<std::string> texts;
    for (const Call &call : snapshot()) {
        if (call.kind == CallKind::EmitText) texts.push_back(call.text);
    }
    return texts;
}

bool waitFor(const std::function<bool(const std::vector<Call> &)> &pred, std::chrono::milliseconds timeout) {
    Log &l = log();
    std::unique_lock<std::mutex> lock(l.mutex);
    return l.changed.wait_for(lock, timeout, [&] { return pred(l.calls); });
}

bool waitForCount(std::size_t n, std::chrono::milliseconds timeout) {
    return waitFor([n](const std::vector<Call> &calls) { return calls.size() >= n; }, timeout);
}

void setCallHook(std::function<void(const Call &)> hook) {
    Log &l = log();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.hook = std::move(hook);
}

void setRecordingEnabled(bool enabled) { gRecording.store(enabled, std::memory_order_relaxed); }

PyObject *eventTextProcessor() {
    Log &l = log();
    std::lock_guard<std::mutex> lock(l.mutex);
    return l.textProcessor;
}

}  // namespace recording

namespace py {

using recording::Call;
using recording::CallKind;

bool isNone(PyObject *object) { return object == nullptr; }
bool isCallable(PyObject *object) { return object != nullptr; }

void retain(PyObject *object) {
    if (object == nullptr) return;
    recording::record(recording::newCall(CallKind::Retain, object), false);
}

void callOrderProcessor(PyObject *processor, int eventID, const void *record) {
    if (isNone(processor)) return;
    Call call = recording::newCall(CallKind::OrderProcessor, processor);
    call.eventID = eventID;
    call.record = record;
    recording::record(std::move(call), true);
}

void callEventProcessor(PyObject *processor, int eventID, const void *record, bool isLast, int errorID,
                        const char *message, const char *userID) {
    if (isNone(processor)) return;
    Call call = recording::newCall(CallKind::EventProcessor, processor);
    call.eventID = eventID;
    call.record = record;
    call.isLast = isLast;
    call.errorID = errorID;
    call.message = message ? message : "";
    call.userID = userID ? userID : "";
    recording::record(std::move(call), true);
}

void callNoArgs(PyObject *processor) {
    if (isNone(processor)) return;
    recording::record(recording::newCall(CallKind::NoArgs, processor), true);
}

void emitText(const char *text, const Utf8Span *utf8, std::size_t utf8Count) {
    Call call = recording::newCall(CallKind::EmitText, recording::eventTextProcessor());
    call.text = text ? text : "";
    for (std::size_t i = 0; i < utf8Count; ++i) call.utf8.push_back(call.text.substr(utf8[i].begin, utf8[i].end - utf8[i].begin));
    recording::record(std::move(call), true);
}

int setEventTextProcessor(PyObject *processor) {
    const int result = processor != nullptr ? 0 : -1;
    {
        recording::Log &l = recording::log();
        std::lock_guard<std::mutex> lock(l.mutex);
        if (result == 0) l.textProcessor = processor;
    }
    Call call = recording::newCall(CallKind::SetTextProcessor, processor);
    call.errorID = result;
    recording::record(std::move(call), false);
    return result;
}

}  // namespace py
}  // namespace tc
