// "Open...", dropped files, the command-line file, failed loads and "Save binary..." in the window.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <tuple>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "shell/controls.h"
#include "support/io_seam.h"
#include "tests/support/unprivileged.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/row_bar_scale.h"
#include "viewer/window/render_view.h"
#include "viewer/window/viewer_state.h"

namespace {

class DataCommandsTest : public ViewerWindowTest {
   protected:
    void dropFiles(const std::vector<std::string>& names) {
        auto* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& name : names)
            urls.append(
                QUrl::fromEncoded("file://" + QByteArray::fromStdString(path(name)).toPercentEncoding("/")));
        data.setUrls(urls);
        const QPoint point(100, 100);
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &enter);
        QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &drop);
    }
};

// A file that does not load ends the program with its message, from the command line or "Open...".
TEST_F(DataCommandsTest, AFailedLoadEndsTheProgramWithoutSettings) {
    const char* messages[] = {"File Error:Unable to open:", "File Read Error:Unable to read:",
                              "File Read Error:Unable to read:", "File Error:Unable to open:"};
    const std::string name = path("bad file"), settings = "[Options]\r\nZoom = 2\r\n";
    for (int i = 0; i < 6;
         ++i) {  // missing, empty, a pipe no one writes, a folder; then missing, empty by "Open..."
        SCOPED_TRACE(i);
        removeTree(name);
        if (i % 4 == 1) writeWholeFile(name, "");
        EXPECT_TRUE(i != 2 || mkfifo(name.c_str(), 0600) == 0);
        if (i == 3) mkdir(name.c_str(), 0700);
        writeFile("pl2.ini", settings);
        std::vector<RequesterAnswer> answers = {{RequesterKind::OpenFile, name},
                                                {RequesterKind::Message, ""}};
        if (i < 4) answers.erase(answers.begin());
        if (i >= 4) startWithData(10);
        answer(answers);
        EXPECT_EQ(i >= 4 ? command(kCommandOpen) : start({name}), ViewerStep::EndAtOnce);
        expectAllAnswered();
        EXPECT_EQ(seen().back().title + ":" + seen().back().text, messages[i % 4] + name);
        if (i >= 4) finish(ViewerStep::EndAtOnce);
        EXPECT_EQ(readFile("pl2.ini"), settings);
        EXPECT_EQ(windowHandle(kMainWindow), nullptr);
    }
}

// A file the user may not read, or one in a folder they may not enter, is said to be so, with its name.
TEST_F(DataCommandsTest, AnUnreadableFileIsSaidToBeSo) {
    writeFile("secret", "secret");
    ASSERT_EQ(mkdir(path("locked").c_str(), 0700), 0);
    writeFile("locked/inside", "inside");
    ASSERT_EQ(chmod(path("secret").c_str(), 0) | chmod(path("locked").c_str(), 0), 0);
    for (const std::string& name : {path("secret"), path("locked/inside")}) {
        answer({{RequesterKind::Message, ""}});
        {
            PermissionBitsObeyed obeyed;
            EXPECT_EQ(start({name}), ViewerStep::EndAtOnce);
        }
        expectAllAnswered();
        EXPECT_EQ(seen().back().title + ":" + seen().back().text, "File Error:Permission denied:" + name);
    }
    chmod(path("locked").c_str(), 0700);
}

// The view keeps width, row and offset, or follows the bar clamped by shorter data, never starting past
// its end; cancel changes nothing.
TEST_F(DataCommandsTest, OpenLoadsRendersAndKeepsTheView) {
    const std::tuple<int, int, int, std::string, int, const char*> cases[] = {
        {4, 250000, 0, "short.bin", 32770, "Disp=32768,width=4,x=0,y=0,size=0"},
        {32, 488, 0, "screen.scr", 6912, "Disp=6880,width=32,x=0,y=0,size=0"},
        {2, 1000, 1, "tiny.bin", 100, "Disp=98,width=2,x=0,y=0,size=0"},
        {2, 5, 1, "sub/game.bin", 5000, "Disp=11,width=2,x=0,y=0,size=0"},
        {2, 5, 1, "", 5000, "-"}};
    startWithData(1000000);
    mkdir(path("sub").c_str(), 0700);
    for (const auto& [width, row, offset, file, size, shown] : cases) {
        setView(width, row, offset);
        if (!file.empty()) writeFile(file, countingBytes(size));
        answer({{RequesterKind::OpenFile, file.empty() ? "" : path(file), 0, file.empty()}});
        markStatus();
        EXPECT_EQ(command(kCommandOpen), ViewerStep::Continue);
        expectAllAnswered();
        EXPECT_EQ(std::to_string(viewerState.dataSize) + status(), std::to_string(size) + shown);
    }
    ASSERT_EQ(seen().size(), 5u);
    EXPECT_EQ(seen()[0].title + seen()[0].folder + seen()[0].text + std::to_string(seen()[0].patterns.size()),
              "Please choose file to load" + folder_ + "1");
    EXPECT_EQ(viewerState.lastFolder + viewerState.loadedFileName, path("sub/") + "game.bin");
    EXPECT_EQ(getAttribute(kRowScroll, 2), 2500);
}

