#pragma once
// The connection to the chat server: connect, login, commands, polling,
// keep-alive with reconnection, disconnect; the dispatch of received data
// and the flood guard; the HTTP form upload. One Session object owns all of
// it; whatever it needs from the program above (rooms, the status log,
// questions to the user, a wait that keeps the windows painted) comes
// through the ports it is built with.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/data.h"
#include "common/line_splitter.h"
#include "net/NET_Methods_Decode.h"

namespace kavel {

inline constexpr int ServerPort = 1998;
inline constexpr uint32_t KeepAliveInterval = 30000;  // ms
inline constexpr int ReadLimit = 1024;                // bytes per poll

// A read reassembles the stream: a message cut by the read limit or by TCP
// waits for its rest, a carriage return or a NUL ends a message, empty
// messages are dropped, a message longer than MaxMessage is dropped whole.
inline constexpr std::size_t MaxMessage = 64 * 1024;

// A session that broke (keep-alive time-out or closed peer) is repaired
// RepairDelay later: the main loop waits for that moment as for the
// keep-alive, with the windows served meanwhile. Any connect cancels it.
inline constexpr uint32_t RepairDelay = 500;  // ms
inline constexpr uint32_t NoRepairPending = UINT32_MAX;

// What the session reaches outside the network layer. The program's
// start-up fills them with the real rooms, windows and dialogs; a test
// builds a session with its own.
struct SessionPorts {
    // The status log of the main window ("[hh:ii:ss] text.").
    std::function<void(std::string_view)> status;
    std::function<void(int)> playSound;

    // Rooms.
    std::function<ChatRoom*(const std::string&)> createRoom;
    std::function<std::string(ChatRoom*)> roomName;
    std::function<void(ChatRoom*, const std::string&)> roomPrint;
    std::function<void(ChatRoom*, const std::string&)> roomAddUser;
    std::function<void(ChatRoom*)> roomClearUsers;
    std::function<int(ChatRoom*)> roomInput;
    // Leaves the room: sends its LEAVE and closes its window.
    std::function<void(ChatRoom*)> roomDestroy;

    // The user information window.
    std::function<void(std::string_view title)> openUserInfo;
    std::function<bool()> userInfoOpen;
    std::function<void(std::string_view)> userInfoLine;

    // Questions to the user, answered before they return: a yes/no
    // question (true: yes), and a message to acknowledge.
    std::function<bool(std::string_view title, std::string_view text)> ask;
    std::function<void(std::string_view title, std::string_view text)> tell;
    // How the session spends a wait on the network (a name lookup, an HTTP
    // reply): wait(ms) returns after at most ms, earlier once wake() was
    // called from another thread; the windows stay painted meanwhile.
    std::function<void(uint32_t ms)> wait;
    std::function<void()> wake;
};

// The flood guard counts DIRECTs; more than three, each within five
// seconds of the last, raise the question of the shields.
struct FloodState {
    int32_t directCount = 0;
    uint32_t lastDirect = 0;   // local time in whole seconds
    ServerMessage keptDirect;  // the last DIRECT, waiting for its sender line
};

class Session {
  public:
    // The session built last that still lives is the program's (session()).
    explicit Session(SessionPorts ports);
    ~Session();  // closes the connection without a word to the server
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const SessionPorts& ports() const { return ports_; }

    // --- the servers (prefs.ini) ---
    // The chat server host: "server" of [General], else localhost.
    const std::string& host() const { return host_; }
    void setHost(std::string host);
    // ServerPort, or TlsServerPort with TLS, unless the setting names a port.
    int port() const;
    void setPort(int port) { port_ = port; }
    // "tls = 1": the chat goes over TLS.
    bool tls() const { return tls_; }
    void setTls(bool on) { tls_ = on; }
    // The paste service ("host", "host:port", "https://host:port").
    const std::string& pasteServer() const { return pasteServer_; }
    void setPasteServer(std::string setting) { pasteServer_ = std::move(setting); }

    // --- the connection (NET_Methods.cpp) ---
    bool connect(const std::string& host, int port);
    void login(std::string_view name, std::string_view password);
    void joinRoom(std::string_view roomText);
    void send(std::string_view command);
    // One read from the server: the messages it completed, in order (empty
    // when none). A peer that has closed the connection is noticed at once:
    // the session breaks and is repaired once.
    std::vector<std::string> readMessages();
    // The read, the dispatch of what it completed, then askPending.
    void poll();
    // Bytes kept back because their message is not complete yet.
    std::size_t pendingBytes() const { return splitter_.pendingBytes(); }
    void disconnect();
    // The handle of socket.h; 0 offline.
    uint32_t connection() const { return connection_; }

