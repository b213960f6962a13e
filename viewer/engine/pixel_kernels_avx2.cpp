// The AVX2 kernels of the view's drawing (x86-64-v3: AVX2, BMI2, FMA): lines of values decoded 32
// pixels at a time by in-lane byte shuffles and bit tests, and expanded into screen bytes 96 at a
// time. They replace the portable entries of a kernel table when the processor has the instructions.
#include "viewer/engine/pixel_kernels_avx2.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>

#if defined(__x86_64__)
#include "viewer/engine/pixel_kernels_avx2_steps.h"
#include "viewer/engine/pixel_kernels_avx2_tiles.h"

namespace {

using namespace avx2;

// Three output vectors of 32 bytes. A vector's bytes show at most twelve pixels, so one 16-byte
// load from its first pixel on, in both lanes, holds them all.
constexpr int kBlockBytes = 96;
constexpr int kWidestFactor = 16;

// Up to this many colours are looked up with one shuffle: colour v's screen byte c at 4 c + v.
constexpr int kFewColours = 4;

struct BlockPattern {
    alignas(32) uint8_t pick[3][32];   // each byte's pixel, counted from its vector's first pixel
    alignas(32) uint8_t fewAt[3][32];  // 4 x its screen byte (0..2), where it lies among few colours
    alignas(32) uint8_t green[3][32];  // 0xFF where the byte is a pixel's screen byte 1
    alignas(32) uint8_t red[3][32];    // and screen byte 2 (byte 0 is blue)
    int firstPixel[3];                 // of each vector, from the block's first pixel
    int blockPixels;                   // 32 / factor
};

BlockPattern blockPattern(int factor) {
    BlockPattern p{};
    const int pixelBytes = kScreenPixelBytes * factor;
    p.blockPixels = kBlockBytes / pixelBytes;
    for (int at = 0; at < kBlockBytes; ++at) {
        const int k = at / 32, j = at % 32;
        p.firstPixel[k] = (32 * k) / pixelBytes;
        p.pick[k][j] = static_cast<uint8_t>(at / pixelBytes - p.firstPixel[k]);
        p.green[k][j] = at % kScreenPixelBytes == 1 ? 0xFF : 0;
        p.red[k][j] = at % kScreenPixelBytes == 2 ? 0xFF : 0;
        p.fewAt[k][j] = static_cast<uint8_t>(kFewColours * (at % kScreenPixelBytes));
    }
    return p;
}

// The patterns of factors 1, 2, 4, 8 and 16, made once.
const BlockPattern& patternOf(int factor) {
    static const std::array<BlockPattern, kWidestFactor + 1> patterns = [] {
        std::array<BlockPattern, kWidestFactor + 1> made{};
        for (int factor = 1; factor <= kWidestFactor; factor *= 2) made[factor] = blockPattern(factor);
        return made;
    }();
    return patterns[factor];
}

struct ExpandVectors {
    __m256i pick[3], green[3], red[3];
    __m256i colours[3];  // the 16 colours' screen byte c in both lanes
    __m256i fewAt[3];
    __m256i fewColours;  // the first four colours' screen bytes, as fewAt places them
};

// How values become screen bytes: grey levels repeated, colour numbers of at most four colours,
// or of up to 16.
enum class Look { Grey, FewColours, Colours };

PL_AVX2_STEP ExpandVectors expandVectors(const LineExpander& e, const BlockPattern& p) {
    ExpandVectors x;
    for (int k = 0; k < 3; ++k) {
        x.pick[k] = load32(p.pick[k]);
        x.green[k] = load32(p.green[k]);
        x.red[k] = load32(p.red[k]);
        x.colours[k] = bothLanes(e.colours + 16 * k);
        x.fewAt[k] = load32(p.fewAt[k]);
    }
    alignas(16) uint8_t few[16] = {};
    for (int c = 0; c < kScreenPixelBytes; ++c)
        for (int v = 0; v < kFewColours; ++v) few[kFewColours * c + v] = e.colours[16 * c + v];
    x.fewColours = bothLanes(few);
    return x;
}

// The screen bytes of values v, one a byte, whose first byte is screen byte 32 k of a block (its
// channels those of output vector k): grey levels repeated, or colour numbers looked up in the
// table of few colours or in the three tables of screen bytes.
template <Look kLook>
PL_AVX2_STEP __m256i lookedUp(const ExpandVectors& x, __m256i v, int k) {
    if constexpr (kLook == Look::Grey) return v;
    if constexpr (kLook == Look::FewColours)
        return _mm256_shuffle_epi8(x.fewColours, _mm256_add_epi8(v, x.fewAt[k]));
    const __m256i blue = _mm256_shuffle_epi8(x.colours[0], v);
    const __m256i green = _mm256_blendv_epi8(blue, _mm256_shuffle_epi8(x.colours[1], v), x.green[k]);
    return _mm256_blendv_epi8(green, _mm256_shuffle_epi8(x.colours[2], v), x.red[k]);
}

// Output vector k of the block whose first pixel is values[0].
template <Look kLook>
PL_AVX2_STEP __m256i blockVector(const ExpandVectors& x, const int (&firstPixel)[3], const uint8_t* values,
                                 int k) {
    return lookedUp<kLook>(x, _mm256_shuffle_epi8(bothLanes(values + firstPixel[k]), x.pick[k]), k);
}

// Byte j of a vector whose first byte is `phase` screen bytes into a pixel `factor` screen pixels
// wide: the pixel it shows, counted from that one (made once, for every factor and phase).
struct PhasePicks {
    alignas(32) uint8_t pick[5][kScreenPixelBytes * kWidestFactor][32];

    constexpr PhasePicks() : pick() {
        for (int f = 0; f < 5; ++f)
            for (int phase = 0; phase < kScreenPixelBytes << f; ++phase)
                for (int j = 0; j < 32; ++j)
                    pick[f][phase][j] = static_cast<uint8_t>((phase + j) / (kScreenPixelBytes << f));
    }
};

constexpr PhasePicks kPhasePicks;

// The 32 screen bytes from screen byte `at` of the line on, for values `pixelBytes` screen bytes wide
// (2 to the `log2Factor` screen pixels).
template <Look kLook>
PL_AVX2_STEP __m256i vectorAt(const ExpandVectors& x, const uint8_t* values, size_t at, int log2Factor,
                              size_t pixelBytes) {
    const __m256i v = _mm256_shuffle_epi8(bothLanes(values + at / pixelBytes),
                                          load32(kPhasePicks.pick[log2Factor][at % pixelBytes]));
    // Output vector k starts at channel 32 k mod 3: 0, 2, 1 (each k a constant, so that the
    // vectors of the look stay in registers).
    switch (at % kScreenPixelBytes) {
        case 0:
            return lookedUp<kLook>(x, v, 0);
        case 1:
            return lookedUp<kLook>(x, v, 2);
        default:
            return lookedUp<kLook>(x, v, 1);
    }
}

// kRows: exactly that many image rows (1 or 2), or 0 for rows.rows of them.
template <int kRows>
PL_AVX2_STEP void storeToRows(const LineRows& rows, uint8_t* at, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
    if constexpr (kRows == 1) return;
    if constexpr (kRows == 2) return _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + rows.step), v);
    for (int r = 1; r < rows.rows; ++r)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + r * rows.step), v);
}

// What expanding a line needs, made once per drawing of lines (a batch) rather than per line.
struct BlockExpander {
    ExpandVectors x;
    int firstPixel[3];
    int blockPixels;
    void (*expand)(const BlockExpander&, const uint8_t*, const LineRows&, uint8_t*, size_t);
};

template <Look kLook, int kRows>
PL_AVX2 void expandBlocks(const BlockExpander& be, const uint8_t* values, const LineRows& target,
                          uint8_t* out, size_t bytes) {
    // Only the vectors this look uses, as locals: the stores into the image cannot change them.
    ExpandVectors x;
    for (int k = 0; k < 3; ++k) {
        x.pick[k] = be.x.pick[k];
        if constexpr (kLook == Look::FewColours) x.fewAt[k] = be.x.fewAt[k];
        if constexpr (kLook == Look::Colours) {
            x.green[k] = be.x.green[k];
            x.red[k] = be.x.red[k];
            x.colours[k] = be.x.colours[k];
        }
    }
    if constexpr (kLook == Look::FewColours) x.fewColours = be.x.fewColours;
    const LineRows rows = target;  // locals: the stores into the image cannot change them
    const int firstPixel[3] = {be.firstPixel[0], be.firstPixel[1], be.firstPixel[2]};
    const int blockPixels = be.blockPixels;
    uint8_t* const end = out + bytes;
    for (; out + kBlockBytes <= end; out += kBlockBytes, values += blockPixels) {
        storeToRows<kRows>(rows, out, blockVector<kLook>(x, firstPixel, values, 0));
        storeToRows<kRows>(rows, out + 32, blockVector<kLook>(x, firstPixel, values, 1));
        storeToRows<kRows>(rows, out + 64, blockVector<kLook>(x, firstPixel, values, 2));
    }
    if (out == end) return;
    const size_t left = size_t(end - out);
    if (left >= 32) {
        // Whole vectors, then one that ends with the line, over the one before.
        size_t at = 0;
        for (int k = 0; at + 32 <= left; ++k, at += 32)
            storeToRows<kRows>(rows, out + at, blockVector<kLook>(x, firstPixel, values, k));
        if (at == left) return;
        const int log2Factor =
            std::countr_zero(static_cast<unsigned>(kBlockBytes / kScreenPixelBytes / blockPixels));
        return storeToRows<kRows>(
            rows, end - 32,
            vectorAt<kLook>(x, values, left - 32, log2Factor, size_t{kScreenPixelBytes} << log2Factor));
    }
    // The last bytes, cut from a whole block.
    alignas(32) uint8_t last[kBlockBytes];
    for (int k = 0; k < 3; ++k)
        _mm256_store_si256(reinterpret_cast<__m256i*>(last + 32 * k),
                           blockVector<kLook>(x, firstPixel, values, k));
    for (int r = 0; r < rows.rows; ++r) std::memcpy(out + r * rows.step, last, size_t(end - out));
}

template <Look kLook>
auto blockWriter(int rows) {
    return rows == 1 ? expandBlocks<kLook, 1> : rows == 2 ? expandBlocks<kLook, 2> : expandBlocks<kLook, 0>;
}

// fewColours: every value is below 4.
PL_AVX2 BlockExpander blockExpander(const LineExpander& e, int rows, bool fewColours) {
    const BlockPattern& p = patternOf(e.factor);
    BlockExpander be;
    be.x = expandVectors(e, p);
    for (int k = 0; k < 3; ++k) be.firstPixel[k] = p.firstPixel[k];
    be.blockPixels = p.blockPixels;
    be.expand = e.grey       ? blockWriter<Look::Grey>(rows)
                : fewColours ? blockWriter<Look::FewColours>(rows)
                             : blockWriter<Look::Colours>(rows);
    return be;
}

