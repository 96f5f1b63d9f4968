#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/gui/StartupNotice.h"
#include "rtl/FileFolders.h"

class QLocalServer;
class QLocalSocket;

namespace app {

// One running copy per settings folder, so two windows never overwrite each
// other's lists. The first start holds the lock file perchly.lock in the folder
// and listens on a local socket named after the folder; a later start finds the
// lock held, asks the running copy over that socket to show its window and
// leaves. A lock whose process has died (a crash, SIGKILL) is taken over.
class TSingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        First,       // this process holds the folder; show requests reach OnShowRequest
        HandedOver,  // another copy holds it and has shown its window
        NoAnswer,    // another copy holds it but did not answer in time
        Unguarded,   // no lock file can be made there (a read-only folder): run without
    };

    explicit TSingleInstance(const rtl::FileFolders& folders);
    ~TSingleInstance() override;
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // What the launcher gave this start; a hand-over passes it on, so the
    // running copy can complete the launcher's start-up notification.
    void SetStartupToken(const StartupToken& token) { FToken = token; }

    // Takes the folder, or hands over to the copy that holds it. A copy that is
    // still starting (it holds the lock but does not listen yet) or is busy is
    // given up to `patience` to answer.
    Claim ClaimFolder(std::chrono::milliseconds patience = std::chrono::seconds(15));

    // Process id of the copy that holds the lock, 0 when unknown.
    qint64 HolderPid() const;

    // Runs in the holding copy whenever a later start asks for the window,
    // with what that start's launcher gave it.
    std::function<void(const StartupToken&)> OnShowRequest;

    // The local socket's name for a folder: the same for every start by the
    // same user on the same folder, whatever path leads there.
    static QString ServerName(const std::string& settingsFolder);

private:
    enum class Asked { Shown, Refused, NoContact };
    bool Listen();
    Asked AskToShow(std::chrono::milliseconds timeout, bool withToken);
    void Serve(QLocalSocket* client);

    StartupToken FToken;
    QString FServerName;
    QLockFile FLock;
    std::unique_ptr<QLocalServer> FServer;
};

}  // namespace app
