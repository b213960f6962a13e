#include "viewer/engine/sheet_render.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "graphics/drawing.h"
#include "graphics/images.h"
#include "support/text_ops.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_decoding.h"
#include "viewer/engine/pixel_kernel_tables.h"
#include "viewer/engine/vector_lanes.h"
#include "viewer/engine/wide_colours.h"

bool isZoomStep(int zoom) {
    return zoom == 1 || zoom == 2 || zoom == 4 || zoom == 8;
}

namespace {

bool optionsInRange(const SheetOptions& options) {
    return options.bytesPerRow >= 1 && options.bytesPerRow <= kMaxBytesPerRow && isZoomStep(options.zoom) &&
           options.colourMode >= 0 && options.colourMode < modeCount(options.addedModes) &&
           options.viewHeight >= 1 && options.viewHeight <= 32767 && options.viewWidth >= 1 &&
           options.viewWidth <= kLargestViewSide && options.first >= -kLargestDataSize &&
           options.first <= kLargestDataSize;
}

int32_t checkerColour(int x, int y) {
    return ((x ^ y) & 1) ? kCheckerCyan : kColourBlack;
}

int rowsPerStrip(const SheetOptions& options) {
    return (options.viewHeight + options.zoom - 1) / options.zoom;
}

int stripCount(const SheetOptions& options) {
    if (!options.multiColumn) return 1;
    const int limit = byteColumnLimit(options.colourMode, options.viewWidth);
    return (limit + options.bytesPerRow - 1) / options.bytesPerRow;
}

// How many bytes the layout draws: every slot of its strips, but the loop
// ends after the last byte of the data and always draws at least one byte.
int64_t bytesToDraw(const SheetOptions& options, int64_t dataSize) {
    const int64_t slots = int64_t{stripCount(options)} * options.bytesPerRow * rowsPerStrip(options);
    const int64_t untilDataEnd = std::max<int64_t>(1, dataSize - options.first);
    return std::min(slots, untilDataEnd);
}

// ---- The direct writer for 24-bit images. Every pixel line is first decoded into one byte
// per pixel of the mode (a value), then the values of its runs are expanded into screen bytes
// and stored into every image row the line covers; the checkerboard fills around the runs.

// The two rows of the checkerboard, as wide as the widest view; made once.
struct CheckerPattern {
    uint8_t rows[2][kLargestViewSide * kScreenPixelBytes];

    CheckerPattern() {
        for (int parity = 0; parity < 2; ++parity) {
            for (int x = 0; x < kLargestViewSide; ++x)
                writePixel(&rows[parity][x * kScreenPixelBytes], checkerColour(x, parity));
        }
    }
};

// The checkerboard cut to the width of the target.
struct CheckerRows {
    const uint8_t (*rows)[kLargestViewSide * kScreenPixelBytes];
    size_t bytes = 0;
    int height = 0;  // pixel rows that get a background: 0..viewHeight, clipped

    CheckerRows(const ImageBuffer& target, const SheetOptions& options) {
        static const CheckerPattern pattern;
        rows = pattern.rows;
        bytes = static_cast<size_t>(std::clamp(target.width, 0, kLargestViewSide)) * kScreenPixelBytes;
        height = std::clamp(options.viewHeight + 1, 0, target.height);
    }

    // The background of pixel row y from byte `from` of the row on.
    void fillRow(const ImageBuffer& target, int y, size_t from) const { fillSpan(target, y, from, bytes); }

    // The background of pixel row y from byte `from` up to byte `to`.
    void fillSpan(const ImageBuffer& target, int y, size_t from, size_t to) const {
        to = std::min(to, bytes);
        if (y >= height || from >= to) return;
        std::memcpy(imageRow(target, y) + from, rows[y & 1] + from, to - from);
    }
};

struct Span {
    size_t from, to;
};

// The runs of one pixel line (in pixels of the mode, or in bytes): at most one per strip, and
// strips are at least a pixel wide.
struct SpanList {
    Span items[kLargestViewSide];
    int count = 0;

    // Adds a run, merged with the one before when they touch.
    void add(size_t from, size_t to) {
        if (count > 0 && items[count - 1].to == from) {
            items[count - 1].to = to;
        } else {
            items[count++] = {from, to};
        }
    }
};

// A decoded line never holds more values than the view has pixels, plus one unit.
constexpr int kValueLine = kLargestViewSide + 2048;

// One line of values, read and written past its end by whole vectors.
struct ValueLine {
    uint8_t values[kValueLine + kValueLinePadding] = {};
    SpanList runs;
};

// The lines of values of a view row's unit rows.
struct UnitRowValues {
    alignas(64) uint8_t values[kSharedUnitRows][kValueLine + kValueLinePadding];
};

// What every line of a drawing shares: the target and how values become its screen bytes.
struct LinePainter {
    DataBytes data;
    const ImageBuffer& target;
    const CheckerRows& checker;
    const PixelKernels& kernels;
    const LineExpander& expander;
    int zoom;
    size_t pixelBytes;  // screen bytes of one pixel of the mode
    size_t lineEnd;     // bytes of a pixel row of the target
    bool insetCells;    // Binary at zoom 8: a black line right of and below every cell
};

// Blackens the last screen pixel of every 8-pixel cell of the runs, and the last row of the cells.
void insetBinaryCells(const LinePainter& p, const SpanList& runs, int y, int rows) {
    for (int r = 0; r < rows; ++r) {
        uint8_t* row = imageRow(p.target, y + r);
        for (const Span& run : std::span(runs.items, runs.count)) {
            const size_t to = std::min(run.to * p.pixelBytes, p.lineEnd);
            for (size_t at = run.from * p.pixelBytes; at < to; at += p.pixelBytes) {
                const size_t end = std::min(at + p.pixelBytes, p.lineEnd);
                if (r == 7) {
                    std::memset(row + at, 0, end - at);
                } else if (end == at + p.pixelBytes) {
                    std::memset(row + end - kScreenPixelBytes, 0, kScreenPixelBytes);
                }
            }
        }
    }
}

// The background of pixel rows y .. y + rows - 1 around the runs.
void fillAroundRuns(const LinePainter& p, const SpanList& runs, int y, int rows) {
    for (int r = 0; r < rows; ++r) {
        size_t cursor = 0;
        for (const Span& run : std::span(runs.items, runs.count)) {
            p.checker.fillSpan(p.target, y + r, cursor, run.from * p.pixelBytes);
            cursor = run.to * p.pixelBytes;
        }
        p.checker.fillSpan(p.target, y + r, cursor, p.lineEnd);
    }
}

// The runs of the line expanded into pixel rows y .. y + zoom - 1 (those inside the target),
// the background around them.
void paintLine(const LinePainter& p, const ValueLine& line, int y) {
    const int rows = std::min(p.zoom, p.target.height - y);
    const LineRows target{imageRow(p.target, y), -static_cast<ptrdiff_t>(p.target.stride), rows};
    for (const Span& run : std::span(line.runs.items, line.runs.count)) {
        const size_t at = run.from * p.pixelBytes;
        if (at >= p.lineEnd) break;
        p.kernels.expandLine(p.expander, line.values + run.from, target, at,
                             std::min(run.to * p.pixelBytes, p.lineEnd) - at);
    }
    if (p.insetCells) insetBinaryCells(p, line.runs, y, rows);
    fillAroundRuns(p, line.runs, y, rows);
}

// The byte transforms of the options as a table.
struct ByteTransform {
    const uint8_t* table;
    bool identity;
};

ByteTransform byteTransform(const SheetOptions& options) {
    return {transformTable(options.inverse, options.reverseByte, options.nibbleSwap).data(),
            !options.inverse && !options.reverseByte && !options.nibbleSwap};
}

// The values of a mode's byte or unit from bit sources: value bit b of pixel x.
uint8_t valueOfPixel(const ModeRow& row, const uint8_t* bytes, int x) {
    int value = 0;
    for (int b = 0; b < row.bits; ++b) {
        const SourceBit s = row.sourceBits.bits[b][x];
        value |= ((bytes[s.offset] >> s.bit) & 1) << b;
    }
    return static_cast<uint8_t>(value);
}

// The data that a line some lines further down reads is asked for ahead: each line's bytes
// lie apart from the last line's, and the writes of the lines in between have pushed them out
// of the nearer caches.
constexpr int kLinesAhead = 3;

constexpr int kZxScreenRows = 192;

void prefetchData(const DataBytes& data, int64_t index, int64_t bytes) {
    prefetchRange(data.bytes, data.size, index, bytes);
}

// A unit mode's view row asks for at most this much of each run ahead, where a unit is large
// and each line reads little of it.
constexpr int64_t kMostBytesAhead = 4096;

// Pixels of the mode that start left of the right edge of a view `viewWidth` screen pixels wide.
int64_t viewPixelsOf(const ModeRow& row, int zoom, int viewWidth) {
    const int64_t pixelScreenWidth = int64_t{row.pixelWidth} * zoom;
    return (viewWidth + pixelScreenWidth - 1) / pixelScreenWidth;
}

// ---- Lines drawn in one go: the view rows whose strips all lie in the data, away from its
// ends, go to the kernel as one batch; the rest are drawn line by line.

struct BatchLayout {
    LineStrip strips[kLargestViewSide];
    int64_t spans[kLargestViewSide];  // bytes a strip reads from its view row's first byte on
    int count = 0;
    size_t runBytes = 0;  // screen bytes of the strips together
    bool usable = true;

