// renderView in the window: the canvas stage (sheet, preview, grid), the status line and the title.
#include "viewer/window/render_view.h"

#include <QtCore/qnamespace.h>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstring>

#include "shell/controls.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int32_t kBlack = 0x000000, kCyan = 0xFFFF00, kBrightGreen = 0x00FF00, kDarkGreen = 0x007F00;

class RenderViewTest : public ViewerWindowTest {
   protected:
    // Beside the pointer the canvas shows the 8 x 8 sheet pixels at pointer + (2, 2), 16 times enlarged.
    void expectPreviewAt(int mouseX, int mouseY) const {
        ASSERT_EQ(clientPointerX(kMainWindow), mouseX);
        ASSERT_EQ(clientPointerY(kMainWindow), mouseY);
        for (int b = 0; b < 8; ++b)
            for (int a = 0; a < 8; ++a)
                for (int corner : {1, 16})
                    ASSERT_EQ(canvasPixel(mouseX + corner + 16 * a, mouseY + corner + 16 * b),
                              sheetPixel(mouseX + 2 + a, mouseY + 2 + b))
                        << a << "," << b;
        EXPECT_EQ(canvasPixel(mouseX, mouseY), sheetPixel(mouseX, mouseY));
        EXPECT_EQ(imageHandle(kPreviewImage), nullptr);
    }
};

// Nothing loaded: nothing changes. Then the sheet, the grid only on the canvas, the zoom in the title.
TEST_F(RenderViewTest, CanvasShowsTheSheetTheGridAndTheTitleTheZoom) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    setStatusText(kStatusBar, 0, "before", kStatusNoBorder);
    renderView();
    EXPECT_EQ(title() + status(), "Pixloupe 2dbefore");
    EXPECT_EQ(canvasPixel(1, 0) | sheetPixel(1, 0), kBlack);
    finish();
    ASSERT_EQ(startWithFile("data.bin", std::string(4000, '\0')), ViewerStep::Continue);
    command(kCommandGrid);
    // clang-format off
    const int points[][3] = {{0, 300, kBrightGreen}, {64, 3, kBrightGreen}, {8, 3, kDarkGreen}, {3, 8, kDarkGreen},
        {3, 128, kBrightGreen}, {592, 511, kDarkGreen}, {599, 504, kDarkGreen}, {3, 3, kBlack},
        {64, 8, kBrightGreen}, {8, 64, kBrightGreen}, {72, 64, kDarkGreen}, {64, 72, kDarkGreen}};
    // clang-format on
    for (const auto [x, y, colour] : points) {
        EXPECT_EQ(canvasPixel(x, y), colour) << x << "," << y;
        EXPECT_EQ(sheetPixel(x, y), x >= 8 && ((x ^ y) & 1) ? kCyan : kBlack) << x << "," << y;
    }
    command(kCommandGrid);
    const std::string bytes = countingBytes(4000);
    std::memcpy(const_cast<uint8_t*>(viewerState.dataBuffer), bytes.data(),
                bytes.size());  // a block read whole
    command(kCommandZoom8);
    EXPECT_EQ(title(), "Pixloupe 2d,x8");
    for (int y = 0; y < 512; y += 7)
        for (int x = 0; x < 600; x += 5) ASSERT_EQ(canvasPixel(x, y), sheetPixel(x, y)) << x << "," << y;
}

// After a mouse move, a wheel notch and an arrow key alike; the last two read x=0,y=0.
TEST_F(RenderViewTest, PreviewAtZoomOneShowsThePixelsBesideThePointer) {
    startWithData(20000);
    command(kCommandZoomPreview);
    moveMouseOnCanvas(10, 10);
    moveMouseOnCanvas(50, 70), drain();
    expectPreviewAt(50, 70);
    EXPECT_EQ(status(), "Disp=0,width=1,x=50,y=70");  // beside the only strip: no byte
    turnWheel(-120);
    drain();
    EXPECT_EQ(status(), "Disp=16,width=1,x=0,y=0,size=0");
    expectPreviewAt(50, 70);
    tapKey(Qt::Key_Right);
    EXPECT_EQ(status(), "Disp=32,width=2,x=0,y=0,size=0");
    expectPreviewAt(50, 70);
}

