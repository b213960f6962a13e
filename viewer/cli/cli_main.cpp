// pixloupe2d-cli: the viewer's picture of a data file, or a byte range of it, written
// from the command line without a window, through the viewer's own loading, drawing,
// size parsing and writers.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "graphics/image_save.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "program_version.h"
#include "shipped_formats.h"
#include "support/file_services.h"
#include "support/safe_file.h"
#include "support/text_ops.h"
#include "support/user_settings.h"
#include "viewer/engine/bookmarks.h"
#include "viewer/engine/colour_mode.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/format_identify.h"
#include "viewer/engine/format_text.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/palettes.h"
#include "viewer/engine/pixel_kernel_tables.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNothingFound = 1;
constexpr int kExitBadInput = 2;
// The most leading zeros the viewer's offset box can put before the data.
constexpr int64_t kLowestExtractFirst = -kMaxBytesPerRow;
// The number of the picture image, and the smallest side of the view render writes.
constexpr int kPictureImage = 0;
constexpr int kSmallestViewSide = 64;

// The usage text; @MODES@ stands for the list of modes from the table.
constexpr const char* kUsageTemplate =
    "Usage:\n"
    "  pixloupe2d-cli render FILE OUTPUT [--first N] [--width N] [--zoom N]\n"
    "                 [--mode NAME] [--inverse] [--reverse] [--nibble] [--multi]\n"
    "                 [--format png|bmp] [--size WxH]\n"
    "  pixloupe2d-cli extract FILE OUTPUT --size N [--first N] [--inverse] [--reverse]\n"
    "  pixloupe2d-cli sprite FILE OUTPUT --first N --width W --rows H [--mode NAME] [--zoom Z]\n"
    "                 [--inverse] [--reverse] [--nibble] [--count K]\n"
    "  pixloupe2d-cli guess FILE [--first N] [--mode NAME]\n"
    "  pixloupe2d-cli scan FILE [--mode NAME] [--from N] [--to N]\n"
    "  pixloupe2d-cli identify FILE [--first N] [--length L]\n"
    "  pixloupe2d-cli bookmarks FILE\n"
    "  pixloupe2d-cli formats [--show ID]\n"
    "  pixloupe2d-cli --help | --version\n"
    "\n"
    "render   writes the 600 x 512 view of FILE as the viewer's \"Save image...\" does (a\n"
    "         view of another size with --size, as a window that large shows it);\n"
    "         OUTPUT ends in .png or .bmp (any letter case), or --format names the type.\n"
    "extract  writes the bytes \"Save binary...\" writes: N bytes from the first byte; the\n"
    "         first byte lies from -256 to the end of the data, the range within it.\n"
    "sprite   writes H view rows of width W from the first byte (H rows of W bytes in the\n"
    "         four classic modes, of W tiles in a tiled mode) as a picture of exactly those\n"
    "         pixels, each view unit Z x Z; with --count, K such sprites one after the\n"
    "         other, to OUTPUT with -000, -001, ... before the extension.\n"
    "guess    prints the width (bytes per row; in a tiled mode tiles per row) of the picture\n"
    "         starting at the first byte alone on its first line, then up to four runners-up\n"
    "         as \"width score\" (score in thousandths); exit code 1 and one line on stderr\n"
    "         when nothing is found.\n"
    "scan     prints each region of FILE that looks like a picture, one a line, as\n"
    "         \"first length width score\": rows of that width from byte first line up.\n"
    "         Only regions that start in [--from, --to) are listed (default: the whole file).\n"
    "         Each line comes as soon as its region is found; on a terminal, stderr shows a\n"
    "         progress bar meanwhile.\n"
    "identify prints the formats in which the L bytes from the first byte (default: 65536 from\n"
    "         the earliest region a scan in any format finds) look likeliest a picture, best\n"
    "         first, as \"id width score\"; exit code 1 and one line on stderr when none does.\n"
    "bookmarks prints the bookmarks kept for FILE in the viewer's own settings, one a line, as\n"
    "         \"first width mode zoom name\"; nothing when it has none.\n"
    "formats  lists every format as \"id name layout bits source\" (source: built in, or the\n"
    "         format file's path); with --show, prints the format's description.\n"
    "\n"
    "Every number is decimal, or hexadecimal after \"$\" or \"0x\" (quote \"$\" from the shell).\n"
    "  --first N    first byte, may be negative or past the end (default 0)\n"
    "  --width N    bytes per row (tiles in a tiled mode), 1 to 256 (default 1), or auto: the\n"
    "               width guess gives it (render)\n"
    "  --rows H     sprite: rows of the sprite, 1 to 32767 / Z\n"
    "  --count K    sprite: K sprites one after the other, numbered in the names\n"
    "  --from N, --to N  scan: the range of first bytes listed\n"
    "  --zoom N     1, 2, 4 or 8 (default 1)\n"
    "@MODES@"
    "  --inverse    every byte XOR 0xFF        --reverse  bits of every byte reversed\n"
    "  --nibble     the two halves of every byte swapped (render and sprite)\n"
    "  --multi      the view continues in further columns to the right (render only)\n"
    "  --format T   png or bmp: the picture type whatever OUTPUT is called (render only)\n"
    "  --palette P  render, sprite: the colours of the formats beyond the classic modes: grey (their\n"
    "               own), nes, gameboy, c64, zx, cpc, ega, vga, or a palette file (JASC-PAL, GIMP,\n"
    "               RIFF, ACT, PNG, indexed BMP, raw RGB); --palette-type vga6 reads 0-63 values\n"
    "  --palette-at N --palette-encoding E [--palette-count K]  the palette from the data: K\n"
    "               (default 16) colours at byte N as rgb24, bgr24, vga6, bgr555, genesis,\n"
    "               amiga12, st9 or nes\n"
    "  --palette-base K  value v shows palette colour K + v (black past its end)\n"
    "  --format-file F  adds the format that the format file F describes (any command, more\n"
    "               than once); --mode then takes its id. The files of share/pixloupe2d/formats\n"
    "               and $XDG_DATA_HOME/pixloupe2d/formats are added at start.\n"
    "  --size WxH   render: the view's width and height in pixels, 64 to 8192 each\n"
    "               (default 600x512)\n"
    "  --           ends the options: later arguments are names even when they start with -\n"
    "\n"
    "OUTPUT - is standard output. An OUTPUT that is no regular file (a pipe, a device,\n"
    "/dev/stdout) is written straight to it, in order, keeping what was written there\n"
    "before; a regular file is written whole or not at all. An OUTPUT that leads to FILE\n"
    "itself, by any name or link, is refused.\n"
    "  pixloupe2d-cli render data.bin - --width 2 --format png | display -\n"
    "\n"
    "Exit codes: 0 done; 2 bad input or a failed write (one line on stderr, no output file).\n";

