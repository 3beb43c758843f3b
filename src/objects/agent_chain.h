#pragma once
// The four chains through the loaded plug-in agents, in AgentList order,
// each agent receiving the previous one's result. Every caller goes through
// these functions, so the agents' slots are wired up in one place.

#include <string>

namespace kavel {

// The line a user is about to send from a room.
std::string runProcessTOut(std::string text);
// A text about to be shown in a room.
std::string runProcessRIn(std::string text);
// The raw data of one read from the server. Empty data reaches no plug-in.
std::string runProcessRCmd(std::string data);
// The commands plug-ins want to send (the command poll starts it with "").
std::string runProcessTCmd(std::string text);

}  // namespace kavel
