// "Save image...": the requester, the format chosen by the type, the extension rule, the
// message of a failed write, and what the picture holds.
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "support/io_seam.h"
#include "tests/viewer/viewer_driver.h"
#include "viewer/sheet_render.h"
#include "viewer/viewer_state.h"

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

// The proposal is the loaded name with the type's extension in its folder; the type decides
// the format and whether the extension is added.
TEST_F(ImageExportTest, TypeDecidesFormatAndExtension) {
    startWithData(countingBytes(3000));
    exportAs(path("data/game.bin.png"), kPng);
    ASSERT_EQ(seen().size(), 1u);
    EXPECT_EQ(seen()[0].title + "|" + seen()[0].folder + "|" + seen()[0].text,
              "Please choose file to save|" + path("data") + "|game.bin.png");
    EXPECT_EQ(seen()[0].pattern, kPng);
    EXPECT_EQ(seen()[0].patterns.size(), 2u);
    EXPECT_TRUE(isPng(readFile("data/game.bin.png")));
    EXPECT_EQ(viewerState.lastFolder, path("data/"));
    struct Case {
        std::string typed;
        int pattern;
        std::string written;
    };
    // clang-format off
    const Case cases[] = {{"shot", kPng, "shot.png"}, {"shot.Png", kPng, "shot.Png"}, {"shot.bmp", kPng, "shot.bmp.png"},
                          {"shot.BMP", kBmp, "shot.BMP"}, {"a", kBmp, "a.bmp"}, {"shot.png", kBmp, "shot.png.bmp"},
                          {"data/game.bin.png", kBmp, "data/game.bin.bmp"}};
    // clang-format on
    for (const Case& c : cases) {
        const bool typedBefore = exists(c.typed);
        ASSERT_FALSE(exists(c.written));
        exportAs(path(c.typed), c.pattern);
        const std::string bytes = readFile(c.written);
        EXPECT_EQ(isPng(bytes), c.pattern == kPng) << c.written;
        EXPECT_EQ(bmpPixels(bytes).empty(), c.pattern == kPng) << c.written;
        EXPECT_EQ(exists(c.typed), typedBefore || c.typed == c.written) << c.typed;
    }
}

// Neither save writes over the file being viewed, whatever name leads to it: "link.png" is a
// symbolic and "hard" a hard link to it.
TEST_F(ImageExportTest, TheViewedFileIsNeverWrittenOver) {
    struct Case {
        int command;
        std::string loaded, chosen;
        int pattern;
        std::string refused;  // the final name, which the message names
    };
    // clang-format off
    const Case cases[] = {
        {kCommandSaveImage, "sprite.bmp", "sprite", kBmp, "sprite.bmp"}, {kCommandSaveImage, "sprite.png", "link.png", kPng, "link.png"},
        {kCommandSaveImage, "sprite.bmp", "hard", kPng, "hard.png"}, {kCommandSaveBinary, "data.bin", "data", kPng, "data.bin"},
        {kCommandSaveBinary, "data.bin", "link.png", kPng, "link.png"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        TearDown();
        SetUp();
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
        EXPECT_EQ(seen().back().title,
                  c.command == kCommandSaveImage ? "Save Image Error" : "Save binary file");
        EXPECT_EQ(seen().back().text, "Not saved: this is the file being viewed\n" + path(c.refused));
        EXPECT_EQ(readFile(c.loaded), bytes);
        EXPECT_EQ(temporary_->entries(), before);
    }
}

// The saved picture is the sheet, without the grid or the preview the canvas shows; before any
// load it is black. Cancel writes nothing; a failed write is reported and leaves no file.
TEST_F(ImageExportTest, PictureIsTheSheetAndFailuresLeaveNothing) {
    ASSERT_EQ(start(), ViewerStep::Continue);
    exportAs(path("black.bmp"), kBmp);
    EXPECT_EQ(seen()[0].folder, folder_);
    EXPECT_EQ(seen()[0].text, "");
    EXPECT_EQ(bmpPixels(readFile("black.bmp")), std::string(1800 * 512, '\0'));
    finish();
    startWithData(countingBytes(30000));
    command(kCommandZoom2);
    exportAs(path("plain.bmp"), kBmp);
    command(kCommandGrid);
    command(kCommandZoomPreview);
    moveMouseOnCanvas(5, 5);
    moveMouseOnCanvas(0, 40);
    drain();
    int previewPixels = 0;
    for (int y = 41; y < 41 + 128; ++y)
        for (int x = 1; x < 1 + 128; ++x) previewPixels += canvasPixel(x, y) != sheetPixel(x, y);
    ASSERT_GT(previewPixels, 0);
    exportAs(path("decorated.bmp"), kBmp);
    EXPECT_EQ(readFile("plain.bmp"), readFile("decorated.bmp"));
    const ImageBuffer* sheet = imageBuffer(kSheetImage);  // bottom-up rows of 1800 bytes, as in the file
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
