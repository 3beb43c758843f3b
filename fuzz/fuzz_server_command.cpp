// Drives quarnd's session logic in memory: three sessions, the input split
// into lines, each line's first byte picking the session that sends it.
// Checks that every transmission is well framed, whatever the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "chat.h"
#include "protocol.h"
#include "store.h"

namespace {

std::filesystem::path g_admins;

class CheckingOutbox : public quarnd::Outbox {
  public:
    void deliver(quarnd::SessionId, std::string&& t) override {
        // One transmission: non-empty messages, each ending in CR, one NUL last.
        if (t.size() < 2 || t.back() != '\0' || t[t.size() - 2] != '\r' ||
            t.find('\0') != t.size() - 1 || t.find("\r\r") != std::string::npos || t[0] == '\r') {
            std::fprintf(stderr, "badly framed transmission (%zu bytes)\n", t.size());
            std::abort();
        }
    }
    void closeAfterFlush(quarnd::SessionId) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_admins = std::filesystem::temp_directory_path() /
               ("quarnd-fuzz-admins-" + std::to_string(getpid()) + ".txt");
    std::ofstream(g_admins) << "root\n";
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove(g_admins, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarnd::Store store(":memory:", 1);
    CheckingOutbox outbox;
    quarnd::ChatConfig config;
    config.adminsFile = g_admins;
    config.maxRooms = 50;
    config.clock = [] { return std::time_t(1700000000); };
    config.millis = [] { return std::int64_t(0); };  // the same input, the same drops
    quarnd::ChatCore core(store, outbox, config);

    quarnd::SessionId ids[3] = {core.open("a"), core.open("b"), core.open("c")};
    core.handleLine(ids[1], "LOGIN root  x");
    core.handleLine(ids[2], "LOGIN guest  x");
    core.handleLine(ids[2], "JOIN Lobby");

    quarnd::LineSplitter lines;
    lines.feed(std::string_view(reinterpret_cast<const char*>(data), size),
               [&](std::string_view line, bool /*cut*/) {
                   if (line.empty()) return;
                   const unsigned pick = static_cast<unsigned char>(line[0]);
                   quarnd::SessionId& id = ids[pick % 3];
                   line.remove_prefix(1);
                   if (pick == 0xFF) {  // hang up and come back as a new connection
                       core.close(id);
                       id = core.open("again");
                       return;
                   }
                   core.handleLine(id, line);
               });
    for (quarnd::SessionId id : ids)
        core.close(id);
    if (core.sessionCount() != 0 || core.loggedInCount() != 0) std::abort();
    return 0;
}
