#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

using ControlsTest = ShellTest;

// Program-made changes post nothing; the position stays within minimum .. maximum - page + 1.
TEST_F(ControlsTest, ScrollPositionIsClampedAndProgramChangesPostNothing) {
    openMainWindow();
    struct {
        int minimum, maximum, page, set, expected;
    } rows[] = {{0, 32, 1, 32, 32},   {0, 32, 1, 40, 32}, {0, 32, 1, -5, 0}, {1, 255, 1, 300, 255},
                {0, 100, 10, 95, 91}, {0, 32, 0, 32, 32}, {0, 5, 50, 3, 0}};
    for (auto row : rows) {
        ASSERT_NE(createScrollBar(1, 600, 0, 20, 512, row.minimum, row.maximum, row.page, 1), 0);
        setState(1, row.set);
        EXPECT_EQ(getState(1), row.expected) << row.maximum << " " << row.page << " " << row.set;
    }
    createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
    createCheckBox(5, 80, 532, 40, 20, "g");
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    static int callbacks = 0;
    for (int control : {1, 5, 7}) bindControlEvent(control, [] { ++callbacks; });
    setState(1, 30);
    setAttribute(1, kScrollMaximum, 10);
    EXPECT_EQ(std::pair(getAttribute(1, kScrollMinimum), getState(1)), std::pair(0, 10));
    setAttribute(1, kScrollMinimum, 5);
    setAttribute(1, kScrollPageLength, 3);
    EXPECT_EQ(std::pair(getAttribute(1, kScrollMaximum), getAttribute(1, kScrollPageLength)),
              std::pair(10, 3));
    EXPECT_EQ(getState(1), 8);
    EXPECT_EQ(getAttribute(1, 4), 0);
    setState(5, 7);
    setState(5, 0);
    setState(7, 1);
    setAttribute(7, kSpinMinimum, -3);
    setText(7, "-3");
    setToolTip(7, "offset");
    setToolTip(7, "fine offset");
    EXPECT_EQ(callbacks, 0);
    EXPECT_TRUE(takeEvents(kEventControl).empty());
    EXPECT_EQ(std::pair(getState(7), getState(5)), std::pair(1, 0));
    EXPECT_EQ(getText(7), "-3");
    EXPECT_EQ(widgetOf(controlHandle(7))->toolTip(), "fine offset");
    // A number never made, or made anew as another kind, reads as that.
    for (int number : {0, 4, -1}) {
        setState(number, 5);
        setText(number, "x");
        EXPECT_EQ(std::pair(getState(number), getAttribute(number, 3)), std::pair(0, 0)) << number;
        EXPECT_EQ(controlHandle(number), nullptr);
    }
    EXPECT_EQ(getAttribute(5, 1), 0);  // check boxes have no attributes
    createScrollBar(5, 600, 0, 20, 512, 0, 32, 1, 1);
    EXPECT_EQ(std::pair(getState(5), getAttribute(5, kScrollMaximum)), std::pair(0, 32));
    EXPECT_EQ(widgetOf(windowHandle(0))->findChildren<QCheckBox*>().size(), 0);
}

QPoint scrollPart(int number, QStyle::SubControl part) {
    auto* bar = static_cast<QScrollBar*>(controlHandle(number));
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.pageStep = bar->pageStep();
    option.subControls = QStyle::SC_All;
    return inWindow(number, bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar).center());
}

void clickAt(QPoint point) {
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, point);
}

std::vector<int> statesSeen;

