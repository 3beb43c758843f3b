// The chat model of quarnd: sessions, rooms and the command table. It knows
// nothing about sockets; the caller feeds it complete lines and receives
// whole transmissions through an Outbox, which is what lets the fuzz target
// and the unit tests drive a session entirely in memory.
#pragma once

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
    // restart; empty path means nobody is an admin by file.
    std::filesystem::path adminsFile;
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    // Rooms created by users beyond this many are refused silently; this
    // keeps a script joining random names from growing the room table.
    std::size_t maxRooms = 2000;
};

class ChatCore {
  public:
    ChatCore(Store& store, Outbox& outbox, ChatConfig config = {});
    ~ChatCore();
    ChatCore(const ChatCore&) = delete;
    ChatCore& operator=(const ChatCore&) = delete;

    SessionId open(std::string peer);
    void handleLine(SessionId id, std::string_view line);
    // The connection is gone (closed by the peer, dropped, or idle): the user
    // leaves every room and the others are told.
    void close(SessionId id);

    std::size_t sessionCount() const { return sessions_.size(); }
    std::size_t loggedInCount() const { return loggedIn_; }
    std::size_t roomCount() const { return rooms_.size(); }
    // The login name of a session, empty before login.
    std::string loginOf(SessionId id) const;

  private:
    struct Session;
    struct Room;
    class Batch;

    void cmdLogin(Batch& out, Session& s, std::string_view rest);
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

    bool isAdmin(const Session& s) const;
    bool loadAdminsFile(std::string_view login) const;
    Room* findRoom(std::string_view name);
    Session* findByNick(std::string_view nick);
    Session* findByNickOrLogin(std::string_view name);
    void sendUserList(Batch& out, const Room& room);
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
    std::unordered_map<std::string, SessionId> byNick_;
    std::unordered_map<std::string, SessionId> byLogin_;
    std::vector<std::unique_ptr<Room>> rooms_;   // creation order, as ROOMLIST lists them
    std::unordered_set<std::string> runAdmins_;  // ADMIN for the lifetime of this process
};

}  // namespace quarnd
