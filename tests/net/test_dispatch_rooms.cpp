// The dispatcher with its real partners: rooms with windows, the status
// list, the scripted dialog answerer, the user information window and the
// bytes that reach the server.
#include "ui/room_fixture.h"

#include "support/live_client.h"
#include "support/room_window.h"
#include "support/services.h"
#include "ui/GUI_UserInfo.h"

using ::testing::ElementsAre;

namespace kavel::testing {
namespace {

using test::joinedRoom;

class DispatchRoomsTest : public RoomTest {
  protected:
    void SetUp() override {
        RoomTest::SetUp();
        kavel::test::setService(&kavel::platform::Services::seconds, [this] { return now; });
        kavel::test::setService(&kavel::platform::Services::dialogs,
                                [this](const platform::DialogRequest& r) {
                                    questions.push_back(utf8(r.title) + "|" + utf8(r.text));
                                    platform::DialogAnswer a;
                                    a.yes = yes;
                                    return a;
                                });
    }
    // One read as poll takes it: the dispatch, then its questions.
    static void read(const std::vector<std::string>& messages) {
        session().dispatch(messages);
        session().askPending();
    }
    uint32_t now = 5000;
    bool yes = false;
    std::vector<std::string> questions;
};

TEST_F(DispatchRoomsTest, FirstMessageOpensTheRoomWindowAndRendersTheText) {
    session().dispatch({"CHAT newroom hello", "USERLIST newroom bert"});
    ChatRoom* room = joinedRoom("newroom");
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(viewText(room), "hello\n");
    EXPECT_THAT(items(test::roomWindow(room).userList), ElementsAre("bert"));
    EXPECT_THAT(statusLines(), ElementsAre("Raum newroom betreten."));
    EXPECT_EQ(uint32_t{clientState.focusedInput}, uint32_t(test::roomWindow(room).input));
    EXPECT_TRUE(platform::windowFrame(test::roomWindow(room).window)->isVisible());
}

TEST_F(DispatchRoomsTest, ShieldsUpSendLeaveInsteadOfOpening) {
    yes = true;
    for (int i = 0; i < 4; ++i) {
        now += 1;
        read({"DIRECT P", " flooder"});
    }
    ASSERT_TRUE(hasFlag(flag::ShieldsUp));
    platform::clearItems(mainwin::StatusList);
    read({"CHAT newroom hello"});
    EXPECT_EQ(sent(), "LEAVE newroom\r");
    EXPECT_TRUE(joinedRooms.empty());
    EXPECT_TRUE(statusLines().empty());
}

TEST_F(DispatchRoomsTest, FloodQuestionThroughTheDialogs) {
    for (int i = 0; i < 3; ++i) {
        now += 1;
        read({"DIRECT PRIVATE Privatchat:anna_bert", " bert"});
    }
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(sent(), std::string("JOIN Privatchat:anna_bert\r") + "JOIN Privatchat:anna_bert\r" +
                          "JOIN Privatchat:anna_bert\r");
    // No: the invitation is carried out.
    now += 1;
    read({"DIRECT PRIVATE Privatchat:anna_bert", " bert"});
    EXPECT_THAT(questions,
                ElementsAre("Info|Es sieht so aus, als würde gerade ein Floodangriff von bert "
                            "stattfinden.\rSollen die Schilde hochgefahren werden?"));
    EXPECT_EQ(sent(), "JOIN Privatchat:anna_bert\r");
    // Yes: shields up, nothing joined, the rest of the read dropped.
    yes = true;
    now += 1;
    read({"DIRECT PRIVATE Privatchat:anna_bert", " bert", "CHAT lobby hi"});
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(sent(), "");
    EXPECT_TRUE(joinedRooms.empty());
    EXPECT_THAT(statusLines(), ElementsAre("Wir werden angegriffen - Schilde sind oben."));
    now += 10;
    read({"SOMETHING"});
    EXPECT_FALSE(hasFlag(flag::ShieldsUp));
    EXPECT_EQ(statusLines().back(), "Angriff scheint beendet zu sein - Schilde gesenkt.");
}

TEST_F(DispatchRoomsTest, DirectIsCompletedByASenderLineInALaterRead) {
    session().dispatch({"CHAT lobby x", "DIRECT WAKEUP"});
    ChatRoom* room = joinedRoom("lobby");
    ASSERT_NE(room, nullptr);
    platform::clearItems(mainwin::StatusList);
    // The server's bytes through the session's own reading.
    server.send(std::string(" nutzer1\r") + '\0');
    for (int i = 0; i < 50 && statusLines().empty(); ++i) {
        session().poll();
        platform::pollEvent();
    }
    EXPECT_THAT(statusLines(), ElementsAre("Du wurdest vom Benutzer nutzer1 aufgeweckt."));
}

TEST_F(DispatchRoomsTest, KickedClosesTheRoomsBeforeTheBox) {
    read({"CHAT lobby x"});
    ASSERT_EQ(joinedRooms.size(), 1u);
    std::size_t roomsWhenAsked = 99;
    kavel::test::setService(&kavel::platform::Services::dialogs,
                            [&](const platform::DialogRequest& r) {
                                roomsWhenAsked = joinedRooms.size();
                                questions.push_back(utf8(r.title) + "|" + utf8(r.text));
                                return platform::DialogAnswer{};
                            });
    read({"KICKED bitte gehen"});
    EXPECT_EQ(roomsWhenAsked, 0u);
    EXPECT_THAT(questions, ElementsAre("Nachricht|bitte gehen"));
    EXPECT_EQ(uint32_t{clientState.connection}, 0u);
}

TEST_F(DispatchRoomsTest, PollTellsTheKickReasonOnceTheDispatchIsDoneAndGoesOn) {
    std::vector<std::string> linesWhenTold;
    kavel::test::setService(&kavel::platform::Services::dialogs,
                            [&](const platform::DialogRequest& r) {
                                linesWhenTold = statusLines();
                                questions.push_back(utf8(r.title) + "|" + utf8(r.text));
                                return platform::DialogAnswer{};
                            });
    server.send("KICKED bitte gehen\r[6]-\r");
    for (int i = 0; i < 50 && statusLines().size() < 3; ++i) {
        session().poll();
        platform::pollEvent();
    }
    EXPECT_THAT(questions, ElementsAre("Nachricht|bitte gehen"));
    EXPECT_THAT(linesWhenTold,
                ElementsAre("Du wurdest vom Server geschmissen.", "Verbindung getrennt."));
    EXPECT_THAT(statusLines(), ElementsAre("Du wurdest vom Server geschmissen.",
                                           "Verbindung getrennt.", "Admin Switch durchgeführt."));
}

TEST_F(DispatchRoomsTest, OtherUsersProfileFillsTheInfoWindow) {
    session().dispatch({"USER_NAME bert", "USER_RANK 2", "USER_SCORE 7",
                        "USER_DATA1 \x0b\x0b"
                        "Hamburg",
                        "USER_STATUS online"});
    ASSERT_TRUE(userInfoWindowOpen());
    EXPECT_EQ(platform::windowTitle(userinfo::Window), "Benutzerinfo von : bert");
    auto* edit = qobject_cast<QTextEdit*>(platform::controlWidget(userinfo::Text));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(platform::fromQString(edit->toPlainText()),
              "Allgemeine Userinformationen\n-------\nRang : 2\nChatpunkte : 7\n\n"
              "Optionale Informationen\n-------\nStandort : Hamburg\n\nUser online\n");
    EXPECT_EQ(platform::controlText(userinfo::Close),
              "Dialog schlie\xDF"
              "en");
    // A new block opens the window afresh.
    session().dispatch({"USER_NAME carl", "USER_RANK 1"});
    EXPECT_EQ(platform::fromQString(
                  qobject_cast<QTextEdit*>(platform::controlWidget(userinfo::Text))->toPlainText()),
              "Allgemeine Userinformationen\n-------\nRang : 1\n");
    EXPECT_TRUE(userInfoHandleEvent({platform::EventKind::Control, userinfo::Window,
                                     userinfo::Close, platform::EventType::Click}));
    EXPECT_FALSE(userInfoWindowOpen());
    session().dispatch({"USER_RANK 3"});  // dropped
    EXPECT_FALSE(userInfoWindowOpen());
}

TEST_F(DispatchRoomsTest, ShockWithoutSoundOutputStillReports) {
    setFlag(flag::NoSound);
    session().dispatch({"DIRECT SHOCK", " bert"});
    EXPECT_THAT(statusLines(), ElementsAre("Du wurdest vom Benutzer bert erschreckt."));
}

}  // namespace
}  // namespace kavel::testing
