// A small client for the crash handler's tests of the fault kinds: it
// brings up as much of the program as a scenario needs, wired as the
// program wires itself, then faults in a chosen way inside the main loop,
// answers the handler's questions as told and prints what it saw. Run by
// test_crash_handler and test_crash_recovery in a folder of their own; the
// scenarios with a plug-in find the fault plug-in in plugins/. (The other
// plug-in faults are tested on the real program.)
//
//   crash_child SCENARIO yes|no [ARG]
//
// Output lines: "dialog KIND TITLE|TEXT" for every question (CR as \r),
// "status TEXT" for the status log at the end, "plugin NAME" for each loaded
// plug-in, "rounding kept|lost", "object built|refused", "ready",
// "continued", "ended".
#include <dlfcn.h>
#include <fenv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/LEXER.h"
#include "common/data.h"
#include "common/ports.h"
#include "core/KAVEL.h"
#include "core/OnError.h"
#include "core/prefs.h"
#include "core/wiring.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "objects/CLASS_Agents.h"
#include "objects/CLASS_Object.h"
#include "objects/agent_chain.h"
#include "system/clock.h"
#include "system/faults.h"
#include "system/services.h"
#include "system/socket.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

using namespace kavel;
namespace pf = kavel::platform;

// The crash report's first look into the debug information, standing in for
// libdw's own: the scenario that must survive a second fault in the report
// faults here, the others go on to the real one.
struct Dwfl;
namespace {
bool faultInDebugLookup = false;
}
extern "C" int dwfl_linux_proc_report(Dwfl* dwfl, pid_t pid);
extern "C" int dwfl_linux_proc_report(Dwfl* dwfl, pid_t pid) {
    if (faultInDebugLookup) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    using Real = int (*)(Dwfl*, pid_t);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "dwfl_linux_proc_report"));
    return real ? real(dwfl, pid) : -1;
}

namespace {

bool answerYes = true;

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\r' ? std::string("\\r") : std::string(1, c);
    return out;
}

[[noreturn]] void finish(int status) {
    std::fflush(stdout);
    // Whatever the abandoned passes held is gone; a leak report would only
    // count it.
    _exit(status);
}

// --- the faults; the test finds each marked line in this file ---

[[gnu::noinline]] void segfault() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;  // FAULT: segv
}

[[gnu::noinline]] int divideByZero() {
    volatile int one = 1;
    volatile int zero = 0;
    return one / zero;  // FAULT: intdiv
}

int (*volatile nextLevel)(int);

[[gnu::noinline]] int recurse(int depth) {  // FAULT: stack from
    volatile char pad[256];
    pad[depth % 256] = static_cast<char>(depth);
    return nextLevel(depth + 1) + pad[0];
}  // FAULT: stack to

[[gnu::noinline]] void illegalInstruction() {
    __builtin_trap();  // FAULT: illegal
}

[[gnu::noinline]] void breakpoint() {
#if defined(__x86_64__)
    asm volatile("int3");  // FAULT: breakpoint
#else
    __builtin_trap();
#endif
}

[[gnu::noinline]] void privileged() {
#if defined(__x86_64__)
    asm volatile("hlt");  // FAULT: privileged
#endif
}

[[gnu::noinline]] double floatDivide() {
    feenableexcept(FE_DIVBYZERO);
    volatile double one = 1.0;
    volatile double zero = 0.0;
    return one / zero;  // FAULT: floatdiv
}

// --- the scenarios ---

std::string scenario;
int passes = 0;

void fault() {
    if (scenario == "segv" || scenario == "nodump" || scenario == "no-prefs" || scenario == "fenv")
        segfault();
    if (scenario == "assembly") {
        // Abandons a class half-way through its assembly.
        registerClass(64, "Half");
        segfault();
    }
    if (scenario == "intdiv") divideByZero();
    if (scenario == "stack") recurse(0);
    if (scenario == "illegal") illegalInstruction();
    if (scenario == "breakpoint") breakpoint();
    if (scenario == "privileged") privileged();
    if (scenario == "floatdiv") floatDivide();
}

// One pass: the fault on the first, then the program goes on.
bool faultingPass() {
    if (++passes == 1) {
        fault();
        say("not faulted");
        return false;
    }
    return false;
}

