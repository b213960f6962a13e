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

TEST_F(DataCommandsTest, OpenLoadsRendersAndKeepsTheOffsets) {
    startWithData(countingBytes(100));
    setView(2, 5, 1);
    mkdir(path("sub").c_str(), 0700);
    writeFile("sub/game.bin", countingBytes(5000));
    answer({{RequesterKind::OpenFile, path("sub/game.bin")}});
    markStatus();
    EXPECT_EQ(command(kCommandOpen), ViewerStep::Continue);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].title, "Please choose file to load");
    EXPECT_EQ(seen()[0].folder, folder_);
    EXPECT_EQ(seen()[0].text, "");
    EXPECT_EQ(seen()[0].patterns.size(), 1u);
    EXPECT_EQ(viewerState.dataSize, 5000);
    EXPECT_EQ(viewerState.loadedFileName, "game.bin");
    EXPECT_EQ(viewerState.lastFolder, path("sub/"));
    EXPECT_EQ(viewerState.byteOffset, 10);
    EXPECT_EQ(getState(kOffsetSpin), 1);
    EXPECT_EQ(getAttribute(kRowScroll, 2), 2500);
    EXPECT_EQ(status(), "Disp=11,width=2,x=0,y=0,size=0");
}

// The view follows the bar as the shorter data has clamped it.
TEST_F(DataCommandsTest, LoadingAShortFileAfterTheEndOfALongOne) {
    startWithData(countingBytes(1000000));
    setView(4, 250000, 0);
    writeFile("short.bin", countingBytes(32770));
    answer({{RequesterKind::OpenFile, path("short.bin")}});
    command(kCommandOpen);
    expectAllAnswered();
    EXPECT_EQ(getState(kRowScroll), 8192);
    EXPECT_EQ(viewerState.byteOffset, 32768);
    EXPECT_EQ(status(), "Disp=32768,width=4,x=0,y=0,size=0");
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

// ---- Save binary -------------------------------------------------------------------------------

struct SaveCase {
    const char* name;
    std::string typed;
    int width, row, fineOffset;
    bool inverse, reverse, nibble;
    std::string chosen;  // name given in the save dialog; "" when the dialog must not open
    std::string messageTitle, messageText;
    std::string written;  // file expected afterwards, "" for none
    std::string bytes;
};

void PrintTo(const SaveCase& c, std::ostream* out) {
    *out << c.name;
}

class SaveBinaryTest : public DataCommandsTest, public testing::WithParamInterface<SaveCase> {};

TEST_P(SaveBinaryTest, WritesTheRangeOrSaysWhyNot) {
    const SaveCase& c = GetParam();
    startWithData(countingBytes(1000));
    mkdir(path("old.dir").c_str(), 0700);
    setView(c.width, c.row, c.fineOffset);
    setState(kInverseBox, c.inverse);
    setState(kReverseBox, c.reverse);
    setState(kNibbleBox, c.nibble);
    std::vector<RequesterAnswer> answers = {{RequesterKind::Text, c.typed}};
    if (!c.chosen.empty()) answers.push_back({RequesterKind::SaveFile, path(c.chosen)});
    if (!c.messageTitle.empty()) answers.push_back({RequesterKind::Message, ""});
    answer(answers);
    EXPECT_EQ(command(kCommandSaveBinary), ViewerStep::Continue);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), answers.size());
    EXPECT_EQ(seen()[0].title, "size");
    EXPECT_EQ(seen()[0].text, "0000");
    if (!c.chosen.empty()) {
        EXPECT_EQ(seen()[1].title, "Please choose file to save");
        EXPECT_EQ(seen()[1].folder, folder_);
        EXPECT_EQ(seen()[1].patterns.size(), 1u);
    }
    if (!c.messageTitle.empty()) {
        EXPECT_EQ(seen().back().title, c.messageTitle);
        EXPECT_EQ(seen().back().text, c.messageText);
    }
    if (!c.written.empty()) {
        EXPECT_TRUE(exists(c.written));
        EXPECT_EQ(readFile(c.written), c.bytes);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Save, SaveBinaryTest, testing::Values(
    SaveCase{"WholeData", "1000", 1, 0, 0, false, false, false, "out", "", "", "out.bin", countingBytes(1000)},
    SaveCase{"HexUpper", "$3E8", 1, 0, 0, false, false, false, "out", "", "", "out.bin", countingBytes(1000)},
    SaveCase{"HexLower", "$3e8", 1, 0, 0, false, false, false, "out", "", "", "out.bin", countingBytes(1000)},
    SaveCase{"DollarAloneIsEmpty", "$", 1, 0, 0, false, false, false, "out", "", "", "out.bin", ""},
    SaveCase{"ZeroIsEmpty", "0000", 1, 0, 0, false, false, false, "out", "", "", "out.bin", ""},
    SaveCase{"OneTooMany", "1001", 1, 0, 0, false, false, false, "", "Save binary file", "Too big value!", "", ""},
    SaveCase{"Comma", "1,000", 1, 0, 0, false, false, false, "", "wrong input", "can't convert:1,000", "", ""},
    SaveCase{"LeadingBlank", " 1000", 1, 0, 0, false, false, false, "", "wrong input", "can't convert: 1000", "", ""},
    SaveCase{"Minus", "-5", 1, 0, 0, false, false, false, "", "wrong input", "can't convert:-5", "", ""},
    SaveCase{"CPrefix", "0x3E8", 1, 0, 0, false, false, false, "", "wrong input", "can't convert:0x3E8", "", ""},
    SaveCase{"BeforeTheStart", "5", 3, 0, -3, false, false, false, "out", "", "", "out.bin", std::string("\0\0\0\0\1", 5)},
    SaveCase{"PastTheEndByOne", "1", 10, 100, 0, false, false, false, "", "Save binary file", "Too big value!", "", ""},
    SaveCase{"InverseThenReverse", "1", 1, 0, 1, true, true, false, "out", "", "", "out.bin", "\x7F"},
    SaveCase{"NibbleSwapNotSaved", "1", 1, 0, 1, true, true, true, "out", "", "", "out.bin", "\x7F"},
    SaveCase{"InverseNotBeforeTheStart", "2", 1, 0, -1, true, false, false, "out", "", "", "out.bin", std::string("\0\xFF", 2)},
    SaveCase{"NoExtension", "2", 1, 0, 0, false, false, false, "sprite", "", "", "sprite.bin", std::string("\0\1", 2)},
    SaveCase{"OwnExtension", "2", 1, 0, 0, false, false, false, "sprite.raw", "", "", "sprite.raw", std::string("\0\1", 2)},
    SaveCase{"PointInFolderOnly", "2", 1, 0, 0, false, false, false, "old.dir/sprite", "", "", "old.dir/sprite.bin", std::string("\0\1", 2)},
    SaveCase{"EndingInPoint", "2", 1, 0, 0, false, false, false, "sprite.", "", "", "sprite.", std::string("\0\1", 2)}),
    [](const testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });
