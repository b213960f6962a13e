// The finder's entry points: they check their arguments and run the stages (finder_pairs,
// finder_widths, finder_guess, finder_edges, finder_scan) with the pair loops this processor
// runs fastest. In a linear format the rows are judged on their bytes as in a classic mode of
// as many bits per pixel (bitplanes as Binary), and the width told in the format's width units;
// in a tiled format the tiles per row are judged on the tiles' edges (finder_tiles).
#include "viewer/engine/graphics_finder.h"

#include <algorithm>

#include "viewer/engine/finder_guess.h"
#include "viewer/engine/finder_scan.h"
#include "viewer/engine/finder_tiles.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/program_headers.h"

namespace {

// How the finder judges a format: in a classic mode, with so many bytes per width unit; or by its
// tiles.
struct Judging {
    bool valid = false;
    bool tiled = false;
    int classicMode = 0;
    int unitBytes = 1;
    const ModeRow* row = nullptr;
};

Judging judgingOf(int32_t mode, const AddedModes* added) {
    const ModeRow* row = modeRow(mode, added);
    // Values over 8 bits are colours or large numbers, which the finder's statistics do not judge.
    if (row == nullptr || row->wide) return {};
    if (row->layout == ModeLayout::ByteCells) return {true, false, mode, 1, row};
    // A screen of the ZX Spectrum is one unit of 6912 bytes: it has no width to find.
    if (row->layout == ModeLayout::Tiled)
        return {row->unitPixels <= 64 && row->unitHeight <= 64, true, 0, row->unitBytes, row};
    const bool chunky =
        row->unitBytes == 1 && row->pixelsPerByte * row->bits == 8 && row->record->pixels.groupPixels == 0;
    const int classic = !chunky || row->bits == 1 ? 0 : row->bits == 2 ? 1 : 3;
    return {true, false, classic, row->unitBytes, row};
}

Judging judgingOf(const uint8_t* data, int64_t size, int32_t mode, const AddedModes* added) {
    if (data == nullptr || size <= 0) return {};
    return judgingOf(mode, added);
}

int clampWidth(int32_t maxWidth) {
    return std::clamp<int32_t>(maxWidth, 1, kFinderLargestWidth);
}

// The widest row in bytes the classic finder is asked for: maxWidth units, as far as it reaches.
int classicWidth(const Judging& j, int32_t maxWidth) {
    return std::clamp<int32_t>(clampWidth(maxWidth) * j.unitBytes, 1, kFinderLargestWidth);
}

// A width in bytes as width units; 0 where it is no whole number of them.
int inUnits(const Judging& j, int bytes) {
    return bytes % j.unitBytes == 0 ? bytes / j.unitBytes : 0;
}

// What the caller is given of the regions the stages find: the classic finder's in width units, those
// of whole units only; none that lies mostly in a program's headers, code or tables, whose records
// line up as rows do, and the others cut to whole rows outside them; none that the program's own tables
// of pointers or numbers fill.
struct Listing {
    const Judging* judging;
    const uint8_t* data;
    ProgramLayout program;
};

// Cuts the region to its longest stretch between the ranges, in whole rows; false when that holds
// less than half of it.
bool keptOutside(const std::vector<ByteRange>& ranges, int64_t rowBytes, GraphicsRegion& r) {
    const int64_t end = r.first + r.length;
    int64_t bestFirst = 0, bestEnd = 0, gapFirst = 0;
    for (size_t i = 0; i <= ranges.size() && gapFirst < end; ++i) {
        const int64_t gapEnd = i < ranges.size() ? ranges[i].first : end;
        const int64_t first = std::max(gapFirst, r.first), last = std::min(gapEnd, end);
        if (last - first > bestEnd - bestFirst) {
            bestFirst = first;
            bestEnd = last;
        }
        if (i < ranges.size()) gapFirst = ranges[i].end;
    }
    const int64_t first = r.first + (bestFirst - r.first + rowBytes - 1) / rowBytes * rowBytes;
    const int64_t length = bestEnd > first ? (bestEnd - first) / rowBytes * rowBytes : 0;
    if (length == 0 || 2 * length < r.length) return false;
    r.first = first;
    r.length = length;
    return true;
}

// The region as listed by a scan of the stretch that ends at `to`; false when it is not listed.
bool listed(const Listing& listing, int64_t to, GraphicsRegion& r) {
    if (!listing.judging->tiled) r.width = inUnits(*listing.judging, r.width);
    if (r.width == 0) return false;
    if (listing.program.pointerBytes == 0) return true;
    const int64_t rowBytes = int64_t{r.width} * listing.judging->unitBytes;
    return keptOutside(listing.program.pictureFree, rowBytes, r) && r.first < to &&
           !holdsProgramTable(listing.data, r.first, r.length, rowBytes, listing.program);
}

// The caller's hook, handed the regions as listed by a scan of a stretch that ends at `to`.
struct ListingHook {
    const Listing* listing;
    const ScanHook* outer;
    int64_t to;
};

bool forwardProgress(void* context, int64_t done, int64_t total) {
    const ScanHook& outer = *static_cast<ListingHook*>(context)->outer;
    return outer.progress == nullptr || outer.progress(outer.context, done, total);
}

void forwardListed(void* context, const GraphicsRegion& region) {
    const ListingHook& hook = *static_cast<ListingHook*>(context);
    GraphicsRegion r = region;
    if (hook.outer->found != nullptr && listed(*hook.listing, hook.to, r))
        hook.outer->found(hook.outer->context, r);
}

std::vector<GraphicsRegion> scanListed(const uint8_t* data, int64_t size, const Listing& listing,
                                       int64_t from, int64_t to, int32_t maxWidth, finder::ScanMeter& meter) {
    const Judging& j = *listing.judging;
    std::vector<GraphicsRegion> regions =
        j.tiled ? finder::scanTiles(data, size, from, to, *j.row, clampWidth(maxWidth), meter)
                : finder::scan(data, size, j.classicMode, from, to, classicWidth(j, maxWidth),
                               finder::fastestPairLoops(), meter);
    std::erase_if(regions, [&](GraphicsRegion& r) { return !listed(listing, to, r); });
    return regions;
}

// A search stretch by stretch (finder::firstRegionAfter or lastRegionBefore) watched by the hook.
using StretchSearch = bool (*)(int64_t size, int64_t position, const finder::StretchScan& scan,
                               GraphicsRegion& found, finder::ScanMeter& meter);

FindResult findWatched(StretchSearch search, const uint8_t* data, int64_t size, int32_t mode,
                       const AddedModes* added, int64_t position, int32_t maxWidth, const ScanHook& hook,
                       GraphicsRegion& found) {
    const Judging j = judgingOf(data, size, mode, added);
    if (!j.valid) return FindResult::NotFound;
    const Listing listing{&j, data, programLayout(data, size)};
    const ScanHook progressOnly{hook.progress, nullptr, hook.context};
    finder::ScanMeter meter{&progressOnly};
    const bool got = search(
        size, position,
        [&](int64_t from, int64_t to) { return scanListed(data, size, listing, from, to, maxWidth, meter); },
        found, meter);
    return got ? FindResult::Found : meter.stopped ? FindResult::Stopped : FindResult::NotFound;
}

}  // namespace

