// What the client costs while nothing happens: the main loop with the main
// window shown (offscreen) and a connection to an idle quarnd, against the
// same window under Qt's own QApplication::exec() for the same time.
// Prints CPU time as a share of one core. Argument: seconds per run (10).
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/support/quarnd_process.h"
#include "common/data.h"
#include "core/main.h"
#include "core/wiring.h"
#include "net/NET_Methods.h"
#include "platform/gadgets.h"
#include "platform/socket.h"
#include "ui/GUI.h"

namespace {

double cpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    kavel::platform::startDesktop(qtArgc, argv);

    quarnd_test::QuarndProcess server;
    kavel::wirePorts();
    kavel::loadUiTexts();
    kavel::platform::initNetwork();
    kavel::openMainWindow();
    kavel::setText(&kavel::ClientState::profileName, "idle");
    kavel::setText(&kavel::ClientState::nick, "idle");
    if (!kavel::Connect(kavel::clientState, "127.0.0.1", server.chatPort())) {
        std::fprintf(stderr, "no connection to quarnd\n");
        return 1;
    }
    kavel::Login("idle", "");
    kavel::restartKeepAlive();
    // Let the login answers arrive and the menu settle before measuring.
    for (double end = wallSeconds() + 0.5; wallSeconds() < end;)
        kavel::mainLoopPass();

    long passes = 0;
    double cpu0 = cpuSeconds(), wall0 = wallSeconds();
    while (wallSeconds() - wall0 < seconds) {
        kavel::mainLoopPass();
        ++passes;
    }
    const double loopCpu = cpuSeconds() - cpu0, loopWall = wallSeconds() - wall0;
    const bool stillLoggedIn = kavel::hasFlag(kavel::flag::LoggedIn);

    cpu0 = cpuSeconds();
    wall0 = wallSeconds();
    // exit(), not quit(): Qt's quit first asks every window to close, and
    // our windows leave that decision to the program.
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::exit(0); });
    QApplication::exec();
    const double execCpu = cpuSeconds() - cpu0, execWall = wallSeconds() - wall0;

    std::printf(
        "main loop, connected and logged in (%s): %.3f s CPU in %.2f s = %.2f %% of a core, "
        "%.0f passes/s\n",
        stillLoggedIn ? "yes" : "no", loopCpu, loopWall, 100.0 * loopCpu / loopWall,
        passes / loopWall);
    std::printf(
        "QApplication::exec(), same window:         %.3f s CPU in %.2f s = %.2f %% of a core\n",
        execCpu, execWall, 100.0 * execCpu / execWall);
    std::printf("ratio main loop / exec: %.1f\n", execCpu > 0 ? loopCpu / execCpu : 0.0);

    kavel::Disconnect();
    kavel::platform::endDesktop();
    return 0;
}
