#pragma once
// A small picture as plain pixels, so that pixel code (the smilies, the about
// animation) needs no image class of the desktop.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavel {

// Pixels row by row from the top, colours as red | green << 8 | blue << 16.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<int32_t> pixels;
    int32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

}  // namespace kavel
