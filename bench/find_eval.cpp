// Hit rates of the width guess, the graphics scan and identify on corpora made by
// scripts/make-find-corpus.py:  pl_find_eval MANIFEST... [--formats K] [--elf N] [--misses].
// Several corpora are counted together. Each picture is also packed, by the tests' format encoders,
// in K machine formats (taken in turn, 1 by default, 0 for none) between the same bytes; --elf N scans N
// x86-64 programs and libraries of /usr/bin and /usr/lib for the false regions in real code (in the
// classic modes and the tiled formats; the data without pictures is scanned in both too). The whole column
// asks one region to cover at least 80% of the picture's inked rows at its width, its rows lined up with the
// picture's (or shifted only within a blank margin); the older scan column asks a region to begin inside the
// picture, the rows column only that its rows line up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/viewer/engine/format_encoders.h"
#include "viewer/engine/format_identify.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"

namespace {

struct Case {
    std::string file;
    int mode = 0;
    int64_t first = 0;
    int64_t length = 0;
    int width = 0;
    std::string group;
    std::string shape = "sheet";
    std::string dither = "?";
    int64_t rowBytes = 0;  // bytes of a row of the format's units at the width
};

struct Tally {
    int cases = 0, guessed = 0, found = 0, rowsLinedUp = 0, whole = 0;
    int64_t falseRegions = 0;
    double otherMiB = 0;
    // Identify on the pictures' bytes: the right format (or one that draws the same pixels) first,
    // within the first three, at the right width; how long it took.
    int identified = 0, firstRight = 0, topThree = 0, widthRight = 0;
    double seconds = 0, slowest = 0;
};

constexpr int64_t kPlainStarts = 64;

bool linedUp(const GraphicsRegion& region, const Case& c) {
    return region.width == c.width && region.first >= c.first && region.first < c.first + c.length &&
           (region.first - c.first) % c.rowBytes == 0;
}

// The rows line up with the picture's though the region may begin whole rows before it.
bool rowsLineUp(const GraphicsRegion& region, const Case& c) {
    return region.width == c.width && region.first < c.first + c.length &&
           region.first + region.length > c.first && (region.first - c.first) % c.rowBytes == 0;
}

// The picture's rows from its first row with ink to its last: rows of the margin's one value at
// either end are left out, as a region leaves them out.
struct Inked {
    int64_t first = 0, end = 0;
    uint8_t margin = 0;
};

bool rowOfOneValue(const std::vector<uint8_t>& bytes, int64_t row, int64_t rowBytes, uint8_t value) {
    for (int64_t i = row; i < row + rowBytes; ++i)
        if (bytes[static_cast<size_t>(i)] != value) return false;
    return true;
}

Inked inkedRows(const std::vector<uint8_t>& bytes, const Case& c) {
    Inked inked{c.first, c.first + c.length / c.rowBytes * c.rowBytes, bytes[static_cast<size_t>(c.first)]};
    while (inked.first < inked.end && rowOfOneValue(bytes, inked.first, c.rowBytes, inked.margin))
        inked.first += c.rowBytes;
    const uint8_t lastMargin = bytes[static_cast<size_t>(inked.end - 1)];
    while (inked.end > inked.first && rowOfOneValue(bytes, inked.end - c.rowBytes, c.rowBytes, lastMargin))
        inked.end -= c.rowBytes;
    return inked;
}

// Whether the columns [from, to) of every row of the picture hold one value.
bool blankColumns(const std::vector<uint8_t>& bytes, const Case& c, int64_t from, int64_t to) {
    const uint8_t value = bytes[static_cast<size_t>(c.first + from)];
    for (int64_t row = c.first; row + c.rowBytes <= c.first + c.length; row += c.rowBytes)
        for (int64_t i = row + from; i < row + to; ++i)
            if (bytes[static_cast<size_t>(i)] != value) return false;
    return true;
}

// One region covers 80% of the inked rows at the picture's width, its rows lined up with the
// picture's or shifted by columns of a blank margin (shown at the other side of the view).
bool wholePicture(const GraphicsRegion& region, const Case& c, const std::vector<uint8_t>& bytes,
                  const Inked& inked) {
    if (region.width != c.width || inked.end <= inked.first) return false;
    const int64_t covered =
        std::min(region.first + region.length, inked.end) - std::max(region.first, inked.first);
    if (covered * 5 < (inked.end - inked.first) * 4) return false;
    const int64_t shift = ((region.first - c.first) % c.rowBytes + c.rowBytes) % c.rowBytes;
    return shift == 0 || blankColumns(bytes, c, 0, shift) || blankColumns(bytes, c, shift, c.rowBytes);
}

bool overlaps(const GraphicsRegion& region, const Case& c) {
    return c.length > 0 && region.first < c.first + c.length && region.first + region.length > c.first;
}

void count(Tally& tally, const Case& c, const std::vector<uint8_t>& bytes, bool showMisses) {
    const auto* data = bytes.data();
    const auto size = static_cast<int64_t>(bytes.size());
    const std::vector<GraphicsRegion> regions =
        scanGraphics(data, size, c.mode, 0, size, kFinderLargestWidth);
    bool hit = false, rowsHit = false, wholeHit = false;
    const Inked inked = c.length > 0 ? inkedRows(bytes, c) : Inked{};
    for (const GraphicsRegion& region : regions) {
        hit = hit || linedUp(region, c);
        rowsHit = rowsHit || rowsLineUp(region, c);
        wholeHit = wholeHit || (c.length > 0 && wholePicture(region, c, bytes, inked));
        if (overlaps(region, c)) continue;
        ++tally.falseRegions;
        if (showMisses)
            std::printf("false %s mode %d [%lld +%lld w%d s%d]\n", c.file.c_str(), c.mode,
                        static_cast<long long>(region.first), static_cast<long long>(region.length),
                        region.width, region.score);
    }
    tally.otherMiB += static_cast<double>(size - c.length) / (1 << 20);
    if (c.length == 0) {
        // Without pictures, the guess column counts the starts at which the guess finds one anyway.
        for (int64_t start = 0; start < kPlainStarts; ++start) {
            ++tally.cases;
            tally.guessed +=
                guessWidth(data, size, start * (size / kPlainStarts), c.mode, kFinderLargestWidth).count > 0;
        }
        return;
    }
    const WidthGuess guess = guessWidth(data, size, c.first, c.mode, kFinderLargestWidth);
    const bool guessed = guess.count > 0 && guess.candidates[0].width == c.width;
    ++tally.cases;
    tally.guessed += guessed;
    tally.found += hit;
    tally.rowsLinedUp += rowsHit;
    tally.whole += wholeHit;
    if (showMisses && (!guessed || !wholeHit)) {
        std::printf(
            "miss %s mode %d first %lld length %lld width %d (%s %s %s, inked %lld +%lld): guess %d%s",
            c.file.c_str(), c.mode, static_cast<long long>(c.first), static_cast<long long>(c.length),
            c.width, c.group.c_str(), c.shape.c_str(), c.dither.c_str(), static_cast<long long>(inked.first),
            static_cast<long long>(inked.end - inked.first), guess.count ? guess.candidates[0].width : 0,
            wholeHit ? ", whole found" : "");
        for (const GraphicsRegion& region : regions)
            if (overlaps(region, c))
                std::printf(" [%lld +%lld w%d]", static_cast<long long>(region.first),
                            static_cast<long long>(region.length), region.width);
        std::printf("\n");
    }
}

void printRow(const std::string& label, const Tally& t) {
    const auto percent = [&](int n) { return t.cases ? 100.0 * n / t.cases : 0.0; };
    std::printf("%-30s %5d  %6.1f%%  %6.1f%%  %6.1f%%  %6.1f%%  %5lld  %8.2f  %6.2f\n", label.c_str(),
                t.cases, percent(t.guessed), percent(t.whole), percent(t.found), percent(t.rowsLinedUp),
                static_cast<long long>(t.falseRegions), t.otherMiB,
                t.otherMiB > 0 ? static_cast<double>(t.falseRegions) / t.otherMiB : 0.0);
}

void add(Tally& into, const Tally& more) {
    into.cases += more.cases;
    into.guessed += more.guessed;
    into.found += more.found;
    into.rowsLinedUp += more.rowsLinedUp;
    into.whole += more.whole;
    into.falseRegions += more.falseRegions;
    into.otherMiB += more.otherMiB;
    into.identified += more.identified;
    into.firstRight += more.firstRight;
    into.topThree += more.topThree;
    into.widthRight += more.widthRight;
    into.seconds += more.seconds;
    into.slowest = std::max(into.slowest, more.slowest);
}

void identifyCase(Tally& tally, const Case& c, const std::vector<uint8_t>& bytes, bool showMisses) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<FormatAnswer> answers =
        identifyFormats(bytes.data(), static_cast<int64_t>(bytes.size()), c.first, c.length);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t rank = 0;
    while (rank < answers.size() &&
           !drawSamePixels(*modeRow(answers[rank].mode, nullptr), *modeRow(c.mode, nullptr)))
        ++rank;
    ++tally.identified;
    tally.firstRight += rank == 0 && !answers.empty();
    tally.topThree += rank < 3 && rank < answers.size();
    tally.widthRight += rank < answers.size() && answers[rank].width == c.width;
    tally.seconds += seconds;
    tally.slowest = std::max(tally.slowest, seconds);
    if (showMisses && rank != 0) {
        std::printf("identify %s %s width %d (%s %s):", c.file.c_str(), modeRow(c.mode, nullptr)->cliName,
                    c.width, c.shape.c_str(), c.dither.c_str());
        for (size_t i = 0; i < answers.size() && i < 4; ++i)
            std::printf(" %s %d %d", modeRow(answers[i].mode, nullptr)->cliName, answers[i].width,
                        answers[i].score);
        std::printf("\n");
    }
}

