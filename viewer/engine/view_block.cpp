#include "viewer/engine/view_block.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "graphics/drawing.h"
#include "graphics/images.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/viewer_state.h"

namespace {

int32_t zoomOrOne() {
    return viewerState.zoom >= 1 ? viewerState.zoom : 1;
}

}  // namespace

ViewGeometry currentViewGeometry() {
    return viewGeometry(viewerState.colourMode, viewerState.bytesPerRow, zoomOrOne(), viewerState.viewHeight);
}

ViewCell viewCellAt(int mouseX, int mouseY) {
    const PointedByte pointed = pointedByte(std::clamp(mouseX, 0, kViewWidth - 1),
                                            std::clamp(mouseY, 0, std::max(viewerState.viewHeight - 1, 0)));
    return {static_cast<int32_t>(pointed.strip),
            static_cast<int32_t>(pointed.unitX / currentViewGeometry().cellWidth),
            static_cast<int32_t>(pointed.row)};
}

int32_t viewRowsPerStrip() {
    return static_cast<int32_t>(std::max<int64_t>(currentViewGeometry().rowsPerStrip, 1));
}

int32_t viewStripsShown() {
    if (!heldValue(HeldValue::MultiColumn)) return 1;
    const ViewGeometry g = currentViewGeometry();
    const int64_t visibleUnits = (kViewWidth + zoomOrOne() - 1) / zoomOrOne();
    const int64_t visible = (visibleUnits + g.stripWidth - 1) / g.stripWidth;
    if (!isByteCellMode(viewerState.colourMode)) return static_cast<int32_t>(visible);
    const int64_t width = g.cellsPerRow;
    const int64_t drawn = (byteColumnLimit(viewerState.colourMode) + width - 1) / width;
    return static_cast<int32_t>(std::min(drawn, visible));
}

namespace {

// The corner's cell column moved into the anchor's strip.
int32_t cellInAnchorStrip(ViewCell anchor, ViewCell corner) {
    const int64_t cells = currentViewGeometry().cellsPerRow;
    const int64_t column = (int64_t{corner.strip} - anchor.strip) * cells + corner.cellInRow;
    return static_cast<int32_t>(std::clamp<int64_t>(column, 0, cells - 1));
}

// Draws the block's units of a mode beyond the four: each cell a unit decoded row by row.
void drawUnitBlock(const ByteBlock& block, const ViewGeometry& g, int zoom) {
    const int mode = viewerState.colourMode;
    const ModeRow& row = *modeRow(mode);
    const uint8_t* const transform =
        transformTable(heldValue(HeldValue::Inverse) != 0, heldValue(HeldValue::ReverseByte) != 0,
                       heldValue(HeldValue::NibbleSwap) != 0)
            .data();
    const int pixels = static_cast<int>(g.cellWidth / row.pixelWidth);
    const int boxWidth = row.pixelWidth * zoom;
    uint8_t packed[4096];  // a unit row: at most 2048 pixels of 4 bits, or 256 of 8
    for (int64_t r = 0; r < block.rows; ++r) {
        for (int64_t k = 0; k < block.bytes / g.cellBytes; ++k) {
            const UnitBytes unit{viewerState.dataBuffer, viewerState.dataSize, transform,
                                 block.first + r * block.stride + k * g.cellBytes, viewerState.bytesPerRow};
            for (int y = 0; y < g.unitHeight; ++y) {
                row.decode(unit, y, pixels, packed);
                const int top = static_cast<int>((r * g.unitHeight + y) * zoom);
                for (int x = 0; x < pixels; ++x)
                    fillBox(static_cast<int>((k * pixels + x) * boxWidth), top, boxWidth, zoom,
                            modePixelColour(mode, packedPixel(packed, x, row.packBits)));
            }
        }
    }
}

void drawByteCellBlock(const ByteBlock& block, int zoom) {
    const int mode = viewerState.colourMode;
    const ModeGeometry geometry = modeGeometry(mode);
    loadModePalette(mode);
    const int boxWidth = geometry.pixelWidth * zoom;
    for (int64_t row = 0; row < block.rows; ++row) {
        for (int64_t k = 0; k < block.bytes; ++k) {
            const int64_t index = block.first + row * block.stride + k;
            // Every index lies below dataSize; those before the data all read as 0.
            const uint8_t value = viewByteValue(static_cast<int32_t>(std::max<int64_t>(index, -1)));
            const int x = static_cast<int>(k * geometry.unitsPerByte * zoom);
            for (int j = 0; j < geometry.pixelsPerByte; ++j) {
                fillBox(x + j * boxWidth, static_cast<int>(row * zoom), boxWidth, zoom,
                        decodedPixelColour(mode, value, j, false));
            }
        }
    }
}

}  // namespace

