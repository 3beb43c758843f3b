#include "objects/agent_chain.h"

#include "common/data.h"

namespace kavel {

// The agents' method slots come with the plug-in host; until then an agent
// passes every text through unchanged. The loops already walk AgentList so
// the call sites, and their order, are final.

std::string runProcessTOut(std::string text) {
    for ([[maybe_unused]] Agent* agent : AgentList) {
    }
    return text;
}

std::string runProcessRIn(std::string text) {
    for ([[maybe_unused]] Agent* agent : AgentList) {
    }
    return text;
}

std::string runProcessRCmd(std::string data) {
    for ([[maybe_unused]] Agent* agent : AgentList) {
    }
    return data;
}

}  // namespace kavel
