// pl_bench: the viewer's plain core against the floors the hardware sets: drawing the view
// against one fill of the image, loading a file to its first view against targets, saving a byte range
// byte by byte against one write(). Files live in a private temporary folder; the page
// cache is left as it is, so both sides of every pair read warm.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "bench/bench_summary.h"
#include "graphics/images.h"
#include "support/file_services.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/pixel_kernel_tables.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/wide_colours.h"

namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kViewData = 4 * kMiB;
constexpr int64_t kLoadSize = 256 * kMiB;
constexpr int64_t kSaveSize = 16 * kMiB;
constexpr int kViewHeight = 512;
constexpr int kSheetImage = 0;

// A file of `size` noise bytes in the bench folder, made once per name.
std::string noiseFile(const std::string& name, int64_t size) {
    const std::string path = benchFolder() + "/" + name;
    if (fileSize(path) != size && !writeNoiseFile(path, size)) return std::string();
    return path;
}

// A noise file of `size` bytes loaded; nothing held when it cannot be.
DataFile loadForView(benchmark::State& state, int64_t size) {
    const std::string path = noiseFile("view-" + std::to_string(size) + ".bin", size);
    DataLoad load = path.empty() ? DataLoad{LoadResult::Open, DataFile{}} : loadDataFile(path);
    if (load.result != LoadResult::Ok) state.SkipWithError("cannot make and load the data file");
    return load.file;
}

// The views drawn: the starting one, and those of a window filling a 1080p and a 4K screen.
struct ViewSize {
    int image, width, height;
};
constexpr ViewSize kStartView{kSheetImage, kViewWidth, kViewHeight};
constexpr ViewSize kFullHdView{1, 1920, 1080}, kUltraHdView{2, 3840, 2160};

ImageBuffer* sheetImage(const ViewSize& size = kStartView) {
    if (imageBuffer(size.image) == nullptr) createImage(size.image, size.width, size.height);
    return imageBuffer(size.image);
}

// ---- Drawing the view.

