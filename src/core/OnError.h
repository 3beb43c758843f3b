#pragma once
// The crash handler: a fault anywhere in the client writes a dated dump
// file naming the source file and line, the kind of fault and the loaded
// plug-ins, and asks whether the program shall go on. "Yes" abandons what
// the main loop pass was doing and the loop goes on; "No" ends the program
// at once, without writing the settings.
//
// The plug-in host runs a plug-in's Setup through platform::runGuarded on
// its thread: a fault there is reported and ends that thread; the question
// is asked on the main thread by the next loop pass. While the host calls
// into a plug-in, or opens or closes its library, it holds a
// platform::PluginCallMark, so that after "Yes" the status log names the
// plug-in to switch off, and a fault in a library's constructors or
// destructors ends the program with a box that names it.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "system/faults.h"

namespace kavel {

// Installs the handler for the whole process; also makes SIGINT and SIGTERM
// end the main loop in order and answer an open dialog. After "No" the
// plug-ins are freed before the program ends; a plug-in whose library
// faulted while it was being opened is kept out of the next start.
void installCrashHandler();

// One pass of the main loop under the handler. False when the loop is to
// end: pass() said so, or SIGINT or SIGTERM arrived.
bool guardedPass(bool (*pass)());

// --- the report ---

// The description of a fault kind, as the dump file writes it.
const char* faultDescription(platform::FaultKind kind);
// The name the dump gives a source file: its name without folder and
// ending, and "Main Module" for the main unit.
std::string unitName(std::string_view sourceFile);
// The first position of our own code among the fault's positions
// (innermost first); none when the stack holds no code of ours.
const platform::SourcePosition* ownPosition(const std::vector<platform::SourcePosition>& stack);
// "%dd_%mm_%yy__%hh_%ii_%ss.dump.txt"
std::string dumpFileName(const std::tm& when);

struct DumpPlugin {
    std::string name;
    const void* handle = nullptr;
    const void* entries[kPluginEntryCount] = {};
    bool loaded = false;
};
// The loaded plug-ins (loadedPlugins()) as the dump lists them.
std::vector<DumpPlugin> dumpPlugins(const std::vector<platform::LoadedPlugin>& loaded);
// The dump file's content, Windows-1252, lines ending CR LF. An empty unit
// means the stack held no code of ours.
std::string formatDump(const std::tm& when, std::string_view unit, int line,
                       platform::FaultKind kind, const std::vector<DumpPlugin>& plugins);

}  // namespace kavel
