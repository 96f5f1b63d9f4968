#include "app/watch/HealthText.h"

#include <QDateTime>

#include "rtl/GbText.h"

namespace app {

using rtl::Gb;

std::string HealthStateText(const SiteHealth* health) {
    switch (StateOf(health)) {
        case HealthState::NotChecked:
            return Gb("尚未检查");
        case HealthState::Ok:
            return Gb("正常");
        case HealthState::Failing:
            return Gb("无法访问");
        case HealthState::Broken:
            return Gb("连续 ") + std::to_string(health->FailuresInARow) + Gb(" 次无法访问");
    }
    return {};
}

std::string AgoText(int64_t thenUtcMs, int64_t nowUtcMs) {
    const int64_t seconds = (nowUtcMs - thenUtcMs) / 1000;
    if (seconds < 60)
        return Gb("刚才");
    if (seconds < 3600)
        return std::to_string(seconds / 60) + Gb(" 分钟前");
    if (seconds < 86400)
        return std::to_string(seconds / 3600) + Gb(" 小时前");
    return std::to_string(seconds / 86400) + Gb(" 天前");
}

std::string CheckTimeText(int64_t thenUtcMs, int64_t nowUtcMs) {
    const QDateTime then = QDateTime::fromMSecsSinceEpoch(thenUtcMs);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowUtcMs);
    const QString format = then.date() == now.date() ? "HH:mm:ss" : "yyyy-MM-dd HH:mm:ss";
    return rtl::ToGb(then.toString(format)) + ", " + AgoText(thenUtcMs, nowUtcMs);
}

std::string IsoLocalTime(int64_t utcMs) {
    // Seconds are enough for a check. The offset is always written as +hh:mm,
    // also where local time is UTC (Qt would write "Z").
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcMs);
    const int offset = local.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    const QString zone =
        QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return (local.toString("yyyy-MM-ddTHH:mm:ss") + zone).toStdString();
}

}  // namespace app
