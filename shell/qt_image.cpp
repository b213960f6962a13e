#include "shell/qt_image.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Pictures of at least this many bytes are written round the caches: no cache line is read before
// it is written over, and the caches keep what is read next. Smaller ones stay in the caches.
constexpr int64_t kStreamedPictureBytes = int64_t{8} << 20;

// A pixel's blue, green, red bytes as an opaque RGB32 word.
uint32_t rgb32Pixel(const uint8_t* source) {
    return 0xFF000000u | (uint32_t{source[2]} << 16) | (uint32_t{source[1]} << 8) | source[0];
}

// The same from one four-byte load, which reads the next pixel's first byte: on a little-endian
// processor the three bytes read as a word are already RGB32's 0xRRGGBB.
uint32_t rgb32PixelAndNext(const uint8_t* source) {
    uint32_t word;
    std::memcpy(&word, source, 4);
    return 0xFF000000u | word;
}

#if defined(__x86_64__)
bool hasByteShuffles() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}

// Pixels from `x` on, four a 16-byte store at `row + x` (on a 16-byte boundary when `streamed`),
// while the 16-byte load of four pixels stays within the row's pixels. Returns where it stopped.
__attribute__((target("ssse3"))) int shuffleFourPixels(const uint8_t* source, uint32_t* row, int x, int width,
                                                       bool streamed) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; x + 6 <= width; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 3 * x));
        const __m128i pixels = _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque);
        if (streamed)
            _mm_stream_si128(reinterpret_cast<__m128i*>(row + x), pixels);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), pixels);
    }
    return x;
}
#endif

void copyRow(const uint8_t* source, uint32_t* row, int width, [[maybe_unused]] bool streamed) {
    int x = 0;
#if defined(__x86_64__)
    if (hasByteShuffles()) {
        if (streamed) {
            const int head = std::min<int>(width, (16 - reinterpret_cast<uintptr_t>(row) % 16) % 16 / 4);
            for (; x < head; ++x) row[x] = rgb32Pixel(source + 3 * x);
        }
        x = shuffleFourPixels(source, row, x, width, streamed);
    }
#endif
    if (std::endian::native == std::endian::little)
        for (; x + 1 < width; ++x) row[x] = rgb32PixelAndNext(source + 3 * x);
    for (; x < width; ++x) row[x] = rgb32Pixel(source + 3 * x);
}

}  // namespace

// The rows are walked in the source's memory order, bottom row first: walked down through memory,
// the reads of a 4K picture took four times as long.
void copyToRgb32(const ImageBuffer& image, const QRect& area, uchar* rows, qsizetype rowBytes) {
    if (area.isEmpty()) return;
    const bool streamed = int64_t{area.width()} * area.height() * 4 >= kStreamedPictureBytes &&
                          reinterpret_cast<uintptr_t>(rows) % 4 == 0 && rowBytes % 4 == 0;
    for (int y = area.bottom(); y >= area.top(); --y)
        copyRow(imageRow(image, y) + 3 * area.left(),
                reinterpret_cast<uint32_t*>(rows + (y - area.top()) * rowBytes), area.width(), streamed);
#if defined(__x86_64__)
    if (streamed) _mm_sfence();
#endif
}

void copyToQImage(const ImageBuffer& image, QImage& target) {
    if (target.width() != image.width || target.height() != image.height ||
        target.format() != QImage::Format_RGB32)
        target = QImage(image.width, image.height, QImage::Format_RGB32);
    copyToRgb32(image, QRect(0, 0, image.width, image.height), target.bits(), target.bytesPerLine());
}
