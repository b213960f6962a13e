// The colour modes as one table: the four byte-cell modes and the linear and tiled modes
// of other machines. Every mode beyond the four turns a row of its unit (a pixel row of a
// linear mode, a pixel row of a tile) into packed pixel values (the plain decoders), and
// says where the bits of its pixels lie (for the vector decoders); and the addressing of the
// view that all modes share.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "viewer/engine/pixel_kernels.h"

enum class ModeLayout {
    ByteCells,  // the four modes whose bytes each draw a short run of pixels
    Linear,     // a view row is one pixel row of `width` bytes (per plane)
    Tiled       // a view row is `width` tiles side by side
};

// Bytes of the unit that a row decoder reads, after inverse, reverse and nibble swap;
// bytes outside the data read as 0.
struct UnitBytes {
    const uint8_t* data;
    int64_t dataSize;
    const uint8_t* transform;  // 256 entries
    int64_t start;             // data index of the unit's byte 0
    int width;                 // bytes per plane row (linear modes)
    // The row's byte table over the transformed byte, for every raw byte (256 entries), where the
    // drawing made it once for all its rows; nullptr: both are looked up.
    const uint8_t* packedOfRaw = nullptr;
    bool packedIsRaw = false;         // packedOfRaw changes no byte: the bytes are their packed values
    bool packedSwapsNibbles = false;  // packedOfRaw swaps every byte's nibbles
    bool identity = false;            // the transform changes no byte

    // Bytes k0 .. k0 + n - 1 all lie in the data.
    bool inside(int64_t k0, int64_t n) const { return start + k0 >= 0 && start + k0 + n <= dataSize; }

    uint8_t at(int64_t k) const {
        const int64_t index = start + k;
        return static_cast<uint64_t>(index) < static_cast<uint64_t>(dataSize) ? transform[data[index]] : 0;
    }
    void skip(int64_t n) { start += n; }
};

// The menus the machine modes are listed under; formats read from files come last.
enum class ModeGroup { Classic, Computers, Consoles, Files };

// Bit 0 of a byte is its most (Msb) or least (Lsb) significant bit.
enum class BitOrder { Msb, Lsb };

// The most value bits of a pixel drawn through packed values (and colour numbers); wider values
// (up to kMostValueBits) are drawn from 32-bit values.
constexpr int kMaxModeBits = 8;
constexpr int kMostValueBits = 32;

// A place in a cell, in bits from the cell's first byte, plus `widths` times the view row's
// width in bytes (the planes of a linear mode stored row after row).
struct BitAddress {
    int bits = 0;
    int widths = 0;
};

// Bit `bit` (0 = first in the bit order) of byte `byte`, `widths` row widths further on.
constexpr BitAddress bitAt(int byte, int bit, int widths = 0) {
    return {8 * byte + bit, widths};
}

// Where each value bit of a pixel lies. A cell is a tile (tiled), a pixel row (linear) or a
// byte (byte cells). Pixel x of the cell's row y lies P = y x stepY + x x stepX bits on; with
// groups, P = y x stepY + (x div groupPixels) x groupStep + (x mod groupPixels) x stepX. Value
// bit K lies valueBits[K] further on.
struct PixelLayout {
    BitOrder order = BitOrder::Msb;
    BitAddress valueBits[kMostValueBits] = {};
    int stepX = 0;
    int groupPixels = 0;  // 0: no groups
    int groupStep = 0;
    int stepY = 0;  // tiled
};

// Where pixel row y (0..191) of a ZX Spectrum screen has its bitmap bytes and its attributes.
struct ZxRow {
    int bitmap, attributes;
};
ZxRow zxRow(int y);

// One format, as written in the table.
struct ModeRecord {
    int id;  // its ColourMode: its place in the table
    const char* menuText;
    const char* cliName;
    ModeGroup group;
    ModeLayout layout;
    int bits;                                          // bits of a pixel value, 1..kMostValueBits
    int pixelWidth = 1;                                // view units per pixel
    int widthPixels = 0;                               // byte cells and linear: pixels per byte of the width
    int widthBytes = 1;                                // linear: bytes per byte of the width (all planes)
    int tileWidth = 0, tileHeight = 0, tileBytes = 0;  // tiled
    PixelLayout pixels = {};
    const int32_t* colours = nullptr;  // 2^bits colours (0x00BBGGRR); nullptr: grey levels
    // Values over 8 bits: colours holds colourCount colours (values past them show black), or with
    // no colours each of red, green and blue is the value's bits under its mask, scaled to 0..255.
    int colourCount = 0;
    uint32_t channelMasks[3] = {};
    bool directColours = false;  // the value is a colour, not a colour number a palette may change
    // Attribute screens: where pixel row y has its bitmap and attribute bytes (the pixel
    // layout is not used). The flag says so in constant expressions, where a function's address
    // may not be compared.
    bool attributeScreen = false;
    ZxRow (*attributeRow)(int y) = nullptr;
};

