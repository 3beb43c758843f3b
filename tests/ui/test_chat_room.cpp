// Room objects with their windows: the send path with the bytes on the
// wire, history, absence, user actions, menus, layout and leaving.
#include "ui/room_fixture.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSplitter>

#include "support/qt_wait.h"
#include "support/room_window.h"
#include "support/services.h"
#include "ui/chat_room_input.h"

using ::testing::ElementsAre;

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";

// The splitter between the chat and the lists: the outermost one around the
// view (a screen reader does not name it).
const QWidget* chatSplitter(int view) {
    const QWidget* found = nullptr;
    for (const QWidget* w = platform::controlWidget(view); w; w = w->parentWidget())
        if (qobject_cast<const QSplitter*>(w)) found = w;
    return found;
}

TEST_F(RoomTest, InputMarkersBecomeMarkupCodes) {
    EXPECT_EQ(convertInput("[bfett b] und [Ikursiv I]"),
              VT + "Bfett " + VT + "B und " + VT + "Ikursiv " + VT + "I");
    EXPECT_EQ(convertInput("[b]"), VT + VT + "B");
    EXPECT_EQ(convertInput("[C=FF0000rot"), VT + "cFF0000rot");
    EXPECT_EQ(convertInput("/ME winkt"), VT + "mewinkt");
    EXPECT_EQ(convertInput("/me"), "/me");
    EXPECT_EQ(convertInput("x /me y"), "x /me y");
}

TEST_F(RoomTest, SendingPutsTheColourCodeBeforeTheConvertedLine) {
    ChatRoom* room = newChatRoom("lobby");
    type(room, "[bhallo b]");
    EXPECT_EQ(sent(), "CHAT lobby " + VT + "C" + "FF0000" + VT + "Bhallo " + VT + "B\r");
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "");
    type(room, "/me winkt");
    EXPECT_EQ(sent(), "CHAT lobby " + VT + "CFF0000" + VT + "mewinkt\r");
}

TEST_F(RoomTest, CmdLinesGoOutRawAndConverted) {
    ChatRoom* room = newChatRoom("lobby");
    type(room, "/cmd ROOMLIST");
    EXPECT_EQ(sent(), "ROOMLIST\r");
    type(room, "/cmd MSG [bx");
    EXPECT_EQ(sent(), "MSG " + VT + "Bx\r");
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "");
}

TEST_F(RoomTest, EmptyLineSendsNothingButTakesAHistorySlot) {
    ChatRoom* room = newChatRoom("lobby");
    const int input = test::roomWindow(room).input;
    type(room, "eins");
    sent();
    type(room, "");
    EXPECT_EQ(sent(), "");
    // The empty line is the newest entry, and an empty entry ends the walk
    // up: "eins" is out of reach.
    menu(room, 112);
    EXPECT_EQ(platform::controlText(input), "");
}

TEST_F(RoomTest, HistoryKeepsTheLastTwentyLines) {
    ChatRoom* room = newChatRoom("lobby");
    const int input = test::roomWindow(room).input;
    // Walking up from an empty history stays on the empty slot.
    menu(room, 112);
    EXPECT_EQ(platform::controlText(input), "");

    for (int i = 1; i <= 21; ++i)
        type(room, "zeile " + std::to_string(i));
    sent();
    menu(room, 112);
    EXPECT_EQ(platform::controlText(input), "zeile 21");
    menu(room, 112);
    EXPECT_EQ(platform::controlText(input), "zeile 20");
    menu(room, 113);
    EXPECT_EQ(platform::controlText(input), "zeile 21");
    for (int i = 0; i < 19; ++i)
        menu(room, 112);
    EXPECT_EQ(platform::controlText(input), "zeile 2");
    menu(room, 112);  // wraps round to the newest again
    EXPECT_EQ(platform::controlText(input), "zeile 21");
}

TEST_F(RoomTest, DownOnAnEmptySlotEmptiesTheField) {
    ChatRoom* room = newChatRoom("lobby");
    type(room, "eins");
    platform::setControlText(test::roomWindow(room).input, "angefangen");
    menu(room, 113);
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "");
}

