#include "viewer/engine/format_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/viewer/engine/kernel_tables.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/format_files.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/wide_colours.h"

namespace {

class FormatTextTest : public KernelTableTest {};
INSTANTIATE_KERNEL_TABLES(FormatTextTest);

std::vector<uint8_t> sheetBytes() {
    const ImageBuffer* image = imageBuffer(kSheetImage);
    return std::vector<uint8_t>(image->pixels, image->pixels + int64_t{image->stride} * image->height);
}

// The text with its "id = ..." line's id given a prefix, so that it joins the table beside its built-in.
std::string renamed(std::string text, const std::string& prefix) {
    const size_t at = text.find("\nid = ") + 6;
    return text.insert(at, prefix);
}

// The mode that the built-in's description, read back from text, adds.
int describedTwin(FormatFiles& formats, int mode) {
    const FormatLoad load =
        addFormatText(formats, renamed(formatText(*modeRow(mode, nullptr)->record), "as-text-"), "test");
    EXPECT_EQ(load.problem, "");
    return load.mode;
}

// Every built-in machine format written as a description and read back draws the built-in's pixels,
// at widths, zooms, first bytes and byte transforms that reach both ends of the data.
TEST_P(FormatTextTest, EveryBuiltInAsTextDrawsAsTheBuiltIn) {
    ASSERT_TRUE(createImage(kSheetImage, kViewWidth, 512));
    std::mt19937 random(38);
    std::vector<uint8_t> bytes(90000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    TestView view = testView(bytes, kModeBinary, 1, 1);
    const int widths[] = {1, 3, 8, 40, 193, 256};
    const int64_t firsts[] = {0, -300, 17, 89000};
    int n = 0;
    FormatFiles formats;
    for (int mode = kColourModeCount; mode < kModeTableSize; ++mode) {
        if (modeRow(mode, nullptr)->record->attributeScreen) continue;
        const int twin = describedTwin(formats, mode);
        ASSERT_GE(twin, kModeTableSize) << modeRow(mode, nullptr)->cliName;
        for (int zoom = 1; zoom <= 8; zoom *= 2)
            for (int options = 0; options < 16; options += 3, ++n) {
                view.options = viewOptions(mode, widths[n % 6], zoom, firsts[n % 4], options);
                view.options.addedModes = &formats.modes;
                ASSERT_EQ(drawTestView(view), SheetResult::Drawn);
                const std::vector<uint8_t> builtIn = sheetBytes();
                std::memset(imageBuffer(kSheetImage)->pixels, 0x55, builtIn.size());
                view.options.colourMode = twin;
                ASSERT_EQ(drawTestView(view), SheetResult::Drawn);
                ASSERT_TRUE(sheetBytes() == builtIn) << modeRow(mode, nullptr)->cliName << " zoom " << zoom
                                                     << " options " << options << " width " << widths[n % 6];
            }
    }
}

// One message per bad text, naming the line and what is wrong.
TEST(FormatTextParseTest, BadTextsGiveOneMessage) {
    const std::string head = "name = T\nid = t\nlayout = tiled\ntile = 8 8\ntile-bytes = 16\nstep-y = 2.0\n";
    const std::string gb = head + "bits = 2\nbit 0 = 0.0\nbit 1 = 1.0\nstep-x = 0.1\n";
    // clang-format off
    const struct { std::string text; int line; const char* problem; } cases[] = {
        {gb + "colour = grey\n", 11, "unknown key \"colour\""},
        {head + "bits = 2\nbit 0 = 0.0\n", 8, "missing bit 1"},
        {head + "bits = 2\nbit 0 = 0.0\nbit 2 = 1.0\nbit 1 = 1.0\n", 9, "bit 2 is beyond bits = 2"},
        {head + "bits = 33\n", 7, "bits needs a number from 1 to 32, not \"33\""},
        {gb + "bit 1 = 2.0\n", 11, "bit 1 given twice"},
        {gb + "bits = 2\n", 11, "key \"bits\" given twice"},
        {head + "bits = 1\nbit 0 = 1w+0.0\n", 8, "Mw+ is for linear formats only"},
        {head + "bits = 1\nbit 0 = 0.8\n", 8, "bit 0 needs B.P or Mw+B.P, not \"0.8\""},
        {head + "bits = 12\nvalue = 2 le\n", 8, "value = 2 needs bits = 16"},
        {gb + "value = 1 le\n", 11, "bit K lines and value exclude each other"},
        {gb + "width-bytes = 2\n", 11, "width-bytes is for linear formats"},
        {"name = T\nid = T\n", 2, "id needs 1 to 24 of a-z, 0-9 and -, not \"T\""},
        {"name = T\nid = t\nlayout = linear\nbits = 1\nbit 0 = 0.0\n", 5, "missing width-pixels"},
        {"name = T # no id\n", 1, "missing id"},
        {gb + "step-x 0.1\n", 11, "expected key = value"},
        {gb + "tile = 65 8\n", 11, "key \"tile\" given twice"},
        {head + "bits = 16\nvalue = 2 le\nstep-x = 1.4\n", 9, "with value, every step is a whole number of bytes"},
        {gb + "colours = direct 3 0 0\n", 11, "colours = direct needs nonzero hex masks, not \"0\""},
        {gb + "colours = direct 3 3 4\n", 11, "a colour mask reaches past bits = 2"},
        {"name = \xff\n", 1, "name needs 1 to 40 printable characters of UTF-8 text"},
    };
    // clang-format on
    for (const auto& c : cases) {
        const FormatParse parse = parseFormatText(c.text);
        EXPECT_FALSE(parse.ok) << c.text;
        EXPECT_EQ(parse.line, c.line) << c.text;
        EXPECT_EQ(parse.problem, c.problem) << c.text;
    }
}

// A refused file adds nothing; an id may not be taken twice.
TEST(FormatTextParseTest, RefusedFormatsAddNothing) {
    const std::string text =
        "name = Twice\nid = twice\nlayout = linear\nwidth-pixels = 8\nbits = 1\nbit 0 = 0.0\n";
    FormatFiles formats;
    const int before = modeCount(&formats.modes);
    EXPECT_EQ(addFormatText(formats, text, "a.plfmt").problem, "");
    EXPECT_EQ(addFormatText(formats, text, "b.plfmt").problem, "b.plfmt:1: id \"twice\" is taken by a.plfmt");
    EXPECT_EQ(addFormatText(formats, renamed(formatText(*modeRow(kModeNes, nullptr)->record), ""), "c.plfmt")
                  .problem,
              "c.plfmt:1: id \"nes\" is taken by built in");
    EXPECT_EQ(addFormatText(formats,
                            "name = W\nid = w\nlayout = linear\nwidth-pixels = 1\nbits = 16\nvalue = 2 le\n"
                            "colours = direct F800 7E0 1001F\n",
                            "d")
                  .problem,
              "d:7: a colour mask reaches past bits = 16");
    EXPECT_EQ(addFormatText(formats,
                            "name = P\nid = p\nlayout = linear\nwidth-pixels = 8\nbits = 1\nbit 0 = 0.0\n"
                            "colours = palette sepia\n",
                            "e")
                  .problem,
              "e:7: unknown palette \"sepia\"");
    const FormatLoad greens = addFormatText(
        formats,
        "name = G\nid = g\nlayout = linear\nwidth-pixels = 4\nbits = 2\nbit 0 = 0.1\nbit 1 = 0.0\n"
        "colours = palette gameboy\n",
        "f");
    ASSERT_EQ(greens.problem, "");
    EXPECT_EQ(modePixelColour(greens.mode, 3, &formats.modes), 0x0F380F);  // the darkest green, 0x00BBGGRR
    EXPECT_EQ(modeCount(&formats.modes), before + 2);
    EXPECT_EQ(modeSource(formats, before), "a.plfmt");
    EXPECT_EQ(modeDescription(formats, before), text);
    EXPECT_EQ(modeRow(before, &formats.modes)->record->group, ModeGroup::Files);
}

// A channel of n bits scales to 255 x c div (2^n - 1), worked by hand; the drawing's form of it
// (tables up to 8 bits, shifts beyond) gives the same level for every c up to 16 bits and for
// samples up to 32.
TEST(DirectColourTest, ChannelsScaleAsTheirBitsAllow) {
    // clang-format off
    const struct { uint32_t mask, value; int level; } rows[] = {
        {0x001F, 31, 255}, {0x001F, 16, 131}, {0x001F, 1, 8}, {0xF800, 0x8000, 131},
        {0x07E0, 63 << 5, 255}, {0x07E0, 32 << 5, 129}, {0x07E0, 1 << 5, 4},
        {0x7C00, 0xFFFF, 255}, {0x00FF0000, 0x00800000, 128}, {0x3FF, 512, 127}, {0x3FF, 1023, 255},
        {0xFFFF, 0x8000, 127}, {0xFFFFFFFF, 0x80000000, 127}, {0xFFFFFFFF, 0xFFFFFFFF, 255},
        {0x1, 1, 255}, {0x505, 0x401, 153},  // bits 0, 2, 8, 10: c = 1001b
    };
    // clang-format on
    for (const auto& r : rows) {
        EXPECT_EQ(channelLevel(r.value, r.mask), r.level) << std::hex << r.mask << " " << r.value;
        ModeRecord record{};
        record.channelMasks[0] = record.channelMasks[1] = record.channelMasks[2] = r.mask;
        WideColours colours;
        makeWideColours(colours, record, nullptr, 0);
        EXPECT_EQ(wideColour(colours, r.value), r.level * 0x010101) << std::hex << r.mask << " " << r.value;
    }
    std::mt19937 random(5);
    for (int n = 1; n <= 32; ++n) {
        ModeRecord record{};
        record.channelMasks[0] = static_cast<uint32_t>((uint64_t{1} << n) - 1) << (32 - n);
        WideColours colours;
        makeWideColours(colours, record, nullptr, 0);
        for (uint64_t c = 0; c < (uint64_t{1} << n); c += n <= 16 ? 1 : 1 + random() % 40000) {
            const auto value = static_cast<uint32_t>(c << (32 - n));
            ASSERT_EQ(wideColour(colours, value), channelLevel(value, record.channelMasks[0]))
                << n << " " << c;
        }
    }
}

}  // namespace
