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
#include <cstring>
#include <optional>

#include "rtl/ErrorReport.h"

namespace app {
namespace {

using std::chrono::milliseconds;

// The whole conversation: a later start says "show", followed by what its
// launcher gave it («show startup-id=... activation-token=...»), and the
// holder answers "shown" once its window is up.
constexpr char ShowRequest[] = "show";
constexpr char ShownReply[] = "shown";
constexpr char StartupIdKey[] = "startup-id=";
constexpr char ActivationTokenKey[] = "activation-token=";
constexpr qint64 LongestLine = 2048;

QByteArray RequestLine(const StartupToken& token) {
    QByteArray line = ShowRequest;
    if (IsPlainToken(token.StartupId))
        line += QByteArray(" ") + StartupIdKey + token.StartupId;
    if (IsPlainToken(token.ActivationToken))
        line += QByteArray(" ") + ActivationTokenKey + token.ActivationToken;
    return line + "\n";
}

// A show request, or nothing when the line is none. Words it does not know
// are passed over, so a later version may say more.
std::optional<StartupToken> ParseRequest(const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.isEmpty() || words.front() != ShowRequest)
        return std::nullopt;
    StartupToken token;
    for (const QByteArray& word : words.mid(1)) {
        if (word.startsWith(StartupIdKey))
            token.StartupId = word.mid(static_cast<qsizetype>(std::strlen(StartupIdKey)));
        else if (word.startsWith(ActivationTokenKey))
            token.ActivationToken =
                word.mid(static_cast<qsizetype>(std::strlen(ActivationTokenKey)));
    }
    if (!IsPlainToken(token.StartupId))
        token.StartupId.clear();
    if (!IsPlainToken(token.ActivationToken))
        token.ActivationToken.clear();
    return token;
}

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
    bool withToken = !FToken.Empty();
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
        const Asked asked = AskToShow(left, withToken);
        if (asked == Asked::Shown)
            return Claim::HandedOver;
        // A copy of an earlier version knows the bare request only and hangs
        // up on any other: it is asked once more without the token.
        if (asked == Asked::Refused && withToken) {
            withToken = false;
            continue;
        }
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
        const std::optional<StartupToken> request =
            ParseRequest(client->readLine(LongestLine + 1).trimmed());
        if (request) {
            if (OnShowRequest)
                rtl::SafeCall([this, &request] { OnShowRequest(*request); });
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

TSingleInstance::Asked TSingleInstance::AskToShow(milliseconds timeout, bool withToken) {
    QElapsedTimer clock;
    clock.start();
    auto left = [&] {
        return static_cast<int>(std::max<qint64>(1, timeout.count() - clock.elapsed()));
    };
    QLocalSocket socket;
    socket.connectToServer(FServerName);
    if (!socket.waitForConnected(std::min(left(), 2000)))
        return Asked::NoContact;
    socket.write(RequestLine(withToken ? FToken : StartupToken{}));
    if (!socket.waitForBytesWritten(left()))
        return Asked::NoContact;
    // A holder inside a blocking step (playing the alert sound) answers once
    // it is back in its event loop.
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            return Asked::Refused;
        if (clock.elapsed() >= timeout.count())
            return Asked::NoContact;
        if (!socket.waitForReadyRead(left()))
            return socket.state() == QLocalSocket::ConnectedState ? Asked::NoContact
                                                                  : Asked::Refused;
    }
    return socket.readLine(LongestLine + 1).trimmed() == ShownReply ? Asked::Shown : Asked::Refused;
}

}  // namespace app
