#include "shell/event_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "shell/shell_parts.h"
#include "shell/window_table.h"

namespace {

struct QueuedEvent {
    int kind = 0, object = 0, window = 0, type = 0;
    void* data = nullptr;
    void (*releaseData)(void*) = nullptr;
    uint64_t rawMessagesBefore = 0;  // raw messages recorded when it was posted
};

struct CurrentEvent {
    int kind = 0, object = 0, window = 0, type = 0;
    void* data = nullptr;
    void (*releaseData)(void*) = nullptr;  // nullptr while the data belongs to someone else
    uint64_t wParam = 0;
};

struct EventQueue {
    std::deque<QueuedEvent> events;
    std::deque<RawMessage> rawMessages;
    uint64_t rawRecorded = 0, rawReturned = 0;
    CurrentEvent current;
    int suppression = 0;
};

thread_local EventQueue queue;

std::map<std::pair<int, int>, std::vector<void (*)()>> bindings;  // by window and control

void releaseCurrentData() {
    CurrentEvent& current = queue.current;
    if (current.data != nullptr && current.releaseData != nullptr) current.releaseData(current.data);
    current.data = nullptr;
    current.releaseData = nullptr;
}

void callBoundCallbacks(int kind, int object, int window, int type, void* data) {
    if (kind != kEventControl) return;
    auto found = bindings.find({window, object});
    if (found == bindings.end()) return;
    // A callback may bind more callbacks: run the ones bound now, most recent first.
    std::vector<void (*)()> callbacks(found->second.rbegin(), found->second.rend());
    CurrentEvent saved = queue.current;
    for (void (*callback)() : callbacks) {
        queue.current = CurrentEvent{kind, object, window, type, data, nullptr, 0};
        callback();
    }
    queue.current = saved;
}

// The queued events posted up to the last raw message returned come first; then raw
// messages; then whatever was posted later.
bool takeNextEvent() {
    EventQueue& q = queue;
    bool eventFirst =
        !q.events.empty() && (q.events.front().rawMessagesBefore <= q.rawReturned || q.rawMessages.empty());
    if (eventFirst) {
        QueuedEvent event = q.events.front();
        q.events.pop_front();
        q.current = CurrentEvent{
            event.kind, event.object, event.window, event.type, event.data, event.releaseData, 0};
        return true;
    }
    if (q.rawMessages.empty()) return false;
    RawMessage raw = q.rawMessages.front();
    q.rawMessages.pop_front();
    ++q.rawReturned;
    q.current = CurrentEvent{raw.message, 0, raw.window, 0, nullptr, nullptr, raw.wParam};
    return true;
}

void pumpPlatformEvents(QEventLoop::ProcessEventsFlags flags) {
    // processEvents never runs a deleteLater issued by the program itself.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(flags);
}

}  // namespace

void recordRawMessage(const RawMessage& raw) {
    queue.rawMessages.push_back(raw);
    ++queue.rawRecorded;
}

void pumpPendingEvents() {
    pumpPlatformEvents(QEventLoop::AllEvents);
}

void clearRawMessages() {
    queue.rawMessages.clear();
    queue.rawReturned = queue.rawRecorded;
}

int waitEvent() {
    return waitEvent(-1);
}

// A negative timeout waits for as long as it takes.
int waitEvent(int timeoutMs) {
    releaseCurrentData();
    queue.current = CurrentEvent{};
    if (takeNextEvent()) return queue.current.kind;
    if (QCoreApplication::instance() == nullptr) return 0;
    QElapsedTimer clock;
    clock.start();
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    for (;;) {
        qint64 remaining = timeoutMs - clock.elapsed();
        bool lastLook = timeoutMs >= 0 && remaining <= 0;
        if (timeoutMs >= 0 && !lastLook) wakeUp.start(static_cast<int>(remaining));
        pumpPlatformEvents(lastLook ? QEventLoop::AllEvents : QEventLoop::WaitForMoreEvents);
        if (takeNextEvent()) return queue.current.kind;
        if (lastLook) return 0;
    }
}

int eventKind() {
    return queue.current.kind;
}
int eventControl() {
    return queue.current.object;
}
int eventMenuItem() {
    return queue.current.object;
}
int eventWindow() {
    return queue.current.window;
}
int eventType() {
    return queue.current.type;
}
uint64_t eventWParam() {
    return queue.current.wParam;
}
const void* eventData() {
    return queue.current.data;
}

void postEvent(int kind, int object, int window, int type, void* data, void (*releaseData)(void*)) {
    EventQueue& q = queue;
    if (q.suppression > 0) {
        if (data != nullptr && releaseData != nullptr) releaseData(data);
        return;
    }
    bool merged = kind >= 0 && kind <= 0xFFFF && !q.events.empty() && q.events.back().kind == kind &&
                  q.events.back().object == object && q.events.back().window == window &&
                  q.events.back().type == type;
    if (!merged)
        q.events.push_back(QueuedEvent{kind, object, window, type, data, releaseData, q.rawRecorded});
    callBoundCallbacks(kind, object, window, type, data);
    if (merged && data != nullptr && releaseData != nullptr) releaseData(data);
}

void clearEvents() {
    for (QueuedEvent& event : queue.events) {
        if (event.data != nullptr && event.releaseData != nullptr) event.releaseData(event.data);
    }
    queue.events.clear();
    clearRawMessages();
    releaseCurrentData();
    queue.current = CurrentEvent{};
}

void resetEventQueue() {
    clearEvents();
    queue.suppression = 0;
}

void bindEvent(int window, int control, void (*callback)()) {
    if (callback != nullptr) bindings[{window, control}].push_back(callback);
}

void unbindAllEvents() {
    bindings.clear();
}

void suppressEvents() {
    ++queue.suppression;
}

void resumeEvents() {
    if (queue.suppression > 0) --queue.suppression;
}
