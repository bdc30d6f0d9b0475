#include "single_instance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>

namespace hsc::gui {

QString SingleInstance::defaultName() { return QStringLiteral("Hushcel-%1").arg(::getuid()); }

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

bool SingleInstance::claim() {
    {
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(1000)) {
            probe.write("raise\n");
            probe.waitForBytesWritten(1000);
            probe.disconnectFromServer();
            return false;
        }
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Nobody answered, so the socket file is left over from a copy that crashed.
        QLocalServer::removeServer(name_);
        server_->listen(name_);
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit raiseRequested();
        }
    });
    return true;
}

}  // namespace hsc::gui
