#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace app {

// When and where a nickname was seen. A span is one stretch of checks of one
// site that saw one name: from the first of them to the last. It ends at the
// first good check of that site that did not see the name (also one that no
// longer looked for it, because the name was no longer watched); a failed
// check ends nothing, since it says nothing about who was there. Names and
// sites are known by their text and URL (GB18030 bytes as the lists hold
// them): a renamed nickname starts a history of its own, and the old one stays
// until it is cleared. Times are wall-clock milliseconds since 1970 UTC.
struct PresenceSpan {
    std::string Name;
    std::string Url;
    int64_t FirstSeenMs = 0;
    int64_t LastSeenMs = 0;
    int64_t Checks = 0;  // checks of the site that saw the name
    bool Open = false;   // the latest check of the site still saw it
};

// A sighting closer than this to the span's last one extends it; a longer
// gap (the computer slept, the clock jumped forward) or a time before it (the
// clock was set back) starts a new span. Longer than a round of 100 sites at
// the longest interval.
inline constexpr int64_t SpanGapMs = 2 * 3600 * 1000;
// Spans are kept this many days after their last sighting.
inline constexpr int64_t SpanDaysKept = 400;

// What one good check of a site found: each name it looked for, and whether
// the name was on the page. A page cut at the length bound is partial: a name
// not on it may be in the part that was not read, so it ends no span.
struct PresenceCheck {
    std::vector<std::pair<std::string, bool>> Names;
    bool Partial = false;
};

// The spans still open and each name's latest span, as the running window
// keeps them in memory. Record answers which spans changed, for the database.
class TPresenceBook {
public:
    // One good check of url (named siteName) at nowUtcMs: extends, opens and
    // ends spans. Returns every span it changed, in its new state.
    std::vector<PresenceSpan> Record(const std::string& url, const PresenceCheck& check,
                                     int64_t nowUtcMs);

    // The latest span of a name, if it was ever seen.
    const PresenceSpan* LastSeen(const std::string& name) const;

    // Takes up a span read from the database: the latest one of its name, and
    // still open only when the window stopped while the name was there (it is
    // ended at once: nobody watched in between).
    void Load(const PresenceSpan& span);
    // Forgets one name, or every name when name is null.
    void Clear(const std::string* name);

    // The spans still open, by (url, name).
    const std::map<std::pair<std::string, std::string>, PresenceSpan>& OpenSpans() const {
        return FOpen;
    }

private:
    std::map<std::pair<std::string, std::string>, PresenceSpan> FOpen;  // (url, name)
    std::map<std::string, PresenceSpan> FLast;                          // name
};

// Every span kept, compactly, for the records window and the export: names
// and sites once each, spans by index, newest (latest last sighting) first.
struct PresenceRecords {
    struct Site {
        std::string Url;
        std::string Name;  // the name it had at its last check
    };
    struct Row {
        int32_t Name = 0;  // index into Names
        int32_t Site = 0;  // index into Sites
        int64_t FirstSeenMs = 0;
        int64_t LastSeenMs = 0;
        int64_t Checks = 0;
        bool Open = false;
    };
    std::vector<std::string> Names;  // GB18030, sorted
    std::vector<Site> Sites;
    std::vector<Row> Spans;

    // Index of a name or a site URL, -1 when there is none.
    int32_t NameIndex(const std::string& name) const;
    int32_t SiteIndex(const std::string& url) const;
    // Puts in spans the records do not hold yet (same name, site and first
    // sighting) and keeps the newest-first order.
    void Merge(const std::vector<PresenceSpan>& spans);
};

// Local time's offset from UTC at a moment, in milliseconds; the system's by
// default.
using UtcOffset = std::function<int64_t(int64_t utcMs)>;
int64_t LocalUtcOffsetMs(int64_t utcMs);

// A week by hour: [day][hour], day 0 Monday ... 6 Sunday, local time. Each
// cell counts the days of the last GridWeeks weeks (today included) on which
// the name was present, on any site, at some moment of that hour: 0 to
// GridWeeks.
inline constexpr int GridWeeks = 8;
using WeekGrid = std::array<std::array<int, 24>, 7>;
WeekGrid PresenceWeekGrid(const PresenceRecords& records, int32_t nameIndex, int64_t nowUtcMs,
                          const UtcOffset& offset = LocalUtcOffsetMs);

// The spans at these row indices as CSV, UTF-8, with a header line:
// 昵称,站点,网址,开始,结束,分钟,检查次数 (times in local ISO 8601 with offset).
std::string PresenceCsv(const PresenceRecords& records, const std::vector<size_t>& rows);

}  // namespace app
