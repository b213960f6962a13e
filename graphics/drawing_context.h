// The drawing context of the thread, apart from the primitives that draw through it, so that
// the image table can close a context whose pixels it frees without depending on drawing.
#pragma once

#include <cstdint>

// The state of the open context. It lives here only so that the cheap cases of fillBox can
// be inlined into the caller's loops; use the functions of drawing.h.
struct DrawingContext {
    uint8_t* pixels = nullptr;  // the buffer as handed to beginDrawing
    uint8_t* topRow = nullptr;  // first byte of picture row 0
    int64_t rowStep = 0;        // bytes from picture row y to row y + 1 (negative when bottom-up)
    int64_t bufferBytes = 0;
    int32_t width = 0, height = 0;  // both 0 while no context is open
    int32_t bytesPerPixel = 3;
    int32_t inlineWidth = 0;  // the width on a 24-bit target, else 0: the inlined cases need 3 bytes a pixel
    bool open = false;
    void (*onEnd)(int owner) = nullptr;
    int owner = -1;
};

// Per thread, like the event queue: the only two pieces of state that are.
extern thread_local constinit DrawingContext drawingContext;

// Called when a pixel buffer is released: a context drawing into it is closed (without
// its onEnd), so nothing is ever written into freed memory.
inline void forgetDrawingOn(const uint8_t* pixels) {
    if (drawingContext.open && drawingContext.pixels == pixels) drawingContext = DrawingContext{};
}
