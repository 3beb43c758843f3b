#pragma once
// The ports through which the lower layers reach the program above them:
// the network code reaches rooms, windows, the status log, dialogs and
// sounds only through this table, and so does the room code for the
// desktop services of the core. The core fills it at start-up
// (wirePorts); tests replace single entries to watch or script an effect.
// A menu rebuild is not a port: whoever needs one sets MenuDirty.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kavel {

struct ChatRoom;

namespace sound {
enum : int { Startup = 0, Message = 1, UserList = 2, Shock = 3, WakeUp = 4 };
inline constexpr int Count = 5;
}  // namespace sound

struct Ports {
    // The status log of the main window ("[hh:ii:ss] text.").
    std::function<void(std::string_view)> status;
    // Desktop services.
    std::function<void(int)> playSound;

    // Rooms.
    std::function<ChatRoom*(const std::string&)> createRoom;
    std::function<std::string(ChatRoom*)> roomName;
    std::function<void(ChatRoom*, const std::string&)> roomPrint;
    std::function<void(ChatRoom*, const std::string&)> roomAddUser;
    std::function<void(ChatRoom*)> roomClearUsers;
    std::function<int(ChatRoom*)> roomInput;
    // Leaves the room: sends its LEAVE and closes its window.
    std::function<void(ChatRoom*)> roomDestroy;

    // The user information window.
    std::function<void(std::string_view title)> openUserInfo;
    std::function<bool()> userInfoOpen;
    std::function<void(std::string_view)> userInfoLine;

    // A message the user confirms before the program goes on (the class
    // system's last words before it ends the program).
    std::function<void(std::string_view title, std::string_view text)> messageBox;

    // Ends the program at once in order: windows closed, plug-ins freed,
    // exit code 0 (a class that cannot be built).
    std::function<void()> endProgram;
};

Ports& ports();

}  // namespace kavel
