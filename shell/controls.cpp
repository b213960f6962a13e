#include "shell/controls.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <map>

#include "graphics/canvas.h"
#include "shell/control_table.h"
#include "shell/event_queue.h"
#include "shell/qt_text.h"
#include "shell/shell_parts.h"
#include "shell/window_table.h"

namespace {

std::map<int, ControlRecord> controls;

// Scroll bars of this kind do not react to the wheel; the window gets it instead.
class ShellScrollBar : public QScrollBar {
   public:
    using QScrollBar::QScrollBar;

   protected:
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
};

// Arrow keys leave a check box as they are; Qt would move the focus to the next control.
class ShellCheckBox : public QCheckBox {
   public:
    using QCheckBox::QCheckBox;

   protected:
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
                event->ignore();
                return;
            default:
                QCheckBox::keyPressEvent(event);
        }
    }
};

void stepSpinBox(int number, int step);

// The spin box's text field: Up and Down step the arrow pair's value. The window's
// shortcuts come first, also for keys a text field would keep (Ctrl+Z, Ctrl+A, ...).
class SpinField : public QLineEdit {
   public:
    SpinField(int number, QWidget* parent) : QLineEdit(parent), number_(number) {}

   protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride &&
            isWindowShortcut(controlWindow(number_), static_cast<QKeyEvent*>(event))) {
            event->ignore();
            return true;
        }
        return QLineEdit::event(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            if (controlHandle(number_) == this) stepSpinBox(number_, event->key() == Qt::Key_Up ? 1 : -1);
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

   private:
    int number_;
};

// Program-made changes run with events suppressed and Qt's signals blocked.
struct QuietChange {
    explicit QuietChange(QWidget* widget) : blocker(widget) { suppressEvents(); }
    ~QuietChange() { resumeEvents(); }
    QSignalBlocker blocker;
};

int highestScrollPosition(const ControlRecord& record) {
    int64_t highest = static_cast<int64_t>(record.maximum) - std::max(record.pageLength - 1, 0);
    return static_cast<int>(std::max<int64_t>(record.minimum, highest));
}

int clampScrollPosition(const ControlRecord& record, int64_t position) {
    return static_cast<int>(std::clamp<int64_t>(position, record.minimum, highestScrollPosition(record)));
}

// The page can be at most the whole range.
void applyScrollRange(ControlRecord& record) {
    int64_t span = static_cast<int64_t>(record.maximum) - record.minimum + 1;
    record.pageLength =
        static_cast<int>(std::clamp<int64_t>(record.pageLength, 0, std::max<int64_t>(span, 0)));
    auto* bar = static_cast<QScrollBar*>(record.main.data());
    QuietChange quiet(bar);
    bar->setRange(record.minimum, highestScrollPosition(record));
    bar->setPageStep(std::max(record.pageLength, 1));
}

int troughStep(const ControlRecord& record) {
    return record.pageStep > 0 ? record.pageStep : record.pageLength;
}

void scrollBarAction(int number, int action) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return;
    auto* bar = static_cast<QScrollBar*>(record->main.data());
    int64_t position = bar->value();
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            position -= 1;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            position += 1;
            break;
        case QAbstractSlider::SliderPageStepSub:
            position -= troughStep(*record);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            position += troughStep(*record);
            break;
        case QAbstractSlider::SliderMove:
            position = bar->sliderPosition();
            break;
        default:
            break;
    }
    {
        QSignalBlocker blocker(bar);
        bar->setValue(clampScrollPosition(*record, position));
    }
    postEvent(kEventControl, number, record->window, 0);
}

void stepSpinBox(int number, int step) {
    ControlRecord* record = findControl(number);
    if (record == nullptr || record->kind != ControlKind::SpinBox) return;
    int low = std::min(record->minimum, record->maximum), high = std::max(record->minimum, record->maximum);
    record->value =
        static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(record->value) + step, low, high));
    postEvent(kEventControl, number, record->window, step > 0 ? kSpinUp : kSpinDown);
}

QToolButton* arrowButton(QWidget* parent, Qt::ArrowType arrow, int number, int step) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    QObject::connect(button, &QToolButton::clicked, [number, step, parent] {
        ControlRecord* record = findControl(number);
        if (record != nullptr && record->second == parent) stepSpinBox(number, step);
    });
    return button;
}

// The text field, then the arrow pair at its right: as wide as half the height, at least 18 pixels.
void placeSpinBox(QWidget* field, QWidget* arrows, int x, int y, int width, int height) {
    const int arrowsWidth = std::max(18, height / 2);
    field->setGeometry(x, y, std::max(0, width - arrowsWidth), height);
    arrows->setGeometry(x + std::max(0, width - arrowsWidth), y, arrowsWidth, height);
    const QList<QToolButton*> buttons = arrows->findChildren<QToolButton*>();
    if (buttons.size() != 2) return;
    buttons[0]->setGeometry(0, 0, arrowsWidth, height / 2);
    buttons[1]->setGeometry(0, height / 2, arrowsWidth, height - height / 2);
}

