// One drawing context per thread, opened on an image or the canvas with beginDrawing and
// closed with endDrawing, and the primitives that write straight into its pixel buffer.
// Coordinates are pixels of the target, (0, 0) at the top-left; everything is clipped to
// the target.
#pragma once

#include <cstdint>

#include "graphics/images.h"

// Where a drawing context draws. pixels == nullptr means "no target".
struct DrawTarget {
    uint8_t* pixels = nullptr;
    int32_t stride = 0, width = 0, height = 0, bytesPerPixel = 3;
    bool bottomUp = true;
    void (*onEnd)(int owner) = nullptr;  // run by endDrawing, e.g. to show the new pixels
    int owner = -1;
};

// The target of image `number`; no target when the number is free.
DrawTarget imageTarget(int number);

// Opens the drawing context: non-zero on success; 0 for no target, a target whose sizes do
// not describe a buffer, or while another context is open (which then stays open).
int beginDrawing(const DrawTarget& target);

// Closes the context and runs the target's onEnd; does nothing when none is open.
void endDrawing();

// Defined inline below.
inline void fillBox(int x, int y, int width, int height, int32_t colour);
void drawLine(int x1, int y1, int x2, int y2, int32_t colour);
void drawImage(ImageHandle image, int x, int y);

// Size of the open target, 0 x 0 when no context is open, so that callers can skip work
// that would be clipped away entirely.
inline int drawingWidth();
inline int drawingHeight();

// Called when a pixel buffer is released: a context drawing into it is closed (without
// its onEnd), so nothing is ever written into freed memory.
void forgetDrawingOn(const uint8_t* pixels);

// The state of the open context. It lives here only so that the cheap cases of fillBox can
// be inlined into the caller's loops; use the functions above.
struct DrawingContext {
    uint8_t* pixels = nullptr;  // the buffer as handed to beginDrawing
    uint8_t* topRow = nullptr;  // first byte of picture row 0
    int64_t rowStep = 0;        // bytes from picture row y to row y + 1 (negative when bottom-up)
    int64_t bufferBytes = 0;
    int32_t width = 0, height = 0;  // both 0 while no context is open
    int32_t bytesPerPixel = 3;
    int32_t colour = 0;                    // last colour used ...
    uint8_t blue = 0, green = 0, red = 0;  // ... and its bytes
    bool open = false;
    void (*onEnd)(int owner) = nullptr;
    int owner = -1;
};

extern thread_local constinit DrawingContext drawingContext;

// Boxes that are not a single visible pixel.
void fillBoxGeneral(int x, int y, int width, int height, int32_t colour);

inline void useDrawingColour(DrawingContext& context, int32_t colour) {
    if (colour == context.colour) return;
    context.colour = colour;
    context.blue = static_cast<uint8_t>(colour >> 16);
    context.green = static_cast<uint8_t>(colour >> 8);
    context.red = static_cast<uint8_t>(colour);
}

inline void fillBox(int x, int y, int width, int height, int32_t colour) {
    DrawingContext& context = drawingContext;
    // The unsigned compares also reject negative coordinates, and everything while no
    // context is open (its size is then 0 x 0).
    if (width == 1 && height == 1 && static_cast<uint32_t>(x) < static_cast<uint32_t>(context.width) &&
        static_cast<uint32_t>(y) < static_cast<uint32_t>(context.height)) {
        useDrawingColour(context, colour);
        uint8_t* pixel =
            context.topRow + y * context.rowStep + static_cast<int64_t>(x) * context.bytesPerPixel;
        pixel[0] = context.blue;
        pixel[1] = context.green;
        pixel[2] = context.red;
        return;
    }
    fillBoxGeneral(x, y, width, height, colour);
}

inline int drawingWidth() {
    return drawingContext.width;
}
inline int drawingHeight() {
    return drawingContext.height;
}
