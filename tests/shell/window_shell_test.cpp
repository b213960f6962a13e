#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "shell/command_line.h"
#include "shell_test_support.h"

namespace {

using WindowShellTest = ShellTest;

// Each style's window: visible, fixed in size, a tool window; every one has a title bar, and
// the viewer's a minimise box but no maximise box.
TEST_F(WindowShellTest, FlagsGiveTheWindowItsKind) {
    const std::pair<int, std::vector<bool>> rows[] = {
        {0xCA0001, {true, true, false, true}},
        {kWindowCentred, {true, true, false, false}},
        {kWindowTitleBar | kWindowSizingBorder, {true, false, false, false}},
        {kWindowTitleBar | kWindowInvisible, {false, true, false, false}},
        {kWindowTitleBar | kWindowTool, {true, true, true, false}}};
    for (const auto& [style, expected] : rows) {
        ASSERT_NE(openWindow(1, 10, 10, 200, 100, "Flags", style), 0);
        QWidget* frame = widgetOf(windowHandle(1));
        Qt::WindowFlags flags = frame->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(std::vector<bool>({frame->isVisible(), frame->minimumSize() == frame->maximumSize(),
                                     (flags & Qt::WindowType_Mask) == Qt::Tool,
                                     flags.testFlag(Qt::WindowMinimizeButtonHint)}),
                  expected)
            << std::hex << style;
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

TEST_F(WindowShellTest, MenuBarLayoutCheckMarksAndCommands) {
    QWidget* frame = openMainWindow();
    createCheckBox(3, 0, 0, 30, 20, "i");
    QMenuBar* bar = buildViewerMenu(frame);
    ASSERT_NE(bar, nullptr);
    // The bar takes its height from the client area, and controls count their y from below it.
    EXPECT_EQ(frame->size(), QSize(620, 602));
    EXPECT_GT(bar->height(), 10);
    EXPECT_EQ(widgetOf(controlHandle(3))->mapTo(frame, QPoint(0, 0)), QPoint(0, bar->height()));
    QStringList titles;
    for (QAction* action : bar->actions()) titles.append(action->text());
    EXPECT_EQ(titles.join("|"), "File|View|x1|x2");

    for (auto [id, mark] : {std::pair{15, 1}, {16, 0}, {8, 0}, {99, 0}})
        EXPECT_EQ(getMenuCheck(0, id), mark) << id;
    setMenuCheck(0, 16, 1);
    setMenuCheck(0, 15, 0);
    setMenuCheck(0, 8, 1);
    EXPECT_EQ(std::vector<int>({getMenuCheck(0, 16), getMenuCheck(0, 15), getMenuCheck(0, 8)}),
              std::vector<int>({1, 0, 1}));
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

// Each key pressed in the window, and the command it posts (0: none), or for Tab and Shift+Tab
// the control that has the focus after it: they step through the tab stops in creation order and wrap.
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
    const Qt::KeyboardModifiers control = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> rows[] = {
        {Qt::Key_O, control, 30},    {Qt::Key_G, control, 8},    {Qt::Key_E, control | shift, 9},
        {Qt::Key_E, control, 0},     {Qt::Key_Right, shift, 10}, {Qt::Key_Tab, {}, 3},
        {Qt::Key_Tab, {}, 4},        {Qt::Key_Tab, {}, 7},       {Qt::Key_Tab, {}, 3},
        {Qt::Key_Backtab, shift, 7}, {Qt::Key_Backtab, shift, 4}};
    for (const auto& [key, modifiers, result] : rows) {
        QTest::keyClick(nativeWindow(), key, modifiers);
        const bool tab = key == Qt::Key_Tab || key == Qt::Key_Backtab;
        std::vector<ReturnedEvent> expected;
        if (!tab && result != 0) expected.push_back({kEventMenu, result, 0, 0});
        EXPECT_EQ(takeEvents(kEventMenu), expected) << key;
        if (tab) {
            EXPECT_EQ(QApplication::focusWidget(), controlHandle(result)) << key;
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

// Hands the arguments to setCommandLine as main would receive them, program name first.
void useArguments(std::vector<std::string> arguments) {
    static std::vector<std::string> storage;
    static std::vector<char*> argv;
    storage = std::move(arguments);
    storage.insert(storage.begin(), "pixloupe2d");
    argv.clear();
    for (std::string& text : storage) argv.push_back(text.data());
    argv.push_back(nullptr);
    setCommandLine(static_cast<int>(storage.size()), argv.data());
}

// Rows run in order on one command line each: a negative index walks on from the argument
// returned last, any other index moves there (past the end the cursor stays at the end), and a
// new command line starts the walk afresh.
TEST(CommandLine, CountAndArgumentsByIndexAndWalk) {
    struct Row {
        std::vector<std::string> arguments;
        std::vector<std::pair<int, std::string>> calls;  // index asked, argument expected
    };
    const Row rows[] = {
        {{}, {{0, ""}, {-1, ""}}},
        {{"/tmp/my data/file one.bin", "", "say\"hi\""},
         {{0, "/tmp/my data/file one.bin"}, {1, ""}, {2, "say\"hi\""}, {3, ""}}},
        {{"a", "b", "c"},
         {{-1, "a"}, {-1, "b"}, {0, "a"}, {-1, "b"}, {-1, "c"}, {-1, ""}, {1, "b"}, {-5, "c"}}},
        {{"a", "b"}, {{7, ""}, {-1, ""}, {1, "b"}, {-1, ""}}},
        {{"x", "y"}, {{-1, "x"}}},
    };
    for (const Row& row : rows) {
        useArguments(row.arguments);
        EXPECT_EQ(argumentCount(), static_cast<int>(row.arguments.size()));
        for (const auto& [index, expected] : row.calls)
            EXPECT_EQ(argument(index), expected) << row.arguments.size() << " arguments, index " << index;
    }
}

}  // namespace
