// The canvas at a device pixel ratio of 2: every image pixel becomes a 2 x 2 block of the
// same colour, never a blend of neighbours.
#include <QImage>

#include "graphics/drawing.h"
#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

// Set before the application object exists (tests of this program only).
const bool scaledScreen = qputenv("QT_SCALE_FACTOR", "2");

using CanvasScaledTest = ShellTest;

TEST_F(CanvasScaledTest, PixelsAreScaledWithoutBlending) {
    ASSERT_TRUE(scaledScreen);
    openMainWindow();
    ASSERT_NE(createCanvas(0, 0, 0, 40, 30, 0), 0);
    ASSERT_NE(beginDrawing(canvasTarget(0)), 0);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x)
            fillBox(x, y, 1, 1, (x + y) % 2 == 0 ? rgb(0, 0, 0) : rgb(255, 255, 255));
    }
    endDrawing();
    QPixmap grabbed = static_cast<QWidget*>(controlHandle(0))->grab();
    ASSERT_EQ(grabbed.devicePixelRatio(), 2.0);
    QImage shown = grabbed.toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(80, 60));
    int wrong = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            QRgb expected = ((x / 2 + y / 2) % 2 == 0) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            if (shown.pixel(x, y) != expected) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
