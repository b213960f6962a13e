#include <QImage>
#include <QWheelEvent>

#include <functional>

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

struct CanvasEvent {
    int type;
    CanvasEventData data;
};

// The canvas's control events waiting now, with the data record of each.
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

// The widget's picture as 0xRRGGBB words.
QImage shownPicture() {
    return widgetOf(controlHandle(0))->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST_F(CanvasTest, DrawingShowsTheBackingImageAtOnceAndUnchanged) {
    openWithCanvas();
    ImageHandle image = canvasImage(0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width * 10000 + image->height * 10 + image->depth / 8, 6005123);
    ASSERT_EQ(shownPicture().size(), QSize(600, 512));
    EXPECT_EQ(shownPicture().pixel(599, 511), 0xFFFFFFFFu);  // a fresh canvas is white
    class PaintCounter : public QObject {
       public:
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            return (paints += event->type() == QEvent::Paint), false;
        }
    } counter;
    widgetOf(controlHandle(0))->installEventFilter(&counter);
    ASSERT_NE(beginDrawing(canvasTarget(0)), 0);
    fillBox(0, 0, 600, 512, rgb(0, 0, 0));
    fillBox(10, 20, 30, 40, rgb(255, 0, 0));
    fillBox(599, 511, 1, 1, rgb(1, 2, 3));
    drawLine(0, 500, 599, 0, rgb(0, 200, 100));
    endDrawing();
    EXPECT_EQ(counter.paints, 1);  // painted before any event is processed
    QImage shown = shownPicture();
    int differing = 0;
    for (int y = 0; y < 512; ++y) {
        const uint8_t* row = imageRow(*image, y);
        for (int x = 0; x < 600; ++x)
            differing += shown.pixel(x, y) != qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(shown.pixel(15, 25), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(599, 511), qRgb(1, 2, 3));
    widgetOf(controlHandle(0))->removeEventFilter(&counter);
    // A number that is no canvas has no target.
    EXPECT_EQ(canvasTarget(3).pixels, nullptr);
    EXPECT_EQ(beginDrawing(canvasTarget(9)), 0);
}

// Mouse input from a start point (off: on the check box beside the canvas), the canvas events
// it gives and the position of the last one but a leave. Moving to the release point with the
// button held is reported too; a release outside is followed by the leave; two moves before the
// loop reads become one with the first position.
TEST_F(CanvasTest, MouseInputGivesItsEvents) {
    auto move = [](int x, int y) { QTest::mouseMove(nativeWindow(), onCanvas(x, y)); };
    auto moveOff = [] { QTest::mouseMove(nativeWindow(), inWindow(3, {5, 5})); };
    auto click = [](Qt::MouseButton button, int x, int y) {
        QTest::mousePress(nativeWindow(), button, Qt::NoModifier, onCanvas(100, 100));
        QTest::mouseRelease(nativeWindow(), button, Qt::NoModifier, onCanvas(x, y));
    };
    const QPoint off(-1, -1);
    const int down = kCanvasLeftButtonDown, up = kCanvasLeftButtonUp, rDown = kCanvasRightButtonDown,
              rUp = kCanvasRightButtonUp, moved = kCanvasMouseMove, left = kCanvasMouseLeave;
    struct Row {
        const char* name;
        QPoint from;
        std::function<void()> steps;
        std::vector<int> types;
        QPoint last;
    } rows[] = {
        {"enter", off, [&] { move(10, 10), move(17, 5); }, {kCanvasMouseEnter, moved}, {17, 5}},
        {"moves merged", {10, 10}, [&] { move(20, 30), move(40, 50); }, {moved}, {20, 30}},
        {"leave, enter", {10, 10}, [&] { moveOff(), move(12, 12); }, {left, kCanvasMouseEnter}, {12, 12}},
        {"right inside",
         {100, 100},
         [&] { click(Qt::RightButton, 20, 100); },
         {rDown, moved, rUp, kCanvasRightClick},
         {20, 100}},
        {"right outside",
         {100, 100},
         [&] { click(Qt::RightButton, 610, 100); },
         {rDown, moved, rUp, left},
         {610, 100}},
        {"right above",
         {100, 100},
         [&] { click(Qt::RightButton, 20, -3); },
         {rDown, moved, rUp, left},
         {20, -3}},
        {"right in place",
         {100, 100},
         [&] { click(Qt::RightButton, 100, 100); },
         {rDown, rUp, kCanvasRightClick},
         {100, 100}},
        {"left last pixel",
         {100, 100},
         [&] { click(Qt::LeftButton, 599, 511); },
         {down, moved, up, kCanvasLeftClick},
         {599, 511}},
        {"left outside",
         {100, 100},
         [&] { click(Qt::LeftButton, 600, 511); },
         {down, moved, up, left},
         {600, 511}},
        {"middle",
         {100, 100},
         [&] { click(Qt::MiddleButton, 100, 100); },
         {kCanvasMiddleButtonDown, kCanvasMiddleButtonUp},
         {100, 100}},
        {"double click",
         {50, 50},
         [&] { QTest::mouseDClick(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 50)); },
         {down, up, kCanvasLeftClick, down, kCanvasLeftDoubleClick, up, kCanvasLeftClick},
         {50, 50}},
    };
    openWithCanvas();
    for (const Row& row : rows) {
        moveOff();
        if (row.from != off) move(row.from.x(), row.from.y());
        takeCanvasEvents();
        row.steps();
        std::vector<CanvasEvent> events = takeCanvasEvents();
        ASSERT_EQ(typesOf(events), row.types) << row.name;
        const CanvasEvent& last = events.back().type == left ? events[events.size() - 2] : events.back();
        EXPECT_EQ(QPoint(last.data.mouseX, last.data.mouseY), row.last) << row.name;
    }
    // The button down carries the buttons and keys, the click none; Qt reports leaving also
    // without a known enter: that one is no event.
    moveOff();
    takeCanvasEvents();
    QTest::mouseClick(nativeWindow(), Qt::RightButton, Qt::ShiftModifier, onCanvas(20, 100));
    std::vector<CanvasEvent> events = takeCanvasEvents();
    ASSERT_EQ(typesOf(events), (std::vector<int>{kCanvasMouseEnter, rDown, rUp, kCanvasRightClick}));
    EXPECT_EQ(events[1].data.buttons, kCanvasButtonRight);
    EXPECT_EQ(events[1].data.modifiers, kCanvasShift);
    EXPECT_EQ(events[3].data.buttons, 0);
    moveOff();
    EXPECT_EQ(typesOf(takeCanvasEvents()), std::vector<int>{left});
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widgetOf(controlHandle(0)), &leave);
    EXPECT_TRUE(takeCanvasEvents().empty());
}