TEST_F(RoomTest, ShortcutsOfTheWindowGiveTheMenuIds) {
    ChatRoom* room = newChatRoom("lobby");
    const int window = test::roomWindow(room).window;
    std::vector<std::pair<QString, int>> found;
    kavel::test::discardEvents();
    for (QShortcut* s : platform::windowFrame(window)->findChildren<QShortcut*>()) {
        emit s->activated();
        const platform::Event e = platform::pollEvent();
        found.emplace_back(s->key().toString(), e.window == window ? e.id : -1);
    }
    EXPECT_THAT(found,
                ::testing::UnorderedElementsAre(
                    std::pair{QString("Return"), 111}, std::pair{QString("Enter"), 111},
                    std::pair{QString("Shift+Return"), 111}, std::pair{QString("Shift+Enter"), 111},
                    std::pair{QString("Up"), 112}, std::pair{QString("Down"), 113}));
}

std::vector<std::string> menuTexts(QMenu* m) {
    std::vector<std::string> out;
    for (QAction* a : m->actions()) {
        if (a->isSeparator()) continue;
        std::string t = utf8(platform::fromQString(a->text().remove('&')));
        if (a->menu()) {
            t += " {";
            for (const auto& s : menuTexts(a->menu()))
                t += s + ";";
            t += "}";
        }
        out.push_back(t);
    }
    return out;
}

std::vector<std::vector<std::string>> popupMenus(ChatRoom* room) {
    std::vector<std::vector<std::string>> out;
    for (QMenu* m : platform::windowFrame(test::roomWindow(room).window)
                        ->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        out.push_back(menuTexts(m));
    return out;
}

// Away, the room's menu offers only the way back.
bool absent(ChatRoom* room) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const auto& menu : popupMenus(room))
        for (const std::string& item : menu)
            if (item == "Abwesenheit {Zurück;}") return true;
    return false;
}

TEST_F(RoomTest, AbsenceSwitchesTheRoomMenuAndSendsTheName) {
    ChatRoom* room = newChatRoom("lobby");
    EXPECT_THAT(popupMenus(room),
                ElementsAre(ElementsAre("Log speichern {Nach TXT streamen;Nach RTF streamen;}",
                                        "Abwesenheit {nur kurz;zum Essen;Telefon;anderer Grund;}",
                                        "Temporären Code Uploaden"),
                            ElementsAre("Benutzerprofil", "Benutzer aufwecken",
                                        "Benutzer erschrecken", "Privatchat eröffnen")));
    menu(room, 5);
    EXPECT_EQ(sent(), "NAME [anna>Essen]\r");
    EXPECT_TRUE(absent(room));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Rebuilt under the same handle: still two menus, the new one last.
    const auto menus = popupMenus(room);
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[1][1], "Abwesenheit {Zurück;}");

    // The server confirms the name; going back sends the plain name.
    setText(&ClientState::nick, "[anna>Essen]");
    menu(room, 3);
    EXPECT_EQ(sent(), "NAME anna\r");
    EXPECT_EQ(text(clientState.nick), "anna");
    EXPECT_FALSE(absent(room));
}

TEST_F(RoomTest, TypedReasonIsTheFirstWordCutToTheNameLimit) {
    ChatRoom* room = newChatRoom("lobby");
    std::vector<platform::DialogRequest> asked;
    std::string answer = "Mittagessen mit Kollegen";
    kavel::test::setService(&kavel::platform::Services::dialogs,
                            [&](const platform::DialogRequest& r) {
                                asked.push_back(r);
                                platform::DialogAnswer a;
                                a.text = answer;
                                return a;
                            });
    setText(&ClientState::nick, "Anna");
    menu(room, 6);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, platform::DialogRequest::Input);
    EXPECT_EQ(asked[0].title, "Warum?");
    EXPECT_EQ(asked[0].text, "Warum bist du weg?");
    EXPECT_EQ(sent(), "NAME [Anna>Mittagessen]\r");

    setText(&ClientState::nick, "einziemlichlangername");  // 21 characters
    menu(room, 3);
    sent();
    menu(room, 6);
    EXPECT_EQ(sent(), "NAME [einziemlichlangername>M]\r");
    // An empty answer changes nothing.
    const bool before = absent(room);
    answer.clear();
    menu(room, 3);
    sent();
    menu(room, 6);
    EXPECT_EQ(sent(), "");
    EXPECT_NE(absent(room), before);
}