// The --mode option's lines: the classic modes with their menu texts, then each group's names
// on lines of their own, wrapped.
std::string modeOptionLines() {
    constexpr size_t kIndent = 15, kWidth = 92;
    std::string text = "  --mode NAME  ";
    size_t lineStart = 0;
    // Only the built-ins: the formats from files are listed by `formats`.
    std::vector<int> order = modesInMenuOrder(nullptr);
    order.erase(
        std::remove_if(order.begin(), order.end(),
                       [](int mode) { return modeRow(mode, nullptr)->record->group == ModeGroup::Files; }),
        order.end());
    for (size_t i = 0; i < order.size(); ++i) {
        const int mode = order[i];
        const ModeRow& row = *modeRow(mode, nullptr);
        const ModeGroup group = row.record->group;
        const bool groupStarts = i > 0 && modeRow(order[i - 1], nullptr)->record->group != group;
        const bool last = i + 1 == order.size();
        const bool groupEnds = last || modeRow(order[i + 1], nullptr)->record->group != group;
        std::string word = groupStarts ? lowerCase(modeGroupTitle(group)) + ": " : "";
        word += row.cliName;
        if (group == ModeGroup::Classic)
            word += mode == 0 ? " (default)" : std::string(" (") + row.menuText + ")";
        word += !groupEnds ? "," : last ? " (layouts: formats.md)" : ";";
        if (groupStarts || text.size() - lineStart + 1 + word.size() > kWidth) {
            text += "\n";
            lineStart = text.size();
            text += std::string(kIndent, ' ');
        } else if (i > 0) {
            text += " ";
        }
        text += word;
    }
    return text + "\n";
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string usageText() {
    return replaceAll(kUsageTemplate, "@MODES@", modeOptionLines());
}

struct Request {
    std::string command;
    std::string dataFile;
    std::string output;
    int64_t first = 0;
    int64_t from = 0;
    int64_t to = kLargestDataSize;
    int32_t width = 1;  // 0: the width guess decides
    int32_t zoom = 1;
    int32_t mode = kModeBinary;
    int32_t viewWidth = kViewWidth, viewHeight = kStartViewHeight;  // render
    bool inverse = false;
    bool reverseByte = false;
    bool nibbleSwap = false;
    bool multiColumn = false;
    std::string format;  // "png", "bmp", or empty: by OUTPUT's extension
    bool sizeGiven = false;
    int64_t size = 0;
    int64_t rows = 0;    // sprite: 0 until given
    int64_t count = 0;   // sprite: 0 when not given
    int64_t length = 0;  // identify: 0 when not given
    bool firstGiven = false, widthGiven = false;
    const PixelKernels* kernels = nullptr;  // the drawing's kernels, chosen at start
    // The palette: a built-in's name or a file, or colours from the data at paletteAt.
    std::string paletteName, paletteType;
    bool paletteAtGiven = false;
    int64_t paletteAt = 0, paletteCount = 16, paletteBase = 0;
    PaletteEncoding paletteEncoding = PaletteEncoding::Rgb24;
    bool paletteEncodingGiven = false;
    const Palette* palette = nullptr;        // made once the data is loaded
    const AddedModes* addedModes = nullptr;  // the formats read from files
};

struct NumberOption {
    const char* name;
    int64_t lowest, highest;
};

constexpr NumberOption kNumberOptions[] = {
    {"--first", -kLargestDataSize, kLargestDataSize},
    {"--width", 1, kMaxBytesPerRow},
    {"--zoom", 1, 8},
    {"--size", 0, kLargestDataSize},
    {"--rows", 1, kLargestImageSide},
    {"--count", 1, INT32_MAX},
    {"--from", 0, kLargestDataSize},
    {"--to", 0, kLargestDataSize},
    {"--palette-at", 0, kLargestDataSize},
    {"--palette-count", 1, kMostPaletteColours},
    {"--palette-base", 0, kMostPaletteColours - 1},
    {"--length", 1, kLargestDataSize},
};

bool isFindCommand(const std::string& command) {
    return command == "guess" || command == "scan" || command == "identify";
}

bool isPngName(const std::string& name) {
    return lowerCase(midText(name, textLength(name) - 3)) == ".png";
}
bool isBmpName(const std::string& name) {
    return lowerCase(midText(name, textLength(name) - 3)) == ".bmp";
}

bool modeByName(const std::string& name, const AddedModes* added, int32_t& mode) {
    const int found = modeByCliName(name.c_str(), added);
    if (found < 0) return false;
    mode = found;
    return true;
}

void setNumber(Request& request, const std::string& option, int64_t number) {
    if (option == "--first") request.first = number, request.firstGiven = true;
    if (option == "--width") request.width = static_cast<int32_t>(number), request.widthGiven = true;
    if (option == "--zoom") request.zoom = static_cast<int32_t>(number);
    if (option == "--size") request.size = number, request.sizeGiven = true;
    if (option == "--rows") request.rows = number;
    if (option == "--count") request.count = number;
    if (option == "--from") request.from = number;
    if (option == "--to") request.to = number;
    if (option == "--palette-at") request.paletteAt = number, request.paletteAtGiven = true;
    if (option == "--palette-count") request.paletteCount = number;
    if (option == "--palette-base") request.paletteBase = number;
    if (option == "--length") request.length = number;
}

// render's --size WxH; an empty text when it is fine, else what is wrong.
std::string takeViewSize(Request& request, const std::string& value) {
    // The "x" between the two numbers, which may themselves be written 0x...
    for (size_t by = value.find_first_of("xX"); by != std::string::npos;
         by = value.find_first_of("xX", by + 1)) {
        int64_t width = 0, height = 0;
        if (parseNumberText(value.substr(0, by), kSmallestViewSide, kLargestViewSide, width) &&
            parseNumberText(value.substr(by + 1), kSmallestViewSide, kLargestViewSide, height)) {
            request.viewWidth = static_cast<int32_t>(width);
            request.viewHeight = static_cast<int32_t>(height);
            return "";
        }
    }
    return "--size needs WxH, each from " + decimalText(kSmallestViewSide) + " to " +
           decimalText(kLargestViewSide) + " (as 1280x1000), not \"" + value + "\"";
}

// The value of one option; an empty text when it is fine, else what is wrong.
std::string takeOptionValue(Request& request, const std::string& option, const std::string& value) {
    if (option == "--width" && value == "auto") {
        request.width = 0;  // the width guess decides
        request.widthGiven = true;
        return "";
    }
    if (option == "--format") {
        request.format = lowerCase(value);
        if (request.format != "png" && request.format != "bmp")
            return "--format needs png or bmp, not \"" + value + "\"";
        return "";
    }
    if (option == "--format-file") return "";  // added before the arguments are read
    if (option == "--size" && request.command == "render") return takeViewSize(request, value);
    if (option == "--palette") {
        request.paletteName = value;
        return value.empty() ? "--palette needs a name or a file" : "";
    }
    if (option == "--palette-type") {
        request.paletteType = value;
        return value == "vga6" ? "" : "--palette-type needs vga6, not \"" + value + "\"";
    }
    if (option == "--palette-encoding") {
        request.paletteEncodingGiven = true;
        if (!paletteEncodingNamed(value, request.paletteEncoding))
            return "--palette-encoding needs rgb24, bgr24, vga6, bgr555, genesis, amiga12, st9 or nes, not "
                   "\"" +
                   value + "\"";
        return "";
    }
    if (option == "--mode") {
        if (!modeByName(value, request.addedModes, request.mode))
            return "unknown mode \"" + value + "\" (pixloupe2d-cli --help lists the modes)";
        return "";
    }
    for (const NumberOption& number : kNumberOptions) {
        int64_t parsed = 0;
        if (option != number.name) continue;
        if (!parseNumberText(value, number.lowest, number.highest, parsed) ||
            (option == "--zoom" && !isZoomStep(static_cast<int>(parsed)))) {
            const std::string range = option == "--zoom"
                                          ? "1, 2, 4 or 8"
                                          : "a number from " + decimalText(number.lowest) + " to " +
                                                decimalText(number.highest) + " (decimal, $hex or 0xhex)";
            return option + " needs " + range + ", not \"" + value + "\"";
        }
        setNumber(request, option, parsed);
    }
    return "";
}

struct CommandOptions {
    const char* command;
    std::vector<std::string> values, flags;
};

const CommandOptions kCommandOptions[] = {
    {"render",
     {"--first", "--width", "--zoom", "--mode", "--format", "--format-file", "--size", "--palette",
      "--palette-type", "--palette-at", "--palette-encoding", "--palette-count", "--palette-base"},
     {"--inverse", "--reverse", "--nibble", "--multi"}},
    {"extract", {"--first", "--size", "--format-file"}, {"--inverse", "--reverse"}},
    {"sprite",
     {"--first", "--width", "--rows", "--zoom", "--mode", "--count", "--format-file", "--palette",
      "--palette-type", "--palette-at", "--palette-encoding", "--palette-count", "--palette-base"},
     {"--inverse", "--reverse", "--nibble"}},
    {"guess", {"--first", "--mode", "--format-file"}, {}},
    {"scan", {"--mode", "--from", "--to", "--format-file"}, {}},
    {"identify", {"--first", "--length", "--format-file"}, {}},
};

bool optionAllowed(const std::string& command, const std::string& option, bool& takesValue) {
    for (const CommandOptions& options : kCommandOptions) {
        if (command != options.command) continue;
        takesValue = std::find(options.values.begin(), options.values.end(), option) != options.values.end();
        return takesValue ||
               std::find(options.flags.begin(), options.flags.end(), option) != options.flags.end();
    }
    return false;
}

void setFlag(Request& request, const std::string& option) {
    if (option == "--inverse") request.inverse = true;
    if (option == "--reverse") request.reverseByte = true;
    if (option == "--nibble") request.nibbleSwap = true;
    if (option == "--multi") request.multiColumn = true;
}

// Reads the arguments after the command; an empty text when they are fine, else what is wrong.
std::string parseArguments(const std::vector<std::string>& arguments, Request& request) {
    std::vector<std::string> names;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            names.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string option = argument.substr(0, equals);
        bool takesValue = false;
        if (!optionAllowed(request.command, option, takesValue))
            return "unknown option for " + request.command + ": " + option;
        if (!takesValue) {
            if (equals != std::string::npos) return option + " takes no value";
            setFlag(request, option);
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return option + " needs a value";
        }
        const std::string problem = takeOptionValue(request, option, value);
        if (!problem.empty()) return problem;
    }
    if (isFindCommand(request.command)) {
        if (names.size() != 1 || names[0].empty())
            return request.command + " needs one FILE, got " + decimalText(names.size()) + " names";
        request.dataFile = names[0];
        return "";
    }
    if (names.size() != 2)
        return request.command + " needs FILE and OUTPUT, got " + decimalText(names.size()) + " names";
    request.dataFile = names[0];
    request.output = names[1];
    if (request.dataFile.empty() || request.output.empty()) return "FILE and OUTPUT must not be empty";
    if (request.command == "render" && request.format.empty() && !isPngName(request.output) &&
        !isBmpName(request.output))
        return "OUTPUT must end in .png or .bmp, or give --format png|bmp: " + request.output;
    if (request.command == "sprite" && !isPngName(request.output) && !isBmpName(request.output))
        return "OUTPUT must end in .png or .bmp: " + request.output;
    if (request.command == "extract" && !request.sizeGiven) return "extract needs --size N";
    if (request.command != "render" && request.widthGiven && request.width == 0)
        return "--width auto is for render only";
    if (request.paletteEncodingGiven != request.paletteAtGiven)
        return "--palette-at and --palette-encoding go together";
    if (request.paletteAtGiven && !request.paletteName.empty())
        return "--palette and --palette-at exclude each other";
    if (request.command == "sprite" && (!request.firstGiven || !request.widthGiven || request.rows == 0))
        return "sprite needs --first N, --width W and --rows H";
    if (request.command == "sprite") {
        const ViewGeometry g = viewGeometry(request.mode, request.addedModes, request.width, request.zoom, 1);
        if (request.rows * g.unitHeight * request.zoom > kLargestImageSide)
            return "--rows x --zoom makes a picture over " + decimalText(kLargestImageSide) + " pixels high";
        if (g.stripWidth * request.zoom > kLargestImageSide)
            return "--width x --zoom makes a picture over " + decimalText(kLargestImageSide) + " pixels wide";
    }
    return "";
}

