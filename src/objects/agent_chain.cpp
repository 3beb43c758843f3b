#include "objects/agent_chain.h"

#include "common/data.h"
#include "objects/CLASS_Agents.h"

namespace kavel {

// The agent set only changes at start-up and in the plug-in manager, never
// while a chain runs, so the list is walked in place.
std::string runChain(int entry, std::string text) {
    for (Agent* agent : AgentList)
        text = agentProcess(agent, entry, text);
    return text;
}

}  // namespace kavel
