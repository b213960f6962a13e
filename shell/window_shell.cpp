#include "shell/window_shell.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <vector>

#include "graphics/canvas.h"
#include "shell/command_line.h"
#include "shell/event_queue.h"
#include "shell/qt_text.h"
#include "shell/raw_input.h"
#include "shell/shell_parts.h"
#include "shell/window_table.h"

namespace {

constexpr int kShortcutModifiers = kShortcutShift | kShortcutControl | kShortcutAlt;

struct ShortcutEntry {
    int shortcut = 0;  // virtual key | modifier bits
    int commandId = 0;
    QShortcut* binding = nullptr;  // owned by the frame
};

void runResizeCallback(int number);

// The top-level window: the close box, moves, sizes, state and activation become events.
class ShellFrame : public QWidget {
   public:
    explicit ShellFrame(int number) : number_(number) {}

   protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        postEvent(kEventClose, number_, number_, 0);
    }
    void moveEvent(QMoveEvent* event) override {
        if (event->spontaneous()) postEvent(kEventMoved, number_, number_, 0);
    }
    void resizeEvent(QResizeEvent* event) override {
        layoutWindow(number_);
        runResizeCallback(number_);
        if (event->spontaneous() && !isMinimized()) postEvent(kEventResized, number_, number_, 0);
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange)
            postStateChange(static_cast<QWindowStateChangeEvent*>(event));
        if (event->type() == QEvent::ActivationChange)
            postEvent(isActiveWindow() ? kEventActivated : kEventDeactivated, number_, number_, 0);
        QWidget::changeEvent(event);
    }

   private:
    void postStateChange(QWindowStateChangeEvent* event) {
        Qt::WindowStates now = windowState();
        if (now.testFlag(Qt::WindowMinimized)) {
            postEvent(kEventMinimized, number_, number_, 0);
        } else if (now.testFlag(Qt::WindowMaximized)) {
            postEvent(kEventMaximized, number_, number_, 0);
            postEvent(kEventResized, number_, number_, 0);
        } else if (event->oldState() & (Qt::WindowMinimized | Qt::WindowMaximized)) {
            postEvent(kEventRestored, number_, number_, 0);
            postEvent(kEventResized, number_, number_, 0);
        }
    }
    int number_;
};

// The client area: clicks on the window itself become events; status bars follow its size.
class ShellClient : public QWidget {
   public:
    ShellClient(int number, QWidget* parent) : QWidget(parent), number_(number) {}

   protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) postEvent(kEventLeftClick, number_, number_, 0);
        if (event->button() == Qt::RightButton) postEvent(kEventRightClick, number_, number_, 0);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) postEvent(kEventLeftDoubleClick, number_, number_, 0);
    }
    void resizeEvent(QResizeEvent*) override { layoutStatusBars(number_); }

   private:
    int number_;
};

struct WindowRecord {
    QPointer<QWidget> frame;   // a ShellFrame; kept as QWidget, valid also while it is destroyed
    QPointer<QWidget> client;  // a ShellClient
    QPointer<QMenuBar> menuBar;
    int clientHeight = 0;  // before any menu bar
    std::vector<ShortcutEntry> shortcuts;
    void (*onResize)() = nullptr;
    bool resizing = false;  // the callback is running: a size it sets is not reported again
};

std::map<int, WindowRecord> windows;
int controlParent = -1;
QApplication* ownApplication = nullptr;

WindowRecord* findWindow(int number) {
    auto found = windows.find(number);
    if (found == windows.end() || found->second.frame.isNull()) return nullptr;
    return &found->second;
}

void runResizeCallback(int number) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr || window->onResize == nullptr || window->resizing) return;
    window->resizing = true;
    window->onResize();
    // The callback may have closed the window.
    if (WindowRecord* still = findWindow(number)) still->resizing = false;
}

Qt::WindowFlags qtWindowFlags(int flags) {
    Qt::WindowFlags qtFlags = Qt::Window | Qt::CustomizeWindowHint;
    if ((flags & kWindowTitleBar) == kWindowTitleBar) qtFlags |= Qt::WindowTitleHint;
    if ((flags & kWindowTitleBar) == 0) qtFlags |= Qt::FramelessWindowHint;
    if ((flags & kWindowSystemMenu) != 0) qtFlags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((flags & kWindowMinimizeBox) != 0) qtFlags |= Qt::WindowMinimizeButtonHint;
    if ((flags & kWindowMaximizeBox) != 0) qtFlags |= Qt::WindowMaximizeButtonHint;
    return qtFlags;
}

