#include "support/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

const char* const kNoGroup = nullptr;

// A literal's bytes, zero bytes included.
template <size_t n>
std::string withZeros(const char (&literal)[n]) {
    return std::string(literal, n - 1);
}

class SettingsStoreTest : public ::testing::Test {
   protected:
    void TearDown() override { closeSettings(); }

    std::string settingsFile(const std::string& bytes) {
        writeWholeFile(folder.file("pl2.ini"), bytes);
        return folder.file("pl2.ini");
    }

    TempFolder folder;
};

TEST_F(SettingsStoreTest, ReadingNumbers) {
    struct Case {
        const char* what;
        std::string file;
        const char* group;
        const char* key;
        int32_t defaultValue, expected;
        // clang-format off
    } cases[] = {
        {"other case, no blanks", "[options]\nZOOM=4\n", "Options", "zoom", 1, 4},
        {"digits then letters", "[O]\nk = 4x\n", "O", "k", 1, 4},
        {"letters then digits", "[O]\nk = x4\n", "O", "k", 1, 0}, {"key alone", "[O]\nk\n", "O", "k", 1, 0},
        {"key missing", "[O]\ngrid = 1\n", "O", "k", 9, 9}, {"negative", "[O]\nk = -3\n", "O", "k", 1, -3},
        {"plus sign", "[O]\nk = +3\n", "O", "k", 1, 3},
        {"blanks around", "[O]\n\t k \t=  7  \n", "O", "k", 1, 7},
        {"key before the first group", "k = 5\n[O]\n", "O", "k", 1, 1},
        {"key of the top section", "k = 5\n[O]\nk = 6\n", "", "k", 1, 5},
        {"no group selected reads the top", "k = 5\n[O]\nk = 6\n", kNoGroup, "k", 1, 5},
        {"first of two", "[O]\nk = 2\nk = 3\n", "O", "k", 1, 2},
        {"first of two groups", "[O]\ngrid = 1\n[O]\nk = 3\n", "O", "k", 1, 1},
        {"spaces inside brackets", "[ O ]\nk = 2\n", "O", "k", 1, 1},
        {"spaced name found as it is", "[ O ]\nk = 2\n", " o ", "k", 1, 2},
        {"group without closing bracket", "[O\nk = 2\n", "O", "k", 1, 2},
        {"comment after the group", "[O] ; comment\nk = 2\n", "O", "k", 1, 2},
        {"commented key", "[O]\n;k = 8\n", "O", "k", 1, 1},
        {"indented comment", "[O]\n  ; k = 8\nk = 3\n", "O", "k", 1, 3},
        {"hash is no comment", "[O]\n#k = 8\n", "O", "#k", 1, 8},
        {"key stops at the next group", "[O]\n[Other]\nk = 2\n", "O", "k", 1, 1},
        {"second group", "[O]\nk = 2\n[Other]\nk = 5\n", "other", "k", 1, 5},
        {"missing group hides the top", "k = 5\n", "O", "k", 1, 1},
        {"empty file, top section", "", "", "k", 4, 4}, {"only line ends", "\r\n\n\r\r", "", "k", 4, 4},
        {"no line end at all", "[O]\nk = 6", "O", "k", 1, 6},
        {"largest", "[O]\nk = 2147483647\n", "O", "k", 1, INT32_MAX},
        {"smallest", "[O]\nk = -2147483648\n", "O", "k", 1, INT32_MIN},
        {"too large saturates", "[O]\nk = 2147483648\n", "O", "k", 1, INT32_MAX},
        {"too small saturates", "[O]\nk = -2147483649\n", "O", "k", 1, INT32_MIN},
        {"huge", "[O]\nk = 99999999999999999999999999\n", "O", "k", 1, INT32_MAX},
        {"sign alone", "[O]\nk = -\n", "O", "k", 1, 0}, {"two signs", "[O]\nk = +-4\n", "O", "k", 1, 0},
        {"vertical tab is white space", "[O]\nk = \v\f9\n", "O", "k", 1, 9},
        {"blank inside a key", "[O]\nmax width = 5\n", "O", "max width", 1, 5},
        {"key and trailing blank", "[O]\nmax width = 5\n", "O", "max width ", 1, 1},
        {"empty key", "[O]\n= 5\n", "O", "", 1, 5},
        {"zero byte ends the key and its line", withZeros("[O]\nzo\0om = 5\n"), "O", "zo", 1, 0},
        {"zero byte at a line start", withZeros("[O]\n\0k = 5\nk = 6\n"), "O", "k", 1, 6},
        {"zero byte ends the group", withZeros("[Op\0tions]\nk = 3\n"), "Op", "k", 1, 3},
        {"letters beyond ASCII match exactly", "[O]\n\xe9t\xe9 = 3\n", "O", "\xc9T\xc9", 1, 1},
        {"letters beyond ASCII", "[O]\n\xe9t\xe9 = 3\n", "O", "\xe9T\xe9", 1, 3}
    };
    // clang-format on
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
    for (const std::string variant :
         {"top = 9\r\n[Options]\r\n; note\r\nzoom = 4\r\n[Other]\r\ngrid = 1\r\n",
          "top = 9\r[Options]\r; note\rzoom = 4\r[Other]\rgrid = 1\r",
          "\xEF\xBB\xBFtop = 9\r[Options]\r; note\rzoom = 4\r[Other]\rgrid = 1",
          "\n\r\ntop = 9\n\n\n[Options]\r\r; note\n\r\n\rzoom = 4\n \t \n[Other]\r\n\r\ngrid = 1\r\n\r\n"}) {
        SCOPED_TRACE(variant);
        ASSERT_NE(openSettings(settingsFile(variant)), 0);
        std::string read = std::to_string(readSettingsNumber("top", 0));
        for (const char* group : {"options", "OTHER", "missing", ""}) {
            read += " " + std::to_string(selectSettingsGroup(group)) + ":";
            for (const char* key : {"zoom", "grid", "top"})
                read += std::to_string(readSettingsNumber(key, -1));
        }
        EXPECT_EQ(read, "9 1:4-1-1 1:-11-1 0:-1-1-1 1:-1-19");
        closeSettings();
    }
}

