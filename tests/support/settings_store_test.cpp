#include "support/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <set>
#include <string>

#include "tests/support/temp_folder.h"

using namespace std::string_literals;

namespace {

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
        std::string file;
        const char* group;  // nullptr: none selected
        const char* key;
        int32_t defaultValue, expected;
    };
    // clang-format off
    const Case cases[] = {
        {"[options]\nZOOM=4\n", "Options", "zoom", 1, 4}, {"[O]\nk = 4x\n", "O", "k", 1, 4},
        {"[O]\nk = x4\n", "O", "k", 1, 0}, {"[O]\nk\n", "O", "k", 1, 0}, {"[O]\ngrid = 1\n", "O", "k", 9, 9},
        {"[O]\nk = -3\n", "O", "k", 1, -3}, {"[O]\nk = +3\n", "O", "k", 1, 3},
        {"[O]\n\t k \t=  7  \n", "O", "k", 1, 7}, {"k = 5\n[O]\n", "O", "k", 1, 1},
        {"k = 5\n[O]\nk = 6\n", "", "k", 1, 5}, {"k = 5\n[O]\nk = 6\n", nullptr, "k", 1, 5},
        {"[O]\nk = 2\nk = 3\n", "O", "k", 1, 2}, {"[O]\ngrid = 1\n[O]\nk = 3\n", "O", "k", 1, 1},
        {"[ O ]\nk = 2\n", "O", "k", 1, 1}, {"[ O ]\nk = 2\n", " o ", "k", 1, 2},
        {"[O\nk = 2\n", "O", "k", 1, 2}, {"[O] ; comment\nk = 2\n", "O", "k", 1, 2},
        {"[O]\n;k = 8\n", "O", "k", 1, 1}, {"[O]\n  ; k = 8\nk = 3\n", "O", "k", 1, 3},
        {"[O]\n#k = 8\n", "O", "#k", 1, 8}, {"[O]\n[Other]\nk = 2\n", "O", "k", 1, 1},
        {"[O]\nk = 2\n[Other]\nk = 5\n", "other", "k", 1, 5}, {"k = 5\n", "O", "k", 1, 1},
        {"", "", "k", 4, 4}, {"\r\n\n\r\r", "", "k", 4, 4}, {"[O]\nk = 6", "O", "k", 1, 6},
        {"[O]\nk = 2147483647\n", "O", "k", 1, INT32_MAX}, {"[O]\nk = -2147483648\n", "O", "k", 1, INT32_MIN},
        {"[O]\nk = 2147483648\n", "O", "k", 1, INT32_MAX}, {"[O]\nk = -2147483649\n", "O", "k", 1, INT32_MIN},
        {"[O]\nk = 99999999999999999999999999\n", "O", "k", 1, INT32_MAX}, {"[O]\nk = -\n", "O", "k", 1, 0},
        {"[O]\nk = +-4\n", "O", "k", 1, 0}, {"[O]\nk = \v\f9\n", "O", "k", 1, 9},
        {"[O]\nmax width = 5\n", "O", "max width", 1, 5}, {"[O]\nmax width = 5\n", "O", "max width ", 1, 1},
        {"[O]\n= 5\n", "O", "", 1, 5}, {"[O]\nzo\0om = 5\n"s, "O", "zo", 1, 0},
        {"[O]\n\0k = 5\nk = 6\n"s, "O", "k", 1, 6},
        {"[Op\0tions]\nk = 3\n"s, "Op", "k", 1, 3},
        {"[O]\n\xe9t\xe9 = 3\n", "O", "\xc9T\xc9", 1, 1}, {"[O]\n\xe9t\xe9 = 3\n", "O", "\xe9T\xe9", 1, 3},
        {"k = 1\n[Options]\nk = 2\n", "OPTIONS", "k", 1, 2}, {"k = 1\n[Options]\nk = 2\n", "Option", "k", -1, -1},
        {"k = 1\n[Options]\nk = 2\n", "Optionsx", "k", -1, -1},
        // Line ends of every kind and the UTF-8 mark.
        {"top = 9\r\n[O]\r\n; note\r\nk = 4\r\n[P]\r\nk = 1\r\n", "O", "k", 0, 4},
        {"\xEF\xBB\xBFtop = 9\r[O]\r; note\rk = 4\r[P]\rk = 1", "O", "k", 0, 4},
        {"\xEF\xBB\xBFtop = 9\r[O]\r; note\rk = 4\r[P]\rk = 1", "", "top", 0, 9},
        {"\n\r\ntop = 9\n\n\n[O]\r\r; note\n\r\n\r \t \nk = 4\n[P]\r\n\r\nk = 1\r\n\r\n", "P", "k", 0, 1}
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_NE(openSettings(settingsFile(c.file)), 0);
        if (c.group != nullptr) selectSettingsGroup(c.group);
        EXPECT_EQ(readSettingsNumber(c.key, c.defaultValue), c.expected);
        EXPECT_EQ(closeSettings(), 1);
        EXPECT_EQ(readWholeFile(folder.file("pl2.ini")), c.file) << "reading must not change the file";
    }
}

