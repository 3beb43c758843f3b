// The session over TLS against a real quarnd: what crosses the wire, the
// certificate check (trust store, question, remembered fingerprint, changed
// certificate), decrypted bytes the descriptor does not show, and the paste
// over HTTPS. A relay between client and server records every byte and
// keeps one port in front of servers that come and go.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <QAbstractEventDispatcher>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "common/data.h"
#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Http.h"
#include "net/NET_Methods_Tls.h"
#include "net/wire.h"
#include "server/server_clients.h"
#include "support/latin1.h"
#include "support/quarnd_process.h"
#include "support/room_window.h"
#include "support/script_server.h"
#include "support/services.h"
#include "support/session_loop.h"
#include "support/work_folder.h"
#include "system/files.h"
#include "system/socket.h"
#include "system/tls.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

using namespace kavel;
namespace gd = kavel::platform;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Accepts on an ephemeral loopback port and forwards each connection to
// 127.0.0.1:target, keeping a copy of what each side sent.
class Relay {
  public:
    explicit Relay(int target) : target_(target) {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(listenFd_, 8) != 0)
            throw std::runtime_error("relay cannot listen");
        socklen_t len = sizeof addr;
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        if (pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        thread_ = std::thread([this] { run(); });
    }
    ~Relay() {
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        for (int fd : {listenFd_, stop_[0], stop_[1]})
            ::close(fd);
    }
    int port() const { return port_; }
    void setTarget(int port) { target_ = port; }
    std::string fromClient() {
        std::lock_guard<std::mutex> g(lock_);
        return up_;
    }
    std::string fromServer() {
        std::lock_guard<std::mutex> g(lock_);
        return down_;
    }
    // TLS records of application data (type 23) the client sent; in TLS 1.3
    // the handshake's Finished and the close_notify are such records too.
    int clientDataRecords() {
        const std::string up = fromClient();
        int count = 0;
        for (std::size_t at = 0; at + 5 <= up.size();) {
            if (up[at] == 23) ++count;
            at += 5 + (static_cast<unsigned char>(up[at + 3]) << 8 |
                       static_cast<unsigned char>(up[at + 4]));
        }
        return count;
    }

  private:
    void run() {
        std::vector<std::pair<int, int>> pairs;  // client, server
        while (true) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
            for (auto [c, s] : pairs) {
                fds.push_back({c, POLLIN, 0});
                fds.push_back({s, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents) break;
            if (fds[1].revents) {
                const int c = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                int s = -1;
                try {
                    s = quarnd_test::connectLoopback(target_);
                } catch (const std::exception&) {
                }
                if (c >= 0 && s >= 0) {
                    pairs.emplace_back(c, s);
                } else {
                    for (int fd : {c, s})
                        if (fd >= 0) ::close(fd);
                }
                continue;
            }
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                auto [c, s] = pairs[i];
                const bool ok = pass(fds[2 + 2 * i].revents, c, s, up_) &&
                                pass(fds[3 + 2 * i].revents, s, c, down_);
                if (!ok) {
                    ::close(c);
                    ::close(s);
                    pairs.erase(pairs.begin() + static_cast<long>(i));
                    break;
                }
            }
        }
        for (auto [c, s] : pairs) {
            ::close(c);
            ::close(s);
        }
    }
    bool pass(short revents, int from, int to, std::string& record) {
        if (!revents) return true;
        char buf[16384];
        const ssize_t n = ::recv(from, buf, sizeof buf, 0);
        if (n <= 0) return false;
        {
            std::lock_guard<std::mutex> g(lock_);
            record.append(buf, static_cast<std::size_t>(n));
        }
        return ::send(to, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
    }

    std::atomic<int> target_;
    int listenFd_ = -1;
    int port_ = 0;
    int stop_[2] = {-1, -1};
    std::mutex lock_;
    std::string up_, down_;
    std::thread thread_;
};

uint32_t fakeNow = 0;

class OverTls : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        fakeNow = 5000;
        kavel::test::setService(&gd::Services::ticks, [] { return fakeNow; });
        kavel::test::setService(&gd::Services::dialogs, [this](const gd::DialogRequest& r) {
            asked.push_back(r);
            gd::DialogAnswer a;
            a.yes = answerYes;
            return a;
        });
        gd::initNetwork();
        openMainWindow();
        session().setHost("localhost");
        session().setTls(true);
        session().setPort(relay.port());
    }
    void TearDown() override {
        session().disconnect();
        gd::closeWindow(mainwin::Window);
    }

    bool runUntil(const std::function<bool()>& pred,
                  std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        return kavel::test::runSessionUntil(pred, limit);
    }
    bool connectAs(const std::string& name, const std::string& password) {
        setText(&ClientState::profileName, name);
        setText(&ClientState::nick, name);
        if (!session().connect(session().host(), session().port())) return false;
        session().restartKeepAlive();
        session().login(name, password);
        return runUntil([] { return hasFlag(flag::LoggedIn); });
    }
    std::string statusLines() {
        std::string all;
        for (int i = 0; i < gd::itemCount(mainwin::StatusList); ++i)
            all += gd::itemText(mainwin::StatusList, i) + "\n";
        return all;
    }
    std::string pinFile() { return gd::readWholeFile(kKnownServersFile).value_or(""); }

    kavel::test::WorkFolder work;
    quarnd_test::QuarndProcess server;
    Relay relay{server.tlsPort()};
    std::vector<gd::DialogRequest> asked;
    bool answerYes = true;
};

