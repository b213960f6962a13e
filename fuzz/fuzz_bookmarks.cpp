#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_folder.h"
#include "support/user_settings.h"
#include "viewer/engine/bookmarks.h"

// The program's own settings file as it may lie on disk, and the bookmark lines in it: what
// was read is written and read back the same, and every bookmark survives its own value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const UserSettings settings = parseUserSettings(text);
    check(parseUserSettings(userSettingsText(settings)).lines == settings.lines);
    for (const auto& [key, value] : settings.lines) {
        FileKey file;
        Bookmark bookmark;
        if (!parseBookmarkValue(value, nullptr, file, bookmark)) continue;
        FileKey again;
        Bookmark bookmarkAgain;
        check(parseBookmarkValue(bookmarkValue(nullptr, file, bookmark), nullptr, again, bookmarkAgain));
        check(bookmarkValue(nullptr, again, bookmarkAgain) == bookmarkValue(nullptr, file, bookmark));
        check(!bookmarkLine(bookmark, nullptr).empty());
        UserSettings changed = settings;
        changed.lines.emplace_back("bookmark", value);
        const size_t count = fileBookmarks(changed, nullptr, file).size();
        check(count >= 1);
        check(renameBookmark(changed, nullptr, file, count - 1, "renamed"));
        check(fileBookmarks(changed, nullptr, file).back().name == "renamed");
        check(deleteBookmark(changed, nullptr, file, count - 1));
        check(fileBookmarks(changed, nullptr, file).size() == count - 1);
    }
    return 0;
}
