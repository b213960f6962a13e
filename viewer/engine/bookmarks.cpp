#include "viewer/engine/bookmarks.h"

#include <sys/stat.h>

#include <charconv>
#include <climits>
#include <cstdlib>

#include "support/text_ops.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"
#include "viewer/engine/view_limits.h"

namespace {

constexpr const char* kBookmarkKey = "bookmark";

// The next space-separated decimal number; false when there is none.
bool takeNumber(std::string_view& text, int64_t& number) {
    const size_t end = text.find(' ');
    if (end == std::string_view::npos) return false;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + end, number);
    if (error != std::errc{} || stop != text.data() + end) return false;
    text.remove_prefix(end + 1);
    return true;
}

bool takeWord(std::string_view& text, std::string& word) {
    const size_t end = text.find(' ');
    if (end == std::string_view::npos || end == 0) return false;
    word.assign(text.substr(0, end));
    text.remove_prefix(end + 1);
    return true;
}

bool isSameKey(const FileKey& one, const FileKey& other) {
    return one.path == other.path && one.size == other.size && one.modified == other.modified;
}

// The settings line of the file's index-th bookmark; nullptr when there is none.
std::pair<std::string, std::string>* bookmarkEntry(UserSettings& settings, const AddedModes* added,
                                                   const FileKey& key, size_t index) {
    for (auto& line : settings.lines) {
        FileKey lineKey;
        Bookmark bookmark;
        if (line.first != kBookmarkKey || !parseBookmarkValue(line.second, added, lineKey, bookmark))
            continue;
        if (!isSameKey(lineKey, key)) continue;
        if (index-- == 0) return &line;
    }
    return nullptr;
}

// A name stays on one line, so that the command-line listing prints one bookmark a line.
std::string oneLineName(std::string name) {
    for (char& c : name)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return name;
}

}  // namespace

bool fileKeyOf(const std::string& fileName, FileKey& key) {
    char* resolved = realpath(fileName.c_str(), nullptr);
    if (resolved == nullptr) return false;
    key.path = resolved;
    std::free(resolved);
    struct stat info;
    if (stat(key.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    key.size = info.st_size;
    key.modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

bool parseBookmarkValue(std::string_view value, const AddedModes* added, FileKey& key, Bookmark& bookmark) {
    int64_t width = 0, zoom = 0, options = 0, pathLength = 0;
    std::string modeName;
    if (!takeNumber(value, key.size) || !takeNumber(value, key.modified) ||
        !takeNumber(value, bookmark.first) || !takeNumber(value, width) || !takeWord(value, modeName) ||
        !takeNumber(value, zoom) || !takeNumber(value, options) || !takeNumber(value, pathLength))
        return false;
    if (pathLength < 1 || static_cast<uint64_t>(pathLength) >= value.size() || value[pathLength] != ' ')
        return false;
    key.path.assign(value.substr(0, static_cast<size_t>(pathLength)));
    bookmark.name.assign(value.substr(static_cast<size_t>(pathLength) + 1));
    bookmark.mode = modeByCliName(modeName.c_str(), added);
    bookmark.width = static_cast<int32_t>(width);
    bookmark.zoom = static_cast<int32_t>(zoom);
    bookmark.options = static_cast<int32_t>(options);
    return bookmark.mode >= 0 && width >= 1 && width <= kMaxBytesPerRow && zoom >= 1 && zoom <= 8 &&
           isZoomStep(bookmark.zoom) && options >= 0 && options <= kPlaceOptionBits &&
           bookmark.first >= -kLargestDataSize && bookmark.first <= kLargestDataSize;
}

std::string bookmarkValue(const AddedModes* added, const FileKey& key, const Bookmark& bookmark) {
    return decimalText(key.size) + " " + decimalText(key.modified) + " " + decimalText(bookmark.first) + " " +
           decimalText(bookmark.width) + " " + modeRow(bookmark.mode, added)->cliName + " " +
           decimalText(bookmark.zoom) + " " + decimalText(bookmark.options) + " " +
           decimalText(static_cast<int64_t>(key.path.size())) + " " + key.path + " " + bookmark.name;
}

std::vector<Bookmark> fileBookmarks(const UserSettings& settings, const AddedModes* added,
                                    const FileKey& key) {
    std::vector<Bookmark> found;
    for (const auto& [name, value] : settings.lines) {
        FileKey lineKey;
        Bookmark bookmark;
        if (name == kBookmarkKey && parseBookmarkValue(value, added, lineKey, bookmark) &&
            isSameKey(lineKey, key))
            found.push_back(bookmark);
    }
    return found;
}

void addBookmark(UserSettings& settings, const AddedModes* added, const FileKey& key,
                 const Bookmark& bookmark) {
    Bookmark named = bookmark;
    named.name = oneLineName(bookmark.name);
    settings.lines.emplace_back(kBookmarkKey, bookmarkValue(added, key, named));
}

bool renameBookmark(UserSettings& settings, const AddedModes* added, const FileKey& key, size_t index,
                    const std::string& name) {
    auto* entry = bookmarkEntry(settings, added, key, index);
    if (entry == nullptr) return false;
    FileKey lineKey;
    Bookmark bookmark;
    parseBookmarkValue(entry->second, added, lineKey, bookmark);
    bookmark.name = oneLineName(name);
    entry->second = bookmarkValue(added, lineKey, bookmark);
    return true;
}

bool deleteBookmark(UserSettings& settings, const AddedModes* added, const FileKey& key, size_t index) {
    auto* entry = bookmarkEntry(settings, added, key, index);
    if (entry == nullptr) return false;
    settings.lines.erase(settings.lines.begin() + (entry - settings.lines.data()));
    return true;
}

std::string bookmarkLine(const Bookmark& bookmark, const AddedModes* added) {
    return decimalText(bookmark.first) + " " + decimalText(bookmark.width) + " " +
           modeRow(bookmark.mode, added)->cliName + " " + decimalText(bookmark.zoom) + " " + bookmark.name;
}

std::string defaultBookmarkName(int64_t first, int32_t mode, const AddedModes* added, int32_t width) {
    const ModeRow* row = modeRow(mode, added);
    return dollarHexText(first) + " " + (row != nullptr ? row->menuText : "?") + " width " +
           decimalText(width);
}
