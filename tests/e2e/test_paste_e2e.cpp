// The code paster against a real quarnd, chat and paste service: the
// announcement comes back into the room and other members see it.
#include <gtest/gtest.h>

#include <QTextEdit>
#include <chrono>
#include <functional>

#include "common/data.h"
#include "net/LEXER.h"
#include "net/NET_Dispatch.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Http.h"
#include "platform/encoding.h"
#include "platform/gadgets.h"
#include "platform/gadgets_qt.h"
#include "platform/socket.h"
#include "support/quarnd_process.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/CLASS_ChatRoom_Paster.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {
namespace {

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

std::string viewText(ChatRoom* room) {
    auto* edit = qobject_cast<QTextEdit*>(platform::controlWidget(roomControls(room).view));
    return platform::fromQString(edit->toPlainText());
}

TEST(PasteEndToEnd, TheLinkIsAnnouncedInTheRoom) {
    quarnd_test::QuarndProcess server;
    resetSharedState();
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
    setPasteServer("127.0.0.1:" + std::to_string(server.pastePort()));

    ASSERT_EQ(Connect(clientState, "127.0.0.1", server.chatPort()), 1);
    Login("anna", "");
    ASSERT_TRUE(pollUntil([] { return hasFlag(flag::LoggedIn); }));
    JoinRoom("Lobby");
    ASSERT_TRUE(pollUntil([] { return !joinedRooms.empty(); }));
    ChatRoom* room = joinedRooms.front();
    quarnd_test::RawQuarnClient bert(server.chatPort());
    bert.command("LOGIN bert  [CLIENT:raw]");
    bert.send("JOIN Lobby");
    bert.drain(100);

    const int window = roomControls(room).window;
    roomHandleEvent(room, {platform::EventKind::Menu, window, 2});
    const PasterControls p = pasterControls(room);
    platform::setControlText(p.name, "Gru\xDF");
    platform::setSelectedItem(p.duration, 0);
    platform::setControlText(p.code, "echo hallo");
    roomHandleEvent(room,
                    {platform::EventKind::Control, p.window, p.submit, platform::EventType::Click});

    const std::string announced =
        "anna: Code Gru\xDF -> http://127.0.0.1:" + std::to_string(server.pastePort()) +
        "/main.php?code=";
    ASSERT_TRUE(pollUntil([&] { return viewText(room).find(announced) != std::string::npos; }))
        << viewText(room);
    bool seen = false;
    for (const auto& t : bert.drain(200))
        for (const auto& m : t)
            seen |= m.find("Code Gru\xDF -> http://") != std::string::npos;
    EXPECT_TRUE(seen);

    Disconnect();
    setPasteServer("");
    platform::closeWindow(mainwin::Window);
    resetSharedState();
}

}  // namespace
}  // namespace kavel::testing