    void add(const LineStrip& strip, int64_t span) {
        if (count == kLargestViewSide) {
            usable = false;
            return;
        }
        spans[count] = span;
        strips[count++] = strip;
    }
};

struct RowRange {
    int64_t low, high;
    int64_t lines = 0;  // of a batch: the lines from view row `low` on, the last view row maybe cut
};

// The view rows, of those from 0 on starting `rowBytes` apart from `first`, whose strips lie
// wholly in the data.
RowRange rowsInData(const BatchLayout& layout, int64_t dataSize, int64_t first, int64_t rowBytes) {
    RowRange range{0, std::numeric_limits<int64_t>::max()};
    for (int s = 0; s < layout.count; ++s) {
        const int64_t start = first + layout.strips[s].offset;
        if (start < 0) range.low = std::max(range.low, (-start + rowBytes - 1) / rowBytes);
        const int64_t room = dataSize - layout.spans[s] - start;
        if (room < 0) return {0, 0};
        range.high = std::min(range.high, room / rowBytes + 1);
    }
    return range;
}

// The lines of view rows [rows.low, rows.high), `unitRows` lines each, as one batch.
LineBatch lineBatch(const LinePainter& p, const BatchLayout& layout, const ByteTransform& transform,
                    int64_t first, RowRange rows, int64_t rowBytes, int unitRows, int64_t unitRowStep) {
    const int y = static_cast<int>(rows.low * unitRows * p.zoom);
    const ptrdiff_t rowStep = -static_cast<ptrdiff_t>(p.target.stride);
    return {p.data.bytes,
            p.data.size,
            first + rows.low * rowBytes,
            layout.strips,
            layout.count,
            static_cast<int>(rows.lines),
            unitRows,
            rowBytes,
            unitRowStep,
            transform.table,
            transform.identity,
            false,
            {imageRow(p.target, y), rowStep, p.zoom},
            rowStep * p.zoom,
            std::min(layout.runBytes, p.lineEnd),
            p.checker.bytes,
            {p.checker.rows[0], p.checker.rows[1]},
            y,
            unitRows == 1 ? kLinesAhead : 1};
}

// Whether a batch can be drawn: false leaves its lines to the line by line drawing.
bool batchDrawable(const LinePainter& p, const BatchLayout& layout, RowRange rows) {
    return layout.usable && layout.count > 0 && !p.insetCells && rows.lines > 0;
}

// The view rows of a batch: in the data, and whole lines inside the target.
RowRange batchRows(const BatchLayout& layout, int64_t first, int64_t rowBytes, int64_t viewRows,
                   int64_t unitRows, const LinePainter& p) {
    RowRange rows = rowsInData(layout, p.data.size, first, rowBytes);
    const int64_t wholeLines = p.checker.height / p.zoom;
    rows.high = std::min({rows.high, viewRows, (wholeLines + unitRows - 1) / unitRows});
    rows.lines =
        std::max<int64_t>(0, std::min((rows.high - rows.low) * unitRows, wholeLines - rows.low * unitRows));
    return rows;
}

// ---- The four byte-cell modes: a view row is one pixel line of bytes, strip after strip.

struct ByteCellWalk {
    const ModeRow* row;
    const uint8_t* data;
    uint64_t dataSize;
    ByteTransform transform;
    const PixelKernels* kernels;
    const LineExpander* expander;
    BitGatherPlan plan;
    // The values of every raw byte, then of bytes before and past the data; made when first needed.
    bool cellValuesMade;
    uint8_t cellValues[258][8];
    int mode;
    int pixelsPerByte;
    int bytesPerRow;
    int columns;        // byte columns that start left of the right edge and lie in a strip
    int64_t count;      // bytes the view draws at most
    int64_t stripJump;  // from a strip's last byte in a row to the next strip's first
};

constexpr int kBeforeData = 256;
constexpr int kPastData = 257;

void makeCellValues(ByteCellWalk& walk) {
    for (int which = 0; which <= kPastData; ++which) {
        const uint8_t value = which < kBeforeData ? walk.transform.table[which] : 0;
        for (int j = 0; j < walk.pixelsPerByte; ++j)
            walk.cellValues[which][j] = walk.expander->valueMap[valueOfPixel(*walk.row, &value, j)];
        if (which == kPastData && walk.mode == kModeBk) std::memset(walk.cellValues[which], 4, 8);
    }
    walk.cellValuesMade = true;
}

void makeByteCellWalk(ByteCellWalk& walk, const SheetOptions& options, const LinePainter& painter) {
    const ModeGeometry geometry = modeGeometry(options.colourMode);
    const int viewWidth = painter.target.width;
    walk.row = modeRow(options.colourMode, options.addedModes);
    walk.data = painter.data.bytes;
    walk.dataSize = static_cast<uint64_t>(painter.data.size);
    walk.transform = byteTransform(options);
    walk.kernels = &painter.kernels;
    walk.expander = &painter.expander;
    walk.mode = options.colourMode;
    walk.pixelsPerByte = geometry.pixelsPerByte;
    walk.plan = modePlan(options.colourMode, options.addedModes,
                         levelsRepeatBits(painter.expander, walk.row->bits), 0);
    walk.cellValuesMade = false;
    walk.bytesPerRow = options.bytesPerRow;
    const int cellPixels = geometry.unitsPerByte * options.zoom;
    const int visibleColumns = (viewWidth + cellPixels - 1) / cellPixels;
    walk.columns = static_cast<int>(
        std::min<int64_t>(visibleColumns, int64_t{stripCount(options)} * options.bytesPerRow));
    walk.count = bytesToDraw(options, painter.data.size);
    walk.stripJump = int64_t{rowsPerStrip(options) - 1} * options.bytesPerRow;
}

// The values of `run` bytes from data index `index` on, at values[0..].
void decodeByteRun(ByteCellWalk& walk, int64_t index, int run, uint8_t* values) {
    if (index >= 0 && static_cast<uint64_t>(index + run) <= walk.dataSize) {
        const SourceRun source{walk.data + index, static_cast<int64_t>(walk.dataSize) - index,
                               walk.transform.table, walk.transform.identity, walk.expander};
        if (gatherPixels(*walk.kernels, walk.plan, source, run * walk.pixelsPerByte, values)) return;
    }
    if (!walk.cellValuesMade) makeCellValues(walk);
    for (int k = 0; k < run; ++k, ++index) {
        const int which = static_cast<uint64_t>(index) < walk.dataSize ? walk.data[index]
                          : index < 0                                  ? kBeforeData
                                                                       : kPastData;
        std::memcpy(values + k * walk.pixelsPerByte, walk.cellValues[which], 8);
    }
}

// Calls visit(column, index, run) for the runs of view row `row`, strip by strip; returns the
// columns visited.
template <typename Walk, typename Visit>
int forEachByteRun(const Walk& walk, int row, int64_t first, Visit visit) {
    int64_t slot = int64_t{row} * walk.bytesPerRow;
    int64_t index = first + slot;
    int column = 0;
    while (column < walk.columns && slot < walk.count) {
        const int run = static_cast<int>(
            std::min<int64_t>(std::min(walk.bytesPerRow, walk.columns - column), walk.count - slot));
        visit(column, index, run);
        column += run;
        index += run + walk.stripJump;
        slot += run + walk.stripJump;
    }
    return column;
}

// The values of view row `row`; the runs end after the last column drawn.
void decodeByteRow(ByteCellWalk& walk, int row, int64_t first, ValueLine& line) {
    const int columns = forEachByteRun(walk, row, first, [&](int column, int64_t index, int run) {
        decodeByteRun(walk, index, run, line.values + column * walk.pixelsPerByte);
    });
    line.runs.count = 0;
    line.runs.add(0, static_cast<size_t>(columns) * walk.pixelsPerByte);
}

// Binary's values are its two colours, the others' index the mode's palette; BK-0010 draws
// the bytes past the data in a colour of its own, value 4.
void loadByteCellColours(int mode, int32_t (&colours)[256], int& count) {
    count = 1 << modeRow(mode, nullptr)->bits;
    for (int v = 0; v < count; ++v)
        colours[v] =
            mode == kModeBinary ? (v != 0 ? kColourWhite : kColourBlack) : modePaletteColour(mode, v);
    if (mode == kModeBk) colours[count++] = kBkPastEndColour;
}

// The strips of every view row: byte runs of one view row, with nothing cut at the data's end.
BatchLayout byteCellLayout(const ByteCellWalk& walk) {
    ByteCellWalk whole = walk;
    whole.count = std::numeric_limits<int64_t>::max();
    BatchLayout layout;
    const int columns = forEachByteRun(whole, 0, 0, [&](int column, int64_t index, int run) {
        const int pixels = run * walk.pixelsPerByte;
        layout.add({index, column * walk.pixelsPerByte, pixels, run},
                   std::max<int64_t>(run, planReach(walk.plan, pixels)));
    });
    layout.runBytes =
        static_cast<size_t>(columns) * walk.pixelsPerByte * walk.expander->factor * kScreenPixelBytes;
    return layout;
}

// The view rows `rows` of byte cells as one batch.
LineBatch byteCellBatch(const LinePainter& p, const ByteCellWalk& walk, const BatchLayout& layout,
                        int64_t first, RowRange rows) {
    LineBatch batch = lineBatch(p, layout, walk.transform, first, rows, walk.bytesPerRow, 1, 0);
    batch.cellPixels = walk.pixelsPerByte;
    return batch;
}

// Returns the first pixel row below the rows drawn.
int drawByteCells(const LinePainter& painter, const SheetOptions& options) {
    ByteCellWalk walk;
    makeByteCellWalk(walk, options, painter);
    const int rows = rowsPerStrip(options);
    ValueLine line;
    const BatchLayout layout = byteCellLayout(walk);
    const RowRange batch = batchRows(layout, options.first, options.bytesPerRow, rows, 1, painter);
    int y = 0;
    for (int row = 0; row < rows && int64_t{row} * options.bytesPerRow < walk.count; ++row) {
        y = row * options.zoom;
        if (y >= painter.target.height) return y;
        if (row == batch.low && batchDrawable(painter, layout, batch) &&
            drawLineBatch(painter.kernels, walk.plan, painter.expander,
                          byteCellBatch(painter, walk, layout, options.first, batch),
                          {line.values, 1, sizeof line.values})) {
            row = static_cast<int>(batch.low + batch.lines) - 1;
            y = static_cast<int>(batch.low + batch.lines) * options.zoom;
            continue;
        }
        forEachByteRun(walk, row + kLinesAhead, options.first,
                       [&](int, int64_t index, int run) { prefetchData(painter.data, index, run); });
        decodeByteRow(walk, row, options.first, line);
        paintLine(painter, line, y);
        y += options.zoom;
    }
    return y;
}

// ---- The modes beyond the four: every unit row is decoded into values, run by run.

struct UnitWalk {
    DataBytes data;
    const ModeRow* row;
    ViewGeometry geometry;
    SheetOptions options;
    int64_t strips;
    int unitPixels;  // pixels of the mode across a unit
    ByteTransform transform;
    const LineExpander* expander;
    int packedShift;                   // log2 of the pixels of a packed byte
    std::array<uint64_t, 256> unpack;  // the values of the pixels of every packed byte
    RawByteTable packedOfRaw;
    BitGatherPlan plan;  // for unit row 0; row y reads y x tileRowStep bytes further on
};

void makeUnitWalk(UnitWalk& walk, const SheetOptions& options, const LinePainter& painter) {
    const int viewWidth = painter.target.width;
    walk.data = painter.data;
    walk.row = modeRow(options.colourMode, options.addedModes);
    walk.options = options;
    walk.geometry = viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow, options.zoom,
                                 options.viewHeight);
    const int64_t stripPixels = walk.geometry.stripWidth * options.zoom;
    walk.strips = options.multiColumn ? (viewWidth + stripPixels - 1) / stripPixels : 1;
    walk.unitPixels = static_cast<int>(walk.geometry.unitWidth / walk.row->pixelWidth);
    walk.transform = byteTransform(options);
    walk.expander = &painter.expander;
    // Values over 8 bits are read as words, with no table of packed values.
    if (walk.row->wide) return;
    walk.packedOfRaw = packedOfRawBytes(*walk.row, walk.transform.table);
    const int packBits = walk.row->packBits;
    walk.packedShift = packBits == 1 ? 3 : packBits == 2 ? 2 : packBits == 4 ? 1 : 0;
    for (int v = 0; v < 256; ++v) {
        uint64_t values = 0;
        for (int j = 0; j < 8 / packBits; ++j)
            values |=
                uint64_t{walk.expander->valueMap[(v >> (8 - packBits * (j + 1))) & ((1 << packBits) - 1)]}
                << (8 * j);
        walk.unpack[v] = values;
    }
    if (!walk.row->hasSourceBits) return;
    walk.plan =
        modePlan(options.colourMode, options.addedModes, levelsRepeatBits(painter.expander, walk.row->bits),
                 hasPlaneRows(*walk.row) ? options.bytesPerRow : 0);
}

