#include "app/watch/SiteHealth.h"

#include "app/watch/FetchReason.h"

namespace app {
namespace {

// Division that rounds towards minus infinity, so a clock before 1970 still
// falls into whole hours and days.
int64_t FloorDivide(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
}

}  // namespace

int64_t HourOf(int64_t utcMs) {
    return FloorDivide(utcMs, MillisecondsPerHour);
}

int64_t DayOf(int64_t utcMs) {
    return FloorDivide(utcMs, MillisecondsPerDay);
}

HealthState StateOf(const SiteHealth* health) {
    if (!health || !health->Last)
        return HealthState::NotChecked;
    if (!health->Last->Failed)
        return HealthState::Ok;
    return health->FailuresInARow >= BrokenStreak ? HealthState::Broken : HealthState::Failing;
}

LastCheck CheckOf(const FetchOutcome& outcome, int64_t nowUtcMs) {
    LastCheck check;
    check.TimeUtcMs = nowUtcMs;
    check.Failed = outcome.CountsAsFailure();
    check.Kind = outcome.Kind;
    check.Certificate = outcome.Certificate;
    check.Text = outcome.Text;
    check.Sentence = ReasonSentence(outcome);
    check.ReplyCode = outcome.ReplyCode;
    check.DurationMs = outcome.DurationMs;
    check.Bytes = outcome.Bytes;
    check.CertificateInfo = outcome.CertificateInfo;
    return check;
}

HealthTurn THealthBook::Record(const std::string& url, const std::string& name,
                               const FetchOutcome& outcome, int64_t nowUtcMs) {
    if (outcome.Kind == FetchKind::Canceled)
        return HealthTurn::None;
    SiteHealth& site = FSites[url];
    site.Url = url;
    site.Name = name;
    site.Last = CheckOf(outcome, nowUtcMs);

    const int32_t before = site.FailuresInARow;
    HealthTurn turn = HealthTurn::None;
    if (site.Last->Failed) {
        site.FailuresInARow = before < INT32_MAX ? before + 1 : before;
        if (site.FailuresInARow == BrokenStreak)
            turn = HealthTurn::Broken;
    } else {
        site.FailuresInARow = 0;
        if (before >= BrokenStreak)
            turn = HealthTurn::Recovered;
    }

    CheckCounts& hour = site.Hours[HourOf(nowUtcMs)];
    ++hour.Checks;
    if (site.Last->Failed)
        ++hour.Failures;
    std::erase_if(site.Hours,
                  [nowUtcMs](const auto& entry) { return !HourKept(entry.first, nowUtcMs); });
    return turn;
}

const SiteHealth* THealthBook::Find(const std::string& url) const {
    const auto found = FSites.find(url);
    return found == FSites.end() ? nullptr : &found->second;
}

CheckCounts THealthBook::Last24Hours(const std::string& url, int64_t nowUtcMs) const {
    CheckCounts sum;
    const SiteHealth* site = Find(url);
    if (!site)
        return sum;
    const int64_t now = HourOf(nowUtcMs);
    for (auto it = site->Hours.lower_bound(now - 23); it != site->Hours.end() && it->first <= now;
         ++it) {
        sum.Checks += it->second.Checks;
        sum.Failures += it->second.Failures;
    }
    return sum;
}

void THealthBook::Load(SiteHealth health) {
    std::string url = health.Url;
    FSites[url] = std::move(health);
}

bool THealthBook::HourKept(int64_t hour, int64_t nowUtcMs) {
    const int64_t now = HourOf(nowUtcMs);
    return hour >= now - 48 && hour <= now + 1;
}

}  // namespace app