void fillSheetOnce(benchmark::State& state) {
    ImageBuffer* image = sheetImage();
    const size_t bytes = static_cast<size_t>(image->stride) * image->height;
    int value = 0;
    for (auto _ : state) {
        std::memset(image->pixels, ++value & 0xFF, bytes);
        benchmark::DoNotOptimize(image->pixels);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(fillSheetOnce);

void drawView(benchmark::State& state, int mode, int zoom, int width, bool multiColumn,
              const ViewSize& size = kStartView, const AddedModes* added = nullptr) {
    DataFile data = loadForView(state, kViewData);
    const ImageBuffer* image = sheetImage(size);
    if (data.bytes == nullptr || image == nullptr) return freeDataFile(data);
    // PL_PIXEL_KERNEL=plain or avx2 measures the drawing as machines without AVX-512 (or AVX2) run it.
    SheetOptions options{
        0,         width, zoom,  mode,        size.height,
        false,     false, false, multiColumn, &pixelKernelsAtStart(std::getenv("PL_PIXEL_KERNEL")),
        size.width};
    options.addedModes = added;
    for (auto _ : state) {
        if (drawSheet(dataBytes(data), options, *image) != SheetResult::Drawn) {
            state.SkipWithError("drawSheet did not draw");
            break;
        }
        benchmark::ClobberMemory();
    }
    freeDataFile(data);
}

// The direct-colour rows of a worst-case view (three strips of 256, 256 and 88 pixels, 512 rows),
// written alone, strip by strip as the view writes them: their words from the data as the view reads
// them (1.2 MB for words of 4 bytes), or every row from its strip's first row of words (a few KiB that
// stay in the first-level cache), or with the words from the data, every row into the image's first.
// Against the view's, what reading the words and writing the image each cost.
enum class DirectProbe { ViewWords, CachedWords, OneImageRow };
void writeDirectRows(benchmark::State& state, const ModeRow* row, DirectProbe probe) {
    DataFile data = loadForView(state, kViewData);
    ImageBuffer* image = sheetImage();
    WideColours colours;
    makeWideColours(colours, *row->record, nullptr, 0);
    DirectColourWords plan;
    if (data.bytes == nullptr || image == nullptr || !makeDirectColourWords(plan, *row, colours)) {
        state.SkipWithError("no plan of direct colour words");
        return freeDataFile(data);
    }
    const PixelKernels& kernels = pixelKernelsAtStart(std::getenv("PL_PIXEL_KERNEL"));
    const ptrdiff_t rowBytes = ptrdiff_t{kMaxBytesPerRow} * plan.bytes;
    const ptrdiff_t wordStep = probe == DirectProbe::CachedWords ? 0 : rowBytes;
    const ptrdiff_t outStep =
        probe == DirectProbe::OneImageRow ? 0 : imageRow(*image, 1) - imageRow(*image, 0);
    for (auto _ : state) {
        for (int strip = 0, pixel = 0; pixel < kViewWidth; ++strip, pixel += kMaxBytesPerRow)
            writeDirectColours(kernels, plan,
                               {data.bytes + strip * rowBytes * kViewHeight, wordStep,
                                imageRow(*image, 0) + ptrdiff_t{pixel} * kScreenPixelBytes, outStep,
                                kViewHeight, std::min(kMaxBytesPerRow, kViewWidth - pixel)});
        benchmark::ClobberMemory();
    }
    freeDataFile(data);
}

// The worst case of every mode (zoom 1, width 256, multi columns) is registered in main.
BENCHMARK_CAPTURE(drawView, binary_typical, kModeBinary, 2, 40, false);

// ---- Loading a file whole.

// The floor: a fresh block, one read() of the whole file into it.
void readWholeFile(benchmark::State& state) {
    const std::string path = noiseFile("load.bin", kLoadSize);
    if (path.empty()) {
        state.SkipWithError("cannot make the data file");
        return;
    }
    for (auto _ : state) {
        auto* block = static_cast<uint8_t*>(std::malloc(kLoadSize));
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = fd >= 0 && block != nullptr ? read(fd, block, kLoadSize) : -1;
        if (fd >= 0) close(fd);
        state.PauseTiming();
        if (got != kLoadSize) state.SkipWithError("short read");
        std::free(block);
        state.ResumeTiming();
    }
}
BENCHMARK(readWholeFile)->Unit(benchmark::kMillisecond);

// For comparison only: the same read into a block whose pages are already there.
void readWholeFileWarmBlock(benchmark::State& state) {
    const std::string path = noiseFile("load.bin", kLoadSize);
    auto* block = static_cast<uint8_t*>(std::malloc(kLoadSize));
    if (path.empty() || block == nullptr) {
        state.SkipWithError("cannot make the data file");
        std::free(block);
        return;
    }
    std::memset(block, 0, kLoadSize);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = fd >= 0 ? read(fd, block, kLoadSize) : -1;
        if (fd >= 0) close(fd);
        if (got != kLoadSize) state.SkipWithError("short read");
    }
    std::free(block);
}
BENCHMARK(readWholeFileWarmBlock)->Unit(benchmark::kMillisecond);

// A sparse file of `size` bytes: it takes no disk, and its pages read as zeros.
std::string sparseFile(const std::string& name, int64_t size) {
    const std::string path = benchFolder() + "/" + name;
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    const bool made = fd >= 0 && ftruncate(fd, size) == 0;
    if (fd >= 0) close(fd);
    return made ? path : std::string();
}

const SheetOptions kFirstView{0, 40, 2, kModeBinary, kViewHeight, false, false, false, false};

// From the load command to the first view drawn: the 256 MiB noise file (warm) or a 4 GiB
// sparse file.
void loadToFirstFrame(benchmark::State& state) {
    const int64_t size = state.range(0);
    const std::string path = size == kLoadSize ? noiseFile("load.bin", size) : sparseFile("sparse.bin", size);
    const ImageBuffer* image = sheetImage();
    double resident = 0;
    for (auto _ : state) {
        DataLoad load = path.empty() ? DataLoad{LoadResult::Open, {}} : loadDataFile(path);
        const bool drawn = load.result == LoadResult::Ok && image != nullptr &&
                           drawSheet(dataBytes(load.file), kFirstView, *image) == SheetResult::Drawn;
        state.PauseTiming();
        if (!drawn || load.file.size != size) {
            state.SkipWithError("load or first view failed");
            break;
        }
        resident = residentBytes();
        freeDataFile(load.file);
        state.ResumeTiming();
    }
    state.counters["rss"] = resident;
}
BENCHMARK(loadToFirstFrame)->Arg(kLoadSize)->Arg(int64_t{4} << 30)->Unit(benchmark::kMillisecond);

// Resident memory grown by opening a 4 GiB file and looking at 100 MiB of it, view after view, the
// pages far from the view let go as the window lets them go.
void scrollHundredMiB(benchmark::State& state) {
    const std::string path = sparseFile("sparse.bin", int64_t{4} << 30);
    const ImageBuffer* image = sheetImage();
    double resident = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        DataLoad load = path.empty() ? DataLoad{LoadResult::Open, {}} : loadDataFile(path);
        int64_t around = 0;
        SheetOptions view{0, kMaxBytesPerRow, 1, kModeBinary, kViewHeight, false, false, false, false};
        for (; load.result == LoadResult::Ok && image != nullptr && view.first < 100 * kMiB;
             view.first += kMaxBytesPerRow * kViewHeight) {
            drawSheet(dataBytes(load.file), view, *image);
            around = releaseBytesAwayFrom(load.file, view.first, around);  // as the window does
        }
        state.PauseTiming();
        resident = residentBytes() - before;
        freeDataFile(load.file);
        state.ResumeTiming();
    }
    state.counters["rss_grown"] = resident;
}
BENCHMARK(scrollHundredMiB)->Unit(benchmark::kMillisecond);

