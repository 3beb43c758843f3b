#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "server_impl.h"

namespace quarnd {

namespace {

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

}  // namespace

void Server::Impl::deliver(SessionId id, std::string&& transmission) {
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

void Server::Impl::closeAfterFlush(SessionId id) {
    if (Conn* c = bySession(id)) {
        c->closeAfterFlush = true;
        c->deadline = Clock::now() + config_.httpIdleLimit;
        dirty_.insert(c->fd);
    }
}

bool Server::Impl::wantsInput(const Conn& c) {
    return (!c.closeAfterFlush || c.lingering) && !c.eof && !c.inputEnded && !hasInput(c);
}

void Server::Impl::readFrom(Conn& c) {
    if (c.eof || c.inputEnded) return;
    char buf[16 * 1024];
    std::size_t budget = kReadBudget;
    while (budget > 0 && !c.dead) {
        const ssize_t n = receive(c, buf, std::min(sizeof buf, budget));
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
            kill(c, tlsError(c));
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

ssize_t Server::Impl::likeSocket(Conn& c, TlsStream::Io io, std::size_t n, bool reading) {
    switch (io) {
        case TlsStream::Io::Done:
            return static_cast<ssize_t>(n);
        case TlsStream::Io::WantWrite:
            c.tlsWantsWrite = true;
            [[fallthrough]];
        case TlsStream::Io::WantRead:
            errno = EAGAIN;
            return -1;
        case TlsStream::Io::Closed:
            if (reading) return 0;
            break;
        case TlsStream::Io::Failed:
            break;
    }
    errno = EPROTO;
    return -1;
}

ssize_t Server::Impl::receive(Conn& c, char* buf, std::size_t size) {
    if (!c.tls) return ::recv(c.fd, buf, size, 0);
    std::size_t n = 0;
    const TlsStream::Io io = c.tls->read(buf, size, n);
    return likeSocket(c, io, n, true);
}

ssize_t Server::Impl::transmit(Conn& c, const char* data, std::size_t size) {
    if (!c.tls) return ::send(c.fd, data, size, MSG_NOSIGNAL);
    std::size_t n = 0;
    c.tlsWantsWrite = false;
    const TlsStream::Io io = c.tls->write(data, size, n);
    return likeSocket(c, io, n, false);
}

void Server::Impl::continueHandshake(Conn& c) {
    c.tlsWantsWrite = false;
    switch (c.tls->handshake()) {
        case TlsStream::Io::Done:
            c.handshaking = false;
            return;
        case TlsStream::Io::WantWrite:
            c.tlsWantsWrite = true;
            return;
        case TlsStream::Io::WantRead:
            return;
        case TlsStream::Io::Closed:
            kill(c, "closed during the TLS handshake");
            return;
        case TlsStream::Io::Failed:
            kill(c, "TLS handshake failed: " + c.tls->error());
            return;
    }
}

std::string Server::Impl::tlsError(const Conn& c) const {
    if (c.tls && errno == EPROTO) return "TLS: " + c.tls->error();
    return std::strerror(errno);
}

void Server::Impl::peerClosed(Conn& c) {
    if (c.closeAfterFlush && !c.lingering && c.pending() > 0) {
        c.eof = true;
    } else {
        kill(c, "closed by peer");
    }
}

void Server::Impl::processInput(Conn& c) {
    if (c.kind != Conn::Kind::Chat || c.dead) return;
    const SessionId sid = c.session;
    std::size_t& handled = c.linesThisPass;
    while (handled < config_.linesPerPass && hasInput(c) && !c.dead && !c.closeAfterFlush &&
           !core_->waiting(sid)) {
        const std::string_view rest = std::string_view(c.in).substr(c.inOff);
        const auto cr = rest.find(kCR);
        const std::string_view chunk = cr == std::string_view::npos ? rest : rest.substr(0, cr + 1);
        c.inOff += chunk.size();
        c.lines.feed(chunk, [&](std::string_view line, bool /*cut*/) {
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

void Server::Impl::handleHttp(Conn& c, std::string_view bytes) {
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
        resp = paste_->handle(c.http->request(), HttpContext{c.address, c.local, c.tls != nullptr});
    }
    std::string out = resp.serialize();
    // Measured as the GET would be, so HEAD tells what GET gives.
    const std::size_t full = out.size() + (resp.headOnly ? resp.body.size() : 0);
    if (full > config_.maxHttpOutput) {
        const bool head = resp.headOnly;
        resp = simpleResponse(503);
        resp.headOnly = head;
        resp.note = "reply of " + std::to_string(full) + " bytes over the limit";
        out = resp.serialize();
    }
    const std::string note = resp.note.empty() ? std::string() : ": " + escapeForLog(resp.note);
    if (st == S::Complete) {
        log("http %s %s %s -> %d%s", c.peer.c_str(), escapeForLog(c.http->request().method).c_str(),
            escapeForLog(std::string_view(c.http->request().target).substr(0, 200)).c_str(),
            resp.status, note.c_str());
    } else {
        log("http %s -> %d", c.peer.c_str(), resp.status);
    }
    queueHttpReply(c, std::move(out));
}

void Server::Impl::queueHttpReply(Conn& c, std::string reply) {
    c.out = std::move(reply);
    c.outOff = 0;
    httpHeld_ += c.out.size() - c.httpHeld;
    c.httpHeld = c.out.size();
    c.closeAfterFlush = true;
    c.deadline = Clock::now() + config_.httpIdleLimit;
    c.http.reset(new HttpRequestParser());  // frees the request body now
    dirty_.insert(c.fd);
}

void Server::Impl::writeTo(Conn& c) {
    if (c.handshaking) return;  // its output waits for the keys
    while (c.pending() > 0) {
        const ssize_t n = transmit(c, c.out.data() + c.outOff, c.pending());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
            kill(c, tlsError(c));
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
        if (c.tls) c.tls->shutdown();
        ::shutdown(c.fd, SHUT_WR);
        c.lingering = true;
        c.lingerSince = Clock::now();
    }
}

void Server::Impl::flushDirty() {
    for (int fd : dirty_) {
        auto it = conns_.find(fd);
        if (it != conns_.end() && !it->second->dead) writeTo(*it->second);
    }
    dirty_.clear();
}

void Server::Impl::kill(Conn& c, std::string reason) {
    if (c.dead) return;
    c.dead = true;
    c.reason = std::move(reason);
}

void Server::Impl::checkTimes(Conn& c, Clock::time_point now) {
    if (c.handshaking) {
        if (now > c.handshakeDeadline) kill(c, "TLS handshake not done in time");
        return;
    }
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

}  // namespace quarnd
