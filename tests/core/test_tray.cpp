// The tray icon of the running program, through its start-up and main loop:
// the icon while a mention waits and after the room is read, the click that
// brings the room forward, the menu's entries and their commands, and the
// close box that hides the main window only when asked to and a tray exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/data.h"
#include "common/program_options.h"
#include "common/reset.h"
#include "core/KAVEL.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/tray.h"
#include "net/NET_Methods.h"
#include "support/main_loop.h"
#include "support/quarnd_process.h"
#include "support/room_window.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Tray.h"
#include "ui/profile.h"
#include "ui/windows/main_window.h"
#include "ui/windows/tray.h"

namespace kavel::test {
namespace {

namespace gd = kavel::platform;
using Entries = std::vector<gd::TrayEntry>;

class Tray : public ::testing::Test {
  protected:
    // A program started in a folder with anna's profile, on a desktop that
    // has a tray unless the test says otherwise.
    void start(bool trayExists = true) {
        setText(&ClientState::profileName, "anna");
        ASSERT_TRUE(saveProfile());
        resetAll();
        std::ofstream("prefs.ini", std::ios::binary) << "[General]\r\nprofile = anna\r\n";
        setService(&gd::Services::sleep, [](uint32_t) {});
        if (trayExists) setService(&gd::Services::trayAvailable, [] { return true; });
        startUp();
        passes();
    }
    // Runs the loop until the events queued so far are done; false when
    // the program ended.
    bool passes(int n = 20) {
        for (int i = 0; i < n; ++i)
            if (!mainLoopPass()) return false;
        return true;
    }
    // The user looks at the main window, so rooms are behind it.
    static void lookAtMainWindow() {
        QApplication::setActiveWindow(gd::windowFrame(mainwin::Window));
    }
    static void lookAt(ChatRoom* room) {
        QApplication::setActiveWindow(gd::windowFrame(roomWindow(room).window));
    }
    static QImage shownIcon() { return gd::trayIcon()->icon().pixmap(32, 32).toImage(); }
    static bool closeMainWindow() {
        gd::postEvent({gd::EventKind::CloseRequest, mainwin::Window});
        return mainLoopPass();
    }

