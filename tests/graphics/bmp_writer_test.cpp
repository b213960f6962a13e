#include "graphics/bmp_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "graphics/image_save.h"
#include "graphics/images.h"
#include "support/io_seam.h"
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

class BmpWriter : public ::testing::Test {
   protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        setRenameFailure(false);
        freeImage(-1);
    }
    TempFolder folder;
};

TEST_F(BmpWriter, HeaderOfTheViewersPicture) {
    ASSERT_TRUE(createImage(0, 600, 512));
    ASSERT_TRUE(saveImage(0, folder.file("view.bmp")));
    const std::string file = readWholeFile(folder.file("view.bmp"));
    ASSERT_EQ(file.size(), 54u + 1800u * 512u);
    EXPECT_EQ(hex(file.substr(0, 54)),
              "42 4D 36 10 0E 00 00 00 00 00 36 00 00 00 "                     // BM, 921654, 0, 54
              "28 00 00 00 58 02 00 00 00 02 00 00 01 00 18 00 00 00 00 00 "   // 40, 600, 512, 1, 24, 0
              "00 10 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");  // 921600, zeros
}

TEST_F(BmpWriter, OnePixelWideRowsArePaddedAndStoredBottomRowFirst) {
    // Picture rows top to bottom: red, then blue.
    ASSERT_TRUE(createImage(0, 1, 2));
    uint8_t* pixels = imageBuffer(0)->pixels;
    const uint8_t memory[] = {0xFF, 0x00, 0x00, 0x00,   // bottom row: blue
                              0x00, 0x00, 0xFF, 0x00};  // top row: red
    std::copy(std::begin(memory), std::end(memory), pixels);
    ASSERT_TRUE(saveImage(0, folder.file("thin.bmp")));
    const std::string file = readWholeFile(folder.file("thin.bmp"));
    EXPECT_EQ(hex(file),
              "42 4D 3E 00 00 00 00 00 00 00 36 00 00 00 "
              "28 00 00 00 01 00 00 00 02 00 00 00 01 00 18 00 00 00 00 00 "
              "08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
              "FF 00 00 00 00 00 FF 00");
}

TEST_F(BmpWriter, PixelRowsFromEveryKindOfSource) {
    // Two pixels by two rows. Memory rows are listed in memory order; padding bytes of the
    // source are 0xEE so that copying them into the file would show.
    struct Case {
        const char* name;
        int stride, sourceDepth, flags, outputDepth;
        std::vector<uint8_t> memory;
        std::string pixelRows;  // file bytes after the headers
        // clang-format off
    } cases[] = {
        {"24-bit, rows as the file wants them", 8, 24, 2, 24,
         {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0},
         "01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00"},
        {"24-bit, wider stride", 10, 24, 2, 24,
         {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE, 0xEE, 0xEE},
         "01 02 03 04 05 06 00 00 07 08 09 0A 0B 0C 00 00"},
        {"24-bit, top-down memory", 8, 24, 0, 24,
         {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE},
         "07 08 09 0A 0B 0C 00 00 01 02 03 04 05 06 00 00"},
        {"24-bit to 32-bit", 8, 24, 2, 32,
         {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE},
         "01 02 03 00 04 05 06 00 07 08 09 00 0A 0B 0C 00"},
        {"32-bit laid over white", 8, 32, 2, 24,
         {0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0, 0, 0, 0, 128, 0xFF, 0, 0, 1},
         "10 20 30 FF FF FF 00 00 7F 7F 7F FF FE FE 00 00"},
        {"32-bit to 32-bit has a zero fourth byte", 8, 32, 2, 32,
         {0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0, 0, 0, 0, 128, 0xFF, 0, 0, 1},
         "10 20 30 00 FF FF FF 00 7F 7F 7F 00 FF FE FE 00"},
    };
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

TEST_F(BmpWriter, RedPixelIsStoredBlueGreenRed) {
    ASSERT_TRUE(createImage(0, 1, 1, 24, rgb(255, 0, 0)));
    ASSERT_TRUE(saveImage(0, folder.file("red.bmp")));
    EXPECT_EQ(hex(readWholeFile(folder.file("red.bmp")).substr(54)), "00 00 FF 00");
}

TEST_F(BmpWriter, RefusedDepthsAndSizesTouchNoFile) {
    const std::string existing = folder.file("existing.bmp");
    writeWholeFile(existing, "old contents");
    const std::vector<uint8_t> pixels(64, 0x55);
    struct Case {
        const char* name;
        const uint8_t* pixels;
        int stride, width, height, sourceDepth, outputDepth;
    } cases[] = {
        {"output depth 8", pixels.data(), 8, 2, 2, 24, 8},
        {"output depth 1", pixels.data(), 8, 2, 2, 24, 1},
        {"output depth 4", pixels.data(), 8, 2, 2, 24, 4},
        {"output depth 16", pixels.data(), 8, 2, 2, 24, 16},
        {"output depth 0", pixels.data(), 8, 2, 2, 24, 0},
        {"source depth 16", pixels.data(), 8, 2, 2, 16, 24},
        {"zero width", pixels.data(), 8, 0, 2, 24, 24},
        {"negative height", pixels.data(), 8, 2, -2, 24, 24},
        {"stride shorter than a row", pixels.data(), 5, 2, 2, 24, 24},
        {"no pixels", nullptr, 8, 2, 2, 24, 24},
        {"file larger than 4 GiB", pixels.data(), 120000, 40000, 40000, 24, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            writeBmp(existing, c.pixels, c.stride, c.width, c.height, c.sourceDepth, 2, 7, c.outputDepth), 0);
        EXPECT_EQ(readWholeFile(existing), "old contents");
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"existing.bmp"}));
    }
    EXPECT_EQ(writeBmp("", pixels.data(), 8, 2, 2, 24, 2, 7, 24), 0);
}

