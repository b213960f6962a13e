#include "support/file_services.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "support/safe_file.h"
#include "tests/support/temp_folder.h"

// Bytes held from malloc as the allocator in use counts them: the sanitizer's when there is one.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
static int64_t heapBytesInUse() {
    return __sanitizer_get_current_allocated_bytes ? __sanitizer_get_current_allocated_bytes()
                                                   : mallinfo2().uordblks + mallinfo2().hblkhd;
}

namespace {

class FileServicesTest : public ::testing::Test {
   protected:
    void TearDown() override { closeAllFiles(); }
    TempFolder folder;
};

TEST_F(FileServicesTest, ReadsDeliverTheFileInOrderAcrossTheBuffer) {
    // clang-format off
    const std::pair<size_t, std::vector<int64_t>> cases[] = {  // file size, reads
        {0, {0, 10, 1}}, {10, {0, 3, 0, 100, 100}}, {10000, {10000, 1}}, {4100, std::vector<int64_t>(4101, 1)},
        {10000, {3, 4096, 4096, 4096}}, {10000, {1, 8000, 5000}}, {8193, {4096, 4096, 1, 1}},
        {9000, {4095, 4095, 4095}}, {5000, {10, 4086, 1, 903, 1}}};
    // clang-format on
    for (const auto& [fileSize, requests] : cases) {
        SCOPED_TRACE(fileSize);
        const std::string bytes = patternBytes(0, fileSize);
        writeWholeFile(folder.file("data.bin"), bytes);
        ASSERT_NE(openFileForReading(0, folder.file("data.bin")), 0);
        size_t position = 0;
        for (int64_t request : requests) {
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

// Pieces: "b" that many writeByte calls, "r" one writeByteRun, "d" one writeData, "*n" n times.
TEST_F(FileServicesTest, WrittenPiecesReachTheDiskInOrderAndOnTime) {
    // clang-format off
    const std::pair<std::string, int64_t> cases[] = {  // pieces, bytes in the temporary file before the close
        {"", 0}, {"b4095", 0}, {"b4096", 4095}, {"b8191", 8190}, {"d4096", 4096}, {"b1 d4096", 4097}, {"d4000", 0},
        {"d4095 b1 d4095", 4096}, {"d4094 b3 d4094 d2", 8191}, {"d100*300", 28000}, {"r4000", 0}, {"r4095", 0},
        {"r4096", 4095}, {"b100 r20000", 16380}, {"b4094 r3", 4095}, {"r8189 b3", 8190}};
    // clang-format on
    for (const auto& [pieces, onDisk] : cases) {
        SCOPED_TRACE(pieces);
        const std::string name = folder.file("pieces.bin");
        ASSERT_NE(createFile(0, name), 0);
        std::string expected;
        for (size_t at = 0, end; at < pieces.size(); at = end + 1) {
            end = std::min(pieces.find(' ', at), pieces.size());
            const size_t star = pieces.find('*', at);
            const int64_t length = std::stoll(pieces.substr(at + 1)),
                          times = star < end ? std::stoll(pieces.substr(star + 1)) : 1;
            for (int64_t i = 0; i < (pieces[at] == 'b' ? length : times); ++i) {
                const std::string bytes =
                    patternBytes(expected.size(), pieces[at] == 'b' ? 1 : size_t(length));
                EXPECT_EQ(pieces[at] == 'b'   ? writeByte(0, static_cast<unsigned char>(bytes[0]))
                          : pieces[at] == 'r' ? writeByteRun(0, bytes.data(), length)
                                              : writeData(0, bytes.data(), length),
                          int64_t(bytes.size()));
                expected += bytes;
            }
        }
        const std::set<std::string> entries = folder.entries();
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_FALSE(fileExists(name)) << "only the temporary file exists before the close";
        EXPECT_EQ(fileSize(folder.file(*entries.begin())), onDisk);
        EXPECT_EQ(closeFile(0), 1);
        EXPECT_EQ(readWholeFile(name), expected);
        unlink(name.c_str());
    }
}

TEST_F(FileServicesTest, UnsuitableNamesAndNumbersAreRefusedFileSizeAndCurrentDirectory) {
    const std::string name = folder.file("both.bin");
    writeWholeFile(name, "abc");
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0644) | mkdir(folder.file("sub").c_str(), 0755), 0);
    alarm(20);  // a pipe opened the blocking way would hang here
    for (const std::string& unsuitable :
         {folder.file("pipe"), folder.file("sub"), folder.file("missing"), std::string(),
          std::string("/dev/null"), std::string("nul\0byte", 8)})
        EXPECT_EQ(openFileForReading(1, unsuitable) + closeFile(1), 0) << unsuitable;
    alarm(0);
    uint8_t byte = 0;
    for (int number : {0, 5, 16, 1000, -1, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(readData(number, &byte, 1) + closeFile(number), 0);
        EXPECT_EQ(writeByte(number, 1) + writeData(number, &byte, 1) + writeByteRun(number, &byte, 1), 0);
        EXPECT_EQ(openFileForReading(number, name) != 0, number >= 0 && number <= 1000);
        EXPECT_EQ(createFile(number, folder.file("n.bin")) != 0, number >= 0 && number <= 1000);
        closeFile(number);
    }
    EXPECT_EQ(safeWrite(nullptr, "a", 1) + commitSafeFile(nullptr) + safeFileDescriptor(nullptr), -1);
    discardSafeFile(nullptr);
    writeWholeFile(folder.file("ten.bin"), "0123456789");
    for (const char* empty : {"empty.bin", "sparse.bin"}) writeWholeFile(folder.file(empty), "");
    ASSERT_EQ(truncate(folder.file("sparse.bin").c_str(), (int64_t{5} << 30) + 3), 0);
    ASSERT_EQ(
        symlink("ten.bin", folder.file("link").c_str()) | symlink("nowhere", folder.file("dangling").c_str()),
        0);
    // clang-format off
    const std::pair<std::string, int64_t> cases[] = {
        {folder.file("ten.bin"), 10}, {folder.file("empty.bin"), 0}, {folder.file("link"), 10},
        {folder.file("dangling"), -1}, {folder.file("sub"), -2}, {folder.file("sub///"), -2},
        {folder.path(), -2}, {"/", -2}, {"//", -2}, {folder.file("ten.bin/"), 10},
        {folder.file("missing"), -1}, {folder.file("missing/"), -1}, {"", -1}, {std::string(5000, 'a'), -1},
        {std::string("ten\0.bin", 8), -1}, {folder.file("sparse.bin"), (int64_t{5} << 30) + 3}};
    // clang-format on
    for (const auto& [name, size] : cases) EXPECT_EQ(fileSize(name), size) << name.substr(0, 100);

    const std::string saved = currentDirectory();
    std::string deep = folder.path();
    for (int level = 0; level < 30; ++level)
        ASSERT_EQ(mkdir((deep += "/" + std::string(20, 'd')).c_str(), 0755), 0);
    for (const std::string& folderName : {std::string("/"), folder.path(), deep}) {
        ASSERT_EQ(chdir(folderName.c_str()), 0);
        EXPECT_EQ(currentDirectory(), folderName == "/" ? "/" : folderName + "/");
    }
    ASSERT_EQ(chdir(saved.c_str()), 0);
    EXPECT_EQ(saved.back(), '/');
}

TEST(MemoryBlocksTest, ZeroFilledBlocksRefusedSizesAndRelease) {
    for (int64_t size : {int64_t{0}, int64_t{-1}, INT64_MIN, int64_t{1} << 40, INT64_MAX})
        EXPECT_EQ(allocateMemory(size), nullptr) << size;
    for (int64_t size : {1, 4096, 1 << 20}) {
        uint8_t* block = allocateMemory(size);
        ASSERT_EQ(block == nullptr ? -1 : std::count(block, block + size, 0), size);
        block[size - 1] = 0x80;
        EXPECT_EQ(peekByte(block + size - 1) + peekByte(nullptr), 128) << size;
    }
    uint8_t local = 7, *kept = allocateMemory(10);  // freed: a stack address, a block twice, nothing
    for (uint8_t* block : {&local, kept, kept, static_cast<uint8_t*>(nullptr)}) freeMemory(block);
    const int64_t held = heapBytesInUse();
    releaseAllMemory();
    EXPECT_GE(held - heapBytesInUse(), (1 << 20) + 4096);  // the blocks still held
    releaseAllMemory();
}

}  // namespace
