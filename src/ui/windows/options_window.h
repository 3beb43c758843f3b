#pragma once
// Window 1, the options window: eight check boxes over the low byte of the
// options word and, below them, the group of further settings kept in
// prefs.ini.

#include <cstdint>

namespace kavel::optwin {

inline constexpr int Window = 1;
inline constexpr const char* Title = "KAVEL > Optionen";
inline constexpr int Width = 291;
inline constexpr int Height = 392;

// Check boxes 2 to 9 stand for the bits 0x01 to 0x80, in this order.
inline constexpr int FirstCheckBox = 2;
inline constexpr int CheckBoxCount = 8;
inline constexpr uint16_t LowByte = 0x00FF;

inline constexpr int Accept = 10;
inline constexpr int Cancel = 11;
inline constexpr int OuterFrame = 12;
inline constexpr int MessagesFrame = 13;
inline constexpr int GeneralFrame = 14;

// The group below the check boxes: settings of this program's own, kept in
// prefs.ini. The window grows by what the group holds; the buttons stay
// 20 pixels below it.
inline constexpr int MoreFrame = 70;
inline constexpr int MoreTop = 350;
inline constexpr int SpellCheckBox = 71;
inline constexpr int SpellNote = 72;  // why spell checking is off
inline constexpr int TimeStampBox = 73;
// Rejoining rooms and closing to the tray.
inline constexpr int RejoinRooms = 81;
inline constexpr int CloseToTray = 82;
inline constexpr int NoTrayNote = 83;  // why closing to the tray is off
// The group's on/off settings after those rows: one box each from
// FirstSettingBox on, 30 pixels apart; the group and the window grow with
// SettingBoxCount.
inline constexpr int FirstSettingBox = 90;
inline constexpr int SettingBoxCount = 1;
inline constexpr int TlsBox = FirstSettingBox;

}  // namespace kavel::optwin
