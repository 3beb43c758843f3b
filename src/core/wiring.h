#pragma once
// Connecting the layers: the one place that fills the ports table with the
// program's real operations.

namespace kavel {

// Fills ports() with the real operations. Done at start-up and by every
// reset (resetAll), so a test that replaced a port leaves nothing behind.
void wirePorts();

// Everything the program connects at start: the ports, the crash handler
// with the plug-in list it reports, and how the settings load plug-ins and
// name them. The start-up calls it, and so does every test that needs the
// program as it runs.
void wireProgram();

}  // namespace kavel
