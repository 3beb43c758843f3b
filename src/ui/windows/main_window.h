#pragma once
// Window 0, the main window: its controls and the fixed numbers of its menu.

namespace kavel::mainwin {

inline constexpr int Window = 0;

inline constexpr int StatusList = 0;
inline constexpr int Placeholder = 1;
inline constexpr int Splitter = 78;

inline constexpr int Width = 600;
inline constexpr int Height = 300;
inline constexpr int DividerAt = 220;
// The splitter follows the window with this margin (right + left, top + bottom).
inline constexpr int SplitterMarginX = 20;
inline constexpr int SplitterMarginY = 40;

namespace item {
inline constexpr int Connect = 0;  // "Verbinden" / "Trennen"
inline constexpr int RoomList = 1;
inline constexpr int JoinedList = 2;
inline constexpr int Options = 3;
inline constexpr int Profile = 4;
inline constexpr int Quit = 5;
inline constexpr int PluginManager = 8;
inline constexpr int Help = 9;
inline constexpr int Manual = 10;
inline constexpr int About = 11;
inline constexpr int FirstNumbered = 12;  // rooms, joined rooms, plug-ins
}  // namespace item

}  // namespace kavel::mainwin
