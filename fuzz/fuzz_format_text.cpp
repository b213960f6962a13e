// A format file's text: read without fault; what reads written back reads the same; the format's
// decoder gives each pixel the value that the bit formula of the format file gives it; and the
// view of it draws the pixels of the drawing with one box per pixel.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_folder.h"
#include "graphics/images.h"
#include "tests/viewer/engine/sheet_reference.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/format_text.h"
#include "viewer/engine/pixel_kernel_tables.h"

namespace {

// Value bit K at bit address 8 (B + M W) + P_K + P from the cell's first byte, as the file
// format states it, apart from the decoders.
uint32_t formulaValue(const FormatDescription& d, const UnitBytes& unit, int x, int y) {
    const PixelLayout& l = d.record.pixels;
    const int64_t groups = l.groupPixels == 0 ? 0 : x / l.groupPixels;
    const int64_t inGroup = l.groupPixels == 0 ? x : x % l.groupPixels;
    const int64_t p = int64_t{y} * l.stepY + groups * l.groupStep + inGroup * l.stepX;
    uint32_t value = 0;
    for (int k = 0; k < d.record.bits; ++k) {
        const int64_t a = d.valueBits[k].bits + 8 * int64_t{d.valueBits[k].widths} * unit.width + p;
        const int shift = l.order == BitOrder::Msb ? 7 - static_cast<int>(a % 8) : static_cast<int>(a % 8);
        value |= static_cast<uint32_t>((unit.at(a / 8) >> shift) & 1) << k;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool imageMade = createImage(kSheetImage, kViewWidth, 128) != 0;
    check(imageMade);
    FuzzedDataProvider input(data, size);
    const int width = input.ConsumeIntegralInRange(1, kMaxBytesPerRow);
    const int zoom = 1 << input.ConsumeIntegralInRange(0, 3);
    const int options = input.ConsumeIntegralInRange(0, 15);
    const int first = input.ConsumeIntegralInRange(-3000, 3000);
    const PixelKernels& kernels = input.ConsumeBool() ? portablePixelKernels() : fastestPixelKernels();
    const std::string text = input.ConsumeRemainingBytesAsString();

    const FormatParse parse = parseFormatText(text);
    if (!parse.ok) {
        check(parse.line >= 1 && !parse.problem.empty());
        return 0;
    }
    FormatDescription d = parse.format;
    d.record.menuText = d.name.c_str();
    d.record.cliName = d.id.c_str();
    const FormatParse again = parseFormatText(formatText(d.record));
    check(again.ok);
    FormatDescription back = again.format;
    back.record.menuText = d.name.c_str();
    back.record.cliName = d.id.c_str();
    check(formatText(back.record) == formatText(d.record));

    FormatFiles formats;
    const FormatLoad load = addFormatText(formats, text, "fuzz");
    if (load.mode < 0) return 0;
    // Bytes from the text, repeated, with some zero runs.
    std::vector<uint8_t> bytes(8192);
    for (size_t n = 0; n < bytes.size(); ++n)
        bytes[n] = static_cast<uint8_t>(text[n % text.size()] * (n / 7));
    const ModeRow& row = *modeRow(load.mode, &formats.modes);
    const ViewGeometry g = viewGeometry(load.mode, &formats.modes, width, 1, 1);
    const UnitBytes unit{bytes.data(), static_cast<int64_t>(bytes.size()),
                         transformTable(false, false, false).data(), first, width};
    const int pixels = static_cast<int>(std::min<int64_t>(g.unitWidth / row.pixelWidth, 1024));
    uint8_t packed[2048];
    uint32_t values[1024];
    for (int y = 0; y < g.unitHeight; y += 1 + g.unitHeight / 4) {
        if (row.wide) {
            decodeWideRow(row, unit, y, pixels, values);
        } else {
            decodeUnitRow(row, unit, y, pixels, packed);
        }
        for (int x = 0; x < pixels; ++x)
            check((row.wide ? values[x] : static_cast<uint32_t>(packedPixel(packed, x, row.packBits))) ==
                  formulaValue(d, unit, x, y));
    }

    TestView view = testView(bytes, load.mode, width, zoom, first, options);
    view.options.viewHeight = 128;
    view.options.kernels = &kernels;
    view.options.addedModes = &formats.modes;
    const ImageBuffer* image = imageBuffer(kSheetImage);
    const size_t imageBytes = static_cast<size_t>(image->stride) * image->height;
    check(drawSheetByBoxes(view));
    const std::vector<uint8_t> byBoxes(image->pixels, image->pixels + imageBytes);
    std::memset(image->pixels, 0x55, imageBytes);
    check(drawTestView(view) == SheetResult::Drawn);
    check(std::memcmp(image->pixels, byBoxes.data(), imageBytes) == 0);
    return 0;
}
