// Palettes for the formats beyond the four classic modes: the built-in ones, palette files of the
// usual kinds, and colours read from the data itself. Colours are 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/engine/data_bytes.h"

constexpr int kMostPaletteColours = 256;

struct Palette {
    std::vector<int32_t> colours;  // 1..kMostPaletteColours
};

// The built-in palettes' names: "grey" (the formats' own colours), "nes", "gameboy", "c64", "zx",
// "cpc", "ega", "vga".
const std::vector<std::string>& builtInPaletteNames();

// The built-in palette of that name; false for "grey" (no palette: the formats' own colours) and
// for names that are none.
bool builtInPalette(std::string_view name, Palette& palette);

// A palette file's bytes, recognised by content with the extension (".pal", ".act", ...; any
// letter case) as a hint: JASC-PAL, GIMP, RIFF PAL, Adobe ACT (768 or 772 bytes), a PNG's PLTE, an
// indexed BMP's colour table, or raw RGB24 (3n bytes, n up to 256). `vga6`: raw bytes of 0-63
// per channel instead. On failure the problem, in a few words.
struct PaletteRead {
    bool ok = false;
    std::string problem;
    Palette palette;
};
PaletteRead readPaletteBytes(std::string_view bytes, std::string_view extension, bool vga6);

// The problem of a palette file that cannot be read whole (missing, a folder, over 1 MiB).
constexpr const char* kPaletteFileUnreadable = "cannot read the file";

// The palette file at `path`, as readPaletteBytes reads it, with its name's extension as the hint.
PaletteRead readPaletteFile(const std::string& path, bool vga6);

// How colours are stored in the data.
enum class PaletteEncoding { Rgb24, Bgr24, Vga6, Bgr555, Genesis, Amiga12, St9, Nes };

// "rgb24", "bgr24", "vga6", "bgr555", "genesis", "amiga12", "st9", "nes".
bool paletteEncodingNamed(std::string_view name, PaletteEncoding& encoding);

// `count` colours (1..256) stored from data index `offset` on; bytes outside the data read as 0.
Palette paletteFromData(const DataBytes& data, int64_t offset, int count, PaletteEncoding encoding);

// The colour that value v shows with the palette from `base` on: black past its end.
inline int32_t paletteColour(const Palette& palette, int base, int value) {
    const int64_t index = int64_t{base} + value;
    return index >= 0 && index < static_cast<int64_t>(palette.colours.size()) ? palette.colours[index] : 0;
}
