#include "viewer/engine/palettes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

namespace {

int32_t rgb(int red, int green, int blue) {
    return red | green << 8 | blue << 16;
}

int32_t hexRgb(uint32_t rrggbb) {
    return rgb(static_cast<int>(rrggbb >> 16), static_cast<int>(rrggbb >> 8 & 0xFF),
               static_cast<int>(rrggbb & 0xFF));
}

// A channel of n bits as 0..255.
int scaled(int c, int bits) {
    return 255 * c / ((1 << bits) - 1);
}

// clang-format off
constexpr uint32_t kNes[64] = {
    0x7C7C7C, 0x0000FC, 0x0000BC, 0x4428BC, 0x940084, 0xA80020, 0xA81000, 0x881400,
    0x503000, 0x007800, 0x006800, 0x005800, 0x004058, 0x000000, 0x000000, 0x000000,
    0xBCBCBC, 0x0078F8, 0x0058F8, 0x6844FC, 0xD800CC, 0xE40058, 0xF83800, 0xE45C10,
    0xAC7C00, 0x00B800, 0x00A800, 0x00A844, 0x008888, 0x000000, 0x000000, 0x000000,
    0xF8F8F8, 0x3CBCFC, 0x6888FC, 0x9878F8, 0xF878F8, 0xF85898, 0xF87858, 0xFCA044,
    0xF8B800, 0xB8F818, 0x58D854, 0x58F898, 0x00E8D8, 0x787878, 0x000000, 0x000000,
    0xFCFCFC, 0xA4E4FC, 0xB8B8F8, 0xD8B8F8, 0xF8B8F8, 0xF8A4C0, 0xF0D0B0, 0xFCE0A8,
    0xF8D878, 0xD8F878, 0xB8F8B8, 0xB8F8D8, 0x00FCFC, 0xF8D8F8, 0x000000, 0x000000,
};
constexpr uint32_t kGameBoy[4] = {0x9BBC0F, 0x8BAC0F, 0x306230, 0x0F380F};
constexpr uint32_t kC64[16] = {
    0x000000, 0xFFFFFF, 0x68372B, 0x70A4B2, 0x6F3D86, 0x588D43, 0x352879, 0xB8C76F,
    0x6F4F25, 0x433900, 0x9A6759, 0x444444, 0x6C6C6C, 0x9AD284, 0x6C5EB5, 0x959595,
};
constexpr uint32_t kEga[16] = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};
// The VGA's grey ramp after the EGA colours, in its 6-bit levels.
constexpr int kVgaGreys[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};
// The VGA's hue circles: for each intensity the levels of the full, half and low saturations.
constexpr int kVgaLevels[9][5] = {
    {0, 16, 31, 47, 63}, {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63},
    {0, 7, 14, 21, 28},  {14, 17, 21, 24, 28}, {20, 22, 24, 26, 28},
    {0, 4, 8, 12, 16},   {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16},
};
// clang-format on

Palette fromHex(const uint32_t* colours, int count) {
    Palette palette;
    for (int i = 0; i < count; ++i) palette.colours.push_back(hexRgb(colours[i]));
    return palette;
}

// Colour n of the CPC's 27: n = 9 green + 3 red + blue, each off, half or full.
Palette cpcPalette() {
    constexpr int kLevels[3] = {0x00, 0x80, 0xFF};
    Palette palette;
    for (int n = 0; n < 27; ++n)
        palette.colours.push_back(rgb(kLevels[n / 3 % 3], kLevels[n / 9], kLevels[n % 3]));
    return palette;
}

Palette zxPalette() {
    Palette palette;
    for (int n = 0; n < 16; ++n) {
        const int level = n < 8 ? 0xD7 : 0xFF;
        palette.colours.push_back(rgb(n & 2 ? level : 0, n & 4 ? level : 0, n & 1 ? level : 0));
    }
    return palette;
}

