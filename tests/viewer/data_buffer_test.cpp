#include "viewer/data_buffer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/io_seam.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"
#include "tests/viewer/viewer_test_support.h"

namespace {

std::string bytesText(std::initializer_list<int> bytes) {
    std::string text;
    for (int b : bytes) text += static_cast<char>(b);
    return text;
}

// ---- The typed byte count.

TEST(ParseSizeText, DecimalOrHexadecimalAfterADollar) {
    struct Case {
        std::string text;
        int32_t value;
        int convertOk;
    };
    const Case cases[] = {
        {"1000", 1000, 1},
        {"1001", 1001, 1},
        {"$3E8", 1000, 1},
        {"$3e8", 1000, 1},
        {"$1F0", 496, 1},
        {"0000", 0, 1},
        {"$", 0, 1},
        {"", 0, 1},
        {"$00000000000000000001", 1, 1},
        {"2147483647", 2147483647, 1},
        {"$7FFFFFFF", 2147483647, 1},
        // Signs, blanks, separators, other prefixes and suffixes are not digits.
        {"1,000", 0, 0},
        {" 1000", 0, 0},
        {"1000 ", 0, 0},
        {"-5", 0, 0},
        {"+5", 0, 0},
        {"0x3E8", 0, 0},
        {"3E8h", 0, 0},
        {"3E8", 0, 0},
        {"$$1", 0, 0},
        {"$G", 0, 0},
        {"1$", 0, 0},
        {std::string("12\0"
                     "3",
                     4),
         0, 0},
        {"\xEF\xBC\x91", 0, 0},  // a full-width digit one
        // Counts that do not fit 32 bits fail rather than wrap.
        {"2147483648", 0, 0},
        {"4294967296", 0, 0},
        {"4294968296", 0, 0},  // would wrap to 1000
        {"$80000000", 0, 0},
        {"$1000003E8", 0, 0},  // would wrap to 1000
        {"99999999999999999999999999", 0, 0},
    };
    for (const Case& c : cases) {
        viewerState.convertOk = 7;
        EXPECT_EQ(parseSizeText(c.text), c.value) << '"' << c.text << '"';
        EXPECT_EQ(viewerState.convertOk, c.convertOk) << '"' << c.text << '"';
    }
}

// ---- The range check and the bytes saved.

class ByteRangeTest : public ::testing::Test {
   protected:
    void SetUp() override {
        std::vector<uint8_t> bytes(1000);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
        bytes[0] = 0x01;
        bytes[1] = 0x12;
        bytes[2] = 0x80;
        loadBytes(bytes);
    }
    void TearDown() override {
        setWriteFailureAfter(-1);
        unloadBytes();
    }

    std::string saved(int64_t first, int64_t size) {
        const std::string name = folder.file("range.bin");
        EXPECT_EQ(writeBinaryRange(name, first, size), 1) << first << " " << size;
        return readWholeFile(name);
    }

