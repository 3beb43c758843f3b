// Helpers shared by the server tests: registered users, and clients that
// connect from another loopback address (127.0.0.0/8 is all ours), which is
// how the tests play several machines of a LAN.
#pragma once

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/quarnd_process.h"

namespace quarnd_test {

// A quarnd of its own with these options beyond the defaults.
inline std::unique_ptr<QuarndProcess> startServer(std::vector<std::string> args) {
    QuarndProcess::Options o;
    o.extraArgs = std::move(args);
    return std::make_unique<QuarndProcess>(o);
}

// The first message of a reply, or "<nothing>" where none came.
inline std::string firstOf(const RawQuarnClient::Messages& m) {
    return m.empty() ? "<nothing>" : m.front();
}

// Every message of every transmission until the line has been quiet.
inline std::vector<std::string> drainedMessages(RawQuarnClient& c, int quietMs = 200) {
    std::vector<std::string> all;
    for (const auto& t : c.drain(quietMs))
        all.insert(all.end(), t.begin(), t.end());
    return all;
}

// The paste form's fields as the client fills them in.
inline std::string pasteForm(const std::string& title, const std::string& code, int seconds = 600) {
    return "titel=" + title + "&dauer=" + std::to_string(seconds) +
           "&site=script_paste_tempcode&code=" + code;
}

// The client's paste request, byte for byte: absolute URI, and a CR LF after
// the body that Content-Length does not count.
inline std::string clientPost(const std::string& host, const std::string& body,
                              const std::string& scheme = "http") {
    return "POST " + scheme + "://" + host + "/main.php HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: KAVEL\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n";
}

// The paste's id in the link a POST is answered with; empty where it has none.
inline std::string pasteIdOf(const std::string& link) {
    const auto at = link.find("&code=");
    return at == std::string::npos ? std::string() : link.substr(at + 6);
}

// Logs in with a password and returns that session; retries while an
// earlier session of the name is still being closed by the server.
inline std::unique_ptr<RawQuarnClient> passwordLogin(int port, const std::string& name,
                                                     const std::string& password) {
    std::string reply = "<nothing>";
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto c = std::make_unique<RawQuarnClient>(port);
        const auto r = c->command("LOGIN " + name + " " + password + " [CLIENT:KAVEL@Windows]");
        reply = firstOf(r);
        if (reply == "[3]- Login erfolgreich") return c;
        if (reply != "[5]- Name belegt") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("login as " + name + " refused: " + reply);
}

// Registers the unregistered `name` with `password` in a session of its own,
// then logs in with the password and returns that session.
inline std::unique_ptr<RawQuarnClient> registeredLogin(int port, const std::string& name,
                                                       const std::string& password = "pw") {
    {
        RawQuarnClient reg(port);
        reg.command("LOGIN " + name + "  [CLIENT:KAVEL@Windows]");
        reg.send("SAVE USER_PASSWORT " + password);
        reg.command("ROOMLIST");  // round trip: the hash is stored
    }
    return passwordLogin(port, name, password);
}

// Connects to 127.0.0.1:port from `from` (another 127.x.y.z).
inline int connectFrom(const std::string& from, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::runtime_error("connect from " + from + ": " + std::strerror(err));
    }
    return fd;
}

// A RawQuarnClient whose connection comes from `from`. The helper's own
// loopback connection is swapped for ours before anything is sent on it.
inline std::unique_ptr<RawQuarnClient> clientFrom(const std::string& from, int port) {
    const int fd = connectFrom(from, port);
    auto c = std::make_unique<RawQuarnClient>(port);
    dup2(fd, c->fd());
    ::close(fd);
    return c;
}

// One HTTP request from `from` to 127.0.0.1:port, as httpExchange.
inline std::string httpFrom(const std::string& from, int port, const std::string& request,
                            int timeoutMs = 5000) {
    return httpExchange(connectFrom(from, port), request, timeoutMs);
}

// A guest session of `name`, from `from` unless it is 127.0.0.1.
inline std::unique_ptr<RawQuarnClient> guest(int port, const std::string& name,
                                             const std::string& from = "127.0.0.1") {
    auto c = from == "127.0.0.1" ? std::make_unique<RawQuarnClient>(port) : clientFrom(from, port);
    const auto reply = c->command("LOGIN " + name + "  [CLIENT:KAVEL@Windows]");
    if (reply != RawQuarnClient::Messages{"[2]- Gast"})
        throw std::runtime_error("guest login as " + name + " refused");
    return c;
}

// The server's resident size; ASan's shadow memory and free quarantine make
// it meaningless there, so the callers' bounds are lifted under ASan.
inline long rssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            in >> kb;
            return kb;
        }
    }
    return -1;
}

}  // namespace quarnd_test
