#include "shell/requesters.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QStringList>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <sys/stat.h>

#include <functional>
#include <string_view>
#include <vector>

#include "shell/event_queue.h"
#include "shell/qt_text.h"

namespace {

int selectedPattern = 0;  // 1-based pattern of the last confirmed file dialog, 0 after a cancel

// ---- Modal scope -------------------------------------------------------------------------------

struct ScopeRecord {
    QPointer<QWidget> window;
    bool wasTopmost = false;
    bool disabledByScope = false;
};

struct ModalScope {
    std::vector<ScopeRecord> records;
    QPointer<QWidget> previouslyActive;
};

bool isTopmost(QWidget* window) {
    QWindow* handle = window->windowHandle();
    return handle != nullptr && handle->flags().testFlag(Qt::WindowStaysOnTopHint);
}

// Changes only the native window's flags: the X window, its place and size stay as they are.
void setTopmost(QWidget* window, bool on) {
    QWindow* handle = window->windowHandle();
    if (handle == nullptr) return;
    handle->setFlags(handle->flags().setFlag(Qt::WindowStaysOnTopHint, on));
}

// The owner (the active window) is left enabled: the modal dialog blocks it by itself.
ModalScope beginModalScope(QWidget* owner) {
    ModalScope scope;
    scope.previouslyActive = QApplication::activeWindow();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        ScopeRecord record{window, isTopmost(window), false};
        if (window != owner && window->isEnabled()) {
            window->setEnabled(false);
            record.disabledByScope = true;
        }
        scope.records.push_back(record);
    }
    for (const ScopeRecord& record : scope.records)
        if (record.wasTopmost) setTopmost(record.window, false);
    return scope;
}

void endModalScope(ModalScope& scope) {
    for (const ScopeRecord& record : scope.records) {
        if (record.window.isNull()) continue;
        if (record.disabledByScope) record.window->setEnabled(true);
        if (record.wasTopmost) setTopmost(record.window, true);
    }
    scope.records.clear();
    // Without a window manager nothing hands the focus back to the window that had it.
    if (!scope.previouslyActive.isNull()) scope.previouslyActive->activateWindow();
}

QWidget* requesterOwner() {
    return QApplication::activeWindow();
}

// The program polls the physical keys after every event, and Escape ends it: the Escape (or
// Enter) that closed a requester must not still be seen down when the caller goes on. A key
// held for more than a second is left to the caller.
void waitForClosingKeyRelease() {
    QElapsedTimer held;
    held.start();
    while ((isKeyDown(kKeyEscape) != 0 || isKeyDown(kKeyReturn) != 0) && held.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// Shows the dialog application-modal inside a modal scope, runs `whenShown` once it is on screen and
// then waits for the answer; true when the dialog was accepted.
bool runInModalScope(QDialog& dialog, QWidget* owner, const std::function<void()>& whenShown = {}) {
    ModalScope scope = beginModalScope(owner);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (whenShown) whenShown();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    dialog.hide();
    waitForClosingKeyRelease();
    endModalScope(scope);
    return accepted;
}

// ---- File dialogs ------------------------------------------------------------------------------

constexpr size_t kMaxFileNameBytes = 259;

bool isValidFileName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char byte : name)
        if (byte < 32 || std::string_view("\"*/:<>?\\|").find(char(byte)) != std::string_view::npos)
            return false;
    return true;
}

struct InitialFile {
    std::string folder;  // empty: the dialog's own choice
    std::string name;
};

// The folder is the text up to the last "/", the name what follows; an invalid name starts empty.
InitialFile splitDefaultFile(const std::string& defaultFile) {
    InitialFile initial;
    const size_t slash = defaultFile.rfind('/');
    if (slash == std::string::npos) {
        initial.name = defaultFile;
    } else {
        initial.folder = slash == 0 ? "/" : defaultFile.substr(0, slash);
        initial.name = defaultFile.substr(slash + 1);
    }
    if (initial.name.size() > kMaxFileNameBytes) initial.name.resize(kMaxFileNameBytes);
    if (!isValidFileName(initial.name)) initial.name.clear();
    return initial;
}

struct PatternList {
    QStringList descriptions;
    QStringList filters;  // "description (pattern)"
};

