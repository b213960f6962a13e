#include "viewer/engine/pixel_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>

void prefetchRange(const uint8_t* data, int64_t size, int64_t from, int64_t bytes) {
    const int64_t start = std::max<int64_t>(from, 0);
    const int64_t to = std::min(from + bytes, size);
    if (start < to) prefetchBytes(data + start, to - start);
}

void prefetchLine(const LineBatch& b, int64_t lineStart) {
    for (const LineStrip& strip : std::span(b.strips, b.stripCount))
        prefetchRange(b.data, b.dataSize, lineStart + strip.offset, strip.aheadBytes);
}

void fillPastRuns(const LineBatch& b, int n, uint8_t* first) {
    if (b.runBytes >= b.lineBytes) return;
    for (int r = 0; r < b.rows.rows; ++r)
        std::memcpy(first + r * b.rows.step + b.runBytes,
                    b.checker[(b.firstImageRow + n * b.rows.rows + r) & 1] + b.runBytes,
                    b.lineBytes - b.runBytes);
}

bool gatherPixels(const PixelKernels& kernels, const BitGatherPlan& plan, const SourceRun& run, int pixels,
                  uint8_t* values) {
    return kernels.gatherPixels != nullptr && kernels.gatherPixels(plan, run, pixels, values);
}

bool attributePixels(const PixelKernels& kernels, const SourceRun& run, const AttributeRow& row,
                     uint8_t* values) {
    return kernels.attributePixels != nullptr && kernels.attributePixels(run, row, values);
}

bool copyPixels(const PixelKernels& kernels, const SourceRun& run, int pixels, uint8_t* values) {
    return kernels.copyPixels != nullptr && kernels.copyPixels(run, pixels, values);
}

bool drawLineBatch(const PixelKernels& kernels, const BitGatherPlan& plan, const LineExpander& expander,
                   const LineBatch& batch, const ValueLines& values) {
    return kernels.drawLineBatch != nullptr && kernels.drawLineBatch(plan, expander, batch, values);
}

bool directColours(const PixelKernels& kernels, const DirectColourWords& plan, const DirectColourRows& rows) {
    return kernels.directColours != nullptr && kernels.directColours(plan, rows);
}

namespace {

// Which value and which screen byte of it each byte of a group's three output vectors takes, for
// values `factor` screen pixels wide (1..16): made at compile time.
struct GroupIndices {
    uint8_t pick[3][64];
    uint8_t channel[3][64];
};

constexpr int kWidestValue = 16;

constexpr std::array<GroupIndices, kWidestValue + 1> kGroupIndices = [] {
    std::array<GroupIndices, kWidestValue + 1> made{};
    for (int factor = 1; factor <= kWidestValue; ++factor) {
        for (int k = 0, pixel = 0, inPixel = 0; k < 3; ++k) {
            for (int i = 0; i < 64; ++i) {
                made[factor].pick[k][i] = static_cast<uint8_t>(pixel);
                made[factor].channel[k][i] = static_cast<uint8_t>(16 * (inPixel % 3));
                if (++inPixel == 3 * factor) inPixel = 0, ++pixel;
            }
        }
    }
    return made;
}();

}  // namespace

void makeLineExpander(LineExpander& e, const int32_t* colours, int count, int factor) {
    factor = std::clamp(factor, 1, kWidestValue);
    e.factor = factor;
    e.groupPixels = 64 / factor;
    count = std::clamp(count, 1, 256);
    e.grey = true;
    for (int v = 0; v < count; ++v) {
        const int32_t c = colours[v];
        e.grey = e.grey && (c & 0xFF) == ((c >> 8) & 0xFF) && (c & 0xFF) == ((c >> 16) & 0xFF);
    }
    for (int v = 0; v < 256; ++v) e.valueMap[v] = static_cast<uint8_t>(v);
    e.mapIdentity = true;
    for (int v = 0; e.grey && v < count; ++v) {
        e.valueMap[v] = static_cast<uint8_t>(colours[v]);
        e.mapIdentity = e.mapIdentity && e.valueMap[v] == v;
    }
    for (int v = 0; v < 16 && v < count; ++v)
        for (int byte = 0; byte < 3; ++byte)
            e.colours[16 * byte + v] = static_cast<uint8_t>(colours[v] >> (16 - 8 * byte));
    std::memcpy(e.pick, kGroupIndices[factor].pick, sizeof e.pick);
    std::memcpy(e.channel, kGroupIndices[factor].channel, sizeof e.channel);
}

