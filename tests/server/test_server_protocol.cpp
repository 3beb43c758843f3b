// The chat protocol end to end: a real quarnd on loopback, raw bytes read
// back from the socket.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "server/server_clients.h"
#include "support/quarnd_process.h"

using quarnd_test::QuarndProcess;
using quarnd_test::RawQuarnClient;
using ::testing::ElementsAre;

namespace {

using Messages = RawQuarnClient::Messages;

class server_protocol : public ::testing::Test {
  protected:
    std::unique_ptr<RawQuarnClient> connect() {
        return std::make_unique<RawQuarnClient>(server.chatPort());
    }
    std::unique_ptr<RawQuarnClient> login(const std::string& name, const std::string& pw = "") {
        auto c = connect();
        auto reply = c->command("LOGIN " + name + " " + pw + " [CLIENT:KAVEL@Windows]");
        EXPECT_EQ(reply.size(), 1u);
        EXPECT_TRUE(!reply.empty() &&
                    (reply[0] == "[2]- Gast" || reply[0] == "[3]- Login erfolgreich"))
            << (reply.empty() ? "<nothing>" : reply[0]);
        return c;
    }
    std::unique_ptr<RawQuarnClient> registered(const std::string& name) {
        return quarnd_test::registeredLogin(server.chatPort(), name);
    }
    // anna and bernd in the Lobby; anna has read the notice of bernd's arrival.
    std::pair<std::unique_ptr<RawQuarnClient>, std::unique_ptr<RawQuarnClient>> twoInLobby() {
        auto a = login("anna");
        auto b = login("bernd");
        a->command("JOIN Lobby");
        b->command("JOIN Lobby");
        a->receive();
        return {std::move(a), std::move(b)};
    }
    void writeFile(const std::string& name, const std::string& text) {
        std::ofstream(server.dataDir() + "/" + name, std::ios::binary) << text;
    }

    QuarndProcess server;
};

TEST_F(server_protocol, TransmissionIsMessagesEndingInCrThenOneNul) {
    auto c = connect();
    c->send("LOGIN alice  [CLIENT:KAVEL@Windows]");
    auto raw = c->receiveRaw();
    ASSERT_TRUE(raw);
    EXPECT_EQ(*raw, "[2]- Gast\r");
    c->send("ROOMLIST");
    raw = c->receiveRaw();
    ASSERT_TRUE(raw);
    EXPECT_EQ(*raw,
              "ROOMLIST_START\rROOMLIST Lobby 0\rROOMLIST Plauderecke 0\rROOMLIST Technik 0\r"
              "ROOMLIST Tresor 0 +\rROOMLIST_END\r");
}

TEST_F(server_protocol, LoginWriteOfTheClientGivesThreeTransmissions) {
    auto c = connect();
    c->sendRaw("LOGIN bob  [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO bob\r");
    EXPECT_THAT(c->receive().value(), ElementsAre("[2]- Gast"));
    EXPECT_EQ(c->receive().value().front(), "ROOMLIST_START");
    auto info = c->receive().value();
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[0], "USER_NAME bob");
    EXPECT_EQ(info[1], "USER_RANK 0");
    EXPECT_EQ(info[2].rfind("USER_LOGIN ", 0), 0u);
    EXPECT_EQ(info[3], "USER_SCORE 0");
    EXPECT_EQ(info[4], "USER_COLOR 000000");
    EXPECT_EQ(info[5], "USER_DATA1 ");
    EXPECT_EQ(info[6], "USER_DATA2 ");
    EXPECT_EQ(info[7], "USER_DATA3 ");
    EXPECT_EQ(info[8], "USER_STATUS online");
}

TEST_F(server_protocol, LoginRefusals) {
    struct Case {
        std::string name;
        std::string reply;
        bool closes;
    };
    const Case cases[] = {
        {"ab", "[13]- Username zu kurz", false},
        {"a.b", "[0]- Name nicht erlaubt", true},
        {"bad\x01name", "[0]- Name nicht erlaubt", true},
        {"\xe9l\xe8ve", "[0]- Name nicht erlaubt", true},  // é is a letter, but not one we admit
    };
    for (const Case& k : cases) {
        auto c = connect();
        EXPECT_THAT(c->command("LOGIN " + k.name + "  x"), ElementsAre(k.reply)) << k.name;
        EXPECT_EQ(c->waitClosed(k.closes ? 3000 : 300), k.closes) << k.name;
    }
    // Umlauts are single Windows-1252 bytes and allowed.
    auto ok = connect();
    EXPECT_THAT(ok->command("LOGIN J\xfcrgen_\xdf-2  x"), ElementsAre("[2]- Gast"));
}