void expandLineAvx2(const LineExpander& expander, const uint8_t* values, const LineRows& rows, size_t at,
                    size_t bytes) {
    if (bytes == 0 || rows.rows <= 0) return;
    const BlockExpander be = blockExpander(expander, rows.rows, false);
    be.expand(be, values, rows, rows.first + at, bytes);
}

// ---- Decoding. Every value bit of a chunk's 64 pixels is a bit test of one byte per pixel: the
// bytes of 16 pixels are shuffled out of a 16-byte lane (one load, or two of 8 bytes where a lane's
// pixels lie further apart, as in tiles), anded with each pixel's bit and compared. Value bits with
// the same bytes and bits (the repeated bits of grey levels) are one test.

constexpr int kChunkPixels = 64;
constexpr int kMostSources = 8;
// Past this many bytes read by a chunk the kernel declines: the copy kept for a chunk near the
// data's end stays small.
constexpr int64_t kMostChunkReach = 2048;

// Where the lanes of a chunk's bit tests come from: each half (32 pixels) one 16-byte load into both
// lanes or one 32-byte load, each lane one 16-byte load, each lane two 8-byte loads, or four of 4
// bytes (the rows of narrow tiles).
enum class LaneShape { Broadcast, Wide, Lanes, Pairs, Quads };

struct BitTest {
    int64_t from[4][4];  // lane l's four 4-byte quarters: their offsets from the chunk's first byte
    alignas(32) uint8_t index[64];      // pixel x: its byte in its lane
    alignas(32) uint8_t bit[64];        // the bit tested
    alignas(32) uint8_t want[64];       // what byte & bit is where the value bits are set (0: inverted)
    alignas(32) uint8_t valueMask[32];  // the value bits this test sets, in every byte
    uint8_t valueBits;
    int loads;    // the test whose lanes this one uses (its own index where none before had the same)
    int shuffle;  // the test whose shuffled bytes this one tests (the same lanes and indices)
};

struct ChunkTests {
    BitTest test[kMostSources];
    int count = 0;
    LaneShape shape = LaneShape::Wide;
    int64_t chunkBytes = 0;
    int64_t reach = 0;  // bytes from a chunk's first that its loads read
    bool mapped = false;
    alignas(16) uint8_t valueMap[32] = {};  // values 0..31, where mapped
};

// A byte transform that moves and may invert each bit: bit q of the result is bit from[q] of the
// byte, inverted where `inverted` has bit q. False for any other transform.
struct TransformBits {
    int from[8];
    uint8_t inverted;
};

// Without a call: these run outside the kernels' target, where popcount is a library call.
constexpr bool oneBitSet(unsigned v) {
    return v != 0 && (v & (v - 1)) == 0;
}

bool transformBits(const uint8_t* table, bool identity, TransformBits& t) {
    t.inverted = identity ? 0 : table[0];
    for (int q = 0; q < 8; ++q) t.from[q] = q;
    if (identity) return true;
    int seen = 0;
    for (int j = 0; j < 8; ++j) {
        const unsigned moved = table[1 << j] ^ t.inverted;
        if (!oneBitSet(moved)) return false;
        // One bit of a byte: below 8 (the mask says so to the compiler too).
        const int q = std::countr_zero(moved) & 7;
        t.from[q] = j;
        seen |= 1 << q;
    }
    if (seen != 0xFF) return false;
    for (int v = 0; v < 256; ++v) {
        int moved = t.inverted;
        for (int q = 0; q < 8; ++q) moved ^= ((v >> t.from[q]) & 1) << q;
        if (table[v] != moved) return false;
    }
    return true;
}

// Lane `lane` read as four quarters, each 4 pixels' bytes within 4; false where they are not.
bool placeQuarters(BitTest& t, const int64_t (&offset)[64], int lane) {
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int at = 16 * lane + 4 * quarter;
        const auto [low, high] = std::minmax_element(offset + at, offset + at + 4);
        if (*high - *low >= 4) return false;
        t.from[lane][quarter] = *low;
        for (int x = at; x < at + 4; ++x) t.index[x] = static_cast<uint8_t>(offset[x] - *low + 4 * quarter);
    }
    return true;
}

// The lanes of test t: each lane's bytes within 16, else each 8 pixels' within 8, else each 4
// pixels' within 4; false otherwise.
bool placeLanes(BitTest& t, const int64_t (&offset)[64]) {
    for (int lane = 0; lane < 4; ++lane) {
        const int first = 16 * lane;
        // Both lanes of a half from one window where its 32 pixels' bytes lie within 16.
        const auto [halfLow, halfHigh] =
            std::minmax_element(offset + 32 * (lane / 2), offset + 32 * (lane / 2) + 32);
        const auto [laneLow, laneHigh] = std::minmax_element(offset + first, offset + first + 16);
        const bool halfFits = *halfHigh - *halfLow < 16;
        const int64_t* low = halfFits ? halfLow : laneLow;
        const int64_t* high = halfFits ? halfHigh : laneHigh;
        if (*high - *low < 16) {
            for (int quarter = 0; quarter < 4; ++quarter) t.from[lane][quarter] = *low + 4 * quarter;
            for (int x = first; x < first + 16; ++x) t.index[x] = static_cast<uint8_t>(offset[x] - *low);
            continue;
        }
        bool halves = true;
        for (int half = 0; half < 2 && halves; ++half) {
            const int at = first + 8 * half;
            const auto [low8, high8] = std::minmax_element(offset + at, offset + at + 8);
            halves = *high8 - *low8 < 8;
            t.from[lane][2 * half] = *low8;
            t.from[lane][2 * half + 1] = *low8 + 4;
            for (int x = at; x < at + 8; ++x) t.index[x] = static_cast<uint8_t>(offset[x] - *low8 + 8 * half);
        }
        if (!halves && !placeQuarters(t, offset, lane)) return false;
    }
    return true;
}

// The lanes of test t read where `from` says, as another test's, where every pixel's byte lies in
// its lane's quarters (planes of a tile's row side by side share their loads); false otherwise.
bool placeInLanes(BitTest& t, const int64_t (&offset)[64], const int64_t (&from)[4][4]) {
    for (int x = 0; x < kChunkPixels; ++x) {
        const int64_t(&quarters)[4] = from[x / 16];
        int q = 0;
        while (q < 4 && (offset[x] < quarters[q] || offset[x] >= quarters[q] + 4)) ++q;
        if (q == 4) return false;
        t.index[x] = static_cast<uint8_t>(4 * q + offset[x] - quarters[q]);
    }
    std::memcpy(t.from, from, sizeof t.from);
    return true;
}

// The shapes whose loads give the test's lanes, as bits 1 << LaneShape.
int laneShapes(const BitTest& t) {
    bool broadcast = true, wide = true, lanes = true, pairs = true;
    for (int lane = 0; lane < 4; ++lane) {
        const int64_t(&q)[4] = t.from[lane];
        pairs = pairs && q[1] == q[0] + 4 && q[3] == q[2] + 4;
        lanes = lanes && pairs && q[2] == q[0] + 8;
        broadcast = broadcast && (lane % 2 == 0 || q[0] == t.from[lane - 1][0]);
        wide = wide && (lane % 2 == 0 || q[0] == t.from[lane - 1][0] + 16);
    }
    return (broadcast && lanes ? 1 << int(LaneShape::Broadcast) : 0) |
           (wide && lanes ? 1 << int(LaneShape::Wide) : 0) | (lanes ? 1 << int(LaneShape::Lanes) : 0) |
           (pairs ? 1 << int(LaneShape::Pairs) : 0) | 1 << int(LaneShape::Quads);
}

// The tests of value bit i: one per value bit, merged where two are the same.
bool addValueBit(ChunkTests& c, const BitGatherPlan& plan, const TransformBits& transform, int i) {
    BitTest t{};
    int64_t offset[64];
    bool any = false;
    for (int x = 0; x < kChunkPixels; ++x) {
        BitPlace place;
        if (!placeOf(plan, i, x, place)) {
            // Never set: no byte anded with 0 is 0xFF.
            offset[x] = x > 0 ? offset[x - 1] : 0;
            t.bit[x] = 0;
            t.want[x] = 0xFF;
            continue;
        }
        any = true;
        offset[x] = place.offset;
        t.bit[x] = static_cast<uint8_t>(1u << transform.from[place.bit]);
        t.want[x] = ((transform.inverted >> place.bit) & 1) != 0 ? 0 : t.bit[x];
    }
    if (!any) return true;
    for (int n = 0; n < c.count; ++n) {
        BitTest& same = c.test[n];
        if (std::memcmp(same.bit, t.bit, 64) == 0 && std::memcmp(same.want, t.want, 64) == 0 &&
            placeInLanes(t, offset, same.from) && std::memcmp(same.index, t.index, 64) == 0) {
            same.valueBits |= static_cast<uint8_t>(1u << i);
            std::memset(same.valueMask, same.valueBits, sizeof same.valueMask);
            return true;
        }
    }
    const BitTest* before = c.count > 0 ? &c.test[c.count - 1] : nullptr;
    if ((before == nullptr || !placeInLanes(t, offset, before->from)) && !placeLanes(t, offset)) return false;
    if (c.count == kMostSources) return false;
    t.valueBits = static_cast<uint8_t>(1u << i);
    std::memset(t.valueMask, t.valueBits, sizeof t.valueMask);
    t.loads = c.count;
    t.shuffle = c.count;
    // The lanes and shuffled bytes held are those of the test before.
    if (before != nullptr && std::memcmp(before->from, t.from, sizeof t.from) == 0) {
        t.loads = before->loads;
        if (std::memcmp(before->index, t.index, sizeof t.index) == 0) t.shuffle = before->shuffle;
    }
    c.test[c.count++] = t;
    return true;
}

// The tests of a usable plan, the byte transform folded in; false where the kernel declines.
bool chunkTests(ChunkTests& c, const BitGatherPlan& plan, const LineExpander& e, const uint8_t* transform,
                bool identity) {
    TransformBits bits;
    if (!plan.usable || !transformBits(transform, identity, bits)) return false;
    c.count = 0;
    for (int i = 0; i < 8; ++i)
        if (!addValueBit(c, plan, bits, i)) return false;
    if (c.count == 0) return false;
    c.chunkBytes = plan.chunkBytes;
    int shapes = ~0;
    c.reach = 0;
    for (const BitTest& t : std::span(c.test, c.count)) {
        shapes &= laneShapes(t);
        for (const auto& lane : t.from)
            for (const int64_t quarter : lane) c.reach = std::max<int64_t>(c.reach, quarter + 4);
    }
    c.shape = static_cast<LaneShape>(std::countr_zero(static_cast<unsigned>(shapes)));
    c.mapped = mapsValues(plan, e);
    if (c.mapped && plan.depth > 5) return false;
    std::memcpy(c.valueMap, e.valueMap, sizeof c.valueMap);
    return c.reach <= kMostChunkReach;
}

