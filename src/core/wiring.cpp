#include "core/wiring.h"

#include "common/ports.h"
#include "common/reset.h"
#include "core/KAVEL.h"
#include "core/OS_Dependant.h"
#include "core/OnError.h"
#include "net/NET_Methods.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_UserInfo.h"

namespace kavel {

void wirePorts() {
    // Each entry is the function itself: a call through a port goes from
    // the layer below straight to its handler.
    Ports& p = ports();
    p.status = &statusMessage;
    p.playSound = &playSound;
    p.createRoom = &newChatRoom;
    p.roomName = &roomGetName;
    p.roomPrint = &roomPrint;
    p.roomAddUser = &roomAddUser;
    p.roomClearUsers = &roomClearUsers;
    p.roomInput = &roomInputControl;
    p.roomDestroy = &roomDestroy;
    p.openUserInfo = &openUserInfoWindow;
    p.userInfoOpen = &userInfoWindowOpen;
    p.userInfoLine = &appendUserInfoLine;
    p.messageBox = &platform::messageBox;
    p.endProgram = &endAtOnce;
}

void wireProgram() {
    wirePorts();
    installCrashHandler();
}

namespace {

const bool registered = registerReset(&wirePorts);

}  // namespace

}  // namespace kavel
