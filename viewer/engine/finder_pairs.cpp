#include "viewer/engine/finder_pairs.h"

#include <algorithm>
#include <type_traits>
#include <vector>

#if defined(__x86_64__) && defined(__linux__)
#include <immintrin.h>
#endif

namespace finder {

namespace {

// The pixels that differ in the pairs p[i], p[i + w] for i in [from, n).
template <int Mode>
inline __attribute__((always_inline)) int64_t differingPixelsFrom(const uint8_t* p, int64_t from, int64_t n,
                                                                  int w) {
    int64_t sum = 0;
    int64_t i = from;
    for (; i + 8 <= n; i += 8) sum += std::popcount(differingPixels<Mode>(load64(p + i) ^ load64(p + i + w)));
    for (; i < n; ++i) sum += std::popcount(differingPixels<Mode>(uint64_t{p[i]} ^ uint64_t{p[i + w]}));
    return sum;
}

// Calls f with the pair loops' form of the colour mode as a constant: Binary, two-bit pixels (Atari
// GR.15 and BK-0010 alike) or Sam Coupe's four-bit ones.
template <typename F>
inline __attribute__((always_inline)) void withPixelMode(int mode, F f) {
    switch (mode) {
        case 0:
            return f(std::integral_constant<int, 0>{});
        case 3:
            return f(std::integral_constant<int, 3>{});
        default:
            return f(std::integral_constant<int, 1>{});
    }
}

template <int Mode>
inline __attribute__((always_inline)) void addPairsOfMode(const uint8_t* data, int64_t size, int64_t begin,
                                                          int64_t end, int firstWidth, int lastWidth,
                                                          int64_t* diff, int64_t* pairs) {
    for (int w = firstWidth; w <= lastWidth; ++w) {
        const int64_t stop = std::min(end, size - w);
        if (stop <= begin) break;
        diff[w] += differingPixelsFrom<Mode>(data + begin, 0, stop - begin, w);
        pairs[w] += stop - begin;
    }
}

// The body of every version of addPairs, compiled for the instructions of the one it is inlined in.
inline __attribute__((always_inline)) void addPairsInline(const uint8_t* data, int64_t size, int64_t begin,
                                                          int64_t end, int firstWidth, int lastWidth,
                                                          int mode, int64_t* diff, int64_t* pairs) {
    withPixelMode(
        mode, [&](auto m) __attribute__((always_inline)) {
            addPairsOfMode<m()>(data, size, begin, end, firstWidth, lastWidth, diff, pairs);
        });
}

// The body of every version of addDensityPairs.
inline __attribute__((always_inline)) void addDensityPairsInline(const uint8_t* data, int64_t size,
                                                                 int64_t begin, int64_t end, int widths,
                                                                 int mode, int64_t* densityDiff) {
    const std::array<uint8_t, 256>& table = kDensity.value[mode];
    // The densities in a row of their own, so that the loops below run many pairs at a time.
    const int64_t last = std::min(size, end + widths);
    // A sample's row fits on the stack; a block's is made on the heap.
    std::array<uint8_t, kScanSample + kWidthSlots> small;
    std::vector<uint8_t> large;
    const auto count = static_cast<size_t>(last - begin);
    uint8_t* d = small.data();
    if (count > small.size()) {
        large.resize(count);
        d = large.data();
    }
    for (int64_t i = begin; i < last; ++i) d[i - begin] = table[data[i]];
    for (int w = 1; w <= widths; ++w) {
        const int64_t n = std::min(end, size - w) - begin;
        int sum = 0;  // at most 30 per pair, and n stays below 2^26
        int64_t i = 0;
        for (; i + 16 <= n; i += 16)  // whole runs of 16 pairs, which the compiler does at once
            for (int k = 0; k < 16; ++k) sum += absoluteDifference(d[i + k], d[i + k + w]);
        for (; i < n; ++i) sum += absoluteDifference(d[i], d[i + w]);
        densityDiff[w] += sum;
    }
}

void addPairsPortable(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int firstWidth,
                      int lastWidth, int mode, int64_t* diff, int64_t* pairs) {
    addPairsInline(data, size, begin, end, firstWidth, lastWidth, mode, diff, pairs);
}

void addDensityPairsPortable(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths,
                             int mode, int64_t* densityDiff) {
    addDensityPairsInline(data, size, begin, end, widths, mode, densityDiff);
}

bool runsEverywhere() {
    return true;
}

// Versions for processors that count bits, and that count bits and sum byte differences many
// lanes at a time (GCC only: clang cannot ask the processor for an instruction set level).
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
#define PL_LEVELLED_PAIR_LOOPS

// One version of both loops, compiled for the `instructions` named.
#define PL_PAIR_LOOP_VERSION(version, instructions)                                                   \
    __attribute__((target(instructions))) void addPairs##version(                                     \
        const uint8_t* data, int64_t size, int64_t begin, int64_t end, int firstWidth, int lastWidth, \
        int mode, int64_t* diff, int64_t* pairs) {                                                    \
        addPairsInline(data, size, begin, end, firstWidth, lastWidth, mode, diff, pairs);             \
    }                                                                                                 \
    __attribute__((target(instructions))) void addDensityPairs##version(                              \
        const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths, int mode,          \
        int64_t* densityDiff) {                                                                       \
        addDensityPairsInline(data, size, begin, end, widths, mode, densityDiff);                     \
    }

