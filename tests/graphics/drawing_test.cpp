#include "graphics/drawing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "graphics/images.h"
#include "tests/graphics/pixel_picture.h"

namespace {

constexpr int kImage = 1;
constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kGreen = 0x00FF00;
const std::map<int32_t, char> kBlackAndRed = {{0, '.'}, {kRed, '#'}};

class Drawing : public ::testing::Test {
   protected:
    void TearDown() override {
        endDrawing();
        freeImage(-1);
    }
};

// Bounds and pixel count of everything not black: "x0,y0..x1,y1 n", or "none".
std::string paintedArea(int number) {
    const ImageBuffer* image = imageBuffer(number);
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            if (pixelColour(number, x, y) == 0) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
            ++count;
        }
    if (count == 0) return "none";
    return std::to_string(left) + "," + std::to_string(top) + ".." + std::to_string(right) + "," +
           std::to_string(bottom) + " " + std::to_string(count);
}

TEST_F(Drawing, BoxesAreTurnedOverAndClippedAtEveryEdge) {
    struct Case {
        const char* name;
        int x, y, width, height;
        const char* painted;  // on a 20 x 10 target
    } cases[] = {
        {"inside", 2, 3, 4, 2, "2,3..5,4 8"},
        {"single pixel", 7, 1, 1, 1, "7,1..7,1 1"},
        {"small box in the bottom-right corner", 18, 8, 2, 2, "18,8..19,9 4"},
        {"small box one past the corner", 19, 9, 2, 2, "19,9..19,9 1"},
        {"small box one past the right edge", 13, 0, 8, 1, "13,0..19,0 7"},
        {"small box one past the bottom edge", 0, 3, 1, 8, "0,3..0,9 7"},
        {"tall box", 1, 1, 1, 9, "1,1..1,9 9"},
        {"past the top-left corner", -5, -5, 10, 10, "0,0..4,4 25"},
        {"negative sizes", 10, 10, -4, -4, "6,6..9,9 16"},
        {"negative width only", 5, 0, -2, 1, "3,0..4,0 2"},
        {"cut at the left", -3, 2, 5, 1, "0,2..1,2 2"},
        {"cut at the top", 4, -3, 1, 5, "4,0..4,1 2"},
        {"cut at the right", 18, 0, 5, 1, "18,0..19,0 2"},
        {"cut at the bottom", 0, 8, 1, 5, "0,8..0,9 2"},
        {"covers everything", -1, -1, 22, 12, "0,0..19,9 200"},
        {"starts right of the target", 20, 0, 5, 5, "none"},
        {"starts below the target", 0, 10, 5, 5, "none"},
        {"ends at the left edge", -3, 0, 3, 1, "none"},
        {"ends at the top edge", 0, -3, 1, 3, "none"},
        {"zero width", 3, 3, 0, 4, "none"},
        {"zero height", 3, 3, 4, 0, "none"},
        {"turned over to the left of the target", 2, 0, -5, 1, "0,0..1,0 2"},
        {"largest sizes", 0, 0, INT_MAX, INT_MAX, "0,0..19,9 200"},
        {"smallest corner, largest sizes", INT_MIN, INT_MIN, INT_MAX, INT_MAX, "none"},
        {"largest corner turned over", INT_MAX, INT_MAX, INT_MIN, INT_MIN, "0,0..19,9 200"},
        {"smallest sizes turned over", 5, 5, INT_MIN, INT_MIN, "0,0..4,4 25"},
        {"largest corner", INT_MAX, INT_MAX, 1, 1, "none"},
        {"smallest single pixel", INT_MIN, 0, 1, 1, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(drawOnFreshImage(kImage, 20, 10));
        fillBox(c.x, c.y, c.width, c.height, kRed);
        endDrawing();
        EXPECT_EQ(paintedArea(kImage), c.painted);
    }
}

TEST_F(Drawing, SinglePixelsOnAndJustOffEachEdge) {
    struct Case {
        int x, y;
        const char* painted;  // on a 5 x 4 target
    } cases[] = {
        {0, 0, "0,0..0,0 1"}, {4, 0, "4,0..4,0 1"}, {0, 3, "0,3..0,3 1"}, {4, 3, "4,3..4,3 1"},
        {-1, 0, "none"},      {5, 0, "none"},       {0, -1, "none"},      {0, 4, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        ASSERT_TRUE(drawOnFreshImage(kImage, 5, 4));
        fillBox(c.x, c.y, 1, 1, kRed);
        endDrawing();
        EXPECT_EQ(paintedArea(kImage), c.painted);
    }
}

TEST_F(Drawing, PixelBytesAreBlueGreenRed) {
    const int32_t sequence[] = {0x123456, 0x123456, 0x00FF00, 0x123456, 0, 0x0000FF};
    ASSERT_TRUE(drawOnFreshImage(kImage, 6, 2));
    for (int i = 0; i < 6; ++i) fillBox(i, 0, 1, 1, sequence[i]);
    for (int i = 0; i < 6; ++i) fillBox(i, 1, 1, 2, sequence[i]);
    endDrawing();
    const uint8_t* top = imageRow(*imageBuffer(kImage), 0);
    EXPECT_EQ(std::vector<uint8_t>(top, top + 3), (std::vector<uint8_t>{0x12, 0x34, 0x56}));
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < 6; ++i) EXPECT_EQ(pixelColour(kImage, i, row), sequence[i]) << i << "," << row;
}

TEST_F(Drawing, WideBoxesFillEveryPixelAndLeaveThePadding) {
    // Width 7 at 24 bits: 21 bytes of pixels and 3 bytes of padding per row.
    ASSERT_TRUE(drawOnFreshImage(kImage, 7, 3));
    fillBox(0, 0, 7, 3, 0x010203);
    endDrawing();
    const ImageBuffer* image = imageBuffer(kImage);
    for (int y = 0; y < 3; ++y) {
        const uint8_t* row = imageRow(*image, y);
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(std::vector<uint8_t>(row + 3 * x, row + 3 * x + 3), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(std::vector<uint8_t>(row + 21, row + 24), (std::vector<uint8_t>{0, 0, 0}));
    }
}

TEST_F(Drawing, ThirtyTwoBitTargetKeepsItsFourthByte) {
    ASSERT_TRUE(createImage(kImage, 3, 1, 32, -1));
    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    fillBox(0, 0, 1, 1, kRed);    // single pixel
    fillBox(1, 0, 2, 1, kGreen);  // span
    drawLine(0, 0, 0, 0, kGreen);
    endDrawing();
    const uint8_t* row = imageRow(*imageBuffer(kImage), 0);
    EXPECT_EQ(std::vector<uint8_t>(row, row + 12),
              (std::vector<uint8_t>{0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0}));
}

TEST_F(Drawing, TopDownTargetsPutRowZeroFirstInMemory) {
    std::vector<uint8_t> buffer(2 * 8, 0);
    DrawTarget target;
    target.pixels = buffer.data();
    target.stride = 8;
    target.width = 2;
    target.height = 2;
    target.bottomUp = false;
    ASSERT_TRUE(beginDrawing(target));
    fillBox(1, 0, 1, 1, kRed);
    fillBox(0, 1, 2, 1, 0x010203);
    endDrawing();
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0xFF, 0, 0, 1, 2, 3, 1, 2, 3, 0, 0}));
}

