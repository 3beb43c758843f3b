// Hostile and broken peers: none of them may crash the server, stall other
// sessions or make it hoard memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <random>
#include <thread>

#include "options.h"
#include "protocol.h"
#include "server.h"
#include "server/server_clients.h"

using quarnd_test::guest;
using quarnd_test::QuarndProcess;
using quarnd_test::RawQuarnClient;
using quarnd_test::rssKiB;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr long kRssLimitKiB = 1L << 40;
#else
constexpr long kRssLimitKiB = 64 * 1024;
#endif

TEST(server_robustness, LineSplitterCutsLongLinesAndDropsLfAndNul) {
    quarnd::LineSplitter s;
    std::vector<std::string> lines;
    std::vector<bool> cuts;
    auto collect = [&](std::string_view l, bool cut) {
        lines.emplace_back(l);
        cuts.push_back(cut);
    };
    s.feed(std::string("a\nb\0c", 5), collect);
    EXPECT_TRUE(lines.empty());
    s.feed("\r\rx", collect);
    EXPECT_THAT(lines, ElementsAre("abc", ""));
    s.feed(std::string(10000, 'y'), collect);
    EXPECT_EQ(s.pendingBytes(), quarnd::kMaxLineBytes);
    s.feed("z\rnext\r", collect);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "x" + std::string(quarnd::kMaxLineBytes - 1, 'y'));
    EXPECT_EQ(lines[3], "next");
    EXPECT_THAT(cuts, ElementsAre(false, false, true, false));
}

TEST(server_robustness, TenMegabytesWithoutCarriageReturnIsCutAndOthersAreServed) {
    QuarndProcess server;
    auto a = guest(server.chatPort(), "flooder");
    auto b = guest(server.chatPort(), "bystander");
    a->command("JOIN Lobby");
    b->command("JOIN Lobby");
    a->receive();

    const std::string head = "CHAT Lobby ";
    std::thread pour([&] {
        a->sendRaw(head);
        const std::string chunk(64 * 1024, 'x');
        for (int i = 0; i < 160; ++i)
            a->sendRaw(chunk);
    });
    // While ten megabytes pour in, the bystander still gets answers.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(b->command("ROOMLIST").front(), "ROOMLIST_START");
    }
    pour.join();
    a->sendRaw("\r");
    const std::string expected =
        "CHAT Lobby flooder: " + std::string(quarnd::kMaxLineBytes - head.size(), 'x');
    EXPECT_THAT(b->receive(10000).value(), ElementsAre(expected));
    EXPECT_LT(rssKiB(server.pid()), kRssLimitKiB);
}

TEST(server_robustness, RandomBytesPartialLinesAndAbruptCloses) {
    QuarndProcess server;
    auto watcher = guest(server.chatPort(), "watcher");
    watcher->command("JOIN Lobby");
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    const char* prefixes[] = {"", "LOGIN fuzz%d  x\r", "LOGIN fuzz%d  x\rJOIN Lobby\rCHAT Lobby "};
    for (int round = 0; round < 60; ++round) {
        RawQuarnClient c(server.chatPort());
        char prefix[128];
        std::snprintf(prefix, sizeof prefix, prefixes[round % 3], round);
        std::string junk = prefix;
        for (int i = 0; i < 3000; ++i)
            junk.push_back(static_cast<char>(byte(rng)));
        c.sendRaw(junk);  // ends mid-line, then the connection drops
    }
    watcher->drain(500);
    // Still alive and serving, and nobody got stuck in the Lobby.
    EXPECT_EQ(watcher->command("ROOMLIST")[1], "ROOMLIST Lobby 1");
    auto late = guest(server.chatPort(), "late");
    EXPECT_EQ(late->command("JOIN Lobby").size(), 4u);
    EXPECT_EQ(waitpid(server.pid(), nullptr, WNOHANG), 0);
}

