#pragma once
// The help pages: "Hilfe" opens the page on the chat input, "Anleitung" the
// start page.

#include <string_view>

namespace kavel {

inline constexpr const char* kHelpTopic = "node11.html";

// Shows the help window at page; an empty page is the start page.
void openHelp(std::string_view page);

}  // namespace kavel
