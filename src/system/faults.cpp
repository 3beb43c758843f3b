// Fault signals: the handler only describes the fault (kind, stack, plug-in)
// and leaves the faulting code for the recovery point of its thread; the
// report itself (debug information, files, dialogs) runs afterwards on the
// thread's normal stack, where memory can be allocated and Qt be used.
#include "system/faults.h"

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <fenv.h>
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace kavel::platform {

namespace {

constexpr std::size_t kMainAltStack = 1024 * 1024;
constexpr std::size_t kThreadAltStack = 256 * 1024;
// A fault this close to the stack pointer, or in the gap Linux keeps below
// a stack, is the stack running out.
constexpr uintptr_t kOverflowReach = 64 * 1024;
constexpr uintptr_t kStackGuardGap = 1024 * 1024;

struct ThreadState {
    sigjmp_buf* guard = nullptr;
    detail::CallMark mark;
    bool reporting = false;
    uintptr_t stackLow = 0;
    uintptr_t stackHigh = 0;
};
constinit thread_local ThreadState self;

FaultReporter reporter = nullptr;
// The fault being reported. One at a time: a thread that faults while
// another reports waits for it.
Fault current;
std::atomic<pid_t> reportingThread{0};
volatile sig_atomic_t endSignal = 0;
// The self-pipe of the end signals: read end, write end.
int endPipe[2] = {-1, -1};
pid_t mainThreadId = 0;

LoadFaultRecord makeLoadRecord = nullptr;
// Prepared for the library being opened; the handler only reads it.
struct PreparedRecord {
    std::string path;
    std::string temp;
    std::string content;
} loadRecord;

void prepareLoadRecord(const char* plugin) {
    loadRecord = {};
    if (!makeLoadRecord) return;
    FileRecord record = makeLoadRecord(plugin);
    if (record.path.empty()) return;
    const auto slash = record.path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    loadRecord.temp = record.path.substr(0, base) + "." + record.path.substr(base) + ".fault";
    loadRecord.path = std::move(record.path);
    loadRecord.content = std::move(record.content);
}

// In the signal handler: nothing here allocates or takes a lock.
void writeLoadRecord() {
    if (loadRecord.path.empty()) return;
    const int saved = errno;
    const char* temp = loadRecord.temp.c_str();
    const int fd = ::open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const char* data = loadRecord.content.data();
        std::size_t left = loadRecord.content.size();
        bool ok = true;
        while (ok && left > 0) {
            const ssize_t n = ::write(fd, data, left);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) {
                data += n;
                left -= static_cast<std::size_t>(n);
            }
        }
        ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::rename(temp, loadRecord.path.c_str()) != 0) ::unlink(temp);
    }
    errno = saved;
}

void stackBounds(uintptr_t& low, uintptr_t& high) {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* addr = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0) {
        low = reinterpret_cast<uintptr_t>(addr);
        high = low + size;
    }
    pthread_attr_destroy(&attr);
}

// The main thread's alternate stack lives as long as the process; only the
// kernel would know of it otherwise.
void* mainAltStack = nullptr;

void* setAltStack(std::size_t size) {
    stack_t ss{};
    ss.ss_sp = std::malloc(size);
    if (!ss.ss_sp) return nullptr;
    ss.ss_size = size;
    if (sigaltstack(&ss, nullptr) != 0) {
        std::free(ss.ss_sp);
        return nullptr;
    }
    return ss.ss_sp;
}

// For a thread that has none yet; true when the caller must drop it again.
bool giveThreadAltStack() {
    stack_t old{};
    if (sigaltstack(nullptr, &old) != 0 || !(old.ss_flags & SS_DISABLE)) return false;
    return setAltStack(kThreadAltStack) != nullptr;
}

void dropThreadAltStack() {
    stack_t old{};
    if (sigaltstack(nullptr, &old) != 0) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    if (sigaltstack(&off, nullptr) == 0) std::free(old.ss_sp);
}

