#include "viewer/pixel_decoding.h"

#include <gtest/gtest.h>

#include "tests/viewer/viewer_test_support.h"

namespace {

// Every value with every option, against the options worked out bit by bit.
TEST(PixelDecodingTest, TransformedByteOfEveryValue) {
    loadBytes({});
    for (int v = 0; v < 256; ++v) {
        for (int options = 0; options < 8; ++options) {
            const bool inverse = options & 1, reverse = options & 2, nibble = options & 4;
            int expected = 0;
            for (int bit = 0; bit < 8; ++bit)
                expected |= (((v >> bit) & 1) ^ inverse) << ((reverse ? 7 - bit : bit) ^ (nibble ? 4 : 0));
            ASSERT_EQ(transformedByte(v, inverse, reverse, nibble), expected) << v << " options " << options;
        }
    }
}

// The data is 12 01 A5 80; index -1 lies before it and 4 at its end: 0 there, the inverse not applied.
TEST(PixelDecodingTest, ViewByteValueAppliesTheOptionsInsideTheDataOnly) {
    struct Case {
        bool inverse, reverse, nibble;
        int expected[6];  // indices -1, 0, 1, 2, 3, 4
    };
    const Case cases[] = {
        {false, false, false, {0x00, 0x12, 0x01, 0xA5, 0x80, 0x00}},
        {true, true, false, {0x00, 0xB7, 0x7F, 0x5A, 0xFE, 0x00}},
        {true, true, true, {0x00, 0x7B, 0xF7, 0xA5, 0xEF, 0x00}},
    };
    loadBytes({0x12, 0x01, 0xA5, 0x80});
    for (const Case& c : cases) {
        setHeldValue(HeldValue::Inverse, c.inverse);
        setHeldValue(HeldValue::ReverseByte, c.reverse);
        setHeldValue(HeldValue::NibbleSwap, c.nibble);
        for (int index = -1; index <= 4; ++index)
            EXPECT_EQ(viewByteValue(index), c.expected[index + 1])
                << c.inverse << c.reverse << c.nibble << " at " << index;
    }
    unloadBytes();
    buildByteTables();
    setHeldValue(HeldValue::Inverse, 1);
    EXPECT_EQ(viewByteValue(0), 0) << "nothing loaded";
}

}  // namespace
