// The session end to end against a real quarnd on an ephemeral port, with
// the real dispatcher behind PollServer.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "core/data.h"
#include "net/NET_Methods.h"
#include "platform/clock.h"
#include "platform/gadgets.h"
#include "platform/socket.h"
#include "support/quarnd_process.h"
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
        resetSharedState();
        loadUiTexts();
        fakeNow = 5000;
        gd::setTickSource([] { return fakeNow; });
        gd::initNetwork();
        openMainWindow();
        setChatServerHost("127.0.0.1");
        setChatServerPort(server.chatPort());
    }
    void TearDown() override {
        Disconnect();
        gd::setTickSource(nullptr);
        gd::closeWindow(mainwin::Window);
        gd::clearEvents();
        setChatServerHost("");
        setChatServerPort(ServerPort);
    }

    // The session half of a main-loop pass, until pred holds or 5 s pass.
    bool runUntil(const std::function<bool()>& pred) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!pred() && std::chrono::steady_clock::now() < end) {
            if (!hasFlag(flag::Connected)) break;
            PollServer();
            if (hasFlag(flag::MenuDirty)) buildMainMenu();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return pred();
    }

    quarnd_test::QuarndProcess server;
};

TEST_F(WithQuarnd, GuestLogsInJoinsARoomAndAnswersKeepAlives) {
    setText(&ClientState::profileName, "gast1");
    setText(&ClientState::nick, "gast1");
    ASSERT_EQ(Connect(clientState, chatServerHost(), chatServerPort()), 1);
    restartKeepAlive();
    Login("gast1", "");
    ASSERT_TRUE(runUntil([] { return hasFlag(flag::LoggedIn); }));
    EXPECT_TRUE(hasFlag(flag::Guest));
    EXPECT_TRUE(hasStatus("Herzlich Willkommen gast1."));

    JoinRoom("Lobby");
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
    KeepAlive();
    ASSERT_TRUE(hasFlag(flag::PingOutstanding));
    ASSERT_TRUE(runUntil([] { return !hasFlag(flag::PingOutstanding); }));
    fakeNow += KeepAliveInterval + 1;
    KeepAlive();  // answered in time: a new probe, no reconnect
    EXPECT_TRUE(hasFlag(flag::Connected));
    EXPECT_FALSE(hasStatus("Ping Timeout - versuche mich neu zu verbinden."));

    Disconnect();
    EXPECT_TRUE(joinedRooms.empty());
    EXPECT_EQ(gd::menuItemText(mainwin::Window, 0), "Verbinden");
}

TEST_F(WithQuarnd, ANameInUseIsRefusedAndDisconnects) {
    quarnd_test::RawQuarnClient anna(server.chatPort());
    ASSERT_FALSE(anna.command("LOGIN anna  [CLIENT:KAVEL@Windows]").empty());
    ASSERT_EQ(Connect(clientState, chatServerHost(), chatServerPort()), 1);
    Login("anna", "");
    EXPECT_TRUE(runUntil([] { return !hasFlag(flag::Connected); }));
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
    EXPECT_TRUE(hasStatus("Login fehlgeschlagen - Der Name wird bereits verwendet."));
}

}  // namespace
