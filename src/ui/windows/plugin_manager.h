#pragma once
// Window 4, the plug-in manager: its controls and their places.

namespace kavel::pluginmgr {

inline constexpr int Window = 4;
inline constexpr int Width = 360;
inline constexpr int Height = 423;

inline constexpr int Available = 60;  // "Verfügbar"
inline constexpr int Active = 61;     // "Aktiv"
inline constexpr int SaveAndExit = 62;
inline constexpr int MoveRight = 63;     // ">"
inline constexpr int MoveLeft = 64;      // "<"
inline constexpr int MoveAllRight = 65;  // ">>"
inline constexpr int MoveAllLeft = 66;   // "<<"
inline constexpr int ButtonFrame = 67;

inline constexpr int ListWidth = 110;
inline constexpr int ListHeight = 330;
inline constexpr int ColumnWidth = 105;
inline constexpr int MoveButtonSize = 20;

}  // namespace kavel::pluginmgr
