// make-sample OUTPUT: writes the sample data file (data/sample.bin, 32 KiB), graphics
// drawn here for trying the viewer. Where to look (offsets in hexadecimal; at width W,
// row position R shows offset R x W):
//
//   $0000  Binary, width 1:  text in an 8 x 8 font, one letter under the other; the first
//                            64 letters fill the first view. Multi columns (Ctrl+M) shows
//                            the eight columns of text side by side, and at width 1 the
//                            whole file at once.
//   $1000  Binary, width 2:  eight 16 x 16 sprites: spaceship, smiley, invader, ghost,
//                            heart, key, mushroom, star.
//   $1400  Binary, width 4:  32 x 32 smiley and spaceship (the small ones doubled), then
//                            a 32 x 32 brick tile and a 32 x 32 checker tile.
//   $2000  Binary, width 40: 320 x 64 banner: "PIXLOUPE 2D" in large letters on bricks.
//   $3000  Atari GR.15, width 4:  four 16 x 16 four-colour sprites: rocket, flower,
//                            smiley, tree (each 4 bytes x 16 rows).
//   $3400  Atari GR.15, width 40: 160 x 96 landscape: sky, sun, mountains, hills.
//   $4400  BK-0010, width 4: the same four sprites in BK-0010 bit order.
//   $4800  BK-0010, width 64: 256 x 64 diamond rings in the four colours.
//   $5800  Sam Coupe mode 4, width 8: four 16 x 16 sixteen-colour sprites: palette
//                            stripes, rainbow ball, diagonal rainbow, rocket.
//   $6000  Sam Coupe mode 4, width 64: 128 x 128 rainbow rings.
//
// Everything is integer arithmetic, so the file is the same on every machine.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kSampleSize = 0x8000;

using Picture = std::vector<std::string>;  // rows of pixel characters, all of one width

// ---- Packing pixels into bytes, one colour mode at a time.

int pixelIndex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c == '#') return 1;
    return 0;  // '.' and ' '
}

enum class Packing { Binary, Atari, Bk, Sam };

int pixelsPerByte(Packing packing) {
    switch (packing) {
        case Packing::Binary:
            return 8;
        case Packing::Sam:
            return 2;
        default:
            return 4;
    }
}

uint8_t packByte(Packing packing, const int* pixels) {
    int value = 0;
    for (int j = 0; j < pixelsPerByte(packing); ++j) {
        switch (packing) {
            case Packing::Binary:
                value |= (pixels[j] & 1) << (7 - j);
                break;
            case Packing::Atari:
                value |= (pixels[j] & 3) << (6 - 2 * j);
                break;
            case Packing::Bk:
                value |= (pixels[j] & 3) << (2 * j);
                break;
            case Packing::Sam:
                value |= (pixels[j] & 15) << (j == 0 ? 4 : 0);
                break;
        }
    }
    return static_cast<uint8_t>(value);
}

// Rows of the picture, each row a whole number of bytes (padded with colour 0).
std::vector<uint8_t> packPicture(const Picture& picture, Packing packing) {
    const int perByte = pixelsPerByte(packing);
    const size_t width = picture.empty() ? 0 : picture[0].size();
    for (const std::string& row : picture) {
        if (row.size() != width) {
            std::fprintf(stderr, "make-sample: picture rows of unequal width: \"%s\"\n", row.c_str());
            std::exit(1);
        }
    }
    const size_t bytesPerRow = (width + perByte - 1) / perByte;
    std::vector<uint8_t> bytes;
    for (const std::string& row : picture) {
        for (size_t b = 0; b < bytesPerRow; ++b) {
            int pixels[8] = {};
            for (int j = 0; j < perByte; ++j) {
                const size_t x = b * perByte + j;
                pixels[j] = x < row.size() ? pixelIndex(row[x]) : 0;
            }
            bytes.push_back(packByte(packing, pixels));
        }
    }
    return bytes;
}

Picture doubled(const Picture& picture) {
    Picture result;
    for (const std::string& row : picture) {
        std::string wide;
        for (char c : row) wide += std::string(2, c);
        result.push_back(wide);
        result.push_back(wide);
    }
    return result;
}

// ---- The font: 5 x 7 glyphs set into 8 x 8 cells (one column of space on the left,
// two on the right, one blank row below).

