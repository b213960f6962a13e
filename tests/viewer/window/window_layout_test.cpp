// The window enlarged: the view takes the room, the controls follow the edges, and every byte
// named at the far right and bottom is the one drawn there; the window's place kept between runs.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include "shell/controls.h"
#include "support/user_settings.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/viewer_state.h"

namespace {

using WindowLayoutTest = ViewerWindowTest;

QWidget* frame() {
    return static_cast<QWidget*>(windowHandle(kMainWindow));
}

std::string layout() {
    std::string places;
    for (const int n : {kCanvas, kRowScroll, kWidthScroll, kInverseBox, kPreviewBox, kOffsetSpin}) {
        const QRect r = static_cast<QWidget*>(controlHandle(n))->geometry();
        places += testing::PrintToString(std::array{r.x(), r.y(), r.width(), r.height()});
    }
    return places;
}

TEST_F(WindowLayoutTest, AnEnlargedViewShowsMoreAndNamesTheBytesAtItsEdges) {
    startWithData(200000);
    EXPECT_EQ(frame()->minimumSize(), QSize(620, 602));
    command(kCommandMulti);
    scrollTo(10, 0);
    frame()->resize(1300, 1090);
    drain();
    EXPECT_EQ(layout(),
              "{ 0, 0, 1280, 1000 }{ 1280, 0, 20, 1000 }{ 0, 1000, 1280, 20 }{ 0, 1020, 30, 20 }"
              "{ 200, 1020, 40, 20 }{ 240, 1020, 62, 20 }");
    const ImageBuffer* sheet = imageBuffer(kSheetImage);
    ASSERT_TRUE(sheet != nullptr && sheet->width == 1280 && sheet->height == 1000);
    // Binary, 10 bytes a row, multi columns: 16 strips of 1000 rows fill the 1280 pixels.
    EXPECT_EQ(getAttribute(kRowScroll, kScrollPageStep), 16000);
    // What the window shows is the canvas (a grab of the window reads its backing store).
    const QWidget* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
    const QPoint corner = canvas->mapTo(frame(), QPoint(0, 0));
    const QImage shown = QGuiApplication::primaryScreen()->grabWindow(frame()->winId()).toImage();
    for (int y = 0; y < 1000; y += 7)
        for (int x = 0; x < 1280; x += 7) {
            ASSERT_EQ(canvasPixel(x, y), sheetPixel(x, y)) << x << "," << y;
            const QRgb colour = shown.pixel(corner.x() + x, corner.y() + y);
            ASSERT_EQ(canvasPixel(x, y), qBlue(colour) << 16 | qGreen(colour) << 8 | qRed(colour))
                << x << "," << y;
        }
    // The last pixel: strip 15, row 999, byte 9 of the row, byte 159999 (0xFF, white); the byte
    // before it is 0xFE, its last pixel black.
    moveMouseOnCanvas(1270, 990);
    moveMouseOnCanvas(1279, 999);
    drain();
    EXPECT_EQ(status(), "Disp:0,width=10,x=1279,y=999,size:159999");
    EXPECT_EQ(canvasPixel(1279, 999), 0xFFFFFF);
    EXPECT_EQ(canvasPixel(1271, 999), 0);
    answer({{RequesterKind::Popup, "jump here"}});
    rightClickCanvas(1279, 999);
    drain();
    EXPECT_EQ(getState(kRowScroll), 15999);
    // A selection from the far right down to the bottom corner names its bytes.
    scrollTo(10, 0);
    leftDragOnCanvas({{1200, 980}, {1279, 999}});
    EXPECT_EQ(status(), "Selection: 10 x 20 bytes at 159800 ($27038)");
    // Back to the smallest size: the view as at the start.
    frame()->resize(620, 602);
    drain();
    EXPECT_EQ(layout(),
              "{ 0, 0, 600, 512 }{ 600, 0, 20, 512 }{ 0, 512, 600, 20 }{ 0, 532, 30, 20 }"
              "{ 200, 532, 40, 20 }{ 240, 532, 62, 20 }");
    EXPECT_EQ(getAttribute(kRowScroll, kScrollPageStep), 512 * 8);
    // F11 and back.
    tapKey(Qt::Key_F11);
    drain();
    EXPECT_EQ(isFullScreen(kMainWindow), 1);
    tapKey(Qt::Key_F11);
    drain();
    EXPECT_EQ(isFullScreen(kMainWindow), 0);
    EXPECT_EQ(frame()->size(), QSize(620, 602));
}

// The place is kept at a normal end; one that does not fit the screen gives the starting size.
TEST_F(WindowLayoutTest, TheWindowsPlaceIsKeptInTheOwnSettings) {
    startWithData(100);
    frame()->resize(700, 650);
    finish(ViewerStep::Quit);
    const std::string kept = userSetting(readOwnSettings(), "window");
    EXPECT_EQ(kept.substr(kept.find(' ', kept.find(' ') + 1)), " 700 650 0") << kept;
    UserSettings settings = readOwnSettings();
    setUserSetting(settings, "window", "0 0 9000 700 0");
    writeOwnSettings(settings);
    startWithData(100);
    EXPECT_EQ(frame()->size(), QSize(620, 602));
}

}  // namespace
