// Server data through the dispatcher, its effects read from the fixture's log.
#include "common/cp1252.h"
#include "common/misc.h"
#include "net/dispatch_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";

TEST_F(DispatchTest, FirstMentionOfARoomOpensItAndDeliversTheMessage) {
    clientState.focusedInput = 0;
    read({"CHAT newroom hello"});
    ASSERT_NE(room("newroom"), nullptr);
    EXPECT_THAT(room("newroom")->printed, ElementsAre("hello"));
    EXPECT_THAT(log, ElementsAre("status:Raum newroom betreten"));
    EXPECT_EQ(uint32_t{clientState.focusedInput}, uint32_t(room("newroom")->input));
    EXPECT_TRUE(hasFlag(flag::MenuDirty));
    EXPECT_EQ(joinedRooms.size(), 1u);

    // Known now: no second announcement, no second room.
    clearFlag(flag::MenuDirty);
    read({"CHAT newroom " + VT + "Bwieder da"});
    EXPECT_EQ(rooms.size(), 1u);
    EXPECT_THAT(room("newroom")->printed, ElementsAre("hello", VT + "Bwieder da"));
    EXPECT_EQ(log.size(), 1u);
    EXPECT_FALSE(hasFlag(flag::MenuDirty));
}

TEST_F(DispatchTest, RoomNamesCompareExactlyButKeywordsIgnoreCase) {
    openRoom("lobby");
    read({"chat lobby hi", "Chat Lobby ho"});
    EXPECT_THAT(room("lobby")->printed, ElementsAre("hi"));
    ASSERT_NE(room("Lobby"), nullptr);
    EXPECT_THAT(room("Lobby")->printed, ElementsAre("ho"));
}

TEST_F(DispatchTest, ChatTailIsCutByTheRoomNameLength) {
    openRoom("r");
    read({"CHAT r a  b ", "CHAT r", "CHAT r "});
    // The text keeps its spaces; a message without text prints "".
    EXPECT_THAT(room("r")->printed, ElementsAre("a  b ", "", ""));
}

TEST_F(DispatchTest, WithShieldsUpAnUnknownRoomIsLeftOnceAndNothingOpens) {
    raiseShields();
    openRoom("lobby");
    read({"CHAT newroom hello", "USERLIST newroom x", "CHAT lobby still here"});
    EXPECT_THAT(log, ElementsAre("send:LEAVE newroom", "send:LEAVE newroom"));
    EXPECT_EQ(room("newroom"), nullptr);
    EXPECT_THAT(room("lobby")->printed, ElementsAre("still here"));
    EXPECT_FALSE(hasFlag(flag::MenuDirty));
}

TEST_F(DispatchTest, UserListIsClearedAndRefilledInOneRead) {
    openRoom("lobby")->users = {"alt"};
    read({"USERLIST_CLEAR lobby", "USERLIST lobby nutzer1", "USERLIST lobby nutzer 2"});
    EXPECT_THAT(room("lobby")->users, ElementsAre("nutzer1", "nutzer 2"));
}

TEST_F(DispatchTest, AnEmptyMessageEndsTheRead) {
    openRoom("lobby");
    read({"A", "", "CHAT lobby x"});
    EXPECT_THAT(room("lobby")->printed, IsEmpty());
    read({"", "CHAT lobby x"});
    EXPECT_THAT(room("lobby")->printed, IsEmpty());
    read({"CHAT lobby x"});
    EXPECT_THAT(room("lobby")->printed, ElementsAre("x"));
}

TEST_F(DispatchTest, RoomListIsRebuilt) {
    AvailableRooms.push_back({"alt", 1, false, 0});
    read({"ROOMLIST_START", "ROOMLIST a 3", "ROOMLIST b 0 +", "ROOMLIST c 12 -", "ROOMLIST d  -7x",
          "ROOMLIST e zwei"});
    EXPECT_FALSE(hasFlag(flag::MenuDirty));
    read({"ROOMLIST_END"});
    EXPECT_TRUE(hasFlag(flag::MenuDirty));
    ASSERT_EQ(AvailableRooms.size(), 5u);
    EXPECT_EQ(AvailableRooms[0].name, "a");
    EXPECT_EQ(AvailableRooms[0].userCount, 3);
    EXPECT_FALSE(AvailableRooms[0].hasPassword);
    EXPECT_TRUE(AvailableRooms[1].hasPassword);
    EXPECT_EQ(AvailableRooms[2].userCount, 12);
    EXPECT_FALSE(AvailableRooms[2].hasPassword);
    EXPECT_EQ(AvailableRooms[3].userCount, 0);  // empty third field
    EXPECT_EQ(AvailableRooms[4].userCount, 0);
}

