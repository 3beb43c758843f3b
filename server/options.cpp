#include "options.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "http.h"
#include "protocol.h"

namespace quarnd {

namespace {

bool parsePort(const std::string& text, std::uint16_t& port) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty() || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool parseNumber(const std::string& text, std::uint64_t min, std::uint64_t max,
                 std::uint64_t& out) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty() || value < min || value > max) return false;
    out = value;
    return true;
}

using Seconds = std::chrono::seconds;

// A TLS port: "0" or "off" turns the listener off, "any" binds a free port.
bool parseTlsPort(const std::string& text, std::optional<std::uint16_t>& port) {
    std::uint16_t value = 0;
    if (text == "off" || text == "0") {
        port.reset();
    } else if (text == "any") {
        port = 0;
    } else if (parsePort(text, value)) {
        port = value;
    } else {
        return false;
    }
    return true;
}

// The limits a LAN's operator may want to move, as --name N.
struct LimitOption {
    const char* name;
    std::uint64_t min, max;
    std::function<void(ServerConfig&, std::uint64_t)> set;
};

const std::vector<LimitOption>& limitOptions() {
    static const std::vector<LimitOption> options = {
        {"--max-chat", 1, 100000, [](ServerConfig& c, auto v) { c.maxChatConnections = v; }},
        {"--max-users", 1, 100000, [](ServerConfig& c, auto v) { c.maxUsers = v; }},
        {"--max-paste", 1, 100000, [](ServerConfig& c, auto v) { c.maxPasteConnections = v; }},
        {"--max-per-address", 1, 100000, [](ServerConfig& c, auto v) { c.maxPerAddress = v; }},
        {"--login-timeout", 1, 3600, [](ServerConfig& c, auto v) { c.loginLimit = Seconds(v); }},
        {"--http-timeout", 1, 3600,
         [](ServerConfig& c, auto v) { c.httpRequestLimit = Seconds(v); }},
        {"--password-interval", 0, 86400,
         [](ServerConfig& c, auto v) { c.passwordInterval = Seconds(v); }},
        {"--max-rooms", 1, 1000000, [](ServerConfig& c, auto v) { c.maxRooms = v; }},
        {"--rooms-per-user", 1, 1000000, [](ServerConfig& c, auto v) { c.roomsPerSession = v; }},
        {"--login-failures", 1, 1000,
         [](ServerConfig& c, auto v) { c.loginFailures = static_cast<unsigned>(v); }},
        {"--login-lockout", 1, 86400, [](ServerConfig& c, auto v) { c.loginLockout = Seconds(v); }},
        {"--line-burst", 1, 100000,
         [](ServerConfig& c, auto v) { c.lineBurst = static_cast<unsigned>(v); }},
        {"--line-rate", 0, 100000,
         [](ServerConfig& c, auto v) { c.lineRate = static_cast<unsigned>(v); }},
        {"--flood-drops", 0, 1000000,
         [](ServerConfig& c, auto v) { c.floodDrops = static_cast<unsigned>(v); }},
        {"--flood-window", 1, 3600, [](ServerConfig& c, auto v) { c.floodWindow = Seconds(v); }},
        {"--paste-rate", 0, 100000,
         [](ServerConfig& c, auto v) { c.pastesPerMinute = static_cast<unsigned>(v); }},
        {"--tls-timeout", 1, 3600,
         [](ServerConfig& c, auto v) { c.tlsHandshakeLimit = Seconds(v); }},
        {"--paste-storage", 1, 1u << 20,
         [](ServerConfig& c, auto v) { c.pasteStorageBytes = v * 1024 * 1024; }},
    };
    return options;
}

}  // namespace

