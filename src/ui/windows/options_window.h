#pragma once
// Window 1, the options window: eight check boxes over the low byte of the
// options word and, below them, the group of connection settings kept in
// prefs.ini.

#include <cstdint>

namespace kavel::optwin {

inline constexpr int Window = 1;
inline constexpr const char* Title = "KAVEL > Optionen";
inline constexpr int Width = 291;

// Check boxes 2 to 9 stand for the bits 0x01 to 0x80, in this order.
inline constexpr int FirstCheckBox = 2;
inline constexpr int CheckBoxCount = 8;
inline constexpr uint16_t LowByte = 0x00FF;

inline constexpr int Accept = 10;
inline constexpr int Cancel = 11;
inline constexpr int OuterFrame = 12;
inline constexpr int MessagesFrame = 13;
inline constexpr int GeneralFrame = 14;

// The "Verbindung" group: one check box a setting, from FirstConnectionBox
// on, 30 pixels apart; the frame, the buttons and the window grow with it.
inline constexpr int ConnectionFrame = 15;
inline constexpr int FirstConnectionBox = 16;
inline constexpr int ConnectionBoxCount = 1;
inline constexpr int TlsBox = FirstConnectionBox;
inline constexpr int ConnectionFrameTop = 350;
inline constexpr int ConnectionFrameHeight = 30 + 30 * ConnectionBoxCount;
inline constexpr int ButtonTop = ConnectionFrameTop + ConnectionFrameHeight + 20;
inline constexpr int Height = ButtonTop + 32;

}  // namespace kavel::optwin
