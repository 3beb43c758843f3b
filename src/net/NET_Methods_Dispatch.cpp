// Applying decoded server messages to the program, with the flood guard
// woven in. Everything outside the network layer is reached through the
// session's ports.
#include <algorithm>
#include <deque>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/cp1252.h"
#include "common/data.h"
#include "common/misc.h"
#include "common/ports.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Decode.h"
#include "net/wire.h"
#include "objects/agent_chain.h"
#include "system/services.h"

namespace kavel {

namespace {

// Plug-ins see the data of one read as the server sent it, messages
// separated by carriage returns, and may rewrite all of it.
std::vector<std::string> throughPlugins(const std::vector<std::string>& messages) {
    if (AgentList.empty()) return messages;
    std::string data;
    for (const std::string& m : messages)
        data += m + '\r';
    data = runProcessRCmd(std::move(data));
    std::vector<std::string> out;
    for (std::size_t start = 0; start < data.size();) {
        std::size_t end = data.find('\r', start);
        if (end == std::string::npos) end = data.size();
        out.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

struct Reply {
    Txt text;
    enum Effect { None, Disconnect, Guest, LoggedIn, Rename } effect;
};
constexpr Reply kReplies[14] = {
    {Txt::LoginBadName, Reply::Disconnect},
    {Txt::LoginRefused, Reply::Disconnect},
    {Txt::WelcomeGuest, Reply::Guest},
    {Txt::LoginOk, Reply::LoggedIn},
    {Txt::LoginBadPassword, Reply::Disconnect},
    {Txt::LoginNameTaken, Reply::Disconnect},
    {Txt::AdminOk, Reply::None},
    {Txt::AdminFailed, Reply::None},
    {Txt::RoomOpened, Reply::None},
    {Txt::NoAdminRights, Reply::None},
    {Txt::NameChangeFailed, Reply::None},
    {Txt::NameChanged, Reply::Rename},
    {Txt::RoomBadPassword, Reply::None},
    {Txt::NameTooShort, Reply::None},
};

void userInfoLines(const SessionPorts& ports, std::initializer_list<std::string_view> lines) {
    for (auto line : lines)
        ports.userInfoLine(line);
}

}  // namespace

ChatRoom* Session::findRoom(const std::string& name) {
    for (ChatRoom* room : joinedRooms)
        if (ports_.roomName(room) == name) return room;
    return nullptr;
}

// Null when the room cannot be shown.
ChatRoom* Session::openRoom(const std::string& name) {
    if (unopenable_.count(name)) return nullptr;
    ports_.status(ui(Txt::RoomEntered, name));
    ChatRoom* room = ports_.createRoom(name);
    if (!room) {
        unopenable_.insert(name);
        ports_.status(ui(Own::RoomWindowFailed, name));
        send(wire::leaveOnly(name));
        return nullptr;
    }
    clientState.focusedInput = static_cast<uint32_t>(ports_.roomInput(room));
    setFlag(flag::MenuDirty);
    return room;
}

// The room a room message is for: a joined one, or one the server puts the
// user in, opened at its first mention. With the shields up no room opens:
// the client leaves it again at once. Null drops the message (also when a
// room's window could not be built).
ChatRoom* Session::roomFor(const std::string& name) {
    if (ChatRoom* found = findRoom(name)) return found;
    if (hasFlag(flag::ShieldsUp)) {
        send(wire::leaveOnly(name));
        return nullptr;
    }
    return openRoom(name);
}

void Session::toRoom(const ServerMessage& m) {
    ChatRoom* room = roomFor(m.room);
    if (!room) return;
    if (m.kind == MessageKind::Chat)
        ports_.roomPrint(room, m.text);
    else if (m.kind == MessageKind::UserList)
        ports_.roomAddUser(room, m.text);
    else
        ports_.roomClearUsers(room);
}

// --- flood guard ---

void Session::floodReleaseCheck() {
    if (int64_t(platform::localSeconds()) - int64_t(flood_.lastDirect) > 5) {
        flood_.directCount = 0;
        if (hasFlag(flag::ShieldsUp)) {
            clearFlag(flag::ShieldsUp);
            ports_.status(ui(Txt::ShieldsDown));
        }
    }
}

void Session::floodCount(const ServerMessage& message) {
    flood_.directCount += 1;
    flood_.lastDirect = platform::localSeconds();
    setFlag(flag::DirectPending);
    flood_.keptDirect = message;
}

// --- messages ---

void Session::numberedReply(const ServerMessage& message) {
    const Reply& r = kReplies[message.number];
    const std::string login(text(clientState.profileName));
    switch (r.effect) {
        case Reply::None:
            ports_.status(ui(r.text));
            break;
        case Reply::Disconnect:
            ports_.status(ui(r.text));
            disconnect();
            break;
        case Reply::Guest:
            ports_.status(ui(r.text, login));
            ports_.status(ui(Txt::PleaseRegister));
            setFlag(flag::Guest);
            setFlag(flag::LoggedIn);
            break;
        case Reply::LoggedIn:
            ports_.status(ui(r.text, login));
            setFlag(flag::LoggedIn);
            break;
        case Reply::Rename: {
            const std::string& nick = message.text;
            ports_.status(ui(r.text, nick));
            setText(&ClientState::nick, nick);
            break;
        }
    }
}

void Session::profileValue(const ServerMessage& message) {
    const MessageKind kind = message.kind;
    const bool own = hasFlag(flag::OwnInfoPending);
    const std::string& f2 = message.value;
    const std::string& rest = message.text;
    if (kind == MessageKind::UserName) {
        if (f2 == text(clientState.profileName))
            setFlag(flag::OwnInfoPending);
        else
            ports_.openUserInfo(ui(Txt::UserInfoTitle, f2));
        return;
    }
    if (own) {
        switch (kind) {
            case MessageKind::UserRank:
                clientState.rank = cp1252::decimalValue(f2);
                break;
            case MessageKind::UserLogin:
                setText(&ClientState::lastLogin, rest);
                break;
            case MessageKind::UserScore:
                clientState.chatPoints = cp1252::decimalValue(f2);
                break;
            case MessageKind::UserColor:
                clientState.nameColour = hexToColour(f2);
                break;
            case MessageKind::UserData1:
                setText(&ClientState::infoFields, rest);
                break;
            case MessageKind::UserData2:
                setText(&ClientState::ownRemarks, rest);
                break;
            case MessageKind::UserData3:
                setText(&ClientState::adminRemarks, rest);
                clearFlag(flag::OwnInfoPending);
                break;
            default:
                break;
        }
        return;
    }
    if (!ports_.userInfoOpen()) return;
    switch (kind) {
        case MessageKind::UserRank:
            userInfoLines(ports_,
                          {ui(Txt::InfoGeneral), "-------", ui(Txt::InfoRank) + std::string(f2)});
            break;
        case MessageKind::UserLogin:
            ports_.userInfoLine(ui(Txt::InfoLastLogin) + std::string(rest));
            break;
        case MessageKind::UserScore:
            ports_.userInfoLine(ui(Txt::InfoPoints) + std::string(f2));
            break;
        case MessageKind::UserData1: {
            userInfoLines(ports_, {"", ui(Txt::InfoOptional), "-------"});
            static constexpr Txt kLabels[] = {Txt::InfoHobbies, Txt::InfoEmail, Txt::InfoLocation,
                                              Txt::InfoIcq, Txt::InfoHomepage};
            for (int i = 0; i < 5; ++i) {
                std::string_view value = field(rest, i + 1, '\x0b');
                if (!value.empty()) ports_.userInfoLine(ui(kLabels[i]) + std::string(value));
            }
            break;
        }
        case MessageKind::UserData2:
            if (!rest.empty())
                userInfoLines(ports_, {"", ui(Txt::InfoOwnRemarks), "-------", rest});
            break;
        case MessageKind::UserData3:
            if (!rest.empty())
                userInfoLines(ports_, {"", ui(Txt::InfoAdminRemarks), "-------", rest});
            break;
        case MessageKind::UserStatus:
            userInfoLines(ports_, {"", "User " + std::string(f2)});
            break;
        default:
            break;
    }
}

// Carries out the kept DIRECT now that its sender line is here.
void Session::directAction(const std::string& sender) {
    const ServerMessage kept = flood_.keptDirect;
    const std::string& kindText = kept.value;
    if (kindText == "SHOCK") {
        if (sender.empty()) return;
        ports_.playSound(sound::Shock);
        ports_.status(ui(Txt::Shocked, sender));
    } else if (kindText == "PRIVATE") {
        const std::string& room = kept.text;
        if (!room.empty()) send(wire::joinOnly(room));
    } else if (kindText == "WAKEUP") {
        if (sender.empty()) return;
        ports_.playSound(sound::WakeUp);
        ports_.status(ui(Txt::WokenUp, sender));
    }
}

void Session::dispatch(const std::vector<std::string>& received) {
    std::vector<std::string> messages = throughPlugins(received);
    // An empty message (a plug-in may make one) ends the read.
    messages.erase(std::find(messages.begin(), messages.end(), std::string()), messages.end());
    clearFlag(flag::PingOutstanding);
    // A read that comes while an earlier one waits for its answer waits
    // behind it. (poll asks before it reads again: only a caller of
    // dispatch alone gets here.)
    if (questionPending()) {
        laterReads_.push_back(std::move(messages));
        return;
    }
    applyRead(std::move(messages));
}

void Session::askPending() {
    while (questionPending()) {
        // Taken out before the dialog: whatever runs while it is open finds
        // nothing left to ask.
        PendingQuestion q = std::exchange(pending_, {});
        if (q.kind == PendingQuestion::Kicked) {
            ports_.tell(ui(Txt::MessageTitle), q.text);
            applyMessages(std::move(q.rest));
        } else if (ports_.ask(ui(Txt::InfoTitle), ui(Txt::FloodQuestion, q.text))) {
            // The shields go up and the rest of that read goes unseen.
            ports_.status(ui(Txt::ShieldsUp));
            setFlag(flag::ShieldsUp);
        } else {
            directAction(q.text);
            applyMessages(std::move(q.rest));
        }
        while (!questionPending() && !laterReads_.empty()) {
            std::vector<std::string> next = std::move(laterReads_.front());
            laterReads_.pop_front();
            applyRead(std::move(next));
        }
    }
}

// What waits was read on a connection that is gone.
void Session::dropPending() {
    pending_ = {};
    laterReads_.clear();
}

void Session::applyRead(std::vector<std::string> messages) {
    floodReleaseCheck();
    applyMessages(std::move(messages));
}

void Session::applyMessages(std::vector<std::string> messages) {
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const ServerMessage m = decodeMessage(messages[i]);
        // A message whose question waits stops the read; the rest is kept.
        auto stopFor = [&](PendingQuestion::Kind kind, const std::string& text) {
            pending_.kind = kind;
            pending_.text = text;
            pending_.rest.assign(std::make_move_iterator(messages.begin() + i + 1),
                                 std::make_move_iterator(messages.end()));
        };
        switch (m.kind) {
            case MessageKind::Chat:
            case MessageKind::UserList:
            case MessageKind::UserListClear:
                toRoom(m);
                break;
            case MessageKind::RoomListStart:
                AvailableRooms.clear();
                break;
            case MessageKind::RoomList:
                AvailableRooms.push_back(AvailableRoom{m.room, m.users, m.password, 0});
                break;
            case MessageKind::RoomListEnd:
                ++roomLists_;
                setFlag(flag::MenuDirty);
                break;
            case MessageKind::Kicked:
                ports_.status(ui(Txt::Kicked));
                disconnect();
                if (!m.value.empty()) return stopFor(PendingQuestion::Kicked, m.text);
                break;
            case MessageKind::Numbered:
                numberedReply(m);
                break;
            case MessageKind::BanAdded:
                ports_.status(ui(Txt::BanAdded));
                break;
            case MessageKind::BanRemoved:
                ports_.status(ui(Txt::BanRemoved));
                break;
            case MessageKind::UserName:
            case MessageKind::UserRank:
            case MessageKind::UserLogin:
            case MessageKind::UserScore:
            case MessageKind::UserColor:
            case MessageKind::UserData1:
            case MessageKind::UserData2:
            case MessageKind::UserData3:
            case MessageKind::UserStatus:
                profileValue(m);
                break;
            case MessageKind::Direct:
                floodCount(m);
                break;
            case MessageKind::Unknown:
                if (hasFlag(flag::DirectPending) && !hasFlag(flag::ShieldsUp)) {
                    clearFlag(flag::DirectPending);
                    // Past three quick DIRECTs the user decides whether
                    // this one is still carried out.
                    if (flood_.directCount > 3) return stopFor(PendingQuestion::Flood, m.text);
                    directAction(m.text);
                }
                break;
        }
    }
}

}  // namespace kavel
