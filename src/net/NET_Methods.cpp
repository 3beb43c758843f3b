// The session with the chat server: connect, login, commands, polling with
// reassembly of the byte stream, keep-alive with one reconnect, disconnect.
#include "net/NET_Methods.h"

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/gadgets.h"
#include "platform/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/GUI_Methods.h"
#include "ui/profile.h"

namespace kavel {

uint32_t lastKeepAlive = 0;

namespace {

std::string serverHost = "localhost";
int serverPort = ServerPort;
DataSink dataSink = nullptr;

// The start of a message whose end has not arrived yet.
std::string pending;
// A peer that never ends its message must not make us hold megabytes; a
// message this long is broken anyway and is dropped.
constexpr std::size_t kMaxPending = 64 * 1024;

bool isTerminator(char c) {
    return c == '\r' || c == '\0';
}

void hand(const std::string& data) {
    if (dataSink)
        dataSink(data);
    else
        DispatchServerData(data);
}

void dropConnection() {
    platform::tcpClose(clientState.connection);
    clientState.connection = 0;
    pending.clear();
    clearFlag(flag::Connected);
    clearFlag(flag::LoggedIn);
    clearFlag(flag::Guest);
}

void reconnectAfterTimeout() {
    statusMessage(ui(Txt::PingTimeout));
    dropConnection();
    statusMessage(ui(Txt::Disconnected));
    const std::string notice = ui(Txt::UserDropped, text(clientState.nick));
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        roomPrint(room, notice);
    platform::sleepMs(500);
    if (!Connect(clientState, chatServerHost(), chatServerPort())) {
        clearFlag(flag::PingOutstanding);
        // Offline the loop no longer looks at MenuDirty; without this the
        // menu would go on offering "Trennen".
        buildMainMenu();
        return;
    }
    const std::string name(text(clientState.profileName));
    Login(name, text(clientState.password));
    for (ChatRoom* room : joinedRooms)
        SendCommand("JOIN " + roomGetName(room));
    SendCommand("ROOMLIST");
    restartKeepAlive();
    setText(&ClientState::nick, name);
    SendCommand("DIRECT " + name + " P");
}

}  // namespace

const std::string& chatServerHost() {
    return serverHost;
}
void setChatServerHost(std::string host) {
    serverHost = host.empty() ? std::string("localhost") : std::move(host);
}
int chatServerPort() {
    return serverPort;
}
void setChatServerPort(int port) {
    serverPort = port;
}

void setDataSink(DataSink sink) {
    dataSink = sink;
}

std::size_t pendingServerBytes() {
    return pending.size();
}

void restartKeepAlive() {
    lastKeepAlive = platform::tickCount();
}

int Connect(ClientState& state, const std::string& host, int port) {
    if (hasFlag(flag::NoNetwork)) {
        statusMessage(ui(Txt::ConnectNoStack));
        return 0;
    }
    if (state.connection != 0) {
        // Never leak the old socket; the caller wants a fresh session.
        platform::tcpClose(state.connection);
        state.connection = 0;
    }
    pending.clear();
    state.connection = platform::tcpConnect(host, port);
    if (state.connection == 0) {
        clearFlag(flag::Connected);
        statusMessage(ui(Txt::ConnectFailed, host));
        return 0;
    }
    setFlag(flag::Connected);
    statusMessage(ui(Txt::ConnectOk, host));
    platform::sleepMs(5);
    return 1;
}

void Login(std::string_view name, std::string_view password) {
    if (!hasFlag(flag::Connected) || name.empty()) return;
    std::string write = "LOGIN ";
    write.append(name);
    write.push_back(' ');
    write.append(password);
    write.append(" [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO ");
    write.append(name);
    SendCommand(write);
    setFlag(flag::OwnInfoPending);
}

void JoinRoom(std::string_view roomText) {
    if (!hasFlag(flag::LoggedIn)) return;
    std::string write = "JOIN ";
    write.append(roomText);
    write.append("\rROOMLIST");
    SendCommand(write);
}

void SendCommand(std::string_view command) {
    if (clientState.connection == 0) return;
    std::string write(command);
    write.push_back('\r');
    // A failed send is not reported: the keep-alive time-out notices a dead
    // connection and reconnects.
    platform::tcpSend(clientState.connection, write);
}

void PollServer() {
    const uint32_t handle = clientState.connection;
    if (handle == 0 || !platform::dataWaiting(handle)) return;
    std::vector<char> buffer(ReadLimit);
    const int n = platform::tcpRead(handle, buffer.data(), ReadLimit);
    if (n <= 0) return;
    // Even the first half of a message shows that the server is alive.
    clearFlag(flag::PingOutstanding);

    pending.append(buffer.data(), static_cast<std::size_t>(n));
    std::string complete;
    std::size_t start = 0;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (!isTerminator(pending[i])) continue;
        if (i > start) {
            if (!complete.empty()) complete.push_back('\r');
            complete.append(pending, start, i - start);
        }
        start = i + 1;
    }
    pending.erase(0, start);
    if (pending.size() > kMaxPending) pending.clear();
    if (!complete.empty()) hand(complete);
}

void KeepAlive() {
    const uint32_t now = platform::tickCount();
    if (platform::ticksSince(lastKeepAlive, now) <= static_cast<int32_t>(KeepAliveInterval)) return;
    if (!hasFlag(flag::PingOutstanding)) {
        if (!hasOption(opt::NoPing)) {
            SendCommand("DIRECT " + std::string(text(clientState.nick)) + " P");
            setFlag(flag::PingOutstanding);
        }
    } else {
        reconnectAfterTimeout();
    }
    restartKeepAlive();
}

void Disconnect() {
    if (clientState.connection == 0) return;
    AvailableRooms.clear();
    // Each room sends its LEAVE while the connection is still open and
    // takes itself out of joinedRooms.
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        roomDestroy(room);
    dropConnection();
    statusMessage(ui(Txt::Disconnected));
    buildMainMenu();
}

void ProfileUploadStep() {
    if (!hasFlag(flag::ProfileUploadPending)) return;
    if (hasFlag(flag::Connected)) {
        if (!hasFlag(flag::LoggedIn)) return;
        if (hasFlag(flag::RegisterPending) && hasFlag(flag::Guest)) {
            clearFlag(flag::Guest);
            uploadProfile();
            statusMessage(ui(Txt::Registered, text(clientState.profileName)));
            clearFlag(flag::RegisterPending);
        } else {
            uploadProfile();
        }
        clearFlag(flag::ProfileUploadPending);
        return;
    }
    if (!platform::askYesNo(ui(Txt::Question), ui(Txt::ConnectQuestion))) {
        clearFlag(flag::ProfileUploadPending);
        return;
    }
    if (Connect(clientState, chatServerHost(), chatServerPort())) {
        Login(text(clientState.profileName), text(clientState.password));
        restartKeepAlive();
    }
}

}  // namespace kavel