bool finderJudgesMode(int32_t mode, const AddedModes* added) {
    return judgingOf(mode, added).valid;
}

WidthGuess guessWidth(const uint8_t* data, int64_t size, int64_t first, int32_t mode, int32_t maxWidth,
                      const AddedModes* added) {
    const Judging j = judgingOf(data, size, mode, added);
    if (!j.valid) return {};
    if (j.tiled) return finder::guessTilesPerRow(data, size, first, *j.row, clampWidth(maxWidth));
    const WidthGuess classic = finder::guessAt(data, size, first, j.classicMode, classicWidth(j, maxWidth),
                                               finder::fastestPairLoops());
    // The first candidate of whole units is the guess; in a format of planes, a candidate may be
    // one plane row.
    WidthGuess guess{};
    for (int i = 0; i < classic.count; ++i) {
        const int bytes = classic.candidates[static_cast<size_t>(i)].width;
        const int width = hasPlanes(*j.row)
                              ? finder::planeRowBytes(data, size, first, bytes, j.unitBytes, j.classicMode)
                              : inUnits(j, bytes);
        if (width > 0)
            guess.candidates[static_cast<size_t>(guess.count++)] = {
                width, classic.candidates[static_cast<size_t>(i)].score};
    }
    return guess;
}

std::vector<GraphicsRegion> scanGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t from,
                                         int64_t to, int32_t maxWidth, const AddedModes* added) {
    return scanGraphics(data, size, mode, from, to, maxWidth, ScanHook{}, added).regions;
}

ScanResult scanGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t from, int64_t to,
                        int32_t maxWidth, const ScanHook& hook, const AddedModes* added) {
    const Judging j = judgingOf(data, size, mode, added);
    if (!j.valid) return {};
    const Listing listing{&j, data, programLayout(data, size)};
    ListingHook forwarding{&listing, &hook, to};
    const ScanHook listingHook{forwardProgress, forwardListed, &forwarding};
    finder::ScanMeter meter{&listingHook};
    const int64_t first = std::max<int64_t>(from, 0), last = std::min(to, size);
    meter.total = last > first ? last - first : 0;
    ScanResult result{scanListed(data, size, listing, from, to, maxWidth, meter), meter.stopped};
    reportAllScanned(meter);
    return result;
}

bool findNextGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                      GraphicsRegion& found, const AddedModes* added) {
    return findNextGraphics(data, size, mode, position, maxWidth, ScanHook{}, found, added) ==
           FindResult::Found;
}

bool findPreviousGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position, int32_t maxWidth,
                          GraphicsRegion& found, const AddedModes* added) {
    return findPreviousGraphics(data, size, mode, position, maxWidth, ScanHook{}, found, added) ==
           FindResult::Found;
}

FindResult findNextGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position,
                            int32_t maxWidth, const ScanHook& hook, GraphicsRegion& found,
                            const AddedModes* added) {
    return findWatched(finder::firstRegionAfter, data, size, mode, added, position, maxWidth, hook, found);
}

FindResult findPreviousGraphics(const uint8_t* data, int64_t size, int32_t mode, int64_t position,
                                int32_t maxWidth, const ScanHook& hook, GraphicsRegion& found,
                                const AddedModes* added) {
    return findWatched(finder::lastRegionBefore, data, size, mode, added, position, maxWidth, hook, found);
}
