#include "system/socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "system/tls.h"

namespace kavel::platform {

// fd 0 may be a socket when stdin was closed, so handles are fd + 1.
int fdOf(uint32_t handle) {
    return handle == 0 ? -1 : static_cast<int>(handle - 1);
}

namespace {

bool setBlocking(int fd, bool blocking) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    return fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// One address: non-blocking connect, then wait for the outcome at most
// leftMs. Returns the connected fd or -1.
int connectOne(const SocketAddress& to, int leftMs) {
    const int fd = ::socket(to.family, to.type | SOCK_CLOEXEC, to.protocol);
    if (fd < 0) return -1;
    if (!setBlocking(fd, false)) {
        ::close(fd);
        return -1;
    }
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(to.bytes.data()),
                      static_cast<socklen_t>(to.bytes.size()));
    if (r != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        do {
            r = ::poll(&p, 1, leftMs);
        } while (r < 0 && errno == EINTR);
        int error = 0;
        socklen_t len = sizeof error;
        if (r == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
            r = 0;
        else
            r = -1;
    }
    if (r != 0 || !setBlocking(fd, true)) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    // Commands are short and the server answers them; do not let Nagle hold
    // a keep-alive back.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

bool initNetwork() {
    ::signal(SIGPIPE, SIG_IGN);
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    ::close(probe);
    return true;
}

uint32_t tcpConnect(const ResolvedHost& to, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = -1;
    for (std::size_t i = 0; i < to.addresses.size() && fd < 0; ++i) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        fd = connectOne(to.addresses[i], static_cast<int>(left));
    }
    return fd < 0 ? 0 : static_cast<uint32_t>(fd) + 1;
}

uint32_t tcpConnect(const std::string& host, int port, int timeoutMs) {
    return tcpConnect(resolveHost(host, port, timeoutMs), timeoutMs);
}

bool dataWaiting(uint32_t handle) {
    const int fd = fdOf(handle);
    if (fd < 0) return false;
    if (isTls(handle)) return tlsSocketState(handle) == SocketState::Readable;
    int available = 0;
    return ioctl(fd, FIONREAD, &available) == 0 && available > 0;
}

SocketState socketState(uint32_t handle) {
    const int fd = fdOf(handle);
    if (fd < 0) return SocketState::Closed;
    if (isTls(handle)) return tlsSocketState(handle);
    // One peek tells all three apart: bytes, nothing yet, or the end of the
    // stream (0) and errors. The main loop asks this on every pass.
    char byte;
    ssize_t n;
    do {
        n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return SocketState::Readable;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return SocketState::Idle;
    return SocketState::Closed;
}

bool tcpReadable(uint32_t handle, int timeoutMs) {
    const int fd = fdOf(handle);
    if (fd < 0) return false;
    if (tlsHoldsInput(handle)) return true;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r == 1 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

int tcpRead(uint32_t handle, char* buffer, int size) {
    const int fd = fdOf(handle);
    if (fd < 0 || size <= 0) return -1;
    if (isTls(handle)) return tlsRead(handle, buffer, size);
    ssize_t n;
    do {
        n = ::recv(fd, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    return static_cast<int>(n);
}

bool tcpSend(uint32_t handle, std::string_view data) {
    const int fd = fdOf(handle);
    if (fd < 0) return false;
    if (isTls(handle)) return tlsSend(handle, data);
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void tcpClose(uint32_t handle) {
    const int fd = fdOf(handle);
    tlsEnd(handle);
    if (fd >= 0) ::close(fd);
}

}  // namespace kavel::platform
