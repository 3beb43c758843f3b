// One bored user with a script on the LAN, against the built quarnd over
// loopback: no flood may stall or drop the others, no name or header may
// get rights or bytes it was not given. Source addresses 127.0.0.x play
// the machines of the LAN.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "server/server_clients.h"
#include "store.h"
#include "support/quarnd_process.h"

using quarnd_test::clientFrom;
using quarnd_test::clientPost;
using quarnd_test::connectFrom;
using quarnd_test::firstOf;
using quarnd_test::guest;
using quarnd_test::httpFrom;
using quarnd_test::locationOf;
using quarnd_test::passwordLogin;
using quarnd_test::pasteForm;
using quarnd_test::pasteIdOf;
using quarnd_test::QuarndProcess;
using quarnd_test::RawQuarnClient;
using quarnd_test::registeredLogin;
using quarnd_test::rssKiB;
using quarnd_test::startServer;
using quarnd_test::statusOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

namespace {

std::string loginReply(int port, const std::string& line, const std::string& from = "127.0.0.1") {
    auto c = clientFrom(from, port);
    return firstOf(c->command(line));
}

long elapsedMs(SteadyClock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<Ms>(SteadyClock::now() - since).count());
}

// The slowest of `rounds` ROOMLIST round trips, spaced out over a flood.
long slowestRoomList(RawQuarnClient& c, int rounds) {
    long worst = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = SteadyClock::now();
        EXPECT_EQ(firstOf(c.command("ROOMLIST")), "ROOMLIST_START");
        worst = std::max(worst, elapsedMs(t0));
        std::this_thread::sleep_for(Ms(40));
    }
    return worst;
}

// The GET for the paste a POST reply links to.
std::string viewRequest(const std::string& postReply) {
    return "GET /main.php?code=" + pasteIdOf(locationOf(postReply)) + " HTTP/1.1\r\n\r\n";
}

#if defined(__SANITIZE_ADDRESS__)
constexpr long kRssLimitKiB = 1L << 40;  // shadow memory makes RSS meaningless
#else
constexpr long kRssLimitKiB = 160 * 1024;
#endif

TEST(server_hostile, PasswordFloodLeavesOthersServed) {
    // An interval no loaded machine outlasts: exactly the first change counts.
    auto server = startServer({"--max-per-address", "64", "--password-interval", "3600"});
    const int port = server->chatPort();
    // Thirty guests registering at once: ~20 ms of hashing each, done by the
    // worker while the loop serves on.
    std::vector<std::unique_ptr<RawQuarnClient>> guests;
    for (int i = 0; i < 30; ++i)
        guests.push_back(guest(port, "neu" + std::to_string(i)));
    auto flooder = registeredLogin(port, "flooder", "alt");
    auto bystander = guest(port, "zuschauer");

    std::string flood;
    for (int i = 0; i < 1500; ++i)
        flood += "SAVE USER_PASSWORT pw" + std::to_string(i) + "\r";
    for (auto& g : guests)
        g->send("SAVE USER_PASSWORT eigenes");
    flooder->sendRaw(flood);
    const long slowest = slowestRoomList(*bystander, 10);
    RecordProperty("slowest_other_user_ms", std::to_string(slowest));
    EXPECT_LT(slowest, 1000);

    // Every change after the first is refused, once that one is through
    // (31 hashes queue up before it).
    int refused = 0;
    while (auto t = flooder->receive(20000)) {
        if (firstOf(*t).rfind("[10]- ", 0) == 0 && ++refused == 1499) break;
    }
    EXPECT_EQ(refused, 1499);
    flooder->close();
    EXPECT_EQ(firstOf(guests.front()->command("ROOMLIST")), "ROOMLIST_START");  // after its hash
    guests.front()->close();
    EXPECT_NE(passwordLogin(port, "flooder", "pw0"), nullptr);
    EXPECT_NE(passwordLogin(port, "neu0", "eigenes"), nullptr);
}