    // Main-loop step while connected: the probe, or the repair when the
    // last one went unanswered.
    void keepAlive();
    // Restarts the keep-alive period (after a connect from the menu).
    void restartKeepAlive();
    // Milliseconds until keepAlive has something to do (0: now).
    uint32_t keepAliveWait() const;
    // Milliseconds until the pending repair is due (0: now), or NoRepairPending.
    uint32_t repairWait() const;
    // Main-loop step while offline: the pending repair once it is due.
    void repairStep();
    // Reconnects at once: one attempt, then the open rooms are joined again.
    // A failed attempt leaves the client offline with its rooms open.
    void repair();
    // Opens a session from the menu or after the profile question: connect,
    // login, and join again the rooms that are still open.
    bool open();
    // Sends the public profile of a registered user; false for a guest.
    bool uploadProfile();
    // Main-loop step: pending profile upload, or the question to connect.
    void profileUploadStep();

    // --- dispatch and flood guard (NET_Methods_Dispatch.cpp) ---
    // The complete messages of one read, in order, up to the first that
    // needs the user (the flood question, the reason of a kick): that one's
    // question and the rest of the read wait in the session for
    // askPending. No dialog opens inside a dispatch.
    void dispatch(const std::vector<std::string>& messages);
    // Asks the question the last dispatch stopped at, applies the answer and
    // dispatches the rest of that read, asking again wherever it stops. poll
    // calls it once its dispatch has returned. A session that ends (or
    // connects afresh) drops an unasked flood question with the rest of its
    // read; a kick's reason outlives the disconnect it caused.
    void askPending();
    bool questionPending() const { return pending_.kind != PendingQuestion::None; }
    // How many complete room lists arrived so far: a count that moves after
    // a login tells that the server's answer to its ROOMLIST is in.
    uint32_t roomListsReceived() const { return roomLists_; }
    const FloodState& flood() const { return flood_; }

    // --- the paste upload (NET_Methods_Http.cpp) ---
    // Posts body to server (a paste service setting) at path (no leading
    // slash) and returns the Location value of the reply. Empty when the
    // server cannot be reached, does not answer within kHttpReplyWaitMs or
    // gives no Location. Blocks the caller but keeps the windows painted.
    std::string postForm(const std::string& server, const std::string& path,
                         const std::string& body);

  private:
    void dropConnection();
    void broke();
    void rejoinOpenRooms();

    ChatRoom* findRoom(const std::string& name);
    ChatRoom* openRoom(const std::string& name);
    ChatRoom* roomFor(const std::string& name);
    void toRoom(const ServerMessage& message);
    void floodReleaseCheck();
    void floodCount(const ServerMessage& message);
    void applyRead(std::vector<std::string> messages);
    void applyMessages(std::vector<std::string> messages);
    void dropPending();
    void numberedReply(const ServerMessage& message);
    void profileValue(const ServerMessage& message);
    void directAction(const std::string& sender);

    SessionPorts ports_;
    std::string host_ = "localhost";
    int port_ = 0;  // 0: the transport's own port
    bool tls_ = false;
    std::string pasteServer_;

    uint32_t connection_ = 0;
    LineSplitter splitter_;
    uint32_t lastKeepAlive_ = 0;
    // When the session broke, while its repair is pending.
    std::optional<uint32_t> brokeAt_;

    FloodState flood_;
    // The question a dispatch stopped at, with the messages of its read
    // that come after it.
    struct PendingQuestion {
        enum Kind { None, Flood, Kicked } kind = None;
        std::string text;  // the flood's sender, the kick's reason
        std::vector<std::string> rest;
    };
    PendingQuestion pending_;
    // Reads that came while it waited (never from poll, which asks first).
    std::deque<std::vector<std::string>> laterReads_;
    // Rooms the server put us into whose window could not be built: told
    // once, left once, and their later messages dropped.
    std::set<std::string> unopenable_;
    uint32_t roomLists_ = 0;
};

// The program's session: the one built last that still lives. Start-up
// builds it before anything reaches the network.
Session& session();

}  // namespace kavel
