#include "tls.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "common/hex.h"
#include "server.h"

namespace quarnd {

namespace {

// The last error OpenSSL queued, emptied, as one line.
std::string takeSslError() {
    std::string text;
    while (const unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        text = buf;  // the last is the most specific
    }
    return text;
}

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};

std::string hexFingerprint(const X509* cert) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (X509_digest(cert, EVP_sha256(), md, &n) != 1) return {};
    return kavel::colonHex(md, n);
}

// Writes through `path`.tmp and renames, the file made with `mode` from
// the start, so a key is never readable by others for a moment.
void writePem(const std::filesystem::path& path, mode_t mode,
              const std::function<bool(FILE*)>& write) {
    const std::string tmp = path.string() + ".tmp";
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) throw ServerError("cannot write " + tmp + ": " + std::strerror(errno));
    FILE* f = ::fdopen(fd, "w");
    if (!f) {
        ::close(fd);
        throw ServerError("cannot write " + tmp);
    }
    const bool ok = write(f) && std::fflush(f) == 0 && ::fsync(fd) == 0;
    std::fclose(f);
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw ServerError("cannot write " + path.string());
    }
}

bool isIpLiteral(const std::string& name) {
    return name.find(':') != std::string::npos ||
           name.find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

void makeSelfSignedCertificate(const std::filesystem::path& certFile,
                               const std::filesystem::path& keyFile,
                               const std::vector<std::string>& names) {
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, X509Free> cert(X509_new());
    if (!key || !cert) throw ServerError("cannot make a key: " + takeSslError());
    X509* x = cert.get();
    X509_set_version(x, 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;  // a positive number
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_time_adj_ex(X509_getm_notAfter(x), 3650, 0, nullptr);
    X509_set_pubkey(x, key.get());
    X509_NAME* subject = X509_get_subject_name(x);
    const std::string cn = names.empty() ? std::string("localhost") : names.front();
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509_set_issuer_name(x, subject);
    std::string alt;
    for (const std::string& n : names)
        alt += (alt.empty() ? "" : ",") + std::string(isIpLiteral(n) ? "IP:" : "DNS:") + n;
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
    for (const auto& [nid, value] : {std::pair<int, std::string>{NID_subject_alt_name, alt},
                                     {NID_basic_constraints, "critical,CA:FALSE"},
                                     {NID_ext_key_usage, "serverAuth"}}) {
        if (value.empty()) continue;
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value.c_str());
        if (!ext) throw ServerError("cannot make a certificate: " + takeSslError());
        X509_add_ext(x, ext, -1);
        X509_EXTENSION_free(ext);
    }
    if (X509_sign(x, key.get(), EVP_sha256()) == 0)
        throw ServerError("cannot sign the certificate: " + takeSslError());
    writePem(keyFile, 0600, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
    writePem(certFile, 0644, [&](FILE* f) { return PEM_write_X509(f, x) == 1; });
}

std::string certificateFingerprint(const std::filesystem::path& certFile) {
    FILE* f = std::fopen(certFile.c_str(), "r");
    if (!f) return {};
    std::unique_ptr<X509, X509Free> cert(PEM_read_X509(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    return cert ? hexFingerprint(cert.get()) : std::string();
}

TlsContext::TlsContext(const std::filesystem::path& certFile,
                       const std::filesystem::path& keyFile) {
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (!ctx_) throw ServerError("cannot set up TLS: " + takeSslError());
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    // Renegotiation only ever helped attackers; TLS 1.3 has none anyway.
    SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    // Output buffers move as replies are appended, and a thousand idle
    // sessions should not each hold two 16 KiB record buffers.
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                               SSL_MODE_RELEASE_BUFFERS);
    if (SSL_CTX_use_certificate_chain_file(ctx_, certFile.c_str()) != 1) {
        const std::string why = takeSslError();
        SSL_CTX_free(ctx_);
        throw ServerError("cannot use the certificate " + certFile.string() + ": " + why);
    }
    if (SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx_) != 1) {
        const std::string why = takeSslError();
        SSL_CTX_free(ctx_);
        throw ServerError("cannot use the key " + keyFile.string() + ": " + why);
    }
    fingerprint_ = hexFingerprint(SSL_CTX_get0_certificate(ctx_));
}

TlsContext::~TlsContext() {
    SSL_CTX_free(ctx_);
}

std::unique_ptr<TlsContext> TlsContext::forServer(const std::filesystem::path& certFile,
                                                  const std::filesystem::path& keyFile,
                                                  const std::filesystem::path& dataDir) {
    if (!certFile.empty()) return std::make_unique<TlsContext>(certFile, keyFile);
    const auto cert = dataDir / kSelfCertFile;
    const auto key = dataDir / kSelfKeyFile;
    std::error_code ec;
    if (!std::filesystem::exists(cert, ec) || !std::filesystem::exists(key, ec)) {
        std::vector<std::string> names;
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0 && host[0] && std::strcmp(host, "localhost"))
            names.emplace_back(host);
        names.insert(names.end(), {"localhost", "127.0.0.1", "::1"});
        makeSelfSignedCertificate(cert, key, names);
    }
    // Whatever umask made it, a key that others may read is not kept so.
    ::chmod(key.c_str(), 0600);
    return std::make_unique<TlsContext>(cert, key);
}

TlsStream::TlsStream(const TlsContext& context, int fd) : ssl_(SSL_new(context.get())) {
    if (ssl_) {
        SSL_set_fd(ssl_, fd);
        SSL_set_accept_state(ssl_);
    }
}

TlsStream::~TlsStream() {
    SSL_free(ssl_);
}

TlsStream::Io TlsStream::classify(int result) {
    switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            return Io::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return Io::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            return Io::Closed;
        case SSL_ERROR_SYSCALL:
            // Without an error queued this is the peer closing mid-stream.
            error_ = takeSslError();
            if (error_.empty() && errno != 0 && errno != EAGAIN) error_ = std::strerror(errno);
            return error_.empty() ? Io::Closed : Io::Failed;
        default:
            error_ = takeSslError();
            if (error_.empty()) error_ = "TLS error";
            return Io::Failed;
    }
}

TlsStream::Io TlsStream::handshake() {
    if (!ssl_) return Io::Failed;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_do_handshake(ssl_);
    return r == 1 ? Io::Done : classify(r);
}

TlsStream::Io TlsStream::read(char* buffer, std::size_t size, std::size_t& n) {
    n = 0;
    if (!ssl_) return Io::Failed;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_read_ex(ssl_, buffer, size, &n);
    return r == 1 ? Io::Done : classify(r);
}

TlsStream::Io TlsStream::write(const char* data, std::size_t size, std::size_t& n) {
    n = 0;
    if (!ssl_) return Io::Failed;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_write_ex(ssl_, data, size, &n);
    return r == 1 ? Io::Done : classify(r);
}

bool TlsStream::pending() const {
    return ssl_ && SSL_has_pending(ssl_) == 1;
}

void TlsStream::shutdown() {
    if (!ssl_) return;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

std::string TlsStream::version() const {
    return ssl_ ? SSL_get_version(ssl_) : "";
}

}  // namespace quarnd
