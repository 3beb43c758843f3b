// The paste service: an incremental HTTP/1.1 request parser and the handler
// for its paths (/main.php, the form, the stylesheet and scripts). The parser
// is fed whatever the socket produced and never holds more than the header
// limit plus one body.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store.h"

namespace quarnd {

inline constexpr std::size_t kMaxHttpHeaderBytes = 16 * 1024;
inline constexpr std::size_t kMaxHttpBodyBytes = 1024 * 1024;
// A title longer than this is cut; it appears twice on the page.
inline constexpr std::size_t kMaxPasteTitleBytes = 200;

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // Case-insensitive; the first header of that name, or nullopt.
    std::optional<std::string> header(std::string_view name) const;
};

class HttpRequestParser {
  public:
    enum class Status { Partial, Complete, BadRequest, TooLarge };

    // Appends bytes; once Complete or failed, further input is ignored (one
    // request per connection, and the client sends CR LF after its body).
    Status feed(std::string_view bytes);
    Status status() const { return status_; }
    const HttpRequest& request() const { return request_; }

  private:
    Status parseHead(std::size_t headEnd);

    std::string buffer_;
    Status status_ = Status::Partial;
    bool headDone_ = false;
    std::size_t contentLength_ = 0;
    HttpRequest request_;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string note;  // why a request was refused, for the log; never sent
    // The answer to HEAD: every header of the GET, Content-Length included,
    // and no body.
    bool headOnly = false;

    bool hasHeader(std::string_view name) const;
    // Every reply carries the security policy (contentSecurityPolicy() unless
    // one is set), nosniff, no referrer and a Cache-Control (no-store unless
    // one is set).
    std::string serialize() const;
};

// Nothing from elsewhere, no inline script or style, no framing. Forms may
// post to this server and, when given, to `formTarget` (an origin such as
// "http://chat.lan:8080", where a paste's link points).
std::string contentSecurityPolicy(std::string_view formTarget = {});

// A page in Windows-1252.
HttpResponse htmlResponse(int status, std::string html);
// The German page that explains the status.
HttpResponse simpleResponse(int status);

// application/x-www-form-urlencoded, decoded to raw bytes. A malformed "%"
// escape stays as it is: a paste should lose nothing.
std::map<std::string, std::string> parseForm(std::string_view body);
std::string percentDecode(std::string_view text);
std::string htmlEscape(std::string_view text);

// A host name or an IP literal (IPv6 in brackets), optionally ":port" —
// what may go into a link we hand out. Anything else in a Host header is
// ignored.
bool isValidHostHeader(std::string_view host);

struct PasteConfig {
    std::string host;           // empty: take it from the request's Host header
    std::uint16_t port = 0;     // the port links point at
    std::uint16_t tlsPort = 0;  // the same for requests that came over TLS
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    std::function<std::string(std::size_t)> randomToken;  // empty: /dev/urandom
    // Where highlight.min.js is (Debian's libjs-highlight.js); empty or
    // without that file, pages are shown without highlighting.
    std::string highlightDir;
    // Pastes one address may store per minute (a burst of this many, then
    // refilled evenly); 0: no limit.
    unsigned pastesPerMinute = 10;
    // Title and code bytes of all live pastes together.
    std::uint64_t storageBytes = 256ull * 1024 * 1024;
};

// Where a request came from and arrived at.
struct HttpContext {
    std::string peerAddress;   // rate limits are counted by it
    std::string localAddress;  // for links when the Host header is unusable
    bool secure = false;       // came over TLS: its links are https ones
};

class PasteService {
  public:
    PasteService(Store& store, PasteConfig config);
    HttpResponse handle(const HttpRequest& request, const HttpContext& context = {});

    // The server loop's timer: when a paste has expired, its content is
    // dropped (ids past their day are forgotten too). Returns the seconds
    // until this is due next: when the next paste expires, at most a minute.
    // Throws StoreError; the purge is then tried again a minute later.
    std::time_t purgeDue();

  private:
    HttpResponse post(const HttpRequest& request, const HttpContext& context);
    HttpResponse view(std::string_view query, const HttpRequest& request,
                      const HttpContext& context);
    HttpResponse form(const HttpRequest& request, const HttpContext& context);
    HttpResponse file(std::string_view path);
    std::string highlightScript() const;
    std::string linkHost(const HttpRequest& request, const HttpContext& context) const;
    // "http://" + linkHost, or "https://" for a request over TLS.
    std::string linkOrigin(const HttpRequest& request, const HttpContext& context) const;
    std::string token(std::size_t n);
    // 0 when the address may store a paste now, else the seconds until it may.
    long takePasteToken(const std::string& address, std::time_t now);

    struct Bucket {
        double tokens = 0;
        std::time_t last = 0;
    };

    Store& store_;
    PasteConfig config_;
    std::unordered_map<std::string, Bucket> buckets_;  // by address
    std::time_t nextPurge_ = 0;  // 0: at once, for what expired while we were down
};

std::string randomToken(std::size_t n);

}  // namespace quarnd
