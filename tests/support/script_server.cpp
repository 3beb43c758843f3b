#include "support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace kavel_test {

ScriptServer::ScriptServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0) throw std::runtime_error("socket");
    const int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 8) != 0)
        throw std::runtime_error("bind/listen");
    socklen_t len = sizeof addr;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

ScriptServer::~ScriptServer() {
    closeClient();
    stopListening();
}

bool ScriptServer::accept(int timeoutMs) {
    if (listen_ < 0) return false;
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return false;
    closeClient();
    client_ = fd;
    const int one = 1;
    setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    received_.clear();
    return true;
}

bool ScriptServer::fill(int waitMs) {
    if (client_ < 0) return false;
    pollfd p{client_, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return false;
    char buf[65536];
    const ssize_t n = ::recv(client_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    received_.append(buf, static_cast<std::size_t>(n));
    return true;
}

std::string ScriptServer::read(int quietMs) {
    const std::size_t from = received_.size();
    while (fill(quietMs)) {
    }
    return received_.substr(from);
}

bool ScriptServer::readUntil(std::string_view needle, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received_.find(needle) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        fill(static_cast<int>(left));
    }
    return true;
}

bool ScriptServer::clientClosed(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (client_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{client_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buf[4096];
        const ssize_t n = ::recv(client_, buf, sizeof buf, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
        received_.append(buf, static_cast<std::size_t>(n));
    }
    return false;
}

void ScriptServer::send(std::string_view bytes) {
    while (client_ >= 0 && !bytes.empty()) {
        const ssize_t n = ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("send");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void ScriptServer::closeClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}

void ScriptServer::stopListening() {
    if (listen_ >= 0) ::close(listen_);
    listen_ = -1;
}

}  // namespace kavel_test