uintptr_t programCounter(const ucontext_t* uc) {
#if defined(__x86_64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

uintptr_t stackPointer(const ucontext_t* uc) {
#if defined(__x86_64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.sp);
#else
    (void)uc;
    return 0;
#endif
}

bool stackRanOut(uintptr_t address, uintptr_t sp) {
    if (sp && address + kOverflowReach >= sp && address <= sp + kOverflowReach) return true;
    const uintptr_t low = self.stackLow;
    return low && address < self.stackHigh && address + kStackGuardGap + kOverflowReach >= low;
}

// x86 raises a general protection fault, not an illegal-instruction one,
// for an instruction the user ring may not execute; tell those apart from
// wild addresses by the instruction itself.
bool privilegedInstructionAt(uintptr_t pc) {
#if defined(__x86_64__)
    const auto* p = reinterpret_cast<const unsigned char*>(pc);
    int n = 0;
    while (n < 14 && (p[n] == 0x66 || p[n] == 0x67 || p[n] == 0xF0 || p[n] == 0xF2 ||
                      p[n] == 0xF3 || p[n] == 0x2E || p[n] == 0x36 || p[n] == 0x3E ||
                      p[n] == 0x26 || p[n] == 0x64 || p[n] == 0x65 || (p[n] & 0xF0) == 0x40))
        ++n;
    const unsigned char op = p[n];
    if (op == 0xF4 || op == 0xFA || op == 0xFB) return true;                    // hlt, cli, sti
    if ((op >= 0xE4 && op <= 0xE7) || (op >= 0xEC && op <= 0xEF)) return true;  // in, out
    if (op >= 0x6C && op <= 0x6F) return true;                                  // ins, outs
    if (op != 0x0F) return false;
    switch (p[n + 1]) {
        case 0x00:  // lldt, ltr
        case 0x01:  // lgdt, lidt, lmsw, invlpg, ...
        case 0x06:  // clts
        case 0x07:  // sysret
        case 0x08:  // invd
        case 0x09:  // wbinvd
        case 0x20:
        case 0x21:
        case 0x22:
        case 0x23:  // mov to or from control and debug registers
        case 0x30:  // wrmsr
        case 0x32:  // rdmsr
        case 0x35:  // sysexit
            return true;
        default:
            return false;
    }
#else
    (void)pc;
    return false;
#endif
}

// The x87 and SSE status words tell what the kernel's codes merge.
bool denormalOperand(const ucontext_t* uc) {
#if defined(__x86_64__)
    const auto* fp = uc->uc_mcontext.fpregs;
    return fp && ((fp->mxcsr & 0x02) || (fp->swd & 0x02));
#else
    (void)uc;
    return false;
#endif
}

bool floatStackFault(const ucontext_t* uc) {
#if defined(__x86_64__)
    const auto* fp = uc->uc_mcontext.fpregs;
    return fp && (fp->swd & 0x40);
#else
    (void)uc;
    return false;
#endif
}

FaultKind classify(int sig, int code, uintptr_t address, const ucontext_t* uc) {
    switch (sig) {
        case SIGSEGV:
            if (stackRanOut(address, stackPointer(uc))) return FaultKind::StackOverflow;
            if (code == SI_KERNEL && privilegedInstructionAt(programCounter(uc)))
                return FaultKind::PrivilegedInstruction;
            return FaultKind::AccessViolation;
        case SIGBUS:
            return code == BUS_ADRALN ? FaultKind::Unknown : FaultKind::AccessViolation;
        case SIGILL:
            return code == ILL_PRVOPC || code == ILL_PRVREG ? FaultKind::PrivilegedInstruction
                                                            : FaultKind::IllegalInstruction;
        case SIGTRAP:
            return code == TRAP_TRACE ? FaultKind::SingleStep : FaultKind::Breakpoint;
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV:
                    return FaultKind::IntegerDivideByZero;
                case FPE_FLTDIV:
                    return FaultKind::FloatDivideByZero;
                case FPE_FLTOVF:
                    return FaultKind::FloatOverflow;
                case FPE_FLTUND:
                    return denormalOperand(uc) ? FaultKind::FloatDenormal
                                               : FaultKind::FloatUnderflow;
                case FPE_FLTRES:
                    return FaultKind::FloatInexact;
                case FPE_FLTINV:
                    return floatStackFault(uc) ? FaultKind::FloatStackCheck
                                               : FaultKind::FloatInvalid;
                default:
                    return FaultKind::Unknown;
            }
        default:
            return FaultKind::Unknown;
    }
}

struct Walk {
    uintptr_t pc;        // where the interrupted code stood
    uintptr_t reported;  // what the report names as the faulting instruction
    int seen = 0;
    bool found = false;
};

