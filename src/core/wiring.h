#pragma once
// Connecting the layers: the one place that fills the ports table with the
// program's real operations and builds the program's network session.

namespace kavel {

struct SessionPorts;

// Fills ports() with the real operations and builds the program's session
// afresh (offline, default servers). Done at start-up and by every reset
// (resetAll), so nothing a test did to either stays behind.
void wirePorts();

// The session's real ports: the rooms and windows of the program, its
// dialogs, and the wait that keeps the windows painted. A test that needs
// the program as it runs but watches one port builds a session of its own
// from these.
SessionPorts programSessionPorts();

// Everything the program connects at start: the ports and the crash handler
// (which reports the loaded plug-ins and keeps one that faulted while loading
// out of the next start). The start-up calls it, and so does every test
// that needs the program as it runs.
void wireProgram();

}  // namespace kavel
