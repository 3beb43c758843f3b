// TLS for quarnd's listeners (OpenSSL): the certificate the server shows,
// made and kept in the data folder when the operator gives none, and one
// non-blocking TLS stream per accepted socket.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;

namespace quarnd {

// The files a self-made certificate is kept in, inside the data folder.
inline constexpr const char* kSelfCertFile = "tls-cert.pem";
inline constexpr const char* kSelfKeyFile = "tls-key.pem";

// Makes a self-signed certificate (ECDSA P-256) for `names` (DNS names or
// IP literals) and writes it and its key (mode 0600) to the two files, each
// through a temporary file. Throws ServerError on failure.
void makeSelfSignedCertificate(const std::filesystem::path& certFile,
                               const std::filesystem::path& keyFile,
                               const std::vector<std::string>& names);

// "AB:CD:…": the SHA-256 of the certificate's DER form, as `openssl x509
// -fingerprint -sha256` shows it. Empty when the file holds no certificate.
std::string certificateFingerprint(const std::filesystem::path& certFile);

class TlsContext {
  public:
    // Loads the chain and key (PEM); TLS 1.2 and 1.3 only. Throws ServerError
    // naming the file that could not be used.
    TlsContext(const std::filesystem::path& certFile, const std::filesystem::path& keyFile);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    ssl_ctx_st* get() const { return ctx_; }
    const std::string& fingerprint() const { return fingerprint_; }

    // The certificate given, or the one of the data folder (made on the
    // first start and reused).
    static std::unique_ptr<TlsContext> forServer(const std::filesystem::path& certFile,
                                                 const std::filesystem::path& keyFile,
                                                 const std::filesystem::path& dataDir);

  private:
    ssl_ctx_st* ctx_ = nullptr;
    std::string fingerprint_;
};

// One server-side TLS connection over a non-blocking socket. Every call
// returns at once; "want read"/"want write" only say what to poll for.
class TlsStream {
  public:
    enum class Io { Done, WantRead, WantWrite, Closed, Failed };

    TlsStream(const TlsContext& context, int fd);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    Io handshake();
    // Done with `n` bytes moved, or why none were.
    Io read(char* buffer, std::size_t size, std::size_t& n);
    Io write(const char* data, std::size_t size, std::size_t& n);
    // Decrypted bytes (or a whole record) held inside, which the socket no
    // longer shows to poll().
    bool pending() const;
    // Our close_notify, best effort.
    void shutdown();
    // What went wrong last, for the log.
    std::string error() const { return error_; }
    std::string version() const;

  private:
    Io classify(int result);

    ssl_st* ssl_ = nullptr;
    std::string error_;
};

}  // namespace quarnd
