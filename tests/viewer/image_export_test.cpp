// "Save image...": the requester, the format chosen by the type, the extension rule, the
// message of a failed write, and what the picture holds.
#include <sys/stat.h>

#include <cstring>
#include <set>
#include <string>

#include "shell/controls.h"
#include "support/io_seam.h"
#include "tests/viewer/viewer_driver.h"
#include "viewer/viewer_state.h"

namespace {

constexpr int kPng = 0, kBmp = 1;

bool isPng(const std::string& bytes) {
    return bytes.rfind("\x89PNG\r\n\x1A\n", 0) == 0;
}
bool isBmp(const std::string& bytes) {
    return bytes.rfind("BM", 0) == 0;
}

int32_t littleEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return static_cast<int32_t>(value);
}

// Width and height of a BMP file's picture, and its pixel bytes.
struct BmpPicture {
    int32_t width = 0, height = 0, depth = 0;
    std::string pixels;
};

BmpPicture readBmp(const std::string& bytes) {
    BmpPicture picture;
    if (bytes.size() < 54 || !isBmp(bytes)) return picture;
    picture.width = littleEndian32(bytes, 18);
    picture.height = littleEndian32(bytes, 22);
    picture.depth = static_cast<uint8_t>(bytes[28]);
    picture.pixels = bytes.substr(static_cast<size_t>(littleEndian32(bytes, 10)));
    return picture;
}

class ImageExportTest : public ViewerWindowTest {
   protected:
    void startWithData(const std::string& bytes) {
        mkdir(path("data").c_str(), 0700);
        ASSERT_EQ(startWithFile("data/game.bin", bytes), ViewerStep::Continue);
    }
    void exportAs(const std::string& name, int pattern) {
        answer({{RequesterKind::SaveFile, name, pattern}});
        EXPECT_EQ(command(kCommandSaveImage), ViewerStep::Continue);
        expectAllAnswered();
    }
};

struct ExportNameCase {
    const char* name;
    std::string typed;
    int pattern;
    std::string written;
    bool png;
};

void PrintTo(const ExportNameCase& c, std::ostream* out) {
    *out << c.name;
}

class ExportNameTest : public ImageExportTest, public testing::WithParamInterface<ExportNameCase> {};

TEST_P(ExportNameTest, TypeDecidesFormatAndExtension) {
    const ExportNameCase& c = GetParam();
    startWithData(countingBytes(3000));
    exportAs(path(c.typed), c.pattern);
    ASSERT_TRUE(exists(c.written));
    const std::string bytes = readFile(c.written);
    EXPECT_EQ(isPng(bytes), c.png);
    EXPECT_EQ(isBmp(bytes), !c.png);
    if (c.typed != c.written) {
        EXPECT_FALSE(exists(c.typed));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Export, ExportNameTest,
    testing::Values(ExportNameCase{"PngAppended", "shot", kPng, "shot.png", true},
                    ExportNameCase{"PngKeptInAnyCase", "shot.Png", kPng, "shot.Png", true},
                    ExportNameCase{"PngAfterBmpName", "shot.bmp", kPng, "shot.bmp.png", true},
                    ExportNameCase{"BmpKeptUpperCase", "shot.BMP", kBmp, "shot.BMP", false},
                    ExportNameCase{"BmpAppended", "shot", kBmp, "shot.bmp", false},
                    ExportNameCase{"BmpAfterPngName", "shot.png", kBmp, "shot.png.bmp", false},
                    ExportNameCase{"ShortName", "a", kBmp, "a.bmp", false}),
    [](const testing::TestParamInfo<ExportNameCase>& info) { return std::string(info.param.name); });

TEST_F(ImageExportTest, ProposesTheLoadedNameInItsFolder) {
    startWithData(countingBytes(3000));
    exportAs(path("data/game.bin"), kPng);
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].title, "Please choose file to save");
    EXPECT_EQ(seen()[0].folder, path("data"));
    EXPECT_EQ(seen()[0].text, "game.bin");
    EXPECT_EQ(seen()[0].pattern, kPng);
    EXPECT_EQ(seen()[0].patterns.size(), 2u);
    EXPECT_TRUE(isPng(readFile("data/game.bin.png")));
    EXPECT_EQ(viewerState.lastFolder, path("data/"));
}

