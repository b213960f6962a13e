// pixloupe2d-cli: the viewer's picture of a data file, or a byte range of it, written
// from the command line without a window, through the viewer's own loading, drawing,
// size parsing and writers.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "graphics/image_save.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "program_version.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/data_buffer.h"
#include "viewer/mode_table.h"
#include "viewer/sheet_render.h"
#include "viewer/viewer_state.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 2;
// The most leading zeros the viewer's offset box can put before the data.
constexpr int64_t kLowestExtractFirst = -kMaxBytesPerRow;

constexpr const char* kUsage =
    "Usage:\n"
    "  pixloupe2d-cli render FILE OUTPUT [--first N] [--width N] [--zoom N]\n"
    "                 [--mode NAME] [--inverse] [--reverse] [--nibble] [--multi]\n"
    "  pixloupe2d-cli extract FILE OUTPUT --size TEXT [--first N] [--inverse] [--reverse]\n"
    "  pixloupe2d-cli --help | --version\n"
    "\n"
    "render   writes the 600 x 512 view of FILE as the viewer's \"Save image...\" does;\n"
    "         OUTPUT ends in .png or .bmp (any letter case).\n"
    "extract  writes the bytes \"Save binary...\" writes: TEXT bytes from the first byte,\n"
    "         decimal, or hexadecimal after \"$\" (quote it from the shell: '$1F0');\n"
    "         the first byte lies from -256 to the end of the data, the range within it.\n"
    "\n"
    "  --first N    first byte, may be negative or past the end (default 0); $hex also works\n"
    "  --width N    bytes per row, 1 to 256 (default 1)\n"
    "  --zoom N     1, 2, 4 or 8 (default 1)\n"
    "  --mode NAME  binary (default), atari (Atari GR.15), bk (BK-0010), sam (Sam Coupe mode 4);\n"
    "               computers: chunky8, cpc0, cpc1, amiga4, amiga5, st4, cells1, cells2w, zx;\n"
    "               consoles: nes, gb, snes4, sms, genesis, gba4 (see the README)\n"
    "  --inverse    every byte XOR 0xFF        --reverse  bits of every byte reversed\n"
    "  --nibble     the two halves of every byte swapped (render only)\n"
    "  --multi      the view continues in further columns to the right (render only)\n"
    "  --           ends the options: later arguments are names even when they start with -\n"
    "\n"
    "Exit codes: 0 done; 2 bad input or a failed write (one line on stderr, no output file).\n";

struct Request {
    std::string command;
    std::string dataFile;
    std::string output;
    int64_t first = 0;
    int32_t width = 1;
    int32_t zoom = 1;
    int32_t mode = kModeBinary;
    bool inverse = false;
    bool reverseByte = false;
    bool nibbleSwap = false;
    bool multiColumn = false;
    bool sizeGiven = false;
    std::string sizeText;
};

// A whole decimal number with an optional sign and nothing else, within [lowest, highest].
bool parseWhole(const std::string& text, int64_t lowest, int64_t highest, int64_t& value) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end || *begin == '+' || (*begin == '-' && begin != text.data())) return false;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end && value >= lowest && value <= highest;
}

bool isPngName(const std::string& name) {
    return lowerCase(midText(name, textLength(name) - 3)) == ".png";
}
bool isBmpName(const std::string& name) {
    return lowerCase(midText(name, textLength(name) - 3)) == ".bmp";
}

bool modeByName(const std::string& name, int32_t& mode) {
    const int found = modeByCliName(name.c_str());
    if (found < 0) return false;
    mode = found;
    return true;
}

// The value of one option; an empty text when it is fine, else what is wrong.
std::string takeOptionValue(Request& request, const std::string& option, const std::string& value) {
    int64_t number = 0;
    if (option == "--first") {
        if (!value.empty() && value[0] == '$') {
            // Hexadecimal as in a typed size, so that offsets can be written as the viewer shows them.
            number = parseSizeText(value);
            if (value.size() == 1 || !viewerState.convertOk)
                return "--first needs hexadecimal digits after \"$\" up to $7FFFFFFF, not \"" + value + "\"";
        } else if (!parseWhole(value, INT32_MIN, INT32_MAX, number)) {
            return "--first needs a whole number from -2147483648 to 2147483647, not \"" + value + "\"";
        }
        request.first = number;
    } else if (option == "--width") {
        if (!parseWhole(value, 1, kMaxBytesPerRow, number))
            return "--width needs a whole number from 1 to 256, not \"" + value + "\"";
        request.width = static_cast<int32_t>(number);
    } else if (option == "--zoom") {
        if (!parseWhole(value, 1, 8, number) || (number != 1 && number != 2 && number != 4 && number != 8))
            return "--zoom needs 1, 2, 4 or 8, not \"" + value + "\"";
        request.zoom = static_cast<int32_t>(number);
    } else if (option == "--mode") {
        if (!modeByName(value, request.mode))
            return "unknown mode \"" + value + "\" (pixloupe2d-cli --help lists the modes)";
    } else {
        request.sizeText = value;
        request.sizeGiven = true;
    }
    return "";
}

