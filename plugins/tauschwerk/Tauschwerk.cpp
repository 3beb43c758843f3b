// Tauschwerk: replaces words of the user's outgoing lines by the user's own
// replacements. Exports ProcessTOut and Setup; reads plugins/macro.dat when
// loaded and writes it back when unloaded.
#include <kavel/plugin.h>

#include <map>
#include <mutex>
#include <thread>

#include "common/LEXER.h"
#include "editor.h"
#include "rules.h"
#include "store.h"

namespace tauschwerk {

namespace {

// Created when the library is loaded and deleted when it is unloaded, by
// the two functions below, so nothing depends on the order in which C++
// statics and the unload function are torn down.
struct PluginState {
    std::mutex mutex;
    RuleList rules;
    // One result per calling thread: the client copies a result before it
    // calls again, but another thread may call in between.
    std::map<std::thread::id, std::string> results;
};

PluginState* state = nullptr;

__attribute__((constructor)) void loaded() {
    state = new PluginState;
    kavel::InitLexTable();
    state->rules = loadRuleFile(kRuleFile);
}

__attribute__((destructor)) void unloaded() {
    if (!state) return;
    {
        std::lock_guard lock(state->mutex);
        saveRuleFile(kRuleFile, state->rules);
    }
    delete state;
    state = nullptr;
}

}  // namespace

RuleList currentRules() {
    std::lock_guard lock(state->mutex);
    return state->rules;
}

void replaceRules(RuleList rules) {
    std::lock_guard lock(state->mutex);
    state->rules = std::move(rules);
}

}  // namespace tauschwerk

extern "C" {

KAVEL_EXPORT const char* ProcessTOut(KavelClientState* client, const char* text) {
    using namespace tauschwerk;
    if (!text) return nullptr;
    const int32_t colour = client ? client->textColour : 0;
    std::lock_guard lock(state->mutex);
    std::string& result = state->results[std::this_thread::get_id()];
    result = rewrite(state->rules, text, colour);
    return result.c_str();
}

KAVEL_EXPORT uint32_t Setup(KavelClientState* client) {
    return tauschwerk::runEditor(client);
}

}  // extern "C"