TEST_F(DispatchTest, DecimalValuesFollowTheServerRules) {
    EXPECT_EQ(cp1252::decimalValue("  42abc"), 42);
    EXPECT_EQ(cp1252::decimalValue("-17"), -17);
    EXPECT_EQ(cp1252::decimalValue("- 1"), 0);
    EXPECT_EQ(cp1252::decimalValue(""), 0);
    EXPECT_EQ(cp1252::decimalValue("4294967297"), 1);  // wraps, never traps
}

TEST_F(DispatchTest, KickedDisconnectsBeforeTheReasonBox) {
    read({"KICKED"});
    EXPECT_THAT(
        log, ElementsAre("status:Du wurdest vom Server geschmissen", "status:Verbindung getrennt"));
    log.clear();
    connectPeer();
    read({"KICKED spam und eier"});
    EXPECT_THAT(log, ElementsAre("status:Du wurdest vom Server geschmissen",
                                 "status:Verbindung getrennt", "box:Nachricht|spam und eier"));
}

TEST_F(DispatchTest, LoginRepliesSetTheSessionFlags) {
    read({"[2]- Gast"});
    EXPECT_THAT(log, ElementsAre("status:Herzlich Willkommen anna",
                                 "status:Bitte registriere dich für erweiterte Funktionen"));
    EXPECT_TRUE(hasFlag(flag::Guest));
    EXPECT_TRUE(hasFlag(flag::LoggedIn));

    AppFlags = 0;
    log.clear();
    read({"[3]-"});
    EXPECT_THAT(log, ElementsAre("status:Login erfolgreich - Herzlich Willkommen anna"));
    EXPECT_TRUE(hasFlag(flag::LoggedIn));
    EXPECT_FALSE(hasFlag(flag::Guest));
    // The connect item reads "Trennen" from now on, also after a
    // reconnection that no room list follows.
    EXPECT_TRUE(hasFlag(flag::MenuDirty));
}

TEST_F(DispatchTest, RefusalsDisconnectAndOtherRepliesOnlyReport) {
    for (const char* reply : {"[0]-", "[1]-", "[4]-", "[5]-"}) {
        log.clear();
        connectPeer();
        read({reply});
        ASSERT_EQ(log.size(), 2u) << reply;
        EXPECT_EQ(log[1], "status:Verbindung getrennt") << reply;
    }
    log.clear();
    read({"[6]-", "[7]-", "[8]-", "[9]-", "[10]-", "[12]-", "[13]-", "BAN_ADDED", "BAN_REMOVED"});
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0], "status:Admin Switch durchgeführt");
    EXPECT_EQ(log[6], "status:Username zu kurz, Sie müssen mindestens 3 Zeichen benutzen");
    EXPECT_EQ(log[8], "status:BAN erfolgreich entfernt");
    EXPECT_FALSE(hasFlag(flag::LoggedIn));
    // Not numbered replies of this protocol.
    log.clear();
    read({"[14]-", "[03]-", "[3]"});
    EXPECT_THAT(log, IsEmpty());
}

TEST_F(DispatchTest, RenameTakesTheFifthField) {
    read({"[11]- Name geändert zu neuername"});
    EXPECT_EQ(text(clientState.nick), "neuername");
    EXPECT_THAT(log, ElementsAre("status:Name zu neuername geändert"));
}

TEST_F(DispatchTest, AnyReadAnswersTheKeepAlive) {
    setFlag(flag::PingOutstanding);
    read({"SOMETHING"});
    EXPECT_FALSE(hasFlag(flag::PingOutstanding));
}

TEST_F(DispatchTest, OwnProfileBlockFillsTheStateSilently) {
    setFlag(flag::OwnInfoPending);
    read({"USER_NAME anna", "USER_RANK 5", "USER_LOGIN 01.02.03 um 04:05", "USER_SCORE 1234",
          "USER_COLOR 00FF80", "USER_DATA1 Lesen" + VT + "a@b.de" + VT + VT + VT + "x.de",
          "USER_DATA2 meine Worte", "USER_DATA3 ", "USER_STATUS online"});
    EXPECT_THAT(log, IsEmpty());
    EXPECT_FALSE(infoOpen);
    EXPECT_EQ(clientState.rank, 5);
    EXPECT_EQ(text(clientState.lastLogin), "01.02.03 um 04:05");
    EXPECT_EQ(clientState.chatPoints, 1234);
    EXPECT_EQ(clientState.nameColour, rgb(0x00, 0xFF, 0x80));
    EXPECT_EQ(text(clientState.infoFields), "Lesen" + VT + "a@b.de" + VT + VT + VT + "x.de");
    EXPECT_EQ(text(clientState.ownRemarks), "meine Worte");
    EXPECT_EQ(text(clientState.adminRemarks), "");
    EXPECT_FALSE(hasFlag(flag::OwnInfoPending));
}

TEST_F(DispatchTest, OwnNameStartsCapturingEvenWithoutThePendingFlag) {
    read({"USER_NAME anna", "USER_RANK 7"});
    EXPECT_EQ(clientState.rank, 7);
    EXPECT_TRUE(hasFlag(flag::OwnInfoPending));
}