TEST_F(RoomTest, AbsenceRulesForOddNames) {
    EXPECT_EQ(absenceReason("abc", std::string(22, 'n')), "");
    EXPECT_EQ(absenceReason(" vorne", "x"), "");
    EXPECT_EQ(nameWithoutAbsence("[Anna>brb]"), "Anna");
    EXPECT_EQ(nameWithoutAbsence("Anna"), std::nullopt);
    EXPECT_EQ(nameWithoutAbsence("[Anna>brb"), std::nullopt);
    EXPECT_EQ(privateRoomName("Privatchat:$_$$", "bert", "anna"), "Privatchat:bert_anna");
}

TEST_F(RoomTest, UserActionsNameTheSelectedUser) {
    ChatRoom* room = newChatRoom("lobby");
    roomAddUser(room, "carl");
    roomAddUser(room, "bert");
    platform::setSelectedItem(test::roomWindow(room).userList, 1);
    menu(room, 8);
    EXPECT_EQ(sent(), "INFO bert\r");
    menu(room, 9);
    EXPECT_EQ(sent(), "DIRECT bert WAKEUP anna\r");
    menu(room, 10);
    EXPECT_EQ(sent(), "DIRECT bert SHOCK anna\r");
    menu(room, 11);
    EXPECT_EQ(sent(),
              "DIRECT bert PRIVATE Privatchat:bert_anna\rDIRECT anna PRIVATE "
              "Privatchat:bert_anna\r");
}

TEST_F(RoomTest, WindowLayoutFollowsItsSize) {
    ChatRoom* room = newChatRoom("lobby");
    const auto c = test::roomWindow(room);
    const QWidget* split = chatSplitter(c.view);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(platform::windowTitle(c.window), "lobby");
    EXPECT_EQ(split->width(), 580);
    EXPECT_EQ(split->height(), 260);
    EXPECT_EQ(platform::controlY(c.input), 275);
    EXPECT_EQ(platform::controlWidth(c.input), 480);
    EXPECT_EQ(platform::controlX(c.clearButton), 500);
    EXPECT_EQ(platform::controlWidth(c.clearButton), 90);

    platform::resizeWindow(c.window, 900, 500);
    roomHandleEvent(room, {platform::EventKind::Resized, c.window, 0});
    EXPECT_EQ(split->x(), 10);
    EXPECT_EQ(split->width(), 880);
    EXPECT_EQ(split->height(), 460);
    EXPECT_EQ(platform::controlX(c.input), 10);
    EXPECT_EQ(platform::controlY(c.input), 475);
    EXPECT_EQ(platform::controlWidth(c.input), 720);
    EXPECT_EQ(platform::controlX(c.clearButton), 740);
    EXPECT_EQ(platform::controlWidth(c.clearButton), 150);
}

