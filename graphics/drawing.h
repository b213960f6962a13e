// One drawing context per thread, opened on an image or the canvas with beginDrawing and
// closed with endDrawing, and the primitives that write straight into its pixel buffer.
// Coordinates are pixels of the target, (0, 0) at the top-left; everything is clipped to
// the target.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/drawing_context.h"
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

// A line one pixel wide down a column, as a grid has many of.
struct ColumnLine {
    int x;
    int32_t colour;
};
// Draws `count` such lines from row `top` to row `bottom` (both included), clipped. Row by row,
// so that a tall target is walked once in memory order however many lines cross it; where two
// lines share a column the later one shows.
void drawColumnLines(const ColumnLine* lines, size_t count, int top, int bottom);
// drawImage, then on the rows the image covers the column lines, as drawColumnLines over those
// rows would draw them: each row gets its lines while it is in the cache, so a large target is
// walked once instead of twice.
void drawImageUnderColumnLines(ImageHandle image, int x, int y, const ColumnLine* lines, size_t count);

// Size of the open target, 0 x 0 when no context is open, so that callers can skip work
// that would be clipped away entirely.
inline int drawingWidth();
inline int drawingHeight();

// Boxes that are not a small box wholly on a 24-bit target.
void fillBoxGeneral(int x, int y, int width, int height, int32_t colour);

// Blue, green, red bytes of a colour value 0x00BBGGRR. Splitting the colour is cheaper than
// remembering the bytes of the last colour, so nothing is cached.
inline void writePixel(uint8_t* pixel, int32_t colour) {
    pixel[0] = static_cast<uint8_t>(colour >> 16);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour);
}

// The viewer draws every pixel of its view as one box, mostly of 1 x 1 to 8 x 8 pixels, so
// those are written right here when they lie wholly on a 24-bit target.
constexpr int kLargestInlineBox = 8;

inline void fillBox(int x, int y, int width, int height, int32_t colour) {
    const DrawingContext& context = drawingContext;
    // The unsigned compares also reject negative coordinates, and everything while no
    // context is open (its size is then 0 x 0).
    if (static_cast<uint32_t>(x) < static_cast<uint32_t>(context.inlineWidth) &&
        static_cast<uint32_t>(y) < static_cast<uint32_t>(context.height)) {
        uint8_t* pixel = context.topRow + y * context.rowStep + static_cast<int64_t>(x) * 3;
        if (width == 1 && height == 1) {
            writePixel(pixel, colour);
            return;
        }
        if (width > 0 && height > 0 && width <= kLargestInlineBox && height <= kLargestInlineBox &&
            width <= context.inlineWidth - x && height <= context.height - y) {
            for (int row = 0; row < height; ++row, pixel += context.rowStep)
                for (int column = 0; column < width; ++column) writePixel(pixel + 3 * column, colour);
            return;
        }
    }
    fillBoxGeneral(x, y, width, height, colour);
}

inline int drawingWidth() {
    return drawingContext.width;
}
inline int drawingHeight() {
    return drawingContext.height;
}
