#include <QImage>
#include <QWheelEvent>

#include "graphics/drawing.h"
#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

class CanvasTest : public ShellTest {
   protected:
    void openWithCanvas(int flags = 0) {
        openMainWindow();
        ASSERT_NE(createCanvas(0, 0, 0, 600, 512, flags), 0);
        createCheckBox(3, 0, 532, 30, 20, "i");
        takeEvents();
    }
};

// Types of the canvas's control events waiting now, with the data record of each.
struct CanvasEvent {
    int type;
    CanvasEventData data;
};

std::vector<CanvasEvent> takeCanvasEvents() {
    std::vector<CanvasEvent> events;
    while (int kind = waitEvent(0)) {
        if (kind != kEventControl || eventControl() != 0) continue;
        const auto* data = static_cast<const CanvasEventData*>(eventData());
        events.push_back({eventType(), data != nullptr ? *data : CanvasEventData{}});
    }
    return events;
}

std::vector<int> typesOf(const std::vector<CanvasEvent>& events) {
    std::vector<int> types;
    for (const CanvasEvent& event : events) types.push_back(event.type);
    return types;
}

QPoint onCanvas(int x, int y) {
    return inWindow(0, QPoint(x, y));
}

void sendWheel(int x, int y, int delta) {
    QPointF point = onCanvas(x, y);
    QWheelEvent wheel(point, QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(nativeWindow(), &wheel);
}

TEST_F(CanvasTest, FreshCanvasIsWhite) {
    openWithCanvas();
    ImageHandle image = canvasImage(0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 600);
    EXPECT_EQ(image->height, 512);
    EXPECT_EQ(image->depth, 24);
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = imageRow(*image, y);
        ASSERT_TRUE(std::all_of(row, row + 600 * 3, [](uint8_t byte) { return byte == 0xFF; })) << y;
    }
    QImage shown = static_cast<QWidget*>(controlHandle(0))->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(600, 512));
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32).pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32).pixel(599, 511), 0xFFFFFFFFu);
}

class PaintCounter : public QObject {
   public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(CanvasTest, EndDrawingShowsTheBackingImageAtOnceAndUnchanged) {
    openWithCanvas();
    auto* widget = static_cast<QWidget*>(controlHandle(0));
    PaintCounter counter;
    widget->installEventFilter(&counter);
    ASSERT_NE(beginDrawing(canvasTarget(0)), 0);
    fillBox(0, 0, 600, 512, rgb(0, 0, 0));
    fillBox(10, 20, 30, 40, rgb(255, 0, 0));
    fillBox(599, 511, 1, 1, rgb(1, 2, 3));
    drawLine(0, 500, 599, 0, rgb(0, 200, 100));
    endDrawing();
    EXPECT_EQ(counter.paints, 1);  // painted before any event is processed
    QImage shown = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ImageHandle image = canvasImage(0);
    int differing = 0;
    for (int y = 0; y < 512; ++y) {
        const uint8_t* row = imageRow(*image, y);
        for (int x = 0; x < 600; ++x) {
            QRgb expected = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
            if (shown.pixel(x, y) != expected) ++differing;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(shown.pixel(15, 25), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(599, 511), qRgb(1, 2, 3));
    widget->removeEventFilter(&counter);
}

TEST_F(CanvasTest, TargetOfANumberThatIsNoCanvasFails) {
    openWithCanvas();
    EXPECT_EQ(canvasTarget(3).pixels, nullptr);
    EXPECT_EQ(canvasTarget(9).pixels, nullptr);
    EXPECT_EQ(beginDrawing(canvasTarget(9)), 0);
    EXPECT_EQ(getState(0), 0);
}

TEST_F(CanvasTest, MouseEnterComesBeforeMouseMove) {
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(10, 10));
    std::vector<CanvasEvent> first = takeCanvasEvents();
    QTest::mouseMove(nativeWindow(), onCanvas(17, 5));
    std::vector<CanvasEvent> second = takeCanvasEvents();
    EXPECT_EQ(typesOf(first), (std::vector<int>{kCanvasMouseEnter}));
    ASSERT_EQ(typesOf(second), (std::vector<int>{kCanvasMouseMove}));
    EXPECT_EQ(second[0].data.mouseX, 17);
    EXPECT_EQ(second[0].data.mouseY, 5);
}

TEST_F(CanvasTest, LeaveFollowsOnlyAKnownEnter) {
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(10, 10));
    QTest::mouseMove(nativeWindow(), inWindow(3, QPoint(5, 5)));
    QTest::mouseMove(nativeWindow(), onCanvas(12, 12));
    EXPECT_EQ(typesOf(takeCanvasEvents()),
              (std::vector<int>{kCanvasMouseEnter, kCanvasMouseLeave, kCanvasMouseEnter}));
    // Qt reports the pointer leaving even when no move over the canvas was seen.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(static_cast<QWidget*>(controlHandle(0)), &leave);
    QCoreApplication::sendEvent(static_cast<QWidget*>(controlHandle(0)), &leave);
    EXPECT_EQ(typesOf(takeCanvasEvents()), (std::vector<int>{kCanvasMouseLeave}));
}

TEST_F(CanvasTest, TwoMovesBeforeTheLoopReadsBecomeOneCarryingTheFirstPosition) {
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(10, 10));
    takeCanvasEvents();
    QTest::mouseMove(nativeWindow(), onCanvas(20, 30));
    QTest::mouseMove(nativeWindow(), onCanvas(40, 50));
    std::vector<CanvasEvent> events = takeCanvasEvents();
    ASSERT_EQ(typesOf(events), (std::vector<int>{kCanvasMouseMove}));
    EXPECT_EQ(events[0].data.mouseX, 20);
    EXPECT_EQ(events[0].data.mouseY, 30);
}

