#pragma once
// Waiting on Qt and finding what the user would see: events, deferred
// deletions and queued jobs (a finished Setup's release) run while a
// condition is polled; windows and controls are found by title and by
// accessible name; a plug-in's variables are read from the loaded copy.

#include <dlfcn.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QThread>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"

namespace kavel::test {

// The items of a window's menu bar as the user sees them, in menu order;
// each carries its number as its data. A replaced bar may linger until
// deferred deletes run: the newest one counts.
inline std::vector<QAction*> menuBarItems(int window) {
    std::vector<QAction*> out;
    QWidget* frame = platform::windowFrame(window);
    const QList<QMenuBar*> bars =
        frame ? frame->findChildren<QMenuBar*>(Qt::FindDirectChildrenOnly) : QList<QMenuBar*>();
    if (bars.isEmpty()) return out;
    std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            if (a->menu())
                walk(a->menu()->actions());
            else if (a->data().isValid())
                out.push_back(a);
        }
    };
    walk(bars.back()->actions());
    return out;
}
inline std::vector<int> menuItemIds(int window) {
    std::vector<int> ids;
    for (QAction* a : menuBarItems(window))
        ids.push_back(a->data().toInt());
    return ids;
}
// True also when the window has no such item.
inline bool menuItemDisabled(int window, int id) {
    for (QAction* a : menuBarItems(window))
        if (a->data().toInt() == id) return !a->isEnabled();
    return true;
}

// Takes what the windows queued so far and throws it away.
inline void discardEvents() {
    while (platform::pollEvent().kind != platform::EventKind::None) {
    }
}

// Lets Qt deliver what is pending until the condition holds; false after
// the limit (generous: a loaded machine or ThreadSanitizer must not fail a
// test).
inline bool pumpUntil(const std::function<bool()>& condition, int limitMs = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
    return true;
}

// The visible top-level windows with this title.
inline QWidgetList visibleWindows(const QString& title) {
    QWidgetList out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) out.push_back(w);
    return out;
}
inline QWidget* visibleWindow(const QString& title) {
    const QWidgetList all = visibleWindows(title);
    return all.isEmpty() ? nullptr : all.front();
}

// The child of `window` of type T with this accessible name, or null.
template <typename T>
T* named(QWidget* window, const QString& name) {
    for (T* child : window->findChildren<T*>())
        if (child->accessibleName() == name) return child;
    return nullptr;
}

// A variable of plugins/<file> in the copy the host loaded; null once the
// library is gone.
template <typename T>
T* pluginData(const std::string& file, const char* name) {
    void* handle = ::dlopen(("plugins/" + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    auto* data = static_cast<T*>(::dlsym(handle, name));
    ::dlclose(handle);  // the host's own reference keeps it mapped
    return data;
}
inline bool pluginMapped(const std::string& file) {
    void* handle = ::dlopen(("plugins/" + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle != nullptr;
}

}  // namespace kavel::test
