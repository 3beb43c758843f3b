// Decoding one server message into a ServerMessage. Pure: the same line
// always gives the same value, and nothing else is read or changed.
#include "net/NET_Methods_Decode.h"

#include <ostream>

#include "common/cp1252.h"

namespace kavel {

namespace {

struct Keyword {
    std::string_view word;
    MessageKind kind;
};
constexpr Keyword kKeywords[] = {
    {"CHAT", MessageKind::Chat},
    {"USERLIST", MessageKind::UserList},
    {"USERLIST_CLEAR", MessageKind::UserListClear},
    {"ROOMLIST_START", MessageKind::RoomListStart},
    {"ROOMLIST", MessageKind::RoomList},
    {"ROOMLIST_END", MessageKind::RoomListEnd},
    {"KICKED", MessageKind::Kicked},
    {"BAN_ADDED", MessageKind::BanAdded},
    {"BAN_REMOVED", MessageKind::BanRemoved},
    {"USER_NAME", MessageKind::UserName},
    {"USER_RANK", MessageKind::UserRank},
    {"USER_LOGIN", MessageKind::UserLogin},
    {"USER_SCORE", MessageKind::UserScore},
    {"USER_COLOR", MessageKind::UserColor},
    {"USER_DATA1", MessageKind::UserData1},
    {"USER_DATA2", MessageKind::UserData2},
    {"USER_DATA3", MessageKind::UserData3},
    {"USER_STATUS", MessageKind::UserStatus},
    {"DIRECT", MessageKind::Direct},
};

// "[n]-" with n from 0 to 13, written without leading zeros; -1 otherwise.
int replyNumber(std::string_view keyword) {
    if (keyword.size() < 4 || keyword.size() > 5 || keyword.front() != '[' ||
        keyword.substr(keyword.size() - 2) != "]-")
        return -1;
    const std::string_view digits = keyword.substr(1, keyword.size() - 3);
    if (digits.size() == 2 && digits[0] == '0') return -1;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n <= 13 ? n : -1;
}

MessageKind kindOf(const std::string& keyword) {
    for (const Keyword& k : kKeywords)
        if (keyword == k.word) return k.kind;
    return MessageKind::Unknown;
}

}  // namespace

std::string_view field(std::string_view message, int n, char separator) {
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const std::size_t next = message.find(separator, start);
        if (next == std::string_view::npos) return {};
        start = next + 1;
    }
    const std::size_t end = message.find(separator, start);
    return message.substr(start,
                          end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string_view afterField(std::string_view message, int n, char separator) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i) {
        const std::size_t next = message.find(separator, start);
        if (next == std::string_view::npos) return {};
        start = next + 1;
    }
    return message.substr(start);
}

ServerMessage decodeMessage(std::string_view line) {
    ServerMessage m;
    const std::string keyword = cp1252::upperCase(field(line, 1));
    if (const int n = replyNumber(keyword); n >= 0) {
        m.kind = MessageKind::Numbered;
        m.number = n;
        m.text = field(line, 5);
        return m;
    }
    m.kind = kindOf(keyword);
    switch (m.kind) {
        case MessageKind::Chat:
        case MessageKind::UserList:
            m.room = field(line, 2);
            m.text = afterField(line, 2);
            break;
        case MessageKind::UserListClear:
            m.room = field(line, 2);
            break;
        case MessageKind::RoomList:
            m.room = field(line, 2);
            m.users = cp1252::decimalValue(field(line, 3));
            m.password = field(line, 4) == "+";
            break;
        case MessageKind::Kicked:
            m.value = field(line, 2);
            m.text = afterField(line, 1);
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
            m.value = field(line, 2);
            m.text = afterField(line, 1);
            break;
        case MessageKind::Direct:
            m.value = field(line, 2);
            m.text = field(line, 3);
            break;
        case MessageKind::Unknown:
            if (!line.empty()) m.text = line.substr(1);
            break;
        default:
            break;
    }
    return m;
}

std::ostream& operator<<(std::ostream& out, const ServerMessage& m) {
    return out << "{kind " << static_cast<int>(m.kind) << ", number " << m.number << ", room \""
               << m.room << "\", value \"" << m.value << "\", text \"" << m.text << "\", users "
               << m.users << ", password " << m.password << "}";
}

}  // namespace kavel
