// Rooms joined again at the next login, against a real quarnd and through
// the program's own start-up, main loop and shutdown: the rooms open when
// the program ended come back in their order, a password room asks as it
// does from the menu, and with the option off nothing is joined.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/data.h"
#include "common/program_options.h"
#include "common/reset.h"
#include "core/KAVEL.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "support/main_loop.h"
#include "support/quarnd_process.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/profile.h"
#include "ui/windows/main_window.h"

namespace kavel::test {
namespace {

namespace gd = kavel::platform;

class Rejoin : public ::testing::Test {
  protected:
    void SetUp() override {
        // A profile to start with, so start-up logs in as anna.
        setText(&ClientState::profileName, "anna");
        ASSERT_TRUE(saveProfile());
        resetAll();
        std::ofstream("prefs.ini", std::ios::binary) << "[General]\r\nprofile = anna\r\n";
    }

    // What a new process in this folder does up to its login.
    void startAndLogIn(const quarnd_test::QuarndProcess& server) {
        test::setService(&gd::Services::sleep, [](uint32_t) {});
        test::setService(&gd::Services::dialogs, [this](const gd::DialogRequest& r) {
            asked.push_back(r);
            gd::DialogAnswer a;
            a.text = "sesam";
            return a;
        });
        startUp();
        session().setHost("127.0.0.1");
        session().setPort(server.chatPort());
        gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Connect});
        ASSERT_TRUE(loopUntil([] { return hasFlag(flag::LoggedIn); }));
    }
    void quit() {
        gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Quit});
        // Events queued before it come first.
        int passes = 0;
        while (mainLoopPass() && ++passes < 1000) {
        }
        EXPECT_LT(passes, 1000);
        shutDown();
        resetAll();
    }
    static std::vector<std::string> openRooms() {
        std::vector<std::string> names;
        for (ChatRoom* room : joinedRooms)
            names.push_back(roomGetName(room));
        return names;
    }
    static std::string prefs() {
        std::ifstream in("prefs.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Joins by hand and waits for the windows, in this order.
    void joinByHand(const std::vector<std::string>& rooms) {
        for (const std::string& room : rooms)
            session().joinRoom(room);
        ASSERT_TRUE(loopUntil([&] { return openRooms().size() == rooms.size(); }));
    }

    WorkFolder folder;
    std::vector<gd::DialogRequest> asked;
};

TEST_F(Rejoin, TheRoomsOpenAtTheEndComeBackInTheirOrder) {
    quarnd_test::QuarndProcess server;
    startAndLogIn(server);
    programOptions().rejoinRooms = true;
    joinByHand({"Alpha", "Tresor sesam", "Beta", "Gamma"});
    ASSERT_EQ(openRooms(), (std::vector<std::string>{"Alpha", "Tresor", "Beta", "Gamma"}));
    quit();
    EXPECT_NE(prefs().find("rejoinRooms = 1\r\nopenRooms = Alpha,Tresor,Beta,Gamma\r\n"),
              std::string::npos)
        << prefs();

    // The rooms of the others are gone with their last member; Tresor is
    // one of the server's own and keeps its password.
    startAndLogIn(server);
    ASSERT_TRUE(loopUntil([] { return joinedRooms.size() == 4; })) << joinedRooms.size();
    EXPECT_EQ(openRooms(), (std::vector<std::string>{"Alpha", "Tresor", "Beta", "Gamma"}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, gd::DialogRequest::Input);
    EXPECT_EQ(asked[0].title, "Passwort");
    EXPECT_EQ(asked[0].text, "Bitte geben sie das Password f\xFCr diesen Raum ein.");

    // Rooms left during the session are not joined next time.
    roomDestroy(joinedRooms[1]);
    roomDestroy(joinedRooms[0]);
    quit();
    EXPECT_NE(prefs().find("openRooms = Beta,Gamma\r\n"), std::string::npos) << prefs();
}

TEST_F(Rejoin, AfterTheUsersOwnDisconnectTheNextLoginJoinsThemAgain) {
    quarnd_test::QuarndProcess server;
    startAndLogIn(server);
    programOptions().rejoinRooms = true;
    joinByHand({"Eins", "Zwei"});
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Connect});  // "Trennen"
    ASSERT_TRUE(loopUntil([] { return !hasFlag(flag::Connected); }));
    EXPECT_TRUE(joinedRooms.empty());

    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Connect});
    ASSERT_TRUE(loopUntil([] { return joinedRooms.size() == 2; }));
    EXPECT_EQ(openRooms(), (std::vector<std::string>{"Eins", "Zwei"}));
    quit();
}

TEST_F(Rejoin, WithTheOptionOffNothingIsJoined) {
    quarnd_test::QuarndProcess server;
    std::ofstream("prefs.ini", std::ios::binary)
        << "[General]\r\nprofile = anna\r\nactivePlugins = \r\nopenRooms = Alpha,Beta\r\n";
    startAndLogIn(server);
    EXPECT_FALSE(programOptions().rejoinRooms);
    // Joined by hand after the room list: a rejoin would have gone out first.
    ASSERT_TRUE(loopUntil([] { return session().roomListsReceived() > 0; }));
    mainLoopPass();
    joinByHand({"Hand"});
    EXPECT_EQ(openRooms(), std::vector<std::string>{"Hand"});
    quit();
    // Off, the rooms are not written down at all.
    EXPECT_EQ(prefs(), "[General]\r\nprofile = anna\r\nactivePlugins = \r\n");
}

}  // namespace
}  // namespace kavel::test
