#pragma once
// The Qt side of the window facade, for the other platform units only
// (rich-text view, images, sound, desktop services). Nothing outside
// src/platform includes this header.

#include <QWidget>

#include "desktop/gadgets.h"

class QSystemTrayIcon;

namespace kavel::platform {

// Aborts with a message unless called on the GUI thread of a running
// QApplication. Debian's release Qt stays silent about widgets made on other
// threads, so every facade entry checks this itself.
void assertGuiThread();

// The widget behind a control, nullptr when there is none.
QWidget* controlWidget(int id);
// The area of a window that controls are placed on (below its menu bar).
QWidget* windowCanvas(int window);
// The top-level widget of a window.
QWidget* windowFrame(int window);

// Takes a widget made elsewhere in src/platform as a numbered control of the
// window: it is placed like every other control (on the open tab page, if
// any), gets an accessible name and is freed with its window. Returns the
// control number, or -1 (the widget is then deleted).
int adoptControl(int window, int id, QWidget* widget, int x, int y, int w, int h);

// The tray icon shown (tray.h), nullptr when none.
QSystemTrayIcon* trayIcon();

// Queues an event from a Qt signal (same as postEvent, named for intent).
void pushEvent(const Event& event);

}  // namespace kavel::platform
