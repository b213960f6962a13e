#include <QDialog>
#include <QMenu>
#include <QTimer>

#include <functional>

#include "shell_test_support.h"

namespace {

TEST_F(ShellTest, OnlyAnIdenticalTailEventIsMergedAndWaitingReturnsALaterOne) {
    using Events = std::vector<ReturnedEvent>;
    const std::pair<Events, bool> rows[] = {{{{13100, 1, 0, 3}, {13100, 1, 0, 3}}, true},
                                            {{{13100, 1, 0, 3}, {13100, 1, 0, 4}}, false},
                                            {{{13100, 1, 0, 3}, {13100, 2, 0, 3}}, false},
                                            {{{13101, 5, 0, 0}, {13101, 5, 1, 0}}, false},
                                            {{{13100, 5, 0, 0}, {13101, 5, 0, 0}}, false},
                                            {{{13101, 3, 0, 0}, {13101, 4, 0, 0}, {13101, 3, 0, 0}}, false},
                                            {{{0x10000, 1, 0, 0}, {0x10000, 1, 0, 0}}, false}};
    for (const auto& [posts, merged] : rows) {
        for (const ReturnedEvent& post : posts) postEvent(post.kind, post.object, post.window, post.type);
        EXPECT_EQ(takeEvents(), merged ? Events{posts[0]} : posts);
    }
    EXPECT_EQ(waitEvent(0), 0);
    QTimer::singleShot(20, [] { postEvent(13101, 9, 0, 0); });
    EXPECT_EQ(waitEvent(), 13101);
    EXPECT_EQ(eventMenuItem(), 9);
}

// Not a press that closed a menu or a dialog, nor one held in another window.
TEST_F(ShellTest, KeysCountForTheWindowOnlyWhenPressedThere) {
    QWidget* frame = openMainWindow();
    QWidget other;
    auto activateOther = [&other] {
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    };
    const std::pair<std::function<void()>, int> rows[] = {
        {[] { QTest::keyPress(nativeWindow(), Qt::Key_Escape); }, 1},
        {[] {
             QMenu menu;
             menu.addAction("item");
             menu.popup(QPoint(10, 10));
             ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
             QTest::keyPress(menu.windowHandle(), Qt::Key_Escape);
             QTest::qWait(20);
             EXPECT_FALSE(menu.isVisible());
         },
         0},
        {[frame] {
             QDialog dialog(frame);
             QTimer::singleShot(0, [&dialog] { QTest::keyPress(dialog.windowHandle(), Qt::Key_Escape); });
             dialog.exec();
         },
         0},
        {[&] { activateOther(), QTest::keyPress(other.windowHandle(), Qt::Key_Escape); }, 0},
        {[&] { QTest::keyPress(nativeWindow(), Qt::Key_Escape), activateOther(); }, 0},
    };
    for (int row = 0; row < 5; ++row) {
        takeEvents();
        rows[row].first();
        EXPECT_EQ(isKeyDown(kKeyEscape), 1) << row;
        EXPECT_EQ(takeEvents(kRawKeyDown).size(), size_t(row == 0 || row == 4)) << row;
        EXPECT_EQ(isKeyDownInWindow(0, kKeyEscape), rows[row].second) << row;
        QTest::keyRelease(nativeWindow(), Qt::Key_Escape);
        EXPECT_EQ(isKeyDownInWindow(0, kKeyEscape), 0);
        other.hide();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    }
}

}  // namespace