TEST(server_robustness, SlowReaderIsDroppedInsteadOfBuffered) {
    // The loud one is a room of busy members in one connection.
    QuarndProcess::Options o;
    o.extraArgs = {"--line-rate", "0"};
    QuarndProcess server(o);
    auto slow = guest(server.chatPort(), "schnecke");
    slow->command("JOIN Lobby");
    // Shrink the slow side's kernel buffer so the backlog lands in quarnd.
    const int small = 4096;
    setsockopt(slow->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);

    auto loud = guest(server.chatPort(), "laut");
    loud->command("JOIN Lobby");
    std::atomic<bool> done{false};
    std::thread reader([&] {  // the loud client reads its own echoes
        char buf[65536];
        while (!done) {
            pollfd p{loud->fd(), POLLIN, 0};
            if (poll(&p, 1, 50) > 0 && ::recv(loud->fd(), buf, sizeof buf, 0) <= 0) break;
        }
    });
    const std::string line = "CHAT Lobby " + std::string(3900, 'z') + "\r";
    std::string batch;
    for (int i = 0; i < 100; ++i)
        batch += line;
    // The kernel takes a few megabytes on loopback before quarnd has to hold
    // anything; ~390 KB a round, 23 MB at most.
    for (int i = 0; i < 60 && server.log().find("backlog") == std::string::npos; ++i) {
        loud->sendRaw(batch);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    done = true;
    reader.join();
    EXPECT_THAT(server.log(), HasSubstr("schnecke): output backlog over limit"));
    EXPECT_LT(rssKiB(server.pid()), kRssLimitKiB);
    // The others carry on.
    auto other = guest(server.chatPort(), "andere");
    EXPECT_EQ(other->command("ROOMLIST")[1], "ROOMLIST Lobby 1");
}

TEST(server_robustness, IdleSessionsAreDisconnected) {
    QuarndProcess scratch;  // only for its temp folder
    quarnd::ServerConfig config;
    config.chatPort = 0;
    config.pastePort.reset();
    config.dataDir = scratch.dataDir() + "/inproc";
    config.idleLimit = std::chrono::seconds(1);
    config.logToStderr = false;
    quarnd::Server server(config);
    std::thread loop([&] { server.run(); });

    RawQuarnClient quiet(server.chatPort());
    RawQuarnClient busy(server.chatPort());
    busy.command("LOGIN fleissig  x");
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        busy.send("DIRECT fleissig P");
        busy.receive();
    }
    EXPECT_TRUE(quiet.waitClosed(100));
    EXPECT_FALSE(busy.closedByPeer());
    server.requestStop();
    loop.join();
    EXPECT_TRUE(busy.waitClosed(1000));  // shutdown closes every connection
}

TEST(server_robustness, SigtermClosesClientsAndExitsCleanly) {
    QuarndProcess server;
    auto a = guest(server.chatPort(), "anna");
    const int status = server.stop();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(a->waitClosed(1000));
}

TEST(server_robustness, TakenPortFailsFastWithAMessage) {
    QuarndProcess first;
    QuarndProcess::Options o;
    o.extraArgs = {"--port", std::to_string(first.chatPort())};
    const auto start = std::chrono::steady_clock::now();
    try {
        QuarndProcess second(o);
        FAIL() << "second server started on a taken port";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("cannot listen on chat port"));
        EXPECT_THAT(e.what(), HasSubstr("Address already in use"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(server_robustness, CommandLine) {
    using quarnd::parseOptions;
    auto o = parseOptions({"--port", "0", "--paste-port=0", "--data", "d", "--host", "h"});
    EXPECT_TRUE(o.error.empty());
    EXPECT_EQ(o.server.chatPort, 0);
    EXPECT_EQ(o.server.pastePort, 0);
    EXPECT_EQ(o.server.dataDir, "d");
    EXPECT_EQ(o.server.host, "h");
    EXPECT_FALSE(parseOptions({"--paste-port", "off"}).server.pastePort);
    EXPECT_FALSE(parseOptions({"--no-paste"}).server.pastePort);
    EXPECT_EQ(parseOptions({}).server.chatPort, 1998);
    EXPECT_EQ(parseOptions({}).server.pastePort, 8080);
    auto limits = parseOptions({"--max-per-address", "3", "--login-timeout=7", "--paste-storage",
                                "2", "--paste-rate", "0", "--host", "[::1]:99"});
    EXPECT_TRUE(limits.error.empty()) << limits.error;
    EXPECT_EQ(limits.server.maxPerAddress, 3u);
    EXPECT_EQ(limits.server.loginLimit, std::chrono::seconds(7));
    EXPECT_EQ(limits.server.pasteStorageBytes, 2u * 1024 * 1024);
    EXPECT_EQ(limits.server.pastesPerMinute, 0u);
    for (auto bad : std::vector<std::vector<std::string>>{{"--port"},
                                                          {"--port", "65536"},
                                                          {"--port", "12x"},
                                                          {"--paste-port", "-1"},
                                                          {"--bogus"},
                                                          {"--max-chat", "0"},
                                                          {"--login-timeout", "-5"},
                                                          {"--rooms-per-user"},
                                                          {"--host", "a\rb"},
                                                          {"--host", "a b:80"}}) {
        EXPECT_FALSE(parseOptions(bad).error.empty()) << bad[0];
    }
    EXPECT_THAT(quarnd::usageText(), HasSubstr("--paste-port off"));
}

}  // namespace
