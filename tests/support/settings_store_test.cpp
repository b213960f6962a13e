#include "support/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "support/io_seam.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"

namespace {

const char* const kNoGroup = nullptr;

// A literal's bytes, zero bytes included.
template <size_t n>
std::string withZeros(const char (&literal)[n]) {
    return std::string(literal, n - 1);
}

class SettingsStoreTest : public ::testing::Test {
   protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        setRenameFailure(false);
        closeSettings();
    }

    std::string settingsFile(const std::string& bytes) {
        std::string name = folder.file("pl2.ini");
        writeWholeFile(name, bytes);
        return name;
    }

    TempFolder folder;
};

TEST_F(SettingsStoreTest, ReadingNumbers) {
    struct Case {
        const char* what;
        std::string file;
        const char* group;
        const char* key;
        int32_t defaultValue;
        int32_t expected;
    };
    const Case cases[] = {
        {"other case, no blanks, LF", "[options]\nZOOM=4\n", "Options", "zoom", 1, 4},
        {"digits then letters", "[Options]\nzoom = 4x\n", "Options", "zoom", 1, 4},
        {"letters then digits", "[Options]\nzoom = x4\n", "Options", "zoom", 1, 0},
        {"empty value", "[Options]\nzoom =\n", "Options", "zoom", 1, 0},
        {"key alone", "[Options]\nzoom\n", "Options", "zoom", 1, 0},
        {"key missing", "[Options]\ngrid = 1\n", "Options", "zoom", 9, 9},
        {"negative", "[Options]\nzoom = -3\n", "Options", "zoom", 1, -3},
        {"plus sign", "[Options]\nzoom = +3\n", "Options", "zoom", 1, 3},
        {"blanks around", "[Options]\n\t zoom \t=  7  \n", "Options", "zoom", 1, 7},
        {"key before the first group", "zoom = 5\n[Options]\n", "Options", "zoom", 1, 1},
        {"key of the top section", "zoom = 5\n[Options]\nzoom = 6\n", "", "zoom", 1, 5},
        {"no group selected reads the top", "zoom = 5\n[Options]\nzoom = 6\n", kNoGroup, "zoom", 1, 5},
        {"first of two", "[Options]\nzoom = 2\nzoom = 3\n", "Options", "zoom", 1, 2},
        {"first of two groups", "[Options]\ngrid = 1\n[Options]\nzoom = 3\n", "Options", "zoom", 1, 1},
        {"spaces inside brackets", "[ Options ]\nzoom = 2\n", "Options", "zoom", 1, 1},
        {"spaced name found as it is", "[ Options ]\nzoom = 2\n", " options ", "zoom", 1, 2},
        {"group without closing bracket", "[Options\nzoom = 2\n", "Options", "zoom", 1, 2},
        {"comment after the group", "[Options] ; comment\nzoom = 2\n", "Options", "zoom", 1, 2},
        {"commented key", "[Options]\n; zoom = 8\n", "Options", "zoom", 1, 1},
        {"commented key without blank", "[Options]\n;zoom = 8\n", "Options", "zoom", 1, 1},
        {"indented comment", "[Options]\n  ; zoom = 8\nzoom = 3\n", "Options", "zoom", 1, 3},
        {"hash is no comment", "[Options]\n#zoom = 8\n", "Options", "#zoom", 1, 8},
        {"semicolon later is part of the value", "[Options]\nzoom = 2 ; two\n", "Options", "zoom", 1, 2},
        {"key stops at the next group", "[Options]\n[Other]\nzoom = 2\n", "Options", "zoom", 1, 1},
        {"second group", "[Options]\nzoom = 2\n[Other]\nzoom = 5\n", "other", "zoom", 1, 5},
        {"missing group hides the top", "zoom = 5\n", "Options", "zoom", 1, 1},
        {"empty file", "", "Options", "zoom", 1, 1},
        {"empty file, top section", "", "", "zoom", 4, 4},
        {"only line ends", "\r\n\n\r\r", "", "zoom", 4, 4},
        {"blank lines everywhere", "\n\n[Options]\n \t \n\nzoom = 2\n\n", "Options", "zoom", 1, 2},
        {"no line end at all", "[Options]\nzoom = 6", "Options", "zoom", 1, 6},
        {"largest", "[O]\nk = 2147483647\n", "O", "k", 1, INT32_MAX},
        {"smallest", "[O]\nk = -2147483648\n", "O", "k", 1, INT32_MIN},
        {"too large saturates", "[O]\nk = 2147483648\n", "O", "k", 1, INT32_MAX},
        {"too small saturates", "[O]\nk = -2147483649\n", "O", "k", 1, INT32_MIN},
        {"huge", "[O]\nk = 99999999999999999999999999\n", "O", "k", 1, INT32_MAX},
        {"leading zeros", "[O]\nk = 0000000000000000000042\n", "O", "k", 1, 42},
        {"sign alone", "[O]\nk = -\n", "O", "k", 1, 0},
        {"two signs", "[O]\nk = +-4\n", "O", "k", 1, 0},
        {"sign then blank", "[O]\nk = - 4\n", "O", "k", 1, 0},
        {"hexadecimal is not read", "[O]\nk = 0x10\n", "O", "k", 1, 0},
        {"vertical tab is white space", "[O]\nk = \v\f9\n", "O", "k", 1, 9},
        {"second equals sign is in the value", "[O]\nk = =5\n", "O", "k", 1, 0},
        {"blank inside a key", "[O]\nmax width = 5\n", "O", "max width", 1, 5},
        {"key and trailing blank", "[O]\nmax width = 5\n", "O", "max width ", 1, 1},
        {"empty key", "[O]\n= 5\n", "O", "", 1, 5},
        {"zero byte ends the key and its line", withZeros("[O]\nzo\0om = 5\n"), "O", "zo", 1, 0},
        {"zero byte before trailing blanks", withZeros("[O]\nk \0x = 5\n"), "O", "k", 1, 0},
        {"zero byte at a line start", withZeros("[O]\n\0k = 5\nk = 6\n"), "O", "k", 1, 6},
        {"zero byte ends the value", withZeros("[O]\nk = 1\0002\n"), "O", "k", 1, 1},
        {"zero byte ends the group", withZeros("[Op\0tions]\nk = 3\n"), "Op", "k", 1, 3},
        {"letters beyond ASCII match exactly", "[O]\n\xe9t\xe9 = 3\n", "O", "\xc9T\xc9", 1, 1},
        {"letters beyond ASCII", "[O]\n\xe9t\xe9 = 3\n", "O", "\xe9T\xe9", 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(openSettings(settingsFile(c.file)), 0);
        if (c.group != kNoGroup) selectSettingsGroup(c.group);
        EXPECT_EQ(readSettingsNumber(c.key, c.defaultValue), c.expected);
        EXPECT_EQ(closeSettings(), 1);
        EXPECT_EQ(readWholeFile(folder.file("pl2.ini")), c.file) << "reading must not change the file";
    }
}

TEST_F(SettingsStoreTest, LineEndsAndTheUtf8MarkDoNotChangeWhatIsRead) {
    const std::string variants[] = {
        "top = 9\r\n[Options]\r\n; note\r\nzoom = 4\r\n[Other]\r\ngrid = 1\r\n",
        "top = 9\n[Options]\n; note\nzoom = 4\n[Other]\ngrid = 1\n",
        "top = 9\r[Options]\r; note\rzoom = 4\r[Other]\rgrid = 1\r",
        "\xEF\xBB\xBFtop = 9\r\n[Options]\r\n; note\r\nzoom = 4\r\n[Other]\r\ngrid = 1\r\n",
        "\xEF\xBB\xBFtop = 9\r[Options]\r; note\rzoom = 4\r[Other]\rgrid = 1",
        "\n\r\ntop = 9\n\n\n[Options]\r\r; note\n\r\n\rzoom = 4\n[Other]\r\n\r\ngrid = 1\r\n\r\n",
    };
    for (const std::string& variant : variants) {
        SCOPED_TRACE(variant);
        ASSERT_NE(openSettings(settingsFile(variant)), 0);
        EXPECT_EQ(readSettingsNumber("top", 0), 9);
        EXPECT_EQ(selectSettingsGroup("options"), 1);
        EXPECT_EQ(readSettingsNumber("zoom", 0), 4);
        EXPECT_EQ(readSettingsNumber("grid", 0), 0);
        EXPECT_EQ(selectSettingsGroup("OTHER"), 1);
        EXPECT_EQ(readSettingsNumber("grid", 0), 1);
        EXPECT_EQ(readSettingsNumber("zoom", 0), 0);
        closeSettings();
    }
}

struct Step {
    char action;  // 'g': select a group, 'w': write a number
    std::string name;
    int32_t value;
};

TEST_F(SettingsStoreTest, WrittenFiles) {
    struct Case {
        const char* what;
        const char* before;  // nullptr: no file yet
        bool create;         // createSettings instead of openSettings
        std::vector<Step> steps;
        std::string after;
    };
    const std::vector<Step> viewerSteps = {
        {'g', "Options", 0}, {'w', "Zoom", 1},    {'w', "Multi", 0},      {'w', "Grid", 0},
        {'w', "Inverse", 0}, {'w', "Reverse", 0}, {'w', "maxwidth", 256}, {'w', "ontop", 0},
    };
    const std::string viewerFile =
        "[Options]\r\nZoom = 1\r\nMulti = 0\r\nGrid = 0\r\nInverse = 0\r\nReverse = 0\r\nmaxwidth = "
        "256\r\nontop = 0\r\n";
    const Case cases[] = {
        {"the viewer's file, new", nullptr, true, viewerSteps, viewerFile},
        {"the viewer's file over an old one", "[Options]\nzoom=8\nextra = 1\n[Old]\n", true, viewerSteps,
         viewerFile},
        {"the viewer's file into an opened one", "[options]\nzoom = 1\n", false, viewerSteps,
         "[options]\r\nZoom = 1\r\nMulti = 0\r\nGrid = 0\r\nInverse = 0\r\nReverse = 0\r\nmaxwidth = 256\r\n"
         "ontop = 0\r\n"},
        {"created and closed unchanged", "[Options]\r\nzoom = 2\r\n", true, {}, ""},
        {"key replaced in place with the caller's spelling",
         "[Options]\nzoom = 1\ngrid = 1\n",
         false,
         {{'g', "Options", 0}, {'w', "Zoom", 4}},
         "[Options]\r\nZoom = 4\r\ngrid = 1\r\n"},
        {"new key at the end of the current group",
         "[A]\na = 1\n; closing remark\n[B]\nb = 2\n",
         false,
         {{'g', "a", 0}, {'w', "new", 5}},
         "[A]\r\na = 1\r\n; closing remark\r\nnew = 5\r\n[B]\r\nb = 2\r\n"},
        {"new key at the end of the last group",
         "[A]\na = 1\n[B]\nb = 2\n",
         false,
         {{'g', "B", 0}, {'w', "new", -5}},
         "[A]\r\na = 1\r\n[B]\r\nb = 2\r\nnew = -5\r\n"},
        {"new key in the top section",
         "top = 1\n[A]\na = 1\n",
         false,
         {{'w', "second", 2}},
         "top = 1\r\nsecond = 2\r\n[A]\r\na = 1\r\n"},
        {"new key before a first group",
         "[A]\na = 1\n",
         false,
         {{'g', "", 0}, {'w', "top", 3}},
         "top = 3\r\n[A]\r\na = 1\r\n"},
        {"missing group added at the end",
         "top = 1\n[A]\na = 1\n",
         false,
         {{'g', "B", 0}, {'w', "b", 2}, {'w', "c", 3}},
         "top = 1\r\n[A]\r\na = 1\r\n[B]\r\nb = 2\r\nc = 3\r\n"},
        {"pending group dropped by the next selection",
         "[A]\na = 1\n",
         false,
         {{'g', "B", 0}, {'g', "A", 0}, {'w', "a", 7}},
         "[A]\r\na = 7\r\n"},
        {"file that could not be opened is created",
         nullptr,
         false,
         {{'g', "Options", 0}, {'w', "Zoom", 2}},
         "[Options]\r\nZoom = 2\r\n"},
        {"normalised on rewrite",
         "\n  ;first comment\n;  spaced\n[G1]   trailing\n  k1\t=\tv1  \nk2\n\n[G2\nk3 = 3\n",
         false,
         {{'g', "G2", 0}, {'w', "k3", 4}},
         "; first comment\r\n;  spaced\r\n[G1]\r\nk1 = v1  \r\nk2 = \r\n[G2]\r\nk3 = 4\r\n"},
        {"extreme values",
         nullptr,
         true,
         {{'w', "low", INT32_MIN}, {'w', "high", INT32_MAX}, {'w', "zero", 0}},
         "low = -2147483648\r\nhigh = 2147483647\r\nzero = 0\r\n"},
        {"second group of the same name is never written into",
         "[A]\na = 1\n[A]\nb = 1\n",
         false,
         {{'g', "A", 0}, {'w', "b", 2}},
         "[A]\r\na = 1\r\nb = 2\r\n[A]\r\nb = 1\r\n"},
        {"UTF-8 file keeps its mark and gets UTF-8 names",
         "\xEF\xBB\xBF[Gr\xC3\xB6\xC3\x9F\x65]\nzoom = 1\n",
         false,
         {{'g',
           "Gr\xF6\xDF"
           "e",
           0},
          {'w', "\xC4rger", 3}},
         "\xEF\xBB\xBF\r\n[Gr\xC3\xB6\xC3\x9F\x65]\r\nzoom = 1\r\n\xC3\x84rger = 3\r\n"},
        {"plain file keeps Latin-1 names",
         "[Gr\xF6\xDF"
         "e]\n",
         false,
         {{'g',
           "gr\xF6\xDF"
           "e",
           0},
          {'w', "\xC4rger", 3}},
         "[Gr\xF6\xDF"
         "e]\r\n\xC4rger = 3\r\n"},
        {"UTF-8 mark alone", "\xEF\xBB\xBF", false, {{'w', "k", 1}}, "\xEF\xBB\xBF\r\nk = 1\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = folder.file("pl2.ini");
        unlink(name.c_str());
        if (c.before != nullptr) writeWholeFile(name, c.before);
        if (c.create) {
            ASSERT_NE(createSettings(name), 0);
        } else {
            EXPECT_EQ(openSettings(name) != 0, c.before != nullptr);
        }
        for (const Step& step : c.steps) {
            if (step.action == 'g') {
                selectSettingsGroup(step.name);
            } else {
                writeSettingsNumber(step.name, step.value);
            }
        }
        EXPECT_EQ(closeSettings(), 1);
        EXPECT_EQ(readWholeFile(name), c.after);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"pl2.ini"});
    }
}

