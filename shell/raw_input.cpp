#include "shell/raw_input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <array>
#include <bitset>

#include "shell/event_queue.h"
#include "shell/shell_parts.h"
#include "shell/window_table.h"

namespace {

std::bitset<256> pressesRecorded;  // a release is recorded only after its press was
bool scrollBarTracking = false;    // a button went down on a scroll bar and is still held
int busyWindow = -1;               // beginBusy's window while a long piece of work runs
bool escapeWhileBusy = false;

// The window whose own input took each key's last press, -1 when the press went elsewhere or
// the key has been released since.
std::array<int, 256> pressedInWindow = [] {
    std::array<int, 256> none;
    none.fill(-1);
    return none;
}();

void notePressIn(int window, int virtualKey) {
    if (virtualKey > 0 && virtualKey < 256) pressedInWindow[static_cast<size_t>(virtualKey)] = window;
}

// freshPress: a press of a key that was up, not a repeat of a held one.
void recordKey(int window, QKeyEvent* key, bool down, bool freshPress) {
    int virtualKey = virtualKeyFromQt(key->key(), key->modifiers());
    if (virtualKey == 0) return;
    bool alt = key->modifiers().testFlag(Qt::AltModifier) || virtualKey == 0x12;
    if (down) {
        if (freshPress) notePressIn(window, virtualKey);
        pressesRecorded.set(static_cast<size_t>(virtualKey));
        recordRawMessage({alt ? kRawSystemKeyDown : kRawKeyDown, static_cast<uint64_t>(virtualKey), window});
        return;
    }
    if (key->isAutoRepeat() || !pressesRecorded.test(static_cast<size_t>(virtualKey))) return;
    pressesRecorded.reset(static_cast<size_t>(virtualKey));
    recordRawMessage({alt ? kRawSystemKeyUp : kRawKeyUp, static_cast<uint64_t>(virtualKey), window});
}

int buttonMessage(Qt::MouseButton button, bool down) {
    switch (button) {
        case Qt::LeftButton:
            return down ? kRawLeftButtonDown : kRawLeftButtonUp;
        case Qt::RightButton:
            return down ? kRawRightButtonDown : kRawRightButtonUp;
        case Qt::MiddleButton:
            return down ? kRawMiddleButtonDown : kRawMiddleButtonUp;
        default:
            return 0;
    }
}

bool pressOnScrollBar(int window, QMouseEvent* mouse) {
    QWidget* frame = windowFrame(window);
    if (frame == nullptr) return false;
    QWidget* target = frame->childAt(frame->mapFromGlobal(mouse->globalPosition().toPoint()));
    return qobject_cast<QScrollBar*>(target) != nullptr;
}

// Input that a scroll bar's thumb drag takes is not returned, as a modal tracking loop
// would not return it.
void recordMouse(int window, QEvent::Type type, QMouseEvent* mouse) {
    if (type == QEvent::MouseButtonPress && scrollBarTracking) return;
    if (type == QEvent::MouseButtonPress && pressOnScrollBar(window, mouse)) {
        scrollBarTracking = true;
    } else if (scrollBarTracking) {
        if (type == QEvent::MouseButtonRelease && mouse->buttons() == Qt::NoButton) scrollBarTracking = false;
        return;
    }
    int message = type == QEvent::MouseMove
                      ? kRawMouseMove
                      : buttonMessage(mouse->button(), type == QEvent::MouseButtonPress);
    if (message == 0) return;
    recordRawMessage({message, 0, window});
}

void recordWheel(int window, QWheelEvent* wheel) {
    QPoint delta = wheel->angleDelta();
    bool horizontal = delta.y() == 0 && delta.x() != 0;
    int amount = std::clamp(horizontal ? -delta.x() : delta.y(), -32768, 32767);
    if (amount == 0) return;
    uint64_t wParam = static_cast<uint64_t>(static_cast<uint16_t>(amount)) << 16;
    recordRawMessage({horizontal ? 0x20E : kRawMouseWheel, wParam, window});
}

// Every key event of every window, before the window's own input is told apart: true for a
// press of a key that was up. With detectable auto-repeat the server repeats a held key as
// further presses without releases, which Qt does not mark as repeats.
bool trackKey(QEvent* event) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->isAutoRepeat()) return false;
    const int virtualKey = virtualKeyFromQt(key->key(), key->modifiers());
    const bool press = event->type() == QEvent::KeyPress;
    const bool fresh = press && trackedKeyDown(virtualKey) == 0;
    trackKeyState(virtualKey, press);
    if (!press || fresh) notePressIn(-1, virtualKey);
    return fresh;
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
            return true;
        default:
            return false;
    }
}