struct ModeRow;

// Writes the packed values of pixels 0.. of unit row y, at least `pixels` of them (whole
// packed bytes, more if a group is wider).
using RowDecoder = void (*)(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed);

// Decodes unit row y of `count` units that follow each other in the data and on the line:
// unit i starts at data index unit.start + i x unitBytes and its packed values go to
// packed + i x packedStep; every unit gives unitPixels pixels, the last lastPixels.
using LineDecoder = void (*)(const ModeRow& row, const UnitBytes& unit, int y, int count, int64_t unitBytes,
                             int unitPixels, int lastPixels, int packedStep, uint8_t* packed);

// Values over 8 bits: writes the values of pixels 0 .. pixels-1 of unit row y.
using WideDecoder = void (*)(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint32_t* values);

// A format as the drawing uses it: its record and what follows from it.
struct ModeRow {
    const ModeRecord* record;
    const char* menuText;
    const char* cliName;
    ModeLayout layout;
    int bits;        // bits of a pixel value
    int packBits;    // bits of a packed pixel: 1, 2, 4 or 8
    int pixelWidth;  // view units per pixel
    int unitPixels;  // linear and byte cells: pixels per width byte; tiled: tile width in pixels
    int unitHeight;  // tiled: tile height; linear and byte cells: 1
    int unitBytes;   // linear: bytes per width byte (the planes); tiled: bytes per tile
    RowDecoder decode;
    LineDecoder decodeLine;
    // Values over 8 bits are drawn from 32-bit values (the packed decoders then write 0s).
    bool wide;
    WideDecoder decodeWide;
    // Values that are whole words of wordBytes bytes (0: not) in that byte order.
    int wordBytes;
    bool wordBigEndian;
    // Where the bits of 64 pixels lie (pixels 0..63 of a byte-cell run, of a linear row from
    // a multiple of 64, of tiles side by side, in unit row 0), and the bytes those 64 take;
    // none where the vector kernels have a decoder of their own.
    bool hasSourceBits;
    SourceBitMap sourceBits;
    int chunkBytes;
    int tileRowStep;  // tiled: how much further on unit row y + 1 starts than unit row y
    // Tiles whose rows are copied side by side into a line to be decoded (gatheredRowBytes in
    // mode_table.cpp): the bytes of a tile's row, the source bits those of such a line; else 0.
    int tileRowBytes;
    // For the decoders: packed values of the pixels of a byte (when each byte holds
    // pixelsPerByte whole pixels), and the byte of each plane of a planar mode's pixel 0.
    int pixelsPerByte;
    bool bytesAreValues;  // linear, one byte per pixel, the byte itself its value
    uint8_t byteTable[256];
    int planeByte[kMaxModeBits];
    // Planar modes with groups: the 8-pixel groups of a run of bytes, and the bytes from one
    // run's start to the next (no groups: 0, one long run).
    int planeRunGroups;
    int planeRunStep;
};

// Modes whose value bits lie in planes `width` bytes apart.
inline bool hasPlanes(const ModeRow& row) {
    return row.layout == ModeLayout::Linear && row.unitBytes > 1;
}

// Modes whose value bit b lies b row widths on: the vector kernels read their planes a row width
// apart. (A linear mode of several bytes a width byte may also keep all its bits in one row.)
inline bool hasPlaneRows(const ModeRow& row) {
    return hasPlanes(row) && row.bits > 1 && row.record->pixels.valueBits[1].widths != 0;
}

// The source bits of a mode for the vector kernels, or nullptr.
inline const SourceBitMap* sourceBitsOf(const ModeRow& row) {
    return row.hasSourceBits ? &row.sourceBits : nullptr;
}

// The packed values of every raw byte: the row's byte table over the transform, made once per
// drawing so that the decoders look a byte up once.
using RawByteTable = std::array<uint8_t, 256>;
inline RawByteTable packedOfRawBytes(const ModeRow& row, const uint8_t* transform) {
    RawByteTable table;
    for (int v = 0; v < 256; ++v) table[v] = row.byteTable[transform[v]];
    return table;
}

inline bool keepsEveryByte(const RawByteTable& table) {
    for (int v = 0; v < 256; ++v)
        if (table[v] != v) return false;
    return true;
}

inline bool swapsEveryNibblePair(const RawByteTable& table) {
    for (int v = 0; v < 256; ++v)
        if (table[v] != ((v & 0x0F) << 4 | v >> 4)) return false;
    return true;
}

inline void decodeUnitRow(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    row.decode(row, unit, y, pixels, packed);
}