    WorkFolder folder;
};

TEST_F(Tray, AMentionInARoomBehindChangesTheIconUntilTheRoomIsRead) {
    start();
    ASSERT_TRUE(gd::trayShown());
    const QImage plain = shownIcon();
    EXPECT_FALSE(plain.isNull());
    EXPECT_EQ(gd::trayLook().toolTip, "KAVEL");
    ChatRoom* lobby = newChatRoom("lobby");
    ChatRoom* bar = newChatRoom("bar");
    lookAtMainWindow();

    // Lines that are no mention by the display's rule leave it alone: the
    // name at the start of the message, or inside another word.
    roomPrint(lobby, "anna: hallo zusammen");
    roomPrint(lobby, "bert: hallo annabell");
    passes(1);
    EXPECT_FALSE(gd::trayLook().alert);

    roomPrint(lobby, "bert: hallo Anna!");
    passes(1);
    EXPECT_TRUE(gd::trayLook().alert);
    EXPECT_EQ(gd::trayLook().toolTip, "KAVEL - Erw\xE4hnung in lobby");
    EXPECT_NE(shownIcon(), plain);

    // Reading another room changes nothing; reading this one ends it.
    lookAt(bar);
    passes(1);
    EXPECT_TRUE(gd::trayLook().alert);
    lookAt(lobby);
    passes(1);
    EXPECT_FALSE(gd::trayLook().alert);
    EXPECT_EQ(shownIcon(), plain);
    EXPECT_EQ(gd::trayLook().toolTip, "KAVEL");

    // A mention in the room the user is looking at is read at once.
    roomPrint(lobby, "bert: anna, siehst du das?");
    roomPrint(lobby, "bert: und jetzt, anna?");
    passes(1);
    EXPECT_FALSE(gd::trayLook().alert);
}

TEST_F(Tray, AClickBringsTheRoomWithTheNewestMentionForward) {
    start();
    ChatRoom* older = newChatRoom("alt");
    ChatRoom* newer = newChatRoom("neu");
    ChatRoom* quiet = newChatRoom("ruhig");
    lookAtMainWindow();
    roomPrint(older, "bert: hallo anna");
    roomPrint(newer, "carl: anna, kommst du?");
    roomPrint(quiet, "dora: nichts");
    passes(1);
    EXPECT_EQ(newestMention(), roomWindow(newer).window);

    gd::clickTray();
    EXPECT_TRUE(loopUntil([&] { return gd::isForegroundWindow(roomWindow(newer).window); }));
    EXPECT_TRUE(gd::windowVisible(mainwin::Window));
    // The older mention still waits, and the next click brings its room.
    passes(1);
    EXPECT_TRUE(gd::trayLook().alert);
    EXPECT_EQ(gd::trayLook().toolTip, "KAVEL - Erw\xE4hnung in alt");
    gd::clickTray();
    EXPECT_TRUE(loopUntil([&] { return gd::isForegroundWindow(roomWindow(older).window); }));
    passes(1);
    EXPECT_FALSE(gd::trayLook().alert);

    // Nothing unread: the main window comes forward.
    gd::clickTray();
    EXPECT_TRUE(loopUntil([] { return gd::isForegroundWindow(mainwin::Window); }));
}

TEST_F(Tray, TheMenuConnectsDisconnectsAndEnds) {
    quarnd_test::QuarndProcess server;
    start();
    session().setHost("127.0.0.1");
    session().setPort(server.chatPort());
    EXPECT_EQ(gd::trayLook().menu,
              (Entries{{traywin::item::Connect, "Verbinden"}, {traywin::item::Quit, "Beenden"}}));
    EXPECT_EQ(gd::trayIcon()->contextMenu()->accessibleName(), "KAVEL");

    gd::chooseTrayEntry(traywin::item::Connect);
    ASSERT_TRUE(loopUntil([] { return hasFlag(flag::LoggedIn); }));
    passes(1);
    EXPECT_EQ(gd::trayLook().menu[0].text, "Trennen");
    EXPECT_EQ(gd::menuItemText(mainwin::Window, mainwin::item::Connect), "Trennen");

    gd::chooseTrayEntry(traywin::item::Connect);
    ASSERT_TRUE(loopUntil([] { return !hasFlag(flag::Connected); }));
    passes(1);
    EXPECT_EQ(gd::trayLook().menu[0].text, "Verbinden");

    // "Beenden" ends the program, also with the main window in the tray.
    programOptions().closeToTray = true;
    EXPECT_TRUE(closeMainWindow());
    gd::chooseTrayEntry(traywin::item::Quit);
    EXPECT_FALSE(passes());
    shutDown();
}

TEST_F(Tray, WithoutAProfileThereIsNothingToConnect) {
    setService(&gd::Services::sleep, [](uint32_t) {});
    setService(&gd::Services::trayAvailable, [] { return true; });
    startUp();  // no prefs.ini: the profile window that must be filled
    passes();
    ASSERT_EQ(gd::trayLook().menu.size(), 2u);
    EXPECT_TRUE(gd::trayLook().menu[0].disabled);
    gd::chooseTrayEntry(traywin::item::Connect);
    passes();
    EXPECT_FALSE(hasFlag(flag::Connected));
}

TEST_F(Tray, TheCloseBoxEndsTheProgramUnlessAskedToHideIt) {
    start();
    EXPECT_FALSE(programOptions().closeToTray);
    EXPECT_FALSE(closeMainWindow());

    start();
    programOptions().closeToTray = true;
    EXPECT_TRUE(closeMainWindow());
    EXPECT_FALSE(gd::windowVisible(mainwin::Window));
    gd::clickTray();
    EXPECT_TRUE(loopUntil([] { return gd::windowVisible(mainwin::Window); }));
    // "Beenden" of the main menu is no close box.
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::Quit});
    EXPECT_FALSE(passes());
}

TEST_F(Tray, NoTrayNoIconAndTheCloseBoxEnds) {
    start(false);
    EXPECT_FALSE(gd::trayAvailable());  // the offscreen desktop has none
    EXPECT_FALSE(gd::trayShown());
    programOptions().closeToTray = true;  // as read from a file written elsewhere
    EXPECT_FALSE(closesToTray());
    EXPECT_FALSE(closeMainWindow());
}

}  // namespace
}  // namespace kavel::test
