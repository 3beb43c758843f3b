// The rendering rules, recorded by a fake view: what is appended in which
// style and colour, which pictures, which links, which notices.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/LEXER.h"
#include "common/cp1252.h"
#include "common/data.h"
#include "common/misc.h"
#include "support/local_time.h"
#include "support/services.h"
#include "ui/fake_view.h"
#include "ui/smilies.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";
constexpr int B = textstyle::Bold;
constexpr int I = textstyle::Italic;
constexpr int32_t kUrlColour = 0x00AA00;
constexpr int32_t kTextColour = 0x123456;

class PrintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitLexTable();
        setText(&ClientState::nick, "anna");
        clientState.urlColour = kUrlColour;
        clientState.textColour = kTextColour;
        setOptions(opt::ColourFirst | opt::MarkUrls);
        state.background = kWhite;
    }

    std::vector<Piece>& print(const std::string& t) {
        target.fakeView.pieces.clear();
        printMessage(target, state, t);
        return target.fakeView.pieces;
    }

    FakeTarget target;
    RenderState state;
};

TEST_F(PrintTest, BoldAndItalicToggle) {
    EXPECT_THAT(print("Hallo" + VT + "BWelt" + VT + "B!"),
                ElementsAre(piece("Hallo"), piece("Welt", B), piece("!"), lineBreak()));
    EXPECT_THAT(
        print(VT + "ia" + VT + "bb" + VT + "Ic" + VT + "Bd"),
        ElementsAre(piece("a", I), piece("b", I | B), piece("c", B), piece("d"), lineBreak()));
}

TEST_F(PrintTest, StyleAndColourNeverCarryIntoTheNextMessage) {
    print(VT + "B" + VT + "CFF0000rot");
    EXPECT_THAT(print("normal"), ElementsAre(piece("normal"), lineBreak()));
}

TEST_F(PrintTest, ColourCodesTakeExactlySixDigits) {
    EXPECT_THAT(print(VT + "CFF000 Text"), ElementsAre(piece(" Text"), lineBreak()));
    EXPECT_THAT(print(VT + "CFF0000AB"), ElementsAre(piece("AB", 0, 0x0000FF), lineBreak()));
    // Either letter case; the order on the wire is red, green, blue.
    EXPECT_THAT(print("a" + VT + "c00ff80b"),
                ElementsAre(piece("a"), piece("b", 0, rgb(0, 0xFF, 0x80)), lineBreak()));
    // A code at the very end, or with one byte after it, just disappears.
    EXPECT_THAT(print("x" + VT + "C"), ElementsAre(piece("x"), lineBreak()));
    EXPECT_THAT(print("x" + VT + "C1"), ElementsAre(piece("x"), lineBreak()));
}

TEST_F(PrintTest, ContrastModeComplementsColoursCloseToTheBackground) {
    setOptions(opt::ContrastFirst);
    EXPECT_THAT(print(VT + "CFFFFEEa" + VT + "C000000b"),
                ElementsAre(piece("a", 0, hexToColour("000011")), piece("b", 0, 0), lineBreak()));
    // d = 84 / 3 = 28 < 85 against a mid grey; exactly 85 is kept.
    state.background = rgb(0x80, 0x80, 0x80);
    EXPECT_THAT(print(VT + "C9C9C9Cx" + VT + "CD5D5D5y"),
                ElementsAre(piece("x", 0, complement(rgb(0x9C, 0x9C, 0x9C))),
                            piece("y", 0, rgb(0xD5, 0xD5, 0xD5)), lineBreak()));
}

TEST_F(PrintTest, IgnoreAndNoModeDropCodesButKeepBlack) {
    for (uint16_t mode : {opt::IgnoreColours, uint16_t(0)}) {
        setOptions(mode);
        EXPECT_THAT(print("a" + VT + "CFF0000b" + VT + "C00FF00c"),
                    ElementsAre(piece("abc"), lineBreak()))
            << mode;
    }
}

