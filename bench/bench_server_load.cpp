// Load on a real quarnd over loopback: 200 sessions in one room, each sending
// 50 chat lines. Reports delivered lines per second and delivery latency,
// checks that every line reached every member exactly once, and compares
// with the same number of messages pushed through plain loopback sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../tests/support/quarnd_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSessions = 200;
constexpr int kLinesEach = 50;
constexpr auto kRoundGap = std::chrono::milliseconds(20);

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            std::perror("send");
            std::exit(1);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

struct Reader {
    int fd;
    std::string buf;
};

// Reads every fd until `expected` messages carrying a payload arrived or the
// deadline passed; calls onMessage(readerIndex, message) for each message.
template <class F>
std::size_t pump(std::vector<Reader>& readers, std::size_t expected, Clock::time_point deadline,
                 F&& onMessage, const std::function<void()>& tick = {}) {
    std::vector<pollfd> fds(readers.size());
    for (std::size_t i = 0; i < readers.size(); ++i)
        fds[i] = {readers[i].fd, POLLIN, 0};
    std::size_t got = 0;
    char chunk[65536];
    while (got < expected && Clock::now() < deadline) {
        if (tick) tick();
        if (poll(fds.data(), fds.size(), 5) <= 0) continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            const ssize_t n = ::recv(fds[i].fd, chunk, sizeof chunk, 0);
            if (n <= 0) continue;
            std::string& b = readers[i].buf;
            b.append(chunk, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t p = 0; p < b.size(); ++p) {
                if (b[p] != '\r' && b[p] != '\0') continue;
                if (p > start) got += onMessage(i, std::string_view(b).substr(start, p - start));
                start = p + 1;
            }
            b.erase(0, start);
        }
    }
    return got;
}

double percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    const std::size_t k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

// Same message count and bytes through plain loopback TCP: one writer thread
// sending batches of `perSend` messages, spread over kSessions connections,
// read back with the same poll loop. No parsing, no fan-out, no bookkeeping:
// what the kernel alone costs.
double baselineMessagesPerSecond(std::size_t total, std::size_t messageBytes, std::size_t perSend) {
    const int lfd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(lfd, kSessions);
    socklen_t len = sizeof addr;
    getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> writers;
    std::vector<Reader> readers;
    for (int i = 0; i < kSessions; ++i) {
        const int c = quarnd_test::connectLoopback(ntohs(addr.sin_port));
        const int s = accept(lfd, nullptr, nullptr);
        const int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        writers.push_back(s);
        readers.push_back({c, {}});
    }
    std::string batch;
    for (std::size_t i = 0; i < perSend; ++i)
        batch += std::string(messageBytes - 2, 'x') + "\r" + '\0';
    const auto t0 = Clock::now();
    std::thread writer([&] {
        for (std::size_t i = 0; i * perSend < total; ++i)
            sendAll(writers[i % writers.size()], batch);
    });
    const std::size_t got = pump(readers, total, Clock::now() + std::chrono::seconds(60),
                                 [](std::size_t, std::string_view) { return 1; });
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    writer.join();
    for (int fd : writers)
        ::close(fd);
    for (auto& r : readers)
        ::close(r.fd);
    ::close(lfd);
    return static_cast<double>(got) / secs;
}

}  // namespace

