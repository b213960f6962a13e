// Hostile targets and failing disks for every writer are in tests/support/writers_test.cpp.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/bmp_writer.h"
#include "graphics/image_save.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "tests/graphics/png_pixels.h"
#include "tests/support/temp_folder.h"

namespace {

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes)
        text += std::string(text.empty() ? "" : " ") + "0123456789ABCDEF"[byte >> 4] +
                "0123456789ABCDEF"[byte & 15];
    return text;
}

class ImageFiles : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { registerPngEncoder(); }
    void TearDown() override { freeImage(-1); }
    TempFolder folder;
};

// Source padding is 0xEE so that copying it into the file would show.
TEST_F(ImageFiles, BmpHeadersAndPixelRowsFromEveryKindOfSource) {
    ASSERT_TRUE(createImage(0, 600, 512));
    ASSERT_TRUE(saveImage(0, folder.file("view.bmp")));
    const std::string file = readWholeFile(folder.file("view.bmp"));
    ASSERT_EQ(file.size(), 54u + 1800u * 512u);
    EXPECT_EQ(hex(file.substr(0, 54)),
              "42 4D 36 10 0E 00 00 00 00 00 36 00 00 00 "                     // BM, 921654, 0, 54
              "28 00 00 00 58 02 00 00 00 02 00 00 01 00 18 00 00 00 00 00 "   // 40, 600, 512, 1, 24, 0
              "00 10 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");  // 921600, zeros
    const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE};
    const std::vector<uint8_t> rgba = {0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0,
                                       0,    0,    0,    128, 0xFF, 0,    0,    1};
    struct Case {
        int stride, sourceDepth, flags, outputDepth;
        std::vector<uint8_t> memory;
        const char* pixelRows;  // the file after the headers
    };
    // clang-format off
    const Case cases[] = {
        {8, 24, 2, 24, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}, "01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00"},
        {10, 24, 2, 24, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE, 0xEE, 0xEE},
         "01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00"},
        {8, 24, 0, 24, rgb, "07 08 09 0A 0B 0C 00 00 01 02 03 04 05 06 00 00"},
        {8, 24, 2, 32, rgb, "01 02 03 00 04 05 06 00 07 08 09 00 0A 0B 0C 00"},
        {8, 32, 2, 24, rgba, "10 20 30 FF FF FF 00 00 7F 7F 7F FF FE FE 00 00"},
        {8, 32, 2, 32, rgba, "10 20 30 00 FF FF FF 00 7F 7F 7F 00 FF FE FE 00"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        ASSERT_EQ(writeBmp(folder.file("rows.bmp"), c.memory.data(), c.stride, 2, 2, c.sourceDepth, c.flags,
                           7, c.outputDepth),
                  1);
        const std::string file = readWholeFile(folder.file("rows.bmp"));
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(hex(file.substr(54)), c.pixelRows);
        EXPECT_EQ(hex(file.substr(0, 2) + file.substr(26, 4)),
                  c.outputDepth == 24 ? "42 4D 01 00 18 00" : "42 4D 01 00 20 00");
        EXPECT_EQ(size_t(uint8_t(file[2])), file.size());
    }
}

TEST_F(ImageFiles, PicturesThatNoFileCanHoldAreRefusedBeforeTheFileIsTouched) {
    const std::string existing = folder.file("existing");
    writeWholeFile(existing, "old contents");
    const std::vector<uint8_t> pixels(64, 0x55);
    const uint8_t* p = pixels.data();
    struct Case {
        bool png;
        const uint8_t* pixels;
        int stride, width, height, depth, out;  // out: the output depth of a BMP, the colour type of a PNG
    };
    // clang-format off
    const Case cases[] = {
        {false, p, 8, 2, 2, 24, 8}, {false, p, 8, 2, 2, 24, 16}, {false, p, 8, 2, 2, 24, 0},
        {false, p, 8, 2, 2, 16, 24}, {false, p, 8, 0, 2, 24, 24}, {false, p, 8, 2, -2, 24, 24},
        {false, p, 5, 2, 2, 24, 24}, {false, nullptr, 8, 2, 2, 24, 24}, {false, p, 120000, 40000, 40000, 24, 24},
        {true, p, 8, 0, 2, 24, 2}, {true, p, 8, 2, 0, 24, 2}, {true, p, 8, 2, 2, 24, 3}, {true, p, 7, 2, 2, 24, 6},
        {true, nullptr, 8, 2, 2, 24, 2}, {true, p, 6000000, 2000000, 1, 24, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        EXPECT_EQ(c.png ? writePng(existing, c.pixels, c.width, c.height, c.stride, 2, 7, 24, c.out)
                        : writeBmp(existing, c.pixels, c.stride, c.width, c.height, c.depth, 2, 7, c.out),
                  0);
        EXPECT_EQ(readWholeFile(existing), "old contents");
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"existing"}));
    }
}

