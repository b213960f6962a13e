#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include <string>

#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

using ControlsTest = ShellTest;

struct ScrollCase {
    const char* name;
    int minimum, maximum, page, set, expected;
};

class ScrollClampTest : public ShellTest, public testing::WithParamInterface<ScrollCase> {};

TEST_P(ScrollClampTest, PositionIsClampedToMaximumMinusPagePlusOne) {
    const ScrollCase& c = GetParam();
    openMainWindow();
    ASSERT_NE(createScrollBar(1, 600, 0, 20, 512, c.minimum, c.maximum, c.page, 1), 0);
    setState(1, c.set);
    EXPECT_EQ(getState(1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScrollClampTest,
    testing::Values(ScrollCase{"takes_the_maximum", 0, 32, 1, 32, 32},
                    ScrollCase{"clamps_above", 0, 32, 1, 40, 32}, ScrollCase{"clamps_below", 0, 32, 1, -5, 0},
                    ScrollCase{"width_range", 1, 255, 1, 300, 255},
                    ScrollCase{"page_of_ten", 0, 100, 10, 95, 91}, ScrollCase{"page_zero", 0, 32, 0, 32, 32},
                    ScrollCase{"page_beyond_range", 0, 5, 50, 3, 0}),
    [](const testing::TestParamInfo<ScrollCase>& info) { return std::string(info.param.name); });

TEST_F(ControlsTest, ScrollAttributesKeepTheOtherEndAndClampThePosition) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
    setState(1, 30);
    setAttribute(1, kScrollMaximum, 10);
    EXPECT_EQ(getAttribute(1, kScrollMinimum), 0);
    EXPECT_EQ(getAttribute(1, kScrollMaximum), 10);
    EXPECT_EQ(getState(1), 10);
    setAttribute(1, kScrollMinimum, 5);
    EXPECT_EQ(getAttribute(1, kScrollMaximum), 10);
    setAttribute(1, kScrollPageLength, 3);
    EXPECT_EQ(getAttribute(1, kScrollPageLength), 3);
    EXPECT_EQ(getState(1), 8);
    EXPECT_EQ(getAttribute(1, 4), 0);
}

std::vector<int> statesSeen;
void recordScrollState() {
    EXPECT_EQ(eventKind(), kEventControl);
    EXPECT_EQ(eventControl(), 1);
    EXPECT_EQ(eventType(), 0);
    statesSeen.push_back(getState(1));
}

QRect scrollPart(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.subControls = QStyle::SC_All;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
}

TEST_F(ControlsTest, UserScrollingCallsTheBoundCallbackAtOnceWithTheNewPosition) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 100, 10, 1);
    bindControlEvent(1, recordScrollState);
    auto* bar = static_cast<QScrollBar*>(controlHandle(1));
    statesSeen.clear();
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier,
                      inWindow(1, scrollPart(bar, QStyle::SC_ScrollBarAddLine).center()));
    EXPECT_EQ(statesSeen, (std::vector<int>{1}));
    statesSeen.clear();
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier,
                      inWindow(1, scrollPart(bar, QStyle::SC_ScrollBarAddPage).center()));
    EXPECT_EQ(statesSeen, (std::vector<int>{11}));

    // Every step of a thumb drag is reported while the button is still down.
    statesSeen.clear();
    takeEvents();
    QPoint thumb = scrollPart(bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, inWindow(1, thumb));
    for (int step = 1; step <= 3; ++step)
        QTest::mouseMove(nativeWindow(), inWindow(1, thumb + QPoint(0, 40 * step)));
    std::vector<int> duringDrag = statesSeen;
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, inWindow(1, thumb + QPoint(0, 120)));
    // The drag takes its own input: after the press no raw message comes back.
    std::vector<int> raw;
    for (const ReturnedEvent& event : takeEvents())
        if (event.kind < kEventControl) raw.push_back(event.kind);
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(raw.back(), kRawLeftButtonDown);
    ASSERT_EQ(duringDrag.size(), 3u);
    EXPECT_LT(11, duringDrag[0]);
    EXPECT_LT(duringDrag[0], duringDrag[1]);
    EXPECT_LT(duringDrag[1], duringDrag[2]);
    EXPECT_EQ(getState(1), duringDrag[2]);
}

