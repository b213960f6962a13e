// The finder's second stage, width scores: from the pair counts, how much more each pixel
// resembles the pixel one row below it than its diagonal neighbours, at every width; which
// width the rows line up at; and how far a width's rows are lifted above random bytes.
#pragma once

#include <array>
#include <cstdint>

#include "viewer/engine/finder_pairs.h"

namespace finder {

// A width is judged on at least so many byte pairs: fewer tell nothing.
constexpr int64_t kLeastPairs = 96;
// The weight of a pair's differing pixels beside the difference of its densities.
constexpr double kPixelWeight = 1.0;
// Least lift of a region's rows on pixels and densities together.
constexpr double kRegionLeastLift = 0.4;
// Allowance below the least lifts for a region's rough extent, whose edges are not yet placed.
constexpr double kRoughLiftMargin = 0.1;

struct WidthScores {
    std::array<double, kWidthSlots> score{};
    std::array<double, kWidthSlots> difference{};    // per byte pair, pixels and densities
    std::array<double, kWidthSlots> densityScore{};  // the score on densities alone
    int widths = 0;                                  // scored widths: 1..widths
    double expected = 0;
    int64_t bytes = 0;
    int blocks = 0;  // blocks of kBlock bytes judged
};

// How much less the rows differ at a width than at the widths beside it (`neighbour`, the lesser
// of their differences), as a share of that; 0 where the neighbours do not differ at all.
double peakScore(double here, double neighbour);

// The share of the difference between a pixel and its diagonal neighbours one row on that
// vanishes straight below it, at each width from fromWidth up to maxWidth (the narrower ones, and
// their differences but the next one's, are left at 0).
WidthScores scoreWidths(const Profile& profile, int mode, int maxWidth, int fromWidth = 2);

// The width of the highest score, 0 for none; width 1 is left out (it has no neighbour below it).
int bestWidth(const WidthScores& scores);

// What noise alone could give as a score over so many bytes.
double noiseScore(const WidthScores& scores);

// The smallest divisor of `best` whose rows line up nearly as clearly; `best` itself if none.
int smallestLinedUpWidth(const WidthScores& scores, int best);

// The width the rows line up at: the smallest lined-up divisor of the best width; 0 for none.
int linedUpWidth(const WidthScores& scores);

// A score in thousandths, as WidthCandidate and GraphicsRegion give it.
int thousandths(double value);

// How much clearer the rows of [begin, end) line up at `width` than at the widths beside it,
// judged as scoreWidths judges them; 0 for a flat stretch.
double linedUpScoreAt(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode,
                      const PairLoops& loops);

// How much less the rows of [begin, end) differ at `width` than bytes drawn at random from the
// stretch would: on pixels and densities together, and on densities alone. Rows of pictures
// resemble each other far more, a stretch of machine code that happens to line up at some width
// barely; the rows of a dithered picture keep their densities where their pixels vary.
// `unequal` judges the pairs of unequal bytes alone, on pixels and densities together: a table of
// records repeats its fixed fields exactly and varies the others as much as any bytes of it, where
// the rows of a picture change by a few pixels at a time (1 where too few pairs are unequal).
struct Lift {
    double all = 1;
    double densities = 1;
    double unequal = 1;
};

Lift liftAt(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode);

// Whether a lift clears `leastAll` on pixels and densities, or the least lift on densities alone,
// each less `margin`.
bool lifted(const Lift& lift, double leastAll, double margin = 0);

// Where rows two apart line up better than neighbouring rows (an ordered dither repeats every second
// row), `width` may be twice (or four times) the picture's: its half (or quarter), when in a mode of
// 1 or 2 bits a pixel the rows there alternate as an ordered dither's do, or when the rows line up
// there too once each byte's density is summed over 8 pixels (a whole period of the pattern along a
// row), judged on [begin, end); `width` otherwise.
int undoubledWidth(const uint8_t* data, int64_t size, int64_t begin, int64_t end, int width, int mode);

// Whether a block's profile agrees that rows line up at `width` about as clearly as the window
// scoring `windowScore` says; a flat block (a blank margin) does not disagree.
bool blockProfileAgrees(const Profile& block, int mode, int width, double windowScore);

// Whether the block at `begin` lines up at `width` about as clearly as the window the width was
// judged on, its rows lifted clear of random pairs; a blank block does not (it parts two
// pictures), nor one that repeats along its rows where the window did not.
bool blockAgrees(const uint8_t* data, int64_t size, int64_t begin, int width, int mode,
                 const WidthScores& window, const PairLoops& loops);

}  // namespace finder