const CanvasEventData* currentCanvasData(int number) {
    if (eventKind() != kEventControl || eventControl() != number) return nullptr;
    return static_cast<const CanvasEventData*>(eventData());
}

}  // namespace

ControlRecord* findControl(int number) {
    auto found = controls.find(number);
    return found == controls.end() || found->second.main.isNull() ? nullptr : &found->second;
}

ControlRecord& addControl(int number, ControlKind kind, int window, QWidget* main, QWidget* second) {
    ControlRecord& record = controls[number];
    record = ControlRecord{};
    record.kind = kind;
    record.window = window;
    record.main = main;
    record.second = second;
    return record;
}

int createScrollBar(int number, int x, int y, int width, int height, int minimum, int maximum, int pageLength,
                    int vertical) {
    freeControl(number);
    const int window = currentParentWindow();
    QWidget* parent = windowClient(window);
    if (number < 0 || parent == nullptr) return 0;
    auto* bar = new ShellScrollBar(vertical != 0 ? Qt::Vertical : Qt::Horizontal, parent);
    bar->setGeometry(x, y, width, height);
    bar->setFocusPolicy(Qt::NoFocus);
    ControlRecord& record = addControl(number, ControlKind::ScrollBar, window, bar);
    record.minimum = minimum;
    record.maximum = maximum;
    record.pageLength = pageLength;
    applyScrollRange(record);
    {
        QuietChange quiet(bar);
        bar->setValue(minimum);
    }
    QObject::connect(bar, &QAbstractSlider::actionTriggered, [number, bar](int action) {
        if (controlHandle(number) == bar) scrollBarAction(number, action);
    });
    QObject::connect(bar, &QAbstractSlider::sliderReleased, [number, bar] {
        if (controlHandle(number) == bar) scrollBarAction(number, QAbstractSlider::SliderNoAction);
    });
    bar->show();
    return 1;
}

int createCheckBox(int number, int x, int y, int width, int height, const std::string& caption) {
    freeControl(number);
    const int window = currentParentWindow();
    QWidget* parent = windowClient(window);
    if (number < 0 || parent == nullptr) return 0;
    auto* box = new ShellCheckBox(toQString(caption), parent);
    box->setGeometry(x, y, width, height);
    box->setFocusPolicy(Qt::StrongFocus);
    addControl(number, ControlKind::CheckBox, window, box);
    QObject::connect(box, &QCheckBox::clicked, [number, window, box] {
        if (controlHandle(number) == box) postEvent(kEventControl, number, window, 0);
    });
    box->show();
    return 1;
}

int createSpinBox(int number, int x, int y, int width, int height, int minimum, int maximum) {
    freeControl(number);
    const int window = currentParentWindow();
    QWidget* parent = windowClient(window);
    if (number < 0 || parent == nullptr) return 0;
    auto* field = new SpinField(number, parent);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* arrows = new QWidget(parent);
    arrowButton(arrows, Qt::UpArrow, number, 1);
    arrowButton(arrows, Qt::DownArrow, number, -1);
    placeSpinBox(field, arrows, x, y, width, height);
    ControlRecord& record = addControl(number, ControlKind::SpinBox, window, field, arrows);
    record.minimum = minimum;
    record.maximum = maximum;
    QObject::connect(field, &QLineEdit::textEdited, [number, window, field] {
        if (controlHandle(number) == field) postEvent(kEventControl, number, window, kSpinTextChanged);
    });
    field->show();
    arrows->show();
    return 1;
}

void setToolTip(int number, const std::string& text) {
    if (ControlRecord* record = findControl(number)) record->main->setToolTip(toQString(text));
}

int getState(int number) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return 0;
    switch (record->kind) {
        case ControlKind::ScrollBar:
            return static_cast<QScrollBar*>(record->main.data())->value();
        case ControlKind::CheckBox: {
            Qt::CheckState state = static_cast<QCheckBox*>(record->main.data())->checkState();
            return state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? -1 : 0;
        }
        case ControlKind::SpinBox:
            return record->value;
        case ControlKind::Canvas:
            return 0;
    }
    return 0;
}

