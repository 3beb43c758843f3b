// The session with the chat server: connect, login, commands, polling with
// reassembly of the byte stream, keep-alive with one reconnect, disconnect.
#include "net/NET_Methods.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/line_splitter.h"
#include "common/misc.h"
#include "net/NET_Methods_Tls.h"
#include "net/wire.h"
#include "system/clock.h"
#include "system/resolve.h"
#include "system/socket.h"

namespace kavel {

namespace {

// Live sessions in the order they were built; the last is the program's.
std::vector<Session*> live;

// A carriage return or a NUL ends a message. A peer that never ends its
// message must not make us hold megabytes; such a message is dropped.
constexpr LineSplitter::Rules kMessageRules{std::string_view("\r\0", 2), {}, MaxMessage};

}  // namespace

Session::Session(SessionPorts ports) : ports_(std::move(ports)), splitter_(kMessageRules) {
    live.push_back(this);
}

Session::~Session() {
    std::erase(live, this);
    if (connection_ == 0) return;
    platform::tcpClose(connection_);
    if (clientState.connection == connection_) clientState.connection = 0;
}

Session& session() {
    // Start-up builds one before anything can reach here.
    if (live.empty()) std::abort();
    return *live.back();
}

void Session::setHost(std::string host) {
    host_ = host.empty() ? std::string("localhost") : std::move(host);
}

int Session::port() const {
    if (port_ != 0) return port_;
    return tls_ ? TlsServerPort : ServerPort;
}

void Session::dropConnection() {
    platform::tcpClose(connection_);
    connection_ = 0;
    clientState.connection = 0;
    splitter_.clear();
    dropPending();
    clearFlag(flag::Connected);
    clearFlag(flag::LoggedIn);
    clearFlag(flag::Guest);
    clearFlag(flag::PingOutstanding);
    // Offline the menu must offer "Verbinden" again.
    setFlag(flag::MenuDirty);
}

// The session broke under us: say so in the log and in every open room,
// then try once to get it back, after a pause the main loop waits out.
void Session::broke() {
    dropConnection();
    ports_.status(ui(Txt::Disconnected));
    const std::string notice = ui(Txt::UserDropped, text(clientState.nick));
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        ports_.roomPrint(room, notice);
    brokeAt_ = platform::tickCount();
}

void Session::rejoinOpenRooms() {
    for (ChatRoom* room : joinedRooms)
        send(wire::joinOnly(ports_.roomName(room)));
}

void Session::restartKeepAlive() {
    lastKeepAlive_ = platform::tickCount();
}

uint32_t Session::keepAliveWait() const {
    // The check fires strictly after the interval; a start in the future
    // (it never is) must not make the loop spin.
    const int32_t since = platform::ticksSince(lastKeepAlive_, platform::tickCount());
    if (since < 0) return KeepAliveInterval;
    if (since > static_cast<int32_t>(KeepAliveInterval)) return 0;
    return KeepAliveInterval - static_cast<uint32_t>(since) + 1;
}

bool Session::connect(const std::string& host, int port) {
    // Whoever connects now (the menu, the profile question) makes a pending
    // repair moot.
    brokeAt_.reset();
    if (hasFlag(flag::NoNetwork)) {
        ports_.status(ui(Txt::ConnectNoStack));
        return false;
    }
    if (connection_ != 0) {
        // Never leak the old socket; the caller wants a fresh session.
        platform::tcpClose(connection_);
        connection_ = 0;
        clientState.connection = 0;
    }
    splitter_.clear();
    dropPending();
    const platform::ResolvedHost to = platform::resolveHost(
        host, port, platform::kResolveTimeoutMs, platform::WaitHooks{ports_.wait, ports_.wake});
    if (to.outcome == platform::ResolvedHost::TimedOut) {
        clearFlag(flag::Connected);
        ports_.status(ui(Own::LookupTimedOut, host));
        return false;
    }
    const uint32_t handle = platform::tcpConnect(to);
    if (handle == 0) {
        clearFlag(flag::Connected);
        ports_.status(ui(Txt::ConnectFailed, host));
        return false;
    }
    // Nothing of ours, the login least of all, goes out before the server
    // has shown a certificate we may trust.
    if (tls_ && !secureConnection(ports_, handle, host, port)) {
        platform::tcpClose(handle);
        clearFlag(flag::Connected);
        return false;
    }
    connection_ = handle;
    clientState.connection = handle;
    setFlag(flag::Connected);
    setFlag(flag::MenuDirty);
    ports_.status(ui(Txt::ConnectOk, host));
    platform::sleepMs(5);
    return true;
}

void Session::login(std::string_view name, std::string_view password) {
    if (!hasFlag(flag::Connected) || name.empty()) return;
    send(wire::login(name, password));
    setFlag(flag::OwnInfoPending);
}

void Session::joinRoom(std::string_view roomText) {
    if (!hasFlag(flag::LoggedIn)) return;
    send(wire::join(roomText));
}

void Session::send(std::string_view command) {
    if (connection_ == 0) return;
    std::string write(command);
    write.push_back('\r');
    // A failed send is not reported here: the next poll sees the closed
    // connection, or the keep-alive notices a dead one.
    platform::tcpSend(connection_, write);
}

std::vector<std::string> Session::readMessages() {
    std::vector<std::string> complete;
    if (connection_ == 0) return complete;
    const platform::SocketState state = platform::socketState(connection_);
    if (state == platform::SocketState::Idle) return complete;
    char buffer[ReadLimit];
    const int n = state == platform::SocketState::Readable
                      ? platform::tcpRead(connection_, buffer, ReadLimit)
                      : 0;
    if (n <= 0) {
        broke();
        return complete;
    }
    // Even the first half of a message shows that the server is alive.
    clearFlag(flag::PingOutstanding);
    splitter_.feed(std::string_view(buffer, static_cast<std::size_t>(n)),
                   [&](std::string_view message, bool cut) {
                       if (!message.empty() && !cut) complete.emplace_back(message);
                   });
    return complete;
}

void Session::poll() {
    const std::vector<std::string> complete = readMessages();
    if (!complete.empty()) dispatch(complete);
    // A question of the read is asked once its dispatch is done.
    askPending();
}

void Session::keepAlive() {
    if (keepAliveWait() != 0) return;
    if (!hasFlag(flag::PingOutstanding)) {
        if (!hasOption(opt::NoPing)) {
            send(wire::ping(text(clientState.nick)));
            setFlag(flag::PingOutstanding);
        }
    } else {
        ports_.status(ui(Txt::PingTimeout));
        broke();
    }
    restartKeepAlive();
}

uint32_t Session::repairWait() const {
    if (!brokeAt_) return NoRepairPending;
    const int32_t since = platform::ticksSince(*brokeAt_, platform::tickCount());
    // A start in the future (it never is) must not postpone the repair.
    if (since < 0) return RepairDelay;
    return since >= static_cast<int32_t>(RepairDelay) ? 0
                                                      : RepairDelay - static_cast<uint32_t>(since);
}

void Session::repairStep() {
    if (repairWait() != 0) return;
    brokeAt_.reset();
    repair();
}

void Session::repair() {
    if (!connect(host(), port())) return;
    const std::string name(text(clientState.profileName));
    login(name, text(clientState.password));
    rejoinOpenRooms();
    send(wire::roomList());
    restartKeepAlive();
    setText(&ClientState::nick, name);
    // The probe of the new session must be answered like any other.
    send(wire::ping(name));
    setFlag(flag::PingOutstanding);
}

bool Session::open() {
    if (!connect(host(), port())) return false;
    login(text(clientState.profileName), text(clientState.password));
    rejoinOpenRooms();
    restartKeepAlive();
    return true;
}

void Session::disconnect() {
    if (connection_ == 0) return;
    AvailableRooms.clear();
    // Each room sends its LEAVE while the connection is still open and
    // takes itself out of joinedRooms.
    for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
        ports_.roomDestroy(room);
    dropConnection();
    ports_.status(ui(Txt::Disconnected));
}

bool Session::uploadProfile() {
    // Only a registered user has a server profile to update.
    if (!hasFlag(flag::LoggedIn) || hasFlag(flag::Guest)) return false;
    send(wire::profileUpload(text(clientState.password), colourToHex(clientState.nameColour),
                             text(clientState.infoFields), text(clientState.ownRemarks)));
    ports_.status(ui(Txt::ProfileUploaded, text(clientState.profileName)));
    return true;
}

void Session::profileUploadStep() {
    if (!hasFlag(flag::ProfileUploadPending)) return;
    if (hasFlag(flag::Connected)) {
        if (!hasFlag(flag::LoggedIn)) return;
        if (hasFlag(flag::RegisterPending) && hasFlag(flag::Guest)) {
            clearFlag(flag::Guest);
            uploadProfile();
            ports_.status(ui(Txt::Registered, text(clientState.profileName)));
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
    if (!ports_.ask(ui(Txt::Question), ui(Txt::ConnectQuestion))) {
        clearFlag(flag::ProfileUploadPending);
        return;
    }
    open();
}

}  // namespace kavel
