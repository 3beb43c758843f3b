#include "chat.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "protocol.h"

namespace quarnd {

namespace {

// Long enough for real names, short enough that "[" name ">" reason "]" still
// leaves room for a reason within the 25 bytes an away name may have.
constexpr std::size_t kMaxLoginBytes = 20;
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

std::string cat(std::initializer_list<std::string_view> parts) {
    std::size_t n = 0;
    for (auto p : parts)
        n += p.size();
    std::string out;
    out.reserve(n);
    for (auto p : parts)
        out.append(p);
    return out;
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

struct ChatCore::Session {
    SessionId id = 0;
    std::string peer;
    bool loggedIn = false;
    bool closing = false;
    bool registered = false;
    bool fileAdmin = false;
    std::string login;
    std::string nick;
    std::time_t loginTime = 0;
    std::vector<std::string> rooms;  // join order
};

struct ChatCore::Room {
    std::string name;
    std::string password;
    bool fixed = false;
    std::vector<SessionId> members;  // join order, as the user list shows them

    bool has(SessionId id) const {
        return std::find(members.begin(), members.end(), id) != members.end();
    }
};

// Collects everything one command causes, per recipient, so that each
// recipient receives exactly one transmission for it.
class ChatCore::Batch {
  public:
    explicit Batch(Outbox& outbox) : outbox_(outbox) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    ~Batch() { flush(); }

    void add(SessionId id, std::string_view message) {
        std::string& buf = bufferFor(id);
        buf.append(message);
        buf.push_back(kCR);
    }
    // `messages` is already a run of CR-terminated messages.
    void addRun(SessionId id, std::string_view messages) { bufferFor(id).append(messages); }
    void hangUp(SessionId id) { hangUps_.push_back(id); }

    void flush() {
        for (auto& [id, buf] : buffers_) {
            if (buf.empty()) continue;
            buf.push_back('\0');
            outbox_.deliver(id, std::move(buf));
        }
        buffers_.clear();
        index_.clear();
        for (SessionId id : hangUps_)
            outbox_.closeAfterFlush(id);
        hangUps_.clear();
    }

  private:
    std::string& bufferFor(SessionId id) {
        auto [it, inserted] = index_.try_emplace(id, buffers_.size());
        if (inserted) buffers_.emplace_back(id, std::string());
        return buffers_[it->second].second;
    }

    Outbox& outbox_;
    std::vector<std::pair<SessionId, std::string>> buffers_;
    std::unordered_map<SessionId, std::size_t> index_;
    std::vector<SessionId> hangUps_;
};

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

SessionId ChatCore::open(std::string peer) {
    auto s = std::make_unique<Session>();
    s->id = nextId_++;
    s->peer = std::move(peer);
    const SessionId id = s->id;
    sessions_.emplace(id, std::move(s));
    return id;
}

std::string ChatCore::loginOf(SessionId id) const {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? std::string() : it->second->login;
}

void ChatCore::close(SessionId id) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    if (!s.closing) {
        Batch out(outbox_);
        leaveAll(out, s);
        if (s.loggedIn) {
            byNick_.erase(s.nick);
            byLogin_.erase(s.login);
            --loggedIn_;
        }
    }
    sessions_.erase(it);
}

void ChatCore::handleLine(SessionId id, std::string_view line) {
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    if (s.closing) return;

    Batch out(outbox_);
    std::string_view rest = line;
    const std::string kw = upperKeyword(popWord(rest));
    try {
        if (!s.loggedIn) {
            if (kw == "LOGIN") cmdLogin(out, s, rest);
            return;
        }
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
    } catch (const StoreError&) {
        // A database that cannot be written (disk full, locked) must not take
        // the chat down; the command simply has no lasting effect.
    }
}

void ChatCore::cmdLogin(Batch& out, Session& s, std::string_view rest) {
    const std::string_view name = popWord(rest);
    const std::string_view password = popWord(rest);
    auto refuse = [&](std::string_view reply) {
        out.add(s.id, reply);
        s.closing = true;
        out.hangUp(s.id);
    };
    if (name.size() < 3) {
        out.add(s.id, "[13]- Username zu kurz");
        return;
    }
    if (!isAllowedLoginName(name) || name.size() > kMaxLoginBytes) {
        refuse("[0]- Name nicht erlaubt");
        return;
    }
    if (loggedIn_ >= config_.maxSessions || store_.isBanned(name)) {
        refuse("[1]- Server voll");
        return;
    }
    if (byLogin_.count(std::string(name))) {
        refuse("[5]- Name belegt");
        return;
    }
    const PasswordCheck check = store_.checkPassword(name, password);
    if (check == PasswordCheck::Wrong) {
        refuse("[4]- Passwort falsch");
        return;
    }
    s.loggedIn = true;
    s.login = std::string(name);
    s.nick = s.login;
    s.loginTime = config_.clock();
    s.registered = check == PasswordCheck::Right;
    s.fileAdmin = loadAdminsFile(s.login);
    byLogin_[s.login] = s.id;
    byNick_[s.nick] = s.id;
    ++loggedIn_;
    if (s.registered) {
        store_.setLastLogin(s.login, s.loginTime);
        out.add(s.id, "[3]- Login erfolgreich");
    } else {
        out.add(s.id, "[2]- Gast");
    }
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
        if (rooms_.size() >= config_.maxRooms) return;
        auto fresh = std::make_unique<Room>();
        fresh->name = std::string(name);
        fresh->password = std::string(password);
        room = fresh.get();
        rooms_.push_back(std::move(fresh));
        out.add(s.id,
                "[8]- Raum er\xF6"
                "ffnet");
    }
    room->members.push_back(s.id);
    s.rooms.push_back(room->name);
    sendUserList(out, *room);
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
        if (Room* room = findRoom(name)) sendUserList(out, *room);
    }
}

