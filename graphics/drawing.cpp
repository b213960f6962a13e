#include "graphics/drawing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

thread_local constinit DrawingContext drawingContext;

namespace {

// Writes `count` pixels of the colour from `pixel` on. Long spans of a 24-bit target go
// four pixels (12 bytes) at a time.
void writeSpan(const DrawingContext& context, uint8_t* pixel, int64_t count, int32_t colour) {
    if (context.bytesPerPixel == 3 && count >= 8) {
        uint8_t four[12];
        for (int i = 0; i < 4; ++i) writePixel(four + 3 * i, colour);
        for (; count >= 4; count -= 4, pixel += 12) std::memcpy(pixel, four, 12);
    }
    for (; count > 0; --count, pixel += context.bytesPerPixel) writePixel(pixel, colour);
}

uint8_t* pixelAt(const DrawingContext& context, int64_t x, int64_t y) {
    return context.topRow + y * context.rowStep + x * context.bytesPerPixel;
}

// Turns negative sizes over, clips to the target and fills what is left. Works in 64 bits,
// so no argument of int range can overflow.
void clipAndFill(const DrawingContext& context, int64_t x, int64_t y, int64_t width, int64_t height,
                 int32_t colour) {
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    if (x < 0) {
        width += x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        y = 0;
    }
    if (x + width > context.width) width = context.width - x;
    if (y + height > context.height) height = context.height - y;
    if (width <= 0 || height <= 0) return;
    uint8_t* row = pixelAt(context, x, y);
    for (int64_t line = 0; line < height; ++line, row += context.rowStep)
        writeSpan(context, row, width, colour);
}

// Integer Bresenham from the end with the smaller major coordinate. Only the steps whose
// major coordinate lies on the target are walked: the minor coordinate and decision value
// at the first of them are computed directly (minor = round half up of k * minor / major),
// so the visible pixels are exactly those of the whole line.
void drawSlopedLine(const DrawingContext& context, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                    int32_t colour) {
    const bool alongX = std::abs(x2 - x1) >= std::abs(y2 - y1);
    int64_t a0 = alongX ? x1 : y1, b0 = alongX ? y1 : x1;
    int64_t a1 = alongX ? x2 : y2, b1 = alongX ? y2 : x2;
    if (a0 > a1) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    const int64_t major = a1 - a0, minor = std::abs(b1 - b0), towards = b1 > b0 ? 1 : -1;
    const int64_t majorLimit = alongX ? context.width : context.height;
    const int64_t minorLimit = alongX ? context.height : context.width;

    const int64_t firstStep = std::max<int64_t>(0, -a0);
    const int64_t lastStep = std::min<int64_t>(major, majorLimit - 1 - a0);
    if (firstStep > lastStep) return;
    using Wide = __int128;
    int64_t moved = static_cast<int64_t>((Wide{2} * firstStep * minor + major) / (Wide{2} * major));
    int64_t decision =
        static_cast<int64_t>(Wide{2} * (firstStep + 1) * minor - major - Wide{2} * moved * major);

    for (int64_t step = firstStep; step <= lastStep; ++step) {
        const int64_t b = b0 + towards * moved;
        if (b >= 0 && b < minorLimit) {
            writePixel(alongX ? pixelAt(context, a0 + step, b) : pixelAt(context, b, a0 + step), colour);
        }
        if (decision >= 0) {
            ++moved;
            decision += 2 * (minor - major);
        } else {
            decision += 2 * minor;
        }
    }
}

bool isDrawableImage(ImageHandle image) {
    return image != nullptr && image->pixels != nullptr && image->width > 0 && image->height > 0 &&
           (image->depth == 24 || image->depth == 32) &&
           image->stride >= rowLength(image->width, image->depth);
}

bool sharesMemory(const ImageBuffer& image, const DrawingContext& context) {
    const uintptr_t imageStart = reinterpret_cast<uintptr_t>(image.pixels);
    const uintptr_t imageEnd = imageStart + static_cast<uintptr_t>(int64_t{image.stride} * image.height);
    const uintptr_t targetStart = reinterpret_cast<uintptr_t>(context.pixels);
    const uintptr_t targetEnd = targetStart + static_cast<uintptr_t>(context.bufferBytes);
    return imageStart < targetEnd && targetStart < imageEnd;
}

// Copies `count` pixels of one source row onto the target row. A 32-bit source is laid
// over the target by its alpha; the fourth byte of a 32-bit target is never changed.
void copyRowSpan(const DrawingContext& context, uint8_t* target, const uint8_t* source, int64_t count,
                 int sourceDepth) {
    if (sourceDepth == 24 && context.bytesPerPixel == 3) {
        std::memcpy(target, source, static_cast<size_t>(count * 3));
        return;
    }
    for (int64_t i = 0; i < count; ++i, target += context.bytesPerPixel) {
        if (sourceDepth == 24) {
            std::memcpy(target, source, 3);
            source += 3;
            continue;
        }
        const unsigned alpha = source[3];
        for (int c = 0; c < 3; ++c)
            target[c] = static_cast<uint8_t>((source[c] * alpha + target[c] * (255 - alpha) + 127) / 255);
        source += 4;
    }
}

// Rows first to last (excluded) in the order they lie in memory: on a large target a walk down
// through memory took twice as long as one up, for reads four times.
template <typename Draw>
void forRowsInMemoryOrder(const DrawingContext& context, int64_t first, int64_t last, Draw draw) {
    if (context.rowStep < 0) {
        for (int64_t y = last - 1; y >= first; --y) draw(y);
    } else {
        for (int64_t y = first; y < last; ++y) draw(y);
    }
}

// The lines that lie on the target, in their order.
std::vector<ColumnLine> linesOnTarget(const DrawingContext& context, const ColumnLine* lines, size_t count) {
    std::vector<ColumnLine> shown;
    for (size_t n = 0; n < count; ++n)
        if (lines[n].x >= 0 && lines[n].x < context.width) shown.push_back(lines[n]);
    return shown;
}

void drawLinesOnRow(const DrawingContext& context, const std::vector<ColumnLine>& lines, int64_t y) {
    uint8_t* row = pixelAt(context, 0, y);
    for (const ColumnLine& line : lines)
        writePixel(row + int64_t{line.x} * context.bytesPerPixel, line.colour);
}

// The column lines over the pixels left to right (excluded) of a 24-bit row, to lay over a copy
// of the row: each line's blue, green, red bytes where it lies and a mask of 0xFF there, 0 elsewhere.
struct RowOverlay {
    std::vector<uint8_t> bytes, mask;
};

RowOverlay overlayOfLines(const std::vector<ColumnLine>& lines, int64_t left, int64_t right) {
    const auto size = static_cast<size_t>((right - left) * 3);
    RowOverlay overlay{std::vector<uint8_t>(size), std::vector<uint8_t>(size)};
    for (const ColumnLine& line : lines) {
        if (line.x < left || line.x >= right) continue;
        const auto at = static_cast<size_t>((line.x - left) * 3);
        writePixel(&overlay.bytes[at], line.colour);
        std::memset(&overlay.mask[at], 0xFF, 3);
    }
    return overlay;
}

std::vector<ColumnLine> linesBesideSpan(const std::vector<ColumnLine>& lines, int64_t left, int64_t right) {
    std::vector<ColumnLine> beside;
    for (const ColumnLine& line : lines)
        if (line.x < left || line.x >= right) beside.push_back(line);
    return beside;
}

// A row copied with the lines laid over it, in one pass the compiler makes vector code of.
void copyRowUnderOverlay(uint8_t* __restrict target, const uint8_t* __restrict source,
                         const RowOverlay& overlay) {
    const uint8_t* __restrict bytes = overlay.bytes.data();
    const uint8_t* __restrict mask = overlay.mask.data();
    for (size_t i = 0; i < overlay.bytes.size(); ++i)
        target[i] = static_cast<uint8_t>((source[i] & ~mask[i]) | bytes[i]);
}

}  // namespace

