#include "graphics/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <vector>

#include "graphics/drawing.h"
#include "graphics/image_save.h"
#include "graphics/images.h"
#include "support/io_seam.h"
#include "tests/support/temp_folder.h"

namespace {

class PngWriter : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { registerPngEncoder(); }
    void TearDown() override {
        setWriteFailureAfter(-1);
        freeImage(-1);
    }
    TempFolder folder;
};

// A picture whose every pixel differs from its neighbours; the row padding is filled with
// 0xEE, which must never reach the file.
void makePattern(int number, int width, int height) {
    ASSERT_TRUE(createImage(number, width, height));
    ASSERT_TRUE(beginDrawing(imageTarget(number)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) fillBox(x, y, 1, 1, rgb(x & 255, y & 255, (x * 7 + y * 3) & 255));
    endDrawing();
    ImageBuffer* image = imageBuffer(number);
    for (int y = 0; y < height; ++y)
        for (int pad = width * 3; pad < image->stride; ++pad) imageRow(*image, y)[pad] = 0xEE;
}

// Red, green, blue (and alpha) bytes of the image, top row first, as the file should hold them.
std::vector<uint8_t> topDownRgb(int number) {
    const ImageBuffer* image = imageBuffer(number);
    const int channels = image->depth / 8;
    std::vector<uint8_t> bytes;
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = imageRow(*image, y);
        for (int x = 0; x < image->width; ++x) {
            const uint8_t* pixel = row + x * channels;
            bytes.insert(bytes.end(), {pixel[2], pixel[1], pixel[0]});
            if (channels == 4) bytes.push_back(pixel[3]);
        }
    }
    return bytes;
}

struct Decoded {
    bool ok = false;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // top row first
};

Decoded decodeWithLibpng(const std::string& name, uint32_t format) {
    Decoded decoded;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, name.c_str())) return decoded;
    image.format = format;
    decoded.pixels.resize(PNG_IMAGE_SIZE(image));
    decoded.ok = png_image_finish_read(&image, nullptr, decoded.pixels.data(), 0, nullptr) != 0;
    decoded.width = image.width;
    decoded.height = image.height;
    png_image_free(&image);
    return decoded;
}

uint32_t bigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

struct Chunk {
    std::string type;
    std::string data;
    bool crcOk;
};