ViewCell blockTopLeft(ViewCell anchor, ViewCell corner) {
    return {anchor.strip, std::min(anchor.cellInRow, cellInAnchorStrip(anchor, corner)),
            std::min(anchor.row, corner.row)};
}

ByteBlock blockBetweenCells(ViewCell anchor, ViewCell corner) {
    const ViewGeometry g = currentViewGeometry();
    const ViewCell topLeft = blockTopLeft(anchor, corner);
    const int64_t cells = std::abs(int64_t{cellInAnchorStrip(anchor, corner)} - anchor.cellInRow) + 1;
    const int64_t rows = std::abs(int64_t{corner.row} - anchor.row) + 1;
    const int64_t viewRow = int64_t{topLeft.strip} * g.rowsPerStrip + topLeft.row;
    const int64_t first = viewFirstByte() + viewRow * g.rowBytes + topLeft.cellInRow * g.cellBytes;
    return {first, cells * g.cellBytes, g.rowBytes, rows};
}

int drawBlockImage(int number, const ByteBlock& block, int zoom) {
    const int64_t end = byteBlockEnd(block);
    if (end == INT64_MAX || end > viewerState.dataSize || zoom < 1 || zoom > 8) return 0;
    const ViewGeometry g = viewGeometry(viewerState.colourMode, viewerState.bytesPerRow, zoom, 1);
    if (block.bytes % g.cellBytes != 0) return 0;
    const int64_t width = block.bytes / g.cellBytes * g.cellWidth * zoom;
    const int64_t height = block.rows * g.unitHeight * zoom;
    if (width < 1 || height < 1 || width > kLargestImageSide || height > kLargestImageSide) return 0;
    if (!createImage(number, static_cast<int>(width), static_cast<int>(height))) return 0;
    if (!beginDrawing(imageTarget(number))) {
        freeImage(number);
        return 0;
    }
    if (isByteCellMode(viewerState.colourMode)) {
        drawByteCellBlock(block, zoom);
    } else {
        drawUnitBlock(block, g, zoom);
    }
    endDrawing();
    return 1;
}

std::string dollarHexText(int64_t value) {
    char digits[24];
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::snprintf(digits, sizeof digits, "%04" PRIX64, magnitude);
    return (value < 0 ? "-$" : "$") + std::string(digits);
}

bool sameViewAsSelection() {
    const ViewSelection& made = viewerState.selection;
    return made.viewFirst == viewFirstByte() && made.bytesPerRow == viewerState.bytesPerRow &&
           made.zoom == viewerState.zoom && made.colourMode == viewerState.colourMode &&
           made.multiColumn == heldValue(HeldValue::MultiColumn) && made.data == viewerState.dataBuffer;
}

void noteSelectionView() {
    ViewSelection& made = viewerState.selection;
    made.viewFirst = viewFirstByte();
    made.bytesPerRow = viewerState.bytesPerRow;
    made.zoom = viewerState.zoom;
    made.colourMode = viewerState.colourMode;
    made.multiColumn = heldValue(HeldValue::MultiColumn);
    made.data = viewerState.dataBuffer;
}

ByteBlock selectedBlock() {
    return blockBetweenCells(viewerState.selection.anchor, viewerState.selection.corner);
}