// Steps apart by a space: "[name]" selects a group, "key=value" writes a number.
TEST_F(SettingsStoreTest, WrittenFiles) {
    struct Case {
        std::optional<std::string> before;  // none: no file yet
        bool create;                        // createSettings instead of openSettings
        std::string steps, after;
    };
    const std::string viewer = "[Options] Zoom=1 Multi=0 Grid=0 Inverse=0 Reverse=0 maxwidth=256 ontop=0";
    const std::string viewerLines =
        "]\r\nZoom = 1\r\nMulti = 0\r\nGrid = 0\r\nInverse = 0\r\nReverse = 0\r\nmaxwidth = 256\r\nontop = "
        "0\r\n";
    // clang-format off
    const Case cases[] = {
        {std::nullopt, true, viewer, "[Options" + viewerLines},
        {"[Options]\nzoom=8\nextra = 1\n[Old]\n", true, viewer, "[Options" + viewerLines},
        {"[options]\nzoom = 1\n", false, viewer, "[options" + viewerLines},
        {"[Options]\r\nzoom = 2\r\n", true, "", ""},
        {"[Options]\nzoom = 1\ngrid = 1\n", false, "[Options] Zoom=4", "[Options]\r\nZoom = 4\r\ngrid = 1\r\n"},
        {"[A]\na = 1\n; remark\n[B]\nb = 2\n", false, "[a] new=5", "[A]\r\na = 1\r\n; remark\r\nnew = 5\r\n[B]\r\nb = 2\r\n"},
        {"[A]\na = 1\n[B]\nb = 2\n", false, "[B] new=-5", "[A]\r\na = 1\r\n[B]\r\nb = 2\r\nnew = -5\r\n"},
        {"top = 1\n[A]\na = 1\n", false, "second=2", "top = 1\r\nsecond = 2\r\n[A]\r\na = 1\r\n"},
        {"[A]\na = 1\n", false, "[] top=3", "top = 3\r\n[A]\r\na = 1\r\n"},
        {"top = 1\n[A]\na = 1\n", false, "[B] b=2 c=3", "top = 1\r\n[A]\r\na = 1\r\n[B]\r\nb = 2\r\nc = 3\r\n"},
        {"[A]\na = 1\n", false, "[B] [A] a=7", "[A]\r\na = 7\r\n"},
        {std::nullopt, false, "[Options] Zoom=2", "[Options]\r\nZoom = 2\r\n"},
        {"\n  ;first\n;  spaced\n[G1]   trailing\n  k1\t=\tv1  \nk2\n\n[G2\nk3 = 3\n", false, "[G2] k3=4",
         "; first\r\n;  spaced\r\n[G1]\r\nk1 = v1  \r\nk2 = \r\n[G2]\r\nk3 = 4\r\n"},
        {"[A]\nk \0om = 5\n"s, false, "[A] k=1", "[A]\r\nk = 1\r\n"},
        {std::nullopt, true, "low=-2147483648 high=2147483647", "low = -2147483648\r\nhigh = 2147483647\r\n"},
        {"[A]\na = 1\n[A]\nb = 1\n", false, "[A] b=2", "[A]\r\na = 1\r\nb = 2\r\n[A]\r\nb = 1\r\n"},
        // A file with the UTF-8 mark keeps it and gets UTF-8 names; a plain file keeps Latin-1 ones.
        {"\xEF\xBB\xBF[Gr\xC3\xB6\xC3\x9F\x65]\nzoom = 1\n", false, "[Gr\xF6\xDF" "e] \xC4rger=3",
         "\xEF\xBB\xBF\r\n[Gr\xC3\xB6\xC3\x9F\x65]\r\nzoom = 1\r\n\xC3\x84rger = 3\r\n"},
        {"[Gr\xF6\xDF" "e]\n", false, "[gr\xF6\xDF" "e] \xC4rger=3", "[Gr\xF6\xDF" "e]\r\n\xC4rger = 3\r\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        const std::string name = folder.file("pl2.ini");
        unlink(name.c_str());
        if (c.before) writeWholeFile(name, *c.before);
        const int input = dup(0);  // standard input closed: the file gets descriptor 0
        close(0);
        EXPECT_EQ(c.create ? createSettings(name) != 0 : openSettings(name) != 0, c.create || c.before);
        dup2(input, 0), close(input);
        for (size_t at = 0, end; at < c.steps.size(); at = end + 1) {
            end = std::min(c.steps.find(' ', at), c.steps.size());
            const std::string step = c.steps.substr(at, end - at), key = step.substr(0, step.find('='));
            if (step[0] == '[') selectSettingsGroup(step.substr(1, step.size() - 2));
            if (step[0] != '[') writeSettingsNumber(key, std::stoi(step.substr(key.size() + 1)));
        }
        EXPECT_EQ(readWholeFile(name), c.before.value_or(""));
        EXPECT_EQ(closeSettings(), 1);
        EXPECT_EQ(readWholeFile(name), c.after);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"pl2.ini"});
    }
}

TEST_F(SettingsStoreTest,
       AnUnchangedStoreIsNotWrittenWithoutAStoreOrFileNothingHappensARelativeNameIsFixedAtOpening) {
    ASSERT_NE(openSettings(settingsFile("[A]\n")), 0);
    EXPECT_EQ(selectSettingsGroup("a") * 10 + selectSettingsGroup("B") + selectSettingsGroup(""), 11);
    ASSERT_EQ(unlink(folder.file("pl2.ini").c_str()), 0);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_EQ(selectSettingsGroup("Options"), 0);
    EXPECT_EQ(readSettingsNumber("zoom", 3), 3);
    writeSettingsNumber("zoom", 4);
    EXPECT_EQ(closeSettings(), 1);
    EXPECT_TRUE(folder.entries().empty());
    ASSERT_EQ(mkdir(folder.file("sub").c_str(), 0755) | mkfifo(folder.file("pipe").c_str(), 0644), 0);
    alarm(20);
    for (const std::string& other :
         {folder.file("sub"), folder.file("pipe"), folder.file("missing/pl2.ini"), std::string()}) {
        EXPECT_EQ(openSettings(other), 0) << other;
        writeSettingsNumber("zoom", 1);
        EXPECT_EQ(closeSettings(), 0) << other;
    }
    alarm(0);
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"pipe", "sub"}));
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
