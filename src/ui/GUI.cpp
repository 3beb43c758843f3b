#include "ui/GUI.h"

#include <string>

#include "common/data.h"
#include "common/reset.h"
#include "desktop/gadgets.h"
#include "objects/CLASS_Agents.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods.h"
#include "ui/windows/main_window.h"

namespace kavel {

namespace pf = platform;

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
    if (!pf::windowExists(Window)) {
        clearFlag(flag::MenuDirty);
        return;
    }
    int next = item::FirstNumbered;
    MainMenuNumbers built;

    pf::beginMenuBar(Window);
    pf::menuTitle(ui(Txt::MenuActions));
    pf::menuItem(item::Connect, ui(hasFlag(flag::LoggedIn) ? Txt::Disconnect : Txt::Connect),
                 text(clientState.profileName).empty());

    pf::openSubMenu(ui(Txt::MenuEnterRoom));
    pf::menuItem(item::RoomList, ui(Txt::MenuRoomList));
    pf::menuSeparator();
    built.firstRoom = next;
    for (AvailableRoom& room : AvailableRooms) {
        room.menuId = next++;
        pf::menuItem(room.menuId, roomMenuLabel(room.name, room.userCount, room.hasPassword));
    }
    pf::closeSubMenu();

    pf::openSubMenu(ui(Txt::MenuLeaveRoom));
    pf::menuItem(item::JoinedList, ui(Txt::MenuJoinedList));
    pf::menuSeparator();
    built.firstJoined = next;
    for (ChatRoom* room : joinedRooms) {
        const int id = next++;
        roomSetMenuId(room, id);
        pf::menuItem(id, roomGetName(room));
    }
    pf::closeSubMenu();

    pf::menuItem(item::Options, ui(Txt::MenuOptions));
    pf::menuItem(item::Profile, ui(Txt::MenuProfile));
    pf::menuItem(item::Quit, ui(Txt::MenuQuit));

    pf::menuTitle(ui(Txt::MenuTools));
    pf::menuItem(item::PluginManager, ui(Txt::MenuPluginManager));
    pf::menuSeparator();
    built.firstAgent = next;
    for (Agent* agent : AgentList)
        pf::menuItem(next++, agentGetName(agent));

    pf::menuTitle(ui(Txt::MenuHelpTitle));
    pf::menuItem(item::Help, ui(Txt::MenuHelp));
    pf::menuItem(item::Manual, ui(Txt::MenuManual));
    pf::menuSeparator();
    pf::menuItem(item::About, ui(Txt::MenuAbout));
    pf::endMenu();

    built.end = next;
    numbers = built;
    clearFlag(flag::MenuDirty);
}

void openMainWindow() {
    using namespace mainwin;
    if (pf::openWindow(Window, 0, 0, Width, Height, "KAVEL - Client Program",
                       pf::kSizeGadget | pf::kMinMaxGadgets | pf::kScreenCentred | pf::kInvisible) <
        0)
        return;
    buildMainMenu();
    pf::listBox(Window, StatusList, 10, 230, 580, 40);
    pf::setAccessibleName(StatusList, "Statusmeldungen");
    // The placeholder stays shown but empty: a hidden half would make the
    // splitter give its room to the status list and the divider would jump.
    pf::imageControl(Window, Placeholder, 0, 0, 20, 20);
    pf::setAccessibleName(Placeholder, "Platzhalter");
    pf::splitter(Window, Splitter, 10, 10, 580, 280, Placeholder, StatusList, false, DividerAt,
                 true);
    clientState.mainWindow = pf::windowHandle(Window);
    flushEarlyStatus();
    pf::showWindow(Window);
}

}  // namespace kavel
