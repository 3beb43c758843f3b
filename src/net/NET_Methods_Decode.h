#pragma once
// Inside the dispatcher: a received message decoded into a typed value (a
// pure function of the line) and the field helpers of the wire format.
// Applying a decoded message to the program is the session's job
// (Session::dispatch, NET_Methods.h).

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace kavel {

enum class MessageKind : uint8_t {
    Unknown,  // also the sender line that follows a DIRECT
    Chat,
    UserList,
    UserListClear,
    RoomListStart,
    RoomList,
    RoomListEnd,
    Kicked,
    Numbered,  // [0]- .. [13]-
    BanAdded,
    BanRemoved,
    UserName,
    UserRank,
    UserLogin,
    UserScore,
    UserColor,
    UserData1,
    UserData2,
    UserData3,
    UserStatus,
    Direct,
};

// What one message says. Which members are filled depends on the kind:
//   Chat, UserList       room = field 2, text = everything after it
//   UserListClear        room = field 2
//   RoomList             room = field 2, users = field 3, password = field 4 is "+"
//   Kicked               text = everything after the keyword (the reason)
//   Numbered             number; text = field 5 (the new name of [11]-)
//   User* profile values value = field 2, text = everything after the keyword
//   Direct               value = field 2 (the action), text = field 3 (its argument)
//   Unknown              text = the line without its first character (a sender)
struct ServerMessage {
    MessageKind kind = MessageKind::Unknown;
    int number = 0;
    std::string room;
    std::string value;
    std::string text;
    int32_t users = 0;
    bool password = false;

    bool operator==(const ServerMessage&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ServerMessage& message);

ServerMessage decodeMessage(std::string_view line);

// Wire-format helpers.
// Field n (from 1) between the (n-1)-th and n-th separator; "" beyond the last.
std::string_view field(std::string_view message, int n, char separator = ' ');
// Everything after the n-th separator; "" when there are fewer.
std::string_view afterField(std::string_view message, int n, char separator = ' ');

}  // namespace kavel
