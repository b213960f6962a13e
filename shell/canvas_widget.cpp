#include "shell/canvas_widget.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QTransform>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "shell/control_table.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/qt_image.h"
#include "shell/shell_parts.h"
#include "shell/window_table.h"

namespace {

int buttonBits(Qt::MouseButtons buttons) {
    int bits = 0;
    if (buttons.testFlag(Qt::LeftButton)) bits |= kCanvasButtonLeft;
    if (buttons.testFlag(Qt::RightButton)) bits |= kCanvasButtonRight;
    if (buttons.testFlag(Qt::MiddleButton)) bits |= kCanvasButtonMiddle;
    return bits;
}

class CanvasWidget : public QWidget {
   public:
    CanvasWidget(int number, QWidget* parent) : QWidget(parent), number_(number) {
        // Nothing is ever painted under the backing image.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::ArrowCursor);
    }

   protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        ImageHandle image = canvasImage(number_);
        if (image != nullptr && paintStraightIntoWindow(painter, *image, event->rect())) return;
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (image == nullptr) {
            painter.fillRect(rect(), Qt::white);
        } else {
            copyBackingImage(*image);
            painter.drawImage(QPoint(0, 0), shown_);
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override { message(CanvasMessage::Move, event); }
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
    void resizeEvent(QResizeEvent* event) override {
        if (event->oldSize().isValid() && isCurrent()) resizeCanvas(number_, width(), height());
    }

   private:
    // When Qt paints the window into a 32-bit picture at scale 1 (its backing store, as a rule),
    // the canvas goes straight into that picture: a copy of the whole view less per frame. Else
    // (a grab into a pixmap, a scaled screen) it is drawn as a picture of its own.
    static bool paintStraightIntoWindow(QPainter& painter, const ImageBuffer& image, const QRect& dirty) {
        QPaintDevice* device =
            painter.paintEngine() != nullptr ? painter.paintEngine()->paintDevice() : nullptr;
        const QTransform toDevice = painter.deviceTransform();
        if (device == nullptr || device->devType() != QInternal::Image ||
            toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::floor(toDevice.dx()) ||
            toDevice.dy() != std::floor(toDevice.dy()))
            return false;
        const QPoint offset(-static_cast<int>(toDevice.dx()), -static_cast<int>(toDevice.dy()));
        auto* surface = static_cast<QImage*>(device);
        if ((surface->format() != QImage::Format_RGB32 &&
             surface->format() != QImage::Format_ARGB32_Premultiplied) ||
            surface->devicePixelRatio() != 1.0)
            return false;
        const QRect area = dirty & QRect(0, 0, image.width, image.height);
        const QRect placed = area.translated(-offset);
        if (area.isEmpty() || !surface->rect().contains(placed)) return false;
        copyToRgb32(image, area, surface->scanLine(placed.top()) + 4 * placed.left(),
                    surface->bytesPerLine());
        return true;
    }

    // The bottom-up blue-green-red rows become the top-down picture Qt draws.
    void copyBackingImage(const ImageBuffer& image) { copyToQImage(image, shown_); }

    // For messages without a position of their own: the pointer and buttons now.
    CanvasEventData pointerData() const {
        CanvasEventData data;
        QPoint pointer = mapFromGlobal(QCursor::pos());
        data.mouseX = pointer.x();
        data.mouseY = pointer.y();
        data.buttons = buttonBits(QApplication::mouseButtons());
        return data;
    }

    void message(CanvasMessage kind, const CanvasEventData& data) {
        if (isCurrent()) canvasMessage(number_, kind, data);
    }

    // The position and buttons a mouse or wheel event carries.
    static CanvasEventData pointData(const QSinglePointEvent* event) {
        CanvasEventData data;
        QPointF position = event->position();
        data.mouseX = static_cast<int32_t>(std::floor(position.x()));
        data.mouseY = static_cast<int32_t>(std::floor(position.y()));
        data.buttons = buttonBits(event->buttons());
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

    // Still the canvas of its number: one that was freed or replaced reports nothing.
    bool isCurrent() const { return controlHandle(number_) == this; }

    int number_;
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

}  // namespace

void installCanvasHooks() {
    CanvasHooks hooks;
    hooks.repaint = repaintCanvasWidget;
    hooks.post = postCanvasEvent;
    setCanvasHooks(hooks);
}

int createCanvas(int number, int x, int y, int width, int height) {
    freeControl(number);
    int window = currentParentWindow();
    QWidget* parent = windowClient(window);
    if (number < 0 || parent == nullptr) return 0;
    int windowWidth = std::max(width, 1), windowHeight = std::max(height, 1);
    if (createCanvasRecord(number, windowWidth, windowHeight) == 0) return 0;
    auto* widget = new CanvasWidget(number, parent);
    widget->setGeometry(x, y, windowWidth, windowHeight);
    addControl(number, ControlKind::Canvas, window, widget);
    widget->show();
    return 1;
}
