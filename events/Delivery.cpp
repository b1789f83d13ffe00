// Event delivery: a processor when the strategy gave one, the default printers otherwise.
#include "events/Delivery.h"

#include <atomic>
#include <charconv>
#include <string>
#include <vector>

#include "engine/Platform.h"
#include "engine/RecordBlock.h"
#include "engine/tradecore_api.h"
#include "events/EventTable.h"
#include "events/PythonBridge.h"

namespace tc {

thread_local const void *tlsDeliveredRecord = nullptr;

namespace {

std::atomic<char> gRunMode{ENUM_RunMode_Debug};

bool printsEverything() { return runMode() == ENUM_RunMode_Debug; }

// Marks the record whose lock the caller holds as this thread's delivered record for the length
// of the delivery, so the processor's own lock calls on it return at once.
class DeliveredMark {
public:
    explicit DeliveredMark(const void *record) : previous_(tlsDeliveredRecord) { tlsDeliveredRecord = record; }
    ~DeliveredMark() { tlsDeliveredRecord = previous_; }
    DeliveredMark(const DeliveredMark &) = delete;
    DeliveredMark &operator=(const DeliveredMark &) = delete;

private:
    const void *previous_;
};

// The printers' working text: a per-thread buffer that keeps its capacity, so printing does not
// allocate once warm. A printer reached again on the same thread while the outer one is still
// emitting (a text processor that makes the engine print) gets the next buffer of the pool.
// The text is GB2312 (the broker's) except for the stretches noted in `utf8`, which came from
// Python.
struct PrinterBuffer {
    std::string text;
    std::vector<Utf8Span> utf8;
};
class PrinterText {
public:
    PrinterText()
        : buffer_(depth_ < kPoolSize ? tc::platform::threadOwned<Pool, PrinterText>().buffers[depth_] : overflow_) {
        ++depth_;
        buffer_.text.clear();
        buffer_.utf8.clear();
    }
    ~PrinterText() { --depth_; }
    PrinterText(const PrinterText &) = delete;
    PrinterText &operator=(const PrinterText &) = delete;
    std::string &operator*() { return buffer_.text; }
    std::string *operator->() { return &buffer_.text; }
    std::vector<Utf8Span> &utf8() { return buffer_.utf8; }
    // Appends text that came from Python.
    void appendUtf8(const char *text) {
        const std::size_t begin = buffer_.text.size();
        buffer_.text.append(text);
        noteUtf8(buffer_.text, begin, buffer_.text.size(), buffer_.utf8);
    }
    void appendRecord(const RecordDesc &desc, const void *record) {
        tc::appendRecord(buffer_.text, desc, record, true, kSdkSeparator, kSdkPrecision, &buffer_.utf8);
    }
    void emit() { py::emitText(buffer_.text.c_str(), buffer_.utf8.data(), buffer_.utf8.size()); }

private:
    static constexpr int kPoolSize = 4;
    struct Pool {
        PrinterBuffer buffers[kPoolSize];
    };
    static thread_local int depth_;
    PrinterBuffer overflow_;
    PrinterBuffer &buffer_;
};
thread_local int PrinterText::depth_ = 0;

void appendInt(std::string &out, int value) {
    char buf[16];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

const char *orderEventName(int eventID) {
    const bool isOrderEvent = eventID >= ENUM_OrderEventID_Traded && eventID <= ENUM_OrderEventID_Cached;
    return isOrderEvent ? eventName(eventID) : nullptr;
}

}  // namespace

char runMode() { return gRunMode.load(std::memory_order_relaxed); }
void setRunModeValue(char mode) { gRunMode.store(mode, std::memory_order_relaxed); }

void retainProcessors(const EventSink &sink) {
    for (PyObject *processor : {sink.orderEventProcessor, sink.eventProcessor, sink.loopProcessor,
                                sink.marketDataProcessor}) {
        if (!py::isNone(processor)) py::retain(processor);
    }
}

void deliverOrderEvent(const EventSink &sink, int eventID, CQNOrderField *order) {
    DeliveredMark mark(order);
    if (py::isNone(sink.orderEventProcessor)) {
        printOrderEvent(eventID, order);
        return;
    }
    py::callOrderProcessor(sink.orderEventProcessor, eventID, order);
}

void deliverEvent(const EventSink &sink, int eventID, const void *record, bool isLast, int errorID,
                  const char *message) {
    const char *text = message ? message : "";
    const char *userID = sink.userID ? sink.userID : "";
    if (py::isNone(sink.eventProcessor)) {
        // Both sides install printEvent here; a sink built without one still prints.
        FallbackEventHandler fallback = sink.fallbackEventHandler ? sink.fallbackEventHandler : &printEvent;
        fallback(eventID, record, isLast, errorID, text, userID);
        return;
    }
    py::callEventProcessor(sink.eventProcessor, eventID, record, isLast, errorID, text, userID);
}

void deliverSnapshotEvent(const EventSink &sink, int eventID, CQNMarketDataField *snapshot) {
    DeliveredMark mark(snapshot);
    if (py::isNone(sink.marketDataProcessor)) {
        printSnapshotEvent(snapshot);
        return;
    }
    py::callOrderProcessor(sink.marketDataProcessor, eventID, snapshot);
}

void callLoopProcessor(const EventSink &sink) {
    if (!py::isNone(sink.loopProcessor)) py::callNoArgs(sink.loopProcessor);
}

void printOrderEvent(int eventID, const CQNOrderField *order) {
    PrinterText text;
    text->append("-------\nEventName:");
    if (const char *name = orderEventName(eventID)) text->append(name).append(".\n");
    text->append("QNOrderField>>>\n");
    text.appendRecord(orderRecordDesc(), order);
    text->push_back('\n');
    text.emit();
}

void printSnapshotEvent(const CQNMarketDataField *snapshot) {
    if (!printsEverything()) return;
    PrinterText text;
    text->append("-------\nEventName:MarketDataSnap.\nCQNMarketDataField>>>\n");
    text.appendRecord(marketDataRecordDesc(), snapshot);
    text->append("\n-------");
    text.emit();
}

void printEvent(int eventID, const void *record, bool /*isLast*/, int errorID, const char *message,
                const char *userID) {
    // Security query answers arrive by the thousand at every login; they are never printed.
    if (!printsEverything() || eventID == ENUM_TORAStockTaskID_QrySecurity) return;
    EventRow row{};
    const bool named = findPrintedEventRow(eventID, &row);
    PrinterText text;
    text->append("-------\nEventName:");
    if (named) text->append(row.name).push_back(',');
    text->append("EventID:");
    appendInt(*text, eventID);
    text->append(",UserID:");
    text.appendUtf8(userID ? userID : "");
    text->append(",ErrorID:");
    appendInt(*text, errorID);
    text->append(",Message:").append(message ? message : "").append(".\nCTPField>>>\n");
    if (named && record != nullptr && row.record != nullptr) text.appendRecord(*row.record, record);
    text->append("\n-------");
    text.emit();
}

}  // namespace tc

extern "C" TRADECORE_API int setRunMode(TQNRunModeType RunMode) {
    tc::setRunModeValue(RunMode);
    return 0;
}

extern "C" TRADECORE_API int setEventTextProcessor(PyObject *Processor) {
    return tc::py::setEventTextProcessor(Processor);
}
