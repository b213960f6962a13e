// The graphics scan watched by a hook: it tells how far it has come, hands over each region once
// settled, stops when asked, and answers as an unwatched scan otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/viewer/engine/format_encoders.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"

namespace {

constexpr int64_t kMiB = int64_t{1} << 20;

// 12 MiB of zero bytes with the sample file's pictures at 1 MiB and at 9 MiB, and a sheet of NES
// tiles at 9.5 MiB.
const std::vector<uint8_t>& bigData() {
    static const std::vector<uint8_t> data = [] {
        std::ifstream file(PL_SAMPLE_PATH, std::ios::binary);
        const std::vector<uint8_t> sample{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
        std::vector<uint8_t> big(static_cast<size_t>(12 * kMiB));
        for (const int64_t at : {1 * kMiB, 9 * kMiB})
            std::copy(sample.begin(), sample.end(), big.begin() + at);
        const std::vector<uint8_t> tiles = packPicture(*formatEncoder("nes"), 128, 96, [](int x, int y) {
            return std::clamp(static_cast<int>(2 + 1.5 * std::sin(x / 9.0) * std::cos(y / 13.0)), 0, 3);
        });
        std::copy(tiles.begin(), tiles.end(), big.begin() + 9 * kMiB + kMiB / 2);
        return big;
    }();
    return data;
}

// What the hook saw; it asks to stop once `stopAt` bytes are done.
struct Watch {
    int64_t stopAt = INT64_MAX;
    std::vector<int64_t> done;
    int64_t total = -1;
    std::vector<GraphicsRegion> found;
    std::vector<size_t> reportsBeforeFound;  // progress reports made before each region was handed over
};

bool watchProgress(void* context, int64_t done, int64_t total) {
    auto& watch = *static_cast<Watch*>(context);
    watch.done.push_back(done);
    watch.total = total;
    return done < watch.stopAt;
}

void watchFound(void* context, const GraphicsRegion& region) {
    auto& watch = *static_cast<Watch*>(context);
    watch.found.push_back(region);
    watch.reportsBeforeFound.push_back(watch.done.size());
}

enum class Search { Scan, Next, Previous };

struct Answer {
    std::vector<GraphicsRegion> regions;  // a scan's, or the one found
    bool stopped = false;
};

Answer searchWatched(Search search, int mode, int64_t position, Watch* watch) {
    const std::vector<uint8_t>& data = bigData();
    const auto size = static_cast<int64_t>(data.size());
    const ScanHook hook{watchProgress, watchFound, watch};
    if (search == Search::Scan) {
        if (watch == nullptr) return {scanGraphics(data.data(), size, mode, position, size, 256), false};
        ScanResult result = scanGraphics(data.data(), size, mode, position, size, 256, hook);
        return {result.regions, result.stopped};
    }
    GraphicsRegion region{};
    const bool next = search == Search::Next;
    if (watch == nullptr) {
        const bool found = next ? findNextGraphics(data.data(), size, mode, position, 256, region)
                                : findPreviousGraphics(data.data(), size, mode, position, 256, region);
        return {found ? std::vector<GraphicsRegion>{region} : std::vector<GraphicsRegion>{}, false};
    }
    const FindResult result =
        next ? findNextGraphics(data.data(), size, mode, position, 256, hook, region)
             : findPreviousGraphics(data.data(), size, mode, position, 256, hook, region);
    return {result == FindResult::Found ? std::vector<GraphicsRegion>{region} : std::vector<GraphicsRegion>{},
            result == FindResult::Stopped};
}

bool sameRegions(const std::vector<GraphicsRegion>& a, const std::vector<GraphicsRegion>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].first != b[i].first || a[i].length != b[i].length || a[i].width != b[i].width ||
            a[i].score != b[i].score)
            return false;
    return true;
}

struct SearchCase {
    const char* name;
    Search search;
    const char* mode;
    int64_t position;
    int64_t total;  // bytes the whole search covers
    bool finds;
    bool endsEarly;  // a find ends it before it has come to the end of its bytes
};

const SearchCase kSearches[] = {
    {"scan, binary", Search::Scan, "binary", 0, 12 * kMiB, true, false},
    {"scan from 2 MiB, sam", Search::Scan, "sam", 2 * kMiB, 10 * kMiB, true, false},
    {"scan, NES tiles", Search::Scan, "nes", 0, 12 * kMiB, true, false},
    {"next from 2 MiB", Search::Next, "binary", 2 * kMiB, 10 * kMiB - 1, true, true},
    {"next past the last picture", Search::Next, "binary", 10 * kMiB, 2 * kMiB - 1, false, false},
    // The last stretch back runs from the data's start.
    {"previous from 9 MiB", Search::Previous, "binary", 9 * kMiB, 9 * kMiB, true, false},
    {"previous before the first picture", Search::Previous, "binary", kMiB - 1, kMiB - 1, false, false},
    {"next, NES tiles", Search::Next, "nes", 0, 12 * kMiB - 1, true, true},
};

TEST(ScanProgressTest, AWatchedSearchAnswersAsAnUnwatchedOneAndTellsItsProgress) {
    for (const SearchCase& c : kSearches) {
        const int mode = modeByCliName(c.mode, nullptr);
        Watch watch;
        const Answer watched = searchWatched(c.search, mode, c.position, &watch);
        const Answer plain = searchWatched(c.search, mode, c.position, nullptr);
        EXPECT_FALSE(watched.stopped) << c.name;
        EXPECT_TRUE(sameRegions(watched.regions, plain.regions)) << c.name;
        EXPECT_EQ(!plain.regions.empty(), c.finds) << c.name;
        ASSERT_FALSE(watch.done.empty()) << c.name;
        EXPECT_EQ(watch.total, c.total) << c.name;
        for (size_t i = 1; i < watch.done.size(); ++i) EXPECT_LE(watch.done[i - 1], watch.done[i]) << c.name;
        // Reaches the total unless a find ended the search; reports come about once a MiB.
        EXPECT_EQ(watch.done.back() == c.total, !c.endsEarly) << c.name;
        EXPECT_LE(watch.done.back(), c.total) << c.name;
        if (!c.endsEarly) {
            EXPECT_GE(watch.done.size(), static_cast<size_t>(c.total / kMiB)) << c.name;
        }
        if (c.search != Search::Scan) continue;
        // A scan hands over its regions as it settles them: the sample's at 1 MiB before it reports
        // 3 MiB done.
        EXPECT_TRUE(sameRegions(watch.found, plain.regions)) << c.name;
        if (!watch.found.empty() && watch.found.front().first < 2 * kMiB) {
            EXPECT_LT(watch.done[watch.reportsBeforeFound.front()], 3 * kMiB) << c.name;
        }
    }
}

TEST(ScanProgressTest, AStopRequestStopsTheSearchAndSaysSo) {
    for (const SearchCase& c : kSearches) {
        const int mode = modeByCliName(c.mode, nullptr);
        Watch watch;
        watch.stopAt = kMiB / 2;  // the first report stops it
        const Answer watched = searchWatched(c.search, mode, c.position, &watch);
        // A search shorter than a report's worth is over before it could be stopped.
        EXPECT_EQ(watched.stopped, c.total > kScanReportBytes) << c.name;
        EXPECT_EQ(watch.done.size(), 1u) << c.name;
        if (watched.stopped && c.search != Search::Scan) {
            EXPECT_TRUE(watched.regions.empty()) << c.name;
        }
    }
}

}  // namespace
