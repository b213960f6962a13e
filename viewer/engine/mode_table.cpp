#include "viewer/engine/mode_table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <deque>
#include <type_traits>
#include <utility>

#include "support/text_ops.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/vector_lanes.h"

namespace {

// Bit k of a byte (pixel 7 - k of a bitplane byte) moved to where pixel 7 - k's field lies in a
// word of packed values of kStep bits each, as the word is stored in memory (pixel 0 in the top
// field of the first byte): the planes of a group combine by shift and or, and the word is
// stored whole.
template <typename Word, int kStep>
constexpr std::array<Word, 256> spreadTable() {
    constexpr int kPerByte = 8 / kStep;
    std::array<Word, 256> table{};
    for (int v = 0; v < 256; ++v) {
        Word word = 0;
        for (int k = 0; k < 8; ++k) {
            const int x = 7 - k;
            const int byte = std::endian::native == std::endian::little
                                 ? x / kPerByte
                                 : static_cast<int>(sizeof(Word)) - 1 - x / kPerByte;
            const int at = 8 * byte + 8 - kStep * (x % kPerByte + 1);
            word |= static_cast<Word>(static_cast<Word>((v >> k) & 1) << at);
        }
        table[v] = word;
    }
    return table;
}

constexpr auto kSpread2 = spreadTable<uint16_t, 2>();
constexpr auto kSpread4 = spreadTable<uint32_t, 4>();
constexpr auto kSpread8 = spreadTable<uint64_t, 8>();

int groupsOf(int pixels, int groupPixels) {
    return (pixels + groupPixels - 1) / groupPixels;
}

// A unit's bytes read without a test each, for lines that lie wholly in the data.
struct UncheckedBytes {
    const uint8_t* bytes;  // the unit's byte 0
    const uint8_t* transform;

    uint8_t at(int64_t k) const { return transform[bytes[k]]; }
    void skip(int64_t n) { bytes += n; }
};

// A unit's bytes that need no transform, read without a test each.
struct RawBytes {
    const uint8_t* bytes;  // the unit's byte 0

