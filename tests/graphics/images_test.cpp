#include "graphics/images.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Colours a 2-letter legend can tell apart: a..p for the pixels of a 4 x 4 source.
std::map<int32_t, char> letterLegend() {
    std::map<int32_t, char> legend = {{0, '.'}};
    for (int i = 0; i < 16; ++i) legend[rgb(10 * (i + 1), 0, 0)] = static_cast<char>('a' + i);
    return legend;
}

void makeLetterImage(int number, int width, int height) {
    ASSERT_TRUE(createImage(number, width, height));
    ASSERT_TRUE(beginDrawing(imageTarget(number)));
    for (int i = 0; i < width * height; ++i) fillBox(i % width, i / width, 1, 1, rgb(10 * (i + 1), 0, 0));
    endDrawing();
}

TEST_F(Images, RowsArePaddedToFourBytes) {
    struct Case {
        int width, depth, stride;
    } cases[] = {
        {600, 24, 1800}, {601, 24, 1804}, {1, 24, 4},      {2, 24, 8},
        {3, 24, 12},     {5, 24, 16},     {600, 32, 2400}, {1, 32, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " at " + std::to_string(c.depth));
        ASSERT_TRUE(createImage(3, c.width, 2, c.depth, 0));
        EXPECT_EQ(imageHandle(3)->stride, c.stride);
        EXPECT_EQ(imageHandle(3)->depth, c.depth);
        EXPECT_EQ(rowLength(c.width, c.depth), c.stride);
    }
}

TEST_F(Images, NewImagesHoldTheirBackground) {
    struct Case {
        const char* name;
        int depth;
        int32_t background;
        std::vector<uint8_t> firstRow;  // width 1: one pixel plus padding
        int depthMade;
    } cases[] = {
        {"plain 24-bit form", 0, 0, {0, 0, 0, 0}, 24},
        {"24-bit colour", 24, 0x030201, {3, 2, 1, 0}, 24},
        {"depth below 24 gives 24", 8, 0x030201, {3, 2, 1, 0}, 24},
        {"32-bit colour is opaque", 32, 0x030201, {3, 2, 1, 255}, 32},
        {"32-bit -1 is transparent black", 32, -1, {0, 0, 0, 0}, 32},
        {"32-bit black is opaque", 32, 0, {0, 0, 0, 255}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.depth == 0 ? createImage(4, 1, 3) : createImage(4, 1, 3, c.depth, c.background));
        EXPECT_EQ(imageHandle(4)->depth, c.depthMade);
        EXPECT_EQ(imageHandle(4)->saveDepth, c.depthMade);
        for (int y = 0; y < 3; ++y) EXPECT_EQ(rowBytes(4, y, 4), c.firstRow) << "row " << y;
    }
}