// While busy, input goes nowhere; an Escape press in the busy window is noted, not recorded, so
// that it does not count as held there.
bool swallowWhileBusy(int window, QEvent* event) {
    if (busyWindow < 0 || !isUserInput(event->type())) return false;
    if (event->type() == QEvent::KeyPress && window == busyWindow) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (virtualKeyFromQt(key->key(), key->modifiers()) == kKeyEscape) escapeWhileBusy = true;
    }
    return true;
}

class RawInputFilter : public QObject {
   public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!receiver->isWindowType()) return false;
        QEvent::Type type = event->type();
        // Each input event reaches the native window once, before any widget sees it.
        const bool freshPress = (type == QEvent::KeyPress || type == QEvent::KeyRelease) && trackKey(event);
        int window = windowNumberOfQWindow(receiver);
        if (window < 0) return false;
        if (swallowWhileBusy(window, event)) return true;
        // Keys held while the window gains or loses the keyboard were pressed elsewhere, and
        // keys released meanwhile may have been released elsewhere.
        if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
            pressedInWindow.fill(-1);
            forgetReleasedKeys();
        }
        if (type == QEvent::Expose) {
            if (static_cast<QWindow*>(receiver)->isExposed()) postEvent(kEventRepaint, window, window, 0);
            return false;
        }
        if (QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr) {
            return false;
        }
        switch (type) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                if (!scrollBarTracking)
                    recordKey(window, static_cast<QKeyEvent*>(event), type == QEvent::KeyPress, freshPress);
                break;
            case QEvent::MouseMove:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
                recordMouse(window, type, static_cast<QMouseEvent*>(event));
                break;
            case QEvent::Wheel:
                recordWheel(window, static_cast<QWheelEvent*>(event));
                break;
            default:
                break;
        }
        return false;
    }
};

}  // namespace

void installRawInput() {
    static RawInputFilter* filter = nullptr;
    if (filter != nullptr || qApp == nullptr) return;
    filter = new RawInputFilter;
    filter->setParent(qApp);
    qApp->installEventFilter(filter);
    QObject::connect(qApp, &QObject::destroyed, [] { filter = nullptr; });
}

void noteShortcutKeyPress(int window, int virtualKey, int modifiers) {
    trackKeyState(virtualKey, true);
    if (QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr) return;
    pressesRecorded.set(static_cast<size_t>(virtualKey & 0xFF));
    notePressIn(window, virtualKey & 0xFF);
    bool alt = (modifiers & 0x40000) != 0;
    recordRawMessage({alt ? kRawSystemKeyDown : kRawKeyDown, static_cast<uint64_t>(virtualKey), window});
}

int isKeyDownInWindow(int window, int virtualKey) {
    if (window < 0 || virtualKey <= 0 || virtualKey >= 256) return 0;
    int& pressedIn = pressedInWindow[static_cast<size_t>(virtualKey)];
    // The press reached the window, so the window had the keyboard; losing the keyboard since
    // forgets the press. Qt's own idea of the active window can lag behind where the server
    // sends the keys (without a window manager the focus may follow the pointer).
    if (pressedIn != window || windowFrame(window) == nullptr) return 0;
    if (isKeyDown(virtualKey) == 0) {
        pressedIn = -1;  // released where the window did not see it
        trackKeyState(virtualKey, false);
        return 0;
    }
    return 1;
}

void beginBusy(int window) {
    busyWindow = window;
    escapeWhileBusy = false;
    suppressEvents();
}

bool pumpBusy() {
    pumpPendingEvents();
    return escapeWhileBusy;
}

void endBusy() {
    if (busyWindow < 0) return;
    busyWindow = -1;
    resumeEvents();
}
