// The dispatch of server data and the flood guard woven into it.
#include <ctime>

#include "core/OS_Dependant.h"
#include "core/data.h"
#include "net/NET_Dispatch.h"
#include "net/NET_Methods.h"
#include "objects/agent_chain.h"
#include "platform/gadgets.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods.h"
#include "ui/GUI_UserInfo.h"
#include "ui/misc.h"

namespace kavel {

FloodState floodState;

namespace {

DispatchPorts realPorts() {
    DispatchPorts p;
    p.status = [](std::string_view t) { statusMessage(t); };
    p.send = [](std::string_view t) { SendCommand(t); };
    p.disconnect = [] { Disconnect(); };
    p.messageBox = [](std::string_view title, std::string_view t) {
        platform::messageBox(title, t);
    };
    p.askYesNo = [](std::string_view title, std::string_view t) {
        return platform::askYesNo(title, t);
    };
    p.playSound = [](int n) { playSound(n); };
    p.nowSeconds = [] { return static_cast<uint32_t>(std::time(nullptr)); };
    p.createRoom = [](const std::string& name) { return newChatRoom(name); };
    p.roomName = [](ChatRoom* r) { return roomGetName(r); };
    p.roomPrint = [](ChatRoom* r, const std::string& t) { roomPrint(r, t); };
    p.roomAddUser = [](ChatRoom* r, const std::string& t) { roomAddUser(r, t); };
    p.roomClearUsers = [](ChatRoom* r) { roomClearUsers(r); };
    p.roomInput = [](ChatRoom* r) { return roomInputControl(r); };
    p.openUserInfo = [](std::string_view title) {
        openUserInfoWindow();
        setUserInfoTitle(title);
    };
    p.userInfoOpen = [] { return userInfoWindowOpen(); };
    p.userInfoLine = [](std::string_view line) { appendUserInfoLine(line); };
    return p;
}

DispatchPorts& ports() {
    static DispatchPorts p = realPorts();
    return p;
}

// --- flood guard ---

void floodReleaseCheck() {
    auto& p = ports();
    if (int64_t(p.nowSeconds()) - int64_t(floodState.lastDirect) > 5) {
        floodState.directCount = 0;
        if (hasFlag(flag::ShieldsUp)) {
            clearFlag(flag::ShieldsUp);
            p.status(ui(Txt::ShieldsDown));
        }
    }
}

void floodCount(std::string_view message) {
    floodState.directCount += 1;
    floodState.lastDirect = ports().nowSeconds();
    setFlag(flag::DirectPending);
    floodState.keptDirect.assign(message);
}

// True when the user chose to raise the shields: the rest of the read goes.
bool floodQuestion(std::string_view sender) {
    auto& p = ports();
    if (floodState.directCount <= 3) return false;
    if (!p.askYesNo(ui(Txt::InfoTitle), ui(Txt::FloodQuestion, sender))) return false;
    p.status(ui(Txt::ShieldsUp));
    setFlag(flag::ShieldsUp);
    return true;
}

// --- messages ---

enum class Kind {
    Unknown,
    Chat,
    UserList,
    UserListClear,
    RoomListStart,
    RoomList,
    RoomListEnd,
    Kicked,
    Numbered,  // [0]- .. [13]-
    BanAdded,
    BanRemoved,
    UserName,
    UserRank,
    UserLogin,
    UserScore,
    UserColor,
    UserData1,
    UserData2,
    UserData3,
    UserStatus,
    Direct,
};

Kind kindOf(const std::string& keyword, int& number) {
    struct Entry {
        std::string_view word;
        Kind kind;
    };
    static constexpr Entry kWords[] = {
        {"CHAT", Kind::Chat},
        {"USERLIST", Kind::UserList},
        {"USERLIST_CLEAR", Kind::UserListClear},
        {"ROOMLIST_START", Kind::RoomListStart},
        {"ROOMLIST", Kind::RoomList},
        {"ROOMLIST_END", Kind::RoomListEnd},
        {"KICKED", Kind::Kicked},
        {"BAN_ADDED", Kind::BanAdded},
        {"BAN_REMOVED", Kind::BanRemoved},
        {"USER_NAME", Kind::UserName},
        {"USER_RANK", Kind::UserRank},
        {"USER_LOGIN", Kind::UserLogin},
        {"USER_SCORE", Kind::UserScore},
        {"USER_COLOR", Kind::UserColor},
        {"USER_DATA1", Kind::UserData1},
        {"USER_DATA2", Kind::UserData2},
        {"USER_DATA3", Kind::UserData3},
        {"USER_STATUS", Kind::UserStatus},
        {"DIRECT", Kind::Direct},
    };
    for (const auto& e : kWords)
        if (keyword == e.word) return e.kind;
    // "[n]-" with n from 0 to 13, written without leading zeros
    if (keyword.size() >= 4 && keyword.size() <= 5 && keyword.front() == '[' &&
        keyword.compare(keyword.size() - 2, 2, "]-") == 0) {
        std::string_view digits(keyword.data() + 1, keyword.size() - 3);
        if (digits.size() == 2 && digits[0] == '0') return Kind::Unknown;
        int n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return Kind::Unknown;
            n = n * 10 + (c - '0');
        }
        if (n <= 13) {
            number = n;
            return Kind::Numbered;
        }
    }
    return Kind::Unknown;
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

void numberedReply(int n, std::string_view message) {
    auto& p = ports();
    const Reply& r = kReplies[n];
    const std::string login(text(clientState.profileName));
    switch (r.effect) {
        case Reply::None:
            p.status(ui(r.text));
            break;
        case Reply::Disconnect:
            p.status(ui(r.text));
            p.disconnect();
            break;
        case Reply::Guest:
            p.status(ui(r.text, login));
            p.status(ui(Txt::PleaseRegister));
            setFlag(flag::Guest);
            setFlag(flag::LoggedIn);
            break;
        case Reply::LoggedIn:
            p.status(ui(r.text, login));
            setFlag(flag::LoggedIn);
            break;
        case Reply::Rename: {
            const std::string nick(field(message, 5));
            p.status(ui(r.text, nick));
            setText(&ClientState::nick, nick);
            break;
        }
    }
}

void userInfoLines(std::initializer_list<std::string_view> lines) {
    auto& p = ports();
    for (auto line : lines)
        p.userInfoLine(line);
}

void profileValue(Kind kind, std::string_view message) {
    auto& p = ports();
    const bool own = hasFlag(flag::OwnInfoPending);
    const std::string_view f2 = field(message, 2);
    const std::string_view rest = tail(message, 11);
    if (kind == Kind::UserName) {
        if (f2 == text(clientState.profileName))
            setFlag(flag::OwnInfoPending);
        else
            p.openUserInfo(ui(Txt::UserInfoTitle, f2));
        return;
    }
    if (own) {
        switch (kind) {
            case Kind::UserRank:
                clientState.rank = decimalValue(f2);
                break;
            case Kind::UserLogin:
                setText(&ClientState::lastLogin, rest);
                break;
            case Kind::UserScore:
                clientState.chatPoints = decimalValue(f2);
                break;
            case Kind::UserColor:
                clientState.nameColour = hexToColour(f2);
                break;
            case Kind::UserData1:
                setText(&ClientState::infoFields, rest);
                break;
            case Kind::UserData2:
                setText(&ClientState::ownRemarks, rest);
                break;
            case Kind::UserData3:
                setText(&ClientState::adminRemarks, rest);
                clearFlag(flag::OwnInfoPending);
                break;
            default:
                break;
        }
        return;
    }
    if (!p.userInfoOpen()) return;
    switch (kind) {
        case Kind::UserRank:
            userInfoLines({ui(Txt::InfoGeneral), "-------", ui(Txt::InfoRank) + std::string(f2)});
            break;
        case Kind::UserLogin:
            p.userInfoLine(ui(Txt::InfoLastLogin) + std::string(rest));
            break;
        case Kind::UserScore:
            p.userInfoLine(ui(Txt::InfoPoints) + std::string(f2));
            break;
        case Kind::UserData1: {
            userInfoLines({"", ui(Txt::InfoOptional), "-------"});
            static constexpr Txt kLabels[] = {Txt::InfoHobbies, Txt::InfoEmail, Txt::InfoLocation,
                                              Txt::InfoIcq, Txt::InfoHomepage};
            for (int i = 0; i < 5; ++i) {
                std::string_view value = field(rest, i + 1, '\x0b');
                if (!value.empty()) p.userInfoLine(ui(kLabels[i]) + std::string(value));
            }
            break;
        }
        case Kind::UserData2:
            if (!rest.empty()) userInfoLines({"", ui(Txt::InfoOwnRemarks), "-------", rest});
            break;
        case Kind::UserData3:
            if (!rest.empty()) userInfoLines({"", ui(Txt::InfoAdminRemarks), "-------", rest});
            break;
        case Kind::UserStatus:
            userInfoLines({"", "User " + std::string(f2)});
            break;
        default:
            break;
    }
}

// Carries out the kept DIRECT now that its sender line is here.
void directAction(const std::string& sender) {
    auto& p = ports();
    const std::string kept = floodState.keptDirect;
    const std::string_view kindText = field(kept, 2);
    if (kindText == "SHOCK") {
        if (sender.empty()) return;
        p.playSound(sound::Shock);
        p.status(ui(Txt::Shocked, sender));
    } else if (kindText == "PRIVATE") {
        const std::string_view room = field(kept, 3);
        if (!room.empty()) p.send("JOIN " + std::string(room));
    } else if (kindText == "WAKEUP") {
        if (sender.empty()) return;
        p.playSound(sound::WakeUp);
        p.status(ui(Txt::WokenUp, sender));
    }
}

}  // namespace

DispatchPorts& dispatchPorts() {
    return ports();
}

void resetDispatchPorts() {
    ports() = realPorts();
}

void resetFloodState() {
    floodState = FloodState{};
}

std::string_view field(std::string_view message, int n, char separator) {
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        std::size_t next = message.find(separator, start);
        if (next == std::string_view::npos) return {};
        start = next + 1;
    }
    std::size_t end = message.find(separator, start);
    return message.substr(start,
                          end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string_view tail(std::string_view message, std::size_t n) {
    return message.size() > n ? message.substr(n) : std::string_view{};
}

std::string upperKeyword(std::string_view keyword) {
    std::string out(keyword);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || u >= 0xE0) c = static_cast<char>(u - 0x20);
    }
    return out;
}

