// quarnd as its community grows: N guests logged in over loopback, all in
// one room or spread over 50, and a defined offered load: one client in ten
// sends one chat line a second. For each scale it prints the lines the
// server delivered per second, the delivery latency (p50, p99, from the
// sender's write to the recipient's read), whether every line reached every
// member of its room exactly once, the server's resident memory per client
// and its CPU time per thousand lines delivered. Then the server's own
// wake-ups a second with clients connected and idle, against an empty
// server in the same run. A TLS run puts the same crowd on the TLS port
// beside a plain run of the same size and compares the two.
//
//   bench_server_load             200 clients, 5 s of load (seconds, for CI),
//                                 plain and over TLS
//   bench_server_load full        200, 1000 and 5000 clients, 30 s each,
//                                 1000 in 50 rooms over TLS too,
//                                 wake-ups with 1000 idle clients
//   bench_server_load tls [S]     1000 clients in 50 rooms, plain and TLS
//   bench_server_load N ROOMS S   one scale of your own
//
// Server and clients share the machine: on a small one the clients' own
// reading limits what the largest room can show, and the bench says how
// much CPU it used itself.
#include <fcntl.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/quarnd_process.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Latencies from 1 us to about 100 s in steps of 2 %, so that millions of
// deliveries need no list of their own.
class Histogram {
  public:
    void add(double us) {
        const double v = std::max(us, 1.0);
        const auto b = static_cast<std::size_t>(std::log(v) / std::log(kStep));
        ++counts_[std::min(b, counts_.size() - 1)];
        ++total_;
    }
    double percentile(double p) const {
        if (total_ == 0) return 0;
        const auto want = static_cast<std::uint64_t>(p * static_cast<double>(total_ - 1)) + 1;
        std::uint64_t seen = 0;
        for (std::size_t b = 0; b < counts_.size(); ++b) {
            seen += counts_[b];
            if (seen >= want) return std::pow(kStep, static_cast<double>(b) + 0.5);
        }
        return 0;
    }

  private:
    static constexpr double kStep = 1.02;
    std::array<std::uint64_t, 1000> counts_{};
    std::uint64_t total_ = 0;
};

// What /proc says about the server's main thread and the whole process.
struct ServerUse {
    double cpu = 0;  // seconds, all threads
    long rssKb = 0;
    long switches = 0;  // context switches of the main (poll loop) thread
};

ServerUse serverUse(pid_t pid) {
    ServerUse u;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    // utime and stime are fields 14 and 15; the name (field 2) has no blanks.
    for (int i = 1; i <= 15 && stat >> field; ++i)
        if (i == 14 || i == 15)
            u.cpu += std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string key; status >> key;)
        if (key == "VmRSS:") status >> u.rssKb;
    std::ifstream main("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status");
    for (std::string key; main >> key;) {
        if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
            long n = 0;
            main >> n;
            u.switches += n;
        }
    }
    return u;
}

double ownCpu() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct Client {
    int fd = -1;
    SSL* ssl = nullptr;
    int room = 0;
    std::string nick;
    std::string buf;
    bool loggedIn = false;
    bool joined = false;
};

struct Scenario {
    int clients;
    int rooms;
    double seconds;
    bool tls = false;
};

// What a run measured, for the comparison of plain and TLS.
struct Result {
    bool exact = false;
    double p99Ms = 0;
    double cpuPerThousand = 0;  // server CPU ms per 1000 lines delivered
};