    uint8_t at(int64_t k) const { return bytes[k]; }
    void skip(int64_t n) { bytes += n; }
};

// Eight pixels from the bitplane bytes `at` bytes after planes[0..kPlanes-1] of the unit, plane p
// giving value bit p, as the packed word stored in memory.
template <int kPlanes, typename Bytes, size_t... kPlane>
inline __attribute__((always_inline)) auto planeGroup(const Bytes& unit, const int64_t* planes, int64_t at,
                                                      std::index_sequence<kPlane...>) {
    if constexpr (kPlanes <= 2) {
        return static_cast<uint16_t>(((kSpread2[unit.at(planes[kPlane] + at)] << kPlane) | ...));
    } else if constexpr (kPlanes <= 4) {
        return ((kSpread4[unit.at(planes[kPlane] + at)] << kPlane) | ...);
    } else {
        return ((kSpread8[unit.at(planes[kPlane] + at)] << kPlane) | ...);
    }
}

constexpr int packedBytesOfGroup(int planes) {
    return planes <= 2 ? 2 : planes <= 4 ? 4 : 8;
}

// ---- Where a pixel's bits lie, from the record's layout.

// Bits from a cell row's first bit to pixel x's.
constexpr int64_t pixelBitOffset(const PixelLayout& layout, int64_t x) {
    if (layout.groupPixels == 0) return x * layout.stepX;
    return x / layout.groupPixels * layout.groupStep + x % layout.groupPixels * layout.stepX;
}

// The bit of a byte that holds bit address a.
constexpr int bitInByte(const PixelLayout& layout, int64_t a) {
    return layout.order == BitOrder::Msb ? 7 - static_cast<int>(a % 8) : static_cast<int>(a % 8);
}

// Bit address of value bit b of pixel x in cell row y, for a row `width` bytes wide.
constexpr int64_t valueBitAddress(const PixelLayout& layout, int b, int64_t x, int y, int width) {
    const BitAddress& v = layout.valueBits[b];
    return v.bits + 8 * int64_t{v.widths} * width + int64_t{y} * layout.stepY + pixelBitOffset(layout, x);
}

constexpr int packBitsOf(int bits) {
    return bits <= 1 ? 1 : bits <= 2 ? 2 : bits <= 4 ? 4 : 8;
}

// Pixels of a cell row that the decoders and the source bits consider.
constexpr int rowPixelsOf(const ModeRecord& r) {
    return r.layout == ModeLayout::Tiled ? r.tileWidth : 256;
}

// Whether every byte of a cell row holds `perByte` whole pixels, laid out alike in each byte.
constexpr bool bytesHoldWholePixels(const ModeRecord& r, int perByte) {
    const PixelLayout& l = r.pixels;
    if (r.layout == ModeLayout::Tiled && (l.stepY % 8 != 0 || r.tileWidth % perByte != 0)) return false;
    for (int x = 0; x < rowPixelsOf(r); ++x) {
        for (int b = 0; b < r.bits; ++b) {
            const int64_t a = valueBitAddress(l, b, x, 0, 0);
            const int64_t first = valueBitAddress(l, b, x % perByte, 0, 0);
            if (l.valueBits[b].widths != 0 || a / 8 != x / perByte || first < 0 || first / 8 != 0 ||
                a % 8 != first % 8)
                return false;
        }
    }
    return true;
}

// Whether value bit b of pixels 8k .. 8k + 7 lies in one byte per b, first pixel first.
constexpr bool isPlanar(const ModeRecord& r) {
    const PixelLayout& l = r.pixels;
    if (l.order != BitOrder::Msb || l.stepX != 1 || l.stepY % 8 != 0 || l.groupPixels % 8 != 0 ||
        l.groupStep % 8 != 0 || (r.layout == ModeLayout::Tiled && r.tileWidth % 8 != 0))
        return false;
    for (int b = 0; b < r.bits; ++b)
        if (l.valueBits[b].bits % 8 != 0 || (r.layout == ModeLayout::Tiled && l.valueBits[b].widths != 0))
            return false;
    return true;
}

// ---- The decoders, by the shape of the layout.

// Bytes 0 .. n-1 of the unit through `table`; rows wholly inside the data skip the test per byte,
// and take both look-ups at once where `rawTable` (the table over the transform) is given.
void decodeBytesThrough(const UnitBytes& unit, int n, const uint8_t* table, const uint8_t* rawTable,
                        uint8_t* packed) {
    if (unit.inside(0, n)) {
        const uint8_t* bytes = unit.data + unit.start;
        if (unit.packedIsRaw) {
            std::memcpy(packed, bytes, static_cast<size_t>(n));
        } else if (rawTable != nullptr) {
            int i = 0;
            for (; i + 4 <= n; i += 4) {
                packed[i] = rawTable[bytes[i]];
                packed[i + 1] = rawTable[bytes[i + 1]];
                packed[i + 2] = rawTable[bytes[i + 2]];
                packed[i + 3] = rawTable[bytes[i + 3]];
            }
            for (; i < n; ++i) packed[i] = rawTable[bytes[i]];
        } else {
            for (int i = 0; i < n; ++i) packed[i] = table[unit.transform[bytes[i]]];
        }
    } else {
        for (int i = 0; i < n; ++i) packed[i] = table[unit.at(i)];
    }
}

// The packed values of a byte that holds whole pixels: kSameValues where they are the byte.
constexpr int kAnyTileRowBytes = -1;

template <bool kSameValues>
uint8_t packedOfByte(const ModeRow& row, uint8_t v) {
    if constexpr (kSameValues) return v;
    return row.byteTable[v];
}

// Each byte holds whole pixels: one table look-up per byte, none where the table changes
// nothing. kTileBytes: the bytes of a tile row, 0 for a linear row (as many bytes as the pixels
// take), or kAnyTileRowBytes for a tile row of another count of bytes (3 for 24 pixels).
template <int kTileBytes, bool kSameValues>
void decodeWholeBytes(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    if constexpr (kTileBytes == 0) {
        decodeBytesThrough(unit, groupsOf(pixels, row.pixelsPerByte), row.byteTable,
                           kSameValues ? unit.transform : unit.packedOfRaw, packed);
    } else if constexpr (kTileBytes == kAnyTileRowBytes) {
        const int64_t from = int64_t{y} * row.tileRowStep;
        for (int i = 0, n = groupsOf(pixels, row.pixelsPerByte); i < n; ++i)
            packed[i] = packedOfByte<kSameValues>(row, unit.at(from + i));
    } else {
        const int64_t from = int64_t{y} * row.tileRowStep;
        for (int i = 0; i < kTileBytes; ++i) packed[i] = packedOfByte<kSameValues>(row, unit.at(from + i));
    }
}

// Bitplanes: where each plane's bytes of unit row y start, from the unit's byte 0.
template <int kPlanes>
void planeStarts(const ModeRow& row, int width, int y, int64_t* planes) {
    const PixelLayout& layout = row.record->pixels;
    for (int b = 0; b < kPlanes; ++b)
        planes[b] =
            row.planeByte[b] + int64_t{layout.valueBits[b].widths} * width + int64_t{y} * row.tileRowStep;
}

// ---- Four bitplanes 16 groups of 8 pixels a round in vector lanes: each group's four plane bytes
// in a 32-bit lane (plane p in byte p), whose bits four exchanges of bit-index pairs move to the
// packed nibbles.

// Bit 8p + 7 - x of each lane (plane p's bit of pixel x) to bit p of pixel x's nibble, pixel 0 in the
// high nibble of the lane's first byte in memory. Writing a bit's place as five index bits (p1 p0 k2
// k1 k0, k = 7 - x), its new place is (~k2 ~k1 k0 p1 p0): four exchanges of two index bits, the
// first two with both complemented.
inline Dwords4 planeNibbles(Dwords4 lanes) {
    const auto exchange = [&lanes](int shift, uint32_t mask) {
        const Dwords4 moved = ((lanes >> shift) ^ lanes) & mask;
        lanes ^= moved ^ (moved << shift);
    };
    exchange(3, 0x11111111);
    exchange(6, 0x03030303);
    exchange(7, 0x00AA00AA);
    exchange(14, 0x0000CCCC);
    return lanes;
}

// Groups 0..7's nibbles from 16-bit lanes of their plane 0 and 1 bytes (low and high byte) and of
// their plane 2 and 3 bytes; and the same from 32-bit lanes of groups 0..3 and 4..7.
inline void storePlaneNibbles(Dwords4 first, Dwords4 second, uint8_t* packed) {
    first = planeNibbles(first);
    second = planeNibbles(second);
    std::memcpy(packed, &first, 16);
    std::memcpy(packed + 16, &second, 16);
}

inline void storePlaneNibbles(Words8 low, Words8 high, uint8_t* packed) {
    storePlaneNibbles(interleaveLowWords(low, high), interleaveHighWords(low, high), packed);
}

inline Bytes16 load16(const uint8_t* bytes) {
    Bytes16 v;
    std::memcpy(&v, bytes, 16);
    return v;
}

// Planes whose bytes follow each other (no runs): 16 bytes of each plane.
void decodeFourPlanesInRows(const uint8_t* bytes, const int64_t* planes, uint8_t* packed) {
    const Bytes16 p0 = load16(bytes + planes[0]), p1 = load16(bytes + planes[1]),
                  p2 = load16(bytes + planes[2]), p3 = load16(bytes + planes[3]);
    storePlaneNibbles(interleaveLow(p0, p1), interleaveLow(p2, p3), packed);
    storePlaneNibbles(interleaveHigh(p0, p1), interleaveHigh(p2, p3), packed + 32);
}

// Planes interleaved by 16-bit words (runs of two groups, planes 2 bytes apart, runs 8 apart): 64
// bytes, each 16 of them the two groups' bytes of two runs.
void decodeFourPlanesInWords(const uint8_t* bytes, uint8_t* packed) {
    for (int k = 0; k < 64; k += 32, packed += 32) {
        const auto a = reinterpret_cast<Words8>(load16(bytes + k));
        const auto b = reinterpret_cast<Words8>(load16(bytes + k + 16));
        // The runs' first groups (even bytes) and second groups (odd bytes), a 32-bit lane a group.
        const auto firsts = reinterpret_cast<Dwords4>(lowBytes(a, b));
        const auto seconds = reinterpret_cast<Dwords4>(lowBytes(a >> 8, b >> 8));
        storePlaneNibbles(reinterpret_cast<Dwords4>(interleaveLowDwords(firsts, seconds)),
                          reinterpret_cast<Dwords4>(interleaveHighDwords(firsts, seconds)), packed);
    }
}

// ---- Five to eight bitplanes the same way: a group's plane bytes in a 64-bit lane, plane p in byte
// 7 - p (the planes past the mode's 0), moved to the group's 8 values by three exchanges of
// bit-index pairs: a bit's place (~p2 ~p1 ~p0 k2 k1 k0) becomes (~k2 ~k1 ~k0 p2 p1 p0), k = 7 - x.
inline Quads2 planeValues(Quads2 lanes) {
    const auto exchange = [&lanes](int shift, uint64_t mask) {
        const Quads2 moved = ((lanes >> shift) ^ lanes) & mask;
        lanes ^= moved ^ (moved << shift);
    };
    exchange(9, 0x0055005500550055);
    exchange(18, 0x0000333300003333);
    exchange(36, 0x000000000F0F0F0F);
    return lanes;
}

inline void storePlaneValues(Quads2 lanes, uint8_t* packed) {
    lanes = planeValues(lanes);
    std::memcpy(packed, &lanes, 16);
}

// Groups 0..7 (kHigh: 8..15) of the planes' 16 bytes each.
template <bool kHigh>
inline __attribute__((always_inline)) void storeEightPlaneGroups(const Bytes16* p, uint8_t* packed) {
    const auto pair = [p](int a, int b) {
        if constexpr (kHigh) return interleaveHigh(p[a], p[b]);
        return interleaveLow(p[a], p[b]);
    };
    const Words8 w76 = pair(7, 6), w54 = pair(5, 4), w32 = pair(3, 2), w10 = pair(1, 0);
    const Dwords4 low7654 = interleaveLowWords(w76, w54), high7654 = interleaveHighWords(w76, w54);
    const Dwords4 low3210 = interleaveLowWords(w32, w10), high3210 = interleaveHighWords(w32, w10);
    storePlaneValues(interleaveLowDwords(low7654, low3210), packed);
    storePlaneValues(interleaveHighDwords(low7654, low3210), packed + 16);
    storePlaneValues(interleaveLowDwords(high7654, high3210), packed + 32);
    storePlaneValues(interleaveHighDwords(high7654, high3210), packed + 48);
}

template <int kPlanes>
void decodeEightPlanesInRows(const uint8_t* bytes, const int64_t* planes, uint8_t* packed) {
    Bytes16 p[8] = {};
    for (int b = 0; b < kPlanes; ++b) p[b] = load16(bytes + planes[b]);
    storeEightPlaneGroups<false>(p, packed);
    storeEightPlaneGroups<true>(p, packed + 64);
}

// Groups of four to eight planes 16 a round, for planes read without a transform: returns the groups
// decoded (a multiple of 16) and moves `at` past their bytes.
template <int kPlanes, typename Bytes>
int decodePlaneRounds(const ModeRow& row, const Bytes& unit, const int64_t* planes, int groups, int64_t& at,
                      uint8_t* packed) {
    if constexpr (kPlanes < 4 || !std::is_same_v<Bytes, RawBytes>) {
        return 0;
    } else {
        const bool inWords = kPlanes == 4 && row.planeRunGroups == 2 && row.planeRunStep == 8 &&
                             planes[1] == planes[0] + 2 && planes[2] == planes[0] + 4 &&
                             planes[3] == planes[0] + 6;
        if (row.planeRunGroups != 0 && !inWords) return 0;
        constexpr int kRoundBytes = 16 * packedBytesOfGroup(kPlanes);
        int g = 0;
        for (; g + 16 <= groups; g += 16, packed += kRoundBytes) {
            if constexpr (kPlanes > 4) {
                decodeEightPlanesInRows<kPlanes>(unit.bytes + at, planes, packed);
                at += 16;
            } else if (inWords) {
                decodeFourPlanesInWords(unit.bytes + planes[0] + at, packed);
                at += 64;
            } else {
                decodeFourPlanesInRows(unit.bytes + at, planes, packed);
                at += 16;
            }
        }
        return g;
    }
}

// Bitplanes: eight pixels from one byte of each plane, a byte on for the next eight, jumping at
// the end of each run of groups. kOneGroup: tiles 8 pixels wide.
template <int kPlanes, bool kOneGroup, typename Bytes>
void decodePlaneGroups(const ModeRow& row, const Bytes& unit, const int64_t* planes, int pixels,
                       uint8_t* packed) {
    constexpr int kGroupBytes = packedBytesOfGroup(kPlanes);
    int64_t at = 0;  // from the plane bytes of the first group
    if (!kOneGroup && (row.planeRunGroups == 2 || row.planeRunGroups == 0)) {
        // Two groups a round, no count kept: runs of two (planes interleaved by 16-bit words) jump by
        // the run's step, planes without runs go on byte by byte.
        const int64_t step = row.planeRunGroups == 2 ? row.planeRunStep : 2;
        const int n = groupsOf(pixels, 8);
        int g = decodePlaneRounds<kPlanes>(row, unit, planes, n, at, packed);
        for (; g + 2 <= n; g += 2, at += step) {
            const auto left = planeGroup<kPlanes>(unit, planes, at, std::make_index_sequence<kPlanes>());
            const auto right = planeGroup<kPlanes>(unit, planes, at + 1, std::make_index_sequence<kPlanes>());
            std::memcpy(packed + g * kGroupBytes, &left, kGroupBytes);
            std::memcpy(packed + (g + 1) * kGroupBytes, &right, kGroupBytes);
        }
        if (g < n) {
            const auto left = planeGroup<kPlanes>(unit, planes, at, std::make_index_sequence<kPlanes>());
            std::memcpy(packed + g * kGroupBytes, &left, kGroupBytes);
        }
        return;
    }
    for (int g = 0, inRun = 0, n = kOneGroup ? 1 : groupsOf(pixels, 8); g < n; ++g) {
        const auto word = planeGroup<kPlanes>(unit, planes, at, std::make_index_sequence<kPlanes>());
        static_assert(sizeof word == kGroupBytes);
        std::memcpy(packed + g * kGroupBytes, &word, kGroupBytes);
        ++at;
        if (++inRun == row.planeRunGroups) {
            at += row.planeRunStep - row.planeRunGroups;
            inRun = 0;
        }
    }
}

template <int kPlanes, bool kOneGroup>
void decodePlanes(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    int64_t planes[kPlanes];
    planeStarts<kPlanes>(row, unit.width, y, planes);
    decodePlaneGroups<kPlanes, kOneGroup>(row, unit, planes, pixels, packed);
}

template <int kPlanes, bool kOneGroup, typename Bytes>
void decodePlaneUnits(const ModeRow& row, Bytes unit, const int64_t* planes, int count, int64_t unitBytes,
                      int unitPixels, int lastPixels, int packedStep, uint8_t* packed) {
    if constexpr (kOneGroup) {
        // Tiles 8 pixels wide: two a round, the second's bytes a tile further on.
        constexpr int kGroupBytes = packedBytesOfGroup(kPlanes);
        constexpr auto kEach = std::make_index_sequence<kPlanes>();
        int i = 0;
        for (; i + 2 <= count; i += 2, unit.skip(2 * unitBytes), packed += 2 * packedStep) {
            const auto left = planeGroup<kPlanes>(unit, planes, 0, kEach);
            const auto right = planeGroup<kPlanes>(unit, planes, unitBytes, kEach);
            std::memcpy(packed, &left, kGroupBytes);
            std::memcpy(packed + packedStep, &right, kGroupBytes);
        }
        if (i < count) {
            const auto last = planeGroup<kPlanes>(unit, planes, 0, kEach);
            std::memcpy(packed, &last, kGroupBytes);
        }
        return;
    }
    for (int i = 0; i < count; ++i, unit.skip(unitBytes), packed += packedStep)
        decodePlaneGroups<kPlanes, kOneGroup>(row, unit, planes, i + 1 < count ? unitPixels : lastPixels,
                                              packed);
}

// A line of bitplane units: when all of its bytes lie in the data, they are read without a
// test each.
template <int kPlanes, bool kOneGroup>
void decodePlaneLine(const ModeRow& row, const UnitBytes& first, int y, int count, int64_t unitBytes,
                     int unitPixels, int lastPixels, int packedStep, uint8_t* packed) {
    int64_t planes[kPlanes];
    planeStarts<kPlanes>(row, first.width, y, planes);
    const int lastGroup = groupsOf(unitPixels, 8) - 1;
    const int64_t lastGroupByte =
        row.planeRunGroups == 0
            ? lastGroup
            : lastGroup / row.planeRunGroups * row.planeRunStep + lastGroup % row.planeRunGroups;
    int64_t reach = 0;
    for (int b = 0; b < kPlanes; ++b) reach = std::max(reach, planes[b] + lastGroupByte + 1);
    if (count > 0 && first.inside(0, (count - 1) * unitBytes + reach)) {
        if (first.identity)
            return decodePlaneUnits<kPlanes, kOneGroup>(row, RawBytes{first.data + first.start}, planes,
                                                        count, unitBytes, unitPixels, lastPixels, packedStep,
                                                        packed);
        const UncheckedBytes unit{first.data + first.start, first.transform};
        return decodePlaneUnits<kPlanes, kOneGroup>(row, unit, planes, count, unitBytes, unitPixels,
                                                    lastPixels, packedStep, packed);
    }
    decodePlaneUnits<kPlanes, kOneGroup>(row, first, planes, count, unitBytes, unitPixels, lastPixels,
                                         packedStep, packed);
}

// Any other layout: bit by bit.
void decodeBitByBit(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    const PixelLayout& layout = row.record->pixels;
    const int perByte = 8 / row.packBits;
    for (int x = 0; x < groupsOf(pixels, perByte) * perByte; ++x) {
        int value = 0;
        for (int b = 0; b < row.bits; ++b) {
            const int64_t a = valueBitAddress(layout, b, x, y, unit.width);
            value |= ((unit.at(a >> 3) >> bitInByte(layout, a)) & 1) << b;
        }
        const int shift = 8 - row.packBits * (x % perByte + 1);
        const int kept = x % perByte == 0 ? 0 : packed[x / perByte];
        packed[x / perByte] = static_cast<uint8_t>(kept | value << shift);
    }
}

// Each pixel's value is the whole of a byte of its own, the pixels whole bytes apart (tiles that
// take every other byte): one look-up a pixel instead of one a bit.
constexpr bool pixelsAreSpacedBytes(const ModeRecord& r) {
    const PixelLayout& l = r.pixels;
    if (r.bits != 8 || l.groupPixels != 0 || l.stepX <= 0 || l.stepX % 8 != 0 || l.stepY % 8 != 0)
        return false;
    for (int b = 1; b < r.bits; ++b)
        if (l.valueBits[b].bits / 8 != l.valueBits[0].bits / 8 ||
            l.valueBits[b].widths != l.valueBits[0].widths)
            return false;
    return true;
}

void decodeSpacedBytes(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    const PixelLayout& layout = row.record->pixels;
    const int64_t first = valueBitAddress(layout, 0, 0, y, unit.width) / 8;
    const int64_t step = layout.stepX / 8;
    for (int x = 0; x < pixels; ++x) packed[x] = row.byteTable[unit.at(first + x * step)];
}

// The nibbles of the pixels whose bit a bitmap byte sets, as four packed bytes in memory order.
constexpr std::array<uint32_t, 256> kSetNibbles = [] {
    std::array<uint32_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = kSpread4[v] * 0xF;
    return table;
}();

// An attribute byte's paper in every nibble, and what turns it into its ink where a pixel's bit is
// set: colour numbers with bright as bit 3.
struct AttributeNibbles {
    uint32_t paper, inkChange;
};

constexpr std::array<AttributeNibbles, 256> kAttributeNibbles = [] {
    std::array<AttributeNibbles, 256> table{};
    for (uint32_t a = 0; a < 256; ++a) {
        const uint32_t bright = (a >> 3) & 8;
        const uint32_t ink = ((a & 7) | bright) * 0x11111111u;
        const uint32_t paper = (((a >> 3) & 7) | bright) * 0x11111111u;
        table[a] = {paper, ink ^ paper};
    }
    return table;
}();

// Eight pixels of an attribute screen as four packed bytes in memory order: ink where the
// bitmap's bit is set, else paper.
uint32_t attributeGroup(uint8_t bitmap, uint8_t attributes) {
    const AttributeNibbles& a = kAttributeNibbles[attributes];
    return a.paper ^ (a.inkChange & kSetNibbles[bitmap]);
}

// GCC at -O3 turns this loop into vectors that fetch each look-up on its own: more
// instructions for the whole view (7%) than the plain loop.
#if defined(__GNUC__) && !defined(__clang__)
#define PL_PLAIN_LOOPS __attribute__((optimize("no-tree-vectorize")))
#else
#define PL_PLAIN_LOOPS
#endif

template <typename Bytes>
PL_PLAIN_LOOPS void decodeAttributeGroups(const Bytes& unit, ZxRow rows, int groups, uint8_t* packed) {
    for (int c = 0; c < groups; ++c) {
        const uint32_t word = attributeGroup(unit.at(rows.bitmap + c), unit.at(rows.attributes + c));
        std::memcpy(packed + 4 * c, &word, 4);
    }
}

// Rows whose bytes all lie in the data are read without a test each.
void decodeAttributeScreen(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint8_t* packed) {
    const ZxRow rows = row.record->attributeRow(y);
    const int groups = groupsOf(pixels, 8);
    if (groups <= 0) return;
    if (unit.inside(rows.bitmap, groups) && unit.inside(rows.attributes, groups)) {
        if (unit.identity)
            return decodeAttributeGroups(RawBytes{unit.data + unit.start}, rows, groups, packed);
        return decodeAttributeGroups(UncheckedBytes{unit.data + unit.start, unit.transform}, rows, groups,
                                     packed);
    }
    decodeAttributeGroups(unit, rows, groups, packed);
}

template <RowDecoder kDecode>
void decodeUnits(const ModeRow& row, const UnitBytes& first, int y, int count, int64_t unitBytes,
                 int unitPixels, int lastPixels, int packedStep, uint8_t* packed) {
    UnitBytes unit = first;
    for (int i = 0; i < count; ++i, unit.start += unitBytes, packed += packedStep)
        kDecode(row, unit, y, i + 1 < count ? unitPixels : lastPixels, packed);
}

// Tile rows of whole bytes side by side: when the line's tiles all lie in the data, their
// bytes are read without a test each.
template <int kTileBytes, bool kSameValues>
void decodeTileRowsOfBytes(const ModeRow& row, const UnitBytes& first, int y, int count, int64_t unitBytes,
                           int unitPixels, int lastPixels, int packedStep, uint8_t* packed) {
    const int64_t from = int64_t{y} * row.tileRowStep;
    if (count <= 0 || !first.inside(from, (count - 1) * unitBytes + kTileBytes))
        return decodeUnits<decodeWholeBytes<kTileBytes, kSameValues>>(
            row, first, y, count, unitBytes, unitPixels, lastPixels, packedStep, packed);
    const uint8_t* bytes = first.data + first.start + from;
    const uint8_t* rawTable = kSameValues ? first.transform : first.packedOfRaw;
    if (first.packedIsRaw) {
        // Four tiles a round: a tile row is a copy of one word, and the loop's own steps weigh most.
        int i = 0;
        for (; i + 4 <= count; i += 4, bytes += 4 * unitBytes, packed += 4 * packedStep) {
            std::memcpy(packed, bytes, kTileBytes);
            std::memcpy(packed + packedStep, bytes + unitBytes, kTileBytes);
            std::memcpy(packed + 2 * packedStep, bytes + 2 * unitBytes, kTileBytes);
            std::memcpy(packed + 3 * packedStep, bytes + 3 * unitBytes, kTileBytes);
        }
        for (; i < count; ++i, bytes += unitBytes, packed += packedStep)
            std::memcpy(packed, bytes, kTileBytes);
        return;
    }
    if (first.packedSwapsNibbles) {
        // A tile row as one word, its bytes' nibbles swapped by two masks and shifts.
        using Word = std::conditional_t<kTileBytes == 8, uint64_t, uint32_t>;
        constexpr Word kLow = static_cast<Word>(~Word{0}) / 0xFF * 0x0F;
        const auto swapOne = [&](int k) {
            Word word = 0;
            std::memcpy(&word, bytes + k * unitBytes, kTileBytes);
            word = (word >> 4 & kLow) | (word & kLow) << 4;
            std::memcpy(packed + k * packedStep, &word, kTileBytes);
        };
        int i = 0;
        for (; i + 4 <= count; i += 4, bytes += 4 * unitBytes, packed += 4 * packedStep) {
            swapOne(0);
            swapOne(1);
            swapOne(2);
            swapOne(3);
        }
        for (; i < count; ++i, bytes += unitBytes, packed += packedStep) swapOne(0);
        return;
    }
    if (rawTable != nullptr) {
        for (int i = 0; i < count; ++i, bytes += unitBytes, packed += packedStep)
            for (int k = 0; k < kTileBytes; ++k) packed[k] = rawTable[bytes[k]];
        return;
    }
    for (int i = 0; i < count; ++i, bytes += unitBytes, packed += packedStep)
        for (int k = 0; k < kTileBytes; ++k) packed[k] = row.byteTable[first.transform[bytes[k]]];
}

template <RowDecoder kDecode, LineDecoder kDecodeLine = decodeUnits<kDecode>>
constexpr void useDecoder(ModeRow& row) {
    row.decode = kDecode;
    row.decodeLine = kDecodeLine;
}

template <int kPlanes = 1>
constexpr void usePlanes(ModeRow& row, bool oneGroup) {
    if constexpr (kPlanes < kMaxModeBits) {
        if (row.bits != kPlanes) return usePlanes<kPlanes + 1>(row, oneGroup);
    }
    if (oneGroup) return useDecoder<decodePlanes<kPlanes, true>, decodePlaneLine<kPlanes, true>>(row);
    useDecoder<decodePlanes<kPlanes, false>, decodePlaneLine<kPlanes, false>>(row);
}

constexpr bool byteTableKeepsValues(const ModeRow& row) {
    for (int v = 0; v < 256; ++v)
        if (row.byteTable[v] != v) return false;
    return true;
}

template <int kTileBytes>
constexpr void useWholeBytesOf(ModeRow& row) {
    if (byteTableKeepsValues(row))
        return useDecoder<decodeWholeBytes<kTileBytes, true>, decodeTileRowsOfBytes<kTileBytes, true>>(row);
    useDecoder<decodeWholeBytes<kTileBytes, false>, decodeTileRowsOfBytes<kTileBytes, false>>(row);
}

// Whole bytes per pixel row: a loop of the tile row's bytes where there are 1, 2, 4 or 8.
constexpr void useWholeBytes(ModeRow& row, int tileRowBytes) {
    switch (tileRowBytes) {
        case 1:
            return useWholeBytesOf<1>(row);
        case 2:
            return useWholeBytesOf<2>(row);
        case 4:
            return useWholeBytesOf<4>(row);
        case 8:
            return useWholeBytesOf<8>(row);
        default:
            return useDecoder<decodeWholeBytes<kAnyTileRowBytes, false>>(row);
    }
}

// The packed values of the pixels of every byte.
constexpr void makeByteTable(ModeRow& row) {
    const PixelLayout& l = row.record->pixels;
    for (int v = 0; v < 256; ++v) {
        int packed = 0;
        for (int j = 0; j < row.pixelsPerByte; ++j) {
            int value = 0;
            for (int b = 0; b < row.bits; ++b)
                value |= ((v >> bitInByte(l, valueBitAddress(l, b, j, 0, 0))) & 1) << b;
            packed |= value << (8 - row.packBits * (j + 1));
        }
        row.byteTable[v] = static_cast<uint8_t>(packed);
    }
}

// The bytes of a tile's row when its rows are whole bytes of their own, its pixels in them one
// after the other with no groups, at most a byte apart, and its width does not divide 64 pixels
// (C64 sprites); else 0. Such rows of tiles side by side, copied into a line, read as a linear row
// of the same layout, 64 pixels of it in at most 64 bytes.
constexpr int gatheredRowBytes(const ModeRecord& r) {
    const PixelLayout& l = r.pixels;
    if (r.layout != ModeLayout::Tiled || 64 % r.tileWidth == 0 || l.groupPixels != 0 || l.stepY % 8 != 0 ||
        l.stepX <= 0 || l.stepX > 8 || r.tileWidth * l.stepX % 8 != 0)
        return 0;
    const int rowBits = r.tileWidth * l.stepX;
    for (int b = 0; b < r.bits; ++b) {
        const int a = l.valueBits[b].bits;
        if (a < 0 || a + (r.tileWidth - 1) * l.stepX >= rowBits) return 0;
    }
    const int rowBytes = rowBits / 8;
    return int64_t{r.tileHeight - 1} * (l.stepY / 8) + rowBytes <= r.tileBytes ? rowBytes : 0;
}

// Where the bits of 64 pixels lie for the vector kernels: planes row widths apart count from
// their own first byte, and need to lie b row widths on for value bit b; else every bit lies in
// the row itself.
constexpr void makeSourceBits(ModeRow& row) {
    const ModeRecord& r = *row.record;
    const PixelLayout& l = r.pixels;
    const bool tiled = r.layout == ModeLayout::Tiled;
    row.tileRowBytes = r.attributeScreen ? 0 : gatheredRowBytes(r);
    if (row.tileRowBytes > 0) {
        // The bits of 64 pixels of a line of gathered rows; a tile's rows lie within it.
        row.hasSourceBits = true;
        row.chunkBytes = 8 * l.stepX;
        for (int x = 0; x < 64; ++x)
            for (int b = 0; b < r.bits; ++b) {
                const int64_t a = l.valueBits[b].bits + int64_t{x} * l.stepX;
                row.sourceBits.bits[b][x] = {static_cast<int>(a / 8), bitInByte(l, a)};
            }
        return;
    }
    bool planes = true, flat = true;
    for (int b = 0; b < r.bits; ++b) {
        planes = planes && l.valueBits[b].widths == b;
        flat = flat && l.valueBits[b].widths == 0;
    }
    const int64_t chunkBits = tiled ? 0 : pixelBitOffset(l, 64);
    // Unit row y of a tile reads y x tileRowStep bytes on, so its rows start on whole bytes.
    row.hasSourceBits = !r.attributeScreen && (r.widthBytes > 1 ? (planes || flat) && !tiled : flat) &&
                        (tiled ? 64 % r.tileWidth == 0 && l.stepY % 8 == 0 : chunkBits % 8 == 0);
    if (!row.hasSourceBits) return;
    row.chunkBytes = static_cast<int>(tiled ? 64 / r.tileWidth * r.tileBytes : chunkBits / 8);
    for (int x = 0; x < 64; ++x) {
        const int tile = tiled ? x / r.tileWidth : 0;
        const int pixel = tiled ? x % r.tileWidth : x;
        for (int b = 0; b < r.bits; ++b) {
            const int64_t a = l.valueBits[b].bits + pixelBitOffset(l, pixel);
            row.sourceBits.bits[b][x] = {static_cast<int>(tile * r.tileBytes + a / 8), bitInByte(l, a)};
            // The vector kernels read a tile's rows, or a chunk, from its own bytes only.
            const int64_t last = tiled ? a / 8 + int64_t{r.tileHeight - 1} * row.tileRowStep : a / 8;
            if (last >= (tiled ? r.tileBytes : row.chunkBytes)) row.hasSourceBits = false;
        }
    }
}

// ---- Values over 8 bits, decoded into 32-bit values.

// Whether each pixel's value is the integer of `bytes` whole bytes at a whole byte, in that byte
// order: value bit k is bit k mod 8 of byte k div 8 (little end first) or of byte bytes-1-k div 8.
constexpr bool isWholeWord(const ModeRecord& r, int bytes, bool bigEndian) {
    const PixelLayout& l = r.pixels;
    if (r.bits != 8 * bytes || l.stepX % 8 != 0 || l.groupStep % 8 != 0 || l.stepY % 8 != 0) return false;
    for (int k = 0; k < r.bits; ++k) {
        const BitAddress& a = l.valueBits[k];
        const int byte = bigEndian ? bytes - 1 - k / 8 : k / 8;
        if (a.widths != 0 || a.bits / 8 != byte || bitInByte(l, a.bits) != k % 8) return false;
    }
    return true;
}

template <int kBytes, bool kBigEndian, typename Bytes>
uint32_t wordAt(const Bytes& unit, int64_t at) {
    uint32_t value = 0;
    for (int i = 0; i < kBytes; ++i)
        value |= uint32_t{unit.at(at + i)} << (kBigEndian ? 8 * (kBytes - 1 - i) : 8 * i);
    return value;
}

template <int kBytes, bool kBigEndian, typename Bytes>
void decodeWordsOf(const PixelLayout& l, const Bytes& unit, int64_t rowStart, int pixels, uint32_t* values) {
    if (l.groupPixels == 0) {
        const int64_t step = l.stepX / 8;
        for (int x = 0; x < pixels; ++x) values[x] = wordAt<kBytes, kBigEndian>(unit, rowStart + x * step);
        return;
    }
    for (int x = 0; x < pixels; ++x)
        values[x] = wordAt<kBytes, kBigEndian>(unit, rowStart + pixelBitOffset(l, x) / 8);
}

// Whole words: rows wholly inside the data are read without a test per byte.
template <int kBytes, bool kBigEndian>
void decodeWords(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint32_t* values) {
    const PixelLayout& l = row.record->pixels;
    const int64_t rowStart = int64_t{y} * (l.stepY / 8);
    if (pixels <= 0) return;
    // The furthest pixel lies at most this far on, even where groups overlap.
    const int64_t last = l.groupPixels == 0
                             ? int64_t{pixels - 1} * (l.stepX / 8)
                             : int64_t{pixels - 1} / l.groupPixels * (l.groupStep / 8) +
                                   int64_t{std::min(pixels - 1, l.groupPixels - 1)} * (l.stepX / 8);
    if (unit.inside(rowStart, last + kBytes)) {
        const UncheckedBytes bytes{unit.data + unit.start, unit.transform};
        return decodeWordsOf<kBytes, kBigEndian>(l, bytes, rowStart, pixels, values);
    }
    decodeWordsOf<kBytes, kBigEndian>(l, unit, rowStart, pixels, values);
}

// Any other layout of a wide value: bit by bit.
void decodeWideBitByBit(const ModeRow& row, const UnitBytes& unit, int y, int pixels, uint32_t* values) {
    const PixelLayout& layout = row.record->pixels;
    for (int x = 0; x < pixels; ++x) {
        uint32_t value = 0;
        for (int b = 0; b < row.bits; ++b) {
            const int64_t a = valueBitAddress(layout, b, x, y, unit.width);
            value |= static_cast<uint32_t>((unit.at(a >> 3) >> bitInByte(layout, a)) & 1) << b;
        }
        values[x] = value;
    }
}

// The packed decoders of a wide format: its values are drawn from decodeWide.
void decodeNoPackedValues(const ModeRow&, const UnitBytes&, int, int pixels, uint8_t* packed) {
    std::fill(packed, packed + std::max(pixels, 0), uint8_t{0});
}

template <int kBytes = 2>
constexpr void useWordDecoder(ModeRow& row) {
    for (const bool bigEndian : {false, true}) {
        if (!isWholeWord(*row.record, kBytes, bigEndian)) continue;
        row.decodeWide = bigEndian ? decodeWords<kBytes, true> : decodeWords<kBytes, false>;
        row.wordBytes = kBytes;
        row.wordBigEndian = bigEndian;
        return;
    }
    if constexpr (kBytes < 4) return useWordDecoder<kBytes + 1>(row);
    row.decodeWide = decodeWideBitByBit;
}

constexpr void useWideDecoder(ModeRow& row) {
    row.wide = true;
    row.packBits = 8;
    row.pixelsPerByte = 1;
    useDecoder<decodeNoPackedValues>(row);
    useWordDecoder(row);
}

constexpr ModeRow modeRowOf(const ModeRecord& r) {
    ModeRow row{};
    row.record = &r;
    row.menuText = r.menuText;
    row.cliName = r.cliName;
    row.layout = r.layout;
    row.bits = r.bits;
    row.pixelWidth = r.pixelWidth;
    const bool tiled = r.layout == ModeLayout::Tiled;
    row.unitPixels = tiled ? r.tileWidth : r.widthPixels;
    // Units side by side fill whole packed bytes, else a pixel takes a byte.
    row.packBits = row.unitPixels * packBitsOf(r.bits) % 8 == 0 ? packBitsOf(r.bits) : 8;
    row.unitHeight = tiled ? r.tileHeight : 1;
    row.unitBytes = tiled ? r.tileBytes : r.widthBytes;
    row.tileRowStep = tiled ? r.pixels.stepY / 8 : 0;
    row.pixelsPerByte = 8 / row.packBits;
    if (r.bits > kMaxModeBits) {
        useWideDecoder(row);
        return row;
    }
    for (int b = 0; b < r.bits; ++b) row.planeByte[b] = r.pixels.valueBits[b].bits / 8;
    if (r.attributeScreen) {
        useDecoder<decodeAttributeScreen>(row);
    } else if (bytesHoldWholePixels(r, row.pixelsPerByte)) {
        makeByteTable(row);
        if (tiled) {
            useWholeBytes(row, r.tileWidth / row.pixelsPerByte);
        } else {
            useDecoder<decodeWholeBytes<0, false>>(row);
        }
    } else if (isPlanar(r) && row.packBits == packedBytesOfGroup(r.bits)) {
        // (The plane decoders pack 8 pixels into packedBytesOfGroup bytes: as many bits a pixel.)
        // Planar: pixels one bit apart, so eight make a byte, and groups are whole bytes.
        row.planeRunGroups = r.pixels.groupPixels / 8;
        row.planeRunStep = r.pixels.groupStep / 8;
        usePlanes(row, tiled && r.tileWidth == 8);
    } else if (pixelsAreSpacedBytes(r)) {
        makeByteTable(row);
        useDecoder<decodeSpacedBytes>(row);
    } else {
        useDecoder<decodeBitByBit>(row);
    }
    makeSourceBits(row);
    row.bytesAreValues = r.layout == ModeLayout::Linear && r.bits == 8 && r.widthPixels == 1 &&
                         r.widthBytes == 1 && bytesHoldWholePixels(r, 1);
    for (int v = 0; v < 256 && row.bytesAreValues; ++v) row.bytesAreValues = row.byteTable[v] == v;
    return row;
}

// ---- The formats.

constexpr std::array<int32_t, 2> kBinaryColours = {0x000000, 0xFFFFFF};
constexpr std::array<int32_t, 4> kAtariColours = {0x000000, 0x4F65B3, 0x35BC84, 0x5E510C};
constexpr std::array<int32_t, 4> kBkColours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

// Bit 0 of the index drives blue, bit 1 red, bit 2 green; the upper eight colours are brighter
// and never fully dark.
constexpr std::array<int32_t, 16> samColours() {
    std::array<int32_t, 16> colours{};
    for (int index = 0; index < 16; ++index) {
        const int on = index < 8 ? 0x49 : 0x6D;
        const int off = index < 8 ? 0x00 : 0x24;
        const int32_t blue = (index & 1) ? on : off;
        const int32_t red = (index & 2) ? on : off;
        const int32_t green = (index & 4) ? on : off;
        colours[index] = red | (green << 8) | (blue << 16);
    }
    return colours;
}

// Colour numbers with bit 0 blue, bit 1 red, bit 2 green and bit 3 bright.
constexpr std::array<int32_t, 16> zxColours() {
    std::array<int32_t, 16> colours{};
    for (int value = 0; value < 16; ++value) {
        const int32_t level = (value & 8) ? 0xFF : 0xD7;
        const int32_t red = (value & 2) ? level : 0;
        const int32_t green = (value & 4) ? level : 0;
        const int32_t blue = (value & 1) ? level : 0;
        colours[value] = red | green << 8 | blue << 16;
    }
    return colours;
}

constexpr auto kSamColours = samColours();
constexpr auto kZxColours = zxColours();

using L = ModeLayout;
using G = ModeGroup;

// In the order of ColourMode: the four byte-cell modes, then the computers and the consoles
// as their submenus list them.
// clang-format off
constexpr ModeRecord kRecords[] = {
    {.id = 0, .menuText = "Binary", .cliName = "binary", .group = G::Classic, .layout = L::ByteCells,
     .bits = 1, .widthPixels = 8, .pixels = {.valueBits = {bitAt(0, 0)}, .stepX = 1},
     .colours = kBinaryColours.data()},
    {.id = 1, .menuText = "Atari GR.15", .cliName = "atari", .group = G::Classic, .layout = L::ByteCells,
     .bits = 2, .pixelWidth = 2, .widthPixels = 4, .pixels = {.valueBits = {bitAt(0, 1), bitAt(0, 0)}, .stepX = 2},
     .colours = kAtariColours.data()},
    {.id = 2, .menuText = "BK-0010", .cliName = "bk", .group = G::Classic, .layout = L::ByteCells,
     .bits = 2, .widthPixels = 4,
     .pixels = {.order = BitOrder::Lsb, .valueBits = {bitAt(0, 0), bitAt(0, 1)}, .stepX = 2},
     .colours = kBkColours.data()},
    {.id = 3, .menuText = "Sam Coupe mode 4", .cliName = "sam", .group = G::Classic, .layout = L::ByteCells,
     .bits = 4, .widthPixels = 2,
     .pixels = {.valueBits = {bitAt(0, 3), bitAt(0, 2), bitAt(0, 1), bitAt(0, 0)}, .stepX = 4},
     .colours = kSamColours.data()},
    {.id = 4, .menuText = "Chunky 8 bpp", .cliName = "chunky8", .group = G::Computers, .layout = L::Linear,
     .bits = 8, .widthPixels = 1,
     .pixels = {.valueBits = {bitAt(0, 7), bitAt(0, 6), bitAt(0, 5), bitAt(0, 4), bitAt(0, 3), bitAt(0, 2),
                              bitAt(0, 1), bitAt(0, 0)}, .stepX = 8}},
    {.id = 5, .menuText = "CPC mode 0", .cliName = "cpc0", .group = G::Computers, .layout = L::Linear,
     .bits = 4, .pixelWidth = 2, .widthPixels = 2,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(0, 4), bitAt(0, 2), bitAt(0, 6)}, .stepX = 1,
                .groupPixels = 2, .groupStep = 8}},
    {.id = 6, .menuText = "CPC mode 1", .cliName = "cpc1", .group = G::Computers, .layout = L::Linear,
     .bits = 2, .widthPixels = 4,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(0, 4)}, .stepX = 1, .groupPixels = 4, .groupStep = 8}},
    {.id = 7, .menuText = "Amiga 4 bitplanes", .cliName = "amiga4", .group = G::Computers, .layout = L::Linear,
     .bits = 4, .widthPixels = 8, .widthBytes = 4,
     .pixels = {.valueBits = {bitAt(0, 0, 0), bitAt(0, 0, 1), bitAt(0, 0, 2), bitAt(0, 0, 3)}, .stepX = 1}},
    {.id = 8, .menuText = "Amiga 5 bitplanes", .cliName = "amiga5", .group = G::Computers, .layout = L::Linear,
     .bits = 5, .widthPixels = 8, .widthBytes = 5,
     .pixels = {.valueBits = {bitAt(0, 0, 0), bitAt(0, 0, 1), bitAt(0, 0, 2), bitAt(0, 0, 3), bitAt(0, 0, 4)},
                .stepX = 1}},
    {.id = 9, .menuText = "Atari ST low", .cliName = "st4", .group = G::Computers, .layout = L::Linear,
     .bits = 4, .widthPixels = 2,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(2, 0), bitAt(4, 0), bitAt(6, 0)}, .stepX = 1,
                .groupPixels = 16, .groupStep = 64}},
    {.id = 10, .menuText = "8x8 cells", .cliName = "cells1", .group = G::Computers, .layout = L::Tiled,
     .bits = 1, .tileWidth = 8, .tileHeight = 8, .tileBytes = 8,
     .pixels = {.valueBits = {bitAt(0, 0)}, .stepX = 1, .stepY = 8}},
    {.id = 11, .menuText = "8x8 cells, wide", .cliName = "cells2w", .group = G::Computers, .layout = L::Tiled,
     .bits = 2, .pixelWidth = 2, .tileWidth = 4, .tileHeight = 8, .tileBytes = 8,
     .pixels = {.valueBits = {bitAt(0, 1), bitAt(0, 0)}, .stepX = 2, .stepY = 8}},
    {.id = 12, .menuText = "ZX Spectrum screen", .cliName = "zx", .group = G::Computers, .layout = L::Tiled,
     .bits = 4, .tileWidth = 256, .tileHeight = 192, .tileBytes = 6912, .colours = kZxColours.data(),
     .attributeScreen = true, .attributeRow = zxRow},
    {.id = 13, .menuText = "NES tiles", .cliName = "nes", .group = G::Consoles, .layout = L::Tiled,
     .bits = 2, .tileWidth = 8, .tileHeight = 8, .tileBytes = 16,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(8, 0)}, .stepX = 1, .stepY = 8}},
    {.id = 14, .menuText = "Game Boy tiles", .cliName = "gb", .group = G::Consoles, .layout = L::Tiled,
     .bits = 2, .tileWidth = 8, .tileHeight = 8, .tileBytes = 16,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(1, 0)}, .stepX = 1, .stepY = 16}},
    {.id = 15, .menuText = "SNES 4 bpp tiles", .cliName = "snes4", .group = G::Consoles, .layout = L::Tiled,
     .bits = 4, .tileWidth = 8, .tileHeight = 8, .tileBytes = 32,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(1, 0), bitAt(16, 0), bitAt(17, 0)}, .stepX = 1, .stepY = 16}},
    {.id = 16, .menuText = "Master System tiles", .cliName = "sms", .group = G::Consoles, .layout = L::Tiled,
     .bits = 4, .tileWidth = 8, .tileHeight = 8, .tileBytes = 32,
     .pixels = {.valueBits = {bitAt(0, 0), bitAt(1, 0), bitAt(2, 0), bitAt(3, 0)}, .stepX = 1, .stepY = 32}},
    {.id = 17, .menuText = "Genesis tiles", .cliName = "genesis", .group = G::Consoles, .layout = L::Tiled,
     .bits = 4, .tileWidth = 8, .tileHeight = 8, .tileBytes = 32,
     .pixels = {.valueBits = {bitAt(0, 3), bitAt(0, 2), bitAt(0, 1), bitAt(0, 0)}, .stepX = 4, .stepY = 32}},
    {.id = 18, .menuText = "GBA 4 bpp tiles", .cliName = "gba4", .group = G::Consoles, .layout = L::Tiled,
     .bits = 4, .tileWidth = 8, .tileHeight = 8, .tileBytes = 32,
     .pixels = {.order = BitOrder::Lsb, .valueBits = {bitAt(0, 0), bitAt(0, 1), bitAt(0, 2), bitAt(0, 3)},
                .stepX = 4, .stepY = 32}},
};
// clang-format on

