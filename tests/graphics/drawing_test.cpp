#include "graphics/drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "tests/graphics/pixel_picture.h"

namespace {

constexpr int kImage = 1;
constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kGreen = 0x00FF00;
const std::map<int32_t, char> kLegend = {{0, '.'}, {kRed, '#'}, {1, 'a'}, {2, 'b'},
                                         {3, 'c'}, {4, 'd'},    {5, 'e'}, {6, 'f'}};

class Drawing : public ::testing::Test {
   protected:
    void TearDown() override {
        endDrawing();
        freeImage(-1);
    }
};

// Bounds and pixel count of everything not black: "x0,y0..x1,y1 n", or "none".
std::string paintedArea(int number) {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
    for (int y = 0; y < imageHandle(number)->height; ++y)
        for (int x = 0; x < imageHandle(number)->width; ++x)
            if (pixelColour(number, x, y) != 0)
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                bottom = std::max(bottom, y), ++count;
    if (count == 0) return "none";
    return std::to_string(left) + "," + std::to_string(top) + ".." + std::to_string(right) + "," +
           std::to_string(bottom) + " " + std::to_string(count);
}

TEST_F(Drawing, PixelBytesOfEveryKindOfTarget) {
    std::vector<uint8_t> buffer(2 * 12, 0xEE);
    ASSERT_TRUE(beginDrawing(DrawTarget{buffer.data(), 12, 3, 2, 3, false}));
    fillBox(1, 0, 1, 1, 0x123456);
    fillBox(0, 1, 3, 1, 0x010203);
    fillBox(0, 0, 1, 1, kRed);
    endDrawing();
    ASSERT_TRUE(createImage(kImage, 3, 2, 32, -1));
    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    fillBox(0, 0, 1, 1, kRed);
    fillBox(1, 0, 2, 2, kGreen);
    drawLine(0, 1, 0, 1, 0x123456);
    endDrawing();
    buffer.insert(buffer.end(), imageBuffer(kImage)->pixels,
                  imageBuffer(kImage)->pixels + 24);  // bottom row first
    EXPECT_EQ(buffer,
              (std::vector<uint8_t>{0,    0,    0xFF, 0x12, 0x34, 0x56, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                    1,    2,    3,    1,    2,    3,    1,    2,    3,    0xEE, 0xEE, 0xEE,
                                    0x12, 0x34, 0x56, 0,    0,    0xFF, 0,    0,    0,    0xFF, 0,    0,
                                    0,    0,    0xFF, 0,    0,    0xFF, 0,    0,    0,    0xFF, 0,    0}));

    ASSERT_TRUE(createImage(2, 3, 1, 32, -1));
    std::copy_n("\0\0\xFF\xFF\0\0\xFF\0\0\0\xFF\x80", 12, imageBuffer(2)->pixels);  // opaque, clear, half red
    ASSERT_TRUE(createImage(kImage, 3, 1, 24, kGreen));
    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    drawImage(imageHandle(2), 0, 0);
    endDrawing();
    EXPECT_EQ(picture(kImage, {{kRed, 'r'}, {kGreen, 'g'}, {rgb(128, 127, 0), 'h'}}), "rgh\n");

    // A 24-bit image onto a 32-bit target: its colours copied, the target's fourth bytes kept.
    ASSERT_TRUE(createImage(2, 2, 1, 24, kRed));
    ASSERT_TRUE(createImage(kImage, 3, 1, 32, -1));
    std::fill_n(imageBuffer(kImage)->pixels, 12, 0x77);
    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    drawImage(imageHandle(2), 1, 0);
    endDrawing();
    EXPECT_EQ(std::vector<uint8_t>(imageBuffer(kImage)->pixels, imageBuffer(kImage)->pixels + 12),
              (std::vector<uint8_t>{0x77, 0x77, 0x77, 0x77, 0, 0, 0xFF, 0x77, 0, 0, 0xFF, 0x77}));
}

// Expected: a painted area on a 20 x 10 target, else a 6 x 4 picture, rows apart by a space ("": blank).
TEST_F(Drawing, BoxesLinesAndImagesAreClippedAtEveryEdge) {
    struct Case {
        char kind;  // 'b': fillBox(x, y, w, h), 'l': drawLine(x, y, w, h), 'c': a column line at x from row y
                    // to row h, 'i': drawImage of "abc def"
        int x, y, w, h;
        std::string expected;
    };
    // clang-format off
    const Case cases[] = {
        {'b', 2, 3, 4, 2, "2,3..5,4 8"}, {'b', 7, 1, 1, 1, "7,1..7,1 1"}, {'b', 19, 9, 1, 1, "19,9..19,9 1"},
        {'b', 20, 0, 1, 1, "none"}, {'b', 0, 10, 1, 1, "none"}, {'b', -1, 0, 1, 1, "none"},
        {'b', 0, -1, 1, 1, "none"}, {'b', 18, 8, 2, 2, "18,8..19,9 4"}, {'b', 19, 9, 2, 2, "19,9..19,9 1"},
        {'b', 13, 0, 8, 1, "13,0..19,0 7"}, {'b', 0, 3, 1, 8, "0,3..0,9 7"},
        {'b', -5, -5, 10, 10, "0,0..4,4 25"}, {'b', 10, 10, -4, -4, "6,6..9,9 16"},
        {'b', -1, -1, 22, 12, "0,0..19,9 200"}, {'b', 20, 0, 5, 5, "none"}, {'b', -3, 0, 3, 1, "none"},
        {'b', 3, 3, 0, 4, "none"}, {'b', 2, 0, -5, 1, "0,0..1,0 2"},
        {'b', 0, 0, INT_MAX, INT_MAX, "0,0..19,9 200"}, {'b', INT_MIN, INT_MIN, INT_MAX, INT_MAX, "none"},
        {'b', INT_MAX, INT_MAX, INT_MIN, INT_MIN, "0,0..19,9 200"},
        {'b', 5, 5, INT_MIN, INT_MIN, "0,0..4,4 25"}, {'b', INT_MAX, INT_MAX, 1, 1, "none"},
        {'l', 0, 8, 20, 8, "0,8..19,8 20"}, {'l', 20, 0, 20, 10, "none"}, {'l', 0, 0, 0, 10, "0,0..0,9 10"},
        {'l', 9, 3, 4, 3, "4,3..9,3 6"}, {'l', 5, 5, 5, 5, "5,5..5,5 1"}, {'l', 0, -1, 10, -1, "none"},
        {'l', -10, 2, 3, 2, "0,2..3,2 4"}, {'l', -10, 2, -1, 2, "none"}, {'l', 7, 30, 7, 6, "7,6..7,9 4"},
        {'l', INT_MIN, 4, INT_MAX, 4, "0,4..19,4 20"}, {'l', 3, INT_MAX, 3, INT_MIN, "3,0..3,9 10"},
        {'l', 0, 0, 5, 2, "##.... ..##.. ....## ......"}, {'l', 5, 2, 0, 0, "##.... ..##.. ....## ......"},
        {'l', 0, 2, 5, 0, "....## ..##.. ##.... ......"}, {'l', 0, 0, 3, 1, "##.... ..##.. ...... ......"},
        {'l', 3, 1, 0, 0, "##.... ..##.. ...... ......"}, {'l', 0, 0, 2, 3, "#..... .#.... .#.... ..#..."},
        {'l', 2, 0, 0, 3, "..#... .#.... .#.... #....."}, {'l', 1, 0, 4, 3, ".#.... ..#... ...#.. ....#."},
        {'l', INT_MIN, INT_MIN, INT_MAX, INT_MAX, "#..... .#.... ..#... ...#.."},
        {'l', INT_MIN, 0, INT_MAX, 1, "...... ###### ...... ......"},
        {'l', 0, INT_MAX, 1, INT_MIN, "#..... #..... #..... #....."}, {'l', INT_MIN, INT_MIN, INT_MIN + 5, INT_MIN + 3, ""},
        {'c', 7, 30, 0, 6, "7,6..7,9 4"}, {'c', 3, INT_MAX, 0, INT_MIN, "3,0..3,9 10"}, {'c', 0, 2, 0, 2, "0,2..0,2 1"},
        {'c', 20, 0, 0, 9, "none"}, {'c', -1, 0, 0, 9, "none"}, {'c', 5, 10, 0, 12, "none"},
        {'i', 0, 0, 0, 0, "abc... def... ...... ......"}, {'i', 1, 1, 0, 0, "...... .abc.. .def.. ......"},
        {'i', -2, 0, 0, 0, "c..... f..... ...... ......"}, {'i', 0, -1, 0, 0, "def... ...... ...... ......"},
        {'i', 4, 0, 0, 0, "....ab ....de ...... ......"}, {'i', 2, 3, 0, 0, "...... ...... ...... ..abc."},
        {'i', -1, -1, 0, 0, "ef.... ...... ...... ......"}, {'i', -3, 0, 0, 0, ""}, {'i', 6, 0, 0, 0, ""},
        {'i', 0, -2, 0, 0, ""}, {'i', 0, 4, 0, 0, ""}, {'i', INT_MIN, INT_MIN, 0, 0, ""}, {'i', INT_MAX, INT_MAX, 0, 0, ""}
    };
    // clang-format on
    ASSERT_TRUE(drawOnFreshImage(2, 3, 2));
    for (int i = 0; i < 6; ++i) fillBox(i % 3, i / 3, 1, 1, i + 1);
    endDrawing();
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        const bool area = c.expected == "none" || c.expected.find(',') != std::string::npos;
        ASSERT_TRUE(drawOnFreshImage(kImage, area ? 20 : 6, area ? 10 : 4));
        if (c.kind == 'b') fillBox(c.x, c.y, c.w, c.h, kRed);
        if (c.kind == 'l') drawLine(c.x, c.y, c.w, c.h, kRed);
        const ColumnLine column{c.x, kRed};
        if (c.kind == 'c') drawColumnLines(&column, 1, c.y, c.h);
        if (c.kind == 'i') drawImage(imageHandle(2), c.x, c.y);
        endDrawing();
        std::string drawn = area ? paintedArea(kImage) : picture(kImage, kLegend);
        if (!area) std::replace(drawn.begin(), drawn.end(), '\n', ' ');
        EXPECT_EQ(drawn, area ? c.expected
                              : (c.expected.empty() ? "...... ...... ...... ......" : c.expected) + ' ');
    }
    ASSERT_TRUE(beginDrawing(imageTarget(2)));
    drawImage(imageHandle(2), 1, 1);  // onto itself: from the original pixels
    endDrawing();
    EXPECT_EQ(picture(2, kLegend), "abc\ndab\n");

