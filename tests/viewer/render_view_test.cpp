// renderView in the window: the canvas stage (sheet, preview, grid), the status line and the
// title, and the edges of the view's first byte.
#include "viewer/render_view.h"

#include <QtCore/qnamespace.h>

#include "graphics/images.h"
#include "shell/controls.h"
#include "shell/window_shell.h"
#include "tests/viewer/viewer_driver.h"
#include "viewer/sheet_render.h"
#include "viewer/viewer_state.h"

namespace {

constexpr int32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kCyan = 0xFFFF00, kBlue = 0xFF0000;
constexpr int32_t kBrightGreen = 0x00FF00, kDarkGreen = 0x007F00;

int32_t checkerboard(int x, int y) {
    return ((x ^ y) & 1) != 0 ? kCyan : kBlack;
}

class RenderViewTest : public ViewerWindowTest {
   protected:
    void startWithBytes(const std::string& bytes) {
        ASSERT_EQ(startWithFile("data.bin", bytes), ViewerStep::Continue);
    }
    // Beside the pointer the canvas shows the 8 x 8 sheet pixels at pointer + (2, 2), 16 times enlarged.
    void expectPreviewAt(int mouseX, int mouseY) const {
        ASSERT_EQ(clientPointerX(kMainWindow), mouseX);
        ASSERT_EQ(clientPointerY(kMainWindow), mouseY);
        for (int b = 0; b < 8; ++b) {
            for (int a = 0; a < 8; ++a) {
                const int32_t grabbed = sheetPixel(mouseX + 2 + a, mouseY + 2 + b);
                ASSERT_EQ(canvasPixel(mouseX + 1 + 16 * a, mouseY + 1 + 16 * b), grabbed) << a << "," << b;
                ASSERT_EQ(canvasPixel(mouseX + 16 + 16 * a, mouseY + 16 + 16 * b), grabbed) << a << "," << b;
            }
        }
        EXPECT_EQ(canvasPixel(mouseX, mouseY), sheetPixel(mouseX, mouseY));
        EXPECT_EQ(imageHandle(kPreviewImage), nullptr);
    }
};

TEST_F(RenderViewTest, NothingLoadedChangesNothing) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    setStatusText(kStatusBar, 0, "before", kStatusNoBorder);
    renderView();
    EXPECT_EQ(title(), "Pixloupe 2d");
    EXPECT_EQ(status(), "before");
    EXPECT_EQ(canvasPixel(1, 0), kBlack);
    EXPECT_EQ(sheetPixel(1, 0), kBlack);
}

TEST_F(RenderViewTest, CanvasShowsTheSheetAndTheTitleTheZoom) {
    startWithBytes(countingBytes(5000));
    command(kCommandZoom8);
    EXPECT_EQ(title(), "Pixloupe 2d,x8");
    for (int y = 0; y < 512; y += 7) {
        for (int x = 0; x < 600; x += 5) ASSERT_EQ(canvasPixel(x, y), sheetPixel(x, y)) << x << "," << y;
    }
}

// Byte values along row 0 after the view starts past the end or before the start of the data.
struct FirstByteCase {
    const char* name;
    int width, row, fineOffset;
    int mode;                            // command id
    int32_t pixel0, pixel1_0, pixel0_1;  // sheet pixels (0,0), (1,0) and (0,1)
};

void PrintTo(const FirstByteCase& c, std::ostream* out) {
    *out << c.name;
}

class FirstByteTest : public RenderViewTest, public testing::WithParamInterface<FirstByteCase> {};

// 1000 bytes of 0xFF.
TEST_P(FirstByteTest, BytesOutsideTheDataDrawAsZero) {
    const FirstByteCase& c = GetParam();
    startWithBytes(std::string(1000, '\xFF'));
    command(c.mode);
    setState(kOffsetSpin, 0);
    scrollTo(c.width, c.row);
    setState(kOffsetSpin, c.fineOffset);
    renderView();
    EXPECT_EQ(sheetPixel(0, 0), c.pixel0);
    EXPECT_EQ(sheetPixel(1, 0), c.pixel1_0);
    EXPECT_EQ(sheetPixel(0, 1), c.pixel0_1);
}

INSTANTIATE_TEST_SUITE_P(
    Render, FirstByteTest,
    testing::Values(
        // At the last row of a size that is a multiple of the width: one byte, then checkerboard.
        FirstByteCase{"PastTheEndBinary", 10, 100, 0, kCommandBinary, kBlack, kBlack, kCyan},
        FirstByteCase{"PastTheEndBk", 10, 100, 0, kCommandBk, kBlue, kBlue, kCyan},
        FirstByteCase{"PositiveOffsetAtTheEnd", 10, 99, 10, kCommandBinary, kBlack, kBlack, kCyan},
        // Before the start: first -1 is value 0, then the data follows on the next row.
        FirstByteCase{"BeforeTheStart", 1, 0, -1, kCommandBinary, kBlack, kBlack, kWhite}),
    [](const testing::TestParamInfo<FirstByteCase>& info) { return std::string(info.param.name); });

