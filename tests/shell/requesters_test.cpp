#include "shell/requesters.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/event_queue.h"
#include "shell/window_shell.h"

namespace {

void startApplication() {
    static int argc = 1;
    static char name[] = "requesters_test";
    static char* argv[] = {name, nullptr};
    ASSERT_NE(initShell(argc, argv), 0);
}

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

void typeText(QWindow* window, const std::string& text) {
    for (char c : text) QTest::keyClick(window, c);
}

void pressKey(QWidget* dialog, Qt::Key key) {
    QTest::keyClick(dialog->windowHandle(), key);
}

// Closes whatever modal window is open, every 200 ms, until `requester` has gone.
void closeStuckRequester(QPointer<QWidget> requester) {
    if (requester.isNull() || !requester->isVisible()) return;
    if (auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget())) top->reject();
    QTimer::singleShot(200, [requester] {
        if (!requester.isNull() && requester->isVisible()) closeStuckRequester(requester);
    });
}

// Runs `drive` on the requester as soon as it is the open modal window. A requester still open
// three seconds later is a fault: it is closed so that the test run goes on.
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
            closeStuckRequester(requester);
        });
        drive(modal);
    });
    poll->start(5);
}

QLineEdit* fileNameField(QWidget* dialog) {
    return dialog->findChild<QLineEdit*>("fileNameEdit");
}

class RequesterTest : public testing::Test {
   protected:
    static void SetUpTestSuite() { startApplication(); }
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    std::string path(const std::string& name) const { return folder.path().toStdString() + "/" + name; }
    void createFile(const std::string& name) const { std::ofstream(path(name)) << "x"; }

    QTemporaryDir folder;
};

// ---- File dialogs ------------------------------------------------------------------------------

const std::string kImagePatterns = "Portable Network Graphics(*.png)|*.png|Bitmap (*.bmp)|*.bmp";

struct FileDialogCase {
    const char* name;
    bool save;
    int patternIndex;
    bool chooseNextPattern;  // the user steps the type list down once
    std::string typed;       // typed into the name field, then Enter
    std::string expectedName;
    int expectedIndex;
};

void PrintTo(const FileDialogCase& c, std::ostream* out) {
    *out << c.name;
}

class FileDialogTest : public RequesterTest, public testing::WithParamInterface<FileDialogCase> {};

TEST_P(FileDialogTest, ConfirmReportsNameAndPattern) {
    const FileDialogCase& c = GetParam();
    whenOpen([&](QWidget* dialog) {
        if (c.chooseNextPattern) {
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            ASSERT_NE(types, nullptr);
            QTest::keyClick(types, Qt::Key_Down);
        }
        fileNameField(dialog)->clear();
        typeText(dialog->windowHandle(), c.typed);
        pressKey(dialog, Qt::Key_Return);
    });
    const std::string defaultFile = folder.path().toStdString() + "/";
    const std::string name = c.save ? askSaveFileName("Save", defaultFile, kImagePatterns, c.patternIndex)
                                    : askOpenFileName("Open", defaultFile, kImagePatterns, c.patternIndex);
    EXPECT_EQ(name, path(c.expectedName));
    EXPECT_EQ(selectedPatternIndex(), c.expectedIndex);
}

INSTANTIATE_TEST_SUITE_P(
    Requesters, FileDialogTest,
    testing::Values(FileDialogCase{"SaveWithSecondPattern", true, 1, false, "pic.bmp", "pic.bmp", 1},
                    FileDialogCase{"SaveSwitchedToSecondPattern", true, 0, true, "pic.bmp", "pic.bmp", 1},
                    FileDialogCase{"SaveAddsNoExtension", true, 1, false, "pic", "pic", 1},
                    FileDialogCase{"OpenWithFirstPattern", false, 0, false, "data.png", "data.png", 0},
                    FileDialogCase{"OpenNeedsNoExistingFile", false, 1, false, "missing", "missing", 1},
                    FileDialogCase{"IndexOutOfRangeStartsAtFirst", true, 7, false, "a.png", "a.png", 0}),
    [](const testing::TestParamInfo<FileDialogCase>& info) { return std::string(info.param.name); });

struct PatternCase {
    const char* name;
    std::string patterns;
    QStringList expectedFilters;
};

void PrintTo(const PatternCase& c, std::ostream* out) {
    *out << c.name;
}

class PatternListTest : public RequesterTest, public testing::WithParamInterface<PatternCase> {};

