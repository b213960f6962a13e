#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_folder.h"
#include "viewer/engine/palette_choice.h"

// A palette choice kept in the settings file: any line either fails and leaves the choice, or
// reads as a choice that writes a line reading back the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PaletteChoice choice;
    const std::string before = paletteChoiceText(choice);
    if (!parsePaletteChoice(text, choice)) {
        check(paletteChoiceText(choice) == before);
        return 0;
    }
    const std::string written = paletteChoiceText(choice);
    PaletteChoice again;
    check(parsePaletteChoice(written, again) && paletteChoiceText(again) == written);
    paletteChoiceWords(choice);
    return 0;
}