std::string loadProblem(LoadResult result, const std::string& fileName) {
    switch (result) {
        case LoadResult::Ok:
            return "";
        case LoadResult::Memory:
            return "not enough memory to load " + fileName;
        case LoadResult::Open:
            return "cannot open data file (missing or a folder): " + fileName;
        case LoadResult::Denied:
            return "cannot read data file (permission denied): " + fileName;
        case LoadResult::Read:
            return "cannot read data file (empty or unreadable): " + fileName;
        case LoadResult::TooLarge:
            return "data file is larger than 1 PiB: " + fileName;
        case LoadResult::TooLong:
            return "data stream is longer than 1 GiB: " + fileName;
    }
    return "cannot load " + fileName;
}

// The viewer's rule: no output may replace the data file, whatever name or link leads to it.
// "-" is standard output, which the shell may have opened on the data file.
std::string replacesDataFile(const DataFile& loaded, const std::string& output) {
    if (!isLoadedFile(output == "-" ? "/dev/stdout" : output, loaded.identity)) return "";
    return "not written: " + output + " is the data file itself";
}

// The view the request asks for: the whole first byte as the view's first byte.
SheetOptions sheetOptions(const Request& request) {
    return {request.first,
            request.width,
            request.zoom,
            request.mode,
            request.viewHeight,
            request.inverse,
            request.reverseByte,
            request.nibbleSwap,
            request.multiColumn,
            request.kernels,
            request.viewWidth,
            request.palette,
            static_cast<int32_t>(request.paletteBase),
            request.addedModes};
}