TEST_F(SettingsStoreTest, ALineCutAtAZeroByteIsRewrittenAsReadAndStillFound) {
    std::string name = settingsFile(withZeros("[A]\nk \0om = 5\n"));
    ASSERT_NE(openSettings(name), 0);
    selectSettingsGroup("A");
    writeSettingsNumber("k", 1);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(name), "[A]\r\nk = 1\r\n");
}

TEST_F(SettingsStoreTest, RoundTripKeepsEveryGroupKeyAndComment) {
    std::string name = settingsFile(
        "; settings of the viewer\n[Options]\nZoom = 2\n; kept between runs\nGrid = 1\n[Recent]\ncount = 3\n"
        "[Window]\nx = -40\ny = 17\n");
    ASSERT_NE(openSettings(name), 0);
    selectSettingsGroup("Recent");
    writeSettingsNumber("count", 4);
    EXPECT_EQ(closeSettings(), 1);
    const std::string expected =
        "; settings of the viewer\r\n[Options]\r\nZoom = 2\r\n; kept between runs\r\nGrid = 1\r\n[Recent]\r\n"
        "count = 4\r\n[Window]\r\nx = -40\r\ny = 17\r\n";
    EXPECT_EQ(readWholeFile(name), expected);

    ASSERT_NE(openSettings(name), 0);
    struct Read {
        const char* group;
        const char* key;
        int32_t value;
    };
    const Read reads[] = {{"Options", "zoom", 2},
                          {"Options", "grid", 1},
                          {"Recent", "Count", 4},
                          {"window", "X", -40},
                          {"window", "y", 17}};
    for (const Read& r : reads) {
        EXPECT_EQ(selectSettingsGroup(r.group), 1);
        EXPECT_EQ(readSettingsNumber(r.key, 99), r.value) << r.group << "/" << r.key;
    }
    writeSettingsNumber("y", 17);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(name), expected) << "a second round trip changes nothing";
}

