#pragma once
// A find bar for a chat view: Ctrl+F in the view's window opens it
// over the view's top right corner, without moving any control. Return or
// the next button finds the next match, Shift+Return or the previous button
// the one before, both wrapping around; Esc closes it and gives the focus
// back. It is the view's own affair: it raises no events.

#include <string>

namespace kavel::platform {

struct FindBarTexts {
    std::string field;     // accessible name of the text field, its placeholder
    std::string next;      // caption of the button for the next match
    std::string previous;  // caption of the button for the previous match
    std::string close;     // accessible name of the close button
    std::string notFound;  // shown while the text does not occur
};

// Nothing for a control that is not a chat view.
void addFindBar(int control, const FindBarTexts& texts);

// For tests: whether the bar is open, and the text of the current match.
bool findBarOpen(int control);
std::string foundText(int control);

}  // namespace kavel::platform