TEST_F(SettingsStoreTest, WrittenFiles) {
    struct Step {
        char action;  // 'g': select a group, 'w': write a number
        std::string name;
        int32_t value;
    };
    struct Case {
        const char* what;
        std::optional<std::string> before;  // none: no file yet
        bool create;                        // createSettings instead of openSettings
        std::vector<Step> steps;
        std::string after;
    };
    const std::vector<Step> viewerSteps = {{'g', "Options", 0},    {'w', "Zoom", 1},    {'w', "Multi", 0},
                                           {'w', "Grid", 0},       {'w', "Inverse", 0}, {'w', "Reverse", 0},
                                           {'w', "maxwidth", 256}, {'w', "ontop", 0}};
    const std::string viewerLines =
        "]\r\nZoom = 1\r\nMulti = 0\r\nGrid = 0\r\nInverse = 0\r\nReverse = 0\r\nmaxwidth = 256\r\nontop = "
        "0\r\n";
    // clang-format off
    const Case cases[] = {
        {"the viewer's file, new", std::nullopt, true, viewerSteps, "[Options" + viewerLines},
        {"the viewer's file over an old one", "[Options]\nzoom=8\nextra = 1\n[Old]\n", true, viewerSteps, "[Options" + viewerLines},
        {"the viewer's file into an opened one", "[options]\nzoom = 1\n", false, viewerSteps, "[options" + viewerLines},
        {"created and closed unchanged", "[Options]\r\nzoom = 2\r\n", true, {}, ""},
        {"key replaced in place with the caller's spelling", "[Options]\nzoom = 1\ngrid = 1\n", false, {{'g', "Options", 0}, {'w', "Zoom", 4}}, "[Options]\r\nZoom = 4\r\ngrid = 1\r\n"},
        {"new key at the end of the current group", "[A]\na = 1\n; closing remark\n[B]\nb = 2\n", false, {{'g', "a", 0}, {'w', "new", 5}}, "[A]\r\na = 1\r\n; closing remark\r\nnew = 5\r\n[B]\r\nb = 2\r\n"},
        {"new key at the end of the last group", "[A]\na = 1\n[B]\nb = 2\n", false, {{'g', "B", 0}, {'w', "new", -5}}, "[A]\r\na = 1\r\n[B]\r\nb = 2\r\nnew = -5\r\n"},
        {"new key in the top section", "top = 1\n[A]\na = 1\n", false, {{'w', "second", 2}}, "top = 1\r\nsecond = 2\r\n[A]\r\na = 1\r\n"},
        {"new key before a first group", "[A]\na = 1\n", false, {{'g', "", 0}, {'w', "top", 3}}, "top = 3\r\n[A]\r\na = 1\r\n"},
        {"missing group added at the end", "top = 1\n[A]\na = 1\n", false, {{'g', "B", 0}, {'w', "b", 2}, {'w', "c", 3}}, "top = 1\r\n[A]\r\na = 1\r\n[B]\r\nb = 2\r\nc = 3\r\n"},
        {"pending group dropped by the next selection", "[A]\na = 1\n", false, {{'g', "B", 0}, {'g', "A", 0}, {'w', "a", 7}}, "[A]\r\na = 7\r\n"},
        {"file that could not be opened is created", std::nullopt, false, {{'g', "Options", 0}, {'w', "Zoom", 2}}, "[Options]\r\nZoom = 2\r\n"},
        {"normalised on rewrite", "\n  ;first comment\n;  spaced\n[G1]   trailing\n  k1\t=\tv1  \nk2\n\n[G2\nk3 = 3\n", false, {{'g', "G2", 0}, {'w', "k3", 4}}, "; first comment\r\n;  spaced\r\n[G1]\r\nk1 = v1  \r\nk2 = \r\n[G2]\r\nk3 = 4\r\n"},
        {"a line cut at a zero byte", withZeros("[A]\nk \0om = 5\n"), false, {{'g', "A", 0}, {'w', "k", 1}}, "[A]\r\nk = 1\r\n"},
        {"extreme values", std::nullopt, true, {{'w', "low", INT32_MIN}, {'w', "high", INT32_MAX}, {'w', "zero", 0}}, "low = -2147483648\r\nhigh = 2147483647\r\nzero = 0\r\n"},
        {"second group of the same name is never written into", "[A]\na = 1\n[A]\nb = 1\n", false, {{'g', "A", 0}, {'w', "b", 2}}, "[A]\r\na = 1\r\nb = 2\r\n[A]\r\nb = 1\r\n"},
        {"UTF-8 file keeps its mark and gets UTF-8 names", "\xEF\xBB\xBF[Gr\xC3\xB6\xC3\x9F\x65]\nzoom = 1\n", false, {{'g', "Gr\xF6\xDF" "e", 0}, {'w', "\xC4rger", 3}}, "\xEF\xBB\xBF\r\n[Gr\xC3\xB6\xC3\x9F\x65]\r\nzoom = 1\r\n\xC3\x84rger = 3\r\n"},
        {"plain file keeps Latin-1 names", "[Gr\xF6\xDF" "e]\n", false, {{'g', "gr\xF6\xDF" "e", 0}, {'w', "\xC4rger", 3}}, "[Gr\xF6\xDF" "e]\r\n\xC4rger = 3\r\n"}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = folder.file("pl2.ini");
        unlink(name.c_str());
        if (c.before) writeWholeFile(name, *c.before);
        if (c.create) {
            ASSERT_NE(createSettings(name), 0);
        } else {
            EXPECT_EQ(openSettings(name) != 0, c.before.has_value());
        }
        for (const Step& step : c.steps) {
            if (step.action == 'g') {
                selectSettingsGroup(step.name);
            } else {
                writeSettingsNumber(step.name, step.value);
            }
        }
        EXPECT_EQ(readWholeFile(name), c.before.value_or(""));
        EXPECT_EQ(closeSettings(), 1);
        EXPECT_EQ(readWholeFile(name), c.after);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"pl2.ini"});
    }
}

