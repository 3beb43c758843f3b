#pragma once
// One registry of every unit's mutable state. A unit that keeps state
// registers how to put it back into its start-up condition; start-up and the
// test programs (before every test) call resetAll, so no test sees what an
// earlier one left behind, in whatever order they run.

#include <functional>

namespace kavel {

// Registers a reset; units do it from a static initialiser:
//   const bool registered = registerReset([] { ... });
bool registerReset(std::function<void()> reset);
// Runs every registered reset, in registration order.
void resetAll();

}  // namespace kavel
