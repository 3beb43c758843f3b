// The chat model: sessions, rooms, what is said in them, and the user lists.
#include <algorithm>

#include "chat_internal.h"

namespace quarnd {

namespace {

// "[" login ">" reason "]", the away name the client sets.
constexpr std::size_t kMaxAwayNickBytes = 25;
constexpr std::size_t kMaxRoomNameBytes = 64;

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::vector<RoomEntry> defaultRooms() {
    return {{"Lobby", ""}, {"Plauderecke", ""}, {"Technik", ""}, {"Tresor", "sesam"}};
}

std::vector<RoomEntry> parseRoomsFile(std::string_view text) {
    std::vector<RoomEntry> rooms;
    for (std::string_view line : splitLines(text)) {
        line = trim(line);
        if (line.empty() || line.front() == '#') continue;
        std::string_view rest = line;
        std::string_view name = popWord(rest);
        std::string_view password = popWord(rest);
        if (name.empty() || hasControlBytes(name) || name.size() > kMaxRoomNameBytes) continue;
        const bool dup = std::any_of(rooms.begin(), rooms.end(),
                                     [&](const RoomEntry& r) { return r.name == name; });
        if (!dup) rooms.push_back({std::string(name), std::string(password)});
    }
    return rooms;
}

std::unordered_set<std::string> parseAdminsFile(std::string_view text) {
    std::unordered_set<std::string> admins;
    for (std::string_view line : splitLines(text)) {
        line = trim(line);
        if (line.empty() || line.front() == '#') continue;
        admins.emplace(line);
    }
    return admins;
}

ChatCore::ChatCore(Store& store, Outbox& outbox, ChatConfig config)
    : store_(store), outbox_(outbox), config_(std::move(config)) {
    for (const RoomEntry& entry : config_.fixedRooms) {
        auto room = std::make_unique<Room>();
        room->name = entry.name;
        room->password = entry.password;
        room->fixed = true;
        rooms_.push_back(std::move(room));
    }
}

ChatCore::~ChatCore() = default;

SessionId ChatCore::open(std::string peer, std::string address) {
    auto s = std::make_unique<Session>();
    s->id = nextId_++;
    s->address = address.empty() ? peer : std::move(address);
    s->peer = std::move(peer);
    const SessionId id = s->id;
    sessions_.emplace(id, std::move(s));
    return id;
}

std::string ChatCore::loginOf(SessionId id) const {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? std::string() : it->second->login;
}

bool ChatCore::isLoggedIn(SessionId id) const {
    auto it = sessions_.find(id);
    return it != sessions_.end() && it->second->loggedIn;
}

bool ChatCore::waiting(SessionId id) const {
    auto it = sessions_.find(id);
    return it != sessions_.end() && it->second->waiting;
}

void ChatCore::close(SessionId id) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    if (!s.closing) {
        Batch out(outbox_);
        leaveAll(out, s);
        if (s.loggedIn) {
            byNick_.erase(foldName(s.nick));
            byLogin_.erase(foldName(s.login));
            --loggedIn_;
        }
    }
    sessions_.erase(it);
}

void ChatCore::report(const std::string& message) const {
    if (config_.log) config_.log(message);
}

void ChatCore::handleLine(SessionId id, std::string_view line) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    if (s.closing || s.waiting) return;

