#pragma once
// Window 1, the options window: eight check boxes over the low byte of the
// options word, and below them the program-wide options.

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

// Below the eight check boxes, a group of options that belong to the
// program rather than the profile (kept in prefs.ini); the buttons and the
// outer frame move down to make room for it.
inline constexpr int ProgramFrame = 80;
inline constexpr int ProgramFrameY = 350;
inline constexpr int ProgramFrameHeight = 110;
inline constexpr int GroupShift = ProgramFrameHeight + 10;
// Its rows.
inline constexpr int RejoinRooms = 81;
inline constexpr int CloseToTray = 82;
inline constexpr int NoTrayNote = 83;

}  // namespace kavel::optwin