// "*.*" stands for every file, also those without a dot in their name.
QString dialogPattern(const QString& pattern) {
    return pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern;
}

// "Description|*.a|..." -> one name filter per description and pattern pair. The dialog shows
// only the description; the patterns in brackets at its end are what it filters by.
PatternList patternList(const std::string& patterns) {
    PatternList list;
    const QStringList entries = toQString(patterns).split(u'|');
    for (qsizetype i = 0; i + 1 < entries.size(); i += 2) {
        list.descriptions.append(entries[i]);
        list.filters.append(entries[i] + QStringLiteral(" (") + dialogPattern(entries[i + 1]) +
                            QLatin1Char(')'));
    }
    return list;
}

// 1-based number of the pattern shown in the dialog, 0 when none is. Qt keeps its filters
// simplified and reports the shown text, which is the description alone.
int chosenPatternNumber(const QFileDialog& dialog, const PatternList& list) {
    const QString chosen = dialog.selectedNameFilter();
    const QStringList kept = dialog.nameFilters();
    for (qsizetype i = 0; i < kept.size() && i < list.descriptions.size(); ++i)
        if (chosen == kept[i] || chosen == list.descriptions[i].simplified()) return int(i) + 1;
    return 0;
}

// Qt's own save dialog rewrites the extension of the name in the name field whenever a file type
// is chosen ("game.bin" becomes "game.bmp" with "*.bmp"), while it handles the input event that
// chose the type. The name must stay as typed or proposed: the field's text is noted as every
// input event arrives and put back once the type list has reported the choice.
class NameKeeper : public QObject {
   public:
    explicit NameKeeper(QFileDialog& dialog)
        : field(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        if (field == nullptr || types == nullptr) return;
        noted = field->text();
        // Connected after the dialog's own handler of the same signal, so it runs after it.
        connect(types, &QComboBox::activated, this, [this] {
            if (field->text() != noted) field->setText(noted);
        });
        QCoreApplication::instance()->installEventFilter(this);
    }

   protected:
    bool eventFilter(QObject* /*receiver*/, QEvent* event) override {
        if (event->isInputEvent()) noted = field->text();
        return false;
    }

   private:
    QLineEdit* field;
    QString noted;
};

bool isFolder(const std::string& name) {
    struct stat info;
    return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The answer is the folder shown plus the text in the name field exactly as it stands; a text
// that starts with "/" is a full name of its own. Qt's own dialog would take a double quote for
// a separator between several names and return one of them. The folder is kept as the bytes it
// was given in, as long as the dialog still shows it, so that a name that is no UTF-8 survives.
// A name whose folder does not exist is refused: the dialog stays open with the name selected,
// so that it can be corrected. A folder's name enters it.
class FileDialog : public QFileDialog {
   public:
    FileDialog(QWidget* owner, const QString& title) : QFileDialog(owner, title) {}

    void showFolder(const std::string& folder) {
        setDirectory(toQString(folder));
        shownFolder = directory().absolutePath();
        folderBytes = folder;
    }

    const std::string& chosenName() const { return chosen; }

    void accept() override {
        QLineEdit* field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = field != nullptr ? field->text() : QString();
        if (typed.isEmpty() || typed == QStringLiteral("..")) {
            QFileDialog::accept();  // nothing chosen yet, or one folder up
            return;
        }
        const std::string name = fullName(toStdString(typed));
        if (isFolder(name)) {
            showFolder(name);
            field->clear();
            return;
        }
        const size_t slash = name.rfind('/');
        if (!isFolder(slash == 0 ? "/" : name.substr(0, slash))) {
            field->selectAll();
            return;
        }
        chosen = name;
        QDialog::accept();
    }

   private:
    std::string fullName(const std::string& typed) const {
        if (typed[0] == '/') return typed;
        std::string folder =
            directory().absolutePath() == shownFolder ? folderBytes : toStdString(directory().absolutePath());
        if (folder.empty() || folder.back() != '/') folder += '/';
        return folder + typed;
    }

    QString shownFolder;
    std::string folderBytes;
    std::string chosen;
};

std::string askFileName(QFileDialog::AcceptMode mode, const std::string& title,
                        const std::string& defaultFile, const std::string& patterns, int patternIndex) {
    selectedPattern = 0;
    QWidget* owner = requesterOwner();
    FileDialog dialog(owner, toQString(title));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite |
                      QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    const PatternList list = patternList(patterns);
    if (!list.filters.isEmpty()) {
        dialog.setNameFilters(list.filters);
        const QStringList kept = dialog.nameFilters();
        dialog.selectNameFilter(
            kept.value(patternIndex >= 0 && patternIndex < kept.size() ? patternIndex : 0));
    }
    const InitialFile initial = splitDefaultFile(defaultFile);
    dialog.showFolder(initial.folder.empty() ? toStdString(dialog.directory().absolutePath())
                                             : initial.folder);
    if (!initial.name.empty()) dialog.selectFile(toQString(initial.name));
    const NameKeeper keeper(dialog);

    if (!runInModalScope(dialog, owner) || dialog.chosenName().empty()) return "";
    selectedPattern = chosenPatternNumber(dialog, list);
    return dialog.chosenName();
}

// ---- Text input --------------------------------------------------------------------------------

constexpr int kTextDialogWidth = 300, kTextDialogHeight = 130;

QSize frameSize(const QWidget* window) {
    return window->frameGeometry().size() - window->geometry().size();
}

// The outer size is fixed. Before the dialog is shown its frame is not known yet and is taken as
// thick as the owner's; once it is shown, its own frame corrects the size.
void fitTextDialogFrame(QDialog& dialog, const QSize& frame) {
    dialog.setFixedSize(QSize(kTextDialogWidth, kTextDialogHeight) - frame);
}

void centreTextDialog(QDialog& dialog) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    dialog.move(screen->geometry().width() / 2 - kTextDialogWidth / 2,
                screen->geometry().height() / 2 - kTextDialogHeight / 2);
}