template <size_t... kIndex>
constexpr std::array<ModeRow, sizeof...(kIndex)> modeRowsOf(std::index_sequence<kIndex...>) {
    return {modeRowOf(kRecords[kIndex])...};
}

constexpr auto kModes = modeRowsOf(std::make_index_sequence<std::size(kRecords)>());

constexpr bool idsAreTablePlaces() {
    for (size_t i = 0; i < std::size(kRecords); ++i)
        if (kRecords[i].id != static_cast<int>(i)) return false;
    return true;
}
static_assert(idsAreTablePlaces(), "a record's id is its place in the table");

int32_t grey(int level) {
    return level | level << 8 | level << 16;
}

// The plans of a mode for values that are levels or not (the plane stride set at drawing).
std::array<BitGatherPlan, 2> gatherPlansOf(const ModeRow& row) {
    std::array<BitGatherPlan, 2> plans;
    for (const bool levels : {false, true})
        plans[levels] =
            bitGatherPlan(sourceBitsOf(row), row.bits, row.chunkBytes, hasPlaneRows(row) ? 1 : 0, levels);
    return plans;
}

}  // namespace

ZxRow zxRow(int y) {
    return {((y & 0xC0) << 5) | ((y & 7) << 8) | ((y & 0x38) << 2), 6144 + (y >> 3) * 32};
}

