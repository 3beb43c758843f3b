#include "protocol.h"

namespace quarnd {

std::string upperKeyword(std::string_view word) {
    std::string out(word);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool isNameByte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-':
        case '_':
        case 0xE4:  // ä
        case 0xF6:  // ö
        case 0xFC:  // ü
        case 0xC4:  // Ä
        case 0xD6:  // Ö
        case 0xDC:  // Ü
        case 0xDF:  // ß
            return true;
        default:
            return false;
    }
}

bool isAllowedLoginName(std::string_view name) {
    for (char c : name) {
        if (!isNameByte(static_cast<unsigned char>(c))) return false;
    }
    return !name.empty();
}

static bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isHexColour(std::string_view text) {
    if (text.size() != 6) return false;
    for (char c : text) {
        if (!isHexDigit(c)) return false;
    }
    return true;
}

bool hasControlBytes(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) return true;
    }
    return false;
}

std::string foldName(std::string_view name) {
    std::string out(name);
    for (char& ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        unsigned char f = c;
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
            f = static_cast<unsigned char>(c + 0x20);
        } else if (c == 0x8A || c == 0x8C || c == 0x8E) {  // Š Œ Ž
            f = static_cast<unsigned char>(c + 0x10);
        } else if (c == 0x9F) {  // Ÿ
            f = 0xFF;
        }
        ch = static_cast<char>(f);
    }
    return out;
}

std::string escapeForLog(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out.push_back(ch);
        } else {
            out += "\\x";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

bool splitAction(std::string_view text, std::string_view& colour, std::string_view& rest) {
    std::size_t at = 0;
    if (text.size() >= 8 && text[0] == kVT && text[1] == 'C' && isHexColour(text.substr(2, 6))) {
        at = 8;
    }
    std::string_view tail = text.substr(at);
    if (tail.size() < 3 || tail[0] != kVT || tail[1] != 'm' || tail[2] != 'e') return false;
    colour = text.substr(0, at);
    rest = tail.substr(3);
    return true;
}

}  // namespace quarnd
