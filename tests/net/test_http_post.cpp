// The paste upload: the request byte for byte, the reply read until its
// header block is complete, the Location header, and the bounded wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

#include "net/NET_Methods.h"
#include "net/NET_Methods_Http.h"
#include "support/script_server.h"
#include "support/services.h"
#include "system/clock.h"
#include "system/socket.h"

using namespace kavel;
using kavel_test::ScriptServer;

namespace {

// --- the reply parser -------------------------------------------------------

struct ReplyCase {
    const char* name;
    std::string reply;
    bool complete;
    std::string location;
};

// Test names and failure messages show the case by its name, not its bytes.
[[maybe_unused]] void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyParser : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyParser, FindsTheLocationOfCompleteLines) {
    const ReplyCase& c = GetParam();
    const HttpReplyHead head = parseHttpReply(c.reply);
    EXPECT_EQ(head.complete, c.complete);
    EXPECT_EQ(head.location, c.location);
    // Whatever the reply says so far, a longer reply never takes a found
    // Location back or changes it.
    for (std::size_t cut = 0; cut < c.reply.size(); ++cut) {
        const HttpReplyHead part = parseHttpReply(std::string_view(c.reply).substr(0, cut));
        if (!part.location.empty()) {
            EXPECT_EQ(part.location, c.location) << "cut " << cut;
        }
        if (part.complete) {
            EXPECT_TRUE(c.complete) << "cut " << cut;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyParser,
    ::testing::Values(
        ReplyCase{"LowerCaseName", "HTTP/1.1 302 Found\r\nlocation: /paste?id=1\r\n\r\n", true,
                  "/paste?id=1"},
        ReplyCase{"NoBlankAfterColon", "HTTP/1.1 302 Found\r\nLocation:/paste\r\n\r\n", true,
                  "/paste"},
        ReplyCase{"BlanksAndTabs", "HTTP/1.1 302 Found\r\nLocation: \t /p?a=1&b=2 \t\r\n\r\n", true,
                  "/p?a=1&b=2"},
        ReplyCase{"NoLocation", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true, ""},
        ReplyCase{"OnlyStatusLine", "HTTP/1.1 200 OK\r\n", false, ""},
        ReplyCase{"LastLineWithoutEnd", "HTTP/1.1 302 Found\r\nLocation: /x", false, ""},
        ReplyCase{"BareLineFeeds", "HTTP/1.1 302 Found\nLocation: /lf\n\n", true, "/lf"},
        ReplyCase{"FirstOfTwo", "HTTP/1.1 302 Found\r\nLocation: /a\r\nLocation: /b\r\n\r\n", true,
                  "/a"},
        ReplyCase{"OtherHeaderNames",
                  "HTTP/1.1 302 Found\r\nX-Location: /no\r\nLocations: /no\r\n\r\n", true, ""},
        ReplyCase{"BodyIsNotAHeader", "HTTP/1.1 200 OK\r\n\r\nLocation: /in-the-body\r\n", true,
                  ""},
        ReplyCase{"StatusLineIsNotAHeader", "Location: /status\r\nServer: x\r\n\r\n", true, ""},
        ReplyCase{"Empty", "", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the server setting and the request -------------------------------------

TEST(HttpServerSetting, HostOrHostAndPort) {
    struct Case {
        const char* setting;
        const char* host;
        int port;
        const char* authority;
        bool tls = false;
    };
    const Case cases[] = {
        {"https://paste.example", "paste.example", 443, "paste.example", true},
        {"https://chat.lan:8443", "chat.lan", 8443, "chat.lan:8443", true},
        {"HTTPS://chat.lan:443/", "chat.lan", 443, "chat.lan", true},
        {"https://[::1]:8443", "::1", 8443, "[::1]:8443", true},
        {"http://chat.lan:8080", "chat.lan", 8080, "chat.lan:8080"},
        {"", "localhost", 80, "localhost"},
        {"paste.example", "paste.example", 80, "paste.example"},
        {"127.0.0.1:8080", "127.0.0.1", 8080, "127.0.0.1:8080"},
        {"paste.example:80", "paste.example", 80, "paste.example"},
        {"[::1]:8081", "::1", 8081, "[::1]:8081"},
        {"::1", "::1", 80, "[::1]"},
    };
    for (const Case& c : cases) {
        const auto s = parseHttpServer(c.setting);
        ASSERT_TRUE(s) << c.setting;
        EXPECT_EQ(s->host, c.host) << c.setting;
        EXPECT_EQ(s->port, c.port) << c.setting;
        EXPECT_EQ(s->authority, c.authority) << c.setting;
        EXPECT_EQ(s->tls, c.tls) << c.setting;
    }
    for (const char* bad :
         {"host:", "host:0", "host:65536", "host:8o", ":80", "a b", "h\r\nX: y", "user@host",
          "host/path", "[::1", "[]:80", "https://", "https:///", "ftp://host", "https://host/path"})
        EXPECT_FALSE(parseHttpServer(bad)) << bad;
}

// A scripted peer on its own thread while the upload blocks the test's.
class Upload : public ::testing::Test {
  protected:
    void SetUp() override { platform::initNetwork(); }
    void TearDown() override {
        if (peer.joinable()) peer.join();
    }
    void script(std::function<void(ScriptServer&)> steps) {
        peer = std::thread([this, steps] {
            if (server.accept(5000)) steps(server);
        });
    }
    std::string post(const std::string& body) {
        return session().postForm("127.0.0.1:" + std::to_string(server.port()), "main.php", body);
    }

    ScriptServer server;
    std::thread peer;
    std::string request;
};

TEST_F(Upload, SendsTheRequestByteForByte) {
    const std::string body = "titel=a&dauer=120&code=b";  // 24 bytes
    ASSERT_EQ(body.size(), 24u);
    script([this](ScriptServer& s) {
        s.readUntil("code=b\r\n", 5000);
        request = s.received();
        s.send("HTTP/1.1 302 Found\r\nLocation: http://h/main.php?sid=1&code=2\r\n\r\n");
    });
    EXPECT_EQ(post(body), "http://h/main.php?sid=1&code=2");
    peer.join();
    const std::string authority = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(request, "POST http://" + authority +
                           "/main.php HTTP/1.1\r\n"
                           "Host: " +
                           authority +
                           "\r\n"
                           "User-Agent: KAVEL\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: 24\r\n"
                           "\r\n"
                           "titel=a&dauer=120&code=b\r\n");
}

TEST(HttpRequest, ContentLengthLeavesOutTheFinalLineEnd) {
    const std::string body(25, 'x');
    const std::string r = composeFormPost("paste.example", "main.php", body);
    EXPECT_EQ(r.substr(0, r.find("\r\n")), "POST http://paste.example/main.php HTTP/1.1");
    EXPECT_NE(r.find("\r\nContent-Length: 25\r\n\r\n"), std::string::npos);
    EXPECT_EQ(r.size() - (r.find("\r\n\r\n") + 4), 27u);
}

// The link is the Location of a header line that ended, however the reply
// is cut and whether or not the server closes after it.
TEST_F(Upload, ReadsTheReplyUntilTheLocationLineEnds) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;  // each arrives on its own
        bool closeAfter;
        std::string link;
    };
    const Case cases[] = {
        {"split into segments, even the header name",
         {"HTTP/1.1 302 Fo", "und\r\nServer: q\r\nLoca", "tion:  /main.php?sid=9&code=3", "\r",
          "\n", "\r\n"},
         false,
         "/main.php?sid=9&code=3"},
        {"closed after the header line", {"HTTP/1.1 302 Found\r\nLocation: /x\r\n"}, true, "/x"},
        {"closed before the line end", {"HTTP/1.1 302 Found\r\nLocation: /never-ended"}, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script([&c](ScriptServer& s) {
            s.readUntil("\r\n\r\n", 5000);
            for (const std::string& piece : c.pieces) {
                s.send(piece);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            if (c.closeAfter) s.closeClient();
        });
        EXPECT_EQ(post("a=b"), c.link);
        peer.join();
    }
}

TEST_F(Upload, UnreachableServerGivesNothingAtOnce) {
    const int port = server.port();
    server.stopListening();
    EXPECT_EQ(session().postForm("127.0.0.1:" + std::to_string(port), "main.php", "a=b"), "");
    EXPECT_EQ(session().postForm("host:0", "main.php", "a=b"), "");
}

TEST_F(Upload, AServerThatNeverAnswersIsGivenUpAfterTheWait) {
    // The clock runs on with every sleep, so the ten seconds pass at once.
    std::atomic<uint32_t> now{1000};
    std::atomic<int> sleeps{0};
    kavel::test::setService(&kavel::platform::Services::ticks, [&] { return now.load(); });
    kavel::test::setService(&kavel::platform::Services::sleep, [&](uint32_t ms) {
        ++sleeps;
        now += ms;
    });
    std::atomic<bool> done{false};
    script([&](ScriptServer& s) {
        s.readUntil("\r\n\r\n", 5000);
        // Silent, but the connection stays open until the client gives up.
        while (!done)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    EXPECT_EQ(post("a=b"), "");
    done = true;
    peer.join();  // before the flag goes out of scope
    EXPECT_GE(now - 1000, kHttpReplyWaitMs);
    EXPECT_LE(now - 1000, kHttpReplyWaitMs + 10);
    EXPECT_GT(sleeps, 100);  // it waited in small steps, painting in between
}

}  // namespace
