#pragma once
// Faults of the process as the crash handler sees them: the signals of an
// invalid memory access, a division by zero, a bad instruction and the like,
// caught on an alternate stack (so that a stack overflow can be caught too),
// with the stack of the faulting thread and the source positions from the
// program's own debug information. Also SIGINT and SIGTERM, which ask the
// program to end in order.
//
// Recovery: code run through runGuarded() is abandoned when it faults; the
// handler leaves it (siglongjmp), the reporter is called on that thread's
// normal stack, and runGuarded() returns false. A fault outside any guarded
// call is reported from inside the signal handler and the process ends.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "common/plugin_entries.h"

namespace kavel::platform {

enum class FaultKind : uint8_t {
    None,
    IntegerDivideByZero,
    AccessViolation,
    PrivilegedInstruction,
    IllegalInstruction,
    StackOverflow,
    FloatDenormal,
    FloatDivideByZero,
    FloatInexact,
    FloatInvalid,
    FloatOverflow,
    FloatStackCheck,
    FloatUnderflow,
    Breakpoint,
    SingleStep,
    Unknown,
};

inline constexpr int kMaxFaultFrames = 48;

// What the program was doing with a plug-in when it faulted: calling one of
// its entry points (the program can go on without that call), or opening or
// closing its library, which runs the library's own constructors and
// destructors and leaves the dynamic loader half-way when they fault.
enum class PluginCall : uint8_t { Entry, Load, Unload };
inline constexpr int kMaxPluginName = 256;

struct Fault {
    FaultKind kind = FaultKind::None;
    int signal = 0;
    int signalCode = 0;
    uintptr_t address = 0;  // the address the fault names (si_addr)
    // The faulting instruction, then the return addresses of its callers.
    uintptr_t frames[kMaxFaultFrames] = {};
    int frameCount = 0;
    bool mainThread = false;
    // The plug-in the faulting thread was calling into; empty when none.
    char plugin[kMaxPluginName] = {};
    PluginCall pluginCall = PluginCall::Entry;
};

struct SourcePosition {
    std::string file;  // absolute, as the debug information places it
    int line = 0;
};
// The source positions of the fault's frames, innermost first. A frame in a
// function that was inlined gives its position there and then the place it
// was inlined into. Frames without debug information give nothing.
std::vector<SourcePosition> sourcePositions(const Fault& fault);

// recoverable: the faulting code has been left and the reporter runs on the
// thread's normal stack; anything may be done, the guarded call then returns
// false. Otherwise the reporter runs inside the signal handler, and the
// process ends when it returns.
using FaultReporter = void (*)(const Fault& fault, bool recoverable);

// Catches SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP for the whole process
// (replacing earlier handlers), gives the calling thread an alternate signal
// stack and turns SIGINT and SIGTERM into endRequested(). Call on the main
// thread.
void installFaultHandlers(FaultReporter reporter);

// Calls fn(arg) with a recovery point on the calling thread; false when a
// fault abandoned it (after the reporter ran). Threads other than the main
// one get an alternate signal stack for the call. Nests.
bool runGuarded(void (*fn)(void*), void* arg);
// The same for a callable; what it captures must not need destroying, since
// a fault leaves it without unwinding.
template <typename Fn>
bool runGuarded(Fn&& fn) {
    return runGuarded([](void* f) { (*static_cast<std::remove_reference_t<Fn>*>(f))(); }, &fn);
}

// An end request is never taken back: a second SIGINT or SIGTERM ends the
// process at once, as users of a terminal expect.
bool endRequested();
// Becomes readable when SIGINT or SIGTERM arrives, so that a wait (a modal
// dialog's, say) can end at once; -1 before installFaultHandlers.
int endSignalFd();
// Empties that descriptor again; the request itself stays.
void drainEndSignalFd();

// Ends the process now: no destructors, no buffered output, no settings.
[[noreturn]] void endProcessNow(int status);

namespace detail {
struct CallMark {
    const char* plugin = nullptr;
    PluginCall call = PluginCall::Entry;
};
}  // namespace detail

// The plug-in the calling thread is in: running one of its entry points,
// or opening or closing its library (a Load mark first asks for the record
// below). A fault is then laid at its door. The name must outlive the mark.
// A fault abandons the marks inside the guarded call; runGuarded() puts
// back the one that was there when the call began.
class PluginCallMark {
  public:
    explicit PluginCallMark(const char* pluginName, PluginCall call = PluginCall::Entry);
    ~PluginCallMark();
    PluginCallMark(const PluginCallMark&) = delete;
    PluginCallMark& operator=(const PluginCallMark&) = delete;

  private:
    detail::CallMark outer_;
};

// A file the handler writes first of all when a plug-in's library faults
// while it is being opened: what follows (the stack walk, the debug
// information, the dump) may fault again and end the process, and the next
// start must not open that library again. The record is asked for when a
// Load mark is set, before the library's code runs, and the handler writes it
// with system calls alone: to a temporary file beside it, renamed over the
// path. Libraries are opened on the main thread only.
struct FileRecord {
    std::string path;  // empty: nothing to write
    std::string content;
};
using LoadFaultRecord = FileRecord (*)(const char* pluginName);
void setLoadFaultRecord(LoadFaultRecord record);

// A loaded plug-in as the crash report lists it.
struct LoadedPlugin {
    std::string name;  // library file name without folder
    // As dlopen returned it; null while the library is still being opened.
    const void* handle = nullptr;
    // In the order of kPluginEntries; null when the library does not offer
    // that entry point (or is still being opened).
    const void* entries[kPluginEntryCount] = {};
};
// True when handle (from dlopen) still refers to a loaded library. Only
// compares addresses, so a stale handle is safe to ask about.
bool libraryLoaded(const void* handle);

}  // namespace kavel::platform
