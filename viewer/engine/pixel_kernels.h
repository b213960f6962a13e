// The kernels of the view's drawing: decoding a run of a mode's bytes into a line of pixel
// values (one byte per pixel), and turning such lines into 24-bit screen pixels stored into every
// image row they cover. The drawing calls them through a table (PixelKernels). The portable table
// has none, and the drawing then lays out screen bytes from tables of its own; a table for an
// instruction set (pixel_kernels_avx512.cpp) puts its kernels over the portable entries when the
// processor has the instructions; pixel_kernel_tables.h gives the tables.
#pragma once

#include <cstddef>
#include <cstdint>

// The image's pixels are 24-bit: three screen bytes each.
constexpr int kScreenPixelBytes = 3;

// A line of pixel values is read up to this many bytes past its last pixel.
constexpr int kValueLinePadding = 256;

// How a line of values becomes screen bytes, made once per drawing. The decoders write each
// pixel's value through `valueMap`: for a grey palette the value is the grey level itself,
// otherwise the colour number (at most 16 colours). Every value is `factor` (1, 2, 4, 8 or 16)
// screen pixels wide.
struct LineExpander {
    int factor = 1;
    int groupPixels = 64;  // the pixels of three output vectors: 64 / factor
    bool grey = true;
    bool mapIdentity = true;
    alignas(64) uint8_t valueMap[256] = {};
    alignas(64) uint8_t colours[64] = {};     // colour: screen byte c of colour v at 16 c + v
    alignas(64) uint8_t pick[3][64] = {};     // byte i of output vector k: pixel (64k + i) / (3 factor)
    alignas(64) uint8_t channel[3][64] = {};  // and 16 x its screen byte (64k + i) mod 3
};

// Makes the expander of `count` colours (0x00BBGGRR, 1..256) for values `factor` screen pixels wide.
void makeLineExpander(LineExpander& expander, const int32_t* colours, int count, int factor);

// Where an expanded line goes: `rows` image rows, the first at `first`, each `step` bytes after
// the one before (negative for images stored bottom up).
struct LineRows {
    uint8_t* first;
    ptrdiff_t step;
    int rows;
};

// Where value bit b of pixel x (0..63) of a 64-pixel chunk lies: `bit` of the byte `offset`
// bytes after the chunk's first byte (for plane modes, after the chunk's first byte of plane b).
struct SourceBit {
    int offset = 0;
    int bit = 0;
};

// Value bit b of pixel x of a chunk of a mode with `depth`-bit pixels, as bits[b][x].
struct SourceBitMap {
    SourceBit bits[8][64] = {};
};

// How a mode's pixels are decoded 64 at a time: the chunks follow each other `chunkBytes`
// apart; with planeStride, value bit b reads planeStride x b further on. The bytes of a chunk
// are moved into eight 64-bit lanes, and one bit-matrix multiply per lane (GF(2) affine)
// turns them into values:
// - planar modes (value bit b of pixel x is bit 7 - x mod 8 of one byte per 8 pixels): each
//   lane holds the plane bytes of 8 pixels as the matrix, one row per value bit;
// - packed modes (all bits of a pixel in one byte): pixels of the same bit layout share a
//   lane holding their bytes, the lane's matrix picks the bits, and the values are put back
//   in pixel order.
// For grey levels that repeat the value's bits (1, 2 and 4 bits) the matrix rows repeat the
// bits, so the values are the levels themselves.
struct BitGatherPlan {
    bool usable = false;
    bool planar = false;
    bool levels = false;  // the values come out as the expander's grey levels
    int depth = 0;
    int chunkBytes = 0;
    int windowVectors = 1;  // 64-byte loads that a chunk reads; planes: 8 bytes of each
    int reach = 0;          // bytes from a chunk's first (of plane 0) to its last byte read, + 1
    int64_t planeStride = 0;
    uint8_t arrange[64] = {};   // the window byte (mod 128) for each byte of the lanes; planes:
                                // + 64 for an odd plane
    uint64_t arrangeHigh = 0;   // bytes from window bytes 128..255
    uint64_t pairKeep[4] = {};  // planes: the bytes from planes 2p and 2p + 1
    uint64_t keep = 0;          // bytes that are not 0
    uint8_t matrix[64] = {};    // planar: the unit bytes the matrix multiplies; packed: the matrices
    uint8_t reorder[64] = {};   // packed: the lane byte of each pixel
    // Chunks of 8 tiles of 8 pixels too far apart for the windows (usable stays false): lane g reads
    // tile g, laneStride bytes after the one before, at the same offsets of it as lane 0
    // (arrange[0..7], keep's bits 0..7) within 128 bytes; packed: lane g is pixels 8g .. 8g + 7.
    bool tileLanes = false;
    int laneStride = 0;
};

