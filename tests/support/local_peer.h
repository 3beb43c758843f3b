#pragma once
// A peer the client reaches by a made-up host name over a Unix socket: the
// name server the test installs (Services::resolver) answers that name with
// the socket's address, so the client connects the way it always does. What
// the client writes can be taken at once, in the order written: a Unix
// stream has it in the peer's queue when the write returns, loopback TCP
// only nearly always.

#include <netdb.h>

#include <functional>
#include <string>

namespace kavel::test {

class LocalPeer {
  public:
    static constexpr const char* kHost = "peer.test";
    static constexpr int kPort = 1998;

    LocalPeer();
    ~LocalPeer();
    LocalPeer(const LocalPeer&) = delete;
    LocalPeer& operator=(const LocalPeer&) = delete;

    // For the services record: kHost is this peer, every other name unknown.
    std::function<int(const char*, const char*, const addrinfo*, addrinfo**)> resolver() const;

    // Takes the connection the client made (closing the one before); false
    // when there is none.
    bool accept();
    // What the client wrote since the last call, without waiting.
    std::string take();
    void closeClient();

  private:
    std::string address_;  // a sockaddr_un in the abstract namespace
    int listen_ = -1;
    int client_ = -1;
};

}  // namespace kavel::test
