#include "shell/requesters.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "shell_test_support.h"

namespace {

// Runs `drive` on the open requester; one still open three seconds later is a fault.
void whenOpen(std::function<void(QWidget*)> drive) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, drive] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(3000, [requester = QPointer<QWidget>(modal)] {
            if (requester.isNull() || !requester->isVisible()) return;
            ADD_FAILURE() << "requester still open";
            while (auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget())) top->reject();
        });
        drive(modal);
    });
    poll->start(5);
}

void press(QWidget* dialog, Qt::Key key) {
    QTest::keyClick(dialog->windowHandle(), key);
}

const std::string kPictures = "Portable Network Graphics(*.png)|*.png|Bitmap (*.bmp)|*.bmp",
                  kAllFiles = "All files (*.*)|*.*";

// Each row opens a file dialog (save: pictures, open: all files) on a default file below a fresh
// folder; each text in turn goes into the name field (an empty one keeps the proposal), the first
// then picks the type that many steps down, and Enter follows; without text, Escape. The answer is
// the folder plus the field byte for byte (a double quote or line feed too), with the type chosen;
// a name in a missing folder keeps it open; the directory stays; an existing file is just taken.
TEST_F(ShellTest, FileDialogsAnswerTheFolderPlusTheNameField) {
    QTemporaryDir temporary;
    const std::string folder = temporary.path().toStdString() + "/", odd = "caf\xE9 \"x\"/";
    ASSERT_EQ(mkdir((folder + odd).c_str(), 0700) | mkdir((folder + "sub").c_str(), 0700), 0);
    std::ofstream(folder + "existing.png") << "x", std::ofstream(folder + "q\"name.bin") << "q";
    struct Row {
        bool save;
        std::string start;
        int pattern, typeDowns;
        std::vector<std::string> typed;  // none: Escape
        std::string shownName, answer;   // the field before closing; the answer below the folder
        int index;
        bool staysOpen = false;
    } rows[] = {
        {true, "", 1, 0, {"pic.bmp"}, "pic.bmp", "pic.bmp", 1},
        {true, "", 0, 1, {"pic.png"}, "pic.png", "pic.png", 1},
        {false, "", 1, 0, {"missing"}, "missing", "missing", 0},
        {true, "game.bin", 0, 1, {""}, "game.bin", "game.bin", 1},
        {true, "", 1, 0, {}, "", "", -1},
        {true, "existing.png", 0, 0, {""}, "existing.png", "existing.png", 0},
        {true, "", 0, 0, {"missing/x.png"}, "missing/x.png", "", -1, true},
        {true, "", 0, 0, {"sub", "inside.bin"}, "inside.bin", "sub/inside.bin", 0},
        {true, odd, 0, 0, {"my\"keep.bin"}, "my\"keep.bin", odd + "my\"keep.bin", 0},
        {true, odd, 0, 0, {"line\nfeed.bin"}, "line\nfeed.bin", odd + "line\nfeed.bin", 0},
        {false, "", 0, 0, {"q\"name.bin"}, "q\"name.bin", "q\"name.bin", 0},
        {false, "*.png", 0, 0, {}, "", "", -1},
        {false, "a\tb", 0, 0, {}, "", "", -1},
    };
    const QStringList pictureFilters{"Portable Network Graphics(*.png) (*.png)", "Bitmap (*.bmp) (*.bmp)"},
        allFilters{"All files (*.*) (*)"};
    const auto before = std::filesystem::current_path();
    for (const Row& row : rows) {
        std::string shownName, shownFolder;
        QStringList filters;
        bool staysOpen = false;
        whenOpen([&](QWidget* dialog) {
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
            shownFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath().toStdString();
            filters = static_cast<QFileDialog*>(dialog)->nameFilters();
            shownName = field->text().toStdString();
            if (row.typed.empty()) return press(dialog, Qt::Key_Escape);
            for (const std::string& text : row.typed) {
                if (!text.empty()) field->setText(QString::fromStdString(text));
                for (int down = 0; down < row.typeDowns && &text == &row.typed[0]; ++down) {
                    types->showPopup();
                    QTest::keyClick(types->view(), Qt::Key_Down);
                    QTest::keyClick(types->view(), Qt::Key_Return);
                }
                shownName = field->text().toStdString();
                press(dialog, Qt::Key_Return);
            }
            staysOpen = dialog->isVisible();
            if (staysOpen) press(dialog, Qt::Key_Escape);
        });
        const std::string start = folder + row.start;
        const std::string answer = row.save ? askSaveFileName("Save", start, kPictures, row.pattern)
                                            : askOpenFileName("Open", start, kAllFiles, row.pattern);
        SCOPED_TRACE(row.start + " " + (row.typed.empty() ? "(Escape)" : row.typed[0]));
        EXPECT_EQ(answer, row.answer.empty() ? "" : folder + row.answer);
        EXPECT_EQ(selectedPatternIndex(), row.index);
        EXPECT_EQ(shownName, row.shownName);
        EXPECT_EQ(staysOpen, row.staysOpen);
        EXPECT_EQ(shownFolder + "/", row.start.find('/') == std::string::npos ? folder : shownFolder + "/");
        EXPECT_EQ(std::filesystem::current_path(), before);
        EXPECT_EQ(filters, row.save ? pictureFilters : allFilters);
    }
    rmdir((folder + odd).c_str());  // QTemporaryDir cannot name what is no UTF-8
}

