// The POSIX sockets under the session: bounded connect, honest "data
// waiting", reads and sends of exact bytes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <netdb.h>

#include "support/script_server.h"
#include "support/services.h"
#include "system/socket.h"

using namespace kavel::platform;
using kavel_test::ScriptServer;

namespace {

bool waitForData(uint32_t handle, int ms = 2000) {
    for (int i = 0; i < ms; ++i) {
        if (dataWaiting(handle)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(Socket, ExactBytesBothWays) {
    ASSERT_TRUE(initNetwork());
    ScriptServer server;
    const uint32_t h = tcpConnect("127.0.0.1", server.port());
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(server.accept());
    const std::string out("A\0\r\xFF", 4);
    ASSERT_TRUE(tcpSend(h, out));
    EXPECT_EQ(server.read(), out);

    EXPECT_FALSE(dataWaiting(h));
    server.send(std::string(3000, 'x'));
    ASSERT_TRUE(waitForData(h));
    std::vector<char> buffer(1024);
    EXPECT_EQ(tcpRead(h, buffer.data(), 1024), 1024);
    tcpClose(h);
}

TEST(Socket, HostNamesResolve) {
    ScriptServer server;
    const uint32_t h = tcpConnect("localhost", server.port());
    // localhost may resolve to ::1 first; the IPv4 address must still be tried.
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(server.accept());
    tcpClose(h);
}

TEST(Socket, AClosedPeerIsNotDataWaiting) {
    ScriptServer server;
    const uint32_t h = tcpConnect("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept());
    server.send("bye");
    server.closeClient();
    ASSERT_TRUE(waitForData(h));
    char buffer[16];
    EXPECT_EQ(tcpRead(h, buffer, 16), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Otherwise the main loop would read 0 bytes on every pass.
    EXPECT_FALSE(dataWaiting(h));
    EXPECT_EQ(tcpRead(h, buffer, 16), 0);
    // Sending to a gone peer fails without killing the process by SIGPIPE.
    for (int i = 0; i < 5 && tcpSend(h, "x"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(tcpSend(h, "x"));
    tcpClose(h);
}

TEST(Socket, RefusedAndUnknownHostsFailAtOnce) {
    int port;
    {
        ScriptServer gone;
        port = gone.port();
    }
    EXPECT_EQ(tcpConnect("127.0.0.1", port), 0u);
    EXPECT_EQ(tcpConnect("no-such-host.invalid", 1998), 0u);
    EXPECT_EQ(tcpConnect("", 1998), 0u);
    EXPECT_EQ(tcpConnect("127.0.0.1", 0), 0u);
}

// A listener whose accept queue is full drops new handshakes, so a connect
// to it hangs like one to an unreachable host.
TEST(Socket, ConnectGivesUpAfterItsTimeOut) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(c);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const auto start = std::chrono::steady_clock::now();
    const uint32_t h = tcpConnect("127.0.0.1", ntohs(addr.sin_port), 300);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_EQ(h, 0u);
    EXPECT_GE(took.count(), 250);
    EXPECT_LT(took.count(), 2000);
    for (int c : fillers)
        ::close(c);
    ::close(fd);
}

// Which lookups reach the name server at all, and what each one yields.
// The name server here answers at once: with loopback, or with nothing.
TEST(Resolve, OnlyNamesAskTheNameServer) {
    struct Case {
        const char* host;
        int port;
        bool nameServerKnows;
        ResolvedHost::Outcome outcome;
        int asked;
    };
    const Case cases[] = {
        {"127.0.0.1", 1998, false, ResolvedHost::Found, 0},
        {"::1", 1998, false, ResolvedHost::Found, 0},
        {"chat.example", 1998, true, ResolvedHost::Found, 1},
        {"chat.example", 1998, false, ResolvedHost::NotFound, 1},
        {"", 1998, true, ResolvedHost::NotFound, 0},
        {"chat.example", 0, true, ResolvedHost::NotFound, 0},
        {"chat.example", 65536, true, ResolvedHost::NotFound, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + ":" + std::to_string(c.port));
        auto asked = std::make_shared<std::atomic<int>>(0);
        kavel::test::setService(&Services::resolver, [asked, knows = c.nameServerKnows](
                                                         const char*, const char* service,
                                                         const addrinfo* hints, addrinfo** found) {
            ++*asked;
            return knows ? ::getaddrinfo("127.0.0.1", service, hints, found) : EAI_NONAME;
        });
        const ResolvedHost r = resolveHost(c.host, c.port);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.addresses.empty(), c.outcome != ResolvedHost::Found);
        EXPECT_EQ(asked->load(), c.asked);
    }
}

}  // namespace
