// A later start hands what its launcher gave it (the X start-up id, the
// Wayland activation token) to the running copy, so that copy can complete the
// launcher's start-up notification when it raises its window.
#include <gtest/gtest.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "app/gui/SingleInstance.h"
#include "app/gui/StartupNotice.h"
#include "rtl/FileFolders.h"
#include "tests/support/TestSupport.h"

namespace {

using app::StartupToken;
using app::TSingleInstance;
using std::chrono::seconds;

// A later start, in a thread of its own: its waits block, while the copy
// that holds the folder answers from this thread's event loop.
TSingleInstance::Claim StartLater(const rtl::FileFolders& folders, const StartupToken& token) {
    std::atomic<bool> done = false;
    TSingleInstance::Claim claim = TSingleInstance::Claim::First;
    std::thread later([&] {
        TSingleInstance instance(folders);
        instance.SetStartupToken(token);
        claim = instance.ClaimFolder(seconds(30));
        done = true;
    });
    const bool ended = testsupport::PumpUntil([&] { return done.load(); }, seconds(60));
    later.join();
    EXPECT_TRUE(ended);
    return claim;
}

TEST(StartupHandOver, TheLaunchersIdAndTokenReachTheRunningCopy) {
    testsupport::TempFolder folder;
    const rtl::FileFolders folders = rtl::PortableFolders(folder.Path());
    TSingleInstance running(folders);
    ASSERT_EQ(running.ClaimFolder(), TSingleInstance::Claim::First);
    std::vector<StartupToken> received;
    running.OnShowRequest = [&](const StartupToken& token) { received.push_back(token); };

    const StartupToken launched{"openbox-1234-host-perchly-0_TIME4711", "wl:7f3a-token"};
    EXPECT_EQ(StartLater(folders, launched), TSingleInstance::Claim::HandedOver);
    // A start without a launcher (from a shell) asks plainly.
    EXPECT_EQ(StartLater(folders, {}), TSingleInstance::Claim::HandedOver);
    // What could not travel on one line is left behind, the rest still goes.
    const StartupToken odd{"two words", QByteArray(600, 'x')};
    EXPECT_EQ(StartLater(folders, odd), TSingleInstance::Claim::HandedOver);
    const StartupToken half{"", QByteArray("fine")};
    EXPECT_EQ(StartLater(folders, half), TSingleInstance::Claim::HandedOver);

    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0], launched);
    EXPECT_TRUE(received[1].Empty());
    EXPECT_TRUE(received[2].Empty());
    EXPECT_EQ(received[3], half);
}

TEST(StartupHandOver, ACopyThatKnowsOnlyTheBareRequestIsAskedAgainWithout) {
    testsupport::TempFolder folder;
    const rtl::FileFolders folders = rtl::PortableFolders(folder.Path());
    // The running copy of an earlier version: it answers "show" and hangs up
    // on anything else.
    QLockFile lock(QString::fromStdString(folders.LockFile()));
    ASSERT_TRUE(lock.tryLock(0));
    QLocalServer earlier;
    QLocalServer::removeServer(TSingleInstance::ServerName(folders.Settings));
    ASSERT_TRUE(earlier.listen(TSingleInstance::ServerName(folders.Settings)));
    std::vector<QByteArray> requests;
    QObject::connect(&earlier, &QLocalServer::newConnection, [&] {
        QLocalSocket* client = earlier.nextPendingConnection();
        QObject::connect(client, &QLocalSocket::readyRead, client, [&requests, client] {
            if (!client->canReadLine())
                return;
            requests.push_back(client->readLine().trimmed());
            if (requests.back() == "show")
                client->write("shown\n");
            client->disconnectFromServer();
        });
    });

    EXPECT_EQ(StartLater(folders, {"id_TIME1", ""}), TSingleInstance::Claim::HandedOver);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], "show startup-id=id_TIME1");
    EXPECT_EQ(requests[1], "show");
}

TEST(StartupNotice, TheLaunchTimeIsReadFromTheEndOfTheId) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"openbox-1234-host-perchly-0_TIME4711", 4711},
        {"kde_TIME1_TIME22", 22},  // the last mark counts
        {"no-time-here", 0},
        {"trailing_TIME", 0},
        {"junk_TIME12ab", 0},
        {"signed_TIME-5", 0},
        {"too-big_TIME99999999999", 0},
        {"edge_TIME4294967295", 4294967295u},
    };
    for (const auto& [id, time] : cases)
        EXPECT_EQ(app::StartupTime(id), time) << id;
}

TEST(StartupNotice, TheRemoveMessageQuotesIdsThatNeedIt) {
    EXPECT_EQ(app::StartupRemoveMessage("plain-id_TIME1"), "remove: ID=plain-id_TIME1");
    EXPECT_EQ(app::StartupRemoveMessage("a\"b\\c"), "remove: ID=\"a\\\"b\\\\c\"");
    EXPECT_EQ(app::StartupRemoveMessage("two words"), "remove: ID=\"two words\"");

    EXPECT_TRUE(app::IsPlainToken("openbox-1-host-x-0_TIME2"));
    for (const QByteArray& bad : {QByteArray(), QByteArray("a b"), QByteArray("a\nb"),
                                  QByteArray("\x7f"), QByteArray(513, 'x')})
        EXPECT_FALSE(app::IsPlainToken(bad)) << bad.toStdString();
}

}  // namespace