TEST_F(OverTls, LoginAndRoomChatLeaveNothingReadableOnTheWire) {
    quarnd_test::registeredLogin(server.chatPort(), "kryptos", "Zauberwort77");
    ASSERT_TRUE(connectAs("kryptos", "Zauberwort77"));
    EXPECT_FALSE(hasFlag(flag::Guest));
    // Self-signed: asked once, with the server and its fingerprint.
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, gd::DialogRequest::YesNo);
    EXPECT_EQ(asked[0].title, "Unbekanntes Zertifikat");
    EXPECT_THAT(asked[0].text, HasSubstr("localhost:" + std::to_string(relay.port())));
    EXPECT_THAT(asked[0].text, HasSubstr(server.fingerprint()));

    auto bob = quarnd_test::guest(server.chatPort(), "bob");
    session().joinRoom("Lobby");
    ASSERT_TRUE(runUntil([] { return joinedRooms.size() == 1; }));
    bob->command("JOIN Lobby");
    bob->drain();
    session().send("CHAT Lobby Streng vertraulich 4711");
    bool seen = false;
    for (int i = 0; i < 20 && !seen; ++i)
        for (const auto& t : bob->drain(50))
            for (const auto& m : t)
                seen = seen || m == "CHAT Lobby kryptos: Streng vertraulich 4711";
    EXPECT_TRUE(seen);
    bob->send("CHAT Lobby Antwort im Klartext 0815");
    ChatRoom* room = joinedRooms[0];
    ASSERT_TRUE(runUntil([&] {
        auto* view = gd::chatLogViewOf(test::roomWindow(room).view);
        return view && gd::fromQString(view->plainText(0, view->log().length()))
                               .find("Antwort im Klartext 0815") != std::string::npos;
    }));

    const std::string up = relay.fromClient();
    const std::string down = relay.fromServer();
    ASSERT_GT(up.size(), 300u);
    for (const char* secret : {"Zauberwort77", "LOGIN", "kryptos", "Streng vertraulich", "Lobby"})
        EXPECT_EQ(up.find(secret), std::string::npos) << secret;
    for (const char* secret : {"Antwort im Klartext", "Streng vertraulich", "Login erfolgreich"})
        EXPECT_EQ(down.find(secret), std::string::npos) << secret;
}