// The built-in tiled formats whose tiles per row the finder judges (the ZX screen has no width).
std::vector<int> tiledModes() {
    std::vector<int> modes;
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        const ModeRow& row = *modeRow(mode, nullptr);
        if (row.layout == ModeLayout::Tiled && finderJudgesMode(mode, nullptr)) modes.push_back(mode);
    }
    return modes;
}

// The classic modes, the linear machine formats and the tiled ones.
const char* familyOf(int mode) {
    const ModeLayout layout = modeRow(mode, nullptr)->layout;
    return layout == ModeLayout::ByteCells ? "classic modes"
           : layout == ModeLayout::Linear  ? "linear formats"
                                           : "tiled formats";
}

struct Tallies {
    std::map<int, Tally> perMode;
    std::map<std::string, Tally> perFamily, perShape, perDither;
    Tally retro, plain[3], plainTiled[3];
    int pictures = 0;
};

const char* const kPlainKinds[3] = {"plain-code", "plain-compressed", "plain-text"};

void countPicture(Tallies& tallies, const Case& c, const std::vector<uint8_t>& bytes, bool showMisses) {
    Tally one;
    count(one, c, bytes, showMisses);
    identifyCase(one, c, bytes, showMisses);
    add(tallies.perMode[c.mode], one);
    add(tallies.perFamily[familyOf(c.mode)], one);
    add(tallies.perShape[c.shape], one);
    add(tallies.perDither[c.dither], one);
    const bool ordered = c.dither.rfind("bayer", 0) == 0 || c.dither == "checker";
    if (ordered) add(tallies.perDither["ordered"], one);
    // The dithered pictures apart, per family: the guess is to be as right on them as on the others.
    if (ordered || c.dither == "fs")
        add(tallies.perDither[std::string(ordered ? "ordered, " : "fs, ") + familyOf(c.mode)], one);
}