// The bytes of the unit that starts at data index `start`, as the walk's decoders read them.
UnitBytes unitBytesAt(const UnitWalk& walk, int64_t start) {
    return {walk.data.bytes, walk.data.size,           walk.transform.table,
            start,           walk.options.bytesPerRow, walk.packedOfRaw.data()};
}

bool decodeZxRun(const PixelKernels& kernels, const SourceRun& source, int y, int count, int lastPixels,
                 uint8_t* values) {
    const ModeRow& zx = *modeRow(kModeZx, nullptr);
    const ZxRow row = zxRow(y);
    return attributePixels(kernels, source,
                           {row.bitmap, row.attributes, zx.unitBytes, count, zx.unitPixels, lastPixels},
                           values);
}

// The values of `count` units from data index `start` on, unit row `unitRow`, the last giving
// lastPixels pixels; the fast kernels take runs that lie wholly in the data.
void decodeUnitRun(const UnitWalk& walk, int64_t start, int unitRow, int count, int lastPixels,
                   uint8_t* values) {
    const ViewGeometry& g = walk.geometry;
    const int unitPixels = walk.unitPixels;
    const int pixels = (count - 1) * unitPixels + lastPixels;
    if (start >= 0 && start + count * g.unitBytes <= walk.data.size) {
        const int64_t from = start + int64_t{unitRow} * walk.row->tileRowStep;
        const SourceRun source{walk.data.bytes + from, walk.data.size - from, walk.transform.table,
                               walk.transform.identity, walk.expander};
        const PixelKernels& kernels = *walk.options.kernels;
        if (walk.row->bytesAreValues && walk.expander->mapIdentity &&
            copyPixels(kernels, source, pixels, values))
            return;
        if (walk.options.colourMode == kModeZx &&
            decodeZxRun(kernels, source, unitRow, count, lastPixels, values))
            return;
        // A format from a file may read past its units; the plan of gathered tile rows reads a
        // line of them.
        if (walk.row->tileRowBytes == 0 && from + planReach(walk.plan, pixels) <= walk.data.size &&
            gatherPixels(kernels, walk.plan, source, pixels, values))
            return;
    }
    uint8_t packed[kValueLine + 8];
    const UnitBytes unit = unitBytesAt(walk, start);
    decodeUnitLine(*walk.row, unit, unitRow, count, g.unitBytes, unitPixels, lastPixels,
                   unitPixels >> walk.packedShift, packed);
    const int perByte = 1 << walk.packedShift;
    for (int i = 0; i * perByte < pixels; ++i) std::memcpy(values + i * perByte, &walk.unpack[packed[i]], 8);
}

// The drawn units of one strip's view row follow each other: those before kLow lie wholly
// before the data, those from kHigh on start at or past its end.
struct UnitRange {
    int64_t low, high;
};

UnitRange drawnUnits(int64_t start, int64_t unitBytes, int64_t dataSize) {
    const int64_t low = start + unitBytes > 0 ? 0 : -start / unitBytes;
    const int64_t room = dataSize - start;
    const int64_t high = room > 0 ? (room + unitBytes - 1) / unitBytes : 0;
    return {low, high};
}

// The strips of a line: where each starts on the line and in the data (for view row 0), the
// units of it left of the right edge and the pixels of its last such unit. Made once per drawing.
struct StripSlots {
    struct Strip {
        int64_t pixel, start, visible, lastPixels;
    };
    Strip items[kLargestViewSide];
    int count = 0;
    int64_t unitPixels = 0;
};

void makeStripSlots(StripSlots& slots, const UnitWalk& walk, int64_t viewPixels) {
    const ViewGeometry& g = walk.geometry;
    slots.unitPixels = g.unitWidth / walk.row->pixelWidth;
    slots.count = 0;
    for (int64_t s = 0; s < walk.strips && slots.count < kLargestViewSide; ++s) {
        const int64_t pixel = s * g.unitsPerRow * slots.unitPixels;
        if (pixel >= viewPixels) break;
        const int64_t visible =
            std::min(g.unitsPerRow, (viewPixels - pixel + slots.unitPixels - 1) / slots.unitPixels);
        const int64_t lastPixels =
            std::min(slots.unitPixels, viewPixels - (pixel + (visible - 1) * slots.unitPixels));
        slots.items[slots.count++] = {pixel, walk.options.first + s * g.rowsPerStrip * g.rowBytes, visible,
                                      lastPixels};
    }
}

// Calls visit(firstPixel, start, units, lastPixels) for the drawn units of view row `viewRow`
// in every strip: `units` units from data index `start` on, from pixel firstPixel of the line.
template <typename Visit>
void forEachUnitRun(const UnitWalk& walk, const StripSlots& slots, int64_t viewRow, Visit visit) {
    const ViewGeometry& g = walk.geometry;
    for (const StripSlots::Strip& strip : std::span(slots.items, slots.count)) {
        const int64_t start = strip.start + viewRow * g.rowBytes;
        int64_t low = 0, high = strip.visible;
        if (start < 0 || start + strip.visible * g.unitBytes > walk.data.size) {
            const UnitRange range = drawnUnits(start, g.unitBytes, walk.data.size);
            low = std::min(range.low, strip.visible);
            high = std::min(range.high, strip.visible);
            if (low >= high) continue;
        }
        const int64_t lastPixels = high == strip.visible ? strip.lastPixels : slots.unitPixels;
        visit(strip.pixel + low * slots.unitPixels, start + low * g.unitBytes, high - low, lastPixels);
    }
}

// Decodes unit row `unitRow` of view row `viewRow` of every strip into the line's values and
// notes the runs of pixels drawn.
void decodeLine(const UnitWalk& walk, const StripSlots& slots, int64_t viewRow, int unitRow,
                ValueLine& line) {
    line.runs.count = 0;
    forEachUnitRun(
        walk, slots, viewRow, [&](int64_t firstPixel, int64_t start, int64_t units, int64_t lastPixels) {
            decodeUnitRun(walk, start, unitRow, static_cast<int>(units), static_cast<int>(lastPixels),
                          line.values + firstPixel);
            line.runs.add(static_cast<size_t>(firstPixel),
                          static_cast<size_t>(firstPixel + (units - 1) * slots.unitPixels + lastPixels));
        });
}

// The bytes of a view row's units, asked for ahead; a run's first bytes at most, where a unit
// is large and each line reads little of it.
void prefetchViewRow(const UnitWalk& walk, const StripSlots& slots, int64_t viewRow) {
    forEachUnitRun(walk, slots, viewRow, [&](int64_t, int64_t start, int64_t units, int64_t) {
        prefetchData(walk.data, start, std::min(units * walk.geometry.unitBytes, kMostBytesAhead));
    });
}

// Whether the unit rows decode as the bytes themselves.
bool copiesBytes(const UnitWalk& walk) {
    return walk.row->bytesAreValues && walk.expander->mapIdentity;
}

// A gathered tile row is copied in pieces of 8 bytes: the bytes those read and write from its first.
constexpr int64_t gatheredPieces(int64_t rowBytes) {
    return (rowBytes + 7) / 8 * 8;
}

// The strips of every view row, as the slots give them.
BatchLayout unitLayout(const UnitWalk& walk, const StripSlots& slots) {
    BatchLayout layout;
    const ViewGeometry& g = walk.geometry;
    if (walk.options.colourMode == kModeZx && g.unitHeight != kZxScreenRows) return layout;
    int64_t end = 0;
    for (const StripSlots::Strip& strip : std::span(slots.items, slots.count)) {
        const int pixels = static_cast<int>((strip.visible - 1) * slots.unitPixels + strip.lastPixels);
        const int64_t bytes = strip.visible * g.unitBytes;
        const int64_t reach = (g.unitHeight - 1) * walk.row->tileRowStep +
                              (walk.row->tileRowBytes > 0 ? (strip.visible - 1) * g.unitBytes +
                                                                gatheredPieces(walk.row->tileRowBytes)
                               : copiesBytes(walk) ? int64_t{pixels} + 64
                                                   : planReach(walk.plan, pixels));
        layout.add({strip.start - walk.options.first, static_cast<int>(strip.pixel), pixels,
                    std::min(bytes, kMostBytesAhead)},
                   std::max(bytes, reach));
        end = strip.pixel + pixels;
    }
    layout.runBytes = static_cast<size_t>(end) * walk.expander->factor * kScreenPixelBytes;
    return layout;
}

// ---- Tiles of gathered rows (ModeRow::tileRowBytes): unit row y of a view row's tiles, each
// tile's row copied after the one before, is a line of a linear format; its lines are drawn as such.

// `rows` pieces of 8 bytes, `step` bytes apart from `from` on, to `lineBytes` apart from `to` on.
void copyPieces(const uint8_t* from, int64_t step, uint8_t* to, int64_t lineBytes, int64_t rows) {
    for (int64_t y = 0; y < rows; ++y, from += step, to += lineBytes) {
        uint64_t piece;
        std::memcpy(&piece, from, 8);
        std::memcpy(to, &piece, 8);
    }
}

// Lines [from, from + count) of the view rows from the one at data index `first` on (line n is unit
// row n mod unitHeight of view row n div unitHeight), line i of them at lines + i x lineBytes.
void gatherTileRows(const UnitWalk& walk, const BatchLayout& layout, int64_t first, int64_t from, int count,
                    uint8_t* lines, int64_t lineBytes) {
    const int64_t rowBytes = walk.row->tileRowBytes, step = walk.row->tileRowStep;
    const int64_t unitPixels = walk.unitPixels, unitBytes = walk.geometry.unitBytes;
    const int64_t unitHeight = walk.geometry.unitHeight;
    for (int64_t line = from; line < from + count;) {
        // The unit rows of one view row: each tile's rows in turn.
        const int64_t y0 = line % unitHeight, rows = std::min(unitHeight - y0, from + count - line);
        const int64_t rowStart = first + line / unitHeight * walk.geometry.rowBytes + y0 * step;
        uint8_t* const out = lines + (line - from) * lineBytes;
        for (const LineStrip& strip : std::span(layout.strips, layout.count)) {
            const uint8_t* tile = walk.data.bytes + rowStart + strip.offset;
            uint8_t* to = out + strip.pixel / unitPixels * rowBytes;
            for (int64_t t = 0; t * unitPixels < strip.pixels; ++t, tile += unitBytes, to += rowBytes) {
                if (rowBytes <= 8) {
                    copyPieces(tile, step, to, lineBytes, rows);
                } else {
                    for (int64_t i = 0; i < rowBytes; i += 8)
                        copyPieces(tile + i, step, to + i, lineBytes, rows);
                }
            }
        }
        line += rows;
    }
}