    TempFolder folder;
};

TEST_F(ByteRangeTest, FirstPlusSizeMayReachButNotPassTheEnd) {
    struct Case {
        int64_t first, size;
        RangeCheck result;
    };
    const Case cases[] = {
        {0, 1000, RangeCheck::Ok},
        {0, 1001, RangeCheck::TooBig},
        {-3, 5, RangeCheck::Ok},
        {1000, 0, RangeCheck::Ok},
        {1001, 0, RangeCheck::TooBig},
        {999, 1, RangeCheck::Ok},
        {999, 2, RangeCheck::TooBig},
        {INT64_MAX, 1, RangeCheck::TooBig},
        {INT64_MAX, INT64_MAX, RangeCheck::TooBig},
        {-1000, INT32_MAX, RangeCheck::TooBig},
        {INT64_MIN, -1, RangeCheck::TooBig},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkRange(c.first, c.size), c.result) << c.first << " + " << c.size;
}

TEST_F(ByteRangeTest, SavedBytesFollowTheInverseAndReverseButNotTheNibbleSwap) {
    struct Case {
        const char* what;
        int64_t first, size;
        bool inverse, reverse, nibble;
        std::string bytes;
    };
    const Case cases[] = {
        {"plain", 0, 3, false, false, false, bytesText({0x01, 0x12, 0x80})},
        {"before the data", -3, 5, false, false, false, bytesText({0, 0, 0, 0x01, 0x12})},
        {"inverse", 0, 3, true, false, false, bytesText({0xFE, 0xED, 0x7F})},
        {"reverse", 0, 3, false, true, false, bytesText({0x80, 0x48, 0x01})},
        {"inverse and reverse", 0, 3, true, true, false, bytesText({0x7F, 0xB7, 0xFE})},
        {"nibble swap is not saved", 0, 3, true, true, true, bytesText({0x7F, 0xB7, 0xFE})},
        {"nibble swap alone", 0, 2, false, false, true, bytesText({0x01, 0x12})},
        {"before the data, no inverse", -2, 3, true, true, false, bytesText({0, 0, 0x7F})},
        {"empty", 500, 0, false, false, false, ""},
        {"empty at the end", 1000, 0, false, false, false, ""},
    };
    for (const Case& c : cases) {
        setHeldValue(HeldValue::Inverse, c.inverse);
        setHeldValue(HeldValue::ReverseByte, c.reverse);
        setHeldValue(HeldValue::NibbleSwap, c.nibble);
        EXPECT_EQ(saved(c.first, c.size), c.bytes) << c.what;
    }
}

TEST_F(ByteRangeTest, TheWholeDataAndItsLastByte) {
    const std::string whole = saved(0, 1000);
    ASSERT_EQ(whole.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(static_cast<uint8_t>(whole[i]), viewerState.dataBuffer[i]) << i;
    EXPECT_EQ(saved(999, 1), std::string(1, static_cast<char>(viewerState.dataBuffer[999])));
}

// Long ranges are made in blocks: zeros that run over a block boundary, then data with the
// options, each byte as the table gives it.
TEST_F(ByteRangeTest, LongRangesAcrossManyBlocks) {
    std::vector<uint8_t> bytes(300000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 256);
    loadBytes(bytes);
    struct Case {
        int64_t first, size;
        bool inverse, reverse;
    };
    const Case cases[] = {{-70000, 370000, true, true},
                          {-1, 300001, true, false},
                          {12345, 287655, false, true},
                          {0, 300000, false, false},
                          {-200000, 200017, true, true}};
    for (const Case& c : cases) {
        setHeldValue(HeldValue::Inverse, c.inverse);
        setHeldValue(HeldValue::ReverseByte, c.reverse);
        const std::string file = saved(c.first, c.size);
        ASSERT_EQ(file.size(), static_cast<size_t>(c.size));
        for (int64_t n = 0; n < c.size; ++n) {
            const int64_t j = c.first + n;
            uint8_t expected = 0;
            if (j >= 0) {
                expected = bytes[j] ^ (c.inverse ? 0xFF : 0);
                if (c.reverse) expected = viewerState.reverseBitsTable[expected];
            }
            ASSERT_EQ(static_cast<uint8_t>(file[n]), expected) << "first " << c.first << " byte " << n;
        }
    }
}

TEST_F(ByteRangeTest, ARangePastTheEndIsRefusedWithoutAFile) {
    EXPECT_EQ(writeBinaryRange(folder.file("no.bin"), 1, 1000), 0);
    EXPECT_EQ(writeBinaryRange(folder.file("no.bin"), 0, -1), 0);
    EXPECT_EQ(writeBinaryRange(folder.file("no.bin"), INT64_MAX, 2), 0);
    EXPECT_TRUE(folder.entries().empty());
}

TEST_F(ByteRangeTest, FailedWritesLeaveNoFileAndKeepAnOldOne) {
    EXPECT_EQ(writeBinaryRange(folder.file("missing/folder.bin"), 0, 10), 0);
    EXPECT_TRUE(folder.entries().empty());

    const std::string name = folder.file("old.bin");
    writeWholeFile(name, "old contents");
    setWriteFailureAfter(100);
    EXPECT_EQ(writeBinaryRange(name, 0, 1000), 0);
    setWriteFailureAfter(-1);
    EXPECT_EQ(readWholeFile(name), "old contents");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"old.bin"});
}

