// The bytes sit in a block of exactly their size, so any read outside them is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_folder.h"
#include "viewer/engine/graphics_finder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int32_t mode = input.ConsumeIntegralInRange<int32_t>(-1, 4);
    const int32_t maxWidth = input.ConsumeIntegralInRange<int32_t>(-2, 300);
    const int64_t first = input.ConsumeIntegralInRange<int64_t>(-100, 70000);
    const int64_t from = input.ConsumeIntegralInRange<int64_t>(-100, 70000);
    const int64_t to = input.ConsumeIntegralInRange<int64_t>(-100, 70000);
    const std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();
    const auto length = static_cast<int64_t>(bytes.size());
    const uint8_t* block = bytes.empty() ? nullptr : bytes.data();
    const int32_t widest = maxWidth < 1 ? 1 : maxWidth > kFinderLargestWidth ? kFinderLargestWidth : maxWidth;

    const WidthGuess guess = guessWidth(block, length, first, mode, maxWidth);
    check(guess.count >= 0 && guess.count <= static_cast<int32_t>(guess.candidates.size()));
    for (int32_t i = 0; i < guess.count; ++i)
        check(guess.candidates[i].width >= 1 && guess.candidates[i].width <= widest);

    int64_t previousEnd = -1;
    for (const GraphicsRegion& region : scanGraphics(block, length, mode, from, to, maxWidth)) {
        check(region.first >= from && region.first < to && region.first >= previousEnd);
        check(region.length > 0 && region.first + region.length <= length);
        check(region.width >= 1 && region.width <= widest);
        previousEnd = region.first + region.length;
    }
    GraphicsRegion region{};
    if (findNextGraphics(block, length, mode, first, maxWidth, region)) check(region.first > first);
    if (findPreviousGraphics(block, length, mode, first, maxWidth, region)) check(region.first < first);
    return 0;
}
