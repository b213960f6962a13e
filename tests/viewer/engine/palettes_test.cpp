#include "viewer/engine/palettes.h"

#include <gtest/gtest.h>

#include "tests/graphics/pixel_picture.h"
#include "tests/graphics/png_pixels.h"
#include "tests/support/temp_folder.h"
#include "tests/viewer/engine/kernel_tables.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/palette_choice.h"
#include "viewer/engine/view_block.h"

namespace {

int32_t rgb(int red, int green, int blue) {
    return red | green << 8 | blue << 16;
}

std::string le32(uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}
std::string be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}
std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out += static_cast<char>(v);
    return out;
}

const std::vector<int32_t> kRedBlue = {rgb(255, 0, 0), rgb(0, 128, 255)};

// Every kind of palette file, written here by hand, gives its colours.
TEST(PalettesTest, EveryFileKindReads) {
    const std::string riffData = bytes({0, 3, 2, 0, 255, 0, 0, 0, 0, 128, 255, 0});
    const std::string riff = "RIFF" + le32(4 + 8 + 12) + "PAL " + "data" + le32(12) + riffData;
    std::string act(768, '\0');
    act.replace(0, 6, bytes({255, 0, 0, 0, 128, 255}));
    const std::string png = "\x89PNG\r\n\x1a\n" + be32(13) + "IHDR" + std::string(13, '\x01') + be32(0) +
                            be32(6) + "PLTE" + bytes({255, 0, 0, 0, 128, 255}) + be32(0);
    std::string bmp = "BM" + le32(70) + le32(0) + le32(62) + le32(40) + le32(1) + le32(1) +
                      bytes({1, 0, 1, 0}) + le32(0) + le32(0) + le32(0) + le32(0) + le32(2) + le32(0);
    bmp += bytes({0, 0, 255, 0, 255, 128, 0, 0, 0, 0, 0, 0});
    // clang-format off
    const struct { const char* kind; std::string file; const char* extension; bool vga6; } cases[] = {
        {"jasc", "JASC-PAL\r\n0100\r\n2\r\n255 0 0\r\n0 128 255\r\n", ".pal", false},
        {"gimp", "GIMP Palette\nName: Two\nColumns: 2\n# red, then blue\n255   0   0\tRed\n  0 128 255\tBlue\n", ".gpl", false},
        {"riff", riff, ".pal", false},
        {"act 772", act + bytes({0, 2, 255, 255}), ".act", false},
        {"png", png, ".png", false},
        {"bmp", bmp, ".bmp", false},
        {"raw", bytes({255, 0, 0, 0, 128, 255}), "", false},
        {"vga6", bytes({63, 0, 0, 0, 32, 63}), ".pal", true},
    };
    // clang-format on
    for (const auto& c : cases) {
        const PaletteRead read = readPaletteBytes(c.file, c.extension, c.vga6);
        ASSERT_TRUE(read.ok) << c.kind << ": " << read.problem;
        std::vector<int32_t> expected = kRedBlue;
        if (c.vga6) expected[1] = rgb(0, 129, 255);  // 255 x 32 div 63
        EXPECT_EQ(read.palette.colours, expected) << c.kind;
    }
    const PaletteRead whole = readPaletteBytes(act, ".act", false);
    ASSERT_EQ(whole.palette.colours.size(), 256u);
    EXPECT_EQ(whole.palette.colours[1], kRedBlue[1]);
}

TEST(PalettesTest, BadFilesSayWhatIsWrong) {
    const struct {
        std::string file;
        const char* extension;
        bool vga6;
        const char* problem;
    } cases[] = {
        {"JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n", ".pal", false, "the file holds fewer colours than it says"},
        {"GIMP Palette\n1 2\n", ".gpl", false, "a colour line needs three numbers"},
        {"GIMP Palette\n1 2 256\n", ".gpl", false, "a colour channel runs from 0 to 255"},
        {bytes({1, 2, 3, 4, 5, 6, 7}), "", false,
         "not a palette file (JASC-PAL, GIMP, RIFF, ACT, PNG, indexed BMP or raw RGB of 3n bytes)"},
        {bytes({1, 2, 64}), "", true, "a 6-bit VGA palette holds values 0 to 63"},
        {"\x89PNG\r\n\x1a\n" + be32(0) + "IEND" + be32(0), ".png", false, "a PNG without a palette"},
        {"RIFF" + le32(4) + "PAL ", ".pal", false, "a RIFF palette without its data chunk"},
        {std::string(769 * 3, 'x'), ".raw", false,
         "not a palette file (JASC-PAL, GIMP, RIFF, ACT, PNG, indexed BMP or raw RGB of 3n bytes)"},
    };
    for (const auto& c : cases) {
        const PaletteRead read = readPaletteBytes(c.file, c.extension, c.vga6);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.problem, c.problem);
    }
}

