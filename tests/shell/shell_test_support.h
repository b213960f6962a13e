// One application for the whole run, every shell object released after each test.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <QWindow>

#include <vector>

#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"

struct ReturnedEvent {
    int kind, object, window, type;
    bool operator==(const ReturnedEvent&) const = default;
};

// Everything waiting now in the order waitEvent returns it; with a kind, only events of that kind.
inline std::vector<ReturnedEvent> takeEvents(int only = 0) {
    std::vector<ReturnedEvent> events;
    while (int kind = waitEvent(0))
        if (only == 0 || kind == only) events.push_back({kind, eventControl(), eventWindow(), eventType()});
    return events;
}

inline QWidget* widgetOf(void* handle) {
    return static_cast<QWidget*>(handle);
}

inline QWindow* nativeWindow() {
    return widgetOf(windowHandle(0))->windowHandle();
}

// A point of a control in the native window, for QTest's QWindow calls (input as the platform gives it).
inline QPoint inWindow(int control, QPoint point) {
    QWidget* widget = widgetOf(controlHandle(control));
    return widget->mapTo(widget->window(), point);
}

class ShellTest : public testing::Test {
   protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "shell_test";
        static char* argv[] = {name, nullptr};
        static int started = initShell(argc, argv);
        ASSERT_NE(started, 0);
    }
    void TearDown() override { releaseShellObjects(); }

    // The viewer's window: 620 x 602 client area, title bar, system menu, minimise box, centred.
    QWidget* openMainWindow(int flags = 0xCA0001) {
        EXPECT_NE(openWindow(0, 0, 0, 620, 602, "Shell test", flags), 0);
        QWidget* frame = widgetOf(windowHandle(0));
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
        takeEvents();
        return frame;
    }
};