// Top-left corner that centres `size` on `area`, never left of or above it.
QPoint centredOn(const QRect& area, QSize size) {
    return {area.x() + std::max(0, (area.width() - size.width()) / 2),
            area.y() + std::max(0, (area.height() - size.height()) / 2)};
}

void placeWindow(QWidget* frame, int x, int y, int flags) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if ((flags & kWindowCentred) != 0 && screen != nullptr) {
        frame->move(centredOn(screen->geometry(), frame->size()));
        return;
    }
    frame->move(x, y);
}

void showWindow(QWidget* frame) {
    frame->show();
    // Without a window manager nothing else gives the new window the keyboard.
    frame->raise();
    frame->activateWindow();
}

// Tab stops of the client area in creation order.
std::vector<QWidget*> tabStops(QWidget* client) {
    std::vector<QWidget*> stops;
    for (QObject* child : client->children()) {
        QWidget* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && widget->isEnabled() && widget->isVisible() &&
            (widget->focusPolicy() & Qt::TabFocus) != 0) {
            stops.push_back(widget);
        }
    }
    return stops;
}

void moveFocus(WindowRecord& window, int step) {
    std::vector<QWidget*> stops = tabStops(window.client);
    if (stops.empty()) return;
    QWidget* focused = QApplication::focusWidget();
    auto at = std::find(stops.begin(), stops.end(), focused);
    int count = static_cast<int>(stops.size());
    int index = at == stops.end() ? (step > 0 ? 0 : count - 1)
                                  : (static_cast<int>(at - stops.begin()) + step + count) % count;
    stops[static_cast<size_t>(index)]->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

QKeySequence keySequence(int shortcut) {
    int virtualKey = shortcut & 0xFFFF;
    int qtKey = qtKeyFromVirtualKey(virtualKey);
    if (qtKey == 0) return {};
    int modifiers = 0;
    if ((shortcut & kShortcutShift) != 0) modifiers |= Qt::SHIFT;
    if ((shortcut & kShortcutControl) != 0) modifiers |= Qt::CTRL;
    if ((shortcut & kShortcutAlt) != 0) modifiers |= Qt::ALT;
    // Qt reports Shift+Tab as the back-tab key.
    if (qtKey == Qt::Key_Tab && (shortcut & kShortcutShift) != 0) qtKey = Qt::Key_Backtab;
    if (virtualKey >= 0x60 && virtualKey <= 0x6F) modifiers |= Qt::KeypadModifier;
    return QKeySequence(QKeyCombination::fromCombined(modifiers | qtKey));
}

void runShortcut(int number, int shortcut) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return;
    auto entry = std::find_if(window->shortcuts.begin(), window->shortcuts.end(),
                              [&](const ShortcutEntry& each) { return each.shortcut == shortcut; });
    if (entry == window->shortcuts.end()) return;
    noteShortcutKeyPress(number, shortcut & 0xFFFF, shortcut & kShortcutModifiers);
    if (entry->commandId == kCommandNextControl || entry->commandId == kCommandPreviousControl) {
        moveFocus(*window, entry->commandId == kCommandNextControl ? 1 : -1);
        return;
    }
    postEvent(kEventMenu, entry->commandId & 0xFFFF, number, 0);
}

void releaseWindowRecord(WindowRecord& window, int number) {
    releaseControls(number);
    releaseStatusBars(number);
    releaseMenus(number);
    delete window.frame.data();
}

void closeWindow(int number) {
    auto found = windows.find(number);
    if (found == windows.end()) return;
    releaseWindowRecord(found->second, number);
    windows.erase(found);
    if (controlParent == number) controlParent = -1;
}

}  // namespace

int initShell(int& argc, char** argv) {
    // Qt sees the program's name alone: every argument is the program's own (the first names
    // a file, whatever it looks like), so none may be taken as an option of Qt. Qt's settings
    // are still reachable through its environment variables. Qt keeps these for its lifetime.
    static std::string programName;
    static char* qtArguments[2] = {nullptr, nullptr};
    static int qtArgumentCount = 1;
    if (QApplication::instance() == nullptr) {
        programName = argc > 0 && argv != nullptr && argv[0] != nullptr ? argv[0] : "pixloupe2d";
        qtArguments[0] = programName.data();
        ownApplication = new QApplication(qtArgumentCount, qtArguments);
    }
    if (qobject_cast<QApplication*>(QApplication::instance()) == nullptr) return 0;
    setCommandLine(argc, argv);
    installRawInput();
    initKeyState();
    installCanvasHooks();
    return 1;
}

