#include "viewer/engine/view_block.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "graphics/drawing.h"
#include "viewer/engine/pixel_decoding.h"

namespace {

int32_t zoomOrOne(const SheetOptions& options) {
    return options.zoom >= 1 ? options.zoom : 1;
}

}  // namespace

ViewGeometry sheetGeometry(const SheetOptions& options) {
    return viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow, zoomOrOne(options),
                        options.viewHeight);
}

ViewCell viewCellAt(const SheetOptions& options, int mouseX, int mouseY) {
    const PointedByte pointed =
        pointedByte(options, std::clamp(mouseX, 0, std::max(options.viewWidth - 1, 0)),
                    std::clamp(mouseY, 0, std::max(options.viewHeight - 1, 0)));
    return {static_cast<int32_t>(pointed.strip),
            static_cast<int32_t>(pointed.unitX / sheetGeometry(options).cellWidth),
            static_cast<int32_t>(pointed.row)};
}

int32_t viewRowsPerStrip(const SheetOptions& options) {
    return static_cast<int32_t>(std::max<int64_t>(sheetGeometry(options).rowsPerStrip, 1));
}

int32_t viewStripsShown(const SheetOptions& options) {
    if (!options.multiColumn) return 1;
    const ViewGeometry g = sheetGeometry(options);
    const int64_t zoom = zoomOrOne(options);
    const int64_t visibleUnits = (int64_t{options.viewWidth} + zoom - 1) / zoom;
    const int64_t visible = (visibleUnits + g.stripWidth - 1) / g.stripWidth;
    if (!isByteCellMode(options.colourMode, options.addedModes)) return static_cast<int32_t>(visible);
    const int64_t width = g.cellsPerRow;
    const int64_t drawn = (byteColumnLimit(options.colourMode, options.viewWidth) + width - 1) / width;
    return static_cast<int32_t>(std::min(drawn, visible));
}

int64_t lastWholeViewRow(const SheetOptions& options) {
    const ViewGeometry g = sheetGeometry(options);
    const int64_t zoom = zoomOrOne(options);
    const int64_t wholeRows = std::max<int64_t>(options.viewHeight / zoom / g.unitHeight, 1);
    int64_t wholeStrips = options.multiColumn ? options.viewWidth / zoom / g.stripWidth : 1;
    if (options.multiColumn && isByteCellMode(options.colourMode, options.addedModes))
        wholeStrips = std::min<int64_t>(
            wholeStrips, byteColumnLimit(options.colourMode, options.viewWidth) / g.cellsPerRow);
    return (std::max<int64_t>(wholeStrips, 1) - 1) * g.rowsPerStrip + wholeRows - 1;
}

int64_t viewRowsShown(const SheetOptions& options) {
    return int64_t{viewRowsPerStrip(options)} * viewStripsShown(options);
}

