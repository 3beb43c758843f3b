#pragma once
// The HTTP form upload of the code paster: one POST of a URL-encoded form
// over a fresh TCP connection; the result is the reply's Location header,
// the link to the new paste. A minimal client of its own, not a general
// HTTP library: no redirects, no chunked bodies, no status codes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavel {

inline constexpr int kHttpPort = 80;
inline constexpr int kHttpsPort = 443;
// How long the reply may take in all; the windows are kept painted meanwhile.
inline constexpr uint32_t kHttpReplyWaitMs = 10000;
inline constexpr int kHttpReadChunk = 14500;
// A reply whose header block runs longer than this is not one we can use.
inline constexpr std::size_t kHttpReplyLimit = 64 * 1024;

struct HttpServer {
    std::string host;  // what is resolved and connected to
    int port = kHttpPort;
    std::string authority;  // as the request names it: host, plus ":port" unless the default
    bool tls = false;       // "https://": the request goes over TLS
};
// The paste service setting: "host" or "host:port" (an IPv6 address in
// brackets), optionally after "https://" (port 443 then unless one is
// named) or "http://"; empty means localhost. None for a setting that cannot be a
// server (bad port, blanks or control characters).
std::optional<HttpServer> parseHttpServer(std::string_view setting);

// The request exactly as it goes out. The body is followed by CR LF, which
// Content-Length does not count.
std::string composeFormPost(std::string_view authority, std::string_view path,
                            std::string_view body, bool tls = false);

// What the reply received so far says. Lines end with CR LF, LF or a lone
// CR; the first is the status line, the header block ends at an empty line.
struct HttpReplyHead {
    bool complete = false;  // the empty line after the headers has arrived
    // The value of the first Location header among the complete lines, the
    // blanks after the colon and at its end removed; empty when there is none.
    std::string location;
};
HttpReplyHead parseHttpReply(std::string_view received);

// The upload itself is the session's (Session::postForm): it waits and
// asks through the session's ports.

}  // namespace kavel