int setApplicationIcon(std::span<const PictureBytes> pictures) {
    QIcon icon;
    for (const PictureBytes& picture : pictures) {
        QPixmap pixmap;
        if (picture.size <= INT_MAX && pixmap.loadFromData(picture.bytes, static_cast<uint>(picture.size)))
            icon.addPixmap(pixmap);
    }
    if (icon.isNull() || qApp == nullptr) return 0;
    QApplication::setWindowIcon(icon);
    return 1;
}

void setDesktopEntryName(const std::string& name) {
    QGuiApplication::setDesktopFileName(toQString(name));
}

void releaseShellObjects() {
    for (auto& [number, window] : windows) releaseWindowRecord(window, number);
    windows.clear();
    releaseControls(-1);
    releaseStatusBars(-1);
    releaseMenus(-1);
    freeCanvasRecord(-1);
    resetCanvasWheel();
    controlParent = -1;
    resetEventQueue();
    unbindAllEvents();
    // Freed controls are deleted later; nothing of them may outlive the shell.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void shutdownShell() {
    releaseShellObjects();
    delete ownApplication;
    ownApplication = nullptr;
}

int openWindow(int number, int x, int y, int clientWidth, int clientHeight, const std::string& title,
               int flags) {
    closeWindow(number);
    if (number < 0 || qApp == nullptr) return 0;
    if ((flags & ~kWindowCentred) == 0) flags |= kWindowTitleBar;
    int width = std::clamp(clientWidth, 1, 32767), height = std::clamp(clientHeight, 1, 32767);

    WindowRecord& window = windows[number];
    window.frame = new ShellFrame(number);
    window.frame->setWindowFlags(qtWindowFlags(flags));
    window.frame->setAttribute(Qt::WA_AlwaysShowToolTips);
    window.frame->setWindowTitle(toQString(title));
    if ((flags & kWindowSizingBorder) != 0) {
        window.frame->setMinimumSize(width, height);
        window.frame->resize(width, height);
    } else {
        window.frame->setFixedSize(width, height);
    }
    window.client = new ShellClient(number, window.frame);
    window.clientHeight = height;
    layoutWindow(number);
    placeWindow(window.frame, x, y, flags);
    // The window keeps the keyboard itself until a control takes it, also after reactivation.
    window.frame->setFocusPolicy(Qt::ClickFocus);
    window.frame->setFocus();
    showWindow(window.frame);
    addShortcut(number, kKeyTab, kCommandNextControl);
    addShortcut(number, kShortcutShift | kKeyTab, kCommandPreviousControl);
    controlParent = number;
    return 1;
}

void* windowHandle(int number) {
    return windowFrame(number);
}

int windowClientWidth(int number) {
    WindowRecord* window = findWindow(number);
    return window != nullptr ? window->frame->width() : 0;
}

int windowClientHeight(int number) {
    WindowRecord* window = findWindow(number);
    return window != nullptr ? window->frame->height() : 0;
}

void bindWindowResize(int number, void (*callback)()) {
    if (WindowRecord* window = findWindow(number)) window->onResize = callback;
}

WindowPlace windowPlace(int number) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return {};
    const QWidget* frame = window->frame;
    const bool enlarged = frame->isMaximized() || frame->isFullScreen();
    const QRect normal = enlarged ? frame->normalGeometry() : frame->geometry();
    return {normal.x(), normal.y(), normal.width(), normal.height(), frame->isMaximized()};
}

void setWindowPlace(int number, const WindowPlace& place) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return;
    QWidget* frame = window->frame;
    const QSize least = frame->minimumSize();
    frame->setGeometry(place.x, place.y, std::max(place.clientWidth, least.width()),
                       std::max(place.clientHeight, least.height()));
    if (place.maximized) frame->setWindowState(frame->windowState() | Qt::WindowMaximized);
}

bool fitsOnScreen(const WindowPlace& place) {
    const QRect area(place.x, place.y, place.clientWidth, place.clientHeight);
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().contains(area)) return true;
    return false;
}

void setFullScreen(int number, int on) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return;
    window->frame->setWindowState(window->frame->windowState().setFlag(Qt::WindowFullScreen, on != 0));
    // Without a window manager nothing else gives the window the keyboard back.
    window->frame->activateWindow();
}

