#pragma once
// The user information window (window 3): another user's profile as the
// server sends it, one line at a time.

#include <string_view>

#include "desktop/gadgets.h"
#include "ui/windows/user_info_window.h"

namespace kavel {

// Builds the window anew (empty text) under the title and shows it.
void openUserInfoWindow(std::string_view title);
bool userInfoWindowOpen();
void appendUserInfoLine(std::string_view line);
// Handles the close button and the close box; true if the event was ours.
bool userInfoHandleEvent(const platform::Event& event);
// The window's handler in the main loop.
void userInfoWindowHandler(platform::Event& event);

}  // namespace kavel