TEST_F(ImageFiles, PngBytesOfTinyPicturesAndAnEncoderWithout32BitsGetsThemOverWhite) {
    ASSERT_TRUE(createImage(0, 2, 2, 24, 0));
    const std::string rgb = "\1\2\3\4\5\6\xEE\xEE\7\x08\x09\x0A\x0B\x0C\xEE\xEE";  // bottom row first
    std::copy(rgb.begin(), rgb.end(), imageBuffer(0)->pixels);
    ASSERT_TRUE(createImage(1, 1, 1, 32, -1));
    std::copy_n("\x10\x20\x30\x80", 4, imageBuffer(1)->pixels);
    const char* const files[] = {
        "89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52 00 00 00 02 00 00 00 02 08 02 00 00 00 FD D4 9A 73 "
        "00 00 00 16 49 44 41 54 08 D7 63 E0 E4 60 E7 E1 E6 62 60 66 62 64 63 65 01 00 02 9B 00 4F 26 B0 43 "
        "AD "
        "00 00 00 00 49 45 4E 44 AE 42 60 82",
        "89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52 00 00 00 01 00 00 00 01 08 06 00 00 00 1F 15 C4 89 "
        "00 00 00 0D 49 44 41 54 08 D7 63 30 50 10 68 00 00 01 C5 00 E1 DF 70 A0 0A "
        "00 00 00 00 49 45 4E 44 AE 42 60 82"};
    for (int number : {0, 1}) {
        ASSERT_EQ(saveImage(number, folder.file("tiny.png"), "PNG"), 1);
        EXPECT_EQ(hex(readWholeFile(folder.file("tiny.png"))), files[number]) << number;
    }
    registerEncoder(
        0x324E45,  // "EN2"
        [](const std::string& name, const uint8_t* pixels, int width, int height, int stride, int flags,
           int options,
           int depth) { return writePng(name, pixels, width, height, stride, flags, options, depth, 2); },
        nullptr);
    ASSERT_TRUE(createImage(1, 3, 2, 32, -1));
    ASSERT_TRUE(createImage(2, 3, 2, 24, 0));
    std::copy_n("\x10\x20\x30\xFF\x10\x20\x30\0\0\0\0\x80\xFF\xFF\xFF\x01\0\0\0\xFF\0\0\0\x01", 24,
                imageBuffer(1)->pixels);
    std::copy_n("\x10\x20\x30\xFF\xFF\xFF\x7F\x7F\x7F\0\0\0\xFF\xFF\xFF\0\0\0\xFE\xFE\xFE", 21,
                imageBuffer(2)->pixels);
    ASSERT_EQ(saveImage(1, folder.file("over.png"), "EN2"), 1);
    ASSERT_EQ(saveImage(2, folder.file("24.png"), "PNG"), 1);
    EXPECT_EQ(hex(readWholeFile(folder.file("over.png"))), hex(readWholeFile(folder.file("24.png"))));
    const std::pair<int, const char*> refusals[] = {{1, "EN9"}, {3, "EN2"}, {1, "EN"}, {1, "EN2x"}};
    for (const auto& [number, encoder] : refusals)
        EXPECT_EQ(saveImage(number, folder.file("no.png"), encoder), 0) << number << " " << encoder;
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"24.png", "over.png", "tiny.png"}));
}

// Palette PNGs read back through libpng: the values and the PLTE as written, in the smallest depth.
TEST_F(ImageFiles, IndexedPngKeepsTheColourNumbersAtTheSmallestDepth) {
    struct Case {
        int bits, width, height, depth;
    };
    // Widths that end a row inside a byte at every depth.
    const Case cases[] = {{1, 13, 3, 1}, {2, 7, 2, 2}, {3, 5, 4, 4},
                          {4, 3, 3, 4},  {5, 9, 2, 8}, {8, 17, 5, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE("bits " + std::to_string(c.bits));
        IndexedPicture picture{c.width, c.height, c.bits, {}, {}};
        const int count = 1 << c.bits;
        for (int v = 0; v < count; ++v) picture.colours.push_back((v * 0x010305 + (v & 1) * 0xA00000) & 0xFFFFFF);
        for (int k = 0; k < c.width * c.height; ++k)
            picture.values.push_back(static_cast<uint8_t>((k * 7 + k / 3) % count));
        ASSERT_EQ(writeIndexedPng(folder.file("i.png"), picture), 1);
        const PngPixels read = readPngPixels(readWholeFile(folder.file("i.png")));
        ASSERT_TRUE(read.ok);
        EXPECT_EQ(read.colourType, PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(read.bitDepth, c.depth);
        EXPECT_EQ(std::make_pair(read.width, read.height), std::make_pair(c.width, c.height));
        EXPECT_EQ(read.values, picture.values);
        EXPECT_EQ(read.palette, picture.colours);
    }
    // Values past the colours, too many colours, no colours, a wrong count of values, bits out of range.
    const IndexedPicture good{2, 1, 2, {0, 2}, {1, 2, 3}};
    IndexedPicture bad[5] = {good, good, good, good, good};
    bad[0].values[1] = 3;
    bad[1].colours.assign(5, 0);
    bad[2].colours.clear();
    bad[3].values.push_back(0);
    bad[4].bits = 9;
    writeWholeFile(folder.file("i.png"), "old");
    for (const IndexedPicture& picture : bad) {
        EXPECT_EQ(writeIndexedPng(folder.file("i.png"), picture), 0) << &picture - bad;
        EXPECT_EQ(readWholeFile(folder.file("i.png")), "old");
    }
}

}  // namespace
