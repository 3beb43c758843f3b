#pragma once
// The profile window (window 2): moving the profile between the window and
// ClientState, the colour swatches, and the window's handler. GUI.h opens it;
// the profile files are profile.h's.

#include <cstdint>

#include "desktop/gadgets.h"

namespace kavel {

// Makes (or reuses) numbered image `image`, fills it with the colour and
// returns its number, ready for platform::showImage.
int colourSwatch(int image, int width, int height, int32_t colour);
// The colour of a swatch, read back from its pixel (1, 1); -1 without one.
int32_t swatchColour(int image);

// Shows ClientState in the open profile window and lists the stored
// profiles, selecting the current one (or the first).
void fillProfileWindow();
// Takes the window's values into ClientState; false, changing nothing, when
// the user-name field is empty. Saves at once when the profile already has
// a file.
bool takeProfileWindow();

// Buttons, colour buttons, the profile list and the close box. A close
// request closes the window only once ClientState has a profile name; it is
// consumed either way.
void profileWindowHandler(platform::Event& event);

}  // namespace kavel
