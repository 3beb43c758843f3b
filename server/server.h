// The socket side of quarnd: one poll() loop over non-blocking sockets for
// the chat port and the paste port. All protocol decisions are in ChatCore
// and PasteService; this layer only moves bytes, enforces limits and times.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
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
    std::chrono::seconds idleLimit{600};
    std::chrono::seconds httpIdleLimit{30};
    std::size_t maxPendingOutput = 1024 * 1024;
    std::size_t maxConnections = 1000;
    std::string bindAddress = "0.0.0.0";
    bool logToStderr = true;
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
    std::uint16_t pastePort() const;  // 0 when the paste service is off

    // Serves until requestStop(); then closes every connection.
    void run();
    // Safe to call from a signal handler or another thread.
    void requestStop();

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quarnd
