// The session end to end against a real quarnd on an ephemeral port, with
// the real dispatcher behind the session's poll.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include <signal.h>

#include "common/data.h"
#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "net/NET_Methods.h"
#include "support/quarnd_process.h"
#include "support/room_window.h"
#include "support/services.h"
#include "support/session_loop.h"
#include "system/clock.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

using namespace kavel;
namespace gd = kavel::platform;

namespace {

uint32_t fakeNow = 0;

bool hasStatus(const std::string& wanted) {
    for (int i = 0; i < gd::itemCount(mainwin::StatusList); ++i) {
        const std::string line = gd::itemText(mainwin::StatusList, i);
        if (line.substr(line.find("] ") + 2) == wanted) return true;
    }
    return false;
}

class WithQuarnd : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        fakeNow = 5000;
        kavel::test::setService(&kavel::platform::Services::ticks, [] { return fakeNow; });
        gd::initNetwork();
        openMainWindow();
        session().setHost("127.0.0.1");
        session().setPort(server.chatPort());
    }
    void TearDown() override {
        session().disconnect();
        gd::closeWindow(mainwin::Window);
        session().setHost("");
        session().setPort(ServerPort);
    }

    bool runUntil(const std::function<bool()>& pred) { return test::runSessionUntil(pred); }

    quarnd_test::QuarndProcess server;
};

TEST_F(WithQuarnd, GuestLogsInJoinsARoomAndAnswersKeepAlives) {
    setText(&ClientState::profileName, "gast1");
    setText(&ClientState::nick, "gast1");
    ASSERT_TRUE(session().connect(session().host(), session().port()));
    session().restartKeepAlive();
    session().login("gast1", "");
    ASSERT_TRUE(runUntil([] { return hasFlag(flag::LoggedIn); }));
    EXPECT_TRUE(hasFlag(flag::Guest));
    EXPECT_TRUE(hasStatus("Herzlich Willkommen gast1."));

    session().joinRoom("Lobby");
    // The JOIN's own ROOMLIST already counts us.
    ASSERT_TRUE(runUntil([] {
        return joinedRooms.size() == 1 &&
               gd::menuItemText(mainwin::Window, 12) == "Lobby -> [1 User]";
    }));
    EXPECT_EQ(roomGetName(joinedRooms[0]), "Lobby");
    EXPECT_EQ(gd::menuItemText(mainwin::Window, mainMenuNumbers().firstJoined), "Lobby");
    EXPECT_EQ(mainMenuNumbers().firstJoined, 12 + static_cast<int>(AvailableRooms.size()));
    EXPECT_EQ(gd::menuItemText(mainwin::Window, 0), "Trennen");

    // The probe goes to ourselves; whatever comes back clears it.
    fakeNow += KeepAliveInterval + 1;
    session().keepAlive();
    ASSERT_TRUE(hasFlag(flag::PingOutstanding));
    ASSERT_TRUE(runUntil([] { return !hasFlag(flag::PingOutstanding); }));
    fakeNow += KeepAliveInterval + 1;
    session().keepAlive();  // answered in time: a new probe, no reconnect
    EXPECT_TRUE(hasFlag(flag::Connected));
    EXPECT_FALSE(hasStatus("Ping Timeout - versuche mich neu zu verbinden."));

    session().disconnect();
    EXPECT_TRUE(joinedRooms.empty());
    ASSERT_TRUE(hasFlag(flag::MenuDirty));  // the main loop's next pass rebuilds it
    buildMainMenu();
    EXPECT_EQ(gd::menuItemText(mainwin::Window, 0), "Verbinden");
}

TEST_F(WithQuarnd, ANameInUseIsRefusedAndDisconnects) {
    quarnd_test::RawQuarnClient anna(server.chatPort());
    ASSERT_FALSE(anna.command("LOGIN anna  [CLIENT:KAVEL@Windows]").empty());
    ASSERT_TRUE(session().connect(session().host(), session().port()));
    session().login("anna", "");
    EXPECT_TRUE(runUntil([] { return !hasFlag(flag::Connected); }));
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
    EXPECT_TRUE(hasStatus("Login fehlgeschlagen - Der Name wird bereits verwendet."));
}

}  // namespace

// The server goes away mid-session, with and without the automatic ping:
// the closed connection is noticed at the next poll, not 60 s later by the
// keep-alive, and the one repair attempt brings the session back when the
// server is there again.
TEST_F(WithQuarnd, AServerThatGoesAwayIsNoticedAtOnceAndTheSessionRepaired) {
    for (const bool noPing : {false, true}) {
        for (const bool serverBack : {true, false}) {
            SCOPED_TRACE(std::string(noPing ? "no ping" : "ping") +
                         (serverBack ? ", server back" : ", server gone"));
            setOptions(noPing ? opt::NoPing : 0);
            setFlag(flag::NoSound);
            setText(&ClientState::profileName, "gast2");
            setText(&ClientState::nick, "gast2");
            session().setPort(server.chatPort());
            ASSERT_TRUE(session().connect(session().host(), session().port()));
            session().restartKeepAlive();
            session().login("gast2", "");
            ASSERT_TRUE(runUntil([] { return hasFlag(flag::LoggedIn); }));
            session().joinRoom("Lobby");
            ASSERT_TRUE(
                runUntil([] { return hasFlag(flag::LoggedIn) && joinedRooms.size() == 1; }));
            ChatRoom* room = joinedRooms[0];
            kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t ms) {
                EXPECT_NE(ms, RepairDelay) << "slept through the repair delay";
            });
            ::kill(server.pid(), SIGKILL);
            ASSERT_TRUE(runUntil([] { return hasStatus("Verbindung getrennt."); }));
            // While the repair waits its half second, the server comes back
            // (on a new ephemeral port) or stays away.
            EXPECT_FALSE(hasFlag(flag::Connected));
            server.restart();
            session().setPort(serverBack ? server.chatPort() : 1);  // nothing listens on 1
            fakeNow += RepairDelay;
            session().repairStep();  // the main loop's next pass
            auto* view = gd::chatLogViewOf(test::roomWindow(room).view);
            ASSERT_NE(view, nullptr);
            const std::string shown = gd::fromQString(view->plainText(0, view->log().length()));
            EXPECT_NE(shown.find("[Benutzer gast2 vom Server getrennt]"), std::string::npos);
            EXPECT_EQ(joinedRooms, std::vector<ChatRoom*>{room});  // the room stays open
            if (serverBack) {
                // Logged in again and back in the room: its user list refills.
                ASSERT_TRUE(runUntil([&] {
                    return hasFlag(flag::LoggedIn) &&
                           gd::itemCount(test::roomWindow(room).userList) > 0;
                }));
                session().disconnect();
            } else {
                EXPECT_FALSE(hasFlag(flag::Connected));
                EXPECT_EQ(gd::menuItemText(mainwin::Window, 0), "Verbinden");
                // A connect by hand finds the room still open and joins it again.
                session().setPort(server.chatPort());
                ASSERT_TRUE(session().open());
                ASSERT_TRUE(runUntil([&] {
                    return hasFlag(flag::LoggedIn) &&
                           gd::itemCount(test::roomWindow(room).userList) > 0;
                }));
                session().disconnect();
            }
            gd::clearItems(mainwin::StatusList);
        }
    }
}