int32_t decimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    uint32_t value = 0;  // wraps like the 32-bit field it goes into
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

void DispatchServerData(const std::string& input) {
    auto& p = ports();
    const std::string data = runProcessRCmd(input);

    floodReleaseCheck();
    clearFlag(flag::PingOutstanding);

    bool roomResolved = false;
    bool roomNeeded = false;
    ChatRoom* target = nullptr;

    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\r', start);
        if (end == std::string::npos) end = data.size();
        const std::string message = data.substr(start, end - start);
        if (message.empty()) return;

        int number = 0;
        const Kind kind = kindOf(upperKeyword(field(message, 1)), number);
        const std::string_view f2 = field(message, 2);

        switch (kind) {
            case Kind::Chat:
            case Kind::UserList:
            case Kind::UserListClear:
                if (!roomResolved) {
                    roomNeeded = !roomNeeded;
                    break;
                }
                roomResolved = false;
                if (kind == Kind::Chat)
                    p.roomPrint(target, std::string(tail(message, f2.size() + 6)));
                else if (kind == Kind::UserList)
                    p.roomAddUser(target, std::string(tail(message, f2.size() + 10)));
                else
                    p.roomClearUsers(target);
                break;
            case Kind::RoomListStart:
                AvailableRooms.clear();
                break;
            case Kind::RoomList:
                AvailableRooms.push_back(AvailableRoom{
                    std::string(f2), decimalValue(field(message, 3)), field(message, 4) == "+", 0});
                break;
            case Kind::RoomListEnd:
                setFlag(flag::MenuDirty);
                break;
            case Kind::Kicked:
                p.status(ui(Txt::Kicked));
                p.disconnect();
                if (!f2.empty()) p.messageBox(ui(Txt::MessageTitle), tail(message, 7));
                break;
            case Kind::Numbered:
                numberedReply(number, message);
                break;
            case Kind::BanAdded:
                p.status(ui(Txt::BanAdded));
                break;
            case Kind::BanRemoved:
                p.status(ui(Txt::BanRemoved));
                break;
            case Kind::UserName:
            case Kind::UserRank:
            case Kind::UserLogin:
            case Kind::UserScore:
            case Kind::UserColor:
            case Kind::UserData1:
            case Kind::UserData2:
            case Kind::UserData3:
            case Kind::UserStatus:
                profileValue(kind, message);
                break;
            case Kind::Direct:
                floodCount(message);
                break;
            case Kind::Unknown:
                if (hasFlag(flag::DirectPending) && !hasFlag(flag::ShieldsUp)) {
                    clearFlag(flag::DirectPending);
                    const std::string sender = message.substr(1);
                    if (floodQuestion(sender)) return;
                    directAction(sender);
                }
                break;
        }

        if (roomNeeded) {
            const std::string room(f2);
            ChatRoom* found = nullptr;
            for (ChatRoom* r : joinedRooms)
                if (p.roomName(r) == room) {
                    found = r;
                    break;
                }
            if (found) {
                target = found;
                roomResolved = true;
                roomNeeded = false;
            } else if (!hasFlag(flag::ShieldsUp)) {
                p.status(ui(Txt::RoomEntered, room));
                target = p.createRoom(room);
                clientState.focusedInput = static_cast<uint32_t>(p.roomInput(target));
                setFlag(flag::MenuDirty);
                roomResolved = true;
                roomNeeded = false;
            } else {
                p.send("LEAVE " + room);
            }
            continue;  // the same message once more, now with its room
        }
        start = end + 1;
    }
}

}  // namespace kavel
