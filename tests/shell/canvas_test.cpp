#include <QImage>
#include <QWheelEvent>

#include <functional>

#include "graphics/drawing.h"
#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

// The whole program runs at a device pixel ratio of 2: every image pixel must show as a 2 x 2
// block of its colour, never a blend of neighbours. Set before the application exists.
const bool scaledScreen = qputenv("QT_SCALE_FACTOR", "2");

struct CanvasEvent {
    int type;
    CanvasEventData data;
};

// The canvas's control events waiting now, with the data record of each.
std::vector<CanvasEvent> takeCanvasEvents() {
    std::vector<CanvasEvent> events;
    while (int kind = waitEvent(0)) {
        const auto* data = static_cast<const CanvasEventData*>(eventData());
        if (kind == kEventControl && eventControl() == 0)
            events.push_back({eventType(), data ? *data : CanvasEventData{}});
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

void openWithCanvas(int flags = 0) {
    ASSERT_NE(createCanvas(0, 0, 0, 600, 512, flags), 0);
    createCheckBox(3, 0, 532, 30, 20, "i");
    takeEvents();
}

// Pixels of the widget's picture that are not their image pixel's colour.
int differingPixels() {
    QPixmap grabbed = widgetOf(controlHandle(0))->grab();
    EXPECT_EQ(grabbed.devicePixelRatio(), 2.0);
    QImage shown = grabbed.toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.size(), QSize(1200, 1024));
    int differing = 0;
    for (int y = 0; y < 1024; ++y) {
        const uint8_t* row = imageRow(*canvasImage(0), y / 2);
        for (int x = 0; x < 1200; ++x)
            differing += shown.pixel(x, y) != qRgb(row[x / 2 * 3 + 2], row[x / 2 * 3 + 1], row[x / 2 * 3]);
    }
    return differing;
}

TEST_F(ShellTest, CanvasShowsItsBackingImageAtOnceAndUnchanged) {
    ASSERT_TRUE(scaledScreen);
    openMainWindow();
    openWithCanvas();
    ImageHandle image = canvasImage(0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::vector<int>({image->width, image->height, image->depth}),
              std::vector<int>({600, 512, 24}));
    EXPECT_EQ(imageRow(*image, 511)[1799], 0xFF);  // a fresh canvas is white
    EXPECT_EQ(differingPixels(), 0);
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            return (paints += event->type() == QEvent::Paint), false;
        }
    } counter;
    widgetOf(controlHandle(0))->installEventFilter(&counter);
    ASSERT_NE(beginDrawing(canvasTarget(0)), 0);
    for (int y = 0; y < 512; ++y) fillBox(y % 3, y, 600, 1, rgb(y % 2 * 255, y % 7, 255 - y % 2 * 255));
    fillBox(599, 511, 1, 1, rgb(1, 2, 3));
    drawLine(0, 500, 599, 0, rgb(0, 200, 100));
    endDrawing();
    EXPECT_EQ(counter.paints, 1);  // painted before any event is processed
    widgetOf(controlHandle(0))->removeEventFilter(&counter);
    EXPECT_EQ(differingPixels(), 0);
    EXPECT_EQ(imageRow(*image, 511)[599 * 3 + 2], 1);
    EXPECT_EQ(canvasTarget(3).pixels, nullptr);  // a number that is no canvas
    EXPECT_EQ(beginDrawing(canvasTarget(9)), 0);
}

