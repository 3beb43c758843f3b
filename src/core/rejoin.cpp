#include "core/rejoin.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/data.h"
#include "common/program_options.h"
#include "common/reset.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "ui/CLASS_ChatRoom.h"

namespace kavel {

namespace {

std::vector<std::string> remembered;
// The count of room lists while not logged in: the first one after it is
// the answer to the login's own request.
uint32_t listsBeforeLogin = 0;

const bool registered = registerReset([] {
    remembered.clear();
    listsBeforeLogin = 0;
});

bool escaped(unsigned char c) {
    return c <= ' ' || c == 0x7F || c == '%' || c == ',' || c == '=';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> decodeName(std::string_view field) {
    std::string name;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            name.push_back(field[i]);
            continue;
        }
        if (i + 2 >= field.size()) return std::nullopt;
        const int high = hexValue(field[i + 1]), low = hexValue(field[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        name.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    // A name the server could never have sent us is not one to join.
    if (name.empty() || name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return std::nullopt;
    return name;
}

bool isJoined(const std::string& name) {
    return std::any_of(joinedRooms.begin(), joinedRooms.end(),
                       [&](ChatRoom* room) { return roomGetName(room) == name; });
}

}  // namespace

std::string encodeRoomList(const std::vector<std::string>& names) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const std::string& name : names) {
        if (name.empty()) continue;
        if (!text.empty()) text.push_back(',');
        for (char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            if (!escaped(byte)) {
                text.push_back(c);
                continue;
            }
            text.push_back('%');
            text.push_back(kHex[byte >> 4]);
            text.push_back(kHex[byte & 0xF]);
        }
    }
    return text;
}

std::vector<std::string> decodeRoomList(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const auto comma = text.find(',');
        if (auto name = decodeName(text.substr(0, comma))) names.push_back(std::move(*name));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return names;
}

void rememberOpenRooms() {
    remembered.clear();
    for (ChatRoom* room : joinedRooms)
        remembered.push_back(roomGetName(room));
}

void rememberRoomsAtEnd() {
    if (hasFlag(flag::Connected) || !joinedRooms.empty()) rememberOpenRooms();
}

const std::vector<std::string>& roomsToRejoin() {
    return remembered;
}

void setRoomsToRejoin(std::vector<std::string> names) {
    remembered = std::move(names);
}

bool joinListedRoom(const AvailableRoom& room) {
    std::string roomText = room.name;
    if (room.hasPassword) {
        // An empty password is an answer; cancelling is not.
        const auto password =
            platform::askText(ui(Txt::PasswordTitle), ui(Txt::PasswordPrompt), "");
        if (!password) return false;
        roomText += " " + *password;
    }
    session().joinRoom(roomText);
    return true;
}

void rejoinStep() {
    if (!hasFlag(flag::LoggedIn)) {
        listsBeforeLogin = session().roomListsReceived();
        return;
    }
    if (remembered.empty() || session().roomListsReceived() == listsBeforeLogin) return;
    // Once per list: a later login (after the user's "Trennen") has a list
    // of its own.
    const std::vector<std::string> names = std::exchange(remembered, {});
    if (!programOptions().rejoinRooms) return;
    for (const std::string& name : names) {
        if (isJoined(name)) continue;
        const auto listed = std::find_if(AvailableRooms.begin(), AvailableRooms.end(),
                                         [&](const AvailableRoom& r) { return r.name == name; });
        // A room nobody sits in any more is not listed; joining opens it anew.
        if (listed != AvailableRooms.end())
            joinListedRoom(*listed);
        else
            session().joinRoom(name);
        // A password question may have taken long enough for the session to end.
        if (!hasFlag(flag::LoggedIn)) return;
    }
}

}  // namespace kavel
