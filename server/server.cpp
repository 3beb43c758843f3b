#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "server_impl.h"

namespace quarnd {

Server::Impl::Impl(ServerConfig config) : config_(std::move(config)) {
    for (const std::string& w : prepareDataDir(config_.dataDir))
        log("%s", escapeForLog(w).c_str());
    try {
        store_ = std::make_unique<Store>((config_.dataDir / "quarn.db").string());
    } catch (const StoreError& e) {
        throw ServerError(e.what());
    }
    for (const std::string& note : store_->startupNotes())
        log("%s", escapeForLog(note).c_str());
    ChatConfig chat;
    chat.adminsFile = config_.dataDir / "admins.txt";
    const auto roomsFile = config_.dataDir / "rooms.txt";
    if (std::filesystem::exists(roomsFile)) chat.fixedRooms = parseRoomsFile(readFile(roomsFile));
    chat.maxSessions = config_.maxUsers;
    chat.maxRooms = config_.maxRooms;
    chat.roomsPerSession = config_.roomsPerSession;
    chat.passwordInterval = config_.passwordInterval.count();
    chat.loginFailures = config_.loginFailures;
    chat.loginLockout = config_.loginLockout.count();
    chat.lines.burst = config_.lineBurst;
    chat.lines.perSecond = config_.lineRate;
    chat.lines.floodDrops = config_.floodDrops;
    chat.lines.floodWindowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(config_.floodWindow).count();
    if (config_.clock) chat.clock = config_.clock;
    chat.crypt = [this](CryptJob job) { worker_->submit(std::move(job)); };
    chat.log = [this](const std::string& message) { log("%s", escapeForLog(message).c_str()); };
    core_ = std::make_unique<ChatCore>(*store_, *this, std::move(chat));
    for (const std::string& name : core_->unregisteredAdmins()) {
        log("admins.txt lists '%s', which nobody has registered: it gives no rights until "
            "its owner registers it and logs in with the password",
            escapeForLog(name).c_str());
    }

    if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw ServerError(std::string("pipe: ") + std::strerror(errno));
    }
    worker_ = std::make_unique<CryptWorker>([this] { wakeLoop(); });
    try {
        chatFd_ = listenOn(config_.bindAddress, config_.chatPort, "chat");
        if (config_.pastePort)
            pasteFd_ = listenOn(config_.bindAddress, *config_.pastePort, "paste");
        if (config_.tlsPort || (config_.pastePort && config_.pasteTlsPort)) {
            tls_ = TlsContext::forServer(config_.tlsCert, config_.tlsKey, config_.dataDir);
            if (config_.tlsPort)
                chatTlsFd_ = listenOn(config_.bindAddress, *config_.tlsPort, "TLS chat");
            if (config_.pastePort && config_.pasteTlsPort)
                pasteTlsFd_ = listenOn(config_.bindAddress, *config_.pasteTlsPort, "HTTPS paste");
        }
    } catch (...) {
        worker_.reset();
        closeListeners();
        throw;
    }
    if (pasteFd_ >= 0) {
        PasteConfig pc;
        pc.host = config_.host;
        pc.port = boundPort(pasteFd_);
        pc.tlsPort = pasteTlsPort();
        pc.pastesPerMinute = config_.pastesPerMinute;
        pc.storageBytes = config_.pasteStorageBytes;
        pc.highlightDir = config_.highlightDir;
        if (config_.clock) pc.clock = config_.clock;
        paste_ = std::make_unique<PasteService>(*store_, std::move(pc));
    }
}

Server::Impl::~Impl() {
    shutdownAll();
    worker_.reset();
    closeListeners();
}

void Server::Impl::requestStop() {
    stop_.store(true);
    wakeLoop();
}

