#pragma once
// Runs the program's own main loop in a test until something has happened.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "core/KAVEL.h"

namespace kavel::test {

// Main-loop passes until done holds or ms have passed; a pass that ends the
// program fails the test.
inline bool loopUntil(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        EXPECT_TRUE(mainLoopPass());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

}  // namespace kavel::test
