// quarnd over TLS: chat and paste on their own ports beside the plain ones,
// the certificate it makes and keeps, handshakes that stall or fail, and
// decrypted input that the socket no longer shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "options.h"
#include "server/server_clients.h"
#include "support/quarnd_process.h"
#include "tls.h"

using quarnd_test::clientPost;
using quarnd_test::drainedMessages;
using quarnd_test::QuarndProcess;
using quarnd_test::RawQuarnClient;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using Messages = RawQuarnClient::Messages;

std::unique_ptr<RawQuarnClient> tlsClient(int port, int maxVersion = 0) {
    auto c = std::make_unique<RawQuarnClient>(port);
    if (!c->startTls("localhost", maxVersion)) throw std::runtime_error("TLS handshake failed");
    return c;
}

std::unique_ptr<RawQuarnClient> tlsGuest(int port, const std::string& name) {
    auto c = tlsClient(port);
    if (c->command("LOGIN " + name + "  [CLIENT:KAVEL@Windows]") != Messages{"[2]- Gast"})
        throw std::runtime_error("guest login over TLS refused");
    return c;
}

// One request over TLS; the reply until the server closes.
std::string httpsRequest(int port, const std::string& request) {
    RawQuarnClient c(port);
    if (!c.startTls()) return "<no handshake>";
    c.sendRaw(request);
    c.waitClosed();
    return c.buffered();
}

TEST(server_tls, ChatOverTlsMeetsChatInPlain) {
    QuarndProcess server;
    ASSERT_NE(server.tlsPort(), 0);
    auto alice = tlsGuest(server.tlsPort(), "alice");
    EXPECT_EQ(alice->tlsVersion(), "TLSv1.3");
    EXPECT_EQ(alice->peerFingerprint(), server.fingerprint());
    auto bob = quarnd_test::guest(server.chatPort(), "bob");
    alice->send("JOIN Lobby");
    drainedMessages(*alice);
    bob->send("JOIN Lobby");
    drainedMessages(*bob);
    drainedMessages(*alice);
    alice->send("CHAT Lobby geheim über TLS");
    EXPECT_THAT(drainedMessages(*bob), Contains("CHAT Lobby alice: geheim über TLS"));
    EXPECT_THAT(drainedMessages(*alice), Contains("CHAT Lobby alice: geheim über TLS"));
    bob->send("CHAT Lobby zurück");
    EXPECT_THAT(drainedMessages(*alice), Contains("CHAT Lobby bob: zurück"));
}

TEST(server_tls, OnlyTls12AndNewerAreSpoken) {
    QuarndProcess server;
    EXPECT_FALSE(RawQuarnClient(server.tlsPort()).startTls("localhost", TLS1_1_VERSION));
    EXPECT_FALSE(RawQuarnClient(server.pasteTlsPort()).startTls("localhost", TLS1_1_VERSION));
    auto old = tlsClient(server.tlsPort(), TLS1_2_VERSION);
    EXPECT_EQ(old->tlsVersion(), "TLSv1.2");
    EXPECT_EQ(old->command("LOGIN carol  [CLIENT:KAVEL@Windows]"), Messages{"[2]- Gast"});
    EXPECT_THAT(server.logWith("unsupported protocol"), HasSubstr("TLS handshake failed"));
}

TEST(server_tls, StalledHandshakesHoldNobodyUpAndRunOutOfTime) {
    QuarndProcess::Options o;
    o.extraArgs = {"--tls-timeout", "1"};
    QuarndProcess server(o);
    // Connected and silent, and one that sent half a ClientHello.
    std::vector<std::unique_ptr<RawQuarnClient>> stalled;
    for (int i = 0; i < 4; ++i)
        stalled.push_back(std::make_unique<RawQuarnClient>(server.tlsPort()));
    stalled.back()->sendRaw(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11));
    stalled.push_back(std::make_unique<RawQuarnClient>(server.pasteTlsPort()));
    auto alice = tlsGuest(server.tlsPort(), "alice");
    auto bob = quarnd_test::guest(server.chatPort(), "bob");
    EXPECT_EQ(alice->command("ROOMLIST").front(), "ROOMLIST_START");
    for (auto& s : stalled)
        EXPECT_TRUE(s->waitClosed(10000));
    EXPECT_THAT(server.log(), HasSubstr("TLS handshake not done in time"));
    EXPECT_EQ(alice->command("ROOMLIST").front(), "ROOMLIST_START");
}

