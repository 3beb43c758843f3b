#pragma once
// The plug-in host: one Agent object per opened plug-in library, built on
// the class system, kept in AgentList in load order. The text chains over
// all agents are in agent_chain.h.
//
// Everything here runs on the main thread, except a plug-in's Setup, which
// gets a thread of its own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/plugin_entries.h"
#include "system/faults.h"

namespace kavel {

struct Agent;  // the record is private to CLASS_Agents.cpp

// After the root slots: one call slot per entry point (ProcessTOut, ...),
// one setter slot per entry point (SetProcessTOut, ...), both in the order of
// kPluginEntries, then GetName.
namespace agent_slot {
// clang-format off
enum : int {
    Destroy = 5,  // the agent's unload
#define KAVEL_AGENT_CALL_SLOT(name, pattern, report) name,
    KAVEL_PLUGIN_ENTRIES(KAVEL_AGENT_CALL_SLOT)
#undef KAVEL_AGENT_CALL_SLOT
#define KAVEL_AGENT_SETTER_SLOT(name, pattern, report) Set##name,
    KAVEL_PLUGIN_ENTRIES(KAVEL_AGENT_SETTER_SLOT)
#undef KAVEL_AGENT_SETTER_SLOT
    GetName,
    Count,  // the agent's table size
};
// clang-format on
constexpr int callOf(int entry) {
    return Destroy + 1 + entry;
}
constexpr int setterOf(int entry) {
    return callOf(plugin_entry::Count) + entry;
}
static_assert(GetName == setterOf(plugin_entry::Count));
}  // namespace agent_slot

// Plug-in libraries live in this folder of the working directory.
inline constexpr const char* kPluginFolder = "plugins";
inline constexpr const char* kPluginPattern = "*.so";

// Which entry point an exported name stands for: the index in
// kPluginEntries of the first pattern the upper-cased name contains, or -1.
int entryKind(std::string_view exportName);

// The name of a plug-in as shown and saved: the part of the path after its
// last folder separator, a leading double quote dropped, cut at the next one.
std::string pluginFileName(std::string_view path);

// A name that prefs.ini can hold and give back as itself: no line break (it
// would add keys of its own), no NUL (the path would end there), no "="
// and no "," (the list is split at commas).
bool usablePluginName(std::string_view name);

// Opens the library and appends its agent to AgentList. Null, without a
// message, when the library cannot be opened; null with a status line when
// the file's name is not usable.
Agent* loadPlugin(const std::string& path);
// The constructor of the class Agent; the agent takes over the library.
Agent* newAgent(const std::string& name, void* library);

// Typed calls; each goes through the agent's own method table.
// A text entry point (every one but Setup), by its index in kPluginEntries.
std::string agentProcess(Agent* agent, int entry, const std::string& text);
// Starts the plug-in's Setup on a thread of its own, or tells the user that
// the plug-in has none.
void agentSetup(Agent* agent);
std::string agentGetName(Agent* agent);
// Unloads: leaves AgentList, releases the library, frees the agent.
void agentDestroy(Agent* agent);
// Position in AgentList when the agent was added.
int32_t agentListPosition(Agent* agent);

// Unloads every agent, always the last one of AgentList first.
void unloadAllAgents();
// The end of the program, after the settings were saved: unloads every
// agent, so each plug-in saves its data, and frees the texts plug-ins may
// have held. A Setup thread still running keeps its library (and the texts)
// until the process ends.
void freeAllAgents();

// The plug-in files of a folder, in the order the file system lists them.
// A file whose name is not usable is left out with a status line.
std::vector<std::string> listPluginFiles(const std::string& folder);

// The command poll of one main-loop pass: when a plug-in has asked for a
// turn, clears the request and runs the command chain on an empty text.
// Returns the text to send (the chain's result without its last character),
// or nothing when there was no request or the chain's result was empty.
std::optional<std::string> takePluginCommand();

// Setup threads that have not returned yet.
int runningSetups();
// True when a loaded plug-in exports ProcessTCmd: only such a plug-in has a
// reason to ask for a turn from a thread of its own.
bool commandPluginLoaded();

// The loaded plug-ins as the crash report lists them, in AgentList order,
// and the one whose library is being opened or closed at the moment.
std::vector<platform::LoadedPlugin> loadedPlugins();

}  // namespace kavel
