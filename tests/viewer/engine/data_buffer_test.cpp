#include "viewer/engine/data_buffer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "support/io_seam.h"
#include "tests/graphics/pixel_picture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"
#include "tests/viewer/engine/viewer_test_support.h"

namespace {

TEST(DataBufferTest, ParseSizeTextDecimalOrHexadecimalAfterADollar) {
    using Case = std::pair<std::string, int64_t>;  // the value; -1: refused (0 and not ok)
    // clang-format off
    const Case cases[] = {
        {"1000", 1000}, {"$3E8", 1000}, {"$3e8", 1000}, {"$1F0", 496}, {"0000", 0}, {"$", 0}, {"", 0},
        {"$00000000000000000001", 1}, {"2147483647", INT32_MAX}, {"$7FFFFFFF", INT32_MAX},
        // Signs, blanks, separators, other prefixes and suffixes are not digits.
        {"1,000", -1}, {" 1000", -1}, {"1000 ", -1}, {"-5", -1}, {"+5", -1}, {"0x3E8", -1}, {"3E8h", -1},
        {"3E8", -1}, {"$$1", -1}, {"$G", -1}, {"1$", -1}, {std::string("12\0" "3", 4), -1}, {"\xEF\xBC\x91", -1},
        // Counts past 32 bits, up to 1 PiB; larger ones fail rather than wrap.
        {"2147483648", 2147483648}, {"4294968296", 4294968296}, {"$1000003E8", 4294968296},
        {"1125899906842624", 1125899906842624}, {"$4000000000000", 1125899906842624},
        {"1125899906842625", -1}, {"$4000000000001", -1}, {"99999999999999999999999999", -1},
    };
    // clang-format on
    for (const auto& [text, value] : cases) {
        const SizeNumber number = parseSizeText(text);
        EXPECT_EQ(number.value, std::max<int64_t>(value, 0)) << '"' << text << '"';
        EXPECT_EQ(number.ok, value >= 0) << '"' << text << '"';
    }
}

// Zeros before the data, then the data with the inverse and the bit reversal, never the nibble swap.
TEST(DataBufferTest, SavedRangesFollowTheInverseAndReverseButNotTheNibbleSwap) {
    std::vector<uint8_t> bytes(300000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 256);
    const DataBytes data{bytes.data(), static_cast<int64_t>(bytes.size())};
    TempFolder folder;
    const std::string name = folder.file("range.bin");
    // first, size, options: 1 inverse, 2 reverse, 4 nibble swap
    // clang-format off
    const std::tuple<int64_t, int64_t, int> cases[] = {
        {0, 3, 0}, {-3, 5, 1}, {0, 3, 2}, {0, 3, 7}, {0, 2, 4}, {500, 0, 0}, {300000, 0, 3}, {299999, 1, 3}, {-70000, 370000, 3}, {-1, 300001, 1},
        {12345, 287655, 6}, {-200000, 200017, 7},
    };
    // clang-format on
    for (const auto& [first, size, options] : cases) {
        SCOPED_TRACE(testing::Message() << first << "+" << size << " options " << options);
        // The nibble swap (4) is no part of the saved form.
        const SavedByteForm form{(options & 1) != 0, (options & 2) != 0};
        EXPECT_EQ(checkRange(first, size, data.size), RangeCheck::Ok);
        ASSERT_EQ(writeBinaryRange(name, data, first, size, form), 1);
        EXPECT_TRUE(readWholeFile(name) == savedBytes(bytes, first, size, options & 1, options & 2));
    }
    // clang-format off
    const std::pair<int64_t, int64_t> pastTheEnd[] = {{0, 300001}, {300001, 0}, {299999, 2}, {1, 300000},
        {INT64_MAX, 1}, {INT64_MAX, 2}, {-1000, INT32_MAX}, {INT64_MIN, -1}};
    // clang-format on
    for (const auto& [first, size] : pastTheEnd) {
        EXPECT_EQ(checkRange(first, size, data.size), RangeCheck::TooBig) << first << "+" << size;
        EXPECT_EQ(writeBinaryRange(folder.file("no.bin"), data, first, size, {}), 0) << first << "+" << size;
    }
    EXPECT_EQ(writeBinaryRange(folder.file("no.bin"), data, 0, -1, {}), 0);
    EXPECT_EQ(writeBinaryRange(folder.file("missing/folder.bin"), data, 0, 10, {}), 0);
    writeWholeFile(name, "old contents");
    setWriteFailureAfter(100);
    EXPECT_EQ(writeBinaryRange(name, data, 0, 1000, {}), 0);
    setWriteFailureAfter(-1);
    EXPECT_EQ(readWholeFile(name), "old contents");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"range.bin"});
}

class LoadDataFileTest : public ::testing::Test {
   protected:
    void TearDown() override { freeImage(-1); }
    TempFolder folder;
};

