#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "shell_test_support.h"

namespace {

using WindowShellTest = ShellTest;

TEST_F(WindowShellTest, FlagsGiveTheWindowItsKind) {
    struct Row {
        int flags;
        bool visible, fixedSize, tool, maximizeBox;
    };
    const Row rows[] = {{0xCA0001, true, true, false, false},
                        {kWindowCentred, true, true, false, false},  // no style still gets a title bar
                        {kWindowTitleBar | kWindowSizingBorder, true, false, false, true},
                        {kWindowTitleBar | kWindowInvisible, false, true, false, false},
                        {kWindowTitleBar | kWindowTool, true, true, true, false}};
    for (const Row& row : rows) {
        ASSERT_NE(openWindow(1, 10, 10, 200, 100, "Flags", row.flags), 0);
        QWidget* frame = widgetOf(windowHandle(1));
        Qt::WindowFlags flags = frame->windowFlags();
        EXPECT_EQ(frame->isVisible(), row.visible) << std::hex << row.flags;
        EXPECT_EQ(frame->minimumSize() == frame->maximumSize(), row.fixedSize) << std::hex << row.flags;
        EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint)) << std::hex << row.flags;
        EXPECT_EQ((flags & Qt::WindowType_Mask) == Qt::Tool, row.tool) << std::hex << row.flags;
        if (row.flags == 0xCA0001) {
            EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
            EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        }
        closeWindow(1);
    }
}

// The viewer's menu bar: drop-downs, submenus, then command items on the bar itself.
QMenuBar* buildViewerMenu(QWidget* frame) {
    EXPECT_NE(createMenuBar(0, 0), 0);
    beginDropDown("File");
    menuItem(3, "Open...\tCtrl+O");
    menuSeparator();
    beginDropDown("View");
    openSubmenu("Color mode");
    menuItem(15, "Binary");
    menuItem(16, "Atari GR.15");
    setMenuCheck(0, 15, 1);
    closeSubmenu();
    menuItem(8, "Grid\tCtrl+G");
    closeSubmenu();
    closeSubmenu();  // already at the bar: changes nothing
    menuItem(4, "x1");
    menuItem(5, "x2");
    return frame->findChild<QMenuBar*>();
}

std::vector<std::string> textsOf(const QList<QAction*>& actions) {
    std::vector<std::string> texts;
    for (QAction* action : actions) texts.push_back(action->text().toStdString());
    return texts;
}

TEST_F(WindowShellTest, MenuBarLayoutCheckMarksAndCommands) {
    QWidget* frame = openMainWindow();
    createCheckBox(3, 0, 0, 30, 20, "i");
    QMenuBar* bar = buildViewerMenu(frame);
    ASSERT_NE(bar, nullptr);
    // The bar takes its height from the client area, and controls count their y from below it.
    EXPECT_EQ(frame->size(), QSize(620, 602));
    EXPECT_GT(bar->height(), 10);
    EXPECT_EQ(widgetOf(controlHandle(3))->mapTo(frame, QPoint(0, 0)), QPoint(0, bar->height()));
    EXPECT_EQ(textsOf(bar->actions()), (std::vector<std::string>{"File", "View", "x1", "x2"}));
    EXPECT_EQ(textsOf(bar->actions()[1]->menu()->actions()),
              (std::vector<std::string>{"Color mode", "Grid\tCtrl+G"}));

    for (auto [id, mark] : {std::pair{15, 1}, {16, 0}, {8, 0}, {99, 0}})
        EXPECT_EQ(getMenuCheck(0, id), mark) << id;
    setMenuCheck(0, 16, 1);
    setMenuCheck(0, 15, 0);
    setMenuCheck(0, 8, 1);
    EXPECT_EQ(getMenuCheck(0, 16) * 100 + getMenuCheck(0, 15) * 10 + getMenuCheck(0, 8), 101);
    EXPECT_EQ(getMenuCheck(5, 8), 0);  // no such menu
    // Choosing a checked item leaves its mark as the program set it and posts the command, as
    // does a command item on the bar.
    for (QAction* action : frame->findChildren<QAction*>())
        if (action->data().toInt() == 8) action->trigger();
    EXPECT_EQ(getMenuCheck(0, 8), 1);
    QRect x2 = bar->actionGeometry(bar->actions()[3]);
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, bar->mapTo(frame, x2.center()));
    EXPECT_EQ(takeEvents(kEventMenu),
              (std::vector<ReturnedEvent>{{kEventMenu, 8, 0, 0}, {kEventMenu, 5, 0, 0}}));
}

// The popup's choice arrives later as a menu event; input the open popup took is not returned.
TEST_F(WindowShellTest, PopupChoiceArrivesAsMenuEvent) {
    QWidget* frame = openMainWindow();
    ASSERT_NE(createPopupMenu(2), 0);
    menuItem(14, "jump here");
    QCursor::setPos(frame->mapToGlobal(QPoint(100, 100)));
    QTimer::singleShot(50, [] {
        QTest::mouseMove(nativeWindow(), QPoint(400, 400));
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
    });
    showPopupMenu(2, 0);
    std::vector<ReturnedEvent> raw, menu;
    for (const ReturnedEvent& event : takeEvents()) {
        if (event.kind < kEventControl) raw.push_back(event);
        if (event.kind == kEventMenu) menu.push_back(event);
    }
    EXPECT_EQ(raw, std::vector<ReturnedEvent>{});
    EXPECT_EQ(menu, (std::vector<ReturnedEvent>{{kEventMenu, 14, 0, 0}}));
}

