#include "graphics/images.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "graphics/drawing.h"
#include "tests/graphics/pixel_picture.h"

namespace {

class Images : public ::testing::Test {
   protected:
    void TearDown() override {
        endDrawing();
        freeImage(-1);
    }
};

std::vector<uint8_t> rowBytes(int number, int y, int count) {
    const uint8_t* row = imageRow(*imageBuffer(number), y);
    return std::vector<uint8_t>(row, row + count);
}

// A 24-bit image whose pixels have the grey levels given row by row, top row first.
void makeGreyImage(int number, int width, const std::vector<int>& levels) {
    const int height = static_cast<int>(levels.size()) / width;
    ASSERT_TRUE(createImage(number, width, height));
    ASSERT_TRUE(beginDrawing(imageTarget(number)));
    for (int i = 0; i < width * height; ++i)
        fillBox(i % width, i / width, 1, 1, rgb(levels[i], levels[i], levels[i]));
    endDrawing();
}

// Grey levels row by row, top row first; -1 for a pixel that is not grey.
std::vector<int> greyLevels(int number) {
    std::vector<int> levels;
    for (int y = 0; y < imageHandle(number)->height; ++y)
        for (int x = 0; x < imageHandle(number)->width; ++x) {
            const int32_t colour = pixelColour(number, x, y);
            levels.push_back(colour == (colour & 0xFF) * 0x010101 ? colour & 0xFF : -1);
        }
    return levels;
}

const std::vector<int> k4x4 = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};

TEST_F(Images, NewImagesHoldTheirBackgroundInPaddedRows) {
    struct Case {
        const char* name;
        int width, depth;
        int32_t background;
        std::vector<uint8_t> firstRow;  // every row, padding included
        int depthMade;
        // clang-format off
    } cases[] = {
        {"plain 24-bit form", 1, 0, 0, {0, 0, 0, 0}, 24},
        {"24-bit colour", 1, 24, 0x030201, {3, 2, 1, 0}, 24},
        {"odd width padded to four bytes", 3, 24, 0x030201, {3, 2, 1, 3, 2, 1, 3, 2, 1, 0, 0, 0}, 24},
        {"depth below 24 gives 24", 1, 8, 0x030201, {3, 2, 1, 0}, 24},
        {"32-bit colour is opaque", 2, 32, 0x030201, {3, 2, 1, 255, 3, 2, 1, 255}, 32},
        {"32-bit -1 is transparent black", 1, 32, -1, {0, 0, 0, 0}, 32},
        {"32-bit black is opaque", 1, 32, 0, {0, 0, 0, 255}, 32}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.depth == 0 ? createImage(4, c.width, 3)
                                 : createImage(4, c.width, 3, c.depth, c.background));
        EXPECT_EQ(imageHandle(4)->depth, c.depthMade);
        EXPECT_EQ(imageHandle(4)->saveDepth, c.depthMade);
        EXPECT_EQ(imageHandle(4)->stride, static_cast<int>(c.firstRow.size()));
        for (int y = 0; y < 3; ++y) EXPECT_EQ(rowBytes(4, y, imageHandle(4)->stride), c.firstRow) << y;
    }
}

TEST_F(Images, NumbersSizesAndFreeing) {
    // clang-format off
    const int refused[][4] = {
        {5, 0, 4, 24}, {5, 4, -1, 24}, {5, 32768, 1, 24}, {5, 4, 4, 48}, {kLargestImageNumber + 1, 4, 4, 24},
        {-1, 4, 4, 24}
    };
    // clang-format on
    for (const auto& c : refused) {
        ASSERT_TRUE(createImage(5, 2, 2));
        EXPECT_EQ(createImage(c[0], c[1], c[2], c[3], 0), 0)
            << c[0] << " " << c[1] << "x" << c[2] << "x" << c[3];
        EXPECT_EQ(imageHandle(c[0]), nullptr) << "a failed creation still freed the old image";
    }
    ASSERT_TRUE(createImage(0, 2, 2));
    const ImageHandle first = imageHandle(0);
    for (int number : {15, 16, 17, 1000}) ASSERT_TRUE(createImage(number, 1, 1)) << number;
    EXPECT_NE(createImage(5, 32767, 1), 0);
    EXPECT_EQ(imageHandle(0), first) << "the table grows without moving images";
    EXPECT_EQ(imageHandle(0)->width, 2);
    for (int number : {-7, 1, 3, 99, kLargestImageNumber + 1}) {
        EXPECT_EQ(imageBuffer(number), nullptr) << number;
        EXPECT_EQ(freeImage(number), 0) << number;
        EXPECT_EQ(imageTarget(number).pixels, nullptr) << number;
        EXPECT_EQ(copyImageRect(number, 6, 0, 0, 2, 2), 0) << number;
        EXPECT_EQ(resizeImage(number, 8, 8, 1), 0) << number;
    }
    EXPECT_EQ(imageHandle(6), nullptr) << "a failed grab creates nothing";
    EXPECT_EQ(freeImage(16), 1);
    EXPECT_NE(freeImage(-1), 0);
    EXPECT_EQ(first->pixels, nullptr) << "a freed handle stays valid and holds no pixels";
    EXPECT_EQ(imageHandle(1000), nullptr);
    EXPECT_EQ(freeImage(-1), 0);
}

