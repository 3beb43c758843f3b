#include "desktop/notify.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QWidget>

#include "common/reset.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "system/services.h"

namespace kavel::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// Each notifier has a connection of its own: a name given back to Qt is not
// at once free for a new connection to another bus.
int connections = 0;
const QString kAppId = QStringLiteral("net.quarn.Kavel");

// libdbus would otherwise try to autolaunch a bus (through X11), which can
// take seconds; without a configured bus there is no one to notify anyway.
bool sessionBusConfigured() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

QString escapeMarkup(const QString& text) {
    return text.toHtmlEscaped();
}

void tell(int window, NotificationStep step) {
    if (services().notificationSteps) services().notificationSteps(window, step);
}

class Notifier : public QObject {
    Q_OBJECT

  public:
    Notifier(QObject* parent, const QString& address)
        : QObject(parent), name_(QStringLiteral("kavel-notifications-%1").arg(++connections)) {
        if (!address.isEmpty()) {
            bus_ = QDBusConnection::connectToBus(address, name_);
        } else {
            if (QGuiApplication::platformName() == QStringLiteral("offscreen") ||
                !sessionBusConfigured())
                return;
            bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
        }
        if (!bus_.isConnected()) return;
        bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
        bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                     SLOT(notificationClosed(uint, uint)));
        // Whether the body may carry markup; until the answer comes, assume
        // it may (escaped text is merely plain where it may not).
        watch(bus_.asyncCall(QDBusMessage::createMethodCall(kService, kPath, kService,
                                                            QStringLiteral("GetCapabilities"))),
              [this](QDBusPendingCallWatcher& w) {
                  const QDBusPendingReply<QStringList> reply = w;
                  if (!reply.isError())
                      markup_ = reply.value().contains(QStringLiteral("body-markup"));
              });
    }

    ~Notifier() override { QDBusConnection::disconnectFromBus(name_); }

    void notify(QWidget* frame, int window, const QString& summary, const QString& body) {
        if (!bus_.isConnected()) return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        const QVariantMap hints{{QStringLiteral("desktop-entry"), kAppId},
                                {QStringLiteral("category"), QStringLiteral("im.received")}};
        call << QStringLiteral("KAVEL") << lastId_.value(window, 0u) << kAppId << summary
             << (markup_ ? escapeMarkup(body) : body)
             << QStringList{QStringLiteral("default"), QStringLiteral("Anzeigen")} << hints << -1;
        tell(window, NotificationStep::Sent);
        Target target{window, frame};
        watch(bus_.asyncCall(call), [this, target, window](QDBusPendingCallWatcher& w) {
            const QDBusPendingReply<uint> reply = w;
            if (reply.isError()) {
                tell(window, NotificationStep::Failed);
                return;
            }
            tell(window, NotificationStep::Shown);
            targets_.insert(reply.value(), target);
            lastId_.insert(window, reply.value());
        });
    }

  private slots:
    void actionInvoked(uint id, const QString& action) {
        const Target target = targets_.value(id);
        // A closed window may linger until the next deferred delete, and its
        // number may be another window's by now.
        if (action != QStringLiteral("default") || !target.frame ||
            windowFrame(target.window) != target.frame)
            return;
        raise(target.frame);
        tell(target.window, NotificationStep::Clicked);
    }

    void notificationClosed(uint id, uint) { targets_.remove(id); }

  public:
    static void raise(QWidget* frame) {
        if (frame->isMinimized()) frame->showNormal();
        frame->show();
        frame->raise();
        frame->activateWindow();
    }

  private:
    template <class Done>
    void watch(const QDBusPendingCall& call, Done done) {
        auto* watcher = new QDBusPendingCallWatcher(call, this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [done](QDBusPendingCallWatcher* w) {
                    done(*w);
                    w->deleteLater();
                });
    }

    QString name_;
    QDBusConnection bus_{QString()};
    bool markup_ = true;
    struct Target {
        int window = -1;
        QPointer<QWidget> frame;
    };
    QHash<uint, Target> targets_;  // notification id -> window to raise
    QHash<int, uint> lastId_;      // window -> its latest notification
};

QPointer<Notifier> notifier;
QString busAddress;

const bool registered = registerReset([] {
    delete notifier.data();
    busAddress.clear();
});

// On the bus services() names; a notifier for another bus is let go.
Notifier& theNotifier() {
    const QString wanted = QString::fromStdString(services().notificationBus);
    if (notifier && busAddress != wanted) delete notifier.data();
    busAddress = wanted;
    if (!notifier) notifier = new Notifier(QCoreApplication::instance(), busAddress);
    return *notifier;
}

}  // namespace

void notifyDesktop(int window, std::string_view summary, std::string_view body) {
    assertGuiThread();
    QWidget* frame = windowFrame(window);
    if (!frame) return;
    theNotifier().notify(frame, window, toQString(summary), toQString(body));
}

void raiseWindow(int window) {
    assertGuiThread();
    if (QWidget* frame = windowFrame(window)) Notifier::raise(frame);
}

}  // namespace kavel::platform

#include "notify.moc"