// ---- Loading a format file: its text read and parsed, the format added to a set of its own.

void loadFormatFileOnce(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        FormatFiles formats;
        if (loadFormatFile(formats, path).mode < 0) {
            state.SkipWithError("the format file was refused");
            break;
        }
        benchmark::DoNotOptimize(formats.modes.modes.front().row);
    }
}

// ---- Saving a byte range.

// The floor: the same bytes in one write() to a new file in the same folder; and, for
// comparison, in the 4095-byte write()s that the file buffer makes of single bytes.
void writeRangeInPieces(benchmark::State& state, int64_t piece) {
    DataFile data = loadForView(state, kSaveSize);
    if (data.bytes == nullptr) return;
    const std::string path = benchFolder() + "/floor-out.bin";
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool ok = fd >= 0;
        for (int64_t done = 0; ok && done < kSaveSize; done += piece) {
            const auto count = static_cast<size_t>(std::min(piece, kSaveSize - done));
            ok = write(fd, data.bytes + done, count) == static_cast<ssize_t>(count);
        }
        if (fd < 0 || close(fd) != 0 || !ok) {
            state.SkipWithError("write failed");
            break;
        }
    }
    freeDataFile(data);
}
BENCHMARK_CAPTURE(writeRangeInPieces, once, kSaveSize)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeRangeInPieces, pieces_4095, kFileBufferSize - 1)->Unit(benchmark::kMillisecond);

