// make-icon FOLDER: draws the program's icon, a magnifier over a grid of pixels, into
// FOLDER as pixloupe2d.svg and pixloupe2d-N.png for N = 16, 32, 48, 64, 128 and 256.
//
// One list of shapes on a 16 x 16 unit square is both written as SVG and drawn into the
// PNG files, so the two never disagree. The squares of the pixel grid lie on whole units,
// so at 16 pixels and at every multiple of it they stay sharp; only the round lens and the
// handle are smoothed. Everything is computed the same way on every machine, so the files
// are the same wherever they are made.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Colour {
    uint8_t r, g, b;
};

enum class Kind { RoundRect, Rect, Disc, Ring, Capsule };
enum class Clip { None, Tile, Glass };

// RoundRect and Rect: corners (x0, y0) and (x1, y1), radius r. Disc: centre (x0, y0),
// radius r. Ring: centre (x0, y0) between radii r and r2. Capsule: the segment from
// (x0, y0) to (x1, y1) widened by r on each side, with round ends.
struct Shape {
    Kind kind;
    Clip clip;
    Colour colour;
    double x0, y0, x1, y1, r, r2;
};

constexpr double kTileRadius = 3.0;
constexpr double kGlassX = 6.5, kGlassY = 6.5, kGlassRadius = 4.5, kRingWidth = 1.5;
constexpr double kCell = 3.0;  // a pixel seen through the lens, in units

constexpr Colour kTileDark{0x16, 0x1d, 0x2b}, kTileLight{0x26, 0x31, 0x47};
constexpr Colour kRing{0xf4, 0xf6, 0xfa}, kHandle{0xf5, 0xa5, 0x1b};
constexpr Colour kGreen{0x4a, 0xde, 0x80}, kCyan{0x38, 0xbd, 0xf8}, kPink{0xf4, 0x72, 0xb6};

// The grid on the tile, 2 units a pixel, and the pixels seen through the lens: '.' and ','
// the two shades of the empty checkerboard, 'g' green, 'c' cyan, 'p' pink.
constexpr const char* kGrid[8] = {
    ".,.,.,c,",  //
    ",.,.,.,.",  //
    ".,.,.,.g",  //
    ",.,.,.,.",  //
    ".,.,.,.,",  //
    ",.,.,.,.",  //
    "g,.,c,.,",  //
    ",g,.,.,.",  //
};
constexpr const char* kMagnified[5] = {
    ".g.g.",  //
    "g.g.g",  //
    ".gpg.",  //
    "g.g.g",  //
    ".g.g.",  //
};

Colour pixelColour(char c) {
    switch (c) {
        case 'g':
            return kGreen;
        case 'c':
            return kCyan;
        case 'p':
            return kPink;
        case ',':
            return kTileLight;
        default:
            return kTileDark;
    }
}

// Back to front: the tile with its grid of pixels, the magnified pixels in the lens, the
// handle and the lens's ring.
std::vector<Shape> iconShapes() {
    std::vector<Shape> shapes;
    shapes.push_back({Kind::RoundRect, Clip::None, kTileDark, 0, 0, 16, 16, kTileRadius, 0});
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            shapes.push_back({Kind::Rect, Clip::Tile, pixelColour(kGrid[y][x]), 2.0 * x, 2.0 * y, 2.0 * x + 2,
                              2.0 * y + 2, 0, 0});
        }
    }
    const double left = kGlassX - 2.5 * kCell, top = kGlassY - 2.5 * kCell;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            const double cx = left + kCell * x, cy = top + kCell * y;
            shapes.push_back({Kind::Rect, Clip::Glass, pixelColour(kMagnified[y][x]), cx, cy, cx + kCell,
                              cy + kCell, 0, 0});
        }
    }
    const double rim = (kGlassRadius + kRingWidth / 2) * std::sqrt(0.5);
    shapes.push_back({Kind::Capsule, Clip::Tile, kHandle, kGlassX + rim, kGlassY + rim, 14, 14, 1.25, 0});
    shapes.push_back(
        {Kind::Ring, Clip::None, kRing, kGlassX, kGlassY, 0, 0, kGlassRadius, kGlassRadius + kRingWidth});
    return shapes;
}

bool insideRoundRect(double x, double y, double x0, double y0, double x1, double y1, double r) {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    const double dx = std::max({x0 + r - x, 0.0, x - (x1 - r)});
    const double dy = std::max({y0 + r - y, 0.0, y - (y1 - r)});
    return dx * dx + dy * dy <= r * r;
}

double distanceToSegment(double x, double y, const Shape& s) {
    const double vx = s.x1 - s.x0, vy = s.y1 - s.y0;
    double t = ((x - s.x0) * vx + (y - s.y0) * vy) / (vx * vx + vy * vy);
    t = std::fmin(1.0, std::fmax(0.0, t));
    return std::hypot(x - (s.x0 + t * vx), y - (s.y0 + t * vy));
}

