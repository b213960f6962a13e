#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include "shell_test_support.h"

namespace {

// Program-made changes post nothing and run no callback; the position stays within the range.
TEST_F(ShellTest, ScrollPositionIsClampedAndProgramChangesPostNothing) {
    openMainWindow();
    struct {
        int minimum, maximum, set, expected;
    } rows[] = {{0, 32, 32, 32}, {0, 32, 40, 32}, {0, 32, -5, 0}, {1, 255, 0, 1}};
    for (auto row : rows) {
        ASSERT_NE(createScrollBar(1, 600, 0, 20, 512, row.minimum, row.maximum, 1, 1), 0);
        setState(1, row.set);
        EXPECT_EQ(getState(1), row.expected) << row.minimum << ".." << row.maximum << " " << row.set;
    }
    createCheckBox(5, 80, 532, 40, 20, "g");
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    static int callbacks = 0;
    for (int control : {1, 5, 7}) bindControlEvent(control, [] { ++callbacks; });
    setState(1, 30);
    setAttribute(1, kScrollMaximum, 10);
    EXPECT_EQ(getState(1), 10);
    setState(1, 3), setAttribute(1, kScrollMinimum, 5);
    EXPECT_EQ(getState(1), 5);
    setState(5, 1);
    setState(7, 1);
    setAttribute(7, kSpinMinimum, -3);
    setText(7, "-3");
    setToolTip(7, "offset");
    EXPECT_EQ(callbacks, 0);
    EXPECT_TRUE(takeEvents(kEventControl).empty());
    EXPECT_EQ(std::pair(getState(7), getState(5)), std::pair(1, 1));
    EXPECT_EQ(getText(7), "-3");
    EXPECT_EQ(widgetOf(controlHandle(7))->toolTip(), "offset");
}

QPoint scrollPart(int number, QStyle::SubControl part) {
    auto* bar = static_cast<QScrollBar*>(controlHandle(number));
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.pageStep = bar->pageStep();
    return inWindow(number, bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar).center());
}

void clickAt(QPoint point) {
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, point);
}

std::vector<int> statesSeen;

// The callback runs at every step of a thumb drag while the button is still down.
TEST_F(ShellTest, UserScrollingCallsTheBoundCallbackAtOnce) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 100, 10, 1);
    bindControlEvent(
        1, [] { statesSeen.push_back(eventControl() == 1 && eventType() == 0 ? getState(1) : -1); });
    statesSeen.clear();
    clickAt(scrollPart(1, QStyle::SC_ScrollBarAddLine));
    clickAt(scrollPart(1, QStyle::SC_ScrollBarAddPage));
    EXPECT_EQ(statesSeen, (std::vector<int>{1, 11}));
    QPoint thumb = scrollPart(1, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, thumb);
    for (int step = 1; step <= 3; ++step) QTest::mouseMove(nativeWindow(), thumb + QPoint(0, 40 * step));
    ASSERT_EQ(statesSeen.size(), 5u);
    EXPECT_TRUE(11 < statesSeen[2] && statesSeen[2] < statesSeen[3] && statesSeen[3] < statesSeen[4]);
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, thumb + QPoint(0, 120));
    EXPECT_EQ(getState(1), statesSeen[4]);
}

TEST_F(ShellTest, SpinBoxAndCheckBoxInput) {
    openMainWindow();
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    createCheckBox(3, 0, 532, 30, 20, "i");
    createCheckBox(4, 40, 532, 40, 20, "R");
    addShortcut(0, kShortcutControl | 'Z', 13);
    setText(7, "0");
    QList<QToolButton*> arrows = widgetOf(controlHandle(7))->parentWidget()->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    std::vector<int> steps;  // the value at each event posted
    for (int arrow : {1, 1, 0, 0, 0}) {
        clickAt(arrows[arrow]->mapTo(arrows[arrow]->window(), arrows[arrow]->rect().center()));
        for (size_t posted = takeEvents(kEventControl).size(); posted > 0; --posted)
            steps.push_back(getState(7));
    }
    EXPECT_EQ(steps, (std::vector<int>{-1, -1, 0, 1, 1}));
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

}  // namespace
