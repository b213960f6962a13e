#include "viewer/engine/mode_table.h"

#include <array>

#include "support/text_ops.h"
#include "viewer/engine/colour_mode.h"

namespace {

// Bit k of a byte moved to bit k x step: the pixels of a bitplane byte, spread so that
// planes combine by shift and or into packed values, pixel 0 in the top field.
template <typename Word, int kStep>
constexpr std::array<Word, 256> spreadTable() {
    std::array<Word, 256> table{};
    for (int v = 0; v < 256; ++v) {
        Word word = 0;
        for (int k = 0; k < 8; ++k) word |= static_cast<Word>((v >> k) & 1) << (k * kStep);
        table[v] = word;
    }
    return table;
}

constexpr auto kSpread2 = spreadTable<uint16_t, 2>();
constexpr auto kSpread4 = spreadTable<uint32_t, 4>();
constexpr auto kSpread8 = spreadTable<uint64_t, 8>();

int bitOf(int v, int n) {
    return (v >> n) & 1;
}

// CPC mode 1: pixel j of a byte has bit 7-j as value bit 0 and bit 3-j as value bit 1.
constexpr std::array<uint8_t, 256> cpc1Table() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int packed = 0;
        for (int j = 0; j < 4; ++j)
            packed |= (((v >> (7 - j)) & 1) | ((v >> (3 - j)) & 1) << 1) << (6 - 2 * j);
        table[v] = static_cast<uint8_t>(packed);
    }
    return table;
}

// CPC mode 0: bits 7, 3, 5, 1 give the left pixel's value bits 0..3, bits 6, 2, 4, 0 the right's.
constexpr std::array<uint8_t, 256> cpc0Table() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        const auto pixel = [v](int a, int b, int c, int d) {
            return ((v >> a) & 1) | ((v >> b) & 1) << 1 | ((v >> c) & 1) << 2 | ((v >> d) & 1) << 3;
        };
        table[v] = static_cast<uint8_t>(pixel(7, 3, 5, 1) << 4 | pixel(6, 2, 4, 0));
    }
    return table;
}

constexpr auto kCpc1 = cpc1Table();
constexpr auto kCpc0 = cpc0Table();

void putWord(uint8_t* out, uint64_t word, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(word >> (8 * (bytes - 1 - i)));
}

int groupsOf(int pixels, int groupPixels) {
    return (pixels + groupPixels - 1) / groupPixels;
}

// Eight pixels from bitplane bytes at offsets[0..planes-1] of the unit, plane p giving value bit p.
template <int kPlanes>
uint64_t planeGroup(const UnitBytes& unit, const int64_t* offsets) {
    uint64_t word = 0;
    for (int p = 0; p < kPlanes; ++p) {
        const uint8_t v = unit.at(offsets[p]);
        if constexpr (kPlanes <= 2) {
            word |= uint64_t{kSpread2[v]} << p;
        } else if constexpr (kPlanes <= 4) {
            word |= uint64_t{kSpread4[v]} << p;
        } else {
            word |= kSpread8[v] << p;
        }
    }
    return word;
}

constexpr int packedBytesOfGroup(int planes) {
    return planes <= 2 ? 2 : planes <= 4 ? 4 : 8;
}

// Bytes 0 .. n-1 of the unit through `table`; rows wholly inside the data skip the test per byte.
void decodeBytesThrough(const UnitBytes& unit, int n, const uint8_t* table, uint8_t* packed) {
    if (unit.inside(0, n)) {
        const uint8_t* bytes = unit.data + unit.start;
        for (int i = 0; i < n; ++i) packed[i] = table[unit.transform[bytes[i]]];
    } else {
        for (int i = 0; i < n; ++i) packed[i] = table[unit.at(i)];
    }
}

constexpr std::array<uint8_t, 256> identityTable() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v);
    return table;
}

constexpr auto kIdentity = identityTable();

void decodeChunky8(const UnitBytes& unit, int, int pixels, uint8_t* packed) {
    decodeBytesThrough(unit, pixels, kIdentity.data(), packed);
}

void decodeCpc1(const UnitBytes& unit, int, int pixels, uint8_t* packed) {
    decodeBytesThrough(unit, groupsOf(pixels, 4), kCpc1.data(), packed);
}

void decodeCpc0(const UnitBytes& unit, int, int pixels, uint8_t* packed) {
    decodeBytesThrough(unit, groupsOf(pixels, 2), kCpc0.data(), packed);
}