bool inside(const Shape& s, double x, double y) {
    switch (s.clip) {
        case Clip::Tile:
            if (!insideRoundRect(x, y, 0, 0, 16, 16, kTileRadius)) return false;
            break;
        case Clip::Glass:
            if (std::hypot(x - kGlassX, y - kGlassY) > kGlassRadius) return false;
            break;
        case Clip::None:
            break;
    }
    switch (s.kind) {
        case Kind::RoundRect:
            return insideRoundRect(x, y, s.x0, s.y0, s.x1, s.y1, s.r);
        case Kind::Rect:
            return x >= s.x0 && x < s.x1 && y >= s.y0 && y < s.y1;
        case Kind::Disc:
            return std::hypot(x - s.x0, y - s.y0) <= s.r;
        case Kind::Ring: {
            const double d = std::hypot(x - s.x0, y - s.y0);
            return d >= s.r && d <= s.r2;
        }
        case Kind::Capsule:
            return distanceToSegment(x, y, s) <= s.r;
    }
    return false;
}

// RGBA rows, top down: each pixel averages its samples; uncovered samples are clear.
std::vector<uint8_t> drawIcon(const std::vector<Shape>& shapes, int size) {
    // About 256 x 256 samples a unit square at every size.
    const int kSamples = std::clamp(256 / size, 4, 16);
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
    const double unit = 16.0 / size;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            int sum[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double x = (px + (sx + 0.5) / kSamples) * unit;
                    const double y = (py + (sy + 0.5) / kSamples) * unit;
                    const Shape* top = nullptr;
                    for (const Shape& shape : shapes) {
                        if (inside(shape, x, y)) top = &shape;
                    }
                    if (top == nullptr) continue;
                    sum[0] += top->colour.r;
                    sum[1] += top->colour.g;
                    sum[2] += top->colour.b;
                    sum[3] += 255;
                }
            }
            uint8_t* out = &pixels[(static_cast<size_t>(py) * size + px) * 4];
            // Colours are averaged over the covered samples only, so edges do not darken.
            const int covered = sum[3] / 255;
            for (int c = 0; c < 3; ++c) out[c] = covered == 0 ? 0 : (sum[c] + covered / 2) / covered;
            out[3] = static_cast<uint8_t>((sum[3] + kSamples * kSamples / 2) / (kSamples * kSamples));
        }
    }
    return pixels;
}

bool writePng(const std::string& fileName, const std::vector<uint8_t>& pixels, int size) {
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_compression_level(png, 9);
        png_set_IHDR(png, info, size, size, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < size; ++y) png_write_row(png, &pixels[static_cast<size_t>(y) * size * 4]);
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

std::string hexColour(Colour c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

std::string svgElement(const Shape& s) {
    const std::string fill = hexColour(s.colour);
    std::string element;
    switch (s.kind) {
        case Kind::RoundRect:
        case Kind::Rect:
            element = "<rect x=\"" + number(s.x0) + "\" y=\"" + number(s.y0) + "\" width=\"" +
                      number(s.x1 - s.x0) + "\" height=\"" + number(s.y1 - s.y0) + "\"";
            if (s.kind == Kind::RoundRect) element += " rx=\"" + number(s.r) + "\"";
            element += " fill=\"" + fill + "\"";
            break;
        case Kind::Disc:
            element = "<circle cx=\"" + number(s.x0) + "\" cy=\"" + number(s.y0) + "\" r=\"" + number(s.r) +
                      "\" fill=\"" + fill + "\"";
            break;
        case Kind::Ring:
            element = "<circle cx=\"" + number(s.x0) + "\" cy=\"" + number(s.y0) + "\" r=\"" +
                      number((s.r + s.r2) / 2) + "\" fill=\"none\" stroke=\"" + fill + "\" stroke-width=\"" +
                      number(s.r2 - s.r) + "\"";
            break;
        case Kind::Capsule:
            element = "<line x1=\"" + number(s.x0) + "\" y1=\"" + number(s.y0) + "\" x2=\"" + number(s.x1) +
                      "\" y2=\"" + number(s.y1) + "\" stroke=\"" + fill + "\" stroke-width=\"" +
                      number(2 * s.r) + "\" stroke-linecap=\"round\"";
            break;
    }
    if (s.clip == Clip::Tile) element += " clip-path=\"url(#tile)\"";
    if (s.clip == Clip::Glass) element += " clip-path=\"url(#glass)\"";
    return element + "/>\n";
}

bool writeSvg(const std::string& fileName, const std::vector<Shape>& shapes) {
    std::string text =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 16 16\">\n"
        "<title>Pixloupe 2d</title>\n<defs>\n"
        "<clipPath id=\"tile\"><rect width=\"16\" height=\"16\" rx=\"" +
        number(kTileRadius) +
        "\"/></clipPath>\n"
        "<clipPath id=\"glass\"><circle cx=\"" +
        number(kGlassX) + "\" cy=\"" + number(kGlassY) + "\" r=\"" + number(kGlassRadius) +
        "\"/></clipPath>\n</defs>\n";
    for (const Shape& shape : shapes) text += svgElement(shape);
    text += "</svg>\n";
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make-icon FOLDER\n", stderr);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const std::vector<Shape> shapes = iconShapes();
    bool ok = writeSvg(folder + "pixloupe2d.svg", shapes);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        ok = writePng(folder + "pixloupe2d-" + std::to_string(size) + ".png", drawIcon(shapes, size), size) &&
             ok;
    }
    if (!ok) std::fprintf(stderr, "make-icon: cannot write the icon files into %s\n", argv[1]);
    return ok ? 0 : 1;
}
