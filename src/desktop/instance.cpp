#include "desktop/instance.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include "common/reset.h"
#include "desktop/gadgets_qt.h"
#include "desktop/notify.h"

namespace kavel::platform {

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kRequest = QByteArrayLiteral("raise\n");

QPointer<QLocalServer> server;
const bool registered = registerReset([] { delete server.data(); });

// Per user and folder. The runtime folder is the user's own (0700); the
// temporary folder is shared, so the user id is part of the name and the
// socket itself is made for the user alone.
QString socketName() {
    const QByteArray folder = QDir::current().canonicalPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex();
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir()) base = QDir::tempPath();
    return QStringLiteral("%1/kavel-%2-%3")
        .arg(base)
        .arg(static_cast<qulonglong>(getuid()))
        .arg(QString::fromLatin1(hash.left(32)));
}

// True when a running client took the request.
bool askRunningClient(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write(kRequest);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

void serve(QLocalSocket* peer, int window) {
    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, window] {
        // Anything but the one request is ignored; the peer is the same user.
        if (!peer->canReadLine()) {
            if (peer->bytesAvailable() > 64) peer->abort();
            return;
        }
        if (peer->readLine(64) == kRequest) {
            raiseWindow(window);
        }
        peer->disconnectFromServer();
    });
}

}  // namespace

bool claimWorkingFolder(int window) {
    assertGuiThread();
    const QString name = socketName();
    if (askRunningClient(name)) return false;

    delete server.data();
    server = new QLocalServer(QCoreApplication::instance());
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // Nobody answered, so the socket is left over from a client that
        // ended without removing it.
        QLocalServer::removeServer(name);
        if (!server->listen(name)) return true;  // run alone, unreachable
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [window] {
        while (QLocalSocket* peer = server->nextPendingConnection())
            serve(peer, window);
    });
    return true;
}

std::string workingFolderSocket() {
    return socketName().toStdString();
}

}  // namespace kavel::platform
