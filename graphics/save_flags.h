// The flags and options words that saveImage hands to every image writer.
#pragma once

// Flag: the rows lie bottom-up in memory.
constexpr int kRowsBottomUp = 2;

// The options word; the writers would read it only for palette output, which none makes.
constexpr int kPaletteOptions = 7;
