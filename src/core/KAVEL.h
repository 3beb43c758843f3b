#pragma once
// Declarations of the main module: start-up, main loop and shutdown.

#include "desktop/gadgets.h"

namespace kavel {

// A pass that found nothing waits for the next thing to do. While a
// plug-in's Setup thread runs the wait is at most IdleSleepMs, and while a
// plug-in that sends commands is loaded at most PluginThreadPollMs: those
// ask for a turn through the shared record, which nothing announces.
inline constexpr uint32_t IdleSleepMs = 5;
inline constexpr uint32_t PluginThreadPollMs = 100;

// How long a pass that found nothing may wait before the loop has work of
// its own again: the keep-alive, a repair of the session, the about box's
// next frame, a plug-in that may ask for a turn.
uint32_t idleDeadline();

// Runs the client from start-up to shutdown; returns the process exit code.
int kavelMain(int argc, char** argv);

// The pieces of kavelMain, for tests and the idle benchmark.
void startUp();
// One pass of the main loop; false once the program is to end.
bool mainLoopPass();
void shutDown();
// The end without the shutdown's disconnect and settings: windows closed,
// plug-ins freed, exit code 0.
[[noreturn]] void endAtOnce();

// The main window's handler; may turn the event into a close request.
void mainWindowHandler(platform::Event& event);

}  // namespace kavel
