// The BMP and PNG writers and the choice of writer by saveImage. How every writer meets
// hostile targets and failing disks is in tests/support/writers_test.cpp.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <tuple>
#include <vector>

#include "graphics/bmp_writer.h"
#include "graphics/drawing.h"
#include "graphics/image_save.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "tests/support/temp_folder.h"

namespace {

std::string hex(const std::string& bytes) {
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

class ImageFiles : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { registerPngEncoder(); }
    void TearDown() override { freeImage(-1); }
    TempFolder folder;
};

TEST_F(ImageFiles, BmpHeadersAndPaddedRowsBottomRowFirst) {
    ASSERT_TRUE(createImage(0, 600, 512));
    ASSERT_TRUE(saveImage(0, folder.file("view.bmp")));
    const std::string file = readWholeFile(folder.file("view.bmp"));
    ASSERT_EQ(file.size(), 54u + 1800u * 512u);
    EXPECT_EQ(hex(file.substr(0, 54)),
              "42 4D 36 10 0E 00 00 00 00 00 36 00 00 00 "                     // BM, 921654, 0, 54
              "28 00 00 00 58 02 00 00 00 02 00 00 01 00 18 00 00 00 00 00 "   // 40, 600, 512, 1, 24, 0
              "00 10 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");  // 921600, zeros

    ASSERT_TRUE(createImage(0, 1, 2));
    // clang-format off
    const uint8_t memory[] = {
        0xFF, 0, 0, 0, 0, 0, 0xFF, 0
    };  // bottom row blue, top row red
    // clang-format on
    std::copy(std::begin(memory), std::end(memory), imageBuffer(0)->pixels);
    ASSERT_TRUE(saveImage(0, folder.file("thin.bmp"), "BMP"));
    EXPECT_EQ(hex(readWholeFile(folder.file("thin.bmp"))),
              "42 4D 3E 00 00 00 00 00 00 00 36 00 00 00 "
              "28 00 00 00 01 00 00 00 02 00 00 00 01 00 18 00 00 00 00 00 "
              "08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
              "FF 00 00 00 00 00 FF 00");
}

TEST_F(ImageFiles, BmpPixelRowsFromEveryKindOfSource) {
    // Two pixels by two rows, memory rows in memory order; source padding is 0xEE so that
    // copying it into the file would show.
    struct Case {
        const char* name;
        int stride, sourceDepth, flags, outputDepth;
        std::vector<uint8_t> memory;
        std::string pixelRows;  // file bytes after the headers
        // clang-format off
    // clang-format off
    } cases[] = {
        {"24-bit, rows as the file wants them", 8, 24, 2, 24, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}, "01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00"},
        {"24-bit, wider stride", 10, 24, 2, 24, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE, 0xEE, 0xEE}, "01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00"},
        {"24-bit, top-down memory", 8, 24, 0, 24, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE}, "07 08 09 0A 0B 0C 00 00 01 02 03 04 05 06 00 00"},
        {"24-bit to 32-bit", 8, 24, 2, 32, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE}, "01 02 03 00 04 05 06 00 07 08 09 00 0A 0B 0C 00"},
        {"32-bit laid over white", 8, 32, 2, 24, {0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0, 0, 0, 0, 128, 0xFF, 0, 0, 1}, "10 20 30 FF FF FF 00 00 7F 7F 7F FF FE FE 00 00"},
        {"32-bit to 32-bit has a zero fourth byte", 8, 32, 2, 32, {0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0, 0, 0, 0, 128, 0xFF, 0, 0, 1}, "10 20 30 00 FF FF FF 00 7F 7F 7F 00 FF FE FE 00"}
    };
    // clang-format on
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = folder.file("rows.bmp");
        ASSERT_EQ(writeBmp(name, c.memory.data(), c.stride, 2, 2, c.sourceDepth, c.flags, 7, c.outputDepth),
                  1);
        const std::string file = readWholeFile(name);
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(hex(file.substr(54)), c.pixelRows);
        EXPECT_EQ(static_cast<uint8_t>(file[28]), c.outputDepth);
        EXPECT_EQ(static_cast<size_t>(static_cast<uint8_t>(file[2])), 54 + c.pixelRows.size() / 3 + 1);
    }
}

