#include "viewer/sheet_render.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "graphics/drawing.h"
#include "support/text_ops.h"
#include "viewer/pixel_decoding.h"
#include "viewer/viewer_state.h"

namespace {

constexpr int kBytesPerPixel = 3;

bool optionsInRange(const SheetOptions& options) {
    return options.bytesPerRow >= 1 && options.bytesPerRow <= kMaxBytesPerRow && options.zoom >= 1 &&
           options.zoom <= 8 && options.colourMode >= 0 && options.colourMode < kColourModeCount &&
           options.viewHeight >= 1 && options.viewHeight <= 32767 && options.first >= INT32_MIN &&
           options.first <= INT32_MAX;
}

int32_t checkerColour(int x, int y) {
    return ((x ^ y) & 1) ? kCheckerCyan : kColourBlack;
}

int rowsPerStrip(const SheetOptions& options) {
    return (options.viewHeight + options.zoom - 1) / options.zoom;
}

int stripCount(const SheetOptions& options) {
    if (!options.multiColumn) return 1;
    const int limit = byteColumnLimit(options.colourMode);
    return (limit + options.bytesPerRow - 1) / options.bytesPerRow;
}

// How many bytes the layout draws: every slot of its strips, but the loop
// ends after the last byte of the data and always draws at least one byte.
int64_t bytesToDraw(const SheetOptions& options) {
    const int64_t slots = int64_t{stripCount(options)} * options.bytesPerRow * rowsPerStrip(options);
    const int64_t untilDataEnd = std::max<int64_t>(1, int64_t{viewerState.dataSize} - options.first);
    return std::min(slots, untilDataEnd);
}

// ---- The reference: one fillBox per pixel.

void drawBackgroundByBoxes(const SheetOptions& options) {
    for (int y = 0; y <= options.viewHeight; ++y) {
        for (int x = 0; x < kViewWidth; ++x) fillBox(x, y, 1, 1, checkerColour(x, y));
    }
}

void drawBytesByBoxes(const SheetOptions& options) {
    const int limit = byteColumnLimit(options.colourMode);
    loadModePalette(options.colourMode);
    int64_t index = options.first;
    int stripStart = 0;
    int rowTop = 0;
    while (stripStart < limit) {
        for (int k = 1; k <= options.bytesPerRow; ++k) {
            // Every index drawn lies between first and the end of the data, so it fits 32 bits.
            const auto index32 = static_cast<int32_t>(index);
            drawByteCells(options.colourMode, viewByteValue(index32), index32, stripStart + k - 1, rowTop);
            ++index;
            if (index >= viewerState.dataSize) return;
        }
        rowTop += options.zoom;
        if (rowTop < options.viewHeight) continue;
        rowTop = 0;
        stripStart += options.bytesPerRow;
        if (!options.multiColumn) return;
    }
}

// ---- The direct writer for 24-bit targets: the same pixels, written as
// whole rows of prepared byte cells.

uint8_t* rowAddress(const DrawTarget& target, int y) {
    const int memoryRow = target.bottomUp ? target.height - 1 - y : y;
    return target.pixels + static_cast<ptrdiff_t>(memoryRow) * target.stride;
}

void storePixel(uint8_t* at, int32_t colour) {
    at[0] = static_cast<uint8_t>(colour >> 16);
    at[1] = static_cast<uint8_t>(colour >> 8);
    at[2] = static_cast<uint8_t>(colour);
}

void drawBackgroundDirect(const DrawTarget& target, const SheetOptions& options) {
    const int width = std::min(kViewWidth, target.width);
    const int height = std::min(options.viewHeight + 1, target.height);
    if (width <= 0) return;
    std::vector<uint8_t> rows[2];
    for (int parity = 0; parity < 2; ++parity) {
        rows[parity].resize(static_cast<size_t>(width) * kBytesPerPixel);
        for (int x = 0; x < width; ++x)
            storePixel(&rows[parity][x * kBytesPerPixel], checkerColour(x, parity));
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(rowAddress(target, y), rows[y & 1].data(), rows[y & 1].size());
}

// The screen pixels of one byte row of a cell, for every raw byte value and
// for the two kinds of bytes outside the data.
struct CellPatterns {
    int cellPixels = 0;
    int cellBytes = 0;
    int colourRows = 0;  // cell rows below these are black (Binary at zoom 8)
    std::vector<uint8_t> bytes;

    static constexpr int kBeforeData = 256;
    static constexpr int kPastData = 257;

    const uint8_t* entry(int which) const { return bytes.data() + static_cast<size_t>(which) * cellBytes; }
};

CellPatterns makeCellPatterns(const SheetOptions& options) {
    const ModeGeometry geometry = modeGeometry(options.colourMode);
    const bool binaryCells = options.colourMode == kModeBinary && options.zoom == 8;
    const int boxWidth = geometry.pixelWidth * options.zoom;
    CellPatterns patterns;
    patterns.cellPixels = geometry.unitsPerByte * options.zoom;
    patterns.cellBytes = patterns.cellPixels * kBytesPerPixel;
    patterns.colourRows = binaryCells ? 7 : options.zoom;
    patterns.bytes.resize(static_cast<size_t>(CellPatterns::kPastData + 1) * patterns.cellBytes);
    loadModePalette(options.colourMode);
    for (int which = 0; which <= CellPatterns::kPastData; ++which) {
        const bool inData = which < CellPatterns::kBeforeData;
        const uint8_t value =
            transformedByte(inData ? static_cast<uint8_t>(which) : 0, inData && options.inverse,
                            options.reverseByte, options.nibbleSwap);
        uint8_t* out = patterns.bytes.data() + static_cast<size_t>(which) * patterns.cellBytes;
        for (int j = 0; j < geometry.pixelsPerByte; ++j) {
            const int32_t colour =
                decodedPixelColour(options.colourMode, value, j, which == CellPatterns::kPastData);
            for (int p = 0; p < boxWidth; ++p) {
                const bool insetLine = binaryCells && p == boxWidth - 1;
                storePixel(out + (j * boxWidth + p) * kBytesPerPixel, insetLine ? kColourBlack : colour);
            }
        }
    }
    return patterns;
}

template <int kCellBytes>
void copyCellsFixed(uint8_t* out, const uint8_t* const* cells, int count) {
    for (int k = 0; k < count; ++k) std::memcpy(out + k * kCellBytes, cells[k], kCellBytes);
}

void copyCells(uint8_t* out, const uint8_t* const* cells, int count, int cellBytes) {
    switch (cellBytes) {
        case 6:
            copyCellsFixed<6>(out, cells, count);
            break;
        case 12:
            copyCellsFixed<12>(out, cells, count);
            break;
        case 24:
            copyCellsFixed<24>(out, cells, count);
            break;
        case 48:
            copyCellsFixed<48>(out, cells, count);
            break;
        case 96:
            copyCellsFixed<96>(out, cells, count);
            break;
        case 192:
            copyCellsFixed<192>(out, cells, count);
            break;
        default:
            for (int k = 0; k < count; ++k) std::memcpy(out + k * cellBytes, cells[k], cellBytes);
            break;
    }
}

// Bytes whose cells start at or beyond the right edge are only ever clipped,
// so the loop never visits them; the same goes for whole strips.
void drawBytesDirect(const DrawTarget& target, const SheetOptions& options) {
    const CellPatterns patterns = makeCellPatterns(options);
    const int width = target.width;
    if (width <= 0) return;
    const int visibleColumns = (width + patterns.cellPixels - 1) / patterns.cellPixels;
    const int wholeColumns = width / patterns.cellPixels;
    const int rows = rowsPerStrip(options);
    const int strips = stripCount(options);
    const int64_t count = bytesToDraw(options);
    const int64_t dataSize = viewerState.dataSize;
    const uint8_t* data = viewerState.dataBuffer;
    const int bytesPerRow = options.bytesPerRow;
    const uint8_t* cells[kMaxBytesPerRow];

    for (int strip = 0; strip < strips; ++strip) {
        const int stripStart = strip * bytesPerRow;
        if (stripStart >= visibleColumns) return;
        const int visibleInRow = std::min(bytesPerRow, visibleColumns - stripStart);
        for (int row = 0; row < rows; ++row) {
            const int64_t slot = (int64_t{strip} * rows + row) * bytesPerRow;
            if (slot >= count) return;
            const int drawn = static_cast<int>(std::min<int64_t>(visibleInRow, count - slot));
            const int whole = std::clamp(wholeColumns - stripStart, 0, drawn);
            for (int k = 0; k < drawn; ++k) {
                const int64_t index = options.first + slot + k;
                if (index < 0) {
                    cells[k] = patterns.entry(CellPatterns::kBeforeData);
                } else if (index >= dataSize) {
                    cells[k] = patterns.entry(CellPatterns::kPastData);
                } else {
                    cells[k] = patterns.entry(data[index]);
                }
            }
            const size_t rowBytes = static_cast<size_t>(drawn) * patterns.cellBytes;
            const size_t clippedBytes = std::min(
                rowBytes, static_cast<size_t>(width - stripStart * patterns.cellPixels) * kBytesPerPixel);
            const int rowTop = row * options.zoom;
            for (int cellRow = 0; cellRow < options.zoom; ++cellRow) {
                const int y = rowTop + cellRow;
                if (y >= target.height) break;
                uint8_t* out = rowAddress(target, y) + static_cast<size_t>(stripStart) * patterns.cellBytes;
                if (cellRow >= patterns.colourRows) {
                    std::memset(out, 0, clippedBytes);
                    continue;
                }
                copyCells(out, cells, whole, patterns.cellBytes);
                if (whole < drawn) {
                    const size_t done = static_cast<size_t>(whole) * patterns.cellBytes;
                    std::memcpy(out + done, cells[whole], clippedBytes - done);
                }
            }
        }
    }
}

SheetResult renderSheet(bool byBoxes) {
    if (viewerState.dataBuffer == nullptr) return SheetResult::NothingLoaded;
    const SheetOptions options = currentSheetOptions();
    if (!optionsInRange(options)) return SheetResult::CannotDraw;
    const DrawTarget target = imageTarget(kSheetImage);
    if (!beginDrawing(target)) return SheetResult::CannotDraw;
    if (byBoxes || target.bytesPerPixel != kBytesPerPixel) {
        drawBackgroundByBoxes(options);
        drawBytesByBoxes(options);
    } else {
        drawBackgroundDirect(target, options);
        drawBytesDirect(target, options);
    }
    endDrawing();
    return SheetResult::Drawn;
}

int zoomOrOne() {
    return viewerState.zoom >= 1 ? viewerState.zoom : 1;
}

std::string statusText(const char* dispLabel, const char* sizeLabel, int mouseX, int mouseY) {
    return dispLabel + decimalText(viewFirstByte()) + ",width=" + decimalText(viewerState.bytesPerRow) +
           ",x=" + decimalText(mouseCell(mouseX)) + ",y=" + decimalText(mouseCell(mouseY)) + sizeLabel +
           decimalText(mouseByteIndex(mouseX, mouseY));
}

}  // namespace

SheetOptions currentSheetOptions() {
    SheetOptions options;
    options.first = viewFirstByte();
    options.bytesPerRow = viewerState.bytesPerRow;
    options.zoom = viewerState.zoom;
    options.colourMode = viewerState.colourMode;
    options.viewHeight = viewerState.viewHeight;
    options.inverse = heldValue(HeldValue::Inverse) != 0;
    options.reverseByte = heldValue(HeldValue::ReverseByte) != 0;
    options.nibbleSwap = heldValue(HeldValue::NibbleSwap) != 0;
    options.multiColumn = heldValue(HeldValue::MultiColumn) != 0;
    return options;
}

int byteColumnLimit(int mode) {
    switch (mode) {
        case kModeBk:
            return 192;
        case kModeSam:
            return 80;
        default:
            return 75;
    }
}

SheetResult drawSheet() {
    return renderSheet(false);
}

SheetResult drawSheetByBoxes() {
    return renderSheet(true);
}

int64_t viewFirstByte() {
    return int64_t{viewerState.byteOffset} + heldValue(HeldValue::FineOffset);
}

int32_t mouseCell(int coordinate) {
    return coordinate / zoomOrOne();
}

void noteMousePosition(int mouseX, int mouseY) {
    viewerState.mouseCellX = mouseCell(mouseX);
    viewerState.mouseCellY = mouseCell(mouseY);
}

int64_t mouseByteIndex(int mouseX, int mouseY) {
    const int64_t zoom = zoomOrOne();
    const int64_t column = mouseX / (8 * zoom);
    const int64_t rows = viewerState.viewHeight / zoom;
    return column * rows + int64_t{mouseY} * viewerState.bytesPerRow / zoom;
}

int32_t jumpRowAt(int mouseX, int mouseY) {
    const int64_t bytesPerRow = viewerState.bytesPerRow >= 1 ? viewerState.bytesPerRow : 1;
    const int64_t row = mouseByteIndex(mouseX, mouseY) / bytesPerRow + heldValue(HeldValue::RowPosition);
    return static_cast<int32_t>(std::clamp<int64_t>(row, INT32_MIN, INT32_MAX));
}

std::string statusTextForRender(int mouseX, int mouseY) {
    return statusText("Disp=", ",size=", mouseX, mouseY);
}

std::string statusTextForMouseMove(int mouseX, int mouseY) {
    return statusText("Disp:", ",size:", mouseX, mouseY);
}