// The VGA's colours at power-on: the EGA's 16, a grey ramp, 9 hue circles of 24, then 8 blacks.
Palette vgaPalette() {
    Palette palette = fromHex(kEga, 16);
    for (const int grey : kVgaGreys)
        palette.colours.push_back(rgb(scaled(grey, 6), scaled(grey, 6), scaled(grey, 6)));
    // Blue to magenta, to red, to yellow, to green, to cyan and back: one channel moves at a time,
    // up (u) or down (d) while the others stay low (l) or high (h).
    constexpr const char* kPhases[6] = {"ulh", "hld", "hul", "dhl", "lhu", "ldh"};
    for (const auto& l : kVgaLevels) {
        for (int step = 0; step < 24; ++step) {
            const int k = step % 4;
            int channel[3];
            for (int c = 0; c < 3; ++c) {
                const char how = kPhases[step / 4][c];
                channel[c] = scaled(how == 'u' ? l[k] : how == 'd' ? l[4 - k] : how == 'l' ? l[0] : l[4], 6);
            }
            palette.colours.push_back(rgb(channel[0], channel[1], channel[2]));
        }
    }
    palette.colours.resize(256, 0);
    return palette;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

uint32_t le16(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t le32(std::string_view b, size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}
uint32_t be32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24 | static_cast<uint8_t>(b[at + 1]) << 16 |
           static_cast<uint8_t>(b[at + 2]) << 8 | static_cast<uint8_t>(b[at + 3]);
}

PaletteRead failed(std::string problem) {
    PaletteRead read;
    read.problem = std::move(problem);
    return read;
}

PaletteRead madeOf(Palette palette) {
    if (palette.colours.empty() || palette.colours.size() > kMostPaletteColours)
        return failed("a palette has 1 to 256 colours");
    return {true, "", std::move(palette)};
}

// Colours of `size` bytes each from `at` on: red, green, blue at the offsets given.
Palette packedColours(std::string_view b, size_t at, size_t count, int size, int red, int green, int blue) {
    Palette palette;
    for (size_t i = 0; i < count; ++i) {
        const size_t c = at + i * size;
        palette.colours.push_back(rgb(static_cast<uint8_t>(b[c + red]), static_cast<uint8_t>(b[c + green]),
                                      static_cast<uint8_t>(b[c + blue])));
    }
    return palette;
}

// The decimal digits from `at` on, as a number held at `cap` (so that a long run cannot
// overflow); `at` moves past them.
int decimalAt(std::string_view text, size_t& at, int cap) {
    int value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at)
        value = std::min(value * 10 + (text[at] - '0'), cap);
    return value;
}

// Lines of text; the lines of "R G B" numbers 0-255 after the header lines, `count` of them when
// given (else up to the end, comments "#" and blank lines skipped).
PaletteRead textColours(std::string_view text, size_t headerLines, int count, bool comments) {
    Palette palette;
    size_t line = 0;
    for (size_t at = 0; at < text.size(); ++line) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view content = text.substr(at, end - at);
        at = end + 1;
        if (line < headerLines) continue;
        const size_t first = content.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || (comments && content[first] == '#')) continue;
        if (count >= 0 && static_cast<int>(palette.colours.size()) == count) break;
        int channel[3] = {};
        size_t p = first;
        for (int& c : channel) {
            p = content.find_first_not_of(" \t", p);
            if (p == std::string_view::npos || !std::isdigit(static_cast<unsigned char>(content[p])))
                return failed("a colour line needs three numbers");
            const int value = decimalAt(content, p, 256);
            if (value > 255) return failed("a colour channel runs from 0 to 255");
            c = value;
        }
        if (palette.colours.size() == kMostPaletteColours) return failed("a palette has 1 to 256 colours");
        palette.colours.push_back(rgb(channel[0], channel[1], channel[2]));
    }
    if (count >= 0 && static_cast<int>(palette.colours.size()) != count)
        return failed("the file holds fewer colours than it says");
    return madeOf(std::move(palette));
}

PaletteRead jascColours(std::string_view b) {
    // JASC-PAL, 0100, the count, then a colour a line.
    size_t at = 0;
    for (int line = 0; line < 2 && at != std::string_view::npos; ++line) at = b.find('\n', at) + 1;
    if (at == 0 || at >= b.size()) return failed("a JASC-PAL file needs its count line");
    const int count = decimalAt(b, at, 1000);
    if (count < 1 || count > kMostPaletteColours) return failed("a palette has 1 to 256 colours");
    return textColours(b, 3, count, false);
}

PaletteRead gimpColours(std::string_view b) {
    // "GIMP Palette", then "Name:" and "Columns:" lines, comments, and "R G B name" lines.
    size_t header = 1;
    for (size_t at = b.find('\n') + 1; at > 0 && at < b.size(); at = b.find('\n', at) + 1, ++header) {
        const std::string_view line = b.substr(at, 8);
        if (line.rfind("Name:", 0) != 0 && line.rfind("Columns:", 0) != 0) break;
    }
    return textColours(b, header, -1, true);
}

