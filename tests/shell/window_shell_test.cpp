#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "shell_test_support.h"

namespace {

using WindowShellTest = ShellTest;

TEST_F(WindowShellTest, MenuBarTakesItsHeightFromTheClientArea) {
    QWidget* frame = openMainWindow();
    EXPECT_EQ(frame->size(), QSize(620, 602));
    createCheckBox(3, 0, 0, 30, 20, "i");
    ASSERT_NE(createMenuBar(0, 0), 0);
    beginDropDown("File");
    menuItem(3, "Open...\tCtrl+O");
    auto* bar = frame->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(frame->size(), QSize(620, 602));
    EXPECT_GT(bar->height(), 10);
    // Controls count their y from below the bar.
    auto* box = static_cast<QWidget*>(controlHandle(3));
    EXPECT_EQ(box->mapTo(frame, QPoint(0, 0)), QPoint(0, bar->height()));
}

TEST_F(WindowShellTest, FixedSizeWithoutMaximizeBox) {
    QWidget* frame = openMainWindow();
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize());
    Qt::WindowFlags flags = frame->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
}

struct WindowFlagCase {
    const char* name;
    int flags;
    bool visible, fixedSize, titleBar, tool;
};

class WindowFlagTest : public ShellTest, public testing::WithParamInterface<WindowFlagCase> {};

TEST_P(WindowFlagTest, FlagsGiveTheWindowItsKind) {
    const WindowFlagCase& c = GetParam();
    ASSERT_NE(openWindow(1, 10, 10, 200, 100, "Flags", c.flags), 0);
    auto* frame = static_cast<QWidget*>(windowHandle(1));
    EXPECT_EQ(frame->isVisible(), c.visible);
    EXPECT_EQ(frame->minimumSize() == frame->maximumSize(), c.fixedSize);
    EXPECT_EQ(frame->windowFlags().testFlag(Qt::WindowTitleHint), c.titleBar);
    EXPECT_EQ((frame->windowFlags() & Qt::WindowType_Mask) == Qt::Tool, c.tool);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowFlagTest,
    testing::Values(WindowFlagCase{"viewer", 0xCA0001, true, true, true, false},
                    WindowFlagCase{"no_style_gets_a_title_bar", kWindowCentred, true, true, true, false},
                    WindowFlagCase{"sizing_border", kWindowTitleBar | kWindowSizingBorder, true, false, true,
                                   false},
                    WindowFlagCase{"invisible", kWindowTitleBar | kWindowInvisible, false, true, true, false},
                    WindowFlagCase{"tool", kWindowTitleBar | kWindowTool, true, true, true, true}),
    [](const testing::TestParamInfo<WindowFlagCase>& info) { return std::string(info.param.name); });

TEST_F(WindowShellTest, InputTakenByAnOpenPopupIsNotReturned) {
    openMainWindow();
    ASSERT_NE(createPopupMenu(2), 0);
    menuItem(14, "jump here");
    QTimer::singleShot(30, [] {
        QTest::mouseMove(nativeWindow(), QPoint(400, 400));
        QTest::mouseMove(nativeWindow(), QPoint(410, 410));
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup->windowHandle(), Qt::Key_Escape);
    });
    showPopupMenu(2, 0);
    for (const ReturnedEvent& event : takeEvents()) EXPECT_GE(event.kind, kEventControl) << event.kind;
}

