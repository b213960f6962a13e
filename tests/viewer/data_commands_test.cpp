// Data in and out through the real window: "Open...", dropped files, the command-line file,
// the messages of a failed load, and "Save binary..." through its dialogs.
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "shell/controls.h"
#include "shell/window_shell.h"
#include "support/io_seam.h"
#include "tests/viewer/viewer_driver.h"
#include "viewer/viewer_state.h"

namespace {

class DataCommandsTest : public ViewerWindowTest {
   protected:
    void startWithData(const std::string& bytes) {
        ASSERT_EQ(startWithFile("data.bin", bytes), ViewerStep::Continue);
    }
    static void setView(int width, int row, int fineOffset) {
        scrollTo(width, row);
        setState(kOffsetSpin, fineOffset);
    }
    void dropFiles(const std::vector<std::string>& names) {
        auto* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& name : names)
            urls.append(
                QUrl::fromEncoded("file://" + QByteArray::fromStdString(name).toPercentEncoding("/")));
        data.setUrls(urls);
        const QPoint point(100, 100);
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &enter);
        QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &drop);
    }
};

// A file that does not load ends the program with its message and writes no settings, from the
// command line (which alone can name a folder: the open dialog enters it) or from "Open...".
TEST_F(DataCommandsTest, AFailedLoadEndsTheProgramWithoutSettings) {
    struct Case {
        const char* title;
        const char* text;  // followed by the full name
        void (*make)(const std::string& name);
    };
    const Case cases[] = {
        {"File Error", "Unable to open:", [](const std::string&) {}},
        {"File Read Error", "Unable to read:", [](const std::string& name) { writeWholeFile(name, ""); }},
        {"File Error", "File too large (2 GiB or more):",
         [](const std::string& name) {
             writeWholeFile(name, "");
             EXPECT_EQ(truncate(name.c_str(), int64_t{1} << 31), 0);
         }},
        {"File Error", "Unable to open:", [](const std::string& name) { mkdir(name.c_str(), 0700); }},
    };
    const std::string name = path("bad file"), settings = "[Options]\r\nZoom = 2\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        removeTree(name);
        c.make(name);
        writeFile("pl2.ini", settings);
        answer({{RequesterKind::Message, ""}});
        const size_t before = seen().size();
        EXPECT_EQ(start({name}), ViewerStep::EndAtOnce);
        expectAllAnswered();
        ASSERT_EQ(seen().size(), before + 1);
        EXPECT_EQ(seen().back().title, c.title);
        EXPECT_EQ(seen().back().text, c.text + name);
        EXPECT_EQ(readFile("pl2.ini"), settings);
        EXPECT_EQ(windowHandle(kMainWindow), nullptr);
        if (&c == &cases[3]) break;
        unlink(path("pl2.ini").c_str());
        startWithData("abc");
        answer({{RequesterKind::OpenFile, name}, {RequesterKind::Message, ""}});
        EXPECT_EQ(command(kCommandOpen), ViewerStep::EndAtOnce);
        expectAllAnswered();
        EXPECT_EQ(seen().back().text, c.text + name);
        finish(ViewerStep::EndAtOnce);
        EXPECT_FALSE(exists("pl2.ini"));
    }
}

// The open dialog starts in the last folder; the view keeps its width, row and offset, or
// follows the bar as shorter data has clamped it.
TEST_F(DataCommandsTest, OpenLoadsRendersAndKeepsTheView) {
    struct Case {
        int width, row, fineOffset;
        const char* file;
        int64_t size;
        const char* status;
    };
    const Case cases[] = {{4, 250000, 0, "short.bin", 32770, "Disp=32768,width=4,x=0,y=0,size=0"},
                          {2, 5, 1, "sub/game.bin", 5000, "Disp=11,width=2,x=0,y=0,size=0"}};
    startWithData(countingBytes(1000000));
    mkdir(path("sub").c_str(), 0700);
    for (const Case& c : cases) {
        setView(c.width, c.row, c.fineOffset);
        writeFile(c.file, countingBytes(c.size));
        answer({{RequesterKind::OpenFile, path(c.file)}});
        markStatus();
        EXPECT_EQ(command(kCommandOpen), ViewerStep::Continue);
        expectAllAnswered();
        EXPECT_EQ(viewerState.dataSize, c.size);
        EXPECT_EQ(status(), c.status);
    }
    ASSERT_EQ(seen().size(), 2u);
    EXPECT_EQ(seen()[0].title, "Please choose file to load");
    EXPECT_EQ(seen()[0].folder + seen()[0].text, folder_);
    EXPECT_EQ(seen()[0].patterns.size(), 1u);
    EXPECT_EQ(viewerState.lastFolder, path("sub/"));
    EXPECT_EQ(viewerState.loadedFileName, "game.bin");
    EXPECT_EQ(getAttribute(kRowScroll, 2), 2500);
}

