#include "graphics/images.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "graphics/drawing_context.h"

namespace {

// Slots never move or disappear while the program runs, so a handle stays a valid address
// after its image is freed; it then simply holds no pixels.
struct ImageTable {
    std::vector<std::unique_ptr<ImageBuffer>> slots;
    ~ImageTable() {
        for (auto& slot : slots) std::free(slot->pixels);
    }
};

ImageTable imageTable;

constexpr size_t kTableStep = 16;

ImageBuffer* slotOf(int number) {
    if (number < 0 || static_cast<size_t>(number) >= imageTable.slots.size()) return nullptr;
    return imageTable.slots[static_cast<size_t>(number)].get();
}

// The slot for a number about to receive an image, growing the table in steps of 16.
ImageBuffer* claimSlot(int number) {
    if (number < 0 || number > kLargestImageNumber) return nullptr;
    size_t needed = static_cast<size_t>(number) + 1;
    if (needed > imageTable.slots.size()) {
        size_t grown = (needed + kTableStep - 1) / kTableStep * kTableStep;
        try {
            imageTable.slots.reserve(grown);
            while (imageTable.slots.size() < grown)
                imageTable.slots.push_back(std::make_unique<ImageBuffer>(ImageBuffer{}));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return imageTable.slots[static_cast<size_t>(number)].get();
}

bool validSide(int side) {
    return side > 0 && side <= kLargestImageSide;
}

// A zero-filled (black) buffer of the given size and depth (24 or 32); no pixels on failure.
ImageBuffer makeBuffer(int width, int height, int depth) {
    ImageBuffer image{};
    if (!validSide(width) || !validSide(height) || (depth != 24 && depth != 32)) return image;
    int64_t stride = rowLength(width, depth);
    image.pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride * height), 1));
    if (image.pixels == nullptr) return image;
    image.width = width;
    image.height = height;
    image.stride = static_cast<int32_t>(stride);
    image.depth = depth;
    image.saveDepth = depth;
    return image;
}

// Every row of a freshly made buffer gets the same pixels, so the first row is built once
// and copied.
void fillBackground(ImageBuffer& image, int32_t background) {
    if (image.depth == 32 && background == -1) return;  // transparent black: already zero
    uint8_t* first = image.pixels;
    int bytesPerPixel = image.depth / 8;
    uint8_t pixel[4] = {static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
                        static_cast<uint8_t>(background), 255};
    for (int x = 0; x < image.width; ++x) std::memcpy(first + x * bytesPerPixel, pixel, bytesPerPixel);
    for (int y = 1; y < image.height; ++y)
        std::memcpy(first + static_cast<int64_t>(y) * image.stride, first, static_cast<size_t>(image.stride));
}

// Puts `made` into slot `number`, releasing what was there.
int storeImage(int number, ImageBuffer made) {
    ImageBuffer* slot = claimSlot(number);
    if (slot == nullptr) {
        std::free(made.pixels);
        return 0;
    }
    releaseImageBuffer(*slot);
    *slot = made;
    return 1;
}

template <typename T>
std::unique_ptr<T[]> allocateArray(int64_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(count)]());
}

void scaleNearest(const ImageBuffer& from, ImageBuffer& to, const int64_t* sourceColumnBytes) {
    int bytesPerPixel = from.depth / 8;
    for (int y = 0; y < to.height; ++y) {
        const uint8_t* source = imageRow(from, static_cast<int64_t>(y) * from.height / to.height);
        uint8_t* target = imageRow(to, y);
        for (int x = 0; x < to.width; ++x)
            std::memcpy(target + x * bytesPerPixel, source + sourceColumnBytes[x], bytesPerPixel);
    }
}

// Along one axis, new pixel j covers [j * from, (j + 1) * from) and old pixel i covers
// [i * to, (i + 1) * to) on a common scale; the overlaps are the weights, which add up to
// `from` for every new pixel.
struct AxisWeights {
    std::unique_ptr<int64_t[]> first;   // first old pixel of each new pixel
    std::unique_ptr<int64_t[]> start;   // index into index/weight of each new pixel, plus an end
    std::unique_ptr<int64_t[]> weight;  // overlaps, in order
    bool ok = false;
};

AxisWeights axisWeights(int64_t from, int64_t to) {
    AxisWeights axis;
    axis.first = allocateArray<int64_t>(to);
    axis.start = allocateArray<int64_t>(to + 1);
    axis.weight = allocateArray<int64_t>(from + to);
    if (!axis.first || !axis.start || !axis.weight) return axis;
    int64_t used = 0;
    for (int64_t j = 0; j < to; ++j) {
        int64_t low = j * from, high = (j + 1) * from;
        axis.first[j] = low / to;
        axis.start[j] = used;
        for (int64_t i = low / to; i * to < high; ++i)
            axis.weight[used++] = std::min((i + 1) * to, high) - std::max(i * to, low);
    }
    axis.start[to] = used;
    axis.ok = true;
    return axis;
}

