#include "core/wiring.h"

#include "common/ports.h"
#include "common/reset.h"
#include "core/KAVEL.h"
#include "core/OS_Dependant.h"
#include "core/OnError.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_UserInfo.h"

namespace kavel {

namespace {

// Built anew with the ports; never destroyed at exit, where its socket goes
// with the process and the platform may already be gone.
Session* programSession = nullptr;

}  // namespace

SessionPorts programSessionPorts() {
    // Each entry is the function itself: a call through a port goes from
    // the layer below straight to its handler.
    SessionPorts p;
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
    p.ask = &platform::askYesNo;
    p.tell = &platform::messageBox;
    p.wait = &platform::waitKeepingWindowsPainted;
    p.wake = &platform::wakeMainLoop;
    return p;
}

void wirePorts() {
    Ports& p = ports();
    p.status = &statusMessage;
    p.playSound = &playSound;
    p.messageBox = &platform::messageBox;
    p.endProgram = &endAtOnce;
    // The old session goes first, closing its connection.
    delete programSession;
    programSession = nullptr;
    programSession = new Session(programSessionPorts());
}

void wireProgram() {
    wirePorts();
    installCrashHandler();
}

namespace {

const bool registered = registerReset(&wirePorts);

}  // namespace

}  // namespace kavel
