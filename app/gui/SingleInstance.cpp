#include "app/gui/SingleInstance.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>
#include <cstdio>

#include "rtl/ErrorReport.h"

namespace app {
namespace {

using std::chrono::milliseconds;

// The whole conversation: a later start says "show", the holder answers
// "shown" once its window is up.
constexpr char ShowRequest[] = "show";
constexpr char ShownReply[] = "shown";
constexpr qint64 LongestLine = 64;

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

TSingleInstance::TSingleInstance(const rtl::FileFolders& folders)
    : FServerName(ServerName(folders.Settings)), FLock(Text(folders.LockFile())) {
    // A lock is stale only when its process is gone, never by age: the holder
    // keeps it for as long as it runs, days if need be.
    FLock.setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::ServerName(const std::string& settingsFolder) {
    const QFileInfo folder(Text(settingsFolder));
    QString path = folder.canonicalFilePath();
    if (path.isEmpty())
        path = folder.absoluteFilePath();
    const QByteArray digest =
        QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256);
    return "perchly-" + QString::fromLatin1(digest.toHex().left(24));
}

TSingleInstance::Claim TSingleInstance::ClaimFolder(milliseconds patience) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // tryLock also takes over a lock whose process has died.
        if (FLock.tryLock(0)) {
            Listen();
            return Claim::First;
        }
        if (FLock.error() != QLockFile::LockFailedError)
            return Claim::Unguarded;
        const milliseconds left = patience - milliseconds(clock.elapsed());
        if (left <= milliseconds(0))
            return Claim::NoAnswer;
        if (AskToShow(left))
            return Claim::HandedOver;
        // The holder is starting and not listening yet, or has just died and
        // left its lock behind: look again shortly.
        QThread::msleep(100);
    }
}

qint64 TSingleInstance::HolderPid() const {
    qint64 pid = 0;
    QString host;
    QString application;
    return FLock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

bool TSingleInstance::Listen() {
    FServer = std::make_unique<QLocalServer>();
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a copy that died; holding the lock makes it ours.
    QLocalServer::removeServer(FServerName);
    if (!FServer->listen(FServerName)) {
        std::fprintf(stderr, "perchly: cannot listen on %s: %s\n",
                     qPrintable(FServer->fullServerName()), qPrintable(FServer->errorString()));
        return false;
    }
    connect(FServer.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = FServer->nextPendingConnection())
            Serve(client);
    });
    return true;
}

void TSingleInstance::Serve(QLocalSocket* client) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    auto answer = [this, client] {
        if (!client->canReadLine()) {
            if (client->bytesAvailable() > LongestLine)
                client->abort();
            return;
        }
        const QByteArray request = client->readLine(LongestLine + 1).trimmed();
        if (request == ShowRequest) {
            if (OnShowRequest)
                rtl::SafeCall(OnShowRequest);
            client->write(ShownReply);
            client->write("\n");
        }
        // Sends what is still buffered, then closes.
        client->disconnectFromServer();
    };
    connect(client, &QLocalSocket::readyRead, this, answer);
    if (client->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, answer, Qt::QueuedConnection);
}

bool TSingleInstance::AskToShow(milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    auto left = [&] {
        return static_cast<int>(std::max<qint64>(1, timeout.count() - clock.elapsed()));
    };
    QLocalSocket socket;
    socket.connectToServer(FServerName);
    if (!socket.waitForConnected(std::min(left(), 2000)))
        return false;
    socket.write(ShowRequest);
    socket.write("\n");
    if (!socket.waitForBytesWritten(left()))
        return false;
    // A holder inside a blocking step (playing the alert sound) answers once
    // it is back in its event loop.
    while (!socket.canReadLine()) {
        if (clock.elapsed() >= timeout.count() || !socket.waitForReadyRead(left()))
            return false;
    }
    return socket.readLine(LongestLine + 1).trimmed() == ShownReply;
}

}  // namespace app