TEST_P(PatternListTest, BecomesTheDialogsFilters) {
    QStringList filters;
    whenOpen([&](QWidget* dialog) {
        filters = static_cast<QFileDialog*>(dialog)->nameFilters();
        pressKey(dialog, Qt::Key_Escape);
    });
    askOpenFileName("Open", path(""), GetParam().patterns, 0);
    EXPECT_EQ(filters, GetParam().expectedFilters);
}

INSTANTIATE_TEST_SUITE_P(
    Requesters, PatternListTest,
    testing::Values(
        PatternCase{"TwoPairs",
                    kImagePatterns,
                    {"Portable Network Graphics(*.png) (*.png)", "Bitmap (*.bmp) (*.bmp)"}},
        PatternCase{"SemicolonsSeparatePatterns", "Pictures|*.png;*.bmp", {"Pictures (*.png *.bmp)"}},
        PatternCase{"StarDotStarIsEveryFile", "All files (*.*)|*.*", {"All files (*.*) (*)"}},
        PatternCase{"DescriptionWithoutPatternIsLeftOut", "Binary|*.bin|Other", {"Binary (*.bin)"}},
        PatternCase{"NoPatterns", "", {"All Files (*)"}}),
    [](const testing::TestParamInfo<PatternCase>& info) { return std::string(info.param.name); });

