#include "desktop/desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "system/services.h"

namespace kavel::platform {

void alertWindow(int window) {
    assertGuiThread();
    QWidget* frame = windowFrame(window);
    if (!frame || isForegroundWindow(window)) return;
    if (services().attention) {
        services().attention(window);
        return;
    }
    // 0: until the window is activated.
    QApplication::alert(frame, 0);
}

void stayOnTop(int window) {
    assertGuiThread();
    QWidget* frame = windowFrame(window);
    if (!frame) return;
    const bool visible = frame->isVisible();
    const QRect geometry = frame->geometry();
    frame->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Changing the flags hides the window and may lose its place.
    frame->setGeometry(geometry);
    if (visible) frame->show();
}

bool staysOnTop(int window) {
    assertGuiThread();
    QWidget* frame = windowFrame(window);
    return frame && frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void openUrl(std::string_view target) {
    assertGuiThread();
    QDesktopServices::openUrl(QUrl::fromUserInput(toQString(target)));
}

}  // namespace kavel::platform