inline void decodeUnitLine(const ModeRow& row, const UnitBytes& unit, int y, int count, int64_t unitBytes,
                           int unitPixels, int lastPixels, int packedStep, uint8_t* packed) {
    row.decodeLine(row, unit, y, count, unitBytes, unitPixels, lastPixels, packedStep, packed);
}

inline void decodeWideRow(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint32_t* values) {
    row.decodeWide(row, unit, y, pixels, values);
}

// The number of built-in formats.
extern const int kModeTableSize;

// The most formats that files may add.
constexpr int kMostAddedModes = 256;

// A format added from a file, and its bit-gather plans for values that are grey levels repeating
// the bits or not (made once, when it is added).
struct AddedMode {
    ModeRow row;
    std::array<BitGatherPlan, 2> plans;
};

// The formats a run adds from files: modes kModeTableSize and on, in the order they came. Whoever
// loads them owns the set and hands it to everything that looks a mode up; nullptr stands for
// none. A record added (and the texts and colours it points to) must stay where it is for as long
// as the set is used.
struct AddedModes {
    std::deque<AddedMode> modes;
};

// Adds a format read from a file as mode modeCount(added), grouped under ModeGroup::Files. -1 when
// kMostAddedModes are there already.
int appendMode(AddedModes& added, const ModeRecord& record);

// The built-in formats and those added: modes 0..modeCount()-1.
int modeCount(const AddedModes* added);

// Row `mode` of the built-ins or of those added; nullptr outside 0..modeCount()-1.
const ModeRow* modeRow(int mode, const AddedModes* added);

// The bit-gather plan of a mode (see bitGatherPlan), for values that are grey levels repeating the
// bits or not, reading planes planeStride apart.
BitGatherPlan modePlan(int mode, const AddedModes* added, bool levels, int64_t planeStride);
// Whether the mode's plan is one of tile lanes (the same with grey levels), without a copy of it.
bool modePlanHasTileLanes(int mode, const AddedModes* added);

// The modes as the menus list them: group by group, each group in table order (a format added
// at the table's end joins its group).
std::vector<int> modesInMenuOrder(const AddedModes* added);

// The group's title in the "Color mode" menu ("" for the four classic modes).
const char* modeGroupTitle(ModeGroup group);

// One of the four byte-cell modes (any mode outside the table counts as Binary).
bool isByteCellMode(int mode, const AddedModes* added);

// The mode with the CLI name (any letter case), built in or added, or -1.
int modeByCliName(const char* name, const AddedModes* added);

// Screen colour (0x00BBGGRR) of a pixel value of a mode beyond the four.
int32_t modePixelColour(int mode, uint32_t value, const AddedModes* added);

// The level 0..255 of the value c of a channel of n = 1..32 bits: 255 x c div (2^n - 1).
constexpr int32_t scaledLevel(uint64_t c, int n) {
    return static_cast<int32_t>(255 * c / ((uint64_t{1} << n) - 1));
}

// The bits of the value under the mask, moved down side by side, scaled by scaledLevel; 0 for no
// mask.
int32_t channelLevel(uint32_t value, uint32_t mask);

// The colour of a value of a format of values over 8 bits, as its record gives it: a colour of
// its table (black past its end), or its channels' levels.
int32_t wideValueColour(const ModeRecord& record, uint32_t value);

// Geometry of the view for a mode and width, in view units.
struct ViewGeometry {
    int64_t unitWidth, unitHeight;  // a unit: a pixel row (linear) or a tile
    int64_t unitsPerRow;            // 1 (linear) or the width (tiled)
    int64_t rowBytes;               // bytes of one view row
    int64_t unitBytes;              // bytes of one unit
    int64_t stripWidth;             // units across one view row
    int64_t rowsPerStrip;           // view rows in one strip
    // The cells that a selection and a sprite are made of, unitHeight high: a byte in the four
    // byte-cell modes, a tile in a tiled mode, the whole unit in a linear mode.
    int64_t cellWidth, cellBytes, cellsPerRow;
};

// Value of pixel x of a line of packed pixels of packBits bits each, the first in the high bits.
inline int packedPixel(const uint8_t* packed, int x, int packBits) {
    const int bit = x * packBits;
    return (packed[bit / 8] >> (8 - packBits - bit % 8)) & ((1 << packBits) - 1);
}

// zoom 1..8, viewHeight in screen pixels.
ViewGeometry viewGeometry(int mode, const AddedModes* added, int width, int zoom, int viewHeight);

// The byte of the view at (unitX, viewRow): unitX in view units from the left of its strip,
// viewRow counted from the first view row of the view across the strips. In a tiled mode the
// first byte of the tile; in a linear mode the row's byte holding the pixel (plane 0); in the
// four byte-cell modes the byte drawn there. first: the view's first byte.
int64_t viewPointByte(int mode, const AddedModes* added, int64_t first, int width, int64_t viewRow,
                      int64_t unitX);
