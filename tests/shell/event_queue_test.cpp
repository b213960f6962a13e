#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <QWheelEvent>

#include <functional>
#include <string>

#include "shell_test_support.h"

namespace {

using EventQueueTest = ShellTest;

// Only an event equal in kind, object, window and type to the last one waiting is merged into
// it; the merged one keeps its own data and the new data is released at once.
TEST_F(EventQueueTest, OnlyAnIdenticalTailEventIsMerged) {
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
    static int released = 0;
    int first = 1, second = 10;
    auto release = [](void* data) { released += *static_cast<int*>(data); };
    postEvent(13100, 0, 0, 0x10003, &first, release);
    postEvent(13100, 0, 0, 0x10003, &second, release);
    EXPECT_EQ(released, 10);
    ASSERT_EQ(waitEvent(0), 13100);
    EXPECT_EQ(eventData(), &first);
    EXPECT_EQ(waitEvent(0), 0);  // releases the data of the previous current event
    EXPECT_EQ(released, 11);
}

std::vector<std::string> callLog;
template <char Name>
void logCall() {
    callLog.push_back(std::string(1, Name) + std::to_string(eventKind()) + ":" +
                      std::to_string(eventWindow()) + ":" + std::to_string(eventControl()) + ":" +
                      std::to_string(eventType()));
}

// Bound callbacks run while the event is posted, the most exact key first (later bindings of
// one key first), with the event as the current one; suppressed events are dropped unseen.
TEST_F(EventQueueTest, CallbacksRunAtOnceInKeyOrderAndSuppressionDrops) {
    callLog.clear();
    bindEvent(13100, -1, 7, 2, logCall<'f'>);
    bindEvent(13100, -1, -1, -1, logCall<'e'>);
    bindEvent(13100, 0, -1, -1, logCall<'d'>);
    bindEvent(13100, 0, 7, -1, logCall<'c'>);
    bindEvent(13100, 0, 7, -1, logCall<'b'>);
    bindEvent(13100, 0, 7, 2, logCall<'a'>);
    bindEvent(13101, 0, 7, 2, logCall<'x'>);  // other kind: not called
    postEvent(13101, 42, 0, 0);
    ASSERT_EQ(waitEvent(0), 13101);  // the current event before the post
    postEvent(13100, 7, 0, 2);
    EXPECT_EQ(callLog, (std::vector<std::string>{"a13100:0:7:2", "b13100:0:7:2", "c13100:0:7:2",
                                                 "d13100:0:7:2", "e13100:0:7:2", "f13100:0:7:2"}));
    EXPECT_EQ(eventKind(), 13101);  // restored
    EXPECT_EQ(eventMenuItem(), 42);
    EXPECT_EQ(takeEvents(), (std::vector<ReturnedEvent>{{13100, 7, 0, 2}}));
    callLog.clear();
    suppressEvents();
    suppressEvents();
    postEvent(13100, 1, 0, 0);
    resumeEvents();
    postEvent(13100, 2, 0, 0);
    resumeEvents();
    postEvent(13100, 3, 0, 0);
    EXPECT_EQ(callLog, (std::vector<std::string>{"d13100:0:3:0", "e13100:0:3:0"}));
    EXPECT_EQ(takeEvents(), (std::vector<ReturnedEvent>{{13100, 3, 0, 0}}));
}

TEST_F(EventQueueTest, TimeoutFormsReturnZeroWhenNothingArrives) {
    EXPECT_EQ(waitEvent(0), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(waitEvent(60), 0);
    EXPECT_GE(clock.elapsed(), 55);
    QTimer::singleShot(20, [] { postEvent(13101, 9, 0, 0); });
    EXPECT_EQ(waitEvent(), 13101);
    EXPECT_EQ(eventMenuItem(), 9);
}

// Raw messages: one per piece of input, events posted while it was handled come after it; the
// wheel's signed delta in the high word; the key state follows press and release.
TEST_F(EventQueueTest, InputBecomesRawMessagesBeforeTheEventsItCaused) {
    QWidget* frame = openMainWindow();
    addShortcut(0, kShortcutControl | 'O', 3);
    QTest::keyPress(nativeWindow(), Qt::Key_Right);
    EXPECT_EQ(std::pair(isKeyDown(kKeyRight), isKeyDown(kKeyLeft)), std::pair(1, 0));
    QTest::keyRelease(nativeWindow(), Qt::Key_Right);
    EXPECT_EQ(isKeyDown(kKeyRight), 0);
    QTest::keyClick(nativeWindow(), Qt::Key_O, Qt::ControlModifier);
    for (int delta : {120, -360}) {
        QWheelEvent wheel(QPointF(300, 300), QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(nativeWindow(), &wheel);
    }
    std::string seen;  // key down and up with the key, menu with the item, wheel with the delta
    while (int kind = waitEvent(0)) {
        if (kind == kRawKeyDown || kind == kRawKeyUp)
            seen += (kind == kRawKeyDown ? " d" : " u") + std::to_string(eventWParam());
        if (kind == kRawMouseWheel) seen += " w" + std::to_string(int16_t(eventWParam() >> 16));
        if (kind == kEventMenu) seen += " menu" + std::to_string(eventMenuItem());
    }
    EXPECT_EQ(seen, " d39 u39 d17 d79 menu3 u79 u17 w120 w-360");
    EXPECT_FALSE(frame->close());  // the close box posts close and leaves the window open
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(takeEvents(kEventClose), (std::vector<ReturnedEvent>{{kEventClose, 0, 0, 0}}));
}

// A key counts for the window only when its press reached the window itself while it was the
// active window: not one that closed a menu or a dialog, nor one held in another window.
TEST_F(EventQueueTest, KeysCountForTheWindowOnlyWhenPressedThere) {
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
        rows[row].first();
        EXPECT_EQ(isKeyDown(kKeyEscape), 1) << row;
        EXPECT_EQ(isKeyDownInWindow(0, kKeyEscape), rows[row].second) << row;
        QTest::keyRelease(nativeWindow(), Qt::Key_Escape);
        EXPECT_EQ(isKeyDownInWindow(0, kKeyEscape), 0);
        other.hide();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    }
}

}  // namespace
