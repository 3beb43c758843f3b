// Everything quarnd keeps across restarts lives in one SQLite file. Texts are
// stored as BLOBs so Windows-1252 bytes come back exactly as they went in.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace quarnd {

class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct UserRecord {
    std::string login;
    std::string colour = "000000";
    std::string data1, data2, data3;
    std::int64_t score = 0;
    std::int64_t lastLogin = 0;
};

struct Paste {
    std::string id;
    std::string title;
    std::string code;
    std::int64_t created = 0;
    std::int64_t expires = 0;
};

// How long the id of an expired paste is remembered, so that its link can
// say "expired" rather than "never existed". Its title and code go at once.
inline constexpr std::int64_t kExpiredPasteMemory = 24 * 60 * 60;

enum class PasswordCheck { Unregistered, Wrong, Right };

// Salted yescrypt hashes. `cost` 0 picks libxcrypt's default; the fuzz target
// passes 1 so a million inputs do not spend their time hashing.
std::string hashPassword(std::string_view password, int cost = 0);
bool verifyPassword(std::string_view password, const std::string& hash);

// Users and bans are found by the folded login name (foldName), so a name
// is one account whatever the letter case it is typed in; a user record
// keeps the spelling it was registered with.
class Store {
  public:
    // `path` ":memory:" gives a throw-away database (fuzzing, unit tests).
    explicit Store(const std::string& path, int hashCost = 0);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    int hashCost() const { return hashCost_; }
    // What opening the database found worth telling the operator (names of
    // an older database that differ only in letter case).
    const std::vector<std::string>& startupNotes() const { return notes_; }

    std::optional<UserRecord> findUser(std::string_view login);
    bool isRegistered(std::string_view login);
    std::optional<std::string> passwordHash(std::string_view login);
    PasswordCheck checkPassword(std::string_view login, std::string_view password);
    // Registers a new login or changes the password of an existing one.
    void setPassword(std::string_view login, std::string_view password);
    void setPasswordHash(std::string_view login, const std::string& hash);
    void setColour(std::string_view login, std::string_view colour);
    void setData(std::string_view login, int which, std::string_view text);
    void addScore(std::string_view login, std::int64_t points);
    void setLastLogin(std::string_view login, std::int64_t when);

    bool isBanned(std::string_view login);
    void addBan(std::string_view login, std::int64_t when);
    void removeBan(std::string_view login);

    void addPaste(const Paste& paste);
    std::optional<Paste> findPaste(std::string_view id, std::int64_t now);
    // When the paste of that id expired, if that is less than
    // kExpiredPasteMemory ago.
    std::optional<std::int64_t> expiredPaste(std::string_view id, std::int64_t now);
    // Drops the content of expired pastes, keeping their ids for a while.
    void purgeExpiredPastes(std::int64_t now);
    // The same for the paste of that id alone, if it has expired.
    void purgeExpiredPaste(std::string_view id, std::int64_t now);
    // When the next paste whose content is still stored expires.
    std::optional<std::int64_t> nextPasteExpiry();
    // Bytes of title and code of the pastes not yet expired.
    std::uint64_t pasteBytes(std::int64_t now);

  private:
    class Stmt;
    class Durable;
    void exec(const char* sql);
    void migrate();
    // Of the paste of that id only, or of all.
    void purgePastes(std::optional<std::string_view> id, std::int64_t now);

    sqlite3* db_ = nullptr;
    int hashCost_;
    std::vector<std::string> notes_;
};

}  // namespace quarnd