void Server::Impl::run() {
    std::vector<pollfd> fds;
    std::vector<Conn*> polled;
    while (!stop_.load()) {
        const std::time_t purgeIn = expirePastes();
        fds.clear();
        polled.clear();
        fds.push_back({wake_[0], POLLIN, 0});
        const bool accepting = Clock::now() >= acceptPausedUntil_;
        fds.push_back({accepting ? chatFd_ : -1, POLLIN, 0});
        fds.push_back({accepting ? pasteFd_ : -1, POLLIN, 0});
        fds.push_back({accepting ? chatTlsFd_ : -1, POLLIN, 0});
        fds.push_back({accepting ? pasteTlsFd_ : -1, POLLIN, 0});
        constexpr std::size_t kListeners = 5;
        bool runnable = false;  // buffered lines to handle: do not sleep in poll
        for (auto& [fd, conn] : conns_) {
            Conn& c = *conn;
            c.linesThisPass = 0;
            short ev = 0;
            if (c.handshaking) {
                ev = c.tlsWantsWrite ? POLLOUT : POLLIN;
            } else {
                if (wantsInput(c)) ev |= POLLIN;
                if (c.pending() > 0) ev |= POLLOUT;
                // A record half sent waits for the socket whatever we want.
                if (c.tlsWantsWrite) ev |= POLLOUT;
                if (wantsInput(c) && c.tlsHeld()) runnable = true;
            }
            const bool held = hasInput(c);
            if (held && !core_->waiting(c.session)) runnable = true;
            // Lines held back behind a password job: the socket has nothing
            // to tell us until they are handled, and a hang-up it reported
            // would only wake us again and again.
            fds.push_back({ev == 0 && held ? -1 : fd, ev, 0});
            polled.push_back(&c);
        }
        // Deadlines are checked once a second; the paste timer may want us sooner.
        const int timeout =
            runnable ? 0 : static_cast<int>(std::min<std::time_t>(1000, purgeIn * 1000));
        const int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) {
            log("poll: %s", std::strerror(errno));
            break;
        }
        if (fds[0].revents) drainWake();
        if (stop_.load()) break;
        if (fds[1].revents & POLLIN) acceptAll(chatFd_, Conn::Kind::Chat, false);
        if (fds[2].revents & POLLIN) acceptAll(pasteFd_, Conn::Kind::Http, false);
        if (fds[3].revents & POLLIN) acceptAll(chatTlsFd_, Conn::Kind::Chat, true);
        if (fds[4].revents & POLLIN) acceptAll(pasteTlsFd_, Conn::Kind::Http, true);
        core_->beginPass();
        applyCryptResults();
        for (std::size_t i = 0; i < polled.size(); ++i) {
            short re = fds[i + kListeners].revents;
            Conn* c = polled[i];
            if (c->dead) continue;
            if (c->handshaking) {
                if (re == 0) continue;
                continueHandshake(*c);
                if (c->handshaking || c->dead) continue;
                re |= POLLIN;  // the client's first bytes may have come with it
            }
            if (c->tls) {
                // A TLS record can need the other direction to move: try both.
                if (re != 0 && c->pending() > 0) re |= POLLOUT;
                if (c->tlsWantsWrite && (re & POLLOUT)) re |= POLLIN;
                if (c->tlsHeld()) re |= POLLIN;
            }
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

void Server::Impl::log(const char* fmt, ...) {
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

Server::Impl::Conn* Server::Impl::bySession(SessionId id) {
    auto it = sessionFd_.find(id);
    if (it == sessionFd_.end()) return nullptr;
    auto c = conns_.find(it->second);
    return c == conns_.end() ? nullptr : c->second.get();
}

void Server::Impl::wakeLoop() {
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
}

void Server::Impl::drainWake() {
    char buf[64];
    while (::read(wake_[0], buf, sizeof buf) > 0) {
    }
}

void Server::Impl::applyCryptResults() {
    for (const CryptResult& r : worker_->take())
        core_->cryptDone(r);
}

void Server::Impl::logRefusal(const std::string& peer, const char* why) {
    const auto now = Clock::now();
    if (now - lastRefusalLog_ < std::chrono::seconds(1)) {
        ++refusalsUnlogged_;
        return;
    }
    log("refused %s: %s", peer.c_str(), why);
    lastRefusalLog_ = now;
}

void Server::Impl::acceptAll(int listenFd, Conn::Kind kind, bool tls) {
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
            static const std::string httpBusy = simpleResponse(503).serialize();
            if (tls) {
                // Nothing can be said before a handshake; the refusal is the close.
            } else if (chat) {
                [[maybe_unused]] ssize_t n = ::send(fd, chatBusy, sizeof chatBusy, MSG_NOSIGNAL);
            } else {
                [[maybe_unused]] ssize_t n =
                    ::send(fd, httpBusy.data(), httpBusy.size(), MSG_NOSIGNAL);
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
        if (tls) {
            c->tls = std::make_unique<TlsStream>(*tls_, fd);
            c->handshaking = true;
            c->handshakeDeadline = c->lastInput + config_.tlsHandshakeLimit;
        }
        if (chat) {
            c->session = core_->open(peer, address);
            sessionFd_[c->session] = fd;
            log("connect %s (session %llu%s)", peer.c_str(),
                static_cast<unsigned long long>(c->session), tls ? ", TLS" : "");
        } else {
            c->http = std::make_unique<HttpRequestParser>();
        }
        conns_.emplace(fd, std::move(c));
    }
}

void Server::Impl::reap() {
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

std::time_t Server::Impl::expirePastes() {
    if (!paste_) return 3600;
    try {
        return std::max<std::time_t>(0, paste_->purgeDue());
    } catch (const StoreError& e) {
        log("purging expired pastes: %s", escapeForLog(e.what()).c_str());
        return 60;
    }
}

void Server::Impl::closeConn(int fd) {
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
            escapeForLog(login).c_str(), c->reason.c_str());
        sessionFd_.erase(c->session);
        // The others are told, possibly making more connections dirty.
        core_->close(c->session);
    }
    ::close(fd);
}

void Server::Impl::shutdownAll() {
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

void Server::Impl::closeListeners() {
    for (int* fd : {&chatFd_, &pasteFd_, &chatTlsFd_, &pasteTlsFd_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}
Server::Server(ServerConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}
Server::~Server() = default;
std::uint16_t Server::chatPort() const {
    return impl_->chatPort();
}
std::uint16_t Server::pastePort() const {
    return impl_->pastePort();
}
std::uint16_t Server::tlsPort() const {
    return impl_->tlsPort();
}
std::uint16_t Server::pasteTlsPort() const {
    return impl_->pasteTlsPort();
}
std::string Server::fingerprint() const {
    return impl_->fingerprint();
}
void Server::run() {
    impl_->run();
}
void Server::requestStop() {
    impl_->requestStop();
}

}  // namespace quarnd
