// The client core against a real quarnd: log in, join a room, read another
// user's marked-up line and see the own line come back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <chrono>
#include <functional>

#include "common/data.h"
#include "net/LEXER.h"
#include "net/NET_Dispatch.h"
#include "net/NET_Methods.h"
#include "platform/desktop.h"
#include "platform/encoding.h"
#include "platform/gadgets.h"
#include "platform/gadgets_qt.h"
#include "platform/socket.h"
#include "support/quarnd_process.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";

bool pollUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        PollServer();
        platform::pollEvent();
        usleep(2000);
    }
    return done();
}

ChatRoom* joined(const std::string& name) {
    for (ChatRoom* r : joinedRooms)
        if (roomGetName(r) == name) return r;
    return nullptr;
}

std::string viewText(ChatRoom* room) {
    auto* edit = qobject_cast<QTextEdit*>(platform::controlWidget(roomControls(room).view));
    return platform::fromQString(edit->toPlainText());
}

QTextCharFormat formatOf(ChatRoom* room, const std::string& needle) {
    auto* edit = qobject_cast<QTextEdit*>(platform::controlWidget(roomControls(room).view));
    const QString all = edit->toPlainText();
    const int at = all.lastIndexOf(platform::toQString(needle));
    QTextCursor c(edit->document());
    c.setPosition(at + 1);
    return c.charFormat();
}

TEST(ChatEndToEnd, MarkedUpLinesFromARealServer) {
    quarnd_test::QuarndProcess server;
    InitLexTable();
    platform::initNetwork();
    openMainWindow();
    setText(&ClientState::profileName, "anna");
    setText(&ClientState::nick, "anna");
    clientState.textColour = 0x0000FF;
    clientState.urlColour = 0xAA0000;  // blue
    clientState.backgroundColour = 0xFFFFFF;
    setOptions(opt::ColourFirst | opt::MarkUrls | opt::OnlyOwn | opt::Flash);
    setFlag(flag::NoSound);

    ASSERT_EQ(Connect(clientState, "127.0.0.1", server.chatPort()), 1);
    Login("anna", "");
    ASSERT_TRUE(pollUntil([] { return hasFlag(flag::LoggedIn); }));
    JoinRoom("lobby");
    ASSERT_TRUE(pollUntil([] { return joined("lobby") != nullptr; }));
    ChatRoom* room = joined("lobby");

    quarnd_test::RawQuarnClient bert(server.chatPort());
    bert.command("LOGIN bert  [CLIENT:raw]");
    bert.send("JOIN lobby");
    bert.drain(100);
    // The user looks at another window, so a notice has something to do.
    QApplication::setActiveWindow(platform::windowFrame(mainwin::Window));
    ASSERT_FALSE(platform::isForegroundWindow(roomControls(room).window));
    const int alerts = platform::alertsRequested();
    bert.send("CHAT lobby " + VT + "C00FF00gr\xFCn " + VT + "Bfett" + VT +
              "B http://example.org/x?y=1 hallo anna :)");
    ASSERT_TRUE(pollUntil([&] { return viewText(room).find("hallo") != std::string::npos; }))
        << viewText(room);

    const std::string text = viewText(room);
    EXPECT_NE(text.find("gr\xFCn fett http://example.org/x?y=1 hallo anna ?"), std::string::npos)
        << text;
    EXPECT_EQ(formatOf(room, "gr\xFCn").foreground().color(), QColor(0, 255, 0));
    EXPECT_EQ(formatOf(room, "fett").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(room, "fett").foreground().color(), QColor(0, 255, 0));
    EXPECT_EQ(formatOf(room, "example").foreground().color(), QColor(0, 0, 0xAA));
    EXPECT_EQ(formatOf(room, "example").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(room, "hallo").fontWeight(), QFont::Normal);
    EXPECT_EQ(formatOf(room, "anna").fontWeight(), QFont::Bold);
    auto* edit = qobject_cast<QTextEdit*>(platform::controlWidget(roomControls(room).view));
    QTextCursor smiley(edit->document());
    smiley.setPosition(static_cast<int>(text.rfind("anna ?")) + 6);
    EXPECT_TRUE(smiley.charFormat().isImageFormat());
    EXPECT_EQ(platform::itemText(roomControls(room).urlList, 0), "http://example.org/x?y=1");
    // Mentioned, not at the start: the only-own notice flashed the window.
    EXPECT_EQ(platform::alertsRequested(), alerts + 1);

    // The own line goes out converted and comes back rendered.
    platform::setControlText(roomControls(room).input, "[bselbst b]gesagt");
    roomHandleEvent(room, {platform::EventKind::Menu, roomControls(room).window, 111});
    ASSERT_TRUE(pollUntil([&] { return viewText(room).find("gesagt") != std::string::npos; }))
        << viewText(room);
    EXPECT_EQ(formatOf(room, "selbst").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(room, "selbst").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatOf(room, "gesagt").fontWeight(), QFont::Normal);
    auto fromServer = bert.drain(200);
    bool seen = false;
    for (const auto& t : fromServer)
        for (const auto& m : t)
            seen |= m.find("gesagt") != std::string::npos;
    EXPECT_TRUE(seen);

    Disconnect();
    platform::closeWindow(mainwin::Window);
    resetSharedState();
}

}  // namespace
}  // namespace kavel::testing