TEST_F(SettingsStoreTest, SelectingGroupsAndReadingWhatWasWritten) {
    const std::string name = settingsFile("zoom = 1\n[Options]\nzoom = 2\n");
    // clang-format off
    const std::tuple<const char*, int, int32_t> cases[] = {
        {"", 1, 1}, {"Options", 1, 2}, {"OPTIONS", 1, 2}, {"Option", 0, -1}, {"Optionsx", 0, -1}
    };
    // clang-format on
    for (const auto& [group, selected, zoom] : cases) {
        ASSERT_NE(openSettings(name), 0);
        EXPECT_EQ(selectSettingsGroup(group), selected) << group;
        EXPECT_EQ(readSettingsNumber("zoom", -1), zoom) << group;
        closeSettings();
    }
    ASSERT_NE(openSettings(name), 0);
    EXPECT_EQ(selectSettingsGroup("B"), 0);
    writeSettingsNumber("k", 2);
    EXPECT_EQ(readSettingsNumber("k", 5), 2) << "the store itself changes";
    EXPECT_EQ(selectSettingsGroup("b"), 1);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(name), "zoom = 1\r\n[Options]\r\nzoom = 2\r\n[B]\r\nk = 2\r\n");
}

TEST_F(SettingsStoreTest, OpeningAnotherFileClosesAndWritesTheFirstAndWithoutAStoreNothingHappens) {
    EXPECT_EQ(selectSettingsGroup("Options"), 0);
    EXPECT_EQ(readSettingsNumber("zoom", 3), 3);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_TRUE(folder.entries().empty());

    const std::string first = folder.file("first.ini"), second = folder.file("second.ini");
    ASSERT_NE(createSettings(first), 0);
    writeSettingsNumber("a", 1);
    EXPECT_EQ(openSettings(second), 0);
    EXPECT_EQ(readWholeFile(first), "a = 1\r\n");
    writeSettingsNumber("b", 2);
    ASSERT_NE(createSettings(first), 0);
    EXPECT_EQ(readSettingsNumber("a", 9), 9) << "a created store starts empty";
    EXPECT_EQ(readWholeFile(second), "b = 2\r\n");
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(readWholeFile(first), "");
}