// The chunks after the signature; an empty list when the signature or the framing is wrong.
std::vector<Chunk> chunksOf(const std::string& file) {
    std::vector<Chunk> chunks;
    if (file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {};
    size_t at = 8;
    while (at < file.size()) {
        if (file.size() - at < 12) return {};
        const uint32_t length = bigEndian(file, at);
        if (file.size() - at - 12 < length) return {};
        const std::string typeAndData = file.substr(at + 4, 4 + length);
        const uint32_t crc = static_cast<uint32_t>(crc32(
            0, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size())));
        chunks.push_back(
            {typeAndData.substr(0, 4), typeAndData.substr(4), crc == bigEndian(file, at + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

TEST_F(PngWriter, DecodesToTheSamePixelsTopRowFirst) {
    struct Case {
        const char* name;
        int width, height;
    } cases[] = {
        {"the viewer's picture", 600, 512}, {"odd width with row padding", 37, 23}, {"one pixel", 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makePattern(0, c.width, c.height);
        const std::string name = folder.file("pattern.png");
        ASSERT_EQ(saveImage(0, name, "PNG"), 1);
        Decoded decoded = decodeWithLibpng(name, PNG_FORMAT_RGB);
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.width, static_cast<uint32_t>(c.width));
        EXPECT_EQ(decoded.height, static_cast<uint32_t>(c.height));
        EXPECT_TRUE(decoded.pixels == topDownRgb(0));
    }
}

TEST_F(PngWriter, BlueGreenRedBytesBecomeRedGreenBlue) {
    ASSERT_TRUE(createImage(0, 1, 1));
    const uint8_t stored[] = {0x10, 0x20, 0x30};
    std::copy(std::begin(stored), std::end(stored), imageBuffer(0)->pixels);
    ASSERT_EQ(saveImage(0, folder.file("one.png"), kEncoderPng), 1);
    Decoded decoded = decodeWithLibpng(folder.file("one.png"), PNG_FORMAT_RGB);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.pixels, (std::vector<uint8_t>{0x30, 0x20, 0x10}));
}

TEST_F(PngWriter, ThirtyTwoBitImagesKeepTheirAlpha) {
    ASSERT_TRUE(createImage(0, 2, 1, 32, -1));
    const uint8_t stored[] = {0x10, 0x20, 0x30, 0x80, 0x01, 0x02, 0x03, 0xFF};
    std::copy(std::begin(stored), std::end(stored), imageBuffer(0)->pixels);
    ASSERT_EQ(saveImage(0, folder.file("alpha.png"), "PNG"), 1);
    Decoded decoded = decodeWithLibpng(folder.file("alpha.png"), PNG_FORMAT_RGBA);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.pixels, (std::vector<uint8_t>{0x30, 0x20, 0x10, 0x80, 0x03, 0x02, 0x01, 0xFF}));
}

TEST_F(PngWriter, FileHoldsOnlyHeaderDataAndEndWithUnfilteredRows) {
    struct Case {
        const char* name;
        int width, height, depth, colourType;
    } cases[] = {{"24-bit", 600, 512, 24, 2}, {"32-bit", 50, 40, 32, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(createImage(0, c.width, c.height, c.depth, 0x203040));
        ASSERT_TRUE(beginDrawing(imageTarget(0)));
        for (int y = 0; y < c.height; ++y) fillBox(y % c.width, y, 3, 1, rgb(y & 255, 255 - (y & 255), 9));
        endDrawing();
        ASSERT_EQ(saveImage(0, folder.file("chunks.png"), "PNG"), 1);
        const std::vector<Chunk> chunks = chunksOf(readWholeFile(folder.file("chunks.png")));
        ASSERT_GE(chunks.size(), 3u);

        std::string types, compressed;
        for (const Chunk& chunk : chunks) {
            types += chunk.type + " ";
            EXPECT_TRUE(chunk.crcOk) << chunk.type;
            if (chunk.type != "IDAT") continue;
            EXPECT_LE(chunk.data.size(), 8192u);
            compressed += chunk.data;
        }
        std::string expectedTypes = "IHDR ";
        for (size_t i = 2; i < chunks.size(); ++i) expectedTypes += "IDAT ";
        EXPECT_EQ(types, expectedTypes + "IEND ");

        const std::string& header = chunks[0].data;
        ASSERT_EQ(header.size(), 13u);
        EXPECT_EQ(bigEndian(header, 0), static_cast<uint32_t>(c.width));
        EXPECT_EQ(bigEndian(header, 4), static_cast<uint32_t>(c.height));
        const std::vector<int> fields(header.begin() + 8, header.end());
        EXPECT_EQ(fields, (std::vector<int>{8, c.colourType, 0, 0, 0}))
            << "bit depth, colour type, compression, filter, interlace";
        EXPECT_TRUE(chunks.back().data.empty());

        // zlib header: deflate, and the level field of the highest compression levels.
        ASSERT_GE(compressed.size(), 2u);
        EXPECT_EQ(compressed[0] & 0x0F, 8);
        EXPECT_EQ(static_cast<uint8_t>(compressed[1]) >> 6, 3);
        const size_t rowBytes = 1 + static_cast<size_t>(c.width) * (c.depth / 8);
        std::vector<uint8_t> rowsData(rowBytes * c.height + 1);
        uLongf inflated = rowsData.size();
        ASSERT_EQ(uncompress(rowsData.data(), &inflated, reinterpret_cast<const Bytef*>(compressed.data()),
                             compressed.size()),
                  Z_OK);
        ASSERT_EQ(inflated, rowBytes * c.height);
        std::vector<uint8_t> unfiltered;
        int filtered = 0;
        for (int y = 0; y < c.height; ++y) {
            filtered += rowsData[y * rowBytes] != 0;
            unfiltered.insert(unfiltered.end(), rowsData.begin() + y * rowBytes + 1,
                              rowsData.begin() + (y + 1) * rowBytes);
        }
        EXPECT_EQ(filtered, 0) << "rows with a filter byte other than 0";
        EXPECT_TRUE(unfiltered == topDownRgb(0)) << "the rows hold the pixels as they are, top row first";
    }
}

TEST_F(PngWriter, RefusalsLeaveNoFile) {
    writeWholeFile(folder.file("plain"), "x");
    const std::string existing = folder.file("existing.png");
    writeWholeFile(existing, "old contents");
    const std::vector<uint8_t> pixels(64, 0x55);
    struct Case {
        const char* name;
        std::string file;
        const uint8_t* pixels;
        int width, height, stride, colourType;
    } cases[] = {
        {"missing folder", folder.file("missing/a.png"), pixels.data(), 2, 2, 8, 2},
        {"folder is a file", folder.file("plain/a.png"), pixels.data(), 2, 2, 8, 2},
        {"name is the folder", folder.path(), pixels.data(), 2, 2, 8, 2},
        {"zero width", folder.file("a.png"), pixels.data(), 0, 2, 8, 2},
        {"zero height", folder.file("a.png"), pixels.data(), 2, 0, 8, 2},
        {"zero width over an old file", existing, pixels.data(), 0, 0, 8, 2},
        {"palette colour type", existing, pixels.data(), 2, 2, 8, 3},
        {"stride shorter than a row", existing, pixels.data(), 2, 2, 7, 6},
        {"no pixels", existing, nullptr, 2, 2, 8, 2},
        {"wider than libpng allows", existing, pixels.data(), 2000000, 1, 6000000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(writePng(c.file, c.pixels, c.width, c.height, c.stride, 2, 7, 24, c.colourType), 0);
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"plain", "existing.png"}));
        EXPECT_EQ(readWholeFile(existing), "old contents");
    }
}

TEST_F(PngWriter, FailedWritesLeaveNoFileAndKeepAnOldOne) {
    makePattern(0, 60, 40);
    ASSERT_EQ(saveImage(0, folder.file("whole.png"), "PNG"), 1);
    const int64_t size = static_cast<int64_t>(readWholeFile(folder.file("whole.png")).size());
    std::remove(folder.file("whole.png").c_str());
    const std::string old = folder.file("old.png");
    for (int64_t budget : {int64_t{0}, int64_t{7}, int64_t{8}, int64_t{30}, size / 2, size - 12, size - 1}) {
        SCOPED_TRACE("fails after " + std::to_string(budget) + " bytes");
        writeWholeFile(old, "old contents");
        setWriteFailureAfter(budget);
        EXPECT_EQ(saveImage(0, folder.file("fresh.png"), "PNG"), 0);
        setWriteFailureAfter(budget);
        EXPECT_EQ(saveImage(0, old, "PNG"), 0);
        setWriteFailureAfter(-1);
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"old.png"}));
        EXPECT_EQ(readWholeFile(old), "old contents");
    }
}

}  // namespace