TEST(server_hostile, AdminRightsNeedARegisteredUserWithPassword) {
    QuarndProcess server;
    std::ofstream(server.dataDir() + "/admins.txt") << "root\nBoss\n";
    { registeredLogin(server.chatPort(), "boss"); }
    server.restart();
    EXPECT_THAT(server.log(), HasSubstr("admins.txt lists 'root', which nobody has registered"));
    EXPECT_THAT(server.log(), Not(HasSubstr("lists 'Boss'")));  // registered as "boss"
    const int port = server.chatPort();

    auto victim = guest(port, "opfer");
    // A listed name nobody registered: a guest, no rights, not even after
    // registering it in the same session.
    auto root = guest(port, "root");
    EXPECT_EQ(root->command("INFO root").at(1), "USER_RANK 0");
    EXPECT_THAT(root->command("KICK opfer"), ElementsAre("[9]- Keine Berechtigung"));
    root->send("SAVE USER_PASSWORT meins");
    EXPECT_THAT(root->command("KICK opfer"), ElementsAre("[9]- Keine Berechtigung"));

    auto boss = passwordLogin(port, "BOSS", "pw");
    EXPECT_EQ(boss->command("INFO BOSS").at(1), "USER_RANK 10");
    // ADMIN on a guest is refused and leaves nothing behind for the name.
    auto gast = guest(port, "gast");
    EXPECT_THAT(boss->command("ADMIN gast"), ElementsAre("[7]- User nicht gefunden"));
    EXPECT_THAT(gast->command("KICK opfer"), ElementsAre("[9]- Keine Berechtigung"));
    // On a registered user it is that session's, not the name's.
    auto helfer = registeredLogin(port, "helfer");
    EXPECT_THAT(boss->command("ADMIN helfer"), ElementsAre("[6]- Admin Switch durchgef\xfchrt"));
    helfer->send("KICK gast");
    EXPECT_TRUE(gast->waitClosed());
    helfer->close();
    auto again = passwordLogin(port, "helfer", "pw");
    EXPECT_THAT(again->command("KICK opfer"), ElementsAre("[9]- Keine Berechtigung"));
    EXPECT_FALSE(victim->closedByPeer());
}

TEST(server_hostile, JoinLeaveFloodDropsNoFastReader) {
    auto server = startServer({"--max-per-address", "64"});
    const int port = server->chatPort();
    std::vector<std::unique_ptr<RawQuarnClient>> readers;
    for (int i = 0; i < 40; ++i) {
        readers.push_back(guest(port, "leser" + std::to_string(i)));
        readers.back()->command("JOIN Lobby");
    }
    auto flooder = guest(port, "flut");
    auto bystander = guest(port, "zuschauer");
    flooder->command("JOIN Lobby");

    // Forty fast readers: every byte taken as soon as it arrives.
    const std::string marker = "leser0: fertig";
    std::atomic<bool> stop{false};
    std::vector<int> sawMarker(readers.size(), 0), closed(readers.size(), 0);
    std::thread reading([&] {
        std::vector<std::string> tails(readers.size());
        char buf[65536];
        while (!stop) {
            std::vector<pollfd> fds;
            for (auto& r : readers)
                fds.push_back({r->fd(), POLLIN, 0});
            if (poll(fds.data(), fds.size(), 50) <= 0) continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, MSG_DONTWAIT);
                if (n == 0) closed[i] = 1;
                if (n <= 0) continue;
                tails[i].append(buf, static_cast<std::size_t>(n));
                if (tails[i].find(marker) != std::string::npos) sawMarker[i] = 1;
                if (tails[i].size() > 256) tails[i].erase(0, tails[i].size() - 64);
            }
        }
    });

    std::string flood;
    for (int i = 0; i < 1500; ++i)
        flood += "LEAVE Lobby\rJOIN Lobby\r";
    flooder->sendRaw(flood + "ROOMLIST\r");
    const long slowest = slowestRoomList(*bystander, 10);
    RecordProperty("slowest_other_user_ms", std::to_string(slowest));
    EXPECT_LT(slowest, 1000);
    // The flooder's own ROOMLIST comes after all its lines were handled.
    bool done = false;
    for (auto t = flooder->receive(30000); t && !done; t = flooder->receive(30000))
        done = firstOf(*t) == "ROOMLIST_START";
    EXPECT_TRUE(done);

    readers[0]->send("CHAT Lobby fertig");
    const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
    while (SteadyClock::now() < deadline && std::count(sawMarker.begin(), sawMarker.end(), 1) < 40)
        std::this_thread::sleep_for(Ms(20));
    stop = true;
    reading.join();
    EXPECT_EQ(std::count(sawMarker.begin(), sawMarker.end(), 1), 40);
    EXPECT_EQ(std::count(closed.begin(), closed.end(), 1), 0);
    EXPECT_THAT(server->log(), Not(HasSubstr("backlog")));
}

