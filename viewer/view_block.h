// Rectangles of bytes cut out of the data: where a pointer over the view falls, the block of
// bytes between two such places, and the picture of a block at any zoom.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/data_buffer.h"
#include "viewer/viewer_state.h"

// The cell under canvas pixel (mouseX, mouseY) as pointedByte finds it, the position first
// moved into the view.
ViewCell viewCellAt(int mouseX, int mouseY);

// Rows of one strip, and the strips whose first byte column lies left of the right edge.
int32_t viewRowsPerStrip();
int32_t viewStripsShown();

// The bytes of the rectangle with the two cells as corners, in the first cell's strip (the
// second is moved into it).
ByteBlock blockBetweenCells(ViewCell anchor, ViewCell corner);

// The top-left cell of that rectangle.
ViewCell blockTopLeft(ViewCell anchor, ViewCell corner);

// A picture of the block in image `number`: its pixels only, every view unit as zoom x zoom
// pixels, decoded in the current colour mode with the display options; bytes before the data
// are 0. block.bytes x units per byte x zoom wide, block.rows x zoom high. Non-zero on success;
// 0 (and no image) for a block reaching past the data or a picture too large.
int drawBlockImage(int number, const ByteBlock& block, int zoom);

// "$" and at least four upper-case hexadecimal digits; "-$..." below zero.
std::string dollarHexText(int64_t value);