// Each key pressed in the window, and the command it posts (0: none) or the control that has
// the focus after it. Tab and Shift+Tab step through the tab stops in creation order and wrap.
TEST_F(WindowShellTest, ShortcutsPostTheirCommandsAndTabMovesTheFocus) {
    openMainWindow();
    createCheckBox(3, 0, 0, 30, 20, "i");
    createScrollBar(1, 0, 30, 200, 20, 0, 10, 1, 0);  // no tab stop
    createCheckBox(4, 40, 0, 30, 20, "R");
    createSpinBox(7, 80, 0, 80, 20, -1, 1);
    addShortcut(0, kShortcutControl | 'O', 3);
    addShortcut(0, kShortcutControl | 'G', 8);
    addShortcut(0, kShortcutControl | 'O', 30);  // replaces the first
    addShortcut(0, kShortcutControl | kShortcutShift | 'E', 9);
    addShortcut(0, kShortcutShift | kKeyRight, 10);
    EXPECT_EQ(shortcutCount(0), 6);  // with Tab and Shift+Tab
    struct Row {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int command, focus;
    } rows[] = {{Qt::Key_O, Qt::ControlModifier, 30, -1},
                {Qt::Key_G, Qt::ControlModifier, 8, -1},
                {Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier, 9, -1},
                {Qt::Key_E, Qt::ControlModifier, 0, -1},
                {Qt::Key_Right, Qt::ShiftModifier, 10, -1},
                {Qt::Key_Tab, Qt::NoModifier, 0, 3},
                {Qt::Key_Tab, Qt::NoModifier, 0, 4},
                {Qt::Key_Tab, Qt::NoModifier, 0, 7},
                {Qt::Key_Tab, Qt::NoModifier, 0, 3},
                {Qt::Key_Backtab, Qt::ShiftModifier, 0, 7},
                {Qt::Key_Backtab, Qt::ShiftModifier, 0, 4}};
    for (const Row& row : rows) {
        QTest::keyClick(nativeWindow(), row.key, row.modifiers);
        std::vector<ReturnedEvent> expected;
        if (row.command != 0) expected.push_back({kEventMenu, row.command, 0, 0});
        EXPECT_EQ(takeEvents(kEventMenu), expected) << row.key;
        if (row.focus >= 0) {
            EXPECT_EQ(QApplication::focusWidget(), controlHandle(row.focus)) << row.key;
        }
    }
    setFocus(-1);
    EXPECT_EQ(QApplication::focusWidget(), windowHandle(0));
}

TEST_F(WindowShellTest, ClientPointerIsMinusOneOutsideTheClientArea) {
    QWidget* frame = openMainWindow();
    int bar = buildViewerMenu(frame)->height();
    struct {
        QPoint inFrame;
        int x, y;
    } rows[] = {{{10, bar + 5}, 10, 5},  {{619, 601}, 619, 601 - bar}, {{10, 3}, -1, -1},
                {{-5, bar + 5}, -1, -1}, {{620, bar + 5}, -1, -1},     {{10, 602}, -1, -1}};
    for (auto row : rows) {
        QCursor::setPos(frame->mapToGlobal(row.inFrame));
        EXPECT_EQ(QPoint(clientPointerX(0), clientPointerY(0)), QPoint(row.x, row.y))
            << row.inFrame.x() << "," << row.inFrame.y();
    }
    EXPECT_EQ(clientPointerX(9), -1);
}

TEST_F(WindowShellTest, StatusBarFieldsAndTexts) {
    QWidget* frame = openMainWindow();
    ASSERT_NE(createStatusBar(0, 0), 0);
    EXPECT_TRUE(takeEvents().empty());
    addStatusField(200);
    addStatusField(kStatusShareWidth);
    addStatusField(kStatusShareWidth);
    setStatusText(0, 0, "Disp=0", kStatusNoBorder);
    setStatusText(0, 2, "right", kStatusRight);
    setStatusText(0, 3, "no such field", 0);
    EXPECT_EQ(statusText(0, 0) + "|" + statusText(0, 2), "Disp=0|right");
    QList<QLabel*> labels = frame->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[0]->width(), 200);
    EXPECT_EQ(labels[1]->width(), 210);
    EXPECT_EQ(labels[2]->x(), 410);
    EXPECT_EQ(labels[0]->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(labels[2]->alignment().testFlag(Qt::AlignRight));
    QWidget* statusBar = labels[0]->parentWidget();
    EXPECT_EQ(statusBar->mapTo(frame, QPoint(0, statusBar->height())).y(), 602);
}

TEST_F(WindowShellTest, StayOnTopKeepsTheNativeWindowAndMissingObjectsDoNothing) {
    QWidget* frame = openMainWindow();
    QWindow* before = frame->windowHandle();
    WId id = frame->winId();
    setStayOnTop(0, 1);
    EXPECT_TRUE(before->flags().testFlag(Qt::WindowStaysOnTopHint));
    setStayOnTop(0, 0);
    EXPECT_FALSE(before->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(frame->windowHandle(), before);
    EXPECT_EQ(frame->winId(), id);
    EXPECT_TRUE(frame->isVisible());
    releaseShellObjects();
    EXPECT_EQ(windowHandle(0), nullptr);
    EXPECT_EQ(createMenuBar(0, 4) + createStatusBar(0, 4) + createCheckBox(3, 0, 0, 10, 10, "x"), 0);
    setWindowTitle(4, "x");
    setStatusText(4, 0, "x", 0);
    menuItem(1, "nowhere");
    EXPECT_EQ(getMenuCheck(0, 1), 0);
    EXPECT_EQ(shortcutCount(4), 0);
}

}  // namespace
