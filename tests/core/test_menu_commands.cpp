// The main menu's commands as the main loop hands them on, with real
// windows: each fixed window opened once and built anew, help, about, the
// room entries with the password prompt, and the first start that leads a
// newcomer through the profile window.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/reset.h"
#include "desktop/help.h"
#include "net/NET_Methods.h"
#include "support/file_io.h"
#include "support/qt_wait.h"
#include "support/script_server.h"
#include "support/services.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_About.h"
#include "ui/profile.h"
#include "ui/window_fixture.h"
#include "ui/windows/about_window.h"
#include "ui/windows/options_window.h"
#include "ui/windows/plugin_manager.h"
#include "ui/windows/profile_window.h"

namespace kavel::test {
namespace {

using kavel_test::ScriptServer;
namespace item = mainwin::item;

class MenuCommands : public WindowTest {
  protected:
    void TearDown() override {
        session().disconnect();
        WindowTest::TearDown();
    }
    // A session that counts as logged in, with a peer that reads the writes.
    void logIn(ScriptServer& server) {
        gd::initNetwork();
        ASSERT_TRUE(session().connect("127.0.0.1", server.port()));
        ASSERT_TRUE(server.accept());
        setFlag(flag::LoggedIn);
        session().restartKeepAlive();  // no probe in the middle of the writes under test
    }
};

TEST_F(MenuCommands, OptionsAndProfileOpenOnceEachAndShowTheState) {
    setOptions(0x0201);
    menu(item::Options);
    ASSERT_TRUE(gd::windowExists(optwin::Window));
    EXPECT_EQ(gd::controlState(optwin::FirstCheckBox), 1);
    click(optwin::FirstCheckBox + 1);  // ticked, not accepted yet
    menu(item::Options);               // already open: left as it is
    EXPECT_EQ(gd::controlState(optwin::FirstCheckBox + 1), 1);

    setText(&ClientState::profileName, "anna");
    menu(item::Profile);
    ASSERT_TRUE(gd::windowExists(profwin::Window));
    EXPECT_FALSE(gd::controlDisabled(profwin::Cancel));  // not the mandatory mode
    EXPECT_EQ(gd::controlText(profwin::UserName), "anna");
    gd::setControlText(profwin::UserName, "getippt");
    menu(item::Profile);
    EXPECT_EQ(gd::controlText(profwin::UserName), "getippt");
}

TEST_F(MenuCommands, HelpManualAndAbout) {
    menu(item::Help);
    EXPECT_EQ(platform::helpPage(), "node11.html");
    menu(item::Manual);
    EXPECT_EQ(platform::helpPage(), "index.html");

    menu(item::About);
    EXPECT_TRUE(gd::windowExists(aboutwin::Window));
    EXPECT_TRUE(hasFlag(flag::AboutRunning));
    EXPECT_EQ(aboutAnimation().particles.size(), 101u);
    EXPECT_EQ(aboutAnimation().scroll, 280.0f);
}

TEST_F(MenuCommands, NothingForTheJoinedRoomsTitleAndQuitEndsTheLoop) {
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, item::JoinedList, gd::EventType::None});
    EXPECT_TRUE(mainLoopPass());
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, item::Quit, gd::EventType::None});
    EXPECT_FALSE(mainLoopPass());
}

TEST_F(MenuCommands, APasswordRoomAsksAndACancelJoinsNothing) {
    ScriptServer server;
    logIn(server);
    AvailableRooms.push_back({"Lobby", 3, false, 0});
    AvailableRooms.push_back({"Tresor", 1, true, 0});
    buildMainMenu();
    struct Row {
        bool cancel;
        std::string typed;
        std::string sent;
    };
    const Row rows[] = {
        {false, "sesam", "JOIN Tresor sesam\rROOMLIST\r"},
        {false, "", "JOIN Tresor \rROOMLIST\r"},  // an empty answer still joins
        {true, "sesam", ""},                      // a cancel never does
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.sent);
        asked.clear();
        answer = [&r](const gd::DialogRequest&) {
            gd::DialogAnswer a;
            a.text = r.typed;
            a.cancelled = r.cancel;
            return a;
        };
        menu(13);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].kind, gd::DialogRequest::Input);
        EXPECT_EQ(asked[0].title, "Passwort");
        EXPECT_EQ(asked[0].text, "Bitte geben sie das Password f\xFCr diesen Raum ein.");
        EXPECT_EQ(server.read(), r.sent);
    }
    asked.clear();
    menu(12);  // an open room asks nothing
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(server.read(), "JOIN Lobby\rROOMLIST\r");
}

