#include "net/wire.h"

namespace kavel::wire {

namespace {

// Joins the words with single spaces; an empty argument still gets its
// space, since the server counts fields by separators.
std::string words(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) {
        if (!out.empty()) out.push_back(' ');
        out.append(p);
    }
    return out;
}

}  // namespace

std::string login(std::string_view name, std::string_view password) {
    return words({"LOGIN", name, password, "[CLIENT:KAVEL@Windows]"}) + '\r' + roomList() + '\r' +
           info(name);
}

std::string roomList() {
    return "ROOMLIST";
}

std::string join(std::string_view roomText) {
    return joinOnly(roomText) + '\r' + roomList();
}

std::string joinOnly(std::string_view room) {
    return words({"JOIN", room});
}

std::string leave(std::string_view room) {
    return leaveOnly(room) + '\r' + roomList();
}

std::string leaveOnly(std::string_view room) {
    return words({"LEAVE", room});
}

std::string chat(std::string_view room, std::string_view colourHex, std::string_view text) {
    std::string out = words({"CHAT", room,
                             "\x0b"
                             "C"});
    out.append(colourHex);
    out.append(text);
    return out;
}

std::string rename(std::string_view name) {
    return words({"NAME", name});
}

std::string away(std::string_view nick, std::string_view reason) {
    std::string name = "[";
    name.append(nick);
    name.push_back('>');
    name.append(reason);
    name.push_back(']');
    return rename(name);
}

std::string info(std::string_view user) {
    return words({"INFO", user});
}

std::string direct(std::string_view user, std::string_view kind, std::string_view argument) {
    return words({"DIRECT", user, kind, argument});
}

std::string ping(std::string_view nick) {
    return words({"DIRECT", nick, "P"});
}

std::string privateChat(std::string_view user, std::string_view nick, std::string_view room) {
    return direct(user, "PRIVATE", room) + '\r' + direct(nick, "PRIVATE", room);
}

std::string profileUpload(std::string_view password, std::string_view nameColourHex,
                          std::string_view infoFields, std::string_view ownRemarks) {
    return words({"SAVE USER_PASSWORT", password}) + '\r' +
           words({"SAVE USER_COLOR", nameColourHex}) + '\r' +
           words({"SAVE USER_INFO1", infoFields}) + '\r' + words({"SAVE USER_INFO2", ownRemarks});
}

}  // namespace kavel::wire
