#pragma once
// Switches that belong to the program rather than to a profile: kept in
// prefs.ini beside the server, the same for every user of this folder.

namespace kavel {

struct ProgramOptions {
    // At the next login, join the rooms that were open at the end again.
    bool rejoinRooms = false;
    // The main window's close box hides it to the tray instead of ending
    // the program (only where a tray exists).
    bool closeToTray = false;
};

ProgramOptions& programOptions();

}  // namespace kavel
