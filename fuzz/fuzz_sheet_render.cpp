// The direct writer gives exactly the pixels of the drawing with one box per pixel, with every
// kernel table and at any view size, in every built-in format and in formats of wider values.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_folder.h"
#include "graphics/images.h"
#include "tests/viewer/engine/sheet_reference.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/pixel_kernel_tables.h"

namespace {

// Formats of values over 8 bits beside the built-ins: whole words of both byte orders, in groups
// and double-wide, and values bit by bit in tiles; direct colours, grey levels, palette numbers.
// Added once a run: the formats' records must stay where they are.
const FormatFiles& wideFormats() {
    static FormatFiles formats;
    if (!formats.files.empty()) return formats;
    const char* const texts[] = {
        "name = A\nid = a\nlayout = linear\nwidth-pixels = 1\nwidth-bytes = 2\nbits = 16\nvalue = 2 le\n"
        "colours = direct F800 07E0 001F\n",
        "name = B\nid = b\nlayout = linear\nwidth-pixels = 2\nwidth-bytes = 7\nunit = 2\nbits = 24\n"
        "value = 3 be\ngroup = 2 7.0\ncolours = direct FF0000 FF00 F0F\n",
        "name = C\nid = c\nlayout = tiled\ntile = 3 2\ntile-bytes = 9\nbits = 12\nbit-order = lsb\n"
        "bit 0 = 0.0\nbit 1 = 0.1\nbit 2 = 0.2\nbit 3 = 0.3\nbit 4 = 0.4\nbit 5 = 0.5\nbit 6 = 0.6\n"
        "bit 7 = 0.7\nbit 8 = 1.0\nbit 9 = 1.1\nbit 10 = 1.2\nbit 11 = 1.3\nstep-x = 1.4\nstep-y = 4.4\n",
        "name = D\nid = d\nlayout = linear\nwidth-pixels = 1\nwidth-bytes = 4\nbits = 32\nvalue = 4 be\n"
        "colours = palette ega\n",
    };
    for (const char* text : texts) check(addFormatText(formats, text, "fuzz").mode >= 0);
    return formats;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const AddedModes* added = &wideFormats().modes;
    FuzzedDataProvider input(data, size);
    const int mode = input.ConsumeIntegralInRange(0, modeCount(added) - 1);
    const int table = input.ConsumeIntegralInRange(0, 2);
    const PixelKernels* avx2 = pixelKernelsNamed("avx2");
    const PixelKernels& kernels = table == 0                      ? portablePixelKernels()
                                  : table == 1 && avx2 != nullptr ? *avx2
                                                                  : fastestPixelKernels();
    // Mostly the starting view; else one of any size up to a little over a large window's.
    const bool otherSize = input.ConsumeIntegralInRange(0, 3) == 0;
    const int viewWidth = otherSize ? input.ConsumeIntegralInRange(1, 1400) : kViewWidth;
    const int viewHeight = otherSize ? input.ConsumeIntegralInRange(1, 1100) : kStartViewHeight;
    const int width = input.ConsumeIntegralInRange(1, kMaxBytesPerRow);
    const int zoom = 1 << input.ConsumeIntegralInRange(0, 3);
    const bool anyFirst = input.ConsumeBool();
    const int32_t first =
        anyFirst ? input.ConsumeIntegral<int32_t>() : input.ConsumeIntegralInRange(-5000, 200000);
    const int options = input.ConsumeIntegralInRange(0, 15);
    // The data repeats the remaining input up to a length of its own, long enough for strips.
    const size_t length = input.ConsumeIntegralInRange<size_t>(1, 200000);
    const std::vector<uint8_t> pattern = input.ConsumeRemainingBytes<uint8_t>();
    std::vector<uint8_t> bytes(length);
    for (size_t n = 0; n < length && !pattern.empty(); ++n) bytes[n] = pattern[n % pattern.size()];
    TestView view = testView(bytes, mode, width, zoom, first, options);
    view.options.kernels = &kernels;
    view.options.addedModes = added;
    view.options.viewWidth = viewWidth;
    view.options.viewHeight = viewHeight;
    const ImageBuffer* made = imageBuffer(kSheetImage);
    if (made == nullptr || made->width != viewWidth || made->height != viewHeight)
        check(createImage(kSheetImage, viewWidth, viewHeight) != 0);

    const ImageBuffer* image = imageBuffer(kSheetImage);
    const size_t imageBytes = static_cast<size_t>(image->stride) * image->height;
    check(drawSheetByBoxes(view));
    const std::vector<uint8_t> byBoxes(image->pixels, image->pixels + imageBytes);
    std::memset(image->pixels, 0x55, imageBytes);  // a grey neither drawing uses
    check(drawTestView(view) == SheetResult::Drawn);
    // The pixels of every row; neither drawing writes the padding at a row's end.
    const size_t rowBytes = static_cast<size_t>(image->width) * 3;
    for (size_t row = 0; row < static_cast<size_t>(image->height); ++row)
        check(std::memcmp(image->pixels + row * image->stride, byBoxes.data() + row * image->stride,
                          rowBytes) == 0);
    return 0;
}