// The first dropped file is loaded, whatever bytes its name holds.
TEST_F(DataCommandsTest, DroppingFilesLoadsTheFirst) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    const std::string sprite = "sprite\ndata.bin", cafe = "caf\xE9.bin";
    writeFile("one.bin", countingBytes(300));
    writeFile("two.bin", countingBytes(400));
    writeFile("sprite", countingBytes(10));
    writeFile(sprite, countingBytes(600));
    writeFile(cafe, countingBytes(700));
    struct Case {
        std::vector<std::string> dropped;
        int32_t dataSize;
    };
    const Case cases[] = {
        {{"one.bin", "two.bin", "sprite"}, 300},
        {{sprite, "one.bin"}, 600},
        {{cafe}, 700},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (const std::string& name : c.dropped) names.push_back(path(name));
        dropFiles(names);
        EXPECT_EQ(drain(), ViewerStep::Continue) << c.dropped[0];
        EXPECT_EQ(viewerState.dataSize, c.dataSize) << c.dropped[0];
        EXPECT_EQ(viewerState.loadedFileName, c.dropped[0]);
        EXPECT_EQ(title(), "Pixloupe 2d,x1");
    }
}

// "Save binary..." asks for the size, then the name, and writes the bytes from the view's first
// byte with inverse and reverse as the boxes say, or says why not.
TEST_F(DataCommandsTest, SaveBinaryWritesTheRangeOrSaysWhyNot) {
    struct Case {
        const char* name;
        std::string typed;
        int width, row, fineOffset;
        bool inverse, reverse, nibble;
        std::string chosen;  // name given in the save dialog; "" when the dialog must not open
        std::string messageTitle, messageText;
        std::string written;  // file expected afterwards, "" for none
        std::string bytes;
    };
    // clang-format off
    const Case cases[] = {
    {"WholeData", "1000", 1, 0, 0, false, false, false, "out", "", "", "out.bin", countingBytes(1000)},
    {"HexUpper", "$3E8", 1, 0, 0, false, false, false, "out", "", "", "out.bin", countingBytes(1000)},
    {"DollarAloneIsEmpty", "$", 1, 0, 0, false, false, false, "out", "", "", "out.bin", ""},
    {"ZeroIsEmpty", "0000", 1, 0, 0, false, false, false, "out", "", "", "out.bin", ""},
    {"OneTooMany", "1001", 1, 0, 0, false, false, false, "", "Save binary file", "Too big value!", "", ""},
    {"Comma", "1,000", 1, 0, 0, false, false, false, "", "wrong input", "can't convert:1,000", "", ""},
    {"CPrefix", "0x3E8", 1, 0, 0, false, false, false, "", "wrong input", "can't convert:0x3E8", "", ""},
    {"BeforeTheStart", "5", 3, 0, -3, false, false, false, "out", "", "", "out.bin", std::string("\0\0\0\0\1", 5)},
    {"PastTheEndByOne", "1", 10, 100, 0, false, false, false, "", "Save binary file", "Too big value!", "", ""},
    {"InverseThenReverse", "1", 1, 0, 1, true, true, false, "out", "", "", "out.bin", "\x7F"},
    {"NibbleSwapNotSaved", "1", 1, 0, 1, true, true, true, "out", "", "", "out.bin", "\x7F"},
    {"InverseNotBeforeTheStart", "2", 1, 0, -1, true, false, false, "out", "", "", "out.bin", std::string("\0\xFF", 2)},
    {"NoExtension", "2", 1, 0, 0, false, false, false, "sprite", "", "", "sprite.bin", std::string("\0\1", 2)},
    {"OwnExtension", "2", 1, 0, 0, false, false, false, "sprite.raw", "", "", "sprite.raw", std::string("\0\1", 2)},
    {"PointInFolderOnly", "2", 1, 0, 0, false, false, false, "old.dir/sprite", "", "", "old.dir/sprite.bin", std::string("\0\1", 2)},
    {"EndingInPoint", "2", 1, 0, 0, false, false, false, "sprite.", "", "", "sprite.", std::string("\0\1", 2)},
    };
    // clang-format on
    startWithData(countingBytes(1000));
    mkdir(path("old.dir").c_str(), 0700);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setView(c.width, c.row, c.fineOffset);
        setState(kInverseBox, c.inverse);
        setState(kReverseBox, c.reverse);
        setState(kNibbleBox, c.nibble);
        std::vector<RequesterAnswer> answers = {{RequesterKind::Text, c.typed}};
        if (!c.chosen.empty()) answers.push_back({RequesterKind::SaveFile, path(c.chosen)});
        if (!c.messageTitle.empty()) answers.push_back({RequesterKind::Message, ""});
        answer(answers);
        const size_t before = seen().size();
        EXPECT_EQ(command(kCommandSaveBinary), ViewerStep::Continue);
        expectAllAnswered();
        ASSERT_EQ(seen().size(), before + answers.size());
        EXPECT_EQ(seen()[before].title + ":" + seen()[before].text, "size:0000");
        if (!c.chosen.empty()) {
            EXPECT_EQ(seen()[before + 1].title, "Please choose file to save");
            EXPECT_EQ(seen()[before + 1].folder, folder_);
            EXPECT_EQ(seen()[before + 1].patterns.size(), 1u);
        }
        const std::string message = c.messageTitle.empty() ? "" : c.messageTitle + ":" + c.messageText;
        EXPECT_EQ(message.empty() ? "" : seen().back().title + ":" + seen().back().text, message);
        EXPECT_TRUE(c.written.empty() || exists(c.written));
        EXPECT_EQ(c.written.empty() ? "" : readFile(c.written), c.bytes);
        unlink(path(c.written).c_str());
        EXPECT_FALSE(exists("out.bin"));
    }
}