TEST_F(server_protocol, NameTakenAndCommandsBeforeLoginIgnored) {
    auto a = login("carla");
    auto b = connect();
    b->send("ROOMLIST");
    b->send("JOIN Lobby");
    EXPECT_FALSE(b->receive(300));
    EXPECT_THAT(b->command("LOGIN carla  x"), ElementsAre("[5]- Name belegt"));
    EXPECT_TRUE(b->waitClosed());
    // Names are compared without regard to case.
    auto c = connect();
    EXPECT_THAT(c->command("LOGIN Carla  x"), ElementsAre("[5]- Name belegt"));
}

TEST_F(server_protocol, JoinSendsUserListAndNoticeToEveryMember) {
    auto a = login("anna");
    auto b = login("bernd");
    EXPECT_THAT(a->command("JOIN Lobby"), ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby anna",
                                                      "CHAT Lobby *** anna betritt den Raum"));
    EXPECT_THAT(b->command("JOIN Lobby"),
                ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby anna", "USERLIST Lobby bernd",
                            "CHAT Lobby *** bernd betritt den Raum"));
    EXPECT_THAT(a->receive().value(),
                ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby anna", "USERLIST Lobby bernd",
                            "CHAT Lobby *** bernd betritt den Raum"));
    // A second join changes nothing and says nothing.
    b->send("JOIN Lobby");
    EXPECT_FALSE(b->receive(300));
    EXPECT_FALSE(a->receive(100));
    auto list = a->command("ROOMLIST");
    EXPECT_EQ(list[1], "ROOMLIST Lobby 2");
}

TEST_F(server_protocol, CreatedRoomAndPasswordRooms) {
    auto a = login("anna");
    auto b = login("bernd");
    EXPECT_THAT(a->command("JOIN Tresor"), ElementsAre("[12]- Falsches Passwort"));
    EXPECT_THAT(a->command("JOIN Tresor falsch"), ElementsAre("[12]- Falsches Passwort"));
    EXPECT_EQ(a->command("JOIN Tresor sesam").front(), "USERLIST_CLEAR Tresor");

    EXPECT_THAT(a->command("JOIN Geheim pw1"),
                ElementsAre("[8]- Raum er\xf6"
                            "ffnet",
                            "USERLIST_CLEAR Geheim", "USERLIST Geheim anna",
                            "CHAT Geheim *** anna betritt den Raum"));
    auto list = b->command("ROOMLIST");
    EXPECT_EQ(list[list.size() - 2], "ROOMLIST Geheim 1 +");
    EXPECT_THAT(b->command("JOIN Geheim"), ElementsAre("[12]- Falsches Passwort"));

    // The last member leaving removes a created room, never a fixed one.
    a->send("LEAVE Geheim");
    a->send("LEAVE Tresor");
    EXPECT_FALSE(a->receive(300));
    list = b->command("ROOMLIST");
    EXPECT_THAT(list, ElementsAre("ROOMLIST_START", "ROOMLIST Lobby 0", "ROOMLIST Plauderecke 0",
                                  "ROOMLIST Technik 0", "ROOMLIST Tresor 0 +", "ROOMLIST_END"));
}

TEST_F(server_protocol, LeaveAndDisconnectTellTheOthers) {
    auto [a, b] = twoInLobby();
    b->send("LEAVE Lobby");
    EXPECT_THAT(a->receive().value(), ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby anna",
                                                  "CHAT Lobby *** bernd verl\xe4sst den Raum"));
    EXPECT_FALSE(b->receive(200));
    b->command("JOIN Lobby");
    a->receive();
    b->close();
    EXPECT_THAT(a->receive().value(), ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby anna",
                                                  "CHAT Lobby *** bernd verl\xe4sst den Raum"));
    // The name is free again.
    auto again = connect();
    EXPECT_THAT(again->command("LOGIN bernd  x"), ElementsAre("[2]- Gast"));
}

TEST_F(server_protocol, ChatAndActionLines) {
    auto [a, b] = twoInLobby();
    const std::string colour =
        "\x0b"
        "CFF0080";
    EXPECT_THAT(a->command("CHAT Lobby " + colour + "hallo  \xe4 [b]"),
                ElementsAre("CHAT Lobby anna: " + colour + "hallo  \xe4 [b]"));
    EXPECT_THAT(b->receive().value(),
                ElementsAre("CHAT Lobby anna: " + colour + "hallo  \xe4 [b]"));

    EXPECT_THAT(a->command("CHAT Lobby " + colour + "\x0bmewinkt"),
                ElementsAre("CHAT Lobby * anna " + colour + "winkt"));
    EXPECT_THAT(b->receive().value(), ElementsAre("CHAT Lobby * anna " + colour + "winkt"));
    EXPECT_THAT(a->command("CHAT Lobby \x0bme gähnt"), ElementsAre("CHAT Lobby * anna  gähnt"));
    b->receive();
    // "me" not right after the colour code is plain text.
    EXPECT_THAT(a->command("CHAT Lobby x\x0bme"), ElementsAre("CHAT Lobby anna: x\x0bme"));
    b->receive();

    // Not a member: nothing for anybody.
    a->send("CHAT Technik hallo");
    EXPECT_FALSE(a->receive(300));
    // Lower-case keyword works like upper case.
    EXPECT_THAT(a->command("chat Lobby klein"), ElementsAre("CHAT Lobby anna: klein"));
}

