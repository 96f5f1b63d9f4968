#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/watch/FetchOutcome.h"

namespace app {

// Times are wall-clock milliseconds since 1970-01-01 UTC. Checks are counted
// per UTC hour (for "the last 24 hours") and per UTC day (kept 400 days).
inline constexpr int64_t MillisecondsPerHour = 3600 * 1000;
inline constexpr int64_t MillisecondsPerDay = 24 * MillisecondsPerHour;
// A streak of this many failures in a row is a broken watch: it is marked and
// announced.
inline constexpr int32_t BrokenStreak = 3;

int64_t HourOf(int64_t utcMs);
int64_t DayOf(int64_t utcMs);

struct CheckCounts {
    int64_t Checks = 0;
    int64_t Failures = 0;
};

// The last check of a site, as it is kept and shown. Texts are GB18030.
struct LastCheck {
    int64_t TimeUtcMs = 0;
    bool Failed = false;
    FetchKind Kind = FetchKind::Ok;
    CertificateCheck Certificate = CertificateCheck::None;
    std::string Text;      // the component's own words
    std::string Sentence;  // the Chinese sentence, empty for a good page
    int32_t ReplyCode = 0;
    int64_t DurationMs = 0;
    int64_t Bytes = 0;
    // Known only in the run that made the check; never stored.
    std::optional<CertificateDetails> CertificateInfo;
};

// Everything kept of one site. A site is known by its URL (GB18030 bytes as
// the list holds them): renaming it keeps its history, a new address starts
// a new one.
struct SiteHealth {
    std::string Url;
    std::string Name;
    std::optional<LastCheck> Last;
    int32_t FailuresInARow = 0;
    // Counts of the recent hours, by UTC hour number.
    std::map<int64_t, CheckCounts> Hours;
};

enum class HealthState {
    NotChecked,  // no check recorded yet
    Ok,          // the last check gave a good page
    Failing,     // the last check failed
    Broken,      // BrokenStreak or more failures in a row
};

HealthState StateOf(const SiteHealth* health);

// What a check means for the user beyond the marks: a watch that just broke
// (the streak reached BrokenStreak), or one that recovered from such a streak.
enum class HealthTurn { None, Broken, Recovered };

// The in-memory record of every site's health: what the windows show and what
// is written to the database. It works alone when there is no database.
class THealthBook {
public:
    // Records one check of the site at url, named name, made at nowUtcMs. A
    // fetch ended from outside (Canceled) records nothing.
    HealthTurn Record(const std::string& url, const std::string& name, const FetchOutcome& outcome,
                      int64_t nowUtcMs);

    // The site's record, null when it was never checked nor loaded.
    const SiteHealth* Find(const std::string& url) const;
    // Checks and failures in the current UTC hour and the 23 before it.
    CheckCounts Last24Hours(const std::string& url, int64_t nowUtcMs) const;

    // Puts a record read from the database in place of what the book holds.
    void Load(SiteHealth health);
    const std::map<std::string, SiteHealth>& Sites() const { return FSites; }

    // Hours older than two days (or more than an hour ahead, after the clock
    // was set back) are dropped as they are no longer shown.
    static bool HourKept(int64_t hour, int64_t nowUtcMs);

private:
    std::map<std::string, SiteHealth> FSites;
};

// The last check a fetch outcome makes, at nowUtcMs.
LastCheck CheckOf(const FetchOutcome& outcome, int64_t nowUtcMs);

}  // namespace app