// Colour words worked out by hand for each encoding; bytes outside the data read as 0.
TEST(PalettesTest, EveryDataEncodingReads) {
    const struct {
        const char* encoding;
        std::string data;
        int32_t colour;
    } cases[] = {
        {"rgb24", bytes({1, 2, 3}), rgb(1, 2, 3)},
        {"bgr24", bytes({1, 2, 3}), rgb(3, 2, 1)},
        {"vga6", bytes({63, 0, 32}), rgb(255, 0, 129)},
        {"bgr555", bytes({0x1F, 0x7C}), rgb(255, 0, 255)},    // 0111 1100 0001 1111
        {"bgr555", bytes({0xE0, 0x03}), rgb(0, 255, 0)},      // green in bits 5-9
        {"genesis", bytes({0x0E, 0x2A}), rgb(182, 36, 255)},  // 0000 1110 0010 1010: B 7, G 1, R 5
        {"amiga12", bytes({0x0F, 0x80}), rgb(255, 136, 0)},   // 0000 RRRR GGGG BBBB
        {"st9", bytes({0x07, 0x05}), rgb(255, 0, 182)},       // 0000 0111 0000 0101
        {"nes", bytes({0x21}), rgb(0x3C, 0xBC, 0xFC)},
    };
    for (const auto& c : cases) {
        PaletteEncoding encoding{};
        ASSERT_TRUE(paletteEncodingNamed(c.encoding, encoding)) << c.encoding;
        const std::string data = "x" + c.data;
        const DataBytes bytesOf{reinterpret_cast<const uint8_t*>(data.data()),
                                static_cast<int64_t>(data.size())};
        const Palette palette = paletteFromData(bytesOf, 1, 2, encoding);
        ASSERT_EQ(palette.colours.size(), 2u);
        EXPECT_EQ(palette.colours[0], c.colour) << c.encoding;
        if (std::string(c.encoding) != "nes") {
            EXPECT_EQ(palette.colours[1], 0) << c.encoding;
        }
    }
}