WidthGuess guessAtFirstByte(const DataBytes& data, const Request& request) {
    return guessWidth(data.bytes, data.size, request.first, request.mode, kMaxBytesPerRow,
                      request.addedModes);
}

// The formats the stretch looks likeliest a picture in, on stdout; the exit code.
int printFormats(const Request& request, const DataBytes& data) {
    constexpr int64_t kJudgedLength = 64 * 1024;
    int64_t first = request.first;
    // Without --first, the earliest region that a scan in any format lists.
    if (!request.firstGiven) {
        first = data.size;
        for (int mode = 0; mode < modeCount(request.addedModes); ++mode) {
            GraphicsRegion region{};
            if (findNextGraphics(data.bytes, data.size, mode, -1, kMaxBytesPerRow, region,
                                 request.addedModes))
                first = std::min(first, region.first);
        }
        if (first == data.size) first = 0;
    }
    const std::vector<FormatAnswer> answers =
        identifyFormats(data.bytes, data.size, first, request.length > 0 ? request.length : kJudgedLength,
                        request.addedModes);
    if (answers.empty()) {
        std::fprintf(stderr, "pixloupe2d-cli: nothing looks like a picture from byte %lld\n",
                     static_cast<long long>(first));
        return kExitNothingFound;
    }
    for (const FormatAnswer& answer : answers)
        std::printf("%s %d %d\n", modeRow(answer.mode, request.addedModes)->cliName, answer.width,
                    answer.score);
    return kExitOk;
}