PaletteRead riffColours(std::string_view b) {
    // RIFF, size, "PAL ", then the "data" chunk: its size, version, count, and 4 bytes a colour.
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = le32(b, at + 4);
        if (b.substr(at, 4) == "data") {
            if (size < 4 || at + 12 > b.size()) break;
            const size_t count = le16(b, at + 10);
            if (count < 1 || count > kMostPaletteColours || at + 12 + 4 * count > b.size())
                return failed("a RIFF palette's data holds 1 to 256 colours");
            return madeOf(packedColours(b, at + 12, count, 4, 0, 1, 2));
        }
        if (size > b.size() - at - 8) break;
        at += 8 + size + (size & 1);
    }
    return failed("a RIFF palette without its data chunk");
}

PaletteRead pngColours(std::string_view b) {
    for (size_t at = 8; at + 12 <= b.size();) {
        const uint32_t size = be32(b, at);
        if (size > b.size() - at - 12) break;
        if (b.substr(at + 4, 4) == "PLTE") {
            if (size % 3 != 0 || size == 0 || size > 768)
                return failed("a PNG palette holds 1 to 256 colours");
            return madeOf(packedColours(b, at + 8, size / 3, 3, 0, 1, 2));
        }
        if (b.substr(at + 4, 4) == "IDAT") break;
        at += 12 + size;
    }
    return failed("a PNG without a palette");
}

PaletteRead bmpColours(std::string_view b) {
    if (b.size() < 30) return failed("a BMP too short for its header");
    const uint32_t header = le32(b, 14);
    const bool core = header == 12;
    if (!core && (header < 40 || b.size() < 14 + size_t{header}))
        return failed("a BMP with an unknown header");
    const int bits = static_cast<int>(le16(b, core ? 24 : 28));
    if (bits < 1 || bits > 8) return failed("a BMP without a colour table (more than 8 bits a pixel)");
    const uint32_t used = core ? 0 : le32(b, 46);
    const size_t count = used != 0 && used <= (1u << bits) ? used : size_t{1} << bits;
    const int size = core ? 3 : 4;
    const size_t at = 14 + header;
    if (at + count * size > b.size()) return failed("a BMP cut short in its colour table");
    return madeOf(packedColours(b, at, count, size, 2, 1, 0));
}

PaletteRead rawColours(std::string_view b, bool vga6) {
    if (b.empty() || b.size() % 3 != 0 || b.size() > 768)
        return failed(
            "not a palette file (JASC-PAL, GIMP, RIFF, ACT, PNG, indexed BMP or raw RGB of 3n bytes)");
    Palette palette = packedColours(b, 0, b.size() / 3, 3, 0, 1, 2);
    if (vga6) {
        for (const char c : b)
            if (static_cast<uint8_t>(c) > 63) return failed("a 6-bit VGA palette holds values 0 to 63");
        for (int32_t& c : palette.colours)
            c = rgb(scaled(c & 0xFF, 6), scaled(c >> 8 & 0xFF, 6), scaled(c >> 16 & 0xFF, 6));
    }
    return madeOf(std::move(palette));
}

}  // namespace

const std::vector<std::string>& builtInPaletteNames() {
    static const std::vector<std::string> names = {"grey", "nes", "gameboy", "c64",
                                                   "zx",   "cpc", "ega",     "vga"};
    return names;
}

bool builtInPalette(std::string_view name, Palette& palette) {
    const std::string n = lowered(name);
    if (n == "nes")
        palette = fromHex(kNes, 64);
    else if (n == "gameboy")
        palette = fromHex(kGameBoy, 4);
    else if (n == "c64")
        palette = fromHex(kC64, 16);
    else if (n == "zx")
        palette = zxPalette();
    else if (n == "cpc")
        palette = cpcPalette();
    else if (n == "ega")
        palette = fromHex(kEga, 16);
    else if (n == "vga")
        palette = vgaPalette();
    else
        return false;
    return true;
}

