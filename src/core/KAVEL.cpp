// The main module: start-up, main loop and shutdown.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/LEXER.h"
#include "common/data.h"
#include "core/KAVEL.h"
#include "core/OS_Dependant.h"
#include "core/OnError.h"
#include "core/prefs.h"
#include "core/rejoin.h"
#include "core/wiring.h"
#include "desktop/gadgets.h"
#include "desktop/instance.h"
#include "desktop/tray.h"
#include "net/NET_Methods.h"
#include "net/wire.h"
#include "objects/CLASS_Agents.h"
#include "objects/CLASS_Object.h"
#include "system/clock.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/GUI_About.h"
#include "ui/GUI_Help.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_PluginManager.h"
#include "ui/GUI_Tray.h"
#include "ui/profile.h"
#include "ui/smilies.h"
#include "ui/windows/handlers.h"
#include "ui/windows/main_window.h"
#include "ui/windows/options_window.h"
#include "ui/windows/plugin_manager.h"
#include "ui/windows/profile_window.h"
#include "ui/windows/tray.h"

namespace kavel {

namespace pf = platform;

namespace {

// Start-up steps whose work belongs to units not written yet; they keep
// their place in the order.
void loadSmileyPictures() {
    for (int n = 4; n <= 11; ++n)
        smileyTemplate(n);
}

void startProfile() {
    const std::string name(text(clientState.profileName));
    if (!name.empty() && loadProfile(name + ".prof")) return;
    statusMessage(ui(Txt::ProfileRequest));
    clientState.backgroundColour = 0xFFFFFF;
    setOptions(opt::NoProfileDefault);
    openProfileWindow(true);
}

// Plug-ins ask for a turn by setting the request bit from their threads.
void pluginCommandStep() {
    if (const auto command = takePluginCommand()) session().send(*command);
}

void idle() {
    const bool about = hasFlag(flag::AboutRunning);
    if (about && aboutFrameWait() == 0) {
        aboutFrame();
        return;
    }
    // A test that moves time itself gets the polling loop it drives.
    if (pf::simulatedTime()) {
        pf::sleepMs(about ? aboutFrameWait() : IdleSleepMs);
        return;
    }
    pf::waitForWork(idleDeadline(), session().connection());
}

void menuNumberedItem(int id) {
    const MainMenuNumbers& n = mainMenuNumbers();
    if (id >= n.firstRoom && id < n.firstJoined) {
        for (const AvailableRoom& room : AvailableRooms) {
            if (room.menuId != id) continue;
            joinListedRoom(room);
            return;
        }
    } else if (id >= n.firstJoined && id < n.firstAgent) {
        for (ChatRoom* room : joinedRooms) {
            if (roomGetMenuId(room) == id) {
                roomDestroy(room);
                return;
            }
        }
    } else if (id >= n.firstAgent && id < n.end) {
        const auto index = static_cast<std::size_t>(id - n.firstAgent);
        if (index < AgentList.size()) agentSetup(AgentList[index]);
    }
}

}  // namespace

// Everything else that wakes the loop (server data, window events, signals,
// other threads) ends the wait by itself.
uint32_t idleDeadline() {
    // Work already asked for, by a plug-in during this pass among others.
    if (hasOption(opt::PluginCommandRequest) || hasFlag(flag::MenuDirty)) return 0;
    if (hasFlag(flag::ProfileUploadPending) &&
        (!hasFlag(flag::Connected) || hasFlag(flag::LoggedIn)))
        return 0;
    uint32_t wait = pf::kWaitForever;
    if (!hasFlag(flag::Connected)) wait = std::min(wait, session().repairWait());
    if (hasFlag(flag::Connected)) wait = session().keepAliveWait();
    if (hasFlag(flag::AboutRunning)) wait = std::min(wait, aboutFrameWait());
    // A plug-in asks for a turn by setting a bit in shared memory, which
    // no descriptor announces: look while one could be setting it.
    if (runningSetups() > 0)
        wait = std::min(wait, IdleSleepMs);
    else if (commandPluginLoaded())
        wait = std::min(wait, PluginThreadPollMs);
    return wait;
}

void mainWindowHandler(pf::Event& event) {
    using namespace mainwin;
    // The close box; "Beenden" becomes a close request only below.
    if (event.kind == pf::EventKind::CloseRequest && closesToTray()) {
        pf::hideWindow(Window);
        event = {};
        return;
    }
    if (event.kind == pf::EventKind::Resized) {
        pf::resizeControl(Splitter, -1, -1, pf::windowWidth(Window) - SplitterMarginX,
                          pf::windowHeight(Window) - SplitterMarginY);
        return;
    }
    if (event.kind != pf::EventKind::Menu) return;
    switch (event.id) {
        case item::Connect:
            if (!hasFlag(flag::Connected)) {
                session().open();
            } else {
                rememberOpenRooms();
                session().disconnect();
            }
            break;
        case item::RoomList:
            if (hasFlag(flag::LoggedIn)) session().send(wire::roomList());
            break;
        case item::JoinedList:
            break;
        case item::Options:
            if (!pf::windowExists(optwin::Window)) openOptionsWindow();
            break;
        case item::Profile:
            if (!pf::windowExists(profwin::Window)) openProfileWindow(false);
            break;
        case item::Quit:
            event.kind = pf::EventKind::CloseRequest;
            break;
        case item::PluginManager:
            if (!pf::windowExists(pluginmgr::Window)) openPluginManager();
            break;
        case item::Help:
            openHelp(kHelpTopic);
            break;
        case item::Manual:
            openHelp("");
            break;
        case item::About:
            openAboutWindow();
            setFlag(flag::AboutRunning);
            startAboutAnimation();
            break;
        default:
            if (event.id >= item::FirstNumbered) menuNumberedItem(event.id);
            break;
    }
}

namespace {

// The tray icon: a click brings the program forward; its menu's entries
// are the main menu's items of the same numbers, done by that handler.
void trayHandler(pf::Event& event) {
    if (event.kind == pf::EventKind::Control && event.type == pf::EventType::Click) {
        trayClicked();
        return;
    }
    if (event.kind != pf::EventKind::Menu ||
        (event.id != traywin::item::Connect && event.id != traywin::item::Quit))
        return;
    pf::Event command{pf::EventKind::Menu, mainwin::Window, event.id};
    mainWindowHandler(command);
    // "Beenden" ends the program even while the main window is in the tray.
    event = command;
}

const bool handlerRegistered = registerWindow(mainwin::Window, &mainWindowHandler);
const bool trayRegistered = registerWindow(traywin::Window, &trayHandler);

}  // namespace

void startUp() {
    // The desktop session is already open (kavelMain); the order below is
    // the order in which the parts depend on each other.
    InitLexTable();
    resetPendingClass();
    AgentList.clear();
    loadUiTexts();
    joinedRooms.clear();
    AvailableRooms.clear();
    // The crash handler from here on, and the plug-in host for the settings.
    wireProgram();
    loadSettings();
    openMainWindow();
    reportPluginKeptOut();
    if (initSounds()) playSound(sound::Startup);
    loadSmileyPictures();
    if (!pf::initNetwork()) {
        statusMessage(ui(Txt::NoTcpStack));
        setFlag(flag::NoNetwork);
    } else {
        statusMessage(ui(Txt::StartOk));
    }
    startProfile();
}

bool mainLoopPass() {
    if (hasFlag(flag::Connected)) {
        session().poll();
        // The data just read may have ended the session (KICKED, refusal).
        if (hasFlag(flag::Connected)) session().keepAlive();
        pluginCommandStep();
        session().profileUploadStep();
    } else {
        session().repairStep();
        if (!hasFlag(flag::Connected) && hasFlag(flag::ProfileUploadPending))
            session().profileUploadStep();
    }
    rejoinStep();
    refreshTray();
    // Also offline: a session that just ended wants "Verbinden" back.
    if (hasFlag(flag::MenuDirty)) buildMainMenu();

    pf::Event event = pf::pollEvent();
    if (event.kind == pf::EventKind::None) {
        idle();
        return true;
    }
    if (const WindowHandler handle = windowHandler(event.window)) {
        handle(event);
    } else {
        for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
            if (roomHandleEvent(room, event)) break;
        // Closing a room window never ends the program.
        event = {};
    }
    return !(event.kind == pf::EventKind::CloseRequest && event.window == mainwin::Window);
}

void shutDown() {
    rememberRoomsAtEnd();
    session().disconnect();
    // The window is gone by now; the terminal is the one place left to say it.
    if (!saveSettings())
        std::fprintf(stderr, "KAVEL: %s konnte nicht geschrieben werden.\n", kPrefsFile);
    // Rooms left open by a failed reconnect still have windows.
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        roomDestroy(room);
    freeAllAgents();
}

void endAtOnce() {
    freeAllAgents();
    unloadSounds();
    pf::endDesktop();
    std::exit(0);
}

int kavelMain(int argc, char** argv) {
    static int args = 0;
    args = argc;
    pf::startDesktop(args, argv);
    // A second start in the same folder brings the running client forward.
    if (!pf::claimWorkingFolder(mainwin::Window)) {
        pf::endDesktop();
        return 0;
    }
    startUp();
    while (guardedPass(mainLoopPass)) {
    }
    shutDown();
    unloadSounds();
    pf::endDesktop();
    return 0;
}

}  // namespace kavel