TEST_F(LoadDataFileTest, HostileFilesAreRefusedAndHoldNothing) {
    writeWholeFile(folder.file("empty"), "");
    writeWholeFile(folder.file("secret"), "secret");
    ASSERT_EQ(chmod(folder.file("secret").c_str(), 0), 0);
    ASSERT_EQ(mkdir(folder.file("locked").c_str(), 0755), 0);
    writeWholeFile(folder.file("locked/inside"), "inside");
    ASSERT_EQ(chmod(folder.file("locked").c_str(), 0), 0);
    ASSERT_EQ(mkdir(folder.file("folder").c_str(), 0755) | mkfifo(folder.file("fifo").c_str(), 0666) |
                  symlink(folder.file("missing").c_str(), folder.file("dangling").c_str()),
              0);
    // clang-format off
    const std::pair<std::string, LoadResult> cases[] = {
        {"empty", LoadResult::Read}, {"missing", LoadResult::Open}, {"dangling", LoadResult::Open}, {"folder/", LoadResult::Open},
        {"fifo", LoadResult::Read} /* no writer comes: read as empty */, {"secret", LoadResult::Denied},
        {"locked/inside", LoadResult::Denied}, {"/dev/null", LoadResult::Read}, {"", LoadResult::Open},
    };
    // clang-format on
    runUnprivileged(folder.path(), [&] {
        for (const auto& [name, result] : cases) {
            const std::string path = name.empty() || name[0] == '/' ? name : folder.file(name);
            const DataLoad load = loadDataFile(path);
            EXPECT_EQ(load.result, result) << name;
            EXPECT_TRUE(load.file.bytes == nullptr && load.file.size == 0 && load.file.name.empty()) << name;
        }
    });
}

// A load notes the name. A file cut short while read loads the bytes that came, 16 zero bytes
// behind and the checkerboard after them; a failed read, nothing.
TEST_F(LoadDataFileTest, TheDataIsWhatTheReadDelivered) {
    // Name, size, read limit (-1: none), whether the read fails there, data size (-1: LoadResult::Read).
    using Case = std::tuple<const char*, int64_t, int64_t, bool, int32_t>;
    // clang-format off
    const Case cases[] = {{"with space.bin", 100, -1, false, 100}, {"quote'd \"name\".bin", 100, 40, false, 40},
                          {"caf\xE9-\xFF\x01.bin", 100000, 70000, false, 70000}, {"a", 100000, 0, false, -1},
                          {"b", 100000, 70000, true, -1}, {"c", 100, 0, true, -1}, {"--help", 5, -1, false, 5}};
    // clang-format on
    ASSERT_TRUE(createImage(kSheetImage, kViewWidth, 512));
    for (const auto& [name, size, readLimit, readFails, dataSize] : cases) {
        SCOPED_TRACE(testing::Message()
                     << name << ": " << size << " bytes, read limit " << readLimit << " fails " << readFails);
        writeWholeFile(folder.file(name), std::string(static_cast<size_t>(size), '\x55'));
        setReadLimit(readLimit, readFails);
        DataLoad load = loadDataFile(folder.file(name));
        setReadLimit(-1, false);
        ASSERT_EQ(load.result, dataSize < 0 ? LoadResult::Read : LoadResult::Ok);
        ASSERT_EQ(load.file.size, std::max(dataSize, 0));
        for (int64_t i = 0; dataSize > 0 && i < dataSize + 16; ++i)
            ASSERT_EQ(load.file.bytes[i], i < dataSize ? 0x55 : 0) << i;
        EXPECT_EQ(load.file.name, dataSize < 0 ? "" : filePart(name));
        EXPECT_TRUE(dataSize < 0 || isLoadedFile(folder.file(name), load.file.identity));
        // One byte per row from the last one read: the row below it is the background.
        const SheetOptions options = viewOptions(kModeBinary, 1, 1, dataSize - 1);
        ASSERT_TRUE(dataSize < 0 || drawSheet(dataBytes(load.file), options, *imageBuffer(kSheetImage)) ==
                                        SheetResult::Drawn);
        for (int x = 0; x < 8 && dataSize > 0; ++x)
            EXPECT_EQ(pixelColour(kSheetImage, x, 1), x & 1 ? 0 : kCheckerCyan);
        freeDataFile(load.file);
        EXPECT_TRUE(load.file.bytes == nullptr && load.file.size == 0);
    }
}

