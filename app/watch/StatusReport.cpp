#include "app/watch/StatusReport.h"

#include <QDateTime>
#include <QString>

#include "app/watch/HealthStore.h"
#include "app/watch/HealthText.h"
#include "app/watch/JsonText.h"
#include "app/watch/ReportCommand.h"
#include "app/watch/Settings.h"
#include "rtl/GbText.h"

namespace app {
namespace {

std::string Utf8(const std::string& gb) {
    return rtl::FromGb(gb).toUtf8().toStdString();
}

}  // namespace

std::vector<SiteReport> ReportSites(const WatchState& state, const THealthBook& book,
                                    int64_t nowUtcMs) {
    std::vector<SiteReport> sites;
    for (const SiteSlot& slot : state.Sites) {
        // The list's rows are the slots with a name, as the window shows them.
        if (slot.Name.empty())
            continue;
        SiteReport report;
        report.Name = slot.Name;
        report.Url = slot.Url;
        report.Watched = slot.Selected != 0;
        const SiteHealth* health = slot.Url.empty() ? nullptr : book.Find(slot.Url);
        report.State = StateOf(health);
        report.StateText = HealthStateText(health);
        if (health) {
            report.Last = health->Last;
            report.FailuresInARow = health->FailuresInARow;
            report.Day = book.Last24Hours(slot.Url, nowUtcMs);
        }
        sites.push_back(std::move(report));
    }
    return sites;
}

std::string StatusText(const std::vector<SiteReport>& sites, int64_t nowUtcMs) {
    using rtl::Gb;
    std::string text;
    if (sites.empty())
        return Utf8(Gb("站点列表是空的.\n"));
    for (const SiteReport& site : sites) {
        std::string block = site.Name + (site.Watched ? Gb("  (监控中)") : Gb("  (未选中)")) + "\n";
        block += Gb("  网址: ") + site.Url + "\n";
        block += Gb("  状态: ") + site.StateText + "\n";
        if (site.Last) {
            block += Gb("  上次检查: ") + CheckTimeText(site.Last->TimeUtcMs, nowUtcMs) + "\n";
            if (!site.Last->Sentence.empty())
                block += Gb("  原因: ") + site.Last->Sentence +
                         (site.Last->Text.empty() ? "" : " (" + site.Last->Text + ")") + "\n";
        }
        block += Gb("  连续失败: ") + std::to_string(site.FailuresInARow) +
                 Gb(" 次; 24 小时内检查 ") + std::to_string(site.Day.Checks) + Gb(" 次, 失败 ") +
                 std::to_string(site.Day.Failures) + Gb(" 次") + "\n";
        text += Utf8(block);
    }
    return text;
}

std::string StatusJson(const std::vector<SiteReport>& sites) {
    std::string json = "{\"sites\": [";
    bool first = true;
    for (const SiteReport& site : sites) {
        if (!first)
            json += ", ";
        first = false;
        json += "{\"name\": " + JsonString(Utf8(site.Name));
        json += ", \"url\": " + JsonString(Utf8(site.Url));
        json += std::string(", \"watched\": ") + (site.Watched ? "true" : "false");
        if (site.Last) {
            json += ", \"last_check\": " + JsonString(IsoLocalTime(site.Last->TimeUtcMs));
            json += std::string(", \"result\": ") + (site.Last->Failed ? "\"failed\"" : "\"ok\"");
            json += ", \"reason\": " + JsonString(Utf8(site.Last->Text));
            json += ", \"reason_zh\": " + JsonString(Utf8(site.Last->Sentence));
        } else {
            json +=
                ", \"last_check\": null, \"result\": null, \"reason\": \"\", \"reason_zh\": \"\"";
        }
        json += ", \"failures_in_a_row\": " + std::to_string(site.FailuresInARow);
        json += ", \"checks_24h\": " + std::to_string(site.Day.Checks);
        json += ", \"failures_24h\": " + std::to_string(site.Day.Failures) + "}";
    }
    return json + "]}\n";
}

int RunStatusCommand(const std::vector<std::string>& arguments, const rtl::FileFolders& folders,
                     std::FILE* out, std::FILE* err) {
    bool json = false;
    if (!ReadReportOptions(arguments, "--status", json, err))
        return 2;
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    // The lists as the window would load them; nothing is written back.
    WatchState state;
    LoadSettings(folders.SettingsFile(), state);

    THealthBook book;
    THealthStore store(folders.HealthFile());
    StoreProblem problem;
    if (store.OpenForReading(problem)) {
        for (SiteHealth& site : store.LoadSites(now, problem))
            book.Load(std::move(site));
    }
    NoteUnreadableStore(problem, folders.HealthFile(), "its sites read as not checked", err);

    const std::vector<SiteReport> sites = ReportSites(state, book, now);
    WriteReport(out, json ? StatusJson(sites) : StatusText(sites, now));
    return 0;
}

}  // namespace app