// The batch's lines drawn from gathered rows, as many at a time as `gathered` holds; returns the
// lines drawn (fewer where the kernel leaves them).
int64_t drawGatheredBatch(const LinePainter& p, const UnitWalk& walk, const BatchLayout& layout,
                          RowRange rows, UnitRowValues& gathered, ValueLine& line) {
    const int64_t unitPixels = walk.unitPixels;
    const LineStrip& last = layout.strips[layout.count - 1];
    const int pixels = last.pixel + last.pixels;
    // A line's last piece may write past it: the next line starts a vector further on.
    const int64_t lineBytes =
        ((pixels + unitPixels - 1) / unitPixels * walk.row->tileRowBytes + 64) / 64 * 64;
    const int64_t room = int64_t{sizeof gathered} - kValueLinePadding;
    const int64_t perCall = room / lineBytes;
    const LineStrip whole{0, 0, pixels, lineBytes};
    uint8_t* const lines = gathered.values[0];
    const int64_t firstLine = rows.low * walk.geometry.unitHeight;
    int64_t done = 0;
    while (done < rows.lines && perCall > 0) {
        const int count = static_cast<int>(std::min(perCall, rows.lines - done));
        const int64_t at = firstLine + done;
        gatherTileRows(walk, layout, walk.options.first, at, count, lines, lineBytes);
        LineBatch batch =
            lineBatch(p, layout, walk.transform, 0, RowRange{at, at + count, count}, lineBytes, 1, 0);
        batch.data = lines;
        batch.dataSize = room;
        batch.first = 0;
        batch.strips = &whole;
        batch.stripCount = 1;
        if (!drawLineBatch(p.kernels, walk.plan, p.expander, batch, {line.values, 1, sizeof line.values}))
            break;
        done += count;
    }
    return done;
}

// Draws the batch of view rows `rows` of a unit mode; returns the lines drawn, 0 where the kernel
// leaves them.
int64_t drawUnitBatch(const LinePainter& p, const UnitWalk& walk, const BatchLayout& layout, RowRange rows,
                      UnitRowValues& lines, ValueLine& line) {
    if (!batchDrawable(p, layout, rows)) return 0;
    if (walk.row->tileRowBytes > 0) return drawGatheredBatch(p, walk, layout, rows, lines, line);
    const ViewGeometry& g = walk.geometry;
    const bool zx = walk.options.colourMode == kModeZx;
    LineBatch batch = lineBatch(p, layout, walk.transform, walk.options.first, rows, g.rowBytes,
                                static_cast<int>(g.unitHeight), zx ? 0 : walk.row->tileRowStep);
    batch.copy = copiesBytes(walk);
    AttributeRowOffsets zxRows[kZxScreenRows];
    if (zx) {
        for (int y = 0; y < kZxScreenRows; ++y) {
            const ZxRow row = zxRow(y);
            zxRows[y] = {row.bitmap, row.attributes};
        }
        batch.attributeRows = zxRows;
        batch.unitBytes = g.unitBytes;
        batch.unitPixels = walk.unitPixels;
    }
    return drawLineBatch(p.kernels, walk.plan, p.expander, batch,
                         {lines.values[0], kSharedUnitRows, sizeof lines.values[0]})
               ? rows.lines
               : 0;
}

int drawUnits(const LinePainter& painter, const SheetOptions& options) {
    UnitWalk walk;
    makeUnitWalk(walk, options, painter);
    StripSlots slots;
    makeStripSlots(slots, walk, viewPixelsOf(*walk.row, options.zoom, painter.target.width));
    const int64_t unitHeight = walk.geometry.unitHeight;
    const int64_t lines = walk.geometry.rowsPerStrip * unitHeight;
    ValueLine line;
    const BatchLayout layout = unitLayout(walk, slots);
    UnitRowValues rowValues;
    const RowRange batch = batchRows(layout, options.first, walk.geometry.rowBytes,
                                     walk.geometry.rowsPerStrip, unitHeight, painter);
    int y = 0;
    int64_t viewRow = 0;
    int unitRow = 0;
    for (int64_t n = 0; n < lines && (y = static_cast<int>(n * options.zoom)) < painter.target.height; ++n) {
        int64_t drawn = 0;
        if (unitRow == 0 && viewRow == batch.low &&
            (drawn = drawUnitBatch(painter, walk, layout, batch, rowValues, line)) > 0) {
            const int64_t next = batch.low * unitHeight + drawn;
            viewRow = next / unitHeight;
            unitRow = static_cast<int>(next % unitHeight);
            n = next - 1;
            y = static_cast<int>(next * options.zoom);
            continue;
        }
        if (unitRow == 0) prefetchViewRow(walk, slots, viewRow + (unitHeight == 1 ? kLinesAhead : 1));
        decodeLine(walk, slots, viewRow, unitRow, line);
        paintLine(painter, line, y);
        y += options.zoom;
        if (++unitRow == unitHeight) unitRow = 0, ++viewRow;
    }
    return y;
}

// ---- Formats of values over 8 bits: every unit row decoded into 32-bit values, written as
// colours into the first pixel row of its line and copied into the others.

struct WideLine {
    uint32_t values[kValueLine];
    SpanList runs;
};

void paintWideLine(const LinePainter& p, const WideColours& colours, const WideLine& line, int y) {
    const int rows = std::min(p.zoom, p.target.height - y);
    uint8_t* first = imageRow(p.target, y);
    const int factor = static_cast<int>(p.pixelBytes / kScreenPixelBytes);
    for (const Span& run : std::span(line.runs.items, line.runs.count)) {
        const size_t at = run.from * p.pixelBytes;
        if (at >= p.lineEnd) break;
        const size_t bytes = std::min(run.to * p.pixelBytes, p.lineEnd) - at;
        writeWideLine(colours, line.values + run.from, static_cast<int>(run.to - run.from), factor,
                      first + at, bytes);
        for (int r = 1; r < rows; ++r) std::memcpy(imageRow(p.target, y + r) + at, first + at, bytes);
    }
    fillAroundRuns(p, line.runs, y, rows);
}

// Colours in whole words side by side: each unit row's words become screen bytes at once, straight
// into the image at zoom 1 (through a line of them where pixels are wider).
struct DirectLine {
    uint8_t words[4 * kValueLine];  // a unit row's bytes, where they are transformed or leave the data
    uint8_t screen[kScreenPixelBytes * kValueLine];
    SpanList runs;
};

// The `count` bytes of the data from index `from` on, as the decoders read them.
const uint8_t* unitRowBytes(const UnitWalk& walk, int64_t from, int64_t count, uint8_t* copy) {
    if (walk.transform.identity && from >= 0 && from + count <= walk.data.size) return walk.data.bytes + from;
    const UnitBytes unit = unitBytesAt(walk, from);
    for (int64_t k = 0; k < count; ++k) copy[k] = unit.at(k);
    return copy;
}

// Each of `pixels` screen pixels of `screen` repeated `factor` times, `bytes` bytes of them at most.
void widenPixels(const uint8_t* screen, int pixels, int factor, uint8_t* out, size_t bytes) {
    for (int x = 0; x < pixels; ++x)
        for (int f = 0; f < factor; ++f) {
            const size_t at = (size_t{static_cast<unsigned>(x)} * factor + f) * kScreenPixelBytes;
            if (at >= bytes) return;
            std::memcpy(out + at, screen + x * kScreenPixelBytes,
                        std::min<size_t>(kScreenPixelBytes, bytes - at));
        }
}

void paintDirectLine(const LinePainter& p, const UnitWalk& walk, const StripSlots& slots,
                     const DirectColourWords& plan, int64_t viewRow, int unitRow, int y, DirectLine& line) {
    const int rows = std::min(p.zoom, p.target.height - y);
    uint8_t* first = imageRow(p.target, y);
    const int factor = static_cast<int>(p.pixelBytes / kScreenPixelBytes);
    const int64_t unitBytes = walk.geometry.unitBytes;
    const int64_t rowOffset = int64_t{unitRow} * walk.row->tileRowStep;
    line.runs.count = 0;
    forEachUnitRun(walk, slots, viewRow, [&](int64_t firstPixel, int64_t start, int64_t units, int64_t last) {
        for (int64_t i = 0; i < units; ++i) {
            const size_t at = static_cast<size_t>(firstPixel + i * walk.unitPixels) * p.pixelBytes;
            if (at >= p.lineEnd) break;
            const int pixels = static_cast<int>(i + 1 < units ? walk.unitPixels : last);
            const uint8_t* words = unitRowBytes(walk, start + i * unitBytes + rowOffset,
                                                int64_t{pixels} * plan.bytes, line.words);
            if (factor == 1) {
                const int shown = std::min(pixels, static_cast<int>((p.lineEnd - at) / kScreenPixelBytes));
                writeDirectColours(p.kernels, plan, {words, 0, first + at, 0, 1, shown});
            } else {
                writeDirectColours(p.kernels, plan, {words, 0, line.screen, 0, 1, pixels});
                widenPixels(line.screen, pixels, factor, first + at, p.lineEnd - at);
            }
        }
        line.runs.add(static_cast<size_t>(firstPixel),
                      static_cast<size_t>(firstPixel + (units - 1) * walk.unitPixels + last));
    });
    for (const Span& run : std::span(line.runs.items, line.runs.count)) {
        const size_t at = run.from * p.pixelBytes;
        if (at >= p.lineEnd) break;
        const size_t bytes = std::min(run.to * p.pixelBytes, p.lineEnd) - at;
        for (int r = 1; r < rows; ++r) std::memcpy(imageRow(p.target, y + r) + at, first + at, bytes);
    }
    fillAroundRuns(p, line.runs, y, rows);
}

