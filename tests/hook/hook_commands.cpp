// The driver's commands, one line each, answered by one line.
#include <QLocalServer>
#include <QLocalSocket>

#include "hook.h"

namespace kavelhook {

void startCommands(const QString& path) {
    auto* server = new QLocalServer;
    QLocalServer::removeServer(path);
    if (!server->listen(path)) say("error", server->errorString());
}

}  // namespace kavelhook