struct ClickCase {
    const char* name;
    Qt::MouseButton button;
    QPoint release;  // canvas coordinates
    std::vector<int> types;
};

class CanvasClickTest : public CanvasTest, public testing::WithParamInterface<ClickCase> {};

TEST_P(CanvasClickTest, ClickOnlyWhenReleasedInside) {
    const ClickCase& c = GetParam();
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(100, 100));
    takeCanvasEvents();
    QTest::mousePress(nativeWindow(), c.button, Qt::NoModifier, onCanvas(100, 100));
    QTest::mouseRelease(nativeWindow(), c.button, Qt::NoModifier, onCanvas(c.release.x(), c.release.y()));
    EXPECT_EQ(typesOf(takeCanvasEvents()), c.types);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanvasClickTest,
    // Moving to the release point while the button is held is reported too; a release outside
    // is followed by the leave.
    testing::Values(
        ClickCase{"right_inside",
                  Qt::RightButton,
                  {20, 100},
                  {kCanvasRightButtonDown, kCanvasMouseMove, kCanvasRightButtonUp, kCanvasRightClick}},
        ClickCase{"right_outside",
                  Qt::RightButton,
                  {610, 100},
                  {kCanvasRightButtonDown, kCanvasMouseMove, kCanvasRightButtonUp, kCanvasMouseLeave}},
        ClickCase{"right_above",
                  Qt::RightButton,
                  {20, -3},
                  {kCanvasRightButtonDown, kCanvasMouseMove, kCanvasRightButtonUp, kCanvasMouseLeave}},
        ClickCase{"right_in_place",
                  Qt::RightButton,
                  {100, 100},
                  {kCanvasRightButtonDown, kCanvasRightButtonUp, kCanvasRightClick}},
        ClickCase{"left_last_pixel",
                  Qt::LeftButton,
                  {599, 511},
                  {kCanvasLeftButtonDown, kCanvasMouseMove, kCanvasLeftButtonUp, kCanvasLeftClick}},
        ClickCase{"left_just_outside",
                  Qt::LeftButton,
                  {600, 511},
                  {kCanvasLeftButtonDown, kCanvasMouseMove, kCanvasLeftButtonUp, kCanvasMouseLeave}},
        ClickCase{"middle_has_no_click",
                  Qt::MiddleButton,
                  {100, 100},
                  {kCanvasMiddleButtonDown, kCanvasMiddleButtonUp}}),
    [](const testing::TestParamInfo<ClickCase>& info) { return std::string(info.param.name); });

TEST_F(CanvasTest, RightClickDataCarriesThePositionAndButtons) {
    openWithCanvas();
    QTest::mouseClick(nativeWindow(), Qt::RightButton, Qt::ShiftModifier, onCanvas(20, 100));
    std::vector<CanvasEvent> events = takeCanvasEvents();
    ASSERT_EQ(events.size(), 4u);  // enter, down, up, click
    EXPECT_EQ(events[1].data.buttons, kCanvasButtonRight);
    EXPECT_EQ(events[1].data.modifiers, kCanvasShift);
    EXPECT_EQ(events[3].type, kCanvasRightClick);
    EXPECT_EQ(events[3].data.mouseX, 20);
    EXPECT_EQ(events[3].data.mouseY, 100);
    EXPECT_EQ(events[3].data.buttons, 0);
}