PL_AVX2_STEP __m128i laneOf(const uint8_t* chunk, const int64_t (&from)[4]) {
    const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(chunk + from[0]));
    return _mm_castpd_si128(
        _mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(chunk + from[2])));
}

PL_AVX2_STEP int fourBytes(const uint8_t* p) {
    int four;
    std::memcpy(&four, p, sizeof four);
    return four;
}

PL_AVX2_STEP __m128i laneOfQuarters(const uint8_t* chunk, const int64_t (&from)[4]) {
    __m128i lane = _mm_cvtsi32_si128(fourBytes(chunk + from[0]));
    lane = _mm_insert_epi32(lane, fourBytes(chunk + from[1]), 1);
    lane = _mm_insert_epi32(lane, fourBytes(chunk + from[2]), 2);
    return _mm_insert_epi32(lane, fourBytes(chunk + from[3]), 3);
}

// The lanes of a test for half h of a chunk.
template <LaneShape kShape>
PL_AVX2_STEP __m256i testLanes(const uint8_t* chunk, const BitTest& t, int h) {
    if constexpr (kShape == LaneShape::Broadcast) return bothLanes(chunk + t.from[2 * h][0]);
    if constexpr (kShape == LaneShape::Wide) return loadAny(chunk + t.from[2 * h][0]);
    __m128i low, high;
    if constexpr (kShape == LaneShape::Lanes) {
        low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + t.from[2 * h][0]));
        high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + t.from[2 * h + 1][0]));
    } else if constexpr (kShape == LaneShape::Pairs) {
        low = laneOf(chunk, t.from[2 * h]);
        high = laneOf(chunk, t.from[2 * h + 1]);
    } else {
        low = laneOfQuarters(chunk, t.from[2 * h]);
        high = laneOfQuarters(chunk, t.from[2 * h + 1]);
    }
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Which tests load their lanes and which shuffle their bytes (bit n for test n), held as locals
// by the decoding loop: the stores of its values could otherwise change them as far as the
// compiler knows.
struct TestSteps {
    unsigned loads = 0, shuffles = 0;
};

TestSteps testSteps(const ChunkTests& c) {
    TestSteps steps;
    for (int n = 0; n < c.count; ++n) {
        if (c.test[n].loads == n) steps.loads |= 1u << n;
        if (c.test[n].shuffle == n) steps.shuffles |= 1u << n;
    }
    return steps;
}

// The values of half h (32 pixels) of the chunk at `chunk`, by kTests tests.
template <LaneShape kShape, int kTests, bool kMapped>
PL_AVX2_STEP __m256i halfValues(const ChunkTests& c, TestSteps steps, const uint8_t* chunk, int h) {
    __m256i values = _mm256_setzero_si256();
    __m256i lanes = _mm256_setzero_si256(), bytes = lanes;
#pragma GCC unroll 8
    for (int n = 0; n < kTests; ++n) {
        const BitTest& t = c.test[n];
        if (n == 0 || (steps.loads >> n) & 1) lanes = testLanes<kShape>(chunk, t, h);
        if (n == 0 || (steps.shuffles >> n) & 1) bytes = _mm256_shuffle_epi8(lanes, load32(t.index + 32 * h));
        const __m256i set =
            _mm256_cmpeq_epi8(_mm256_and_si256(bytes, load32(t.bit + 32 * h)), load32(t.want + 32 * h));
        values = kTests == 1 ? _mm256_and_si256(set, load32(t.valueMask))
                             : _mm256_or_si256(values, _mm256_and_si256(set, load32(t.valueMask)));
    }
    if constexpr (!kMapped) return values;
    // Values 0..31 looked up: bit 4 of each, shifted to bit 7, picks the table of 16 to 31.
    const __m256i low = _mm256_shuffle_epi8(bothLanes(c.valueMap), values);
    const __m256i high = _mm256_shuffle_epi8(bothLanes(c.valueMap + 16), values);
    return _mm256_blendv_epi8(low, high, _mm256_slli_epi16(values, 3));
}

// A chunk near the data's end: its bytes copied, zeros past the end.
template <LaneShape kShape, int kTests, bool kMapped>
PL_AVX2 __attribute__((noinline)) void chunkNearEnd(const ChunkTests& c, const uint8_t* chunk,
                                                    int64_t readable, uint8_t* values) {
    alignas(32) uint8_t copy[kMostChunkReach] = {};
    std::memcpy(copy, chunk, static_cast<size_t>(std::clamp<int64_t>(readable, 0, c.reach)));
    const TestSteps steps = testSteps(c);
    for (int h = 0; h < 2; ++h)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + 32 * h),
                            halfValues<kShape, kTests, kMapped>(c, steps, copy, h));
}

// The values of `pixels` pixels (rounded up to 64) of the run at `bytes`, `size` bytes readable.
template <LaneShape kShape, int kTests, bool kMapped>
PL_AVX2 void decodeChunks(const ChunkTests& tests, const uint8_t* bytes, int64_t size, int pixels,
                          uint8_t* values) {
    const ChunkTests& c = tests;
    const int64_t chunkBytes = c.chunkBytes, reach = c.reach;
    const TestSteps steps = testSteps(c);
    int64_t offset = 0;
    for (int x = 0; x < pixels; x += kChunkPixels, offset += chunkBytes) {
        if (offset + reach > size) {
            chunkNearEnd<kShape, kTests, kMapped>(c, bytes + offset, size - offset, values + x);
            continue;
        }
        const __m256i low = halfValues<kShape, kTests, kMapped>(c, steps, bytes + offset, 0);
        const __m256i high = halfValues<kShape, kTests, kMapped>(c, steps, bytes + offset, 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + x), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + x + 32), high);
    }
}

using ChunkDecoder = void (*)(const ChunkTests&, const uint8_t*, int64_t, int, uint8_t*);

template <LaneShape kShape, bool kMapped>
ChunkDecoder decoderWithTests(int tests) {
    constexpr ChunkDecoder kDecoders[kMostSources] = {
        decodeChunks<kShape, 1, kMapped>, decodeChunks<kShape, 2, kMapped>, decodeChunks<kShape, 3, kMapped>,
        decodeChunks<kShape, 4, kMapped>, decodeChunks<kShape, 5, kMapped>, decodeChunks<kShape, 6, kMapped>,
        decodeChunks<kShape, 7, kMapped>, decodeChunks<kShape, 8, kMapped>};
    return kDecoders[std::clamp(tests, 1, kMostSources) - 1];
}

template <bool kMapped>
ChunkDecoder decoderWithShape(const ChunkTests& c) {
    switch (c.shape) {
        case LaneShape::Broadcast:
            return decoderWithTests<LaneShape::Broadcast, kMapped>(c.count);
        case LaneShape::Wide:
            return decoderWithTests<LaneShape::Wide, kMapped>(c.count);
        case LaneShape::Lanes:
            return decoderWithTests<LaneShape::Lanes, kMapped>(c.count);
        case LaneShape::Pairs:
            return decoderWithTests<LaneShape::Pairs, kMapped>(c.count);
        default:
            return decoderWithTests<LaneShape::Quads, kMapped>(c.count);
    }
}

ChunkDecoder chunkDecoder(const ChunkTests& c) {
    return c.mapped ? decoderWithShape<true>(c) : decoderWithShape<false>(c);
}

// The 32 bytes from bytes + at, zeros past `size`.
PL_AVX2_STEP __m256i bytesWithin(const uint8_t* bytes, int64_t size, int64_t at) {
    if (at + 32 <= size) return loadAny(bytes + at);
    alignas(32) uint8_t last[32] = {};
    std::memcpy(last, bytes + at, static_cast<size_t>(std::clamp<int64_t>(size - at, 0, 32)));
    return load32(last);
}

PL_AVX2 void copyThrough(const CopyTables& t, const uint8_t* bytes, int64_t size, int pixels,
                         uint8_t* values) {
    const __m256i low = bothLanes(t.low), high = bothLanes(t.high);
    for (int x = 0; x < pixels; x += 32) {
        const __m256i v = bytesWithin(bytes, size, x);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + x), throughNibbleTables(low, high, v));
    }
}

// ---- Packed 4-bit pixels (Genesis and GBA 4 bpp tiles): each pixel's byte shuffled out of the lanes
// of its chunk as for a bit test, and its value the byte's low or high nibble (through the byte
// transform), instead of a test per value bit.

// What the values are: the nibbles, grey levels that repeat them (bits 4-7 those of 0-3), or colour
// numbers through the expander's map.
enum class NibbleOut { Raw, Levels, Mapped };

struct NibbleChunks {
    BitTest lanes;  // from and index: each pixel's byte
    LaneShape shape = LaneShape::Wide;
    int64_t chunkBytes = 0;
    int64_t reach = 0;
    alignas(32) uint8_t high[64] = {};  // 0xFF where the pixel's value is its byte's high nibble
    CopyTables transform;
    alignas(16) uint8_t valueMap[16] = {};
};

template <LaneShape kShape, bool kIdentity, NibbleOut kOut>
PL_AVX2_STEP __m256i nibbleHalf(const NibbleChunks& n, const uint8_t* chunk, int h) {
    __m256i lanes = testLanes<kShape>(chunk, n.lanes, h);
    if constexpr (!kIdentity)
        lanes = throughNibbleTables(bothLanes(n.transform.low), bothLanes(n.transform.high), lanes);
    const __m256i bytes = _mm256_shuffle_epi8(lanes, load32(n.lanes.index + 32 * h));
    const __m256i v =
        _mm256_and_si256(_mm256_blendv_epi8(bytes, _mm256_srli_epi16(bytes, 4), load32(n.high + 32 * h)),
                         _mm256_set1_epi8(15));
    if constexpr (kOut == NibbleOut::Levels) return _mm256_or_si256(v, _mm256_slli_epi16(v, 4));
    if constexpr (kOut == NibbleOut::Mapped) return _mm256_shuffle_epi8(bothLanes(n.valueMap), v);
    return v;
}

