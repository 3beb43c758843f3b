// The facade's registries: which window and control numbers are open, how
// fresh numbers are found, the desktop session, and putting it all back.
#include "desktop/gadgets_registry.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QThread>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/reset.h"
#include "desktop/caret.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "system/services.h"

namespace kavel::platform {

namespace detail {

GadgetState state;

QString q(std::string_view s) {
    return toQString(s);
}

QString caption(std::string_view s) {
    return toQString(s).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QString uncaption(QString s) {
    return s.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QString multiline(std::string_view s) {
    QString t = toQString(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

WindowRec* findWindow(int window) {
    auto it = state.windows.find(window);
    if (it == state.windows.end() || !it->second.frame) return nullptr;
    return &it->second;
}

ControlRec* findControl(int id) {
    auto it = state.controls.find(id);
    if (it == state.controls.end()) return nullptr;
    if (!it->second.widget) {
        state.controls.erase(it);
        return nullptr;
    }
    return &it->second;
}

void forgetControlsIn(QWidget* widget) {
    std::erase_if(state.controls, [widget](const auto& entry) {
        QWidget* w = entry.second.widget.data();
        return !w || w == widget || widget->isAncestorOf(w);
    });
}

void dropQueuedFor(int window) {
    std::erase_if(state.queue, [window](const Event& e) { return e.window == window; });
}

int freeWindowNumber() {
    int n = kFirstFreeWindow;
    while (state.windows.count(n))
        ++n;
    return n;
}

int freeControlNumber() {
    int n = kFirstFreeControl;
    while (state.controls.count(n))
        ++n;
    return n;
}

void reportControlClash(int control, int holder, int taker) {
    if (services().controlClash) {
        services().controlClash(control, holder, taker);
        return;
    }
    auto title = [](int window) {
        const WindowRec* rec = findWindow(window);
        return rec ? rec->frame->windowTitle().toLocal8Bit() : QByteArray();
    };
    std::fprintf(stderr,
                 "kavel: control %d of window %d \"%s\" is made again by window %d \"%s\"; "
                 "the first window loses it\n",
                 control, holder, title(holder).constData(), taker, title(taker).constData());
#ifndef NDEBUG
    std::abort();
#endif
}

}  // namespace detail

using namespace detail;

void assertGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        std::fprintf(stderr, "kavel: window facade used without a QApplication\n");
        std::abort();
    }
    if (QThread::currentThread() != app->thread()) {
        std::fprintf(stderr, "kavel: window facade used off the GUI thread\n");
        std::abort();
    }
}

namespace {
std::unique_ptr<QApplication> application;
}  // namespace

bool startDesktop(int& argc, char** argv) {
    if (QCoreApplication::instance()) {
        assertGuiThread();
        letCaretRest();
        return true;
    }
    application = std::make_unique<QApplication>(argc, argv);
    letCaretRest();
    // The program decides when it ends, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own texts (standard buttons, context menus of text fields) in
    // German like ours, from the translations the system provides.
    auto* german = new QTranslator(application.get());
    if (german->load(QStringLiteral("qtbase_de"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(german);
    return true;
}

void endDesktop() {
    // Without a session there is nothing left to close.
    if (!QCoreApplication::instance()) return;
    resetGadgets();
    detail::forgetGuiDispatcher();
    application.reset();
}

namespace {
// Only once a desktop session exists is there anything to put back.
const bool registered = registerReset([] {
    if (QApplication::instance()) resetGadgets();
});
}  // namespace

void resetGadgets() {
    assertGuiThread();
    delete state.build.bar;  // a menu bar still being built belongs to no window
    state.build = MenuBuild{};
    // Closing an owner closes what it owns, so take whichever is left.
    while (!state.windows.empty())
        closeWindow(state.windows.begin()->first);
    for (auto& [menu, rec] : state.popups)
        if (rec.menu) rec.menu->deleteLater();
    // Let the widgets really go before forgetting what they queued while going.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    detail::dropWaitSources();
    state = GadgetState{};
}

}  // namespace kavel::platform
