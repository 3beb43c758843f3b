#pragma once
// Colour conversions. A colour is the 24-bit value red | green << 8 |
// blue << 16; as text it is always RRGGBB, six upper-case hex digits.
// Standard library only: the Tauschwerk plug-in builds this file too.

#include <cstdint>
#include <string>
#include <string_view>

namespace kavel {

int32_t hexToColour(std::string_view text);
std::string colourToHex(int32_t colour);
int32_t complement(int32_t colour);

inline int red(int32_t c) {
    return c & 0xFF;
}
inline int green(int32_t c) {
    return (c >> 8) & 0xFF;
}
inline int blue(int32_t c) {
    return (c >> 16) & 0xFF;
}
inline int32_t rgb(int r, int g, int b) {
    return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}

}  // namespace kavel
