#include "graphics/image_save.h"

#include <gtest/gtest.h>

#include <vector>

#include "graphics/drawing.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "tests/support/temp_folder.h"

namespace {

// What an encoder of the test's own was handed.
struct Call {
    int entry = 0;  // 24 or 32: which entry ran
    std::string fileName;
    const uint8_t* pixels = nullptr;
    std::vector<uint8_t> bytes;  // stride x height bytes from pixels, read during the call
    int width = 0, height = 0, stride = 0, flags = 0, options = 0, outputDepth = 0;
};
std::vector<Call> calls;

int record(int entry, const std::string& fileName, const uint8_t* pixels, int width, int height, int stride,
           int flags, int options, int outputDepth) {
    calls.push_back(Call{entry, fileName, pixels,
                         std::vector<uint8_t>(pixels, pixels + static_cast<size_t>(stride) * height), width,
                         height, stride, flags, options, outputDepth});
    return 5;
}
int record24(const std::string& f, const uint8_t* p, int w, int h, int s, int fl, int o, int d) {
    return record(24, f, p, w, h, s, fl, o, d);
}
int record32(const std::string& f, const uint8_t* p, int w, int h, int s, int fl, int o, int d) {
    return record(32, f, p, w, h, s, fl, o, d);
}
int refuse(const std::string&, const uint8_t*, int, int, int, int, int, int) {
    return 0;
}

constexpr int32_t kBoth = 0x314E45;     // "EN1": 24- and 32-bit entries
constexpr int32_t kOnly24 = 0x324E45;   // "EN2": no 32-bit entry
constexpr int32_t kTwice = 0x334E45;    // "EN3": registered twice, the first one counts
constexpr int32_t kUnknown = 0x394E45;  // "EN9": never registered

class SaveDispatch : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        registerEncoder(kBoth, record24, record32);
        registerEncoder(kOnly24, record24, nullptr);
        registerEncoder(kTwice, record24, nullptr);
        registerEncoder(kTwice, refuse, refuse);
    }
    void SetUp() override { calls.clear(); }
    void TearDown() override { freeImage(-1); }
};

TEST_F(SaveDispatch, TwentyFourBitImagesGoToThe24BitEntryAsTheyAre) {
    ASSERT_TRUE(createImage(1, 5, 3, 24, 0x0000FF));
    EXPECT_EQ(saveImage(1, "out.x", kBoth), 5) << "the encoder's result is returned";
    ASSERT_EQ(calls.size(), 1u);
    const Call& call = calls[0];
    EXPECT_EQ(call.entry, 24);
    EXPECT_EQ(call.fileName, "out.x");
    EXPECT_EQ(call.pixels, imageHandle(1)->pixels);
    EXPECT_EQ(call.width, 5);
    EXPECT_EQ(call.height, 3);
    EXPECT_EQ(call.stride, 16);
    EXPECT_EQ(call.flags, 2);
    EXPECT_EQ(call.options, 7);
    EXPECT_EQ(call.outputDepth, 24);
}

TEST_F(SaveDispatch, ThirtyTwoBitImagesUseThe32BitEntryWhenThereIsOne) {
    ASSERT_TRUE(createImage(1, 2, 2, 32, 0x0000FF));
    EXPECT_EQ(saveImage(1, "out.x", kBoth), 5);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].entry, 32);
    EXPECT_EQ(calls[0].pixels, imageHandle(1)->pixels);
    EXPECT_EQ(calls[0].stride, 8);
    EXPECT_EQ(calls[0].outputDepth, 32);
}

TEST_F(SaveDispatch, ThirtyTwoBitImagesAreLaidOverWhiteForA24BitOnlyEncoder) {
    // Bottom-up memory: the first four pixels are the bottom row.
    ASSERT_TRUE(createImage(1, 3, 2, 32, -1));
    const uint8_t pixels[] = {
        0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30, 0,   0, 0, 0, 128,  // bottom row
        0xFF, 0xFF, 0xFF, 1,   0,    0,    0,    255, 0, 0, 0, 1,    // top row
    };
    std::copy(std::begin(pixels), std::end(pixels), imageBuffer(1)->pixels);
    EXPECT_EQ(saveImage(1, "out.x", kOnly24), 5);
    ASSERT_EQ(calls.size(), 1u);
    const Call& call = calls[0];
    EXPECT_EQ(call.entry, 24);
    EXPECT_NE(call.pixels, imageHandle(1)->pixels);
    EXPECT_EQ(call.stride, 12) << "a packed 24-bit copy";
    EXPECT_EQ(call.flags, 2);
    // (alpha * (c - 255) + 65025) / 255: opaque keeps c, clear gives 255, 128 over black gives 127.
    EXPECT_EQ(call.bytes, (std::vector<uint8_t>{0x10, 0x20, 0x30, 255, 255, 255, 127, 127, 127, 0, 0, 0,
                                                255,  255,  255,  0,   0,   0,   254, 254, 254, 0, 0, 0}));
}

TEST_F(SaveDispatch, RefusalsCallNoEncoder) {
    ASSERT_TRUE(createImage(1, 2, 2));
    EXPECT_EQ(saveImage(1, "out.x", kUnknown), 0);
    EXPECT_EQ(saveImage(1, "", kBoth), 0);
    EXPECT_EQ(saveImage(2, "out.x", kBoth), 0);
    EXPECT_EQ(saveImage(1, "out.x", "EN"), 0);
    EXPECT_EQ(saveImage(1, "out.x", "EN1x"), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(SaveDispatch, EncodersAreFoundByLettersInRegistrationOrder) {
    ASSERT_TRUE(createImage(1, 2, 2));
    EXPECT_EQ(saveImage(1, "out.x", "EN1"), 5);
    EXPECT_EQ(saveImage(1, "out.x", kTwice), 5);
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(SaveDispatch, BmpIsTheDefaultAndPngComesOnceRegistered) {
    TempFolder folder;
    ASSERT_TRUE(createImage(1, 2, 2));
    ASSERT_TRUE(saveImage(1, folder.file("default.bmp")));
    ASSERT_TRUE(saveImage(1, folder.file("named.bmp"), "BMP"));
    EXPECT_EQ(readWholeFile(folder.file("default.bmp")).substr(0, 2), "BM");
    EXPECT_EQ(readWholeFile(folder.file("named.bmp")), readWholeFile(folder.file("default.bmp")));

    registerPngEncoder();
    registerPngEncoder();
    ASSERT_TRUE(saveImage(1, folder.file("picture.png"), "PNG"));
    EXPECT_EQ(readWholeFile(folder.file("picture.png")).substr(1, 3), "PNG");
    EXPECT_TRUE(calls.empty());
}

}  // namespace