// The values of `pixels` pixels (rounded up to 64) of the run at `bytes`, `size` bytes readable.
template <LaneShape kShape, bool kIdentity, NibbleOut kOut>
PL_AVX2 void decodeNibbles(const NibbleChunks& chunks, const uint8_t* bytes, int64_t size, int pixels,
                           uint8_t* values) {
    // A local copy: the stores of the values cannot change its offsets and vectors, kept in registers.
    const NibbleChunks n = chunks;
    const int64_t chunkBytes = n.chunkBytes, reach = n.reach;
    int64_t offset = 0;
    for (int x = 0; x < pixels; x += kChunkPixels, offset += chunkBytes) {
        const uint8_t* chunk = bytes + offset;
        alignas(32) uint8_t copy[kMostChunkReach];
        if (offset + reach > size) {
            // Near the data's end: the chunk's bytes copied, zeros past the end.
            std::memset(copy, 0, static_cast<size_t>(reach));
            std::memcpy(copy, chunk, static_cast<size_t>(std::clamp<int64_t>(size - offset, 0, reach)));
            chunk = copy;
        }
        const __m256i low = nibbleHalf<kShape, kIdentity, kOut>(n, chunk, 0);
        const __m256i high = nibbleHalf<kShape, kIdentity, kOut>(n, chunk, 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + x), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + x + 32), high);
    }
}

using NibbleDecoder = void (*)(const NibbleChunks&, const uint8_t*, int64_t, int, uint8_t*);

template <LaneShape kShape, bool kIdentity>
NibbleDecoder nibbleDecoderFor(NibbleOut out) {
    return out == NibbleOut::Raw      ? decodeNibbles<kShape, kIdentity, NibbleOut::Raw>
           : out == NibbleOut::Levels ? decodeNibbles<kShape, kIdentity, NibbleOut::Levels>
                                      : decodeNibbles<kShape, kIdentity, NibbleOut::Mapped>;
}

template <bool kIdentity>
NibbleDecoder nibbleDecoderWith(LaneShape shape, NibbleOut out) {
    switch (shape) {
        case LaneShape::Broadcast:
            return nibbleDecoderFor<LaneShape::Broadcast, kIdentity>(out);
        case LaneShape::Wide:
            return nibbleDecoderFor<LaneShape::Wide, kIdentity>(out);
        case LaneShape::Lanes:
            return nibbleDecoderFor<LaneShape::Lanes, kIdentity>(out);
        case LaneShape::Pairs:
            return nibbleDecoderFor<LaneShape::Pairs, kIdentity>(out);
        default:
            return nibbleDecoderFor<LaneShape::Quads, kIdentity>(out);
    }
}

// Value bits 0-3 of pixel x at bits `low` .. `low` + 3 (low 0 or 4) of one byte, `offset` from the
// chunk's first; false where they lie otherwise.
bool nibbleOf(const BitGatherPlan& plan, int x, int64_t& offset, int& low) {
    BitPlace first;
    if (!placeOf(plan, 0, x, first) || first.bit % 4 != 0) return false;
    for (int i = 1; i < 4; ++i) {
        BitPlace place;
        if (!placeOf(plan, i, x, place) || place.offset != first.offset || place.bit != first.bit + i)
            return false;
    }
    offset = first.offset;
    low = first.bit;
    return true;
}

// What bits 4-7 of pixel x's values are: none (Raw), those of bits 0-3 (Levels); false otherwise.
bool upperBitsOf(const BitGatherPlan& plan, int x, NibbleOut& out) {
    int none = 0, repeated = 0;
    for (int i = 4; i < 8; ++i) {
        BitPlace place, below;
        if (!placeOf(plan, i, x, place)) {
            ++none;
        } else if (placeOf(plan, i - 4, x, below) && below.offset == place.offset && below.bit == place.bit) {
            ++repeated;
        }
    }
    if (none == 4) out = NibbleOut::Raw;
    if (repeated == 4) out = NibbleOut::Levels;
    return none == 4 || repeated == 4;
}

// The decoder of a plan of 4-bit pixels each a nibble of one byte; nullptr for others.
NibbleDecoder nibbleDecoder(const BitGatherPlan& plan, const LineExpander& e, const uint8_t* transform,
                            bool identity, NibbleChunks& n) {
    if (!plan.usable || plan.depth != 4) return nullptr;
    int64_t offset[kChunkPixels];
    NibbleOut out = NibbleOut::Raw;
    for (int x = 0; x < kChunkPixels; ++x) {
        int low = 0;
        NibbleOut upper = NibbleOut::Raw;
        if (!nibbleOf(plan, x, offset[x], low) || !upperBitsOf(plan, x, upper) || (x > 0 && upper != out))
            return nullptr;
        out = upper;
        n.high[x] = low == 4 ? 0xFF : 0;
    }
    if (!placeLanes(n.lanes, offset)) return nullptr;
    n.shape = static_cast<LaneShape>(std::countr_zero(static_cast<unsigned>(laneShapes(n.lanes))));
    n.reach = 0;
    for (const auto& lane : n.lanes.from)
        for (const int64_t quarter : lane) n.reach = std::max<int64_t>(n.reach, quarter + 4);
    if (n.reach > kMostChunkReach) return nullptr;
    n.chunkBytes = plan.chunkBytes;
    if (mapsValues(plan, e)) {
        if (out == NibbleOut::Levels) return nullptr;
        out = NibbleOut::Mapped;
        std::memcpy(n.valueMap, e.valueMap, sizeof n.valueMap);
    }
    if (!identity && !copyTables(transform, n.transform)) return nullptr;
    return identity ? nibbleDecoderWith<true>(n.shape, out) : nibbleDecoderWith<false>(n.shape, out);
}

// ---- Pixels of whole bytes side by side (CPC modes 0 and 1, the byte cells through lines of values):
// each byte holds 2 or 4 pixels, pixel p of every byte at the same bits. As the byte transform only
// moves and inverts bits, pixel p's value (raw, or grey levels that repeat its bits) is that of the
// byte's low nibble XOR that of its high nibble: two look-ups of 16 a pixel, 32 bytes at a time,
// then the pixels interleaved into their order.
constexpr int kMostBytePixels = 4;

struct BytePixels {
    int pixels = 2;                                     // a byte's
    alignas(32) uint8_t low[kMostBytePixels][32] = {};  // pixel p's value of the low nibble, in both lanes
    alignas(32) uint8_t high[kMostBytePixels][32] = {};
    bool mapped = false;
    alignas(32) uint8_t valueMap[32] = {};  // values 0..15, in both lanes, where mapped
};

// The value of pixel p of byte `byte` by the plan (every value bit i where placeOf puts it).
int planValueOf(const int (&bitOf)[kMostBytePixels][8], int p, int byte) {
    int value = 0;
    for (int i = 0; i < 8; ++i)
        if (bitOf[p][i] >= 0) value |= ((byte >> bitOf[p][i]) & 1) << i;
    return value;
}

// The tables of a plan whose pixel x lies in byte x / n, n = 2 or 4, at the same bits for every byte;
// false for others, or where the transform is not a sum of its nibbles' parts.
bool bytePixels(const BitGatherPlan& plan, const LineExpander& e, const uint8_t* transform, bool identity,
                BytePixels& t) {
    if (!plan.usable || plan.planar || plan.depth > 4 || plan.depth < 1) return false;
    t.pixels = 8 / plan.depth;
    if ((t.pixels != 2 && t.pixels != 4) || plan.chunkBytes != kChunkPixels / t.pixels) return false;
    int bitOf[kMostBytePixels][8];
    for (int x = 0; x < kChunkPixels; ++x) {
        for (int i = 0; i < 8; ++i) {
            BitPlace place;
            const int p = x % t.pixels;
            const int bit = placeOf(plan, i, x, place) ? place.bit : -1;
            if (bit >= 0 && place.offset != x / t.pixels) return false;
            if (x < t.pixels) {
                bitOf[p][i] = bit;
            } else if (bitOf[p][i] != bit) {
                return false;
            }
        }
    }
    // A transform that is the sum of its nibbles' parts makes each pixel's value such a sum too, as
    // taking bits out of a byte is linear.
    CopyTables nibbles;
    if (!identity && !copyTables(transform, nibbles)) return false;
    const auto through = [&](int v) { return identity ? v : int{transform[v]}; };
    for (int p = 0; p < t.pixels; ++p) {
        const int zero = planValueOf(bitOf, p, through(0));
        uint8_t low[16], high[16];
        for (int n = 0; n < 16; ++n) {
            low[n] = static_cast<uint8_t>(planValueOf(bitOf, p, through(n)));
            high[n] = static_cast<uint8_t>(planValueOf(bitOf, p, through(n << 4)) ^ zero);
        }
        for (int lane = 0; lane < 2; ++lane) {
            std::memcpy(t.low[p] + 16 * lane, low, 16);
            std::memcpy(t.high[p] + 16 * lane, high, 16);
        }
    }
    t.mapped = mapsValues(plan, e);
    for (int lane = 0; lane < 2; ++lane) std::memcpy(t.valueMap + 16 * lane, e.valueMap, 16);
    return true;
}

// Pixel p of each of the 32 bytes whose nibbles are `low` and `high`.
template <bool kMapped>
PL_AVX2_STEP __m256i pixelOfBytes(const BytePixels& t, int p, __m256i low, __m256i high) {
    const __m256i v = _mm256_xor_si256(_mm256_shuffle_epi8(load32(t.low[p]), low),
                                       _mm256_shuffle_epi8(load32(t.high[p]), high));
    return kMapped ? _mm256_shuffle_epi8(load32(t.valueMap), v) : v;
}

// The low lanes of a and b as 32 values at `out`, their high lanes at out + highAt (unpacks keep
// each lane's values, the bytes 16 on in the high ones).
PL_AVX2_STEP void storeLanes(uint8_t* out, int highAt, __m256i a, __m256i b) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + highAt), _mm256_permute2x128_si256(a, b, 0x31));
}