namespace {

struct PlanBits {
    SourceBit bits[8][64];
    int depth;
    bool repeat;

    // The value bit that matrix row 7 - i gives: bits repeat for levels, else 0 past the depth.
    int rowBit(int i) const { return repeat ? i % depth : i < depth ? i : -1; }
};

// Lane byte k takes window byte `offset`.
void arrangeByte(BitGatherPlan& plan, int k, int offset) {
    plan.arrange[k] = static_cast<uint8_t>(offset & 127);
    if (offset >= 128) plan.arrangeHigh |= uint64_t{1} << k;
    plan.keep |= uint64_t{1} << k;
}

bool isPlanar(const PlanBits& p) {
    for (int b = 0; b < p.depth; ++b)
        for (int x = 0; x < 64; ++x)
            if (p.bits[b][x].bit != 7 - x % 8 || p.bits[b][x].offset != p.bits[b][x & ~7].offset)
                return false;
    return true;
}

// Lane g holds the plane bytes of pixels 8g .. 8g + 7, the byte of value bit i in row 7 - i.
void makePlanar(BitGatherPlan& plan, const PlanBits& p) {
    for (int g = 0; g < 8; ++g) {
        for (int i = 0; i < 8; ++i) {
            const int b = p.rowBit(i);
            if (b < 0) continue;
            const int offset = p.bits[b][8 * g].offset;
            const int k = 8 * g + 7 - i;
            if (plan.planeStride == 0) {
                arrangeByte(plan, k, offset);
            } else {
                arrangeByte(plan, k, 64 * (b % 2) + offset);
                plan.pairKeep[b / 2] |= uint64_t{1} << k;
            }
        }
        for (int j = 0; j < 8; ++j) plan.matrix[8 * g + j] = static_cast<uint8_t>(0x80 >> j);
    }
    plan.planar = true;
}

// The matrix that takes pixel x's value out of its byte: row 7 - i picks value bit i.
uint64_t pixelMatrix(const PlanBits& p, int x) {
    uint64_t m = 0;
    for (int i = 0; i < 8; ++i) {
        const int b = p.rowBit(i);
        if (b >= 0) m |= uint64_t{1u << p.bits[b][x].bit} << (8 * (7 - i));
    }
    return m;
}

// Pixels of the same matrix share lanes, eight to a lane; false when they do not fill them.
bool makePacked(BitGatherPlan& plan, const PlanBits& p) {
    uint64_t matrices[8];
    int matrixOf[64];
    int count = 0;
    for (int x = 0; x < 64; ++x) {
        for (int b = 1; b < p.depth; ++b)
            if (p.bits[b][x].offset != p.bits[0][x].offset) return false;
        const uint64_t m = pixelMatrix(p, x);
        int found = static_cast<int>(std::find(matrices, matrices + count, m) - matrices);
        if (found == count) {
            if (count == 8) return false;
            matrices[count++] = m;
        }
        matrixOf[x] = found;
    }
    int k = 0;
    for (int m = 0; m < count; ++m) {
        for (int x = 0; x < 64; ++x) {
            if (matrixOf[x] != m) continue;
            if (k % 8 == 0) std::memcpy(plan.matrix + k, &matrices[m], 8);
            arrangeByte(plan, k, p.bits[0][x].offset);
            plan.reorder[x] = static_cast<uint8_t>(k++);
        }
        if (k % 8 != 0) return false;
    }
    return true;
}

// Chunks whose 8 lanes lie too far apart for the windows, each lane in a tile of its own: the
// plan of one tile's lanes, if every tile's bits lie at the same offsets of it.
void makeTileLanes(BitGatherPlan& plan, PlanBits& p) {
    if (plan.chunkBytes % 8 != 0) return;
    const int stride = plan.chunkBytes / 8;
    for (int b = 0; b < p.depth; ++b) {
        for (int x = 0; x < 64; ++x) {
            SourceBit& s = p.bits[b][x];
            s.offset -= x / 8 * stride;
            if (s.offset < 0 || s.offset >= 128) return;
        }
    }
    if (isPlanar(p)) {
        makePlanar(plan, p);
    } else if (!makePacked(plan, p)) {
        return;
    }
    for (int k = 0; k < 64; ++k) {
        const bool kept = ((plan.keep >> k) & 1) != 0;
        if (plan.arrange[k] != plan.arrange[k % 8] || kept != (((plan.keep >> (k % 8)) & 1) != 0)) return;
        if (!plan.planar && (plan.reorder[k] != k || plan.matrix[k] != plan.matrix[k % 8])) return;
    }
    plan.tileLanes = true;
    plan.laneStride = stride;
}

}  // namespace

