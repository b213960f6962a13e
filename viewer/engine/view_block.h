// Rectangles of bytes cut out of the data: where a pointer over the view falls, the block of
// bytes between two such places, and the picture of a block at any zoom.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/engine/data_buffer.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/viewer_state.h"

// The view's geometry for the current mode, width, zoom and height.
ViewGeometry currentViewGeometry();

// The cell under canvas pixel (mouseX, mouseY) as pointedByte finds it, the position first
// moved into the view: its strip, its cell within the strip's view row (a byte in the four
// byte-cell modes, a tile in a tiled mode, the whole row in a linear mode) and its view row.
ViewCell viewCellAt(int mouseX, int mouseY);

// View rows of one strip, and the strips that are drawn.
int32_t viewRowsPerStrip();
int32_t viewStripsShown();

// The bytes of the rectangle with the two cells as corners, in the first cell's strip (the
// second is moved into it): per view row, the cells' bytes; the stride is the view row's bytes.
ByteBlock blockBetweenCells(ViewCell anchor, ViewCell corner);

// The top-left cell of that rectangle.
ViewCell blockTopLeft(ViewCell anchor, ViewCell corner);

// The bytes between the selection's anchor and corner.
ByteBlock selectedBlock();

// Notes the view the selection is made on: its first byte, width, zoom, mode, columns and data.
void noteSelectionView();
// Whether the view is still the one noted.
bool sameViewAsSelection();

// A picture of the block in image `number`: its pixels only, every view unit as zoom x zoom
// pixels, decoded in the current colour mode and width with the display options; bytes before
// the data are 0. Its rows are view rows and its bytes whole cells: (block.bytes / cell bytes)
// x cell width x zoom wide, block.rows x unit height x zoom high. Non-zero on success; 0 (and
// no image) for a block reaching past the data, of part cells, or a picture too large.
int drawBlockImage(int number, const ByteBlock& block, int zoom);

// "$" and at least four upper-case hexadecimal digits; "-$..." below zero.
std::string dollarHexText(int64_t value);