TEST_F(ImageFiles, PicturesThatNoFileCanHoldAreRefusedBeforeTheFileIsTouched) {
    const std::string existing = folder.file("existing");
    writeWholeFile(existing, "old contents");
    const std::vector<uint8_t> pixels(64, 0x55);
    const uint8_t* p = pixels.data();
    // out: the output depth of a BMP, the colour type of a PNG.
    // clang-format off
    // clang-format off
    const struct { const char* name; bool png; const uint8_t* pixels; int stride, width, height, depth, out; } cases[] = {
        {"BMP output depth 8", false, p, 8, 2, 2, 24, 8}, {"BMP output depth 16", false, p, 8, 2, 2, 24, 16},
        {"BMP output depth 0", false, p, 8, 2, 2, 24, 0}, {"BMP source depth 16", false, p, 8, 2, 2, 16, 24},
        {"BMP zero width", false, p, 8, 0, 2, 24, 24}, {"BMP negative height", false, p, 8, 2, -2, 24, 24},
        {"BMP short stride", false, p, 5, 2, 2, 24, 24}, {"BMP no pixels", false, nullptr, 8, 2, 2, 24, 24},
        {"BMP over 4 GiB", false, p, 120000, 40000, 40000, 24, 24},
        {"PNG zero width", true, p, 8, 0, 2, 24, 2}, {"PNG zero height", true, p, 8, 2, 0, 24, 2},
        {"PNG palette colour type", true, p, 8, 2, 2, 24, 3}, {"PNG short stride", true, p, 7, 2, 2, 24, 6},
        {"PNG no pixels", true, nullptr, 8, 2, 2, 24, 2},
        {"PNG wider than libpng allows", true, p, 6000000, 2000000, 1, 24, 2}
    };
    // clang-format on
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.png ? writePng(existing, c.pixels, c.width, c.height, c.stride, 2, 7, 24, c.out)
                        : writeBmp(existing, c.pixels, c.stride, c.width, c.height, c.depth, 2, 7, c.out),
                  0);
        EXPECT_EQ(readWholeFile(existing), "old contents");
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"existing"}));
    }
}

// Red, green, blue (and alpha) bytes of the image, top row first, as a PNG file holds them.
std::vector<uint8_t> topDownRgb(int number) {
    const ImageBuffer* image = imageBuffer(number);
    std::vector<uint8_t> bytes;
    for (int y = 0; y < image->height; ++y)
        for (const uint8_t* pixel = imageRow(*image, y);
             pixel < imageRow(*image, y) + image->width * image->depth / 8; pixel += image->depth / 8) {
            bytes.insert(bytes.end(), {pixel[2], pixel[1], pixel[0]});
            if (image->depth == 32) bytes.push_back(pixel[3]);
        }
    return bytes;
}

uint32_t bigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// The file read by libpng, and its chunks and rows read by hand: only a header, data of at
// most 8192 bytes a chunk and the end, every CRC right, zlib's highest levels, no filter.
TEST_F(ImageFiles, PngFilesHoldThePixelsTopRowFirstUnfiltered) {
    struct Case {
        const char* name;
        int width, height, depth;
        std::string header;  // the IHDR chunk's data after the size
        // clang-format off
    } cases[] = {
        {"the viewer's picture", 600, 512, 24, "08 02 00 00 00"},
        {"odd width with row padding", 37, 23, 24, "08 02 00 00 00"},
        {"one pixel", 1, 1, 24, "08 02 00 00 00"}, {"32-bit keeps its alpha", 50, 40, 32, "08 06 00 00 00"}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(createImage(0, c.width, c.height, c.depth, 0x203040));
        ImageBuffer* image = imageBuffer(0);
        for (int64_t i = 0; i < int64_t{image->stride} * image->height; ++i)
            image->pixels[i] = static_cast<uint8_t>(i * 7 + i / 251);
        const std::vector<uint8_t> expected = topDownRgb(0);
        for (int y = 0; y < c.height; ++y)
            for (int pad = c.width * c.depth / 8; pad < image->stride; ++pad) imageRow(*image, y)[pad] = 0xEE;
        const std::string name = folder.file("pattern.png");
        ASSERT_EQ(saveImage(0, name, kEncoderPng), 1);

        png_image decoded{};
        decoded.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&decoded, name.c_str()));
        decoded.format = c.depth == 32 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(decoded));
        ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, pixels.data(), 0, nullptr));
        EXPECT_EQ(decoded.width * 10000 + decoded.height, uint32_t(c.width * 10000 + c.height));
        EXPECT_TRUE(pixels == expected);

        const std::string file = readWholeFile(name);
        ASSERT_EQ(file.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
        std::string types, compressed;
        for (size_t at = 8; at < file.size();) {
            ASSERT_GE(file.size() - at, 12u);
            const uint32_t length = bigEndian(file, at);
            ASSERT_GE(file.size() - at - 12, length);
            const std::string chunk = file.substr(at + 4, 4 + length);
            EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size())),
                      bigEndian(file, at + 8 + length));
            types += types.empty() || chunk.compare(0, 4, types.substr(types.size() - 4)) != 0
                         ? chunk.substr(0, 4)
                         : "";
            if (chunk.compare(0, 4, "IHDR") == 0) {
                EXPECT_EQ(bigEndian(chunk, 4) * 10000 + bigEndian(chunk, 8),
                          uint32_t(c.width * 10000 + c.height));
                EXPECT_EQ(hex(chunk.substr(12)), c.header)
                    << "depth, colour type, compression, filter, interlace";
            }
            if (chunk.compare(0, 4, "IDAT") == 0) {
                EXPECT_LE(length, 8192u);
                compressed += chunk.substr(4);
            }
            at += 12 + length;
        }
        EXPECT_EQ(types, "IHDRIDATIEND");
        ASSERT_GE(compressed.size(), 2u);
        EXPECT_EQ(compressed[0] & 0x0F, 8);
        EXPECT_EQ(static_cast<uint8_t>(compressed[1]) >> 6, 3);
        const size_t rowBytes = 1 + size_t(c.width) * (c.depth / 8);
        std::vector<uint8_t> rows(rowBytes * c.height + 1), unfiltered;
        uLongf inflated = rows.size();
        ASSERT_EQ(uncompress(rows.data(), &inflated, reinterpret_cast<const Bytef*>(compressed.data()),
                             compressed.size()),
                  Z_OK);
        ASSERT_EQ(inflated, rowBytes * c.height);
        for (int y = 0; y < c.height; ++y) {
            EXPECT_EQ(rows[y * rowBytes], 0) << "filter byte of row " << y;
            unfiltered.insert(unfiltered.end(), rows.begin() + y * rowBytes + 1,
                              rows.begin() + (y + 1) * rowBytes);
        }
        EXPECT_TRUE(unfiltered == expected);
    }
}

