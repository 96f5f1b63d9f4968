#include "app/watch/PresenceText.h"

#include <QDateTime>

#include "rtl/GbText.h"

namespace app {

using rtl::Gb;

std::string SeenDayTimeText(int64_t utcMs, int64_t nowUtcMs) {
    const QDateTime then = QDateTime::fromMSecsSinceEpoch(utcMs);
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowUtcMs).date();
    const std::string time = rtl::ToGb(then.toString("HH:mm"));
    if (then.date() == today)
        return Gb("今天 ") + time;
    if (then.date() == today.addDays(-1))
        return Gb("昨天 ") + time;
    const QString format = then.date().year() == today.year() ? "MM-dd" : "yyyy-MM-dd";
    return rtl::ToGb(then.toString(format)) + " " + time;
}

std::string SpanLengthText(int64_t lengthMs) {
    const int64_t minutes = lengthMs / 60000;
    if (minutes < 1)
        return Gb("不到 1 分钟");
    if (minutes < 60)
        return std::to_string(minutes) + Gb(" 分钟");
    const int64_t hours = minutes / 60;
    if (hours < 24) {
        std::string text = std::to_string(hours) + Gb(" 小时");
        if (minutes % 60 != 0)
            text += " " + std::to_string(minutes % 60) + Gb(" 分钟");
        return text;
    }
    std::string text = std::to_string(hours / 24) + Gb(" 天");
    if (hours % 24 != 0)
        text += " " + std::to_string(hours % 24) + Gb(" 小时");
    return text;
}

std::string LastSeenText(const PresenceSpan* span, const std::string& siteName, int64_t nowUtcMs) {
    if (!span)
        return Gb("从未出现");
    const std::string when = span->Open ? Gb("现在") : SeenDayTimeText(span->LastSeenMs, nowUtcMs);
    std::string text = Gb("上次出现: ") + when + ", " + siteName;
    if (span->Checks > 1 && span->LastSeenMs > span->FirstSeenMs)
        text += Gb(" (在线约 ") + SpanLengthText(span->LastSeenMs - span->FirstSeenMs) + ")";
    else
        text += Gb(" (只在一次检查中出现)");
    return text;
}

}  // namespace app
