#include <gtest/gtest.h>

#include "common/misc.h"

using namespace kavel;

TEST(Colours, HexTextIsRedGreenBlue) {
    EXPECT_EQ(hexToColour("FF0000"), 0x0000FF);
    EXPECT_EQ(hexToColour("00FF00"), 0x00FF00);
    EXPECT_EQ(hexToColour("0000FF"), 0xFF0000);
    EXPECT_EQ(hexToColour("FFFFEE"), 0xEEFFFF);
    EXPECT_EQ(hexToColour("FF0000AB"), 0x0000FF);  // only the first six count
    EXPECT_EQ(colourToHex(0xFF0000), "0000FF");
    EXPECT_EQ(colourToHex(0x0A0B0C), "0C0B0A");
    EXPECT_EQ(colourToHex(16777215), "FFFFFF");
    EXPECT_EQ(colourToHex(0), "000000");
}

TEST(Colours, RoundTripsEveryChannelValue) {
    for (int v = 0; v < 256; ++v) {
        int32_t c = rgb(v, 255 - v, v ^ 0x5A);
        EXPECT_EQ(hexToColour(colourToHex(c)), c) << v;
    }
}

TEST(Colours, BadDigitsStayInTheirChannel) {
    EXPECT_EQ(hexToColour("ff00aa"), hexToColour("FF00AA"));
    EXPECT_EQ(green(hexToColour("ZZ0000")), 0);
    EXPECT_EQ(blue(hexToColour("ZZ0000")), 0);
    EXPECT_EQ(hexToColour("FF"), 0x0000FF);  // short text: the missing digits are 0
    EXPECT_EQ(hexToColour(""), 0);
}

TEST(Colours, ComplementStaysWithin24Bits) {
    EXPECT_EQ(complement(hexToColour("FFFFEE")), hexToColour("000011"));
    EXPECT_EQ(complement(0), 0xFFFFFF);
    EXPECT_EQ(complement(0xFFFFFF), 0);
    EXPECT_EQ(complement(complement(0x123456)), 0x123456);
}