_Unwind_Reason_Code walkStep(_Unwind_Context* context, void* arg) {
    auto* walk = static_cast<Walk*>(arg);
    int beforeInstruction = 0;
    const auto ip = static_cast<uintptr_t>(_Unwind_GetIPInfo(context, &beforeInstruction));
    if (!walk->found) {
        // The handler's own frames and the signal trampoline come first.
        if (ip != walk->pc) return ++walk->seen > 16 ? _URC_END_OF_STACK : _URC_NO_REASON;
        walk->found = true;
        current.frames[current.frameCount++] = walk->reported;
        return _URC_NO_REASON;
    }
    if (ip == 0 || current.frameCount >= kMaxFaultFrames) return _URC_END_OF_STACK;
    current.frames[current.frameCount++] = ip;
    return _URC_NO_REASON;
}

void onFault(int sig, siginfo_t* info, void* context) {
    if (self.reporting) {
        static const char text[] = "kavel: fault while reporting a fault\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, text, sizeof text - 1);
        _exit(128 + sig);
    }
    const pid_t me = gettid();
    for (pid_t idle = 0; !reportingThread.compare_exchange_strong(idle, me); idle = 0) {
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
    self.reporting = true;
    if (self.mark.plugin && self.mark.call == PluginCall::Load) writeLoadRecord();

    const auto* uc = static_cast<const ucontext_t*>(context);
    current = Fault{};
    current.signal = sig;
    current.signalCode = info->si_code;
    current.address = reinterpret_cast<uintptr_t>(info->si_addr);
    current.kind = classify(sig, info->si_code, current.address, uc);
    current.mainThread = me == mainThreadId;
    if (const char* plugin = self.mark.plugin) {
        for (int i = 0; i < kMaxPluginName - 1 && plugin[i]; ++i)
            current.plugin[i] = plugin[i];
        current.pluginCall = self.mark.call;
    }
    Walk walk;
    walk.pc = programCounter(uc);
    // A trap stops after its instruction; the report names the instruction.
    walk.reported = sig == SIGTRAP && current.kind == FaultKind::Breakpoint ? walk.pc - 1 : walk.pc;
    _Unwind_Backtrace(walkStep, &walk);
    if (!walk.found) {
        current.frameCount = 0;
        current.frames[current.frameCount++] = walk.reported;
    }

    if (self.guard) siglongjmp(*self.guard, 1);
    if (reporter) reporter(current, false);
    _exit(1);
}

void onEndSignal(int sig) {
    if (endSignal) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    endSignal = sig;
    if (endPipe[1] >= 0) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(endPipe[1], &byte, 1);
        errno = saved;
    }
}

// Compilers name files relative to the folder they ran in; the report
// wants to know whose file it is, so every name becomes absolute.
std::string filePath(const char* name, const char* compDir) {
    if (!name) return {};
    std::filesystem::path path(name);
    if (path.is_relative() && compDir) path = std::filesystem::path(compDir) / path;
    return path.lexically_normal().string();
}

const char* compilationFolder(Dwarf_Die* cu) {
    Dwarf_Attribute attr;
    return cu ? dwarf_formstring(dwarf_attr(cu, DW_AT_comp_dir, &attr)) : nullptr;
}

// Positions of one address: the line-table row, then the call sites of the
// functions inlined at it, innermost first.
void positionsAt(Dwfl* dwfl, Dwarf_Addr address, std::vector<SourcePosition>& out) {
    Dwfl_Module* module = dwfl_addrmodule(dwfl, address);
    if (!module) return;
    Dwarf_Addr bias = 0;
    Dwarf_Die* cu = dwfl_module_addrdie(module, address, &bias);
    const char* compDir = compilationFolder(cu);
    if (Dwfl_Line* line = dwfl_module_getsrc(module, address)) {
        int number = 0;
        const char* file = dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr);
        if (file) out.push_back({filePath(file, compDir), number});
    }
    if (!cu) return;
    Dwarf_Die* scopes = nullptr;
    const int count = dwarf_getscopes(cu, address - bias, &scopes);
    Dwarf_Files* files = nullptr;
    size_t fileCount = 0;
    if (count > 0 && dwarf_getsrcfiles(cu, &files, &fileCount) == 0) {
        for (int i = 0; i < count; ++i) {
            const int tag = dwarf_tag(&scopes[i]);
            if (tag == DW_TAG_subprogram) break;
            if (tag != DW_TAG_inlined_subroutine) continue;
            Dwarf_Attribute attr;
            Dwarf_Word file = 0, number = 0;
            if (dwarf_formudata(dwarf_attr(&scopes[i], DW_AT_call_file, &attr), &file) != 0 ||
                dwarf_formudata(dwarf_attr(&scopes[i], DW_AT_call_line, &attr), &number) != 0 ||
                file >= fileCount)
                continue;
            const char* name = dwarf_filesrc(files, file, nullptr, nullptr);
            if (name) out.push_back({filePath(name, compDir), static_cast<int>(number)});
        }
    }
    std::free(scopes);
}

}  // namespace