// The bound callback runs at once with the new position, also at every step of a thumb drag
// while the button is still down; the drag takes its own input: no raw message after the press.
TEST_F(ControlsTest, UserScrollingCallsTheBoundCallbackAtOnce) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 100, 10, 1);
    bindControlEvent(
        1, [] { statesSeen.push_back(eventControl() == 1 && eventType() == 0 ? getState(1) : -1); });
    statesSeen.clear();
    clickAt(scrollPart(1, QStyle::SC_ScrollBarAddLine));
    clickAt(scrollPart(1, QStyle::SC_ScrollBarAddPage));
    EXPECT_EQ(statesSeen, (std::vector<int>{1, 11}));
    takeEvents();
    QPoint thumb = scrollPart(1, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, thumb);
    for (int step = 1; step <= 3; ++step) QTest::mouseMove(nativeWindow(), thumb + QPoint(0, 40 * step));
    ASSERT_EQ(statesSeen.size(), 5u);
    EXPECT_TRUE(11 < statesSeen[2] && statesSeen[2] < statesSeen[3] && statesSeen[3] < statesSeen[4]);
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, thumb + QPoint(0, 120));
    EXPECT_EQ(getState(1), statesSeen[4]);
    std::vector<int> raw;
    for (const ReturnedEvent& event : takeEvents())
        if (event.kind < kEventControl) raw.push_back(event.kind);
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(raw.back(), kRawLeftButtonDown);
}

// Arrows step the spin value within its range and always post; so do Up and Down in its field,
// which posts typing too and leaves window shortcuts to the window. Check boxes toggle on a
// click and keep the focus on arrow keys.
TEST_F(ControlsTest, SpinBoxAndCheckBoxInput) {
    openMainWindow();
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    createCheckBox(3, 0, 532, 30, 20, "i");
    createCheckBox(4, 40, 532, 40, 20, "R");
    addShortcut(0, kShortcutControl | 'Z', 13);
    setText(7, "0");
    QList<QToolButton*> arrows = widgetOf(controlHandle(7))->parentWidget()->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    std::vector<std::pair<int, int>> steps;  // value, type posted
    for (int arrow : {1, 1, 0, 0, 0}) {
        clickAt(arrows[arrow]->mapTo(arrows[arrow]->window(), arrows[arrow]->rect().center()));
        for (const ReturnedEvent& event : takeEvents(kEventControl))
            steps.emplace_back(getState(7), event.type);
    }
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{
                         {-1, kSpinDown}, {-1, kSpinDown}, {0, kSpinUp}, {1, kSpinUp}, {1, kSpinUp}}));
    setFocus(7);
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_5})
        QTest::keyClick(nativeWindow(), key);
    QTest::keyClick(nativeWindow(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(getState(7), 0);
    EXPECT_EQ(getText(7), "05");  // the arrows never touch the text; no undo
    std::vector<int> types;
    for (const ReturnedEvent& event : takeEvents())
        if (event.kind == kEventMenu || event.kind == kEventControl)
            types.push_back(event.kind == kEventMenu ? 13 : event.type);
    EXPECT_EQ(types, (std::vector<int>{kSpinDown, kSpinUp, kSpinTextChanged, 13}));  // like ones merged
    EXPECT_TRUE(static_cast<QLineEdit*>(controlHandle(7))->alignment().testFlag(Qt::AlignRight));
    QPoint box = inWindow(3, QPoint(8, 10));
    for (int expected : {1, 0}) {
        clickAt(box);
        EXPECT_EQ(getState(3), expected);
        EXPECT_EQ(takeEvents(kEventControl), (std::vector<ReturnedEvent>{{kEventControl, 3, 0, 0}}));
    }
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}) {
        QTest::keyClick(nativeWindow(), key);
        EXPECT_EQ(QApplication::focusWidget(), controlHandle(3)) << key;
    }
}

int barsMade = 0, canvasesMade = 0;

// A callback runs while the control is still handling the input; making its number anew there
// leaves a working control, and the old one's remaining input does not reach the new one.
TEST_F(ControlsTest, RecreatingAControlFromItsOwnCallbackIsSafe) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
    createCanvas(0, 0, 0, 500, 512, 0);
    bindControlEvent(1, [] {
        if (barsMade++ == 0) createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
    });
    bindControlEvent(0, [] {
        if (canvasesMade++ == 0) createCanvas(0, 0, 0, 500, 512, 0);
    });
    clickAt(scrollPart(1, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(std::pair(barsMade, getState(1)), std::pair(1, 0));
    clickAt(scrollPart(1, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(getState(1), 1);
    QTest::mouseMove(nativeWindow(), inWindow(0, QPoint(50, 50)));
    clickAt(inWindow(0, QPoint(50, 50)));
    EXPECT_GE(canvasesMade, 1);
    EXPECT_NE(canvasImage(0), nullptr);
}

}  // namespace
