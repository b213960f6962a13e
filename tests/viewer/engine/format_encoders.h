// Pictures put into each built-in format (but the ZX screen) by small encoders written from the
// machines' own descriptions, not from the decoders. Shared by the tests and by the finder's
// evaluation (bench/), which packs real pictures in every format with them.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

// Bit address (8 x byte + position, position 0 the byte's top bit) of value bit b of pixel (x, y) of a
// picture w pixels wide. Tiles go left to right, then down.
using PictureBit = int (*)(int x, int y, int b, int w);

inline int tileAt(int x, int y, int w, int tileWidth, int tileBytes) {
    return (y / 8 * (w / tileWidth) + x / tileWidth) * tileBytes;
}

// The position of bit n (0 = least significant) of a byte.
inline int top(int n) {
    return 7 - n;
}

struct FormatEncoder {
    const char* mode;  // the format's CLI name
    int bits;          // value bits of a pixel
    int across;        // pixels per byte of width (linear, byte cells) or per tile (tiled)
    PictureBit at;
};

// clang-format off
inline const FormatEncoder kFormatEncoders[] = {
    {"binary", 1, 8, [](int x, int y, int, int w) { return y * w + x; }},
    {"atari", 2, 4, [](int x, int y, int b, int w) { return 8 * (y * w / 4 + x / 4) + top(6 - 2 * (x % 4) + b); }},
    {"bk", 2, 4, [](int x, int y, int b, int w) { return 8 * (y * w / 4 + x / 4) + top(2 * (x % 4) + b); }},
    {"sam", 4, 2, [](int x, int y, int b, int w) { return 8 * (y * w / 2 + x / 2) + top((x % 2 ? 0 : 4) + b); }},
    {"chunky8", 8, 1, [](int x, int y, int b, int w) { return 8 * (y * w + x) + top(b); }},
    {"cpc0", 4, 2, [](int x, int y, int b, int w) { const int even[] = {7, 3, 5, 1}; return 8 * (y * w / 2 + x / 2) + top(even[b] - x % 2); }},
    {"cpc1", 2, 4, [](int x, int y, int b, int w) { return 8 * (y * w / 4 + x / 4) + top((b ? 3 : 7) - x % 4); }},
    {"amiga4", 4, 8, [](int x, int y, int b, int w) { return 8 * ((4 * y + b) * (w / 8) + x / 8) + x % 8; }},
    {"amiga5", 5, 8, [](int x, int y, int b, int w) { return 8 * ((5 * y + b) * (w / 8) + x / 8) + x % 8; }},
    {"st4", 4, 2, [](int x, int y, int b, int w) { return 8 * (y * w / 2 + x / 16 * 8 + 2 * b + x % 16 / 8) + x % 8; }},
    {"cells1", 1, 8, [](int x, int y, int, int w) { return 8 * (tileAt(x, y, w, 8, 8) + y % 8) + x % 8; }},
    {"cells2w", 2, 4, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 4, 8) + y % 8) + top(6 - 2 * (x % 4) + b); }},
    {"nes", 2, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 16) + 8 * b + y % 8) + x % 8; }},
    {"gb", 2, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 16) + 2 * (y % 8) + b) + x % 8; }},
    {"snes4", 4, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + b / 2 * 16 + 2 * (y % 8) + b % 2) + x % 8; }},
    {"sms", 4, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + 4 * (y % 8) + b) + x % 8; }},
    {"genesis", 4, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + 4 * (y % 8) + x % 8 / 2) + top((x % 2 ? 0 : 4) + b); }},
    {"gba4", 4, 8, [](int x, int y, int b, int w) { return 8 * (tileAt(x, y, w, 8, 32) + 4 * (y % 8) + x % 8 / 2) + top((x % 2 ? 4 : 0) + b); }},
};
// clang-format on

// The encoder of a format by its CLI name; nullptr for none.
inline const FormatEncoder* formatEncoder(const char* mode) {
    for (const FormatEncoder& encoder : kFormatEncoders)
        if (std::strcmp(encoder.mode, mode) == 0) return &encoder;
    return nullptr;
}

// A picture w pixels wide and h high, value(x, y) in 0..2^bits-1, packed in the encoder's format.
// `used`, when given, gets the bits some pixel set (1), the others being 0 in the bytes.
inline std::vector<uint8_t> packPicture(const FormatEncoder& encoder, int w, int h,
                                        const std::function<int(int x, int y)>& value,
                                        std::vector<uint8_t>* used = nullptr) {
    std::vector<uint8_t> bytes, mask;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int b = 0; b < encoder.bits; ++b) {
                const int at = encoder.at(x, y, b, w);
                if (at / 8 >= static_cast<int>(bytes.size()))
                    bytes.resize(at / 8 + 1), mask.resize(at / 8 + 1);
                bytes[at / 8] |= static_cast<uint8_t>((value(x, y) >> b & 1) << (7 - at % 8));
                mask[at / 8] |= static_cast<uint8_t>(0x80 >> at % 8);
            }
    if (used != nullptr) *used = mask;
    return bytes;
}

// Pixel (x, y) of a picture w pixels wide packed in the encoder's format, read back from its bytes.
inline int packedValue(const FormatEncoder& encoder, const uint8_t* bytes, int x, int y, int w) {
    int value = 0;
    for (int b = 0; b < encoder.bits; ++b) {
        const int at = encoder.at(x, y, b, w);
        value |= (bytes[at / 8] >> (7 - at % 8) & 1) << b;
    }
    return value;
}
