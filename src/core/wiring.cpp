#include "core/wiring.h"

#include "common/ports.h"
#include "common/reset.h"
#include "core/OS_Dependant.h"
#include "core/OnError.h"
#include "core/main.h"
#include "net/NET_Methods.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_UserInfo.h"

namespace kavel {

void wirePorts() {
    Ports& p = ports();
    p.status = [](std::string_view t) { statusMessage(t); };
    p.playSound = [](int n) { playSound(n); };
    p.createRoom = [](const std::string& name) { return newChatRoom(name); };
    p.roomName = [](ChatRoom* r) { return roomGetName(r); };
    p.roomPrint = [](ChatRoom* r, const std::string& t) { roomPrint(r, t); };
    p.roomAddUser = [](ChatRoom* r, const std::string& t) { roomAddUser(r, t); };
    p.roomClearUsers = [](ChatRoom* r) { roomClearUsers(r); };
    p.roomInput = [](ChatRoom* r) { return roomInputControl(r); };
    p.roomDestroy = [](ChatRoom* r) { roomDestroy(r); };
    p.openUserInfo = [](std::string_view title) {
        openUserInfoWindow();
        setUserInfoTitle(title);
    };
    p.userInfoOpen = [] { return userInfoWindowOpen(); };
    p.userInfoLine = [](std::string_view line) { appendUserInfoLine(line); };
    p.endProgram = [] { endAtOnce(); };
}

void wireProgram() {
    wirePorts();
    installCrashHandler();
}

namespace {

const bool registered = registerReset(&wirePorts);

}  // namespace

}  // namespace kavel