TEST(server_hostile, ConnectionCapsAndDeadlines) {
    auto server = startServer({"--max-per-address", "4", "--max-paste", "6", "--http-timeout", "2",
                               "--login-timeout", "2"});
    const int chat = server->chatPort(), paste = server->pastePort();

    // Dribblers: a byte every 200 ms keeps neither a paste request nor an
    // unlogged chat connection alive past its deadline.
    auto dribble = [](int fd, std::string bytes, std::string& got) {
        const auto t0 = SteadyClock::now();
        for (std::size_t i = 0; elapsedMs(t0) < 8000; ++i) {
            const char b = bytes[i % bytes.size()];
            if (::send(fd, &b, 1, MSG_NOSIGNAL) != 1) break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 200) > 0) {
                char buf[512];
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                got.append(buf, static_cast<std::size_t>(n));
            }
        }
        ::close(fd);
        return elapsedMs(t0);
    };
    std::string httpGot, chatGot;
    long httpMs = 0, chatMs = 0;
    std::thread httpDribbler([&] {
        httpMs = dribble(connectFrom("127.0.0.7", paste),
                         "GET /main.php?code=x HTTP/1.1\r\nX: ", httpGot);
    });
    std::thread chatDribbler(
        [&] { chatMs = dribble(connectFrom("127.0.0.8", chat), "LOGIN langsam", chatGot); });

    // Four chat connections from one address, then that address is full;
    // another address is not.
    std::vector<std::unique_ptr<RawQuarnClient>> same;
    for (int i = 0; i < 4; ++i)
        same.push_back(clientFrom("127.0.0.2", chat));
    auto fifth = clientFrom("127.0.0.2", chat);
    EXPECT_THAT(fifth->receive().value_or(RawQuarnClient::Messages{}),
                ElementsAre("[1]- Server voll"));
    EXPECT_TRUE(fifth->waitClosed());
    guest(chat, "woanders", "127.0.0.3");

    // Paste connections have their own cap: six held open fill it, chat
    // still takes newcomers.
    std::vector<int> held;
    for (const char* from : {"127.0.0.4", "127.0.0.4", "127.0.0.4", "127.0.0.5", "127.0.0.5"})
        held.push_back(connectFrom(from, paste));
    std::this_thread::sleep_for(Ms(200));  // httpDribbler holds the sixth
    EXPECT_EQ(statusOf(httpFrom("127.0.0.6", paste, "GET /main.php?code=x HTTP/1.1\r\n\r\n")),
              "HTTP/1.1 503 Service Unavailable");
    guest(chat, "trotzdem", "127.0.0.6");

    httpDribbler.join();
    chatDribbler.join();
    EXPECT_EQ(statusOf(httpGot), "HTTP/1.1 408 Request Timeout");
    EXPECT_LT(httpMs, 6000);
    EXPECT_LT(chatMs, 6000);
    for (int fd : held)
        ::close(fd);
}

TEST(server_hostile, UnreadPastePagesStayBounded) {
    QuarndProcess server;
    const int paste = server.pastePort();
    // A long title is cut to 200 bytes; it appears twice on the page.
    const std::string titled = httpFrom(
        "127.0.0.3", paste, clientPost("localhost", pasteForm(std::string(5000, 'T'), "c")));
    const std::string page = httpFrom("127.0.0.3", paste, viewRequest(titled));
    EXPECT_THAT(page, HasSubstr("<title>" + std::string(200, 'T') + "</title>"));
    EXPECT_THAT(page, Not(HasSubstr(std::string(201, 'T'))));

    // Quotes escape six-fold: one paste, a 6 MB page.
    const std::string reply = httpFrom(
        "127.0.0.2", paste, clientPost("localhost", pasteForm("t", std::string(1000000, '"'))));
    ASSERT_EQ(statusOf(reply), "HTTP/1.1 302 Found") << reply;
    const std::string get = viewRequest(reply);

    std::vector<int> unread;  // a hundred GETs, never read
    for (int i = 0; i < 100; ++i) {
        const int fd = connectFrom("127.0.0." + std::to_string(10 + i / 10), paste);
        ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
        unread.push_back(fd);
    }
    std::this_thread::sleep_for(Ms(1500));
    const long rss = rssKiB(server.pid());
    RecordProperty("server_rss_kib", std::to_string(rss));
    EXPECT_LT(rss, kRssLimitKiB);
    RawQuarnClient chat(server.chatPort());
    EXPECT_THAT(chat.command("LOGIN still  x"), ElementsAre("[2]- Gast"));
    for (int fd : unread)
        ::close(fd);
}

