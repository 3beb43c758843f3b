#pragma once
// The fixed windows' event handlers, found by window number. Each window
// registers its own handler in its own file; the main loop offers an event
// to the handler of its window, and an event of any other window (a room,
// the code paster) to the rooms.

#include "desktop/gadgets.h"

namespace kavel {

// May turn the event into a close request of the main window (the end of
// the program) or clear it.
using WindowHandler = void (*)(platform::Event& event);

// At static initialisation: `const bool registered = registerWindow(...)`.
// Returns true; a second handler for the same window is a programming error.
bool registerWindow(int window, WindowHandler handler);
// Null for a window without a registered handler.
WindowHandler windowHandler(int window);

}  // namespace kavel
