// The code paster against a real quarnd, chat and paste service: the
// announcement comes back into the room and other members see it.
#include <gtest/gtest.h>

#include "common/LEXER.h"
#include "common/data.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Decode.h"
#include "net/NET_Methods_Http.h"
#include "support/live_client.h"
#include "support/room_window.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/paster_window.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {
namespace {

using test::pollUntil;
using test::roomText;

TEST(PasteEndToEnd, TheLinkIsAnnouncedInTheRoom) {
    quarnd_test::QuarndProcess server;
    loadUiTexts();
    InitLexTable();
    platform::initNetwork();
    openMainWindow();
    setText(&ClientState::profileName, "anna");
    setText(&ClientState::nick, "anna");
    clientState.textColour = 0x0000FF;
    clientState.backgroundColour = 0xFFFFFF;
    setOptions(opt::ColourFirst);
    setFlag(flag::NoSound);
    session().setPasteServer("127.0.0.1:" + std::to_string(server.pastePort()));

    ASSERT_TRUE(session().connect("127.0.0.1", server.chatPort()));
    session().login("anna", "");
    ASSERT_TRUE(pollUntil([] { return hasFlag(flag::LoggedIn); }));
    session().joinRoom("Lobby");
    ASSERT_TRUE(pollUntil([] { return !joinedRooms.empty(); }));
    ChatRoom* room = joinedRooms.front();
    quarnd_test::RawQuarnClient bert(server.chatPort());
    test::joinAsGuest(bert, "bert", "Lobby");

    const int window = test::roomWindow(room).window;
    roomHandleEvent(room, {platform::EventKind::Menu, window, 2});
    const test::PasterWindow p = test::pasterWindow(room);
    platform::setControlText(p.name, "Gru\xDF");
    platform::setSelectedItem(p.duration, 0);
    platform::setControlText(p.code, "echo hallo");
    roomHandleEvent(room,
                    {platform::EventKind::Control, p.window, p.submit, platform::EventType::Click});

    const std::string announced =
        "anna: Code Gru\xDF -> http://127.0.0.1:" + std::to_string(server.pastePort()) +
        "/main.php?code=";
    ASSERT_TRUE(pollUntil([&] { return roomText(room).find(announced) != std::string::npos; }))
        << roomText(room);
    EXPECT_TRUE(test::peerSees(bert, "Code Gru\xDF -> http://"));

    session().disconnect();
    platform::closeWindow(mainwin::Window);
}

}  // namespace
}  // namespace kavel::testing
