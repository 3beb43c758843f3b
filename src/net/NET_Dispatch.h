#pragma once
// Inside the dispatcher: the flood guard's state, the field helpers of the
// wire format, and the outside operations the dispatcher calls. The
// operations are reached through one replaceable table so that tests can
// watch every effect (and run the clock) without a server or a desktop.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kavel {

struct ChatRoom;

struct FloodState {
    int32_t directCount = 0;
    uint32_t lastDirect = 0;  // local time in whole seconds
    std::string keptDirect;   // the last DIRECT, waiting for its sender line
};
extern FloodState floodState;

struct DispatchPorts {
    std::function<void(std::string_view)> status;
    std::function<void(std::string_view)> send;
    std::function<void()> disconnect;
    std::function<void(std::string_view title, std::string_view text)> messageBox;
    std::function<bool(std::string_view title, std::string_view text)> askYesNo;
    std::function<void(int)> playSound;
    std::function<uint32_t()> nowSeconds;

    std::function<ChatRoom*(const std::string&)> createRoom;
    std::function<std::string(ChatRoom*)> roomName;
    std::function<void(ChatRoom*, const std::string&)> roomPrint;
    std::function<void(ChatRoom*, const std::string&)> roomAddUser;
    std::function<void(ChatRoom*)> roomClearUsers;
    std::function<int(ChatRoom*)> roomInput;

    // The user information window (window 3).
    std::function<void(std::string_view title)> openUserInfo;
    std::function<bool()> userInfoOpen;
    std::function<void(std::string_view)> userInfoLine;
};

// The table in use; starts with (and resetDispatchPorts restores) the real
// operations of the program.
DispatchPorts& dispatchPorts();
void resetDispatchPorts();
void resetFloodState();

// Wire-format helpers.
// Field n (from 1) between the (n-1)-th and n-th separator; "" beyond the last.
std::string_view field(std::string_view message, int n, char separator = ' ');
// The last (length - n) characters; "" when the message is not longer than n.
std::string_view tail(std::string_view message, std::size_t n);
// a-z and 0xE0-0xFF mapped down by 0x20.
std::string upperKeyword(std::string_view keyword);
// Leading spaces, an optional minus sign, digits up to the first non-digit.
int32_t decimalValue(std::string_view text);

}  // namespace kavel