TEST_F(DataCommandsTest, DroppingFilesLoadsTheFirst) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    const std::string sprite = "sprite\ndata.bin", cafe = "caf\xE9.bin";
    for (const auto& [name, size] : {std::pair<std::string, int>{"one.bin", 300},
                                     {"two.bin", 400},
                                     {"sprite", 10},
                                     {sprite, 600},
                                     {cafe, 700}})
        writeFile(name, countingBytes(size));
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"one.bin", "two.bin", "sprite"}, 300}, {{sprite, "one.bin"}, 600}, {{cafe}, 700}};
    for (const auto& [dropped, size] : cases) {
        dropFiles(dropped);
        EXPECT_EQ(drain(), ViewerStep::Continue) << dropped[0];
        EXPECT_EQ(viewerState.dataSize, size) << dropped[0];
        EXPECT_EQ(viewerState.loadedFileName + title(), dropped[0] + "Pixloupe 2d,x1");
    }
}

// The bytes from the view's first with inverse and reverse as the boxes say, or a message why not.
TEST_F(DataCommandsTest, SaveBinaryWritesTheRangeOrSaysWhyNot) {
    // Typed; width, row, fine offset; inverse 1, reverse 2, nibble swap 4, last requester cancelled 8;
    // the name saved to ("": no dialog); the message; the file afterwards and its bytes.
    using Case =
        std::tuple<std::string, int, int, int, int, std::string, std::string, std::string, std::string>;
    const std::string tooBig = "Save binary file:Too big value!", two("\0\1", 2),
                      cannot = "Save binary file:Cannot save\n";
    // clang-format off
    const Case cases[] = {
        {"$3E8", 1, 0, 0, 0, "out", "", "out.bin", countingBytes(1000)}, {"$", 1, 0, 0, 0, "out", "", "out.bin", ""},
        {"0000", 1, 0, 0, 0, "out", "", "out.bin", ""}, {"1001", 1, 0, 0, 0, "", tooBig, "", ""},
        {"1,000", 1, 0, 0, 0, "", "wrong input:can't convert:1,000", "", ""}, {"0x3E8", 1, 0, 0, 0, "", "wrong input:can't convert:0x3E8", "", ""},
        {"5", 3, 0, -3, 0, "out", "", "out.bin", std::string("\0\0\0\0\1", 5)}, {"1", 10, 100, 0, 0, "", tooBig, "", ""},
        {"1", 1, 0, 1, 3, "out", "", "out.bin", "\x7F"}, {"1", 1, 0, 1, 7, "out", "", "out.bin", "\x7F"},
        {"2", 1, 0, -1, 1, "out", "", "out.bin", std::string("\0\xFF", 2)}, {"2", 1, 0, 0, 0, "sprite", "", "sprite.bin", two},
        {"2", 1, 0, 0, 0, "sprite.raw", "", "sprite.raw", two}, {"2", 1, 0, 0, 0, "sprite.", "", "sprite.", two},
        {"2", 1, 0, 0, 0, "old.dir/sprite", "", "old.dir/sprite.bin", two}, {"2", 1, 0, 0, 0, ".hidden", "", ".hidden", two},
        {"", 1, 0, 0, 0, "", "", "", ""}, {"9", 1, 0, 0, 8, "", "", "", ""}, {"9", 1, 0, 0, 8, "out", "", "", ""},
        {"100", 1, 0, 0, 0, "x", cannot + path("x.bin"), "", ""}, {"100", 1, 0, 0, 0, "big.bin", cannot + path("big.bin"), "big.bin", "old"},
    };
    // clang-format on
    startWithData(1000);
    for (const char* folder : {"old.dir", "x.bin"}) mkdir(path(folder).c_str(), 0700);
    writeFile("big.bin", "old");
    for (const auto& [typed, width, row, fineOffset, boxes, chosen, message, written, bytes] : cases) {
        SCOPED_TRACE(typed + " " + chosen);
        setView(width, row, fineOffset);
        setState(kInverseBox, boxes & 1);
        setState(kReverseBox, boxes >> 1 & 1);
        setState(kNibbleBox, boxes >> 2 & 1);
        std::vector<RequesterAnswer> answers = {{RequesterKind::Text, typed}};
        if (!chosen.empty()) answers.push_back({RequesterKind::SaveFile, path(chosen)});
        if (!message.empty()) answers.push_back({RequesterKind::Message, ""});
        answers.back().cancel = boxes & 8;
        answer(answers);
        const size_t before = seen().size();
        setWriteFailureAfter(chosen == "big.bin" ? 10 : -1);
        EXPECT_EQ(command(kCommandSaveBinary), ViewerStep::Continue);
        setWriteFailureAfter(-1);
        expectAllAnswered();
        ASSERT_EQ(seen().size(), before + answers.size());
        EXPECT_EQ(seen()[before].title + ":" + seen()[before].text, "size:0000");
        const SeenRequester& dialog = seen()[before + (chosen.empty() ? 0 : 1)];
        EXPECT_EQ(dialog.title + dialog.folder + std::to_string(dialog.patterns.size()),
                  chosen.empty() ? "size0" : "Please choose file to save" + folder_ + "1");
        EXPECT_EQ(message.empty() ? "" : seen().back().title + ":" + seen().back().text, message);
        EXPECT_EQ(written.empty() ? "" : exists(written) ? readFile(written) : "missing", bytes);
        unlink(path(written).c_str());
        EXPECT_FALSE(exists("out.bin"));
    }
    EXPECT_EQ(temporary_->entries(), (std::set<std::string>{"data.bin", "old.dir", "x.bin"}));
}