// The scan's regions on stdout, each as soon as it is found; on a terminal, its progress on stderr
// as a bar redrawn in place, and gone at the end.
struct ScanPrinting {
    bool bar = false;
    int percent = -1;  // shown on the bar
};

constexpr int kBarWidth = 40;

void clearScanBar(const ScanPrinting& printing) {
    if (printing.percent >= 0) std::fprintf(stderr, "\r%*s\r", kBarWidth + 16, "");
}

void drawScanBar(const ScanPrinting& printing) {
    const int filled = printing.percent * kBarWidth / 100;
    std::fprintf(stderr, "\rscanning [%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), printing.percent);
    std::fflush(stderr);
}

bool showScanProgress(void* context, int64_t done, int64_t total) {
    auto& printing = *static_cast<ScanPrinting*>(context);
    const int percent = percentDone(done, total);
    // A scan over before its first report shows no bar at all.
    if (!printing.bar || percent == printing.percent || (printing.percent < 0 && done == total)) return true;
    printing.percent = percent;
    drawScanBar(printing);
    return true;
}

void printRegion(void* context, const GraphicsRegion& region) {
    const auto& printing = *static_cast<ScanPrinting*>(context);
    clearScanBar(printing);
    std::printf("%lld %lld %d %d\n", static_cast<long long>(region.first),
                static_cast<long long>(region.length), region.width, region.score);
    std::fflush(stdout);
    if (printing.percent >= 0) drawScanBar(printing);
}

// The width guess, the regions or the formats on stdout; the exit code.
int printFindings(const Request& request, const DataBytes& data) {
    if (request.command == "identify") return printFormats(request, data);
    if (request.command == "guess") {
        const WidthGuess guess = guessAtFirstByte(data, request);
        if (guess.count == 0) {
            std::fprintf(stderr, "pixloupe2d-cli: no picture found from byte %lld\n",
                         static_cast<long long>(request.first));
            return kExitNothingFound;
        }
        std::printf("%d\n", guess.candidates[0].width);
        for (int i = 1; i < guess.count; ++i)
            std::printf("%d %d\n", guess.candidates[i].width, guess.candidates[i].score);
        return kExitOk;
    }
    ScanPrinting printing;
    printing.bar = isatty(fileno(stderr)) != 0;
    scanGraphics(data.bytes, data.size, request.mode, request.from, request.to, kMaxBytesPerRow,
                 ScanHook{showScanProgress, printRegion, &printing}, request.addedModes);
    clearScanBar(printing);
    return kExitOk;
}

std::string renderPicture(Request request, const DataFile& file) {
    const DataBytes data = dataBytes(file);
    if (request.width == 0) {
        const WidthGuess guess = guessAtFirstByte(data, request);
        if (guess.count == 0) return "--width auto: no picture found from the first byte";
        request.width = guess.candidates[0].width;
    }
    if (!createImage(kPictureImage, request.viewWidth, request.viewHeight))
        return "not enough memory for the picture";
    if (drawSheet(data, sheetOptions(request), *imageBuffer(kPictureImage)) != SheetResult::Drawn)
        return "cannot draw the picture";
    const std::string refused = replacesDataFile(file, request.output);
    if (!refused.empty()) return refused;
    const bool png = request.format.empty() ? isPngName(request.output) : request.format == "png";
    const std::string encoder = png ? "PNG" : "BMP";
    if (!saveImage(kPictureImage, request.output, encoder)) return "cannot write " + request.output;
    return "";
}

std::string extractBytes(const Request& request, const DataFile& file) {
    const DataBytes data = dataBytes(file);
    const int64_t size = request.size;
    if (request.first < kLowestExtractFirst || request.first > data.size)
        return "--first for extract must lie from -256 to the end of the data (" + decimalText(data.size) +
               "), not " + decimalText(request.first);
    if (checkRange(request.first, size, data.size) != RangeCheck::Ok)
        return "range runs past the end of the data: first " + decimalText(request.first) + " + size " +
               decimalText(size) + " > " + decimalText(data.size) + " bytes";
    const std::string refused = replacesDataFile(file, request.output);
    if (!refused.empty()) return refused;
    if (!writeBinaryRange(request.output, data, request.first, size,
                          SavedByteForm{request.inverse, request.reverseByte}))
        return "cannot write " + request.output;
    return "";
}

// OUTPUT, which ends in .png or .bmp, with "-000", "-001", ... put before that extension.
std::string numberedName(const std::string& output, int64_t number) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "-%03lld", static_cast<long long>(number));
    return output.substr(0, output.size() - 4) + digits + output.substr(output.size() - 4);
}