TEST_F(WindowShellTest, SecondEntryForAKeyReplacesTheCommand) {
    openMainWindow();
    EXPECT_EQ(shortcutCount(0), 2);  // Tab and Shift+Tab
    addShortcut(0, kShortcutControl | 'O', 3);
    addShortcut(0, kShortcutControl | 'G', 8);
    addShortcut(0, kShortcutControl | 'O', 30);
    EXPECT_EQ(shortcutCount(0), 4);
    EXPECT_EQ(shortcutCommand(0, kShortcutControl | 'O'), 30);
    QTest::keyClick(nativeWindow(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(nativeWindow(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(takeEvents(kEventMenu),
              (std::vector<ReturnedEvent>{{kEventMenu, 30, 0, 0}, {kEventMenu, 8, 0, 0}}));
}

TEST_F(WindowShellTest, TabMovesTheFocusAmongTabStopsAndWraps) {
    openMainWindow();
    createCheckBox(3, 0, 0, 30, 20, "i");
    createScrollBar(1, 0, 30, 200, 20, 0, 10, 1, 0);  // not a tab stop
    createCheckBox(4, 40, 0, 30, 20, "R");
    createSpinBox(7, 80, 0, 80, 20, -1, 1);
    std::vector<void*> order;
    for (int press = 0; press < 4; ++press) {
        QTest::keyClick(nativeWindow(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(order,
              (std::vector<void*>{controlHandle(3), controlHandle(4), controlHandle(7), controlHandle(3)}));
    QTest::keyClick(nativeWindow(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), controlHandle(7));
    EXPECT_TRUE(takeEvents(kEventMenu).empty());
    setFocus(-1);
    EXPECT_EQ(QApplication::focusWidget(), windowHandle(0));
}

// The viewer's menu bar: drop-downs, submenus, then command items on the bar itself.
void buildViewerMenu() {
    ASSERT_NE(createMenuBar(0, 0), 0);
    beginDropDown("File");
    menuItem(3, "Open...\tCtrl+O");
    menuSeparator();
    menuItem(0, "Quit");
    beginDropDown("View");
    openSubmenu("Zoom");
    menuItem(13, "zoom preview\tCtrl+Z");
    menuItem(4, "zoom x1\tCtrl+1");
    closeSubmenu();
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
}

std::vector<std::string> topLevelTexts(QMenuBar* bar) {
    std::vector<std::string> texts;
    for (QAction* action : bar->actions()) texts.push_back(action->text().toStdString());
    return texts;
}

TEST_F(WindowShellTest, CloseSubmenuAtTheBarChangesNothing) {
    QWidget* frame = openMainWindow();
    buildViewerMenu();
    auto* bar = frame->findChild<QMenuBar*>();
    EXPECT_EQ(topLevelTexts(bar), (std::vector<std::string>{"File", "View", "x1", "x2"}));
    QAction* view = bar->actions()[1];
    std::vector<std::string> viewItems;
    for (QAction* action : view->menu()->actions()) viewItems.push_back(action->text().toStdString());
    EXPECT_EQ(viewItems, (std::vector<std::string>{"Zoom", "Color mode", "Grid\tCtrl+G"}));
}

TEST_F(WindowShellTest, CheckMarksAreFoundInSubmenusAndShowWhatTheProgramSet) {
    QWidget* frame = openMainWindow();
    buildViewerMenu();
    struct {
        int id, expected;
    } marks[] = {{15, 1}, {16, 0}, {8, 0}, {13, 0}, {99, 0}};
    for (auto mark : marks) EXPECT_EQ(getMenuCheck(0, mark.id), mark.expected) << mark.id;
    setMenuCheck(0, 16, 1);
    setMenuCheck(0, 15, 0);
    setMenuCheck(0, 8, 1);
    EXPECT_EQ(getMenuCheck(0, 16), 1);
    EXPECT_EQ(getMenuCheck(0, 15), 0);
    EXPECT_EQ(getMenuCheck(0, 8), 1);
    EXPECT_EQ(getMenuCheck(5, 8), 0);  // no such menu
    // Choosing a checked item leaves its mark as the program set it, and posts the command.
    QAction* grid = nullptr;
    for (QAction* action : frame->findChildren<QAction*>())
        if (action->data().toInt() == 8) grid = action;
    ASSERT_NE(grid, nullptr);
    grid->trigger();
    EXPECT_EQ(getMenuCheck(0, 8), 1);
    EXPECT_EQ(takeEvents(kEventMenu), (std::vector<ReturnedEvent>{{kEventMenu, 8, 0, 0}}));
}

TEST_F(WindowShellTest, CommandItemOnTheBarPostsItsEvent) {
    QWidget* frame = openMainWindow();
    buildViewerMenu();
    auto* bar = frame->findChild<QMenuBar*>();
    QRect x2 = bar->actionGeometry(bar->actions()[3]);
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, bar->mapTo(frame, x2.center()));
    EXPECT_EQ(takeEvents(kEventMenu), (std::vector<ReturnedEvent>{{kEventMenu, 5, 0, 0}}));
}

TEST_F(WindowShellTest, PopupChoiceArrivesLaterAsMenuEvent) {
    QWidget* frame = openMainWindow();
    ASSERT_NE(createPopupMenu(2), 0);
    menuItem(14, "jump here");
    QCursor::setPos(frame->mapToGlobal(QPoint(100, 100)));
    QTimer::singleShot(50, [] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
    });
    showPopupMenu(2, 0);
    EXPECT_EQ(takeEvents(kEventMenu), (std::vector<ReturnedEvent>{{kEventMenu, 14, 0, 0}}));
}

TEST_F(WindowShellTest, ClientPointerIsMinusOneOutsideTheClientArea) {
    QWidget* frame = openMainWindow();
    buildViewerMenu();
    int barHeight = frame->findChild<QMenuBar*>()->height();
    struct {
        QPoint inFrame;
        int x, y;
    } cases[] = {
        {{10, barHeight + 5}, 10, 5},  {{619, 601}, 619, 601 - barHeight}, {{10, 3}, -1, -1},
        {{-5, barHeight + 5}, -1, -1}, {{620, barHeight + 5}, -1, -1},     {{10, 602}, -1, -1},
    };
    for (auto each : cases) {
        QCursor::setPos(frame->mapToGlobal(each.inFrame));
        EXPECT_EQ(clientPointerX(0), each.x) << each.inFrame.x() << "," << each.inFrame.y();
        EXPECT_EQ(clientPointerY(0), each.y) << each.inFrame.x() << "," << each.inFrame.y();
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
    EXPECT_EQ(statusText(0, 0), "Disp=0");
    EXPECT_EQ(statusText(0, 2), "right");
    QList<QLabel*> labels = frame->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[0]->width(), 200);
    EXPECT_EQ(labels[1]->width(), 210);
    EXPECT_EQ(labels[2]->x(), 410);
    EXPECT_EQ(labels[0]->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(labels[2]->alignment().testFlag(Qt::AlignRight));
    QWidget* bar = labels[0]->parentWidget();
    EXPECT_EQ(bar->mapTo(frame, QPoint(0, bar->height())).y(), 602);
    EXPECT_GE(bar->height(), 18);
}

TEST_F(WindowShellTest, StayOnTopKeepsTheNativeWindow) {
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
}

TEST_F(WindowShellTest, MissingObjectsDoNothing) {
    EXPECT_EQ(windowHandle(0), nullptr);
    EXPECT_EQ(createMenuBar(0, 4), 0);
    EXPECT_EQ(createStatusBar(0, 4), 0);
    EXPECT_EQ(createCheckBox(3, 0, 0, 10, 10, "x"), 0);  // no window to hold it
    setWindowTitle(4, "x");
    setStatusText(4, 0, "x", 0);
    menuItem(1, "nowhere");
    EXPECT_EQ(getMenuCheck(0, 1), 0);
    EXPECT_EQ(shortcutCount(4), 0);
}

}  // namespace