TEST_F(RoomTest, ClearButtonEmptiesTheUrlListAndFocusIsTracked) {
    ChatRoom* room = newChatRoom("lobby");
    const auto c = test::roomWindow(room);
    roomPrint(room, "www.a.de und www.b.de");
    EXPECT_THAT(items(c.urlList), ElementsAre("www.a.de", "www.b.de"));
    EXPECT_TRUE(roomHandleEvent(
        room, {platform::EventKind::Control, c.window, c.clearButton, platform::EventType::Click}));
    EXPECT_EQ(platform::itemCount(c.urlList), 0);

    clientState.focusedInput = 0;
    roomHandleEvent(
        room, {platform::EventKind::Control, c.window, c.input, platform::EventType::FocusIn});
    EXPECT_EQ(uint32_t{clientState.focusedInput}, uint32_t(c.input));
    roomHandleEvent(
        room, {platform::EventKind::Control, c.window, c.input, platform::EventType::FocusOut});
    EXPECT_EQ(uint32_t{clientState.focusedInput}, 0u);
    // Events of other windows are not the room's.
    EXPECT_FALSE(roomHandleEvent(room, {platform::EventKind::Menu, mainwin::Window, 111}));
    EXPECT_EQ(sent(), "");
}

TEST_F(RoomTest, TitleSuffixGoesAfterTheName) {
    ChatRoom* room = newChatRoom("lobby");
    auto* o = reinterpret_cast<Object*>(room);
    // Found by its title, so before the title changes.
    const int window = test::roomWindow(room).window;
    callSlot<void, const std::string&>(o, room_slot::SetTitleSuffix, std::string("abwesend"));
    EXPECT_EQ(platform::windowTitle(window), "lobby > abwesend");
    EXPECT_EQ(callSlot<std::string>(o, room_slot::GetTitleSuffix), "abwesend");
    EXPECT_EQ(getClassName(o), "ChatRoom");
    EXPECT_EQ(methodCount(o), 19);
    roomSetMenuId(room, 42);
    EXPECT_EQ(roomGetMenuId(room), 42);
}

TEST_F(RoomTest, LeavingRemovesExactlyTheOwnEntry) {
    ChatRoom* a = newChatRoom("a");
    ChatRoom* b = newChatRoom("b");
    ChatRoom* c = newChatRoom("c");
    EXPECT_THAT(joinedRooms, ElementsAre(a, b, c));
    const int windowB = test::roomWindow(b).window;
    roomDestroy(b);
    EXPECT_THAT(joinedRooms, ElementsAre(a, c));
    EXPECT_FALSE(platform::windowExists(windowB));
    EXPECT_EQ(sent(), "LEAVE b\rROOMLIST\r");
    // The close box leaves too.
    roomHandleEvent(a, {platform::EventKind::CloseRequest, test::roomWindow(a).window, 0});
    EXPECT_THAT(joinedRooms, ElementsAre(c));
    EXPECT_EQ(sent(), "LEAVE a\rROOMLIST\r");
    EXPECT_THAT(statusLines(), ElementsAre("Raum b verlassen.", "Raum a verlassen."));
}

TEST_F(RoomTest, SeparateAndOnTopOptionsShapeTheWindow) {
    setOptions(opt::ColourFirst | opt::Separate | opt::OnTop);
    ChatRoom* room = newChatRoom("frei");
    QWidget* frame = platform::windowFrame(test::roomWindow(room).window);
    EXPECT_EQ(frame->parentWidget(), nullptr);
    EXPECT_TRUE(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(frame->isVisible());
    setOptions(opt::ColourFirst);
    ChatRoom* owned = newChatRoom("owned");
    QWidget* ownedFrame = platform::windowFrame(test::roomWindow(owned).window);
    EXPECT_EQ(ownedFrame->parentWidget(), platform::windowFrame(mainwin::Window));
    EXPECT_FALSE(ownedFrame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(RoomTest, ClearingTheUserListPlaysItsSoundOnlyWithTheOption) {
    ChatRoom* room = newChatRoom("lobby");
    clearFlag(flag::NoSound);  // no sounds loaded: a request shows up as a status line
    roomAddUser(room, "x");
    roomClearUsers(room);
    EXPECT_EQ(platform::itemCount(test::roomWindow(room).userList), 0);
    EXPECT_TRUE(statusLines().empty());
    setOptions(opt::ColourFirst | opt::Sound);
    roomClearUsers(room);
    EXPECT_THAT(statusLines(), ElementsAre("Sound ist nicht bereit."));
}

}  // namespace
}  // namespace kavel::testing
