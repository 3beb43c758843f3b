// The newcomer of `make run` over TLS, through the windows and the program's
// own main loop: a client folder set up as the run script sets it up (TLS
// on, the paste service over HTTPS, the local certificate remembered by the
// script itself), a first profile, the question to connect answered Yes and
// no question about the certificate; then a chat line from another user.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "common/data.h"
#include "core/KAVEL.h"
#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Tls.h"
#include "server/server_clients.h"
#include "support/file_io.h"
#include "support/quarnd_process.h"
#include "support/room_window.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "system/tls.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/windows/main_window.h"
#include "ui/windows/profile_window.h"

namespace kavel::test {
namespace {

namespace gd = kavel::platform;

TEST(TlsNewcomer, ConnectsOverTlsWithoutACertificateQuestion) {
    WorkFolder folder;
    quarnd_test::QuarndProcess server;
    const std::string tlsPort = std::to_string(server.tlsPort());
    spit("prefs.ini",
         "[General]\r\nprofile = \r\nactivePlugins = \r\nserver = localhost:" + tlsPort +
             "\r\npasteServer = https://localhost:" + std::to_string(server.pasteTlsPort()) +
             "\r\ntls = 1\r\n");
    const std::string remember = std::string(KAVEL_TEST_DIR) +
                                 "/../scripts/remember-certificate '" + folder.path().string() +
                                 "' " + server.fingerprint() + " localhost " + tlsPort + " " +
                                 std::to_string(server.pasteTlsPort());
    ASSERT_EQ(std::system(remember.c_str()), 0);

    std::vector<gd::DialogRequest> asked;
    kavel::test::setService(&gd::Services::sleep, [](uint32_t) {});
    kavel::test::setService(&gd::Services::dialogs, [&](const gd::DialogRequest& r) {
        asked.push_back(r);
        gd::DialogAnswer a;
        a.yes = true;
        return a;
    });
    auto loopUntil = [](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < end) {
            EXPECT_TRUE(mainLoopPass());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    };

    startUp();
    EXPECT_TRUE(session().tls());
    EXPECT_EQ(session().port(), server.tlsPort());
    ASSERT_TRUE(gd::windowExists(profwin::Window));
    qobject_cast<QLineEdit*>(gd::controlWidget(profwin::UserName))->setText("neuling");
    qobject_cast<QAbstractButton*>(gd::controlWidget(profwin::SaveProfile))->click();
    mainLoopPass();
    qobject_cast<QAbstractButton*>(gd::controlWidget(profwin::Accept))->click();
    mainLoopPass();

    ASSERT_TRUE(loopUntil([] { return hasFlag(flag::LoggedIn); }));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Frage");  // to connect; nothing about the certificate
    EXPECT_TRUE(gd::isTls(clientState.connection));

    session().joinRoom("Lobby");
    ASSERT_TRUE(loopUntil([] { return joinedRooms.size() == 1; }));
    auto bob = quarnd_test::guest(server.chatPort(), "bob");
    bob->command("JOIN Lobby");
    bob->send("CHAT Lobby hallo neuling");
    // The line reaches the room through the program's main loop.
    ChatRoom* room = joinedRooms[0];
    ASSERT_TRUE(loopUntil([&] {
        auto* view = gd::chatLogViewOf(roomWindow(room).view);
        return view &&
               gd::fromQString(view->plainText(0, view->log().length())).find("hallo neuling") !=
                   std::string::npos;
    }));
    EXPECT_EQ(asked.size(), 1u);
    session().disconnect();
    shutDown();
}

}  // namespace
}  // namespace kavel::test
