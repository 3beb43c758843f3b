// The client with Tauschwerk switched on against a real quarnd: the user
// makes the rule hallo -> Hi in the editor from the Tools menu, sends a
// line, and another session in the room receives the rewritten line with
// the colour code; at the end the settings and macro.dat are written.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <functional>
#include <thread>

#include "common/LEXER.h"
#include "common/data.h"
#include "core/KAVEL.h"
#include "core/prefs.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "objects/CLASS_Agents.h"
#include "support/live_client.h"
#include "support/plugin_folder.h"
#include "support/qt_wait.h"
#include "support/room_window.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/CLASS_ChatRoom_ids.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";

bool loopUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!mainLoopPass()) return false;
    }
    return true;
}

QWidget* editorWindow() {
    return test::visibleWindow("KAVEL > Makro Editor");
}

TEST(TauschwerkEndToEnd, ARuleMadeInTheEditorRewritesWhatTheRoomReceives) {
    quarnd_test::QuarndProcess server;
    test::PluginFolder dir;
    dir.add(TAUSCHWERK_SO, "Tauschwerk.so");
    dir.write("prefs.ini", "[General]\r\nprofile = anna\r\nactivePlugins = Tauschwerk.so\r\n");

    loadUiTexts();
    InitLexTable();
    platform::initNetwork();
    loadSettings();
    ASSERT_EQ(AgentList.size(), 1u);
    openMainWindow();
    setText(&ClientState::nick, "anna");
    clientState.textColour = 0x0000FF;  // red
    clientState.backgroundColour = 0xFFFFFF;
    setFlag(flag::NoSound);

    // Tools > Tauschwerk.so opens the editor; the user adds hallo -> Hi.
    const int entry = mainMenuNumbers().firstAgent;
    ASSERT_EQ(platform::menuItemText(mainwin::Window, entry), "Tauschwerk.so");
    platform::postEvent({platform::EventKind::Menu, mainwin::Window, entry});
    QWidget* editor = nullptr;
    ASSERT_TRUE(loopUntil([&] { return (editor = editorWindow()) != nullptr; }));
    test::named<QLineEdit>(editor, "Wort")->setText("hallo");
    test::named<QLineEdit>(editor, "Ersetzung")->setText("Hi");
    test::named<QPushButton>(editor, QString::fromLatin1("Regel hinzuf\xFCgen"))->click();
    test::named<QPushButton>(editor, "Speichern und Ende")->click();
    ASSERT_TRUE(loopUntil([] { return runningSetups() == 0 && !editorWindow(); }));

    ASSERT_TRUE(session().connect("127.0.0.1", server.chatPort()));
    session().login("anna", "");
    ASSERT_TRUE(loopUntil([] { return hasFlag(flag::LoggedIn); }));
    session().joinRoom("lobby");
    ASSERT_TRUE(loopUntil([] { return test::joinedRoom("lobby") != nullptr; }));
    ChatRoom* room = test::joinedRoom("lobby");

    quarnd_test::RawQuarnClient bert(server.chatPort());
    test::joinAsGuest(bert, "bert", "lobby");

    platform::setControlText(test::roomWindow(room).input, "hallo welt");
    platform::postEvent({platform::EventKind::Menu, test::roomWindow(room).window, roomid::Send});
    std::string line;
    ASSERT_TRUE(loopUntil([&] {
        if (auto t = bert.receive(10))
            for (const auto& m : *t)
                if (m.rfind("CHAT lobby", 0) == 0 && m.find("welt") != std::string::npos) line = m;
        return !line.empty();
    }));
    EXPECT_NE(line.find("Hi" + VT + "cFF0000 welt"), std::string::npos) << line;
    EXPECT_EQ(line.find("hallo"), std::string::npos) << line;

    // The orderly end saves the settings, then frees the plug-in, which
    // writes its rules.
    shutDown();
    EXPECT_TRUE(AgentList.empty());
    EXPECT_EQ(dir.read("plugins/macro.dat"), "hallo" + VT + "Hi");
    EXPECT_EQ(dir.read("prefs.ini"),
              "[General]\r\nprofile = anna\r\nactivePlugins = Tauschwerk.so\r\n");

    platform::closeWindow(mainwin::Window);
}

}  // namespace
}  // namespace kavel::testing