DrawTarget imageTarget(int number) {
    DrawTarget target;
    ImageBuffer* image = imageBuffer(number);
    if (image == nullptr) return target;
    target.pixels = image->pixels;
    target.stride = image->stride;
    target.width = image->width;
    target.height = image->height;
    target.bytesPerPixel = image->depth / 8;
    target.bottomUp = true;
    target.owner = number;
    return target;
}

int beginDrawing(const DrawTarget& target) {
    DrawingContext& context = drawingContext;
    if (context.open || target.pixels == nullptr || target.width <= 0 || target.height <= 0) return 0;
    if (target.bytesPerPixel != 3 && target.bytesPerPixel != 4) return 0;
    if (target.stride < int64_t{target.width} * target.bytesPerPixel) return 0;

    const int64_t stride = target.stride;
    context = DrawingContext{};
    context.pixels = target.pixels;
    context.topRow = target.bottomUp ? target.pixels + (target.height - 1) * stride : target.pixels;
    context.rowStep = target.bottomUp ? -stride : stride;
    context.bufferBytes = stride * target.height;
    context.width = target.width;
    context.height = target.height;
    context.bytesPerPixel = target.bytesPerPixel;
    context.inlineWidth = target.bytesPerPixel == 3 ? target.width : 0;
    context.onEnd = target.onEnd;
    context.owner = target.owner;
    context.open = true;
    return 1;
}