TEST_F(MenuCommands, AJoinedRoomsEntryLeavesThatRoom) {
    ScriptServer server;
    logIn(server);
    AvailableRooms.push_back({"Lobby", 3, false, 0});
    ChatRoom* lobby = newChatRoom("Lobby");
    ChatRoom* technik = newChatRoom("Technik");
    buildMainMenu();
    ASSERT_EQ(roomGetMenuId(technik), 14);
    menu(15);  // past the rooms: nothing of the rooms'
    EXPECT_EQ(joinedRooms.size(), 2u);
    menu(14);
    ASSERT_EQ(joinedRooms.size(), 1u);
    EXPECT_EQ(joinedRooms[0], lobby);
    EXPECT_EQ(server.read(), "LEAVE Technik\rROOMLIST\r");
}

TEST_F(MenuCommands, TheFixedWindowsGetTheirOwnEvents) {
    menu(item::Options);
    menu(item::Profile);
    menu(item::About);
    setText(&ClientState::profileName, "anna");
    for (int w : {optwin::Window, profwin::Window, aboutwin::Window}) {
        gd::postEvent({gd::EventKind::CloseRequest, w, 0, gd::EventType::None});
        EXPECT_TRUE(mainLoopPass()) << w;
        EXPECT_FALSE(gd::windowExists(w)) << w;
    }
    EXPECT_TRUE(gd::windowExists(mainwin::Window));
    EXPECT_FALSE(hasFlag(flag::AboutRunning));
}

// A newcomer's first start: no prefs.ini (or a profile that will not
// load) brings up the profile window that cannot be cancelled; the first
// name taken makes "Verbinden" available at once.
class FirstStart : public ::testing::Test {
  protected:
    void SetUp() override {
        kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t) {});
    }
    void TearDown() override {}
    WorkFolder folder;
};

struct FirstStartRow {
    const char* prefs;
    const char* name;  // kept from prefs.ini although nothing loaded
};
class FirstStartWithoutAProfile : public FirstStart,
                                  public ::testing::WithParamInterface<FirstStartRow> {};

TEST_P(FirstStartWithoutAProfile, AsksForOneAndCannotBeCancelled) {
    const auto [prefs, name] = GetParam();
    if (*prefs) spit("prefs.ini", prefs);
    std::filesystem::create_directory("profile");
    spit("profile/kaputt.prof", "kein Base64!");
    startUp();
    ASSERT_TRUE(gd::windowExists(profwin::Window));
    EXPECT_TRUE(gd::controlDisabled(profwin::Cancel));
    EXPECT_EQ(gd::controlText(profwin::UserName), name);
    EXPECT_EQ(kavel::test::menuItemDisabled(mainwin::Window, item::Connect), !*name);
    EXPECT_EQ(options(), 0x0221);
    EXPECT_EQ(gd::controlState(profwin::ContrastFirst), 1);
    EXPECT_EQ(gd::shownPixel(profwin::BackgroundColour, 1, 1), 0xFFFFFF);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FirstStartWithoutAProfile,
    ::testing::Values(FirstStartRow{"", ""},
                      FirstStartRow{"[General]\r\nprofile = geist\r\n", "geist"},
                      FirstStartRow{"[General]\r\nprofile = kaputt\r\n", "kaputt"}));

TEST_F(FirstStart, TheFirstNameTakenEnablesConnectAtOnce) {
    startUp();
    kavel::test::setService(&kavel::platform::Services::dialogs,
                            [](const gd::DialogRequest&) { return gd::DialogAnswer{}; });
    gd::setControlText(profwin::UserName, "neuling");
    gd::postEvent({gd::EventKind::Control, profwin::Window, profwin::Apply, gd::EventType::Click});
    EXPECT_TRUE(mainLoopPass());
    EXPECT_FALSE(kavel::test::menuItemDisabled(mainwin::Window, item::Connect));
    EXPECT_EQ(gd::menuItemText(mainwin::Window, item::Connect), "Verbinden");
    EXPECT_TRUE(gd::windowExists(profwin::Window));
}

TEST_F(FirstStart, AStoredProfileNeedsNoProfileWindow) {
    setText(&ClientState::profileName, "anna");
    ASSERT_TRUE(saveProfile());
    spit("prefs.ini", "[General]\r\nprofile = anna\r\n");
    setText(&ClientState::profileName, "");  // what start-up finds comes from the files
    startUp();
    EXPECT_FALSE(gd::windowExists(profwin::Window));
    EXPECT_EQ(text(clientState.profileName), "anna");
    EXPECT_FALSE(kavel::test::menuItemDisabled(mainwin::Window, item::Connect));
}

}  // namespace
}  // namespace kavel::test
