#include "app/watch/SeenReport.h"

#include <QDateTime>
#include <map>

#include "app/watch/HealthText.h"
#include "app/watch/JsonText.h"
#include "app/watch/PresenceText.h"
#include "app/watch/ReportCommand.h"
#include "app/watch/Settings.h"
#include "rtl/GbText.h"

namespace app {
namespace {

constexpr int64_t RecentDays = 30;

std::string Utf8(const std::string& gb) {
    return rtl::FromGb(gb).toUtf8().toStdString();
}

}  // namespace

std::vector<SeenReportRow> ReportSeen(const WatchState& state,
                                      const std::vector<NameSighting>& sightings) {
    std::map<std::string, const NameSighting*> byName;
    for (const NameSighting& sighting : sightings)
        byName[sighting.Last.Name] = &sighting;
    std::vector<SeenReportRow> rows;
    for (const TargetSlot& slot : state.Targets) {
        if (slot.Name.empty())
            continue;
        SeenReportRow row;
        row.Name = slot.Name;
        row.Watched = slot.Selected != 0;
        const auto found = byName.find(slot.Name);
        if (found != byName.end()) {
            const NameSighting& sighting = *found->second;
            row.Last = sighting.Last;
            row.LastSite = sighting.SiteName;
            // The room's name as the list calls it now.
            for (const SiteSlot& site : state.Sites)
                if (!site.Name.empty() && site.Url == sighting.Last.Url) {
                    row.LastSite = site.Name;
                    break;
                }
            row.RecentSpans = sighting.RecentSpans;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string SeenText(const std::vector<SeenReportRow>& rows, int64_t nowUtcMs) {
    using rtl::Gb;
    if (rows.empty())
        return Utf8(Gb("目标列表是空的.\n"));
    std::string text;
    for (const SeenReportRow& row : rows) {
        std::string block = row.Name + (row.Watched ? Gb("  (监控中)") : Gb("  (未选中)")) + "\n";
        block +=
            "  " + LastSeenText(row.Last ? &*row.Last : nullptr, row.LastSite, nowUtcMs) + "\n";
        if (row.Last)
            block += Gb("  最近 30 天出现 ") + std::to_string(row.RecentSpans) + Gb(" 次") + "\n";
        text += Utf8(block);
    }
    return text;
}

std::string SeenJson(const std::vector<SeenReportRow>& rows) {
    std::string json = "{\"targets\": [";
    bool first = true;
    for (const SeenReportRow& row : rows) {
        if (!first)
            json += ", ";
        first = false;
        json += "{\"name\": " + JsonString(Utf8(row.Name));
        json += std::string(", \"watched\": ") + (row.Watched ? "true" : "false");
        if (row.Last) {
            json += ", \"last_seen\": " + JsonString(IsoLocalTime(row.Last->LastSeenMs));
            json += ", \"last_site\": " + JsonString(Utf8(row.LastSite));
        } else {
            json += ", \"last_seen\": null, \"last_site\": null";
        }
        json += ", \"spans_30d\": " + std::to_string(row.RecentSpans) + "}";
    }
    return json + "]}\n";
}

int RunSeenCommand(const std::vector<std::string>& arguments, const rtl::FileFolders& folders,
                   std::FILE* out, std::FILE* err) {
    bool json = false;
    if (!ReadReportOptions(arguments, "--seen", json, err))
        return 2;
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    WatchState state;
    LoadSettings(folders.SettingsFile(), state);

    std::vector<NameSighting> sightings;
    THealthStore store(folders.HealthFile());
    StoreProblem problem;
    if (store.OpenForReading(problem))
        sightings = store.LoadSightings(now - RecentDays * MillisecondsPerDay, problem);
    NoteUnreadableStore(problem, folders.HealthFile(), "every name reads as never seen", err);

    const std::vector<SeenReportRow> rows = ReportSeen(state, sightings);
    WriteReport(out, json ? SeenJson(rows) : SeenText(rows, now));
    return 0;
}

}  // namespace app
