#include "support/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <set>
#include <string>

#include "support/io_seam.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"

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

bool isLink(const std::string& name) {
    struct stat info;
    return lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Links are written through only as an ordinary open allows, and in place; a file whose
// folder takes no new file is rewritten in place. Run as a user whom permissions bind.
TEST_F(SafeFileTest, LinksAndLockedFoldersAreWrittenOnlyAsAnOrdinaryOpenAllows) {
    constexpr const char* kOld = "the old contents";
    const std::string at = folder.path() + "/";
    const bool root = geteuid() == 0;
    if (root) {
        // Another user's link, planted in a shared sticky folder, to the writer's file; and a
        // file the writer may not write.
        plantLinkOfAnotherUser(folder.path(), "pl2.ini", "../victim.txt");
        writeWholeFile(at + "foreign.txt", kOld);
    }
    struct Case {
        const char* what;
        const char* name;  // written with "new"
        bool written;
        const char* checked;  // then holds `holds`
        const char* holds;    // nullptr: `checked` does not exist
        bool madeByRoot;      // needs a file of another user
    };
    const Case cases[] = {
        {"own link to own file: written in place", "link-to-mine", true, "mine.txt", "new", false},
        {"dangling link", "dangling", false, "nowhere.txt", nullptr, false},
        {"link to a read-only file", "link-to-readonly", false, "readonly.txt", kOld, false},
        {"writable file in a locked folder: rewritten in place", "locked/kept.txt", true, "locked/kept.txt",
         "new", false},
        {"new file in a locked folder", "locked/new.txt", false, "locked/new.txt", nullptr, false},
        {"read-only file in a locked folder", "locked/sealed.txt", false, "locked/sealed.txt", kOld, false},
        {"link planted by another user", "shared/pl2.ini", false, "victim.txt", kOld, true},
        {"own link to a file of another user", "link-to-foreign", false, "foreign.txt", kOld, true},
    };
    runUnprivileged(folder.path(), [&] {
        ASSERT_EQ(mkdir((at + "locked").c_str(), 0755), 0);
        for (const char* file :
             {"mine.txt", "readonly.txt", "victim.txt", "locked/kept.txt", "locked/sealed.txt"})
            writeWholeFile(at + file, kOld);
        chmod((at + "readonly.txt").c_str(), 0444);
        chmod((at + "locked/sealed.txt").c_str(), 0444);
        chmod((at + "locked").c_str(), 0555);
        const char* const links[][2] = {{"mine.txt", "link-to-mine"},
                                        {"nowhere.txt", "dangling"},
                                        {"readonly.txt", "link-to-readonly"},
                                        {"foreign.txt", "link-to-foreign"}};
        for (const auto& link : links) {
            ASSERT_EQ(symlink(link[0], (at + link[1]).c_str()), 0);
        }

        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            if (c.madeByRoot && !root) continue;
            EXPECT_EQ(writeAndCommit(at + c.name, "new"), c.written ? 1 : -1);
            if (c.holds == nullptr) {
                EXPECT_FALSE(fileExists(at + c.checked));
            } else {
                EXPECT_EQ(readWholeFile(at + c.checked), c.holds);
            }
            if (std::string(c.name) != c.checked) {
                EXPECT_TRUE(isLink(at + c.name));
            }
        }
        EXPECT_EQ(folderEntries(at + "locked"), (std::set<std::string>{"kept.txt", "sealed.txt"}));
        chmod((at + "locked").c_str(), 0755);
    });
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
