#include <QImage>

#include <functional>

#include "graphics/drawing.h"
#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

// At a device pixel ratio of 2 each image pixel must show as a 2 x 2 block, never a blend.
const bool scaledScreen = qputenv("QT_SCALE_FACTOR", "2");

struct CanvasEvent {
    int type;
    QPoint mouse;  // the attributes the program reads while the event is the current one
};

std::vector<CanvasEvent> takeCanvasEvents() {
    std::vector<CanvasEvent> events;
    while (int kind = waitEvent(0))
        if (kind == kEventControl && eventControl() == 0)
            events.push_back({eventType(), {getAttribute(0, kCanvasMouseX), getAttribute(0, kCanvasMouseY)}});
    return events;
}

void openWithCanvas() {
    ASSERT_NE(createCanvas(0, 0, 0, 600, 512), 0);
    createCheckBox(3, 0, 532, 30, 20, "i");
    takeEvents();
}

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
}

// Start point (off: on the check box), canvas events, position of the last one but a leave.
TEST_F(ShellTest, CanvasMouseInputGivesItsEvents) {
    auto move = [](int x, int y) { QTest::mouseMove(nativeWindow(), inWindow(0, {x, y})); };
    auto moveOff = [] { QTest::mouseMove(nativeWindow(), inWindow(3, {5, 5})); };
    auto click = [](Qt::MouseButton button, int x, int y) {
        QTest::mousePress(nativeWindow(), button, Qt::NoModifier, inWindow(0, {100, 100}));
        QTest::mouseRelease(nativeWindow(), button, Qt::NoModifier, inWindow(0, {x, y}));
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
        {{50, 50},
         [&] {
             QTest::mouseDClick(nativeWindow(), Qt::LeftButton, {}, inWindow(0, {50, 50}));
         },
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
        std::vector<int> types;
        for (const CanvasEvent& event : events) types.push_back(event.type);
        ASSERT_EQ(types, row.types) << &row - rows;
        EXPECT_EQ(events[events.size() - (types.back() == left ? 2 : 1)].mouse, row.last) << &row - rows;
    }
}

}  // namespace
