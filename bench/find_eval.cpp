// Hit rates of the width guess and the graphics scan on corpora made by
// scripts/make-find-corpus.py:  pl_find_eval MANIFEST... [--misses]. Several corpora are counted
// together. The whole column asks one region to cover at least 80% of the picture's inked rows at its
// width, its rows lined up with the picture's (or shifted only within a blank margin); the older scan
// column asks a region to begin inside the picture, the rows column only that its rows line up.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "viewer/engine/graphics_finder.h"

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
};

struct Tally {
    int cases = 0, guessed = 0, found = 0, rowsLinedUp = 0, whole = 0;
    int64_t falseRegions = 0;
    double otherMiB = 0;
};

constexpr int64_t kPlainStarts = 64;

const char* const kModeNames[] = {"Binary", "Atari GR.15", "BK-0010", "Sam Coupe mode 4"};

bool linedUp(const GraphicsRegion& region, const Case& c) {
    return region.width == c.width && region.first >= c.first && region.first < c.first + c.length &&
           (region.first - c.first) % c.width == 0;
}

// The rows line up with the picture's though the region may begin whole rows before it.
bool rowsLineUp(const GraphicsRegion& region, const Case& c) {
    return region.width == c.width && region.first < c.first + c.length &&
           region.first + region.length > c.first && (region.first - c.first) % c.width == 0;
}

// The picture's rows from its first row with ink to its last: rows of the margin's one value at
// either end are left out, as a region leaves them out.
struct Inked {
    int64_t first = 0, end = 0;
    uint8_t margin = 0;
};

bool rowOfOneValue(const std::vector<uint8_t>& bytes, int64_t row, int width, uint8_t value) {
    for (int64_t i = row; i < row + width; ++i)
        if (bytes[static_cast<size_t>(i)] != value) return false;
    return true;
}

Inked inkedRows(const std::vector<uint8_t>& bytes, const Case& c) {
    Inked inked{c.first, c.first + c.length / c.width * c.width, bytes[static_cast<size_t>(c.first)]};
    while (inked.first < inked.end && rowOfOneValue(bytes, inked.first, c.width, inked.margin))
        inked.first += c.width;
    const uint8_t lastMargin = bytes[static_cast<size_t>(inked.end - 1)];
    while (inked.end > inked.first && rowOfOneValue(bytes, inked.end - c.width, c.width, lastMargin))
        inked.end -= c.width;
    return inked;
}

// Whether the columns [from, to) of every row of the picture hold one value.
bool blankColumns(const std::vector<uint8_t>& bytes, const Case& c, int from, int to) {
    const uint8_t value = bytes[static_cast<size_t>(c.first + from)];
    for (int64_t row = c.first; row + c.width <= c.first + c.length; row += c.width)
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
    const int shift = static_cast<int>(((region.first - c.first) % c.width + c.width) % c.width);
    return shift == 0 || blankColumns(bytes, c, 0, shift) || blankColumns(bytes, c, shift, c.width);
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
        std::printf("miss %s mode %d first %lld length %lld width %d (%s %s %s, inked %lld +%lld): guess %d",
                    c.file.c_str(), c.mode, static_cast<long long>(c.first), static_cast<long long>(c.length),
                    c.width, c.group.c_str(), c.shape.c_str(), c.dither.c_str(),
                    static_cast<long long>(inked.first), static_cast<long long>(inked.end - inked.first),
                    guess.count ? guess.candidates[0].width : 0);
        for (const GraphicsRegion& region : regions)
            if (overlaps(region, c))
                std::printf(" [%lld +%lld w%d]", static_cast<long long>(region.first),
                            static_cast<long long>(region.length), region.width);
        std::printf("\n");
    }
}

void printRow(const char* label, const Tally& t) {
    const auto percent = [&](int n) { return t.cases ? 100.0 * n / t.cases : 0.0; };
    std::printf("%-22s %5d  %6.1f%%  %6.1f%%  %6.1f%%  %6.1f%%  %5lld  %8.2f  %6.2f\n", label, t.cases,
                percent(t.guessed), percent(t.whole), percent(t.found), percent(t.rowsLinedUp),
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
}

struct Tallies {
    Tally perMode[4], retro, plain[3];
    std::map<std::string, Tally> perShape, perDither;
};

const char* const kPlainKinds[3] = {"plain-code", "plain-compressed", "plain-text"};

// The cases of one corpus; `named` prefixes each file with the corpus's folder in the misses.
void countCorpus(Tallies& tallies, const std::string& manifest, bool named, bool showMisses) {
    const std::string folder = manifest.substr(0, manifest.find_last_of('/') + 1);
    std::ifstream lines(manifest);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Case c;
        fields >> c.file >> c.mode >> c.first >> c.length >> c.width >> c.group >> c.shape >> c.dither;
        std::ifstream file(folder + c.file, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
        if (bytes.empty()) continue;
        if (named) c.file = folder + c.file;
        if (c.group.rfind("plain-", 0) == 0) {
            int kind = 0;
            while (kind < 2 && c.group != kPlainKinds[kind]) ++kind;
            for (c.mode = 0; c.mode < 4; ++c.mode) count(tallies.plain[kind], c, bytes, showMisses);
        } else if (c.group == "font" || c.group == "zx-rom") {
            count(tallies.retro, c, bytes, showMisses);
        } else {
            Tally one;
            count(one, c, bytes, showMisses);
            add(tallies.perMode[c.mode], one);
            add(tallies.perShape[c.shape], one);
            add(tallies.perDither[c.dither], one);
            if (c.dither.rfind("bayer", 0) == 0 || c.dither == "checker")
                add(tallies.perDither["ordered"], one);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> manifests;
    bool showMisses = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--misses") {
            showMisses = true;
        } else {
            manifests.push_back(argument);
        }
    }
    if (manifests.empty()) {
        std::fprintf(stderr, "usage: pl_find_eval MANIFEST... [--misses]\n");
        return 2;
    }
    Tallies tallies;
    for (const std::string& manifest : manifests)
        countCorpus(tallies, manifest, manifests.size() > 1, showMisses);
    std::printf("%-22s %5s  %7s  %7s  %7s  %7s  %5s  %8s  %6s\n", "pictures", "cases", "guess", "whole",
                "scan", "rows", "false", "otherMiB", "perMiB");
    Tally all;
    for (int mode = 0; mode < 4; ++mode) {
        printRow(kModeNames[mode], tallies.perMode[mode]);
        add(all, tallies.perMode[mode]);
    }
    printRow("all modes", all);
    for (const auto& [shape, tally] : tallies.perShape) printRow(("shape " + shape).c_str(), tally);
    for (const auto& [dither, tally] : tallies.perDither) printRow(("dither " + dither).c_str(), tally);
    printRow("fonts and ZX ROM", tallies.retro);
    for (int kind = 0; kind < 3; ++kind) printRow(kPlainKinds[kind], tallies.plain[kind]);
    return 0;
}
