#include "sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "server.h"

namespace quarnd {

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

}  // namespace quarnd
