#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <set>
#include <string>

#include "graphics/image_save.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "support/file_services.h"
#include "support/io_seam.h"
#include "support/safe_file.h"
#include "support/settings_store.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"

namespace {

// Each writer writes one fixed file of more than a write buffer (settings: of seven numbers).
const struct Writer {
    const char* name;
    std::function<int(const std::string&)> write;
} kWriters[] = {{"commit-or-discard file",
                 [](const std::string& name) {
                     const std::string bytes = patternBytes(0, 10000);
                     SafeFile* f = beginSafeFile(name);
                     const int written =
                         safeWrite(f, bytes.data(), 6000) && safeWrite(f, bytes.data() + 6000, 4000);
                     return f == nullptr ? 0 : commitSafeFile(f) && written;
                 }},
                {"numbered file",
                 [](const std::string& name) {
                     const std::string bytes = patternBytes(0, 12000);
                     if (!createFile(3, name)) return 0;
                     writeByteRun(3, bytes.data(), 5000);
                     writeData(3, bytes.data() + 5000, 6999);
                     writeByte(3, bytes[11999]);
                     return closeFile(3);
                 }},
                {"settings store",
                 [](const std::string& name) {
                     if (!createSettings(name)) return 0;
                     selectSettingsGroup("Options");
                     for (int i = 0; i < 7; ++i) writeSettingsNumber("Key" + std::to_string(i), i * 1000);
                     return closeSettings();
                 }},
                {"24-bit BMP", [](const std::string& name) { return saveImage(0, name); }},
                {"32-bit BMP", [](const std::string& name) { return saveImage(1, name); }},
                {"24-bit PNG", [](const std::string& name) { return saveImage(0, name, "PNG"); }},
                {"32-bit PNG", [](const std::string& name) { return saveImage(1, name, "PNG"); }}};

const std::string kOld(20000, 'o');  // longer than anything written, so that a leftover tail would show

class Writers : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        registerPngEncoder();
        ASSERT_TRUE(createImage(0, 5, 3, 24, 0x123456));
        ASSERT_TRUE(createImage(1, 7, 4, 32, 0x654321));
    }
    static void TearDownTestSuite() { freeImage(-1); }
    void TearDown() override {
        clearFaults();
        closeSettings();
        closeAllFiles();
    }
    static void clearFaults() {
        setWriteFailureAfter(-1);
        setShortWrites(0);
        setRenameFailure(false);
    }

    static std::string reference(const Writer& writer) {
        TempFolder folder;
        EXPECT_EQ(writer.write(folder.file("reference")), 1);
        return readWholeFile(folder.file("reference"));
    }
};

// Faults: 'n' none, 's' writes cut short to 7 bytes, 'r' the rename refused, and a disk that
// takes '0' no byte, 'h' half the file, 'l' all but the last byte, 'e' exactly the file.
TEST_F(Writers, ReplaceTheTargetWholeOrLeaveEverythingAsItWas) {
    struct Case {
        std::string target;
        char fault;
        bool written;
    };
    const Case cases[] = {
        {"new.out", 'n', true},     {"old", 'n', true},        {std::string(NAME_MAX, 'L'), 'n', true},
        {"old", 's', true},         {"new.out", 'e', true},    {"old", '0', false},
        {"old", 'h', false},        {"new.out", 'l', false},   {"old", 'l', false},
        {"old", 'r', false},        {"read-only", 'n', false}, {"sub", 'n', false},
        {"sub/", 'n', false},       {"pipe", 'n', false},      {"missing/new.out", 'n', false},
        {"old/new.out", 'n', false}};
    const bool root = geteuid() == 0;
    const mode_t savedMask = umask(027);
    alarm(60);  // a pipe opened the blocking way would hang here
    for (const Writer& writer : kWriters) {
        const std::string expected = reference(writer);
        ASSERT_GT(expected.size(), 40u) << writer.name;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(writer.name) + ": " + c.target.substr(0, 20) + " " + c.fault);
            TempFolder folder;
            writeWholeFile(folder.file("old"), kOld);
            writeWholeFile(folder.file("read-only"), kOld);
            ASSERT_EQ(chmod(folder.file("old").c_str(), 0604) |
                          chmod(folder.file("read-only").c_str(), 0444) |
                          mkdir(folder.file("sub").c_str(), 0755) | mkfifo(folder.file("pipe").c_str(), 0644),
                      0);
            ASSERT_TRUE(!root || chown(folder.file("old").c_str(), 1234, 5678) == 0);
            std::set<std::string> entries = folder.entries();
            const int64_t size = static_cast<int64_t>(expected.size());
            setWriteFailureAfter(c.fault == '0'   ? 0
                                 : c.fault == 'h' ? size / 2
                                 : c.fault == 'l' ? size - 1
                                 : c.fault == 'e' ? size
                                                  : -1);
            setShortWrites(c.fault == 's' ? 7 : 0);
            setRenameFailure(c.fault == 'r');
            EXPECT_EQ(writer.write(folder.file(c.target)), c.written ? 1 : 0);
            clearFaults();
            if (c.written) {
                entries.insert(c.target);
                EXPECT_EQ(readWholeFile(folder.file(c.target)), expected);
                struct stat info;
                ASSERT_EQ(stat(folder.file(c.target).c_str(), &info), 0);
                EXPECT_EQ(info.st_mode & 07777, c.target == "old" ? 0604u : 0640u);
                EXPECT_TRUE(!root || c.target != "old" || (info.st_uid == 1234 && info.st_gid == 5678));
            } else {
                EXPECT_EQ(readWholeFile(folder.file("old")), kOld);
                EXPECT_EQ(readWholeFile(folder.file("read-only")), kOld);
            }
            EXPECT_EQ(folder.entries(), entries);
        }
        EXPECT_EQ(writer.write(""), 0);
    }
    alarm(0);
    umask(savedMask);
}

