#pragma once
// Window 4, the plug-in manager: the plug-in files of the folder on the
// left ("Verfügbar"), the loaded plug-ins on the right ("Aktiv").

#include "desktop/gadgets.h"

namespace kavel {

// Builds and shows the window, filled from the folder and AgentList.
void openPluginManager();

// The window's handler. "Save'n Exit" unloads every plug-in, last first,
// loads the ones listed under "Aktiv" in their order, closes the window and
// rebuilds the main menu; the close box discards every move. Consumes close
// requests.
void pluginManagerHandler(platform::Event& event);

}  // namespace kavel
