// The main window under the offscreen platform: menu numbering and labels,
// the first item in each session state, the status list, the handler's
// commands and the loop's reaction to close requests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "common/data.h"
#include "core/KAVEL.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "objects/CLASS_Agents.h"
#include "support/plugin_folder.h"
#include "support/qt_wait.h"
#include "support/script_server.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "system/clock.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/GUI_Methods.h"
#include "ui/windows/main_window.h"

using namespace kavel;
namespace gd = kavel::platform;
using kavel_test::ScriptServer;

namespace {

constexpr int W = mainwin::Window;

std::string menuText(int id) {
    return gd::menuItemText(W, id);
}

std::vector<int> numberedItems() {
    std::vector<int> out;
    for (int id : kavel::test::menuItemIds(W))
        if (id >= mainwin::item::FirstNumbered) out.push_back(id);
    return out;
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t) {});
        gd::initNetwork();
        openMainWindow();
        gd::clearItems(mainwin::StatusList);
        kavel::test::discardEvents();
    }
    void TearDown() override {
        session().disconnect();
        for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
            roomDestroy(room);
        gd::closeWindow(W);
    }
};

TEST_F(MainWindow, RoomsJoinedRoomsAndPluginsAreNumberedFromTwelve) {
    AvailableRooms.push_back({"a_b", 3, false, 0});
    AvailableRooms.push_back({"c", 5, true, 0});
    ChatRoom* c = newChatRoom("c");
    test::PluginFolder plugins;
    plugins.add(TAUSCHWERK_SO, "Tauschwerk.so");
    ASSERT_TRUE(loadPlugin("plugins/Tauschwerk.so"));
    buildMainMenu();

    EXPECT_EQ(numberedItems(), (std::vector<int>{12, 13, 14, 15}));
    EXPECT_EQ(menuText(12), "a-b -> [3 User]");
    EXPECT_EQ(menuText(13), "c -> [5 User, Passwort]");
    EXPECT_EQ(menuText(14), "c");
    EXPECT_EQ(menuText(15), "Tauschwerk.so");
    EXPECT_EQ(AvailableRooms[0].name, "a_b");  // joined under its stored name
    EXPECT_EQ(AvailableRooms[1].menuId, 13);
    EXPECT_EQ(roomGetMenuId(c), 14);

    AvailableRooms.clear();
    buildMainMenu();
    EXPECT_EQ(numberedItems(), (std::vector<int>{12, 13}));
    EXPECT_EQ(roomGetMenuId(c), 12);
    EXPECT_EQ(menuText(13), "Tauschwerk.so");
}

TEST_F(MainWindow, FixedItemsInMenuOrder) {
    setFlag(flag::MenuDirty);
    buildMainMenu();
    EXPECT_FALSE(hasFlag(flag::MenuDirty));
    EXPECT_EQ(kavel::test::menuItemIds(W), (std::vector<int>{0, 1, 2, 3, 4, 5, 8, 9, 10, 11}));
    EXPECT_EQ(menuText(1),
              "Liste der verf\xFC"
              "gbaren R\xE4ume");
    EXPECT_EQ(menuText(5), "Beenden");
    EXPECT_EQ(menuText(11),
              "\xDC"
              "ber");
}

TEST_F(MainWindow, FirstItemFollowsLoggedInAndNeedsAName) {
    buildMainMenu();
    EXPECT_EQ(menuText(0), "Verbinden");
    EXPECT_TRUE(kavel::test::menuItemDisabled(W, 0));

    setText(&ClientState::profileName, "anna");
    buildMainMenu();
    EXPECT_EQ(menuText(0), "Verbinden");
    EXPECT_FALSE(kavel::test::menuItemDisabled(W, 0));

    setFlag(flag::Connected);  // connected, not yet logged in
    buildMainMenu();
    EXPECT_EQ(menuText(0), "Verbinden");

    setFlag(flag::LoggedIn);
    buildMainMenu();
    EXPECT_EQ(menuText(0), "Trennen");
    EXPECT_FALSE(kavel::test::menuItemDisabled(W, 0));
    AppFlags = 0;
}

TEST_F(MainWindow, LayoutAndResizeRule) {
    EXPECT_EQ(gd::windowTitle(W), "KAVEL - Client Program");
    EXPECT_EQ(gd::windowWidth(W), 600);
    EXPECT_EQ(gd::windowHeight(W), 300);
    EXPECT_EQ(gd::controlWidth(mainwin::Splitter), 580);
    EXPECT_EQ(gd::controlHeight(mainwin::Splitter), 280);
    EXPECT_EQ(gd::controlState(mainwin::Splitter), 220);
    EXPECT_NE(static_cast<void*>(clientState.mainWindow), nullptr);
    for (int id : {mainwin::StatusList, mainwin::Placeholder, mainwin::Splitter})
        EXPECT_FALSE(gd::accessibleName(id).empty()) << id;

    gd::resizeWindow(W, 800, 500);
    gd::Event e = gd::pollEvent();
    ASSERT_EQ(e.kind, gd::EventKind::Resized);
    mainWindowHandler(e);
    EXPECT_EQ(gd::controlWidth(mainwin::Splitter), 780);
    EXPECT_EQ(gd::controlHeight(mainwin::Splitter), 460);
}

