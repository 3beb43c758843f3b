#include "ui/GUI_Methods.h"

#include <string>
#include <vector>

#include "common/datemask.h"
#include "common/reset.h"
#include "desktop/gadgets.h"
#include "ui/windows/main_window.h"

namespace kavel {

namespace {

// Start-up reports (plug-ins that fail to load, for instance) come before
// the main window is built; they are kept until its list exists.
std::vector<std::string> early;
const bool registered = registerReset([] { early.clear(); });

bool listReady() {
    return platform::controlExists(mainwin::StatusList) &&
           platform::controlWindow(mainwin::StatusList) == mainwin::Window;
}

void append(const std::string& line) {
    platform::addItem(mainwin::StatusList, line);
    platform::setSelectedItem(mainwin::StatusList, platform::itemCount(mainwin::StatusList) - 1);
}

}  // namespace

void statusMessage(std::string_view text) {
    if (text.empty()) return;
    std::string line = formatDateMask("[%hh:%ii:%ss] ");
    line.append(text);
    line.push_back('.');
    if (!listReady()) {
        if (early.size() < 1000) early.push_back(std::move(line));
        return;
    }
    append(line);
}

void flushEarlyStatus() {
    if (!listReady()) return;
    for (const std::string& line : early)
        append(line);
    early.clear();
}

}  // namespace kavel
