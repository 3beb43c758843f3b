// The code paster of a room: its window, the form it posts, the link it
// announces, against a scripted paste peer and against quarnd's service.
#include <thread>

#include "net/NET_Methods_Http.h"
#include "support/quarnd_process.h"
#include "ui/CLASS_ChatRoom_Paster.h"
#include "ui/paster_window.h"
#include "ui/room_fixture.h"

using ::testing::ElementsAre;

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";

TEST(PasteForm, EncodesLettersDigitsBlanksAndLineEnds) {
    EXPECT_EQ(formEncode("Hallo Welt & Co."), "Hallo+Welt+%26+Co%2E");
    EXPECT_EQ(formEncode("\xE4\xF6\xFC"), "%E4%F6%FC");
    EXPECT_EQ(formEncode("a\r\nb"), "a\r\nb");
    EXPECT_EQ(formEncode("x=1&y=%;+_-~"), "x%3D1%26y%3D%25%3B%2B%5F%2D%7E");
    EXPECT_EQ(pasteBody("T", "86400", "c d"),
              "titel=T&dauer=86400&site=script_paste_tempcode&code=c+d");
}

TEST(PasteForm, DurationsAndTheirSeconds) {
    loadUiTexts();
    const char* entries[] = {"2 Minuten", "10 Minuten", "30 Minuten",
                             "1 Stunde",  "12 Stunden", "24 Stunden"};
    const char* seconds[] = {"120", "600", "1800", "3600", "43200", "86400"};
    for (int i = 0; i < kPasteDurationCount; ++i) {
        EXPECT_EQ(pasteDurationEntry(i), entries[i]);
        EXPECT_EQ(pasteDurationSeconds(i), seconds[i]);
    }
    EXPECT_EQ(pasteDurationSeconds(-1), std::nullopt);
    EXPECT_EQ(pasteDurationSeconds(6), std::nullopt);
}

TEST(PasteLink, FirstQueryParameterIsDropped) {
    EXPECT_EQ(withoutFirstParameter("main.php?sid=42&code=17"), "main.php?code=17");
    EXPECT_EQ(withoutFirstParameter("http://h:8080/main.php?sid=1&code=2&x=3"),
              "http://h:8080/main.php?code=2&x=3");
    // Nothing to drop: posted as it is.
    EXPECT_EQ(withoutFirstParameter("main.php?code=17"), "main.php?code=17");
    EXPECT_EQ(withoutFirstParameter("main.php"), "main.php");
    EXPECT_EQ(withoutFirstParameter("a&b?c"), "a&b?c");
    EXPECT_EQ(withoutFirstParameter(""), "");
}

class PasterTest : public RoomTest {
  protected:
    void TearDown() override {
        if (pastePeer.joinable()) pastePeer.join();
        RoomTest::TearDown();
    }
    ChatRoom* roomWithPaster() {
        ChatRoom* room = newChatRoom("lobby");
        menu(room, 2);
        return room;
    }
    void fill(ChatRoom* room, const std::string& name, int duration, const std::string& code) {
        const test::PasterWindow p = test::pasterWindow(room);
        platform::setControlText(p.name, name);
        platform::setSelectedItem(p.duration, duration);
        platform::setControlText(p.code, code);
    }
    bool click(ChatRoom* room, int control) {
        return roomHandleEvent(room, {platform::EventKind::Control, test::pasterWindow(room).window,
                                      control, platform::EventType::Click});
    }
    // A paste service that records the request and answers with reply.
    void scriptedPaste(const std::string& reply) {
        session().setPasteServer("127.0.0.1:" + std::to_string(paste.port()));
        pastePeer = std::thread([this, reply] {
            if (!paste.accept(5000)) return;
            paste.readUntil("\r\n\r\n", 5000);
            paste.readUntil("\r\n", 5000);  // the line end after the body
            request = paste.received();
            paste.send(reply);
            paste.closeClient();
        });
    }

    kavel_test::ScriptServer paste;
    std::thread pastePeer;
    std::string request;
};

TEST_F(PasterTest, OneWindowPerRoomWithItsControls) {
    ChatRoom* room = roomWithPaster();
    const test::PasterWindow p = test::pasterWindow(room);
    ASSERT_TRUE(platform::windowExists(p.window));
    menu(room, 2);  // a second time opens no second window
    EXPECT_EQ(test::pasterWindow(room).window, p.window);
    EXPECT_EQ(test::pasterWindow(room).name, p.name);

    EXPECT_EQ(platform::windowTitle(p.window), "Code Paster - Pelmar powered");
    EXPECT_EQ(platform::windowWidth(p.window), 489);
    EXPECT_EQ(platform::windowHeight(p.window), 359);
    struct Place {
        int id, x, y, w;
    };
    for (const Place& c :
         {Place{p.name, 30, 30, 190}, Place{p.duration, 260, 30, 190}, Place{p.code, 20, 90, 450},
          Place{p.submit, 90, 330, 100}, Place{p.cancel, 300, 330, 100}}) {
        EXPECT_EQ(platform::controlX(c.id), c.x);
        EXPECT_EQ(platform::controlY(c.id), c.y);
        EXPECT_EQ(platform::controlWidth(c.id), c.w);
    }
    EXPECT_EQ(platform::controlText(p.submit), "Eintragen!");
    EXPECT_EQ(platform::controlText(p.cancel), "Abbrechen");
    EXPECT_EQ(platform::itemCount(p.duration), 6);
    EXPECT_EQ(platform::itemText(p.duration, 3), "1 Stunde");
    EXPECT_EQ(platform::selectedItem(p.duration), -1);
    EXPECT_EQ(platform::accessibleName(p.name), "Name des Codes");
    EXPECT_EQ(platform::accessibleName(p.duration), "Dauer der Eintragung");
    EXPECT_EQ(platform::accessibleName(p.code), "Code");

    // Another room's paster is a window of its own.
    ChatRoom* other = newChatRoom("keller");
    menu(other, 2);
    const test::PasterWindow q = test::pasterWindow(other);
    ASSERT_TRUE(platform::windowExists(q.window));
    EXPECT_NE(q.window, p.window);
    EXPECT_NE(q.submit, p.submit);
    EXPECT_EQ(test::pasterWindow(room).submit, p.submit);
}

