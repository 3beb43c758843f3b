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
    std::string address;
    bool loggedIn = false;
    bool closing = false;
    bool registered = false;
    // Logged in with the password of a registered name; a guest that
    // registers during the session is registered but not authenticated.
    bool authenticated = false;
    bool fileAdmin = false;
    bool promoted = false;  // ADMIN, for this session only
    bool waiting = false;   // a password job is out
    bool changedPassword = false;
    std::time_t lastPasswordChange = 0;
    std::size_t roomsOwned = 0;  // rooms this session created that still exist
    std::string pendingLogin;    // the name whose password is being checked
    std::string login;
    std::string nick;
    std::time_t loginTime = 0;
    std::vector<std::string> rooms;  // join order
};

struct ChatCore::Room {
    std::string name;
    std::string password;
    bool fixed = false;
    SessionId creator = 0;
    std::vector<SessionId> members;  // join order, as the user list shows them
    bool listSent = false;           // the full list went out in this pass
    bool listPending = false;        // changed again since; the others get it at endPass()

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

std::vector<std::string> ChatCore::unregisteredAdmins() {
    std::vector<std::string> names;
    if (config_.adminsFile.empty()) return names;
    std::ifstream in(config_.adminsFile, std::ios::binary);
    if (!in) return names;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& name : parseAdminsFile(text)) {
        if (!store_.isRegistered(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
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

void ChatCore::cryptDone(const CryptResult& result) {
    auto it = sessions_.find(result.session);
    if (it == sessions_.end()) return;  // gone before the answer came
    Session& s = *it->second;
    s.waiting = false;
    if (s.closing) return;
    Batch out(outbox_);
    try {
        finishCrypt(out, s, result);
    } catch (const StoreError& e) {
        report(std::string("database: ") + e.what() + " (password of " + s.peer + ")");
    }
}

void ChatCore::startCrypt(Batch& out, Session& s, CryptJob job) {
    job.session = s.id;
    if (!config_.crypt) {
        finishCrypt(out, s, runCryptJob(job));
        return;
    }
    s.waiting = true;
    config_.crypt(std::move(job));
}

void ChatCore::finishCrypt(Batch& out, Session& s, const CryptResult& result) {
    if (result.kind == CryptJob::Kind::Verify) {
        const std::string name = std::move(s.pendingLogin);
        s.pendingLogin.clear();
        finishLogin(out, s, name, result.ok ? PasswordCheck::Right : PasswordCheck::Wrong);
        return;
    }
    if (!result.ok) {
        report("password hash failed for " + s.login);
        return;
    }
    store_.setPasswordHash(s.login, result.hash);
    if (!s.registered) {
        s.registered = true;
        store_.setLastLogin(s.login, s.loginTime);
    }
}

bool ChatCore::loginLocked(const std::string& address, std::time_t now) {
    auto it = failures_.find(address);
    return it != failures_.end() && now < it->second.lockedUntil;
}

void ChatCore::noteFailedLogin(const std::string& address, std::time_t now) {
    if (failures_.size() > 4096) {
        // Forget addresses that have been quiet for a whole lockout.
        for (auto it = failures_.begin(); it != failures_.end();) {
            const bool stale =
                now >= it->second.lockedUntil && now - it->second.last > config_.loginLockout;
            it = stale ? failures_.erase(it) : std::next(it);
        }
    }
    Failures& f = failures_[address];
    // Failures spread thinner than one per lockout period are forgiven.
    if (now - f.last > config_.loginLockout) f.count = 0;
    f.last = now;
    if (++f.count < config_.loginFailures) return;
    f.count = 0;
    f.lockedUntil = now + config_.loginLockout;
    report("logins to registered names from " + address + " refused for " +
           std::to_string(config_.loginLockout) + " s after " +
           std::to_string(config_.loginFailures) + " wrong passwords");
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
    if (byLogin_.count(foldName(name))) {
        refuse("[5]- Name belegt");
        return;
    }
    std::optional<std::string> hash = store_.passwordHash(name);
    if (!hash) {
        finishLogin(out, s, std::string(name), PasswordCheck::Unregistered);
        return;
    }
    // Refused before any hashing: a guesser costs us nothing while locked
    // out, and guests and other addresses are not held up at all.
    if (loginLocked(s.address, config_.clock())) {
        refuse("[1]- Server voll");
        return;
    }
    s.pendingLogin = std::string(name);
    CryptJob job;
    job.kind = CryptJob::Kind::Verify;
    job.password = std::string(password);
    job.hash = std::move(*hash);
    startCrypt(out, s, std::move(job));
}

void ChatCore::finishLogin(Batch& out, Session& s, const std::string& name, PasswordCheck check) {
    auto refuse = [&](std::string_view reply) {
        out.add(s.id, reply);
        s.closing = true;
        out.hangUp(s.id);
    };
    if (check == PasswordCheck::Wrong) {
        noteFailedLogin(s.address, config_.clock());
        refuse("[4]- Passwort falsch");
        return;
    }
    // Checked again: another session may have taken the name or the last
    // place while the password was being checked.
    if (byLogin_.count(foldName(name))) {
        refuse("[5]- Name belegt");
        return;
    }
    if (loggedIn_ >= config_.maxSessions) {
        refuse("[1]- Server voll");
        return;
    }
    s.loggedIn = true;
    s.login = name;
    s.nick = s.login;
    s.loginTime = config_.clock();
    s.registered = check == PasswordCheck::Right;
    s.authenticated = s.registered;
    s.fileAdmin = s.authenticated && loadAdminsFile(s.login);
    byLogin_[foldName(s.login)] = s.id;
    byNick_[foldName(s.nick)] = s.id;
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

void ChatCore::cmdSave(Batch& out, Session& s, std::string_view rest) {
    const std::string kind = upperKeyword(popWord(rest));
    if (kind == "USER_PASSWORT") {
        // LOGIN carries the password as one space-separated field, so only
        // that much of it could ever be used to log in again.
        const std::string_view password = popWord(rest);
        if (password.empty()) return;
        const std::time_t now = config_.clock();
        if (s.changedPassword && now - s.lastPasswordChange < config_.passwordInterval) {
            // The client has no reply for this; [10] is its "that change
            // failed", and the rest of the profile upload still applies.
            out.add(s.id, "[10]- Passwort nicht ge\xE4ndert, bitte warten");
            return;
        }
        s.changedPassword = true;
        s.lastPasswordChange = now;
        CryptJob job;
        job.kind = CryptJob::Kind::Hash;
        job.password = std::string(password);
        job.cost = store_.hashCost();
        startCrypt(out, s, std::move(job));
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
    auto it = byLogin_.find(foldName(login));
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
    // Rights belong to a session of a registered user, never to a name: the
    // next guest to pick the name gets nothing.
    Session* target = findByNickOrLogin(popWord(rest));
    if (!target || !target->registered) {
        out.add(s.id, "[7]- User nicht gefunden");
        return;
    }
    target->promoted = true;
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
    return s.registered && (s.promoted || (s.authenticated && s.fileAdmin));
}

bool ChatCore::loadAdminsFile(std::string_view login) const {
    if (config_.adminsFile.empty()) return false;
    std::ifstream in(config_.adminsFile, std::ios::binary);
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = foldName(login);
    for (const std::string& name : parseAdminsFile(text)) {
        if (foldName(name) == key) return true;
    }
    return false;
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