TEST_F(Images, GrabsCopyTheRectangleAndBlackenWhatLiesOutside) {
    struct Case {
        const char* name;
        int source, x, y, width, height;
        std::vector<int> expected;
        // clang-format off
    } cases[] = {
        {"inside", 1, 1, 1, 2, 2, {60, 70, 100, 110}},
        {"past the right edge", 1, 3, 0, 3, 2, {40, 0, 0, 80, 0, 0}},
        {"past the bottom edge", 1, 0, 3, 2, 3, {130, 140, 0, 0, 0, 0}},
        {"past the top-left corner", 1, -1, -2, 3, 3, {0, 0, 0, 0, 0, 0, 0, 10, 20}},
        {"larger than the source", 1, -1, -1, 6, 3, {0, 0, 0, 0, 0, 0, 0, 10, 20, 30, 40, 0, 0, 50, 60, 70, 80, 0}},
        {"far outside", 1, INT_MIN, INT_MAX, 2, 1, {0, 0}},
        {"into its own source", 2, 2, 2, 2, 2, {110, 120, 150, 160}}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeGreyImage(1, 4, k4x4);
        makeGreyImage(2, 4, k4x4);
        ASSERT_TRUE(copyImageRect(c.source, 2, c.x, c.y, c.width, c.height));
        EXPECT_EQ(imageHandle(2)->width, c.width);
        EXPECT_EQ(greyLevels(2), c.expected);
    }
    ASSERT_TRUE(createImage(3, 2, 2, 32, 0x0000FF));
    ASSERT_TRUE(copyImageRect(3, 4, 1, 0, 2, 1));
    EXPECT_EQ(imageHandle(4)->saveDepth, 32);
    EXPECT_EQ(rowBytes(4, 0, 8), (std::vector<uint8_t>{0, 0, 0xFF, 255, 0, 0, 0, 0}));

    const ImageHandle before = imageHandle(2);
    for (const auto& c : {std::vector<int>{1, 2, 0, 5}, {1, 2, 5, 32768}, {9, 2, 2, 2}, {1, -1, 2, 2}})
        EXPECT_EQ(copyImageRect(c[0], c[1], 0, 0, c[2], c[3]), 0);
    ASSERT_EQ(imageHandle(2), before);
    EXPECT_EQ(greyLevels(2), (std::vector<int>{110, 120, 150, 160}))
        << "a failed grab leaves the destination";
}

TEST_F(Images, ResizingPicksOrAveragesSourcePixels) {
    struct Case {
        const char* name;
        int sourceWidth;
        std::vector<int> source;
        int width, height, mode;
        std::vector<int> expected;
        // clang-format off
    } cases[] = {
        {"nearest, halved", 4, k4x4, 2, 2, 1, {10, 30, 90, 110}},
        {"nearest, any non-zero mode, keeping the width", 4, k4x4, kKeepSize, 2, 7, {10, 20, 30, 40, 90, 100, 110, 120}},
        {"nearest, two by three to five by two", 2, {10, 20, 30, 40, 50, 60}, 5, 2, 1, {10, 10, 10, 20, 20, 30, 30, 30, 40, 40}},
        {"nearest, enlarged into blocks", 2, {10, 20, 30, 40}, 4, 6, 1, {10, 10, 20, 20, 10, 10, 20, 20, 10, 10, 20, 20, 30, 30, 40, 40, 30, 30, 40, 40, 30, 30, 40, 40}},
        {"averaged, two to one rounds halves up", 2, {0, 255}, 1, kKeepSize, 0, {128}},
        {"averaged, doubled", 2, {0, 255, 255, 0}, 4, 4, 0, {0, 0, 255, 255, 0, 0, 255, 255, 255, 255, 0, 0, 255, 255, 0, 0}},
        {"averaged, three to two weighs overlaps", 3, {0, 90, 255}, 2, 1, 0, {30, 200}},
        {"averaged, three by three to two by two", 3, {0, 30, 60, 90, 120, 150, 180, 210, 240}, 2, 2, 0, {40, 80, 160, 200}},
        {"averaged, narrower and taller", 3, {0, 90, 255, 30, 30, 30}, 2, 3, 0, {30, 200, 30, 115, 30, 30}},
        {"averaged, uniform stays uniform", 5, {77, 77, 77, 77, 77}, 3, 1, 0, {77, 77, 77}}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeGreyImage(2, c.sourceWidth, c.source);
        ASSERT_TRUE(resizeImage(2, c.width, c.height, c.mode));
        EXPECT_EQ(greyLevels(2), c.expected);
        EXPECT_EQ(imageHandle(2)->width * imageHandle(2)->height, static_cast<int>(c.expected.size()));
    }

    ASSERT_TRUE(createImage(2, 2, 2, 32, -1));  // top row opaque white, bottom row transparent black
    for (int x = 0; x < 8; ++x) imageRow(*imageBuffer(2), 0)[x] = 255;
    ASSERT_TRUE(resizeImage(2, 1, 1, 0));
    EXPECT_EQ(rowBytes(2, 0, 4), (std::vector<uint8_t>{128, 128, 128, 128}));

    const uint8_t* pixels = imageHandle(2)->pixels;
    EXPECT_NE(resizeImage(2, kKeepSize, kKeepSize, 1), 0);
    EXPECT_NE(resizeImage(2, 1, 1, 0), 0);
    EXPECT_EQ(imageHandle(2)->pixels, pixels) << "same size: nothing is done";
    for (int width : {0, -1, 32768}) {
        makeGreyImage(1, 4, k4x4);
        EXPECT_EQ(resizeImage(1, width, 4, 1), 0) << width;
        EXPECT_EQ(imageHandle(1), nullptr) << "a failed resize frees the number";
    }
}

}  // namespace