// The machine formats the pictures are packed in, in turn: every encoder's but the classic modes'.
std::vector<const FormatEncoder*> machineEncoders() {
    std::vector<const FormatEncoder*> encoders;
    for (const FormatEncoder& encoder : kFormatEncoders)
        if (!isByteCellMode(modeByCliName(encoder.mode, nullptr), nullptr)) encoders.push_back(&encoder);
    return encoders;
}

// A level of `from` bits as a level of `to` bits: stretched over the wider range, or its top bits.
int rescaledLevel(int level, int from, int to) {
    return to >= from ? level * ((1 << to) - 1) / ((1 << from) - 1) : level >> (from - to);
}

// The picture of a classic-mode case, read back from its bytes by that mode's encoder, packed by
// `target`'s encoder when it has at least as many bits a pixel (or 4 of 5 or 8), between the same bytes as
// before and after it: cut to whole units (whole tiles), at most kFinderLargestWidth bytes (64 tiles: sheets
// of tiles are seldom wider) a row; tiles on whole tiles from the file's start.
bool packedInFormat(const Case& c, const std::vector<uint8_t>& bytes, const FormatEncoder& target,
                    Case& packed, std::vector<uint8_t>& out) {
    const FormatEncoder& source = *formatEncoder(modeRow(c.mode, nullptr)->cliName);
    // A picture of fewer levels would fill the format's planes with copies of each other.
    if (source.bits < std::min(target.bits, 4)) return false;
    const int mode = modeByCliName(target.mode, nullptr);
    const ModeRow& row = *modeRow(mode, nullptr);
    const int tiled = row.layout == ModeLayout::Tiled;
    const int w = c.width * source.across, h = static_cast<int>(c.length / c.width);
    const int units =
        std::min(w / target.across, tiled ? 64 : kFinderLargestWidth / std::max(1, row.unitBytes));
    const int rows = h / row.unitHeight * row.unitHeight;
    if (units == 0 || rows < 8) return false;
    const uint8_t* picture = bytes.data() + c.first;
    std::vector<uint8_t> packedBytes = packPicture(target, units * target.across, rows, [&](int x, int y) {
        const int level = packedValue(source, picture, x, y, w);
        // Eight bits: each of the 16 levels in the middle of its range, so that the low nibble is no
        // copy of the high one.
        return target.bits == 8 ? rescaledLevel(level, source.bits, 4) << 4 | 8
                                : rescaledLevel(level, source.bits, target.bits);
    });
    packed = c;
    packed.file = c.file + ":" + target.mode;
    packed.mode = mode;
    packed.width = units;
    packed.rowBytes = int64_t{units} * row.unitBytes;
    packed.length = rows / row.unitHeight * packed.rowBytes;
    packedBytes.resize(static_cast<size_t>(packed.length));
    // Tiles lie on whole tiles from the file's start, as in a cartridge's image.
    const int64_t cut = tiled ? c.first % row.unitBytes : 0;
    packed.first = c.first - cut;
    out.assign(bytes.begin() + cut, bytes.begin() + c.first);
    out.insert(out.end(), packedBytes.begin(), packedBytes.end());
    out.insert(out.end(), bytes.begin() + c.first + c.length, bytes.end());
    return true;
}

