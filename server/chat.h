// The chat model of quarnd: sessions, rooms and the command table. It knows
// nothing about sockets; the caller feeds it complete lines and receives
// whole transmissions through an Outbox, which is what lets the fuzz target
// and the unit tests drive a session entirely in memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "line_rate.h"
#include "password_worker.h"
#include "store.h"

namespace quarnd {

using SessionId = std::uint64_t;

class Outbox {
  public:
    virtual ~Outbox() = default;
    // One complete transmission: messages each ending in CR, then one NUL.
    virtual void deliver(SessionId id, std::string&& transmission) = 0;
    // The session is finished; send what is queued, then hang up.
    virtual void closeAfterFlush(SessionId id) = 0;
};

struct RoomEntry {
    std::string name;
    std::string password;
};

std::vector<RoomEntry> defaultRooms();
// `name [password]` a line; blank lines and lines starting with '#' are skipped.
std::vector<RoomEntry> parseRoomsFile(std::string_view text);
// One login name a line, same comment rules.
std::unordered_set<std::string> parseAdminsFile(std::string_view text);

struct ChatConfig {
    std::size_t maxSessions = 500;
    std::vector<RoomEntry> fixedRooms = defaultRooms();
    // Re-read on every login so an edited admins.txt takes effect without a
    // restart; empty path means nobody is an admin by file. A listed name
    // gives rights only to a session logged in with that name's password.
    std::filesystem::path adminsFile;
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    // Milliseconds of a clock that never steps back, for the line rate.
    std::function<std::int64_t()> millis = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    // CHAT and DIRECT lines of one session beyond these are dropped, the
    // sender told so in a room; a session that keeps on is disconnected.
    // Everything else a client sends (login, rooms, profile) is not counted.
    LineRateLimits lines;
    // Rooms created by users beyond this many are refused with [12]; this
    // keeps a script joining random names from growing the room table.
    std::size_t maxRooms = 2000;
    // Rooms one session may have created that still exist, so that one user
    // cannot take the whole table and leave nobody room for a private chat.
    std::size_t roomsPerSession = 20;
    // A session may change its password once, then once per this many
    // seconds; the client sends the password with every profile upload.
    std::time_t passwordInterval = 5;
    // After this many wrong passwords from one address, logins to
    // registered names from there are refused for loginLockout seconds.
    unsigned loginFailures = 5;
    std::time_t loginLockout = 60;
    // Where password work goes. Set: the job is handed over, the session
    // waits (waiting() is true) and the caller must hold back its further
    // lines until cryptDone() brings the result. Unset: done inline.
    std::function<void(CryptJob)> crypt;
    // Events worth an operator's attention; unset: dropped.
    std::function<void(const std::string&)> log;
};

class ChatCore {
  public:
    ChatCore(Store& store, Outbox& outbox, ChatConfig config = {});
    ~ChatCore();
    ChatCore(const ChatCore&) = delete;
    ChatCore& operator=(const ChatCore&) = delete;

    // `address` is the peer's address without port, what failed logins are
    // counted by; empty: the peer string is used.
    SessionId open(std::string peer, std::string address = {});
    // Not while waiting(id): a line must not overtake the password job of
    // the lines before it.
    void handleLine(SessionId id, std::string_view line);
    // The connection is gone (closed by the peer, dropped, or idle): the user
    // leaves every room and the others are told.
    void close(SessionId id);
    // The answer to a job handed to ChatConfig::crypt.
    void cryptDone(const CryptResult& result);

    // Between beginPass() and endPass() the user list of a room goes out in
    // full once; further changes to that room within the pass reach the
    // other members as one list at endPass(). A flood of JOIN and LEAVE then
    // costs each member one list per pass instead of one per command.
    void beginPass();
    void endPass();

    std::size_t sessionCount() const { return sessions_.size(); }
    std::size_t loggedInCount() const { return loggedIn_; }
    std::size_t roomCount() const { return rooms_.size(); }
    bool isLoggedIn(SessionId id) const;
    bool waiting(SessionId id) const;
    // The login name of a session, empty before login.
    std::string loginOf(SessionId id) const;
    // Names in admins.txt that nobody has registered: they give no rights,
    // which the operator should hear about.
    std::vector<std::string> unregisteredAdmins();

  private:
    struct Session;
    struct Room;
    class Batch;

    void cmdLogin(Batch& out, Session& s, std::string_view rest);
    void finishLogin(Batch& out, Session& s, const std::string& name, PasswordCheck check);
    void cmdRoomList(Batch& out, Session& s);
    void cmdJoin(Batch& out, Session& s, std::string_view rest);
    void cmdLeave(Batch& out, Session& s, std::string_view rest);
    void cmdChat(Batch& out, Session& s, std::string_view rest);
    void cmdName(Batch& out, Session& s, std::string_view rest);
    void cmdInfo(Batch& out, Session& s, std::string_view rest);
    void cmdSave(Batch& out, Session& s, std::string_view rest);
    void cmdDirect(Batch& out, Session& s, std::string_view rest);
    void cmdKick(Batch& out, Session& s, std::string_view rest);
    void cmdBan(Batch& out, Session& s, std::string_view rest, bool add);
    void cmdAdmin(Batch& out, Session& s, std::string_view rest);
    void cmdAdminRemark(Batch& out, Session& s, std::string_view rest);

    // False when the line is over the session's rate and goes nowhere.
    bool admitLine(Batch& out, Session& s, std::string_view keyword, std::string_view rest);
    void startCrypt(Batch& out, Session& s, CryptJob job);
    void finishCrypt(Batch& out, Session& s, const CryptResult& result);
    bool loginLocked(const std::string& address, std::time_t now);
    void noteFailedLogin(const std::string& address, std::time_t now);
    void report(const std::string& message) const;

    bool isAdmin(const Session& s) const;
    bool loadAdminsFile(std::string_view login) const;
    Room* findRoom(std::string_view name);
    Session* findByNick(std::string_view nick);
    Session* findByNickOrLogin(std::string_view name);
    // `actor` is the session whose command changed the room; it gets the
    // list in its reply even when the others' copy waits for endPass().
    void sendUserList(Batch& out, Room& room, SessionId actor);
    void leaveRoom(Batch& out, Session& s, Room& room);
    void leaveAll(Batch& out, Session& s);
    void removeRoomIfDone(Room* room);
    void hangUp(Batch& out, Session& s);
    void setNick(Session& s, std::string nick);
    std::string formatTime(std::time_t t) const;

    Store& store_;
    Outbox& outbox_;
    ChatConfig config_;
    SessionId nextId_ = 1;
    std::size_t loggedIn_ = 0;
    std::unordered_map<SessionId, std::unique_ptr<Session>> sessions_;
    std::unordered_map<std::string, SessionId> byNick_;   // folded nick
    std::unordered_map<std::string, SessionId> byLogin_;  // folded login
    std::vector<std::unique_ptr<Room>> rooms_;            // creation order, as ROOMLIST lists them
    bool inPass_ = false;
    std::vector<Room*> touched_;  // rooms whose list went out in this pass

    struct Failures {
        unsigned count = 0;
        std::time_t last = 0;
        std::time_t lockedUntil = 0;
    };
    std::unordered_map<std::string, Failures> failures_;  // by address
};

}  // namespace quarnd