// At zoom 1, where a unit row is the whole unit (a linear format's row), the top view rows whose
// strips all lie in the data, untransformed, are drawn strip by strip, each strip's rows in one go.
// Returns how many.
int64_t drawDirectRows(const LinePainter& p, const UnitWalk& walk, const StripSlots& slots,
                       const DirectColourWords& plan, int64_t lines) {
    const ViewGeometry& g = walk.geometry;
    if (p.pixelBytes != kScreenPixelBytes || g.unitHeight != 1 || !walk.transform.identity ||
        g.unitBytes != int64_t{walk.unitPixels} * plan.bytes)
        return 0;
    int64_t rows = std::min<int64_t>(lines, p.target.height);
    for (const StripSlots::Strip& strip : std::span(slots.items, slots.count)) {
        const int64_t bytes = ((strip.visible - 1) * slots.unitPixels + strip.lastPixels) * plan.bytes;
        const int64_t room = walk.data.size - bytes - strip.start;
        if (strip.start < 0 || room < 0) return 0;
        rows = std::min(rows, room / g.rowBytes + 1);
    }
    if (rows <= 0) return 0;
    const ptrdiff_t outStep = imageRow(p.target, 1) - imageRow(p.target, 0);
    size_t end = 0;
    for (const StripSlots::Strip& strip : std::span(slots.items, slots.count)) {
        const size_t at = static_cast<size_t>(strip.pixel) * kScreenPixelBytes;
        if (at >= p.lineEnd) break;
        const int64_t pixels = std::min<int64_t>((strip.visible - 1) * slots.unitPixels + strip.lastPixels,
                                                 (p.lineEnd - at) / kScreenPixelBytes);
        writeDirectColours(
            p.kernels, plan,
            {walk.data.bytes + strip.start, static_cast<ptrdiff_t>(g.rowBytes), imageRow(p.target, 0) + at,
             outStep, static_cast<int>(rows), static_cast<int>(pixels)});
        end = at + static_cast<size_t>(pixels) * kScreenPixelBytes;
    }
    for (int y = 0; y < rows; ++y) p.checker.fillSpan(p.target, y, end, p.lineEnd);
    return rows;
}

// Returns the first pixel row below the rows drawn.
int drawWideUnits(const LinePainter& painter, const SheetOptions& options) {
    UnitWalk walk;
    makeUnitWalk(walk, options, painter);
    StripSlots slots;
    makeStripSlots(slots, walk, viewPixelsOf(*walk.row, options.zoom, painter.target.width));
    WideColours colours;
    makeWideColours(colours, *walk.row->record, paletteInUse(options), options.paletteBase);
    DirectColourWords plan;
    const bool direct = makeDirectColourWords(plan, *walk.row, colours);
    const ViewGeometry& g = walk.geometry;
    const int64_t lines = g.rowsPerStrip * g.unitHeight;
    WideLine line;
    DirectLine directLine;
    const int64_t drawnAtOnce = direct ? drawDirectRows(painter, walk, slots, plan, lines) : 0;
    int y = static_cast<int>(drawnAtOnce * options.zoom);
    for (int64_t n = drawnAtOnce;
         n < lines && (y = static_cast<int>(n * options.zoom)) < painter.target.height; ++n) {
        const int64_t viewRow = n / g.unitHeight;
        const int unitRow = static_cast<int>(n % g.unitHeight);
        // The words of a linear format's strips are read in order, which the processor follows unasked.
        if (unitRow == 0 && !(direct && g.unitHeight == 1))
            prefetchViewRow(walk, slots, viewRow + (g.unitHeight == 1 ? kLinesAhead : 1));
        if (direct) {
            paintDirectLine(painter, walk, slots, plan, viewRow, unitRow, y, directLine);
            y += options.zoom;
            continue;
        }
        line.runs.count = 0;
        forEachUnitRun(
            walk, slots, viewRow, [&](int64_t firstPixel, int64_t start, int64_t units, int64_t last) {
                for (int64_t i = 0; i < units; ++i) {
                    decodeWideRow(*walk.row, unitBytesAt(walk, start + i * g.unitBytes), unitRow,
                                  static_cast<int>(i + 1 < units ? walk.unitPixels : last),
                                  line.values + firstPixel + i * walk.unitPixels);
                }
                line.runs.add(static_cast<size_t>(firstPixel),
                              static_cast<size_t>(firstPixel + (units - 1) * walk.unitPixels + last));
            });
        paintWideLine(painter, colours, line, y);
        y += options.zoom;
    }
    return y;
}

void loadUnitColours(const SheetOptions& options, int32_t (&colours)[256], int& count) {
    count = 1 << modeRow(options.colourMode, options.addedModes)->bits;
    for (int v = 0; v < count; ++v) colours[v] = unitValueColour(options, v);
}

// ---- The plain writer, for machines without the vector kernels: whole rows of prepared
// byte cells for the four modes, and for the others, unit rows decoded into packed pixel
// values that a table per packed byte lays out.
namespace plain {

// A cell of screen bytes: at most 8 pixels two view units wide of a byte (or of a packed byte)
// at zoom 8.
constexpr int kLargestCellBytes = 8 * 2 * 8 * kScreenPixelBytes;

// Cells of 3, 6 or 12 screen bytes are stored 4, 8 or 16 bytes apart in the tables, so that one
// store of the padded size writes a cell; the next cell overwrites the excess. Cells of 24, 48 and
// 96 bytes lie a power of two apart, so that finding a cell is one shift.
constexpr int paddedCellBytes(int cellBytes) {
    switch (cellBytes) {
        case 3:
            return 4;
        case 6:
            return 8;
        case 12:
            return 16;
        case 24:
            return 32;
        case 48:
            return 64;
        case 96:
            return 128;
        default:
            return cellBytes;
    }
}

// The cells of values in[0..n) side by side from `out` on, each `size` bytes of its table entry
// (entries `stride` apart): padded stores up to the last cell, which must not write past the
// run; several cells a round, so that a cell costs its look-up and its store (eight for cells of
// one store each, where the round's own steps weigh most). kCellBytes: the size when known at
// compile time, else 0.
template <int kCellBytes>
void layCells(uint8_t* out, const uint8_t* in, int n, const uint8_t* table, size_t stride, int size) {
    // The bytes copied a cell: the padded size where that is one store, else the cell's own.
    size_t copy = stride;
    if constexpr (kCellBytes != 0) {
        size = kCellBytes;
        stride = paddedCellBytes(kCellBytes);
        copy = kCellBytes < 16 ? stride : kCellBytes;
    }
    constexpr int kRound = kCellBytes != 0 && kCellBytes <= 8 ? 8 : 4;
    const auto layRound = [&]<size_t... kCell>(std::index_sequence<kCell...>) {
        (std::memcpy(out + kCell * size, table + in[kCell] * stride, copy), ...);
    };
    int i = 0;
    for (; i + kRound < n; i += kRound, in += kRound, out += kRound * size)
        layRound(std::make_index_sequence<kRound>());
    for (; i + 1 < n; ++i, ++in, out += size) layRound(std::make_index_sequence<1>());
    if (i < n) std::memcpy(out, table + in[0] * stride, size);
}

// The screen pixels of one byte row of a cell, for every raw byte value and
// for the two kinds of bytes outside the data.
struct CellPatterns {
    static constexpr int kBeforeData = 256;
    static constexpr int kPastData = 257;

    int cellPixels = 0;
    int cellBytes = 0;
    int stride = 0;      // paddedCellBytes(cellBytes)
    int colourRows = 0;  // cell rows below these are black (Binary at zoom 8)
    std::array<uint8_t, (kPastData + 1) * kLargestCellBytes> bytes;