TEST(server_hostile, PasteQuotaAndStorageErrors) {
    auto server = startServer({"--paste-rate", "3", "--paste-storage", "1"});
    const int paste = server->pastePort();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(
            statusOf(httpFrom("127.0.0.2", paste, clientPost("localhost", pasteForm("t", "c")))),
            "HTTP/1.1 302 Found");
    const std::string fourth =
        httpFrom("127.0.0.2", paste, clientPost("localhost", pasteForm("t", "c")));
    EXPECT_EQ(statusOf(fourth), "HTTP/1.1 429 Too Many Requests");
    EXPECT_EQ(locationOf(fourth), "");  // what the client takes for a refused paste
    EXPECT_EQ(statusOf(httpFrom("127.0.0.3", paste, clientPost("localhost", pasteForm("t", "c")))),
              "HTTP/1.1 302 Found");

    // 1 MiB for all live pastes together.
    const std::string big(600000, 'x');
    EXPECT_EQ(statusOf(httpFrom("127.0.0.4", paste, clientPost("localhost", pasteForm("t", big)))),
              "HTTP/1.1 302 Found");
    EXPECT_EQ(statusOf(httpFrom("127.0.0.5", paste, clientPost("localhost", pasteForm("t", big)))),
              "HTTP/1.1 507 Insufficient Storage");
    EXPECT_THAT(server->log(), HasSubstr("paste storage full"));

    // A full disk: files may not grow past 2 MiB for a server started now.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_IGN);  // inherited: a write past the limit fails instead
    rlimit small = old;
    small.rlim_cur = 2 * 1024 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    std::unique_ptr<QuarndProcess> full;
    try {
        full = startServer({"--paste-rate", "0"});
    } catch (...) {
        setrlimit(RLIMIT_FSIZE, &old);
        throw;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::string refused;
    for (int i = 0; i < 5 && refused.empty(); ++i) {
        const std::string r =
            httpFrom("127.0.0.6", full->pastePort(), clientPost("localhost", pasteForm("t", big)));
        if (statusOf(r) != "HTTP/1.1 302 Found") refused = r;
    }
    EXPECT_EQ(statusOf(refused), "HTTP/1.1 500 Internal Server Error");
    EXPECT_EQ(locationOf(refused), "");
    EXPECT_THAT(full->log(), HasSubstr("paste storage failed: "));
}

TEST(server_hostile, NamesDifferingOnlyInCaseAreOneName) {
    QuarndProcess server;
    const int port = server.chatPort();
    std::ofstream(server.dataDir() + "/admins.txt") << "boss\n";
    registeredLogin(port, "Alice", "geheim")->close();
    EXPECT_EQ(loginReply(port, "LOGIN ALICE  x", "127.0.0.2"), "[4]- Passwort falsch");
    auto alice = passwordLogin(port, "alice", "geheim");
    EXPECT_EQ(alice->command("INFO ALICE").at(0), "USER_NAME alice");  // as typed at login
    EXPECT_EQ(loginReply(port, "LOGIN aLiCe geheim x"), "[5]- Name belegt");
    auto umlaut = guest(port, "\xc4rger");
    EXPECT_EQ(loginReply(port, "LOGIN \xe4RGER  x"), "[5]- Name belegt");

    // A ban holds for every spelling.
    auto boss = registeredLogin(port, "boss");
    EXPECT_THAT(boss->command("BAN ALICE"), ElementsAre("BAN_ADDED"));
    EXPECT_TRUE(alice->waitClosed());
    EXPECT_EQ(loginReply(port, "LOGIN Alice geheim x"), "[1]- Server voll");
}

TEST(server_hostile, RoomCreationIsLimitedAndRefusalsAnswered) {
    auto server = startServer({"--rooms-per-user", "3", "--max-rooms", "8"});
    const int port = server->chatPort();
    auto a = guest(port, "sammler");
    for (const char* room : {"r1", "r2", "r3"})
        EXPECT_EQ(firstOf(a->command(std::string("JOIN ") + room)),
                  "[8]- Raum er\xf6"
                  "ffnet");
    EXPECT_THAT(a->command("JOIN r4"), ElementsAre("[12]- Raum nicht er\xf6"
                                                   "ffnet"));
    a->send("LEAVE r1");
    EXPECT_EQ(firstOf(a->command("JOIN r4")),
              "[8]- Raum er\xf6"
              "ffnet");

    // Others can still open a private chat; the full table is answered too.
    auto b = guest(port, "bernd");
    EXPECT_EQ(firstOf(b->command("JOIN Privatchat:bernd_anna")),
              "[8]- Raum er\xf6"
              "ffnet");
    EXPECT_THAT(b->command("JOIN noch_einer"), ElementsAre("[12]- Raum nicht er\xf6"
                                                           "ffnet"));
}

TEST(server_hostile, LoggedInUsersAreCappedByTheirOwnLimit) {
    auto server = startServer({"--max-users", "2"});
    const int port = server->chatPort();
    auto first = guest(port, "erster");
    auto second = guest(port, "zweiter", "127.0.0.2");
    EXPECT_EQ(loginReply(port, "LOGIN dritter  x", "127.0.0.3"), "[1]- Server voll");
    // A place that comes free is taken again.
    second->close();
    std::string again;
    for (int i = 0; i < 100 && again != "[2]- Gast"; ++i) {
        std::this_thread::sleep_for(Ms(20));
        again = loginReply(port, "LOGIN vierter  x", "127.0.0.4");
    }
    EXPECT_EQ(again, "[2]- Gast");
}

TEST(server_hostile, PasswordGuessingIsThrottledPerAddress) {
    auto server = startServer({"--login-failures", "3", "--login-lockout", "3"});
    const int port = server->chatPort();
    registeredLogin(port, "opfer", "richtig")->close();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(loginReply(port, "LOGIN opfer falsch" + std::to_string(i) + " x", "127.0.0.2"),
                  "[4]- Passwort falsch");
    // Locked out: even the right password is refused, and at once.
    const auto t0 = SteadyClock::now();
    EXPECT_EQ(loginReply(port, "LOGIN opfer richtig x", "127.0.0.2"), "[1]- Server voll");
    EXPECT_LT(elapsedMs(t0), 1000);
    // Other addresses and guests are not held up.
    const auto t1 = SteadyClock::now();
    auto right = clientFrom("127.0.0.3", port);
    EXPECT_THAT(right->command("LOGIN opfer richtig x"), ElementsAre("[3]- Login erfolgreich"));
    EXPECT_LT(elapsedMs(t1), 1000);
    EXPECT_EQ(loginReply(port, "LOGIN gast  x", "127.0.0.2"), "[2]- Gast");
    EXPECT_THAT(server->log(), HasSubstr("from 127.0.0.2 refused for 3 s"));
    right->close();
    // Asking while locked out does not prolong the lockout.
    std::string reply;
    const auto t2 = SteadyClock::now();
    while ((reply = loginReply(port, "LOGIN opfer richtig x", "127.0.0.2")) !=
               "[3]- Login erfolgreich" &&
           elapsedMs(t2) < 10000)
        std::this_thread::sleep_for(Ms(100));
    EXPECT_EQ(reply, "[3]- Login erfolgreich");
}

TEST(server_hostile, NoPeerBytesInHeadersOrLog) {
    QuarndProcess server;
    const int paste = server.pastePort();
    const std::string port = std::to_string(paste);
    struct Case {
        std::string hostHeader;  // "-": none
        std::string linkHost;
    };
    const Case cases[] = {
        {"paste.lan:99", "paste.lan:" + port},
        {"[::1]:8080", "[::1]:" + port},
        {"evil\rSet-Cookie: x=1", "127.0.0.1:" + port},
        {"a b", "127.0.0.1:" + port},
        {"host:port", "127.0.0.1:" + port},
    };
    const std::string body = "titel=t&dauer=120&site=script_paste_tempcode&code=c";
    for (const Case& c : cases) {
        const std::string host = c.hostHeader == "-" ? "" : "Host: " + c.hostHeader + "\r\n";
        const std::string reply =
            httpFrom("127.0.0.2", paste,
                     "POST /main.php HTTP/1.1\r\n" + host +
                         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        EXPECT_EQ(locationOf(reply).rfind("http://" + c.linkHost + "/main.php?sid=", 0), 0u)
            << c.hostHeader << ": " << reply;
        EXPECT_THAT(reply, Not(HasSubstr("Set-Cookie")));
    }

    httpFrom("127.0.0.2", paste, "G\x1b[2JET /x\x1b]0;owned\x07\rfake HTTP/1.1\r\n\r\n");
    RawQuarnClient c(server.chatPort());
    c.command("LOGIN M\xfcller  x");
    c.close();
    const std::string log = server.logWith("M\\xfcller");
    EXPECT_THAT(log, HasSubstr("G\\x1b[2JET /x\\x1b]0;owned\\x07\\x0dfake"));
    EXPECT_THAT(log, HasSubstr("M\\xfcller"));
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    for (std::size_t at = log.find('\r'); at != std::string::npos; at = log.find('\r', at + 1))
        ADD_FAILURE() << "CR in the log at " << at;
}

TEST(server_hostile, DataFolderAndDatabaseArePrivate) {
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
    };
    // A folder left open by an older quarnd is tightened too.
    char tmpl[] = "/tmp/quarnd-modes-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = std::string(tmpl) + "/data";
    ::mkdir(dir.c_str(), 0755);
    {
        QuarndProcess::Options o;
        o.dataDir = dir;
        QuarndProcess server(o);
        registeredLogin(server.chatPort(), "jemand");  // writes: -wal and -shm exist
        EXPECT_EQ(modeOf(dir), 0700);
        for (const char* file : {"/quarn.db", "/quarn.db-wal", "/quarn.db-shm"})
            EXPECT_EQ(modeOf(dir + file), 0600) << file;
    }
    std::filesystem::remove_all(tmpl);

    QuarndProcess fresh;
    EXPECT_EQ(modeOf(fresh.dataDir()), 0700);
    EXPECT_EQ(modeOf(fresh.dataDir() + "/quarn.db"), 0600);
}

// Counts the syncs SQLite asks of the files it opens through the default
// VFS: same VFS and file methods, only xSync counted on the way through.
struct SyncCounter {
    // Each kind of file's methods, and our copy of them with xSync counted.
    static inline std::vector<
        std::pair<const sqlite3_io_methods*, std::unique_ptr<sqlite3_io_methods>>>
        methods;
    static inline sqlite3_vfs* real = nullptr;
    static inline std::atomic<int> syncs{0};
    sqlite3_vfs shim{};

    static int countedSync(sqlite3_file* f, int flags) {
        ++syncs;
        for (auto& [original, copy] : methods) {
            if (copy.get() == f->pMethods) return original->xSync(f, flags);
        }
        return SQLITE_IOERR;
    }

    SyncCounter() {
        real = sqlite3_vfs_find(nullptr);
        shim = *real;
        shim.zName = "quarnd-test-sync-counter";
        shim.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                        int* out) {
            const int rc = real->xOpen(real, name, file, flags, out);
            if (rc != SQLITE_OK || !file->pMethods) return rc;
            auto it = std::find_if(methods.begin(), methods.end(),
                                   [&](const auto& m) { return m.first == file->pMethods; });
            if (it == methods.end()) {
                auto copy = std::make_unique<sqlite3_io_methods>(*file->pMethods);
                copy->xSync = &countedSync;
                it = methods.insert(methods.end(), {file->pMethods, std::move(copy)});
            }
            file->pMethods = it->second.get();
            return rc;
        };
        sqlite3_vfs_register(&shim, 1);
    }
    ~SyncCounter() {
        sqlite3_vfs_unregister(&shim);
        sqlite3_vfs_register(real, 1);
    }
    int take() { return syncs.exchange(0); }
};

TEST(server_hostile, AccountChangesReachTheDiskPastesNeedNot) {
    char tmpl[] = "/tmp/quarnd-sync-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    {
        SyncCounter counter;
        quarnd::Store store(std::string(tmpl) + "/quarn.db", 1);
        store.addPaste({"warm", "t", "c", 1, 2});  // the WAL exists from here on
        counter.take();
        store.addPaste({"id", "t", "c", 1, 2});
        store.addScore("niemand", 1);
        EXPECT_EQ(counter.take(), 0);
        store.setPassword("anna", "pw");
        EXPECT_GE(counter.take(), 1);
        store.addBan("bert", 1);
        EXPECT_GE(counter.take(), 1);
    }
    std::filesystem::remove_all(tmpl);
}

}  // namespace