    Batch out(outbox_);
    std::string_view rest = line;
    const std::string kw = upperKeyword(popWord(rest));
    try {
        if (!s.loggedIn) {
            if (kw == "LOGIN") cmdLogin(out, s, rest);
            return;
        }
        if ((kw == "CHAT" || kw == "DIRECT") && !admitLine(out, s, kw, rest)) return;
        if (kw == "CHAT") {
            cmdChat(out, s, rest);
        } else if (kw == "ROOMLIST") {
            cmdRoomList(out, s);
        } else if (kw == "JOIN") {
            cmdJoin(out, s, rest);
        } else if (kw == "LEAVE") {
            cmdLeave(out, s, rest);
        } else if (kw == "NAME") {
            cmdName(out, s, rest);
        } else if (kw == "INFO") {
            cmdInfo(out, s, rest);
        } else if (kw == "SAVE") {
            cmdSave(out, s, rest);
        } else if (kw == "DIRECT") {
            cmdDirect(out, s, rest);
        } else if (kw == "KICK") {
            cmdKick(out, s, rest);
        } else if (kw == "BAN" || kw == "UNBAN") {
            cmdBan(out, s, rest, kw == "BAN");
        } else if (kw == "ADMIN") {
            cmdAdmin(out, s, rest);
        } else if (kw == "SETADMINREMARK") {
            cmdAdminRemark(out, s, rest);
        }
    } catch (const StoreError& e) {
        // A database that cannot be written (disk full, locked) must not take
        // the chat down; the command simply has no lasting effect.
        report(std::string("database: ") + e.what() + " (" + kw + " by " + s.peer + ")");
    }
}

bool ChatCore::admitLine(Batch& out, Session& s, std::string_view keyword, std::string_view rest) {
    switch (s.rate.take(config_.lines, config_.millis())) {
        case LineRate::Verdict::Pass:
            return true;
        case LineRate::Verdict::Drop:
            return false;
        case LineRate::Verdict::DropAndTell: {
            // Told where the client shows it: in the room the line was for.
            // A direct action has no room; the one joined last stands in,
            // and with none the client has nowhere to show it.
            Room* room = keyword == "CHAT" ? findRoom(popWord(rest)) : nullptr;
            if ((!room || !room->has(s.id)) && !s.rooms.empty()) room = findRoom(s.rooms.back());
            if (room && room->has(s.id)) {
                out.add(s.id, cat({"CHAT ", room->name,
                                   " *** Du sendest zu schnell - Nachrichten werden verworfen "
                                   "(h\xF6"
                                   "chstens ",
                                   std::to_string(config_.lines.perSecond), " pro Sekunde)"}));
            }
            return false;
        }
        case LineRate::Verdict::Flood:
            report(cat({"session ", std::to_string(s.id), " (", s.peer, ", ", s.login,
                        ") disconnected for flooding: ", std::to_string(config_.lines.floodDrops),
                        " lines over the rate within ",
                        std::to_string(config_.lines.floodWindowMs / 1000), " s"}));
            // As an admin's kick: the client shows the reason in a box.
            out.add(s.id, "KICKED Zu viele Nachrichten in kurzer Zeit");
            hangUp(out, s);
            return false;
    }
    return false;
}

void ChatCore::cmdRoomList(Batch& out, Session& s) {
    out.add(s.id, "ROOMLIST_START");
    for (const auto& room : rooms_) {
        std::string msg = cat({"ROOMLIST ", room->name, " ", std::to_string(room->members.size())});
        if (!room->password.empty()) msg += " +";
        out.add(s.id, msg);
    }
    out.add(s.id, "ROOMLIST_END");
}

void ChatCore::cmdJoin(Batch& out, Session& s, std::string_view rest) {
    const std::string_view name = popWord(rest);
    const std::string_view password = popWord(rest);
    if (name.empty() || name.size() > kMaxRoomNameBytes || hasControlBytes(name)) return;
    Room* room = findRoom(name);
    if (room && room->has(s.id)) return;
    if (room && !room->password.empty() && password != room->password) {
        out.add(s.id, "[12]- Falsches Passwort");
        return;
    }
    if (!room) {
        // [12] is the only refusal the client knows for a room; silence would
        // leave the user waiting for a window that never opens.
        if (s.roomsOwned >= config_.roomsPerSession || rooms_.size() >= config_.maxRooms) {
            out.add(s.id,
                    "[12]- Raum nicht er\xF6"
                    "ffnet");
            return;
        }
        auto fresh = std::make_unique<Room>();
        fresh->name = std::string(name);
        fresh->password = std::string(password);
        fresh->creator = s.id;
        ++s.roomsOwned;
        room = fresh.get();
        rooms_.push_back(std::move(fresh));
        out.add(s.id,
                "[8]- Raum er\xF6"
                "ffnet");
    }
    room->members.push_back(s.id);
    s.rooms.push_back(room->name);
    sendUserList(out, *room, s.id);
    const std::string notice = cat({"CHAT ", room->name, " *** ", s.nick, " betritt den Raum"});
    for (SessionId m : room->members)
        out.add(m, notice);
}