class Crowd {
  public:
    Crowd(int port, const Scenario& s) : s_(s) {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (s.tls) {
            ctx_ = SSL_CTX_new(TLS_client_method());
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
        }
        clients_.resize(static_cast<std::size_t>(s.clients));
        for (int i = 0; i < s.clients; ++i) {
            Client& c = clients_[static_cast<std::size_t>(i)];
            c.fd = quarnd_test::connectLoopback(port);
            if (ctx_) {
                // The handshake blocking, the session then as plain: the
                // bench reads whatever is there and waits in epoll.
                c.ssl = SSL_new(ctx_);
                SSL_set_fd(c.ssl, c.fd);
                if (SSL_connect(c.ssl) != 1) throw std::runtime_error("TLS handshake failed");
                fcntl(c.fd, F_SETFL, fcntl(c.fd, F_GETFL) | O_NONBLOCK);
            }
            c.room = i % s.rooms;
            char nick[16];
            std::snprintf(nick, sizeof nick, "c%05d", i);
            c.nick = nick;
            const int one = 1;
            setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            epoll_event ev{EPOLLIN, {.u32 = static_cast<std::uint32_t>(i)}};
            epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &ev);
            send(c, "LOGIN " + c.nick + "  [CLIENT:KAVEL@Windows]\r");
            // Keep the server's accept queue short.
            if (i % 200 == 199) pump(2);
        }
    }
    ~Crowd() {
        for (Client& c : clients_) {
            SSL_free(c.ssl);
            ::close(c.fd);
        }
        SSL_CTX_free(ctx_);
        ::close(epoll_);
    }

    std::string roomName(int room) const {
        if (s_.rooms == 1) return "Lobby";
        char name[16];
        std::snprintf(name, sizeof name, "Raum%02d", room);
        return name;
    }

    // Logs everybody in and into their rooms; false when that did not
    // settle within the limit.
    bool settle(double limitSeconds) {
        const auto t0 = Clock::now();
        while (loggedIn_ < clients_.size() && secondsSince(t0) < limitSeconds)
            pump(50);
        for (Client& c : clients_)
            send(c, "JOIN " + roomName(c.room) + "\r");
        while (joined_ < clients_.size() && secondsSince(t0) < limitSeconds)
            pump(50);
        // The last user lists are still on their way to the first members.
        for (auto quiet = Clock::now();
             secondsSince(quiet) < 0.5 && secondsSince(t0) < limitSeconds;)
            if (pump(100) > 0) quiet = Clock::now();
        joinSeconds_ = secondsSince(t0);
        return joined_ == clients_.size();
    }
    double joinSeconds() const { return joinSeconds_; }

    // One client in ten sends a line a second, spread evenly over the
    // second; then waits for the stragglers.
    void load() {
        senders_ = std::max<std::size_t>(1, clients_.size() / 10);
        linesEach_ = static_cast<std::size_t>(s_.seconds);
        members_.assign(static_cast<std::size_t>(s_.rooms), 0);
        for (const Client& c : clients_)
            ++members_[static_cast<std::size_t>(c.room)];
        expected_ = 0;
        for (std::size_t k = 0; k < senders_; ++k)
            expected_ += linesEach_ * members_[static_cast<std::size_t>(senderClient(k).room)];
        seen_.assign(clients_.size() * senders_ * linesEach_, 0);
        const auto t0 = Clock::now();
        const double gap = 1.0 / static_cast<double>(senders_);
        std::size_t sent = 0;
        const std::size_t total = senders_ * linesEach_;
        while (sent < total) {
            const double due = static_cast<double>(sent) * gap;
            const double left = due - secondsSince(t0);
            if (left > 0.0005) {
                pump(static_cast<int>(left * 1000));
                continue;
            }
            const std::size_t k = sent % senders_, seq = sent / senders_;
            Client& c = senderClient(k);
            char line[96];
            std::snprintf(line, sizeof line, "CHAT %s m %zu %zu %lld\r", roomName(c.room).c_str(),
                          k, seq, static_cast<long long>(nowNs()));
            send(c, line);
            ++sent;
        }
        sendSeconds_ = secondsSince(t0);
        for (auto quiet = Clock::now(); delivered_ < expected_ && secondsSince(quiet) < 5 &&
                                        secondsSince(t0) < s_.seconds + 60;)
            if (pump(100) > 0) quiet = Clock::now();
        loadSeconds_ = secondsSince(t0);
        lastSeconds_ = std::chrono::duration<double>(lastDelivery_ - t0).count();
    }

    // Reads what is there for at most waitMs; returns the messages read.
    std::size_t pump(int waitMs) {
        epoll_event events[256];
        const int n = epoll_wait(epoll_, events, 256, waitMs);
        std::size_t got = 0;
        char chunk[65536];
        for (int e = 0; e < n; ++e) {
            const std::uint32_t index = events[e].data.u32;
            Client& c = clients_[index];
            while (true) {
                const ssize_t r = receive(c, chunk, sizeof chunk);
                if (r <= 0) {
                    if (r == 0) {
                        epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
                        ++closed_;
                    }
                    break;
                }
                c.buf.append(chunk, static_cast<std::size_t>(r));
                if (!c.ssl && static_cast<std::size_t>(r) < sizeof chunk) break;
            }
            std::size_t start = 0;
            for (std::size_t p = 0; p < c.buf.size(); ++p) {
                const char ch = c.buf[p];
                if (ch != '\r' && ch != '\0') continue;
                if (p > start) {
                    onMessage(index, std::string_view(c.buf).substr(start, p - start));
                    ++got;
                }
                start = p + 1;
            }
            c.buf.erase(0, start);
        }
        return got;
    }

    std::size_t expected() const { return expected_; }
    std::size_t delivered() const { return delivered_; }
    std::size_t duplicates() const { return duplicates_; }
    std::size_t malformed() const { return malformed_; }
    std::size_t closed() const { return closed_; }
    double sendSeconds() const { return sendSeconds_; }
    double loadSeconds() const { return loadSeconds_; }
    // From the first line sent to the last one delivered.
    double deliverySeconds() const { return lastSeconds_; }
    const Histogram& latency() const { return latency_; }

  private:
    Client& senderClient(std::size_t k) { return clients_[k * 10]; }

    // recv() and send(), through TLS for a TLS crowd: -1 with EAGAIN while
    // TLS waits for the socket, 0 at the end.
    static ssize_t receive(Client& c, char* buf, std::size_t size) {
        if (!c.ssl) return ::recv(c.fd, buf, size, MSG_DONTWAIT);
        std::size_t n = 0;
        const int r = SSL_read_ex(c.ssl, buf, size, &n);
        if (r == 1) return static_cast<ssize_t>(n);
        const int e = SSL_get_error(c.ssl, r);
        errno = EAGAIN;
        return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE ? -1 : 0;
    }
    static ssize_t transmit(Client& c, std::string_view bytes) {
        if (!c.ssl) return ::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        std::size_t n = 0;
        const int r = SSL_write_ex(c.ssl, bytes.data(), bytes.size(), &n);
        if (r == 1) return static_cast<ssize_t>(n);
        const int e = SSL_get_error(c.ssl, r);
        errno = e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE ? EAGAIN : EPIPE;
        return -1;
    }

    void send(Client& c, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = transmit(c, bytes);
            if (n <= 0) {
                if (n < 0 && errno == EAGAIN) {
                    pump(1);
                    continue;
                }
                return;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    void onMessage(std::uint32_t to, std::string_view m) {
        Client& c = clients_[to];
        if (!c.loggedIn && m.rfind("[2]-", 0) == 0) {
            c.loggedIn = true;
            ++loggedIn_;
            return;
        }
        if (!c.joined && m.size() > c.nick.size() + 17 &&
            m.substr(m.size() - 17) == " betritt den Raum" &&
            m.substr(m.size() - 17 - c.nick.size(), c.nick.size()) == c.nick) {
            c.joined = true;
            ++joined_;
            return;
        }
        const auto at = m.find(": m ");
        if (m.rfind("CHAT ", 0) != 0 || at == std::string_view::npos) return;
        unsigned long long k = 0, seq = 0;
        long long ns = 0;
        if (std::sscanf(std::string(m.substr(at + 4)).c_str(), "%llu %llu %lld", &k, &seq, &ns) !=
                3 ||
            k >= senders_ || seq >= linesEach_) {
            ++malformed_;
            return;
        }
        latency_.add(static_cast<double>(nowNs() - ns) / 1000.0);
        std::uint8_t& slot = seen_[(to * senders_ + k) * linesEach_ + seq];
        if (slot++) ++duplicates_;
        ++delivered_;
        lastDelivery_ = Clock::now();
    }

    Scenario s_;
    SSL_CTX* ctx_ = nullptr;
    int epoll_ = -1;
    std::vector<Client> clients_;
    std::size_t loggedIn_ = 0, joined_ = 0;
    double joinSeconds_ = 0, sendSeconds_ = 0, loadSeconds_ = 0, lastSeconds_ = 0;
    Clock::time_point lastDelivery_{};
    std::size_t senders_ = 0, linesEach_ = 0, expected_ = 0, delivered_ = 0;
    std::size_t duplicates_ = 0, malformed_ = 0, closed_ = 0;
    std::vector<std::size_t> members_;
    std::vector<std::uint8_t> seen_;  // [recipient][sender][seq]
    Histogram latency_;
};

quarnd_test::QuarndProcess::Options serverFor(int clients) {
    quarnd_test::QuarndProcess::Options o;
    // All clients come from 127.0.0.1, where a LAN has one machine each.
    const std::string cap = std::to_string(clients + 16);
    o.extraArgs = {"--max-chat", cap, "--max-users", cap, "--max-per-address", cap};
    return o;
}

Result runScenario(const Scenario& s) {
    Result result;
    quarnd_test::QuarndProcess server(serverFor(s.clients));
    const ServerUse empty = serverUse(server.pid());
    std::printf("-- %d clients in %d room%s, %.0f s of load%s\n", s.clients, s.rooms,
                s.rooms == 1 ? "" : "s", s.seconds, s.tls ? ", over TLS" : "");
    std::fflush(stdout);
    Crowd crowd(s.tls ? server.tlsPort() : server.chatPort(), s);
    // The largest room's join is the one thing here that grows with the
    // square of the members: every join sends the whole user list to all.
    if (!crowd.settle(s.clients >= 5000 && s.rooms == 1 ? 300 : 120)) {
        std::printf(
            "   the logins and joins did not settle in %.0f s: this is past what one "
            "quarnd serves\n",
            crowd.joinSeconds());
        return result;
    }
    const ServerUse joined = serverUse(server.pid());
    const double bench0 = ownCpu();
    crowd.load();
    const ServerUse after = serverUse(server.pid());
    const double benchCpu = ownCpu() - bench0;
    const double lines = static_cast<double>(crowd.delivered());
    const bool exact = crowd.delivered() == crowd.expected() && crowd.duplicates() == 0 &&
                       crowd.malformed() == 0 && crowd.closed() == 0;
    std::printf("   joined in     %.2f s\n", crowd.joinSeconds());
    std::printf(
        "   delivered     %.0f lines/s (%zu of %zu, the last %.1f s after the first "
        "was sent; sending took %.1f s)\n",
        lines / std::max(crowd.deliverySeconds(), crowd.sendSeconds()), crowd.delivered(),
        crowd.expected(), crowd.deliverySeconds(), crowd.sendSeconds());
    std::printf("   latency       p50 %.2f ms, p99 %.2f ms\n",
                crowd.latency().percentile(0.50) / 1000, crowd.latency().percentile(0.99) / 1000);
    std::printf("   exactly once  %s (missing %zu, duplicated %zu, malformed %zu, closed %zu)\n",
                exact ? "yes" : "NO",
                crowd.expected() - std::min(crowd.expected(), crowd.delivered()),
                crowd.duplicates(), crowd.malformed(), crowd.closed());
    std::printf("   memory        %.1f KiB resident per client (%ld KiB empty, %ld KiB joined)\n",
                static_cast<double>(joined.rssKb - empty.rssKb) / s.clients, empty.rssKb,
                joined.rssKb);
    std::printf("   server CPU    %.1f ms per 1000 lines delivered (%.0f %% of a core)\n",
                lines > 0 ? (after.cpu - joined.cpu) * 1e6 / lines : 0.0,
                100 * (after.cpu - joined.cpu) / crowd.loadSeconds());
    std::printf("   bench CPU     %.0f %% of a core (the clients' side, same machine)\n",
                100 * benchCpu / crowd.loadSeconds());
    std::fflush(stdout);
    result.exact = exact;
    result.p99Ms = crowd.latency().percentile(0.99) / 1000;
    result.cpuPerThousand = lines > 0 ? (after.cpu - joined.cpu) * 1e6 / lines : 0.0;
    return result;
}

// The same crowd plain and over TLS, one after the other in this run.
bool compareTls(int clients, int rooms, double seconds) {
    const Result plain = runScenario({clients, rooms, seconds, false});
    const Result tls = runScenario({clients, rooms, seconds, true});
    std::printf("-- TLS against plain, %d clients in %d rooms\n", clients, rooms);
    std::printf("   p99 latency   %.2f ms against %.2f ms (x%.2f)\n", tls.p99Ms, plain.p99Ms,
                plain.p99Ms > 0 ? tls.p99Ms / plain.p99Ms : 0.0);
    std::printf("   server CPU    %.1f ms against %.1f ms per 1000 deliveries (x%.2f)\n",
                tls.cpuPerThousand, plain.cpuPerThousand,
                plain.cpuPerThousand > 0 ? tls.cpuPerThousand / plain.cpuPerThousand : 0.0);
    std::fflush(stdout);
    return plain.exact && tls.exact;
}

// The poll loop's own wake-ups with nobody saying anything.
void idleWakeUps(int clients, double seconds) {
    auto measure = [seconds](pid_t pid) {
        const ServerUse a = serverUse(pid);
        const auto t0 = Clock::now();
        usleep(static_cast<useconds_t>(seconds * 1e6));
        const ServerUse b = serverUse(pid);
        return std::pair{static_cast<double>(b.switches - a.switches) / secondsSince(t0),
                         100 * (b.cpu - a.cpu) / secondsSince(t0)};
    };
    quarnd_test::QuarndProcess bare(serverFor(clients));
    const auto [bareWakes, bareCpu] = measure(bare.pid());
    bare.stop();
    quarnd_test::QuarndProcess server(serverFor(clients));
    Crowd crowd(server.chatPort(), {clients, 50, 0});
    crowd.settle(120);
    const auto [wakes, cpu] = measure(server.pid());
    std::printf("-- idle: %d clients logged in, in 50 rooms, nobody talking\n", clients);
    std::printf("   server        %.1f wake-ups/s, %.3f %% of a core\n", wakes, cpu);
    std::printf("   empty server  %.1f wake-ups/s, %.3f %% of a core (same run)\n", bareWakes,
                bareCpu);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Scenario> scenarios;
    std::vector<Scenario> tlsComparisons;  // clients, rooms, seconds
    int idleClients = 200;
    double idleSeconds = 3;
    if (argc > 1 && std::string(argv[1]) == "full") {
        for (int n : {200, 1000, 5000})
            for (int rooms : {50, 1})
                scenarios.push_back({n, rooms, 30});
        tlsComparisons.push_back({1000, 50, 30});
        idleClients = 1000;
        idleSeconds = 10;
    } else if (argc > 1 && std::string(argv[1]) == "tls") {
        tlsComparisons.push_back({1000, 50, argc > 2 ? std::atof(argv[2]) : 30});
        idleClients = 0;
    } else if (argc > 3) {
        scenarios.push_back(
            {std::atoi(argv[1]), std::max(1, std::atoi(argv[2])), std::atof(argv[3])});
    } else {
        scenarios = {{200, 1, 5}};
        tlsComparisons.push_back({200, 50, 5});
    }
    // Each connection is a descriptor here and one in the server, which
    // inherits the limit.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    std::printf("quarnd load: one client in ten sends one line a second (descriptor limit %llu)\n",
                static_cast<unsigned long long>(files.rlim_cur));
    int failed = 0;
    for (const Scenario& s : scenarios) {
        if (static_cast<rlim_t>(s.clients) + 64 > files.rlim_cur) {
            std::printf("-- %d clients: skipped, the descriptor limit is %llu\n", s.clients,
                        static_cast<unsigned long long>(files.rlim_cur));
            continue;
        }
        if (!runScenario(s).exact) ++failed;
    }
    for (const Scenario& s : tlsComparisons) {
        if (static_cast<rlim_t>(s.clients) + 64 > files.rlim_cur) continue;
        if (!compareTls(s.clients, s.rooms, s.seconds)) ++failed;
    }
    if (idleClients > 0) idleWakeUps(idleClients, idleSeconds);
    return failed == 0 ? 0 : 1;
}
