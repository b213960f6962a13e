// Places in a data file that the user marked, kept per file in the program's own settings:
// one "bookmark" line each, naming the file by its full path, size and modification time, so
// that a changed or replaced file shows none of the old marks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/user_settings.h"

struct AddedModes;

struct FileKey {
    std::string path;  // absolute, links resolved
    int64_t size = 0;
    int64_t modified = 0;  // nanoseconds since 1970
};

// The key of the file the name leads to; false when it does not lead to a regular file.
bool fileKeyOf(const std::string& fileName, FileKey& key);

// Display options of a place, as bits.
constexpr int32_t kPlaceInverse = 1, kPlaceReverse = 2, kPlaceNibbleSwap = 4, kPlaceMultiColumn = 8;
constexpr int32_t kPlaceOptionBits = 15;

struct Bookmark {
    int64_t first;  // the view's first byte
    int32_t width, mode, zoom, options;
    std::string name;
};

// The bookmark lines' value: size, time, first byte, width, mode (its command-line name),
// zoom, options, the path's length, the path, then the name. False for a value that is not
// one, or names no known mode, a width outside 1..256, a zoom that is no zoom step or a
// first byte outside the 32-bit range.
bool parseBookmarkValue(std::string_view value, const AddedModes* added, FileKey& key, Bookmark& bookmark);
std::string bookmarkValue(const AddedModes* added, const FileKey& key, const Bookmark& bookmark);

// The file's bookmarks in the order they were added; rename and delete take an index into it.
// Names are kept on one line: line ends and tabs become spaces.
std::vector<Bookmark> fileBookmarks(const UserSettings& settings, const AddedModes* added,
                                    const FileKey& key);
void addBookmark(UserSettings& settings, const AddedModes* added, const FileKey& key,
                 const Bookmark& bookmark);
bool renameBookmark(UserSettings& settings, const AddedModes* added, const FileKey& key, size_t index,
                    const std::string& name);
bool deleteBookmark(UserSettings& settings, const AddedModes* added, const FileKey& key, size_t index);

// "first width mode zoom name": the first byte in decimal, the mode by its command-line name.
std::string bookmarkLine(const Bookmark& bookmark, const AddedModes* added);

// The first byte as "$hex", the mode's menu name and the width.
std::string defaultBookmarkName(int64_t first, int32_t mode, const AddedModes* added, int32_t width);
