#include "tests/viewer/window/viewer_driver.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <deque>
#include <memory>

#include "graphics/canvas.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"
#include "tests/support/temp_folder.h"

namespace {

// The application outlives every test and goes before the program's static objects do.
class ApplicationEnvironment : public testing::Environment {
   public:
    void TearDown() override {
        delete app;
        app = nullptr;
    }
    QApplication* app = nullptr;
};

ApplicationEnvironment* environment =
    static_cast<ApplicationEnvironment*>(testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

std::deque<RequesterAnswer> pendingAnswers;
std::vector<SeenRequester> seenRequesters;
QPointer<QWidget> lastHandled;

QWidget* mainFrame() {
    return static_cast<QWidget*>(windowHandle(kMainWindow));
}
QWindow* mainWindowHandle() {
    return mainFrame() != nullptr ? mainFrame()->windowHandle() : nullptr;
}

SeenRequester describe(QWidget* requester) {
    SeenRequester seen{RequesterKind::Message, requester->windowTitle().toStdString(), "", "", {}, -1};
    if (auto* menu = qobject_cast<QMenu*>(requester)) {
        seen.kind = RequesterKind::Popup;
        for (QAction* action : menu->actions()) seen.text += action->text().toStdString() + ";";
    } else if (auto* box = qobject_cast<QMessageBox*>(requester)) {
        seen.text = box->text().toStdString();
    } else if (auto* files = qobject_cast<QFileDialog*>(requester)) {
        seen.kind = files->acceptMode() == QFileDialog::AcceptSave ? RequesterKind::SaveFile
                                                                   : RequesterKind::OpenFile;
        seen.folder = files->directory().absolutePath().toStdString();
        if (auto* field = files->findChild<QLineEdit*>("fileNameEdit"))
            seen.text = field->text().toStdString();
        for (const QString& filter : files->nameFilters()) seen.patterns.push_back(filter.toStdString());
        // The dialog reports the shown filter, which may be the description alone.
        const QString shown = files->selectedNameFilter();
        for (qsizetype i = 0; i < files->nameFilters().size() && seen.pattern < 0; ++i) {
            if (files->nameFilters()[i].startsWith(shown)) seen.pattern = int(i);
        }
    } else if (auto* field = requester->findChild<QLineEdit*>()) {
        seen.kind = RequesterKind::Text;
        seen.text = field->text().toStdString();
    }
    return seen;
}

void reply(QWidget* requester, const RequesterAnswer& answer) {
    if (auto* menu = qobject_cast<QMenu*>(requester)) {
        for (QAction* action : menu->actions()) {
            if (!answer.reply.empty() && action->text().toStdString() == answer.reply) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    } else if (auto* files = qobject_cast<QFileDialog*>(requester)) {
        if (answer.cancel) return files->reject();
        files->selectNameFilter(files->nameFilters().value(answer.pattern));
        files->selectFile(QString::fromStdString(answer.reply));
        // As typed by the user: selectFile alone mangles a name in a folder that does not exist.
        if (auto* field = files->findChild<QLineEdit*>("fileNameEdit"))
            field->setText(QString::fromStdString(answer.reply));
        QMetaObject::invokeMethod(files, "accept");
    } else if (auto* dialog = qobject_cast<QDialog*>(requester)) {
        if (auto* field = dialog->findChild<QLineEdit*>())
            field->setText(QString::fromStdString(answer.reply));
        answer.cancel ? dialog->reject() : dialog->accept();
    }
}

void answerOpenRequester() {
    QWidget* requester = QApplication::activePopupWidget();
    if (requester == nullptr) requester = QApplication::activeModalWidget();
    if (requester == nullptr || !requester->isVisible() || requester == lastHandled) return;
    lastHandled = requester;
    const SeenRequester seen = describe(requester);
    seenRequesters.push_back(seen);
    if (pendingAnswers.empty() || pendingAnswers.front().kind != seen.kind) {
        ADD_FAILURE() << "unexpected requester \"" << seen.title << "\": " << seen.text;
        reply(requester, {seen.kind, "", 0, true});
        return;
    }
    const RequesterAnswer answer = pendingAnswers.front();
    pendingAnswers.pop_front();
    reply(requester, answer);
}

QPoint canvasPoint(int x, int y) {
    auto* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
    return canvas->mapTo(canvas->window(), QPoint(x, y));
}

// The canvas point in the window's coordinates, with the pointer put there.
QPoint pointerAt(int x, int y) {
    QCursor::setPos(mainWindowHandle()->mapToGlobal(canvasPoint(x, y)));
    return canvasPoint(x, y);
}

}  // namespace

void ViewerWindowTest::SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "viewer_app_test";
    static char* argv[] = {name, nullptr};
    if (environment->app != nullptr) return;
    environment->app = new QApplication(argc, argv);
    auto* poll = new QTimer(environment->app);  // answers in every modal loop the viewer enters
    QObject::connect(poll, &QTimer::timeout, answerOpenRequester);
    poll->start(5);
}

void ViewerWindowTest::SetUp() {
    temporary_ = std::make_unique<TempFolder>();
    folder_ = temporary_->path();
    ASSERT_FALSE(folder_.empty());
    char buffer[4096];
    previousDirectory_ = getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
    ASSERT_EQ(chdir(folder_.c_str()), 0);
    // The program's own settings file, one per test, outside the test's folder.
    configuration_ = std::make_unique<TempFolder>();
    setenv("XDG_CONFIG_HOME", configuration_->path().c_str(), 1);
    pendingAnswers.clear();
    seenRequesters.clear();
    lastHandled = nullptr;
}

void ViewerWindowTest::TearDown() {
    if (running_) finish(ViewerStep::Quit);
    pendingAnswers.clear();
    if (chdir(previousDirectory_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previousDirectory_;
    temporary_.reset();
    configuration_.reset();
}

ViewerStep ViewerWindowTest::startWithFile(const std::string& name, const std::string& bytes) {
    writeFile(name, bytes);
    const ViewerStep step = start({path(name)});
    drain();
    return step;
}

ViewerStep ViewerWindowTest::start(const std::vector<std::string>& arguments) {
    static std::vector<std::string> words;
    static std::vector<char*> argv;
    words = {"pixloupe2d"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    argv.assign(words.size() + 1, nullptr);
    for (size_t i = 0; i < words.size(); ++i) argv[i] = words[i].data();
    int argc = static_cast<int>(words.size());
    running_ = true;
    const ViewerStep step = startViewer(argc, argv.data());
    if (step != ViewerStep::Continue) finish(step);
    return step;
}

ViewerStep ViewerWindowTest::drain() {
    for (int kind = waitEvent(0); kind != 0; kind = waitEvent(0)) {
        const ViewerStep step = handleEvent(kind);
        if (step != ViewerStep::Continue) return step;
    }
    return ViewerStep::Continue;
}

ViewerStep ViewerWindowTest::command(int id) {
    drain();
    postEvent(kEventMenu, id, kMainWindow, 0);
    return handleNext();
}

void ViewerWindowTest::answer(std::vector<RequesterAnswer> answers) {
    pendingAnswers.assign(answers.begin(), answers.end());
}

const std::vector<SeenRequester>& ViewerWindowTest::seen() const {
    return seenRequesters;
}

void ViewerWindowTest::expectAllAnswered() {
    EXPECT_TRUE(pendingAnswers.empty()) << pendingAnswers.size() << " requester(s) never opened";
}

void ViewerWindowTest::scrollTo(int width, int row) {
    setState(kWidthScroll, width);
    setState(kRowScroll, row);
    applyScroll();
}

void ViewerWindowTest::setView(int width, int row, int fineOffset) {
    scrollTo(width, row);
    setState(kOffsetSpin, fineOffset);
    setText(kOffsetSpin, std::to_string(fineOffset));
    scrollTo(width, row);
}

void ViewerWindowTest::pressKey(int qtKey, int qtModifiers) {
    QTest::keyPress(mainWindowHandle(), Qt::Key(qtKey), Qt::KeyboardModifiers(qtModifiers));
}

void ViewerWindowTest::releaseKey(int qtKey, int qtModifiers) {
    QTest::keyRelease(mainWindowHandle(), Qt::Key(qtKey), Qt::KeyboardModifiers(qtModifiers));
}

void ViewerWindowTest::tapKey(int qtKey, int qtModifiers) {
    drain();
    markStatus();
    pressKey(qtKey, qtModifiers);
    handleNext();
    releaseKey(qtKey, qtModifiers);
    drain();
}

void ViewerWindowTest::moveMouseOnCanvas(int x, int y, bool buttonsUp) {
    if (!buttonsUp) return QTest::mouseMove(mainWindowHandle(), pointerAt(x, y));
    QMouseEvent move(QEvent::MouseMove, canvasPoint(x, y), QCursor::pos(), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(mainWindowHandle(), &move);
}

void ViewerWindowTest::rightClickCanvas(int x, int y) {
    QTest::mouseClick(mainWindowHandle(), Qt::RightButton, Qt::NoModifier, pointerAt(x, y));
}

void ViewerWindowTest::leftDragOnCanvas(const std::vector<std::pair<int, int>>& points, bool held) {
    moveMouseOnCanvas(points[0].first, points[0].second);
    QTest::mousePress(mainWindowHandle(), Qt::LeftButton, Qt::NoModifier,
                      pointerAt(points[0].first, points[0].second));
    drain();
    for (size_t i = 1; i < points.size(); ++i) {
        moveMouseOnCanvas(points[i].first, points[i].second);
        drain();
    }
    if (!held) releaseLeftOnCanvas(points.back().first, points.back().second);
}

void ViewerWindowTest::releaseLeftOnCanvas(int x, int y) {
    QTest::mouseRelease(mainWindowHandle(), Qt::LeftButton, Qt::NoModifier, pointerAt(x, y));
    drain();
}

void ViewerWindowTest::turnWheel(int delta) {
    QWindow* window = mainWindowHandle();
    const QPointF point = canvasPoint(100, 100);
    QWheelEvent wheel(point, window->mapToGlobal(point), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window, &wheel);
}

void ViewerWindowTest::clickCheckBox(int number) {
    auto* box = static_cast<QAbstractButton*>(controlHandle(number));
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(5, box->height() / 2));
}

std::string ViewerWindowTest::title() const {
    return mainFrame()->windowTitle().toStdString();
}
std::string ViewerWindowTest::status() const {
    return mainFrame()
        ->findChild<QLabel*>()
        ->text()
        .toStdString();  // the status field, first below the client
}

std::string ViewerWindowTest::placeStatus() const {
    const QList<QLabel*> fields = mainFrame()->findChildren<QLabel*>();
    if (fields.size() < 2) return "";
    return ((fields[1]->alignment() & Qt::AlignRight) != 0 ? "<" : "") + fields[1]->text().toStdString();
}

bool ViewerWindowTest::hasFocus(int control) const {
    QWidget* focused = QApplication::focusWidget();
    auto* widget = static_cast<QWidget*>(controlHandle(control));
    return focused != nullptr && (focused == widget || widget->isAncestorOf(focused));
}

bool ViewerWindowTest::isOnTop() const {
    QWindow* window = mainWindowHandle();
    return window != nullptr && window->flags().testFlag(Qt::WindowStaysOnTopHint);
}

int32_t ViewerWindowTest::imagePixel(ImageHandle image, int x, int y) {
    if (image == nullptr || image->pixels == nullptr || x < 0 || y < 0 || x >= image->width ||
        y >= image->height)
        return -1;
    const uint8_t* pixel =
        image->pixels + int64_t{image->height - 1 - y} * image->stride + int64_t{x} * (image->depth / 8);
    return pixel[2] | (pixel[1] << 8) | (pixel[0] << 16);
}

std::string countingBytes(int64_t length) {
    std::string bytes(static_cast<size_t>(length), '\0');
    for (int64_t i = 0; i < length; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(i & 0xFF);
    return bytes;
}
