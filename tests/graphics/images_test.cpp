#include "graphics/images.h"

#include <gtest/gtest.h>

#include <climits>

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
    return std::vector<uint8_t>(imageRow(*imageBuffer(number), y), imageRow(*imageBuffer(number), y) + count);
}

// A 24-bit image whose pixels have the grey levels given row by row, top row first.
void makeGreyImage(int number, int width, const std::vector<int>& levels) {
    ASSERT_TRUE(drawOnFreshImage(number, width, static_cast<int>(levels.size()) / width));
    for (size_t i = 0; i < levels.size(); ++i) fillBox(i % width, i / width, 1, 1, levels[i] * 0x010101);
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

TEST_F(Images, NewImagesTheirPaddedRowsNumbersSizesAndFreeing) {
    struct Case {
        int width, depth;
        int32_t background;
        std::vector<uint8_t> row;  // every row, padding included
    };
    // clang-format off
    const Case cases[] = {
        {1, 0, 0, {0, 0, 0, 0}}, {1, 24, 0x030201, {3, 2, 1, 0}}, {3, 24, 0x030201, {3, 2, 1, 3, 2, 1, 3, 2, 1, 0, 0, 0}},
        {1, 8, 0x030201, {3, 2, 1, 0}}, {2, 32, 0x030201, {3, 2, 1, 255, 3, 2, 1, 255}}, {1, 32, -1, {0, 0, 0, 0}},
        {1, 32, 0, {0, 0, 0, 255}}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        ASSERT_TRUE(c.depth == 0 ? createImage(4, c.width, 3)
                                 : createImage(4, c.width, 3, c.depth, c.background));
        EXPECT_EQ(imageHandle(4)->depth * 100 + imageHandle(4)->saveDepth, c.depth == 32 ? 3232 : 2424);
        EXPECT_EQ(imageHandle(4)->stride, static_cast<int>(c.row.size()));
        for (int y = 0; y < 3; ++y) EXPECT_EQ(rowBytes(4, y, imageHandle(4)->stride), c.row) << y;
    }
    const int refused[][4] = {{5, 0, 4, 24}, {5, 4, -1, 24}, {5, 32768, 1, 24},
                              {5, 4, 4, 48}, {-1, 4, 4, 24}, {kLargestImageNumber + 1, 4, 4, 24}};
    for (const auto& c : refused) {
        ASSERT_TRUE(createImage(5, 2, 2));
        EXPECT_EQ(createImage(c[0], c[1], c[2], c[3], 0), 0) << "row " << &c - refused;
        EXPECT_EQ(imageHandle(c[0]), nullptr) << "a failed creation still freed the old image";
    }
    ASSERT_TRUE(createImage(0, 2, 2));
    const ImageHandle first = imageHandle(0);
    for (int number : {15, 16, 17, 1000, kLargestImageNumber})
        ASSERT_TRUE(createImage(number, 1, 1)) << number;
    EXPECT_NE(createImage(5, 32767, 1), 0);
    EXPECT_TRUE(imageHandle(0) == first && first->width == 2) << "the table grows without moving images";
    for (int number : {-7, 1, 3, 99, kLargestImageNumber + 1}) {
        EXPECT_EQ(imageBuffer(number), nullptr) << number;
        EXPECT_EQ(freeImage(number) + copyImageRect(number, 6, 0, 0, 2, 2) + resizeImage(number, 8, 8, 1), 0);
        EXPECT_EQ(imageTarget(number).pixels, nullptr) << number;
    }
    EXPECT_EQ(imageHandle(6), nullptr) << "a failed grab creates nothing";
    EXPECT_EQ(freeImage(16) * 10 + freeImage(-1) * 100 + freeImage(-1), 110);
    EXPECT_TRUE(first->pixels == nullptr && imageHandle(1000) == nullptr) << "a freed handle holds no pixels";
}

TEST_F(Images, GrabbingAndResizingMakeNewPixels) {
    const std::vector<int> k4x4 = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
    struct Case {
        int sourceWidth;
        std::vector<int> source;
        char operation;  // 'g': copyImageRect(x, y, width, height), else resizeImage(width, height, mode)
        int x, y, width, height, mode;
        std::vector<int> expected;
    };
    // clang-format off
    const Case cases[] = {
        {4, k4x4, 'g', 1, 1, 2, 2, 0, {60, 70, 100, 110}},
        {4, k4x4, 'g', 3, 0, 3, 2, 0, {40, 0, 0, 80, 0, 0}},
        {4, k4x4, 'g', 0, 3, 2, 3, 0, {130, 140, 0, 0, 0, 0}},
        {4, k4x4, 'g', -1, -2, 3, 3, 0, {0, 0, 0, 0, 0, 0, 0, 10, 20}},
        {4, k4x4, 'g', -1, -1, 6, 3, 0, {0, 0, 0, 0, 0, 0, 0, 10, 20, 30, 40, 0, 0, 50, 60, 70, 80, 0}},
        {4, k4x4, 'g', INT_MIN, INT_MAX, 2, 1, 0, {0, 0}},
        {4, k4x4, 'r', 0, 0, 2, 2, 1, {10, 30, 90, 110}},
        {4, k4x4, 'r', 0, 0, kKeepSize, 2, 7, {10, 20, 30, 40, 90, 100, 110, 120}},
        {2, {10, 20, 30, 40, 50, 60}, 'r', 0, 0, 5, 2, 1, {10, 10, 10, 20, 20, 30, 30, 30, 40, 40}},
        {2, {10, 20, 30, 40}, 'r', 0, 0, 4, 6, 1,
         {10, 10, 20, 20, 10, 10, 20, 20, 10, 10, 20, 20, 30, 30, 40, 40, 30, 30, 40, 40, 30, 30, 40, 40}},
        {2, {0, 255}, 'r', 0, 0, 1, kKeepSize, 0, {128}},
        {2, {0, 255, 255, 0}, 'r', 0, 0, 4, 4, 0, {0, 0, 255, 255, 0, 0, 255, 255, 255, 255, 0, 0, 255, 255, 0, 0}},
        {3, {0, 90, 255}, 'r', 0, 0, 2, 1, 0, {30, 200}},
        {3, {0, 30, 60, 90, 120, 150, 180, 210, 240}, 'r', 0, 0, 2, 2, 0, {40, 80, 160, 200}},
        {3, {0, 90, 255, 30, 30, 30}, 'r', 0, 0, 2, 3, 0, {30, 200, 30, 115, 30, 30}},
        {5, {77, 77, 77, 77, 77}, 'r', 0, 0, 3, 1, 0, {77, 77, 77}}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        makeGreyImage(1, c.sourceWidth, c.source);
        makeGreyImage(2, 3, {1, 2, 3});
        const int made = c.operation == 'g' ? 2 : 1;
        ASSERT_TRUE(made == 2 ? copyImageRect(1, 2, c.x, c.y, c.width, c.height)
                              : resizeImage(1, c.width, c.height, c.mode));
        EXPECT_EQ(greyLevels(made), c.expected);
        EXPECT_EQ(imageHandle(made)->width * imageHandle(made)->height, static_cast<int>(c.expected.size()));
    }
    ASSERT_TRUE(copyImageRect(2, 2, 1, 0, 2, 1));
    EXPECT_EQ(greyLevels(2), (std::vector<int>{2, 3})) << "grabbed from itself";
    const ImageHandle before = imageHandle(2);
    for (const auto& c : {std::vector<int>{1, 2, 0, 5}, {1, 2, 5, 32768}, {9, 2, 2, 2}, {1, -1, 2, 2}})
        EXPECT_EQ(copyImageRect(c[0], c[1], 0, 0, c[2], c[3]), 0);
    ASSERT_EQ(imageHandle(2), before);
    EXPECT_EQ(greyLevels(2), (std::vector<int>{2, 3})) << "a failed grab leaves the destination";

    ASSERT_TRUE(createImage(3, 2, 2, 32, -1));  // top row opaque white, bottom row transparent black
    for (int x = 0; x < 8; ++x) imageRow(*imageBuffer(3), 0)[x] = 255;
    ASSERT_TRUE(copyImageRect(3, 4, 0, 0, 3, 2));
    EXPECT_EQ(imageHandle(4)->saveDepth, 32);
    EXPECT_EQ(rowBytes(4, 0, 12), (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0}));
    ASSERT_TRUE(resizeImage(3, 1, 1, 0));
    EXPECT_EQ(rowBytes(3, 0, 4), (std::vector<uint8_t>{128, 128, 128, 128}));
    const uint8_t* pixels = imageHandle(3)->pixels;
    EXPECT_NE(resizeImage(3, kKeepSize, kKeepSize, 1) * resizeImage(3, 1, 1, 0), 0);
    EXPECT_EQ(imageHandle(3)->pixels, pixels) << "same size: nothing is done";
    for (int width : {0, -1, 32768}) {
        ASSERT_TRUE(createImage(3, 4, 4));
        EXPECT_EQ(resizeImage(3, width, 4, 1), 0) << width;
        EXPECT_EQ(imageHandle(3), nullptr) << "a failed resize frees the number";
    }
}

}  // namespace