TEST_F(ImageExportTest, PictureIsTheSheetWithoutGridOrPreview) {
    startWithData(countingBytes(30000));
    exportAs(path("plain.bmp"), kBmp);
    command(kCommandGrid);
    command(kCommandZoomPreview);
    moveMouseOnCanvas(5, 5);
    moveMouseOnCanvas(0, 40);
    drain();
    int previewPixels = 0;  // differences the preview makes on the canvas
    for (int y = 41; y < 41 + 128; ++y) {
        for (int x = 1; x < 1 + 128; ++x) previewPixels += canvasPixel(x, y) != sheetPixel(x, y);
    }
    ASSERT_GT(previewPixels, 0);
    exportAs(path("decorated.bmp"), kBmp);
    EXPECT_EQ(readFile("plain.bmp"), readFile("decorated.bmp"));
    const BmpPicture picture = readBmp(readFile("plain.bmp"));
    ASSERT_EQ(picture.width, 600);
    ASSERT_EQ(picture.height, 512);
    // Bottom-up rows of 1800 bytes: blue, green, red.
    for (int y : {0, 1, 200, 511}) {
        for (int x : {0, 1, 7, 8, 9, 599}) {
            const size_t at = static_cast<size_t>(511 - y) * 1800 + static_cast<size_t>(x) * 3;
            const int32_t colour = static_cast<uint8_t>(picture.pixels[at + 2]) |
                                   (static_cast<uint8_t>(picture.pixels[at + 1]) << 8) |
                                   (static_cast<uint8_t>(picture.pixels[at]) << 16);
            EXPECT_EQ(colour, sheetPixel(x, y)) << x << "," << y;
        }
    }
}

TEST_F(ImageExportTest, EveryZoomGivesTheSameSize) {
    startWithData(countingBytes(30000));
    for (int zoom : {kCommandZoom8, kCommandZoom1}) {
        command(zoom);
        exportAs(path("zoom" + std::to_string(zoom) + ".bmp"), kBmp);
        const BmpPicture picture = readBmp(readFile("zoom" + std::to_string(zoom) + ".bmp"));
        EXPECT_EQ(picture.width, 600);
        EXPECT_EQ(picture.height, 512);
        EXPECT_EQ(picture.depth, 24);
    }
    EXPECT_NE(readFile("zoom7.bmp"), readFile("zoom4.bmp"));
}

TEST_F(ImageExportTest, BeforeAnyLoadThePictureIsBlack) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    exportAs(path("black.bmp"), kBmp);
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].folder, folder_);
    EXPECT_EQ(seen()[0].text, "");
    const BmpPicture picture = readBmp(readFile("black.bmp"));
    EXPECT_EQ(picture.width, 600);
    EXPECT_EQ(picture.height, 512);
    EXPECT_EQ(picture.pixels.size(), 1800u * 512u);
    EXPECT_EQ(picture.pixels.find_first_not_of('\0'), std::string::npos);
}

// The disk fills up in the middle of the picture.
TEST_F(ImageExportTest, FailedWriteIsReportedAndTheNextExportWorks) {
    startWithData(countingBytes(3000));
    const std::set<std::string> before = temporary_->entries();
    setWriteFailureAfter(40);
    answer({{RequesterKind::SaveFile, path("x"), kPng}, {RequesterKind::Message, ""}});
    command(kCommandSaveImage);
    setWriteFailureAfter(-1);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), 2u);
    EXPECT_EQ(seen()[1].title, "Save Image Error");
    EXPECT_EQ(seen()[1].text, "Error saving\n" + path("x.png"));
    EXPECT_EQ(temporary_->entries(), before);
    exportAs(path("x"), kPng);
    EXPECT_TRUE(isPng(readFile("x.png")));
}

TEST_F(ImageExportTest, CancelWritesNothing) {
    startWithData(countingBytes(3000));
    answer({{RequesterKind::SaveFile, "", 0, true}});
    command(kCommandSaveImage);
    expectAllAnswered();
    EXPECT_EQ(seen().size(), 1u);
    EXPECT_FALSE(exists("data/game.bin.png"));
}

}  // namespace
