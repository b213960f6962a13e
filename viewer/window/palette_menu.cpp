#include "viewer/window/palette_menu.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "shell/requesters.h"
#include "shell/window_shell.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/palettes.h"
#include "viewer/engine/view_block.h"
#include "viewer/window/own_settings.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

int builtInCount() {
    return static_cast<int>(builtInPaletteNames().size());
}

// The check marks: the built-in in use, or the item the palette came from.
void markPalette(const PaletteChoice& choice) {
    const bool builtIn = choice.source == PaletteSource::BuiltIn;
    for (int k = 0; k < builtInCount(); ++k)
        setMenuCheck(kMainMenu, kCommandFirstPalette + k, builtIn && builtInPaletteNames()[k] == choice.name);
    const bool file = choice.source == PaletteSource::File;
    setMenuCheck(kMainMenu, kCommandLoadPalette, file && !choice.vga6);
    setMenuCheck(kMainMenu, kCommandLoadPaletteVga6, file && choice.vga6);
    setMenuCheck(kMainMenu, kCommandPaletteFromData, choice.source == PaletteSource::Data);
}

// The colours the choice names; false, with the problem, when its file cannot be read as a palette.
bool resolvePalette(const PaletteChoice& choice, Palette& palette, bool& chosen, std::string& problem) {
    chosen = true;
    if (choice.source == PaletteSource::Data) {
        PaletteEncoding encoding{};
        if (!paletteEncodingNamed(choice.encoding, encoding)) return false;
        palette = paletteFromData(viewerData(), choice.offset, choice.count, encoding);
        return true;
    }
    if (choice.source == PaletteSource::BuiltIn) {
        chosen = builtInPalette(choice.name, palette);  // grey: no palette, the formats' own colours
        return true;
    }
    const PaletteRead read = readPaletteFile(choice.name, choice.vga6);
    problem = read.problem;
    palette = read.palette;
    return read.ok;
}

void putInPlace(const PaletteChoice& choice, const Palette& palette, bool chosen) {
    viewerState.paletteChoice = choice;
    viewerState.palette = palette;
    viewerState.paletteChosen = chosen;
    viewerState.paletteBase = choice.base;
    viewerState.paletteMode = viewerState.colourMode;
    markPalette(choice);
}

std::string settingsKey(int mode) {
    return std::string("palette ") + modeRow(mode, &viewerState.formats.modes)->cliName;
}

// The choice in place for the format shown, and kept for it in the own settings file.
void useChoice(const PaletteChoice& choice) {
    Palette palette;
    bool chosen = false;
    std::string problem;
    if (!resolvePalette(choice, palette, chosen, problem)) {
        showMessage("Load palette file", choice.name + ": " + problem);
        return;
    }
    putInPlace(choice, palette, chosen);
    UserSettings settings = readOwnSettings();
    const std::string key = settingsKey(viewerState.colourMode), text = paletteChoiceText(choice);
    if (userSetting(settings, key) == text) return;
    setUserSetting(settings, key, text);
    writeOwnSettings(settings);
}

// The choice in use with another source; the base stays.
PaletteChoice fromSource(PaletteSource source, const std::string& name) {
    PaletteChoice choice;
    choice.source = source;
    choice.name = name;
    choice.base = viewerState.paletteChoice.base;
    return choice;
}

void loadPaletteFile(bool vga6) {
    const std::string name = askOpenFileName(
        vga6 ? "Load 6-bit VGA palette file" : "Load palette file", viewerState.lastFolder,
        "Palette files (*.pal *.act *.gpl *.png *.bmp)|*.pal;*.act;*.gpl;*.png;*.bmp|All files (*.*)|*.*", 0);
    if (name.empty()) return;
    viewerState.lastFolder = pathPart(name);
    PaletteChoice choice = fromSource(PaletteSource::File, name);
    choice.vga6 = vga6;
    useChoice(choice);
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
        !parseNumberText(countText, 1, kMostPaletteColours, count) ||
        !paletteEncodingNamed(encodingText, encoding) || !more.empty())
        return showMessage("Palette from data", "can't convert:" + text);
    PaletteChoice choice = fromSource(PaletteSource::Data, "");
    choice.offset = offset;
    choice.count = static_cast<int32_t>(count);
    choice.encoding = lowerCase(encodingText);
    useChoice(choice);
}

void paletteBaseCommand() {
    const std::string text =
        askText("Palette base",
                "Value v shows palette colour base + v (0 to 255):", decimalText(viewerState.paletteBase));
    int64_t base = 0;
    if (text.empty()) return;
    if (!parseNumberText(text, 0, 255, base)) return showMessage("Palette base", "can't convert:" + text);
    PaletteChoice choice = viewerState.paletteChoice;
    choice.base = static_cast<int32_t>(base);
    useChoice(choice);
}

}  // namespace

void addPaletteItems() {
    openSubmenu("Palette");
    for (int k = 0; k < builtInCount(); ++k)
        menuItem(kCommandFirstPalette + k, builtInPaletteText(builtInPaletteNames()[k]));
    menuSeparator();
    menuItem(kCommandLoadPalette, "Load palette file...");
    menuItem(kCommandLoadPaletteVga6, "Load palette file, 6-bit...");
    menuItem(kCommandPaletteFromData, "Palette from data...");
    menuItem(kCommandPaletteBase, "Base...");
    closeSubmenu();
    markPalette(viewerState.paletteChoice);
}

bool paletteCommand(int command) {
    if (command >= kCommandFirstPalette && command < kCommandFirstPalette + builtInCount()) {
        useChoice(fromSource(PaletteSource::BuiltIn, builtInPaletteNames()[command - kCommandFirstPalette]));
    } else if (command == kCommandLoadPalette || command == kCommandLoadPaletteVga6) {
        loadPaletteFile(command == kCommandLoadPaletteVga6);
    } else if (command == kCommandPaletteFromData) {
        paletteFromDataCommand();
    } else if (command == kCommandPaletteBase) {
        paletteBaseCommand();
    } else {
        return false;
    }
    // A command on the menu flips its own check mark: put the marks right again.
    markPalette(viewerState.paletteChoice);
    return true;
}

void keepPaletteWithFormat() {
    if (viewerState.paletteMode == viewerState.colourMode ||
        modeRow(viewerState.colourMode, &viewerState.formats.modes) == nullptr)
        return;
    PaletteChoice choice;
    Palette palette;
    bool chosen = false;
    std::string problem;
    const std::string kept = userSetting(readOwnSettings(), settingsKey(viewerState.colourMode));
    // A choice that no longer reads (its file gone or changed) leaves the format's own colours.
    if (!parsePaletteChoice(kept, choice) || !resolvePalette(choice, palette, chosen, problem)) {
        choice = PaletteChoice{};
        resolvePalette(choice, palette, chosen, problem);
    }
    putInPlace(choice, palette, chosen);
}