TEST_F(PrintTest, MarkedUrlIsBoldInUrlColourListedOnceAndRestoresTheStyle) {
    const std::string url = "www.example.de/seite?a=1";
    EXPECT_THAT(
        print(VT + "CFF0000" + VT + "Ivor " + url + " nach " + url),
        ElementsAre(piece("vor ", I, 0x0000FF), piece(url, I | B, kUrlColour),
                    piece(" nach ", I, 0x0000FF), piece(url, I | B, kUrlColour), lineBreak()));
    print("noch einmal " + url);
    EXPECT_THAT(target.urls, ElementsAre(url));
}

TEST_F(PrintTest, UnmarkedUrlLeavesStyleAndColourAsTheyWere) {
    setOptions(opt::ColourFirst);
    EXPECT_THAT(print(VT + "B" + VT + "C00FF00a http://x.de/ b"),
                ElementsAre(piece("a http://x.de/ b", B, 0x00FF00), lineBreak()));
    EXPECT_THAT(target.urls, ElementsAre("http://x.de/"));
}

TEST_F(PrintTest, UrlWordsAloneAreUrls) {
    print("HTTP und ftp: Https");
    EXPECT_THAT(target.urls, ElementsAre("HTTP", "ftp:", "Https"));
    // Only the four words start a link.
    print("httpx wwwx");
    EXPECT_EQ(target.urls.size(), 3u);
}

TEST_F(PrintTest, OwnNameIsBoldAsStoredAndMentionDependsOnPlace) {
    setOptions(opt::ColourFirst | opt::OnlyOwn | opt::Flash | opt::Sound);
    EXPECT_THAT(print("Hallo Anna!"),
                ElementsAre(piece("Hallo "), piece("anna", B), piece("!"), lineBreak()));
    EXPECT_EQ(target.flashes, 1);
    EXPECT_EQ(target.sounds, 1);
    EXPECT_THAT(print("Anna: hallo"), ElementsAre(piece("anna", B), piece(": hallo"), lineBreak()));
    EXPECT_EQ(target.flashes, 1);
    // Part of a longer word is not the name.
    print("Annabell ist da");
    EXPECT_EQ(target.flashes, 1);
}

TEST_F(PrintTest, OwnNameMatchesAcrossUmlautCase) {
    setText(&ClientState::nick, "J\xF6rg");
    EXPECT_THAT(print("hi J\xD6RG"), ElementsAre(piece("hi "), piece("J\xF6rg", B), lineBreak()));
}

TEST_F(PrintTest, NoticeWithoutOnlyOwnFollowsTheOptions) {
    setOptions(opt::ColourFirst | opt::Sound);
    print("irgendwas");
    EXPECT_EQ(target.sounds, 1);
    EXPECT_EQ(target.flashes, 0);
    setOptions(opt::ColourFirst | opt::Flash);
    print("irgendwas");
    EXPECT_EQ(target.sounds, 1);
    EXPECT_EQ(target.flashes, 1);
    print("");  // prints nothing and gives no notice
    EXPECT_EQ(target.flashes, 1);
}

TEST_F(PrintTest, SmileysBecomePicturesOnlyFromTheTable) {
    EXPECT_THAT(print("a:-)b"), ElementsAre(piece("a:-)b"), lineBreak()));
    EXPECT_THAT(print("x :) y :d"),
                ElementsAre(piece("x "), image(), piece(" y "), image(), lineBreak()));
    EXPECT_THAT(print("Ende.Danach"),
                ElementsAre(piece("Ende"), image(), piece("anach"), lineBreak()));
    setOptions(opt::ColourFirst | opt::TextSmilies);
    EXPECT_THAT(print("x :) y"), ElementsAre(piece("x :) y"), lineBreak()));
}