namespace {

// The corner's cell column moved into the anchor's strip.
int32_t cellInAnchorStrip(const SheetOptions& options, ViewCell anchor, ViewCell corner) {
    const int64_t cells = sheetGeometry(options).cellsPerRow;
    const int64_t column = (int64_t{corner.strip} - anchor.strip) * cells + corner.cellInRow;
    return static_cast<int32_t>(std::clamp<int64_t>(column, 0, cells - 1));
}

// A box of the picture; boxes always lie wholly inside it.
void fillPictureBox(const ImageBuffer& target, int64_t x, int64_t y, int width, int height, int32_t colour) {
    for (int row = 0; row < height; ++row) {
        uint8_t* pixel = imageRow(target, y + row) + x * 3;
        for (int column = 0; column < width; ++column) writePixel(pixel + 3 * column, colour);
    }
}

// Walks the block's units of a mode beyond the four, each cell a unit decoded row by row, and
// hands every pixel's box (x, y, width, height in picture pixels) and value to `box`.
template <typename Box>
void walkUnitBlock(const DataBytes& data, const SheetOptions& options, const ByteBlock& block,
                   const ViewGeometry& g, int zoom, Box box) {
    const ModeRow& row = *modeRow(options.colourMode, options.addedModes);
    const uint8_t* const transform =
        transformTable(options.inverse, options.reverseByte, options.nibbleSwap).data();
    const int pixels = static_cast<int>(g.cellWidth / row.pixelWidth);
    const int boxWidth = row.pixelWidth * zoom;
    // A unit row: a byte per pixel at most, and whole groups of 8 pixels; wide values 32 bits each.
    std::vector<uint8_t> packed(static_cast<size_t>(pixels) + 8);
    std::vector<uint32_t> values(row.wide ? static_cast<size_t>(pixels) : 0);
    for (int64_t r = 0; r < block.rows; ++r) {
        for (int64_t k = 0; k < block.bytes / g.cellBytes; ++k) {
            const UnitBytes unit{data.bytes, data.size, transform,
                                 block.first + r * block.stride + k * g.cellBytes, options.bytesPerRow};
            for (int y = 0; y < g.unitHeight; ++y) {
                if (row.wide) {
                    decodeWideRow(row, unit, y, pixels, values.data());
                } else {
                    decodeUnitRow(row, unit, y, pixels, packed.data());
                }
                const int64_t top = (r * g.unitHeight + y) * zoom;
                for (int x = 0; x < pixels; ++x)
                    box((k * pixels + x) * boxWidth, top, boxWidth, zoom,
                        row.wide ? values[x]
                                 : static_cast<uint32_t>(packedPixel(packed.data(), x, row.packBits)));
            }
        }
    }
}

void drawByteCellBlock(const DataBytes& data, const SheetOptions& options, const ByteBlock& block, int zoom,
                       const ImageBuffer& target) {
    const int mode = options.colourMode;
    const ModeGeometry geometry = modeGeometry(mode);
    const int boxWidth = geometry.pixelWidth * zoom;
    for (int64_t row = 0; row < block.rows; ++row) {
        for (int64_t k = 0; k < block.bytes; ++k) {
            // Every index lies below the data's end; those before the data all read as 0.
            const int64_t index = block.first + row * block.stride + k;
            const uint8_t value =
                viewByteValue(data, index, options.inverse, options.reverseByte, options.nibbleSwap);
            const int64_t x = k * geometry.unitsPerByte * zoom;
            const ByteColours colours = decodedByteColours(mode, value, false);
            for (int j = 0; j < colours.count; ++j)
                fillPictureBox(target, x + j * boxWidth, row * zoom, boxWidth, zoom, colours.pixel[j]);
        }
    }
}

}  // namespace

ViewCell blockTopLeft(const SheetOptions& options, ViewCell anchor, ViewCell corner) {
    return {anchor.strip, std::min(anchor.cellInRow, cellInAnchorStrip(options, anchor, corner)),
            std::min(anchor.row, corner.row)};
}

ByteBlock blockBetweenCells(const SheetOptions& options, ViewCell anchor, ViewCell corner) {
    const ViewGeometry g = sheetGeometry(options);
    const ViewCell topLeft = blockTopLeft(options, anchor, corner);
    const int64_t cells =
        std::abs(int64_t{cellInAnchorStrip(options, anchor, corner)} - anchor.cellInRow) + 1;
    const int64_t rows = std::abs(int64_t{corner.row} - anchor.row) + 1;
    const int64_t viewRow = int64_t{topLeft.strip} * g.rowsPerStrip + topLeft.row;
    const int64_t first = options.first + viewRow * g.rowBytes + topLeft.cellInRow * g.cellBytes;
    return {first, cells * g.cellBytes, g.rowBytes, rows};
}

PictureSize blockPictureSize(const SheetOptions& options, int64_t dataSize, const ByteBlock& block,
                             int zoom) {
    const int64_t end = byteBlockEnd(block);
    if (end == INT64_MAX || end > dataSize || zoom < 1 || zoom > 8) return {0, 0};
    if (options.colourMode < 0 || options.colourMode >= modeCount(options.addedModes) ||
        options.bytesPerRow < 1 || options.bytesPerRow > kMaxBytesPerRow)
        return {0, 0};
    const ViewGeometry g = viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow, zoom, 1);
    if (block.bytes % g.cellBytes != 0) return {0, 0};
    const int64_t width = block.bytes / g.cellBytes * g.cellWidth * zoom;
    const int64_t height = block.rows * g.unitHeight * zoom;
    if (width < 1 || height < 1 || width > kLargestImageSide || height > kLargestImageSide) return {0, 0};
    return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

bool drawBlockPicture(const DataBytes& data, const SheetOptions& options, const ByteBlock& block, int zoom,
                      const ImageBuffer& target) {
    const PictureSize size = blockPictureSize(options, data.size, block, zoom);
    if (size.width == 0 || target.pixels == nullptr || target.depth != 24 || target.width != size.width ||
        target.height != size.height || target.stride < rowLength(target.width, 24))
        return false;
    if (isByteCellMode(options.colourMode, options.addedModes)) {
        drawByteCellBlock(data, options, block, zoom, target);
    } else {
        walkUnitBlock(data, options, block,
                      viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow, zoom, 1),
                      zoom, [&](int64_t x, int64_t y, int width, int height, uint32_t value) {
                          fillPictureBox(target, x, y, width, height, unitValueColour(options, value));
                      });
    }
    return true;
}