// A PNG of colour numbers when the format's values are that, else the picture in colour.
bool writeSprite(const DataBytes& data, const SheetOptions& options, const ByteBlock& block, int zoom,
                 const std::string& name, bool png) {
    IndexedPicture values;
    if (png && drawBlockValues(data, options, block, zoom, values)) return writeIndexedPng(name, values) != 0;
    return drawBlockImage(kPictureImage, data, options, block, zoom) &&
           saveImage(kPictureImage, name, png ? "PNG" : "BMP");
}

// One sprite, or with --count a batch that is written whole or not at all.
std::string writeSprites(const Request& request, const DataFile& file) {
    const DataBytes data = dataBytes(file);
    const int64_t count = request.count > 0 ? request.count : 1;
    const int64_t rowBytes = viewRowBytes(request.mode, request.addedModes, request.width);
    const int64_t spriteBytes = rowBytes * request.rows;
    int64_t allBytes = 0;
    const bool tooLarge = __builtin_mul_overflow(count, spriteBytes, &allBytes);
    if (tooLarge || checkRange(request.first, allBytes, data.size) != RangeCheck::Ok)
        return "sprites run past the end of the data: first " + decimalText(request.first) + " + " +
               decimalText(count) + " x " + decimalText(spriteBytes) + " bytes > " + decimalText(data.size) +
               " bytes";
    const auto spriteName = [&](int64_t k) {
        return request.count > 0 ? numberedName(request.output, k) : request.output;
    };
    // Every name is checked before the first is written, so that a refused batch leaves nothing.
    for (int64_t k = 0; k < count; ++k) {
        const std::string refused = replacesDataFile(file, spriteName(k));
        if (!refused.empty()) return refused;
    }
    const bool png = isPngName(request.output);
    for (int64_t k = 0; k < count; ++k) {
        const ByteBlock block{request.first + k * spriteBytes, rowBytes, rowBytes, request.rows};
        const std::string name = spriteName(k);
        if (!writeSprite(data, sheetOptions(request), block, request.zoom, name, png)) {
            for (int64_t written = 0; written < k; ++written)
                std::remove(numberedName(request.output, written).c_str());
            return "cannot write " + name;
        }
    }
    return "";
}

