#include "ui/GUI_Tray.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/data.h"
#include "common/program_options.h"
#include "common/reset.h"
#include "desktop/gadgets.h"
#include "desktop/notify.h"
#include "desktop/tray.h"
#include "ui/windows/main_window.h"
#include "ui/windows/tray.h"

namespace kavel {

namespace pf = platform;

namespace {

// The room windows with an unread mention, the newest last; few at a time.
std::vector<int> unread;

const bool registered = registerReset([] { unread.clear(); });

// Status texts of ours; "$" is the room.
constexpr const char* kToolTip = "KAVEL";
constexpr const char* kToolTipMention = "KAVEL - Erw\xE4hnung in $";

void forget(int window) {
    std::erase(unread, window);
}

std::string toolTip() {
    const int window = newestMention();
    if (window < 0) return kToolTip;
    std::string text = kToolTipMention;
    text.replace(text.find('$'), 1, pf::windowTitle(window));
    return text;
}

}  // namespace

void noteMention(int roomWindow) {
    if (!pf::windowExists(roomWindow) || pf::isForegroundWindow(roomWindow)) return;
    forget(roomWindow);
    unread.push_back(roomWindow);
}

bool mentionUnread() {
    return !unread.empty();
}

int newestMention() {
    return unread.empty() ? -1 : unread.back();
}

void refreshTray() {
    std::erase_if(unread, [](int window) {
        return !pf::windowExists(window) || pf::isForegroundWindow(window);
    });
    if (!pf::trayAvailable()) return;
    pf::TrayLook look;
    look.alert = mentionUnread();
    look.toolTip = toolTip();
    look.menu = {
        {traywin::item::Connect, ui(hasFlag(flag::LoggedIn) ? Txt::Disconnect : Txt::Connect),
         text(clientState.profileName).empty()},
        {traywin::item::Quit, ui(Txt::MenuQuit), false},
    };
    // The facade applies only what changed.
    pf::showTray(traywin::Window, look);
}

void trayClicked() {
    pf::raiseWindow(mainwin::Window);
    const int room = newestMention();
    if (room < 0) return;
    pf::raiseWindow(room);
    forget(room);
}

bool closesToTray() {
    return programOptions().closeToTray && pf::trayAvailable();
}

}  // namespace kavel
