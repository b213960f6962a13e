// "Save image...": the requester, the type's format and extension, a failed write, the picture.
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <tuple>

#include "support/io_seam.h"
#include "tests/viewer/window/viewer_driver.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int kPng = 0, kBmp = 1;

bool isPng(const std::string& bytes) {
    return bytes.rfind("\x89PNG\r\n\x1A\n", 0) == 0;
}

// The pixel rows of a BMP file of the sheet (24-bit, bottom-up), which must be the sheet's bytes.
std::string bmpPixels(const std::string& bytes) {
    return bytes.rfind("BM", 0) == 0 && bytes.size() == 54 + 1800 * 512 ? bytes.substr(54) : "";
}

class ImageExportTest : public ViewerWindowTest {
   protected:
    void exportAs(const std::string& name, int pattern) {
        answer({{RequesterKind::SaveFile, name, pattern}});
        EXPECT_EQ(command(kCommandSaveImage), ViewerStep::Continue);
        expectAllAnswered();
    }
};

// The proposal is the loaded name and folder; the type decides format and extension.
TEST_F(ImageExportTest, TypeDecidesFormatAndExtension) {
    mkdir(path("data").c_str(), 0700);
    ASSERT_EQ(startWithFile("data/game.bin", countingBytes(3000)), ViewerStep::Continue);
    exportAs(path("data/game.bin.png"), kPng);
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].title + "|" + seen()[0].folder + "|" + seen()[0].text,
              "Please choose file to save|" + path("data") + "|game.bin.png");
    EXPECT_EQ(std::pair(seen()[0].pattern, seen()[0].patterns.size()), std::pair(kPng, size_t{2}));
    EXPECT_TRUE(isPng(readFile("data/game.bin.png")));
    EXPECT_EQ(viewerState.lastFolder, path("data/"));
    // clang-format off
    const std::tuple<std::string, int, std::string> cases[] = {{"shot", kPng, "shot.png"}, {"shot.Png", kPng, "shot.Png"}, {"shot.bmp", kPng, "shot.bmp.png"},
                          {"shot.BMP", kBmp, "shot.BMP"}, {"a", kBmp, "a.bmp"}, {"shot.png", kBmp, "shot.png.bmp"},
                          {"data/game.bin.png", kBmp, "data/game.bin.bmp"}};
    // clang-format on
    for (const auto& [typed, pattern, written] : cases) {
        const bool typedBefore = exists(typed);
        ASSERT_FALSE(exists(written));
        exportAs(path(typed), pattern);
        EXPECT_EQ(isPng(readFile(written)), pattern == kPng) << written;
        EXPECT_EQ(bmpPixels(readFile(written)).empty(), pattern == kPng) << written;
        EXPECT_EQ(exists(typed), typedBefore || typed == written) << typed;
    }
}

// Neither save writes over the viewed file, whatever name leads to it: "link.png" and "hard" link to it.
TEST_F(ImageExportTest, TheViewedFileIsNeverWrittenOver) {
    // The save, the file loaded, the name chosen, the type, the final name the message names.
    // clang-format off
    const std::tuple<int, std::string, std::string, int, std::string> cases[] = {
        {kCommandSaveImage, "sprite.bmp", "sprite", kBmp, "sprite.bmp"}, {kCommandSaveImage, "sprite.png", "link.png", kPng, "link.png"},
        {kCommandSaveImage, "sprite.bmp", "hard", kPng, "hard.png"}, {kCommandSaveBinary, "data.bin", "data", kPng, "data.bin"},
        {kCommandSaveBinary, "data.bin", "link.png", kPng, "link.png"}, {kCommandSaveImage, "sprite.png", "sprite.png", kPng, "sprite.png"},
    };
    // clang-format on
    for (const auto& [save, loaded, chosen, pattern, refused] : cases) {
        SCOPED_TRACE(chosen);
        TearDown();
        SetUp();
        const std::string bytes = countingBytes(3000);
        ASSERT_EQ(startWithFile(loaded, bytes), ViewerStep::Continue);
        ASSERT_EQ(symlink(loaded.c_str(), path("link.png").c_str()), 0);
        ASSERT_EQ(link(path(loaded).c_str(), path("hard.png").c_str()), 0);
        const std::set<std::string> before = temporary_->entries();
        std::vector<RequesterAnswer> answers = {{RequesterKind::SaveFile, path(chosen), pattern},
                                                {RequesterKind::Message, ""}};
        if (save == kCommandSaveBinary) answers.insert(answers.begin(), {RequesterKind::Text, "16"});
        answer(answers);
        command(save);
        expectAllAnswered();
        ASSERT_EQ(seen().size(), answers.size());
        EXPECT_EQ(seen()[answers.size() - 2].text, save == kCommandSaveImage ? loaded + ".png" : "");
        EXPECT_EQ(seen().back().title, save == kCommandSaveImage ? "Save Image Error" : "Save binary file");
        EXPECT_EQ(seen().back().text, "Not saved: this is the file being viewed\n" + path(refused));
        EXPECT_EQ(readFile(loaded), bytes);
        EXPECT_EQ(temporary_->entries(), before);
    }
}

// The picture is the sheet without grid or preview, black before a load. Cancel and failures leave nothing.
TEST_F(ImageExportTest, PictureIsTheSheetAndFailuresLeaveNothing) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    exportAs(path("black.bmp"), kBmp);
    EXPECT_EQ(seen()[0].folder, folder_);
    EXPECT_EQ(seen()[0].text, "");
    EXPECT_EQ(bmpPixels(readFile("black.bmp")), std::string(1800 * 512, '\0'));
    finish();
    startWithData(30000);
    command(kCommandZoom2);
    exportAs(path("plain.bmp"), kBmp);
    command(kCommandGrid);
    command(kCommandZoomPreview);
    moveMouseOnCanvas(5, 5);
    moveMouseOnCanvas(0, 40), drain();
    int previewPixels = 0;
    for (int y = 41; y < 41 + 128; ++y)
        for (int x = 1; x < 1 + 128; ++x) previewPixels += canvasPixel(x, y) != sheetPixel(x, y);
    ASSERT_GT(previewPixels, 0);
    exportAs(path("decorated.bmp"), kBmp);
    EXPECT_EQ(readFile("plain.bmp"), readFile("decorated.bmp"));
    const ImageBuffer* sheet = imageBuffer(kSheetImage);  // bottom-up rows, as in the file
    EXPECT_TRUE(bmpPixels(readFile("plain.bmp")) == std::string(sheet->pixels, sheet->pixels + 1800 * 512));
    const std::set<std::string> before = temporary_->entries();
    answer({{RequesterKind::SaveFile, "", 0, true}});
    command(kCommandSaveImage);
    setWriteFailureAfter(40);
    answer({{RequesterKind::SaveFile, path("x"), kPng}, {RequesterKind::Message, ""}});
    command(kCommandSaveImage);
    setWriteFailureAfter(-1);
    expectAllAnswered();
    EXPECT_EQ(seen().back().title, "Save Image Error");
    EXPECT_EQ(seen().back().text, "Error saving\n" + path("x.png"));
    EXPECT_EQ(temporary_->entries(), before);
    exportAs(path("x"), kPng);
    EXPECT_TRUE(isPng(readFile("x.png")));
}

}  // namespace
