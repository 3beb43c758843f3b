// What the client costs while nothing happens, and how soon a line that
// arrives is on the screen. The program starts as kavelMain starts it (the
// one start-up, settings and profile from its working folder), connects to
// a real quarnd through its menu and joins a room; then, for the same time:
//   - its main loop, connected and idle;
//   - QApplication::exec() on the same window;
// each with the CPU share of the process and the wake-ups of the GUI thread
// (its voluntary and involuntary context switches). Then another client
// sends lines to the room one by one with pauses, and each line's delay
// from the sender's write to the room's view is measured. Once without
// plug-ins, once with Tauschwerk active, each in a process of its own.
//
// Arguments: seconds per idle phase (default 3; 30 for the full figures),
// lines to send (default 200), "poll" for the loop as it was, which sleeps
// 5 ms whenever a pass found nothing to do, "steady" for a caret that
// does not blink: the focused input field's caret wakes any loop, exec()
// too, twice a second, and hides what the loop itself costs; "focused"
// activates the room window and puts the focus into its input line, which
// nothing does on a display without a window manager (Xvfb).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../tests/support/quarnd_process.h"
#include "../tests/support/work_folder.h"
#include "common/data.h"
#include "core/KAVEL.h"
#include "core/OS_Dependant.h"
#include "core/OnError.h"
#include "core/wiring.h"
#include "desktop/gadgets.h"
#include "desktop/instance.h"
#include "desktop/notify.h"
#include "net/NET_Methods.h"
#include "objects/CLASS_Agents.h"
#include "system/services.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/profile.h"
#include "ui/windows/main_window.h"

namespace {

namespace pf = kavel::platform;
using Clock = std::chrono::steady_clock;

constexpr const char* kRoom = "Messung";

struct Sample {
    double cpu = 0;   // seconds of the whole process
    long wakes = 0;   // context switches of the GUI thread
    double wall = 0;  // seconds
};

long guiThreadSwitches() {
    const std::string path = "/proc/self/task/" + std::to_string(gettid()) + "/status";
    std::ifstream in(path);
    long total = 0;
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
            in >> value;
            total += value;
        }
    }
    return total;
}

Sample sample() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    Sample s;
    s.cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
            static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    s.wakes = guiThreadSwitches();
    s.wall = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
    return s;
}

struct Cost {
    double share;  // percent of one core
    double wakesPerSecond;
};

Cost costBetween(const Sample& a, const Sample& b) {
    const double wall = b.wall - a.wall;
    return {100.0 * (b.cpu - a.cpu) / wall, static_cast<double>(b.wakes - a.wakes) / wall};
}

