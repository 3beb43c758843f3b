// quarnd: the QUARN chat server and paste service for local use.
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "options.h"
#include "server.h"

namespace {

quarnd::Server* g_server = nullptr;

void onSignal(int) {
    if (g_server) g_server->requestStop();
}

// The first line of the log: what runs and where (a service's journal has
// no command line to look at).
void logStart(const quarnd::ServerConfig& config, const quarnd::Server& server) {
    if (!config.logToStderr) return;
    char when[32];
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::error_code ec;
    const std::filesystem::path data = std::filesystem::absolute(config.dataDir, ec);
    const std::string paste =
        server.pastePort() ? "paste port " + std::to_string(server.pastePort()) : "paste off";
    std::string tls = server.tlsPort() ? "TLS chat port " + std::to_string(server.tlsPort())
                                       : std::string("TLS chat off");
    tls += server.pasteTlsPort() ? ", HTTPS paste port " + std::to_string(server.pasteTlsPort())
                                 : std::string(", HTTPS paste off");
    if (!server.fingerprint().empty()) tls += ", certificate SHA-256 " + server.fingerprint();
    std::fprintf(stderr, "%s quarnd: quarnd %s started: chat port %u, %s, %s, data folder %s\n",
                 when, QUARND_VERSION, server.chatPort(), paste.c_str(), tls.c_str(),
                 (ec ? config.dataDir : data).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const quarnd::Options options = quarnd::parseOptions(args);
    if (!options.error.empty()) {
        std::fprintf(stderr, "quarnd: %s\n\n%s", options.error.c_str(),
                     quarnd::usageText().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(quarnd::usageText().c_str(), stdout);
        return 0;
    }

    // A client vanishing mid-write must cost us that client, not the process.
    signal(SIGPIPE, SIG_IGN);
    try {
        quarnd::Server server(options.server);
        g_server = &server;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);

        const std::string fingerprint = server.fingerprint();
        std::printf("listening chat=%u paste=%u tls=%u paste-tls=%u%s%s\n", server.chatPort(),
                    server.pastePort(), server.tlsPort(), server.pasteTlsPort(),
                    fingerprint.empty() ? "" : " sha256=", fingerprint.c_str());
        std::fflush(stdout);
        logStart(options.server, server);
        server.run();
        g_server = nullptr;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quarnd: %s\n", e.what());
        return 1;
    }
    return 0;
}