// levelsByRepeat: the expander's grey level of every value repeats the value's bits. Making a plan
// asks for every bit of a chunk (a microsecond or two): a drawing keeps the plans of its modes.
BitGatherPlan bitGatherPlan(const SourceBitMap* source, int depth, int chunkBytes, int64_t planeStride,
                            bool levelsByRepeat);

// Whether the expander's values for `depth`-bit pixels are levels that repeat the bits.
bool levelsRepeatBits(const LineExpander& expander, int depth);

// Whether a plan's values go through the expander's map: unless its bits are the levels already.
inline bool mapsValues(const BitGatherPlan& plan, const LineExpander& e) {
    return !plan.levels && !e.mapIdentity;
}

// Bytes [from, from + bytes) asked for ahead, every cache line they touch.
inline void prefetchBytes(const uint8_t* from, int64_t bytes) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(from);
    for (uintptr_t at = start & ~uintptr_t{63}; at < start + static_cast<uint64_t>(bytes); at += 64)
        __builtin_prefetch(reinterpret_cast<const void*>(at));
}

// Asks for bytes [from, from + bytes) of the data (`size` bytes) ahead, those inside it only.
void prefetchRange(const uint8_t* data, int64_t size, int64_t from, int64_t bytes);

// Bytes of the data that a run of a mode's bytes reads, after the byte transforms, and what
// its values are written as.
struct SourceRun {
    const uint8_t* bytes;  // the run's first byte; the whole run lies in the data
    int64_t size;          // bytes readable from `bytes` on (to the end of the data)
    const uint8_t* transform;
    bool identity;  // the transform changes no byte
    const LineExpander* expander;
};

// Bytes from a run's first byte to the last that decoding `pixels` pixels by the plan reads, + 1.
int64_t planReach(const BitGatherPlan& plan, int pixels);

// Where value bit i of pixel x (0..63) lies by the plan (the matrix row 7 - i that gives it): `bit` of
// the byte `offset` bytes from the chunk's first (plans of tile lanes: from the first of the pixel's
// tile); false where the row is empty.
struct BitPlace {
    int64_t offset;
    int bit;
};
bool placeOf(const BitGatherPlan& plan, int i, int x, BitPlace& place);

// A screen of 1-bit pixels coloured by an attribute byte per 8 pixels: ink (bits 0-2) where the
// pixel's bit is set, else paper (bits 3-5), bit 6 (bright) as value bit 3. Pixel row y of `units`
// screens `unitBytes` apart: its bitmap bytes start `bitmapRow` bytes into a screen, its
// attributes `attributeRow` bytes; each screen gives `unitPixels` values, the last `lastPixels`.
struct AttributeRow {
    int64_t bitmapRow, attributeRow, unitBytes;
    int units, unitPixels, lastPixels;
};

// Where pixel row y of an attribute screen has its bitmap bytes and its attributes.
struct AttributeRowOffsets {
    int64_t bitmap, attributes;
};

// One run of a line: `pixels` values decoded from `offset` bytes after the line's first byte
// into the line from pixel `pixel` on, reading ahead `aheadBytes` bytes from there.
struct LineStrip {
    int64_t offset;
    int pixel, pixels;
    int64_t aheadBytes;
};

