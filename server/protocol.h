// Framing and field helpers for the chat connection. Everything here works on
// raw Windows-1252 bytes and never allocates more than one line at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/line_splitter.h"

namespace quarnd {

// A client line longer than this is cut; the rest up to the next CR is dropped,
// so a peer that never sends a CR costs us at most this much memory.
inline constexpr std::size_t kMaxLineBytes = 4096;

inline constexpr char kCR = '\r';
inline constexpr char kVT = '\x0b';

// The rules of a chat connection's lines: CR ends a line, LF and NUL are
// dropped (a NUL relayed to other clients would end their transmission
// early), and a line is cut at kMaxLineBytes.
inline constexpr kavel::LineSplitter::Rules kChatLines{std::string_view("\r", 1),
                                                       std::string_view("\n\0", 2), kMaxLineBytes};

// Splits the byte stream of one connection into lines; the client's reading
// of the server is the same splitter with the client's rules.
class LineSplitter : public kavel::LineSplitter {
  public:
    LineSplitter() : kavel::LineSplitter(kChatLines) {}
};

// Takes the text up to the next space off the front of `rest`; the space itself
// is consumed too. Two adjacent spaces therefore give an empty word, matching
// how the client counts fields.
inline std::string_view popWord(std::string_view& rest) {
    const auto space = rest.find(' ');
    std::string_view word = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return word;
}

// ASCII upper case only: keywords are plain ASCII, and folding 0xE0..0xFF
// would turn a lower-case umlaut into something the client never sends.
std::string upperKeyword(std::string_view word);

bool isNameByte(unsigned char c);
// Allowed bytes only; the length rules are checked separately because they
// have their own reply.
bool isAllowedLoginName(std::string_view name);
bool isHexColour(std::string_view text);
bool hasControlBytes(std::string_view text);

// Login names are one name whatever their letter case: "Alice", "ALICE" and
// "alice" fold to the same key. Per byte, Windows-1252: A-Z, the accented
// capitals (umlauts included) and Š Œ Ž Ÿ map to their small letters; ß has
// no capital and stays.
std::string foldName(std::string_view name);

// A field from a peer made safe for a log line: printable ASCII stays, every
// other byte (CR, LF, ESC, Windows-1252 letters) and the backslash itself
// become \xHH or \\, so a peer can neither start a fake log line nor send
// terminal escapes to whoever reads the log.
std::string escapeForLog(std::string_view text);

// Recognises an action line: after an optional colour code the text starts
// with VT "me". On success `colour` is the colour code (possibly empty) and
// `rest` the text after "me".
bool splitAction(std::string_view text, std::string_view& colour, std::string_view& rest);

}  // namespace quarnd
