#include "shell/event_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <map>
#include <string>
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
    int64_t lParam = 0;
};

struct EventQueue {
    std::deque<QueuedEvent> events;
    std::deque<RawMessage> rawMessages;
    uint64_t rawRecorded = 0, rawReturned = 0;
    CurrentEvent current;
    int suppression = 0;
};

thread_local EventQueue queue;

std::map<std::string, std::vector<void (*)()>> bindings;

std::string bindingKey(int kind, int window, int object, int type) {
    char text[64];
    std::snprintf(text, sizeof text, "%d:%d:%d:%d", kind, window, object, type);
    return text;
}

void releaseCurrentData() {
    CurrentEvent& current = queue.current;
    if (current.data != nullptr && current.releaseData != nullptr) current.releaseData(current.data);
    current.data = nullptr;
    current.releaseData = nullptr;
}

void callBoundCallbacks(int kind, int object, int window, int type, void* data) {
    if (bindings.empty()) return;
    const std::string keys[] = {bindingKey(kind, window, object, type), bindingKey(kind, window, object, -1),
                                bindingKey(kind, window, -1, -1), bindingKey(kind, -1, -1, -1),
                                bindingKey(kind, -1, object, type)};
    CurrentEvent saved = queue.current;
    for (size_t index = 0; index < std::size(keys); ++index) {
        bool seen = false;
        for (size_t earlier = 0; earlier < index; ++earlier) seen = seen || keys[earlier] == keys[index];
        auto found = bindings.find(keys[index]);
        if (seen || found == bindings.end()) continue;
        // A callback may bind more callbacks: run the ones bound now, most recent first.
        std::vector<void (*)()> callbacks(found->second.rbegin(), found->second.rend());
        for (void (*callback)() : callbacks) {
            queue.current = CurrentEvent{kind, object, window, type, data, nullptr, 0, 0};
            callback();
        }
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
            event.kind, event.object, event.window, event.type, event.data, event.releaseData, 0, 0};
        return true;
    }
    if (q.rawMessages.empty()) return false;
    RawMessage raw = q.rawMessages.front();
    q.rawMessages.pop_front();
    ++q.rawReturned;
    q.current = CurrentEvent{raw.message, 0, raw.window, 0, nullptr, nullptr, raw.wParam, raw.lParam};
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
int64_t eventLParam() {
    return queue.current.lParam;
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

int pendingEventCount() {
    return static_cast<int>(queue.events.size() + queue.rawMessages.size());
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

void bindEvent(int kind, int window, int object, int type, void (*callback)()) {
    if (callback != nullptr) bindings[bindingKey(kind, window, object, type)].push_back(callback);
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
