#include "app/watch/Presence.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <bitset>

#include "app/watch/HealthText.h"
#include "rtl/GbText.h"

namespace app {
namespace {

constexpr int64_t HourMs = 3600 * 1000;
constexpr int64_t DayMs = 24 * HourMs;

int64_t FloorDiv(int64_t value, int64_t by) {
    return value / by - (value % by < 0 ? 1 : 0);
}

bool Newer(const PresenceRecords::Row& a, const PresenceRecords::Row& b) {
    if (a.LastSeenMs != b.LastSeenMs)
        return a.LastSeenMs > b.LastSeenMs;
    return a.FirstSeenMs > b.FirstSeenMs;
}

std::string CsvField(const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos)
        return utf8;
    std::string quoted = "\"";
    for (const char c : utf8) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Utf8(const std::string& gb) {
    return rtl::FromGb(gb).toUtf8().toStdString();
}

}  // namespace

std::vector<PresenceSpan> TPresenceBook::Record(const std::string& url, const PresenceCheck& check,
                                                int64_t nowUtcMs) {
    std::vector<PresenceSpan> changed;
    // A name twice in the list is one person: present when any of its rows is.
    std::map<std::string, bool> names;
    for (const auto& [name, present] : check.Names)
        if (!name.empty())
            names[name] = names[name] || present;

    // Spans of this site whose name the check did not see end here.
    for (auto it = FOpen.lower_bound({url, std::string()});
         it != FOpen.end() && it->first.first == url;) {
        const auto found = names.find(it->first.second);
        if (check.Partial || (found != names.end() && found->second)) {
            ++it;
            continue;
        }
        PresenceSpan& span = it->second;
        span.Open = false;
        changed.push_back(span);
        if (PresenceSpan* last = &FLast[span.Name];
            last->FirstSeenMs == span.FirstSeenMs && last->Url == span.Url)
            last->Open = false;
        it = FOpen.erase(it);
    }

    for (const auto& [name, present] : names) {
        if (!present)
            continue;
        auto [it, added] = FOpen.try_emplace({url, name});
        PresenceSpan& span = it->second;
        const bool extends =
            !added && nowUtcMs >= span.LastSeenMs && nowUtcMs - span.LastSeenMs <= SpanGapMs;
        if (!added && !extends) {
            // The old span ends at its last sighting; a new one starts now.
            span.Open = false;
            changed.push_back(span);
        }
        if (!extends) {
            span = PresenceSpan{name, url, nowUtcMs, nowUtcMs, 0, true};
        }
        span.LastSeenMs = nowUtcMs;
        ++span.Checks;
        changed.push_back(span);
        FLast[name] = span;
    }
    return changed;
}

const PresenceSpan* TPresenceBook::LastSeen(const std::string& name) const {
    const auto found = FLast.find(name);
    return found == FLast.end() ? nullptr : &found->second;
}

void TPresenceBook::Load(const PresenceSpan& span) {
    PresenceSpan& last = FLast[span.Name];
    if (last.Name.empty() || span.LastSeenMs > last.LastSeenMs ||
        (span.LastSeenMs == last.LastSeenMs && span.FirstSeenMs > last.FirstSeenMs)) {
        last = span;
        last.Open = false;
    }
}

void TPresenceBook::Clear(const std::string* name) {
    if (!name) {
        FOpen.clear();
        FLast.clear();
        return;
    }
    FLast.erase(*name);
    std::erase_if(FOpen, [name](const auto& entry) { return entry.first.second == *name; });
}

int32_t PresenceRecords::NameIndex(const std::string& name) const {
    const auto found = std::lower_bound(Names.begin(), Names.end(), name);
    return found != Names.end() && *found == name ? static_cast<int32_t>(found - Names.begin())
                                                  : -1;
}

int32_t PresenceRecords::SiteIndex(const std::string& url) const {
    for (size_t i = 0; i < Sites.size(); ++i)
        if (Sites[i].Url == url)
            return static_cast<int32_t>(i);
    return -1;
}

void PresenceRecords::Merge(const std::vector<PresenceSpan>& spans) {
    if (spans.empty())
        return;
    // New names keep the list sorted: the rows' indices are remapped.
    std::vector<std::string> names = Names;
    for (const PresenceSpan& span : spans)
        names.push_back(span.Name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    if (names.size() != Names.size()) {
        std::vector<int32_t> remap(Names.size());
        for (size_t i = 0; i < Names.size(); ++i)
            remap[i] = static_cast<int32_t>(std::lower_bound(names.begin(), names.end(), Names[i]) -
                                            names.begin());
        for (Row& row : Spans)
            row.Name = remap[static_cast<size_t>(row.Name)];
        Names = std::move(names);
    }
    for (const PresenceSpan& span : spans) {
        int32_t site = SiteIndex(span.Url);
        if (site < 0) {
            Sites.push_back({span.Url, span.Url});
            site = static_cast<int32_t>(Sites.size() - 1);
        }
        const int32_t name = NameIndex(span.Name);
        Row row{name, site, span.FirstSeenMs, span.LastSeenMs, span.Checks, span.Open};
        const auto same = std::find_if(Spans.begin(), Spans.end(), [&](const Row& held) {
            return held.Name == name && held.Site == site && held.FirstSeenMs == span.FirstSeenMs;
        });
        if (same != Spans.end())
            *same = row;
        else
            Spans.push_back(row);
    }
    std::stable_sort(Spans.begin(), Spans.end(), Newer);
}

int64_t LocalUtcOffsetMs(int64_t utcMs) {
    return int64_t{QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()} * 1000;
}

WeekGrid PresenceWeekGrid(const PresenceRecords& records, int32_t nameIndex, int64_t nowUtcMs,
                          const UtcOffset& offset) {
    WeekGrid grid{};
    constexpr int Days = GridWeeks * 7;
    // Local day numbers (days since 1970-01-01 in local time) of the window.
    const int64_t today = FloorDiv(nowUtcMs + offset(nowUtcMs), DayMs);
    const int64_t firstDay = today - Days + 1;
    // One bit per local hour of the window: an hour counts once however many
    // sites or spans cover it.
    std::bitset<Days * 24> present;
    const int64_t windowStart = firstDay * DayMs - offset(firstDay * DayMs);
    for (const PresenceRecords::Row& row : records.Spans) {
        if (row.Name != nameIndex || row.LastSeenMs < windowStart)
            continue;
        const int64_t from = std::max(row.FirstSeenMs, windowStart);
        const int64_t to = std::min(row.LastSeenMs, nowUtcMs);
        if (to < from)
            continue;
        // Step through the local hours the span touches, the last one included.
        for (int64_t moment = from;;) {
            const int64_t localHour = FloorDiv(moment + offset(moment), HourMs);
            const int64_t slot = localHour - firstDay * 24;
            if (slot >= 0 && slot < Days * 24)
                present.set(static_cast<size_t>(slot));
            if (moment >= to)
                break;
            // The start of the next local hour, or the span's end.
            const int64_t next = (localHour + 1) * HourMs - offset(moment);
            moment = std::min(std::max(next, moment + 1), to);
        }
    }
    for (int day = 0; day < Days; ++day) {
        // 1970-01-01 was a Thursday: day 3 counting from Monday.
        const int64_t number = firstDay + day;
        const int weekday = static_cast<int>(((number % 7) + 7 + 3) % 7);
        for (int hour = 0; hour < 24; ++hour)
            if (present.test(static_cast<size_t>(day * 24 + hour)))
                ++grid[static_cast<size_t>(weekday)][static_cast<size_t>(hour)];
    }
    return grid;
}

std::string PresenceCsv(const PresenceRecords& records, const std::vector<size_t>& rows) {
    std::string csv = "昵称,站点,网址,开始,结束,分钟,检查次数\r\n";
    for (const size_t index : rows) {
        if (index >= records.Spans.size())
            continue;
        const PresenceRecords::Row& row = records.Spans[index];
        const PresenceRecords::Site& site = records.Sites[static_cast<size_t>(row.Site)];
        csv += CsvField(Utf8(records.Names[static_cast<size_t>(row.Name)])) + ',' +
               CsvField(Utf8(site.Name)) + ',' + CsvField(Utf8(site.Url)) + ',' +
               IsoLocalTime(row.FirstSeenMs) + ',' + IsoLocalTime(row.LastSeenMs) + ',' +
               std::to_string((row.LastSeenMs - row.FirstSeenMs) / 60000) + ',' +
               std::to_string(row.Checks) + "\r\n";
    }
    return csv;
}

}  // namespace app