// What an encoder of the test's own was handed.
struct Call {
    int entry;  // 24 or 32: which entry ran
    std::string fileName;
    const uint8_t* pixels;
    std::vector<uint8_t> bytes;  // stride x height bytes from pixels, read during the call
    int width, height, stride, flags, options, outputDepth;
};
std::vector<Call> calls;

template <int entry>
int record(const std::string& name, const uint8_t* pixels, int width, int height, int stride, int flags,
           int options, int outputDepth) {
    calls.push_back(Call{entry, name, pixels, std::vector<uint8_t>(pixels, pixels + size_t(stride) * height),
                         width, height, stride, flags, options, outputDepth});
    return 5;
}
int refuse(const std::string&, const uint8_t*, int, int, int, int, int, int) {
    return 0;
}

TEST_F(ImageFiles, SaveImageHandsTheImageToTheEncoderOfItsLetters) {
    registerEncoder(0x314E45, record<24>, record<32>);  // "EN1": 24- and 32-bit entries
    registerEncoder(0x324E45, record<24>, nullptr);     // "EN2": no 32-bit entry
    registerEncoder(0x324E45, refuse, refuse);          // registered twice: the first one counts
    ASSERT_TRUE(createImage(1, 5, 3, 24, 0x0000FF));
    ASSERT_TRUE(createImage(2, 3, 2, 32, -1));
    // clang-format off
    const uint8_t pixels[] = {
        0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0, 0, 0, 0, 128,
        // bottom row
        0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 255, 0, 0, 0, 1
    };  // top row
    // clang-format on
    std::copy(std::begin(pixels), std::end(pixels), imageBuffer(2)->pixels);
    EXPECT_EQ(saveImage(1, "out.x", "EN1"), 5) << "the encoder's result is returned";
    EXPECT_EQ(saveImage(2, "out.x", 0x314E45), 5);
    EXPECT_EQ(saveImage(2, "out.x", "EN2"), 5);
    // clang-format off
    const std::tuple<int, const char*, const char*> refusals[] = {
        {1, "out.x", "EN9"}, {1, "", "EN1"}, {3, "out.x", "EN1"}, {1, "out.x", "EN"}, {1, "out.x", "EN1x"}
    };
    // clang-format on
    for (const auto& [number, name, encoder] : refusals)
        EXPECT_EQ(saveImage(number, name, encoder), 0) << number << " " << name << " " << encoder;
    ASSERT_EQ(calls.size(), 3u);
    const Call& c24 = calls[0];
    EXPECT_EQ(std::vector<int>(
                  {c24.entry, c24.width, c24.height, c24.stride, c24.flags, c24.options, c24.outputDepth}),
              std::vector<int>({24, 5, 3, 16, 2, 7, 24}));
    EXPECT_EQ(c24.fileName, "out.x");
    EXPECT_EQ(c24.pixels, imageHandle(1)->pixels);
    const Call& c32 = calls[1];
    EXPECT_EQ(std::vector<int>({c32.entry, c32.stride, c32.outputDepth}), std::vector<int>({32, 12, 32}));
    EXPECT_EQ(c32.pixels, imageHandle(2)->pixels);
    // Laid over white for an encoder without a 32-bit entry: (alpha * (c - 255) + 65025) / 255.
    const Call& white = calls[2];
    EXPECT_EQ(std::vector<int>({white.entry, white.stride, white.flags}), std::vector<int>({24, 12, 2}));
    EXPECT_EQ(white.bytes, (std::vector<uint8_t>{0x10, 0x20, 0x30, 255, 255, 255, 127, 127, 127, 0, 0, 0,
                                                 255,  255,  255,  0,   0,   0,   254, 254, 254, 0, 0, 0}));

    ASSERT_TRUE(saveImage(1, folder.file("default.bmp")));
    ASSERT_TRUE(saveImage(1, folder.file("picture.png"), "PNG"));
    EXPECT_EQ(readWholeFile(folder.file("default.bmp")).substr(0, 2), "BM");
    EXPECT_EQ(readWholeFile(folder.file("picture.png")).substr(1, 3), "PNG");
    EXPECT_EQ(calls.size(), 3u);
}

}  // namespace