TEST_F(DataCommandsTest, CancelledOpenOrSaveChangesNothing) {
    startWithData(countingBytes(100));
    answer({{RequesterKind::OpenFile, "", 0, true}});
    markStatus();
    EXPECT_EQ(command(kCommandOpen), ViewerStep::Continue);
    EXPECT_EQ(viewerState.dataSize, 100);
    EXPECT_EQ(viewerState.lastFolder, folder_ + "/");
    EXPECT_EQ(status(), "-");
    answer({{RequesterKind::Text, "", 0, true}});
    command(kCommandSaveBinary);
    answer({{RequesterKind::Text, ""}});
    command(kCommandSaveBinary);
    answer({{RequesterKind::Text, "10"}, {RequesterKind::SaveFile, "", 0, true}});
    command(kCommandSaveBinary);
    expectAllAnswered();
    EXPECT_EQ(seen().size(), 5u);
    EXPECT_FALSE(exists("out.bin"));
}

// A name whose file cannot be made (with its extension it is a folder), or a write that fails:
// the message names the file, and what was there stays.
TEST_F(DataCommandsTest, FailedSavesAreReportedAndLeaveWhatWasThere) {
    startWithData(countingBytes(100000));
    ASSERT_EQ(mkdir(path("x.bin").c_str(), 0700), 0);
    writeFile("big.bin", "old");
    for (const auto& [chosen, file] : {std::pair{"x", "x.bin"}, {"big.bin", "big.bin"}}) {
        answer({{RequesterKind::Text, "100000"},
                {RequesterKind::SaveFile, path(chosen)},
                {RequesterKind::Message, ""}});
        setWriteFailureAfter(*chosen == 'b' ? 10 : -1);
        command(kCommandSaveBinary);
        setWriteFailureAfter(-1);
        expectAllAnswered();
        EXPECT_EQ(seen().back().title + ":" + seen().back().text,
                  "Save binary file:Cannot save\n" + path(file));
    }
    EXPECT_EQ(readFile("big.bin"), "old");
    EXPECT_EQ(temporary_->entries(), (std::set<std::string>{"big.bin", "data.bin", "x.bin"}));
    struct stat info;
    EXPECT_TRUE(stat(path("x.bin").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

}  // namespace
