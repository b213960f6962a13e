// make-format-texts: the texts that list the formats, made from the format table so that
// they never disagree with it.
//   make-format-texts formats OUT   writes the formats' bit layouts (docs/formats.md)
//   make-format-texts fill IN OUT   copies the manual page or AppStream file IN to OUT,
//                                   each marker line ".\" format list: cli",
//                                   ".\" format list: menu" or "<!-- format list -->"
//                                   replaced by the formats' CLI names or menu texts
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/text_ops.h"
#include "viewer/engine/format_text.h"
#include "viewer/engine/mode_table.h"

namespace {

std::string hexColour(int32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
    return text;
}

// The format as lines of "key = value", with what its record says beyond them as comments.
std::string description(const ModeRecord& r) {
    std::ostringstream out;
    out << formatText(r);
    if (r.attributeScreen) {
        out << "# a 256 x 192 bitmap, a bit per pixel, in thirds of 8 character rows of 8 lines, then\n"
               "# 32 x 24 attribute bytes: ink (bits 0-2) where the bit is set, else paper (bits 3-5),\n"
               "# bright (bit 6) as value bit 3; flash is ignored\n";
    }
    if (r.colours != nullptr) {
        out << "# colours:";
        for (int v = 0; v < 1 << r.bits; ++v) out << " " << hexColour(r.colours[v]);
        out << "\n";
    }
    return out.str();
}

// How users describe formats of their own, and colour them.
constexpr const char* kFormatFilesSection =
    "\n## Format files (.plfmt)\n\n"
    "Every format above except the four classic modes and the ZX Spectrum screen is such a description, and\n"
    "`pixloupe2d-cli formats --show ID` prints it. A format file is UTF-8 text, one format per file, with\n"
    "the extension `.plfmt`: lines of `key = value`, `#` starting a comment, each key once except `bit K`.\n"
    "The keys are `name` (1-40 characters), `id` (`[a-z0-9-]`, 1-24, not taken), `layout` (`linear` or\n"
    "`tiled`), `tile = W H` and `tile-bytes` (tiled), `width-pixels` and `width-bytes` (linear), `bits`,\n"
    "`unit` (1 or 2), `bit-order` (`msb` or `lsb`), `bit K = B.P` or `Mw+B.P` for every K below `bits`, or\n"
    "`value = N le|be` instead, `step-x`, `group = N B.P`, `step-y` (tiled), and `colours` (`grey`,\n"
    "`palette NAME` or `direct R G B [A]`). The bits lie as described at the top of this page. The manual\n"
    "page pixloupe2d-format(5) gives every key's range.\n\n"
    "Values of up to 32 bits are drawn. With `direct`, each of red, green and blue is the value's bits\n"
    "under its hex mask, moved down side by side: c of n bits shows as 255 x c div (2^n - 1), so 5-bit\n"
    "31 is 255 and 16 is 131. The alpha mask is read but not drawn: every pixel shows its colour, since\n"
    "many files leave alpha (or an unused byte) 0 where the picture still lies in the colours. A grey\n"
    "value of d bits shows 255 x v div (2^d - 1); with a palette, values past its end show black. A\n"
    "palette chosen in the viewer or the CLI recolours colour numbers, never `direct` colours.\n\n"
    "Formats are read at start from `share/pixloupe2d/formats/` (shipped: C64 hires and multicolour\n"
    "sprites, SNES 2 bpp, 8 bpp and mode 7 tiles, GBA 8 bpp tiles, Amiga sprites; and direct colours:\n"
    "RGB565 and BGR555 in both byte orders, RGB888, BGR888, RGBA8888, BGRA8888 and ARGB8888) and from\n"
    "`$XDG_DATA_HOME/pixloupe2d/formats/` (default `~/.local/share/pixloupe2d/formats/`); the viewer loads\n"
    "more by View > \"Color mode\" > \"Load format file...\" and lists them under \"From files\", the CLI "
    "by\n"
    "`--format-file F`. A bad file gets one message naming `file:line` and what is wrong, and is left "
    "out.\n\n"
    "```\n"
    "# SNES 8 bpp tiles: four pairs of bitplanes interleaved by line, 64 bytes per tile\n"
    "name = SNES 8 bpp tiles\nid = snes8\nlayout = tiled\ntile = 8 8\ntile-bytes = 64\nbits = 8\n"
    "bit 0 = 0.0\nbit 1 = 1.0\nbit 2 = 16.0\nbit 3 = 17.0\nbit 4 = 32.0\nbit 5 = 33.0\nbit 6 = 48.0\n"
    "bit 7 = 49.0\nstep-x = 0.1\nstep-y = 2.0\n"
    "```\n\n"
    "```\n"
    "# BGR555, little-endian: SNES and GBA colours, GBA bitmap modes; a width of N is N pixels\n"
    "name = BGR555 little-endian\nid = bgr555-le\nlayout = linear\nwidth-pixels = 1\nwidth-bytes = 2\n"
    "bits = 16\nvalue = 2 le\ncolours = direct 001F 03E0 7C00\n"
    "```\n\n"
    "## Palettes\n\n"
    "The formats beyond the four classic modes show grey levels (or their own colours) unless a palette\n"
    "is chosen; the CLI's `render` and `sprite` take `--palette NAME|FILE` (built in: `nes`, `gameboy`,\n"
    "`c64`, `zx`, `cpc`, `ega`, `vga`; files: JASC-PAL, GIMP, RIFF PAL, ACT, a PNG's or an indexed BMP's\n"
    "palette, raw RGB24, with `--palette-type vga6` for 0-63 values), or the palette stored in the data:\n"
    "`--palette-at N --palette-encoding E [--palette-count K]` with E one of `rgb24`, `bgr24`, `vga6`,\n"
    "`bgr555` (SNES, GBA), `genesis`, `amiga12`, `st9` and `nes`. `--palette-base K` shows value v in\n"
    "colour K + v (a 16-colour bank of a larger palette); values past the palette's end show black.\n"
    "\n"
    "In the viewer, View > \"Palette\" offers the same: the built-ins, \"Load palette file...\" (and its "
    "6-bit\n"
    "form), \"Palette from data...\" (offset, count and encoding, as `$7E00 16 bgr555`) and \"Base...\". "
    "The\n"
    "strip right of the offset box shows the colours that values 0, 1, 2, ... show, left to right, and\n"
    "its tip names the palette in use; the menu's check mark shows where it came from. The status line\n"
    "stays as it is. Each format keeps its own choice (built-in name, file and its type, or offset, count\n"
    "and encoding, and the base) in the settings file `~/.config/pixloupe2d/settings` (`pl2.ini` is not\n"
    "touched), so that switching back to a format, or the next run, brings its palette back; a palette\n"
    "file that is gone leaves the format's own colours.\n"
    "\n"
    "## Indexed PNG\n"
    "\n"
    "Beyond the four classic modes, when a format's values are colour numbers of at most 8 bits (not\n"
    "`direct`), \"Save selection as image...\", F2 and `pixloupe2d-cli sprite` write PNGs that keep them:\n"
    "\n"
    "- the pixels are the data's values, after inverse, reverse and nibble swap, as the view shows them;\n"
    "- the bit depth is the smallest of 1, 2, 4 and 8 that holds the format's `bits` (3 bits: 4; 5: 8);\n"
    "- the `PLTE` holds 2^bits entries: the colour that each value shows, that is the palette in use\n"
    "  from its base (black past its end), or the format's own colours when no palette is chosen.\n"
    "\n"
    "A tile editor therefore gets the colour numbers, and every reader shows the colours of the view.\n"
    "The four classic modes, BMP files, \"Save image...\" of the whole view and `render` (which hold the\n"
    "checkerboard) stay 8-bit RGB. For example, SNES tiles with their palette stored as BGR555 words:\n"
    "\n"
    "    pixloupe2d-cli sprite rom.bin tiles.png --mode snes4 --first '$8000' --width 16 --rows 8 \\\n"
    "        --palette-at '$7E00' --palette-encoding bgr555\n"
    "\n"
    "writes a 4-bit palette PNG of 128 x 64 pixels with those 16 colours.\n";

std::string formatsPage() {
    std::ostringstream out;
    out << "# Formats\n\n"
           "<!-- Made by make-format-texts from the format table (viewer/engine/mode_table.cpp); the test\n"
           "     formats_page_is_current fails when it differs. After a change to the table:\n"
           "     build/desktop/make-format-texts formats docs/formats.md -->\n\n"
           "Every format the viewer draws, with the bits of its pixels as its record in the table gives\n"
           "them. In every format each byte first goes through inverse, reverse and nibble swap; a byte\n"
           "outside the data reads as 0 (without the inverse). A format without colours shows a value v of\n"
           "d bits as the grey 255 x v div (2^d - 1).\n\n"
           "A cell is a tile (tiled), a pixel row (linear) or a byte (byte cells: the four classic modes,\n"
           "which also leave a black line right of and below each cell of Binary at zoom 8, draw bytes past\n"
           "the end blue in BK-0010, and stop their columns at their byte-column limits). Pixel x of row y\n"
           "of a cell lies P = y x step-y + x x step-x bits after the cell's first bit; with `group = N G`,\n"
           "P = y x step-y + (x div N) x G + (x mod N) x step-x. Value bit K (0 = least significant) lies\n"
           "`bit K` further on: `B.P` is B bytes and P bits, `Mw+` adds M times the row's width in bytes\n"
           "(planes stored row after row). With `bit-order = msb` (the default) bit position 0 of a byte is\n"
           "its most significant bit, with `lsb` its least. A linear row of width W has W x width-pixels\n"
           "pixels in W x width-bytes bytes; `unit = 2` draws each pixel two view units wide.\n\n"
           "| Menu text | CLI name | Menu | Layout | Bits |\n|---|---|---|---|---|\n";
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        const ModeRecord& r = *modeRow(mode, nullptr)->record;
        const std::string group = modeGroupTitle(r.group);
        out << "| \"" << r.menuText << "\" | `" << r.cliName << "` | "
            << (group.empty() ? "Color mode" : group) << " | " << layoutName(r.layout) << " | " << r.bits
            << " |\n";
    }
    for (int mode = 0; mode < kModeTableSize; ++mode) {
        const ModeRecord& r = *modeRow(mode, nullptr)->record;
        out << "\n## " << r.menuText << "\n\n```\n" << description(r) << "```\n";
    }
    out << kFormatFilesSection;
    return out.str();
}