// Lines drawn in one go, every byte their runs read lying in the data: line n starts
// (n / unitRows) x rowStep + (n mod unitRows) x unitRowStep bytes after `first` and fills image
// rows rows.first + n x lineStep on (rows.rows of them), its runs expanded over the first
// `runBytes` screen bytes and the checkerboard after them up to `lineBytes`.
struct LineBatch {
    const uint8_t* data;
    int64_t dataSize, first;
    const LineStrip* strips;
    int stripCount;
    int lines, unitRows;
    int64_t rowStep, unitRowStep;
    const uint8_t* transform;
    bool identity;
    bool copy;  // 8-bit values that are the bytes themselves, not decoded by a plan; a strip's
                // bytes are then read up to 64 past its last pixel's
    LineRows rows;
    ptrdiff_t lineStep;
    size_t runBytes, lineBytes;
    const uint8_t* checker[2];  // the background of image rows firstImageRow, firstImageRow + 1, ...
    int firstImageRow;
    int linesAhead;  // unitRows 1: lines whose bytes are asked for ahead; else the next view row's
    // Attribute screens (unitRowStep 0): unit row y's offsets, for units unitBytes apart of
    // unitPixels pixels each; null for the others.
    const AttributeRowOffsets* attributeRows = nullptr;
    int64_t unitBytes = 0;
    int unitPixels = 0;
    // Byte cells: the pixels of each byte, whose bits alone give their values; 0 for other modes.
    int cellPixels = 0;
};

// The bytes of the runs of a batch's line that starts at lineStart, asked for ahead.
void prefetchLine(const LineBatch& b, int64_t lineStart);

// Line n of a batch (its first image row at `first`) right of its runs: the background.
void fillPastRuns(const LineBatch& b, int n, uint8_t* first);

// Lines of values, each written kValueLinePadding past its end.
struct ValueLines {
    uint8_t* first;
    int count;
    size_t lineBytes;  // from one line's first value to the next's
};

// The unit rows of a view row that a batch decodes at once, given as many lines of values.
constexpr int kSharedUnitRows = 8;

// Pixels whose values are colours, one whole word a pixel, the words side by side: screen byte c
// (blue, green, red) of a pixel is levels[c][(value >> shift[c]) & 255], where the value is the
// word's `bytes` bytes in their byte order. A channel of no bits has levels of 0. Made once per
// drawing.
struct DirectColourWords {
    int bytes = 2;  // 2, 3 or 4
    bool bigEndian = false;
    int shift[3] = {};
    int bits[3] = {};  // 0..8
    // The level of the channel's bits and of any bits above them: the bits' level repeats every
    // 2^bits entries (so levels[c][0..63] is the channel's table for a 64-byte look-up).
    alignas(64) uint8_t levels[3][256] = {};
    // Every channel of 8 bits is a whole byte of the word (or has no bits): screen byte i of 16
    // pixels is byte pick[i] of their 16 words, where bit i of `keep` is set; else 0.
    bool wholeBytes = false;
    alignas(64) uint8_t pick[64] = {};
    uint64_t keep = 0;
    // Each channel's level is also (c x factor[c] + add[c]) >> levelShift[c], all in 16 bits, where c
    // is (value >> shift[c]) & (2^bits[c] - 1).
    uint16_t factor[3] = {}, add[3] = {};
    int levelShift[3] = {};
    // wholeBytes, words of 3 or 4 bytes: screen byte i of vector k of 64 pixels (k = 0, 1, 2) is byte
    // roundPick[k][i] of two 64-byte loads, the first from word roundFirstPixel(k), the second
    // ending with word roundEndPixel(k) - 1, where bit i of roundKeep[k] is set; else 0.
    alignas(64) uint8_t roundPick[3][64] = {};
    uint64_t roundKeep[3] = {};
    // Words of 2 bytes whose channels have at most 6 bits (narrowWords): vector k of 64 pixels from
    // the 32 words from wordRoundLoad(k) on. Their bytes put by roundPick[k] (in their byte order),
    // each 8 bytes of the vector hold the words of its pixels as a 64-bit integer, and screen byte i
    // is levels[c][(that integer >> roundBits[k][i]) & 63] for its channel c.
    bool narrowWords = false;
    alignas(64) uint8_t roundBits[3][64] = {};
};

