#pragma once
// Connecting the layers: the one place that fills the ports table with the
// program's real operations.

namespace kavel {

// Fills ports() with the real operations. Done at start-up and by every
// reset (resetAll), so a test that replaced a port leaves nothing behind.
void wirePorts();

}  // namespace kavel