template <int kPlanes>
void decodeAmiga(const UnitBytes& unit, int, int pixels, uint8_t* packed) {
    for (int g = 0, n = groupsOf(pixels, 8); g < n; ++g) {
        int64_t offsets[kPlanes];
        for (int b = 0; b < kPlanes; ++b) offsets[b] = int64_t{b} * unit.width + g;
        putWord(packed + g * packedBytesOfGroup(kPlanes), planeGroup<kPlanes>(unit, offsets),
                packedBytesOfGroup(kPlanes));
    }
}

// Sixteen pixels from eight bytes: the first byte of each plane's pair holds pixels 0..7.
void decodeSt4(const UnitBytes& unit, int, int pixels, uint8_t* packed) {
    for (int g = 0, n = groupsOf(pixels, 16); g < n; ++g) {
        for (int half = 0; half < 2; ++half) {
            int64_t offsets[4];
            for (int b = 0; b < 4; ++b) offsets[b] = 8 * int64_t{g} + 2 * b + half;
            putWord(packed + 8 * g + 4 * half, planeGroup<4>(unit, offsets), 4);
        }
    }
}

// A tile row of bitplanes, plane p at byte offsets[p] (already for row y).
template <int kPlanes>
void decodeTilePlanes(const UnitBytes& unit, const int64_t (&offsets)[kPlanes], uint8_t* packed) {
    putWord(packed, planeGroup<kPlanes>(unit, offsets), packedBytesOfGroup(kPlanes));
}

void decodeNes(const UnitBytes& unit, int y, int, uint8_t* packed) {
    decodeTilePlanes<2>(unit, {y, 8 + y}, packed);
}

void decodeGameBoy(const UnitBytes& unit, int y, int, uint8_t* packed) {
    decodeTilePlanes<2>(unit, {2 * y, 2 * y + 1}, packed);
}

void decodeSnes4(const UnitBytes& unit, int y, int, uint8_t* packed) {
    decodeTilePlanes<4>(unit, {2 * y, 2 * y + 1, 16 + 2 * y, 17 + 2 * y}, packed);
}

void decodeMasterSystem(const UnitBytes& unit, int y, int, uint8_t* packed) {
    decodeTilePlanes<4>(unit, {4 * y, 4 * y + 1, 4 * y + 2, 4 * y + 3}, packed);
}

void decodeGenesis(const UnitBytes& unit, int y, int, uint8_t* packed) {
    for (int i = 0; i < 4; ++i) packed[i] = unit.at(4 * y + i);
}

void decodeGba4(const UnitBytes& unit, int y, int, uint8_t* packed) {
    for (int i = 0; i < 4; ++i) {
        const uint8_t v = unit.at(4 * y + i);
        packed[i] = static_cast<uint8_t>(v << 4 | v >> 4);
    }
}

void decodeCellRow(const UnitBytes& unit, int y, int, uint8_t* packed) {
    packed[0] = unit.at(y);
}

// Packed values are colour numbers with bright as bit 3.
void decodeZx(const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    const ZxRow row = zxRow(y);
    for (int c = 0, n = groupsOf(pixels, 8); c < n; ++c) {
        const int bitmap = unit.at(row.bitmap + c);
        const int a = unit.at(row.attributes + c);
        const int bright = (a >> 3) & 8;
        const int ink = (a & 7) | bright;
        const int paper = ((a >> 3) & 7) | bright;
        for (int i = 0; i < 4; ++i) {
            const int high = bitOf(bitmap, 7 - 2 * i) ? ink : paper;
            const int low = bitOf(bitmap, 6 - 2 * i) ? ink : paper;
            packed[4 * c + i] = static_cast<uint8_t>(high << 4 | low);
        }
    }
}

template <RowDecoder kDecode>
void decodeUnits(const UnitBytes& first, int y, int count, int64_t unitBytes, int unitPixels, int lastPixels,
                 int packedStep, uint8_t* packed) {
    UnitBytes unit = first;
    for (int i = 0; i < count; ++i, unit.start += unitBytes, packed += packedStep)
        kDecode(unit, y, i + 1 < count ? unitPixels : lastPixels, packed);
}

// ---- Where the bits of 64 pixels lie, for the vector kernels (the decoders above say the same).

SourceBit binaryBit(int x, int) {
    return {x / 8, 7 - x % 8};
}

SourceBit atariBit(int x, int b) {
    return {x / 4, 6 - 2 * (x % 4) + b};
}

SourceBit bkBit(int x, int b) {
    return {x / 4, 2 * (x % 4) + b};
}

SourceBit samBit(int x, int b) {
    return {x / 2, (x % 2 == 0 ? 4 : 0) + b};
}

SourceBit cpc1Bit(int x, int b) {
    return {x / 4, (b == 0 ? 7 : 3) - x % 4};
}