PaletteRead readPaletteBytes(std::string_view b, std::string_view extension, bool vga6) {
    if (vga6) return rawColours(b, true);
    const std::string ext = lowered(extension);
    if (b.rfind("JASC-PAL", 0) == 0) return jascColours(b);
    if (b.rfind("GIMP Palette", 0) == 0) return gimpColours(b);
    if (b.size() >= 12 && b.rfind("RIFF", 0) == 0 && b.substr(8, 4) == "PAL ") return riffColours(b);
    if (b.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return pngColours(b);
    if (b.size() >= 30 && b.rfind("BM", 0) == 0 && ext != ".act") {
        const uint32_t header = le32(b, 14);
        if (header == 12 || header == 40 || header == 52 || header == 56 || header == 108 || header == 124)
            return bmpColours(b);
    }
    if (b.size() == 772) {
        // ACT with the count of colours used after the 256.
        const size_t count = static_cast<uint8_t>(b[768]) << 8 | static_cast<uint8_t>(b[769]);
        return madeOf(packedColours(b, 0, count >= 1 && count <= 256 ? count : 256, 3, 0, 1, 2));
    }
    if (ext == ".gpl" || ext == ".png" || ext == ".bmp")
        return failed("not a " + ext.substr(1) + " palette file");
    return rawColours(b, false);
}

PaletteRead readPaletteFile(const std::string& path, bool vga6) {
    constexpr std::streamsize kLargestPaletteFile = 1 << 20;
    std::ifstream in(path, std::ios::binary);
    std::string bytes(kLargestPaletteFile + 1, '\0');
    in.read(bytes.data(), kLargestPaletteFile + 1);
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (!in.eof() || in.bad()) return failed(kPaletteFileUnreadable);
    const size_t dot = path.find_last_of("./");
    const bool hasExtension = dot != std::string::npos && path[dot] == '.';
    return readPaletteBytes(bytes, hasExtension ? std::string_view(path).substr(dot) : "", vga6);
}

bool paletteEncodingNamed(std::string_view name, PaletteEncoding& encoding) {
    constexpr std::pair<const char*, PaletteEncoding> kNames[] = {
        {"rgb24", PaletteEncoding::Rgb24},     {"bgr24", PaletteEncoding::Bgr24},
        {"vga6", PaletteEncoding::Vga6},       {"bgr555", PaletteEncoding::Bgr555},
        {"genesis", PaletteEncoding::Genesis}, {"amiga12", PaletteEncoding::Amiga12},
        {"st9", PaletteEncoding::St9},         {"nes", PaletteEncoding::Nes},
    };
    const std::string n = lowered(name);
    for (const auto& [text, value] : kNames)
        if (n == text) {
            encoding = value;
            return true;
        }
    return false;
}

Palette paletteFromData(const DataBytes& data, int64_t offset, int count, PaletteEncoding encoding) {
    const auto at = [&](int64_t index) -> int {
        return index >= 0 && index < data.size && data.bytes != nullptr ? data.bytes[index] : 0;
    };
    const bool threeBytes = encoding == PaletteEncoding::Rgb24 || encoding == PaletteEncoding::Bgr24 ||
                            encoding == PaletteEncoding::Vga6;
    const int size = threeBytes ? 3 : encoding == PaletteEncoding::Nes ? 1 : 2;
    Palette palette;
    count = std::clamp(count, 1, kMostPaletteColours);
    for (int i = 0; i < count; ++i) {
        const int64_t p = offset + int64_t{i} * size;
        const int a = at(p), b = at(p + 1), c = at(p + 2);
        const int le = a | b << 8, be = a << 8 | b;
        int32_t colour = 0;
        switch (encoding) {
            case PaletteEncoding::Rgb24:
                colour = rgb(a, b, c);
                break;
            case PaletteEncoding::Bgr24:
                colour = rgb(c, b, a);
                break;
            case PaletteEncoding::Vga6:
                colour = rgb(scaled(a & 63, 6), scaled(b & 63, 6), scaled(c & 63, 6));
                break;
            case PaletteEncoding::Bgr555:
                colour = rgb(scaled(le & 31, 5), scaled(le >> 5 & 31, 5), scaled(le >> 10 & 31, 5));
                break;
            case PaletteEncoding::Genesis:
                colour = rgb(scaled(be >> 1 & 7, 3), scaled(be >> 5 & 7, 3), scaled(be >> 9 & 7, 3));
                break;
            case PaletteEncoding::Amiga12:
                colour = rgb(scaled(be >> 8 & 15, 4), scaled(be >> 4 & 15, 4), scaled(be & 15, 4));
                break;
            case PaletteEncoding::St9:
                colour = rgb(scaled(be >> 8 & 7, 3), scaled(be >> 4 & 7, 3), scaled(be & 7, 3));
                break;
            case PaletteEncoding::Nes:
                colour = hexRgb(kNes[a & 63]);
                break;
        }
        palette.colours.push_back(colour);
    }
    return palette;
}
