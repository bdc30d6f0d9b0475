#include "single_instance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include "os/system.h"

namespace hsc::gui {

QString SingleInstance::defaultName() { return QString::fromStdString(os::single_instance_name()); }

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

// The request: "raise\n", then each file's path as the file system spells it, each ended
// by a NUL byte (the one byte no path can hold).
bool SingleInstance::claim(const QStringList& files) {
    {
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(1000)) {
            QByteArray request("raise\n");
            for (const QString& f : files) request += QFile::encodeName(f) + '\0';
            probe.write(request);
            while (probe.bytesToWrite() > 0 && probe.waitForBytesWritten(1000)) {
            }
            probe.disconnectFromServer();
            if (probe.state() != QLocalSocket::UnconnectedState) probe.waitForDisconnected(1000);
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
            emit raiseRequested();
            // The files arrive whole once the other copy has hung up.
            auto finish = [this, socket] {
                QList<QByteArray> parts = socket->readAll().split('\0');
                socket->deleteLater();
                QStringList files;
                for (qsizetype i = 0; i + 1 < parts.size(); ++i) {  // the last part is unended
                    QByteArray path = i == 0 ? parts[i].mid(parts[i].indexOf('\n') + 1) : parts[i];
                    if (!path.isEmpty()) files << QFile::decodeName(path);
                }
                if (!files.isEmpty()) emit filesRequested(files);
            };
            connect(socket, &QLocalSocket::disconnected, this, finish);
        }
    });
    return true;
}

}  // namespace hsc::gui