// clang-format on

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

// The name with its extension is a folder, which no file can replace.
TEST_F(DataCommandsTest, FileThatCannotBeCreatedIsReported) {
    startWithData(countingBytes(100));
    ASSERT_EQ(mkdir(path("x.bin").c_str(), 0700), 0);
    answer({{RequesterKind::Text, "10"}, {RequesterKind::SaveFile, path("x")}, {RequesterKind::Message, ""}});
    command(kCommandSaveBinary);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), 3u);
    EXPECT_EQ(seen()[2].title, "Save binary file");
    EXPECT_EQ(seen()[2].text, "Cannot save\n" + path("x.bin"));
    struct stat info;
    ASSERT_EQ(stat(path("x.bin").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(temporary_->entries(), (std::set<std::string>{"data.bin", "x.bin"}));
}

TEST_F(DataCommandsTest, FailedWriteIsReportedAndLeavesTheOldFile) {
    startWithData(countingBytes(100000));
    writeFile("big.bin", "old");
    setWriteFailureAfter(10);
    answer({{RequesterKind::Text, "100000"},
            {RequesterKind::SaveFile, path("big.bin")},
            {RequesterKind::Message, ""}});
    command(kCommandSaveBinary);
    setWriteFailureAfter(-1);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), 3u);
    EXPECT_EQ(seen()[2].text, "Cannot save\n" + path("big.bin"));
    EXPECT_EQ(readFile("big.bin"), "old");
}

}  // namespace