int main() {
    // All 200 sessions come from 127.0.0.1, where a LAN has one machine per
    // user: lift the per-address cap for them.
    quarnd_test::QuarndProcess::Options options;
    options.extraArgs = {"--max-per-address", std::to_string(kSessions)};
    quarnd_test::QuarndProcess server(options);
    std::vector<Reader> clients;
    std::printf("quarnd load: %d sessions in one room, %d lines each\n", kSessions, kLinesEach);
    for (int i = 0; i < kSessions; ++i) {
        const int fd = quarnd_test::connectLoopback(server.chatPort());
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char login[96];
        std::snprintf(login, sizeof login, "LOGIN s%03d  [CLIENT:KAVEL@Windows]\rJOIN Lobby\r", i);
        sendAll(fd, login);
        clients.push_back({fd, {}});
    }
    // Let the join storm settle: every session sees every later join.
    const std::size_t joinNotices = static_cast<std::size_t>(kSessions) * (kSessions + 1) / 2;
    pump(clients, joinNotices, Clock::now() + std::chrono::seconds(30),
         [](std::size_t, std::string_view m) {
             return m.find(" betritt den Raum") != m.npos ? 1 : 0;
         });
    for (auto& c : clients)
        c.buf.clear();

    const std::size_t lines = static_cast<std::size_t>(kSessions) * kLinesEach;
    const std::size_t expected = lines * kSessions;
    std::vector<std::uint8_t> seen(expected, 0);  // [recipient][sender][seq]
    std::vector<double> latencyUs;
    latencyUs.reserve(expected);
    std::size_t duplicates = 0, malformed = 0;

    int round = 0;
    auto nextRound = Clock::now();
    auto sendRound = [&] {
        if (round >= kLinesEach || Clock::now() < nextRound) return;
        for (int s = 0; s < kSessions; ++s) {
            char line[96];
            std::snprintf(line, sizeof line, "CHAT Lobby m %d %d %lld\r", s, round,
                          static_cast<long long>(nowNs()));
            sendAll(clients[static_cast<std::size_t>(s)].fd, line);
        }
        ++round;
        nextRound += kRoundGap;
    };
    const auto t0 = Clock::now();
    const std::size_t got = pump(
        clients, expected, Clock::now() + std::chrono::seconds(45),
        [&](std::size_t to, std::string_view m) -> std::size_t {
            const auto at = m.find(": m ");
            if (m.rfind("CHAT Lobby s", 0) != 0 || at == m.npos) return 0;
            int sender = -1, seq = -1;
            long long sentNs = 0;
            if (std::sscanf(std::string(m.substr(at + 4)).c_str(), "%d %d %lld", &sender, &seq,
                            &sentNs) != 3 ||
                sender < 0 || sender >= kSessions || seq < 0 || seq >= kLinesEach) {
                ++malformed;
                return 0;
            }
            latencyUs.push_back(static_cast<double>(nowNs() - sentNs) / 1000.0);
            std::uint8_t& slot =
                seen[(to * kSessions + static_cast<std::size_t>(sender)) * kLinesEach +
                     static_cast<std::size_t>(seq)];
            if (slot++) ++duplicates;
            return 1;
        },
        sendRound);
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    const std::size_t missing =
        static_cast<std::size_t>(std::count(seen.begin(), seen.end(), std::uint8_t{0}));
    for (auto& c : clients)
        ::close(c.fd);
    server.stop();

    const double rate = static_cast<double>(got) / secs;
    std::printf("delivered      %zu of %zu lines in %.2f s (sending paced over %.2f s)\n", got,
                expected, secs,
                std::chrono::duration<double>(kRoundGap).count() * (kLinesEach - 1));
    std::printf("throughput     %.0f lines delivered/s\n", rate);
    std::printf("latency        p50 %.0f us, p99 %.0f us\n", percentile(latencyUs, 0.50),
                percentile(latencyUs, 0.99));
    const bool exact = missing == 0 && duplicates == 0 && malformed == 0 && got == expected;
    std::printf("exactly once   %s (missing %zu, duplicated %zu, malformed %zu)\n",
                exact ? "PASS" : "FAIL", missing, duplicates, malformed);

    const double base = baselineMessagesPerSecond(expected, 40, 50);
    std::printf("baseline       %.0f messages/s of raw loopback TCP (50 messages per send)\n",
                base);
    std::printf(
        "ratio          quarnd / baseline = %.2f (quarnd's rate is capped by the paced\n"
        "               senders, so the ratio is a floor, not its ceiling)\n",
        rate / base);
    return exact ? 0 : 1;
}
