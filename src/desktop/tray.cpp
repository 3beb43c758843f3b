#include "desktop/tray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>
#include <optional>

#include "common/reset.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "system/services.h"

namespace kavel::platform {

namespace {

struct Tray {
    std::unique_ptr<QSystemTrayIcon> icon;
    std::unique_ptr<QMenu> menu;
    int number = -1;
    TrayLook look;
};

std::unique_ptr<Tray> tray;
std::optional<bool> systemTray;

const bool registered = registerReset([] { tray.reset(); });

// Sizes of the compiled-in pictures; the theme's icon wins where the
// program is installed.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64};

QIcon programIcon() {
    QIcon own;
    for (const int size : kSizes)
        own.addFile(QStringLiteral(":/icons/%1x%1/net.quarn.Kavel.png").arg(size));
    return QIcon::fromTheme(QStringLiteral("net.quarn.Kavel"), own);
}

// The program's icon with a dot in the corner, in the colour desktops use
// for "needs attention"; drawn at every size so small panels keep the dot.
QIcon alertIcon() {
    const QIcon base = programIcon();
    QIcon marked;
    for (const int size : kSizes) {
        QPixmap pixmap = base.pixmap(size, size);
        if (pixmap.isNull()) continue;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal dot = pixmap.width() * 0.45;
        painter.setPen(QPen(Qt::white, std::max<qreal>(1, dot / 8)));
        painter.setBrush(QColor(0xE0, 0x1B, 0x24));
        painter.drawEllipse(QRectF(pixmap.width() - dot, pixmap.height() - dot, dot, dot)
                                .adjusted(0.5, 0.5, -0.5, -0.5));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

void fillMenu(Tray& t) {
    t.menu->clear();
    for (const TrayEntry& entry : t.look.menu) {
        QAction* action = t.menu->addAction(toQString(entry.text));
        action->setEnabled(!entry.disabled);
        const int id = entry.id;
        QObject::connect(action, &QAction::triggered, [number = t.number, id] {
            pushEvent({EventKind::Menu, number, id, EventType::None});
        });
    }
}

}  // namespace

bool trayAvailable() {
    if (services().trayAvailable) return services().trayAvailable();
    assertGuiThread();
    if (!systemTray) systemTray = QSystemTrayIcon::isSystemTrayAvailable();
    return *systemTray;
}

void showTray(int number, const TrayLook& look) {
    assertGuiThread();
    if (!trayAvailable()) return;
    const bool fresh = !tray;
    if (fresh) {
        tray = std::make_unique<Tray>();
        tray->menu = std::make_unique<QMenu>();
        tray->menu->setAccessibleName(QStringLiteral("KAVEL"));
        tray->icon = std::make_unique<QSystemTrayIcon>();
        tray->icon->setContextMenu(tray->menu.get());
        QObject::connect(tray->icon.get(), &QSystemTrayIcon::activated,
                         [](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger && tray)
                                 pushEvent({EventKind::Control, tray->number, 0, EventType::Click});
                         });
    }
    Tray& t = *tray;
    const TrayLook old = t.look;
    const bool renumbered = t.number != number;
    t.number = number;
    t.look = look;
    if (fresh || old.alert != look.alert) t.icon->setIcon(look.alert ? alertIcon() : programIcon());
    if (fresh || old.toolTip != look.toolTip) t.icon->setToolTip(toQString(look.toolTip));
    if (fresh || renumbered || old.menu != look.menu) fillMenu(t);
    if (fresh) t.icon->show();
}

void removeTray() {
    assertGuiThread();
    tray.reset();
}

bool trayShown() {
    assertGuiThread();
    return tray && tray->icon->isVisible();
}

TrayLook trayLook() {
    assertGuiThread();
    return tray ? tray->look : TrayLook{};
}

void clickTray() {
    assertGuiThread();
    if (tray) emit tray->icon->activated(QSystemTrayIcon::Trigger);
}

void chooseTrayEntry(int id) {
    assertGuiThread();
    if (!tray) return;
    const QList<QAction*> actions = tray->menu->actions();
    for (qsizetype i = 0; i < actions.size() && i < qsizetype(tray->look.menu.size()); ++i)
        if (tray->look.menu[std::size_t(i)].id == id && actions[i]->isEnabled())
            actions[i]->trigger();
}

QSystemTrayIcon* trayIcon() {
    assertGuiThread();
    return tray ? tray->icon.get() : nullptr;
}

void hideWindow(int window) {
    assertGuiThread();
    if (QWidget* frame = windowFrame(window)) frame->hide();
}

bool windowVisible(int window) {
    assertGuiThread();
    const QWidget* frame = windowFrame(window);
    return frame && frame->isVisible();
}

}  // namespace kavel::platform