// Every pass faults: in the plug-in's entry, or in code of ours.
bool pluginFaultPass() {
    runProcessRCmd("CRASH");
    return false;
}
bool ownFaultPass() {
    segfault();
    return false;
}

void printStatus() {
    for (int i = 0; i < pf::itemCount(mainwin::StatusList); ++i) {
        const std::string line = pf::itemText(mainwin::StatusList, i);
        say("status " + line.substr(line.find("] ") + 2));
    }
}

void printPlugins() {
    for (Agent* agent : AgentList)
        say("plugin " + agentGetName(agent));
}

// The chat server's lines: "CRASH" faults, "PING" is answered.
void serverSink() {
    for (const std::string& data : session().readMessages()) {
        if (data == "CRASH") segfault();
        if (data == "PING") session().send("PONG");
        if (data == "BYE") setFlag(flag::ShieldsUp);
    }
}

bool serverPass() {
    serverSink();
    pf::pollEvent();
    pf::sleepMs(1);
    return !hasFlag(flag::ShieldsUp);
}

void minimalProgram() {
    loadUiTexts();
    InitLexTable();
    openMainWindow();
    pf::clearItems(mainwin::StatusList);
    wireProgram();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    scenario = argv[1];
    answerYes = std::strcmp(argv[2], "yes") == 0;
    nextLevel = recurse;
    int args = 1;
    pf::startDesktop(args, argv);
    pf::replaceServices({.dialogs = [](const pf::DialogRequest& r) {
        const char* kind = r.kind == pf::DialogRequest::YesNo ? "yesno" : "message";
        say(std::string("dialog ") + kind + " " + escaped(r.title) + "|" + escaped(r.text));
        pf::DialogAnswer a;
        a.yes = answerYes;
        return a;
    }});

    if (scenario == "sigterm" || scenario == "no-prefs") {
        startUp();
        say("ready");
        bool (*pass)() = scenario == "sigterm" ? mainLoopPass : faultingPass;
        while (guardedPass(pass)) {
        }
        if (scenario == "no-prefs") say("continued");
        shutDown();
        say("ended");
        finish(0);
    }

    minimalProgram();
    if (scenario == "blame") {
        // A plug-in's fault, then ours while it is loaded, then ours after
        // it is gone: only the first is the plug-in's.
        setenv("KAVEL_FAULT_AT", "receive", 1);
        if (!loadPlugin("plugins/fault_plugin.so")) finish(6);
        guardedPass(pluginFaultPass);
        guardedPass(ownFaultPass);
        unloadAllAgents();
        guardedPass(ownFaultPass);
        printStatus();
        say("continued");
        finish(0);
    }
    if (scenario == "load-twice") {
        // The plug-in listed in prefs.ini faults while it loads, and the
        // report faults again before it is done.
        setenv("KAVEL_FAULT_AT", "load", 1);
        faultInDebugLookup = true;
        loadSettings();
        say("not faulted");
        finish(0);
    }
    if (scenario == "start") {
        loadSettings();
        reportPluginKeptOut();
        printPlugins();
        printStatus();
        say("continued");
        finish(0);
    }
    if (scenario == "fenv") fesetround(FE_DOWNWARD);
    if (scenario == "nodump") {
        // A working folder that is gone: nothing can be created in it.
        char folder[] = "/tmp/crash-child-XXXXXX";
        if (!mkdtemp(folder) || chdir(folder) != 0 || rmdir(folder) != 0) finish(4);
    }
    if (scenario == "loop") {
        pf::initNetwork();
        if (!session().connect("127.0.0.1", std::atoi(argv[3]))) finish(5);
        say("ready");
        while (guardedPass(serverPass)) {
        }
        say("ended");
        finish(0);
    }
    guardedPass(faultingPass);
    if (scenario == "fenv") say(fegetround() == FE_DOWNWARD ? "rounding kept" : "rounding lost");
    if (scenario == "assembly") {
        registerClass(static_cast<int32_t>(sizeof(Object)), "Whole");
        say(createObject() ? "object built" : "object refused");
    }
    printStatus();
    say("continued");
    finish(0);
}
