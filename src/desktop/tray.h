#pragma once
// The program's icon in the desktop's tray (a StatusNotifierItem where the
// desktop has one). A click on the icon and the entries of its menu come
// back through the event queue as events of the tray's own number: a click
// as a Control event of type Click, a menu entry as a Menu event with the
// entry's id.

#include <string>
#include <vector>

namespace kavel::platform {

// Whether the desktop shows a tray: services().trayAvailable when a test
// set it, otherwise what Qt found the first time it was asked (asking may
// mean a round trip on the session bus).
bool trayAvailable();

struct TrayEntry {
    int id = 0;
    std::string text;
    bool disabled = false;
    bool operator==(const TrayEntry&) const = default;
};
struct TrayLook {
    // The icon that says something waits to be read, instead of the
    // program's own.
    bool alert = false;
    std::string toolTip;
    std::vector<TrayEntry> menu;
    bool operator==(const TrayLook&) const = default;
};

// Shows the icon with this look, or changes the look of the one shown;
// number is the window number its events carry. Nothing where no tray
// exists.
void showTray(int number, const TrayLook& look);
void removeTray();
bool trayShown();
// What the icon shows now (empty look when none).
TrayLook trayLook();

// The user's actions, for tests: a click on the icon, an entry of its menu.
void clickTray();
void chooseTrayEntry(int id);

// Hides a window without closing it (the main window going to the tray);
// raiseWindow (notify.h) brings it back.
void hideWindow(int window);
bool windowVisible(int window);

}  // namespace kavel::platform