    const uint8_t* entry(int which) const { return bytes.data() + static_cast<size_t>(which) * stride; }
};

// A box: the screen bytes of one pixel of a byte-cell mode, pixelWidth x zoom screen pixels of one
// colour (the last black in the inset Binary cells), copied 16 bytes at a time.
constexpr int kLargestBoxBytes = 2 * 8 * kScreenPixelBytes;

struct ColourBoxes {
    int bytes = 0;
    alignas(16) uint8_t box[16][kLargestBoxBytes];
};

// The boxes of colours[0..count), count at most 16.
ColourBoxes makeColourBoxes(const int32_t* colours, int count, int boxWidth, bool inset) {
    ColourBoxes boxes;
    boxes.bytes = boxWidth * kScreenPixelBytes;
    for (int c = 0; c < count; ++c)
        for (int p = 0; p < boxWidth; ++p)
            writePixel(boxes.box[c] + p * kScreenPixelBytes,
                       inset && p == boxWidth - 1 ? kColourBlack : colours[c]);
    return boxes;
}

// The screen bytes of the pixels of packed values `packed` (count pixels, from the top bit down): a
// box per pixel, each copied by whole 16-byte pieces, whose excess the next box and whatever is
// written after them overwrite.
void writeBoxes(uint8_t* out, const ModeRow& row, unsigned packed, int count, const ColourBoxes& boxes) {
    const unsigned mask = (1u << row.packBits) - 1;
    for (int shift = (count - 1) * row.packBits; shift >= 0; shift -= row.packBits, out += boxes.bytes) {
        const uint8_t* box = boxes.box[(packed >> shift) & mask];
        for (int b = 0; b < boxes.bytes; b += 16) std::memcpy(out + b, box + b, 16);
    }
}

// A byte's cell is two halves, one per nibble of its packed value (every mode's byte holds 2, 4
// or 8 whole pixels): the 16 halves are made once, and each cell is two copies of whole 16-byte
// pieces instead of a copy per box.
struct HalfCells {
    int bytes = 0;
    alignas(16) uint8_t half[16][kLargestCellBytes / 2 + 16];
};

HalfCells makeHalfCells(const ModeRow& row, const ColourBoxes& boxes) {
    HalfCells halves;
    const int count = row.pixelsPerByte / 2;
    halves.bytes = count * boxes.bytes;
    for (unsigned nibble = 0; nibble < 16; ++nibble)
        writeBoxes(halves.half[nibble], row, nibble, count, boxes);
    return halves;
}

void copyPieces(uint8_t* out, const uint8_t* from, int bytes) {
    for (int b = 0; b < bytes; b += 16) std::memcpy(out + b, from + b, 16);
}

// The cell of a packed byte, in whole 16-byte pieces (the cells are made in address order).
void writeCellOfHalves(uint8_t* out, unsigned packed, const HalfCells& halves) {
    copyPieces(out, halves.half[packed >> 4], halves.bytes);
    copyPieces(out + halves.bytes, halves.half[packed & 0x0F], halves.bytes);
}

CellPatterns makeCellPatterns(const SheetOptions& options) {
    const ModeGeometry geometry = modeGeometry(options.colourMode);
    const bool binaryCells = options.colourMode == kModeBinary && options.zoom == 8;
    const int boxWidth = geometry.pixelWidth * options.zoom;
    CellPatterns patterns;
    patterns.cellPixels = geometry.unitsPerByte * options.zoom;
    patterns.cellBytes = patterns.cellPixels * kScreenPixelBytes;
    patterns.stride = paddedCellBytes(patterns.cellBytes);
    patterns.colourRows = binaryCells ? 7 : options.zoom;
    const ModeRow& row = byteCellRow(options.colourMode);
    const HalfCells halves =
        makeHalfCells(row, makeColourBoxes(row.record->colours, 1 << row.bits, boxWidth, binaryCells));
    const std::array<uint8_t, 256>& transform =
        transformTable(options.inverse, options.reverseByte, options.nibbleSwap);
    for (int which = 0; which < CellPatterns::kBeforeData; ++which)
        writeCellOfHalves(patterns.bytes.data() + static_cast<size_t>(which) * patterns.stride,
                          row.byteTable[transform[which]], halves);
    // The bytes outside the data, after the data's cells and their excess.
    for (int which = CellPatterns::kBeforeData; which <= CellPatterns::kPastData; ++which) {
        const uint8_t value = transformedByte(0, false, options.reverseByte, options.nibbleSwap);
        uint8_t* out = patterns.bytes.data() + static_cast<size_t>(which) * patterns.stride;
        const ByteColours colours =
            decodedByteColours(options.colourMode, value, which == CellPatterns::kPastData);
        for (int j = 0; j < colours.count; ++j) {
            for (int p = 0; p < boxWidth; ++p) {
                const bool insetLine = binaryCells && p == boxWidth - 1;
                writePixel(out + (j * boxWidth + p) * kScreenPixelBytes,
                           insetLine ? kColourBlack : colours.pixel[j]);
            }
        }
    }
    return patterns;
}

// What one pixel row of cells needs: where the cells come from and how the view row's
// bytes are spread over the strips.
struct LineWalk {
    const uint8_t* data;
    uint64_t dataSize;
    const uint8_t* cells;  // the 256 patterns of the data bytes, `stride` apart
    size_t stride;
    const uint8_t* before;  // pattern of the bytes before the data
    const uint8_t* past;    // pattern of the bytes at or past its end
    int bytesPerRow;
    int columns;        // byte columns that start left of the right edge and lie in a strip
    int wholeColumns;   // byte columns that end left of the right edge
    int64_t count;      // bytes the view draws at most
    int64_t stripJump;  // from a strip's last byte in a row to the next strip's first
    size_t lineEnd;     // bytes of a pixel row of the target
};

// The writers below take the walk by value: as locals its fields stay in registers,
// where through a reference every copy into the line might change them.

inline const uint8_t* cellOf(const LineWalk walk, int64_t index) {
    if (static_cast<uint64_t>(index) < walk.dataSize) return walk.cells + walk.data[index] * walk.stride;
    return index < 0 ? walk.before : walk.past;
}

// Inlined with a constant size, the copy of a whole cell is a few plain stores; only the
// cell that the right edge cuts takes a copy of variable length.
inline void copyCell(uint8_t* line, const LineWalk& walk, int column, const uint8_t* cell, int size) {
    const size_t at = static_cast<size_t>(column) * size;
    if (column < walk.wholeColumns) {
        std::memcpy(line + at, cell, size);
    } else {
        std::memcpy(line + at, cell, walk.lineEnd - at);
    }
}

// The cells of view row `row` along one pixel row, strip by strip; returns the columns
// written. A strip's bytes that all lie in the data and end left of the edge are copied
// without any further test.
template <int kCellBytes>
int writeLineByRuns(uint8_t* line, int row, int64_t first, const LineWalk walk, int cellBytes) {
    const int size = kCellBytes != 0 ? kCellBytes : cellBytes;
    return forEachByteRun(walk, row, first, [&](int column, int64_t index, int run) {
        int k = 0;
        if (index >= 0 && static_cast<uint64_t>(index + run) <= walk.dataSize) {
            k = std::max(0, std::min(run, walk.wholeColumns - column));
            layCells<kCellBytes>(line + column * size, walk.data + index, k, walk.cells, walk.stride, size);
        }
        for (; k < run; ++k) copyCell(line, walk, column + k, cellOf(walk, index + k), size);
    });
}

// The same for rows of very few bytes, where setting up a run per strip costs more than
// testing every cell.
template <int kCellBytes>
int writeLineByCells(uint8_t* line, int row, int64_t first, const LineWalk walk, int cellBytes) {
    const int size = kCellBytes != 0 ? kCellBytes : cellBytes;
    int64_t slot = int64_t{row} * walk.bytesPerRow;
    int64_t index = first + slot;
    int column = 0;
    for (int k = 0; column < walk.columns && slot < walk.count; ++column) {
        copyCell(line, walk, column, cellOf(walk, index), size);
        ++index;
        ++slot;
        if (++k == walk.bytesPerRow) {
            k = 0;
            index += walk.stripJump;
            slot += walk.stripJump;
        }
    }
    return column;
}

// Walks the view row by row and, within a row, across the strips, so that the buffer is
// written in address order; each pixel row gets the background only to the right of its
// bytes. Bytes whose cells start at or beyond the right edge are only ever clipped, so
// they are never visited. kCellBytes is the cell size when known at compile time (every
// copy is then a few plain stores), 0 when only patterns.cellBytes knows it. Returns the
// first pixel row below the rows drawn.
template <int kCellBytes>
int drawBytesInRows(const ImageBuffer& target, const DataBytes& data, const SheetOptions& options,
                    const CellPatterns& patterns, const CheckerRows& checker) {
    const int size = kCellBytes != 0 ? kCellBytes : patterns.cellBytes;
    const int rows = rowsPerStrip(options);
    LineWalk walk;
    walk.data = data.bytes;
    walk.dataSize = static_cast<uint64_t>(data.size);
    walk.cells = patterns.bytes.data();
    walk.stride = static_cast<size_t>(patterns.stride);
    walk.before = patterns.entry(CellPatterns::kBeforeData);
    walk.past = patterns.entry(CellPatterns::kPastData);
    walk.bytesPerRow = options.bytesPerRow;
    const int visibleColumns = (target.width + patterns.cellPixels - 1) / patterns.cellPixels;
    walk.columns = static_cast<int>(
        std::min<int64_t>(visibleColumns, int64_t{stripCount(options)} * options.bytesPerRow));
    walk.wholeColumns = target.width / patterns.cellPixels;
    walk.count = bytesToDraw(options, data.size);
    walk.stripJump = int64_t{rows - 1} * options.bytesPerRow;
    walk.lineEnd = static_cast<size_t>(target.width) * kScreenPixelBytes;
    const bool shortRows = options.bytesPerRow < 4;

    int y = 0;
    for (int row = 0; row < rows && int64_t{row} * options.bytesPerRow < walk.count; ++row) {
        y = row * options.zoom;
        if (y >= target.height) return y;
        uint8_t* line = imageRow(target, y);
        const int columns = shortRows ? writeLineByCells<kCellBytes>(line, row, options.first, walk, size)
                                      : writeLineByRuns<kCellBytes>(line, row, options.first, walk, size);
        const size_t lineBytes = std::min(static_cast<size_t>(columns) * size, walk.lineEnd);
        checker.fillRow(target, y, lineBytes);
        // The other pixel rows of the view row repeat the first, or are black below the
        // inset Binary cells at zoom 8.
        for (int cellRow = 1; cellRow < options.zoom && y + cellRow < target.height; ++cellRow) {
            uint8_t* out = imageRow(target, y + cellRow);
            if (cellRow < patterns.colourRows) {
                std::memcpy(out, line, lineBytes);
            } else {
                std::memset(out, 0, lineBytes);
            }
            checker.fillRow(target, y + cellRow, lineBytes);
        }
        y += options.zoom;
    }
    return y;
}

// ---- The modes beyond the four: every unit row is decoded into packed pixel values,
// and a table of the screen bytes of every packed byte value lays them out.

// Values of a byte each whose colours are grey levels (the formats' own greys), one screen pixel a
// pixel: 16 pixels a round in vector lanes. Three equal screen bytes a level: 16-bit lanes of levels
// put in place by constant shuffles (none of them across more than what SSE2's word and dword
// shuffles reach), then their low bytes.

// The 24 screen bytes of 8 levels (each three times over) as three 8-lane pieces: screen bytes
// 0-7, 8-15 and 16-23.
struct TripledLevels {
    Words8 first, second, third;
};

inline TripledLevels tripled(Words8 levels) {
    const auto dwords = reinterpret_cast<Dwords4>(levels);
    const auto low = reinterpret_cast<Words8>(__builtin_shufflevector(dwords, dwords, 0, 1, 0, 1));
    const auto high = reinterpret_cast<Words8>(__builtin_shufflevector(dwords, dwords, 2, 3, 2, 3));
    return {__builtin_shufflevector(low, low, 0, 0, 0, 1, 5, 5, 6, 6),
            __builtin_shufflevector(levels, levels, 2, 3, 3, 3, 4, 4, 4, 5),
            __builtin_shufflevector(high, high, 1, 1, 2, 2, 6, 7, 7, 7)};
}

// Grey levels of values 0..top as (value x multiplier) >> shift in 16-bit lanes (1 and 0 where the
// values are their levels).
struct GreyScale {
    bool usable = false;
    uint16_t multiplier = 1;
    int shift = 0;
};

// The scale whose levels are colours[0..top] (top 1..255), if one is.
GreyScale greyScaleOf(const int32_t* colours, int top) {
    for (int shift = 0; shift <= 8; ++shift) {
        const int nearest = (255 << shift) / top;
        for (int multiplier = std::max(nearest, 1); multiplier <= nearest + 1; ++multiplier) {
            bool fits = top * multiplier <= 0xFFFF;
            for (int v = 0; v <= top && fits; ++v)
                fits = ((v * multiplier) >> shift) * 0x010101 == colours[v];
            if (fits) return {true, static_cast<uint16_t>(multiplier), shift};
        }
    }
    return {};
}

// The 48 screen bytes of the levels of 16 values.
template <bool kScaled>
inline void writeTripledLevels(Bytes16 values, const GreyScale& scale, uint8_t* out) {
    const Bytes16 zero{};
    Words8 first8 = interleaveLow(values, zero), last8 = interleaveHigh(values, zero);
    if constexpr (kScaled) {
        first8 = (first8 * scale.multiplier) >> scale.shift;
        last8 = (last8 * scale.multiplier) >> scale.shift;
    }
    const TripledLevels a = tripled(first8), b = tripled(last8);
    // Three stores of their own: an array of the three would be written to the stack first.
    const Bytes16 first = lowBytes(a.first, a.second), second = lowBytes(a.third, b.first),
                  third = lowBytes(b.second, b.third);
    std::memcpy(out, &first, 16);
    std::memcpy(out + 16, &second, 16);
    std::memcpy(out + 32, &third, 16);
}

template <bool kScaled>
int writeGreyRoundsScaled(uint8_t* out, const uint8_t* values, int count, const GreyScale scale) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        Bytes16 levels;
        std::memcpy(&levels, values + i, 16);
        writeTripledLevels<kScaled>(levels, scale, out + 3 * i);
    }
    return i;
}

// Cells of 3 screen bytes (a pixel of a value of 8 bits or fewer, packed in a byte) in grey, 16
// pixels a round; returns the pixels laid out, leaving fewer than 16. (Cells of two 4-bit values
// the same way took more instructions and more time than their table.)
int writeGreyRounds(uint8_t* out, const uint8_t* values, int count, const GreyScale& scale) {
    if (scale.multiplier == 1 && scale.shift == 0)
        return writeGreyRoundsScaled<false>(out, values, count, scale);
    return writeGreyRoundsScaled<true>(out, values, count, scale);
}