TEST_F(SettingsStoreTest, SelectingGroups) {
    struct Case {
        const char* name;
        int result;
        int32_t zoomRead;
    };
    const Case cases[] = {
        {"", 1, 1},        {"Options", 1, 2},   {"OPTIONS", 1, 2},
        {"Option", 0, -1}, {"Optionsx", 0, -1}, {"Missing", 0, -1},
    };
    std::string name = settingsFile("zoom = 1\n[Options]\nzoom = 2\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(openSettings(name), 0);
        EXPECT_EQ(selectSettingsGroup(c.name), c.result);
        EXPECT_EQ(readSettingsNumber("zoom", -1), c.zoomRead);
        closeSettings();
    }
}

TEST_F(SettingsStoreTest, AMissingGroupLeavesTheCurrentOneForWritesOnlyAfterReselecting) {
    std::string name = settingsFile("[A]\nk = 1\n");
    ASSERT_NE(openSettings(name), 0);
    EXPECT_EQ(selectSettingsGroup("A"), 1);
    EXPECT_EQ(selectSettingsGroup("B"), 0);
    EXPECT_EQ(readSettingsNumber("k", 5), 5) << "a pending group reads defaults";
    EXPECT_EQ(selectSettingsGroup("B"), 0);
    writeSettingsNumber("k", 2);
    EXPECT_EQ(readSettingsNumber("k", 5), 2);
    EXPECT_EQ(selectSettingsGroup("b"), 1);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(name), "[A]\r\nk = 1\r\n[B]\r\nk = 2\r\n");
}