TEST_F(ShellTest, TextInputReturnsTheConfirmedText) {
    enum Close { Enter, Escape, CloseBox };
    struct Row {
        std::string defaultText;
        int backspaces;
        std::string typed;
        bool tabToButton;
        Close close;
        std::string expected;
    } rows[] = {{"1024", 0, "", false, Enter, "1024"},
                {"1024", 2, "48", false, Enter, "1048"},
                {"7", 0, "", true, Enter, "7"},
                {"1024", 0, "5", false, Escape, ""},
                {"1024", 0, "5", false, CloseBox, ""}};
    for (const Row& row : rows) {
        QRect frame;
        whenOpen([&](QWidget* dialog) {
            QWindow* window = dialog->windowHandle();
            frame = dialog->frameGeometry();
            for (int i = 0; i < row.backspaces; ++i) QTest::keyClick(window, Qt::Key_Backspace);
            for (char c : row.typed) QTest::keyClick(window, c);
            if (row.tabToButton) QTest::keyClick(window, Qt::Key_Tab);
            if (row.close == CloseBox) window->close();
            if (row.close != CloseBox)
                QTest::keyClick(window, row.close == Enter ? Qt::Key_Return : Qt::Key_Escape);
        });
        EXPECT_EQ(askText("Save binary", "Length:", row.defaultText), row.expected)
            << row.defaultText << row.typed;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        EXPECT_EQ(frame, QRect(screen.width() / 2 - 150, screen.height() / 2 - 65, 300, 130));
    }
}

// Every message box leaves its title room to show in full: the title in a bold font, and 90 pixels
// either side for a title bar's icon and buttons; a longer text widens it further.
TEST_F(ShellTest, MessageTitlesFitTheirBox) {
    const std::pair<std::string, std::string> messages[] = {
        {"wrong input", "can't convert:12x"},
        {"Save binary file", "Too big value!"},
        {"image", "It happens"},
        {"File Read Error",
         "Unable to read:/a/long/path/to/some/data/file/that/is/wider/than/any/title.bin"}};
    for (const auto& [title, text] : messages) {
        int width = 0, textWidth = 0;
        whenOpen([&](QWidget* box) {
            width = box->width();
            for (const QLabel* label : box->findChildren<QLabel*>())
                if (label->text().toStdString() == text) textWidth = label->width();
            static_cast<QDialog*>(box)->accept();
        });
        showMessage(title, text);
        QFont bold = QApplication::font();
        bold.setBold(true);
        EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(QString::fromStdString(title)) + 180) << title;
        EXPECT_GE(width, textWidth) << title;
        EXPECT_GT(textWidth, 0) << title;
    }
}

// The requester returns only once its Escape is up again (the program ends on Escape down).
TEST_F(ShellTest, RequestersAreModalKeepTheirKeysAndLiftStayOnTop) {
    QWidget* main = openMainWindow();
    setStayOnTop(0, 1);
    auto onTop = [main] { return main->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };
    const std::pair<const char*, std::function<void()>> requesters[] = {
        {"message", [] { showMessage("Title", "Text"); }},
        {"open", [] { askOpenFileName("Open", "", "All|*", 0); }},
        {"save", [] { askSaveFileName("Save", "", "All|*", 0); }},
        {"text", [] { askText("Title", "Prompt", "text"); }}};
    for (const auto& [name, open] : requesters) {
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
        takeEvents();
        bool onTopWhileOpen = true, released = false;
        whenOpen([&](QWidget* dialog) {
            QTest::mouseClick(nativeWindow(), Qt::LeftButton, {}, QPoint(20, 20));
            onTopWhileOpen = onTop();
            QObject::connect(static_cast<QDialog*>(dialog), &QDialog::finished, main, [&] {
                QTimer::singleShot(
                    50, main, [&] { released = true, QTest::keyRelease(nativeWindow(), Qt::Key_Escape); });
            });
            QTest::keyPress(dialog->windowHandle(), Qt::Key_Escape);
        });
        const QRect placeBefore = main->geometry();
        open();
        EXPECT_EQ(std::pair(released, isKeyDown(kKeyEscape)), std::pair(true, 0)) << name;
        EXPECT_EQ(std::pair(onTopWhileOpen, onTop()), std::pair(false, true)) << name;
        EXPECT_EQ(main->geometry(), placeBefore) << name;
        EXPECT_TRUE(QTest::qWaitForWindowActive(main)) << name;
        std::vector<int> raw;
        for (const ReturnedEvent& event : takeEvents())
            if (event.kind == kRawLeftButtonDown || event.kind == kRawKeyDown || event.kind == kRawKeyUp)
                raw.push_back(event.kind);
        EXPECT_EQ(raw, std::vector<int>{}) << name;
    }
}

}  // namespace