extern const int kModeTableSize = static_cast<int>(std::size(kRecords));

int appendMode(AddedModes& added, const ModeRecord& record) {
    if (added.modes.size() >= kMostAddedModes) return -1;
    AddedMode& mode = added.modes.emplace_back();
    mode.row = modeRowOf(record);
    mode.plans = gatherPlansOf(mode.row);
    return kModeTableSize + static_cast<int>(added.modes.size()) - 1;
}

int modeCount(const AddedModes* added) {
    return kModeTableSize + (added != nullptr ? static_cast<int>(added->modes.size()) : 0);
}

const ModeRow* modeRow(int mode, const AddedModes* added) {
    if (mode >= 0 && mode < kModeTableSize) return &kModes[mode];
    return mode >= kModeTableSize && mode < modeCount(added) ? &added->modes[mode - kModeTableSize].row
                                                             : nullptr;
}

namespace {

// The mode's plans, without and with grey levels. The built-ins' are made once, with the first
// drawing, and never change after.
const std::array<BitGatherPlan, 2>& plansOf(int mode, const AddedModes* added) {
    using ModePlans = std::vector<std::array<BitGatherPlan, 2>>;
    static const ModePlans builtInPlans = [] {
        ModePlans made;
        for (const ModeRow& row : kModes) made.push_back(gatherPlansOf(row));
        return made;
    }();
    return mode < kModeTableSize ? builtInPlans[mode] : added->modes[mode - kModeTableSize].plans;
}

}  // namespace