bool scaleAveraging(const ImageBuffer& from, ImageBuffer& to) {
    const int channels = from.depth / 8;
    AxisWeights across = axisWeights(from.width, to.width);
    AxisWeights down = axisWeights(from.height, to.height);
    auto sums = allocateArray<uint64_t>(static_cast<int64_t>(to.width) * channels);
    if (!across.ok || !down.ok || !sums) return false;
    const uint64_t total = static_cast<uint64_t>(from.width) * static_cast<uint64_t>(from.height);
    const int64_t rowValues = static_cast<int64_t>(to.width) * channels;
    for (int y = 0; y < to.height; ++y) {
        std::fill(sums.get(), sums.get() + rowValues, 0);
        for (int64_t k = down.start[y]; k < down.start[y + 1]; ++k) {
            const uint64_t rowWeight = static_cast<uint64_t>(down.weight[k]);
            const uint8_t* source = imageRow(from, down.first[y] + (k - down.start[y]));
            for (int x = 0; x < to.width; ++x) {
                const uint8_t* pixel = source + across.first[x] * channels;
                for (int64_t m = across.start[x]; m < across.start[x + 1]; ++m, pixel += channels) {
                    const uint64_t weight = rowWeight * static_cast<uint64_t>(across.weight[m]);
                    for (int c = 0; c < channels; ++c) sums[x * channels + c] += weight * pixel[c];
                }
            }
        }
        uint8_t* target = imageRow(to, y);
        for (int x = 0; x < to.width; ++x)
            for (int c = 0; c < channels; ++c)
                target[x * channels + c] = static_cast<uint8_t>((sums[x * channels + c] + total / 2) / total);
    }
    return true;
}

bool scaleImage(const ImageBuffer& from, ImageBuffer& to, int mode) {
    if (mode == 0) return scaleAveraging(from, to);
    auto columns = allocateArray<int64_t>(to.width);
    if (!columns) return false;
    for (int x = 0; x < to.width; ++x)
        columns[x] = static_cast<int64_t>(x) * from.width / to.width * (from.depth / 8);
    scaleNearest(from, to, columns.get());
    return true;
}

}  // namespace

int32_t rgb(int32_t r, int32_t g, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(r) + static_cast<uint32_t>(g) * 256u +
                                static_cast<uint32_t>(b) * 65536u);
}

int64_t rowLength(int64_t width, int depth) {
    if (width < 0) return 0;
    return depth == 24 ? (3 * width + 3) / 4 * 4 : 4 * width;
}

void compositeOverWhite(const uint8_t* source, uint8_t* target, int64_t count, int targetStep) {
    for (int64_t i = 0; i < count; ++i, source += 4, target += targetStep) {
        const int alpha = source[3];
        for (int c = 0; c < 3; ++c)
            target[c] = static_cast<uint8_t>((alpha * (source[c] - 255) + 65025) / 255);
    }
}

int createImage(int number, int width, int height) {
    return createImage(number, width, height, 24, 0);
}

ImageBuffer makeImageBuffer(int width, int height, int depth, int32_t background) {
    ImageBuffer made = makeBuffer(width, height, depth < 24 ? 24 : depth);
    if (made.pixels != nullptr) fillBackground(made, background);
    return made;
}

void releaseImageBuffer(ImageBuffer& image) {
    if (image.pixels == nullptr) return;
    forgetDrawingOn(image.pixels);
    std::free(image.pixels);
    image = ImageBuffer{};
}

int createImage(int number, int width, int height, int depth, int32_t background) {
    if (number < 0) return 0;
    if (ImageBuffer* old = slotOf(number)) releaseImageBuffer(*old);
    ImageBuffer made = makeImageBuffer(width, height, depth, background);
    if (made.pixels == nullptr) return 0;
    return storeImage(number, made);
}

int freeImage(int number) {
    if (number == -1) {
        int freed = 0;
        for (auto& slot : imageTable.slots) {
            if (slot->pixels == nullptr) continue;
            releaseImageBuffer(*slot);
            freed = 1;
        }
        return freed;
    }
    ImageBuffer* slot = slotOf(number);
    if (slot == nullptr || slot->pixels == nullptr) return 0;
    releaseImageBuffer(*slot);
    return 1;
}

ImageBuffer* imageBuffer(int number) {
    ImageBuffer* slot = slotOf(number);
    return slot != nullptr && slot->pixels != nullptr ? slot : nullptr;
}

ImageHandle imageHandle(int number) {
    return imageBuffer(number);
}

int copyImageRect(int source, int destination, int x, int y, int width, int height) {
    const ImageBuffer* from = imageBuffer(source);
    if (from == nullptr || destination < 0 || destination > kLargestImageNumber) return 0;
    ImageBuffer made = makeBuffer(width, height, from->depth);
    if (made.pixels == nullptr) return 0;
    made.saveDepth = from->saveDepth;

    const int64_t bytesPerPixel = from->depth / 8;
    const int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(int64_t{x} + width, from->width);
    const int64_t top = std::max<int64_t>(y, 0),
                  bottom = std::min<int64_t>(int64_t{y} + height, from->height);
    for (int64_t row = top; row < bottom && left < right; ++row)
        std::memcpy(imageRow(made, row - y) + (left - x) * bytesPerPixel,
                    imageRow(*from, row) + left * bytesPerPixel,
                    static_cast<size_t>((right - left) * bytesPerPixel));
    return storeImage(destination, made);
}

int resizeImage(int number, int width, int height, int mode) {
    ImageBuffer* image = imageBuffer(number);
    if (image == nullptr) return 0;
    if (width == kKeepSize) width = image->width;
    if (height == kKeepSize) height = image->height;
    if (width == image->width && height == image->height) return 1;

    ImageBuffer made = makeBuffer(width, height, image->depth);
    if (made.pixels != nullptr && !scaleImage(*image, made, mode)) {
        std::free(made.pixels);
        made.pixels = nullptr;
    }
    made.saveDepth = image->saveDepth;
    releaseImageBuffer(*image);
    if (made.pixels == nullptr) return 0;
    *image = made;
    return 1;
}
