#pragma once
// A D-Bus message bus of the test's own (dbus-daemon with a configuration
// that activates no services), and a notification service that records
// what it is asked to show.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantMap>
#include <functional>
#include <vector>

#include "support/qt_wait.h"

namespace kavel_test {

using kavel::test::pumpUntil;

class PrivateBus {
  public:
    PrivateBus() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) return;
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral(
                    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                    "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                    "<auth>EXTERNAL</auth><policy context=\"default\">"
                    "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                    .arg(dir_.path())
                    .toUtf8());
        f.close();
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(10000)) return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    // Empty when no bus could be started (no dbus-daemon).
    const QString& address() const { return address_; }

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

// org.freedesktop.Notifications as a desktop offers it, writing down every
// notification; its ids start at 1 and a replaced notification keeps its id.
class RecordingNotifications : public QDBusVirtualObject {
  public:
    struct Shown {
        QString app;
        uint replaces;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout;
    };

    RecordingNotifications(const QString& address, QStringList capabilities)
        : name_(QStringLiteral("recorder-%1").arg(++instances())),
          bus_(QDBusConnection::connectToBus(address, name_)),
          capabilities_(std::move(capabilities)) {
        bus_.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                   QDBusConnection::SingleNode);
        bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~RecordingNotifications() override {
        bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(name_);
    }

    // What a click on the notification sends.
    void invoke(uint id, const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << id << action;
        bus_.send(signal);
    }

    std::vector<Shown> shown;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& connection) override {
        if (m.member() == QStringLiteral("GetCapabilities")) {
            connection.send(m.createReply(QVariant(capabilities_)));
            return true;
        }
        if (m.member() != QStringLiteral("Notify") || m.arguments().size() != 8) return false;
        const QList<QVariant> a = m.arguments();
        shown.push_back({a[0].toString(), a[1].toUInt(), a[2].toString(), a[3].toString(),
                         a[4].toString(), a[5].toStringList(), qdbus_cast<QVariantMap>(a[6]),
                         a[7].toInt()});
        const uint id = shown.back().replaces ? shown.back().replaces : next_++;
        connection.send(m.createReply(QVariant(id)));
        return true;
    }

  private:
    static int& instances() {
        static int n = 0;
        return n;
    }
    QString name_;
    QDBusConnection bus_;
    QStringList capabilities_;
    uint next_ = 1;
};

}  // namespace kavel_test
