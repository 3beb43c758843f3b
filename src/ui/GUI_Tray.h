#pragma once
// The tray icon as the program uses it: the program's icon, another one
// while a mention of the user's name waits unread in a room, a click that
// brings the main window and that room forward, and a menu with
// "Verbinden"/"Trennen" and "Beenden".

namespace kavel {

// A message in the room window mentioned the user (the display's own-name
// rule). Unread until the room's window is the active one; a mention in
// the active window is read at once.
void noteMention(int roomWindow);
bool mentionUnread();
// The room window with the newest unread mention, -1 when none.
int newestMention();

// Main-loop step: forgets mentions whose room is now in front or gone and
// shows the tray's look (icon, tool tip, menu) for the current state.
void refreshTray();

// A click on the icon: the main window to the front and, above it, the room
// with the newest unread mention, which counts as read from then on.
void trayClicked();

// Whether the main window's close box hides it to the tray: the option is
// on and a tray exists.
bool closesToTray();

}  // namespace kavel
