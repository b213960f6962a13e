#include "shell/canvas_widget.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "shell/control_table.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/shell_parts.h"
#include "shell/window_table.h"

namespace {

constexpr int kBorderWidth = 2;

int modifierBits(Qt::KeyboardModifiers modifiers) {
    int bits = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) bits |= kCanvasShift;
    if (modifiers.testFlag(Qt::AltModifier)) bits |= kCanvasAlt;
    if (modifiers.testFlag(Qt::ControlModifier)) bits |= kCanvasControl;
    return bits;
}

int buttonBits(Qt::MouseButtons buttons) {
    int bits = 0;
    if (buttons.testFlag(Qt::LeftButton)) bits |= kCanvasButtonLeft;
    if (buttons.testFlag(Qt::RightButton)) bits |= kCanvasButtonRight;
    if (buttons.testFlag(Qt::MiddleButton)) bits |= kCanvasButtonMiddle;
    return bits;
}

class CanvasWidget : public QWidget {
   public:
    CanvasWidget(int number, int flags, QWidget* parent) : QWidget(parent), number_(number), flags_(flags) {
        // Nothing is ever painted under the backing image.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
        setFocusPolicy((flags & kCanvasKeyboard) != 0 ? Qt::StrongFocus : Qt::NoFocus);
        setCursor(Qt::ArrowCursor);
    }

   protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        int inset = (flags_ & kCanvasBorder) != 0 ? kBorderWidth : 0;
        if (inset > 0) qDrawShadePanel(&painter, rect(), palette(), true, kBorderWidth);
        ImageHandle image = canvasImage(number_);
        if (image == nullptr) {
            painter.fillRect(rect().adjusted(inset, inset, -inset, -inset), Qt::white);
        } else {
            copyBackingImage(*image);
            painter.drawImage(QPoint(inset, inset), shown_);
        }
        if ((flags_ & kCanvasFocusFrame) != 0 && hasFocus()) {
            QPen dots(Qt::black, 1, Qt::DotLine);
            painter.setPen(dots);
            painter.drawRect(rect().adjusted(2, 2, -3, -3));
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        keepInside(event);
        message(CanvasMessage::Move, event);
    }
    void leaveEvent(QEvent*) override { message(CanvasMessage::Leave, pointerData()); }
    void mousePressEvent(QMouseEvent* event) override {
        buttonMessage(event, CanvasMessage::LeftDown, CanvasMessage::RightDown, CanvasMessage::MiddleDown);
    }
    // Qt delivers this instead of the second press.
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        buttonMessage(event, CanvasMessage::LeftDoubleClick, CanvasMessage::RightDoubleClick,
                      CanvasMessage::MiddleDown);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        buttonMessage(event, CanvasMessage::LeftUp, CanvasMessage::RightUp, CanvasMessage::MiddleUp);
    }
    void wheelEvent(QWheelEvent* event) override {
        if (isCurrent())
            canvasMessage(number_, CanvasMessage::Wheel, pointData(event), event->angleDelta().y());
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!isCurrent()) return;
        CanvasEventData data = pointerData();
        canvasMessage(number_, CanvasMessage::KeyDown, data,
                      virtualKeyFromQt(event->key(), event->modifiers()));
        for (QChar character : event->text()) {
            if (!isCurrent()) return;
            int code = character.unicode() <= 0xFF ? character.unicode() : '?';
            canvasMessage(number_, CanvasMessage::Character, data, code);
        }
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        if (event->isAutoRepeat() || !isCurrent()) return;
        canvasMessage(number_, CanvasMessage::KeyUp, pointerData(),
                      virtualKeyFromQt(event->key(), event->modifiers()));
    }
    void focusInEvent(QFocusEvent*) override {
        if (isCurrent()) canvasMessage(number_, CanvasMessage::FocusIn, pointerData());
        if ((flags_ & kCanvasFocusFrame) != 0) repaint();
    }
    void focusOutEvent(QFocusEvent*) override {
        if (isCurrent()) canvasMessage(number_, CanvasMessage::FocusOut, pointerData());
        if ((flags_ & kCanvasFocusFrame) != 0) repaint();
    }
    void resizeEvent(QResizeEvent* event) override {
        if (event->oldSize().isValid() && isCurrent()) resizeCanvas(number_, width(), height());
    }

   private:
    // The bottom-up blue-green-red rows become the top-down picture Qt draws.
    void copyBackingImage(const ImageBuffer& image) {
        if (shown_.width() != image.width || shown_.height() != image.height)
            shown_ = QImage(image.width, image.height, QImage::Format_RGB32);
        for (int y = 0; y < image.height; ++y) {
            const uint8_t* source = imageRow(image, y);
            auto* target = reinterpret_cast<uint32_t*>(shown_.scanLine(y));
            for (int x = 0; x < image.width; ++x, source += 3) {
                target[x] =
                    0xFF000000u | (uint32_t{source[2]} << 16) | (uint32_t{source[1]} << 8) | source[0];
            }
        }
    }

    // For messages without a position of their own: the pointer, buttons and modifiers now.
    CanvasEventData pointerData() const {
        CanvasEventData data;
        QPoint pointer = mapFromGlobal(QCursor::pos());
        data.mouseX = pointer.x();
        data.mouseY = pointer.y();
        data.buttons = buttonBits(QApplication::mouseButtons());
        data.modifiers = modifierBits(QApplication::keyboardModifiers());
        return data;
    }

    void message(CanvasMessage kind, const CanvasEventData& data) {
        if (isCurrent()) canvasMessage(number_, kind, data);
    }

    // The position, buttons and modifiers a mouse or wheel event carries.
    static CanvasEventData pointData(const QSinglePointEvent* event) {
        CanvasEventData data;
        QPointF position = event->position();
        data.mouseX = static_cast<int32_t>(std::floor(position.x()));
        data.mouseY = static_cast<int32_t>(std::floor(position.y()));
        data.buttons = buttonBits(event->buttons());
        data.modifiers = modifierBits(event->modifiers());
        return data;
    }

    void message(CanvasMessage kind, QMouseEvent* event) {
        if (isCurrent()) canvasMessage(number_, kind, pointData(event));
    }

    void buttonMessage(QMouseEvent* event, CanvasMessage left, CanvasMessage right, CanvasMessage middle) {
        if (event->button() == Qt::LeftButton) message(left, event);
        if (event->button() == Qt::RightButton) message(right, event);
        if (event->button() == Qt::MiddleButton) message(middle, event);
    }

    // While confined, the pointer is put back at the nearest point inside the canvas.
    void keepInside(QMouseEvent* event) {
        if (canvasAttribute(number_, 10, nullptr) == 0) return;
        QPoint position = event->position().toPoint();
        QPoint inside(std::clamp(position.x(), 0, width() - 1), std::clamp(position.y(), 0, height() - 1));
        if (inside != position) QCursor::setPos(mapToGlobal(inside));
    }

    // Still the canvas of its number: one that was freed or replaced reports nothing.
    bool isCurrent() const { return controlHandle(number_) == this; }

    int number_;
    int flags_;
    QImage shown_;
};