TEST_F(Drawing, StraightLinesAreCutAtTheEdges) {
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        const char* painted;  // on a 600 x 16 target
    } cases[] = {
        {"grid row over the full width", 0, 8, 600, 8, "0,8..599,8 600"},
        {"grid column just past the right edge", 600, 0, 600, 16, "none"},
        {"grid column", 0, 0, 0, 16, "0,0..0,15 16"},
        {"end points either way round", 9, 3, 4, 3, "4,3..9,3 6"},
        {"single point", 5, 5, 5, 5, "5,5..5,5 1"},
        {"row above the target", 0, -1, 10, -1, "none"},
        {"row below the target", 0, 16, 10, 16, "none"},
        {"row starting left of the target", -10, 2, 3, 2, "0,2..3,2 4"},
        {"row wholly left of the target", -10, 2, -1, 2, "none"},
        {"column upwards from below", 7, 30, 7, 10, "7,10..7,15 6"},
        {"column left of the target", -1, 0, -1, 5, "none"},
        {"row across the whole int range", INT_MIN, 4, INT_MAX, 4, "0,4..599,4 600"},
        {"column across the whole int range", 3, INT_MAX, 3, INT_MIN, "3,0..3,15 16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(drawOnFreshImage(kImage, 600, 16));
        drawLine(c.x1, c.y1, c.x2, c.y2, kRed);
        endDrawing();
        EXPECT_EQ(paintedArea(kImage), c.painted);
    }
}

