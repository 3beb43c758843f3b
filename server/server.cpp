#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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
#include "password_worker.h"
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
// Chat output held for one peer beyond this many times the limit drops it
// at once, grace or not, so memory stays bounded whatever the peers do.
constexpr std::size_t kHardOutputFactor = 4;
// Output buffers up to this size are kept between passes, sparing a busy
// room's members an allocation for every line.
constexpr std::size_t kKeptOutputCapacity = 256 * 1024;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string addressText(const in_addr& addr) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &addr, ip, sizeof ip);
    return ip;
}

std::string localAddressOf(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
    return addressText(addr.sin_addr);
}

std::string esc(std::string_view text) {
    return escapeForLog(text);
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

// The data folder holds password hashes and pastes: only our own user may
// read it, whatever the umask, and an older folder is tightened too.
// Returns what the operator should hear about.
std::vector<std::string> prepareDataDir(const std::filesystem::path& dir) {
    std::vector<std::string> warnings;
    std::error_code ec;
    const std::filesystem::path parent = dir.parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        throw ServerError("cannot create data folder " + dir.string() + ": " +
                          std::strerror(errno));
    }
    if (::chmod(dir.c_str(), 0700) != 0) {
        warnings.push_back("cannot make data folder " + dir.string() +
                           " private: " + std::strerror(errno));
    }
    // SQLite gives its -wal and -shm files the mode of the database file.
    const std::filesystem::path db = dir / "quarn.db";
    const int fd = ::open(db.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        if (::fchmod(fd, 0600) != 0)
            warnings.push_back("cannot make " + db.string() + " private: " + std::strerror(errno));
        ::close(fd);
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string path = db.string() + suffix;
        if (::chmod(path.c_str(), 0600) != 0 && errno != ENOENT)
            warnings.push_back("cannot make " + path + " private: " + std::strerror(errno));
    }
    return warnings;
}

}  // namespace

