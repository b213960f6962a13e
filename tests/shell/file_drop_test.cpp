#include "shell/file_drop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <string>
#include <vector>

#include "shell/canvas_widget.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"

namespace {

constexpr int kWindow = 0, kCanvas = 1, kScrollBar = 2;

enum class Payload { Files, Text, RemoteUrl, LocalAndRemoteUrls };
enum class Place { Canvas, ScrollBar, WindowBackground };

struct DropCase {
    const char* name;
    Payload payload;
    std::vector<std::string> files;
    Qt::DropActions offered;
    Qt::KeyboardModifiers keys;
    Place place;
    bool accepted;                      // with the copy action
    std::vector<std::string> expected;  // names of the one event posted; no event when not accepted
};

void PrintTo(const DropCase& c, std::ostream* out) {
    *out << c.name;
}

QMimeData* makePayload(const DropCase& c) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    // As a file manager sends them: every byte of the name that is not plain ASCII escaped.
    for (const std::string& file : c.files)
        urls.append(QUrl::fromEncoded("file://" + QByteArray::fromStdString(file).toPercentEncoding("/")));
    switch (c.payload) {
        case Payload::Files:
            data->setUrls(urls);
            break;
        case Payload::Text:
            data->setText("some text");
            break;
        case Payload::RemoteUrl:
            data->setUrls({QUrl("https://example.org/a.bin")});
            break;
        case Payload::LocalAndRemoteUrls:
            data->setUrls(urls + QList<QUrl>{QUrl("https://example.org/a.bin")});
            break;
    }
    return data;
}

struct DragOutcome {
    bool enterAccepted = false;
    Qt::DropAction enterAction = Qt::IgnoreAction;
    bool dropAccepted = false;
    Qt::DropAction dropAction = Qt::IgnoreAction;
};

struct DropEvents {
    int count = 0;
    int control = -1, window = -1;
    std::vector<std::string> names;
};

