#include "graphics/canvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>

namespace {

struct CanvasRecord {
    int windowWidth = 1, windowHeight = 1;
    ImageBuffer image{};  // 24-bit, bottom-up, white at creation
    bool pointerInside = false;
    bool captured = false;
};

std::map<int, std::unique_ptr<CanvasRecord>> canvases;
CanvasHooks hooks;
int wheelTotal = 0;

CanvasRecord* findCanvas(int number) {
    auto found = canvases.find(number);
    return found == canvases.end() ? nullptr : found->second.get();
}

int imageSide(int windowSide) {
    return std::clamp(windowSide, 1, kLargestImageSide);
}

ImageBuffer makeWhiteImage(int width, int height) {
    return makeImageBuffer(width, height, 24, rgb(255, 255, 255));
}

void repaintCanvas(int number) {
    if (hooks.repaint != nullptr && findCanvas(number) != nullptr) hooks.repaint(number);
}

void post(int number, int type, const CanvasEventData& data) {
    if (hooks.post == nullptr) return;
    CanvasEventData* record = new (std::nothrow) CanvasEventData(data);
    if (record != nullptr) hooks.post(number, type, record);
}

// A button went down; `bit` is its bit in data.buttons, which already includes it.
void buttonDown(int number, CanvasRecord& canvas, const CanvasEventData& data, int bit, int type) {
    if (data.buttons == bit) canvas.captured = true;
    post(number, type, data);
}

// A button went up; clickType < 0 for a button without clicks. The click needs the release
// point inside the whole window and the mouse captured by this canvas.
// A posted event runs the bound callbacks, which may free the canvas: the record is looked up
// again after each post.
void buttonUp(int number, const CanvasRecord& canvas, const CanvasEventData& data, int upType,
              int clickType) {
    bool inside = data.mouseX >= 0 && data.mouseX < canvas.windowWidth && data.mouseY >= 0 &&
                  data.mouseY < canvas.windowHeight;
    bool click = clickType >= 0 && inside && canvas.captured;
    post(number, upType, data);
    if (click) post(number, clickType, data);
    CanvasRecord* still = findCanvas(number);
    if (still != nullptr && data.buttons == 0) still->captured = false;
}

void wheel(int number, const CanvasEventData& data, int delta) {
    int64_t total = static_cast<int64_t>(wheelTotal) + delta;
    int64_t steps = total / 120;
    wheelTotal = static_cast<int>(total - steps * 120);
    if (steps != 0) post(number, kCanvasWheel, data);
}

void canvasDrawingEnded(int owner) {
    repaintCanvas(owner);
}

}  // namespace

void releaseCanvasEventData(void* data) {
    delete static_cast<CanvasEventData*>(data);
}

void setCanvasHooks(const CanvasHooks& newHooks) {
    hooks = newHooks;
}

int createCanvasRecord(int number, int windowWidth, int windowHeight) {
    freeCanvasRecord(number);
    if (number < 0) return 0;
    auto canvas = std::unique_ptr<CanvasRecord>(new (std::nothrow) CanvasRecord);
    if (!canvas) return 0;
    canvas->windowWidth = windowWidth;
    canvas->windowHeight = windowHeight;
    canvas->image = makeWhiteImage(imageSide(windowWidth), imageSide(windowHeight));
    if (canvas->image.pixels == nullptr) return 0;
    canvases[number] = std::move(canvas);
    return 1;
}

void freeCanvasRecord(int number) {
    if (number == -1) {
        for (auto& entry : canvases) releaseImageBuffer(entry.second->image);
        canvases.clear();
        return;
    }
    auto found = canvases.find(number);
    if (found == canvases.end()) return;
    releaseImageBuffer(found->second->image);
    canvases.erase(found);
}

ImageHandle canvasImage(int number) {
    CanvasRecord* canvas = findCanvas(number);
    return canvas != nullptr && canvas->image.pixels != nullptr ? &canvas->image : nullptr;
}