void endDrawing() {
    DrawingContext& context = drawingContext;
    if (!context.open) return;
    void (*onEnd)(int) = context.onEnd;
    const int owner = context.owner;
    context = DrawingContext{};
    if (onEnd != nullptr) onEnd(owner);
}

void fillBoxGeneral(int x, int y, int width, int height, int32_t colour) {
    if (drawingContext.open) clipAndFill(drawingContext, x, y, width, height, colour);
}

void drawLine(int x1, int y1, int x2, int y2, int32_t colour) {
    DrawingContext& context = drawingContext;
    if (!context.open) return;
    if (y1 == y2) {
        if (y1 < 0 || y1 >= context.height) return;
        clipAndFill(context, std::min(x1, x2), y1, std::abs(int64_t{x2} - x1) + 1, 1, colour);
    } else if (x1 == x2) {
        if (x1 < 0 || x1 >= context.width) return;
        clipAndFill(context, x1, std::min(y1, y2), 1, std::abs(int64_t{y2} - y1) + 1, colour);
    } else {
        drawSlopedLine(context, x1, y1, x2, y2, colour);
    }
}

void drawColumnLines(const ColumnLine* lines, size_t count, int top, int bottom) {
    const DrawingContext& context = drawingContext;
    if (!context.open) return;
    const std::vector<ColumnLine> shown = linesOnTarget(context, lines, count);
    const int64_t first = std::max<int64_t>(std::min(top, bottom), 0);
    const int64_t last = std::min<int64_t>(std::max(top, bottom), int64_t{context.height} - 1);
    if (shown.empty()) return;
    forRowsInMemoryOrder(context, first, last + 1, [&](int64_t y) { drawLinesOnRow(context, shown, y); });
}

void drawImage(ImageHandle image, int x, int y) {
    drawImageUnderColumnLines(image, x, y, nullptr, 0);
}

void drawImageUnderColumnLines(ImageHandle image, int x, int y, const ColumnLine* lines, size_t count) {
    DrawingContext& context = drawingContext;
    if (!context.open || !isDrawableImage(image)) return;
    const int64_t left = std::max<int64_t>(x, 0),
                  right = std::min<int64_t>(int64_t{x} + image->width, context.width);
    const int64_t top = std::max<int64_t>(y, 0),
                  bottom = std::min<int64_t>(int64_t{y} + image->height, context.height);
    if (left >= right || top >= bottom) return;

    // Drawing an image onto itself reads from a copy, so no pixel is read after it was written.
    ImageBuffer source = *image;
    std::unique_ptr<uint8_t[]> copy;
    if (sharesMemory(*image, context)) {
        const size_t bytes = static_cast<size_t>(int64_t{image->stride} * image->height);
        copy.reset(new (std::nothrow) uint8_t[bytes]);
        if (!copy) return;
        std::memcpy(copy.get(), image->pixels, bytes);
        source.pixels = copy.get();
    }
    const std::vector<ColumnLine> shown = linesOnTarget(context, lines, count);
    const int64_t sourceBytesPerPixel = source.depth / 8;
    const auto sourceAt = [&](int64_t row) {
        return imageRow(source, row - y) + (left - x) * sourceBytesPerPixel;
    };
    if (source.depth == 24 && context.bytesPerPixel == 3 && !shown.empty()) {
        const RowOverlay overlay = overlayOfLines(shown, left, right);
        const std::vector<ColumnLine> beside = linesBesideSpan(shown, left, right);
        forRowsInMemoryOrder(context, top, bottom, [&](int64_t row) {
            copyRowUnderOverlay(pixelAt(context, left, row), sourceAt(row), overlay);
            drawLinesOnRow(context, beside, row);
        });
        return;
    }
    forRowsInMemoryOrder(context, top, bottom, [&](int64_t row) {
        copyRowSpan(context, pixelAt(context, left, row), sourceAt(row), right - left, source.depth);
        drawLinesOnRow(context, shown, row);
    });
}
