// The crash handler's report: the dump file, the question and what follows
// the answer. The signals themselves are caught by the platform layer,
// which calls report() once the faulting code has been left.
#include "core/OnError.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <type_traits>

#include "common/cp1252.h"
#include "common/data.h"
#include "common/datemask.h"
#include "common/reset.h"
#include "core/prefs.h"
#include "desktop/gadgets.h"
#include "objects/CLASS_Agents.h"
#include "objects/CLASS_Object.h"
#include "system/files.h"
#include "ui/GUI_Methods.h"

#ifndef KAVEL_SOURCE_DIR
#define KAVEL_SOURCE_DIR ""
#endif
#ifndef KAVEL_BINARY_DIR
#define KAVEL_BINARY_DIR ""
#endif

namespace kavel {

namespace {

using platform::FaultKind;

// Status line of ours after "Yes" when a plug-in was running; "$" is its name.
constexpr const char* kPluginBlamed =
    "Der Fehler trat im Plugin $ auf - schalte es im Plugin Manager ab";
// Our box when a plug-in's library faulted while it was opened or closed.
constexpr const char* kLoadFault =
    "Das Plugin $ hat beim Laden einen Fehler verursacht.\r"
    "Informationen dazu finden sich in der dump.txt.\r"
    "Es wird beim n\xE4"
    "chsten Start nicht geladen; das Programm wird beendet.";
constexpr const char* kUnloadFault =
    "Das Plugin $ hat beim Freigeben einen Fehler verursacht.\r"
    "Informationen dazu finden sich in der dump.txt.\r"
    "Das Programm wird beendet.";

// A fault on another thread leaves its question for the main loop.
enum PendingState : int { NoQuestion = 0, AskQuestion, DumpNotWritten };
std::atomic<int> pending{NoQuestion};
char pendingPlugin[platform::kMaxPluginName];
const bool registered = registerReset([] { pending = NoQuestion; });

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string decimal(const void* address) {
    // Signed, as the report has always shown them, but at full width.
    return std::to_string(static_cast<int64_t>(reinterpret_cast<uintptr_t>(address)));
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.substr(0, prefix.size()) == prefix;
}

bool ownFile(std::string_view named) {
    const std::string_view source = KAVEL_SOURCE_DIR;
    const std::string_view binary = KAVEL_BINARY_DIR;
    if (named.empty()) return false;
    // A compiler cache hands the compiler paths relative to the build
    // folder, so the debug information may name "<build>/../src/x.cpp";
    // only the resolved path says whose file it is.
    const std::string resolved = std::filesystem::path(named).lexically_normal().string();
    const std::string_view file = resolved;
    // Code the build generated (Qt's meta-object files) is not ours to name.
    if (startsWith(file, binary) && file.size() > binary.size() && file[binary.size()] == '/')
        return false;
    // Only our own tree counts; the C library's debug information, for
    // one, names its files relative to its own build.
    return startsWith(file, source) && file.size() > source.size() && file[source.size()] == '/';
}

[[noreturn]] void endAfterFault() {
    freeAllAgents();
    // A run that ended in a fault is no success.
    platform::endProcessNow(1);
}

// On the main thread: the box or the question, and what the answer means.
void settle(bool dumpWritten, const char* plugin) {
    if (!dumpWritten) {
        platform::messageBox(ui(Txt::ErrorTitle), ui(Txt::DumpFailed));
        endAfterFault();
    }
    if (!platform::askYesNo(ui(Txt::ErrorTitle), ui(Txt::ContinueQuestion))) endAfterFault();
    if (plugin && *plugin) statusMessage(cp1252::fillPlaceholder(kPluginBlamed, plugin));
}

// A library that faulted in its own constructors or destructors leaves the
// dynamic loader half-way: nothing more can be loaded or freed safely, so
// the program only says why it ends. (The plug-in that faulted while loading
// was kept out of the next start by the handler already.)
[[noreturn]] void endAfterLibraryFault(const platform::Fault& fault, bool dumpWritten) {
    const bool loading = fault.pluginCall == platform::PluginCall::Load;
    if (fault.mainThread) {
        if (dumpWritten)
            platform::messageBox(
                ui(Txt::ErrorTitle),
                cp1252::fillPlaceholder(loading ? kLoadFault : kUnloadFault, fault.plugin));
        else
            platform::messageBox(ui(Txt::ErrorTitle), ui(Txt::DumpFailed));
    }
    platform::endProcessNow(1);
}

void report(const platform::Fault& fault, bool recoverable) {
    const std::tm when = localNow();
    const std::vector<platform::SourcePosition> stack = platform::sourcePositions(fault);
    const platform::SourcePosition* own = ownPosition(stack);
    const std::vector<DumpPlugin> plugins = dumpPlugins(loadedPlugins());
    const std::string name = dumpFileName(when);
    const bool written = platform::writeFileAtomically(
        name, formatDump(when, own ? unitName(own->file) : std::string(), own ? own->line : 0,
                         fault.kind, plugins));
    if (recoverable && fault.plugin[0] && fault.pluginCall != platform::PluginCall::Entry)
        endAfterLibraryFault(fault, written);
    if (!recoverable) {
        // Nothing to go back to (a fault before or after the main loop):
        // the dump is all we can leave.
        std::fprintf(stderr, "kavel: %s (%s)\n", faultDescription(fault.kind),
                     written ? name.c_str() : "no dump file");
        return;
    }
    if (fault.mainThread) {
        settle(written, fault.plugin);
        return;
    }
    std::snprintf(pendingPlugin, sizeof pendingPlugin, "%s", fault.plugin);
    pending.store(written ? AskQuestion : DumpNotWritten, std::memory_order_release);
    // The main loop may be waiting for nothing in particular.
    platform::wakeMainLoop();
}

}  // namespace

const char* faultDescription(FaultKind kind) {
    switch (kind) {
        case FaultKind::None:
            return "No Error";
        case FaultKind::IntegerDivideByZero:
            return "Attempted division by zero";
        case FaultKind::AccessViolation:
            return "An attemped read or write to/from an address to which that process isn't "
                   "allowed";
        case FaultKind::PrivilegedInstruction:
            return "The instruction is not allowed in the current ring (inport, outport & control "
                   "register manipulation usually)";
        case FaultKind::IllegalInstruction:
            return "Try to execute an invalid instruction -such as MMX opcodes on a non MMX system";
        case FaultKind::StackOverflow:
            return "Stack overflow.Can occur during errant recursion, or when a function creates "
                   "a particularly large array on the stack.";
        case FaultKind::FloatDenormal:
            return "FLOAT_DENORMAL_OPERAND One of the operands in a floating-point operation is "
                   "too small to be represented in a floating-point value.";
        case FaultKind::FloatDivideByZero:
            return "FLOAT_DIVIDE_BY_ZERO The thread tried to divide a floating-point value by "
                   "zero.";
        case FaultKind::FloatInexact:
            return "FLOAT_INEXACT_RESULT The accuracy of the last floating point operation is "
                   "worse than usual as it is impossible to represent in the float accurately,";
        case FaultKind::FloatInvalid:
            return "FLOAT_INVALID_OPERATION Any other floating-point exception.";
        case FaultKind::FloatOverflow:
            return "FLOAT_OVERFLOW The result was too big to represent";
        case FaultKind::FloatStackCheck:
            return "FLOAT_STACK_CHECK A floating point stack overflowed or underflow. This "
                   "related to the baroque design of the floating point unit.";
        case FaultKind::FloatUnderflow:
            return "FLT_UNDERFLOW The result was too small to represent";
        case FaultKind::Breakpoint:
            return "BREAKPOINT A breakpoint was encountered.";
        case FaultKind::SingleStep:
            return "SINGLE_STEP The CPU has signalled that one instruction has been executed.Only "
                   "of interest to Debuggers";
        case FaultKind::Unknown:
            break;
    }
    return "UNKNOWN Error";
}

std::string unitName(std::string_view sourceFile) {
    const auto slash = sourceFile.find_last_of("/\\");
    std::string_view name =
        slash == std::string_view::npos ? sourceFile : sourceFile.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    if (name == "KAVEL") return "Main Module";
    return std::string(name);
}

const platform::SourcePosition* ownPosition(const std::vector<platform::SourcePosition>& stack) {
    for (const platform::SourcePosition& p : stack)
        if (p.line > 0 && ownFile(p.file)) return &p;
    return nullptr;
}

std::string dumpFileName(const std::tm& when) {
    return formatDateMask("%dd_%mm_%yy__%hh_%ii_%ss.dump.txt", when);
}

std::vector<DumpPlugin> dumpPlugins(const std::vector<platform::LoadedPlugin>& loaded) {
    static_assert(std::extent_v<decltype(DumpPlugin::entries)> ==
                  std::extent_v<decltype(platform::LoadedPlugin::entries)>);
    std::vector<DumpPlugin> plugins;
    for (const platform::LoadedPlugin& p : loaded) {
        DumpPlugin d;
        d.name = p.name;
        d.handle = p.handle;
        std::copy(std::begin(p.entries), std::end(p.entries), d.entries);
        d.loaded = platform::libraryLoaded(p.handle);
        plugins.push_back(std::move(d));
    }
    return plugins;
}

std::string formatDump(const std::tm& when, std::string_view unit, int line, FaultKind kind,
                       const std::vector<DumpPlugin>& plugins) {
    std::string out;
    auto put = [&out](std::string_view text) {
        out.append(text);
        out.append("\r\n");
    };
    put(formatDateMask("Fehler von [%hh:%ii:%ss]", when));
    put("Aufgetreten in " + (unit.empty() ? std::string("?") : std::string(unit)) + " Zeile " +
        std::to_string(line));
    put("");
    put(std::string("Beschreibung: ") + faultDescription(kind));
    put("");
    put("Weiterf\xFChrende Informationen:");
    for (const DumpPlugin& p : plugins) {
        put("Plugin " + p.name + " aktiv");
        for (std::size_t i = 0; i < kPluginEntryCount; ++i)
            if (p.entries[i])
                put("Unterst\xFCtzt " + std::string(kPluginEntries[i].reportName) + " (ADR " +
                    decimal(p.entries[i]) + ")");
        put((p.loaded ? "Ist korrekt geladen (" : "Ist falsch geladen (") + decimal(p.handle) +
            ")");
        put("");
    }
    return out;
}

void installCrashHandler() {
    platform::installFaultHandlers(report);
    // Before the dump, which may fault again: the next start could not get
    // past a plug-in that faults while it loads.
    platform::setLoadFaultRecord([](const char* plugin) {
        return platform::FileRecord{kPrefsFile, prefsKeepingOut(plugin)};
    });
    // A signal answers the fault question (and any other dialog) at once.
    platform::answerDialogsOnEndSignal();
}

bool guardedPass(bool (*pass)()) {
    bool more = true;
    // After a fault the reporter has asked already; "Yes" means go on. A
    // class the abandoned pass was assembling would make every later
    // assembly fail.
    if (!platform::runGuarded([&] { more = pass(); })) resetPendingClass();
    if (const int state = pending.exchange(NoQuestion, std::memory_order_acquire))
        settle(state == AskQuestion, pendingPlugin);
    return more && !platform::endRequested();
}

}  // namespace kavel
