// How a long graphics scan tells its caller how far it has come and what it has found, and how the
// caller stops it: a record of plain callbacks passed to the scan, with a context of the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "viewer/engine/finder_results.h"

// The scan tells its progress once per so many bytes scanned.
constexpr int64_t kScanReportBytes = int64_t{1} << 20;

struct ScanHook {
    // Bytes scanned so far and bytes to scan in all: done never goes back, and reaches total when
    // everything has been scanned without a find that ends the search. False stops the scan.
    bool (*progress)(void* context, int64_t done, int64_t total) = nullptr;
    // A whole scan's regions, each as soon as nothing further can change it, in file order.
    void (*found)(void* context, const GraphicsRegion& region) = nullptr;
    void* context = nullptr;
};

// done of total in whole percent, rounded down; 100 of nothing.
int percentDone(int64_t done, int64_t total);

enum class FindResult { Found, NotFound, Stopped };

// The regions listed so far; all of them when the scan was not stopped.
struct ScanResult {
    std::vector<GraphicsRegion> regions;
    bool stopped = false;
};

namespace finder {

// Where the scan of a stretch stands within the search that the hook watches.
struct ScanMeter {
    const ScanHook* hook = nullptr;
    int64_t doneBefore = 0;  // bytes of the search scanned before this stretch
    int64_t total = 0;
    int64_t done = 0;  // told last
    int64_t nextReport = kScanReportBytes;
    bool stopped = false;
};

// Whether the scan of [from, to) goes on at `position`: tells the hook how far the search has come
// each time it has passed kScanReportBytes more; false once the hook has asked to stop.
bool keepScanning(ScanMeter& meter, int64_t from, int64_t to, int64_t position);

// Tells the hook that the whole search has been scanned.
void reportAllScanned(ScanMeter& meter);

// Hands regions[told..settled) to the hook; the new count told.
size_t tellSettled(const ScanMeter& meter, const std::vector<GraphicsRegion>& regions, size_t told,
                   size_t settled);

}  // namespace finder