// Each pixel the grid draws over the canvas, by the grid's own rules: in the byte-cell modes lines
// every 8 pixels, every 64th bright, a line down showing where it crosses a line across of a
// smaller place; in the other modes the format's lines, those across over those down.
std::vector<int32_t> gridPixels(int width, int height) {
    std::vector<int32_t> grid(static_cast<size_t>(width) * height, -1);
    const auto colour = [](bool major) { return major ? kBrightGreen : kDarkGreen; };
    const auto at = [&](int x, int y) -> int32_t& { return grid[static_cast<size_t>(y) * width + x]; };
    if (isByteCellMode(viewerState.colourMode, &viewerState.formats.modes)) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (x % 8 == 0 || y % 8 == 0) {
                    const int line = x % 8 == 0 && (y % 8 != 0 || x > y) ? x : y;
                    at(x, y) = colour(line % 64 == 0);
                }
        return grid;
    }
    for (const GridLine& down : cellGridLines(viewerSheetOptions(), true))
        for (int y = 0; y < height && down.at < width; ++y) at(down.at, y) = colour(down.major);
    for (const GridLine& across : cellGridLines(viewerSheetOptions(), false))
        for (int x = 0; x < width && across.at < height; ++x) at(x, across.at) = colour(across.major);
    return grid;
}

// Every pixel of the canvas at the starting size and at one whose window picture is over 8 MiB,
// with the grid off and on, in a byte-cell mode and a tile mode: the sheet, the preview beside
// the pointer over it (cut at the canvas's edge), the grid over both. The window shows the canvas.
TEST_F(RenderViewTest, EveryCanvasPixelIsTheSheetThePreviewAndTheGrid) {
    startWithData(600000);
    command(kCommandZoomPreview);
    command(kCommandMulti);
    auto* frame = static_cast<QWidget*>(windowHandle(kMainWindow));
    struct Size {
        int width, height, pointerX, pointerY;
    };
    for (const Size size : {Size{600, 512, 50, 70}, Size{1700, 1300, 1650, 1250}}) {
        frame->resize(size.width + 20, size.height + 90);
        drain();
        ASSERT_EQ(viewerState.viewWidth, size.width);
        ASSERT_EQ(viewerState.viewHeight, size.height);
        for (const int mode : {kModeBinary, kModeNes})
            for (const bool grid : {false, true}) {
                SCOPED_TRACE(std::to_string(size.width) + " mode " + std::to_string(mode) + " grid " +
                             std::to_string(grid));
                command(colourModeCommand(mode));
                if (grid != (getState(kGridBox) != 0)) command(kCommandGrid);
                moveMouseOnCanvas(size.pointerX - 3, size.pointerY - 3);
                moveMouseOnCanvas(size.pointerX, size.pointerY), drain();
                const std::vector<int32_t> lines =
                    grid ? gridPixels(size.width, size.height)
                         : std::vector<int32_t>(static_cast<size_t>(size.width) * size.height, -1);
                const QWidget* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
                const QPoint corner = canvas->mapTo(frame, QPoint(0, 0));
                const QImage shown = QGuiApplication::primaryScreen()->grabWindow(frame->winId()).toImage();
                int wrong = 0, wrongShown = 0;
                for (int y = 0; y < size.height; ++y)
                    for (int x = 0; x < size.width; ++x) {
                        const int previewX = x - size.pointerX - 1, previewY = y - size.pointerY - 1;
                        const bool inPreview =
                            previewX >= 0 && previewX < 128 && previewY >= 0 && previewY < 128;
                        int32_t expected = inPreview ? sheetPixel(size.pointerX + 2 + previewX / 16,
                                                                  size.pointerY + 2 + previewY / 16)
                                                     : sheetPixel(x, y);
                        if (const int32_t line = lines[static_cast<size_t>(y) * size.width + x]; line >= 0)
                            expected = line;
                        wrong += canvasPixel(x, y) != expected;
                        const QRgb colour = shown.pixel(corner.x() + x, corner.y() + y);
                        wrongShown +=
                            canvasPixel(x, y) != (qBlue(colour) << 16 | qGreen(colour) << 8 | qRed(colour));
                    }
                EXPECT_EQ(wrong, 0);
                EXPECT_EQ(wrongShown, 0);
            }
    }
}

}  // namespace