// The pixels whose screen bytes vector k (0, 1, 2) of 64 pixels holds: from roundFirstPixel(k) up to
// roundEndPixel(k), 22 of them.
constexpr int roundFirstPixel(int k) {
    return 64 * k / kScreenPixelBytes;
}
constexpr int roundEndPixel(int k) {
    return (64 * k + 63) / kScreenPixelBytes + 1;
}
constexpr int wordRoundLoad(int k) {
    return roundFirstPixel(k) < 32 ? roundFirstPixel(k) : 32;
}

// Rows of direct colour words, `pixels` words each: row r's words start r x wordStep bytes after
// `words`, its screen bytes (3 a pixel) r x outStep bytes after `out`.
struct DirectColourRows {
    const uint8_t* words;
    ptrdiff_t wordStep;
    uint8_t* out;
    ptrdiff_t outStep;
    int rows, pixels;
};

// ---- The table of kernels. An entry that is nullptr is a kernel the table does not have; an
// entry may also decline a piece of work (false, nothing written), which the drawing then does
// in its own portable way.
struct PixelKernels {
    const char* name;  // as PL_PIXEL_KERNEL names it: "plain", "avx2", "avx512"
    // Writes `bytes` screen bytes of pixel values values[0..] into each row from byte offset
    // `at`; the last pixel may be cut. The drawing goes through lines of values only where the
    // table has this kernel.
    void (*expandLine)(const LineExpander& expander, const uint8_t* values, const LineRows& rows, size_t at,
                       size_t bytes) = nullptr;
    // Writes the values of `pixels` pixels (rounded up to 64) by the plan.
    bool (*gatherPixels)(const BitGatherPlan& plan, const SourceRun& run, int pixels,
                         uint8_t* values) = nullptr;
    // The values of a row of attribute screens.
    bool (*attributePixels)(const SourceRun& run, const AttributeRow& row, uint8_t* values) = nullptr;
    // 8-bit values of a grey ramp: the bytes themselves.
    bool (*copyPixels)(const SourceRun& run, int pixels, uint8_t* values) = nullptr;
    // Draws the batch into the image through lines of values.
    bool (*drawLineBatch)(const BitGatherPlan& plan, const LineExpander& expander, const LineBatch& batch,
                          const ValueLines& values) = nullptr;
    // Writes the screen bytes of rows of direct colour words.
    bool (*directColours)(const DirectColourWords& plan, const DirectColourRows& rows) = nullptr;
    // The four byte-cell modes draw through these kernels where a byte's cell has at least this many
    // screen bytes; smaller cells the portable table writer, which turns each byte into its screen
    // bytes at once, draws faster.
    int byteCellBytesFrom = 0;
    // The batches of plans of tile lanes are drawn by drawLineBatch.
    bool tileLanes = false;
};

// The table's kernels where it has them; false (nothing written) where it has none.
bool gatherPixels(const PixelKernels& kernels, const BitGatherPlan& plan, const SourceRun& run, int pixels,
                  uint8_t* values);
bool attributePixels(const PixelKernels& kernels, const SourceRun& run, const AttributeRow& row,
                     uint8_t* values);
bool copyPixels(const PixelKernels& kernels, const SourceRun& run, int pixels, uint8_t* values);
bool drawLineBatch(const PixelKernels& kernels, const BitGatherPlan& plan, const LineExpander& expander,
                   const LineBatch& batch, const ValueLines& values);
bool directColours(const PixelKernels& kernels, const DirectColourWords& plan, const DirectColourRows& rows);
