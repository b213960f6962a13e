#include "viewer/engine/palette_choice.h"

#include <iterator>
#include <sstream>
#include <vector>

#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/palettes.h"
#include "viewer/engine/view_block.h"
#include "viewer/engine/view_limits.h"

namespace {

bool parseIn(const std::string& text, int64_t lowest, int64_t highest, int64_t& value) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
           parseNumberText(text, lowest, highest, value);
}

// The menu texts of the built-in palettes, in the order of builtInPaletteNames().
constexpr const char* kPaletteTexts[] = {"Grey levels", "NES",         "Game Boy", "C64",
                                         "ZX Spectrum", "Amstrad CPC", "EGA",      "VGA"};

}  // namespace

std::string builtInPaletteText(const std::string& name) {
    const std::vector<std::string>& names = builtInPaletteNames();
    for (size_t k = 0; k < names.size() && k < std::size(kPaletteTexts); ++k)
        if (names[k] == name) return kPaletteTexts[k];
    return name;
}

bool isDefaultPalette(const PaletteChoice& choice) {
    return choice.source == PaletteSource::BuiltIn && choice.name == "grey" && choice.base == 0;
}

std::string paletteChoiceText(const PaletteChoice& choice) {
    const std::string base = decimalText(choice.base) + " ";
    switch (choice.source) {
        case PaletteSource::File:
            return base + (choice.vga6 ? "file-vga6 " : "file ") + choice.name;
        case PaletteSource::Data:
            return base + "data " + decimalText(choice.offset) + " " + decimalText(choice.count) + " " +
                   choice.encoding;
        case PaletteSource::BuiltIn:
            break;
    }
    return base + "builtin " + choice.name;
}

bool parsePaletteChoice(std::string_view text, PaletteChoice& choice) {
    const std::string line(text);
    const size_t baseEnd = line.find(' ');
    const size_t kindEnd = baseEnd == std::string::npos ? baseEnd : line.find(' ', baseEnd + 1);
    if (kindEnd == std::string::npos) return false;
    int64_t base = 0;
    if (!parseIn(line.substr(0, baseEnd), 0, kMostPaletteColours - 1, base)) return false;
    const std::string kind = line.substr(baseEnd + 1, kindEnd - baseEnd - 1), rest = line.substr(kindEnd + 1);
    PaletteChoice made;
    made.base = static_cast<int32_t>(base);
    if (kind == "builtin") {
        Palette unused;
        if (rest != "grey" && !builtInPalette(rest, unused)) return false;
        made.name = rest;
    } else if (kind == "file" || kind == "file-vga6") {
        if (rest.empty()) return false;
        made.source = PaletteSource::File;
        made.name = rest;
        made.vga6 = kind == "file-vga6";
    } else if (kind == "data") {
        std::istringstream words(rest);
        std::string offset, count, encoding, more;
        words >> offset >> count >> encoding >> more;
        int64_t at = 0, colours = 0;
        PaletteEncoding unused{};
        if (!parseIn(offset, 0, kLargestDataSize, at) || !parseIn(count, 1, kMostPaletteColours, colours) ||
            !paletteEncodingNamed(encoding, unused) || !more.empty())
            return false;
        made.source = PaletteSource::Data;
        made.offset = at;
        made.count = static_cast<int32_t>(colours);
        made.encoding = encoding;
    } else {
        return false;
    }
    choice = made;
    return true;
}

std::string paletteChoiceWords(const PaletteChoice& choice) {
    std::string words;
    switch (choice.source) {
        case PaletteSource::BuiltIn:
            if (choice.name == "grey") return "";  // no palette: the base does nothing
            words = builtInPaletteText(choice.name) + " palette";
            break;
        case PaletteSource::File:
            words = "Palette file " + filePart(choice.name) + (choice.vga6 ? " (6-bit)" : "");
            break;
        case PaletteSource::Data:
            words = "Palette from the data at " + dollarHexText(choice.offset) + ": " +
                    decimalText(choice.count) + " colours, " + choice.encoding;
            break;
    }
    return choice.base == 0 ? words : words + ", base " + decimalText(choice.base);
}
