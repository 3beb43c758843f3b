// A raw TCP peer on 127.0.0.1 with an ephemeral port, driven step by step
// from the test's own thread: the client under test connects (the kernel
// completes the handshake before accept), the test accepts, reads exactly
// what the client wrote and writes exactly the bytes it wants the client to
// read. No framing of its own, so a test can split a message anywhere.
#pragma once

#include <string>
#include <string_view>

namespace kavel_test {

class ScriptServer {
  public:
    ScriptServer();
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    int port() const { return port_; }

    // Takes the next waiting connection (closing the current one); false when
    // none arrives within timeoutMs.
    bool accept(int timeoutMs = 2000);
    bool connected() const { return client_ >= 0; }

    // Everything the client wrote until the line has been quiet for quietMs.
    std::string read(int quietMs = 100);
    // Reads until the received text contains needle (true) or timeoutMs pass.
    bool readUntil(std::string_view needle, int timeoutMs = 2000);
    // All bytes received on the current connection so far.
    const std::string& received() const { return received_; }
    // Whether the client closes its end within timeoutMs (what it wrote
    // before is kept in received()).
    bool clientClosed(int timeoutMs = 2000);
    void clearReceived() { received_.clear(); }

    void send(std::string_view bytes);
    void closeClient();
    // No more connections: the next connect is refused.
    void stopListening();

  private:
    bool fill(int waitMs);
    int listen_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::string received_;
};

}  // namespace kavel_test
