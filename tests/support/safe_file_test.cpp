#include "support/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <set>
#include <string>

#include "support/io_seam.h"
#include "tests/support/temp_folder.h"

namespace {

class SafeFileTest : public ::testing::Test {
   protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        setShortWrites(0);
        setRenameFailure(false);
    }
    TempFolder folder;
};

int writeAndCommit(const std::string& name, const std::string& bytes) {
    SafeFile* f = beginSafeFile(name);
    if (f == nullptr) return -1;
    int written = safeWrite(f, bytes.data(), bytes.size());
    int committed = commitSafeFile(f);
    return written && committed;
}

TEST_F(SafeFileTest, CommittedBytesReplaceTheTargetAndNoTemporaryFileStays) {
    struct Case {
        const char* what;
        const char* before;  // nullptr: no file there yet
        std::string written;
    };
    const Case cases[] = {
        {"new file", nullptr, "hello"},
        {"empty new file", nullptr, ""},
        {"longer file shrinks", "0123456789abcdef", "xyz"},
        {"shorter file grows", "a", std::string(100000, 'q')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string target = folder.file("out.bin");
        unlink(target.c_str());
        if (c.before != nullptr) writeWholeFile(target, c.before);
        EXPECT_EQ(writeAndCommit(target, c.written), 1);
        EXPECT_EQ(readWholeFile(target), c.written);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"out.bin"});
    }
}

TEST_F(SafeFileTest, FailuresLeaveTheOldFileUntouchedAndNoTemporaryFile) {
    struct Case {
        const char* what;
        int64_t writeFailsAfter;  // -1: writes succeed
        bool renameFails;
        bool discard;
    };
    const Case cases[] = {
        {"disk full before the first byte", 0, false, false}, {"disk full in the middle", 3000, false, false},
        {"disk full at the last byte", 9999, false, false},   {"rename refused", -1, true, false},
        {"discarded by the caller", -1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string target = folder.file("keep.txt");
        writeWholeFile(target, "the old contents");
        SafeFile* f = beginSafeFile(target);
        ASSERT_NE(f, nullptr);
        setWriteFailureAfter(c.writeFailsAfter);
        setRenameFailure(c.renameFails);
        std::string bytes(10000, 'n');
        int written = safeWrite(f, bytes.data(), bytes.size());
        EXPECT_EQ(written, c.writeFailsAfter < 0 ? 1 : 0);
        if (c.discard) {
            discardSafeFile(f);
        } else {
            EXPECT_EQ(commitSafeFile(f), 0);
        }
        setWriteFailureAfter(-1);
        setRenameFailure(false);
        EXPECT_EQ(readWholeFile(target), "the old contents");
        EXPECT_EQ(folder.entries(), std::set<std::string>{"keep.txt"});
    }
}

TEST_F(SafeFileTest, AFailedWriteIsRememberedEvenWhenLaterWritesCouldSucceed) {
    std::string target = folder.file("late.txt");
    SafeFile* f = beginSafeFile(target);
    ASSERT_NE(f, nullptr);
    setWriteFailureAfter(2);
    EXPECT_EQ(safeWrite(f, "abcd", 4), 0);
    setWriteFailureAfter(-1);
    EXPECT_EQ(safeWrite(f, "efgh", 4), 0);
    EXPECT_EQ(commitSafeFile(f), 0);
    EXPECT_FALSE(fileExists(target));
    EXPECT_TRUE(folder.entries().empty());
}

TEST_F(SafeFileTest, WritesCutShortAreContinuedUntilEveryByteIsOut) {
    std::string target = folder.file("chunks.bin");
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes += static_cast<char>(i * 7);
    setShortWrites(7);
    EXPECT_EQ(writeAndCommit(target, bytes), 1);
    EXPECT_EQ(readWholeFile(target), bytes);
}

TEST_F(SafeFileTest, UnsuitableTargetsAreRefusedWithoutTouchingAnything) {
    std::string readOnly = folder.file("readonly.txt");
    writeWholeFile(readOnly, "locked");
    chmod(readOnly.c_str(), 0444);
    std::string subfolder = folder.file("sub");
    mkdir(subfolder.c_str(), 0755);
    std::string fifo = folder.file("pipe");
    mkfifo(fifo.c_str(), 0644);

    const std::string cases[] = {
        readOnly,
        subfolder,
        subfolder + "/",
        fifo,
        folder.file("missing/folder/file.txt"),
        "",
        std::string("with\0zero", 9),
    };
    std::set<std::string> before = folder.entries();
    for (const std::string& name : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(beginSafeFile(name), nullptr);
    }
    EXPECT_EQ(folder.entries(), before);
    EXPECT_EQ(readWholeFile(readOnly), "locked");
}

TEST_F(SafeFileTest, ALinkKeepsPointingAtTheReplacedFile) {
    std::string real = folder.file("real.txt");
    std::string link = folder.file("link.txt");
    writeWholeFile(real, "old");
    ASSERT_EQ(symlink("real.txt", link.c_str()), 0);
    EXPECT_EQ(writeAndCommit(link, "new"), 1);
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readWholeFile(real), "new");
}

TEST_F(SafeFileTest, PermissionBitsAreKeptOrComeFromTheUmask) {
    std::string kept = folder.file("kept.txt");
    writeWholeFile(kept, "x");
    chmod(kept.c_str(), 0640);
    EXPECT_EQ(writeAndCommit(kept, "y"), 1);
    struct stat info;
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    mode_t old = umask(027);
    std::string fresh = folder.file("fresh.txt");
    EXPECT_EQ(writeAndCommit(fresh, "z"), 1);
    umask(old);
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(SafeFileTest, TheOwnerOfAReplacedFileIsKeptWhereAllowed) {
    if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
    std::string owned = folder.file("owned.txt");
    writeWholeFile(owned, "x");
    ASSERT_EQ(chown(owned.c_str(), 1234, 5678), 0);
    EXPECT_EQ(writeAndCommit(owned, "y"), 1);
    struct stat info;
    ASSERT_EQ(stat(owned.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
}

TEST_F(SafeFileTest, ANameAtTheLengthLimitStillGetsATemporaryFile) {
    std::string target = folder.file(std::string(NAME_MAX, 'L'));
    EXPECT_EQ(writeAndCommit(target, "long"), 1);
    EXPECT_EQ(readWholeFile(target), "long");
    EXPECT_EQ(folder.entries().size(), 1u);
}

TEST_F(SafeFileTest, NullHandlesAreHarmless) {
    EXPECT_EQ(safeWrite(nullptr, "a", 1), 0);
    EXPECT_EQ(commitSafeFile(nullptr), 0);
    discardSafeFile(nullptr);
}

}  // namespace