// A 5 GiB file opens at once; the row bar spans it scaled; Go to offset reaches bytes planted
// past 4 GiB; End and the arrow keys reach its last rows exactly.
TEST_F(DataCommandsTest, AFileOfFiveGiBReachesPastFourGiB) {
    constexpr int64_t kSize = int64_t{5} << 30, kPlanted = int64_t{1} << 32;
    const int fd = open(path("big.bin").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, kSize) == 0 && pwrite(fd, "\xFF\x00", 2, kPlanted) == 2);
    close(fd);
    ASSERT_EQ(start({path("big.bin")}), ViewerStep::Continue);
    EXPECT_EQ(getAttribute(kRowScroll, kScrollMaximum), INT32_MAX);
    answer({{RequesterKind::Text, "$100000000"}});
    command(kCommandGoToOffset);
    EXPECT_EQ(status(), "Disp=4294967296,width=1,x=0,y=0,size=0");
    EXPECT_EQ(getState(kRowScroll), rowBarValue(kPlanted, kSize));
    EXPECT_EQ(std::pair(sheetPixel(7, 0), sheetPixel(7, 1)), std::pair(0xFFFFFF, 0));
    tapKey(Qt::Key_End);
    EXPECT_EQ(status(), "Disp=5368708608,width=1,x=0,y=0,size=0");  // the last byte on the last row
    tapKey(Qt::Key_Up);
    EXPECT_EQ(status(), "Disp=5368708607,width=1,x=0,y=0,size=0");
    scrollTo(1, INT32_MAX);  // the bar's end is the last row
    EXPECT_EQ(status(), "Disp=5368709120,width=1,x=0,y=0,size=0");
}

// Bytes cut from the file under the view show as past the end, the status line says so, and
// "Save binary..." of them is refused.
TEST_F(DataCommandsTest, AFileCutShortUnderTheViewShowsWhereItsBytesWent) {
    ASSERT_EQ(startWithFile("cut.bin", countingBytes(3 << 20)), ViewerStep::Continue);
    scrollTo(8, (2 << 20) / 8);
    ASSERT_EQ(truncate(path("cut.bin").c_str(), (1 << 20) + 100), 0);
    renderView();
    EXPECT_EQ(status(), "Disp=2097152,width=8,x=0,y=0,size=0  File cut short: 1048676 bytes left");
    for (const auto& [x, y] : {std::pair(20, 3), std::pair(9, 100), std::pair(599, 511)})
        EXPECT_EQ(sheetPixel(x, y), (x ^ y) & 1 ? 0xFFFF00 : 0) << x << "," << y;
    answer({{RequesterKind::Text, "16"}, {RequesterKind::Message, ""}});
    command(kCommandSaveBinary);
    expectAllAnswered();
    EXPECT_EQ(seen().back().text,
              "Not saved: the file was cut short since it was opened, and these bytes are gone");
}

}  // namespace
