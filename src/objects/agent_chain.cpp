#include "objects/agent_chain.h"

#include "common/data.h"
#include "objects/CLASS_Agents.h"

namespace kavel {

namespace {

// The agent set only changes at start-up and in the plug-in manager, never
// while a chain runs, so the list is walked in place.
template <std::string (*Step)(Agent*, const std::string&)>
std::string chain(std::string text) {
    for (Agent* agent : AgentList)
        text = Step(agent, text);
    return text;
}

}  // namespace

std::string runProcessTOut(std::string text) {
    return chain<&agentProcessTOut>(std::move(text));
}

std::string runProcessRIn(std::string text) {
    return chain<&agentProcessRIn>(std::move(text));
}

std::string runProcessRCmd(std::string data) {
    return chain<&agentProcessRCmd>(std::move(data));
}

std::string runProcessTCmd(std::string text) {
    return chain<&agentProcessTCmd>(std::move(text));
}

}  // namespace kavel
