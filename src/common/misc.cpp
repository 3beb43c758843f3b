#include "common/misc.h"

namespace kavel {

namespace {

// Digits count as their value, everything else as its code minus 55, which
// maps "A".."F" to 10..15. Lower-case hex is folded first: profile colours
// come from the server, which may not keep to upper case.
int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 32);
    return static_cast<unsigned char>(c) - 55;
}

int component(std::string_view text, std::size_t at) {
    int hi = at < text.size() ? digitValue(text[at]) : 0;
    int lo = at + 1 < text.size() ? digitValue(text[at + 1]) : 0;
    // A stray non-hex character must not spill into the neighbouring channel.
    return (hi * 16 + lo) & 0xFF;
}

}  // namespace

int32_t hexToColour(std::string_view text) {
    return rgb(component(text, 0), component(text, 2), component(text, 4));
}

std::string colourToHex(int32_t colour) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out(6, '0');
    const int parts[3] = {red(colour), green(colour), blue(colour)};
    for (int i = 0; i < 3; ++i) {
        out[2 * i] = digits[parts[i] >> 4];
        out[2 * i + 1] = digits[parts[i] & 15];
    }
    return out;
}

int32_t complement(int32_t colour) {
    return ~colour & 0xFFFFFF;
}

}  // namespace kavel
