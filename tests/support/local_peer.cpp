#include "support/local_peer.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kavel::test {

namespace {

std::string abstractAddress() {
    static std::atomic<int> count{0};
    const std::string name =
        "kavel-peer-" + std::to_string(::getpid()) + "-" + std::to_string(count++);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, name.data(), name.size());  // sun_path[0] = 0: abstract
    return std::string(reinterpret_cast<const char*>(&a),
                       offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

}  // namespace

LocalPeer::LocalPeer() : address_(abstractAddress()) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0 ||
        ::bind(listen_, reinterpret_cast<const sockaddr*>(address_.data()),
               static_cast<socklen_t>(address_.size())) != 0 ||
        ::listen(listen_, 4) != 0)
        throw std::runtime_error("local peer cannot listen");
}

LocalPeer::~LocalPeer() {
    closeClient();
    ::close(listen_);
}

std::function<int(const char*, const char*, const addrinfo*, addrinfo**)> LocalPeer::resolver()
    const {
    return [address = address_](const char* host, const char*, const addrinfo*, addrinfo** found) {
        if (std::strcmp(host, kHost) != 0) return EAI_NONAME;
        // One block, as getaddrinfo allocates it: freeaddrinfo frees the
        // record and its canonical name only.
        auto* ai = static_cast<addrinfo*>(std::calloc(1, sizeof(addrinfo) + address.size()));
        if (!ai) return EAI_MEMORY;
        ai->ai_family = AF_UNIX;
        ai->ai_socktype = SOCK_STREAM;
        ai->ai_addrlen = static_cast<socklen_t>(address.size());
        ai->ai_addr = reinterpret_cast<sockaddr*>(ai + 1);
        std::memcpy(ai->ai_addr, address.data(), address.size());
        *found = ai;
        return 0;
    };
}

bool LocalPeer::accept() {
    closeClient();
    client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    return client_ >= 0;
}

std::string LocalPeer::take() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while (client_ >= 0 && (n = ::recv(client_, buffer, sizeof buffer, 0)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    return out;
}

void LocalPeer::closeClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}

}  // namespace kavel::test
