// A palette file's bytes: read without fault, as 1 to 256 colours or one message; and colours
// from any data in every encoding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_folder.h"
#include "viewer/engine/palettes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const char* extensions[] = {"", ".pal", ".act", ".gpl", ".png", ".bmp"};
    const char* extension = extensions[input.ConsumeIntegralInRange(0, 5)];
    const bool vga6 = input.ConsumeBool();
    const int64_t offset = input.ConsumeIntegralInRange<int64_t>(-600, 600);
    const int count = input.ConsumeIntegralInRange(0, 300);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const PaletteRead read = readPaletteBytes(bytes, extension, vga6);
    check(read.ok ? !read.palette.colours.empty() && read.palette.colours.size() <= kMostPaletteColours &&
                        read.problem.empty()
                  : !read.problem.empty() && read.palette.colours.empty());
    const DataBytes asData{reinterpret_cast<const uint8_t*>(bytes.data()),
                           static_cast<int64_t>(bytes.size())};
    for (const char* name : {"rgb24", "bgr24", "vga6", "bgr555", "genesis", "amiga12", "st9", "nes"}) {
        PaletteEncoding encoding{};
        check(paletteEncodingNamed(name, encoding));
        const Palette palette = paletteFromData(asData, offset, count, encoding);
        check(!palette.colours.empty() && palette.colours.size() <= kMostPaletteColours);
        for (const int32_t colour : palette.colours) check((colour & ~0xFFFFFF) == 0);
    }
    return 0;
}