// Runs the program's loop until done() holds or `limit` has passed. A loop
// that waits needs something to end its wait at the limit; a timer that
// does nothing is that something.
long runLoop(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    QTimer::singleShot(limit, [] {});
    long passes = 0;
    while (!done() && Clock::now() < end) {
        if (!kavel::guardedPass(kavel::mainLoopPass)) break;
        ++passes;
    }
    return passes;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// The working folder a user would have: settings naming the server and the
// plug-ins, and a profile without sound or flashing.
void prepareFolder(int port, bool tauschwerk) {
    writeFile("prefs.ini", std::string("[General]\r\nprofile = idle\r\nactivePlugins = ") +
                               (tauschwerk ? "Tauschwerk.so" : "") +
                               "\r\nserver = 127.0.0.1:" + std::to_string(port) + "\r\n");
    kavel::ProfileRecord profile;
    profile.name = "idle";
    profile.nameColour = 0x0000C0;
    profile.backgroundColour = 0xFFFFFF;
    profile.options = 0x0220;
    writeFile("profile/idle.prof", kavel::encodeProfile(profile));
#ifdef TAUSCHWERK_SO
    if (tauschwerk) {
        std::filesystem::create_directories("plugins");
        std::filesystem::copy_file(TAUSCHWERK_SO, "plugins/Tauschwerk.so");
    }
#endif
}

int runClient(bool tauschwerk, double seconds, int lines, bool poll, bool steady, bool focused,
              char* argv0) {
    // One feeder stands for a busy room: its line every 8-24 ms is far above
    // what quarnd lets one member send, so the server's line rate is off.
    quarnd_test::QuarndProcess server(
        quarnd_test::QuarndProcess::Options{.extraArgs = {"--line-rate", "0"}});
    kavel::test::WorkFolder folder;
    prepareFolder(server.chatPort(), tauschwerk);

    // The other member of the room, there before the client joins.
    quarnd_test::RawQuarnClient feeder(server.chatPort());
    feeder.command("LOGIN feeder  [CLIENT:KAVEL@Windows]");
    feeder.command(std::string("JOIN ") + kRoom);

    int qtArgc = 1;
    char* qtArgv[] = {argv0, nullptr};
    pf::startDesktop(qtArgc, qtArgv);
    if (poll) {
        pf::Services polling;
        polling.sleep = [](uint32_t ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        pf::replaceServices(polling);
    }
    if (steady) QApplication::setCursorFlashTime(0);
    pf::claimWorkingFolder(kavel::mainwin::Window);
    kavel::startUp();
    if (tauschwerk && kavel::AgentList.empty()) {
        std::fprintf(stderr, "Tauschwerk did not load\n");
        return 1;
    }
    // A line is in the view once the room's print has returned: the bench
    // runs the program's session with its print port watched, which every
    // received chat line goes through (the settings' server taken over).
    std::vector<std::int64_t> sentNs(static_cast<std::size_t>(lines), 0);
    std::vector<double> delayMs;
    kavel::SessionPorts ports = kavel::programSessionPorts();
    ports.roomPrint = [&, print = ports.roomPrint](kavel::ChatRoom* room, const std::string& text) {
        print(room, text);
        const auto at = text.rfind(" x");
        if (text.find("feeder") == std::string::npos || at == std::string::npos) return;
        const auto k = static_cast<std::size_t>(std::atoi(text.c_str() + at + 2));
        // Only the lines of the measured phase, not what the join brings.
        if (k < sentNs.size() && sentNs[k] != 0)
            delayMs.push_back(
                static_cast<double>(Clock::now().time_since_epoch().count() - sentNs[k]) / 1e6);
    };
    const std::string host = kavel::session().host();
    const int port = kavel::session().port();
    kavel::Session watched(std::move(ports));
    watched.setHost(host);
    watched.setPort(port);
    pf::postEvent({pf::EventKind::Menu, kavel::mainwin::Window, kavel::mainwin::item::Connect,
                   pf::EventType::None});
    using namespace std::chrono_literals;
    runLoop([] { return kavel::hasFlag(kavel::flag::LoggedIn); }, 10s);
    kavel::session().joinRoom(kRoom);
    runLoop([] { return !kavel::joinedRooms.empty(); }, 10s);
    if (!kavel::hasFlag(kavel::flag::LoggedIn) || kavel::joinedRooms.empty()) {
        std::fprintf(stderr, "the client did not get into the room\n");
        return 1;
    }
    if (focused) {
        // Without a window manager (Xvfb) nothing activates the room: the
        // user clicking into it, as it were.
        const int window = pf::windowTitled(kavel::roomGetName(kavel::joinedRooms.front()));
        pf::raiseWindow(window);
        pf::setControlFocus(pf::controlNamed(window, "Eingabe"));
    }
    // Let the join's messages and the first repaints settle.
    runLoop([] { return false; }, 1000ms);

    const auto phase = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    Sample a = sample();
    const long passes = runLoop([] { return false; }, phase);
    Sample b = sample();
    const Cost loop = costBetween(a, b);
    const bool stillLoggedIn = kavel::hasFlag(kavel::flag::LoggedIn);

    a = sample();
    // exit(), not quit(): Qt's quit first asks every window to close, and
    // our windows leave that decision to the program.
    QTimer::singleShot(phase, [] { QCoreApplication::exit(0); });
    QApplication::exec();
    b = sample();
    const Cost exec = costBetween(a, b);

    // Lines one by one, with pauses a person would leave and more.
    std::thread sender([&] {
        std::mt19937 pauses(20);
        for (int k = 0; k < lines; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(8 + pauses() % 17));
            sentNs[static_cast<std::size_t>(k)] = Clock::now().time_since_epoch().count();
            feeder.send(std::string("CHAT ") + kRoom + " x" + std::to_string(k));
            feeder.drain(0);
        }
    });
    runLoop([&] { return static_cast<int>(delayMs.size()) >= lines; },
            std::chrono::milliseconds(lines * 30 + 5000));
    sender.join();

    kavel::shutDown();
    kavel::unloadSounds();
    pf::endDesktop();

    std::printf("== %s, main loop %s%s%s\n", tauschwerk ? "Tauschwerk active" : "without plug-ins",
                poll ? "polling every 5 ms (as before)" : "waiting",
                steady ? ", caret not blinking" : "", focused ? ", room focused" : "");
    std::printf(
        "main loop, connected and idle (%s): %6.3f %% of a core, %6.1f wake-ups/s, "
        "%.1f passes/s\n",
        stillLoggedIn ? "logged in" : "LOGGED OUT", loop.share, loop.wakesPerSecond,
        static_cast<double>(passes) / seconds);
    std::printf("QApplication::exec(), same window:      %6.3f %% of a core, %6.1f wake-ups/s\n",
                exec.share, exec.wakesPerSecond);
    std::printf("difference:                             %+6.3f percentage points\n",
                loop.share - exec.share);
    std::printf(
        "line to view, %zu of %d lines:          median %.3f ms, p99 %.3f ms "
        "(from the sender's write, the server's relay included)\n",
        delayMs.size(), lines, percentile(delayMs, 0.5), percentile(delayMs, 0.99));
    std::fflush(stdout);
    return stillLoggedIn && static_cast<int>(delayMs.size()) == lines ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<double> numbers;
    bool poll = false, steady = false, focused = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "poll")
            poll = true;
        else if (std::string(argv[i]) == "steady")
            steady = true;
        else if (std::string(argv[i]) == "focused")
            focused = true;
        else
            numbers.push_back(std::atof(argv[i]));
    }
    const double seconds = numbers.size() > 0 ? numbers[0] : 3.0;
    const int lines = numbers.size() > 1 ? static_cast<int>(numbers[1]) : 200;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    int failed = 0;
    // Each run is a program start of its own, as a user would have it.
    for (const bool tauschwerk : {false, true}) {
        const pid_t child = fork();
        if (child == 0)
            _exit(runClient(tauschwerk, seconds, lines, poll, steady, focused, argv[0]));
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    return failed == 0 ? 0 : 1;
}
