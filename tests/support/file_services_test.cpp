#include "support/file_services.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();  // the sanitizer runtime's count
#else
#include <malloc.h>
#endif

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "support/io_seam.h"
#include "tests/support/temp_folder.h"

namespace {

// Bytes the process holds from malloc, as the allocator in use counts them.
int64_t heapBytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
#endif
}

std::string patternBytes(size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) bytes += static_cast<char>((i * 31 + i / 256) & 0xFF);
    return bytes;
}

class FileServicesTest : public ::testing::Test {
   protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        setRenameFailure(false);
        closeAllFiles();
    }

    int writeText(int number, const std::string& bytes) {
        int taken = 1;
        for (char byte : bytes) taken &= writeByte(number, static_cast<unsigned char>(byte));
        return taken;
    }

    TempFolder folder;
};

TEST_F(FileServicesTest, ReadsDeliverTheFileInOrderAcrossTheBuffer) {
    struct Case {
        const char* what;
        size_t fileSize;
        std::vector<int64_t> requests;
    };
    const Case cases[] = {
        {"empty file read whole", 0, {0}},
        {"empty file asked for more", 0, {10, 1}},
        {"small file read whole", 10, {10, 1}},
        {"small file asked for more", 10, {100, 100}},
        {"zero-length read changes nothing", 10, {0, 3, 0, 7}},
        {"large file in one direct read", 10000, {10000, 1}},
        {"byte by byte past the buffer end", 4100, std::vector<int64_t>(4101, 1)},
        {"buffered remainder then refill", 10000, {3, 4096, 4096, 4096}},
        {"remainder then direct read", 10000, {1, 8000, 5000}},
        {"exactly one buffer then a byte", 8193, {4096, 4096, 1, 1}},
        {"just under a buffer each time", 9000, {4095, 4095, 4095}},
        {"buffer edge from a refill", 5000, {10, 4086, 1, 903, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = folder.file("data.bin");
        std::string bytes = patternBytes(c.fileSize);
        writeWholeFile(name, bytes);
        ASSERT_NE(openFileForReading(0, name), 0);
        size_t position = 0;
        for (int64_t request : c.requests) {
            std::vector<uint8_t> memory(static_cast<size_t>(request) + 1, 0xEE);
            int64_t expected = std::min<int64_t>(request, static_cast<int64_t>(bytes.size() - position));
            ASSERT_EQ(readData(0, memory.data(), request), expected) << "at " << position;
            ASSERT_EQ(std::string(memory.begin(), memory.begin() + expected),
                      bytes.substr(position, expected));
            EXPECT_EQ(memory[static_cast<size_t>(expected)], 0xEE) << "wrote past the delivered bytes";
            position += static_cast<size_t>(expected);
        }
        EXPECT_EQ(closeFile(0), 1);
    }
}

TEST_F(FileServicesTest, BytesWrittenOneByOneReachTheFileExactly) {
    struct Case {
        const char* what;
        size_t count;
        const char* before;  // nullptr: no file there yet
    };
    const Case cases[] = {
        {"nothing", 0, nullptr},
        {"one byte", 1, nullptr},
        {"one byte short of a flush", 4095, nullptr},
        {"first flush plus one", 4096, nullptr},
        {"ten thousand", 10000, nullptr},
        {"over a longer file", 5, "a much longer file that was there before"},
        {"over a shorter file", 10000, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = folder.file("out.bin");
        unlink(name.c_str());
        if (c.before != nullptr) writeWholeFile(name, c.before);
        std::string bytes = patternBytes(c.count);
        ASSERT_NE(createFile(0, name), 0);
        EXPECT_EQ(writeText(0, bytes), 1);
        EXPECT_EQ(closeFile(0), 1);
        EXPECT_EQ(readWholeFile(name), bytes);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"out.bin"});
    }
}

TEST_F(FileServicesTest, PiecesOfAnySizeReachTheFileInOrder) {
    struct Case {
        const char* what;
        std::vector<int64_t> pieces;  // 1: writeByte, more: writeData
    };
    const Case cases[] = {
        {"pieces filling the buffer exactly", {4095, 1, 4095}},
        {"a byte then a direct piece", {1, 4096, 1}},
        {"pieces around the flush point", {4094, 1, 1, 1, 4094, 2}},
        {"large pieces only", {10000, 4096, 8192}},
        {"small pieces across many buffers", std::vector<int64_t>(300, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = folder.file("pieces.bin");
        std::string expected;
        ASSERT_NE(createFile(0, name), 0);
        for (int64_t length : c.pieces) {
            std::string piece =
                patternBytes(expected.size() + static_cast<size_t>(length)).substr(expected.size());
            if (length == 1) {
                EXPECT_EQ(writeByte(0, static_cast<unsigned char>(piece[0])), 1);
            } else {
                EXPECT_EQ(writeData(0, piece.data(), length), length);
            }
            expected += piece;
        }
        EXPECT_EQ(closeFile(0), 1);
        EXPECT_EQ(readWholeFile(name), expected);
    }
}

TEST_F(FileServicesTest, BufferedBytesReachTheDiskInPiecesOf4095) {
    struct Case {
        const char* what;
        std::vector<int64_t> pieces;  // 1: writeByte, more: writeData
        int64_t onDisk;               // bytes in the file before it is closed
    };
    const Case cases[] = {
        {"buffer one short of full", std::vector<int64_t>(4095, 1), 0},
        {"one byte more flushes 4095", std::vector<int64_t>(4096, 1), 4095},
        {"two pieces", std::vector<int64_t>(8191, 1), 8190},
        {"a buffer or more goes straight out", {4096}, 4096},
        {"buffered bytes go first", {1, 4096}, 4097},
        {"smaller pieces are buffered", {4000}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(createFile(0, folder.file("pieces.bin")), 0);
        std::string bytes(10000, 'p');
        for (int64_t length : c.pieces) {
            if (length == 1) {
                writeByte(0, 'p');
            } else {
                writeData(0, bytes.data(), length);
            }
        }
        std::set<std::string> entries = folder.entries();
        ASSERT_EQ(entries.size(), 1u) << "only the temporary file exists before the close";
        struct stat info;
        ASSERT_EQ(stat(folder.file(*entries.begin()).c_str(), &info), 0);
        EXPECT_EQ(info.st_size, c.onDisk);
        EXPECT_EQ(closeFile(0), 1);
        unlink(folder.file("pieces.bin").c_str());
    }
}

TEST_F(FileServicesTest, ARunOfBytesReachesTheDiskAsThatManySingleBytes) {
    struct Case {
        const char* what;
        size_t before;  // single bytes first
        size_t run;
        size_t after;  // single bytes last
    };
    const Case cases[] = {
        {"shorter than the buffer", 0, 4000, 0},    {"up to one byte of room", 0, 4095, 0},
        {"over the first flush", 0, 4096, 0},       {"after single bytes, over many flushes", 100, 20000, 0},
        {"into the last byte of room", 4094, 3, 0}, {"then single bytes over a flush", 0, 8189, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = patternBytes(c.before + c.run + c.after);
        int64_t onDisk[2] = {-1, -1};
        std::string written[2];
        for (int byRun = 0; byRun < 2; ++byRun) {
            const std::string name = folder.file("run.bin");
            ASSERT_NE(createFile(0, name), 0);
            if (byRun) {
                writeText(0, bytes.substr(0, c.before));
                EXPECT_EQ(writeByteRun(0, bytes.data() + c.before, int64_t(c.run)), int64_t(c.run));
                writeText(0, bytes.substr(c.before + c.run));
            } else {
                writeText(0, bytes);
            }
            const std::set<std::string> entries = folder.entries();
            ASSERT_EQ(entries.size(), 1u);
            struct stat info;
            ASSERT_EQ(stat(folder.file(*entries.begin()).c_str(), &info), 0);
            onDisk[byRun] = info.st_size;
            EXPECT_EQ(closeFile(0), 1);
            written[byRun] = readWholeFile(name);
            unlink(name.c_str());
        }
        EXPECT_EQ(onDisk[1], onDisk[0]);
        EXPECT_EQ(written[1], bytes);
        EXPECT_EQ(written[0], bytes);
    }
}

TEST_F(FileServicesTest, ACreatedFileReachesItsNameOnlyWhenClosed) {
    std::string name = folder.file("late.bin");
    writeWholeFile(name, "old");
    ASSERT_NE(createFile(0, name), 0);
    writeText(0, std::string(9000, 'n'));
    EXPECT_EQ(readWholeFile(name), "old");
    EXPECT_EQ(closeFile(0), 1);
    EXPECT_EQ(readWholeFile(name), std::string(9000, 'n'));
}

TEST_F(FileServicesTest, FailedWritesAreReportedAndKeepTheOldFile) {
    struct Case {
        const char* what;
        int64_t writeFailsAfter;
        bool renameFails;
        size_t count;
    };
    const Case cases[] = {
        {"disk full at once", 0, false, 10},
        {"disk full at the first flush", 100, false, 10000},
        {"disk full at the last flush", 8190, false, 10000},
        {"disk full on the flush of the close", 4095, false, 4096},
        {"rename refused", -1, true, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = folder.file("precious.bin");
        writeWholeFile(name, "precious contents");
        ASSERT_NE(createFile(0, name), 0);
        setWriteFailureAfter(c.writeFailsAfter);
        setRenameFailure(c.renameFails);
        EXPECT_EQ(writeText(0, patternBytes(c.count)), 1) << "writeByte takes the byte either way";
        EXPECT_EQ(closeFile(0), 0);
        setWriteFailureAfter(-1);
        setRenameFailure(false);
        EXPECT_EQ(readWholeFile(name), "precious contents");
        EXPECT_EQ(folder.entries(), std::set<std::string>{"precious.bin"});
    }
}

TEST_F(FileServicesTest, AWriteToAFileOpenedForReadingFailsAtClose) {
    std::string name = folder.file("read.bin");
    writeWholeFile(name, "abcdef");
    ASSERT_NE(openFileForReading(0, name), 0);
    char two[2];
    EXPECT_EQ(readData(0, two, 2), 2);
    EXPECT_EQ(writeByte(0, 'X'), 1);
    EXPECT_EQ(closeFile(0), 0);
    EXPECT_EQ(readWholeFile(name), "abcdef");
}

TEST_F(FileServicesTest, UnsuitableNamesAreNotOpened) {
    std::string fifo = folder.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string subfolder = folder.file("sub");
    ASSERT_EQ(mkdir(subfolder.c_str(), 0755), 0);
    struct Case {
        std::string name;
        bool forReading;
        bool forCreating;
    };
    const Case cases[] = {
        {fifo, false, false},
        {subfolder, false, false},
        {subfolder + "/", false, false},
        {folder.file("missing.bin"), false, true},
        {folder.file("missing/inner.bin"), false, false},
        {"", false, false},
        {"/dev/null", false, false},
        {std::string("nul\0byte", 8), false, false},
    };
    alarm(20);  // a pipe opened the blocking way would hang here
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openFileForReading(1, c.name) != 0, c.forReading);
        EXPECT_EQ(closeFile(1), c.forReading ? 1 : 0);
        EXPECT_EQ(createFile(1, c.name) != 0, c.forCreating);
        EXPECT_EQ(closeFile(1), c.forCreating ? 1 : 0);
    }
    alarm(0);
}

TEST_F(FileServicesTest, NumbersThatHoldNoFileDoNothing) {
    uint8_t byte = 0;
    std::string existing = folder.file("existing.bin");
    writeWholeFile(existing, "x");
    const int numbers[] = {0, 5, 16, 1000, -1, INT_MAX, INT_MIN};
    for (int number : numbers) {
        SCOPED_TRACE(number);
        EXPECT_EQ(readData(number, &byte, 1), 0);
        EXPECT_EQ(writeByte(number, 1), 0);
        EXPECT_EQ(writeData(number, &byte, 1), 0);
        EXPECT_EQ(closeFile(number), 0);
        EXPECT_EQ(openFileForReading(number, existing) != 0, number >= 0 && number <= 1000);
        EXPECT_EQ(createFile(number, folder.file("n.bin")) != 0, number >= 0 && number <= 1000);
        closeFile(number);
    }
}

TEST_F(FileServicesTest, ReusingANumberClosesAndKeepsItsFile) {
    std::string first = folder.file("first.bin");
    std::string second = folder.file("second.bin");
    ASSERT_NE(createFile(17, first), 0);
    writeText(17, "one");
    ASSERT_NE(createFile(17, second), 0);
    writeText(17, "two");
    ASSERT_NE(createFile(40, folder.file("third.bin")), 0);
    writeText(40, "three");
    closeAllFiles();
    EXPECT_EQ(readWholeFile(first), "one");
    EXPECT_EQ(readWholeFile(second), "two");
    EXPECT_EQ(readWholeFile(folder.file("third.bin")), "three");
    EXPECT_EQ(closeFile(17), 0);
}

TEST_F(FileServicesTest, ReadingACreatedFileFlushesItFirst) {
    std::string name = folder.file("both.bin");
    ASSERT_NE(createFile(0, name), 0);
    writeText(0, "abc");
    uint8_t byte = 0;
    EXPECT_EQ(readData(0, &byte, 1), 0) << "the position is at the end of what was written";
    writeText(0, "def");
    EXPECT_EQ(closeFile(0), 1);
    EXPECT_EQ(readWholeFile(name), "abcdef");
}

TEST_F(FileServicesTest, FileSize) {
    writeWholeFile(folder.file("ten.bin"), "0123456789");
    writeWholeFile(folder.file("empty.bin"), "");
    mkdir(folder.file("sub").c_str(), 0755);
    symlink("ten.bin", folder.file("link").c_str());
    symlink("nowhere", folder.file("dangling").c_str());
    struct Case {
        std::string name;
        int64_t size;
    };
    const Case cases[] = {
        {folder.file("ten.bin"), 10},
        {folder.file("empty.bin"), 0},
        {folder.file("link"), 10},
        {folder.file("dangling"), -1},
        {folder.file("sub"), -2},
        {folder.file("sub/"), -2},
        {folder.file("sub///"), -2},
        {folder.path(), -2},
        {"/", -2},
        {"//", -2},
        {folder.file("ten.bin/"), 10},
        {folder.file("missing"), -1},
        {folder.file("missing/"), -1},
        {"", -1},
        {std::string(5000, 'a'), -1},
        {std::string("ten\0.bin", 8), -1},
    };
    for (const Case& c : cases) EXPECT_EQ(fileSize(c.name), c.size) << c.name.substr(0, 100);
}

TEST_F(FileServicesTest, FileSizeBeyond32Bits) {
    std::string name = folder.file("sparse.bin");
    writeWholeFile(name, "");
    ASSERT_EQ(truncate(name.c_str(), (int64_t{5} << 30) + 3), 0);
    EXPECT_EQ(fileSize(name), (int64_t{5} << 30) + 3);
}

TEST_F(FileServicesTest, CurrentDirectoryEndsInASlash) {
    std::string saved = currentDirectory();
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved.back(), '/');

    std::string deep = folder.path();
    for (int level = 0; level < 30; ++level) {
        deep += "/" + std::string(20, static_cast<char>('a' + level % 26));
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    const std::string cases[] = {"/", folder.path(), deep};
    for (const std::string& folderName : cases) {
        ASSERT_EQ(chdir(folderName.c_str()), 0);
        EXPECT_EQ(currentDirectory(), folderName == "/" ? "/" : folderName + "/");
    }
    ASSERT_EQ(chdir(saved.c_str()), 0);
}

TEST(FileNamePartsTest, PathAndFileParts) {
    struct Case {
        std::string name;
        std::string path;
        std::string file;
    };
    const Case cases[] = {
        {"/home/user/data.bin", "/home/user/", "data.bin"},
        {"data.bin", "", "data.bin"},
        {"", "", ""},
        {"/", "/", ""},
        {"/home/user/", "/home/user/", ""},
        {"dir/sub/", "dir/sub/", ""},
        {"a\\b.bin", "", "a\\b.bin"},
        {"dir\\x/y\\z", "dir\\x/", "y\\z"},
        {"\"/quoted/name.bin\"", "/quoted/", "name.bin"},
        {"\"plain.bin\"", "", "plain.bin"},
        {"\"", "", ""},
        {"/a/b|/c/d", "/a/", "d"},
        {"|/a/b", "", "b"},
        {"\"/a/b.bin\" /c/", "/a/b.bin\" /c/", ""},
        {"/a/x\"y", "/a/", "x"},
        {"//double//slash", "//double//", "slash"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pathPart(c.name), c.path) << c.name;
        EXPECT_EQ(filePart(c.name), c.file) << c.name;
    }
}

TEST(MemoryBlocksTest, RefusedSizes) {
    const int64_t sizes[] = {0, -1, INT64_MIN, int64_t{1} << 40, INT64_MAX};
    for (int64_t size : sizes) EXPECT_EQ(allocateMemory(size), nullptr) << size;
}

TEST(MemoryBlocksTest, BlocksAreZeroFilledAndReadAsUnsignedBytes) {
    const int64_t sizes[] = {1, 16, 4096, 1 << 20};
    for (int64_t size : sizes) {
        uint8_t* block = allocateMemory(size);
        ASSERT_NE(block, nullptr);
        for (int64_t i = 0; i < size; ++i) ASSERT_EQ(peekByte(block + i), 0) << size << "@" << i;
        block[size - 1] = 0x80;
        EXPECT_EQ(peekByte(block + size - 1), 128);
        block[0] = 0xFF;
        EXPECT_EQ(peekByte(block), 255);
        freeMemory(block);
    }
    EXPECT_EQ(peekByte(nullptr), 0);
}

TEST(MemoryBlocksTest, ReleaseAllFreesWhatIsStillHeldAndForeignPointersAreIgnored) {
    const int64_t before = heapBytesInUse();
    for (int i = 0; i < 100; ++i) ASSERT_NE(allocateMemory((1 << 20) + i), nullptr);
    EXPECT_GE(heapBytesInUse() - before, int64_t{100} << 20);
    uint8_t local = 7;
    freeMemory(&local);  // freeing a stack address would crash
    freeMemory(nullptr);
    uint8_t* kept = allocateMemory(10);
    freeMemory(kept);
    freeMemory(kept);  // a second free of the same block is ignored
    releaseAllMemory();
    releaseAllMemory();
    EXPECT_LT(heapBytesInUse() - before, int64_t{1} << 20);
}

}  // namespace
