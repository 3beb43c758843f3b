// A test hook loaded into an unchanged program with LD_PRELOAD; it is built
// for the tests only and never installed. When the program creates its
// QApplication, the hook starts watching the windows from the outside:
//
//   KAVEL_HOOK_REPORT=<file>   appends "shown <title>" when a window is first
//                              exposed and "active <title>" when one becomes
//                              the active window
//   KAVEL_HOOK_EXIT_ON_SHOWN=1 ends the process at once after the first
//                              window was shown (start-up benchmark)
//   KAVEL_HOOK_SOCKET=<path>   serves the driver commands of hook_commands.cpp
#include <unistd.h>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSet>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

#include "hook.h"

namespace kavelhook {

namespace {

std::FILE* report = nullptr;
bool exitOnShown = false;

class Watcher : public QObject {
  public:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* window = qobject_cast<QWindow*>(object);
        if (!window) return false;
        if (event->type() == QEvent::Expose && window->isExposed() && !shown_.contains(window)) {
            shown_.insert(window);
            connect(window, &QObject::destroyed, this, [this, window] { shown_.remove(window); });
            say("shown", window->title());
            if (exitOnShown) _exit(0);
        } else if (event->type() == QEvent::FocusIn && window->isActive()) {
            say("active", window->title());
        }
        return false;
    }

  private:
    QSet<QWindow*> shown_;
};

}  // namespace

void start() {
    if (const char* path = std::getenv("KAVEL_HOOK_REPORT"); path && *path) {
        report = std::fopen(path, "a");
        if (report) std::setvbuf(report, nullptr, _IOLBF, 0);
    }
    const char* exitFlag = std::getenv("KAVEL_HOOK_EXIT_ON_SHOWN");
    exitOnShown = exitFlag && *exitFlag == '1';
    QCoreApplication::instance()->installEventFilter(new Watcher);
    if (const char* socket = std::getenv("KAVEL_HOOK_SOCKET"); socket && *socket)
        startCommands(QString::fromLocal8Bit(socket));
}

void say(const char* what, const QString& text) {
    if (!report) return;
    std::fprintf(report, "%s %s\n", what, text.toUtf8().constData());
}

}  // namespace kavelhook

namespace {
void startHook() {
    kavelhook::start();
}
}  // namespace
Q_COREAPP_STARTUP_FUNCTION(startHook)