class Server::Impl : public Outbox {
  public:
    explicit Impl(ServerConfig config) : config_(std::move(config)) {
        for (const std::string& w : prepareDataDir(config_.dataDir))
            log("%s", esc(w).c_str());
        try {
            store_ = std::make_unique<Store>((config_.dataDir / "quarn.db").string());
        } catch (const StoreError& e) {
            throw ServerError(e.what());
        }
        for (const std::string& note : store_->startupNotes())
            log("%s", esc(note).c_str());
        ChatConfig chat;
        chat.adminsFile = config_.dataDir / "admins.txt";
        const auto roomsFile = config_.dataDir / "rooms.txt";
        if (std::filesystem::exists(roomsFile))
            chat.fixedRooms = parseRoomsFile(readFile(roomsFile));
        chat.maxRooms = config_.maxRooms;
        chat.roomsPerSession = config_.roomsPerSession;
        chat.passwordInterval = config_.passwordInterval.count();
        chat.loginFailures = config_.loginFailures;
        chat.loginLockout = config_.loginLockout.count();
        chat.crypt = [this](CryptJob job) { worker_->submit(std::move(job)); };
        chat.log = [this](const std::string& message) { log("%s", esc(message).c_str()); };
        core_ = std::make_unique<ChatCore>(*store_, *this, std::move(chat));
        for (const std::string& name : core_->unregisteredAdmins()) {
            log("admins.txt lists '%s', which nobody has registered: it gives no rights until "
                "its owner registers it and logs in with the password",
                esc(name).c_str());
        }

        if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
            throw ServerError(std::string("pipe: ") + std::strerror(errno));
        }
        worker_ = std::make_unique<CryptWorker>([this] { wakeLoop(); });
        try {
            chatFd_ = listenOn(config_.bindAddress, config_.chatPort, "chat");
            if (config_.pastePort)
                pasteFd_ = listenOn(config_.bindAddress, *config_.pastePort, "paste");
        } catch (...) {
            worker_.reset();
            closeListeners();
            throw;
        }
        if (pasteFd_ >= 0) {
            PasteConfig pc;
            pc.host = config_.host;
            pc.port = boundPort(pasteFd_);
            pc.pastesPerMinute = config_.pastesPerMinute;
            pc.storageBytes = config_.pasteStorageBytes;
            paste_ = std::make_unique<PasteService>(*store_, std::move(pc));
        }
    }

    ~Impl() override {
        shutdownAll();
        worker_.reset();
        closeListeners();
    }

    std::uint16_t chatPort() const { return boundPort(chatFd_); }
    std::uint16_t pastePort() const { return pasteFd_ >= 0 ? boundPort(pasteFd_) : 0; }

    void requestStop() {
        stop_.store(true);
        wakeLoop();
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
            bool runnable = false;  // buffered lines to handle: do not sleep in poll
            for (auto& [fd, conn] : conns_) {
                Conn& c = *conn;
                c.linesThisPass = 0;
                short ev = 0;
                if (wantsInput(c)) ev |= POLLIN;
                if (c.pending() > 0) ev |= POLLOUT;
                const bool held = hasInput(c);
                if (held && !core_->waiting(c.session)) runnable = true;
                // Lines held back behind a password job: the socket has nothing
                // to tell us until they are handled, and a hang-up it reported
                // would only wake us again and again.
                fds.push_back({ev == 0 && held ? -1 : fd, ev, 0});
                polled.push_back(&c);
            }
            const int n = poll(fds.data(), fds.size(), runnable ? 0 : 1000);
            if (n < 0 && errno != EINTR) {
                log("poll: %s", std::strerror(errno));
                break;
            }
            if (fds[0].revents) drainWake();
            if (stop_.load()) break;
            if (fds[1].revents & POLLIN) acceptAll(chatFd_, Conn::Kind::Chat);
            if (fds[2].revents & POLLIN) acceptAll(pasteFd_, Conn::Kind::Http);
            core_->beginPass();
            applyCryptResults();
            for (std::size_t i = 0; i < polled.size(); ++i) {
                const short re = fds[i + 3].revents;
                Conn* c = polled[i];
                if (c->dead) continue;
                if ((re & (POLLIN | POLLHUP | POLLERR)) && !hasInput(*c)) {
                    readFrom(*c);
                    processInput(*c);  // while the bytes are still in cache
                }
                if ((re & POLLOUT) && !c->dead) writeTo(*c);
            }
            // Lines left from earlier passes, and those freed by a password result.
            for (auto& [fd, c] : conns_)
                processInput(*c);
            core_->endPass();
            flushDirty();
            reap();
        }
        // Password changes already accepted are stored before we go.
        worker_->finish();
        applyCryptResults();
        shutdownAll();
    }

    // Outbox
    void deliver(SessionId id, std::string&& transmission) override {
        Conn* c = bySession(id);
        if (!c || c->dead || c->lingering) return;
        if (c->out.empty() && c->out.capacity() < transmission.size()) {
            c->out = std::move(transmission);
            c->outOff = 0;
        } else {
            c->out += transmission;  // reuses the buffer of earlier passes
        }
        dirty_.insert(c->fd);
        if (c->pending() <= config_.maxPendingOutput) return;
        // Only what the peer fails to take counts: a fast reader's socket
        // swallows a burst here, however large someone else's flood made it.
        writeTo(*c);
        if (c->dead) return;
        if (c->pending() > kHardOutputFactor * config_.maxPendingOutput) {
            kill(*c, "output backlog over limit");
        } else if (c->pending() > config_.maxPendingOutput && c->overSince == Clock::time_point{}) {
            c->overSince = Clock::now();
        }
    }

    void closeAfterFlush(SessionId id) override {
        if (Conn* c = bySession(id)) {
            c->closeAfterFlush = true;
            c->deadline = Clock::now() + config_.httpIdleLimit;
            dirty_.insert(c->fd);
        }
    }

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

    static bool hasInput(const Conn& c) { return c.inOff < c.in.size(); }

    static bool wantsInput(const Conn& c) {
        return (!c.closeAfterFlush || c.lingering) && !c.eof && !c.inputEnded && !hasInput(c);
    }

    void wakeLoop() {
        const char b = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
    }

    void drainWake() {
        char buf[64];
        while (::read(wake_[0], buf, sizeof buf) > 0) {
        }
    }

    void applyCryptResults() {
        for (const CryptResult& r : worker_->take())
            core_->cryptDone(r);
    }

    // Refusals come in floods when they come at all: one log line a second.
    void logRefusal(const std::string& peer, const char* why) {
        const auto now = Clock::now();
        if (now - lastRefusalLog_ < std::chrono::seconds(1)) {
            ++refusalsUnlogged_;
            return;
        }
        log("refused %s: %s", peer.c_str(), why);
        lastRefusalLog_ = now;
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
            const bool chat = kind == Conn::Kind::Chat;
            const std::string address = addressText(addr.sin_addr);
            const std::string peer = address + ":" + std::to_string(ntohs(addr.sin_port));
            const std::size_t open = chat ? chatConns_ : pasteConns_;
            const std::size_t cap = chat ? config_.maxChatConnections : config_.maxPasteConnections;
            auto& fromThere = perAddress_[address];
            const char* why = nullptr;
            if (open >= cap) {
                why = chat ? "too many chat connections" : "too many paste connections";
            } else if (fromThere[chat ? 0 : 1] >= config_.maxPerAddress) {
                why = chat ? "too many chat connections from this address"
                           : "too many paste connections from this address";
            }
            if (why) {
                if (fromThere[0] == 0 && fromThere[1] == 0) perAddress_.erase(address);
                logRefusal(peer, why);
                // Best effort. For chat one whole transmission, its NUL
                // included: the client shows "[1]-" as "try again later".
                static const char chatBusy[] = "[1]- Server voll\r";
                static const char httpBusy[] =
                    "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                    "Connection: close\r\n\r\n";
                if (chat) {
                    [[maybe_unused]] ssize_t n =
                        ::send(fd, chatBusy, sizeof chatBusy, MSG_NOSIGNAL);
                } else {
                    [[maybe_unused]] ssize_t n =
                        ::send(fd, httpBusy, sizeof httpBusy - 1, MSG_NOSIGNAL);
                }
                ::close(fd);
                continue;
            }
            ++fromThere[chat ? 0 : 1];
            ++(chat ? chatConns_ : pasteConns_);
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            auto c = std::make_unique<Conn>();
            c->fd = fd;
            c->kind = kind;
            c->peer = peer;
            c->address = address;
            c->local = localAddressOf(fd);
            c->lastInput = Clock::now();
            c->deadline = c->lastInput + (chat ? config_.loginLimit : config_.httpRequestLimit);
            if (chat) {
                c->session = core_->open(peer, address);
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
        if (c.eof || c.inputEnded) return;
        char buf[16 * 1024];
        std::size_t budget = kReadBudget;
        while (budget > 0 && !c.dead) {
            const ssize_t n = ::recv(c.fd, buf, std::min(sizeof buf, budget), 0);
            if (n == 0) {
                if (hasInput(c)) {
                    c.inputEnded = true;  // its last lines still count
                } else {
                    peerClosed(c);
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
            if (c.kind == Conn::Kind::Chat) {
                c.in.append(buf, static_cast<std::size_t>(n));
            } else {
                handleHttp(c, std::string_view(buf, static_cast<std::size_t>(n)));
            }
        }
    }

    void peerClosed(Conn& c) {
        if (c.closeAfterFlush && !c.lingering && c.pending() > 0) {
            c.eof = true;
        } else {
            kill(c, "closed by peer");
        }
    }

    // Handles at most linesPerPass lines of one chat connection, and none
    // while its session waits for a password job; the rest stays buffered
    // and we read nothing more from that peer until it is handled.
    void processInput(Conn& c) {
        if (c.kind != Conn::Kind::Chat || c.dead) return;
        const SessionId sid = c.session;
        std::size_t& handled = c.linesThisPass;
        while (handled < config_.linesPerPass && hasInput(c) && !c.dead && !c.closeAfterFlush &&
               !core_->waiting(sid)) {
            const std::string_view rest = std::string_view(c.in).substr(c.inOff);
            const auto cr = rest.find(kCR);
            const std::string_view chunk =
                cr == std::string_view::npos ? rest : rest.substr(0, cr + 1);
            c.inOff += chunk.size();
            c.lines.feed(chunk, [&](std::string_view line) {
                ++handled;
                core_->handleLine(sid, line);
            });
        }
        if (c.closeAfterFlush || c.dead) c.inOff = c.in.size();  // nothing more is listened to
        if (!hasInput(c)) {
            c.in.clear();
            c.inOff = 0;
            if (c.inputEnded && !c.dead) peerClosed(c);
        }
    }

    void handleHttp(Conn& c, std::string_view bytes) {
        using S = HttpRequestParser::Status;
        const S st = c.http->feed(bytes);
        if (st == S::Partial) return;
        HttpResponse resp;
        if (st != S::Complete) {
            resp = simpleResponse(st == S::TooLarge ? 413 : 400);
        } else if (httpHeld_ >= config_.httpOutputBudget) {
            resp = simpleResponse(503);
            resp.note = "paste replies not yet taken fill the output budget";
        } else {
            resp = paste_->handle(c.http->request(), HttpContext{c.address, c.local});
        }
        std::string out = resp.serialize();
        if (out.size() > config_.maxHttpOutput) {
            resp = simpleResponse(503);
            resp.note = "reply of " + std::to_string(out.size()) + " bytes over the limit";
            out = resp.serialize();
        }
        const std::string note = resp.note.empty() ? std::string() : ": " + esc(resp.note);
        if (st == S::Complete) {
            log("http %s %s %s -> %d%s", c.peer.c_str(), esc(c.http->request().method).c_str(),
                esc(std::string_view(c.http->request().target).substr(0, 200)).c_str(), resp.status,
                note.c_str());
        } else {
            log("http %s -> %d", c.peer.c_str(), resp.status);
        }
        queueHttpReply(c, std::move(out));
    }

    void queueHttpReply(Conn& c, std::string reply) {
        c.out = std::move(reply);
        c.outOff = 0;
        httpHeld_ += c.out.size() - c.httpHeld;
        c.httpHeld = c.out.size();
        c.closeAfterFlush = true;
        c.deadline = Clock::now() + config_.httpIdleLimit;
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
        if (c.httpHeld > c.pending()) {
            httpHeld_ -= c.httpHeld - c.pending();
            c.httpHeld = c.pending();
        }
        if (c.pending() == 0) {
            // A buffer a burst made large is not kept for a quiet peer.
            if (c.out.capacity() > kKeptOutputCapacity) {
                std::string().swap(c.out);
            } else {
                c.out.clear();
            }
            c.outOff = 0;
        } else if (c.outOff > 64 * 1024 && c.outOff > c.out.size() / 2) {
            c.out.erase(0, c.outOff);
            c.outOff = 0;
        }
        if (c.pending() <= config_.maxPendingOutput) c.overSince = {};
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

    void checkTimes(Conn& c, Clock::time_point now) {
        if (c.lingering) {
            if (now - c.lingerSince > kLinger) kill(c, "closed");
            return;
        }
        if (c.closeAfterFlush) {
            if (now > c.deadline) kill(c, "last reply not taken in time");
            return;
        }
        if (c.kind == Conn::Kind::Http) {
            if (now > c.deadline) {
                log("http %s -> 408 (request not complete within %lld s)", c.peer.c_str(),
                    static_cast<long long>(config_.httpRequestLimit.count()));
                queueHttpReply(c, simpleResponse(408).serialize());
            }
            return;
        }
        if (c.overSince != Clock::time_point{} && now - c.overSince >= config_.outputGrace) {
            kill(c, "output backlog over limit");
        } else if (core_->waiting(c.session)) {
            // Its password job is queued; the peer is not the one to blame.
        } else if (!core_->isLoggedIn(c.session) && now > c.deadline) {
            kill(c, "no login in time");
        } else if (now - c.lastInput > config_.idleLimit) {
            kill(c, "idle");
        }
    }

    void reap() {
        const auto now = Clock::now();
        const bool tick = now - lastIdleCheck_ >= std::chrono::seconds(1);
        if (tick) lastIdleCheck_ = now;
        if (tick && refusalsUnlogged_ > 0 && now - lastRefusalLog_ >= std::chrono::seconds(1)) {
            log("refused %zu more connections", refusalsUnlogged_);
            refusalsUnlogged_ = 0;
            lastRefusalLog_ = now;
        }
        std::vector<int> gone;
        for (auto& [fd, c] : conns_) {
            if (!c->dead && tick) checkTimes(*c, now);
            if (c->dead) gone.push_back(fd);
        }
        if (gone.empty()) return;
        // Many leaving at once (a dropped flood) is one user-list change per
        // room for those who stay.
        core_->beginPass();
        for (int fd : gone)
            closeConn(fd);
        core_->endPass();
    }

    void closeConn(int fd) {
        auto it = conns_.find(fd);
        if (it == conns_.end()) return;
        std::unique_ptr<Conn> c = std::move(it->second);
        conns_.erase(it);
        dirty_.erase(fd);
        httpHeld_ -= c->httpHeld;
        const bool chat = c->kind == Conn::Kind::Chat;
        --(chat ? chatConns_ : pasteConns_);
        if (auto a = perAddress_.find(c->address); a != perAddress_.end()) {
            --a->second[chat ? 0 : 1];
            if (a->second[0] == 0 && a->second[1] == 0) perAddress_.erase(a);
        }
        if (chat) {
            const std::string login = core_->loginOf(c->session);
            log("disconnect %s (session %llu%s%s): %s", c->peer.c_str(),
                static_cast<unsigned long long>(c->session), login.empty() ? "" : ", ",
                esc(login).c_str(), c->reason.c_str());
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
