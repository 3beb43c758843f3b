// What chat.cpp and chat_accounts.cpp share of ChatCore's inside: the
// session and room records and the per-command output batch.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "chat.h"
#include "protocol.h"

namespace quarnd {

inline std::string cat(std::initializer_list<std::string_view> parts) {
    std::size_t n = 0;
    for (auto p : parts)
        n += p.size();
    std::string out;
    out.reserve(n);
    for (auto p : parts)
        out.append(p);
    return out;
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
    LineRate rate;                   // its CHAT and DIRECT lines
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

}  // namespace quarnd
