// The reference for drawSheet: the same picture drawn as one fillBox per pixel (two for Binary at
// zoom 8), straight from the mode's geometry and decoders. Slow and plain on purpose.
#pragma once

#include <array>
#include <cstdint>

#include "graphics/drawing.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/sheet_render.h"

inline void referenceByteCells(const DataBytes& data, const SheetOptions& o) {
    const ModeGeometry g = modeGeometry(o.colourMode);
    int64_t index = o.first;
    for (int strip = 0, top = 0; strip < byteColumnLimit(o.colourMode, o.viewWidth);) {
        for (int k = 0; k < o.bytesPerRow; ++k, ++index) {
            const uint8_t value = viewByteValue(data, index, o.inverse, o.reverseByte, o.nibbleSwap);
            for (int j = 0; j < g.pixelsPerByte; ++j) {
                const int x = (g.unitsPerByte * (strip + k) + j * g.pixelWidth) * o.zoom;
                const int32_t colour = decodedPixelColour(o.colourMode, value, j, index >= data.size);
                // Binary at zoom 8: a black cell with the colour inset, a line right and below.
                const bool inset = o.colourMode == kModeBinary && o.zoom == 8;
                if (inset) fillBox(x, top, 8, 8, kColourBlack);
                fillBox(x, top, inset ? 7 : g.pixelWidth * o.zoom, inset ? 7 : o.zoom, colour);
            }
            if (index + 1 >= data.size) return;
        }
        top += o.zoom;
        if (top < o.viewHeight) continue;
        top = 0;
        strip += o.bytesPerRow;
        if (!o.multiColumn) return;
    }
}

inline void referenceUnits(const DataBytes& data, const SheetOptions& o) {
    const ModeRow& row = *modeRow(o.colourMode, o.addedModes);
    const ViewGeometry g = viewGeometry(o.colourMode, o.addedModes, o.bytesPerRow, o.zoom, o.viewHeight);
    const int64_t pixelScreenWidth = int64_t{row.pixelWidth} * o.zoom;
    const int64_t strips =
        o.multiColumn ? (o.viewWidth + g.stripWidth * o.zoom - 1) / (g.stripWidth * o.zoom) : 1;
    const int64_t viewPixels = (o.viewWidth + pixelScreenWidth - 1) / pixelScreenWidth;
    const int64_t unitPixels = g.unitWidth / row.pixelWidth;
    std::array<uint8_t, 256> transform;
    for (int v = 0; v < 256; ++v)
        transform[v] = transformedByte(static_cast<uint8_t>(v), o.inverse, o.reverseByte, o.nibbleSwap);
    uint8_t packed[2048];
    uint32_t values[2048];
    for (int64_t line = 0; line * o.zoom < o.viewHeight && line < g.rowsPerStrip * g.unitHeight; ++line) {
        for (int64_t s = 0; s < strips; ++s) {
            for (int64_t k = 0; k < g.unitsPerRow; ++k) {
                const int64_t firstPixel = (s * g.unitsPerRow + k) * unitPixels;
                const int64_t start =
                    o.first + (s * g.rowsPerStrip + line / g.unitHeight) * g.rowBytes + k * g.unitBytes;
                if (firstPixel >= viewPixels) break;
                if (start >= data.size || start + g.unitBytes <= 0) continue;
                const int pixels = static_cast<int>(std::min(unitPixels, viewPixels - firstPixel));
                const UnitBytes unit{data.bytes, data.size, transform.data(), start, o.bytesPerRow};
                const int y = static_cast<int>(line % g.unitHeight);
                if (row.wide) {
                    decodeWideRow(row, unit, y, pixels, values);
                } else {
                    decodeUnitRow(row, unit, y, pixels, packed);
                    for (int x = 0; x < pixels; ++x) values[x] = packedPixel(packed, x, row.packBits);
                }
                for (int x = 0; x < pixels; ++x)
                    fillBox(static_cast<int>((firstPixel + x) * pixelScreenWidth),
                            static_cast<int>(line * o.zoom), static_cast<int>(pixelScreenWidth), o.zoom,
                            unitValueColour(o, values[x]));
            }
        }
    }
}

// Draws the view into image kSheetImage: false when nothing could be drawn.
inline bool drawSheetByBoxes(const TestView& view) {
    if (!beginDrawing(imageTarget(kSheetImage))) return false;
    const SheetOptions& o = view.options;
    for (int y = 0; y <= o.viewHeight; ++y)
        for (int x = 0; x < o.viewWidth; ++x)
            fillBox(x, y, 1, 1, ((x ^ y) & 1) ? kCheckerCyan : kColourBlack);
    if (isByteCellMode(o.colourMode, o.addedModes)) {
        referenceByteCells(view.data(), o);
    } else {
        referenceUnits(view.data(), o);
    }
    endDrawing();
    return true;
}