TEST_F(Images, RefusedSizesAndNumbersLeaveTheNumberFree) {
    struct Case {
        const char* name;
        int number, width, height, depth;
    } cases[] = {
        {"zero width", 5, 0, 4, 24},
        {"negative height", 5, 4, -1, 24},
        {"wider than 32767", 5, 32768, 1, 24},
        {"depth 48", 5, 4, 4, 48},
        {"number past the largest", kLargestImageNumber + 1, 4, 4, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(createImage(5, 2, 2));
        EXPECT_EQ(createImage(c.number, c.width, c.height, c.depth, 0), 0);
        EXPECT_EQ(imageHandle(c.number), nullptr);
    }
    EXPECT_EQ(createImage(-1, 4, 4), 0);
    EXPECT_NE(createImage(5, 32767, 1), 0);
}

TEST_F(Images, FreeNumbersDoNothing) {
    ASSERT_TRUE(createImage(2, 4, 4));
    for (int number : {-7, 0, 1, 3, 15, 16, 1000, kLargestImageNumber + 1}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(imageHandle(number), nullptr);
        EXPECT_EQ(imageBuffer(number), nullptr);
        EXPECT_EQ(freeImage(number), 0);
        EXPECT_EQ(imageTarget(number).pixels, nullptr);
        EXPECT_EQ(copyImageRect(number, 6, 0, 0, 2, 2), 0);
        EXPECT_EQ(resizeImage(number, 8, 8, 1), 0);
    }
    EXPECT_EQ(imageHandle(6), nullptr) << "a failed grab creates nothing";
    EXPECT_NE(imageHandle(2), nullptr);
}

TEST_F(Images, TableGrowsWithoutMovingImages) {
    ASSERT_TRUE(createImage(0, 2, 2));
    ImageHandle first = imageHandle(0);
    for (int number : {15, 16, 17, 100, 1000}) ASSERT_TRUE(createImage(number, 1, 1)) << number;
    EXPECT_EQ(imageHandle(0), first);
    EXPECT_EQ(imageHandle(0)->width, 2);
    EXPECT_EQ(imageHandle(99), nullptr);
    EXPECT_EQ(imageHandle(1000)->width, 1);
}

TEST_F(Images, CreatingOnAUsedNumberReplacesTheImage) {
    ASSERT_TRUE(createImage(2, 4, 4, 24, 0xFFFFFF));
    ASSERT_TRUE(createImage(2, 3, 1));
    EXPECT_EQ(imageHandle(2)->width, 3);
    EXPECT_EQ(imageHandle(2)->height, 1);
    EXPECT_EQ(pixelColour(2, 0, 0), 0);
    EXPECT_EQ(createImage(2, 0, 1), 0);
    EXPECT_EQ(imageHandle(2), nullptr) << "a failed creation still freed the old image";
}

TEST_F(Images, FreeingEverything) {
    for (int number : {0, 2, 40}) ASSERT_TRUE(createImage(number, 1, 1));
    EXPECT_NE(freeImage(-1), 0);
    for (int number : {0, 2, 40}) EXPECT_EQ(imageHandle(number), nullptr);
    EXPECT_EQ(freeImage(-1), 0);
    EXPECT_EQ(freeImage(2), 0);
}

TEST_F(Images, GrabsCopyTheRectangleAndBlackenWhatLiesOutside) {
    struct Case {
        const char* name;
        int x, y, width, height;
        std::string expected;
    } cases[] = {
        {"inside", 1, 1, 2, 2, rows({"fg", "jk"})},
        {"whole source", 0, 0, 4, 4, rows({"abcd", "efgh", "ijkl", "mnop"})},
        {"past the right edge", 3, 0, 3, 2, rows({"d..", "h.."})},
        {"past the bottom edge", 0, 3, 2, 3, rows({"mn", "..", ".."})},
        {"past the top-left corner", -1, -2, 3, 3, rows({"...", "...", ".ab"})},
        {"larger than the source", -1, -1, 6, 6,
         rows({"......", ".abcd.", ".efgh.", ".ijkl.", ".mnop.", "......"})},
        {"wholly outside", 10, 10, 2, 1, rows({".."})},
        {"far outside", INT_MIN, INT_MAX, 2, 1, rows({".."})},
    };
    makeLetterImage(1, 4, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(copyImageRect(1, 2, c.x, c.y, c.width, c.height));
        EXPECT_EQ(imageHandle(2)->width, c.width);
        EXPECT_EQ(picture(2, letterLegend()), c.expected);
    }
}

TEST_F(Images, GrabIntoItsOwnSourceAndKeepsDepths) {
    makeLetterImage(1, 4, 4);
    ASSERT_TRUE(copyImageRect(1, 1, 2, 2, 2, 2));
    EXPECT_EQ(picture(1, letterLegend()), rows({"kl", "op"}));

    ASSERT_TRUE(createImage(3, 2, 2, 32, 0x0000FF));
    ASSERT_TRUE(copyImageRect(3, 4, 1, 0, 2, 1));
    EXPECT_EQ(imageHandle(4)->depth, 32);
    EXPECT_EQ(imageHandle(4)->saveDepth, 32);
    EXPECT_EQ(rowBytes(4, 0, 8), (std::vector<uint8_t>{0, 0, 0xFF, 255, 0, 0, 0, 0}));
}

TEST_F(Images, FailedGrabLeavesTheDestinationAlone) {
    makeLetterImage(1, 4, 4);
    ASSERT_TRUE(createImage(2, 3, 3, 24, 0x0000FF));
    ImageHandle before = imageHandle(2);
    EXPECT_EQ(copyImageRect(1, 2, 0, 0, 0, 5), 0);
    EXPECT_EQ(copyImageRect(1, 2, 0, 0, 5, 32768), 0);
    EXPECT_EQ(copyImageRect(9, 2, 0, 0, 2, 2), 0);
    EXPECT_EQ(copyImageRect(1, -1, 0, 0, 2, 2), 0);
    ASSERT_EQ(imageHandle(2), before);
    EXPECT_EQ(imageHandle(2)->width, 3);
    EXPECT_EQ(pixelColour(2, 2, 2), 0x0000FF);
}

TEST_F(Images, EnlargingEightByEightWithoutSmoothingGivesExactBlocks) {
    ASSERT_TRUE(createImage(2, 8, 8));
    ASSERT_TRUE(beginDrawing(imageTarget(2)));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) fillBox(x, y, 1, 1, rgb(x * 30 + 1, y * 30 + 2, x + y));
    endDrawing();
    ASSERT_TRUE(resizeImage(2, 128, 128, 1));
    ASSERT_EQ(imageHandle(2)->width, 128);
    ASSERT_EQ(imageHandle(2)->height, 128);
    int wrong = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            wrong += pixelColour(2, x, y) != rgb(x / 16 * 30 + 1, y / 16 * 30 + 2, x / 16 + y / 16);
    EXPECT_EQ(wrong, 0);
}

