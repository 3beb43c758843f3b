// Test helpers for talking to a real quarnd over loopback.
//
//   QuarndProcess server;                      // fresh temp data folder, ephemeral ports
//   RawQuarnClient alice(server.chatPort());
//   auto reply = alice.command("LOGIN alice  [CLIENT:KAVEL@Windows]");
//   // reply == {"[2]- Gast"}
//
// QuarndProcess starts the binary with `--port 0 --paste-port 0 --tls-port any
// --paste-tls-port any --data DIR`, reads the ports and the certificate's
// fingerprint from its first line of standard output and stops it with
// SIGTERM. RawQuarnClient is a blocking line client: it appends CR to every
// command and hands back one transmission (the messages up to the NUL) at a
// time. Plain POSIX, no Qt, no test framework: errors throw
// std::runtime_error, so any test framework reports them. startTls() turns
// a RawQuarnClient into one over TLS (OpenSSL, no certificate check).
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/hex.h"

namespace quarnd_test {

// Splits one transmission's text at CR; the CR after the last message does
// not produce an empty trailing message.
inline std::vector<std::string> splitMessages(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        const auto cr = text.find('\r');
        out.emplace_back(text.substr(0, cr));
        if (cr == std::string_view::npos) break;
        text.remove_prefix(cr + 1);
    }
    return out;
}

class QuarndProcess {
  public:
    struct Options {
        // Empty: the QUARND_BIN macro of the test build.
        std::string binary;
        // Empty: a fresh folder under $TMPDIR, removed by the destructor.
        std::string dataDir;
        // Appended after the defaults; a later option wins in quarnd, so
        // e.g. {"--paste-port", "off"} switches the paste service off.
        std::vector<std::string> extraArgs;
        std::chrono::milliseconds startTimeout{10000};
    };

    QuarndProcess() : QuarndProcess(Options{}) {}
    explicit QuarndProcess(Options options) : options_(std::move(options)) {
        if (options_.binary.empty()) {
#ifdef QUARND_BIN
            options_.binary = QUARND_BIN;
#else
            throw std::runtime_error("QuarndProcess: no binary given and QUARND_BIN undefined");
#endif
        }
        if (options_.dataDir.empty()) {
            std::string tmpl =
                (std::filesystem::temp_directory_path() / "quarnd-test-XXXXXX").string();
            if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
            options_.dataDir = tmpl;
            ownsDataDir_ = true;
        }
        start();
    }

    ~QuarndProcess() {
        stop();
        if (ownsDataDir_) {
            std::error_code ec;
            std::filesystem::remove_all(options_.dataDir, ec);
        }
    }

    QuarndProcess(const QuarndProcess&) = delete;
    QuarndProcess& operator=(const QuarndProcess&) = delete;