// Picking another type leaves the proposed name as it is, extension included.
TEST_F(RequesterTest, ChangingTheTypeKeepsTheProposedName) {
    std::string shownAfterSwitch;
    whenOpen([&](QWidget* dialog) {
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        QTest::keyClick(types, Qt::Key_Down);
        shownAfterSwitch = fileNameField(dialog)->text().toStdString();
        pressKey(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(askSaveFileName("Save", path("game.bin"), kImagePatterns, 0), path("game.bin"));
    EXPECT_EQ(selectedPatternIndex(), 1);
    EXPECT_EQ(shownAfterSwitch, "game.bin");
}

// The type picked from the opened list, then picked again, leaves the typed name as it is.
TEST_F(RequesterTest, PickingTypesFromTheListKeepsTheTypedName) {
    std::vector<std::string> shown;
    whenOpen([&](QWidget* dialog) {
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        auto pickFromList = [&](int downs) {
            types->showPopup();
            for (int i = 0; i < downs; ++i) QTest::keyClick(types->view(), Qt::Key_Down);
            QTest::keyClick(types->view(), Qt::Key_Return);
            shown.push_back(fileNameField(dialog)->text().toStdString());
        };
        fileNameField(dialog)->clear();
        typeText(dialog->windowHandle(), "pic.png");
        pickFromList(1);  // Bitmap
        pickFromList(0);  // Bitmap again
        pressKey(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(askSaveFileName("Save", path(""), kImagePatterns, 0), path("pic.png"));
    EXPECT_EQ(selectedPatternIndex(), 1);
    EXPECT_EQ(shown, (std::vector<std::string>{"pic.png", "pic.png"}));
}

TEST_F(RequesterTest, CancelAfterConfirmReportsMinusOne) {
    whenOpen([](QWidget* dialog) {
        typeText(dialog->windowHandle(), "one.bmp");
        pressKey(dialog, Qt::Key_Return);
    });
    ASSERT_EQ(askSaveFileName("Save", path(""), kImagePatterns, 1), path("one.bmp"));
    ASSERT_EQ(selectedPatternIndex(), 1);

    whenOpen([](QWidget* dialog) { pressKey(dialog, Qt::Key_Escape); });
    EXPECT_EQ(askSaveFileName("Save", path(""), kImagePatterns, 1), "");
    EXPECT_EQ(selectedPatternIndex(), -1);
}

struct DefaultFileCase {
    const char* name;
    std::string defaultName;  // appended to the temporary folder and "/"
    std::string expectedField;
};

void PrintTo(const DefaultFileCase& c, std::ostream* out) {
    *out << c.name;
}

class DefaultFileTest : public RequesterTest, public testing::WithParamInterface<DefaultFileCase> {};

TEST_P(DefaultFileTest, StartsInTheFolderWithTheValidName) {
    const DefaultFileCase& c = GetParam();
    QString shownFolder, shownName;
    whenOpen([&](QWidget* dialog) {
        shownFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
        shownName = fileNameField(dialog)->text();
        pressKey(dialog, Qt::Key_Escape);
    });
    askOpenFileName("Open", path(c.defaultName), kImagePatterns, 0);
    EXPECT_EQ(shownFolder, folder.path());
    EXPECT_EQ(shownName.toStdString(), c.expectedField);
}

INSTANTIATE_TEST_SUITE_P(Requesters, DefaultFileTest,
                         testing::Values(DefaultFileCase{"FolderEndingInSlash", "", ""},
                                         DefaultFileCase{"PlainName", "sprites.bin", "sprites.bin"},
                                         DefaultFileCase{"NameWithStar", "*.png", ""},
                                         DefaultFileCase{"NameWithQuestionMark", "a?.bin", ""},
                                         DefaultFileCase{"NameWithColon", "a:b", ""},
                                         DefaultFileCase{"NameWithControlByte", "a\tb", ""},
                                         DefaultFileCase{"NameWithQuote", "a\"b", ""}),
                         [](const testing::TestParamInfo<DefaultFileCase>& info) {
                             return std::string(info.param.name);
                         });

// An overwrite question would keep the dialog open until the watchdog closes it.
TEST_F(RequesterTest, SaveOnExistingFileAsksNothing) {
    createFile("existing.png");
    whenOpen([](QWidget* dialog) { pressKey(dialog, Qt::Key_Return); });
    EXPECT_EQ(askSaveFileName("Save", path("existing.png"), kImagePatterns, 0), path("existing.png"));
}

// A name in a folder that does not exist is refused: the dialog stays open for another answer.
TEST_F(RequesterTest, NameInAMissingFolderIsNotAccepted) {
    for (bool save : {false, true}) {
        SCOPED_TRACE(save ? "save" : "open");
        bool stillOpen = false;
        whenOpen([&](QWidget* dialog) {
            fileNameField(dialog)->setText(QString::fromStdString(path("missing/x.png")));
            pressKey(dialog, Qt::Key_Return);
            stillOpen = dialog->isVisible();
            if (stillOpen) pressKey(dialog, Qt::Key_Escape);
        });
        const std::string chosen = save ? askSaveFileName("Save", path(""), kImagePatterns, 0)
                                        : askOpenFileName("Open", path(""), kImagePatterns, 0);
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(chosen, "");
        EXPECT_EQ(selectedPatternIndex(), -1);
    }
}

TEST_F(RequesterTest, CurrentDirectoryStaysWhileTheDialogChangesFolder) {
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    const std::string before = currentDirectory();
    ASSERT_NE(before + "/", path(""));
    whenOpen([&](QWidget* dialog) {
        typeText(dialog->windowHandle(), "sub");
        pressKey(dialog, Qt::Key_Return);  // enters the folder
        QTest::keyClick(dialog->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        typeText(dialog->windowHandle(), "inside.bin");
        pressKey(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(askSaveFileName("Save", path(""), kImagePatterns, 0), path("sub/inside.bin"));
    EXPECT_EQ(currentDirectory(), before);
}

// ---- Text input --------------------------------------------------------------------------------

enum class Close { Enter, Escape, CloseBox };

struct TextCase {
    const char* name;
    std::string defaultText;
    int backspaces;
    std::string typed;
    bool tabToButton;  // the OK button has the focus when the dialog is closed
    Close close;
    std::string expected;
};

void PrintTo(const TextCase& c, std::ostream* out) {
    *out << c.name;
}

class TextInputTest : public RequesterTest, public testing::WithParamInterface<TextCase> {};

TEST_P(TextInputTest, ReturnsTheConfirmedText) {
    const TextCase& c = GetParam();
    whenOpen([&](QWidget* dialog) {
        QWindow* window = dialog->windowHandle();
        for (int i = 0; i < c.backspaces; ++i) QTest::keyClick(window, Qt::Key_Backspace);
        typeText(window, c.typed);
        if (c.tabToButton) QTest::keyClick(window, Qt::Key_Tab);
        switch (c.close) {
            case Close::Enter:
                QTest::keyClick(window, Qt::Key_Return);
                break;
            case Close::Escape:
                QTest::keyClick(window, Qt::Key_Escape);
                break;
            case Close::CloseBox:
                window->close();
                break;
        }
    });
    EXPECT_EQ(askText("Size", "Length:", c.defaultText), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Requesters, TextInputTest,
    testing::Values(TextCase{"DefaultUnchanged", "1024", 0, "", false, Close::Enter, "1024"},
                    TextCase{"TypedAtTheEnd", "$10", 0, "00", false, Close::Enter, "$1000"},
                    TextCase{"EditedText", "1024", 2, "48", false, Close::Enter, "1048"},
                    TextCase{"EmptiedField", "12", 2, "", false, Close::Enter, ""},
                    TextCase{"EnterOnTheButton", "7", 0, "", true, Close::Enter, "7"},
                    TextCase{"Escape", "1024", 0, "5", false, Close::Escape, ""},
                    TextCase{"EscapeOnTheButton", "1024", 0, "", true, Close::Escape, ""},
                    TextCase{"CloseBox", "1024", 0, "5", false, Close::CloseBox, ""}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST_F(RequesterTest, TextInputLayout) {
    QRect frame, prompt, field, button;
    QString title, promptText;
    bool buttonIsDefault = false, fieldHasFocus = false, selected = true;
    int caret = -1;
    whenOpen([&](QWidget* dialog) {
        frame = dialog->frameGeometry();
        title = dialog->windowTitle();
        auto* label = dialog->findChild<QLabel*>();
        auto* edit = dialog->findChild<QLineEdit*>();
        auto* ok = dialog->findChild<QPushButton*>();
        prompt = label->geometry();
        promptText = label->text();
        field = edit->geometry();
        fieldHasFocus = dialog->focusWidget() == edit;
        caret = edit->cursorPosition();
        selected = edit->hasSelectedText();
        button = ok->geometry();
        buttonIsDefault = ok->isDefault() && ok->text() == "OK";
        pressKey(dialog, Qt::Key_Escape);
    });
    askText("Save binary", "Length:", "12345");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(frame, QRect(screen.width() / 2 - 150, screen.height() / 2 - 65, 300, 130));
    EXPECT_EQ(title, "Save binary");
    EXPECT_EQ(promptText, "Length:");
    EXPECT_EQ(prompt, QRect(10, 10, 280, 22));
    EXPECT_EQ(field, QRect(10, 32, 275, 21));
    EXPECT_EQ(button, QRect(110, 67, 80, 25));
    EXPECT_TRUE(buttonIsDefault);
    EXPECT_TRUE(fieldHasFocus);
    EXPECT_EQ(caret, 5);
    EXPECT_FALSE(selected);
}

// ---- Message box -------------------------------------------------------------------------------

TEST_F(RequesterTest, MessageHasTitleTextAndOneOkButtonWithoutIcon) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    qsizetype buttons = 0;
    whenOpen([&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        pressKey(dialog, Qt::Key_Return);
    });
    showMessage("Error", "Cannot open\r\n/data/a.bin");
    EXPECT_EQ(title, "Error");
    EXPECT_EQ(text, "Cannot open\n/data/a.bin");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, 1);
}

enum class Requester { Message, Open, Save, Text };

const char* const kRequesterNames[] = {"Message", "Open", "Save", "Text"};

std::string requesterName(const testing::TestParamInfo<Requester>& info) {
    return kRequesterNames[int(info.param)];
}

void PrintTo(Requester kind, std::ostream* out) {
    *out << kRequesterNames[int(kind)];
}

void openRequester(Requester kind) {
    switch (kind) {
        case Requester::Message:
            showMessage("Title", "Text");
            break;
        case Requester::Open:
            askOpenFileName("Open", "", "All|*", 0);
            break;
        case Requester::Save:
            askSaveFileName("Save", "", "All|*", 0);
            break;
        case Requester::Text:
            askText("Title", "Prompt", "text");
            break;
    }
}

// Opens the requester and lets `whileOpen` look at the windows before the requester is closed.
void runRequester(Requester kind, const std::function<void()>& whileOpen) {
    whenOpen([&](QWidget* dialog) {
        whileOpen();
        if (kind == Requester::Message)
            static_cast<QDialog*>(dialog)->accept();
        else
            static_cast<QDialog*>(dialog)->reject();
    });
    openRequester(kind);
}

// ---- With the shell's own window ------------------------------------------------------------

// Keys typed into a requester belong to it: none of them comes back from waitEvent, not even
// the release of the Enter that closed it, which reaches the main window afterwards.
TEST_F(RequesterTest, RequesterInputIsNoRawInputOfTheMainWindow) {
    ASSERT_NE(openWindow(0, 0, 0, 300, 200, "Main", 0xCA0001), 0);
    auto* main = static_cast<QWidget*>(windowHandle(0));
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    clearEvents();
    whenOpen([main](QWidget* dialog) {
        QWindow* window = dialog->windowHandle();
        typeText(window, "42");
        QTimer::singleShot(50, [main] { QTest::keyRelease(main->windowHandle(), Qt::Key_Return); });
        QTest::keyPress(window, Qt::Key_Return);
    });
    EXPECT_EQ(askText("Size", "Length:", ""), "42");
    std::vector<int> rawKeys;
    while (int kind = waitEvent(0))
        if (kind == kRawKeyDown || kind == kRawKeyUp) rawKeys.push_back(int(eventWParam()));
    EXPECT_EQ(rawKeys, std::vector<int>{});
    releaseShellObjects();
}

// The program ends when it sees Escape down after an event: a requester cancelled with Escape
// returns only once the key is up again. The key comes up a little after the requester has
// closed, when only the wait for the release can still be running.
TEST_F(RequesterTest, ReturnsOnlyAfterTheClosingEscapeIsReleased) {
    for (Requester kind : {Requester::Message, Requester::Open, Requester::Text}) {
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
        openRequester(kind);
        EXPECT_EQ(isKeyDown(kKeyEscape), 0) << kRequesterNames[int(kind)];
        EXPECT_TRUE(*released) << kRequesterNames[int(kind)];
    }
}

// ---- Modal scope -------------------------------------------------------------------------------

struct MainWindow {
    QWidget window;
    QPushButton* button = new QPushButton("Press", &window);
    int presses = 0;

    MainWindow() {
        window.resize(200, 100);
        button->setGeometry(10, 10, 100, 30);
        QObject::connect(button, &QPushButton::clicked, [this] { ++presses; });
    }
    void show() {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void click() { QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20)); }
    bool onTop() const { return window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); }
    void keepOnTop() {
        QWindow* handle = window.windowHandle();
        handle->setFlags(handle->flags() | Qt::WindowStaysOnTopHint);
    }
};

class ModalScopeTest : public RequesterTest, public testing::WithParamInterface<Requester> {};

TEST_P(ModalScopeTest, OtherWindowsTakeNoInputUntilTheRequesterCloses) {
    MainWindow main, other, alreadyDisabled;
    other.window.show();
    alreadyDisabled.window.show();
    alreadyDisabled.window.setEnabled(false);
    main.show();

    bool otherEnabled = true;
    runRequester(GetParam(), [&] {
        main.click();
        otherEnabled = other.window.isEnabled();
    });
    EXPECT_EQ(main.presses, 0);
    EXPECT_FALSE(otherEnabled);
    EXPECT_TRUE(other.window.isEnabled());
    EXPECT_FALSE(alreadyDisabled.window.isEnabled());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&main.window));
    main.click();
    EXPECT_EQ(main.presses, 1);
}

TEST_P(ModalScopeTest, StayOnTopIsLiftedWhileTheRequesterIsOpen) {
    MainWindow main, other;
    other.window.show();
    other.keepOnTop();
    main.show();
    main.keepOnTop();
    const QRect placeBefore = main.window.geometry();

    bool mainOnTop = true, otherOnTop = true;
    runRequester(GetParam(), [&] {
        mainOnTop = main.onTop();
        otherOnTop = other.onTop();
    });
    EXPECT_FALSE(mainOnTop);
    EXPECT_FALSE(otherOnTop);
    EXPECT_TRUE(main.onTop());
    EXPECT_TRUE(other.onTop());
    EXPECT_EQ(main.window.geometry(), placeBefore);
}

TEST_P(ModalScopeTest, ShellWindowKeptOnTopIsLiftedAndPutBack) {
    ASSERT_NE(openWindow(0, 0, 0, 300, 200, "Main", 0xCA0001), 0);
    auto* main = static_cast<QWidget*>(windowHandle(0));
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    setStayOnTop(0, 1);
    auto onTop = [main] { return main->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };
    bool onTopWhileOpen = true;
    runRequester(GetParam(), [&] { onTopWhileOpen = onTop(); });
    EXPECT_FALSE(onTopWhileOpen);
    EXPECT_TRUE(onTop());
    EXPECT_TRUE(QTest::qWaitForWindowActive(main));
    releaseShellObjects();
}

INSTANTIATE_TEST_SUITE_P(Requesters, ModalScopeTest,
                         testing::Values(Requester::Message, Requester::Open, Requester::Save,
                                         Requester::Text),
                         requesterName);

}  // namespace
