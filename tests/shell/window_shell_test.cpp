#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenuBar>

#include "shell/command_line.h"
#include "shell_test_support.h"

namespace {

TEST_F(ShellTest, ViewerWindowKindStayOnTopAndCloseBox) {
    QWidget* frame = openMainWindow();
    Qt::WindowFlags flags = frame->windowFlags();
    EXPECT_EQ(
        std::vector<bool>({frame->isVisible(), frame->minimumSize() == frame->maximumSize(),
                           (flags & Qt::WindowType_Mask) == Qt::Tool, flags.testFlag(Qt::WindowTitleHint),
                           flags.testFlag(Qt::WindowMinimizeButtonHint),
                           flags.testFlag(Qt::WindowMaximizeButtonHint)}),
        std::vector<bool>({true, true, false, true, true, false}));
    QWindow* before = frame->windowHandle();
    const WId id = frame->winId();
    for (int on : {1, 0}) {
        setStayOnTop(0, on);
        EXPECT_EQ(before->flags().testFlag(Qt::WindowStaysOnTopHint), on == 1);
    }
    EXPECT_EQ(std::pair(frame->windowHandle(), frame->winId()), std::pair(before, id));
    EXPECT_FALSE(frame->close());  // the close box posts close and leaves the window open
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(takeEvents(kEventClose), (std::vector<ReturnedEvent>{{kEventClose, 0, 0, 0}}));
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, {}, QPoint(300, 300));  // on the client area
    EXPECT_EQ(takeEvents(kEventLeftClick), (std::vector<ReturnedEvent>{{kEventLeftClick, 0, 0, 0}}));
}

TEST_F(ShellTest, MenuAndStatusBarFrameTheClientArea) {
    QWidget* frame = openMainWindow();
    createCheckBox(3, 0, 0, 30, 20, "i");
    EXPECT_NE(createMenuBar(0, 0), 0);
    beginDropDown("View");
    menuItem(8, "Grid\tCtrl+G");
    closeSubmenu();
    menuItem(4, "x1");
    menuItem(5, "x2");
    QMenuBar* menu = frame->findChild<QMenuBar*>();
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(createStatusBar(0, 0), 0);
    addStatusField(600);
    setStatusText(0, 0, "Disp=0", kStatusNoBorder);
    addStatusField(kStatusFieldShare);
    addStatusField(kStatusFieldShare);
    setStatusText(0, 2, "here", kStatusRightAligned);
    const int bar = menu->height();
    EXPECT_EQ(frame->size(), QSize(620, 602));
    EXPECT_GT(bar, 10);
    EXPECT_EQ(widgetOf(controlHandle(3))->mapTo(frame, QPoint(0, 0)), QPoint(0, bar));
    QList<QLabel*> labels = frame->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(std::tuple(labels[0]->text(), labels[0]->width(), labels[0]->frameShape()),
              std::tuple(QString("Disp=0"), 600, QFrame::NoFrame));
    // The shared fields split the 20 pixels left; right-aligned text.
    EXPECT_EQ(std::tuple(labels[2]->x(), labels[2]->width(), labels[2]->alignment() & Qt::AlignRight),
              std::tuple(610, 10, Qt::AlignRight));
    QWidget* statusBar = labels[0]->parentWidget();
    EXPECT_EQ(statusBar->mapTo(frame, QPoint(0, statusBar->height())).y(), 602);
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
    takeEvents();
    setMenuCheck(0, 8, 1);
    for (QAction* action : frame->findChildren<QAction*>())
        if (action->data().toInt() == 8) action->trigger();
    EXPECT_EQ(getMenuCheck(0, 8), 1);
    QRect x2 = menu->actionGeometry(menu->actions()[2]);
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, menu->mapTo(frame, x2.center()));
    EXPECT_EQ(takeEvents(kEventMenu),
              (std::vector<ReturnedEvent>{{kEventMenu, 8, 0, 0}, {kEventMenu, 5, 0, 0}}));
}

// Key, the command it posts (0: none), or for Tab and Shift+Tab the control focused after it.
TEST_F(ShellTest, ShortcutsPostTheirCommandsAndTabMovesTheFocus) {
    openMainWindow();
    createCheckBox(3, 0, 0, 30, 20, "i");
    createScrollBar(1, 0, 30, 200, 20, 0, 10, 1, 0);  // no tab stop
    createCheckBox(4, 40, 0, 30, 20, "R");
    createSpinBox(7, 80, 0, 80, 20, -1, 1);
    addShortcut(0, kShortcutControl | 'O', 3);
    addShortcut(0, kShortcutControl | 'G', 8);
    addShortcut(0, kShortcutControl | kShortcutShift | 'E', 9);
    const Qt::KeyboardModifiers control = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> rows[] = {
        {Qt::Key_O, control, 3},    {Qt::Key_G, control, 8}, {Qt::Key_E, control | shift, 9},
        {Qt::Key_E, control, 0},    {Qt::Key_Tab, {}, 3},    {Qt::Key_Tab, {}, 4},
        {Qt::Key_Tab, {}, 7},       {Qt::Key_Tab, {}, 3},    {Qt::Key_Backtab, shift, 7},
        {Qt::Key_Backtab, shift, 4}};
    for (const auto& [key, modifiers, result] : rows) {
        const bool tab = key == Qt::Key_Tab || key == Qt::Key_Backtab;
        QTest::keyPress(nativeWindow(), key, modifiers);
        EXPECT_EQ(isKeyDownInWindow(0, tab ? kKeyTab : int(key)), 1) << key;  // taken as a shortcut or not
        QTest::keyRelease(nativeWindow(), key, modifiers);
        std::vector<ReturnedEvent> expected;
        if (!tab && result != 0) expected.push_back({kEventMenu, result, 0, 0});
        EXPECT_EQ(takeEvents(kEventMenu), expected) << key;
        EXPECT_TRUE(!tab || QApplication::focusWidget() == controlHandle(result)) << key;
    }
}

TEST(CommandLine, CountAndArgumentsByIndex) {
    const std::vector<std::string> rows[] = {{}, {"/tmp/my data/file one.bin", "", "say\"hi\""}};
    for (std::vector<std::string> arguments : rows) {
        std::vector<char*> argv{const_cast<char*>("pixloupe2d")};
        for (std::string& text : arguments) argv.push_back(text.data());
        argv.push_back(nullptr);
        setCommandLine(static_cast<int>(argv.size() - 1), argv.data());
        EXPECT_EQ(argumentCount(), static_cast<int>(arguments.size()));
        for (size_t index = 0; index <= arguments.size(); ++index)
            EXPECT_EQ(argument(int(index)), index < arguments.size() ? arguments[index] : "") << index;
    }
}

}  // namespace
