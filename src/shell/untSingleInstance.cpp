#include "untSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace {
QString CanonicalFolder(const QString& folder) {
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}
} // namespace

TSingleInstance::TSingleInstance(const QString& settingsFolder, QObject* parent)
    : QObject(parent), FFolder(settingsFolder) {}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::ServerName(const QString& settingsFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(CanonicalFolder(settingsFolder).toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("quillet-%1").arg(QString::fromLatin1(hash.left(20)));
}

QString TSingleInstance::LockFileName(const QString& settingsFolder) {
    return QDir(settingsFolder).filePath(QStringLiteral("quillet.lock"));
}

bool TSingleInstance::Claim() {
    if (FClaimed)
        return true;
    QDir().mkpath(FFolder);
    auto lock = std::make_unique<QLockFile>(LockFileName(FFolder));
    // A lock left by a copy that died is taken over (QLockFile checks that its owner still runs).
    if (!lock->tryLock(0))
        return false;
    FLock = std::move(lock);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = ServerName(FFolder);
    // We hold the lock, so a socket of that name is a leftover of a copy that died.
    QLocalServer::removeServer(name);
    if (FServer->listen(name))
        connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
    FClaimed = true;
    return true;
}

void TSingleInstance::Accept() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only the one short message is expected; anything longer is dropped unread.
            if (socket->bytesAvailable() > 64) {
                socket->abort();
                return;
            }
            if (socket->canReadLine() || socket->bytesAvailable() >= ShowMessage.size()) {
                const QByteArray line = socket->readAll().trimmed();
                socket->disconnectFromServer();
                if (line == ShowMessage)
                    emit showRequested();
            }
        });
    }
}

bool TSingleInstance::NotifyRunning(int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(ServerName(FFolder));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(ShowMessage + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}