TEST_F(Drawing, SlopedLinesFollowBresenhamFromTheSmallerMajorEnd) {
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        std::string expected;
    } cases[] = {
        {"shallow", 0, 0, 5, 2, rows({"##....", "..##..", "....##", "......"})},
        {"shallow, drawn backwards", 5, 2, 0, 0, rows({"##....", "..##..", "....##", "......"})},
        {"shallow, rising", 0, 2, 5, 0, rows({"....##", "..##..", "##....", "......"})},
        {"half a step rounds up", 0, 0, 3, 1, rows({"##....", "..##..", "......", "......"})},
        {"half a step rounds up, drawn backwards", 3, 1, 0, 0,
         rows({"##....", "..##..", "......", "......"})},
        {"steep", 0, 0, 2, 3, rows({"#.....", ".#....", ".#....", "..#..."})},
        {"steep, leaning left", 2, 0, 0, 3, rows({"..#...", ".#....", ".#....", "#....."})},
        {"diagonal", 1, 0, 4, 3, rows({".#....", "..#...", "...#..", "....#."})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(drawOnFreshImage(kImage, 6, 4));
        drawLine(c.x1, c.y1, c.x2, c.y2, kRed);
        endDrawing();
        EXPECT_EQ(picture(kImage, kBlackAndRed), c.expected);
    }
}

TEST_F(Drawing, ClippedSlopedLinesShowTheirVisiblePartUnchanged) {
    // The same line drawn 40 pixels further right and down on a big target, then cut to
    // the small one, gives the pixels the clipped line must have.
    struct Case {
        int x1, y1, x2, y2;
    } cases[] = {
        {-10, -3, 15, 7}, {-7, 9, 12, -5}, {3, -20, 5, 25}, {-30, 1, 30, 2}, {6, 1, -9, 4}, {-2, -2, 3, 12},
    };
    constexpr int kShift = 40, kBig = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x1) + "," + std::to_string(c.y1) + " to " + std::to_string(c.x2) + "," +
                     std::to_string(c.y2));
        ASSERT_TRUE(drawOnFreshImage(kBig, 100, 100));
        drawLine(c.x1 + kShift, c.y1 + kShift, c.x2 + kShift, c.y2 + kShift, kRed);
        endDrawing();
        ASSERT_TRUE(copyImageRect(kBig, 3, kShift, kShift, 8, 6));
        ASSERT_TRUE(drawOnFreshImage(kImage, 8, 6));
        drawLine(c.x1, c.y1, c.x2, c.y2, kRed);
        endDrawing();
        EXPECT_EQ(picture(kImage, kBlackAndRed), picture(3, kBlackAndRed));
    }
}