    const ImageHandle freed = imageHandle(2);
    freeImage(2);
    ASSERT_TRUE(drawOnFreshImage(kImage, 3, 2));
    for (ImageHandle missing : {ImageHandle{nullptr}, imageHandle(7), freed}) drawImage(missing, 0, 0);
    endDrawing();
    EXPECT_EQ(paintedArea(kImage), "none");
}

// Pixels made of their place, so that each byte tells where it came from.
void fillWithPlaces(int number, int seed) {
    ImageBuffer* image = imageBuffer(number);
    for (int64_t i = 0; i < int64_t{image->stride} * image->height; ++i)
        image->pixels[i] = static_cast<uint8_t>(i * 7 + seed);
}

// One pass of the image with the lines over it equals drawImage, then drawColumnLines over the
// rows the image covers: placed inside and across every edge, onto itself, between 24- and 32-bit
// images, with lines on, beside and off the image and two in one column (the later shows).
TEST_F(Drawing, ImageUnderColumnLinesEqualsTheImageThenTheLines) {
    struct Case {
        int x, y, sourceDepth, targetDepth;
        bool ontoItself;
    };
    const Case cases[] = {{0, 0, 24, 24, false},  {3, 2, 24, 24, false},   {-4, -3, 24, 24, false},
                          {15, 7, 24, 24, false}, {-30, 0, 24, 24, false}, {0, 40, 24, 24, false},
                          {0, 0, 32, 24, false},  {2, 1, 24, 32, false},   {5, -2, 32, 32, false},
                          {1, 1, 24, 24, true},   {-2, 3, 24, 24, true}};
    const ColumnLine lines[] = {{-1, kRed},  {0, kGreen}, {4, kRed},  {4, rgb(1, 2, 3)},
                                {7, kGreen}, {12, kRed},  {19, kRed}, {20, kGreen}};
    constexpr int kWidth = 20, kHeight = 10, kSource = 2, kFused = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        for (const int target : {kImage, kFused}) {
            ASSERT_TRUE(createImage(target, kWidth, kHeight, c.targetDepth, 0));
            fillWithPlaces(target, 1);
        }
        if (!c.ontoItself) {
            ASSERT_TRUE(createImage(kSource, 9, 5, c.sourceDepth, 0));
            fillWithPlaces(kSource, 100);
        }
        const int imageHeight = c.ontoItself ? kHeight : 5, imageWidth = c.ontoItself ? kWidth : 9;
        ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
        drawImage(imageHandle(c.ontoItself ? kImage : kSource), c.x, c.y);
        const int top = std::max(c.y, 0), bottom = std::min(c.y + imageHeight, kHeight) - 1;
        if (top <= bottom && c.x < kWidth && c.x + imageWidth > 0)
            drawColumnLines(lines, std::size(lines), top, bottom);
        endDrawing();
        ASSERT_TRUE(beginDrawing(imageTarget(kFused)));
        drawImageUnderColumnLines(imageHandle(c.ontoItself ? kFused : kSource), c.x, c.y, lines,
                                  std::size(lines));
        endDrawing();
        const ImageBuffer &expected = *imageHandle(kImage), &fused = *imageHandle(kFused);
        EXPECT_TRUE(std::equal(fused.pixels, fused.pixels + fused.stride * kHeight, expected.pixels));
    }
}