std::string troffText(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '-' ? "\\-" : std::string(1, c);
    return out;
}

// Troff lines naming the formats: every menu group's CLI names with their menu texts, or the
// submenus' menu texts.
std::string manList(bool cliNames) {
    std::ostringstream out;
    const std::vector<int> order = modesInMenuOrder(nullptr);
    for (size_t i = 0; i < order.size(); ++i) {
        const ModeRecord& r = *modeRow(order[i], nullptr)->record;
        const std::string title = modeGroupTitle(r.group);
        if (!cliNames && title.empty()) continue;
        const bool groupStarts = i == 0 || modeRow(order[i - 1], nullptr)->record->group != r.group;
        const bool last = i + 1 == order.size();
        const bool groupEnds = last || modeRow(order[i + 1], nullptr)->record->group != r.group;
        if (cliNames) {
            if (groupStarts) out << (title.empty() ? "the classic modes" : lowerCase(title)) << ":\n";
            out << ".BR " << r.cliName << " \" (" << troffText(r.menuText) << ")"
                << (last        ? "."
                    : groupEnds ? ";"
                                : ",")
                << "\"\n";
        } else {
            if (groupStarts) out << (out.tellp() > 0 ? "and\n" : "") << ".B " << title << "\n(";
            out << "\\(lq" << troffText(r.menuText) << "\\(rq"
                << (groupEnds ? (last ? ").\n" : ")\n") : ", ");
        }
    }
    return out.str();
}

