#pragma once
// The smiley pictures: eight 15 x 15 black-and-white templates, coloured per
// occurrence by flood fills. Pure pixel code; the platform turns a Picture
// into whatever its view shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/picture.h"

namespace kavel {

inline constexpr int kSmileySize = 15;

struct SmileyEntry {
    int templ;       // template number, 4 to 11
    int fillOffset;  // how far the face fill point lies below the centre
};

// The table entry for a smiley pair, compared in upper case; none when the
// pair shows no picture.
std::optional<SmileyEntry> smileyFor(std::string_view pair);

// Template n (4..11) as black and white pixels.
const Picture& smileyTemplate(int n);

// Fills the 4-connected area around (x, y) that holds no black pixel.
void floodFill(Picture& picture, int x, int y, int32_t colour);

// A copy of the template with the outside in the background colour and the
// face in the face colour.
Picture makeSmiley(const SmileyEntry& entry, int32_t background, int32_t face);

}  // namespace kavel