TEST_F(CanvasTest, DoubleClickPostsButtonDownThenDoubleClickAndCaptures) {
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(50, 50));
    takeCanvasEvents();
    QTest::mouseDClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 50));
    std::vector<int> types = typesOf(takeCanvasEvents());
    EXPECT_EQ(types, (std::vector<int>{kCanvasLeftButtonDown, kCanvasLeftButtonUp, kCanvasLeftClick,
                                       kCanvasLeftButtonDown, kCanvasLeftDoubleClick, kCanvasLeftButtonUp,
                                       kCanvasLeftClick}));
}

struct WheelCase {
    const char* name;
    std::vector<int> deltas;
    std::vector<int> steps;  // one event per entry
};

class CanvasWheelTest : public CanvasTest, public testing::WithParamInterface<WheelCase> {};

TEST_P(CanvasWheelTest, StepsAreSummedPer120WithTheRemainderKept) {
    openWithCanvas();
    resetCanvasWheel();
    std::vector<int> steps;
    for (int delta : GetParam().deltas) {
        sendWheel(300, 200, delta);
        for (const CanvasEvent& event : takeCanvasEvents()) {
            if (event.type == kCanvasWheel) steps.push_back(event.data.wheel);
        }
    }
    EXPECT_EQ(steps, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanvasWheelTest,
    testing::Values(WheelCase{"two_halves", {60, 60}, {1}}, WheelCase{"double_notch", {240}, {2}},
                    WheelCase{"toward_user", {-120}, {-1}}, WheelCase{"remainder_kept", {180, 60}, {1, 1}},
                    WheelCase{"cancelling", {60, -60, -120}, {-1}}),
    [](const testing::TestParamInfo<WheelCase>& info) { return std::string(info.param.name); });

TEST_F(CanvasTest, AttributesDescribeOnlyTheCanvasOwnCurrentEvent) {
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(10, 10));
    QTest::mouseMove(nativeWindow(), onCanvas(17, 5));
    postEvent(kEventMenu, 3, 0, 0);
    std::vector<std::pair<int, int>> seen;  // (kind, mouse x)
    while (int kind = waitEvent(0)) {
        if (kind == kEventControl || kind == kEventMenu) seen.emplace_back(kind, getAttribute(0, 2));
    }
    EXPECT_EQ(seen,
              (std::vector<std::pair<int, int>>{{kEventControl, 10}, {kEventControl, 17}, {kEventMenu, 0}}));
    EXPECT_EQ(getAttribute(0, 1), 1);   // has a backing image
    EXPECT_EQ(getAttribute(0, 7), 0);   // arrow cursor
    EXPECT_EQ(getAttribute(0, 10), 0);  // not confined
    setAttribute(0, 7, 2);
    EXPECT_EQ(getAttribute(0, 7), 2);
}

TEST_F(CanvasTest, KeyboardCanvasReportsFocusKeysAndCharacters) {
    openWithCanvas(kCanvasKeyboard);
    setFocus(0);
    QTest::keyClick(nativeWindow(), Qt::Key_A);
    QTest::keyClick(nativeWindow(), Qt::Key_Return);
    setFocus(-1);
    std::vector<CanvasEvent> events = takeCanvasEvents();
    EXPECT_EQ(typesOf(events), (std::vector<int>{kCanvasFocus, kCanvasKeyDown, kCanvasInput, kCanvasKeyUp,
                                                 kCanvasKeyDown, kCanvasKeyUp, kCanvasLostFocus}));
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[1].data.key, 'A');
    EXPECT_EQ(events[2].data.input, 'a');
    EXPECT_EQ(events[4].data.key, kKeyReturn);
}

TEST_F(CanvasTest, BorderMakesTheImageSmallerAndConfinementIsReported) {
    openMainWindow();
    ASSERT_NE(createCanvas(0, 0, 0, 100, 80, kCanvasBorder | kCanvasConfine), 0);
    ASSERT_NE(canvasImage(0), nullptr);
    EXPECT_EQ(canvasImage(0)->width, 96);
    EXPECT_EQ(canvasImage(0)->height, 76);
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 40));
    EXPECT_EQ(getAttribute(0, 10), 1);
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 40));
    EXPECT_EQ(getAttribute(0, 10), 0);
}

}  // namespace