// The values of `pixels` pixels (rounded up to 32 bytes' worth) of the bytes from `bytes` on, `size`
// of them readable.
template <int kPixels, bool kMapped>
PL_AVX2 void decodeBytePixels(const BytePixels& tables, const uint8_t* bytes, int64_t size, int pixels,
                              uint8_t* values) {
    const BytePixels t = tables;  // a local: the stores of the values cannot change it
    const __m256i nibble = _mm256_set1_epi8(15);
    const int64_t count = (int64_t{pixels} + kPixels - 1) / kPixels;
    for (int64_t at = 0; at < count; at += 32, values += 32 * kPixels) {
        const __m256i d = bytesWithin(bytes, size, at);
        const __m256i low = _mm256_and_si256(d, nibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(d, 4), nibble);
        const __m256i p0 = pixelOfBytes<kMapped>(t, 0, low, high);
        const __m256i p1 = pixelOfBytes<kMapped>(t, 1, low, high);
        if constexpr (kPixels == 2) {
            storeLanes(values, 32, _mm256_unpacklo_epi8(p0, p1), _mm256_unpackhi_epi8(p0, p1));
        } else {
            const __m256i p2 = pixelOfBytes<kMapped>(t, 2, low, high);
            const __m256i p3 = pixelOfBytes<kMapped>(t, 3, low, high);
            const __m256i a = _mm256_unpacklo_epi8(p0, p1), b = _mm256_unpackhi_epi8(p0, p1);
            const __m256i c = _mm256_unpacklo_epi8(p2, p3), e = _mm256_unpackhi_epi8(p2, p3);
            storeLanes(values, 64, _mm256_unpacklo_epi16(a, c), _mm256_unpackhi_epi16(a, c));
            storeLanes(values + 32, 64, _mm256_unpacklo_epi16(b, e), _mm256_unpackhi_epi16(b, e));
        }
    }
}

using BytePixelDecoder = void (*)(const BytePixels&, const uint8_t*, int64_t, int, uint8_t*);

BytePixelDecoder bytePixelDecoder(const BytePixels& t) {
    if (t.pixels == 2) return t.mapped ? decodeBytePixels<2, true> : decodeBytePixels<2, false>;
    return t.mapped ? decodeBytePixels<4, true> : decodeBytePixels<4, false>;
}

// ---- Attribute screens: 32 pixels at a time from 4 bitmap bytes and their 4 attributes, each byte
// spread under its 8 pixels (through the byte transform, a sum of bits as for copies), the pixel's
// bit tested and ink or paper picked.

struct AttributeVectors {
    __m256i spread, bit, low, high;
};

PL_AVX2_STEP AttributeVectors attributeVectors(const CopyTables& t) {
    // Byte i of 32 pixels: its bitmap byte, and its bit there. Made at compile time: a row of units
    // calls this once, hundreds of times a view.
    return {_mm256_setr_epi64x(0, 0x0101010101010101, 0x0202020202020202, 0x0303030303030303),
            _mm256_set1_epi64x(0x0102040810204080), bothLanes(t.low), bothLanes(t.high)};
}

PL_AVX2_STEP __m256i fourBytesSpread(const AttributeVectors& a, const uint8_t* p, bool identity) {
    uint32_t four;
    std::memcpy(&four, p, sizeof four);
    __m256i v = _mm256_set1_epi32(static_cast<int>(four));
    if (!identity) v = throughNibbleTables(a.low, a.high, v);
    return _mm256_shuffle_epi8(v, a.spread);
}

// Ink (attribute bits 0-2) where the pixel's bit is set, else paper (bits 3-5), bright (bit 6) as
// bit 3 of both.
PL_AVX2_STEP __m256i attributeValues(const AttributeVectors& a, const uint8_t* bitmap,
                                     const uint8_t* attributes, bool identity) {
    const __m256i bits = fourBytesSpread(a, bitmap, identity);
    const __m256i at = fourBytesSpread(a, attributes, identity);
    const __m256i set = _mm256_cmpeq_epi8(_mm256_and_si256(bits, a.bit), a.bit);
    const __m256i paper = _mm256_and_si256(_mm256_srli_epi16(at, 3), _mm256_set1_epi8(15));
    const __m256i ink = _mm256_or_si256(_mm256_and_si256(at, _mm256_set1_epi8(7)),
                                        _mm256_and_si256(paper, _mm256_set1_epi8(8)));
    return _mm256_blendv_epi8(paper, ink, set);
}

// The values of a row of attribute screens whose first starts at `bytes`, every byte they read in
// the data; units of whole 32-pixel groups.
template <bool kIdentity>
PL_AVX2 void attributeUnits(const CopyTables& t, const uint8_t* bytes, const AttributeRow& row,
                            uint8_t* values) {
    const AttributeVectors a = attributeVectors(t);
    for (int u = 0; u < row.units; ++u) {
        const uint8_t* unit = bytes + u * row.unitBytes;
        const uint8_t* bitmap = unit + row.bitmapRow;
        const uint8_t* attributes = unit + row.attributeRow;
        const int pixels = u + 1 < row.units ? row.unitPixels : row.lastPixels;
        uint8_t* out = values + int64_t{u} * row.unitPixels;
        for (int x = 0; x < pixels; x += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                                attributeValues(a, bitmap + x / 8, attributes + x / 8, kIdentity));
    }
}

// Whether attribute rows of units `unitPixels` wide are decoded here: whole 32-pixel groups, as
// wide as a line's values allow past a unit, the values colour numbers, the transform a sum of bits.
bool attributeTables(int unitPixels, const LineExpander& e, const uint8_t* transform, bool identity,
                     CopyTables& t) {
    if (unitPixels % 32 != 0 || unitPixels > kValueLinePadding || !e.mapIdentity) return false;
    return identity || copyTables(transform, t);
}

bool attributePixelsAvx2(const SourceRun& run, const AttributeRow& row, uint8_t* values) {
    CopyTables t;
    if (!attributeTables(row.unitPixels, *run.expander, run.transform, run.identity, t)) return false;
    if (run.identity) {
        attributeUnits<true>(t, run.bytes, row, values);
    } else {
        attributeUnits<false>(t, run.bytes, row, values);
    }
    return true;
}

// ---- Lines in one go: each line's runs decoded into a line of values, then expanded into its
// image rows.

// ---- Byte cells (the modes whose every byte gives its pixels alone): the screen bytes of every
// byte value are made once per batch, from the values of the bytes 0..255 expanded as one line,
// and each line's bytes are then copied cell by cell into its image rows: three vectors of four
// cells at zoom 1 or of two at zoom 2, whole vectors of one cell beyond. Cells lie a power of two
// apart where that costs at most a third more room, so that a byte's cell is one shift away.
constexpr int kWidestCellBytes = 8 * 8 * kScreenPixelBytes;  // 8 pixels of a byte at zoom 8

constexpr int cellStride(int cellBytes) {
    return cellBytes == 24 ? 32 : cellBytes == 48 ? 64 : cellBytes;
}

struct CellTable {
    alignas(32) uint8_t bytes[256 * kWidestCellBytes + kBlockBytes];
};

PL_AVX2_STEP __m128i loadHalf(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Eight bytes from p, then eight from q.
PL_AVX2_STEP __m128i eightAndEight(const uint8_t* p, const uint8_t* q) {
    const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(q)));
}

// The cells of `count` screen bytes of a strip whose bytes start at `bytes`, into rows from `out`.
template <int kCellBytes, int kRows>
PL_AVX2 void copyCells(const CellTable& t, const uint8_t* bytes, const LineRows& target, uint8_t* out,
                       size_t count) {
    constexpr size_t kStride = cellStride(kCellBytes);
    const LineRows rows = target;  // locals: the stores into the image cannot change them
    const uint8_t* const cells = t.bytes;
    uint8_t* const end = out + count;
    if constexpr (kCellBytes == 24) {
        for (; out + 4 * kCellBytes <= end; out += 4 * kCellBytes, bytes += 4) {
            const uint8_t* a = cells + bytes[0] * kStride;
            const uint8_t* b = cells + bytes[1] * kStride;
            const uint8_t* c = cells + bytes[2] * kStride;
            const uint8_t* d = cells + bytes[3] * kStride;
            storeToRows<kRows>(rows, out, _mm256_set_m128i(eightAndEight(a + 16, b), loadHalf(a)));
            storeToRows<kRows>(rows, out + 32,
                               _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(c),
                                                   reinterpret_cast<const __m128i*>(b + 8)));
            storeToRows<kRows>(rows, out + 64, _mm256_set_m128i(loadHalf(d + 8), eightAndEight(c + 16, d)));
        }
    } else if constexpr (kCellBytes == 48) {
        for (; out + 2 * kCellBytes <= end; out += 2 * kCellBytes, bytes += 2) {
            const uint8_t* a = cells + bytes[0] * kStride;
            const uint8_t* b = cells + bytes[1] * kStride;
            storeToRows<kRows>(rows, out, loadAny(a));
            storeToRows<kRows>(rows, out + 32,
                               _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(b),
                                                   reinterpret_cast<const __m128i*>(a + 32)));
            storeToRows<kRows>(rows, out + 64, loadAny(b + 16));
        }
    }
    // Then cell by cell: whole ones, and one cut at the view's edge.
    for (; out + kCellBytes <= end; out += kCellBytes, ++bytes) {
        const uint8_t* a = cells + *bytes * kStride;
        int k = 0;
        for (; k + 32 <= kCellBytes; k += 32) storeToRows<kRows>(rows, out + k, loadAny(a + k));
        for (int r = 0; r < rows.rows; ++r) {
            if constexpr (kCellBytes % 32 >= 16)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + r * rows.step + k), loadHalf(a + k));
            if constexpr (kCellBytes % 16 == 8)
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * rows.step + kCellBytes - 8),
                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + kCellBytes - 8)));
        }
    }
    if (out < end)
        for (int r = 0; r < rows.rows; ++r)
            std::memcpy(out + r * rows.step, cells + *bytes * kStride, size_t(end - out));
}

using CellCopier = void (*)(const CellTable&, const uint8_t*, const LineRows&, uint8_t*, size_t);

template <int kCellBytes>
CellCopier cellCopierFor(int rows) {
    return rows == 1   ? copyCells<kCellBytes, 1>
           : rows == 2 ? copyCells<kCellBytes, 2>
                       : copyCells<kCellBytes, 0>;
}

// The copier of cells of that many screen bytes; nullptr for others.
CellCopier cellCopier(int cellBytes, int rows) {
    switch (cellBytes) {
        case 24:
            return cellCopierFor<24>(rows);
        case 48:
            return cellCopierFor<48>(rows);
        case 96:
            return cellCopierFor<96>(rows);
        case 192:
            return cellCopierFor<192>(rows);
        default:
            return nullptr;
    }
}

// The raw values of a byte's first `pixels` pixels, pixel x in byte x: value bit i of pixel x is bit
// bits[x][i] of the byte, all of pixel x's bits those of masks[x].
struct CellBits {
    int pixels, depth;
    int bits[8][8];
    uint32_t masks[8];
    bool ascending;  // value bit i is the i-th lowest bit of its mask: one bit extract a pixel
};

PL_AVX2 uint64_t rawCellValues(const CellBits& c, uint32_t byte) {
    uint64_t values = 0;
    for (int x = 0; x < c.pixels; ++x) {
        uint32_t raw = 0;
        if (c.ascending) {
            raw = _pext_u32(byte, c.masks[x]);
        } else {
            for (int i = 0; i < c.depth; ++i) raw |= ((byte >> c.bits[x][i]) & 1) << i;
        }
        values |= uint64_t{raw} << (8 * x);
    }
    return values;
}