SourceBit cpc0Bit(int x, int b) {
    constexpr int kEven[4] = {7, 3, 5, 1};
    return {x / 2, kEven[b] - x % 2};
}

SourceBit planeBit(int x, int) {
    return {x / 8, 7 - x % 8};
}

SourceBit st4Bit(int x, int b) {
    const int i = x % 16;
    return {8 * (x / 16) + 2 * b + (i >= 8 ? 1 : 0), 7 - i % 8};
}

// Tiles of 8 pixels side by side: the byte of plane b of a tile's row 0, and the tile's bytes.
template <int kTileBytes, int kPlane0, int kPlane1, int kPlane2, int kPlane3>
SourceBit tilePlaneBit(int x, int b) {
    constexpr int kPlanes[4] = {kPlane0, kPlane1, kPlane2, kPlane3};
    return {kTileBytes * (x / 8) + kPlanes[b], 7 - x % 8};
}

// Nibble tiles: the even pixel of a byte from the high nibble (Genesis) or the low (GBA).
template <bool kHighFirst>
SourceBit nibbleTileBit(int x, int b) {
    const bool high = (x % 2 == 0) == kHighFirst;
    return {32 * (x / 8) + x % 8 / 2, (high ? 4 : 0) + b};
}

SourceBit wideCellBit(int x, int b) {
    return {8 * (x / 4), 6 - 2 * (x % 4) + b};
}

using L = ModeLayout;

// In the order of ColourMode: the four byte-cell modes, then the computers and the consoles
// as their submenus list them.
constexpr ModeRow kModes[kModeTableSize] = {
    {"Binary", "binary", L::ByteCells, 1, 1, 1, 8, 1, 1, nullptr, nullptr, binaryBit, 8, 0},
    {"Atari GR.15", "atari", L::ByteCells, 2, 2, 2, 4, 1, 1, nullptr, nullptr, atariBit, 16, 0},
    {"BK-0010", "bk", L::ByteCells, 2, 2, 1, 4, 1, 1, nullptr, nullptr, bkBit, 16, 0},
    {"Sam Coupe mode 4", "sam", L::ByteCells, 4, 4, 1, 2, 1, 1, nullptr, nullptr, samBit, 32, 0},
    {"Chunky 8 bpp", "chunky8", L::Linear, 8, 8, 1, 1, 1, 1, decodeChunky8, decodeUnits<decodeChunky8>,
     nullptr, 64, 0},
    {"CPC mode 0", "cpc0", L::Linear, 4, 4, 2, 2, 1, 1, decodeCpc0, decodeUnits<decodeCpc0>, cpc0Bit, 32, 0},
    {"CPC mode 1", "cpc1", L::Linear, 2, 2, 1, 4, 1, 1, decodeCpc1, decodeUnits<decodeCpc1>, cpc1Bit, 16, 0},
    {"Amiga 4 bitplanes", "amiga4", L::Linear, 4, 4, 1, 8, 1, 4, decodeAmiga<4>, decodeUnits<decodeAmiga<4>>,
     planeBit, 8, 0},
    {"Amiga 5 bitplanes", "amiga5", L::Linear, 5, 8, 1, 8, 1, 5, decodeAmiga<5>, decodeUnits<decodeAmiga<5>>,
     planeBit, 8, 0},
    {"Atari ST low", "st4", L::Linear, 4, 4, 1, 2, 1, 1, decodeSt4, decodeUnits<decodeSt4>, st4Bit, 32, 0},
    {"8x8 cells", "cells1", L::Tiled, 1, 1, 1, 8, 8, 8, decodeCellRow, decodeUnits<decodeCellRow>,
     tilePlaneBit<8, 0, 0, 0, 0>, 64, 1},
    {"8x8 cells, wide", "cells2w", L::Tiled, 2, 2, 2, 4, 8, 8, decodeCellRow, decodeUnits<decodeCellRow>,
     wideCellBit, 128, 1},
    {"ZX Spectrum screen", "zx", L::Tiled, 4, 4, 1, 256, 192, 6912, decodeZx, decodeUnits<decodeZx>, nullptr,
     0, 0},
    {"NES tiles", "nes", L::Tiled, 2, 2, 1, 8, 8, 16, decodeNes, decodeUnits<decodeNes>,
     tilePlaneBit<16, 0, 8, 0, 0>, 128, 1},
    {"Game Boy tiles", "gb", L::Tiled, 2, 2, 1, 8, 8, 16, decodeGameBoy, decodeUnits<decodeGameBoy>,
     tilePlaneBit<16, 0, 1, 0, 0>, 128, 2},
    {"SNES 4 bpp tiles", "snes4", L::Tiled, 4, 4, 1, 8, 8, 32, decodeSnes4, decodeUnits<decodeSnes4>,
     tilePlaneBit<32, 0, 1, 16, 17>, 256, 2},
    {"Master System tiles", "sms", L::Tiled, 4, 4, 1, 8, 8, 32, decodeMasterSystem,
     decodeUnits<decodeMasterSystem>, tilePlaneBit<32, 0, 1, 2, 3>, 256, 4},
    {"Genesis tiles", "genesis", L::Tiled, 4, 4, 1, 8, 8, 32, decodeGenesis, decodeUnits<decodeGenesis>,
     nibbleTileBit<true>, 256, 4},
    {"GBA 4 bpp tiles", "gba4", L::Tiled, 4, 4, 1, 8, 8, 32, decodeGba4, decodeUnits<decodeGba4>,
     nibbleTileBit<false>, 256, 4},
};

