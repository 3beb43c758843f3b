#include "store.h"

#include <crypt.h>
#include <sqlite3.h>

#include <memory>

#include "protocol.h"

namespace quarnd {

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users (
    login      BLOB PRIMARY KEY,
    login_key  BLOB,
    pwhash     TEXT NOT NULL,
    colour     TEXT NOT NULL DEFAULT '000000',
    data1      BLOB NOT NULL DEFAULT x'',
    data2      BLOB NOT NULL DEFAULT x'',
    data3      BLOB NOT NULL DEFAULT x'',
    score      INTEGER NOT NULL DEFAULT 0,
    last_login INTEGER NOT NULL DEFAULT 0,
    created    INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS bans (
    login   BLOB PRIMARY KEY, -- folded
    created INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS pastes (
    id      TEXT PRIMARY KEY,
    title   BLOB NOT NULL,
    code    BLOB NOT NULL,
    created INTEGER NOT NULL,
    expires INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS pastes_expires ON pastes(expires);
CREATE TABLE IF NOT EXISTS expired_pastes (
    id      TEXT PRIMARY KEY,
    expired INTEGER NOT NULL
);
)sql";

std::string blobColumn(sqlite3_stmt* st, int col) {
    const void* p = sqlite3_column_blob(st, col);
    const int n = sqlite3_column_bytes(st, col);
    return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
             : std::string();
}

}  // namespace

class Store::Stmt {
  public:
    Stmt(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) {
            throw StoreError(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
        }
    }
    ~Stmt() { sqlite3_finalize(st_); }
    Stmt& blob(int i, std::string_view v) {
        // A zero-length blob must still bind as a blob, not NULL.
        sqlite3_bind_blob(st_, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& text(int i, std::string_view v) {
        sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& integer(int i, std::int64_t v) {
        sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    bool step() {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw StoreError(std::string("sqlite step: ") + sqlite3_errmsg(db_));
    }
    sqlite3_stmt* get() const { return st_; }

  private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// Account changes (registrations, passwords, profiles, bans) are synced to
// disk before the command counts as done: in WAL mode NORMAL may lose the
// last commits on power loss. Chat points, login times and pastes are cheap
// to lose and frequent, so they keep NORMAL.
class Store::Durable {
  public:
    explicit Durable(sqlite3* db) : db_(db) {
        sqlite3_exec(db_, "PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    }
    ~Durable() { sqlite3_exec(db_, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr); }
    Durable(const Durable&) = delete;
    Durable& operator=(const Durable&) = delete;

  private:
    sqlite3* db_;
};

std::string hashPassword(std::string_view password, int cost) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$y$", static_cast<unsigned long>(cost), nullptr, 0, salt, sizeof salt)) {
        throw StoreError("crypt_gensalt failed");
    }
    auto data = std::make_unique<crypt_data>();
    const std::string pw(password);
    const char* out = crypt_r(pw.c_str(), salt, data.get());
    if (!out || out[0] == '*') throw StoreError("crypt_r failed");
    return out;
}

bool verifyPassword(std::string_view password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();
    const std::string pw(password);
    const char* out = crypt_r(pw.c_str(), hash.c_str(), data.get());
    if (!out || out[0] == '*') return false;
    const std::string_view got(out);
    if (got.size() != hash.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        diff |= static_cast<unsigned char>(got[i] ^ hash[i]);
    }
    return diff == 0;
}

Store::Store(const std::string& path, int hashCost) : hashCost_(hashCost) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError("cannot open database " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 2000);
    try {
        // WAL keeps a crash from ever leaving a half-written user row, and
        // NORMAL sync is plenty for a chat server's chat points; account
        // changes raise it for themselves (Durable).
        exec("PRAGMA journal_mode=WAL;");
        exec("PRAGMA synchronous=NORMAL;");
        exec(kSchema);
        migrate();
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

Store::~Store() {
    if (db_) sqlite3_close(db_);
}

// Databases written before names were folded: give every user its key and
// fold the bans. Where two registered names differ only in case, the older
// registration keeps the name; the later one can no longer be logged into.
void Store::migrate() {
    bool hasKey = false;
    {
        Stmt st(db_, "PRAGMA table_info(users)");
        while (st.step()) {
            if (blobColumn(st.get(), 1) == "login_key") hasKey = true;
        }
    }
    if (!hasKey) exec("ALTER TABLE users ADD COLUMN login_key BLOB;");
    exec("CREATE UNIQUE INDEX IF NOT EXISTS users_login_key ON users(login_key);");

    std::vector<std::pair<std::int64_t, std::string>> unkeyed;
    {
        Stmt st(db_,
                "SELECT rowid, login FROM users WHERE login_key IS NULL ORDER BY created, rowid");
        while (st.step())
            unkeyed.emplace_back(sqlite3_column_int64(st.get(), 0), blobColumn(st.get(), 1));
    }
    std::vector<std::pair<std::string, std::int64_t>> bans;
    {
        Stmt st(db_, "SELECT login, created FROM bans");
        while (st.step())
            bans.emplace_back(blobColumn(st.get(), 0), sqlite3_column_int64(st.get(), 1));
    }
    exec("BEGIN;");
    try {
        for (const auto& [rowid, login] : unkeyed) {
            const std::string key = foldName(login);
            Stmt owner(db_, "SELECT login FROM users WHERE login_key=?");
            owner.blob(1, key);
            if (owner.step()) {
                notes_.push_back("registered name '" + login + "' differs from '" +
                                 blobColumn(owner.get(), 0) +
                                 "' only in letter case; the older one keeps the name");
                continue;
            }
            Stmt set(db_, "UPDATE users SET login_key=? WHERE rowid=?");
            set.blob(1, key).integer(2, rowid);
            set.step();
        }
        for (const auto& [login, created] : bans) {
            const std::string key = foldName(login);
            if (key == login) continue;
            Stmt add(db_, "INSERT OR IGNORE INTO bans(login, created) VALUES(?, ?)");
            add.blob(1, key).integer(2, created);
            add.step();
            Stmt drop(db_, "DELETE FROM bans WHERE login=?");
            drop.blob(1, login);
            drop.step();
        }
        exec("COMMIT;");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
        throw;
    }
}

void Store::exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "unknown error";
        sqlite3_free(err);
        throw StoreError("sqlite: " + msg);
    }
}

std::optional<UserRecord> Store::findUser(std::string_view login) {
    Stmt st(db_,
            "SELECT login, colour, data1, data2, data3, score, last_login FROM users WHERE "
            "login_key=?");
    st.blob(1, foldName(login));
    if (!st.step()) return std::nullopt;
    UserRecord u;
    u.login = blobColumn(st.get(), 0);
    u.colour = blobColumn(st.get(), 1);
    u.data1 = blobColumn(st.get(), 2);
    u.data2 = blobColumn(st.get(), 3);
    u.data3 = blobColumn(st.get(), 4);
    u.score = sqlite3_column_int64(st.get(), 5);
    u.lastLogin = sqlite3_column_int64(st.get(), 6);
    return u;
}

bool Store::isRegistered(std::string_view login) {
    Stmt st(db_, "SELECT 1 FROM users WHERE login_key=?");
    st.blob(1, foldName(login));
    return st.step();
}

std::optional<std::string> Store::passwordHash(std::string_view login) {
    Stmt st(db_, "SELECT pwhash FROM users WHERE login_key=?");
    st.blob(1, foldName(login));
    if (!st.step()) return std::nullopt;
    return blobColumn(st.get(), 0);
}

PasswordCheck Store::checkPassword(std::string_view login, std::string_view password) {
    const std::optional<std::string> hash = passwordHash(login);
    if (!hash) return PasswordCheck::Unregistered;
    return verifyPassword(password, *hash) ? PasswordCheck::Right : PasswordCheck::Wrong;
}

void Store::setPassword(std::string_view login, std::string_view password) {
    setPasswordHash(login, hashPassword(password, hashCost_));
}

void Store::setPasswordHash(std::string_view login, const std::string& hash) {
    Durable sync(db_);
    Stmt st(db_,
            "INSERT INTO users(login, login_key, pwhash, created) "
            "VALUES(?, ?, ?, strftime('%s','now')) "
            "ON CONFLICT(login_key) DO UPDATE SET pwhash=excluded.pwhash");
    st.blob(1, login).blob(2, foldName(login)).text(3, hash);
    st.step();
}

void Store::setColour(std::string_view login, std::string_view colour) {
    Durable sync(db_);
    Stmt st(db_, "UPDATE users SET colour=? WHERE login_key=?");
    st.blob(1, colour).blob(2, foldName(login));
    st.step();
}

void Store::setData(std::string_view login, int which, std::string_view text) {
    static const char* const sql[] = {
        "UPDATE users SET data1=? WHERE login_key=?",
        "UPDATE users SET data2=? WHERE login_key=?",
        "UPDATE users SET data3=? WHERE login_key=?",
    };
    if (which < 1 || which > 3) return;
    Durable sync(db_);
    Stmt st(db_, sql[which - 1]);
    st.blob(1, text).blob(2, foldName(login));
    st.step();
}

void Store::addScore(std::string_view login, std::int64_t points) {
    Stmt st(db_, "UPDATE users SET score=score+? WHERE login_key=?");
    st.integer(1, points).blob(2, foldName(login));
    st.step();
}

void Store::setLastLogin(std::string_view login, std::int64_t when) {
    Stmt st(db_, "UPDATE users SET last_login=? WHERE login_key=?");
    st.integer(1, when).blob(2, foldName(login));
    st.step();
}

bool Store::isBanned(std::string_view login) {
    Stmt st(db_, "SELECT 1 FROM bans WHERE login=?");
    st.blob(1, foldName(login));
    return st.step();
}

void Store::addBan(std::string_view login, std::int64_t when) {
    Durable sync(db_);
    Stmt st(db_, "INSERT OR REPLACE INTO bans(login, created) VALUES(?, ?)");
    st.blob(1, foldName(login)).integer(2, when);
    st.step();
}

void Store::removeBan(std::string_view login) {
    Durable sync(db_);
    Stmt st(db_, "DELETE FROM bans WHERE login=?");
    st.blob(1, foldName(login));
    st.step();
}

void Store::addPaste(const Paste& paste) {
    Stmt st(db_, "INSERT INTO pastes(id, title, code, created, expires) VALUES(?, ?, ?, ?, ?)");
    st.text(1, paste.id).blob(2, paste.title).blob(3, paste.code);
    st.integer(4, paste.created).integer(5, paste.expires);
    st.step();
}

std::optional<Paste> Store::findPaste(std::string_view id, std::int64_t now) {
    Stmt st(db_, "SELECT id, title, code, created, expires FROM pastes WHERE id=? AND expires>?");
    st.text(1, id).integer(2, now);
    if (!st.step()) return std::nullopt;
    Paste p;
    p.id = blobColumn(st.get(), 0);
    p.title = blobColumn(st.get(), 1);
    p.code = blobColumn(st.get(), 2);
    p.created = sqlite3_column_int64(st.get(), 3);
    p.expires = sqlite3_column_int64(st.get(), 4);
    return p;
}

std::optional<std::int64_t> Store::expiredPaste(std::string_view id, std::int64_t now) {
    // Not yet purged, or purged and remembered.
    Stmt st(db_,
            "SELECT expires FROM pastes WHERE id=?1 AND expires<=?2 AND expires>?2-?3 "
            "UNION ALL SELECT expired FROM expired_pastes WHERE id=?1 AND expired>?2-?3");
    st.text(1, id).integer(2, now).integer(3, kExpiredPasteMemory);
    if (!st.step()) return std::nullopt;
    return sqlite3_column_int64(st.get(), 0);
}

void Store::purgeExpiredPastes(std::int64_t now) {
    purgePastes({}, now);
}

void Store::purgeExpiredPaste(std::string_view id, std::int64_t now) {
    purgePastes(id, now);
}

void Store::purgePastes(std::optional<std::string_view> id, std::int64_t now) {
    // ?3 NULL stands for every paste.
    exec("BEGIN;");
    try {
        Stmt keep(db_,
                  "INSERT OR REPLACE INTO expired_pastes(id, expired) "
                  "SELECT id, expires FROM pastes "
                  "WHERE expires<=?1 AND expires>?1-?2 AND (?3 IS NULL OR id=?3)");
        keep.integer(1, now).integer(2, kExpiredPasteMemory);
        if (id) keep.text(3, *id);
        keep.step();
        Stmt drop(db_, "DELETE FROM pastes WHERE expires<=?1 AND (?2 IS NULL OR id=?2)");
        drop.integer(1, now);
        if (id) drop.text(2, *id);
        drop.step();
        if (!id) {
            Stmt forget(db_, "DELETE FROM expired_pastes WHERE expired<=?");
            forget.integer(1, now - kExpiredPasteMemory);
            forget.step();
        }
        exec("COMMIT;");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
        throw;
    }
}

std::optional<std::int64_t> Store::nextPasteExpiry() {
    Stmt st(db_, "SELECT MIN(expires) FROM pastes");
    if (!st.step() || sqlite3_column_type(st.get(), 0) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(st.get(), 0);
}

std::uint64_t Store::pasteBytes(std::int64_t now) {
    Stmt st(db_,
            "SELECT COALESCE(SUM(length(title) + length(code)), 0) FROM pastes WHERE expires>?");
    st.integer(1, now);
    st.step();
    return static_cast<std::uint64_t>(sqlite3_column_int64(st.get(), 0));
}

}  // namespace quarnd