TEST_F(Drawing, SlopedLinesAcrossTheWholeIntRange) {
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        std::string expected;
    } cases[] = {
        {"diagonal through the origin", INT_MIN, INT_MIN, INT_MAX, INT_MAX,
         rows({"#...", ".#..", "..#.", "...#"})},
        // Halfway along, at x = 0, the exact height is just over one half: rounds to row 1.
        {"one step over the whole width", INT_MIN, 0, INT_MAX, 1, rows({"....", "####", "....", "...."})},
        // Drawn from (1, INT_MIN): at y = 0 it has just passed half way, so it is at x = 0.
        {"one step over the whole height", 0, INT_MAX, 1, INT_MIN, rows({"#...", "#...", "#...", "#..."})},
        {"far outside", INT_MIN, INT_MIN, INT_MIN + 5, INT_MIN + 3, rows({"....", "....", "....", "...."})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(drawOnFreshImage(kImage, 4, 4));
        drawLine(c.x1, c.y1, c.x2, c.y2, kRed);
        endDrawing();
        EXPECT_EQ(picture(kImage, kBlackAndRed), c.expected);
    }
}

// A 3 x 2 source whose pixels are the letters a..f.
const std::map<int32_t, char> kSourceLegend = {{0, '.'},        {0x000001, 'a'}, {0x000002, 'b'},
                                               {0x000003, 'c'}, {0x000004, 'd'}, {0x000005, 'e'},
                                               {0x000006, 'f'}};

void makeLetterSource(int number) {
    ASSERT_TRUE(createImage(number, 3, 2));
    ASSERT_TRUE(beginDrawing(imageTarget(number)));
    for (int i = 0; i < 6; ++i) fillBox(i % 3, i / 3, 1, 1, i + 1);
    endDrawing();
}

TEST_F(Drawing, ImagesAreClippedOnAllFourSides) {
    struct Case {
        const char* name;
        int x, y;
        std::string expected;  // on a 5 x 3 target
    } cases[] = {
        {"top-left corner", 0, 0, rows({"abc..", "def..", "....."})},
        {"inside", 1, 1, rows({".....", ".abc.", ".def."})},
        {"cut at the left", -2, 0, rows({"c....", "f....", "....."})},
        {"cut at the top", 0, -1, rows({"def..", ".....", "....."})},
        {"cut at the right", 3, 0, rows({"...ab", "...de", "....."})},
        {"cut at the bottom", 2, 2, rows({".....", ".....", "..abc"})},
        {"cut on every side of a small target", -1, -1, rows({"ef...", ".....", "....."})},
        {"left of the target", -3, 0, rows({".....", ".....", "....."})},
        {"right of the target", 5, 0, rows({".....", ".....", "....."})},
        {"above the target", 0, -2, rows({".....", ".....", "....."})},
        {"below the target", 0, 3, rows({".....", ".....", "....."})},
        {"smallest position", INT_MIN, INT_MIN, rows({".....", ".....", "....."})},
        {"largest position", INT_MAX, INT_MAX, rows({".....", ".....", "....."})},
    };
    makeLetterSource(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(drawOnFreshImage(kImage, 5, 3));
        drawImage(imageHandle(2), c.x, c.y);
        endDrawing();
        EXPECT_EQ(picture(kImage, kSourceLegend), c.expected);
    }
}

TEST_F(Drawing, ImageDrawnOntoItselfReadsTheOriginalPixels) {
    makeLetterSource(kImage);
    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    drawImage(imageHandle(kImage), 1, 1);
    endDrawing();
    EXPECT_EQ(picture(kImage, kSourceLegend), rows({"abc", "dab"}));
}

TEST_F(Drawing, MissingOrFreedImagesDrawNothing) {
    makeLetterSource(2);
    ImageHandle freed = imageHandle(2);
    freeImage(2);
    ASSERT_TRUE(drawOnFreshImage(kImage, 3, 2));
    drawImage(nullptr, 0, 0);
    drawImage(imageHandle(7), 0, 0);
    drawImage(freed, 0, 0);
    endDrawing();
    EXPECT_EQ(paintedArea(kImage), "none");
}