TEST_F(OverTls, ARememberedCertificateIsKeptAndAChangedOneRefusedBeforeAnythingIsSent) {
    ASSERT_TRUE(connectAs("gast1", ""));
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(pinFile(),
              "localhost " + std::to_string(relay.port()) + " " + server.fingerprint() + "\n");
    session().disconnect();

    // The server restarts on its data folder, the client as a new program:
    // the same certificate connects without a question.
    server.restart();
    relay.setTarget(server.tlsPort());
    session().setTls(true);
    ASSERT_TRUE(connectAs("gast1", ""));
    EXPECT_EQ(asked.size(), 1u);
    session().disconnect();

    // Another server with a key of its own behind the same name and port.
    quarnd_test::QuarndProcess other;
    Relay watched(other.tlsPort());
    ASSERT_TRUE(rememberFingerprint("localhost", watched.port(), server.fingerprint()));
    session().setPort(watched.port());
    setText(&ClientState::profileName, "gast2");
    EXPECT_FALSE(session().connect(session().host(), session().port()));
    EXPECT_FALSE(hasFlag(flag::Connected));
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].kind, gd::DialogRequest::Message);
    EXPECT_EQ(asked[1].title, "Warnung");
    EXPECT_THAT(asked[1].text, HasSubstr(server.fingerprint()));
    EXPECT_THAT(asked[1].text, HasSubstr(other.fingerprint()));
    EXPECT_THAT(statusLines(), HasSubstr("abgewiesen - das Zertifikat hat sich ge\xE4ndert"));
    // Nothing but the handshake's Finished and our close_notify went out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (watched.clientDataRecords() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(watched.clientDataRecords(), 2);
    EXPECT_THAT(other.logWith("disconnect"), Not(HasSubstr("gast2")));
    // The pin stays as it was.
    EXPECT_EQ(knownFingerprint("localhost", watched.port()), server.fingerprint());
}

TEST_F(OverTls, NoMeansNoConnectionAndNothingRemembered) {
    answerYes = false;
    setText(&ClientState::profileName, "gast3");
    EXPECT_FALSE(session().connect(session().host(), session().port()));
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_FALSE(hasFlag(flag::Connected));
    EXPECT_FALSE(gd::fileExists(kKnownServersFile));
    EXPECT_THAT(statusLines(), HasSubstr("Zertifikat nicht angenommen"));
}

TEST_F(OverTls, ACertificateTheTrustStoreVouchesForIsNotAskedAbout) {
    if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl";
    const std::filesystem::path dir = work.path() / "ca";
    std::filesystem::create_directories(dir);
    const std::string d = dir.string();
    const std::string script =
        "cd '" + d +
        "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
        "-keyout ca.key -out ca.pem -days 2 -subj /CN=Test-CA 2>/dev/null && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout srv.key "
        "-out srv.csr -subj /CN=localhost 2>/dev/null && "
        "printf 'subjectAltName=DNS:localhost\\n' >ext.cnf && "
        "openssl x509 -req -in srv.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
        "-extfile ext.cnf -out srv.pem 2>/dev/null";
    ASSERT_EQ(std::system(script.c_str()), 0);
    quarnd_test::QuarndProcess::Options o;
    o.extraArgs = {"--tls-cert", d + "/srv.pem", "--tls-key", d + "/srv.key"};
    quarnd_test::QuarndProcess signedServer(o);
    relay.setTarget(signedServer.tlsPort());
    kavel::test::setService(&gd::Services::trustedCertificates, d + "/ca.pem");

    ASSERT_TRUE(connectAs("gast4", ""));
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(gd::fileExists(kKnownServersFile));
    session().disconnect();

    // The authority vouches for "localhost", not for the address.
    session().setHost("127.0.0.1");
    answerYes = false;
    EXPECT_FALSE(session().connect(session().host(), session().port()));
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(OverTls, AFailedHandshakeIsToldInGerman) {
    // A web server where the chat server was expected answers the
    // ClientHello with an HTTP error.
    kavel_test::ScriptServer web;
    std::thread peer([&] {
        if (!web.accept(5000)) return;
        web.read(50);
        web.send("HTTP/1.1 400 Bad Request\r\n\r\n");
        web.closeClient();
    });
    session().setPort(web.port());
    EXPECT_FALSE(session().connect(session().host(), session().port()));
    peer.join();
    EXPECT_TRUE(asked.empty());
    EXPECT_THAT(statusLines(), HasSubstr("Verschl\xFCsselte Verbindung zu localhost:" +
                                         std::to_string(web.port()) +
                                         " fehlgeschlagen: Fehler im TLS-Protokoll: "));
}

TEST_F(OverTls, BytesHeldDecryptedAreReadAndTheLoopDoesNotWaitOnThem) {
    auto bob = quarnd_test::guest(server.chatPort(), "bob");
    bob->command("JOIN Lobby");
    ASSERT_TRUE(connectAs("gast5", ""));
    session().joinRoom("Lobby");
    ASSERT_TRUE(runUntil([] {
        return joinedRooms.size() == 1 &&
               gd::itemCount(test::roomWindow(joinedRooms[0]).userList) == 2;
    }));
    // Whatever else the join brings, read before the test starts.
    runUntil([] { return false; }, std::chrono::milliseconds(300));
    const std::string long_text(3000, 'z');
    bob->send("CHAT Lobby " + long_text);
    // The whole record has come when the stream first says so.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (gd::socketState(clientState.connection) != gd::SocketState::Readable &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<std::string> got;
    for (const auto& m : session().readMessages())
        got.push_back(m);
    ASSERT_TRUE(gd::tlsHoldsInput(clientState.connection));
    // Waiting now would wait for bytes that are already here: the loop
    // must not even get to block (a watchdog ends a wait that does).
    int blocked = 0;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    const auto counting =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] { ++blocked; });
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gd::wakeMainLoop();
    });
    for (int i = 0; i < 20; ++i)
        gd::waitForWork(gd::kWaitForever, clientState.connection);
    done = true;
    watchdog.join();
    QObject::disconnect(counting);
    EXPECT_EQ(blocked, 0);
    while (gd::socketState(clientState.connection) == gd::SocketState::Readable)
        for (const auto& m : session().readMessages())
            got.push_back(m);
    EXPECT_THAT(got, ::testing::Contains("CHAT Lobby bob: " + long_text));
}

