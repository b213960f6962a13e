#include "viewer/window/bookmark_menu.h"

#include <string>
#include <vector>

#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "viewer/engine/bookmarks.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/place_history.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr const char* kMenuTitle = "Bookmarks";

std::vector<Bookmark> loadedFileBookmarks() {
    if (viewerState.dataBuffer == nullptr || viewerState.loadedKey.path.empty()) return {};
    std::vector<Bookmark> marks =
        fileBookmarks(readOwnSettings(), &viewerState.formats.modes, viewerState.loadedKey);
    if (marks.size() > static_cast<size_t>(kBookmarkCommandsEach)) marks.resize(kBookmarkCommandsEach);
    return marks;
}

// A menu shows "&" as the underline of the next letter; a name shows it as typed.
std::string menuTextOf(const std::string& name) {
    std::string text;
    for (const char c : name) text += c == '&' ? std::string("&&") : std::string(1, c);
    return text;
}

void listBookmarks(const std::vector<Bookmark>& marks, int firstCommand) {
    for (size_t i = 0; i < marks.size(); ++i)
        menuItem(firstCommand + static_cast<int>(i), menuTextOf(marks[i].name));
}

// A changed list is written at once and the menu follows it.
template <typename Change>
void changeBookmarks(Change change) {
    UserSettings settings = readOwnSettings();
    if (change(settings) && writeOwnSettings(settings)) buildBookmarkMenu();
}

void goToBookmark(const Bookmark& mark) {
    const ViewPlace before = currentPlace();
    showPlace({mark.first, mark.width, mark.mode, mark.zoom, mark.options});
    noteJumpFrom(before);
}

}  // namespace

void buildBookmarkMenu() {
    if (!rebuildSubmenu(kMainMenu, kMenuTitle)) return;
    menuItem(kCommandAddBookmark, "Add bookmark...\tCtrl+D");
    const std::vector<Bookmark> marks = loadedFileBookmarks();
    if (!marks.empty()) {
        menuSeparator();
        listBookmarks(marks, kCommandFirstBookmark);
        menuSeparator();
        openSubmenu("Rename bookmark");
        listBookmarks(marks, kCommandFirstBookmarkRename);
        closeSubmenu();
        openSubmenu("Delete bookmark");
        listBookmarks(marks, kCommandFirstBookmarkDelete);
        closeSubmenu();
    }
    closeSubmenu();
}

void addBookmarkCommand() {
    if (viewerState.dataBuffer == nullptr) return;
    if (viewerState.loadedKey.path.empty()) {
        showMessage("Bookmarks", "This file cannot have bookmarks: it is not a plain file");
        return;
    }
    const ViewPlace place = currentPlace();
    const std::string name =
        askText("Add bookmark", "Name",
                defaultBookmarkName(place.first, place.mode, &viewerState.formats.modes, place.width));
    if (name.empty()) return;
    const Bookmark mark{place.first, place.width, place.mode, place.zoom, place.options, name};
    changeBookmarks([&mark](UserSettings& settings) {
        addBookmark(settings, &viewerState.formats.modes, viewerState.loadedKey, mark);
        return true;
    });
}

bool bookmarkCommand(int command) {
    if (command < kCommandFirstBookmark || command >= kCommandFirstBookmarkDelete + kBookmarkCommandsEach)
        return false;
    const auto index = static_cast<size_t>((command - kCommandFirstBookmark) % kBookmarkCommandsEach);
    const std::vector<Bookmark> marks = loadedFileBookmarks();
    if (index >= marks.size()) return true;
    const FileKey& key = viewerState.loadedKey;
    if (command < kCommandFirstBookmarkRename) {
        goToBookmark(marks[index]);
    } else if (command < kCommandFirstBookmarkDelete) {
        const std::string name = askText("Rename bookmark", "Name", marks[index].name);
        if (!name.empty())
            changeBookmarks([&](UserSettings& settings) {
                return renameBookmark(settings, &viewerState.formats.modes, key, index, name);
            });
    } else {
        changeBookmarks([&](UserSettings& settings) {
            return deleteBookmark(settings, &viewerState.formats.modes, key, index);
        });
    }
    return true;
}
