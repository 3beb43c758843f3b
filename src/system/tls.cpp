#include "system/tls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <unordered_map>

#include "common/hex.h"
#include "system/services.h"

namespace kavel::platform {

namespace {

// The sessions by handle. The GUI thread owns the connections; the lock
// only keeps a plug-in's thread from seeing the table half changed.
std::mutex lock;
std::unordered_map<uint32_t, SSL*> sessions;

SSL* sessionOf(uint32_t handle) {
    std::lock_guard<std::mutex> guard(lock);
    const auto it = sessions.find(handle);
    return it == sessions.end() ? nullptr : it->second;
}

// A send may wait this long for the socket to take a record.
constexpr int kSendWaitMs = 30000;

bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(left));
    } while (r < 0 && errno == EINTR);
    return r == 1;
}

bool isIpLiteral(const std::string& host) {
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

std::string fingerprintOf(const X509* cert) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (!cert || X509_digest(cert, EVP_sha256(), md, &n) != 1) return {};
    return kavel::colonHex(md, n);
}

std::string lastSslError() {
    std::string text;
    while (const unsigned long e = ERR_get_error()) {
        const char* reason = ERR_reason_error_string(e);
        text = reason ? reason : "unknown";
    }
    return text;
}

SSL_CTX* makeContext() {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    // The handshake goes on whatever the check says: an unknown certificate
    // is the user's question, not the library's refusal.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    const std::string& trusted = services().trustedCertificates;
    if (!trusted.empty())
        SSL_CTX_load_verify_locations(ctx, trusted.c_str(), nullptr);
    else
        SSL_CTX_set_default_verify_paths(ctx);  // honours SSL_CERT_FILE and SSL_CERT_DIR
    return ctx;
}

}  // namespace

TlsOutcome tlsStart(uint32_t handle, const std::string& host, int timeoutMs) {
    TlsOutcome outcome;
    const int fd = fdOf(handle);
    if (fd < 0) return outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    SSL_CTX* ctx = makeContext();
    SSL* ssl = ctx ? SSL_new(ctx) : nullptr;
    SSL_CTX_free(ctx);  // the session keeps its own reference
    if (!ssl) {
        outcome.failure = TlsOutcome::Failure::Protocol;
        outcome.detail = lastSslError();
        return outcome;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        sessions[handle] = ssl;
    }
    // Reads and writes look before they leap; a blocking socket would let a
    // half-arrived record stall the GUI thread.
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    SSL_set_fd(ssl, fd);
    if (isIpLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    }
    ERR_clear_error();
    while (true) {
        const int r = SSL_connect(ssl);
        if (r == 1) break;
        const int e = SSL_get_error(ssl, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (waitFor(fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) continue;
            outcome.failure = TlsOutcome::Failure::TimedOut;
            return outcome;
        }
        outcome.detail = lastSslError();
        outcome.failure =
            outcome.detail.empty() ? TlsOutcome::Failure::Closed : TlsOutcome::Failure::Protocol;
        return outcome;
    }
    outcome.fingerprint = fingerprintOf(SSL_get0_peer_certificate(ssl));
    outcome.status = SSL_get_verify_result(ssl) == X509_V_OK ? TlsOutcome::Status::Trusted
                                                             : TlsOutcome::Status::Untrusted;
    return outcome;
}

bool isTls(uint32_t handle) {
    return sessionOf(handle) != nullptr;
}

bool tlsHoldsInput(uint32_t handle) {
    SSL* ssl = sessionOf(handle);
    return ssl && SSL_has_pending(ssl) == 1;
}

SocketState tlsSocketState(uint32_t handle) {
    SSL* ssl = sessionOf(handle);
    if (!ssl) return SocketState::Closed;
    if (SSL_pending(ssl) > 0) return SocketState::Readable;
    // A peek reads and opens whatever record has arrived without taking
    // its bytes; "want read" is a record not complete yet.
    char byte;
    std::size_t n = 0;
    ERR_clear_error();
    const int r = SSL_peek_ex(ssl, &byte, 1, &n);
    if (r == 1) return SocketState::Readable;
    const int e = SSL_get_error(ssl, r);
    ERR_clear_error();
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return SocketState::Idle;
    return SocketState::Closed;
}

int tlsRead(uint32_t handle, char* buffer, int size) {
    SSL* ssl = sessionOf(handle);
    if (!ssl || size <= 0) return -1;
    std::size_t n = 0;
    ERR_clear_error();
    const int r = SSL_read_ex(ssl, buffer, static_cast<std::size_t>(size), &n);
    if (r == 1) return static_cast<int>(n);
    const int e = SSL_get_error(ssl, r);
    ERR_clear_error();
    return e == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

bool tlsSend(uint32_t handle, std::string_view data) {
    SSL* ssl = sessionOf(handle);
    if (!ssl) return false;
    const int fd = fdOf(handle);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendWaitMs);
    while (!data.empty()) {
        std::size_t n = 0;
        ERR_clear_error();
        const int r = SSL_write_ex(ssl, data.data(), data.size(), &n);
        if (r == 1) {
            data.remove_prefix(n);
            continue;
        }
        const int e = SSL_get_error(ssl, r);
        ERR_clear_error();
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) return false;
        if (!waitFor(fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) return false;
    }
    return true;
}

void tlsEnd(uint32_t handle) {
    SSL* ssl = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        const auto it = sessions.find(handle);
        if (it == sessions.end()) return;
        ssl = it->second;
        sessions.erase(it);
    }
    // Our close_notify, as far as the socket takes it at once.
    if (SSL_is_init_finished(ssl)) SSL_shutdown(ssl);
    ERR_clear_error();
    SSL_free(ssl);
}

}  // namespace kavel::platform