TEST(PalettesTest, BuiltInsAndTheBase) {
    // clang-format off
    const struct { const char* name; size_t count; int index; int32_t colour; } cases[] = {
        {"nes", 64, 0x21, rgb(0x3C, 0xBC, 0xFC)}, {"gameboy", 4, 3, rgb(0x0F, 0x38, 0x0F)},
        {"c64", 16, 2, rgb(0x68, 0x37, 0x2B)}, {"zx", 16, 10, rgb(255, 0, 0)}, {"cpc", 27, 13, rgb(128, 128, 128)},
        {"cpc", 27, 5, rgb(128, 0, 255)}, {"ega", 16, 6, rgb(0xAA, 0x55, 0)}, {"vga", 256, 31, rgb(255, 255, 255)},
        {"vga", 256, 32, rgb(0, 0, 255)}, {"vga", 256, 40, rgb(255, 0, 0)}, {"vga", 256, 56, rgb(125, 125, 255)},
        {"vga", 256, 247, rgb(44, 48, 64)}, {"vga", 256, 248, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        Palette palette;
        ASSERT_TRUE(builtInPalette(c.name, palette)) << c.name;
        EXPECT_EQ(palette.colours.size(), c.count) << c.name;
        EXPECT_EQ(palette.colours.at(c.index), c.colour) << c.name << " " << c.index;
    }
    Palette none;
    EXPECT_FALSE(builtInPalette("grey", none));
    EXPECT_FALSE(builtInPalette("sepia", none));
    Palette gameBoy;
    ASSERT_TRUE(builtInPalette("gameboy", gameBoy));
    EXPECT_EQ(paletteColour(gameBoy, 2, 1), gameBoy.colours[3]);
    EXPECT_EQ(paletteColour(gameBoy, 2, 2), 0);  // past the end: black
}

class PaletteDrawingTest : public KernelTableTest {};
INSTANTIATE_KERNEL_TABLES(PaletteDrawingTest);

// A tile drawn with a palette from a base on, by every kernel table, with 16 colours and with 256.
TEST_P(PaletteDrawingTest, ValuesShowTheirPaletteColours) {
    ASSERT_NE(createImage(kSheetImage, kViewWidth, 512), 0);
    Palette vga;
    ASSERT_TRUE(builtInPalette("vga", vga));
    for (const auto& [mode, base] : {std::pair{"gba4", 32}, std::pair{"chunky8", 3}}) {
        std::vector<uint8_t> data(64);
        for (size_t n = 0; n < data.size(); ++n) data[n] = static_cast<uint8_t>(n * 7);
        TestView view = testView(data, modeByCliName(mode, nullptr), 8, 2);
        view.options.palette = &vga;
        view.options.paletteBase = base;
        ASSERT_EQ(drawTestView(view), SheetResult::Drawn);
        const bool nibbles = std::string(mode) == "gba4";
        for (int x = 0; x < 8; ++x) {
            const int value = nibbles ? data[x / 2] >> (x % 2 ? 4 : 0) & 15 : data[x];
            EXPECT_EQ(pixelColour(kSheetImage, 2 * x, 0), paletteColour(vga, base, value))
                << mode << " x " << x;
        }
    }
    freeImage(-1);
}

// A block saved as colour numbers, in every format beyond the four, with the format's own colours and
// with a palette from a base (reaching past its end too): the PNG read back through libpng shows
// the block's picture pixel for pixel. The four classic modes have no colour numbers to keep.
TEST(BlockValuesTest, IndexedPngShowsTheBlocksPicture) {
    TempFolder folder;
    std::vector<uint8_t> bytes(40000);
    for (size_t n = 0; n < bytes.size(); ++n) bytes[n] = static_cast<uint8_t>(n * 2654435761u >> 13);
    Palette vga;
    ASSERT_TRUE(builtInPalette("vga", vga));
    for (int mode = 0; mode < modeCount(nullptr); ++mode) {
        const ViewGeometry g = viewGeometry(mode, nullptr, 2, 1, 512);
        const ByteBlock block{5, 2 * g.cellBytes, g.rowBytes, g.unitsPerRow > 1 ? 1 : 3};
        for (const auto& [palette, base, zoom] :
             {std::tuple{(Palette*)nullptr, 0, 1}, {&vga, 16, 2}, {&vga, 250, 1}}) {
            SCOPED_TRACE(std::string(modeRow(mode, nullptr)->cliName) + " base " + std::to_string(base));
            TestView view = testView(bytes, mode, 2, 1, 0, 1 | 4);
            view.options.palette = palette;
            view.options.paletteBase = base;
            IndexedPicture values;
            const bool kept = drawBlockValues(view.data(), view.options, block, zoom, values);
            ASSERT_EQ(kept, !isByteCellMode(mode, nullptr));
            if (!kept) continue;
            ASSERT_TRUE(drawBlockImage(1, view.data(), view.options, block, zoom));
            ASSERT_EQ(values.colours.size(), size_t{1} << modeRow(mode, nullptr)->bits);
            ASSERT_EQ(writeIndexedPng(folder.file("v.png"), values), 1);
            const PngPixels read = readPngPixels(readWholeFile(folder.file("v.png")));
            ASSERT_TRUE(read.ok && read.width == imageBuffer(1)->width &&
                        read.height == imageBuffer(1)->height);
            for (int y = 0; y < read.height; ++y)
                for (int x = 0; x < read.width; ++x)
                    ASSERT_EQ(read.colours[y * read.width + x], pixelColour(1, x, y)) << x << "," << y;
        }
    }
    // A byte a pixel: the values are the bytes, inverted and nibble-swapped as shown.
    const TestView chunky = testView(bytes, modeByCliName("chunky8", nullptr), 4, 1, 0, 1 | 4);
    IndexedPicture values;
    ASSERT_TRUE(drawBlockValues(chunky.data(), chunky.options, {10, 4, 4, 2}, 1, values));
    std::vector<uint8_t> shown;
    for (const int k : {10, 11, 12, 13, 14, 15, 16, 17})
        shown.push_back(static_cast<uint8_t>((~bytes[k] & 0xFF) >> 4 | (~bytes[k] & 0x0F) << 4));
    EXPECT_EQ(values.values, shown);
    freeImage(-1);
}

// The line kept per format: each kind read back as written; lines it never writes refused.
TEST(PaletteChoiceTest, KeptLinesReadBackAndBadOnesAreRefused) {
    const PaletteChoice vga6{PaletteSource::File, "/a b/c.pal", true, 0, 16, "bgr555", 7};
    const PaletteChoice data{PaletteSource::Data, "", false, 1ll << 40, 256, "genesis", 0};
    const PaletteChoice builtIn{PaletteSource::BuiltIn, "nes", false, 0, 16, "bgr555", 255};
    for (const auto& [choice, text] :
         {std::pair{vga6, "7 file-vga6 /a b/c.pal"}, std::pair{data, "0 data 1099511627776 256 genesis"},
          std::pair{builtIn, "255 builtin nes"}}) {
        EXPECT_EQ(paletteChoiceText(choice), text);
        PaletteChoice read;
        ASSERT_TRUE(parsePaletteChoice(text, read)) << text;
        EXPECT_EQ(paletteChoiceText(read), text);
    }
    for (const char* bad : {"", "0", "0 builtin", "0 builtin sepia", "256 builtin nes", "-1 builtin nes",
                            "x builtin nes", "0 file ", "0 other nes", "0 data 1 0 bgr555", "0 data 1 16 xyz",
                            "0 data -1 16 bgr555", "0 data 1 16 bgr555 more", "0 data $10 16 bgr555"}) {
        PaletteChoice read = builtIn;
        EXPECT_FALSE(parsePaletteChoice(bad, read)) << bad;
        EXPECT_EQ(paletteChoiceText(read), "255 builtin nes") << bad;
    }
}

}  // namespace
