#pragma once
// The user information window (window 3): another user's profile as the
// server sends it, one line at a time.

#include <string_view>

#include "platform/gadgets.h"

namespace kavel {

namespace userinfo {
inline constexpr int Window = 3;
inline constexpr int Text = 58;
inline constexpr int Close = 59;
}  // namespace userinfo

// Builds the window anew (empty text) and shows it.
void openUserInfoWindow();
bool userInfoWindowOpen();
void setUserInfoTitle(std::string_view title);
void appendUserInfoLine(std::string_view line);
// Handles the close button and the close box; true if the event was ours.
bool userInfoHandleEvent(const platform::Event& event);

}  // namespace kavel
