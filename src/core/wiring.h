#pragma once
// Connecting the layers: the one place that fills the ports table with the
// program's real operations.

namespace kavel {

// Fills ports() with the real operations. Done at start-up and by every
// reset (resetAll), so a test that replaced a port leaves nothing behind.
void wirePorts();

// Everything the program connects at start: the ports and the crash handler
// (which reports the loaded plug-ins and keeps one that faulted while loading
// out of the next start). The start-up calls it, and so does every test
// that needs the program as it runs.
void wireProgram();

}  // namespace kavel
