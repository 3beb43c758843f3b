#include "common/LEXER.h"

#include <algorithm>
#include <cstring>

namespace kavel {

uint8_t LexTable[256][8];

namespace {

void set(uint8_t from, unsigned char byte, uint8_t to) {
    LexTable[byte][from] = to;
}

void setRange(uint8_t from, unsigned char first, unsigned char last, uint8_t to) {
    for (unsigned b = first; b <= last; ++b)
        set(from, static_cast<unsigned char>(b), to);
}

void setAll(uint8_t from, const char* bytes, uint8_t to) {
    for (const char* p = bytes; *p; ++p)
        set(from, static_cast<unsigned char>(*p), to);
}

void setAlnum(uint8_t from, uint8_t to) {
    setRange(from, 'a', 'z', to);
    setRange(from, 'A', 'Z', to);
    setRange(from, '0', '9', to);
}

// Only the German umlauts count as letters; "ß" and every other accented
// letter split a word, which the replacement rules of the plug-in rely on.
constexpr char kWordExtras[] = "\xE4\xF6\xFC\xC4\xD6\xDC-_/";
constexpr char kUrlExtras[] = "-_/?=:.&#~%$";

}  // namespace

void InitLexTable() {
    std::memset(LexTable, 0, sizeof LexTable);

    set(0, 11, 1);
    setAlnum(0, 3);
    setAll(0, kWordExtras, 3);
    setAll(0, ":;.", 2);

    setAll(1, "Cc", 7);
    setAll(1, "Bb", 8);
    setAll(1, "Ii", 9);

    setRange(2, 33, 255, 15);

    setAlnum(3, 3);
    setAll(3, kWordExtras, 3);

    setAlnum(4, 4);
    setAll(4, kUrlExtras, 4);

    setRange(6, '0', '9', 6);
    setRange(6, 'A', 'F', 6);
    setRange(6, 'a', 'f', 6);
}

int Lex(const std::string& text, TextToken& token, int startState) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t end = text.size();
    // Unsigned on purpose: a negative position lands beyond the end and a
    // negative start state counts as final, so neither can index the table.
    std::size_t begin = static_cast<uint32_t>(token.position);
    std::size_t cur = begin;
    if (cur >= end) return 0;

    auto state = static_cast<unsigned>(startState);
    unsigned last = state;
    if (state == 0) {
        // begin trails cur by one byte while bytes are skipped, so it ends up
        // one past the token's first byte.
        while (cur < end && LexTable[bytes[cur]][0] == 0)
            ++cur;
        if (cur == end) {
            token.position = static_cast<int32_t>(end);
            token.type = 0;
            token.text.assign(1, text[end - 1]);
            return 1;
        }
        state = LexTable[bytes[cur]][0];
        begin = ++cur;
    }

    for (;;) {
        last = state;
        if (state == 3 || state == 4 || state == 6) {
            // These states loop on themselves or stop; no other way out.
            while (cur < end && LexTable[bytes[cur]][state] != 0)
                ++cur;
            ++cur;  // past the byte that ended the run, or one past the end
            break;
        }
        if (cur == end || state > 6) {
            ++cur;
            break;
        }
        state = LexTable[bytes[cur]][state];
        ++cur;
        if (state == 0) break;
    }

    token.position = static_cast<int32_t>(cur - 1);
    token.type = static_cast<uint8_t>(last);
    // begin is at least 1 after a fresh scan; continuations reach back one
    // byte before the scan position, clamped to the start of the text.
    const std::size_t from = begin > 0 ? begin - 1 : 0;
    const std::size_t count = std::min(cur - begin, end - from);
    token.text.assign(text.data() + from, count);
    return 1;
}

}  // namespace kavel
