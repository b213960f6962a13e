// The bytes sit in a block of exactly their size, so any read outside them is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/fuzz_folder.h"
#include "viewer/engine/finder_edges.h"
#include "viewer/engine/finder_guess.h"
#include "viewer/engine/finder_scan.h"
#include "viewer/engine/format_identify.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/program_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Every format of the table, and one on either side of it.
    const int32_t mode = input.ConsumeIntegralInRange<int32_t>(-1, modeCount(nullptr));
    const int32_t maxWidth = input.ConsumeIntegralInRange<int32_t>(-2, 300);
    const int64_t first = input.ConsumeIntegralInRange<int64_t>(-100, 70000);
    const int64_t from = input.ConsumeIntegralInRange<int64_t>(-100, 70000);
    const int64_t to = input.ConsumeIntegralInRange<int64_t>(-100, 70000);
    const size_t version = input.ConsumeIntegral<uint8_t>();
    const int64_t roughEnd = input.ConsumeIntegralInRange<int64_t>(0, 70000);
    const std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();
    const auto length = static_cast<int64_t>(bytes.size());
    const uint8_t* block = bytes.empty() ? nullptr : bytes.data();
    const int32_t widest = maxWidth < 1 ? 1 : maxWidth > kFinderLargestWidth ? kFinderLargestWidth : maxWidth;

    const WidthGuess guess = guessWidth(block, length, first, mode, maxWidth);
    check(guess.count >= 0 && guess.count <= static_cast<int32_t>(guess.candidates.size()));
    for (int32_t i = 0; i < guess.count; ++i)
        check(guess.candidates[i].width >= 1 && guess.candidates[i].width <= widest);

    for (const ByteRange& headers : programHeaderRanges(block, length))
        check(headers.first >= 0 && headers.first < headers.end && headers.end <= length);
    int64_t freeEnd = 0;
    const ProgramLayout program = programLayout(block, length);
    for (const ByteRange& free : program.pictureFree) {
        check(free.first >= freeEnd && free.first < free.end && free.end <= length);
        freeEnd = free.end;
    }
    for (const AddressRange& loaded : program.loaded) check(loaded.first < loaded.end);
    if (length > 0) {
        const int64_t tableFirst = std::clamp<int64_t>(first, 0, length - 1);
        holdsProgramTable(block, tableFirst, std::clamp<int64_t>(roughEnd, 1, length - tableFirst), widest,
                          program);
    }

    int64_t previousEnd = -1;
    const std::vector<GraphicsRegion> listed = scanGraphics(block, length, mode, from, to, maxWidth);
    for (const GraphicsRegion& region : listed) {
        check(region.first >= from && region.first < to && region.first >= previousEnd);
        check(region.length > 0 && region.first + region.length <= length);
        check(region.width >= 1 && region.width <= widest);
        previousEnd = region.first + region.length;
    }
    // Watched, the scan hands over the regions it lists, each once settled.
    std::vector<GraphicsRegion> handed;
    const auto hand = [](void* context, const GraphicsRegion& r) {
        static_cast<std::vector<GraphicsRegion>*>(context)->push_back(r);
    };
    const ScanResult watched =
        scanGraphics(block, length, mode, from, to, maxWidth, ScanHook{nullptr, hand, &handed});
    check(!watched.stopped && watched.regions.size() == listed.size() && handed.size() == listed.size());
    for (size_t i = 0; i < handed.size(); ++i)
        check(handed[i].first == listed[i].first && handed[i].length == listed[i].length &&
              handed[i].width == listed[i].width && watched.regions[i].first == listed[i].first);
    GraphicsRegion region{};
    if (findNextGraphics(block, length, mode, first, maxWidth, region)) check(region.first > first);
    if (findPreviousGraphics(block, length, mode, first, maxWidth, region)) check(region.first < first);

    for (const FormatAnswer& answer : identifyFormats(block, length, first, to))
        check(answer.mode >= 0 && answer.mode < modeCount(nullptr) && answer.width >= 1 &&
              answer.score <= 1000);

    // The stages alone, with the pair loops of a version this processor runs.
    if (block == nullptr || mode < 0 || mode > 3) return 0;
    const std::span<const finder::PairLoops> versions = finder::pairLoopVersions();
    const finder::PairLoops& loops = versions[version % versions.size()].runsHere()
                                         ? versions[version % versions.size()]
                                         : versions.back();
    const int64_t begin = std::clamp<int64_t>(from, 0, length - 1);
    const int64_t end = std::clamp<int64_t>(roughEnd, begin + 1, length);
    finder::Profile counted, portable;
    finder::measure(counted, block, length, begin, end, widest + 1, mode, loops);
    finder::measure(portable, block, length, begin, end, widest + 1, mode, versions.back());
    check(counted.diff == portable.diff && counted.densityDiff == portable.densityDiff &&
          counted.pairs == portable.pairs && counted.histogram == portable.histogram);
    const WidthGuess again = finder::guessAt(block, length, first, mode, widest, loops);
    check(again.count == guess.count &&
          (guess.count == 0 || again.candidates[0].width == guess.candidates[0].width));
    for (const int width : finder::quickLookWidths(block, length, begin, mode, widest, loops))
        check(width >= 0 && width <= widest);
    if (finder::regionAround(block, length, begin, mode, widest, region, loops))
        check(region.first >= 0 && region.length > 0 && region.first + region.length <= length &&
              region.width >= 1 && region.width <= widest);
    const finder::Extent extent = finder::trimFlatEdges(
        block, length, finder::settledExtent(block, length, {begin, end}, widest, mode, widest == 1), widest);
    check(extent.first >= 0 && extent.first < extent.end && extent.end <= length);
    return 0;
}
