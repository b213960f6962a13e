// Drawing the byte view into a 24-bit image: the checkerboard background and the decoded
// bytes laid out in rows and strips; and the arithmetic of the status line and of the mouse
// over the view. Every function takes what it reads as arguments.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/images.h"
#include "viewer/engine/data_bytes.h"
#include "viewer/engine/palettes.h"
#include "viewer/engine/pixel_kernel_tables.h"
#include "viewer/engine/view_limits.h"

struct AddedModes;

// The view's width at the start, and of every view that names no other.
constexpr int kViewWidth = 600;
// The view's height at the start, and of every view that names no other.
constexpr int kStartViewHeight = 512;
constexpr int32_t kCheckerCyan = 0xFFFF00;

enum class SheetResult { Drawn, NothingLoaded, CannotDraw };

// The zooms of the view: 1, 2, 4 and 8.
bool isZoomStep(int zoom);

// The options of one render: where the view starts and how its bytes are laid out and decoded.
struct SheetOptions {
    int64_t first;  // the first byte of the view; may lie before or past the data
    int32_t bytesPerRow;
    int32_t zoom;
    int32_t colourMode;
    int32_t viewHeight;
    bool inverse;
    bool reverseByte;
    bool nibbleSwap;
    bool multiColumn;
    // The kernels that draw it: the fastest this machine runs, unless the program chose others at
    // start (nullptr: the portable ones).
    const PixelKernels* kernels = &fastestPixelKernels();
    // The view's width in screen pixels, 1..kLargestViewSide: where multi columns stop and where
    // the pointer can lie. The image drawn into is as wide.
    int32_t viewWidth = kViewWidth;
    // The colours of the formats beyond the four classic modes: value v shows colour base + v of
    // the palette (black past its end); nullptr: the format's own colours.
    const Palette* palette = nullptr;
    int32_t paletteBase = 0;
    // The formats added from files, modes kModeTableSize and on (nullptr: none).
    const AddedModes* addedModes = nullptr;
};

// The palette chosen for the format's values: none where its values are colours themselves.
const Palette* paletteInUse(const SheetOptions& options);

// The colour that value v of a format beyond the four classic modes shows: from the palette
// chosen, else the format's own.
int32_t unitValueColour(const SheetOptions& options, uint32_t value);

// Byte column at and beyond which no further strip starts: 75, 75, 192, 80 in a view 600
// pixels wide; a wider or narrower view scales it with its width, rounded up.
int byteColumnLimit(int mode, int viewWidth);

// The background and the bytes of `data` into `target` (bottom-up rows), written straight
// into its pixels. NothingLoaded: no data (bytes nullptr), nothing drawn. CannotDraw: the
// target is not a 24-bit image at most kLargestViewSide wide, or the options or the size are outside
// their ranges; the image keeps its pixels.
SheetResult drawSheet(const DataBytes& data, const SheetOptions& options, const ImageBuffer& target);

// The mouse position in view pixels: coordinate / zoom, toward zero (a zoom below 1 counts as 1,
// as in all the pointer arithmetic below).
int32_t mouseCell(const SheetOptions& options, int coordinate);

// Where the pointer lies in the layout, as drawn: the strip (the view x over the strip width),
// the view row within the strip (the view y over the unit height), the x in view units within
// the strip, and the view rows of a strip. Divisions truncate toward zero.
struct PointedByte {
    int64_t strip, row, unitX;
    int64_t rowsPerStrip;
};
PointedByte pointedByte(const SheetOptions& options, int mouseX, int mouseY);

// Index (from the first byte of the view) of the byte under the mouse: viewPointByte of the
// pointed view row and x (in the four byte-cell modes: the byte drawn there). Right of a row
// with multi columns off, or beyond the last strip, the same arithmetic names a byte that is
// not drawn.
int64_t mouseByteIndex(const SheetOptions& options, int mouseX, int mouseY);

// Whether the pointer lies on what the render draws for a byte (in the other modes, for the
// tile or row holding it) of data of dataSize bytes: not on the checkerboard beside the strips
// drawn, before the data or past its end, nor outside the view.
bool pointsAtDrawnByte(const SheetOptions& options, int64_t dataSize, int mouseX, int mouseY);

// Bytes of one view row of the mode and width: what one step of the row position moves.
int64_t viewRowBytes(int mode, const AddedModes* added, int bytesPerRow);

// The row position of that byte, which "jump here" puts at the top: the rows of the strips
// before it, plus its row within its strip, plus the row position of the view.
int64_t jumpRowAt(const SheetOptions& options, int64_t rowPosition, int mouseX, int mouseY);

// "Disp=first,width=..,x=..,y=..,size=.." written by every render; without ",size=.." where
// the pointer lies on no drawn byte (pointsAtDrawnByte).
std::string statusTextForRender(const SheetOptions& options, int64_t dataSize, int mouseX, int mouseY);
// "Disp:first,width=..,x=..,y=..,size:.." written by mouse moves, alike.
std::string statusTextForMouseMove(const SheetOptions& options, int64_t dataSize, int mouseX, int mouseY);
