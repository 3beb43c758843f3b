// The client core against a real quarnd: log in, join a room, read another
// user's marked-up line and see the own line come back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>

#include "common/LEXER.h"
#include "common/data.h"
#include "desktop/desktop.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Decode.h"
#include "support/live_client.h"
#include "support/room_window.h"
#include "support/services.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {
namespace {

using test::joinedRoom;
using test::pollUntil;
using test::roomText;

const std::string VT = "\x0b";

QTextCharFormat formatOf(ChatRoom* room, const std::string& needle) {
    const std::string all = test::roomText(room);
    return test::roomView(room)->formatAt(static_cast<int64_t>(all.rfind(needle)));
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

    ASSERT_TRUE(session().connect("127.0.0.1", server.chatPort()));
    session().login("anna", "");
    ASSERT_TRUE(pollUntil([] { return hasFlag(flag::LoggedIn); }));
    session().joinRoom("lobby");
    ASSERT_TRUE(pollUntil([] { return joinedRoom("lobby") != nullptr; }));
    ChatRoom* room = joinedRoom("lobby");

    quarnd_test::RawQuarnClient bert(server.chatPort());
    test::joinAsGuest(bert, "bert", "lobby");
    // The user looks at another window, so a notice has something to do.
    QApplication::setActiveWindow(platform::windowFrame(mainwin::Window));
    ASSERT_FALSE(platform::isForegroundWindow(test::roomWindow(room).window));
    static int alerts;  // outlives the test: the service stays until the next reset
    alerts = 0;
    kavel::test::setService(&platform::Services::attention, [](int) { ++alerts; });
    bert.send("CHAT lobby " + VT + "C00FF00gr\xFCn " + VT + "Bfett" + VT +
              "B http://example.org/x?y=1 hallo anna :)");
    ASSERT_TRUE(pollUntil([&] { return roomText(room).find("hallo") != std::string::npos; }))
        << roomText(room);

    const std::string text = roomText(room);
    EXPECT_NE(text.find("gr\xFCn fett http://example.org/x?y=1 hallo anna ?"), std::string::npos)
        << text;
    EXPECT_EQ(formatOf(room, "gr\xFCn").foreground().color(), QColor(0, 255, 0));
    EXPECT_EQ(formatOf(room, "fett").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(room, "fett").foreground().color(), QColor(0, 255, 0));
    EXPECT_EQ(formatOf(room, "example").foreground().color(), QColor(0, 0, 0xAA));
    EXPECT_EQ(formatOf(room, "example").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(room, "hallo").fontWeight(), QFont::Normal);
    EXPECT_EQ(formatOf(room, "anna").fontWeight(), QFont::Bold);
    EXPECT_TRUE(test::roomView(room)
                    ->formatAt(static_cast<int64_t>(text.rfind("anna ?")) + 5)
                    .isImageFormat());
    EXPECT_EQ(platform::itemText(test::roomWindow(room).urlList, 0), "http://example.org/x?y=1");
    // Mentioned, not at the start: the only-own notice flashed the window.
    EXPECT_EQ(alerts, 1);

    // The own line goes out converted and comes back rendered.
    platform::setControlText(test::roomWindow(room).input, "[bselbst b]gesagt");
    roomHandleEvent(room, {platform::EventKind::Menu, test::roomWindow(room).window, 111});
    ASSERT_TRUE(pollUntil([&] { return roomText(room).find("gesagt") != std::string::npos; }))
        << roomText(room);
    EXPECT_EQ(formatOf(room, "selbst").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(room, "selbst").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatOf(room, "gesagt").fontWeight(), QFont::Normal);
    EXPECT_TRUE(test::peerSees(bert, "gesagt"));

    session().disconnect();
    platform::closeWindow(mainwin::Window);
}

}  // namespace
}  // namespace kavel::testing