    int chatPort() const {
        return chatPort_;
    }
    int pastePort() const {
        return pastePort_;
    }
    int tlsPort() const {
        return tlsPort_;
    }
    int pasteTlsPort() const {
        return pasteTlsPort_;
    }
    // "AB:CD:…" as quarnd printed it; empty without TLS.
    const std::string& fingerprint() const {
        return fingerprint_;
    }
    const std::string& dataDir() const {
        return options_.dataDir;
    }
    pid_t pid() const {
        return pid_;
    }
    bool running() const {
        return pid_ > 0;
    }
    // The server's standard error (connection log) so far.
    // The log once it holds `text`; what it holds after `limitMs` otherwise.
    std::string logWith(const std::string& text, int limitMs = 10000) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        std::string now = log();
        while (now.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            now = log();
        }
        return now;
    }
    std::string log() const {
        std::ifstream in(logPath(), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string logPath() const {
        return options_.dataDir + "/quarnd-stderr.log";
    }

    // SIGTERM and wait (SIGKILL after `grace`). Returns the exit status as
    // waitpid reports it, or -1 when it was not running.
    int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000)) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (true) {
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || (r < 0 && errno != EINTR)) break;
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            usleep(5000);
        }
        pid_ = -1;
        if (stdoutFd_ >= 0) ::close(stdoutFd_);
        stdoutFd_ = -1;
        return status;
    }

    // Stops the server and starts it again on the same data folder. The
    // ports are ephemeral again, so read chatPort()/pastePort() afresh.
    void restart() {
        stop();
        start();
    }

  private:
    void start() {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        std::vector<std::string> args = {
            options_.binary,    "--port", "0",      "--paste-port",  "0", "--tls-port", "any",
            "--paste-tls-port", "any",    "--data", options_.dataDir};
        args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string log = logPath();

        const pid_t pid = fork();
        if (pid < 0) throw std::runtime_error("fork failed");
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (err >= 0) dup2(err, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(out[1]);
        pid_ = pid;
        stdoutFd_ = out[0];

        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + options_.startTimeout;
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{stdoutFd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                stop();
                throw std::runtime_error("quarnd did not report its ports in time");
            }
            char buf[256];
            const ssize_t n = ::read(stdoutFd_, buf, sizeof buf);
            if (n <= 0) {
                stop();
                throw std::runtime_error("quarnd exited at start: " + this->log());
            }
            line.append(buf, static_cast<std::size_t>(n));
        }
        unsigned chat = 0, paste = 0;
        if (std::sscanf(line.c_str(), "listening chat=%u paste=%u", &chat, &paste) != 2) {
            stop();
            throw std::runtime_error("unexpected first line from quarnd: " + line);
        }
        chatPort_ = static_cast<int>(chat);
        pastePort_ = static_cast<int>(paste);
        unsigned tls = 0, pasteTls = 0;
        if (const auto at = line.find(" tls="); at != std::string::npos)
            std::sscanf(line.c_str() + at, " tls=%u paste-tls=%u", &tls, &pasteTls);
        tlsPort_ = static_cast<int>(tls);
        pasteTlsPort_ = static_cast<int>(pasteTls);
        fingerprint_.clear();
        if (const auto at = line.find(" sha256="); at != std::string::npos)
            fingerprint_ = line.substr(at + 8, line.find_first_of(" \n", at + 8) - at - 8);
    }

    Options options_;
    bool ownsDataDir_ = false;
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    int chatPort_ = 0;
    int pastePort_ = 0;
    int tlsPort_ = 0;
    int pasteTlsPort_ = 0;
    std::string fingerprint_;
};

// The SHA-256 of a certificate's DER form as "AB:CD:…".
inline std::string fingerprintOf(const X509* cert) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (!cert || X509_digest(cert, EVP_sha256(), md, &n) != 1) return {};
    return kavel::colonHex(md, n);
}

// Connects to 127.0.0.1:port, or throws.
inline int connectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::runtime_error(std::string("connect to port ") + std::to_string(port) + ": " +
                                 std::strerror(err));
    }
    return fd;
}

// Sends the request on fd, reads the reply until the peer closes or stays
// silent for timeoutMs, and closes fd.
inline std::string httpExchange(int fd, std::string_view request, int timeoutMs = 5000) {
    while (!request.empty()) {
        const ssize_t n = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        if (n <= 0) break;
        request.remove_prefix(static_cast<std::size_t>(n));
    }
    std::string reply;
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        reply.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply;
}

// One request to 127.0.0.1:port, as httpExchange.
inline std::string httpRequest(int port, std::string_view request) {
    return httpExchange(connectLoopback(port), request);
}

// The status line and the Location header of an HTTP reply ("" when none).
inline std::string statusOf(const std::string& reply) {
    return reply.substr(0, reply.find('\r'));
}
inline std::string locationOf(const std::string& reply) {
    const auto at = reply.find("\r\nLocation: ");
    if (at == std::string::npos) return "";
    return reply.substr(at + 12, reply.find('\r', at + 12) - at - 12);
}

