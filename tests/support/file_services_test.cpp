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
#include <string>
#include <vector>

#include "support/safe_file.h"
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
    void TearDown() override { closeAllFiles(); }
    TempFolder folder;
};

TEST_F(FileServicesTest, ReadsDeliverTheFileInOrderAcrossTheBuffer) {
    struct Case {
        const char* what;
        size_t fileSize;
        std::vector<int64_t> requests;
        // clang-format off
    } cases[] = {
        {"empty file", 0, {0, 10, 1}}, {"small file asked for more", 10, {0, 3, 0, 100, 100}},
        {"large file in one direct read", 10000, {10000, 1}},
        {"byte by byte past the buffer end", 4100, std::vector<int64_t>(4101, 1)},
        {"buffered remainder then refill", 10000, {3, 4096, 4096, 4096}},
        {"remainder then direct read", 10000, {1, 8000, 5000}},
        {"exactly one buffer then a byte", 8193, {4096, 4096, 1, 1}},
        {"just under a buffer each time", 9000, {4095, 4095, 4095}},
        {"buffer edge from a refill", 5000, {10, 4086, 1, 903, 1}}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = patternBytes(c.fileSize);
        writeWholeFile(folder.file("data.bin"), bytes);
        ASSERT_NE(openFileForReading(0, folder.file("data.bin")), 0);
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

// Single bytes and runs of them go out in pieces of 4095 bytes, larger pieces straight
// through; nothing reaches the file's name before it is closed.
TEST_F(FileServicesTest, WrittenPiecesReachTheDiskInOrderAndOnTime) {
    struct Piece {
        char kind;  // 'b': writeByte, 'r': writeByteRun, 'd': writeData
        int64_t length;
        int times;
    };
    struct Case {
        const char* what;
        std::vector<Piece> pieces;
        int64_t onDisk;  // bytes in the temporary file before the close
        // clang-format off
    } cases[] = {
        {"nothing", {}, 0}, {"single bytes one short of a flush", {{'b', 1, 4095}}, 0},
        {"one byte more flushes 4095", {{'b', 1, 4096}}, 4095}, {"two flushes", {{'b', 1, 8191}}, 8190},
        {"a buffer or more goes straight out", {{'d', 4096, 1}}, 4096},
        {"buffered bytes go first", {{'b', 1, 1}, {'d', 4096, 1}}, 4097},
        {"smaller pieces are buffered", {{'d', 4000, 1}}, 0},
        {"pieces filling the buffer exactly", {{'d', 4095, 1}, {'b', 1, 1}, {'d', 4095, 1}}, 4096},
        {"pieces around the flush point", {{'d', 4094, 1}, {'b', 1, 3}, {'d', 4094, 1}, {'d', 2, 1}}, 8191},
        {"small pieces across many buffers", {{'d', 100, 300}}, 28000},
        {"run shorter than the buffer", {{'r', 4000, 1}}, 0},
        {"run up to one byte of room", {{'r', 4095, 1}}, 0},
        {"run over the first flush", {{'r', 4096, 1}}, 4095},
        {"run after single bytes, over many flushes", {{'b', 1, 100}, {'r', 20000, 1}}, 16380},
        {"run into the last byte of room", {{'b', 1, 4094}, {'r', 3, 1}}, 4095},
        {"run then single bytes over a flush", {{'r', 8189, 1}, {'b', 1, 3}}, 8190}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = folder.file("pieces.bin");
        ASSERT_NE(createFile(0, name), 0);
        std::string expected;
        for (const Piece& piece : c.pieces) {
            for (int i = 0; i < piece.times; ++i) {
                const std::string bytes =
                    patternBytes(expected.size() + size_t(piece.length)).substr(expected.size());
                const int64_t taken = piece.kind == 'b'   ? writeByte(0, static_cast<unsigned char>(bytes[0]))
                                      : piece.kind == 'r' ? writeByteRun(0, bytes.data(), piece.length)
                                                          : writeData(0, bytes.data(), piece.length);
                EXPECT_EQ(taken, piece.length);
                expected += bytes;
            }
        }
        const std::set<std::string> entries = folder.entries();
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_FALSE(fileExists(name)) << "only the temporary file exists before the close";
        EXPECT_EQ(fileSize(folder.file(*entries.begin())), c.onDisk);
        EXPECT_EQ(closeFile(0), 1);
        EXPECT_EQ(readWholeFile(name), expected);
        unlink(name.c_str());
    }
}

TEST_F(FileServicesTest, ReadingAndWritingOneFile) {
    const std::string name = folder.file("both.bin");
    ASSERT_NE(createFile(0, name), 0);
    writeByteRun(0, "abc", 3);
    uint8_t byte = 0;
    EXPECT_EQ(readData(0, &byte, 1), 0) << "the position is at the end of what was written";
    writeData(0, "def", 3);
    EXPECT_EQ(closeFile(0), 1);
    EXPECT_EQ(readWholeFile(name), "abcdef");

    ASSERT_NE(openFileForReading(0, name), 0);
    char two[2];
    EXPECT_EQ(readData(0, two, 2), 2);
    EXPECT_EQ(writeByte(0, 'X'), 1);
    EXPECT_EQ(closeFile(0), 0) << "a file opened for reading takes no bytes";
    EXPECT_EQ(readWholeFile(name), "abcdef");
}

TEST_F(FileServicesTest, UnsuitableNamesAreNotOpenedForReading) {
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(folder.file("sub").c_str(), 0755), 0);
    // clang-format off
    const std::string names[] = {
        folder.file("pipe"), folder.file("sub"), folder.file("missing"), "", "/dev/null",
        std::string("nul\0byte", 8)
    };
    // clang-format on
    alarm(20);  // a pipe opened the blocking way would hang here
    for (const std::string& name : names) {
        EXPECT_EQ(openFileForReading(1, name), 0) << name;
        EXPECT_EQ(closeFile(1), 0) << name;
    }
    alarm(0);
}

TEST_F(FileServicesTest, NumbersThatHoldNoFileDoNothingAndNumbersAreReused) {
    uint8_t byte = 0;
    const std::string existing = folder.file("existing.bin");
    writeWholeFile(existing, "x");
    for (int number : {0, 5, 16, 1000, -1, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(readData(number, &byte, 1), 0);
        EXPECT_EQ(writeByte(number, 1) + writeData(number, &byte, 1) + writeByteRun(number, &byte, 1), 0);
        EXPECT_EQ(closeFile(number), 0);
        EXPECT_EQ(openFileForReading(number, existing) != 0, number >= 0 && number <= 1000);
        EXPECT_EQ(createFile(number, folder.file("n.bin")) != 0, number >= 0 && number <= 1000);
        closeFile(number);
    }
    ASSERT_NE(createFile(17, folder.file("first.bin")), 0);
    writeByte(17, '1');
    ASSERT_NE(createFile(17, folder.file("second.bin")), 0);
    writeByte(17, '2');
    ASSERT_NE(createFile(40, folder.file("third.bin")), 0);
    writeByte(40, '3');
    closeAllFiles();
    EXPECT_EQ(readWholeFile(folder.file("first.bin")) + readWholeFile(folder.file("second.bin")) +
                  readWholeFile(folder.file("third.bin")),
              "123");
    EXPECT_EQ(closeFile(17), 0);
    EXPECT_EQ(safeWrite(nullptr, "a", 1) + commitSafeFile(nullptr) + safeFileDescriptor(nullptr), -1);
    discardSafeFile(nullptr);
}

TEST_F(FileServicesTest, FileSize) {
    writeWholeFile(folder.file("ten.bin"), "0123456789");
    writeWholeFile(folder.file("empty.bin"), "");
    writeWholeFile(folder.file("sparse.bin"), "");
    ASSERT_EQ(truncate(folder.file("sparse.bin").c_str(), (int64_t{5} << 30) + 3), 0);
    mkdir(folder.file("sub").c_str(), 0755);
    symlink("ten.bin", folder.file("link").c_str());
    symlink("nowhere", folder.file("dangling").c_str());
    // clang-format off
    const std::pair<std::string, int64_t> cases[] = {
        {folder.file("ten.bin"), 10}, {folder.file("empty.bin"), 0}, {folder.file("link"), 10},
        {folder.file("dangling"), -1}, {folder.file("sub"), -2}, {folder.file("sub///"), -2},
        {folder.path(), -2}, {"/", -2}, {"//", -2}, {folder.file("ten.bin/"), 10},
        {folder.file("missing"), -1}, {folder.file("missing/"), -1}, {"", -1}, {std::string(5000, 'a'), -1},
        {std::string("ten\0.bin", 8), -1}, {folder.file("sparse.bin"), (int64_t{5} << 30) + 3}
    };
    // clang-format on
    for (const auto& [name, size] : cases) EXPECT_EQ(fileSize(name), size) << name.substr(0, 100);
}

TEST_F(FileServicesTest, CurrentDirectoryEndsInASlash) {
    const std::string saved = currentDirectory();
    ASSERT_FALSE(saved.empty());
    std::string deep = folder.path();
    for (int level = 0; level < 30; ++level) {
        deep += "/" + std::string(20, static_cast<char>('a' + level % 26));
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    for (const std::string& folderName : {std::string("/"), folder.path(), deep}) {
        ASSERT_EQ(chdir(folderName.c_str()), 0);
        EXPECT_EQ(currentDirectory(), folderName == "/" ? "/" : folderName + "/");
    }
    ASSERT_EQ(chdir(saved.c_str()), 0);
    EXPECT_EQ(saved.back(), '/');
}

TEST(FileNamePartsTest, PathAndFileParts) {
    // clang-format off
    const char* const cases[][3] = {
        {"/home/user/data.bin", "/home/user/", "data.bin"}, {"data.bin", "", "data.bin"}, {"", "", ""},
        {"/", "/", ""}, {"dir/sub/", "dir/sub/", ""}, {"dir\\x/y\\z", "dir\\x/", "y\\z"},
        {"\"/quoted/name.bin\"", "/quoted/", "name.bin"}, {"\"plain.bin\"", "", "plain.bin"}, {"\"", "", ""},
        {"/a/b|/c/d", "/a/", "d"}, {"|/a/b", "", "b"}, {"\"/a/b.bin\" /c/", "/a/b.bin\" /c/", ""},
        {"/a/x\"y", "/a/", "x"}, {"//double//slash", "//double//", "slash"}
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(pathPart(c[0]), c[1]) << c[0];
        EXPECT_EQ(filePart(c[0]), c[2]) << c[0];
    }
}

TEST(MemoryBlocksTest, ZeroFilledBlocksRefusedSizesAndRelease) {
    for (int64_t size : {int64_t{0}, int64_t{-1}, INT64_MIN, int64_t{1} << 40, INT64_MAX})
        EXPECT_EQ(allocateMemory(size), nullptr) << size;
    const int64_t before = heapBytesInUse();
    for (int64_t size : {1, 4096, 1 << 20}) {
        uint8_t* block = allocateMemory(size);
        ASSERT_NE(block, nullptr);
        int64_t nonZero = 0;
        for (int64_t i = 0; i < size; ++i) nonZero += peekByte(block + i) != 0;
        EXPECT_EQ(nonZero, 0) << size;
        block[size - 1] = 0x80;
        EXPECT_EQ(peekByte(block + size - 1), 128);
    }
    EXPECT_EQ(peekByte(nullptr), 0);
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
