// Bookmark lines of the program's own settings: what a line holds, which file it belongs to,
// and adding, renaming and deleting one file's marks among another's.
#include <gtest/gtest.h>

#include "support/user_settings.h"
#include "tests/support/temp_folder.h"
#include "viewer/engine/bookmarks.h"

namespace {

const FileKey kRom{"/tmp/g.rom", 16384, 1765000000123456789};

TEST(BookmarksTest, ValuesNameTheirFileAndPlaceOrAreRefused) {
    // The value; parsed or not; the file's path and size; the command-line line.
    const struct {
        const char* value;
        bool ok;
        const char* path;
        int64_t size;
        const char* line;
    } cases[] = {
        {"16384 7 15616 1 binary 1 0 10 /tmp/g.rom $3D00 font", true, "/tmp/g.rom", 16384,
         "15616 1 binary 1 $3D00 font"},
        {"6912 1 -27 32 ZX 8 15 8 /a b.sna ", true, "/a b.sna", 6912, "-27 32 zx 8 "},
        {"1 1 0 1 binary 1 0 4 /a b extra", true, "/a b", 1, "0 1 binary 1 extra"},
        {"1 1 0 1 binary 1 0 5 /a b", false, "", 0, ""},    // the path runs to the end
        {"1 1 0 1 binary 1 0 3 /a b", false, "", 0, ""},    // no space after the path
        {"1 1 0 257 binary 1 0 2 /a b", false, "", 0, ""},  // width
        {"1 1 0 0 binary 1 0 2 /a b", false, "", 0, ""},
        {"1 1 0 1 binary 3 0 2 /a b", false, "", 0, ""},  // zoom
        {"1 1 0 1 binary 4294967297 0 2 /a b", false, "", 0, ""},
        {"1 1 0 1 hires 1 0 2 /a b", false, "", 0, ""},    // mode
        {"1 1 0 1 binary 1 16 2 /a b", false, "", 0, ""},  // options
        {"6000000000 1 5000000000 1 binary 1 0 4 /a b big", true, "/a b", 6000000000,
         "5000000000 1 binary 1 big"},
        {"1 1 1125899906842625 1 binary 1 0 2 /a b", false, "", 0, ""},  // first byte past 1 PiB
        {"1 1 x 1 binary 1 0 2 /a b", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.value);
        FileKey key;
        Bookmark bookmark;
        ASSERT_EQ(parseBookmarkValue(row.value, nullptr, key, bookmark), row.ok);
        if (!row.ok) continue;
        EXPECT_EQ(key.path + " " + std::to_string(key.size),
                  std::string(row.path) + " " + std::to_string(row.size));
        EXPECT_EQ(bookmarkLine(bookmark, nullptr), row.line);
    }
}

TEST(BookmarksTest, EachFileKeepsItsOwnMarksThroughAddRenameAndDelete) {
    UserSettings settings;
    setUserSetting(settings, "keep-first-byte", "1");
    FileKey changed = kRom;
    changed.modified += 1;  // the same path rewritten: another file
    addBookmark(settings, nullptr, kRom, {15616, 1, 0, 1, 0, "font"});
    addBookmark(settings, nullptr, changed, {0, 8, 0, 2, 0, "other"});
    addBookmark(settings, nullptr, kRom, {6144, 32, 12, 4, 9, "two\nlines"});
    const UserSettings read = parseUserSettings(userSettingsText(settings));
    const auto names = [&](const UserSettings& from, const FileKey& key) {
        std::string all;
        for (const Bookmark& each : fileBookmarks(from, nullptr, key))
            all += bookmarkLine(each, nullptr) + ";";
        return all;
    };
    EXPECT_EQ(names(read, kRom), "15616 1 binary 1 font;6144 32 zx 4 two lines;");
    EXPECT_EQ(names(read, changed), "0 8 binary 2 other;");
    UserSettings edited = read;
    EXPECT_TRUE(renameBookmark(edited, nullptr, kRom, 1, "screen\tA"));
    EXPECT_FALSE(renameBookmark(edited, nullptr, kRom, 2, "none"));
    EXPECT_TRUE(deleteBookmark(edited, nullptr, kRom, 0));
    EXPECT_FALSE(deleteBookmark(edited, nullptr, kRom, 1));
    EXPECT_EQ(names(edited, kRom), "6144 32 zx 4 screen A;");
    EXPECT_EQ(names(edited, changed), "0 8 binary 2 other;");
    EXPECT_EQ(userSetting(edited, "keep-first-byte"), "1");
}

TEST(BookmarksTest, AFileIsKnownByItsFullPathSizeAndTime) {
    TempFolder temporary;
    writeWholeFile(temporary.path() + "/a.bin", "12345");
    FileKey key;
    ASSERT_TRUE(fileKeyOf(temporary.path() + "/./a.bin", key));
    EXPECT_EQ(key.path, temporary.path() + "/a.bin");
    EXPECT_EQ(key.size, 5);
    EXPECT_GT(key.modified, 0);
    EXPECT_FALSE(fileKeyOf(temporary.path(), key));
    EXPECT_FALSE(fileKeyOf(temporary.path() + "/none", key));
    EXPECT_EQ(defaultBookmarkName(15616, 0, nullptr, 1), "$3D00 Binary width 1");
}

}  // namespace