int isFullScreen(int number) {
    WindowRecord* window = findWindow(number);
    return window != nullptr && window->frame->isFullScreen() ? 1 : 0;
}

void setWindowTitle(int number, const std::string& title) {
    if (WindowRecord* window = findWindow(number)) window->frame->setWindowTitle(toQString(title));
}

void setStayOnTop(int number, int on) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return;
    // Changing the native window's flags keeps the same window, place and activation;
    // QWidget::setWindowFlag would make a new native window.
    QWindow* handle = window->frame->windowHandle();
    if (handle == nullptr) {
        window->frame->setWindowFlag(Qt::WindowStaysOnTopHint, on != 0);
        return;
    }
    handle->setFlags(handle->flags().setFlag(Qt::WindowStaysOnTopHint, on != 0));
}

static QPoint clientPointer(int number) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return {-1, -1};
    QPoint point = window->client->mapFromGlobal(QCursor::pos());
    if (!window->client->rect().contains(point)) return {-1, -1};
    return point;
}

int clientPointerX(int number) {
    return clientPointer(number).x();
}
int clientPointerY(int number) {
    return clientPointer(number).y();
}

void addShortcut(int number, int shortcut, int commandId) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return;
    shortcut &= 0xFFFF | kShortcutModifiers;
    for (ShortcutEntry& entry : window->shortcuts) {
        if (entry.shortcut == shortcut) {
            entry.commandId = commandId;
            return;
        }
    }
    ShortcutEntry entry{shortcut, commandId, nullptr};
    QKeySequence keys = keySequence(shortcut);
    if (!keys.isEmpty()) {
        entry.binding = new QShortcut(keys, window->frame, nullptr, nullptr, Qt::WindowShortcut);
        QObject::connect(entry.binding, &QShortcut::activated,
                         [number, shortcut] { runShortcut(number, shortcut); });
    }
    window->shortcuts.push_back(entry);
}

int shortcutCommand(int number, int shortcut) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return -1;
    for (const ShortcutEntry& entry : window->shortcuts) {
        if (entry.shortcut == shortcut) return entry.commandId;
    }
    return -1;
}

bool isWindowShortcut(int number, const QKeyEvent* key) {
    int virtualKey = virtualKeyFromQt(key->key(), key->modifiers());
    if (virtualKey == 0) return false;
    Qt::KeyboardModifiers modifiers = key->modifiers();
    int shortcut = virtualKey;
    if (modifiers.testFlag(Qt::ShiftModifier)) shortcut |= kShortcutShift;
    if (modifiers.testFlag(Qt::ControlModifier)) shortcut |= kShortcutControl;
    if (modifiers.testFlag(Qt::AltModifier)) shortcut |= kShortcutAlt;
    return shortcutCommand(number, shortcut) != -1;
}

QWidget* windowFrame(int number) {
    WindowRecord* window = findWindow(number);
    return window != nullptr ? window->frame.data() : nullptr;
}

QWidget* windowClient(int number) {
    WindowRecord* window = findWindow(number);
    return window != nullptr ? window->client.data() : nullptr;
}

int windowNumberOfQWindow(const QObject* object) {
    for (auto& [number, window] : windows) {
        if (!window.frame.isNull() && window.frame->windowHandle() == object) return number;
    }
    return -1;
}

int currentParentWindow() {
    return findWindow(controlParent) != nullptr ? controlParent : -1;
}

void attachMenuBar(int number, QMenuBar* bar) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr) return;
    if (!window->menuBar.isNull() && window->menuBar != bar) delete window->menuBar.data();
    window->menuBar = bar;
    if (bar != nullptr) {
        bar->setParent(window->frame);
        bar->show();
    }
    layoutWindow(number);
}

void layoutWindow(int number) {
    WindowRecord* window = findWindow(number);
    if (window == nullptr || window->client.isNull()) return;
    int width = window->frame->width(), height = window->frame->height();
    int barHeight = 0;
    if (!window->menuBar.isNull()) {
        barHeight = std::min(height - 1, window->menuBar->heightForWidth(width) > 0
                                             ? window->menuBar->heightForWidth(width)
                                             : window->menuBar->sizeHint().height());
        window->menuBar->setGeometry(0, 0, width, barHeight);
    }
    window->client->setGeometry(0, barHeight, width, height - barHeight);
}