TEST_F(CanvasTest, WheelStepsAreSummedPer120WithTheRemainderKept) {
    openWithCanvas();
    struct Row {
        std::vector<int> deltas, steps;
    } rows[] = {{{60, 60}, {1}}, {{240}, {2}}, {{-120}, {-1}}, {{180, 60}, {1, 1}}, {{60, -60, -120}, {-1}}};
    for (const Row& row : rows) {
        resetCanvasWheel();
        std::vector<int> steps;
        for (int delta : row.deltas) {
            QWheelEvent wheel(onCanvas(300, 200), QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(nativeWindow(), &wheel);
            for (const CanvasEvent& event : takeCanvasEvents())
                if (event.type == kCanvasWheel) steps.push_back(event.data.wheel);
        }
        EXPECT_EQ(steps, row.steps) << row.deltas[0];
    }
}

TEST_F(CanvasTest, AttributesDescribeOnlyTheCanvasOwnCurrentEvent) {
    openWithCanvas();
    QTest::mouseMove(nativeWindow(), onCanvas(10, 10));
    QTest::mouseMove(nativeWindow(), onCanvas(17, 5));
    postEvent(kEventMenu, 3, 0, 0);
    std::vector<std::pair<int, int>> seen;  // (kind, mouse x)
    while (int kind = waitEvent(0))
        if (kind == kEventControl || kind == kEventMenu) seen.emplace_back(kind, getAttribute(0, 2));
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
    ASSERT_EQ(typesOf(events), (std::vector<int>{kCanvasFocus, kCanvasKeyDown, kCanvasInput, kCanvasKeyUp,
                                                 kCanvasKeyDown, kCanvasKeyUp, kCanvasLostFocus}));
    EXPECT_EQ(events[1].data.key, 'A');
    EXPECT_EQ(events[2].data.input, 'a');
    EXPECT_EQ(events[4].data.key, kKeyReturn);
}

TEST_F(CanvasTest, BorderMakesTheImageSmallerAndConfinementIsReported) {
    openMainWindow();
    ASSERT_NE(createCanvas(0, 0, 0, 100, 80, kCanvasBorder | kCanvasConfine), 0);
    ASSERT_NE(canvasImage(0), nullptr);
    EXPECT_EQ(QSize(canvasImage(0)->width, canvasImage(0)->height), QSize(96, 76));
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 40));
    EXPECT_EQ(getAttribute(0, 10), 1);
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 40));
    EXPECT_EQ(getAttribute(0, 10), 0);
}

}  // namespace