// The cells of the 256 byte values, made from the plan's bits of the first cellPixels pixels (all
// in a chunk's first byte) through the byte transform; false where they lie elsewhere. As the
// transform only moves and inverts bits, a byte's raw values are those of its high nibble's part
// and its low nibble's part combined, sixteen of each made; the colours of the raw values (at most
// 16) are then looked up by the expander.
PL_AVX2 bool makeCellTable(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                           CellTable& t) {
    CellBits c{b.cellPixels, plan.depth, {}, {}, true};
    if (plan.depth > 4) return false;
    for (int x = 0; x < c.pixels; ++x) {
        for (int i = 0; i < c.depth; ++i) {
            BitPlace place;
            if (!placeOf(plan, i, x, place) || place.offset != 0) return false;
            c.bits[x][i] = place.bit;
            c.ascending = c.ascending && (i == 0 || place.bit > c.bits[x][i - 1]);
            c.masks[x] |= 1u << place.bit;
        }
    }
    CopyTables nibbles;
    if (!b.identity && !copyTables(b.transform, nibbles)) return false;
    const auto transformed = [&](int v) { return b.identity ? uint32_t(v) : uint32_t(b.transform[v]); };
    const uint64_t zero = rawCellValues(c, transformed(0));
    uint64_t low[16], high[16];
    for (int n = 0; n < 16; ++n) {
        low[n] = rawCellValues(c, transformed(n));
        high[n] = rawCellValues(c, transformed(n << 4)) ^ zero;
    }
    alignas(32) uint8_t values[256 * 8 + kValueLinePadding];
    for (int v = 0; v < 256; ++v) {
        const uint64_t raw = low[v & 15] ^ high[v >> 4];
        std::memcpy(values + v * c.pixels, &raw, sizeof raw);
    }
    const int cellBytes = c.pixels * e.factor * kScreenPixelBytes;
    BlockExpander table = blockExpander(e, 1, false);
    table.expand = expandBlocks<Look::Colours, 1>;
    table.expand(table, values, {t.bytes, 0, 1}, t.bytes, size_t(256) * cellBytes);
    // Each cell moved to its place, the last first: none lies below where it was made.
    const int stride = cellStride(cellBytes);
    if (stride != cellBytes)
        for (int v = 255; v > 0; --v) std::memmove(t.bytes + v * stride, t.bytes + v * cellBytes, cellBytes);
    return true;
}

// ---- Black and white byte cells (Binary): each screen byte tests its pixel's bit straight from the
// data, sixteen bytes a block: one load in both lanes, then per output vector one shuffle of the bytes
// under its screen bytes, one OR with the other bits and one compare with all ones. The byte
// transform is applied to the block's bytes first (a sum of bits: two nibble look-ups).
constexpr int kBitBlockBytes = 16;
constexpr int kWidestBitFactor = 8;

// Byte `at` of a block's screen bytes at one zoom lies under the pixel of data byte index[at], whose
// bit is the one not set in others[at]; a vector of them is read from any byte of the block on.
struct BitBlockPattern {
    alignas(32) uint8_t index[kBitBlockBytes * 8 * kScreenPixelBytes * kWidestBitFactor];
    alignas(32) uint8_t others[kBitBlockBytes * 8 * kScreenPixelBytes * kWidestBitFactor];
};

BitBlockPattern bitBlockPattern(int factor) {
    BitBlockPattern p{};
    const int pixelBytes = kScreenPixelBytes * factor;
    for (int at = 0; at < kBitBlockBytes * 8 * pixelBytes; ++at) {
        const int pixel = at / pixelBytes;
        p.index[at] = static_cast<uint8_t>(pixel / 8);
        p.others[at] = static_cast<uint8_t>(~(0x80u >> pixel % 8));
    }
    return p;
}

// The patterns of factors 1, 2, 4 and 8, made once.
const BitBlockPattern& bitPatternOf(int factor) {
    static const std::array<BitBlockPattern, 4> patterns = [] {
        std::array<BitBlockPattern, 4> made{};
        for (int k = 0; k < 4; ++k) made[k] = bitBlockPattern(1 << k);
        return made;
    }();
    return patterns[std::countr_zero(static_cast<unsigned>(factor))];
}

// The transform's nibble tables, where it is not the identity.
struct BitCells {
    CopyTables transform;
    bool identity = true;
};

template <bool kIdentity>
PL_AVX2_STEP __m256i transformedBlock(const BitCells& c, __m256i v) {
    if constexpr (kIdentity) return v;
    return throughNibbleTables(bothLanes(c.transform.low), bothLanes(c.transform.high), v);
}

// The 32 screen bytes from byte `at` of the block on.
PL_AVX2_STEP __m256i bitVector(const BitBlockPattern& p, __m256i block, size_t at) {
    const __m256i bytes = _mm256_shuffle_epi8(block, loadAny(p.index + at));
    return _mm256_cmpeq_epi8(_mm256_or_si256(bytes, loadAny(p.others + at)), _mm256_set1_epi8(-1));
}

// The cells of `count` screen bytes of a strip whose bytes start at `bytes` (`readable` of them in
// the data), into rows from `out`.
template <int kFactor, int kRows, bool kIdentity>
PL_AVX2 void expandBitCells(const BitCells& c, const uint8_t* bytes, int64_t readable, const LineRows& target,
                            uint8_t* out, size_t count) {
    constexpr size_t kBlockScreenBytes = kBitBlockBytes * 8 * kScreenPixelBytes * kFactor;
    const BitBlockPattern& p = bitPatternOf(kFactor);
    const LineRows rows = target;  // locals: the stores into the image cannot change them
    uint8_t* const end = out + count;
    for (; out + kBlockScreenBytes <= end;
         out += kBlockScreenBytes, bytes += kBitBlockBytes, readable -= 16) {
        const __m256i block = transformedBlock<kIdentity>(c, bothLanes(bytes));
#pragma GCC unroll 96
        for (size_t at = 0; at < kBlockScreenBytes; at += 32)
            storeToRows<kRows>(rows, out + at, bitVector(p, block, at));
    }
    if (out == end) return;
    // The last block: its bytes copied where fewer than 16 lie in the data; whole vectors, and the last
    // one ending at the strip's end over the one before.
    const size_t left = size_t(end - out);
    __m256i block;
    if (readable >= kBitBlockBytes) {
        block = bothLanes(bytes);
    } else {
        alignas(16) uint8_t last[kBitBlockBytes] = {};
        std::memcpy(last, bytes, (left + 24 * kFactor - 1) / (24 * kFactor));
        block = bothLanes(last);
    }
    block = transformedBlock<kIdentity>(c, block);
    size_t at = 0;
    for (; at + 32 <= left; at += 32) storeToRows<kRows>(rows, out + at, bitVector(p, block, at));
    if (at == left) return;
    if (left >= 32) return storeToRows<kRows>(rows, out + left - 32, bitVector(p, block, left - 32));
    alignas(32) uint8_t cut[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(cut), bitVector(p, block, 0));
    for (int r = 0; r < rows.rows; ++r) std::memcpy(out + r * rows.step, cut, left);
}

using BitCellExpander = void (*)(const BitCells&, const uint8_t*, int64_t, const LineRows&, uint8_t*, size_t);

template <int kFactor, bool kIdentity>
BitCellExpander bitCellExpanderFor(int rows) {
    return rows == 1   ? expandBitCells<kFactor, 1, kIdentity>
           : rows == 2 ? expandBitCells<kFactor, 2, kIdentity>
                       : expandBitCells<kFactor, 0, kIdentity>;
}

template <bool kIdentity>
BitCellExpander bitCellExpanderWith(int factor, int rows) {
    switch (factor) {
        case 1:
            return bitCellExpanderFor<1, kIdentity>(rows);
        case 2:
            return bitCellExpanderFor<2, kIdentity>(rows);
        case 4:
            return bitCellExpanderFor<4, kIdentity>(rows);
        default:
            return bitCellExpanderFor<8, kIdentity>(rows);
    }
}

// The writer of a batch of 1-bit cells of 8 pixels, pixel x bit 7 - x of its byte, in black (0) and
// white (1); nullptr for any other.
BitCellExpander bitCellExpander(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                                BitCells& c) {
    if (!plan.usable || plan.depth != 1 || b.cellPixels != 8 || e.factor > kWidestBitFactor) return nullptr;
    for (int k = 0; k < kScreenPixelBytes; ++k)
        if (e.colours[16 * k] != 0 || e.colours[16 * k + 1] != 0xFF) return nullptr;
    for (int x = 0; x < 8; ++x) {
        BitPlace place;
        if (!placeOf(plan, 0, x, place) || place.offset != 0 || place.bit != 7 - x) return nullptr;
    }
    c.identity = b.identity;
    if (!b.identity && !copyTables(b.transform, c.transform)) return nullptr;
    return c.identity ? bitCellExpanderWith<true>(e.factor, b.rows.rows)
                      : bitCellExpanderWith<false>(e.factor, b.rows.rows);
}

// ---- Planes a whole row apart (bitplanes), or four planes of 16-pixel words side by side (Atari ST
// low): 256 pixels at a time. The 32 bytes of each plane under them are gathered (through the byte
// transform), and the 8 x 8 bit square of each byte column (a row per plane, a column per pixel) is
// transposed by three rounds of bit swaps between the planes, which gives each pixel's value bits
// together: vector j holds pixel j of every 8. The eight vectors are then interleaved into pixel order
// and stored as values.
struct PlaneRows {
    int64_t stride = 0;
    CopyTables transform;
    alignas(16) uint8_t valueMap[32] = {};
};

// How the planes' bytes lie: each plane a row apart, or planes of 16-pixel words side by side.
enum class PlaneLayout { RowsApart, Words };

// The group of 8 pixels whose plane bytes lie at byte p of the gathered vectors: group p for planes
// a row apart; for words, lane L's dword k holds groups 8 k + 4 L .. 8 k + 4 L + 3.
template <PlaneLayout kLayout>
constexpr int gatheredGroup(int p) {
    if constexpr (kLayout == PlaneLayout::RowsApart) return p;
    return 8 * (p % 16 / 4) + 4 * (p / 16) + p % 4;
}

// Byte p of v[j] as the value of pixel j of group gatheredGroup(p), 256 values from `out` on.
template <PlaneLayout kLayout>
PL_AVX2_STEP void storeInterleaved(const __m256i (&v)[8], uint8_t* out) {
    __m256i c[8];
    interleavePixels(v, c);
    // c[i] holds bytes 2i and 2i + 1, and in its high lane 16 more; each pair's groups follow each other.
    for (int i = 0; i < 8; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * gatheredGroup<kLayout>(2 * i)),
                         _mm256_castsi256_si128(c[i]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * gatheredGroup<kLayout>(16 + 2 * i)),
                         _mm256_extracti128_si256(c[i], 1));
    }
}

