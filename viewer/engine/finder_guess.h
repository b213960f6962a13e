// The finder's third stage, the guess: the width of the picture that starts at a given byte,
// judged on the blocks from there that agree with one another, and what makes a stretch a font
// one byte wide or text rather than a picture.
#pragma once

#include <cstdint>

#include "viewer/engine/finder_results.h"
#include "viewer/engine/finder_widths.h"

namespace finder {

// A guess judges at most so many blocks from its first byte
constexpr int kGuessBlocks = 8;
// and at least so many rows, however many blocks that takes: a block holds few rows of a wide
// picture, too few to tell whether they line up.
constexpr int64_t kGuessLeastRows = 32;

// The scores of the picture that starts at `first`: judged first on two blocks, then on the
// blocks from `first` that agree with that judgement (at least `leastRows` rows, at most
// `maxBlocks` blocks), again until the two settle. So a picture that ends early, in noise or in
// another picture, is judged on its own bytes.
WidthScores scoreFromFirstByte(const uint8_t* data, int64_t size, int64_t first, int mode, int maxWidth,
                               int64_t leastRows, int maxBlocks, const PairLoops& loops);

// Glyphs of a font one byte wide leave a column blank beside them, so that in most of their
// bytes (all but one in `edgeDivisor`) the leftmost or the rightmost bit is clear.
bool looksLikeGlyphs(const uint8_t* data, int64_t begin, int64_t end, int64_t edgeDivisor);

// How much less a glyph's inked rows (bytes not 0) differ in pixels from the inked row below them
// than two inked rows taken at random do: a glyph's strokes run on from row to row, where the
// bytes of a program's tables that line up at their record length as glyphs do at their height
// (the low bytes of numbers and addresses, whose high bytes are 0) vary as random ones. 0 where no
// two inked rows are neighbours.
double inkedRowsLift(const uint8_t* data, int64_t begin, int64_t end);

// Whether rows lined up at `height` from `first` are the glyphs of a font one byte wide: the
// glyphs after the next line up too.
bool isNarrowFont(const WidthScores& scores, int mode, int height, const uint8_t* data, int64_t first);

// Lines of text can be of one length for a while and line up as a picture's rows do; a stretch
// of printable characters broken into lines is taken for text, whatever it lines up at.
bool looksLikeText(const uint8_t* data, int64_t first, int64_t end);

// A program's tables of names (types and symbols one after another, each with a length or a flag
// byte) line up at a name's length too; at least half their bytes are letters, where a picture of
// one bit a pixel seldom has one byte in four of the 01 patterns that letters are.
bool looksLikeNames(const uint8_t* data, int64_t first, int64_t end);

// A classic width of `width` bytes as the width of a format whose rows are `planes` plane rows, in
// plane-row bytes: `width` itself where it is a plane row (the rows `planes` plane rows on, the same
// plane's next row, resemble each other more than those of the next plane do), width / planes where
// it is a whole row; 0 where neither.
int planeRowBytes(const uint8_t* data, int64_t size, int64_t first, int width, int planes, int mode);

// guessWidth with the pair loops given, for data of at least one byte, mode 0..3 and maxWidth
// in 1..kFinderLargestWidth.
WidthGuess guessAt(const uint8_t* data, int64_t size, int64_t first, int mode, int maxWidth,
                   const PairLoops& loops);

}  // namespace finder
