// The finder's first stage, pair counts: per width w, how much the bytes of a stretch differ
// from the bytes w on, in pixels of the colour mode and in densities (the sum of a byte's
// pixel values), and how often each byte value occurs. Every later stage judges widths from
// these counts. The loops come in versions per instruction set; all give the same counts.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "viewer/engine/finder_results.h"

namespace finder {

// Widths 1..kFinderLargestWidth + 1: the right neighbour of the largest width is needed too.
constexpr int kWidthSlots = kFinderLargestWidth + 2;
// Bytes judged as one: widths are scored, and regions grown, a block at a time.
constexpr int64_t kBlock = 1024;
// Bytes of the scan's first, quick look at a block; a row of their densities fits on the stack.
constexpr int64_t kScanSample = 256;

constexpr int pixelsPerByte(int mode) {
    return mode == 0 ? 8 : mode == 3 ? 2 : 4;
}

constexpr int bitsPerPixel(int mode) {
    return 8 / pixelsPerByte(mode);
}

// Per colour mode, one set bit per pixel of a byte whose bits differ in x.
template <int Mode>
constexpr __attribute__((always_inline)) uint64_t differingPixels(uint64_t x) {
    if constexpr (Mode == 0) {
        return x;
    } else if constexpr (Mode == 3) {
        x |= x >> 1;
        x |= x >> 2;
        return x & 0x1111111111111111ULL;
    } else {
        return (x | x >> 1) & 0x5555555555555555ULL;
    }
}

// Per colour mode and byte x, the pixels that differ in two bytes whose bits differ in x.
struct DifferingTable {
    std::array<std::array<uint8_t, 256>, 4> count{};
    constexpr DifferingTable() {
        for (uint64_t x = 0; x < 256; ++x) {
            count[0][x] = static_cast<uint8_t>(std::popcount(differingPixels<0>(x)));
            count[1][x] = count[2][x] = static_cast<uint8_t>(std::popcount(differingPixels<1>(x)));
            count[3][x] = static_cast<uint8_t>(std::popcount(differingPixels<3>(x)));
        }
    }
};
inline constexpr DifferingTable kDiffering;

inline int differingPixelCount(uint8_t a, uint8_t b, int mode) {
    return kDiffering.count[mode][a ^ b];
}

// The sum of a byte's pixel values: dithering keeps it where it changes the pixels.
struct DensityTable {
    std::array<std::array<uint8_t, 256>, 4> value{};
    std::array<int, 4> largest{8, 12, 12, 30};
    constexpr DensityTable() {
        for (int v = 0; v < 256; ++v) {
            value[0][v] = static_cast<uint8_t>(std::popcount(static_cast<unsigned>(v)));
            value[1][v] = value[2][v] =
                static_cast<uint8_t>((v & 3) + (v >> 2 & 3) + (v >> 4 & 3) + (v >> 6 & 3));
            value[3][v] = static_cast<uint8_t>((v & 15) + (v >> 4));
        }
    }
};
inline constexpr DensityTable kDensity;

inline int absoluteDifference(uint8_t a, uint8_t b) {
    return std::abs(int{a} - int{b});  // in this form the compiler sums many at once (a SAD)
}

inline __attribute__((always_inline)) uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Whether every byte of [first, end) is the one at `first`.
bool isFlat(const uint8_t* data, int64_t first, int64_t end);

// The end of the run of the value at `first`, looked for no further than `limit`.
int64_t oneValueRunEnd(const uint8_t* data, int64_t first, int64_t limit);

// The pair loops, one version per instruction set:
// addPairs: diff[w] += differing pixels of data[i] and data[i + w] for i in [begin, end(w)),
//   where end(w) = min(end, size - w), w in [firstWidth, lastWidth]; pairs[w] counts the pairs.
// addDensityPairs: densityDiff[w] += the density differences of the same pairs, w in [1, widths].
struct PairLoops {
    const char* name;
    bool (*runsHere)();  // whether this processor has the instructions
    void (*addPairs)(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int firstWidth,
                     int lastWidth, int mode, int64_t* diff, int64_t* pairs);
    void (*addDensityPairs)(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths,
                            int mode, int64_t* densityDiff);
};

// Every version built, the fastest first; the portable one, which runs everywhere, last.
std::span<const PairLoops> pairLoopVersions();

// The first version of pairLoopVersions() that this processor runs.
const PairLoops& fastestPairLoops();

// How often each of `Values` values occurs at [begin, end). Pictures repeat a few values over and
// over: counting into four tables in turn keeps each count's update from waiting on the one before.
template <size_t Values, typename ValueAt>
std::array<int64_t, Values> countInTurn(int64_t begin, int64_t end, ValueAt valueAt) {
    std::array<std::array<int64_t, Values>, 4> tallies{};
    int64_t i = begin;
    for (; i + 4 <= end; i += 4)
        for (int t = 0; t < 4; ++t) ++tallies[t][valueAt(i + t)];
    for (; i < end; ++i) ++tallies[0][valueAt(i)];
    std::array<int64_t, Values> counts{};
    for (size_t v = 0; v < Values; ++v)
        counts[v] = tallies[0][v] + tallies[1][v] + tallies[2][v] + tallies[3][v];
    return counts;
}

// How often each byte value occurs in [begin, end) clipped to the data.
std::array<int64_t, 256> valueCounts(const uint8_t* data, int64_t size, int64_t begin, int64_t end);

// What a stretch of bytes says about each width.
struct Profile {
    std::array<int64_t, kWidthSlots> diff{};
    std::array<int64_t, kWidthSlots> densityDiff{};  // in units of the mode's darkest step
    std::array<int64_t, kWidthSlots> pairs{};
    std::array<int64_t, 256> histogram{};
};

// The profile of [begin, end) at widths 1..widths.
void measure(Profile& profile, const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths,
             int mode, const PairLoops& loops);

void addProfile(Profile& into, const Profile& more);

}  // namespace finder