DrawTarget canvasTarget(int number) {
    DrawTarget target;
    CanvasRecord* canvas = findCanvas(number);
    if (canvas == nullptr || canvas->image.pixels == nullptr) return target;
    target.pixels = canvas->image.pixels;
    target.stride = canvas->image.stride;
    target.width = canvas->image.width;
    target.height = canvas->image.height;
    target.bytesPerPixel = 3;
    target.bottomUp = true;
    target.onEnd = canvasDrawingEnded;
    target.owner = number;
    return target;
}

int resizeCanvas(int number, int windowWidth, int windowHeight) {
    CanvasRecord* canvas = findCanvas(number);
    if (canvas == nullptr) return 0;
    ImageBuffer resized = makeWhiteImage(imageSide(windowWidth), imageSide(windowHeight));
    if (resized.pixels == nullptr) return 0;
    ImageBuffer& old = canvas->image;
    int rows = std::min(old.height, resized.height);
    size_t rowBytes = static_cast<size_t>(std::min(old.width, resized.width)) * 3;
    for (int y = 0; y < rows; ++y) std::memcpy(imageRow(resized, y), imageRow(old, y), rowBytes);
    releaseImageBuffer(old);
    canvas->image = resized;
    canvas->windowWidth = windowWidth;
    canvas->windowHeight = windowHeight;
    repaintCanvas(number);
    return 1;
}

void canvasMessage(int number, CanvasMessage message, const CanvasEventData& data, int value) {
    CanvasRecord* canvas = findCanvas(number);
    if (canvas == nullptr) return;
    switch (message) {
        case CanvasMessage::Move: {
            bool wasInside = canvas->pointerInside;
            canvas->pointerInside = true;
            post(number, wasInside ? kCanvasMouseMove : kCanvasMouseEnter, data);
            break;
        }
        case CanvasMessage::Leave:
            // Leaving is only reported after a move made the pointer known inside.
            if (!canvas->pointerInside) break;
            canvas->pointerInside = false;
            post(number, kCanvasMouseLeave, data);
            break;
        case CanvasMessage::LeftDown:
            buttonDown(number, *canvas, data, kCanvasButtonLeft, kCanvasLeftButtonDown);
            break;
        case CanvasMessage::RightDown:
            buttonDown(number, *canvas, data, kCanvasButtonRight, kCanvasRightButtonDown);
            break;
        case CanvasMessage::MiddleDown:
            buttonDown(number, *canvas, data, kCanvasButtonMiddle, kCanvasMiddleButtonDown);
            break;
        case CanvasMessage::LeftDoubleClick:
            buttonDown(number, *canvas, data, kCanvasButtonLeft, kCanvasLeftButtonDown);
            if (findCanvas(number) != nullptr) post(number, kCanvasLeftDoubleClick, data);
            break;
        case CanvasMessage::RightDoubleClick:
            buttonDown(number, *canvas, data, kCanvasButtonRight, kCanvasRightButtonDown);
            if (findCanvas(number) != nullptr) post(number, kCanvasRightDoubleClick, data);
            break;
        case CanvasMessage::LeftUp:
            buttonUp(number, *canvas, data, kCanvasLeftButtonUp, kCanvasLeftClick);
            break;
        case CanvasMessage::RightUp:
            buttonUp(number, *canvas, data, kCanvasRightButtonUp, kCanvasRightClick);
            break;
        case CanvasMessage::MiddleUp:
            buttonUp(number, *canvas, data, kCanvasMiddleButtonUp, -1);
            break;
        case CanvasMessage::Wheel:
            wheel(number, data, value);
            break;
    }
}

int canvasAttribute(int number, int which, const CanvasEventData* current) {
    if (findCanvas(number) == nullptr || current == nullptr) return 0;
    switch (which) {
        case kCanvasMouseX:
            return current->mouseX;
        case kCanvasMouseY:
            return current->mouseY;
        case kCanvasButtons:
            return current->buttons;
        default:
            return 0;
    }
}

void resetCanvasWheel() {
    wheelTotal = 0;
}
