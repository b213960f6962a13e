#include "shell/file_drop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "shell/canvas_widget.h"
#include "shell_test_support.h"

namespace {

enum Payload { Files, Text, Remote, LocalAndRemote };

TEST_F(ShellTest, FileDropAcceptsLocalFilesOnTheCanvasWithCopyOnly) {
    openMainWindow();
    ASSERT_NE(createCanvas(1, 10, 10, 200, 150), 0);
    ASSERT_NE(createScrollBar(2, 220, 10, 17, 150, 0, 100, 10, 1), 0);
    ASSERT_NE(enableFileDrop(1, kFormatFileList, kDropCopy), 0);
    const QPoint canvas = inWindow(1, {20, 30}), bar = inWindow(2, {8, 60}), background(300, 250);
    const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    struct Row {
        Payload payload;
        std::vector<std::string> files;
        Qt::DropActions offered;
        Qt::KeyboardModifiers keys;
        QPoint place;
        bool accepted;
    } rows[] = {
        {Files, {"/d/c.bin", "/my data/b one.bin", "/d/caf\xE9 100%25 \"q\".bin"}, all, {}, canvas, true},
        {Files, {"/a"}, all, Qt::ControlModifier | Qt::ShiftModifier, canvas, true},
        {Files, {"/a"}, Qt::MoveAction, {}, canvas, false},
        {Text, {}, all, {}, canvas, false},
        {Remote, {}, all, {}, canvas, false},
        {LocalAndRemote, {"/a"}, all, {}, canvas, false},
        {Files, {"/a"}, all, {}, bar, false},
        {Files, {"/a"}, all, {}, background, false},
    };
    for (const Row& row : rows) {
        QMimeData data;
        QList<QUrl> urls;  // as a file manager sends them: every byte that is no plain ASCII escaped
        for (const std::string& file : row.files)
            urls.append(
                QUrl::fromEncoded("file://" + QByteArray::fromStdString(file).toPercentEncoding("/")));
        if (row.payload == Text) data.setText("some text");
        if (row.payload == Remote) urls = {QUrl("https://example.org/a.bin")};
        if (row.payload == LocalAndRemote) urls.append(QUrl("https://example.org/a.bin"));
        if (!urls.empty()) data.setUrls(urls);
        QDragEnterEvent enter(row.place, row.offered, &data, Qt::LeftButton, row.keys);
        QCoreApplication::sendEvent(nativeWindow(), &enter);
        QDragMoveEvent move(row.place + QPoint(1, 1), row.offered, &data, Qt::LeftButton, row.keys);
        if (enter.isAccepted()) QCoreApplication::sendEvent(nativeWindow(), &move);
        QDropEvent drop(QPointF(row.place + QPoint(1, 1)), row.offered, &data, Qt::LeftButton, row.keys);
        QCoreApplication::sendEvent(nativeWindow(), &drop);  // sent even after a refusal
        EXPECT_EQ(std::pair(enter.isAccepted() && enter.dropAction() == Qt::CopyAction,
                            drop.isAccepted() && drop.dropAction() == Qt::CopyAction),
                  std::pair(row.accepted, row.accepted))
            << row.files.size() << " " << row.payload;
        std::vector<std::vector<std::string>> drops, expected;
        if (row.accepted) expected.push_back(row.files);
        while (int kind = waitEvent(0))
            if (kind == kEventFilesDropped) drops.push_back(droppedFileNames());
        EXPECT_EQ(drops, expected);
    }
}

}  // namespace
