#include "viewer/engine/finder_edges.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "viewer/engine/finder_pairs.h"

namespace finder {

namespace {

// Bytes learned of a long picture at each of its edges.
constexpr int64_t kLearnBytes = 8 * 1024;
// Times the edges are placed again, each time from the last answer.
constexpr int kExtentRounds = 6;
// A run of one value this long parts pictures rather than belonging to one.
constexpr int64_t kLongBlank = 1024;

// Pairs of bytes are told apart by how many of their pixels differ and by how much the pixel
// values differ in all: kind = sum * (pixels per byte + 1) + count.
constexpr int kPairKinds = 93;  // sums up to 30 (two 4-bit pixels), counts up to 2
// The pairs judged at a picture's edges: a byte and the byte beside it, and the byte one row on.
constexpr int kPairSteps = 2;
// No byte or pair weighs more than this for or against an edge, in log odds.
constexpr double kLargestLogOdds = 4;
// Phases this many bytes either side of the edges' likeliest are weighed on where the rows wrap too.
constexpr int kWrapReach = 5;
// Narrower rows have no phase beyond that reach: the wraps would outweigh the edges at every one.
constexpr int kWrapLeastWidth = 2 * kWrapReach + 2;
// The weight of a row's wrap beside the edges' log odds, per pixel step at full scale.
constexpr double kWrapWeight = 0.1;

int64_t pairStep(int k, int width) {
    return k == 0 ? 1 : int64_t{k} * width;
}

// Per colour mode (Atari GR.15 and BK-0010 alike: the kind does not depend on the pixels'
// order), the kind of each pair of bytes. A kind sums one share per pair of pixels (the
// difference times pixels per byte + 1, plus 1 where they differ), so it is the share of the
// bytes' low nibbles plus that of their high nibbles.
struct PairKindTable {
    std::array<std::array<uint8_t, 256 * 256>, 3> kind{};
    PairKindTable() {
        for (int table = 0; table < 3; ++table) {
            const int pixels = table == 0 ? 8 : table == 1 ? 4 : 2;
            const int bits = 8 / pixels;
            const int mask = (1 << bits) - 1;
            std::array<uint8_t, 256> share{};  // at a * 16 + b for nibbles a and b
            for (int a = 0; a < 16; ++a)
                for (int b = 0; b < 16; ++b)
                    for (int shift = 0; shift < 4; shift += bits) {
                        const int d = std::abs((a >> shift & mask) - (b >> shift & mask));
                        share[a * 16 + b] =
                            static_cast<uint8_t>(share[a * 16 + b] + d * (pixels + 1) + (d != 0));
                    }
            for (int a = 0; a < 256; ++a)
                for (int b = 0; b < 256; ++b)
                    kind[table][a * 256 + b] = static_cast<uint8_t>(share[(a & 15) * 16 + (b & 15)] +
                                                                    share[(a >> 4) * 16 + (b >> 4)]);
        }
    }
};

const std::array<uint8_t, 256 * 256>& pairKinds(int mode) {
    static const PairKindTable table;  // built when first asked for: only the edges use it
    return table.kind[mode == 0 ? 0 : mode == 3 ? 2 : 1];
}

using KindCounts = std::array<double, kPairKinds>;
using KindOdds = std::array<double, kPairKinds>;

// Log shares of the things counted (kinds of pairs, byte values), a half added to each count so
// that none is ruled out.
template <typename Count, size_t N>
std::array<double, N> logShares(const std::array<Count, N>& counts) {
    double total = 0;
    for (const Count n : counts) total += static_cast<double>(n) + 0.5;
    // Most kinds and values are never counted: their share is worked out once.
    const double uncounted = std::log(0.5 / total);
    std::array<double, N> logs{};
    for (size_t k = 0; k < N; ++k)
        logs[k] = counts[k] == 0 ? uncounted : std::log((static_cast<double>(counts[k]) + 0.5) / total);
    return logs;
}

// Counts of the values at a range of indices, kept as the range moves from round to round: the
// indices it gains are counted in and those it loses counted out, so that an edge moved by a few
// bytes costs a few bytes.
template <size_t N>
struct RangeCounts {
    int64_t first = 0;
    int64_t end = 0;
    std::array<int64_t, N> counts{};
};

template <size_t N, typename ValueAt>
void moveRange(RangeCounts<N>& range, int64_t first, int64_t end, ValueAt valueAt) {
    end = std::max(first, end);
    const int64_t moved = std::abs(first - range.first) + std::abs(end - range.end);
    if (moved >= end - first) {
        range = {first, end, countInTurn<N>(first, end, valueAt)};
        return;
    }
    // Signed stretches: [a, b) counted in for a < b, [b, a) counted out for b < a.
    auto countIn = [&](int64_t a, int64_t b) {
        for (int64_t i = a; i < b; ++i) ++range.counts[valueAt(i)];
        for (int64_t i = b; i < a; ++i) --range.counts[valueAt(i)];
    };
    countIn(first, range.first);
    countIn(range.end, end);
    range.first = first;
    range.end = end;
}

// Per kind, the pairs of two bytes, one from each of two histograms, each pair weighed by the
// product of the bytes' counts: whole numbers, so that weights summed in any order agree.
using PairWeights = std::array<int64_t, kPairKinds>;

// Adds the pairs of the bytes counted in `a` with those counted in `b` to `weights` (a negative
// count in `a` takes its pairs out).
void addPairWeights(const std::array<int64_t, 256>& a, const std::array<int64_t, 256>& b, int mode,
                    PairWeights& weights) {
    const std::array<uint8_t, 256 * 256>& kinds = pairKinds(mode);
    std::array<int, 256> valuesOfB{};
    int distinctB = 0;
    for (int v = 0; v < 256; ++v)
        if (b[v] != 0) valuesOfB[distinctB++] = v;
    for (int x = 0; x < 256; ++x) {
        if (a[x] == 0) continue;
        for (int j = 0; j < distinctB; ++j) {
            const int y = valuesOfB[j];
            weights[kinds[x * 256 + y]] += a[x] * b[y];
        }
    }
}

int64_t totalOf(const std::array<int64_t, 256>& counts) {
    int64_t total = 0;
    for (const int64_t n : counts) total += n;
    return total;
}

// The kinds of pairs of two bytes drawn at random, one from each of two histograms of so many
// bytes, from their weights: as many pairs as the smaller histogram holds bytes.
KindCounts unrelatedKindCounts(const PairWeights& weights, int64_t totalA, int64_t totalB) {
    KindCounts counts{};
    if (totalA == 0 || totalB == 0) return counts;
    const double scale = static_cast<double>(std::min(totalA, totalB)) /
                         (static_cast<double>(totalA) * static_cast<double>(totalB));
    for (int k = 0; k < kPairKinds; ++k) counts[k] = static_cast<double>(weights[k]) * scale;
    return counts;
}

// The pairs of a picture's bytes with the bytes beside it, kept from round to round: only the
// picture's byte values whose counts changed are paired again.
struct AcrossPairs {
    std::array<int64_t, 256> values{};
    PairWeights weights{};
};

KindCounts acrossKindCounts(AcrossPairs& kept, const std::array<int64_t, 256>& picture,
                            const std::array<int64_t, 256>& around, int mode) {
    std::array<int64_t, 256> change{};
    for (int v = 0; v < 256; ++v) change[v] = picture[v] - kept.values[v];
    addPairWeights(change, around, mode, kept.weights);
    kept.values = picture;
    return unrelatedKindCounts(kept.weights, totalOf(picture), totalOf(around));
}

double clampedLog(double value) {
    return std::clamp(value, -kLargestLogOdds, kLargestLogOdds);
}

// What tells a picture's bytes from those on one side of it: log shares of the pair kinds
// inside (per step), of a byte of the picture paired with a byte of the data around it, and of
// two bytes of the data around it, which are taken as unrelated: where the rough extent ends
// too early, the data "around" it holds rows of the picture, whose pairs must not count as
// the data's own. And per byte value, how much likelier it is inside than around.
struct EdgeOdds {
    std::array<KindOdds, kPairSteps> inside{};
    KindOdds across{};
    KindOdds outside{};
    std::array<double, 256> value{};
};

// What the picture's bytes are like, learned from a stretch of it.
struct PictureModel {
    std::array<KindOdds, kPairSteps> pairs{};
    std::array<int64_t, 256> values{};
    std::array<double, 256> valueLogs{};  // log shares of the values
};

// What a picture model is learned from, moved with the stretch learned on.
struct PictureCounts {
    std::array<RangeCounts<kPairKinds>, kPairSteps> pairs;
    RangeCounts<256> values;
};

PictureModel pictureModel(const uint8_t* data, int64_t size, Extent learn, int width, int mode,
                          PictureCounts& counts) {
    const std::array<uint8_t, 256 * 256>& kinds = pairKinds(mode);
    PictureModel model;
    const int64_t first = std::max<int64_t>(learn.first, 0);
    for (int k = 0; k < kPairSteps; ++k) {
        const int64_t step = pairStep(k, width);
        moveRange(counts.pairs[k], first, std::min(learn.end - step, size - step),
                  [&](int64_t i) { return kinds[data[i] * 256 + data[i + step]]; });
        model.pairs[k] = logShares(counts.pairs[k].counts);
    }
    moveRange(counts.values, first, std::min(learn.end, size), [&](int64_t i) { return data[i]; });
    model.values = counts.values.counts;
    model.valueLogs = logShares(model.values);
    return model;
}

// The data beside a picture, learned once: its byte values, their log shares, and its pairs.
struct Surroundings {
    std::array<int64_t, 256> values{};
    std::array<double, 256> valueLogs{};
    KindOdds pairs{};
};

Surroundings surroundings(const uint8_t* data, int64_t size, Extent extent, int mode) {
    Surroundings around;
    around.values = valueCounts(data, size, extent.first, extent.end);
    around.valueLogs = logShares(around.values);
    PairWeights weights{};
    addPairWeights(around.values, around.values, mode, weights);
    const int64_t total = totalOf(around.values);
    around.pairs = logShares(unrelatedKindCounts(weights, total, total));
    return around;
}

EdgeOdds edgeOdds(const PictureModel& picture, const Surroundings& around, const KindCounts& across) {
    EdgeOdds odds;
    odds.inside = picture.pairs;
    odds.across = logShares(across);
    odds.outside = around.pairs;
    for (int v = 0; v < 256; ++v) odds.value[v] = clampedLog(picture.valueLogs[v] - around.valueLogs[v]);
    return odds;
}

// Whether the words of eight bytes at `from`, `from + stride`, ... before `to` hold `least` in a row
// that are each one value repeated, and the same value.
bool flatWordsInARow(const uint8_t* data, int64_t from, int64_t to, int64_t stride, int64_t least) {
    int64_t streak = 0;
    uint64_t last = 0;
    for (int64_t i = from; i + 8 <= to; i += stride) {
        const uint64_t word = load64(data + i);
        const bool flat = word == (word & 0xFF) * 0x0101010101010101ULL;
        streak = flat && (streak == 0 || word == last) ? streak + 1 : flat ? 1 : 0;
        last = word;
        if (streak >= least) return true;
    }
    return false;
}

// Whether a run of one value kLongBlank bytes long may reach into [begin, end). Such a run has
// kLongBlank bytes within kLongBlank - 1 of any byte of it, and so as many words of eight equal
// bytes in a row as fit whole in kLongBlank bytes at any alignment, and every eighth of those
// words in a row as well: most stretches are ruled out on those alone.
bool mayHoldLongBlank(const uint8_t* data, int64_t size, int64_t begin, int64_t end) {
    constexpr int64_t kLeastWords = (kLongBlank - 2 * 7) / 8;
    const int64_t from = std::max<int64_t>(0, begin - (kLongBlank - 1)) / 8 * 8;
    const int64_t to = std::min(size, end + (kLongBlank - 1));
    return flatWordsInARow(data, from, to, 64, kLeastWords / 8) &&
           flatWordsInARow(data, from, to, 8, kLeastWords);
}

}  // namespace

std::vector<uint8_t> longBlankBytes(const uint8_t* data, int64_t size, int64_t begin, int64_t end) {
    std::vector<uint8_t> inLongBlank(static_cast<size_t>(end - begin), 0);
    if (!mayHoldLongBlank(data, size, begin, end)) return inLongBlank;
    for (int64_t i = begin; i < end;) {
        int64_t first = i, last = i + 1;
        while (first > 0 && data[first - 1] == data[i]) --first;
        while (last < size && data[last] == data[i]) ++last;
        const auto stop = std::min(last, end);
        if (last - first >= kLongBlank)
            std::fill(inLongBlank.begin() + (i - begin), inLongBlank.begin() + (stop - begin), 1);
        i = stop;
    }
    return inLongBlank;
}

namespace {

// Per edge e in [lowest, highest], the log likelihood (less one that does not depend on e) of
// the bytes around it when the picture lies after it (a start) or before it (an end). A byte
// inside is likely as the picture's values are and pairs with the bytes a step on as the
// picture's bytes do; a pair across the edge as a byte of the picture and one of the data
// beside it would; the bytes beside it as that data's. A long blank run parts pictures rather
// than belonging to one: its bytes count as outside.
std::vector<double> edgeScores(const uint8_t* data, int64_t size, int64_t lowest, int64_t highest, int width,
                               int mode, const EdgeOdds& odds, bool atStart) {
    const std::array<uint8_t, 256 * 256>& kinds = pairKinds(mode);
    // The terms of the bytes from `begin` on: for a start the sums run from the end, so that
    // they sum the bytes after e; for an end from `begin`, so that they sum those before e.
    const int64_t begin = std::max<int64_t>(0, lowest - pairStep(kPairSteps - 1, width));
    const int64_t end = atStart ? highest + 1 : highest;
    const std::vector<uint8_t> inLongBlank = longBlankBytes(data, size, begin, end);
    // For a start at e, the bytes and the pairs that begin from e on lie inside, and the pairs
    // that begin from e - step on reach into the picture (or lie inside); for an end at e, the
    // bytes before e lie inside and the pairs that begin before e reach across (or lie inside),
    // while those wholly inside begin before e - step. Term 0 of a byte is summed from e, term
    // 1 + k from e - step k.
    constexpr int kTerms = 1 + kPairSteps;
    std::array<KindOdds, kPairSteps> fromEdge{}, fromStepBack{};
    std::array<int64_t, kPairSteps> step{}, paired{};  // pairs of step k begin in [begin, paired[k])
    for (int k = 0; k < kPairSteps; ++k) {
        KindOdds insideOdds{}, reachingOdds{};
        for (int kind = 0; kind < kPairKinds; ++kind) {
            insideOdds[kind] = clampedLog(odds.inside[k][kind] - odds.across[kind]);
            reachingOdds[kind] = clampedLog(odds.across[kind] - odds.outside[kind]);
        }
        fromEdge[k] = atStart ? insideOdds : reachingOdds;
        fromStepBack[k] = atStart ? reachingOdds : insideOdds;
        step[k] = pairStep(k, width);
        paired[k] = std::clamp<int64_t>(size - step[k], begin, end);
    }
    auto terms = [&](int64_t i) {
        std::array<double, kTerms> term{};
        if (inLongBlank[i - begin]) {
            term[0] = -kLargestLogOdds;
            return term;
        }
        term[0] = odds.value[data[i]];
        for (int k = 0; k < kPairSteps; ++k) {
            if (i >= paired[k]) continue;
            const int kind = kinds[data[i] * 256 + data[i + step[k]]];
            term[0] += fromEdge[k][kind];
            term[1 + k] = fromStepBack[k][kind];
        }
        return term;
    };
    // Running sums of each term, a row per term: sums[j][x] holds those of [begin + x, end) for a
    // start, those of [begin, begin + x) for an end. The sums run side by side, none waiting on
    // another.
    const auto count = static_cast<size_t>(end - begin);
    // Every sum is written before it is read: no need to clear them first. Each sum runs on in a
    // local, so that the next does not wait for it to be stored and read back.
    const std::unique_ptr<double[]> storage(new double[kTerms * (count + 1)]);
    std::array<double*, kTerms> sums{};
    std::array<double, kTerms> running{};
    for (int j = 0; j < kTerms; ++j) {
        sums[j] = storage.get() + j * (count + 1);
        sums[j][atStart ? count : 0] = 0;
    }
    if (atStart) {
        for (int64_t i = end - 1; i >= begin; --i) {
            const std::array<double, kTerms> term = terms(i);
            for (int j = 0; j < kTerms; ++j) sums[j][i - begin] = running[j] += term[j];
        }
    } else {
        for (int64_t i = begin; i < end; ++i) {
            const std::array<double, kTerms> term = terms(i);
            for (int j = 0; j < kTerms; ++j) sums[j][i + 1 - begin] = running[j] += term[j];
        }
    }
    // Every edge lies in [begin, begin + count]; the pairs a step back from it begin at `begin` at
    // the earliest.
    std::vector<double> scores(static_cast<size_t>(highest - lowest + 1));
    for (int64_t e = lowest; e <= highest; ++e) {
        const int64_t at = e - begin;
        double score = sums[0][at];
        for (int k = 0; k < kPairSteps; ++k) score += sums[1 + k][std::max<int64_t>(0, at - step[k])];
        scores[e - lowest] = score;
    }
    return scores;
}

// The value of the first pixel of a byte, or of its last.
int pixelAtEnd(uint8_t byte, bool last, int mode) {
    const int bits = bitsPerPixel(mode);
    const int mask = (1 << bits) - 1;
    // BK-0010 keeps its leftmost pixel in the low bits.
    return last != (mode == 2) ? byte & mask : byte >> (8 - bits);
}

// How well the rows of `extent` wrap at row phase `phase`: where a row ends, its last pixel and
// the next row's first are unrelated, while that first pixel still resembles the one above it;
// so are the last byte of a row and the next row's first byte, while that byte resembles the
// one above it. Summed over the rows: each row's pixel steps in units of the largest pixel
// value and its differing pixels in units of a byte's pixels, weighed. A font's rows at its
// glyph height are glyphs, whose first and last bytes are mostly blank alike: only their end
// pixels are weighed.
double wrapScore(const uint8_t* data, int64_t size, Extent extent, int width, int mode, int phase,
                 bool glyphs) {
    const int64_t end = std::min(extent.end, size);
    int64_t i = std::max<int64_t>(extent.first, 0) + width;
    i += ((phase - i) % width + width) % width;
    int64_t steps = 0, differing = 0;
    for (; i < end; i += width) {
        const int first = pixelAtEnd(data[i], false, mode);
        steps += std::abs(pixelAtEnd(data[i - 1], true, mode) - first) -
                 std::abs(pixelAtEnd(data[i - width], false, mode) - first);
        if (!glyphs)
            differing += differingPixelCount(data[i - 1], data[i], mode) -
                         differingPixelCount(data[i - width], data[i], mode);
    }
    return kWrapWeight * (static_cast<double>(steps) / ((1 << bitsPerPixel(mode)) - 1) +
                          static_cast<double>(differing) / pixelsPerByte(mode));
}

// The start in [low.first, high.first] and end in [low.end, high.end] of a picture of rows of
// `width` bytes that make the bytes around them likeliest. Of all row phases, the one whose
// best start and best end are likeliest together, so that the rows line up; an empty extent when
// no start lies before an end.
Extent likeliestExtent(const uint8_t* data, int64_t size, Extent low, Extent high, int width, int mode,
                       const EdgeOdds& before, const EdgeOdds& after, Extent rows, bool glyphs) {
    low.first = std::max<int64_t>(low.first, 0);
    high.first = std::min(high.first, size - 1);
    low.end = std::max<int64_t>(low.end, 1);
    high.end = std::min(high.end, size);
    if (low.first > high.first || low.end > high.end) return {0, 0};  // nothing placed
    const std::vector<double> startScores =
        edgeScores(data, size, low.first, high.first, width, mode, before, true);
    const std::vector<double> endScores =
        edgeScores(data, size, low.end, high.end, width, mode, after, false);
    struct Best {
        double score = -1e300;
        int64_t at = -1;
    };
    std::vector<Best> starts(width), ends(width);
    // The best edge of each row phase (the edge modulo the width), a phase at a time so that its
    // best so far stays at hand.
    auto bestPerPhase = [width](const std::vector<double>& scores, int64_t lowest, std::vector<Best>& best) {
        const auto count = static_cast<int64_t>(scores.size());
        for (int64_t first = 0; first < std::min<int64_t>(width, count); ++first) {
            Best phaseBest;
            for (int64_t k = first; k < count; k += width)
                if (scores[k] > phaseBest.score) phaseBest = {scores[k], lowest + k};
            best[(lowest + first) % width] = phaseBest;
        }
    };
    bestPerPhase(startScores, low.first, starts);
    bestPerPhase(endScores, low.end, ends);
    auto placed = [&](int p) { return starts[p].at >= 0 && ends[p].at > starts[p].at; };
    auto edges = [&](int p) { return starts[p].score + ends[p].score; };
    int phase = -1;
    for (int p = 0; p < width; ++p)
        if (placed(p) && (phase < 0 || edges(p) > edges(phase))) phase = p;
    if (phase < 0) return {0, 0};
    // A picture between bytes much like its own has edges a byte or two either way that are
    // nearly as likely; the rows of the whole picture tell those phases apart where they wrap.
    if (width < kWrapLeastWidth) return {starts[phase].at, ends[phase].at};
    const int likeliest = phase;
    double best = edges(phase) + wrapScore(data, size, rows, width, mode, phase, glyphs);
    for (int d = -kWrapReach; d <= kWrapReach; ++d) {
        const int p = (likeliest + d + width) % width;
        if (d == 0 || !placed(p)) continue;
        const double score = edges(p) + wrapScore(data, size, rows, width, mode, p, glyphs);
        if (score > best) {
            best = score;
            phase = p;
        }
    }
    return {starts[phase].at, ends[phase].at};
}

}  // namespace

Extent trimFlatEdges(const uint8_t* data, int64_t size, Extent extent, int width) {
    while (extent.end - extent.first >= 2 * width && extent.first > 0 &&
           isFlat(data, extent.first, extent.first + width) && data[extent.first - 1] == data[extent.first])
        extent.first += width;
    while (extent.end - extent.first >= 2 * width && extent.end < size &&
           isFlat(data, extent.end - width, extent.end) && data[extent.end] == data[extent.end - 1])
        extent.end -= width;
    return extent;
}

Extent settledExtent(const uint8_t* data, int64_t size, Extent rough, int width, int mode, bool glyphs) {
    // The data around is learned a block away from the rough extent, beyond the reach of the
    // first search for the edges (where the rough extent ends early, the bytes next to it are
    // still the picture's), or next to it when the file ends before that; it stays while the
    // extent settles, so that the edges do not creep after it.
    auto around = [&](bool atStart) {
        auto at = [&](int64_t gap) {
            return atStart ? Extent{rough.first - gap - kBlock, rough.first - gap}
                           : Extent{rough.end + gap, rough.end + gap + kBlock};
        };
        const Extent away = at(kBlock);
        return away.first < 0 || away.end > size ? at(0) : away;
    };
    const Extent beforeExtent = around(true), afterExtent = around(false);
    const Surroundings before = surroundings(data, size, beforeExtent, mode);
    const Surroundings after = surroundings(data, size, afterExtent, mode);
    Extent extent = rough;
    PictureCounts startCounts, endCounts;
    AcrossPairs startAcross, endAcross;
    for (int round = 0; round < kExtentRounds; ++round) {
        const Extent low{extent.first - kBlock, extent.end - kBlock};
        const Extent high{extent.first + kBlock, extent.end + kBlock};
        // A long picture is learned near each edge, a short one as a whole.
        const bool whole = extent.end - extent.first <= 2 * kLearnBytes;
        const PictureModel start =
            pictureModel(data, size, whole ? extent : Extent{extent.first, extent.first + kLearnBytes}, width,
                         mode, startCounts);
        const PictureModel end =
            whole ? start
                  : pictureModel(data, size, {extent.end - kLearnBytes, extent.end}, width, mode, endCounts);
        const EdgeOdds startOdds =
            edgeOdds(start, before, acrossKindCounts(startAcross, start.values, before.values, mode));
        const EdgeOdds endOdds =
            edgeOdds(end, after, acrossKindCounts(endAcross, end.values, after.values, mode));
        const Extent next =
            likeliestExtent(data, size, low, high, width, mode, startOdds, endOdds, extent, glyphs);
        if (next.end - next.first < width) break;
        const bool same = next.first == extent.first && next.end == extent.end;
        extent = next;
        if (same) break;
    }
    return extent;
}

}  // namespace finder
