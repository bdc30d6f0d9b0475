#include "single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

namespace hsc::gui {

// In the user's private runtime folder when there is one: a name in the shared temporary
// folder could be taken first by another user, who would then receive our file paths.
QString SingleInstance::defaultName() {
    const QString name = QStringLiteral("Hushcel-%1").arg(::getuid());
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) return name;
    struct stat st {};
    // Only a folder of our own that nobody else may enter keeps the name private.
    if (::stat(runtime.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0)
        return name;
    return QFile::decodeName(runtime) + QLatin1Char('/') + name;
}

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
