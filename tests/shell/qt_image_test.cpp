#include "shell/qt_image.h"

#include <gtest/gtest.h>

namespace {

// The 24-bit rows, bottom-up, become RGB32 rows top-down and opaque, for any area placed anywhere in
// the target: small pictures, and large ones (written round the caches) with rows on and off 16-byte
// boundaries. Nothing beside the area changes.
TEST(QtImage, Rgb32RowsHoldTheImagesPixelsOpaque) {
    struct Case {
        int width, height;
        QRect area;
        int targetLeft;
    };
    const Case cases[] = {{7, 3, {0, 0, 7, 3}, 0},
                          {7, 3, {2, 1, 5, 2}, 1},
                          {1, 1, {0, 0, 1, 1}, 0},
                          {6, 2, {0, 0, 6, 2}, 3},
                          {1700, 1300, {0, 0, 1700, 1300}, 0},
                          {1700, 1300, {3, 5, 1690, 1290}, 3},
                          {1700, 1300, {1, 0, 1699, 1300}, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        ImageBuffer image = makeImageBuffer(c.width, c.height, 24, 0);
        ASSERT_NE(image.pixels, nullptr);
        for (int64_t i = 0; i < int64_t{image.stride} * image.height; ++i)
            image.pixels[i] = static_cast<uint8_t>(i * 13 + i / 251);
        QImage target(c.width + 8, c.height, QImage::Format_RGB32);
        target.fill(0xFF345678u);
        copyToRgb32(image, c.area, target.scanLine(0) + 4 * c.targetLeft, target.bytesPerLine());
        int wrong = 0;
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) {
                const QPoint from(x - c.targetLeft + c.area.left(), y + c.area.top());
                QRgb expected = 0xFF345678u;
                if (x >= c.targetLeft && c.area.contains(from)) {
                    const uint8_t* pixel = imageRow(image, from.y()) + 3 * from.x();
                    expected = qRgb(pixel[2], pixel[1], pixel[0]);
                }
                wrong += target.pixel(x, y) != expected;
            }
        EXPECT_EQ(wrong, 0);
        releaseImageBuffer(image);
    }
}

}  // namespace