void ChatCore::cmdLeave(Batch& out, Session& s, std::string_view rest) {
    Room* room = findRoom(popWord(rest));
    if (!room || !room->has(s.id)) return;
    leaveRoom(out, s, *room);
    removeRoomIfDone(room);
}

void ChatCore::cmdChat(Batch& out, Session& s, std::string_view rest) {
    const std::string_view name = popWord(rest);
    const std::string_view text = rest;
    if (text.empty()) return;
    Room* room = findRoom(name);
    if (!room || !room->has(s.id)) return;
    std::string_view colour, action;
    const std::string msg = splitAction(text, colour, action)
                                ? cat({"CHAT ", room->name, " * ", s.nick, " ", colour, action})
                                : cat({"CHAT ", room->name, " ", s.nick, ": ", text});
    for (SessionId m : room->members)
        out.add(m, msg);
    if (s.registered) store_.addScore(s.login, 1);
}

void ChatCore::cmdName(Batch& out, Session& s, std::string_view rest) {
    const std::string_view wanted = rest;
    bool ok = wanted == s.login;
    if (!ok) {
        const std::string prefix = "[" + s.login + ">";
        ok = wanted.size() <= kMaxAwayNickBytes && wanted.size() >= prefix.size() + 1 &&
             wanted.substr(0, prefix.size()) == prefix && wanted.back() == ']' &&
             wanted.find(' ') == std::string_view::npos && !hasControlBytes(wanted);
    }
    if (!ok) {
        out.add(s.id, "[10]- Name ung\xFCltig");
        return;
    }
    setNick(s, std::string(wanted));
    out.add(s.id, cat({"[11]- Name ge\xE4"
                       "ndert zu ",
                       s.nick}));
    for (const std::string& name : s.rooms) {
        if (Room* room = findRoom(name)) sendUserList(out, *room, s.id);
    }
}

void ChatCore::cmdInfo(Batch& out, Session& s, std::string_view rest) {
    const std::string_view who = popWord(rest);
    if (who.empty()) return;
    Session* online = findByNickOrLogin(who);
    std::optional<UserRecord> rec = store_.findUser(online ? online->login : std::string(who));
    if (!online && !rec) return;
    // Online, the name as that user typed it at login (the client matches
    // its own profile by it); offline, as it was registered.
    const std::string login = online ? online->login : rec->login;

    int rank = 0;
    std::time_t last = online ? online->loginTime : 0;
    UserRecord shown;
    if (rec) {
        shown = *rec;
        rank = 1;
        if (rec->lastLogin) last = static_cast<std::time_t>(rec->lastLogin);
    }
    const bool admin = online ? isAdmin(*online) : rec && loadAdminsFile(login);
    if (admin) rank = 10;

    out.add(s.id, "USER_NAME " + login);
    out.add(s.id, "USER_RANK " + std::to_string(rank));
    out.add(s.id, "USER_LOGIN " + (last ? formatTime(last) : std::string("-")));
    out.add(s.id, "USER_SCORE " + std::to_string(shown.score));
    out.add(s.id, "USER_COLOR " + shown.colour);
    out.add(s.id, "USER_DATA1 " + shown.data1);
    out.add(s.id, "USER_DATA2 " + shown.data2);
    out.add(s.id, "USER_DATA3 " + shown.data3);
    out.add(s.id, online ? "USER_STATUS online" : "USER_STATUS offline");
}

