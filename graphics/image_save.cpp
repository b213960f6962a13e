#include "graphics/image_save.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "graphics/bmp_writer.h"
#include "graphics/images.h"

namespace {

struct Encoder {
    int32_t identifier;
    EncoderEntry save24;
    EncoderEntry save32;
};

std::vector<Encoder> encoders;

const Encoder* findEncoder(int32_t identifier) {
    for (const Encoder& encoder : encoders)
        if (encoder.identifier == identifier) return &encoder;
    return nullptr;
}

// Hands a 32-bit image to an encoder's 24-bit entry as a packed 24-bit copy laid over white.
int saveOverWhite(const Encoder& encoder, const ImageBuffer& image, const std::string& fileName) {
    const int64_t stride = rowLength(image.width, 24);
    auto* copy = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride * image.height), 1));
    if (copy == nullptr) return 0;
    for (int64_t row = 0; row < image.height; ++row)
        compositeOverWhite(image.pixels + row * image.stride, copy + row * stride, image.width, 3);
    int result = encoder.save24(fileName, copy, image.width, image.height, static_cast<int>(stride),
                                kRowsBottomUp, kPaletteOptions, image.saveDepth);
    std::free(copy);
    return result;
}

}  // namespace

void registerEncoder(int32_t identifier, EncoderEntry save24, EncoderEntry save32) {
    if (save24 == nullptr) return;
    try {
        encoders.push_back(Encoder{identifier, save24, save32});
    } catch (const std::bad_alloc&) {
    }
}

int saveImage(int number, const std::string& fileName, int32_t encoder) {
    const ImageBuffer* image = imageBuffer(number);
    if (fileName.empty() || image == nullptr) return 0;
    const int outputDepth = image->saveDepth;
    if (encoder == kEncoderBmp)
        return writeBmp(fileName, image->pixels, image->stride, image->width, image->height, image->depth,
                        kRowsBottomUp, kPaletteOptions, outputDepth);

    const Encoder* entry = findEncoder(encoder);
    if (entry == nullptr) return 0;
    if (image->depth == 32 && (entry->save32 == nullptr || outputDepth != 32))
        return saveOverWhite(*entry, *image, fileName);
    EncoderEntry save = image->depth == 32 ? entry->save32 : entry->save24;
    return save(fileName, image->pixels, image->width, image->height, image->stride, kRowsBottomUp,
                kPaletteOptions, outputDepth);
}

int saveImage(int number, const std::string& fileName, const std::string& encoderName) {
    if (encoderName.size() != 3) return 0;
    int32_t identifier = 0;
    for (size_t i = 0; i < 3; ++i)
        identifier |= static_cast<int32_t>(static_cast<uint8_t>(encoderName[i])) << (8 * i);
    return saveImage(number, fileName, identifier);
}
