// The session with the chat server: connect, login, commands, polling with
// reassembly of the byte stream, keep-alive with one reconnect, disconnect.
#include "net/NET_Methods.h"

#include <optional>
#include <string>
#include <vector>

#include "common/line_splitter.h"
#include "common/misc.h"
#include "common/ports.h"
#include "common/reset.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods_Tls.h"
#include "net/wire.h"
#include "system/clock.h"
#include "system/socket.h"

namespace kavel {

uint32_t lastKeepAlive = 0;

namespace {

// When the session broke, while its repair is pending.
std::optional<uint32_t> brokeAt;

std::string serverHost = "localhost";
int serverPort = 0;  // 0: the transport's own port

// A carriage return or a NUL ends a message. A peer that never ends its
// message must not make us hold megabytes; such a message is dropped.
LineSplitter makeSplitter() {
    return LineSplitter({std::string_view("\r\0", 2), {}, MaxMessage});
}
LineSplitter splitter = makeSplitter();

const bool registered = registerReset([] {
    platform::tcpClose(clientState.connection);
    clientState.connection = 0;
    serverHost = "localhost";
    serverPort = 0;
    lastKeepAlive = 0;
    brokeAt.reset();
    splitter = makeSplitter();
});

void dropConnection() {
    platform::tcpClose(clientState.connection);
    clientState.connection = 0;
    splitter.clear();
    clearFlag(flag::Connected);
    clearFlag(flag::LoggedIn);
    clearFlag(flag::Guest);
    clearFlag(flag::PingOutstanding);
    // Offline the menu must offer "Verbinden" again.
    setFlag(flag::MenuDirty);
}

// The session broke under us: say so in the log and in every open room,
// then try once to get it back, after a pause the main loop waits out.
void sessionBroke() {
    dropConnection();
    ports().status(ui(Txt::Disconnected));
    const std::string notice = ui(Txt::UserDropped, text(clientState.nick));
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        ports().roomPrint(room, notice);
    brokeAt = platform::tickCount();
}

void rejoinOpenRooms() {
    for (ChatRoom* room : joinedRooms)
        SendCommand(wire::joinOnly(ports().roomName(room)));
}

}  // namespace

const std::string& chatServerHost() {
    return serverHost;
}
void setChatServerHost(std::string host) {
    serverHost = host.empty() ? std::string("localhost") : std::move(host);
}
int chatServerPort() {
    if (serverPort != 0) return serverPort;
    return chatServerTls() ? TlsServerPort : ServerPort;
}
void setChatServerPort(int port) {
    serverPort = port;
}

std::size_t pendingServerBytes() {
    return splitter.pendingBytes();
}

void restartKeepAlive() {
    lastKeepAlive = platform::tickCount();
}

int Connect(ClientState& state, const std::string& host, int port) {
    // Whoever connects now (the menu, the profile question) makes a pending
    // repair moot.
    brokeAt.reset();
    if (hasFlag(flag::NoNetwork)) {
        ports().status(ui(Txt::ConnectNoStack));
        return 0;
    }
    if (state.connection != 0) {
        // Never leak the old socket; the caller wants a fresh session.
        platform::tcpClose(state.connection);
        state.connection = 0;
    }
    splitter.clear();
    const platform::ResolvedHost to =
        platform::resolveHost(host, port, platform::kResolveTimeoutMs, platform::guiThreadWait());
    if (to.outcome == platform::ResolvedHost::TimedOut) {
        clearFlag(flag::Connected);
        ports().status(ui(Own::LookupTimedOut, host));
        return 0;
    }
    state.connection = platform::tcpConnect(to);
    if (state.connection == 0) {
        clearFlag(flag::Connected);
        ports().status(ui(Txt::ConnectFailed, host));
        return 0;
    }
    // Nothing of ours, the login least of all, goes out before the server
    // has shown a certificate we may trust.
    if (chatServerTls() && !secureConnection(state.connection, host, port)) {
        platform::tcpClose(state.connection);
        state.connection = 0;
        clearFlag(flag::Connected);
        return 0;
    }
    setFlag(flag::Connected);
    setFlag(flag::MenuDirty);
    ports().status(ui(Txt::ConnectOk, host));
    platform::sleepMs(5);
    return 1;
}

void Login(std::string_view name, std::string_view password) {
    if (!hasFlag(flag::Connected) || name.empty()) return;
    SendCommand(wire::login(name, password));
    setFlag(flag::OwnInfoPending);
}

void JoinRoom(std::string_view roomText) {
    if (!hasFlag(flag::LoggedIn)) return;
    SendCommand(wire::join(roomText));
}

void SendCommand(std::string_view command) {
    if (clientState.connection == 0) return;
    std::string write(command);
    write.push_back('\r');
    // A failed send is not reported here: the next poll sees the closed
    // connection, or the keep-alive notices a dead one.
    platform::tcpSend(clientState.connection, write);
}

std::vector<std::string> readServerMessages() {
    std::vector<std::string> complete;
    const uint32_t handle = clientState.connection;
    if (handle == 0) return complete;
    const platform::SocketState state = platform::socketState(handle);
    if (state == platform::SocketState::Idle) return complete;
    char buffer[ReadLimit];
    const int n =
        state == platform::SocketState::Readable ? platform::tcpRead(handle, buffer, ReadLimit) : 0;
    if (n <= 0) {
        sessionBroke();
        return complete;
    }
    // Even the first half of a message shows that the server is alive.
    clearFlag(flag::PingOutstanding);
    splitter.feed(std::string_view(buffer, static_cast<std::size_t>(n)),
                  [&](std::string_view message, bool cut) {
                      if (!message.empty() && !cut) complete.emplace_back(message);
                  });
    return complete;
}

void PollServer() {
    const std::vector<std::string> complete = readServerMessages();
    if (!complete.empty()) DispatchServerData(complete);
}

void KeepAlive() {
    const uint32_t now = platform::tickCount();
    if (platform::ticksSince(lastKeepAlive, now) <= static_cast<int32_t>(KeepAliveInterval)) return;
    if (!hasFlag(flag::PingOutstanding)) {
        if (!hasOption(opt::NoPing)) {
            SendCommand(wire::ping(text(clientState.nick)));
            setFlag(flag::PingOutstanding);
        }
    } else {
        ports().status(ui(Txt::PingTimeout));
        sessionBroke();
    }
    restartKeepAlive();
}

uint32_t repairWait() {
    if (!brokeAt) return NoRepairPending;
    const int32_t since = platform::ticksSince(*brokeAt, platform::tickCount());
    // A start in the future (it never is) must not postpone the repair.
    if (since < 0) return RepairDelay;
    return since >= static_cast<int32_t>(RepairDelay) ? 0
                                                      : RepairDelay - static_cast<uint32_t>(since);
}

void RepairStep() {
    if (repairWait() != 0) return;
    brokeAt.reset();
    repairSession();
}

void repairSession() {
    if (!Connect(clientState, chatServerHost(), chatServerPort())) return;
    const std::string name(text(clientState.profileName));
    Login(name, text(clientState.password));
    rejoinOpenRooms();
    SendCommand(wire::roomList());
    restartKeepAlive();
    setText(&ClientState::nick, name);
    // The probe of the new session must be answered like any other.
    SendCommand(wire::ping(name));
    setFlag(flag::PingOutstanding);
}

bool openSession() {
    if (!Connect(clientState, chatServerHost(), chatServerPort())) return false;
    Login(text(clientState.profileName), text(clientState.password));
    rejoinOpenRooms();
    restartKeepAlive();
    return true;
}

void Disconnect() {
    if (clientState.connection == 0) return;
    AvailableRooms.clear();
    // Each room sends its LEAVE while the connection is still open and
    // takes itself out of joinedRooms.
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        ports().roomDestroy(room);
    dropConnection();
    ports().status(ui(Txt::Disconnected));
}

bool uploadProfile() {
    // Only a registered user has a server profile to update.
    if (!hasFlag(flag::LoggedIn) || hasFlag(flag::Guest)) return false;
    SendCommand(wire::profileUpload(text(clientState.password), colourToHex(clientState.nameColour),
                                    text(clientState.infoFields), text(clientState.ownRemarks)));
    ports().status(ui(Txt::ProfileUploaded, text(clientState.profileName)));
    return true;
}

void ProfileUploadStep() {
    if (!hasFlag(flag::ProfileUploadPending)) return;
    if (hasFlag(flag::Connected)) {
        if (!hasFlag(flag::LoggedIn)) return;
        if (hasFlag(flag::RegisterPending) && hasFlag(flag::Guest)) {
            clearFlag(flag::Guest);
            uploadProfile();
            ports().status(ui(Txt::Registered, text(clientState.profileName)));
            clearFlag(flag::RegisterPending);
        } else {
            uploadProfile();
        }
        // A request to register that found the user registered already is
        // done too: left standing, it would register whatever guest name a
        // later upload finds, unasked.
        clearFlag(flag::RegisterPending);
        clearFlag(flag::ProfileUploadPending);
        return;
    }
    if (!platform::askYesNo(ui(Txt::Question), ui(Txt::ConnectQuestion))) {
        clearFlag(flag::ProfileUploadPending);
        return;
    }
    openSession();
}

}  // namespace kavel