TEST_F(Writers, LinksAndLockedFoldersAreWrittenOnlyAsAnOrdinaryOpenAllows) {
    TempFolder folder;
    const std::string at = folder.path() + "/";
    const bool root = geteuid() == 0;
    if (root) {  // another user's link in a shared sticky folder (as /tmp is); a file nobody may write
        ASSERT_EQ(mkdir((at + "shared").c_str(), 0777) | chmod((at + "shared").c_str(), 01777) |
                      symlink("../victim.txt", (at + "shared/pl2.ini").c_str()) |
                      lchown((at + "shared/pl2.ini").c_str(), 1234, 1234),
                  0);
        writeWholeFile(at + "foreign.txt", kOld);
    }
    struct Case {
        std::string name, checked;  // what is written, and the file that then holds
        char holds;                 // 'w' what was written, 'o' the old contents, '-' nothing
    };
    const Case cases[] = {
        {"link-to-mine", "mine.txt", 'w'},         {"dangling", "nowhere.txt", '-'},
        {"link-to-readonly", "readonly.txt", 'o'}, {"locked/kept.txt", "locked/kept.txt", 'w'},
        {"locked/new.txt", "locked/new.txt", '-'}, {"locked/sealed.txt", "locked/sealed.txt", 'o'},
        {"shared/pl2.ini", "victim.txt", 'o'},     {"link-to-foreign", "foreign.txt", 'o'}};
    std::string expected[std::size(kWriters)];
    for (size_t w = 0; w < std::size(kWriters); ++w) expected[w] = reference(kWriters[w]);
    runUnprivileged(folder.path(), [&] {
        for (const Case& c : cases)
            if (c.name != c.checked && c.name.find('/') == std::string::npos) {
                ASSERT_EQ(symlink(c.checked.c_str(), (at + c.name).c_str()), 0);
            }
        ASSERT_EQ(mkdir((at + "locked").c_str(), 0755), 0);
        for (size_t w = 0; w < std::size(kWriters); ++w) {
            chmod((at + "locked").c_str(), 0755);
            for (const char* file :
                 {"mine.txt", "readonly.txt", "victim.txt", "locked/kept.txt", "locked/sealed.txt"})
                writeWholeFile(at + file, kOld);
            ASSERT_EQ(chmod((at + "readonly.txt").c_str(), 0444) |
                          chmod((at + "locked/sealed.txt").c_str(), 0444) |
                          chmod((at + "locked").c_str(), 0555),
                      0);
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(kWriters[w].name) + ": " + c.name);
                if (!root && (c.checked == "victim.txt" || c.checked == "foreign.txt"))
                    continue;  // needs another user
                EXPECT_EQ(kWriters[w].write(at + c.name), c.holds == 'w' ? 1 : 0);
                EXPECT_EQ(fileExists(at + c.checked), c.holds != '-');
                EXPECT_EQ(readWholeFile(at + c.checked), c.holds == 'w'   ? expected[w]
                                                         : c.holds == 'o' ? kOld
                                                                          : "");
                struct stat info;
                EXPECT_TRUE(c.name == c.checked ||
                            (lstat((at + c.name).c_str(), &info) == 0 && S_ISLNK(info.st_mode)));
            }
            EXPECT_EQ(folderEntries(at + "locked"), (std::set<std::string>{"kept.txt", "sealed.txt"}));
        }
    });
    if (!root) GTEST_SKIP() << "the other user's link and file were left out: they need root to be made";
}

}  // namespace