TEST(server_tls, InputHeldDecryptedInsideTlsIsHandled) {
    QuarndProcess::Options o;
    o.extraArgs = {"--line-rate", "0"};  // the lines are filler, not a flood
    QuarndProcess server(o);
    auto alice = tlsGuest(server.tlsPort(), "alice");
    // Seven records of 10000 bytes, all waiting when the server looks: its
    // read budget of 64 KiB ends inside the last record, which TLS then
    // holds decrypted while the socket shows nothing more.
    const std::string tail = "ROOMLIST\r";
    std::string lines;
    while (lines.size() + 200 < 70000 - tail.size())
        lines += "CHAT Nirgendwo " + std::string(80, 'x') + "\r";
    lines += "CHAT Nirgendwo " + std::string(70000 - tail.size() - lines.size() - 16, 'y') + "\r";
    lines += tail;
    ASSERT_EQ(lines.size(), 70000u);
    ::kill(server.pid(), SIGSTOP);
    for (std::size_t at = 0; at < lines.size(); at += 10000)
        ASSERT_TRUE(alice->sendRaw(std::string_view(lines).substr(at, 10000)));
    ::kill(server.pid(), SIGCONT);
    const auto reply = alice->receive(10000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->front(), "ROOMLIST_START");
}

TEST(server_tls, PerAddressLimitCountsTlsConnections) {
    QuarndProcess::Options o;
    o.extraArgs = {"--max-per-address", "2"};
    QuarndProcess server(o);
    auto a = tlsClient(server.tlsPort());
    RawQuarnClient b(server.chatPort());
    b.send("LOGIN bob  [CLIENT:KAVEL@Windows]");
    RawQuarnClient c(server.chatPort());
    EXPECT_EQ(c.receive(), Messages{"[1]- Server voll"});
    RawQuarnClient d(server.tlsPort());
    EXPECT_FALSE(d.startTls());
}

TEST(server_tls, SelfMadeCertificateIsKeptAndItsKeyPrivate) {
    QuarndProcess server;
    const std::string first = server.fingerprint();
    ASSERT_EQ(first.size(), 32u * 3 - 1);
    const auto key = std::filesystem::path(server.dataDir()) / quarnd::kSelfKeyFile;
    struct stat st {};
    ASSERT_EQ(stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(quarnd::certificateFingerprint(std::filesystem::path(server.dataDir()) /
                                             quarnd::kSelfCertFile),
              first);
    server.restart();
    EXPECT_EQ(server.fingerprint(), first);
    EXPECT_EQ(tlsClient(server.tlsPort())->peerFingerprint(), first);
}

TEST(server_tls, GivenCertificateIsShownOnBothPorts) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("quarnd-cert-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    quarnd::makeSelfSignedCertificate(dir / "c.pem", dir / "k.pem", {"chat.example.lan"});
    const std::string expected = quarnd::certificateFingerprint(dir / "c.pem");
    {
        QuarndProcess::Options o;
        o.extraArgs = {"--tls-cert", (dir / "c.pem").string(), "--tls-key",
                       (dir / "k.pem").string()};
        QuarndProcess server(o);
        EXPECT_EQ(server.fingerprint(), expected);
        EXPECT_EQ(tlsClient(server.tlsPort())->peerFingerprint(), expected);
        EXPECT_EQ(tlsClient(server.pasteTlsPort())->peerFingerprint(), expected);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(server.dataDir()) /
                                             quarnd::kSelfCertFile));
    }
    // A key that is not the certificate's is refused at start.
    quarnd::makeSelfSignedCertificate(dir / "c2.pem", dir / "k2.pem", {"other"});
    QuarndProcess::Options bad;
    bad.extraArgs = {"--tls-cert", (dir / "c.pem").string(), "--tls-key",
                     (dir / "k2.pem").string()};
    EXPECT_THROW(QuarndProcess server(bad), std::runtime_error);
    std::filesystem::remove_all(dir);
}