// What a title bar takes beside the title: an icon and buttons, on both sides where it centres it.
constexpr int kTitleBarRoom = 200;

// A box this wide shows its whole title in the window manager's title bar, which often uses a
// bold font larger than the application's.
int widthForTitle(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 1.25);
    } else {
        font.setPixelSize(font.pixelSize() * 5 / 4);
    }
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarRoom;
}

// A message box sizes itself to its text alone; a row of that width below keeps it wider.
void keepWidthForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) return;
    grid->addItem(
        new QSpacerItem(widthForTitle(box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
        grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void showMessage(const std::string& title, const std::string& text) {
    QWidget* owner = requesterOwner();
    // Line breaks may come as CR LF; a lone CR would show as a glyph.
    QString lines = toQString(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, toQString(title), lines, QMessageBox::Ok, owner);
    keepWidthForTitle(box);
    runInModalScope(box, owner);
}

std::string askOpenFileName(const std::string& title, const std::string& defaultFile,
                            const std::string& patterns, int patternIndex) {
    return askFileName(QFileDialog::AcceptOpen, title, defaultFile, patterns, patternIndex);
}

std::string askSaveFileName(const std::string& title, const std::string& defaultFile,
                            const std::string& patterns, int patternIndex) {
    return askFileName(QFileDialog::AcceptSave, title, defaultFile, patterns, patternIndex);
}

int selectedPatternIndex() {
    return selectedPattern - 1;
}

std::string askText(const std::string& title, const std::string& prompt, const std::string& defaultText) {
    QWidget* owner = requesterOwner();
    QDialog dialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setWindowTitle(toQString(title));
    fitTextDialogFrame(dialog, owner != nullptr ? frameSize(owner) : QSize(0, 0));
    centreTextDialog(dialog);

    QLabel* promptLabel = new QLabel(toQString(prompt), &dialog);
    promptLabel->setGeometry(10, 10, 280, 22);
    promptLabel->setWordWrap(false);

    QLineEdit* field = new QLineEdit(toQString(defaultText), &dialog);
    field->setGeometry(10, 32, 275, 21);
    field->setFocus();

    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setGeometry(110, 67, 80, 25);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

    const bool confirmed = runInModalScope(dialog, owner, [&] {
        if (const QSize frame = frameSize(&dialog); !frame.isNull()) fitTextDialogFrame(dialog, frame);
        // Showing the dialog focuses the field as if by Tab, which selects the whole text.
        field->deselect();
        field->end(false);
    });
    return confirmed ? toStdString(field->text()) : "";
}