int endCalls = 0;  // owner * 100 + calls

TEST_F(Drawing, TheContextOpensOnceOnAUsableTargetAndEndRunsItsHook) {
    std::vector<uint8_t> buffer(64);
    auto target = [&](int stride, int width, int height, int bytesPerPixel) {
        return DrawTarget{buffer.data(), stride, width, height, bytesPerPixel};
    };
    for (const DrawTarget& unusable : {DrawTarget{}, imageTarget(9), target(12, 0, 2, 3),
                                       target(12, 4, -2, 3), target(12, 4, 2, 2), target(11, 4, 2, 3)}) {
        EXPECT_EQ(beginDrawing(unusable), 0);
        EXPECT_EQ(drawingWidth(), 0);
    }
    ASSERT_TRUE(createImage(kImage, 4, 4));
    ASSERT_TRUE(createImage(2, 4, 4));
    DrawTarget hooked = imageTarget(kImage);
    hooked.onEnd = [](int owner) { endCalls += owner * 100 + 1; }, hooked.owner = 42;
    ASSERT_TRUE(beginDrawing(hooked));
    EXPECT_EQ(drawingWidth() * 100 + drawingHeight(), 404);
    EXPECT_EQ(beginDrawing(imageTarget(2)), 0) << "a second context while one is open";
    fillBox(0, 0, 1, 1, kRed);
    endDrawing();
    EXPECT_EQ(endCalls, 4201);
    EXPECT_EQ(pixelColour(2, 0, 0), 0) << "the first context stayed the open one";
    endDrawing();
    fillBox(1, 1, 1, 1, kRed);
    drawLine(0, 3, 3, 3, kRed);
    EXPECT_EQ(endCalls, 4201) << "ending without a context does nothing";
    EXPECT_EQ(paintedArea(kImage), "0,0..0,0 1") << "drawing without a context does nothing";

    ASSERT_TRUE(beginDrawing(imageTarget(kImage)));
    freeImage(kImage);
    EXPECT_EQ(drawingWidth(), 0) << "freeing the target closes the context";
    fillBox(0, 0, 4, 4, kRed);  // must not touch the released buffer
    drawLine(0, 0, 3, 2, kRed);
    ASSERT_TRUE(drawOnFreshImage(kImage, 4, 4));
    ASSERT_TRUE(createImage(kImage, 2, 2));  // replacing the image releases the old buffer too
    EXPECT_EQ(drawingWidth(), 0);
    EXPECT_NE(beginDrawing(target(12, 4, 2, 3)), 0);
}

}  // namespace
