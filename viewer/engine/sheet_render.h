// Drawing the byte view into the SheetImage (image 0): the checkerboard
// background and the decoded bytes laid out in rows and strips; and the
// arithmetic of the status line and of the mouse over the view.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/engine/view_limits.h"

constexpr int kSheetImage = 0;
constexpr int kViewWidth = 600;
constexpr int32_t kCheckerCyan = 0xFFFF00;

enum class SheetResult { Drawn, NothingLoaded, CannotDraw };

// The zooms of the view: 1, 2, 4 and 8.
bool isZoomStep(int zoom);

// Everything one render reads, taken once at its start.
struct SheetOptions {
    int64_t first;  // byteOffset + fineOffset
    int32_t bytesPerRow;
    int32_t zoom;
    int32_t colourMode;
    int32_t viewHeight;
    bool inverse;
    bool reverseByte;
    bool nibbleSwap;
    bool multiColumn;
};

SheetOptions currentSheetOptions();

// Byte column at and beyond which no further strip starts: 75, 75, 192, 80.
int byteColumnLimit(int mode);

// Background and bytes into image 0 inside beginDrawing/endDrawing.
// NothingLoaded: no data, nothing drawn. CannotDraw: image 0 is not a 24-bit
// image at most kViewWidth wide, the drawing context did not start or the
// state is outside its ranges; the image keeps its pixels. Writes the pixels
// straight into the image's buffer.
SheetResult drawSheet();

// byteOffset + fineOffset, the index of the first byte of the view.
int64_t viewFirstByte();

// The mouse position in view pixels: coordinate / zoom, toward zero.
int32_t mouseCell(int coordinate);

// Where the pointer lies in the layout, as drawn: the strip (the view x over the strip width),
// the view row within the strip (the view y over the unit height), the x in view units within
// the strip, and the view rows of a strip. Divisions truncate toward zero.
struct PointedByte {
    int64_t strip, row, unitX;
    int64_t rowsPerStrip;
};
PointedByte pointedByte(int mouseX, int mouseY);

// Index (from the first byte of the view) of the byte under the mouse: viewPointByte of the
// pointed view row and x (in the four byte-cell modes: the byte drawn there). Right of a row
// with multi columns off, or beyond the last strip, the same arithmetic names a byte that is
// not drawn.
int64_t mouseByteIndex(int mouseX, int mouseY);

// Bytes of one view row of the current mode and width: what one step of the row position moves.
int64_t viewRowBytes();

// The row position of that byte, which "jump here" puts at the top: the rows of the strips
// before it, plus its row within its strip, plus the row position.
int32_t jumpRowAt(int mouseX, int mouseY);

// "Disp=first,width=..,x=..,y=..,size=.." written by every render.
std::string statusTextForRender(int mouseX, int mouseY);
// "Disp:first,width=..,x=..,y=..,size:.." written by mouse moves.
std::string statusTextForMouseMove(int mouseX, int mouseY);
