// prefs.ini is a text file anyone may edit. Parsing never crashes, and what
// the client writes back reads as the same settings, less the plug-in names
// it refuses to keep (they could not be read back as themselves); the rooms
// to rejoin survive being written back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/prefs.h"
#include "core/rejoin.h"
#include "objects/CLASS_Agents.h"

namespace {

#define PREFS_CHECK(cond)                                                                    \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "prefs invariant broken: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const kavel::Settings first = kavel::parsePrefs(input);
    const kavel::Settings second = kavel::parsePrefs(kavel::formatPrefs(first));
    PREFS_CHECK(second.profile == first.profile);
    std::vector<std::string> usable;
    for (const std::string& name : kavel::pluginList(first.activePlugins))
        if (kavel::usablePluginName(name)) usable.push_back(name);
    PREFS_CHECK(kavel::pluginList(second.activePlugins) == usable);
    const bool faultedKept = first.faultedPlugin && kavel::usablePluginName(*first.faultedPlugin);
    PREFS_CHECK(second.faultedPlugin == (faultedKept ? first.faultedPlugin : std::nullopt));
    PREFS_CHECK(kavel::formatPrefs(second) == kavel::formatPrefs(first));
    PREFS_CHECK(second.server == first.server);
    PREFS_CHECK(second.pasteServer == first.pasteServer);
    PREFS_CHECK(second.rejoinRooms == first.rejoinRooms);
    PREFS_CHECK(second.openRooms == first.openRooms);
    PREFS_CHECK(second.closeToTray == first.closeToTray);
    // The rooms, whatever the file held, are written back as a line that
    // reads as the same rooms.
    const std::vector<std::string> rooms = kavel::decodeRoomList(first.openRooms.value_or(""));
    const std::string written = kavel::encodeRoomList(rooms);
    PREFS_CHECK(written.find_first_of("\r\n= ") == std::string::npos);
    PREFS_CHECK(kavel::decodeRoomList(written) == rooms);
    PREFS_CHECK(second.spellCheck == first.spellCheck);
    PREFS_CHECK(second.timeStamps == first.timeStamps);
    for (const std::string& name : kavel::pluginList(first.activePlugins))
        PREFS_CHECK(!name.empty() && name.find(',') == std::string::npos);
    return 0;
}
