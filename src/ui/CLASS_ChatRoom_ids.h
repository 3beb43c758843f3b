#pragma once
// The fixed numbers of a room window: menu items of its two popup menus and
// the keyboard shortcuts. They are local to the room's window; events carry
// the window number, so they never meet the main window's commands.

namespace kavel::roomid {

inline constexpr int OwnerWindow = 0;  // the main window owns room windows

// Room menu.
inline constexpr int LogTxt = 0;
inline constexpr int LogRtf = 1;
inline constexpr int UploadCode = 2;
inline constexpr int Back = 3;
inline constexpr int AwayShort = 4;
inline constexpr int AwayFood = 5;
inline constexpr int AwayOther = 6;
inline constexpr int AwayPhone = 7;
// User menu.
inline constexpr int UserProfile = 8;
inline constexpr int WakeUp = 9;
inline constexpr int Shock = 10;
inline constexpr int Private = 11;
// Shortcuts.
inline constexpr int Send = 111;
inline constexpr int HistoryUp = 112;
inline constexpr int HistoryDown = 113;

inline constexpr int HistorySize = 20;

}  // namespace kavel::roomid