BitGatherPlan modePlan(int mode, const AddedModes* added, bool levels, int64_t planeStride) {
    BitGatherPlan plan = plansOf(mode, added)[levels];
    plan.planeStride = planeStride;
    return plan;
}

bool modePlanHasTileLanes(int mode, const AddedModes* added) {
    return plansOf(mode, added)[0].tileLanes;
}

int modeByCliName(const char* name, const AddedModes* added) {
    const std::string lower = lowerCase(name);
    for (int mode = 0; mode < modeCount(added); ++mode) {
        if (lower == modeRow(mode, added)->cliName) return mode;
    }
    return -1;
}

std::vector<int> modesInMenuOrder(const AddedModes* added) {
    std::vector<int> order;
    for (const ModeGroup group :
         {ModeGroup::Classic, ModeGroup::Computers, ModeGroup::Consoles, ModeGroup::Files})
        for (int mode = 0; mode < modeCount(added); ++mode)
            if (modeRow(mode, added)->record->group == group) order.push_back(mode);
    return order;
}

const char* modeGroupTitle(ModeGroup group) {
    switch (group) {
        case ModeGroup::Computers:
            return "Computers";
        case ModeGroup::Consoles:
            return "Consoles";
        case ModeGroup::Files:
            return "From files";
        default:
            return "";
    }
}