TEST_F(SettingsStoreTest, WithoutAStoreNothingHappens) {
    EXPECT_EQ(selectSettingsGroup("Options"), 0);
    EXPECT_EQ(readSettingsNumber("zoom", 3), 3);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_TRUE(folder.entries().empty());
}

TEST_F(SettingsStoreTest, CreationLeavesTheOldFileUntilTheClose) {
    std::string name = settingsFile("[Options]\r\nZoom = 8\r\n");
    ASSERT_NE(createSettings(name), 0);
    EXPECT_EQ(readWholeFile(name), "[Options]\r\nZoom = 8\r\n");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"pl2.ini"});
    EXPECT_EQ(readSettingsNumber("Zoom", 1), 1) << "a created store starts empty";
    writeSettingsNumber("Zoom", 2);
    EXPECT_EQ(readWholeFile(name), "[Options]\r\nZoom = 8\r\n");
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(name), "Zoom = 2\r\n");
}

TEST_F(SettingsStoreTest, OpeningAnotherFileClosesAndWritesTheFirst) {
    std::string first = folder.file("first.ini");
    std::string second = folder.file("second.ini");
    ASSERT_NE(createSettings(first), 0);
    writeSettingsNumber("a", 1);
    EXPECT_EQ(openSettings(second), 0);
    EXPECT_EQ(readWholeFile(first), "a = 1\r\n");
    writeSettingsNumber("b", 2);
    ASSERT_NE(createSettings(first), 0);
    EXPECT_EQ(readWholeFile(second), "b = 2\r\n");
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(first), "");
}