std::vector<SourcePosition> sourcePositions(const Fault& fault) {
    static char* debugPath = nullptr;
    static const Dwfl_Callbacks callbacks = {dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo,
                                             nullptr, &debugPath};
    std::vector<SourcePosition> out;
    Dwfl* dwfl = dwfl_begin(&callbacks);
    if (!dwfl) return out;
    dwfl_report_begin(dwfl);
    const bool reported = dwfl_linux_proc_report(dwfl, getpid()) == 0;
    dwfl_report_end(dwfl, nullptr, nullptr);
    if (reported) {
        for (int i = 0; i < fault.frameCount; ++i) {
            // A return address belongs to the instruction after the call.
            const uintptr_t pc = i == 0 ? fault.frames[i] : fault.frames[i] - 1;
            positionsAt(dwfl, pc, out);
        }
    }
    dwfl_end(dwfl);
    return out;
}

void installFaultHandlers(FaultReporter faultReporter) {
    reporter = faultReporter;
    mainThreadId = gettid();
    stackBounds(self.stackLow, self.stackHigh);
    stack_t old{};
    if (!mainAltStack && (sigaltstack(nullptr, &old) != 0 || (old.ss_flags & SS_DISABLE) ||
                          old.ss_size < kMainAltStack))
        mainAltStack = setAltStack(kMainAltStack);
    // The unwinder loads its helpers on first use; not inside a handler.
    _Unwind_Backtrace([](_Unwind_Context*, void*) { return _URC_END_OF_STACK; }, nullptr);

    struct sigaction fault {};
    fault.sa_sigaction = onFault;
    fault.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&fault.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
        sigaction(sig, &fault, nullptr);

    if (endPipe[0] < 0 && pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0) endPipe[0] = endPipe[1] = -1;
    struct sigaction end {};
    end.sa_handler = onEndSignal;
    end.sa_flags = SA_RESTART;
    sigemptyset(&end.sa_mask);
    for (int sig : {SIGINT, SIGTERM})
        sigaction(sig, &end, nullptr);
}

bool runGuarded(void (*fn)(void*), void* arg) {
    sigjmp_buf env;
    sigjmp_buf* const outer = self.guard;
    // What the abandoned code would have put back on its way out: the
    // plug-in marks it set, and the floating-point environment, which the
    // handler's own (the default) replaces.
    const detail::CallMark mark = self.mark;
    fenv_t floating;
    fegetenv(&floating);
    const bool ownStack = !outer && gettid() != mainThreadId && giveThreadAltStack();
    if (!outer && gettid() != mainThreadId) stackBounds(self.stackLow, self.stackHigh);
    if (sigsetjmp(env, 1) == 0) {
        self.guard = &env;
        fn(arg);
        self.guard = outer;
        if (ownStack) dropThreadAltStack();
        return true;
    }
    self.guard = outer;
    self.mark = mark;
    fesetenv(&floating);
    if (reporter) reporter(current, true);
    self.reporting = false;
    reportingThread.store(0);
    if (ownStack) dropThreadAltStack();
    return false;
}

bool endRequested() {
    return endSignal != 0;
}

void drainEndSignalFd() {
    char drain[64];
    while (endPipe[0] >= 0 && ::read(endPipe[0], drain, sizeof drain) > 0) {
    }
}

int endSignalFd() {
    return endPipe[0];
}

void endProcessNow(int status) {
    _exit(status);
}

PluginCallMark::PluginCallMark(const char* pluginName, PluginCall call) : outer_(self.mark) {
    if (call == PluginCall::Load) prepareLoadRecord(pluginName);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    self.mark = {pluginName, call};
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

PluginCallMark::~PluginCallMark() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    self.mark = outer_;
}

void setLoadFaultRecord(LoadFaultRecord record) {
    makeLoadRecord = record;
}

bool libraryLoaded(const void* handle) {
    if (!handle) return false;
    // A dlopen handle is the library's entry in the loader's list.
    for (const link_map* m = _r_debug.r_map; m; m = m->l_next)
        if (m == handle) return true;
    return false;
}

}  // namespace kavel::platform