// ---- The ".bin" rule: only "/" separates folders.

TEST(WithBinExtension, AppendsUnlessTheLastPartHasAPoint) {
    struct Case {
        std::string name, result;
    };
    const Case cases[] = {
        {"/out/sprite", "/out/sprite.bin"},
        {"/out/sprite.raw", "/out/sprite.raw"},
        {"/old.dir/sprite", "/old.dir/sprite.bin"},
        {"/out/sprite.", "/out/sprite."},
        {"sprite", "sprite.bin"},
        {"sprite.BIN", "sprite.BIN"},
        {".hidden", ".hidden"},
        {"/out/", "/out/.bin"},
        {"", ".bin"},
        {"out.d\\sprite", "out.d\\sprite"},  // a backslash is part of the name here
    };
    for (const Case& c : cases) EXPECT_EQ(withBinExtension(c.name), c.result) << c.name;
}

// ---- Loading.

class LoadDataFileTest : public ::testing::Test {
   protected:
    void SetUp() override {
        initViewerState();
        buildByteTables();
    }
    void TearDown() override { freeDataBuffer(); }

    static bool nothingLoaded() { return viewerState.dataBuffer == nullptr && viewerState.dataSize == 0; }

    TempFolder folder;
};

TEST_F(LoadDataFileTest, ReadsTheWholeFileWithSixteenZeroBytesBehind) {
    const std::string name = folder.file("game.bin");
    writeWholeFile(name, bytesText({1, 2, 3, 0xFF}));
    ASSERT_EQ(loadDataFile(name), LoadResult::Ok);
    ASSERT_EQ(viewerState.dataSize, 4);
    EXPECT_EQ(viewerState.dataBuffer[0], 1);
    EXPECT_EQ(viewerState.dataBuffer[3], 0xFF);
    for (int i = 4; i < 20; ++i) EXPECT_EQ(viewerState.dataBuffer[i], 0) << i;
    EXPECT_EQ(viewerState.loadedFileName, "game.bin");
    EXPECT_EQ(viewerState.lastFolder, folder.path() + "/");
}

TEST_F(LoadDataFileTest, LeavesTheViewPositionAlone) {
    viewerState.byteOffset = 300;
    viewerState.bytesPerRow = 3;
    setHeldValue(HeldValue::FineOffset, -2);
    writeWholeFile(folder.file("a"), "abc");
    ASSERT_EQ(loadDataFile(folder.file("a")), LoadResult::Ok);
    EXPECT_EQ(viewerState.byteOffset, 300);
    EXPECT_EQ(viewerState.bytesPerRow, 3);
    EXPECT_EQ(heldValue(HeldValue::FineOffset), -2);
}

TEST_F(LoadDataFileTest, ASecondLoadReplacesTheFirst) {
    writeWholeFile(folder.file("first"), std::string(5000, 'x'));
    writeWholeFile(folder.file("second"), "yz");
    ASSERT_EQ(loadDataFile(folder.file("first")), LoadResult::Ok);
    ASSERT_EQ(loadDataFile(folder.file("second")), LoadResult::Ok);
    EXPECT_EQ(viewerState.dataSize, 2);
    EXPECT_EQ(viewerState.dataBuffer[0], 'y');
    EXPECT_EQ(viewerState.dataBuffer[2], 0);
    EXPECT_EQ(viewerState.loadedFileName, "second");
}

