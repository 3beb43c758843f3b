#pragma once
// Shared by the parts of the preloaded test hook.

#include <QString>

namespace kavelhook {

// Installs the watcher; runs when the program makes its QApplication.
void start();
// One line in the report file, if there is one.
void say(const char* what, const QString& text);
// Serves the driver's commands on a local socket.
void startCommands(const QString& path);

}  // namespace kavelhook