// The loaded command's work; what went wrong, or an empty text.
// The palette the request names, from a built-in, a file or the data; what is wrong, or "".
std::string choosePalette(const Request& request, const DataBytes& data, Palette& palette, bool& chosen) {
    chosen = true;
    if (request.paletteAtGiven) {
        palette = paletteFromData(data, request.paletteAt, static_cast<int>(request.paletteCount),
                                  request.paletteEncoding);
        return "";
    }
    if (request.paletteName.empty() || request.paletteName == "grey") {
        chosen = false;
        return "";
    }
    if (request.paletteType.empty() && builtInPalette(request.paletteName, palette)) return "";
    const PaletteRead read = readPaletteFile(request.paletteName, request.paletteType == "vga6");
    if (!read.ok && read.problem == kPaletteFileUnreadable)
        return "cannot read palette file (nor a built-in palette): " + request.paletteName;
    if (!read.ok) return request.paletteName + ": " + read.problem;
    palette = read.palette;
    return "";
}

std::string runCommand(Request request, const DataFile& file, int& exitCode) {
    Palette palette;
    bool chosen = false;
    if (request.command == "render" || request.command == "sprite") {
        const std::string problem = choosePalette(request, dataBytes(file), palette, chosen);
        if (!problem.empty()) return problem;
        if (chosen) request.palette = &palette;
    }
    if (request.command == "sprite") return writeSprites(request, file);
    if (isFindCommand(request.command)) {
        exitCode = printFindings(request, dataBytes(file));
        return "";
    }
    return request.command == "render" ? renderPicture(request, file) : extractBytes(request, file);
}