TEST_F(LoadDataFileTest, HostileFilesAreRefusedAndLeaveNothingLoaded) {
    writeWholeFile(folder.file("empty"), "");
    writeWholeFile(folder.file("good"), "data");
    ASSERT_EQ(mkdir(folder.file("folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink(folder.file("missing").c_str(), folder.file("dangling").c_str()), 0);
    struct Case {
        std::string name;
        LoadResult result;
    };
    const Case cases[] = {
        {folder.file("empty"), LoadResult::Read},
        {folder.file("missing"), LoadResult::Open},
        {folder.file("dangling"), LoadResult::Open},
        {folder.file("folder"), LoadResult::Open},
        {folder.file("folder") + "/", LoadResult::Open},
        {folder.file("fifo"), LoadResult::Open},  // must not wait for a writer
        {"/dev/null", LoadResult::Open},
        {"", LoadResult::Open},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(loadDataFile(folder.file("good")), LoadResult::Ok);
        EXPECT_EQ(loadDataFile(c.name), c.result) << c.name;
        EXPECT_TRUE(nothingLoaded()) << c.name;
    }
}

// Sparse files: their size is known at once and nothing of them is ever read.
TEST_F(LoadDataFileTest, FilesOfTwoGibibytesOrMoreAreTooLarge) {
    for (int64_t size : {int64_t{1} << 31, (int64_t{1} << 32) + 1000, int64_t{5} << 30}) {
        const std::string name = folder.file("huge");
        writeWholeFile(name, "");
        ASSERT_EQ(truncate(name.c_str(), size), 0);
        EXPECT_EQ(loadDataFile(name), LoadResult::TooLarge) << size;
        EXPECT_TRUE(nothingLoaded());
    }
}

// A file that delivers fewer bytes than its size (as one that shrinks between the two
// would) is accepted: the rest stays 0. Attribute files of the kernel report a size of a
// whole page and deliver a few bytes.
TEST_F(LoadDataFileTest, AFileShorterThanItsSizeIsAcceptedWithZerosBehind) {
    const std::string name = "/sys/devices/system/cpu/online";
    const std::string contents = readWholeFile(name);
    if (contents.empty() || fileSize(name) <= static_cast<int64_t>(contents.size())) {
        GTEST_SKIP() << "no kernel attribute file here";
    }
    ASSERT_EQ(loadDataFile(name), LoadResult::Ok);
    EXPECT_EQ(viewerState.dataSize, fileSize(name));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(viewerState.dataBuffer), contents.size()), contents);
    for (int64_t i = contents.size(); i < viewerState.dataSize + 16; ++i)
        ASSERT_EQ(viewerState.dataBuffer[i], 0) << i;
}

TEST_F(LoadDataFileTest, NamesWithSpacesQuotesOtherBytesAndALeadingDash) {
    const std::string names[] = {"with space.bin", "quote'd \"name\".bin", "caf\xE9-\xFF\x01.bin",
                                 "-dash.bin", "--help"};
    for (const std::string& file : names) {
        const std::string name = folder.file(file);
        writeWholeFile(name, file);
        ASSERT_EQ(loadDataFile(name), LoadResult::Ok) << file;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(viewerState.dataBuffer), viewerState.dataSize), file);
        EXPECT_EQ(viewerState.lastFolder, folder.path() + "/");
    }
    EXPECT_EQ(viewerState.loadedFileName, "--help");
}

TEST_F(LoadDataFileTest, ARelativeNameStartingWithADash) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    writeWholeFile("-x", "relative");
    const LoadResult result = loadDataFile("-x");
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(result, LoadResult::Ok);
    EXPECT_EQ(viewerState.dataSize, 8);
    EXPECT_EQ(viewerState.loadedFileName, "-x");
    EXPECT_EQ(viewerState.lastFolder, "");
}

TEST_F(LoadDataFileTest, AnUnreadableFileCannotBeOpened) {
    if (ranAsUnprivilegedUser()) return;
    const std::string name = folder.file("secret");
    writeWholeFile(name, "secret");
    ASSERT_EQ(chmod(name.c_str(), 0), 0);
    EXPECT_EQ(loadDataFile(name), LoadResult::Open);
    EXPECT_TRUE(nothingLoaded());
}

}  // namespace
