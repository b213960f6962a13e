// The "Bookmarks" menu over the own settings file: add, list per file, go (and Back), rename, delete.
#include <qnamespace.h>

#include "shell/controls.h"
#include "shell/window_shell.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/window/viewer_state.h"

namespace {

class BookmarkMenuTest : public ViewerWindowTest {
   protected:
    static std::string listed(int firstCommand = kCommandFirstBookmark) {
        std::string names;
        for (int id = firstCommand; !menuItemText(kMainMenu, id).empty(); ++id)
            names += menuItemText(kMainMenu, id) + ";";
        return names;
    }
    static std::string place() {
        return std::to_string(viewerState.byteOffset + getState(kOffsetSpin)) + "@" +
               std::to_string(getState(kWidthScroll)) + " x" + std::to_string(viewerState.zoom);
    }
    void addNamed(const std::string& name, bool byKey = false) {
        answer({{RequesterKind::Text, name}});
        if (byKey) {
            tapKey(Qt::Key_D, Qt::ControlModifier);
        } else {
            command(kCommandAddBookmark);
        }
        expectAllAnswered();
    }
};

TEST_F(BookmarkMenuTest, MarksOfTheLoadedFileAreListedVisitedRenamedAndDeleted) {
    writeFile("other.bin", countingBytes(5000));
    startWithData(100000);
    EXPECT_EQ(menuItemText(kMainMenu, kCommandAddBookmark), "Add bookmark...\tCtrl+D");
    setView(7, 10, 2);
    addNamed("sprites & tiles", true);
    EXPECT_EQ(seen().back().text, "$0048 Binary width 7");  // the name proposed
    command(kCommandZoom4);
    setView(9, 100, 0);
    addNamed("");  // no name: nothing added
    addNamed("font");
    EXPECT_EQ(listed(), "sprites && tiles;font;");
    EXPECT_EQ(listed(kCommandFirstBookmarkDelete), listed());

    command(kCommandFirstBookmark);
    EXPECT_EQ(place(), "72@7 x1");
    command(kCommandBack);
    EXPECT_EQ(place(), "900@9 x4");

    answer({{RequesterKind::Text, "hero"}});
    command(kCommandFirstBookmarkRename);
    command(kCommandFirstBookmarkDelete + 1);
    EXPECT_EQ(listed(), "hero;");

    // Another file has its own (none); the marks come back with the file, also after a restart.
    answer({{RequesterKind::OpenFile, path("other.bin")}});
    command(kCommandOpen);
    EXPECT_EQ(listed(), "");
    finish();
    ASSERT_EQ(start({"data.bin"}), ViewerStep::Continue);
    EXPECT_EQ(listed(), "hero;");
    command(kCommandFirstBookmark);
    EXPECT_EQ(place(), "72@7 x1");
    finish();
    // A file changed since keeps none of them.
    writeFile("data.bin", countingBytes(100001));
    ASSERT_EQ(start({"data.bin"}), ViewerStep::Continue);
    EXPECT_EQ(listed(), "");
}

}  // namespace
