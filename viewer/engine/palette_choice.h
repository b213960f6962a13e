// Where the palette in use comes from, as the user chose it: a built-in, a palette file or colours
// in the data, and the base. It is what the own settings file keeps per format, as one line of
// text, and what the palette strip's tip names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class PaletteSource { BuiltIn, File, Data };

struct PaletteChoice {
    PaletteSource source = PaletteSource::BuiltIn;
    std::string name = "grey";  // BuiltIn: a builtInPaletteNames() name; File: the file's full path
    bool vga6 = false;          // File: 0-63 values
    int64_t offset = 0;         // Data: the first byte, the colours and their encoding's name
    int32_t count = 16;
    std::string encoding = "bgr555";
    int32_t base = 0;  // value v shows colour base + v
};

// The menu text of a built-in palette ("Grey levels", "NES", ...) by its name.
std::string builtInPaletteText(const std::string& name);

// No palette chosen: the format's own colours, from base 0.
bool isDefaultPalette(const PaletteChoice& choice);

// "BASE builtin NAME", "BASE file PATH", "BASE file-vga6 PATH" or "BASE data OFFSET COUNT ENCODING",
// numbers in decimal; the path runs to the end of the line.
std::string paletteChoiceText(const PaletteChoice& choice);

// False, and the choice as it was, for a text paletteChoiceText never writes.
bool parsePaletteChoice(std::string_view text, PaletteChoice& choice);

// In words for the user, as "NES palette", "Palette file game.pal (6-bit)" or "Palette from the
// data at $7E00: 16 colours, bgr555", with ", base K" when the base is not 0; "" for no palette
// (grey levels: the format's own colours, whatever the base).
std::string paletteChoiceWords(const PaletteChoice& choice);
