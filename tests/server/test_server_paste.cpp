// The paste service: the HTTP parser fed whole and byte by byte, and the
// real endpoint on loopback with the exact request the client composes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "http.h"
#include "server/server_clients.h"
#include "support/quarnd_process.h"

using quarnd::HttpRequestParser;
using quarnd_test::clientPost;
using quarnd_test::httpRequest;
using quarnd_test::locationOf;
using quarnd_test::QuarndProcess;
using Status = HttpRequestParser::Status;

namespace {

TEST(server_paste, ParserGivesTheSameResultWholeAndByteByByte) {
    const std::string req = clientPost("localhost", "titel=a&dauer=120&site=x&code=b") + "junk";
    HttpRequestParser whole;
    ASSERT_EQ(whole.feed(req), Status::Complete);
    HttpRequestParser bytes;
    Status st = Status::Partial;
    std::size_t used = 0;
    while (st == Status::Partial && used < req.size())
        st = bytes.feed(req.substr(used++, 1));
    ASSERT_EQ(st, Status::Complete);
    for (const auto* p : {&whole, &bytes}) {
        EXPECT_EQ(p->request().method, "POST");
        EXPECT_EQ(p->request().target, "http://localhost/main.php");
        EXPECT_EQ(p->request().body, "titel=a&dauer=120&site=x&code=b");
        EXPECT_EQ(p->request().header("content-length"), "31");
    }
}

TEST(server_paste, ParserRejectsMalformedAndOversizedRequests) {
    struct Case {
        std::string request;
        Status expected;
    };
    const Case cases[] = {
        {"GET /main.php HTTP/1.1\n\n", Status::Complete},  // bare LF is tolerated
        {"GET /main.php\r\n\r\n", Status::BadRequest},
        {"GET /main.php FTP/1\r\n\r\n", Status::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", Status::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", Status::BadRequest},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", Status::BadRequest},
        {"POST / HTTP/1.1\r\nbroken header\r\n\r\n", Status::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n", Status::TooLarge},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabc", Status::Partial},
        {"GET / HTTP/1.1\r\nX: " + std::string(20000, 'a'), Status::BadRequest},
    };
    for (const Case& c : cases) {
        HttpRequestParser p;
        EXPECT_EQ(p.feed(c.request), c.expected) << c.request.substr(0, 60);
    }
}

TEST(server_paste, FormDecodingKeepsRawBytes) {
    auto form = quarnd::parseForm("titel=Hallo+Welt+%26+Co%2E&code=a\r\nb%E4%zz%4&leer=&nur");
    EXPECT_EQ(form["titel"], "Hallo Welt & Co.");
    EXPECT_EQ(form["code"], "a\r\nb\xe4%zz%4");
    EXPECT_EQ(form["leer"], "");
    EXPECT_TRUE(form.count("nur"));
    EXPECT_EQ(quarnd::htmlEscape("<a href=\"x\">&'\xe4"),
              "&lt;a href=&quot;x&quot;&gt;&amp;&#39;\xe4");
}

class server_paste_service : public ::testing::Test {
  protected:
    std::string host() const { return "localhost:" + std::to_string(server.pastePort()); }
    QuarndProcess server;
};

TEST_F(server_paste_service, PostThenViewRoundTrip) {
    const std::string body =
        "titel=Mein+%3Cb%3ETest%3C%2Fb%3E&dauer=600&site=script_paste_tempcode&code=if+%28a+%3C+b%"
        "29"
        "\r\n%7B+%E4%F6%FC+%7D";
    const std::string reply = httpRequest(server.pastePort(), clientPost("localhost", body));
    ASSERT_EQ(reply.rfind("HTTP/1.1 302 Found\r\n", 0), 0u) << reply;
    const std::string link = locationOf(reply);
    const std::string prefix =
        "http://localhost:" + std::to_string(server.pastePort()) + "/main.php?sid=";
    ASSERT_EQ(link.rfind(prefix, 0), 0u) << link;
    const auto code = link.find("&code=");
    ASSERT_NE(code, std::string::npos);
    const std::string id = link.substr(code + 6);
    ASSERT_FALSE(id.empty());

    // The link as the client rewrites it: sid dropped.
    const std::string page = httpRequest(
        server.pastePort(), "GET /main.php?code=" + id + " HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page;
    EXPECT_NE(page.find("Content-Type: text/html; charset=windows-1252"), std::string::npos);
    EXPECT_NE(page.find("<meta charset=\"windows-1252\">"), std::string::npos);
    EXPECT_NE(page.find("<title>Mein &lt;b&gt;Test&lt;/b&gt;</title>"), std::string::npos);
    EXPECT_NE(page.find("<code id=\"code\">if (a &lt; b)\r\n{ \xe4\xf6\xfc }</code>"),
              std::string::npos)
        << page;
    EXPECT_TRUE(page.find("Noch sichtbar: 0:10:00") != std::string::npos ||
                page.find("Noch sichtbar: 0:09:5") != std::string::npos)
        << page;

    // Pastes outlive a restart.
    server.restart();
    const std::string again = httpRequest(
        server.pastePort(), "GET http://localhost/main.php?sid=1&code=" + id + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(again.rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST_F(server_paste_service, BadRequestsAndUnknownPastes) {
    const int port = server.pastePort();
    const std::string good = "titel=t&dauer=120&site=script_paste_tempcode&code=c";
    EXPECT_EQ(httpRequest(port, clientPost("h", good)).rfind("HTTP/1.1 302", 0), 0u);
    for (const std::string body :
         {"titel=t&dauer=121&site=script_paste_tempcode&code=c",
          "titel=t&dauer=120&site=other&code=c", "dauer=120&site=script_paste_tempcode&code=c",
          "titel=t&dauer=120&site=script_paste_tempcode",
          "titel=t&dauer=120&site=script_paste_tempcode&code="}) {
        EXPECT_EQ(httpRequest(port, clientPost("h", body)).rfind("HTTP/1.1 400", 0), 0u) << body;
    }
    EXPECT_EQ(
        httpRequest(port, "GET /main.php?code=nope HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(httpRequest(port, "GET /other HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(httpRequest(port, "DELETE /main.php HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 405", 0), 0u);
    EXPECT_EQ(httpRequest(port, "POST /main.php HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nxx")
                  .rfind("HTTP/1.1 413", 0),
              0u);
    EXPECT_EQ(httpRequest(port, "garbage\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
}

TEST_F(server_paste_service, LinkHostFollowsHostHeaderOrOption) {
    const std::string body = "titel=t&dauer=120&site=script_paste_tempcode&code=c";
    const std::string port = std::to_string(server.pastePort());
    EXPECT_EQ(locationOf(httpRequest(server.pastePort(), clientPost("paste.lan:9999", body)))
                  .rfind("http://paste.lan:" + port + "/main.php?sid=", 0),
              0u);

    QuarndProcess::Options o;
    o.extraArgs = {"--host", "chat.example"};
    QuarndProcess named(o);
    EXPECT_EQ(
        locationOf(httpRequest(named.pastePort(), clientPost("ignored", body)))
            .rfind("http://chat.example:" + std::to_string(named.pastePort()) + "/main.php", 0),
        0u);
}

TEST(server_paste_off, PastePortOffReportsZero) {
    QuarndProcess::Options o;
    o.extraArgs = {"--paste-port", "off"};
    QuarndProcess server(o);
    EXPECT_EQ(server.pastePort(), 0);
    EXPECT_GT(server.chatPort(), 0);
}

}  // namespace