// Screen bytes of the pixels of every packed byte value, at the render's zoom.
struct PackedCells {
    int pixelsPerByte = 0;
    int cellBytes = 0;
    int stride = 0;  // paddedCellBytes(cellBytes)
    GreyScale grey;  // usable: values one screen pixel wide in a byte each, whose colours are its levels
    std::array<uint8_t, 256 * kLargestCellBytes + 16> bytes;  // + the last cell's excess
    // Cells of 3 bytes: each value's screen bytes as the first and as the second cell of a pair, in
    // memory order, so that a pair of cells is one or of two look-ups and one 8-byte store.
    std::array<uint64_t, 256> pairFirst, pairSecond;
};

// Cells of 3 bytes two at a time: each pair's 8-byte store writes 2 bytes of the next cell, which
// the next store overwrites; the last one to four cells are laid out one by one.
void writePixelPairs(uint8_t* line, size_t at, const uint8_t* packed, int whole, const PackedCells& cells) {
    uint8_t* out = line + at;
    int i = 0;
    for (; i + 8 < whole; i += 8, packed += 8, out += 24) {
        for (int k = 0; k < 4; ++k) {
            const uint64_t pair = cells.pairFirst[packed[2 * k]] | cells.pairSecond[packed[2 * k + 1]];
            std::memcpy(out + 6 * k, &pair, 8);
        }
    }
    layCells<3>(out, packed, whole - i, cells.bytes.data(), 4, 3);
}

PackedCells makePackedCells(const ModeRow& row, const SheetOptions& options) {
    const int zoom = options.zoom;
    PackedCells cells;
    cells.pixelsPerByte = 8 / row.packBits;
    const int boxPixels = row.pixelWidth * zoom;
    cells.cellBytes = cells.pixelsPerByte * boxPixels * kScreenPixelBytes;
    cells.stride = paddedCellBytes(cells.cellBytes);
    const int mask = (1 << row.packBits) - 1;
    int32_t colours[256];
    for (int value = 0; value <= mask; ++value) colours[value] = unitValueColour(options, value);
    // (The decoders give no value past the mode's bits.)
    if (boxPixels == 1 && row.packBits == 8) cells.grey = greyScaleOf(colours, (1 << row.bits) - 1);
    if (row.packBits <= 4) {
        const HalfCells halves = makeHalfCells(row, makeColourBoxes(colours, mask + 1, boxPixels, false));
        for (unsigned v = 0; v < 256; ++v)
            writeCellOfHalves(cells.bytes.data() + static_cast<size_t>(v) * cells.stride, v, halves);
    } else {
        for (int v = 0; v < 256; ++v)
            for (int p = 0; p < boxPixels; ++p)
                writePixel(cells.bytes.data() + static_cast<size_t>(v) * cells.stride + p * kScreenPixelBytes,
                           colours[v]);
    }
    if (cells.cellBytes == 3) {
        for (int v = 0; v < 256; ++v) {
            uint8_t first[8] = {}, second[8] = {};
            std::memcpy(first, cells.bytes.data() + v * 4, 3);
            std::memcpy(second + 3, first, 3);
            std::memcpy(&cells.pairFirst[v], first, 8);
            std::memcpy(&cells.pairSecond[v], second, 8);
        }
    }
    return cells;
}

// A decoded line never holds more packed bytes than the view has pixels, plus one unit.
constexpr int kPackedLine = kLargestViewSide + 2048;

struct UnitWalk {
    DataBytes data;
    const ModeRow* row;
    ViewGeometry geometry;
    SheetOptions options;
    int64_t strips;
    const uint8_t* transform;
    RawByteTable packedOfRaw;
    bool packedIsRaw;
    bool packedSwapsNibbles;
    bool identity;  // the transform changes no byte
};

UnitWalk makeUnitWalk(const DataBytes& data, const SheetOptions& options, int viewWidth) {
    UnitWalk walk{};
    walk.data = data;
    walk.row = modeRow(options.colourMode, options.addedModes);
    walk.options = options;
    walk.geometry = viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow, options.zoom,
                                 options.viewHeight);
    const int64_t stripPixels = walk.geometry.stripWidth * options.zoom;
    walk.strips = options.multiColumn ? (viewWidth + stripPixels - 1) / stripPixels : 1;
    const ByteTransform transform = byteTransform(options);
    walk.transform = transform.table;
    walk.identity = transform.identity;
    walk.packedOfRaw = packedOfRawBytes(*walk.row, walk.transform);
    walk.packedIsRaw = keepsEveryByte(walk.packedOfRaw);
    walk.packedSwapsNibbles = swapsEveryNibblePair(walk.packedOfRaw);
    return walk;
}

UnitBytes unitBytesAt(const UnitWalk& walk, int64_t start) {
    return {walk.data.bytes,
            walk.data.size,
            walk.transform,
            start,
            walk.options.bytesPerRow,
            walk.packedOfRaw.data(),
            walk.packedIsRaw,
            walk.packedSwapsNibbles,
            walk.identity};
}

template <int kCellBytes>
size_t writePackedCells(uint8_t* line, size_t at, size_t lineEnd, const uint8_t* packed, int count,
                        const PackedCells& cells) {
    const int size = kCellBytes != 0 ? kCellBytes : cells.cellBytes;
    const auto stride = static_cast<size_t>(cells.stride);
    const int whole = static_cast<int>(std::min<size_t>(count, (lineEnd - at) / size));
    int laid = 0;
    if constexpr (kCellBytes == 3) {
        if (cells.grey.usable) laid = writeGreyRounds(line + at, packed, whole, cells.grey);
    }
    const size_t from = at + static_cast<size_t>(laid) * size;
    if constexpr (kCellBytes == 3) {
        writePixelPairs(line, from, packed + laid, whole - laid, cells);
    } else {
        layCells<kCellBytes>(line + from, packed + laid, whole - laid, cells.bytes.data(), stride, size);
    }
    size_t end = at + static_cast<size_t>(whole) * size;
    if (whole < count && end < lineEnd) {
        std::memcpy(line + end, cells.bytes.data() + packed[whole] * stride, lineEnd - end);
        end = lineEnd;
    }
    return end;
}

using PackedWriter = size_t (*)(uint8_t*, size_t, size_t, const uint8_t*, int, const PackedCells&);

PackedWriter packedWriterFor(int cellBytes) {
    switch (cellBytes) {
        case 3:
            return writePackedCells<3>;
        case 6:
            return writePackedCells<6>;
        case 12:
            return writePackedCells<12>;
        case 24:
            return writePackedCells<24>;
        case 48:
            return writePackedCells<48>;
        default:
            return writePackedCells<0>;
    }
}

// Decodes unit row `line` of every strip into `packed` (indexed by pixel >> byteShift) and
// notes the runs of pixels drawn and where each run's packed values lie, adjacent strips' runs
// in `packed` merged. One division per strip. A row whose bytes are its packed values and lie in
// the data is not copied: its run's values are the data's bytes.
void decodeLine(const UnitWalk& walk, int64_t line, int64_t viewPixels, int byteShift, uint8_t* packed,
                SpanList& pixelRuns, const uint8_t** sources) {
    const ViewGeometry& g = walk.geometry;
    const int64_t viewRow = line / g.unitHeight;
    const int unitRow = static_cast<int>(line % g.unitHeight);
    const int64_t unitPixels = g.unitWidth / walk.row->pixelWidth;
    pixelRuns.count = 0;
    for (int64_t s = 0; s < walk.strips; ++s) {
        const int64_t stripPixel = s * g.unitsPerRow * unitPixels;
        if (stripPixel >= viewPixels) break;
        const int64_t start = walk.options.first + (s * g.rowsPerStrip + viewRow) * g.rowBytes;
        const int64_t visible =
            std::min(g.unitsPerRow, (viewPixels - stripPixel + unitPixels - 1) / unitPixels);
        const UnitRange range = drawnUnits(start, g.unitBytes, walk.data.size);
        const int64_t low = std::min(range.low, visible);
        const int64_t high = std::min(range.high, visible);
        if (low >= high) continue;
        const int64_t firstPixel = stripPixel + low * unitPixels;
        const int64_t lastStart = stripPixel + (high - 1) * unitPixels;
        const int64_t lastPixels = std::min(unitPixels, viewPixels - lastStart);
        const int64_t firstByte = start + low * g.unitBytes;
        const auto from = static_cast<size_t>(firstPixel);
        const auto to = static_cast<size_t>(lastStart + lastPixels);
        // (A linear row is one unit a strip: its pixels are its bytes.)
        if (walk.row->bytesAreValues && walk.packedIsRaw && firstByte >= 0 &&
            firstByte + lastPixels <= walk.data.size) {
            sources[pixelRuns.count] = walk.data.bytes + firstByte;
            pixelRuns.items[pixelRuns.count++] = {from, to};
            continue;
        }
        decodeUnitLine(*walk.row, unitBytesAt(walk, firstByte), unitRow, static_cast<int>(high - low),
                       g.unitBytes, static_cast<int>(unitPixels), static_cast<int>(lastPixels),
                       static_cast<int>(unitPixels >> byteShift), packed + (firstPixel >> byteShift));
        const int last = pixelRuns.count - 1;
        if (last >= 0 && pixelRuns.items[last].to == from && sources[last] == nullptr) {
            pixelRuns.items[last].to = to;
        } else {
            sources[pixelRuns.count] = nullptr;
            pixelRuns.items[pixelRuns.count++] = {from, to};
        }
    }
}

// Pixel line by pixel line in address order: each line's units decoded into one line of
// packed values, laid out run by run, the background in the gaps, then the line repeated for
// the zoom.
void drawUnitsDirect(const ImageBuffer& target, const DataBytes& data, const SheetOptions& options,
                     const CheckerRows& checker) {
    const UnitWalk walk = makeUnitWalk(data, options, target.width);
    const PackedCells cells = makePackedCells(*walk.row, options);
    const PackedWriter writeCells = packedWriterFor(cells.cellBytes);
    const size_t lineEnd = static_cast<size_t>(target.width) * kScreenPixelBytes;
    const int64_t viewPixels = viewPixelsOf(*walk.row, options.zoom, target.width);
    const int64_t lines = walk.geometry.rowsPerStrip * walk.geometry.unitHeight;
    const size_t pixelBytes = static_cast<size_t>(walk.row->pixelWidth) * options.zoom * kScreenPixelBytes;
    const int byteShift = cells.pixelsPerByte == 8   ? 3
                          : cells.pixelsPerByte == 4 ? 2
                          : cells.pixelsPerByte == 2 ? 1
                                                     : 0;
    SpanList pixelRuns;
    SpanList spans;
    uint8_t packed[kPackedLine];
    const uint8_t* sources[kLargestViewSide];
    int y = 0;
    for (int64_t line = 0; line < lines && (y = static_cast<int>(line * options.zoom)) < target.height;
         ++line) {
        uint8_t* out = imageRow(target, y);
        decodeLine(walk, line, viewPixels, byteShift, packed, pixelRuns, sources);
        spans.count = 0;
        for (int r = 0; r < pixelRuns.count; ++r) {
            const Span& run = pixelRuns.items[r];
            const size_t at = run.from * pixelBytes;
            const int count =
                static_cast<int>((run.to - run.from + cells.pixelsPerByte - 1) / cells.pixelsPerByte);
            const uint8_t* values =
                sources[r] != nullptr ? sources[r] : packed + run.from / cells.pixelsPerByte;
            spans.items[spans.count++] = {at, writeCells(out, at, lineEnd, values, count, cells)};
        }
        for (int cellRow = 0; cellRow < options.zoom && y + cellRow < target.height; ++cellRow) {
            uint8_t* copy = imageRow(target, y + cellRow);
            size_t cursor = 0;
            for (const Span& span : std::span(spans.items, spans.count)) {
                if (cellRow > 0) std::memcpy(copy + span.from, out + span.from, span.to - span.from);
                checker.fillSpan(target, y + cellRow, cursor, span.from);
                cursor = span.to;
            }
            checker.fillSpan(target, y + cellRow, cursor, lineEnd);
        }
        y += options.zoom;
    }
    for (; y < checker.height; ++y) checker.fillRow(target, y, 0);
}

