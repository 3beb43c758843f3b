#pragma once
// Window 5, the about window: the animated credits on image 12.

namespace kavel::aboutwin {

inline constexpr int Window = 5;
inline constexpr const char* Title =
    "\xDC"
    "ber diese Software";
inline constexpr int Width = 210;
inline constexpr int Height = 354;

inline constexpr int Picture = 68;
inline constexpr int Back = 69;

inline constexpr int Image = 12;
inline constexpr int ImageWidth = 170;
inline constexpr int ImageHeight = 280;

}  // namespace kavel::aboutwin
