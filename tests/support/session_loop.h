#pragma once
// The session half of a main-loop pass, driven by a test against a live
// server: poll the connection, rebuild the menu when asked, until pred
// holds, the connection is gone or the limit passes.

#include <chrono>
#include <functional>
#include <thread>

#include "common/data.h"
#include "net/NET_Methods.h"
#include "ui/GUI.h"

namespace kavel::test {

inline bool runSessionUntil(const std::function<bool()>& pred,
                            std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred() && std::chrono::steady_clock::now() < end) {
        if (!hasFlag(flag::Connected)) break;
        session().poll();
        if (hasFlag(flag::MenuDirty)) buildMainMenu();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return pred();
}

}  // namespace kavel::test
