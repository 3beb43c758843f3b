// The plug-in host: agents on the class system, loading and unloading,
// the Setup threads and the command poll.
#include "objects/CLASS_Agents.h"

#include <kavel/plugin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <iterator>
#include <new>
#include <type_traits>
#include <utility>

#include "common/data.h"
#include "common/plugin_entries.h"
#include "common/ports.h"
#include "common/reset.h"
#include "objects/CLASS_Object.h"
#include "objects/agent_chain.h"
#include "system/faults.h"
#include "system/library.h"

namespace kavel {

namespace pf = platform;

struct Agent {
    Object header;
    // As the loader found them, in the order of kPluginEntries; read through
    // entryOf(), which gives each its type.
    void* entries[kPluginEntryCount];
    int32_t listPosition;
    void* library;
    std::string name;
};

namespace {

std::atomic<int> setupsRunning{0};
// The plug-in whose library is being opened or closed right now, so that a
// fault in its constructors or destructors finds it in the crash report.
const Agent* leaving = nullptr;
const std::string* arriving = nullptr;
// Set at the end of the program: the GUI thread may be gone at any moment,
// so a Setup thread returning now keeps its library to the end.
std::atomic<bool> endingProgram{false};

Agent* self(Object* o) {
    return reinterpret_cast<Agent*>(o);
}

// The type of each entry point, as the SDK names it.
template <int Entry>
struct EntryType;
#define KAVEL_ENTRY_TYPE(name, pattern, report) \
    template <>                                 \
    struct EntryType<plugin_entry::name> {      \
        using type = Kavel##name;               \
    };
KAVEL_PLUGIN_ENTRIES(KAVEL_ENTRY_TYPE)
#undef KAVEL_ENTRY_TYPE
template <int Entry>
using EntryFn = typename EntryType<Entry>::type;

template <int Entry>
EntryFn<Entry> entryOf(const Agent* a) {
    return reinterpret_cast<EntryFn<Entry>>(a->entries[Entry]);
}

// The plug-in's result is copied at once: the plug-in may reuse its buffer
// on the next call.
std::string copyResult(const char* result) {
    return result ? std::string(result) : std::string();
}

// --- slots ---

// A text entry point: without it the text passes unchanged; a null result
// makes the text empty.
template <int Entry>
std::string processText(Object* o, const std::string& text) {
    Agent* a = self(o);
    const auto entry = entryOf<Entry>(a);
    if (!entry) return text;
    pf::PluginCallMark mark(a->name.c_str());
    return copyResult(entry(&clientState, text.c_str()));
}

// Unlike the other text entry points, a null result keeps the data: losing
// what the server sent because a plug-in had nothing to say would break the
// session.
std::string processRCmd(Object* o, const std::string& data) {
    Agent* a = self(o);
    const auto entry = entryOf<plugin_entry::ProcessRCmd>(a);
    if (!entry || data.empty()) return data;
    pf::PluginCallMark mark(a->name.c_str());
    const char* result = entry(&clientState, data.c_str());
    return result ? std::string(result) : data;
}

void setup(Object* o) {
    Agent* a = self(o);
    const KavelSetup entry = entryOf<plugin_entry::Setup>(a);
    if (!entry) {
        if (ports().messageBox)
            ports().messageBox(ui(Txt::InformationTitle), ui(Txt::PluginNoSetup, a->name));
        return;
    }
    // The thread holds its own reference to the library: if the user
    // unloads the plug-in while its window is open, the code the thread is
    // running stays mapped until Setup returns.
    void* hold = pf::retainLibrary(a->library);
    ++setupsRunning;
    const bool started = pf::startDetachedThread([entry, hold, name = a->name] {
        // A fault in the plug-in ends this thread; the question about it
        // is asked on the main thread.
        pf::runGuarded([&] {
            pf::PluginCallMark mark(name.c_str());
            entry(&clientState);
        });
        --setupsRunning;
        // Released on the GUI thread, which is never inside plug-in code
        // when it picks up the job; right now it may still be unwinding
        // from the plug-in's last queued call.
        if (hold && !endingProgram) pf::runOnMainThread([hold] { pf::closeLibrary(hold); });
    });
    if (!started) {
        --setupsRunning;
        pf::closeLibrary(hold);
    }
}

// The call slot of each entry point: a text entry point's unless named here.
template <int Entry>
constexpr auto kCall = &processText<Entry>;
template <>
constexpr auto kCall<plugin_entry::ProcessRCmd> = &processRCmd;
template <>
constexpr auto kCall<plugin_entry::Setup> = &setup;

// Which entry points agentProcess() may run.
template <std::size_t... Entry>
constexpr auto textEntries(std::index_sequence<Entry...>) {
    using Text = std::string (*)(Object*, const std::string&);
    return std::array{std::is_same_v<std::remove_cv_t<decltype(kCall<Entry>)>, Text>...};
}
constexpr auto kTextEntry = textEntries(std::make_index_sequence<kPluginEntryCount>());
static_assert(kTextEntry.size() == kPluginEntryCount);

template <int Entry>
void setEntry(Object* o, EntryFn<Entry> entry) {
    self(o)->entries[Entry] = reinterpret_cast<void*>(entry);
}

std::string getName(Object* o) {
    return self(o)->name;
}

// Opening and closing a library runs the plug-in's own constructors and
// destructors; the crash handler must know whose they are.
void* openMarked(const std::string& path, const std::string& name) {
    void* library = nullptr;
    arriving = &name;
    pf::runGuarded([&] {
        pf::PluginCallMark mark(name.c_str(), pf::PluginCall::Load);
        library = pf::openLibrary(path);
    });
    arriving = nullptr;
    return library;
}

void closeMarked(const Agent* a) {
    leaving = a;
    pf::runGuarded([a] {
        pf::PluginCallMark mark(a->name.c_str(), pf::PluginCall::Unload);
        pf::closeLibrary(a->library);
    });
    leaving = nullptr;
}

void unload(Object* o) {
    Agent* a = self(o);
    std::erase(AgentList, a);
    // Closing the library runs its destructors: a plug-in saves its data now.
    closeMarked(a);
    a->library = nullptr;
    using std::string;
    a->name.~string();
    kavel::destroy(o);
}

// The generated slot names and the slot arithmetic agree.
#define KAVEL_CHECK_SLOTS(name, pattern, report)                               \
    static_assert(agent_slot::name == agent_slot::callOf(plugin_entry::name)); \
    static_assert(agent_slot::Set##name == agent_slot::setterOf(plugin_entry::name));
KAVEL_PLUGIN_ENTRIES(KAVEL_CHECK_SLOTS)
#undef KAVEL_CHECK_SLOTS

template <std::size_t... Entry>
void addAgentMethods(std::index_sequence<Entry...>) {
    addMethods<agent_slot::Count>(inSlot<agent_slot::callOf(Entry)>(kCall<Entry>)...,
                                  inSlot<agent_slot::setterOf(Entry)>(&setEntry<Entry>)...,
                                  inSlot<agent_slot::GetName>(&getName));
}

// Through the agent's own setter slots, in the order of kPluginEntries.
template <int Entry>
void store(Agent* agent, void* address) {
    callSlot<void, EntryFn<Entry>>(&agent->header, agent_slot::setterOf(Entry),
                                   reinterpret_cast<EntryFn<Entry>>(address));
}
template <std::size_t... Entry>
constexpr auto storeTable(std::index_sequence<Entry...>) {
    return std::array{&store<Entry>...};
}
constexpr auto kStore = storeTable(std::make_index_sequence<kPluginEntryCount>());
static_assert(kStore.size() == kPluginEntryCount);

}  // namespace

int entryKind(std::string_view exportName) {
    std::string upper(exportName);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (std::size_t i = 0; i < kPluginEntryCount; ++i)
        if (upper.find(kPluginEntries[i].pattern) != std::string::npos) return static_cast<int>(i);
    return -1;
}

std::string pluginFileName(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (!path.empty() && path.front() == '"') path.remove_prefix(1);
    return std::string(path.substr(0, path.find('"')));
}

Agent* newAgent(const std::string& name, void* library) {
    registerClass(sizeof(Agent), "Agent");
    addAgentMethods(std::make_index_sequence<kPluginEntryCount>());
    overrideMethod(asMethod(&kavel::destroy), asMethod(&unload));
    auto* agent = reinterpret_cast<Agent*>(createObject());
    if (!agent) return nullptr;
    new (&agent->name) std::string(name);
    agent->library = library;
    endingProgram = false;  // loading again: the program goes on (tests)
    AgentList.push_back(agent);
    agent->listPosition = static_cast<int32_t>(AgentList.size()) - 1;
    return agent;
}

bool usablePluginName(std::string_view name) {
    // prefs.ini drops the blanks before a value, so a name starting with one
    // would come back as another file once it is first in the list.
    if (!name.empty() && (name.front() == ' ' || name.front() == '\t')) return false;
    return name.find_first_of(std::string_view("\r\n\0=,", 5)) == std::string_view::npos;
}

namespace {

void reportUnusableName(std::string_view name) {
    std::string shown(name);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    if (ports().status) ports().status(ui(Own::PluginNameRefused, shown));
}

}  // namespace

Agent* loadPlugin(const std::string& path) {
    const std::string name = pluginFileName(path);
    if (!usablePluginName(name) || path.find('\0') != std::string::npos) {
        reportUnusableName(name);
        return nullptr;
    }
    void* library = openMarked(path, name);
    if (!library) return nullptr;
    Agent* agent = newAgent(name, library);
    if (!agent) {
        pf::closeLibrary(library);
        return nullptr;
    }
    // The file that was actually mapped, in case the path was relative.
    std::string file = pf::libraryPath(library);
    if (file.empty()) file = path;
    for (const std::string& name : pf::exportedFunctions(file)) {
        const int kind = entryKind(name);
        if (kind < 0) continue;
        if (void* address = pf::librarySymbol(library, name)) kStore[kind](agent, address);
    }
    return agent;
}

std::string agentProcess(Agent* agent, int entry, const std::string& text) {
    const bool runnable =
        entry >= 0 && entry < plugin_entry::Count && kTextEntry[static_cast<std::size_t>(entry)];
    assert(runnable);
    if (!runnable) return text;
    return callSlot<std::string, const std::string&>(&agent->header, agent_slot::callOf(entry),
                                                     text);
}
void agentSetup(Agent* agent) {
    callSlot<void>(&agent->header, agent_slot::Setup);
}
std::string agentGetName(Agent* agent) {
    return callSlot<std::string>(&agent->header, agent_slot::GetName);
}
void agentDestroy(Agent* agent) {
    callSlot<void>(&agent->header, agent_slot::Destroy);
}
int32_t agentListPosition(Agent* agent) {
    return agent->listPosition;
}

void unloadAllAgents() {
    while (!AgentList.empty())
        agentDestroy(AgentList.back());
}

namespace {
// Between runs no plug-in stays loaded: the agents and their libraries go.
const bool registered = registerReset([] {
    unloadAllAgents();
    endingProgram = false;
});
}  // namespace

void freeAllAgents() {
    endingProgram = true;
    unloadAllAgents();
    if (runningSetups() == 0) releaseRetiredTexts();
}

std::vector<std::string> listPluginFiles(const std::string& folder) {
    std::vector<std::string> names = pf::listFolder(folder, kPluginPattern);
    std::erase_if(names, [](const std::string& name) {
        if (usablePluginName(name)) return false;
        reportUnusableName(name);
        return true;
    });
    return names;
}

std::optional<std::string> takePluginCommand() {
    // Cleared before the chain runs, so a plug-in asking again meanwhile
    // gets its turn in the next pass instead of being wiped out.
    if (!takeOptionBits(opt::PluginCommandRequest)) return std::nullopt;
    std::string command = runProcessTCmd(std::string());
    if (command.empty()) return std::nullopt;
    command.pop_back();  // each plug-in's terminator; the send adds the CR
    return command;
}

int runningSetups() {
    return setupsRunning.load();
}

bool commandPluginLoaded() {
    return std::any_of(AgentList.begin(), AgentList.end(),
                       [](const Agent* a) { return entryOf<plugin_entry::ProcessTCmd>(a); });
}

std::vector<pf::LoadedPlugin> loadedPlugins() {
    std::vector<pf::LoadedPlugin> out;
    auto add = [&out](const Agent* a) {
        pf::LoadedPlugin p;
        p.name = a->name;
        p.handle = a->library;
        static_assert(std::extent_v<decltype(pf::LoadedPlugin::entries)> ==
                      std::extent_v<decltype(Agent::entries)>);
        std::copy(std::begin(a->entries), std::end(a->entries), p.entries);
        out.push_back(std::move(p));
    };
    for (const Agent* a : AgentList)
        add(a);
    if (leaving) add(leaving);
    // Still inside its library's constructors: no handle, no entry points.
    if (arriving) out.push_back(pf::LoadedPlugin{*arriving, nullptr, {}});
    return out;
}

}  // namespace kavel