// The cases of one corpus; `named` prefixes each file with the corpus's folder in the misses. Each
// picture is packed in `formats` machine formats as well.
void countCorpus(Tallies& tallies, const std::string& manifest, bool named, int formats, bool showMisses) {
    static const std::vector<const FormatEncoder*> machine = machineEncoders();
    static const std::vector<int> tiled = tiledModes();
    const std::string folder = manifest.substr(0, manifest.find_last_of('/') + 1);
    std::ifstream lines(manifest);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Case c;
        fields >> c.file >> c.mode >> c.first >> c.length >> c.width >> c.group >> c.shape >> c.dither;
        c.rowBytes = c.width;
        std::ifstream file(folder + c.file, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
        if (bytes.empty()) continue;
        if (named) c.file = folder + c.file;
        if (c.group.rfind("plain-", 0) == 0) {
            int kind = 0;
            while (kind < 2 && c.group != kPlainKinds[kind]) ++kind;
            for (c.mode = 0; c.mode < 4; ++c.mode) count(tallies.plain[kind], c, bytes, showMisses);
            for (const int mode : tiled) {
                c.mode = mode;
                count(tallies.plainTiled[kind], c, bytes, showMisses);
            }
        } else if (c.group == "font" || c.group == "zx-rom") {
            count(tallies.retro, c, bytes, showMisses);
        } else {
            countPicture(tallies, c, bytes, showMisses);
            for (int k = 0; k < formats; ++k) {
                const FormatEncoder& target =
                    *machine[static_cast<size_t>(tallies.pictures * formats + k) % machine.size()];
                Case packed;
                std::vector<uint8_t> packedBytes;
                if (packedInFormat(c, bytes, target, packed, packedBytes))
                    countPicture(tallies, packed, packedBytes, showMisses);
            }
            ++tallies.pictures;
        }
    }
}