// One list item of the AppStream description: every group's menu texts.
std::string metainfoItem() {
    std::string item = "<li>Colour modes: ";
    const std::vector<int> order = modesInMenuOrder(nullptr);
    for (size_t i = 0; i < order.size(); ++i) {
        const ModeRecord& r = *modeRow(order[i], nullptr)->record;
        const bool groupStarts = i > 0 && modeRow(order[i - 1], nullptr)->record->group != r.group;
        item += groupStarts ? std::string("; ") + modeGroupTitle(r.group) + ": " : i > 0 ? ", " : "";
        item += r.menuText;
    }
    return item + "</li>";
}

std::string replaceMarkers(const std::string& page) {
    std::istringstream in(page);
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
        if (line == ".\\\" format list: cli") {
            out << manList(true);
        } else if (line == ".\\\" format list: menu") {
            out << manList(false);
        } else if (line.find("<!-- format list -->") != std::string::npos) {
            out << line.substr(0, line.find('<')) << metainfoItem() << "\n";
        } else {
            out << line << "\n";
        }
    }
    return out.str();
}

bool writeFile(const char* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc >= 2 ? argv[1] : "";
    if (what == "formats" && argc == 3) return writeFile(argv[2], formatsPage()) ? 0 : 1;
    if (what == "fill" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary);
        std::ostringstream page;
        page << in.rdbuf();
        return in && writeFile(argv[3], replaceMarkers(page.str())) ? 0 : 1;
    }
    std::fputs("usage: make-format-texts formats OUT | fill IN OUT\n", stderr);
    return 2;
}