TEST_F(server_protocol, AwayNamesAndNameChanges) {
    auto [a, b] = twoInLobby();
    EXPECT_THAT(a->command("NAME [anna>brb]"),
                ElementsAre("[11]- Name ge\xe4ndert zu [anna>brb]", "USERLIST_CLEAR Lobby",
                            "USERLIST Lobby [anna>brb]", "USERLIST Lobby bernd"));
    EXPECT_THAT(
        b->receive().value(),
        ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby [anna>brb]", "USERLIST Lobby bernd"));
    EXPECT_EQ(b->command("CHAT Lobby hi").front(), "CHAT Lobby bernd: hi");
    EXPECT_THAT(a->receive().value(), ElementsAre("CHAT Lobby bernd: hi"));
    EXPECT_THAT(a->command("CHAT Lobby da"), ElementsAre("CHAT Lobby [anna>brb]: da"));
    b->receive();

    for (const char* bad : {"bernd", "[bernd>x]", "[anna>mit Leerzeichen]",
                            "[anna>viel_zu_lange_grund_x]", "anna2", "[anna>x"}) {
        EXPECT_THAT(a->command(std::string("NAME ") + bad), ElementsAre("[10]- Name ung\xfcltig"))
            << bad;
    }
    EXPECT_EQ(a->command("NAME anna").front(), "[11]- Name ge\xe4ndert zu anna");
}

TEST_F(server_protocol, DirectIsRelayedWithTheAuthenticatedSender) {
    auto a = login("anna");
    auto b = login("bernd");
    a->send("DIRECT bernd SHOCK mallory");
    EXPECT_EQ(*b->receiveRaw(), "DIRECT SHOCK mallory\r anna\r");
    a->send("DIRECT bernd PRIVATE Privatchat:bernd_anna");
    EXPECT_THAT(b->receive().value(), ElementsAre("DIRECT PRIVATE Privatchat:bernd_anna", " anna"));
    a->send("DIRECT bernd WAKEUP ");
    EXPECT_THAT(b->receive().value(), ElementsAre("DIRECT WAKEUP ", " anna"));
    // The keep-alive goes to oneself; unknown users get nothing.
    EXPECT_THAT(a->command("DIRECT anna P"), ElementsAre("DIRECT P", " anna"));
    a->send("DIRECT niemand SHOCK anna");
    EXPECT_FALSE(a->receive(300));
    EXPECT_FALSE(b->receive(100));
    // The sender is named by its current nick.
    a->command("NAME [anna>Essen]");
    a->send("DIRECT bernd SHOCK anna");
    EXPECT_THAT(b->receive().value(), ElementsAre("DIRECT SHOCK anna", " [anna>Essen]"));
}

TEST_F(server_protocol, InfoForOnlineGuestUnknownAndAwayNick) {
    auto a = login("anna");
    auto b = login("bernd");
    b->command("NAME [bernd>weg]");
    auto info = a->command("INFO [bernd>weg]");
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[0], "USER_NAME bernd");
    a->send("INFO niemand");
    EXPECT_FALSE(a->receive(300));
}

TEST_F(server_protocol, AdminCommandsNeedRank) {
    auto a = login("anna");
    for (const char* cmd :
         {"KICK bernd", "BAN bernd", "UNBAN bernd", "ADMIN anna", "SETADMINREMARK anna x"}) {
        EXPECT_THAT(a->command(cmd), ElementsAre("[9]- Keine Berechtigung")) << cmd;
    }
}

