// The direct writer gives exactly the pixels of the drawing with one box per pixel, with every
// kernel table and at any view size.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_folder.h"
#include "graphics/images.h"
#include "tests/viewer/engine/sheet_reference.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/pixel_kernel_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int mode = input.ConsumeIntegralInRange(0, kModeTableSize - 1);
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
