// The width guess and the graphics scan, each beside one pass over the same bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "bench/bench_summary.h"
#include "viewer/engine/format_identify.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"

namespace {

constexpr int64_t kGuessBytes = 64 * 1024;
constexpr int64_t kScanBytes = 16 << 20;

std::vector<uint8_t> sampleFile() {
    std::ifstream file(PL_SAMPLE_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The sample file over and over: pictures of every mode and width.
const std::vector<uint8_t>& pictures(int64_t size) {
    static std::vector<uint8_t> bytes;
    if (static_cast<int64_t>(bytes.size()) != size) {
        const std::vector<uint8_t> sample = sampleFile();
        bytes.resize(size);
        for (int64_t i = 0; i < size; ++i) bytes[i] = sample[i % sample.size()];
    }
    return bytes;
}

// Bytes without pictures, as compressed data looks.
const std::vector<uint8_t>& noise() {
    static std::vector<uint8_t> bytes;
    if (bytes.empty()) {
        std::mt19937_64 random(11);
        bytes.resize(kScanBytes);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    }
    return bytes;
}

uint64_t onePass(const std::vector<uint8_t>& bytes) {
    uint64_t sum = 0;
    for (uint8_t byte : bytes) sum += byte;
    return sum;
}

// 64 KiB of one picture 40 bytes wide: the sample's banner, over and over.
const std::vector<uint8_t>& banner() {
    static std::vector<uint8_t> bytes;
    if (bytes.empty()) {
        const std::vector<uint8_t> sample = sampleFile();
        for (int64_t i = 0; i < kGuessBytes; ++i) bytes.push_back(sample[0x2000 + i % 4000]);
    }
    return bytes;
}

void passOverBanner(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(onePass(banner()));
}
BENCHMARK(passOverBanner)->Unit(benchmark::kMillisecond);

void guessOver64K(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = banner();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            guessWidth(bytes.data(), kGuessBytes, 0, static_cast<int32_t>(state.range(0)), 256));
}
BENCHMARK(guessOver64K)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

void passOverNoise(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(onePass(noise()));
    state.SetBytesProcessed(state.iterations() * kScanBytes);
}
BENCHMARK(passOverNoise)->Unit(benchmark::kMillisecond);

void scanNoise(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = noise();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            scanGraphics(bytes.data(), kScanBytes, static_cast<int32_t>(state.range(0)), 0, kScanBytes, 256));
    state.SetBytesProcessed(state.iterations() * kScanBytes);
}
BENCHMARK(scanNoise)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

void scanPictures(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = pictures(8 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(scanGraphics(bytes.data(), 8 << 20, 0, 0, 8 << 20, 256));
    state.SetBytesProcessed(state.iterations() * (8 << 20));
}
BENCHMARK(scanPictures)->Unit(benchmark::kMillisecond);

// What Ctrl+N and Ctrl+W ask of the finder on the sample file, before the render.
void nextAndGuessOnSample(benchmark::State& state) {
    const std::vector<uint8_t> bytes = sampleFile();
    const auto size = static_cast<int64_t>(bytes.size());
    for (auto _ : state) {
        GraphicsRegion region{};
        benchmark::DoNotOptimize(findNextGraphics(bytes.data(), size, 3, 0, 256, region));
        benchmark::DoNotOptimize(guessWidth(bytes.data(), size, 0x6000, 3, 256));
    }
}
BENCHMARK(nextAndGuessOnSample)->Unit(benchmark::kMillisecond);

// "Next graphics" where there is none: the whole of 4 MiB scanned in one format (the ZX screen has
// no width to find).
void nextGraphicsOver4MiB(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = noise();
    constexpr int64_t kBytes = 4 << 20;
    for (auto _ : state) {
        GraphicsRegion region{};
        benchmark::DoNotOptimize(
            findNextGraphics(bytes.data(), kBytes, static_cast<int32_t>(state.range(0)), 0, 256, region));
    }
    state.SetLabel(modeRow(static_cast<int32_t>(state.range(0)), nullptr)->cliName);
}
BENCHMARK(nextGraphicsOver4MiB)->DenseRange(0, kModeTableSize - 1)->Unit(benchmark::kMillisecond);

// Identify on 64 KiB of the banner picture.
void identifyOver64K(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = banner();
    for (auto _ : state) benchmark::DoNotOptimize(identifyFormats(bytes.data(), kGuessBytes, 0, kGuessBytes));
}
BENCHMARK(identifyOver64K)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Figure> figures = {
        {"Guess over 64 KiB, Binary (ms)", FigureKind::TimeMs, "guessOver64K/0", "", 5, ""},
        {"Guess over 64 KiB, Sam Coupe mode 4 (ms)", FigureKind::TimeMs, "guessOver64K/3", "", 5, ""},
        {"Guess over 64 KiB against one pass", FigureKind::Ratio, "guessOver64K/0", "passOverBanner", 0, ""},
        {"Scan 16 MiB of noise, Binary (ms; 200 MiB/s = 80 ms)", FigureKind::TimeMs, "scanNoise/0", "", 80,
         ""},
        {"Scan 16 MiB of noise, Sam Coupe mode 4 (ms)", FigureKind::TimeMs, "scanNoise/3", "", 80, ""},
        {"Scan 16 MiB of noise against one pass", FigureKind::Ratio, "scanNoise/0", "passOverNoise", 0, ""},
        {"Scan 8 MiB of pictures (ms; 200 MiB/s = 40 ms)", FigureKind::TimeMs, "scanPictures", "", 40, ""},
        {"Next graphics and guess on the sample file (ms, before the render)", FigureKind::TimeMs,
         "nextAndGuessOnSample", "", 16, ""},
        {"Next graphics over 4 MiB without a picture, NES tiles (ms)", FigureKind::TimeMs,
         "nextGraphicsOver4MiB/13", "", 50, ""},
        {"Next graphics over 4 MiB without a picture, Amiga 5 bitplanes (ms)", FigureKind::TimeMs,
         "nextGraphicsOver4MiB/8", "", 50, ""},
        {"Identify over 64 KiB (ms)", FigureKind::TimeMs, "identifyOver64K", "", 50, ""},
    };
    return runBenchmarksWithSummary(argc, argv, figures);
}
