// The canvas: a child window of the shell that owns a 24-bit backing image, shows it
// unchanged and reports mouse activity as control events. This part
// is the plain logic (record table, backing image, drawing target, event data and the
// rules that turn input into event types); the window itself lives in shell/ and is
// connected through setCanvasHooks.
#pragma once

#include <cstdint>

#include "graphics/drawing.h"
#include "graphics/images.h"

// Event types a canvas posts with its control events.
constexpr int kCanvasLeftClick = 0;
constexpr int kCanvasRightClick = 1;
constexpr int kCanvasLeftDoubleClick = 2;
constexpr int kCanvasRightDoubleClick = 3;
constexpr int kCanvasMouseEnter = 0x10001;
constexpr int kCanvasMouseLeave = 0x10002;
constexpr int kCanvasMouseMove = 0x10003;
constexpr int kCanvasLeftButtonDown = 0x10004;
constexpr int kCanvasLeftButtonUp = 0x10005;
constexpr int kCanvasRightButtonDown = 0x10006;
constexpr int kCanvasRightButtonUp = 0x10007;
constexpr int kCanvasMiddleButtonDown = 0x10008;
constexpr int kCanvasMiddleButtonUp = 0x10009;
constexpr int kCanvasWheel = 0x1000A;  // one event for each message that completes a step of 120

// Bits of CanvasEventData::buttons.
constexpr int kCanvasButtonLeft = 1, kCanvasButtonRight = 2, kCanvasButtonMiddle = 4;

// Attached to every canvas event. Mouse x and y are relative to the canvas's top-left
// corner (outside its size while the mouse is captured).
struct CanvasEventData {
    int32_t mouseX = 0, mouseY = 0, buttons = 0;
};

// Releases a CanvasEventData handed out with a posted event.
void releaseCanvasEventData(void* data);

// What the window reports to the canvas logic; the shell fills `data` with the pointer
// position and buttons at the time of the message.
enum class CanvasMessage {
    Move,
    Leave,
    LeftDown,
    LeftDoubleClick,  // the second press of a double click
    LeftUp,
    RightDown,
    RightDoubleClick,  // the second press of a double click
    RightUp,
    MiddleDown,
    MiddleUp,
    Wheel,  // value: the wheel delta, 120 per notch
};

// Connections to the window layer. post hands over a fresh data record (release it with
// releaseCanvasEventData).
struct CanvasHooks {
    void (*repaint)(int number) = nullptr;
    void (*post)(int number, int type, CanvasEventData* data) = nullptr;
};
void setCanvasHooks(const CanvasHooks& hooks);

// Makes the record and its white backing image for a window of windowWidth x windowHeight
// (a number in use is freed first). Non-zero on success; on failure the number is free.
int createCanvasRecord(int number, int windowWidth, int windowHeight);

// Releases the record and its backing image; -1 releases every canvas.
void freeCanvasRecord(int number);

// The backing image, nullptr when the number is not a canvas.
ImageHandle canvasImage(int number);

// Drawing target on the backing image whose endDrawing repaints the canvas at once; no
// target (pixels == nullptr) when the number is not a canvas.
DrawTarget canvasTarget(int number);

// A new white backing image for the new window size with the old picture copied in at
// (0, 0); the canvas is then repainted. Non-zero on success; on failure the old image stays.
int resizeCanvas(int number, int windowWidth, int windowHeight);

// Turns one message of the canvas window into its events, in order, through hooks.post.
void canvasMessage(int number, CanvasMessage message, const CanvasEventData& data, int value = 0);

// Attributes of a canvas: those of the current event; none is settable.
constexpr int kCanvasMouseX = 2, kCanvasMouseY = 3, kCanvasButtons = 4;

// getAttribute on a canvas: `current` is the data record of the current event when that
// event is a control event of this canvas, else nullptr (the attributes then read 0).
int canvasAttribute(int number, int which, const CanvasEventData* current);

// Forgets the wheel deltas not yet posted.
void resetCanvasWheel();
