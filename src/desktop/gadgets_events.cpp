// The event queue. Qt signals only ever push Event records; the program's
// handlers run from the main loop, never inside a Qt callback, so a handler
// may close the very window whose button was pressed.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"
#include "system/clock.h"
#include "system/faults.h"
#include "system/socket.h"
#include "system/tls.h"

namespace kavel::platform {

using detail::state;

namespace {

// What an idle main loop waits on besides Qt's own sources. The notifier is
// armed only while the loop waits: between waits the loop reads the
// connection itself, and a level-triggered notifier left on would spin
// inside every processEvents() until the data is gone.
struct WaitSources {
    std::unique_ptr<QSocketNotifier> connection;
    int connectionFd = -1;
    QTimer deadline;
    // The end of a wait that keeps the windows painted; apart from the idle
    // deadline, which stays armed for the main loop.
    QTimer busyDeadline;
};
std::unique_ptr<WaitSources> sources;
// Set while a session exists, so that other threads can wake the GUI thread
// without touching the application object itself.
std::atomic<QAbstractEventDispatcher*> guiDispatcher{nullptr};

WaitSources& waitSources() {
    if (!sources) {
        sources = std::make_unique<WaitSources>();
        sources->deadline.setSingleShot(true);
        // Keep-alive and animation frames are promises about time; a coarse
        // timer may fire 5 % late.
        sources->deadline.setTimerType(Qt::PreciseTimer);
        sources->busyDeadline.setSingleShot(true);
    }
    // It lives as long as the application; a reset between tests keeps it.
    guiDispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    return *sources;
}

void watchConnection(WaitSources& w, uint32_t connection) {
    const int fd = fdOf(connection);
    if (fd != w.connectionFd) {
        w.connection.reset();
        w.connectionFd = fd;
        if (fd >= 0) {
            w.connection = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            w.connection->setEnabled(false);
            // Only there to end processEvents(); the main loop does the reading.
            QObject::connect(w.connection.get(), &QSocketNotifier::activated,
                             [n = w.connection.get()] { n->setEnabled(false); });
        }
    }
    if (w.connection) w.connection->setEnabled(true);
}

}  // namespace

namespace detail {

void dropWaitSources() {
    sources.reset();
}

void forgetGuiDispatcher() {
    guiDispatcher = nullptr;
}

}  // namespace detail

void pushEvent(const Event& event) {
    assertGuiThread();
    state.queue.push_back(event);
}

Event pollEvent() {
    assertGuiThread();
    if (state.queue.empty()) {
        QCoreApplication::processEvents();
        // Our loop is not Qt's: deleteLater() would otherwise wait forever.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (state.queue.empty()) return {};
    Event e = state.queue.front();
    state.queue.pop_front();
    return e;
}

void waitForWork(uint32_t timeoutMs, uint32_t connection) {
    assertGuiThread();
    if (timeoutMs == 0 || !state.queue.empty() || endRequested()) return;
    // Decrypted bytes waiting inside TLS never show on the descriptor.
    if (tlsHoldsInput(connection)) return;
    WaitSources& w = waitSources();
    watchConnection(w, connection);
    if (timeoutMs != kWaitForever)
        w.deadline.start(static_cast<int>(std::min<uint32_t>(timeoutMs, INT32_MAX)));
    // Returns once Qt dispatched something: one of ours above, a window
    // event, a posted event, the end-signal notifier or a wakeUp().
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    w.deadline.stop();
    if (w.connection) w.connection->setEnabled(false);
}

void waitKeepingWindowsPainted(uint32_t timeoutMs) {
    if (simulatedTime() || !QCoreApplication::instance()) {
        keepWindowsPainted();
        // Without a desktop nothing wakes us: look again soon.
        sleepMs(QCoreApplication::instance() ? timeoutMs : std::min<uint32_t>(timeoutMs, 10));
        return;
    }
    assertGuiThread();
    WaitSources& w = waitSources();
    w.busyDeadline.start(static_cast<int>(std::min<uint32_t>(timeoutMs, INT32_MAX)));
    // User input stays with the window system, as in keepWindowsPainted: a
    // second click on what started the wait must not queue a second start.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
    w.busyDeadline.stop();
}

WaitHooks guiThreadWait() {
    return {&waitKeepingWindowsPainted, &wakeMainLoop};
}

void wakeMainLoop() {
    if (QAbstractEventDispatcher* d = guiDispatcher.load()) d->wakeUp();
}

void postEvent(const Event& event) {
    pushEvent(event);
}

}  // namespace kavel::platform
