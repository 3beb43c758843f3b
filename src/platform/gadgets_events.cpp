// The event queue. Qt signals only ever push Event records; the program's
// handlers run from the main loop, never inside a Qt callback, so a handler
// may close the very window whose button was pressed.
#include <QCoreApplication>

#include "platform/gadgets.h"
#include "platform/gadgets_qt.h"
#include "platform/gadgets_registry.h"

namespace kavel::platform {

using detail::state;

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

void postEvent(const Event& event) {
    pushEvent(event);
}

}  // namespace kavel::platform