struct SpinStep {
    const char* arrow;  // "up" or "down"
    int value, type;
};

TEST_F(ControlsTest, SpinArrowsStepTheValueWithinTheRangeAndAlwaysPost) {
    openMainWindow();
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    setText(7, "0");
    QList<QToolButton*> arrows =
        static_cast<QWidget*>(controlHandle(7))->parentWidget()->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    const SpinStep steps[] = {{"down", -1, kSpinDown},
                              {"down", -1, kSpinDown},
                              {"up", 0, kSpinUp},
                              {"up", 1, kSpinUp},
                              {"up", 1, kSpinUp}};
    for (const SpinStep& step : steps) {
        QToolButton* button = std::string(step.arrow) == "up" ? arrows[0] : arrows[1];
        QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier,
                          button->mapTo(button->window(), button->rect().center()));
        EXPECT_EQ(getState(7), step.value);
        EXPECT_EQ(takeEvents(kEventControl), (std::vector<ReturnedEvent>{{kEventControl, 7, 0, step.type}}));
    }
    EXPECT_EQ(getText(7), "0");  // the arrows never touch the text
}

TEST_F(ControlsTest, SpinFieldStepsWithArrowKeysAndPostsTyping) {
    openMainWindow();
    createSpinBox(7, 240, 532, 80, 20, -5, 5);
    setFocus(7);
    QTest::keyClick(nativeWindow(), Qt::Key_Up);
    QTest::keyClick(nativeWindow(), Qt::Key_Up);
    QTest::keyClick(nativeWindow(), Qt::Key_Down);
    QTest::keyClick(nativeWindow(), Qt::Key_7);
    EXPECT_EQ(getState(7), 1);
    EXPECT_EQ(getText(7), "7");
    EXPECT_EQ(takeEvents(kEventControl),
              (std::vector<ReturnedEvent>{{kEventControl, 7, 0, kSpinUp},
                                          {kEventControl, 7, 0, kSpinDown},
                                          {kEventControl, 7, 0, kSpinTextChanged}}));
    auto* field = static_cast<QLineEdit*>(controlHandle(7));
    EXPECT_TRUE(field->alignment().testFlag(Qt::AlignRight));
}

TEST_F(ControlsTest, WindowShortcutsWinOverTheSpinField) {
    openMainWindow();
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    addShortcut(0, kShortcutControl | 'Z', 13);
    setFocus(7);
    QTest::keyClick(nativeWindow(), Qt::Key_5);
    QTest::keyClick(nativeWindow(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(getText(7), "5");  // not undone
    EXPECT_EQ(takeEvents(kEventMenu), (std::vector<ReturnedEvent>{{kEventMenu, 13, 0, 0}}));
}

TEST_F(ControlsTest, CheckBoxTogglesOnClickAndPosts) {
    openMainWindow();
    createCheckBox(5, 80, 532, 40, 20, "g");
    auto* box = static_cast<QWidget*>(controlHandle(5));
    QPoint centre = inWindow(5, QPoint(8, box->height() / 2));
    for (int expected : {1, 0}) {
        QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, centre);
        EXPECT_EQ(getState(5), expected);
        EXPECT_EQ(takeEvents(kEventControl), (std::vector<ReturnedEvent>{{kEventControl, 5, 0, 0}}));
    }
}

TEST_F(ControlsTest, ArrowKeysLeaveTheFocusOnACheckBox) {
    openMainWindow();
    createCheckBox(3, 0, 532, 30, 20, "i");
    createCheckBox(4, 40, 532, 40, 20, "R");
    setFocus(3);
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}) {
        QTest::keyClick(nativeWindow(), key);
        EXPECT_EQ(QApplication::focusWidget(), controlHandle(3)) << key;
    }
    EXPECT_EQ(getState(3), 0);
}

int callbackRuns = 0;
void countCallback() {
    ++callbackRuns;
}

