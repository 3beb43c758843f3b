#include "core/prefs_options.h"

#include "common/program_options.h"
#include "core/rejoin.h"

namespace kavel {

namespace {

bool switchedOn(const std::optional<std::string>& value) {
    if (!value) return false;
    std::string_view v = *value;
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
        v.remove_suffix(1);
    return v == "1";
}

}  // namespace

void takeProgramOptions(const Settings& s) {
    ProgramOptions& o = programOptions();
    o.rejoinRooms = switchedOn(s.rejoinRooms);
    o.closeToTray = switchedOn(s.closeToTray);
    setRoomsToRejoin(s.openRooms ? decodeRoomList(*s.openRooms) : std::vector<std::string>{});
}

void putProgramOptions(Settings& s) {
    const ProgramOptions& o = programOptions();
    if (o.rejoinRooms) {
        s.rejoinRooms = "1";
        s.openRooms = encodeRoomList(roomsToRejoin());
    }
    if (o.closeToTray) s.closeToTray = "1";
}

}  // namespace kavel
