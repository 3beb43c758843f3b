#include <gtest/gtest.h>

#include "desktop/encoding.h"

using namespace kavel::platform;

TEST(Encoding, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(fromQString(toQString(all)), all);
}

TEST(Encoding, MapsTheWindowsRangeAndUmlauts) {
    EXPECT_EQ(toQString("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(toQString("Gr\xFC\xDF"
                        "e"),
              QString::fromUtf8("Grüße"));
    EXPECT_EQ(fromQString(QString::fromUtf8("Größe €")),
              "Gr\xF6\xDF"
              "e \x80");
    EXPECT_EQ(fromQString(QString::fromUtf8("日本")), "??");
    EXPECT_EQ(toQString(std::string("a\0b", 3)).size(), 3);
}