bool levelsRepeatBits(const LineExpander& expander, int depth) {
    if (!expander.grey || depth < 1 || 8 % depth != 0) return false;
    for (int v = 0; v < (1 << depth); ++v) {
        int repeated = 0;
        for (int at = 0; at < 8; at += depth) repeated |= v << at;
        if (expander.valueMap[v] != repeated) return false;
    }
    return true;
}

BitGatherPlan bitGatherPlan(const SourceBitMap* source, int depth, int chunkBytes, int64_t planeStride,
                            bool levelsByRepeat) {
    BitGatherPlan plan;
    plan.depth = depth;
    plan.chunkBytes = chunkBytes;
    plan.planeStride = planeStride;
    if (source == nullptr || depth < 1 || depth > 8) return plan;
    PlanBits p;
    p.depth = depth;
    p.repeat = levelsByRepeat;
    int window = 0;
    for (int b = 0; b < depth; ++b) {
        for (int x = 0; x < 64; ++x) {
            p.bits[b][x] = source->bits[b][x];
            window = std::max(window, p.bits[b][x].offset + 1);
        }
    }
    plan.windowVectors = window <= 64 ? 1 : window <= 128 ? 2 : 4;
    plan.reach = window;
    plan.levels = levelsByRepeat;
    if (window > 256 && planeStride == 0) {
        makeTileLanes(plan, p);
        return plan;
    }
    if (window > 256 || (planeStride != 0 && (window > 8 || chunkBytes != 8))) return plan;
    if (isPlanar(p)) {
        makePlanar(plan, p);
    } else if (planeStride != 0 || !makePacked(plan, p)) {
        return plan;
    }
    plan.usable = true;
    return plan;
}

int64_t planReach(const BitGatherPlan& plan, int pixels) {
    const int64_t chunks = (int64_t{pixels} + 63) / 64;
    return (chunks - 1) * plan.chunkBytes + plan.reach + (plan.depth - 1) * plan.planeStride;
}

bool placeOf(const BitGatherPlan& plan, int i, int x, BitPlace& place) {
    const int k = plan.planar ? 8 * (x / 8) + 7 - i : plan.reorder[x];
    if (((plan.keep >> k) & 1) == 0) return false;
    int64_t byte = plan.arrange[k] + (((plan.arrangeHigh >> k) & 1) != 0 ? 128 : 0);
    if (!plan.planar) {
        const uint8_t row = plan.matrix[8 * (k / 8) + 7 - i];
        // One bit set (std::popcount would be a library call in this file's build).
        if (row == 0 || (row & (row - 1)) != 0) return false;
        place = {byte, std::countr_zero(row)};
        return true;
    }
    if (plan.planeStride != 0) {
        int pair = 0;
        while (pair < 3 && ((plan.pairKeep[pair] >> k) & 1) == 0) ++pair;
        const int odd = byte >= 64 ? 1 : 0;
        byte += (2 * pair + odd) * plan.planeStride - 64 * odd;
    }
    place = {byte, 7 - x % 8};
    return true;
}
