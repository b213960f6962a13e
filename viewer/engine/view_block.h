// Rectangles of bytes cut out of the data: where a pointer over the view falls, the block of
// bytes between two such places, and the picture of a block at any zoom. The view is the one
// the options describe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/sheet_render.h"

// A place in the view as the layout draws it: the strip (from the left), the cell within
// that strip's view row (a byte, a tile, or a whole linear row), and the view row (from the top).
struct ViewCell {
    int32_t strip;
    int32_t cellInRow;
    int32_t row;
};

// The view's geometry for the options' mode, width, zoom (below 1: 1) and height.
ViewGeometry sheetGeometry(const SheetOptions& options);

// The cell under canvas pixel (mouseX, mouseY) as pointedByte finds it, the position first
// moved into the view: its strip, its cell within the strip's view row (a byte in the four
// byte-cell modes, a tile in a tiled mode, the whole row in a linear mode) and its view row.
ViewCell viewCellAt(const SheetOptions& options, int mouseX, int mouseY);

// View rows of one strip, and the strips that are drawn.
int32_t viewRowsPerStrip(const SheetOptions& options);
int32_t viewStripsShown(const SheetOptions& options);
// The view rows on screen, strip after strip: what a page moves.
int64_t viewRowsShown(const SheetOptions& options);

// The view row, counted from the view's first across the strips, of the last row shown whole:
// the last whole row of the last strip drawn whole (at least the first row of the first strip).
int64_t lastWholeViewRow(const SheetOptions& options);

// The bytes of the rectangle with the two cells as corners, in the first cell's strip (the
// second is moved into it): per view row, the cells' bytes; the stride is the view row's bytes.
ByteBlock blockBetweenCells(const SheetOptions& options, ViewCell anchor, ViewCell corner);

// The top-left cell of that rectangle.
ViewCell blockTopLeft(const SheetOptions& options, ViewCell anchor, ViewCell corner);

// The size of the picture of the block: every view unit as zoom x zoom pixels, its rows view
// rows and its bytes whole cells: (block.bytes / cell bytes) x cell width x zoom wide,
// block.rows x unit height x zoom high. 0 x 0 for a block reaching past the data, of part
// cells, or a picture too large.
struct PictureSize {
    int32_t width, height;
};
PictureSize blockPictureSize(const SheetOptions& options, int64_t dataSize, const ByteBlock& block, int zoom);

// The picture of the block, decoded in the options' colour mode and width with their byte
// transforms (bytes before the data are 0), into a 24-bit target of blockPictureSize. False,
// and nothing drawn, when that size is 0 x 0 or the target is not of it.
bool drawBlockPicture(const DataBytes& data, const SheetOptions& options, const ByteBlock& block, int zoom,
                      const ImageBuffer& target);

// Whether the mode's pixel values are colour numbers that a palette PNG can keep: not the four
// byte-cell modes, values of at most 8 bits, and not direct colours.
bool showsPaletteValues(int mode, const AddedModes* added);

// The picture of the block as drawBlockPicture draws it, but as the pixels' values, with the
// colours values 0..2^bits-1 show (the palette from the options' base, black past its end, or
// the format's own). False for a mode that does not show palette values, where
// drawBlockPicture would draw nothing, or without the memory.
bool drawBlockValues(const DataBytes& data, const SheetOptions& options, const ByteBlock& block, int zoom,
                     IndexedPicture& picture);

// That picture made as image `number`. Non-zero on success; 0 (and no image) otherwise.
int drawBlockImage(int number, const DataBytes& data, const SheetOptions& options, const ByteBlock& block,
                   int zoom);

// "$" and at least four upper-case hexadecimal digits; "-$..." below zero.
std::string dollarHexText(int64_t value);

// The status bar's second field: the file's name (its middle cut when long) and size; over a
// drawn byte (pointsAtDrawnByte) that byte's offset in the file in decimal and "$hex", and with
// multi columns the number of its strip, counted from 1.
std::string placeStatusText(const SheetOptions& options, int64_t dataSize, const std::string& fileName,
                            int mouseX, int mouseY);

// The grid of a mode of another machine, in canvas pixels at the options' zoom: the lines
// across the view (`across`: the x of each vertical line) or down it (the y of each horizontal
// one). Lines lie on the cells of the format: tile edges, or every 8 of its pixels in a linear
// mode and inside tiles larger than that; they start again at every strip. Major lines: strip
// edges, tile edges that have cells inside, or else every 8th cell.
struct GridLine {
    int32_t at;
    bool major;
};
std::vector<GridLine> cellGridLines(const SheetOptions& options, bool across);