CanvasWidget* canvasWidget(int number) {
    ControlRecord* record = findControl(number);
    if (record == nullptr || record->kind != ControlKind::Canvas) return nullptr;
    return static_cast<CanvasWidget*>(record->main.data());
}

// Drawing ended: the new picture goes on screen now, not when the event loop runs again.
void repaintCanvasWidget(int number) {
    if (CanvasWidget* widget = canvasWidget(number)) widget->repaint();
}

void postCanvasEvent(int number, int type, CanvasEventData* data) {
    postEvent(kEventControl, number, controlWindow(number), type, data, releaseCanvasEventData);
}

void captureCanvasMouse(int number, int on, int confine) {
    setCanvasConfined(number, on != 0 && confine != 0);
}

}  // namespace

void installCanvasHooks() {
    CanvasHooks hooks;
    hooks.repaint = repaintCanvasWidget;
    hooks.post = postCanvasEvent;
    hooks.capture = captureCanvasMouse;
    setCanvasHooks(hooks);
}

int createCanvas(int number, int x, int y, int width, int height, int flags) {
    freeControl(number);
    int window = currentParentWindow();
    QWidget* parent = windowClient(window);
    if (number < 0 || parent == nullptr) return 0;
    int windowWidth = std::max(width, 1), windowHeight = std::max(height, 1);
    if (createCanvasRecord(number, windowWidth, windowHeight, flags) == 0) return 0;
    auto* widget = new CanvasWidget(number, flags, parent);
    widget->setGeometry(x, y, windowWidth, windowHeight);
    addControl(number, ControlKind::Canvas, window, widget);
    widget->show();
    return 1;
}

void applyCanvasCursor(int number, int cursor) {
    static const Qt::CursorShape kShapes[] = {
        Qt::ArrowCursor,     Qt::CrossCursor,     Qt::IBeamCursor,     Qt::PointingHandCursor,
        Qt::WaitCursor,      Qt::BusyCursor,      Qt::ForbiddenCursor, Qt::SizeAllCursor,
        Qt::SizeBDiagCursor, Qt::SizeFDiagCursor, Qt::SizeVerCursor,   Qt::SizeHorCursor,
        Qt::UpArrowCursor,   Qt::BlankCursor,     Qt::WhatsThisCursor,
    };
    CanvasWidget* widget = canvasWidget(number);
    if (widget == nullptr) return;
    bool known = cursor >= 0 && static_cast<size_t>(cursor) < std::size(kShapes);
    widget->setCursor(known ? kShapes[cursor] : Qt::ArrowCursor);
}
