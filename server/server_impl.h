// The inside of quarnd's socket loop, shared by server.cpp (the loop,
// accepting and closing connections) and server_io.cpp (what moves bytes on
// one connection: reading, handling lines and requests, writing, deadlines).
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "chat.h"
#include "http.h"
#include "password_worker.h"
#include "protocol.h"
#include "server.h"
#include "sockets.h"
#include "store.h"
#include "tls.h"

namespace quarnd {

class Server::Impl : public Outbox {
    using Clock = std::chrono::steady_clock;

  public:
    explicit Impl(ServerConfig config);
    ~Impl() override;

    std::uint16_t chatPort() const { return boundPort(chatFd_); }
    std::uint16_t pastePort() const { return pasteFd_ >= 0 ? boundPort(pasteFd_) : 0; }
    std::uint16_t tlsPort() const { return chatTlsFd_ >= 0 ? boundPort(chatTlsFd_) : 0; }
    std::uint16_t pasteTlsPort() const { return pasteTlsFd_ >= 0 ? boundPort(pasteTlsFd_) : 0; }
    std::string fingerprint() const { return tls_ ? tls_->fingerprint() : std::string(); }

    void requestStop();
    void run();

    // Outbox
    void deliver(SessionId id, std::string&& transmission) override;
    void closeAfterFlush(SessionId id) override;

  private:
    struct Conn {
        enum class Kind { Chat, Http };
        int fd = -1;
        Kind kind = Kind::Chat;
        SessionId session = 0;
        std::string peer;     // address:port, for the log
        std::string address;  // what per-address limits count by
        std::string local;    // the address the peer connected to
        LineSplitter lines;
        std::string in;  // chat bytes read but not yet handled
        std::size_t inOff = 0;
        std::size_t linesThisPass = 0;
        bool inputEnded = false;  // the peer closed; handle what is buffered, then go
        std::unique_ptr<HttpRequestParser> http;
        std::size_t httpHeld = 0;  // bytes of a paste reply counted in httpHeld_
        std::string out;
        std::size_t outOff = 0;
        Clock::time_point lastInput;
        // Chat: log in by then; HTTP: the request complete by then; either,
        // once closing: the last reply taken by then.
        Clock::time_point deadline;
        Clock::time_point lingerSince;
        Clock::time_point overSince;  // output over the limit since; zero: not over
        bool closeAfterFlush = false;
        bool lingering = false;  // our side is shut; reading only to drain
        bool eof = false;        // the peer shut its side but still awaits our reply
        bool dead = false;
        std::string reason;
        // TLS: the stream over fd, and until its handshake is done, what
        // it waits for and by when.
        std::unique_ptr<TlsStream> tls;
        bool handshaking = false;
        bool tlsWantsWrite = false;
        Clock::time_point handshakeDeadline;

        std::size_t pending() const { return out.size() - outOff; }
        // Bytes the TLS layer holds decrypted: poll() would not show them.
        bool tlsHeld() const { return tls && !handshaking && tls->pending(); }
    };

    void log(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    Conn* bySession(SessionId id);

    static bool hasInput(const Conn& c) { return c.inOff < c.in.size(); }

    static bool wantsInput(const Conn& c);
    void wakeLoop();
    void drainWake();
    void applyCryptResults();

    // Refusals come in floods when they come at all: one log line a second.
    void logRefusal(const std::string& peer, const char* why);
    void acceptAll(int listenFd, Conn::Kind kind, bool tls);
    // recv() and send() on the connection, through TLS when it has it:
    // n > 0 bytes, 0 the peer's end (recv), -1 with errno (EAGAIN while
    // TLS waits for the socket, EPROTO when TLS failed: see tlsError).
    ssize_t receive(Conn& c, char* buf, std::size_t size);
    ssize_t transmit(Conn& c, const char* data, std::size_t size);
    static ssize_t likeSocket(Conn& c, TlsStream::Io io, std::size_t n, bool reading);
    void continueHandshake(Conn& c);
    std::string tlsError(const Conn& c) const;
    void readFrom(Conn& c);
    void peerClosed(Conn& c);

    // Handles at most linesPerPass lines of one chat connection, and none
    // while its session waits for a password job; the rest stays buffered
    // and we read nothing more from that peer until it is handled.
    void processInput(Conn& c);
    void handleHttp(Conn& c, std::string_view bytes);
    void queueHttpReply(Conn& c, std::string reply);
    void writeTo(Conn& c);
    void flushDirty();
    void kill(Conn& c, std::string reason);
    void checkTimes(Conn& c, Clock::time_point now);
    void reap();
    // Runs the paste purge when due; the seconds until it is due again.
    std::time_t expirePastes();
    void closeConn(int fd);
    void shutdownAll();
    void closeListeners();

    ServerConfig config_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<ChatCore> core_;
    std::unique_ptr<PasteService> paste_;
    int chatFd_ = -1;
    int pasteFd_ = -1;
    int chatTlsFd_ = -1;
    int pasteTlsFd_ = -1;
    std::unique_ptr<TlsContext> tls_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::unordered_map<int, std::unique_ptr<Conn>> conns_;
    std::unordered_map<SessionId, int> sessionFd_;
    std::unordered_set<int> dirty_;
    std::size_t chatConns_ = 0;
    std::size_t pasteConns_ = 0;
    std::unordered_map<std::string, std::array<std::size_t, 2>> perAddress_;  // chat, paste
    std::size_t httpHeld_ = 0;  // paste reply bytes not yet taken, all connections
    Clock::time_point acceptPausedUntil_{};
    Clock::time_point lastIdleCheck_ = Clock::now();
    Clock::time_point lastRefusalLog_{};
    std::size_t refusalsUnlogged_ = 0;
    // Last, so it is gone before anything its callback could touch.
    std::unique_ptr<CryptWorker> worker_;
};

}  // namespace quarnd