// Each strip of the multi-column view begins with a marked byte (0x80 in Binary: one white pixel).
struct StripCase {
    const char* name;
    int mode;  // command id
    int width;
    int strips;
    int unitsPerByte;
};

void PrintTo(const StripCase& c, std::ostream* out) {
    *out << c.name;
}

class StripTest : public RenderViewTest, public testing::WithParamInterface<StripCase> {};

TEST_P(StripTest, StripsStartAtMultiplesOfTheWidth) {
    const StripCase& c = GetParam();
    const int stripBytes = c.width * 512;
    std::string bytes(static_cast<size_t>(stripBytes) * (c.strips + 2), '\0');
    for (int s = 0; s < c.strips + 2; ++s) bytes[static_cast<size_t>(s) * stripBytes] = '\xFF';
    startWithBytes(bytes);
    command(c.mode);
    command(kCommandMulti);
    scrollTo(c.width, 0);
    for (int s = 0; s < c.strips + 1; ++s) {
        const int x = s * c.width * c.unitsPerByte;
        if (x >= 600) break;
        SCOPED_TRACE(s);
        // The strip's first byte is lit; past the last strip the checkerboard shows.
        if (s < c.strips) {
            EXPECT_NE(sheetPixel(x, 0), kBlack);
            EXPECT_NE(sheetPixel(x, 0), kCyan);
        } else {
            EXPECT_EQ(sheetPixel(x + 1, 0), checkerboard(x + 1, 0));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Render, StripTest,
                         testing::Values(StripCase{"BinaryWidth10", kCommandBinary, 10, 8, 8},
                                         StripCase{"SamCoupeWidth1", kCommandSamCoupe, 1, 80, 2},
                                         StripCase{"Bk0010Width1", kCommandBk, 1, 150, 4}),
                         [](const testing::TestParamInfo<StripCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RenderViewTest, GridIsDrawnOnTheCanvasOnlyInTwoGreens) {
    startWithBytes(std::string(4000, '\0'));
    command(kCommandGrid);
    struct Point {
        int x, y;
        int32_t colour;
    };
    for (const Point& p : {Point{0, 300, kBrightGreen}, Point{64, 3, kBrightGreen}, Point{8, 3, kDarkGreen},
                           Point{3, 8, kDarkGreen}, Point{3, 128, kBrightGreen}, Point{592, 511, kDarkGreen},
                           Point{599, 504, kDarkGreen}, Point{3, 3, kBlack}}) {
        SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
        EXPECT_EQ(canvasPixel(p.x, p.y), p.colour);
        EXPECT_EQ(sheetPixel(p.x, p.y), p.x < 8 ? kBlack : checkerboard(p.x, p.y));
    }
}

// After a mouse move, a wheel notch and an arrow key alike: the events that are not the canvas's
// carry no mouse position, and the status line then reads x=0,y=0.
TEST_F(RenderViewTest, PreviewAtZoomOneShowsThePixelsBesideThePointer) {
    startWithBytes(countingBytes(20000));
    command(kCommandZoomPreview);
    moveMouseOnCanvas(10, 10);
    drain();
    moveMouseOnCanvas(50, 70);
    drain();
    expectPreviewAt(50, 70);
    EXPECT_EQ(status(), "Disp=0,width=1,x=50,y=70,size=3142");
    turnWheel(-120);
    drain();
    EXPECT_EQ(status(), "Disp=16,width=1,x=0,y=0,size=0");
    expectPreviewAt(50, 70);
    pressKey(Qt::Key_Right);
    handleNext();
    releaseKey(Qt::Key_Right);
    drain();
    EXPECT_EQ(status(), "Disp=32,width=2,x=0,y=0,size=0");
    expectPreviewAt(50, 70);
}

TEST_F(RenderViewTest, StatusLineFollowsTheRenderFormulas) {
    startWithBytes(countingBytes(20000));
    command(kCommandZoom2);
    scrollTo(3, 1000);
    setState(kOffsetSpin, 1);
    renderView();
    EXPECT_EQ(status(), "Disp=3001,width=3,x=0,y=0,size=0");
    setState(kOffsetSpin, -3);
    scrollTo(3, 1365);
    EXPECT_EQ(statusTextForRender(37, 11), "Disp=4092,width=3,x=18,y=5,size=17");
    setState(kOffsetSpin, 1);
    EXPECT_EQ(statusTextForRender(37, 11), "Disp=4096,width=3,x=18,y=5,size=17");
}

}  // namespace