TEST_F(BmpWriter, FolderThatCannotTakeTheFileGetsNothing) {
    writeWholeFile(folder.file("plain"), "x");
    ASSERT_TRUE(createImage(0, 4, 4));
    for (const std::string& name :
         {folder.file("missing/a.bmp"), folder.file("plain/a.bmp"), folder.path() + "/", folder.path()}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(saveImage(0, name), 0);
    }
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"plain"}));
}

TEST_F(BmpWriter, FailedWritesLeaveNoFileAndKeepAnOldOne) {
    ASSERT_TRUE(createImage(0, 5, 3));                // 16-byte rows: 54 + 48 bytes
    ASSERT_TRUE(createImage(1, 5, 3, 32, 0x0000FF));  // takes the row-by-row path
    const std::string fresh = folder.file("fresh.bmp"), old = folder.file("old.bmp");
    for (int64_t budget : {0, 10, 14, 53, 54, 60, 101}) {
        for (int image : {0, 1}) {
            SCOPED_TRACE("fails after " + std::to_string(budget) + " bytes, image " + std::to_string(image));
            writeWholeFile(old, "old contents");
            setWriteFailureAfter(budget);
            EXPECT_EQ(saveImage(image, fresh), 0);
            setWriteFailureAfter(budget);
            EXPECT_EQ(saveImage(image, old), 0);
            setWriteFailureAfter(-1);
            EXPECT_EQ(folder.entries(), (std::set<std::string>{"old.bmp"}));
            EXPECT_EQ(readWholeFile(old), "old contents");
        }
    }
    setWriteFailureAfter(102);
    EXPECT_EQ(saveImage(0, fresh), 1) << "a budget of exactly the file's size is enough";
}

TEST_F(BmpWriter, FailedRenameAndReadOnlyTargetKeepTheOldFile) {
    ASSERT_TRUE(createImage(0, 2, 2));
    const std::string old = folder.file("old.bmp");
    writeWholeFile(old, "old contents");
    setRenameFailure(true);
    EXPECT_EQ(saveImage(0, old), 0);
    setRenameFailure(false);
    ASSERT_EQ(chmod(old.c_str(), 0444), 0);
    EXPECT_EQ(saveImage(0, old), 0);
    EXPECT_EQ(readWholeFile(old), "old contents");
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"old.bmp"}));
}

}  // namespace
