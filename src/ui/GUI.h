#pragma once
// Building the program's fixed windows and the main menu.

#include <string>

namespace kavel {

struct Agent;

// Builds window 0 (status list, placeholder, splitter) with its menu and
// shows it; stores its handle in ClientState.
void openMainWindow();

// Builds the main menu anew from the session flags, AvailableRooms,
// joinedRooms and AgentList; clears MenuDirty.
void buildMainMenu();

// The numbers the last buildMainMenu handed out: available rooms from
// firstRoom, joined rooms from firstJoined, plug-ins from firstAgent, up to
// (not including) end.
struct MainMenuNumbers {
    int firstRoom = 12;
    int firstJoined = 12;
    int firstAgent = 12;
    int end = 12;
};
const MainMenuNumbers& mainMenuNumbers();

// Windows 1, 2 and 5, each built anew and filled from the current state
// (GUI_Options, GUI_Profile, GUI_About); the plug-in manager, window 4, is
// GUI_PluginManager.h's. mustCreate: the profile window is the way in for a
// user without a profile, so "Abbrechen" is disabled.
void openOptionsWindow();
void openProfileWindow(bool mustCreate);
void openAboutWindow();

// The label of an available room in the menu: "a_b" with 3 users and no
// password gives "a-b -> [3 User]".
std::string roomMenuLabel(const std::string& name, int users, bool password);

}  // namespace kavel