const std::map<char, Picture>& font() {
    static const std::map<char, Picture> glyphs = {
        {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
        {'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
        {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
        {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
        {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
        {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
        {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
        {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
        {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
        {'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
        {'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
        {'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
        {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
        {'N', {"#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"}},
        {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
        {'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
        {'Q', {" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"}},
        {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
        {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
        {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
        {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
        {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
        {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "}},
        {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
        {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
        {'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
        {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
        {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
        {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
        {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
        {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
        {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
        {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
        {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
        {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
        {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
        {' ', {"     ", "     ", "     ", "     ", "     ", "     ", "     "}},
        {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
        {',', {"     ", "     ", "     ", "     ", " ##  ", " ##  ", "  #  "}},
        {':', {"     ", " ##  ", " ##  ", "     ", " ##  ", " ##  ", "     "}},
        {'!', {"  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "     ", "  #  "}},
        {'?', {" ### ", "#   #", "    #", "   # ", "  #  ", "     ", "  #  "}},
        {'-', {"     ", "     ", "     ", "#####", "     ", "     ", "     "}},
        {'/', {"    #", "    #", "   # ", "  #  ", " #   ", "#    ", "#    "}},
        {'=', {"     ", "     ", "#####", "     ", "#####", "     ", "     "}},
        {'$', {"  #  ", " ####", "# #  ", " ### ", "  # #", "#### ", "  #  "}},
        {'(', {"   # ", "  #  ", " #   ", " #   ", " #   ", "  #  ", "   # "}},
        {')', {" #   ", "  #  ", "   # ", "   # ", "   # ", "  #  ", " #   "}},
        {'+', {"     ", "  #  ", "  #  ", "#####", "  #  ", "  #  ", "     "}},
        {'*', {"     ", "# # #", " ### ", "#####", " ### ", "# # #", "     "}},
        {'\'', {"  #  ", "  #  ", " #   ", "     ", "     ", "     ", "     "}},
    };
    return glyphs;
}

const Picture& glyph(char c) {
    const auto found = font().find(c);
    if (found == font().end()) {
        std::fprintf(stderr, "make-sample: no glyph for '%c'\n", c);
        std::exit(1);
    }
    return found->second;
}

// One 8 x 8 cell per letter, the letters one under the other.
std::vector<uint8_t> textColumn(const std::string& text) {
    Picture picture;
    for (char c : text) {
        for (const std::string& row : glyph(c)) picture.push_back(" " + row + "  ");
        picture.push_back("        ");
    }
    return packPicture(picture, Packing::Binary);
}

// Pads every paragraph to a whole column of 64 letters (one view at width 1).
std::string inColumns(const std::vector<std::string>& paragraphs) {
    std::string text;
    for (const std::string& paragraph : paragraphs) {
        if (paragraph.size() > 64) {
            std::fprintf(stderr, "make-sample: paragraph longer than 64 letters: %s\n", paragraph.c_str());
            std::exit(1);
        }
        text += paragraph + std::string(64 - paragraph.size(), ' ');
    }
    return text;
}

// ---- Sprites drawn by hand.

const Picture kSpaceship = {
    ".......##.......", "......####......", "......#..#......", ".....##..##.....",
    ".....######.....", "....########....", "...##########...", "..####.##.####..",
    ".#####.##.#####.", "################", "##.##########.##", "#...########...#",
    "....##....##....", "...###....###...", "...#.#....#.#...", "................",
};
const Picture kSmiley = {
    ".....######.....", "...##......##...", "..#..........#..", ".#............#.",
    ".#...##..##...#.", "#....##..##....#", "#..............#", "#..............#",
    "#..#........#..#", "#...#......#...#", ".#...######...#.", ".#............#.",
    "..#..........#..", "...##......##...", ".....######.....", "................",
};
const Picture kInvader = {
    "................", "................", "...#.......#....", "....#.....#.....",
    "...#########....", "..##.#####.##...", ".#############..", ".#.#########.#..",
    ".#.#.......#.#..", "....##...##.....", "................", "...#.......#....",
    "....#.....#.....", "...#.#...#.#....", "................", "................",
};
const Picture kGhost = {
    ".....######.....", "...##########...", "..############..", ".###..####..###.",
    ".##....##....##.", ".##..#.##..#.##.", "################", "################",
    "################", "################", "################", "################",
    "################", "###.####.####.##", "##...##...##...#", "#.....#....#....",
};
const Picture kHeart = {
    "................", "..####....####..", ".######..######.", "################",
    "################", "################", "################", ".##############.",
    "..############..", "...##########...", "....########....", ".....######.....",
    "......####......", ".......##.......", "................", "................",
};
const Picture kKey = {
    "................", "..####..........", ".#....#.........", "#......#........",
    "#..##..#########", "#..##..#########", "#......#....#.##", ".#....#.....#.##",
    "..####.......#..", "................", "................", "................",
    "................", "................", "................", "................",
};
const Picture kMushroom = {
    ".....######.....", "...##..##..##...", "..#....##....#..", ".##...####...##.",
    ".#####....#####.", "###..........###", "##....####....##", "##...######...##",
    "################", ".##############.", "....#..##..#....", "....#......#....",
    "....#......#....", "....#......#....", ".....######.....", "................",
};
const Picture kStar = {
    ".......##.......", ".......##.......", "......####......", "......####......",
    "################", ".##############.", "..############..", "...##########...",
    "....########....", "....########....", "...####..####...", "...###....###...",
    "..###......###..", "..##........##..", ".#............#.", "................",
};

char hexDigit(int value) {
    return "0123456789ABCDEF"[value & 15];
}

// A picture whose colour index (0..15) at each pixel a function gives.
template <typename PixelOf>
Picture computed(int width, int height, PixelOf pixel) {
    Picture picture;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) row += hexDigit(pixel(x, y));
        picture.push_back(row);
    }
    return picture;
}

// Bricks 16 x 8 with one-pixel mortar, every other course shifted by half a brick.
int brickPixel(int x, int y) {
    const int course = y / 8;
    const int shifted = x + (course % 2) * 8;
    return (y % 8 == 7 || shifted % 16 == 15) ? 0 : 1;
}

int checkerPixel(int x, int y) {
    return ((x / 8) + (y / 8)) % 2;
}

// Four-colour sprites: 1, 2 and 3 are the first three colours of the mode.
const Picture kRocket = {
    ".......11.......", "......1111......", "......1221......", ".....112211.....",
    ".....111111.....", ".....111111.....", ".....112211.....", ".....112211.....",
    "....11111111....", "...1111111111...", "..11.111111.11..", "..1..111111..1..",
    ".....1.11.1.....", ".....3.33.3.....", "......3333......", ".......33.......",
};
const Picture kFlower = {
    "......1111......", ".....111111.....", "..11.111111.11..", ".1111.1111.1111.",
    ".11111.33.11111.", "..11113333111...", "......3333......", "..11111331111...",
    ".11111.11.11111.", "..111..22..111..", ".......22.......", "...222.22.......",
    "....22222..222..", ".......2222.....", ".......22.......", ".......22.......",
};
const Picture kColourSmiley = {
    ".....111111.....", "...1111111111...", "..111111111111..", ".11111111111111.",
    ".1111331133111..", "1111133113311111", "1111111111111111", "1111111111111111",
    "1112111111112111", "1111211111121111", ".111122222211111", ".11111111111111.",
    "..111111111111..", "...1111111111...", ".....111111.....", "................",
};
const Picture kTree = {
    ".......22.......", "......2222......", ".....222222.....", "....22223222....",
    "...2222222222...", "....22222222....", "...2232222222...", "..222222222322..",
    ".22222222222222.", "...2222222222...", "..222322222222..", ".22222222223222.",
    "2222222222222222", ".......11.......", ".......11.......", "......1111......",
};

// ---- Pictures computed from the pixel position.

int triangle(int t, int period) {
    const int phase = ((t % period) + period) % period;
    return phase < period / 2 ? phase : period - phase;
}

int integerSquareRoot(int value) {
    int root = 0;
    while ((root + 1) * (root + 1) <= value) ++root;
    return root;
}

// Sky (0), a sun (3), mountains (1) and green hills (2).
Picture landscape() {
    return computed(160, 96, [](int x, int y) {
        const int mountainTop = 70 - triangle(x, 52) - triangle(x + 9, 22);
        const int hillTop = 80 - triangle(x, 40) / 3;
        const int sunX = x - 120, sunY = y - 20;
        if (y >= hillTop) return 2;
        if (y >= mountainTop) return 1;
        return 4 * sunX * sunX + sunY * sunY < 144 ? 3 : 0;  // pixels are twice as wide as high
    });
}

Picture diamondRings() {
    return computed(256, 64, [](int x, int y) {
        const bool frame = x == 0 || x == 255 || y == 0 || y == 63;
        return frame ? 3 : (std::abs(x - 128) + 2 * std::abs(y - 32)) / 6 % 4;
    });
}

Picture rainbowRings(int size, int ringWidth) {
    return computed(size, size, [=](int x, int y) {
        const int dx = x - size / 2, dy = y - size / 2;
        return integerSquareRoot(dx * dx + dy * dy) / ringWidth + 1;
    });
}

Picture paletteStripes() {
    return computed(16, 16, [](int x, int) { return x; });
}

Picture diagonalRainbow() {
    return computed(16, 16, [](int x, int y) { return (x + y) / 2 + 8; });
}

// The four-colour rocket in the brighter half of the sixteen colours.
Picture samRocket() {
    Picture picture = kRocket;
    for (std::string& row : picture) {
        for (char& c : row) {
            if (c == '1') c = 'F';
            if (c == '2') c = '9';
            if (c == '3') c = 'A';
        }
    }
    return picture;
}

// A brick wall with large letters standing out of it (each font pixel 4 x 4).
Picture banner(const std::string& title) {
    const int width = 320, height = 64, scale = 4;
    const int letters = static_cast<int>(title.size());
    const int textWidth = letters * 6 * scale - scale;
    const int left = (width - textWidth) / 2, top = (height - 7 * scale) / 2;
    return computed(width, height, [&](int x, int y) {
        const int gx = (x - left) / scale, gy = (y - top) / scale;
        if (x >= left && y >= top && gy < 7 && gx < letters * 6 && gx % 6 < 5 &&
            glyph(title[gx / 6])[gy][gx % 6] == '#') {
            return 1;
        }
        // One font pixel of black margin round the text.
        const int mx = x - left + scale, my = y - top + scale;
        if (mx >= 0 && my >= 0 && my < 9 * scale && mx < textWidth + 2 * scale) return 0;
        return brickPixel(x, y);
    });
}

// ---- Assembling the file.

class SampleFile {
   public:
    SampleFile() : bytes_(kSampleSize, 0), used_(kSampleSize, false) {}

    void place(size_t offset, const std::vector<uint8_t>& block) {
        if (offset + block.size() > bytes_.size()) fail("block past the end of the file", offset);
        for (size_t i = 0; i < block.size(); ++i) {
            if (used_[offset + i]) fail("blocks overlap", offset);
            used_[offset + i] = true;
            bytes_[offset + i] = block[i];
        }
    }

    void placeAll(size_t offset, const std::vector<Picture>& pictures, Packing packing) {
        for (const Picture& picture : pictures) {
            const std::vector<uint8_t> block = packPicture(picture, packing);
            place(offset, block);
            offset += block.size();
        }
    }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

   private:
    static void fail(const char* what, size_t offset) {
        std::fprintf(stderr, "make-sample: %s at $%zX\n", what, offset);
        std::exit(1);
    }

    std::vector<uint8_t> bytes_;
    std::vector<bool> used_;
};

std::vector<uint8_t> makeSample() {
    SampleFile file;
    file.place(0x0000, textColumn(inColumns({
                           "PIXLOUPE 2D SAMPLE FILE - CTRL+M SHOWS MORE COLUMNS OF THIS TEXT",
                           "EACH BYTE IS ONE ROW OF 8 PIXELS: THE WIDTH IS 1 BYTE PER ROW.",
                           "WIDEN THE ROWS WITH THE RIGHT ARROW KEY UNTIL SPRITES APPEAR.",
                           "BINARY: $1000 WIDTH 2, $1400 WIDTH 4, $2000 WIDTH 40.",
                           "ATARI GR.15: $3000 WIDTH 4, $3400 WIDTH 40.",
                           "BK-0010: $4400 WIDTH 4, $4800 WIDTH 64.",
                           "SAM COUPE MODE 4: $5800 WIDTH 8, $6000 WIDTH 64.",
                           "FONT: ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,:!?-/=$()'+*",
                       })));
    file.placeAll(0x1000, {kSpaceship, kSmiley, kInvader, kGhost, kHeart, kKey, kMushroom, kStar},
                  Packing::Binary);
    file.placeAll(
        0x1400,
        {doubled(kSmiley), doubled(kSpaceship), computed(32, 32, brickPixel), computed(32, 32, checkerPixel)},
        Packing::Binary);
    file.placeAll(0x2000, {banner("PIXLOUPE 2D")}, Packing::Binary);
    const std::vector<Picture> fourColourSprites = {kRocket, kFlower, kColourSmiley, kTree};
    file.placeAll(0x3000, fourColourSprites, Packing::Atari);
    file.placeAll(0x3400, {landscape()}, Packing::Atari);
    file.placeAll(0x4400, fourColourSprites, Packing::Bk);
    file.placeAll(0x4800, {diamondRings()}, Packing::Bk);
    file.placeAll(0x5800, {paletteStripes(), rainbowRings(16, 1), diagonalRainbow(), samRocket()},
                  Packing::Sam);
    file.placeAll(0x6000, {rainbowRings(128, 5)}, Packing::Sam);
    return file.bytes();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample OUTPUT\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = makeSample();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make-sample: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "make-sample: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
