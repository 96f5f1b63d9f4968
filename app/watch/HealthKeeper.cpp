#include "app/watch/HealthKeeper.h"

#include <QFile>
#include <vector>

#include "rtl/GbText.h"

namespace app {
namespace {

std::string PathText(const std::string& path) {
    return rtl::ToGb(QFile::decodeName(QByteArray::fromStdString(path)));
}

void Add(CheckCounts& counts, bool failed) {
    ++counts.Checks;
    if (failed)
        ++counts.Failures;
}

}  // namespace

std::string StoreProblemMessage(const StoreProblem& problem, const std::string& path) {
    using rtl::Gb;
    const std::string file = PathText(path);
    const std::string goesOn = Gb("监控照常进行, 站点和目标列表 (perchly.ini) 不受影响.");
    const std::string detail = problem.Detail.empty() ? "" : " (" + problem.Detail + ")";
    switch (problem.What) {
        case StoreProblem::Kind::None:
            return {};
        case StoreProblem::Kind::Corrupt:
            return Gb("站点状态数据库 ") + file + Gb(" 已损坏") + detail + Gb(", 已改名为 ") +
                   PathText(problem.AsidePath) +
                   Gb(" 保留, 并新建了一个. 以前的站点状态在旧文件里. ") + goesOn;
        case StoreProblem::Kind::NewerSchema:
            return Gb("站点状态数据库 ") + file + Gb(" 来自更新版本的 Perchly (数据库版本 ") +
                   std::to_string(problem.Version) +
                   Gb("), 这个版本不会改动它. 本次运行的站点状态只保存在内存里. ") + goesOn;
        case StoreProblem::Kind::Locked:
            return Gb("站点状态数据库 ") + file + Gb(" 被另一个程序占用") + detail +
                   Gb(". 站点状态暂时只保存在内存里, 等数据库可用时再写入. ") + goesOn;
        case StoreProblem::Kind::ReadOnly:
            return Gb("无法写入站点状态数据库 ") + file + detail +
                   Gb(". 站点状态暂时只保存在内存里, 等数据库可写时再写入. ") + goesOn;
        case StoreProblem::Kind::Unusable:
            return Gb("无法使用站点状态数据库 ") + file + detail +
                   Gb(". 站点状态暂时只保存在内存里. ") + goesOn;
    }
    return {};
}

THealthKeeper::THealthKeeper(std::string databasePath) : FStore(std::move(databasePath)) {}

THealthKeeper::~THealthKeeper() = default;

void THealthKeeper::Report(const StoreProblem& problem) {
    if (FReported || problem.What == StoreProblem::Kind::None)
        return;
    FReported = true;
    if (OnProblem)
        OnProblem(StoreProblemMessage(problem, FStore.Path()));
}

void THealthKeeper::Pause(const StoreProblem& problem) {
    FStore.Close();
    FGivenUp = problem.What == StoreProblem::Kind::NewerSchema;
    FRetryAt = Clock::now() + RetryPause;
}

void THealthKeeper::Open(int64_t nowUtcMs) {
    StoreProblem problem;
    if (!FStore.Open(problem)) {
        Report(problem);
        Pause(problem);
        return;
    }
    // A corrupt file was moved aside and a new one opened: worth saying,
    // though the database is in use.
    Report(problem);
    StoreProblem loadProblem;
    for (SiteHealth& site : FStore.LoadSites(nowUtcMs, loadProblem))
        FBook.Load(std::move(site));
    if (loadProblem.What == StoreProblem::Kind::None)
        for (const NameSighting& sighting : FStore.LoadSightings(nowUtcMs, loadProblem))
            FPresence.Load(sighting.Last);
    if (loadProblem.What != StoreProblem::Kind::None) {
        Report(loadProblem);
        Pause(loadProblem);
    }
}

void THealthKeeper::Close(int64_t nowUtcMs) {
    if (!FPending.empty() && FStore.IsOpen())
        Flush(nowUtcMs);
    FStore.Close();
}

HealthTurn THealthKeeper::Record(const std::string& url, const std::string& name,
                                 const FetchOutcome& outcome, int64_t nowUtcMs,
                                 const PresenceCheck* presence) {
    const HealthTurn turn = FBook.Record(url, name, outcome, nowUtcMs);
    const SiteHealth* site = FBook.Find(url);
    if (!site || !site->Last || outcome.Kind == FetchKind::Canceled)
        return turn;
    SiteChanges& changes = FPending[url];
    changes.Url = url;
    changes.Name = site->Name;
    changes.Last = *site->Last;
    changes.FailuresInARow = site->FailuresInARow;
    Add(changes.Days[DayOf(nowUtcMs)], site->Last->Failed);
    Add(changes.Hours[HourOf(nowUtcMs)], site->Last->Failed);
    // Only a good page tells who is there: an error page or a failed fetch
    // neither extends nor ends a span.
    if (presence && !site->Last->Failed)
        for (PresenceSpan& span : FPresence.Record(url, *presence, nowUtcMs))
            changes.Spans[{span.Name, span.FirstSeenMs}] = std::move(span);
    Flush(nowUtcMs);
    return turn;
}

bool THealthKeeper::Reopen() {
    StoreProblem problem;
    if (!FStore.Open(problem)) {
        Report(problem);
        Pause(problem);
        return false;
    }
    if (problem.What == StoreProblem::Kind::Corrupt) {
        // A new, empty file: it gets every site the book knows, with the hours
        // the book still holds; the days before are in the file moved aside.
        Report(problem);
        for (const auto& [url, site] : FBook.Sites()) {
            if (!site.Last)
                continue;
            SiteChanges& changes = FPending[url];
            changes.Url = url;
            changes.Name = site.Name;
            changes.Last = *site.Last;
            changes.FailuresInARow = site.FailuresInARow;
            changes.Hours = site.Hours;
        }
        // The spans still open go on in the new file.
        for (const auto& [key, span] : FPresence.OpenSpans())
            if (FBook.Find(span.Url))
                FPending[span.Url].Spans[{span.Name, span.FirstSeenMs}] = span;
    }
    return true;
}

void THealthKeeper::Flush(int64_t nowUtcMs) {
    if (FPending.empty())
        return;
    if (!FStore.IsOpen()) {
        if (FGivenUp || Clock::now() < FRetryAt || !Reopen())
            return;
    }
    std::vector<SiteChanges> changes;
    changes.reserve(FPending.size());
    for (auto& [url, site] : FPending) {
        // Hours past keeping are not worth writing after a long pause.
        std::erase_if(site.Hours, [nowUtcMs](const auto& entry) {
            return !THealthBook::HourKept(entry.first, nowUtcMs);
        });
        changes.push_back(site);
    }
    StoreProblem problem;
    const Clock::time_point start = Clock::now();
    const bool written = FStore.Write(changes, nowUtcMs, problem);
    const int64_t took =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    FSlowestWriteUs = std::max(FSlowestWriteUs, took);
    if (written) {
        FPending.clear();
        return;
    }
    if (problem.What == StoreProblem::Kind::Corrupt && Reopen()) {
        // Moved aside and made anew: one more try with everything pending.
        changes.clear();
        for (const auto& [url, site] : FPending)
            changes.push_back(site);
        StoreProblem again;
        if (FStore.Write(changes, nowUtcMs, again)) {
            FPending.clear();
            return;
        }
        Report(again);
        Pause(again);
        return;
    }
    Report(problem);
    Pause(problem);
}

PresenceRecords THealthKeeper::LoadPresence(StoreProblem& problem) {
    if (!FStore.IsOpen() && !FGivenUp && Clock::now() >= FRetryAt)
        Reopen();
    PresenceRecords records;
    if (FStore.IsOpen()) {
        records = FStore.LoadPresence(problem);
    } else {
        // Another program holding the file for writing still lets it be read.
        THealthStore reader(FStore.Path());
        if (reader.OpenForReading(problem))
            records = reader.LoadPresence(problem);
    }
    // What is not written yet is shown all the same.
    std::vector<PresenceSpan> pending;
    for (const auto& [url, site] : FPending) {
        if (site.Spans.empty())
            continue;
        if (records.SiteIndex(url) < 0)
            records.Sites.push_back({url, site.Name});
        for (const auto& [key, span] : site.Spans)
            pending.push_back(span);
    }
    records.Merge(pending);
    return records;
}

bool THealthKeeper::ClearPresence(const std::string* name, StoreProblem& problem) {
    if (!FStore.IsOpen() && !FGivenUp)
        Reopen();
    if (!FStore.IsOpen()) {
        problem.What = StoreProblem::Kind::Unusable;
        problem.Detail = "not open";
        return false;
    }
    if (!FStore.ClearPresence(name, problem))
        return false;
    FPresence.Clear(name);
    for (auto& [url, site] : FPending)
        std::erase_if(site.Spans,
                      [name](const auto& entry) { return !name || entry.first.first == *name; });
    return true;
}

}  // namespace app
