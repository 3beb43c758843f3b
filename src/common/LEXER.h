// Chat text lexer: a table-driven automaton that cuts a chat line into words,
// URL runs, hex colour runs, markup codes (byte 11 + C/B/I) and two-byte
// smiley candidates. Text is Windows-1252 bytes throughout.
//
// Standard library only: the Tauschwerk plug-in compiles this file as well,
// and both must carry the very same table.
#pragma once

#include <cstdint>
#include <string>

namespace kavel {

// Next state by byte value and state. Filled once by InitLexTable(); every
// entry not set there stays 0 ("no transition").
extern uint8_t LexTable[256][8];

// Token types are the state the scan ended in.
namespace lex {
enum : uint8_t {
    Skipped = 0,     // only skipped bytes were left up to the end of the text
    LoneMarkup = 1,  // byte 11 not followed by C, B or I
    LonePunct = 2,   // ":", ";" or "." followed by a byte below 33 or the end
    Word = 3,        // letters, digits, German umlauts, "-", "_", "/"
    Url = 4,         // only with start state 4
    Hex = 6,         // only with start state 6
    Colour = 7,      // byte 11 + "C"/"c" (the hex digits are read separately)
    Bold = 8,        // byte 11 + "B"/"b"
    Italic = 9,      // byte 11 + "I"/"i"
    Smiley = 15,     // ":", ";" or "." followed by any byte from 33 to 255
};
}  // namespace lex

// Start states a caller may pass to Lex().
namespace lexstart {
enum : int { Fresh = 0, ContinueUrl = 4, HexDigits = 6 };
}

struct TextToken {
    std::string text;      // out: the token's bytes
    int32_t position = 0;  // in: where the scan starts; out: where the next one starts
    uint8_t type = 0;      // out: see lex::
};

// Must run before the first Lex(); calling it again is harmless.
void InitLexTable();

// Reads one token from text starting at token.position. Returns 0 (and leaves
// the token untouched) when the position is already at the end of the text,
// 1 otherwise.
//
// With start state 0, bytes that lead nowhere are skipped and token.text is
// exactly the token. With any other start state nothing is skipped and the
// text starts one byte *before* the scan position: callers continuing a token
// whose first byte they have already looked at pass that byte's index + 1.
// token.position comes back as the index of the byte that ended the token, so
// the next call looks at that byte again. A non-zero start state can
// therefore return 1 without moving on when the very first byte does not
// continue the run; the caller must then go on with start state 0.
//
// A position outside the text counts as the end. Start states above 6 are
// final and end the token at once.
int Lex(const std::string& text, TextToken& token, int startState);

}  // namespace kavel