// Mouse input from a start point (off: on the check box beside the canvas), the canvas events
// it gives and the position of the last one but a leave. Moving to the release point with the
// button held is reported too; a release outside is followed by the leave; two moves before the
// loop reads become one with the first position.
TEST_F(ShellTest, CanvasMouseInputGivesItsEvents) {
    auto move = [](int x, int y) { QTest::mouseMove(nativeWindow(), onCanvas(x, y)); };
    auto moveOff = [] { QTest::mouseMove(nativeWindow(), inWindow(3, {5, 5})); };
    auto click = [](Qt::MouseButton button, int x, int y) {
        QTest::mousePress(nativeWindow(), button, Qt::NoModifier, onCanvas(100, 100));
        QTest::mouseRelease(nativeWindow(), button, Qt::NoModifier, onCanvas(x, y));
    };
    const QPoint off(-1, -1), centre(100, 100);
    const int down = kCanvasLeftButtonDown, up = kCanvasLeftButtonUp, rDown = kCanvasRightButtonDown,
              rUp = kCanvasRightButtonUp, moved = kCanvasMouseMove, left = kCanvasMouseLeave;
    struct Row {
        QPoint from;
        std::function<void()> steps;
        std::vector<int> types;
        QPoint last;
    } rows[] = {
        {off, [&] { move(10, 10), move(17, 5); }, {kCanvasMouseEnter, moved}, {17, 5}},
        {{10, 10}, [&] { move(20, 30), move(40, 50); }, {moved}, {20, 30}},
        {{10, 10}, [&] { moveOff(), move(12, 12); }, {left, kCanvasMouseEnter}, {12, 12}},
        {centre, [&] { click(Qt::RightButton, 20, 100); }, {rDown, moved, rUp, kCanvasRightClick}, {20, 100}},
        {centre, [&] { click(Qt::RightButton, 610, 100); }, {rDown, moved, rUp, left}, {610, 100}},
        {centre, [&] { click(Qt::RightButton, 20, -3); }, {rDown, moved, rUp, left}, {20, -3}},
        {centre, [&] { click(Qt::RightButton, 100, 100); }, {rDown, rUp, kCanvasRightClick}, {100, 100}},
        {centre, [&] { click(Qt::LeftButton, 599, 511); }, {down, moved, up, kCanvasLeftClick}, {599, 511}},
        {centre, [&] { click(Qt::LeftButton, 600, 511); }, {down, moved, up, left}, {600, 511}},
        {centre,
         [&] { click(Qt::MiddleButton, 100, 100); },
         {kCanvasMiddleButtonDown, kCanvasMiddleButtonUp},
         centre},
        {{50, 50},
         [&] { QTest::mouseDClick(nativeWindow(), Qt::LeftButton, {}, onCanvas(50, 50)); },
         {down, up, kCanvasLeftClick, down, kCanvasLeftDoubleClick, up, kCanvasLeftClick},
         {50, 50}},
    };
    openMainWindow();
    openWithCanvas();
    for (const Row& row : rows) {
        moveOff();
        if (row.from != off) move(row.from.x(), row.from.y());
        takeCanvasEvents();
        row.steps();
        std::vector<CanvasEvent> events = takeCanvasEvents();
        ASSERT_EQ(typesOf(events), row.types) << &row - rows;
        const CanvasEvent& last = events.back().type == left ? events[events.size() - 2] : events.back();
        EXPECT_EQ(QPoint(last.data.mouseX, last.data.mouseY), row.last) << &row - rows;
    }
    // The button down carries the buttons and keys, the click none; the canvas's attributes
    // describe its own current event only; a leave without a known enter is no event.
    moveOff();
    takeCanvasEvents();
    QTest::mouseClick(nativeWindow(), Qt::RightButton, Qt::ShiftModifier, onCanvas(20, 100));
    postEvent(kEventMenu, 3, 0, 0);
    std::vector<std::vector<int>> seen;  // type, buttons, modifiers, mouse x attribute
    while (int kind = waitEvent(0)) {
        const auto* data = static_cast<const CanvasEventData*>(eventData());
        if (kind == kEventControl)
            seen.push_back({eventType(), data->buttons, data->modifiers, getAttribute(0, 2)});
        if (kind == kEventMenu) seen.push_back({kind, 0, 0, getAttribute(0, 2)});
    }
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{kCanvasMouseEnter, 0, kCanvasShift, 20},
                                                   {rDown, kCanvasButtonRight, kCanvasShift, 20},
                                                   {rUp, 0, kCanvasShift, 20},
                                                   {kCanvasRightClick, 0, kCanvasShift, 20},
                                                   {kEventMenu, 0, 0, 0}}));
    EXPECT_EQ(std::vector<int>({getAttribute(0, 1), getAttribute(0, 7), getAttribute(0, 10)}),
              std::vector<int>({1, 0, 0}));  // a backing image, the arrow cursor, not confined
    setAttribute(0, 7, 2);
    EXPECT_EQ(getAttribute(0, 7), 2);
    moveOff();
    EXPECT_EQ(typesOf(takeCanvasEvents()), std::vector<int>{left});
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widgetOf(controlHandle(0)), &leave);
    EXPECT_TRUE(takeCanvasEvents().empty());
}

TEST_F(ShellTest, CanvasWheelStepsAreSummedPer120WithTheRemainderKept) {
    openMainWindow();
    openWithCanvas();
    const std::pair<std::vector<int>, std::vector<int>> rows[] = {
        {{60, 60}, {1}}, {{240}, {2}}, {{-120}, {-1}}, {{180, 60}, {1, 1}}, {{60, -60, -120}, {-1}}};
    for (const auto& [deltas, expected] : rows) {
        resetCanvasWheel();
        std::vector<int> steps;
        for (int delta : deltas) {
            QWheelEvent wheel(onCanvas(300, 200), QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(nativeWindow(), &wheel);
            for (const CanvasEvent& event : takeCanvasEvents())
                if (event.type == kCanvasWheel) steps.push_back(event.data.wheel);
        }
        EXPECT_EQ(steps, expected) << deltas[0];
    }
}

// A keyboard canvas reports focus, keys and characters; a border makes the image smaller; a
// confining canvas reports the confinement while a button is down.
TEST_F(ShellTest, CanvasKeyboardBorderAndConfinement) {
    openMainWindow();
    openWithCanvas(kCanvasKeyboard);
    setFocus(0);
    QTest::keyClick(nativeWindow(), Qt::Key_A);
    QTest::keyClick(nativeWindow(), Qt::Key_Return);
    setFocus(-1);
    std::vector<CanvasEvent> events = takeCanvasEvents();
    ASSERT_EQ(typesOf(events), (std::vector<int>{kCanvasFocus, kCanvasKeyDown, kCanvasInput, kCanvasKeyUp,
                                                 kCanvasKeyDown, kCanvasKeyUp, kCanvasLostFocus}));
    EXPECT_EQ(std::vector<int>({events[1].data.key, events[2].data.input, events[4].data.key}),
              std::vector<int>({'A', 'a', kKeyReturn}));
    ASSERT_NE(createCanvas(0, 0, 0, 100, 80, kCanvasBorder | kCanvasConfine), 0);
    EXPECT_EQ(QSize(canvasImage(0)->width, canvasImage(0)->height), QSize(96, 76));
    QTest::mousePress(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 40));
    EXPECT_EQ(getAttribute(0, 10), 1);
    QTest::mouseRelease(nativeWindow(), Qt::LeftButton, Qt::NoModifier, onCanvas(50, 40));
    EXPECT_EQ(getAttribute(0, 10), 0);
}

}  // namespace
