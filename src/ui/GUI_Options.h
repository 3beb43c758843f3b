#pragma once
// The options window (window 1): its handler; GUI.h opens it.

#include "desktop/gadgets.h"

namespace kavel {

// "Annehmen" takes the eight check boxes as the low byte of the options word
// and keeps the high byte; "Abbrechen" and a close request (the window has
// no close box, but a window manager may still ask) change nothing. Both
// close the window; the close request is consumed.
void optionsWindowHandler(platform::Event& event);

}  // namespace kavel
