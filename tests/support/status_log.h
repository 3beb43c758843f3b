#pragma once
// The main window's status log as the user reads it, without the time in
// front of each line.

#include <string>
#include <vector>

#include "desktop/gadgets.h"
#include "ui/windows/main_window.h"

namespace kavel::test {

inline std::vector<std::string> statusLines() {
    std::vector<std::string> out;
    for (int i = 0; i < platform::itemCount(mainwin::StatusList); ++i) {
        const std::string line = platform::itemText(mainwin::StatusList, i);
        out.push_back(line.substr(line.find("] ") + 2));
    }
    return out;
}

}  // namespace kavel::test