TEST_F(Images, ResizingPicksOrAveragesSourcePixels) {
    struct Case {
        const char* name;
        std::vector<int> source;  // grey levels of a one-row image
        int width, mode;
        std::vector<int> expected;
    } cases[] = {
        {"nearest, halved", {10, 20, 30, 40}, 2, 1, {10, 30}},
        {"nearest, any non-zero mode", {10, 20, 30, 40}, 2, 7, {10, 30}},
        {"nearest, three to five", {10, 20, 30}, 5, 1, {10, 10, 20, 20, 30}},
        {"averaged, two to one rounds halves up", {0, 255}, 1, 0, {128}},
        {"averaged, doubled", {0, 255}, 4, 0, {0, 0, 255, 255}},
        {"averaged, three to two weighs overlaps", {0, 90, 255}, 2, 0, {30, 200}},
        {"averaged, uniform stays uniform", {77, 77, 77, 77, 77}, 3, 0, {77, 77, 77}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int sourceWidth = static_cast<int>(c.source.size());
        ASSERT_TRUE(createImage(2, sourceWidth, 1));
        ASSERT_TRUE(beginDrawing(imageTarget(2)));
        for (int x = 0; x < sourceWidth; ++x) fillBox(x, 0, 1, 1, rgb(c.source[x], c.source[x], c.source[x]));
        endDrawing();
        ASSERT_TRUE(resizeImage(2, c.width, kKeepSize, c.mode));
        ASSERT_EQ(imageHandle(2)->height, 1);
        std::vector<int> got;
        for (int x = 0; x < imageHandle(2)->width; ++x) got.push_back(pixelColour(2, x, 0) & 0xFF);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(Images, AveragingInTwoDimensionsKeepsAlpha) {
    ASSERT_TRUE(createImage(2, 2, 2, 32, -1));
    ImageBuffer* image = imageBuffer(2);
    // Top row opaque white, bottom row transparent black.
    for (int x = 0; x < 2; ++x) std::fill(imageRow(*image, 0) + 4 * x, imageRow(*image, 0) + 4 * x + 4, 255);
    ASSERT_TRUE(resizeImage(2, 1, 1, 0));
    EXPECT_EQ(rowBytes(2, 0, 4), (std::vector<uint8_t>{128, 128, 128, 128}));
    EXPECT_EQ(imageHandle(2)->depth, 32);
}

TEST_F(Images, ResizeKeepsAndRefusesSizes) {
    makeLetterImage(1, 4, 4);
    ImageHandle before = imageHandle(1);
    const uint8_t* pixels = before->pixels;
    EXPECT_NE(resizeImage(1, kKeepSize, kKeepSize, 1), 0);
    EXPECT_NE(resizeImage(1, 4, 4, 0), 0);
    EXPECT_EQ(imageHandle(1)->pixels, pixels) << "same size: nothing is done";

    ASSERT_TRUE(resizeImage(1, kKeepSize, 2, 1));
    EXPECT_EQ(picture(1, letterLegend()), rows({"abcd", "ijkl"}));

    for (int width : {0, -1, 32768}) {
        SCOPED_TRACE(width);
        makeLetterImage(1, 4, 4);
        EXPECT_EQ(resizeImage(1, width, 4, 1), 0);
        EXPECT_EQ(imageHandle(1), nullptr) << "a failed resize frees the number";
    }
}

}  // namespace
