#pragma once
// The tray icon: the number its events carry and the ids of its menu. The
// menu's commands are the main menu's, so they keep its numbers.

#include "ui/windows/main_window.h"

namespace kavel::traywin {

// Beside the fixed windows 0 to 5; rooms get numbers from 1000 up.
inline constexpr int Window = 6;

namespace item {
inline constexpr int Connect = mainwin::item::Connect;  // "Verbinden" / "Trennen"
inline constexpr int Quit = mainwin::item::Quit;        // "Beenden"
}  // namespace item

}  // namespace kavel::traywin
