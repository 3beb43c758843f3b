// The smiley table and the colouring of the templates.
#include <gtest/gtest.h>

#include "ui/smilies.h"

namespace kavel::testing {
namespace {

TEST(Smilies, TableComparesInUpperCase) {
    struct Case {
        const char* pair;
        int templ;
        int offset;
    };
    for (auto c : {Case{":)", 4, 0}, Case{";)", 5, 0}, Case{":(", 6, 0}, Case{":D", 7, -3},
                   Case{":d", 7, -3}, Case{":o", 8, 0}, Case{":P", 9, 0}, Case{":/", 10, 0},
                   Case{".)", 11, 5}, Case{".d", 11, 5}}) {
        auto e = smileyFor(c.pair);
        ASSERT_TRUE(e) << c.pair;
        EXPECT_EQ(e->templ, c.templ) << c.pair;
        EXPECT_EQ(e->fillOffset, c.offset) << c.pair;
    }
    for (const char* no : {":-", ";(", ".(", ";D", ":x", "::"})
        EXPECT_FALSE(smileyFor(no)) << no;
}

TEST(Smilies, TemplatesAreFifteenSquareWithTheOutline) {
    for (int n = 4; n <= 11; ++n) {
        const Picture& p = smileyTemplate(n);
        ASSERT_EQ(p.width, 15);
        ASSERT_EQ(p.pixels.size(), 225u);
        EXPECT_EQ(p.at(5, 0), kBlack) << n;
        EXPECT_EQ(p.at(0, 7), kBlack) << n;
        EXPECT_EQ(p.at(0, 0), kWhite) << n;
    }
    // Spots that tell the faces apart.
    EXPECT_EQ(smileyTemplate(5).at(9, 1), kBlack);  // the wink
    EXPECT_EQ(smileyTemplate(4).at(9, 1), kWhite);
    EXPECT_EQ(smileyTemplate(11).at(7, 6), kBlack);  // the pupil
}

TEST(Smilies, FillsColourOutsideAndFaceButNotTheEyes) {
    const int32_t bg = 0x112233, face = 0x00CCFF;
    const Picture p = makeSmiley(*smileyFor(":)"), bg, face);
    for (int corner : {0, 14}) {
        EXPECT_EQ(p.at(corner, 0), bg);
        EXPECT_EQ(p.at(corner, 14), bg);
    }
    EXPECT_EQ(p.at(1, 1), bg);
    EXPECT_EQ(p.at(7, 7), face);
    EXPECT_EQ(p.at(1, 7), face);
    EXPECT_EQ(p.at(4, 4), kBlack);  // eye
    EXPECT_EQ(p.at(5, 0), kBlack);  // outline
    int white = 0;
    for (int32_t px : p.pixels)
        white += px == kWhite;
    EXPECT_EQ(white, 0);
}

TEST(Smilies, OneEyedFaceIsFilledBelowTheEyeAndKeepsItsWhite) {
    const Picture p = makeSmiley(*smileyFor(".D"), kBlack, 0x0000FF);
    EXPECT_EQ(p.at(7, 12), 0x0000FF);
    EXPECT_EQ(p.at(1, 7), 0x0000FF);
    EXPECT_EQ(p.at(5, 5), kWhite);  // inside the eye
    EXPECT_EQ(p.at(0, 0), kBlack);
}

TEST(Smilies, GrinIsFilledAboveTheTeeth) {
    const Picture p = makeSmiley(*smileyFor(":D"), kWhite, 0xFF0000);
    EXPECT_EQ(p.at(7, 4), 0xFF0000);
    EXPECT_EQ(p.at(7, 8), kWhite);  // between the teeth, enclosed
}

TEST(Smilies, FillStartingOnBlackChangesNothing) {
    Picture p = smileyTemplate(4);
    floodFill(p, 5, 0, 0x00FF00);
    EXPECT_EQ(p.pixels, smileyTemplate(4).pixels);
    floodFill(p, -1, 20, 0x00FF00);
    EXPECT_EQ(p.pixels, smileyTemplate(4).pixels);
}

}  // namespace
}  // namespace kavel::testing
