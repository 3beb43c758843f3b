#pragma once
// Bytes as upper-case hex pairs joined by colons ("AB:CD:…"), the way
// certificate fingerprints are shown to people. Header only: quarnd and the
// tests use it without linking the client.

#include <cstddef>
#include <string>

namespace kavel {

inline std::string colonHex(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += ':';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

}  // namespace kavel
