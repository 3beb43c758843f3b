#pragma once
// Desktop services beyond windows and controls.

#include <string_view>

namespace kavel::platform {

// Asks for attention until the window is activated; nothing for a window
// that does not exist or already is the foreground window.
void alertWindow(int window);
// Keeps the window above all others for good; size and place stay.
void stayOnTop(int window);
bool staysOnTop(int window);
// Hands the text to the default handler for web addresses or documents.
void openUrl(std::string_view target);

}  // namespace kavel::platform
