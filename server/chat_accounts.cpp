// Accounts in the chat model: login with its password check and the
// throttle on guessing, password changes, and the admin commands.
#include <fstream>
#include <iterator>

#include "chat_internal.h"

namespace quarnd {

namespace {

// Long enough for real names, short enough that "[" name ">" reason "]" still
// leaves room for a reason within the 25 bytes an away name may have.
constexpr std::size_t kMaxLoginBytes = 20;

// No file, or none configured: nobody is an admin by file.
std::unordered_set<std::string> readAdmins(const std::filesystem::path& path) {
    if (path.empty()) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return parseAdminsFile(
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

}  // namespace

std::vector<std::string> ChatCore::unregisteredAdmins() {
    std::vector<std::string> names;
    for (const std::string& name : readAdmins(config_.adminsFile)) {
        if (!store_.isRegistered(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
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
    const std::string key = foldName(login);
    for (const std::string& name : readAdmins(config_.adminsFile)) {
        if (foldName(name) == key) return true;
    }
    return false;
}

}  // namespace quarnd
