#pragma once
// The program-wide options in prefs.ini, [General]:
//   rejoinRooms = 1   join the rooms of openRooms again at the next login
//   openRooms = a,b   those rooms, in joining order (rejoin.h escapes them)
//   closeToTray = 1   the main window's close box hides it to the tray
// An option that is off is not written.

#include "core/prefs.h"

namespace kavel {

void takeProgramOptions(const Settings& settings);
void putProgramOptions(Settings& settings);

}  // namespace kavel