bool showsPaletteValues(int mode, const AddedModes* added) {
    const ModeRow* row = modeRow(mode, added);
    return row != nullptr && row->layout != ModeLayout::ByteCells && row->bits >= 1 && row->bits <= 8 &&
           !row->record->directColours;
}

bool drawBlockValues(const DataBytes& data, const SheetOptions& options, const ByteBlock& block, int zoom,
                     IndexedPicture& picture) {
    if (!showsPaletteValues(options.colourMode, options.addedModes)) return false;
    const PictureSize size = blockPictureSize(options, data.size, block, zoom);
    if (size.width == 0) return false;
    const int bits = modeRow(options.colourMode, options.addedModes)->bits;
    try {
        picture.values.assign(static_cast<size_t>(int64_t{size.width} * size.height), 0);
        picture.colours.resize(size_t{1} << bits);
    } catch (const std::bad_alloc&) {
        return false;
    }
    picture.width = size.width;
    picture.height = size.height;
    picture.bits = bits;
    for (int v = 0; v < (1 << bits); ++v) picture.colours[v] = unitValueColour(options, v);
    walkUnitBlock(data, options, block,
                  viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow, zoom, 1), zoom,
                  [&](int64_t x, int64_t y, int width, int height, int value) {
                      for (int64_t row = y; row < y + height; ++row)
                          std::fill_n(picture.values.begin() + row * size.width + x, width,
                                      static_cast<uint8_t>(value));
                  });
    return true;
}

int drawBlockImage(int number, const DataBytes& data, const SheetOptions& options, const ByteBlock& block,
                   int zoom) {
    const PictureSize size = blockPictureSize(options, data.size, block, zoom);
    if (size.width == 0 || !createImage(number, size.width, size.height)) return 0;
    if (!drawBlockPicture(data, options, block, zoom, *imageBuffer(number))) {
        freeImage(number);
        return 0;
    }
    return 1;
}

std::string dollarHexText(int64_t value) {
    char digits[24];
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::snprintf(digits, sizeof digits, "%04" PRIX64, magnitude);
    return (value < 0 ? "-$" : "$") + std::string(digits);
}

namespace {

constexpr size_t kNameShown = 18;

std::string shortName(const std::string& name) {
    if (name.size() <= kNameShown) return name;
    constexpr size_t kEnd = kNameShown / 2 - 1;
    return name.substr(0, kNameShown - kEnd - 3) + "..." + name.substr(name.size() - kEnd);
}

}  // namespace

std::string placeStatusText(const SheetOptions& options, int64_t dataSize, const std::string& fileName,
                            int mouseX, int mouseY) {
    std::string text = shortName(fileName) + ", " + std::to_string(dataSize) + " bytes";
    if (!pointsAtDrawnByte(options, dataSize, mouseX, mouseY)) return text;
    const int64_t byte = options.first + mouseByteIndex(options, mouseX, mouseY);
    if (byte < 0) return text;  // the zeros drawn before the data
    text += " | byte " + std::to_string(byte) + " " + dollarHexText(byte);
    if (options.multiColumn)
        text += " | strip " + std::to_string(pointedByte(options, mouseX, mouseY).strip + 1);
    return text;
}

std::vector<GridLine> cellGridLines(const SheetOptions& options, bool across) {
    const ModeRow* row = modeRow(options.colourMode, options.addedModes);
    const ViewGeometry g = sheetGeometry(options);
    const int64_t zoom = zoomOrOne(options);
    const bool tiled = row != nullptr && row->layout == ModeLayout::Tiled;
    const int64_t eight = across ? 8 * int64_t{row != nullptr ? row->pixelWidth : 1} : 8;
    const int64_t tile = across ? g.unitWidth : g.unitHeight;
    const int64_t cell = tiled ? std::min(tile, eight) : eight;
    const int64_t major = tiled && tile > cell ? tile : 8 * cell;
    // Down the view there is one strip as high as the view.
    const int64_t end = across ? options.viewWidth : options.viewHeight;
    const int64_t strip = across ? g.stripWidth : (end + zoom - 1) / zoom + 1;
    std::vector<GridLine> lines;
    for (int64_t start = 0; start * zoom <= end; start += strip)
        for (int64_t unit = 0; unit < strip && (start + unit) * zoom <= end; unit += cell)
            lines.push_back({static_cast<int32_t>((start + unit) * zoom), unit % major == 0});
    return lines;
}
