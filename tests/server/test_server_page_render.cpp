// The paste service's pages, in process on a clock of our own: the life of
// a paste up to and past its expiry, the line numbers, the raw view's file
// name, and tidy's verdict on every kind of page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "http.h"
#include "pages.h"

using quarnd::HttpRequest;
using quarnd::HttpResponse;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr std::time_t kStart = 1700000000;

// A PasteService on a throw-away database, with time moved by hand.
class PasteHarness {
  public:
    explicit PasteHarness(std::string highlightDir = {})
        : store_(":memory:", 1), service_(store_, config(std::move(highlightDir))) {}

    HttpResponse request(const std::string& method, const std::string& target,
                         const std::string& body = {}) {
        HttpRequest r;
        r.method = method;
        r.target = target;
        r.version = "HTTP/1.1";
        r.headers = {{"Host", "paste.lan:8080"}};
        r.body = body;
        return service_.handle(r, {"127.0.0.1", "127.0.0.1"});
    }

    // Stores a paste and returns its id.
    std::string post(const std::string& encodedTitle, const std::string& encodedCode,
                     const std::string& duration = "600") {
        const HttpResponse r = request("POST", "/main.php",
                                       "titel=" + encodedTitle + "&dauer=" + duration +
                                           "&site=script_paste_tempcode&code=" + encodedCode);
        for (const auto& [k, v] : r.headers) {
            if (k == "Location") return v.substr(v.find("&code=") + 6);
        }
        throw std::runtime_error("paste refused: " + r.serialize());
    }

    std::time_t now = kStart;

  private:
    quarnd::PasteConfig config(std::string highlightDir) {
        quarnd::PasteConfig c;
        c.port = 8080;
        c.pastesPerMinute = 0;
        c.clock = [this] { return now; };
        c.highlightDir = std::move(highlightDir);
        return c;
    }

    quarnd::Store store_;
    quarnd::PasteService service_;
};

std::string header(const HttpResponse& r, const std::string& name) {
    for (const auto& [k, v] : r.headers) {
        if (k == name) return v;
    }
    return {};
}

std::string percentEncoded(std::string_view bytes) {
    std::string out;
    char hex[4];
    for (unsigned char c : bytes) {
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        out += hex;
    }
    return out;
}

TEST(server_page_render, PasteLivesThenIsGoneForADayThenUnknown) {
    PasteHarness paste;
    const std::string id = paste.post("alt", "geheimer+Inhalt", "120");
    struct Step {
        std::time_t at;
        bool postFirst;  // another paste first, which purges expired ones
        int page, raw;
    };
    const Step steps[] = {
        {119, false, 200, 200},         {120, false, 410, 410},
        {300, true, 410, 410},  // purged: the id is kept, the content is not
        {120 + 86399, false, 410, 410}, {120 + 86400, false, 404, 404},
        {120 + 86401, true, 404, 404},
    };
    for (const Step& s : steps) {
        paste.now = kStart + s.at;
        if (s.postFirst) paste.post("neu", "x");
        const HttpResponse page = paste.request("GET", "/main.php?code=" + id);
        EXPECT_EQ(page.status, s.page) << "at +" << s.at;
        EXPECT_EQ(paste.request("GET", "/main.php?code=" + id + "&raw=1").status, s.raw)
            << "at +" << s.at;
        if (page.status != 200) {
            EXPECT_THAT(page.body, Not(HasSubstr("geheimer"))) << s.at;
        }
        if (page.status == 410) {
            EXPECT_THAT(page.body, HasSubstr("abgelaufen"));
        }
    }
}

// The page's code element and number column, as the server wrote them.
std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const auto a = text.find(open);
    if (a == std::string::npos) return "<missing " + open + ">";
    const auto b = text.find(close, a + open.size());
    return text.substr(a + open.size(), b - a - open.size());
}

