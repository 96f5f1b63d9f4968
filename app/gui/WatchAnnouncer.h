#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <string>

#include "app/watch/SiteHealth.h"

namespace app {

// Says when a site's watch broke (BrokenStreak failures in a row) or came
// back: a desktop notification through org.freedesktop.Notifications on the
// given bus; where no service answers there, the tray's own message; where
// neither exists, nothing. It never waits for the bus nor shows a box, so
// nothing here can hold monitoring up. Watches that break close together (a
// network gone, a hundred sites failing at once) update one notification
// instead of raising one each.
class TWatchAnnouncer : public QObject {
public:
    // Shows a message in the tray (title, text); false where there is no tray
    // that can show one.
    using TrayMessage = std::function<bool(const QString& title, const QString& text)>;

    TWatchAnnouncer(QDBusConnection bus, TrayMessage trayMessage);

    // name and reason are GB18030 text, as the window holds them.
    void Announce(const std::string& name, HealthTurn turn, const std::string& reason);

    // Notifications sent that the bus has not answered yet.
    int Waiting() const { return FWaiting; }

    // How long after one notification of a broken watch the next one joins it.
    std::chrono::milliseconds GroupingTime{60 * 1000};

    // The words of a notification: its summary and its body.
    static QString BrokenSummary(const QString& name);
    static QString RecoveredSummary(const QString& name);

private:
    using Clock = std::chrono::steady_clock;
    // replaces: the id of the notification this one updates (0: a new one);
    // startsGroup: later broken watches may join this one.
    void Notify(const QString& summary, const QString& body, uint replaces, bool startsGroup);
    void ShowInTray(const QString& summary, const QString& body);

    QDBusConnection FBus;
    TrayMessage FTrayMessage;
    // The notification the next broken watch may join: its id on the bus,
    // when it was sent and the sites it names.
    uint FGroupId = 0;
    int FWaiting = 0;
    Clock::time_point FGroupSent{};
    QStringList FGroupNames;
};

}  // namespace app