// The bytes of an ELF file's header and its table of program headers, as [first, end) ranges.
struct ElfHeaders {
    int64_t tableFirst = 0, tableEnd = 0;
};

constexpr int64_t kElfHeaderBytes = 64;

uint64_t littleEndian(const std::vector<uint8_t>& bytes, size_t at, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
    return value;
}

// Whether the bytes are an x86-64 ELF file, and where its program headers lie.
bool isX86ElfFile(const std::vector<uint8_t>& bytes, ElfHeaders& headers) {
    if (bytes.size() < kElfHeaderBytes ||
        std::memcmp(bytes.data(),
                    "\x7F"
                    "ELF\x02\x01",
                    6) != 0 ||
        littleEndian(bytes, 18, 2) != 62)
        return false;
    const uint64_t table = littleEndian(bytes, 32, 8), entries = littleEndian(bytes, 56, 2),
                   entryBytes = littleEndian(bytes, 54, 2);
    headers.tableFirst = static_cast<int64_t>(std::min<uint64_t>(table, bytes.size()));
    headers.tableEnd = std::min<int64_t>(headers.tableFirst + static_cast<int64_t>(entries * entryBytes),
                                         static_cast<int64_t>(bytes.size()));
    return true;
}

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Every `count`-th of the x86-64 ELF files under /usr/bin and /usr/lib (no links, none over 64 MiB),
// in name order, so that `count` of them are taken evenly over all.
std::vector<std::filesystem::path> elfSample(int count) {
    namespace fs = std::filesystem;
    std::vector<fs::path> all;
    for (const char* folder : {"/usr/bin", "/usr/lib"}) {
        std::error_code error;
        for (fs::recursive_directory_iterator
                 it(folder, fs::directory_options::skip_permission_denied, error),
             end;
             it != end; it.increment(error)) {
            if (error || it->is_symlink() || !it->is_regular_file() || it->file_size() > (64u << 20))
                continue;
            std::ifstream file(it->path(), std::ios::binary);
            char head[20] = {};
            file.read(head, sizeof head);
            if (std::memcmp(head,
                            "\x7F"
                            "ELF\x02\x01",
                            6) == 0 &&
                head[18] == 62 && head[19] == 0)
                all.push_back(it->path());
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<fs::path> sample;
    for (int i = 0; i < count && !all.empty(); ++i)
        sample.push_back(all[static_cast<size_t>(int64_t{i} * static_cast<int64_t>(all.size()) / count)]);
    sample.erase(std::unique(sample.begin(), sample.end()), sample.end());
    return sample;
}

// The scan over real programs in the classic modes and the tiled formats: regions per MiB, and those in an
// ELF header.
void countElfFiles(int count, bool showMisses) {
    const std::vector<std::filesystem::path> sample = elfSample(count);
    std::vector<int> modes = {0, 1, 2, 3};
    for (const int mode : tiledModes()) modes.push_back(mode);
    std::map<int, int64_t> regions, inHeaders;
    double mib = 0, seconds = 0;
    for (const std::filesystem::path& path : sample) {
        const std::vector<uint8_t> bytes = fileBytes(path);
        ElfHeaders headers;
        if (!isX86ElfFile(bytes, headers)) continue;
        const auto size = static_cast<int64_t>(bytes.size());
        mib += static_cast<double>(size) / (1 << 20);
        for (const int mode : modes) {
            const auto start = std::chrono::steady_clock::now();
            const std::vector<GraphicsRegion> found =
                scanGraphics(bytes.data(), size, mode, 0, size, kFinderLargestWidth);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            for (const GraphicsRegion& r : found) {
                const int64_t end = r.first + r.length;
                const bool inHeader =
                    r.first < kElfHeaderBytes || (r.first < headers.tableEnd && end > headers.tableFirst);
                ++regions[mode];
                inHeaders[mode] += inHeader;
                if (showMisses)
                    std::printf("elf %s mode %d [%lld +%lld w%d s%d]%s\n", path.c_str(), mode,
                                static_cast<long long>(r.first), static_cast<long long>(r.length), r.width,
                                r.score, inHeader ? " in a header" : "");
            }
        }
    }
    std::printf("\n%-22s %5s  %8s  %7s  %6s  %9s\n", "x86-64 programs", "files", "MiB", "regions", "perMiB",
                "inHeader");
    for (const int mode : modes)
        std::printf("%-22s %5zu  %8.2f  %7lld  %6.2f  %9lld\n", modeRow(mode, nullptr)->menuText,
                    sample.size(), mib, static_cast<long long>(regions[mode]),
                    mib > 0 ? regions[mode] / mib : 0.0, static_cast<long long>(inHeaders[mode]));
    std::printf("scan speed over them: %.0f MiB/s\n",
                seconds > 0 ? static_cast<double>(modes.size()) * mib / seconds : 0.0);
}

void printIdentify(const Tallies& tallies) {
    std::printf("\n%-22s %5s  %7s  %7s  %7s  %7s  %7s\n", "identify", "cases", "first", "top3", "width",
                "meanMs", "maxMs");
    const auto row = [](const std::string& label, const Tally& t) {
        const auto percent = [&](int n) { return t.identified ? 100.0 * n / t.identified : 0.0; };
        std::printf("%-22s %5d  %6.1f%%  %6.1f%%  %6.1f%%  %7.1f  %7.1f\n", label.c_str(), t.identified,
                    percent(t.firstRight), percent(t.topThree), percent(t.widthRight),
                    t.identified ? 1000 * t.seconds / t.identified : 0.0, 1000 * t.slowest);
    };
    Tally all;
    for (const auto& [mode, tally] : tallies.perMode) {
        row(modeRow(mode, nullptr)->menuText, tally);
        add(all, tally);
    }
    for (const auto& [family, tally] : tallies.perFamily) row(family, tally);
    row("all formats", all);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> manifests;
    bool showMisses = false;
    int formats = 1, elfFiles = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::printf(
                "usage: pl_find_eval MANIFEST... [--formats K] [--elf N] [--misses]\n"
                "  MANIFEST    a corpus of scripts/make-find-corpus.py; several are counted together\n"
                "  --formats K each picture packed in K machine formats too (1 by default)\n"
                "  --elf N     the scan over N x86-64 programs and libraries of /usr\n"
                "  --misses    each miss and false region on a line of its own\n");
            return 0;
        } else if (argument == "--misses") {
            showMisses = true;
        } else if (argument == "--formats" && i + 1 < argc) {
            formats = std::clamp(std::atoi(argv[++i]), 0, 64);
        } else if (argument == "--elf" && i + 1 < argc) {
            elfFiles = std::clamp(std::atoi(argv[++i]), 0, 100000);
        } else {
            manifests.push_back(argument);
        }
    }
    if (manifests.empty() && elfFiles == 0) {
        std::fprintf(stderr, "usage: pl_find_eval MANIFEST... [--formats K] [--elf N] [--misses]\n");
        return 2;
    }
    Tallies tallies;
    for (const std::string& manifest : manifests)
        countCorpus(tallies, manifest, manifests.size() > 1, formats, showMisses);
    if (!manifests.empty()) {
        std::printf("%-30s %5s  %7s  %7s  %7s  %7s  %5s  %8s  %6s\n", "pictures", "cases", "guess", "whole",
                    "scan", "rows", "false", "otherMiB", "perMiB");
        for (const auto& [mode, tally] : tallies.perMode) printRow(modeRow(mode, nullptr)->menuText, tally);
        for (const auto& [family, tally] : tallies.perFamily) printRow(family, tally);
        for (const auto& [shape, tally] : tallies.perShape) printRow("shape " + shape, tally);
        for (const auto& [dither, tally] : tallies.perDither) printRow("dither " + dither, tally);
        printRow("fonts and ZX ROM", tallies.retro);
        for (int kind = 0; kind < 3; ++kind) printRow(kPlainKinds[kind], tallies.plain[kind]);
        for (int kind = 0; kind < 3; ++kind)
            printRow(std::string(kPlainKinds[kind]) + ", tiled", tallies.plainTiled[kind]);
        printIdentify(tallies);
    }
    if (elfFiles > 0) countElfFiles(elfFiles, showMisses);
    return 0;
}
