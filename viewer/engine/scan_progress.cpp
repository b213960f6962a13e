#include "viewer/engine/scan_progress.h"

#include <algorithm>

int percentDone(int64_t done, int64_t total) {
    if (total <= 0) return 100;
    return static_cast<int>(static_cast<double>(std::clamp<int64_t>(done, 0, total)) /
                            static_cast<double>(total) * 100);
}

namespace finder {

bool keepScanning(ScanMeter& meter, int64_t from, int64_t to, int64_t position) {
    if (meter.stopped) return false;
    if (meter.hook == nullptr || meter.hook->progress == nullptr) return true;
    // A scan starts a little before its stretch and may look on past it.
    const int64_t first = std::max<int64_t>(from, 0), last = std::max(first, to);
    const int64_t done = std::max(meter.done, meter.doneBefore + (std::clamp(position, first, last) - first));
    if (done < meter.nextReport) return true;
    meter.done = done;
    meter.nextReport = done + kScanReportBytes;
    meter.stopped = !meter.hook->progress(meter.hook->context, done, meter.total);
    return !meter.stopped;
}

void reportAllScanned(ScanMeter& meter) {
    if (meter.stopped || meter.hook == nullptr || meter.hook->progress == nullptr) return;
    // Nothing is left to stop.
    meter.done = meter.total;
    meter.hook->progress(meter.hook->context, meter.total, meter.total);
}

size_t tellSettled(const ScanMeter& meter, const std::vector<GraphicsRegion>& regions, size_t told,
                   size_t settled) {
    if (meter.hook == nullptr || meter.hook->found == nullptr) return settled;
    for (; told < settled; ++told) meter.hook->found(meter.hook->context, regions[told]);
    return told;
}

}  // namespace finder