std::string usageText() {
    return "usage: quarnd [options]\n"
           "\n"
           "  --port N          chat port (default 1998; 0 picks a free port)\n"
           "  --paste-port N    paste service port (default 8080; 0 picks a free port)\n"
           "  --paste-port off  run without the paste service (same as --no-paste)\n"
           "  --no-paste        run without the paste service\n"
           "  --data DIR        folder for quarn.db, admins.txt and rooms.txt\n"
           "                    (default ./quarnd-data, created when missing)\n"
           "  --host NAME       host name written into paste links\n"
           "                    (default: the Host header of the request)\n"
           "  --highlight-js DIR\n"
           "                    folder of highlight.min.js, for coloured paste pages\n"
           "                    (default /usr/share/javascript/highlight.js; off: none)\n"
           "  --tls-port N      chat over TLS (default 1999; 0 or off: none; any: a free port)\n"
           "  --paste-tls-port N  paste service over HTTPS (default 8443; 0, off, any as above)\n"
           "  --tls-cert FILE   certificate chain (PEM) for both TLS ports\n"
           "  --tls-key FILE    its private key (PEM); without the two, a self-signed\n"
           "                    certificate is made in the data folder and kept\n"
           "  --help            show this text\n"
           "\n"
           "Limits against a hostile user (defaults in brackets):\n"
           "  --max-chat N          chat connections, logged in or not [600]\n"
           "  --max-users N         logged-in users [500]\n"
           "  --max-paste N         paste connections [100]\n"
           "  --max-per-address N   chat and paste connections, each, from one address [16]\n"
           "  --login-timeout S     seconds a chat connection has to log in [30]\n"
           "  --http-timeout S      seconds a paste request has to arrive whole [20]\n"
           "  --password-interval S seconds between password changes of a session [5]\n"
           "  --max-rooms N         rooms in all [2000]\n"
           "  --rooms-per-user N    rooms one session may have created at a time [20]\n"
           "  --login-failures N    wrong passwords from one address before a lockout [5]\n"
           "  --login-lockout S     seconds such an address may not log in [60]\n"
           "  --line-burst N        chat and direct lines a session may send at once [20]\n"
           "  --line-rate N         then lines a second; more are dropped, 0 no limit [5]\n"
           "  --flood-drops N       dropped lines that disconnect a session, 0 never [50]\n"
           "  --flood-window S      ... when dropped within this many seconds [10]\n"
           "  --paste-rate N        pastes one address may store a minute, 0 no limit [10]\n"
           "  --paste-storage MB    MiB all live pastes may take [256]\n"
           "  --tls-timeout S       seconds a TLS handshake may take [10]\n"
           "\n"
           "The first line on standard output is always\n"
           "  listening chat=PORT paste=PORT tls=PORT paste-tls=PORT sha256=FINGERPRINT\n"
           "with the ports actually bound (0 for a service that is off) and the\n"
           "SHA-256 fingerprint of the TLS certificate (sha256= missing without TLS).\n"
           "SIGINT or SIGTERM stops the server cleanly.\n";
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    o.server.tlsPort = 1999;
    o.server.pasteTlsPort = 8443;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        auto take = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                o.error = arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--no-paste") {
            o.server.pastePort.reset();
        } else if (arg == "--port") {
            if (!take()) return o;
            if (!parsePort(value, o.server.chatPort)) {
                o.error = "bad chat port '" + value + "'";
                return o;
            }
        } else if (arg == "--paste-port") {
            if (!take()) return o;
            std::uint16_t port = 0;
            if (value == "off") {
                o.server.pastePort.reset();
            } else if (parsePort(value, port)) {
                o.server.pastePort = port;
            } else {
                o.error = "bad paste port '" + value + "'";
                return o;
            }
        } else if (arg == "--tls-port" || arg == "--paste-tls-port") {
            if (!take()) return o;
            if (!parseTlsPort(value,
                              arg == "--tls-port" ? o.server.tlsPort : o.server.pasteTlsPort)) {
                o.error = "bad " + arg.substr(2) + " '" + escapeForLog(value) + "'";
                return o;
            }
        } else if (arg == "--tls-cert" || arg == "--tls-key") {
            if (!take()) return o;
            if (value.empty()) {
                o.error = arg + " needs a file";
                return o;
            }
            (arg == "--tls-cert" ? o.server.tlsCert : o.server.tlsKey) = value;
        } else if (arg == "--data") {
            if (!take()) return o;
            if (value.empty()) {
                o.error = "--data needs a folder";
                return o;
            }
            o.server.dataDir = value;
        } else if (arg == "--host") {
            if (!take()) return o;
            // It goes into a reply header as it is.
            if (!isValidHostHeader(value)) {
                o.error = "bad host name '" + escapeForLog(value) + "'";
                return o;
            }
            o.server.host = value;
        } else if (arg == "--highlight-js") {
            if (!take()) return o;
            o.server.highlightDir = value == "off" ? std::string() : value;
        } else if (auto it = std::find_if(limitOptions().begin(), limitOptions().end(),
                                          [&](const LimitOption& l) { return arg == l.name; });
                   it != limitOptions().end()) {
            if (!take()) return o;
            std::uint64_t n = 0;
            if (!parseNumber(value, it->min, it->max, n)) {
                o.error = arg + " needs a number from " + std::to_string(it->min) + " to " +
                          std::to_string(it->max) + ", not '" + escapeForLog(value) + "'";
                return o;
            }
            it->set(o.server, n);
        } else {
            o.error = "unknown option '" + args[i] + "'";
            return o;
        }
    }
    if (o.server.tlsCert.empty() != o.server.tlsKey.empty())
        o.error = "--tls-cert and --tls-key go together";
    return o;
}

}  // namespace quarnd