void ChatCore::cmdInfo(Batch& out, Session& s, std::string_view rest) {
    const std::string_view who = popWord(rest);
    if (who.empty()) return;
    Session* online = findByNickOrLogin(who);
    const std::string login = online ? online->login : std::string(who);
    std::optional<UserRecord> rec = store_.findUser(login);
    if (!online && !rec) return;

    int rank = 0;
    std::time_t last = online ? online->loginTime : 0;
    UserRecord shown;
    if (rec) {
        shown = *rec;
        rank = 1;
        if (rec->lastLogin) last = static_cast<std::time_t>(rec->lastLogin);
    }
    const bool admin =
        online ? isAdmin(*online) : runAdmins_.count(login) > 0 || loadAdminsFile(login);
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

void ChatCore::cmdSave(Batch&, Session& s, std::string_view rest) {
    const std::string kind = upperKeyword(popWord(rest));
    if (kind == "USER_PASSWORT") {
        // LOGIN carries the password as one space-separated field, so only
        // that much of it could ever be used to log in again.
        const std::string_view password = popWord(rest);
        if (password.empty()) return;
        store_.setPassword(s.login, password);
        if (!s.registered) {
            s.registered = true;
            store_.setLastLogin(s.login, s.loginTime);
        }
        return;
    }
    if (!s.registered) return;
    if (kind == "USER_COLOR") {
        if (!isHexColour(rest)) return;
        store_.setColour(s.login, upperKeyword(rest));
    } else if (kind == "USER_INFO1") {
        store_.setData(s.login, 1, rest);
    } else if (kind == "USER_INFO2") {
        store_.setData(s.login, 2, rest);
    }
}

void ChatCore::cmdDirect(Batch& out, Session& s, std::string_view rest) {
    const std::string_view target = popWord(rest);
    if (rest.empty()) return;
    Session* to = findByNickOrLogin(target);
    if (!to) return;
    out.add(to->id, cat({"DIRECT ", rest}));
    out.add(to->id, cat({" ", s.nick}));
}

void ChatCore::cmdKick(Batch& out, Session& s, std::string_view rest) {
    if (!isAdmin(s)) {
        out.add(s.id, "[9]- Keine Berechtigung");
        return;
    }
    Session* target = findByNickOrLogin(popWord(rest));
    if (!target) return;
    out.add(target->id, rest.empty() ? std::string("KICKED") : cat({"KICKED ", rest}));
    hangUp(out, *target);
}

void ChatCore::cmdBan(Batch& out, Session& s, std::string_view rest, bool add) {
    if (!isAdmin(s)) {
        out.add(s.id, "[9]- Keine Berechtigung");
        return;
    }
    const std::string_view login = popWord(rest);
    if (login.empty()) return;
    if (!add) {
        store_.removeBan(login);
        out.add(s.id, "BAN_REMOVED");
        return;
    }
    store_.addBan(login, config_.clock());
    out.add(s.id, "BAN_ADDED");
    // A ban that left the user chatting would only take effect at their next
    // login; remove them now, as a kick would.
    auto it = byLogin_.find(std::string(login));
    if (it != byLogin_.end()) {
        Session& target = *sessions_.at(it->second);
        out.add(target.id, "KICKED");
        hangUp(out, target);
    }
}

void ChatCore::cmdAdmin(Batch& out, Session& s, std::string_view rest) {
    if (!isAdmin(s)) {
        out.add(s.id, "[9]- Keine Berechtigung");
        return;
    }
    Session* target = findByNickOrLogin(popWord(rest));
    if (!target) {
        out.add(s.id, "[7]- User nicht gefunden");
        return;
    }
    runAdmins_.insert(target->login);
    out.add(s.id, "[6]- Admin Switch durchgef\xFChrt");
}

void ChatCore::cmdAdminRemark(Batch& out, Session& s, std::string_view rest) {
    if (!isAdmin(s)) {
        out.add(s.id, "[9]- Keine Berechtigung");
        return;
    }
    const std::string_view login = popWord(rest);
    if (login.empty()) return;
    if (store_.isRegistered(login)) store_.setData(login, 3, rest);
}

bool ChatCore::isAdmin(const Session& s) const {
    return s.fileAdmin || runAdmins_.count(s.login) > 0;
}

bool ChatCore::loadAdminsFile(std::string_view login) const {
    if (config_.adminsFile.empty()) return false;
    std::ifstream in(config_.adminsFile, std::ios::binary);
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseAdminsFile(text).count(std::string(login)) > 0;
}

ChatCore::Room* ChatCore::findRoom(std::string_view name) {
    for (auto& room : rooms_) {
        if (room->name == name) return room.get();
    }
    return nullptr;
}

ChatCore::Session* ChatCore::findByNick(std::string_view nick) {
    auto it = byNick_.find(std::string(nick));
    return it == byNick_.end() ? nullptr : sessions_.at(it->second).get();
}

ChatCore::Session* ChatCore::findByNickOrLogin(std::string_view name) {
    if (Session* s = findByNick(name)) return s;
    auto it = byLogin_.find(std::string(name));
    return it == byLogin_.end() ? nullptr : sessions_.at(it->second).get();
}

void ChatCore::sendUserList(Batch& out, const Room& room) {
    std::string run = cat({"USERLIST_CLEAR ", room.name, "\r"});
    for (SessionId m : room.members) {
        run += cat({"USERLIST ", room.name, " ", sessions_.at(m)->nick, "\r"});
    }
    for (SessionId m : room.members)
        out.addRun(m, run);
}

void ChatCore::leaveRoom(Batch& out, Session& s, Room& room) {
    room.members.erase(std::find(room.members.begin(), room.members.end(), s.id));
    s.rooms.erase(std::find(s.rooms.begin(), s.rooms.end(), room.name));
    if (room.members.empty()) return;
    sendUserList(out, room);
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
    rooms_.erase(
        std::find_if(rooms_.begin(), rooms_.end(), [&](const auto& r) { return r.get() == room; }));
}

void ChatCore::hangUp(Batch& out, Session& s) {
    leaveAll(out, s);
    if (s.loggedIn) {
        byNick_.erase(s.nick);
        byLogin_.erase(s.login);
        --loggedIn_;
        s.loggedIn = false;
    }
    s.closing = true;
    out.hangUp(s.id);
}

void ChatCore::setNick(Session& s, std::string nick) {
    byNick_.erase(s.nick);
    s.nick = std::move(nick);
    byNick_[s.nick] = s.id;
}

std::string ChatCore::formatTime(std::time_t t) const {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &tm);
    return buf;
}

}  // namespace quarnd
