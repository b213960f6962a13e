#include "viewer/window/palette_menu.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/palettes.h"
#include "viewer/engine/view_block.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

// The menu texts of the built-in palettes, in the order of builtInPaletteNames().
constexpr const char* kPaletteTexts[] = {"Grey levels", "NES",         "Game Boy", "C64",
                                         "ZX Spectrum", "Amstrad CPC", "EGA",      "VGA"};

int builtInCount() {
    return static_cast<int>(builtInPaletteNames().size());
}

// Checks the built-in in use, none when the palette comes from a file or the data.
void markPalette(int checked) {
    for (int k = 0; k < builtInCount(); ++k)
        setMenuCheck(kMainMenu, kCommandFirstPalette + k, kCommandFirstPalette + k == checked);
}

void usePalette(const Palette& palette, int checked) {
    viewerState.palette = palette;
    viewerState.paletteChosen = true;
    markPalette(checked);
}

void chooseBuiltIn(int k) {
    Palette palette;
    if (builtInPalette(builtInPaletteNames()[k], palette)) {
        usePalette(palette, kCommandFirstPalette + k);
    } else {
        viewerState.paletteChosen = false;  // grey: the formats' own colours
        markPalette(kCommandFirstPalette + k);
    }
}

void loadPaletteFile(bool vga6) {
    const std::string name = askOpenFileName(
        vga6 ? "Load 6-bit VGA palette file" : "Load palette file", viewerState.lastFolder,
        "Palette files (*.pal *.act *.gpl *.png *.bmp)|*.pal;*.act;*.gpl;*.png;*.bmp|All files (*.*)|*.*", 0);
    if (name.empty()) return;
    viewerState.lastFolder = pathPart(name);
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string file = filePart(name);
    const size_t dot = file.rfind('.');
    const PaletteRead read =
        in ? readPaletteBytes(bytes.str(), dot == std::string::npos ? "" : file.substr(dot), vga6)
           : PaletteRead{false, "cannot read the file", {}};
    if (!read.ok) return showMessage("Load palette file", name + ": " + read.problem);
    usePalette(read.palette, -1);
}

// "offset count encoding", as "$7E00 16 bgr555" (rgb24, bgr24, vga6, bgr555, genesis, amiga12,
// st9 or nes); the offset starts at the view's first byte.
void paletteFromDataCommand() {
    const std::string text = askText("Palette from data", "Offset count encoding:",
                                     dollarHexText(std::max<int64_t>(viewFirstByte(), 0)) + " 16 bgr555");
    if (text.empty()) return;
    std::istringstream words(text);
    std::string offsetText, countText, encodingText, more;
    words >> offsetText >> countText >> encodingText >> more;
    int64_t offset = 0, count = 0;
    PaletteEncoding encoding{};
    if (!parseNumberText(offsetText, 0, kLargestDataSize, offset) ||
        !parseNumberText(countText, 1, 256, count) || !paletteEncodingNamed(encodingText, encoding) ||
        !more.empty())
        return showMessage("Palette from data", "can't convert:" + text);
    usePalette(paletteFromData(viewerData(), offset, static_cast<int>(count), encoding), -1);
}

void paletteBaseCommand() {
    const std::string text =
        askText("Palette base",
                "Value v shows palette colour base + v (0 to 255):", decimalText(viewerState.paletteBase));
    int64_t base = 0;
    if (text.empty()) return;
    if (!parseNumberText(text, 0, 255, base)) return showMessage("Palette base", "can't convert:" + text);
    viewerState.paletteBase = static_cast<int32_t>(base);
}

}  // namespace

void addPaletteItems() {
    openSubmenu("Palette");
    for (int k = 0; k < builtInCount(); ++k) menuItem(kCommandFirstPalette + k, kPaletteTexts[k]);
    menuSeparator();
    menuItem(kCommandLoadPalette, "Load palette file...");
    menuItem(kCommandLoadPaletteVga6, "Load palette file, 6-bit...");
    menuItem(kCommandPaletteFromData, "Palette from data...");
    menuItem(kCommandPaletteBase, "Base...");
    closeSubmenu();
    markPalette(kCommandFirstPalette);
}

bool paletteCommand(int command) {
    if (command >= kCommandFirstPalette && command < kCommandFirstPalette + builtInCount()) {
        chooseBuiltIn(command - kCommandFirstPalette);
    } else if (command == kCommandLoadPalette || command == kCommandLoadPaletteVga6) {
        loadPaletteFile(command == kCommandLoadPaletteVga6);
    } else if (command == kCommandPaletteFromData) {
        paletteFromDataCommand();
    } else if (command == kCommandPaletteBase) {
        paletteBaseCommand();
    } else {
        return false;
    }
    return true;
}
