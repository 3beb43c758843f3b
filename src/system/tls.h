#pragma once
// TLS over a connected socket handle (OpenSSL). After tlsStart the socket
// functions of platform/socket.h carry the handle's bytes through TLS;
// everything above sees the same stream as over plain TCP.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system/socket.h"

namespace kavel::platform {

struct TlsOutcome {
    enum class Status {
        Trusted,    // the trust store vouches for the certificate and the host name
        Untrusted,  // encrypted, but whose key it is nobody vouches for
        Failed,     // no TLS session: see failure
    };
    enum class Failure { None, TimedOut, Closed, Protocol };
    Status status = Status::Failed;
    Failure failure = Failure::None;
    std::string fingerprint;  // SHA-256 of the certificate, "AB:CD:…"
    std::string detail;       // the library's words for a protocol failure
};

// Runs the TLS handshake on a connected handle, at most timeoutMs, and
// checks the server's certificate against the trust store (the system's,
// or the file the services record names) and the host name. Whatever the
// outcome, the handle is left for tcpClose.
TlsOutcome tlsStart(uint32_t handle, const std::string& host, int timeoutMs = kConnectTimeoutMs);
bool isTls(uint32_t handle);
// True when TLS holds bytes already decrypted (or a record already read)
// for the handle: its descriptor will not announce them.
bool tlsHoldsInput(uint32_t handle);

// For platform/socket.cpp: the TLS halves of its functions.
SocketState tlsSocketState(uint32_t handle);
int tlsRead(uint32_t handle, char* buffer, int size);
bool tlsSend(uint32_t handle, std::string_view data);
void tlsEnd(uint32_t handle);

}  // namespace kavel::platform
