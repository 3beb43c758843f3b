#pragma once
// Real rooms with real windows (offscreen), connected to a scripted peer
// that sees the exact bytes the client sends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>
#include <QTextImageFormat>
#include <string>
#include <vector>

#include "common/LEXER.h"
#include "common/data.h"
#include "core/OS_Dependant.h"
#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Decode.h"
#include "support/latin1.h"
#include "support/room_window.h"
#include "support/script_server.h"
#include "support/services.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {

class RoomTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitLexTable();
        platform::initNetwork();
        openMainWindow();
        platform::clearItems(mainwin::StatusList);
        setText(&ClientState::profileName, "anna");
        setText(&ClientState::nick, "anna");
        clientState.textColour = 0x0000FF;  // red
        clientState.urlColour = 0x00AA00;
        clientState.backgroundColour = 0xFFFFFF;
        setOptions(opt::ColourFirst | opt::MarkUrls);
        setFlag(flag::NoSound);
        ASSERT_TRUE(session().connect("127.0.0.1", server.port()));
        ASSERT_TRUE(server.accept());
        server.read(20);
        server.clearReceived();
        platform::clearItems(mainwin::StatusList);
    }
    void TearDown() override {
        session().disconnect();
        for (ChatRoom* r : std::vector<ChatRoom*>(joinedRooms))
            roomDestroy(r);
        platform::closeWindow(mainwin::Window);
    }

    // What reached the peer since the last call.
    std::string sent() {
        std::string s = server.read(30);
        server.clearReceived();
        return s;
    }

    std::vector<std::string> statusLines() {
        std::vector<std::string> out;
        for (int i = 0; i < platform::itemCount(mainwin::StatusList); ++i) {
            std::string line = platform::itemText(mainwin::StatusList, i);
            out.push_back(utf8(line.substr(line.find("] ") + 2)));
        }
        return out;
    }

    static platform::ChatLogView* viewOf(ChatRoom* room) {
        return platform::chatLogViewOf(test::roomWindow(room).view);
    }
    static std::string viewText(ChatRoom* room) {
        return platform::fromQString(viewOf(room)->plainText(0, viewOf(room)->log().length()));
    }
    static std::vector<std::string> items(int list) {
        std::vector<std::string> out;
        for (int i = 0; i < platform::itemCount(list); ++i)
            out.push_back(platform::itemText(list, i));
        return out;
    }
    // The character format of the character at position (of the plain text).
    static QTextCharFormat formatAt(ChatRoom* room, int position) {
        return viewOf(room)->formatAt(position);
    }
    static QColor qcolour(int32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, c >> 16); }

    void menu(ChatRoom* room, int id) {
        roomHandleEvent(room, {platform::EventKind::Menu, test::roomWindow(room).window, id});
    }
    void type(ChatRoom* room, const std::string& line) {
        platform::setControlText(test::roomWindow(room).input, line);
        menu(room, 111);
    }

    kavel_test::ScriptServer server;
};

}  // namespace kavel::testing