TEST(server_page_render, LineNumbersAreAColumnOfTheirOwn) {
    struct Case {
        std::string code;
        std::size_t lines;
    };
    const Case cases[] = {
        {"x", 1},           {"a\r\nb", 2},
        {"a\r\nb\r\n", 2},  // a break at the end opens no line
        {"a\r\n\r\n", 2},   {"\r\n\r\nx", 3},
        {"a\nb\rc\r\n", 3}, {"<p>&amp;</p>\r\n" + std::string(10000, 'w') + "\r\n}", 3},
    };
    PasteHarness paste;
    for (const Case& c : cases) {
        const std::string id = paste.post("t", percentEncoded(c.code));
        const std::string page = paste.request("GET", "/main.php?code=" + id).body;
        std::string numbers;
        for (std::size_t n = 1; n <= c.lines; ++n)
            numbers += (n > 1 ? "\n" : "") + std::to_string(n);
        EXPECT_EQ(between(page, "<pre class=\"nr\" aria-hidden=\"true\">", "</pre>"), numbers)
            << c.code.substr(0, 20);
        // The code element holds the code and nothing else.
        EXPECT_EQ(between(page, "<code id=\"code\">", "</code>"), quarnd::htmlEscape(c.code));
    }
}

TEST(server_page_render, RawViewNamesASafeFile) {
    struct Case {
        std::string encodedTitle;
        std::string file;
    };
    const Case cases[] = {
        {"Mein+Test%2F%E4.txt", "Mein_Test___txt.txt"},
        {"x-y_Z9", "x-y_Z9.txt"},
        {"%22%3B+filename%3D%22evil.sh", "___filename__evil_sh.txt"},
        {std::string(100, 'a'), std::string(60, 'a') + ".txt"},
    };
    PasteHarness paste;
    for (const Case& c : cases) {
        const std::string id = paste.post(c.encodedTitle, "a%0D%0A%80%FF");
        const HttpResponse raw = paste.request("GET", "/main.php?code=" + id + "&raw=1");
        EXPECT_EQ(header(raw, "Content-Disposition"), "inline; filename=\"" + c.file + "\"");
        EXPECT_EQ(header(raw, "Content-Type"), "text/plain; charset=windows-1252");
        EXPECT_EQ(raw.body, "a\r\n\x80\xff");
    }
    EXPECT_EQ(quarnd::pages::safeFileName(""), "paste");
}

// tidy's findings on one page; "" when it has none. Bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, ...) are stored as posted, so
// tidy may warn about them, never more.
std::string tidyFindings(const std::string& page) {
    char path[] = "/tmp/quarnd-tidy-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return "mkstemp failed";
    if (::write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size())) return "write";
    ::close(fd);
    std::FILE* p = ::popen(
        ("tidy -q -e --input-encoding win1252 --gnu-emacs no " + std::string(path) + " 2>&1")
            .c_str(),
        "r");
    std::string out, findings;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    const int status = ::pclose(p);
    ::unlink(path);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        findings = "tidy exit status " + std::to_string(status) + "\n";
    std::size_t at = 0;
    while (at < out.size()) {
        const std::string line = out.substr(at, out.find('\n', at) - at);
        at += line.size() + 1;
        if (!line.empty() && line.find("discarding invalid character code") == std::string::npos)
            findings += line + "\n";
    }
    return findings;
}

TEST(server_page_render, TidyFindsNothingWrongWithAnyPage) {
    ASSERT_EQ(std::system("command -v tidy >/dev/null"), 0)
        << "tidy is missing: scripts/install-deps installs it";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quarnd-tidy-hljs-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "highlight.min.js") << "var hljs = {};\n";
    PasteHarness paste(dir.string());
    std::string allBytes;
    for (int b = 0x80; b <= 0xff; ++b)
        allBytes.push_back(static_cast<char>(b));
    const std::string ids[] = {
        paste.post("Hallo+%3Cb%3EWelt%3C%2Fb%3E+%26+%80",
                   "int+main%28%29+%7B%0D%0A%09return+a+%3C+b+%26%26+c%3B%0D%0A%7D%0D%0A"),
        paste.post("t", percentEncoded("\r\n</code></pre><script>x()</script>\r\n" + allBytes)),
        paste.post("t", std::string(10000, 'w')),
    };
    std::vector<std::pair<std::string, std::string>> pages;
    for (const std::string& id : ids)
        pages.emplace_back("paste " + id, paste.request("GET", "/main.php?code=" + id).body);
    pages.emplace_back("form", paste.request("GET", "/").body);
    for (int status : {400, 404, 405, 408, 410, 413, 429, 500, 503, 507})
        pages.emplace_back(std::to_string(status), quarnd::simpleResponse(status).body);
    for (const auto& [name, page] : pages)
        EXPECT_EQ(tidyFindings(page), "") << name;
    std::filesystem::remove_all(dir);
}

}  // namespace
