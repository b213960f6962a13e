// Finding pictures in raw bytes: the width at which the rows of a picture line up, and the
// regions of a file that look like pictures. Pixels are compared as the colour mode defines
// them (1, 2 or 4 bits), so a width is judged by how much each pixel resembles the pixel one
// row below it compared with its diagonal neighbours.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/engine/finder_results.h"
#include "viewer/engine/scan_progress.h"

// Formats added from files (modes kModeTableSize and on) are looked up in `added`; nullptr: none.
struct AddedModes;

// Whether the finder judges pictures in `mode`: not in formats of values over 8 bits, nor in
// tiles larger than 64 x 64 pixels (a ZX Spectrum screen is one tile: it has no width to find).
bool finderJudgesMode(int32_t mode, const AddedModes* added);

// The bytes per row (1..maxWidth, at most kFinderLargestWidth) of the picture that starts at
// `first`, judged from at most 8 KiB of data[first..size). Nothing is found where rows that line
// up still differ nearly as much as random bytes of the stretch (machine code with instructions or
// records of one length). Reads nothing outside data[0..size).
WidthGuess guessWidth(const uint8_t* data, int64_t size, int64_t first, int32_t mode, int32_t maxWidth,
                      const AddedModes* added = nullptr);

// The regions whose first byte lies in [from, to), in file order; a region may run on past
// `to`, and is seen when it shows itself within 16 KiB past `to`. The 16 KiB before `from`
// are scanned too (their regions not listed), so that a stretch lists what a whole scan
// lists there.
std::vector<GraphicsRegion> scanGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t from,
                                         int64_t to, int32_t maxWidth, const AddedModes* added = nullptr);

// scanGraphics watched by the hook, which sees how far it has come and each region as soon as it is
// settled, and may stop it.
ScanResult scanGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t from, int64_t to,
                        int32_t maxWidth, const ScanHook& hook, const AddedModes* added = nullptr);

// The first region that starts after `position`, scanning no further than it must.
bool findNextGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                      GraphicsRegion& found, const AddedModes* added = nullptr);

// The last region that starts before `position`, scanning no further back than it must.
bool findPreviousGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                          GraphicsRegion& found, const AddedModes* added = nullptr);

// findNextGraphics and findPreviousGraphics watched by the hook's progress, which may stop them.
FindResult findNextGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position,
                            int32_t maxWidth, const ScanHook& hook, GraphicsRegion& found,
                            const AddedModes* added = nullptr);
FindResult findPreviousGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position,
                                int32_t maxWidth, const ScanHook& hook, GraphicsRegion& found,
                                const AddedModes* added = nullptr);