// The plane bytes of 8 groups of 8 pixels (16-pixel words of 4 planes, 128 bytes from `bytes` on), plane b
// in r[b] in the order of gatheredGroup.
PL_AVX2_STEP void gatherWordPlanes(const uint8_t* bytes, __m256i (&r)[8]) {
    // Each lane's two groups of words: a plane's four bytes as one dword.
    const __m256i together =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15));
    __m256i s[4];
    for (int k = 0; k < 4; ++k) s[k] = _mm256_shuffle_epi8(loadAny(bytes + 32 * k), together);
    const __m256i planes01 = _mm256_unpacklo_epi32(s[0], s[1]), planes23 = _mm256_unpackhi_epi32(s[0], s[1]);
    const __m256i planes01b = _mm256_unpacklo_epi32(s[2], s[3]),
                  planes23b = _mm256_unpackhi_epi32(s[2], s[3]);
    r[0] = _mm256_unpacklo_epi64(planes01, planes01b);
    r[1] = _mm256_unpackhi_epi64(planes01, planes01b);
    r[2] = _mm256_unpacklo_epi64(planes23, planes23b);
    r[3] = _mm256_unpackhi_epi64(planes23, planes23b);
}

// The bytes a round of 256 pixels reads from the planes' first byte on.
template <PlaneLayout kLayout, int kDepth>
constexpr int64_t roundReach(int64_t stride) {
    if constexpr (kLayout == PlaneLayout::Words) return 128;
    return (kDepth - 1) * stride + 32;
}

// The plane bytes of round `at` (its first byte of plane 0), zeros past `size`.
template <PlaneLayout kLayout, int kDepth>
PL_AVX2_STEP void loadPlanes(const uint8_t* bytes, int64_t size, int64_t at, int64_t stride,
                             __m256i (&r)[8]) {
    for (int b = 0; b < 8; ++b) r[b] = _mm256_setzero_si256();
    if constexpr (kLayout == PlaneLayout::Words) {
        if (at + 128 <= size) return gatherWordPlanes(bytes + at, r);
        alignas(32) uint8_t last[128] = {};
        std::memcpy(last, bytes + at, static_cast<size_t>(std::clamp<int64_t>(size - at, 0, 128)));
        return gatherWordPlanes(last, r);
    }
    if (roundReach<kLayout, kDepth>(stride) + at <= size) {
        for (int b = 0; b < kDepth; ++b) r[b] = loadAny(bytes + b * stride + at);
        return;
    }
    for (int b = 0; b < kDepth; ++b) {
        alignas(32) uint8_t last[32] = {};
        const int64_t from = b * stride + at;
        std::memcpy(last, bytes + from, static_cast<size_t>(std::clamp<int64_t>(size - from, 0, 32)));
        r[b] = load32(last);
    }
}

// The values of `pixels` pixels (rounded up to 256) of kDepth planes from `bytes` on, `size` bytes
// readable.
template <PlaneLayout kLayout, int kDepth, bool kIdentity, bool kMapped>
PL_AVX2 void decodePlanes(const PlaneRows& p, const uint8_t* bytes, int64_t size, int pixels,
                          uint8_t* values) {
    const int64_t stride = p.stride;
    const __m256i low = bothLanes(p.transform.low), high = bothLanes(p.transform.high);
    const __m256i mapLow = bothLanes(p.valueMap), mapHigh = bothLanes(p.valueMap + 16);
    for (int x = 0; x < pixels; x += 256) {
        __m256i r[8];
        loadPlanes<kLayout, kDepth>(bytes, size, kLayout == PlaneLayout::Words ? x / 2 : x / 8, stride, r);
        if constexpr (!kIdentity)
            for (int b = 0; b < kDepth; ++b) r[b] = throughNibbleTables(low, high, r[b]);
        transposeBits(r);
        // Pixel j of each 8 is bit 7 - j of its plane bytes.
        __m256i v[8];
        for (int j = 0; j < 8; ++j) {
            v[j] = r[7 - j];
            if constexpr (kMapped && kDepth <= 4) v[j] = _mm256_shuffle_epi8(mapLow, v[j]);
            if constexpr (kMapped && kDepth == 5)
                v[j] = _mm256_blendv_epi8(_mm256_shuffle_epi8(mapLow, v[j]),
                                          _mm256_shuffle_epi8(mapHigh, v[j]), _mm256_slli_epi16(v[j], 3));
        }
        storeInterleaved<kLayout>(v, values + x);
    }
}

using PlaneDecoder = void (*)(const PlaneRows&, const uint8_t*, int64_t, int, uint8_t*);

template <PlaneLayout kLayout, int kDepth>
PlaneDecoder planeDecoderOf(bool identity, bool mapped) {
    return identity ? (mapped ? decodePlanes<kLayout, kDepth, true, true>
                              : decodePlanes<kLayout, kDepth, true, false>)
                    : (mapped ? decodePlanes<kLayout, kDepth, false, true>
                              : decodePlanes<kLayout, kDepth, false, false>);
}

// Whether value bit i of pixel x lies where `byteOf(i, x)` says, bit 7 - x mod 8, for every bit of a chunk.
template <typename ByteOf>
bool planesLieAt(const BitGatherPlan& plan, ByteOf byteOf) {
    for (int i = 0; i < plan.depth; ++i) {
        for (int x = 0; x < kChunkPixels; ++x) {
            BitPlace place;
            if (!placeOf(plan, i, x, place) || place.offset != byteOf(i, x) || place.bit != 7 - x % 8)
                return false;
        }
    }
    return true;
}

// The decoder of a plan whose value bit i of pixel x is bit 7 - x mod 8 of byte x / 8 of plane i, the
// planes a row apart, or of byte 8 (x / 16) + 2 i + x mod 16 / 8 (four planes of words side by side);
// nullptr for others.
PlaneDecoder planeDecoder(const BitGatherPlan& plan, const LineExpander& e, const uint8_t* transform,
                          bool identity, PlaneRows& p) {
    if (!plan.usable || plan.depth < 2 || plan.depth > 5) return nullptr;
    const int64_t stride = plan.planeStride;
    const bool rowsApart = stride > 0 && planesLieAt(plan, [&](int i, int x) { return i * stride + x / 8; });
    const bool words = !rowsApart && plan.depth == 4 &&
                       planesLieAt(plan, [](int i, int x) { return 8 * (x / 16) + 2 * i + x % 16 / 8; });
    if (!rowsApart && !words) return nullptr;
    if (!identity && !copyTables(transform, p.transform)) return nullptr;
    p.stride = stride;
    std::memcpy(p.valueMap, e.valueMap, sizeof p.valueMap);
    const bool mapped = !e.mapIdentity;
    if (words) return planeDecoderOf<PlaneLayout::Words, 4>(identity, mapped);
    switch (plan.depth) {
        case 2:
            return planeDecoderOf<PlaneLayout::RowsApart, 2>(identity, mapped);
        case 3:
            return planeDecoderOf<PlaneLayout::RowsApart, 3>(identity, mapped);
        case 4:
            return planeDecoderOf<PlaneLayout::RowsApart, 4>(identity, mapped);
        default:
            return planeDecoderOf<PlaneLayout::RowsApart, 5>(identity, mapped);
    }
}

// What a batch's lines are decoded by: the tests of a plan, the tables of a copy through a
// transform, the bytes themselves, or the cells of byte values; and how their values are expanded.
struct BatchDecoder {
    ChunkTests tests;
    ChunkDecoder decode = nullptr;
    CopyTables copy;
    bool copies = false;
    bool straight = false;  // the bytes are the values: expanded from the data
    BlockExpander expander;
    CellCopier copyCells = nullptr;
    CellTable* cells = nullptr;
    BitCellExpander bitCells = nullptr;
    PlaneDecoder planes = nullptr;
    PlaneRows planeRows;
    BytePixelDecoder bytePixels = nullptr;
    BytePixels bytePixelTables;
    NibbleDecoder nibbles = nullptr;
    NibbleChunks nibbleChunks;
    BitCells bitCellTables;
    bool attributes = false;  // attribute screens, through the copy's tables
    TileRows tiles;           // where tiles.decode is set: the unit rows of a view row at once
};

bool batchDecoder(BatchDecoder& d, const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                  const ValueLines& lines, CellTable& cells) {
    d.bitCells = bitCellExpander(plan, e, b, d.bitCellTables);
    if (d.bitCells != nullptr) return true;
    const int cellBytes = b.cellPixels * e.factor * kScreenPixelBytes;
    if (plan.usable && b.cellPixels > 0 && b.cellPixels <= 8 && cellBytes <= kWidestCellBytes &&
        cellCopier(cellBytes, b.rows.rows) != nullptr && makeCellTable(plan, e, b, cells)) {
        d.copyCells = cellCopier(cellBytes, b.rows.rows);
        d.cells = &cells;
        return true;
    }
    bool fewColours = false;
    if (b.attributeRows != nullptr) {
        d.attributes = true;
        if (!attributeTables(b.unitPixels, e, b.transform, b.identity, d.copy)) return false;
    } else if (b.copy) {
        d.straight = b.identity;
        d.copies = !b.identity;
        if (d.copies && !copyTables(b.transform, d.copy)) return false;
    } else if (tileRows(plan, e, b, lines, d.tiles)) {
        fewColours = plan.depth <= 2 && !d.tiles.mapped;
    } else if (bytePixels(plan, e, b.transform, b.identity, d.bytePixelTables)) {
        d.bytePixels = bytePixelDecoder(d.bytePixelTables);
        fewColours = plan.depth <= 2 && !d.bytePixelTables.mapped;
    } else if ((d.planes = planeDecoder(plan, e, b.transform, b.identity, d.planeRows)) == nullptr &&
               (d.nibbles = nibbleDecoder(plan, e, b.transform, b.identity, d.nibbleChunks)) == nullptr) {
        if (!chunkTests(d.tests, plan, e, b.transform, b.identity)) return false;
        d.decode = chunkDecoder(d.tests);
        fewColours = plan.depth <= 2 && !d.tests.mapped;
    }
    d.expander = blockExpander(e, b.rows.rows, fewColours);
    return true;
}

