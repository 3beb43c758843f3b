#pragma once
// A small picture as plain pixels, so that pixel code (the smilies, the about
// animation) needs no image class of the desktop.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavel {

inline constexpr int32_t kBlack = 0x000000;
inline constexpr int32_t kWhite = 0xFFFFFF;

// Pixels row by row from the top, colours as red | green << 8 | blue << 16.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<int32_t> pixels;
    // The characters the picture replaced, for a plain-text copy.
    std::string text;
    int32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

}  // namespace kavel