TEST_F(ControlsTest, ProgramMadeChangesPostNothing) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
    createCheckBox(5, 80, 532, 40, 20, "g");
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    for (int control : {1, 5, 7}) bindControlEvent(control, countCallback);
    callbackRuns = 0;
    setState(1, 20);
    setAttribute(1, kScrollMaximum, 10);
    setAttribute(1, kScrollPageLength, 4);
    setState(5, 7);
    setState(5, 0);
    setState(7, 1);
    setAttribute(7, kSpinMinimum, -3);
    setText(7, "-3");
    EXPECT_EQ(callbackRuns, 0);
    EXPECT_TRUE(takeEvents(kEventControl).empty());
    EXPECT_EQ(getState(1), 7);
    EXPECT_EQ(getState(7), 1);
    EXPECT_EQ(getText(7), "-3");
}

TEST_F(ControlsTest, NeverCreatedControlReadsZero) {
    openMainWindow();
    createCheckBox(3, 0, 532, 30, 20, "i");
    for (int number : {0, 4, 50, -1}) {
        EXPECT_EQ(getState(number), 0) << number;
        for (int which = 1; which <= 11; ++which) EXPECT_EQ(getAttribute(number, which), 0) << number;
        setState(number, 5);
        setText(number, "x");
        setToolTip(number, "tip");
        EXPECT_EQ(getState(number), 0) << number;
        EXPECT_EQ(controlHandle(number), nullptr);
    }
    EXPECT_EQ(getAttribute(3, 1), 0);  // check boxes have no attributes
}

TEST_F(ControlsTest, ToolTipIsReplaced) {
    openMainWindow();
    createSpinBox(7, 240, 532, 80, 20, -1, 1);
    setToolTip(7, "offset");
    setToolTip(7, "fine offset");
    EXPECT_EQ(static_cast<QWidget*>(controlHandle(7))->toolTip(), "fine offset");
}

TEST_F(ControlsTest, RecreatingANumberReplacesTheControl) {
    openMainWindow();
    createCheckBox(3, 0, 532, 30, 20, "i");
    setState(3, 1);
    createScrollBar(3, 600, 0, 20, 512, 0, 32, 1, 1);
    EXPECT_EQ(getState(3), 0);
    EXPECT_EQ(getAttribute(3, kScrollMaximum), 32);
    EXPECT_EQ(static_cast<QWidget*>(windowHandle(0))->findChildren<QCheckBox*>().size(), 0);
}

}  // namespace

namespace {

int recreations = 0;
void recreateRowScroll() {
    if (recreations++ == 0) createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
}
void recreateCanvas() {
    if (recreations++ == 0) createCanvas(0, 0, 0, 600, 512, 0);
}

// A callback runs while the control is still handling the input; making its number anew there
// must leave a working control, and the old one's remaining input must not reach the new one.
TEST_F(ControlsTest, RecreatingAControlFromItsOwnCallbackIsSafe) {
    openMainWindow();
    createScrollBar(1, 600, 0, 20, 512, 0, 32, 1, 1);
    recreations = 0;
    bindControlEvent(1, recreateRowScroll);
    auto* bar = static_cast<QScrollBar*>(controlHandle(1));
    QTest::mouseClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier,
                      inWindow(1, scrollPart(bar, QStyle::SC_ScrollBarAddLine).center()));
    EXPECT_EQ(recreations, 1);
    EXPECT_EQ(getState(1), 0);
    QTest::mouseClick(
        nativeWindow(), Qt::LeftButton, Qt::NoModifier,
        inWindow(
            1, scrollPart(static_cast<QScrollBar*>(controlHandle(1)), QStyle::SC_ScrollBarAddLine).center()));
    EXPECT_EQ(getState(1), 1);

    createCanvas(0, 0, 0, 600, 512, 0);
    recreations = 0;
    bindControlEvent(0, recreateCanvas);
    QTest::mouseMove(nativeWindow(), inWindow(0, QPoint(50, 50)));
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, inWindow(0, QPoint(50, 50)));
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, inWindow(0, QPoint(50, 50)));
    EXPECT_GE(recreations, 1);
    EXPECT_NE(canvasImage(0), nullptr);
    takeEvents();
}

}  // namespace