TEST_F(server_protocol, AdminFromFileKicksBansAndPromotes) {
    writeFile("admins.txt", "# admins\nboss\n");
    auto boss = registered("boss");
    auto info = boss->command("INFO boss");
    EXPECT_EQ(info[1], "USER_RANK 10");

    auto v = login("victim");
    auto w = registered("witness");
    v->command("JOIN Lobby");
    w->command("JOIN Lobby");
    v->receive();
    boss->send("KICK victim geh  jetzt");
    EXPECT_THAT(v->receive().value(), ElementsAre("KICKED geh  jetzt"));
    EXPECT_TRUE(v->waitClosed());
    EXPECT_THAT(w->receive().value(), ElementsAre("USERLIST_CLEAR Lobby", "USERLIST Lobby witness",
                                                  "CHAT Lobby *** victim verl\xe4sst den Raum"));
    EXPECT_FALSE(boss->receive(200));

    EXPECT_THAT(boss->command("BAN victim"), ElementsAre("BAN_ADDED"));
    auto again = connect();
    EXPECT_THAT(again->command("LOGIN victim  x"), ElementsAre("[1]- Server voll"));
    EXPECT_TRUE(again->waitClosed());
    EXPECT_THAT(boss->command("UNBAN victim"), ElementsAre("BAN_REMOVED"));
    auto back = connect();
    EXPECT_THAT(back->command("LOGIN victim  x"), ElementsAre("[2]- Gast"));

    EXPECT_THAT(boss->command("ADMIN niemand"), ElementsAre("[7]- User nicht gefunden"));
    EXPECT_THAT(boss->command("ADMIN witness"), ElementsAre("[6]- Admin Switch durchgef\xfchrt"));
    w->send("KICK victim");
    EXPECT_THAT(back->receive().value(), ElementsAre("KICKED"));
    EXPECT_FALSE(w->receive(200));
}

TEST_F(server_protocol, BanRemovesAnOnlineUser) {
    writeFile("admins.txt", "boss\n");
    auto boss = registered("boss");
    auto v = login("victim");
    EXPECT_THAT(boss->command("BAN victim"), ElementsAre("BAN_ADDED"));
    EXPECT_THAT(v->receive().value(), ElementsAre("KICKED"));
    EXPECT_TRUE(v->waitClosed());
}

TEST_F(server_protocol, RegistrationProfileAndRemarks) {
    writeFile("admins.txt", "boss\n");
    auto g = login("gustav");
    g->sendRaw(
        "SAVE USER_PASSWORT geheim\rSAVE USER_COLOR 00ff7f\rSAVE USER_INFO1 Angeln\x0bg@x.de\x0b"
        "K\xf6ln\x0b\x0b\rSAVE USER_INFO2 Hallo  Welt\r");
    auto boss = registered("boss");
    boss->send("SETADMINREMARK gustav nett, aber laut");
    EXPECT_FALSE(boss->receive(200));
    auto info = boss->command("INFO gustav");
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[1], "USER_RANK 1");
    EXPECT_EQ(info[4], "USER_COLOR 00FF7F");
    EXPECT_EQ(info[5], "USER_DATA1 Angeln\x0bg@x.de\x0bK\xf6ln\x0b\x0b");
    EXPECT_EQ(info[6], "USER_DATA2 Hallo  Welt");
    EXPECT_EQ(info[7], "USER_DATA3 nett, aber laut");
    EXPECT_EQ(info[8], "USER_STATUS online");

    g->command("JOIN Lobby");
    g->command("CHAT Lobby eins");
    g->command("CHAT Lobby zwei");
    g->close();
    // Offline now: still known, with its points.
    auto offline = boss->drain(300);
    info = boss->command("INFO gustav");
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[3], "USER_SCORE 2");
    EXPECT_EQ(info[8], "USER_STATUS offline");

    auto wrong = connect();
    EXPECT_THAT(wrong->command("LOGIN gustav falsch x"), ElementsAre("[4]- Passwort falsch"));
    EXPECT_TRUE(wrong->waitClosed());
    auto empty = connect();
    EXPECT_THAT(empty->command("LOGIN gustav  x"), ElementsAre("[4]- Passwort falsch"));
    auto right = connect();
    EXPECT_THAT(right->command("LOGIN gustav geheim [CLIENT:KAVEL@Windows]"),
                ElementsAre("[3]- Login erfolgreich"));
}

TEST_F(server_protocol, GuestProfileSavesAreIgnored) {
    auto g = login("gast");
    g->send("SAVE USER_COLOR FF0000");
    g->send("SAVE USER_INFO2 text");
    g->send("SAVE USER_PASSWORT ");
    auto info = g->command("INFO gast");
    EXPECT_EQ(info[1], "USER_RANK 0");
    EXPECT_EQ(info[4], "USER_COLOR 000000");
    EXPECT_EQ(info[6], "USER_DATA2 ");
}

TEST_F(server_protocol, RoomsFileReplacesTheFixedRooms) {
    writeFile("rooms.txt", "Halle\n# comment\n\nKeller kellerpw\r\n");
    server.restart();
    auto a = login("anna");
    EXPECT_THAT(a->command("ROOMLIST"), ElementsAre("ROOMLIST_START", "ROOMLIST Halle 0",
                                                    "ROOMLIST Keller 0 +", "ROOMLIST_END"));
}

}  // namespace