TEST_F(SettingsStoreTest, FailedWritesLeaveTheOldFileAndNoTemporaryFile) {
    struct Case {
        const char* what;
        bool create;
        int64_t writeFailsAfter;
        bool renameFails;
    };
    const Case cases[] = {
        {"opened, disk full at once", false, 0, false}, {"opened, disk full midway", false, 12, false},
        {"opened, rename refused", false, -1, true},    {"created, disk full at once", true, 0, false},
        {"created, disk full midway", true, 12, false}, {"created, rename refused", true, -1, true},
    };
    const std::string old = "[Options]\r\nZoom = 8\r\nGrid = 1\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = settingsFile(old);
        if (c.create) {
            ASSERT_NE(createSettings(name), 0);
        } else {
            ASSERT_NE(openSettings(name), 0);
        }
        selectSettingsGroup("Options");
        for (int i = 0; i < 7; ++i) writeSettingsNumber("Key" + std::to_string(i), i);
        setWriteFailureAfter(c.writeFailsAfter);
        setRenameFailure(c.renameFails);
        EXPECT_EQ(closeSettings(), 0);
        setWriteFailureAfter(-1);
        setRenameFailure(false);
        EXPECT_EQ(readWholeFile(name), old);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"pl2.ini"});
    }
}

TEST_F(SettingsStoreTest, AReadOnlyFileKeepsItsContents) {
    const std::string old = "[Options]\nzoom = 2\n";
    std::string name = settingsFile(old);
    ASSERT_EQ(chmod(name.c_str(), 0444), 0);

    ASSERT_NE(openSettings(name), 0);
    selectSettingsGroup("Options");
    EXPECT_EQ(readSettingsNumber("zoom", 1), 2);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(readSettingsNumber("zoom", 1), 4) << "the store itself changes";
    EXPECT_EQ(closeSettings(), 0);
    EXPECT_EQ(readWholeFile(name), old);

    EXPECT_EQ(createSettings(name), 0);
    EXPECT_EQ(selectSettingsGroup("Options"), 0);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(readSettingsNumber("zoom", 1), 1);
    EXPECT_EQ(closeSettings(), 1) << "no store was open";
    EXPECT_EQ(readWholeFile(name), old);
    EXPECT_EQ(folder.entries(), std::set<std::string>{"pl2.ini"});
}

