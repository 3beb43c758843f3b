// Tab in a room's input line: the rules as tables, then the real line with
// real key presses (focus stays, the line changes as the user sees it).
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "support/qt_wait.h"
#include "support/room_window.h"
#include "ui/name_completion.h"
#include "ui/room_fixture.h"

using ::testing::ElementsAre;

namespace kavel::testing {
namespace {

const std::vector<std::string> kUsers = {"Anna", "anton", "Bernd", "[Bob>brb]", "andreas"};

struct Case {
    const char* line;
    std::size_t caret;
    const char* recent;  // the one recent speaker, "" for none
    std::optional<LineEdit> expected;
};

TEST(NameCompletion, FirstPressCompletesTheWordBeforeTheCaret) {
    const Case cases[] = {
        {"an", 2, "", LineEdit{"andreas: ", 9}},       // alphabetical, case ignored
        {"AN", 2, "", LineEdit{"andreas: ", 9}},       // the prefix's case too
        {"an", 2, "anton", LineEdit{"anton: ", 7}},    // who spoke last comes first
        {"an", 2, "Bernd", LineEdit{"andreas: ", 9}},  // a recent speaker not matching
        {"an", 2, "ann", LineEdit{"andreas: ", 9}},    // a speaker no longer in the room
        {"hallo an", 8, "", LineEdit{"hallo andreas", 13}},
        {"hallo an und", 8, "", LineEdit{"hallo andreas und", 13}},
        {"hallo BE", 8, "", LineEdit{"hallo Bernd", 11}},
        {"[b", 2, "", LineEdit{"[Bob>brb]: ", 11}},
        {"zz", 2, "", std::nullopt},
        {"", 0, "", std::nullopt},
        {"hallo ", 6, "", std::nullopt},  // nothing typed to complete
        {"annas", 5, "", std::nullopt},
    };
    for (const Case& c : cases) {
        NameCompleter completer;
        const std::vector<std::string> recent =
            *c.recent ? std::vector<std::string>{c.recent} : std::vector<std::string>{};
        EXPECT_EQ(completer.press({c.line, c.caret}, kUsers, recent, false), c.expected)
            << c.line << " recent " << c.recent;
    }
}

TEST(NameCompletion, TabWalksOnAndShiftTabWalksBack) {
    NameCompleter completer;
    const std::vector<std::string> recent = {"anton"};
    LineEdit line{"hi an", 5};
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        line = *completer.press(line, kUsers, recent, false);
        seen.push_back(line.text);
    }
    EXPECT_THAT(seen, ElementsAre("hi anton", "hi andreas", "hi Anna", "hi anton"));
    EXPECT_EQ(completer.press(line, kUsers, recent, true)->text, "hi Anna");
    // Shift+Tab on a fresh word starts at the end of the round.
    NameCompleter other;
    EXPECT_EQ(other.press({"an", 2}, kUsers, recent, true)->text, "Anna: ");
}

TEST(NameCompletion, ALineEditedSinceStartsANewRound) {
    NameCompleter completer;
    LineEdit line = *completer.press({"an", 2}, kUsers, {}, false);
    ASSERT_EQ(line.text, "andreas: ");
    line = *completer.press({"andreas: Be", 11}, kUsers, {}, false);
    EXPECT_EQ(line, (LineEdit{"andreas: Bernd", 14}));
}

TEST(NameCompletion, RecentSpeakersNewestFirstEachOnce) {
    RecentSpeakers recent;
    for (const char* name : {"a", "b", "c", "a"})
        recent.spoke(name);
    EXPECT_THAT(recent.names(), ElementsAre("a", "c", "b"));
    for (int i = 0; i < 200; ++i)
        recent.spoke("u" + std::to_string(i));
    EXPECT_LE(recent.names().size(), 64u);
    EXPECT_EQ(recent.names().front(), "u199");
}

TEST(NameCompletion, TheSpeakerOfAChatLine) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"anna: hallo", "anna"},
        {"[anna>brb]: bin weg", "[anna>brb]"},
        {"* anna winkt", "anna"},
        {"*** anna betritt den Raum", std::nullopt},
        {"[Benutzer x vom Server getrennt]", std::nullopt},
        {"hallo du: da", std::nullopt},
        {": leer", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, speaker] : cases)
        EXPECT_EQ(speakerOf(text), speaker) << text;
}

class RoomCompletionTest : public RoomTest {
  protected:
    ChatRoom* joined(const std::string& name) {
        ChatRoom* room = newChatRoom(name);
        for (const char* user : {"anna", "Bernd", "berta", "bjoern"})
            roomAddUser(room, user);
        return room;
    }
    static QLineEdit* line(ChatRoom* room) {
        return static_cast<QLineEdit*>(platform::controlWidget(test::roomWindow(room).input));
    }
    // A real key press on the focused line; the room then handles what the
    // window queued, as the main loop would.
    void press(ChatRoom* room, bool back) {
        QKeyEvent key(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab,
                      back ? Qt::ShiftModifier : Qt::NoModifier);
        QApplication::sendEvent(line(room), &key);
        for (platform::Event e = platform::pollEvent(); e.kind != platform::EventKind::None;
             e = platform::pollEvent())
            roomHandleEvent(room, e);
    }
    void typeText(ChatRoom* room, const std::string& text) {
        platform::setControlText(test::roomWindow(room).input, text);
        line(room)->setFocus();
        test::discardEvents();
    }
};

TEST_F(RoomCompletionTest, TabCompletesFromTheUserListRecentSpeakerFirst) {
    ChatRoom* room = joined("lobby");
    roomPrint(room, "berta: hallo");
    roomPrint(room, "* bjoern winkt");
    typeText(room, "b");
    std::vector<std::string> seen;
    for (int i = 0; i < 3; ++i) {
        press(room, false);
        seen.push_back(platform::controlText(test::roomWindow(room).input));
    }
    EXPECT_THAT(seen, ElementsAre("bjoern: ", "berta: ", "Bernd: "));
    EXPECT_EQ(platform::textCaret(test::roomWindow(room).input), 7);
    press(room, true);
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "berta: ");
    EXPECT_EQ(line(room)->window()->focusWidget(), line(room));
}

TEST_F(RoomCompletionTest, NoMatchLeavesLineAndFocus) {
    ChatRoom* room = joined("lobby");
    typeText(room, "hallo zz");
    press(room, false);
    press(room, true);
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "hallo zz");
    EXPECT_EQ(line(room)->window()->focusWidget(), line(room));
}

TEST_F(RoomCompletionTest, CtrlTabStillLeavesTheLine) {
    ChatRoom* room = joined("lobby");
    typeText(room, "b");
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Tab, Qt::ControlModifier);
    QApplication::sendEvent(line(room), &key);
    EXPECT_NE(line(room)->window()->focusWidget(), line(room));
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "b");
}

TEST_F(RoomCompletionTest, TheOwnNameIsNotOffered) {
    ChatRoom* room = joined("lobby");
    typeText(room, "an");
    press(room, false);
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "an");
}

TEST_F(RoomCompletionTest, APrivateChatCompletesInTheMiddleOfTheLine) {
    ChatRoom* room = joined("Privatchat:Bernd_anna");
    typeText(room, "na BER gut");
    platform::setTextCaret(test::roomWindow(room).input, 6);
    press(room, false);
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "na Bernd gut");
    EXPECT_EQ(platform::textCaret(test::roomWindow(room).input), 8);
}

}  // namespace
}  // namespace kavel::testing
