// A newcomer against a real quarnd, through the windows: the first start in
// an empty folder, a profile made in the profile window, the question to
// connect answered Yes, a guest login; then registration, a restart of the
// server and of the client, the login as a registered user, and a changed
// colour that reaches the server.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "common/data.h"
#include "common/reset.h"
#include "core/KAVEL.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "net/NET_Methods.h"
#include "support/main_loop.h"
#include "support/qt_wait.h"
#include "support/quarnd_process.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "system/clock.h"
#include "ui/windows/main_window.h"
#include "ui/windows/profile_window.h"

namespace kavel::test {
namespace {

namespace gd = kavel::platform;
using namespace profwin;

class Newcomer : public ::testing::Test {
  protected:
    void SetUp() override {
        kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t) {});
        kavel::test::setService(&kavel::platform::Services::dialogs,
                                [this](const gd::DialogRequest& r) {
                                    asked.push_back(r);
                                    gd::DialogAnswer a;
                                    a.yes = true;  // "Frage": yes, connect me
                                    a.colour = colour;
                                    return a;
                                });
    }
    void TearDown() override {}

    void click(int id) {
        qobject_cast<QAbstractButton*>(gd::controlWidget(id))->click();
        mainLoopPass();
    }
    void type(int id, const char* value) {
        qobject_cast<QLineEdit*>(gd::controlWidget(id))->setText(QString::fromLatin1(value));
    }
    bool logged(const std::string& line) const {
        for (int i = 0; i < gd::itemCount(mainwin::StatusList); ++i) {
            const std::string entry = gd::itemText(mainwin::StatusList, i);
            if (entry.substr(entry.find("] ") + 2) == line + ".") return true;
        }
        return false;
    }
    void useServer(const quarnd_test::QuarndProcess& server) {
        session().setHost("127.0.0.1");
        session().setPort(server.chatPort());
    }
    // The server's own view of a user, asked by another client.
    std::vector<std::string> infoOf(const quarnd_test::QuarndProcess& server,
                                    const std::string& user) {
        quarnd_test::RawQuarnClient watcher(server.chatPort());
        watcher.command("LOGIN zaungast  [CLIENT:raw]");
        return watcher.command("INFO " + user);
    }
    static bool has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    WorkFolder folder;
    std::vector<gd::DialogRequest> asked;
    int32_t colour = -1;
};

TEST_F(Newcomer, FromAnEmptyFolderToARegisteredUser) {
    quarnd_test::QuarndProcess server;

    // First start: nothing there, so the profile window that must be filled.
    startUp();
    useServer(server);
    ASSERT_TRUE(gd::windowExists(Window));
    EXPECT_TRUE(gd::controlDisabled(Cancel));
    EXPECT_TRUE(kavel::test::menuItemDisabled(mainwin::Window, mainwin::item::Connect));

    type(UserName, "neuling");
    click(SaveProfile);
    EXPECT_TRUE(logged("Profil neuling angelegt"));
    EXPECT_TRUE(std::filesystem::exists("profile/neuling.prof"));
    click(Accept);
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_FALSE(kavel::test::menuItemDisabled(mainwin::Window, mainwin::item::Connect));

    // Offline with a profile to upload: the question, answered Yes.
    ASSERT_TRUE(loopUntil([] { return hasFlag(flag::LoggedIn); }));
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0].title, "Frage");
    EXPECT_TRUE(hasFlag(flag::Guest));
    EXPECT_TRUE(logged("Herzlich Willkommen neuling"));
    ASSERT_TRUE(loopUntil([] { return !hasFlag(flag::ProfileUploadPending); }));
    EXPECT_FALSE(logged("Benutzerprofil neuling erfolgreich upgedated"));  // a guest has none

    // Registration with a password, confirmed by the server.
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Profile});
    mainLoopPass();
    ASSERT_TRUE(gd::windowExists(Window));
    type(Password, "geheim");
    click(Register);
    ASSERT_TRUE(loopUntil(
        [this] { return logged("Benutzer neuling neu registriert - Willkommen im QUARN"); }));
    EXPECT_FALSE(hasFlag(flag::Guest));
    std::vector<std::string> info;
    ASSERT_TRUE(loopUntil([&] {
        info = infoOf(server, "neuling");
        return has(info, "USER_RANK 1");
    }));
    click(SaveProfile);  // keep the password for the next start
    click(Accept);

    // The server restarts; the client ends and starts again in its folder.
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Quit});
    EXPECT_FALSE(mainLoopPass());
    shutDown();
    server.restart();
    resetAll();  // what a new process would start with
    kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t) {});
    kavel::test::setService(&kavel::platform::Services::dialogs,
                            [this](const gd::DialogRequest& r) {
                                asked.push_back(r);
                                gd::DialogAnswer a;
                                a.yes = true;
                                a.colour = colour;
                                return a;
                            });
    startUp();
    useServer(server);
    EXPECT_FALSE(gd::windowExists(Window));  // the profile was loaded
    EXPECT_EQ(text(clientState.password), "geheim");

    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Connect});
    ASSERT_TRUE(loopUntil([] { return hasFlag(flag::LoggedIn); }));
    EXPECT_FALSE(hasFlag(flag::Guest));  // "[3]-"
    EXPECT_TRUE(logged("Login erfolgreich - Herzlich Willkommen neuling"));

    // A new name colour goes to the server.
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Profile});
    mainLoopPass();
    colour = 0x00FF00;  // green
    click(NameColour);
    click(Apply);
    ASSERT_TRUE(
        loopUntil([this] { return logged("Benutzerprofil neuling erfolgreich upgedated"); }));
    ASSERT_TRUE(loopUntil([&] {
        info = infoOf(server, "neuling");
        return has(info, "USER_COLOR 00FF00");
    }));

    session().disconnect();
    shutDown();
}

}  // namespace
}  // namespace kavel::test
