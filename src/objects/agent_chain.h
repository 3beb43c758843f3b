#pragma once
// The chains through the loaded plug-in agents, in AgentList order, each
// agent receiving the previous one's result. Every caller goes through
// these functions, so the agents' slots are wired up in one place.

#include <string>
#include <utility>

#include "common/plugin_entries.h"

namespace kavel {

// The chain of one text entry point (every one but Setup), by its index in
// kPluginEntries.
std::string runChain(int entry, std::string text);

// The line a user is about to send from a room.
inline std::string runProcessTOut(std::string text) {
    return runChain(plugin_entry::ProcessTOut, std::move(text));
}
// A text about to be shown in a room.
inline std::string runProcessRIn(std::string text) {
    return runChain(plugin_entry::ProcessRIn, std::move(text));
}
// The raw data of one read from the server. Empty data reaches no plug-in.
inline std::string runProcessRCmd(std::string data) {
    return runChain(plugin_entry::ProcessRCmd, std::move(data));
}
// The commands plug-ins want to send (the command poll starts it with "").
inline std::string runProcessTCmd(std::string text) {
    return runChain(plugin_entry::ProcessTCmd, std::move(text));
}

}  // namespace kavel
