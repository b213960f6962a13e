// "Save image...": the requester, the format chosen by the type, the extension rule, the
// message of a failed write, and what the picture holds.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

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

// The proposal, kept, takes the extension of the type chosen.
TEST_F(ImageExportTest, ProposesTheLoadedNameWithTheTypesExtensionInItsFolder) {
    startWithData(countingBytes(3000));
    exportAs(path("data/game.bin.png"), kPng);
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].title, "Please choose file to save");
    EXPECT_EQ(seen()[0].folder, path("data"));
    EXPECT_EQ(seen()[0].text, "game.bin.png");
    EXPECT_EQ(seen()[0].pattern, kPng);
    EXPECT_EQ(seen()[0].patterns.size(), 2u);
    EXPECT_TRUE(isPng(readFile("data/game.bin.png")));
    EXPECT_EQ(viewerState.lastFolder, path("data/"));
    exportAs(path("data/game.bin.png"), kBmp);
    EXPECT_TRUE(isBmp(readFile("data/game.bin.bmp")));
    EXPECT_FALSE(exists("data/game.bin.png.bmp"));
}

// Neither save writes over the file being viewed, whatever name leads to it: "link.png" is a
// symbolic and "hard.png" a hard link to it.
struct ViewedFileCase {
    const char* name;
    int command;
    std::string loaded, chosen;
    int pattern;
    std::string refused;  // the final name, which the message names
};

void PrintTo(const ViewedFileCase& c, std::ostream* out) {
    *out << c.name;
}

class ViewedFileTest : public ImageExportTest, public testing::WithParamInterface<ViewedFileCase> {};

TEST_P(ViewedFileTest, IsNeverWrittenOver) {
    const ViewedFileCase& c = GetParam();
    const std::string bytes = countingBytes(3000);
    ASSERT_EQ(startWithFile(c.loaded, bytes), ViewerStep::Continue);
    ASSERT_EQ(symlink(c.loaded.c_str(), path("link.png").c_str()), 0);
    ASSERT_EQ(link(path(c.loaded).c_str(), path("hard.png").c_str()), 0);
    const std::set<std::string> before = temporary_->entries();
    std::vector<RequesterAnswer> answers = {{RequesterKind::SaveFile, path(c.chosen), c.pattern},
                                            {RequesterKind::Message, ""}};
    if (c.command == kCommandSaveBinary) answers.insert(answers.begin(), {RequesterKind::Text, "16"});
    answer(answers);
    command(c.command);
    expectAllAnswered();
    ASSERT_EQ(seen().size(), answers.size());
    EXPECT_EQ(seen().back().title, c.command == kCommandSaveImage ? "Save Image Error" : "Save binary file");
    EXPECT_EQ(seen().back().text, "Not saved: this is the file being viewed\n" + path(c.refused));
    EXPECT_EQ(readFile(c.loaded), bytes);
    EXPECT_EQ(temporary_->entries(), before);
    EXPECT_EQ(viewerState.dataSize, 3000);
}

INSTANTIATE_TEST_SUITE_P(
    Export, ViewedFileTest,
    testing::Values(
        ViewedFileCase{"PngByItsName", kCommandSaveImage, "sprite.png", "sprite.png", kPng, "sprite.png"},
        ViewedFileCase{"BmpWithTheExtensionAdded", kCommandSaveImage, "sprite.bmp", "sprite", kBmp,
                       "sprite.bmp"},
        ViewedFileCase{"ThroughASymbolicLink", kCommandSaveImage, "sprite.png", "link.png", kPng, "link.png"},
        ViewedFileCase{"ThroughAHardLink", kCommandSaveImage, "sprite.bmp", "hard", kPng, "hard.png"},
        ViewedFileCase{"BinaryWithTheExtensionAdded", kCommandSaveBinary, "data.bin", "data", kPng,
                       "data.bin"},
        ViewedFileCase{"BinaryThroughASymbolicLink", kCommandSaveBinary, "data.bin", "link.png", kPng,
                       "link.png"}),
    [](const testing::TestParamInfo<ViewedFileCase>& info) { return std::string(info.param.name); });

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
