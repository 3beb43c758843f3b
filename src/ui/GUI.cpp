#include "ui/GUI.h"

#include <string>

#include "common/data.h"
#include "common/reset.h"
#include "objects/CLASS_Agents.h"
#include "platform/gadgets.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods.h"
#include "ui/windows/main_window.h"

namespace kavel {

namespace gd = platform;

namespace {

MainMenuNumbers numbers;
const bool registered = registerReset([] { numbers = MainMenuNumbers{}; });

}  // namespace

const MainMenuNumbers& mainMenuNumbers() {
    return numbers;
}

std::string roomMenuLabel(const std::string& name, int users, bool password) {
    std::string label = name;
    for (char& c : label)
        if (c == '_') c = '-';
    label += " -> ";
    label += ui(password ? Txt::RoomLabelPassword : Txt::RoomLabel, std::to_string(users));
    return label;
}

void buildMainMenu() {
    using namespace mainwin;
    if (!gd::windowExists(Window)) {
        clearFlag(flag::MenuDirty);
        return;
    }
    int next = item::FirstNumbered;
    MainMenuNumbers built;

    gd::beginMenuBar(Window);
    gd::menuTitle(ui(Txt::MenuActions));
    gd::menuItem(item::Connect, ui(hasFlag(flag::LoggedIn) ? Txt::Disconnect : Txt::Connect),
                 text(clientState.profileName).empty());

    gd::openSubMenu(ui(Txt::MenuEnterRoom));
    gd::menuItem(item::RoomList, ui(Txt::MenuRoomList));
    gd::menuSeparator();
    built.firstRoom = next;
    for (AvailableRoom& room : AvailableRooms) {
        room.menuId = next++;
        gd::menuItem(room.menuId, roomMenuLabel(room.name, room.userCount, room.hasPassword));
    }
    gd::closeSubMenu();

    gd::openSubMenu(ui(Txt::MenuLeaveRoom));
    gd::menuItem(item::JoinedList, ui(Txt::MenuJoinedList));
    gd::menuSeparator();
    built.firstJoined = next;
    for (ChatRoom* room : joinedRooms) {
        const int id = next++;
        roomSetMenuId(room, id);
        gd::menuItem(id, roomGetName(room));
    }
    gd::closeSubMenu();

    gd::menuItem(item::Options, ui(Txt::MenuOptions));
    gd::menuItem(item::Profile, ui(Txt::MenuProfile));
    gd::menuItem(item::Quit, ui(Txt::MenuQuit));

    gd::menuTitle(ui(Txt::MenuTools));
    gd::menuItem(item::PluginManager, ui(Txt::MenuPluginManager));
    gd::menuSeparator();
    built.firstAgent = next;
    for (Agent* agent : AgentList)
        gd::menuItem(next++, agentGetName(agent));

    gd::menuTitle(ui(Txt::MenuHelpTitle));
    gd::menuItem(item::Help, ui(Txt::MenuHelp));
    gd::menuItem(item::Manual, ui(Txt::MenuManual));
    gd::menuSeparator();
    gd::menuItem(item::About, ui(Txt::MenuAbout));
    gd::endMenu();

    built.end = next;
    numbers = built;
    clearFlag(flag::MenuDirty);
}

void openMainWindow() {
    using namespace mainwin;
    if (gd::openWindow(Window, 0, 0, Width, Height, "KAVEL - Client Program",
                       gd::kSizeGadget | gd::kMinMaxGadgets | gd::kScreenCentred | gd::kInvisible) <
        0)
        return;
    buildMainMenu();
    gd::listBox(Window, StatusList, 10, 230, 580, 40);
    gd::setAccessibleName(StatusList, "Statusmeldungen");
    // The placeholder stays shown but empty: a hidden half would make the
    // splitter give its room to the status list and the divider would jump.
    gd::imageControl(Window, Placeholder, 0, 0, 20, 20);
    gd::setAccessibleName(Placeholder, "Platzhalter");
    gd::splitter(Window, Splitter, 10, 10, 580, 280, Placeholder, StatusList, false, DividerAt,
                 true);
    clientState.mainWindow = gd::windowHandle(Window);
    flushEarlyStatus();
    gd::showWindow(Window);
}

}  // namespace kavel
