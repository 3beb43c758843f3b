#pragma once
// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Nothing here waits:
// the request goes out asynchronously, and without a session bus or without
// a notification service it is simply dropped.

#include <string>
#include <string_view>

namespace kavel::platform {

// Shows a notification for the window; clicking it (its default action)
// brings that window to the front. A newer notification for the same window
// replaces the older one. Nothing when the window does not exist.
void notifyDesktop(int window, std::string_view summary, std::string_view body);

// Brings the window to the front and activates it; a minimised window is
// restored first.
void raiseWindow(int window);

// The bus is services().notificationBus, and services().notificationSteps
// hears what became of each notification (services.h).

}  // namespace kavel::platform