class FileDropTest : public testing::Test {
   protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "file_drop_test";
        static char* argv[] = {name, nullptr};
        ASSERT_NE(initShell(argc, argv), 0);
    }

    void SetUp() override {
        ASSERT_NE(openWindow(kWindow, 0, 0, 400, 300, "Drop", 0xCA0001), 0);
        ASSERT_NE(createCanvas(kCanvas, 10, 10, 200, 150, 0), 0);
        ASSERT_NE(createScrollBar(kScrollBar, 220, 10, 17, 150, 0, 100, 10, 1), 0);
        ASSERT_NE(enableFileDrop(kCanvas, kFormatFileList, kDropCopy), 0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
        clearEvents();
    }

    void TearDown() override { releaseShellObjects(); }

    static QWidget* frame() { return static_cast<QWidget*>(windowHandle(kWindow)); }

    // A point inside the place, in the window's coordinates.
    static QPoint pointOn(Place place) {
        switch (place) {
            case Place::Canvas:
                return static_cast<QWidget*>(controlHandle(kCanvas))->mapTo(frame(), QPoint(20, 30));
            case Place::ScrollBar:
                return static_cast<QWidget*>(controlHandle(kScrollBar))->mapTo(frame(), QPoint(8, 60));
            case Place::WindowBackground:
                return QPoint(300, 250);
        }
        return {};
    }

    // Enter, move and drop through the native window, as the platform delivers a drag. The
    // drop is sent even after a refusal: it must change nothing.
    static DragOutcome dragAndDrop(QPoint point, QMimeData* data, Qt::DropActions offered,
                                   Qt::KeyboardModifiers keys) {
        QWindow* window = frame()->windowHandle();
        DragOutcome outcome;
        QDragEnterEvent enter(point, offered, data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(window, &enter);
        outcome.enterAccepted = enter.isAccepted();
        outcome.enterAction = enter.dropAction();
        if (outcome.enterAccepted) {
            QDragMoveEvent move(point + QPoint(1, 1), offered, data, Qt::LeftButton, keys);
            QCoreApplication::sendEvent(window, &move);
        }
        QDropEvent drop(QPointF(point + QPoint(1, 1)), offered, data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(window, &drop);
        outcome.dropAccepted = drop.isAccepted();
        outcome.dropAction = drop.dropAction();
        return outcome;
    }

    // Reads everything waiting; the names are taken while the drop event is the current one.
    static DropEvents readDropEvents() {
        DropEvents events;
        while (int kind = waitEvent(0)) {
            if (kind != kEventFilesDropped) continue;
            ++events.count;
            events.control = eventControl();
            events.window = eventWindow();
            events.names = droppedFileNames();
        }
        return events;
    }
};

class DropTableTest : public FileDropTest, public testing::WithParamInterface<DropCase> {};

TEST_P(DropTableTest, AcceptsLocalFilesOnTheCanvasWithCopyOnly) {
    const DropCase& c = GetParam();
    QMimeData* data = makePayload(c);
    const DragOutcome outcome = dragAndDrop(pointOn(c.place), data, c.offered, c.keys);
    delete data;
    const DropEvents events = readDropEvents();

    EXPECT_EQ(outcome.enterAccepted, c.accepted);
    EXPECT_EQ(outcome.dropAccepted, c.accepted);
    if (c.accepted) {
        EXPECT_EQ(outcome.enterAction, Qt::CopyAction);
        EXPECT_EQ(outcome.dropAction, Qt::CopyAction);
        EXPECT_EQ(events.count, 1);
        EXPECT_EQ(events.control, kCanvas);
        EXPECT_EQ(events.window, kWindow);
        EXPECT_EQ(events.names, c.expected);
    } else {
        EXPECT_EQ(events.count, 0);
    }
}

const Qt::DropActions kAllActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

INSTANTIATE_TEST_SUITE_P(
    FileDrop, DropTableTest,
    testing::Values(
        DropCase{"OneFile",
                 Payload::Files,
                 {"/data/one.bin"},
                 kAllActions,
                 {},
                 Place::Canvas,
                 true,
                 {"/data/one.bin"}},
        DropCase{"ThreeFilesInOrder",
                 Payload::Files,
                 {"/d/c.bin", "/d/a.bin", "/d/b.bin"},
                 kAllActions,
                 {},
                 Place::Canvas,
                 true,
                 {"/d/c.bin", "/d/a.bin", "/d/b.bin"}},
        DropCase{"NamesWithALineFeedBytesThatAreNoUtf8AndEscapes",
                 Payload::Files,
                 {"/d/sprite\ndata.bin", "/d/caf\xE9.bin", "/d/100%25 \"q\".bin"},
                 kAllActions,
                 {},
                 Place::Canvas,
                 true,
                 {"/d/sprite\ndata.bin", "/d/caf\xE9.bin", "/d/100%25 \"q\".bin"}},
        DropCase{"NameWithSpaces",
                 Payload::Files,
                 {"/my data/file one.bin"},
                 kAllActions,
                 {},
                 Place::Canvas,
                 true,
                 {"/my data/file one.bin"}},
        DropCase{"ShiftStillCopies",
                 Payload::Files,
                 {"/a"},
                 kAllActions,
                 Qt::ShiftModifier,
                 Place::Canvas,
                 true,
                 {"/a"}},
        DropCase{"ControlStillCopies",
                 Payload::Files,
                 {"/a"},
                 kAllActions,
                 Qt::ControlModifier,
                 Place::Canvas,
                 true,
                 {"/a"}},
        DropCase{"AltStillCopies",
                 Payload::Files,
                 {"/a"},
                 kAllActions,
                 Qt::AltModifier,
                 Place::Canvas,
                 true,
                 {"/a"}},
        DropCase{"ControlShiftStillCopies",
                 Payload::Files,
                 {"/a"},
                 kAllActions,
                 Qt::ControlModifier | Qt::ShiftModifier,
                 Place::Canvas,
                 true,
                 {"/a"}},
        DropCase{
            "SourceOffersOnlyMove", Payload::Files, {"/a"}, Qt::MoveAction, {}, Place::Canvas, false, {}},
        DropCase{"Text", Payload::Text, {}, kAllActions, {}, Place::Canvas, false, {}},
        DropCase{"RemoteUrl", Payload::RemoteUrl, {}, kAllActions, {}, Place::Canvas, false, {}},
        DropCase{"LocalAndRemoteUrls",
                 Payload::LocalAndRemoteUrls,
                 {"/a"},
                 kAllActions,
                 {},
                 Place::Canvas,
                 false,
                 {}},
        DropCase{"OnTheScrollBar", Payload::Files, {"/a"}, kAllActions, {}, Place::ScrollBar, false, {}},
        DropCase{"OnTheWindowBackground",
                 Payload::Files,
                 {"/a"},
                 kAllActions,
                 {},
                 Place::WindowBackground,
                 false,
                 {}}),
    [](const testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

TEST_F(FileDropTest, NamesBelongToTheDropEventOnly) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/data/one.bin")});
    dragAndDrop(pointOn(Place::Canvas), &data, Qt::CopyAction, {});
    postEvent(kEventControl, kScrollBar, kWindow, 0);
    EXPECT_TRUE(droppedFileNames().empty());  // nothing read yet
    ASSERT_EQ(waitEvent(0), kEventFilesDropped);
    EXPECT_EQ(droppedFileNames(), std::vector<std::string>{"/data/one.bin"});
    ASSERT_EQ(waitEvent(0), kEventControl);
    EXPECT_TRUE(droppedFileNames().empty());
}

TEST_F(FileDropTest, RemovingTheOnlyFormatRefusesDrops) {
    ASSERT_NE(enableFileDrop(kCanvas, kFormatFileList, 0), 0);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/data/one.bin")});
    EXPECT_FALSE(dragAndDrop(pointOn(Place::Canvas), &data, Qt::CopyAction, {}).enterAccepted);
    EXPECT_EQ(readDropEvents().count, 0);
}

TEST_F(FileDropTest, MissingControlAcceptsNothing) {
    EXPECT_EQ(enableFileDrop(99, kFormatFileList, kDropCopy), 0);
}

}  // namespace