// "bookmarks FILE": the file's bookmarks from the viewer's own settings, one a line.
std::string listBookmarks(const FormatFiles& formats, const std::vector<std::string>& arguments) {
    if (arguments.size() != 2) return "bookmarks takes one argument: the data file (see --help)";
    FileKey key;
    if (!fileKeyOf(arguments[1], key)) return "cannot read data file: " + arguments[1];
    const UserSettings settings =
        readUserSettings(userSettingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
    for (const Bookmark& bookmark : fileBookmarks(settings, &formats.modes, key))
        std::printf("%s\n", bookmarkLine(bookmark, &formats.modes).c_str());
    return std::fflush(stdout) == 0 ? "" : "cannot write the list";
}

// "formats [--show ID]": every format one a line, or one format's description.
std::string listFormats(const FormatFiles& formats, const std::vector<std::string>& arguments) {
    std::string shown;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool joined = argument.rfind("--show=", 0) == 0 || argument.rfind("--format-file=", 0) == 0;
        if (argument == "--show" && i + 1 < arguments.size()) {
            shown = arguments[++i];
        } else if (argument.rfind("--show=", 0) == 0) {
            shown = argument.substr(7);
        } else if (argument == "--format-file" && i + 1 < arguments.size()) {
            ++i;
        } else if (!joined) {
            return "formats takes --show ID and --format-file F only, not " + argument;
        }
    }
    if (!shown.empty()) {
        const int mode = modeByCliName(shown.c_str(), &formats.modes);
        if (mode < 0) return "unknown format \"" + shown + "\" (pixloupe2d-cli formats lists them)";
        std::fputs(modeDescription(formats, mode).c_str(), stdout);
    } else {
        for (const int mode : modesInMenuOrder(&formats.modes)) {
            const ModeRow& row = *modeRow(mode, &formats.modes);
            std::printf("%-24s %-40s %-10s %2d  %s\n", row.cliName, row.menuText, layoutName(row.layout),
                        row.bits, modeSource(formats, mode).c_str());
        }
    }
    return std::fflush(stdout) == 0 ? "" : "cannot write the list";
}

// The shipped and the user's format files (a refused one is said on stderr and left out), then
// those that --format-file names (a refused one ends the run).
std::string addFormatFiles(FormatFiles& formats, const std::vector<std::string>& arguments) {
    const std::vector<std::string> folders = formatFolders(programPath(), kBuildFolder, kSourceFormatFolder,
                                                           std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    for (const std::string& problem : loadFormatFolders(formats, folders))
        std::fprintf(stderr, "pixloupe2d-cli: %s\n", problem.c_str());
    for (size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i) {
        std::string file;
        if (arguments[i] == "--format-file" && i + 1 < arguments.size()) {
            file = arguments[++i];
        } else if (arguments[i].rfind("--format-file=", 0) == 0) {
            file = arguments[i].substr(14);
        } else {
            continue;
        }
        const FormatLoad load = loadFormatFile(formats, file);
        if (load.mode < 0) return load.problem;
    }
    return "";
}

std::string run(const std::vector<std::string>& arguments, bool& helpShown, int& exitCode) {
    if (arguments.empty()) return "missing command: render, extract, sprite, guess or scan (see --help)";
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") {
            helpShown = true;
            return "";
        }
    }
    FormatFiles formats;
    const std::string formatProblem = addFormatFiles(formats, arguments);
    if (!formatProblem.empty()) return formatProblem;
    if (arguments[0] == "bookmarks") return listBookmarks(formats, arguments);
    if (arguments[0] == "formats") return listFormats(formats, arguments);
    Request request;
    request.addedModes = &formats.modes;
    request.kernels = &pixelKernelsAtStart(std::getenv("PL_PIXEL_KERNEL"));
    request.command = arguments[0];
    if (request.command != "render" && request.command != "extract" && request.command != "sprite" &&
        !isFindCommand(request.command))
        return "unknown command: " + request.command +
               " (render, extract, sprite, guess, scan, identify, bookmarks or formats; see --help)";
    const std::string problem =
        parseArguments(std::vector<std::string>(arguments.begin() + 1, arguments.end()), request);
    if (!problem.empty()) return problem;

    setStreamTargets(true);
    registerPngEncoder();
    DataLoad load = loadDataFile(request.dataFile);
    const std::string loadFailure = loadProblem(load.result, request.dataFile);
    if (!loadFailure.empty()) return loadFailure;
    const std::string problemOfCommand = runCommand(request, load.file, exitCode);
    freeDataFile(load.file);
    return problemOfCommand;
}

void releaseEverything() {
    freeImage(-1);
    closeAllFiles();
    releaseAllMemory();
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = kExitOk;
    try {
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        bool helpShown = false;
        const bool versionShown = arguments.size() == 1 && arguments[0] == "--version";
        const std::string problem = versionShown ? "" : run(arguments, helpShown, exitCode);
        if (versionShown) {
            std::printf("pixloupe2d-cli %s\n", kProgramVersion);
        } else if (helpShown) {
            std::fputs(usageText().c_str(), stdout);
        } else if (!problem.empty()) {
            std::fprintf(stderr, "pixloupe2d-cli: %s\n", problem.c_str());
            exitCode = kExitBadInput;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pixloupe2d-cli: %s\n", error.what());
        exitCode = kExitBadInput;
    }
    releaseEverything();
    return exitCode;
}
