// renderView in the window: the canvas stage (sheet, preview, grid), the status line and the title.
#include "viewer/window/render_view.h"

#include <QtCore/qnamespace.h>

#include <cstring>

#include "shell/controls.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/sheet_render.h"
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

}  // namespace
