// The paste service as a browser uses it, against the running quarnd: the
// form's round trip, the raw bytes, HEAD, the headers of every kind of
// reply, expired pastes, the refusal pages, highlight.js, and (when it is
// installed) headless Chromium finding the code without a policy violation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "http.h"
#include "server/server_clients.h"
#include "store.h"
#include "support/quarnd_process.h"

using quarnd_test::connectFrom;
using quarnd_test::httpFrom;
using quarnd_test::httpRequest;
using quarnd_test::locationOf;
using quarnd_test::QuarndProcess;
using quarnd_test::statusOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

namespace fs = std::filesystem;

std::string headerOf(const std::string& reply, const std::string& name) {
    const std::string head = reply.substr(0, reply.find("\r\n\r\n") + 2);
    const auto at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "<none>";
    const auto from = at + 4 + name.size();
    return head.substr(from, head.find("\r\n", from) - from);
}

std::string bodyOf(const std::string& reply) {
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

// How a browser posts the form: the fields percent-encoded (line breaks as
// %0D%0A, space as +), the path alone on the request line.
std::string browserEncoded(std::string_view bytes) {
    std::string out;
    char hex[4];
    for (unsigned char c : bytes) {
        if (std::isalnum(c) && c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string browserPost(const std::string& host, const std::string& body) {
    return "POST /main.php HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
           "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The client's request: absolute URI, line breaks of the code unencoded,
// and a CR LF after the body.
std::string clientPost(const std::string& host, const std::string& title, const std::string& code) {
    std::string encoded;
    for (char c : code)
        encoded += (c == '\r' || c == '\n') ? std::string(1, c) : browserEncoded({&c, 1});
    return quarnd_test::clientPost(host, quarnd_test::pasteForm(title, encoded));
}

std::string pathOf(const std::string& link) {
    const auto scheme = link.find("://");
    return scheme == std::string::npos ? link : link.substr(link.find('/', scheme + 3));
}

// A quarnd whose database already holds a live paste, one expired a minute
// ago and one expired 25 hours ago, with a stand-in for highlight.js.
class server_pages : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "quarnd-pages-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        fs::create_directories(root / "data");
        fs::create_directories(root / "hljs");
        std::ofstream(root / "hljs" / "highlight.min.js", std::ios::binary) << kHighlight;
        {
            quarnd::Store store((root / "data" / "quarn.db").string(), 1);
            const std::int64_t now = std::time(nullptr);
            store.addPaste({"frisch0001", "Frisch", "lebendiger Inhalt", now, now + 600});
            store.addPaste({"alt0000001", "Alt", "verfallener Inhalt", now - 660, now - 60});
            store.addPaste({"uralt00001", "Uralt", "uralter Inhalt", now - 91000, now - 90000});
        }
        QuarndProcess::Options o;
        o.dataDir = (root / "data").string();
        o.extraArgs = {"--highlight-js", (root / "hljs").string(), "--paste-rate", "0"};
        server = std::make_unique<QuarndProcess>(o);
        host = "127.0.0.1:" + std::to_string(server->pastePort());
    }
    void TearDown() override {
        server.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    std::string send(const std::string& request) {
        return httpRequest(server->pastePort(), request);
    }
    std::string get(const std::string& target, const std::string& method = "GET") {
        return send(method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    }

    static constexpr const char* kHighlight = "/* highlight \xc3\xa4 */ var hljs = {};\n";
    fs::path root;
    std::unique_ptr<QuarndProcess> server;
    std::string host;
};

TEST_F(server_pages, FormPostsLikeTheClientAndRawGivesTheBytesBack) {
    const std::string form = get("/");
    ASSERT_EQ(statusOf(form), "HTTP/1.1 200 OK");
    EXPECT_THAT(form, HasSubstr("<html lang=\"de\">"));
    EXPECT_THAT(form, HasSubstr("<form method=\"post\" action=\"/main.php\" "
                                "accept-charset=\"windows-1252\">"));
    EXPECT_THAT(form, HasSubstr("name=\"titel\""));
    EXPECT_THAT(form, HasSubstr("<textarea id=\"code\" name=\"code\""));
    EXPECT_THAT(form, HasSubstr("<input type=\"hidden\" name=\"site\" "
                                "value=\"script_paste_tempcode\">"));
    for (const char* d : {"120", "600", "1800", "3600", "43200", "86400"})
        EXPECT_THAT(form, HasSubstr("<option value=\"" + std::string(d) + "\"")) << d;

    std::string allHigh;
    for (int b = 0x80; b <= 0xff; ++b)
        allHigh.push_back(static_cast<char>(b));
    // "&#8594;" is how a browser sends an arrow, which Windows-1252 lacks.
    const std::string code = "if (a < b) {\r\n\t" + allHigh + "\r\n" + std::string(10000, 'x') +
                             "\r\n&#8594; \x80 </code>\r\n}\r\n";
    const std::string requests[] = {
        browserPost(host, "titel=Gr%FC%DFe+%80&dauer=3600&site=script_paste_tempcode&code=" +
                              browserEncoded(code)),
        clientPost(host, "Gr%FC%DFe+%80", code),
    };
    for (const std::string& request : requests) {
        const std::string posted = send(request);
        ASSERT_EQ(statusOf(posted), "HTTP/1.1 302 Found") << posted.substr(0, 300);
        const std::string link = locationOf(posted);
        EXPECT_EQ(link.rfind("http://" + host + "/main.php?sid=", 0), 0u) << link;

        const std::string page = get(pathOf(link));
        ASSERT_EQ(statusOf(page), "HTTP/1.1 200 OK");
        EXPECT_THAT(page, HasSubstr("<title>Gr\xfc\xdf"
                                    "e \x80</title>"));
        EXPECT_THAT(page, HasSubstr("<code id=\"code\">" + quarnd::htmlEscape(code) + "</code>"));
        EXPECT_THAT(page, HasSubstr("<pre class=\"nr\" aria-hidden=\"true\">1\n2\n3\n4\n5</pre>"));

        const std::string raw = get(pathOf(link) + "&raw=1");
        EXPECT_EQ(statusOf(raw), "HTTP/1.1 200 OK");
        EXPECT_EQ(headerOf(raw, "Content-Type"), "text/plain; charset=windows-1252");
        EXPECT_EQ(headerOf(raw, "Content-Disposition"), "inline; filename=\"Gr__e__.txt\"");
        EXPECT_EQ(bodyOf(raw), code);
    }
}

// The head of a reply without its Cache-Control, whose max-age for a paste
// counts down between two requests.
std::string headWithoutCaching(const std::string& reply) {
    std::string head = reply.substr(0, reply.find("\r\n\r\n") + 4);
    const auto at = head.find("\r\nCache-Control: ");
    if (at != std::string::npos) head.erase(at, head.find("\r\n", at + 2) - at);
    return head;
}

TEST_F(server_pages, HeadIsGetWithoutTheBody) {
    for (const std::string target :
         {"/", "/main.php?code=frisch0001", "/main.php?code=frisch0001&raw=1", "/style.css",
          "/paste.js", "/hljs/highlight.min.js", "/main.php?code=alt0000001", "/nirgends"}) {
        const std::string got = get(target);
        const std::string head = get(target, "HEAD");
        EXPECT_EQ(headWithoutCaching(head), headWithoutCaching(got)) << target;
        EXPECT_EQ(head.size(), head.find("\r\n\r\n") + 4) << target;
        EXPECT_EQ(headerOf(got, "Content-Length"), std::to_string(bodyOf(got).size())) << target;
    }
    // A cache may keep a paste as long as it lives, and no longer.
    const std::string caching = headerOf(get("/main.php?code=frisch0001&raw=1"), "Cache-Control");
    ASSERT_EQ(caching.rfind("private, max-age=", 0), 0u) << caching;
    const int maxAge = std::stoi(caching.substr(17));
    EXPECT_LE(maxAge, 600);
    EXPECT_GT(maxAge, 500);
}

// Every reply must carry these, whatever its status.
void expectPolicyHeaders(const std::string& reply, const std::string& what) {
    const std::string policy = headerOf(reply, "Content-Security-Policy");
    for (const char* part : {"default-src 'none'", "script-src 'self'", "style-src 'self'",
                             "frame-ancestors 'none'", "base-uri 'none'"}) {
        EXPECT_THAT(policy, HasSubstr(part)) << what;
    }
    EXPECT_THAT(policy, Not(HasSubstr("unsafe"))) << what;
    EXPECT_EQ(headerOf(reply, "X-Content-Type-Options"), "nosniff") << what;
    EXPECT_EQ(headerOf(reply, "Referrer-Policy"), "no-referrer") << what;
    EXPECT_NE(headerOf(reply, "Cache-Control"), "<none>") << what;
}

TEST_F(server_pages, EveryKindOfReplyCarriesThePolicy) {
    const std::string good = "titel=t&dauer=120&site=script_paste_tempcode&code=c";
    struct Case {
        std::string request;
        std::string status;
        std::string allow;  // the Allow header of a 405
    };
    const std::string h = " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    const Case cases[] = {
        {"GET /" + h, "200 OK", ""},
        {"GET /main.php?code=frisch0001" + h, "200 OK", ""},
        {"GET /main.php?code=frisch0001&raw=1" + h, "200 OK", ""},
        {"GET /style.css" + h, "200 OK", ""},
        {"GET /hljs/highlight.min.js" + h, "200 OK", ""},
        {"HEAD /paste.js" + h, "200 OK", ""},
        {browserPost(host, good), "302 Found", ""},
        {browserPost(host, "titel=&dauer=120&site=script_paste_tempcode&code=c"), "400 Bad Request",
         ""},
        {"GARBAGE\r\n\r\n", "400 Bad Request", ""},
        {"GET /main.php?code=nie" + h, "404 Not Found", ""},
        {"DELETE /main.php?code=frisch0001" + h, "405 Method Not Allowed", "GET, HEAD, POST"},
        {"PUT /style.css" + h, "405 Method Not Allowed", "GET, HEAD"},
        {"GET /main.php?code=alt0000001" + h, "410 Gone", ""},
        {"POST /main.php HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nxx", "413 Payload Too Large",
         ""},
    };
    for (const Case& c : cases) {
        const std::string reply = send(c.request);
        const std::string what = c.request.substr(0, c.request.find('\r'));
        EXPECT_EQ(statusOf(reply), "HTTP/1.1 " + c.status) << what;
        expectPolicyHeaders(reply, what);
        if (!c.allow.empty()) {
            EXPECT_EQ(headerOf(reply, "Allow"), c.allow) << what;
        }
    }
}

TEST_F(server_pages, ExpiredPastesSaySoForADay) {
    struct Case {
        std::string id;
        std::string status;
        std::string says;
    };
    const Case cases[] = {
        {"frisch0001", "200 OK", "lebendiger Inhalt"},
        {"alt0000001", "410 Gone", "abgelaufen"},
        {"uralt00001", "404 Not Found", "Nicht gefunden"},
        {"nie0000001", "404 Not Found", "Nicht gefunden"},
    };
    for (const Case& c : cases) {
        for (const std::string suffix : {"", "&raw=1"}) {
            const std::string reply = get("/main.php?code=" + c.id + suffix);
            EXPECT_EQ(statusOf(reply), "HTTP/1.1 " + c.status) << c.id << suffix;
            EXPECT_THAT(reply, Not(HasSubstr("verfallener")));
            EXPECT_THAT(reply, Not(HasSubstr("uralter")));
            if (suffix.empty()) {
                EXPECT_THAT(bodyOf(reply), HasSubstr(c.says)) << c.id;
            }
        }
    }
}

TEST_F(server_pages, HighlightJsOnlyWhenInstalled) {
    const std::string page = get("/main.php?code=frisch0001");
    EXPECT_THAT(page, HasSubstr("<script src=\"/hljs/highlight.min.js\" defer></script>\n"
                                "<script src=\"/paste.js\" defer></script>"));
    const std::string script = get("/hljs/highlight.min.js");
    EXPECT_EQ(bodyOf(script), kHighlight);
    EXPECT_EQ(headerOf(script, "Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_THAT(bodyOf(get("/paste.js")), HasSubstr("hljs.highlightBlock("));

    QuarndProcess::Options o;
    o.extraArgs = {"--highlight-js", "off"};
    QuarndProcess plain(o);
    const std::string posted = httpRequest(plain.pastePort(), clientPost("h", "t", "a\r\nb"));
    const std::string bare =
        httpRequest(plain.pastePort(), "GET " + pathOf(locationOf(posted)) + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(statusOf(bare), "HTTP/1.1 200 OK");
    EXPECT_THAT(bare, Not(HasSubstr("<script")));
    EXPECT_THAT(bare, HasSubstr("<code id=\"code\">a\r\nb</code>"));
    EXPECT_THAT(bare, HasSubstr("<link rel=\"stylesheet\" href=\"/style.css\">"));
    EXPECT_EQ(
        statusOf(httpRequest(plain.pastePort(), "GET /hljs/highlight.min.js HTTP/1.1\r\n\r\n")),
        "HTTP/1.1 404 Not Found");
}

TEST(server_pages_form, FormMayPostWhereTheLinksPoint) {
    // The form's post is answered with a redirect to the link host; a
    // browser holds that redirect to the policy's form-action.
    QuarndProcess::Options o;
    o.extraArgs = {"--host", "chat.example"};
    QuarndProcess named(o);
    const std::string port = std::to_string(named.pastePort());
    const std::string form =
        httpRequest(named.pastePort(), "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n");
    EXPECT_THAT(headerOf(form, "Content-Security-Policy"),
                HasSubstr("form-action 'self' http://chat.example:" + port + ";"));
    QuarndProcess plain;
    const std::string own = "127.0.0.1:" + std::to_string(plain.pastePort());
    EXPECT_THAT(
        headerOf(httpRequest(plain.pastePort(), "GET / HTTP/1.1\r\nHost: " + own + "\r\n\r\n"),
                 "Content-Security-Policy"),
        HasSubstr("form-action 'self';"));
}

TEST(server_pages_refusals, RefusalsAreGermanPagesThatSayWhy) {
    QuarndProcess::Options o;
    o.extraArgs = {"--paste-rate", "1", "--paste-storage", "1"};
    QuarndProcess server(o);
    const int port = server.pastePort();
    const std::string big(700000, 'x');
    auto post = [](const std::string& code) {
        return browserPost("h", "titel=t&dauer=120&site=script_paste_tempcode&code=" + code);
    };
    struct Case {
        std::string from;
        std::string request;
        std::string status;
        std::string says;
    };
    const Case cases[] = {
        {"127.0.0.2", post(big), "302 Found", ""},
        {"127.0.0.2", post("c"), "429 Too Many Requests", "zu viele Eintr&auml;ge"},
        {"127.0.0.3", post(big), "507 Insufficient Storage",
         "Speicher f&uuml;r Eintr&auml;ge ist voll"},
        {"127.0.0.4", "POST /main.php HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n",
         "413 Payload Too Large", "zu gro&szlig;"},
    };
    for (const Case& c : cases) {
        const std::string reply = httpFrom(c.from, port, c.request);
        EXPECT_EQ(statusOf(reply), "HTTP/1.1 " + c.status) << c.status;
        expectPolicyHeaders(reply, c.status);
        if (c.says.empty()) continue;
        EXPECT_EQ(locationOf(reply), "");
        EXPECT_EQ(headerOf(reply, "Content-Type"), "text/html; charset=windows-1252");
        EXPECT_THAT(bodyOf(reply), HasSubstr("<html lang=\"de\">"));
        EXPECT_THAT(bodyOf(reply), HasSubstr(c.says)) << c.status;
        if (c.status.rfind("429", 0) == 0) {
            // One paste a minute: the next one is due within that minute.
            const std::string wait = headerOf(reply, "Retry-After");
            EXPECT_THAT(wait, ::testing::MatchesRegex("[1-9][0-9]?"));
            EXPECT_LE(std::atoi(wait.c_str()), 60);
        }
    }

    // Out of connections, and too slow: one address may hold one, for a second.
    QuarndProcess::Options tight;
    tight.extraArgs = {"--max-per-address", "1", "--http-timeout", "1"};
    QuarndProcess strict(tight);
    const int held = connectFrom("127.0.0.5", strict.pastePort());
    const std::string busy = httpFrom("127.0.0.5", strict.pastePort(), "GET / HTTP/1.1\r\n\r\n");
    const std::string late = quarnd_test::httpExchange(held, "");
    EXPECT_EQ(statusOf(busy), "HTTP/1.1 503 Service Unavailable");
    EXPECT_THAT(bodyOf(busy), HasSubstr("ausgelastet"));
    expectPolicyHeaders(busy, "503");
    EXPECT_EQ(statusOf(late), "HTTP/1.1 408 Request Timeout");
    EXPECT_THAT(bodyOf(late), HasSubstr("nicht rechtzeitig"));
    expectPolicyHeaders(late, "408");
}

// Runs a shell command; its standard output goes to *out.
int run(const std::string& command, std::string* out) {
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out->append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(server_pages_browser, ChromiumShowsTheCodeWithinThePolicy) {
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Chromium is not installed";
    QuarndProcess server;  // with the system's highlight.js, if there is one
    const int port = server.pastePort();
    const std::string code =
        "#include <stdio.h>\r\nint main(void) {\r\n    puts(\"<b>&amp;\"); // gr\xfc\xdf "
        "\x80\r\n}\r\n";
    const std::string link =
        locationOf(httpRequest(port, clientPost("localhost:" + std::to_string(port), "t", code)));
    ASSERT_FALSE(link.empty());
    const fs::path profile = fs::path(server.dataDir()) / "chromium-profile";
    const fs::path log = fs::path(server.dataDir()) / "chromium.log";
    struct Case {
        std::string target;
        std::string shows;  // in the DOM after the scripts ran, UTF-8
    };
    // highlight.js, when there, ran within the policy and marked the comment.
    const bool highlight = fs::exists("/usr/share/javascript/highlight.js/highlight.min.js");
    const std::string comment = "// gr\xc3\xbc\xc3\x9f \xe2\x82\xac";
    const Case cases[] = {
        {pathOf(link), highlight ? "<span class=\"hljs-comment\">" + comment : comment},
        {pathOf(link), "1\n2\n3\n4</pre>"},
        {"/", "accept-charset=\"windows-1252\""},
        {"/main.php?code=nie", "Nicht gefunden"},
    };
    for (const Case& c : cases) {
        fs::remove_all(profile);
        std::string dom;
        const int status =
            run("timeout 120 chromium --headless --no-sandbox --disable-gpu "
                "--disable-background-networking --disable-component-update --disable-sync "
                "--no-first-run --user-data-dir=" +
                    profile.string() +
                    " --enable-logging=stderr --v=0 --virtual-time-budget=5000 --dump-dom "
                    "'http://localhost:" +
                    std::to_string(port) + c.target + "' 2>" + log.string(),
                &dom);
        std::ifstream in(log);
        const std::string console((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        EXPECT_EQ(status, 0) << c.target;
        EXPECT_THAT(dom, HasSubstr(c.shows)) << c.target << "\n" << dom;
        EXPECT_THAT(console, Not(HasSubstr("Content Security Policy"))) << c.target;
        EXPECT_THAT(console, Not(HasSubstr("Refused to"))) << c.target;
    }
}

}  // namespace
