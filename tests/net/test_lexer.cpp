#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "common/LEXER.h"

namespace kavel {
namespace {

struct Tok {
    int type;
    std::string text;
    int position;
    bool operator==(const Tok&) const = default;
};

// Control bytes and Windows-1252 letters are shown as \xNN so a failing case
// stays readable.
std::string visible(const std::string& s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

void PrintTo(const Tok& t, std::ostream* os) {
    *os << "{type " << t.type << ", \"" << visible(t.text) << "\", next " << t.position << "}";
}

class LexerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitLexTable(); }
};

// Scans the whole text with start state 0 from position 0, as the display and
// the plug-in do, and collects every token until Lex reports the end.
std::vector<Tok> scanAll(const std::string& text) {
    std::vector<Tok> out;
    TextToken tok;
    while (Lex(text, tok, 0) == 1) {
        out.push_back({tok.type, tok.text, tok.position});
        if (out.size() > text.size() + 1) break;  // a stuck lexer must not hang the test
    }
    return out;
}

struct ScanCase {
    const char* name;
    std::string text;
    std::vector<Tok> tokens;
};

TEST_F(LexerTest, FreshScansSplitChatText) {
    const std::string vt = "\x0b";
    const std::vector<ScanCase> cases = {
        {"smiley between words",
         "Hallo :-) welt",
         {{3, "Hallo", 5}, {15, ":-", 8}, {3, "welt", 14}}},
        {"single word", "abc", {{3, "abc", 3}}},
        {"bold switch then word", vt + "Bx", {{8, vt + "B", 2}, {3, "x", 3}}},
        {"bold switch does not swallow the word", vt + "Bold", {{8, vt + "B", 2}, {3, "old", 5}}},
        {"colour and italic in lower case",
         vt + "c" + vt + "i",
         {{7, vt + "c", 2}, {9, vt + "i", 4}}},
        {"unknown markup letter", vt + "Q", {{1, vt, 1}, {3, "Q", 2}}},
        {"markup byte at the end", vt, {{1, vt, 1}}},
        {"markup byte before markup", vt + vt + "B", {{1, vt, 1}, {8, vt + "B", 3}}},
        {"colon inside a word", "a:b", {{3, "a", 1}, {15, ":b", 3}}},
        {"lone colon", ": x", {{2, ":", 1}, {3, "x", 3}}},
        {"lone full stop at the end", "ok.", {{3, "ok", 2}, {2, ".", 3}}},
        {"punctuation before a control byte", "." + vt + "C", {{2, ".", 1}, {7, vt + "C", 3}}},
        {"smiley with a high byte", ";\xFF", {{15, ";\xFF", 2}}},
        {"final state ignores the third byte", ":))", {{15, ":)", 2}, {0, ")", 3}}},
        {"spaces only", "   ", {{0, " ", 3}}},
        {"trailing blanks", "hi  \t", {{3, "hi", 2}, {0, "\t", 5}}},
        {"other punctuation is skipped", "ja, nein!", {{3, "ja", 2}, {3, "nein", 8}, {0, "!", 9}}},
        {"sharp s splits a word",
         "Stra\xDF"
         "e",
         {{3, "Stra", 4}, {3, "e", 6}}},
        {"umlauts and word extras",
         "K\xE4se-Br\xF6t_chen/\xDC\xC4\xD6\xFC",
         {{3, "K\xE4se-Br\xF6t_chen/\xDC\xC4\xD6\xFC", 19}}},
        {"other accented letters split", "caf\xE9s", {{3, "caf", 3}, {3, "s", 5}}},
        {"empty text", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scanAll(c.text), c.tokens) << c.name << ": \"" << visible(c.text) << "\"";
    }
}

struct ContinueCase {
    const char* name;
    std::string text;
    int position;
    int startState;
    Tok expected;
};

TEST_F(LexerTest, ContinuationStatesReachBackOneByte) {
    const std::string url = "ab/cd?e=1&f#g~h";
    const std::string vt = "\x0b";
    const std::vector<ContinueCase> cases = {
        {"URL run to the end", url, 1, 4, {4, url, 15}},
        {"URL run ended by a space", url + " x", 1, 4, {4, url, 15}},
        {"URL run ended by an umlaut", url + "\xE4x", 1, 4, {4, url, 15}},
        {"URL run with percent and dollar", "a%20$b.c ", 1, 4, {4, "a%20$b.c", 8}},
        {"first byte not continuing makes no progress", "a b", 1, 4, {4, "a", 1}},
        {"hex run after a colour code", vt + "cFF00aaZ", 3, 6, {6, "FF00aa", 8}},
        {"hex run to the end", vt + "C12", 3, 6, {6, "12", 4}},
        // The byte before the position is taken as seen, hex or not.
        {"byte before the position is not checked", vt + "CxYZ", 3, 6, {6, "x", 3}},
        // At position 0 the text cannot start before the text, so it gets the
        // ending byte as well.
        {"position 0 clamps the start", "FF x", 0, 6, {6, "FF ", 2}},
        {"final start state ends at once", "abc", 1, 8, {8, "a", 1}},
    };
    for (const auto& c : cases) {
        TextToken tok;
        tok.position = c.position;
        ASSERT_EQ(Lex(c.text, tok, c.startState), 1) << c.name;
        EXPECT_EQ((Tok{tok.type, tok.text, tok.position}), c.expected) << c.name;
    }
}

// The display's way of reading a link: the word "http" is rescanned as a URL
// from its first byte + 1, and the line goes on with fresh tokens after it.
TEST_F(LexerTest, DisplayRescansLinkWordsAsUrls) {
    const std::string line = "see http://www.x.de/a?b=1 ok";
    TextToken tok;
    ASSERT_EQ(Lex(line, tok, 0), 1);
    ASSERT_EQ(tok.text, "see");
    ASSERT_EQ(Lex(line, tok, 0), 1);
    ASSERT_EQ(tok.text, "http");
    tok.position = tok.position - static_cast<int>(tok.text.size()) + 1;
    ASSERT_EQ(Lex(line, tok, 4), 1);
    EXPECT_EQ(tok.type, 4);
    EXPECT_EQ(tok.text, "http://www.x.de/a?b=1");
    EXPECT_EQ(tok.position, 25);
    ASSERT_EQ(Lex(line, tok, 0), 1);
    EXPECT_EQ((Tok{tok.type, tok.text, tok.position}), (Tok{3, "ok", 28}));
    EXPECT_EQ(Lex(line, tok, 0), 0);
}

TEST_F(LexerTest, EndOfTextLeavesTokenUntouched) {
    const std::string text = "abc";
    for (int position : {3, 4, 1000, -1}) {
        for (int start : {0, 4, 6}) {
            TextToken tok{"keep", position, 9};
            EXPECT_EQ(Lex(text, tok, start), 0) << "position " << position << " start " << start;
            EXPECT_EQ((Tok{tok.type, tok.text, tok.position}), (Tok{9, "keep", position}))
                << "position " << position << " start " << start;
        }
    }
}

// Every byte value against the byte classes written out independently of the
// table, so a slip in one table row (an extra accented letter, a missing URL
// character) shows up here with the byte that is wrong.
TEST_F(LexerTest, ByteClassesMatchForEveryByte) {
    auto alnum = [](unsigned b) {
        return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
    };
    auto isWord = [&](unsigned b) {
        return alnum(b) || (b != 0 && std::strchr("\xE4\xF6\xFC\xC4\xD6\xDC-_/", int(b)));
    };
    auto isUrl = [&](unsigned b) {
        return alnum(b) || (b != 0 && std::strchr("-_/?=:.&#~%$", int(b)));
    };
    auto isHex = [](unsigned b) {
        return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f');
    };
    for (unsigned b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        SCOPED_TRACE("byte 0x" + visible(std::string(1, c)));

        // A byte that continues a word/run makes the token two bytes long.
        TextToken tok;
        Lex(std::string("a") + c, tok, 0);
        EXPECT_EQ(tok.text.size() == 2, isWord(b)) << "word continuation";

        tok = {};
        Lex(std::string(1, c), tok, 0);
        const bool startsWord = tok.type == 3;
        EXPECT_EQ(startsWord, isWord(b)) << "word start";

        tok = {"", 1};
        Lex(std::string("a") + c, tok, 4);
        EXPECT_EQ(tok.position == 2, isUrl(b)) << "URL continuation";

        tok = {"", 1};
        Lex(std::string("a") + c, tok, 6);
        EXPECT_EQ(tok.position == 2, isHex(b)) << "hex continuation";

        tok = {};
        Lex(std::string(":") + c, tok, 0);
        EXPECT_EQ(tok.type, b >= 33 ? 15 : 2) << "after a colon";
    }
}

TEST_F(LexerTest, ReinitialisingKeepsTheTable) {
    InitLexTable();
    EXPECT_EQ(scanAll("Hallo :-) welt").size(), 3u);
}

}  // namespace
}  // namespace kavel
