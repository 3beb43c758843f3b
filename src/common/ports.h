#pragma once
// The ports through which the lower layers reach the program above them:
// the plug-in and class code reach the status log, a message box and the
// end of the program, the room code the sounds of the core. The core fills
// the table at start-up (wirePorts). The network session has ports of its own
// (SessionPorts, net/NET_Methods.h). A menu rebuild is not a port: whoever
// needs one sets MenuDirty.

#include <functional>
#include <string_view>

namespace kavel {

namespace sound {
enum : int { Startup = 0, Message = 1, UserList = 2, Shock = 3, WakeUp = 4 };
inline constexpr int Count = 5;
}  // namespace sound

struct Ports {
    // The status log of the main window ("[hh:ii:ss] text.").
    std::function<void(std::string_view)> status;
    // Desktop services.
    std::function<void(int)> playSound;

    // A message the user confirms before the program goes on (a plug-in
    // without settings, the class system's last words before it ends the
    // program).
    std::function<void(std::string_view title, std::string_view text)> messageBox;

    // Ends the program at once in order: windows closed, plug-ins freed,
    // exit code 0 (a class that cannot be built).
    std::function<void()> endProgram;
};

Ports& ports();

}  // namespace kavel