// Bytes planted past 4 GiB in a sparse 5 GiB file: loaded without reading the file, at their
// offsets in the picture, the status line and a saved range; zeros follow the last byte.
TEST_F(LoadDataFileTest, FilesPastFourGiBAreMappedAndShowTheirBytes) {
    constexpr int64_t kSize = int64_t{5} << 30, kPlanted = int64_t{1} << 32;
    const std::string planted("\xFF\x81\x00\x3C", 4), name = folder.file("big.bin");
    const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, kSize) == 0 && pwrite(fd, planted.data(), 4, kPlanted) == 4);
    close(fd);
    DataLoad load = loadDataFile(name);
    ASSERT_EQ(load.result, LoadResult::Ok);
    ASSERT_EQ(load.file.size, kSize);
    EXPECT_NE(load.file.mapped.bytes, nullptr);
    for (int64_t i = 0; i < 16; ++i) ASSERT_EQ(load.file.bytes[kSize + i], 0) << i;
    // The picture at the planted bytes is the picture of those bytes alone.
    const std::vector<uint8_t> alone(planted.begin(), planted.end());
    ASSERT_TRUE(createImage(kSheetImage, kViewWidth, 512) && createImage(kSheetImage + 1, kViewWidth, 512));
    const SheetOptions there = viewOptions(kModeBinary, 1, 1, kPlanted);
    ASSERT_EQ(drawSheet(dataBytes(load.file), there, *imageBuffer(kSheetImage)), SheetResult::Drawn);
    ASSERT_EQ(drawSheet({alone.data(), 4}, viewOptions(kModeBinary, 1, 1), *imageBuffer(kSheetImage + 1)),
              SheetResult::Drawn);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(pixelColour(kSheetImage, x, y), pixelColour(kSheetImage + 1, x, y)) << x << "," << y;
    EXPECT_EQ(statusTextForRender(there, kSize, 3, 2), "Disp=4294967296,width=1,x=3,y=2,size=2");
    EXPECT_EQ(statusTextForRender(viewOptions(kModeBinary, 1, 1, kSize - 1), kSize, 0, 1),
              "Disp=5368709119,width=1,x=0,y=1");
    // Pages let go far from the view read the same when touched again.
    EXPECT_EQ(releaseBytesAwayFrom(load.file, kPlanted - kKeptAroundView, kPlanted), kPlanted);
    EXPECT_EQ(releaseBytesAwayFrom(load.file, 0, kPlanted), 0);
    ASSERT_EQ(writeBinaryRange(folder.file("planted.bin"), dataBytes(load.file), kPlanted - 1, 6, {}), 1);
    EXPECT_EQ(readWholeFile(folder.file("planted.bin")),
              std::string(1, '\0') + planted + std::string(1, '\0'));
    freeDataFile(load.file);
}

// A mapped file cut short by another program: no crash where its pages went, they read as zeros,
// and no range that reaches them is saved.
TEST_F(LoadDataFileTest, AMappedFileCutShortEndsWhereItNowEnds) {
    constexpr int64_t kSize = 3 << 20, kLeft = (1 << 20) + 100;
    const std::string name = folder.file("cut.bin"), saved = folder.file("saved.bin");
    writeWholeFile(name, patternBytes(0, kSize));
    DataLoad load = loadDataFile(name);
    ASSERT_EQ(load.result, LoadResult::Ok);
    ASSERT_EQ(truncate(name.c_str(), kLeft), 0);
    EXPECT_EQ(dataBytesPresent(load.file), kLeft);
    const uint64_t faults = vanishedPageFaults();
    ASSERT_TRUE(createImage(kSheetImage, kViewWidth, 512));
    EXPECT_EQ(
        drawSheet(dataBytes(load.file), viewOptions(kModeBinary, 8, 1, 2 << 20), *imageBuffer(kSheetImage)),
        SheetResult::Drawn);
    EXPECT_GT(vanishedPageFaults(), faults);
    EXPECT_EQ(load.file.bytes[(2 << 20) + 5], 0);
    EXPECT_EQ(writeBinaryRange(saved, dataBytes(load.file), kLeft - 10, (1 << 20) + 10, {}), 0);
    EXPECT_FALSE(fileExists(saved));
    ASSERT_EQ(writeBinaryRange(saved, dataBytes(load.file), 0, kLeft, {}), 1);
    EXPECT_EQ(readWholeFile(saved), patternBytes(0, kLeft));
    freeDataFile(load.file);
}

// Pipes and files that report no size are read to their end.
TEST_F(LoadDataFileTest, PipesAndProcFilesAreReadToTheirEnd) {
    const std::string fifo = folder.file("fifo"), sent = patternBytes(7, 3 << 20);  // more than a pipe holds
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { writeWholeFile(fifo, sent); });
    DataLoad load = loadDataFile(fifo);
    writer.join();
    ASSERT_EQ(load.result, LoadResult::Ok);
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(load.file.bytes), load.file.size) == sent);
    EXPECT_EQ(load.file.name, "fifo");
    freeDataFile(load.file);
    load = loadDataFile("/proc/self/status");
    ASSERT_EQ(load.result, LoadResult::Ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(load.file.bytes), 5), "Name:");
    EXPECT_EQ(dataBytesPresent(load.file), load.file.size);
    freeDataFile(load.file);
}

}  // namespace