void saveRangeByteByByte(benchmark::State& state) {
    DataFile data = loadForView(state, kSaveSize);
    if (data.bytes == nullptr) return;
    const std::string path = benchFolder() + "/range-out.bin";
    for (auto _ : state) {
        if (writeBinaryRange(path, dataBytes(data), 0, kSaveSize, {}) != 1) {
            state.SkipWithError("writeBinaryRange failed");
            break;
        }
    }
    freeDataFile(data);
}
BENCHMARK(saveRangeByteByByte)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::vector<Figure> figures;
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        const std::string name = std::string("drawView/") + modeRow(mode, nullptr)->cliName + "_worst";
        benchmark::RegisterBenchmark(name.c_str(), [mode](benchmark::State& state) {
            drawView(state, mode, 1, kMaxBytesPerRow, true);
        });
        figures.push_back(
            {std::string("View, ") + modeRow(mode, nullptr)->menuText + " worst (zoom 1, width 256, multi)",
             FigureKind::Ratio, name, "fillSheetOnce", 3, ""});
    }
    // Every shipped format file's worst case.
    static FormatFiles shipped;
    loadFormatFolder(shipped, PL_FORMATS_PATH);
    for (int mode = kModeTableSize; mode < modeCount(&shipped.modes); ++mode) {
        const ModeRow& row = *modeRow(mode, &shipped.modes);
        const std::string name = std::string("drawView/") + row.cliName + "_worst";
        benchmark::RegisterBenchmark(name.c_str(), [mode](benchmark::State& state) {
            drawView(state, mode, 1, kMaxBytesPerRow, true, kStartView, &shipped.modes);
        });
        figures.push_back({std::string("View, ") + row.menuText + " worst (zoom 1, width 256, multi)",
                           FigureKind::Ratio, name, "fillSheetOnce", 3, ""});
    }
    for (int mode = kModeTableSize; mode < modeCount(&shipped.modes); ++mode) {
        const ModeRow* row = modeRow(mode, &shipped.modes);
        if (row->wordBytes == 0) continue;
        for (const auto& [probe, label] : {std::pair{DirectProbe::ViewWords, "view"},
                                           {DirectProbe::CachedWords, "cached"},
                                           {DirectProbe::OneImageRow, "oneimagerow"}})
            benchmark::RegisterBenchmark(
                (std::string("directRows/") + row->cliName + "_" + label).c_str(),
                [row, probe](benchmark::State& state) { writeDirectRows(state, row, probe); });
    }
    // Every shipped format file loaded alone.
    std::vector<std::string> formatPaths;
    for (const auto& entry : std::filesystem::directory_iterator(PL_FORMATS_PATH))
        if (entry.path().extension() == ".plfmt") formatPaths.push_back(entry.path().string());
    std::sort(formatPaths.begin(), formatPaths.end());
    for (const std::string& path : formatPaths) {
        const std::string file = std::filesystem::path(path).filename().string();
        const std::string name = "loadFormatFile/" + file;
        benchmark::RegisterBenchmark(name.c_str(), [path](benchmark::State& state) {
            loadFormatFileOnce(state, path);
        })->Unit(benchmark::kMicrosecond);
        figures.push_back({"Load the format file " + file, FigureKind::TimeMs, name, "", 1, ""});
    }
    // The worst cases of a full-screen view: its drawing alone, within the frame of a whole redraw.
    for (const auto& [size, label, frameMs] :
         {std::tuple{kFullHdView, "1080p", 8}, {kUltraHdView, "2160p", 16}}) {
        for (int mode = 0; mode < kModeTableSize; ++mode) {
            const std::string name =
                std::string("drawView/") + modeRow(mode, nullptr)->cliName + "_worst_" + label;
            benchmark::RegisterBenchmark(name.c_str(), [mode, size](benchmark::State& state) {
                drawView(state, mode, 1, kMaxBytesPerRow, true, size);
            })->Unit(benchmark::kMillisecond);
            figures.push_back(
                {std::string("View ") + label + ", " + modeRow(mode, nullptr)->menuText + " worst",
                 FigureKind::TimeMs, name, "", static_cast<double>(frameMs), ""});
        }
    }
    figures.insert(figures.end(), {
                                      {"View, typical (Binary, zoom 2, width 40)", FigureKind::Ratio,
                                       "drawView/binary_typical", "fillSheetOnce", 1.5, ""},
                                      {"Load 256 MiB to the first view", FigureKind::TimeMs,
                                       "loadToFirstFrame/268435456", "", 50, ""},
                                      {"Load 4 GiB (sparse) to the first view", FigureKind::TimeMs,
                                       "loadToFirstFrame/4294967296", "", 100, ""},
                                      {"Resident memory grown by 100 MiB of a 4 GiB file looked at",
                                       FigureKind::CounterMiB, "scrollHundredMiB", "", 100, "rss_grown"},
                                      {"Save 16 MiB byte by byte (floor: one write())", FigureKind::Ratio,
                                       "saveRangeByteByByte", "writeRangeInPieces/once", 2, ""},
                                      {"Save 16 MiB against the same 4095-byte write()s", FigureKind::Ratio,
                                       "saveRangeByteByByte", "writeRangeInPieces/pieces_4095", 0, ""},
                                      {"Read 256 MiB into a new block against a used one", FigureKind::Ratio,
                                       "readWholeFile", "readWholeFileWarmBlock", 0, ""},
                                  });
    return runBenchmarksWithSummary(argc, argv, figures);
}