int32_t grey(int level) {
    return level | level << 8 | level << 16;
}

}  // namespace

ZxRow zxRow(int y) {
    return {((y & 0xC0) << 5) | ((y & 7) << 8) | ((y & 0x38) << 2), 6144 + (y >> 3) * 32};
}

const ModeRow* modeRow(int mode) {
    return mode >= 0 && mode < kModeTableSize ? &kModes[mode] : nullptr;
}

int modeByCliName(const char* name) {
    const std::string lower = lowerCase(name);
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        if (lower == kModes[mode].cliName) return mode;
    }
    return -1;
}

int32_t modePixelColour(int mode, int value) {
    if (mode == kModeZx) {
        const int32_t level = (value & 8) ? 0xFF : 0xD7;
        const int32_t red = (value & 2) ? level : 0;
        const int32_t green = (value & 4) ? level : 0;
        const int32_t blue = (value & 1) ? level : 0;
        return red | green << 8 | blue << 16;
    }
    const ModeRow* row = modeRow(mode);
    const int top = row != nullptr ? (1 << row->bits) - 1 : 1;
    return grey(255 * (value & top) / top);
}

bool isByteCellMode(int mode) {
    const ModeRow* row = modeRow(mode);
    return row == nullptr || row->layout == ModeLayout::ByteCells;
}

ViewGeometry viewGeometry(int mode, int width, int zoom, int viewHeight) {
    const ModeRow& row = kModes[modeRow(mode) != nullptr ? mode : 0];
    const int64_t w = width >= 1 ? width : 1;
    const int64_t z = zoom >= 1 ? zoom : 1;
    ViewGeometry g{};
    g.unitHeight = row.unitHeight;
    if (row.layout == ModeLayout::Tiled) {
        g.unitWidth = int64_t{row.unitPixels} * row.pixelWidth;
        g.unitsPerRow = w;
        g.unitBytes = row.unitBytes;
        g.rowBytes = w * row.unitBytes;
    } else {
        g.unitWidth = w * row.unitPixels * row.pixelWidth;
        g.unitsPerRow = 1;
        g.unitBytes = w * row.unitBytes;
        g.rowBytes = g.unitBytes;
    }
    g.stripWidth = g.unitWidth * g.unitsPerRow;
    const bool byteCells = row.layout == ModeLayout::ByteCells;
    g.cellsPerRow = byteCells ? w : g.unitsPerRow;
    g.cellWidth = g.stripWidth / g.cellsPerRow;
    g.cellBytes = g.rowBytes / g.cellsPerRow;
    const int64_t unitsHigh = (viewHeight + z - 1) / z;
    g.rowsPerStrip = (unitsHigh + g.unitHeight - 1) / g.unitHeight;
    return g;
}

int64_t viewPointByte(int mode, int64_t first, int width, int64_t viewRow, int64_t unitX) {
    const ModeRow& row = kModes[modeRow(mode) != nullptr ? mode : 0];
    const ViewGeometry g = viewGeometry(mode, width, 1, 1);
    const int64_t rowStart = first + viewRow * g.rowBytes;
    if (row.layout == ModeLayout::Tiled) return rowStart + unitX / g.unitWidth * g.unitBytes;
    const int64_t pixel = unitX / row.pixelWidth;
    if (row.layout == ModeLayout::ByteCells) return rowStart + pixel / row.unitPixels;
    // Atari ST low: groups of 16 pixels in 8 bytes, plane 0 in the first byte of each half.
    if (mode == kModeSt4) return rowStart + pixel / 16 * 8 + (pixel % 16 >= 8 ? 1 : 0);
    // Chunky and CPC bytes hold unitPixels pixels; an Amiga plane-0 byte holds eight.
    return rowStart + pixel / row.unitPixels;
}
