#include "shell/requesters.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "shell_test_support.h"

namespace {

// Runs `drive` on the requester as soon as it is the open modal window. One still open three
// seconds later is a fault: it is closed so that the run goes on.
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

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

const std::string kPatterns = "Portable Network Graphics(*.png)|*.png|Bitmap (*.bmp)|*.bmp";

// Each row opens a file dialog on a default file below a fresh folder, puts the first text into
// the name field (an empty one keeps the proposal), picks the type that many steps down the
// opened list, presses Enter, then the same for each further text after a "\r"; a row without
// text presses Escape. The answer is the folder plus the field, byte for byte, with the type
// chosen; a name in a missing folder keeps the dialog open; the current directory stays; an
// existing file is taken without a question.
TEST_F(ShellTest, FileDialogsAnswerTheFolderPlusTheNameField) {
    QTemporaryDir temporary;
    const std::string folder = temporary.path().toStdString() + "/", odd = "caf\xE9 \"x\"/";
    ASSERT_EQ(mkdir((folder + odd).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((folder + "sub").c_str(), 0700), 0);
    std::ofstream(folder + "existing.png") << "x";
    struct Row {
        bool save;
        std::string start;
        int pattern, typeDowns;
        const char* typed;              // nullptr: Escape
        std::string shownName, answer;  // the field before closing; the answer below the folder
        int index;
        bool staysOpen = false;
    } rows[] = {
        {true, "", 1, 0, "pic.bmp", "pic.bmp", "pic.bmp", 1},
        {true, "", 0, 1, "pic.png", "pic.png", "pic.png", 1},
        {false, "", 1, 0, "missing", "missing", "missing", 1},
        {true, "game.bin", 0, 1, "", "game.bin", "game.bin", 1},
        {true, "", 1, 0, nullptr, "", "", -1},
        {true, "existing.png", 0, 0, "", "existing.png", "existing.png", 0},
        {true, "", 0, 0, "missing/x.png", "missing/x.png", "", -1, true},
        {true, "", 0, 0, "sub\rinside.bin", "inside.bin", "sub/inside.bin", 0},
        {true, odd, 0, 0, "my\"keep.bin", "my\"keep.bin", odd + "my\"keep.bin", 0},
        {false, "*.png", 0, 0, nullptr, "", "", -1},
        {false, "a\tb", 0, 0, nullptr, "", "", -1},
    };
    const std::string before = currentDirectory();
    for (const Row& row : rows) {
        std::string shownName, shownFolder;
        bool staysOpen = false;
        whenOpen([&](QWidget* dialog) {
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
            shownFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath().toStdString();
            if (row.typed == nullptr) {
                shownName = field->text().toStdString();
                return press(dialog, Qt::Key_Escape);
            }
            std::vector<std::string> texts;
            std::string typed = row.typed;
            size_t from = 0;
            for (size_t end; (end = typed.find('\r', from)) != std::string::npos; from = end + 1)
                texts.push_back(typed.substr(from, end - from));
            texts.push_back(typed.substr(from));
            for (size_t text = 0; text < texts.size(); ++text) {
                if (!texts[text].empty()) field->setText(QString::fromStdString(texts[text]));
                for (int down = 0; down < row.typeDowns && text == 0; ++down) {
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
        const std::string answer = row.save ? askSaveFileName("Save", start, kPatterns, row.pattern)
                                            : askOpenFileName("Open", start, kPatterns, row.pattern);
        SCOPED_TRACE(row.start + " " + (row.typed != nullptr ? row.typed : "(Escape)"));
        EXPECT_EQ(answer, row.answer.empty() ? "" : folder + row.answer);
        EXPECT_EQ(selectedPatternIndex(), row.index);
        EXPECT_EQ(shownName, row.shownName);
        EXPECT_EQ(staysOpen, row.staysOpen);
        EXPECT_EQ(shownFolder + "/", row.start.find('/') == std::string::npos ? folder : shownFolder + "/");
        EXPECT_EQ(currentDirectory(), before);
    }
    rmdir((folder + odd).c_str());  // QTemporaryDir cannot name what is no UTF-8
}

TEST_F(ShellTest, PatternListsBecomeTheDialogsFilters) {
    const std::pair<std::string, QStringList> rows[] = {
        {kPatterns, {"Portable Network Graphics(*.png) (*.png)", "Bitmap (*.bmp) (*.bmp)"}},
        {"All files (*.*)|*.*", {"All files (*.*) (*)"}}};
    for (const auto& [patterns, expected] : rows) {
        QStringList filters;
        whenOpen([&](QWidget* dialog) {
            filters = static_cast<QFileDialog*>(dialog)->nameFilters();
            press(dialog, Qt::Key_Escape);
        });
        askOpenFileName("Open", "/", patterns, 0);
        EXPECT_EQ(filters, expected) << patterns;
    }
}

// The text input opens centred with the default text, the caret at its end; it returns the
// text confirmed with Enter, also on the OK button, and "" for Escape or the close box.
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
        QString title;
        whenOpen([&](QWidget* dialog) {
            QWindow* window = dialog->windowHandle();
            frame = dialog->frameGeometry();
            title = dialog->windowTitle();
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
        EXPECT_EQ(title, "Save binary");
    }
}

using Opener = std::function<void()>;
const std::pair<const char*, Opener> kRequesters[] = {
    {"message", [] { showMessage("Title", "Text"); }},
    {"open", [] { askOpenFileName("Open", "", "All|*", 0); }},
    {"save", [] { askSaveFileName("Save", "", "All|*", 0); }},
    {"text", [] { askText("Title", "Prompt", "text"); }}};

// Keys typed into a requester are none of the main window's raw input, not even the release
// of the Enter that closed it; one cancelled with Escape returns only once the key is up again
// (the program ends when it sees Escape down after an event).
TEST_F(ShellTest, RequesterKeysStayInTheRequester) {
    QWidget* main = openMainWindow();
    whenOpen([main](QWidget* dialog) {
        QTest::keyClick(dialog->windowHandle(), Qt::Key_4);
        QTimer::singleShot(50, [main] { QTest::keyRelease(main->windowHandle(), Qt::Key_Return); });
        QTest::keyPress(dialog->windowHandle(), Qt::Key_Return);
    });
    EXPECT_EQ(askText("Size", "Length:", ""), "4");
    std::vector<int> rawKeys;
    while (int kind = waitEvent(0))
        if (kind == kRawKeyDown || kind == kRawKeyUp) rawKeys.push_back(int(eventWParam()));
    EXPECT_EQ(rawKeys, std::vector<int>{});
    for (const auto& [name, open] : kRequesters) {
        auto released = std::make_shared<bool>(false);
        whenOpen([released](QWidget* dialog) {
            QWindow* window = dialog->windowHandle();
            QObject::connect(static_cast<QDialog*>(dialog), &QDialog::finished, window, [released, window] {
                QTimer::singleShot(50, window, [released, window] {
                    *released = true;
                    QTest::keyRelease(window, Qt::Key_Escape);
                });
            });
            QTest::keyPress(window, Qt::Key_Escape);
        });
        open();
        EXPECT_EQ(isKeyDown(kKeyEscape), 0) << name;
        EXPECT_TRUE(*released) << name;
    }
}

// While a requester is open the main window takes no input and is not on top; afterwards it is
// as before and has the keyboard again.
TEST_F(ShellTest, RequestersAreModalAndLiftStayOnTop) {
    QWidget* main = openMainWindow();
    setStayOnTop(0, 1);
    auto onTop = [main] { return main->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };
    for (const auto& [name, open] : kRequesters) {
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
        bool onTopWhileOpen = true;
        whenOpen([&](QWidget* dialog) {
            QTest::mouseClick(nativeWindow(), Qt::LeftButton, {}, QPoint(20, 20));
            onTopWhileOpen = onTop();
            static_cast<QDialog*>(dialog)->done(0);
        });
        const QRect placeBefore = main->geometry();
        open();
        EXPECT_EQ(std::pair(onTopWhileOpen, onTop()), std::pair(false, true)) << name;
        EXPECT_EQ(main->geometry(), placeBefore) << name;
        EXPECT_TRUE(QTest::qWaitForWindowActive(main)) << name;
        EXPECT_EQ(takeEvents(kRawLeftButtonDown), std::vector<ReturnedEvent>{}) << name;
    }
}

}  // namespace
