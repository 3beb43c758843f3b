#include "net/NET_Methods_Tls.h"

#include <vector>

#include "common/cp1252.h"
#include "common/data.h"
#include "net/NET_Methods.h"
#include "system/files.h"
#include "system/tls.h"

namespace kavel {

namespace {

struct KnownServer {
    std::string host;
    int port = 0;
    std::string fingerprint;
};

// Lines that do not parse are kept out, not fatal: the file is the user's.
std::vector<KnownServer> readKnownServers() {
    std::vector<KnownServer> all;
    const std::string content = platform::readWholeFile(kKnownServersFile).value_or("");
    std::string_view rest = content;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto a = line.find(' ');
        const auto b = a == std::string_view::npos ? a : line.find(' ', a + 1);
        if (b == std::string_view::npos || line.front() == '#') continue;
        KnownServer k;
        k.host = line.substr(0, a);
        // Once it cannot be a port it stays -1; a later digit must not revive it.
        for (char c : line.substr(a + 1, b - a - 1))
            k.port = k.port >= 0 && k.port < 65536 && c >= '0' && c <= '9' ? k.port * 10 + (c - '0')
                                                                           : -1;
        k.fingerprint = line.substr(b + 1);
        if (k.port > 0 && k.port <= 65535 && !k.fingerprint.empty()) all.push_back(std::move(k));
    }
    return all;
}

std::string serverName(std::string_view host, int port) {
    return std::string(host) + ":" + std::to_string(port);
}

bool sameHost(std::string_view a, std::string_view b) {
    return cp1252::equalIgnoringCase(a, b);
}

std::string failureText(const platform::TlsOutcome& outcome) {
    switch (outcome.failure) {
        case platform::TlsOutcome::Failure::TimedOut:
            return ui(Own::TlsTimedOut);
        case platform::TlsOutcome::Failure::Closed:
            return ui(Own::TlsClosed);
        default:
            return ui(Own::TlsProtocol, outcome.detail);
    }
}

}  // namespace

std::optional<std::string> knownFingerprint(std::string_view host, int port) {
    for (const KnownServer& k : readKnownServers())
        if (k.port == port && sameHost(k.host, host)) return k.fingerprint;
    return std::nullopt;
}

bool rememberFingerprint(std::string_view host, int port, std::string_view fingerprint) {
    std::string out;
    for (const KnownServer& k : readKnownServers())
        if (k.port != port || !sameHost(k.host, host))
            out += k.host + " " + std::to_string(k.port) + " " + k.fingerprint + "\n";
    out += std::string(host) + " " + std::to_string(port) + " " + std::string(fingerprint) + "\n";
    return platform::writeFileAtomically(kKnownServersFile, out);
}

bool secureConnection(const SessionPorts& ports, uint32_t handle, const std::string& host, int port,
                      bool loud) {
    const platform::TlsOutcome outcome = platform::tlsStart(handle, host);
    const std::string name = serverName(host, port);
    using Status = platform::TlsOutcome::Status;
    if (outcome.status == Status::Failed) {
        if (loud) ports.status(ui(Own::TlsFailedStatus, name) + ": " + failureText(outcome));
        return false;
    }
    if (outcome.status == Status::Trusted) return true;
    const std::optional<std::string> known = knownFingerprint(host, port);
    if (known && *known == outcome.fingerprint) return true;
    if (known) {
        ports.tell(ui(Own::TlsChangedTitle), ui(Own::TlsChanged, name) + "\r\r" +
                                                 ui(Own::TlsKnownFingerprint, *known) + "\r" +
                                                 ui(Own::TlsShownFingerprint, outcome.fingerprint));
        ports.status(ui(Own::TlsChangedStatus, name));
        return false;
    }
    const std::string question = ui(Own::TlsUnknown, name) + "\r\r" +
                                 ui(Own::TlsFingerprint, outcome.fingerprint) + "\r\r" +
                                 ui(Own::TlsUnknownQuestion);
    if (!ports.ask(ui(Own::TlsUnknownTitle), question)) {
        ports.status(ui(Own::TlsDeclinedStatus, name));
        return false;
    }
    if (!rememberFingerprint(host, port, outcome.fingerprint))
        ports.status(ui(Own::TlsPinNotSaved, kKnownServersFile));
    return true;
}

}  // namespace kavel