int32_t channelLevel(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    const int low = std::countr_zero(mask);
    const int n = std::popcount(mask);
    const uint64_t top = (uint64_t{1} << n) - 1;
    uint64_t level = 0;
    if ((mask >> low) == top) {
        level = (value & mask) >> low;  // the usual mask: its bits side by side
    } else {
        for (int bit = low, at = 0; bit < 32; ++bit) {
            if (((mask >> bit) & 1) == 0) continue;
            level |= uint64_t{(value >> bit) & 1} << at++;
        }
    }
    return scaledLevel(level, n);
}

int32_t wideValueColour(const ModeRecord& r, uint32_t value) {
    if (r.colours != nullptr) return value < static_cast<uint32_t>(r.colourCount) ? r.colours[value] : 0;
    return channelLevel(value, r.channelMasks[0]) | channelLevel(value, r.channelMasks[1]) << 8 |
           channelLevel(value, r.channelMasks[2]) << 16;
}

int32_t modePixelColour(int mode, uint32_t value, const AddedModes* added) {
    const ModeRow* row = modeRow(mode, added);
    if (row != nullptr && row->wide) return wideValueColour(*row->record, value);
    const uint32_t top = row != nullptr ? (1u << row->bits) - 1 : 1;
    if (row != nullptr && row->record->colours != nullptr) return row->record->colours[value & top];
    return grey(static_cast<int>(255 * (value & top) / top));
}

