// The program's own settings file: where it lies, its lines, and writing it whole.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/user_settings.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(UserSettingsTest, PathFollowsTheConfigurationFolder) {
    // XDG_CONFIG_HOME, HOME, the path.
    const struct {
        const char *config, *home, *path;
    } cases[] = {
        {"/c", "/h", "/c/pixloupe2d/settings"},
        {nullptr, "/h", "/h/.config/pixloupe2d/settings"},
        {"", "/h", "/h/.config/pixloupe2d/settings"},
        {"rel", "/h", "/h/.config/pixloupe2d/settings"},
        {nullptr, "rel", ""},
        {nullptr, nullptr, ""},
    };
    for (const auto& row : cases) EXPECT_EQ(userSettingsPath(row.config, row.home), row.path);
}

TEST(UserSettingsTest, LinesKeepEveryByteOfTheirValuesAndTheirOrder) {
    UserSettings settings;
    setUserSetting(settings, "a", "1");
    settings.lines.emplace_back("b", "x\\y\nz\r=");
    settings.lines.emplace_back("a", "2");
    settings.lines.emplace_back("c", "");
    setUserSetting(settings, "a", "3");  // the first "a" takes it, the second goes
    const std::string text = userSettingsText(settings);
    EXPECT_EQ(text, "# pixloupe2d settings\na=3\nb=x\\\\y\\nz\\r=\nc=\n");
    EXPECT_EQ(parseUserSettings(text).lines, settings.lines);
    EXPECT_EQ(userSetting(settings, "b"), "x\\y\nz\r=");
    EXPECT_EQ(userSetting(settings, "d"), "");
    // Comments, lines without "=", a lone trailing "\" and carriage returns before the new line.
    EXPECT_EQ(parseUserSettings("#k=v\nnothing\r\nk=v\\\r\n=e").lines,
              (std::vector<std::pair<std::string, std::string>>{{"k", "v\\"}, {"", "e"}}));
}

TEST(UserSettingsTest, WritingMakesTheFolderForTheUserAndReplacesTheFile) {
    TempFolder temporary;
    const std::string path = temporary.path() + "/config/pixloupe2d/settings";
    EXPECT_TRUE(readUserSettings(path).lines.empty());
    UserSettings settings;
    setUserSetting(settings, "k", "v");
    ASSERT_TRUE(writeUserSettings(path, settings));
    setUserSetting(settings, "k", "w");
    ASSERT_TRUE(writeUserSettings(path, settings));
    EXPECT_EQ(readUserSettings(path).lines, settings.lines);
    struct stat info;
    ASSERT_EQ(stat((temporary.path() + "/config/pixloupe2d").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(writeUserSettings("", settings));
    EXPECT_FALSE(writeUserSettings(path + "/below-a-file", settings));
}

}  // namespace
