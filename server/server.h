// The socket side of quarnd: one poll() loop over non-blocking sockets for
// the chat port and the paste port. All protocol decisions are in ChatCore
// and PasteService; this layer only moves bytes, enforces limits and times.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace quarnd {

class ServerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ServerConfig {
    std::uint16_t chatPort = 1998;
    std::optional<std::uint16_t> pastePort = 8080;  // nullopt: no paste service
    std::filesystem::path dataDir = "quarnd-data";
    std::string host;  // for paste links; empty: the request's Host header
    // Debian's libjs-highlight.js; empty: paste pages without highlighting.
    std::string highlightDir = "/usr/share/javascript/highlight.js";
    std::string bindAddress = "0.0.0.0";
    // TLS listeners beside the plain ones; nullopt: none (the command line
    // turns them on by default). The certificate and key (PEM) given, or,
    // both empty, a self-signed one kept in the data folder.
    std::optional<std::uint16_t> tlsPort;
    std::optional<std::uint16_t> pasteTlsPort;
    std::filesystem::path tlsCert;
    std::filesystem::path tlsKey;
    // A TLS handshake not finished by then costs the peer its connection.
    std::chrono::seconds tlsHandshakeLimit{10};
    bool logToStderr = true;

    // Connections, logged in or not. Per address: of each kind.
    std::size_t maxChatConnections = 600;
    // Logged-in users; more get "[1]- Server voll".
    std::size_t maxUsers = 500;
    std::size_t maxPasteConnections = 100;
    std::size_t maxPerAddress = 16;
    // Deadlines. A chat connection must log in within loginLimit and may
    // then be silent for idleLimit; a paste request must have arrived whole
    // within httpRequestLimit of connecting, and its reply be taken within
    // httpIdleLimit.
    std::chrono::seconds idleLimit{600};
    std::chrono::seconds loginLimit{30};
    std::chrono::seconds httpRequestLimit{20};
    std::chrono::seconds httpIdleLimit{30};
    // Chat output a peer leaves untaken: over maxPendingOutput for longer
    // than outputGrace, or over four times that at any moment, drops it.
    std::size_t maxPendingOutput = 1024 * 1024;
    std::chrono::seconds outputGrace{5};
    // Paste replies: one may hold this much; all not yet taken together
    // this much, beyond which requests get 503 until some are taken.
    std::size_t maxHttpOutput = 8 * 1024 * 1024;
    std::size_t httpOutputBudget = 64 * 1024 * 1024;
    // Lines of one chat connection handled per loop pass; the rest wait in
    // its buffer, so one peer's flood is interleaved with everybody else.
    std::size_t linesPerPass = 32;
    // Chat (see ChatConfig).
    std::size_t maxRooms = 2000;
    std::size_t roomsPerSession = 20;
    std::chrono::seconds passwordInterval{5};
    unsigned loginFailures = 5;
    std::chrono::seconds loginLockout{60};
    // Chat and direct lines of one session (see ChatConfig); lineRate 0:
    // no limit, floodDrops 0: never disconnected for it.
    unsigned lineBurst = 20;
    unsigned lineRate = 5;
    unsigned floodDrops = 50;
    std::chrono::seconds floodWindow{10};
    // Pastes (see PasteConfig).
    unsigned pastesPerMinute = 10;
    std::uint64_t pasteStorageBytes = 256ull * 1024 * 1024;
    // The wall clock of pastes and accounts; empty: time(). Tests move it.
    std::function<std::time_t()> clock;
};

class Server {
  public:
    // Opens the database and binds both ports; throws ServerError with a
    // message fit for the user when either fails.
    explicit Server(ServerConfig config);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::uint16_t chatPort() const;
    std::uint16_t pastePort() const;     // 0 when the paste service is off
    std::uint16_t tlsPort() const;       // 0 when chat over TLS is off
    std::uint16_t pasteTlsPort() const;  // 0 when HTTPS is off
    // The SHA-256 fingerprint of the certificate shown, empty without TLS.
    std::string fingerprint() const;

    // Serves until requestStop(); then closes every connection.
    void run();
    // Safe to call from a signal handler or another thread.
    void requestStop();

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quarnd