TEST(server_tls, PasteOverHttpsLinksToHttps) {
    QuarndProcess server;
    const std::string body = "titel=t&dauer=600&site=script_paste_tempcode&code=streng+geheim";
    const std::string host = "localhost:" + std::to_string(server.pasteTlsPort());
    const std::string reply = httpsRequest(server.pasteTlsPort(), clientPost(host, body, "https"));
    EXPECT_EQ(quarnd_test::statusOf(reply), "HTTP/1.1 302 Found");
    const std::string link = quarnd_test::locationOf(reply);
    ASSERT_THAT(link, ::testing::StartsWith("https://" + host + "/main.php?"));
    const std::string path = link.substr(link.find("/main.php"));
    const std::string page = httpsRequest(
        server.pasteTlsPort(), "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    EXPECT_EQ(quarnd_test::statusOf(page), "HTTP/1.1 200 OK");
    EXPECT_THAT(page, HasSubstr("streng geheim"));
    // The plain port still hands out plain links.
    const std::string plainHost = "localhost:" + std::to_string(server.pastePort());
    const std::string plain =
        quarnd_test::httpRequest(server.pastePort(), clientPost(plainHost, body));
    EXPECT_THAT(quarnd_test::locationOf(plain), ::testing::StartsWith("http://" + plainHost));
}

// What a shell command prints, standard error included.
std::string shell(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

TEST(server_tls, OpensslClientSeesTls13AndThePrintedFingerprint) {
    if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl";
    QuarndProcess server;
    for (const int port : {server.tlsPort(), server.pasteTlsPort()}) {
        SCOPED_TRACE(port);
        const std::string connect = "openssl s_client -connect 127.0.0.1:" + std::to_string(port) +
                                    " -servername localhost </dev/null";
        EXPECT_THAT(shell(connect), HasSubstr("New, TLSv1.3, Cipher is"));
        EXPECT_THAT(shell(connect + " | openssl x509 -noout -fingerprint -sha256"),
                    HasSubstr("Fingerprint=" + server.fingerprint()));
        // Refused by the server, whatever the local policy allows.
        const std::string old = shell(
            "openssl s_client -tls1_1 -cipher DEFAULT@SECLEVEL=0 "
            "-connect 127.0.0.1:" +
            std::to_string(port) + " </dev/null");
        EXPECT_THAT(old, Not(HasSubstr("New, TLSv1")));
        EXPECT_THAT(old, HasSubstr("Cipher is (NONE)"));
    }
    EXPECT_THAT(server.logWith("unsupported protocol"), HasSubstr("unsupported protocol"));
}

TEST(server_tls, TlsOptions) {
    using quarnd::parseOptions;
    const auto defaults = parseOptions({});
    EXPECT_EQ(defaults.server.tlsPort, 1999);
    EXPECT_EQ(defaults.server.pasteTlsPort, 8443);
    const auto off = parseOptions({"--tls-port", "0", "--paste-tls-port=off"});
    EXPECT_FALSE(off.server.tlsPort);
    EXPECT_FALSE(off.server.pasteTlsPort);
    EXPECT_EQ(parseOptions({"--tls-port", "any"}).server.tlsPort, 0);
    EXPECT_EQ(parseOptions({"--tls-port", "2000"}).server.tlsPort, 2000);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--tls-port", "70000"},
                                                {"--tls-cert", "c.pem"},
                                                {"--tls-key", "k.pem"},
                                                {"--paste-tls-port", "x"},
                                                {"--tls-timeout", "0"}})
        EXPECT_FALSE(parseOptions(bad).error.empty()) << bad[0];
}

}  // namespace
