#include "viewer/viewer_state.h"

#include <gtest/gtest.h>

#include "support/file_services.h"
#include "support/text_ops.h"

namespace {

class ViewerStateTest : public ::testing::Test {
   protected:
    void SetUp() override {
        initViewerState();
        buildByteTables();
    }
    void TearDown() override { initViewerState(); }
};

TEST_F(ViewerStateTest, StartsWithNothingLoadedAndTheDocumentedValues) {
    initViewerState();
    EXPECT_EQ(viewerState.dataBuffer, nullptr);
    EXPECT_EQ(viewerState.dataSize, 0);
    EXPECT_EQ(viewerState.bytesPerRow, 1);
    EXPECT_EQ(viewerState.byteOffset, 0);
    EXPECT_EQ(viewerState.zoom, 1);
    EXPECT_EQ(viewerState.colourMode, kModeBinary);
    EXPECT_EQ(viewerState.stayOnTop, 0);
    EXPECT_EQ(viewerState.maxWidth, 256);
    EXPECT_EQ(viewerState.viewHeight, 512);
    EXPECT_EQ(viewerState.jumpRow, -1);
    EXPECT_EQ(viewerState.windowTitle, "Pixloupe 2d");
    EXPECT_EQ(viewerState.loadedFileName, "");
    EXPECT_EQ(viewerState.lastFolder, currentDirectory());
    ASSERT_FALSE(viewerState.lastFolder.empty());
    EXPECT_EQ(viewerState.lastFolder.back(), '/');
    EXPECT_EQ(viewerState.convertOk, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(viewerState.palette[i], 0);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(viewerState.reverseBitsTable[i], 0) << "tables are built later";
}

TEST_F(ViewerStateTest, HeldValuesStartAsTheControlsDo) {
    struct Case {
        HeldValue which;
        int initial;
    };
    const Case cases[] = {
        {HeldValue::RowPosition, 0}, {HeldValue::Width, 1},       {HeldValue::FineOffset, 0},
        {HeldValue::Inverse, 0},     {HeldValue::ReverseByte, 0}, {HeldValue::Grid, 0},
        {HeldValue::MultiColumn, 0}, {HeldValue::NibbleSwap, 0},  {HeldValue::ZoomPreview, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(heldValue(c.which), c.initial) << static_cast<int>(c.which);
}

// Bit reversal through the text operations (binary digits, padded, reversed, read back)
// is independent of the table's own loop.
TEST_F(ViewerStateTest, ReverseBitsTableMatchesReversedBinaryDigits) {
    for (int v = 0; v < 256; ++v) {
        const int64_t reversed = textToNumber("%" + reverseText(padLeft(binaryText(v), 8, "0")));
        EXPECT_EQ(viewerState.reverseBitsTable[v], reversed) << "value " << v;
    }
}

TEST_F(ViewerStateTest, SwapNibblesTableMatchesMultiplicationBySixteen) {
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(viewerState.swapNibblesTable[v], (v * 16 + v / 16) % 256) << "value " << v;
    }
}

TEST_F(ViewerStateTest, ByteTableExamples) {
    struct Case {
        int value, reversed, swapped;
    };
    const Case cases[] = {
        {0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF}, {0x01, 0x80, 0x10}, {0x03, 0xC0, 0x30},
        {0x12, 0x48, 0x21}, {0xA5, 0xA5, 0x5A}, {0x80, 0x01, 0x08}, {0xF0, 0x0F, 0x0F},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(viewerState.reverseBitsTable[c.value], c.reversed) << c.value;
        EXPECT_EQ(viewerState.swapNibblesTable[c.value], c.swapped) << c.value;
    }
}

// A stand-in for the window's controls.
int controlValues[kHeldValueCount];
int readControl(HeldValue which) {
    return controlValues[static_cast<int>(which)];
}
void writeControl(HeldValue which, int value) {
    controlValues[static_cast<int>(which)] = value;
}

TEST_F(ViewerStateTest, BoundHeldValuesLiveInTheControls) {
    setHeldValue(HeldValue::Inverse, 1);
    for (int& value : controlValues) value = 0;
    controlValues[static_cast<int>(HeldValue::Width)] = 40;

    bindHeldValues(readControl, writeControl);
    EXPECT_EQ(heldValue(HeldValue::Width), 40);
    EXPECT_EQ(heldValue(HeldValue::Inverse), 0) << "the record's copy is no longer read";
    setHeldValue(HeldValue::FineOffset, -3);
    EXPECT_EQ(controlValues[static_cast<int>(HeldValue::FineOffset)], -3);

    bindHeldValues(nullptr, nullptr);
    EXPECT_EQ(heldValue(HeldValue::Inverse), 1);
    EXPECT_EQ(heldValue(HeldValue::FineOffset), 0);
}

TEST_F(ViewerStateTest, HalfABindingIsNoBinding) {
    setHeldValue(HeldValue::Grid, 1);
    bindHeldValues(readControl, nullptr);
    EXPECT_EQ(heldValue(HeldValue::Grid), 1);
    setHeldValue(HeldValue::Grid, 0);
    EXPECT_EQ(heldValue(HeldValue::Grid), 0);
}

TEST_F(ViewerStateTest, InitRemovesTheBinding) {
    bindHeldValues(readControl, writeControl);
    initViewerState();
    controlValues[static_cast<int>(HeldValue::Width)] = 99;
    EXPECT_EQ(heldValue(HeldValue::Width), 1);
}

TEST_F(ViewerStateTest, ValuesOutsideTheEnumAreIgnored) {
    setHeldValue(static_cast<HeldValue>(kHeldValueCount), 5);
    setHeldValue(static_cast<HeldValue>(-1), 5);
    EXPECT_EQ(heldValue(static_cast<HeldValue>(kHeldValueCount)), 0);
    EXPECT_EQ(heldValue(static_cast<HeldValue>(-1)), 0);
}

}  // namespace