TEST_F(Drawing, ThirtyTwoBitSourceIsLaidOverByItsAlpha) {
    ASSERT_TRUE(createImage(2, 3, 1, 32, -1));
    uint8_t* source = imageRow(*imageBuffer(2), 0);
    const uint8_t pixels[] = {0x00, 0x00, 0xFF, 255,   // opaque red
                              0x00, 0x00, 0xFF, 0,     // fully transparent
                              0x00, 0x00, 0xFF, 128};  // half red
    std::memcpy(source, pixels, sizeof pixels);
    ASSERT_TRUE(createImage(kImage, 3, 1, 24, kGreen));
    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    drawImage(imageHandle(2), 0, 0);
    endDrawing();
    EXPECT_EQ(pixelColour(kImage, 0, 0), kRed);
    EXPECT_EQ(pixelColour(kImage, 1, 0), kGreen);
    EXPECT_EQ(pixelColour(kImage, 2, 0), rgb(128, 127, 0));
}

int endCalls = 0;
int lastOwner = 0;
void countEnd(int owner) {
    ++endCalls;
    lastOwner = owner;
}

TEST_F(Drawing, ContextOpensOnceAndEndRunsTheTargetsHook) {
    ASSERT_TRUE(createImage(kImage, 4, 4));
    ASSERT_TRUE(createImage(2, 4, 4));
    DrawTarget target = imageTarget(kImage);
    target.onEnd = countEnd;
    target.owner = 42;
    endCalls = 0;

    ASSERT_TRUE(beginDrawing(target));
    EXPECT_EQ(drawingWidth(), 4);
    EXPECT_EQ(beginDrawing(imageTarget(2)), 0) << "a second context while one is open";
    fillBox(0, 0, 1, 1, kRed);
    endDrawing();
    EXPECT_EQ(endCalls, 1);
    EXPECT_EQ(lastOwner, 42);
    EXPECT_EQ(pixelColour(kImage, 0, 0), kRed) << "the first context stayed the open one";
    EXPECT_EQ(pixelColour(2, 0, 0), 0);

    endDrawing();
    fillBox(1, 1, 1, 1, kRed);
    drawLine(0, 3, 3, 3, kRed);
    EXPECT_EQ(endCalls, 1) << "ending without a context does nothing";
    EXPECT_EQ(drawingWidth(), 0);
    EXPECT_EQ(paintedArea(kImage), "0,0..0,0 1") << "drawing without a context does nothing";
}

TEST_F(Drawing, UnusableTargetsAreRefused) {
    std::vector<uint8_t> buffer(64);
    auto target = [&](int stride, int width, int height, int bytesPerPixel) {
        DrawTarget t;
        t.pixels = buffer.data();
        t.stride = stride, t.width = width, t.height = height, t.bytesPerPixel = bytesPerPixel;
        return t;
    };
    struct Case {
        const char* name;
        DrawTarget target;
    } cases[] = {
        {"no target", DrawTarget{}},
        {"free image", imageTarget(9)},
        {"zero width", target(12, 0, 2, 3)},
        {"negative height", target(12, 4, -2, 3)},
        {"two bytes per pixel", target(12, 4, 2, 2)},
        {"stride shorter than a row", target(11, 4, 2, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(beginDrawing(c.target), 0);
        EXPECT_EQ(drawingWidth(), 0);
    }
    EXPECT_NE(beginDrawing(target(12, 4, 2, 3)), 0);
}

TEST_F(Drawing, FreeingTheTargetClosesTheContext) {
    ASSERT_TRUE(drawOnFreshImage(kImage, 4, 4));
    freeImage(kImage);
    EXPECT_EQ(drawingWidth(), 0);
    fillBox(0, 0, 4, 4, kRed);  // must not touch the released buffer
    drawLine(0, 0, 3, 2, kRed);
    ASSERT_TRUE(drawOnFreshImage(kImage, 4, 4));
    ASSERT_TRUE(createImage(kImage, 2, 2));  // replacing the image releases the old buffer too
    EXPECT_EQ(drawingWidth(), 0);
}

}  // namespace