bool optionAllowed(const std::string& command, const std::string& option, bool& takesValue) {
    const std::vector<std::string> renderValues = {"--first", "--width", "--zoom", "--mode"};
    const std::vector<std::string> renderFlags = {"--inverse", "--reverse", "--nibble", "--multi"};
    const std::vector<std::string> extractValues = {"--first", "--size"};
    const std::vector<std::string> extractFlags = {"--inverse", "--reverse"};
    const bool render = command == "render";
    for (const std::string& name : render ? renderValues : extractValues) {
        if (option == name) {
            takesValue = true;
            return true;
        }
    }
    for (const std::string& name : render ? renderFlags : extractFlags) {
        if (option == name) {
            takesValue = false;
            return true;
        }
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
    if (names.size() != 2)
        return request.command + " needs FILE and OUTPUT, got " + decimalText(names.size()) + " names";
    request.dataFile = names[0];
    request.output = names[1];
    if (request.dataFile.empty() || request.output.empty()) return "FILE and OUTPUT must not be empty";
    if (request.command == "render" && !isPngName(request.output) && !isBmpName(request.output))
        return "OUTPUT must end in .png or .bmp: " + request.output;
    if (request.command == "extract" && !request.sizeGiven) return "extract needs --size TEXT";
    if (request.command == "extract" && request.sizeText.empty()) return "--size needs a count";
    return "";
}

std::string loadProblem(LoadResult result, const std::string& fileName) {
    switch (result) {
        case LoadResult::Ok:
            return "";
        case LoadResult::Memory:
            return "not enough memory to load " + fileName;
        case LoadResult::Open:
            return "cannot open data file (missing, a folder or not a plain file): " + fileName;
        case LoadResult::Read:
            return "cannot read data file (empty or unreadable): " + fileName;
        case LoadResult::TooLarge:
            return "data file is 2 GiB or larger: " + fileName;
    }
    return "cannot load " + fileName;
}

void applyDisplayOptions(const Request& request) {
    setHeldValue(HeldValue::Inverse, request.inverse ? 1 : 0);
    setHeldValue(HeldValue::ReverseByte, request.reverseByte ? 1 : 0);
    setHeldValue(HeldValue::NibbleSwap, request.nibbleSwap ? 1 : 0);
    setHeldValue(HeldValue::MultiColumn, request.multiColumn ? 1 : 0);
}

std::string renderPicture(const Request& request) {
    // The whole first byte goes into byteOffset; the fine offset stays 0.
    viewerState.byteOffset = static_cast<int32_t>(request.first);
    setHeldValue(HeldValue::FineOffset, 0);
    viewerState.bytesPerRow = request.width;
    setHeldValue(HeldValue::Width, request.width);
    viewerState.zoom = request.zoom;
    viewerState.colourMode = request.mode;
    applyDisplayOptions(request);
    if (!createImage(kSheetImage, kViewWidth, viewerState.viewHeight))
        return "not enough memory for the picture";
    if (drawSheet() != SheetResult::Drawn) return "cannot draw the picture";
    const std::string encoder = isPngName(request.output) ? "PNG" : "BMP";
    if (!saveImage(kSheetImage, request.output, encoder)) return "cannot write " + request.output;
    return "";
}

std::string extractBytes(const Request& request) {
    applyDisplayOptions(request);
    const int32_t size = parseSizeText(request.sizeText);
    if (!viewerState.convertOk) return "size does not convert: " + request.sizeText;
    if (request.first < kLowestExtractFirst || request.first > viewerState.dataSize)
        return "--first for extract must lie from -256 to the end of the data (" +
               decimalText(viewerState.dataSize) + "), not " + decimalText(request.first);
    if (checkRange(request.first, size) != RangeCheck::Ok)
        return "range runs past the end of the data: first " + decimalText(request.first) + " + size " +
               decimalText(size) + " > " + decimalText(viewerState.dataSize) + " bytes";
    if (!writeBinaryRange(request.output, request.first, size)) return "cannot write " + request.output;
    return "";
}

std::string run(const std::vector<std::string>& arguments, bool& helpShown) {
    if (arguments.empty()) return "missing command: render or extract (see --help)";
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") {
            helpShown = true;
            return "";
        }
    }
    Request request;
    request.command = arguments[0];
    if (request.command != "render" && request.command != "extract")
        return "unknown command: " + request.command + " (render or extract; see --help)";
    const std::string problem =
        parseArguments(std::vector<std::string>(arguments.begin() + 1, arguments.end()), request);
    if (!problem.empty()) return problem;

    initViewerState();
    buildByteTables();
    registerPngEncoder();
    const std::string loadFailure = loadProblem(loadDataFile(request.dataFile), request.dataFile);
    if (!loadFailure.empty()) return loadFailure;
    return request.command == "render" ? renderPicture(request) : extractBytes(request);
}

void releaseEverything() {
    freeImage(-1);
    freeDataBuffer();
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
        const std::string problem = versionShown ? "" : run(arguments, helpShown);
        if (versionShown) {
            std::printf("pixloupe2d-cli %s\n", kProgramVersion);
        } else if (helpShown) {
            std::fputs(kUsage, stdout);
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