TEST_F(MainWindow, StatusLinesCarryTheTimeAndTheLastIsSelected) {
    statusMessage("Start erfolgreich");
    statusMessage("");
    statusMessage("zweite");
    ASSERT_EQ(gd::itemCount(mainwin::StatusList), 2);
    EXPECT_TRUE(std::regex_match(gd::itemText(mainwin::StatusList, 0),
                                 std::regex(R"(\[\d\d:\d\d:\d\d\] Start erfolgreich\.)")));
    EXPECT_EQ(gd::selectedItem(mainwin::StatusList), 1);
}

TEST_F(MainWindow, QuitAndTheCloseBoxEndTheLoopRoomClosesDoNot) {
    gd::Event quit{gd::EventKind::Menu, W, mainwin::item::Quit, gd::EventType::None};
    mainWindowHandler(quit);
    EXPECT_EQ(quit.kind, gd::EventKind::CloseRequest);

    ChatRoom* room = newChatRoom("lobby");
    ASSERT_EQ(joinedRooms.size(), 1u);
    (void)room;
    gd::postEvent({gd::EventKind::CloseRequest, 4711, 0, gd::EventType::None});
    EXPECT_TRUE(mainLoopPass());
    gd::postEvent({gd::EventKind::CloseRequest, W, 0, gd::EventType::None});
    EXPECT_FALSE(mainLoopPass());
    gd::postEvent({gd::EventKind::Menu, W, mainwin::item::Quit, gd::EventType::None});
    EXPECT_FALSE(mainLoopPass());
}

TEST_F(MainWindow, ConnectItemConnectsLogsInAndDisconnects) {
    ScriptServer server;
    session().setHost("127.0.0.1");
    session().setPort(server.port());
    setText(&ClientState::profileName, "anna");
    setText(&ClientState::password, "pw");
    gd::Event e{gd::EventKind::Menu, W, mainwin::item::Connect, gd::EventType::None};
    mainWindowHandler(e);
    ASSERT_TRUE(hasFlag(flag::Connected));
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(server.read(), "LOGIN anna pw [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna\r");

    gd::Event list{gd::EventKind::Menu, W, mainwin::item::RoomList, gd::EventType::None};
    mainWindowHandler(list);  // not logged in yet: nothing
    setFlag(flag::LoggedIn);
    mainWindowHandler(list);
    EXPECT_EQ(server.read(), "ROOMLIST\r");

    mainWindowHandler(e);  // connected: the same item disconnects
    EXPECT_FALSE(hasFlag(flag::Connected));
    session().setHost("");
    session().setPort(ServerPort);
}

TEST_F(MainWindow, PasswordRoomsAskAndJoinEvenWithAnEmptyAnswer) {
    ScriptServer server;
    ASSERT_TRUE(session().connect("127.0.0.1", server.port()));
    ASSERT_TRUE(server.accept());
    setFlag(flag::LoggedIn);
    AvailableRooms.push_back({"a_b", 3, false, 0});
    AvailableRooms.push_back({"c", 5, true, 0});
    buildMainMenu();
    std::vector<gd::DialogRequest> asked;
    kavel::test::setService(&kavel::platform::Services::dialogs, [&](const gd::DialogRequest& r) {
        asked.push_back(r);
        return gd::DialogAnswer{};
    });
    gd::Event open{gd::EventKind::Menu, W, 12, gd::EventType::None};
    mainWindowHandler(open);
    gd::Event locked{gd::EventKind::Menu, W, 13, gd::EventType::None};
    mainWindowHandler(locked);
    EXPECT_EQ(server.read(), "JOIN a_b\rROOMLIST\rJOIN c \rROOMLIST\r");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Passwort");
    EXPECT_EQ(asked[0].text, "Bitte geben sie das Password f\xFCr diesen Raum ein.");
}

// Start-up in a folder without prefs.ini: no profile, so the defaults and
// the profile request.
TEST(StartUp, WithoutSettingsAsksForAProfile) {
    test::WorkFolder folder;
    startUp();
    std::vector<std::string> lines;
    for (int i = 0; i < gd::itemCount(mainwin::StatusList); ++i) {
        const std::string line = gd::itemText(mainwin::StatusList, i);
        lines.push_back(line.substr(line.find("] ") + 2));
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Start erfolgreich.");
    EXPECT_EQ(lines.back(), "Bitte legen sie ein neues Profil an oder laden sie ein bestehendes.");
    EXPECT_EQ(options(), 0x221);
    EXPECT_EQ(static_cast<int32_t>(clientState.backgroundColour), 0xFFFFFF);
    EXPECT_TRUE(gd::windowExists(W));

    shutDown();
    EXPECT_TRUE(std::filesystem::exists("prefs.ini"));
    gd::closeWindow(W);
}

}  // namespace
