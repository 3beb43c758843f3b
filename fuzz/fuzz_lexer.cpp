// The lexer reads every chat line the server sends. The first input byte
// picks the start state (0, 4 or 6); the rest is scanned to the end, and each
// token is checked against byte classes written out here, independently of
// the table.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/LEXER.h"

namespace {

#define LEX_CHECK(cond)                                                                      \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "lexer invariant broken: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

bool alnum(unsigned char b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
}
bool in(const char* set, unsigned char b) {
    return b != 0 && std::strchr(set, b) != nullptr;
}
bool isWord(unsigned char b) {
    return alnum(b) || in("\xE4\xF6\xFC\xC4\xD6\xDC-_/", b);
}
bool isUrl(unsigned char b) {
    return alnum(b) || in("-_/?=:.&#~%$", b);
}
bool isHex(unsigned char b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f');
}
bool startsToken(unsigned char b) {
    return isWord(b) || b == 11 || in(":;.", b);
}

unsigned char at(const std::string& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

void checkFresh(const std::string& s, std::size_t from, const kavel::TextToken& t) {
    const std::size_t next = static_cast<std::size_t>(t.position);
    LEX_CHECK(next > from);
    LEX_CHECK(!t.text.empty() && t.text.size() <= next);
    const std::size_t start = next - t.text.size();
    LEX_CHECK(start >= from);
    LEX_CHECK(s.compare(start, t.text.size(), t.text) == 0);
    for (std::size_t i = from; i < start; ++i)
        LEX_CHECK(!startsToken(at(s, i)));

    const bool atEnd = next == s.size();
    const auto first = static_cast<unsigned char>(t.text[0]);
    const auto second = t.text.size() > 1 ? static_cast<unsigned char>(t.text[1]) : 0;
    switch (t.type) {
        case 0:  // the text ends in skipped bytes; the last of them is the text
            LEX_CHECK(atEnd && t.text.size() == 1 && !startsToken(first));
            break;
        case 1:
            LEX_CHECK(t.text == "\x0b");
            LEX_CHECK(atEnd || !in("CcBbIi", at(s, next)));
            break;
        case 2:
            LEX_CHECK(t.text.size() == 1 && in(":;.", first));
            LEX_CHECK(atEnd || at(s, next) < 33);
            break;
        case 3:
            for (char c : t.text)
                LEX_CHECK(isWord(static_cast<unsigned char>(c)));
            LEX_CHECK(atEnd || !isWord(at(s, next)));
            break;
        case 7:
        case 8:
        case 9:
            LEX_CHECK(t.text.size() == 2 && first == 11);
            LEX_CHECK(in(t.type == 7 ? "Cc" : t.type == 8 ? "Bb" : "Ii", second));
            break;
        case 15:
            LEX_CHECK(t.text.size() == 2 && in(":;.", first) && second >= 33);
            break;
        default:
            LEX_CHECK(!"token type a fresh scan cannot produce");
    }
}

// Continuations take nothing for granted about the byte before the position,
// which is why the text reaches back one byte (or, at position 0, one byte
// further forward instead).
void checkContinued(const std::string& s, std::size_t from, int state, const kavel::TextToken& t) {
    const std::size_t next = static_cast<std::size_t>(t.position);
    LEX_CHECK(next >= from && next <= s.size());
    LEX_CHECK(t.type == state);
    bool (*member)(unsigned char) = state == 4 ? isUrl : isHex;
    for (std::size_t i = from; i < next; ++i)
        LEX_CHECK(member(at(s, i)));
    LEX_CHECK(next == s.size() || !member(at(s, next)));
    const std::string expected =
        from > 0 ? s.substr(from - 1, next - from + 1) : s.substr(0, next + 1);
    LEX_CHECK(t.text == expected);
}

// The scan written out step by step, without the fast paths of Lex(), so the
// two can be compared call by call.
int stepwiseLex(const std::string& s, kavel::TextToken& t, int startState) {
    long long begin = t.position, cur = t.position;
    const long long end = static_cast<long long>(s.size());
    if (cur < 0 || cur >= end) return 0;
    int state = startState, last;
    for (;;) {
        last = state;
        if (cur == end) {
            ++cur;
            break;
        }
        if (state == 0) {
            ++begin;
        } else if (state > 6) {
            ++cur;
            break;
        }
        state = kavel::LexTable[at(s, static_cast<std::size_t>(cur))][state];
        ++cur;
        if (state == 0 && last != 0) break;
    }
    t.position = static_cast<int32_t>(cur - 1);
    t.type = static_cast<uint8_t>(last);
    t.text = s.substr(static_cast<std::size_t>(begin > 0 ? begin - 1 : 0),
                      static_cast<std::size_t>(cur - begin));
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kavel::InitLexTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const int kStarts[] = {0, 4, 6};
    const int chosen = kStarts[data[0] % 3];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // The chosen state is used for every call; when a continuation stops at
    // its first byte, one fresh scan moves on, as the display does.
    kavel::TextToken tok;
    int state = chosen;
    int stalls = 0;
    std::size_t calls = 0;
    for (;;) {
        const kavel::TextToken before = tok;
        const int r = kavel::Lex(text, tok, state);
        kavel::TextToken stepwise = before;
        LEX_CHECK(stepwiseLex(text, stepwise, state) == r);
        LEX_CHECK(stepwise.position == tok.position && stepwise.type == tok.type &&
                  stepwise.text == tok.text);
        if (r == 0) {
            LEX_CHECK(static_cast<std::size_t>(before.position) == text.size());
            LEX_CHECK(tok.position == before.position && tok.type == before.type &&
                      tok.text == before.text);
            break;
        }
        LEX_CHECK(r == 1);
        LEX_CHECK(static_cast<std::size_t>(before.position) < text.size());
        const auto from = static_cast<std::size_t>(before.position);
        if (state == 0) {
            checkFresh(text, from, tok);
        } else {
            checkContinued(text, from, state, tok);
        }
        if (tok.position == before.position) {
            LEX_CHECK(++stalls == 1);
            state = 0;
        } else {
            stalls = 0;
            state = chosen;
        }
        LEX_CHECK(++calls <= 2 * text.size() + 2);
    }
    return 0;
}
