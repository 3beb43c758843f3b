// The paste service upload on the same sockets as the chat connection.
#include "net/NET_Methods_Http.h"

#include <vector>

#include "net/NET_Methods.h"
#include "net/NET_Methods_Tls.h"
#include "system/clock.h"
#include "system/resolve.h"
#include "system/socket.h"

namespace kavel {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

std::optional<int> portNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

// The next line of text starting at pos: its content and where the one
// after it starts; none while its end has not arrived.
struct Line {
    std::string_view text;
    std::size_t next;
};
std::optional<Line> lineAt(std::string_view data, std::size_t pos) {
    const std::size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) return std::nullopt;
    std::size_t next = end + 1;
    if (data[end] == '\r' && next < data.size() && data[next] == '\n') ++next;
    return Line{data.substr(pos, end - pos), next};
}

}  // namespace

std::optional<HttpServer> parseHttpServer(std::string_view setting) {
    HttpServer s;
    for (const auto& [scheme, tls] :
         {std::pair<std::string_view, bool>{"https://", true}, {"http://", false}}) {
        if (setting.size() >= scheme.size() && sameName(setting.substr(0, scheme.size()), scheme)) {
            setting.remove_prefix(scheme.size());
            s.tls = tls;
            s.port = tls ? kHttpsPort : kHttpPort;
            // A link copied from a browser may end in a slash.
            if (!setting.empty() && setting.back() == '/') setting.remove_suffix(1);
            if (setting.empty()) return std::nullopt;
        }
    }
    if (setting.empty()) setting = "localhost";
    for (char c : setting) {
        const auto u = static_cast<unsigned char>(c);
        // Whatever is here ends up in the request line and the Host header.
        if (u <= ' ' || u == 0x7F || c == '/' || c == '?' || c == '#' || c == '@')
            return std::nullopt;
    }
    std::string_view host = setting;
    std::string_view port;
    if (setting.front() == '[') {
        const auto close = setting.find(']');
        if (close == std::string_view::npos || close == 1) return std::nullopt;
        host = setting.substr(1, close - 1);
        const std::string_view rest = setting.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
            if (port.empty()) return std::nullopt;
        }
    } else {
        const auto colon = setting.find(':');
        if (colon != std::string_view::npos) {
            // A bare IPv6 address has several colons and no port.
            if (setting.find(':', colon + 1) == std::string_view::npos) {
                host = setting.substr(0, colon);
                port = setting.substr(colon + 1);
                if (port.empty()) return std::nullopt;
            }
        }
    }
    if (host.empty()) return std::nullopt;
    if (!port.empty()) {
        const auto p = portNumber(port);
        if (!p) return std::nullopt;
        s.port = *p;
    }
    s.host = host;
    const bool v6 = host.find(':') != std::string_view::npos;
    s.authority = v6 ? "[" + s.host + "]" : s.host;
    if (s.port != (s.tls ? kHttpsPort : kHttpPort)) s.authority += ":" + std::to_string(s.port);
    return s;
}

std::string composeFormPost(std::string_view authority, std::string_view path,
                            std::string_view body, bool tls) {
    std::string r;
    r.reserve(160 + 2 * authority.size() + path.size() + body.size());
    r.append(tls ? "POST https://" : "POST http://")
        .append(authority)
        .append("/")
        .append(path)
        .append(" HTTP/1.1\r\n");
    r.append("Host: ").append(authority).append("\r\n");
    r.append("User-Agent: KAVEL\r\n");
    r.append("Content-Type: application/x-www-form-urlencoded\r\n");
    r.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
    r.append("\r\n");
    r.append(body).append("\r\n");
    return r;
}

HttpReplyHead parseHttpReply(std::string_view received) {
    HttpReplyHead head;
    bool found = false;
    std::optional<Line> line = lineAt(received, 0);  // the status line
    while (line) {
        line = lineAt(received, line->next);
        if (!line) break;
        if (line->text.empty()) {
            head.complete = true;
            break;
        }
        const std::string_view text = line->text;
        const auto colon = text.find(':');
        if (found || colon == std::string_view::npos ||
            !sameName(text.substr(0, colon), "Location"))
            continue;
        std::string_view value = text.substr(colon + 1);
        while (!value.empty() && blank(value.front()))
            value.remove_prefix(1);
        while (!value.empty() && blank(value.back()))
            value.remove_suffix(1);
        head.location = value;
        found = true;
    }
    return head;
}

std::string Session::postForm(const std::string& server, const std::string& path,
                              const std::string& body) {
    const std::optional<HttpServer> target = parseHttpServer(server);
    if (!target) return {};
    // The name server may be slow; the windows are served meanwhile.
    const platform::ResolvedHost to =
        platform::resolveHost(target->host, target->port, platform::kResolveTimeoutMs,
                              platform::WaitHooks{ports_.wait, ports_.wake});
    const uint32_t handle = platform::tcpConnect(to);
    if (handle == 0) return {};
    // The paster tells of a failed paste itself; a certificate to accept or
    // a changed one is still the user's to hear about.
    if (target->tls && !secureConnection(ports_, handle, target->host, target->port, false)) {
        platform::tcpClose(handle);
        return {};
    }
    if (!platform::tcpSend(handle, composeFormPost(target->authority, path, body, target->tls))) {
        platform::tcpClose(handle);
        return {};
    }

    // The header block may come in several segments; read until it is
    // complete, the server closes or the time is up.
    std::string reply;
    std::vector<char> buffer(kHttpReadChunk);
    const uint32_t start = platform::tickCount();
    while (platform::ticksSince(start, platform::tickCount()) <
           static_cast<int32_t>(kHttpReplyWaitMs)) {
        // Asked of the stream, not the descriptor: TLS may hold decrypted
        // bytes, or only half a record.
        const platform::SocketState state = platform::socketState(handle);
        if (state == platform::SocketState::Closed) break;
        if (state == platform::SocketState::Idle) {
            ports_.wait(10);
            continue;
        }
        const int n = platform::tcpRead(handle, buffer.data(), kHttpReadChunk);
        if (n <= 0) break;
        reply.append(buffer.data(), static_cast<std::size_t>(n));
        if (reply.size() >= kHttpReplyLimit || parseHttpReply(reply).complete) break;
    }
    platform::tcpClose(handle);
    return parseHttpReply(reply).location;
}

}  // namespace kavel