bool isByteCellMode(int mode, const AddedModes* added) {
    const ModeRow* row = modeRow(mode, added);
    return row == nullptr || row->layout == ModeLayout::ByteCells;
}

ViewGeometry viewGeometry(int mode, const AddedModes* added, int width, int zoom, int viewHeight) {
    const ModeRow* found = modeRow(mode, added);
    const ModeRow& row = found != nullptr ? *found : kModes[0];
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

int64_t viewPointByte(int mode, const AddedModes* added, int64_t first, int width, int64_t viewRow,
                      int64_t unitX) {
    const ModeRow* found = modeRow(mode, added);
    const ModeRow& row = found != nullptr ? *found : kModes[0];
    const ViewGeometry g = viewGeometry(mode, added, width, 1, 1);
    const int64_t rowStart = first + viewRow * g.rowBytes;
    if (row.layout == ModeLayout::Tiled) return rowStart + unitX / g.unitWidth * g.unitBytes;
    const int64_t pixel = unitX / row.pixelWidth;
    // The first byte of the pixel's value in plane 0 (a big-endian word's bit 0 lies in its last).
    const PixelLayout& l = row.record->pixels;
    int firstBit = l.valueBits[0].bits;
    for (int b = 1; b < row.bits; ++b)
        if (l.valueBits[b].widths == 0) firstBit = std::min(firstBit, l.valueBits[b].bits);
    return rowStart + (firstBit + pixelBitOffset(l, pixel)) / 8;
}