TEST_F(DispatchTest, AnotherUsersProfileGoesIntoTheInfoWindow) {
    read({"USER_NAME bert", "USER_RANK 2", "USER_LOGIN gestern", "USER_SCORE 9",
          "USER_COLOR FF0000", "USER_DATA1 Angeln" + VT + VT + "Berlin" + VT + VT + "b.de",
          "USER_DATA2 ", "USER_DATA3 gesperrt war er nie", "USER_STATUS online"});
    EXPECT_TRUE(infoOpen);
    EXPECT_EQ(infoTitle, "Benutzerinfo von : bert");
    EXPECT_THAT(infoLines, ElementsAre("Allgemeine Userinformationen", "-------", "Rang : 2",
                                       "Letzter Login : gestern", "Chatpunkte : 9", "",
                                       "Optionale Informationen", "-------", "Hobbies : Angeln",
                                       "Standort : Berlin", "Homepage : b.de", "",
                                       "Bemerkungen der Administratoren", "-------",
                                       "gesperrt war er nie", "", "User online"));
    EXPECT_EQ(clientState.rank, 0);
    EXPECT_EQ(clientState.nameColour, 0);
    EXPECT_THAT(log, IsEmpty());
}

TEST_F(DispatchTest, ProfileLinesWithoutAnOpenWindowAreDropped) {
    read({"USER_RANK 2", "USER_STATUS weg"});
    EXPECT_THAT(infoLines, IsEmpty());
    EXPECT_EQ(clientState.rank, 0);
}

TEST_F(DispatchTest, OtherUsersNameDoesNotEndTheOwnCapture) {
    setFlag(flag::OwnInfoPending);
    read({"USER_NAME bert", "USER_RANK 3"});
    EXPECT_TRUE(infoOpen);
    EXPECT_THAT(infoLines, IsEmpty());
    EXPECT_EQ(clientState.rank, 3);
    EXPECT_TRUE(hasFlag(flag::OwnInfoPending));
}

TEST_F(DispatchTest, ShockIsCompletedByTheSenderLine) {
    read({"DIRECT SHOCK", " nutzer1"});
    EXPECT_THAT(log, ElementsAre("sound:3", "status:Du wurdest vom Benutzer nutzer1 erschreckt"));
    EXPECT_FALSE(hasFlag(flag::DirectPending));
}

TEST_F(DispatchTest, KnownMessagesDoNotCompleteADirect) {
    openRoom("lobby");
    read({"DIRECT SHOCK", "CHAT lobby x"});
    EXPECT_THAT(room("lobby")->printed, ElementsAre("x"));
    EXPECT_THAT(log, IsEmpty());
    EXPECT_TRUE(hasFlag(flag::DirectPending));
    // The sender line arrives with a later read.
    read({"Xbert"});
    EXPECT_THAT(log, ElementsAre("sound:3", "status:Du wurdest vom Benutzer bert erschreckt"));
}

TEST_F(DispatchTest, DirectKindsCompareExactly) {
    // A read each, far apart, so that the flood guard stays out of it.
    for (const auto& [direct, sender] :
         std::vector<std::pair<std::string, std::string>>{{"DIRECT shock", " bert"},
                                                          {"DIRECT WAKEUP", " bert"},
                                                          {"DIRECT WAKEUP", " "},
                                                          {"DIRECT SHOCK", "x"},
                                                          {"DIRECT P", " anna"}}) {
        now += 10;
        read({direct, sender});
    }
    EXPECT_THAT(log, ElementsAre("sound:4", "status:Du wurdest vom Benutzer bert aufgeweckt"));
}

TEST_F(DispatchTest, PrivateInvitationJoinsThePrivateRoom) {
    read({"DIRECT PRIVATE Privatchat:anna_bert", " bert", "DIRECT PRIVATE", " bert"});
    EXPECT_THAT(log, ElementsAre("send:JOIN Privatchat:anna_bert"));
    EXPECT_EQ(rooms.size(), 0u);  // the room opens when the server speaks of it
}

TEST_F(DispatchTest, FieldHelpers) {
    EXPECT_EQ(field("a  b", 2), "");
    EXPECT_EQ(field("a  b", 3), "b");
    EXPECT_EQ(field("a", 4), "");
    EXPECT_EQ(afterField("USER_LOGIN", 1), "");
    EXPECT_EQ(afterField("CHAT  x y", 2), "x y");
    EXPECT_EQ(cp1252::upperCase("chat\xe4\xff"), "CHAT\xc4\xdf");
    EXPECT_EQ(cp1252::lowerCase("AZ\xC0\xDE\xDF\xFF"), "az\xE0\xFE\xDF\xFF");
}

}  // namespace
}  // namespace kavel::testing
