#pragma once
// Declarations of the main module: start-up, main loop and shutdown.

namespace kavel {

// Runs the client from start-up to shutdown; returns the process exit code.
int kavelMain(int argc, char** argv);

}  // namespace kavel