PL_PAIR_LOOP_VERSION(X86_64_v4, "arch=x86-64-v4")
PL_PAIR_LOOP_VERSION(Popcount, "popcnt")

bool runsX86_64_v4() {
    return __builtin_cpu_init(), __builtin_cpu_supports("x86-64-v4");
}

bool runsPopcount() {
    return __builtin_cpu_init(), __builtin_cpu_supports("popcnt");
}
#endif

// Counting the bits of many words at once is an extension of its own, beyond the level above:
// that loop is written out by hand.
#if defined(__x86_64__) && defined(__linux__)
#define PL_WIDE_BIT_COUNT __attribute__((target("avx512f,avx512vpopcntdq")))

using WideWords = uint64_t __attribute__((vector_size(64)));

// differingPixels on eight words at once. A function without the extension cannot take or give
// such a vector, so the steps are written out again here.
template <int Mode>
PL_WIDE_BIT_COUNT inline WideWords differingPixelsWide(WideWords x) {
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

template <int Mode>
PL_WIDE_BIT_COUNT void addPairsWideOfMode(const uint8_t* data, int64_t size, int64_t begin, int64_t end,
                                          int firstWidth, int lastWidth, int64_t* diff, int64_t* pairs) {
    for (int w = firstWidth; w <= lastWidth; ++w) {
        const int64_t stop = std::min(end, size - w);
        if (stop <= begin) break;
        const uint8_t* p = data + begin;
        const int64_t n = stop - begin;
        WideWords counts{};
        int64_t i = 0;
        for (; i + 64 <= n; i += 64) {
            WideWords a, b;
            std::memcpy(&a, p + i, sizeof a);
            std::memcpy(&b, p + i + w, sizeof b);
            counts += reinterpret_cast<WideWords>(
                _mm512_popcnt_epi64(reinterpret_cast<__m512i>(differingPixelsWide<Mode>(a ^ b))));
        }
        int64_t sum = 0;
        for (int lane = 0; lane < 8; ++lane) sum += static_cast<int64_t>(counts[lane]);
        diff[w] += sum + differingPixelsFrom<Mode>(p, i, n, w);
        pairs[w] += n;
    }
}

PL_WIDE_BIT_COUNT void addPairsWide(const uint8_t* data, int64_t size, int64_t begin, int64_t end,
                                    int firstWidth, int lastWidth, int mode, int64_t* diff, int64_t* pairs) {
    withPixelMode(
        mode, [&](auto m) __attribute__((always_inline)) {
            addPairsWideOfMode<m()>(data, size, begin, end, firstWidth, lastWidth, diff, pairs);
        });
}

bool runsWide() {
    return __builtin_cpu_init(), __builtin_cpu_supports("avx512vpopcntdq")
#ifdef PL_LEVELLED_PAIR_LOOPS
                                     && runsX86_64_v4()  // its densities are summed by that version
#endif
        ;
}
#endif

constexpr PairLoops kVersions[] = {
#ifdef PL_WIDE_BIT_COUNT
#ifdef PL_LEVELLED_PAIR_LOOPS
    {"x86-64-v4+vpopcntdq", runsWide, addPairsWide, addDensityPairsX86_64_v4},
#else
    {"vpopcntdq", runsWide, addPairsWide, addDensityPairsPortable},
#endif
#endif
#ifdef PL_LEVELLED_PAIR_LOOPS
    {"x86-64-v4", runsX86_64_v4, addPairsX86_64_v4, addDensityPairsX86_64_v4},
    {"popcount", runsPopcount, addPairsPopcount, addDensityPairsPopcount},
#endif
    {"default", runsEverywhere, addPairsPortable, addDensityPairsPortable},
};

}  // namespace

bool isFlat(const uint8_t* data, int64_t first, int64_t end) {
    for (int64_t i = first + 1; i < end; ++i)
        if (data[i] != data[first]) return false;
    return true;
}

int64_t oneValueRunEnd(const uint8_t* data, int64_t first, int64_t limit) {
    int64_t end = first;
    while (end < limit && data[end] == data[first]) ++end;
    return end;
}

std::span<const PairLoops> pairLoopVersions() {
    return kVersions;
}

const PairLoops& fastestPairLoops() {
    static const PairLoops& fastest = *std::find_if(std::begin(kVersions), std::end(kVersions),
                                                    [](const PairLoops& v) { return v.runsHere(); });
    return fastest;
}

std::array<int64_t, 256> valueCounts(const uint8_t* data, int64_t size, int64_t begin, int64_t end) {
    return countInTurn<256>(std::max<int64_t>(begin, 0), std::min(end, size),
                            [&](int64_t i) { return data[i]; });
}

void measure(Profile& profile, const uint8_t* data, int64_t size, int64_t begin, int64_t end, int widths,
             int mode, const PairLoops& loops) {
    profile.histogram = valueCounts(data, size, begin, end);
    loops.addPairs(data, size, begin, end, 1, widths, mode, profile.diff.data(), profile.pairs.data());
    loops.addDensityPairs(data, size, begin, end, widths, mode, profile.densityDiff.data());
}

void addProfile(Profile& into, const Profile& more) {
    for (int w = 0; w < kWidthSlots; ++w) {
        into.diff[w] += more.diff[w];
        into.densityDiff[w] += more.densityDiff[w];
        into.pairs[w] += more.pairs[w];
    }
    for (int v = 0; v < 256; ++v) into.histogram[v] += more.histogram[v];
}

}  // namespace finder
