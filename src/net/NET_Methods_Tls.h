#pragma once
// Encrypted connections: whether the chat goes over TLS, the fingerprints
// the user accepted for servers no authority vouches for (kept per host and
// port in the working folder), and the check that runs after every TLS
// handshake before a single byte of ours is sent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavel {

struct SessionPorts;

inline constexpr int TlsServerPort = 1999;
// One line a server: "host port fingerprint".
inline constexpr const char* kKnownServersFile = "known_servers.txt";

// The fingerprint remembered for host and port (the host's case ignored).
std::optional<std::string> knownFingerprint(std::string_view host, int port);
// Remembers it, replacing an older one; the file is written atomically.
bool rememberFingerprint(std::string_view host, int port, std::string_view fingerprint);

// The TLS handshake on a connected handle and the verdict on the server's
// certificate: one the trust store accepts for that host passes silently,
// one remembered for host and port passes, a changed one is refused with a
// warning naming both fingerprints, any other is asked about ("Ja"
// remembers it), all through the session's ports. A failed handshake is
// told in the status log when `loud`. False: the caller closes the handle;
// nothing has been sent on it.
bool secureConnection(const SessionPorts& ports, uint32_t handle, const std::string& host, int port,
                      bool loud = true);

}  // namespace kavel
