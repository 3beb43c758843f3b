#pragma once
// The help pages compiled into the program, shown in a window of their own:
// a text browser, so the links between the pages work.

#include <string>
#include <string_view>
#include <vector>

namespace kavel::platform {

// The page "Anleitung" opens.
inline constexpr const char* kHelpStartPage = "index.html";

// Opens the help window at page (a file name such as "node11.html"), or
// turns the open one to it and raises it. The window goes with its owner.
// A page that is not there falls back to the start page.
void showHelp(int owner, std::string_view title, std::string_view page);
void closeHelp();
bool helpShown();
// The file name of the page shown, empty when the window is closed.
std::string helpPage();
// Every page compiled in, by file name.
std::vector<std::string> helpPages();
// The text of a page as compiled in (UTF-8 HTML); empty when there is none.
std::string helpPageSource(std::string_view page);

}  // namespace kavel::platform