class RawQuarnClient {
  public:
    using Messages = std::vector<std::string>;
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit RawQuarnClient(int port) : fd_(connectLoopback(port)) {
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawQuarnClient() {
        close();
        if (ssl_) SSL_free(ssl_);
        if (ctx_) SSL_CTX_free(ctx_);
    }

    // A TLS handshake on the connection, naming `host` (SNI); maxVersion 0
    // for the library's best. No certificate check: tests look at the
    // fingerprint. False when the server refused or did not answer in time.
    bool startTls(const std::string& host = "localhost", int maxVersion = 0,
                  int timeoutMs = kDefaultTimeoutMs) {
        // OpenSSL writes with write(): a server that hung up must not kill the test.
        ::signal(SIGPIPE, SIG_IGN);
        ctx_ = SSL_CTX_new(TLS_client_method());
        if (!ctx_) return false;
        SSL_CTX_set_min_proto_version(ctx_, TLS1_VERSION);
        if (maxVersion) SSL_CTX_set_max_proto_version(ctx_, maxVersion);
        // Old protocol versions need the weakest security level to be offered.
        if (maxVersion && maxVersion < TLS1_2_VERSION) SSL_CTX_set_security_level(ctx_, 0);
        ssl_ = SSL_new(ctx_);
        SSL_set_fd(ssl_, fd_);
        SSL_set_tlsext_host_name(ssl_, host.c_str());
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        const bool ok = SSL_connect(ssl_) == 1;
        ERR_clear_error();
        if (!ok) {
            SSL_free(ssl_);
            ssl_ = nullptr;
        }
        return ok;
    }
    std::string peerFingerprint() const {
        if (!ssl_) return {};
        X509* cert = SSL_get1_peer_certificate(ssl_);
        std::string f = fingerprintOf(cert);
        X509_free(cert);
        return f;
    }
    std::string tlsVersion() const { return ssl_ ? SSL_get_version(ssl_) : ""; }
    RawQuarnClient(const RawQuarnClient&) = delete;
    RawQuarnClient& operator=(const RawQuarnClient&) = delete;

    int fd() const { return fd_; }

    // Sends the command followed by CR.
    void send(std::string_view command) {
        std::string line(command);
        line.push_back('\r');
        sendRaw(line);
    }

    // Sends exactly these bytes. Returns false when the peer is gone.
    bool sendRaw(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ssl_ ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                                   : ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (ssl_ && n <= 0) return false;
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // The next transmission, split into messages; nullopt on time-out or
    // when the connection closed first.
    std::optional<Messages> receive(int timeoutMs = kDefaultTimeoutMs) {
        std::optional<std::string> raw = receiveRaw(timeoutMs);
        if (!raw) return std::nullopt;
        return splitMessages(*raw);
    }

    // The next transmission as bytes, without its NUL.
    std::optional<std::string> receiveRaw(int timeoutMs = kDefaultTimeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const auto nul = buffer_.find('\0');
            if (nul != std::string::npos) {
                std::string t = buffer_.substr(0, nul);
                buffer_.erase(0, nul + 1);
                return t;
            }
            if (!fill(deadline)) return std::nullopt;
        }
    }

    // send() and then receive().
    Messages command(std::string_view text, int timeoutMs = kDefaultTimeoutMs) {
        send(text);
        return receive(timeoutMs).value_or(Messages{});
    }

    // Every transmission that arrives until the line has been quiet for
    // quietMs, in order.
    std::vector<Messages> drain(int quietMs = 200) {
        std::vector<Messages> all;
        while (auto t = receive(quietMs))
            all.push_back(std::move(*t));
        return all;
    }

    // True once the server has closed the connection (within timeoutMs).
    bool waitClosed(int timeoutMs = kDefaultTimeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!closed_) {
            if (!fill(deadline) && !closed_) return false;
        }
        return true;
    }

    bool closedByPeer() const { return closed_; }
    // What arrived and was not taken as a transmission (a reply without NUL).
    const std::string& buffered() const { return buffer_; }

    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    // Reads what is available before the deadline; false on time-out or EOF.
    bool fill(std::chrono::steady_clock::time_point deadline) {
        if (closed_ || fd_ < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        // Decrypted bytes do not show on the socket.
        const int r =
            ssl_ && SSL_pending(ssl_) > 0 ? 1 : poll(&p, 1, static_cast<int>(left.count()));
        if (r <= 0) return false;
        char buf[64 * 1024];
        const ssize_t n = ssl_ ? SSL_read(ssl_, buf, sizeof buf) : ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) return true;
            closed_ = true;
            return false;
        }
        buffer_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
};

}  // namespace quarnd_test
