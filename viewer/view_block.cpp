#include "viewer/view_block.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "graphics/drawing.h"
#include "graphics/images.h"
#include "viewer/pixel_decoding.h"
#include "viewer/sheet_render.h"
#include "viewer/viewer_state.h"

namespace {

int32_t zoomOrOne() {
    return viewerState.zoom >= 1 ? viewerState.zoom : 1;
}

int32_t bytesPerRowOrOne() {
    return viewerState.bytesPerRow >= 1 ? viewerState.bytesPerRow : 1;
}

int32_t unitsPerByte() {
    return modeGeometry(viewerState.colourMode).unitsPerByte;
}

}  // namespace

ViewCell viewCellAt(int mouseX, int mouseY) {
    const PointedByte pointed = pointedByte(std::clamp(mouseX, 0, kViewWidth - 1),
                                            std::clamp(mouseY, 0, std::max(viewerState.viewHeight - 1, 0)));
    return {static_cast<int32_t>(pointed.strip), static_cast<int32_t>(pointed.byte),
            static_cast<int32_t>(pointed.row)};
}

int32_t viewRowsPerStrip() {
    return std::max(viewerState.viewHeight / zoomOrOne(), 1);
}

int32_t viewStripsShown() {
    if (!heldValue(HeldValue::MultiColumn)) return 1;
    const int32_t width = bytesPerRowOrOne();
    const int32_t drawn = (byteColumnLimit(viewerState.colourMode) + width - 1) / width;
    const int32_t cellPixels = unitsPerByte() * zoomOrOne();
    const int32_t visibleColumns = (kViewWidth + cellPixels - 1) / cellPixels;
    return std::min(drawn, (visibleColumns + width - 1) / width);
}

namespace {

// The corner's byte column moved into the anchor's strip.
int32_t byteInAnchorStrip(ViewCell anchor, ViewCell corner) {
    const int32_t width = bytesPerRowOrOne();
    const int64_t column = (int64_t{corner.strip} - anchor.strip) * width + corner.byteInRow;
    return static_cast<int32_t>(std::clamp<int64_t>(column, 0, width - 1));
}

}  // namespace

ViewCell blockTopLeft(ViewCell anchor, ViewCell corner) {
    return {anchor.strip, std::min(anchor.byteInRow, byteInAnchorStrip(anchor, corner)),
            std::min(anchor.row, corner.row)};
}

ByteBlock blockBetweenCells(ViewCell anchor, ViewCell corner) {
    const int64_t width = bytesPerRowOrOne();
    const ViewCell topLeft = blockTopLeft(anchor, corner);
    const int64_t bytes = std::abs(int64_t{byteInAnchorStrip(anchor, corner)} - anchor.byteInRow) + 1;
    const int64_t rows = std::abs(int64_t{corner.row} - anchor.row) + 1;
    const int64_t first = viewFirstByte() + topLeft.strip * width * viewRowsPerStrip() + topLeft.row * width +
                          topLeft.byteInRow;
    return {first, bytes, width, rows};
}

int drawBlockImage(int number, const ByteBlock& block, int zoom) {
    const int64_t end = byteBlockEnd(block);
    if (end == INT64_MAX || end > viewerState.dataSize || zoom < 1 || zoom > 8) return 0;
    const int mode = viewerState.colourMode;
    const ModeGeometry geometry = modeGeometry(mode);
    const int64_t width = block.bytes * geometry.unitsPerByte * zoom;
    const int64_t height = block.rows * zoom;
    if (width < 1 || height < 1 || width > kLargestImageSide || height > kLargestImageSide) return 0;
    if (!createImage(number, static_cast<int>(width), static_cast<int>(height))) return 0;
    if (!beginDrawing(imageTarget(number))) {
        freeImage(number);
        return 0;
    }
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
    endDrawing();
    return 1;
}

std::string dollarHexText(int64_t value) {
    char digits[24];
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::snprintf(digits, sizeof digits, "%04" PRIX64, magnitude);
    return (value < 0 ? "-$" : "$") + std::string(digits);
}
