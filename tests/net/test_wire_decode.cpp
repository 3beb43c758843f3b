// Both directions of the wire as tables: every command the client composes,
// and real and malformed server lines decoded into their typed values.
#include <gtest/gtest.h>

#include "net/NET_Methods_Decode.h"
#include "net/wire.h"

namespace kavel {
namespace {

TEST(Wire, EveryCommandByteForByte) {
    const std::pair<std::string, std::string> table[] = {
        {wire::login("anna", "geheim"),
         "LOGIN anna geheim [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna"},
        {wire::login("gast", ""), "LOGIN gast  [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO gast"},
        {wire::join("Lobby geheim"), "JOIN Lobby geheim\rROOMLIST"},
        {wire::joinOnly("Lobby"), "JOIN Lobby"},
        {wire::leave("Lobby"), "LEAVE Lobby\rROOMLIST"},
        {wire::leaveOnly("Lobby"), "LEAVE Lobby"},
        {wire::chat("Lobby", "FF0000",
                    "hallo \x0b"
                    "Bwelt"),
         "CHAT Lobby \x0b"
         "CFF0000hallo \x0b"
         "Bwelt"},
        {wire::rename("anna"), "NAME anna"},
        {wire::away("anna", "Essen"), "NAME [anna>Essen]"},
        {wire::info("bert"), "INFO bert"},
        {wire::direct("bert", "WAKEUP", "anna"), "DIRECT bert WAKEUP anna"},
        {wire::direct("bert", "SHOCK", ""), "DIRECT bert SHOCK "},
        {wire::ping("anna"), "DIRECT anna P"},
        {wire::privateChat("bert", "anna", "Privatchat:bert_anna"),
         "DIRECT bert PRIVATE Privatchat:bert_anna\rDIRECT anna PRIVATE Privatchat:bert_anna"},
        {wire::profileUpload("pw", "00FF00",
                             "a\x0b"
                             "b",
                             "hallo welt"),
         "SAVE USER_PASSWORT pw\rSAVE USER_COLOR 00FF00\rSAVE USER_INFO1 a\x0b"
         "b\rSAVE USER_INFO2 hallo welt"},
        {wire::roomList(), "ROOMLIST"},
    };
    for (const auto& [made, expected] : table)
        EXPECT_EQ(made, expected);
}

ServerMessage msg(MessageKind kind, std::string room = {}, std::string value = {},
                  std::string text = {}) {
    ServerMessage m;
    m.kind = kind;
    m.room = std::move(room);
    m.value = std::move(value);
    m.text = std::move(text);
    return m;
}
ServerMessage numbered(int n, std::string text = {}) {
    ServerMessage m = msg(MessageKind::Numbered, {}, {}, std::move(text));
    m.number = n;
    return m;
}
ServerMessage roomEntry(std::string room, int users, bool password) {
    ServerMessage m = msg(MessageKind::RoomList, std::move(room));
    m.users = users;
    m.password = password;
    return m;
}

TEST(Decode, RealAndMalformedServerLines) {
    using K = MessageKind;
    const std::pair<std::string, ServerMessage> table[] = {
        {"CHAT Lobby \x0b"
         "C00FF00hallo welt",
         msg(K::Chat, "Lobby", {},
             "\x0b"
             "C00FF00hallo welt")},
        {"chat Lobby x", msg(K::Chat, "Lobby", {}, "x")},  // keywords in any case
        {"CHAT  Lobby x", msg(K::Chat, "", {}, "Lobby x")},
        {"CHAT Lobby", msg(K::Chat, "Lobby")},
        {"CHAT", msg(K::Chat)},
        {"USERLIST Lobby bert der zweite", msg(K::UserList, "Lobby", {}, "bert der zweite")},
        {"USERLIST_CLEAR Lobby", msg(K::UserListClear, "Lobby")},
        {"ROOMLIST_START", msg(K::RoomListStart)},
        {"ROOMLIST Lobby 3", roomEntry("Lobby", 3, false)},
        {"ROOMLIST Geheim 0 +", roomEntry("Geheim", 0, true)},
        {"ROOMLIST d  -7x", roomEntry("d", 0, false)},
        {"ROOMLIST e -7x", roomEntry("e", -7, false)},
        {"ROOMLIST_END", msg(K::RoomListEnd)},
        {"KICKED bitte gehen", msg(K::Kicked, {}, "bitte", "bitte gehen")},
        {"KICKED", msg(K::Kicked)},
        {"[0]-", numbered(0)},
        {"[13]- x", numbered(13)},
        {"[11]- Name geaendert zu bert", numbered(11, "bert")},
        {"[14]-", msg(K::Unknown, {}, {}, "14]-")},
        {"[01]-", msg(K::Unknown, {}, {}, "01]-")},
        {"[a]-", msg(K::Unknown, {}, {}, "a]-")},
        {"USER_LOGIN 01.12.2026 12:00", msg(K::UserLogin, {}, "01.12.2026", "01.12.2026 12:00")},
        {"USER_DATA1 Lesen\x0bmail", msg(K::UserData1, {}, "Lesen\x0bmail", "Lesen\x0bmail")},
        {"user_rank 3", msg(K::UserRank, {}, "3", "3")},
        {"DIRECT PRIVATE Privatchat:a_b", msg(K::Direct, {}, "PRIVATE", "Privatchat:a_b")},
        {"DIRECT WAKEUP", msg(K::Direct, {}, "WAKEUP")},
        {" bert", msg(K::Unknown, {}, {}, "bert")},
        {"\xe4rger", msg(K::Unknown, {}, {}, "rger")},
        {"x", msg(K::Unknown)},
    };
    for (const auto& [line, expected] : table)
        EXPECT_EQ(decodeMessage(line), expected) << line;
}

}  // namespace
}  // namespace kavel
