#pragma once
// Display helpers shared by the whole program.

#include <string_view>

namespace kavel {

// Appends "[hh:ii:ss] text." to the main window's status list and selects
// it. An empty text adds nothing.
void statusMessage(std::string_view text);
// Status texts given before the main window exists wait for its list; the
// main window calls this once its list is there.
void flushEarlyStatus();

}  // namespace kavel