TEST_F(SettingsStoreTest, FilesThatCannotBeWrittenKeepTheirContents) {
    const std::string old = "[Options]\nzoom = 2\n";
    const std::string name = settingsFile(old);
    ASSERT_EQ(chmod(name.c_str(), 0444), 0);
    ASSERT_NE(openSettings(name), 0);
    selectSettingsGroup("Options");
    EXPECT_EQ(readSettingsNumber("zoom", 1), 2);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(closeSettings(), 0);
    EXPECT_EQ(readWholeFile(name), old);

    ASSERT_EQ(mkdir(folder.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0644), 0);
    alarm(20);  // a pipe opened the blocking way would hang here
    for (const std::string& other :
         {folder.file("sub"), folder.file("pipe"), folder.file("missing/pl2.ini"), std::string()}) {
        EXPECT_EQ(openSettings(other), 0) << other;
        writeSettingsNumber("zoom", 1);
        EXPECT_EQ(closeSettings(), 0) << other;
    }
    alarm(0);
    EXPECT_EQ(createSettings(name), 0);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(readSettingsNumber("zoom", 1), 1);
    EXPECT_EQ(closeSettings(), 1) << "no store was open";
    EXPECT_EQ(readWholeFile(name), old);
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"pipe", "pl2.ini", "sub"}));
}

TEST_F(SettingsStoreTest, ARelativeNameMeansTheFolderCurrentAtOpening) {
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(mkdir(folder.file("other").c_str(), 0755), 0);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    EXPECT_EQ(openSettings("pl2.ini"), 0);
    ASSERT_EQ(chdir("other"), 0);
    writeSettingsNumber("k", 1);
    EXPECT_EQ(closeSettings(), 1);
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(readWholeFile(folder.file("pl2.ini")), "k = 1\r\n");
    EXPECT_FALSE(fileExists(folder.file("other/pl2.ini")));
}

}  // namespace
