// Blocking waits on the GUI thread that must not freeze the windows.
#include <QCoreApplication>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"

namespace kavel::platform {

void keepWindowsPainted() {
    // Without a desktop (console tools, tests of the network code) there
    // is nothing to paint.
    if (!QCoreApplication::instance()) return;
    assertGuiThread();
    // User input stays with the window system until the main loop asks
    // again, so nobody can press "Eintragen!" a second time meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace kavel::platform