void ChatCore::cmdDirect(Batch& out, Session& s, std::string_view rest) {
    const std::string_view target = popWord(rest);
    if (rest.empty()) return;
    Session* to = findByNickOrLogin(target);
    if (!to) return;
    out.add(to->id, cat({"DIRECT ", rest}));
    out.add(to->id, cat({" ", s.nick}));
}

ChatCore::Room* ChatCore::findRoom(std::string_view name) {
    for (auto& room : rooms_) {
        if (room->name == name) return room.get();
    }
    return nullptr;
}

ChatCore::Session* ChatCore::findByNick(std::string_view nick) {
    auto it = byNick_.find(foldName(nick));
    return it == byNick_.end() ? nullptr : sessions_.at(it->second).get();
}

ChatCore::Session* ChatCore::findByNickOrLogin(std::string_view name) {
    if (Session* s = findByNick(name)) return s;
    auto it = byLogin_.find(foldName(name));
    return it == byLogin_.end() ? nullptr : sessions_.at(it->second).get();
}

void ChatCore::beginPass() {
    inPass_ = true;
}

void ChatCore::endPass() {
    inPass_ = false;
    std::vector<Room*> touched = std::move(touched_);
    touched_.clear();
    Batch out(outbox_);
    for (Room* room : touched) {
        if (room->listPending) sendUserList(out, *room, 0);
        room->listSent = false;
        room->listPending = false;
    }
}

void ChatCore::sendUserList(Batch& out, Room& room, SessionId actor) {
    std::string run = cat({"USERLIST_CLEAR ", room.name, "\r"});
    for (SessionId m : room.members) {
        run += cat({"USERLIST ", room.name, " ", sessions_.at(m)->nick, "\r"});
    }
    if (inPass_ && room.listSent) {
        if (room.has(actor)) out.addRun(actor, run);
        room.listPending = true;
        return;
    }
    for (SessionId m : room.members)
        out.addRun(m, run);
    if (inPass_) {
        room.listSent = true;
        touched_.push_back(&room);
    }
}

void ChatCore::leaveRoom(Batch& out, Session& s, Room& room) {
    room.members.erase(std::find(room.members.begin(), room.members.end(), s.id));
    s.rooms.erase(std::find(s.rooms.begin(), s.rooms.end(), room.name));
    if (room.members.empty()) return;
    sendUserList(out, room, s.id);
    const std::string notice = cat({"CHAT ", room.name, " *** ", s.nick, " verl\xE4sst den Raum"});
    for (SessionId m : room.members)
        out.add(m, notice);
}

void ChatCore::leaveAll(Batch& out, Session& s) {
    while (!s.rooms.empty()) {
        Room* room = findRoom(s.rooms.back());
        if (!room) {
            s.rooms.pop_back();
            continue;
        }
        leaveRoom(out, s, *room);
        removeRoomIfDone(room);
    }
}

void ChatCore::removeRoomIfDone(Room* room) {
    if (room->fixed || !room->members.empty()) return;
    if (auto c = sessions_.find(room->creator); c != sessions_.end() && c->second->roomsOwned > 0)
        --c->second->roomsOwned;
    touched_.erase(std::remove(touched_.begin(), touched_.end(), room), touched_.end());
    rooms_.erase(
        std::find_if(rooms_.begin(), rooms_.end(), [&](const auto& r) { return r.get() == room; }));
}

void ChatCore::hangUp(Batch& out, Session& s) {
    leaveAll(out, s);
    if (s.loggedIn) {
        byNick_.erase(foldName(s.nick));
        byLogin_.erase(foldName(s.login));
        --loggedIn_;
        s.loggedIn = false;
    }
    s.closing = true;
    out.hangUp(s.id);
}

void ChatCore::setNick(Session& s, std::string nick) {
    byNick_.erase(foldName(s.nick));
    s.nick = std::move(nick);
    byNick_[foldName(s.nick)] = s.id;
}

std::string ChatCore::formatTime(std::time_t t) const {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &tm);
    return buf;
}

}  // namespace quarnd