void setState(int number, int value) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return;
    QuietChange quiet(record->main);
    switch (record->kind) {
        case ControlKind::ScrollBar:
            static_cast<QScrollBar*>(record->main.data())->setValue(clampScrollPosition(*record, value));
            break;
        case ControlKind::CheckBox: {
            auto* box = static_cast<QCheckBox*>(record->main.data());
            box->setCheckState(record->threeState && value == -1 ? Qt::PartiallyChecked
                               : value != 0                      ? Qt::Checked
                                                                 : Qt::Unchecked);
            break;
        }
        case ControlKind::SpinBox:
            record->value = std::clamp(value, std::min(record->minimum, record->maximum),
                                       std::max(record->minimum, record->maximum));
            break;
        case ControlKind::Canvas:
            break;
    }
}

int getAttribute(int number, int which) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return 0;
    switch (record->kind) {
        case ControlKind::ScrollBar:
            return which == kScrollMinimum      ? record->minimum
                   : which == kScrollMaximum    ? record->maximum
                   : which == kScrollPageLength ? record->pageLength
                   : which == kScrollPageStep   ? record->pageStep
                                                : 0;
        case ControlKind::SpinBox:
            return which == kSpinMinimum ? record->minimum : which == kSpinMaximum ? record->maximum : 0;
        case ControlKind::Canvas:
            return canvasAttribute(number, which, currentCanvasData(number));
        case ControlKind::CheckBox:
            return 0;
    }
    return 0;
}

void setAttribute(int number, int which, int value) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return;
    switch (record->kind) {
        case ControlKind::ScrollBar:
            if (which == kScrollMinimum) record->minimum = value;
            if (which == kScrollMaximum) record->maximum = value;
            if (which == kScrollPageLength) record->pageLength = value;
            if (which == kScrollPageStep) record->pageStep = std::max(value, 0);
            if (which >= kScrollMinimum && which <= kScrollPageLength) applyScrollRange(*record);
            break;
        case ControlKind::SpinBox:
            if (which == kSpinMinimum) record->minimum = value;
            if (which == kSpinMaximum) record->maximum = value;
            break;
        case ControlKind::Canvas:
        case ControlKind::CheckBox:
            break;
    }
}

void setText(int number, const std::string& text) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return;
    QuietChange quiet(record->main);
    if (record->kind == ControlKind::SpinBox)
        static_cast<QLineEdit*>(record->main.data())->setText(toQString(text));
    if (record->kind == ControlKind::CheckBox)
        static_cast<QCheckBox*>(record->main.data())->setText(toQString(text));
}

std::string getText(int number) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return {};
    if (record->kind == ControlKind::SpinBox)
        return toStdString(static_cast<QLineEdit*>(record->main.data())->text());
    if (record->kind == ControlKind::CheckBox)
        return toStdString(static_cast<QCheckBox*>(record->main.data())->text());
    return {};
}

void setFocus(int number) {
    if (number == -1) {
        // The window itself keeps the keyboard, so its shortcuts still work.
        if (QWidget* focused = QApplication::focusWidget()) focused->window()->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (ControlRecord* record = findControl(number)) record->main->setFocus(Qt::OtherFocusReason);
}

// A control may be freed by a bound callback while Qt is still inside that control's input
// handling: the widget leaves its window at once and is deleted later. Its input no longer
// reaches the number, which may hold a new control by then.
static void discardWidget(QWidget* widget) {
    if (widget == nullptr) return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

void freeControl(int number) {
    auto found = controls.find(number);
    if (found == controls.end()) return;
    ControlRecord record = found->second;
    controls.erase(found);
    if (record.kind == ControlKind::Canvas) freeCanvasRecord(number);
    discardWidget(record.main.data());
    discardWidget(record.second.data());
}

void releaseControls(int window) {
    std::vector<int> numbers;
    for (const auto& [number, record] : controls) {
        if (window == -1 || record.window == window) numbers.push_back(number);
    }
    for (int number : numbers) freeControl(number);
}

void moveControl(int number, int x, int y, int width, int height) {
    ControlRecord* record = findControl(number);
    if (record == nullptr) return;
    if (record->kind == ControlKind::SpinBox && !record->second.isNull()) {
        placeSpinBox(record->main, record->second, x, y, width, height);
        return;
    }
    // A canvas takes its new size in its resize event.
    record->main->setGeometry(x, y, std::max(width, 1), std::max(height, 1));
}

void* controlHandle(int number) {
    ControlRecord* record = findControl(number);
    return record != nullptr ? record->main.data() : nullptr;
}

int controlWindow(int number) {
    ControlRecord* record = findControl(number);
    return record != nullptr ? record->window : -1;
}

void bindControlEvent(int control, void (*callback)()) {
    // A control not made yet will be made in the window that takes controls now.
    int window = controlWindow(control);
    bindEvent(window != -1 ? window : currentParentWindow(), control, callback);
}