TEST_F(PrintTest, SmileyFaceTakesTheCurrentColour) {
    print(VT + "C0000FF:)");
    const Picture& pic = target.fakeView.pieces[0].picture;
    ASSERT_EQ(pic.width, 15);
    EXPECT_EQ(pic.at(7, 7), rgb(0, 0, 0xFF));
    EXPECT_EQ(pic.at(0, 0), kWhite);  // the background of the room

    // Dark faces are lightened under the contrast rule.
    setOptions(opt::ContrastFirst);
    state.background = rgb(0, 0, 0x40);
    print(VT + "CFFFFFF" + VT + "C101010;)");
    const Picture& dark = target.fakeView.pieces[0].picture;
    EXPECT_EQ(dark.at(7, 7), complement(rgb(0x10, 0x10, 0x10)));
    EXPECT_EQ(dark.at(14, 14), rgb(0, 0, 0x40));
}

TEST_F(PrintTest, MarkupOnlyPrintsAnEmptyLine) {
    EXPECT_THAT(print(VT + "B" + VT + "CFF0000" + VT + "I"), ElementsAre(lineBreak()));
}

TEST_F(PrintTest, LoneMarkupAndOtherBytesStayText) {
    EXPECT_THAT(print("a" + VT + "Qb ;-; ..."),
                ElementsAre(piece("a" + VT + "Qb ;-; ..."), lineBreak()));
}

TEST_F(PrintTest, InsertionPointStartsBlackAndPlain) {
    target.fakeView.style = 7;
    target.fakeView.colour = 0x999999;
    printMessage(target, state, "x");
    EXPECT_THAT(target.fakeView.pieces, ElementsAre(piece("x"), lineBreak()));
}

// A fixed clock in a fixed zone: stamps read the same wherever the tests run.
class TimeStampTest : public PrintTest {
  protected:
    void SetUp() override {
        PrintTest::SetUp();
        test::setService(&platform::Services::seconds, [this] { return now; });
    }
    test::UtcZone utc;
    uint32_t now = 1796679005;  // 7 December 2026, 21:30:05
};

TEST_F(TimeStampTest, EveryMessageStartsWithHoursAndMinutesWhenOn) {
    EXPECT_THAT(print("bob: hallo"), ElementsAre(piece("bob: hallo"), lineBreak()));
    displayOptions().timeStamps = true;
    struct Case {
        uint32_t seconds;
        const char* stamp;
    };
    constexpr uint32_t midnight = 1796601600;  // 7 December 2026, 00:00:00
    for (const Case& c :
         {Case{1796679005, "[21:30] "}, Case{0, "[00:00] "}, Case{midnight + 59, "[00:00] "},
          Case{midnight + 9 * 3600 + 300, "[09:05] "}, Case{midnight + 86399, "[23:59] "}}) {
        now = c.seconds;
        EXPECT_THAT(print("bob: hallo"),
                    ElementsAre(piece(std::string(c.stamp) + "bob: hallo"), lineBreak()))
            << c.seconds;
    }
}

TEST_F(TimeStampTest, TheStampIsPlainAndLeavesTheMessageRulesAlone) {
    displayOptions().timeStamps = true;
    // Bold from the message starts after the stamp, not on it.
    EXPECT_THAT(print(VT + "C0000FF" + VT + "Bfett"),
                ElementsAre(piece("[21:30] "), piece("fett", B, 0xFF0000), lineBreak()));
    // The own name at the start of the message is still no mention.
    setOptions(opt::ColourFirst | opt::OnlyOwn | opt::Flash);
    print("anna: hallo");
    EXPECT_EQ(target.flashes, 0);
    print("hallo anna");
    EXPECT_EQ(target.flashes, 1);
    // Nothing at all for an empty message.
    EXPECT_THAT(print(""), IsEmpty());
}

TEST(LowerCase, MapsAsciiAndTheUpperLatinBlock) {
    EXPECT_EQ(cp1252::lowerCase("AZ\xC0\xDE\xDF\xFF"), "az\xE0\xFE\xDF\xFF");
}

}  // namespace
}  // namespace kavel::testing