// As a user whom permissions bind: a writable settings file in a folder that takes no new
// file is rewritten in place; one that is another user's link, planted in a shared sticky
// folder, is never written through.
TEST_F(SettingsStoreTest, ALockedFolderOrAPlantedLink) {
    const std::string old = "[Options]\r\nZoom = 8\r\nGrid = 1\r\nLonger = 12345678\r\n";
    const std::string at = folder.path() + "/";
    const bool root = geteuid() == 0;
    if (root) plantLinkOfAnotherUser(folder.path(), "pl2.ini", "../victim");
    runUnprivileged(folder.path(), [&] {
        ASSERT_EQ(mkdir((at + "locked").c_str(), 0755), 0);
        writeWholeFile(at + "locked/pl2.ini", old);
        writeWholeFile(at + "victim", old);
        ASSERT_EQ(chmod((at + "locked").c_str(), 0555), 0);
        struct Case {
            const char* name;
            int created;
            const char* file;
            std::string holds;
        };
        const Case cases[] = {
            {"locked/pl2.ini", 1, "locked/pl2.ini", "[Options]\r\nZoom = 2\r\n"},
            {"shared/pl2.ini", 0, "victim", old},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            if (!root && std::string(c.name) == "shared/pl2.ini") continue;  // only root plants the link
            EXPECT_EQ(createSettings(at + c.name), c.created);
            selectSettingsGroup("Options");
            writeSettingsNumber("Zoom", 2);
            closeSettings();
            EXPECT_EQ(readWholeFile(at + c.file), c.holds);
        }
        EXPECT_EQ(folderEntries(at + "locked"), std::set<std::string>{"pl2.ini"});
        chmod((at + "locked").c_str(), 0755);
    });
}

TEST_F(SettingsStoreTest, NamesThatAreNoFileAreNeitherReadNorReplaced) {
    std::string subfolder = folder.file("sub");
    ASSERT_EQ(mkdir(subfolder.c_str(), 0755), 0);
    std::string fifo = folder.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string names[] = {subfolder, fifo, folder.file("missing/pl2.ini"), ""};
    alarm(20);  // a pipe opened the blocking way would hang here
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(openSettings(name), 0);
        writeSettingsNumber("zoom", 1);
        EXPECT_EQ(closeSettings(), 0);
        EXPECT_EQ(createSettings(name), 0);
        EXPECT_EQ(closeSettings(), 1);
    }
    alarm(0);
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"pipe", "sub"}));
}

TEST_F(SettingsStoreTest, ARelativeNameMeansTheFolderCurrentAtOpening) {
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    std::string other = folder.file("other");
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    EXPECT_EQ(openSettings("pl2.ini"), 0);
    ASSERT_EQ(chdir(other.c_str()), 0);
    writeSettingsNumber("k", 1);
    EXPECT_EQ(closeSettings(), 1);
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(readWholeFile(folder.file("pl2.ini")), "k = 1\r\n");
    EXPECT_FALSE(fileExists(other + "/pl2.ini"));
}

}  // namespace