using RowsWriter = int (*)(const ImageBuffer&, const DataBytes&, const SheetOptions&, const CellPatterns&,
                           const CheckerRows&);

// The cell sizes of the four modes at the four zooms: 2, 4, 8, 16, 32 or 64 pixels.
RowsWriter rowsWriterFor(int cellBytes) {
    switch (cellBytes) {
        case 6:
            return drawBytesInRows<6>;
        case 12:
            return drawBytesInRows<12>;
        case 24:
            return drawBytesInRows<24>;
        case 48:
            return drawBytesInRows<48>;
        case 96:
            return drawBytesInRows<96>;
        case 192:
            return drawBytesInRows<192>;
        default:
            return drawBytesInRows<0>;
    }
}

void drawSheet(const ImageBuffer& target, const DataBytes& data, const SheetOptions& options,
               const CheckerRows& checker) {
    if (!isByteCellMode(options.colourMode, options.addedModes)) {
        drawUnitsDirect(target, data, options, checker);
        return;
    }
    const CellPatterns patterns = makeCellPatterns(options);
    int y = rowsWriterFor(patterns.cellBytes)(target, data, options, patterns, checker);
    for (; y < checker.height; ++y) checker.fillRow(target, y, 0);
}

}  // namespace plain

// The painter of a drawing whose values the expander turns into screen bytes.
LinePainter linePainter(const ImageBuffer& target, const DataBytes& data, const SheetOptions& options,
                        const CheckerRows& checker, const LineExpander& expander) {
    const int factor = modeRow(options.colourMode, options.addedModes)->pixelWidth * options.zoom;
    return {data,
            target,
            checker,
            *options.kernels,
            expander,
            options.zoom,
            static_cast<size_t>(factor) * kScreenPixelBytes,
            static_cast<size_t>(target.width) * kScreenPixelBytes,
            options.colourMode == kModeBinary && options.zoom == 8};
}

// Tiles whose 8-tile chunks the table's kernels load tile by tile.
bool drawsTileLanes(const SheetOptions& options) {
    return options.kernels->tileLanes && modeRow(options.colourMode, options.addedModes)->hasSourceBits &&
           modePlanHasTileLanes(options.colourMode, options.addedModes);
}

void drawSheetDirect(const ImageBuffer& target, const DataBytes& data, const SheetOptions& given) {
    SheetOptions options = given;
    if (options.kernels == nullptr) options.kernels = &portablePixelKernels();
    const CheckerRows checker(target, options);
    const ModeRow& row = *modeRow(options.colourMode, options.addedModes);
    // Values over 8 bits are written as colours, by every table of kernels alike.
    if (row.wide) {
        const LineExpander unused;
        int y = drawWideUnits(linePainter(target, data, options, checker, unused), options);
        for (; y < checker.height; ++y) checker.fillRow(target, y, 0);
        return;
    }
    // Lines of values pay where kernels expand them, decode an attribute screen's, and take byte
    // cells; else the portable table writer draws. Tiles of 8-bit values are drawn faster by the
    // table writer (one look-up a pixel) than through lines of values, unless the kernels load
    // them tile by tile.
    const bool byteCells = isByteCellMode(options.colourMode, options.addedModes);
    const int cellBytes = modeGeometry(options.colourMode).unitsPerByte * options.zoom * kScreenPixelBytes;
    if (options.kernels->expandLine == nullptr ||
        (options.colourMode == kModeZx && options.kernels->attributePixels == nullptr) ||
        (byteCells && cellBytes < options.kernels->byteCellBytesFrom) ||
        (row.bits == 8 && row.layout == ModeLayout::Tiled && !drawsTileLanes(options)))
        return plain::drawSheet(target, data, options, checker);
    int32_t colours[256];
    int count = 0;
    if (byteCells) {
        loadByteCellColours(options.colourMode, colours, count);
    } else {
        loadUnitColours(options, colours, count);
    }
    LineExpander expander;
    makeLineExpander(expander, colours, count, row.pixelWidth * options.zoom);
    // The kernels look colours up in a table of 16.
    if (!expander.grey && count > 16) return plain::drawSheet(target, data, options, checker);
    const LinePainter painter = linePainter(target, data, options, checker, expander);
    int y = byteCells ? drawByteCells(painter, options) : drawUnits(painter, options);
    for (; y < checker.height; ++y) checker.fillRow(target, y, 0);
}

// The writer's tables are sized for a 24-bit target at most kLargestViewSide wide.
bool drawableTarget(const ImageBuffer& target) {
    return target.pixels != nullptr && target.depth == 24 && target.width >= 1 &&
           target.width <= kLargestViewSide && target.height >= 1 && target.height <= kLargestImageSide &&
           target.stride >= rowLength(target.width, 24);
}

int64_t sheetZoom(const SheetOptions& options) {
    return options.zoom >= 1 ? options.zoom : 1;
}

// Over the checkerboard, the size names no byte and is left out.
std::string viewStatusLine(const SheetOptions& options, int64_t dataSize, const char* dispLabel,
                           const char* sizeLabel, int mouseX, int mouseY) {
    std::string line = dispLabel + decimalText(options.first) + ",width=" + decimalText(options.bytesPerRow) +
                       ",x=" + decimalText(mouseCell(options, mouseX)) +
                       ",y=" + decimalText(mouseCell(options, mouseY));
    if (pointsAtDrawnByte(options, dataSize, mouseX, mouseY))
        line += sizeLabel + decimalText(mouseByteIndex(options, mouseX, mouseY));
    return line;
}

}  // namespace

const Palette* paletteInUse(const SheetOptions& options) {
    const ModeRow* row = modeRow(options.colourMode, options.addedModes);
    return row != nullptr && row->record->directColours ? nullptr : options.palette;
}

int32_t unitValueColour(const SheetOptions& options, uint32_t value) {
    const Palette* palette = paletteInUse(options);
    if (palette == nullptr) return modePixelColour(options.colourMode, value, options.addedModes);
    // Numbers past any palette's end show black.
    return value < static_cast<uint32_t>(kMostPaletteColours)
               ? paletteColour(*palette, options.paletteBase, static_cast<int>(value))
               : 0;
}

SheetResult drawSheet(const DataBytes& data, const SheetOptions& options, const ImageBuffer& target) {
    if (data.bytes == nullptr) return SheetResult::NothingLoaded;
    if (data.size < 0 || data.size > kLargestDataSize || !optionsInRange(options) || !drawableTarget(target))
        return SheetResult::CannotDraw;
    drawSheetDirect(target, data, options);
    return SheetResult::Drawn;
}

int byteColumnLimit(int mode, int viewWidth) {
    const int64_t atStartWidth = mode == kModeBk ? 192 : mode == kModeSam ? 80 : 75;
    return static_cast<int>((atStartWidth * std::max(viewWidth, 1) + kViewWidth - 1) / kViewWidth);
}

int32_t mouseCell(const SheetOptions& options, int coordinate) {
    return static_cast<int32_t>(coordinate / sheetZoom(options));
}

PointedByte pointedByte(const SheetOptions& options, int mouseX, int mouseY) {
    const int64_t zoom = sheetZoom(options);
    const ViewGeometry g = viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow,
                                        static_cast<int>(zoom), options.viewHeight);
    const int64_t unitX = mouseX / zoom;
    return {unitX / g.stripWidth, mouseY / zoom / g.unitHeight, unitX % g.stripWidth, g.rowsPerStrip};
}

int64_t mouseByteIndex(const SheetOptions& options, int mouseX, int mouseY) {
    const PointedByte pointed = pointedByte(options, mouseX, mouseY);
    return viewPointByte(options.colourMode, options.addedModes, 0, options.bytesPerRow,
                         pointed.strip * pointed.rowsPerStrip + pointed.row, pointed.unitX);
}

bool pointsAtDrawnByte(const SheetOptions& options, int64_t dataSize, int mouseX, int mouseY) {
    if (!optionsInRange(options) || mouseX < 0 || mouseY < 0 || mouseX >= options.viewWidth ||
        mouseY >= options.viewHeight)
        return false;
    const PointedByte pointed = pointedByte(options, mouseX, mouseY);
    if (isByteCellMode(options.colourMode, options.addedModes)) {
        // The layout always draws the first byte, then bytes until the end of the data.
        const int64_t index = mouseByteIndex(options, mouseX, mouseY);
        return pointed.strip < stripCount(options) && (index == 0 || options.first + index < dataSize);
    }
    // A tile or row is drawn when it starts before the end of the data and reaches byte 0.
    const ViewGeometry g = viewGeometry(options.colourMode, options.addedModes, options.bytesPerRow,
                                        options.zoom, options.viewHeight);
    const int64_t unitStart = options.first +
                              (pointed.strip * pointed.rowsPerStrip + pointed.row) * g.rowBytes +
                              pointed.unitX / g.unitWidth * g.unitBytes;
    return (pointed.strip == 0 || options.multiColumn) && unitStart < dataSize && unitStart + g.unitBytes > 0;
}

int64_t viewRowBytes(int mode, const AddedModes* added, int bytesPerRow) {
    return viewGeometry(mode, added, bytesPerRow, 1, 1).rowBytes;
}

int64_t jumpRowAt(const SheetOptions& options, int64_t rowPosition, int mouseX, int mouseY) {
    const PointedByte pointed = pointedByte(options, mouseX, mouseY);
    return pointed.strip * pointed.rowsPerStrip + pointed.row + rowPosition;
}

std::string statusTextForRender(const SheetOptions& options, int64_t dataSize, int mouseX, int mouseY) {
    return viewStatusLine(options, dataSize, "Disp=", ",size=", mouseX, mouseY);
}

std::string statusTextForMouseMove(const SheetOptions& options, int64_t dataSize, int mouseX, int mouseY) {
    return viewStatusLine(options, dataSize, "Disp:", ",size:", mouseX, mouseY);
}