void drawLine(const BatchDecoder& d, const LineBatch& b, int64_t pixelBytes, int64_t lineStart, int unitRow,
              const LineRows& rows, uint8_t* values) {
    for (const LineStrip& strip : std::span(b.strips, b.stripCount)) {
        const int64_t at = lineStart + strip.offset;
        const uint8_t* bytes = b.data + at;
        if (d.straight || d.copyCells != nullptr || d.bitCells != nullptr) {
            const int64_t from = strip.pixel * pixelBytes;
            const int64_t count = std::min<int64_t>(strip.pixels * pixelBytes, int64_t(b.runBytes) - from);
            if (count <= 0) continue;
            if (d.straight) {
                d.expander.expand(d.expander, bytes, rows, rows.first + from, size_t(count));
            } else if (d.bitCells != nullptr) {
                d.bitCells(d.bitCellTables, bytes, b.dataSize - at, rows, rows.first + from, size_t(count));
            } else {
                d.copyCells(*d.cells, bytes, rows, rows.first + from, size_t(count));
            }
        } else if (d.attributes) {
            const int units = (strip.pixels + b.unitPixels - 1) / b.unitPixels;
            const AttributeRowOffsets& offsets = b.attributeRows[unitRow];
            const AttributeRow row{offsets.bitmap, offsets.attributes,
                                   b.unitBytes,    units,
                                   b.unitPixels,   strip.pixels - (units - 1) * b.unitPixels};
            if (b.identity) {
                attributeUnits<true>(d.copy, bytes, row, values + strip.pixel);
            } else {
                attributeUnits<false>(d.copy, bytes, row, values + strip.pixel);
            }
        } else if (d.copies) {
            copyThrough(d.copy, bytes, b.dataSize - at, strip.pixels, values + strip.pixel);
        } else if (d.bytePixels != nullptr) {
            d.bytePixels(d.bytePixelTables, bytes, b.dataSize - at, strip.pixels, values + strip.pixel);
        } else if (d.planes != nullptr) {
            d.planes(d.planeRows, bytes, b.dataSize - at, strip.pixels, values + strip.pixel);
        } else if (d.nibbles != nullptr) {
            d.nibbles(d.nibbleChunks, bytes, b.dataSize - at, strip.pixels, values + strip.pixel);
        } else {
            d.decode(d.tests, bytes, b.dataSize - at, strip.pixels, values + strip.pixel);
        }
    }
    if (!d.straight && d.copyCells == nullptr && d.bitCells == nullptr && b.runBytes > 0)
        d.expander.expand(d.expander, values, rows, rows.first, b.runBytes);
}

bool drawLineBatchAvx2(const BitGatherPlan& plan, const LineExpander& e, const LineBatch& b,
                       const ValueLines& lines) {
    if (b.rows.rows < 1) return false;
    BatchDecoder d;
    CellTable cells;  // made only for byte cells
    if (!batchDecoder(d, plan, e, b, lines, cells)) return false;
    const int64_t pixelBytes = int64_t{kScreenPixelBytes} * e.factor;
    // The image's rows lie bottom up: the lines are drawn from the last up, so that the stores run
    // up through memory, as the processor streams them fastest.
    LineRows rows = b.rows;
    for (int n = b.lines - 1; n >= 0; --n) {
        rows.first = b.rows.first + n * b.lineStep;
        const int unitRow = n % b.unitRows;
        const int64_t rowStart = b.first + (n / b.unitRows) * b.rowStep;
        if (b.unitRows == 1) {
            prefetchLine(b, rowStart - b.linesAhead * b.rowStep);
        } else if (unitRow == b.unitRows - 1) {
            prefetchLine(b, rowStart - b.rowStep);
        }
        if (d.tiles.decode != nullptr) {
            if (n == b.lines - 1 || unitRow == b.unitRows - 1) decodeTileRows(d.tiles, b, rowStart, lines);
            if (b.runBytes > 0)
                d.expander.expand(d.expander, lines.first + unitRow * lines.lineBytes, rows, rows.first,
                                  b.runBytes);
        } else {
            drawLine(d, b, pixelBytes, rowStart + unitRow * b.unitRowStep, unitRow, rows, lines.first);
        }
        fillPastRuns(b, n, rows.first);
    }
    return true;
}

bool machineRunsAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
}

// ---- Direct colour words: three screen bytes a word, 8 or 16 pixels a step; a row's last step ends
// at its last pixel, over pixels already written. Rows narrower than a step are declined.

// The first 24 bytes of a vector, and no more.
PL_AVX2_STEP void storeFirst24(uint8_t* out, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(v));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(v, 1));
}

// The screen bytes of four words from `from` and four from `second` by the picks of each lane, the
// lanes' twelve bytes side by side.
PL_AVX2_STEP __m256i pickedWordBytes(const uint8_t* from, const uint8_t* second, __m256i picks) {
    const __m256i v =
        _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(second), reinterpret_cast<const __m128i*>(from));
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, picks),
                                       _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

// Whole-byte channels: four pixels a lane put in screen order by one shuffle, the two lanes' twelve
// bytes then side by side.
PL_AVX2 void shuffleWordBytesAvx2(const DirectColourWords& plan, const DirectColourRows& rows) {
    const int64_t bytes = plan.bytes, pixels = rows.pixels;
    // The last step's second lane is loaded to end at its last word, `late` bytes after the others.
    const int late = static_cast<int>(16 - 4 * bytes);
    alignas(16) uint8_t lane[16], lateLane[16];
    for (int i = 0; i < 16; ++i) {
        const bool kept = i < 12 && (plan.keep >> i & 1) != 0;
        lane[i] = kept ? plan.pick[i] : 0x80;
        lateLane[i] = kept ? static_cast<uint8_t>(plan.pick[i] + late) : 0x80;
    }
    const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(lane));
    const __m256i pick = _mm256_broadcastsi128_si256(first);
    const __m256i lastPick =
        _mm256_setr_m128i(first, _mm_load_si128(reinterpret_cast<const __m128i*>(lateLane)));
    for (int r = 0; r < rows.rows; ++r) {
        const uint8_t* words = rows.words + r * rows.wordStep;
        uint8_t* out = rows.out + r * rows.outStep;
        int64_t x = 0;
        // Each lane loads 16 bytes, past its four words; the 32-byte store passes the 24 bytes.
        for (; x + 12 <= pixels; x += 8) {
            const uint8_t* from = words + x * bytes;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * x),
                                pickedWordBytes(from, from + 4 * bytes, pick));
        }
        for (; x < pixels; x += 8) {
            x = std::min(x, pixels - 8);
            const uint8_t* from = words + x * bytes;
            storeFirst24(out + 3 * x, pickedWordBytes(from, from + 4 * bytes - late, lastPick));
        }
    }
}

// What levelWordChannelsAvx2 does to each channel, and to the words.
struct WordLevels {
    __m128i shift[3], levelShift[3];
    __m256i top[3], factor[3], add[3];
    __m256i swap, drop, together;
    bool bigEndian;
};

// The 48 screen bytes of the 16 words at `from`, in the first 24 bytes of each of the two.
PL_AVX2_STEP void wordLevels(const WordLevels& s, const uint8_t* from, __m256i& first, __m256i& second) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    if (s.bigEndian) v = _mm256_shuffle_epi8(v, s.swap);
    // Pixels 0-3 and 8-11 in the low lane, 4-7 and 12-15 in the high.
    v = _mm256_permute4x64_epi64(v, 0xD8);
    __m256i level[3];
    for (int c = 0; c < 3; ++c) {
        const __m256i bits = _mm256_and_si256(_mm256_srl_epi16(v, s.shift[c]), s.top[c]);
        level[c] = _mm256_srl_epi16(_mm256_add_epi16(_mm256_mullo_epi16(bits, s.factor[c]), s.add[c]),
                                    s.levelShift[c]);
    }
    const __m256i pairs = _mm256_or_si256(level[0], _mm256_slli_epi16(level[1], 8));
    const __m256i low = _mm256_unpacklo_epi16(pairs, level[2]), high = _mm256_unpackhi_epi16(pairs, level[2]);
    first = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(low, s.drop), s.together);
    second = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(high, s.drop), s.together);
}

// Words of 2 bytes: each channel's level worked out from its bits by the plan's multiply, add and
// shift, 16 pixels a step.
PL_AVX2 void levelWordChannelsAvx2(const DirectColourWords& plan, const DirectColourRows& rows) {
    WordLevels s;
    for (int c = 0; c < 3; ++c) {
        s.shift[c] = _mm_cvtsi32_si128(plan.shift[c]);
        s.levelShift[c] = _mm_cvtsi32_si128(plan.levelShift[c]);
        s.top[c] = _mm256_set1_epi16(static_cast<int16_t>((1 << plan.bits[c]) - 1));
        s.factor[c] = _mm256_set1_epi16(static_cast<int16_t>(plan.factor[c]));
        s.add[c] = _mm256_set1_epi16(static_cast<int16_t>(plan.add[c]));
    }
    s.swap = _mm256_broadcastsi128_si256(_mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
    // Each pixel's four bytes (blue, green, red, 0) to three, in both lanes.
    s.drop =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    s.together = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    s.bigEndian = plan.bigEndian;
    const int64_t pixels = rows.pixels;
    __m256i first, second;
    for (int r = 0; r < rows.rows; ++r) {
        const uint8_t* words = rows.words + r * rows.wordStep;
        uint8_t* out = rows.out + r * rows.outStep;
        int64_t x = 0;
        // The second 32-byte store passes the 48 bytes by 8.
        for (; x + 19 <= pixels; x += 16) {
            wordLevels(s, words + 2 * x, first, second);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * x), first);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * x + 24), second);
        }
        for (; x < pixels; x += 16) {
            x = std::min(x, pixels - 16);
            wordLevels(s, words + 2 * x, first, second);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * x), first);
            storeFirst24(out + 3 * x + 24, second);
        }
    }
}

bool directColoursAvx2(const DirectColourWords& plan, const DirectColourRows& rows) {
    if (plan.wholeBytes && rows.pixels >= 8) {
        shuffleWordBytesAvx2(plan, rows);
        return true;
    }
    if (plan.bytes != 2 || rows.pixels < 16) return false;
    levelWordChannelsAvx2(plan, rows);
    return true;
}

}  // namespace

bool overrideWithAvx2(PixelKernels& kernels) {
    if (!machineRunsAvx2()) return false;
    kernels.expandLine = expandLineAvx2;
    kernels.drawLineBatch = drawLineBatchAvx2;
    kernels.directColours = directColoursAvx2;
    kernels.attributePixels = attributePixelsAvx2;
    // Cells of 6 and 12 screen bytes (Sam Coupe mode 4 and BK-0010 at zoom 1) go through lines of
    // values here, at about 1.25x the table writer's instructions.
    kernels.byteCellBytesFrom = 24;
    kernels.tileLanes = true;
    return true;
}

#else

bool overrideWithAvx2(PixelKernels&) {
    return false;
}

#endif
