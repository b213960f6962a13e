#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QWheelEvent>

#include <functional>
#include <string>

#include "shell_test_support.h"

namespace {

using EventQueueTest = ShellTest;

struct Post {
    int kind, object, window, type;
};

struct MergeCase {
    const char* name;
    std::vector<Post> posts;
    std::vector<ReturnedEvent> expected;
};

class MergeTest : public ShellTest, public testing::WithParamInterface<MergeCase> {};

TEST_P(MergeTest, OnlyAnIdenticalTailEventIsMerged) {
    for (const Post& post : GetParam().posts) postEvent(post.kind, post.object, post.window, post.type);
    EXPECT_EQ(takeEvents(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeTest,
    testing::Values(
        MergeCase{"identical", {{13100, 1, 0, 3}, {13100, 1, 0, 3}}, {{13100, 1, 0, 3}}},
        MergeCase{"other_type", {{13100, 1, 0, 3}, {13100, 1, 0, 4}}, {{13100, 1, 0, 3}, {13100, 1, 0, 4}}},
        MergeCase{"other_object", {{13100, 1, 0, 3}, {13100, 2, 0, 3}}, {{13100, 1, 0, 3}, {13100, 2, 0, 3}}},
        MergeCase{"other_window", {{13101, 5, 0, 0}, {13101, 5, 1, 0}}, {{13101, 5, 0, 0}, {13101, 5, 1, 0}}},
        MergeCase{"other_kind", {{13100, 5, 0, 0}, {13101, 5, 0, 0}}, {{13100, 5, 0, 0}, {13101, 5, 0, 0}}},
        MergeCase{"not_the_tail",
                  {{13101, 3, 0, 0}, {13101, 4, 0, 0}, {13101, 3, 0, 0}},
                  {{13101, 3, 0, 0}, {13101, 4, 0, 0}, {13101, 3, 0, 0}}},
        MergeCase{"above_16_bits",
                  {{0x10000, 1, 0, 0}, {0x10000, 1, 0, 0}},
                  {{0x10000, 1, 0, 0}, {0x10000, 1, 0, 0}}}),
    [](const testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

int releasedData = 0;
void countRelease(void* data) {
    releasedData += *static_cast<int*>(data);
}

TEST_F(EventQueueTest, MergedEventKeepsItsOwnDataAndTheNewOneIsReleased) {
    releasedData = 0;
    int first = 1, second = 10;
    postEvent(13100, 0, 0, 0x10003, &first, countRelease);
    postEvent(13100, 0, 0, 0x10003, &second, countRelease);
    EXPECT_EQ(releasedData, 10);
    ASSERT_EQ(waitEvent(0), 13100);
    EXPECT_EQ(eventData(), &first);
    EXPECT_EQ(waitEvent(0), 0);  // releases the data of the previous current event
    EXPECT_EQ(releasedData, 11);
}

std::vector<std::string> callLog;
void logCallback(const char* name) {
    callLog.push_back(std::string(name) + " " + std::to_string(eventKind()) + ":" +
                      std::to_string(eventWindow()) + ":" + std::to_string(eventControl()) + ":" +
                      std::to_string(eventType()));
}
void exactCallback() {
    logCallback("exact");
}
void anyTypeCallback() {
    logCallback("anyType");
}
void anyTypeLaterCallback() {
    logCallback("anyTypeLater");
}
void anyObjectCallback() {
    logCallback("anyObject");
}
void anyWindowCallback() {
    logCallback("anyWindow");
}
void objectTypeCallback() {
    logCallback("objectType");
}

TEST_F(EventQueueTest, CallbacksRunAtOnceInKeyOrderWithTheEventAsCurrent) {
    callLog.clear();
    bindEvent(13100, -1, 7, 2, objectTypeCallback);
    bindEvent(13100, -1, -1, -1, anyWindowCallback);
    bindEvent(13100, 0, -1, -1, anyObjectCallback);
    bindEvent(13100, 0, 7, -1, anyTypeCallback);
    bindEvent(13100, 0, 7, -1, anyTypeLaterCallback);
    bindEvent(13100, 0, 7, 2, exactCallback);
    bindEvent(13101, 0, 7, 2, exactCallback);  // other kind: not called

    postEvent(13101, 42, 0, 0);
    ASSERT_EQ(waitEvent(0), 13101);  // the current event before the post
    postEvent(13100, 7, 0, 2);
    std::vector<std::string> expected = {"exact 13100:0:7:2",     "anyTypeLater 13100:0:7:2",
                                         "anyType 13100:0:7:2",   "anyObject 13100:0:7:2",
                                         "anyWindow 13100:0:7:2", "objectType 13100:0:7:2"};
    EXPECT_EQ(callLog, expected);
    EXPECT_EQ(eventKind(), 13101);  // restored
    EXPECT_EQ(eventMenuItem(), 42);
    EXPECT_EQ(takeEvents(), (std::vector<ReturnedEvent>{{13100, 7, 0, 2}}));
}

TEST_F(EventQueueTest, SuppressedEventsAreDroppedWithoutCallbacks) {
    callLog.clear();
    bindEvent(13100, -1, -1, -1, anyWindowCallback);
    suppressEvents();
    suppressEvents();
    postEvent(13100, 1, 0, 0);
    resumeEvents();
    postEvent(13100, 2, 0, 0);
    resumeEvents();
    postEvent(13100, 3, 0, 0);
    EXPECT_EQ(callLog, std::vector<std::string>{"anyWindow 13100:0:3:0"});
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

// Raw messages: one per piece of input, events posted while it was handled come after it.
TEST_F(EventQueueTest, KeysBecomeRawMessagesBeforeTheEventsTheyCaused) {
    openMainWindow();
    addShortcut(0, kShortcutControl | 'O', 3);
    QTest::keyPress(nativeWindow(), Qt::Key_Right);
    QTest::keyRelease(nativeWindow(), Qt::Key_Right);
    QTest::keyClick(nativeWindow(), Qt::Key_O, Qt::ControlModifier);
    std::vector<ReturnedEvent> events;
    std::vector<uint64_t> wParams;
    while (int kind = waitEvent(0)) {
        if (kind == kEventRepaint || kind == kEventActivated) continue;
        events.push_back({kind, eventControl(), eventWindow(), eventType()});
        wParams.push_back(eventWParam());
    }
    // Control goes down first and up last around the O.
    std::vector<ReturnedEvent> expected = {
        {kRawKeyDown, 0, 0, 0}, {kRawKeyUp, 0, 0, 0}, {kRawKeyDown, 0, 0, 0}, {kRawKeyDown, 0, 0, 0},
        {kEventMenu, 3, 0, 0},  {kRawKeyUp, 0, 0, 0}, {kRawKeyUp, 0, 0, 0}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(wParams, (std::vector<uint64_t>{kKeyRight, kKeyRight, kKeyControl, 'O', 0, 'O', kKeyControl}));
}

// The raw message of the next wheel turn over the window, 0 if none came.
int wheelDelta(int delta) {
    QPointF point(300, 300);
    QWheelEvent wheel(point, QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(nativeWindow(), &wheel);
    while (int kind = waitEvent(0)) {
        if (kind == kRawMouseWheel) return static_cast<int16_t>((eventWParam() >> 16) & 0xFFFF);
    }
    return 0;
}

TEST_F(EventQueueTest, WheelArrivesAsRawMessageWithTheSignedDeltaInTheHighWord) {
    openMainWindow();
    for (int delta : {120, -120, 240, -360}) EXPECT_EQ(wheelDelta(delta), delta);
}

TEST_F(EventQueueTest, KeyStateFollowsPressAndRelease) {
    openMainWindow();
    EXPECT_EQ(isKeyDown(kKeyLeft), 0);
    QTest::keyPress(nativeWindow(), Qt::Key_Left);
    EXPECT_EQ(isKeyDown(kKeyLeft), 1);
    EXPECT_EQ(isKeyDown(kKeyRight), 0);
    QTest::keyRelease(nativeWindow(), Qt::Key_Left);
    EXPECT_EQ(isKeyDown(kKeyLeft), 0);
}

// A key counts for the window only when its press reached the window itself while it was the
// active window: not one that closed a menu or a dialog, nor one held in another window.
TEST_F(EventQueueTest, KeysCountForTheWindowOnlyWhenPressedThere) {
    QWidget* frame = openMainWindow();
    QWidget other;
    other.setWindowTitle("other");
    struct Case {
        const char* what;
        std::function<void()> press;  // presses Escape somewhere and leaves it down
        int counted;
    };
    const Case cases[] = {
        {"pressed in the window", [] { QTest::keyPress(nativeWindow(), Qt::Key_Escape); }, 1},
        {"pressed to close a popup menu",
         [] {
             QMenu menu;
             menu.addAction("item");
             menu.popup(QPoint(10, 10));
             ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
             QTest::keyPress(menu.windowHandle(), Qt::Key_Escape);
             QTest::qWait(20);
             EXPECT_FALSE(menu.isVisible());
         },
         0},
        {"pressed to close a dialog",
         [frame] {
             QDialog dialog(frame);
             QTimer::singleShot(0, [&dialog] { QTest::keyPress(dialog.windowHandle(), Qt::Key_Escape); });
             dialog.exec();
         },
         0},
        {"pressed in another window",
         [&other] {
             other.show();
             other.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
             QTest::keyPress(other.windowHandle(), Qt::Key_Escape);
         },
         0},
        {"pressed in the window, then another window is active",
         [&other] {
             QTest::keyPress(nativeWindow(), Qt::Key_Escape);
             other.show();
             other.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.press();
        EXPECT_EQ(isKeyDown(kKeyEscape), 1);
        EXPECT_EQ(isKeyDownInWindow(0, kKeyEscape), c.counted);
        QTest::keyRelease(nativeWindow(), Qt::Key_Escape);
        EXPECT_EQ(isKeyDownInWindow(0, kKeyEscape), 0);
        other.hide();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    }
}

TEST_F(EventQueueTest, CloseBoxPostsCloseAndLeavesTheWindowOpen) {
    QWidget* frame = openMainWindow();
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(takeEvents(kEventClose), (std::vector<ReturnedEvent>{{kEventClose, 0, 0, 0}}));
}

}  // namespace