TEST_F(OverTls, PasteGoesOverHttpsAndItsLinkOpensOverHttps) {
    const std::string setting = "https://localhost:" + std::to_string(server.pasteTlsPort());
    const std::string body = "titel=t&dauer=600&site=script_paste_tempcode&code=nur+f%FCr+uns";
    const std::string link = session().postForm(setting, "main.php", body);
    ASSERT_THAT(link, ::testing::StartsWith(setting + "/main.php?"));
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(knownFingerprint("localhost", server.pasteTlsPort()), server.fingerprint());
    // A second paste is not asked about.
    EXPECT_FALSE(session().postForm(setting, "main.php", body).empty());
    EXPECT_EQ(asked.size(), 1u);

    quarnd_test::RawQuarnClient browser(server.pasteTlsPort());
    ASSERT_TRUE(browser.startTls());
    browser.sendRaw("GET " + link.substr(link.find("/main.php")) +
                    " HTTP/1.1\r\nHost: localhost\r\n\r\n");
    browser.waitClosed();
    EXPECT_EQ(quarnd_test::statusOf(browser.buffered()), "HTTP/1.1 200 OK");
    EXPECT_THAT(browser.buffered(), HasSubstr("nur f\xFCr uns"));
}

// The closed-connection check and the repair with rejoin, over TLS: the
// server dies, comes back on its data folder (the same certificate) behind
// the same address, and the session returns without a question.
TEST_F(OverTls, ABrokenSessionIsNoticedAndRepairedWithItsRooms) {
    setFlag(flag::NoSound);
    ASSERT_TRUE(connectAs("gast7", ""));
    session().joinRoom("Lobby");
    ASSERT_TRUE(runUntil([] { return joinedRooms.size() == 1; }));
    ChatRoom* room = joinedRooms[0];
    ::kill(server.pid(), SIGKILL);
    ASSERT_TRUE(
        runUntil([&] { return statusLines().find("Verbindung getrennt") != std::string::npos; }));
    // While the repair waits, the server comes back behind the same address.
    server.restart();
    relay.setTarget(server.tlsPort());
    fakeNow += RepairDelay;
    session().repairStep();  // the main loop's next pass
    ASSERT_TRUE(runUntil([&] {
        return hasFlag(flag::LoggedIn) && gd::itemCount(test::roomWindow(room).userList) > 0;
    }));
    EXPECT_EQ(joinedRooms, std::vector<ChatRoom*>{room});
    EXPECT_TRUE(gd::isTls(clientState.connection));
    EXPECT_EQ(asked.size(), 1u);  // the first connect's question only
}

TEST_F(OverTls, PlainConnectionsAreAsBefore) {
    session().setTls(false);
    session().setPort(server.chatPort());
    ASSERT_TRUE(connectAs("gast6", ""));
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(gd::isTls(clientState.connection));
    EXPECT_FALSE(gd::fileExists(kKnownServersFile));
}

}  // namespace
