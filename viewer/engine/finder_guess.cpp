#include "viewer/engine/finder_guess.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

namespace finder {

namespace {

// A picture's width is judged first on this many blocks from its first byte
constexpr int kFirstJudgedBlocks = 2;
// and then again, at most this many times, on the blocks that agree with the last judgement.
constexpr int kJudgingRounds = 4;
// A fill or a dithering pattern at the top of a picture repeats within this many bytes
constexpr int kFillPeriod = 4;
// and bytes a period apart differ at most this share as much as neighbouring bytes.
constexpr double kFillLikeness = 0.25;
// A run of one value at least this long before a picture is its margin.
constexpr int64_t kLeastMargin = 64;
// A guess scores at least this much
constexpr double kGuessLeastScore = 0.05;
// and at least this much more than noise alone could give.
constexpr double kGuessLeastEvidence = 0.03;
// Least lift of a guess's rows on pixels and densities together
constexpr double kGuessLeastLift = 0.3;
// or at width 1, where glyphs one byte wide differ more from byte to byte.
constexpr double kFontGuessLeastLift = 0.2;
// A font's glyphs are at most this many rows tall.
constexpr int kTallestGlyph = 32;
// A font's bytes differ from the next byte at most this many times as much as from the byte of
// the glyph below.
constexpr double kFontLikeness = 1.3;
// Each glyph's rows resemble those of the glyph after the next at least this share as clearly as
// the next glyph's; the rows of a sheet of sprites one byte wide, 16 a row, which lines up at 16
// too, resemble the row two below far less than the next.
constexpr double kFontMultipleShare = 0.4;
// A whole font, box drawing and bold glyphs too: at most one byte in 4 sets the edge bit.
constexpr int64_t kFontEdgeDivisor = 4;
// Text: at most one byte in 20 not printable
constexpr int64_t kTextShareDivisor = 20;
// and a line end at least every this many bytes.
constexpr int64_t kLongestLine = 160;
// A table of names is at least one letter in this many bytes.
constexpr int64_t kNamesLetterDivisor = 2;

// The guess and its runners-up from the scores of the picture that starts at `first`.
WidthGuess guessFromScores(const WidthScores& scores, int mode, const uint8_t* data, int64_t first) {
    WidthGuess guess{};
    const int best = bestWidth(scores);
    if (best == 0 || scores.score[best] < kGuessLeastScore) return guess;
    const int linedUp = smallestLinedUpWidth(scores, best);
    const int width = isNarrowFont(scores, mode, linedUp, data, first) ? 1 : linedUp;
    // A width chosen for its multiples is as certain as the clearest of them.
    guess.candidates[0] = {width, thousandths(std::max(scores.score[linedUp], scores.score[best]))};
    guess.count = 1;
    std::array<bool, kWidthSlots> taken{};
    taken[width] = true;
    while (guess.count < static_cast<int>(guess.candidates.size())) {
        int next = 0;
        for (int w = 1; w <= scores.widths; ++w)
            if (!taken[w] && (next == 0 || scores.score[w] > scores.score[next])) next = w;
        if (next == 0) break;
        taken[next] = true;
        guess.candidates[guess.count++] = {next, thousandths(scores.score[next])};
    }
    return guess;
}

// The score less what noise alone could give over so many bytes.
double evidenceOf(const WidthScores& scores, const WidthCandidate& candidate) {
    return candidate.score / 1000.0 - noiseScore(scores);
}

}  // namespace

WidthScores scoreFromFirstByte(const uint8_t* data, int64_t size, int64_t first, int mode, int maxWidth,
                               int64_t leastRows, int maxBlocks, const PairLoops& loops) {
    if (first < 0 || first >= size) return {};
    const int64_t available = size - first;
    const int inReach = static_cast<int>(std::min<int64_t>(maxBlocks, (available + kBlock - 1) / kBlock));
    // The blocks up to the first blank one after the picture has begun: a blank block parts
    // two pictures.
    auto blankBlock = [&](int b) {
        const int64_t begin = first + int64_t{b} * kBlock;
        return isFlat(data, begin, std::min(size, begin + kBlock));
    };
    int blocks = 0;
    while (blocks < inReach && blankBlock(blocks)) ++blocks;
    while (blocks < inReach && !blankBlock(blocks)) ++blocks;
    // Blocks are measured when first needed: a stretch that is no picture costs two or three.
    std::vector<Profile> profiles;
    auto profileOf = [&](int b) -> const Profile& {
        while (static_cast<int>(profiles.size()) <= b) {
            const int64_t begin = first + static_cast<int64_t>(profiles.size()) * kBlock;
            profiles.emplace_back();
            measure(profiles.back(), data, size, begin, std::min(size, begin + kBlock), maxWidth + 1, mode,
                    loops);
        }
        return profiles[b];
    };
    // A dithered fill at the top of a picture (a sky, a margin) repeats every few bytes; like a
    // blank margin, it tells nothing of the rows, so the width is judged on the blocks after it.
    auto isFill = [&](int b) {
        const WidthScores fill = scoreWidths(profileOf(b), mode, kFillPeriod);
        for (int w = 2; w <= fill.widths; ++w)
            if (fill.difference[w] <= kFillLikeness * fill.difference[1]) return true;
        return false;
    };
    int lead = 0;
    while (lead + 1 < blocks && isFill(lead)) ++lead;
    auto windowScores = [&](int count) {
        Profile sum;
        for (int b = std::min(lead, count - 1); b < count; ++b) addProfile(sum, profileOf(b));
        return scoreWidths(sum, mode, maxWidth);
    };
    int window = std::min(lead + kFirstJudgedBlocks, blocks);
    WidthScores scores = windowScores(window);
    for (int round = 0; round < kJudgingRounds; ++round) {
        const int width = linedUpWidth(scores);
        if (width == 0) break;
        int agreeing = lead;
        while (agreeing < blocks && blockProfileAgrees(profileOf(agreeing), mode, width, scores.score[width]))
            ++agreeing;
        const auto leastBlocks = static_cast<int>((leastRows * width + kBlock - 1) / kBlock);
        agreeing = std::max(agreeing, std::min(lead + leastBlocks, blocks));
        if (agreeing == window) break;
        window = agreeing;
        scores = windowScores(window);
    }
    scores.blocks = window;
    // A dithered fill that is not exact enough to be passed over (a grey background with a few
    // things drawn on it) lines up at its period of a few bytes, and blocks of it agree on that
    // period alone. When all the blocks in reach together line up at a multiple of the period
    // and no longer at the period itself, and the block after the judged ones agrees with the
    // multiple as a region's next block must (where a narrow picture ends in machine code, all
    // the blocks can line up at a multiple by chance), the multiple is the picture's width. The
    // block after is asked first on the period alone, which costs little: a narrow picture's rows
    // line up there, or it is no longer the picture's.
    const int width = linedUpWidth(scores);
    const int64_t after = first + int64_t{window} * kBlock;
    if (width > 0 && width <= kFillPeriod && window < blocks &&
        linedUpScoreAt(data, size, after, std::min(size, after + kBlock), width, mode, loops) < 0) {
        const WidthScores all = windowScores(blocks);
        const int allWidth = linedUpWidth(all);
        if (allWidth > width && allWidth % width == 0 && all.score[width] < 0 &&
            blockAgrees(data, size, after, allWidth, mode, all, loops)) {
            scores = all;
            scores.blocks = blocks;
        }
    }
    return scores;
}

bool looksLikeGlyphs(const uint8_t* data, int64_t begin, int64_t end, int64_t edgeDivisor) {
    int64_t left = 0, right = 0;
    for (int64_t i = begin; i < end; ++i) {
        left += data[i] >> 7;
        right += data[i] & 1;
    }
    return std::min(left, right) * edgeDivisor <= end - begin;
}

double inkedRowsLift(const uint8_t* data, int64_t begin, int64_t end) {
    std::array<int64_t, 8> setBits{};
    int64_t inked = 0, neighbours = 0, neighbourDiff = 0;
    for (int64_t i = begin; i < end; ++i) {
        if (data[i] == 0) continue;
        ++inked;
        for (int bit = 0; bit < 8; ++bit) setBits[static_cast<size_t>(bit)] += data[i] >> bit & 1;
        if (i + 1 < end && data[i + 1] != 0) {
            ++neighbours;
            neighbourDiff += std::popcount(static_cast<unsigned>(data[i] ^ data[i + 1]));
        }
    }
    // Two inked rows drawn at random differ in a pixel as often as one has it and the other not.
    double randomDiff = 0;
    for (const int64_t set : setBits) {
        const double share = static_cast<double>(set) / static_cast<double>(std::max<int64_t>(inked, 1));
        randomDiff += 2 * share * (1 - share);
    }
    if (neighbours == 0 || randomDiff <= 0) return 0;
    return 1 - static_cast<double>(neighbourDiff) / static_cast<double>(neighbours) / randomDiff;
}

// A font one byte wide (8 one-bit pixels a row) lines up at its glyph height too, and there
// each glyph lies in one row of the view; its bytes resemble the next byte about as much, and
// its glyphs leave a column mostly blank, which the bytes of a narrow picture seldom do.
bool isNarrowFont(const WidthScores& scores, int mode, int height, const uint8_t* data, int64_t first) {
    return mode == 0 && height <= kTallestGlyph &&
           (2 * height > scores.widths ||
            scores.score[2 * height] >= kFontMultipleShare * scores.score[height]) &&
           scores.difference[1] <= kFontLikeness * scores.difference[height] &&
           looksLikeGlyphs(data, first, first + scores.bytes, kFontEdgeDivisor);
}

bool looksLikeText(const uint8_t* data, int64_t first, int64_t end) {
    int64_t printable = 0, lineEnds = 0;
    for (int64_t i = first; i < end; ++i) {
        printable +=
            (data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\t' || data[i] == '\r' || data[i] == '\n';
        lineEnds += data[i] == '\n';
    }
    const int64_t length = end - first;
    return printable * kTextShareDivisor >= length * (kTextShareDivisor - 1) &&
           lineEnds * kLongestLine >= length;
}

bool looksLikeNames(const uint8_t* data, int64_t first, int64_t end) {
    int64_t letters = 0;
    for (int64_t i = first; i < end; ++i) {
        const int upper = data[i] & ~0x20;
        letters += upper >= 'A' && upper <= 'Z';
    }
    return letters * kNamesLetterDivisor >= end - first;
}

int planeRowBytes(const uint8_t* data, int64_t size, int64_t first, int width, int planes, int mode) {
    const int64_t row = int64_t{width} * planes;
    if (row <= kFinderLargestWidth && liftAt(data, size, first, size, static_cast<int>(row), mode).all >
                                          liftAt(data, size, first, size, width, mode).all)
        return width;
    return width % planes == 0 ? width / planes : 0;
}

WidthGuess guessAt(const uint8_t* data, int64_t size, int64_t first, int mode, int maxWidth,
                   const PairLoops& loops) {
    // A blank margin above a picture (a background of one colour) tells nothing of its rows.
    if (first >= 0 && first < size) {
        const int64_t marginEnd = oneValueRunEnd(data, first, std::min(size, first + kGuessBlocks * kBlock));
        if (marginEnd - first >= kLeastMargin && marginEnd < size) first = marginEnd;
    }
    const WidthScores scores =
        scoreFromFirstByte(data, size, first, mode, maxWidth, kGuessLeastRows, kGuessBlocks, loops);
    WidthGuess guess = guessFromScores(scores, mode, data, first);
    if (guess.count == 0) return guess;
    const int linedUp = guess.candidates[0].width;
    const int width = undoubledWidth(data, size, first, first + scores.bytes, linedUp, mode);
    if (width != guess.candidates[0].width) {
        // The half takes the guess's place, and leaves the runners-up.
        guess.candidates[0].width = width;
        const auto end = std::remove_if(guess.candidates.begin() + 1, guess.candidates.begin() + guess.count,
                                        [&](const WidthCandidate& c) { return c.width == width; });
        guess.count = static_cast<int>(end - guess.candidates.begin());
    }
    const int64_t end = first + scores.bytes;
    // A font's glyphs can differ from byte to byte nearly as much as random bytes do (a character
    // set of thin strokes), while each glyph resembles the next row by row; the rows of an ordered
    // dither differ from the next more than from those a whole pattern on, which are lifted.
    const bool rowsLifted =
        lifted(liftAt(data, size, first, end, width, mode),
               width == 1 ? kFontGuessLeastLift : kGuessLeastLift) ||
        (width == 1 && lifted(liftAt(data, size, first, end, linedUpWidth(scores), mode), kGuessLeastLift)) ||
        (width != linedUp && lifted(liftAt(data, size, first, end, linedUp, mode), kGuessLeastLift));
    if (evidenceOf(scores, guess.candidates[0]) < kGuessLeastEvidence || looksLikeText(data, first, end) ||
        !rowsLifted)
        return {};
    return guess;
}

}  // namespace finder
