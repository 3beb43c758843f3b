#pragma once
// Reading back what a rich-text view shows.

#include <string>

namespace kavel::platform {

// The last line of the view that holds text, as plain Windows-1252 text
// (pictures left out); empty for anything but a rich-text view.
std::string lastTextLine(int control);

}  // namespace kavel::platform
