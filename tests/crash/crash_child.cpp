// A small client for the crash handler's tests of the fault kinds: it
// brings up as much of the program as a scenario needs, wired as the
// program wires itself, then faults in a chosen way inside the main loop,
// answers the handler's questions as told and prints what it saw. Run by
// test_crash_handler in a folder of its own. (Plug-in faults are tested on
// the real program.)
//
//   crash_child SCENARIO yes|no [ARG]
//
// Output lines: "dialog KIND TITLE|TEXT" for every question (CR as \r),
// "status TEXT" for the status log at the end, "ready", "continued", "ended".
#include <fenv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/data.h"
#include "common/ports.h"
#include "core/OnError.h"
#include "core/main.h"
#include "core/wiring.h"
#include "net/LEXER.h"
#include "net/NET_Methods.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/gadgets.h"
#include "platform/services.h"
#include "platform/socket.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

using namespace kavel;
namespace pf = kavel::platform;

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
    if (scenario == "segv" || scenario == "nodump" || scenario == "no-prefs") segfault();
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

void printStatus() {
    for (int i = 0; i < pf::itemCount(mainwin::StatusList); ++i) {
        const std::string line = pf::itemText(mainwin::StatusList, i);
        say("status " + line.substr(line.find("] ") + 2));
    }
}

// The chat server's lines: "CRASH" faults, "PING" is answered.
void serverSink() {
    for (const std::string& data : readServerMessages()) {
        if (data == "CRASH") segfault();
        if (data == "PING") SendCommand("PONG");
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
    if (scenario == "nodump") {
        // A working folder that is gone: nothing can be created in it.
        char folder[] = "/tmp/crash-child-XXXXXX";
        if (!mkdtemp(folder) || chdir(folder) != 0 || rmdir(folder) != 0) finish(4);
    }
    if (scenario == "loop") {
        pf::initNetwork();
        if (!Connect(clientState, "127.0.0.1", std::atoi(argv[3]))) finish(5);
        say("ready");
        while (guardedPass(serverPass)) {
        }
        say("ended");
        finish(0);
    }
    guardedPass(faultingPass);
    printStatus();
    say("continued");
    finish(0);
}