TEST_F(PasterTest, CancelAndCloseBoxCloseWithoutSending) {
    ChatRoom* room = roomWithPaster();
    fill(room, "x", 0, "y");
    EXPECT_TRUE(click(room, test::pasterWindow(room).cancel));
    EXPECT_EQ(test::pasterWindow(room).window, -1);

    menu(room, 2);
    const int w = test::pasterWindow(room).window;
    ASSERT_TRUE(platform::windowExists(w));
    EXPECT_TRUE(roomHandleEvent(room, {platform::EventKind::CloseRequest, w, 0}));
    EXPECT_FALSE(platform::windowExists(w));
    EXPECT_EQ(test::pasterWindow(room).window, -1);
    EXPECT_EQ(sent(), "");
    menu(room, 2);  // and it opens again
    EXPECT_TRUE(platform::windowExists(test::pasterWindow(room).window));
}

TEST_F(PasterTest, AnEmptyFieldLeavesTheWindowOpen) {
    ChatRoom* room = roomWithPaster();
    // The service would answer, but must not be asked.
    session().setPasteServer("127.0.0.1:" + std::to_string(paste.port()));
    for (auto [name, duration, code] :
         {std::tuple{"", 1, "c"}, std::tuple{"n", -1, "c"}, std::tuple{"n", 1, ""}}) {
        fill(room, name, duration, code);
        click(room, test::pasterWindow(room).submit);
        EXPECT_TRUE(platform::windowExists(test::pasterWindow(room).window));
    }
    EXPECT_FALSE(paste.accept(50));
    EXPECT_EQ(sent(), "");
    EXPECT_THAT(statusLines(), ElementsAre());
}

TEST_F(PasterTest, PostsTheFormAndAnnouncesTheShortenedLink) {
    ChatRoom* room = roomWithPaster();
    scriptedPaste("HTTP/1.1 302 Found\r\nLocation: main.php?sid=1&c=5\r\n\r\n");
    fill(room, "Hallo Welt & Co.", 5, "a\nb");
    click(room, test::pasterWindow(room).submit);
    pastePeer.join();
    const std::string body =
        "titel=Hallo+Welt+%26+Co%2E&dauer=86400&site=script_paste_tempcode&code=a\r\nb";
    EXPECT_NE(request.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                           body + "\r\n"),
              std::string::npos)
        << request;
    EXPECT_EQ(sent(), "CHAT lobby " + VT + "CFF0000Code Hallo Welt & Co. -> main.php?c=5\r");
    EXPECT_EQ(test::pasterWindow(room).window, -1);
}

TEST_F(PasterTest, AFailedPostAnnouncesNothingAndKeepsTheCode) {
    ChatRoom* room = roomWithPaster();
    scriptedPaste("HTTP/1.1 500 Internal Server Error\r\n\r\n");
    fill(room, "Test", 0, "code");
    click(room, test::pasterWindow(room).submit);
    pastePeer.join();
    EXPECT_EQ(sent(), "");
    EXPECT_TRUE(platform::windowExists(test::pasterWindow(room).window));
    EXPECT_EQ(platform::controlText(test::pasterWindow(room).code), "code");
    EXPECT_THAT(statusLines(), ElementsAre("Fehler: Code konnte nicht hochgeladen werden - kein "
                                           "Link vom Paste-Server 127.0.0.1:" +
                                           std::to_string(paste.port()) + " erhalten."));
}

// --- against quarnd's paste service -----------------------------------------

std::string htmlUnescape(std::string s) {
    const std::pair<std::string, std::string> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
            s.replace(at, from.size(), to);
    return s;
}

TEST_F(PasterTest, QuarndStoresThePasteUnderTheAnnouncedLink) {
    quarnd_test::QuarndProcess quarnd;
    session().setPasteServer("127.0.0.1:" + std::to_string(quarnd.pastePort()));
    ChatRoom* room = roomWithPaster();
    const std::string code = "int main() {\r\n    return 0; // <&> \"sch\xF6n\"\r\n}";
    fill(room, "Test", 1, code);
    click(room, test::pasterWindow(room).submit);
    const std::string line = sent();
    const std::string prefix = "CHAT lobby " + VT + "CFF0000Code Test -> http://127.0.0.1:" +
                               std::to_string(quarnd.pastePort()) + "/main.php?code=";
    ASSERT_EQ(line.substr(0, prefix.size()), prefix) << utf8(line);
    ASSERT_EQ(line.back(), '\r');
    const std::string link =
        line.substr(line.find(" -> ") + 4, line.size() - 1 - (line.find(" -> ") + 4));
    EXPECT_EQ(link.find("sid="), std::string::npos);

    const std::string page =
        quarnd_test::httpRequest(quarnd.pastePort(), "GET " + link.substr(link.find("/main.php")) +
                                                         " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_EQ(page.rfind("HTTP/1.1 200", 0), 0u) << page;
    const std::string open = "<code id=\"code\">";
    const auto from = page.find(open);
    const auto end = page.find("</code>");
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(htmlUnescape(page.substr(from + open.size(), end - from - open.size())), code);
    EXPECT_NE(page.find("<h1>Test</h1>"), std::string::npos);
}

}  // namespace
}  // namespace kavel::testing
