#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "chat.h"
#include "http.h"
#include "protocol.h"
#include "store.h"

namespace quarnd {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes read from one connection per loop pass: a peer pouring data in
// cannot keep the loop from serving everybody else.
constexpr std::size_t kReadBudget = 64 * 1024;
// How long a finished connection may keep sending before we hang up on it.
constexpr auto kLinger = std::chrono::seconds(2);

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string peerName(const sockaddr_in& addr) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port));
}

int listenOn(const std::string& address, std::uint16_t port, const char* what) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw ServerError(std::string("cannot create socket: ") + std::strerror(errno));
    const int one = 1;
    // Lets a restarted server bind while old connections sit in TIME_WAIT;
    // Linux still refuses the bind while another process is listening.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        ::close(fd);
        throw ServerError("bad bind address " + address);
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        const int err = errno;
        ::close(fd);
        throw ServerError(std::string("cannot listen on ") + what + " port " +
                          std::to_string(port) + ": " + std::strerror(err));
    }
    return fd;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

}  // namespace

class Server::Impl : public Outbox {
  public:
    explicit Impl(ServerConfig config) : config_(std::move(config)) {
        std::error_code ec;
        std::filesystem::create_directories(config_.dataDir, ec);
        if (ec) {
            throw ServerError("cannot create data folder " + config_.dataDir.string() + ": " +
                              ec.message());
        }
        try {
            store_ = std::make_unique<Store>((config_.dataDir / "quarn.db").string());
        } catch (const StoreError& e) {
            throw ServerError(e.what());
        }
        ChatConfig chat;
        chat.adminsFile = config_.dataDir / "admins.txt";
        const auto roomsFile = config_.dataDir / "rooms.txt";
        if (std::filesystem::exists(roomsFile))
            chat.fixedRooms = parseRoomsFile(readFile(roomsFile));
        core_ = std::make_unique<ChatCore>(*store_, *this, std::move(chat));

        if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
            throw ServerError(std::string("pipe: ") + std::strerror(errno));
        }
        try {
            chatFd_ = listenOn(config_.bindAddress, config_.chatPort, "chat");
            if (config_.pastePort)
                pasteFd_ = listenOn(config_.bindAddress, *config_.pastePort, "paste");
        } catch (...) {
            closeListeners();
            throw;
        }
        if (pasteFd_ >= 0) {
            PasteConfig pc;
            pc.host = config_.host;
            pc.port = boundPort(pasteFd_);
            paste_ = std::make_unique<PasteService>(*store_, std::move(pc));
        }
    }

    ~Impl() override {
        shutdownAll();
        closeListeners();
    }

    std::uint16_t chatPort() const { return boundPort(chatFd_); }
    std::uint16_t pastePort() const { return pasteFd_ >= 0 ? boundPort(pasteFd_) : 0; }

    void requestStop() {
        stop_.store(true);
        const char b = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
    }

    void run() {
        std::vector<pollfd> fds;
        std::vector<Conn*> polled;
        while (!stop_.load()) {
            fds.clear();
            polled.clear();
            fds.push_back({wake_[0], POLLIN, 0});
            const bool accepting = Clock::now() >= acceptPausedUntil_;
            fds.push_back({accepting ? chatFd_ : -1, POLLIN, 0});
            fds.push_back({accepting ? pasteFd_ : -1, POLLIN, 0});
            for (auto& [fd, conn] : conns_) {
                short ev = 0;
                if ((!conn->closeAfterFlush || conn->lingering) && !conn->eof) ev |= POLLIN;
                if (conn->pending() > 0) ev |= POLLOUT;
                fds.push_back({fd, ev, 0});
                polled.push_back(conn.get());
            }
            const int n = poll(fds.data(), fds.size(), 1000);
            if (n < 0 && errno != EINTR) {
                log("poll: %s", std::strerror(errno));
                break;
            }
            if (fds[0].revents) drainWake();
            if (stop_.load()) break;
            if (fds[1].revents & POLLIN) acceptAll(chatFd_, Conn::Kind::Chat);
            if (fds[2].revents & POLLIN) acceptAll(pasteFd_, Conn::Kind::Http);
            for (std::size_t i = 0; i < polled.size(); ++i) {
                const short re = fds[i + 3].revents;
                Conn* c = polled[i];
                if (c->dead) continue;
                if (re & (POLLIN | POLLHUP | POLLERR)) readFrom(*c);
                if ((re & POLLOUT) && !c->dead) writeTo(*c);
            }
            flushDirty();
            reap();
        }
        shutdownAll();
    }

    // Outbox
    void deliver(SessionId id, std::string&& transmission) override {
        Conn* c = bySession(id);
        if (!c || c->dead || c->lingering) return;
        if (c->out.empty()) {
            c->out = std::move(transmission);
            c->outOff = 0;
        } else {
            c->out += transmission;
        }
        if (c->pending() > config_.maxPendingOutput) {
            // A reader that stopped reading would otherwise make us buffer
            // every line of every room for it, forever.
            kill(*c, "output backlog over limit");
            return;
        }
        dirty_.insert(c->fd);
    }

    void closeAfterFlush(SessionId id) override {
        if (Conn* c = bySession(id)) {
            c->closeAfterFlush = true;
            dirty_.insert(c->fd);
        }
    }

  private:
    struct Conn {
        enum class Kind { Chat, Http };
        int fd = -1;
        Kind kind = Kind::Chat;
        SessionId session = 0;
        std::string peer;
        LineSplitter lines;
        std::unique_ptr<HttpRequestParser> http;
        std::string out;
        std::size_t outOff = 0;
        Clock::time_point lastInput;
        Clock::time_point lingerSince;
        bool closeAfterFlush = false;
        bool lingering = false;  // our side is shut; reading only to drain
        bool eof = false;        // the peer shut its side but still awaits our reply
        bool dead = false;
        std::string reason;

        std::size_t pending() const { return out.size() - outOff; }
    };

    void log(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (!config_.logToStderr) return;
        char when[32];
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
        std::fprintf(stderr, "%s quarnd: ", when);
        va_list ap;
        va_start(ap, fmt);
        std::vfprintf(stderr, fmt, ap);
        va_end(ap);
        std::fputc('\n', stderr);
    }

    Conn* bySession(SessionId id) {
        auto it = sessionFd_.find(id);
        if (it == sessionFd_.end()) return nullptr;
        auto c = conns_.find(it->second);
        return c == conns_.end() ? nullptr : c->second.get();
    }

    void drainWake() {
        char buf[64];
        while (::read(wake_[0], buf, sizeof buf) > 0) {
        }
    }

    void acceptAll(int listenFd, Conn::Kind kind) {
        while (true) {
            sockaddr_in addr{};
            socklen_t len = sizeof addr;
            const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&addr), &len,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    log("accept: %s; pausing new connections", std::strerror(errno));
                    acceptPausedUntil_ = Clock::now() + std::chrono::seconds(1);
                }
                return;
            }
            const std::string peer = peerName(addr);
            if (conns_.size() >= config_.maxConnections) {
                log("refused %s: too many connections", peer.c_str());
                ::close(fd);
                continue;
            }
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            auto c = std::make_unique<Conn>();
            c->fd = fd;
            c->kind = kind;
            c->peer = peer;
            c->lastInput = Clock::now();
            if (kind == Conn::Kind::Chat) {
                c->session = core_->open(peer);
                sessionFd_[c->session] = fd;
                log("connect %s (session %llu)", peer.c_str(),
                    static_cast<unsigned long long>(c->session));
            } else {
                c->http = std::make_unique<HttpRequestParser>();
            }
            conns_.emplace(fd, std::move(c));
        }
    }

    void readFrom(Conn& c) {
        if (c.eof) return;
        char buf[16 * 1024];
        std::size_t budget = kReadBudget;
        while (budget > 0 && !c.dead) {
            const ssize_t n = ::recv(c.fd, buf, std::min(sizeof buf, budget), 0);
            if (n == 0) {
                if (c.closeAfterFlush && !c.lingering && c.pending() > 0) {
                    c.eof = true;
                } else {
                    kill(c, "closed by peer");
                }
                return;
            }
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
                kill(c, std::strerror(errno));
                return;
            }
            budget -= static_cast<std::size_t>(n);
            c.lastInput = Clock::now();
            if (c.lingering || c.closeAfterFlush) continue;  // nothing more is listened to
            const std::string_view bytes(buf, static_cast<std::size_t>(n));
            if (c.kind == Conn::Kind::Chat) {
                const SessionId sid = c.session;
                c.lines.feed(bytes, [&](std::string_view line) { core_->handleLine(sid, line); });
            } else {
                handleHttp(c, bytes);
            }
        }
    }

    void handleHttp(Conn& c, std::string_view bytes) {
        using S = HttpRequestParser::Status;
        const S st = c.http->feed(bytes);
        if (st == S::Partial) return;
        HttpResponse resp = st == S::Complete   ? paste_->handle(c.http->request())
                            : st == S::TooLarge ? simpleResponse(413)
                                                : simpleResponse(400);
        if (st == S::Complete) {
            log("http %s %s %s -> %d", c.peer.c_str(), c.http->request().method.c_str(),
                c.http->request().target.substr(0, 200).c_str(), resp.status);
        } else {
            log("http %s -> %d", c.peer.c_str(), resp.status);
        }
        c.out = resp.serialize();
        c.outOff = 0;
        c.closeAfterFlush = true;
        c.http.reset(new HttpRequestParser());  // frees the request body now
        dirty_.insert(c.fd);
    }

    void writeTo(Conn& c) {
        while (c.pending() > 0) {
            const ssize_t n = ::send(c.fd, c.out.data() + c.outOff, c.pending(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
                kill(c, std::strerror(errno));
                return;
            }
            c.outOff += static_cast<std::size_t>(n);
        }
        if (c.pending() == 0) {
            c.out.clear();
            c.outOff = 0;
        } else if (c.outOff > 64 * 1024 && c.outOff > c.out.size() / 2) {
            c.out.erase(0, c.outOff);
            c.outOff = 0;
        }
        if (c.eof && c.pending() == 0) {
            kill(c, "closed");
        } else if (c.closeAfterFlush && c.pending() == 0 && !c.lingering) {
            // Shut our side and drain theirs for a moment: closing with unread
            // input would reset the connection and could destroy the reply.
            ::shutdown(c.fd, SHUT_WR);
            c.lingering = true;
            c.lingerSince = Clock::now();
        }
    }

    void flushDirty() {
        for (int fd : dirty_) {
            auto it = conns_.find(fd);
            if (it != conns_.end() && !it->second->dead) writeTo(*it->second);
        }
        dirty_.clear();
    }

    void kill(Conn& c, std::string reason) {
        if (c.dead) return;
        c.dead = true;
        c.reason = std::move(reason);
    }

    void reap() {
        const auto now = Clock::now();
        const bool tick = now - lastIdleCheck_ >= std::chrono::seconds(1);
        if (tick) lastIdleCheck_ = now;
        std::vector<int> gone;
        for (auto& [fd, c] : conns_) {
            if (!c->dead && tick) {
                const auto limit =
                    c->kind == Conn::Kind::Chat ? config_.idleLimit : config_.httpIdleLimit;
                if (c->lingering && now - c->lingerSince > kLinger) {
                    kill(*c, "closed");
                } else if (!c->lingering && now - c->lastInput > limit) {
                    kill(*c, "idle");
                }
            }
            if (c->dead) gone.push_back(fd);
        }
        for (int fd : gone)
            closeConn(fd);
    }

    void closeConn(int fd) {
        auto it = conns_.find(fd);
        if (it == conns_.end()) return;
        std::unique_ptr<Conn> c = std::move(it->second);
        conns_.erase(it);
        dirty_.erase(fd);
        if (c->kind == Conn::Kind::Chat) {
            const std::string login = core_->loginOf(c->session);
            log("disconnect %s (session %llu%s%s): %s", c->peer.c_str(),
                static_cast<unsigned long long>(c->session), login.empty() ? "" : ", ",
                login.c_str(), c->reason.c_str());
            sessionFd_.erase(c->session);
            // The others are told, possibly making more connections dirty.
            core_->close(c->session);
        }
        ::close(fd);
    }

    void shutdownAll() {
        if (conns_.empty()) return;
        log("shutting down, closing %zu connections", conns_.size());
        std::vector<int> fds;
        for (auto& [fd, c] : conns_) {
            kill(*c, "server shutdown");
            fds.push_back(fd);
        }
        for (int fd : fds)
            closeConn(fd);
    }

    void closeListeners() {
        for (int* fd : {&chatFd_, &pasteFd_, &wake_[0], &wake_[1]}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    ServerConfig config_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<ChatCore> core_;
    std::unique_ptr<PasteService> paste_;
    int chatFd_ = -1;
    int pasteFd_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::unordered_map<int, std::unique_ptr<Conn>> conns_;
    std::unordered_map<SessionId, int> sessionFd_;
    std::unordered_set<int> dirty_;
    Clock::time_point acceptPausedUntil_{};
    Clock::time_point lastIdleCheck_ = Clock::now();
};

Server::Server(ServerConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}
Server::~Server() = default;
std::uint16_t Server::chatPort() const {
    return impl_->chatPort();
}
std::uint16_t Server::pastePort() const {
    return impl_->pastePort();
}
void Server::run() {
    impl_->run();
}
void Server::requestStop() {
    impl_->requestStop();
}

}  // namespace quarnd
