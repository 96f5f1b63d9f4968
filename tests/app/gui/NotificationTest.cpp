// A broken watch is said once per streak on the desktop: through a private
// session bus with a small stand-in for the notification service, then
// through the tray where no service answers, and not at all where neither
// exists. Nothing of it opens a box or stops monitoring.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QVariantMap>

#include "app/gui/WatchAnnouncer.h"
#include "tests/app/gui/WatchCycleFixture.h"

namespace {

// What a desktop's notification service receives.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString AppName;
        uint ReplacesId;
        QString Summary;
        QString Body;
        QVariantMap Hints;
    };
    std::vector<Call> Calls;

public slots:
    Q_SCRIPTABLE uint Notify(const QString& appName, uint replacesId, const QString&,
                             const QString& summary, const QString& body, const QStringList&,
                             const QVariantMap& hints, int) {
        Calls.push_back({appName, replacesId, summary, body, hints});
        return replacesId != 0 ? replacesId : static_cast<uint>(Calls.size()) + 40;
    }
};

// A session bus of the test's own, ended with the test. It starts no service
// of its own accord, so what answers on it is the test's alone.
class PrivateBus {
public:
    PrivateBus() {
        // The policy of the standard session bus, without its service folders.
        testsupport::WriteFile(
            FFolder.File("bus.conf"),
            "<busconfig><type>session</type><listen>unix:dir=" + FFolder.Path() +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        FDaemon.start("dbus-daemon",
                      {"--config-file=" + QString::fromStdString(FFolder.File("bus.conf")),
                       "--nofork", "--print-address=1"});
        if (FDaemon.waitForReadyRead(20000))
            FAddress = QString::fromUtf8(FDaemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : FNames)
            QDBusConnection::disconnectFromBus(name);
        FDaemon.kill();
        FDaemon.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return FAddress; }
    QDBusConnection Connect(const QString& name) {
        FNames.push_back(name);
        return QDBusConnection::connectToBus(FAddress, name);
    }

private:
    testsupport::TempFolder FFolder;
    QProcess FDaemon;
    QString FAddress;
    QStringList FNames;
};

class BrokenWatch : public testsupport::WatchCycleFixture {
protected:
    void SetUp() override { WritePrompts(DefaultPrompts); }
    static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
};

TEST_F(BrokenWatch, IsAnnouncedOncePerStreakByTheServiceElseByTheTray) {
    PrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
    QDBusConnection serviceSide = bus.Connect("perchly-test-service");
    FakeNotifications service;
    ASSERT_TRUE(serviceSide.registerObject("/org/freedesktop/Notifications", &service,
                                           QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(serviceSide.registerService("org.freedesktop.Notifications"));

    std::vector<QString> trayMessages;
    app::TWatchAnnouncer announcer(bus.Connect("perchly-test-client"),
                                   [&](const QString& title, const QString& text) {
                                       trayMessages.push_back(title + "|" + text);
                                       return true;
                                   });
    Server.SetPage("/a", "down", 503);
    Server.SetPage("/c", "down", 503);
    Open({{Gb("聊天大厅"), Server.Address("/a")}, {"C", Server.Address("/c")}}, {{"Alice"}});
    Form->OnHealthTurn = [&](const std::string& name, app::HealthTurn turn,
                             const std::string& reason) { announcer.Announce(name, turn, reason); };
    const auto ticks = [&](int count) {
        for (int i = 0; i < count; ++i)
            Form->Timer1Timer();
    };
    // Until the service has the call and the announcer its answer.
    const auto calls = [&](size_t count) {
        return testsupport::PumpUntil(
            [&] { return service.Calls.size() >= count && announcer.Waiting() == 0; });
    };

    // C, 聊天大厅, C, 聊天大厅, C: C's third failure in a row.
    ticks(5);
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(service.Calls[0].AppName, "Perchly");
    EXPECT_EQ(service.Calls[0].ReplacesId, 0u);
    EXPECT_EQ(service.Calls[0].Summary, Q("站点「C」连续 3 次无法访问"));
    EXPECT_EQ(service.Calls[0].Body, Q("服务器返回 503: 服务暂时不可用"));
    EXPECT_EQ(service.Calls[0].Hints.value("desktop-entry").toString(), "org.example.perchly");
    // 聊天大厅 breaks right after: the same notification, updated.
    ticks(1);
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(service.Calls[1].ReplacesId, 41u);
    EXPECT_EQ(service.Calls[1].Summary, Q("2 个站点连续 3 次无法访问"));
    EXPECT_EQ(service.Calls[1].Body, Q("C、聊天大厅"));
    // Further failures of the same streaks say nothing; a recovery does.
    ticks(2);
    Server.SetPage("/c", "up");
    ticks(2);
    ASSERT_TRUE(calls(3));
    EXPECT_EQ(service.Calls[2].Summary, Q("站点「C」恢复正常"));
    EXPECT_EQ(service.Calls[2].ReplacesId, 0u);

    // No service on the bus any more: the tray says it.
    ASSERT_TRUE(serviceSide.unregisterService("org.freedesktop.Notifications"));
    announcer.GroupingTime = std::chrono::milliseconds(0);
    Server.SetPage("/c", "down", 404);
    ticks(6);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return announcer.Waiting() == 0; }));
    EXPECT_EQ(
        trayMessages,
        std::vector<QString>{Q("Perchly|站点「C」连续 3 次无法访问: 服务器返回 404: 页面不存在")});
    EXPECT_EQ(service.Calls.size(), 3u);
    EXPECT_TRUE(Desktop.MessageBoxes.empty());
    EXPECT_TRUE(Form->Timer1->Enabled());
    EXPECT_TRUE(Errors.Messages().empty());

    // Without a bus the tray says it at once; with neither, nothing is said.
    trayMessages.clear();
    app::TWatchAnnouncer trayOnly(QDBusConnection("perchly-test-none"),
                                  [&](const QString& title, const QString& text) {
                                      trayMessages.push_back(title + "|" + text);
                                      return true;
                                  });
    trayOnly.Announce("Room", app::HealthTurn::Broken, Gb("连接被重置"));
    EXPECT_EQ(trayMessages,
              std::vector<QString>{Q("Perchly|站点「Room」连续 3 次无法访问: 连接被重置")});
    app::TWatchAnnouncer silent(QDBusConnection("perchly-test-none"), {});
    silent.Announce("Room", app::HealthTurn::Broken, Gb("连接被重置"));
}

}  // namespace

#include "NotificationTest.moc"
