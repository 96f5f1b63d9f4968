#include "app/gui/WatchAnnouncer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "rtl/GbText.h"

namespace app {
namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

// The sites of a group, as many as read well in one line.
QString Names(const QStringList& names) {
    constexpr int Shown = 5;
    QString text = names.mid(0, Shown).join(QString::fromUtf8("、"));
    if (names.size() > Shown)
        text += QString::fromUtf8(" 等");
    return text;
}

}  // namespace

TWatchAnnouncer::TWatchAnnouncer(QDBusConnection bus, TrayMessage trayMessage)
    : FBus(std::move(bus)), FTrayMessage(std::move(trayMessage)) {}

QString TWatchAnnouncer::BrokenSummary(const QString& name) {
    return QString::fromUtf8("站点「%1」连续 %2 次无法访问").arg(name).arg(BrokenStreak);
}

QString TWatchAnnouncer::RecoveredSummary(const QString& name) {
    return QString::fromUtf8("站点「%1」恢复正常").arg(name);
}

void TWatchAnnouncer::Announce(const std::string& name, HealthTurn turn,
                               const std::string& reason) {
    const QString site = rtl::FromGb(name);
    if (turn == HealthTurn::Recovered) {
        Notify(RecoveredSummary(site), QString::fromUtf8("又能访问了, 监控照常进行."), 0, false);
        return;
    }
    if (turn != HealthTurn::Broken)
        return;
    const Clock::time_point now = Clock::now();
    const bool joins = FGroupId != 0 && now - FGroupSent < GroupingTime;
    if (!joins)
        FGroupNames.clear();
    FGroupNames.removeAll(site);
    FGroupNames.append(site);
    FGroupSent = now;
    if (FGroupNames.size() == 1) {
        Notify(BrokenSummary(site), rtl::FromGb(reason), 0, true);
        return;
    }
    Notify(
        QString::fromUtf8("%1 个站点连续 %2 次无法访问").arg(FGroupNames.size()).arg(BrokenStreak),
        Names(FGroupNames), FGroupId, true);
}

void TWatchAnnouncer::Notify(const QString& summary, const QString& body, uint replaces,
                             bool startsGroup) {
    if (!FBus.isConnected()) {
        ShowInTray(summary, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, "Notify");
    QVariantMap hints;
    hints.insert("desktop-entry", QStringLiteral(PERCHLY_APP_ID));
    call << QStringLiteral("Perchly") << replaces << QStringLiteral(PERCHLY_APP_ID) << summary
         << body << QStringList() << hints << int32_t{-1};
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
    ++FWaiting;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, summary, body, startsGroup] {
                watcher->deleteLater();
                --FWaiting;
                const QDBusPendingReply<uint> reply = *watcher;
                if (reply.isError()) {
                    // No notification service on this bus: the tray says it.
                    ShowInTray(summary, body);
                    return;
                }
                if (startsGroup)
                    FGroupId = reply.value();
            });
}

void TWatchAnnouncer::ShowInTray(const QString& summary, const QString& body) {
    if (FTrayMessage)
        FTrayMessage(QStringLiteral("Perchly"), body.isEmpty() ? summary : summary + ": " + body);
}

}  // namespace app
